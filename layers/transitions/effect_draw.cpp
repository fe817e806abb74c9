#include "layers/transitions/effect_draw.h"

#include <algorithm>
#include <cstdlib>

#include "graphics/blit/blit.h"
#include "graphics/blit/blit_clip.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "layers/core/compositor.h"

namespace {

// Cuts (x, y, w, h) to the effect rectangle.
bool CutToEffect(const cxEffectInstance *fx, int32_t *x, int32_t *y, int32_t *w, int32_t *h) {
    return IntersectRects(0, 0, fx->width, fx->height, *x, *y, *w, *h, x, y, w, h) != 0;
}

void Touch(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return;
    if (fx->dirtyWidth <= 0 || fx->dirtyHeight <= 0) {
        fx->dirtyX = x, fx->dirtyY = y, fx->dirtyWidth = w, fx->dirtyHeight = h;
        return;
    }
    UnionRect(&fx->dirtyX, &fx->dirtyY, &fx->dirtyWidth, &fx->dirtyHeight, x, y, w, h);
}

// The direct-mode rectangle on the target: source position (inside the
// effect's pictures) and destination position, cut to the target. False
// when nothing is left.
bool OnTarget(const cxEffectInstance *fx, int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h) {
    const cxBitmap *t = fx->drawTarget;
    if (!t) return false;
    *dx = int32_t(std::clamp<int64_t>(int64_t(fx->dx) + *sx, INT32_MIN / 2, INT32_MAX / 2));
    *dy = int32_t(std::clamp<int64_t>(int64_t(fx->dy) + *sy, INT32_MIN / 2, INT32_MAX / 2));
    return ClipBlitRect(nullptr, sx, sy, dx, dy, w, h, fx->width, fx->height, t->width, t->height, 0) != 0;
}

// The canvas channel of a rectangle from the new picture's transparency.
void CopyChannel(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!fx->canvasAlpha) return;
    if (fx->newAlpha) {
        BltAlphaToAlphaClipped(fx->newAlpha, x, y, fx->canvasAlpha, x, y, w, h, 0, 0);
    } else if (fx->newMask) {
        FillAlphaRect(fx->canvasAlpha, x, y, w, h, 0);
        BltMaskToMask(fx->newMask, x, y, fx->canvasAlpha, x, y, w, h, 255);
    } else {
        FillAlphaRect(fx->canvasAlpha, x, y, w, h, 255);
    }
}

}  // namespace

extern "C" void ComposeEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t flags) {
    if (!fx || !CutToEffect(fx, &x, &y, &w, &h)) return;
    if (fx->layerMode) {
        if (!fx->canvas) return;
        if (flags & CX_FXDRAW_CLEAR) {
            if (fx->canvasAlpha) FillAlphaRect(fx->canvasAlpha, x, y, w, h, 0);
        } else {
            BltBitmap(fx->newImage, x, y, fx->canvas, x, y, w, h);
            CopyChannel(fx, x, y, w, h);
        }
        Touch(fx, x, y, w, h);
        return;
    }
    int32_t sx = x, sy = y, dx = 0, dy = 0;
    if (!OnTarget(fx, &sx, &sy, &dx, &dy, &w, &h)) return;
    if (fx->newMask) BltBitmapMask(fx->newImage, sx, sy, fx->drawTarget, dx, dy, w, h, fx->newMask);
    else if (fx->newAlpha) BltBitmapAlpha(fx->newImage, sx, sy, fx->drawTarget, dx, dy, w, h, fx->newAlpha);
    else BltBitmap(fx->newImage, sx, sy, fx->drawTarget, dx, dy, w, h);
    Touch(fx, sx, sy, w, h);
}

extern "C" void RevealEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h) {
    ComposeEffectRect(fx, x, y, w, h, fx->layerMode && fx->reverse ? CX_FXDRAW_CLEAR : 0);
}

extern "C" void DrawEffectBitmap(cxEffectInstance *fx, const cxBitmap *src, int32_t srcX, int32_t srcY, int32_t x,
                                 int32_t y, int32_t w, int32_t h) {
    if (!fx || !src) return;
    // Cut to the source first, then to the effect rectangle.
    if (!ClipBlitRect(nullptr, &srcX, &srcY, &x, &y, &w, &h, src->width, src->height, fx->width, fx->height, 0))
        return;
    if (fx->layerMode) {
        if (!fx->canvas) return;
        BltBitmap(src, srcX, srcY, fx->canvas, x, y, w, h);
        if (fx->canvasAlpha) FillAlphaRect(fx->canvasAlpha, x, y, w, h, 255);
        Touch(fx, x, y, w, h);
        return;
    }
    int32_t ex = x, ey = y, dx = 0, dy = 0;
    const int32_t ow = w, oh = h;
    if (!OnTarget(fx, &ex, &ey, &dx, &dy, &w, &h)) return;
    BltBitmap(src, srcX + (ex - x), srcY + (ey - y), fx->drawTarget, dx, dy, w, h);
    (void)ow, (void)oh;
    Touch(fx, ex, ey, w, h);
}

extern "C" void DrawEffectPicture(cxEffectInstance *fx, const cxBitmap *src, const cxBitmap *mask,
                                  const cxBitmap *alpha, int32_t srcX, int32_t srcY, int32_t x, int32_t y, int32_t w,
                                  int32_t h) {
    if (!fx || !src) return;
    if (!mask && !alpha) {
        DrawEffectBitmap(fx, src, srcX, srcY, x, y, w, h);
        return;
    }
    if (!ClipBlitRect(nullptr, &srcX, &srcY, &x, &y, &w, &h, src->width, src->height, fx->width, fx->height, 0))
        return;
    if (fx->layerMode) {
        if (!fx->canvas) return;
        BltBitmap(src, srcX, srcY, fx->canvas, x, y, w, h);
        if (fx->canvasAlpha) {
            if (alpha) {
                BltAlphaToAlphaClipped(alpha, srcX, srcY, fx->canvasAlpha, x, y, w, h, 0, 0);
            } else {
                FillAlphaRect(fx->canvasAlpha, x, y, w, h, 0);
                BltMaskToMask(mask, srcX, srcY, fx->canvasAlpha, x, y, w, h, 255);
            }
        }
        Touch(fx, x, y, w, h);
        return;
    }
    int32_t ex = x, ey = y, dx = 0, dy = 0;
    if (!OnTarget(fx, &ex, &ey, &dx, &dy, &w, &h)) return;
    const int32_t sx = srcX + (ex - x), sy = srcY + (ey - y);
    if (mask) BltBitmapMask(src, sx, sy, fx->drawTarget, dx, dy, w, h, mask);
    else BltBitmapAlpha(src, sx, sy, fx->drawTarget, dx, dy, w, h, alpha);
    Touch(fx, ex, ey, w, h);
}

extern "C" void FillEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    if (!fx || !CutToEffect(fx, &x, &y, &w, &h)) return;
    if (fx->layerMode) {
        if (!fx->canvas) return;
        FillRect(fx->canvas, x, y, w, h, colour & 0xFFFFFFu);
        if (fx->canvasAlpha) FillAlphaRect(fx->canvasAlpha, x, y, w, h, 255);
        Touch(fx, x, y, w, h);
        return;
    }
    int32_t sx = x, sy = y, dx = 0, dy = 0;
    if (!OnTarget(fx, &sx, &sy, &dx, &dy, &w, &h)) return;
    FillRect(fx->drawTarget, dx, dy, w, h, colour & 0xFFFFFFu);
    Touch(fx, sx, sy, w, h);
}

extern "C" void MarkEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (fx && CutToEffect(fx, &x, &y, &w, &h)) Touch(fx, x, y, w, h);
}

extern "C" int GetWholeEffectTarget(cxEffectInstance *fx, cxBitmap **target, int32_t *x, int32_t *y) {
    *target = nullptr;
    *x = *y = 0;
    if (fx->layerMode) {
        if (!fx->canvas) return 0;
        *target = fx->canvas;
        return 1;
    }
    const cxBitmap *t = fx->drawTarget;
    if (!t || fx->dx < 0 || fx->dy < 0 || int64_t(fx->dx) + fx->width > t->width ||
        int64_t(fx->dy) + fx->height > t->height)
        return 0;
    *target = fx->drawTarget;
    *x = fx->dx, *y = fx->dy;
    return 1;
}

extern "C" int32_t EffectStepCount(int32_t distance, int32_t step, int exact) {
    if (distance < 1) return 1;
    if (step < 1) step = 1;
    const int64_t n = (int64_t(distance) + step - 1) / step + (exact ? 0 : 1);
    return int32_t(std::min<int64_t>(n, INT32_MAX));
}

extern "C" int32_t SpeedToStep(int32_t speed, int32_t extent, int32_t normal, int32_t fast, int32_t slow) {
    int32_t s = speed;
    switch (speed) {
    case CX_SPEED_NORMAL:
    case CX_SPEED_DEFAULT: s = normal > 0 ? extent / normal : extent; break;
    case CX_SPEED_FAST: s = fast > 0 ? extent / fast : extent; break;
    case CX_SPEED_SLOW: s = slow > 0 ? extent / slow : extent; break;
    default: break;
    }
    return s < 1 ? 1 : s;
}

extern "C" void *AllocEffectState(cxEffectInstance *fx, size_t size) {
    free(fx->state);
    fx->state = calloc(1, size ? size : 1);
    return fx->state;
}

extern "C" void FreeEffectBitmap(cxBitmap **b) {
    if (!b || !*b) return;
    switch ((*b)->kind) {
    case CX_BITMAP_ALPHA: FreeAlphaChannel(*b); break;
    case CX_BITMAP_MASK: FreeMask(*b); break;
    default: FreeBitmap(*b); break;
    }
    *b = nullptr;
}

extern "C" void RevealEffectMask(cxEffectInstance *fx, const cxBitmap *mask, int32_t x, int32_t y, int32_t w,
                                 int32_t h) {
    if (!fx || !mask || !CutToEffect(fx, &x, &y, &w, &h)) return;
    if (!fx->layerMode) {
        int32_t sx = x, sy = y, dx = 0, dy = 0;
        if (!OnTarget(fx, &sx, &sy, &dx, &dy, &w, &h)) return;
        BltBitmapMask(fx->newImage, sx, sy, fx->drawTarget, dx, dy, w, h, mask);
        Touch(fx, sx, sy, w, h);
        return;
    }
    if (!fx->canvasAlpha) return;
    cxOsBitmapLock m{}, a{}, b{};
    const bool ok = LockBitmap(mask, CX_LOCK_SOURCE, &m) && LockBitmap(fx->canvasAlpha, 0, &a) &&
                    (!fx->canvasBase || LockBitmap(fx->canvasBase, CX_LOCK_SOURCE, &b));
    if (ok) {
        for (int32_t row = y; row < y + h; ++row) {
            const uint8_t *mr = m.pixels + size_t(row) * m.rowLength;
            uint8_t *ar = a.pixels + size_t(row) * a.rowLength;
            const uint8_t *br = fx->canvasBase ? b.pixels + size_t(row) * b.rowLength : nullptr;
            for (int32_t col = x; col < x + w; ++col)
                if ((mr[col >> 3] >> (7 - (col & 7))) & 1) ar[col] = fx->reverse ? 0 : (br ? br[col] : 255);
        }
    }
    UnlockBitmap(&b);
    UnlockBitmap(&a);
    UnlockBitmap(&m);
    Touch(fx, x, y, w, h);
}

extern "C" void SetEffectCanvasLevel(cxEffectInstance *fx, int32_t level) {
    if (!fx || !fx->layerMode || !fx->canvasAlpha || fx->width < 1 || fx->height < 1) return;
    level = std::clamp(level, 0, 255);
    const uint32_t l = uint32_t(level) + (uint32_t(level) >> 7);
    cxOsBitmapLock a{}, b{};
    const bool ok = LockBitmap(fx->canvasAlpha, 0, &a) && (!fx->canvasBase || LockBitmap(fx->canvasBase, CX_LOCK_SOURCE, &b));
    if (ok) {
        for (int32_t row = 0; row < fx->height; ++row) {
            uint8_t *ar = a.pixels + size_t(row) * a.rowLength;
            const uint8_t *br = fx->canvasBase ? b.pixels + size_t(row) * b.rowLength : nullptr;
            for (int32_t col = 0; col < fx->width; ++col) ar[col] = uint8_t(((br ? br[col] : 255u) * l) >> 8);
        }
    }
    UnlockBitmap(&b);
    UnlockBitmap(&a);
    Touch(fx, 0, 0, fx->width, fx->height);
}
