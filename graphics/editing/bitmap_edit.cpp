#include "graphics/editing/bitmap_edit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/locked_bitmap.h"

using cx::gfx::LockedBitmap;

namespace {

// The colour bits of a pixel value: 32-bit words carry one byte that holds
// no colour, which compares and replacements leave alone.
uint32_t ColourBits(uint32_t format, uint32_t bytesPerPixel) {
    switch (bytesPerPixel) {
    case 4: return format == 10 || format == 13 ? 0x00FFFFFFu : 0xFFFFFF00u;
    case 3: return 0xFFFFFFu;
    default: return 0xFFFFu;
    }
}

bool Bit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void SetBit(uint8_t *row, int32_t x, bool on) {
    const uint8_t m = uint8_t(0x80u >> (x & 7));
    if (on) row[x >> 3] |= m;
    else row[x >> 3] &= uint8_t(~m);
}

// Reverses the order of n items of size bytes.
void ReverseItems(uint8_t *p, int32_t n, size_t size) {
    uint8_t tmp[8];
    for (int32_t a = 0, b = n - 1; a < b; a++, b--) {
        memcpy(tmp, p + size_t(a) * size, size);
        memcpy(p + size_t(a) * size, p + size_t(b) * size, size);
        memcpy(p + size_t(b) * size, tmp, size);
    }
}

// Mirrors rows of bytes (whole pixels of size bytes, rows stride apart).
void FlipRows(uint8_t *pixels, size_t stride, int32_t width, int32_t height, size_t size, bool horizontal) {
    if (horizontal) {
        for (int32_t y = 0; y < height; y++) ReverseItems(pixels + size_t(y) * stride, width, size);
        return;
    }
    std::vector<uint8_t> tmp(size_t(width) * size);
    for (int32_t a = 0, b = height - 1; a < b; a++, b--) {
        uint8_t *ra = pixels + size_t(a) * stride, *rb = pixels + size_t(b) * stride;
        memcpy(tmp.data(), ra, tmp.size());
        memcpy(ra, rb, tmp.size());
        memcpy(rb, tmp.data(), tmp.size());
    }
}

void FlipMaskRows(uint8_t *bits, size_t stride, int32_t width, int32_t height, bool horizontal) {
    if (!horizontal) {
        FlipRows(bits, stride, (width + 7) / 8, height, 1, false);
        return;
    }
    for (int32_t y = 0; y < height; y++) {
        uint8_t *row = bits + size_t(y) * stride;
        for (int32_t a = 0, b = width - 1; a < b; a++, b--) {
            const bool va = Bit(row, a), vb = Bit(row, b);
            SetBit(row, a, vb);
            SetBit(row, b, va);
        }
    }
}

}  // namespace

extern "C" int FlipBitmapFx(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                            int32_t direction) {
    LockedBitmap c, m, a;
    if (int e = c.Colour(bitmap, width, height)) return e;
    if (mask)
        if (int e = m.Mask(mask, width, height)) return e;
    if (alpha)
        if (int e = a.Alpha(alpha, width, height)) return e;
    const bool horizontal = direction == CX_FLIP_HORIZONTAL;
    FlipRows(c.Pixels(), size_t(c.RowLength()) * c.BytesPerPixel(), width, height, c.BytesPerPixel(), horizontal);
    if (mask) FlipMaskRows(m.Pixels(), size_t(m.RowLength()), width, height, horizontal);
    if (alpha) FlipRows(a.Pixels(), size_t(a.RowLength()), width, height, 1, horizontal);
    return 0;
}

extern "C" int ConvertBitmapFx(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x,
                               int32_t y, int32_t width, int32_t height, cxBitmap **outBitmap, cxBitmap **outMask,
                               cxBitmap **outAlpha) {
    *outBitmap = nullptr;
    if (outMask) *outMask = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    if (!bitmap || width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (x < 0 || y < 0 || int64_t(x) + width > bitmap->width || int64_t(y) + height > bitmap->height)
        return ERR_COORDSRANGE;
    cxBitmap *nb = AllocBitmap(width, height, 0, 0);
    if (!nb) return ERR_BITMAP;
    cxBitmap *nm = nullptr, *na = nullptr;
    auto fail = [&](int err) {
        FreeBitmap(nb);
        FreeMask(nm);
        FreeAlphaChannel(na);
        return err;
    };
    {
        LockedBitmap s, d;
        if (int e = s.Colour(bitmap, x + width, y + height)) return fail(e);
        if (int e = d.Colour(nb, width, height)) return fail(e);
        if (s.Format() != d.Format()) return fail(ERR_PIXELFORMAT);
        const size_t bpp = s.BytesPerPixel();
        for (int32_t r = 0; r < height; r++)
            memcpy(d.Pixels() + size_t(r) * d.RowLength() * bpp,
                   s.Pixels() + (size_t(y + r) * s.RowLength() + size_t(x)) * bpp, size_t(width) * bpp);
    }
    if (mask && outMask) {
        nm = AllocMask(nb, width, height, 1, nullptr, 0);
        if (!nm) return fail(ERR_ALLOCMASK);
        LockedBitmap s, d;
        if (int e = s.Mask(mask, x + width, y + height)) return fail(e);
        if (int e = d.Mask(nm, width, height)) return fail(e);
        for (int32_t r = 0; r < height; r++) {
            const uint8_t *sr = s.Pixels() + size_t(y + r) * s.RowLength();
            uint8_t *dr = d.Pixels() + size_t(r) * d.RowLength();
            for (int32_t c = 0; c < width; c++)
                if (Bit(sr, x + c)) SetBit(dr, c, true);
        }
    }
    if (alpha && outAlpha) {
        na = AllocAlphaChannel(width, height, 0, nullptr, 0);
        if (!na) return fail(ERR_ALLOCALPHA);
        LockedBitmap s, d;
        if (int e = s.Alpha(alpha, x + width, y + height)) return fail(e);
        if (int e = d.Alpha(na, width, height)) return fail(e);
        for (int32_t r = 0; r < height; r++)
            memcpy(d.Pixels() + size_t(r) * d.RowLength(), s.Pixels() + size_t(y + r) * s.RowLength() + x,
                   size_t(width));
    }
    *outBitmap = nb;
    if (outMask) *outMask = nm;
    if (outAlpha) *outAlpha = na;
    return 0;
}

extern "C" cxBitmap *MakeColorKeyMask(const cxBitmap *bitmap, int32_t width, int32_t height, uint32_t colour) {
    cxBitmap *mask = AllocMask(bitmap, width, height, 1, nullptr, 0);
    if (!mask) return nullptr;
    LockedBitmap c, m;
    if (c.Colour(bitmap, width, height) || m.Mask(mask, width, height)) {
        m.Release();
        FreeMask(mask);
        return nullptr;
    }
    const uint32_t bpp = c.BytesPerPixel(), bits = ColourBits(c.Format(), bpp);
    const uint32_t key = ColorToPixel(colour & 0xFFFFFFu, c.Format(), 0) & bits;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *row = c.Pixels() + size_t(y) * c.RowLength() * bpp;
        uint8_t *mr = m.Pixels() + size_t(y) * m.RowLength();
        for (int32_t x = 0; x < width; x++)
            if ((LoadPixelValue(row + size_t(x) * bpp, c.Format()) & bits) != key) SetBit(mr, x, true);
    }
    return mask;
}

extern "C" int ReplaceBitmapColors(cxBitmap *bitmap, int32_t width, int32_t height, const uint32_t *pairs,
                                   int32_t pairCount) {
    if (pairCount < 1) return 0;
    LockedBitmap c;
    if (int e = c.Colour(bitmap, width, height)) return e == ERR_BADDIMENSIONS ? ERR_LOCKBMAP : e;
    const uint32_t format = c.Format(), bpp = c.BytesPerPixel(), bits = ColourBits(format, bpp);
    std::vector<uint32_t> values(size_t(pairCount) * 2);
    for (size_t i = 0; i < values.size(); i++) values[i] = ColorToPixel(pairs[i] & 0xFFFFFFu, format, 0) & bits;
    for (int32_t y = 0; y < height; y++) {
        uint8_t *p = c.Pixels() + size_t(y) * c.RowLength() * bpp;
        for (int32_t x = 0; x < width; x++, p += bpp) {
            const uint32_t v = LoadPixelValue(p, format);
            for (size_t k = 0; k < values.size(); k += 2)
                if ((v & bits) == values[k]) {
                    StorePixelValue(p, format, (v & ~bits) | values[k + 1]);
                    break;
                }
        }
    }
    return 0;
}

extern "C" int InvertChannelBytes(cxBitmap *maskOrAlpha) {
    if (!maskOrAlpha) return ERR_WRONGUSAGE;
    LockedBitmap l;
    const int e = maskOrAlpha->kind == CX_BITMAP_MASK ? l.Mask(maskOrAlpha, maskOrAlpha->width, maskOrAlpha->height)
                                                        : l.Alpha(maskOrAlpha, maskOrAlpha->width, maskOrAlpha->height);
    if (e) return e;
    const size_t n = size_t(l.RowLength()) * size_t(l.Lock().height);
    for (size_t i = 0; i < n; i++) l.Pixels()[i] = uint8_t(~l.Pixels()[i]);
    return 0;
}

extern "C" int ScaleAlphaChannel(cxBitmap *alpha, uint32_t level) {
    LockedBitmap l;
    if (!alpha) return ERR_WRONGUSAGE;
    if (int e = l.Alpha(alpha, alpha->width, alpha->height)) return e;
    const size_t n = size_t(l.RowLength()) * size_t(l.Lock().height);
    level = std::min(level, 255u);
    for (size_t i = 0; i < n; i++) l.Pixels()[i] = uint8_t(l.Pixels()[i] * level / 255u);
    return 0;
}

extern "C" int MaskToAlphaChannel(const cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                                  uint8_t value) {
    LockedBitmap m, a;
    if (int e = m.Mask(mask, width, height)) return e;
    if (int e = a.Alpha(alpha, width, height)) return e;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *mr = m.Pixels() + size_t(y) * m.RowLength();
        uint8_t *ar = a.Pixels() + size_t(y) * a.RowLength();
        for (int32_t x = 0; x < width; x++) ar[x] = Bit(mr, x) ? value : 0;
    }
    return 0;
}

extern "C" int AlphaToMaskOpaque(const cxBitmap *alpha, cxBitmap *mask, int32_t width, int32_t height) {
    LockedBitmap m, a;
    if (int e = a.Alpha(alpha, width, height)) return e;
    if (int e = m.Mask(mask, width, height)) return e;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *ar = a.Pixels() + size_t(y) * a.RowLength();
        uint8_t *mr = m.Pixels() + size_t(y) * m.RowLength();
        for (int32_t x = 0; x < width; x++) SetBit(mr, x, ar[x] == 255);
    }
    return 0;
}

extern "C" int ReadBitmapPixel(const cxBitmap *bitmap, int32_t x, int32_t y, uint32_t *out) {
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return ERR_COORDSRANGE;
    LockedBitmap l;
    switch (bitmap->kind) {
    case CX_BITMAP_MASK:
        if (l.Mask(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        *out = Bit(l.Pixels() + size_t(y) * l.RowLength(), x);
        return 0;
    case CX_BITMAP_ALPHA:
        if (l.Alpha(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        *out = l.Pixels()[size_t(y) * l.RowLength() + x];
        return 0;
    default:
        if (l.Colour(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        *out = PixelToColor(LoadPixelValue(l.Pixels() + (size_t(y) * l.RowLength() + x) * l.BytesPerPixel(), l.Format()),
                            l.Format(), 0) &
               0xFFFFFFu;
        return 0;
    }
}

extern "C" int WriteBitmapPixel(cxBitmap *bitmap, int32_t x, int32_t y, uint32_t value) {
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return ERR_COORDSRANGE;
    LockedBitmap l;
    switch (bitmap->kind) {
    case CX_BITMAP_MASK:
        if (l.Mask(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        SetBit(l.Pixels() + size_t(y) * l.RowLength(), x, value != 0);
        return 0;
    case CX_BITMAP_ALPHA:
        if (l.Alpha(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        l.Pixels()[size_t(y) * l.RowLength() + x] = uint8_t(value);
        return 0;
    default: {
        if (l.Colour(bitmap, x + 1, y + 1)) return ERR_LOCKBMAP;
        uint8_t *p = l.Pixels() + (size_t(y) * l.RowLength() + x) * l.BytesPerPixel();
        const uint32_t bits = ColourBits(l.Format(), l.BytesPerPixel());
        const uint32_t old = LoadPixelValue(p, l.Format());
        StorePixelValue(p, l.Format(), (old & ~bits) | (ColorToPixel(value & 0xFFFFFFu, l.Format(), 0) & bits));
        return 0;
    }
    }
}
