// Colour blends the compositor and the filters need beyond the blitters:
// a colour laid over a rectangle at a level, and a colour drawn through an
// alpha channel (shadows). Rectangles are clipped to the bitmaps.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Moves every pixel of the rectangle towards colour (0xRRGGBB) by
   level / 255 (255: the colour itself). 0, ERR_LOCKBMAP. */
int MixBitmapColour(cxBitmap *bitmap, int32_t width, int32_t height, uint32_t colour, int32_t level);
int BlendFillBitmap(cxBitmap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                    int32_t level);

/* Blends colour (0xRRGGBB) into dst at (dstX, dstY) weighted by the alpha
   channel's values from (alphaX, alphaY), per channel d + ((c - d) * a >> 8)
   (255 gives the colour). 0 or ERR_LOCKBMAP. */
int BlendColourThroughAlpha(const cxBitmap *alpha, int32_t alphaX, int32_t alphaY, cxBitmap *dst, int32_t dstX,
                            int32_t dstY, int32_t width, int32_t height, uint32_t colour);

#ifdef __cplusplus
}
#endif
