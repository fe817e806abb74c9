// Up and down, turn down: UPNDOWN uncovers eight columns in four passes,
// one band running down and one running up; the turn-down effects fold
// the old picture's near half over onto the far half while the new one's
// near half unfolds, both drawn scaled along the folding axis (colour
// only, unsmoothed).
#include <algorithm>
#include <cstdint>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/effects/transition_kernels.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::DoneFlag;
using cx::fx::RunFrames;

struct UpState {
    int32_t p, pass;
};

}  // namespace

extern "C" int StepUpNDown(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(UpState))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        fx->speed = std::clamp(SpeedToStep(fx->speed, std::max(fx->width, fx->height), 60, 30, 120), 1, 30);
        fx->steps = EffectStepCount(int32_t(std::min<int64_t>(4 * int64_t(fx->height), INT32_MAX)), fx->speed, 0);
        return 0;
    }
    return cx::fx::RunReveals(fx, done, [fx](int32_t k) {
        auto *s = static_cast<UpState *>(fx->state);
        if (k == 0) s->p = 0, s->pass = 0;
        const int32_t H = fx->height, sp = fx->speed, c = fx->width / 8 + 1;
        const int32_t pass = s->p / H, r = s->p % H;
        if (pass < 4) {
            static const int kDown[4] = {0, 3, 4, 7}, kUp[4] = {1, 2, 5, 6};
            const int32_t xd = kDown[pass] * c, xu = kUp[pass] * c;
            if (pass != s->pass) {
                s->pass = pass;
                RevealEffectRect(fx, xd, 0, c, sp + 2);
                RevealEffectRect(fx, xu, H - sp - 1, c, sp + 2);
            }
            RevealEffectRect(fx, xd, r, c, sp + 2);
            const int32_t u = std::max(H - r - sp, 1);
            RevealEffectRect(fx, xu, u - 1, c, sp + 2);
        }
        s->p = int32_t(std::min<int64_t>(int64_t(s->p) + sp, INT32_MAX));
    });
}

// ---- turn down ----

namespace {

struct TurnState {
    cxBitmap *work;  // the scaled band, drawn from here
};

// The lines [a, a + n) along the folding axis, from the starting edge.
struct Fold {
    const cxEffectInstance *fx;
    bool rows, mirrored;
    int32_t E;
    explicit Fold(const cxEffectInstance *f)
        : fx(f), rows(f->effect == 128 || f->effect == 129), mirrored(f->effect == 129 || f->effect == 131),
          E(rows ? f->height : f->width) {}
    void Rect(int32_t a, int32_t n, int32_t *x, int32_t *y, int32_t *w, int32_t *h) const {
        const int32_t at = mirrored ? E - a - n : a;
        if (rows) *x = 0, *y = at, *w = fx->width, *h = n;
        else *x = at, *y = 0, *w = n, *h = fx->height;
    }
};

// The source lines [sa, sa + sn) of pic scaled to the lines [da, da + dn).
int ScaleBand(cxEffectInstance *fx, const Fold &f, const cxBitmap *pic, int32_t sa, int32_t sn, int32_t da,
              int32_t dn) {
    if (sn < 1 || dn < 1) return 0;
    int32_t sx, sy, sw, sh, dx, dy, dw, dh;
    f.Rect(sa, sn, &sx, &sy, &sw, &sh);
    f.Rect(da, dn, &dx, &dy, &dw, &dh);
    cxBitmap *work = static_cast<TurnState *>(fx->state)->work;
    if (int err = ScaleBitmapInto(pic, sx, sy, sw, sh, work, 0, 0, dw, dh, 0)) return err;
    DrawEffectBitmap(fx, work, 0, 0, dx, dy, dw, dh);
    return 0;
}

}  // namespace

extern "C" void CleanupTurnDown(cxEffectInstance *fx, int) {
    if (auto *s = static_cast<TurnState *>(fx->state)) FreeEffectBitmap(&s->work);
}

extern "C" int StepTurnDown(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<TurnState *>(AllocEffectState(fx, sizeof(TurnState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const Fold f(fx);
        fx->speed = SpeedToStep(fx->speed, f.E, 60, 30, 120);
        fx->steps = EffectStepCount(f.E - fx->speed, fx->speed, 0);
        if (!(s->work = AllocBitmap(fx->width, fx->height, 0, 0))) return ERR_BITMAP;
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool incremental) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const cxBitmap *oldPic = fx->oldImage ? fx->oldImage : fx->newImage;
        const Fold f(fx);
        const int32_t E = f.E, h = E / 2, sp = fx->speed;
        if (k < 0) {
            DrawEffectBitmap(fx, oldPic, 0, 0, 0, 0, W, H);
            return 0;
        }
        if (k >= fx->steps - 1) {
            DrawEffectBitmap(fx, fx->newImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        const int64_t p = std::min<int64_t>((int64_t(k) + 1) * sp, E);
        int32_t x, y, w, hh;
        if (!incremental) {
            // A redraw shows what stepping there shows: the old picture,
            // and past the middle the new near half already turned.
            DrawEffectBitmap(fx, oldPic, 0, 0, 0, 0, W, H);
            if (p > h) {
                f.Rect(0, h, &x, &y, &w, &hh);
                DrawEffectBitmap(fx, fx->newImage, x, y, x, y, w, hh);
            }
        }
        if (p > h && k == 0 && incremental) {
            // A first step past the middle: the near half turns at once.
            f.Rect(0, h, &x, &y, &w, &hh);
            DrawEffectBitmap(fx, fx->newImage, x, y, x, y, w, hh);
        }
        if (p <= h) {
            const bool full = p + sp > h;
            const int32_t n = full ? h : int32_t(p), m = full ? 0 : h - int32_t(p);
            if (int err = ScaleBand(fx, f, fx->newImage, 0, h, 0, n)) return err;
            if (int err = ScaleBand(fx, f, oldPic, 0, h, n, m)) return err;
        } else {
            const int32_t d = int32_t(std::min<int64_t>(p - h, E - h));
            if (int err = ScaleBand(fx, f, fx->newImage, h, E - h, h, d)) return err;
        }
        return 0;
    });
}
