#include "graphics/shapes/polygon_clip.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

bool Inside(const double *p, int edge, double v) {
    switch (edge) {
    case CX_CLIPEDGE_LEFT: return p[0] >= v;
    case CX_CLIPEDGE_TOP: return p[1] >= v;
    case CX_CLIPEDGE_RIGHT: return p[0] <= v;
    default: return p[1] <= v;
    }
}

// Where the segment a-b meets the edge's line.
void Cross(const double *a, const double *b, int edge, double v, double *out) {
    if (edge == CX_CLIPEDGE_LEFT || edge == CX_CLIPEDGE_RIGHT) {
        const double t = (v - a[0]) / (b[0] - a[0]);
        out[0] = v;
        out[1] = a[1] + (b[1] - a[1]) * t;
    } else {
        const double t = (v - a[1]) / (b[1] - a[1]);
        out[0] = a[0] + (b[0] - a[0]) * t;
        out[1] = v;
    }
}

}  // namespace

extern "C" int32_t ClipPolygonEdge(const double *in, int32_t count, double *out, int edge, double value) {
    if (!in || !out || count < 1) return 0;
    int32_t n = 0;
    const double *prev = in + 2 * (count - 1);
    bool prevIn = Inside(prev, edge, value);
    for (int32_t i = 0; i < count; ++i) {
        const double *cur = in + 2 * i;
        const bool curIn = Inside(cur, edge, value);
        if (curIn != prevIn) {
            Cross(prev, cur, edge, value, out + 2 * n);
            ++n;
        }
        if (curIn) {
            out[2 * n] = cur[0];
            out[2 * n + 1] = cur[1];
            ++n;
        }
        prev = cur;
        prevIn = curIn;
    }
    return n;
}

extern "C" int32_t ClipPolygonToRect(const double *in, int32_t count, double *a, double *b, double x0, double y0,
                                     double x1, double y1, const double **result) {
    int32_t n = ClipPolygonEdge(in, count, a, CX_CLIPEDGE_LEFT, x0);
    n = ClipPolygonEdge(a, n, b, CX_CLIPEDGE_TOP, y0);
    n = ClipPolygonEdge(b, n, a, CX_CLIPEDGE_RIGHT, x1);
    n = ClipPolygonEdge(a, n, b, CX_CLIPEDGE_BOTTOM, y1);
    if (result) *result = b;
    return n;
}

extern "C" int32_t BuildArcPolygon(double *out, int32_t capacity, double cx, double cy, double rx, double ry,
                                   double startDegrees, double endDegrees, int32_t points) {
    if (!out || capacity < 1 || points < 1) return 0;
    const int32_t n = points < capacity ? points : capacity;
    const double step = points > 1 ? (endDegrees - startDegrees) / (points - 1) : 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double a = (startDegrees + step * i) * kPi / 180.0;
        out[2 * i] = cx + rx * std::cos(a);
        out[2 * i + 1] = cy + ry * std::sin(a);
    }
    return n;
}
