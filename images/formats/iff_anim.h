// IFF ANIM: a first ILBM picture and deltas (methods 5, 7, 8, 100 and 101)
// that change its bitplanes frame by frame; pictures of 1-8 planes with a
// palette, Extra-Half-Brite, HAM6 or HAM8.
#pragma once

#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxIffAnim cxIffAnim;

/* Opens a "FORM" "ANIM" file; the stream belongs to the reader (closed on
   failure too). fieldDoubling: field-interlaced files fill the missing
   field from the neighbouring row instead of the previous field.
   transparency: masking-2 pictures get alpha 0 at the transparent colour.
   Null on failure. */
cxIffAnim *OpenIFFAnim(cxStream *stream, int fieldDoubling, int *width, int *height, int *frames, int transparency);
/* A new malloc'd width x height buffer of 0xAARRGGBB words showing frame n,
   or null (the reader stays usable from frame 0). */
uint32_t *ReadIFFAnimFrame(cxIffAnim *anim, int frame, int *transparent);
/* Delay of a frame in milliseconds (ticks of 1/60 s). */
int GetIFFAnimFrameDelay(cxIffAnim *anim, int frame);
void CloseIFFAnim(cxIffAnim *anim);
/* Applies the next delta; the plane buffer it changed, or null. */
uint8_t *DecodeIFFAnimFrame(cxIffAnim *anim);

#ifdef __cplusplus
}
#endif
