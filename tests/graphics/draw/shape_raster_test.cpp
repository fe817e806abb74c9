#include "graphics/draw/shape_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"

namespace {

constexpr uint32_t kBack = 0x101010, kInk = 0xFF0000;

// A colour bitmap filled with kBack, drawn into in a given style.
struct Canvas {
    int w, h;
    uint32_t format;
    cxBitmap *bitmap;
    cxDrawTarget target;
    cxDrawStyle style = *GetDrawStyle();
    Canvas(int width, int height, uint32_t fmt = 10) : w(width), h(height), format(fmt) {
        const uint32_t saved = OsGetPixelFormat();
        OsSetPixelFormat(format);
        bitmap = AllocBitmap(w, h, 0, 0);
        OsSetPixelFormat(saved);
        target = {bitmap, nullptr, nullptr, w, h, 255, 0};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Put(x, y, kBack);
        style.fillStyle = CX_FILLCOLOR;
        style.formStyle = CX_FORM_NORMAL;
    }
    ~Canvas() { FreeBitmap(bitmap); }
    void Put(int x, int y, uint32_t rgb) {
        cxOsBitmapLock l;
        LockBitmap(bitmap, 0, &l);
        StorePixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat,
                        ColorToPixel(rgb, l.pixelFormat, 0));
        UnlockBitmap(&l);
    }
    uint32_t At(int x, int y) { return uint32_t(ReadTargetPixel(&target, x, y)); }
    int Draw(const cxShape &s, uint32_t colour = kInk, cxDrawRect *changed = nullptr) {
        return RenderShape(&target, &s, &style, colour, changed);
    }
    int Count(uint32_t rgb) {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) n += At(x, y) == rgb;
        return n;
    }
};

cxShape Box(double x, double y, double w, double h) {
    cxShape s{};
    s.kind = CX_SHAPE_BOX;
    s.x = x;
    s.y = y;
    s.width = w;
    s.height = h;
    return s;
}

cxShape Circle(double x, double y, double r) {
    cxShape s{};
    s.kind = CX_SHAPE_CIRCLE;
    s.x = x;
    s.y = y;
    s.width = r;
    return s;
}

TEST(ShapeRaster, FilledBoxesCoverExactlyTheirPixels) {
    Canvas c(20, 12);
    cxDrawRect changed;
    ASSERT_EQ(c.Draw(Box(3, 2, 5, 4), kInk, &changed), 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(c.At(x, y), (x >= 3 && x < 8 && y >= 2 && y < 6) ? kInk : kBack) << x << "," << y;
    EXPECT_LE(changed.x, 3);
    EXPECT_GE(changed.x + changed.width, 8);

    // Outlines leave the inside alone; the line width thickens them.
    Canvas o(20, 20);
    o.style.fillStyle = CX_FILLNONE;
    ASSERT_EQ(o.Draw(Box(2, 2, 10, 10)), 0);
    EXPECT_EQ(o.At(2, 2), kInk);
    EXPECT_EQ(o.At(11, 7), kInk);
    EXPECT_EQ(o.At(7, 7), kBack);
    EXPECT_EQ(o.At(3, 7), kBack);
    o.style.lineWidth = 3;
    ASSERT_EQ(o.Draw(Box(2, 2, 10, 10), 0x00FF00), 0);
    EXPECT_EQ(o.At(3, 7), 0x00FF00u);
    EXPECT_EQ(o.At(7, 7), kBack);
}

TEST(ShapeRaster, CirclesAndAntiAliasing) {
    Canvas c(64, 64);
    ASSERT_EQ(c.Draw(Circle(32, 32, 20)), 0);
    EXPECT_EQ(c.At(32, 32), kInk);
    EXPECT_EQ(c.At(32, 13), kInk); // inside the top
    EXPECT_EQ(c.At(32, 10), kBack);
    EXPECT_EQ(c.At(47, 47), kBack); // outside the diagonal
    const int hard = c.Count(kInk);
    EXPECT_NEAR(hard, M_PI * 20 * 20, 2 * M_PI * 20);
    EXPECT_EQ(c.Count(kInk) + c.Count(kBack), 64 * 64); // no pixel in between

    Canvas aa(64, 64);
    aa.style.formStyle = CX_FORM_ANTIALIAS;
    ASSERT_EQ(aa.Draw(Circle(32, 32, 20)), 0);
    const int mixed = 64 * 64 - aa.Count(kInk) - aa.Count(kBack);
    EXPECT_GT(mixed, 40); // a soft rim
    EXPECT_EQ(aa.At(32, 32), kInk);
}

TEST(ShapeRaster, ShadowAndEdgeAreDrawnUnderTheShape) {
    Canvas c(40, 40);
    c.style.formStyle = CX_FORM_SHADOW | CX_FORM_EDGE;
    c.style.shadowSize = 4;
    c.style.shadowDir = 3; // south-east
    c.style.shadowColor = 0x0000FF;
    c.style.borderSize = 2;
    c.style.borderColor = 0x00FF00;
    ASSERT_EQ(c.Draw(Box(10, 10, 10, 10)), 0);
    EXPECT_EQ(c.At(15, 15), kInk);
    EXPECT_EQ(c.At(9, 15), 0x00FF00u);  // the edge outside the left side
    EXPECT_EQ(c.At(15, 8), 0x00FF00u);  // and above the top
    EXPECT_EQ(c.At(24, 24), 0x0000FFu); // the shadow beyond the bottom right
    EXPECT_EQ(c.At(5, 5), kBack);
    EXPECT_EQ(c.At(6, 24), kBack); // nothing to the south-west
}

TEST(ShapeRaster, LinesArcsPolygonsAndPoints) {
    Canvas c(40, 40);
    cxShape line{};
    line.kind = CX_SHAPE_LINE;
    line.x = 2;
    line.y = 5;
    line.x2 = 30;
    line.y2 = 5;
    ASSERT_EQ(c.Draw(line), 0); // fill style does not matter for lines
    EXPECT_EQ(c.At(2, 5), kInk);
    EXPECT_EQ(c.At(30, 5), kInk);
    EXPECT_EQ(c.At(16, 6), kBack);
    line.y = line.y2 = 20;
    line.thickness = 5;
    ASSERT_EQ(c.Draw(line), 0);
    EXPECT_EQ(c.At(16, 18), kInk);
    EXPECT_EQ(c.At(16, 22), kInk);
    EXPECT_EQ(c.At(16, 24), kBack);

    // A filled quarter arc is a pie slice: south-east of the centre only.
    Canvas a(40, 40);
    cxShape arc{};
    arc.kind = CX_SHAPE_ARC;
    arc.x = arc.y = 20;
    arc.width = arc.height = 15;
    arc.startAngle = 0;
    arc.endAngle = 90;
    arc.clockwise = 1;
    ASSERT_EQ(a.Draw(arc), 0);
    EXPECT_EQ(a.At(26, 26), kInk);
    EXPECT_EQ(a.At(14, 26), kBack);
    EXPECT_EQ(a.At(26, 14), kBack);
    arc.clockwise = 0; // the other way round: the other three quarters
    ASSERT_EQ(a.Draw(arc, 0x00FF00), 0);
    EXPECT_EQ(a.At(14, 14), 0x00FF00u);
    EXPECT_EQ(a.At(26, 26), kInk);

    Canvas p(40, 40);
    const double tri[] = {0, 0, 20, 0, 0, 20};
    cxShape poly{};
    poly.kind = CX_SHAPE_POLYGON;
    poly.x = 5;
    poly.y = 5;
    poly.points = tri;
    poly.pointCount = 3;
    ASSERT_EQ(p.Draw(poly), 0);
    EXPECT_EQ(p.At(8, 8), kInk);
    EXPECT_EQ(p.At(22, 22), kBack);
    poly.pointCount = 1;
    EXPECT_EQ(p.Draw(poly), ERR_WRONGUSAGE);

    cxShape dot{};
    dot.kind = CX_SHAPE_PLOT;
    dot.x = 39;
    dot.y = 39;
    ASSERT_EQ(p.Draw(dot), 0);
    EXPECT_EQ(p.At(39, 39), kInk);
    EXPECT_EQ(p.At(38, 39), kBack);
}

TEST(ShapeRaster, ShapesOutsideAndBadNumbersDrawNothingOutOfBounds) {
    Canvas c(16, 16);
    c.style.formStyle = CX_FORM_ANTIALIAS | CX_FORM_SHADOW | CX_FORM_EDGE;
    cxDrawRect changed;
    struct Case {
        cxShape shape;
        int result;
    };
    cxShape huge = Circle(8, 8, 1e5);
    cxShape nan = Circle(NAN, 8, 3);
    cxShape far = Circle(1e7, 8, 3);
    cxShape negative = Circle(8, 8, -1);
    const Case cases[] = {
        {Box(-100, -100, 50, 50), 0}, {Box(10, 10, 1e5, 1e5), 0}, {Box(3, 3, -4, 5), 0}, {huge, 0},
        {nan, ERR_WRONGUSAGE},        {far, ERR_WRONGUSAGE},      {negative, ERR_WRONGUSAGE},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(c.Draw(k.shape, kInk, &changed), k.result);
        if (&k == cases) {
            EXPECT_EQ(c.At(0, 0), kBack); // the first box ends left of and above the canvas
        }
        EXPECT_GE(changed.x, 0);
        EXPECT_GE(changed.y, 0);
        EXPECT_LE(changed.x + changed.width, 16);
        EXPECT_LE(changed.y + changed.height, 16);
    }
    EXPECT_EQ(c.At(0, 0), kInk); // the huge circle covers everything
}

TEST(ShapeRaster, GradientFillsRunAcrossTheShape) {
    for (uint32_t format : {10u, 4u}) {
        Canvas c(20, 20, format);
        c.style.fillStyle = CX_FILLGRADIENT;
        c.style.gradient = {2, 0xFF0000, 0x0000FF, 0, nullptr};
        ASSERT_EQ(c.Draw(Box(2, 2, 10, 16)), 0);
        const uint32_t top = c.At(5, 2), bottom = c.At(5, 17);
        EXPECT_GE(top >> 16, 0xC0u) << format; // red at the top
        EXPECT_LE(top & 0xFF, 0x40u);
        EXPECT_GE(bottom & 0xFF, 0xC0u); // nearly blue at the bottom
        EXPECT_LE(bottom >> 16, 0x40u);
        EXPECT_EQ(c.At(5, 2), c.At(11, 2)); // one colour per row
        EXPECT_EQ(c.At(5, 19), kBack); // below the box
    }
}

TEST(ShapeRaster, AlphaChannelsMasksAndOtherFormats) {
    Canvas c(20, 20, 4);
    cxBitmap *alpha = AllocAlphaChannel(20, 20, 1, nullptr, 0);
    cxBitmap *mask = AllocMask(nullptr, 20, 20, 1, nullptr, 0);
    c.target.alpha = alpha;
    c.target.mask = mask;
    c.target.alphaLevel = 200;
    c.target.maskMode = 0;
    ASSERT_EQ(c.Draw(Box(4, 4, 6, 6)), 0);
    EXPECT_EQ(c.At(5, 5), 0xF80000u); // red in RGB 565
    const uint8_t *a = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS));
    const uint32_t arow = uint32_t(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_BYTESPERROW));
    EXPECT_EQ(a[5 * arow + 5], 200);
    EXPECT_EQ(a[5 * arow + 12], 0);
    const uint8_t *m = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(mask, CX_BMATTR_MASK_PIXELS));
    const uint32_t mrow = uint32_t(QueryBitmapAttribute(mask, CX_BMATTR_MASK_BYTESPERROW));
    EXPECT_EQ(m[5 * mrow], 0x0F);     // pixels 4-7 of row 5
    EXPECT_EQ(m[5 * mrow + 1], 0xC0); // pixels 8-9
    // Only a mask: no colour bitmap to draw into.
    c.target.colour = nullptr;
    c.target.maskMode = 1; // clear
    ASSERT_EQ(c.Draw(Box(4, 5, 2, 1)), 0);
    EXPECT_EQ(m[5 * mrow], 0x03);
    FreeAlphaChannel(alpha);
    FreeMask(mask);
}

} // namespace

// A filled shape is grown by half a pixel; every pixel that the grown shape
// covers whole must be drawn in full, never left partly blended near the edge.
TEST(ShapeRaster, GrownFillsDrawWholePixelsInFull) {
    Canvas c(64, 64);
    c.style.formStyle = CX_FORM_ANTIALIAS;
    const double cx = 31.3, cy = 30.6, r = 20.25;
    ASSERT_EQ(c.Draw(Circle(cx, cy, r)), 0);
    int inside = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const double fx = std::fabs(x - cx) + 0.5, fy = std::fabs(y - cy) + 0.5; // farthest corner
            if (std::hypot(fx, fy) <= r + 0.5 - 0.15) {
                ASSERT_EQ(c.At(x, y), kInk) << x << "," << y;
                ++inside;
            }
            if (std::hypot(std::fabs(x - cx) - 0.5, std::fabs(y - cy) - 0.5) >= r + 0.5 + 0.15)
                ASSERT_EQ(c.At(x, y), kBack) << x << "," << y;
        }
    EXPECT_GT(inside, 1000);

    // A concave polygon, and one crossing itself whose middle stays out by
    // the even-odd rule.
    Canvas p(64, 64);
    p.style.formStyle = CX_FORM_ANTIALIAS;
    const double arrow[] = {10, 10, 50, 10, 30.4, 30.4, 50, 50, 10, 50};
    cxShape s{};
    s.kind = CX_SHAPE_POLYGON;
    s.points = arrow;
    s.pointCount = 5;
    ASSERT_EQ(p.Draw(s), 0);
    for (int x = 11; x < 50; ++x) EXPECT_EQ(p.At(x, 10), kInk) << x; // the top edge's pixels, whole (corners are round)
    for (int y = 11; y < 50; ++y) EXPECT_EQ(p.At(10, y), kInk) << y;
    EXPECT_EQ(p.At(9, 30), kBack);
    EXPECT_EQ(p.At(45, 30), kBack); // in the notch
    EXPECT_EQ(p.At(30, 31), kInk);  // just inside the notch's corner

    Canvas star(64, 64);
    star.style.formStyle = CX_FORM_ANTIALIAS;
    std::vector<double> pts;
    for (int i = 0; i < 5; ++i) {
        const double a = (i * 144 - 90) * M_PI / 180;
        pts.push_back(32 + 25 * std::cos(a));
        pts.push_back(32 + 25 * std::sin(a));
    }
    s.points = pts.data();
    ASSERT_EQ(star.Draw(s), 0);
    EXPECT_EQ(star.At(32, 33), kBack);
    EXPECT_EQ(star.At(32, 12), kInk);
}
