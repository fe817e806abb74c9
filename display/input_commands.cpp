#include "display/input_commands.h"

#include "display/backend.h"
#include "display/display_record.h"
#include "engine/errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "platform/x11/x11_window.h"

namespace {

// The pointer in picture pixels: the window position less the bars of a
// proportion-keeping scale, divided by the scale factor.
int MouseAxis(lua_State *L, bool vertical) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    int32_t x = 0, y = 0;
    GetDisplayMousePos(d, &x, &y);
    const double offset = vertical ? d->scaleBorders[1] : d->scaleBorders[0];
    const double factor = vertical ? d->scaleY : d->scaleX;
    const double v = ((vertical ? y : x) - offset) / (factor > 0 ? factor : 1.0);
    lua_pushnumber(L, double(int32_t(v))); // toward zero
    return 1;
}

int Button(lua_State *L, int button) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    lua_pushnumber(L, d->os.mouseButtons[button] != 0);
    return 1;
}

int QuitSwitch(lua_State *L, int attr) {
    CheckArgCount(L, 1, 1, 0, 0);
    OsSetDisplayAttr(nullptr, attr, luaL_checknumber(L, 1) != 0);
    return 0;
}

}  // namespace

extern "C" int CmdMouseX(lua_State *L) { return MouseAxis(L, false); }
extern "C" int CmdMouseY(lua_State *L) { return MouseAxis(L, true); }
extern "C" int CmdIsLeftMouse(lua_State *L) { return Button(L, 0); }
extern "C" int CmdIsRightMouse(lua_State *L) { return Button(L, 1); }
extern "C" int CmdIsMidMouse(lua_State *L) { return Button(L, 2); }
extern "C" int CmdCtrlCQuit(lua_State *L) { return QuitSwitch(L, 8); }
extern "C" int CmdLeftMouseQuit(lua_State *L) { return QuitSwitch(L, 9); }
extern "C" int CmdEscapeQuit(lua_State *L) { return QuitSwitch(L, 10); }

extern "C" int CmdSetEventTimeout(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double ms = luaL_checknumber(L, 1);
    // A negative period would wrap to an age limit of weeks.
    if (ms < 0) return ERR_WRONGUSAGE;
    SetEventAgeLimit(ms >= 4294967295.0 ? CX_EVENT_AGE_OFF : uint32_t(ms));
    return 0;
}

extern "C" int CmdFreeEventCache(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    return 0;
}
