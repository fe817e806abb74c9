#include "graphics/effects/geometry_drivers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/scale/scaler.h"
#include "graphics/support/locked_bitmap.h"
#include "graphics/transform/transform.h"

using cx::gfx::LockedBitmap;

namespace {

constexpr double kPi = 3.14159265358979323846;

// New bitmaps of one size; freed again unless kept.
struct NewSet {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    ~NewSet() {
        FreeBitmap(bitmap);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
    }
    int Make(int32_t w, int32_t h, bool withMask, bool withAlpha, bool clearPixels = true) {
        bitmap = AllocBitmap(w, h, clearPixels ? CX_ALLOC_CLEAR : 0, 0);
        if (!bitmap) return ERR_BITMAP;
        if (withMask && !(mask = AllocMask(bitmap, w, h, 1, nullptr, 0))) return ERR_MEM;
        if (withAlpha && !(alpha = AllocAlphaChannel(w, h, 1, nullptr, 0))) return ERR_MEM;
        return 0;
    }
    void Hand(cxBitmap **b, cxBitmap **m, cxBitmap **a) {
        *b = bitmap, *m = mask, *a = alpha;
        bitmap = mask = alpha = nullptr;
    }
};

// The source's locks, with the rectangle checked against each.
struct SourceSet {
    LockedBitmap colour, mask, alpha;
    int Lock(const cxBitmap *b, const cxBitmap *m, const cxBitmap *a, int32_t x, int32_t y, int32_t w, int32_t h) {
        if (x < 0 || y < 0 || w < 1 || h < 1) return ERR_BADDIMENSIONS;
        const int64_t r = int64_t(x) + w, bt = int64_t(y) + h;
        if (r > cx::gfx::kMaxSide || bt > cx::gfx::kMaxSide) return ERR_BADDIMENSIONS;
        if (colour.Colour(b, int32_t(r), int32_t(bt)) != 0) return ERR_LOCKBMAP;
        if (m && mask.Mask(m, int32_t(r), int32_t(bt)) != 0) return ERR_LOCKBMAP;
        if (a && alpha.Alpha(a, int32_t(r), int32_t(bt)) != 0) return ERR_LOCKBMAP;
        return 0;
    }
};

} // namespace

extern "C" int ScaleBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x, int32_t y,
                             int32_t width, int32_t height, int32_t newWidth, int32_t newHeight, int32_t smooth,
                             cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    if (newWidth < 1 || newHeight < 1) return ERR_BADDIMENSIONS;
    // Too large to be made: the allocation's error, not a size below 1.
    if (newWidth > cx::gfx::kMaxSide || newHeight > cx::gfx::kMaxSide) return ERR_BITMAP;
    SourceSet src;
    if (int e = src.Lock(bitmap, mask, alpha, x, y, width, height)) return e;
    // The scaler writes every pixel inside the width, so only the padding
    // at the ends of the rows is cleared: clearing all of a large picture
    // first costs as much again as scaling it.
    NewSet out;
    if (int e = out.Make(newWidth, newHeight, mask != nullptr, alpha != nullptr, false)) return e;
    LockedBitmap d, dm, da;
    if (d.Colour(out.bitmap, newWidth, newHeight) != 0) return ERR_LOCKBMAP;
    if (d.Format() != src.colour.Format()) return ERR_BITMAP;
    if (const size_t pad = size_t(d.RowLength() - newWidth) * d.BytesPerPixel()) {
        for (int32_t r = 0; r < newHeight; ++r)
            std::memset(d.Pixels() + (size_t(r) * d.RowLength() + size_t(newWidth)) * d.BytesPerPixel(), 0, pad);
    }
    if (mask && dm.Mask(out.mask, newWidth, newHeight) != 0) return ERR_LOCKBMAP;
    if (alpha && da.Alpha(out.alpha, newWidth, newHeight) != 0) return ERR_LOCKBMAP;
    const uint32_t bpp = src.colour.BytesPerPixel();
    cxScaleJob job{};
    job.srcPixels = src.colour.Pixels() + (size_t(y) * src.colour.RowLength() + size_t(x)) * bpp;
    job.dstPixels = d.Pixels();
    if (mask) {
        job.srcMask = src.mask.Pixels() + size_t(y) * src.mask.RowLength();
        job.dstMask = dm.Pixels();
        job.srcMaskBitOffset = x;
        job.srcMaskRowLength = src.mask.RowLength();
        job.dstMaskRowLength = dm.RowLength();
    }
    if (alpha) {
        job.srcAlpha = src.alpha.Pixels() + size_t(y) * src.alpha.RowLength() + size_t(x);
        job.dstAlpha = da.Pixels();
        job.srcAlphaRowLength = src.alpha.RowLength();
        job.dstAlphaRowLength = da.RowLength();
    }
    job.srcWidth = width, job.srcHeight = height, job.dstWidth = newWidth, job.dstHeight = newHeight;
    job.srcRowLength = src.colour.RowLength(), job.dstRowLength = d.RowLength();
    job.smooth = smooth;
    job.pixelFormat = src.colour.Format();
    job.bytesPerPixel = int32_t(bpp);
    if (int e = RunScaleJob(&job)) return e;
    d.Release(), dm.Release(), da.Release();
    out.Hand(outBitmap, outMask, outAlpha);
    return 0;
}

extern "C" int RotateBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x,
                              int32_t y, int32_t width, int32_t height, const double matrix[4], int32_t smooth,
                              cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha, int32_t *outWidth,
                              int32_t *outHeight) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    if (!matrix) return ERR_WRONGUSAGE;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(matrix[i]) || std::fabs(matrix[i]) > 1e4) return ERR_WRONGUSAGE;
    int32_t ow = 0, oh = 0;
    double minX = 0, minY = 0;
    if (int e = GetTransformedSize(matrix, width, height, &ow, &oh, &minX, &minY)) return e;
    if (ow < 1 || oh < 1) return ERR_WRONGUSAGE; // singular
    if (ow > cx::gfx::kMaxSide || oh > cx::gfx::kMaxSide) return ERR_BITMAP;
    SourceSet src;
    if (int e = src.Lock(bitmap, mask, alpha, x, y, width, height)) return e;
    const bool useAlpha = alpha != nullptr;
    NewSet out;
    if (int e = out.Make(ow, oh, !useAlpha, useAlpha)) return e;
    // A source without transparency turns as if fully masked in.
    std::vector<uint8_t> allSet;
    const uint8_t *srcMask = nullptr;
    int32_t srcMaskRowLength = 0;
    const uint32_t bpp = src.colour.BytesPerPixel();
    if (!useAlpha) {
        if (mask) {
            // The mask's bits start at column x: shift them into a row of
            // their own when x is not a whole byte.
            srcMaskRowLength = (width + 7) / 8;
            try {
                allSet.assign(size_t(srcMaskRowLength) * height, 0);
            } catch (const std::bad_alloc &) {
                return ERR_MEM;
            }
            for (int32_t r = 0; r < height; ++r) {
                const uint8_t *s = src.mask.Pixels() + size_t(y + r) * src.mask.RowLength();
                uint8_t *dm = allSet.data() + size_t(r) * srcMaskRowLength;
                for (int32_t c = 0; c < width; ++c)
                    if ((s[(x + c) >> 3] >> (7 - ((x + c) & 7))) & 1) dm[c >> 3] |= uint8_t(0x80u >> (c & 7));
            }
        } else {
            srcMaskRowLength = (width + 7) / 8;
            try {
                allSet.assign(size_t(srcMaskRowLength) * height, 0xFF);
            } catch (const std::bad_alloc &) {
                return ERR_MEM;
            }
        }
        srcMask = allSet.data();
    }
    LockedBitmap d, dt;
    if (d.Colour(out.bitmap, ow, oh) != 0) return ERR_LOCKBMAP;
    if (d.Format() != src.colour.Format()) return ERR_BITMAP;
    if ((useAlpha ? dt.Alpha(out.alpha, ow, oh) : dt.Mask(out.mask, ow, oh)) != 0) return ERR_LOCKBMAP;
    cxTransformJob job{};
    job.srcPixels = src.colour.Pixels() + (size_t(y) * src.colour.RowLength() + size_t(x)) * bpp;
    job.dstPixels = d.Pixels();
    if (useAlpha) {
        job.srcAlpha = src.alpha.Pixels() + size_t(y) * src.alpha.RowLength() + size_t(x);
        job.srcAlphaRowLength = src.alpha.RowLength();
        job.dstAlpha = dt.Pixels();
        job.dstAlphaRowLength = dt.RowLength();
    } else {
        job.srcMask = srcMask;
        job.srcMaskRowLength = srcMaskRowLength;
        job.dstMask = dt.Pixels();
        job.dstMaskRowLength = dt.RowLength();
    }
    job.srcWidth = width, job.srcHeight = height, job.dstWidth = ow, job.dstHeight = oh;
    job.srcRowLength = src.colour.RowLength(), job.dstRowLength = d.RowLength();
    job.smooth = smooth;
    job.pixelFormat = src.colour.Format();
    job.bytesPerPixel = int32_t(bpp);
    job.m00 = matrix[0], job.m01 = matrix[1], job.m10 = matrix[2], job.m11 = matrix[3];
    job.tx = -minX, job.ty = -minY;
    if (int e = RunTransformJob(&job)) return e;
    d.Release(), dt.Release();
    out.Hand(outBitmap, outMask, outAlpha);
    *outWidth = ow, *outHeight = oh;
    return 0;
}

namespace {

// In-place resampling of a bitmap with its mask and alpha: each pixel reads
// the source pixel that map(x, y) names (from a copy), or keeps its own when
// map returns false.
template <class Map>
int Remap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height, Map &&map) {
    LockedBitmap c, m, a;
    if (c.Colour(bitmap, width, height) != 0) return ERR_LOCKBMAP;
    if (mask && m.Mask(mask, width, height) != 0) return ERR_LOCKBMAP;
    if (alpha && a.Alpha(alpha, width, height) != 0) return ERR_LOCKBMAP;
    const uint32_t bpp = c.BytesPerPixel();
    std::vector<uint8_t> copy, maskCopy, alphaCopy;
    try {
        copy.resize(size_t(width) * height * bpp);
        if (mask) maskCopy.resize(size_t(width) * height);
        if (alpha) alphaCopy.resize(size_t(width) * height);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(copy.data() + size_t(y) * width * bpp, c.Pixels() + size_t(y) * c.RowLength() * bpp,
                    size_t(width) * bpp);
        if (mask) {
            const uint8_t *row = m.Pixels() + size_t(y) * m.RowLength();
            for (int32_t x = 0; x < width; ++x) maskCopy[size_t(y) * width + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        if (alpha) std::memcpy(alphaCopy.data() + size_t(y) * width, a.Pixels() + size_t(y) * a.RowLength(), size_t(width));
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int32_t sx = x, sy = y;
            if (!map(x, y, sx, sy)) continue;
            const size_t s = size_t(sy) * width + size_t(sx);
            std::memcpy(c.Pixels() + (size_t(y) * c.RowLength() + size_t(x)) * bpp, copy.data() + s * bpp, bpp);
            if (mask) {
                uint8_t &b = m.Pixels()[size_t(y) * m.RowLength() + size_t(x >> 3)];
                const uint8_t bit = uint8_t(0x80u >> (x & 7));
                b = maskCopy[s] ? uint8_t(b | bit) : uint8_t(b & ~bit);
            }
            if (alpha) a.Pixels()[size_t(y) * a.RowLength() + size_t(x)] = alphaCopy[s];
        }
    }
    return 0;
}

} // namespace

extern "C" int PixelateBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                              int32_t size) {
    if (size < 2) return 0;
    return Remap(bitmap, mask, alpha, width, height, [&](int32_t x, int32_t y, int32_t &sx, int32_t &sy) {
        const int32_t bx = x - x % size, by = y - y % size;
        sx = std::min(bx + size / 2, std::min(bx + size, width) - 1);
        sy = std::min(by + size / 2, std::min(by + size, height) - 1);
        sx = std::max(sx, bx), sy = std::max(sy, by);
        return true;
    });
}

extern "C" int SwirlBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                           int32_t angle) {
    const double degrees = std::clamp(angle, -359, 359);
    const double cx = width / 2.0, cy = height / 2.0, radius = std::max(width, height) / 2.0;
    if (degrees == 0 || radius <= 0) return LockedBitmap().Colour(bitmap, width, height) ? ERR_LOCKBMAP : 0;
    return Remap(bitmap, mask, alpha, width, height, [&](int32_t x, int32_t y, int32_t &sx, int32_t &sy) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::sqrt(dx * dx + dy * dy);
        if (r >= radius) return false;
        const double f = 1.0 - r / radius, t = degrees * kPi / 180.0 * f * f;
        const double c = std::cos(t), s = std::sin(t);
        const double ux = c * dx - s * dy + cx, uy = s * dx + c * dy + cy;
        sx = int32_t(std::clamp(std::floor(ux), 0.0, double(width - 1)));
        sy = int32_t(std::clamp(std::floor(uy), 0.0, double(height - 1)));
        return true;
    });
}

extern "C" int RippleBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                            int32_t waveLength, int32_t amplitude, int32_t phase, double centreX, double centreY) {
    if (!std::isfinite(centreX) || !std::isfinite(centreY)) return ERR_WRONGUSAGE;
    const double wl = std::max(waveLength, 1), amp = amplitude, ph = phase * kPi / 180.0;
    const double cx = centreX * width, cy = centreY * height;
    return Remap(bitmap, mask, alpha, width, height, [&](int32_t x, int32_t y, int32_t &sx, int32_t &sy) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::sqrt(dx * dx + dy * dy);
        if (r < 1e-9) return false;
        const double k = amp * std::sin(2.0 * kPi * r / wl + ph) / r;
        const double ux = x + dx * k, uy = y + dy * k;
        sx = int32_t(std::clamp(std::floor(ux + 0.5), 0.0, double(width - 1)));
        sy = int32_t(std::clamp(std::floor(uy + 0.5), 0.0, double(height - 1)));
        return true;
    });
}
