#include "graphics/effects/colour_effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/effects/convolve.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/rgb_rows.h"

using cx::gfx::ForEachRGB;

namespace {

constexpr double kInv255 = 0.00392156862745098;
constexpr double kPi = 3.14159265358979323846;

bool Is16(uint32_t f) { return f <= 7; }
bool Is32(uint32_t f) { return f >= 8 && f <= 13; }

uint32_t Clamp255(double v) {
    if (!(v > 0.0)) return 0; // NaN too
    if (v >= 255.0) return 255;
    return uint32_t(v);
}

// Brings a hue into 0..1; non-finite values never reach here.
double WrapUnit(double h) {
    h = std::fmod(h, 1.0);
    return h < 0.0 ? h + 1.0 : h;
}

void RGBToHSB(double r, double g, double b, double &h, double &s, double &v) {
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
    v = mx;
    s = mx > 0.0 ? d / mx : 0.0;
    if (d <= 0.0) {
        h = 0.0;
        return;
    }
    if (mx == r) h = (g - b) / d;
    else if (mx == g) h = 2.0 + (b - r) / d;
    else h = 4.0 + (r - g) / d;
    h = WrapUnit(h / 6.0);
}

void HSBToRGB(double h, double s, double v, double &r, double &g, double &b) {
    if (s <= 0.0) {
        r = g = b = v;
        return;
    }
    const double h6 = WrapUnit(h) * 6.0;
    const int i = std::min(int(h6), 5);
    const double f = h6 - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
    }
}

double HueChannel(double m1, double m2, double h) {
    h = WrapUnit(h);
    if (6.0 * h < 1.0) return m1 + (m2 - m1) * 6.0 * h;
    if (2.0 * h < 1.0) return m2;
    if (3.0 * h < 2.0) return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6.0;
    return m1;
}

template <class Fn>
void Run16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, Fn &&fn) {
    if (Is16(f) && w > 0 && h > 0) ForEachRGB(p, w, h, rl, f, fn);
}
template <class Fn>
void Run32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, Fn &&fn) {
    if (Is32(f) && w > 0 && h > 0) ForEachRGB(p, w, h, rl, f, fn);
}

auto Solarize(int32_t t) {
    return [t](uint32_t &r, uint32_t &g, uint32_t &b) {
        if (int32_t(r) > t) r = 255 - r;
        if (int32_t(g) > t) g = 255 - g;
        if (int32_t(b) > t) b = 255 - b;
    };
}

auto Gamma(const uint8_t *rt, const uint8_t *gt, const uint8_t *bt, uint32_t flags) {
    return [=](uint32_t &r, uint32_t &g, uint32_t &b) {
        if (flags & 1) r = rt[r];
        if (flags & 2) g = gt[g];
        if (flags & 4) b = bt[b];
    };
}

auto Contrast(int32_t sign, int32_t times) {
    return [=](uint32_t &r, uint32_t &g, uint32_t &b) {
        uint8_t R = uint8_t(r), G = uint8_t(g), B = uint8_t(b);
        for (int32_t i = 0; i < times; ++i) {
            const uint8_t r0 = R, g0 = G, b0 = B;
            ContrastColor(sign, &R, &G, &B);
            if (R == r0 && G == g0 && B == b0) break; // the same from here on
        }
        r = R, g = G, b = B;
    };
}

auto Modulate(double br, double sat, double hue) {
    return [=](uint32_t &r, uint32_t &g, uint32_t &b) {
        uint8_t R = uint8_t(r), G = uint8_t(g), B = uint8_t(b);
        ModulateColor(br, sat, hue, &R, &G, &B);
        r = R, g = G, b = B;
    };
}

auto Sepia(int32_t t) {
    const double t76 = 7.0 * t / 6.0, t6 = t / 6.0;
    const uint32_t floor7 = uint32_t(std::max(t, 0) / 7);
    return [=](uint32_t &r, uint32_t &g, uint32_t &b) {
        const double I = Luminance(r, g, b);
        r = Clamp255(I > t ? 255.0 : I + 255.0 - t);
        g = Clamp255(I > t76 ? 255.0 : I + 255.0 - t76);
        b = Clamp255(I < t6 ? 0.0 : I - t6);
        if (g < floor7) g = floor7;
        if (b < floor7) b = floor7;
    };
}

auto Mono(const uint8_t *indices) {
    // Pixels are visited row by row, so a running position finds the index.
    return [indices, i = int64_t(0)](uint32_t &r, uint32_t &g, uint32_t &b) mutable {
        const uint32_t v = indices[i++] ? 255 : 0;
        r = g = b = v;
    };
}

} // namespace

extern "C" {

double Luminance(uint32_t r, uint32_t g, uint32_t b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

void SolarizePixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t t) { Run16(p, w, h, rl, f, Solarize(t)); }
void SolarizePixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t t) { Run32(p, w, h, rl, f, Solarize(t)); }

void GammaPixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, const uint8_t r[256], const uint8_t g[256],
                   const uint8_t b[256], uint32_t flags) {
    Run16(p, w, h, rl, f, Gamma(r, g, b, flags));
}
void GammaPixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, const uint8_t r[256], const uint8_t g[256],
                   const uint8_t b[256], uint32_t flags) {
    Run32(p, w, h, rl, f, Gamma(r, g, b, flags));
}

void ContrastColor(int32_t sign, uint8_t *red, uint8_t *green, uint8_t *blue) {
    double h, s, v;
    RGBToHSB(*red * kInv255, *green * kInv255, *blue * kInv255, h, s, v);
    v += sign * 0.5 * (0.5 * (std::sin(kPi * (v - 0.5)) + 1.0) - v);
    v = std::clamp(v, 0.0, 1.0);
    double r, g, b;
    HSBToRGB(h, s, v, r, g, b);
    *red = uint8_t(Clamp255(r * 255.0));
    *green = uint8_t(Clamp255(g * 255.0));
    *blue = uint8_t(Clamp255(b * 255.0));
}

void ContrastPixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t sign, int32_t times) {
    Run16(p, w, h, rl, f, Contrast(sign, times));
}
void ContrastPixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t sign, int32_t times) {
    Run32(p, w, h, rl, f, Contrast(sign, times));
}

void ColorToHSL(uint32_t r8, uint32_t g8, uint32_t b8, double *h, double *s, double *l) {
    const double r = r8 * kInv255, g = g8 * kInv255, b = b8 * kInv255;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
    *l = (mx + mn) / 2.0;
    if (d == 0.0) {
        *h = *s = 0.0;
        return;
    }
    *s = *l < 0.5 ? d / (mx + mn) : d / (2.0 - mx - mn);
    double H;
    if (mx == r) H = (g - b) / (6.0 * d);
    else if (mx == g) H = (b - r) / (6.0 * d) + 1.0 / 3.0;
    else H = (r - g) / (6.0 * d) + 2.0 / 3.0;
    if (H < 0.0) H += 1.0;
    if (H > 1.0) H -= 1.0;
    *h = H;
}

void ModulateColor(double brightness, double saturation, double hue, uint8_t *red, uint8_t *green, uint8_t *blue) {
    if (!std::isfinite(brightness) || !std::isfinite(saturation) || !std::isfinite(hue)) return;
    double H, S, L;
    ColorToHSL(*red, *green, *blue, &H, &S, &L);
    // fmod instead of stepping by whole turns: a huge hue costs no time.
    H = WrapUnit(H + (hue * 0.01 - 1.0) * 0.5);
    S *= saturation * 0.01;
    L *= brightness * 0.01;
    if (S == 0.0) {
        *red = *green = *blue = uint8_t(Clamp255(L * 255.0));
        return;
    }
    const double m2 = L <= 0.5 ? L * (S + 1.0) : L + S - L * S, m1 = 2.0 * L - m2;
    *red = uint8_t(Clamp255(HueChannel(m1, m2, H + 1.0 / 3.0) * 255.0));
    *green = uint8_t(Clamp255(HueChannel(m1, m2, H) * 255.0));
    *blue = uint8_t(Clamp255(HueChannel(m1, m2, H - 1.0 / 3.0) * 255.0));
}

void ModulatePixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, double br, double sat, double hue) {
    Run16(p, w, h, rl, f, Modulate(br, sat, hue));
}
void ModulatePixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, double br, double sat, double hue) {
    Run32(p, w, h, rl, f, Modulate(br, sat, hue));
}

void SepiaPixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t t) { Run16(p, w, h, rl, f, Sepia(t)); }
void SepiaPixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, int32_t t) { Run32(p, w, h, rl, f, Sepia(t)); }

void FindLevelPoints(const uint32_t hist[256], double blackCount, double whiteCount, int32_t width, int32_t height,
                     int32_t *black, int32_t *white) {
    *black = 0;
    *white = 0;
    double sum = 0;
    for (int i = 0; i < 256; ++i) {
        sum += hist[i];
        if (sum > blackCount) {
            *black = i;
            break;
        }
    }
    const double limit = double(width) * double(height) - whiteCount;
    sum = 0;
    for (int i = 255; i >= 0; --i) {
        sum += hist[i];
        if (sum > limit) {
            *white = i;
            break;
        }
    }
}

void StretchLevels(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, double blackCount, double whiteCount) {
    if (w < 1 || h < 1 || f > 13) return;
    uint32_t hist[256] = {};
    cx::gfx::VisitRGB(p, w, h, rl, f, [&](uint32_t r, uint32_t g, uint32_t b) {
        ++hist[std::min<uint32_t>(uint32_t(Luminance(r, g, b)), 255)];
    });
    int32_t black, white;
    FindLevelPoints(hist, blackCount, whiteCount, w, h, &black, &white);
    if (black == white) return;
    uint8_t map[256];
    for (int c = 0; c < 256; ++c)
        map[c] = c < black ? 0 : c > white ? 255 : uint8_t(std::clamp((c - black) * 255 / (white - black), 0, 255));
    ForEachRGB(p, w, h, rl, f, [&](uint32_t &r, uint32_t &g, uint32_t &b) {
        r = map[r];
        g = map[g];
        b = map[b];
    });
}

void StoreMonochrome16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, const uint8_t *indices) {
    if (!indices || !Is16(f) || w < 1 || h < 1) return;
    for (int32_t y = 0; y < h; ++y) {
        uint16_t *row = static_cast<uint16_t *>(p) + ptrdiff_t(y) * rl;
        const uint8_t *ix = indices + ptrdiff_t(y) * w;
        for (int32_t x = 0; x < w; ++x) row[x] = ix[x] ? 0xFFFF : 0;
    }
}

void StoreMonochrome32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, const uint8_t *indices) {
    if (!indices || !Is32(f) || w < 1 || h < 1) return;
    if (f == 8 || f == 9) { // three bytes, all channels
        Run32(p, w, h, rl, f, Mono(indices));
        return;
    }
    const uint32_t white = (f == 10 || f == 13) ? 0x00FFFFFFu : 0xFFFFFF00u;
    for (int32_t y = 0; y < h; ++y) {
        uint32_t *row = static_cast<uint32_t *>(p) + ptrdiff_t(y) * rl;
        const uint8_t *ix = indices + ptrdiff_t(y) * w;
        for (int32_t x = 0; x < w; ++x) row[x] = ix[x] ? white : 0;
    }
}

} // extern "C"

namespace {

int OilPaint(void *pixels, int32_t w, int32_t h, int32_t rl, uint32_t f, double radius) {
    if (w < 1 || h < 1) return 0;
    if (!std::isfinite(radius)) return ERR_WRONGUSAGE;
    const int32_t kw = KernelWidth2D(radius, 0.5);
    if (kw > CX_MAX_KERNEL_2D) return ERR_WRONGUSAGE;
    const int32_t half = kw / 2, pw = w + 2 * half, ph = h + 2 * half;
    // The padded copy holds each pixel's raw value and its luminance level.
    std::vector<uint32_t> raw;
    std::vector<uint8_t> level;
    try {
        raw.resize(size_t(pw) * ph);
        level.resize(size_t(pw) * ph);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    const uint32_t bpp = cx::pix::kFormats[f].bytes;
    for (int32_t y = 0; y < ph; ++y) {
        const int32_t sy = std::clamp(y - half, 0, h - 1);
        const uint8_t *srow = static_cast<const uint8_t *>(pixels) + ptrdiff_t(sy) * rl * bpp;
        for (int32_t x = 0; x < pw; ++x) {
            const int32_t sx = std::clamp(x - half, 0, w - 1);
            const uint32_t v = LoadPixelValue(srow + ptrdiff_t(sx) * bpp, f);
            const uint32_t c = PixelToColor(v, f, 0);
            raw[size_t(y) * pw + x] = v;
            level[size_t(y) * pw + x] =
                uint8_t(std::min<uint32_t>(uint32_t(Luminance((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF)), 255));
        }
    }
    uint32_t count[256];
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *drow = static_cast<uint8_t *>(pixels) + ptrdiff_t(y) * rl * bpp;
        for (int32_t x = 0; x < w; ++x) {
            std::memset(count, 0, sizeof count);
            uint32_t best = 0, chosen = raw[size_t(y + half) * pw + x + half];
            for (int32_t v = 0; v < kw; ++v) {
                const size_t base = size_t(y + v) * pw + x;
                for (int32_t u = 0; u < kw; ++u) {
                    const uint32_t n = ++count[level[base + u]];
                    if (n > best) {
                        best = n;
                        chosen = raw[base + u];
                    }
                }
            }
            StorePixelValue(drow + ptrdiff_t(x) * bpp, f, chosen);
        }
    }
    return 0;
}

} // namespace

extern "C" int OilPaintPixels16(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, double radius) {
    return Is16(f) ? OilPaint(p, w, h, rl, f, radius) : ERR_PIXELFORMAT;
}
extern "C" int OilPaintPixels32(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f, double radius) {
    return Is32(f) ? OilPaint(p, w, h, rl, f, radius) : ERR_PIXELFORMAT;
}
