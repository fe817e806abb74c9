// Option-table field readers and table writers.
#include "engine/runtime/table_fields.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/runtime/kernel.h"
#include "engine/vm/lauxlib.h"
#include "streams/chunk_names.h"

namespace {

cxLayerNameResolver g_layerResolver = nullptr;

int Absolute(lua_State *L, int index) {
    return (index < 0 && index > LUA_REGISTRYINDEX) ? lua_gettop(L) + index + 1 : index;
}

// Pushes t[key]; returns false (with nothing left pushed) when it is Nil.
bool PushField(lua_State *L, int table, const char *key) {
    table = Absolute(L, table);
    lua_pushstring(L, key);
    lua_gettable(L, table);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return false;
    }
    return true;
}

LUA_NORETURN void RaiseField(lua_State *L, const char *key, int code) {
    SetErrorDetail(key);
    luaG_runerror(L, code);
}

double FieldNumber(lua_State *L, const char *key) {
    if (lua_type(L, -1) != LUA_TNUMBER && !lua_isnumber(L, -1)) RaiseField(L, key, ERR_NUMTABLEARG);
    return lua_tonumber(L, -1);
}

int Found(int *found) {
    if (found) *found = 1;
    return 1;
}

} // namespace

extern "C" int GetTableInt(lua_State *L, int table, const char *key, int *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    *out = luaL_numbertoint(FieldNumber(L, key));
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableDouble(lua_State *L, int table, const char *key, double *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    *out = FieldNumber(L, key);
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableBool(lua_State *L, int table, const char *key, uint32_t *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    if (lua_type(L, -1) == LUA_TBOOLEAN)
        *out = lua_toboolean(L, -1) ? 1u : 0u;
    else
        *out = static_cast<uint32_t>(luaL_numbertoint(FieldNumber(L, key)));
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableTruth(lua_State *L, int table, const char *key, int *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    switch (lua_type(L, -1)) {
    case LUA_TBOOLEAN: *out = lua_toboolean(L, -1) ? 1 : 0; break;
    case LUA_TNUMBER: *out = lua_tonumber(L, -1) != 0 ? 1 : 0; break;
    case LUA_TSTRING: *out = lua_strlen(L, -1) != 0 ? 1 : 0; break;
    default: *out = 1;
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableFunction(lua_State *L, int table, const char *key, int *ref, int *found) {
    if (!PushField(L, table, key)) return 0;
    *ref = luaL_ref(L, LUA_REGISTRYINDEX);
    return Found(found);
}

extern "C" int GetTableString(lua_State *L, int table, const char *key, char *buffer, size_t size, int *found) {
    if (!PushField(L, table, key)) return 0;
    int t = lua_type(L, -1);
    if (t != LUA_TSTRING && t != LUA_TNUMBER) RaiseField(L, key, ERR_STRTABLEARG);
    const char *s = lua_tostring(L, -1);
    size_t len = lua_strlen(L, -1);
    if (size > 0) {
        size_t n = len < size - 1 ? len : size - 1;
        memcpy(buffer, s, n);
        buffer[n] = 0;
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableStringAlloc(lua_State *L, int table, const char *key, int resolve, int *isFont, char **out,
                                   size_t *length, int *found) {
    if (!PushField(L, table, key)) return 0;
    int t = lua_type(L, -1);
    if (t != LUA_TSTRING && t != LUA_TNUMBER) RaiseField(L, key, ERR_STRTABLEARG);
    const char *s = lua_tostring(L, -1);
    size_t len = lua_strlen(L, -1);
    std::string resolved;
    const cxApplet *applet = GetRunningApplet();
    if ((resolve == 1 || resolve == 2) && applet) {
        char buffer[CX_STREAM_NAME_MAX + 1];
        int font = 0;
        const char *r = ResolveLinkedFileName(applet, s, resolve == 2, &font, buffer, sizeof buffer);
        if (r != s) {
            resolved = r;
            s = resolved.c_str();
            len = resolved.size();
            if (isFont) *isFont = font;
        }
    }
    char *copy = static_cast<char *>(malloc(len + 1));
    if (!copy) luaG_runerror(L, ERR_MEM);
    memcpy(copy, s, len);
    copy[len] = 0;
    lua_pop(L, 1);
    *out = copy;
    if (length) *length = len;
    return Found(found);
}

extern "C" int GetTableObjectID(lua_State *L, int table, const char *key, cxObjectID *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    if (lua_type(L, -1) == LUA_TLIGHTUSERDATA) {
        out->number = 0;
        out->pointer = lua_touserdata(L, -1);
    } else {
        out->number = luaL_numbertoint(FieldNumber(L, key));
        out->pointer = nullptr;
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTablePercent(lua_State *L, int table, const char *key, int allowOver100, int32_t *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    if (lua_type(L, -1) == LUA_TSTRING) {
        const char *s = lua_tostring(L, -1);
        double v = 0;
        size_t used = ParseDecimalPrefix(s, &v);
        if (used == 0) RaiseField(L, key, ERR_PERCENTFORMATSTR);
        if (s[used] == '%') {
            if (v < 0) RaiseField(L, key, ERR_PERCENTFORMATSTR);
            double whole = v < 2147483647.0 ? static_cast<double>(static_cast<int64_t>(v)) : 2147483647.0;
            if (whole > 100 && !allowOver100) RaiseField(L, key, ERR_PERCENTFORMATSTR);
            *out = -static_cast<int32_t>(whole);
        } else {
            *out = luaL_numbertoint(v);
        }
    } else if (lua_type(L, -1) == LUA_TNUMBER) {
        *out = luaL_numbertoint(lua_tonumber(L, -1));
    } else {
        RaiseField(L, key, ERR_NUMTABLEARG);
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableNumberOrPercent(lua_State *L, int table, const char *key, double base, int allowOver100,
                                       double *out, int *isPercent, int *found) {
    if (!PushField(L, table, key)) return 0;
    switch (lua_type(L, -1)) {
    case LUA_TNUMBER: *out = lua_tonumber(L, -1); break;
    case LUA_TSTRING: {
        const char *s = lua_tostring(L, -1);
        double v = 0;
        size_t used = ParseDecimalPrefix(s, &v);
        if (used == 0) RaiseField(L, key, ERR_PERCENTFORMATSTR);
        if (s[used] != '%') {
            *out = v;
        } else {
            if (v < 0 || (v > 100 && !allowOver100)) RaiseField(L, key, ERR_PERCENTFORMATSTR);
            if (base == 0) {
                if (isPercent) *isPercent = 1;
                *out = v / 100;
            } else {
                *out = v * base / 100;
            }
        }
        break;
    }
    default: RaiseField(L, key, ERR_NUMTABLEARG);
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableNumbers(lua_State *L, int table, const char *key, double out[4], int *found) {
    if (!PushField(L, table, key)) return 0;
    if (!lua_istable(L, -1)) RaiseField(L, key, ERR_TABEXPECTED2);
    double v[4];
    for (int i = 0; i < 4; i++) {
        lua_rawgeti(L, -1, i);
        if (lua_isnil(L, -1)) RaiseField(L, key, ERR_MISSINGPARAMTR);
        v[i] = FieldNumber(L, key);
        lua_pop(L, 1);
    }
    memcpy(out, v, sizeof v);
    lua_pop(L, 1);
    return Found(found);
}

extern "C" void SetLayerNameResolver(cxLayerNameResolver resolver) { g_layerResolver = resolver; }

extern "C" int GetTableLayerPos(lua_State *L, int table, const char *key, int *out, int *found) {
    if (!PushField(L, table, key)) return 0;
    switch (lua_type(L, -1)) {
    case LUA_TNUMBER: *out = luaL_numbertoint(lua_tonumber(L, -1)); break;
    case LUA_TSTRING: {
        const char *name = lua_tostring(L, -1);
        int pos = 0;
        int err = g_layerResolver ? g_layerResolver(L, name, &pos) : ERR_FINDLAYER;
        if (err) RaiseField(L, name, err);
        *out = pos;
        break;
    }
    default: RaiseField(L, key, ERR_WRONGUSAGE);
    }
    lua_pop(L, 1);
    return Found(found);
}

extern "C" int GetTableImageList(lua_State *L, int table, const char *key, cxObjectID **out, int *count,
                                 int *found) {
    if (!PushField(L, table, key)) return 0;
    if (!lua_istable(L, -1)) RaiseField(L, key, ERR_TABEXPECTED2);
    int n = 0;
    for (;; n++) {
        lua_rawgeti(L, -1, n);
        bool end = lua_isnil(L, -1);
        lua_pop(L, 1);
        if (end) break;
    }
    cxObjectID *ids = nullptr;
    if (n > 0) {
        ids = static_cast<cxObjectID *>(malloc(sizeof(cxObjectID) * static_cast<size_t>(n)));
        if (!ids) luaG_runerror(L, ERR_MEM);
        // a raise below must not leak the array
        struct Guard {
            cxObjectID *p;
            ~Guard() { free(p); }
        } guard{ids};
        for (int i = 0; i < n; i++) {
            lua_rawgeti(L, -1, i);
            if (lua_type(L, -1) == LUA_TLIGHTUSERDATA) {
                ids[i].number = 0;
                ids[i].pointer = lua_touserdata(L, -1);
            } else {
                ids[i].number = luaL_numbertoint(FieldNumber(L, key));
                ids[i].pointer = nullptr;
            }
            lua_pop(L, 1);
        }
        guard.p = nullptr;
    }
    lua_pop(L, 1);
    *out = ids;
    *count = n;
    return Found(found);
}

// ---- writers ----

extern "C" void SetTableNumber(lua_State *L, const char *key, int32_t value) {
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_settable(L, -3);
}

extern "C" void SetTableUnsigned(lua_State *L, const char *key, uint32_t value) {
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_settable(L, -3);
}

extern "C" void SetTableDouble(lua_State *L, const char *key, double value) {
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_settable(L, -3);
}

extern "C" void SetTableString(lua_State *L, const char *key, const char *value) {
    lua_pushstring(L, key);
    lua_pushstring(L, value ? value : "");
    lua_settable(L, -3);
}

extern "C" void SetTableObjectID(lua_State *L, const char *key, cxObjectID id) {
    lua_pushstring(L, key);
    PushObjectID(L, id);
    lua_settable(L, -3);
}
