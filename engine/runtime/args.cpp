// Argument readers of the command runtime.
#include "engine/runtime/args.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "engine/runtime/kernel.h"
#include "engine/vm/lauxlib.h"
#include "streams/chunk_names.h"

namespace {

LUA_NORETURN void RaiseArg(lua_State *L, int index, int code) {
    SetErrorNumber(index);
    luaG_runerror(L, code);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

extern "C" lua_State *CheckArgCount(lua_State *L, int min, int max, int needMajor, int needMinor) {
    int n = lua_gettop(L);
    if (min == 0 && max == 0 && n > 0) luaG_runerror(L, ERR_TOOMANYARGS);
    if (n < min) luaG_runerror(L, ERR_MISSINGPARAMTR);
    if (max > 0 && n > max) luaG_runerror(L, ERR_TOOMANYARGS);
    if (needMajor != 0 && !AppletVersionAtLeast(needMajor, needMinor)) {
        char version[32];
        snprintf(version, sizeof version, "%d.%d", needMajor, needMinor);
        SetErrorDetail(version);
        luaG_runerror(L, ERR_OLDAPPLET);
    }
    return L;
}

extern "C" void GetObjectIDArg(cxObjectID *out, lua_State *L, int index) {
    if (lua_type(L, index) == LUA_TLIGHTUSERDATA) {
        out->number = 0;
        out->pointer = lua_touserdata(L, index);
        return;
    }
    out->number = luaL_checkint(L, index);
    out->pointer = nullptr;
}

extern "C" void GetOptionalNumberArg(cxOptionalNumber *out, lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) {
        out->value = 0;
        out->wasNil = 1;
        return;
    }
    out->value = luaL_checkint(L, index);
    out->wasNil = 0;
}

extern "C" int GetCoordinateArg(lua_State *L, int index, int32_t *out) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return ERR_COORDSRANGE;
    *out = int32_t(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
    return 0;
}

extern "C" int PushObjectID(lua_State *L, cxObjectID id) {
    if (id.pointer)
        lua_pushlightuserdata(L, id.pointer);
    else
        lua_pushnumber(L, id.number);
    return 1;
}

extern "C" size_t ParseDecimalPrefix(const char *text, double *value) {
    const char *p = text;
    while (IsBlank(*p)) p++;
    const char *start = p;
    if (*p == '-' || *p == '+') p++;
    int digits = 0;
    while (*p >= '0' && *p <= '9') p++, digits++;
    if (*p == '.' && p[1] >= '0' && p[1] <= '9') {
        p++;
        while (*p >= '0' && *p <= '9') p++, digits++;
    }
    if (digits == 0) return 0;
    // strtod on an exact copy of the span: no hex, exponent or "inf" forms
    std::string span(start, p);
    *value = strtod(span.c_str(), nullptr);
    return static_cast<size_t>(p - text);
}

extern "C" double GetNumberOrPercentArg(lua_State *L, int index, double base, int allowOver100, int *isPercent) {
    switch (lua_type(L, index)) {
    case LUA_TNIL: return 0;
    case LUA_TNUMBER: return lua_tonumber(L, index);
    case LUA_TSTRING: {
        const char *s = lua_tostring(L, index);
        double v = 0;
        size_t used = ParseDecimalPrefix(s, &v);
        if (used == 0) RaiseArg(L, index, ERR_PERCENTFORMAT);
        if (s[used] != '%') return v;
        if (v < 0 || (v > 100 && !allowOver100)) RaiseArg(L, index, ERR_PERCENTFORMAT);
        if (base == 0) {
            if (isPercent) *isPercent = 1;
            return v / 100;
        }
        return v * base / 100;
    }
    default: RaiseArg(L, index, ERR_STRORNUM);
    }
}

extern "C" const char *GetStringArgChecked(lua_State *L, int index, size_t *length, int checkUtf8, size_t *bytes) {
    size_t n = 0;
    const char *s = luaL_checklstring(L, index, &n);
    if (bytes) *bytes = n;
    if (checkUtf8) {
        size_t count = 0;
        if (!ValidateUtf8(s, n, &count)) RaiseArg(L, index, ERR_INVALIDUTF8ARG);
        if (length) *length = count;
    } else if (length) {
        *length = n;
    }
    return s;
}

extern "C" const char *GetFileNameArg(lua_State *L, int index, int font, int *isLinked) {
    const char *name = luaL_checkstring(L, index);
    const cxApplet *applet = GetRunningApplet();
    if (!applet) return name;
    char buffer[CX_STREAM_NAME_MAX + 1];
    int isFont = 0;
    const char *resolved = ResolveLinkedFileName(applet, name, font, &isFont, buffer, sizeof buffer);
    if (resolved == name) return name;
    if (isLinked) *isLinked = 1;
    if (index < 0 && index > LUA_REGISTRYINDEX) index = lua_gettop(L) + index + 1;
    lua_pushstring(L, resolved);
    lua_replace(L, index);
    return lua_tostring(L, index);
}
