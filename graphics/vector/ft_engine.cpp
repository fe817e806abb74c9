#include "graphics/vector/ft_engine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_STROKER_H
#include FT_BBOX_H
#include FT_SIZES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "graphics/vector/coverage_raster.h"
#include "graphics/vector/path.h"
#include "graphics/vector/path_dash.h"
#include "graphics/vector/vector_fonts.h"

namespace {

FT_Library g_own = nullptr;
int g_failure = CX_VECTOR_FAILED_NOTHING;

void Fail(int why) {
    if (g_failure == CX_VECTOR_FAILED_NOTHING) g_failure = why;
}

FT_Library Library() {
    if (!g_own && FT_Init_FreeType(&g_own)) g_own = nullptr;
    return g_own;
}

constexpr double kPi = 3.14159265358979323846;

bool InRange(double v) { return std::isfinite(v) && std::fabs(v) <= CX_VECTOR_MAXCOORD; }

struct Pt {
    double x, y;
};

// The outline as it is built: points in 26.6, FreeType tags, and each
// contour's last point with whether it was closed.
struct Builder {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<short> ends;
    std::vector<char> closed;
    size_t first = 0;     // first point of the contour being built
    bool inContour = false;
    bool bad = false;     // a coordinate out of range, or too many points

    Pt cur{0, 0}, start{0, 0};
    bool open = false;

    bool Put(double x, double y, char tag) {
        if (!InRange(x) || !InRange(y)) {
            Fail(CX_VECTOR_FAILED_RANGE);
            bad = true;
            return false;
        }
        // FreeType counts an outline's points in a short.
        if (points.size() >= 32767) {
            Fail(CX_VECTOR_FAILED_POINTS);
            bad = true;
            return false;
        }
        points.push_back({FT_Pos(std::lround(x * 64)), FT_Pos(std::lround(y * 64))});
        tags.push_back(tag);
        return true;
    }
    void Begin(Pt p) {
        End(false);
        first = points.size();
        inContour = true;
        Put(p.x, p.y, FT_CURVE_TAG_ON);
    }
    void Line(Pt p) {
        if (!inContour) return Begin(p);
        Put(p.x, p.y, FT_CURVE_TAG_ON);
    }
    void Cubic(Pt c1, Pt c2, Pt p) {
        if (!inContour) Begin(c1);
        Put(c1.x, c1.y, FT_CURVE_TAG_CUBIC);
        Put(c2.x, c2.y, FT_CURVE_TAG_CUBIC);
        Put(p.x, p.y, FT_CURVE_TAG_ON);
    }
    // Ends the contour; one of a single point draws nothing and is dropped.
    void End(bool close) {
        if (!inContour) return;
        inContour = false;
        if (points.size() - first < 2) {
            points.resize(first);
            tags.resize(first);
            return;
        }
        ends.push_back(short(points.size() - 1));
        closed.push_back(close ? 1 : 0);
    }
    FT_Outline Outline() {
        FT_Outline o{};
        o.n_points = short(points.size());
        o.n_contours = short(ends.size());
        o.points = points.data();
        o.tags = tags.data();
        o.contours = ends.data();
        o.flags = FT_OUTLINE_NONE;
        return o;
    }
};

void ReadPoint(const uint8_t *p, Pt &out) {
    out.x = PathDouble(p);
    out.y = PathDouble(p + 8);
}

// One cubic per piece of at most half a turn; a and b in radians, the
// piece drawn from a to b on the ellipse about c with radii ra and rb.
void ArcPiece(Builder &b, Pt c, double ra, double rb, double a, double e) {
    const double t = e - a;
    const double h = 4.0 / 3.0 * std::tan(t / 4);
    const double ca = std::cos(a), sa = std::sin(a), ce = std::cos(e), se = std::sin(e);
    const Pt c1{c.x + ra * (ca - h * sa), c.y + rb * (sa + h * ca)};
    const Pt c2{c.x + ra * (ce + h * se), c.y + rb * (se - h * ce)};
    const Pt p{c.x + ra * ce, c.y + rb * se};
    b.Cubic(c1, c2, p);
    b.cur = p;
}

// The largest step whose cubic stays within a tenth of a pixel of the
// ellipse: at most a quarter turn (a half-turn cubic strays by 2% of the
// radius, pixels on a large circle).
double MaxArcStep(double radius) {
    double step = kPi / 2;
    for (int i = 0; i < 8; ++i) {
        const double s = std::sin(step / 4), co = std::cos(step / 4);
        const double error = radius * 4.0 / 27.0 * std::pow(s, 6) / (co * co);
        if (error <= 0.1) break;
        step /= 2;
    }
    return step;
}

void ArcSegments(Builder &b, Pt c, double ra, double rb, double a1, double a2, int depth = 0) {
    const double sweep = std::fabs(a2 - a1);
    if (sweep == 0) return;
    if (sweep > kPi && depth < 4) {
        const double mid = (a1 + a2) / 2;
        ArcSegments(b, c, ra, rb, a1, mid, depth + 1);
        ArcSegments(b, c, ra, rb, mid, a2, depth + 1);
        return;
    }
    const int n = int(std::ceil(sweep / MaxArcStep(std::max(std::fabs(ra), std::fabs(rb))) - 1e-9));
    const double step = (a2 - a1) / std::max(n, 1);
    for (int i = 0; i < n; ++i) ArcPiece(b, c, ra, rb, a1 + i * step, i + 1 == n ? a2 : a1 + (i + 1) * step);
}

// An elliptic arc; angles in degrees, growing clockwise on screen.
void AddArc(Builder &b, Pt c, double ra, double rb, double start, double end, bool clockwise) {
    if (!std::isfinite(start) || !std::isfinite(end) || !InRange(ra) || !InRange(rb)) {
        Fail(CX_VECTOR_FAILED_RANGE);
        b.bad = true;
        return;
    }
    const double twoPi = 2 * kPi;
    double a1 = start * kPi / 180, a2 = end * kPi / 180;
    // The end is brought within a turn of the start in the arc's direction
    // (in one step: huge angles must not loop).
    if (clockwise) {
        if (a1 > a2) a2 += std::ceil((a1 - a2) / twoPi) * twoPi;
        if (a2 - a1 > 2 * twoPi) a2 = a1 + twoPi + std::fmod(a2 - a1 - twoPi, twoPi);
    } else {
        if (a2 > a1) a2 -= std::ceil((a2 - a1) / twoPi) * twoPi;
        if (a1 - a2 > 2 * twoPi) a2 = a1 - twoPi - std::fmod(a1 - a2 - twoPi, twoPi);
    }
    const Pt p{c.x + ra * std::cos(a1), c.y + rb * std::sin(a1)};
    if (!b.open) {
        b.Begin(p);
        b.start = p;
    } else {
        b.Line(p);
    }
    b.cur = p;
    b.open = true;
    ArcSegments(b, c, ra, rb, a1, a2);
}

// A box with rounded corners (top-left, bottom-left, bottom-right,
// top-right), run down the left edge first; closed.
void AddRoundBox(Builder &b, double x1, double y1, double x2, double y2, const int32_t round[4]) {
    if (!InRange(x1) || !InRange(y1) || !InRange(x2) || !InRange(y2)) {
        Fail(CX_VECTOR_FAILED_RANGE);
        b.bad = true;
        return;
    }
    const double half = std::min(std::trunc(x2 - x1), std::trunc(y2 - y1)) / 2;
    double r[4];
    for (int i = 0; i < 4; ++i) r[i] = round[i] <= 0 || half <= 0 ? 0 : half * std::min(round[i], 100) / 100.0;
    auto quarter = [&](Pt c, double rad, double from) {
        ArcSegments(b, c, rad, rad, from * kPi / 180, (from - 90) * kPi / 180);
    };
    if (b.open) b.End(false);
    b.open = false;
    const Pt begin{x1 + r[0], y1};
    b.Begin(begin);
    if (r[0] > 0) quarter({x1 + r[0], y1 + r[0]}, r[0], 270);
    b.Line({x1, y2 - r[1]});
    if (r[1] > 0) quarter({x1 + r[1], y2 - r[1]}, r[1], 180);
    b.Line({x2 - r[2], y2});
    if (r[2] > 0) quarter({x2 - r[2], y2 - r[2]}, r[2], 90);
    b.Line({x2, y1 + r[3]});
    if (r[3] > 0) quarter({x2 - r[3], y1 + r[3]}, r[3], 0);
    b.End(true);
    b.cur = b.start = begin;
}

// Next code point of UTF-8 text; malformed bytes come out as themselves.
uint32_t NextCodePoint(const unsigned char *&s) {
    const unsigned char c = *s++;
    if (c < 0x80) return c;
    int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t v = c & (0x3F >> n);
    for (int i = 0; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return c;
        v = (v << 6) | (s[i] & 0x3F);
    }
    s += n;
    return v;
}

// Glyph outlines of a text at the current point, as closed contours.
void AddText(Builder &b, const uint8_t *item, const cxVectorParams *params) {
    if (b.open) b.End(false);
    b.open = false;
    const uint32_t key = PathWord(item + 4);
    const int32_t size = int32_t(PathWord(item + 8));
    FT_Face face = params && params->fontHandle ? static_cast<FT_Face>(params->fontHandle(key, params->engine)) : nullptr;
    if (!face || size <= 0 || size > 16384) return;
    // A size of our own: the text engine keeps its size on the face.
    FT_Size mine = nullptr, previous = face->size;
    if (FT_New_Size(face, &mine)) return;
    FT_Activate_Size(mine);
    if (FT_Set_Char_Size(face, 0, FT_F26Dot6(size) * 64, 72, 72) == 0) {
        const unsigned char *s = item + 12;
        while (*s) {
            const uint32_t code = NextCodePoint(s);
            if (FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_NO_BITMAP)) break;
            const FT_Outline &g = face->glyph->outline;
            if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) break;
            short from = 0;
            for (short c = 0; c < g.n_contours && !b.bad; ++c) {
                const short to = g.contours[c];
                if (to < from || to >= g.n_points) break;
                // Begun at a point on the curve, as the stroker wants.
                short on = from;
                while (on <= to && FT_CURVE_TAG(g.tags[on]) != FT_CURVE_TAG_ON) ++on;
                if (on <= to) {
                    b.End(false);
                    b.first = b.points.size();
                    b.inContour = true;
                    const short n = short(to - from + 1);
                    for (short k = 0; k < n; ++k) {
                        const short i = short(from + (on - from + k) % n);
                        b.Put(b.cur.x + g.points[i].x / 64.0, b.cur.y - g.points[i].y / 64.0,
                              char(FT_CURVE_TAG(g.tags[i])));
                    }
                    b.End(true);
                }
                from = short(to + 1);
            }
            b.cur.x += face->glyph->advance.x / 64.0;
        }
    }
    FT_Activate_Size(previous);
    FT_Done_Size(mine);
}

// Walks the items into the builder. mode 0 only translates in place.
void Walk(Builder &b, uint8_t *items, const cxVectorParams *params, double dx, double dy, bool translate) {
    b.cur = b.start = {0, 0};
    b.open = false;
    uint8_t *p = items;
    while (p && !b.bad) {
        const uint32_t code = PathWord(p);
        const size_t size = PathItemSize(p);
        if (!size) break;
        const bool rel = (code == CX_PATH_MOVETO || code == CX_PATH_LINETO || code == CX_PATH_CURVETO) && PathWord(p + 4);
        if (translate) {
            switch (code) {
            case CX_PATH_MOVETO:
            case CX_PATH_LINETO:
                if (!rel) {
                    PathSetDouble(p + 8, PathDouble(p + 8) + dx);
                    PathSetDouble(p + 16, PathDouble(p + 16) + dy);
                }
                break;
            case CX_PATH_CURVETO:
                if (!rel)
                    for (int i = 0; i < 3; ++i) {
                        PathSetDouble(p + 8 + 16 * i, PathDouble(p + 8 + 16 * i) + dx);
                        PathSetDouble(p + 16 + 16 * i, PathDouble(p + 16 + 16 * i) + dy);
                    }
                break;
            case CX_PATH_ARC:
            case CX_PATH_BOX:
                PathSetDouble(p + 4, PathDouble(p + 4) + dx);
                PathSetDouble(p + 12, PathDouble(p + 12) + dy);
                break;
            default: break;
            }
            p += size;
            continue;
        }
        const Pt base = rel ? b.cur : Pt{dx, dy};
        switch (code) {
        case CX_PATH_MOVETO: {
            Pt t;
            ReadPoint(p + 8, t);
            t = {t.x + base.x, t.y + base.y};
            if (b.open) b.End(false);
            b.open = false;
            if (PathWord(p + size) != CX_PATH_TEXT) {
                b.Begin(t);
                b.open = true;
            }
            b.cur = b.start = t;
            break;
        }
        case CX_PATH_LINETO: {
            Pt t;
            ReadPoint(p + 8, t);
            t = {t.x + base.x, t.y + base.y};
            if (b.open) {
                b.Line(t);
            } else {
                b.Begin(t);
                b.start = t;
                b.open = true;
            }
            b.cur = t;
            break;
        }
        case CX_PATH_CURVETO: {
            Pt c1, c2, e;
            ReadPoint(p + 8, c1);
            ReadPoint(p + 24, c2);
            ReadPoint(p + 40, e);
            c1 = {c1.x + base.x, c1.y + base.y};
            c2 = {c2.x + base.x, c2.y + base.y};
            e = {e.x + base.x, e.y + base.y};
            if (!b.open) {
                b.Begin(c1);
                b.start = c1;
                b.open = true;
            }
            b.Cubic(c1, c2, e);
            b.cur = e;
            break;
        }
        case CX_PATH_NEWSUBPATH: break;
        case CX_PATH_CLOSEPATH:
            if (b.open) b.End(true);
            b.open = false;
            b.cur = b.start;
            break;
        case CX_PATH_ARC: {
            Pt c;
            ReadPoint(p + 4, c);
            AddArc(b, {c.x + dx, c.y + dy}, PathDouble(p + 20), PathDouble(p + 28), PathDouble(p + 36),
                   PathDouble(p + 44), PathWord(p + 52) != 0);
            break;
        }
        case CX_PATH_BOX: {
            const double x = PathDouble(p + 4) + dx, y = PathDouble(p + 12) + dy;
            int32_t round[4];
            memcpy(round, p + 36, sizeof round);
            AddRoundBox(b, x, y, x + PathDouble(p + 20), y + PathDouble(p + 28), round);
            break;
        }
        case CX_PATH_TEXT: AddText(b, p, params); break;
        default: break;
        }
        p += size;
    }
    if (b.open) b.End(false);
    b.open = false;
}

// FreeType's outline, owned, from the stroker or a copy of the builder's.
struct OwnedOutline {
    FT_Outline o{};
    bool made = false;
    OwnedOutline() = default;
    OwnedOutline(const OwnedOutline &) = delete;
    OwnedOutline &operator=(const OwnedOutline &) = delete;
    ~OwnedOutline() { Reset(); }
    void Reset() {
        if (made) FT_Outline_Done(Library(), &o);
        o = FT_Outline{};
        made = false;
    }
    void Swap(OwnedOutline &other) {
        std::swap(o, other.o);
        std::swap(made, other.made);
    }
};

// What an outline was built from. A drawing is measured and then drawn
// with the same request: the outline of the measuring is kept for the
// drawing, which then need not stroke the path a second time.
struct OutlineKey {
    std::vector<uint8_t> items;
    uint32_t fill = 0;
    int32_t lineWidth = 0;
    double dx = 0, dy = 0, m[4] = {1, 0, 0, 1};
    cxVectorParams params{};
    std::vector<double> dashes;

    bool operator==(const OutlineKey &k) const {
        return items == k.items && fill == k.fill && lineWidth == k.lineWidth && Same(dx, k.dx) && Same(dy, k.dy) &&
               Same(m[0], k.m[0]) && Same(m[1], k.m[1]) && Same(m[2], k.m[2]) && Same(m[3], k.m[3]) &&
               params.lineJoin == k.params.lineJoin && params.lineCap == k.params.lineCap &&
               params.fillRule == k.params.fillRule && Same(params.miterLimit, k.params.miterLimit) &&
               Same(params.dashOffset, k.params.dashOffset) && params.fontHandle == k.params.fontHandle &&
               params.engine == k.params.engine && dashes.size() == k.dashes.size() &&
               std::equal(dashes.begin(), dashes.end(), k.dashes.begin(), Same);
    }
    static bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
};

// False when the items cannot be read as a whole list.
bool MakeKey(OutlineKey &k, const void *items, const cxVectorParams *params, uint32_t fill, int32_t lineWidth,
             double dx, double dy, const double *matrix) {
    const uint8_t *p = static_cast<const uint8_t *>(items);
    if (!p) return false;
    size_t n = 0;
    for (size_t size; (size = PathItemSize(p + n)) != 0;) n += size;
    try {
        k.items.assign(p, p + n + 4);
        if (params && params->dashes && params->dashCount)
            k.dashes.assign(params->dashes, params->dashes + params->dashCount);
    } catch (const std::bad_alloc &) {
        return false;
    }
    k.fill = fill;
    k.lineWidth = lineWidth;
    k.dx = dx;
    k.dy = dy;
    if (matrix) std::copy(matrix, matrix + 4, k.m);
    if (params) {
        k.params = *params;
        k.params.dashes = nullptr;
        k.params.antialias = 0; // coverage mode does not change the outline
    }
    return true;
}

struct Kept {
    OutlineKey key;
    OwnedOutline outline;
    bool valid = false;
} *g_kept = nullptr;

void DropKept() {
    delete g_kept;
    g_kept = nullptr;
}

// One sub-path for the stroker. FreeType's stroker takes a segment that
// stays on its point (a line to itself, a curve whose points lie within a
// unit of each other) as nothing, and a sub-path ended without anything
// taken crashes it: such segments are left out here, and a sub-path left
// with nothing becomes a dot of the line's width when the caps are round
// or square (a short line then carries the caps), or nothing with butt
// caps.
struct SubPathFeed {
    FT_Stroker s;
    bool dots;      // round or square caps
    FT_Vector start{}, at{};
    bool open = true, begun = false, failed = false;

    // Within FreeType's own test of small moves, with room to spare.
    static bool Small(const FT_Vector &a, const FT_Vector &b) {
        return std::abs(a.x - b.x) < 4 && std::abs(a.y - b.y) < 4;
    }
    void Begin(FT_Vector p, bool isOpen) {
        start = at = p;
        open = isOpen;
        begun = failed = false;
    }
    bool Ready() {
        if (!begun && !failed) {
            FT_Vector p = start;
            if (FT_Stroker_BeginSubPath(s, &p, open ? 1 : 0)) failed = true;
            else begun = true;
        }
        return begun;
    }
    void Line(FT_Vector p) {
        if ((p.x == at.x && p.y == at.y) || !Ready()) return;
        FT_Stroker_LineTo(s, &p);
        at = p;
    }
    void Cubic(FT_Vector c1, FT_Vector c2, FT_Vector e) {
        if (Small(at, c1) && Small(c1, c2) && Small(c2, e)) return Line(e);
        if (!Ready()) return;
        FT_Stroker_CubicTo(s, &c1, &c2, &e);
        at = e;
    }
    void Conic(FT_Vector c, FT_Vector e) {
        if (Small(at, c) && Small(c, e)) return Line(e);
        if (!Ready()) return;
        FT_Stroker_ConicTo(s, &c, &e);
        at = e;
    }
    void End() {
        if (begun) {
            FT_Stroker_EndSubPath(s);
        } else if (dots && !failed) {
            FT_Vector p = start, q{start.x + 1, start.y};
            if (FT_Stroker_BeginSubPath(s, &p, 1) == 0) {
                FT_Stroker_LineTo(s, &q);
                FT_Stroker_EndSubPath(s);
            }
        }
        begun = false;
    }
};

// Feeds one contour of an outline (points first..last) to the stroker.
void StrokeContour(SubPathFeed &f, const FT_Vector *pts, const char *tags, int first, int last, bool open) {
    f.Begin(pts[first], open);
    for (int i = first + 1; i <= last;) {
        const char t = FT_CURVE_TAG(tags[i]);
        if (t == FT_CURVE_TAG_CUBIC && i + 2 <= last + (open ? 0 : 1)) {
            f.Cubic(pts[i], pts[i + 1], i + 2 <= last ? pts[i + 2] : pts[first]);
            i += 3;
        } else if (t == FT_CURVE_TAG_CONIC) {
            FT_Vector e;
            const int next = i + 1 <= last ? i + 1 : -1;
            const int at = i;
            if (next < 0) {
                e = pts[first];
            } else if (FT_CURVE_TAG(tags[next]) == FT_CURVE_TAG_CONIC) {
                e = {(pts[i].x + pts[next].x) / 2, (pts[i].y + pts[next].y) / 2};
            } else {
                e = pts[next];
                ++i;
            }
            f.Conic(pts[at], e);
            ++i;
        } else {
            f.Line(pts[i]);
            ++i;
        }
    }
    f.End();
}

// The outline to rasterise or measure: the filled path, or its stroke.
// False when nothing can be built.
bool BuildOutline(Builder &b, OwnedOutline &out, const uint8_t *items, const cxVectorParams *params, int32_t lineWidth,
                  double dx, double dy, bool fill) {
    FT_Library lib = Library();
    if (!lib || !items) return false;
    if (!std::isfinite(dx) || !std::isfinite(dy)) {
        Fail(CX_VECTOR_FAILED_RANGE);
        return false;
    }
    try {
        Walk(b, const_cast<uint8_t *>(items), params, dx, dy, false);
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (b.bad || b.points.empty()) return false;
    FT_Outline path = b.Outline();
    if (fill) {
        if (FT_Outline_New(lib, path.n_points, path.n_contours, &out.o)) return false;
        out.made = true;
        FT_Outline_Copy(&path, &out.o);
        if (params && params->fillRule == CX_FILLRULE_EVENODD) out.o.flags |= FT_OUTLINE_EVEN_ODD_FILL;
        else out.o.flags &= ~FT_OUTLINE_EVEN_ODD_FILL;
        return true;
    }
    FT_Stroker s = nullptr;
    if (FT_Stroker_New(lib, &s)) return false;
    const int32_t width = std::clamp<int32_t>(lineWidth, 1, CX_VECTOR_MAXLINEWIDTH);
    const uint32_t cap = params ? params->lineCap : 0, join = params ? params->lineJoin : 0;
    const double limit = params && std::isfinite(params->miterLimit) ? std::clamp(params->miterLimit, 1.0, 1000.0) : 10.0;
    FT_Stroker_Set(s, FT_Fixed(width) * 32,
                   cap == CX_CAP_ROUND ? FT_STROKER_LINECAP_ROUND
                   : cap == CX_CAP_SQUARE ? FT_STROKER_LINECAP_SQUARE
                                          : FT_STROKER_LINECAP_BUTT,
                   join == CX_JOIN_ROUND ? FT_STROKER_LINEJOIN_ROUND
                   : join == CX_JOIN_BEVEL ? FT_STROKER_LINEJOIN_BEVEL
                                           : FT_STROKER_LINEJOIN_MITER_FIXED,
                   FT_Fixed(limit * 65536));
    bool ok = true;
    std::vector<cxDashPiece> pieces;
    const bool dashed = params && MakeDashPieces(b.points.data(), b.tags.data(), b.ends.data(), b.closed.data(),
                                                 int(b.ends.size()), params->dashes, params->dashCount,
                                                 params->dashOffset, pieces);
    SubPathFeed feed{s, cap == CX_CAP_ROUND || cap == CX_CAP_SQUARE};
    if (dashed) {
        for (const cxDashPiece &piece : pieces) {
            feed.Begin(piece.points[0], true);
            for (size_t i = 1; i < piece.points.size(); ++i) feed.Line(piece.points[i]);
            feed.End();
        }
    } else {
        int first = 0;
        for (size_t c = 0; c < b.ends.size(); ++c) {
            StrokeContour(feed, b.points.data(), b.tags.data(), first, b.ends[c], !b.closed[c]);
            first = b.ends[c] + 1;
        }
    }
    FT_UInt points = 0, contours = 0;
    if (FT_Stroker_GetCounts(s, &points, &contours)) {
        ok = false;
    } else if (points > 32767 || contours > 32767) {
        Fail(CX_VECTOR_FAILED_POINTS);
        ok = false;
    } else if (FT_Outline_New(lib, points, contours, &out.o)) {
        ok = false;
    }
    if (ok) {
        out.made = true;
        out.o.n_points = 0;
        out.o.n_contours = 0;
        FT_Stroker_Export(s, &out.o);
    }
    FT_Stroker_Done(s);
    return ok && out.o.n_points > 0;
}

bool IsIdentity(const double *m) { return !m || (m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1); }

bool Transform(FT_Outline &o, const double *m) {
    if (IsIdentity(m)) return true;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(m[i]) || std::fabs(m[i]) > 32767) {
            Fail(CX_VECTOR_FAILED_RANGE);
            return false;
        }
    FT_Matrix fm{FT_Fixed(m[0] * 65536), FT_Fixed(m[2] * 65536), FT_Fixed(m[1] * 65536), FT_Fixed(m[3] * 65536)};
    FT_Outline_Transform(&o, &fm);
    FT_BBox box;
    FT_Outline_Get_CBox(&o, &box);
    const FT_Pos limit = FT_Pos(CX_VECTOR_MAXCOORD * 64);
    if (box.xMin >= -limit && box.yMin >= -limit && box.xMax <= limit && box.yMax <= limit) return true;
    Fail(CX_VECTOR_FAILED_RANGE);
    return false;
}

// FreeType's rasteriser keeps the cells of each row in a list it walks for
// every new cell, so an outline that crosses a row many times (a long
// stroked zigzag, a filled one) costs the square of its crossings. The
// project's scanline filler costs the outline's length plus the box's
// area, whatever the crossings: it takes the outlines of many points, and
// FreeType the small ones (a circle), over whose box it is the faster.
constexpr int kOwnPoints = 128;

cxCoverageRaster *g_raster = nullptr;

void CutAtHalf(const cxVectorDrawRequest *r) {
    for (int32_t y = 0; y < r->height; ++y) {
        uint8_t *row = r->pixels + size_t(y) * size_t(r->bytesPerRow);
        for (int32_t x = 0; x < r->width; ++x) row[x] = row[x] >= 128 ? 255 : 0;
    }
}

bool RenderOwn(const FT_Outline &o, const cxVectorDrawRequest *r) {
    if (!g_raster) g_raster = new (std::nothrow) cxCoverageRaster;
    if (!g_raster || !g_raster->Begin(r->width, r->height)) return false;
    g_raster->Outline(o, 0, 0);
    g_raster->Resolve(r->pixels, r->bytesPerRow, (o.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0, false);
    return true;
}

} // namespace

extern "C" struct FT_LibraryRec_ *GetVectorFreeTypeLibrary(void) { return Library(); }
extern "C" int TakeVectorBuildFailure(void) {
    const int why = g_failure;
    g_failure = CX_VECTOR_FAILED_NOTHING;
    return why;
}
extern "C" void StopVectorFreeType(void) {
    DropKept();
    delete g_raster;
    g_raster = nullptr;
    if (g_own) FT_Done_FreeType(g_own);
    g_own = nullptr;
}

extern "C" void FtGetPathExtents(cxVectorExtentsRequest *r) {
    g_failure = CX_VECTOR_FAILED_NOTHING;
    Builder b;
    OwnedOutline o;
    if (!BuildOutline(b, o, static_cast<const uint8_t *>(r->items), r->params, r->lineWidth, r->dx, r->dy, r->fill != 0))
        return;
    if (!Transform(o.o, r->matrix)) return;
    FT_BBox box;
    if (FT_Outline_Get_BBox(&o.o, &box)) return;
    r->x1 = box.xMin / 64.0;
    r->y1 = box.yMin / 64.0;
    r->x2 = box.xMax / 64.0;
    r->y2 = box.yMax / 64.0;
    if (!g_kept) g_kept = new (std::nothrow) Kept;
    if (!g_kept) return;
    g_kept->valid = MakeKey(g_kept->key, r->items, r->params, r->fill, r->lineWidth, r->dx, r->dy, r->matrix);
    g_kept->outline.Swap(o);
}

extern "C" int FtDrawPath(cxVectorDrawRequest *r) {
    g_failure = CX_VECTOR_FAILED_NOTHING;
    if (!r->pixels || r->width <= 0 || r->height <= 0 || r->bytesPerRow < r->width) return 0;
    Builder b;
    OwnedOutline o;
    OutlineKey key;
    if (g_kept && g_kept->valid &&
        MakeKey(key, r->items, r->params, r->fill, r->lineWidth, r->ox, r->oy, r->matrix) && key == g_kept->key) {
        o.Swap(g_kept->outline);
        g_kept->valid = false;
    } else {
        if (!BuildOutline(b, o, static_cast<const uint8_t *>(r->items), r->params, r->lineWidth, r->ox, r->oy,
                          r->fill != 0))
            return 0;
        if (!Transform(o.o, r->matrix)) return 0;
    }
    // The outline's box goes to the buffer's origin, on whole pixels so
    // that edges keep their place within the pixel.
    FT_BBox box;
    if (FT_Outline_Get_BBox(&o.o, &box)) return 0;
    FT_Outline_Translate(&o.o, -(box.xMin & ~63), -(box.yMin & ~63));
    const bool aa = !r->params || r->params->antialias;
    if (aa && o.o.n_points > kOwnPoints) return RenderOwn(o.o, r) ? 1 : 0;
    for (int32_t y = 0; y < r->height; ++y) memset(r->pixels + size_t(y) * size_t(r->bytesPerRow), 0, size_t(r->width));
    FT_Bitmap bm{};
    bm.rows = unsigned(r->height);
    bm.width = unsigned(r->width);
    if (aa) {
        bm.pitch = -r->bytesPerRow;
        bm.buffer = r->pixels;
        bm.pixel_mode = FT_PIXEL_MODE_GRAY;
        bm.num_grays = 256;
        return FT_Outline_Get_Bitmap(Library(), &o.o, &bm) == 0 ? 1 : 0;
    }
    const int pitch = ((r->width + 15) >> 3) & ~1;
    std::vector<uint8_t> bits;
    try {
        bits.assign(size_t(pitch) * size_t(r->height), 0);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    bm.pitch = -pitch;
    bm.buffer = bits.data();
    bm.pixel_mode = FT_PIXEL_MODE_MONO;
    bm.num_grays = 2;
    if (FT_Outline_Get_Bitmap(Library(), &o.o, &bm)) {
        // The one-bit rasteriser's pool overflows on outlines of very many
        // edges; the coverage of the scanline filler, cut at half, is the
        // same drawing within the edge pixels.
        if (!RenderOwn(o.o, r)) return 0;
        CutAtHalf(r);
        return 1;
    }
    for (int32_t y = 0; y < r->height; ++y) {
        const uint8_t *src = bits.data() + size_t(y) * size_t(pitch);
        uint8_t *dst = r->pixels + size_t(y) * size_t(r->bytesPerRow);
        for (int32_t x = 0; x < r->width; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    }
    return 1;
}

extern "C" void FtTranslatePath(cxVectorTranslateRequest *r) {
    if (!r->items || !std::isfinite(r->dx) || !std::isfinite(r->dy)) return;
    Builder b;
    Walk(b, static_cast<uint8_t *>(r->items), nullptr, r->dx, r->dy, true);
}

extern "C" void FtGetCurrentPoint(const void *items, const cxVectorParams *params, double *x, double *y) {
    if (!items) return;
    Builder b;
    try {
        Walk(b, const_cast<uint8_t *>(static_cast<const uint8_t *>(items)), params, 0, 0, false);
    } catch (const std::bad_alloc &) {
        return;
    }
    if (b.bad) return;
    *x = b.cur.x;
    *y = b.cur.y;
}

extern "C" void *FtCreateVectorFont(struct FT_FaceRec_ *face) { return face; }
extern "C" void FtFreeVectorFont(void *) {}

extern "C" struct FT_FaceRec_ *FtOpenFont(const void *data, size_t size) {
    FT_Library lib = Library();
    FT_Face face = nullptr;
    if (!lib || !data || !size || FT_New_Memory_Face(lib, static_cast<const FT_Byte *>(data), FT_Long(size), 0, &face))
        return nullptr;
    return face;
}

extern "C" void FtCloseFont(struct FT_FaceRec_ *face) {
    if (face) FT_Done_Face(face);
}
