#include "graphics/shapes/shape_spans.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "tests/graphics/support/lock_buffer.h"

namespace {

using cxtest::PixelBuffer;

// A raster that records coverage in an alpha channel and marks every
// plotted pixel in a mask.
struct Canvas {
    int32_t w, h;
    PixelBuffer colour, alpha, mask;
    cxShapeRaster r{};
    Canvas(int32_t width, int32_t height, uint32_t format = 10)
        : w(width), h(height), colour(format, width, height), alpha(CX_PIXFMT_ALPHA, width, height),
          mask(CX_PIXFMT_MASK, width, height) {
        r.pixels = colour.bytes.data();
        r.pixelFormat = format;
        r.rowLength = colour.rowLength;
        r.width = width;
        r.height = height;
        r.clipX0 = r.clipY0 = 0;
        r.clipX1 = width;
        r.clipY1 = height;
        r.colour = 0xFFFFFF;
        r.mask = mask.bytes.data();
        r.maskRowLength = mask.rowLength;
        r.maskMode = 0;
        r.lineWidth = 1;
        r.coverage = 255;
        r.opacity = 255;
    }
    void RecordCoverage() {
        r.alpha = alpha.bytes.data();
        r.alphaRowLength = alpha.rowLength;
    }
    uint8_t Cov(int x, int y) { return alpha.bytes[size_t(y) * alpha.rowLength + x]; }
    bool Hit(int x, int y) { return mask.Bit(x, y); }
};

TEST(ShapeSpans, AALineCoveragePairsSumTo255) {
    Canvas c(120, 40);
    c.RecordCoverage();
    DrawAALine(&c.r, 3, 5, 103, 19); // shallow: pairs on two rows
    for (int x = 3; x <= 103; ++x) {
        int sum = 0, rows = 0;
        for (int y = 0; y < 40; ++y)
            if (c.Hit(x, y)) sum += c.Cov(x, y), ++rows;
        EXPECT_EQ(sum, 255) << x;
        EXPECT_EQ(rows, 2) << x;
    }
    EXPECT_FALSE(c.Hit(2, 5));
    EXPECT_FALSE(c.Hit(104, 19));
    Canvas d(40, 120);
    d.RecordCoverage();
    DrawAALine(&d.r, 30, 100, 5, 2); // steep, drawn from the lower end up
    for (int y = 2; y <= 100; ++y) {
        int sum = 0;
        for (int x = 0; x < 40; ++x)
            if (d.Hit(x, y)) sum += d.Cov(x, y);
        EXPECT_EQ(sum, 255) << y;
    }
}

TEST(ShapeSpans, AALineOpacityPointAndColour) {
    Canvas c(10, 10);
    c.RecordCoverage();
    c.r.opacity = 128;
    DrawAALine(&c.r, 4, 4, 4, 4);
    EXPECT_EQ(c.Cov(4, 4), 128);
    DrawAALine(&c.r, 0, 7, 9, 7); // horizontal: f = 0, the row below at 0
    EXPECT_EQ(c.Cov(5, 7), 128);
    EXPECT_EQ(c.Cov(5, 8), 0);
    // Without an alpha channel a part coverage blends: half of white over black.
    Canvas b(4, 4);
    b.r.coverage = 128;
    PlotShapePixel(&b.r, 1, 1);
    EXPECT_EQ(b.colour.Get(1, 1), 0x7F7F7Fu); // 0 + ((255 - 0) * 128 >> 8)
    b.r.coverage = 255;
    PlotShapePixel(&b.r, 2, 2);
    EXPECT_EQ(b.colour.Get(2, 2), 0xFFFFFFu);
}

TEST(ShapeSpans, ThickLineRunsAndWidthOneDiagonal) {
    Canvas c(30, 30);
    DrawThickLine(&c.r, 2, 2, 20, 20); // width 1 at 45 degrees: one pixel per row
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) EXPECT_EQ(c.Hit(x, y), x == y && x >= 2 && x <= 20) << x << "," << y;
    Canvas t(40, 40);
    t.r.lineWidth = 5;
    DrawThickLine(&t.r, 20, 3, 20, 30); // vertical: horizontal runs of 5 centred
    for (int x = 0; x < 40; ++x) EXPECT_EQ(t.Hit(x, 10), x >= 18 && x <= 22) << x;
    EXPECT_TRUE(t.Hit(20, 30));
    EXPECT_FALSE(t.Hit(20, 31));
}

TEST(ShapeSpans, ClippedLinesPlotExactlyTheVisiblePartOfTheWholeLine) {
    // Drawing into a clip rectangle gives the same pixels as drawing into a
    // large raster and cutting the rectangle out (the emitters skip ahead to
    // the visible part instead of walking every step).
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        const int x1 = int(rng() % 900) - 300, y1 = int(rng() % 900) - 300;
        const int x2 = int(rng() % 900) - 300, y2 = int(rng() % 900) - 300;
        const int width = 1 + int(rng() % 6);
        Canvas big(1000, 1000), small(200, 200);
        big.r.lineWidth = small.r.lineWidth = width;
        small.r.clipX0 = 40, small.r.clipY0 = 25, small.r.clipX1 = 170, small.r.clipY1 = 180;
        const bool aa = round % 2;
        if (aa) {
            big.RecordCoverage();
            small.RecordCoverage();
            DrawAALine(&big.r, x1 + 400, y1 + 400, x2 + 400, y2 + 400);
            DrawAALine(&small.r, x1, y1, x2, y2);
        } else {
            DrawThickLine(&big.r, x1 + 400, y1 + 400, x2 + 400, y2 + 400);
            DrawThickLine(&small.r, x1, y1, x2, y2);
        }
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool inside = x >= 40 && x < 170 && y >= 25 && y < 180;
                ASSERT_EQ(small.Hit(x, y), inside && big.Hit(x + 400, y + 400))
                    << round << ": " << x1 << "," << y1 << " " << x2 << "," << y2 << " at " << x << "," << y;
                if (aa && inside) {
                    ASSERT_EQ(small.Cov(x, y), big.Cov(x + 400, y + 400));
                }
            }
    }
}

TEST(ShapeSpans, HostileCoordinatesAndWidthsEndQuickly) {
    Canvas c(64, 64);
    c.r.lineWidth = INT32_MAX;
    DrawThickLine(&c.r, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    DrawThickLine(&c.r, INT32_MIN, 10, INT32_MAX, 12);
    c.r.lineWidth = 1;
    DrawAALine(&c.r, INT32_MIN, INT32_MIN + 5, INT32_MAX, INT32_MAX);
    DrawAALine(&c.r, -2000000000, 30, 2000000000, 31);
    EXPECT_TRUE(c.Hit(32, 30) || c.Hit(32, 31));
    std::vector<uint8_t> cov(16, 255);
    PlotCoverage(cov.data(), INT32_MAX - 2, INT32_MIN, &c.r, 4, 4, 4, 0);
}

TEST(ShapeSpans, CoverageRectangleSolidAndScaled) {
    Canvas c(8, 8);
    c.RecordCoverage();
    const uint8_t cov[2][3] = {{0, 100, 255}, {50, 0, 10}};
    c.r.opacity = 255;
    PlotCoverage(&cov[0][0], 2, 3, &c.r, 3, 2, 3, 0);
    EXPECT_FALSE(c.Hit(2, 3));
    EXPECT_EQ(c.Cov(3, 3), 100);
    EXPECT_EQ(c.Cov(4, 3), 255);
    EXPECT_EQ(c.Cov(2, 4), 50);
    Canvas s(8, 8);
    s.RecordCoverage();
    s.r.coverage = 200;
    s.r.opacity = 128;
    PlotCoverage(&cov[0][0], 0, 0, &s.r, 3, 2, 3, 1);
    EXPECT_EQ(s.Cov(1, 0), 200 * 128 / 255);
    EXPECT_EQ(s.Cov(2, 1), 200 * 128 / 255);
    EXPECT_FALSE(s.Hit(1, 1));
}

TEST(ShapeSpans, MaskModesAndClipMask) {
    Canvas c(8, 2);
    PixelBuffer clip(CX_PIXFMT_MASK, 8, 2);
    clip.SetBit(1, 0, true), clip.SetBit(2, 0, true), clip.SetBit(3, 0, true);
    c.r.clipMask = clip.bytes.data();
    c.r.clipMaskRowLength = clip.rowLength;
    for (int x = 0; x < 8; ++x) PlotShapePixel(&c.r, x, 0);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(c.Hit(x, 0), x >= 1 && x <= 3) << x;
    c.r.maskMode = 3;
    PlotShapePixel(&c.r, 2, 0);
    EXPECT_FALSE(c.Hit(2, 0));
    c.r.maskMode = 1;
    PlotShapePixel(&c.r, 1, 0);
    EXPECT_FALSE(c.Hit(1, 0));
}

std::vector<std::vector<bool>> Polygon(std::initializer_list<int32_t> pts, int w, int h) {
    PixelBuffer m(CX_PIXFMT_MASK, w, h, 4);
    std::vector<int32_t> p(pts);
    std::vector<int32_t> crossings(p.size() / 2);
    EXPECT_EQ(FillPolygonMaskBits(m.bytes.data(), m.rowLength, w, h, crossings.data(), p.data(), int32_t(p.size() / 2)), 0);
    // Nothing lands in the padding bytes beyond the width.
    for (int y = 0; y < h; ++y)
        for (int x = w; x < m.rowLength * 8; ++x) EXPECT_FALSE(m.Bit(x, y));
    std::vector<std::vector<bool>> out(size_t(h), std::vector<bool>(size_t(w), false));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out[size_t(y)][size_t(x)] = m.Bit(x, y);
    return out;
}

TEST(ShapeSpans, PolygonRowsIncludingTheLastHorizontalEdge) {
    const auto box = Polygon({2, 1, 6, 1, 6, 4, 2, 4}, 10, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(box[size_t(y)][size_t(x)], y >= 1 && y <= 4 && x >= 2 && x <= 6) << x << "," << y;
    // A vertex exactly on a row is crossed once, not twice: the row through
    // the side vertex is one span.
    const auto tri = Polygon({5, 0, 9, 4, 1, 8}, 12, 10);
    int runs = 0;
    for (int x = 0; x < 12; ++x) runs += tri[4][size_t(x)] && (x == 0 || !tri[4][size_t(x - 1)]);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(tri[4][5]);
}

TEST(ShapeSpans, PolygonsAreClippedToTheMask) {
    const auto big = Polygon({-50, -40, 60, -40, 60, 50, -50, 50}, 12, 9);
    for (auto &row : big)
        for (bool b : row) EXPECT_TRUE(b);
    const auto far = Polygon({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX}, 16, 3);
    for (auto &row : far)
        for (bool b : row) EXPECT_TRUE(b);
    const auto gone = Polygon({100, 100, 200, 100, 150, 200}, 8, 8);
    for (auto &row : gone)
        for (bool b : row) EXPECT_FALSE(b);
}

} // namespace
