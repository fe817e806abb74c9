#include "graphics/draw/shape_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/gradient/gradient.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/vector/coverage_raster.h"
#include "graphics/vector/polyline_stroke.h"

namespace {

struct Pt {
    double x, y;
};

// Scratch kept between shapes, so that drawing allocates only while the
// buffers grow.
struct Scratch {
    std::vector<Pt> outline;
    std::vector<Pt> grown; // a filled outline moved out by half a pixel, when it can be
    std::vector<double> points; // the pass's outline as x, y pairs over the coverage box
    cxCoverageRaster raster;
    std::vector<uint8_t> coverage;
    std::vector<uint8_t> colours; // a gradient fill's pixels over the box
} *g_scratch = nullptr;

Scratch &S() {
    if (!g_scratch) g_scratch = new Scratch;
    return *g_scratch;
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) <= CX_SHAPE_MAXCOORD; }

// The point at angle a (degrees) of an ellipse: whole degrees from the
// tables, others computed.
Pt OnEllipse(double cx, double cy, double rx, double ry, double a) {
    double d = std::fmod(a, 360.0);
    if (d < 0) d += 360.0;
    if (d == std::floor(d)) {
        const int i = int(d);
        return {cx + rx * GetCosineTable()[i], cy + ry * GetSineTable()[i]};
    }
    const double r = d * (M_PI / 180.0);
    return {cx + rx * std::cos(r), cy + ry * std::sin(r)};
}

// The step in whole degrees (a divisor of 360) whose chords stay within a
// tenth of a pixel of a circle of radius r.
int DegreeStep(double r) {
    static const int kSteps[] = {12, 10, 9, 8, 6, 5, 4, 3, 2};
    for (int step : kSteps) {
        if (r * (1.0 - std::cos(step * M_PI / 360.0)) <= 0.1) return step;
    }
    return 1;
}

// Whole degrees from a to b (a <= b), both ends included.
void ArcPoints(std::vector<Pt> &out, double cx, double cy, double rx, double ry, double a, double b) {
    out.push_back(OnEllipse(cx, cy, rx, ry, a));
    for (double d = std::floor(a) + 1; d < b; d += 1) out.push_back(OnEllipse(cx, cy, rx, ry, d));
    if (b > a) out.push_back(OnEllipse(cx, cy, rx, ry, b));
}

// The outline of a shape in pixel-centre coordinates. closed: a ring;
// filled: its inside can be filled (a line and an open arc cannot).
struct Outline {
    bool closed = true;
    bool fillable = true;
};

int BuildOutline(const cxShape &s, bool filled, std::vector<Pt> &out, Outline &o) {
    out.clear();
    switch (s.kind) {
    case CX_SHAPE_BOX: {
        if (s.width < 1 || s.height < 1) return 0;
        const double l = s.x, t = s.y, r = s.x + s.width - 1, b = s.y + s.height - 1;
        const double maxR = std::floor(std::min(s.width, s.height) / 2);
        const double rad[4] = {std::clamp<double>(s.corners[0], 0, maxR), std::clamp<double>(s.corners[1], 0, maxR),
                               std::clamp<double>(s.corners[2], 0, maxR), std::clamp<double>(s.corners[3], 0, maxR)};
        const Pt centres[4] = {{l + rad[0], t + rad[0]}, {r - rad[1], t + rad[1]}, {r - rad[2], b - rad[2]},
                               {l + rad[3], b - rad[3]}};
        const Pt corners[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
        for (int c = 0; c < 4; ++c) {
            if (rad[c] <= 0) out.push_back(corners[c]);
            else ArcPoints(out, centres[c].x, centres[c].y, rad[c], rad[c], 180 + 90 * c, 270 + 90 * c);
        }
        return 0;
    }
    case CX_SHAPE_CIRCLE:
    case CX_SHAPE_ELLIPSE: {
        const double rx = s.width, ry = s.kind == CX_SHAPE_CIRCLE ? s.width : s.height;
        if (rx < 0 || ry < 0) return ERR_WRONGUSAGE;
        const int step = DegreeStep(std::max(rx, ry));
        for (int d = 0; d < 360; d += step) out.push_back(OnEllipse(s.x, s.y, rx, ry, d));
        return 0;
    }
    case CX_SHAPE_ARC: {
        if (s.width < 0 || s.height < 0 || !std::isfinite(s.startAngle) || !std::isfinite(s.endAngle))
            return ERR_WRONGUSAGE;
        // Clockwise on screen is the way the angle grows (y points down).
        double a = s.clockwise ? s.startAngle : s.endAngle, b = s.clockwise ? s.endAngle : s.startAngle;
        a = std::fmod(a, 360.0);
        b = std::fmod(b, 360.0);
        if (a < 0) a += 360;
        if (b < 0) b += 360;
        if (b <= a) b += 360;
        if (filled) out.push_back({s.x, s.y});
        ArcPoints(out, s.x, s.y, s.width, s.height, a, b);
        o.closed = filled;
        return 0;
    }
    case CX_SHAPE_POLYGON:
        if (!s.points || s.pointCount < 2 || s.pointCount > CX_SHAPE_MAXPOINTS) return ERR_WRONGUSAGE;
        for (int32_t i = 0; i < s.pointCount; ++i) {
            const Pt p{s.x + s.points[2 * i], s.y + s.points[2 * i + 1]};
            if (!Finite(p.x) || !Finite(p.y)) return ERR_WRONGUSAGE;
            out.push_back(p);
        }
        return 0;
    case CX_SHAPE_LINE:
        out.push_back({s.x, s.y});
        out.push_back({s.x2, s.y2});
        o.closed = false;
        o.fillable = false;
        return 0;
    case CX_SHAPE_PLOT:
        out.push_back({s.x, s.y});
        o.closed = false;
        o.fillable = false;
        return 0;
    default: return ERR_WRONGUSAGE;
    }
}

// A filled ellipse's outline moved out by half a pixel along its normals:
// the same shape as the fill with its half-pixel edge stroked and merged,
// in one pass. Too thin an ellipse has no usable normals and keeps the
// stroked edge (false).
bool GrownEllipse(const cxShape &s, std::vector<Pt> &out) {
    out.clear();
    if (s.kind != CX_SHAPE_CIRCLE && s.kind != CX_SHAPE_ELLIPSE) return false;
    const double rx = s.width, ry = s.kind == CX_SHAPE_CIRCLE ? s.width : s.height;
    if (!(rx >= 1 && ry >= 1)) return false;
    const int step = DegreeStep(std::max(rx, ry) + 0.5);
    for (int d = 0; d < 360; d += step) {
        const double c = GetCosineTable()[d], sn = GetSineTable()[d];
        const double nx = ry * c, ny = rx * sn, len = std::hypot(nx, ny);
        out.push_back({s.x + rx * c + 0.5 * nx / len, s.y + ry * sn + 0.5 * ny / len});
    }
    return true;
}

// Whether segments ab and cd cross or touch.
bool Meet(const Pt &a, const Pt &b, const Pt &c, const Pt &d) {
    auto side = [](const Pt &p, const Pt &q, const Pt &r) { return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x); };
    const double d1 = side(c, d, a), d2 = side(c, d, b), d3 = side(a, b, c), d4 = side(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return true;
    auto on = [](const Pt &p, const Pt &q, const Pt &r) {
        return std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) && std::min(p.y, q.y) <= r.y &&
               r.y <= std::max(p.y, q.y);
    };
    return (d1 == 0 && on(c, d, a)) || (d2 == 0 && on(c, d, b)) || (d3 == 0 && on(a, b, c)) ||
           (d4 == 0 && on(a, b, d));
}

// A simple polygon's outline moved out by half a pixel: each edge moved
// along its normal, round at the outer corners and cut where the moved
// edges cross at the inner ones. The same shape as the fill with its
// half-pixel edge stroked and merged, in one pass. False (and the stroked
// edge kept) for a polygon that crosses itself, has too many points to
// check cheaply, or edges too short for their cut corners.
bool GrownPolygon(const std::vector<Pt> &in, std::vector<Pt> &out) {
    out.clear();
    constexpr size_t kMaxPoints = 64;
    std::vector<Pt> &p = out;
    Pt q[kMaxPoints];
    size_t n = 0;
    for (const Pt &v : in) {
        if (n && v.x == q[n - 1].x && v.y == q[n - 1].y) continue;
        if (n == kMaxPoints) return false;
        q[n++] = v;
    }
    if (n > 1 && q[n - 1].x == q[0].x && q[n - 1].y == q[0].y) --n;
    if (n < 3) return false;
    double area = 0;
    for (size_t i = 0; i < n; ++i) {
        const Pt &a = q[i], &b = q[(i + 1) % n];
        area += a.x * b.y - b.x * a.y;
    }
    if (std::fabs(area) < 2) return false;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue; // neighbours through the closing edge
            if (Meet(q[i], q[i + 1], q[j], q[(j + 1) % n])) return false;
        }
    // Outward unit normals of the edges: with a positive area the inside
    // lies to the (-dy, dx) side of each edge.
    const double sgn = area > 0 ? 1 : -1;
    Pt nrm[kMaxPoints];
    double len[kMaxPoints];
    for (size_t i = 0; i < n; ++i) {
        const Pt &a = q[i], &b = q[(i + 1) % n];
        len[i] = std::hypot(b.x - a.x, b.y - a.y);
        nrm[i] = {sgn * (b.y - a.y) / len[i], -sgn * (b.x - a.x) / len[i]};
    }
    // How far each corner's cut reaches along its two edges.
    double cut[kMaxPoints];
    for (size_t i = 0; i < n; ++i) {
        const Pt &n0 = nrm[(i + n - 1) % n], &n1 = nrm[i];
        const double cross = n0.x * n1.y - n0.y * n1.x, dot = n0.x * n1.x + n0.y * n1.y;
        if (dot <= -0.99) return false; // a spike folding back on itself
        const bool inner = cross * sgn < 0; // turns towards the inside
        cut[i] = inner ? 0.5 * std::fabs(cross) / (1 + dot) : 0;
    }
    for (size_t i = 0; i < n; ++i)
        if (cut[i] + cut[(i + 1) % n] > len[i]) return false;
    for (size_t i = 0; i < n; ++i) {
        const Pt &v = q[i], &n0 = nrm[(i + n - 1) % n], &n1 = nrm[i];
        const double cross = n0.x * n1.y - n0.y * n1.x;
        if (cut[i] > 0 || cross * sgn <= 0) {
            // Where the moved edges cross: the normals' bisector, scaled.
            const double dot = n0.x * n1.x + n0.y * n1.y, k = 0.5 / (1 + dot);
            p.push_back({v.x + (n0.x + n1.x) * k, v.y + (n0.y + n1.y) * k});
            continue;
        }
        // Round from one normal to the other, a step of at most 30 degrees.
        const double a0 = std::atan2(n0.y, n0.x);
        double sweep = std::atan2(n1.y, n1.x) - a0;
        if (sweep > M_PI) sweep -= 2 * M_PI;
        if (sweep < -M_PI) sweep += 2 * M_PI;
        const int steps = std::max(1, int(std::ceil(std::fabs(sweep) / (M_PI / 6))));
        for (int k = 0; k <= steps; ++k) {
            const double a = a0 + sweep * k / steps;
            p.push_back({v.x + 0.5 * std::cos(a), v.y + 0.5 * std::sin(a)});
        }
    }
    return true;
}

// One pass: the outline (moved by dx, dy) filled and/or stroked into the
// coverage buffer over box, then drawn in colour.
struct Pass {
    bool fill;
    int stroke; // stroke width in pixels, 0 for none
    double dx, dy;
    uint32_t colour;
    const cxDrawGradient *gradient; // the fill's colours, or null for the colour
};

cxDrawRect Bounds(const std::vector<Pt> &pts, double grow, double dx, double dy) {
    double x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
    for (const Pt &p : pts) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    const double l = std::floor(x0 + dx - grow), t = std::floor(y0 + dy - grow);
    const double r = std::ceil(x1 + dx + grow), b = std::ceil(y1 + dy + grow);
    return {int32_t(l), int32_t(t), int32_t(r - l + 1), int32_t(b - t + 1)};
}

cxDrawRect Clip(cxDrawRect r, int32_t w, int32_t h) {
    const int64_t l = std::max<int64_t>(r.x, 0), t = std::max<int64_t>(r.y, 0);
    const int64_t rr = std::min<int64_t>(int64_t(r.x) + r.width, w), bb = std::min<int64_t>(int64_t(r.y) + r.height, h);
    if (rr <= l || bb <= t) return {0, 0, 0, 0};
    return {int32_t(l), int32_t(t), int32_t(rr - l), int32_t(bb - t)};
}

void Union(cxDrawRect &acc, const cxDrawRect &r) {
    if (r.width <= 0) return;
    if (acc.width <= 0) {
        acc = r;
        return;
    }
    const int32_t l = std::min(acc.x, r.x), t = std::min(acc.y, r.y);
    const int32_t rr = std::max(acc.x + acc.width, r.x + r.width), bb = std::max(acc.y + acc.height, r.y + r.height);
    acc = {l, t, rr - l, bb - t};
}

// Length of the run of bytes equal to v from x (v is 0 or 255), eight at a
// time where it can.
int32_t RunOf(const uint8_t *row, int32_t x, int32_t w, uint8_t v) {
    const uint64_t word = v ? ~uint64_t(0) : 0;
    int32_t i = x;
    while (i + 8 <= w) {
        uint64_t q;
        std::memcpy(&q, row + i, 8);
        if (q != word) break;
        i += 8;
    }
    while (i < w && row[i] == v) ++i;
    return i - x;
}

// Draws a colour through coverage: fully covered runs are filled, partly
// covered ones blended, uncovered ones skipped.
void CompositeColour(const cxOsBitmapLock &l, const cxDrawRect &c, const uint8_t *cov, int32_t covX, int32_t covY,
                     int32_t covRow, uint32_t colour, const uint8_t *colours) {
    const uint32_t pixel = ColorToPixel(colour, l.pixelFormat, 0);
    const bool two = l.bytesPerPixel == 2;
    cxFillJob fill{l.pixels, 0, 0, 0, 1, int32_t(l.rowLength), l.pixelFormat, pixel, 255};
    cxAlphaChannelJob blend{};
    blend.dstPixels = l.pixels;
    blend.dstRowLength = int32_t(l.rowLength);
    blend.height = 1;
    blend.coverage = cov;
    blend.coverageRowLength = covRow;
    blend.pixelFormat = l.pixelFormat;
    blend.colour = pixel;
    blend.mode = 1;
    blend.level = 255;
    blend.colourPixels = colours;
    blend.colourRowLength = covRow;
    const size_t bpp = l.bytesPerPixel;
    for (int32_t j = 0; j < c.height; ++j) {
        const uint8_t *row = cov + size_t(covY + j) * size_t(covRow) + covX;
        int32_t x = 0;
        while (x < c.width) {
            x += RunOf(row, x, c.width, 0);
            if (x >= c.width) break;
            int32_t n = RunOf(row, x, c.width, 255);
            if (n > 0 && colours) {
                std::memcpy(l.pixels + ((size_t(c.y) + j) * l.rowLength + size_t(c.x) + x) * bpp,
                            colours + ((size_t(covY) + j) * size_t(covRow) + size_t(covX) + x) * bpp, size_t(n) * bpp);
            } else if (n > 0) {
                fill.x = c.x + x;
                fill.y = c.y + j;
                fill.width = n;
                if (two) FillPixels16(&fill);
                else FillPixels32(&fill);
            } else {
                while (x + n < c.width && row[x + n] != 0 && row[x + n] != 255) ++n;
                blend.covX = covX + x;
                blend.covY = covY + j;
                blend.dstX = c.x + x;
                blend.dstY = c.y + j;
                blend.width = n;
                if (two) BltAlphaChannelPixels16(&blend);
                else BltAlphaChannelPixels32(&blend);
            }
            x += n;
        }
    }
}

// Applies a mask mode where the shape covers at least half a pixel: 0, 2
// and 5 set the bit, 1 clears it, 3 inverts it, others leave it.
void CombineMask(const cxOsBitmapLock &l, const cxDrawRect &c, const uint8_t *cov, int32_t covX, int32_t covY,
                 int32_t covRow, int32_t mode) {
    if (mode < 0 || mode > 5 || mode == 4) return;
    for (int32_t j = 0; j < c.height; ++j) {
        const uint8_t *row = cov + size_t(covY + j) * size_t(covRow) + covX;
        uint8_t *bits = l.pixels + size_t(c.y + j) * l.rowLength;
        for (int32_t i = 0; i < c.width; ++i) {
            if (row[i] < 128) continue;
            const int32_t x = c.x + i;
            const uint8_t bit = uint8_t(0x80u >> (x & 7));
            if (mode == 1) bits[x >> 3] &= uint8_t(~bit);
            else if (mode == 3) bits[x >> 3] ^= bit;
            else bits[x >> 3] |= bit;
        }
    }
}

// Draws coverage (box-sized rows) into every part of the target.
// The gradient's colours over the box, in the pixel format; null when they
// cannot be made (the plain colour is drawn then).
const uint8_t *GradientPixels(const cxDrawGradient &g, const cxDrawRect &box, const cxOsBitmapLock &l) {
    Scratch &s = S();
    const size_t need = size_t(box.width) * size_t(box.height) * l.bytesPerPixel;
    try {
        if (s.colours.size() < need) s.colours.resize(need);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    cxGradient grad{};
    if (g.table) {
        grad = *g.table;
    } else {
        grad.centerX = grad.centerY = 0.5;
        grad.balance = 0.5;
    }
    grad.style = uint32_t(g.type);
    grad.startColour = g.startColor;
    grad.endColour = g.endColor;
    grad.angle = int32_t(std::fmod(g.angle, 360.0));
    const cxGradientFillJob job{s.colours.data(), l.bytesPerPixel, l.pixelFormat, 0, 0, box.width, box.height,
                                box.width, &grad};
    FillGradientPixels(&job);
    return s.colours.data();
}

void Composite(const cxDrawTarget &t, const cxDrawRect &box, const uint8_t *cov, uint32_t colour,
               const cxDrawGradient *gradient) {
    if (t.colour) {
        cxOsBitmapLock l;
        if (LockBitmap(t.colour, 0, &l) && l.pixelFormat < CX_PIXFMT_COUNT) {
            const cxDrawRect c = Clip(box, l.width, l.height);
            const uint8_t *colours = c.width > 0 && gradient ? GradientPixels(*gradient, box, l) : nullptr;
            if (c.width > 0) CompositeColour(l, c, cov, c.x - box.x, c.y - box.y, box.width, colour, colours);
        }
        UnlockBitmap(&l);
    }
    if (t.alpha) {
        cxOsBitmapLock l;
        if (LockBitmap(t.alpha, 0, &l)) {
            const cxDrawRect c = Clip(box, std::min(l.width, t.alpha->width), std::min(l.height, t.alpha->height));
            if (c.width > 0)
                BltAlphaBytes(cov, c.x - box.x, c.y - box.y, box.width, l.pixels, c.x, c.y, int32_t(l.rowLength),
                              c.width, c.height, 4, std::min<uint32_t>(t.alphaLevel, 255));
        }
        UnlockBitmap(&l);
    }
    if (t.mask) {
        cxOsBitmapLock l;
        if (LockBitmap(t.mask, 0, &l)) {
            const cxDrawRect c = Clip(box, std::min<int64_t>(int64_t(l.rowLength) * 8, t.mask->width),
                                      std::min(l.height, t.mask->height));
            if (c.width > 0) CombineMask(l, c, cov, c.x - box.x, c.y - box.y, box.width, t.maskMode);
        }
        UnlockBitmap(&l);
    }
}

int RunPass(const cxDrawTarget &t, const std::vector<Pt> &outline, const std::vector<Pt> &grown, const Outline &o,
            const Pass &p, bool aa, cxDrawRect &changed) {
    Scratch &s = S();
    const double grow = p.stroke / 2.0 + 2.0;
    const cxDrawRect box = Clip(Bounds(outline, grow, p.dx, p.dy), t.width, t.height);
    if (box.width <= 0) return 0;
    const size_t need = size_t(box.width) * size_t(box.height);
    if (s.coverage.size() < need) {
        try {
            s.coverage.resize(need);
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
    }
    uint8_t *cov = s.coverage.data();
    // A fill writes every byte of the box; only the other passes need it
    // cleared first.
    const int32_t n = int32_t(outline.size());
    if (!(n > 1 && p.fill && o.fillable)) std::fill_n(cov, need, uint8_t(0));
    // Whole coordinates are pixel centres; the raster's pixels span whole
    // numbers, hence the half.
    const double ox = p.dx - box.x + 0.5, oy = p.dy - box.y + 0.5;
    if (n == 1) {
        // A point: one pixel.
        const double px = std::floor(outline[0].x + ox), py = std::floor(outline[0].y + oy);
        if (px >= 0 && py >= 0 && px < box.width && py < box.height) cov[size_t(py) * size_t(box.width) + size_t(px)] = 255;
    } else {
        try {
            s.points.resize(size_t(n) * 2);
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        for (int32_t i = 0; i < n; ++i) {
            s.points[2 * i] = outline[i].x + ox;
            s.points[2 * i + 1] = outline[i].y + oy;
        }
        const double *xy = s.points.data();
        cxCoverageRaster &r = s.raster;
        if (!r.Begin(box.width, box.height)) return ERR_MEM;
        if (p.fill && o.fillable && !grown.empty()) {
            // Already grown: one fill, no edge.
            const int32_t m = int32_t(grown.size());
            Pt prev{grown[m - 1].x + ox, grown[m - 1].y + oy};
            for (int32_t i = 0; i < m; ++i) {
                const Pt q{grown[i].x + ox, grown[i].y + oy};
                r.Line(prev.x, prev.y, q.x, q.y);
                prev = q;
            }
            r.Resolve(cov, box.width, false, false);
        } else if (p.fill && o.fillable) {
            // The inside by the even-odd rule, grown by half a pixel so that
            // the pixels of the outline's points are covered: a box covers
            // its corner pixels exactly.
            for (int32_t i = 0; i < n; ++i) {
                const int32_t j = i + 1 == n ? 0 : i + 1;
                r.Line(xy[2 * i], xy[2 * i + 1], xy[2 * j], xy[2 * j + 1]);
            }
            r.Resolve(cov, box.width, true, false);
            if (!StrokePolyline(r, xy, n, true, 1.0, false, 0, 0)) return ERR_MEM;
            r.Resolve(cov, box.width, false, true);
        }
        if (p.stroke > 0) {
            // Lines wider than a pixel are as wide as they have always been
            // drawn: an odd width gains a pixel, and the edges half a pixel
            // each, as the filled inside does.
            const double width = p.stroke > 1 ? p.stroke + (p.stroke & 1) + 1.0 : 1.0;
            if (!StrokePolyline(r, xy, n, o.closed, width, true, 0, 0)) return ERR_MEM;
            r.Resolve(cov, box.width, false, true);
        }
        // Without anti-aliasing a pixel is in when its centre is, on the
        // edge included (half covered, give or take the rounding).
        if (!aa)
            for (size_t i = 0; i < need; ++i) cov[i] = cov[i] >= 127 ? 255 : 0;
    }
    Composite(t, box, s.coverage.data(), p.colour, p.gradient);
    Union(changed, box);
    return 0;
}

const int kShadowDir[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};

} // namespace

extern "C" int RenderShape(const cxDrawTarget *target, const cxShape *shape, const cxDrawStyle *style, uint32_t colour,
                           cxDrawRect *changed) {
    if (changed) *changed = {0, 0, 0, 0};
    if (!target || !shape || !style) return ERR_WRONGUSAGE;
    const cxShape &s = *shape;
    for (double v : {s.x, s.y, s.width, s.height, s.x2, s.y2})
        if (!Finite(v)) return ERR_WRONGUSAGE;
    const bool filled = style->fillStyle != CX_FILLNONE && s.kind != CX_SHAPE_LINE && s.kind != CX_SHAPE_PLOT;
    Outline o;
    Scratch &sc = S();
    if (int err = BuildOutline(s, filled, sc.outline, o)) return err;
    if (sc.outline.empty()) return 0;
    if (!(filled && o.fillable &&
          (GrownEllipse(s, sc.grown) || (s.kind == CX_SHAPE_POLYGON && GrownPolygon(sc.outline, sc.grown)))))
        sc.grown.clear();
    const int lineWidth = std::clamp(s.kind == CX_SHAPE_LINE && s.thickness > 0 ? s.thickness : style->lineWidth, 1, 10000);
    const bool fill = filled && o.fillable;
    const int stroke = s.kind == CX_SHAPE_PLOT ? 0 : fill ? 0 : lineWidth;
    const bool aa = (style->formStyle & CX_FORM_ANTIALIAS) != 0;
    const int border = (style->formStyle & CX_FORM_EDGE) ? std::clamp(style->borderSize, 0, 10000) : 0;

    // Shadow first, then the edge, then the shape over them.
    Pass passes[3];
    int count = 0;
    const int outer = border > 0 ? (stroke > 0 ? stroke + 2 * border : 2 * border) : stroke;
    if ((style->formStyle & CX_FORM_SHADOW) && style->shadowSize > 0) {
        const int *d = kShadowDir[std::clamp(style->shadowDir, 0, 7)];
        const double off = std::min(style->shadowSize, 10000);
        passes[count++] = {fill, outer, d[0] * off, d[1] * off, style->shadowColor & 0xFFFFFFu, nullptr};
    }
    if (border > 0) passes[count++] = {false, outer, 0, 0, style->borderColor & 0xFFFFFFu, nullptr};
    // A gradient fill spans the shape's visible box.
    const cxDrawGradient *gradient = fill && style->fillStyle == CX_FILLGRADIENT ? &style->gradient : nullptr;
    passes[count++] = {fill, stroke, 0, 0, colour & 0xFFFFFFu, gradient};

    cxDrawRect acc{0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
        // A plotted point has no outline to stroke: its passes plot it.
        Pass p = passes[i];
        if (s.kind == CX_SHAPE_PLOT) p.stroke = 0;
        if (int err = RunPass(*target, sc.outline, sc.grown, o, p, aa, acc)) return err;
    }
    if (changed) *changed = acc;
    return 0;
}

extern "C" void DrawCoverage(const cxDrawTarget *target, const cxDrawRect *box, const uint8_t *coverage, uint32_t colour,
                             const cxDrawGradient *gradient) {
    if (!target || !box || !coverage || box->width <= 0 || box->height <= 0) return;
    Composite(*target, *box, coverage, colour & 0xFFFFFFu, gradient);
}

extern "C" int64_t ReadTargetPixel(const cxDrawTarget *target, int32_t x, int32_t y) {
    if (!target || !target->colour || x < 0 || y < 0 || x >= target->width || y >= target->height) return -1;
    cxOsBitmapLock l;
    int64_t v = -1;
    if (LockBitmap(target->colour, 0, &l) && l.pixelFormat < CX_PIXFMT_COUNT && x < l.width && y < l.height) {
        uint8_t rgba[4];
        UnpackPixel(l.pixels + (size_t(y) * l.rowLength + size_t(x)) * l.bytesPerPixel, l.pixelFormat, rgba);
        v = (int64_t(rgba[0]) << 16) | (int64_t(rgba[1]) << 8) | rgba[2];
    }
    UnlockBitmap(&l);
    return v;
}

extern "C" int ReserveShapeBuffers(int32_t points) {
    try {
        Scratch &s = S();
        s.outline.reserve(size_t(std::max(points, 0)));
        s.points.reserve(size_t(std::max(points, 0)) * 2);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return 0;
}

extern "C" void FreeShapeBuffers(void) {
    delete g_scratch;
    g_scratch = nullptr;
}
