// The step and clean-up functions of the effect families, for the traits
// table (effect_traits.cpp), and what the families share.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_instance.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Stripes, blinds, curtains, bars, quarters, reveals and lines (0-37). */
int StepStripesH(cxEffectInstance *fx, int *done);
int StepStripesV(cxEffectInstance *fx, int *done);
int StepBlindsH(cxEffectInstance *fx, int *done);
int StepBlindsV(cxEffectInstance *fx, int *done);
int StepCurtainOpenV(cxEffectInstance *fx, int *done);
int StepCurtainCloseV(cxEffectInstance *fx, int *done);
int StepCurtainOpenH(cxEffectInstance *fx, int *done);
int StepCurtainCloseH(cxEffectInstance *fx, int *done);
int StepBars(cxEffectInstance *fx, int *done);
int StepQuarters(cxEffectInstance *fx, int *done);
int StepRevealLeft(cxEffectInstance *fx, int *done);
int StepRevealRight(cxEffectInstance *fx, int *done);
int StepRevealTop(cxEffectInstance *fx, int *done);
int StepRevealBottom(cxEffectInstance *fx, int *done);
int StepLines2V(cxEffectInstance *fx, int *done);
int StepLines2H(cxEffectInstance *fx, int *done);
int StepLinesH(cxEffectInstance *fx, int *done);
int StepLinesV(cxEffectInstance *fx, int *done);

/* Growing (38-46) and shrinking (88-96) rectangles. */
int StepRectGrow(cxEffectInstance *fx, int *done);
int StepRectShrink(cxEffectInstance *fx, int *done);

/* Blends and distortions (115-117, 132-139). */
int StepCrossfade(cxEffectInstance *fx, int *done);
int StepFade(cxEffectInstance *fx, int *done);
int StepWater(cxEffectInstance *fx, int *done);
int StepStrudel(cxEffectInstance *fx, int *done);
int StepDissolve(cxEffectInstance *fx, int *done);
int StepPixelZoom(cxEffectInstance *fx, int *done);
void CleanupBlend(cxEffectInstance *fx, int normalEnd);

/* Shape masks, scaling and push (97, 98, 114, 120-127, 78-81). */
int StepClockWipe(cxEffectInstance *fx, int *done);
int StepStar(cxEffectInstance *fx, int *done);
int StepSun(cxEffectInstance *fx, int *done);
void CleanupShape(cxEffectInstance *fx, int normalEnd);
int StepCrush(cxEffectInstance *fx, int *done);
int StepFlipCoin(cxEffectInstance *fx, int *done);
int StepPush(cxEffectInstance *fx, int *done);
void CleanupScaling(cxEffectInstance *fx, int normalEnd);

/* Tiles, staircase, corners (82, 83, 106), quad rectangles and cards
   (107, 111, 112), up and down and turn down (110, 128-131), split and
   spiral (105, 108, 109). */
int StepPuzzle(cxEffectInstance *fx, int *done);
void CleanupPuzzle(cxEffectInstance *fx, int normalEnd);
int StepDiagonal(cxEffectInstance *fx, int *done);
int StepSwiss(cxEffectInstance *fx, int *done);
int StepQuadRect(cxEffectInstance *fx, int *done);
int StepCard(cxEffectInstance *fx, int *done);
int StepUpNDown(cxEffectInstance *fx, int *done);
int StepTurnDown(cxEffectInstance *fx, int *done);
void CleanupTurnDown(cxEffectInstance *fx, int normalEnd);
int StepSplit(cxEffectInstance *fx, int *done);
int StepSpiral(cxEffectInstance *fx, int *done);

/* Flow, gates, slides, scrolls (70-77, 101-104, 47-54), stretch and zoom
   (55-69, 118, 119), strange push, roll and wallpaper (99, 100, 84-87). */
int StepFlow(cxEffectInstance *fx, int *done);
int StepGate(cxEffectInstance *fx, int *done);
int StepSlide(cxEffectInstance *fx, int *done);
int StepScroll(cxEffectInstance *fx, int *done);
void CleanupScroll(cxEffectInstance *fx, int normalEnd);
int StepStretch(cxEffectInstance *fx, int *done);
int StepZoomInOut(cxEffectInstance *fx, int *done);
void CleanupStretch(cxEffectInstance *fx, int normalEnd);
int StepStrangePush(cxEffectInstance *fx, int *done);
void CleanupStrangePush(cxEffectInstance *fx, int normalEnd);
int StepRoll(cxEffectInstance *fx, int *done);
void CleanupRoll(cxEffectInstance *fx, int normalEnd);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
namespace cx::fx {

// The usual head of a step function: phase 0 runs init, a phase other than
// 1 and 2 does nothing; done may be null outside phase 1.
inline int *DoneFlag(int *done) {
    static thread_local int spare;
    return done ? done : &spare;
}

// One step of a family that draws whole frames: frame(k) draws the state
// after step k (k = -1: before the first), incremental when the target
// already holds frame k - 1. Phase 1 draws the counter's frame, sets done
// on the last and counts it; phase 2 redraws the state of the counter.
template <class Frame>
int RunFrames(cxEffectInstance *fx, int *done, Frame &&frame) {
    if (fx->phase == CX_FXPHASE_REDRAW) return frame(fx->counter - 1, false);
    if (fx->phase != CX_FXPHASE_STEP) return 0;
    done = DoneFlag(done);
    const int32_t k = fx->counter;
    if (int err = frame(k, true)) return err;
    if (k >= fx->steps - 1) *done = 1;
    ++fx->counter;
    return 0;
}

// One step of a family that uncovers the new picture band by band and
// cannot redraw (phase 2 does nothing: seeking replays the steps). draw(k)
// copies the bands of step k; the last step also copies the whole picture,
// so that the run always ends on it, and sets done.
template <class Draw>
int RunReveals(cxEffectInstance *fx, int *done, Draw &&draw) {
    if (fx->phase != CX_FXPHASE_STEP) return 0;
    done = DoneFlag(done);
    const int32_t k = fx->counter;
    const bool last = k >= fx->steps - 1;
    if (fx->width > 0 && fx->height > 0 && fx->state) {
        draw(k);
        if (last) RevealEffectRect(fx, 0, 0, fx->width, fx->height);
    }
    if (last) *done = 1;
    ++fx->counter;
    return 0;
}

// The new picture's transparency as 0..255 at a pixel row (layer mode).
struct ChannelRows;

}  // namespace cx::fx
#endif
