// The one gate in front of the kernels. Each driver checks its job (lock
// records, rectangle, formats, sizes and numbers), rejects what does not fit
// with an error code before anything is written, and then runs the kernels,
// whose loops trust the job. Sizes and products are computed in 64 bits;
// every buffer must span fewer than 2^31 bytes so that address arithmetic is
// exact on the 32-bit target.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "graphics/scale/scaler.h"
#include "graphics/transform/transform.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_MAX_SIDE 0x1000000         /* widths, heights and row lengths */
#define CX_MAX_BUFFER_BYTES CX_OS_MAX_BITMAP_BYTES /* bytes one buffer may span */

/* Rectangles reach these already clipped; a width or height below 1 does
   nothing and returns 0. A rectangle outside either bitmap gives
   ERR_COORDSRANGE, an unusable lock record ERR_LOCKBMAP, an unknown or
   mismatched format ERR_PIXELFORMAT. Copies between different formats
   convert each pixel; they never copy bytes. */
int BltBitmapSoft(const cxOsBitmapLock *src, int32_t srcX, int32_t srcY, const cxOsBitmapLock *dst, int32_t dstX,
                  int32_t dstY, int32_t width, int32_t height);
/* Copies where the mask bit at the source position is set. */
int BltBitmapMaskSoft(const cxOsBitmapLock *src, int32_t srcX, int32_t srcY, const cxOsBitmapLock *dst, int32_t dstX,
                      int32_t dstY, int32_t width, int32_t height, const cxOsBitmapLock *mask);
/* Mode 0 blends by the source alpha (read at the source position), 1 copies
   where it is not 0, 2 composites over dstAlpha (read at the destination
   position; required for mode 2). */
int BltBitmapAlphaKernel(const cxOsBitmapLock *src, int32_t srcX, int32_t srcY, const cxOsBitmapLock *dst,
                         int32_t dstX, int32_t dstY, int32_t width, int32_t height, const cxOsBitmapLock *alpha,
                         const cxOsBitmapLock *dstAlpha, int32_t mode);
/* Level 255 or more paints the colour (0xRRGGBB), lower levels blend it,
   0 or less does nothing. */
int FillRectSoft(const cxOsBitmapLock *dst, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                 int32_t level);

/* Scales after checking the job; the scratch position tables are this
   thread's (EnsureScaleTables) and replace whatever the job held.
   ERR_BADDIMENSIONS for sizes out of range, ERR_MEM when the tables cannot
   grow. */
int RunScaleJob(cxScaleJob *job);
/* Transforms after checking the job: a non-finite or out-of-range number
   gives ERR_WRONGUSAGE, a singular matrix writes nothing and returns 0. */
int RunTransformJob(const cxTransformJob *job);
/* A quarter turn: the destination must be srcHeight x srcWidth. */
int RunQuarterTurnJob(const cxTransformJob *job);

#ifdef __cplusplus
}
#endif
