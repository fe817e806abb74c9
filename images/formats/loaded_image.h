// The record the built-in image loaders hand back: a format code and a
// buffer of 0xAARRGGBB words, width x height, rows from the top.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum cxImageFormat {
    CX_IMGFMT_BMP = 0,
    CX_IMGFMT_PNG = 1,
    CX_IMGFMT_JPEG = 2,
    CX_IMGFMT_GIF = 3,
    CX_IMGFMT_ILBM = 4,
    CX_IMGFMT_TIFF = 5,    /* recognised by the header probe only */
    CX_IMGFMT_NATIVE = 6,  /* the platform's picture loader */
    CX_IMGFMT_PLUGIN = 7,  /* a plug-in loader (size queries) */
    CX_IMGFMT_UNKNOWN = 8
};

typedef struct cxLoadedImage {
    uint32_t format; /* cxImageFormat */
    void *pixels;    /* uint32_t words, or the platform's handle for format 6 */
    uint32_t extra;  /* the native loader's word; 0 otherwise */
} cxLoadedImage;

/* Frees the pixels and the record; null is harmless. */
void FreeLoadedImage(cxLoadedImage *image);
/* Frees only the pixels. */
void FreeLoadedImagePixels(cxLoadedImage *image);
/* Frees the old pixels, keeps the new buffer (malloc'd), format 8. */
void SetLoadedImagePixels(cxLoadedImage *image, uint32_t *pixels);
uint32_t *GetLoadedImagePixels(cxLoadedImage *image);

#ifdef __cplusplus
}
#endif
