#include "graphics/gradient/gradient.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/pixels/pixel_format_table.h"
#include "graphics/support/locked_bitmap.h"

using namespace cx::pix;

namespace {

constexpr int32_t kOne = 65536; // position 1.0 in 16.16
constexpr double kPi = 3.14159265358979323846;

void PutStop(cxGradientStops *s, int32_t i, uint32_t colour, double position) {
    s->stop[i].r = ((colour >> 16) & 0xFF) * 257;
    s->stop[i].g = ((colour >> 8) & 0xFF) * 257;
    s->stop[i].b = (colour & 0xFF) * 257;
    s->stop[i].position = int32_t(std::clamp(position, 0.0, 1.0) * 65536.0);
}

// Index of the segment [stop i, stop i + 1) holding t, -1 before the first
// stop, count - 1 at or after the last.
int32_t FindSegment(const cxGradientStops *s, int32_t t) {
    if (t < s->stop[0].position) return -1;
    int32_t i = 0;
    while (i + 1 < s->count && t >= s->stop[i + 1].position) ++i;
    return i;
}

uint32_t MixRGB(const cxGradientStops *s, int32_t seg, int32_t t) {
    const auto &a = s->stop[seg < 0 ? 0 : seg];
    if (seg < 0 || seg + 1 >= s->count) return ((a.r >> 8) << 16) | ((a.g >> 8) << 8) | (a.b >> 8);
    const auto &b = s->stop[seg + 1];
    const int64_t scale = (int64_t(256) << 16) / (b.position - a.position);
    const uint32_t w = uint32_t((scale * (t - a.position)) >> 16);
    const uint32_t iw = 256 - w;
    const uint32_t r = (a.r * iw + b.r * w) >> 16, g = (a.g * iw + b.g * w) >> 16, bl = (a.b * iw + b.b * w) >> 16;
    return (r << 16) | (g << 8) | bl;
}

uint32_t ToDestination(uint32_t rgb, uint32_t format) { return ColorToPixel(rgb, format, 0); }

// Linear axis from the entering corner P0 to the projection P1 of the
// opposite corner, in pixels relative to the rectangle.
void LinearAxis(int32_t angle, double w, double h, double &p0x, double &p0y, double &dx, double &dy) {
    int32_t a = angle % 360;
    if (a < 0) a += 360;
    switch (a) {
    case 0: p0x = 0, p0y = 0, dx = 0, dy = h; return;
    case 90: p0x = 0, p0y = 0, dx = w, dy = 0; return;
    case 180: p0x = 0, p0y = h, dx = 0, dy = -h; return;
    case 270: p0x = w, p0y = 0, dx = -w, dy = 0; return;
    default: break;
    }
    const double rad = a * kPi / 180.0, ux = std::sin(rad), uy = std::cos(rad);
    const double cx[4] = {0, w, 0, w}, cy[4] = {0, 0, h, h};
    int lo = 0, hi = 0;
    for (int i = 1; i < 4; ++i) {
        const double p = cx[i] * ux + cy[i] * uy;
        if (p < cx[lo] * ux + cy[lo] * uy) lo = i;
        if (p > cx[hi] * ux + cy[hi] * uy) hi = i;
    }
    const double len = (cx[hi] - cx[lo]) * ux + (cy[hi] - cy[lo]) * uy;
    p0x = cx[lo], p0y = cy[lo], dx = ux * len, dy = uy * len;
}

// Positions of one row; NaN and huge values end up clamped to the table.
inline int32_t ToPosition(double v) {
    v = v > -1.0 ? v : -1.0;
    v = v < double(kOne + 1) ? v : double(kOne + 1);
    return int32_t(v);
}

struct Lookup {
    const cxGradientStops *stops;
    uint32_t format;
    const uint32_t *table; // kOne + 1 destination pixels, or null
    uint32_t Pixel(int32_t t) const {
        t = std::clamp(t, 0, kOne);
        return table ? table[t] : ToDestination(MixRGB(stops, FindSegment(stops, t), t), format);
    }
};

template <int F>
void StoreRow(uint8_t *row, const int32_t *t, int32_t n, const Lookup &lk) {
    constexpr int B = kFormats[F].bytes;
    if (lk.table) {
        for (int32_t i = 0; i < n; ++i) Store<F>(row + ptrdiff_t(i) * B, lk.table[std::clamp(t[i], 0, kOne)]);
    } else {
        for (int32_t i = 0; i < n; ++i) Store<F>(row + ptrdiff_t(i) * B, lk.Pixel(t[i]));
    }
}

} // namespace

extern "C" int BuildGradientStops(const cxGradient *g, cxGradientStops *out) {
    out->count = 0;
    if (g->stopCount == 0) {
        if (g->style == CX_GRADIENT_CONICAL) {
            const double mid = std::isfinite(g->balance) ? g->balance : 0.5;
            PutStop(out, 0, g->endColour, 0.0);
            PutStop(out, 1, g->startColour, mid);
            PutStop(out, 2, g->endColour, 1.0);
            out->count = 3;
        } else {
            PutStop(out, 0, g->startColour, 0.0);
            PutStop(out, 1, g->endColour, 1.0);
            out->count = 2;
        }
        return 0;
    }
    if (g->stopCount < 0 || g->stopCount > CX_GRADIENT_MAX_STOPS) return ERR_WRONGUSAGE;
    for (int32_t i = 0; i < g->stopCount; ++i)
        if (!std::isfinite(g->stops[i].position)) return ERR_WRONGUSAGE;
    cxGradientStop sorted[CX_GRADIENT_MAX_STOPS];
    std::copy(g->stops, g->stops + g->stopCount, sorted);
    std::stable_sort(sorted, sorted + g->stopCount,
                     [](const cxGradientStop &a, const cxGradientStop &b) { return a.position < b.position; });
    for (int32_t i = 0; i < g->stopCount; ++i) PutStop(out, i, sorted[i].colour, sorted[i].position);
    out->count = g->stopCount;
    return 0;
}

extern "C" uint32_t GradientColorAt32(const cxGradientStops *s, int32_t t) {
    if (s->count < 1) return 0;
    return MixRGB(s, FindSegment(s, t), t);
}

extern "C" uint32_t GradientColorAt16(const cxGradientStops *s, int32_t t) {
    const uint32_t c = GradientColorAt32(s, t);
    return Join565((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

namespace {

// Destination pixels for every position, segment by segment. Inside a
// segment the colour depends only on the 8-bit weight, so its 256 colours are
// made once and the weight is stepped by addition: the same numbers as the
// lookup, at the cost of a store per position.
void BuildTable(const cxGradientStops *s, uint32_t format, uint32_t *table) {
    WithFormat(format, [&](auto f) {
        constexpr int F = decltype(f)::value;
        int32_t t = 0;
        const int32_t first = std::min(s->stop[0].position, kOne + 1);
        const uint32_t firstPixel = FromARGB<F>(MixRGB(s, -1, 0), false);
        for (; t < first; ++t) table[t] = firstPixel;
        for (int32_t seg = 0; seg < s->count && t <= kOne; ++seg) {
            if (seg + 1 >= s->count) {
                const uint32_t last = FromARGB<F>(MixRGB(s, seg, t), false);
                for (; t <= kOne; ++t) table[t] = last;
                break;
            }
            const auto &a = s->stop[seg], &b = s->stop[seg + 1];
            const int32_t end = std::min(b.position, kOne + 1);
            if (t >= end) continue;
            uint32_t colours[256];
            for (uint32_t w = 0; w < 256; ++w) {
                const uint32_t iw = 256 - w;
                colours[w] = FromARGB<F>(((a.r * iw + b.r * w) >> 16) << 16 | ((a.g * iw + b.g * w) >> 16) << 8 |
                                             ((a.b * iw + b.b * w) >> 16),
                                         false);
            }
            const int64_t scale = (int64_t(256) << 16) / (b.position - a.position);
            int64_t acc = scale * (t - a.position);
            for (; t < end; ++t, acc += scale) table[t] = colours[acc >> 16];
        }
    });
}

// Fills the part [wx0, wx1) x [wy0, wy1) of the job's rectangle (relative to
// it): a clipped gradient keeps the geometry of its whole rectangle.
void FillWindow(const cxGradientFillJob *job, int32_t wx0, int32_t wy0, int32_t wx1, int32_t wy1) {
    const cxGradient *g = job->gradient;
    const int32_t w = job->width, h = job->height;
    if (!g || w < 1 || h < 1 || job->pixelFormat >= CX_PIXFMT_COUNT || wx0 >= wx1 || wy0 >= wy1) return;
    if (g->style < CX_GRADIENT_LINEAR || g->style > CX_GRADIENT_CONICAL) return;
    cxGradientStops stops;
    if (BuildGradientStops(g, &stops) != 0 || stops.count < 1) return;

    // Large fills read the colours from a table over every position; it
    // holds exactly what the lookup gives, so the result does not depend on
    // the size.
    Lookup lk{&stops, job->pixelFormat, nullptr};
    std::unique_ptr<uint32_t[]> table;
    const int32_t n = wx1 - wx0;
    // Positions looked up: one row when the axis is horizontal (the other
    // rows are copies), one per row when it is vertical.
    int64_t lookups = int64_t(n) * (wy1 - wy0);
    if (g->style == CX_GRADIENT_LINEAR) {
        const int32_t a = ((g->angle % 360) + 360) % 360;
        if (a == 90 || a == 270) lookups = n;
        else if (a == 0 || a == 180) lookups = wy1 - wy0;
    }
    if (lookups > kOne) {
        table.reset(new (std::nothrow) uint32_t[kOne + 1]);
        if (table) {
            BuildTable(&stops, job->pixelFormat, table.get());
            lk.table = table.get();
        }
    }

    std::unique_ptr<int32_t[]> pos(new (std::nothrow) int32_t[size_t(n)]);
    if (!pos) return;
    const double W = w, H = h;
    const auto rowAt = [&](int32_t y) {
        return static_cast<uint8_t *>(job->pixels) +
               (ptrdiff_t(job->y + y) * job->rowLength + job->x + wx0) * ptrdiff_t(job->bytesPerPixel);
    };
    const auto emit = [&](int32_t y) {
        WithFormat(job->pixelFormat, [&](auto f) { StoreRow<decltype(f)::value>(rowAt(y), pos.get(), n, lk); });
    };

    if (g->style == CX_GRADIENT_LINEAR) {
        double p0x, p0y, dx, dy;
        LinearAxis(g->angle, W, H, p0x, p0y, dx, dy);
        const double len2 = dx * dx + dy * dy;
        const double k = len2 > 0 ? 65536.0 / len2 : 0.0;
        const double step = dx * k;
        const size_t rowBytes = size_t(n) * job->bytesPerPixel;
        for (int32_t y = wy0; y < wy1; ++y) {
            // A horizontal axis makes every row the same: copy the first.
            if (dy == 0.0 && y > wy0) {
                std::memcpy(rowAt(y), rowAt(wy0), rowBytes);
                continue;
            }
            const double base = ((wx0 + 0.5 - p0x) * dx + (y + 0.5 - p0y) * dy) * k;
            int32_t *t = pos.get();
            if (dx == 0.0) {
                std::fill(t, t + n, ToPosition(base)); // a vertical axis: one colour per row
            } else {
                for (int32_t x = 0; x < n; ++x) t[x] = ToPosition(base + x * step);
            }
            emit(y);
        }
    } else if (g->style == CX_GRADIENT_RADIAL) {
        const double cx = g->centerX * W, cy = g->centerY * H;
        double reduction = std::min(g->border, 0.99);
        if (!(reduction >= -1e6)) reduction = 0.0; // NaN
        const double radius = std::sqrt(W * W + H * H) *
                              (0.5 + std::max(std::fabs(0.5 - g->centerX), std::fabs(0.5 - g->centerY))) *
                              (1.0 - reduction);
        const double r16 = std::isfinite(radius) ? std::trunc(radius * 65536.0) : 0.0;
        const double k = r16 >= 1.0 ? 65536.0 * 65536.0 / r16 : 0.0;
        const double cx0 = cx - wx0;
        for (int32_t y = wy0; y < wy1; ++y) {
            const double ddy = y + 0.5 - cy, dy2 = ddy * ddy;
            int32_t *t = pos.get();
            for (int32_t x = 0; x < n; ++x) {
                const double ddx = x + 0.5 - cx0;
                t[x] = ToPosition(std::sqrt(ddx * ddx + dy2) * k);
            }
            emit(y);
        }
    } else {
        const double cx = g->centerX * W, cy = g->centerY * H;
        // The start angle is brought into 0..359 first: the sum below must
        // stay positive for fmod to give a position inside 0..1.
        const double a0 = (((g->angle % 360) + 360) % 360) * kPi / 180.0, twoPi = 2.0 * kPi;
        const double cx0 = cx - wx0;
        for (int32_t y = wy0; y < wy1; ++y) {
            const double ddy = y + 0.5 - cy;
            int32_t *t = pos.get();
            for (int32_t x = 0; x < n; ++x) {
                const double a = std::fmod(a0 + std::atan2(ddy, x + 0.5 - cx0) + twoPi, twoPi);
                t[x] = ToPosition((1.0 - a / twoPi) * 65536.0);
            }
            emit(y);
        }
    }
}

} // namespace

extern "C" void FillGradientPixels(const cxGradientFillJob *job) { FillWindow(job, 0, 0, job->width, job->height); }

extern "C" int DrawGradient(const cxBitmap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                            const cxGradient *gradient) {
    if (!gradient) return ERR_WRONGUSAGE;
    cxGradientStops stops;
    if (int e = BuildGradientStops(gradient, &stops)) return e;
    if (gradient->style == CX_GRADIENT_RADIAL || gradient->style == CX_GRADIENT_CONICAL) {
        if (!std::isfinite(gradient->centerX) || !std::isfinite(gradient->centerY) ||
            std::fabs(gradient->centerX) > 1e4 || std::fabs(gradient->centerY) > 1e4)
            return ERR_WRONGUSAGE;
        if (gradient->style == CX_GRADIENT_RADIAL && !std::isfinite(gradient->border)) return ERR_WRONGUSAGE;
        if (gradient->style == CX_GRADIENT_CONICAL && gradient->stopCount == 0 && !std::isfinite(gradient->balance))
            return ERR_WRONGUSAGE;
    }
    cx::gfx::LockedBitmap lock;
    if (!bitmap) return ERR_LOCKBMAP;
    if (int e = lock.Colour(bitmap, bitmap->width, bitmap->height)) return e;
    // Clip to the bitmap.
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + width, bitmap->width);
    int64_t y1 = std::min<int64_t>(int64_t(y) + height, bitmap->height);
    if (width < 1 || height < 1 || x0 >= x1 || y0 >= y1) return 0;
    const cxGradientFillJob job{lock.Pixels(), lock.BytesPerPixel(), lock.Format(), x, y, width, height,
                                lock.RowLength(), gradient};
    FillWindow(&job, int32_t(x0 - x), int32_t(y0 - y), int32_t(x1 - x), int32_t(y1 - y));
    return 0;
}
