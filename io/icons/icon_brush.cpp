// Icon images taken from brushes: the one place that reads brush records.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"
#include "graphics/pixels/pixel_format.h"
#include "images/brushes/brush.h"
#include "io/icons/icon_sources.h"

namespace {

// The colour bitmap as ARGB with the alpha channel, else the mask, in the
// top byte; opaque without either.
int ReadBitmapPixels(const cxBrush *b, uint32_t *out) {
    const size_t w = static_cast<size_t>(b->width);
    cxOsBitmapLock lock{};
    if (!LockBitmap(b->bitmap, CX_LOCK_SOURCE, &lock)) {
        UnlockBitmap(&lock);
        return ERR_LOCKBMAP;
    }
    const int rows = std::min<int>(b->height, lock.height), cols = std::min<int>(b->width, lock.width);
    for (int y = 0; y < rows; y++)
        PixelRowToARGB(lock.pixels + static_cast<size_t>(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat,
                       out + y * w, cols);
    UnlockBitmap(&lock);
    for (size_t i = 0; i < w * b->height; i++) out[i] |= 0xFF000000u;
    if (b->alpha) {
        cxOsBitmapLock a{};
        if (LockBitmap(b->alpha, CX_LOCK_SOURCE, &a))
            for (int y = 0; y < std::min(rows, static_cast<int>(a.height)); y++)
                for (int x = 0; x < std::min(cols, static_cast<int>(a.width)); x++)
                    out[y * w + x] = (out[y * w + x] & 0xFFFFFFu) |
                                     uint32_t{a.pixels[static_cast<size_t>(y) * a.rowLength + x]} << 24;
        UnlockBitmap(&a);
    } else if (b->mask) {
        cxOsBitmapLock m{};
        if (LockBitmap(b->mask, CX_LOCK_SOURCE, &m))
            for (int y = 0; y < std::min(rows, static_cast<int>(m.height)); y++)
                for (int x = 0; x < std::min(cols, static_cast<int>(m.width)); x++)
                    if (!((m.pixels[static_cast<size_t>(y) * m.rowLength + (x >> 3)] >> (7 - (x & 7))) & 1))
                        out[y * w + x] &= 0xFFFFFFu;
        UnlockBitmap(&m);
    }
    return 0;
}

// A brush loaded before any display: its kept image, opaque unless the
// brush has an alpha channel; a transparent colour clears its pixels.
int ReadKeptPixels(const cxBrush *b, bool hasAlpha, uint32_t *out) {
    const uint32_t *src = b->image ? GetImageHandlePixels(b->image) : nullptr;
    if (!src) return ERR_WRONGUSAGE;
    const size_t row = b->imageRowLength > 0 ? static_cast<size_t>(b->imageRowLength) : static_cast<size_t>(b->width);
    const size_t x0 = b->bitmap ? 0 : static_cast<size_t>(std::max(0, b->pendingX));
    const size_t y0 = b->bitmap ? 0 : static_cast<size_t>(std::max(0, b->pendingY));
    for (int y = 0; y < b->height; y++) {
        uint32_t *line = out + static_cast<size_t>(y) * b->width;
        memcpy(line, src + (y0 + y) * row + x0, static_cast<size_t>(b->width) * 4);
        for (int x = 0; x < b->width; x++) {
            if (!hasAlpha) line[x] |= 0xFF000000u;
            if (b->transparentColour >= 0 && b->transparentColour != CX_TRANSPARENT_BY_MASK &&
                (line[x] & 0xFFFFFFu) == static_cast<uint32_t>(b->transparentColour))
                line[x] &= 0xFFFFFFu;
        }
    }
    return 0;
}

} // namespace

int GetBrushIconImage(lua_State *L, cxObjectID id, int deferred, cxIconSource *out) {
    *out = cxIconSource{};
    cxBrush *b = nullptr;
    if (int err = FindBrush(L, id, &b, 0)) return err;
    out->width = b->width;
    out->height = b->height;
    out->transparent = b->mask || b->alpha || (b->transparentColour != CX_NO_TRANSPARENT_COLOUR) ? 1 : 0;
    if (b->brushKind == CX_BRUSH_VECTOR) {
        if (!b->image) return ERR_BRUSHTYPE;
        RetainImageHandle(b->image);
        out->vector = b->image;
        return 0;
    }
    if (b->width < 1 || b->height < 1) return ERR_WRONGUSAGE;
    out->pixels = static_cast<uint32_t *>(malloc(static_cast<size_t>(b->width) * b->height * 4));
    if (!out->pixels) return ERR_MEM;
    const bool kept = !b->bitmap || (deferred && b->image);
    int err = kept ? ReadKeptPixels(b, b->alpha != nullptr, out->pixels) : ReadBitmapPixels(b, out->pixels);
    if (err) FreeIconSource(out);
    return err;
}
