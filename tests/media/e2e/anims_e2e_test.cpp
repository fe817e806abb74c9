// Anims in the real player under X: a GIF anim declared by the applet
// (loaded before the display opens, bitmaps made once it is there), one
// loaded by the script and an AVI by the player's writer, played and shown
// over a plain BGPic, partly outside the display; the window read back.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "images/formats/gif_codec.h"
#include "media/avi/avi_writer.h"
#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

// Last: X11's macros would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kW = 96, kH = 64;
const char *kTitle = "Anims e2e";

uint32_t Colour(int i) { return uint32_t(0x204060 + i * 0x302010) & 0xFFFFFF; }

bool WriteGif(const std::string &path, int frames, int delay) {
    cxGifWriter *g = nullptr;
    if (CreateGIFFile(path.c_str(), 8, 8, &g)) return false;
    for (int i = 0; i < frames; ++i) {
        std::vector<uint8_t> px(64, 0);
        uint32_t palette[256] = {Colour(i)};
        if (WriteGIFFile(g, px.data(), 8, 8, delay, palette, 2, -1, 0, 0)) return false;
    }
    return FinishGIFFile(g) == 0;
}

bool WriteAvi(const std::string &path) {
    cxAviWriter *a = nullptr;
    if (BeginAviWriter(path.c_str(), 25, 0, 16, 8, 95, 0, 0, "", "", &a)) return false;
    for (int i = 0; i < 2; ++i) {
        std::vector<uint32_t> px(16 * 8, 0xFF000000u | Colour(i + 5));
        if (WriteAviFrameARGB(a, px.data(), 16)) return false;
    }
    return FinishAviWriter(a) == 0;
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

std::vector<uint32_t> GrabWindow() {
    std::vector<uint32_t> out;
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) return out;
    if (Window w = FindWindow(dpy, DefaultRootWindow(dpy), kTitle)) {
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

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int s = 0; s <= 16; s += 8)
        if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > tolerance) return false;
    return true;
}

const char *kHead = R"(
.source "=anims.cxs"
.line 1
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #96
        SETTABLE 2 "height" #64
        SETTABLE 2 "title" "Anims e2e"
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #2
        LOADK 2 #96
        LOADK 3 #64
        LOADK 4 #0
        CALL 0 5 1
        GETGLOBAL 0 "displaybgpic"
        LOADK 1 #2
        CALL 0 2 1
)";

const char *kPlay = R"(
.line 2
        GETGLOBAL 0 "loadanim"
        LOADK 1 #2
        LOADK 2 "b.gif"
        CALL 0 3 1
        GETGLOBAL 0 "loadanim"
        LOADK 1 #3
        LOADK 2 "c.avi"
        CALL 0 3 1
.line 3
        GETGLOBAL 0 "playanim"
        LOADK 1 #1
        LOADK 2 #4
        LOADK 3 #4
        LOADK 4 #-4
        CALL 0 5 1              ; the declared anim at its own delays
        GETGLOBAL 0 "playanim"
        LOADK 1 #2
        LOADK 2 #-4
        LOADK 3 #60
        LOADK 4 #-2
        LOADK 5 #2
        CALL 0 6 1              ; partly outside, twice, fast
        GETGLOBAL 0 "playanim"
        LOADK 1 #3
        LOADK 2 #40
        LOADK 3 #20
        CALL 0 4 1
        GETGLOBAL 0 "displayanimframe"
        LOADK 1 #2
        LOADK 2 #80
        LOADK 3 #4
        LOADK 4 #1
        CALL 0 5 1
.line 4
        GETGLOBAL 0 "loadanim"
        LOADK 1 #9
        LOADK 2 "ready.gif"
        CALL 0 3 1
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1
)";

TEST(AnimsE2E, PlayedFramesShowOnTheWindow) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    ASSERT_TRUE(WriteGif(dir.Path("a.gif"), 3, 100));
    ASSERT_TRUE(WriteGif(dir.Path("b.gif"), 2, 10));
    ASSERT_TRUE(WriteGif(dir.Path("ready.gif"), 2, 10));
    ASSERT_TRUE(WriteAvi(dir.Path("c.avi")));
    cxtools::DeclaredItem declared;
    declared.type = 4;
    declared.id = 1;
    declared.name = "a.gif";
    cxe2e::WriteApplet(dir.Path("play.cxa"), std::string(kHead) + kPlay, {declared});

    std::vector<uint32_t> shown;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready.gif...done";
    options.onOutput = [&](pid_t pid) {
        usleep(300 * 1000);
        shown = GrabWindow();
        kill(pid, SIGTERM);
    };
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("play.cxa"), "-FORCEFLUSH"}, options);
    const size_t first = r.out.find("Loading animation a.gif...done");
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_LT(first, r.out.find("Loading animation b.gif"));
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;
    auto at = [&](int x, int y) { return shown[size_t(y) * kW + x]; };
    EXPECT_EQ(at(30, 40), 0u);           // the BGPic
    EXPECT_EQ(at(5, 5), Colour(2));      // the declared anim's last frame
    EXPECT_EQ(at(11, 11), Colour(2));
    EXPECT_EQ(at(12, 12), 0u);
    EXPECT_EQ(at(0, 62), Colour(1));     // partly outside: its right half
    EXPECT_EQ(at(3, 60), Colour(1));
    EXPECT_EQ(at(4, 60), 0u);
    EXPECT_TRUE(Near(at(50, 24), Colour(6), 8)) << std::hex << at(50, 24);
    EXPECT_EQ(at(84, 8), Colour(0));     // a single frame
}

}  // namespace
