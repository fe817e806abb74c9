#include "text/layout/outline_image.h"

#include <algorithm>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "text/layout/edge_draw.h"
#include "text/layout/text_types.h"

extern "C" int BuildOutlineImage(const cxBitmap *mask, const cxBitmap *alpha, int32_t w, int32_t h, uint32_t colour,
                                 int32_t e, cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha,
                                 int32_t *outWidth, int32_t *outHeight) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    if (e < 1 || e > CX_TEXT_MAX_EFFECT || w < 1 || h < 1) return ERR_WRONGUSAGE;
    std::vector<uint8_t> cov, edge;
    std::vector<uint32_t> sums;
    try {
        cov.assign(size_t(w) * size_t(h), mask || alpha ? 0 : 255);
    } catch (...) {
        return ERR_MEM;
    }
    const cxBitmap *shape = alpha ? alpha : mask;
    if (shape) {
        cxOsBitmapLock l{};
        if (!LockBitmap(shape, CX_LOCK_SOURCE, &l) || !l.pixels) {
            UnlockBitmap(&l);
            return ERR_LOCKBMAP;
        }
        const int32_t rw = std::min(w, l.width), rh = std::min(h, l.height);
        for (int32_t y = 0; y < rh; ++y) {
            const uint8_t *row = l.pixels + size_t(y) * l.rowLength;
            uint8_t *out = cov.data() + size_t(y) * size_t(w);
            for (int32_t x = 0; x < rw; ++x) out[x] = alpha ? row[x] : ((row[x >> 3] & (0x80u >> (x & 7))) ? 255 : 0);
        }
        UnlockBitmap(&l);
    }
    try {
        BuildEdgeCoverage(cov.data(), w, h, e, alpha != nullptr, sums, edge);
    } catch (...) {
        return ERR_MEM;
    }
    const int32_t ow = w + 2 * e + 1, oh = h + 2 * e + 1, ew = w + 2 * e;
    cxBitmap *b = AllocBitmap(ow, oh, 0, 0);
    if (!b) return ERR_BITMAP;
    FillRect(b, 0, 0, ow, oh, colour & 0xFFFFFF);
    const uint32_t opacity = 255 - (colour >> 24);
    const bool useAlpha = alpha || opacity != 255;
    cxBitmap *m = useAlpha ? AllocAlphaChannel(ow, oh, 1, nullptr, 0) : AllocMask(b, ow, oh, 1, nullptr, 0);
    if (!m) {
        FreeBitmap(b);
        return useAlpha ? ERR_ALLOCALPHA : ERR_ALLOCMASK;
    }
    cxOsBitmapLock l{};
    if (LockBitmap(m, 0, &l) && l.pixels) {
        for (int32_t y = 0; y < oh - 1; ++y) {
            uint8_t *row = l.pixels + size_t(y) * l.rowLength;
            const uint8_t *src = edge.data() + size_t(y) * size_t(ew);
            for (int32_t x = 0; x < ew; ++x) {
                if (useAlpha) row[x] = uint8_t((src[x] * opacity + 127) / 255);
                else if (src[x]) row[x >> 3] |= uint8_t(0x80u >> (x & 7));
            }
        }
    }
    UnlockBitmap(&l);
    *outBitmap = b;
    (useAlpha ? *outAlpha : *outMask) = m;
    *outWidth = ow;
    *outHeight = oh;
    return 0;
}
