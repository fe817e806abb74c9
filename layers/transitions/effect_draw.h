// What the step functions draw with. Coordinates are the effect
// rectangle's (0, 0 is its top-left corner, W x H its size); every helper
// cuts its rectangle to the effect rectangle and to the target, so a
// rectangle reaching past the picture is cut, never an error. Each notes
// what it touched; the engine presents the step's boxes once the step
// returns (nothing while the no-present flag is set).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "layers/transitions/effect_instance.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of ComposeEffectRect. */
#define CX_FXDRAW_CLEAR 4u /* layer mode: clear the canvas there instead of copying */

/* The new picture's rectangle onto the target: direct mode through its
   mask or alpha channel at the effect's position; layer mode its pixels
   and their transparency into the canvas (with CLEAR: the canvas made
   transparent there). */
void ComposeEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags);
/* The uncovering copy of the wipes: ComposeEffectRect, clearing on a
   reversed layer run (hiding uncovers what lies behind the layer). */
void RevealEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t width, int32_t height);
/* A rectangle of src at (srcX, srcY) drawn opaque at (x, y); layer mode:
   into the canvas, which becomes opaque there. */
void DrawEffectBitmap(cxEffectInstance *fx, const cxBitmap *src, int32_t srcX, int32_t srcY, int32_t x, int32_t y,
                      int32_t width, int32_t height);
/* A rectangle of src at (srcX, srcY) drawn at (x, y) through its own mask
   or alpha channel (both read at the source position; null: opaque);
   layer mode: the canvas takes its pixels and its transparency there. */
void DrawEffectPicture(cxEffectInstance *fx, const cxBitmap *src, const cxBitmap *mask, const cxBitmap *alpha,
                       int32_t srcX, int32_t srcY, int32_t x, int32_t y, int32_t width, int32_t height);
/* A rectangle filled with a colour (0xRRGGBB), opaque. */
void FillEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
/* The new picture where a mask (W x H, at the effect's origin) is set:
   direct mode drawn through the mask; layer mode the canvas shows the new
   picture there (hiding: becomes transparent there). */
void RevealEffectMask(cxEffectInstance *fx, const cxBitmap *mask, int32_t x, int32_t y, int32_t width,
                      int32_t height);
/* Layer mode: the canvas's transparency becomes the new picture's scaled
   by level / 255 (0 transparent, 255 the picture's own). */
void SetEffectCanvasLevel(cxEffectInstance *fx, int32_t level);
/* A family wrote into the target itself (see GetWholeEffectTarget). */
void MarkEffectRect(cxEffectInstance *fx, int32_t x, int32_t y, int32_t width, int32_t height);

/* The bitmap a family may write the whole frame into, and where the effect
   rectangle starts on it: layer mode the canvas at (0, 0); direct mode the
   target when the rectangle lies on it whole. 0 when it does not (the
   family then draws a work bitmap with DrawEffectBitmap). */
int GetWholeEffectTarget(cxEffectInstance *fx, cxBitmap **target, int32_t *x, int32_t *y);

/* The number of steps of a distance walked in steps of size step: 1 below a
   distance of 1, else ceil(distance / step), plus 1 unless exact. A step
   below 1 counts as 1. */
int32_t EffectStepCount(int32_t distance, int32_t step, int exact);
/* Pixels per step: NORMALSPEED (and DEFAULTSPEED) give extent / normal,
   FASTSPEED extent / fast, SLOWSPEED extent / slow; other values stay;
   the result is at least 1. */
int32_t SpeedToStep(int32_t speed, int32_t extent, int32_t normal, int32_t fast, int32_t slow);

/* The family's private state: a zeroed block of size bytes that the engine
   frees; null (and ERR_MEM for the caller) when memory runs out. */
void *AllocEffectState(cxEffectInstance *fx, size_t size);

/* Frees a colour bitmap, mask or alpha channel by its kind and clears the
   pointer. */
void FreeEffectBitmap(cxBitmap **bitmap);

#ifdef __cplusplus
}
#endif
