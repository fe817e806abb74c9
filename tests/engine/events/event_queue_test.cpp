#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/events/event_queue.h"

// The queue holds displays as opaque pointers; the records here only need
// to be distinct and to carry what the test's size filter reads.
struct cxDisplay {
    int refusesSize;
};

namespace {
cxOsTimeVal g_now;
void FakeClock(cxOsTimeVal *out) { *out = g_now; }

class EventQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(InitKernel(), 0);
        SetEventAgeLimit(60000);
    }
    void TearDown() override {
        SetEventQueueClock(nullptr);
        FreeEventQueue(nullptr);
    }
    static std::vector<cxEventInfo> All() {
        std::vector<cxEventInfo> v;
        cxEventInfo info;
        for (uint32_t i = 0; FetchEvent(nullptr, i, &info, 0) == i + 1; ++i) v.push_back(info);
        return v;
    }
};
}  // namespace

TEST(EventQueueNoKernel, AcceptsNothing) {
    cxEventInfo info;
    EXPECT_EQ(PostEvent(nullptr, 1, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(FetchEvent(nullptr, 0, &info, 0), 0u);
    DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
    ExpireEvents(nullptr);
}

TEST_F(EventQueue, PostAndFetchInOrderWithInfoWords) {
    cxDisplay d{};
    ASSERT_EQ(PostEvent(&d, 1, 10, 20, 1, nullptr), 1);
    ASSERT_EQ(PostEvent(&d, 3, 1, 0, 65, nullptr), 1);
    cxEventInfo info;
    ASSERT_EQ(FetchEvent(nullptr, 1, &info, 0), 2u);
    EXPECT_EQ(info.display, &d);
    EXPECT_EQ(info.type, 3u);
    EXPECT_EQ(info.a, 1u);
    EXPECT_EQ(info.keyB, 0u);
    EXPECT_EQ(info.keyC, 65u);
    EXPECT_GT(info.time, 1.6e9);  // wall-clock seconds
    ASSERT_EQ(FetchEvent(nullptr, 0, &info, 0), 1u);
    EXPECT_EQ(info.type, 1u);
    EXPECT_EQ(info.a, 10u);
    EXPECT_EQ(info.b, 20u);
    EXPECT_EQ(info.keyC, 0u);  // only for key types
    EXPECT_EQ(FetchEvent(nullptr, 2, &info, 0), 0u);
    EXPECT_EQ(FetchEvent(nullptr, 100, &info, 0), 0u);
}

TEST_F(EventQueue, SizeEventsCoalescePerDisplay) {
    cxDisplay d{}, e{};
    for (uint32_t i = 0; i < 3; ++i) ASSERT_EQ(PostEvent(&d, 5, i, 0, 0, malloc(8)), 1);
    ASSERT_EQ(PostEvent(&e, 5, 9, 0, 0, nullptr), 1);
    auto v = All();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].type, 0u);
    EXPECT_EQ(v[1].type, 0u);
    EXPECT_EQ(v[2].type, 5u);
    EXPECT_EQ(v[2].a, 2u);  // the newest stays live
    EXPECT_EQ(v[3].type, 5u);
    EXPECT_EQ(v[3].display, &e);
    // The payloads of the dead events are still freed (leak check under asan).
    DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
    EXPECT_TRUE(All().empty());
}

TEST_F(EventQueue, SizeFilterRefusesOnlySizeEventsOfItsDisplays) {
    SetSizeEventFilter([](const cxDisplay *d) { return d->refusesSize; });
    cxDisplay refusing{1}, plain{0};
    EXPECT_EQ(PostEvent(&refusing, 5, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(PostEvent(&refusing, 4, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(PostEvent(&plain, 5, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(PostEvent(nullptr, 5, 0, 0, 0, nullptr), 1);  // no display: nothing to ask
    refusing.refusesSize = 0;
    EXPECT_EQ(PostEvent(&refusing, 5, 0, 0, 0, nullptr), 1);
    SetSizeEventFilter(nullptr);
    EXPECT_EQ(All().size(), 4u);
}

TEST_F(EventQueue, DropFromHeadAndTakeHandsOutPayload) {
    void *payload = malloc(16);
    ASSERT_EQ(PostEvent(nullptr, 14, 0, 0, 0, payload), 1);
    ASSERT_EQ(PostEvent(nullptr, 1, 0, 0, 0, malloc(4)), 1);
    ASSERT_EQ(PostEvent(nullptr, 2, 0, 0, 0, nullptr), 1);
    cxEventInfo info;
    ASSERT_EQ(FetchEvent(nullptr, 0, &info, 1), 1u);
    EXPECT_EQ(info.data, payload);
    ASSERT_EQ(FetchEvent(nullptr, 0, &info, 0), 1u);
    EXPECT_EQ(info.data, nullptr);  // handed out: the queue no longer owns it
    DropEvents(nullptr, 1, 1);      // events 0 and 1
    auto v = All();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].type, 2u);
    free(payload);  // a double free would abort under asan
}

TEST_F(EventQueue, ForgetDisplayKeepsEvents) {
    cxDisplay d{}, e{};
    PostEvent(&d, 1, 0, 0, 0, nullptr);
    PostEvent(&e, 1, 0, 0, 0, nullptr);
    ForgetDisplayEvents(&d);
    auto v = All();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].display, nullptr);
    EXPECT_EQ(v[1].display, &e);
}

TEST_F(EventQueue, AgeLimitBoundaryOnTheQueueClock) {
    SetEventQueueClock(FakeClock);
    g_now = {100, 0};
    PostEvent(nullptr, 1, 1, 0, 0, malloc(4));
    g_now = {100, 1000};
    PostEvent(nullptr, 1, 2, 0, 0, nullptr);
    g_now = {100, 2000};
    PostEvent(nullptr, 1, 3, 0, 0, nullptr);
    g_now = {160, 1000};  // ages 60001, 60000 and 59999 ms
    ExpireEvents(nullptr);
    auto v = All();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].a, 2u);

    SetEventAgeLimit(CX_EVENT_AGE_OFF);
    g_now = {100000, 0};
    ExpireEvents(nullptr);
    EXPECT_EQ(All().size(), 2u);

    SetEventAgeLimit(60000);
    ExpireEvents(nullptr);
    EXPECT_TRUE(All().empty());
}

TEST_F(EventQueue, ClockGoingBackDropsNothing) {
    SetEventQueueClock(FakeClock);
    g_now = {500, 0};
    PostEvent(nullptr, 1, 0, 0, 0, nullptr);
    g_now = {10, 0};
    ExpireEvents(nullptr);
    EXPECT_EQ(All().size(), 1u);
}

TEST_F(EventQueue, DisabledAfterFree) {
    FreeEventQueue(nullptr);
    EXPECT_EQ(PostEvent(nullptr, 1, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(InitKernel(), 0);
    EXPECT_EQ(PostEvent(nullptr, 1, 0, 0, 0, nullptr), 1);
}
