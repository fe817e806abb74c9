// The outline of an image: its shape (mask, alpha channel, or the whole
// rectangle) grown by an edge of e pixels in one colour. The layers give
// their images a border with it, by the same dilation as text edges.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An image of (width + 2e + 1) x (height + 2e + 1) whose origin lies at
   (-e, -e) of the source: the colour (its top byte a transparency) with an
   alpha channel when the source has one, else a mask. mask and alpha may
   both be null (the whole rectangle). 0, ERR_WRONGUSAGE (e outside 1..64 or
   no size), ERR_MEM, ERR_BITMAP, ERR_ALLOCALPHA, ERR_ALLOCMASK; nothing is
   made on failure. */
int BuildOutlineImage(const cxBitmap *mask, const cxBitmap *alpha, int32_t width, int32_t height, uint32_t colour,
                      int32_t edge, cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha, int32_t *outWidth,
                      int32_t *outHeight);

#ifdef __cplusplus
}
#endif
