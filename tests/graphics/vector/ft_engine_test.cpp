// The inbuilt vector engine against cairo drawing the same paths into A8
// surfaces, and its refusals of input it cannot build.
#include <cairo.h>
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "graphics/vector/ft_engine.h"
#include "graphics/vector/path.h"
#include "graphics/vector/path_style.h"
#include "graphics/vector/vector_engine.h"
#include "graphics/vector/vector_fonts.h"

namespace {

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }

// A path under construction and its twin in cairo.
struct Twin {
    cxPath *path = NewPath(1, 0);
    std::vector<std::function<void(cairo_t *)>> cairo;

    ~Twin() {
        cxObjectID id{1, nullptr};
        FreePathByID(nullptr, id);
    }
    void Move(double x, double y) {
        const cxPathArg a[] = {I(0), D(x), D(y)};
        AppendPathItem(path, CX_PATH_MOVETO, 3, a);
        cairo.push_back([=](cairo_t *c) { cairo_move_to(c, x, y); });
    }
    void Line(double x, double y) {
        const cxPathArg a[] = {I(0), D(x), D(y)};
        AppendPathItem(path, CX_PATH_LINETO, 3, a);
        cairo.push_back([=](cairo_t *c) { cairo_line_to(c, x, y); });
    }
    void Curve(double x1, double y1, double x2, double y2, double x3, double y3) {
        const cxPathArg a[] = {I(0), D(x1), D(y1), D(x2), D(y2), D(x3), D(y3)};
        AppendPathItem(path, CX_PATH_CURVETO, 7, a);
        cairo.push_back([=](cairo_t *c) { cairo_curve_to(c, x1, y1, x2, y2, x3, y3); });
    }
    void Close() {
        AppendPathItem(path, CX_PATH_CLOSEPATH, 0, nullptr);
        cairo.push_back([](cairo_t *c) { cairo_close_path(c); });
    }
    // A clockwise arc (angles growing clockwise on screen, as in cairo).
    void Arc(double xc, double yc, double ra, double rb, double a1, double a2) {
        const cxPathArg a[] = {D(xc), D(yc), D(ra), D(rb), D(a1), D(a2), I(1)};
        AppendPathItem(path, CX_PATH_ARC, 7, a);
        cairo.push_back([=](cairo_t *c) {
            cairo_save(c);
            cairo_translate(c, xc, yc);
            cairo_scale(c, 1, rb / ra);
            cairo_arc(c, 0, 0, ra, a1 * M_PI / 180, a2 * M_PI / 180);
            cairo_restore(c);
        });
    }
    void Box(double x, double y, double w, double h) {
        const cxPathArg a[] = {D(x), D(y), D(w), D(h), I(0), I(0), I(0), I(0)};
        AppendPathItem(path, CX_PATH_BOX, 8, a);
        cairo.push_back([=](cairo_t *c) { cairo_rectangle(c, x, y, w, h); });
    }
};

struct Drawn {
    int ox = 0, oy = 0, w = 0, h = 0;
    std::vector<uint8_t> cov;
};

cxPathStyle Style(bool aa, uint32_t join = CX_JOIN_MITER, uint32_t cap = CX_CAP_BUTT, uint32_t rule = CX_FILLRULE_WINDING) {
    cxPathStyle s{};
    s.lineJoin = join;
    s.lineCap = cap;
    s.fillRule = rule;
    s.miterLimit = 10;
    s.drawStyle.formStyle = aa ? CX_FORM_ANTIALIAS : 0;
    return s;
}

// Draws items with the inbuilt engine into a buffer of their pixel box.
bool Draw(const cxPath *p, const cxPathStyle &s, bool fill, int width, Drawn &out) {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetPathExtentsOf(nullptr, p->items, &s, fill, width, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    out.ox = int(std::floor(x1));
    out.oy = int(std::floor(y1));
    out.w = int(std::ceil(x2)) - out.ox;
    out.h = int(std::ceil(y2)) - out.oy;
    if (out.w <= 0 || out.h <= 0) return false;
    out.cov.assign(size_t(out.w) * out.h, 0xAB);
    return DrawPathWithEngine(nullptr, p->items, &s, fill, width, nullptr, out.cov.data(), out.w, out.w, out.h, 0, 0,
                              0, 0) != 0;
}

struct Compared {
    double meanDiff = 0;
    int outside = 0; // cairo coverage beyond our box
};

Compared CompareWithCairo(const Twin &t, const Drawn &d, const cxPathStyle &s, bool fill, int width) {
    const int m = 8, W = d.w + 2 * m, H = d.h + 2 * m;
    cairo_surface_t *surf = cairo_image_surface_create(CAIRO_FORMAT_A8, W, H);
    cairo_t *c = cairo_create(surf);
    cairo_translate(c, m - d.ox, m - d.oy);
    for (const auto &op : t.cairo) op(c);
    cairo_set_antialias(c, CAIRO_ANTIALIAS_GRAY);
    cairo_set_fill_rule(c, s.fillRule == CX_FILLRULE_EVENODD ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    if (fill) {
        cairo_fill(c);
    } else {
        cairo_set_line_width(c, width);
        cairo_set_line_join(c, s.lineJoin == CX_JOIN_ROUND   ? CAIRO_LINE_JOIN_ROUND
                               : s.lineJoin == CX_JOIN_BEVEL ? CAIRO_LINE_JOIN_BEVEL
                                                             : CAIRO_LINE_JOIN_MITER);
        cairo_set_line_cap(c, s.lineCap == CX_CAP_ROUND    ? CAIRO_LINE_CAP_ROUND
                              : s.lineCap == CX_CAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                           : CAIRO_LINE_CAP_BUTT);
        cairo_set_miter_limit(c, s.miterLimit);
        if (s.dashCount) cairo_set_dash(c, s.dashes, int(s.dashCount), s.dashOffset);
        cairo_stroke(c);
    }
    cairo_surface_flush(surf);
    const uint8_t *px = cairo_image_surface_get_data(surf);
    const int stride = cairo_image_surface_get_stride(surf);
    Compared r;
    double sum = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = px[y * stride + x];
            const int bx = x - m, by = y - m;
            if (bx < 0 || by < 0 || bx >= d.w || by >= d.h) {
                if (v > 1) r.outside++;
                continue;
            }
            sum += std::abs(v - int(d.cov[size_t(by) * d.w + bx]));
        }
    r.meanDiff = sum / (double(d.w) * d.h);
    cairo_destroy(c);
    cairo_surface_destroy(surf);
    return r;
}

void Star(Twin &t, double cx, double cy, double r) {
    for (int i = 0; i < 5; ++i) {
        const double a = (i * 144 - 90) * M_PI / 180;
        if (i == 0) t.Move(cx + r * std::cos(a), cy + r * std::sin(a));
        else t.Line(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    t.Close();
}

struct Case {
    const char *name;
    std::function<void(Twin &)> build;
    bool fill;
    int width;
    uint32_t join, cap, rule;
};

class VectorEngine : public ::testing::Test {
  protected:
    void TearDown() override {
        FreeEveryPath(nullptr);
        SetVectorFontResolver(nullptr);
    }
};

TEST_F(VectorEngine, CoverageMatchesCairoForFilledAndStrokedPaths) {
    const Case cases[] = {
        {"star winding", [](Twin &t) { Star(t, 50.3, 50.7, 40); }, true, 1, 0, 0, CX_FILLRULE_WINDING},
        {"star even-odd", [](Twin &t) { Star(t, 50.3, 50.7, 40); }, true, 1, 0, 0, CX_FILLRULE_EVENODD},
        {"circle", [](Twin &t) { t.Arc(60.5, 40.25, 30, 30, 0, 360); }, true, 1, 0, 0, 0},
        {"ellipse", [](Twin &t) { t.Arc(100, 100, 50, 25, 0, 360); }, true, 1, 0, 0, 0},
        {"curve", [](Twin &t) {
             t.Move(10, 80);
             t.Curve(30, -20, 90, 140, 120, 20);
             t.Close();
         }, true, 1, 0, 0, 0},
        {"box", [](Twin &t) { t.Box(3.5, 4.25, 40, 17.5); }, true, 1, 0, 0, 0},
        {"polyline miter", [](Twin &t) {
             t.Move(10, 10);
             t.Line(80, 30);
             t.Line(20, 70);
             t.Line(90, 90);
         }, false, 6, CX_JOIN_MITER, CX_CAP_BUTT, 0},
        {"polyline round", [](Twin &t) {
             t.Move(10, 10);
             t.Line(80, 30);
             t.Line(20, 70);
         }, false, 9, CX_JOIN_ROUND, CX_CAP_ROUND, 0},
        {"polyline bevel square", [](Twin &t) {
             t.Move(10, 10);
             t.Line(80, 30);
             t.Line(20, 70);
         }, false, 7, CX_JOIN_BEVEL, CX_CAP_SQUARE, 0},
        {"closed triangle", [](Twin &t) {
             t.Move(10, 10);
             t.Line(80, 20);
             t.Line(40, 70);
             t.Close();
         }, false, 5, CX_JOIN_MITER, CX_CAP_BUTT, 0},
        {"stroked circle", [](Twin &t) { t.Arc(50, 50, 35, 35, 0, 360); }, false, 4, CX_JOIN_ROUND, CX_CAP_BUTT, 0},
        // Long outlines go to the scanline filler, under either rule.
        {"long zigzag stroke", [](Twin &t) {
             t.Move(4, 60);
             for (int i = 1; i <= 200; ++i) t.Line(4 + i * 1.7, 60 + 50 * std::sin(i * 0.7));
         }, false, 3, CX_JOIN_ROUND, CX_CAP_BUTT, 0},
        {"long zigzag fill", [](Twin &t) {
             t.Move(4, 60);
             for (int i = 1; i <= 200; ++i) t.Line(4 + i * 1.7, 60 + 50 * std::sin(i * 0.7));
             t.Close();
         }, true, 1, 0, 0, 0},
        {"long ring even-odd", [](Twin &t) {
             // One contour round a circle twice, the second time inside
             // the first: a ring under this rule, a disc under the other.
             t.Move(100, 60);
             for (int i = 1; i <= 80; ++i) t.Line(60 + 40 * std::cos(i * M_PI / 40), 60 + 40 * std::sin(i * M_PI / 40));
             for (int i = 0; i <= 80; ++i) t.Line(60 + 20 * std::cos(i * M_PI / 40), 60 + 20 * std::sin(i * M_PI / 40));
             t.Close();
         }, true, 1, 0, 0, CX_FILLRULE_EVENODD},
        {"long zigzag wide round", [](Twin &t) {
             t.Move(4, 60);
             for (int i = 1; i <= 150; ++i) t.Line(4 + i * 2.3, 60 + 40 * std::sin(i * 0.9));
         }, false, 11, CX_JOIN_ROUND, CX_CAP_ROUND, 0},
        {"hairline", [](Twin &t) {
             t.Move(2.5, 2.5);
             t.Line(60.5, 30.5);
         }, false, 1, CX_JOIN_MITER, CX_CAP_BUTT, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Twin t;
        c.build(t);
        const cxPathStyle s = Style(true, c.join, c.cap, c.rule);
        Drawn d;
        ASSERT_TRUE(Draw(t.path, s, c.fill, c.width, d));
        const Compared r = CompareWithCairo(t, d, s, c.fill, c.width);
        EXPECT_LT(r.meanDiff, 2.0);
        EXPECT_EQ(r.outside, 0);
        RecordProperty(c.name, std::to_string(r.meanDiff));
        // Every byte is written: what the buffer held before does not show.
        std::vector<uint8_t> zero(d.cov.size(), 0);
        ASSERT_NE(DrawPathWithEngine(nullptr, t.path->items, &s, c.fill, c.width, nullptr, zero.data(), d.w, d.w, d.h,
                                     0, 0, 0, 0), 0);
        EXPECT_EQ(zero, d.cov);
    }
}

TEST_F(VectorEngine, DashedStrokesFollowThePatternAndBadPatternsDrawSolid) {
    Twin t;
    t.Move(10, 20);
    t.Line(190, 20);
    t.Line(190, 90);
    cxPathStyle s = Style(true);
    double dashes[] = {12, 6, 3, 6};
    s.dashes = dashes;
    s.dashCount = 4;
    s.dashOffset = 5;
    Drawn d;
    ASSERT_TRUE(Draw(t.path, s, false, 4, d));
    const Compared r = CompareWithCairo(t, d, s, false, 4);
    EXPECT_LT(r.meanDiff, 3.0);
    EXPECT_EQ(r.outside, 0);

    Drawn solid;
    cxPathStyle plain = Style(true);
    ASSERT_TRUE(Draw(t.path, plain, false, 4, solid));
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::vector<std::vector<double>> bad = {{0, 0}, {5, -1}, {nan, 3}, {inf, 2}, {1e308, 1e308}};
    for (const auto &pattern : bad) {
        cxPathStyle b = Style(true);
        std::vector<double> copy = pattern;
        b.dashes = copy.data();
        b.dashCount = uint32_t(copy.size());
        Drawn out;
        ASSERT_TRUE(Draw(t.path, b, false, 4, out));
        EXPECT_EQ(out.cov, solid.cov);
    }
    // So fine a pattern would make millions of pieces: solid too, at once.
    cxPathStyle fine = Style(true);
    double tiny[] = {1e-9, 1e-9};
    fine.dashes = tiny;
    fine.dashCount = 2;
    Drawn out;
    ASSERT_TRUE(Draw(t.path, fine, false, 4, out));
    EXPECT_EQ(out.cov, solid.cov);
}

TEST_F(VectorEngine, BoxWithoutAntiAliasSetsExactlyItsPixels) {
    Twin t;
    t.Box(10, 10, 20, 20);
    Drawn d;
    ASSERT_TRUE(Draw(t.path, Style(false), true, 1, d));
    EXPECT_EQ(d.w, 20);
    EXPECT_EQ(d.h, 20);
    int set = 0, other = 0;
    for (uint8_t v : d.cov) (v == 255 ? set : v == 0 ? other : other += 1000)++;
    EXPECT_EQ(set, 400);
    EXPECT_EQ(other, 0);

    // A circle without anti-alias: only full and empty pixels.
    Twin c;
    c.Arc(30, 30, 17.3, 11.1, 0, 360);
    ASSERT_TRUE(Draw(c.path, Style(false), true, 1, d));
    for (uint8_t v : d.cov) ASSERT_TRUE(v == 0 || v == 255);
}

TEST_F(VectorEngine, EllipseAndCircleGeometry) {
    Twin t;
    t.Arc(100, 100, 50, 25, 0, 360);
    const cxPathStyle s = Style(true);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetPathExtentsOf(nullptr, t.path->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_NEAR(y1, 75, 0.05);
    EXPECT_NEAR(y2, 125, 0.05);
    EXPECT_NEAR(x1, 50, 0.05);
    EXPECT_NEAR(x2, 150, 0.05);
    // Outlined with width 10: half the width on each side.
    GetPathExtentsOf(nullptr, t.path->items, &s, 0, 10, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_NEAR(y1, 70, 0.1);
    EXPECT_NEAR(x2, 155, 0.1);
    // The current point after a full clockwise circle is back at its start.
    double cx = -1, cy = -1;
    GetPathCurrentPoint(nullptr, t.path->items, &s, &cx, &cy);
    EXPECT_NEAR(cx, 150, 1e-6);
    EXPECT_NEAR(cy, 100, 1e-6);
    // A rotation through the matrix measures the turned shape.
    const double quarter[4] = {0, 1, -1, 0};
    GetPathExtentsOf(nullptr, t.path->items, &s, 1, 1, quarter, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_NEAR(x2 - x1, 50, 0.1);
    EXPECT_NEAR(y2 - y1, 100, 0.1);
}

TEST_F(VectorEngine, LineToWithoutMoveToAndSubPathsWithoutItems) {
    // A lone LineTo begins its sub-path at its own end: nothing to draw.
    Twin t;
    t.Line(40, 40);
    const cxPathStyle s = Style(true);
    double x1 = 11, y1 = 12, x2 = 13, y2 = 14;
    GetPathExtentsOf(nullptr, t.path->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_EQ(x1, 11);
    EXPECT_EQ(y2, 14);
    std::vector<uint8_t> buf(16 * 16, 9);
    EXPECT_EQ(DrawPathWithEngine(nullptr, t.path->items, &s, 1, 1, nullptr, buf.data(), 16, 16, 16, 0, 0, 0, 0), 0);
}

TEST_F(VectorEngine, HugeAndNonFiniteInputIsRefusedQuickly) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const cxPathStyle s = Style(true);
    struct Bad {
        const char *name;
        std::function<void(Twin &)> build;
    };
    const Bad cases[] = {
        {"huge line", [](Twin &t) { t.Move(0, 0); t.Line(1e9, 10); t.Line(0, 10); }},
        {"nan point", [&](Twin &t) { t.Move(0, 0); t.Line(nan, 10); t.Line(0, 10); }},
        {"inf radius", [&](Twin &t) { t.Arc(10, 10, inf, 5, 0, 360); }},
        {"nan angle", [&](Twin &t) { t.Arc(10, 10, 5, 5, nan, 360); }},
        {"inf angle", [&](Twin &t) { t.Arc(10, 10, 5, 5, 0, inf); }},
        {"huge box", [](Twin &t) { t.Box(0, 0, 1e12, 10); }},
    };
    for (const Bad &c : cases) {
        SCOPED_TRACE(c.name);
        Twin t;
        c.build(t);
        double x1 = 1, y1 = 2, x2 = 3, y2 = 4;
        GetPathExtentsOf(nullptr, t.path->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
        EXPECT_EQ(x1, 1);
        EXPECT_EQ(y1, 2);
        EXPECT_EQ(x2, 3);
        EXPECT_EQ(y2, 4);
        std::vector<uint8_t> buf(32 * 32);
        EXPECT_EQ(DrawPathWithEngine(nullptr, t.path->items, &s, 1, 1, nullptr, buf.data(), 32, 32, 32, 0, 0, 0, 0), 0);
    }
    // Enormous finite angles are brought within a turn, not looped on.
    Twin t;
    t.Arc(50, 50, 20, 20, -1e300, 1e300);
    const auto start = std::chrono::steady_clock::now();
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetPathExtentsOf(nullptr, t.path->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LE(x2 - x1, 40.01);
    // A matrix beyond 16.16 is refused too.
    Twin b;
    b.Box(0, 0, 10, 10);
    const double big[4] = {1e6, 0, 0, 1};
    x1 = 5;
    GetPathExtentsOf(nullptr, b.path->items, &s, 1, 1, big, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_EQ(x1, 5);
}

TEST_F(VectorEngine, TranslateMovesAbsoluteItemsOnly) {
    Twin t;
    t.Move(1, 2);
    const cxPathArg rel[] = {I(1), D(5), D(6)};
    AppendPathItem(t.path, CX_PATH_LINETO, 3, rel);
    t.Arc(10, 20, 3, 3, 0, 90);
    t.Box(7, 8, 2, 2);
    TranslatePathItems(nullptr, t.path->items, 100, 200);
    const uint8_t *p = t.path->items;
    EXPECT_EQ(PathDouble(p + 8), 101);
    EXPECT_EQ(PathDouble(p + 16), 202);
    p += 24;
    EXPECT_EQ(PathDouble(p + 8), 5); // relative: untouched
    EXPECT_EQ(PathDouble(p + 16), 6);
    p += 24;
    EXPECT_EQ(PathDouble(p + 4), 110);
    EXPECT_EQ(PathDouble(p + 12), 220);
    p += 56;
    EXPECT_EQ(PathDouble(p + 4), 107);
    EXPECT_EQ(PathDouble(p + 12), 208);
}

// Sub-paths that stay on one point: a butt-capped one draws nothing,
// round and square caps draw a dot of the line's width, and nothing of
// this kind reaches the stroker (which crashed on it), dashed or not. A
// lone MoveTo has no segment at all and draws nothing with any cap.
TEST_F(VectorEngine, ZeroLengthSubPathsDrawDotsOrNothing) {
    struct Degenerate {
        const char *name;
        std::function<void(Twin &)> build;
        bool dot = true;
    };
    const cxPathArg relZero[] = {I(1), D(0), D(0)};
    const Degenerate cases[] = {
        {"line to itself", [](Twin &t) { t.Move(50, 50); t.Line(50, 50); }},
        {"relative zero line", [&](Twin &t) { t.Move(50, 50); AppendPathItem(t.path, CX_PATH_LINETO, 3, relZero); }},
        {"curve of equal points", [](Twin &t) { t.Move(50, 50); t.Curve(50, 50, 50, 50, 50, 50); }},
        {"curve within a unit", [](Twin &t) { t.Move(50, 50); t.Curve(50.02, 50, 50, 50.02, 50, 50); }},
        {"closed", [](Twin &t) { t.Move(50, 50); t.Line(50, 50); t.Close(); }},
        {"many repeats", [](Twin &t) { t.Move(50, 50); for (int i = 0; i < 40; ++i) t.Line(50.001, 50); }},
        {"arc radius 0", [](Twin &t) { t.Arc(50, 50, 0, 0, 0, 360); }},
        {"box of no size", [](Twin &t) { t.Box(50, 50, 0, 0); }},
        {"closed move only", [](Twin &t) { t.Move(50, 50); t.Close(); }, false},
    };
    double dashes[] = {4, 2};
    for (const Degenerate &c : cases)
        for (uint32_t cap : {CX_CAP_BUTT, CX_CAP_ROUND, CX_CAP_SQUARE})
            for (bool dashed : {false, true})
                for (uint32_t join : {CX_JOIN_MITER, CX_JOIN_ROUND, CX_JOIN_BEVEL}) {
                    SCOPED_TRACE(std::string(c.name) + " cap " + std::to_string(cap) + (dashed ? " dashed" : "") +
                                 " join " + std::to_string(join));
                    Twin t;
                    c.build(t);
                    cxPathStyle s = Style(true, join, cap);
                    if (dashed) {
                        s.dashes = dashes;
                        s.dashCount = 2;
                    }
                    double x1 = -1, y1 = -1, x2 = -1, y2 = -1;
                    GetPathExtentsOf(nullptr, t.path->items, &s, 0, 10, nullptr, &x1, &y1, &x2, &y2, 0, 0);
                    Drawn d;
                    const bool drawn = Draw(t.path, s, false, 10, d);
                    if (cap == CX_CAP_BUTT || !c.dot) {
                        EXPECT_EQ(x1, -1); // nothing to measure
                        EXPECT_FALSE(drawn);
                        continue;
                    }
                    // A dot 10 pixels across about (50, 50).
                    EXPECT_NEAR(x1, 45, 0.6);
                    EXPECT_NEAR(y1, 45, 0.6);
                    EXPECT_NEAR(x2, 55, 0.6);
                    EXPECT_NEAR(y2, 55, 0.6);
                    ASSERT_TRUE(drawn);
                    int covered = 0;
                    for (uint8_t v : d.cov) covered += v > 127;
                    const double area = cap == CX_CAP_ROUND ? M_PI * 25 : 100;
                    EXPECT_NEAR(covered, area, area * 0.15);
                }
}

// A zero-length segment among normal ones: the rest draws as without it.
TEST_F(VectorEngine, ZeroLengthSegmentsAmongOthersChangeNothing) {
    for (uint32_t cap : {CX_CAP_BUTT, CX_CAP_ROUND}) {
        SCOPED_TRACE(cap);
        const cxPathStyle s = Style(true, CX_JOIN_ROUND, cap);
        Twin plain, repeated;
        for (Twin *t : {&plain, &repeated}) {
            t->Move(10, 10);
            for (int i = 1; i <= 5000; ++i) {
                t->Line(10 + (i % 97) * 0.9, 10 + (i % 89) * 0.8);
                if (t == &repeated && i == 2500) t->Line(10 + (i % 97) * 0.9, 10 + (i % 89) * 0.8);
            }
        }
        Drawn a, b;
        ASSERT_TRUE(Draw(plain.path, s, false, 3, a));
        ASSERT_TRUE(Draw(repeated.path, s, false, 3, b));
        EXPECT_EQ(a.cov, b.cov);
        // A zero-length sub-path after a normal one: the normal one alone,
        // plus a dot where caps are round.
        Twin line, withDot;
        for (Twin *t : {&line, &withDot}) {
            t->Move(10, 10);
            t->Line(60, 10);
        }
        withDot.Move(30, 40);
        withDot.Line(30, 40);
        Drawn l, w;
        ASSERT_TRUE(Draw(line.path, s, false, 6, l));
        ASSERT_TRUE(Draw(withDot.path, s, false, 6, w));
        if (cap == CX_CAP_BUTT) {
            EXPECT_EQ(l.cov, w.cov);
        } else {
            EXPECT_GT(w.h, l.h + 25);
            EXPECT_GT(w.cov[size_t(40 - w.oy) * w.w + size_t(30 - w.ox)], 200);
        }
    }
}

FT_Face g_face = nullptr;
void *ResolveFace(uint32_t key, const cxPlugin *) { return key == 7 ? g_face : nullptr; }

TEST_F(VectorEngine, GlyphOutlinesOfDejaVuHaveExtentsAndFill) {
    FT_Library lib = GetVectorFreeTypeLibrary();
    ASSERT_NE(lib, nullptr);
    if (FT_New_Face(lib, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &g_face))
        GTEST_SKIP() << "DejaVu Sans is not installed";
    SetVectorFontResolver(ResolveFace);
    cxPath *p = NewPath(2, 0);
    const cxPathArg move[] = {I(0), D(10), D(40)};
    AppendPathItem(p, CX_PATH_MOVETO, 3, move);
    cxPathArg text[3] = {{CX_PATHARG_HANDLE, 0, 0, nullptr, 7}, I(32), {CX_PATHARG_STRING, 0, 0, "Hg\xC3\xA9", 0}};
    AppendPathItem(p, CX_PATH_TEXT, 3, text);
    const cxPathStyle s = Style(true);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetPathExtentsOf(nullptr, p->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_GT(x2 - x1, 40);
    EXPECT_GT(y2 - y1, 20);
    EXPECT_LT(y1, 40); // capitals rise above the baseline
    EXPECT_GT(y2, 40); // the g descends below it
    // The current point moved by the advances.
    double cx = 0, cy = 0;
    GetPathCurrentPoint(nullptr, p->items, &s, &cx, &cy);
    EXPECT_GT(cx, 50);
    EXPECT_EQ(cy, 40);
    // Outlined glyphs too.
    Drawn d;
    ASSERT_TRUE(Draw(p, s, false, 2, d));
    int covered = 0;
    for (uint8_t v : d.cov) covered += v > 128;
    EXPECT_GT(covered, 100);
    // The face's own size is left as it was.
    FT_Set_Pixel_Sizes(g_face, 0, 11);
    GetPathExtentsOf(nullptr, p->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_EQ(g_face->size->metrics.y_ppem, 11);
    // An unknown key draws no text.
    uint8_t *keyWord = p->items + 24 + 4;
    const uint32_t none = 99;
    memcpy(keyWord, &none, 4);
    x1 = -5;
    GetPathExtentsOf(nullptr, p->items, &s, 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    EXPECT_EQ(x1, -5);
    FT_Done_Face(g_face);
    g_face = nullptr;
}

} // namespace

namespace {

// Paths of random items with hostile numbers and styles: every one is
// measured and drawn within its box, or refused, and nothing is read or
// written out of bounds (the sanitizer builds check that).
TEST_F(VectorEngine, RandomHostilePathsStayInBounds) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double values[] = {0, 1.5, -3, 17.25, 64, -1e9, 1e300, nan, inf, -inf, 4194304, 5e6, 1e-300, 250};
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto value = [&] { return values[next() % (sizeof values / sizeof values[0])]; };
    for (int round = 0; round < 400; ++round) {
        cxPath *p = NewPath(9, 0);
        const int items = 1 + int(next() % 8);
        for (int i = 0; i < items; ++i) {
            switch (next() % 7) {
            case 0: {
                const cxPathArg a[] = {I(int32_t(next() % 2)), D(value()), D(value())};
                AppendPathItem(p, CX_PATH_MOVETO, 3, a);
                break;
            }
            case 1: {
                const cxPathArg a[] = {I(int32_t(next() % 2)), D(value()), D(value())};
                AppendPathItem(p, CX_PATH_LINETO, 3, a);
                break;
            }
            case 2: {
                const cxPathArg a[] = {I(int32_t(next() % 2)), D(value()), D(value()), D(value()),
                                       D(value()), D(value()), D(value())};
                AppendPathItem(p, CX_PATH_CURVETO, 7, a);
                break;
            }
            case 3: AppendPathItem(p, CX_PATH_CLOSEPATH, 0, nullptr); break;
            case 4: {
                const cxPathArg a[] = {D(value()), D(value()), D(value()), D(value()), D(value()), D(value()),
                                       I(int32_t(next() % 3) - 1)};
                AppendPathItem(p, CX_PATH_ARC, 7, a);
                break;
            }
            case 5: {
                const cxPathArg a[] = {D(value()), D(value()), D(value()), D(value()), I(int32_t(next() % 300) - 100),
                                       I(50), I(-7), I(100)};
                AppendPathItem(p, CX_PATH_BOX, 8, a);
                break;
            }
            default: AppendPathItem(p, CX_PATH_NEWSUBPATH, 0, nullptr); break;
            }
        }
        cxPathStyle s = Style(next() % 2, next() % 4, next() % 4, next() % 3);
        s.miterLimit = value();
        double dashes[3] = {value(), value(), value()};
        if (next() % 2) {
            s.dashes = dashes;
            s.dashCount = 1 + next() % 3;
            s.dashOffset = value();
        }
        const int fill = int(next() % 2);
        const int32_t width = int32_t(next() % 4) == 0 ? -5 : int32_t(next() % 40);
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        GetPathExtentsOf(nullptr, p->items, &s, fill, width, nullptr, &x1, &y1, &x2, &y2, 0, 0);
        const double w = std::ceil(x2) - std::floor(x1), h = std::ceil(y2) - std::floor(y1);
        if (w > 0 && h > 0 && w * h <= 4e6) {
            std::vector<uint8_t> buf(size_t(w) * size_t(h));
            DrawPathWithEngine(nullptr, p->items, &s, fill, width, nullptr, buf.data(), int32_t(w), int32_t(w),
                               int32_t(h), 0, 0, 0, 0);
        }
        double cx = 0, cy = 0;
        GetPathCurrentPoint(nullptr, p->items, &s, &cx, &cy);
        FreePathByID(nullptr, cxObjectID{9, nullptr});
    }
}

} // namespace
