#include "display/blit/safe_blt.h"

#include "display/display_record.h"
#include "display/present.h"
#include "engine/runtime/console.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/blit_settings.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/kernels/kernel_guard.h"

namespace {

// The display library's own: the current display, its picture as the first
// back bitmap and its first double buffer as the second, and presenting.
// Sprites and layers come with the libraries that own them.
cxBitmap *DisplayBack(cxDisplay *d, int which) { return which == 0 ? d->picture : d->backBitmap[0]; }

void PresentRegion(cxBitmap *src, int32_t sx, int32_t sy, cxDisplay *d, int32_t dx, int32_t dy, int32_t w, int32_t h,
                   uint32_t) {
    RefreshDisplayRectCore(src, sx, sy, d, dx, dy, w, h, d->os.scaledWidth, d->os.scaledHeight, 0, nullptr, nullptr,
                           nullptr);
}

void PresentDirect(cxBitmap *src, int32_t sx, int32_t sy, cxDisplay *d, int32_t dx, int32_t dy, int32_t w, int32_t h,
                   uint32_t, cxBitmap *mask, cxBitmap *alpha, cxBitmap *extraMask) {
    RefreshDisplayRectCore(src, sx, sy, d, dx, dy, w, h, d->os.scaledWidth, d->os.scaledHeight, 0,
                           mask ? mask : extraMask, alpha, nullptr);
}

const cxSafeBltHooks kDisplayHooks = {GetCurrentDisplay, nullptr, DisplayBack, nullptr, nullptr, nullptr,
                                      PresentRegion, PresentDirect};
cxSafeBltHooks g_hooks = kDisplayHooks;

cxBitmap *Back(cxDisplay *d, int which) {
    if (g_hooks.backBitmap) return g_hooks.backBitmap(d, which);
    return d->backBitmap[which];
}

bool Mirrors(const cxDisplay *d) { return d->mirror && d->os.scaledWidth && d->os.scaledHeight; }

void Refresh(cxBitmap *src, int32_t sx, int32_t sy, cxDisplay *d, int32_t dx, int32_t dy, int32_t w, int32_t h,
             uint32_t flag) {
    if (g_hooks.refreshRegion && src) g_hooks.refreshRegion(src, sx, sy, d, dx, dy, w, h, flag);
}

void Redraw(lua_State *L, cxDisplay *d, cxBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h, int part) {
    if (g_hooks.redrawLayersRect && dst) g_hooks.redrawLayersRect(L, d, d->bgpic, dst, x, y, w, h, 0, part);
}

// The software alpha blit: blend (mode 0), or lay over a destination alpha
// channel that it updates (mode 2).
void SoftAlphaBlit(cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy, int32_t w, int32_t h,
                   cxBitmap *alpha, cxBitmap *dstAlpha) {
    cxOsBitmapLock s, t, a, da{};
    const bool ok = LockBitmap(src, CX_LOCK_SOURCE, &s) && LockBitmap(dst, 0, &t) && LockBitmap(alpha, CX_LOCK_SOURCE, &a) &&
                    (!dstAlpha || LockBitmap(dstAlpha, 0, &da));
    if (ok) BltBitmapAlphaKernel(&s, sx, sy, &t, dx, dy, w, h, &a, dstAlpha ? &da : nullptr, dstAlpha ? 2 : 0);
    UnlockBitmap(&da);
    UnlockBitmap(&a);
    UnlockBitmap(&t);
    UnlockBitmap(&s);
}

// Draws the source into a target bitmap through its mask or alpha channel.
void DrawInto(cxDisplay *d, cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy, int32_t w,
              int32_t h, cxBitmap *mask, cxBitmap *alpha, uint32_t flags) {
    if (mask) {
        BltBitmapMask(src, sx, sy, dst, dx, dy, w, h, mask);
    } else if (alpha) {
        if (!d->outputAlpha || (flags & CX_SAFEBLT_OWNTARGET)) {
            BltBitmapAlpha(src, sx, sy, dst, dx, dy, w, h, alpha);
        } else {
            switch (GetBlitSettings()->alphaOutputMode) {
            case 1: SoftAlphaBlit(src, sx, sy, dst, dx, dy, w, h, alpha, nullptr); break;
            case 2: SoftAlphaBlit(src, sx, sy, dst, dx, dy, w, h, alpha, d->outputAlpha); break;
            default: BltBitmap(src, sx, sy, dst, dx, dy, w, h); break;
            }
        }
    } else {
        BltBitmap(src, sx, sy, dst, dx, dy, w, h);
    }
}

// Writes the selected mask and alpha channel of the display.
void FeedOutputs(cxDisplay *d, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h, cxBitmap *mask,
                 cxBitmap *alpha, bool drewTarget) {
    const cxBlitSettings &set = *GetBlitSettings();
    if (d->outputMask) {
        const int32_t mode = drewTarget ? CX_MASKVANILLACOPY : set.maskMode;
        if (mask) CombineMaskRect(mask, sx, sy, d->outputMask, dx, dy, w, h, mode);
        else if (alpha) BltAlphaToMask(alpha, sx, sy, d->outputMask, dx, dy, w, h, mode);
        else FillMaskRect(d->outputMask, dx, dy, w, h, mode);
    }
    if (d->outputAlpha) {
        const bool plain = drewTarget || set.alphaIntensity == CX_ALPHA_PLAIN;
        const uint8_t value = plain ? 255 : uint8_t(set.alphaIntensity > 255 ? 255 : set.alphaIntensity);
        if (mask) {
            BltMaskToMask(mask, sx, sy, d->outputAlpha, dx, dy, w, h, value);
        } else if (alpha) {
            static const int32_t kModes[3] = {0, 1, 9};
            const int32_t m = set.alphaOutputMode;
            const int32_t mode = !plain ? 6 : kModes[m >= 0 && m <= 2 ? m : 0];
            BltAlphaToAlphaClipped(alpha, sx, sy, d->outputAlpha, dx, dy, w, h, mode, value);
        } else {
            FillAlphaRect(d->outputAlpha, dx, dy, w, h, value);
        }
    }
}

} // namespace

extern "C" void SetSafeBltHooks(const cxSafeBltHooks *hooks) { g_hooks = hooks ? *hooks : kDisplayHooks; }
extern "C" const cxSafeBltHooks *GetSafeBltHooks(void) { return &g_hooks; }

extern "C" void SafeBlt(lua_State *L, cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *target, int32_t dx, int32_t dy,
                        int32_t w, int32_t h, int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH, uint32_t flags,
                        cxBitmap *mask, cxBitmap *alpha, const cxClipRegion *region) {
    // The display is held here for this call only: the current display
    // itself is never switched to the fallback, so nothing needs undoing.
    cxDisplay *d = g_hooks.currentDisplay ? g_hooks.currentDisplay() : nullptr;
    if (!d) {
        if (target && (flags & CX_SAFEBLT_OWNTARGET) && g_hooks.fallbackDisplay) d = g_hooks.fallbackDisplay();
        if (!d) {
            PrintMessage("ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
            return;
        }
        flags |= CX_SAFEBLT_NOSPRITES;
    }
    if (!src || sx < 0 || sy < 0) return;
    if (!(flags & CX_SAFEBLT_CLIPPED)) {
        if (!ClipBlitRect(region, &sx, &sy, &dx, &dy, &w, &h, srcW, srcH, dstW, dstH, !(flags & CX_SAFEBLT_NOREGION)))
            return;
    } else if (w < 1 || h < 1) {
        return;
    }

    if (d->directDraw && (flags & CX_SAFEBLT_DIRECT)) {
        if (g_hooks.refreshDirect) {
            const bool clipped = flags & CX_SAFEBLT_CLIPPED;
            g_hooks.refreshDirect(src, sx, sy, d, dx, dy, w, h, flags, clipped ? nullptr : mask, alpha,
                                  clipped ? mask : nullptr);
        }
        return;
    }

    if (!(flags & CX_SAFEBLT_NOSPRITES) && d->bgpic && g_hooks.spriteOverlaps &&
        g_hooks.spriteOverlaps(d->bgpic, dx, dy, w, h)) {
        cxBitmap *first = Back(d, 0), *second = Back(d, 1);
        int32_t bw = dstW, bh = dstH;
        if (g_hooks.bgpicSize) g_hooks.bgpicSize(d->bgpic, &bw, &bh);
        if (first && second) {
            if (flags & CX_SAFEBLT_FIRSTBACK) {
                SafeBlt(L, src, sx, sy, first, dx, dy, w, h, srcW, srcH, bw, bh, CX_SAFEBLT_NOSPRITES, mask, alpha,
                        region);
                Redraw(L, d, second, dx, dy, w, h, 0);
            } else {
                Redraw(L, d, second, dx, dy, w, h, 1);
                SafeBlt(L, src, sx, sy, second, dx, dy, w, h, srcW, srcH, bw, bh, CX_SAFEBLT_NOSPRITES, mask, alpha,
                        region);
                Redraw(L, d, second, dx, dy, w, h, 2);
            }
            if (!(flags & CX_SAFEBLT_NOREFRESH))
                SafeBlt(L, second, dx, dy, target, dx, dy, w, h, bw, bh, dstW, dstH,
                        CX_SAFEBLT_NOREGION | CX_SAFEBLT_NOSPRITES, nullptr, nullptr, nullptr);
            return;
        }
    }

    // A shaped clip region cuts the mask or alpha channel for this call.
    cxBitmap *shape = nullptr;
    int owned = 0;
    if (region && !(flags & CX_SAFEBLT_NOREGION) && region->shape) {
        int isAlpha = 0;
        if (MakeClipShape(region, src, mask, alpha, sx, sy, dx, dy, w, h, &shape, &owned, &isAlpha)) return;
        if (isAlpha) alpha = shape;
        else mask = shape;
    }

    bool drewTarget = false;
    cxBitmap *shown = nullptr; // a back bitmap the window shows, drawn into
    if (target) {
        DrawInto(d, src, sx, sy, target, dx, dy, w, h, mask, alpha, flags);
        drewTarget = true;
    } else if (d->targetKind == CX_OUTPUT_DISPLAY) {
        if (((flags & CX_SAFEBLT_FIRSTBACK) && d->layersOn != 1) || (flags & CX_SAFEBLT_ALWAYSBACK)) {
            target = Back(d, 0);
            if (target) {
                DrawInto(d, src, sx, sy, target, dx, dy, w, h, mask, alpha, flags);
                drewTarget = true;
                shown = target;
            }
        } else if (d->layersOn == 1 && (flags & CX_SAFEBLT_LAYERS)) {
            cxBitmap *second = Back(d, 1);
            Redraw(L, d, second, dx, dy, w, h, 0);
            if (!(flags & CX_SAFEBLT_NOREFRESH)) Refresh(second, dx, dy, d, dx, dy, w, h, 1);
        } else if (!mask && !alpha) {
            const bool backSource = src == Back(d, 0) || src == Back(d, 1);
            if (!(flags & CX_SAFEBLT_NOREFRESH)) Refresh(src, sx, sy, d, dx, dy, w, h, backSource && Mirrors(d) ? 1 : 0);
        }
    } else if ((flags & CX_SAFEBLT_OWNTARGET) && d->targetKind != CX_OUTPUT_MASK && d->targetKind != CX_OUTPUT_ALPHA) {
        // A selected mask or alpha channel has no colour bitmap: it is fed
        // below.
        FreeClipShape(shape, owned);
        return;
    }

    if (!(flags & CX_SAFEBLT_OWNTARGET) && drewTarget && Mirrors(d) && target == Back(d, 0) && Back(d, 1))
        DrawInto(d, src, sx, sy, Back(d, 1), dx, dy, w, h, mask, alpha, flags);
    if (!((flags & CX_SAFEBLT_OWNTARGET) && drewTarget)) FeedOutputs(d, sx, sy, dx, dy, w, h, mask, alpha, drewTarget);
    if (shown && !(flags & CX_SAFEBLT_NOREFRESH))
        Refresh(Mirrors(d) && Back(d, 1) ? Back(d, 1) : shown, dx, dy, d, dx, dy, w, h, 1);
    FreeClipShape(shape, owned);
}
