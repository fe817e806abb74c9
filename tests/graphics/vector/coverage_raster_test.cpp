#include "graphics/vector/coverage_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct P {
    double x, y;
};

// Draws a closed polygon moved by (dx, dy) into a fresh w x h coverage.
std::vector<uint8_t> Fill(cxCoverageRaster &r, const std::vector<P> &poly, int w, int h, double dx, double dy,
                          bool evenOdd) {
    std::vector<uint8_t> cov(size_t(w) * h, 77);
    EXPECT_TRUE(r.Begin(w, h));
    for (size_t i = 0; i < poly.size(); ++i) {
        const P &a = poly[i], &b = poly[(i + 1) % poly.size()];
        r.Line(a.x + dx, a.y + dy, b.x + dx, b.y + dy);
    }
    r.Resolve(cov.data(), w, evenOdd, false);
    return cov;
}

std::vector<P> Star(double cx, double cy, double rad) {
    std::vector<P> p;
    for (int i = 0; i < 5; ++i) {
        const double a = (i * 144 - 90) * M_PI / 180;
        p.push_back({cx + rad * std::cos(a), cy + rad * std::sin(a)});
    }
    return p;
}

TEST(CoverageRaster, CoverageIsTheExactAreaOfEachPixel) {
    cxCoverageRaster r;
    // A box with edges a quarter and three quarters into pixels.
    const auto cov = Fill(r, {{1.25, 1.5}, {4.75, 1.5}, {4.75, 3}, {1.25, 3}}, 6, 4, 0, 0, false);
    const int want[4][6] = {{0, 0, 0, 0, 0, 0},
                            {0, 96, 128, 128, 96, 0},
                            {0, 191, 255, 255, 191, 0},
                            {0, 0, 0, 0, 0, 0}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_NEAR(cov[y * 6 + x], want[y][x], 1) << x << "," << y;
    // A triangle's coverage sums to its area.
    const auto tri = Fill(r, {{0.3, 0.2}, {9.7, 2.1}, {4.4, 7.9}}, 10, 8, 0, 0, false);
    double sum = 0;
    for (uint8_t v : tri) sum += v / 255.0;
    const double area = std::fabs((9.7 - 0.3) * (7.9 - 0.2) - (4.4 - 0.3) * (2.1 - 0.2)) / 2;
    EXPECT_NEAR(sum, area, 0.05);
}

TEST(CoverageRaster, RulesDifferOnlyWhereTheOutlineWindsTwice) {
    cxCoverageRaster r;
    const auto nonZero = Fill(r, Star(20, 20, 18), 40, 40, 0, 0, false);
    const auto evenOdd = Fill(r, Star(20, 20, 18), 40, 40, 0, 0, true);
    EXPECT_EQ(nonZero[20 * 40 + 20], 255); // the centre winds twice
    EXPECT_EQ(evenOdd[20 * 40 + 20], 0);
    EXPECT_EQ(nonZero[6 * 40 + 20], 255); // a point winds once
    EXPECT_EQ(evenOdd[6 * 40 + 20], 255);
    // Either orientation fills the same.
    auto reversed = Star(20, 20, 18);
    std::swap(reversed[1], reversed[4]);
    std::swap(reversed[2], reversed[3]);
    EXPECT_EQ(Fill(r, reversed, 40, 40, 0, 0, false), nonZero);
}

TEST(CoverageRaster, OutlinesCutByTheBoxKeepTheirInside) {
    // The star drawn whole in a large box, against the same star moved so
    // that each side of a small box cuts it: the small box must show the
    // large one's pixels.
    cxCoverageRaster r;
    const int big = 120;
    const auto whole = Fill(r, Star(60, 60, 50), big, big, 0, 0, true);
    struct Window {
        int x, y, w, h;
    };
    const Window windows[] = {{0, 0, 40, 40},  {50, 50, 30, 20}, {90, 10, 30, 100}, {10, 100, 100, 20},
                              {30, 0, 60, 120}, {55, 55, 1, 1},   {0, 60, 120, 1}};
    for (const Window &win : windows) {
        SCOPED_TRACE(::testing::Message() << win.x << "," << win.y << " " << win.w << "x" << win.h);
        const auto part = Fill(r, Star(60, 60, 50), win.w, win.h, -win.x, -win.y, true);
        int worst = 0;
        for (int y = 0; y < win.h; ++y)
            for (int x = 0; x < win.w; ++x)
                worst = std::max(worst, std::abs(int(part[y * win.w + x]) - whole[(y + win.y) * big + x + win.x]));
        EXPECT_LE(worst, 1);
    }
    // Far outside on every side, and coordinates far beyond the box: the
    // box is either empty or wholly inside.
    EXPECT_EQ(Fill(r, Star(-500, 20, 50), 40, 40, 0, 0, false), std::vector<uint8_t>(1600, 0));
    EXPECT_EQ(Fill(r, Star(500, 20, 50), 40, 40, 0, 0, false), std::vector<uint8_t>(1600, 0));
    EXPECT_EQ(Fill(r, {{-1e6, -1e6}, {1e6, -1e6}, {1e6, 1e6}, {-1e6, 1e6}}, 40, 40, 0, 0, false),
              std::vector<uint8_t>(1600, 255));
    EXPECT_EQ(Fill(r, {{NAN, 0}, {10, 10}, {0, 10}}, 4, 4, 0, 0, false)[0], 0);
}

TEST(CoverageRaster, MergingKeepsTheLargerAndAnUnresolvedOutlineIsDropped) {
    cxCoverageRaster r;
    std::vector<uint8_t> cov(16 * 8, 0);
    ASSERT_TRUE(r.Begin(16, 8));
    for (auto [x0, x1] : {std::pair{0.0, 8.0}, std::pair{4.0, 12.0}}) {
        r.Line(x0, 0, x0, 8);
        r.Line(x1, 8, x1, 0);
        r.Resolve(cov.data(), 16, false, true);
    }
    for (int x = 0; x < 16; ++x) EXPECT_EQ(cov[3 * 16 + x], x < 12 ? 255 : 0) << x;
    // Begun again before resolving: what was added is gone.
    r.Line(0, 0, 0, 8);
    ASSERT_TRUE(r.Begin(8, 8));
    std::vector<uint8_t> fresh(64, 9);
    r.Resolve(fresh.data(), 8, false, false);
    EXPECT_EQ(fresh, std::vector<uint8_t>(64, 0));
}

} // namespace
