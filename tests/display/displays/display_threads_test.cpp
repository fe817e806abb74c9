// The entries other threads use: input posted through a listener and
// refreshes queued for a display, while the main thread creates and frees
// displays and works through the queue.
#include <atomic>
#include <thread>

#include "display/plugin_entries.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "graphics/bitmap/bitmap.h"
#include "tests/display/displays/display_fixture.h"

namespace {

using cxtest::DisplayTest;

TEST_F(DisplayTest, PostingThreadsAndTheMainThread) {
    ASSERT_EQ(InitKernel(), 0);
    ASSERT_EQ(Create(1, {{"width", 64.0}, {"height", 32.0}}), 0);
    cxDisplay *d = Display(1);
    cxDisplayListener *l = AddDisplayListener(cxObjectID{1, nullptr}, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(l, nullptr);
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (int i = 0; i < 300; ++i) {
            const intptr_t move[3] = {i, i, 0};
            PostListenerEvent(l, 4, move);
            cxBitmap *frame = AllocBitmap(16, 16, CX_ALLOC_CLEAR, 0);
            if (frame && PostDisplayRefresh(d, frame, 1, 0, 0, 16, 16) != 0) FreeBitmap(frame);
        }
        done = true;
    });
    int rounds = 0;
    while (!done || rounds < 5) {
        ASSERT_EQ(Create(2), 0);
        ASSERT_EQ(Cmd("FreeDisplay", {2}), 0);
        ProcessPendingRefreshes(L);
        ++rounds;
    }
    poster.join();
    ProcessPendingRefreshes(L);
    EXPECT_EQ(d->os.mouseX, 299);
    DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
    RemoveDisplayListener(l);
}

}  // namespace
