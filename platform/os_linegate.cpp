#include "platform/os_linegate.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/os_wake.h"

namespace {

// Plain word with atomic builtins: the interpreter reads it through a
// volatile pointer, and a signal handler may open it.
unsigned int g_gate = 0;
// Set when no pulse thread could be made: the gate then stays open for
// good, and the hook paces itself as it does with no gate.
constexpr unsigned int kHeldOpen = 0x80000000u;

struct Pulse {
    std::mutex lock;
    bool stopping = false; // guarded by lock; the thread also sees it by the pipe
    std::thread thread;
    int control[2] = {-1, -1}; // wakes the thread: a stop, or a pump turn
};
Pulse g_pulse;
// Set by the pulse thread once it opened the gate for input on a watched
// descriptor: it then leaves the descriptors alone (their data stays there
// until read) until the pump has turned, so that it does not spin.
std::atomic<bool> g_holding{false};
// Pump turns noted so far: a turn between the poll and the hold ends the hold.
std::atomic<unsigned> g_turns{0};
// The main thread is blocked in a wait: nothing to pulse for.
std::atomic<bool> g_parked{false};

constexpr int kMaxWatched = 16;

void Drain(int fd) {
    char buf[64];
    while (read(fd, buf, sizeof buf) > 0) {
    }
}

// Opens the gate every ms milliseconds, and as soon as a watched descriptor
// (an X connection) has input: a click then reaches the queue at the
// script's next line instead of at the next pulse.
void PulseLoop(unsigned int ms) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(ms);
    auto next = Clock::now() + period;
    const int control = g_pulse.control[0];
    for (;;) {
        pollfd fds[1 + kMaxWatched];
        fds[0] = {control, POLLIN, 0};
        nfds_t n = 1;
        if (g_parked.load()) {
            // The waiting main thread watches the descriptors itself; the
            // end of its wait writes to the control pipe.
            const int r = poll(fds, 1, -1);
            {
                std::lock_guard<std::mutex> hold(g_pulse.lock);
                if (g_pulse.stopping) return;
            }
            if (r > 0 && (fds[0].revents & POLLIN)) Drain(control);
            next = Clock::now() + period;
            continue;
        }
        if (!g_holding.load()) {
            int watched[kMaxWatched];
            const int count = std::min(OsCopyWatchedDescriptors(watched, kMaxWatched), kMaxWatched);
            for (int i = 0; i < count; i++) fds[n++] = {watched[i], POLLIN, 0};
        }
        const unsigned turnsBefore = g_turns.load();
        auto now = Clock::now();
        const long wait = now >= next ? 0 : long(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
        const int r = poll(fds, n, int(wait));
        {
            std::lock_guard<std::mutex> hold(g_pulse.lock);
            if (g_pulse.stopping) return;
        }
        if (r > 0 && (fds[0].revents & POLLIN)) Drain(control);
        bool input = false;
        for (nfds_t i = 1; r > 0 && i < n; i++) {
            // A descriptor closed since the copy (POLLNVAL) is only held
            // off until the next turn, when the list is copied again.
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) input = true;
            if (fds[i].revents) g_holding.store(true);
        }
        if (input) OsOpenLineHookGate(CX_GATE_WAKE);
        // The pump may have read the input already: then watch on at once.
        if (g_turns.load() != turnsBefore) g_holding.store(false);
        now = Clock::now();
        if (now >= next) {
            OsOpenLineHookGate(CX_GATE_PULSE);
            next += period;
            if (next <= now) next = now + period;
        }
    }
}

void ClosePipe() {
    for (int &fd : g_pulse.control) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
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
    g_holding.store(false);
    bool started = pipe2(g_pulse.control, O_NONBLOCK | O_CLOEXEC) == 0;
    if (started) {
        try {
            g_pulse.thread = std::thread(PulseLoop, ms ? ms : 1);
        } catch (...) {
            started = false;
        }
    }
    if (!started) {
        ClosePipe();
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
        const char stop = 1;
        if (write(g_pulse.control[1], &stop, 1) < 0) {
            // A full pipe already holds a wake-up.
        }
    }
    t.join();
    std::lock_guard<std::mutex> hold(g_pulse.lock);
    ClosePipe();
}

extern "C" void OsNoteInputTurn(void) {
    g_turns.fetch_add(1);
    if (!g_holding.exchange(false)) return;
    const int fd = __atomic_load_n(&g_pulse.control[1], __ATOMIC_RELAXED);
    const char turn = 0;
    if (fd >= 0 && write(fd, &turn, 1) < 0) {
        // A full pipe already holds a wake-up.
    }
}

extern "C" void OsParkLineHookPulse(int parked) {
    if (g_parked.exchange(parked != 0) == (parked != 0) || parked) return;
    const int fd = __atomic_load_n(&g_pulse.control[1], __ATOMIC_RELAXED);
    const char resume = 0;
    if (fd >= 0 && write(fd, &resume, 1) < 0) {
        // A full pipe already holds a wake-up.
    }
}
