// SafeBlt and the draw library into an open display under the X server:
// drawn, then read back from the window.
#include "display/blit/safe_blt.h"
#include "display/draw/draw_library.h"
#include "graphics/blit/blit.h"
#include "tests/display/displays/display_fixture.h"

namespace {

class DisplayBlit : public cxtest::DisplayTest {
  protected:
    cxDisplay *d = nullptr;
    void OpenOne() {
        ASSERT_EQ(Create(1, {{"width", 64.0}, {"height", 48.0}, {"fillstyle", 1.0}, {"color", 0.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        d = Display(1);
        ASSERT_NE(d, nullptr);
        ASSERT_NE(d->picture, nullptr);
    }
    void Blt(cxBitmap *src, int32_t dx, int32_t dy, uint32_t flags, cxBitmap *mask = nullptr, cxBitmap *alpha = nullptr) {
        SafeBlt(L, src, 0, 0, nullptr, dx, dy, src->width, src->height, src->width, src->height, d->pictureWidth,
                d->pictureHeight, flags, mask, alpha, nullptr);
    }
};

TEST_F(DisplayBlit, BrushesReachTheWindowClippedMaskedAndBlended) {
    if (!HaveX()) GTEST_SKIP() << "no X server";
    OpenOne();
    cxBitmap *brush = AllocBitmap(16, 16, 0, 0);
    FillRect(brush, 0, 0, 16, 16, 0xFF0000);
    FillRect(brush, 8, 8, 8, 8, 0x0000FF);
    Blt(brush, 4, 4, CX_SAFEBLT_FIRSTBACK);
    EXPECT_EQ(WindowPixel(d, 4, 4), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 19, 19), 0x0000FFu);
    EXPECT_EQ(WindowPixel(d, 3, 4), 0u);
    EXPECT_EQ(WindowPixel(d, 20, 4), 0u);

    // Partly outside: the part inside is drawn, nothing else.
    Blt(brush, 56, 40, CX_SAFEBLT_FIRSTBACK);
    EXPECT_EQ(WindowPixel(d, 63, 47), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 55, 47), 0u);
    Blt(brush, 100, 100, CX_SAFEBLT_FIRSTBACK); // wholly outside

    // Through a mask: only its set pixels.
    cxBitmap *mask = AllocMask(brush, 16, 16, 1, nullptr, 0);
    reinterpret_cast<uint8_t *>(QueryBitmapAttribute(mask, CX_BMATTR_MASK_PIXELS))[0] = 0x80;
    Blt(brush, 30, 4, CX_SAFEBLT_FIRSTBACK, mask);
    EXPECT_EQ(WindowPixel(d, 30, 4), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 31, 4), 0u);

    // Through an alpha channel at half strength over black.
    cxBitmap *alpha = AllocAlphaChannel(16, 16, 0, nullptr, 0);
    uint8_t *a = reinterpret_cast<uint8_t *>(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS));
    for (int i = 0; i < 16 * 16; ++i) a[i] = 128;
    Blt(brush, 30, 24, CX_SAFEBLT_FIRSTBACK, nullptr, alpha);
    const uint32_t half = WindowPixel(d, 30, 24);
    EXPECT_GE(half >> 16, 0x78u);
    EXPECT_LE(half >> 16, 0x88u);
    EXPECT_EQ(half & 0xFFFFu, 0u);
    FreeAlphaChannel(alpha);
    FreeMask(mask);
    FreeBitmap(brush);
}

TEST_F(DisplayBlit, ShapesOfTheDrawLibraryAppearInTheWindow) {
    if (!HaveX()) GTEST_SKIP() << "no X server";
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    OpenOne();
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Box", {2, 2, 10, 10, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("Circle", {40, 24, 8, 0xFFFFFF}), 0);
    EXPECT_EQ(WindowPixel(d, 2, 2), 0x00FF00u);
    EXPECT_EQ(WindowPixel(d, 12, 12), 0u);
    EXPECT_EQ(WindowPixel(d, 40, 24), 0xFFFFFFu);
    ASSERT_EQ(Cmd("ReadPixel", {40, 24}), 0);
    EXPECT_EQ(Num(1), 0xFFFFFF);
    // Cls puts the display's backfill back.
    ASSERT_EQ(Cmd("Cls", {}), 0);
    EXPECT_EQ(WindowPixel(d, 40, 24), 0u);
    FreeDrawLibraryBuffers(L);
}

} // namespace
