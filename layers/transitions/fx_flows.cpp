// Flows, gates, slides and scrolls: pictures moved or streamed along one
// axis. The flows uncover the new picture line by line while its newest
// line streams on to the far edge; the gates split a picture at its middle
// and slide the halves apart or together; the slides push the old picture
// out over a colour and the new one in; the scrolls move the new picture
// in from outside the area along a move path.
//
// Every frame follows from the step number, so a redraw (phase 2) is a
// step that draws the whole frame.
#include <algorithm>
#include <cstdint>

#include "errors/error_codes.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/transition_kernels.h"
#include "graphics/scale/scaler.h"
#include "images/moves/move_path.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunFrames;

// The lines [a, a + n) along an axis, counted from the start edge or, when
// mirrored, from the end edge: as a rectangle of the effect area.
struct Axis {
    int32_t W, H, E;
    bool rows, mirrored;
    Axis(const cxEffectInstance *fx, bool r, bool m)
        : W(fx->width), H(fx->height), E(r ? fx->height : fx->width), rows(r), mirrored(m) {}
    int64_t At(int64_t a, int64_t n) const { return mirrored ? int64_t(E) - a - n : a; }
    void Rect(int64_t a, int64_t n, int32_t *x, int32_t *y, int32_t *w, int32_t *h) const {
        const int64_t at = std::clamp<int64_t>(At(a, n), INT32_MIN / 4, INT32_MAX / 4);
        n = std::clamp<int64_t>(n, 0, INT32_MAX / 4);
        if (rows) *x = 0, *y = int32_t(at), *w = W, *h = int32_t(n);
        else *x = int32_t(at), *y = 0, *w = int32_t(n), *h = H;
    }
};

// Lines [sa, sa + n) of a picture drawn at the lines [da, da + n).
void DrawLines(cxEffectInstance *fx, const Axis &ax, const cxBitmap *pic, const cxBitmap *mask,
               const cxBitmap *alpha, int64_t sa, int64_t da, int64_t n) {
    if (n <= 0) return;
    int32_t sx, sy, dx, dy, w, h;
    ax.Rect(sa, n, &sx, &sy, &w, &h);
    ax.Rect(da, n, &dx, &dy, &w, &h);
    DrawEffectPicture(fx, pic, mask, alpha, sx, sy, dx, dy, w, h);
}

// An opaque picture's line stretched over the lines [da, da + n) in one
// scale, straight into the target: one pass over the rows instead of a
// column copy a line. False when it cannot (transparency, a target of
// another pixel format, no whole target): the caller copies line by line.
bool StreamLine(cxEffectInstance *fx, const Axis &ax, const cxBitmap *pic, const cxBitmap *mask,
                const cxBitmap *alpha, int64_t sa, int64_t da, int64_t n) {
    cxBitmap *target;
    int32_t ox, oy;
    if (mask || alpha || n <= 0 || !GetWholeEffectTarget(fx, &target, &ox, &oy)) return false;
    int32_t sx, sy, sw, sh, dx, dy, dw, dh;
    ax.Rect(sa, 1, &sx, &sy, &sw, &sh);
    ax.Rect(da, n, &dx, &dy, &dw, &dh);
    if (ScaleBitmapInto(pic, sx, sy, sw, sh, target, ox + dx, oy + dy, dw, dh, 0)) return false;
    if (fx->layerMode && fx->canvasAlpha) FillAlphaRect(fx->canvasAlpha, dx, dy, dw, dh, 255);
    MarkEffectRect(fx, dx, dy, dw, dh);
    return true;
}

const cxBitmap *OldPicture(const cxEffectInstance *fx) { return fx->oldImage ? fx->oldImage : fx->newImage; }

// The number of steps of a distance walked from sp on, done on the step
// that reaches it.
void SetWalk(cxEffectInstance *fx, int64_t distance) {
    fx->steps = EffectStepCount(int32_t(std::clamp<int64_t>(distance - fx->speed, 0, INT32_MAX)), fx->speed, 0);
}

// Where the walk stands after step k (k = -1: before the first).
int64_t WalkAt(const cxEffectInstance *fx, int32_t k, int64_t distance) {
    return std::min((int64_t(k) + 1) * fx->speed, distance);
}

}  // namespace

// ---- flows (70-73) ----

extern "C" int StepFlow(cxEffectInstance *fx, int *done) {
    const bool rows = fx->effect == 70 || fx->effect == 71, mirrored = fx->effect == 71 || fx->effect == 73;
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const Axis ax(fx, rows, mirrored);
        fx->speed = rows ? SpeedToStep(fx->speed, ax.E, 50, 20, 120) : SpeedToStep(fx->speed, ax.E, 30, 10, 80);
        fx->speed = std::clamp(fx->speed, 1, 30);
        SetWalk(fx, ax.E);
        // The scaler's tables at their largest now: no step allocates.
        if (EnsureScaleTables(fx->width, fx->height)) return ERR_MEM;
        return 0;
    }
    return RunFrames(fx, done, [fx, rows, mirrored](int32_t k, bool incremental) -> int {
        if (fx->width < 1 || fx->height < 1) return 0;
        const Axis ax(fx, rows, mirrored);
        const int64_t E = ax.E, sp = fx->speed;
        // The front: the lines before it show the new picture, the rest
        // its line just before the front. Hiding walks it back to 0.
        const int64_t walked = WalkAt(fx, k, E);
        const int64_t p = fx->reverse ? E - walked : walked;
        const cxBitmap *pic = fx->newImage, *mask = fx->newMask, *alpha = fx->newAlpha;
        int64_t from = 0;
        if (incremental && k >= 0) from = fx->reverse ? p : std::max<int64_t>(p - sp, 0);
        if (!incremental || k < 0) from = 0;
        if (k < 0 && !fx->reverse) {
            // Before the first step: the old picture, or nothing shown.
            if (fx->layerMode) ComposeEffectRect(fx, 0, 0, fx->width, fx->height, CX_FXDRAW_CLEAR);
            else DrawEffectBitmap(fx, OldPicture(fx), 0, 0, 0, 0, fx->width, fx->height);
            return 0;
        }
        if (!fx->layerMode && (mask || alpha)) {
            // Through the picture's transparency the old picture shows.
            DrawLines(fx, ax, OldPicture(fx), nullptr, nullptr, from, from, E - from);
        }
        if (p <= 0) {
            if (fx->layerMode) ComposeEffectRect(fx, 0, 0, fx->width, fx->height, CX_FXDRAW_CLEAR);
            return 0;
        }
        if (from < p) DrawLines(fx, ax, pic, mask, alpha, from, from, p - from);
        const int64_t first = std::max(p, from);
        if (first < E && !StreamLine(fx, ax, pic, mask, alpha, p - 1, first, E - first))
            for (int64_t line = first; line < E; ++line) DrawLines(fx, ax, pic, mask, alpha, p - 1, line, 1);
        return 0;
    });
}

// ---- gates (74-77) ----

extern "C" int StepGate(cxEffectInstance *fx, int *done) {
    const bool rows = fx->effect == 74 || fx->effect == 75, opening = fx->effect == 74 || fx->effect == 76;
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const Axis ax(fx, rows, false);
        fx->speed = SpeedToStep(fx->speed, ax.E, 80, 30, 200);
        // Opening: the gap's near edge walks from the middle to 0; closing:
        // each half's inner edge from its outer edge to the middle.
        SetWalk(fx, opening ? (ax.E + 1) / 2 : ax.E / 2);
        return 0;
    }
    return RunFrames(fx, done, [fx, rows, opening](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const Axis ax(fx, rows, false);
        const int64_t E = ax.E, c = (E + 1) / 2, m = E / 2;
        const bool last = k >= fx->steps - 1;
        if (last) {
            DrawEffectBitmap(fx, fx->newImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        if (opening) {
            // The old picture's halves slide apart over the new one.
            const cxBitmap *oldPic = OldPicture(fx);
            const int64_t u = c - WalkAt(fx, k, c), l = E - u;
            if (k >= 0) DrawLines(fx, ax, fx->newImage, nullptr, nullptr, u, u, l - u);
            DrawLines(fx, ax, oldPic, nullptr, nullptr, m - u < 0 ? 0 : m - u, 0, u);
            DrawLines(fx, ax, oldPic, nullptr, nullptr, m, l, E - l);
        } else {
            // The new picture's halves slide together over the old one.
            const int64_t e1 = WalkAt(fx, k, m), e2 = E - e1;
            DrawLines(fx, ax, OldPicture(fx), nullptr, nullptr, e1, e1, e2 - e1);
            DrawLines(fx, ax, fx->newImage, nullptr, nullptr, m - e1, 0, e1);
            DrawLines(fx, ax, fx->newImage, nullptr, nullptr, m, e2, E - e2);
        }
        return 0;
    });
}

// ---- slides (101-104) ----

extern "C" int StepSlide(cxEffectInstance *fx, int *done) {
    const bool rows = fx->effect == 103 || fx->effect == 104;
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const Axis ax(fx, rows, false);
        fx->speed = std::clamp(SpeedToStep(fx->speed, ax.E, 60, 30, 120), 1, 30);
        SetWalk(fx, 2 * int64_t(ax.E));
        return 0;
    }
    return RunFrames(fx, done, [fx, rows](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        // SLIDELEFT and SLIDETOP move towards the start edge seen from the
        // mirrored axis: the old picture leaves by the end edge.
        const bool towardsEnd = fx->effect == 101 || fx->effect == 103;
        const Axis ax(fx, rows, !towardsEnd);
        const int64_t E = ax.E;
        const uint32_t colour = fx->parameter < 0 ? 0u : uint32_t(fx->parameter) & 0xFFFFFFu;
        if (k >= fx->steps - 1) {
            DrawEffectBitmap(fx, fx->newImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        const int64_t p = k < 0 ? 0 : WalkAt(fx, k, 2 * E);
        int32_t x, y, w, h;
        if (p <= E) {
            // The old picture at p, the colour behind it.
            ax.Rect(0, p, &x, &y, &w, &h);
            FillEffectRect(fx, x, y, w, h, colour);
            DrawLines(fx, ax, OldPicture(fx), nullptr, nullptr, 0, p, E - p);
        } else {
            // The new picture comes in from the far edge.
            const int64_t at = 2 * E - p;
            ax.Rect(0, at, &x, &y, &w, &h);
            FillEffectRect(fx, x, y, w, h, colour);
            DrawLines(fx, ax, fx->newImage, nullptr, nullptr, 0, at, E - at);
        }
        return 0;
    });
}

// ---- scrolls (47-54) ----

namespace {

struct ScrollState {
    cxMovePath path;
    int32_t x, y;      // where the picture stands now
    int32_t position;  // the step the path stands after (-1: at its start)
};

// Start and end of the path in effect coordinates: outside the area at
// one side or corner, and the area's origin; hiding swaps them.
void ScrollPoints(const cxEffectInstance *fx, int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2) {
    const int32_t W = fx->width, H = fx->height;
    int32_t sx = 0, sy = 0;
    switch (fx->effect) {
    case 47: sx = -W; break;
    case 48: sx = W; break;
    case 49: sy = -H; break;
    case 50: sy = H; break;
    case 51: sx = W, sy = -H; break;
    case 52: sx = W, sy = H; break;
    case 53: sx = -W, sy = H; break;
    default: sx = -W, sy = -H; break;
    }
    *x1 = sx, *y1 = sy, *x2 = 0, *y2 = 0;
    if (fx->reverse) std::swap(*x1, *x2), std::swap(*y1, *y2);
}

int32_t ScrollSpeed(int32_t speed) {
    switch (speed) {
    case CX_SPEED_FAST: return 15;
    case CX_SPEED_NORMAL:
    case CX_SPEED_DEFAULT: return 10;
    case CX_SPEED_SLOW: return 5;
    default: return std::clamp(speed, 1, CX_MOVE_SPEED_LIMIT);
    }
}

void ScrollRestart(const cxEffectInstance *fx, ScrollState *s) {
    int32_t x1, y1, x2, y2;
    ScrollPoints(fx, &x1, &y1, &x2, &y2);
    const int32_t style = fx->parameter < 0 ? CX_MOVE_STRAIGHT : fx->parameter;
    InitMovePath(&s->path, x1, y1, x2, y2, style, fx->speed, fx->height);
    s->x = x1, s->y = y1;
    s->position = -1;
}

}  // namespace

extern "C" void CleanupScroll(cxEffectInstance *, int) {}

extern "C" int StepScroll(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<ScrollState *>(AllocEffectState(fx, sizeof(ScrollState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        fx->speed = ScrollSpeed(fx->speed);
        // The path knows no step count: walk it once to learn it.
        ScrollRestart(fx, s);
        int32_t n = 1, x, y;
        while (!NextMovePosition(&s->path, &x, &y) && n < INT32_MAX - 1) ++n;
        fx->steps = n;
        ScrollRestart(fx, s);
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        auto *s = static_cast<ScrollState *>(fx->state);
        // Seeking backwards starts the path again.
        if (k < s->position) ScrollRestart(fx, s);
        while (s->position < k) {
            NextMovePosition(&s->path, &s->x, &s->y);
            ++s->position;
        }
        int32_t x = s->x, y = s->y;
        if (k >= fx->steps - 1) {
            int32_t x1, y1;
            ScrollPoints(fx, &x1, &y1, &x, &y);
        }
        if (fx->layerMode) ComposeEffectRect(fx, 0, 0, W, H, CX_FXDRAW_CLEAR);
        else DrawEffectBitmap(fx, OldPicture(fx), 0, 0, 0, 0, W, H);
        DrawEffectPicture(fx, fx->newImage, fx->newMask, fx->newAlpha, 0, 0, x, y, W, H);
        return 0;
    });
}
