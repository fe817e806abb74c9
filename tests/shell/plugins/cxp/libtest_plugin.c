/* A library plug-in with two libraries: "libtest" (a table, with upvalues
   from PushUpvalues, constants and help strings) and one of globals. */
#include <string.h>

#include "include/calyxtone/cxplugin.h"
#include "tests/shell/plugins/cxp/probe_log.h"

static const cxPluginApi *api;
static int current;

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    p->capabilities = CX_CAP_LIBRARY | CX_CAP_EXTENSIONS;
    p->version = 1;
    p->revision = 0;
    p->name = "Library test";
    p->moduleName = "libtest";
    p->author = "Test author";
    p->description = "Commands and constants for the tests";
    p->copyright = "Public domain";
    p->url = "https://example.invalid/libtest";
    p->date = "2024-02-03";
    p->helpReference = "libtest.guide";
    return 1;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) { ProbeLog("close", "libtest"); }

CX_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, uint32_t reserved) {
    (void)reserved;
    if (capability == CX_CAP_LIBRARY) return CX_EXT_LIBRARY_MULTI | CX_EXT_LIBRARY_HELP | CX_EXT_LIBRARY_UPVALUES;
    return 0;
}

static int Add(lua_State *L) {
    api->vm->lua_pushnumber(L, api->vm->luaL_checknumber(L, 1) + api->vm->luaL_checknumber(L, 2));
    return 1;
}

/* Joins its string arguments through the auxiliary library's buffer. */
static int Join(lua_State *L) {
    cxLuaBuffer b;
    int n = api->vm->lua_gettop(L);
    api->vm->luaL_buffinit(L, &b);
    for (int i = 1; i <= n; i++) {
        size_t len;
        const char *s = api->vm->luaL_checklstring(L, i, &len);
        api->vm->luaL_addlstring(&b, s, len);
    }
    api->vm->luaL_pushresult(&b);
    return 1;
}

/* Raises through the interface: the error unwinds this C frame. */
static int Need(lua_State *L) {
    double n = api->vm->luaL_checknumber(L, 1);
    ProbeLog("need-returned", 0); /* never reached with a bad argument */
    api->vm->lua_pushnumber(L, n);
    return 1;
}

static int Raise(lua_State *L) {
    api->vm->luaG_runerror(L, api->vm->luaL_checkint(L, 1));
    return 0;
}

/* Returns its error code instead of raising. */
static int Fail(lua_State *L) { return api->vm->luaL_checkint(L, 1); }

static int Up(lua_State *L) {
    api->vm->lua_pushvalue(L, lua_upvalueindex(1));
    return 1;
}

/* CRC-32 of a string through the zlib table. */
static int Crc(lua_State *L) {
    size_t len;
    const char *s = api->vm->luaL_checklstring(L, 1, &len);
    api->vm->lua_pushnumber(L, (double)api->zlib->crc32(0, (const unsigned char *)s, (unsigned int)len));
    return 1;
}

static int Global(lua_State *L) {
    api->vm->lua_pushstring(L, "global");
    return 1;
}

static const cxPluginCommand table0[] = {{"Add", Add}, {"Join", Join}, {"Need", Need}, {"Raise", Raise},
                                         {"Fail", Fail}, {"Up", Up},     {"Crc", Crc},
#ifdef LIBTEST_NULL_COMMAND
                                         {"Broken", 0}, /* a command without a function */
#endif
                                         {0, 0}};
static const cxPluginConstant constants0[] = {{"LIBTEST_ANSWER", 0, 42}, {"LIBTEST_NAME", "deep", 0}, {0, 0, 0}};
static const char *const help0[] = {"Add(a, b)", "sum of two numbers", "Join(...)", "joins strings",
                                    "Need(n)",   "a number back",      "Raise(code)", "raises code",
                                    "Fail(code)", "returns code",      "Up()",      "the upvalue",
                                    "Crc(s)",    "CRC-32 of s"};
static const cxPluginCommand table1[] = {{"LibTestGlobal", Global}, {0, 0}};
static const cxPluginConstant constants1[] = {{"LIBTEST_TWO", 0, 2}, {0, 0, 0}};
static const char *const help1[] = {"LibTestGlobal()", "a global command"};

CX_PLUGIN_EXPORT int GetLibraryCount(void) { return 2; }
CX_PLUGIN_EXPORT void SetCurrentLibrary(int index) { current = index; }
CX_PLUGIN_EXPORT const char *GetBaseTable(void) { return current == 0 ? "libtest" : 0; }
CX_PLUGIN_EXPORT const cxPluginCommand *GetCommands(void) { return current == 0 ? table0 : table1; }
CX_PLUGIN_EXPORT const cxPluginConstant *GetConstants(void) { return current == 0 ? constants0 : constants1; }
CX_PLUGIN_EXPORT const char *const *GetHelpStrings(void) { return current == 0 ? help0 : help1; }

CX_PLUGIN_EXPORT int PushUpvalues(lua_State *L) {
    api->vm->lua_pushstring(L, "up:libtest");
    return 1;
}

CX_PLUGIN_EXPORT int InitLibrary(lua_State *L) {
    (void)L;
    ProbeLog("initlibrary", "libtest");
    return 0;
}

CX_PLUGIN_EXPORT void FreeLibrary(lua_State *L) {
    (void)L;
    ProbeLog("freelibrary", "libtest");
}
