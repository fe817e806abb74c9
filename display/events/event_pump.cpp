// One turn of the event pump, the wait, and the line hook that turns the
// pump while a script runs without waiting.
#include "display/events/event_pump.h"

#include <time.h>

#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "platform/os_linegate.h"
#include "platform/os_wake.h"
#include "window/x11/x11_pump.h"
#include "engine/plugins/plugin_registry.h"

namespace {

cxPluginHookCaller g_hookCaller = nullptr;
cxPumpTurnHook g_turnHook = nullptr;
cxPumpClock g_clock = nullptr;
bool g_expiryStarted = false;
cxOsTimeVal g_lastExpiry{};
// Coarse clock reading (ms) before which the line hook does not turn the pump.
int64_t g_nextLineTurn = 0;
// The clock is read on every kLinesPerClockRead-th line event only.
constexpr int kLinesPerClockRead = 8;
int g_linesUntilClock = 0;

void Now(cxOsTimeVal *t) {
    if (g_clock)
        g_clock(t);
    else
        OsGetMonotonicTime(t);
}

// The coarse clock is read from the vDSO without a system call; its
// resolution (a few milliseconds) is all the line hook needs.
int64_t CoarseMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The least spacing of line-hook turns on the coarse clock. Its readings
// move in steps of its resolution (4 ms on many kernels): waiting for a
// whole interval of readings would stretch each interval by up to a step
// (5 ms becoming 8), so the wait is one step shorter, at least 1 ms.
int64_t LineTurnSpacingMs() {
    static const int64_t spacing = [] {
        timespec res{};
        const int64_t step = clock_getres(CLOCK_MONOTONIC_COARSE, &res) == 0
                                 ? int64_t(res.tv_sec) * 1000 + res.tv_nsec / 1000000
                                 : 0;
        return CX_LINEHOOK_INTERVAL_MS - step > 1 ? CX_LINEHOOK_INTERVAL_MS - step : int64_t(1);
    }();
    return spacing;
}

bool UserAbortSet() {
    int on = 0;
    GetKernelTags(nullptr, CX_KTAG_USERABORT, &on, CX_KTAG_END);
    return on != 0;
}
void SetUserAbort() { SetKernelTags(nullptr, CX_KTAG_USERABORT, 1, CX_KTAG_END); }

// Ages out queued events when more than CX_PUMP_EXPIRY_SECONDS whole seconds
// passed since the last age-out. The first turn only starts the count.
void ExpireIfDue(lua_State *L) {
    cxOsTimeVal now;
    Now(&now);
    if (!g_expiryStarted) {
        g_expiryStarted = true;
        g_lastExpiry = now;
        return;
    }
    cxOsTimeVal span = now;
    OsSubTime(&span, &g_lastExpiry);
    if (span.seconds > CX_PUMP_EXPIRY_SECONDS) {
        ExpireEvents(L);
        g_lastExpiry = now;
    }
}

const cxTagItem kNoTags[1] = {{0, 0}};

}  // namespace

extern "C" void SetPluginHookCaller(cxPluginHookCaller caller) { g_hookCaller = caller; }

extern "C" void SetPumpClock(cxPumpClock clock) { g_clock = clock; }

extern "C" void ResetEventPump(void) {
    g_expiryStarted = false;
    g_lastExpiry = cxOsTimeVal{};
    g_nextLineTurn = 0;
    g_linesUntilClock = 0;
}

extern "C" void SetPumpTurnHook(cxPumpTurnHook hook) { g_turnHook = hook; }

extern "C" int ProcessEvents(lua_State *L, uint32_t flags, uint32_t ignored, int *code) {
    (void)ignored;
    int unused = 0;
    if (!code) code = &unused;
    *code = 0;
    if (g_turnHook) g_turnHook(L);
    if (flags & CX_PUMP_LINEHOOK) {
        if (g_hookCaller) {
            if (int r = g_hookCaller(L, 1, 0, 0)) {
                *code = r;
                return 1;
            }
        }
        ExpireIfDue(L);
    }
    if (cxPlugin *adapter = GetDisplayAdapter()) {
        const int r = CallPluginEntry(adapter, adapter->HandleEvents, L, flags, kNoTags);
        if (r == ERR_USERABORT) {
            SetUserAbort();
            return 1;
        }
        *code = r;
        if (r) return 1;
        return UserAbortSet() ? 1 : 0;
    }
    if (OsHandleEvents(L, code)) {
        // The back-end's quit (a quit key, a closed window) ends the run.
        if (*code == 0) SetUserAbort();
        return 1;
    }
    // The flag may also have been set outside the X11 back-end (a signal,
    // a plug-in): a wait must end then too.
    return UserAbortSet() ? 1 : 0;
}

extern "C" int WaitForEvent(lua_State *L, uint32_t flags, uint32_t passThrough, uint32_t *out) {
    if (cxPlugin *adapter = GetDisplayAdapter()) {
        const int r = CallPluginEntry(adapter, adapter->WaitEvents, L, flags, kNoTags);
        if (out) *out = passThrough;
        return r;
    }
    // Nothing would wake a wait that starts after the run was ended.
    const int r = UserAbortSet() ? 0 : OsWaitEvents(L);
    if (out) *out = static_cast<uint32_t>(r);
    return 0;
}

extern "C" void RequestLineHookTurn(void) {
    g_nextLineTurn = 0;
    g_linesUntilClock = 0;
}

extern "C" int EventLineHook(lua_State *L, lua_Debug *ar, int *code) {
    (void)ar;
    // Behind the gate the hook runs only when the gate opened: for the
    // pulse, whose period is the pump's interval, or for a wake-up. Without
    // a gate it runs on every line and paces itself by the coarse clock.
    const unsigned int why = OsTakeLineHookGate();
    const bool pending = why != 0 || OsGetEventsPending() != 0;
    if (!pending && --g_linesUntilClock > 0) return 0;
    g_linesUntilClock = kLinesPerClockRead;
    const int64_t now = CoarseMs();
    if (now < g_nextLineTurn && !pending) return 0;
    g_nextLineTurn = now + LineTurnSpacingMs();
    int off = 0;
    GetKernelTags(L, CX_KTAG_LINEHOOKOFF, &off, CX_KTAG_END);
    if (off) return 0;
    // The X11 back-end sets the flag again when it leaves events queued.
    OsSetEventsPending(0);
    return ProcessEvents(L, CX_PUMP_LINEHOOK, 0, code);
}
