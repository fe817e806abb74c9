#include "graphics/effects/transition_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/locked_bitmap.h"

using cx::gfx::LockedBitmap;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A colour bitmap locked whole.
struct Pic {
    LockedBitmap lock;
    uint8_t *pixels = nullptr;
    size_t rowBytes = 0;
    uint32_t bpp = 0, format = 0;
    int32_t width = 0, height = 0;

    int Open(const cxBitmap *b) {
        if (!b) return ERR_LOCKBMAP;
        if (int e = lock.Colour(b, b->width, b->height)) return e;
        pixels = lock.Pixels();
        bpp = lock.BytesPerPixel();
        format = lock.Format();
        rowBytes = size_t(lock.RowLength()) * bpp;
        width = b->width, height = b->height;
        return 0;
    }
    bool Holds(int32_t x, int32_t y, int32_t w, int32_t h) const {
        return x >= 0 && y >= 0 && int64_t(x) + w <= width && int64_t(y) + h <= height;
    }
    uint8_t *At(int32_t x, int32_t y) const { return pixels + size_t(y) * rowBytes + size_t(x) * bpp; }
};

// An alpha channel or mask locked whole (bytes per row in rowBytes).
struct Chan {
    LockedBitmap lock;
    uint8_t *pixels = nullptr;
    size_t rowBytes = 0;
    int Alpha(const cxBitmap *b) {
        if (int e = lock.Alpha(b, b->width, b->height)) return e;
        pixels = lock.Pixels(), rowBytes = size_t(lock.RowLength());
        return 0;
    }
    int Mask(const cxBitmap *b) {
        if (int e = lock.Mask(b, b->width, b->height)) return e;
        pixels = lock.Pixels(), rowBytes = size_t(lock.RowLength());
        return 0;
    }
    uint8_t *Row(int32_t y) const { return pixels + size_t(y) * rowBytes; }
};

int32_t Level256(int32_t level) {
    level = std::clamp(level, 0, 255);
    return level + (level >> 7);  // 255 -> 256: the second picture exactly
}

inline uint32_t Lerp32(uint32_t a, uint32_t b, uint32_t l) {
    const uint32_t il = 256 - l;
    const uint32_t rb = (((a & 0xFF00FFu) * il + (b & 0xFF00FFu) * l) >> 8) & 0xFF00FFu;
    const uint32_t ag = (((a >> 8) & 0xFF00FFu) * il + ((b >> 8) & 0xFF00FFu) * l) & 0xFF00FF00u;
    return rb | ag;
}

// One row of count pixels: out = a + (b - a) * l / 256, l in 0..256. b
// null: the constant pixel of bConst (bytes of one pixel).
void LerpRow(const uint8_t *a, const uint8_t *b, const uint8_t *bConst, uint8_t *out, int32_t count, uint32_t bpp,
             uint32_t format, int32_t l) {
    if (bpp == 4) {
        int32_t i = 0;
        uint32_t cst = 0;
        if (!b) std::memcpy(&cst, bConst, 4);
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i vl = _mm_set1_epi16(int16_t(l)), vil = _mm_set1_epi16(int16_t(256 - l));
        const __m128i vc = _mm_set1_epi32(int32_t(cst));
        for (; i + 4 <= count; i += 4) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 4 * i));
            const __m128i vb = b ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 4 * i)) : vc;
            const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), vil),
                                                            _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), vl)),
                                              8);
            const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), vil),
                                                            _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), vl)),
                                              8);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; i < count; ++i) {
            uint32_t pa, pb = cst, r;
            std::memcpy(&pa, a + 4 * i, 4);
            if (b) std::memcpy(&pb, b + 4 * i, 4);
            r = Lerp32(pa, pb, uint32_t(l));
            std::memcpy(out + 4 * i, &r, 4);
        }
        return;
    }
    if (bpp == 3) {
        for (int32_t i = 0; i < count * 3; ++i) {
            const int32_t x = a[i], y = b ? b[i] : bConst[i % 3];
            out[i] = uint8_t((x * (256 - l) + y * l) >> 8);
        }
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        uint8_t p[4], q[4], r[4];
        UnpackPixel(a + size_t(i) * bpp, format, p);
        UnpackPixel(b ? b + size_t(i) * bpp : bConst, format, q);
        for (int c = 0; c < 4; ++c) r[c] = uint8_t((p[c] * (256 - l) + q[c] * l) >> 8);
        PackPixel(out + size_t(i) * bpp, format, r);
    }
}

// Copies one pixel of bpp bytes.
inline void CopyPixel(uint8_t *d, const uint8_t *s, uint32_t bpp) {
    if (bpp == 4) std::memcpy(d, s, 4);
    else std::memcpy(d, s, bpp);
}

// The pixel s laid over the pixel at d at level l (0..256).
inline void BlendPixel(uint8_t *d, const uint8_t *o, const uint8_t *s, uint32_t bpp, uint32_t format, int32_t l) {
    if (bpp == 4) {
        uint32_t a, b;
        std::memcpy(&a, o, 4);
        std::memcpy(&b, s, 4);
        const uint32_t r = Lerp32(a, b, uint32_t(l));
        std::memcpy(d, &r, 4);
    } else {
        LerpRow(o, s, s, d, 1, bpp, format, l);
    }
}

// The shared frame of the ripple and swirl forms. Row by row: rowMap
// writes where each pixel of the row reads the new picture (a pixel index
// into it, cut to the picture), the pixels are gathered, and the row is
// laid over the old picture (or copied with its alpha channel). The passes
// keep the arithmetic, the gathering and the blending apart, so that the
// first and the last run in vector registers.
template <class RowMap>
int RemapFrame(const cxRingTable *t, const cxBitmap *newPicture, const cxBitmap *newAlpha, const cxBitmap *oldPicture,
               cxBitmap *out, int32_t ox, int32_t oy, cxBitmap *outAlpha, int32_t level, RowMap &&rowMap) {
    if (!t || !t->ring || !t->rowIndex || !t->rowPixels) return ERR_WRONGUSAGE;
    const int32_t w = t->width, h = t->height;
    Pic n, o, d;
    if (int e = n.Open(newPicture)) return e;
    if (int e = d.Open(out)) return e;
    if (oldPicture && (o.Open(oldPicture) != 0)) return ERR_LOCKBMAP;
    if (!n.Holds(0, 0, w, h) || !d.Holds(ox, oy, w, h) || (oldPicture && !o.Holds(0, 0, w, h)))
        return ERR_COORDSRANGE;
    if (n.format != d.format || (oldPicture && o.format != d.format)) return ERR_PIXELFORMAT;
    if (n.bpp > 4) return ERR_PIXELFORMAT;
    Chan na, da;
    const bool alpha = !oldPicture && outAlpha;
    if (alpha) {
        if (da.Alpha(outAlpha) || outAlpha->width < w || outAlpha->height < h) return ERR_LOCKBMAP;
        if (newAlpha && (na.Alpha(newAlpha) || newAlpha->width < w || newAlpha->height < h)) return ERR_LOCKBMAP;
    }
    const int32_t l = Level256(level);
    const uint32_t bpp = d.bpp;
    const int32_t stride = n.lock.RowLength();
    int32_t *idx = t->rowIndex;
    uint8_t *gathered = t->rowPixels;
    const uint8_t *np = n.pixels;
    for (int32_t y = 0; y < h; ++y) {
        rowMap(t->ring + size_t(y) * w, y, stride, idx, reinterpret_cast<int32_t *>(gathered));
        uint8_t *drow = d.At(ox, oy + y);
        if (bpp == 4) {
            auto *g = reinterpret_cast<uint32_t *>(gathered);
            // The reads are scattered: each is asked for some pixels ahead.
            constexpr int32_t kAhead = 32;
            int32_t x = 0;
            for (; x + kAhead < w; ++x) {
                __builtin_prefetch(np + size_t(uint32_t(idx[x + kAhead])) * 4);
                std::memcpy(&g[x], np + size_t(uint32_t(idx[x])) * 4, 4);
            }
            for (; x < w; ++x) std::memcpy(&g[x], np + size_t(uint32_t(idx[x])) * 4, 4);
        } else {
            for (int32_t x = 0; x < w; ++x) std::memcpy(gathered + size_t(x) * bpp, np + size_t(uint32_t(idx[x])) * bpp, bpp);
        }
        if (oldPicture) {
            LerpRow(o.At(0, y), gathered, gathered, drow, w, bpp, d.format, l);
            continue;
        }
        std::memcpy(drow, gathered, size_t(w) * bpp);
        if (alpha) {
            uint8_t *arow = da.Row(y);
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t i = uint32_t(idx[x]);
                const int32_t a = newAlpha ? na.Row(int32_t(i / uint32_t(stride)))[i % uint32_t(stride)] : 255;
                arow[x] = uint8_t((a * l) >> 8);
            }
        }
    }
    return 0;
}

}  // namespace

extern "C" int CrossfadeBitmaps(const cxBitmap *a, int32_t ax, int32_t ay, const cxBitmap *b, int32_t bx, int32_t by,
                                cxBitmap *out, int32_t ox, int32_t oy, int32_t w, int32_t h, int32_t level) {
    if (w < 1 || h < 1) return 0;
    Pic pa, pb, po;
    if (int e = pa.Open(a)) return e;
    if (int e = pb.Open(b)) return e;
    if (int e = po.Open(out)) return e;
    if (!pa.Holds(ax, ay, w, h) || !pb.Holds(bx, by, w, h) || !po.Holds(ox, oy, w, h)) return ERR_COORDSRANGE;
    if (pa.format != po.format || pb.format != po.format) return ERR_PIXELFORMAT;
    const int32_t l = Level256(level);
    for (int32_t y = 0; y < h; ++y)
        LerpRow(pa.At(ax, ay + y), pb.At(bx, by + y), nullptr, po.At(ox, oy + y), w, po.bpp, po.format, l);
    return 0;
}

extern "C" int FadeBitmapToColour(const cxBitmap *src, int32_t sx, int32_t sy, cxBitmap *out, int32_t ox, int32_t oy,
                                  int32_t w, int32_t h, uint32_t colour, int32_t level) {
    if (w < 1 || h < 1) return 0;
    Pic ps, po;
    if (int e = ps.Open(src)) return e;
    if (int e = po.Open(out)) return e;
    if (!ps.Holds(sx, sy, w, h) || !po.Holds(ox, oy, w, h)) return ERR_COORDSRANGE;
    if (ps.format != po.format) return ERR_PIXELFORMAT;
    uint8_t pixel[4] = {};
    StorePixelValue(pixel, po.format, ColorToPixel(colour & 0xFFFFFFu, po.format, 0));
    const int32_t l = Level256(level);
    for (int32_t y = 0; y < h; ++y) LerpRow(ps.At(sx, sy + y), nullptr, pixel, po.At(ox, oy + y), w, po.bpp, po.format, l);
    return 0;
}

extern "C" int InitRippleTables(cxRingTable *t, int32_t w, int32_t h) {
    if (!t) return ERR_WRONGUSAGE;
    *t = cxRingTable{};
    if (w < 1 || h < 1 || w > 16384 || h > 16384) return ERR_BADDIMENSIONS;
    t->ring = static_cast<uint16_t *>(malloc(size_t(w) * size_t(h) * sizeof(uint16_t)));
    if (!t->ring) return ERR_MEM;
    t->width = w, t->height = h;
    const double cx = w * 0.5, cy = h * 0.5;
    int32_t top = 0;
    for (int32_t y = 0; y < h; ++y) {
        const double fy = y + 0.5 - cy;
        for (int32_t x = 0; x < w; ++x) {
            const double fx = x + 0.5 - cx;
            const int32_t k = int32_t(std::min(std::sqrt(fx * fx + fy * fy) * 4.0 + 0.5, 65535.0));
            t->ring[size_t(y) * w + x] = uint16_t(k);
            top = std::max(top, k);
        }
    }
    t->rings = top + 1;
    t->scratchA = static_cast<int32_t *>(calloc(size_t(t->rings), sizeof(int32_t)));
    t->scratchB = static_cast<int32_t *>(calloc(size_t(t->rings), sizeof(int32_t)));
    t->rowIndex = static_cast<int32_t *>(calloc(size_t(w), sizeof(int32_t)));
    t->rowPixels = static_cast<uint8_t *>(calloc(size_t(w), 4));
    if (!t->scratchA || !t->scratchB || !t->rowIndex || !t->rowPixels) {
        FreeRippleTables(t);
        return ERR_MEM;
    }
    return 0;
}

extern "C" void FreeRippleTables(cxRingTable *t) {
    if (!t) return;
    free(t->ring);
    free(t->scratchA);
    free(t->scratchB);
    free(t->rowIndex);
    free(t->rowPixels);
    *t = cxRingTable{};
}

extern "C" int RipplePixels(const cxRingTable *t, const cxBitmap *newPicture, const cxBitmap *newAlpha,
                            const cxBitmap *oldPicture, cxBitmap *out, int32_t ox, int32_t oy, cxBitmap *outAlpha,
                            double waveLength, double amplitude, double phase, int32_t level) {
    if (!t || !t->ring) return ERR_WRONGUSAGE;
    if (!std::isfinite(waveLength) || !std::isfinite(amplitude) || !std::isfinite(phase)) return ERR_WRONGUSAGE;
    const double wl = std::max(waveLength, 1.0);
    // Per ring: the displacement over the distance, in 16.16.
    int32_t *f = t->scratchA;
    f[0] = 0;
    for (int32_t k = 1; k < t->rings; ++k) {
        const double r = k * 0.25;
        const double v = amplitude * std::sin(2.0 * kPi * r / wl - phase) / r * 65536.0;
        f[k] = int32_t(std::clamp(v, -1e9, 1e9));
    }
    const int32_t w = t->width, h = t->height;
    return RemapFrame(t, newPicture, newAlpha, oldPicture, out, ox, oy, outAlpha, level,
                      [f, w, h](const uint16_t *ring, int32_t y, int32_t stride, int32_t *__restrict idx, int32_t *) {
                          // Locals, so that the stores cannot change them.
                          const int32_t W = w, H = h, dy2 = 2 * y + 1 - H;
                          const int32_t *__restrict table = f;
                          // The table lookups first, then arithmetic the
                          // compiler can vectorise.
                          for (int32_t x = 0; x < W; ++x) idx[x] = table[ring[x]];
                          for (int32_t x = 0; x < W; ++x) {
                              const int32_t s = idx[x], dx2 = 2 * x + 1 - W;
                              const int32_t sx = std::min(std::max(x + ((dx2 * s + 65536) >> 17), 0), W - 1);
                              const int32_t sy = std::min(std::max(y + ((dy2 * s + 65536) >> 17), 0), H - 1);
                              idx[x] = sy * stride + sx;
                          }
                      });
}

extern "C" int SwirlPixels(const cxRingTable *t, const cxBitmap *newPicture, const cxBitmap *newAlpha,
                           const cxBitmap *oldPicture, cxBitmap *out, int32_t ox, int32_t oy, cxBitmap *outAlpha,
                           double twistDegrees, int32_t level) {
    if (!t || !t->ring) return ERR_WRONGUSAGE;
    if (!std::isfinite(twistDegrees)) return ERR_WRONGUSAGE;
    int32_t *c = t->scratchA, *s = t->scratchB;
    const double radius = std::max(0.5 * std::sqrt(double(t->width) * t->width + double(t->height) * t->height), 1.0);
    // 14 bits of fraction: twice a side of 16384 times the cosine stays in
    // 32 bits.
    for (int32_t k = 0; k < t->rings; ++k) {
        const double r = k * 0.25, fall = r >= radius ? 0.0 : (1.0 - r / radius) * (1.0 - r / radius);
        const double a = twistDegrees * fall * kPi / 180.0;
        c[k] = int32_t(std::lrint(std::cos(a) * 16384.0));
        s[k] = int32_t(std::lrint(std::sin(a) * 16384.0));
    }
    const int32_t w = t->width, h = t->height;
    return RemapFrame(t, newPicture, newAlpha, oldPicture, out, ox, oy, outAlpha, level,
                      [c, s, w, h](const uint16_t *ring, int32_t y, int32_t stride, int32_t *__restrict idx,
                                   int32_t *__restrict sines) {
                          // Locals, so that the stores cannot change them.
                          const int32_t W = w, H = h, dy2 = 2 * y + 1 - H;
                          const int32_t w1 = (W - 1) << 14, h1 = (H - 1) << 14;
                          const int32_t *__restrict cosTable = c, *__restrict sinTable = s;
                          // The table lookups first, then arithmetic the
                          // compiler can vectorise.
                          for (int32_t x = 0; x < W; ++x) idx[x] = cosTable[ring[x]], sines[x] = sinTable[ring[x]];
                          for (int32_t x = 0; x < W; ++x) {
                              const int32_t ck = idx[x], sk = sines[x], dx2 = 2 * x + 1 - W;
                              const int32_t sx = std::min(std::max((w1 + ck * dx2 - sk * dy2 + 16384) >> 15, 0), W - 1);
                              const int32_t sy = std::min(std::max((h1 + sk * dx2 + ck * dy2 + 16384) >> 15, 0), H - 1);
                              idx[x] = sy * stride + sx;
                          }
                      });
}

extern "C" int DissolveChannel(const uint8_t *thresholds, int32_t w, int32_t h, int32_t level, int32_t invert,
                               const cxBitmap *srcMask, const cxBitmap *srcAlpha, cxBitmap *outMask,
                               cxBitmap *outAlpha) {
    if (!thresholds || w < 1 || h < 1) return 0;
    Chan sm, sa, om, oa;
    auto fits = [&](const cxBitmap *b) { return b->width >= w && b->height >= h; };
    if (srcMask && (sm.Mask(srcMask) || !fits(srcMask))) return ERR_LOCKBMAP;
    if (srcAlpha && (sa.Alpha(srcAlpha) || !fits(srcAlpha))) return ERR_LOCKBMAP;
    if (outMask && (om.Mask(outMask) || !fits(outMask))) return ERR_LOCKBMAP;
    if (outAlpha && (oa.Alpha(outAlpha) || !fits(outAlpha))) return ERR_LOCKBMAP;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *thr = thresholds + size_t(y) * w;
        uint8_t *mrow = outMask ? om.Row(y) : nullptr;
        uint8_t *arow = outAlpha ? oa.Row(y) : nullptr;
        const uint8_t *smrow = srcMask ? sm.Row(y) : nullptr;
        const uint8_t *sarow = srcAlpha ? sa.Row(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            const bool on = (int32_t(thr[x]) < level) != (invert != 0);
            int32_t value = 255;
            if (sarow) value = sarow[x];
            else if (smrow) value = ((smrow[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
            if (!on) value = 0;
            if (mrow) {
                const uint8_t bit = uint8_t(0x80u >> (x & 7));
                mrow[x >> 3] = value ? uint8_t(mrow[x >> 3] | bit) : uint8_t(mrow[x >> 3] & ~bit);
            }
            if (arow) arow[x] = uint8_t(value);
        }
    }
    return 0;
}

extern "C" int DissolvePixels(const uint8_t *thresholds, int32_t w, int32_t h, int32_t from, int32_t to,
                              const cxBitmap *src, cxBitmap *out, int32_t ox, int32_t oy) {
    if (!thresholds || w < 1 || h < 1 || to <= from) return 0;
    Pic s, d;
    if (int e = s.Open(src)) return e;
    if (int e = d.Open(out)) return e;
    if (!s.Holds(0, 0, w, h) || !d.Holds(ox, oy, w, h)) return ERR_COORDSRANGE;
    if (s.format != d.format) return ERR_PIXELFORMAT;
    const uint32_t bpp = d.bpp, lo = uint32_t(std::max(from, 0)), span = uint32_t(to) - lo;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *thr = thresholds + size_t(y) * w;
        const uint8_t *srow = s.At(0, y);
        uint8_t *drow = d.At(ox, oy + y);
        for (int32_t x = 0; x < w; ++x)
            if (uint32_t(thr[x]) - lo < span) CopyPixel(drow + size_t(x) * bpp, srow + size_t(x) * bpp, bpp);
    }
    return 0;
}

extern "C" int PixelatePixels(const cxBitmap *src, const cxBitmap *srcAlpha, cxBitmap *out, int32_t ox, int32_t oy,
                              cxBitmap *outAlpha, int32_t w, int32_t h, int32_t block, int32_t level) {
    if (w < 1 || h < 1) return 0;
    Pic s, d;
    if (int e = s.Open(src)) return e;
    if (int e = d.Open(out)) return e;
    if (!s.Holds(0, 0, w, h) || !d.Holds(ox, oy, w, h)) return ERR_COORDSRANGE;
    if (s.format != d.format) return ERR_PIXELFORMAT;
    Chan sa, oa;
    if (outAlpha && (oa.Alpha(outAlpha) || outAlpha->width < w || outAlpha->height < h)) return ERR_LOCKBMAP;
    if (outAlpha && srcAlpha && (sa.Alpha(srcAlpha) || srcAlpha->width < w || srcAlpha->height < h))
        return ERR_LOCKBMAP;
    const int32_t l = Level256(level);
    const int32_t b = std::max(block, 1);
    const uint32_t bpp = d.bpp;
    for (int32_t by = 0; by < h; by += b) {
        const int32_t bh = std::min(b, h - by), cy = std::min(by + b / 2, h - 1);
        for (int32_t bx = 0; bx < w; bx += b) {
            const int32_t bw = std::min(b, w - bx), cx = std::min(bx + b / 2, w - 1);
            const uint8_t *centre = s.At(cx, cy);
            for (int32_t y = by; y < by + bh; ++y) {
                uint8_t *row = d.At(ox + bx, oy + y);
                if (b == 1) CopyPixel(row, s.At(bx, y), bpp);
                else
                    for (int32_t x = 0; x < bw; ++x) CopyPixel(row + size_t(x) * bpp, centre, bpp);
            }
            if (outAlpha) {
                const int32_t a = srcAlpha ? sa.Row(b == 1 ? by : cy)[b == 1 ? bx : cx] : 255;
                const uint8_t v = uint8_t((a * l) >> 8);
                for (int32_t y = by; y < by + bh; ++y) std::memset(oa.Row(y) + bx, v, size_t(bw));
            }
        }
    }
    return 0;
}

extern "C" int ScaleBitmapInto(const cxBitmap *src, int32_t sx, int32_t sy, int32_t sw, int32_t sh, cxBitmap *dst,
                               int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t smooth) {
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return 0;
    Pic s, d;
    if (int e = s.Open(src)) return e;
    if (int e = d.Open(dst)) return e;
    if (!s.Holds(sx, sy, sw, sh) || !d.Holds(dx, dy, dw, dh)) return ERR_COORDSRANGE;
    if (s.format != d.format) return ERR_PIXELFORMAT;
    cxScaleJob job{};
    job.srcPixels = s.At(sx, sy);
    job.dstPixels = d.At(dx, dy);
    job.srcWidth = sw, job.srcHeight = sh, job.dstWidth = dw, job.dstHeight = dh;
    job.srcRowLength = s.lock.RowLength(), job.dstRowLength = d.lock.RowLength();
    job.smooth = smooth;
    job.pixelFormat = d.format;
    job.bytesPerPixel = int32_t(d.bpp);
    return RunScaleJob(&job);
}
