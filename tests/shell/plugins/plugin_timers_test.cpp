// Timers that plug-ins start through the API table: a real plug-in's
// periodic and one-shot timers served while a script waits, callbacks that
// free their own timer or fail, hostile arguments and stale handles, and
// the timers of a plug-in that is unloaded or refuses to load.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <climits>
#include <thread>

#include "display/events/plugin_timers.h"
#include "engine/runtime/kernel.h"
#include "shell/plugins/plugin_loader.h"
#include "tests/display/events/event_fixture.h"
#include "tests/shell/plugins/plugin_test_support.h"

namespace {

using cxtest::CxpPath;

const cxApiSystem *Sys() { return GetPluginApi()->system; }

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The script installs a handler for the plug-in's "TimerTestDone" event,
// starts the plug-in's timers and waits: the event comes from the periodic
// timer's last call. It answers the action WaitEvent reported.
const char *const kTimerScript = R"(
.function done
.params 1
        RETURN 0 1
.end
.function run
        GETGLOBAL 0 "installeventhandler"
        NEWTABLE 1 0 0
        GETGLOBAL 2 "done"
        SETTABLE 1 "timertestdone" r2
        CALL 0 2 1
        GETGLOBAL 0 "timertest"
        GETTABLE 0 0 "start"
        LOADK 1 #10
        LOADK 2 #6
        LOADK 3 #25
        CALL 0 4 1
        GETGLOBAL 0 "waitevent"
        CALL 0 1 2
        GETTABLE 0 0 "action"
        RETURN 0 2
.end
        CLOSURE 0 done
        SETGLOBAL 0 "done"
        CLOSURE 0 run
        SETGLOBAL 0 "run"
        RETURN 0 1
)";

int g_own = 0;
int OwnTick(lua_State *, void *, void *) {
    g_own++;
    return 0;
}

class PluginTimers : public cxtest::Events {
protected:
    cxPluginEntry *entry = nullptr;

    void SetUp() override {
        cxtest::Events::SetUp();
        SetPluginQuiet(1);
        ASSERT_EQ(FindOrOpenPlugin(CxpPath("timers", "timertest.cxp").c_str(), 0, &entry), 0) << GetErrorDetail();
        ASSERT_EQ(RegisterPluginFormats(L, entry), 0) << GetErrorDetail();
        ASSERT_EQ(RunAsm(kTimerScript), 0);
        g_own = 0;
    }
    void TearDown() override {
        // The player's order: the event library, then the plug-ins.
        CleanupEvents(L);
        EXPECT_EQ(CountPluginTimers(nullptr), 0) << "the end of the run frees every timer";
        ClosePlugins(L);
        FreePlugins();
        cxtest::Events::TearDown();
    }
    // timertest.name(numbers...); 0 or the error code, results on the stack.
    int Plugin(const char *name, std::initializer_list<double> numbers = {}) {
        lua_settop(L, 0);
        lua_pushstring(L, "timertest");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushstring(L, name);
        lua_gettable(L, -2);
        lua_remove(L, 1);
        for (double n : numbers) lua_pushnumber(L, n);
        return lua_pcall(L, int(numbers.size()), LUA_MULTRET, 0);
    }
    // Serves events until done() holds; a loaded machine may take its time
    // to fire a 5 ms timer.
    bool PumpUntil(const std::function<bool()> &done, int ms = 5000) {
        for (int waited = 0; waited < ms; waited += 5) {
            Pause(5);
            EXPECT_EQ(CheckAction(), "");
            if (done()) return true;
        }
        return false;
    }
    // Repeats, one-shot calls, calls off the main thread, calls with a
    // wrong handle or user data, calls of idle timers.
    std::vector<int> Counts() {
        EXPECT_EQ(Plugin("counts"), 0);
        std::vector<int> v;
        for (int i = 1; i <= lua_gettop(L); i++) v.push_back(int(lua_tonumber(L, i)));
        return v;
    }
};

TEST_F(PluginTimers, RepeatingAndOneShotTimersRunOnTheMainThreadWhileTheScriptWaits) {
    ASSERT_EQ(Call("run"), 0);
    EXPECT_EQ(Str(1), "TimerTestDone") << "WaitEvent returned for the plug-in's event, not for its timers";
    // Six calls of the periodic timer, which then freed itself inside its
    // callback; one call of the one-shot timer; all on the main thread.
    EXPECT_EQ(Counts(), (std::vector<int>{6, 1, 0, 0, 0}));
    EXPECT_EQ(CountPluginTimers(nullptr), 0);

    // Nothing fires any more, and the dead handles may be freed again.
    Pause(40);
    EXPECT_EQ(CheckAction(), "");
    EXPECT_EQ(Plugin("freeagain"), 0);
    EXPECT_EQ(Counts(), (std::vector<int>{6, 1, 0, 0, 0}));
    int nesting = -1;
    GetKernelTags(L, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_END);
    EXPECT_EQ(nesting, 0);
}

// An error code the callback answers, or raises through the interface,
// ends the wait as a handler's error would; the dispatcher goes on after.
TEST_F(PluginTimers, CallbackErrorsEndTheWait) {
    for (int raise : {0, 1}) {
        ASSERT_EQ(Plugin("fail", {5, ERR_WRONGUSAGE, double(raise)}), 0);
        EXPECT_EQ(Call("WaitEvent"), ERR_WRONGUSAGE) << "raise " << raise;
        int nesting = -1;
        GetKernelTags(L, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_END);
        EXPECT_EQ(nesting, 0) << "raise " << raise;
    }
    // Answers below 1000 are no errors.
    ASSERT_EQ(Plugin("fail", {5, 7, 0}), 0);
    ASSERT_EQ(Call("SetTimeout", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "h");
                  lua_gettable(L, LUA_GLOBALSINDEX);
                  lua_pushnumber(L, 60);
              }),
              0);
    ASSERT_EQ(Call("WaitEvent"), 0);
    EXPECT_EQ(Field(1, "action"), "Timeout");
    EXPECT_EQ(CountPluginTimers(nullptr), 0);
}

TEST_F(PluginTimers, HostileArgumentsAndStaleHandles) {
    for (int ms : {0, -1, INT_MIN}) EXPECT_EQ(Sys()->AddTimer(L, ms, 0, OwnTick, nullptr), nullptr) << ms;
    EXPECT_EQ(Sys()->AddTimer(L, 10, 1, nullptr, nullptr), nullptr);
    EXPECT_EQ(CountPluginTimers(nullptr), 0);
    Sys()->FreeTimer(nullptr);
    Sys()->FreeTimer(reinterpret_cast<void *>(UINTPTR_MAX));

    // A freed handle stays dead: it cannot stop a timer made after it.
    void *first = Sys()->AddTimer(nullptr, 5, 0, OwnTick, nullptr);
    ASSERT_NE(first, nullptr);
    Sys()->FreeTimer(first);
    void *second = Sys()->AddTimer(nullptr, 5, 0, OwnTick, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    Sys()->FreeTimer(first);
    EXPECT_EQ(CountPluginTimers(nullptr), 1);
    EXPECT_TRUE(PumpUntil([] { return g_own >= 1; })) << "the later timer still runs";
    Sys()->FreeTimer(second);
    Sys()->FreeTimer(second);
    EXPECT_EQ(CountPluginTimers(nullptr), 0);
}

// Unloading a plug-in ends its timers (their code goes with it) and no one
// else's.
TEST_F(PluginTimers, UnloadingAPluginFreesItsTimersOnly) {
    ASSERT_EQ(Plugin("idle", {5}), 0);
    ASSERT_NE(Sys()->AddTimer(L, 5, 0, OwnTick, nullptr), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return Counts()[4] >= 1; }));
    EXPECT_EQ(CountPluginTimers(nullptr), 2);

    ClosePluginHandle(entry->handle);
    entry->handle = nullptr;
    EXPECT_EQ(CountPluginTimers(nullptr), 1);
    const int own = g_own;
    EXPECT_TRUE(PumpUntil([own] { return g_own > own; }));
}

TEST_F(PluginTimers, APluginThatRefusesToLoadLeavesNoTimer) {
    cxPluginHandle *handle = nullptr;
    uint32_t caps = 0;
    EXPECT_EQ(OpenPlugin(CxpPath("timers_refused", "timertest.cxp").c_str(), &caps, &handle), ERR_LOADPLUGIN);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(CountPluginTimers(nullptr), 0);
    Pause(20);
    EXPECT_EQ(CheckAction(), "");
}

}  // namespace
