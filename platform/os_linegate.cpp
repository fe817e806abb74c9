#include "platform/os_linegate.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Plain word with atomic builtins: the interpreter reads it through a
// volatile pointer, and a signal handler may open it.
unsigned int g_gate = 0;
// Set when no pulse thread could be made: the gate then stays open for
// good, and the hook paces itself as it does with no gate.
constexpr unsigned int kHeldOpen = 0x80000000u;

struct Pulse {
    std::mutex lock;
    std::condition_variable stop;
    bool stopping = false;
    std::thread thread;
};
Pulse g_pulse;

void PulseLoop(unsigned int ms) {
    std::unique_lock<std::mutex> hold(g_pulse.lock);
    while (!g_pulse.stop.wait_for(hold, std::chrono::milliseconds(ms), [] { return g_pulse.stopping; }))
        OsOpenLineHookGate(CX_GATE_PULSE);
}

}  // namespace

extern "C" const volatile unsigned int *OsLineHookGate(void) { return &g_gate; }

extern "C" void OsOpenLineHookGate(unsigned int why) { __atomic_fetch_or(&g_gate, why, __ATOMIC_RELAXED); }

extern "C" unsigned int OsTakeLineHookGate(void) {
    const unsigned int held = __atomic_load_n(&g_gate, __ATOMIC_RELAXED) & kHeldOpen;
    return __atomic_exchange_n(&g_gate, held, __ATOMIC_RELAXED) & ~kHeldOpen;
}

extern "C" int OsStartLineHookPulse(unsigned int ms) {
    std::lock_guard<std::mutex> hold(g_pulse.lock);
    if (g_pulse.thread.joinable()) return 0;
    g_pulse.stopping = false;
    try {
        g_pulse.thread = std::thread(PulseLoop, ms ? ms : 1);
    } catch (...) {
        // Without a pulse nothing would open the gate on time: hold it open.
        __atomic_fetch_or(&g_gate, kHeldOpen, __ATOMIC_RELAXED);
        return -1;
    }
    return 0;
}

extern "C" void OsStopLineHookPulse(void) {
    std::thread t;
    {
        std::lock_guard<std::mutex> hold(g_pulse.lock);
        __atomic_fetch_and(&g_gate, ~kHeldOpen, __ATOMIC_RELAXED);
        if (!g_pulse.thread.joinable()) return;
        g_pulse.stopping = true;
        t = std::move(g_pulse.thread);
    }
    g_pulse.stop.notify_all();
    t.join();
}
