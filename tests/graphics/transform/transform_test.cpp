#include "graphics/transform/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/lock_buffer.h"

using cxtest::PixelBuffer;

namespace {

struct Planes {
    PixelBuffer px, mask, alpha;
    Planes(uint32_t f, int w, int h)
        : px(f, w, h, 0), mask(CX_PIXFMT_MASK, w, h, 0), alpha(CX_PIXFMT_ALPHA, w, h, 0) {}
};

cxTransformJob Job(Planes &src, Planes &dst, bool smooth, bool withMask, bool withAlpha) {
    cxTransformJob j{};
    j.srcPixels = src.px.bytes.data();
    j.dstPixels = dst.px.bytes.data();
    j.srcWidth = src.px.width, j.srcHeight = src.px.height;
    j.dstWidth = dst.px.width, j.dstHeight = dst.px.height;
    j.srcRowLength = src.px.rowLength, j.dstRowLength = dst.px.rowLength;
    if (withMask) {
        j.srcMask = src.mask.bytes.data(), j.dstMask = dst.mask.bytes.data();
        j.srcMaskRowLength = src.mask.rowLength, j.dstMaskRowLength = dst.mask.rowLength;
    }
    if (withAlpha) {
        j.srcAlpha = src.alpha.bytes.data(), j.dstAlpha = dst.alpha.bytes.data();
        j.srcAlphaRowLength = src.alpha.rowLength, j.dstAlphaRowLength = dst.alpha.rowLength;
    }
    j.smooth = smooth;
    j.pixelFormat = src.px.format;
    j.bytesPerPixel = int32_t(src.px.unit);
    j.m00 = 1, j.m11 = 1;
    return j;
}

TEST(Transform, IdentityReproducesTheSource) {
    for (uint32_t f : {4u, 8u, 10u, 13u})
        for (int smooth = 0; smooth < 2; ++smooth)
            for (int planes = 0; planes < 3; ++planes) {
                Planes src(f, 13, 9), dst(f, 13, 9);
                src.px.Randomise(f + 1);
                src.mask.Randomise(f + 2);
                src.alpha.Randomise(f + 3);
                cxTransformJob j = Job(src, dst, smooth, planes == 1, planes == 2);
                ASSERT_EQ(RunTransformJob(&j), 0);
                for (int y = 0; y < 9; ++y)
                    for (int x = 0; x < 13; ++x) {
                        const bool shown = planes != 1 || src.mask.Bit(x, y);
                        if (shown) {
                            ASSERT_EQ(dst.px.Get(x, y), src.px.Get(x, y)) << f << " " << smooth << " " << planes;
                        }
                        if (planes == 1) {
                            ASSERT_EQ(dst.mask.Bit(x, y), src.mask.Bit(x, y)) << x << "," << y;
                        }
                    }
                if (planes == 2) {
                    EXPECT_EQ(dst.alpha.bytes, src.alpha.bytes);
                }
            }
}

TEST(Transform, QuarterTurnThroughTheMatrixEqualsTheQuarterTurnKernel) {
    for (uint32_t f : {4u, 9u, 10u})
        for (int direction : {1, -1}) {
            const int w = 13, h = 7;
            Planes src(f, w, h), viaMatrix(f, h, w), viaKernel(f, h, w);
            src.px.Randomise(5);
            src.mask.Randomise(6);
            src.alpha.Randomise(7);
            for (int withAlpha = 0; withAlpha < 2; ++withAlpha) {
                cxTransformJob k = Job(src, viaKernel, false, true, withAlpha);
                k.direction = direction;
                ASSERT_EQ(RunQuarterTurnJob(&k), 0);
                cxTransformJob m = Job(src, viaMatrix, false, true, withAlpha);
                if (direction == 1) m.m00 = 0, m.m01 = 1, m.m10 = -1, m.m11 = 0, m.tx = 0, m.ty = w; // counter-clockwise
                else m.m00 = 0, m.m01 = -1, m.m10 = 1, m.m11 = 0, m.tx = h, m.ty = 0;               // clockwise
                ASSERT_EQ(RunTransformJob(&m), 0);
                EXPECT_EQ(viaMatrix.px.bytes, viaKernel.px.bytes) << f << " " << direction;
                if (withAlpha) {
                    EXPECT_EQ(viaMatrix.alpha.bytes, viaKernel.alpha.bytes);
                } else {
                    EXPECT_EQ(viaMatrix.mask.bytes, viaKernel.mask.bytes);
                }
            }
            // The kernel's own mapping: clockwise puts the bottom-left pixel
            // top-left, counter-clockwise the top-right one.
            EXPECT_EQ(viaKernel.px.Get(0, 0), direction == 1 ? src.px.Get(w - 1, 0) : src.px.Get(0, h - 1));
        }
}

TEST(Transform, EveryWrittenPixelMapsBackInsideTheSource) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), scale(0.3, 3.0), shear(-0.7, 0.7);
    std::uniform_int_distribution<int> side(1, 40);
    for (int iter = 0; iter < 300; ++iter) {
        const int w = side(rng), h = side(rng);
        const double a = angle(rng), sx = scale(rng), sy = scale(rng), sh = shear(rng);
        const double m[4] = {sx * std::cos(a), -sy * std::sin(a) + sh, sx * std::sin(a), sy * std::cos(a)};
        int32_t dw, dh;
        double minX, minY;
        ASSERT_EQ(GetTransformedSize(m, w, h, &dw, &dh, &minX, &minY), 0);
        if (dw == 0) continue;
        Planes src(10, w, h), dst(10, dw, dh);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) src.px.Set(x, y, uint32_t(y * w + x + 1));
        cxTransformJob j = Job(src, dst, iter % 2, false, false);
        j.m00 = m[0], j.m01 = m[1], j.m10 = m[2], j.m11 = m[3], j.tx = -minX, j.ty = -minY;
        ASSERT_EQ(RunTransformJob(&j), 0);
        const double det = m[0] * m[3] - m[1] * m[2];
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const double X = x + 0.5 - j.tx, Y = y + 0.5 - j.ty;
                const double u = (m[3] * X - m[1] * Y) / det, v = (-m[2] * X + m[0] * Y) / det;
                const uint32_t got = dst.px.Get(x, y);
                const bool inside = u >= 0 && u < w && v >= 0 && v < h;
                const bool clearlyInside = u > 1e-6 && u < w - 1e-6 && v > 1e-6 && v < h - 1e-6;
                if (got == 0) {
                    ASSERT_FALSE(clearlyInside) << "unwritten pixel " << x << "," << y << " iter " << iter;
                    continue;
                }
                ASSERT_TRUE(u > -1e-6 && u < w + 1e-6 && v > -1e-6 && v < h + 1e-6)
                    << "pixel " << x << "," << y << " maps to " << u << "," << v << " iter " << iter;
                if (!j.smooth && inside) {
                    ASSERT_EQ(got, uint32_t(int(v) * w + int(u) + 1)) << iter;
                }
            }
    }
}

TEST(Transform, PositionsOutsideByLessThanTheToleranceAreWritten) {
    for (double shift : {5e-11, 1e-6}) {
        Planes src(10, 4, 1), dst(10, 5, 1);
        for (int x = 0; x < 4; ++x) src.px.Set(x, 0, uint32_t(x + 1));
        cxTransformJob j = Job(src, dst, false, false, false);
        j.tx = 0.5 + shift; // destination column 0 samples source x = -shift
        ASSERT_EQ(RunTransformJob(&j), 0);
        EXPECT_EQ(dst.px.Get(0, 0), shift < 1e-10 ? 1u : 0u) << shift;
        EXPECT_EQ(dst.px.Get(1, 0), 1u);
        EXPECT_EQ(dst.px.Get(4, 0), 4u);
    }
}

TEST(Transform, SmoothMaskedRotationHasNoDarkFringes) {
    Planes src(10, 20, 20), dst(10, 30, 30);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool on = x >= 5 && x < 15 && y >= 5 && y < 15;
            src.px.Set(x, y, on ? 0xFFFFFFFF : 0);
            src.mask.SetBit(x, y, on);
        }
    const double a = 0.5;
    cxTransformJob j = Job(src, dst, true, true, false);
    j.m00 = std::cos(a), j.m01 = -std::sin(a), j.m10 = std::sin(a), j.m11 = std::cos(a);
    j.tx = 12, j.ty = 2;
    for (auto &b : dst.px.bytes) b = 0x55;
    ASSERT_EQ(RunTransformJob(&j), 0);
    int shown = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            if (dst.mask.Bit(x, y)) {
                ++shown;
                ASSERT_EQ(dst.px.Get(x, y), 0xFFFFFFFFu) << x << "," << y;
            } else {
                ASSERT_TRUE(dst.px.Get(x, y) == 0x55555555u || dst.px.Get(x, y) == 0xFFFFFFFFu);
            }
        }
    EXPECT_NEAR(shown, 100, 12); // the 10 x 10 square, turned
}

TEST(Transform, GuardAndSingularMatrices) {
    Planes src(10, 4, 4), dst(10, 4, 4);
    src.px.Randomise(1);
    for (auto &b : dst.px.bytes) b = 0xAB;
    const auto before = dst.px.bytes;
    cxTransformJob j = Job(src, dst, false, false, false);
    j.m00 = 1, j.m01 = 2, j.m10 = 2, j.m11 = 4; // rank 1
    EXPECT_EQ(RunTransformJob(&j), 0);
    j.m00 = j.m01 = j.m10 = j.m11 = 0;
    EXPECT_EQ(RunTransformJob(&j), 0);
    j = Job(src, dst, true, false, false);
    j.m01 = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(RunTransformJob(&j), ERR_WRONGUSAGE);
    j = Job(src, dst, false, false, false);
    j.tx = std::numeric_limits<double>::infinity();
    EXPECT_EQ(RunTransformJob(&j), ERR_WRONGUSAGE);
    j = Job(src, dst, false, false, false);
    j.m00 = 1e300;
    EXPECT_EQ(RunTransformJob(&j), ERR_WRONGUSAGE);
    EXPECT_EQ(dst.px.bytes, before);

    // Extreme but finite stretches stay inside both buffers.
    for (int smooth = 0; smooth < 2; ++smooth)
        for (double big : {1e6, -1e6}) {
            j = Job(src, dst, smooth, false, false);
            j.m00 = big, j.m11 = 1 / big, j.tx = 2, j.ty = 2;
            EXPECT_EQ(RunTransformJob(&j), 0);
            j.m00 = 1 / big, j.m11 = big;
            EXPECT_EQ(RunTransformJob(&j), 0);
            j.m00 = 0, j.m01 = big, j.m10 = 1 / big, j.m11 = 0, j.tx = 1e9;
            EXPECT_EQ(RunTransformJob(&j), 0);
        }

    j = Job(src, dst, false, false, false);
    j.bytesPerPixel = 3;
    EXPECT_EQ(RunTransformJob(&j), ERR_PIXELFORMAT);
    j = Job(src, dst, false, false, false);
    j.direction = -1;
    j.dstWidth = 3;
    EXPECT_EQ(RunQuarterTurnJob(&j), ERR_BADDIMENSIONS);
    j.dstWidth = 4;
    j.direction = 0;
    EXPECT_EQ(RunQuarterTurnJob(&j), ERR_WRONGUSAGE);
}

// The bare kernel, called without the guard, checks its coefficients once:
// a NaN or an infinity writes nothing (and is never converted to int).
TEST(Transform, BareKernelWritesNothingForNonFiniteCoefficients) {
    Planes src(10, 4, 4), dst(10, 4, 4);
    src.px.Randomise(1);
    for (auto &b : dst.px.bytes) b = 0xAB;
    const auto before = dst.px.bytes;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (int smooth = 0; smooth < 2; ++smooth)
        for (int field = 0; field < 6; ++field)
            for (double bad : {nan, inf}) {
                cxTransformJob j = Job(src, dst, smooth, false, false);
                double *fields[] = {&j.m00, &j.m01, &j.m10, &j.m11, &j.tx, &j.ty};
                *fields[field] = bad;
                TransformPixels(&j);
                EXPECT_EQ(dst.px.bytes, before) << smooth << " " << field << " " << bad;
            }
}

TEST(Transform, TransformedSize) {
    int32_t w, h;
    double x0, y0;
    const double identity[4] = {1, 0, 0, 1}, quarter[4] = {0, -1, 1, 0};
    ASSERT_EQ(GetTransformedSize(identity, 30, 20, &w, &h, &x0, &y0), 0);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(y0, 0);
    ASSERT_EQ(GetTransformedSize(quarter, 30, 20, &w, &h, &x0, &y0), 0);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(x0, -20);
    EXPECT_EQ(y0, 0);
    const double c = std::cos(M_PI / 4), s = std::sin(M_PI / 4);
    const double turn45[4] = {c, -s, s, c};
    ASSERT_EQ(GetTransformedSize(turn45, 100, 100, &w, &h, &x0, &y0), 0);
    EXPECT_EQ(w, 141);
    EXPECT_EQ(h, 141);
    const double tiny[4] = {0.001, 0, 0, 0.001};
    ASSERT_EQ(GetTransformedSize(tiny, 10, 10, &w, &h, &x0, &y0), 0);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    const double singular[4] = {1, 1, 1, 1};
    ASSERT_EQ(GetTransformedSize(singular, 10, 10, &w, &h, &x0, &y0), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    const double bad[4] = {std::numeric_limits<double>::infinity(), 0, 0, 1};
    EXPECT_EQ(GetTransformedSize(bad, 10, 10, &w, &h, &x0, &y0), ERR_BADDIMENSIONS);
    const double huge[4] = {1e6, 0, 0, 1e6};
    EXPECT_EQ(GetTransformedSize(huge, 100000, 100000, &w, &h, &x0, &y0), ERR_BITMAP);
}

} // namespace
