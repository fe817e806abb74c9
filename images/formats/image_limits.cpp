#include "images/formats/image_limits.h"

namespace {
uint64_t g_pixelLimit = CX_IMAGE_PIXEL_LIMIT;
}

extern "C" int IsImageSizeAllowed(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return 0;
    if (width > int64_t{1} << 31 || height > int64_t{1} << 31) return 0;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= g_pixelLimit;
}

extern "C" uint64_t GetImagePixelLimit(void) { return g_pixelLimit; }

extern "C" void SetImagePixelLimit(uint64_t pixels) { g_pixelLimit = pixels ? pixels : CX_IMAGE_PIXEL_LIMIT; }
