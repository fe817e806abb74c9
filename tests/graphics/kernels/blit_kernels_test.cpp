#include "graphics/kernels/blit_kernels.h"

#include <gtest/gtest.h>

#include <random>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/lock_buffer.h"

using cxtest::PixelBuffer;

namespace {

// The blend as written: d + (((s - d) * a) >> 8) per channel in the
// working form (5-6-5 for 2-byte formats, 0x00RRGGBB otherwise).
uint32_t ReferenceBlend(uint32_t s, uint32_t d, int a, uint32_t f) {
    auto mix = [&](int sc, int dc) { return dc + (((sc - dc) * a) >> 8); };
    if (GetBytesPerPixel(f) == 2) {
        const uint32_t ws = FormatToRGB565(f, s), wd = FormatToRGB565(f, d);
        const int r = mix((ws & 0xF800) >> 8, (wd & 0xF800) >> 8), g = mix((ws & 0x7E0) >> 3, (wd & 0x7E0) >> 3),
                  b = mix((ws << 3) & 0xFF, (wd << 3) & 0xFF);
        return RGB565ToFormat(f, ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
    }
    const uint32_t cs = PixelToColor(s, f, 0), cd = PixelToColor(d, f, 0);
    const int r = mix((cs >> 16) & 0xFF, (cd >> 16) & 0xFF), g = mix((cs >> 8) & 0xFF, (cd >> 8) & 0xFF),
              b = mix(cs & 0xFF, cd & 0xFF);
    return ColorToPixel(uint32_t((r << 16) | (g << 8) | b), f, 0);
}

TEST(BlendKernels, EndsAreExactAndTheMiddleFollowsTheFormulaInEveryFormat) {
    for (uint32_t f = 0; f < CX_PIXFMT_COUNT; ++f) {
        SCOPED_TRACE(f);
        PixelBuffer src(f, 40, 3), dst(f, 40, 3), alpha(CX_PIXFMT_ALPHA, 40, 3);
        src.Randomise(f + 1);
        dst.Randomise(f + 100);
        alpha.Randomise(f + 200);
        for (int x = 0; x < 40; x += 3) alpha.bytes[x] = 0, alpha.bytes[x + 1] = 255;
        PixelBuffer before = dst;
        cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock();
        ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 40, 3, &a, nullptr, 0), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 40; ++x) {
                const int av = alpha.bytes[size_t(y) * alpha.rowLength + x];
                const uint32_t sp = src.Get(x, y), dp = before.Get(x, y), got = dst.Get(x, y);
                if (av == 255) ASSERT_EQ(got, sp) << x;
                else if (av == 0) ASSERT_EQ(got, dp) << x;
                else ASSERT_EQ(got, ReferenceBlend(sp, dp, av, f)) << x << " a=" << av;
            }
        // Nothing beyond the rectangle moved.
        for (int y = 0; y < 3; ++y)
            for (int x = 40; x < dst.rowLength; ++x) ASSERT_EQ(dst.Get(x, y), before.Get(x, y));
    }
}

TEST(BlendKernels, BlendedPixelOfA32BitFormatHasAlphaZero) {
    PixelBuffer src(12, 1, 1), dst(12, 1, 1), alpha(CX_PIXFMT_ALPHA, 1, 1);
    src.Set(0, 0, 0xFF0000FF);
    dst.Set(0, 0, 0x0000FFFF);
    alpha.bytes[0] = 128;
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock();
    ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 1, 1, &a, nullptr, 0), 0);
    EXPECT_EQ(dst.Get(0, 0) & 0xFF, 0u);
    EXPECT_EQ(dst.Get(0, 0), 0x7F007F00u);
}

TEST(BlendKernels, CopyModeAndCompositeMode) {
    for (uint32_t f : {4u, 10u, 13u}) {
        PixelBuffer src(f, 4, 1), dst(f, 4, 1), alpha(CX_PIXFMT_ALPHA, 4, 1), dalpha(CX_PIXFMT_ALPHA, 4, 1);
        src.Randomise(1);
        dst.Randomise(2);
        const uint8_t av[4] = {0, 1, 200, 255};
        std::copy(av, av + 4, alpha.bytes.begin());
        PixelBuffer before = dst;
        cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock(), da = dalpha.Lock();
        ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 4, 1, &a, nullptr, 1), 0);
        EXPECT_EQ(dst.Get(0, 0), before.Get(0, 0));
        for (int x = 1; x < 4; ++x) EXPECT_EQ(dst.Get(x, 0), src.Get(x, 0));

        // Over an empty destination alpha the source shows at full strength
        // (rounded to the format's precision); alpha 0 and 255 stay exact.
        dst = before;
        d = dst.Lock();
        ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 4, 1, &a, &da, 2), 0);
        EXPECT_EQ(dst.Get(0, 0), before.Get(0, 0));
        EXPECT_EQ(dst.Get(3, 0), src.Get(3, 0));
        EXPECT_EQ(PixelToColor(dst.Get(2, 0), f, 0), PixelToColor(src.Get(2, 0), f, 0)) << f;
        // Mode 2 needs a destination alpha.
        EXPECT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 4, 1, &a, nullptr, 2), ERR_LOCKBMAP);
    }
}

TEST(BlendKernels, CompositeOverHalfCoveredDestination) {
    PixelBuffer src(10, 1, 1), dst(10, 1, 1), alpha(CX_PIXFMT_ALPHA, 1, 1), dalpha(CX_PIXFMT_ALPHA, 1, 1);
    src.Set(0, 0, 0x00FF0000);
    dst.Set(0, 0, 0x000000FF);
    alpha.bytes[0] = 128;
    dalpha.bytes[0] = 128;
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock(), da = dalpha.Lock();
    ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 1, 1, &a, &da, 2), 0);
    // out = (128*127 + 255*128 + 127) / 255 = 192, w = (128*127 + 127) / 255 = 64,
    // red = (255*128 + 127) / 192 = 170, blue = (255*64 + 127) / 192 = 85.
    EXPECT_EQ(dst.Get(0, 0), 0x00AA0055u);

    // A faint source over an empty destination keeps its colour: the
    // division rounds by half the divisor, not by a fixed 127.
    src.Set(0, 0, 0x00204060);
    dst.Set(0, 0, 0);
    alpha.bytes[0] = 1;
    dalpha.bytes[0] = 0;
    ASSERT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 1, 1, &a, &da, 2), 0);
    EXPECT_EQ(dst.Get(0, 0), 0x00204060u);
}

TEST(FillKernels, PaintAndBlendInEveryFormat) {
    for (uint32_t f = 0; f < CX_PIXFMT_COUNT; ++f) {
        SCOPED_TRACE(f);
        PixelBuffer dst(f, 9, 4);
        dst.Randomise(f);
        PixelBuffer before = dst;
        cxOsBitmapLock d = dst.Lock();
        ASSERT_EQ(FillRectSoft(&d, 2, 1, 5, 2, 0x123456, 255), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x) {
                const bool in = x >= 2 && x < 7 && y >= 1 && y < 3;
                ASSERT_EQ(dst.Get(x, y), in ? ColorToPixel(0x123456, f, 0) : before.Get(x, y)) << x << "," << y;
            }
        before = dst;
        ASSERT_EQ(FillRectSoft(&d, 0, 0, 9, 4, 0xFFFFFF, 0), 0); // level 0 leaves everything
        ASSERT_EQ(dst.bytes, before.bytes);
        ASSERT_EQ(FillRectSoft(&d, 0, 0, 9, 4, 0xFFFFFF, 100), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(dst.Get(x, y), ReferenceBlend(ColorToPixel(0xFFFFFF, f, 0), before.Get(x, y), 100, f));
    }
}

TEST(CopyKernels, SameFormatCopiesBitsAndOtherFormatsConvert) {
    for (uint32_t sf = 0; sf < CX_PIXFMT_COUNT; ++sf)
        for (uint32_t df = 0; df < CX_PIXFMT_COUNT; ++df) {
            PixelBuffer src(sf, 7, 3), dst(df, 7, 3);
            src.Randomise(sf * 31 + 1);
            dst.Randomise(df * 17 + 2);
            PixelBuffer before = dst;
            cxOsBitmapLock s = src.Lock(), d = dst.Lock();
            ASSERT_EQ(BltBitmapSoft(&s, 1, 1, &d, 2, 0, 4, 2), 0);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 7; ++x) {
                    const uint32_t got = dst.Get(x, y);
                    if (x < 2 || x >= 6 || y >= 2) {
                        ASSERT_EQ(got, before.Get(x, y));
                        continue;
                    }
                    const uint32_t sp = src.Get(x - 1, y + 1);
                    if (sf == df) {
                        ASSERT_EQ(got, sp);
                    } else {
                        // Colour by meaning; between 32-bit formats the
                        // destination keeps its own alpha.
                        const uint32_t colour = PixelToColor(sp, sf, 1);
                        uint32_t expect = ColorToPixel(colour, df, 1);
                        if (sf >= 10 && df >= 10)
                            expect = ColorToPixel((colour & 0xFFFFFF) | (PixelToColor(before.Get(x, y), df, 1) & 0xFF000000),
                                                  df, 1);
                        ASSERT_EQ(got, expect) << sf << "->" << df;
                    }
                }
        }
}

TEST(CopyKernels, OverlappingScrollInOneBuffer) {
    for (uint32_t f : {4u, 8u, 10u}) {
        PixelBuffer buf(f, 5, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 5; ++x) buf.Set(x, y, uint32_t(y * 8 + x + 1));
        cxOsBitmapLock l = buf.Lock();
        ASSERT_EQ(BltBitmapSoft(&l, 0, 0, &l, 1, 2, 4, 4), 0); // down and right
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(buf.Get(x + 1, y + 2), uint32_t(y * 8 + x + 1)) << f;
    }
}

// Mask and alpha blits within one buffer give what they give from a
// separate copy of the source, in every direction of the overlap.
TEST(CopyKernels, MaskAndAlphaBlitsSurviveAnOverlapInOneBuffer) {
    struct Move {
        int sx, sy, dx, dy;
    };
    const Move moves[] = {{0, 0, 1, 2}, {1, 2, 0, 0}, {0, 0, 3, 0}, {3, 0, 0, 0}, {0, 0, 0, 3}, {0, 3, 0, 0}};
    for (uint32_t f : {4u, 8u, 10u})
        for (const Move &mv : moves)
            for (int kind = 0; kind < 3; ++kind) {  // mask, alpha copy, alpha composite
                SCOPED_TRACE(testing::Message() << "format " << f << " kind " << kind << " move " << mv.sx << ","
                                                << mv.sy << "->" << mv.dx << "," << mv.dy);
                PixelBuffer shared(f, 9, 8);
                shared.Randomise(f * 7 + uint32_t(kind));
                PixelBuffer mask(CX_PIXFMT_MASK, 9, 8), alpha(CX_PIXFMT_ALPHA, 9, 8);
                mask.Randomise(5);
                alpha.Randomise(6);
                PixelBuffer source = shared, expected = shared;
                cxOsBitmapLock l = shared.Lock(), sl = source.Lock(), el = expected.Lock();
                cxOsBitmapLock ml = mask.Lock(), al = alpha.Lock();
                const int w = 6, h = 5;
                if (kind == 0) {
                    ASSERT_EQ(BltBitmapMaskSoft(&sl, mv.sx, mv.sy, &el, mv.dx, mv.dy, w, h, &ml), 0);
                    ASSERT_EQ(BltBitmapMaskSoft(&l, mv.sx, mv.sy, &l, mv.dx, mv.dy, w, h, &ml), 0);
                } else {
                    ASSERT_EQ(BltBitmapAlphaKernel(&sl, mv.sx, mv.sy, &el, mv.dx, mv.dy, w, h, &al, nullptr, kind - 1), 0);
                    ASSERT_EQ(BltBitmapAlphaKernel(&l, mv.sx, mv.sy, &l, mv.dx, mv.dy, w, h, &al, nullptr, kind - 1), 0);
                }
                EXPECT_EQ(shared.bytes, expected.bytes);
            }
}

TEST(MaskKernels, BitOrderFollowsTheSourceColumn) {
    for (uint32_t sf : {4u, 9u, 10u}) {
        for (uint32_t df : {sf, 11u, 12u, 0u}) {
            PixelBuffer src(sf, 20, 2), dst(df, 20, 2), mask(CX_PIXFMT_MASK, 20, 2);
            src.Randomise(3);
            dst.Randomise(4);
            mask.SetBit(5, 1, true);
            mask.SetBit(8, 1, true);
            mask.SetBit(13, 1, true);
            PixelBuffer before = dst;
            cxOsBitmapLock s = src.Lock(), d = dst.Lock(), m = mask.Lock();
            // Source starts at the odd column 5: its first pixel reads bit 5.
            ASSERT_EQ(BltBitmapMaskSoft(&s, 5, 1, &d, 0, 0, 10, 1, &m), 0);
            for (int x = 0; x < 20; ++x) {
                const bool copied = x == 0 || x == 3 || x == 8;
                const uint32_t expect = copied ? ColorToPixel(PixelToColor(src.Get(x + 5, 1), sf, 1), df, sf == df)
                                               : before.Get(x, 0);
                if (copied && sf == df) EXPECT_EQ(dst.Get(x, 0), src.Get(x + 5, 1));
                else EXPECT_EQ(dst.Get(x, 0), expect) << sf << "->" << df << " x=" << x;
            }
        }
    }
}

// Rows mixing all-set, all-clear and mixed mask bytes (and the same for
// alpha groups), started at every column of a byte: each pixel follows its
// own bit or alpha byte.
TEST(MaskKernels, WholeBytesAndMixedBytesFollowEachPixel) {
    const int W = 67, H = 3;
    for (uint32_t f : {4u, 10u}) {
        for (int sx = 0; sx < 8; ++sx) {
            SCOPED_TRACE(std::to_string(f) + " from column " + std::to_string(sx));
            PixelBuffer src(f, W + 8, H), dst(f, W, H), mask(CX_PIXFMT_MASK, W + 8, H), alpha(CX_PIXFMT_ALPHA, W + 8, H);
            src.Randomise(7 + sx);
            dst.Randomise(8 + sx);
            std::mt19937 rng(9 + sx);
            for (auto &b : mask.bytes) {
                const uint32_t r = rng() % 3;
                b = r == 0 ? 0x00 : r == 1 ? 0xFF : uint8_t(rng());
            }
            for (size_t i = 0; i < alpha.bytes.size(); i += 8) {
                const uint32_t r = rng() % 3;
                for (size_t k = i; k < i + 8 && k < alpha.bytes.size(); ++k)
                    alpha.bytes[k] = r == 0 ? 0 : r == 1 ? uint8_t(1 + rng() % 255) : uint8_t(rng() % 2 ? 0 : rng());
            }
            PixelBuffer before = dst;
            cxOsBitmapLock s = src.Lock(), d = dst.Lock(), m = mask.Lock(), a = alpha.Lock();
            ASSERT_EQ(BltBitmapMaskSoft(&s, sx, 0, &d, 0, 0, W, H, &m), 0);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    ASSERT_EQ(dst.Get(x, y), mask.Bit(sx + x, y) ? src.Get(sx + x, y) : before.Get(x, y)) << x << "," << y;
            dst = before;
            d = dst.Lock();
            ASSERT_EQ(BltBitmapAlphaKernel(&s, sx, 0, &d, 0, 0, W, H, &a, nullptr, 1), 0);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    ASSERT_EQ(dst.Get(x, y), *alpha.At(sx + x, y) ? src.Get(sx + x, y) : before.Get(x, y)) << x << "," << y;
        }
    }
}

TEST(KernelGuard, RejectsBadJobsBeforeWriting) {
    PixelBuffer src(10, 8, 8), dst(10, 8, 8), alpha(CX_PIXFMT_ALPHA, 8, 8);
    dst.Randomise(5);
    const PixelBuffer before = dst;
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock();
    EXPECT_EQ(BltBitmapSoft(&s, 0, 0, &d, 5, 0, 4, 1), ERR_COORDSRANGE);
    EXPECT_EQ(BltBitmapSoft(&s, -1, 0, &d, 0, 0, 4, 1), ERR_COORDSRANGE);
    EXPECT_EQ(BltBitmapSoft(&s, 0, 0, &d, 0x7FFFFFFF, 0, 2, 1), ERR_COORDSRANGE);
    EXPECT_EQ(BltBitmapAlphaKernel(&s, 4, 4, &d, 0, 0, 5, 5, &a, nullptr, 0), ERR_COORDSRANGE);
    EXPECT_EQ(FillRectSoft(&d, 0, 7, 1, 2, 0, 255), ERR_COORDSRANGE);
    // Empty rectangles do nothing.
    EXPECT_EQ(BltBitmapSoft(&s, 0, 0, &d, 0, 0, 0, 5), 0);
    EXPECT_EQ(FillRectSoft(&d, 0, 0, 5, -3, 0, 255), 0);

    cxOsBitmapLock unlocked = d;
    unlocked.locked = 0;
    EXPECT_EQ(BltBitmapSoft(&s, 0, 0, &unlocked, 0, 0, 1, 1), ERR_LOCKBMAP);
    cxOsBitmapLock wrongBpp = d;
    wrongBpp.bytesPerPixel = 2;
    EXPECT_EQ(FillRectSoft(&wrongBpp, 0, 0, 1, 1, 0, 255), ERR_PIXELFORMAT);
    cxOsBitmapLock shortRows = d;
    shortRows.rowLength = 4;
    EXPECT_EQ(FillRectSoft(&shortRows, 0, 0, 1, 1, 0, 255), ERR_BADDIMENSIONS);
    cxOsBitmapLock huge = d;
    huge.rowLength = 0x1000000;
    huge.height = 0x1000000;
    EXPECT_EQ(FillRectSoft(&huge, 0, 0, 1, 1, 0, 255), ERR_BADDIMENSIONS);
    cxOsBitmapLock notAlpha = a;
    notAlpha.pixelFormat = CX_PIXFMT_MASK;
    EXPECT_EQ(BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, 1, 1, &notAlpha, nullptr, 0), ERR_PIXELFORMAT);
    EXPECT_EQ(dst.bytes, before.bytes);
}

TEST(CoverageKernels, ModesOfAColourThroughCoverage) {
    PixelBuffer dst(10, 5, 1), dalpha(CX_PIXFMT_ALPHA, 5, 1);
    const uint8_t cov[5] = {0, 64, 128, 255, 16};
    const uint32_t red = 0x00FF0000;
    auto run = [&](int mode) {
        for (int x = 0; x < 5; ++x) dst.Set(x, 0, 0x000000FF);
        cxAlphaChannelJob j{};
        j.dstPixels = dst.bytes.data();
        j.dstRowLength = dst.rowLength;
        j.width = 5;
        j.height = 1;
        j.coverage = cov;
        j.coverageRowLength = 5;
        j.dstAlpha = dalpha.bytes.data();
        j.dstAlphaRowLength = dalpha.rowLength;
        j.pixelFormat = 10;
        j.colour = red;
        j.mode = mode;
        j.level = 255;
        BltAlphaChannelPixels32(&j);
    };
    run(0);
    EXPECT_EQ(dst.Get(0, 0), 0xFFu);
    for (int x = 1; x < 5; ++x) EXPECT_EQ(dst.Get(x, 0), red);
    run(1);
    EXPECT_EQ(dst.Get(0, 0), 0xFFu);
    EXPECT_EQ(dst.Get(2, 0), 0x007F007Fu);
    EXPECT_EQ(dst.Get(3, 0), red);
    run(4); // 64 is full coverage, 16 counts as 64
    EXPECT_EQ(dst.Get(1, 0), red);
    EXPECT_EQ(dst.Get(4, 0), 0x003F00BFu);
    EXPECT_EQ(dst.Get(2, 0), 0xFFu); // (128 * 4) & 0xFF = 0
    std::fill(dalpha.bytes.begin(), dalpha.bytes.end(), 0);
    dalpha.bytes[3] = 100;
    run(2); // empty destination alpha takes the colour and the coverage
    EXPECT_EQ(dst.Get(2, 0), red);
    EXPECT_EQ(dalpha.bytes[2], 128);
    EXPECT_EQ(dalpha.bytes[0], 0);
    EXPECT_EQ(dst.Get(3, 0), red); // 255 over 100: blended at 255 is the colour
    EXPECT_EQ(dalpha.bytes[3], 100 + (((255 - 100) * 255) >> 8));
}

TEST(ArgbRows, StoreAndFastRead) {
    const uint32_t argb[2] = {0x80FF8040, 0x11223344};
    for (uint32_t f : {4u, 10u, 11u, 12u, 13u}) {
        PixelBuffer px(f, 2, 1);
        cxARGBRowsJob j{const_cast<uint32_t *>(argb), 2, px.bytes.data(), 0, 0, 2, 1, px.rowLength, f};
        if (f == 4) StoreARGBPixels16(&j);
        else StoreARGBPixels32(&j);
        EXPECT_EQ(px.Get(0, 0), ColorToPixel(argb[0], f, f == 10)) << f;
        uint32_t back[2] = {};
        j.argb = back;
        ASSERT_EQ(ReadARGBFast(&j), 1);
        const bool alpha = f == 10; // 11 would keep it, but import dropped it
        EXPECT_EQ(back[0], PixelToColor(px.Get(0, 0), f, alpha)) << f;
    }
    PixelBuffer px(0, 2, 1);
    uint32_t back[2] = {7, 7};
    cxARGBRowsJob j{back, 2, px.bytes.data(), 0, 0, 2, 1, px.rowLength, 0};
    EXPECT_EQ(ReadARGBFast(&j), 0);
    EXPECT_EQ(back[0], 7u);
}

} // namespace
