#include "x11_test_support.h"

#include <X11/extensions/XTest.h>
#include <cstdlib>
#include <cstring>

#include "engine/runtime/kernel.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_pump.h"

int g_testRefreshes = 0;
int g_testRealizes = 0;

namespace {
unsigned g_handlers = 0;

cxOsDisplay *ViewOf(cxDisplay *owner) { return reinterpret_cast<cxOsDisplay *>(owner); }

int CountRefresh(lua_State *, cxDisplay *, uint32_t flags) {
    if (flags == 2) ++g_testRefreshes;
    return 0;
}

int ToggleMode(lua_State *, cxDisplay *owner, uint32_t how) {
    if (how == 5) {
        ++g_testRealizes;
        ViewOf(owner)->fullscreen = !ViewOf(owner)->fullscreen;
    }
    return 0;
}

int HasTestHandler(const cxDisplay *, int handler) { return (g_handlers >> handler) & 1; }

const cxOsDisplayHooks kTestHooks = {nullptr, CountRefresh, ToggleMode, nullptr, nullptr, HasTestHandler};
}  // namespace

void X11Display::SetHandler(int handler) { g_handlers |= 1u << handler; }

void X11Display::SetUp() {
    g_handlers = 0;
    g_testRefreshes = g_testRealizes = 0;
    OsSetDisplayHooks(&kTestHooks);
    if (!OsStartX11()) GTEST_SKIP() << "no X server";
    ASSERT_EQ(InitKernel(), 0);
    ASSERT_EQ(OsInitDisplaySystem(nullptr), 0);
    // A server still busy with the previous test may refuse for a moment.
    for (int i = 0; i < 100 && !tdpy; ++i) {
        tdpy = XOpenDisplay(nullptr);
        if (!tdpy) OsDelayMs(20);
    }
    ASSERT_NE(tdpy, nullptr);
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(tdpy, &ev, &err, &major, &minor));
    OsClearQuitFlag();
    SetUserAbortFlag(0);
}

void X11Display::TearDown() {
    for (auto &e : events) free(e.data);
    events.clear();
    if (display.handle) OsFreeWindowRecord(&display);
    OsSetDisplayHooks(nullptr);
    if (tdpy) XCloseDisplay(tdpy);
    FreeEventQueue(nullptr);
    OsStopX11();
}

void X11Display::Open(uint32_t flags, int width, int height) {
    display.width = width;
    display.height = height;
    display.x = 40;
    display.y = 30;
    display.flags = flags;
    strcpy(display.title, "cx test");
    display.owner = reinterpret_cast<cxDisplay *>(&display);
    ASSERT_EQ(OsOpenDisplay(&display), 0);
    ASSERT_NE(OsGetDisplayWindow(&display), nullptr);
    // Mapped (event 10) and exposed before anything is injected.
    PumpUntil([](const std::vector<TestEvent> &v) {
        for (auto &e : v)
            if (e.type == 10) return true;
        return false;
    });
    ASSERT_TRUE(Has(10, 0));
    Focus();
}

int X11Display::PumpUntil(const std::function<bool(const std::vector<TestEvent> &)> &done) {
    cxOsTimeVal start, now;
    OsGetMonotonicTime(&start);
    for (;;) {
        stop = OsHandleEvents(nullptr, &code);
        cxEventInfo info;
        LockEventQueue();
        uint32_t n = 0;
        while (FetchEvent(nullptr, n, &info, 1) == n + 1) {
            if (info.type) events.push_back({info.type, info.a, info.b, info.c, info.data});
            else free(info.data);
            ++n;
        }
        if (n) DropEvents(nullptr, n - 1, 0);
        UnlockEventQueue();
        if (done(events)) return stop;
        OsGetMonotonicTime(&now);
        OsSubTime(&now, &start);
        if (OsTimeToMs(&now) > 5000) return stop;
        XSync(tdpy, False);
        OsDelayMs(2);
    }
}

int X11Display::PumpFor(int ms) {
    cxOsTimeVal start;
    OsGetMonotonicTime(&start);
    return PumpUntil([&](const std::vector<TestEvent> &) {
        cxOsTimeVal now;
        OsGetMonotonicTime(&now);
        OsSubTime(&now, &start);
        return OsTimeToMs(&now) >= uint32_t(ms);
    });
}

const TestEvent *X11Display::Find(uint32_t type, uint32_t a, int64_t c) const {
    for (auto &e : events)
        if (e.type == type && e.a == a && (c < 0 || e.c == uint32_t(c))) return &e;
    return nullptr;
}

bool X11Display::Has(uint32_t type, uint32_t a, int64_t c) const { return Find(type, a, c) != nullptr; }

void X11Display::Focus() {
    XSetInputFocus(tdpy, Win(), RevertToParent, CurrentTime);
    XSync(tdpy, False);
    PumpUntil([this](const std::vector<TestEvent> &) { return display.active != 0; });
}

void X11Display::MoveInside(int x, int y) {
    int rx, ry;
    Window child;
    XTranslateCoordinates(tdpy, Win(), DefaultRootWindow(tdpy), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(tdpy, DefaultScreen(tdpy), rx, ry, CurrentTime);
    XSync(tdpy, False);
}

void X11Display::Key(KeySym sym, bool down) {
    XTestFakeKeyEvent(tdpy, XKeysymToKeycode(tdpy, sym), down, CurrentTime);
    XSync(tdpy, False);
}

void X11Display::Button(unsigned button, bool down) {
    XTestFakeButtonEvent(tdpy, button, down, CurrentTime);
    XSync(tdpy, False);
}
