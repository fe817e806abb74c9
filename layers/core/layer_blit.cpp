#include "layers/core/layer_blit.h"

#include <algorithm>

#include "errors/error_codes.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"

namespace {

// Cuts a rectangle at (x, y) to 0..limit on one axis, moving a second
// origin along.
bool Cut(int32_t &x, int32_t &other, int32_t &size, int32_t limit) {
    if (x < 0) {
        other -= x;
        size += x;
        x = 0;
    }
    if (int64_t(x) + size > limit) size = limit - x;
    return size > 0;
}

}  // namespace

extern "C" int BlendFillBitmap(cxBitmap *bm, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
                               int32_t level) {
    if (!bm) return ERR_LOCKBMAP;
    int32_t ignoredX = 0, ignoredY = 0;
    if (!Cut(x, ignoredX, w, bm->width) || !Cut(y, ignoredY, h, bm->height)) return 0;
    cxOsBitmapLock l;
    if (!LockBitmap(bm, 0, &l) || l.pixelFormat >= CX_PIXFMT_COUNT) {
        UnlockBitmap(&l);
        return ERR_LOCKBMAP;
    }
    cxFillJob job{};
    job.dstPixels = l.pixels;
    job.x = x, job.y = y, job.width = w, job.height = h;
    job.rowLength = int32_t(l.rowLength);
    job.pixelFormat = l.pixelFormat;
    job.pixel = ColorToPixel(colour & 0xFFFFFFu, l.pixelFormat, 0);
    job.level = std::clamp(level, 0, 255);
    if (job.level >= 255) {
        if (l.bytesPerPixel == 2) FillPixels16(&job);
        else FillPixels32(&job);
    } else if (job.level > 0) {
        if (l.bytesPerPixel == 2) BlendFillPixels16(&job);
        else BlendFillPixels32(&job);
    }
    UnlockBitmap(&l);
    return 0;
}

extern "C" int MixBitmapColour(cxBitmap *bm, int32_t w, int32_t h, uint32_t colour, int32_t level) {
    return BlendFillBitmap(bm, 0, 0, w, h, colour, level);
}

extern "C" int BlendColourThroughAlpha(const cxBitmap *alpha, int32_t ax, int32_t ay, cxBitmap *dst, int32_t dx,
                                       int32_t dy, int32_t w, int32_t h, uint32_t colour) {
    if (!alpha || !dst) return ERR_LOCKBMAP;
    if (!Cut(ax, dx, w, alpha->width) || !Cut(ay, dy, h, alpha->height)) return 0;
    if (!Cut(dx, ax, w, dst->width) || !Cut(dy, ay, h, dst->height)) return 0;
    cxOsBitmapLock a, d;
    const bool ok = LockBitmap(alpha, CX_LOCK_SOURCE, &a) && LockBitmap(dst, 0, &d) && d.pixelFormat < CX_PIXFMT_COUNT;
    if (ok) {
        cxAlphaChannelJob job{};
        job.covX = ax, job.covY = ay;
        job.coverage = a.pixels;
        job.coverageRowLength = int32_t(a.rowLength);
        job.dstPixels = d.pixels;
        job.dstX = dx, job.dstY = dy, job.width = w, job.height = h;
        job.dstRowLength = int32_t(d.rowLength);
        job.pixelFormat = d.pixelFormat;
        job.colour = ColorToPixel(colour & 0xFFFFFFu, d.pixelFormat, 0);
        job.mode = 1;
        job.level = 255;
        if (d.bytesPerPixel == 2) BltAlphaChannelPixels16(&job);
        else BltAlphaChannelPixels32(&job);
    }
    UnlockBitmap(&d);
    UnlockBitmap(&a);
    return ok ? 0 : ERR_LOCKBMAP;
}
