// Stripes, blinds, curtains, bars, quarters, reveals and lines (effects 0
// to 37): each step uncovers strips or single lines of the new picture at
// their own places, a few pixels further each time. Positions start again
// whenever a step runs with the counter at 0. Every step size and divisor
// is at least 1, so that pictures of one row or column end on the new
// picture too.
#include <algorithm>
#include <cstdlib>

#include "errors/error_codes.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::DoneFlag;

struct BandState {
    int32_t size;     // stripe or blind size
    int32_t pos, pos2; // positions (edges, lines)
};

int32_t Cap(int32_t sp, int32_t cap) { return std::max(1, std::min(sp, std::max(cap, 1))); }

// The head every band family shares. Returns true when the caller should
// go on drawing a step (phase 1); *result is what to return otherwise.
template <class Init>
bool Begin(cxEffectInstance *fx, int *result, Init &&init) {
    *result = 0;
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<BandState *>(AllocEffectState(fx, sizeof(BandState)));
        if (!s) {
            *result = ERR_MEM;
            return false;
        }
        if (fx->width < 1 || fx->height < 1) {
            fx->steps = 1;  // nothing to uncover: done at once
            return false;
        }
        init(s);
        return false;
    }
    if (fx->phase != CX_FXPHASE_STEP || !fx->state) return false;
    return true;
}

BandState *State(cxEffectInstance *fx) { return static_cast<BandState *>(fx->state); }

// Steps of an empty rectangle: done at once.
bool Empty(cxEffectInstance *fx, int *done) {
    if (fx->width >= 1 && fx->height >= 1) return false;
    *done = 1;
    ++fx->counter;
    return true;
}

void Finish(cxEffectInstance *fx, int *done, bool last) {
    if (last) *done = 1;
    ++fx->counter;
}

// Stripe size of effects first..first+6 on an extent (the other side's).
int32_t StripeSize(const cxEffectInstance *fx, int32_t first, int32_t extent) {
    const int32_t k = fx->effect - first;
    if (k >= 1 && k <= 6) return 1 << k;
    int32_t s = fx->parameter;
    if (s == CX_FX_RANDOMPARAMETER) {
        const int32_t r1 = rand(), r2 = rand();
        const int32_t q = std::max(1, extent / (2 + r2 % 8));
        s = r1 % q;
    }
    return std::max(s, 1);
}

}  // namespace

// ---- stripes ----

extern "C" int StepStripesH(cxEffectInstance *fx, int *done) {
    int r;
    if (!Begin(fx, &r, [&](BandState *s) {
            const int32_t w = fx->width;
            s->size = StripeSize(fx, 0, w);
            fx->speed = Cap(SpeedToStep(fx->speed, w, 70, 30, 200), w - 1);
            fx->steps = EffectStepCount(w - fx->speed, fx->speed, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t w = fx->width, h = fx->height, sp = fx->speed, sz = s->size;
    int32_t p = fx->counter == 0 ? 0 : s->pos;
    const bool last = w - sp <= p;
    if (last) p = w - sp;
    for (int64_t y0 = 0; y0 < h; y0 += 2 * int64_t(sz)) {
        RevealEffectRect(fx, p, int32_t(y0), sp, sz);
        if (y0 + sz < h) RevealEffectRect(fx, w - p - sp, int32_t(y0 + sz), sp, sz);
    }
    s->pos = p + sp;
    Finish(fx, done, last);
    return 0;
}

extern "C" int StepStripesV(cxEffectInstance *fx, int *done) {
    int r;
    if (!Begin(fx, &r, [&](BandState *s) {
            const int32_t h = fx->height;
            s->size = StripeSize(fx, 7, h);
            fx->speed = Cap(SpeedToStep(fx->speed, h, 70, 30, 200), h - 1);
            fx->steps = EffectStepCount(h - fx->speed, fx->speed, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t w = fx->width, h = fx->height, sp = fx->speed, sz = s->size;
    int32_t p = fx->counter == 0 ? 0 : s->pos;
    const bool last = h - sp <= p;
    if (last) p = h - sp;
    for (int64_t x0 = 0; x0 < w; x0 += 2 * int64_t(sz)) {
        RevealEffectRect(fx, int32_t(x0), p, sz, sp);
        if (x0 + sz < w) RevealEffectRect(fx, int32_t(x0 + sz), h - p - sp, sz, sp);
    }
    s->pos = p + sp;
    Finish(fx, done, last);
    return 0;
}

// ---- blinds ----

namespace {

int Blinds(cxEffectInstance *fx, int *done, int32_t first, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *s) {
            s->size = 8 << std::clamp(fx->effect - first, 0, 4);
            fx->speed = Cap(SpeedToStep(fx->speed, s->size, 8, 3, 20), s->size / 2);
            fx->steps = EffectStepCount(s->size - fx->speed, fx->speed, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t b = s->size, sp = fx->speed, extent = rows ? fx->height : fx->width;
    int32_t p = fx->counter == 0 ? sp : s->pos;
    const bool last = b <= p;
    if (last) p = b;
    const int32_t n = extent / b;
    for (int32_t i = 0; i <= n; ++i) {
        const int64_t at = int64_t(i) * b + p - sp;
        if (at >= extent) break;
        if (rows) RevealEffectRect(fx, 0, int32_t(at), fx->width, sp);
        else RevealEffectRect(fx, int32_t(at), 0, sp, fx->height);
    }
    s->pos = p + sp;
    Finish(fx, done, last);
    return 0;
}

}  // namespace

extern "C" int StepBlindsH(cxEffectInstance *fx, int *done) { return Blinds(fx, done, 14, true); }
extern "C" int StepBlindsV(cxEffectInstance *fx, int *done) { return Blinds(fx, done, 19, false); }

// ---- curtains ----

namespace {

// Opening from the middle line outwards. extent is the axis walked.
int CurtainOpen(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            fx->speed = Cap(SpeedToStep(fx->speed, e, 140, 60, 320), e / 4);
            fx->steps = EffectStepCount((e - 1 - fx->speed) - (e / 2 - 1), fx->speed + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width, sp = fx->speed;
    int32_t lower = fx->counter == 0 ? e / 2 - 1 : s->pos;
    int32_t upper = fx->counter == 0 ? e / 2 : s->pos2;
    const bool last = lower >= e - 1 - sp;
    if (last) lower = e - 1 - sp;
    if (upper - sp < 0) upper = sp;
    if (rows) {
        RevealEffectRect(fx, 0, lower, fx->width, sp + 1);
        RevealEffectRect(fx, 0, upper - sp, fx->width, sp + 1);
    } else {
        RevealEffectRect(fx, lower, 0, sp + 1, fx->height);
        RevealEffectRect(fx, upper - sp, 0, sp + 1, fx->height);
    }
    s->pos = lower + sp + 1;
    s->pos2 = upper - (sp + 1);
    Finish(fx, done, last);
    return 0;
}

// Closing from both edges to the middle.
int CurtainClose(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            int32_t sp = SpeedToStep(fx->speed, e, 140, 60, 320);
            if (sp > e / 2) sp = 1;
            fx->speed = sp;
            fx->steps = EffectStepCount(e / 2, sp + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width, sp = fx->speed;
    int32_t top = fx->counter == 0 ? 0 : s->pos;
    const int32_t bottom = fx->counter == 0 ? e - 1 : s->pos2;
    const bool last = top >= e / 2;
    if (last) top = e / 2;
    if (rows) {
        RevealEffectRect(fx, 0, top, fx->width, sp + 1);
        RevealEffectRect(fx, 0, bottom - sp, fx->width, sp + 1);
    } else {
        RevealEffectRect(fx, top, 0, sp + 1, fx->height);
        RevealEffectRect(fx, bottom - sp, 0, sp + 1, fx->height);
    }
    s->pos = top + sp + 1;
    s->pos2 = bottom - (sp + 1);
    Finish(fx, done, last);
    return 0;
}

}  // namespace

extern "C" int StepCurtainOpenV(cxEffectInstance *fx, int *done) { return CurtainOpen(fx, done, false); }
extern "C" int StepCurtainCloseV(cxEffectInstance *fx, int *done) { return CurtainClose(fx, done, false); }
extern "C" int StepCurtainOpenH(cxEffectInstance *fx, int *done) { return CurtainOpen(fx, done, true); }
extern "C" int StepCurtainCloseH(cxEffectInstance *fx, int *done) { return CurtainClose(fx, done, true); }

// ---- bars ----

extern "C" int StepBars(cxEffectInstance *fx, int *done) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            // The counter grows by sp + 1, so sp may be 0 here: SLOWSPEED
            // (16 / 40) moves one column a step.
            int32_t sp = fx->speed;
            switch (sp) {
            case CX_SPEED_NORMAL:
            case CX_SPEED_DEFAULT: sp = 16 / 16; break;
            case CX_SPEED_FAST: sp = 16 / 8; break;
            case CX_SPEED_SLOW: sp = 16 / 40; break;
            default: break;
            }
            fx->speed = std::clamp(sp, 0, 8);
            fx->steps = EffectStepCount(23, fx->speed + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t w = fx->width, h = fx->height;
    int32_t c = fx->counter == 0 ? 0 : s->pos;
    const bool last = c > 22;
    if (last) c = 23;
    if (c < 9) {
        // Columns: the first c + 1 of every 16-column block; the columns
        // right of the last whole block at once.
        for (int32_t b = 0; b < w / 16; ++b) RevealEffectRect(fx, b * 16, 0, c + 1, h);
        if (w % 16) RevealEffectRect(fx, 16 * (w / 16), 0, w % 16, h);
    } else {
        for (int32_t b = 0; b < h / 16; ++b) RevealEffectRect(fx, 0, b * 16, w, c - 7);
        if (h % 16) RevealEffectRect(fx, 0, 16 * (h / 16), w, h % 16);
    }
    s->pos = c + fx->speed + 1;
    Finish(fx, done, last);
    return 0;
}

// ---- quarters ----

extern "C" int StepQuarters(cxEffectInstance *fx, int *done) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t h = fx->height, my = h / 2;
            fx->speed = Cap(SpeedToStep(fx->speed, fx->width, 70, 30, 200), h / 4);
            fx->steps = EffectStepCount((h - 1 - my) - fx->speed, fx->speed + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t w = fx->width, h = fx->height, sp = fx->speed, mx = w / 2, my = h / 2;
    int32_t p = fx->counter == 0 ? 0 : s->pos;
    const bool last = h - 1 - my - sp <= p;
    if (last) p = h - 1 - my - sp;
    // Left half moving down, right half moving up (the odd last column
    // goes with the right half).
    RevealEffectRect(fx, 0, p, mx, sp + 1);
    RevealEffectRect(fx, 0, my + p, mx, sp + 1);
    const int32_t rw = w - mx;
    RevealEffectRect(fx, mx, h - my - 1 - p - sp, rw, sp + 1);
    RevealEffectRect(fx, mx, h - 1 - p - sp, rw, sp + 1);
    s->pos = p + sp + 1;
    Finish(fx, done, last);
    return 0;
}

// ---- reveals ----

namespace {

// From the start edge (left or top) onwards.
int RevealForward(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            int32_t sp = SpeedToStep(fx->speed, e, 70, 30, 200);
            if (rows) sp = Cap(sp, e / 2);
            else if (sp > e / 2) sp = 1;
            fx->speed = sp;
            fx->steps = EffectStepCount(e - 1 - sp, sp + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width, sp = fx->speed;
    int32_t p = fx->counter == 0 ? 0 : s->pos;
    const bool last = p >= e - 1 - sp;
    if (last) p = e - 1 - sp;
    if (rows) RevealEffectRect(fx, 0, p, fx->width, sp + 1);
    else RevealEffectRect(fx, p, 0, sp + 1, fx->height);
    s->pos = p + sp + 1;
    Finish(fx, done, last);
    return 0;
}

// From the end edge (right or bottom) backwards.
int RevealBackward(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            int32_t sp = SpeedToStep(fx->speed, e, 70, 30, 200);
            if (rows) sp = Cap(sp, e / 2);
            else if (sp > e / 2) sp = 1;
            fx->speed = sp;
            fx->steps = EffectStepCount(e - 1 - sp, sp + 1, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width, sp = fx->speed;
    int32_t p = fx->counter == 0 ? e - 1 : s->pos;
    const bool last = sp >= p;
    if (last) p = sp;
    if (rows) RevealEffectRect(fx, 0, p - sp, fx->width, sp + 1);
    else RevealEffectRect(fx, p - sp, 0, sp + 1, fx->height);
    s->pos = p - (sp + 1);
    Finish(fx, done, last);
    return 0;
}

}  // namespace

extern "C" int StepRevealLeft(cxEffectInstance *fx, int *done) { return RevealForward(fx, done, false); }
extern "C" int StepRevealRight(cxEffectInstance *fx, int *done) { return RevealBackward(fx, done, false); }
extern "C" int StepRevealTop(cxEffectInstance *fx, int *done) { return RevealForward(fx, done, true); }
extern "C" int StepRevealBottom(cxEffectInstance *fx, int *done) { return RevealBackward(fx, done, true); }

// ---- lines ----

namespace {

// One line a step: the even lines forwards, then the odd ones backwards.
int Lines(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            fx->steps = EffectStepCount(int32_t(std::min<int64_t>(2 * int64_t(e), INT32_MAX - 1)), 2, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width;
    const int64_t p = fx->counter == 0 ? 0 : s->pos;
    const bool last = p >= 2 * int64_t(e);
    int64_t line = p;
    if (p >= e) {
        line = 2 * int64_t(e) - p;
        if (line % 2 == 0) ++line;
        line = std::max<int64_t>(line, 0);
        if (line >= e) line = e - 1;
    }
    if (rows) RevealEffectRect(fx, 0, int32_t(line), fx->width, 1);
    else RevealEffectRect(fx, int32_t(line), 0, 1, fx->height);
    s->pos = int32_t(std::min<int64_t>(p + 2, INT32_MAX));
    Finish(fx, done, last);
    return 0;
}

// Even lines forwards and odd lines backwards at the same time.
int Lines2(cxEffectInstance *fx, int *done, bool rows) {
    int r;
    if (!Begin(fx, &r, [&](BandState *) {
            const int32_t e = rows ? fx->height : fx->width;
            fx->steps = EffectStepCount(e, 2, 0);
        }))
        return r;
    done = DoneFlag(done);
    if (Empty(fx, done)) return 0;
    BandState *s = State(fx);
    const int32_t e = rows ? fx->height : fx->width;
    int32_t forward = fx->counter == 0 ? 0 : s->pos;
    int32_t backward = fx->counter == 0 ? ((e & 1) ? e - 2 : e - 1) : s->pos2;
    const bool last = forward >= e;
    if (backward < 0) backward = 0;
    if (forward >= e) forward = e - 1;
    if (rows) {
        RevealEffectRect(fx, 0, forward, fx->width, 1);
        RevealEffectRect(fx, 0, backward, fx->width, 1);
    } else {
        RevealEffectRect(fx, forward, 0, 1, fx->height);
        RevealEffectRect(fx, backward, 0, 1, fx->height);
    }
    s->pos = forward + 2;
    s->pos2 = backward - 2;
    Finish(fx, done, last);
    return 0;
}

}  // namespace

extern "C" int StepLines2V(cxEffectInstance *fx, int *done) { return Lines2(fx, done, false); }
extern "C" int StepLines2H(cxEffectInstance *fx, int *done) { return Lines2(fx, done, true); }
extern "C" int StepLinesH(cxEffectInstance *fx, int *done) { return Lines(fx, done, true); }
extern "C" int StepLinesV(cxEffectInstance *fx, int *done) { return Lines(fx, done, false); }
