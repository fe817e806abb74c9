// The platform bitmap: plain pixel memory in the platform's pixel format.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxOsBitmap {
    int32_t width;
    int32_t height;
    uint8_t *pixels;
    uint32_t bytesPerRow;
    uint32_t bytesPerPixel;
    uint32_t depth;       /* 15, 16, 24 or 32 */
    uint32_t notOwned;    /* 1: the pixels belong to the caller and are never freed */
    uint32_t format;      /* pixel format number 0..13 */
} cxOsBitmap;

/* Pixel format of new platform bitmaps (10, 0xAARRGGBB, unless the platform
   detects another one for its screen). */
uint32_t OsGetPixelFormat(void);
void OsSetPixelFormat(uint32_t format);

/* The most bytes one bitmap's pixels may span: below 2^31, so that every
   offset into them is exact on the 32-bit target. The pixel kernels refuse
   larger buffers, so no larger bitmap is made. */
#define CX_OS_MAX_BITMAP_BYTES 0x7FFFFFFFu

/* A new platform bitmap in the platform format, rows padded to 4 bytes;
   cleared when clear is non-zero. Null for an empty request, one beyond
   CX_OS_MAX_BITMAP_BYTES, or when memory runs out. The hint is reserved
   for the platform. */
cxOsBitmap *OsAllocBitMap(int32_t width, int32_t height, int clear, uint32_t hint);
/* Wraps caller-owned pixels; they are never freed by OsFreeBitMap. */
cxOsBitmap *OsWrapBitMap(int32_t width, int32_t height, void *pixels, uint32_t bytesPerRow, uint32_t format);
void OsFreeBitMap(cxOsBitmap *bm);

#ifdef __cplusplus
}
#endif
