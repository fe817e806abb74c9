#include "images/core/argb_bitmaps.h"

#include <cstddef>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"

extern "C" int MakeBitmapFromARGB(const uint32_t *pixels, int32_t key, int32_t width, int32_t height,
                                  int32_t rowLength, cxBitmap **bitmap, cxBitmap **mask) {
    *bitmap = nullptr;
    if (mask) *mask = nullptr;
    cxBitmap *bm = AllocBitmap(width, height, 0, 0);
    if (!bm) return ERR_BITMAP;
    cxOsBitmapLock lock;
    if (!LockBitmap(bm, 0, &lock)) {
        UnlockBitmap(&lock);
        FreeBitmap(bm);
        return ERR_BITMAP;
    }
    for (int32_t y = 0; y < height; ++y)
        ARGBToPixelRow(pixels + size_t(y) * rowLength, lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel,
                       lock.pixelFormat, width);
    UnlockBitmap(&lock);

    cxBitmap *mk = nullptr;
    if (mask && key != -1) {
        const uint32_t rgb = uint32_t(key) & 0xFFFFFF;
        bool any = false;
        for (int32_t y = 0; y < height && !any; ++y)
            for (int32_t x = 0; x < width; ++x)
                if ((pixels[size_t(y) * rowLength + x] & 0xFFFFFF) == rgb) {
                    any = true;
                    break;
                }
        if (any) {
            mk = AllocMask(bm, width, height, 1, nullptr, 0);
            cxOsBitmapLock ml;
            if (!mk || !LockBitmap(mk, 0, &ml)) {
                if (mk) UnlockBitmap(&ml);
                FreeMask(mk);
                FreeBitmap(bm);
                return ERR_ALLOCMASK;
            }
            for (int32_t y = 0; y < height; ++y) {
                const uint32_t *src = pixels + size_t(y) * rowLength;
                uint8_t *row = ml.pixels + size_t(y) * ml.rowLength;
                for (int32_t x = 0; x < width; ++x)
                    if ((src[x] & 0xFFFFFF) != rgb) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
            UnlockBitmap(&ml);
        }
    }
    *bitmap = bm;
    if (mask) *mask = mk;
    return 0;
}

extern "C" cxBitmap *MakeAlphaFromARGB(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength) {
    return AlphaChannelFromARGB(pixels, width, height, rowLength);
}
