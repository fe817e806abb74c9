#include "display/placement.h"

#include <cstdlib>
#include <cstring>

#include "display/display_record.h"
#include "display/monitors.h"
#include "errors/error_codes.h"
#include "engine/runtime/preferences.h"
#include "engine/vm/lauxlib.h"

namespace {

const char kTable[] = "__placement";

int g_restore = 1;

bool Remembers(const cxDisplay *d) {
    // An automatic ID names nothing that a later run could ask for.
    return (d->os.flags & CX_DISPLAY_REMEMBERPOSITION) && !d->header.idPointer;
}

void SetNumber(lua_State *L, const char *key, double value) {
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_rawset(L, -3);
}

// A number field of the table on top; stored data may be anything, so
// other types count as missing instead of raising.
bool Number(lua_State *L, const char *key, double *out) {
    lua_pushstring(L, key);
    lua_rawget(L, -2);
    const bool ok = lua_type(L, -1) == LUA_TNUMBER;
    if (ok) *out = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return ok;
}

bool Side(double v) { return v >= 1 && v <= CX_DISPLAY_MAX_SIDE; }

bool Coordinate(double v) { return v >= -CX_DISPLAY_MAX_SIDE * 4.0 && v <= CX_DISPLAY_MAX_SIDE * 4.0; }

// The window rectangle overlaps some monitor (a monitor that went away
// must not leave the window out of reach).
bool OnSomeMonitor(const cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    cxOsMonitor *list = GetMonitorList(d);
    if (!list) return true;
    bool on = false;
    for (const cxOsMonitor *m = list; m && !on; m = m->next)
        on = x < m->x + m->width && m->x < x + w && y < m->y + m->height && m->y < y + h;
    OsFreeMonitorList(list);
    return on;
}

}  // namespace

extern "C" void SetDisplayPlacementRestore(int on) { g_restore = on ? 1 : 0; }

extern "C" int SaveDisplayPlacement(lua_State *L, const cxDisplay *d) {
    if (!L || !d || !Remembers(d) || d->os.state == CX_DISPLAY_CLOSED) return 0;
    if (!lua_checkstack(L, 6)) return ERR_STACK;
    const int top = lua_gettop(L);
    if (int err = LoadPrefsFile(L, nullptr)) return err;
    const int prefs = lua_gettop(L);
    lua_pushstring(L, kTable);
    lua_rawget(L, prefs);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushstring(L, kTable);
        lua_pushvalue(L, -2);
        lua_rawset(L, prefs);
    }
    lua_pushnumber(L, d->header.idNumber);
    lua_newtable(L);
    const bool window = !d->os.fullscreen;
    SetNumber(L, "active", window ? 1 : 0);
    if (window) {
        const int32_t *bars = d->scaleBorders;
        SetNumber(L, "x", d->os.x);
        SetNumber(L, "y", d->os.y);
        SetNumber(L, "width", d->os.width);
        SetNumber(L, "height", d->os.height);
        SetNumber(L, "scalefactor", d->scaleFactor);
        SetNumber(L, "scalewidth", d->os.scaledWidth > 0 ? d->os.scaledWidth + bars[0] + bars[2] : 0);
        SetNumber(L, "scaleheight", d->os.scaledHeight > 0 ? d->os.scaledHeight + bars[1] + bars[3] : 0);
        SetNumber(L, "autoscale", d->autoScale ? 1 : 0);
        SetNumber(L, "layerscale", d->layerScale ? 1 : 0);
        SetNumber(L, "sizeable", (d->os.flags & CX_DISPLAY_SIZEABLE) ? 1 : 0);
        if (d->placement && d->placementLength) {
            lua_pushstring(L, "osdata");
            lua_pushlstring(L, reinterpret_cast<const char *>(d->placement), d->placementLength);
            lua_rawset(L, -3);
        }
    }
    lua_rawset(L, -3);
    const int err = SavePrefsFile(L, prefs, nullptr);
    lua_settop(L, top);
    return err;
}

extern "C" void RestoreDisplayPlacement(lua_State *L, cxDisplay *d, int32_t *width, int32_t *height) {
    *width = *height = 0;
    if (!L || !d || !g_restore || !Remembers(d) || !lua_checkstack(L, 4)) return;
    const int top = lua_gettop(L);
    if (LoadPrefsFile(L, nullptr) != 0) return;
    lua_pushstring(L, kTable);
    lua_rawget(L, -2);
    if (lua_istable(L, -1)) {
        lua_pushnumber(L, d->header.idNumber);
        lua_rawget(L, -2);
    }
    double active = 0;
    if (!lua_istable(L, -1) || !Number(L, "active", &active) || active != 1) {
        // A display last seen full screen opens as the script says.
        lua_settop(L, top);
        return;
    }
    double autoScale = 0, layerScale = 0, sizeable = 0, w = 0, h = 0, sw = 0, sh = 0;
    Number(L, "autoscale", &autoScale);
    Number(L, "layerscale", &layerScale);
    Number(L, "sizeable", &sizeable);
    const bool sameScaling = (autoScale != 0) == (d->autoScale != 0) && (layerScale != 0) == (d->layerScale != 0);
    const bool scaled = d->autoScale || d->layerScale;
    // Only a window the user could size takes the size it was left at.
    if (sizeable != 0 && (d->os.flags & CX_DISPLAY_SIZEABLE) && sameScaling) {
        if (scaled && Number(L, "scalewidth", &sw) && Number(L, "scaleheight", &sh) && Side(sw) && Side(sh)) {
            d->os.scaledWidth = int32_t(sw);
            d->os.scaledHeight = int32_t(sh);
        } else if (!scaled && Number(L, "width", &w) && Number(L, "height", &h) && Side(w) && Side(h)) {
            // The picture is resized once it exists.
            *width = int32_t(w);
            *height = int32_t(h);
        }
    }
    double x = 0, y = 0;
    if (Number(L, "x", &x) && Number(L, "y", &y) && Coordinate(x) && Coordinate(y)) {
        int32_t ww = scaled && d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width;
        int32_t wh = scaled && d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height;
        if (*width > 0) ww = *width, wh = *height;
        if (OnSomeMonitor(d, int32_t(x), int32_t(y), ww, wh)) {
            // Stored positions are the screen's, not the monitor's.
            d->os.x = int32_t(x);
            d->os.y = int32_t(y);
            d->xOnMonitor = d->yOnMonitor = 0;
        }
    }
    lua_pushstring(L, "osdata");
    lua_rawget(L, -2);
    if (lua_type(L, -1) == LUA_TSTRING && !d->placement) {
        const size_t n = lua_strlen(L, -1);
        if (auto *copy = static_cast<uint8_t *>(malloc(n + 1))) {
            memcpy(copy, lua_tostring(L, -1), n + 1);
            d->placement = copy;
            d->placementLength = uint32_t(n);
        }
    }
    lua_settop(L, top);
}
