// Effects that change every pixel at every step: CROSSFADE, FADE and BLEND
// (through a colour), WATER1-4 (a ripple that calms down), STRUDEL (a
// swirl that untwists), DISSOLVE (pixels in a random order) and
// PIXELZOOM1-2 (blocks that shrink). Each draws whole frames: frame k is
// the state after step k, so a step and a redraw of the same counter give
// the same picture. Hiding on a layer runs the showing sequence backwards.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/transition_kernels.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunFrames;

constexpr double kPi = 3.14159265358979323846;

struct BlendState {
    cxBitmap *work;       // a frame that cannot go straight to the target
    cxBitmap *work2, *work2Alpha;
    cxBitmap *baseAlpha;  // direct mode: the new picture's transparency
    cxBitmap *mask;       // DISSOLVE: the pixels shown
    uint8_t *thresholds;  // DISSOLVE
    cxRingTable rings;    // WATER, STRUDEL
    uint32_t colour;      // FADE, BLEND
};

BlendState *State(cxEffectInstance *fx) { return static_cast<BlendState *>(fx->state); }

// Where a whole frame goes: the target itself, or the work bitmap.
struct Out {
    cxBitmap *bitmap;
    int32_t x, y;
    bool viaWork;
};

int FrameOut(cxEffectInstance *fx, Out *out) {
    cxBitmap *t = nullptr;
    int32_t x = 0, y = 0;
    if (GetWholeEffectTarget(fx, &t, &x, &y)) {
        *out = {t, x, y, false};
        return 0;
    }
    BlendState *s = State(fx);
    if (!s->work && !(s->work = AllocBitmap(fx->width, fx->height, 0, 0))) return ERR_BITMAP;
    *out = {s->work, 0, 0, true};
    return 0;
}

void Commit(cxEffectInstance *fx, const Out &o) {
    if (o.viaWork) DrawEffectBitmap(fx, o.bitmap, 0, 0, 0, 0, fx->width, fx->height);
    else MarkEffectRect(fx, 0, 0, fx->width, fx->height);
}

// Direct mode: the old picture (or the new one) as the whole frame.
int ShowWhole(cxEffectInstance *fx, const cxBitmap *picture) {
    if (!picture) return 0;
    DrawEffectBitmap(fx, picture, 0, 0, 0, 0, fx->width, fx->height);
    return 0;
}

// Layer mode: the canvas shows the new picture at a level.
void CanvasAtLevel(cxEffectInstance *fx, int32_t level, bool restorePixels) {
    if (restorePixels) BltBitmap(fx->newImage, 0, 0, fx->canvas, 0, 0, fx->width, fx->height);
    SetEffectCanvasLevel(fx, level);
}

// The common set-up: the state block and, for an empty picture, one step.
BlendState *Begin(cxEffectInstance *fx, int *err) {
    *err = 0;
    auto *s = static_cast<BlendState *>(AllocEffectState(fx, sizeof(BlendState)));
    if (!s) *err = ERR_MEM;
    return s;
}

bool Empty(const cxEffectInstance *fx) { return fx->width < 1 || fx->height < 1; }

// The new picture's transparency as an alpha channel (direct mode, for
// the families that keep it).
int MakeBaseAlpha(cxEffectInstance *fx, BlendState *s) {
    if (!fx->newMask && !fx->newAlpha) return 0;
    s->baseAlpha = AllocAlphaChannel(fx->width, fx->height, 1, nullptr, 0);
    if (!s->baseAlpha) return ERR_ALLOCALPHA;
    if (fx->newAlpha) BltAlphaToAlphaClipped(fx->newAlpha, 0, 0, s->baseAlpha, 0, 0, fx->width, fx->height, 0, 0);
    else MaskToAlphaChannel(fx->newMask, s->baseAlpha, fx->width, fx->height, 255);
    return 0;
}

}  // namespace

extern "C" void CleanupBlend(cxEffectInstance *fx, int) {
    BlendState *s = State(fx);
    if (!s) return;
    FreeEffectBitmap(&s->work);
    FreeEffectBitmap(&s->work2);
    FreeEffectBitmap(&s->work2Alpha);
    FreeEffectBitmap(&s->baseAlpha);
    FreeEffectBitmap(&s->mask);
    free(s->thresholds);
    s->thresholds = nullptr;
    FreeRippleTables(&s->rings);
}

// ---- CROSSFADE ----

extern "C" int StepCrossfade(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        if (!Begin(fx, &err)) return err;
        int32_t sp = fx->speed;
        if (sp < 1) sp = 10;
        if (sp > 120) sp = 120;
        fx->speed = sp;
        fx->steps = Empty(fx) ? 1 : (255 + sp - 1) / sp;
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        if (Empty(fx)) return 0;
        const int32_t level = k < 0 ? 0 : int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, 255));
        fx->fadeLevel = fx->reverse ? 255 - level : level;
        if (fx->layerMode) {
            SetEffectCanvasLevel(fx, fx->reverse ? 255 - level : level);
            return 0;
        }
        if (!fx->oldImage) return ShowWhole(fx, fx->newImage);
        Out o;
        if (int err = FrameOut(fx, &o)) return err;
        if (int err = CrossfadeBitmaps(fx->oldImage, 0, 0, fx->newImage, 0, 0, o.bitmap, o.x, o.y, fx->width,
                                       fx->height, level))
            return err;
        Commit(fx, o);
        return 0;
    });
}

// ---- FADE and BLEND ----

namespace {

// The phase t of frame k; the state before the first step is t = -1.
int64_t FadePhase(const cxEffectInstance *fx, int32_t k) { return k < 0 ? -1 : int64_t(k) * fx->speed; }

int32_t FadeLevel(int64_t t) {
    if (t < 0 || t >= 511) return 0;
    return t < 256 ? int32_t(t) : int32_t(511 - t);
}

int FadeFrame(cxEffectInstance *fx, int32_t k) {
    BlendState *s = State(fx);
    const bool fade = fx->effect == 116;
    const int64_t t = FadePhase(fx, k);
    const bool last = t >= 511, firstHalf = t <= 255;
    const int32_t level = FadeLevel(t);
    const int32_t progress = t < 0 ? 0 : int32_t(std::min<int64_t>(t, 511) * 255 / 511);
    fx->fadeLevel = fx->reverse ? 255 - progress : progress;
    const int32_t W = fx->width, H = fx->height;
    if (fx->layerMode) {
        if (!fx->reverse) {
            if (t < 0) return SetEffectCanvasLevel(fx, 0), 0;
            if (last) return CanvasAtLevel(fx, 255, true), 0;
            if (fade && firstHalf) {
                FillRect(fx->canvas, 0, 0, W, H, s->colour);
                SetEffectCanvasLevel(fx, level);
                return 0;
            }
            if (int err = FadeBitmapToColour(fx->newImage, 0, 0, fx->canvas, 0, 0, W, H, s->colour, level)) return err;
            SetEffectCanvasLevel(fx, 255);
            return 0;
        }
        if (t < 0) return CanvasAtLevel(fx, 255, true), 0;
        if (last) return SetEffectCanvasLevel(fx, 0), 0;
        if (firstHalf) {
            if (int err = FadeBitmapToColour(fx->newImage, 0, 0, fx->canvas, 0, 0, W, H, s->colour, level)) return err;
            SetEffectCanvasLevel(fx, 255);
            return 0;
        }
        FillRect(fx->canvas, 0, 0, W, H, s->colour);
        SetEffectCanvasLevel(fx, level);
        return 0;
    }
    if (t < 0) return ShowWhole(fx, fx->oldImage);
    const cxBitmap *source = (fade && firstHalf && !last && fx->oldImage) ? fx->oldImage : fx->newImage;
    Out o;
    if (int err = FrameOut(fx, &o)) return err;
    if (!fx->newMask && !fx->newAlpha) {
        if (int err = FadeBitmapToColour(source, 0, 0, o.bitmap, o.x, o.y, W, H, s->colour, level)) return err;
    } else {
        // The faded picture goes over the old one through the new
        // picture's mask or alpha channel.
        if (!s->work2 && !(s->work2 = AllocBitmap(W, H, 0, 0))) return ERR_BITMAP;
        if (int err = FadeBitmapToColour(source, 0, 0, s->work2, 0, 0, W, H, s->colour, level)) return err;
        if (fx->oldImage) BltBitmap(fx->oldImage, 0, 0, o.bitmap, o.x, o.y, W, H);
        if (fx->newMask) BltBitmapMask(s->work2, 0, 0, o.bitmap, o.x, o.y, W, H, fx->newMask);
        else BltBitmapAlpha(s->work2, 0, 0, o.bitmap, o.x, o.y, W, H, fx->newAlpha);
    }
    Commit(fx, o);
    return 0;
}

}  // namespace

extern "C" int StepFade(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        BlendState *s = Begin(fx, &err);
        if (!s) return err;
        int32_t sp = fx->speed;
        if (sp < 1) sp = 10;
        if (sp > 255) sp = 255;
        fx->speed = sp;
        s->colour = fx->parameter == CX_FX_RANDOMPARAMETER ? uint32_t(rand()) % 0x1000000u
                                                           : uint32_t(fx->parameter) & 0xFFFFFFu;
        // t runs 0, sp, 2 sp ... and the step at 511 or beyond is the last.
        fx->steps = Empty(fx) ? 1 : (511 + sp - 1) / sp + 1;
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) { return Empty(fx) ? 0 : FadeFrame(fx, k); });
}

// ---- WATER and STRUDEL ----

namespace {

// Distortion frames: c runs 0 (nothing shown) to full (the new picture).
template <class Kernel>
int DistortFrame(cxEffectInstance *fx, int32_t c, int32_t full, Kernel &&kernel) {
    c = std::clamp(c, 0, full);
    const int32_t shown = fx->reverse && fx->layerMode ? full - c : c;
    const int32_t level = int32_t(int64_t(shown) * 255 / std::max(full, 1));
    fx->fadeLevel = level;
    if (fx->layerMode) {
        if (shown <= 0) return SetEffectCanvasLevel(fx, 0), 0;
        if (shown >= full) return CanvasAtLevel(fx, 255, true), 0;
        if (int err = kernel(shown, level, nullptr, fx->canvas, 0, 0, fx->canvasAlpha)) return err;
        MarkEffectRect(fx, 0, 0, fx->width, fx->height);
        return 0;
    }
    if (c <= 0) return ShowWhole(fx, fx->oldImage);
    if (c >= full || !fx->oldImage) return ShowWhole(fx, fx->newImage);
    Out o;
    if (int err = FrameOut(fx, &o)) return err;
    if (int err = kernel(c, level, fx->oldImage, o.bitmap, o.x, o.y, nullptr)) return err;
    Commit(fx, o);
    return 0;
}

}  // namespace

extern "C" int StepWater(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        BlendState *s = Begin(fx, &err);
        if (!s) return err;
        int32_t sp = fx->speed;
        switch (sp) {
        case CX_SPEED_FAST: sp = 10; break;
        case CX_SPEED_NORMAL:
        case CX_SPEED_DEFAULT: sp = 25; break;
        case CX_SPEED_SLOW: sp = 50; break;
        default: sp = std::clamp(sp, 5, 100); break;
        }
        fx->speed = sp;
        fx->steps = Empty(fx) ? 1 : 2 * sp;
        if (!Empty(fx)) return InitRippleTables(&s->rings, fx->width, fx->height);
        return 0;
    }
    static const double kWaveLengths[4] = {32.0, 64.0, 16.0, 8.0};
    const double wave = kWaveLengths[std::clamp(fx->effect - 134, 0, 3)];
    return RunFrames(fx, done, [fx, wave](int32_t k, bool) -> int {
        if (Empty(fx)) return 0;
        BlendState *s = State(fx);
        const int32_t full = 2 * fx->speed;
        const double radius = std::max(1.0, std::min(fx->width, fx->height) / 2.0);
        return DistortFrame(fx, k + 1, full,
                            [&](int32_t c, int32_t level, const cxBitmap *old, cxBitmap *out, int32_t ox, int32_t oy,
                                cxBitmap *outAlpha) {
                                const double calm = 1.0 - double(c) / full;
                                return RipplePixels(&s->rings, fx->newImage, fx->canvasBase, old, out, ox, oy,
                                                    outAlpha, wave, 0.1 * radius * calm, c * kPi / 4.0, level);
                            });
    });
}

extern "C" int StepStrudel(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        BlendState *s = Begin(fx, &err);
        if (!s) return err;
        int32_t sp = fx->speed;
        switch (sp) {
        case CX_SPEED_FAST: sp = 16; break;
        case CX_SPEED_NORMAL:
        case CX_SPEED_DEFAULT: sp = 8; break;
        case CX_SPEED_SLOW: sp = 4; break;
        default: sp = std::clamp(sp, 2, 16); break;
        }
        fx->speed = sp;
        fx->steps = Empty(fx) ? 1 : (720 + sp - 1) / sp;
        if (!Empty(fx)) return InitRippleTables(&s->rings, fx->width, fx->height);
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        if (Empty(fx)) return 0;
        BlendState *s = State(fx);
        const int32_t angle = k < 0 ? 0 : int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, 720));
        return DistortFrame(fx, angle, 720,
                            [&](int32_t a, int32_t level, const cxBitmap *old, cxBitmap *out, int32_t ox, int32_t oy,
                                cxBitmap *outAlpha) {
                                return SwirlPixels(&s->rings, fx->newImage, fx->canvasBase, old, out, ox, oy, outAlpha,
                                                   (720.0 - a) / 2.0, level);
                            });
    });
}

// ---- DISSOLVE ----

extern "C" int StepDissolve(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        BlendState *s = Begin(fx, &err);
        if (!s) return err;
        int32_t sp = fx->speed;
        switch (sp) {
        case CX_SPEED_FAST: sp = 8; break;
        case CX_SPEED_NORMAL:
        case CX_SPEED_DEFAULT: sp = 4; break;
        case CX_SPEED_SLOW: sp = 2; break;
        default: sp = std::clamp(sp, 1, 8); break;
        }
        fx->speed = sp;
        fx->steps = Empty(fx) ? 1 : (256 + sp - 1) / sp;
        if (Empty(fx)) return 0;
        const size_t n = size_t(fx->width) * size_t(fx->height);
        s->thresholds = static_cast<uint8_t *>(malloc(n));
        if (!s->thresholds) return ERR_MEM;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t r = uint32_t(rand());
            s->thresholds[i] = uint8_t((r + r / 255u) & 0xFFu);
        }
        if (!fx->layerMode) {
            s->mask = AllocMask(fx->newImage, fx->width, fx->height, 1, nullptr, 0);
            if (!s->mask) return ERR_ALLOCMASK;
        }
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool incremental) -> int {
        if (Empty(fx)) return 0;
        BlendState *s = State(fx);
        const int32_t level = k < 0 ? 0 : int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, 256));
        fx->fadeLevel = fx->reverse ? 255 - std::min(level, 255) : std::min(level, 255);
        if (fx->layerMode) {
            if (int err = DissolveChannel(s->thresholds, fx->width, fx->height, level, fx->reverse ? 1 : 0, nullptr,
                                          fx->canvasBase, nullptr, fx->canvasAlpha))
                return err;
            MarkEffectRect(fx, 0, 0, fx->width, fx->height);
            return 0;
        }
        // The shown set only grows: a step adds the pixels whose threshold
        // the level passed since the last one.
        if (!incremental) ShowWhole(fx, fx->oldImage);
        if (level >= 256) return ShowWhole(fx, fx->newImage);
        if (level <= 0) return 0;
        cxBitmap *t = nullptr;
        int32_t tx = 0, ty = 0;
        if (GetWholeEffectTarget(fx, &t, &tx, &ty)) {
            const int32_t from = incremental ? int32_t(std::min<int64_t>(int64_t(k) * fx->speed, 256)) : 0;
            if (int err = DissolvePixels(s->thresholds, fx->width, fx->height, from, level, fx->newImage, t, tx, ty))
                return err;
            MarkEffectRect(fx, 0, 0, fx->width, fx->height);
            return 0;
        }
        if (int err = DissolveChannel(s->thresholds, fx->width, fx->height, level, 0, nullptr, nullptr, s->mask,
                                      nullptr))
            return err;
        RevealEffectMask(fx, s->mask, 0, 0, fx->width, fx->height);
        return 0;
    });
}

// ---- PIXELZOOM1 and PIXELZOOM2 ----

extern "C" int StepPixelZoom(cxEffectInstance *fx, int *done) {
    const bool two = fx->effect == 133;
    if (fx->phase == CX_FXPHASE_INIT) {
        int err;
        BlendState *s = Begin(fx, &err);
        if (!s) return err;
        fx->steps = Empty(fx) ? 1 : two ? 49 : 25;
        if (!Empty(fx) && !fx->layerMode) return MakeBaseAlpha(fx, s);
        return 0;
    }
    return RunFrames(fx, done, [fx, two](int32_t k, bool) -> int {
        if (Empty(fx)) return 0;
        BlendState *s = State(fx);
        const int32_t W = fx->width, H = fx->height, last = fx->steps - 1;
        fx->fadeLevel = k < 0 ? 0 : int32_t(int64_t(k + 1) * 255 / fx->steps);
        if (fx->reverse && fx->layerMode) fx->fadeLevel = 255 - fx->fadeLevel;
        // Which picture a frame shows and with which block size (0: as it
        // is); -1 before the first step.
        bool showNew = true;
        int32_t block = 0;
        if (k >= 0) {
            if (two) {
                showNew = k >= 24;
                block = showNew ? 48 - k : k;
            } else {
                block = 24 - k;
            }
        }
        if (fx->layerMode) {
            if (fx->reverse) {
                // Hiding: the blocks grow, then the layer goes.
                if (k < 0) return CanvasAtLevel(fx, 255, true), 0;
                if (k >= last) return SetEffectCanvasLevel(fx, 0), 0;
                const int32_t b = two ? (k < 24 ? k + 1 : 0) : k + 1;
                if (two && k >= 24) return SetEffectCanvasLevel(fx, 0), 0;
                if (int err = PixelatePixels(fx->newImage, fx->canvasBase, fx->canvas, 0, 0, fx->canvasAlpha, W, H, b,
                                             255))
                    return err;
                MarkEffectRect(fx, 0, 0, W, H);
                return 0;
            }
            if (k < 0 || !showNew) return SetEffectCanvasLevel(fx, 0), 0;
            if (int err = PixelatePixels(fx->newImage, fx->canvasBase, fx->canvas, 0, 0, fx->canvasAlpha, W, H, block,
                                         255))
                return err;
            MarkEffectRect(fx, 0, 0, W, H);
            return 0;
        }
        if (k < 0) return ShowWhole(fx, fx->oldImage);
        if (!showNew) {
            if (!fx->oldImage) return 0;
            Out o;
            if (int err = FrameOut(fx, &o)) return err;
            if (int err = PixelatePixels(fx->oldImage, nullptr, o.bitmap, o.x, o.y, nullptr, W, H, block, 255))
                return err;
            Commit(fx, o);
            return 0;
        }
        Out o;
        if (int err = FrameOut(fx, &o)) return err;
        if (!s->baseAlpha) {
            if (int err = PixelatePixels(fx->newImage, nullptr, o.bitmap, o.x, o.y, nullptr, W, H, block, 255))
                return err;
        } else {
            // A picture with transparency: its blocks over the old picture.
            if (!s->work2 && !(s->work2 = AllocBitmap(W, H, 0, 0))) return ERR_BITMAP;
            if (!s->work2Alpha && !(s->work2Alpha = AllocAlphaChannel(W, H, 1, nullptr, 0))) return ERR_ALLOCALPHA;
            if (int err = PixelatePixels(fx->newImage, s->baseAlpha, s->work2, 0, 0, s->work2Alpha, W, H, block, 255))
                return err;
            if (fx->oldImage) BltBitmap(fx->oldImage, 0, 0, o.bitmap, o.x, o.y, W, H);
            BltBitmapAlpha(s->work2, 0, 0, o.bitmap, o.x, o.y, W, H, s->work2Alpha);
        }
        Commit(fx, o);
        return 0;
    });
}
