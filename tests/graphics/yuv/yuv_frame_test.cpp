#include "graphics/yuv/yuv_frame.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"

namespace {

// Planes sized exactly to the frame (no slack rows), so that a read past
// the last chroma row is an overflow the sanitizers see.
struct Frame {
    int32_t w, h;
    std::vector<uint8_t> y, u, v;
    Frame(int32_t width, int32_t height, uint32_t seed) : w(width), h(height) {
        y.resize(size_t(w) * h);
        u.resize(size_t((w + 1) / 2) * ((h + 1) / 2));
        v.resize(u.size());
        std::mt19937 rng(seed);
        for (auto &b : y) b = uint8_t(rng());
        for (auto &b : u) b = uint8_t(rng());
        for (auto &b : v) b = uint8_t(rng());
    }
    cxYuvFrameJob Job(void *dst, int32_t dw, int32_t dh, uint32_t format, int32_t rowLength) {
        return cxYuvFrameJob{{y.data(), u.data(), v.data()}, {w, (w + 1) / 2, (w + 1) / 2}, dst, w, h, dw, dh,
                             rowLength, format, int32_t(GetBytesPerPixel(format))};
    }
    uint32_t Expected(int32_t x, int32_t row) const {
        const size_t c = size_t(row >> 1) * ((w + 1) / 2) + (x >> 1);
        return YuvToRGB(y[size_t(row) * w + x], u[c], v[c]);
    }
};

TEST(YuvFrame, BlackAndWhite) {
    EXPECT_EQ(YuvToRGB(16, 128, 128), 0x000000u);
    EXPECT_EQ(YuvToRGB(235, 128, 128), 0xFFFFFFu);
    EXPECT_EQ(YuvToRGB(0, 0, 0), 0x008800u); // red and blue clamped at 0, green 447306710 / 3287200
}

TEST(YuvFrame, EverySampleMatchesTheIntegerFormula) {
    // For each V: chroma columns hold every U, and the four luma samples of
    // chroma row r hold the values 4r .. 4r + 3, so all 2^24 samples are
    // converted once.
    const int32_t w = 512, h = 128;
    std::vector<uint32_t> out(size_t(w) * h);
    std::vector<uint8_t> Y(size_t(w) * h), U(256 * 64), V(256 * 64);
    for (int32_t r = 0; r < 64; ++r)
        for (int32_t c = 0; c < 256; ++c) {
            U[size_t(r) * 256 + c] = uint8_t(c);
            for (int k = 0; k < 4; ++k) Y[size_t(2 * r + (k >> 1)) * w + 2 * c + (k & 1)] = uint8_t(4 * r + k);
        }
    for (int32_t vv = 0; vv < 256; ++vv) {
        std::fill(V.begin(), V.end(), uint8_t(vv));
        const cxYuvFrameJob job{{Y.data(), U.data(), V.data()}, {w, 256, 256}, out.data(), w, h, w, h, w, 10, 4};
        ConvertYuvFrame(&job);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(out[size_t(r) * w + x], YuvToRGB(Y[size_t(r) * w + x], uint32_t(x >> 1), uint32_t(vv)))
                    << "y " << int(Y[size_t(r) * w + x]) << " u " << (x >> 1) << " v " << vv;
    }
}

// The same over frames 48 and 112 wide, which the widest vectors never
// take: every sample goes through each of the narrower blocks (64, 32 and
// 16 pixels) a row is finished with.
TEST(YuvFrame, EverySampleMatchesInNarrowBlocks) {
    for (const int32_t w : {48, 112}) {
        const int32_t cw = w / 2, chromaRows = (256 * 64 + cw - 1) / cw, h = 2 * chromaRows;
        std::vector<uint32_t> out(size_t(w) * h);
        std::vector<uint8_t> Y(size_t(w) * h), U(size_t(cw) * chromaRows), V(U.size());
        // Chroma sample s holds U = s % 256, and its four luma samples the
        // values 4 (s / 256) .. 4 (s / 256) + 3.
        for (int32_t s = 0; s < cw * chromaRows; ++s) {
            const int32_t r = s / cw, c = s % cw, group = (s >> 8) & 63;
            U[size_t(s)] = uint8_t(s);
            for (int k = 0; k < 4; ++k) Y[size_t(2 * r + (k >> 1)) * w + 2 * c + (k & 1)] = uint8_t(4 * group + k);
        }
        for (int32_t vv = 0; vv < 256; ++vv) {
            std::fill(V.begin(), V.end(), uint8_t(vv));
            const cxYuvFrameJob job{{Y.data(), U.data(), V.data()}, {w, cw, cw}, out.data(), w, h, w, h, w, 10, 4};
            ConvertYuvFrame(&job);
            for (int32_t r = 0; r < h; ++r)
                for (int32_t x = 0; x < w; ++x) {
                    const uint32_t y = Y[size_t(r) * w + x], u = U[size_t(r >> 1) * cw + (x >> 1)];
                    ASSERT_EQ(out[size_t(r) * w + x], YuvToRGB(y, u, uint32_t(vv)))
                        << "width " << w << " y " << y << " u " << u << " v " << vv;
                }
        }
    }
}

TEST(YuvFrame, EveryFormatStoresTheSameColour) {
    Frame f(37, 22, 5);
    for (uint32_t format = 0; format < 14; ++format) {
        const int32_t bpp = int32_t(GetBytesPerPixel(format)), rl = 40;
        std::vector<uint8_t> dst(size_t(rl) * 22 * bpp + 7, 0xCC);
        cxYuvFrameJob job = f.Job(dst.data(), 37, 22, format, rl);
        ASSERT_EQ(RunYuvFrameJob(&job), 0);
        for (int32_t r = 0; r < 22; ++r)
            for (int32_t x = 0; x < 37; ++x)
                ASSERT_EQ(LoadPixelValue(dst.data() + (size_t(r) * rl + x) * bpp, format),
                          ColorToPixel(f.Expected(x, r), format, 0))
                    << format << " at " << x << "," << r;
        EXPECT_EQ(dst.back(), 0xCC); // nothing past the last row
    }
}

// Widths that end in every kind of column run (wide vector blocks, a
// narrower block, single pixels) and odd heights, whose last luma row has
// no partner.
TEST(YuvFrame, OddSizesConvertEveryPixel) {
    for (auto [w, h] : {std::pair{53, 7}, {48, 3}, {17, 1}, {5, 5}, {96, 2}, {1, 1}}) {
        Frame f(w, h, uint32_t(w * 131 + h));
        std::vector<uint32_t> out(size_t(w) * h);
        cxYuvFrameJob job = f.Job(out.data(), w, h, 10, w);
        ConvertYuvFrame(&job);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t x = 0; x < w; ++x) ASSERT_EQ(out[size_t(r) * w + x], f.Expected(x, r)) << w << "x" << h << " at " << x << "," << r;
    }
}

TEST(YuvFrame, ScalingToTheSameSizeEqualsConverting) {
    Frame f(64, 48, 8);
    std::vector<uint32_t> a(64 * 48), b(64 * 48);
    cxYuvFrameJob ja = f.Job(a.data(), 64, 48, 10, 64), jb = f.Job(b.data(), 64, 48, 10, 64);
    ConvertYuvFrame(&ja);
    ScaleYuvFrame(&jb);
    EXPECT_EQ(a, b);
}

TEST(YuvFrame, ScalingPicksNearestSamplesAndStaysInsideOddFrames) {
    for (auto [sw, sh, dw, dh] : {std::tuple{31, 17, 100, 90}, {31, 17, 7, 3}, {2, 2, 1, 1}, {5, 7, 640, 3}, {640, 480, 3, 1000}}) {
        Frame f(sw, sh, uint32_t(sw * dh));
        std::vector<uint32_t> out(size_t(dw) * dh);
        cxYuvFrameJob job = f.Job(out.data(), dw, dh, 10, dw);
        ASSERT_EQ(RunYuvFrameJob(&job), 0);
        const uint32_t step = uint32_t(float(sw) / float(dw) * 65536.0f);
        float acc = 0;
        for (int32_t j = 0; j < dh; ++j, acc += float(sh) / float(dh)) {
            const int32_t sy = std::min(int32_t(acc), sh - 1);
            for (int32_t i = 0; i < dw; ++i) {
                const int32_t sx = int32_t((uint64_t(i) * step) >> 16);
                ASSERT_EQ(out[size_t(j) * dw + i], f.Expected(sx, sy)) << sw << "x" << sh << "->" << dw << "x" << dh;
            }
        }
    }
}

TEST(YuvFrame, JobChecks) {
    Frame f(8, 8, 1);
    std::vector<uint32_t> out(64);
    cxYuvFrameJob job = f.Job(out.data(), 8, 8, 10, 8);
    cxYuvFrameJob bad = job;
    bad.bytesPerPixel = 2;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_PIXELFORMAT);
    bad = job;
    bad.dstFormat = 14;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_PIXELFORMAT);
    bad = job;
    bad.planeRowLength[1] = 3;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_BADDIMENSIONS);
    bad = job;
    bad.dstRowLength = 7;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_BADDIMENSIONS);
    bad = job;
    bad.srcWidth = -8;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_BADDIMENSIONS);
    bad = job;
    bad.dstHeight = INT32_MAX;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_BADDIMENSIONS);
    bad = job;
    bad.planes[2] = nullptr;
    EXPECT_EQ(RunYuvFrameJob(&bad), ERR_BADDIMENSIONS);
    EXPECT_EQ(RunYuvFrameJob(&job), 0);
}

} // namespace
