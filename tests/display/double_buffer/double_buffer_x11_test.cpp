// Double buffering on the real X11 back-end: drawing goes into the back
// buffer and reaches the window only with Flip, box by box; the commands'
// refusals; ending puts the buffer into the display's picture.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "display/double_buffer.h"
#include "display/draw/draw_library.h"
#include "display/picture.h"
#include "display/present.h"
#include "display/video_hooks.h"
#include "errors/error_codes.h"
#include "engine/vm/lauxlib.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/display/displays/display_fixture.h"

namespace {

const luaL_reg kCommands[] = {{"BeginDoubleBuffer", CmdBeginDoubleBuffer},
                              {"Flip", CmdFlip},
                              {"EndDoubleBuffer", CmdEndDoubleBuffer},
                              {nullptr, nullptr}};

class DoubleBufferX11 : public cxtest::DisplayTest {
protected:
    cxDisplay *d = nullptr;
    void SetUp() override {
        DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        luaL_openlib(L, nullptr, kCommands, 0);
        ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);  // filled boxes
        ASSERT_EQ(Create(1, {{"width", 160.0}, {"height", 120.0}, {"x", 0.0}, {"y", 0.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        d = Display(1);
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override {
        FreeDrawLibraryBuffers(L);
        DisplayTest::TearDown();
    }
    // The window's pixels as 0xRRGGBB, row by row.
    std::vector<uint32_t> Window() {
        cxOsWindow *w = OsGetDisplayWindow(&d->os);
        XSync(w->dpy, False);
        XImage *img = XGetImage(w->dpy, w->window, 0, 0, 160, 120, AllPlanes, ZPixmap);
        std::vector<uint32_t> out(160 * 120, 0xDEADBEEF);
        if (!img) return out;
        const Visual *v = w->visual;
        for (int y = 0; y < 120; y++)
            for (int x = 0; x < 160; x++) {
                const unsigned long p = XGetPixel(img, x, y);
                if (v->red_mask == 0xFF0000) out[size_t(y) * 160 + x] = uint32_t(p & 0xFFFFFF);
                else out[size_t(y) * 160 + x] = uint32_t(p);  // compared only on 24-bit screens
            }
        XDestroyImage(img);
        return out;
    }
    static uint32_t Pixel(cxBitmap *b, int x, int y) {
        cxOsBitmapLock l;
        LockBitmap(b, 0, &l);
        const uint32_t v = PixelToColor(
            LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat),
            l.pixelFormat, 0);
        UnlockBitmap(&l);
        return v & 0xFFFFFF;
    }
    int Box(int x, int y, int w, int h, uint32_t colour) {
        return Cmd("Box", {double(x), double(y), double(w), double(h), double(colour)});
    }
};

TEST_F(DoubleBufferX11, AnimationReachesTheWindowOnlyThroughFlip) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    cxBitmap *back = GetDoubleBufferBitmap(d);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(d->targetKind, CX_OUTPUT_IMAGE);
    ASSERT_EQ(Cmd("Cls", {0x102030}), 0);
    ASSERT_EQ(Cmd("Flip", {}), 0);
    if (OsGetDisplayWindow(&d->os)->visual->red_mask != 0xFF0000) GTEST_SKIP() << "not a 24-bit screen";
    std::mt19937 rng(7);
    int px = 0, py = 0;
    for (int frame = 0; frame < 100; frame++) {
        // Erase the old sprite, draw it moved, and scatter a few specks.
        struct R {
            int x, y, w, h;
        };
        std::vector<R> drawn;
        ASSERT_EQ(Box(px, py, 20, 14, 0x102030), 0);
        drawn.push_back({px, py, 20, 14});
        px = (px + 3) % 140;
        py = (py + 2) % 106;
        ASSERT_EQ(Box(px, py, 20, 14, 0xFF8000 + uint32_t(frame)), 0);
        drawn.push_back({px, py, 20, 14});
        for (int i = 0; i < 3; i++) {
            const int x = int(rng() % 156), y = int(rng() % 116);
            ASSERT_EQ(Box(x, y, 4, 4, rng() & 0xFFFFFF), 0);
            drawn.push_back({x, y, 4, 4});
        }
        // Nothing drawn this frame has reached the window yet.
        const std::vector<uint32_t> before = Window();
        bool allShown = true;
        for (const R &r : drawn)
            for (int y = r.y; y < r.y + r.h; y++)
                for (int x = r.x; x < r.x + r.w; x++)
                    if (before[size_t(y) * 160 + x] != Pixel(back, x, y)) allShown = false;
        EXPECT_FALSE(allShown) << "frame " << frame << " reached the window before Flip";
        ASSERT_EQ(Cmd("Flip", {}), 0);
        const std::vector<uint32_t> after = Window();
        for (const R &r : drawn)
            for (int y = r.y; y < r.y + r.h; y++)
                for (int x = r.x; x < r.x + r.w; x++)
                    ASSERT_EQ(after[size_t(y) * 160 + x], Pixel(back, x, y)) << "frame " << frame << " at " << x << "," << y;
    }
    ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
    EXPECT_EQ(d->targetKind, uint32_t(CX_OBJECT_DISPLAY));
    EXPECT_EQ(GetDoubleBufferBitmap(d), nullptr);
    // The picture holds what was drawn last.
    EXPECT_EQ(Pixel(d->picture, px + 1, py + 1), 0xFF8000u + 99u);
}

TEST_F(DoubleBufferX11, MoreBoxesThanTheArrayHoldsCopyTheWholeBuffer) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    if (OsGetDisplayWindow(&d->os)->visual->red_mask != 0xFF0000) GTEST_SKIP() << "not a 24-bit screen";
    cxBitmap *back = GetDoubleBufferBitmap(d);
    // 1,200 single pixels two apart: none merge, the array overflows.
    for (int i = 0; i < 1200; i++) ASSERT_EQ(Cmd("Plot", {double((i % 50) * 3), double((i / 50) * 3), 0x00FF00}), 0);
    EXPECT_TRUE(DirtyRectsFull(&GetDisplayDoubleBuffer(d)->dirty));
    ASSERT_EQ(Cmd("Flip", {}), 0);
    EXPECT_EQ(GetDisplayDoubleBuffer(d)->dirty.count, 0u);
    const std::vector<uint32_t> win = Window();
    for (int y = 0; y < 120; y++)
        for (int x = 0; x < 160; x++) ASSERT_EQ(win[size_t(y) * 160 + x], Pixel(back, x, y)) << x << "," << y;
}

TEST_F(DoubleBufferX11, CommandsRefuseWhatTheModeDoesNotAllow) {
    EXPECT_EQ(Cmd("Flip", {}), ERR_NODOUBLEBUFFER);
    EXPECT_EQ(Cmd("EndDoubleBuffer", {}), ERR_NODOUBLEBUFFER);
    EXPECT_EQ(Cmd("Flip", {0, 1}), ERR_TOOMANYARGS);
    d->layersOn = 1;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_LAYERSOFF);
    d->layersOn = 0;
    d->targetKind = 28;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_SELECTMASK);
    d->targetKind = 30;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_SELECTALPHACHANNEL);
    d->targetKind = 1;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_SELECTBG);
    d->targetKind = CX_OUTPUT_IMAGE;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_SELECTBRUSH);
    d->targetKind = CX_OBJECT_DISPLAY;
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_ENDDOUBLEBUFFER);
    // Without an adapter that flips, hardware falls back to software.
    EXPECT_EQ(d->doubleBuffer2, 0u);
    ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {1}), 0);
    EXPECT_EQ(d->doubleBuffer2, 0u);
    EXPECT_NE(GetDoubleBufferBitmap(d), nullptr);
    // The display is freed while it double-buffers: its buffers go with it
    // (the leak check of the sanitizer run sees to that).
}

TEST_F(DoubleBufferX11, ARepaintShowsTheFrontCopyNotThePicture) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    if (OsGetDisplayWindow(&d->os)->visual->red_mask != 0xFF0000) GTEST_SKIP() << "not a 24-bit screen";
    ASSERT_EQ(Cmd("Cls", {0xFFFFFF}), 0);
    ASSERT_EQ(Cmd("Flip", {}), 0);
    ASSERT_EQ(Box(10, 10, 8, 8, 0xFF0000), 0);  // drawn, not flipped
    FillBitmapRect(d->picture, 0, 0, 160, 120, 0x00FF00);
    ASSERT_EQ(RefreshWholeDisplay(L, d, 0), 0);
    const std::vector<uint32_t> win = Window();
    EXPECT_EQ(win[5 * 160 + 5], 0xFFFFFFu);
    EXPECT_EQ(win[12 * 160 + 12], 0xFFFFFFu);  // the unflipped box stays hidden
}

// After the display changes size, the buffers follow: drawing reaches the
// whole new area and Flip shows it; shrinking leaves nothing reading past
// the smaller picture (the sanitizer run sees to that).
TEST_F(DoubleBufferX11, ResizedDisplayDrawsAndFlipsAtItsNewSize) {
    struct Case {
        const char *what;
        bool scaled;
        int width, height;  // ChangeDisplaySize
        int windowW, windowH;  // what the window then shows
    };
    const Case cases[] = {
        {"grown", false, 240, 180, 240, 180},
        {"shrunk", false, 100, 60, 100, 60},
        {"scaled window grown", true, 400, 300, 400, 300},
        {"scaled window shrunk", true, 120, 90, 120, 90},
    };
    if (OsGetDisplayWindow(&d->os)->visual->red_mask != 0xFF0000) GTEST_SKIP() << "not a 24-bit screen";
    int id = 2;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<cxtest::Field> options = {{"width", 160.0}, {"height", 120.0}, {"x", 0.0}, {"y", 0.0}};
        if (c.scaled) {
            options.push_back({"scalewidth", 320.0});
            options.push_back({"scaleheight", 240.0});
            options.push_back({"scalemode", 1.0});
        }
        ASSERT_EQ(Create(id, options), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {double(id)}), 0);
        cxDisplay *e = Display(id);
        ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
        ASSERT_EQ(Cmd("Cls", {0x0000FF}), 0);
        ASSERT_EQ(Cmd("Flip", {}), 0);
        ASSERT_EQ(Cmd("ChangeDisplaySize", {double(c.width), double(c.height)}), 0);
        const int pw = e->pictureWidth, ph = e->pictureHeight;
        cxBitmap *back = GetDoubleBufferBitmap(e);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, pw);
        EXPECT_EQ(back->height, ph);
        // The repaint of the resize shows the last frame, not a cleared copy.
        EXPECT_EQ(WindowPixel(e, std::min(c.windowW, 100) - 1, std::min(c.windowH, 60) - 1), 0x0000FFu);
        ASSERT_EQ(Box(0, 0, pw, ph, 0x00FF00), 0);
        ASSERT_EQ(Box(pw - 4, ph - 4, 4, 4, 0xFF0000), 0);
        ASSERT_EQ(Cmd("Flip", {}), 0);
        EXPECT_EQ(WindowPixel(e, 1, 1), 0x00FF00u);
        EXPECT_EQ(WindowPixel(e, c.windowW / 2, c.windowH / 2), 0x00FF00u);
        EXPECT_EQ(WindowPixel(e, c.windowW - 1, c.windowH - 1), 0xFF0000u);
        ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
        ASSERT_EQ(Cmd("SelectDisplay", {1}), 0);
        ASSERT_EQ(Cmd("FreeDisplay", {double(id)}), 0);
        ++id;
    }
}

// A video playing in the window, as the video library reports it: the box
// at (20, 10) of 40 x 30.
uint8_t *FakeVideoMask(cxDisplay *d, int32_t *bytesPerRow) {
    const int32_t bpr = (d->pictureWidth + 7) / 8;
    auto *m = static_cast<uint8_t *>(calloc(size_t(bpr) * size_t(d->pictureHeight), 1));
    for (int y = 10; y < 40; ++y)
        for (int x = 20; x < 60; ++x) m[size_t(y) * bpr + x / 8] |= uint8_t(0x80 >> (x % 8));
    *bytesPerRow = bpr;
    return m;
}

struct SeenMask {
    bool set = false, outside = false;
};
int WatchMask(void *, int message, void *record, void *user) {
    if (message != 0) return 0;
    const auto *f = static_cast<const cxListenerFrame *>(record);
    auto *seen = static_cast<SeenMask *>(user);
    if (!f->videoMask) return 0;
    const int bpr = f->videoMaskBytesPerRow;
    seen->set = (f->videoMask[size_t(15) * bpr + 25 / 8] & (0x80 >> (25 % 8))) != 0;
    seen->outside = (f->videoMask[size_t(5) * bpr + 5 / 8] & (0x80 >> (5 % 8))) != 0;
    return 0;
}

TEST_F(DoubleBufferX11, RepaintsLeaveAPlayingVideoAloneAndDoubleBufferingIsRefused) {
    ASSERT_EQ(Box(0, 0, 160, 120, 0x102030), 0);
    if (OsGetDisplayWindow(&d->os)->visual->red_mask != 0xFF0000) GTEST_SKIP() << "not a 24-bit screen";
    ASSERT_EQ(Window()[0], 0x102030u);
    cxDisplayVideoHooks h{};
    h.hasVideos = [](cxDisplay *) { return 1; };
    h.buildVideoAreaMask = FakeVideoMask;
    SetDisplayVideoHooks(&h);
    SeenMask seen;
    cxDisplayListener *l = AddDisplayListener(cxObjectID{1, nullptr}, WatchMask, &seen, nullptr, 0);
    ASSERT_NE(l, nullptr);

    ASSERT_EQ(Box(0, 0, 160, 120, 0x405060), 0);
    std::vector<uint32_t> w = Window();
    // Corners of the video's box keep what was there; its edges outside change.
    for (auto [x, y] : {std::pair{20, 10}, {59, 10}, {20, 39}, {59, 39}, {40, 25}})
        EXPECT_EQ(w[size_t(y) * 160 + x], 0x102030u) << x << "," << y;
    for (auto [x, y] : {std::pair{19, 10}, {60, 10}, {20, 9}, {20, 40}, {0, 0}, {159, 119}})
        EXPECT_EQ(w[size_t(y) * 160 + x], 0x405060u) << x << "," << y;
    EXPECT_TRUE(seen.set);
    EXPECT_FALSE(seen.outside);

    // The video's own pictures cover it.
    RefreshDisplayRectCore(d->picture, 0, 0, d, 0, 0, 160, 120, 0, 0, CX_REFRESH_NOVIDEOMASK, nullptr, nullptr,
                           nullptr);
    EXPECT_EQ(Window()[size_t(25) * 160 + 40], 0x405060u);

    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_VIDATTACHED);
    RemoveDisplayListener(l);
    SetDisplayVideoHooks(nullptr);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    EXPECT_EQ(Cmd("EndDoubleBuffer", {}), 0);
}

}  // namespace
