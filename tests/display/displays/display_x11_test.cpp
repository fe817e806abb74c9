// Displays on the real X11 back-end under the test's virtual server: the
// window appears, a rectangle drawn into the picture reaches it (scaled when
// the display scales), full screens claim their monitor, close and free
// release the window.
#include <cstdlib>

#include "display/backend.h"
#include "display/events/event_pump.h"
#include "graphics/pixels/pixel_format.h"
#include "display/monitors.h"
#include "platform/os_time.h"
#include "display/open.h"
#include "display/picture.h"
#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "tests/display/displays/display_fixture.h"

namespace {

class DisplayX11 : public cxtest::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
    }
    cxDisplay *OpenNew(int id, const std::vector<cxtest::Field> &fields) {
        if (Create(id, fields) != 0) return nullptr;
        if (Cmd("OpenDisplay", {double(id)}) != 0) return nullptr;
        return Display(id);
    }
    // Draws a red rectangle into the picture and presents it.
    void DrawRed(cxDisplay *d, int x, int y, int w, int h) {
        FillBitmapRect(d->picture, x, y, w, h, 0xFF0000);
        RefreshDisplayRectCore(d->picture, x, y, d, x, y, w, h, d->os.scaledWidth, d->os.scaledHeight, 0, nullptr,
                               nullptr, nullptr);
    }
    static bool Mapped(cxDisplay *d) {
        cxOsWindow *w = OsGetDisplayWindow(&d->os);
        if (!w) return false;
        XWindowAttributes attrs;
        return XGetWindowAttributes(w->dpy, w->window, &attrs) && attrs.map_state == IsViewable;
    }
};

TEST_F(DisplayX11, RectangleReachesTheWindowAndNothingElse) {
    cxDisplay *d = OpenNew(1, {{"width", 640.0}, {"height", 480.0}, {"x", 0.0}, {"y", 0.0}, {"title", "cx map check"}});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GetCurrentDisplay(), d);
    EXPECT_TRUE(Mapped(d));
    XSync(OsGetDisplayWindow(&d->os)->dpy, False);
    if (system("command -v xwininfo >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system("xwininfo -name 'cx map check' | grep -q 'Map State: IsViewable'"), 0);
    }
    int32_t wx = 0, wy = 0;
    cxOsWindow *w = OsGetDisplayWindow(&d->os);
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, 640);
    EXPECT_EQ(attrs.height, 480);
    (void)wx;
    (void)wy;
    // The picture is in the screen's layout: no conversion on the way.
    cxOsWindow *win = OsGetDisplayWindow(&d->os);
    const int depth = DefaultDepth(win->dpy, win->screen);
    EXPECT_EQ(static_cast<cxOsBitmap *>(d->picture->store)->format, depth == 16 ? 4u : 10u);
    DrawRed(d, 100, 50, 40, 30);
    EXPECT_EQ(WindowPixel(d, 100, 50), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 139, 79), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 99, 50), 0u);
    EXPECT_EQ(WindowPixel(d, 140, 79), 0u);
    EXPECT_EQ(WindowPixel(d, 100, 80), 0u);
}

TEST_F(DisplayX11, GrabbedScreenHoldsWhatWasPresented) {
    cxDisplay *d = OpenNew(1, {{"width", 64.0}, {"height", 64.0}, {"x", 0.0}, {"y", 0.0}});
    ASSERT_NE(d, nullptr);
    DrawRed(d, 8, 8, 4, 4);
    cxBitmap *grab = nullptr;
    ASSERT_EQ(GrabScreenToBitmap(d, 8, 8, 4, 4, &grab), 0);
    ASSERT_NE(grab, nullptr);
    auto *s = static_cast<cxOsBitmap *>(grab->store);
    EXPECT_EQ(s->width, 4);
    uint32_t pixel = 0;
    memcpy(&pixel, s->pixels, s->bytesPerPixel);
    EXPECT_EQ(PixelToColor(pixel, s->format, 0) & 0xFFFFFF, 0xFF0000u);
    FreeBitmap(grab);
    EXPECT_EQ(GrabScreenToBitmap(d, 0, 0, 0, 4, &grab), ERR_GRABSCREEN);
}

TEST_F(DisplayX11, ScaledDisplayShowsEachPixelAsABlock) {
    cxDisplay *d = OpenNew(1, {{"width", 64.0}, {"height", 48.0}, {"scalefactor", 2.0}, {"x", 0.0}, {"y", 0.0}});
    ASSERT_NE(d, nullptr);
    cxOsWindow *w = OsGetDisplayWindow(&d->os);
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, 128);
    EXPECT_EQ(attrs.height, 96);
    DrawRed(d, 10, 10, 1, 1);
    for (int y = 20; y < 22; ++y)
        for (int x = 20; x < 22; ++x) EXPECT_EQ(WindowPixel(d, x, y), 0xFF0000u) << x << "," << y;
    EXPECT_EQ(WindowPixel(d, 19, 20), 0u);
    EXPECT_EQ(WindowPixel(d, 22, 21), 0u);
    EXPECT_EQ(WindowPixel(d, 21, 22), 0u);
}

TEST_F(DisplayX11, ResizingAndScalingAnOpenDisplay) {
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 80.0}, {"x", 0.0}, {"y", 0.0}});
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Cmd("ChangeDisplaySize", {200, 120}), 0);
    cxOsWindow *w = OsGetDisplayWindow(&d->os);
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, 200);
    EXPECT_EQ(attrs.height, 120);
    EXPECT_EQ(d->pictureWidth, 200);
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"scalewidth", 400.0}, {"scaleheight", 240.0}}), 0);
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, 400);
    EXPECT_EQ(d->pictureWidth, 200);
    DrawRed(d, 199, 119, 1, 1);
    EXPECT_EQ(WindowPixel(d, 398, 238), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 397, 238), 0u);
}

TEST_F(DisplayX11, NewBackfillAndScaleModeReachTheWindow) {
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 50.0}, {"x", 0.0}, {"y", 0.0}});
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"fillstyle", 1.0}, {"color", double(0xCC0000)}}), 0);
    EXPECT_EQ(WindowPixel(d, 99, 49), 0xCC0000u);
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"scalemode", 1.0}, {"scalewidth", 200.0}, {"scaleheight", 100.0}}),
              0);
    EXPECT_EQ(d->pictureWidth, 100);
    EXPECT_EQ(WindowPixel(d, 199, 99), 0xCC0000u);
    // The window system's own notices of the new size change nothing.
    for (int i = 0; i < 20; ++i) {
        int code = 0;
        ProcessEvents(L, CX_PUMP_WAITING, 0, &code);
        OsDelayMs(5);
    }
    EXPECT_EQ(d->os.scaledWidth, 200);
    EXPECT_EQ(WindowPixel(d, 199, 99), 0xCC0000u);
}

TEST_F(DisplayX11, DemoSequence) {
    cxDisplay *d = OpenNew(1, {{"width", 320.0}, {"height", 200.0}, {"x", 40.0}, {"y", 40.0}, {"fillstyle", 2.0},
                               {"startcolor", 255.0}, {"endcolor", double(0xFF8000)}});
    ASSERT_NE(d, nullptr);
    auto pump = [&] {
        for (int i = 0; i < 100; ++i) {
            int code = 0;
            ProcessEvents(L, CX_PUMP_WAITING, 0, &code);
            OsDelayMs(5);
        }
    };
    pump();
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"fillstyle", 1.0}, {"color", double(0xCC0000)}}), 0);
    pump();
    EXPECT_EQ(WindowPixel(d, 10, 10), 0xCC0000u);
    ASSERT_EQ(Cmd("ChangeDisplaySize", {400, 250}), 0);
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"fillstyle", 2.0}, {"startcolor", double(0xFF00)}, {"endcolor", double(0x80)}}), 0);
    EXPECT_EQ(WindowPixel(d, 10, 0), 0xFF00u);
    pump();
    EXPECT_EQ(WindowPixel(d, 10, 0), 0xFF00u);
    EXPECT_EQ(d->os.width, 400);
}

TEST_F(DisplayX11, DesktopModeOpensItsBackfillWindowBehind) {
    cxDisplay *d = OpenNew(1, {{"desktop", 1.0}});
    ASSERT_NE(d, nullptr);
    int32_t mx, my, mw, mh;
    ASSERT_EQ(GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh), 0);
    EXPECT_EQ(d->os.width, mw);
    EXPECT_EQ(d->os.flags & 0x40042du, 0x40042du);
    cxDisplay *back = d->backfillWindowOf;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->backfillWindow, 1u);
    EXPECT_EQ(back->os.state, 1u);
    EXPECT_NE(back->os.flags & CX_DISPLAY_HIDEFROMTASKBAR, 0u);
    EXPECT_EQ(Create(2, {{"desktop", 1.0}, {"scalemode", 1.0}}), 0);
    EXPECT_EQ(Cmd("OpenDisplay", {2}), ERR_DDAUTOSCALE);
    ASSERT_EQ(Cmd("CloseDisplay", {1}), 0);
    int count = 0;
    for (cxDisplay *p = GetFirstDisplay(); p; p = GetNextDisplay(p)) ++count;
    EXPECT_EQ(count, 2);  // the backfill window went with its display
}

TEST_F(DisplayX11, CloseUnmapsAndFreeReleases) {
    cxDisplay *d = OpenNew(1, {{"width", 120.0}, {"height", 90.0}});
    ASSERT_NE(d, nullptr);
    const Window win = OsGetDisplayWindow(&d->os)->window;
    ASSERT_NE(win, 0u);
    ASSERT_EQ(Cmd("HideDisplay", {}), 0);
    EXPECT_EQ(Cmd("HideDisplay", {}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("ShowDisplay", {}), 0);
    EXPECT_EQ(Cmd("ShowDisplay", {}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CloseDisplay", {1}), 0);
    EXPECT_EQ(OsGetDisplayWindow(&d->os), nullptr);
    EXPECT_EQ(d->os.state, 0u);
    EXPECT_EQ(Cmd("CloseDisplay", {1}), ERR_WRONGUSAGE);
    // The window is gone from the server.
    ::Display *probe = XOpenDisplay(nullptr);
    ASSERT_NE(probe, nullptr);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(probe, DefaultRootWindow(probe), &root, &parent, &children, &count));
    for (unsigned i = 0; i < count; ++i) EXPECT_NE(children[i], win);
    if (children) XFree(children);
    XCloseDisplay(probe);
    ASSERT_EQ(Create(2), 0);
    ASSERT_EQ(Cmd("SelectDisplay", {2}), 0);
    EXPECT_EQ(Cmd("FreeDisplay", {1}), 0);
    EXPECT_EQ(Display(1), nullptr);
}

TEST_F(DisplayX11, SecondFullScreenOnTheSameMonitorIsRefused) {
    ASSERT_NE(OpenNew(1, {{"width", 320.0}, {"height", 240.0}, {"mode", "fullscreen"}}), nullptr);
    cxDisplay *d = Display(1);
    EXPECT_EQ(d->os.fullscreen, 1u);
    int32_t mx, my, mw, mh;
    ASSERT_EQ(GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh), 0);
    cxOsWindow *w = OsGetDisplayWindow(&d->os);
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, mw);
    EXPECT_EQ(attrs.height, mh);
    // The picture sits in the middle of the monitor.
    DrawRed(d, 0, 0, 1, 1);
    EXPECT_EQ(WindowPixel(d, (mw - 320) / 2, (mh - 240) / 2), 0xFF0000u);
    ASSERT_EQ(Create(2, {{"mode", "fullscreen"}}), 0);
    EXPECT_EQ(Cmd("OpenDisplay", {2}), ERR_MONITORFULLSCREEN);
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_MONITORFULLSCREEN, text, sizeof text), "Monitor 1 is already in fullscreen mode!");
    EXPECT_EQ(Display(2)->os.state, 0u);
    // Back to a window at the size it had.
    ASSERT_EQ(Cmd("SelectDisplay", {1}), 0);
    ASSERT_EQ(Cmd("ChangeDisplayMode", {1}), 0);
    w = OsGetDisplayWindow(&d->os);
    ASSERT_TRUE(XGetWindowAttributes(w->dpy, w->window, &attrs));
    EXPECT_EQ(attrs.width, 320);
    EXPECT_EQ(d->os.fullscreen, 0u);
    EXPECT_EQ(Cmd("ChangeDisplayMode", {1}), 0);  // already a window: nothing to do
}

TEST_F(DisplayX11, MonitorsAndModesComeFromTheServer) {
    ASSERT_EQ(Call("GetMonitors"), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TTABLE);
    lua_rawgeti(L, 1, 0);
    ASSERT_EQ(lua_type(L, -1), LUA_TTABLE);
    lua_pushstring(L, "width");
    lua_gettable(L, -2);
    EXPECT_GT(lua_tonumber(L, -1), 0);
    ASSERT_EQ(Call("GetDisplayModes"), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TTABLE);
    int count = 0;
    double lastW = 0, lastH = 0;
    for (;; ++count) {
        lua_rawgeti(L, 1, count);
        if (lua_isnil(L, -1)) break;
        lua_pushstring(L, "width");
        lua_gettable(L, -2);
        lua_pushstring(L, "height");
        lua_gettable(L, -3);
        const double w = lua_tonumber(L, -2), h = lua_tonumber(L, -1);
        EXPECT_TRUE(w > lastW || (w == lastW && h > lastH));
        lastW = w;
        lastH = h;
        lua_settop(L, 1);
    }
    EXPECT_GE(count, 1);
}

// Two monitors side by side where the server lets xrandr define them.
TEST_F(DisplayX11, SplitMonitorsPlaceDisplaysOnTheirMonitor) {
    if (system("command -v xrandr >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xrandr";
    ::Display *probe = XOpenDisplay(nullptr);
    ASSERT_NE(probe, nullptr);
    const int sw = DisplayWidth(probe, 0), sh = DisplayHeight(probe, 0);
    XCloseDisplay(probe);
    char cmd[512];
    snprintf(cmd, sizeof cmd,
             "xrandr --setmonitor cxleft %d/100x%d/100+0+0 none >/dev/null 2>&1 && "
             "xrandr --setmonitor cxright %d/100x%d/100+%d+0 none >/dev/null 2>&1",
             sw / 2, sh, sw - sw / 2, sh, sw / 2);
    if (system(cmd) != 0) GTEST_SKIP() << "the server does not take monitors";
    struct Cleanup {
        ~Cleanup() {
            (void)!system("xrandr --delmonitor cxleft >/dev/null 2>&1; xrandr --delmonitor cxright >/dev/null 2>&1");
        }
    } cleanup;
    // The server may keep its own monitor beside the two made here.
    cxOsMonitor *list = OsListDisplayMonitors(nullptr);
    int n = 0, right = -1;
    std::vector<cxOsMonitor> monitors;
    for (cxOsMonitor *m = list; m; m = m->next, ++n) {
        if (m->x == sw / 2 && m->width == sw - sw / 2) right = n;
        monitors.push_back(*m);
    }
    OsFreeMonitorList(list);
    if (right < 0) GTEST_SKIP() << "monitors not reported";
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 100.0}, {"monitor", double(right + 1)}});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->monitor, right);
    EXPECT_EQ(d->os.x, sw / 2 + (sw - sw / 2 - 100) / 2);
    // Whichever monitor is named, the window lies inside it.
    for (int index : {FindBestMonitor(d), FindMonitorOfWindow(d)}) {
        const cxOsMonitor &m = monitors[size_t(index)];
        EXPECT_TRUE(m.x <= d->os.x && d->os.x + 100 <= m.x + m.width) << index;
    }
    EXPECT_EQ(Create(2, {{"monitor", double(n + 1)}}), ERR_MONITORRANGE);
    EXPECT_EQ(Create(2, {{"monitor", 0.0}}), ERR_MONITORRANGE);
}

}  // namespace
