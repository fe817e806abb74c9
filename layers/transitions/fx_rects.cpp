// Rectangles of the picture's proportions: growing from one of nine anchor
// points until they fill the picture (38-46), or the old picture's part
// shrinking towards the opposite point while the new one closes in from
// the outside (88-96). Each step uncovers the ring between the rectangle
// of the last step and the new one, so every pixel is copied once.
#include <algorithm>

#include "errors/error_codes.h"
#include "layers/core/compositor.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::DoneFlag;

struct Box {
    int32_t x, y, w, h;
};

struct RectState {
    int32_t side;  // the current long side
    Box previous;  // the rectangle of the last step
};

// Anchors per axis: 0 start, 1 centre, 2 end.
struct Anchor {
    int ax, ay;
};

// The anchor of a growing rectangle (38-46); shrinking ones use the
// opposite point of the same name (88-96).
Anchor AnchorOf(int32_t effect) {
    static const Anchor kGrow[9] = {{1, 1}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}};
    if (effect >= 88) {
        const Anchor a = kGrow[std::clamp(effect - 88, 0, 8)];
        return {2 - a.ax, 2 - a.ay};
    }
    return kGrow[std::clamp(effect - 38, 0, 8)];
}

// The size of a rectangle of long side s in the picture's proportions.
void SizeOf(const cxEffectInstance *fx, int64_t s, bool minimumOne, int32_t *w, int32_t *h) {
    const int32_t W = fx->width, H = fx->height;
    const int32_t L = std::max(W, H);
    const double r = double(std::min(W, H)) / L;
    const int64_t shortSide = W == H ? s : int64_t(1.0 + double(s) * r);
    int64_t lw = W >= H ? s : shortSide, lh = W >= H ? shortSide : s;
    if (minimumOne) lw = std::max<int64_t>(lw, 1), lh = std::max<int64_t>(lh, 1);
    *w = int32_t(std::clamp<int64_t>(lw, 0, W));
    *h = int32_t(std::clamp<int64_t>(lh, 0, H));
}

int32_t Place(int axis, int32_t room, int32_t size) {
    switch (axis) {
    case 0: return 0;
    case 2: return room - size;
    default: return (room - size) / 2;
    }
}

// Uncovers outer minus inner (inner inside outer, possibly empty).
void RevealRing(cxEffectInstance *fx, const Box &outer, const Box &inner) {
    if (inner.w <= 0 || inner.h <= 0) {
        RevealEffectRect(fx, outer.x, outer.y, outer.w, outer.h);
        return;
    }
    int32_t ix, iy, iw, ih;
    if (!IntersectRects(outer.x, outer.y, outer.w, outer.h, inner.x, inner.y, inner.w, inner.h, &ix, &iy, &iw, &ih)) {
        RevealEffectRect(fx, outer.x, outer.y, outer.w, outer.h);
        return;
    }
    RevealEffectRect(fx, outer.x, outer.y, outer.w, iy - outer.y);                       // above
    RevealEffectRect(fx, outer.x, iy + ih, outer.w, outer.y + outer.h - (iy + ih));      // below
    RevealEffectRect(fx, outer.x, iy, ix - outer.x, ih);                                 // left
    RevealEffectRect(fx, ix + iw, iy, outer.x + outer.w - (ix + iw), ih);                // right
}

int Init(cxEffectInstance *fx, bool grow) {
    auto *s = static_cast<RectState *>(AllocEffectState(fx, sizeof(RectState)));
    if (!s) return ERR_MEM;
    if (fx->width < 1 || fx->height < 1) {
        fx->steps = 1;
        return 0;
    }
    const int32_t L = std::max(fx->width, fx->height);
    int32_t sp = SpeedToStep(fx->speed, L, 70, 30, 200);
    if (sp < 1 || sp > L / 4) sp = 1;
    fx->speed = sp;
    fx->steps = EffectStepCount(L - sp, sp, 0);
    s->side = grow ? sp : L - sp;
    s->previous = grow ? Box{0, 0, 0, 0} : Box{0, 0, fx->width, fx->height};
    return 0;
}

}  // namespace

extern "C" int StepRectGrow(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) return Init(fx, true);
    if (fx->phase != CX_FXPHASE_STEP || !fx->state) return 0;
    done = DoneFlag(done);
    auto *s = static_cast<RectState *>(fx->state);
    const int32_t W = fx->width, H = fx->height, L = std::max(W, H), sp = fx->speed;
    if (W < 1 || H < 1) {
        *done = 1;
        ++fx->counter;
        return 0;
    }
    int32_t side = fx->counter == 0 ? sp : s->side;
    Box prev = fx->counter == 0 ? Box{0, 0, 0, 0} : s->previous;
    Box cur{0, 0, W, H};
    const bool last = side >= L;
    if (!last) {
        const Anchor a = AnchorOf(fx->effect);
        SizeOf(fx, side, true, &cur.w, &cur.h);
        cur.x = Place(a.ax, W, cur.w);
        cur.y = Place(a.ay, H, cur.h);
        // A centred rectangle stays symmetric: an odd free space widens it.
        if (a.ax == 1 && ((W - cur.w) & 1)) ++cur.w;
        if (a.ay == 1 && ((H - cur.h) & 1)) ++cur.h;
    }
    RevealRing(fx, cur, prev);
    s->previous = cur;
    s->side = last ? side - sp : int32_t(std::min<int64_t>(int64_t(side) + sp, INT32_MAX));
    if (last) *done = 1;
    ++fx->counter;
    return 0;
}

extern "C" int StepRectShrink(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) return Init(fx, false);
    if (fx->phase != CX_FXPHASE_STEP || !fx->state) return 0;
    done = DoneFlag(done);
    auto *s = static_cast<RectState *>(fx->state);
    const int32_t W = fx->width, H = fx->height, L = std::max(W, H), sp = fx->speed;
    if (W < 1 || H < 1) {
        *done = 1;
        ++fx->counter;
        return 0;
    }
    int32_t side = fx->counter == 0 ? L - sp : s->side;
    const Box prev = fx->counter == 0 ? Box{0, 0, W, H} : s->previous;
    Box cur{0, 0, 0, 0};
    const bool last = side < 1;
    if (!last) {
        const Anchor a = AnchorOf(fx->effect);
        SizeOf(fx, side, true, &cur.w, &cur.h);
        cur.x = Place(a.ax, W, cur.w);
        cur.y = Place(a.ay, H, cur.h);
    }
    RevealRing(fx, prev, cur);
    s->previous = cur;
    s->side = side - sp;
    if (last) *done = 1;
    ++fx->counter;
    return 0;
}
