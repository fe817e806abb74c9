// Affine transform of pixels with their mask or alpha channel, and exact
// quarter turns.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTransformJob {
    const void *srcPixels;
    void *dstPixels;
    const uint8_t *srcMask;
    uint8_t *dstMask;
    const uint8_t *srcAlpha;
    uint8_t *dstAlpha;
    int32_t srcWidth, srcHeight;
    int32_t dstWidth, dstHeight;
    int32_t srcRowLength, dstRowLength; /* pixels */
    int32_t srcMaskRowLength, dstMaskRowLength; /* bytes */
    int32_t srcAlphaRowLength, dstAlphaRowLength; /* bytes */
    int32_t smooth;
    uint32_t pixelFormat;
    int32_t bytesPerPixel;
    /* Destination point = M * source point + t, with M = {m00 m01; m10 m11}. */
    double m00, m01, m10, m11, tx, ty;
    int32_t direction; /* quarter turns: 1 counter-clockwise, other non-zero clockwise */
} cxTransformJob;

/* Maps the source through the transform into the destination; pixels
   outside the mapped area are left as they are. The caller (RunTransformJob)
   has checked the job; a singular matrix writes nothing. */
void TransformPixels(const cxTransformJob *job);
/* Turns the source by a quarter: the destination is srcHeight x srcWidth. */
void RotatePixelsQuarter(const cxTransformJob *job);

/* Size of the bounding box of a width x height box mapped by the 2x2 matrix
   {m00, m01, m10, m11}: size = ceil(max - min - 0.5) on each axis, at least
   1; minX/minY is the box's top-left, to be negated into the translation.
   Returns 0; ERR_BADDIMENSIONS for a size below 1 or a non-finite matrix,
   ERR_BITMAP for a box no bitmap can hold. A singular matrix gives 0 x 0
   and 0. */
int GetTransformedSize(const double matrix[4], int32_t width, int32_t height, int32_t *outWidth, int32_t *outHeight,
                       double *minX, double *minY);

#ifdef __cplusplus
}
#endif
