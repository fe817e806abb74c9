#include "graphics/vector/path_dash.h"

#include <cmath>
#include <new>

namespace {

struct P {
    double x, y;
};

constexpr size_t kMaxPieces = 1000000;

// Flattens one contour into a polyline (26.6 units as doubles).
void Flatten(const FT_Vector *pts, const char *tags, int first, int last, bool closed, std::vector<P> &out) {
    out.clear();
    auto at = [&](int i) { return P{double(pts[i].x), double(pts[i].y)}; };
    auto steps = [](double len) { return int(std::fmin(std::fmax(std::ceil(len / 256.0), 1.0), 64.0)); };
    auto dist = [](P a, P b) { return std::hypot(b.x - a.x, b.y - a.y); };
    out.push_back(at(first));
    const int end = closed ? last + 1 : last; // index last + 1 is the first point again
    auto point = [&](int i) { return i > last ? at(first) : at(i); };
    auto tag = [&](int i) { return i > last ? FT_CURVE_TAG_ON : FT_CURVE_TAG(tags[i]); };
    for (int i = first + 1; i <= end;) {
        const P p0 = out.back();
        if (tag(i) == FT_CURVE_TAG_CUBIC && i + 2 <= end) {
            const P c1 = point(i), c2 = point(i + 1), e = point(i + 2);
            const int n = steps(dist(p0, c1) + dist(c1, c2) + dist(c2, e));
            for (int k = 1; k <= n; ++k) {
                const double t = double(k) / n, u = 1 - t;
                out.push_back({u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * e.x,
                               u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * e.y});
            }
            i += 3;
        } else if (tag(i) == FT_CURVE_TAG_CONIC) {
            const P c = point(i);
            P e;
            int next = i + 1;
            if (next <= end && tag(next) == FT_CURVE_TAG_CONIC) {
                const P n2 = point(next);
                e = {(c.x + n2.x) / 2, (c.y + n2.y) / 2};
            } else {
                e = next <= end ? point(next) : at(first);
                ++next;
            }
            const int n = steps(dist(p0, c) + dist(c, e));
            for (int k = 1; k <= n; ++k) {
                const double t = double(k) / n, u = 1 - t;
                out.push_back({u * u * p0.x + 2 * u * t * c.x + t * t * e.x, u * u * p0.y + 2 * u * t * c.y + t * t * e.y});
            }
            i = next;
        } else {
            out.push_back(point(i));
            ++i;
        }
    }
}

} // namespace

bool MakeDashPieces(const FT_Vector *points, const char *tags, const short *ends, const char *closed, int contours,
                    const double *dashes, uint32_t count, double offset, std::vector<cxDashPiece> &pieces) {
    pieces.clear();
    if (!dashes || !count || !std::isfinite(offset)) return false;
    double sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!std::isfinite(dashes[i]) || dashes[i] < 0) return false;
        sum += dashes[i];
    }
    if (!(sum > 0) || !std::isfinite(sum)) return false;
    // In 26.6 units, like the points.
    const double scale = 64.0;
    try {
        std::vector<std::vector<P>> lines(static_cast<size_t>(contours));
        double total = 0;
        int first = 0;
        for (int c = 0; c < contours; ++c) {
            Flatten(points, tags, first, ends[c], closed[c] != 0, lines[size_t(c)]);
            const std::vector<P> &l = lines[size_t(c)];
            for (size_t i = 1; i < l.size(); ++i) total += std::hypot(l[i].x - l[i - 1].x, l[i].y - l[i - 1].y);
            first = ends[c] + 1;
        }
        if (total / (sum * scale) * count > double(kMaxPieces)) return false;
        for (const std::vector<P> &l : lines) {
            // Every contour starts the pattern afresh at the offset.
            uint32_t index = 0;
            bool on = true;
            double phase = std::fmod(offset, sum);
            if (phase < 0) phase += sum;
            while (phase >= dashes[index]) {
                phase -= dashes[index];
                index = (index + 1) % count;
                on = !on;
            }
            double left = (dashes[index] - phase) * scale; // what remains of the current dash
            cxDashPiece piece;
            if (on) piece.points.push_back({FT_Pos(std::lround(l[0].x)), FT_Pos(std::lround(l[0].y))});
            for (size_t i = 1; i < l.size(); ++i) {
                P a = l[i - 1];
                const P b = l[i];
                double seg = std::hypot(b.x - a.x, b.y - a.y);
                while (seg > left) {
                    const double t = left / seg;
                    const P m{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
                    const FT_Vector mv{FT_Pos(std::lround(m.x)), FT_Pos(std::lround(m.y))};
                    if (on) {
                        piece.points.push_back(mv);
                        if (piece.points.size() > 1) pieces.push_back(std::move(piece));
                        piece = cxDashPiece{};
                    } else {
                        piece.points.assign(1, mv);
                    }
                    on = !on;
                    seg -= left;
                    a = m;
                    index = (index + 1) % count;
                    left = dashes[index] * scale;
                }
                left -= seg;
                if (on) piece.points.push_back({FT_Pos(std::lround(b.x)), FT_Pos(std::lround(b.y))});
            }
            if (on && piece.points.size() > 1) pieces.push_back(std::move(piece));
            if (pieces.size() > kMaxPieces) return false;
        }
    } catch (const std::bad_alloc &) {
        pieces.clear();
        return false;
    }
    return true;
}
