// Putting glyph images into locked targets: coverage bytes or 1-bit glyph
// bits as one colour into a colour bitmap, into a mask or into an alpha
// channel. Rectangles reach these already clipped to the target.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A rectangle of the target and where its pixels come from. */
typedef struct cxGlyphBlit {
    const uint8_t *src; /* coverage bytes, or glyph bits (most significant bit leftmost) */
    int32_t srcRowBytes;
    int32_t srcX, srcY; /* srcX counts pixels (bits for glyph bits) */
    int32_t dstX, dstY, width, height;
} cxGlyphBlit;

/* The target's clip: the clip rectangle (or the whole target when null) cut
   to the target's size. */
void ClipToTarget(const cxOsBitmapLock *target, const cxClipRect *clip, cxClipRect *out);

/* Colour targets; pixel is a value of the target's format. Coverage is
   blended (0 keeps, 255 stores); glyph bits store where set. */
void BlitCoverageColour(const cxOsBitmapLock *dst, const cxGlyphBlit *b, uint32_t pixel);
void BlitBitsColour(const cxOsBitmapLock *dst, const cxGlyphBlit *b, uint32_t pixel);
/* Mask targets: set bits are ORed in. */
void BlitBitsMask(const cxOsBitmapLock *dst, const cxGlyphBlit *b);
/* Alpha targets: every non-zero coverage byte is stored. */
void BlitCoverageAlpha(const cxOsBitmapLock *dst, const cxGlyphBlit *b);

#ifdef __cplusplus
}
#endif
