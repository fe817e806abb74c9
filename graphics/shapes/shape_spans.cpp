#include "graphics/shapes/shape_spans.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"

namespace {

inline bool Bit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Part-way blend of one pixel value over another in any format:
// d + (((s - d) * a) >> 8) per 8-bit channel.
uint32_t Blend(uint32_t s, uint32_t d, uint32_t format, int32_t a) {
    const uint32_t cs = PixelToColor(s, format, 0), cd = PixelToColor(d, format, 0);
    uint32_t out = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
        const int32_t sv = int32_t((cs >> sh) & 0xFF), dv = int32_t((cd >> sh) & 0xFF);
        out |= uint32_t(dv + (((sv - dv) * a) >> 8)) << sh;
    }
    return ColorToPixel(out, format, 0);
}

// The clip rectangle of a raster, limited to its size.
struct Clip {
    int32_t x0, y0, x1, y1;
};
Clip ClipOf(const cxShapeRaster *r) {
    return {std::max(r->clipX0, 0), std::max(r->clipY0, 0), std::min(r->clipX1, r->width),
            std::min(r->clipY1, r->height)};
}

void PlotAt(cxShapeRaster *r, int32_t x, int32_t y, int32_t coverage) {
    r->coverage = coverage;
    PlotShapePixel(r, x, y);
}

// a * b = q * d + r (0 <= r < d) for a, b, d below 2^33, in 64-bit steps.
void MulDivMod(int64_t a, int64_t b, int64_t d, int64_t &q, int64_t &r) {
    const int64_t hi = b >> 16, lo = b & 0xFFFF;
    const int64_t A = a * hi, qa = A / d, ra = A % d;
    const int64_t B = (ra << 16) + a * lo, qb = B / d;
    q = (qa << 16) + qb;
    r = B % d;
}

} // namespace

extern "C" void PlotShapePixel(cxShapeRaster *r, int32_t x, int32_t y) {
    const Clip c = ClipOf(r);
    if (x < c.x0 || y < c.y0 || x >= c.x1 || y >= c.y1) return;
    if (r->clipMask && !Bit(r->clipMask + ptrdiff_t(y) * r->clipMaskRowLength, x)) return;
    const int32_t cov = std::clamp(r->coverage, 0, 255);
    if (r->pixels && r->pixelFormat < CX_PIXFMT_COUNT) {
        const uint32_t bpp = GetBytesPerPixel(r->pixelFormat);
        uint8_t *p = r->pixels + (ptrdiff_t(y) * r->rowLength + x) * bpp;
        const uint32_t src = r->texture ? LoadPixelValue(r->texture + (ptrdiff_t(y) * r->textureRowLength + x) * bpp,
                                                         r->pixelFormat)
                                        : r->colour;
        if (cov == 255 || r->alpha) StorePixelValue(p, r->pixelFormat, src);
        else if (cov > 0) StorePixelValue(p, r->pixelFormat, Blend(src, LoadPixelValue(p, r->pixelFormat), r->pixelFormat, cov));
    }
    if (r->mask) {
        uint8_t &b = r->mask[ptrdiff_t(y) * r->maskRowLength + (x >> 3)];
        const uint8_t m = uint8_t(0x80u >> (x & 7));
        switch (r->maskMode) {
        case 0: case 2: case 5: b |= m; break;
        case 1: b &= uint8_t(~m); break;
        case 3: b ^= m; break;
        default: break;
        }
    }
    if (r->alpha) r->alpha[ptrdiff_t(y) * r->alphaRowLength + x] = uint8_t(cov);
}

extern "C" void DrawAALine(cxShapeRaster *r, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int32_t op = std::clamp(r->opacity, 0, 255);
    const auto level = [op](int32_t c) { return op == 255 ? c : (op * c) / 255; };
    if (x1 == x2 && y1 == y2) {
        PlotAt(r, x1, y1, op);
        return;
    }
    const Clip c = ClipOf(r);
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    if (std::llabs(dx) <= std::llabs(dy)) {
        if (dy < 0) std::swap(x1, x2), std::swap(y1, y2);
        const int64_t slope = ((int64_t(x2) - x1) * 65536) / (int64_t(y2) - y1);
        // Rows outside the clip rectangle plot nothing: start at the first
        // visible one.
        const int64_t from = std::max<int64_t>(y1, c.y0), to = std::min<int64_t>(y2, int64_t(c.y1) - 1);
        for (int64_t y = from; y <= to; ++y) {
            const int64_t x = int64_t(x1) * 65536 + slope * (y - y1);
            const int32_t f = int32_t((x >> 8) & 255), px = int32_t(x >> 16);
            PlotAt(r, px, int32_t(y), level(255 - f));
            PlotAt(r, px + 1, int32_t(y), level(f));
        }
    } else {
        if (dx < 0) std::swap(x1, x2), std::swap(y1, y2);
        const int64_t slope = ((int64_t(y2) - y1) * 65536) / (int64_t(x2) - x1);
        const int64_t from = std::max<int64_t>(x1, c.x0), to = std::min<int64_t>(x2, int64_t(c.x1) - 1);
        for (int64_t x = from; x <= to; ++x) {
            const int64_t y = int64_t(y1) * 65536 + slope * (x - x1);
            const int32_t f = int32_t((y >> 8) & 255), py = int32_t(y >> 16);
            PlotAt(r, int32_t(x), py, level(255 - f));
            PlotAt(r, int32_t(x), py + 1, level(f));
        }
    }
}

extern "C" void DrawThickLine(cxShapeRaster *r, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int64_t adx = std::llabs(int64_t(x2) - x1), ady = std::llabs(int64_t(y2) - y1);
    const bool steep = adx < ady;
    const double a = std::atan2(double(ady), double(adx));
    const double div = steep ? std::sin(a) : std::cos(a);
    const double width = double(r->lineWidth);
    int64_t n = 1, offset = 0;
    if (div != 0.0) {
        const double nn = width / div;
        n = nn >= 1.0 ? (nn < 1e9 ? int64_t(nn) : int64_t(1e9)) : 0;
        if (n == 0) n = 1;
        else offset = -(n / 2);
    }
    // Major axis: y for steep lines, x otherwise; walk from the smaller end.
    int64_t ma0 = steep ? y1 : x1, mi0 = steep ? x1 : y1, ma1 = steep ? y2 : x2, mi1 = steep ? x2 : y2;
    if (ma1 < ma0) std::swap(ma0, ma1), std::swap(mi0, mi1);
    const int64_t M = ma1 - ma0, m = std::llabs(mi1 - mi0), step = mi1 >= mi0 ? 1 : -1;
    const Clip c = ClipOf(r);
    const int64_t lo = steep ? c.y0 : c.x0, hi = steep ? c.y1 - 1 : c.x1 - 1; // visible major range
    const int64_t runLo = steep ? c.x0 : c.y0, runHi = steep ? c.x1 - 1 : c.y1 - 1;
    // Bresenham state at the first visible step s: the minor offset after s
    // steps is ceil((2ms - M) / 2M), and the error term follows from it.
    const int64_t s0 = std::max<int64_t>(0, lo - ma0), s1 = std::min<int64_t>(M, hi - ma0);
    if (s0 > s1) return;
    int64_t j = 0, err = 2 * m - M;
    if (M > 0 && s0 > 0) {
        // m * s0 = Q * M + R without overflow (both factors may be 2^32).
        int64_t Q, R;
        MulDivMod(m, s0, M, Q, R);
        j = Q + (2 * R > M ? 1 : 0);
        err = 2 * (R - M * (j - Q) + m) - M;
    }
    for (int64_t s = s0; s <= s1; ++s) {
        const int64_t major = ma0 + s, centre = mi0 + step * j;
        const int64_t a0 = std::max(centre + offset, runLo), a1 = std::min(centre + offset + n - 1, runHi);
        for (int64_t k = a0; k <= a1; ++k) {
            if (steep) PlotShapePixel(r, int32_t(k), int32_t(major));
            else PlotShapePixel(r, int32_t(major), int32_t(k));
        }
        if (err > 0) {
            ++j;
            err += 2 * (m - M);
        } else {
            err += 2 * m;
        }
    }
}

extern "C" void PlotCoverage(const uint8_t *coverage, int32_t x, int32_t y, cxShapeRaster *r, int32_t width,
                             int32_t height, int32_t rowLength, int32_t solid) {
    if (!coverage) return;
    const Clip c = ClipOf(r);
    const int32_t op = std::clamp(r->opacity, 0, 255), base = r->coverage;
    const int64_t j0 = std::max<int64_t>(0, int64_t(c.y0) - y), j1 = std::min<int64_t>(height, int64_t(c.y1) - y);
    const int64_t i0 = std::max<int64_t>(0, int64_t(c.x0) - x), i1 = std::min<int64_t>(width, int64_t(c.x1) - x);
    for (int64_t j = j0; j < j1; ++j) {
        const uint8_t *row = coverage + j * rowLength;
        for (int64_t i = i0; i < i1; ++i) {
            const int32_t cv = row[i];
            if (!cv) continue;
            int32_t level = solid ? base : cv;
            if (op != 255) level = (level * op) / 255;
            PlotAt(r, int32_t(x + i), int32_t(y + j), level);
        }
    }
    r->coverage = base;
}

extern "C" int FillPolygonMaskBits(uint8_t *mask, int32_t maskRowLength, int32_t maskWidth, int32_t maskHeight,
                                   int32_t *crossings, const int32_t *points, int32_t pointCount) {
    if (!mask || !points || pointCount < 1 || maskWidth < 1 || maskHeight < 1) return 0;
    std::vector<int32_t> scratch;
    if (!crossings) {
        try {
            scratch.resize(size_t(pointCount));
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        crossings = scratch.data();
    }
    int32_t ymin = points[1], ymax = points[1];
    for (int32_t i = 1; i < pointCount; ++i) ymin = std::min(ymin, points[2 * i + 1]), ymax = std::max(ymax, points[2 * i + 1]);
    if (ymin > ymax) return 0;
    // Rows outside the mask are skipped; the last-row rule still belongs to
    // the polygon's own last row.
    const int32_t from = std::max(ymin, 0), to = std::min(ymax, maskHeight - 1);
    for (int32_t y = from; y <= to; ++y) {
        int32_t n = 0;
        for (int32_t i = 0; i < pointCount; ++i) {
            const int32_t p = i == 0 ? pointCount - 1 : i - 1;
            int32_t x0 = points[2 * p], y0 = points[2 * p + 1], x1 = points[2 * i], y1 = points[2 * i + 1];
            if (y0 == y1) continue;
            if (y0 > y1) std::swap(x0, x1), std::swap(y0, y1);
            const bool crosses = (y0 <= y && y < y1) || (y == ymax && y0 < y && y <= y1);
            if (!crosses) continue;
            float fx = float(x0) + float(int64_t(x1) - x0) * float(int64_t(y) - y0) / float(int64_t(y1) - y0) + 0.5f;
            // Far crossings only need to stay beyond the mask's edges.
            fx = std::clamp(fx, -2.0f, float(maskWidth) + 2.0f);
            crossings[n++] = int32_t(fx);
        }
        std::sort(crossings, crossings + n);
        uint8_t *row = mask + ptrdiff_t(y) * maskRowLength;
        for (int32_t k = 0; k + 1 < n; k += 2) {
            const int32_t a = std::max(crossings[k], 0), b = std::min(crossings[k + 1], maskWidth - 1);
            for (int32_t x = a; x <= b; ++x) row[x >> 3] |= uint8_t(0x80u >> (x & 7));
        }
    }
    return 0;
}
