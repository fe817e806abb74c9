// Tiles and corners: PUZZLE uncovers square tiles one a step in a random
// order, DIAGONAL a staircase of squares from the top left corner, SWISS
// four rectangles growing from the corners until a cross of the old
// picture is left.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "errors/error_codes.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunReveals;

// ---- PUZZLE ----

struct PuzzleState {
    int32_t tile, columns, rows, count;
    int32_t *order;  // count tile numbers, a permutation
};

}  // namespace

extern "C" void CleanupPuzzle(cxEffectInstance *fx, int) {
    auto *s = static_cast<PuzzleState *>(fx->state);
    if (!s) return;
    free(s->order);
    s->order = nullptr;
}

extern "C" int StepPuzzle(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<PuzzleState *>(AllocEffectState(fx, sizeof(PuzzleState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        int32_t t = SpeedToStep(fx->speed, fx->width, 20, 10, 30);
        if (t <= 4) t = 5;
        fx->speed = t;
        s->tile = t;
        s->columns = fx->width / t + 1;
        s->rows = fx->height / t + 1;
        const int64_t n = int64_t(s->columns) * s->rows;
        if (n > INT32_MAX / 8) return ERR_MEM;
        s->count = int32_t(n);
        s->order = static_cast<int32_t *>(malloc(size_t(n) * sizeof(int32_t)));
        if (!s->order) return ERR_MEM;
        // A Fisher-Yates shuffle: linear in the tile count, where probing
        // for a free number grows with its square.
        for (int32_t i = 0; i < s->count; ++i) s->order[i] = i;
        for (int32_t i = s->count - 1; i > 0; --i) {
            const int32_t j = std::min(int32_t(drand48() * (i + 1)), i);
            std::swap(s->order[i], s->order[j]);
        }
        fx->steps = s->count;
        return 0;
    }
    return RunReveals(fx, done, [fx](int32_t k) {
        auto *s = static_cast<PuzzleState *>(fx->state);
        if (!s->order || k >= s->count) return;
        const int32_t v = s->order[k];
        RevealEffectRect(fx, (v % s->columns) * s->tile, (v / s->columns) * s->tile, s->tile, s->tile);
    });
}

// ---- DIAGONAL ----

extern "C" int StepDiagonal(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        int32_t sp = SpeedToStep(fx->speed, fx->width, 60, 20, 130);
        if (sp > fx->width / 4) sp = 1;
        fx->speed = sp;
        fx->steps = EffectStepCount(int32_t(std::min<int64_t>(int64_t(fx->width) + fx->height - sp, INT32_MAX)), sp, 0);
        return 0;
    }
    // Everything follows from the step number, so a replay from step 0
    // draws the same staircase again.
    return RunReveals(fx, done, [fx](int32_t k) {
        const int64_t sp = fx->speed;
        const int64_t d = std::min((int64_t(k) + 1) * sp, int64_t(fx->width) + fx->height);
        const int64_t rows = std::min<int64_t>(int64_t(k) + 1, fx->height / sp + 1);
        for (int64_t j = 0; j < rows; ++j) {
            const int64_t x = d - (j + 1) * sp;
            if (x + sp <= 0 || x >= fx->width) continue;
            RevealEffectRect(fx, int32_t(x), int32_t(j * sp), int32_t(sp), int32_t(sp));
        }
    });
}

// ---- SWISS ----

namespace {

// The long side s as a corner rectangle's width and height.
void CornerSize(const cxEffectInstance *fx, int64_t s, int32_t *w, int32_t *h) {
    const int32_t W = fx->width, H = fx->height;
    if (s <= 0) {
        *w = *h = 0;
        return;
    }
    const double r = double(std::min(W, H)) / std::max(W, H);
    const int64_t shortSide = std::max<int64_t>(int64_t(1.0 + double(s) * r), 1);
    const int64_t lw = W >= H ? s : shortSide, lh = W >= H ? shortSide : s;
    *w = int32_t(std::min<int64_t>(lw, W));
    *h = int32_t(std::min<int64_t>(lh, H));
}

// The L between a corner's rectangle of the last step (pw x ph) and this
// one (w x h), for the corner given by right and bottom.
void RevealCorner(cxEffectInstance *fx, bool right, bool bottom, int32_t pw, int32_t ph, int32_t w, int32_t h) {
    const int32_t W = fx->width, H = fx->height;
    auto put = [&](int32_t x, int32_t y, int32_t cw, int32_t ch) {
        if (cw <= 0 || ch <= 0) return;
        RevealEffectRect(fx, right ? W - x - cw : x, bottom ? H - y - ch : y, cw, ch);
    };
    put(pw, 0, w - pw, h);   // beside the last rectangle, the new height
    put(0, ph, pw, h - ph);  // below it, its width
}

}  // namespace

extern "C" int StepSwiss(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t D = std::max(fx->width, fx->height);
        fx->speed = SpeedToStep(fx->speed, D, 120, 60, 240);
        fx->steps = EffectStepCount(D / 2, fx->speed, 1);
        return 0;
    }
    return RunReveals(fx, done, [fx](int32_t k) {
        const int64_t sp = fx->speed;
        int32_t pw, ph, w, h;
        CornerSize(fx, int64_t(k) * sp, &pw, &ph);
        CornerSize(fx, (int64_t(k) + 1) * sp, &w, &h);
        for (int c = 0; c < 4; ++c) RevealCorner(fx, c & 1, c & 2, pw, ph, w, h);
    });
}
