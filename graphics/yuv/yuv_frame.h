// Video frames in planar YUV 4:2:0 (U and V at half resolution both ways)
// turned into pixels of any destination format, at the same size or scaled
// to another by nearest neighbour, with one fixed integer colour conversion.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxYuvFrameJob {
    const uint8_t *planes[3]; /* Y, U, V */
    int32_t planeRowLength[3]; /* bytes */
    void *dstPixels;
    int32_t srcWidth, srcHeight; /* of the Y plane */
    int32_t dstWidth, dstHeight; /* ScaleYuvFrame only */
    int32_t dstRowLength;        /* pixels */
    uint32_t dstFormat;
    int32_t bytesPerPixel; /* 2, 3 or 4; a format of another size writes nothing */
} cxYuvFrameJob;

/* One sample (limited range, truncating division, clamped to 0..255) as
   0x00RRGGBB. */
uint32_t YuvToRGB(uint32_t y, uint32_t u, uint32_t v);

/* Every source pixel, same size. The caller has checked the job. */
void ConvertYuvFrame(const cxYuvFrameJob *job);
/* Nearest-neighbour scaling to dstWidth x dstHeight. */
void ScaleYuvFrame(const cxYuvFrameJob *job);

/* Checks the job (planes, row lengths, sizes, format) and runs the
   conversion, scaled when the destination size differs: 0,
   ERR_BADDIMENSIONS or ERR_PIXELFORMAT. */
int RunYuvFrameJob(const cxYuvFrameJob *job);

#ifdef __cplusplus
}
#endif
