// Events, end to end through the virtual machine:
//   throughput  another thread posts mouse events (PostEvent + a wake-up);
//               the script's WaitEvent loop runs a handler for each, which
//               calls a counting command. Events per second.
//   latency     an XTest click on an open display until the handler runs
//               (the handler stamps the time), median and 99th percentile,
//               while the script waits in WaitEvent, and while it computes
//               (a loop of about a millisecond of arithmetic, then
//               CheckEvent; the line hook moves X input to the queue).
// Run under an X server: xvfb-run -a build/release/bench/display/events/bench_events
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "display/display_hooks.h"
#include "display/display_record.h"
#include "display/events/event_library.h"
#include "display/events/event_pump.h"
#include "display/library.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/libraries.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lauxlib.h"
#include "platform/os_linegate.h"
#include "platform/os_wake.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"
#include "tools/cxasm/asm_text.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> g_handled{0};
std::atomic<int64_t> g_stamp{0};

int64_t Now() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

int CmdCount(lua_State *) {
    g_handled.fetch_add(1, std::memory_order_relaxed);
    return 0;
}
int CmdStamp(lua_State *) {
    g_stamp.store(Now());
    return 0;
}

// Handlers and the two main loops. "rounds" is set by the bench.
const char *const kScript = R"(
.source "=bench"
.function counted
.params 1
.line 1
        GETGLOBAL 1 "count"
        CALL 1 1 1
        RETURN 0 1
.end
.function stamped
.params 1
.line 2
        GETGLOBAL 1 "stamp"
        CALL 1 1 1
        RETURN 0 1
.end
.function waitloop
.line 3
        LOADK 0 #0
        GETGLOBAL 1 "rounds"
        LOADK 2 #1
        JMP wcheck
wbody:  GETGLOBAL 4 "waitevent"
        CALL 4 1 1
wcheck: FORLOOP 0 wbody
        RETURN 0 1
.end
.function computeloop
.line 10
        LOADK 0 #0
        GETGLOBAL 1 "rounds"
        LOADK 2 #1
        JMP ccheck
.line 11
cbody:  LOADK 4 #0
        LOADK 5 #20000
        LOADK 6 #1
        LOADK 7 #0
        JMP icheck
.line 12
ibody:  ADD 7 7 r4
.line 13
icheck: FORLOOP 4 ibody
.line 14
        GETGLOBAL 8 "checkevent"
        CALL 8 1 1
.line 15
ccheck: FORLOOP 0 cbody
        RETURN 0 1
.end
        CLOSURE 0 counted
        SETGLOBAL 0 "counted"
        CLOSURE 0 stamped
        SETGLOBAL 0 "stamped"
        CLOSURE 0 waitloop
        SETGLOBAL 0 "waitloop"
        CLOSURE 0 computeloop
        SETGLOBAL 0 "computeloop"
        RETURN 0 1
)";

struct Vm {
    lua_State *L = nullptr;
    cxDisplay *d = nullptr;

    bool Start(bool open) {
        L = lua_open();
        static const luaL_reg extra[] = {{"Count", CmdCount}, {"Stamp", CmdStamp}, {nullptr, nullptr}};
        luaL_openlib(L, nullptr, extra, 0);
        InstallDisplayHooks();
        SetScriptLibraryOpener("display", OpenDisplayLibrary);
        SetScriptLibraryOpener("event", OpenEventLibrary);
        if (OpenScriptLibraries(L) || InitKernel()) return false;
        std::vector<uint8_t> bytes = cxasm::assembleText(kScript);
        struct Reader {
            std::vector<uint8_t> *b;
            bool done;
        } r{&bytes, false};
        auto read = [](lua_State *, void *ud, size_t *size) -> const char * {
            auto *rd = static_cast<Reader *>(ud);
            if (rd->done) return (*size = 0, nullptr);
            rd->done = true;
            *size = rd->b->size();
            return reinterpret_cast<const char *>(rd->b->data());
        };
        if (lua_load(L, read, &r, "=bench") || lua_pcall(L, 0, 0, 0)) return false;
        if (!Run("createdisplay", [&] {
                lua_pushnumber(L, 1);
                lua_newtable(L);
                lua_pushstring(L, "width");
                lua_pushnumber(L, 320);
                lua_settable(L, -3);
                lua_pushstring(L, "height");
                lua_pushnumber(L, 240);
                lua_settable(L, -3);
            }))
            return false;
        if (open && !Run("opendisplay", [&] { lua_pushnumber(L, 1); })) return false;
        if (!Run("selectdisplay", [&] { lua_pushnumber(L, 1); })) return false;
        FindDisplay(cxObjectID{1, nullptr}, &d);
        return d != nullptr;
    }
    template <class F>
    bool Run(const char *name, F push) {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        push();
        const int err = lua_pcall(L, lua_gettop(L) - 1, 0, 0);
        // 1003 is how the bench ends its loops.
        if (err && err != 1003) fprintf(stderr, "%s failed: %d\n", name, err);
        return err == 0;
    }
    bool Install(const char *event, const char *function) {
        return Run("installeventhandler", [&] {
            lua_newtable(L);
            lua_pushstring(L, event);
            lua_pushstring(L, function);
            lua_gettable(L, LUA_GLOBALSINDEX);
            lua_settable(L, -3);
        });
    }
    void Rounds(long n) {
        lua_pushstring(L, "rounds");
        lua_pushnumber(L, double(n));
        lua_settable(L, LUA_GLOBALSINDEX);
    }
    void Stop() {
        CleanupEvents(L);
        CleanupDisplays(L);
        FreeEventQueue(L);
        lua_close(L);
    }
};

void Throughput() {
    Vm vm;
    if (!vm.Start(false)) {
        fprintf(stderr, "throughput: set-up failed\n");
        return;
    }
    vm.Install("onmousedown", "counted");
    const long kEvents = 300000;
    vm.Rounds(kEvents);
    g_handled = 0;
    cxDisplay *d = vm.d;
    std::thread poster([d] {
        for (long i = 0; i < kEvents; i++) {
            // Keep the queue bounded: a producer far ahead only measures
            // the allocator.
            while (i - g_handled.load(std::memory_order_relaxed) > 4096) std::this_thread::yield();
            PostEvent(d, 1, 1, 1, 1, nullptr);
            OsWakeMainThread();
        }
    });
    const auto t0 = Clock::now();
    vm.Run("waitloop", [] {});
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    poster.join();
    printf("| throughput | %ld events | %.3f s | %.0f events/s |\n", g_handled.load(), s, g_handled.load() / s);
    vm.Stop();
}

// How the script spends its time while the clicks come.
enum class Mode {
    Waits,         // in WaitEvent
    Computes,      // computing, the line hook behind the gate as the player installs it
    ComputesNoGate // computing, the hook alone (a host without the gate)
};

const char *ModeName(Mode m) {
    switch (m) {
    case Mode::Waits: return "script waits";
    case Mode::Computes: return "script computes";
    default: return "script computes, hook without gate";
    }
}

void Latency(Mode mode) {
    Vm vm;
    if (!OsStartX11() || !vm.Start(true)) {
        fprintf(stderr, "latency: no X server or set-up failed\n");
        return;
    }
    const bool computing = mode != Mode::Waits;
    if (computing) lua_sethook(vm.L, EventLineHook, LUA_MASKLINE, 0);
    if (mode == Mode::Computes) {
        // As shell/player_main.cpp does.
        lua_sethookgate(vm.L, OsLineHookGate());
        OsStartLineHookPulse(CX_LINEHOOK_INTERVAL_MS);
    }
    vm.Install("onmousedown", "stamped");
    ::Display *tdpy = XOpenDisplay(nullptr);
    const Window win = OsGetDisplayWindow(&vm.d->os)->window;
    const int kClicks = 400;
    std::vector<double> ms;
    std::atomic<bool> done{false};
    vm.Rounds(computing ? 1000000000 : kClicks + 1000000);
    std::thread injector([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XWarpPointer(tdpy, None, win, 0, 0, 0, 0, 50, 50);
        XSync(tdpy, False);
        for (int i = 0; i < kClicks; i++) {
            std::this_thread::sleep_for(std::chrono::microseconds(2000 + (i * 7919) % 3000));
            g_stamp = 0;
            const int64_t t0 = Now();
            XTestFakeButtonEvent(tdpy, 1, True, 0);
            XFlush(tdpy);
            while (!g_stamp.load() && Now() - t0 < 1000000000) std::this_thread::yield();
            if (g_stamp.load()) ms.push_back((g_stamp.load() - t0) / 1e6);
            XTestFakeButtonEvent(tdpy, 1, False, 0);
            XFlush(tdpy);
        }
        done = true;
        // Ends the script's loop: the run is asked to end.
        SetUserAbortFlag(1);
        PostEvent(nullptr, 23, 0, 0, 0, nullptr);
        OsWakeMainThread();
    });
    vm.Run(computing ? "computeloop" : "waitloop", [] {});
    injector.join();
    SetUserAbortFlag(0);
    XCloseDisplay(tdpy);
    lua_sethook(vm.L, nullptr, 0, 0);
    if (mode == Mode::Computes) {
        OsStopLineHookPulse();
        lua_sethookgate(vm.L, nullptr);
    }
    vm.Stop();
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        printf("| latency (%s) | no click reached the handler |\n", ModeName(mode));
        return;
    }
    const double median = ms[ms.size() / 2];
    const double p99 = ms[std::min(ms.size() - 1, size_t(ms.size() * 0.99))];
    printf("| latency (%s) | %zu clicks | median %.3f ms | 99th percentile %.3f ms | max %.3f ms |\n",
           ModeName(mode), ms.size(), median, p99, ms.back());
}

}  // namespace

int main(int argc, char **argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "throughput") Throughput();
    if (only.empty() || only == "latency") {
        Latency(Mode::Waits);
        Latency(Mode::Computes);
        Latency(Mode::ComputesNoGate);
    }
    return 0;
}
