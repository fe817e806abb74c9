#include <gtest/gtest.h>

#include <atomic>

#include "platform/os_threads.h"
#include "platform/os_time.h"

TEST(OsMutex, IsRecursive) {
    cxOsMutex *m = OsCreateMutex();
    ASSERT_NE(m, nullptr);
    OsLockMutex(m);
    OsLockMutex(m);
    OsUnlockMutex(m);
    OsUnlockMutex(m);
    OsFreeMutex(m);
    OsFreeMutex(nullptr);
}

TEST(OsCondition, SignalBeforeWaitIsKeptAndTimedWaitTimesOut) {
    cxOsMutex *m = OsCreateMutex();
    cxOsCondition *c = OsCreateCondition();
    ASSERT_NE(c, nullptr);
    OsLockMutex(m);
    OsSignalCondition(c);
    EXPECT_EQ(OsWaitCondition(c, m, 0), 1);
    // The flag was cleared by the wait, so this one times out.
    EXPECT_EQ(OsWaitConditionTimed(c, m, 30), 0);
    OsUnlockMutex(m);
    OsFreeCondition(c);
    OsFreeMutex(m);
}

namespace {
struct Shared {
    cxOsMutex *m;
    cxOsCondition *c;
    std::atomic<int> loops{0};
    std::atomic<int> sawUserData{0};
};

void Worker(void *arg) {
    cxOsThread *t = OsGetThreadHandle(arg);
    OsPrepareThread();
    auto *s = static_cast<Shared *>(OsGetThreadUserData(t));
    s->sawUserData = 1;
    OsSetThreadInitResult(t, 42);
    OsSignalThreadStarted(t);
    while (!OsCheckThreadQuit(t)) {
        ++s->loops;
        OsLockMutex(s->m);
        OsSignalCondition(s->c);
        OsUnlockMutex(s->m);
        OsDelayMs(1);
    }
    OsWaitThreadEnd(t);
}

void EndsAtOnce(void *) {}
}  // namespace

TEST(OsThread, ProtocolStartSignalQuitEnd) {
    Shared s;
    s.m = OsCreateMutex();
    s.c = OsCreateCondition();
    cxOsThread *t = OsCreateThread("cx test", Worker, &s, 0, 0, 0);
    ASSERT_NE(t, nullptr);
    // OsCreateThread returned only after the start report.
    EXPECT_EQ(s.sawUserData.load(), 1);
    EXPECT_EQ(OsGetThreadInitResult(t), 42);
    OsLockMutex(s.m);
    EXPECT_EQ(OsWaitConditionTimed(s.c, s.m, 10000), 1);
    OsUnlockMutex(s.m);
    OsRequestThreadQuit(t);
    OsEndThread(t);
    EXPECT_GT(s.loops.load(), 0);
    OsFreeCondition(s.c);
    OsFreeMutex(s.m);
}

TEST(OsThread, BodyThatNeverReportsDoesNotHangCreator) {
    cxOsThread *t = OsCreateThread("cx quick", EndsAtOnce, nullptr, 0, 64 * 1024, 0);
    ASSERT_NE(t, nullptr);
    OsEndThread(t);
}

TEST(OsThread, RealTimePriorityFallsBackSilently) {
    Shared s;
    s.m = OsCreateMutex();
    s.c = OsCreateCondition();
    cxOsThread *t = OsCreateThread("cx rr", Worker, &s, 0, 0, 100);
    ASSERT_NE(t, nullptr);
    OsEndThread(t);  // without an earlier quit request
    OsFreeCondition(s.c);
    OsFreeMutex(s.m);
}
