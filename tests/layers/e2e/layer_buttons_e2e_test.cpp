// A pixel-exact layer button in the real player: clicks injected through
// the X server on a transparent corner of a circle layer do nothing, a
// click on the circle runs the handler, and the button follows its layer
// when the handler moves it.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

// Last: X11's macros (None, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int kW = 120, kH = 60;
constexpr const char *kTitle = "Layer buttons e2e";

Window FindTitled(Display *dpy, Window w) {
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        const bool match = strcmp(name, kTitle) == 0;
        XFree(name);
        if (match) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i) found = FindTitled(dpy, children[i]);
    if (children) XFree(children);
    return found;
}

void Click(Display *dpy, Window w, int x, int y) {
    XWarpPointer(dpy, 0, w, 0, 0, 0, 0, x, y);
    XSync(dpy, False);
    usleep(80 * 1000);
    XTestFakeButtonEvent(dpy, 1, True, 0);
    XSync(dpy, False);
    usleep(80 * 1000);
    XTestFakeButtonEvent(dpy, 1, False, 0);
    XSync(dpy, False);
    usleep(300 * 1000);
}

uint32_t Pixel(Display *dpy, Window w, int x, int y) {
    XImage *img = XGetImage(dpy, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xDEADBEEF;
    const uint32_t v = uint32_t(XGetPixel(img, 0, 0)) & 0xFFFFFF;
    XDestroyImage(img);
    return v;
}

// A green marker (layer "marker") at (104, 0), a yellow circle (layer
// "ball") of radius 15 around (20, 20) with a pixel-exact button: a click
// on it moves the marker 10 down and the ball 30 right.
const std::string kApplet = R"(
.source "=buttons.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #120
        SETTABLE 2 "height" #60
        SETTABLE 2 "title" "Layer buttons e2e"
        SETTABLE 2 "fillstyle" #1
        SETTABLE 2 "color" #0
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "enablelayers"
        CALL 0 1 1
        GETGLOBAL 0 "createbrush"
        LOADK 1 #2
        LOADK 2 #8
        LOADK 3 #8
        LOADK 4 #65280
        CALL 0 5 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #2
        LOADK 2 #104
        LOADK 3 #0
        NEWTABLE 4 0 0
        SETTABLE 4 "name" "marker"
        CALL 0 5 1
        GETGLOBAL 0 "setfillstyle"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "circle"
        LOADK 1 #20
        LOADK 2 #20
        LOADK 3 #15
        LOADK 4 #16776960
        CALL 0 5 1
        GETGLOBAL 0 "setlayername"
        LOADK 1 #2
        LOADK 2 "ball"
        CALL 0 3 1
        GETGLOBAL 0 "makebutton"
        LOADK 1 #1
        LOADK 2 #1
        LOADK 3 "ball"
        LOADK 4 #1
        LOADK 5 #0
        NEWTABLE 6 0 0
        CLOSURE 7 hit
        SETTABLE 6 "onmousedown" 7
        CALL 0 7 1
        LOADK 21 "ready"
)" + cxe2e::ShowString(21) + R"(
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1

.function hit
.params 1
        GETGLOBAL 1 "translatelayer"
        LOADK 2 "marker"
        LOADK 3 #0
        LOADK 4 #10
        CALL 1 4 1
        GETGLOBAL 1 "translatelayer"
        LOADK 2 "ball"
        LOADK 3 #30
        LOADK 4 #0
        CALL 1 4 1
        RETURN 0 1
.end
)";

TEST(LayerButtonsE2E, APixelExactButtonIgnoresTransparentPixelsAndFollowsItsLayer) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    cxe2e::WriteApplet(dir.Path("buttons.cxa"), kApplet);
    std::vector<uint32_t> marks;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready";
    options.onOutput = [&](pid_t pid) {
        Display *dpy = XOpenDisplay(nullptr);
        if (dpy) {
            usleep(300 * 1000);
            if (Window w = FindTitled(dpy, DefaultRootWindow(dpy))) {
                // The marker's column after each click: where it starts, a
                // transparent corner, the ball, where the ball was, where
                // it went.
                auto marker = [&] {
                    for (int y = 0; y < kH; ++y)
                        if (Pixel(dpy, w, 107, y) == 0x00FF00u) return uint32_t(y);
                    return uint32_t(999);
                };
                marks.push_back(marker());
                const int clicks[4][2] = {{6, 6}, {20, 20}, {20, 20}, {50, 20}};
                for (const auto &at : clicks) {
                    Click(dpy, w, at[0], at[1]);
                    marks.push_back(marker());
                }
            }
            XCloseDisplay(dpy);
        }
        kill(pid, SIGTERM);
    };
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("buttons.cxa"), "-FORCEFLUSH"}, options);
    ASSERT_EQ(marks.size(), 5u) << r.out << r.err;
    EXPECT_EQ(marks[0], 0u);
    EXPECT_EQ(marks[1], 0u) << "a click on a transparent pixel of the circle's box";
    EXPECT_EQ(marks[2], 10u) << "a click on the circle";
    EXPECT_EQ(marks[3], 10u) << "a click where the circle was";
    EXPECT_EQ(marks[4], 20u) << "a click where the circle went";
}

}  // namespace
