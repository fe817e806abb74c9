#include "shell/platform_start.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>

#include <atomic>

#include "errors/error_codes.h"
#include "platform/os_joystick.h"
#include "platform/os_linegate.h"
#include "platform/os_timers.h"
#include "platform/os_wake.h"
#include "window/x11/x11_connection.h"
#include "shell/options.h"
#include "shell/plugins/plugin_package.h"

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
    // Kept open until OsStopX11, as the default server's connection is.
    return OsOpenXConnection(server) != nullptr;
}

volatile sig_atomic_t g_breaks = 0;

void OnBreak(int sig) {
    const int savedErrno = errno;
    g_breaks = g_breaks + 1;
    if (g_breaks > 1) {
        // The user insists: end now, but leave no unpacked plug-ins behind.
        RemoveAppendedPluginsFromSignal();
        signal(sig, SIG_DFL);
        raise(sig);
        errno = savedErrno;
        return;
    }
    if (g_abortFlag) *g_abortFlag = 1;
    if (lua_State *L = g_breakState.load()) lua_setstopflag(L, 1);
    OsPostWakeMessage(CX_WAKE_PLAIN, 0);
    errno = savedErrno;
}

}  // namespace

extern "C" int OsStartPlatform(const cxStartupOptions *opts) {
    g_platformStarted = true;
    // Under a file-size limit a write beyond it must fail with EFBIG, which
    // the command reports, instead of ending the run with no report.
    signal(SIGXFSZ, SIG_IGN);
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
    OsCloseJoysticks();
    if (g_x11Started) OsStopX11();
    OsCloseWakePipe();
    g_platformStarted = g_x11Started = g_xAvailable = false;
}

extern "C" void OsInstallBreakHandler(lua_State *L, volatile unsigned int *abortFlag) {
    g_abortFlag = abortFlag;
    g_breakState.store(L);
    g_breaks = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnBreak;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

extern "C" void OsForgetBreakState(void) { g_breakState.store(nullptr); }
