// Rectangle operations on masks and alpha channels as if the source were
// fully set: the mask and alpha outputs of display blits and the clearing
// of selected masks and alpha channels. Rectangles are clipped to the
// bitmap.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Mask modes (the script's MASK* constants). */
#define CX_MASKVISIBLE     0
#define CX_MASKINVISIBLE   1
#define CX_MASKVANILLACOPY 2
#define CX_MASKXOR         3
#define CX_MASKAND         4
#define CX_MASKOR          5

/* Modes 0, 2 and 5 set the bits, 1 clears them, 3 inverts them, 4 and any
   other leave them. */
void FillMaskRect(cxBitmap *mask, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode);
/* Sets a rectangle of an alpha channel to value. */
void FillAlphaRect(cxBitmap *alpha, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t value);

/* The operations below read a source rectangle at (srcX, srcY) and write
   the same-sized one at (dstX, dstY); both are clipped to their bitmaps
   (the source's cut moves the destination along). */

/* Combines the bits of a source mask into a mask by mode: 0 and 5 set
   where the source is set, 1 clears there, 2 copies the source, 3 inverts
   where it is set, 4 keeps only bits the source has too. */
void CombineMaskRect(const cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX, int32_t dstY,
                     int32_t width, int32_t height, int32_t mode);
/* As CombineMaskRect with an alpha channel as the source: a pixel counts
   as set where its alpha is not 0. */
void BltAlphaToMask(const cxBitmap *alpha, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX, int32_t dstY,
                    int32_t width, int32_t height, int32_t mode);
/* Writes value into an alpha channel where a mask is set. */
void BltMaskToMask(const cxBitmap *mask, int32_t srcX, int32_t srcY, cxBitmap *alpha, int32_t dstX, int32_t dstY,
                   int32_t width, int32_t height, uint8_t value);
/* Alpha into alpha by mode: 0 copies, 1 copies where the source is not 0,
   6 writes value there, 9 lays the source over the destination; other
   modes as the alpha kernels take them. */
void BltAlphaToAlphaClipped(const cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX,
                            int32_t dstY, int32_t width, int32_t height, int32_t mode, uint32_t value);

#ifdef __cplusplus
}
#endif
