// Flood fill: the region around a seed pixel up to a border colour, filled
// span by span from a stack of pending seeds kept on the heap, so that any
// shape of region fills whatever its size.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxFloodFillJob {
    void *pixels;
    int32_t width, height; /* of the allowed area */
    int32_t rowLength;     /* pixels */
    uint32_t border;       /* pixel value that stops the fill */
    uint32_t fill;         /* pixel value stored */
    int32_t left, top;     /* allowed area's top-left pixel */
} cxFloodFillJob;

/* Pixels are compared as (pixel & channelMask): 0x00FFFFFF for formats 10
   and 13, 0xFFFFFF00 for 11 and 12, so the alpha byte never counts. A seed
   on the border colour changes nothing; pixels already of the fill colour are
   refilled when a span crosses them but never entered from above or below.
   Return 0, or ERR_MEM when the seed stack cannot grow (the fill then stops
   part-way). The caller has checked the job and the seed. */
int FloodFillPixels32(const cxFloodFillJob *job, int32_t x, int32_t y, uint32_t channelMask);
int FloodFillPixels16(const cxFloodFillJob *job, int32_t x, int32_t y);
/* 3-byte pixels, compared whole. */
int FloodFillPixels24(const cxFloodFillJob *job, int32_t x, int32_t y);

/* Locks the bitmap, converts the colours (0xRRGGBB) to its format and fills
   from (x, y): 0, ERR_LOCKBMAP, ERR_COORDSRANGE for a seed outside the
   bitmap, or ERR_MEM. */
int FloodFillBitmap(cxBitmap *bitmap, int32_t x, int32_t y, uint32_t borderColour, uint32_t fillColour);

#ifdef __cplusplus
}
#endif
