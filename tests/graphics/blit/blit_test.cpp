// Blit front-ends: the software road on platform and adapter bitmaps, and
// the hand-over to a display adapter plug-in that draws (real ".cxp"
// adapters built beside the tests).
#include "graphics/blit/blit.h"

#include <gtest/gtest.h>

#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/adapter_plugin.h"

namespace {

using cxtest::AdapterPlugin;

uint32_t Get(const cxBitmap *b, int x, int y) {
    cxOsBitmapLock l;
    uint32_t v = 0xDEADBEEF;
    if (LockBitmap(b, 0, &l))
        v = LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat);
    UnlockBitmap(&l);
    return v;
}

void Set(cxBitmap *b, int x, int y, uint32_t v) {
    cxOsBitmapLock l;
    if (LockBitmap(b, 0, &l)) StorePixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat, v);
    UnlockBitmap(&l);
}

uint8_t *Bytes(const cxBitmap *b) {
    return reinterpret_cast<uint8_t *>(
        QueryBitmapAttribute(b, b->kind == CX_BITMAP_ALPHA ? CX_BMATTR_ALPHA_PIXELS : CX_BMATTR_MASK_PIXELS));
}

struct Pair {
    cxBitmap *src = AllocBitmap(8, 6, CX_ALLOC_CLEAR, 0);
    cxBitmap *dst = AllocBitmap(8, 6, CX_ALLOC_CLEAR, 0);
    Pair() {
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) Set(src, x, y, 0x00010000u * uint32_t(x) + 0x100u * uint32_t(y) + 0x80u);
    }
    ~Pair() {
        FreeBitmap(src);
        FreeBitmap(dst);
    }
};

TEST(Blit, SoftwareCopyMaskAlphaAndFill) {
    Pair p;
    ASSERT_EQ(BltBitmap(p.src, 2, 1, p.dst, 0, 0, 3, 2), 0);
    EXPECT_EQ(Get(p.dst, 0, 0), 0x020180u);
    EXPECT_EQ(Get(p.dst, 2, 1), 0x040280u);
    EXPECT_EQ(Get(p.dst, 3, 0), 0u);

    // The mask is read at the source position.
    cxBitmap *mask = AllocMask(p.src, 8, 6, 1, nullptr, 0);
    Bytes(mask)[0] = 0x40; // pixel (1, 0) of the source
    ASSERT_EQ(BltBitmapMask(p.src, 0, 0, p.dst, 4, 3, 3, 1, mask), 0);
    EXPECT_EQ(Get(p.dst, 4, 3), 0u);
    EXPECT_EQ(Get(p.dst, 5, 3), 0x010080u);
    EXPECT_EQ(Get(p.dst, 6, 3), 0u);

    // Alpha 255 copies, 0 keeps the destination.
    cxBitmap *alpha = AllocAlphaChannel(8, 6, 1, nullptr, 0);
    Bytes(alpha)[QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_BYTESPERROW) * 5 + 7] = 255;
    FillRect(p.dst, 6, 4, 2, 2, 0xFF00FF00u);
    ASSERT_EQ(BltBitmapAlpha(p.src, 6, 4, p.dst, 6, 4, 2, 2, alpha), 0);
    EXPECT_EQ(Get(p.dst, 6, 4) & 0xFFFFFFu, 0x00FF00u);
    EXPECT_EQ(Get(p.dst, 7, 5), 0x070580u);

    // Wrong kinds of mask or alpha are refused.
    EXPECT_EQ(BltBitmapMask(p.src, 0, 0, p.dst, 0, 0, 1, 1, alpha), ERR_WRONGUSAGE);
    EXPECT_EQ(BltBitmapAlpha(p.src, 0, 0, p.dst, 0, 0, 1, 1, mask), ERR_WRONGUSAGE);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
}

TEST(Blit, RectanglesOutsideWriteNothing) {
    Pair p;
    struct Case {
        int sx, sy, dx, dy, w, h;
        int result;
    };
    const Case cases[] = {
        {0, 0, 6, 0, 3, 1, ERR_COORDSRANGE},  // past the destination's right edge
        {0, 0, 0, 5, 1, 2, ERR_COORDSRANGE},  // past its bottom
        {0, 0, -1, 0, 2, 1, ERR_COORDSRANGE}, // negative position
        {0, 0, 0, -0x7FFFFFFF, 1, 1, ERR_COORDSRANGE},
        {0, 0, 0, 0, 0x7FFFFFFF, 1, ERR_COORDSRANGE},
        {0, 0, 0, 0, 0, 5, 0}, // empty: nothing to do
        {0, 0, 0, 0, 5, -3, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(BltBitmap(p.src, c.sx, c.sy, p.dst, c.dx, c.dy, c.w, c.h), c.result) << c.dx << " " << c.w;
        EXPECT_EQ(BltBitmap(p.dst, c.dx, c.dy, p.src, c.sx, c.sy, c.w, c.h), c.result); // the source side
        EXPECT_EQ(FillRect(p.dst, c.dx, c.dy, c.w, c.h, 0xFFFFFF), c.result);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(Get(p.dst, x, y), 0u) << x << "," << y;
    EXPECT_EQ(BltBitmap(nullptr, 0, 0, p.dst, 0, 0, 1, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(FillRect(nullptr, 0, 0, 1, 1, 0), ERR_WRONGUSAGE);

    // A video bitmap with no adapter to draw into it cannot be locked.
    cxBitmap video = *p.dst;
    video.foreign = 1;
    EXPECT_EQ(BltBitmap(p.src, 0, 0, &video, 0, 0, 1, 1), ERR_LOCKBMAP);
    EXPECT_EQ(Get(p.dst, 0, 0), 0u);
}

TEST(Blit, TilesWrapTheirOffsetAndComeFromBitmapsOrARGB) {
    cxBitmap *tile = AllocBitmap(3, 2, 0, 0);
    const uint32_t argb[6] = {0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
    for (int i = 0; i < 6; ++i) Set(tile, i % 3, i / 3, argb[i]);
    cxBitmap *a = AllocBitmap(9, 5, CX_ALLOC_CLEAR, 0), *b = AllocBitmap(9, 5, CX_ALLOC_CLEAR, 0);
    ASSERT_EQ(TileBitmap(a, 1, 1, 7, 3, tile, nullptr, 0, 0, -1, 3), 0);
    ASSERT_EQ(TileBitmap(b, 1, 1, 7, 3, nullptr, argb, 3, 2, 5, -5), 0);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 9; ++x) {
            const bool inside = x >= 1 && x < 8 && y >= 1 && y < 4;
            // Offset (-1, 3) is tile position (2, 1) at the area's corner.
            const uint32_t want = inside ? argb[((y - 1 + 1) % 2) * 3 + (x - 1 + 2) % 3] : 0;
            ASSERT_EQ(Get(a, x, y) & 0xFFFFFFu, want) << x << "," << y;
            ASSERT_EQ(Get(b, x, y) & 0xFFFFFFu, want) << x << "," << y;
        }
    }
    EXPECT_EQ(TileBitmap(b, 5, 0, 7, 1, nullptr, argb, 3, 2, 0, 0), ERR_COORDSRANGE);
    EXPECT_EQ(TileBitmap(b, 0, 0, 1, 1, nullptr, argb, 0, 2, 0, 0), ERR_WRONGUSAGE);
    FreeBitmap(tile);
    FreeBitmap(a);
    FreeBitmap(b);
}

TEST(Blit, ColoursForAnAdapterWithInvertedAlpha) {
    EXPECT_EQ(ConvertColorForAdapter(0x00123456u, 0), 0x00123456u); // no adapter: unchanged
    EXPECT_EQ(ConvertColorForAdapter(0x00123456u, 1), 0xFF123456u);
    EXPECT_EQ(ConvertColorForAdapter(0x40123456u, 1), 0xBF123456u);
    EXPECT_EQ(ConvertColorForAdapter(0xFF123456u, 1), 0x00123456u);
}

// The drawing adapter takes every blit and fill of ordinary bitmaps and
// draws into its video bitmaps.
uint32_t g_destState = 0;
uint32_t DestState(const cxBitmap *) { return g_destState; }

TEST(Blit, AnAdapterThatDrawsIsOfferedTheWorkFirst) {
    AdapterPlugin drawing("drawing");
    TestAdapterLog &log = drawing.log();
    Pair p;
    cxBitmap *mask = AllocMask(p.src, 8, 6, 1, nullptr, 0);
    cxBitmap *alpha = AllocAlphaChannel(8, 6, 1, nullptr, 0);

    ASSERT_EQ(BltBitmap(p.src, 1, 2, p.dst, 3, 4, 5, 1), 0);
    EXPECT_EQ(log.bltCalls, 1);
    EXPECT_EQ(log.bltSrc, p.src->store);
    EXPECT_EQ(log.bltDst, p.dst->store);
    EXPECT_EQ(log.bltFlags, CX_BLT_ORDINARY);
    const cxBltRecord &r = log.bltRecord;
    EXPECT_EQ(r.srcX, 1);
    EXPECT_EQ(r.srcY, 2);
    EXPECT_EQ(r.dstX, 3);
    EXPECT_EQ(r.dstY, 4);
    EXPECT_EQ(r.width, 5);
    EXPECT_EQ(r.height, 1);
    EXPECT_EQ(r.mask, nullptr);
    EXPECT_EQ(r.alpha, nullptr);
    EXPECT_EQ(r.scaledWidth | r.smooth | r.transformIndex, 0);
    EXPECT_EQ(Get(p.dst, 3, 4), 0u); // the software road did not run

    BltBitmapMask(p.src, 0, 0, p.dst, 0, 0, 2, 2, mask);
    EXPECT_EQ(log.bltRecord.mask, mask->store);
    EXPECT_EQ(log.bltRecord.alpha, nullptr);
    BltBitmapAlpha(p.src, 0, 0, p.dst, 0, 0, 2, 2, alpha);
    EXPECT_EQ(log.bltRecord.alpha, alpha->store);
    EXPECT_EQ(log.bltRecord.mask, nullptr);
    EXPECT_EQ(log.bltCalls, 3);
    BltBitmap(p.src, 0, 0, p.dst, 0, 0, 0, 4); // empty: not offered
    EXPECT_EQ(log.bltCalls, 3);

    // Fills carry the colour with its top byte inverted (adapter flag 128).
    FillRect(p.dst, 1, 1, 2, 3, 0x00FF0000u);
    EXPECT_EQ(log.fillCalls, 1);
    EXPECT_EQ(log.fillTarget, p.dst->store);
    EXPECT_EQ(log.fillRecord.x, 1);
    EXPECT_EQ(log.fillRecord.height, 3);
    EXPECT_EQ(log.fillRecord.colour, 0xFFFF0000u);
    EXPECT_EQ(log.fillRecord.mode, CX_FILL_ORDINARY);
    EXPECT_EQ(Get(p.dst, 1, 1), 0u);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
}

TEST(Blit, VideoDestinationsAndSourcesSetTheirFlags) {
    AdapterPlugin drawing("drawing");
    TestAdapterLog &log = drawing.log();
    cxBitmap *plain = AllocBitmap(4, 4, 0, 0);
    cxBitmap *video = AllocBitmap(4, 4, CX_ALLOC_VIDEO, 0), *used = AllocBitmap(4, 4, CX_ALLOC_VIDEO, 0);
    ASSERT_TRUE(video && used && video->foreign);
    FinalizeVideoBitmap(used);
    cxBitmap *mask = AllocMask(plain, 4, 4, 1, nullptr, 0);
    SetBlitDestQuery(DestState);
    const uint32_t back = CX_BLITDEST_BACKBITMAP, zero = CX_BLITDEST_MODE2ZERO, on = CX_BLITDEST_SWITCHON,
                   m28 = CX_BLITDEST_MODE28;
    struct Case {
        const cxBitmap *src;
        cxBitmap *dst;
        bool masked;
        uint32_t state, flags;
    };
    const Case cases[] = {
        {plain, video, false, 0, 4},
        {plain, video, false, back | zero | on, 4 | 8},
        {plain, video, false, zero | on, 4}, // not the back bitmap
        {plain, video, false, back | m28, 4 | 16},
        {plain, video, false, back | zero | on | m28, 4 | 8 | 16},
        {plain, video, true, back | m28, 4},
        {plain, video, true, back | zero | m28, 4 | 16},
        {video, plain, false, 0, 2 | 1 | 8}, // a source never drawn into
        {used, plain, false, 0, 2 | 1},
        {used, video, false, back | zero | on, 4 | 1 | 8},
    };
    for (const Case &c : cases) {
        g_destState = c.state;
        const int before = log.bltCalls;
        if (c.masked) BltBitmapMask(c.src, 0, 0, c.dst, 0, 0, 2, 2, mask);
        else BltBitmap(c.src, 0, 0, c.dst, 0, 0, 2, 2);
        EXPECT_EQ(log.bltCalls, before + 1);
        EXPECT_EQ(log.bltFlags, c.flags) << "state " << c.state;
    }

    // Fills of a video bitmap: mode 2, and a display's own colour in mode 28.
    g_destState = 0;
    FillRect(video, 0, 0, 1, 1, 0x10203040u);
    EXPECT_EQ(log.fillRecord.mode, CX_FILL_VIDEO);
    EXPECT_EQ(log.fillRecord.colour, 0xEF203040u);
    g_destState = back | zero | m28;
    FillRect(video, 0, 0, 1, 1, 0x10203040u);
    EXPECT_EQ(log.fillRecord.mode, CX_FILL_VIDEO | CX_FILL_BACKMODE28);
    EXPECT_EQ(log.fillRecord.colour, 0x10203040u);
    SetBlitDestQuery(nullptr);
    g_destState = 0;
    FreeMask(mask);
    FreeBitmap(plain);
    FreeBitmap(video);
    FreeBitmap(used);
}

TEST(Blit, SoftwareKernelsRunOnAnAdaptersOwnBitmaps) {
    AdapterPlugin rgb("rgb565");
    cxBitmap *src = AllocBitmap(5, 4, 0, 0), *dst = AllocBitmap(5, 4, 0, 0);
    ASSERT_TRUE(src && dst);
    ASSERT_EQ(FillRect(src, 0, 0, 5, 4, 0xFFFF0000u), 0);
    ASSERT_EQ(FillRect(dst, 0, 0, 5, 4, 0xFF0000FFu), 0);
    ASSERT_EQ(BltBitmap(src, 0, 0, dst, 1, 1, 2, 2), 0);
    EXPECT_EQ(Get(dst, 1, 1), 0xF800u);
    EXPECT_EQ(Get(dst, 0, 0), 0x001Fu);
    cxBitmap *alpha = AllocAlphaChannel(5, 4, 1, nullptr, 0);
    cxOsBitmapLock l;
    ASSERT_NE(LockBitmap(alpha, 0, &l), 0);
    l.pixels[l.rowLength * 3 + 4] = 255;
    UnlockBitmap(&l);
    ASSERT_EQ(BltBitmapAlpha(src, 3, 2, dst, 3, 2, 2, 2, alpha), 0);
    EXPECT_EQ(Get(dst, 4, 3), 0xF800u);
    EXPECT_EQ(Get(dst, 3, 3), 0x001Fu);
    EXPECT_EQ(rgb.log().lockCalls, rgb.log().unlocks);
    FreeAlphaChannel(alpha);
    FreeBitmap(src);
    FreeBitmap(dst);
}

TEST(Blit, AnUncallableAdapterDrawsNothing) {
    AdapterPlugin stub("uncallable");
    std::vector<uint8_t> pixels(64, 0x55);
    TestStore store{TEST_STORE_MAGIC, 0, 4, 4, 16, pixels.data(), 0, 0, 0, nullptr};
    cxBitmap a{CX_BITMAP_COLOUR, &store, 4, 4, 0, 0}, b = a;
    EXPECT_EQ(BltBitmap(&a, 0, 0, &b, 1, 1, 2, 2), 0);
    EXPECT_EQ(FillRect(&b, 0, 0, 4, 4, 0), 0);
    EXPECT_EQ(stub.log().bltCalls + stub.log().fillCalls + stub.log().lockCalls, 0);
    for (uint8_t v : pixels) ASSERT_EQ(v, 0x55);
}

} // namespace
