#include "graphics/kernels/kernel_guard.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"

namespace {

constexpr int32_t kChunk = 256; // pixels converted at a time on the stack

bool Fits(int64_t rowLength, int64_t height, int64_t unit) {
    return rowLength >= 0 && rowLength <= CX_MAX_SIDE && height >= 0 && height <= CX_MAX_SIDE &&
           rowLength * height * unit <= CX_MAX_BUFFER_BYTES;
}

int CheckColourLock(const cxOsBitmapLock *l) {
    if (!l || !l->locked || !l->pixels) return ERR_LOCKBMAP;
    if (l->pixelFormat >= CX_PIXFMT_COUNT || l->bytesPerPixel != GetBytesPerPixel(l->pixelFormat))
        return ERR_PIXELFORMAT;
    if (l->width < 1 || l->height < 1 || int64_t(l->rowLength) < l->width || !Fits(l->rowLength, l->height, l->bytesPerPixel))
        return ERR_BADDIMENSIONS;
    return 0;
}

// Usable bytes per row (alpha) or bits per row (mask) of a lock record.
int CheckByteLock(const cxOsBitmapLock *l, uint32_t format) {
    if (!l || !l->locked || !l->pixels) return ERR_LOCKBMAP;
    if (l->pixelFormat != format) return ERR_PIXELFORMAT;
    if (l->height < 1 || l->rowLength < 1 || !Fits(l->rowLength, l->height, 1)) return ERR_BADDIMENSIONS;
    return 0;
}

bool Inside(int64_t x, int64_t y, int64_t w, int64_t h, int64_t width, int64_t height) {
    return x >= 0 && y >= 0 && x + w <= width && y + h <= height;
}

uint8_t *Row(const cxOsBitmapLock *l, int32_t x, int32_t y) {
    return l->pixels + (std::ptrdiff_t(y) * l->rowLength + x) * std::ptrdiff_t(l->bytesPerPixel);
}

// Both lock records usable and the rectangle inside both; 1 when there is
// nothing to do.
int CheckPair(const cxOsBitmapLock *src, int32_t sx, int32_t sy, const cxOsBitmapLock *dst, int32_t dx, int32_t dy,
              int32_t w, int32_t h) {
    if (int e = CheckColourLock(src)) return e;
    if (int e = CheckColourLock(dst)) return e;
    if (w < 1 || h < 1) return 1;
    if (!Inside(sx, sy, w, h, src->width, src->height) || !Inside(dx, dy, w, h, dst->width, dst->height))
        return ERR_COORDSRANGE;
    return 0;
}

// Rows in an order that survives an overlap inside one buffer.
template <class Fn>
void ForRows(const cxOsBitmapLock *src, int32_t sy, const cxOsBitmapLock *dst, int32_t dy, int32_t h, Fn &&fn) {
    if (src->pixels == dst->pixels && dy > sy) {
        for (int32_t r = h - 1; r >= 0; --r) fn(r);
    } else {
        for (int32_t r = 0; r < h; ++r) fn(r);
    }
}

} // namespace

extern "C" int BltBitmapSoft(const cxOsBitmapLock *src, int32_t sx, int32_t sy, const cxOsBitmapLock *dst, int32_t dx,
                             int32_t dy, int32_t w, int32_t h) {
    if (int e = CheckPair(src, sx, sy, dst, dx, dy, w, h)) return e == 1 ? 0 : e;
    const uint32_t sf = src->pixelFormat, df = dst->pixelFormat;
    const bool overlap = src->pixels == dst->pixels && dy > sy;
    if (sf == df && !overlap && src->bytesPerPixel != 3) {
        const cxPixelCopyJob job{src->pixels, dst->pixels, sx, sy, dx, dy, w, h, int32_t(src->rowLength),
                                 int32_t(dst->rowLength), 0, 10, 10};
        if (src->bytesPerPixel == 2) CopyPixels16(&job);
        else CopyPixels32(&job);
        return 0;
    }
    if (sf != df && sf >= 10 && df >= 10) {
        // 32-bit formats among themselves: colour converted, destination alpha kept.
        const cxPixelCopyJob job{src->pixels, dst->pixels, sx, sy, dx, dy, w, h, int32_t(src->rowLength),
                                 int32_t(dst->rowLength), 1, sf, df};
        CopyPixels32(&job);
        return 0;
    }
    // Same format with overlap or 3-byte pixels, or a conversion: row by row.
    ForRows(src, sy, dst, dy, h, [&](int32_t r) { ConvertPixelRow(Row(src, sx, sy + r), sf, Row(dst, dx, dy + r), df, w); });
    return 0;
}

extern "C" int BltBitmapMaskSoft(const cxOsBitmapLock *src, int32_t sx, int32_t sy, const cxOsBitmapLock *dst,
                                 int32_t dx, int32_t dy, int32_t w, int32_t h, const cxOsBitmapLock *mask) {
    if (int e = CheckPair(src, sx, sy, dst, dx, dy, w, h)) return e == 1 ? 0 : e;
    if (int e = CheckByteLock(mask, CX_PIXFMT_MASK)) return e;
    if (!Inside(sx, sy, w, h, int64_t(mask->rowLength) * 8, mask->height)) return ERR_COORDSRANGE;
    const uint32_t sf = src->pixelFormat, df = dst->pixelFormat;
    const int32_t mbpr = int32_t(mask->rowLength);
    // One buffer (a brush scrolled within itself): the row path below.
    const bool shared = src->pixels == dst->pixels;
    if (sf == df && src->bytesPerPixel != 3 && !shared) {
        const cxMaskedCopyJob job{src->pixels, dst->pixels, mask->pixels, sx, sy, dx, dy, w, h,
                                  int32_t(src->rowLength), mbpr, int32_t(dst->rowLength), 0};
        if (src->bytesPerPixel == 2) CopyPixelsThroughMask16(&job);
        else CopyPixelsThroughMask32(&job);
        return 0;
    }
    if (sf == 10 && (df == 11 || df == 12) && !shared) {
        const cxMaskedCopyJob job{src->pixels, dst->pixels, mask->pixels, sx, sy, dx, dy, w, h,
                                  int32_t(src->rowLength), mbpr, int32_t(dst->rowLength), df == 11 ? 1 : 2};
        CopyPixelsThroughMask32(&job);
        return 0;
    }
    // Converted through a buffer in the destination format: chunks on the
    // stack, or, in one shared buffer, each row whole before any of it is
    // written, rows in an order that survives the overlap.
    uint8_t buf[kChunk * 4];
    std::vector<uint8_t> whole(shared ? size_t(w) * dst->bytesPerPixel : 0);
    const int32_t chunk = shared ? w : kChunk;
    uint8_t *const into = shared ? whole.data() : buf;
    const uint32_t bpp = dst->bytesPerPixel;
    ForRows(src, sy, dst, dy, h, [&](int32_t r) {
        const uint8_t *m = mask->pixels + std::ptrdiff_t(sy + r) * mbpr;
        for (int32_t x0 = 0; x0 < w; x0 += chunk) {
            const int32_t n = std::min(chunk, w - x0);
            ConvertPixelRow(Row(src, sx + x0, sy + r), sf, into, df, n);
            uint8_t *d = Row(dst, dx + x0, dy + r);
            for (int32_t i = 0; i < n; ++i) {
                const int32_t bx = sx + x0 + i;
                const bool on = (m[bx >> 3] >> (7 - (bx & 7))) & 1;
                uint8_t *p = d + size_t(i) * bpp;
                StorePixelValue(p, df, on ? LoadPixelValue(into + size_t(i) * bpp, df) : LoadPixelValue(p, df));
            }
        }
    });
    return 0;
}

extern "C" int BltBitmapAlphaKernel(const cxOsBitmapLock *src, int32_t sx, int32_t sy, const cxOsBitmapLock *dst,
                                    int32_t dx, int32_t dy, int32_t w, int32_t h, const cxOsBitmapLock *alpha,
                                    const cxOsBitmapLock *dstAlpha, int32_t mode) {
    if (int e = CheckPair(src, sx, sy, dst, dx, dy, w, h)) return e == 1 ? 0 : e;
    if (int e = CheckByteLock(alpha, CX_PIXFMT_ALPHA)) return e;
    if (!Inside(sx, sy, w, h, alpha->rowLength, alpha->height)) return ERR_COORDSRANGE;
    if (mode < 0 || mode > 2) return ERR_WRONGUSAGE;
    if (mode == 2) {
        if (int e = CheckByteLock(dstAlpha, CX_PIXFMT_ALPHA)) return e;
        if (!Inside(dx, dy, w, h, dstAlpha->rowLength, dstAlpha->height)) return ERR_COORDSRANGE;
    }
    const uint32_t df = dst->pixelFormat;
    cxAlphaBlendJob job{src->pixels, sx, sy, sx, sy, int32_t(src->rowLength), dst->pixels, dx, dy,
                        int32_t(dst->rowLength), w, h, alpha->pixels, mode == 2 ? dstAlpha->pixels : nullptr,
                        int32_t(alpha->rowLength), mode == 2 ? int32_t(dstAlpha->rowLength) : 0, df};
    const auto run = [&] {
        const bool two = dst->bytesPerPixel == 2;
        if (mode == 1) two ? CopyAlphaPixels16(&job) : CopyAlphaPixels32(&job);
        else if (mode == 2) two ? CompositeAlphaPixels16(&job) : CompositeAlphaPixels32(&job);
        else two ? BlendAlphaPixels16(&job) : BlendAlphaPixels32(&job);
    };
    const bool shared = src->pixels == dst->pixels;
    if (src->pixelFormat == df && !shared) {
        run();
        return 0;
    }
    // Source rows are first converted to the destination format; in one
    // shared buffer each row whole, rows in an order that survives the
    // overlap.
    uint8_t buf[kChunk * 4];
    std::vector<uint8_t> whole(shared ? size_t(w) * dst->bytesPerPixel : 0);
    const int32_t chunk = shared ? w : kChunk;
    uint8_t *const into = shared ? whole.data() : buf;
    ForRows(src, sy, dst, dy, h, [&](int32_t r) {
        for (int32_t x0 = 0; x0 < w; x0 += chunk) {
            const int32_t n = std::min(chunk, w - x0);
            ConvertPixelRow(Row(src, sx + x0, sy + r), src->pixelFormat, into, df, n);
            job.srcPixels = into;
            job.srcX = job.srcY = 0;
            job.srcRowLength = n;
            job.alphaX = sx + x0;
            job.alphaY = sy + r;
            job.dstX = dx + x0;
            job.dstY = dy + r;
            job.width = n;
            job.height = 1;
            run();
        }
    });
    return 0;
}

extern "C" int FillRectSoft(const cxOsBitmapLock *dst, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
                            int32_t level) {
    if (int e = CheckColourLock(dst)) return e;
    if (w < 1 || h < 1 || level <= 0) return 0;
    if (!Inside(x, y, w, h, dst->width, dst->height)) return ERR_COORDSRANGE;
    const uint32_t pixel = ColorToPixel(colour, dst->pixelFormat, 0);
    const int32_t rl = int32_t(dst->rowLength);
    const bool two = dst->bytesPerPixel == 2;
    if (level >= 255) {
        const cxFillJob job{dst->pixels, x, y, w, h, rl, two ? 4u : dst->pixelFormat, pixel, 255};
        two ? FillPixels16(&job) : FillPixels32(&job);
    } else {
        const cxFillJob job{dst->pixels, x, y, w, h, rl, dst->pixelFormat, pixel, level};
        two ? BlendFillPixels16(&job) : BlendFillPixels32(&job);
    }
    return 0;
}

namespace {

bool SideOk(int32_t v) { return v >= 1 && v <= CX_MAX_SIDE; }

// A buffer of width x height units with rows of rowLength units.
bool BufferOk(const void *p, int64_t width, int32_t height, int64_t rowLength, int64_t unit) {
    return p && rowLength >= width && Fits(rowLength, height, unit);
}

int CheckFormat(uint32_t format, int32_t bytesPerPixel) {
    return format < CX_PIXFMT_COUNT && uint32_t(bytesPerPixel) == GetBytesPerPixel(format) ? 0 : ERR_PIXELFORMAT;
}

} // namespace

extern "C" int RunScaleJob(cxScaleJob *j) {
    if (!SideOk(j->srcWidth) || !SideOk(j->srcHeight) || !SideOk(j->dstWidth) || !SideOk(j->dstHeight))
        return ERR_BADDIMENSIONS;
    const bool mask = j->srcMask && j->dstMask;
    if (j->srcPixels) {
        if (int e = CheckFormat(j->pixelFormat, j->bytesPerPixel)) return e;
        if (!BufferOk(j->srcPixels, j->srcWidth, j->srcHeight, j->srcRowLength, j->bytesPerPixel) ||
            !BufferOk(j->dstPixels, j->dstWidth, j->dstHeight, j->dstRowLength, j->bytesPerPixel))
            return ERR_BADDIMENSIONS;
        if (j->smooth && (j->srcWidth > CX_SCALE_MAX_SMOOTH_SOURCE || j->srcHeight > CX_SCALE_MAX_SMOOTH_SOURCE))
            return ERR_BADDIMENSIONS;
        if (j->srcAlpha && j->dstAlpha &&
            (!BufferOk(j->srcAlpha, j->srcWidth, j->srcHeight, j->srcAlphaRowLength, 1) ||
             !BufferOk(j->dstAlpha, j->dstWidth, j->dstHeight, j->dstAlphaRowLength, 1)))
            return ERR_BADDIMENSIONS;
    } else if (!mask) {
        return 0;
    }
    if (mask && (j->srcMaskBitOffset < 0 ||
                 !BufferOk(j->srcMask, int64_t(j->srcMaskBitOffset) + j->srcWidth, j->srcHeight, int64_t(j->srcMaskRowLength) * 8, 1) ||
                 !BufferOk(j->dstMask, j->dstWidth, j->dstHeight, int64_t(j->dstMaskRowLength) * 8, 1)))
        return ERR_BADDIMENSIONS;
    if (EnsureScaleTables(j->dstWidth, j->dstHeight)) return ERR_MEM;
    GetScaleTables(&j->xTable, &j->yTable);
    ScalePixels(j);
    return 0;
}

namespace {

int CheckTransformBuffers(const cxTransformJob *j) {
    if (!SideOk(j->srcWidth) || !SideOk(j->srcHeight) || !SideOk(j->dstWidth) || !SideOk(j->dstHeight))
        return ERR_BADDIMENSIONS;
    if (int e = CheckFormat(j->pixelFormat, j->bytesPerPixel)) return e;
    if (!BufferOk(j->srcPixels, j->srcWidth, j->srcHeight, j->srcRowLength, j->bytesPerPixel) ||
        !BufferOk(j->dstPixels, j->dstWidth, j->dstHeight, j->dstRowLength, j->bytesPerPixel))
        return ERR_BADDIMENSIONS;
    if (j->srcAlpha && j->dstAlpha &&
        (!BufferOk(j->srcAlpha, j->srcWidth, j->srcHeight, j->srcAlphaRowLength, 1) ||
         !BufferOk(j->dstAlpha, j->dstWidth, j->dstHeight, j->dstAlphaRowLength, 1)))
        return ERR_BADDIMENSIONS;
    if (j->srcMask && !BufferOk(j->srcMask, j->srcWidth, j->srcHeight, int64_t(j->srcMaskRowLength) * 8, 1))
        return ERR_BADDIMENSIONS;
    if (j->dstMask && !BufferOk(j->dstMask, j->dstWidth, j->dstHeight, int64_t(j->dstMaskRowLength) * 8, 1))
        return ERR_BADDIMENSIONS;
    return 0;
}

} // namespace

extern "C" int RunTransformJob(const cxTransformJob *j) {
    if (int e = CheckTransformBuffers(j)) return e;
    const double m[4] = {j->m00, j->m01, j->m10, j->m11};
    for (double v : m)
        if (!std::isfinite(v) || std::fabs(v) > 1e6) return ERR_WRONGUSAGE;
    if (!std::isfinite(j->tx) || !std::isfinite(j->ty) || std::fabs(j->tx) > 1e9 || std::fabs(j->ty) > 1e9)
        return ERR_WRONGUSAGE;
    TransformPixels(j); // a singular matrix maps onto no pixel and writes nothing
    return 0;
}

extern "C" int RunQuarterTurnJob(const cxTransformJob *j) {
    if (int e = CheckTransformBuffers(j)) return e;
    if (j->direction == 0) return ERR_WRONGUSAGE;
    if (j->dstWidth != j->srcHeight || j->dstHeight != j->srcWidth) return ERR_BADDIMENSIONS;
    RotatePixelsQuarter(j);
    return 0;
}
