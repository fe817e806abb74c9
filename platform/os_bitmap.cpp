#include "platform/os_bitmap.h"

#include <cstdlib>
#include <cstring>

namespace {
uint32_t g_format = 10;

uint32_t BytesPerPixelOf(uint32_t format) {
    if (format <= 7) return 2;
    if (format <= 9) return 3;
    if (format <= 13) return 4;
    return 0;
}
uint32_t DepthOf(uint32_t format) {
    if (format <= 3) return 15;
    if (format <= 7) return 16;
    if (format <= 9) return 24;
    return 32;
}
}  // namespace

extern "C" uint32_t OsGetPixelFormat(void) { return g_format; }
extern "C" void OsSetPixelFormat(uint32_t format) {
    if (format <= 13) g_format = format;
}

extern "C" cxOsBitmap *OsAllocBitMap(int32_t width, int32_t height, int clear, uint32_t) {
    if (width <= 0 || height <= 0) return nullptr;
    const uint32_t bpp = BytesPerPixelOf(g_format);
    // Sizes are checked in 64 bits so that a huge request fails instead of wrapping.
    const uint64_t row = (uint64_t(width) * bpp + 3) & ~uint64_t(3);
    const uint64_t total = row * uint64_t(height);
    if (total > CX_OS_MAX_BITMAP_BYTES) return nullptr;
    auto *bm = static_cast<cxOsBitmap *>(calloc(1, sizeof(cxOsBitmap)));
    if (!bm) return nullptr;
    bm->pixels = static_cast<uint8_t *>(clear ? calloc(1, size_t(total)) : malloc(size_t(total)));
    if (!bm->pixels) {
        free(bm);
        return nullptr;
    }
    bm->width = width;
    bm->height = height;
    bm->bytesPerRow = uint32_t(row);
    bm->bytesPerPixel = bpp;
    bm->depth = DepthOf(g_format);
    bm->format = g_format;
    return bm;
}

extern "C" cxOsBitmap *OsWrapBitMap(int32_t width, int32_t height, void *pixels, uint32_t bytesPerRow,
                                    uint32_t format) {
    if (width <= 0 || height <= 0 || !pixels || format > 13) return nullptr;
    auto *bm = static_cast<cxOsBitmap *>(calloc(1, sizeof(cxOsBitmap)));
    if (!bm) return nullptr;
    bm->width = width;
    bm->height = height;
    bm->pixels = static_cast<uint8_t *>(pixels);
    bm->bytesPerRow = bytesPerRow;
    bm->bytesPerPixel = BytesPerPixelOf(format);
    bm->depth = DepthOf(format);
    bm->format = format;
    bm->notOwned = 1;
    return bm;
}

extern "C" void OsFreeBitMap(cxOsBitmap *bm) {
    if (!bm) return;
    if (!bm->notOwned) free(bm->pixels);
    free(bm);
}
