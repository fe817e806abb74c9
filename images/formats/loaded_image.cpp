#include "images/formats/loaded_image.h"

#include <stdlib.h>

// The native platform picture has nothing behind it on Linux: its hooks do
// nothing, and a format-6 record never owns a malloc'd buffer.

extern "C" void FreeLoadedImagePixels(cxLoadedImage *image) {
    if (!image) return;
    if (image->format != CX_IMGFMT_NATIVE) free(image->pixels);
    image->pixels = nullptr;
}

extern "C" void FreeLoadedImage(cxLoadedImage *image) {
    if (!image) return;
    FreeLoadedImagePixels(image);
    free(image);
}

extern "C" void SetLoadedImagePixels(cxLoadedImage *image, uint32_t *pixels) {
    if (!image) return;
    FreeLoadedImagePixels(image);
    image->pixels = pixels;
    image->format = CX_IMGFMT_UNKNOWN;
    image->extra = 0;
}

extern "C" uint32_t *GetLoadedImagePixels(cxLoadedImage *image) {
    if (!image || image->format == CX_IMGFMT_NATIVE) return nullptr;
    return static_cast<uint32_t *>(image->pixels);
}
