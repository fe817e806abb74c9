#include "shell/platform_start.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>

#include <atomic>

#include "engine/errors/error_codes.h"
#include "platform/os_linegate.h"
#include "platform/os_timers.h"
#include "platform/os_wake.h"
#include "platform/x11/x11_connection.h"
#include "shell/options.h"

namespace {

bool g_platformStarted = false;
bool g_x11Started = false;
bool g_xAvailable = false;
std::atomic<lua_State *> g_breakState{nullptr};
volatile unsigned int *g_abortFlag = nullptr;

bool ReachXServer(const cxStartupOptions *opts) {
    const char *server = IsOptionSet(opts, CX_OPT_XSERVER) ? GetOptionValue(opts, CX_OPT_XSERVER) : nullptr;
    g_x11Started = true;
    const int defaultReached = OsStartX11();
    if (!server || !*server) return defaultReached != 0;
    cxOsXConnection *c = OsOpenXConnection(server);
    if (!c) return false;
    OsReleaseXConnection(c);
    return true;
}

void OnBreak(int) {
    const int savedErrno = errno;
    if (g_abortFlag) *g_abortFlag = 1;
    if (lua_State *L = g_breakState.load()) lua_setstopflag(L, 1);
    OsPostWakeMessage(CX_WAKE_PLAIN, 0);
    errno = savedErrno;
}

}  // namespace

extern "C" int OsStartPlatform(const cxStartupOptions *opts) {
    g_platformStarted = true;
    if (OsInitDisplaySystem(nullptr)) return ERR_PIPE;
    g_xAvailable = ReachXServer(opts);
    return 0;
}

extern "C" int OsIsXAvailable(void) { return g_xAvailable; }

extern "C" int OsApplyAppInfo(const cxApplet *, const cxStartupOptions *) { return 0; }

extern "C" void OsPrepareShutdown(void) {}

extern "C" void OsEndConsoleOutput(void) { fflush(stdout); }

extern "C" int OsRunMainLoop(lua_State *L, int (*run)(lua_State *L)) { return run(L); }

extern "C" void OsShutdownPlatform(void) {
    OsStopLineHookPulse();
    if (!g_platformStarted) return;
    OsFreeTimers();
    if (g_x11Started) OsStopX11();
    OsCloseWakePipe();
    g_platformStarted = g_x11Started = g_xAvailable = false;
}

extern "C" void OsInstallBreakHandler(lua_State *L, volatile unsigned int *abortFlag) {
    g_abortFlag = abortFlag;
    g_breakState.store(L);
    struct sigaction sa = {};
    sa.sa_handler = OnBreak;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

extern "C" void OsForgetBreakState(void) { g_breakState.store(nullptr); }
