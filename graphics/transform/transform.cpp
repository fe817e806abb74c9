// Affine transform (nearest and bilinear) and quarter turns.
#include "graphics/transform/transform.h"

#include <algorithm>
#include <cmath>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/kernels/kernel_support.h"

using namespace cx::kern;

namespace {

constexpr double kTol = 1e-10;

struct Inverse {
    double ia, ib, ic, id;
};

// False for a singular matrix: such a transform covers no area.
bool Invert(const cxTransformJob *j, Inverse *inv) {
    const double det = j->m00 * j->m11 - j->m01 * j->m10;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    *inv = {j->m11 / det, -j->m01 / det, -j->m10 / det, j->m00 / det};
    return std::isfinite(inv->ia) && std::isfinite(inv->ib) && std::isfinite(inv->ic) && std::isfinite(inv->id);
}

// Narrows [lo, hi] to the destination columns x for which coef * x + k lies
// in [0, size), widened by the tolerance so that positions off by less than
// it still count.
void Narrow(double coef, double k, double size, double &lo, double &hi) {
    if (std::fabs(coef) < kTol) {
        if (!(k >= -kTol && k < size + kTol)) hi = lo - 1;
        return;
    }
    if (coef > 0) {
        lo = std::max(lo, std::ceil(-k / coef - kTol));
        hi = std::min(hi, std::ceil((size - k) / coef + kTol) - 1);
    } else {
        hi = std::min(hi, std::floor(-k / coef + kTol));
        lo = std::max(lo, std::floor((size - k) / coef - kTol) + 1);
    }
}

struct RowSpan {
    int32_t first, last; // inclusive; empty when first > last
    double kx, ky;       // source position of column 0's centre
};

// Destination rows that can be covered and, per row, the columns whose
// centres map inside the source.
template <class PerRow>
void ForEachSpan(const cxTransformJob *j, const Inverse &inv, PerRow &&perRow) {
    const double w = j->srcWidth, h = j->srcHeight;
    const double ys[4] = {j->ty, j->m10 * w + j->ty, j->m11 * h + j->ty, j->m10 * w + j->m11 * h + j->ty};
    const double minY = std::min(std::min(ys[0], ys[1]), std::min(ys[2], ys[3]));
    const double maxY = std::max(std::max(ys[0], ys[1]), std::max(ys[2], ys[3]));
    const double top = std::clamp(std::ceil(minY - 0.5), 0.0, double(j->dstHeight));
    const double bottom = std::clamp(std::floor(maxY + 0.5), -1.0, double(j->dstHeight - 1));
    for (int32_t y = int32_t(top); y <= int32_t(bottom); ++y) {
        const double dy = y + 0.5 - j->ty;
        RowSpan s;
        s.kx = inv.ia * (0.5 - j->tx) + inv.ib * dy;
        s.ky = inv.ic * (0.5 - j->tx) + inv.id * dy;
        double lo = 0, hi = j->dstWidth - 1;
        Narrow(inv.ia, s.kx, w, lo, hi);
        Narrow(inv.ic, s.ky, h, lo, hi);
        if (lo > hi) continue;
        s.first = int32_t(lo);
        s.last = int32_t(hi);
        perRow(y, s);
    }
}

template <int F>
void TransformNearest(const cxTransformJob *j, const Inverse &inv) {
    constexpr int B = kBytes<F>;
    const double maxX = j->srcWidth - 1, maxY = j->srcHeight - 1;
    const bool alpha = j->srcAlpha && j->dstAlpha;
    const bool mask = !alpha && j->srcMask && j->dstMask;
    ForEachSpan(j, inv, [&](int32_t y, const RowSpan &s) {
        uint8_t *d = At(j->dstPixels, 0, y, j->dstRowLength, B);
        for (int32_t x = s.first; x <= s.last; ++x) {
            // Inside the span the position is within the source up to the
            // tolerance; the clamp keeps the rounding on the last column.
            const int32_t sx = int32_t(std::clamp(inv.ia * x + s.kx, 0.0, maxX));
            const int32_t sy = int32_t(std::clamp(inv.ic * x + s.ky, 0.0, maxY));
            std::memcpy(d + ptrdiff_t(x) * B, At(j->srcPixels, sx, sy, j->srcRowLength, B), B);
        }
        if (alpha) {
            uint8_t *a = j->dstAlpha + ptrdiff_t(y) * j->dstAlphaRowLength;
            for (int32_t x = s.first; x <= s.last; ++x) {
                const int32_t sx = int32_t(std::clamp(inv.ia * x + s.kx, 0.0, maxX));
                const int32_t sy = int32_t(std::clamp(inv.ic * x + s.ky, 0.0, maxY));
                a[x] = j->srcAlpha[ptrdiff_t(sy) * j->srcAlphaRowLength + sx];
            }
        } else if (mask) {
            uint8_t *m = j->dstMask + ptrdiff_t(y) * j->dstMaskRowLength;
            for (int32_t x = s.first; x <= s.last; ++x) {
                const int32_t sx = int32_t(std::clamp(inv.ia * x + s.kx, 0.0, maxX));
                const int32_t sy = int32_t(std::clamp(inv.ic * x + s.ky, 0.0, maxY));
                SetMaskBit(m, x, MaskBit(j->srcMask + ptrdiff_t(sy) * j->srcMaskRowLength, sx));
            }
        }
    });
}

// Bilinear sampling takes pixel centres at whole coordinates: a destination
// centre that maps to source position p samples at p - 0.5, so the identity
// returns every pixel unblended and a neighbour beyond an edge is the edge
// pixel itself. The weights are 15-bit fractions and each channel is
// interpolated across, then down, as the scaler does; a run of pixels is
// first gathered (positions, neighbours, mask rule) and then interpolated
// in one vector pass.
constexpr int32_t kRun = 128;

struct Run {
    alignas(16) uint32_t c[4][kRun];    // neighbours 00, 10, 01, 11 as channel bytes
    alignas(16) uint64_t fx[kRun], fy[kRun]; // fractions repeated in four 16-bit lanes
    alignas(16) uint8_t a[4][kRun];     // alpha of the neighbours
    alignas(16) int16_t ax[kRun], ay[kRun];
    alignas(16) uint32_t top[kRun], bottom[kRun], out[kRun];
    alignas(16) uint8_t atop[kRun], abottom[kRun], aout[kRun];
    alignas(16) uint16_t planes[4][3][kRun]; // 2-byte formats: channel planes of the neighbours
    alignas(16) uint16_t ptop[3][kRun], pbottom[3][kRun], pout[3][kRun];
    uint8_t visible[kRun];
};

// Back from channel bytes: 4-byte formats hold their own bytes, others
// 0x00RRGGBB.
template <int F>
inline uint32_t FromChannels(uint32_t c) {
    if constexpr (kBytes<F> == 4) return c;
    else return FromARGB<F>(c, false);
}

template <int F>
void TransformSmooth(const cxTransformJob *j, const Inverse &inv) {
    constexpr int B = kBytes<F>;
    const int32_t lastX = j->srcWidth - 1, lastY = j->srcHeight - 1;
    const bool alpha = j->srcAlpha && j->dstAlpha;
    const bool mask = !alpha && j->srcMask;
    Run r;
    ForEachSpan(j, inv, [&](int32_t y, const RowSpan &s) {
        uint8_t *d = At(j->dstPixels, 0, y, j->dstRowLength, B);
        uint8_t *da = alpha ? j->dstAlpha + ptrdiff_t(y) * j->dstAlphaRowLength : nullptr;
        uint8_t *dm = j->dstMask ? j->dstMask + ptrdiff_t(y) * j->dstMaskRowLength : nullptr;
        for (int32_t x0 = s.first; x0 <= s.last; x0 += kRun) {
            const int32_t n = std::min(kRun, s.last - x0 + 1);
            // Positions step in 16.16 fixed point from an exact start per run
            // (the drift over a run stays below 1/500 pixel; unit and zero
            // steps are exact). Shifted by one so that they are never
            // negative: inside the span u and v are at least -0.5.
            // A step so large that the run holds one pixel is cut to a value
            // that stays representable.
            const auto fixed = [](double v) { return std::llround(std::clamp(v * 65536.0, -0x1p46, 0x1p46)); };
            const int64_t U0 = fixed(inv.ia * x0 + s.kx + 0.5), V0 = fixed(inv.ic * x0 + s.ky + 0.5);
            const int64_t dU = fixed(inv.ia), dV = fixed(inv.ic);
            for (int32_t i = 0; i < n; ++i) {
                const int64_t U = U0 + dU * i, V = V0 + dV * i;
                const int32_t xi = int32_t(U >> 16) - 1, yi = int32_t(V >> 16) - 1;
                const uint16_t fx = uint16_t((U & 0xFFFF) >> 1), fy = uint16_t((V & 0xFFFF) >> 1);
                const int32_t sx0 = std::clamp(xi, 0, lastX), sx1 = std::clamp(xi + 1, 0, lastX);
                const int32_t sy0 = std::clamp(yi, 0, lastY), sy1 = std::clamp(yi + 1, 0, lastY);
                const uint8_t *r0 = At(j->srcPixels, 0, sy0, j->srcRowLength, B);
                const uint8_t *r1 = At(j->srcPixels, 0, sy1, j->srcRowLength, B);
                uint32_t c00 = Load<F>(r0 + ptrdiff_t(sx0) * B), c10 = Load<F>(r0 + ptrdiff_t(sx1) * B);
                uint32_t c01 = Load<F>(r1 + ptrdiff_t(sx0) * B), c11 = Load<F>(r1 + ptrdiff_t(sx1) * B);
                uint8_t vis = 1;
                if (mask) {
                    // Transparent neighbours take the first opaque neighbour's
                    // colour so that edges do not darken. The result is
                    // visible when opaque neighbours carry at least half the
                    // weight: a neighbour of weight 0 must not make a pixel
                    // visible, or the identity would grow the mask.
                    const uint8_t *m0 = j->srcMask + ptrdiff_t(sy0) * j->srcMaskRowLength;
                    const uint8_t *m1 = j->srcMask + ptrdiff_t(sy1) * j->srcMaskRowLength;
                    const uint32_t o00 = MaskBit(m0, sx0), o10 = MaskBit(m0, sx1), o01 = MaskBit(m1, sx0),
                                   o11 = MaskBit(m1, sx1);
                    const uint32_t first = o00 ? c00 : o10 ? c10 : o01 ? c01 : c11;
                    c00 = o00 ? c00 : first;
                    c10 = o10 ? c10 : first;
                    c01 = o01 ? c01 : first;
                    c11 = o11 ? c11 : first;
                    const uint32_t gx = 32768u - fx, gy = 32768u - fy;
                    const uint32_t opaque = o00 * gx * gy + o10 * fx * gy + o01 * gx * fy + o11 * fx * fy;
                    vis = opaque >= (1u << 29) ? 1 : 0;
                }
                r.c[0][i] = c00, r.c[1][i] = c10, r.c[2][i] = c01, r.c[3][i] = c11;
                if constexpr (B != 2) {
                    r.fx[i] = uint64_t(fx) * 0x0001000100010001ull;
                    r.fy[i] = uint64_t(fy) * 0x0001000100010001ull;
                }
                r.ax[i] = int16_t(fx), r.ay[i] = int16_t(fy);
                r.visible[i] = vis;
                if (alpha) {
                    const uint8_t *a0 = j->srcAlpha + ptrdiff_t(sy0) * j->srcAlphaRowLength;
                    const uint8_t *a1 = j->srcAlpha + ptrdiff_t(sy1) * j->srcAlphaRowLength;
                    r.a[0][i] = a0[sx0], r.a[1][i] = a0[sx1], r.a[2][i] = a1[sx0], r.a[3][i] = a1[sx1];
                }
            }
            uint8_t *p = d + ptrdiff_t(x0) * B;
            if constexpr (B == 2) {
                // Three planes of channel values in 16-bit words, as the
                // scaler does for 2-byte pixels.
                for (int q = 0; q < 4; ++q)
                    for (int32_t i = 0; i < n; ++i) {
                        const RGB8x16 w = Split565(uint16_t(ToWork<F>(r.c[q][i])));
                        r.planes[q][0][i] = w.r;
                        r.planes[q][1][i] = w.g;
                        r.planes[q][2][i] = w.b;
                    }
                for (int c = 0; c < 3; ++c) {
                    LerpWords(r.planes[0][c], r.planes[1][c], r.ax, n, r.ptop[c]);
                    LerpWords(r.planes[2][c], r.planes[3][c], r.ax, n, r.pbottom[c]);
                    LerpWords(r.ptop[c], r.pbottom[c], r.ay, n, r.pout[c]);
                }
                uint16_t *p2 = reinterpret_cast<uint16_t *>(p);
                for (int32_t i = 0; i < n; ++i) {
                    const uint16_t v = uint16_t(FromWork<F>(Join565(r.pout[0][i], r.pout[1][i], r.pout[2][i])));
                    p2[i] = mask ? uint16_t(Select(0u - r.visible[i], v, p2[i])) : v;
                }
            } else {
                if constexpr (B == 3) {
                    for (int q = 0; q < 4; ++q)
                        for (int32_t i = 0; i < n; ++i) r.c[q][i] = ToARGB<F>(r.c[q][i], false);
                }
                const auto bytes = [](uint32_t *b) { return reinterpret_cast<uint8_t *>(b); };
                const int16_t *fx4 = reinterpret_cast<const int16_t *>(r.fx), *fy4 = reinterpret_cast<const int16_t *>(r.fy);
                LerpBytes(bytes(r.c[0]), bytes(r.c[1]), fx4, 4 * n, bytes(r.top));
                LerpBytes(bytes(r.c[2]), bytes(r.c[3]), fx4, 4 * n, bytes(r.bottom));
                LerpBytes(bytes(r.top), bytes(r.bottom), fy4, 4 * n, bytes(r.out));
                if (mask) {
                    for (int32_t i = 0; i < n; ++i) {
                        uint8_t *q = p + ptrdiff_t(i) * B;
                        Store<F>(q, Select(0u - r.visible[i], FromChannels<F>(r.out[i]), Load<F>(q)));
                    }
                } else if constexpr (B == 4) {
                    std::memcpy(p, r.out, size_t(n) * 4);
                } else {
                    for (int32_t i = 0; i < n; ++i) Store<F>(p + ptrdiff_t(i) * B, FromChannels<F>(r.out[i]));
                }
            }
            if (alpha) {
                LerpBytes(r.a[0], r.a[1], r.ax, n, r.atop);
                LerpBytes(r.a[2], r.a[3], r.ax, n, r.abottom);
                LerpBytes(r.atop, r.abottom, r.ay, n, da + x0);
            } else if (dm) {
                for (int32_t i = 0; i < n; ++i) SetMaskBit(dm, x0 + i, r.visible[i]);
            }
        }
    });
}

// Quarter turns, in square tiles so that both sides stay in cache.
constexpr int32_t kTile = 32;

template <class Move>
void QuarterTurn(const cxTransformJob *j, Move &&move) {
    const bool ccw = j->direction == 1;
    const int32_t sw = j->srcWidth, sh = j->srcHeight;
    for (int32_t r0 = 0; r0 < sw; r0 += kTile) {
        for (int32_t c0 = 0; c0 < sh; c0 += kTile) {
            const int32_t r1 = std::min(r0 + kTile, sw), c1 = std::min(c0 + kTile, sh);
            for (int32_t r = r0; r < r1; ++r) {
                // Destination row r is a source column.
                const int32_t sx = ccw ? sw - 1 - r : r;
                for (int32_t c = c0; c < c1; ++c) move(c, r, sx, ccw ? c : sh - 1 - c);
            }
        }
    }
}

template <int F>
void RotateQuarter(const cxTransformJob *j) {
    constexpr int B = kBytes<F>;
    QuarterTurn(j, [&](int32_t dx, int32_t dy, int32_t sx, int32_t sy) {
        std::memcpy(At(j->dstPixels, dx, dy, j->dstRowLength, B), At(j->srcPixels, sx, sy, j->srcRowLength, B), B);
    });
    if (j->srcAlpha && j->dstAlpha) {
        QuarterTurn(j, [&](int32_t dx, int32_t dy, int32_t sx, int32_t sy) {
            j->dstAlpha[ptrdiff_t(dy) * j->dstAlphaRowLength + dx] = j->srcAlpha[ptrdiff_t(sy) * j->srcAlphaRowLength + sx];
        });
    }
    if (j->srcMask && j->dstMask) {
        QuarterTurn(j, [&](int32_t dx, int32_t dy, int32_t sx, int32_t sy) {
            SetMaskBit(j->dstMask + ptrdiff_t(dy) * j->dstMaskRowLength, dx,
                       MaskBit(j->srcMask + ptrdiff_t(sy) * j->srcMaskRowLength, sx));
        });
    }
}

} // namespace

extern "C" {

void TransformPixels(const cxTransformJob *j) {
    if (j->srcWidth < 1 || j->srcHeight < 1 || j->dstWidth < 1 || j->dstHeight < 1) return;
    // Positions are converted to int: a NaN or infinite coefficient maps
    // onto no pixel (checked once, not per pixel).
    for (double v : {j->m00, j->m01, j->m10, j->m11, j->tx, j->ty})
        if (!std::isfinite(v)) return;
    Inverse inv;
    if (!Invert(j, &inv)) return;
    WithFormat(j->pixelFormat, [&](auto f) {
        if (j->smooth) TransformSmooth<decltype(f)::value>(j, inv);
        else TransformNearest<decltype(f)::value>(j, inv);
    });
}

void RotatePixelsQuarter(const cxTransformJob *j) {
    if (j->direction == 0 || j->srcWidth < 1 || j->srcHeight < 1) return;
    WithFormat(j->pixelFormat, [&](auto f) { RotateQuarter<decltype(f)::value>(j); });
}

int GetTransformedSize(const double m[4], int32_t width, int32_t height, int32_t *outWidth, int32_t *outHeight,
                       double *minX, double *minY) {
    *outWidth = *outHeight = 0;
    *minX = *minY = 0;
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(m[i])) return ERR_BADDIMENSIONS;
    const double det = m[0] * m[3] - m[1] * m[2];
    if (!std::isfinite(det)) return ERR_BADDIMENSIONS;
    if (std::fabs(det) < 1e-12) return 0;
    const double w = width, h = height;
    const double xs[4] = {0, m[0] * w, m[1] * h, m[0] * w + m[1] * h};
    const double ys[4] = {0, m[2] * w, m[3] * h, m[2] * w + m[3] * h};
    const double x0 = *std::min_element(xs, xs + 4), x1 = *std::max_element(xs, xs + 4);
    const double y0 = *std::min_element(ys, ys + 4), y1 = *std::max_element(ys, ys + 4);
    const double sw = std::max(1.0, std::ceil(x1 - x0 - 0.5)), sh = std::max(1.0, std::ceil(y1 - y0 - 0.5));
    // A result no bitmap can hold is the allocation's error.
    if (!(sw <= CX_MAX_SIDE) || !(sh <= CX_MAX_SIDE) || sw * sh * 4 > double(CX_MAX_BUFFER_BYTES)) return ERR_BITMAP;
    *outWidth = int32_t(sw);
    *outHeight = int32_t(sh);
    *minX = x0;
    *minY = y0;
    return 0;
}

} // extern "C"
