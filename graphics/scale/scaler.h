// The general scaler: a rectangle of 2-, 3- or 4-byte pixels with its 1-bit
// mask and 8-bit alpha channel resampled to another size, nearest neighbour
// or bilinear ("smooth").
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxScaleJob {
    const void *srcPixels; /* null: scale the mask alone */
    void *dstPixels;
    const uint8_t *srcMask;
    uint8_t *dstMask;
    const uint8_t *srcAlpha;
    uint8_t *dstAlpha;
    int32_t srcMaskBitOffset; /* x of the first source column inside the source mask */
    int32_t srcWidth, srcHeight;
    int32_t dstWidth, dstHeight;
    int32_t srcRowLength, dstRowLength; /* pixels */
    int32_t srcMaskRowLength, dstMaskRowLength; /* bytes */
    int32_t srcAlphaRowLength, dstAlphaRowLength; /* bytes */
    int32_t smooth;
    uint32_t pixelFormat;
    int32_t bytesPerPixel;
    uint32_t *xTable; /* dstWidth + 1 entries, scratch of the caller */
    uint32_t *yTable; /* dstHeight + 1 entries */
} cxScaleJob;

/* Largest source width or height of a smooth scale: positions are 16.16. */
#define CX_SCALE_MAX_SMOOTH_SOURCE 65536

/* Resamples the job. The caller (RunScaleJob) has checked it. */
void ScalePixels(const cxScaleJob *job);
/* Nearest-neighbour scaling of the job's mask and alpha channel alone. */
void ScaleMaskBits(const cxScaleJob *job);
void ScaleAlphaNearest(const cxScaleJob *job);

/* Makes this thread's two scratch position tables hold at least width + 1
   and height + 1 entries; 0 or ERR_MEM. GetScaleTables hands them out. */
int EnsureScaleTables(int32_t width, int32_t height);
void GetScaleTables(uint32_t **xTable, uint32_t **yTable);

#ifdef __cplusplus
}
#endif
