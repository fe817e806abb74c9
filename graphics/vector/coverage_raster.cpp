#include "graphics/vector/coverage_raster.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

bool cxCoverageRaster::Begin(int32_t width, int32_t height) {
    width_ = height_ = stride_ = words_ = 0;
    // Resolve leaves the accumulator and the marks cleared, so only a
    // raster left unresolved is cleared here (growing adds zeros).
    if (dirty_) {
        std::fill(acc_.begin(), acc_.end(), 0.0f);
        std::fill(marks_.begin(), marks_.end(), 0);
    }
    dirty_ = false;
    if (width <= 0 || height <= 0) return true;
    // Two columns past the right edge take what spills over it.
    const size_t stride = size_t(width) + 2, need = stride * size_t(height);
    const size_t words = (stride + 63) / 64;
    try {
        if (acc_.size() < need) acc_.resize(need);
        if (marks_.size() < words * size_t(height)) marks_.resize(words * size_t(height));
    } catch (const std::bad_alloc &) {
        return false;
    }
    width_ = width;
    height_ = height;
    stride_ = int32_t(stride);
    words_ = int32_t(words);
    return true;
}

void cxCoverageRaster::Line(double x0, double y0, double x1, double y1) {
    if (!width_ || y0 == y1 || !std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    if ((y0 <= 0 && y1 <= 0) || (y0 >= height_ && y1 >= height_)) return;
    const double w = width_;
    if (x0 >= w && x1 >= w) return; // right of the box: no pixel sees it
    if (x0 >= 0 && x1 >= 0 && x0 <= w && x1 <= w) return Clipped(x0, y0, x1, y1);
    // Cut where the edge crosses the box's sides: a piece left of the box
    // runs down its left side (its winding counts for every pixel), one
    // right of it is dropped.
    double ts[4];
    int n = 0;
    ts[n++] = 0;
    if ((x0 < 0) != (x1 < 0)) ts[n++] = -x0 / (x1 - x0);
    if ((x0 > w) != (x1 > w)) ts[n++] = (w - x0) / (x1 - x0);
    std::sort(ts + 1, ts + n);
    ts[n++] = 1;
    for (int i = 0; i + 1 < n; ++i) {
        const double ta = ts[i], tb = ts[i + 1];
        const double xa = x0 + (x1 - x0) * ta, ya = y0 + (y1 - y0) * ta;
        const double xb = i + 2 == n ? x1 : x0 + (x1 - x0) * tb, yb = i + 2 == n ? y1 : y0 + (y1 - y0) * tb;
        if ((xa + xb) / 2 > w) continue;
        Clipped(std::clamp(xa, 0.0, w), ya, std::clamp(xb, 0.0, w), yb);
    }
}

// Marks cells x .. x + count - 1 of row y as drawn into.
void cxCoverageRaster::Touch(int32_t y, int32_t x, int32_t count) {
    uint64_t *m = marks_.data() + size_t(y) * size_t(words_);
    for (int32_t i = x; i < x + count; ++i) m[i >> 6] |= uint64_t(1) << (i & 63);
}

// The edge's signed area, row by row, split between the pixels it passes
// (x within the box).
void cxCoverageRaster::Clipped(double x0, double y0, double x1, double y1) {
    if (y0 == y1) return;
    double dir = 1;
    if (y0 > y1) {
        dir = -1;
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const double w = width_;
    const double dxdy = (x1 - x0) / (y1 - y0);
    const double ystart = std::max(y0, 0.0), yend = std::min(y1, double(height_));
    if (ystart >= yend) return;
    dirty_ = true;
    double x = std::clamp(x0 + (ystart - y0) * dxdy, 0.0, w);
    const int32_t first = int32_t(std::floor(ystart)), last = int32_t(std::ceil(yend));
    for (int32_t y = first; y < last; ++y) {
        float *row = acc_.data() + size_t(y) * size_t(stride_);
        const double dy = std::min(double(y) + 1, yend) - std::max(double(y), ystart);
        const double xnext = std::clamp(x + dxdy * dy, 0.0, w);
        const double d = dy * dir;
        const double xa = std::min(x, xnext), xb = std::max(x, xnext);
        const double xaf = std::floor(xa), xbc = std::ceil(xb);
        const int32_t ia = int32_t(xaf), ib = int32_t(xbc);
        if (ib <= ia + 1) {
            // Within one pixel: split by where the edge's middle lies.
            const double mid = 0.5 * (x + xnext) - xaf;
            row[ia] += float(d - d * mid);
            row[ia + 1] += float(d * mid);
            Touch(y, ia, 2);
        } else {
            const double s = 1 / (xb - xa);
            const double f0 = xa - xaf;
            const double a0 = 0.5 * s * (1 - f0) * (1 - f0);
            const double f1 = xb - xbc + 1;
            const double am = 0.5 * s * f1 * f1;
            row[ia] += float(d * a0);
            if (ib == ia + 2) {
                row[ia + 1] += float(d * (1 - a0 - am));
            } else {
                const double a1 = s * (1.5 - f0);
                row[ia + 1] += float(d * (a1 - a0));
                const float step = float(d * s);
                for (int32_t i = ia + 2; i < ib - 1; ++i) row[i] += step;
                const double a2 = a1 + (ib - ia - 3) * s;
                row[ib - 1] += float(d * (1 - a2 - am));
            }
            row[ib] += float(d * am);
            Touch(y, ia, ib - ia + 1);
        }
        x = xnext;
    }
}

// p holds degree + 1 points (x, y pairs); flattened into pieces whose
// chords stray at most a tenth of a pixel.
void cxCoverageRaster::Curve(const double *p, int degree) {
    double dd = 0;
    for (int i = 0; i + 2 <= degree; ++i) {
        const double ex = p[2 * i] - 2 * p[2 * i + 2] + p[2 * i + 4], ey = p[2 * i + 1] - 2 * p[2 * i + 3] + p[2 * i + 5];
        dd = std::max(dd, std::sqrt(ex * ex + ey * ey));
    }
    // A curve's chord error over n equal steps is at most
    // degree (degree - 1) / 8 * dd / n^2.
    const double bound = degree * (degree - 1) / 8.0 * dd / 0.1;
    const int n = std::clamp(int(std::ceil(std::sqrt(bound))), 1, 256);
    double px = p[0], py = p[1];
    for (int k = 1; k <= n; ++k) {
        const double t = double(k) / n, u = 1 - t;
        double x, y;
        if (degree == 2) {
            x = u * u * p[0] + 2 * u * t * p[2] + t * t * p[4];
            y = u * u * p[1] + 2 * u * t * p[3] + t * t * p[5];
        } else {
            x = u * u * u * p[0] + 3 * u * u * t * p[2] + 3 * u * t * t * p[4] + t * t * t * p[6];
            y = u * u * u * p[1] + 3 * u * u * t * p[3] + 3 * u * t * t * p[5] + t * t * t * p[7];
        }
        if (k == n) {
            x = p[2 * degree];
            y = p[2 * degree + 1];
        }
        Line(px, py, x, y);
        px = x;
        py = y;
    }
}

void cxCoverageRaster::Outline(const FT_Outline &o, double dx, double dy) {
    dx_ = dx;
    dy_ = dy;
    struct Walk {
        cxCoverageRaster *r;
        double x, y, sx, sy;
        bool open;
        void To(double nx, double ny) {
            r->Line(x, y, nx, ny);
            x = nx;
            y = ny;
        }
        double X(const FT_Vector *v) const { return v->x / 64.0 + r->dx_; }
        double Y(const FT_Vector *v) const { return v->y / 64.0 + r->dy_; }
        void Close() {
            if (open) To(sx, sy);
            open = false;
        }
    } walk{this, 0, 0, 0, 0, false};
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector *to, void *u) {
        Walk &k = *static_cast<Walk *>(u);
        k.Close();
        k.x = k.sx = k.X(to);
        k.y = k.sy = k.Y(to);
        k.open = true;
        return 0;
    };
    funcs.line_to = [](const FT_Vector *to, void *u) {
        Walk &k = *static_cast<Walk *>(u);
        k.To(k.X(to), k.Y(to));
        return 0;
    };
    funcs.conic_to = [](const FT_Vector *c, const FT_Vector *to, void *u) {
        Walk &k = *static_cast<Walk *>(u);
        const double p[6] = {k.x, k.y, k.X(c), k.Y(c), k.X(to), k.Y(to)};
        k.r->Curve(p, 2);
        k.x = p[4];
        k.y = p[5];
        return 0;
    };
    funcs.cubic_to = [](const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *u) {
        Walk &k = *static_cast<Walk *>(u);
        const double p[8] = {k.x, k.y, k.X(c1), k.Y(c1), k.X(c2), k.Y(c2), k.X(to), k.Y(to)};
        k.r->Curve(p, 3);
        k.x = p[6];
        k.y = p[7];
        return 0;
    };
    FT_Outline_Decompose(const_cast<FT_Outline *>(&o), &funcs, &walk);
    walk.Close();
}

namespace {

uint8_t Coverage(float sum, bool evenOdd) {
    float v = std::fabs(sum);
    if (evenOdd) {
        if (v >= 2) v -= 2 * float(int32_t(v * 0.5f)); // no winding reaches 2^31
        if (v > 1) v = 2 - v;
    } else if (v > 1) {
        v = 1;
    }
    return uint8_t(v * 255 + 0.5f);
}

} // namespace

namespace {

// Coverage c over out[from, to).
void Run(uint8_t *out, int32_t from, int32_t to, uint8_t c, bool merge) {
    if (to <= from) return;
    if (!merge) std::memset(out + from, c, size_t(to - from));
    else if (c)
        for (int32_t i = from; i < to; ++i) out[i] = std::max(out[i], c);
}

} // namespace

void cxCoverageRaster::Resolve(uint8_t *pixels, int32_t bytesPerRow, bool evenOdd, bool merge) {
    for (int32_t y = 0; y < height_; ++y) {
        float *row = acc_.data() + size_t(y) * size_t(stride_);
        uint64_t *marks = marks_.data() + size_t(y) * size_t(words_);
        uint8_t *out = pixels + size_t(y) * size_t(bytesPerRow);
        float sum = 0;
        uint8_t c = 0;
        int32_t x = 0;
        // Only the marked cells change the running sum: between two of them
        // the coverage holds and is written as one run.
        for (int32_t w = 0; w < words_; ++w) {
            uint64_t m = marks[w];
            marks[w] = 0;
            while (m) {
                const int32_t cx = w * 64 + __builtin_ctzll(m);
                m &= m - 1;
                if (cx >= width_) {
                    row[cx] = 0;
                    continue;
                }
                Run(out, x, cx, c, merge);
                sum += row[cx];
                row[cx] = 0;
                c = Coverage(sum, evenOdd);
                out[cx] = merge ? std::max(out[cx], c) : c;
                x = cx + 1;
            }
        }
        Run(out, x, width_, c, merge);
    }
    dirty_ = false;
}
