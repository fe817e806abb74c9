// Transitions in the real player: a BGPic cross-faded in, a brush wiped in
// without layers, then brush layers shown and hidden with effects, read
// back from the window; sweeps, rolls, cards, zooms and scrolls; and a run
// that ends while an async effect runs.
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

namespace {

constexpr int kW = 100, kH = 80;

Window FindWindow(Display *dpy, Window w, const char *title) {
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        const bool match = strcmp(name, title) == 0;
        XFree(name);
        if (match) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i) found = FindWindow(dpy, children[i], title);
    if (children) XFree(children);
    return found;
}

std::vector<uint32_t> GrabWindow(const char *title) {
    std::vector<uint32_t> out;
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) return out;
    if (Window w = FindWindow(dpy, DefaultRootWindow(dpy), title)) {
        if (XImage *img = XGetImage(dpy, w, 0, 0, kW, kH, AllPlanes, ZPixmap)) {
            out.resize(kW * kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) out[y * kW + x] = uint32_t(XGetPixel(img, x, y)) & 0xFFFFFF;
            XDestroyImage(img);
        }
    }
    XCloseDisplay(dpy);
    return out;
}

const std::string kOpen = R"(
.source "=transitions.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #100
        SETTABLE 2 "height" #80
        SETTABLE 2 "title" "Transitions e2e"
        SETTABLE 2 "fillstyle" #1
        SETTABLE 2 "color" #2109504
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #1
        LOADK 2 #100
        LOADK 3 #80
        LOADK 4 #16711680
        CALL 0 5 1              ; CreateBGPic(1, 100, 80, $FF0000)
        GETGLOBAL 0 "displaytransitionfx"
        LOADK 1 #1
        LOADK 2 #115
        LOADK 3 #40
        CALL 0 4 1              ; DisplayTransitionFX(1, #CROSSFADE, 40)
        GETGLOBAL 0 "createbrush"
        LOADK 1 #1
        LOADK 2 #20
        LOADK 3 #20
        LOADK 4 #65280
        CALL 0 5 1              ; CreateBrush(1, 20, 20, $00FF00)
        GETGLOBAL 0 "displaybrushfx"
        LOADK 1 #1
        LOADK 2 #5
        LOADK 3 #5
        LOADK 4 #38
        CALL 0 5 1              ; DisplayBrushFX(1, 5, 5, #RECTCENTER)
        GETGLOBAL 0 "enablelayers"
        CALL 0 1 1
        GETGLOBAL 0 "displaybrushfx"
        LOADK 1 #1
        LOADK 2 #40
        LOADK 3 #5
        LOADK 4 #139
        CALL 0 5 1              ; DisplayBrushFX(1, 40, 5, #DISSOLVE)
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #70
        LOADK 3 #5
        CALL 0 4 1              ; DisplayBrush(1, 70, 5)
        GETGLOBAL 0 "hidelayerfx"
        LOADK 1 #2
        LOADK 2 #24
        CALL 0 3 1              ; HideLayerFX(2, #VOPENCURTAIN)
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #5
        LOADK 3 #45
        NEWTABLE 4 0 0
        SETTABLE 4 "transparency" #128
        SETTABLE 4 "hidden" #1
        CALL 0 5 1              ; DisplayBrush(1, 5, 45, {transparency = 128, hidden = True})
        GETGLOBAL 0 "showlayerfx"
        LOADK 1 #3
        LOADK 2 #97
        LOADK 3 #30
        CALL 0 4 1              ; ShowLayerFX(3, #CLOCKWIPE, 30): a transparent layer, in layer mode
)";

TEST(TransitionsE2E, PicturesAndLayersAsTheWindowShowsThemAfterTheirEffects) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    const std::string source = kOpen + "        LOADK 21 \"ready\"\n" + cxe2e::ShowString(21) + R"(
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("show.cxa"), source);
    std::vector<uint32_t> shown;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready";
    options.onOutput = [&](pid_t pid) {
        usleep(300 * 1000);
        shown = GrabWindow("Transitions e2e");
        kill(pid, SIGTERM);
    };
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("show.cxa"), "-FORCEFLUSH"}, options);
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;
    auto at = [&](int x, int y) { return shown[y * kW + x]; };
    EXPECT_EQ(at(50, 70), 0xFF0000u);   // the BGPic
    EXPECT_EQ(at(6, 6), 0x00FF00u);     // the brush wiped into the picture
    EXPECT_EQ(at(24, 24), 0x00FF00u);
    EXPECT_EQ(at(41, 6), 0x00FF00u);    // the layer dissolved in
    EXPECT_EQ(at(59, 24), 0x00FF00u);
    EXPECT_EQ(at(75, 10), 0xFF0000u);   // the layer hidden again
    const uint32_t half = at(10, 50);   // half transparent over red
    EXPECT_NE(half, 0xFF0000u);
    EXPECT_NE(half & 0x00FF00u, 0u);
    EXPECT_NE(half & 0xFF0000u, 0u);
}

// The moving, rolling and sweeping effects in the real player: BGPics
// replaced through a spiral, a roll and a card, then brushes zoomed in as a
// layer and scrolled in from outside the display.
TEST(TransitionsE2E, SweepsRollsCardsZoomsAndScrolls) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    const std::string source = R"(
.source "=motion.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #100
        SETTABLE 2 "height" #80
        SETTABLE 2 "title" "Transitions e2e"
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #2
        LOADK 2 #100
        LOADK 3 #80
        LOADK 4 #255
        CALL 0 5 1              ; CreateBGPic(2, 100, 80, $0000FF)
        GETGLOBAL 0 "displaytransitionfx"
        LOADK 1 #2
        LOADK 2 #105
        LOADK 3 #30
        CALL 0 4 1              ; DisplayTransitionFX(2, #SPIRAL, 30)
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #3
        LOADK 2 #100
        LOADK 3 #80
        LOADK 4 #65280
        CALL 0 5 1              ; CreateBGPic(3, 100, 80, $00FF00)
        GETGLOBAL 0 "displaytransitionfx"
        LOADK 1 #3
        LOADK 2 #84
        LOADK 3 #100
        CALL 0 4 1              ; DisplayTransitionFX(3, #ROLLTOP, 100)
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #4
        LOADK 2 #100
        LOADK 3 #80
        LOADK 4 #16776960
        CALL 0 5 1              ; CreateBGPic(4, 100, 80, $FFFF00)
        GETGLOBAL 0 "displaytransitionfx"
        LOADK 1 #4
        LOADK 2 #111
        LOADK 3 #20
        CALL 0 4 1              ; DisplayTransitionFX(4, #CARDTOP, 20)
        GETGLOBAL 0 "createbrush"
        LOADK 1 #1
        LOADK 2 #20
        LOADK 3 #20
        LOADK 4 #16711935
        CALL 0 5 1              ; CreateBrush(1, 20, 20, $FF00FF)
        GETGLOBAL 0 "displaybrushfx"
        LOADK 1 #1
        LOADK 2 #60
        LOADK 3 #50
        LOADK 4 #47
        LOADK 5 #4
        CALL 0 6 1              ; DisplayBrushFX(1, 60, 50, #SCROLLWEST, 4)
        GETGLOBAL 0 "enablelayers"
        CALL 0 1 1
        GETGLOBAL 0 "displaybrushfx"
        LOADK 1 #1
        LOADK 2 #10
        LOADK 3 #10
        LOADK 4 #61
        LOADK 5 #4
        CALL 0 6 1              ; DisplayBrushFX(1, 10, 10, #ZOOMCENTER, 4)
        LOADK 21 "ready"
)" + cxe2e::ShowString(21) + R"(
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("motion.cxa"), source);
    std::vector<uint32_t> shown;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready";
    options.onOutput = [&](pid_t pid) {
        usleep(300 * 1000);
        shown = GrabWindow("Transitions e2e");
        kill(pid, SIGTERM);
    };
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("motion.cxa"), "-FORCEFLUSH"}, options);
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;
    auto at = [&](int x, int y) { return shown[y * kW + x]; };
    EXPECT_EQ(at(50, 5), 0xFFFF00u);    // the last BGPic, whole after its card
    EXPECT_EQ(at(99, 79), 0xFFFF00u);
    EXPECT_EQ(at(61, 51), 0xFF00FFu);   // the brush scrolled in, at its place
    EXPECT_EQ(at(79, 69), 0xFF00FFu);
    EXPECT_EQ(at(59, 60), 0xFFFF00u);   // nothing left on its way
    EXPECT_EQ(at(11, 11), 0xFF00FFu);   // the layer zoomed in, whole
    EXPECT_EQ(at(29, 29), 0xFF00FFu);
    EXPECT_EQ(at(31, 20), 0xFFFF00u);
}

TEST(TransitionsE2E, ARunEndingWhileAnAsyncEffectRunsEndsCleanly) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    const std::string source = kOpen + R"(
        GETGLOBAL 0 "hidelayerfx"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "type" #139
        SETTABLE 2 "speed" #1
        SETTABLE 2 "async" #1
        CALL 0 3 1              ; HideLayerFX(1, {type = #DISSOLVE, speed = 1, async = True})
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("async.cxa"), source);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("async.cxa")}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
