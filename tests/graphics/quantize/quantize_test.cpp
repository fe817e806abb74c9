#include "graphics/quantize/quantize.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_bitmap.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

using cxtest::PixelBuffer;

struct Result {
    int ok;
    int32_t count, transparentIndex;
    std::vector<uint8_t> idx;
    uint32_t palette[256];
};

Result Quantize(PixelBuffer &b, int32_t colours, int32_t transparent = -1, int32_t reserve = 0, int32_t dither = 0) {
    Result r{};
    r.idx.assign(size_t(b.width) * b.height, 0xEE);
    r.count = colours;
    r.ok = QuantizePixels(b.bytes.data(), b.format, int32_t(b.unit), b.width, b.height, b.rowLength, r.idx.data(),
                          r.palette, &r.count, transparent, reserve, dither, &r.transparentIndex);
    return r;
}

TEST(Quantize, FewColoursAreKeptExactlyInOrderOfFirstAppearance) {
    for (uint32_t f : {4u, 8u, 10u, 12u}) {
        PixelBuffer b(f, 5, 2);
        const uint32_t c[3] = {0x00FC00, 0x0000F8, 0xF80000}; // exact in every format
        const int order[10] = {0, 0, 1, 2, 1, 2, 2, 0, 1, 0};
        for (int i = 0; i < 10; ++i) b.Set(i % 5, i / 5, ColorToPixel(c[order[i]], f, 0));
        Result r = Quantize(b, 16);
        ASSERT_EQ(r.ok, 1);
        ASSERT_EQ(r.count, 3) << f;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(r.palette[i], c[i]) << f;
        for (int i = 0; i < 10; ++i) EXPECT_EQ(r.idx[size_t(i)], order[i]);
        EXPECT_EQ(r.transparentIndex, -1);
        // With the reserve flag the count includes the kept entry.
        Result k = Quantize(b, 16, 0x0000F8, 1);
        EXPECT_EQ(k.count, 4);
        EXPECT_EQ(k.transparentIndex, 1);
    }
}

TEST(Quantize, AlphaNeitherSplitsNorMergesColours) {
    for (uint32_t f : {10u, 11u, 12u, 13u}) {
        PixelBuffer b(f, 4, 1);
        b.Set(0, 0, ColorToPixel(0x00102030, f, 1));
        b.Set(1, 0, ColorToPixel(0xFF102030, f, 1)); // same colour, other alpha
        b.Set(2, 0, ColorToPixel(0x00102031, f, 1)); // differs in blue only
        b.Set(3, 0, ColorToPixel(0x7F112030, f, 1)); // differs in red only
        Result r = Quantize(b, 256);
        ASSERT_EQ(r.count, 3) << f;
        EXPECT_EQ(r.idx[0], r.idx[1]);
        EXPECT_NE(r.idx[0], r.idx[2]);
        EXPECT_NE(r.idx[0], r.idx[3]);
        EXPECT_EQ(r.palette[r.idx[2]], 0x102031u);
    }
}

TEST(Quantize, OnlyTransparentPixelsGiveJustTheTransparentEntry) {
    PixelBuffer b(10, 6, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) b.Set(x, y, 0xFF00FF);
    Result r = Quantize(b, 256, 0xFF00FF);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.transparentIndex, 0);
    EXPECT_EQ(r.palette[0], 0xFF00FFu);
}

PixelBuffer Noise(uint32_t format, int w, int h, uint32_t seed) {
    PixelBuffer b(format, w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.Set(x, y, ColorToPixel(rng() & 0xFFFFFF, format, 0));
    return b;
}

TEST(Quantize, GradientToTwoColoursSplitsOnceAlongTheWidestChannel) {
    // Red spans 0..255 and green only a little: the cut is on red.
    PixelBuffer b(10, 256, 1);
    for (int x = 0; x < 256; ++x) b.Set(x, 0, uint32_t(x) << 16 | uint32_t(x / 8) << 8);
    Result r = Quantize(b, 2);
    ASSERT_EQ(r.count, 2);
    EXPECT_LT((r.palette[0] >> 16) & 0xFF, 128u);
    EXPECT_GT((r.palette[1] >> 16) & 0xFF, 128u);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(r.idx[size_t(x)], x < 128 ? 0 : 1) << x;
}

TEST(Quantize, MedianCutMapsEveryPixelToTheNearestPaletteColour) {
    PixelBuffer b = Noise(10, 97, 61, 3);
    Result r = Quantize(b, 40);
    ASSERT_EQ(r.ok, 1);
    ASSERT_EQ(r.count, 40);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 97; ++x) {
            // Nearest by the scaled distance from the centre of the pixel's
            // histogram cell.
            const uint32_t c = b.Get(x, y);
            const int cr = int((c >> 19) & 31) * 8 + 4, cg = int((c >> 10) & 63) * 4 + 2, cb = int((c >> 3) & 31) * 8 + 4;
            int64_t best = INT64_MAX;
            for (int i = 0; i < r.count; ++i) {
                const uint32_t p = r.palette[i];
                const int64_t dr = 2 * (cr - int(p >> 16 & 255)), dg = 3 * (cg - int(p >> 8 & 255)), db = cb - int(p & 255);
                best = std::min(best, dr * dr + dg * dg + db * db);
            }
            const uint32_t p = r.palette[r.idx[size_t(y) * 97 + x]];
            const int64_t dr = 2 * (cr - int(p >> 16 & 255)), dg = 3 * (cg - int(p >> 8 & 255)), db = cb - int(p & 255);
            ASSERT_EQ(dr * dr + dg * dg + db * db, best) << x << "," << y;
        }
}

TEST(Quantize, TransparentColourKeepsItsOwnEntryBeyondTheBoxes) {
    PixelBuffer b = Noise(10, 64, 64, 9);
    for (int x = 0; x < 64; ++x) b.Set(x, 10, 0x00FF00);
    Result r = Quantize(b, 256, 0x00FF00, 0, 1);
    ASSERT_EQ(r.ok, 1);
    EXPECT_LE(r.count, 256);
    EXPECT_EQ(r.transparentIndex, r.count - 1);
    EXPECT_EQ(r.palette[r.transparentIndex], 0x00FF00u);
    for (int x = 0; x < 64; ++x) EXPECT_EQ(r.idx[size_t(10) * 64 + x], r.transparentIndex);
    for (size_t i = 0; i < r.idx.size(); ++i) {
        if (i / 64 != 10) {
            ASSERT_NE(r.idx[i], r.transparentIndex);
        }
    }
    // Reserve without a transparent colour: 255 boxes and one spare entry.
    Result k = Quantize(b, 256, -1, 1);
    EXPECT_EQ(k.count, 256);
    EXPECT_EQ(k.transparentIndex, -1);
}

TEST(Quantize, DitherKeepsTheAverageAndStaysInThePalette) {
    // A flat colour between two palette entries comes out as a mix of both.
    PixelBuffer b(10, 64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) b.Set(x, y, (x + y) % 2 ? 0x000000 : 0xFFFFFF);
    b.Set(0, 0, 0x808080); // three colours, two wanted: median cut
    Result r = Quantize(b, 2, -1, 0, 1);
    ASSERT_EQ(r.count, 2);
    for (auto i : r.idx) ASSERT_LT(i, 2);
    PixelBuffer gray(10, 64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) gray.Set(x, y, y < 2 ? 0xFFFFFF * (x % 2) : 0x606060);
    Result g = Quantize(gray, 2, -1, 0, 1);
    ASSERT_EQ(g.count, 2);
    double sum = 0;
    for (int y = 8; y < 64; ++y)
        for (int x = 0; x < 64; ++x) sum += g.palette[g.idx[size_t(y) * 64 + x]] & 0xFF;
    EXPECT_NEAR(sum / (56 * 64), 0x60, 12);
}

TEST(Quantize, HostileCountsAndArguments) {
    PixelBuffer b = Noise(4, 20, 20, 1);
    for (int32_t want : {0, -5, INT32_MIN}) {
        Result r = Quantize(b, want);
        EXPECT_EQ(r.ok, 1);
        EXPECT_EQ(r.count, 1);
    }
    Result big = Quantize(b, 100000);
    EXPECT_EQ(big.ok, 1);
    EXPECT_LE(big.count, 256);
    uint8_t idx[4];
    uint32_t pal[256];
    int32_t n = 4;
    EXPECT_EQ(QuantizePixels(b.bytes.data(), 4, 4, 2, 2, 2, idx, pal, &n, -1, 0, 0, nullptr), 0); // bpp mismatch
    EXPECT_EQ(QuantizePixels(b.bytes.data(), 14, 1, 2, 2, 2, idx, pal, &n, -1, 0, 0, nullptr), 0);
    EXPECT_EQ(QuantizePixels(b.bytes.data(), 4, 2, 2, 2, 1, idx, pal, &n, -1, 0, 0, nullptr), 0);
    EXPECT_EQ(QuantizePixels(nullptr, 4, 2, 2, 2, 2, idx, pal, &n, -1, 0, 0, nullptr), 0);
}

TEST(Quantize, BitmapDriversReduceInPlace) {
    OsSetPixelFormat(10);
    cxBitmap *bm = AllocBitmap(32, 16, 0, 0);
    ASSERT_TRUE(bm);
    cxOsBitmapLock l{};
    auto fill = [&] {
        ASSERT_TRUE(LockBitmap(bm, 0, &l));
        std::mt19937 rng(2);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) reinterpret_cast<uint32_t *>(l.pixels)[y * l.rowLength + x] = rng() & 0xFFFFFF;
        UnlockBitmap(&l);
    };
    auto colours = [&] {
        std::set<uint32_t> s;
        LockBitmap(bm, 0, &l);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) s.insert(reinterpret_cast<uint32_t *>(l.pixels)[y * l.rowLength + x]);
        UnlockBitmap(&l);
        return s;
    };
    fill();
    ASSERT_EQ(QuantizeBitmap(bm, 32, 16, 8, 1), 0);
    EXPECT_LE(colours().size(), 8u);
    fill();
    ASSERT_EQ(ConvertBitmapToMonochrome(bm, 32, 16, 0), 0);
    for (uint32_t c : colours()) EXPECT_TRUE(c == 0 || c == 0x00FFFFFF) << std::hex << c;
    EXPECT_EQ(QuantizeBitmap(bm, 33, 16, 8, 1), ERR_LOCKBMAP);
    EXPECT_EQ(QuantizeBitmap(nullptr, 1, 1, 8, 1), ERR_LOCKBMAP);
    FreeBitmap(bm);
}

} // namespace
