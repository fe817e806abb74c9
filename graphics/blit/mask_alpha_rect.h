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

#ifdef __cplusplus
}
#endif
