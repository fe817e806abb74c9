// Calling commands by name and looking up script constants.
#include "engine/runtime/calls.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <string>

#include "errors/errors.h"

namespace {

std::string Lower(const char *s, size_t n) {
    std::string r(s, n);
    for (char &c : r) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return r;
}

bool IsNameChar(char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; }

} // namespace

extern "C" int CallCommandByName(lua_State *L, const char *name, int resultCount, int argCount, ...) {
    int top = lua_gettop(L);
    if (!name || argCount < 0 || !lua_checkstack(L, argCount + 2)) return ERR_STACK;
    std::string lname = Lower(name, strlen(name));
    lua_pushstring(L, lname.c_str());
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (!lua_isfunction(L, -1)) {
        lua_settop(L, top);
        SetErrorDetail(name);
        return ERR_FUNCDECLA;
    }
    va_list ap;
    va_start(ap, argCount);
    for (int i = 0; i < argCount; i++) {
        switch (va_arg(ap, int)) {
        case LUA_TBOOLEAN: lua_pushboolean(L, va_arg(ap, int)); break;
        case LUA_TNUMBER: lua_pushnumber(L, va_arg(ap, double)); break;
        case LUA_TSTRING: lua_pushstring(L, va_arg(ap, const char *)); break;
        case LUA_TLIGHTUSERDATA: lua_pushlightuserdata(L, va_arg(ap, void *)); break;
        case LUA_TTABLE: {
            int idx = va_arg(ap, int);
            if (idx < 0 && idx > LUA_REGISTRYINDEX) idx = top + idx + 1; // relative to the caller's top
            lua_pushvalue(L, idx);
            break;
        }
        default: lua_pushnil(L); break;
        }
    }
    va_end(ap);
    int err = lua_pcall(L, argCount, resultCount, 0);
    if (err) lua_settop(L, top);
    return err;
}

extern "C" int ParseConstantName(lua_State *L, const char *text, size_t *consumed, int *type, double *value) {
    if (!text || text[0] != '#' || !IsNameChar(text[1])) {
        SetErrorDetail(text ? text : "");
        return ERR_FINDCST;
    }
    size_t n = 1;
    while (IsNameChar(text[n])) n++;
    std::string key = Lower(text + 1, n - 1);
    lua_pushstring(L, "constants");
    lua_rawget(L, LUA_REGISTRYINDEX);
    int t = LUA_TNIL;
    double v = 0;
    if (lua_istable(L, -1)) {
        lua_pushstring(L, key.c_str());
        lua_rawget(L, -2);
        t = lua_type(L, -1);
        if (t == LUA_TNUMBER) v = lua_tonumber(L, -1);
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    if (t != LUA_TNUMBER && t != LUA_TSTRING) {
        std::string shown(text + 1, n - 1);
        SetErrorDetail(shown.c_str());
        return ERR_FINDCST;
    }
    if (consumed) *consumed = n;
    if (type) *type = t;
    if (value) *value = v;
    return 0;
}
