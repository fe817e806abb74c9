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

// Usable width and height of a locked alpha channel or mask (in pixels).
struct Plane {
    cxOsBitmapLock l{};
    int64_t w = 0, h = 0;
    bool ok = false;
    Plane(const cxBitmap *b, uint32_t kind, uint32_t flags) {
        if (!b || b->kind != kind) return;
        ok = LockBitmap(b, flags, &l) != 0;
        if (!ok) return;
        w = std::min<int64_t>(b->width, kind == CX_BITMAP_MASK ? int64_t(l.rowLength) * 8 : int64_t(l.rowLength));
        h = std::min(b->height, l.height);
    }
    ~Plane() { UnlockBitmap(&l); }
};

// Clips a source and a destination rectangle of the same size together.
bool ClipPair(int32_t &sx, int32_t &sy, int64_t sw, int64_t sh, int32_t &dx, int32_t &dy, int64_t dw, int64_t dh,
              int32_t &w, int32_t &h) {
    if (w < 1 || h < 1) return false;
    int64_t x0 = sx, y0 = sy, x1 = dx, y1 = dy, ww = w, hh = h;
    const int64_t cutL = std::max<int64_t>({0, -x0, -x1}), cutT = std::max<int64_t>({0, -y0, -y1});
    x0 += cutL, x1 += cutL, ww -= cutL;
    y0 += cutT, y1 += cutT, hh -= cutT;
    ww = std::min({ww, sw - x0, dw - x1});
    hh = std::min({hh, sh - y0, dh - y1});
    if (ww < 1 || hh < 1) return false;
    sx = int32_t(x0), sy = int32_t(y0), dx = int32_t(x1), dy = int32_t(y1), w = int32_t(ww), h = int32_t(hh);
    return true;
}

bool Bit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

void PutBit(uint8_t *row, int32_t x, bool on) {
    const uint8_t m = uint8_t(0x80u >> (x & 7));
    row[x >> 3] = on ? uint8_t(row[x >> 3] | m) : uint8_t(row[x >> 3] & ~m);
}

bool Combine(bool s, bool d, int32_t mode) {
    switch (mode) {
    case CX_MASKVISIBLE:
    case CX_MASKOR: return d || s;
    case CX_MASKINVISIBLE: return d && !s;
    case CX_MASKVANILLACOPY: return s;
    case CX_MASKXOR: return d != s;
    case CX_MASKAND: return d && s;
    default: return d;
    }
}

template <class Source>
void CombineInto(cxBitmap *dst, int32_t sx, int32_t sy, int64_t sw, int64_t sh, int32_t dx, int32_t dy, int32_t w,
                 int32_t h, int32_t mode, Source &&src) {
    Plane d(dst, CX_BITMAP_MASK, 0);
    if (!d.ok || !ClipPair(sx, sy, sw, sh, dx, dy, d.w, d.h, w, h)) return;
    for (int32_t j = 0; j < h; ++j) {
        uint8_t *row = d.l.pixels + size_t(dy + j) * d.l.rowLength;
        for (int32_t i = 0; i < w; ++i) PutBit(row, dx + i, Combine(src(sx + i, sy + j), Bit(row, dx + i), mode));
    }
}

} // namespace

extern "C" void CombineMaskRect(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy,
                                int32_t w, int32_t h, int32_t mode) {
    Plane s(src, CX_BITMAP_MASK, CX_LOCK_SOURCE);
    if (!s.ok) return;
    CombineInto(dst, sx, sy, s.w, s.h, dx, dy, w, h, mode,
                [&](int32_t x, int32_t y) { return Bit(s.l.pixels + size_t(y) * s.l.rowLength, x); });
}

extern "C" void BltAlphaToMask(const cxBitmap *alpha, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx, int32_t dy,
                               int32_t w, int32_t h, int32_t mode) {
    Plane s(alpha, CX_BITMAP_ALPHA, CX_LOCK_SOURCE);
    if (!s.ok) return;
    CombineInto(dst, sx, sy, s.w, s.h, dx, dy, w, h, mode,
                [&](int32_t x, int32_t y) { return s.l.pixels[size_t(y) * s.l.rowLength + size_t(x)] != 0; });
}

extern "C" void BltMaskToMask(const cxBitmap *mask, int32_t sx, int32_t sy, cxBitmap *alpha, int32_t dx, int32_t dy,
                              int32_t w, int32_t h, uint8_t value) {
    Plane s(mask, CX_BITMAP_MASK, CX_LOCK_SOURCE), d(alpha, CX_BITMAP_ALPHA, 0);
    if (!s.ok || !d.ok || !ClipPair(sx, sy, s.w, s.h, dx, dy, d.w, d.h, w, h)) return;
    FillAlphaThroughMask(s.l.pixels, sx, sy, int32_t(s.l.rowLength), d.l.pixels, dx, dy, int32_t(d.l.rowLength), w, h,
                         value);
}

extern "C" void BltAlphaToAlphaClipped(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *dst, int32_t dx,
                                       int32_t dy, int32_t w, int32_t h, int32_t mode, uint32_t value) {
    Plane s(src, CX_BITMAP_ALPHA, CX_LOCK_SOURCE), d(dst, CX_BITMAP_ALPHA, 0);
    if (!s.ok || !d.ok || !ClipPair(sx, sy, s.w, s.h, dx, dy, d.w, d.h, w, h)) return;
    BltAlphaBytes(s.l.pixels, sx, sy, int32_t(s.l.rowLength), d.l.pixels, dx, dy, int32_t(d.l.rowLength), w, h, mode,
                  value);
}

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
