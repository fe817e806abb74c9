#include "graphics/distort/distort.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/distort/least_squares.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_bitmap.h"

namespace {

cxDistortJob Coeffs(int32_t method, std::vector<double> args, int32_t w = 40, int32_t h = 30) {
    static std::vector<double> keep;
    keep = std::move(args);
    cxDistortJob job{};
    job.srcWidth = w, job.srcHeight = h;
    job.method = method;
    job.argCount = int32_t(keep.size());
    job.args = keep.data();
    ComputeDistortionCoefficients(&job);
    return job;
}

// A source image and a rendered result with an alpha channel or a mask.
struct Render {
    int32_t w, h;
    std::vector<uint32_t> src, dst;
    std::vector<uint8_t> srcMask, dstAlpha, dstMask;
    cxDistortJob job;
    Render(int32_t method, std::vector<double> args, int32_t smooth, int32_t width = 40, int32_t height = 30,
           bool maskOut = false)
        : w(width), h(height), src(size_t(width) * height) {
        std::mt19937 rng(uint32_t(width * height));
        for (auto &p : src) p = rng() | 0xFF000000u;
        job = Coeffs(method, std::move(args), width, height);
        job.smooth = smooth;
        if (job.error) return;
        dst.assign(size_t(job.dstWidth) * job.dstHeight, 0xDEADBEEF);
        job.srcPixels = src.data();
        job.pixelFormat = 10;
        job.bytesPerPixel = 4;
        job.srcRowLength = width;
        job.dstPixels = dst.data();
        job.dstRowLength = job.dstWidth;
        if (maskOut) {
            job.dstMaskRowLength = (job.dstWidth + 7) / 8;
            dstMask.assign(size_t(job.dstMaskRowLength) * job.dstHeight, 0);
            job.dstMask = dstMask.data();
        } else {
            dstAlpha.assign(size_t(job.dstWidth) * job.dstHeight, 0x77);
            job.dstAlpha = dstAlpha.data();
            job.dstAlphaRowLength = job.dstWidth;
        }
        RenderDistortion(&job);
    }
    uint32_t At(int x, int y) const { return dst[size_t(y) * job.dstWidth + x]; }
    uint8_t Alpha(int x, int y) const { return dstAlpha[size_t(y) * job.dstWidth + x]; }
};

TEST(Distort, BarrelCountsAndIdentity) {
    for (int n : {3, 4, 5, 6, 8, 10}) {
        std::vector<double> a(size_t(n), 0.0);
        if (n != 3 && n != 5) a[3] = 1.0;
        if (n >= 8) a[7] = 1.0;
        if (n == 5) a[3] = 19.5, a[4] = 14.5;
        if (n == 6) a[4] = 19.5, a[5] = 14.5;
        if (n == 10) a[8] = 19.5, a[9] = 14.5;
        for (int32_t smooth : {0, 1}) {
            Render r(CX_DISTORT_BARREL, a, smooth);
            ASSERT_EQ(r.job.error, 0) << n;
            ASSERT_EQ(r.job.dstWidth, 40);
            ASSERT_EQ(r.job.dstHeight, 30);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    ASSERT_EQ(r.At(x, y) & 0xFFFFFF, r.src[size_t(y) * 40 + x] & 0xFFFFFF) << n << " " << smooth;
                    ASSERT_EQ(r.Alpha(x, y), 255);
                }
        }
    }
    for (int n : {0, 1, 2, 7, 9, 11})
        EXPECT_EQ(Coeffs(CX_DISTORT_BARREL, std::vector<double>(size_t(n), 0.1)).error, ERR_WRONGUSAGE) << n;
    // Count 3 computes D = 1 - A - B - C.
    EXPECT_DOUBLE_EQ(Coeffs(CX_DISTORT_BARREL, {0, 0, 0}).coefficients[3], 1.0);
    EXPECT_DOUBLE_EQ(Coeffs(CX_DISTORT_BARREL, {0.1, 0.2, 0.3}).coefficients[3], 0.4);
}

TEST(Distort, BarrelCentrePixelSamplesTheCentre) {
    // Centre exactly on a destination pixel centre: that pixel reads the
    // source at the centre whatever the coefficients.
    Render r(CX_DISTORT_BARREL, {0.5, -0.3, 0.2, 0.6, 20.5, 15.5}, 0);
    ASSERT_EQ(r.job.error, 0);
    EXPECT_EQ(r.At(20, 15), r.src[15 * 40 + 20]);
}

TEST(Distort, PolarArgumentsAndRadii) {
    EXPECT_EQ(Coeffs(CX_DISTORT_POLAR, {10, 0, 5}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_POLAR, {1, 2, 3, 4, 5, 6, 7}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_POLAR, {5, 10}).error, ERR_WRONGUSAGE); // min above max
    // Radius 0: the distance from the centre (20, 15) to the nearest edge.
    cxDistortJob j = Coeffs(CX_DISTORT_POLAR, {0, 0, 20, 15});
    ASSERT_EQ(j.error, 0);
    EXPECT_DOUBLE_EQ(j.coefficients[0], 15.0);
    // -1: the farthest corner.
    j = Coeffs(CX_DISTORT_POLAR, {-1, 0, 20, 15});
    EXPECT_DOUBLE_EQ(j.coefficients[0], 25.0);
    // No arguments: every default, a full circle.
    j = Coeffs(CX_DISTORT_POLAR, {});
    ASSERT_EQ(j.error, 0);
    EXPECT_DOUBLE_EQ(j.coefficients[5] - j.coefficients[4], 2 * M_PI);
    EXPECT_EQ(j.dstWidth, j.dstHeight);
    Render r(CX_DISTORT_POLAR, {}, 1);
    EXPECT_EQ(r.job.error, 0);
}

TEST(Distort, ArcDefaultsAndZeroAngle) {
    EXPECT_EQ(Coeffs(CX_DISTORT_ARC, {0}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_ARC, {60, 0, 0}).error, ERR_WRONGUSAGE);
    cxDistortJob j = Coeffs(CX_DISTORT_ARC, {});
    ASSERT_EQ(j.error, 0);
    EXPECT_DOUBLE_EQ(j.coefficients[0], -M_PI / 2); // centred at the top
    EXPECT_DOUBLE_EQ(j.coefficients[1], 40 * 2 * M_PI / (M_PI / 2)); // 90 degrees
    Render r(CX_DISTORT_ARC, {}, 0);
    ASSERT_EQ(r.job.error, 0);
    // The top middle of the result holds the top middle of the source row 0.
    bool found = false;
    for (int y = 0; y < r.job.dstHeight && !found; ++y)
        for (int x = 0; x < r.job.dstWidth; ++x)
            if (r.Alpha(x, y)) {
                found = true;
                break;
            }
    EXPECT_TRUE(found);
    // Many turns end quickly.
    EXPECT_EQ(Coeffs(CX_DISTORT_ARC, {1e300}).error, 0);
}

TEST(Distort, PerspectiveIdentitySingularAndHorizon) {
    const double W = 40, H = 30;
    Render id(CX_DISTORT_PERSPECTIVE, {0, 0, 0, 0, W, 0, W, 0, W, H, W, H, 0, H, 0, H}, 0);
    ASSERT_EQ(id.job.error, 0);
    ASSERT_EQ(id.job.dstWidth, 42); // ceil(max - offset + 0.5) with offset -1
    ASSERT_EQ(id.job.offsetX, -1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(id.At(x + 1, y + 1), id.src[size_t(y) * 40 + x]);
    EXPECT_EQ(id.Alpha(0, 0), 0);
    EXPECT_EQ(id.At(0, 0), 0u);

    EXPECT_EQ(Coeffs(CX_DISTORT_PERSPECTIVE, {0, 0, 0, 0, W, 0, 0, 0, W, H, 0, 0, 0, H, 0, 0}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_PERSPECTIVE, {0, 0, 0, 0}).error, ERR_WRONGUSAGE);
    // A bow-tie: the source rectangle crosses the horizon and is refused
    // before anything is allocated.
    EXPECT_EQ(Coeffs(CX_DISTORT_PERSPECTIVE, {0, 0, 0, 0, W, 0, W, H, W, H, W, 0, 0, H, 0, H}).error, ERR_WRONGUSAGE);
}

TEST(Distort, PerspectivePixelsBehindTheHorizonAreTransparent) {
    // A strongly foreshortened top edge: the bounding box reaches past the
    // horizon line in its upper corners.
    const double W = 40, H = 30;
    for (int32_t smooth : {0, 1}) {
        Render r(CX_DISTORT_PERSPECTIVE, {0, 0, 19, 0, W, 0, 21, 0, W, H, W * 3, H * 2, 0, H, -W * 2, H * 2}, smooth);
        ASSERT_EQ(r.job.error, 0);
        const double *c = r.job.coefficients;
        int behind = 0, visible = 0;
        for (int y = 0; y < r.job.dstHeight; ++y)
            for (int x = 0; x < r.job.dstWidth; ++x) {
                const double dx = x + r.job.offsetX + 0.5, dy = y + r.job.offsetY + 0.5;
                const double den = c[6] * dx + c[7] * dy + 1;
                if (den * c[8] < 0) {
                    ++behind;
                    ASSERT_EQ(r.Alpha(x, y), 0);
                    ASSERT_EQ(r.At(x, y), 0u);
                } else if (r.Alpha(x, y)) {
                    ++visible;
                }
            }
        EXPECT_GT(visible, 100);
        (void)behind;
    }
}

TEST(Distort, NearestGivesRawCopiesOrTransparentBlack) {
    Render r(CX_DISTORT_PERSPECTIVE, {0, 0, 3, 2, 40, 0, 35, 4, 40, 30, 38, 29, 0, 30, 1, 27}, 0, 40, 30, true);
    ASSERT_EQ(r.job.error, 0);
    std::set<uint32_t> pixels(r.src.begin(), r.src.end());
    for (int y = 0; y < r.job.dstHeight; ++y)
        for (int x = 0; x < r.job.dstWidth; ++x) {
            const bool bit = (r.dstMask[size_t(y) * r.job.dstMaskRowLength + (x >> 3)] >> (7 - (x & 7))) & 1;
            if (bit) ASSERT_TRUE(pixels.count(r.At(x, y)));
            else ASSERT_EQ(r.At(x, y), 0u);
        }
}

TEST(Distort, SmoothMinificationAveragesAndHostileNumbersAreRefused) {
    // A perspective that shrinks the image: the area average of a
    // checkerboard is mid-gray.
    const double W = 64, H = 64;
    cxDistortJob j = Coeffs(CX_DISTORT_PERSPECTIVE, {0, 0, 0, 0, W, 0, 16, 0, W, H, 16, 16, 0, H, 0, 16}, 64, 64);
    ASSERT_EQ(j.error, 0);
    std::vector<uint32_t> src(64 * 64), dst(size_t(j.dstWidth) * j.dstHeight);
    std::vector<uint8_t> alpha(dst.size());
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) src[size_t(y) * 64 + x] = (x + y) % 2 ? 0xFFFFFF : 0;
    j.smooth = 1;
    j.srcPixels = src.data(), j.pixelFormat = 10, j.bytesPerPixel = 4, j.srcRowLength = 64;
    j.dstPixels = dst.data(), j.dstRowLength = j.dstWidth, j.dstAlpha = alpha.data(), j.dstAlphaRowLength = j.dstWidth;
    RenderDistortion(&j);
    const uint32_t mid = dst[size_t(8 - j.offsetY) * j.dstWidth + size_t(8 - j.offsetX)];
    EXPECT_NEAR(int(mid & 0xFF), 128, 24);

    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Coeffs(CX_DISTORT_BARREL, {nan, 0, 0}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_POLAR, {inf}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(CX_DISTORT_POLAR, {1e12}).error, ERR_WRONGUSAGE); // result too large
    EXPECT_EQ(Coeffs(CX_DISTORT_ARC, {90, 0, 1e15}).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Coeffs(77, {1}).error, ERR_WRONGUSAGE);
    // Huge barrel coefficients map far away: every pixel but the one on the
    // centre is outside, and no out-of-range number becomes an integer.
    Render far(CX_DISTORT_BARREL, {1e300, 1e300, 1e300, 1e300}, 1);
    ASSERT_EQ(far.job.error, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(far.Alpha(x, y), x == 19 && y == 14 ? 255 : 0) << x << "," << y;
}

TEST(Distort, ResampleEllipseFlags) {
    cxResampler r{};
    r.pixelCount = 1000;
    ScaleResampleEllipse(&r, 1, 0, 0, 1);
    EXPECT_TRUE(r.interpolate);
    ScaleResampleEllipse(&r, 3, 0, 0, 3);
    EXPECT_FALSE(r.interpolate);
    EXPECT_FALSE(r.limit);
    EXPECT_NEAR(r.A * r.C - r.B * r.B / 4, 1024.0 * 1024.0 / 100.0, 1e-6); // scaled by 1024 / F
    ScaleResampleEllipse(&r, 2000, 0, 0, 2000);
    EXPECT_TRUE(r.limit);
    ScaleResampleEllipse(&r, std::numeric_limits<double>::quiet_NaN(), 0, 0, 1);
    EXPECT_TRUE(r.limit);
}

TEST(Distort, GaussJordanSolvesAndRefusesSingular) {
    double **m = AllocMatrix(3, 3), **v = AllocMatrix(2, 3);
    ASSERT_TRUE(m && v);
    const double a[3][3] = {{2, 1, -1}, {-3, -1, 2}, {-2, 1, 2}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = a[i][j];
    v[0][0] = 8, v[0][1] = -11, v[0][2] = -3;
    v[1][0] = 1, v[1][1] = 0, v[1][2] = 0;
    ASSERT_EQ(SolveGaussJordan(m, v, 3, 2), 1);
    EXPECT_NEAR(v[0][0], 2, 1e-12);
    EXPECT_NEAR(v[0][1], 3, 1e-12);
    EXPECT_NEAR(v[0][2], -1, 1e-12);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = (i == 2) ? m[0][j] : double(i + j);
    for (int j = 0; j < 3; ++j) m[2][j] = m[0][j] * 2;
    EXPECT_EQ(SolveGaussJordan(m, v, 3, 2), 0);
    FreeMatrix(m, 3);
    FreeMatrix(v, 2);
}

TEST(Distort, DriverChoosesTheTransparencyOfTheResult) {
    OsSetPixelFormat(10);
    cxBitmap *bm = AllocBitmap(20, 10, CX_ALLOC_CLEAR, 0);
    cxBitmap *al = AllocAlphaChannel(20, 10, 1, nullptr, 0);
    cxBitmap *mk = AllocMask(bm, 20, 10, 1, nullptr, 0);
    ASSERT_TRUE(bm && al && mk);
    const double args[4] = {0, 0, 0, 1};
    struct {
        cxBitmap *mask, *alpha;
        int32_t smooth;
        bool wantAlpha;
    } cases[] = {{nullptr, nullptr, 0, false}, {nullptr, nullptr, 1, true}, {nullptr, al, 0, true},
                 {mk, nullptr, 1, false}, {mk, al, 1, false}};
    for (auto c : cases) {
        cxBitmap *ob, *om, *oa;
        int32_t w, h;
        ASSERT_EQ(DistortBitmap(bm, c.mask, c.alpha, 20, 10, CX_DISTORT_BARREL, 4, args, c.smooth, &ob, &om, &oa, &w, &h), 0);
        EXPECT_EQ(w, 20);
        EXPECT_EQ(h, 10);
        EXPECT_EQ(oa != nullptr, c.wantAlpha);
        EXPECT_EQ(om != nullptr, !c.wantAlpha);
        FreeBitmap(ob);
        FreeMask(om);
        FreeAlphaChannel(oa);
    }
    cxBitmap *ob, *om, *oa;
    int32_t w, h;
    EXPECT_EQ(DistortBitmap(bm, nullptr, nullptr, 20, 10, CX_DISTORT_BARREL, 2, args, 0, &ob, &om, &oa, &w, &h),
              ERR_WRONGUSAGE);
    EXPECT_EQ(ob, nullptr);
    EXPECT_EQ(DistortBitmap(bm, nullptr, nullptr, 21, 10, CX_DISTORT_BARREL, 4, args, 0, &ob, &om, &oa, &w, &h),
              ERR_LOCKBMAP);
    FreeBitmap(bm);
    FreeMask(mk);
    FreeAlphaChannel(al);
}

} // namespace
