// The process environment and the current folder.
#include <cstdlib>

#include "io/dos/dos_internal.h"
#include "platform/os_environment.h"

namespace cxdos {

int GetEnv(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    char *value = OsGetEnv(name);
    lua_pushstring(L, value ? value : "");
    lua_pushnumber(L, value ? 1 : 0);
    free(value);
    return 2;
}

int SetEnv(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    const char *value = luaL_checkstring(L, 2);
    return OsSetEnv(name, value);
}

int UnsetEnv(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return OsUnsetEnv(luaL_checkstring(L, 1));
}

int ChangeDirectory(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    // A failure is not reported: the current folder stays.
    free(OsChangeDir(luaL_checkstring(L, 1)));
    return 0;
}

int GetCurrentDirectory(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    char *dir = OsGetCurrentDir();
    lua_pushstring(L, dir ? dir : "");
    free(dir);
    return 1;
}

}  // namespace cxdos
