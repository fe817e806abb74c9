// Drivers that move pixels together with their mask and alpha channel:
// scaling and transforming into new bitmaps, and the in-place swirl,
// pixelate and water-ripple effects. Each returns 0 or an error code and
// changes nothing on error; mask and alpha may be null.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Scales the rectangle (x, y, width, height) to newWidth x newHeight into
   new bitmaps: a mask and an alpha channel are made for the ones given.
   0, ERR_MEM, ERR_LOCKBMAP, ERR_BITMAP, or ERR_BADDIMENSIONS for sizes out
   of range. */
int ScaleBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t newWidth, int32_t newHeight, int32_t smooth,
                  cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha);

/* Maps the rectangle through the 2x2 matrix {m00, m01, m10, m11} into new
   bitmaps sized by the transformed corners. The result has an alpha channel
   when the source has one, else a mask (made for a source without one, so
   that the corners outside the turned image are transparent). */
int RotateBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x, int32_t y,
                   int32_t width, int32_t height, const double matrix[4], int32_t smooth, cxBitmap **outBitmap,
                   cxBitmap **outMask, cxBitmap **outAlpha, int32_t *outWidth, int32_t *outHeight);

/* Every size x size block, from the top-left corner, takes the colour, mask
   bit and alpha of its centre pixel; sizes below 2 do nothing. */
int PixelateBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height, int32_t size);

/* Turns the pixels about the centre, by the angle (degrees, clamped to
   -359..359) at the centre fading to none at the radius max(width,
   height) / 2: the pixel at distance r reads the source turned by
   angle * (1 - r / radius)^2. Nearest pixel; mask and alpha move along. */
int SwirlBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height, int32_t angle);

/* Circular waves about (centreX * width, centreY * height): the pixel at
   distance r reads the source amplitude * sin(2 pi r / waveLength + phase
   degrees) further out along its radius, edge pixels repeated. waveLength
   below 1 is taken as 1; non-finite centres are refused. */
int RippleBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                 int32_t waveLength, int32_t amplitude, int32_t phase, double centreX, double centreY);

#ifdef __cplusplus
}
#endif
