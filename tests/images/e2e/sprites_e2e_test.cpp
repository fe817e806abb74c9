// Sprites and moves in the real player: a declared GIF sprite (loaded
// before the display opens) moved with MoveSprite, a brush moved under it
// asynchronously and another synchronously, read back from the window; and
// a run that leaves sprites on screen and moves running ends cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "images/formats/gif_codec.h"
#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

// Last: X11's macros (None, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kW = 100, kH = 80;
constexpr uint32_t kBack = 0x203040, kFrame0 = 0xFF0000, kFrame1 = 0x00FF00, kYellow = 0xFFFF00;

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
    if (Window w = FindWindow(dpy, DefaultRootWindow(dpy), "Sprites e2e")) {
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

// A GIF of two 12x12 frames, red then green, with the top-left pixel in
// the clear colour (magenta).
void WriteSpriteGif(const std::string &path) {
    cxGifWriter *g = nullptr;
    ASSERT_EQ(CreateGIFFile(path.c_str(), 12, 12, &g), 0);
    for (uint32_t colour : {kFrame0, kFrame1}) {
        std::vector<uint8_t> px(144, 0);
        px[0] = 1;
        uint32_t palette[256] = {colour, 0xFF00FF};
        ASSERT_EQ(WriteGIFFile(g, px.data(), 12, 12, 10, palette, 2, -1, 0, 0), 0);
    }
    ASSERT_EQ(FinishGIFFile(g), 0);
}

const std::string kOpen = R"(
.source "=sprites.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #100
        SETTABLE 2 "height" #80
        SETTABLE 2 "title" "Sprites e2e"
        SETTABLE 2 "fillstyle" #1
        SETTABLE 2 "color" #2109504
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "createbrush"
        LOADK 1 #1
        LOADK 2 #20
        LOADK 3 #10
        LOADK 4 #16776960
        CALL 0 5 1
        GETGLOBAL 0 "movebrush"
        LOADK 1 #1
        LOADK 2 #0
        LOADK 3 #50
        LOADK 4 #60
        LOADK 5 #50
        NEWTABLE 6 0 0
        SETTABLE 6 "speed" #2
        SETTABLE 6 "async" #1
        CALL 0 7 1
        GETGLOBAL 0 "movesprite"
        LOADK 1 #1
        LOADK 2 #0
        LOADK 3 #10
        LOADK 4 #70
        LOADK 5 #10
        LOADK 6 #3
        LOADK 7 #-2
        LOADK 8 #1
        CALL 0 9 1
        GETGLOBAL 0 "movebrush"
        LOADK 1 #1
        LOADK 2 #70
        LOADK 3 #20
        LOADK 4 #10
        LOADK 5 #20
        LOADK 6 #5
        CALL 0 7 1
)";

cxtools::DeclaredItem DeclaredSprite() {
    cxtools::DeclaredItem item;
    item.type = 32;
    item.id = 1;
    item.name = "sprite.gif";
    item.tags = {{"transparency", 1, double(0xFF00FF), ""}};
    return item;
}

TEST(SpritesE2E, MovedSpritesAndBrushesAsTheWindowShowsThem) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    WriteSpriteGif(dir.Path("sprite.gif"));
    const std::string source = kOpen + "        LOADK 21 \"ready\"\n" + cxe2e::ShowString(21) + R"(
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("show.cxa"), source, {DeclaredSprite()});
    std::vector<uint32_t> shown;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready";
    options.onOutput = [&](pid_t pid) {
        usleep(300 * 1000);
        shown = GrabWindow();
        kill(pid, SIGTERM);
    };
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("show.cxa"), "-FORCEFLUSH"}, options);
    ASSERT_NE(r.out.find("Loading sprite sprite.gif...done"), std::string::npos) << r.out;
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;
    auto at = [&](int x, int y) { return shown[y * kW + x]; };
    // The sprite bounced back to (70, 10), a new frame each step: red or
    // green, with its clear pixel.
    EXPECT_TRUE(at(75, 15) == kFrame0 || at(75, 15) == kFrame1) << std::hex << at(75, 15);
    EXPECT_EQ(at(70, 10), kBack);
    EXPECT_EQ(at(5, 15), kBack);  // where it started
    // The brush ended at (10, 20) and nowhere else; the asynchronous one
    // moved on while the others did.
    EXPECT_EQ(at(12, 22), kYellow);
    EXPECT_EQ(at(75, 22), kBack);
    EXPECT_NE(at(2, 52), kYellow);
}

TEST(SpritesE2E, ARunEndingWithSpritesAndMovesAliveEndsCleanly) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    WriteSpriteGif(dir.Path("sprite.gif"));
    // A link of the sprite and a copy stay on screen; the asynchronous move
    // is still running when the script ends.
    const std::string source = kOpen + R"(
        GETGLOBAL 0 "copysprite"
        LOADK 1 #1
        LOADK 2 #2
        CALL 0 3 1
        GETGLOBAL 0 "createsprite"
        LOADK 1 #3
        LOADK 2 #32
        LOADK 3 #1
        LOADK 4 #2
        CALL 0 5 1
        GETGLOBAL 0 "displaysprite"
        LOADK 1 #3
        LOADK 2 #40
        LOADK 3 #40
        CALL 0 4 1
        GETGLOBAL 0 "movebrush"
        LOADK 1 #1
        LOADK 2 #0
        LOADK 3 #60
        LOADK 4 #90
        LOADK 5 #60
        NEWTABLE 6 0 0
        SETTABLE 6 "speed" #1
        SETTABLE 6 "async" #1
        CALL 0 7 1
        RETURN 0 1
)";
    cxe2e::WriteApplet(dir.Path("end.cxa"), source, {DeclaredSprite()});
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("end.cxa")}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
