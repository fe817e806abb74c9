// Brushes and BGPics in the real player: a PNG with alpha and a JPEG,
// loaded by the script and declared for preloading, shown at #CENTER and at
// coordinates over a gradient BGPic. The window is read back and compared
// with the decoded pixels blended by the kernels' rule.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "graphics/gradient/gradient.h"
#include "graphics/pixels/pixel_format.h"
#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"
#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

// Last: X11's macros (None, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kW = 100, kH = 80, kPic = 16;
const char *kTitle = "Brushes e2e";

// 16x16, opaque in the middle, alpha falling off towards the left edge.
std::vector<uint32_t> PngPixels() {
    std::vector<uint32_t> px(kPic * kPic);
    for (int y = 0; y < kPic; ++y)
        for (int x = 0; x < kPic; ++x) {
            const uint32_t a = x < 8 ? uint32_t(x * 32) : 255u;
            px[y * kPic + x] = (a << 24) | (uint32_t(x * 15) << 16) | (uint32_t(y * 15) << 8) | 0x40u;
        }
    return px;
}

std::vector<uint32_t> JpegSource() {
    std::vector<uint32_t> px(kPic * kPic);
    for (int y = 0; y < kPic; ++y)
        for (int x = 0; x < kPic; ++x) px[y * kPic + x] = ((x / 4 + y / 4) & 1) ? 0xFF20C040u : 0xFFF0F0F0u;
    return px;
}

bool WritePng(const std::string &path, const std::vector<uint32_t> &px) {
    cxPngWriteRequest r{};
    r.file = path.c_str();
    r.pixels = px.data();
    r.bytesPerRow = kPic * 4;
    r.width = kPic;
    r.height = kPic;
    r.alpha = 1;
    SavePNGImage(&r);
    return r.error == 0;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint32_t> &px) {
    cxJpegWriteRequest r{};
    r.pixels = px.data();
    r.bytesPerRow = kPic * 4;
    r.width = kPic;
    r.height = kPic;
    r.quality = 85;
    WriteJpegImage(&r);
    std::vector<uint8_t> out(r.data, r.data + r.size);
    FreeEncodedBuffer(r.encoded);
    return out;
}

uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
    if (a == 0) return d & 0xFFFFFF;
    if (a == 255) return s & 0xFFFFFF;
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

// The window's pixels as 0xRRGGBB, row by row; empty when not found.
std::vector<uint32_t> GrabWindow() {
    std::vector<uint32_t> out;
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) return out;
    Window w = FindWindow(dpy, DefaultRootWindow(dpy), kTitle);
    if (w) {
        XImage *img = XGetImage(dpy, w, 0, 0, kW, kH, AllPlanes, ZPixmap);
        if (img) {
            out.resize(kW * kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) out[y * kW + x] = uint32_t(XGetPixel(img, x, y)) & 0xFFFFFF;
            XDestroyImage(img);
        }
    }
    XCloseDisplay(dpy);
    return out;
}

// The gradient BGPic as the renderer makes it.
std::vector<uint32_t> Background() {
    cxGradient g{};
    g.style = CX_GRADIENT_LINEAR;
    g.startColour = 0xFF0000;
    g.endColour = 0x0000FF;
    g.centerX = g.centerY = g.balance = 0.5;
    cxBitmap *bm = AllocBitmap(kW, kH, 0, 0);
    DrawGradient(bm, 0, 0, kW, kH, &g);
    std::vector<uint32_t> out(kW * kH);
    cxOsBitmapLock l;
    LockBitmap(bm, 0, &l);
    for (int y = 0; y < kH; ++y)
        PixelRowToARGB(l.pixels + size_t(y) * l.rowLength * l.bytesPerPixel, l.pixelFormat, &out[y * kW], kW);
    UnlockBitmap(&l);
    FreeBitmap(bm);
    for (uint32_t &p : out) p &= 0xFFFFFF;
    return out;
}

const char *kShowAll = R"(
.source "=brushes.cxs"
.line 1
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #100
        SETTABLE 2 "height" #80
        SETTABLE 2 "title" "Brushes e2e"
        SETTABLE 2 "x" #0
        SETTABLE 2 "y" #0
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
.line 2
        GETGLOBAL 0 "creategradientbgpic"
        LOADK 1 #2
        LOADK 2 #2
        LOADK 3 #16711680
        LOADK 4 #255
        LOADK 5 #100
        LOADK 6 #80
        CALL 0 7 1
        GETGLOBAL 0 "displaybgpic"
        LOADK 1 #2
        CALL 0 2 1
.line 3
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #1
        LOADK 2 "a.png"
        NEWTABLE 3 0 0
        SETTABLE 3 "loadalpha" #1
        CALL 0 4 1
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #2
        LOADK 2 "b.jpg"
        CALL 0 3 1
.line 4
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #-100000
        LOADK 3 #-100000
        CALL 0 4 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #2
        LOADK 2 #5
        LOADK 3 #7
        CALL 0 4 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #4
        LOADK 2 #80
        LOADK 3 #60
        CALL 0 4 1
.line 5
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #3
        LOADK 2 "ready.png"
        CALL 0 3 1
wait:   GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        JMP wait
        RETURN 0 1
)";

TEST(BrushesE2E, PicturesOverAGradientMatchTheDecodedPixelsBlended) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    const std::vector<uint32_t> png = PngPixels();
    ASSERT_TRUE(WritePng(dir.Path("a.png"), png));
    ASSERT_TRUE(WritePng(dir.Path("ready.png"), png));
    ASSERT_TRUE(WritePng(dir.Path("declared.png"), png));
    const std::vector<uint8_t> jpeg = EncodeJpeg(JpegSource());
    ASSERT_FALSE(jpeg.empty());
    std::ofstream(dir.Path("b.jpg"), std::ios::binary).write(reinterpret_cast<const char *>(jpeg.data()),
                                                               std::streamsize(jpeg.size()));
    int w = 0, h = 0;
    uint32_t *decoded = nullptr;
    ASSERT_EQ(ReadJpegImage(jpeg.data(), jpeg.size(), 0, 0, &w, &h, &decoded), 0);
    std::vector<uint32_t> jpegPixels(decoded, decoded + w * h);
    free(decoded);

    // Brush 4 is declared by the applet: loaded before the display opens.
    cxtools::DeclaredItem ball;
    ball.type = 3;
    ball.id = 4;
    ball.name = "declared.png";
    ball.tags = {{"loadalpha", 1, 1, ""}};
    cxe2e::WriteApplet(dir.Path("show.cxa"), kShowAll, {ball});

    std::vector<uint32_t> shown;
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    options.waitFor = "ready.png...done";
    options.onOutput = [&](pid_t pid) {
        usleep(300 * 1000);  // the last refresh on its way to the server
        shown = GrabWindow();
        kill(pid, SIGTERM);
    };
    // Progress lines reach the test as they are printed.
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("show.cxa"), "-FORCEFLUSH"}, options);
    // The declared brush was loaded before anything of the script ran.
    const size_t declared = r.out.find("Loading brush declared.png...done");
    ASSERT_NE(declared, std::string::npos) << r.out;
    EXPECT_LT(declared, r.out.find("Loading brush a.png"));
    ASSERT_EQ(shown.size(), size_t(kW * kH)) << r.out << r.err;

    const std::vector<uint32_t> back = Background();
    auto at = [&](int x, int y) { return shown[y * kW + x]; };
    // Where nothing was drawn: the gradient.
    for (int y : {0, 40, 79})
        for (int x : {0, 30, 99}) EXPECT_EQ(at(x, y), back[y * kW + x]) << x << "," << y;
    // The PNG at #CENTER (42, 32) and at (80, 60): blended through its alpha.
    for (int ox : {42, 80}) {
        const int oy = ox == 42 ? 32 : 60;
        for (int y = 0; y < kPic; y += 3)
            for (int x = 0; x < kPic; ++x) {
                const uint32_t s = png[y * kPic + x];
                EXPECT_EQ(at(ox + x, oy + y), Blend(s, back[(oy + y) * kW + ox + x], s >> 24))
                    << "png at " << ox + x << "," << oy + y;
            }
    }
    // The JPEG at (5, 7): the decoder's pixels as they are.
    for (int y = 0; y < kPic; ++y)
        for (int x = 0; x < kPic; ++x)
            EXPECT_EQ(at(5 + x, 7 + y), jpegPixels[y * kPic + x] & 0xFFFFFF) << "jpeg at " << x << "," << y;
}

// Everything made is freed again, also a BGPic freed while it is shown
// and a brush freed after it was drawn: the run ends with status 0 (and,
// under the sanitizers, without leaks).
TEST(BrushesE2E, ARunThatShowsAndFreesEndsCleanly) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    ASSERT_TRUE(WritePng(dir.Path("a.png"), PngPixels()));
    cxe2e::WriteApplet(dir.Path("free.cxa"), R"(
.source "=free.cxs"
.line 1
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #64
        SETTABLE 2 "height" #48
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
.line 2
        GETGLOBAL 0 "creategradientbgpic"
        LOADK 1 #2
        LOADK 2 #3
        LOADK 3 #255
        LOADK 4 #65280
        CALL 0 5 1
        GETGLOBAL 0 "displaybgpic"
        LOADK 1 #2
        CALL 0 2 1
        GETGLOBAL 0 "freebgpic"
        LOADK 1 #2
        CALL 0 2 1
.line 3
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #1
        LOADK 2 "a.png"
        NEWTABLE 3 0 0
        SETTABLE 3 "loadalpha" #1
        CALL 0 4 1
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #-100000
        LOADK 3 #-100000
        NEWTABLE 4 0 0
        SETTABLE 4 "rotate" #45
        SETTABLE 4 "transparency" #100
        CALL 0 5 1
        GETGLOBAL 0 "freebrush"
        LOADK 1 #1
        CALL 0 2 1
.line 4
        GETGLOBAL 0 "createbgpic"
        LOADK 1 #3
        LOADK 2 #64
        LOADK 3 #48
        CALL 0 4 1
        GETGLOBAL 0 "displaybgpic"
        LOADK 1 #3
        CALL 0 2 1
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #4
        LOADK 2 "a.png"
        CALL 0 3 1
        RETURN 0 1
)");
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.workingDir = dir.path();
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("free.cxa"), "-QUIET"}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(BrushesE2E, LoadFailuresNameTheFile) {
    cxtest::TempDir dir;
    std::ofstream(dir.Path("notapicture.png")) << "just some text, not a picture";
    struct Case {
        const char *file;
        std::string expected;
    } cases[] = {
        {"missing.png", "Cannot read file missing.png !"},
        {"notapicture.png", "Image file \"notapicture.png\" is in an unknown/unsupported format!"},
    };
    for (const Case &c : cases) {
        cxe2e::WriteApplet(dir.Path("load.cxa"), std::string(R"(
.source "=load.cxs"
.line 3
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #1
        LOADK 2 ")") + c.file + R"("
        CALL 0 3 1
        RETURN 0 1
)");
        cxe2e::RunOptions options;
        options.workingDir = dir.path();
        cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("load.cxa"), "-QUIET"}, options);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "load.cxs:3: " + c.expected + "\n");
    }
}

}  // namespace
