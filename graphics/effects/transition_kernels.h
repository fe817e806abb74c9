// Pixel kernels of the transition effects: two-picture blends, a fade
// through a colour, the transition forms of the ripple, swirl, dissolve and
// pixelate effects, and scaling into a place of an existing bitmap.
//
// Rectangles arrive clipped: each must lie inside every bitmap it names
// (ERR_COORDSRANGE otherwise, nothing written). Pictures of one call share
// one pixel format (ERR_PIXELFORMAT otherwise). Levels run 0..255: 0 shows
// the first picture, 255 exactly the second.
//
// The ripple and swirl forms read the new picture through a per-pixel
// table of distances from the picture's centre (cxRingTable, in quarter
// pixels) and a per-ring value computed once a frame, so a frame costs one
// table read and one blend per pixel:
//
//   ripple: a pixel at offset (dx, dy) from the centre, distance r, reads
//     the new picture at (x, y) + (dx, dy) * d(r) / r, with
//     d(r) = amplitude * sin(2 pi r / waveLength - phase),
//     the nearest pixel, clamped to the picture; the result is laid over
//     the old picture at the level.
//   swirl: the same pixel reads the new picture at (dx, dy) turned about
//     the centre by twist * (1 - r / R)^2 degrees (R the half diagonal, no
//     turn beyond it), laid over the old picture at the level.
//
// A transition runs the ripple with its amplitude and the swirl with its
// twist falling to 0 while the level rises to 255, so that both end on the
// new picture itself.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* out = a + (b - a) * level / 255 per channel, over width x height. */
int CrossfadeBitmaps(const cxBitmap *a, int32_t ax, int32_t ay, const cxBitmap *b, int32_t bx, int32_t by,
                     cxBitmap *out, int32_t ox, int32_t oy, int32_t width, int32_t height, int32_t level);

/* out = src + (colour - src) * level / 255 per channel (colour 0xRRGGBB). */
int FadeBitmapToColour(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *out, int32_t ox, int32_t oy,
                       int32_t width, int32_t height, uint32_t colour, int32_t level);

/* Distances of every pixel of a width x height picture from its centre
   (width / 2, height / 2), in quarter pixels, and the scratch rows of the
   kernels (made once: a frame allocates nothing). */
typedef struct cxRingTable {
    uint16_t *ring;
    int32_t width, height;
    int32_t rings; /* the largest entry + 1 */
    int32_t *scratchA, *scratchB; /* per ring */
    int32_t *rowIndex;            /* per column: where a pixel reads */
    uint8_t *rowPixels;           /* a row of read pixels (4 bytes each) */
} cxRingTable;

/* 0, ERR_MEM, or ERR_BADDIMENSIONS for a size below 1 or above 16384. */
int InitRippleTables(cxRingTable *table, int32_t width, int32_t height);
void FreeRippleTables(cxRingTable *table);

/* The ripple form above into out at (ox, oy) (the whole table's size).
   oldPicture null: the rippled new picture alone (and its alpha channel,
   when newAlpha and outAlpha are given, moved along and scaled by the
   level; outAlpha is read at (0, 0)). */
int RipplePixels(const cxRingTable *table, const cxBitmap *newPicture, const cxBitmap *newAlpha,
                 const cxBitmap *oldPicture, cxBitmap *out, int32_t ox, int32_t oy, cxBitmap *outAlpha,
                 double waveLength, double amplitude, double phase, int32_t level);
/* The swirl form, as RipplePixels. */
int SwirlPixels(const cxRingTable *table, const cxBitmap *newPicture, const cxBitmap *newAlpha,
                const cxBitmap *oldPicture, cxBitmap *out, int32_t ox, int32_t oy, cxBitmap *outAlpha,
                double twistDegrees, int32_t level);

/* A pixel is on where its threshold is below the level (off there when
   invert is set). The mask's bit is set where the pixel is on and the
   source's mask or alpha has it (no source: everywhere on); the alpha
   channel gets the source's alpha (its mask as 255/0, else 255) where on
   and 0 elsewhere. Either output may be null. */
int DissolveChannel(const uint8_t *thresholds, int32_t width, int32_t height, int32_t level, int32_t invert,
                    const cxBitmap *srcMask, const cxBitmap *srcAlpha, cxBitmap *outMask, cxBitmap *outAlpha);

/* Copies the pixels of src (at 0, 0) whose threshold lies in [from, to)
   to out at (ox, oy): one step of a dissolve, which only adds pixels. */
int DissolvePixels(const uint8_t *thresholds, int32_t width, int32_t height, int32_t from, int32_t to,
                   const cxBitmap *src, cxBitmap *out, int32_t ox, int32_t oy);

/* Every block x block square from the top-left corner takes the pixel at
   its centre (cut to the picture); blocks of 1 or less copy. src is read
   at (0, 0), out written at (ox, oy); srcAlpha and outAlpha (both at
   (0, 0)) move along, scaled by level / 255 when given. */
int PixelatePixels(const cxBitmap *src, const cxBitmap *srcAlpha, cxBitmap *out, int32_t ox, int32_t oy,
                   cxBitmap *outAlpha, int32_t width, int32_t height, int32_t block, int32_t level);

/* Scales the rectangle of src to dw x dh at (dx, dy) of dst (nearest or
   smooth); sizes below 1 draw nothing. */
int ScaleBitmapInto(const cxBitmap *src, int32_t sx, int32_t sy, int32_t sw, int32_t sh, cxBitmap *dst, int32_t dx,
                    int32_t dy, int32_t dw, int32_t dh, int32_t smooth);

#ifdef __cplusplus
}
#endif
