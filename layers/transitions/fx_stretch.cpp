// Stretch and zoom: the new picture, scaled, grows out of an edge, the
// middle line or an anchor point until it fills the area (55-69; hiding
// shrinks it away); ZOOMIN shrinks the old picture to the centre over a
// colour and grows the new one out of it, ZOOMOUT zooms into the centre
// of the old picture and back out of the new one (118, 119).
//
// The scaled picture goes into scratch bitmaps made once at the set-up, so
// that no step allocates; a failed scale is returned by the step, which
// then neither draws nor counts.
#include <algorithm>
#include <cstdint>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/effects/transition_kernels.h"
#include "graphics/scale/scaler.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunFrames;

struct StretchState {
    cxBitmap *pic, *mask, *alpha;  // the scaled picture, W x H at most
};

StretchState *State(cxEffectInstance *fx) { return static_cast<StretchState *>(fx->state); }

// The transparency of the whole source scaled to w x h at (0, 0).
int ScaleChannel(const cxBitmap *src, cxBitmap *dst, int32_t sw, int32_t sh, int32_t w, int32_t h, bool isMask) {
    if (EnsureScaleTables(w, h)) return ERR_MEM;
    cxOsBitmapLock s{}, d{};
    int err = ERR_LOCKBMAP;
    if (LockBitmap(src, CX_LOCK_SOURCE, &s) && s.pixels && LockBitmap(dst, 0, &d) && d.pixels) {
        cxScaleJob job{};
        job.srcWidth = sw, job.srcHeight = sh, job.dstWidth = w, job.dstHeight = h;
        GetScaleTables(&job.xTable, &job.yTable);
        if (isMask) {
            job.srcMask = s.pixels, job.dstMask = d.pixels;
            job.srcMaskRowLength = int32_t(s.rowLength), job.dstMaskRowLength = int32_t(d.rowLength);
            ScaleMaskBits(&job);
        } else {
            job.srcAlpha = s.pixels, job.dstAlpha = d.pixels;
            job.srcAlphaRowLength = int32_t(s.rowLength), job.dstAlphaRowLength = int32_t(d.rowLength);
            ScaleAlphaNearest(&job);
        }
        err = 0;
    }
    UnlockBitmap(&d);
    UnlockBitmap(&s);
    return err;
}

int InitScratch(cxEffectInstance *fx, bool channels) {
    auto *s = static_cast<StretchState *>(AllocEffectState(fx, sizeof(StretchState)));
    if (!s) return ERR_MEM;
    fx->steps = 1;
    if (fx->width < 1 || fx->height < 1) return 0;
    if (!(s->pic = AllocBitmap(fx->width, fx->height, 0, 0))) return ERR_BITMAP;
    if (channels && fx->newMask && !(s->mask = AllocMask(s->pic, fx->width, fx->height, 1, nullptr, 0)))
        return ERR_ALLOCMASK;
    if (channels && fx->newAlpha && !(s->alpha = AllocAlphaChannel(fx->width, fx->height, 1, nullptr, 0)))
        return ERR_ALLOCALPHA;
    if (EnsureScaleTables(fx->width, fx->height)) return ERR_MEM;
    return 0;
}

// Anchors per axis: 0 start, 1 middle, 2 end.
void AnchorOf(int32_t effect, int *ax, int *ay) {
    static const int kZoom[9][2] = {{1, 1}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}};
    switch (effect) {
    case 55: *ax = 0, *ay = 0; return;
    case 56: *ax = 2, *ay = 0; return;
    case 57: *ax = 0, *ay = 0; return;
    case 58: *ax = 0, *ay = 2; return;
    case 59: *ax = 0, *ay = 1; return;
    case 60: *ax = 1, *ay = 0; return;
    default: *ax = kZoom[std::clamp(effect - 61, 0, 8)][0], *ay = kZoom[std::clamp(effect - 61, 0, 8)][1]; return;
    }
}

int32_t Place(int anchor, int32_t room, int32_t size) {
    return anchor == 0 ? 0 : anchor == 2 ? room - size : (room - size) / 2;
}

int32_t StretchDistance(const cxEffectInstance *fx) {
    switch (fx->effect) {
    case 55:
    case 56:
    case 60: return fx->width;
    case 57:
    case 58:
    case 59: return fx->height;
    default: return std::max(fx->width, fx->height);
    }
}

}  // namespace

extern "C" void CleanupStretch(cxEffectInstance *fx, int) {
    if (StretchState *s = State(fx)) {
        FreeEffectBitmap(&s->pic);
        FreeEffectBitmap(&s->mask);
        FreeEffectBitmap(&s->alpha);
    }
}

extern "C" int StepStretch(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (int err = InitScratch(fx, true)) return err;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t D = StretchDistance(fx);
        fx->speed = SpeedToStep(fx->speed, D, 30, 10, 80);
        fx->steps = EffectStepCount(D - fx->speed, fx->speed, 0);
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        StretchState *s = State(fx);
        const int32_t D = StretchDistance(fx);
        const bool last = k >= fx->steps - 1;
        const int64_t g = last ? D : k < 0 ? 0 : std::min<int64_t>((int64_t(k) + 1) * fx->speed, D);
        const int64_t size = fx->reverse ? D - g : g;
        int32_t w = W, h = H;
        if (fx->effect <= 58 || fx->effect == 60) {
            if (fx->effect == 55 || fx->effect == 56 || fx->effect == 60) w = int32_t(size);
            else h = int32_t(size);
        } else if (fx->effect == 59) {
            h = int32_t(size);
        } else if (size >= D) {
            w = W, h = H;
        } else {
            const double r = double(std::min(W, H)) / std::max(W, H);
            const int32_t shortSide = size > 0 ? std::max(int32_t(double(size) * r), 1) : 0;
            w = W < H ? shortSide : int32_t(size);
            h = W < H ? int32_t(size) : shortSide;
        }
        int ax, ay;
        AnchorOf(fx->effect, &ax, &ay);
        const int32_t x = Place(ax, W, w), y = Place(ay, H, h);
        if (w > 0 && h > 0) {
            if (int err = ScaleBitmapInto(fx->newImage, 0, 0, W, H, s->pic, 0, 0, w, h, 0)) return err;
            if (s->mask) {
                if (int err = ScaleChannel(fx->newMask, s->mask, W, H, w, h, true)) return err;
            } else if (s->alpha) {
                if (int err = ScaleChannel(fx->newAlpha, s->alpha, W, H, w, h, false)) return err;
            }
        }
        // What the scaled picture leaves: the old picture, or nothing.
        if (fx->layerMode) ComposeEffectRect(fx, 0, 0, W, H, CX_FXDRAW_CLEAR);
        else if (fx->oldImage) DrawEffectBitmap(fx, fx->oldImage, 0, 0, 0, 0, W, H);
        if (w > 0 && h > 0) DrawEffectPicture(fx, s->pic, s->mask, s->alpha, 0, 0, x, y, w, h);
        return 0;
    });
}

extern "C" int StepZoomInOut(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (int err = InitScratch(fx, false)) return err;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t L = std::max(fx->width, fx->height);
        fx->speed = SpeedToStep(fx->speed, L, 60, 30, 120);
        fx->steps = EffectStepCount(int32_t(std::min<int64_t>(2 * int64_t(L) - fx->speed, INT32_MAX)), fx->speed, 0);
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        StretchState *s = State(fx);
        const cxBitmap *oldPic = fx->oldImage ? fx->oldImage : fx->newImage;
        if (k < 0 || k >= fx->steps - 1) {
            DrawEffectBitmap(fx, k < 0 ? oldPic : fx->newImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        const int64_t L = std::max(W, H);
        const int64_t p = std::min((int64_t(k) + 1) * fx->speed, 2 * L);
        const int64_t longSide = std::max<int64_t>(p <= L ? L - p : p - L, 1);
        const double r = double(std::min(W, H)) / double(L);
        const int64_t shortSide = std::max<int64_t>(int64_t(1.0 + double(longSide) * r), 1);
        const int32_t w = int32_t(std::min<int64_t>(W >= H ? longSide : shortSide, W));
        const int32_t h = int32_t(std::min<int64_t>(W >= H ? shortSide : longSide, H));
        const int32_t x = (W - w) / 2, y = (H - h) / 2;
        const cxBitmap *pic = p <= L ? oldPic : fx->newImage;
        if (fx->effect == 118) {
            const uint32_t colour = fx->parameter < 0 ? 0u : uint32_t(fx->parameter) & 0xFFFFFFu;
            if (int err = ScaleBitmapInto(pic, 0, 0, W, H, s->pic, 0, 0, w, h, 0)) return err;
            FillEffectRect(fx, 0, 0, W, y, colour);
            FillEffectRect(fx, 0, y + h, W, H - y - h, colour);
            FillEffectRect(fx, 0, y, x, h, colour);
            FillEffectRect(fx, x + w, y, W - x - w, h, colour);
            DrawEffectBitmap(fx, s->pic, 0, 0, x, y, w, h);
        } else {
            if (int err = ScaleBitmapInto(pic, x, y, w, h, s->pic, 0, 0, W, H, 0)) return err;
            DrawEffectBitmap(fx, s->pic, 0, 0, 0, 0, W, H);
        }
        return 0;
    });
}
