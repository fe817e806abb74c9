#include "graphics/blit/mask_alpha_rect.h"

#include <algorithm>
#include <cstring>

#include "graphics/kernels/blit_kernels.h"

namespace {

// The rectangle inside 0..w-1 x 0..h-1; false when nothing is left.
bool ClipTo(int32_t &x, int32_t &y, int32_t &w, int32_t &h, int64_t bw, int64_t bh) {
    int64_t l = std::max<int64_t>(x, 0), t = std::max<int64_t>(y, 0);
    int64_t r = std::min<int64_t>(int64_t(x) + w, bw), b = std::min<int64_t>(int64_t(y) + h, bh);
    if (w < 1 || h < 1 || r <= l || b <= t) return false;
    x = int32_t(l);
    y = int32_t(t);
    w = int32_t(r - l);
    h = int32_t(b - t);
    return true;
}

} // namespace

extern "C" void FillMaskRect(cxBitmap *mask, int32_t x, int32_t y, int32_t w, int32_t h, int32_t mode) {
    if (!mask || mask->kind != CX_BITMAP_MASK) return;
    if (mode != CX_MASKVISIBLE && mode != CX_MASKVANILLACOPY && mode != CX_MASKOR && mode != CX_MASKINVISIBLE &&
        mode != CX_MASKXOR)
        return;
    cxOsBitmapLock l;
    if (LockBitmap(mask, 0, &l) &&
        ClipTo(x, y, w, h, std::min<int64_t>(mask->width, int64_t(l.rowLength) * 8), std::min(mask->height, l.height))) {
        for (int32_t j = 0; j < h; ++j) {
            uint8_t *row = l.pixels + size_t(y + j) * l.rowLength;
            for (int32_t i = x; i < x + w;) {
                // Whole bytes at once where the run covers them.
                if ((i & 7) == 0 && i + 8 <= x + w) {
                    uint8_t &b = row[i >> 3];
                    b = mode == CX_MASKINVISIBLE ? 0 : mode == CX_MASKXOR ? uint8_t(~b) : 0xFF;
                    i += 8;
                    continue;
                }
                const uint8_t bit = uint8_t(0x80u >> (i & 7));
                uint8_t &b = row[i >> 3];
                b = mode == CX_MASKINVISIBLE ? uint8_t(b & ~bit) : mode == CX_MASKXOR ? uint8_t(b ^ bit) : uint8_t(b | bit);
                ++i;
            }
        }
    }
    UnlockBitmap(&l);
}

extern "C" void FillAlphaRect(cxBitmap *alpha, int32_t x, int32_t y, int32_t w, int32_t h, uint8_t value) {
    if (!alpha || alpha->kind != CX_BITMAP_ALPHA) return;
    cxOsBitmapLock l;
    if (LockBitmap(alpha, 0, &l) &&
        ClipTo(x, y, w, h, std::min<int64_t>(alpha->width, l.rowLength), std::min(alpha->height, l.height)))
        FillAlphaBytes(l.pixels, x, y, int32_t(l.rowLength), w, h, value);
    UnlockBitmap(&l);
}
