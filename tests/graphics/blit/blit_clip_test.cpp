// Clipping of display blits and the mask and alpha rectangle operations.
#include "graphics/blit/blit_clip.h"

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "graphics/blit/mask_alpha_rect.h"

namespace {

uint8_t *Bytes(const cxBitmap *b) {
    return reinterpret_cast<uint8_t *>(
        QueryBitmapAttribute(b, b->kind == CX_BITMAP_ALPHA ? CX_BMATTR_ALPHA_PIXELS : CX_BMATTR_MASK_PIXELS));
}
uint32_t Row(const cxBitmap *b) {
    return uint32_t(QueryBitmapAttribute(b, b->kind == CX_BITMAP_ALPHA ? CX_BMATTR_ALPHA_BYTESPERROW
                                                                       : CX_BMATTR_MASK_BYTESPERROW));
}
bool Bit(const cxBitmap *m, int x, int y) { return (Bytes(m)[y * Row(m) + x / 8] >> (7 - x % 8)) & 1; }
void SetBit(cxBitmap *m, int x, int y) { Bytes(m)[y * Row(m) + x / 8] |= uint8_t(0x80 >> (x % 8)); }

TEST(BlitClip, RectanglesAgainstSourceDestinationAndRegion) {
    cxClipRegion region{};
    region.x = 10;
    region.y = 5;
    region.width = 20;
    region.height = 10;
    struct Case {
        int sx, sy, dx, dy, w, h;
        bool applyRegion;
        int left; // 1 when something is left
        int sx2, sy2, dx2, dy2, w2, h2;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 50, 50, false, 1, 0, 0, 0, 0, 40, 30},     // to the source (40x30) and destination (64x48)
        {0, 0, -5, -3, 10, 10, false, 1, 5, 3, 0, 0, 5, 7},     // off the destination's top left
        {35, 0, 60, 0, 10, 10, false, 1, 35, 0, 60, 0, 4, 10},  // both right edges
        {0, 0, 0, 0, 50, 50, true, 1, 10, 5, 10, 5, 20, 10},    // into the region
        {0, 0, 25, 12, 20, 20, true, 1, 0, 0, 25, 12, 5, 3},    // its bottom right
        {0, 0, 40, 0, 5, 5, true, 0, 0, 0, 0, 0, 0, 0},         // beside it
        {0, 0, 64, 0, 5, 5, false, 0, 0, 0, 0, 0, 0, 0},        // past the destination
        {0, 0, 0, 0, 0, 5, false, 0, 0, 0, 0, 0, 0, 0},         // empty
        {0, 0, -0x7FFFFFFF, 0, 0x7FFFFFFF, 4, false, 0, 0, 0, 0, 0, 0, 0},
        {0, 0, 0x7FFFFFF0, 0, 0x7FFFFFFF, 4, false, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t sx = c.sx, sy = c.sy, dx = c.dx, dy = c.dy, w = c.w, h = c.h;
        EXPECT_EQ(ClipBlitRect(&region, &sx, &sy, &dx, &dy, &w, &h, 40, 30, 64, 48, c.applyRegion), c.left)
            << c.dx << "," << c.dy;
        if (!c.left) {
            EXPECT_EQ(w * h, 0);
            continue;
        }
        EXPECT_EQ(sx, c.sx2);
        EXPECT_EQ(sy, c.sy2);
        EXPECT_EQ(dx, c.dx2);
        EXPECT_EQ(dy, c.dy2);
        EXPECT_EQ(w, c.w2);
        EXPECT_EQ(h, c.h2);
    }
    int32_t sx = 0, sy = 0, dx = 0, dy = 0, w = 8, h = 8;
    EXPECT_EQ(ClipBlitRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, 40, 30, 64, 48, 1), 1); // no region
    EXPECT_EQ(w, 8);
}

TEST(BlitClip, ShapesCutTheMaskOrAlphaOfABlit) {
    cxClipRegion region{};
    region.x = 4;
    region.y = 2;
    region.width = 8;
    region.height = 4;
    region.shape = AllocMask(nullptr, 8, 4, 1, nullptr, 0);
    SetBit(region.shape, 1, 1); // display (5, 3)
    SetBit(region.shape, 2, 1); // display (6, 3)
    cxBitmap *src = AllocBitmap(10, 6, 0, 0);

    // A plain source gets a mask of the shape, at source coordinates.
    cxBitmap *rep = nullptr;
    int owned = 1, isAlpha = 1;
    ASSERT_EQ(MakeClipShape(&region, src, nullptr, nullptr, 2, 1, 4, 2, 4, 3, &rep, &owned, &isAlpha), 0);
    ASSERT_NE(rep, nullptr);
    EXPECT_EQ(owned, 0);
    EXPECT_EQ(isAlpha, 0);
    EXPECT_EQ(rep->kind, uint32_t(CX_BITMAP_MASK));
    EXPECT_FALSE(Bit(rep, 2, 1));
    EXPECT_TRUE(Bit(rep, 3, 2)); // display (5, 3) is source (3, 2)
    EXPECT_TRUE(Bit(rep, 4, 2));
    EXPECT_FALSE(Bit(rep, 5, 2));

    // An alpha source keeps its levels where the shape lets them through.
    cxBitmap *alpha = AllocAlphaChannel(10, 6, 0, nullptr, 0);
    for (int i = 0; i < 6 * int(Row(alpha)); ++i) Bytes(alpha)[i] = 200;
    ASSERT_EQ(MakeClipShape(&region, src, nullptr, alpha, 2, 1, 4, 2, 4, 3, &rep, &owned, &isAlpha), 0);
    EXPECT_EQ(isAlpha, 1);
    EXPECT_EQ(Bytes(rep)[2 * Row(rep) + 3], 200);
    EXPECT_EQ(Bytes(rep)[2 * Row(rep) + 2], 0);
    FreeClipShape(rep, owned);

    // Rectangles that leave the region's shape are refused.
    EXPECT_EQ(MakeClipShape(&region, src, nullptr, nullptr, 0, 0, 2, 2, 4, 3, &rep, &owned, &isAlpha), ERR_COORDSRANGE);
    EXPECT_EQ(rep, nullptr);
    EXPECT_EQ(MakeClipShape(&region, src, nullptr, alpha, 8, 0, 4, 2, 4, 3, &rep, &owned, &isAlpha), ERR_COORDSRANGE);
    FreeAlphaChannel(alpha);
    FreeBitmap(src);
    FreeMask(region.shape);
    FreeClipShapeScratch();
}

TEST(MaskAlphaRect, FillsByMaskMode) {
    struct Case {
        int mode;
        uint8_t before, after;
    };
    // Pixels 2-5 of a row: bits 0x3C.
    const Case cases[] = {{CX_MASKVISIBLE, 0x81, 0xBD}, {CX_MASKINVISIBLE, 0xFF, 0xC3}, {CX_MASKVANILLACOPY, 0, 0x3C},
                          {CX_MASKXOR, 0x0F, 0x33},     {CX_MASKAND, 0x5A, 0x5A},       {CX_MASKOR, 0, 0x3C},
                          {7, 0x5A, 0x5A}};
    for (const Case &c : cases) {
        cxBitmap *m = AllocMask(nullptr, 16, 2, 1, nullptr, 0);
        Bytes(m)[Row(m)] = c.before;
        FillMaskRect(m, 2, 1, 4, 5, c.mode); // clipped at the bottom
        EXPECT_EQ(Bytes(m)[Row(m)], c.after) << "mode " << c.mode;
        EXPECT_EQ(Bytes(m)[0], 0);
        FreeMask(m);
    }
    cxBitmap *m = AllocMask(nullptr, 20, 1, 1, nullptr, 0);
    FillMaskRect(m, -4, 0, 30, 1, CX_MASKVISIBLE); // whole bytes and the clipped ends
    EXPECT_EQ(Bytes(m)[0], 0xFF);
    EXPECT_EQ(Bytes(m)[2], 0xF0); // pixels 16-19 only
    FreeMask(m);

    cxBitmap *a = AllocAlphaChannel(5, 2, 1, nullptr, 0);
    FillAlphaRect(a, 3, 1, 10, 10, 9);
    EXPECT_EQ(Bytes(a)[Row(a) + 3], 9);
    EXPECT_EQ(Bytes(a)[Row(a) + 4], 9);
    EXPECT_EQ(Bytes(a)[Row(a) + 5], 0); // padding stays
    EXPECT_EQ(Bytes(a)[3], 0);
    FreeAlphaChannel(a);
}

TEST(MaskAlphaRect, MasksAndAlphaChannelsIntoEachOther) {
    cxBitmap *src = AllocMask(nullptr, 8, 1, 1, nullptr, 0), *dst = AllocMask(nullptr, 8, 1, 1, nullptr, 0);
    Bytes(src)[0] = 0xF0;
    Bytes(dst)[0] = 0x3C;
    CombineMaskRect(src, 0, 0, dst, 0, 0, 8, 1, CX_MASKVANILLACOPY);
    EXPECT_EQ(Bytes(dst)[0], 0xF0);
    Bytes(dst)[0] = 0x3C;
    CombineMaskRect(src, 0, 0, dst, 0, 0, 8, 1, CX_MASKXOR);
    EXPECT_EQ(Bytes(dst)[0], 0xCC);
    Bytes(dst)[0] = 0x3C;
    CombineMaskRect(src, 0, 0, dst, 0, 0, 8, 1, CX_MASKAND);
    EXPECT_EQ(Bytes(dst)[0], 0x30);
    Bytes(dst)[0] = 0x3C;
    CombineMaskRect(src, 0, 0, dst, 2, 0, 8, 1, CX_MASKINVISIBLE); // shifted by 2 and clipped
    EXPECT_EQ(Bytes(dst)[0], 0x00);

    cxBitmap *alpha = AllocAlphaChannel(8, 1, 1, nullptr, 0);
    Bytes(alpha)[1] = 1;
    Bytes(alpha)[6] = 255;
    Bytes(dst)[0] = 0;
    BltAlphaToMask(alpha, 0, 0, dst, 0, 0, 8, 1, CX_MASKVISIBLE);
    EXPECT_EQ(Bytes(dst)[0], 0x42);

    cxBitmap *out = AllocAlphaChannel(8, 1, 1, nullptr, 0);
    BltMaskToMask(src, 0, 0, out, 0, 0, 8, 1, 99);
    EXPECT_EQ(Bytes(out)[3], 99);
    EXPECT_EQ(Bytes(out)[4], 0);
    BltAlphaToAlphaClipped(alpha, 0, 0, out, 0, 0, 8, 1, 6, 7);
    EXPECT_EQ(Bytes(out)[1], 7);
    EXPECT_EQ(Bytes(out)[3], 99); // alpha 0 there: kept
    BltAlphaToAlphaClipped(alpha, 4, 0, out, -2, 0, 100, 100, 0, 0);
    EXPECT_EQ(Bytes(out)[0], 255); // source pixel 6
    EXPECT_EQ(Bytes(out)[3], 99);  // past the source's end
    FreeMask(src);
    FreeMask(dst);
    FreeAlphaChannel(alpha);
    FreeAlphaChannel(out);
}

} // namespace
