// Several producers post while the main thread fetches and drops.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/events/event_queue.h"

// Opaque to the queue: distinct addresses are all that matter.
struct cxDisplay {
    int unused;
};

namespace {
constexpr int kThreads = 4;
constexpr int kPerThread = 4000;
constexpr int kTotal = kThreads * kPerThread;

struct Payload {
    int id;
};

std::atomic<int> g_freed[kTotal];
}  // namespace

// The payload freer counts how often each payload is released by the queue.
static void CountingFreer(lua_State *, uint32_t, void *data) {
    if (!data) return;
    auto *p = static_cast<Payload *>(data);
    g_freed[p->id].fetch_add(1);
    free(p);
}

TEST(EventQueueThreads, NothingLostButCoalescedAndEveryPayloadFreedOnce) {
    ASSERT_EQ(InitKernel(), 0);
    SetEventDataFreer(CountingFreer);
    for (auto &f : g_freed) f = 0;
    static cxDisplay displays[2];
    std::atomic<int> done{0};
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([t, &done] {
            for (int i = 0; i < kPerThread; ++i) {
                const int id = t * kPerThread + i;
                auto *p = static_cast<Payload *>(malloc(sizeof(Payload)));
                p->id = id;
                const uint32_t type = (i % 3 == 0) ? 5 : 1 + (i % 3);
                while (PostEvent(&displays[i & 1], type, uint32_t(id), 0, 0, p) != 1) {
                }
            }
            done.fetch_add(1);
        });
    }

    std::vector<int> delivered(kTotal, 0), dead(kTotal, 0);
    auto drain = [&] {
        LockEventQueue();
        cxEventInfo info;
        uint32_t n = 0;
        while (FetchEvent(nullptr, n, &info, (n & 1)) == n + 1) {
            const int id = int(info.a);
            if (info.type == 0)
                dead[id]++;
            else
                delivered[id]++;
            if (n & 1) {  // taken: this thread owns the payload now
                EXPECT_EQ(static_cast<Payload *>(info.data)->id, id);
                g_freed[id].fetch_add(1);
                free(info.data);
            }
            ++n;
        }
        if (n) DropEvents(nullptr, n - 1, 0);
        UnlockEventQueue();
        return n;
    };
    while (done.load() < kThreads) drain();
    for (auto &p : producers) p.join();
    drain();

    int live5Lost = 0;
    for (int id = 0; id < kTotal; ++id) {
        const int i = id % kPerThread;
        const bool isSize = (i % 3 == 0);
        ASSERT_EQ(g_freed[id].load(), 1) << "payload " << id;
        ASSERT_EQ(delivered[id] + dead[id], 1) << "event " << id;
        if (dead[id]) {
            ASSERT_TRUE(isSize) << "only size events may be coalesced";
            ++live5Lost;
        }
    }
    // Coalescing keeps the newest size event of each display.
    EXPECT_LT(live5Lost, kTotal);
    FreeEventQueue(nullptr);
    SetEventDataFreer(nullptr);
}
