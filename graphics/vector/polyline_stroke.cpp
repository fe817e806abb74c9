#include "graphics/vector/polyline_stroke.h"

#include FT_OUTLINE_H
#include FT_STROKER_H

#include <cmath>
#include <new>
#include <vector>

#include "graphics/vector/ft_engine.h"

namespace {

// Input points per stroked piece: a round join adds at most a dozen points
// on each side, which keeps a piece far below FreeType's 32767.
constexpr size_t kPiece = 1000;

// Strokes what the stroker holds into the raster and empties it.
bool Flush(FT_Library lib, FT_Stroker s, cxCoverageRaster &raster) {
    FT_UInt points = 0, contours = 0;
    if (FT_Stroker_GetCounts(s, &points, &contours)) return false;
    bool ok = true;
    if (points > 0 && points <= 32767 && contours <= 32767) {
        FT_Outline o{};
        if (FT_Outline_New(lib, points, contours, &o)) return false;
        o.n_points = 0;
        o.n_contours = 0;
        FT_Stroker_Export(s, &o);
        raster.Outline(o, 0, 0);
        FT_Outline_Done(lib, &o);
    } else if (points > 0) {
        ok = false;
    }
    FT_Stroker_Rewind(s);
    return ok;
}

} // namespace

bool StrokePolyline(cxCoverageRaster &raster, const double *xy, int32_t count, bool closed, double width,
                    bool roundJoins, double dx, double dy) {
    if (!xy || count <= 0 || !(width > 0)) return true;
    FT_Library lib = GetVectorFreeTypeLibrary();
    if (!lib) return false;
    // In 26.6, without repeats: FreeType's stroker takes a segment of no
    // length as nothing and fails on a sub-path of nothing.
    std::vector<FT_Vector> pts;
    try {
        pts.reserve(size_t(count) + 1);
        for (int32_t i = 0; i < count; ++i) {
            const double x = (xy[2 * i] + dx) * 64, y = (xy[2 * i + 1] + dy) * 64;
            if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 2e9 || std::fabs(y) > 2e9) return true;
            const FT_Vector v{FT_Pos(std::lround(x)), FT_Pos(std::lround(y))};
            if (pts.empty() || v.x != pts.back().x || v.y != pts.back().y) pts.push_back(v);
        }
        if (closed && pts.size() > 1 && pts.back().x == pts[0].x && pts.back().y == pts[0].y) pts.pop_back();
        if (pts.size() == 1) {
            pts.push_back({pts[0].x + 1, pts[0].y}); // a dot: the caps make it round
            closed = false;
        }
        // A ring too long for one piece is stroked as an open line back to
        // its start: the round caps of the pieces cover the joins between.
        if (closed && pts.size() > kPiece) {
            pts.push_back(pts[0]);
            closed = false;
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    FT_Stroker s = nullptr;
    if (FT_Stroker_New(lib, &s)) return false;
    FT_Stroker_Set(s, FT_Fixed(std::lround(width * 32)), FT_STROKER_LINECAP_ROUND,
                   roundJoins ? FT_STROKER_LINEJOIN_ROUND : FT_STROKER_LINEJOIN_MITER_FIXED, FT_Fixed(2) << 16);
    bool ok = true;
    if (closed) {
        ok = FT_Stroker_BeginSubPath(s, &pts[0], 0) == 0;
        for (size_t i = 1; ok && i < pts.size(); ++i) FT_Stroker_LineTo(s, &pts[i]);
        if (ok) FT_Stroker_EndSubPath(s);
        ok = ok && Flush(lib, s, raster);
    } else {
        for (size_t start = 0; ok && start + 1 < pts.size(); start += kPiece) {
            const size_t end = std::min(pts.size() - 1, start + kPiece);
            ok = FT_Stroker_BeginSubPath(s, &pts[start], 1) == 0;
            for (size_t i = start + 1; ok && i <= end; ++i) FT_Stroker_LineTo(s, &pts[i]);
            if (ok) FT_Stroker_EndSubPath(s);
            ok = ok && Flush(lib, s, raster);
        }
    }
    FT_Stroker_Done(s);
    return ok;
}
