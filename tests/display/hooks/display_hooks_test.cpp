// What the display library answers the layers below it once its hooks are
// installed: the size-event rule of the event queue, handler presence and
// the resize default of the X11 back-end.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display/display.h"
#include "display/display_hooks.h"
#include "graphics/bitmap/bitmap.h"
#include "engine/events/event_queue.h"
#include "window/x11/os_display.h"

namespace {

class DisplayHooks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(InitKernel(), 0);
        InstallDisplayHooks();
        for (auto &h : display.handlers) h = {-1, -1};
        display.os.owner = &display;
    }
    void TearDown() override {
        RemoveDisplayHooks();
        FreeEventQueue(nullptr);
    }
    static size_t Queued() {
        cxEventInfo info;
        size_t n = 0;
        while (FetchEvent(nullptr, uint32_t(n), &info, 0) == n + 1) ++n;
        return n;
    }
    cxDisplay display{};
};

TEST_F(DisplayHooks, SpecialModesRefuseSizeEventsUnlessAllowed) {
    cxDisplay fake{}, scaled{};
    fake.fakeFullscreen = 1;
    scaled.fullscreenScale = 1;
    EXPECT_EQ(PostEvent(&fake, 5, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(PostEvent(&scaled, 5, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(PostEvent(&fake, 4, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(PostEvent(&display, 5, 0, 0, 0, nullptr), 1);
    scaled.modeSizeEvents = 1;
    EXPECT_EQ(PostEvent(&scaled, 5, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Queued(), 3u);
}

TEST_F(DisplayHooks, DroppedPayloadsAreReleased) {
    ASSERT_EQ(PostEvent(&display, 14, 0, 0, 0, malloc(32)), 1);
    DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);  // a leak shows under the sanitizer
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(DisplayHooks, BackEndSeesHandlersAndResizes) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    ASSERT_NE(h->hasHandler, nullptr);
    EXPECT_EQ(h->hasHandler(&display, CX_OS_HANDLER_CLOSE), 0);
    display.handlers[CX_SLOT_CLOSEWINDOW].function = 4;
    display.handlers[CX_SLOT_ONDROPFILE].function = 5;
    EXPECT_EQ(h->hasHandler(&display, CX_OS_HANDLER_CLOSE), 1);
    EXPECT_EQ(h->hasHandler(&display, CX_OS_HANDLER_DROP), 1);
    EXPECT_EQ(h->hasHandler(&display, CX_OS_HANDLER_CLIPBOARD), 0);

    ASSERT_NE(h->resizeDisplay, nullptr);
    EXPECT_EQ(h->resizeDisplay(nullptr, &display, 100000, 100000, 320, 200, 0, 0, 0, 0), 0);
    EXPECT_EQ(display.os.width, 320);
    EXPECT_EQ(display.os.height, 200);
    EXPECT_EQ(display.pictureWidth, 320);  // an unscaled display's picture follows the window
    FreeBitmap(display.picture);
    display.picture = nullptr;

    EXPECT_EQ(h->isDisplayMonitorFree(&display), 1);
    display.backfillWindow = 1;
    EXPECT_EQ(h->isDisplayMonitorFree(&display), 0);

    RemoveDisplayHooks();
    EXPECT_EQ(OsGetDisplayHooks()->hasHandler, nullptr);
}

}  // namespace
