// Layers in the real player: brush, text and box layers over a BGPic,
// read back from the window, and a run that makes and frees layers ending
// cleanly.
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
constexpr uint32_t kBack = 0x203040;

uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        out |= uint32_t((dc + (((sc - dc) * int(a)) >> 8)) & 0xFF) << shift;
    }
    return out;
}

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
.source "=layers.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #100
        SETTABLE 2 "height" #80
        SETTABLE 2 "title" "Layers e2e"
        SETTABLE 2 "fillstyle" #1
        SETTABLE 2 "color" #2109504
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "enablelayers"
        CALL 0 1 1
        GETGLOBAL 0 "createbrush"
        LOADK 1 #1
        LOADK 2 #20
        LOADK 3 #20
        LOADK 4 #16711680
        CALL 0 5 1
        GETGLOBAL 0 "createbrush"
        LOADK 1 #2
        LOADK 2 #10
        LOADK 3 #10
        LOADK 4 #65280
        CALL 0 5 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #10
        LOADK 3 #10
        CALL 0 4 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #2
        LOADK 2 #15
        LOADK 3 #15
        CALL 0 4 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #50
        LOADK 3 #10
        NEWTABLE 4 0 0
        SETTABLE 4 "transparency" #128
        CALL 0 5 1
        GETGLOBAL 0 "setfillstyle"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "box"
        LOADK 1 #10
        LOADK 2 #50
        LOADK 3 #30
        LOADK 4 #20
        LOADK 5 #255
        CALL 0 6 1
)";

TEST(LayersE2E, LayersOverTheBackgroundAsTheWindowShowsThem) {
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
        shown = GrabWindow("Layers e2e");
        kill(pid, SIGTERM);
    };
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("show.cxa"), "-FORCEFLUSH"}, options);
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;
    auto at = [&](int x, int y) { return shown[y * kW + x]; };
    EXPECT_EQ(at(5, 5), kBack);
    EXPECT_EQ(at(11, 11), 0xFF0000u);
    EXPECT_EQ(at(16, 16), 0x00FF00u);  // the later layer in front
    EXPECT_EQ(at(55, 15), Blend(0xFF0000, kBack, 127));
    EXPECT_EQ(at(20, 60), 0x0000FFu);
    EXPECT_EQ(at(45, 60), kBack);
}

TEST(LayersE2E, ARunThatMakesAndFreesLayersEndsCleanly) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    // The brush a layer shows is freed first; Cls frees the layers; more
    // are made and left for the clean-up.
    const std::string source = kOpen + R"(
        GETGLOBAL 0 "freebrush"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "cls"
        CALL 0 1 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #2
        LOADK 2 #5
        LOADK 3 #5
        NEWTABLE 4 0 0
        SETTABLE 4 "shadow" #1
        SETTABLE 4 "border" #1
        CALL 0 5 1
        GETGLOBAL 0 "textout"
        LOADK 1 #0
        LOADK 2 #40
        LOADK 3 "Layers"
        CALL 0 4 1
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("free.cxa"), source);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("free.cxa")}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
