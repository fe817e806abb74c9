// Edits of a colour bitmap together with its mask and alpha channel:
// mirroring in place, a rectangle copied into new bitmaps, a mask from a
// colour key, colours replaced by pairs, complemented and scaled channel
// bytes, and single pixels. Each returns 0 or an error code and changes
// nothing on error; masks and alpha channels may be null.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Directions of FlipBitmapFx. */
#define CX_FLIP_HORIZONTAL 0 /* left and right swap */
#define CX_FLIP_VERTICAL 1   /* top and bottom swap (any other number too) */

/* Mirrors width x height pixels of the bitmap, mask and alpha in place.
   0, ERR_LOCKBMAP, or ERR_BADDIMENSIONS when a bitmap is smaller. */
int FlipBitmapFx(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                 int32_t direction);

/* Copies the rectangle (x, y, width, height) of the bitmap and of the
   mask and alpha that are given into new bitmaps (outMask and outAlpha
   null for missing ones). The rectangle must lie inside the bitmap.
   0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_LOCKBMAP or
   ERR_COORDSRANGE; nothing is returned on error. */
int ConvertBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x, int32_t y,
                    int32_t width, int32_t height, cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha);

/* A mask for the bitmap whose bits are clear where the pixel's colour
   (0xRRGGBB) equals colour and set elsewhere; null when it cannot be made. */
cxBitmap *MakeColorKeyMask(const cxBitmap *bitmap, int32_t width, int32_t height, uint32_t colour);

/* Replaces colours of the bitmap: pairs {from, to} of 0xRRGGBB colours;
   each pixel equal to a "from" colour (compared on its colour channels)
   takes the paired "to" colour, the first pair that matches winning.
   0, ERR_LOCKBMAP or ERR_MEM. */
int ReplaceBitmapColors(cxBitmap *bitmap, int32_t width, int32_t height, const uint32_t *pairs, int32_t pairCount);

/* Complements every byte of the rows of a mask or alpha channel. */
int InvertChannelBytes(cxBitmap *maskOrAlpha);
/* Every value of an alpha channel becomes value * level / 255. */
int ScaleAlphaChannel(cxBitmap *alpha, uint32_t level);
/* Writes value into the alpha channel where the mask is set and 0 where it
   is clear, over width x height. */
int MaskToAlphaChannel(const cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height, uint8_t value);
/* Sets the mask where the alpha value is 255 and clears it elsewhere. */
int AlphaToMaskOpaque(const cxBitmap *alpha, cxBitmap *mask, int32_t width, int32_t height);

/* One pixel: the colour 0xRRGGBB of a colour bitmap, or the bit (0 or 1)
   of a mask, or the value of an alpha channel. 0 or ERR_LOCKBMAP;
   ERR_COORDSRANGE outside the bitmap. */
int ReadBitmapPixel(const cxBitmap *bitmap, int32_t x, int32_t y, uint32_t *out);
/* Writes a colour (colour bitmaps), a bit (masks: 0 clears, other sets) or
   a value (alpha channels). */
int WriteBitmapPixel(cxBitmap *bitmap, int32_t x, int32_t y, uint32_t value);

#ifdef __cplusplus
}
#endif
