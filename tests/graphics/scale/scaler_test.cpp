#include "graphics/scale/scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/lock_buffer.h"

using cxtest::PixelBuffer;

namespace {

cxScaleJob Job(PixelBuffer &src, PixelBuffer &dst, bool smooth) {
    cxScaleJob j{};
    j.srcPixels = src.bytes.data();
    j.dstPixels = dst.bytes.data();
    j.srcWidth = src.width;
    j.srcHeight = src.height;
    j.dstWidth = dst.width;
    j.dstHeight = dst.height;
    j.srcRowLength = src.rowLength;
    j.dstRowLength = dst.rowLength;
    j.smooth = smooth;
    j.pixelFormat = src.format;
    j.bytesPerPixel = int32_t(src.unit);
    return j;
}

TEST(Scaler, NearestDoublesACheckerExactly) {
    for (uint32_t f : {4u, 8u, 10u}) {
        PixelBuffer src(f, 2, 2), dst(f, 4, 4, 0);
        const uint32_t a = ColorToPixel(0xFFFFFF, f, 0), b = ColorToPixel(0x000080, f, 0);
        src.Set(0, 0, a), src.Set(1, 0, b), src.Set(0, 1, b), src.Set(1, 1, a);
        cxScaleJob j = Job(src, dst, false);
        ASSERT_EQ(RunScaleJob(&j), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Get(x, y), ((x / 2 + y / 2) % 2) ? b : a) << f;
    }
}

TEST(Scaler, NearestRepeatsAndSkipsEvenly) {
    PixelBuffer src(10, 4, 1), up(10, 8, 1, 0), third(10, 12, 1, 0), down(10, 2, 1, 0);
    for (int x = 0; x < 4; ++x) src.Set(x, 0, uint32_t(x + 1));
    cxScaleJob j = Job(src, up, false);
    ASSERT_EQ(RunScaleJob(&j), 0);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(up.Get(x, 0), uint32_t(x / 2 + 1));
    // Three times wider: every source column exactly three times.
    j = Job(src, third, false);
    ASSERT_EQ(RunScaleJob(&j), 0);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(third.Get(x, 0), uint32_t(x / 3 + 1)) << x;
    j = Job(src, down, false);
    ASSERT_EQ(RunScaleJob(&j), 0);
    EXPECT_EQ(down.Get(0, 0), 1u);
    EXPECT_EQ(down.Get(1, 0), 3u);
}

TEST(Scaler, SmoothKeepsTheCornersExactly) {
    struct Size {
        int sw, sh, dw, dh;
    };
    const Size sizes[] = {{7, 5, 23, 11}, {100, 3, 17, 9}, {3, 3, 1000, 2}, {640, 480, 1920, 1080}, {5, 9, 5, 9}};
    for (uint32_t f : {0u, 4u, 7u, 9u, 10u, 13u}) {
        for (const Size &s : sizes) {
            PixelBuffer src(f, s.sw, s.sh), dst(f, s.dw, s.dh, 0);
            src.Randomise(uint32_t(s.sw * 7 + f));
            cxScaleJob j = Job(src, dst, true);
            ASSERT_EQ(RunScaleJob(&j), 0);
            const auto canon = [&](uint32_t p) { return ColorToPixel(PixelToColor(p, f, 1), f, 1); };
            EXPECT_EQ(dst.Get(0, 0), canon(src.Get(0, 0))) << f;
            EXPECT_EQ(dst.Get(s.dw - 1, 0), canon(src.Get(s.sw - 1, 0))) << f << " " << s.sw;
            EXPECT_EQ(dst.Get(0, s.dh - 1), canon(src.Get(0, s.sh - 1))) << f;
            EXPECT_EQ(dst.Get(s.dw - 1, s.dh - 1), canon(src.Get(s.sw - 1, s.sh - 1))) << f;
        }
    }
}

TEST(Scaler, SmoothInterpolatesBetweenNeighbours) {
    PixelBuffer src(10, 2, 1), dst(10, 3, 1, 0);
    src.Set(0, 0, 0x00000000);
    src.Set(1, 0, 0xFF00FF64);
    cxScaleJob j = Job(src, dst, true);
    ASSERT_EQ(RunScaleJob(&j), 0);
    // Half way: a + ((32768 * (b - a)) >> 16) per byte.
    EXPECT_EQ(dst.Get(1, 0), 0x7F007F32u);
}

// Every format interpolates the same channel values: scaling in format f
// and scaling the same picture in format 10 agree once converted to f.
TEST(Scaler, SmoothAgreesAcrossFormats) {
    for (uint32_t f : {0u, 4u, 7u, 8u, 12u}) {
        PixelBuffer src(f, 31, 17), src10(10, 31, 17), dst(f, 50, 40), dst10(10, 50, 40), back(f, 50, 40);
        src.Randomise(f + 9);
        for (int y = 0; y < 17; ++y) ConvertPixelRow(src.At(0, y), f, src10.At(0, y), 10, 31);
        cxScaleJob j = Job(src, dst, true), j10 = Job(src10, dst10, true);
        ASSERT_EQ(RunScaleJob(&j), 0);
        ASSERT_EQ(RunScaleJob(&j10), 0);
        for (int y = 0; y < 40; ++y) {
            ConvertPixelRow(dst10.At(0, y), 10, back.At(0, y), f, 50);
            for (int x = 0; x < 50; ++x) {
                if (f >= 10) {
                    ASSERT_EQ(PixelToColor(dst.Get(x, y), f, 0), PixelToColor(back.Get(x, y), f, 0)) << f;
                } else {
                    ASSERT_EQ(dst.Get(x, y), back.Get(x, y)) << f << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Scaler, ThinTargetsAndHugeUpscalesStayInBounds) {
    // Buffers without row padding, so that any write or read past the last
    // pixel is outside the allocation.
    struct Case {
        int sw, sh, dw, dh;
    };
    const Case cases[] = {{1, 1, 3000, 1}, {1, 1, 1, 3000}, {1, 1, 700, 700}, {37, 23, 1, 1}, {37, 23, 1, 50},
                          {37, 23, 50, 1}, {1, 40, 1, 1}};
    for (uint32_t f : {4u, 8u, 10u})
        for (int smooth = 0; smooth < 2; ++smooth)
            for (const Case &c : cases) {
                PixelBuffer src(f, c.sw, c.sh, 0), dst(f, c.dw, c.dh, 0);
                PixelBuffer sa(CX_PIXFMT_ALPHA, c.sw, c.sh, 0), da(CX_PIXFMT_ALPHA, c.dw, c.dh, 0);
                PixelBuffer sm(CX_PIXFMT_MASK, c.sw, c.sh, 0), dm(CX_PIXFMT_MASK, c.dw, c.dh, 0);
                src.Randomise(1);
                sa.Randomise(2);
                std::fill(sm.bytes.begin(), sm.bytes.end(), 0xFF);
                cxScaleJob j = Job(src, dst, smooth);
                j.srcAlpha = sa.bytes.data(), j.dstAlpha = da.bytes.data();
                j.srcAlphaRowLength = sa.rowLength, j.dstAlphaRowLength = da.rowLength;
                j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
                j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
                ASSERT_EQ(RunScaleJob(&j), 0);
                // Single-sample targets take the first source pixel.
                if (c.dw == 1 && c.dh == 1) {
                    EXPECT_EQ(dst.Get(0, 0), src.Get(0, 0));
                }
                if (c.sw == 1 && c.sh == 1) {
                    EXPECT_EQ(dst.Get(c.dw - 1, c.dh - 1), src.Get(0, 0));
                    EXPECT_EQ(da.bytes.back(), sa.bytes[0]);
                }
            }
}

TEST(Scaler, MaskAndAlphaFollowThePixels) {
    PixelBuffer src(10, 4, 2), dst(10, 8, 4, 0);
    PixelBuffer sm(CX_PIXFMT_MASK, 16, 2), dm(CX_PIXFMT_MASK, 8, 4);
    PixelBuffer sa(CX_PIXFMT_ALPHA, 4, 2), da(CX_PIXFMT_ALPHA, 8, 4);
    // The source starts at column 3 of its mask.
    sm.SetBit(3 + 1, 0, true);
    sm.SetBit(3 + 3, 1, true);
    for (int x = 0; x < 4; ++x) sa.bytes[x] = uint8_t(x * 10), sa.bytes[size_t(sa.rowLength) + x] = uint8_t(100 + x);
    cxScaleJob j = Job(src, dst, false);
    j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
    j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
    j.srcMaskBitOffset = 3;
    j.srcAlpha = sa.bytes.data(), j.dstAlpha = da.bytes.data();
    j.srcAlphaRowLength = sa.rowLength, j.dstAlphaRowLength = da.rowLength;
    ASSERT_EQ(RunScaleJob(&j), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(dm.Bit(x, y), (y < 2 && x / 2 == 1) || (y >= 2 && x / 2 == 3)) << x << "," << y;
            EXPECT_EQ(da.bytes[size_t(y) * da.rowLength + x], y < 2 ? (x / 2) * 10 : 100 + x / 2);
        }
}

// Pixels, alpha and mask are picked from the same source position, for
// widths that end inside a mask byte, masks starting inside a byte, and
// both directions; the mask bits past the width keep what they held.
TEST(Scaler, NearestPicksAllPlanesFromOneColumnAndKeepsMaskPadding) {
    struct Case {
        uint32_t format;
        int32_t sw, sh, dw, dh, bitOffset;
    };
    const Case cases[] = {{10, 24, 7, 37, 11, 5}, {10, 50, 9, 21, 4, 0}, {4, 13, 3, 61, 5, 7}, {8, 9, 4, 19, 6, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.format << ": " << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        PixelBuffer src(c.format, c.sw, c.sh), dst(c.format, c.dw, c.dh);
        PixelBuffer sm(CX_PIXFMT_MASK, c.bitOffset + c.sw, c.sh), dm(CX_PIXFMT_MASK, c.dw, c.dh);
        PixelBuffer sa(CX_PIXFMT_ALPHA, c.sw, c.sh), da(CX_PIXFMT_ALPHA, c.dw, c.dh);
        src.Randomise(1), sm.Randomise(2), sa.Randomise(3), dm.Randomise(4);
        const PixelBuffer maskBefore = dm;
        cxScaleJob j = Job(src, dst, false);
        j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
        j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
        j.srcMaskBitOffset = c.bitOffset;
        j.srcAlpha = sa.bytes.data(), j.dstAlpha = da.bytes.data();
        j.srcAlphaRowLength = sa.rowLength, j.dstAlphaRowLength = da.rowLength;
        ASSERT_EQ(RunScaleJob(&j), 0);
        for (int32_t y = 0; y < c.dh; ++y) {
            const int32_t sy = int32_t(int64_t(y) * c.sh / c.dh);
            for (int32_t x = 0; x < c.dw; ++x) {
                const int32_t sx = int32_t(int64_t(x) * c.sw / c.dw);
                ASSERT_EQ(std::memcmp(dst.At(x, y), src.At(sx, sy), src.unit), 0) << x << "," << y;
                ASSERT_EQ(*da.At(x, y), *sa.At(sx, sy)) << x << "," << y;
                ASSERT_EQ(dm.Bit(x, y), sm.Bit(c.bitOffset + sx, sy)) << x << "," << y;
            }
            for (int32_t x = c.dw; x < (c.dw + 7) / 8 * 8; ++x) ASSERT_EQ(dm.Bit(x, y), maskBefore.Bit(x, y)) << x;
        }
    }
}

// Upscaling 4-byte pixels with any of the planes: blocks of eight columns
// picked from a window of neighbouring source columns, up to the last
// block, whose window would reach past the row.
TEST(Scaler, NearestUpscalePicksEveryPlaneWithOrWithoutTheOthers) {
    struct Case {
        int32_t sw, dw, bitOffset;
    };
    const Case cases[] = {{100, 150, 3}, {64, 67, 0}, {40, 40, 1}, {9, 64, 6}, {16, 17, 0}};
    for (const Case &c : cases)
        for (int planes = 0; planes < 4; ++planes) {
            const bool alpha = planes & 1, mask = planes & 2;
            SCOPED_TRACE(testing::Message() << c.sw << " -> " << c.dw << " alpha " << alpha << " mask " << mask);
            const int32_t sh = 3, dh = 5;
            PixelBuffer src(10, c.sw, sh), dst(10, c.dw, dh);
            PixelBuffer sm(CX_PIXFMT_MASK, c.bitOffset + c.sw, sh), dm(CX_PIXFMT_MASK, c.dw, dh);
            PixelBuffer sa(CX_PIXFMT_ALPHA, c.sw, sh), da(CX_PIXFMT_ALPHA, c.dw, dh);
            src.Randomise(5), sm.Randomise(6), sa.Randomise(7);
            cxScaleJob j = Job(src, dst, false);
            if (mask) {
                j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
                j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
                j.srcMaskBitOffset = c.bitOffset;
            }
            if (alpha) {
                j.srcAlpha = sa.bytes.data(), j.dstAlpha = da.bytes.data();
                j.srcAlphaRowLength = sa.rowLength, j.dstAlphaRowLength = da.rowLength;
            }
            ASSERT_EQ(RunScaleJob(&j), 0);
            for (int32_t y = 0; y < dh; ++y) {
                const int32_t sy = int32_t(int64_t(y) * sh / dh);
                for (int32_t x = 0; x < c.dw; ++x) {
                    const int32_t sx = int32_t(int64_t(x) * c.sw / c.dw);
                    ASSERT_EQ(std::memcmp(dst.At(x, y), src.At(sx, sy), 4), 0) << x << "," << y;
                    if (alpha) {
                        ASSERT_EQ(*da.At(x, y), *sa.At(sx, sy)) << x << "," << y;
                    }
                    if (mask) {
                        ASSERT_EQ(dm.Bit(x, y), sm.Bit(c.bitOffset + sx, sy)) << x << "," << y;
                    }
                }
            }
        }
}

// Smooth upscaling of 4-byte pixels and their alpha, every byte against
// the 16.16 interpolation written out: columns at i (sw - 1) / (dw - 1)
// with even fractions, across then down.
TEST(Scaler, SmoothUpscaleInterpolatesPixelsAndAlphaByTheFormula) {
    const auto position = [](int32_t i, int32_t src, int32_t dst) {
        return dst == 1 ? 0u : uint32_t((uint64_t(i) * (uint64_t(src - 1) << 15)) / uint64_t(dst - 1)) << 1;
    };
    const auto lerp = [](uint8_t a, uint8_t b, uint32_t p) {
        const int16_t f = int16_t((p & 0xFFFFu) >> 1), diff = int16_t((int16_t(b) - int16_t(a)) * 2);
        return uint8_t(a + int16_t((int32_t(diff) * f) >> 16));
    };
    struct Case {
        int32_t sw, sh, dw, dh;
    };
    for (const Case c : {Case{20, 3, 33, 5}, Case{64, 2, 100, 3}, Case{17, 4, 17, 7}, Case{300, 2, 530, 2}}) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        PixelBuffer src(10, c.sw, c.sh), dst(10, c.dw, c.dh);
        PixelBuffer sa(CX_PIXFMT_ALPHA, c.sw, c.sh), da(CX_PIXFMT_ALPHA, c.dw, c.dh);
        src.Randomise(8), sa.Randomise(9);
        cxScaleJob j = Job(src, dst, true);
        j.srcAlpha = sa.bytes.data(), j.dstAlpha = da.bytes.data();
        j.srcAlphaRowLength = sa.rowLength, j.dstAlphaRowLength = da.rowLength;
        ASSERT_EQ(RunScaleJob(&j), 0);
        for (int32_t y = 0; y < c.dh; ++y) {
            const uint32_t py = position(y, c.sh, c.dh);
            const int32_t r0 = int32_t(py >> 16), r1 = std::min(r0 + 1, c.sh - 1);
            for (int32_t x = 0; x < c.dw; ++x) {
                const uint32_t px = position(x, c.sw, c.dw);
                const int32_t x0 = int32_t(px >> 16), x1 = std::min(x0 + 1, c.sw - 1);
                for (int k = 0; k < 4; ++k) {
                    const uint8_t top = lerp(src.At(x0, r0)[k], src.At(x1, r0)[k], px);
                    const uint8_t bottom = lerp(src.At(x0, r1)[k], src.At(x1, r1)[k], px);
                    ASSERT_EQ(dst.At(x, y)[k], lerp(top, bottom, py)) << x << "," << y << " byte " << k;
                }
                const uint8_t top = lerp(*sa.At(x0, r0), *sa.At(x1, r0), px);
                const uint8_t bottom = lerp(*sa.At(x0, r1), *sa.At(x1, r1), px);
                ASSERT_EQ(*da.At(x, y), lerp(top, bottom, py)) << x << "," << y;
            }
        }
    }
}

TEST(Scaler, AJobWithoutPixelsScalesOnlyTheMask) {
    PixelBuffer dst(10, 4, 4);
    dst.Randomise(3);
    const PixelBuffer before = dst;
    PixelBuffer sm(CX_PIXFMT_MASK, 2, 2), dm(CX_PIXFMT_MASK, 4, 4);
    sm.SetBit(1, 1, true);
    cxScaleJob j{};
    j.dstPixels = dst.bytes.data();
    j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
    j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
    j.srcWidth = j.srcHeight = 2;
    j.dstWidth = j.dstHeight = 4;
    j.smooth = 1;
    ASSERT_EQ(RunScaleJob(&j), 0);
    EXPECT_EQ(dst.bytes, before.bytes);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(dm.Bit(x, y), x >= 2 && y >= 2);
}

TEST(Scaler, GuardRejectsJobsThatDoNotFit) {
    PixelBuffer src(10, 4, 4), dst(10, 4, 4);
    cxScaleJob j = Job(src, dst, false);
    j.dstWidth = 0;
    EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS);
    j = Job(src, dst, false);
    j.bytesPerPixel = 2;
    EXPECT_EQ(RunScaleJob(&j), ERR_PIXELFORMAT);
    j = Job(src, dst, false);
    j.srcRowLength = 3;
    EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS);
    j = Job(src, dst, true);
    j.srcWidth = 70000, j.srcRowLength = 70000; // 16.16 positions would wrap
    EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS);
    j = Job(src, dst, false);
    j.dstHeight = 0x1000000, j.dstRowLength = 0x1000000; // 2^48 bytes
    EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS);
    j = Job(src, dst, false);
    j.dstPixels = nullptr;
    EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS);
    // A mask bit offset near 2^31: the sum with the width must not wrap
    // into a small number that passes.
    PixelBuffer sm(CX_PIXFMT_MASK, 16, 4), dm(CX_PIXFMT_MASK, 8, 4);
    j = Job(src, dst, false);
    j.srcMask = sm.bytes.data(), j.dstMask = dm.bytes.data();
    j.srcMaskRowLength = sm.rowLength, j.dstMaskRowLength = dm.rowLength;
    const int32_t lastFit = int32_t(sm.rowLength) * 8 - j.srcWidth;
    for (int32_t offset : {INT32_MAX - 2, INT32_MAX - 3, 0x7FFFFF00, lastFit + 1}) {
        j.srcMaskBitOffset = offset;
        EXPECT_EQ(RunScaleJob(&j), ERR_BADDIMENSIONS) << offset;
    }
    j.srcMaskBitOffset = lastFit;
    EXPECT_EQ(RunScaleJob(&j), 0);
}

} // namespace
