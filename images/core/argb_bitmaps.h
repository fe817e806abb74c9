// Bitmaps made from ARGB pixel words (0xAARRGGBB, rows from the top) as the
// image loaders deliver them.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A colour bitmap of width x height from pixels (rowLength pixels per row)
   and, when transparentColour is not -1, a mask that is clear where a
   pixel's colour (alpha ignored) equals it (*mask null when no pixel is).
   0, ERR_BITMAP or ERR_ALLOCMASK; nothing is kept on failure. mask may be
   null when no mask is wanted. */
int MakeBitmapFromARGB(const uint32_t *pixels, int32_t transparentColour, int32_t width, int32_t height,
                       int32_t rowLength, cxBitmap **bitmap, cxBitmap **mask);

/* A new alpha channel from the alpha bytes of a part of the pixels. */
cxBitmap *MakeAlphaFromARGB(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength);

#ifdef __cplusplus
}
#endif
