// Blit front-ends: copy, mask, blend and fill rectangles of colour bitmaps.
// Each offers the work to the display adapter plug-in first and otherwise
// locks the bitmaps and runs the software kernels. Rectangles arrive
// clipped: the front-ends do no clipping of their own (the kernels refuse a
// rectangle outside a bitmap with ERR_COORDSRANGE and write nothing).
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the display library tells of a destination bitmap (bits below);
   without a query every destination is an ordinary bitmap. */
#define CX_BLITDEST_BACKBITMAP 1u /* the current display's back bitmap */
#define CX_BLITDEST_MODE2ZERO  2u /* that display's second mode word is 0 */
#define CX_BLITDEST_SWITCHON   4u /* the global display switch is 1 */
#define CX_BLITDEST_MODE28     8u /* that display's mode value with bit 1 cleared is 28 */
typedef uint32_t (*cxBlitDestQuery)(const cxBitmap *dst);
void SetBlitDestQuery(cxBlitDestQuery query);

/* 0 once the work is done or handed to the adapter (whose answer is not
   checked); the software kernels' code otherwise (nothing is drawn when a
   lock fails). */
int BltBitmap(const cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX, int32_t dstY,
              int32_t width, int32_t height);
/* Copies where the mask (read at the source position) is set. */
int BltBitmapMask(const cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX, int32_t dstY,
                  int32_t width, int32_t height, const cxBitmap *mask);
/* Blends through the source's alpha channel (read at the source position). */
int BltBitmapAlpha(const cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX, int32_t dstY,
                   int32_t width, int32_t height, const cxBitmap *alpha);
/* Fills with a colour 0xAARRGGBB (its alpha byte is not blended). */
int FillRect(cxBitmap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
/* The colour as an adapter with CX_DISPLAY_INVERTEDALPHA takes it (always
   with force): a top byte of 0 becomes 0xFF, any other is inverted. */
uint32_t ConvertColorForAdapter(uint32_t colour, int force);
/* Fills width x height of dst from (dstX, dstY) with copies of a tile:
   the colour bitmap tile, or when it is null width tileWidth x tileHeight
   0xAARRGGBB words at argb. (offsetX, offsetY) is the tile position at the
   area's corner; negative values wrap into the tile. */
int TileBitmap(cxBitmap *dst, int32_t dstX, int32_t dstY, int32_t width, int32_t height, const cxBitmap *tile,
               const uint32_t *argb, int32_t tileWidth, int32_t tileHeight, int32_t offsetX, int32_t offsetY);

#ifdef __cplusplus
}
#endif
