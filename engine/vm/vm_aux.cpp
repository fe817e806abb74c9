// The auxiliary library: argument readers, references, metatables, buffers
// and the registration of commands and constants.
#include <cctype>
#include <new>
#include <string>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "engine/vm/vm_internal.h"

namespace {

std::string lowerCase(const char *s) {
    std::string r(s);
    for (char &c : r) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return r;
}

LUA_NORETURN void argError(lua_State *L, int narg, int code) {
    SetErrorNumber(narg);
    luaG_runerror(L, code);
}

// Pushes the registry table of that name, creating it on first use.
void registryTable(lua_State *L, const char *name) {
    lua_pushstring(L, name);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushstring(L, name);
        lua_pushvalue(L, -2);
        lua_rawset(L, LUA_REGISTRYINDEX);
    }
}

int typeCode(int t) {
    switch (t) {
    case LUA_TNUMBER: return ERR_NUMEXPECTED;
    case LUA_TSTRING: return ERR_STREXPECTED;
    case LUA_TTABLE: return ERR_TABEXPECTED;
    case LUA_TFUNCTION: return ERR_FUNCEXPECTED;
    case LUA_TUSERDATA:
    case LUA_TLIGHTUSERDATA: return ERR_UDEXPECTED;
    default: return ERR_WRONGDTYPE;
    }
}

cxCommandLibrary *g_libraries = nullptr;

} // namespace

// ---- registration ----

extern "C" void luaL_openlib(lua_State *L, const char *libname, const luaL_reg *l, int nup) {
    if (libname) {
        std::string lname = lowerCase(libname);
        lua_pushstring(L, lname.c_str());
        lua_gettable(L, LUA_GLOBALSINDEX);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            lua_newtable(L);
            lua_pushstring(L, lname.c_str());
            lua_pushvalue(L, -2);
            lua_settable(L, LUA_GLOBALSINDEX);
        }
        lua_insert(L, -(nup + 1));
    }
    // the library table stays below the upvalues (and on the stack after)
    int tindex = libname ? lua_gettop(L) - nup : LUA_GLOBALSINDEX;
    for (; l && l->name; l++) {
        std::string name = lowerCase(l->name);
        lua_pushstring(L, name.c_str());
        for (int i = 0; i < nup; i++) lua_pushvalue(L, -(nup + 1));
        lua_pushcclosure(L, l->func, nup);
        static_cast<CClosure *>(clvalue(L->top - 1))->name = l->name;
        lua_settable(L, tindex);
    }
    lua_pop(L, nup);
}

extern "C" void luaL_openconstants(lua_State *L, const luaL_Const *l, int flag) {
    (void)flag;
    registryTable(L, "constants");
    for (; l && l->name; l++) {
        std::string name = lowerCase(l->name);
        lua_pushstring(L, name.c_str());
        if (l->str)
            lua_pushstring(L, l->str);
        else
            lua_pushnumber(L, l->num);
        lua_rawset(L, -3);
    }
    lua_pop(L, 1);
}

extern "C" int luaL_getlabel(lua_State *L, const char *name) {
    registryTable(L, "labels");
    std::string lname = lowerCase(name);
    lua_pushstring(L, lname.c_str());
    lua_rawget(L, -2);
    int pos = lua_type(L, -1) == LUA_TNUMBER ? static_cast<int>(lua_tonumber(L, -1)) : -1;
    lua_pop(L, 2);
    return pos;
}

extern "C" void luaL_setlabel(lua_State *L, const char *name, int position) {
    registryTable(L, "labels");
    std::string lname = lowerCase(name);
    lua_pushstring(L, lname.c_str());
    lua_pushnumber(L, position);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

extern "C" int AddCommandLibrary(const luaL_reg *commands, const char *name) {
    cxCommandLibrary *lib = new (std::nothrow) cxCommandLibrary{nullptr, commands, name};
    if (!lib) return ERR_MEM;
    cxCommandLibrary **p = &g_libraries;
    while (*p) p = &(*p)->next;
    *p = lib;
    return 0;
}

extern "C" const cxCommandLibrary *GetCommandLibraries(void) { return g_libraries; }

extern "C" void FreeCommandLibraries(void) {
    while (g_libraries) {
        cxCommandLibrary *n = g_libraries->next;
        delete g_libraries;
        g_libraries = n;
    }
}

// ---- metatables ----

extern "C" int luaL_getmetafield(lua_State *L, int obj, const char *event) {
    if (!lua_getmetatable(L, obj)) return 0;
    lua_pushstring(L, event);
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 2);
        return 0;
    }
    lua_remove(L, -2);
    return 1;
}

extern "C" int luaL_callmeta(lua_State *L, int obj, const char *event) {
    if (obj < 0 && obj > LUA_REGISTRYINDEX) obj = lua_gettop(L) + obj + 1;
    if (!luaL_getmetafield(L, obj, event)) return 0;
    lua_pushvalue(L, obj);
    lua_call(L, 1, 1);
    return 1;
}

extern "C" int luaL_newmetatable(lua_State *L, const char *tname) {
    lua_pushstring(L, tname);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (!lua_isnil(L, -1)) return 0;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushstring(L, tname);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
    return 1;
}

extern "C" void luaL_getmetatable(lua_State *L, const char *tname) {
    lua_pushstring(L, tname);
    lua_rawget(L, LUA_REGISTRYINDEX);
}

extern "C" void *luaL_checkudata(lua_State *L, int ud, const char *tname) {
    if (lua_type(L, ud) != LUA_TUSERDATA || !lua_getmetatable(L, ud)) argError(L, ud, ERR_UDEXPECTED);
    luaL_getmetatable(L, tname);
    int same = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    if (!same) argError(L, ud, ERR_UDEXPECTED);
    return lua_touserdata(L, ud);
}

extern "C" void *luaL_getregpointer(lua_State *L, const char *key) {
    lua_pushstring(L, key);
    lua_rawget(L, LUA_REGISTRYINDEX);
    void *p = lua_type(L, -1) == LUA_TLIGHTUSERDATA ? lua_touserdata(L, -1) : nullptr;
    lua_pop(L, 1);
    return p;
}

extern "C" void luaL_setregpointer(lua_State *L, const char *key, void *p) {
    lua_pushstring(L, key);
    if (p)
        lua_pushlightuserdata(L, p);
    else
        lua_pushnil(L);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

// ---- argument readers ----

extern "C" const char *luaL_checklstring(lua_State *L, int narg, size_t *len) {
    const char *s = lua_tostring(L, narg);
    if (!s) argError(L, narg, ERR_STREXPECTED);
    if (len) *len = lua_strlen(L, narg);
    return s;
}

extern "C" const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *len) {
    if (lua_type(L, narg) == LUA_TNONE) {
        if (len) *len = def ? strlen(def) : 0;
        return def;
    }
    return luaL_checklstring(L, narg, len);
}

extern "C" lua_Number luaL_checknumber(lua_State *L, int narg) {
    // An argument that is a number already (nearly every call of a
    // command) needs no look for a conversion.
    if (narg > 0) {
        const TObject *o = L->base + (narg - 1);
        if (o < L->top && ttisnumber(o)) return nvalue(o);
    }
    if (!lua_isnumber(L, narg)) argError(L, narg, ERR_NUMEXPECTED);
    return lua_tonumber(L, narg);
}

extern "C" lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def) {
    if (lua_type(L, narg) == LUA_TNONE) return def;
    return luaL_checknumber(L, narg);
}

extern "C" int luaL_numbertoint(lua_Number n) { return static_cast<int>(luaV_touint32(n)); }

extern "C" int luaL_checkint(lua_State *L, int narg) { return luaL_numbertoint(luaL_checknumber(L, narg)); }

extern "C" int luaL_optint(lua_State *L, int narg, int def) {
    if (lua_type(L, narg) == LUA_TNONE) return def;
    return luaL_checkint(L, narg);
}

extern "C" void luaL_checktable(lua_State *L, int narg) {
    if (lua_type(L, narg) != LUA_TTABLE) argError(L, narg, ERR_TABEXPECTED);
}

extern "C" void luaL_checkfunction(lua_State *L, int narg) {
    if (lua_type(L, narg) != LUA_TFUNCTION) argError(L, narg, ERR_FUNCEXPECTED);
}

extern "C" void luaL_checktype(lua_State *L, int narg, int t) {
    if (lua_type(L, narg) != t) argError(L, narg, typeCode(t));
}

extern "C" void luaL_checkany(lua_State *L, int narg) {
    if (lua_type(L, narg) == LUA_TNONE) argError(L, narg, ERR_MISSINGPARAMTR);
}

extern "C" void luaL_checkstack(lua_State *L, int space) {
    if (!lua_checkstack(L, space)) luaG_runerror(L, ERR_STACK);
}

extern "C" lua_Number luaL_checkfieldnumber(lua_State *L, int idx, const char *field) {
    if (!lua_isnumber(L, idx)) {
        SetErrorDetail(field);
        luaG_runerror(L, ERR_NUMTABLEARG);
    }
    return lua_tonumber(L, idx);
}

extern "C" int luaL_checkfieldint(lua_State *L, int idx, const char *field) {
    return luaL_numbertoint(luaL_checkfieldnumber(L, idx, field));
}

extern "C" lua_Number luaL_tocallbacknumber(lua_State *L, int idx, int *error) {
    if (lua_type(L, idx) != LUA_TNUMBER) {
        if (error) *error = ERR_NUMCALLBACK;
        return 0;
    }
    if (error) *error = 0;
    return lua_tonumber(L, idx);
}

extern "C" int luaL_findstring(const char *name, const char *const list[]) {
    if (!name || !list) return -1;
    for (int i = 0; list[i]; i++)
        if (strcmp(list[i], name) == 0) return i;
    return -1;
}

// ---- references ----
// Free slots are chained from t[0]; t[-1] holds the highest slot handed out.

extern "C" int luaL_ref(lua_State *L, int t) {
    if (t < 0 && t > LUA_REGISTRYINDEX) t = lua_gettop(L) + t + 1;
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return LUA_REFNIL;
    }
    lua_rawgeti(L, t, 0);
    int ref = static_cast<int>(lua_tonumber(L, -1));
    lua_pop(L, 1);
    if (ref > 0) {
        lua_rawgeti(L, t, ref);
        lua_rawseti(L, t, 0);
    } else {
        lua_rawgeti(L, t, -1);
        ref = static_cast<int>(lua_tonumber(L, -1)) + 1;
        lua_pop(L, 1);
        lua_pushnumber(L, ref);
        lua_rawseti(L, t, -1);
    }
    lua_rawseti(L, t, ref);
    return ref;
}

extern "C" void luaL_unref(lua_State *L, int t, int ref) {
    if (ref <= 0) return;
    if (t < 0 && t > LUA_REGISTRYINDEX) t = lua_gettop(L) + t + 1;
    lua_rawgeti(L, t, 0);
    lua_rawseti(L, t, ref);
    lua_pushnumber(L, ref);
    lua_rawseti(L, t, 0);
}

// ---- string buffers ----

#define bufflen(B) static_cast<size_t>((B)->p - (B)->buffer)
#define bufffree(B) (static_cast<size_t>(LUAL_BUFFERSIZE) - bufflen(B))
#define LIMIT (LUA_MINSTACK / 2)

static int emptybuffer(luaL_Buffer *B) {
    size_t l = bufflen(B);
    if (l == 0) return 0;
    lua_pushlstring(B->L, B->buffer, l);
    B->p = B->buffer;
    B->lvl++;
    return 1;
}

// Keeps the pieces on the stack few: merges the top ones while the piece
// below is not larger than what sits above it.
static void adjuststack(luaL_Buffer *B) {
    if (B->lvl <= 1) return;
    lua_State *L = B->L;
    int toget = 1;
    size_t toplen = lua_strlen(L, -1);
    do {
        size_t l = lua_strlen(L, -(toget + 1));
        if (B->lvl - toget + 1 >= LIMIT || toplen > l) {
            toplen += l;
            toget++;
        } else {
            break;
        }
    } while (toget < B->lvl);
    lua_concat(L, toget);
    B->lvl = B->lvl - toget + 1;
}

extern "C" char *luaL_prepbuffer(luaL_Buffer *B) {
    if (emptybuffer(B)) adjuststack(B);
    return B->buffer;
}

extern "C" void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l) {
    while (l > 0) {
        size_t room = bufffree(B);
        if (room == 0) {
            luaL_prepbuffer(B);
            room = bufffree(B);
        }
        size_t n = l < room ? l : room;
        memcpy(B->p, s, n);
        B->p += n;
        s += n;
        l -= n;
    }
}

extern "C" void luaL_addstring(luaL_Buffer *B, const char *s) { luaL_addlstring(B, s, strlen(s)); }

extern "C" void luaL_pushresult(luaL_Buffer *B) {
    emptybuffer(B);
    lua_concat(B->L, B->lvl);
    B->lvl = 1;
}

extern "C" void luaL_addvalue(luaL_Buffer *B) {
    lua_State *L = B->L;
    size_t vl = lua_strlen(L, -1);
    if (vl <= bufffree(B)) {
        memcpy(B->p, lua_tostring(L, -1), vl);
        B->p += vl;
        lua_pop(L, 1);
    } else {
        if (emptybuffer(B)) lua_insert(L, -2);
        B->lvl++;
        adjuststack(B);
    }
}

extern "C" void luaL_buffinit(lua_State *L, luaL_Buffer *B) {
    B->L = L;
    B->p = B->buffer;
    B->lvl = 0;
}
