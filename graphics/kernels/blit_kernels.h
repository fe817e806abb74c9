// Software pixel kernels under the blitters. A kernel is handed a job whose
// rectangle lies inside every buffer (the drivers of kernel_guard.h check
// that); it never allocates, locks or fails, and its loops do not branch per
// pixel.
//
// Colour buffers' row lengths are in pixels, alpha channels' and masks' in
// bytes. Mask bits run from the most significant bit of each byte; a set bit
// is visible. Members named 16 take formats 0-7 (2-byte pixels, computed in
// RGB 5-6-5); members named 32 take formats 8-13 (3- and 4-byte pixels,
// computed in 0x00RRGGBB). Jobs without a format move whole 2- or 4-byte
// words (the plain copy, the masked copy and the masked fill); their 3-byte
// counterparts are done by the drivers.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxPixelCopyJob {
    const void *srcPixels;
    void *dstPixels;
    int32_t srcX, srcY, dstX, dstY, width, height;
    int32_t srcRowLength, dstRowLength;
    int32_t convert; /* 32-bit member: convert between formats 10-13 */
    uint32_t srcFormat, dstFormat;
} cxPixelCopyJob;

typedef struct cxMaskedCopyJob {
    const void *srcPixels;
    void *dstPixels;
    const uint8_t *mask; /* read at the source coordinates */
    int32_t srcX, srcY, dstX, dstY, width, height;
    int32_t srcRowLength, maskRowLength, dstRowLength;
    int32_t conversion; /* 32-bit member: 0 copy, 1 format 10 to 11, 2 format 10 to 12 */
} cxMaskedCopyJob;

typedef struct cxAlphaBlendJob {
    const void *srcPixels;
    int32_t srcX, srcY, alphaX, alphaY, srcRowLength;
    void *dstPixels;
    int32_t dstX, dstY, dstRowLength, width, height;
    const uint8_t *srcAlpha;
    const uint8_t *dstAlpha; /* read at the destination coordinates (mode 2) */
    int32_t srcAlphaRowLength, dstAlphaRowLength;
    uint32_t pixelFormat;
} cxAlphaBlendJob;

typedef struct cxAlphaChannelJob {
    int32_t covX, covY;
    void *dstPixels;
    int32_t dstX, dstY, dstRowLength, width, height;
    const uint8_t *coverage;
    uint8_t *dstAlpha; /* modes 2 and 3, at the destination coordinates */
    int32_t coverageRowLength, dstAlphaRowLength;
    uint32_t pixelFormat;
    uint32_t colour; /* a pixel value of pixelFormat */
    int32_t mode;
    int32_t level; /* 0-255 */
    const uint16_t *coverage16; /* mode 3: low 8 bits used, row length in entries */
    int32_t coverage16RowLength;
    const void *colourPixels; /* optional per-pixel colours, read at the coverage coordinates */
    int32_t colourRowLength;
} cxAlphaChannelJob;

typedef struct cxFillJob {
    void *dstPixels;
    int32_t x, y, width, height, rowLength;
    uint32_t pixelFormat;
    uint32_t pixel; /* a pixel value of pixelFormat */
    int32_t level;  /* blended fills: opacity 0-255 */
} cxFillJob;

typedef struct cxMaskFillJob {
    void *dstPixels;
    int32_t x, y, width, height, rowLength;
    const uint8_t *mask;
    int32_t maskX, maskY, maskRowLength;
    uint32_t pixel;
} cxMaskFillJob;

typedef struct cxARGBRowsJob {
    uint32_t *argb; /* packed 0xAARRGGBB words */
    int32_t argbRowLength;
    void *pixels;
    int32_t x, y, width, height, rowLength;
    uint32_t pixelFormat;
} cxARGBRowsJob;

/* Clip-shape job: cuts a blit's mask or alpha channel to a clip region's
   shape. The replacement has the source mask's (or alpha channel's)
   coordinates; the clip mask is read at (clipX + i, clipY + j) for pixel
   (srcX + i, srcY + j). */
typedef struct cxClipMaskJob {
    const uint8_t *clipMask;
    int32_t clipX, clipY, clipRowLength;
    const uint8_t *srcMask; /* may be null */
    const uint8_t *srcAlpha; /* when set, the result is an alpha channel */
    int32_t srcRowLength;    /* bytes per row of the source mask or alpha */
    uint8_t *dst;
    int32_t dstRowLength;
    int32_t srcX, srcY, width, height;
} cxClipMaskJob;

/* Copies and fills. */
void CopyPixels16(const cxPixelCopyJob *job);
void CopyPixels32(const cxPixelCopyJob *job);
void CopyPixelsThroughMask16(const cxMaskedCopyJob *job);
void CopyPixelsThroughMask32(const cxMaskedCopyJob *job);
void FillPixels16(const cxFillJob *job);
void FillPixels32(const cxFillJob *job);
/* Blends job->pixel at job->level (0 leaves, 255 stores). */
void BlendFillPixels16(const cxFillJob *job);
void BlendFillPixels32(const cxFillJob *job);
void FillColorThroughMask16(const cxMaskFillJob *job);
void FillColorThroughMask32(const cxMaskFillJob *job);

/* Alpha blits: mode 0 blend, 1 copy where alpha is not 0, 2 over a
   destination that has its own alpha. */
void BlendAlphaPixels16(const cxAlphaBlendJob *job);
void BlendAlphaPixels32(const cxAlphaBlendJob *job);
void CopyAlphaPixels16(const cxAlphaBlendJob *job);
void CopyAlphaPixels32(const cxAlphaBlendJob *job);
void CompositeAlphaPixels16(const cxAlphaBlendJob *job);
void CompositeAlphaPixels32(const cxAlphaBlendJob *job);
void BltAlphaChannelPixels16(const cxAlphaChannelJob *job);
void BltAlphaChannelPixels32(const cxAlphaChannelJob *job);

/* ARGB import and export. ReadARGBFast returns 0 (and writes nothing) for a
   format without a fast path: 4, 10, 11, 12 and 13 have one. */
void StoreARGBPixels16(const cxARGBRowsJob *job);
void StoreARGBPixels32(const cxARGBRowsJob *job);
int ReadARGBFast(const cxARGBRowsJob *job);

/* Alpha channels and masks. */
void FillAlphaBytes(uint8_t *alpha, int32_t x, int32_t y, int32_t bytesPerRow, int32_t width, int32_t height,
                    uint8_t value);
void FillAlphaThroughMask(const uint8_t *mask, int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, uint8_t *alpha,
                          int32_t x, int32_t y, int32_t alphaBytesPerRow, int32_t width, int32_t height, uint8_t value);
void ScaleAlphaBytes(const uint8_t *src, uint8_t *dst, int32_t height, int32_t bytesPerRow, uint32_t factor);
void BltAlphaBytes(const uint8_t *src, int32_t srcX, int32_t srcY, int32_t srcBytesPerRow, uint8_t *dst, int32_t dstX,
                   int32_t dstY, int32_t dstBytesPerRow, int32_t width, int32_t height, int32_t mode, uint32_t value);
void AlphaToMaskBits(const uint8_t *alpha, int32_t alphaX, int32_t alphaY, int32_t alphaBytesPerRow, uint8_t *mask,
                     int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, int32_t width, int32_t height,
                     int32_t maskMode);
void ClipBlitMask(const cxClipMaskJob *job);
void ExtractAlphaBytes(const uint32_t *argb, int32_t width, int32_t height, int32_t srcRowLength, uint8_t *alpha,
                       int32_t alphaBytesPerRow);

/* Rows of 8-bit palette indices to 32-bit colours; encoding 6 and 8 are the
   hold-and-modify encodings with 4 and 6 data bits. The palette has 256
   entries. */
void ExpandIndexedRows(const uint8_t *src, int32_t srcRowLength, uint32_t *dst, int32_t dstRowLength, int32_t width,
                       int32_t height, const uint32_t *palette, int32_t encoding);

#ifdef __cplusplus
}
#endif
