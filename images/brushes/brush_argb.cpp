// Brushes as ARGB words for plug-ins.
#include <cstdlib>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"

extern "C" uint32_t *GetBrushARGBCopy(cxObjectID id, int32_t *width, int32_t *height, int *error) {
    *error = 0;
    cxBrush *b = nullptr;
    if (int err = FindBrush(nullptr, id, &b, CX_FIND_HARDWARE)) {
        *error = err;
        return nullptr;
    }
    if (b->brushKind == CX_BRUSH_VECTOR) {
        *error = ERR_VECTORBRUSH;
        return nullptr;
    }
    if (!b->bitmap) {
        if (int err = RealizeBrush(b)) {
            *error = err;
            return nullptr;
        }
    }
    auto *out = static_cast<uint32_t *>(malloc(size_t(b->width) * size_t(b->height) * 4));
    if (!out) {
        *error = ERR_MEM;
        return nullptr;
    }
    cxOsBitmapLock l, m{}, a{};
    if (!LockBitmap(b->bitmap, CX_LOCK_SOURCE, &l) || (b->mask && !LockBitmap(b->mask, CX_LOCK_SOURCE, &m)) ||
        (b->alpha && !LockBitmap(b->alpha, CX_LOCK_SOURCE, &a))) {
        UnlockBitmap(&a);
        UnlockBitmap(&m);
        UnlockBitmap(&l);
        free(out);
        *error = ERR_LOCKBMAP;
        return nullptr;
    }
    for (int32_t y = 0; y < b->height; ++y) {
        uint32_t *row = out + size_t(y) * b->width;
        PixelRowToARGB(l.pixels + size_t(y) * l.rowLength * l.bytesPerPixel, l.pixelFormat, row, b->width);
        // The transparency the brush has: its alpha channel, its mask, or none.
        for (int32_t x = 0; x < b->width; ++x) {
            uint32_t alpha = 255;
            if (b->alpha) alpha = a.pixels[size_t(y) * a.rowLength + x];
            else if (b->mask) alpha = (m.pixels[size_t(y) * m.rowLength + (x >> 3)] & (0x80 >> (x & 7))) ? 255 : 0;
            row[x] = (row[x] & 0xFFFFFF) | (alpha << 24);
        }
    }
    UnlockBitmap(&a);
    UnlockBitmap(&m);
    UnlockBitmap(&l);
    *width = b->width;
    *height = b->height;
    return out;
}
