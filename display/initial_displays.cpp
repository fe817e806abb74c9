#include "display/initial_displays.h"

#include "display/backend.h"
#include "display/display_record.h"
#include "display/monitors.h"
#include "display/size.h"
#include "display/open.h"
#include "display/picture.h"
#include "errors/error_codes.h"
#include "engine/runtime/console.h"
#include "streams/applet_record.h"
#include "window/x11/x11_window_ops.h"

namespace {

int CreateDeclared(lua_State *L, const cxPreprocItem *item) {
    lua_settop(L, 0);
    lua_pushstring(L, "createdisplay");
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (!lua_isfunction(L, -1)) {
        lua_settop(L, 0);
        return 0;
    }
    lua_pushnumber(L, item->id);
    lua_newtable(L);
    if (item->name && *item->name) {
        lua_pushstring(L, "title");
        lua_pushstring(L, item->name);
        lua_settable(L, -3);
    }
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key || (t->kind != CX_TAG_NUMBER && t->kind != CX_TAG_STRING)) continue;
        lua_pushstring(L, t->key);
        if (t->kind == CX_TAG_STRING)
            lua_pushstring(L, t->text ? t->text : "");
        else
            lua_pushnumber(L, t->number);
        lua_settable(L, -3);
    }
    const int err = lua_pcall(L, 2, 0, 0);
    lua_settop(L, 0);
    return err;
}

}  // namespace

extern "C" int OpenInitialDisplays(lua_State *L, const cxApplet *applet, const cxStartupOptions *) {
    if (applet)
        for (const cxPreprocItem *item = applet->items; item; item = item->next)
            if (item->type == CX_OBJECT_DISPLAY)
                if (int err = CreateDeclared(L, item)) return err;
    if (!GetFirstDisplay()) return 0;
    if (!HasDisplayAdapter() && !OsCanOpenDisplays()) return ERR_USERABORT;
    // Displays that fit their scaled window to the monitor.
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d)) {
        if (!(d->autoScale || d->layerScale) || !(d->os.flags & CX_DISPLAY_FITSCALE)) continue;
        int32_t mx, my, mw, mh;
        if (GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh) == 0) {
            DetermineBorderSizes(d);
            FitScaledSize(d, mw - d->os.borderWidth, mh - d->os.borderHeight);
        }
    }
    bool first = true;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d)) {
        if (d->os.state != CX_DISPLAY_CLOSED || (d->os.flags & CX_DISPLAY_HIDDEN) || d->backfillWindow) continue;
        if (int err = RealizeDisplay(L, d, first ? CX_REALIZE_FIRST : 0)) return err;
        first = false;
    }
    cxDisplay *current = nullptr;
    for (cxDisplay *d = GetFirstDisplay(); d && !current; d = GetNextDisplay(d))
        if ((d->os.flags & (CX_DISPLAY_ACTIVE | CX_DISPLAY_HIDDEN)) == CX_DISPLAY_ACTIVE) current = d;
    if (current && current->os.state == CX_DISPLAY_SHOWN) ActivateDisplayWindow(current, 1);
    if (!current) current = GetFirstDisplay();
    SetCurrentDisplayRecord(current);
    GetDisplayPictureHooks()->selectDrawTarget(L, current);
    return 0;
}
