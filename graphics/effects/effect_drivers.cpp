#include "graphics/effects/effect_drivers.h"

#include <algorithm>
#include <cmath>

#include "errors/error_codes.h"
#include "graphics/effects/colour_effects.h"
#include "graphics/effects/convolve.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/locked_bitmap.h"
#include "graphics/support/rgb_rows.h"

using cx::gfx::LockedBitmap;

namespace {

// Locks the colour bitmap; lock failures and requests larger than the
// bitmap are ERR_LOCKBMAP, as the callers report them.
int LockColour(LockedBitmap &l, cxBitmap *bitmap, int32_t width, int32_t height) {
    const int e = l.Colour(bitmap, width, height);
    return e == 0 ? 0 : ERR_LOCKBMAP;
}

bool Wide(const LockedBitmap &l) { return l.BytesPerPixel() != 2; }

} // namespace

extern "C" int SolarizeBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t threshold) {
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    const int32_t t = std::clamp(threshold, 0, 255);
    if (Wide(l)) SolarizePixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), t);
    else SolarizePixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), t);
    return 0;
}

extern "C" int SepiaToneBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t threshold) {
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    const int32_t t = std::clamp(threshold, 0, 255);
    if (Wide(l)) SepiaPixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), t);
    else SepiaPixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), t);
    const double n = double(width) * height;
    StretchLevels(l.Pixels(), width, height, l.RowLength(), l.Format(), n * 0.02, n * 0.99);
    return 0;
}

extern "C" int AdjustBitmapGamma(cxBitmap *bitmap, int32_t width, int32_t height, double red, double green,
                                 double blue) {
    const double g[3] = {red, green, blue};
    for (double v : g)
        if (!std::isfinite(v) || v <= 0.0) return ERR_WRONGUSAGE;
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    uint8_t table[3][256];
    uint32_t flags = 0;
    for (int c = 0; c < 3; ++c) {
        if (g[c] == 1.0) continue;
        flags |= 1u << c;
        for (int i = 0; i < 256; ++i)
            table[c][i] = uint8_t(std::clamp(255.0 * std::pow(i / 255.0, 1.0 / g[c]) + 0.5, 0.0, 255.0));
    }
    if (!flags) return 0;
    if (Wide(l)) GammaPixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), table[0], table[1], table[2], flags);
    else GammaPixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), table[0], table[1], table[2], flags);
    return 0;
}

extern "C" int AdjustBitmapContrast(cxBitmap *bitmap, int32_t width, int32_t height, int32_t raise, int32_t times) {
    if (times < 1) return ERR_WRONGUSAGE;
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    const int32_t sign = raise ? 1 : -1;
    if (Wide(l)) ContrastPixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), sign, times);
    else ContrastPixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), sign, times);
    return 0;
}

extern "C" int ModulateBitmap(cxBitmap *bitmap, int32_t width, int32_t height, double brightness, double saturation,
                              double hue) {
    const double f[3] = {brightness, saturation, hue};
    for (double v : f)
        if (!std::isfinite(v) || v < 0.0 || v > 1e6) return ERR_WRONGUSAGE;
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    if (brightness == 1.0 && saturation == 1.0 && hue == 1.0) return 0;
    const double b = brightness * 100.0, s = saturation * 100.0, h = hue * 100.0;
    if (Wide(l)) ModulatePixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), b, s, h);
    else ModulatePixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), b, s, h);
    return 0;
}

extern "C" int ConvertBitmapToGray(cxBitmap *bitmap, int32_t width, int32_t height, int32_t blackWhite) {
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    cx::gfx::ForEachRGB(l.Pixels(), width, height, l.RowLength(), l.Format(), [&](uint32_t &r, uint32_t &g, uint32_t &b) {
        uint32_t v = std::min<uint32_t>(uint32_t(Luminance(r, g, b)), 255);
        if (blackWhite) v = v >= 129 ? 255 : 0;
        r = g = b = v;
    });
    return 0;
}

extern "C" int InvertBitmap(cxBitmap *bitmap, int32_t width, int32_t height) {
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    cx::gfx::ForEachRGB(l.Pixels(), width, height, l.RowLength(), l.Format(), [](uint32_t &r, uint32_t &g, uint32_t &b) {
        r ^= 0xFF;
        g ^= 0xFF;
        b ^= 0xFF;
    });
    return 0;
}

extern "C" int ConvolveBitmap(int32_t kind, cxBitmap *bitmap, cxBitmap *alpha, int32_t width, int32_t height,
                              double radius, double sigma) {
    if (std::isnan(radius) || !std::isfinite(sigma)) return ERR_WRONGUSAGE;
    if (radius < 0.0) radius = 0.0;
    if (radius == 0.0) sigma = 1.0;
    LockedBitmap l, a;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    if (alpha && a.Alpha(alpha, width, height) != 0) return ERR_LOCKBMAP;
    cxConvolveJob job{l.Pixels(), width, height, l.RowLength(), l.Format(), int32_t(l.BytesPerPixel()),
                      alpha ? a.Pixels() : nullptr, alpha ? a.RowLength() : 0, radius, sigma, kind, 0};
    ConvolvePixels(&job);
    return job.result;
}

extern "C" int OilPaintBitmap(cxBitmap *bitmap, int32_t width, int32_t height, double radius) {
    if (std::isnan(radius)) return ERR_WRONGUSAGE;
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    if (Wide(l)) return OilPaintPixels32(l.Pixels(), width, height, l.RowLength(), l.Format(), std::max(radius, 0.0));
    return OilPaintPixels16(l.Pixels(), width, height, l.RowLength(), l.Format(), std::max(radius, 0.0));
}

extern "C" int CharcoalBitmap(cxBitmap *bitmap, cxBitmap *alpha, int32_t width, int32_t height, double radius,
                              double sigma) {
    if (std::isnan(radius) || !std::isfinite(sigma)) return ERR_WRONGUSAGE;
    if (int e = ConvolveBitmap(CX_CONVOLVE_EDGE, bitmap, nullptr, width, height, radius, sigma)) return e;
    if (int e = ConvolveBitmap(CX_CONVOLVE_BLUR, bitmap, alpha, width, height, radius, sigma)) return e;
    LockedBitmap l;
    if (int e = LockColour(l, bitmap, width, height)) return e;
    const double n = double(width) * height;
    StretchLevels(l.Pixels(), width, height, l.RowLength(), l.Format(), n * 0.02, n * 0.99);
    cx::gfx::ForEachRGB(l.Pixels(), width, height, l.RowLength(), l.Format(), [](uint32_t &r, uint32_t &g, uint32_t &b) {
        const uint32_t v = 255 - std::min<uint32_t>(uint32_t(Luminance(r, g, b)), 255);
        r = g = b = v;
    });
    return 0;
}

extern "C" int MixBitmaps(cxBitmap *destination, const cxBitmap *source, const cxBitmap *sourceMask, int32_t srcX,
                          int32_t srcY, int32_t dstX, int32_t dstY, int32_t width, int32_t height, int32_t level,
                          const cxBitmap *sourceAlpha) {
    if (!destination || !source) return ERR_LOCKBMAP;
    // Clip to both bitmaps, moving both origins together.
    int64_t sx = srcX, sy = srcY, dx = dstX, dy = dstY, w = width, h = height;
    const auto clipLow = [&](int64_t &a, int64_t &b, int64_t &size) {
        const int64_t cut = std::max<int64_t>({0, -a, -b});
        a += cut, b += cut, size -= cut;
    };
    clipLow(sx, dx, w);
    clipLow(sy, dy, h);
    w = std::min({w, int64_t(source->width) - sx, int64_t(destination->width) - dx});
    h = std::min({h, int64_t(source->height) - sy, int64_t(destination->height) - dy});
    const int32_t a = std::clamp(level, 0, 255);
    if (w < 1 || h < 1 || a == 0) return 0;
    LockedBitmap d, s, m, al;
    if (d.Colour(destination, destination->width, destination->height) != 0) return ERR_LOCKBMAP;
    if (s.Colour(source, source->width, source->height) != 0) return ERR_LOCKBMAP;
    if (sourceMask && m.Mask(sourceMask, int32_t(sx + w), int32_t(sy + h)) != 0) return ERR_LOCKBMAP;
    if (sourceAlpha && al.Alpha(sourceAlpha, int32_t(sx + w), int32_t(sy + h)) != 0) return ERR_LOCKBMAP;
    const uint32_t sf = s.Format(), df = d.Format(), sb = s.BytesPerPixel(), db = d.BytesPerPixel();
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t *srow = s.Pixels() + (size_t(sy + y) * s.RowLength() + size_t(sx)) * sb;
        uint8_t *drow = d.Pixels() + (size_t(dy + y) * d.RowLength() + size_t(dx)) * db;
        const uint8_t *mrow = sourceMask ? m.Pixels() + size_t(sy + y) * m.RowLength() : nullptr;
        const uint8_t *arow = sourceAlpha ? al.Pixels() + size_t(sy + y) * al.RowLength() + size_t(sx) : nullptr;
        for (int64_t x = 0; x < w; ++x) {
            const int64_t bx = sx + x;
            if (mrow && !((mrow[bx >> 3] >> (7 - (bx & 7))) & 1)) continue;
            const int32_t k = arow ? a * arow[x] / 255 : a;
            if (k == 0) continue;
            const uint32_t sc = PixelToColor(LoadPixelValue(srow + x * sb, sf), sf, 0);
            uint8_t *p = drow + x * db;
            const uint32_t dv = LoadPixelValue(p, df);
            if (k == 255) {
                StorePixelValue(p, df, ColorToPixel(sc, df, 0));
                continue;
            }
            const uint32_t dc = PixelToColor(dv, df, 0);
            uint32_t out = 0;
            for (int sh = 0; sh <= 16; sh += 8) {
                const int32_t S = int32_t((sc >> sh) & 0xFF), D = int32_t((dc >> sh) & 0xFF);
                out |= uint32_t(D + (((S - D) * k) >> 8)) << sh;
            }
            StorePixelValue(p, df, ColorToPixel(out, df, 0));
        }
    }
    return 0;
}
