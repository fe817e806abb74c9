#include "graphics/blit/blit.h"

#include <algorithm>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap_adapter.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"

namespace {

using cx::gfx::AdapterDrawing;
using cx::gfx::AdapterWith;
using cx::gfx::CallHook;

cxBlitDestQuery g_destQuery = nullptr;

uint32_t DestState(const cxBitmap *dst) { return g_destQuery ? g_destQuery(dst) : 0; }

bool Has(uint32_t state, uint32_t bits) { return (state & bits) == bits; }

// The adapter that draws into a video bitmap needing no lock, or null.
const cxPlugin *VideoDestAdapter(const cxBitmap *dst) {
    return dst->foreign ? AdapterWith(CX_DISPLAY_VIDEOBITMAPS) : nullptr;
}

uint32_t SourceFlags(const cxBitmap *src) {
    if (!src->foreign) return 0;
    return CX_BLT_FOREIGNSOURCE | (src->flags == 0 ? CX_BLT_FIRSTUSE : 0u);
}

// Locks what the software path reads and writes; every record is unlocked
// again, also after a failed lock.
struct Locks {
    cxOsBitmapLock src{}, dst{}, extra{};
    bool ok = false;
    Locks(const cxBitmap *s, const cxBitmap *d, const cxBitmap *e) {
        ok = LockBitmap(s, CX_LOCK_SOURCE, &src) && LockBitmap(d, 0, &dst) && (!e || LockBitmap(e, CX_LOCK_SOURCE, &extra));
    }
    ~Locks() {
        UnlockBitmap(&extra);
        UnlockBitmap(&dst);
        UnlockBitmap(&src);
    }
};

enum class Kind { Plain, Mask, Alpha };

// The adapter that takes a blit, with its flags; null for the software path.
const cxPlugin *ChooseBlit(const cxBitmap *src, const cxBitmap *dst, Kind kind, uint32_t *flags) {
    const uint32_t drawFlag = kind == Kind::Plain ? CX_DRAW_BLTBITMAP : kind == Kind::Mask ? CX_DRAW_MASKBLIT
                                                                                           : CX_DRAW_ALPHABLIT;
    const cxPlugin *a = VideoDestAdapter(dst);
    if (a) {
        *flags = CX_BLT_VIDEODEST;
        const uint32_t st = DestState(dst);
        if (kind == Kind::Plain) {
            if (Has(st, CX_BLITDEST_BACKBITMAP | CX_BLITDEST_MODE2ZERO | CX_BLITDEST_SWITCHON))
                *flags |= CX_BLT_FIRSTUSE;
            if (Has(st, CX_BLITDEST_BACKBITMAP | CX_BLITDEST_MODE28)) *flags |= CX_BLT_BACKMODE28;
        } else if (Has(st, CX_BLITDEST_BACKBITMAP | CX_BLITDEST_MODE2ZERO | CX_BLITDEST_MODE28)) {
            *flags |= CX_BLT_BACKMODE28;
        }
    } else if ((a = AdapterDrawing(drawFlag))) {
        *flags = CX_BLT_ORDINARY;
    } else {
        return nullptr;
    }
    *flags |= SourceFlags(src);
    return a;
}

int HookBlit(const cxPlugin *a, const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy,
             int32_t w, int32_t h, void *mask, void *alpha, uint32_t flags) {
    cxBltRecord rec{};
    rec.srcX = sx;
    rec.srcY = sy;
    rec.dstX = dx;
    rec.dstY = dy;
    rec.width = w;
    rec.height = h;
    rec.mask = mask;
    rec.alpha = alpha;
    CallHook<cxBltBitMapHook>(a, a->BltBitMap, src->store, dst->store, &rec, flags);
    return 0;
}

} // namespace

extern "C" {

void SetBlitDestQuery(cxBlitDestQuery query) { g_destQuery = query; }

int BltBitmap(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy, int32_t w,
              int32_t h) {
    if (!src || !dst) return ERR_WRONGUSAGE;
    if (w < 1 || h < 1) return 0;
    uint32_t flags = 0;
    if (const cxPlugin *a = ChooseBlit(src, dst, Kind::Plain, &flags))
        return HookBlit(a, src, sx, sy, dst, dx, dy, w, h, nullptr, nullptr, flags);
    Locks l(src, dst, nullptr);
    return l.ok ? BltBitmapSoft(&l.src, sx, sy, &l.dst, dx, dy, w, h) : ERR_LOCKBMAP;
}

int BltBitmapMask(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy, int32_t w,
                  int32_t h, const cxBitmap *mask) {
    if (!src || !dst || !mask || mask->kind != CX_BITMAP_MASK) return ERR_WRONGUSAGE;
    if (w < 1 || h < 1) return 0;
    uint32_t flags = 0;
    if (const cxPlugin *a = ChooseBlit(src, dst, Kind::Mask, &flags))
        return HookBlit(a, src, sx, sy, dst, dx, dy, w, h, mask->store, nullptr, flags);
    Locks l(src, dst, mask);
    return l.ok ? BltBitmapMaskSoft(&l.src, sx, sy, &l.dst, dx, dy, w, h, &l.extra) : ERR_LOCKBMAP;
}

int BltBitmapAlpha(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy, int32_t w,
                   int32_t h, const cxBitmap *alpha) {
    if (!src || !dst || !alpha || alpha->kind != CX_BITMAP_ALPHA) return ERR_WRONGUSAGE;
    if (w < 1 || h < 1) return 0;
    uint32_t flags = 0;
    if (const cxPlugin *a = ChooseBlit(src, dst, Kind::Alpha, &flags))
        return HookBlit(a, src, sx, sy, dst, dx, dy, w, h, nullptr, alpha->store, flags);
    Locks l(src, dst, alpha);
    return l.ok ? BltBitmapAlphaKernel(&l.src, sx, sy, &l.dst, dx, dy, w, h, &l.extra, nullptr, 0) : ERR_LOCKBMAP;
}

int FillRect(cxBitmap *bitmap, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    if (!bitmap) return ERR_WRONGUSAGE;
    if (w < 1 || h < 1) return 0;
    uint32_t mode = 0;
    const cxPlugin *a = VideoDestAdapter(bitmap);
    uint32_t st = 0;
    if (a) {
        st = DestState(bitmap);
        mode = CX_FILL_VIDEO;
        if (Has(st, CX_BLITDEST_BACKBITMAP | CX_BLITDEST_MODE2ZERO | CX_BLITDEST_MODE28)) mode |= CX_FILL_BACKMODE28;
    } else if ((a = AdapterDrawing(CX_DRAW_RECTFILL))) {
        st = DestState(bitmap);
        mode = CX_FILL_ORDINARY;
    }
    if (a) {
        // A display in mode 28 takes the script's colour as it stands.
        if (!Has(st, CX_BLITDEST_BACKBITMAP | CX_BLITDEST_MODE28)) colour = ConvertColorForAdapter(colour, 0);
        cxRectFillRecord rec{x, y, w, h, colour, mode};
        CallHook<cxRectFillHook>(a, a->RectFill, bitmap->store, &rec);
        return 0;
    }
    cxOsBitmapLock l;
    int err = ERR_LOCKBMAP;
    if (LockBitmap(bitmap, 0, &l)) err = FillRectSoft(&l, x, y, w, h, colour & 0xFFFFFFu, 255);
    UnlockBitmap(&l);
    return err;
}

uint32_t ConvertColorForAdapter(uint32_t colour, int force) {
    if (!force && !AdapterWith(CX_DISPLAY_INVERTEDALPHA)) return colour;
    const uint32_t top = colour >> 24;
    return (colour & 0xFFFFFFu) | ((top == 0 ? 0xFFu : 255u - top) << 24);
}

int TileBitmap(cxBitmap *dst, int32_t dx, int32_t dy, int32_t w, int32_t h, const cxBitmap *tile,
               const uint32_t *argb, int32_t tw, int32_t th, int32_t ox, int32_t oy) {
    if (!dst || (!tile && !argb)) return ERR_WRONGUSAGE;
    if (tile) {
        tw = tile->width;
        th = tile->height;
    }
    if (tw < 1 || th < 1) return ERR_WRONGUSAGE;
    if (w < 1 || h < 1) return 0;
    // The tile position of the area's corner, wrapped into the tile.
    ox = int32_t(((int64_t(ox) % tw) + tw) % tw);
    oy = int32_t(((int64_t(oy) % th) + th) % th);
    if (tile) {
        for (int32_t y = 0; y < h;) {
            const int32_t ty = int32_t((int64_t(oy) + y) % th), hh = std::min(th - ty, h - y);
            for (int32_t x = 0; x < w;) {
                const int32_t tx = int32_t((int64_t(ox) + x) % tw), ww = std::min(tw - tx, w - x);
                if (int err = BltBitmap(tile, tx, ty, dst, dx + x, dy + y, ww, hh)) return err;
                x += ww;
            }
            y += hh;
        }
        return 0;
    }
    cxOsBitmapLock l;
    int err = 0;
    if (!LockBitmap(dst, 0, &l) || l.pixelFormat >= CX_PIXFMT_COUNT) {
        err = ERR_LOCKBMAP;
    } else if (dx < 0 || dy < 0 || int64_t(dx) + w > l.width || int64_t(dy) + h > l.height) {
        err = ERR_COORDSRANGE;
    } else {
        for (int32_t y = 0; y < h; ++y) {
            const uint32_t *trow = argb + size_t((int64_t(oy) + y) % th) * size_t(tw);
            uint8_t *drow = l.pixels + (size_t(dy) + size_t(y)) * l.rowLength * l.bytesPerPixel;
            for (int32_t x = 0; x < w;) {
                const int32_t tx = int32_t((int64_t(ox) + x) % tw), ww = std::min(tw - tx, w - x);
                ARGBToPixelRow(trow + tx, drow + (size_t(dx) + size_t(x)) * l.bytesPerPixel, l.pixelFormat, ww);
                x += ww;
            }
        }
    }
    UnlockBitmap(&l);
    return err;
}

} // extern "C"
