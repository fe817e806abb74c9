// Clipping of display blits: the rectangle against the source, the
// destination and a clip region, and the cut of a blit's mask or alpha
// channel to the region's shape.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A clip region (object kind 35): a rectangle of the display and, for a
   shaped region, a mask of its size whose set bits let drawing through. */
typedef struct cxClipRegion {
    cxObjectHeader header;
    int32_t x, y, width, height;
    cxBitmap *shape;
    uint32_t shapeBytesPerRow;
    /* Kept by the layers library: a private copy made for one layer (freed
       with it, shape included), the layers that use a listed region, and
       freeing deferred while they do. */
    uint32_t privateCopy;
    int32_t uses;
    uint32_t pendingFree;
} cxClipRegion;

/* Moves and shrinks a blit rectangle in place so that the source part lies
   inside srcWidth x srcHeight, the destination part inside dstWidth x
   dstHeight and, with applyRegion and a region, inside the region's
   rectangle. 1 when something is left, else 0 (width or height 0). */
int ClipBlitRect(const cxClipRegion *region, int32_t *srcX, int32_t *srcY, int32_t *dstX, int32_t *dstY,
                 int32_t *width, int32_t *height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                 int32_t dstHeight, int applyRegion);

/* The mask or alpha channel a blit draws through, cut to a shaped region:
   for the source rectangle (srcX, srcY, width, height) that lands at
   (dstX, dstY), a replacement of the source mask (or alpha channel, or,
   for a plain source, a new mask) that keeps only what the region's shape
   lets through. *replacement is a bitmap of the renderer's own (a
   scratch kept between calls) or, while a display adapter owns the
   bitmaps, a new one; *owned tells which: free an owned one with
   FreeClipShape. *isAlpha says whether it is an alpha channel. 0,
   ERR_MEM, or ERR_COORDSRANGE when the rectangle leaves the region. */
int MakeClipShape(const cxClipRegion *region, const cxBitmap *source, const cxBitmap *mask, const cxBitmap *alpha,
                  int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                  cxBitmap **replacement, int *owned, int *isAlpha);
void FreeClipShape(cxBitmap *replacement, int owned);
/* Frees the scratch at clean-up. */
void FreeClipShapeScratch(void);

#ifdef __cplusplus
}
#endif
