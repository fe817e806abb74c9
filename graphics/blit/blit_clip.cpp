#include "graphics/blit/blit_clip.h"

#include <algorithm>
#include <cstdlib>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap_adapter.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"

namespace {

// The scratch behind the static handle: grown, never shrunk.
uint8_t *g_scratch = nullptr;
size_t g_scratchSize = 0;
cxAlphaMaskStore g_scratchStore;
cxBitmap g_scratchHandle;

bool Grow(size_t bytes) {
    if (bytes <= g_scratchSize) return true;
    auto *p = static_cast<uint8_t *>(realloc(g_scratch, bytes));
    if (!p) return false;
    g_scratch = p;
    g_scratchSize = bytes;
    return true;
}

} // namespace

extern "C" int ClipBlitRect(const cxClipRegion *region, int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy,
                            int32_t *w, int32_t *h, int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH,
                            int applyRegion) {
    int64_t x0 = *sx, y0 = *sy, x1 = *dx, y1 = *dy, ww = *w, hh = *h;
    // The destination bounds, narrowed by the region's rectangle.
    int64_t l = 0, t = 0, r = dstW, b = dstH;
    if (applyRegion && region) {
        l = std::max<int64_t>(l, region->x);
        t = std::max<int64_t>(t, region->y);
        r = std::min<int64_t>(r, int64_t(region->x) + region->width);
        b = std::min<int64_t>(b, int64_t(region->y) + region->height);
    }
    // Left and top: cut what lies before either bound, moving both sides.
    const int64_t cutL = std::max<int64_t>({0, -x0, l - x1}), cutT = std::max<int64_t>({0, -y0, t - y1});
    x0 += cutL, x1 += cutL, ww -= cutL;
    y0 += cutT, y1 += cutT, hh -= cutT;
    ww = std::min({ww, int64_t(srcW) - x0, r - x1});
    hh = std::min({hh, int64_t(srcH) - y0, b - y1});
    if (ww < 1 || hh < 1) {
        *w = 0;
        *h = 0;
        return 0;
    }
    *sx = int32_t(x0), *sy = int32_t(y0), *dx = int32_t(x1), *dy = int32_t(y1);
    *w = int32_t(ww), *h = int32_t(hh);
    return 1;
}

extern "C" int MakeClipShape(const cxClipRegion *region, const cxBitmap *source, const cxBitmap *mask,
                             const cxBitmap *alpha, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w,
                             int32_t h, cxBitmap **replacement, int *owned, int *isAlpha) {
    *replacement = nullptr;
    *owned = 0;
    *isAlpha = alpha != nullptr;
    if (!region || !region->shape || !source || w < 1 || h < 1 || sx < 0 || sy < 0) return ERR_WRONGUSAGE;
    const int32_t clipX = dx - region->x, clipY = dy - region->y;
    cxOsBitmapLock clip, src{}, out{};
    int err = 0;
    if (!LockBitmap(region->shape, CX_LOCK_SOURCE, &clip)) err = ERR_LOCKBMAP;
    else if (clipX < 0 || clipY < 0 || int64_t(clipX) + w > std::min<int64_t>(region->shape->width, int64_t(clip.rowLength) * 8) ||
             int64_t(clipY) + h > std::min(region->shape->height, clip.height))
        err = ERR_COORDSRANGE;
    const cxBitmap *through = alpha ? alpha : mask;
    if (!err && through && !LockBitmap(through, CX_LOCK_SOURCE, &src)) err = ERR_LOCKBMAP;
    if (!err && through) {
        // The source's mask or alpha channel must hold the rectangle.
        const int64_t sw = alpha ? int64_t(src.rowLength) : int64_t(src.rowLength) * 8;
        if (int64_t(sx) + w > std::min<int64_t>(through->width, sw) || int64_t(sy) + h > std::min(through->height, src.height))
            err = ERR_COORDSRANGE;
    }
    // The replacement spans the source's width and its rows down to the
    // rectangle's last.
    const int32_t rows = sy + h;
    const int32_t srcWidth = source->width;
    if (!err && int64_t(sx) + w > srcWidth) err = ERR_COORDSRANGE;
    cxBitmap *rep = nullptr;
    if (!err) {
        if (cx::gfx::AdapterWith(CX_DISPLAY_OWNSBITMAPS)) {
            rep = *isAlpha ? AllocAlphaChannel(srcWidth, rows, 1, nullptr, 0) : AllocMask(source, srcWidth, rows, 1, nullptr, 0);
            if (!rep) err = ERR_MEM;
            else *owned = 1;
        } else {
            const uint64_t rowPixels = std::max<uint64_t>(srcWidth, QueryBitmapAttribute(source, CX_BMATTR_ROWLENGTH));
            const uint64_t bpr = *isAlpha ? uint64_t(srcWidth) : ((rowPixels + 15) >> 3) & ~uint64_t(1);
            if (bpr * uint64_t(rows) > 0x7FFFFFFF || !Grow(size_t(bpr) * size_t(rows))) {
                err = ERR_MEM;
            } else {
                g_scratchStore = cxAlphaMaskStore{};
                g_scratchStore.width = srcWidth;
                g_scratchStore.height = rows;
                g_scratchStore.pixels = g_scratch;
                g_scratchStore.bytesPerRow = uint32_t(bpr);
                g_scratchStore.bytesPerPixel = 1;
                g_scratchStore.depth = *isAlpha ? 8 : 1;
                g_scratchStore.notOwned = 1;
                g_scratchStore.format = *isAlpha ? CX_PIXFMT_ALPHA : CX_PIXFMT_MASK;
                g_scratchHandle = cxBitmap{uint32_t(*isAlpha ? CX_BITMAP_ALPHA : CX_BITMAP_MASK), &g_scratchStore,
                                           srcWidth, rows, 0, 0};
                rep = &g_scratchHandle;
            }
        }
    }
    if (!err && !LockBitmap(rep, 0, &out)) err = ERR_LOCKBMAP;
    if (!err) {
        const cxClipMaskJob job{clip.pixels,
                                clipX,
                                clipY,
                                int32_t(clip.rowLength),
                                alpha ? nullptr : (mask ? src.pixels : nullptr),
                                alpha ? src.pixels : nullptr,
                                through ? int32_t(src.rowLength) : 0,
                                out.pixels,
                                int32_t(out.rowLength),
                                sx,
                                sy,
                                w,
                                h};
        ClipBlitMask(&job);
    }
    UnlockBitmap(&out);
    UnlockBitmap(&src);
    UnlockBitmap(&clip);
    if (err) {
        FreeClipShape(rep, *owned);
        *owned = 0;
        return err;
    }
    *replacement = rep;
    return 0;
}

extern "C" void FreeClipShape(cxBitmap *replacement, int owned) {
    if (!replacement || !owned) return;
    if (replacement->kind == CX_BITMAP_ALPHA) FreeAlphaChannel(replacement);
    else FreeMask(replacement);
}

extern "C" void FreeClipShapeScratch(void) {
    free(g_scratch);
    g_scratch = nullptr;
    g_scratchSize = 0;
}
