#include "graphics/effects/colour_effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_bitmap.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

using cxtest::PixelBuffer;

const uint32_t kFormats[] = {0, 3, 4, 7, 8, 9, 10, 11, 12, 13};

// Random colours with the alpha byte 0x5A where the format has one.
PixelBuffer Make(uint32_t format, int32_t w, int32_t h, uint32_t seed) {
    PixelBuffer b(format, w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.Set(x, y, ColorToPixel(0x5A000000u | (rng() & 0xFFFFFF), format, 1));
    return b;
}

using Kernel = std::function<void(void *, int32_t, int32_t, int32_t, uint32_t)>;
using ChannelFn = std::function<void(uint32_t &, uint32_t &, uint32_t &)>;

// Runs the member for the buffer's pixel size and checks every pixel against
// fn applied to its 8-bit channels (stored back through the format's top
// bits), with the alpha byte kept.
void ExpectPerPixel(uint32_t f, const Kernel &k16, const Kernel &k32, const ChannelFn &fn) {
    PixelBuffer a = Make(f, 13, 5, f * 7 + 1), orig = a;
    (a.unit == 2 ? k16 : k32)(a.bytes.data(), a.width, a.height, a.rowLength, f);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t c = PixelToColor(orig.Get(x, y), f, 1);
            uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            fn(r, g, b);
            const uint32_t want = ColorToPixel((c & 0xFF000000u) | (r << 16) | (g << 8) | b, f, 1);
            ASSERT_EQ(a.Get(x, y), want) << "format " << f << " at " << x << "," << y;
        }
}

TEST(ColourEffects, SolarizeInvertsChannelsAboveTheThreshold) {
    for (uint32_t f : kFormats)
        for (int32_t t : {0, 100, 255}) {
            ExpectPerPixel(
                f, [t](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { SolarizePixels16(p, w, h, rl, fm, t); },
                [t](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { SolarizePixels32(p, w, h, rl, fm, t); },
                [t](uint32_t &r, uint32_t &g, uint32_t &b) {
                    for (uint32_t *c : {&r, &g, &b})
                        if (int32_t(*c) > t) *c = 255 - *c;
                });
        }
}

TEST(ColourEffects, WrongMemberForTheFormatChangesNothing) {
    PixelBuffer a = Make(10, 8, 3, 1), orig = a;
    SolarizePixels16(a.bytes.data(), 8, 3, a.rowLength, 10, 0);
    SepiaPixels16(a.bytes.data(), 8, 3, a.rowLength, 10, 0);
    PixelBuffer b = Make(4, 8, 3, 1), origB = b;
    ModulatePixels32(b.bytes.data(), 8, 3, b.rowLength, 4, 50, 50, 50);
    SolarizePixels32(b.bytes.data(), 8, 3, b.rowLength, 99, 0);
    EXPECT_EQ(a.bytes, orig.bytes);
    EXPECT_EQ(b.bytes, origB.bytes);
}

TEST(ColourEffects, GammaTablesApplyByFlag) {
    uint8_t inv[256], zero[256];
    for (int i = 0; i < 256; ++i) inv[i] = uint8_t(255 - i), zero[i] = 0;
    for (uint32_t f : {4u, 10u, 12u}) {
        ExpectPerPixel(
            f,
            [&](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { GammaPixels16(p, w, h, rl, fm, inv, zero, inv, 5); },
            [&](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { GammaPixels32(p, w, h, rl, fm, inv, zero, inv, 5); },
            [](uint32_t &r, uint32_t &, uint32_t &b) { r = 255 - r, b = 255 - b; });
    }
}

TEST(ColourEffects, ModulateIdentityHueTurnAndBadNumbers) {
    // 100/100/100 returns each colour up to the truncation of the round trip.
    for (uint32_t c = 0; c < 0x1000000; c += 0x010305) {
        uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
        ModulateColor(100, 100, 100, &r, &g, &b);
        ASSERT_LE(std::abs(int(r) - int((c >> 16) & 0xFF)), 1) << std::hex << c;
        ASSERT_LE(std::abs(int(g) - int((c >> 8) & 0xFF)), 1) << std::hex << c;
        ASSERT_LE(std::abs(int(b) - int(c & 0xFF)), 1) << std::hex << c;
    }
    // Hue 200 % turns by half a turn: red becomes cyan.
    uint8_t r = 255, g = 0, b = 0;
    ModulateColor(100, 100, 200, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_GE(g, 254); // (2/3 - 1/2) * 6 lands a hair below 1 before truncation
    EXPECT_GE(b, 254);
    // A hue of many turns costs no time and lands on the same colour.
    r = 255, g = 0, b = 0;
    ModulateColor(100, 100, 200 + 2e15, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_GE(g, 254);
    // Non-finite numbers leave the colour.
    r = 10, g = 20, b = 30;
    ModulateColor(100, std::numeric_limits<double>::quiet_NaN(), 100, &r, &g, &b);
    ModulateColor(100, 100, std::numeric_limits<double>::infinity(), &r, &g, &b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(b, 30);
    // Saturation 0 gives gray of the lightness.
    r = 200, g = 100, b = 0;
    ModulateColor(100, 0, 100, &r, &g, &b);
    EXPECT_EQ(r, g);
    EXPECT_EQ(g, b);
    EXPECT_EQ(r, 100);
}

TEST(ColourEffects, SepiaFormulaAndThresholdZero) {
    for (uint32_t f : {4u, 8u, 10u, 13u})
        for (int32_t t : {0, 128, 255}) {
            ExpectPerPixel(
                f, [t](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { SepiaPixels16(p, w, h, rl, fm, t); },
                [t](void *p, int32_t w, int32_t h, int32_t rl, uint32_t fm) { SepiaPixels32(p, w, h, rl, fm, t); },
                [t](uint32_t &r, uint32_t &g, uint32_t &b) {
                    const double I = 0.299 * r + 0.587 * g + 0.114 * b;
                    auto clamp = [](double v) { return uint32_t(std::clamp(v, 0.0, 255.0)); };
                    r = clamp(I > t ? 255 : I + 255 - t);
                    g = clamp(I > 7.0 * t / 6 ? 255 : I + 255 - 7.0 * t / 6);
                    b = clamp(I < t / 6.0 ? 0 : I - t / 6.0);
                    g = std::max<uint32_t>(g, uint32_t(t / 7));
                    b = std::max<uint32_t>(b, uint32_t(t / 7));
                    if (t == 0 && I > 0) {
                        EXPECT_EQ(r, 255u);
                    }
                });
        }
}

TEST(ColourEffects, LevelsStretchSpreadsTheRangeAndLeavesOneColourAlone) {
    PixelBuffer one(10, 6, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) one.Set(x, y, 0x406080);
    PixelBuffer orig = one;
    StretchLevels(one.bytes.data(), 6, 6, one.rowLength, 10, 36 * 0.02, 36 * 0.99);
    EXPECT_EQ(one.bytes, orig.bytes);

    // Grays 50..150: black 50, white 150, so 100 lands in the middle.
    PixelBuffer ramp(10, 101, 1);
    for (int x = 0; x <= 100; ++x) ramp.Set(x, 0, 0x010101u * uint32_t(50 + x));
    StretchLevels(ramp.bytes.data(), 101, 1, ramp.rowLength, 10, 0, 101);
    EXPECT_EQ(ramp.Get(0, 0), 0u);
    EXPECT_EQ(ramp.Get(100, 0), 0xFFFFFFu);
    EXPECT_EQ(ramp.Get(50, 0), 0x010101u * 127);
}

TEST(ColourEffects, LevelPointsFromTheHistogram) {
    uint32_t hist[256] = {};
    hist[10] = 5, hist[20] = 90, hist[240] = 5;
    int32_t black, white;
    FindLevelPoints(hist, 2, 98, 10, 10, &black, &white);
    EXPECT_EQ(black, 10);
    EXPECT_EQ(white, 240);
    FindLevelPoints(hist, 5, 95, 10, 10, &black, &white);
    EXPECT_EQ(black, 20);
    EXPECT_EQ(white, 20);
    FindLevelPoints(hist, 1000, -1000, 10, 10, &black, &white);
    EXPECT_EQ(black, 0);
    EXPECT_EQ(white, 0);
}

TEST(ColourEffects, MonochromeStoresBlackAndWhitePerFormat) {
    const uint8_t idx[6] = {0, 1, 2, 0, 255, 0};
    const struct {
        uint32_t format, white;
    } cases[] = {{4, 0xFFFF}, {2, 0xFFFF}, {10, 0x00FFFFFF}, {13, 0x00FFFFFF}, {11, 0xFFFFFF00}, {12, 0xFFFFFF00},
                 {8, 0xFFFFFF}, {9, 0xFFFFFF}};
    for (auto c : cases) {
        PixelBuffer b = Make(c.format, 3, 2, 3);
        if (b.unit == 2) StoreMonochrome16(b.bytes.data(), 3, 2, b.rowLength, c.format, idx);
        else StoreMonochrome32(b.bytes.data(), 3, 2, b.rowLength, c.format, idx);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(b.Get(i % 3, i / 3), idx[i] ? c.white : 0u) << c.format << " " << i;
    }
}

TEST(ColourEffects, ContrastMovesBrightnessAwayFromOrTowardsTheMiddle) {
    uint8_t r = 200, g = 180, b = 160;
    ContrastColor(1, &r, &g, &b);
    EXPECT_GT(r, 200);
    uint8_t r2 = 200, g2 = 180, b2 = 160;
    ContrastColor(-1, &r2, &g2, &b2);
    EXPECT_LT(r2, 200);
    uint8_t k = 0, k2 = 0, k3 = 0;
    ContrastColor(1, &k, &k2, &k3); // black is a fixed point
    EXPECT_EQ(k, 0);
    // Repeating reaches a fixed point; a huge count ends all the same.
    PixelBuffer a = Make(10, 64, 64, 5);
    ContrastPixels32(a.bytes.data(), 64, 64, a.rowLength, 10, 1, 2000000000);
    PixelBuffer once = a;
    ContrastPixels32(once.bytes.data(), 64, 64, once.rowLength, 10, 1, 1);
    EXPECT_EQ(once.bytes, a.bytes);
}

TEST(ColourEffects, OilPaintKeepsFlatAreasAndPicksTheCommonColour) {
    PixelBuffer a(10, 7, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) a.Set(x, y, 0x204060);
    a.Set(3, 3, 0xFFFFFF); // a lone speck disappears
    ASSERT_EQ(OilPaintPixels32(a.bytes.data(), 7, 7, a.rowLength, 10, 1.0), 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) ASSERT_EQ(a.Get(x, y), 0x204060u);
    EXPECT_EQ(OilPaintPixels32(a.bytes.data(), 7, 7, a.rowLength, 10, 1e9), ERR_WRONGUSAGE);
    EXPECT_EQ(OilPaintPixels32(a.bytes.data(), 7, 7, a.rowLength, 10, std::numeric_limits<double>::quiet_NaN()),
              ERR_WRONGUSAGE);
    EXPECT_EQ(OilPaintPixels16(a.bytes.data(), 7, 7, a.rowLength, 10, 1.0), ERR_PIXELFORMAT);
}

class EffectDrivers : public ::testing::Test {
protected:
    void SetUp() override {
        OsSetPixelFormat(10);
        bm = AllocBitmap(20, 10, CX_ALLOC_CLEAR, 0);
        ASSERT_TRUE(bm);
        cxOsBitmapLock l{};
        ASSERT_TRUE(LockBitmap(bm, 0, &l));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) reinterpret_cast<uint32_t *>(l.pixels)[y * l.rowLength + x] = 0x123456u * (x + y);
        UnlockBitmap(&l);
    }
    void TearDown() override { FreeBitmap(bm); }
    uint32_t At(int x, int y) {
        cxOsBitmapLock l{};
        LockBitmap(bm, 0, &l);
        const uint32_t v = reinterpret_cast<uint32_t *>(l.pixels)[y * l.rowLength + x];
        UnlockBitmap(&l);
        return v;
    }
    cxBitmap *bm = nullptr;
};

TEST_F(EffectDrivers, RefuseBadArgumentsAndOversizedRequests) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const uint32_t before = At(5, 5);
    EXPECT_EQ(SolarizeBitmap(nullptr, 1, 1, 0), ERR_LOCKBMAP);
    EXPECT_EQ(SolarizeBitmap(bm, 21, 10, 0), ERR_LOCKBMAP);
    EXPECT_EQ(SolarizeBitmap(bm, 0, 10, 0), ERR_LOCKBMAP);
    EXPECT_EQ(AdjustBitmapGamma(bm, 20, 10, 0.0, 1, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(AdjustBitmapGamma(bm, 20, 10, nan, 1, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(AdjustBitmapContrast(bm, 20, 10, 1, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(ModulateBitmap(bm, 20, 10, -1, 1, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(ModulateBitmap(bm, 20, 10, 1, 1, nan), ERR_WRONGUSAGE);
    EXPECT_EQ(ModulateBitmap(bm, 20, 10, 1, 1, 1e300), ERR_WRONGUSAGE);
    EXPECT_EQ(At(5, 5), before);
}

TEST_F(EffectDrivers, GrayInvertGammaAndModulate) {
    const uint32_t c = At(7, 2) & 0xFFFFFF;
    ASSERT_EQ(InvertBitmap(bm, 20, 10), 0);
    EXPECT_EQ(At(7, 2) & 0xFFFFFF, c ^ 0xFFFFFFu);
    ASSERT_EQ(InvertBitmap(bm, 20, 10), 0);
    ASSERT_EQ(ModulateBitmap(bm, 20, 10, 1, 1, 1), 0);
    ASSERT_EQ(AdjustBitmapGamma(bm, 20, 10, 1, 1, 1), 0);
    EXPECT_EQ(At(7, 2) & 0xFFFFFF, c);
    ASSERT_EQ(AdjustBitmapGamma(bm, 20, 10, 2.0, 1, 1), 0);
    const uint32_t r = (c >> 16) & 0xFF;
    EXPECT_EQ((At(7, 2) >> 16) & 0xFF, uint32_t(255.0 * std::pow(r / 255.0, 0.5) + 0.5));
    EXPECT_EQ(At(7, 2) & 0xFFFF, c & 0xFFFF);
    ASSERT_EQ(ConvertBitmapToGray(bm, 20, 10, 0), 0);
    const uint32_t g = At(7, 2);
    EXPECT_EQ((g >> 16) & 0xFF, g & 0xFF);
    ASSERT_EQ(ConvertBitmapToGray(bm, 20, 10, 1), 0);
    for (int x = 0; x < 20; ++x) {
        const uint32_t v = At(x, 3) & 0xFFFFFF;
        EXPECT_TRUE(v == 0 || v == 0xFFFFFF);
    }
}

} // namespace
