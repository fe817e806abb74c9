// Colour quantiser: reduces pixels of any of the 14 formats to a palette of
// at most 256 colours and one index per pixel. Images with few enough
// colours keep them exactly; others go through a median cut over a colour
// histogram, optionally with Floyd-Steinberg dithering. A transparent colour
// can keep an index of its own.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxQuantizeJob {
    const void *pixels;
    uint32_t pixelFormat;
    int32_t bytesPerPixel;
    int32_t width, height;
    int32_t rowLength;          /* pixels */
    uint8_t *indices;           /* width x height bytes, rows without padding */
    uint32_t *palette;          /* out: 256 entries of 0x00RRGGBB */
    int32_t *colourCount;       /* in: colours wanted (taken as 1..256); out: palette entries */
    int32_t transparentColour;  /* 0xRRGGBB, or -1 */
    int32_t reserve;            /* keep one entry for transparency */
    int32_t dither;             /* Floyd-Steinberg */
    int32_t success;            /* out: 1 done, 0 out of memory */
    int32_t transparentIndex;   /* out: index of the transparent colour, or -1 */
} cxQuantizeJob;

/* Runs the job. The caller (QuantizePixels) has checked it. Colours are
   compared on their colour bits only: the alpha byte of 32-bit formats
   neither splits nor merges colours. */
void QuantizeImage(cxQuantizeJob *job);

/* Checks the arguments, fills a job and runs it. Returns 1 on success, 0
   when memory ran out or the arguments do not describe an image (the
   callers report ERR_MEM). transparentIndex may be null. */
int QuantizePixels(const void *pixels, uint32_t pixelFormat, int32_t bytesPerPixel, int32_t width, int32_t height,
                   int32_t rowLength, uint8_t *indices, uint32_t *palette, int32_t *colourCount,
                   int32_t transparentColour, int32_t reserve, int32_t dither, int32_t *transparentIndex);

/* Reduces a bitmap's colours in place to at most colours (1..256): 0,
   ERR_MEM or ERR_LOCKBMAP. */
int QuantizeBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t colours, int32_t dither);
/* Two colours, stored as black (index 0) and white: 0, ERR_MEM or
   ERR_LOCKBMAP. */
int ConvertBitmapToMonochrome(cxBitmap *bitmap, int32_t width, int32_t height, int32_t dither);

#ifdef __cplusplus
}
#endif
