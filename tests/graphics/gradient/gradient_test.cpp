#include "graphics/gradient/gradient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_bitmap.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

cxGradient TwoColour(uint32_t style, uint32_t from, uint32_t to, int32_t angle = 0) {
    cxGradient g{};
    g.style = style;
    g.startColour = from;
    g.endColour = to;
    g.angle = angle;
    g.centerX = g.centerY = g.balance = 0.5;
    return g;
}

cxtest::PixelBuffer Fill(const cxGradient &g, int32_t w, int32_t h, uint32_t format = 10) {
    cxtest::PixelBuffer buf(format, w, h);
    const cxGradientFillJob job{buf.bytes.data(), GetBytesPerPixel(format), format, 0, 0, w, h, buf.rowLength, &g};
    FillGradientPixels(&job);
    return buf;
}

uint32_t Red(uint32_t c) { return (c >> 16) & 0xFF; }
uint32_t Blue(uint32_t c) { return c & 0xFF; }

TEST(Gradient, LinearDownwardsRowsAreOneColourFromStartToNearlyEnd) {
    const auto g = TwoColour(CX_GRADIENT_LINEAR, 0xFF0000, 0x0000FF, 0);
    auto buf = Fill(g, 37, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 1; x < 37; ++x) ASSERT_EQ(buf.Get(x, y), buf.Get(0, y)) << x << "," << y;
    EXPECT_GE(Red(buf.Get(0, 0)), 250u);
    EXPECT_GE(Blue(buf.Get(0, 49)), 250u);
    // Monotone along the direction.
    for (int y = 1; y < 50; ++y) {
        EXPECT_LE(Red(buf.Get(0, y)), Red(buf.Get(0, y - 1)));
        EXPECT_GE(Blue(buf.Get(0, y)), Blue(buf.Get(0, y - 1)));
    }
}

TEST(Gradient, EquivalentAnglesGiveTheSamePixels) {
    const struct {
        int32_t a, b;
    } pairs[] = {{-90, 270}, {0, 360}, {45, -315}, {123, 483}};
    for (auto p : pairs) {
        auto x = Fill(TwoColour(CX_GRADIENT_LINEAR, 0x102030, 0xF0E0D0, p.a), 41, 23);
        auto y = Fill(TwoColour(CX_GRADIENT_LINEAR, 0x102030, 0xF0E0D0, p.b), 41, 23);
        EXPECT_EQ(x.bytes, y.bytes) << p.a << " vs " << p.b;
    }
}

TEST(Gradient, LinearAtAnyAngleIsMonotoneAlongItsDirectionAndSymmetricAcrossIt) {
    for (int32_t angle : {0, 30, 90, 135, 200, 270, 333}) {
        auto buf = Fill(TwoColour(CX_GRADIENT_LINEAR, 0x000000, 0xFFFFFF, angle), 64, 48);
        const double rad = angle * M_PI / 180.0, ux = std::sin(rad), uy = std::cos(rad);
        // Pixels further along the direction are never darker (beyond one
        // step of rounding across rows).
        for (int y = 0; y < 48; y += 3)
            for (int x = 0; x < 64; x += 3)
                for (int y2 = 0; y2 < 48; y2 += 5)
                    for (int x2 = 0; x2 < 64; x2 += 5) {
                        const double d = (x2 - x) * ux + (y2 - y) * uy;
                        if (d > 1.0) {
                            ASSERT_GE(Blue(buf.Get(x2, y2)) + 1, Blue(buf.Get(x, y))) << angle;
                        }
                    }
        // The entering corner starts black, the opposite one ends near white.
        uint32_t lo = 255, hi = 0;
        for (int y : {0, 47})
            for (int x : {0, 63}) lo = std::min(lo, Blue(buf.Get(x, y))), hi = std::max(hi, Blue(buf.Get(x, y)));
        EXPECT_LE(lo, 8u) << angle;
        EXPECT_GE(hi, 245u) << angle;
    }
}

TEST(Gradient, RadialIsSymmetricAboutACentredCentre) {
    auto buf = Fill(TwoColour(CX_GRADIENT_RADIAL, 0xFFFFFF, 0x000000), 40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(buf.Get(x, y), buf.Get(39 - x, y));
            ASSERT_EQ(buf.Get(x, y), buf.Get(x, 29 - y));
        }
    EXPECT_GT(Blue(buf.Get(20, 15)), Blue(buf.Get(0, 0)));
}

TEST(Gradient, RadialReductionOfOneStillHasARadius) {
    auto g = TwoColour(CX_GRADIENT_RADIAL, 0xFFFFFF, 0x000000);
    g.border = 1.0;
    auto buf = Fill(g, 200, 200);
    // 0.99 reduction: a small bright disc in the middle, black outside.
    EXPECT_GE(Blue(buf.Get(100, 100)), 120u);
    EXPECT_EQ(buf.Get(0, 0), 0u);
    g.border = 7.0; // beyond 1 is taken as 0.99 too
    EXPECT_EQ(Fill(g, 200, 200).bytes, buf.bytes);
}

TEST(Gradient, ConicalTwoColourHasNoSeam) {
    auto buf = Fill(TwoColour(CX_GRADIENT_CONICAL, 0xFFFFFF, 0x000000, 0), 64, 64);
    // Around a circle the colour changes by small steps everywhere,
    // including where the angle wraps.
    uint32_t prev = Blue(buf.Get(32 + 30, 32));
    for (int i = 1; i <= 720; ++i) {
        const double a = i * M_PI / 360.0;
        const int x = 32 + int(std::lround(30 * std::cos(a))), y = 32 + int(std::lround(30 * std::sin(a)));
        const uint32_t c = Blue(buf.Get(std::min(x, 63), std::min(y, 63)));
        EXPECT_LE(std::abs(int(c) - int(prev)), 12) << i;
        prev = c;
    }
}

TEST(Gradient, ConicalStartAnglesOfAnySignAgree) {
    // -400 and 320 degrees name the same start; the whole circle is covered.
    auto a = Fill(TwoColour(CX_GRADIENT_CONICAL, 0xFFFFFF, 0x000000, -400), 32, 32);
    auto b = Fill(TwoColour(CX_GRADIENT_CONICAL, 0xFFFFFF, 0x000000, 320), 32, 32);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(Gradient, StopsOutOfOrderAreSortedAndBadOnesRefused) {
    cxGradient sorted = TwoColour(CX_GRADIENT_LINEAR, 0, 0);
    sorted.stopCount = 3;
    sorted.stops[0] = {0xFF0000, 0, 0.0};
    sorted.stops[1] = {0x00FF00, 0, 0.5};
    sorted.stops[2] = {0x0000FF, 0, 1.0};
    cxGradient shuffled = sorted;
    shuffled.stops[0] = sorted.stops[2];
    shuffled.stops[2] = sorted.stops[0];
    EXPECT_EQ(Fill(sorted, 8, 64).bytes, Fill(shuffled, 8, 64).bytes);

    cxGradientStops table;
    cxGradient bad = sorted;
    bad.stops[1].position = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(BuildGradientStops(&bad, &table), ERR_WRONGUSAGE);
    bad = sorted;
    bad.stopCount = 65;
    EXPECT_EQ(BuildGradientStops(&bad, &table), ERR_WRONGUSAGE);
    bad.stopCount = -1;
    EXPECT_EQ(BuildGradientStops(&bad, &table), ERR_WRONGUSAGE);
    // Out-of-range positions are clamped: a stop at 3.0 acts at 1.0.
    cxGradient far = sorted;
    far.stops[2].position = 3.0;
    EXPECT_EQ(Fill(far, 8, 64).bytes, Fill(sorted, 8, 64).bytes);
    // A kernel handed a bad gradient writes nothing.
    auto untouched = Fill(bad, 8, 8);
    for (auto b : untouched.bytes) ASSERT_EQ(b, 0);
}

TEST(Gradient, ColourLookupClampsAndInterpolates) {
    cxGradient g = TwoColour(CX_GRADIENT_LINEAR, 0, 0);
    g.stopCount = 2;
    g.stops[0] = {0x000000, 0, 0.25};
    g.stops[1] = {0xFFFFFF, 0, 0.75};
    cxGradientStops s;
    ASSERT_EQ(BuildGradientStops(&g, &s), 0);
    EXPECT_EQ(GradientColorAt32(&s, -5), 0u);
    EXPECT_EQ(GradientColorAt32(&s, 16384), 0u);
    EXPECT_EQ(GradientColorAt32(&s, 32768), 0x7F7F7Fu); // weight 128 of 256 over 16-bit channels
    EXPECT_EQ(GradientColorAt32(&s, 49152), 0xFFFFFFu);
    EXPECT_EQ(GradientColorAt32(&s, 1 << 30), 0xFFFFFFu);
    EXPECT_EQ(GradientColorAt16(&s, 49152), 0xFFFFu);
    // Two stops at one position: the later colour from there on.
    g.stops[1].position = 0.25;
    ASSERT_EQ(BuildGradientStops(&g, &s), 0);
    EXPECT_EQ(GradientColorAt32(&s, 16383), 0u);
    EXPECT_EQ(GradientColorAt32(&s, 16384), 0xFFFFFFu);
}

TEST(Gradient, SixteenBitFormatsHoldTheTopBitsOfTheSameColours) {
    for (int angle : {0, 77}) {
        const auto g = TwoColour(CX_GRADIENT_LINEAR, 0xFF8000, 0x0080FF, angle);
        auto wide = Fill(g, 30, 20, 10);
        for (uint32_t f : {0u, 4u, 7u}) {
            auto narrow = Fill(g, 30, 20, f);
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 30; ++x)
                    ASSERT_EQ(narrow.Get(x, y), ColorToPixel(wide.Get(x, y), f, 0)) << f;
        }
    }
}

TEST(Gradient, LargeFillsMatchSmallWindowsOfTheSameGradient) {
    // Large fills use a colour table, small ones the lookup: same pixels.
    OsSetPixelFormat(10);
    cxBitmap *big = AllocBitmap(640, 480, CX_ALLOC_CLEAR, 0);
    cxBitmap *small = AllocBitmap(640, 480, CX_ALLOC_CLEAR, 0);
    ASSERT_TRUE(big && small);
    for (uint32_t style : {2u, 3u, 4u}) {
        cxGradient g = TwoColour(style, 0x123456, 0xFEDCBA, 33);
        g.centerX = 0.3;
        ASSERT_EQ(DrawGradient(big, 0, 0, 640, 480, &g), 0);
        // The same rectangle drawn through small clipped bitmaps' windows:
        // draw the full geometry offset so that only a band lands inside.
        cxOsBitmapLock a{}, b{};
        for (int band = 0; band < 480; band += 60) {
            cxBitmap *strip = AllocBitmap(640, 60, CX_ALLOC_CLEAR, 0);
            ASSERT_EQ(DrawGradient(strip, 0, -band, 640, 480, &g), 0);
            ASSERT_TRUE(LockBitmap(big, 0, &a) && LockBitmap(strip, 0, &b));
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 640; ++x)
                    ASSERT_EQ(reinterpret_cast<uint32_t *>(a.pixels)[(band + y) * a.rowLength + x],
                              reinterpret_cast<uint32_t *>(b.pixels)[y * b.rowLength + x])
                        << style << " " << x << "," << band + y;
            UnlockBitmap(&a);
            UnlockBitmap(&b);
            FreeBitmap(strip);
        }
    }
    FreeBitmap(big);
    FreeBitmap(small);
}

TEST(Gradient, DrawRefusesNonFiniteGeometryAndClipsHostileRectangles) {
    OsSetPixelFormat(10);
    cxBitmap *bm = AllocBitmap(16, 16, CX_ALLOC_CLEAR, 0);
    ASSERT_TRUE(bm);
    cxGradient g = TwoColour(CX_GRADIENT_RADIAL, 0xFFFFFF, 0);
    g.centerX = std::numeric_limits<double>::infinity();
    EXPECT_EQ(DrawGradient(bm, 0, 0, 16, 16, &g), ERR_WRONGUSAGE);
    g.centerX = 0.5;
    g.border = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(DrawGradient(bm, 0, 0, 16, 16, &g), ERR_WRONGUSAGE);
    g.border = 0;
    EXPECT_EQ(DrawGradient(bm, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, &g), 0);
    EXPECT_EQ(DrawGradient(bm, 100, 100, 5, 5, &g), 0);
    EXPECT_EQ(DrawGradient(bm, 0, 0, -5, 5, &g), 0);
    EXPECT_EQ(DrawGradient(nullptr, 0, 0, 5, 5, &g), ERR_LOCKBMAP);
    g.style = 9; // unknown kinds leave the pixels alone
    EXPECT_EQ(DrawGradient(bm, 0, 0, 16, 16, &g), 0);
    FreeBitmap(bm);
}

} // namespace
