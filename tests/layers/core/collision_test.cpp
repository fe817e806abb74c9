// Collision tests: the pixel test against a brute-force model on random
// masks, alpha channels and clip shapes at every bit offset, and the
// Collision command's kinds and errors.
#include <random>

#include "graphics/editing/bitmap_edit.h"
#include "layers/core/clip_regions.h"
#include "layers/core/collision.h"
#include "tests/layers/layer_test_display.h"

namespace {

class Collision : public cxtest::LayerDisplayTest {
  protected:
    std::mt19937 rng{777};
    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    cxBitmap *RandomMask(int w, int h, int density) {
        cxBitmap *m = AllocMask(nullptr, w, h, 1, nullptr, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) WriteBitmapPixel(m, x, y, Rand(0, 99) < density ? 1u : 0u);
        return m;
    }
    cxBitmap *RandomAlpha(int w, int h, int density) {
        cxBitmap *a = AllocAlphaChannel(w, h, 1, nullptr, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) WriteBitmapPixel(a, x, y, Rand(0, 99) < density ? uint32_t(Rand(1, 255)) : 0u);
        return a;
    }

    static uint32_t Read(const cxBitmap *b, int x, int y) {
        uint32_t v = 0;
        if (x < 0 || y < 0 || x >= b->width || y >= b->height) return 0;
        ReadBitmapPixel(b, x, y, &v);
        return v;
    }
    // Visible by the sound rule: every mask bit, alpha and clip shape it has.
    static bool Visible(const cxCollisionObject &o, int px, int py) {
        if (px < o.x || py < o.y || px >= o.x + o.width || py >= o.y + o.height) return false;
        const int mx = px - o.x + o.offsetX, my = py - o.y + o.offsetY;
        if (o.mask && !Read(o.mask, mx, my)) return false;
        if (o.alpha && !Read(o.alpha, mx, my)) return false;
        if (o.clip && o.clip->shape && !Read(o.clip->shape, px - o.clip->x, py - o.clip->y)) return false;
        return true;
    }
    static bool Model(const cxCollisionObject &a, const cxCollisionObject &b) {
        for (int y = std::max(a.y, b.y); y < std::min(a.y + a.height, b.y + b.height); ++y)
            for (int x = std::max(a.x, b.x); x < std::min(a.x + a.width, b.x + b.width); ++x)
                if (Visible(a, x, y) && Visible(b, x, y)) return true;
        return false;
    }
};

TEST_F(Collision, AgreesWithABruteForceModelAtEveryBitOffset) {
    std::vector<cxBitmap *> made;
    std::vector<cxClipRegion *> regions;
    int hits = 0, misses = 0;
    for (int round = 0; round < 600; ++round) {
        cxCollisionObject o[2];
        // Half of the rounds: two masks starting on whole bytes, which
        // are compared word by word.
        const bool bytes = Rand(0, 1);
        for (cxCollisionObject &c : o) {
            const int w = Rand(1, 300), h = Rand(1, 8);
            c = cxCollisionObject{bytes ? Rand(0, 25) * 8 : Rand(0, 200), Rand(0, 6), w, h, nullptr, nullptr,
                                  bytes ? Rand(0, 2) * 8 : Rand(0, 17), Rand(0, 3), nullptr};
            const int density = Rand(0, 3) == 0 ? 1 : Rand(0, bytes ? 3 : 40);
            const int kind = bytes ? 0 : Rand(0, 3);
            // Masks and alpha channels reach beyond the box by the offset.
            if (kind == 0 || kind == 2) made.push_back(const_cast<cxBitmap *>(c.mask = RandomMask(w + c.offsetX, h + c.offsetY, density)));
            if (kind == 1 || kind == 2) made.push_back(const_cast<cxBitmap *>(c.alpha = RandomAlpha(w + c.offsetX, h + c.offsetY, density)));
            if (!bytes && Rand(0, 3) == 0) {
                auto *r = static_cast<cxClipRegion *>(calloc(1, sizeof(cxClipRegion)));
                r->x = Rand(0, 200), r->y = Rand(0, 6), r->width = Rand(1, 300), r->height = Rand(1, 8);
                r->shape = RandomMask(r->width, r->height, 60);
                regions.push_back(r);
                c.clip = r;
            }
        }
        const bool want = Model(o[0], o[1]);
        ASSERT_EQ(TestMaskCollision(&o[0], &o[1]) != 0, want) << "round " << round;
        ASSERT_EQ(TestMaskCollision(&o[1], &o[0]) != 0, want) << "round " << round;
        (want ? hits : misses)++;
    }
    EXPECT_GT(hits, 50);
    EXPECT_GT(misses, 50);
    for (cxBitmap *b : made) {
        if (b->kind == CX_BITMAP_MASK) FreeMask(b);
        else FreeAlphaChannel(b);
    }
    for (cxClipRegion *r : regions) {
        FreeMask(r->shape);
        free(r);
    }
}

TEST_F(Collision, AnObjectWithMaskAndAlphaIsVisibleOnlyWhereBothAre) {
    cxBitmap *mask = AllocMask(nullptr, 4, 1, 1, nullptr, 0), *alpha = AllocAlphaChannel(4, 1, 1, nullptr, 0);
    // Pixel 0: mask set, alpha 0; pixel 1: mask clear, alpha 200; pixel 2: both.
    WriteBitmapPixel(mask, 0, 0, 1);
    WriteBitmapPixel(alpha, 1, 0, 200);
    const cxCollisionObject a{0, 0, 4, 1, mask, alpha, 0, 0, nullptr};
    for (int x = 0; x < 2; ++x) {
        const cxCollisionObject dot{x, 0, 1, 1, nullptr, nullptr, 0, 0, nullptr};
        EXPECT_EQ(TestMaskCollision(&a, &dot), 0) << x;
    }
    WriteBitmapPixel(mask, 2, 0, 1);
    WriteBitmapPixel(alpha, 2, 0, 1);  // an alpha of 1 counts as visible
    const cxCollisionObject dot{2, 0, 1, 1, nullptr, nullptr, 0, 0, nullptr};
    EXPECT_EQ(TestMaskCollision(&a, &dot), 1);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
}

TEST_F(Collision, CommandKinds) {
    auto collide = [&](std::initializer_list<double> args) {
        const int err = Cmd("Collision", args);
        return err ? -err : int(lua_tonumber(L, 1));
    };
    // Boxes that only touch do not collide.
    EXPECT_EQ(collide({14, 0, 0, 10, 10, 10, 0, 10, 10}), 0);
    EXPECT_EQ(collide({14, 0, 0, 10, 10, 9, 9, 10, 10}), 1);
    EXPECT_EQ(collide({14, 2147483647, 0, 2147483647, 1, -5, 0, 10, 1}), 0);  // sums in 64 bits
    EXPECT_EQ(collide({5, 0, 0}), -ERR_WRONGUSAGE);
    EXPECT_EQ(collide({14, 0, 0, 10, double(NAN), 0, 0, 1, 1}), -ERR_WRONGUSAGE);
    EXPECT_EQ(collide({14, 0, 0, double(INFINITY), 1, 0, 0, 1, 1}), -ERR_WRONGUSAGE);

    // Two masked brushes overlapping only where one is transparent.
    cxBrush *b1 = Brush(1, 8, 8, 0xFF0000), *b2 = Brush(2, 8, 8, 0x00FF00);
    b1->mask = AllocMask(b1->bitmap, 8, 8, 1, nullptr, 0);
    b2->mask = AllocMask(b2->bitmap, 8, 8, 1, nullptr, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) WriteBitmapPixel(b1->mask, x, y, 1), WriteBitmapPixel(b2->mask, x + 4, y, 1);
    EXPECT_EQ(collide({3, 1, 0, 0, 2, 0, 0}), 0);
    EXPECT_EQ(collide({3, 1, 0, 0, 2, -4, 0}), 1);
    EXPECT_EQ(collide({46, 1, 0, 0, 5, 0, 3, 8}), 0);
    EXPECT_EQ(collide({46, 1, 0, 0, 3, 0, 3, 8}), 1);
    EXPECT_EQ(collide({3, 9, 0, 0, 2, 0, 0}), -ERR_FINDBRUSH);
    // No sprites library: every sprite is unknown.
    EXPECT_EQ(collide({32, 1, 2}), -ERR_FINDSPRITE);
    EXPECT_EQ(collide({58, 1, 1, 0, 0}), -ERR_FINDSPRITE);

    // Layers: the display state's image, mask and clip region.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 10, 10}), 0);
    EXPECT_EQ(collide({22, 1, 2}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 6, 10}), 0);
    EXPECT_EQ(collide({22, 1, 3}), 1);
    EXPECT_EQ(collide({47, 1, 14, 10, 4, 8}), 0);
    EXPECT_EQ(collide({47, 1, 13, 10, 4, 8}), 1);
    EXPECT_EQ(collide({22, 0, 1}), -ERR_LAYERRANGE);
    EXPECT_EQ(collide({22, 1, 4}), -ERR_LAYERRANGE);
    // A clip region that hides the overlap: no collision there.
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxClipRegion *r = nullptr;
    ASSERT_EQ(AddClipRegion(&id, 0, 0, 10, 48, nullptr, &r), 0);
    SetBGPicClipRegion(BGPic(), r);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 6, 10}), 0);  // as layer 3, but cut off at column 10
    SetBGPicClipRegion(BGPic(), nullptr);
    EXPECT_EQ(collide({22, 1, 4}), 0);
    // The layer kinds need layers.
    d->layersOn = 0;
    EXPECT_EQ(collide({22, 1, 2}), -ERR_NOLAYERS);
    EXPECT_EQ(collide({14, 0, 0, 1, 1, 0, 0, 1, 1}), 1);
}

}  // namespace
