// Cards and quad rectangles: CARDTOP and CARDBOTTOM pull the new picture
// out from behind the old one and lay it on top; QUADRECT uncovers the new
// picture through rectangles growing in two opposite quarters, then in the
// other two.
#include <algorithm>
#include <cstdint>

#include "errors/error_codes.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::RunFrames;
using cx::fx::RunReveals;

}  // namespace

// The whole frame of a step is the two row copies of its table row, so a
// redraw (phase 2) is the same as a step. Drawn at the effect rectangle's
// origin: the whole BGPic, or the canvas.
extern "C" int StepCard(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(int32_t))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        fx->speed = std::clamp(SpeedToStep(fx->speed, std::max(fx->width, fx->height), 60, 30, 120), 1, 30);
        fx->steps = EffectStepCount(fx->height - fx->speed, fx->speed, 0);
        return 0;
    }
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const cxBitmap *oldPic = fx->oldImage ? fx->oldImage : fx->newImage;
        if (k < 0) {
            DrawEffectBitmap(fx, oldPic, 0, 0, 0, 0, W, H);
            return 0;
        }
        if (k >= fx->steps - 1) {
            DrawEffectBitmap(fx, fx->newImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        const int32_t p = int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, H));
        // On an odd height H - p may exceed H / 2 at the turn: the old
        // picture would then be read from above its first row.
        const int32_t q = p < H / 2 ? p : std::min(H - p, H / 2);
        auto put = [&](const cxBitmap *pic, int32_t sy, int32_t dy, int32_t n) {
            if (n > 0) DrawEffectBitmap(fx, pic, 0, sy, 0, dy, W, n);
        };
        const bool firstHalf = p < H / 2;
        if (fx->effect == 111) {
            if (firstHalf) put(fx->newImage, q, 0, q), put(oldPic, 0, q, H - q);
            else put(fx->newImage, q, 0, H - q), put(oldPic, H - 2 * q, H - q, q);
        } else {
            if (firstHalf) put(oldPic, q, 0, H - q), put(fx->newImage, H - 2 * q, H - q, q);
            else put(oldPic, q, 0, q), put(fx->newImage, 0, q, H - q);
        }
        return 0;
    });
}

// ---- QUADRECT ----

namespace {

struct QuadState {
    int32_t pw, ph, base;
    int32_t second;  // the second pair of quarters has begun
};

// The rectangle of size d in the picture's proportions, each side at least 1.
void QuadSize(const cxEffectInstance *fx, int64_t d, int32_t *w, int32_t *h) {
    const int32_t W = fx->width, H = fx->height;
    const double r = double(std::min(W, H)) / std::max(W, H);
    const int64_t longSide = std::max<int64_t>(d, 1);
    const int64_t shortSide = std::max<int64_t>(int64_t(1.0 + double(longSide) * r), 1);
    *w = int32_t(std::min<int64_t>(W < H ? shortSide : longSide, INT32_MAX / 4));
    *h = int32_t(std::min<int64_t>(W < H ? longSide : shortSide, INT32_MAX / 4));
}

}  // namespace

extern "C" int StepQuadRect(cxEffectInstance *fx, int *done) {
    if (fx->phase == CX_FXPHASE_INIT) {
        if (!AllocEffectState(fx, sizeof(QuadState))) return ERR_MEM;
        fx->steps = 1;
        if (fx->width < 1 || fx->height < 1) return 0;
        const int32_t L = std::max(fx->width, fx->height);
        fx->speed = std::clamp(SpeedToStep(fx->speed, L, 120, 60, 240), 1, 30);
        fx->steps = EffectStepCount(L, fx->speed, 1);
        return 0;
    }
    return RunReveals(fx, done, [fx](int32_t k) {
        auto *s = static_cast<QuadState *>(fx->state);
        if (k == 0) *s = QuadState{};
        const int32_t W = fx->width, H = fx->height, L = std::max(W, H);
        const int64_t size = (int64_t(k) + 1) * fx->speed, d = size - s->base;
        int32_t w, h;
        QuadSize(fx, d, &w, &h);
        const int32_t qw = W / 2, qh = H / 2;
        int32_t x0 = 0, y0 = 0;
        if (w < qw) {
            x0 = (qw - w) / 2, y0 = (qh - h) / 2;
        } else {
            // The whole quarter; a quarter of a picture 1 wide or high is
            // still one pixel, so that the bands are never empty.
            w = std::max(qw, 1), h = std::max(qh, 1);
        }
        h = std::min(h, std::max(qh, 1));
        const int32_t dw = std::max((w - s->pw) / 2 + 1, 1), dh = std::max((h - s->ph) / 2 + 1, 1);
        if (s->second) x0 += W / 2;
        auto rect = [&](int32_t x, int32_t y) {
            RevealEffectRect(fx, x, y, dw, h);
            RevealEffectRect(fx, x + dw, y, s->pw, dh);
            RevealEffectRect(fx, x + w - dw, y, dw, h);
            RevealEffectRect(fx, x + dw, y + h - dh, s->pw, dh);
        };
        rect(x0, y0);
        const int32_t shift = W / 2 + W % 2;
        rect(s->second ? x0 - shift : x0 + shift, y0 + H / 2 + H % 2);
        if (size >= L / 2 && !s->second) {
            s->base = int32_t(std::min<int64_t>(size, INT32_MAX));
            s->second = 1;
            s->pw = s->ph = 0;
        } else {
            s->pw = w, s->ph = h;
        }
    });
}
