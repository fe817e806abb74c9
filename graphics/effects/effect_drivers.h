// The effect drivers: each locks a bitmap, checks the request and runs one
// pixel kernel over width x height pixels from the top-left corner. They
// return 0 or an error code (ERR_LOCKBMAP when a bitmap cannot be locked or
// is smaller than the request, ERR_WRONGUSAGE for arguments the kernels
// refuse, ERR_MEM when scratch memory runs out) and change nothing on error.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Threshold clamped to 0..255. */
int SolarizeBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t threshold);
/* Sepia tone at the threshold (clamped to 0..255), then the levels stretch
   between 2 % and 99 % of the pixels. */
int SepiaToneBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t threshold);
/* Channel c becomes 255 * (c / 255)^(1 / gamma), rounded; a gamma of 1
   leaves its channel alone. Gammas that are not finite and above 0 are
   refused. */
int AdjustBitmapGamma(cxBitmap *bitmap, int32_t width, int32_t height, double red, double green, double blue);
/* Raises (raise != 0) or lowers the contrast times times; times below 1 is
   refused. */
int AdjustBitmapContrast(cxBitmap *bitmap, int32_t width, int32_t height, int32_t raise, int32_t times);
/* Factors, 1.0 = unchanged; negative or non-finite factors are refused. */
int ModulateBitmap(cxBitmap *bitmap, int32_t width, int32_t height, double brightness, double saturation,
                   double hue);
/* Gray 0.299 R + 0.587 G + 0.114 B (truncated); with blackWhite set,
   levels from 129 up become white and the rest black. */
int ConvertBitmapToGray(cxBitmap *bitmap, int32_t width, int32_t height, int32_t blackWhite);
/* Complements every colour channel. */
int InvertBitmap(cxBitmap *bitmap, int32_t width, int32_t height);
/* kind 'b', 'e', 'g' or 's'; alpha may be null. A negative radius counts as
   0, and a radius of 0 runs with sigma 1.0. */
int ConvolveBitmap(int32_t kind, cxBitmap *bitmap, cxBitmap *alpha, int32_t width, int32_t height, double radius,
                   double sigma);
int OilPaintBitmap(cxBitmap *bitmap, int32_t width, int32_t height, double radius);
/* Charcoal drawing: edge detection (radius), blur (radius, sigma), the
   levels stretch between 2 % and 99 %, inversion and gray. The alpha channel
   (may be null) takes the blur only: an edge pass would empty a uniform
   channel. */
int CharcoalBitmap(cxBitmap *bitmap, cxBitmap *alpha, int32_t width, int32_t height, double radius, double sigma);
/* Blends width x height source pixels at (srcX, srcY) into the destination
   at (dstX, dstY) by level (0-255, clamped), per pixel d + (((s - d) * a) >> 8)
   with a = level, or level * source alpha / 255 with an alpha channel;
   pixels whose mask bit is clear are skipped. The rectangle is clipped to
   both bitmaps; the formats may differ. mask and alpha may be null and are
   read at the source coordinates. */
int MixBitmaps(cxBitmap *destination, const cxBitmap *source, const cxBitmap *sourceMask, int32_t srcX, int32_t srcY,
               int32_t dstX, int32_t dstY, int32_t width, int32_t height, int32_t level, const cxBitmap *sourceAlpha);

#ifdef __cplusplus
}
#endif
