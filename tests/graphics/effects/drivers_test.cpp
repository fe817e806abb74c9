// The drivers that make new bitmaps or move pixels with their mask and
// alpha channel, and the blending drivers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "errors/error_codes.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/effects/shadow_alpha.h"
#include "platform/os_bitmap.h"

namespace {

// Reads and writes a locked bitmap of any kind.
struct View {
    cxOsBitmapLock l{};
    explicit View(const cxBitmap *b) { EXPECT_TRUE(b && LockBitmap(b, 0, &l)); }
    ~View() { UnlockBitmap(&l); }
    uint32_t &Px(int x, int y) { return reinterpret_cast<uint32_t *>(l.pixels)[y * l.rowLength + x]; }
    uint8_t &A(int x, int y) { return l.pixels[y * l.rowLength + x]; }
    bool Bit(int x, int y) { return (l.pixels[y * l.rowLength + (x >> 3)] >> (7 - (x & 7))) & 1; }
    void SetBit(int x, int y, bool on) {
        uint8_t &b = l.pixels[y * l.rowLength + (x >> 3)];
        b = on ? uint8_t(b | (0x80 >> (x & 7))) : uint8_t(b & ~(0x80 >> (x & 7)));
    }
};

class Drivers : public ::testing::Test {
protected:
    void SetUp() override {
        OsSetPixelFormat(10);
        bm = AllocBitmap(W, H, CX_ALLOC_CLEAR, 0);
        mask = AllocMask(bm, W, H, 1, nullptr, 0);
        alpha = AllocAlphaChannel(W, H, 1, nullptr, 0);
        ASSERT_TRUE(bm && mask && alpha);
        View c(bm), m(mask), a(alpha);
        std::mt19937 rng(4);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                c.Px(x, y) = rng() & 0xFFFFFF;
                m.SetBit(x, y, (x + y) % 3 != 0);
                a.A(x, y) = uint8_t(x * 10 + y);
            }
    }
    void TearDown() override {
        FreeBitmap(bm);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
    }
    static constexpr int W = 12, H = 8;
    cxBitmap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
};

TEST_F(Drivers, ScaleMakesNewBitmapsOfTheRectangle) {
    cxBitmap *ob, *om, *oa;
    ASSERT_EQ(ScaleBitmapFx(bm, mask, alpha, 2, 1, 4, 3, 8, 6, 0, &ob, &om, &oa), 0);
    ASSERT_TRUE(ob && om && oa);
    View s(bm), sm(mask), sa(alpha), d(ob), dm(om), da(oa);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(d.Px(x, y), s.Px(2 + x / 2, 1 + y / 2));
            EXPECT_EQ(dm.Bit(x, y), sm.Bit(2 + x / 2, 1 + y / 2));
            EXPECT_EQ(da.A(x, y), sa.A(2 + x / 2, 1 + y / 2));
        }
    FreeBitmap(ob), FreeMask(om), FreeAlphaChannel(oa);
    EXPECT_EQ(ScaleBitmapFx(bm, nullptr, nullptr, 0, 0, 4, 4, 0, 5, 0, &ob, &om, &oa), ERR_BADDIMENSIONS);
    EXPECT_EQ(ScaleBitmapFx(bm, nullptr, nullptr, 10, 0, 4, 4, 5, 5, 0, &ob, &om, &oa), ERR_LOCKBMAP);
    EXPECT_EQ(ob, nullptr);
}

TEST_F(Drivers, RotateAQuarterTurnAndGiveUnmaskedSourcesAMask) {
    const double quarter[4] = {0, -1, 1, 0};
    cxBitmap *ob, *om, *oa;
    int32_t w, h;
    ASSERT_EQ(RotateBitmapFx(bm, nullptr, nullptr, 0, 0, W, H, quarter, 0, &ob, &om, &oa, &w, &h), 0);
    EXPECT_EQ(w, H);
    EXPECT_EQ(h, W);
    ASSERT_TRUE(ob && om && !oa);
    {
        View s(bm), d(ob), dm(om);
        std::multiset<uint32_t> a, b;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) a.insert(s.Px(x, y));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                b.insert(d.Px(x, y));
                EXPECT_TRUE(dm.Bit(x, y));
            }
        EXPECT_EQ(a, b); // every pixel moved, none lost
    }
    FreeBitmap(ob), FreeMask(om);
    const double turn30[4] = {std::cos(0.5), -std::sin(0.5), std::sin(0.5), std::cos(0.5)};
    ASSERT_EQ(RotateBitmapFx(bm, nullptr, alpha, 0, 0, W, H, turn30, 1, &ob, &om, &oa, &w, &h), 0);
    ASSERT_TRUE(oa && !om);
    {
        View da(oa);
        EXPECT_EQ(da.A(0, 0), 0); // a corner outside the turned image
    }
    FreeBitmap(ob), FreeAlphaChannel(oa);
    const double singular[4] = {1, 2, 2, 4}, bad[4] = {1, std::numeric_limits<double>::quiet_NaN(), 0, 1};
    EXPECT_EQ(RotateBitmapFx(bm, mask, nullptr, 0, 0, W, H, singular, 0, &ob, &om, &oa, &w, &h), ERR_WRONGUSAGE);
    EXPECT_EQ(RotateBitmapFx(bm, mask, nullptr, 0, 0, W, H, bad, 0, &ob, &om, &oa, &w, &h), ERR_WRONGUSAGE);
}

TEST_F(Drivers, PixelateSwirlAndRippleMovePixelsWithMaskAndAlpha) {
    ASSERT_EQ(PixelateBitmap(bm, mask, alpha, W, H, 4), 0);
    {
        View c(bm), m(mask), a(alpha);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int bx = x - x % 4 + 2, by = y - y % 4 + 2;
                EXPECT_EQ(c.Px(x, y), c.Px(bx, by));
                EXPECT_EQ(m.Bit(x, y), m.Bit(bx, by));
                EXPECT_EQ(a.A(x, y), a.A(bx, by));
            }
    }
    TearDown();
    SetUp();
    std::multiset<uint32_t> before;
    {
        View c(bm);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) before.insert(c.Px(x, y));
    }
    ASSERT_EQ(RippleBitmap(bm, mask, alpha, W, H, 32, 0, 0, 0.5, 0.5), 0); // no amplitude: unchanged
    ASSERT_EQ(SwirlBitmap(bm, mask, alpha, W, H, 0), 0);
    {
        View c(bm);
        std::multiset<uint32_t> after;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) after.insert(c.Px(x, y));
        EXPECT_EQ(after, before);
    }
    ASSERT_EQ(SwirlBitmap(bm, mask, alpha, W, H, 100000), 0); // clamped to 359
    ASSERT_EQ(RippleBitmap(bm, mask, alpha, W, H, 0, 3, 90, 0.3, 0.7), 0);
    {
        View c(bm);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) EXPECT_TRUE(before.count(c.Px(x, y))); // only source pixels
    }
    EXPECT_EQ(RippleBitmap(bm, mask, alpha, W, H, 8, 1, 0, std::numeric_limits<double>::infinity(), 0.5),
              ERR_WRONGUSAGE);
    EXPECT_EQ(PixelateBitmap(bm, mask, alpha, W + 1, H, 3), ERR_LOCKBMAP);
}

TEST_F(Drivers, ShadowAlphaFromBoxMaskAndAlpha) {
    cxBitmap *s = CreateShadowAlpha(nullptr, nullptr, 0, 0, 20, 16, 200, 0, 0, 3, 1.0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->width, 26);
    EXPECT_EQ(s->height, 22);
    {
        View v(s);
        EXPECT_EQ(v.A(13, 11), 200);
        EXPECT_LT(v.A(3, 3), 200);
        EXPECT_GT(v.A(3, 3), 0);
        EXPECT_EQ(v.A(0, 0), 0);
    }
    FreeAlphaChannel(s);
    s = CreateShadowAlpha(mask, nullptr, 2, 1, 6, 5, 255, 1, 0, 2, 1.0);
    ASSERT_TRUE(s);
    {
        View v(s);
        for (int y = 0; y < s->height; ++y)
            for (int x = 0; x < s->width; ++x) EXPECT_TRUE(v.A(x, y) == 0 || v.A(x, y) == 255);
    }
    FreeAlphaChannel(s);
    s = CreateShadowAlpha(nullptr, alpha, 0, 0, W, H, 255, 0, 1, 4, 2.0);
    EXPECT_TRUE(s);
    FreeAlphaChannel(s);
    EXPECT_EQ(CreateShadowAlpha(nullptr, alpha, 5, 0, W, H, 255, 0, 0, 2, 1.0), nullptr); // outside the source
    EXPECT_EQ(CreateShadowAlpha(nullptr, nullptr, 0, 0, 4, 4, 255, 0, 0, 1e12, 1.0), nullptr);
    EXPECT_EQ(CreateShadowAlpha(nullptr, nullptr, 0, 0, 4, 4, 255, 0, 0, std::nan(""), 1.0), nullptr);
}

TEST_F(Drivers, MixBlendsThroughMaskAndAlphaAndClips) {
    cxBitmap *dst = AllocBitmap(W, H, CX_ALLOC_CLEAR, 0);
    ASSERT_TRUE(dst);
    ASSERT_EQ(MixBitmaps(dst, bm, nullptr, 0, 0, 0, 0, W, H, 255, nullptr), 0);
    {
        View s(bm), d(dst);
        EXPECT_EQ(d.Px(3, 3), s.Px(3, 3) & 0xFFFFFF);
    }
    {
        View d(dst);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) d.Px(x, y) = 0;
    }
    // A source origin left of and above the source moves the destination
    // origin along: source (0, 0) lands at (3, 2).
    ASSERT_EQ(MixBitmaps(dst, bm, mask, -3, -2, 0, 0, 100, 100, 128, nullptr), 0);
    {
        View s(bm), m(mask), d(dst);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t want = 0;
                if (x >= 3 && y >= 2 && m.Bit(x - 3, y - 2)) {
                    const uint32_t c = s.Px(x - 3, y - 2);
                    for (int sh = 0; sh <= 16; sh += 8) want |= ((((c >> sh) & 0xFF) * 128) >> 8) << sh;
                }
                EXPECT_EQ(d.Px(x, y), want) << x << "," << y;
            }
    }
    EXPECT_EQ(MixBitmaps(dst, bm, nullptr, 0, 0, 0, 0, W, H, 0, alpha), 0);
    EXPECT_EQ(MixBitmaps(dst, nullptr, nullptr, 0, 0, 0, 0, W, H, 10, nullptr), ERR_LOCKBMAP);
    FreeBitmap(dst);
}

TEST_F(Drivers, CharcoalGivesGray) {
    ASSERT_EQ(CharcoalBitmap(bm, alpha, W, H, 1.0, 1.0), 0);
    View c(bm);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = c.Px(x, y);
            EXPECT_EQ((p >> 16) & 0xFF, p & 0xFF);
            EXPECT_EQ((p >> 8) & 0xFF, p & 0xFF);
        }
}

} // namespace
