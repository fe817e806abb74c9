/* A library plug-in whose base name "Counter:" makes a class-like table in
   the registry, "classy.cxp.Counter". CLASSY_MODULE and CLASSY_BASE change
   the names. */
#include "include/calyxtone/cxplugin.h"

#ifndef CLASSY_MODULE
#define CLASSY_MODULE "classy"
#endif
#ifndef CLASSY_BASE
#define CLASSY_BASE "Counter"
#endif

static const cxPluginApi *api;

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    p->capabilities = CX_CAP_LIBRARY;
    p->version = 2;
    p->revision = 1;
    p->name = "Class test";
    p->moduleName = CLASSY_MODULE;
    return 1;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}

static const char *const kClass = CLASSY_MODULE ".cxp." CLASSY_BASE;

/* New() -> a counter whose metatable is the class table. */
static int New(lua_State *L) {
    int *count = (int *)api->vm->lua_newuserdata(L, sizeof(int));
    *count = 0;
    api->vm->luaL_getmetatable(L, kClass);
    api->vm->lua_setmetatable(L, -2);
    return 1;
}

static int Inc(lua_State *L) {
    int *count = (int *)api->vm->luaL_checkudata(L, 1, kClass);
    (*count)++;
    return 0;
}

static int Get(lua_State *L) {
    int *count = (int *)api->vm->luaL_checkudata(L, 1, kClass);
    api->vm->lua_pushnumber(L, *count);
    return 1;
}

static const cxPluginCommand commands[] = {{"New", New}, {"Inc", Inc}, {"Get", Get}, {0, 0}};
static const cxPluginConstant constants[] = {{"CLASSY_START", 0, 0}, {0, 0, 0}};

CX_PLUGIN_EXPORT const char *GetBaseTable(void) { return CLASSY_BASE ":"; }
CX_PLUGIN_EXPORT const cxPluginCommand *GetCommands(void) { return commands; }
CX_PLUGIN_EXPORT const cxPluginConstant *GetConstants(void) { return constants; }
CX_PLUGIN_EXPORT int InitLibrary(lua_State *L) {
    (void)L;
    return 0;
}
CX_PLUGIN_EXPORT void FreeLibrary(lua_State *L) { (void)L; }
