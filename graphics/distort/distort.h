// The distortion engine: a source image mapped onto a new image through a
// reverse mapping (perspective, arc, polar or barrel), sampled at the
// nearest pixel or by an elliptical weighted average that follows the
// mapping's local scale.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_DISTORT_PERSPECTIVE 4
#define CX_DISTORT_ARC 9
#define CX_DISTORT_POLAR 10
#define CX_DISTORT_BARREL 12

/* Largest result side; larger extents (a mapping running off towards its
   horizon) are refused before anything is allocated. */
#define CX_DISTORT_MAX_SIDE 16384

typedef struct cxDistortJob {
    /* Filled by the caller for both steps. */
    int32_t srcWidth, srcHeight;
    int32_t pageX, pageY;
    int32_t method;
    int32_t argCount;
    const double *args;
    int32_t smooth;
    /* Results of ComputeDistortionCoefficients. */
    double coefficients[10];
    int32_t dstWidth, dstHeight;
    int32_t offsetX, offsetY; /* position of the result's top-left pixel in the mapping's space */
    int32_t error;            /* 0, ERR_MEM or ERR_WRONGUSAGE */
    /* For RenderDistortion. */
    const void *srcPixels;
    uint32_t pixelFormat; /* source and result */
    int32_t bytesPerPixel;
    int32_t srcRowLength; /* pixels */
    const uint8_t *srcMask;
    int32_t srcMaskRowLength; /* bytes */
    const uint8_t *srcAlpha;
    int32_t srcAlphaRowLength;
    void *dstPixels;
    int32_t dstRowLength;
    uint8_t *dstMask; /* exactly one of dstMask and dstAlpha; the mask starts cleared */
    int32_t dstMaskRowLength;
    uint8_t *dstAlpha;
    int32_t dstAlphaRowLength;
} cxDistortJob;

/* Coefficients, result size and offset from the arguments; sets error to
   ERR_WRONGUSAGE for a wrong argument count, a number that is not finite, a
   degenerate fit, an invalid radius or angle, a perspective whose source
   corners reach or cross the horizon, or a result larger than
   CX_DISTORT_MAX_SIDE. */
void ComputeDistortionCoefficients(cxDistortJob *job);

/* Fills every result pixel; pixels that map outside the source, or behind a
   perspective's horizon, are transparent black. */
void RenderDistortion(cxDistortJob *job);

/* Prepares the sampling ellipse of one destination pixel from the partial
   derivatives of the reverse mapping. Exposed for tests. */
typedef struct cxResampler {
    int32_t width, height;
    double pixelCount;
    int32_t interpolate, limit;
    double A, B, C;
    double sqrtA, sqrtC, sqrtU, slope;
} cxResampler;
void ScaleResampleEllipse(cxResampler *resampler, double dux, double duy, double dvx, double dvy);

/* Runs the engine into new bitmaps of the size it yields: the result gets
   an alpha channel when the source has an alpha channel but no mask, or no
   transparency and smooth set; else a mask. mask and alpha may be null.
   Returns 0 or ERR_MEM, ERR_WRONGUSAGE, ERR_LOCKBMAP, ERR_BITMAP,
   ERR_ALLOCALPHA, ERR_ALLOCMASK; nothing is returned on error. */
int DistortBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height, int32_t method,
                  int32_t argCount, const double *args, int32_t smooth, cxBitmap **outBitmap, cxBitmap **outMask,
                  cxBitmap **outAlpha, int32_t *outWidth, int32_t *outHeight);

#ifdef __cplusplus
}
#endif
