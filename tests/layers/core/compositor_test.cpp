// The compositor: a per-pixel model written here from the rules (order
// shadow, border, image; the blend d + ((s - d) * a >> 8); levels; clip
// regions) against RedrawLayersRect on random scenes, the locality of
// partial redraws, the rules' own cases, and the dirty boxes.
#include <algorithm>
#include <cstdio>
#include <random>

#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "layers/core/clip_regions.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_position.h"
#include "layers/core/layer_states.h"
#include "tests/layers/layer_test_display.h"

namespace {

constexpr int kW = 64, kH = 48;

uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
    if (a == 0) return d;
    if (a == 255) return s;
    uint32_t out = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
        const int sc = (s >> sh) & 0xFF, dc = (d >> sh) & 0xFF;
        out |= uint32_t((dc + (((sc - dc) * int(a)) >> 8)) & 0xFF) << sh;
    }
    return out;
}

uint32_t Read(const cxBitmap *bm, int x, int y) {
    uint32_t v = 0;
    ReadBitmapPixel(bm, x, y, &v);
    return v;
}

class Compositor : public cxtest::LayerDisplayTest {
  protected:
    std::mt19937 rng{12345};
    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // A random brush with an alpha channel or a mask (or neither).
    void RandomBrush(int id, int w, int h) {
        cxBrush *b = Brush(id, w, h, uint32_t(Rand(0, 0xFFFFFF)));
        ASSERT_NE(b, nullptr);
        FillRect(b->bitmap, Rand(0, w - 1), Rand(0, h - 1), Rand(1, w), Rand(1, h), uint32_t(Rand(0, 0xFFFFFF)));
        const int kind = Rand(0, 2);
        if (kind == 1) {
            b->alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) WriteBitmapPixel(b->alpha, x, y, uint32_t(Rand(0, 3) * 85));
        } else if (kind == 2) {
            b->mask = AllocMask(b->bitmap, w, h, 1, nullptr, 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) WriteBitmapPixel(b->mask, x, y, uint32_t(Rand(0, 1)));
        }
    }

    // A random scene of n layers over a random background.
    void RandomScene(int n) {
        for (int i = 0; i < 30; ++i)
            FillRect(d->picture, Rand(0, kW - 1), Rand(0, kH - 1), Rand(1, 30), Rand(1, 30), uint32_t(Rand(0, 0xFFFFFF)));
        for (int i = 1; i <= n; ++i) {
            RandomBrush(i, Rand(1, 24), Rand(1, 20));
            // Some layers take a clip region (with a shape or without).
            if (Rand(0, 5) == 0) {
                const int w = Rand(4, 50), h = Rand(4, 40);
                cxBitmap *shape = nullptr;
                if (Rand(0, 1)) {
                    shape = AllocMask(nullptr, w, h, 1, nullptr, 0);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) WriteBitmapPixel(shape, x, y, uint32_t((x / 3 + y / 2) & 1));
                }
                cxObjectID id{0, reinterpret_cast<void *>(1)};
                cxClipRegion *r = nullptr;
                ASSERT_EQ(AddClipRegion(&id, Rand(-10, 40), Rand(-10, 30), w, h, shape, &r), 0);
                SetBGPicClipRegion(BGPic(), r);
            } else {
                SetBGPicClipRegion(BGPic(), nullptr);
            }
            ASSERT_EQ(Cmd("DisplayBrush", {double(i), double(Rand(-10, kW)), double(Rand(-10, kH))},
                          [&] {
                              if (Rand(0, 3) == 0) Field("transparency", Rand(0, 255));
                              if (Rand(0, 6) == 0) Field("hidden", 1);
                              if (Rand(0, 3) == 0) {
                                  Field("shadow", 1);
                                  Field("shadowdir", Rand(0, 7));
                                  Field("shadowsize", Rand(0, 6));
                                  Field("shadowradius", Rand(1, 4));
                                  Field("shadowcolor", double(uint32_t(Rand(0, 255)) << 24 | uint32_t(Rand(0, 0xFFFFFF))));
                              }
                              if (Rand(0, 3) == 0) {
                                  Field("border", 1);
                                  Field("bordersize", Rand(1, 3));
                                  Field("bordercolor", double(uint32_t(Rand(0, 1) * 128) << 24 | uint32_t(Rand(0, 0xFFFFFF))));
                              }
                              if (Rand(0, 4) == 0) {
                                  lua_pushstring(L, "filters");
                                  lua_newtable(L);
                                  lua_newtable(L);
                                  lua_pushstring(L, "name");
                                  lua_pushstring(L, Rand(0, 1) ? "invert" : "xflip");
                                  lua_settable(L, -3);
                                  lua_rawseti(L, -2, 1);
                                  lua_settable(L, -3);
                              }
                          }),
                      0);
        }
        SetBGPicClipRegion(BGPic(), nullptr);
    }

    bool ClipLets(const cxClipRegion *c, int x, int y) {
        if (!c) return true;
        if (x < c->x || y < c->y || x >= c->x + c->width || y >= c->y + c->height) return false;
        return !c->shape || Read(c->shape, x - c->x, y - c->y) != 0;
    }

    // One element drawn by the model: the image's pixel at (ix, iy) over d
    // at a level, through its mask or alpha channel.
    static uint32_t Over(uint32_t dst, const cxBitmap *bm, const cxBitmap *mask, const cxBitmap *alpha, int ix,
                         int iy, int level) {
        const uint32_t s = Read(bm, ix, iy);
        if (level == 0) {
            if (mask) return Read(mask, ix, iy) ? s : dst;
            if (alpha) return Blend(s, dst, Read(alpha, ix, iy));
            return s;
        }
        if (mask && !Read(mask, ix, iy)) return dst;
        const int k = alpha ? (255 - level) * int(Read(alpha, ix, iy)) / 255 : 255 - level;
        return Blend(s, dst, uint32_t(k));
    }

    // The whole picture as the rules say.
    std::vector<uint32_t> Model() {
        std::vector<uint32_t> out(kW * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) out[y * kW + x] = Read(d->picture, x, y);
        for (cxLayer *l = Layer(1); l; l = NextLayer(l)) {
            if (l->hidden || l->type == CX_LAYER_NOOBJECT) continue;
            cxLayerState *s = l->display;
            cxLayerShown img{};
            const bool hasImage = GetLayerImage(L, l, s, 1, 1, &img) == 0 && img.bitmap;
            if (l->shadow.on && !s->shadowAlpha) continue;  // nothing to cast it from: left out
            // The border box lies the border offset up and left of the
            // image; the shadow's is the border's (or the image's) grown
            // by the blur radius and moved by the distance.
            int32_t bx = s->drawX - s->borderX, by = s->drawY - s->borderY, bw = s->borderWidth, bh = s->borderHeight;
            const bool framed = l->border.on && s->borderBitmap;
            const int r = int(l->shadow.radius), dist = l->shadow.size;
            static const int kDir[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};
            const int32_t sx = (framed ? bx : s->drawX) - r + kDir[l->shadow.direction & 7][0] * dist;
            const int32_t sy = (framed ? by : s->drawY) - r + kDir[l->shadow.direction & 7][1] * dist;
            const int32_t sw = (framed ? bw : s->width) + 2 * r, sh = (framed ? bh : s->height) + 2 * r;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    if (!ClipLets(s->clip, x, y)) continue;
                    uint32_t &p = out[y * kW + x];
                    if (l->shadow.on) {
                        if (x >= sx && y >= sy && x < sx + sw && y < sy + sh && x - sx < s->shadowAlpha->width &&
                            y - sy < s->shadowAlpha->height)
                            p = Blend(l->shadow.colour & 0xFFFFFF, p, Read(s->shadowAlpha, x - sx, y - sy));
                    }
                    if (l->border.on && s->borderBitmap && x >= bx && y >= by && x < bx + bw && y < by + bh)
                        p = Over(p, s->borderBitmap, s->borderMask, s->borderAlpha, x - bx, y - by, l->transparency);
                    if (hasImage && x >= s->drawX && y >= s->drawY && x < s->drawX + s->width &&
                        y < s->drawY + s->height)
                        p = Over(p, img.bitmap, img.mask, img.alpha, img.srcX + x - s->drawX, img.srcY + y - s->drawY,
                                 l->transparency);
                }
        }
        return out;
    }

    std::vector<uint32_t> Grab(cxBitmap *bm) {
        std::vector<uint32_t> out(kW * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) out[y * kW + x] = Read(bm, x, y);
        return out;
    }
};

TEST_F(Compositor, RandomScenesAgreeWithThePixelModel) {
    for (int scene = 0; scene < 12; ++scene) {
        SCOPED_TRACE(scene);
        FreeAllLayers(L, BGPic(), 1, 1);
        RandomScene(Rand(1, 40));
        cxBitmap *c = GetCompositionBuffer(L, d);
        RedrawLayersRect(L, d, BGPic(), c, 0, 0, kW, kH, 0, nullptr);
        const std::vector<uint32_t> got = Grab(c), want = Model();
        int bad = 0;
        for (int i = 0; i < kW * kH && bad < 5; ++i)
            if (got[size_t(i)] != want[size_t(i)]) {
                ADD_FAILURE() << "pixel " << i % kW << "," << i / kW << " " << std::hex << got[size_t(i)] << " != "
                              << want[size_t(i)];
                ++bad;
            }
    }
}

TEST_F(Compositor, ARedrawOfAnyRectangleIsThatCropOfAFullRedraw) {
    for (int scene = 0; scene < 8; ++scene) {
        SCOPED_TRACE(scene);
        FreeAllLayers(L, BGPic(), 1, 1);
        RandomScene(Rand(1, 40));
        cxBitmap *full = AllocBitmap(kW, kH, 0, 0), *part = AllocBitmap(kW, kH, 0, 0);
        RedrawLayersRect(L, d, BGPic(), full, 0, 0, kW, kH, 0, nullptr);
        const std::vector<uint32_t> whole = Grab(full);
        for (int i = 0; i < 20; ++i) {
            FillRect(part, 0, 0, kW, kH, 0x123456);
            const int x = Rand(0, kW - 1), y = Rand(0, kH - 1), w = Rand(1, kW), h = Rand(1, kH);
            RedrawLayersRect(L, d, BGPic(), part, x, y, w, h, 0, nullptr);
            const std::vector<uint32_t> got = Grab(part);
            for (int py = 0; py < kH; ++py)
                for (int px = 0; px < kW; ++px) {
                    const bool inside = px >= x && py >= y && px < x + w && py < y + h;
                    const uint32_t want = inside ? whole[size_t(py * kW + px)] : 0x123456u;
                    ASSERT_EQ(got[size_t(py * kW + px)], want) << px << "," << py << " in " << x << "," << y << " "
                                                               << w << "x" << h;
                }
        }
        FreeBitmap(full);
        FreeBitmap(part);
    }
}

// A frame composites the region the boxes cover, front to back: opaque
// layers hide what lies under them, see-through ones (levels, masks, alpha
// channels, shadows, borders, shaped clips, filters) still show it. Inside
// the boxes the picture is that of a whole redraw; outside nothing is
// touched.
TEST_F(Compositor, AFrameOfRandomBoxesRedrawsTheirUnionAsAWholeRedrawDoes) {
    cxBitmap *full = AllocBitmap(kW, kH, 0, 0);
    for (int scene = 0; scene < 16; ++scene) {
        SCOPED_TRACE(scene);
        FreeAllLayers(L, BGPic(), 1, 1);
        RandomScene(Rand(1, 40));
        RedrawLayersRect(L, d, BGPic(), full, 0, 0, kW, kH, 0, nullptr);
        const std::vector<uint32_t> whole = Grab(full);
        for (int frame = 0; frame < 6; ++frame) {
            cxBitmap *c = GetCompositionBuffer(L, d);
            FillRect(c, 0, 0, kW, kH, 0x123456);
            // The display's frame, or the library's array flushed.
            const bool library = frame & 1;
            cxDirtyRects *r = library ? GetLayerDirtyRects() : GetDisplayDirtyRects(d);
            ASSERT_NE(r, nullptr);
            r->count = 0;
            std::vector<bool> in(size_t(kW * kH), false);
            for (int n = Rand(1, 30); n > 0; --n) {
                const int x = Rand(-8, kW), y = Rand(-8, kH), w = Rand(1, 30), h = Rand(1, 30);
                QueueDirtyBox(r, x, y, w, h);
                for (int py = std::max(y, 0); py < std::min(y + h, kH); ++py)
                    for (int px = std::max(x, 0); px < std::min(x + w, kW); ++px) in[size_t(py * kW + px)] = true;
            }
            if (library) {
                FlushDirtyRects(L, r);
                r->count = 0;
            } else {
                PresentDisplayDirtyRects(L, d);
            }
            const std::vector<uint32_t> got = Grab(c);
            for (int i = 0; i < kW * kH; ++i)
                ASSERT_EQ(got[size_t(i)], in[size_t(i)] ? whole[size_t(i)] : 0x123456u)
                    << "frame " << frame << " at " << i % kW << "," << i / kW;
        }
    }
    FreeBitmap(full);
}

// Opaque layers stacked over see-through ones and under them: the part of
// each opaque box still undrawn takes the layer and then every see-through
// layer above it, in order.
TEST_F(Compositor, SeeThroughLayersOverAnOpaqueOneAreDrawnInOrder) {
    Brush(1, 20, 20, 0xFF0000);
    Brush(2, 10, 10, 0x00FF00);
    Brush(3, 30, 6, 0x0000FF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);                                        // opaque, back
    ASSERT_EQ(Cmd("DisplayBrush", {2, 5, 5}, [&] { Field("transparency", 128); }), 0);     // over it, half
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);                                        // opaque, hides some
    ASSERT_EQ(Cmd("DisplayBrush", {3, 0, 22}, [&] { Field("transparency", 64); }), 0);     // over both
    cxBitmap *full = AllocBitmap(kW, kH, 0, 0);
    RedrawLayersRect(L, d, BGPic(), full, 0, 0, kW, kH, 0, nullptr);
    cxBitmap *c = GetCompositionBuffer(L, d);
    FillRect(c, 0, 0, kW, kH, 0x123456);
    RedrawDisplayRect(L, 0, 0, kW, kH, 0);
    EXPECT_EQ(Grab(c), Grab(full));
    FreeBitmap(full);
}

// A whole redraw over hundreds of small opaque layers with gaps between
// them and see-through ones among them: what is left undrawn falls into
// many pieces, and the layers under them are then drawn back to front.
TEST_F(Compositor, ManySmallOpaqueLayersAmongSeeThroughOnes) {
    Brush(1, 3, 2, 0xFF0000);
    Brush(2, 5, 4, 0x00FF00);
    for (int i = 0; i < 300; ++i) {
        const bool seeThrough = i % 7 == 0;
        ASSERT_EQ(Cmd("DisplayBrush", {seeThrough ? 2.0 : 1.0, double(Rand(-2, kW)), double(Rand(-2, kH))},
                      [&] {
                          if (seeThrough) Field("transparency", Rand(1, 200));
                      }),
                  0);
    }
    cxBitmap *full = AllocBitmap(kW, kH, 0, 0);
    RedrawLayersRect(L, d, BGPic(), full, 0, 0, kW, kH, 0, nullptr);
    cxBitmap *c = GetCompositionBuffer(L, d);
    FillRect(c, 0, 0, kW, kH, 0x123456);
    RedrawDisplayRect(L, 0, 0, kW, kH, 0);
    EXPECT_EQ(Grab(c), Grab(full));
    FreeBitmap(full);
}

TEST_F(Compositor, ShadowOffsetsAndLevels) {
    Brush(1, 10, 10, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}, [&] {
                  Field("shadow", 1), Field("shadowdir", 2), Field("shadowsize", 5), Field("shadowradius", 1);
              }),
              0);
    cxLayer *l = Layer(1);
    int32_t x, y, w, h;
    // East by 5, and by 10 where the state's pixels are twice as wide.
    GetLayerShadowBounds(L, l, l->display, 1, 1, &x, &y, &w, &h);
    EXPECT_EQ(x, 20 - 1 + 5);
    EXPECT_EQ(y, 20 - 1);
    GetLayerShadowBounds(L, l, l->display, 2, 1, &x, &y, &w, &h);
    EXPECT_EQ(x, 20 - 1 + 10);
    EXPECT_EQ(w, 12);

    // A shadow colour whose top byte is 255, and a fade level of 1, draw
    // nothing; transparency 255 hides the image itself.
    struct Case {
        uint32_t colour;
        int fade, transparency;
    } cases[] = {{0xFF000000u, 0, 255}, {0x00000000u, 1, 255}};
    for (const Case &c : cases) {
        l->shadow.colour = c.colour;
        l->shadowFade = c.fade;
        l->transparency = c.transparency;
        FreeLayerShadows(l);
        RedrawDisplayRect(L, 0, 0, kW, kH, 0);
        for (int py = 0; py < kH; ++py)
            for (int px = 0; px < kW; ++px) ASSERT_EQ(Composed(px, py), Shown(px, py)) << px << "," << py;
    }
    // Transparency 128 blends at opacity 127.
    l->shadow.on = 0;
    l->transparency = 128;
    RedrawDisplayRect(L, 0, 0, kW, kH, 0);
    EXPECT_EQ(Composed(25, 25), Blend(0xFFFFFF, 0x000080, 127));
}

TEST_F(Compositor, AHiddenLayerLeavesNoTraceNotEvenItsShadow) {
    Brush(1, 10, 10, 0xFF0000);
    Brush(2, 10, 10, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 14, 14}, [&] { Field("shadow", 1), Field("hidden", 1); }), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 30, 10}), 0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool red = (x >= 10 && x < 20 && y >= 10 && y < 20) || (x >= 30 && x < 40 && y >= 10 && y < 20);
            ASSERT_EQ(Composed(x, y), red ? 0xFF0000u : 0x000080u) << x << "," << y;
        }
}

TEST_F(Compositor, AMovedLayerLeavesNothingBehind) {
    Brush(1, 10, 10, 0xFFFFFF);
    Brush(2, 6, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 14, 14}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}, [&] {
                  Field("shadow", 1), Field("shadowsize", 3), Field("border", 1), Field("bordersize", 2);
              }),
              0);
    cxLayer *l = Layer(2);
    cxBitmap *fresh = AllocBitmap(kW, kH, 0, 0);
    auto same = [&] {
        RedrawLayersRect(L, d, BGPic(), fresh, 0, 0, kW, kH, 0, nullptr);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint32_t p = 0;
                ReadBitmapPixel(fresh, x, y, &p);
                if (Composed(x, y) != p) return false;
            }
        return true;
    };
    struct Move {
        int64_t x, y;
        uint32_t relative;
        int32_t wantX, wantY;
    } moves[] = {
        {100001, 100000, 0, 11, 10},  // a pixel right, y kept
        {0, 0, 3, 11, 10},            // by nothing: still refreshed
        {30, 20, 0, 30, 20},
        {-3, 2, 3, 27, 22},           // distances
        {95001, 104999, 0, 27 - 4999, 22 + 4999},
        {int64_t(1) << 40, 100000, 1, INT32_MAX, 22 + 4999},  // saturates
    };
    for (const Move &m : moves) {
        UpdateLayerPosition(L, l, nullptr, m.x, m.y, 0, m.relative, nullptr);
        EXPECT_EQ(l->base->x, m.wantX);
        EXPECT_EQ(l->base->y, m.wantY);
        EXPECT_TRUE(same()) << m.x << "," << m.y;
    }
    FreeBitmap(fresh);
}

TEST_F(Compositor, RefusedAndCutRectangles) {
    Brush(1, 8, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 60, 44}), 0);
    cxBitmap *c = GetCompositionBuffer(L, d);
    FillRect(c, 0, 0, kW, kH, 0x111111);
    testing::internal::CaptureStdout();
    RedrawLayersRect(L, d, BGPic(), c, -1, 0, 10, 10, 0, nullptr);
    RedrawLayersRect(L, d, BGPic(), c, 0, 0, 0, 10, 0, nullptr);
    RedrawLayersRect(L, d, BGPic(), nullptr, 0, 0, 10, 10, 0, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES"), std::string::npos);
    EXPECT_NE(out.find("ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0"), std::string::npos);
    EXPECT_NE(out.find("ERROR! REDRAW CALLED WITHOUT DSTBM"), std::string::npos);
    EXPECT_EQ(Composed(0, 0), 0x111111u);
    // A rectangle beyond the picture is cut to it.
    RedrawLayersRect(L, d, BGPic(), c, 50, 40, 1000000, 1000000, 0, nullptr);
    EXPECT_EQ(Composed(63, 47), 0xFF0000u);
    EXPECT_EQ(Composed(50, 40), 0x000080u);
    EXPECT_EQ(Composed(49, 40), 0x111111u);
}

TEST_F(Compositor, AnUnfilledBoxWhoseColourIsItsBorderShowsOnlyTheBorder) {
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    cxLayerOptions *t = GetLayerTemplate();
    t->border = {1, 0xFFFF00, 2};
    ASSERT_EQ(Cmd("Box", {10, 10, 20, 16, 0xFFFF00}), 0);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    t->border.on = 0;
    cxLayer *l = Layer(1);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->type, CX_LAYER_BOX);
    // Inside the outline nothing but the background.
    EXPECT_EQ(Composed(20, 18), 0x000080u);
    EXPECT_EQ(Composed(10, 10), 0xFFFF00u);
    ResetDisplayOptionTemplates();
}

TEST_F(Compositor, BoxesOnePixelApartMergeTwoApartDoNot) {
    cxDirtyRects r{};
    ASSERT_EQ(InitDirtyRects(&r, 8), 0);
    AddDirtyRect(&r, 0, 0, 10, 10, 0);
    AddDirtyRect(&r, 10, 0, 11, 10, 0);
    MergeDirtyRects(&r);
    ASSERT_EQ(r.count, 1u);
    EXPECT_EQ(r.boxes[0].x1, 0);
    EXPECT_EQ(r.boxes[0].x2, 20);
    r.count = 0;
    AddDirtyRect(&r, 0, 0, 10, 10, 0);
    AddDirtyRect(&r, 11, 0, 10, 10, 0);
    MergeDirtyRects(&r);
    EXPECT_EQ(r.count, 2u);
    FreeDirtyRects(&r);
}

TEST_F(Compositor, AGrowingArrayStopsAt4096BoxesAndThenAsksForEverything) {
    cxDirtyRects r{};
    ASSERT_EQ(InitDirtyRects(&r, CX_DIRTY_CAPACITY), 0);
    for (int i = 0; i < 5000; ++i) QueueDirtyBox(&r, (i % 70) * 3, (i / 70) * 3, 1, 1);
    EXPECT_EQ(r.capacity, 4096u);
    EXPECT_TRUE(DirtyRectsFull(&r));
    FreeDirtyRects(&r);
}

TEST_F(Compositor, LayersMadeWhileTheShownBGPicIsTheOutputWaitForTheEndOfIt) {
    Brush(1, 8, 8, 0xFF0000);
    ASSERT_EQ(Call("SelectBGPic", [&] { lua_pushnil(L), lua_pushnumber(L, 2); }), 0);  // layers mode
    ASSERT_EQ(d->targetKind, 1u);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 4, 4}), 0);
    EXPECT_EQ(Layer(1)->suppressed, 1u);
    // Boxes of the shown BGPic go to the display's array; the whole BGPic
    // asks for a whole refresh.
    MarkRectDirty(L, 1, 1, 2, 2);
    cxDirtyRects *r = GetDisplayDirtyRects(d);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->count, 1u);
    QueueDirtyRect(0, 0, kW, kH);
    EXPECT_TRUE(DirtyRectsFull(r));
    EXPECT_EQ(Composed(5, 5), 0x000080u);
    ASSERT_EQ(Call("EndSelect"), 0);
    EXPECT_EQ(Layer(1)->suppressed, 0u);
    EXPECT_EQ(r->count, 0u);
    EXPECT_EQ(Composed(5, 5), 0xFF0000u);
}

}  // namespace
