// Whole-bitmap edits in every pixel width: mirroring with mask and alpha,
// cut copies, colour keys, colour replacement and single pixels.
#include "graphics/editing/bitmap_edit.h"

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "platform/os_bitmap.h"

namespace {

// Colours every format keeps exactly (5-bit channels: low bits clear).
uint32_t ColourAt(int x, int y) { return uint32_t(((x * 40) & 0xF8) << 16 | ((y * 24) & 0xF8) << 8 | 0x88); }

struct Image {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int w, h;
    Image(uint32_t format, int width, int height) : w(width), h(height) {
        const uint32_t saved = OsGetPixelFormat();
        OsSetPixelFormat(format);
        bitmap = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
        if (format != saved) OsSetPixelFormat(format);
        mask = AllocMask(bitmap, w, h, 1, nullptr, 0);
        alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                WriteBitmapPixel(bitmap, x, y, ColourAt(x, y));
                WriteBitmapPixel(mask, x, y, (x + y) % 3 == 0);
                WriteBitmapPixel(alpha, x, y, uint32_t(x * 16 + y));
            }
    }
    ~Image() {
        FreeBitmap(bitmap);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
    }
    static uint32_t At(const cxBitmap *b, int x, int y) {
        uint32_t v = 0xDEAD;
        EXPECT_EQ(ReadBitmapPixel(b, x, y, &v), 0);
        return v;
    }
};

// The bitmaps of a run share the process's format, as the player's do.
class BitmapEdit : public ::testing::TestWithParam<uint32_t> {
protected:
    uint32_t saved = OsGetPixelFormat();
    void SetUp() override { OsSetPixelFormat(GetParam()); }
    void TearDown() override { OsSetPixelFormat(saved); }
};

TEST_P(BitmapEdit, FlipMirrorsColourMaskAndAlphaTogether) {
    for (int direction : {CX_FLIP_HORIZONTAL, CX_FLIP_VERTICAL}) {
        Image img(GetParam(), 7, 5);
        ASSERT_EQ(FlipBitmapFx(img.bitmap, img.mask, img.alpha, 7, 5, direction), 0);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++) {
                const int sx = direction == CX_FLIP_HORIZONTAL ? 6 - x : x;
                const int sy = direction == CX_FLIP_HORIZONTAL ? y : 4 - y;
                ASSERT_EQ(Image::At(img.bitmap, x, y), ColourAt(sx, sy)) << direction << " " << x << "," << y;
                ASSERT_EQ(Image::At(img.mask, x, y), uint32_t((sx + sy) % 3 == 0));
                ASSERT_EQ(Image::At(img.alpha, x, y), uint32_t(sx * 16 + sy));
            }
    }
    Image small(GetParam(), 4, 4);
    EXPECT_EQ(FlipBitmapFx(small.bitmap, nullptr, nullptr, 5, 4, 0), ERR_BADDIMENSIONS);
}

TEST_P(BitmapEdit, CutCopyTakesTheRectangleOfAllThree) {
    Image img(GetParam(), 9, 6);
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    ASSERT_EQ(ConvertBitmapFx(img.bitmap, img.mask, img.alpha, 2, 1, 5, 4, &b, &m, &a), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 5; x++) {
            EXPECT_EQ(Image::At(b, x, y), ColourAt(x + 2, y + 1));
            EXPECT_EQ(Image::At(m, x, y), uint32_t((x + 2 + y + 1) % 3 == 0));
            EXPECT_EQ(Image::At(a, x, y), uint32_t((x + 2) * 16 + y + 1));
        }
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
    EXPECT_EQ(ConvertBitmapFx(img.bitmap, nullptr, nullptr, 5, 0, 5, 1, &b, &m, &a), ERR_COORDSRANGE);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(ConvertBitmapFx(img.bitmap, nullptr, nullptr, 0, 0, 0, 1, &b, &m, &a), ERR_BADDIMENSIONS);
}

TEST_P(BitmapEdit, ColourKeyAndReplacementCompareColoursOnly) {
    Image img(GetParam(), 6, 3);
    const uint32_t key = ColourAt(2, 1);
    cxBitmap *mask = MakeColorKeyMask(img.bitmap, 6, 3, key);
    ASSERT_NE(mask, nullptr);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 6; x++) EXPECT_EQ(Image::At(mask, x, y), uint32_t(ColourAt(x, y) != key)) << x << "," << y;
    FreeMask(mask);
    // The first pair wins; a pair whose "to" is another pair's "from" does
    // not chain.
    const uint32_t pairs[] = {ColourAt(0, 0), 0x102030, ColourAt(1, 0), ColourAt(0, 0), ColourAt(0, 0), 0xFFFFFF};
    ASSERT_EQ(ReplaceBitmapColors(img.bitmap, 6, 3, pairs, 3), 0);
    EXPECT_EQ(Image::At(img.bitmap, 0, 0) & 0xF8F8F8, 0x102030u & 0xF8F8F8);
    EXPECT_EQ(Image::At(img.bitmap, 1, 0), ColourAt(0, 0));
    EXPECT_EQ(Image::At(img.bitmap, 2, 0), ColourAt(2, 0));
}

INSTANTIATE_TEST_SUITE_P(Formats, BitmapEdit, ::testing::Values(4u, 1u, 9u, 10u, 12u));

TEST(BitmapEditChannels, MaskAndAlphaConversions) {
    Image img(10, 5, 2);
    ASSERT_EQ(InvertChannelBytes(img.mask), 0);
    EXPECT_EQ(Image::At(img.mask, 0, 0), 0u);
    EXPECT_EQ(Image::At(img.mask, 1, 0), 1u);
    ASSERT_EQ(ScaleAlphaChannel(img.alpha, 128), 0);
    EXPECT_EQ(Image::At(img.alpha, 4, 1), uint32_t(65 * 128 / 255));
    ASSERT_EQ(MaskToAlphaChannel(img.mask, img.alpha, 5, 2, 200), 0);
    EXPECT_EQ(Image::At(img.alpha, 0, 0), 0u);
    EXPECT_EQ(Image::At(img.alpha, 1, 0), 200u);
    WriteBitmapPixel(img.alpha, 2, 0, 255);
    ASSERT_EQ(AlphaToMaskOpaque(img.alpha, img.mask, 5, 2), 0);
    EXPECT_EQ(Image::At(img.mask, 1, 0), 0u);  // 200 is not opaque
    EXPECT_EQ(Image::At(img.mask, 2, 0), 1u);
    uint32_t v;
    EXPECT_EQ(ReadBitmapPixel(img.bitmap, 5, 0, &v), ERR_COORDSRANGE);
    EXPECT_EQ(WriteBitmapPixel(img.bitmap, -1, 0, 0), ERR_COORDSRANGE);
}

}  // namespace
