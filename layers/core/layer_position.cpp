#include "layers/core/layer_position.h"

#include <algorithm>
#include <cmath>

#include "graphics/blit/mask_alpha_rect.h"
#include "layers/core/async_draw.h"
#include "layers/core/effect_hooks.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_states.h"

extern "C" int32_t SaturateInt64(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

extern "C" int32_t SaturateCoordinate(double v) {
    if (v != v) return 0;
    const double t = std::trunc(v);
    return t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int32_t(t);
}

extern "C" void SetStatePosition(cxLayer *layer, cxLayerState *s, int32_t x, int32_t y) {
    const int32_t w = layer->base ? layer->base->srcWidth : s->srcWidth;
    const int32_t h = layer->base ? layer->base->srcHeight : s->srcHeight;
    const int32_t offX = s->anchoredX - s->drawX, offY = s->anchoredY - s->drawY;
    s->x = x, s->y = y;
    s->anchoredX = SaturateInt64(int64_t(x) - int64_t(layer->anchorX * w));
    s->anchoredY = SaturateInt64(int64_t(y) - int64_t(layer->anchorY * h));
    s->drawX = SaturateInt64(int64_t(s->anchoredX) - offX);
    s->drawY = SaturateInt64(int64_t(s->anchoredY) - offY);
    // A LINE layer's end points are kept relative to its position: they
    // move with it.
}

namespace {

int32_t Resolve(int64_t v, int32_t current, bool relative) {
    if (relative) return SaturateInt64(v + current);
    if (v >= CX_LAYER_RELATIVE_MIN && v <= CX_LAYER_RELATIVE_MAX) return SaturateInt64(v - CX_LAYER_KEEP + current);
    return SaturateInt64(v);
}

}  // namespace

extern "C" void UpdateLayerPosition(lua_State *L, cxLayer *layer, cxLayerBox *unionBox, int64_t x, int64_t y,
                                    int noRefresh, uint32_t relative, cxDirtyRects *dirty) {
    const bool keep = x == CX_LAYER_KEEP && y == CX_LAYER_KEEP && !relative;
    const bool decorated = layer->shadow.on || layer->border.on;
    int32_t fx = 0, fy = 0, fw = 0, fh = 0;
    if (decorated) GetLayerBounds(L, layer, layer->display, &fx, &fy, &fw, &fh);
    cxLayerState *d = layer->display;
    int32_t bx = d->drawX, by = d->drawY, bw = d->width, bh = d->height;
    if (!keep) {
        const int32_t nx = Resolve(x, layer->base->x, relative & CX_MOVE_RELX);
        const int32_t ny = Resolve(y, layer->base->y, relative & CX_MOVE_RELY);
        SetStatePosition(layer, layer->base, nx, ny);
        if (layer->picture != layer->base) SetStatePosition(layer, layer->picture, nx, ny);
        if (layer->display != layer->picture && layer->display != layer->base)
            SetStatePosition(layer, layer->display, nx, ny);
        UnionRect(&bx, &by, &bw, &bh, d->drawX, d->drawY, d->width, d->height);
    }
    if (noRefresh) return;
    if (decorated) {
        UnionRect(&bx, &by, &bw, &bh, fx, fy, fw, fh);
        int32_t nx, ny, nw, nh;
        GetLayerBounds(L, layer, layer->display, &nx, &ny, &nw, &nh);
        UnionRect(&bx, &by, &bw, &bh, nx, ny, nw, nh);
    }
    if (unionBox) {
        if (unionBox->width < 0) *unionBox = {bx, by, bw, bh, 0};
        else UnionRect(&unionBox->x, &unionBox->y, &unionBox->width, &unionBox->height, bx, by, bw, bh);
    } else if (dirty) {
        QueueDirtyBox(dirty, bx, by, bw, bh);
    } else {
        MarkRectDirty(L, bx, by, bw, bh);
    }
}

namespace {

// New async-draw buffers of a size: a bitmap, and a mask or an alpha
// channel set to 1 where the old had one. Null members on failure.
void RemakeAsyncBuffers(cxLayerState *s, int32_t w, int32_t h) {
    const bool mask = s->asyncMask, alpha = s->asyncAlpha;
    FreeBitmapTriple(&s->asyncBitmap, &s->asyncMask, &s->asyncAlpha);
    s->asyncBitmap = AllocBitmap(w, h, 1, 0);
    if (!s->asyncBitmap) return;
    if (mask && (s->asyncMask = AllocMask(s->asyncBitmap, w, h, 1, nullptr, 0)))
        FillMaskRect(s->asyncMask, 0, 0, w, h, CX_MASKVISIBLE);
    if (alpha && (s->asyncAlpha = AllocAlphaChannel(w, h, 1, nullptr, 0)))
        FillAlphaRect(s->asyncAlpha, 0, 0, w, h, 1);
}

}  // namespace

extern "C" void SetLayerImage(lua_State *L, cxLayer *layer, cxLayerBox *box, int32_t x, int32_t y, int32_t w,
                              int32_t h, cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, uint32_t flags) {
    cxLayerState *s = layer->display;
    int32_t oldX = s->drawX, oldY = s->drawY, oldW = s->width, oldH = s->height;
    const bool decorated = (layer->shadow.on || layer->border.on) && oldW > 0 && oldH > 0;
    if (decorated && box && !box->noRefresh && !layer->hidden && !layer->suppressed)
        GetLayerBounds(L, layer, s, &oldX, &oldY, &oldW, &oldH);
    s->width = w, s->height = h;
    if (!(layer->type == CX_LAYER_LINE && (flags & CX_SETIMAGE_KEEPLINEPOS))) s->drawX = x, s->drawY = y;
    if (bitmap || s->bitmap) {
        FreeBitmapTriple(&s->bitmap, &s->mask, &s->alpha);
        s->bitmap = bitmap, s->mask = mask, s->alpha = alpha;
    }
    if (box && box->width == -1) *box = {s->drawX, s->drawY, w, h, box->noRefresh};
    // What was made from the old image no longer fits.
    FreeBitmapTriple(&s->filteredBitmap, &s->filteredMask, &s->filteredAlpha);
    FreeBitmapTriple(&s->borderBitmap, &s->borderMask, &s->borderAlpha);
    FreeAlphaChannel(s->shadowAlpha);
    s->shadowAlpha = nullptr;
    if (layer->effect)
        if (const cxLayerEffectHooks *h = GetLayerEffectHooks(); h->imageReplaced) h->imageReplaced(L, layer);
    if (IsAsyncDrawObject(layer)) NotifyAsyncDraws(CX_ASYNC_IMAGES_REPLACED, layer);
    else if (s->asyncBitmap && (w != oldW || h != oldH)) RemakeAsyncBuffers(s, w, h);
    if (layer->hidden || layer->suppressed || !box || box->noRefresh) return;
    int32_t bx = box->x, by = box->y, bw = box->width, bh = box->height;
    int32_t nx = s->drawX, ny = s->drawY, nw = w, nh = h;
    if (layer->shadow.on || layer->border.on) GetLayerBounds(L, layer, s, &nx, &ny, &nw, &nh);
    UnionRect(&bx, &by, &bw, &bh, nx, ny, nw, nh);
    if (oldW > 0 && oldH > 0) UnionRect(&bx, &by, &bw, &bh, oldX, oldY, oldW, oldH);
    MarkRectDirty(L, bx, by, bw, bh);
}
