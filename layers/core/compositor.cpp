#include "layers/core/compositor.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/present.h"
#include "engine/runtime/console.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/effects/shadow_alpha.h"
#include "layers/core/dirty_region.h"
#include "layers/core/effect_hooks.h"
#include "layers/core/layer_blit.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_list.h"

namespace {

constexpr uint32_t kOutDisplay = 21, kOutLayers = 1;
constexpr uint32_t kLayerBlit = CX_SAFEBLT_OWNTARGET | CX_SAFEBLT_NOSPRITES;  // 18
constexpr uint32_t kMaxBoxes = 4096;

cxLayerSpriteHooks g_sprites{};
cxDirtyRects g_library{};

struct DisplayBoxes {
    cxDisplay *display;
    cxDirtyRects rects;
};
std::vector<DisplayBoxes> g_displayBoxes;
std::vector<DisplayBoxes> g_pendingRepaints;

int32_t Sat(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v); }

// The shadow's shift on one axis for a direction (0 north, clockwise).
void ShadowShift(uint32_t dir, int32_t dx, int32_t dy, int64_t *sx, int64_t *sy) {
    *sx = *sy = 0;
    switch (dir & 7) {
    case 0: *sy = -dy; break;
    case 1: *sx = dx, *sy = -dy; break;
    case 2: *sx = dx; break;
    case 3: *sx = dx, *sy = dy; break;
    case 4: *sy = dy; break;
    case 5: *sx = -dx, *sy = dy; break;
    case 6: *sx = -dx; break;
    case 7: *sx = -dx, *sy = -dy; break;
    }
}

void Present(cxDisplay *d, cxBitmap *src, int32_t x, int32_t y, int32_t w, int32_t h) {
    const cxSafeBltHooks *hooks = GetSafeBltHooks();
    if (hooks->refreshRegion && src && w > 0 && h > 0) hooks->refreshRegion(src, x, y, d, x, y, w, h, 0);
}

// The shadow of a layer: its alpha channel made when missing (null when
// the layer has nothing to cast it from).
cxBitmap *ShadowOf(lua_State *L, cxLayer *layer, cxLayerState *s) {
    if (s->shadowAlpha) return s->shadowAlpha;
    if (layer->border.on) BuildLayerBorder(L, layer, s);
    int32_t opacity = 255 - int32_t(layer->shadow.colour >> 24);
    if (layer->shadowFade > 0) opacity = int32_t(int64_t(opacity) * (layer->shadowFade - 1) / 255);
    const double radius = std::clamp(layer->shadow.radius, 0.0, 500.0);
    const double sigma = layer->shadow.sigma > 0 ? layer->shadow.sigma : radius / 3.0;
    if (s->borderBitmap) {
        s->shadowAlpha = CreateShadowAlpha(s->borderMask, s->borderAlpha, 0, 0, s->borderWidth, s->borderHeight,
                                           opacity, 0, 0, radius, sigma);
    } else {
        cxLayerShown img{};
        if (GetLayerImage(L, layer, s, 1, 1, &img) || !img.bitmap) return nullptr;
        s->shadowAlpha =
            CreateShadowAlpha(img.mask, img.alpha, img.srcX, img.srcY, img.width, img.height, opacity, 0, 0, radius, sigma);
    }
    return s->shadowAlpha;
}

bool IsUnfilledOutline(const cxLayer *layer) {
    if (IsShapeLayerType(layer->type)) {
        auto *c = static_cast<const cxLayerShapeContent *>(layer->content);
        return c && c->style.fillStyle == 0 && (c->colour & 0xFFFFFFu) == (layer->border.colour & 0xFFFFFFu);
    }
    if (layer->type == CX_LAYER_VECTORPATH) {
        auto *c = static_cast<const cxLayerPathContent *>(layer->content);
        return c && c->render.style.drawStyle.fillStyle == 0 &&
               (c->render.colour & 0xFFFFFFu) == (layer->border.colour & 0xFFFFFFu);
    }
    return false;
}

void DrawLayer(lua_State *L, cxLayer *layer, cxLayerState *s, cxBitmap *dst, int32_t dstW, int32_t dstH,
               int32_t x, int32_t y, int32_t w, int32_t h) {
    // Only what meets the rectangle is touched.
    int32_t fx, fy, fw, fh;
    GetLayerBounds(L, layer, s, &fx, &fy, &fw, &fh);
    if (!RectsOverlapWH(fx, fy, fw, fh, x, y, w, h)) return;
    int32_t shiftX = 0, shiftY = 0;
    if (!ClipRectToRegion(s->clip, &x, &y, &shiftX, &shiftY, &w, &h)) return;
    const cxClipRegion *clip = s->clip;
    UpdateFilteredImage(L, layer, s, 1);
    int32_t ix, iy, iw, ih;

    if (layer->shadow.on) {
        cxBitmap *shadow = ShadowOf(L, layer, s);
        if (!shadow) return;  // nothing to cast it from: the layer is left out
        int32_t sx, sy, sw, sh;
        GetLayerShadowBounds(L, layer, s, 1.0, 1.0, &sx, &sy, &sw, &sh);
        sw = std::min(sw, shadow->width), sh = std::min(sh, shadow->height);
        const uint32_t colour = layer->shadow.colour & 0xFFFFFFu;
        if (IntersectRects(sx, sy, sw, sh, x, y, w, h, &ix, &iy, &iw, &ih)) {
            if (!clip || !clip->shape) {
                BlendColourThroughAlpha(shadow, ix - sx, iy - sy, dst, ix, iy, iw, ih, colour);
            } else if (cxBitmap *tmp = AllocBitmap(iw, ih, 0, 0)) {
                FillRect(tmp, 0, 0, iw, ih, colour);
                // The shadow's alpha at the piece drawn, through the region.
                cxBitmap *piece = AllocAlphaChannel(iw, ih, 1, nullptr, 0);
                if (piece) {
                    BltAlphaToAlphaClipped(shadow, ix - sx, iy - sy, piece, 0, 0, iw, ih, 0, 255);
                    BlitLayerImage(L, tmp, 0, 0, dst, ix, iy, iw, ih, iw, ih, dstW, dstH, nullptr, piece, 0, clip);
                    FreeAlphaChannel(piece);
                }
                FreeBitmap(tmp);
            }
        }
    }

    if (layer->border.on) {
        BuildLayerBorder(L, layer, s);
        if (s->borderBitmap) {
            int32_t bx, by, bw, bh;
            GetLayerBorderBounds(L, layer, s, &bx, &by, &bw, &bh);
            int32_t level = layer->transparency;
            if (layer->borderFade > 0) level = 255 - ((layer->borderFade - 1) * (255 - layer->transparency)) / 255;
            if (IntersectRects(bx, by, bw, bh, x, y, w, h, &ix, &iy, &iw, &ih))
                BlitLayerImage(L, s->borderBitmap, ix - bx, iy - by, dst, ix, iy, iw, ih, s->borderWidth,
                               s->borderHeight, dstW, dstH, s->borderMask, s->borderAlpha, level, clip);
        }
        if (IsUnfilledOutline(layer)) return;
    }

    if (IntersectRects(s->drawX, s->drawY, s->width, s->height, x, y, w, h, &ix, &iy, &iw, &ih)) {
        cxLayerShown img{};
        if (GetShownLayerImage(L, layer, s, &img) || !img.bitmap) return;
        const int32_t sx = img.srcX + (ix - s->drawX), sy = img.srcY + (iy - s->drawY);
        BlitLayerImage(L, img.bitmap, sx, sy, dst, ix, iy, iw, ih, img.srcX + img.width, img.srcY + img.height, dstW,
                       dstH, img.mask, img.alpha, layer->transparency, clip);
    }
}

// ---- compositing a region front to back ----

// A visible layer of the frame: its full box and the box where it is
// opaque (its plain image, drawn by a copy), found when first needed.
struct Entry {
    cxLayer *layer;
    cxLayerState *state;
    int32_t x, y, w, h;
    int32_t ox, oy, ow, oh;
    cxBitmap *image;        // the opaque image, drawn at (drawX - srcX, drawY - srcY)
    int32_t srcX, srcY;
    bool known;
    bool beyond;  // something of it lies outside the opaque box
};

struct Rect {
    int32_t x, y, w, h;
};

// Scratch kept between frames, so that a frame allocates nothing once it
// has grown.
struct RegionScratch {
    std::vector<Entry> entries;
    std::vector<Rect> bounds;  // the entries' boxes, packed for the scans
    std::vector<uint32_t> bucketStart, bucketItems, stamp, candidates, pending;
    std::vector<Rect> remaining, next;
    uint32_t serial = 0;
    bool busy = false;
};

constexpr int kBucketShift = 6;  // rows of 64 pixels
constexpr size_t kMaxPieces = 32;

bool Meet(const Rect &a, int32_t x, int32_t y, int32_t w, int32_t h, Rect *out) {
    return IntersectRects(a.x, a.y, a.w, a.h, x, y, w, h, &out->x, &out->y, &out->w, &out->h);
}

// Where the layer is drawn as a plain copy of an opaque image: there the
// layer alone decides the pixel, so what lies under it is not drawn.
void FindOpaqueBox(lua_State *L, Entry &e, const cxBitmap *dst) {
    e.known = true;
    e.ow = e.oh = 0;
    cxLayer *layer = e.layer;
    cxLayerState *s = e.state;
    if (layer->transparency > 0 || (s->clip && s->clip->shape)) return;
    if (layer->border.on && IsUnfilledOutline(layer)) return;
    if (layer->shadow.on && !ShadowOf(L, layer, s)) return;
    UpdateFilteredImage(L, layer, s, 1);
    cxLayerShown img{};
    if (GetShownLayerImage(L, layer, s, &img) || !img.bitmap || img.mask || img.alpha) return;
    if (img.bitmap->kind != CX_BITMAP_COLOUR || img.srcX < 0 || img.srcY < 0 ||
        int64_t(img.srcX) + img.width > img.bitmap->width || int64_t(img.srcY) + img.height > img.bitmap->height)
        return;
    Rect o{s->drawX, s->drawY, std::min(s->width, img.width), std::min(s->height, img.height)};
    if (s->clip && !Meet(o, s->clip->x, s->clip->y, s->clip->width, s->clip->height, &o)) return;
    if (!Meet(o, 0, 0, dst->width, dst->height, &o)) return;
    e.ox = o.x, e.oy = o.y, e.ow = o.w, e.oh = o.h;
    e.image = img.bitmap, e.srcX = img.srcX - s->drawX, e.srcY = img.srcY - s->drawY;
    e.beyond = !(e.x >= o.x && e.y >= o.y && int64_t(e.x) + e.w <= int64_t(o.x) + o.w &&
                 int64_t(e.y) + e.h <= int64_t(o.y) + o.h);
}

// What is left of r outside o (which meets it): up to four pieces.
void Subtract(const Rect &r, const Rect &o, std::vector<Rect> &out) {
    const int32_t r2 = r.x + r.w, b2 = r.y + r.h, o2 = o.x + o.w, ob2 = o.y + o.h;
    if (o.y > r.y) out.push_back(Rect{r.x, r.y, r.w, o.y - r.y});
    if (ob2 < b2) out.push_back(Rect{r.x, ob2, r.w, b2 - ob2});
    if (o.x > r.x) out.push_back(Rect{r.x, o.y, o.x - r.x, o.h});
    if (o2 < r2) out.push_back(Rect{o2, o.y, r2 - o2, o.h});
}

// One rectangle of the region: from the front layer backwards, each
// opaque box takes its part of what is still undrawn (the layer and the
// see-through layers above it are drawn there); what no opaque box covers
// gets the background and every see-through layer over it, back to front.
void CompositeRect(lua_State *L, RegionScratch &sc, cxBitmap *background, cxBitmap *dst, const Rect &R,
                   const uint32_t *cand, size_t count) {
    sc.remaining.clear();
    sc.remaining.push_back(R);
    sc.pending.clear();
    const int32_t dw = dst->width, dh = dst->height;
    auto drawPending = [&](const Rect &a) {
        for (size_t k = sc.pending.size(); k-- > 0;) {
            Entry &p = sc.entries[sc.pending[k]];
            DrawLayer(L, p.layer, p.state, dst, dw, dh, a.x, a.y, a.w, a.h);
        }
    };
    const int32_t rr = R.x + R.w, rb = R.y + R.h;
    size_t below = 0;  // layers under the last one looked at, left for the back-to-front pass
    for (size_t c = count; c-- > 0 && !sc.remaining.empty();) {
        // Many small opaque layers would cut what is left into ever more
        // pieces, each tested against every layer further down: past a few
        // dozen pieces the layers below are drawn back to front instead.
        if (sc.remaining.size() > kMaxPieces) {
            below = c + 1;
            break;
        }
        const Rect &bx = sc.bounds[cand[c]];
        if (bx.x >= rr || bx.y >= rb || bx.x + bx.w <= R.x || bx.y + bx.h <= R.y) continue;
        Entry &e = sc.entries[cand[c]];
        if (!e.known) FindOpaqueBox(L, e, dst);
        Rect o;
        if (e.ow > 0 && Meet(R, e.ox, e.oy, e.ow, e.oh, &o)) {
            sc.next.clear();
            for (const Rect &r : sc.remaining) {
                Rect a;
                if (!Meet(r, o.x, o.y, o.w, o.h, &a)) {
                    sc.next.push_back(r);
                    continue;
                }
                // Its shadow and border would lie under the image here.
                BltBitmap(e.image, e.srcX + a.x, e.srcY + a.y, dst, a.x, a.y, a.w, a.h);
                drawPending(a);
                Subtract(r, a, sc.next);
            }
            sc.remaining.swap(sc.next);
            if (e.beyond) sc.pending.push_back(cand[c]);
        } else {
            sc.pending.push_back(cand[c]);
        }
    }
    for (const Rect &r : sc.remaining) {
        if (background && background != dst) {
            const int32_t bw = std::min(r.w, background->width - r.x), bh = std::min(r.h, background->height - r.y);
            if (bw > 0 && bh > 0) BltBitmap(background, r.x, r.y, dst, r.x, r.y, bw, bh);
        }
        for (size_t c = 0; c < below; ++c) {
            const Rect &bx = sc.bounds[cand[c]];
            if (!RectsOverlapWH(bx.x, bx.y, bx.w, bx.h, r.x, r.y, r.w, r.h)) continue;
            Entry &e = sc.entries[cand[c]];
            DrawLayer(L, e.layer, e.state, dst, dw, dh, r.x, r.y, r.w, r.h);
        }
        drawPending(r);
    }
}

void CompositeRegion(lua_State *L, RegionScratch &sc, cxDisplay *d, cxBGPic *b, cxBitmap *dst, const cxRegionRect *rects,
                     uint32_t n) {
    cxBitmap *background = nullptr;
    if (d && b == d->bgpic && d->picture) background = d->picture;
    else background = b->current.bitmap;
    const int32_t aw = std::min(b->currentWidth, dst->width), ah = std::min(b->currentHeight, dst->height);
    if (aw < 1 || ah < 1) return;

    // The frame's visible layers, back to front, and for each row of 64
    // pixels the layers that reach it.
    sc.entries.clear();
    for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l)) {
        if (l->type == CX_LAYER_NOOBJECT || l->hidden || l->suppressed || !l->display) continue;
        Entry e{};
        e.layer = l, e.state = l->display;
        GetLayerBounds(L, l, l->display, &e.x, &e.y, &e.w, &e.h);
        if (!ClipRectToArea(0, 0, aw, ah, &e.x, &e.y, &e.w, &e.h)) continue;
        sc.entries.push_back(e);
    }
    sc.bounds.clear();
    for (const Entry &e : sc.entries) sc.bounds.push_back(Rect{e.x, e.y, e.w, e.h});
    const uint32_t buckets = uint32_t((ah - 1) >> kBucketShift) + 1;
    sc.bucketStart.assign(buckets + 1, 0);
    for (const Entry &e : sc.entries)
        for (uint32_t k = uint32_t(e.y >> kBucketShift); k <= uint32_t((e.y + e.h - 1) >> kBucketShift); ++k)
            ++sc.bucketStart[k + 1];
    for (uint32_t k = 0; k < buckets; ++k) sc.bucketStart[k + 1] += sc.bucketStart[k];
    sc.bucketItems.resize(sc.bucketStart[buckets]);
    sc.stamp.assign(sc.entries.size(), 0);
    sc.serial = 0;
    {
        std::vector<uint32_t> &fill = sc.candidates;
        fill.assign(sc.bucketStart.begin(), sc.bucketStart.end() - 1);
        for (uint32_t i = 0; i < sc.entries.size(); ++i) {
            const Entry &e = sc.entries[i];
            for (uint32_t k = uint32_t(e.y >> kBucketShift); k <= uint32_t((e.y + e.h - 1) >> kBucketShift); ++k)
                sc.bucketItems[fill[k]++] = i;
        }
    }

    uint32_t lastB0 = UINT32_MAX, lastB1 = UINT32_MAX;
    for (uint32_t i = 0; i < n; ++i) {
        Rect R{rects[i].x, rects[i].y, rects[i].width, rects[i].height};
        if (!Meet(R, 0, 0, aw, ah, &R)) continue;
        const uint32_t b0 = uint32_t(R.y >> kBucketShift), b1 = uint32_t((R.y + R.h - 1) >> kBucketShift);
        const uint32_t *cand;
        size_t count;
        if (b0 == b1) {
            cand = sc.bucketItems.data() + sc.bucketStart[b0];
            count = sc.bucketStart[b0 + 1] - sc.bucketStart[b0];
        } else if (b0 == lastB0 && b1 == lastB1) {
            // The rectangles of a band come one after another: same rows.
            cand = sc.candidates.data();
            count = sc.candidates.size();
        } else {
            // Layers reaching several rows are listed once, in their order.
            lastB0 = b0, lastB1 = b1;
            ++sc.serial;
            sc.candidates.clear();
            for (uint32_t k = b0; k <= b1; ++k)
                for (uint32_t j = sc.bucketStart[k]; j < sc.bucketStart[k + 1]; ++j) {
                    const uint32_t idx = sc.bucketItems[j];
                    if (sc.stamp[idx] == sc.serial) continue;
                    sc.stamp[idx] = sc.serial;
                    sc.candidates.push_back(idx);
                }
            std::sort(sc.candidates.begin(), sc.candidates.end());
            cand = sc.candidates.data();
            count = sc.candidates.size();
        }
        CompositeRect(L, sc, background, dst, R, cand, count);
        if (g_sprites.drawSprites && !g_sprites.drawSpritesInBoxes)
            g_sprites.drawSprites(L, b, dst, R.x, R.y, R.w, R.h, 0);
    }
    // The sprites over everything, each once for all the rectangles.
    static_assert(sizeof(cxRegionRect) == 4 * sizeof(int32_t), "rectangles are four coordinates");
    if (g_sprites.drawSpritesInBoxes && n) g_sprites.drawSpritesInBoxes(L, b, dst, &rects[0].x, n);
}

RegionScratch g_scratch;
cxDirtyRegion g_region{};

// The rectangles of the display's BGPic composited into its composition
// buffer. A nested call (a layer whose drawing redraws) gets scratch of
// its own.
void CompositeDisplayRegion(lua_State *L, cxDisplay *d, cxBitmap *c, const cxRegionRect *rects, uint32_t n) {
    try {
        if (!g_scratch.busy) {
            g_scratch.busy = true;
            CompositeRegion(L, g_scratch, d, d->bgpic, c, rects, n);
            g_scratch.busy = false;
        } else {
            RegionScratch own;
            CompositeRegion(L, own, d, d->bgpic, c, rects, n);
        }
    } catch (const std::bad_alloc &) {
        // Out of memory for the scratch: each rectangle the plain way.
        g_scratch.busy = false;
        for (uint32_t i = 0; i < n; ++i)
            RedrawLayersRect(L, d, d->bgpic, c, rects[i].x, rects[i].y, rects[i].width, rects[i].height, 0, nullptr);
    }
}

// A frame's boxes: their region composited once, then the merged boxes
// (disjoint, and all up to date) presented.
void RedrawDirtyBoxes(lua_State *L, cxDisplay *d, cxDirtyRects *r) {
    static bool inUse = false;
    cxBitmap *c = GetCompositionBuffer(L, d);
    if (!c) return;
    if (!inUse && !BuildDirtyRegion(&g_region, r->boxes, r->count, d->pictureWidth, d->pictureHeight)) {
        inUse = true;
        CompositeDisplayRegion(L, d, c, g_region.rects, g_region.count);
        inUse = false;
        if (!GetSafeBltHooks()->refreshRegion) return;  // no window to present to
        MergeDirtyRects(r);
        for (uint32_t i = 0; i < r->count; ++i) {
            const cxDirtyBox &b = r->boxes[i];
            if (b.x1 == CX_DIRTY_MERGED) continue;
            int32_t x = b.x1, y = b.y1, w = Sat(int64_t(b.x2) - b.x1 + 1), h = Sat(int64_t(b.y2) - b.y1 + 1);
            if (ClipRectToArea(0, 0, d->pictureWidth, d->pictureHeight, &x, &y, &w, &h)) Present(d, c, x, y, w, h);
        }
        return;
    }
    // No room for the region (or a nested frame): box by box.
    MergeDirtyRects(r);
    for (uint32_t i = 0; i < r->count; ++i) {
        const cxDirtyBox &b = r->boxes[i];
        if (b.x1 == CX_DIRTY_MERGED) continue;
        RedrawDisplayRectOf(L, d, b.x1, b.y1, Sat(int64_t(b.x2) - b.x1 + 1), Sat(int64_t(b.y2) - b.y1 + 1));
    }
}

}  // namespace

extern "C" void SetLayerSpriteHooks(const cxLayerSpriteHooks *hooks) { g_sprites = hooks ? *hooks : cxLayerSpriteHooks{}; }
extern "C" const cxLayerSpriteHooks *GetLayerSpriteHooks(void) { return &g_sprites; }

extern "C" void UnionRect(int32_t *x, int32_t *y, int32_t *w, int32_t *h, int32_t x2, int32_t y2, int32_t w2,
                          int32_t h2) {
    if (w2 <= 0 || h2 <= 0) return;
    if (*w <= 0 || *h <= 0) {
        *x = x2, *y = y2, *w = w2, *h = h2;
        return;
    }
    const int64_t l = std::min<int64_t>(*x, x2), t = std::min<int64_t>(*y, y2);
    const int64_t r = std::max<int64_t>(int64_t(*x) + *w, int64_t(x2) + w2);
    const int64_t b = std::max<int64_t>(int64_t(*y) + *h, int64_t(y2) + h2);
    *x = Sat(l), *y = Sat(t), *w = Sat(r - l), *h = Sat(b - t);
}

extern "C" int IntersectRects(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2,
                              int32_t h2, int32_t *x, int32_t *y, int32_t *w, int32_t *h) {
    const int64_t l = std::max<int64_t>(x1, x2), t = std::max<int64_t>(y1, y2);
    const int64_t r = std::min<int64_t>(int64_t(x1) + w1, int64_t(x2) + w2);
    const int64_t b = std::min<int64_t>(int64_t(y1) + h1, int64_t(y2) + h2);
    *x = Sat(l), *y = Sat(t), *w = Sat(std::max<int64_t>(r - l, 0)), *h = Sat(std::max<int64_t>(b - t, 0));
    return *w > 0 && *h > 0;
}

extern "C" int RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2,
                            int32_t by2) {
    return ax1 <= bx2 && bx1 <= ax2 && ay1 <= by2 && by1 <= ay2;
}

extern "C" int RectsOverlapWH(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2,
                              int32_t h2) {
    return int64_t(x1) < int64_t(x2) + w2 && int64_t(x2) < int64_t(x1) + w1 && int64_t(y1) < int64_t(y2) + h2 &&
           int64_t(y2) < int64_t(y1) + h1;
}

extern "C" int ClipRectToArea(int32_t ax, int32_t ay, int32_t aw, int32_t ah, int32_t *x, int32_t *y, int32_t *w,
                              int32_t *h) {
    return IntersectRects(ax, ay, aw, ah, *x, *y, *w, *h, x, y, w, h);
}

extern "C" int ClipRectToRegion(const cxClipRegion *r, int32_t *x, int32_t *y, int32_t *shiftX, int32_t *shiftY,
                                int32_t *w, int32_t *h) {
    *shiftX = *shiftY = 0;
    if (!r) return *w > 0 && *h > 0;
    const int32_t ox = *x, oy = *y;
    const int ok = IntersectRects(r->x, r->y, r->width, r->height, *x, *y, *w, *h, x, y, w, h);
    *shiftX = *x - ox, *shiftY = *y - oy;
    return ok;
}

extern "C" void GetLayerImageBounds(const cxLayerState *s, int32_t *x, int32_t *y, int32_t *w, int32_t *h) {
    *x = s->drawX, *y = s->drawY, *w = s->width, *h = s->height;
}

extern "C" void GetLayerBorderBounds(lua_State *L, cxLayer *layer, cxLayerState *s, int32_t *x, int32_t *y, int32_t *w,
                                     int32_t *h) {
    if (!s->borderBitmap) BuildLayerBorder(L, layer, s);
    if (!s->borderBitmap) {
        GetLayerImageBounds(s, x, y, w, h);
        return;
    }
    *x = Sat(int64_t(s->drawX) - s->borderX), *y = Sat(int64_t(s->drawY) - s->borderY);
    *w = s->borderWidth, *h = s->borderHeight;
}

extern "C" void GetLayerShadowBounds(lua_State *L, cxLayer *layer, cxLayerState *s, double fx, double fy, int32_t *x,
                                     int32_t *y, int32_t *w, int32_t *h) {
    if (layer->border.on) GetLayerBorderBounds(L, layer, s, x, y, w, h);
    else GetLayerImageBounds(s, x, y, w, h);
    const int64_t r = int64_t(std::clamp(layer->shadow.radius, 0.0, 500.0));
    const int32_t dx = Sat(int64_t(layer->shadow.size * fx)), dy = Sat(int64_t(layer->shadow.size * fy));
    int64_t sx, sy;
    ShadowShift(layer->shadow.direction, dx, dy, &sx, &sy);
    *x = Sat(*x - r + sx), *y = Sat(*y - r + sy);
    *w = Sat(*w + 2 * r), *h = Sat(*h + 2 * r);
}

extern "C" void GetLayerBounds(lua_State *L, cxLayer *layer, cxLayerState *s, int32_t *x, int32_t *y, int32_t *w,
                               int32_t *h) {
    GetLayerImageBounds(s, x, y, w, h);
    int32_t bx, by, bw, bh;
    if (layer->border.on) {
        GetLayerBorderBounds(L, layer, s, &bx, &by, &bw, &bh);
        UnionRect(x, y, w, h, bx, by, bw, bh);
    }
    if (layer->shadow.on) {
        GetLayerShadowBounds(L, layer, s, 1.0, 1.0, &bx, &by, &bw, &bh);
        UnionRect(x, y, w, h, bx, by, bw, bh);
    }
}

extern "C" void BlitLayerImage(lua_State *L, cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx,
                               int32_t dy, int32_t w, int32_t h, int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH,
                               cxBitmap *mask, cxBitmap *alpha, int32_t level, const cxClipRegion *clip) {
    if (level >= 255 || w < 1 || h < 1) return;
    if (level <= 0) {
        SafeBlt(L, src, sx, sy, dst, dx, dy, w, h, srcW, srcH, dstW, dstH, kLayerBlit, mask, alpha, clip);
        return;
    }
    const int32_t opacity = 255 - level;
    if (clip && clip->shape) {
        // The blend happens in a copy of the destination, which then goes
        // back through the region's shape.
        if (cxBitmap *tmp = AllocBitmap(w, h, 0, 0)) {
            BltBitmap(dst, dx, dy, tmp, 0, 0, w, h);
            MixBitmaps(tmp, src, mask, sx, sy, 0, 0, w, h, opacity, alpha);
            SafeBlt(L, tmp, 0, 0, dst, dx, dy, w, h, w, h, dstW, dstH, kLayerBlit, nullptr, nullptr, clip);
            FreeBitmap(tmp);
            return;
        }
        SafeBlt(L, src, sx, sy, dst, dx, dy, w, h, srcW, srcH, dstW, dstH, kLayerBlit, mask, alpha, clip);
        return;
    }
    MixBitmaps(dst, src, mask, sx, sy, dx, dy, w, h, opacity, alpha);
}

extern "C" void RedrawLayersRect(lua_State *L, cxDisplay *d, cxBGPic *b, cxBitmap *dst, int32_t x, int32_t y,
                                 int32_t w, int32_t h, uint32_t flags, const cxLayer *skip) {
    if (w <= 0 || h <= 0) {
        PrintMessage("ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0\n");
        return;
    }
    if (x < 0 || y < 0) {
        PrintMessage("ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES\n");
        return;
    }
    if (!dst) {
        PrintMessage("ERROR! REDRAW CALLED WITHOUT DSTBM\n");
        return;
    }
    if (!b) return;
    const bool scaled = flags & CX_REDRAW_SCALED;
    const int32_t pw = scaled ? b->scaledWidth : b->currentWidth, ph = scaled ? b->scaledHeight : b->currentHeight;
    w = int32_t(std::min<int64_t>(w, int64_t(pw) - x));
    h = int32_t(std::min<int64_t>(h, int64_t(ph) - y));
    w = std::min(w, dst->width - x), h = std::min(h, dst->height - y);
    if (w <= 0 || h <= 0) return;

    if (!(flags & (CX_REDRAW_SPRITESONLY | CX_REDRAW_MARKEDSPRITES))) {
        cxBitmap *background = nullptr;
        if (scaled) background = b->scaled.bitmap;
        else if (d && !(flags & CX_REDRAW_NOBACKCOPY) && ((flags & CX_REDRAW_BACKCOPY) || b == d->bgpic) && d->picture)
            background = d->picture;
        else background = b->current.bitmap;
        if (background && background != dst) {
            const int32_t bw = std::min(w, background->width - x), bh = std::min(h, background->height - y);
            if (bw > 0 && bh > 0) BltBitmap(background, x, y, dst, x, y, bw, bh);
        }
        if (flags & CX_REDRAW_BACKGROUND) return;

        for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l)) {
            if (l == skip || l->type == CX_LAYER_NOOBJECT || l->hidden || l->suppressed) continue;
            cxLayerState *s = scaled ? l->picture : l->display;
            if (!s) continue;
            DrawLayer(L, l, s, dst, dst->width, dst->height, x, y, w, h);
        }
    }
    if (!(flags & CX_REDRAW_NOSPRITES) && g_sprites.drawSprites)
        g_sprites.drawSprites(L, b, dst, x, y, w, h, (flags & CX_REDRAW_MARKEDSPRITES) ? 1 : 0);
}

extern "C" cxBitmap *GetCompositionBuffer(lua_State *L, cxDisplay *d) {
    if (!d || !d->picture || d->pictureWidth < 1 || d->pictureHeight < 1) return nullptr;
    cxBitmap *c = d->backBitmap[0];
    if (c && c->width == d->pictureWidth && c->height == d->pictureHeight) return c;
    FreeBitmap(c);
    d->backBitmap[0] = c = AllocBitmap(d->pictureWidth, d->pictureHeight, 0, 0);
    if (c && d->bgpic) RedrawLayersRect(L, d, d->bgpic, c, 0, 0, d->pictureWidth, d->pictureHeight, 0, nullptr);
    return c;
}

extern "C" void RedrawDisplayRectOf(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!d || !d->bgpic) return;
    if (!ClipRectToArea(0, 0, d->pictureWidth, d->pictureHeight, &x, &y, &w, &h)) return;
    cxBitmap *c = GetCompositionBuffer(L, d);
    if (!c) return;
    const cxRegionRect r{x, y, w, h};
    CompositeDisplayRegion(L, d, c, &r, 1);
    Present(d, c, x, y, w, h);
}

extern "C" void RedrawDisplayRect(lua_State *L, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t) {
    RedrawDisplayRectOf(L, GetCurrentDisplay(), x, y, w, h);
}

extern "C" void RedrawWholeDisplay(lua_State *L, cxDisplay *d) {
    if (!d || !d->bgpic) return;
    cxBitmap *c = GetCompositionBuffer(L, d);
    if (!c) return;
    RedrawLayersRect(L, d, d->bgpic, c, 0, 0, d->pictureWidth, d->pictureHeight, 0, nullptr);
    ClearDisplayBorders(d);
    Present(d, c, 0, 0, d->pictureWidth, d->pictureHeight);
}

extern "C" void QueueDirtyBox(cxDirtyRects *r, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!r || w <= 0 || h <= 0) return;
    // A box that cannot be kept asks for everything: it never vanishes.
    const bool grow = r->capacity < kMaxBoxes;
    if (!AddDirtyRect(r, x, y, w, h, grow ? 1 : 0)) r->count = r->capacity;
}

extern "C" cxDirtyRects *GetLayerDirtyRects(void) { return &g_library; }

extern "C" cxDirtyRects *GetDisplayDirtyRects(cxDisplay *d) {
    for (DisplayBoxes &b : g_displayBoxes)
        if (b.display == d) return &b.rects;
    DisplayBoxes made{d, {}};
    if (InitDirtyRects(&made.rects, CX_DIRTY_CAPACITY)) return nullptr;
    try {
        g_displayBoxes.push_back(made);
    } catch (...) {
        FreeDirtyRects(&made.rects);
        return nullptr;
    }
    return &g_displayBoxes.back().rects;
}

extern "C" void QueueDisplayRepaint(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!d || w <= 0 || h <= 0) return;
    for (DisplayBoxes &b : g_pendingRepaints)
        if (b.display == d) {
            QueueDirtyBox(&b.rects, x, y, w, h);
            return;
        }
    DisplayBoxes made{d, {}};
    bool kept = false;
    if (!InitDirtyRects(&made.rects, CX_DIRTY_CAPACITY)) {
        try {
            g_pendingRepaints.push_back(made);
            kept = true;
        } catch (...) {
            FreeDirtyRects(&made.rects);
        }
    }
    // Without room to queue it, the repaint is made at once.
    if (kept) QueueDirtyBox(&g_pendingRepaints.back().rects, x, y, w, h);
    else RedrawDisplayRectOf(L, d, x, y, w, h);
}

extern "C" void ShowPendingRepaints(lua_State *L) {
    // A repaint that turns the pump (an owner's drawing) finds this busy.
    static bool busy = false;
    if (busy) return;
    busy = true;
    for (size_t i = 0; i < g_pendingRepaints.size(); ++i) {
        cxDisplay *d = g_pendingRepaints[i].display;
        cxDirtyRects *r = &g_pendingRepaints[i].rects;
        if (!r->count) continue;
        if (d->bgpic) {
            if (DirtyRectsFull(r)) RedrawDisplayRectOf(L, d, 0, 0, d->pictureWidth, d->pictureHeight);
            else RedrawDirtyBoxes(L, d, r);
        }
        // The list may have grown meanwhile: the entry is found again.
        if (i < g_pendingRepaints.size()) g_pendingRepaints[i].rects.count = 0;
    }
    busy = false;
}

extern "C" void DropDisplayDirtyRects(cxDisplay *d) {
    for (size_t i = 0; i < g_pendingRepaints.size(); ++i)
        if (g_pendingRepaints[i].display == d) {
            FreeDirtyRects(&g_pendingRepaints[i].rects);
            g_pendingRepaints.erase(g_pendingRepaints.begin() + long(i));
            break;
        }
    for (size_t i = 0; i < g_displayBoxes.size(); ++i)
        if (g_displayBoxes[i].display == d) {
            FreeDirtyRects(&g_displayBoxes[i].rects);
            g_displayBoxes.erase(g_displayBoxes.begin() + long(i));
            return;
        }
}

extern "C" void FreeCompositorState(void) {
    for (DisplayBoxes &b : g_displayBoxes) FreeDirtyRects(&b.rects);
    g_displayBoxes.clear();
    for (DisplayBoxes &b : g_pendingRepaints) FreeDirtyRects(&b.rects);
    g_pendingRepaints.clear();
    FreeDirtyRects(&g_library);
    FreeDirtyRegion(&g_region);
}

extern "C" int InitCompositorState(void) { return InitDirtyRects(&g_library, CX_DIRTY_CAPACITY); }

extern "C" void FlushDirtyRects(lua_State *L, cxDirtyRects *r) {
    cxDisplay *d = GetCurrentDisplay();
    if (!r || !d || !r->count) return;
    if (DirtyRectsFull(r)) {
        RedrawDisplayRectOf(L, d, 0, 0, d->pictureWidth, d->pictureHeight);
        return;
    }
    if (d->bgpic) RedrawDirtyBoxes(L, d, r);
}

extern "C" void MarkRectDirty(lua_State *L, int32_t x, int32_t y, int32_t w, int32_t h) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d || w <= 0 || h <= 0) return;
    if (d->targetKind == kOutDisplay) {
        RedrawDisplayRectOf(L, d, x, y, w, h);
    } else if (d->targetKind == kOutLayers && GetDisplayLayerBGPic(d) == d->bgpic) {
        QueueDirtyBox(GetDisplayDirtyRects(d), x, y, w, h);
    }
}

extern "C" void QueueDirtyRect(int32_t x, int32_t y, int32_t w, int32_t h) {
    cxDisplay *d = GetCurrentDisplay();
    cxDirtyRects *r = d ? GetDisplayDirtyRects(d) : nullptr;
    const cxBGPic *b = GetLayerOutputBGPic();
    if (!r || !b) return;
    if (x <= 0 && y <= 0 && int64_t(x) + w >= b->currentWidth && int64_t(y) + h >= b->currentHeight) {
        r->count = r->capacity;
        return;
    }
    AddDirtyRect(r, x, y, w, h, 0);
}

extern "C" void QueueLayerDirtyRect(lua_State *L, cxDirtyRects *r, cxLayer *layer, cxLayerState *s) {
    int32_t x, y, w, h;
    GetLayerBounds(L, layer, s, &x, &y, &w, &h);
    QueueDirtyBox(r, x, y, w, h);
}

extern "C" void PresentDisplayDirtyRects(lua_State *L, cxDisplay *d) {
    cxDirtyRects *r = nullptr;
    for (DisplayBoxes &b : g_displayBoxes)
        if (b.display == d) r = &b.rects;
    if (!r || !r->count || !d->layersOn) {
        if (r) r->count = 0;
        return;
    }
    if (DirtyRectsFull(r)) {
        RedrawWholeDisplay(L, d);
    } else {
        if (d->bgpic) RedrawDirtyBoxes(L, d, r);
    }
    r->count = 0;
}
