#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "platform/os_timers.h"
#include "platform/os_wake.h"

namespace {
void DrainPipe() {
    cxOsWakeMessage m;
    while (OsReadWakeMessage(&m)) {
    }
}

uint32_t ElapsedMs(const cxOsTimeVal &since) {
    cxOsTimeVal now;
    OsGetMonotonicTime(&now);
    OsSubTime(&now, &since);
    return OsTimeToMs(&now);
}

// Takes every fired timer of the list, counting by kind.
void TakeAll(int *intervals, int *timeouts) {
    cxOsTimer *it = nullptr;
    bool first = true;
    while (first || it) {
        first = false;
        int kind;
        it = OsTakeTimerEvent(it, &kind, nullptr, nullptr);
        if (kind == CX_TIMER_INTERVAL) ++*intervals;
        if (kind == CX_TIMER_TIMEOUT) ++*timeouts;
    }
}

class WakeTimers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OsInitDisplaySystem(nullptr), 0);
        DrainPipe();
        OsSetEventsPending(0);
    }
    void TearDown() override {
        OsFreeTimers();
        DrainPipe();
    }
};
}  // namespace

TEST_F(WakeTimers, MessagePostedBeforeTheWaitEndsItAtOnceAndCarriesAPointerWhole) {
    int local = 0;
    const uintptr_t arg = reinterpret_cast<uintptr_t>(&local);
    ASSERT_EQ(OsPostWakeMessage(CX_WAKE_POINTER, arg), long(sizeof(cxOsWakeMessage)));
    EXPECT_EQ(OsWaitEvents(nullptr), 0);  // would block forever otherwise
    cxOsWakeMessage m;
    ASSERT_EQ(OsReadWakeMessage(&m), 1);
    EXPECT_EQ(m.type, uint32_t(CX_WAKE_POINTER));
    EXPECT_EQ(m.argument, uint64_t(arg));
    EXPECT_EQ(OsReadWakeMessage(&m), 0);
}

TEST_F(WakeTimers, PendingXEventsEndTheWaitWithoutAnyDescriptor) {
    OsSetEventsPending(1);
    EXPECT_EQ(OsWaitEvents(nullptr), 0);
    EXPECT_EQ(OsGetEventsPending(), 0);
}

TEST_F(WakeTimers, AnotherThreadsWakeEndsTheWait) {
    std::thread t([] {
        OsDelayMs(50);
        OsWakeMainThread();
    });
    EXPECT_EQ(OsWaitEvents(nullptr), 0);
    t.join();
    cxOsWakeMessage m;
    ASSERT_EQ(OsReadWakeMessage(&m), 1);
    EXPECT_EQ(m.type, uint32_t(CX_WAKE_PLAIN));
}

namespace {
std::atomic<int> g_hookCalls{0};
int Hook() {
    ++g_hookCalls;
    return 1;
}
}  // namespace

TEST_F(WakeTimers, AdapterHookIsAskedFirst) {
    OsSetForceEventLoopHook(Hook);
    EXPECT_EQ(OsWakeMainThread(), 1);
    OsSetForceEventLoopHook(nullptr);
    EXPECT_EQ(g_hookCalls.load(), 1);
    cxOsWakeMessage m;
    EXPECT_EQ(OsReadWakeMessage(&m), 0);
}

TEST_F(WakeTimers, PeriodicTimerFiresAtItsPeriod) {
    int key;
    cxOsTimeVal start;
    OsGetMonotonicTime(&start);
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 0, &key, 30), 0);
    int fired = 0, timeouts = 0;
    while (fired < 5) {
        OsWaitEvents(nullptr);
        DrainPipe();
        TakeAll(&fired, &timeouts);
        ASSERT_LT(ElapsedMs(start), 20000u);
    }
    const uint32_t ms = ElapsedMs(start);
    // Firings never come faster than the period; a loaded machine may be slow.
    EXPECT_GE(ms, 5 * 30u - 5);
    EXPECT_LT(ms, 5000u);
    EXPECT_EQ(timeouts, 0);
    EXPECT_NE(OsFindTimer(CX_TIMER_INTERVAL, 0, &key, nullptr), nullptr);
    ASSERT_EQ(OsControlTimer(CX_TIMER_REMOVE_INTERVAL, 0, &key, 0), 0);
    EXPECT_EQ(OsFindTimer(CX_TIMER_INTERVAL, 0, &key, nullptr), nullptr);
}

TEST_F(WakeTimers, OneShotFiresOnceAndIsFreed) {
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_ONESHOT, 7, nullptr, 20), 0);
    int intervals = 0, timeouts = 0;
    cxOsTimeVal start;
    OsGetMonotonicTime(&start);
    while (timeouts == 0) {
        OsWaitEvents(nullptr);
        DrainPipe();
        TakeAll(&intervals, &timeouts);
        ASSERT_LT(ElapsedMs(start), 20000u);
    }
    EXPECT_GE(ElapsedMs(start), 19u);
    OsDelayMs(60);
    TakeAll(&intervals, &timeouts);
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(intervals, 0);
    EXPECT_EQ(OsFindTimer(CX_TIMER_TIMEOUT, 7, nullptr, nullptr), nullptr);
}

TEST_F(WakeTimers, FullPipeDoesNotLoseAFiring) {
    while (OsPostWakeMessage(CX_WAKE_PLAIN, 0) > 0) {
    }
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_ONESHOT, 1, nullptr, 5), 0);
    int intervals = 0, timeouts = 0;
    cxOsTimeVal start;
    OsGetMonotonicTime(&start);
    while (timeouts == 0 && ElapsedMs(start) < 20000u) {
        OsDelayMs(10);
        TakeAll(&intervals, &timeouts);
    }
    EXPECT_EQ(timeouts, 1);
}

TEST_F(WakeTimers, RemovedOrReplacedTimersDoNotFire) {
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_ONESHOT, 1, nullptr, 20), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_REMOVE_TIMEOUT, 1, nullptr, 0), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_REMOVE_TIMEOUT, 1, nullptr, 0), 0);  // gone already: nothing to do
    // Interval and timeout keys are separate: the same key as an interval.
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 1, nullptr, 100000), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_CHANGE_PERIOD, 1, nullptr, 200000), 0);
    EXPECT_NE(OsControlTimer(CX_TIMER_CHANGE_PERIOD, 2, nullptr, 10), 0);
    EXPECT_NE(OsControlTimer(9, 2, nullptr, 10), 0);
    OsDelayMs(60);
    int intervals = 0, timeouts = 0;
    TakeAll(&intervals, &timeouts);
    EXPECT_EQ(intervals + timeouts, 0);
}

TEST_F(WakeTimers, IteratorCanStepPastARemovedTimer) {
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 1, nullptr, 100000), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 2, nullptr, 100000), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 3, nullptr, 100000), 0);
    int kind;
    int32_t number = 0;
    cxOsTimer *it = OsTakeTimerEvent(nullptr, &kind, &number, nullptr);
    EXPECT_EQ(kind, CX_TIMER_NOT_FIRED);
    EXPECT_EQ(number, 1);
    // The iterator now points at timer 2; its owner moves it on before removal.
    cxOsTimer *next = nullptr;
    ASSERT_EQ(OsFindTimer(CX_TIMER_INTERVAL, 2, nullptr, &next), it);
    ASSERT_EQ(OsControlTimer(CX_TIMER_REMOVE_INTERVAL, 2, nullptr, 0), 0);
    it = OsTakeTimerEvent(next, &kind, &number, nullptr);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(it, nullptr);
}

// A walk that still holds a removed timer (its owner did not move it on)
// ends instead of reading the freed record.
TEST_F(WakeTimers, WalkHoldingARemovedTimerEnds) {
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 1, nullptr, 100000), 0);
    ASSERT_EQ(OsControlTimer(CX_TIMER_ADD_PERIODIC, 2, nullptr, 100000), 0);
    int kind;
    int32_t number = 0;
    cxOsTimer *it = OsTakeTimerEvent(nullptr, &kind, &number, nullptr);
    ASSERT_NE(it, nullptr);
    ASSERT_EQ(OsControlTimer(CX_TIMER_REMOVE_INTERVAL, 2, nullptr, 0), 0);
    number = -1;
    EXPECT_EQ(OsTakeTimerEvent(it, &kind, &number, nullptr), nullptr);
    EXPECT_EQ(kind, CX_TIMER_NOT_FIRED);
    EXPECT_EQ(number, -1) << "nothing read from the stale record";
}

TEST_F(WakeTimers, TickIsSharedByClaims) {
    ASSERT_EQ(OsAcquireTickInterval(nullptr, 0), 0);
    ASSERT_EQ(OsAcquireTickInterval(nullptr, 0), 0);
    OsReleaseTickInterval(nullptr, 0);
    EXPECT_NE(OsFindTimer(CX_TIMER_INTERVAL, 0, OsGetTickKey(), nullptr), nullptr);
    OsWaitEvents(nullptr);  // the tick wakes the wait
    OsReleaseTickInterval(nullptr, 0);
    EXPECT_EQ(OsFindTimer(CX_TIMER_INTERVAL, 0, OsGetTickKey(), nullptr), nullptr);
    OsReleaseTickInterval(nullptr, 0);  // one release too many changes nothing
    ASSERT_EQ(OsAcquireTickInterval(nullptr, 0), 0);
    EXPECT_NE(OsFindTimer(CX_TIMER_INTERVAL, 0, OsGetTickKey(), nullptr), nullptr);
}
