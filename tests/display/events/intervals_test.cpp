// Intervals and timeouts: firing through WaitEvent, IDs replaced and
// cleared twice, refused periods, handlers that clear timers mid-cycle,
// and a timer adapter plug-in.
#include <gtest/gtest.h>

#include <set>

#include "display/events/intervals.h"
#include "engine/plugins/plugin_registry.h"
#include "platform/os_timers.h"
#include "tests/display/events/event_fixture.h"

namespace {

using cxtest::Events;

class Intervals : public Events {
protected:
    // Set a timer with the function h: id (or nil when id < 0), ms, and
    // user data when ud is given.
    int Set(const char *command, double id, double ms, const char *ud = nullptr) {
        return Call(command, [&] {
            if (id < 0)
                lua_pushnil(L);
            else
                lua_pushnumber(L, id);
            lua_pushstring(L, "h");
            lua_gettable(L, LUA_GLOBALSINDEX);
            lua_pushnumber(L, ms);
            if (ud) lua_pushstring(L, ud);
        });
    }
    int Clear(const char *command, double id) {
        return Call(command, [&] { lua_pushnumber(L, id); });
    }
    // WaitEvent's action and id.
    std::string Wait() {
        EXPECT_EQ(Call("WaitEvent"), 0);
        return Field(1, "action") + ":" + Field(1, "id");
    }
};

TEST_F(Intervals, IntervalFiresUntilCleared) {
    ASSERT_EQ(Set("SetInterval", 4, 15, "ud"), 0);
    EXPECT_EQ(lua_gettop(L), 0) << "a number ID returns nothing";
    for (int i = 0; i < 3; i++) EXPECT_EQ(Wait(), "Interval:4");
    EXPECT_EQ(Last("userdata"), "ud");
    EXPECT_EQ(Last("action"), "Interval");
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(Clear("ClearInterval", 4), 0);
    // Cleared twice: the kind's own message with the number.
    EXPECT_EQ(Clear("ClearInterval", 4), ERR_FINDINTERVAL);
    EXPECT_EQ(GetErrorNumber(), 4);
    EXPECT_EQ(Clear("ClearTimeout", 4), ERR_FINDTIMEOUT) << "intervals and timeouts are apart";
}

TEST_F(Intervals, AutomaticIdsAndTimeoutsFireOnce) {
    ASSERT_EQ(Set("SetTimeout", -1, 10), 0);
    ASSERT_EQ(lua_gettop(L), 1);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    void *id = lua_touserdata(L, 1);
    ASSERT_EQ(Call("WaitEvent"), 0);
    EXPECT_EQ(Field(1, "action"), "Timeout");
    lua_pushstring(L, "id");
    lua_gettable(L, 1);
    EXPECT_EQ(lua_touserdata(L, -1), id);
    // Fired, so gone: the automatic ID's message.
    EXPECT_EQ(Call("ClearTimeout", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
    EXPECT_EQ(Set("SetTimeout", 2, 10), 0);
    EXPECT_EQ(Wait(), "Timeout:2");
    EXPECT_EQ(Clear("ClearTimeout", 2), ERR_FINDTIMEOUT);
    // Nothing is left to fire.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(CheckAction(), "");
    EXPECT_EQ(calls, 2);
}

TEST_F(Intervals, SecondSetWithTheSameIdReplacesTheFirst) {
    ASSERT_EQ(Set("SetTimeout", 1, 10, "first"), 0);
    ASSERT_EQ(Set("SetTimeout", 1, 40, "second"), 0);
    EXPECT_EQ(Wait(), "Timeout:1");
    EXPECT_EQ(Last("userdata"), "second");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(CheckAction(), "");
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(Set("SetInterval", 3, 100000, "slow"), 0);
    ASSERT_EQ(Set("SetInterval", 3, 10, "fast"), 0);
    EXPECT_EQ(Wait(), "Interval:3");
    EXPECT_EQ(Last("userdata"), "fast");
}

TEST_F(Intervals, PeriodsBelowOneMillisecondAndWrongArguments) {
    struct Case {
        const char *command;
        double ms;
    } cases[] = {{"SetInterval", 0}, {"SetInterval", 0.9}, {"SetInterval", -5},
                 {"SetTimeout", 0}, {"SetTimeout", 0.5}};
    for (const Case &c : cases) {
        EXPECT_EQ(Set(c.command, 7, c.ms), ERR_WRONGUSAGE) << c.command << " " << c.ms;
        EXPECT_NE(Clear(c.command[3] == 'I' ? "ClearInterval" : "ClearTimeout", 7), 0) << "no record left";
    }
    EXPECT_EQ(Call("SetInterval", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "h");
                  lua_pushnumber(L, 10);
              }),
              ERR_FUNCEXPECTED);
    ASSERT_EQ(Set("SetInterval", 8, 50), 0);
    for (double ms : {0.0, 0.99, -1.0})
        EXPECT_EQ(Call("ChangeInterval", [&] {
                      lua_pushnumber(L, 8);
                      lua_pushnumber(L, ms);
                  }),
                  ERR_WRONGUSAGE)
            << ms;
    EXPECT_EQ(Call("ChangeInterval", [&] {
                  lua_pushnumber(L, 9);
                  lua_pushnumber(L, 10);
              }),
              ERR_FINDINTERVAL);
    EXPECT_EQ(Call("SetInterval", [] {}), ERR_MISSINGPARAMTR);
}

TEST_F(Intervals, ChangeIntervalTakesTheNewPeriod) {
    ASSERT_EQ(Set("SetInterval", 1, 1000000), 0);
    ASSERT_EQ(Call("ChangeInterval", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 10);
              }),
              0);
    EXPECT_EQ(Wait(), "Interval:1");
    cxInterval *r = nullptr;
    ASSERT_EQ(FindInterval({1, nullptr}, &r), 0);
    EXPECT_EQ(r->milliseconds, 10u);
}

// Intervals 1..3 fire together; the first handler clears itself and the
// next one in the list: the walk goes on with the third and nothing runs
// for a cleared record.
TEST_F(Intervals, HandlerClearsIntervalsBetweenTwoFiredTimers) {
    for (int id = 1; id <= 3; id++) ASSERT_EQ(Set("SetInterval", id, 5), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::multiset<std::string> seen;
    cxtest::ProbeBody() = [&](lua_State *Ls) {
        calls++;
        if (calls == 1) {
            EXPECT_EQ(RemoveInterval(Ls, {1, nullptr}), 0);
            EXPECT_EQ(RemoveInterval(Ls, {2, nullptr}), 0);
        }
        return 0;
    };
    EXPECT_EQ(Wait(), "Interval:1");
    EXPECT_EQ(Wait(), "Interval:3");
    for (int i = 0; i < 3; i++) EXPECT_EQ(Wait(), "Interval:3");
    EXPECT_EQ(Clear("ClearInterval", 2), ERR_FINDINTERVAL);
}

// A timeout's handler sets a new timeout with its own ID: the new one is
// kept and fires in its turn.
TEST_F(Intervals, TimeoutHandlerSetsItsIdAgain) {
    cxtest::ProbeBody() = [&](lua_State *) {
        if (++calls == 1) { EXPECT_EQ(Set("SetTimeout", 5, 10, "again"), 0); }
        return 0;
    };
    ASSERT_EQ(Set("SetTimeout", 5, 10, "once"), 0);
    EXPECT_EQ(Wait(), "Timeout:5");
    EXPECT_EQ(Wait(), "Timeout:5");
    EXPECT_EQ(Last("userdata"), "again");
    EXPECT_EQ(calls, 2);
}

// The shared tick (no record) fires beside an interval: it is taken and
// skipped, the interval still runs.
TEST_F(Intervals, KeysWithoutRecordsAreSkipped) {
    ASSERT_EQ(OsAcquireTickInterval(L, 0), 0);
    ASSERT_EQ(Set("SetInterval", 1, 60), 0);
    EXPECT_EQ(Wait(), "Interval:1");
    EXPECT_EQ(calls, 1);
    OsReleaseTickInterval(L, 0);
}

// ---- a timer adapter plug-in ----

std::set<void *> g_live;
int g_nextHandle;
void *FakeRegister(lua_State *, int ms, int) {
    if (ms == 999) return nullptr; // refused
    void *h = reinterpret_cast<void *>(intptr_t(++g_nextHandle));
    g_live.insert(h);
    return h;
}
void FakeFree(void *h) { EXPECT_EQ(g_live.erase(h), 1u) << "freed once"; }

class AdapterIntervals : public Intervals {
protected:
    cxPlugin plugin{};
    void SetUp() override {
        Intervals::SetUp();
        plugin.capabilities = CX_CAP_TIMERADAPTER;
        plugin.RegisterTimer = FakeRegister;
        plugin.FreeTimer = FakeFree;
        SetPluginStartupPhase(1);
        ASSERT_EQ(RegisterTimerAdapter(&plugin, 0), 0);
        SetPluginStartupPhase(0);
        g_live.clear();
        g_nextHandle = 0;
    }
    void TearDown() override {
        CleanupEvents(L);
        EXPECT_TRUE(g_live.empty()) << "every adapter timer freed";
        ForgetCapabilityLists();
        Intervals::TearDown();
    }
};

TEST_F(AdapterIntervals, AdapterTimesAndFires) {
    ASSERT_EQ(Set("SetInterval", 1, 10, "ud"), 0);
    cxInterval *r = nullptr;
    ASSERT_EQ(FindInterval({1, nullptr}, &r), 0);
    void *first = r->adapterTimer;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(FireAdapterTimer(L, first), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Last("action"), "Interval");
    EXPECT_EQ(Last("userdata"), "ud");
    // A new period is a new adapter timer; the old one is freed and the
    // change succeeds although the platform list never had the timer.
    ASSERT_EQ(Call("ChangeInterval", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 20);
              }),
              0);
    EXPECT_NE(r->adapterTimer, first);
    EXPECT_EQ(g_live.count(first), 0u);
    EXPECT_EQ(Call("ChangeInterval", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 999);
              }),
              ERR_TIMER);
    // A refused start leaves nothing behind.
    EXPECT_EQ(Set("SetTimeout", 2, 999), ERR_TIMER);
    EXPECT_EQ(Clear("ClearTimeout", 2), ERR_FINDTIMEOUT);
    // A timeout fires once; its timer is freed; later firings do nothing.
    ASSERT_EQ(Set("SetTimeout", 3, 10), 0);
    cxTimeout *t = nullptr;
    ASSERT_EQ(FindTimeout({3, nullptr}, &t), 0);
    void *handle = t->adapterTimer;
    EXPECT_EQ(FireAdapterTimer(L, handle), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Last("action"), "Timeout");
    EXPECT_EQ(FireAdapterTimer(L, handle), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Clear("ClearTimeout", 3), ERR_FINDTIMEOUT);
}

}  // namespace
