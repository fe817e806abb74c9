// gtest comes before the X headers, whose macros clash with its names.
#include "x11_test_support.h"

#include <X11/Xutil.h>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "window/x11/x11_overlays.h"
#include "platform/os_bitmap.h"
#include "window/x11/x11_present.h"

namespace {
uint32_t Pattern(int x, int y) { return 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t(x + y); }

cxOsBitmap *PatternBitmap(int w, int h) {
    cxOsBitmap *bm = OsAllocBitMap(w, h, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) reinterpret_cast<uint32_t *>(bm->pixels + size_t(y) * bm->bytesPerRow)[x] = Pattern(x, y);
    return bm;
}

class Present : public X11Display {
protected:
    // The window's pixel at (x, y) as 0xRRGGBB, read by the test's connection.
    uint32_t WindowPixel(XImage *img, int x, int y) {
        return OsVisualToArgb(uint32_t(XGetPixel(img, x, y)), img->red_mask, img->green_mask, img->blue_mask) &
               0xFFFFFF;
    }
    XImage *Grab() {
        // The drawing connection's requests first reach the server, then
        // the test's own connection reads back.
        XSync(OsGetDisplayWindow(&display)->conn->dpy, False);
        XSync(tdpy, False);
        return XGetImage(tdpy, Win(), 0, 0, 64, 48, AllPlanes, ZPixmap);
    }
    void Clear() {
        XClearWindow(tdpy, Win());
        XSync(tdpy, False);
    }
};

// Overlays registered for one test, removed however the test ends: a
// stale entry would outlive its record and hang the next run.
class OverlayScope {
public:
    explicit OverlayScope(std::initializer_list<cxDisplayOverlay *> overlays) : overlays_(overlays) {
        for (cxDisplayOverlay *o : overlays_) AddDisplayOverlay(o);
    }
    ~OverlayScope() {
        for (cxDisplayOverlay *o : overlays_) RemoveDisplayOverlay(o);
    }

private:
    std::vector<cxDisplayOverlay *> overlays_;
};
}  // namespace

TEST(X11Pixels, VisualFormatsAndConversions) {
    EXPECT_EQ(OsVisualPixelFormat(0xFF0000, 0xFF00, 0xFF, 32), 10);
    EXPECT_EQ(OsVisualPixelFormat(0xFF, 0xFF00, 0xFF0000, 32), 13);
    EXPECT_EQ(OsVisualPixelFormat(0xF800, 0x7E0, 0x1F, 16), 4);
    EXPECT_EQ(OsVisualPixelFormat(0x7C00, 0x3E0, 0x1F, 16), 0);
    EXPECT_EQ(OsVisualPixelFormat(0x3FF00000, 0xFFC00, 0x3FF, 32), -1);
    // A 565 visual: the top bits of each channel.
    EXPECT_EQ(OsArgbToVisual(0x80FF8040, 0xF800, 0x7E0, 0x1F), 0xFC08u);
    EXPECT_EQ(OsArgbToVisual(0x80FF8040, 0xFF0000, 0xFF00, 0xFF), 0xFF8040u);
    EXPECT_EQ(OsArgbToVisual(0xFF123456, 0xFF, 0xFF00, 0xFF0000), 0x563412u);
    // A 10-bit-per-channel visual keeps 8 significant bits.
    EXPECT_EQ(OsVisualToArgb(OsArgbToVisual(0xFFABCDEF, 0x3FF00000, 0xFFC00, 0x3FF), 0x3FF00000, 0xFFC00, 0x3FF),
              0xFFABCDEFu);
}

TEST_F(Present, BitmapReadsBackExactlyFromTheWindow) {
    Open(0, 64, 48);
    cxOsBitmap *bm = PatternBitmap(64, 48);
    EXPECT_EQ(OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, 0), bm);
    XImage *img = Grab();
    ASSERT_NE(img, nullptr);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(WindowPixel(img, x, y), Pattern(x, y) & 0xFFFFFF) << x << "," << y;
    XDestroyImage(img);

    // The platform's own grab sees the same pixels.
    int rx, ry;
    Window child;
    XTranslateCoordinates(tdpy, Win(), DefaultRootWindow(tdpy), 0, 0, &rx, &ry, &child);
    cxOsBitmap *grab = OsGrabScreenPixels(&display, rx + 3, ry + 4, 10, 6);
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->width, 10);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(reinterpret_cast<uint32_t *>(grab->pixels + size_t(y) * grab->bytesPerRow)[x] & 0xFFFFFF,
                      Pattern(x + 3, y + 4) & 0xFFFFFF);
    OsFreeBitMap(grab);
    OsFreeBitMap(bm);
}

TEST_F(Present, SubRectangleWithOriginAndClipping) {
    Open(0, 64, 48);
    Clear();
    cxOsBitmap *bm = PatternBitmap(40, 30);
    display.originX = 2;
    display.originY = 1;
    // Starts left of the bitmap and runs past its end: only real pixels go.
    OsBltBitMap(bm, -5, 10, &display, 0, 0, 100, 100, 0);
    XImage *img = Grab();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(WindowPixel(img, 2 + 5, 1), Pattern(0, 10) & 0xFFFFFF);
    EXPECT_EQ(WindowPixel(img, 2 + 5 + 39, 1 + 19), Pattern(39, 29) & 0xFFFFFF);
    EXPECT_EQ(WindowPixel(img, 2 + 4, 1), 0u);
    EXPECT_EQ(WindowPixel(img, 2 + 5 + 40, 1), 0u);
    EXPECT_EQ(WindowPixel(img, 2 + 5, 1 + 20), 0u);
    XDestroyImage(img);
    OsFreeBitMap(bm);
}

TEST_F(Present, OverlaysAreLeftOutAndOverlappingOnesStayOut) {
    Open(0, 64, 48);
    Clear();
    cxDisplayOverlay a{}, b{}, hidden{}, other{};
    a = {nullptr, 1, &display, 10, 10, 20, 15, 0};
    b = {nullptr, 2, &display, 20, 15, 20, 15, 0};  // overlaps a
    hidden = {nullptr, 3, &display, 45, 0, 10, 10, 1};
    cxOsDisplay someoneElse{};
    other = {nullptr, 4, &someoneElse, 0, 30, 10, 10, 0};
    OverlayScope scope{&a, &b, &hidden, &other};
    cxOsBitmap *bm = PatternBitmap(64, 48);
    OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, 0);
    XImage *img = Grab();
    ASSERT_NE(img, nullptr);
    auto covered = [](int x, int y) {
        return (x >= 10 && x < 30 && y >= 10 && y < 25) || (x >= 20 && x < 40 && y >= 15 && y < 30);
    };
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(WindowPixel(img, x, y), covered(x, y) ? 0u : Pattern(x, y) & 0xFFFFFF) << x << "," << y;
    XDestroyImage(img);
    // Flag 32 presents over the overlays.
    OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, CX_BLT_NOCLIP);
    img = Grab();
    EXPECT_EQ(WindowPixel(img, 25, 20), Pattern(25, 20) & 0xFFFFFF);
    XDestroyImage(img);
    OsFreeBitMap(bm);
}

TEST_F(Present, NothingIsPaintedWhileOutputIsRedirectedOrSuppressed) {
    Open(0, 64, 48);
    Clear();
    cxOsBitmap *bm = PatternBitmap(64, 48);
    display.outputKind = 0;
    OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, 0);
    display.outputKind = CX_OUTPUT_XWINDOW;
    OsGetDisplayWindow(&display)->suppress[1] = 1;
    OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, 0);
    OsFillRect(&display, 0, 0, 64, 48, 0xFFFFFFFF);
    OsGetDisplayWindow(&display)->suppress[1] = 0;
    XImage *img = Grab();
    EXPECT_EQ(WindowPixel(img, 33, 22), 0u);
    XDestroyImage(img);
    OsFreeBitMap(bm);
}

TEST_F(Present, ShapePremultipliesByAlpha) {
    Open(0, 64, 48);
    std::vector<uint8_t> alpha(64 * 48, 255);
    for (int x = 0; x < 64; ++x) {
        alpha[size_t(x)] = 0;              // row 0: transparent
        alpha[size_t(64 + x)] = 128;       // row 1: half
    }
    cxOsWindow *w = OsGetDisplayWindow(&display);
    w->shapeAlpha = alpha.data();
    w->shapeBytesPerRow = 64;
    cxOsBitmap *bm = PatternBitmap(64, 48);
    OsBltBitMap(bm, 0, 0, &display, 0, 0, 64, 48, 0);
    XImage *img = Grab();
    EXPECT_EQ(WindowPixel(img, 30, 0), 0u);
    const uint32_t p = Pattern(30, 1);
    const uint32_t half = (((p >> 16) & 0xFF) * 128 / 255) << 16 | (((p >> 8) & 0xFF) * 128 / 255) << 8 |
                          ((p & 0xFF) * 128 / 255);
    EXPECT_EQ(WindowPixel(img, 30, 1), half);
    EXPECT_EQ(WindowPixel(img, 30, 2), Pattern(30, 2) & 0xFFFFFF);
    XDestroyImage(img);
    w->shapeAlpha = nullptr;
    OsFreeBitMap(bm);
}

TEST_F(Present, DirectDrawingOnTheWindow) {
    Open(0, 64, 48);
    Clear();
    display.originX = 1;
    OsFillRect(&display, 4, 4, 8, 6, 0x80112233);
    OsWritePixel(&display, 30, 30, 0xFF445566);
    OsDrawLine(&display, 40, 5, 50, 5, 0xFF00FF00);
    XImage *img = Grab();
    EXPECT_EQ(WindowPixel(img, 5, 4), 0x112233u);
    EXPECT_EQ(WindowPixel(img, 12, 9), 0x112233u);
    EXPECT_EQ(WindowPixel(img, 13, 9), 0u);
    EXPECT_EQ(WindowPixel(img, 31, 30), 0x445566u);
    EXPECT_EQ(WindowPixel(img, 46, 5), 0x00FF00u);
    XDestroyImage(img);
}
