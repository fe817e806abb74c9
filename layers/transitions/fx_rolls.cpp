// Strange push, roll and wallpaper. The strange pushes bring the rows of
// the new picture in interlaced from two opposite edges, the odd rows from
// one and the even rows from the other. The rolls unroll the new picture
// over the old one from the top or left edge: the front of the roll is a
// band of lines remapped through an arc-sine profile, showing compressed
// and mirrored the piece of picture just ahead of it.
//
// Every frame follows from the step number: a redraw is a step.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "errors/error_codes.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunFrames;

const cxBitmap *OldPicture(const cxEffectInstance *fx) { return fx->oldImage ? fx->oldImage : fx->newImage; }

// What lies behind the picture drawn: the old picture, or in layer mode
// nothing.
void Background(cxEffectInstance *fx) {
    if (fx->layerMode) ComposeEffectRect(fx, 0, 0, fx->width, fx->height, CX_FXDRAW_CLEAR);
    else DrawEffectBitmap(fx, OldPicture(fx), 0, 0, 0, 0, fx->width, fx->height);
}

}  // namespace

// ---- strange push (99, 100) ----

extern "C" void CleanupStrangePush(cxEffectInstance *, int) {}

extern "C" int StepStrangePush(cxEffectInstance *fx, int *done) {
    const bool columns = fx->effect == 99;
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t E = columns ? fx->width : fx->height;
        int32_t sp = SpeedToStep(fx->speed, E, 60, 30, 120);
        if (sp & 1) sp = sp < INT32_MAX ? sp + 1 : sp - 1;
        fx->speed = std::max(sp, 2);
        fx->steps = EffectStepCount(E - fx->speed, fx->speed, 0);
        return 0;
    }
    return RunFrames(fx, done, [fx, columns](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const int32_t E = columns ? W : H;
        const int64_t walked = k >= fx->steps - 1 ? E : k < 0 ? 0 : std::min<int64_t>((int64_t(k) + 1) * fx->speed, E);
        const int32_t n = int32_t(fx->reverse ? E - walked : walked);
        Background(fx);
        if (n <= 0) return 0;
        // Odd source rows come from the start edge, even ones from the far
        // edge; row by row, so that the two never overwrite each other.
        const cxBitmap *pic = fx->newImage, *mask = fx->newMask, *alpha = fx->newAlpha;
        if (columns) {
            for (int32_t y = 0; y < H; ++y) {
                if (y & 1) DrawEffectPicture(fx, pic, mask, alpha, W - n, y, 0, y, n, 1);
                else DrawEffectPicture(fx, pic, mask, alpha, 0, y, W - n, y, n, 1);
            }
        } else {
            for (int32_t sy = H - n; sy < H; ++sy)
                if (sy & 1) DrawEffectPicture(fx, pic, mask, alpha, 0, sy, 0, sy - (H - n), W, 1);
            for (int32_t sy = 0; sy < n; ++sy)
                if (!(sy & 1)) DrawEffectPicture(fx, pic, mask, alpha, 0, sy, 0, sy + (H - n), W, 1);
        }
        return 0;
    });
}

// ---- roll and wallpaper (84-87) ----

namespace {

// The line remap of the roll's front: destination line P - N + 1 + i takes
// source line P + offset[i]. Internal, so native types throughout.
struct cxLineRemap {
    int32_t *offset;  // N entries: trunc(profile * N / (2 pi))
    int32_t length;   // N
    int32_t extent;   // E, the lines of the picture
};

struct RollState {
    cxLineRemap remap;
};

// The first destination line copied at P and how many (first -100000 when
// none); the destination lines form one run.
void RemapRange(const cxLineRemap &r, int64_t P, int64_t *first, int64_t *count) {
    *first = -100000;
    *count = 0;
    for (int32_t i = 0; i < r.length; ++i) {
        const int64_t d = P - r.length + 1 + i, s = P + r.offset[i];
        if (d < 0 || d >= r.extent || s < 0 || s >= r.extent) continue;
        if (*count == 0) *first = d;
        ++*count;
    }
}

}  // namespace

extern "C" void CleanupRoll(cxEffectInstance *fx, int) {
    auto *s = static_cast<RollState *>(fx->state);
    if (!s) return;
    free(s->remap.offset);
    s->remap.offset = nullptr;
}

extern "C" int StepRoll(cxEffectInstance *fx, int *done) {
    const bool columns = (fx->effect & ~2) == 85;
    if (fx->phase == CX_FXPHASE_INIT) {
        auto *s = static_cast<RollState *>(AllocEffectState(fx, sizeof(RollState)));
        if (!s) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t E = columns ? fx->width : fx->height;
        const bool wallpaper = fx->effect >= 86;
        const int32_t N = std::max(wallpaper ? E / 2 : E / 12, 20);
        int32_t sp;
        switch (fx->speed) {
        case CX_SPEED_FAST: sp = 5; break;
        case CX_SPEED_NORMAL:
        case CX_SPEED_DEFAULT: sp = 2; break;
        case CX_SPEED_SLOW: sp = 1; break;
        default: sp = std::clamp(fx->speed / 5, 1, 8); break;
        }
        fx->speed = sp;
        s->remap.length = N;
        s->remap.extent = E;
        s->remap.offset = static_cast<int32_t *>(malloc(size_t(N) * sizeof(int32_t)));
        if (!s->remap.offset) return ERR_MEM;
        // The profile runs from pi at the back of the roll towards 0 at
        // its front.
        const double pi = std::acos(-1.0);
        for (int32_t i = 0; i < N; ++i) {
            const double profile = std::asin(1.0 - 2.0 * i / N) + pi / 2;
            s->remap.offset[i] = int32_t(std::trunc(profile * N / (2 * pi)));
        }
        fx->steps = EffectStepCount(E, sp, 1);
        return 0;
    }
    return RunFrames(fx, done, [fx, columns](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        auto *s = static_cast<RollState *>(fx->state);
        const cxLineRemap &r = s->remap;
        const int64_t E = r.extent;
        const bool last = k >= fx->steps - 1;
        const int64_t walked = last ? E : k < 0 ? 0 : std::min<int64_t>((int64_t(k) + 1) * fx->speed, E);
        const int64_t P = fx->reverse ? E - walked : walked;
        const cxBitmap *pic = fx->newImage, *mask = fx->newMask, *alpha = fx->newAlpha;
        auto line = [&](int64_t src, int64_t dst, int64_t n) {
            if (n <= 0) return;
            if (columns) DrawEffectPicture(fx, pic, mask, alpha, int32_t(src), 0, int32_t(dst), 0, int32_t(n), H);
            else DrawEffectPicture(fx, pic, mask, alpha, 0, int32_t(src), 0, int32_t(dst), W, int32_t(n));
        };
        Background(fx);
        if (P >= E) {
            line(0, 0, E);
            return 0;
        }
        if (P <= 0 && (fx->reverse || k < 0)) return 0;
        int64_t first, count;
        RemapRange(r, P, &first, &count);
        // The flat part up to the roll, then the roll band over it.
        line(0, 0, count ? first : std::min(P, E));
        for (int32_t i = 0; i < r.length; ++i) {
            const int64_t d = P - r.length + 1 + i, src = P + r.offset[i];
            if (d >= 0 && d < E && src >= 0 && src < E) line(src, d, 1);
        }
        return 0;
    });
}
