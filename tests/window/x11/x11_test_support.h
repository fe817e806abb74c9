// A display with an open window under the test's X server, a second X
// connection for injecting input, and helpers that pump and collect events.
// The fixture stands in for the display library: its hooks record the
// pump's calls, and the display's owner is the window-system record itself.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <functional>
#include <vector>

#include "window/x11/os_display.h"
#include "engine/events/event_queue.h"
#include "window/x11/x11_window.h"

// Calls of the display hooks seen since the fixture started.
extern int g_testRefreshes;
extern int g_testRealizes;

struct TestEvent {
    uint32_t type, a, b, c;
    void *data;
};

class X11Display : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens a display record's window; flags are CX_DISPLAY_* bits.
    void Open(uint32_t flags = 0, int width = 200, int height = 150);
    // Pumps until the predicate holds for the events collected so far (they
    // are moved out of the queue) or a few seconds pass. Returns the pump's
    // last stop flag.
    int PumpUntil(const std::function<bool(const std::vector<TestEvent> &)> &done);
    int PumpFor(int ms);
    bool Has(uint32_t type, uint32_t a, int64_t c = -1) const;
    const TestEvent *Find(uint32_t type, uint32_t a, int64_t c = -1) const;
    void Focus();
    void MoveInside(int x, int y);
    void Key(KeySym sym, bool down);
    void Button(unsigned button, bool down);
    Window Win() const { return OsGetDisplayWindow(&display)->window; }

    // Handlers the stand-in display library reports (CX_OS_HANDLER_*).
    void SetHandler(int handler);

    cxOsDisplay display{};
    Display *tdpy = nullptr;  // the test's own connection
    std::vector<TestEvent> events;
    int stop = 0, code = 0;
};
