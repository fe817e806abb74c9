#include "display/initial_displays.h"

#include "display/display.h"
#include "engine/runtime/console.h"
#include "io/stream/applet_record.h"

extern "C" int OpenInitialDisplays(lua_State *L, const cxApplet *applet, const cxStartupOptions *opts) {
    (void)L;
    (void)opts;
    if (!applet) return 0;
    for (const cxPreprocItem *item = applet->items; item; item = item->next) {
        if (item->type != CX_OBJECT_DISPLAY) continue;
        PrintMessage("*** WARNING Display %d was not opened: this player cannot open displays yet ***\n",
                     static_cast<int>(item->id));
    }
    return 0;
}
