// Split and spiral: HSPLIT and VSPLIT open both halves of the picture from
// their middle lines outwards, four bands a step; SPIRAL sweeps a band
// along the columns and rows of a 7 x 6 grid, ring by ring inwards.
#include <algorithm>
#include <cstdint>

#include "errors/error_codes.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunReveals;

// ---- split ----

struct SplitState {
    int32_t quarter;  // Q: where the bands start in each half
};

}  // namespace

extern "C" int StepSplit(cxEffectInstance *fx, int *done) {
    const bool columns = fx->effect == 108;
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<SplitState *>(AllocEffectState(fx, sizeof(SplitState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        fx->speed = std::clamp(SpeedToStep(fx->speed, std::max(fx->width, fx->height), 120, 60, 240), 1, 30);
        s->quarter = (columns ? fx->width : fx->height) / 4;
        fx->steps = s->quarter > 0 ? EffectStepCount(s->quarter + fx->speed, fx->speed, 1) : 1;
        return 0;
    }
    return RunReveals(fx, done, [fx, columns](int32_t k) {
        const int32_t Q = static_cast<SplitState *>(fx->state)->quarter, sp = fx->speed;
        const int32_t E = columns ? fx->width : fx->height, half = E / 2, odd = E % 2;
        const int64_t a = std::max<int64_t>(Q - int64_t(k) * sp, 0), b = Q + int64_t(k) * sp;
        for (int64_t at : {a, b, a + half + odd, b + half + odd}) {
            if (at >= E) continue;
            if (columns) RevealEffectRect(fx, int32_t(at), 0, sp, fx->height);
            else RevealEffectRect(fx, 0, int32_t(at), fx->width, sp);
        }
    });
}

// ---- spiral ----

namespace {

struct SpiralState {
    int32_t p, k, a, b;
    int32_t cw, rh;
};

int32_t SpiralSpeed(int32_t speed) {
    switch (speed) {
    case CX_SPEED_FAST: return 15;
    case CX_SPEED_NORMAL:
    case CX_SPEED_DEFAULT: return 10;
    case CX_SPEED_SLOW: return 5;
    default: return std::clamp(speed, 1, 30);
    }
}

// One sweep of the table: a column (x fixed, p is y) or a row (y fixed,
// p is x), where p starts, which way it runs and where it ends.
struct Sweep {
    bool column;
    int32_t fixed;   // the column's x or the row's y
    int32_t start, end;
    int dir;         // +1 down or right, -1 up or left
};

Sweep SweepOf(const cxEffectInstance *fx, const SpiralState *s, int32_t k) {
    const int32_t W = fx->width, H = fx->height, cw = s->cw, rh = s->rh, sp = fx->speed;
    switch (k) {
    case 0: return {true, W - cw, 0, H - 1, +1};
    case 1: return {false, H - rh, W - cw - sp, 0, -1};
    case 2: return {true, 0, H - rh - sp, 0, -1};
    case 3: return {false, 0, cw, W - cw, +1};
    case 4: return {true, W - 2 * cw, rh, H - rh, +1};
    case 5: return {false, H - 2 * rh, W - 2 * cw - sp, cw, -1};
    case 6: return {true, cw, H - 2 * rh - sp, rh, -1};
    case 7: return {false, rh, 2 * cw, W - 2 * cw, +1};
    case 8: return {true, W - 3 * cw, 2 * rh, H - 2 * rh, +1};
    case 9: return {false, 3 * rh, W - 3 * cw - sp, 2 * cw, -1};
    case 10: return {true, 2 * cw, 3 * rh - sp, 2 * rh, -1};
    default: return {false, 2 * rh, 3 * cw, W - 3 * cw, +1};
    }
}

void SpiralReset(const cxEffectInstance *fx, SpiralState *s) {
    s->k = 0;
    s->p = 0;
    s->b = 0;
    s->a = fx->width - s->cw;
}

// Moves to the next band; true when the sweep just drawn was the last.
bool SpiralAdvance(const cxEffectInstance *fx, SpiralState *s) {
    const Sweep w = SweepOf(fx, s, s->k);
    if (s->p == w.end) {
        if (s->k >= 11) return true;
        ++s->k;
        const Sweep n = SweepOf(fx, s, s->k);
        s->p = n.start;
        if (n.column) s->a = n.fixed;
        else s->b = n.fixed;
        return false;
    }
    // Towards the end, never past it (a start beyond the end goes there).
    if (w.dir > 0) s->p = int32_t(std::min<int64_t>(int64_t(s->p) + fx->speed, w.end));
    else s->p = int32_t(std::max<int64_t>(int64_t(s->p) - fx->speed, w.end));
    return false;
}

}  // namespace

extern "C" int StepSpiral(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<SpiralState *>(AllocEffectState(fx, sizeof(SpiralState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        fx->speed = SpiralSpeed(fx->speed);
        s->cw = fx->width / 7 + 1;
        s->rh = fx->height / 6 + 1;
        // The counting run: the walk the steps take, without drawing.
        SpiralReset(fx, s);
        int32_t n = 1;
        while (!SpiralAdvance(fx, s) && n < INT32_MAX - 1) ++n;
        fx->steps = n;
        SpiralReset(fx, s);
        return 0;
    }
    return RunReveals(fx, done, [fx](int32_t k) {
        auto *s = static_cast<SpiralState *>(fx->state);
        if (k == 0) SpiralReset(fx, s);
        const Sweep w = SweepOf(fx, s, s->k);
        if (w.column) RevealEffectRect(fx, w.fixed, s->p, s->cw, fx->speed);
        else RevealEffectRect(fx, s->p, w.fixed, fx->speed, s->rh);
        SpiralAdvance(fx, s);
    });
}
