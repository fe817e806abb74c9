#include "graphics/distort/distort.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/distort/least_squares.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/pixels/pixel_format_table.h"
#include "graphics/support/locked_bitmap.h"

using namespace cx::pix;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
// An ellipse scan larger than this many samples is sampled bilinearly: a
// mapping near its horizon would otherwise ask for millions per pixel.
constexpr double kMaxEllipseSamples = 65536.0;

struct Extent {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    void Add(double x, double y) {
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
};

bool AllFinite(const double *v, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// Result size and offset from an extent, refused when it is not finite or
// too large, before any integer conversion.
int SetSize(cxDistortJob *job, const Extent &e) {
    if (!std::isfinite(e.x0) || !std::isfinite(e.y0) || !std::isfinite(e.x1) || !std::isfinite(e.y1))
        return ERR_WRONGUSAGE;
    const double ox = std::floor(e.x0 - 0.5), oy = std::floor(e.y0 - 0.5);
    const double w = std::ceil(e.x1 - ox + 0.5), h = std::ceil(e.y1 - oy + 0.5);
    if (std::fabs(ox) > 1e9 || std::fabs(oy) > 1e9 || !(w >= 1 && w <= CX_DISTORT_MAX_SIDE) ||
        !(h >= 1 && h <= CX_DISTORT_MAX_SIDE))
        return ERR_WRONGUSAGE;
    job->offsetX = int32_t(ox), job->offsetY = int32_t(oy);
    job->dstWidth = int32_t(w), job->dstHeight = int32_t(h);
    return 0;
}

double Normalise(double a) {
    const double t = a / kTwoPi;
    return (t - std::round(t)) * kTwoPi; // round: half away from zero
}

int Perspective(cxDistortJob *job) {
    if (job->argCount != 16) return ERR_WRONGUSAGE;
    const double *a = job->args;
    double **m = AllocMatrix(8, 8);
    double **vec = AllocMatrix(1, 8);
    if (!m || !vec) {
        FreeMatrix(m, 8);
        FreeMatrix(vec, 1);
        return ERR_MEM;
    }
    for (int i = 0; i < 4; ++i) {
        const double u = a[4 * i], v = a[4 * i + 1], x = a[4 * i + 2], y = a[4 * i + 3];
        const double t1[8] = {x, y, 1, 0, 0, 0, -x * u, -y * u}, t2[8] = {0, 0, 0, x, y, 1, -x * v, -y * v};
        AddLeastSquaresTerms(m, vec, t1, &u, 8, 1);
        AddLeastSquaresTerms(m, vec, t2, &v, 8, 1);
    }
    const int ok = SolveGaussJordan(m, vec, 8, 1);
    double *c = job->coefficients;
    if (ok) std::copy(vec[0], vec[0] + 8, c);
    FreeMatrix(m, 8);
    FreeMatrix(vec, 1);
    if (!ok || !AllFinite(c, 8)) return ERR_WRONGUSAGE;
    c[8] = c[6] * a[2] + c[7] * a[3] + 1.0 < 0.0 ? -1.0 : 1.0;
    double inv[8];
    InvertPerspectiveCoefficients(c, inv);
    if (!AllFinite(inv, 8)) return ERR_WRONGUSAGE;
    // Every source corner must map to a finite point on one side of the
    // horizon; a corner on or across it would stretch the result without
    // bound.
    const double px = job->pageX, py = job->pageY, w = job->srcWidth, h = job->srcHeight;
    const double cx[4] = {px, px + w, px + w, px}, cy[4] = {py, py, py + h, py + h};
    Extent e;
    double sign = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double d = inv[6] * cx[i] + inv[7] * cy[i] + 1.0;
        if (!(std::fabs(d) > 1e-6) || (sign != 0.0 && d * sign < 0.0)) return ERR_WRONGUSAGE;
        sign = d;
        e.Add((inv[0] * cx[i] + inv[1] * cy[i] + inv[2]) / d, (inv[3] * cx[i] + inv[4] * cy[i] + inv[5]) / d);
    }
    return SetSize(job, e);
}

int Arc(cxDistortJob *job) {
    const int32_t n = job->argCount;
    const double *a = job->args;
    double *c = job->coefficients;
    const double w = job->srcWidth, h = job->srcHeight;
    if (n > 4) return ERR_WRONGUSAGE;
    if (n >= 1 && a[0] < 1e-6) return ERR_WRONGUSAGE;
    if (n >= 3 && a[2] < 1e-6) return ERR_WRONGUSAGE;
    c[1] = n >= 1 ? a[0] * kPi / 180.0 : kPi / 2.0;
    c[0] = Normalise(-kPi / 2.0 + (n >= 2 ? a[1] * kPi / 180.0 : 0.0));
    c[3] = h - 1.0;
    c[2] = w / c[1] + c[3] / 2.0;
    if (n >= 3) {
        c[3] = n >= 4 ? a[2] - a[3] : c[3] * a[2] / c[2];
        c[2] = a[2];
    }
    c[4] = (w - 1.0) / 2.0;
    if (!AllFinite(c, 5)) return ERR_WRONGUSAGE;
    Extent e;
    for (double ang : {c[0] - c[1] / 2.0, c[0] + c[1] / 2.0})
        for (double r : {c[2], c[2] - c[3]}) e.Add(r * std::cos(ang), r * std::sin(ang));
    // Quarter turns inside the arc; after four the points repeat.
    double q = std::ceil((c[0] - c[1] / 2.0) / (kPi / 2.0)) * (kPi / 2.0);
    for (int k = 0; k < 4 && q < c[0] + c[1] / 2.0; ++k, q += kPi / 2.0) e.Add(c[2] * std::cos(q), c[2] * std::sin(q));
    c[1] = w * kTwoPi / c[1];
    c[3] = h / c[3];
    if (!AllFinite(c, 5)) return ERR_WRONGUSAGE;
    return SetSize(job, e);
}

int Polar(cxDistortJob *job) {
    const int32_t n = job->argCount;
    const double *a = job->args;
    double *c = job->coefficients;
    const double w = job->srcWidth, h = job->srcHeight, px = job->pageX, py = job->pageY;
    if (n == 3 || n > 6) return ERR_WRONGUSAGE;
    c[0] = n >= 1 ? a[0] : 0.0;
    c[1] = n >= 2 ? a[1] : 0.0;
    c[2] = n >= 4 ? a[2] : px + w / 2.0;
    c[3] = n >= 4 ? a[3] : py + h / 2.0;
    c[4] = n >= 5 ? a[4] * kPi / 180.0 : -kPi;
    c[5] = n >= 6 ? a[5] * kPi / 180.0 : c[4];
    if (std::fabs(c[4] - c[5]) < 1e-6) c[5] = c[4] + kTwoPi;
    if (c[0] < 1e-6) {
        const double dx0 = c[2] - px, dy0 = c[3] - py, dx1 = c[2] - px - w, dy1 = c[3] - py - h;
        if (std::fabs(c[0]) < 1e-6) {
            c[0] = std::min({std::fabs(dx0), std::fabs(dy0), std::fabs(dx1), std::fabs(dy1)});
        } else if (std::fabs(-1.0 - c[0]) < 1e-6) {
            c[0] = std::sqrt(std::max({dx0 * dx0 + dy0 * dy0, dx1 * dx1 + dy0 * dy0, dx0 * dx0 + dy1 * dy1,
                                       dx1 * dx1 + dy1 * dy1}));
        }
    }
    if (c[0] < 1e-6 || c[1] < -1e-6 || c[0] - c[1] < 1e-6) return ERR_WRONGUSAGE;
    c[6] = w / (c[5] - c[4]);
    c[7] = h / (c[0] - c[1]);
    if (n < 2) c[2] = c[3] = 0.0;
    if (!AllFinite(c, 8)) return ERR_WRONGUSAGE;
    Extent e;
    e.Add(c[2] - c[0], c[3] - c[0]);
    e.Add(c[2] + c[0], c[3] + c[0]);
    return SetSize(job, e);
}

int Barrel(cxDistortJob *job) {
    const int32_t n = job->argCount;
    const double *a = job->args;
    double *c = job->coefficients;
    if (n != 3 && n != 4 && n != 5 && n != 6 && n != 8 && n != 10) return ERR_WRONGUSAGE;
    const double w = job->srcWidth, h = job->srcHeight;
    const double rs = 2.0 / std::min(w, h);
    const double D = (n == 3 || n == 5) ? 1.0 - a[0] - a[1] - a[2] : a[3];
    c[0] = a[0] * rs * rs * rs, c[1] = a[1] * rs * rs, c[2] = a[2] * rs, c[3] = D;
    if (n == 8 || n == 10) {
        c[4] = a[4] * rs * rs * rs, c[5] = a[5] * rs * rs, c[6] = a[6] * rs, c[7] = a[7];
    } else {
        std::copy(c, c + 4, c + 4);
    }
    if (n == 5) c[8] = a[3], c[9] = a[4];
    else if (n == 6) c[8] = a[4], c[9] = a[5];
    else if (n == 10) c[8] = a[8], c[9] = a[9];
    else c[8] = job->pageX + (w - 1.0) / 2.0, c[9] = job->pageY + (h - 1.0) / 2.0;
    if (!AllFinite(c, 10)) return ERR_WRONGUSAGE;
    job->dstWidth = job->srcWidth, job->dstHeight = job->srcHeight;
    job->offsetX = job->offsetY = 0;
    return 0;
}

// ---- rendering ----

struct RGBA {
    double r, g, b, a;
};

struct Source {
    const uint8_t *pixels;
    uint32_t format;
    int32_t bpp, rowLength, width, height;
    const uint8_t *mask;
    int32_t maskRowLength;
    const uint8_t *alpha;
    int32_t alphaRowLength;

    bool Visible(int32_t x, int32_t y) const {
        return !mask || ((mask[ptrdiff_t(y) * maskRowLength + (x >> 3)] >> (7 - (x & 7))) & 1);
    }
    uint32_t Raw(int32_t x, int32_t y) const {
        return LoadPixelValue(pixels + (ptrdiff_t(y) * rowLength + x) * bpp, format);
    }
    uint32_t AlphaAt(int32_t x, int32_t y) const { return alpha ? alpha[ptrdiff_t(y) * alphaRowLength + x] : 255; }
    // Colour and alpha of a pixel; outside the image, or under a clear mask
    // bit, transparent black.
    RGBA Fetch(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= width || y >= height || !Visible(x, y)) return {0, 0, 0, 0};
        const uint32_t c = PixelToColor(Raw(x, y), format, 0);
        return {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF), double(AlphaAt(x, y))};
    }
};

struct Target {
    uint8_t *pixels;
    uint32_t format;
    int32_t bpp, rowLength;
    uint8_t *mask;
    int32_t maskRowLength;
    uint8_t *alpha;
    int32_t alphaRowLength;

    void Put(int32_t x, int32_t y, uint32_t raw, uint32_t a) const {
        StorePixelValue(pixels + (ptrdiff_t(y) * rowLength + x) * bpp, format, raw);
        if (alpha) alpha[ptrdiff_t(y) * alphaRowLength + x] = uint8_t(a);
        if (mask && a) mask[ptrdiff_t(y) * maskRowLength + (x >> 3)] |= uint8_t(0x80u >> (x & 7));
    }
    void PutColour(int32_t x, int32_t y, double r, double g, double b, double a, bool round) const {
        const double k = round ? 0.5 : 0.0;
        const auto ch = [k](double v) { return uint32_t(std::clamp(v + k, 0.0, 255.0)); };
        const uint32_t rgb = (std::min(ch(r), 255u) << 16) | (std::min(ch(g), 255u) << 8) | std::min(ch(b), 255u);
        Put(x, y, ColorToPixel(rgb, format, 0), std::min(ch(a), 255u));
    }
    void Outside(int32_t x, int32_t y) const { Put(x, y, 0, 0); }
};

RGBA InterpolatePixelBilinear(const Source &s, double u, double v) {
    // Far outside: all four neighbours are transparent.
    if (!(u > -2.0 && v > -2.0 && u < s.width + 1.0 && v < s.height + 1.0)) return {0, 0, 0, 0};
    const double fu0 = std::floor(u), fv0 = std::floor(v);
    const int32_t x = int32_t(fu0), y = int32_t(fv0);
    const double fu = u - fu0, fv = v - fv0;
    const RGBA tl = s.Fetch(x, y), tr = s.Fetch(x + 1, y), bl = s.Fetch(x, y + 1), br = s.Fetch(x + 1, y + 1);
    const auto mix = [&](double a, double b, double c, double d) {
        return (1 - fv) * ((1 - fu) * a + fu * b) + fv * ((1 - fu) * c + fu * d);
    };
    return {mix(tl.r, tr.r, bl.r, br.r), mix(tl.g, tr.g, bl.g, br.g), mix(tl.b, tr.b, bl.b, br.b),
            mix(tl.a, tr.a, bl.a, br.a)};
}

struct Weights {
    double table[1024];
    Weights() {
        for (int q = 0; q < 1024; ++q) table[q] = std::exp(q * -0.0027076061740622863);
    }
};

} // namespace

extern "C" void ScaleResampleEllipse(cxResampler *r, double dux, double duy, double dvx, double dvy) {
    r->interpolate = r->limit = 0;
    double A = dvx * dvx + dvy * dvy + 1.0, B = -2.0 * (dux * dvx + duy * dvy), C = dux * dux + duy * duy + 1.0;
    const double F = A * C - B * B / 4.0;
    if (!std::isfinite(F) || !std::isfinite(A) || !std::isfinite(B) || !std::isfinite(C)) {
        r->limit = 1;
        return;
    }
    if (F <= 4.0) r->interpolate = 1;
    if (F > 1000000.0) r->limit = 1;
    if (r->interpolate || r->limit) return;
    r->sqrtA = std::sqrt(A) + 1.0;
    r->sqrtC = std::sqrt(C) + 1.0;
    r->sqrtU = std::sqrt(F / A) + 1.0;
    r->slope = -B / (2.0 * A);
    if (r->sqrtU * r->sqrtA * 4.0 > r->pixelCount * 20.0 || r->sqrtU * r->sqrtA * 4.0 > kMaxEllipseSamples) {
        r->limit = 1;
        return;
    }
    const double k = 1024.0 / F;
    r->A = A * k, r->B = B * k, r->C = C * k;
}

extern "C" void ComputeDistortionCoefficients(cxDistortJob *job) {
    job->error = 0;
    std::memset(job->coefficients, 0, sizeof job->coefficients);
    job->dstWidth = job->dstHeight = 0;
    job->offsetX = job->offsetY = 0;
    if (job->srcWidth < 1 || job->srcHeight < 1 || job->argCount < 0 || (job->argCount > 0 && !job->args) ||
        !AllFinite(job->args, job->argCount)) {
        job->error = ERR_WRONGUSAGE;
        return;
    }
    int e;
    switch (job->method) {
    case CX_DISTORT_PERSPECTIVE: e = Perspective(job); break;
    case CX_DISTORT_ARC: e = Arc(job); break;
    case CX_DISTORT_POLAR: e = Polar(job); break;
    case CX_DISTORT_BARREL: e = Barrel(job); break;
    default: e = ERR_WRONGUSAGE; break;
    }
    if (e) {
        job->error = e;
        job->dstWidth = job->dstHeight = 0;
    }
}

extern "C" void RenderDistortion(cxDistortJob *job) {
    if (job->error || job->dstHeight < 1 || job->dstWidth < 1) return;
    const Source src{static_cast<const uint8_t *>(job->srcPixels), job->pixelFormat, job->bytesPerPixel,
                     job->srcRowLength, job->srcWidth, job->srcHeight, job->srcMask, job->srcMaskRowLength,
                     job->srcAlpha, job->srcAlphaRowLength};
    const Target dst{static_cast<uint8_t *>(job->dstPixels), job->pixelFormat, job->bytesPerPixel, job->dstRowLength,
                     job->dstMask, job->dstMaskRowLength, job->dstAlpha, job->dstAlphaRowLength};
    const double *c = job->coefficients;
    const double px = job->pageX, py = job->pageY, W = job->srcWidth, H = job->srcHeight;
    static const Weights weights;
    cxResampler rs{};
    rs.width = job->srcWidth, rs.height = job->srcHeight;
    rs.pixelCount = W * H;
    ScaleResampleEllipse(&rs, 1, 0, 0, 1);

    for (int32_t j = 0; j < job->dstHeight; ++j) {
        for (int32_t i = 0; i < job->dstWidth; ++i) {
            const double dx = i + job->offsetX + 0.5, dy = j + job->offsetY + 0.5;
            double sx = 0, sy = 0, dux = 1, duy = 0, dvx = 0, dvy = 1;
            bool valid = true;
            switch (job->method) {
            case CX_DISTORT_PERSPECTIVE: {
                const double p = c[0] * dx + c[1] * dy + c[2], q = c[3] * dx + c[4] * dy + c[5];
                const double r = c[6] * dx + c[7] * dy + 1.0;
                double validity = r * c[8] < 0.0 ? 0.0 : 1.0;
                const double m = std::max(std::fabs(c[6]), std::fabs(c[7]));
                if (2.0 * std::fabs(r) < m)
                    validity = std::fabs(c[6]) > std::fabs(c[7]) ? 0.5 - c[8] * r / c[6] : 0.5 - c[8] * r / c[7];
                if (!(validity > 0.0) || r == 0.0) {
                    valid = false;
                    break;
                }
                sx = p / r, sy = q / r;
                const double r2 = r * r;
                dux = (r * c[0] - p * c[6]) / r2, duy = (r * c[1] - p * c[7]) / r2;
                dvx = (r * c[3] - q * c[6]) / r2, dvy = (r * c[4] - q * c[7]) / r2;
                break;
            }
            case CX_DISTORT_ARC: {
                const double t = Normalise(std::atan2(dy, dx) - c[0]) / kTwoPi;
                const double rho = std::hypot(dx, dy);
                dux = rho > 1e-6 ? c[1] / (kTwoPi * rho) : job->dstWidth * 2.0;
                duy = dvx = 0, dvy = c[3];
                sx = t * c[1] + c[4] + px + 0.5, sy = (c[2] - rho) * c[3] + py;
                break;
            }
            case CX_DISTORT_POLAR: {
                const double ddx = dx - c[2], ddy = dy - c[3];
                const double a = Normalise(std::atan2(ddx, ddy) - (c[4] + c[5]) / 2.0);
                const double rho = std::hypot(ddx, ddy);
                dux = rho > 1e-6 ? c[6] / (kTwoPi * rho) : job->dstWidth * 2.0;
                duy = dvx = 0, dvy = c[7];
                sx = a * c[6] + W / 2.0 + px, sy = (rho - c[1]) * c[7] + py;
                break;
            }
            default: { // barrel
                const double ddx = dx - c[8], ddy = dy - c[9], r = std::sqrt(ddx * ddx + ddy * ddy);
                if (r > 1e-6) {
                    const double fx = ((c[0] * r + c[1]) * r + c[2]) * r + c[3];
                    const double fy = ((c[4] * r + c[5]) * r + c[6]) * r + c[7];
                    const double gx = ((3 * c[0] * r + 2 * c[1]) * r + c[2]) / r;
                    const double gy = ((3 * c[4] * r + 2 * c[5]) * r + c[6]) / r;
                    sx = ddx * fx + c[8], sy = ddy * fy + c[9];
                    dux = gx * ddx * ddx + fx, duy = gx * ddx * ddy, dvx = gy * ddx * ddy, dvy = gy * ddy * ddy + fy;
                } else {
                    sx = c[8], sy = c[9];
                    dux = c[3], duy = dvx = 0, dvy = c[7];
                }
                break;
            }
            }
            const double u = sx - px - 0.5, v = sy - py - 0.5;
            if (!valid || !std::isfinite(u) || !std::isfinite(v)) {
                dst.Outside(i, j);
                continue;
            }
            const auto nearest = [&] {
                // Range checks in doubles: no out-of-range number is made an
                // integer. Positions within a hair of a whole number (rounding
                // in the fitted coefficients) count as that number, so an
                // exact mapping such as the identity copies pixel for pixel.
                const auto snap = [](double t) {
                    const double r = std::round(t);
                    return std::fabs(t - r) < 1e-6 ? r : std::trunc(t);
                };
                const double tu = snap(u), tv = snap(v);
                if (tu >= 0 && tv >= 0 && tu < W && tv < H) {
                    const int32_t x = int32_t(tu), y = int32_t(tv);
                    const bool visible = src.Visible(x, y);
                    dst.Put(i, j, src.Raw(x, y), src.alpha ? src.AlphaAt(x, y) : visible ? 255 : 0);
                } else {
                    dst.Outside(i, j);
                }
            };
            if (!job->smooth) {
                nearest();
                continue;
            }
            ScaleResampleEllipse(&rs, dux, duy, dvx, dvy);
            if (rs.interpolate || rs.limit) {
                const RGBA p = InterpolatePixelBilinear(src, u, v);
                dst.PutColour(i, j, p.r, p.g, p.b, p.a, false);
                continue;
            }
            if (u + rs.sqrtC < 0 || u - rs.sqrtC > W || v + rs.sqrtA < 0 || v - rs.sqrtA > H) {
                nearest();
                continue;
            }
            const int32_t row0 = int32_t(std::trunc(v - rs.sqrtA)), row1 = int32_t(std::trunc(v + rs.sqrtA + 1.0));
            const int32_t cols = int32_t(std::trunc(2.0 * rs.sqrtU)) + 1;
            double u1 = u + (row0 - v) * rs.slope - rs.sqrtU;
            double sr = 0, sg = 0, sb = 0, sa = 0, sw = 0;
            int32_t hits = 0;
            for (int32_t y = row0; y <= row1; ++y, u1 += rs.slope) {
                const int32_t x0 = int32_t(std::trunc(u1));
                const double U = x0 - u, V = y - v;
                double Q = (rs.A * U + rs.B * V) * U + rs.C * V * V;
                double DQ = rs.A * (2.0 * U + 1.0) + rs.B * V;
                const double DDQ = 2.0 * rs.A;
                const bool rowInside = y >= 0 && y < src.height;
                for (int32_t k = 0; k < cols; ++k, Q += DQ, DQ += DDQ) {
                    if (!(Q < 1024.0)) continue;
                    const double wt = weights.table[Q > 0.0 ? int32_t(Q) : 0];
                    ++hits;
                    sw += wt;
                    const int32_t x = x0 + k;
                    if (!rowInside || x < 0 || x >= src.width) continue;
                    const RGBA p = src.Fetch(x, y);
                    sr += wt * p.r, sg += wt * p.g, sb += wt * p.b, sa += wt * p.a;
                }
            }
            if (hits > 3 && sw >= 1.0) {
                dst.PutColour(i, j, sr / sw, sg / sw, sb / sw, sa / sw, true);
            } else {
                const RGBA p = InterpolatePixelBilinear(src, u, v);
                dst.PutColour(i, j, p.r, p.g, p.b, p.a, false);
            }
        }
    }
}

extern "C" int DistortBitmap(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
                             int32_t method, int32_t argCount, const double *args, int32_t smooth,
                             cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha, int32_t *outWidth,
                             int32_t *outHeight) {
    if (!outBitmap || !outMask || !outAlpha || !outWidth || !outHeight) return ERR_WRONGUSAGE;
    *outBitmap = *outMask = *outAlpha = nullptr;
    cxDistortJob job{};
    job.srcWidth = width, job.srcHeight = height;
    job.method = method, job.argCount = argCount, job.args = args, job.smooth = smooth;
    ComputeDistortionCoefficients(&job);
    if (job.error) return job.error;

    cx::gfx::LockedBitmap src, srcMask, srcAlpha;
    if (src.Colour(bitmap, width, height) != 0) return ERR_LOCKBMAP;
    if (mask && srcMask.Mask(mask, width, height) != 0) return ERR_LOCKBMAP;
    if (alpha && srcAlpha.Alpha(alpha, width, height) != 0) return ERR_LOCKBMAP;
    const bool wantAlpha = (alpha && !mask) || (!alpha && !mask && smooth);

    cxBitmap *nb = AllocBitmap(job.dstWidth, job.dstHeight, CX_ALLOC_CLEAR, 0);
    if (!nb) return ERR_BITMAP;
    cxBitmap *nt = wantAlpha ? AllocAlphaChannel(job.dstWidth, job.dstHeight, 1, nullptr, 0)
                             : AllocMask(nb, job.dstWidth, job.dstHeight, 1, nullptr, 0);
    if (!nt) {
        FreeBitmap(nb);
        return wantAlpha ? ERR_ALLOCALPHA : ERR_ALLOCMASK;
    }
    const auto fail = [&](int e) {
        FreeBitmap(nb);
        if (wantAlpha) FreeAlphaChannel(nt);
        else FreeMask(nt);
        return e;
    };
    {
        cx::gfx::LockedBitmap d, t;
        if (d.Colour(nb, job.dstWidth, job.dstHeight) != 0) return fail(ERR_LOCKBMAP);
        if (d.Format() != src.Format()) return fail(ERR_BITMAP); // results share the source's format
        if ((wantAlpha ? t.Alpha(nt, job.dstWidth, job.dstHeight) : t.Mask(nt, job.dstWidth, job.dstHeight)) != 0)
            return fail(ERR_LOCKBMAP);
        job.srcPixels = src.Pixels();
        job.pixelFormat = src.Format();
        job.bytesPerPixel = int32_t(src.BytesPerPixel());
        job.srcRowLength = src.RowLength();
        job.srcMask = mask ? srcMask.Pixels() : nullptr;
        job.srcMaskRowLength = mask ? srcMask.RowLength() : 0;
        job.srcAlpha = alpha ? srcAlpha.Pixels() : nullptr;
        job.srcAlphaRowLength = alpha ? srcAlpha.RowLength() : 0;
        job.dstPixels = d.Pixels();
        job.dstRowLength = d.RowLength();
        job.dstMask = wantAlpha ? nullptr : t.Pixels();
        job.dstMaskRowLength = wantAlpha ? 0 : t.RowLength();
        job.dstAlpha = wantAlpha ? t.Pixels() : nullptr;
        job.dstAlphaRowLength = wantAlpha ? t.RowLength() : 0;
        RenderDistortion(&job);
    }
    *outBitmap = nb;
    (wantAlpha ? *outAlpha : *outMask) = nt;
    *outWidth = job.dstWidth;
    *outHeight = job.dstHeight;
    return 0;
}
