// The alpha channel of a shadow or border: the shape of a mask or alpha
// channel (or a plain box) at an opacity, set in by the blur radius on every
// side and blurred.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new alpha channel of (width + 2 d) x (height + 2 d), d the radius
   truncated, holding the rectangle (srcX, srcY, width, height) of the alpha
   channel (scaled by opacity / 255), else of the mask (opacity where set),
   else a box of opacity, blurred with radius and sigma. harden makes every
   non-zero value 255 afterwards, and secondPass then blurs once more with
   half the radius and a sigma of a third of that. Null when memory runs
   out or the arguments are unusable (a radius beyond the blur's limit, a
   rectangle outside the source). */
cxBitmap *CreateShadowAlpha(const cxBitmap *mask, const cxBitmap *alpha, int32_t srcX, int32_t srcY, int32_t width,
                            int32_t height, int32_t opacity, int32_t harden, int32_t secondPass, double radius,
                            double sigma);

#ifdef __cplusplus
}
#endif
