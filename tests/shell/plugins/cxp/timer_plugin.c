/* A library plug-in that runs timers of the player's API: "timertest".
   Start(ms, limit, onceMs) starts a periodic timer that frees itself from
   inside its callback after `limit` calls, then posts a "TimerTestDone"
   event, and a one-shot timer. Counts() answers the calls, the calls made
   off the main thread and the calls with a wrong handle or user data.
   With TIMERTEST_REFUSE, InitPlugin starts a timer and then refuses. */
#include <stdint.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "include/calyxtone/cxplugin.h"

static const cxPluginApi *api;
static int repeats, onces, idles, offMain, wrongArgs, limit, doneType;
static void *repeatTimer, *onceTimer;

static int OnMainThread(void) { return syscall(SYS_gettid) == getpid(); }

static int Idle(lua_State *L, void *timer, void *userData) {
    (void)L, (void)timer, (void)userData;
    idles++;
    return 0;
}

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    p->capabilities = CX_CAP_LIBRARY;
    p->version = 1;
    p->name = "Timer test";
    p->moduleName = "timertest";
    p->author = p->description = p->copyright = p->url = p->date = p->helpReference = "";
#ifdef TIMERTEST_REFUSE
    api->system->AddTimer(0, 5, 0, Idle, 0);
    return 0;
#else
    return 1;
#endif
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}

static void Check(void *timer, void *expected, void *userData, void *expectedData) {
    if (!OnMainThread()) offMain++;
    if (timer != expected || userData != expectedData) wrongArgs++;
}

static int Repeat(lua_State *L, void *timer, void *userData) {
    Check(timer, repeatTimer, userData, &repeats);
    if (++repeats == limit) {
        api->system->FreeTimer(timer);
        api->system->FreeTimer(timer); /* freed already: nothing */
        cxTagItem tags[] = {{1, 0}, {0, 0}};
        api->system->PostSystemEvent(L, doneType, tags);
    }
    return 0;
}

static int Once(lua_State *L, void *timer, void *userData) {
    (void)L;
    Check(timer, onceTimer, userData, &onces);
    onces++;
    api->system->FreeTimer(timer); /* a fired one-shot handle: nothing */
    return 0;
}

static int CmdStart(lua_State *L) {
    const int ms = api->vm->luaL_checkint(L, 1);
    limit = api->vm->luaL_checkint(L, 2);
    const int onceMs = api->vm->luaL_checkint(L, 3);
    repeats = onces = offMain = wrongArgs = 0;
    repeatTimer = api->system->AddTimer(L, ms, 0, Repeat, &repeats);
    onceTimer = api->system->AddTimer(L, onceMs, 1, Once, &onces);
    return repeatTimer && onceTimer ? 0 : 1297;
}

/* Frees both handles again once they are dead. */
static int CmdFreeAgain(lua_State *L) {
    (void)L;
    api->system->FreeTimer(onceTimer);
    api->system->FreeTimer(repeatTimer);
    return 0;
}

static int CmdIdle(lua_State *L) {
    return api->system->AddTimer(L, api->vm->luaL_checkint(L, 1), 0, Idle, 0) ? 0 : 1297;
}

static int CmdCounts(lua_State *L) {
    const int values[] = {repeats, onces, offMain, wrongArgs, idles};
    for (int i = 0; i < 5; i++) api->vm->lua_pushnumber(L, values[i]);
    return 5;
}

/* A one-shot timer whose callback fails with code: by its answer, or by
   raising it through the interface when raise is non-zero. */
static int failCode, failRaise;
static int Fail(lua_State *L, void *timer, void *userData) {
    (void)timer, (void)userData;
    if (failRaise) api->vm->luaG_runerror(L, failCode);
    return failCode;
}

static int CmdFail(lua_State *L) {
    const int ms = api->vm->luaL_checkint(L, 1);
    failCode = api->vm->luaL_checkint(L, 2);
    failRaise = api->vm->luaL_checkint(L, 3);
    return api->system->AddTimer(L, ms, 1, Fail, 0) ? 0 : 1297;
}

static const cxPluginCommand commands[] = {{"Start", CmdStart}, {"FreeAgain", CmdFreeAgain}, {"Idle", CmdIdle},
                                           {"Counts", CmdCounts}, {"Fail", CmdFail},          {0, 0}};

static void Fill(lua_State *L, uint32_t number, void *data, void *type) { (void)L, (void)number, (void)data, (void)type; }
static void (*const hooks[1])(lua_State *, uint32_t, void *, void *) = {Fill};

CX_PLUGIN_EXPORT const char *GetBaseTable(void) { return "timertest"; }
CX_PLUGIN_EXPORT const cxPluginCommand *GetCommands(void) { return commands; }
CX_PLUGIN_EXPORT const cxPluginConstant *GetConstants(void) { return 0; }
CX_PLUGIN_EXPORT int InitLibrary(lua_State *L) {
    (void)L;
    doneType = api->system->RegisterEventType("TimerTestDone", 0, (const uint32_t *)hooks, 0);
    return doneType ? 0 : 1055;
}
CX_PLUGIN_EXPORT void FreeLibrary(lua_State *L) { (void)L; }
