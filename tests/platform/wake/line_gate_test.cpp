// The line-hook gate: what opens it, what the hook learns when it takes it,
// and the pulse that opens it while a script runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/os_linegate.h"
#include "platform/os_wake.h"

namespace {

struct LineGate : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(OsCreateWakePipe(nullptr, nullptr));
        OsTakeLineHookGate();
    }
    void TearDown() override {
        OsStopLineHookPulse();
        OsSetEventsPending(0);
        OsCloseWakePipe();
    }
};

unsigned GateNow() { return __atomic_load_n(OsLineHookGate(), __ATOMIC_RELAXED); }

bool WaitForGate() {
    // far longer than any pulse period: the pulse is checked, not timed
    for (int i = 0; i < 2000; i++) {
        if (GateNow()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST_F(LineGate, WakeUpsAndQueuedEventsOpenItAndTakingItShutsIt) {
    EXPECT_EQ(OsTakeLineHookGate(), 0u);
    OsPostWakeMessage(CX_WAKE_PLAIN, 0);
    EXPECT_EQ(GateNow(), unsigned(CX_GATE_WAKE));
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_WAKE));
    EXPECT_EQ(GateNow(), 0u);

    std::thread([] { OsWakeMainThread(); }).join();
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_WAKE));

    OsSetEventsPending(0);
    EXPECT_EQ(OsTakeLineHookGate(), 0u);
    OsSetEventsPending(1);
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_WAKE));

    // reasons add up until taken
    OsOpenLineHookGate(CX_GATE_PULSE);
    OsOpenLineHookGate(CX_GATE_WAKE);
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_PULSE | CX_GATE_WAKE));
    cxOsWakeMessage m;
    while (OsReadWakeMessage(&m)) {
    }
}

TEST_F(LineGate, ThePulseOpensItAgainAfterEachTakeUntilStopped) {
    ASSERT_EQ(OsStartLineHookPulse(1), 0);
    EXPECT_EQ(OsStartLineHookPulse(1), 0);  // a second start changes nothing
    for (int turn = 0; turn < 3; turn++) {
        ASSERT_TRUE(WaitForGate()) << turn;
        EXPECT_EQ(OsTakeLineHookGate() & CX_GATE_PULSE, unsigned(CX_GATE_PULSE));
    }
    OsStopLineHookPulse();
    OsTakeLineHookGate();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(GateNow(), 0u);
    OsStopLineHookPulse();  // stopping twice is harmless
}

// Input on a watched descriptor opens the gate without waiting for the
// pulse; until the pump has turned, input left unread does not open it
// again, so the thread does not spin on it.
TEST_F(LineGate, InputOnAWatchedDescriptorOpensItOncePerPumpTurn) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    OsWatchDescriptor(fds[0]);
    ASSERT_EQ(OsStartLineHookPulse(100000), 0); // no pulse during the test
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(GateNow(), 0u) << "nothing to read yet";

    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(WaitForGate());
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_WAKE));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(GateNow(), 0u) << "unread input opens the gate once per turn";

    OsNoteInputTurn(); // a turn that left the byte unread
    ASSERT_TRUE(WaitForGate());
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_WAKE));

    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    OsNoteInputTurn();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(GateNow(), 0u) << "read input opens nothing";

    OsStopLineHookPulse();
    OsUnwatchDescriptor(fds[0]);
    close(fds[0]);
    close(fds[1]);
}

// While the main thread waits for events no line runs: the pulse sleeps
// through the wait instead of waking every period, and keeps its period
// again once the wait has ended.
TEST_F(LineGate, ThePulseRestsWhileTheMainThreadWaits) {
    ASSERT_EQ(OsStartLineHookPulse(2), 0);
    ASSERT_TRUE(WaitForGate());
    unsigned duringWait = 1;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        OsTakeLineHookGate();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        duringWait = GateNow();
        OsPostWakeMessage(CX_WAKE_PLAIN, 0);
    });
    OsWaitEvents(nullptr);
    other.join();
    EXPECT_EQ(duringWait, 0u) << "fifty periods passed in the wait";
    cxOsWakeMessage m;
    while (OsReadWakeMessage(&m)) {
    }
    OsTakeLineHookGate();
    ASSERT_TRUE(WaitForGate());
    EXPECT_EQ(OsTakeLineHookGate(), unsigned(CX_GATE_PULSE));
}

}  // namespace
