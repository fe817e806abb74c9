// One turn of the event pump and the line hook that turns it: plug-in
// hooks, the age-out of queued events, the display adapter's hooks, the
// user-abort flag, and how rarely the line hook turns the pump.
#include <gtest/gtest.h>

#include "display/events/event_pump.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "platform/os_linegate.h"
#include "engine/plugins/plugin_registry.h"

namespace {

cxOsTimeVal g_now;
void FakeClock(cxOsTimeVal *out) { *out = g_now; }
void SetNow(double seconds) {
    g_now.seconds = static_cast<uint32_t>(seconds);
    g_now.microseconds = static_cast<uint32_t>((seconds - g_now.seconds) * 1e6 + 0.5);
}

void SetAbort(int on) { SetKernelTags(nullptr, CX_KTAG_USERABORT, on, CX_KTAG_END); }
int Abort() {
    int on = -1;
    GetKernelTags(nullptr, CX_KTAG_USERABORT, &on, CX_KTAG_END);
    return on;
}

int g_hookCalls;
int g_hookResult;
int CountingHooks(lua_State *, int kind, intptr_t, intptr_t) {
    EXPECT_EQ(kind, 1);
    g_hookCalls++;
    return g_hookResult;
}

int g_adapterResult;
uint32_t g_adapterFlags;
int g_adapterWaits;
int FakeHandleEvents(lua_State *, uint32_t flags, const cxTagItem *tags) {
    g_adapterFlags = flags;
    EXPECT_NE(tags, nullptr);
    return g_adapterResult;
}
int FakeWaitEvents(lua_State *, uint32_t, const cxTagItem *tags) {
    EXPECT_EQ(tags[0].tag, 0u);
    g_adapterWaits++;
    return 0;
}

class EventPump : public ::testing::Test {
protected:
    void SetUp() override {
        FreeKernel();
        ASSERT_EQ(InitKernel(), 0);
        ResetEventPump();
        SetPumpClock(FakeClock);
        SetEventQueueClock(FakeClock);
        SetNow(1000);
        g_hookCalls = g_hookResult = 0;
        SetPluginHookCaller(CountingHooks);
    }
    void TearDown() override {
        SetPluginHookCaller(nullptr);
        SetPumpClock(nullptr);
        SetEventQueueClock(nullptr);
        SetEventAgeLimit(60000);
        ResetEventPump();
        FreeKernel();
    }
    static bool Queued() {
        cxEventInfo info;
        return FetchEvent(nullptr, 0, &info, 0) != 0;
    }
    static int Turn(uint32_t flags, int *code) { return ProcessEvents(nullptr, flags, 0, code); }
};

TEST_F(EventPump, LineHookTurnsAgeOutEventsOnlyAfterMoreThanNineWholeSeconds) {
    SetEventAgeLimit(1000);
    int code = -1;
    EXPECT_EQ(Turn(CX_PUMP_LINEHOOK, &code), 0);  // starts the count
    EXPECT_EQ(code, 0);
    ASSERT_EQ(PostEvent(nullptr, 3, 0, 0, 0, nullptr), 1);

    SetNow(1009.9);  // 9 whole seconds: not yet
    Turn(CX_PUMP_LINEHOOK, &code);
    EXPECT_TRUE(Queued());
    SetNow(1010.0);  // other turns never age out
    Turn(CX_PUMP_WAITING, &code);
    Turn(CX_PUMP_WAITEVENT, &code);
    EXPECT_TRUE(Queued());
    Turn(CX_PUMP_LINEHOOK, &code);
    EXPECT_FALSE(Queued());

    // The count starts again from the last age-out.
    ASSERT_EQ(PostEvent(nullptr, 3, 0, 0, 0, nullptr), 1);
    SetNow(1015.0);
    Turn(CX_PUMP_LINEHOOK, &code);
    EXPECT_TRUE(Queued());
}

TEST_F(EventPump, PluginHooksRunOnLineHookTurnsAndTheirCodeEndsTheWait) {
    int code = 0;
    EXPECT_EQ(Turn(CX_PUMP_WAITING, &code), 0);
    EXPECT_EQ(g_hookCalls, 0);
    EXPECT_EQ(Turn(CX_PUMP_LINEHOOK, &code), 0);
    EXPECT_EQ(g_hookCalls, 1);
    g_hookResult = ERR_WRONGUSAGE;
    EXPECT_EQ(Turn(CX_PUMP_LINEHOOK, &code), 1);
    EXPECT_EQ(code, ERR_WRONGUSAGE);
}

TEST_F(EventPump, TheUserAbortFlagEndsWaitsWithoutAnError) {
    SetAbort(1);
    EXPECT_EQ(Abort(), 1);
    int code = -1;
    EXPECT_EQ(Turn(CX_PUMP_WAITING, &code), 1);
    EXPECT_EQ(code, 0);
    // A wait that starts after the run was ended does not block.
    uint32_t out = 7;
    EXPECT_EQ(WaitForEvent(nullptr, 0, 0, &out), 0);
    SetAbort(0);
    EXPECT_EQ(Abort(), 0);
}

TEST_F(EventPump, TheLineHookTurnsThePumpAtMostEveryFewMilliseconds) {
    int code = 0;
    EXPECT_EQ(EventLineHook(nullptr, nullptr, &code), 0);
    EXPECT_EQ(g_hookCalls, 1);
    for (int i = 0; i < 1000; i++) EventLineHook(nullptr, nullptr, &code);
    // A thousand lines run in far less than the interval.
    EXPECT_LE(g_hookCalls, 2);
    const int before = g_hookCalls;
    RequestLineHookTurn();
    EventLineHook(nullptr, nullptr, &code);
    EXPECT_EQ(g_hookCalls, before + 1);

    // A script that disabled the line hook gets no turns.
    SetKernelTags(nullptr, CX_KTAG_LINEHOOKOFF, 1, CX_KTAG_END);
    RequestLineHookTurn();
    EXPECT_EQ(EventLineHook(nullptr, nullptr, &code), 0);
    EXPECT_EQ(g_hookCalls, before + 1);
    SetKernelTags(nullptr, CX_KTAG_LINEHOOKOFF, 0, CX_KTAG_END);

    g_hookResult = ERR_MEM;
    RequestLineHookTurn();
    EXPECT_EQ(EventLineHook(nullptr, nullptr, &code), 1);
    EXPECT_EQ(code, ERR_MEM);
}

class AdapterPump : public EventPump {
protected:
    cxPlugin adapter_{};
    void SetUp() override {
        EventPump::SetUp();
        adapter_.capabilities = CX_CAP_DISPLAYADAPTER;
        adapter_.HandleEvents = FakeHandleEvents;
        adapter_.WaitEvents = FakeWaitEvents;
        g_adapterResult = 0;
        g_adapterFlags = 0;
        g_adapterWaits = 0;
        SetPluginStartupPhase(1);
        ASSERT_EQ(RegisterDisplayAdapter(&adapter_, 0, nullptr), 0);
        SetPluginStartupPhase(0);
        ASSERT_EQ(GetDisplayAdapter(), &adapter_);
    }
    void TearDown() override {
        RemovePluginHooks(&adapter_);
        SetAbort(0);
        EventPump::TearDown();
    }
};

TEST_F(AdapterPump, HandleEventsGetsTheFlagsAndItsResultDecides) {
    struct Case {
        int result;
        int stop;
        int code;
        int abort;
    };
    const Case cases[] = {
        {0, 0, 0, 0},
        {ERR_USERABORT, 1, 0, 1},  // the end of the run, not an error
        {ERR_WINDOW, 1, ERR_WINDOW, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.result);
        SetAbort(0);
        g_adapterResult = c.result;
        int code = -1;
        EXPECT_EQ(Turn(CX_PUMP_WAITEVENT, &code), c.stop);
        EXPECT_EQ(g_adapterFlags, static_cast<uint32_t>(CX_PUMP_WAITEVENT));
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(Abort(), c.abort);
    }
    // With the flag set by anyone, a quiet adapter turn still ends the wait.
    g_adapterResult = 0;
    SetAbort(1);
    int code = -1;
    EXPECT_EQ(Turn(CX_PUMP_WAITING, &code), 1);
    EXPECT_EQ(code, 0);
}

TEST_F(AdapterPump, WaitsGoToTheAdapterAndUncallableAdaptersAnswerZero) {
    uint32_t out = 0;
    EXPECT_EQ(WaitForEvent(nullptr, 1, 42, &out), 0);
    EXPECT_EQ(g_adapterWaits, 1);
    EXPECT_EQ(out, 42u);

    adapter_.callingConvention = CX_CALLCONV_UNCALLABLE;
    g_adapterResult = ERR_WINDOW;
    int code = -1;
    EXPECT_EQ(Turn(CX_PUMP_WAITING, &code), 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(g_adapterFlags, 0u);
}

}  // namespace

TEST_F(EventPump, AnOpenGateTurnsThePumpAtOnceAndIsShutByTheHook) {
    int code = 0;
    OsTakeLineHookGate();
    EventLineHook(nullptr, nullptr, &code);
    const int first = g_hookCalls;
    // within the interval the pump does not turn again...
    for (int i = 0; i < 100; i++) EventLineHook(nullptr, nullptr, &code);
    EXPECT_LE(g_hookCalls, first + 1);
    // ...unless the gate was opened: by the pulse or by a wake-up
    for (unsigned why : {unsigned(CX_GATE_PULSE), unsigned(CX_GATE_WAKE)}) {
        const int before = g_hookCalls;
        OsOpenLineHookGate(why);
        EXPECT_EQ(EventLineHook(nullptr, nullptr, &code), 0);
        EXPECT_EQ(g_hookCalls, before + 1);
        EXPECT_EQ(*OsLineHookGate(), 0u);
    }
}
