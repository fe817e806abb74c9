#include "graphics/effects/convolve.h"
#include "graphics/effects/pad_pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

using cxtest::PixelBuffer;

cxConvolveJob Job(PixelBuffer &b, int32_t kind, double radius, double sigma, PixelBuffer *alpha = nullptr) {
    return cxConvolveJob{b.bytes.data(), b.width, b.height, b.rowLength, b.format, int32_t(b.unit),
                         alpha ? alpha->bytes.data() : nullptr, alpha ? alpha->rowLength : 0, radius, sigma, kind, 0};
}

PixelBuffer Flat(uint32_t format, int32_t w, int32_t h, uint32_t colour) {
    PixelBuffer b(format, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.Set(x, y, ColorToPixel(colour, format, 1));
    return b;
}

TEST(Convolve, KernelWidths) {
    EXPECT_EQ(KernelWidth1D(3.0, 1.0), 7);
    EXPECT_EQ(KernelWidth1D(2.2, 0.0), 7);
    EXPECT_EQ(KernelWidth1D(0.0, 0.0), 1);
    EXPECT_EQ(KernelWidth2D(10.0, 1.0), 21);
    // From sigma: an odd width that grows with sigma.
    const int32_t a = KernelWidth1D(0, 1.0), b = KernelWidth1D(0, 3.0);
    EXPECT_EQ(a % 2, 1);
    EXPECT_GT(b, a);
    EXPECT_GE(KernelWidth2D(0, 1.0), 3);
    // Hostile values come back too wide, so every caller refuses them.
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (auto [r, s] : {std::pair{1e9, 1.0}, {inf, 1.0}, {nan, 1.0}, {0.0, nan}})
        EXPECT_GT(KernelWidth1D(r, s), CX_MAX_KERNEL_1D) << r << " " << s;
    // A huge sigma flattens the curve: the width stops near 255, where every
    // weight of a box is 1/255.
    EXPECT_LE(KernelWidth1D(0.0, 1e7), 257);
    EXPECT_LE(KernelWidth2D(0.0, 1e5), 17);
}

TEST(Convolve, BlurWithSigmaZeroAndFlatImagesStayTheSame) {
    for (uint32_t f : {4u, 8u, 10u, 12u}) {
        PixelBuffer b = Flat(f, 17, 9, 0x7F3A91C4), orig = b;
        cxConvolveJob j = Job(b, CX_CONVOLVE_BLUR, 0, 0.0);
        ConvolvePixels(&j);
        EXPECT_EQ(b.bytes, orig.bytes);
        for (double r : {0.0, 1.0, 5.0, 40.0}) {
            j = Job(b, CX_CONVOLVE_BLUR, r, 3.0);
            ConvolvePixels(&j);
            EXPECT_EQ(j.result, 0);
            EXPECT_EQ(b.bytes, orig.bytes) << f << " radius " << r;
            j = Job(b, CX_CONVOLVE_SHARPEN, r, 1.0);
            ConvolvePixels(&j);
            EXPECT_EQ(b.bytes, orig.bytes) << f << " sharpen " << r;
            j = Job(b, CX_CONVOLVE_EMBOSS, r, 1.0);
            ConvolvePixels(&j);
            EXPECT_EQ(b.bytes, orig.bytes) << f << " emboss " << r;
        }
    }
}

TEST(Convolve, EdgeOfAFlatImageIsBlackAndKeepsTheAlphaByte) {
    PixelBuffer b = Flat(10, 12, 12, 0x80A0B0C0);
    PixelBuffer alpha(CX_PIXFMT_ALPHA, 12, 12);
    for (auto &v : alpha.bytes) v = 200;
    cxConvolveJob j = Job(b, CX_CONVOLVE_EDGE, 1.0, 0.0, &alpha);
    ConvolvePixels(&j);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            ASSERT_EQ(b.Get(x, y), 0x80000000u);
            ASSERT_EQ(alpha.bytes[y * alpha.rowLength + x], 0);
        }
}

TEST(Convolve, TwoDimensionalKernelWiderThanTheImageChangesNothing) {
    PixelBuffer b(10, 6, 30);
    b.Randomise(3);
    PixelBuffer orig = b;
    cxConvolveJob j = Job(b, CX_CONVOLVE_SHARPEN, 3.0, 1.0); // width 7 > 6
    ConvolvePixels(&j);
    EXPECT_EQ(b.bytes, orig.bytes);
}

TEST(Convolve, EdgeFindsAStepAndEmbossIsDirectional) {
    PixelBuffer b(10, 10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) b.Set(x, y, x < 5 ? 0x000000 : 0xFFFFFF);
    PixelBuffer e = b;
    cxConvolveJob j = Job(e, CX_CONVOLVE_EDGE, 1.0, 0.0);
    ConvolvePixels(&j);
    EXPECT_EQ(e.Get(2, 5), 0u);
    EXPECT_EQ(e.Get(8, 5), 0u);
    EXPECT_EQ(e.Get(5, 5), 0xFFFFFFu); // the bright side of the step
    EXPECT_EQ(e.Get(4, 5), 0u);        // the dark side goes negative: clamped
}

TEST(Convolve, BlursTheAlphaChannelWithTheSameKernel) {
    PixelBuffer b = Flat(10, 16, 16, 0x202020);
    PixelBuffer alpha(CX_PIXFMT_ALPHA, 16, 16);
    alpha.bytes[8 * alpha.rowLength + 8] = 255;
    cxConvolveJob j = Job(b, CX_CONVOLVE_BLUR, 2.0, 1.0, &alpha);
    ConvolvePixels(&j);
    EXPECT_LT(alpha.bytes[8 * alpha.rowLength + 8], 255);
    EXPECT_GT(alpha.bytes[8 * alpha.rowLength + 9], 0);
    EXPECT_EQ(alpha.bytes[8 * alpha.rowLength + 9], alpha.bytes[9 * alpha.rowLength + 8]);
    EXPECT_EQ(alpha.bytes[0], 0);
}

TEST(Convolve, HostileRadiiAndSigmasAreRefusedUntouched) {
    PixelBuffer b(10, 8, 8);
    b.Randomise(9);
    const PixelBuffer orig = b;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto [kind, r, s] : {std::tuple{CX_CONVOLVE_BLUR, 1e12, 1.0}, {CX_CONVOLVE_BLUR, 600.0, 1.0},
                              {CX_CONVOLVE_BLUR, nan, 1.0}, {CX_CONVOLVE_SHARPEN, 1e6, 1.0},
                              {CX_CONVOLVE_EMBOSS, 0.0, nan}, {CX_CONVOLVE_EDGE, 5000.0, 0.0}}) {
        cxConvolveJob j = Job(b, kind, r, s);
        ConvolvePixels(&j);
        EXPECT_EQ(j.result, ERR_WRONGUSAGE) << kind << " " << r << " " << s;
        EXPECT_EQ(b.bytes, orig.bytes);
    }
}

TEST(Convolve, SixteenBitBlurMatchesTheWideBlurOfTheSameChannels) {
    // 565 pixels blur their 8-bit channel values (low bits zero) and keep
    // the top bits: the same numbers as a 3-byte image of those values.
    PixelBuffer n(4, 23, 19);
    n.Randomise(4);
    PixelBuffer w(8, 23, 19);
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 23; ++x) w.Set(x, y, PixelToColor(n.Get(x, y), 4, 0));
    cxConvolveJob a = Job(n, CX_CONVOLVE_BLUR, 3.0, 1.5), b = Job(w, CX_CONVOLVE_BLUR, 3.0, 1.5);
    ConvolvePixels(&a);
    ConvolvePixels(&b);
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 23; ++x) ASSERT_EQ(n.Get(x, y), ColorToPixel(w.Get(x, y), 4, 0));
}

} // namespace

namespace {

TEST(PadPixels, EdgesRepeatAndRowsRoundToFour) {
    const uint32_t src[2][3] = {{1, 2, 3}, {4, 5, 6}}; // rows 3 entries apart
    int32_t rl = 0;
    uint32_t *p = PadPixels32(&src[0][0], 3, 2, 3, 5, nullptr, &rl);
    ASSERT_TRUE(p);
    EXPECT_EQ(rl, 8); // 3 + 2 * 2 rounded up to 8
    const uint32_t want[6][8] = {{1, 1, 1, 2, 3, 3, 3, 3}, {1, 1, 1, 2, 3, 3, 3, 3}, {1, 1, 1, 2, 3, 3, 3, 3},
                                 {4, 4, 4, 5, 6, 6, 6, 6}, {4, 4, 4, 5, 6, 6, 6, 6}, {4, 4, 4, 5, 6, 6, 6, 6}};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p[y * rl + x], want[y][x]) << x << "," << y;
    std::free(p);
    uint16_t s16[4] = {7, 8, 9, 10}, buf[64];
    ASSERT_EQ(PadPixels16(s16, 2, 2, 2, 3, buf, &rl), buf);
    EXPECT_EQ(rl, 4);
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(buf[3 * 4 + 3], 10);
    uint8_t a[1] = {42};
    uint8_t *pa = PadAlphaBytes(a, 1, 1, 1, 1, nullptr, &rl);
    ASSERT_TRUE(pa);
    EXPECT_EQ(pa[0], 42);
    std::free(pa);
    EXPECT_EQ(PadPixels32(&src[0][0], 3, 2, 2, 5, nullptr, &rl), nullptr); // rows shorter than the width
    EXPECT_EQ(PadPixels32(&src[0][0], 3, 2, 3, 0x7FFFFFFF, nullptr, &rl), nullptr);
    EXPECT_EQ(PaddedBufferEntries(0, 5, 3), 0);
}

} // namespace
