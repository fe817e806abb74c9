#include "images/bgpics/gradient_options.h"

#include <cstdio>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"

extern "C" void InitGradientDefaults(cxGradient *g, int keep) {
    g->style = CX_GRADIENT_LINEAR;
    g->centerX = g->centerY = 0.5;
    g->balance = 0.5;
    g->border = 0;
    if (!keep) {
        g->stopCount = 0;
        g->angle = 0;
    }
}

namespace {

// The value at index i of the table on top of the stack: 1 and the
// number, 0 when absent; a value that is not a number raises the key's
// ERR_NUMTABLEARG.
int NumberAt(lua_State *L, int i, const char *key, double *out, int *err) {
    lua_rawgeti(L, -1, i);
    const int type = lua_type(L, -1);
    if (type == LUA_TNIL) {
        lua_settop(L, -2);
        return 0;
    }
    if (type != LUA_TNUMBER) {
        lua_settop(L, -2);
        SetErrorDetail(key);
        *err = ERR_NUMTABLEARG;
        return 0;
    }
    *out = lua_tonumber(L, -1);
    lua_settop(L, -2);
    return 1;
}

}  // namespace

extern "C" int ReadGradientTable(lua_State *L, int table, cxGradient *g, const char *centerX, const char *centerY,
                                 const char *balance, const char *border, const char *colors, int *hasStops) {
    if (g->style == CX_GRADIENT_RADIAL || g->style == CX_GRADIENT_CONICAL) {
        const char *keys[4] = {centerX, centerY, balance, border};
        double *fields[4] = {&g->centerX, &g->centerY, &g->balance, &g->border};
        for (int i = 0; i < 4; ++i) {
            double v = 0;
            if (!GetTableDouble(L, table, keys[i], &v, nullptr)) continue;
            if (!(v >= 0 && v <= 1)) return ERR_WRONGUSAGE;
            *fields[i] = v;
        }
    }
    lua_pushstring(L, colors);
    lua_gettable(L, table);
    if (lua_isnil(L, -1)) {
        lua_settop(L, -2);
        return 0;
    }
    if (!lua_istable(L, -1)) {
        lua_settop(L, -2);
        SetErrorDetail(colors);
        return ERR_NUMTABLEARG;
    }
    // Read into a scratch list: a bad table leaves the gradient's stops.
    cxGradientStop stops[CX_GRADIENT_MAX_STOPS];
    int count = 0, err = 0;
    for (int i = 0;; i += 2) {
        double colour = 0, position = 0;
        if (!NumberAt(L, i, colors, &colour, &err)) break;
        if (count == CX_GRADIENT_MAX_STOPS) {
            err = ERR_INTERNAL;
            break;
        }
        if (!NumberAt(L, i + 1, colors, &position, &err)) {
            if (!err) err = ERR_MISSINGPARAMTR;
            break;
        }
        if (!(position >= 0 && position <= 1)) {
            err = ERR_WRONGUSAGE;
            break;
        }
        stops[count].colour = uint32_t(int64_t(colour)) & 0xFFFFFF;
        stops[count].reserved = 0;
        stops[count].position = position;
        ++count;
    }
    lua_settop(L, -2);
    if (err) return err;
    if (count == 1) return ERR_WRONGUSAGE;
    if (count >= 2) {
        for (int i = 0; i < count; ++i) g->stops[i] = stops[i];
        g->stopCount = count;
        if (hasStops) *hasStops = 1;
    }
    return 0;
}

extern "C" int ReadGradientArgs(lua_State *L, int index, cxGradient *g) {
    if (g->style == 0 || g->style == 1) {
        g->angle = g->style == 0 ? 0 : 90;
        g->style = CX_GRADIENT_LINEAR;
    } else if (g->style != CX_GRADIENT_LINEAR && g->style != CX_GRADIENT_RADIAL && g->style != CX_GRADIENT_CONICAL) {
        return ERR_WRONGUSAGE;
    }
    const int top = lua_gettop(L);
    int next = index;
    if (g->style != CX_GRADIENT_RADIAL) {
        if (index <= top && !lua_isnil(L, index)) g->angle = int32_t(luaL_checknumber(L, index));
        next = index + 1;
    }
    if (next > top || lua_isnil(L, next)) return 0;
    if (!lua_istable(L, next)) {
        SetErrorNumber(next);
        return ERR_TABEXPECTED;
    }
    return ReadGradientTable(L, next, g, "centerx", "centery", "balance", "border", "colors", nullptr);
}

extern "C" int ReadGradientFillOptions(lua_State *L, int table, cxGradient *g, int keep, int init) {
    if (init) InitGradientDefaults(g, keep);
    uint32_t v = 0;
    if (GetTableBool(L, table, "gradientstyle", &v, nullptr)) {
        if (v != CX_GRADIENT_LINEAR && v != CX_GRADIENT_RADIAL && v != CX_GRADIENT_CONICAL) return ERR_WRONGUSAGE;
        g->style = v;
    }
    GetTableBool(L, table, "gradientstartcolor", &g->startColour, nullptr);
    GetTableBool(L, table, "gradientendcolor", &g->endColour, nullptr);
    GetTableInt(L, table, "gradientangle", &g->angle, nullptr);
    return ReadGradientTable(L, table, g, "gradientcenterx", "gradientcentery", "gradientbalance", "gradientborder",
                             "gradientcolors", nullptr);
}

extern "C" void WriteGradientOptions(lua_State *L, const char *prefix, const cxGradient *g) {
    char key[256];
    auto name = [&](const char *what) {
        snprintf(key, sizeof key, "%s%s", prefix, what);
        return key;
    };
    SetTableUnsigned(L, name("style"), g->style);
    SetTableUnsigned(L, name("startcolor"), g->startColour);
    SetTableUnsigned(L, name("endcolor"), g->endColour);
    SetTableNumber(L, name("angle"), g->angle);
    SetTableDouble(L, name("centerx"), g->centerX);
    SetTableDouble(L, name("centery"), g->centerY);
    SetTableDouble(L, name("balance"), g->balance);
    SetTableDouble(L, name("border"), g->border);
    if (g->stopCount > 0) {
        lua_pushstring(L, name("colors"));
        lua_newtable(L);
        for (int i = 0; i < g->stopCount; ++i) {
            lua_pushnumber(L, g->stops[i].colour);
            lua_rawseti(L, -2, 2 * i);
            lua_pushnumber(L, g->stops[i].position);
            lua_rawseti(L, -2, 2 * i + 1);
        }
        lua_settable(L, -3);
    }
}
