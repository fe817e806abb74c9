#include "graphics/effects/shadow_alpha.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "graphics/effects/convolve.h"
#include "graphics/support/locked_bitmap.h"

namespace {

int BlurAlpha(const cxOsBitmapLock &l, int32_t w, int32_t h, double radius, double sigma) {
    cxConvolveJob job{nullptr, w, h, 0, 0, 0, l.pixels, int32_t(l.rowLength), radius, sigma, CX_CONVOLVE_BLUR, 0};
    ConvolvePixels(&job);
    return job.result;
}

} // namespace

extern "C" cxBitmap *CreateShadowAlpha(const cxBitmap *mask, const cxBitmap *alpha, int32_t srcX, int32_t srcY,
                                       int32_t width, int32_t height, int32_t opacity, int32_t harden,
                                       int32_t secondPass, double radius, double sigma) {
    if (!std::isfinite(radius) || !std::isfinite(sigma) || width < 1 || height < 1 || srcX < 0 || srcY < 0)
        return nullptr;
    if (radius < 0) radius = 0;
    if (KernelWidth1D(radius, sigma) > CX_MAX_KERNEL_1D) return nullptr;
    const int32_t d = int32_t(radius);
    const int64_t ow = int64_t(width) + 2 * d, oh = int64_t(height) + 2 * d;
    if (ow > cx::gfx::kMaxSide || oh > cx::gfx::kMaxSide) return nullptr;
    const uint32_t level = uint32_t(std::clamp(opacity, 0, 255));

    cx::gfx::LockedBitmap src;
    const bool fromAlpha = alpha != nullptr, fromMask = !alpha && mask;
    if (fromAlpha && (src.Alpha(alpha, alpha->width, alpha->height) != 0 || int64_t(srcX) + width > alpha->width ||
                      int64_t(srcY) + height > alpha->height))
        return nullptr;
    if (fromMask && (src.Mask(mask, mask->width, mask->height) != 0 || int64_t(srcX) + width > mask->width ||
                     int64_t(srcY) + height > mask->height))
        return nullptr;

    cxBitmap *out = AllocAlphaChannel(int32_t(ow), int32_t(oh), 1, nullptr, 0);
    if (!out) return nullptr;
    cxOsBitmapLock l{};
    if (!LockBitmap(out, 0, &l)) {
        FreeAlphaChannel(out);
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = l.pixels + ptrdiff_t(y + d) * l.rowLength + d;
        if (fromAlpha) {
            const uint8_t *s = src.Pixels() + ptrdiff_t(srcY + y) * src.RowLength() + srcX;
            for (int32_t x = 0; x < width; ++x) row[x] = uint8_t(s[x] * level / 255);
        } else if (fromMask) {
            const uint8_t *s = src.Pixels() + ptrdiff_t(srcY + y) * src.RowLength();
            for (int32_t x = 0; x < width; ++x) {
                const int32_t bx = srcX + x;
                row[x] = ((s[bx >> 3] >> (7 - (bx & 7))) & 1) ? uint8_t(level) : 0;
            }
        } else {
            std::fill(row, row + width, uint8_t(level));
        }
    }
    int e = BlurAlpha(l, int32_t(ow), int32_t(oh), radius, sigma);
    if (!e && harden) {
        for (int64_t y = 0; y < oh; ++y) {
            uint8_t *row = l.pixels + ptrdiff_t(y) * l.rowLength;
            for (int64_t x = 0; x < ow; ++x) row[x] = row[x] ? 255 : 0;
        }
    }
    if (!e && secondPass) e = BlurAlpha(l, int32_t(ow), int32_t(oh), radius / 2, radius / 6);
    UnlockBitmap(&l);
    if (e) {
        FreeAlphaChannel(out);
        return nullptr;
    }
    return out;
}
