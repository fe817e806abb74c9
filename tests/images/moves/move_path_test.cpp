// Move paths: positions per shape, the line against a Bresenham loop, and
// coordinates and speeds far beyond any picture.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "images/moves/move_path.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

Points Path(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t shape, int32_t speed, int32_t room = 0,
           size_t limit = 100000) {
    cxMovePath p;
    InitMovePath(&p, x1, y1, x2, y2, shape, speed, room);
    Points out;
    for (size_t i = 0; i < limit; ++i) {
        int32_t x = 0, y = 0;
        const int last = NextMovePosition(&p, &x, &y);
        out.emplace_back(x, y);
        if (last) break;
    }
    return out;
}

std::vector<int32_t> Xs(const Points &p) {
    std::vector<int32_t> xs;
    for (auto &q : p) xs.push_back(q.first);
    return xs;
}

// Where the direction along x turns, and the end.
std::vector<int32_t> Turns(const Points &p) {
    std::vector<int32_t> out;
    for (size_t i = 1; i + 1 < p.size(); ++i) {
        const int64_t a = p[i].first - p[i - 1].first, b = p[i + 1].first - p[i].first;
        if ((a > 0) != (b > 0)) out.push_back(p[i].first);
    }
    out.push_back(p.back().first);
    return out;
}

TEST(MovePath, StraightLinesEndOnTheEndPoint) {
    EXPECT_EQ(Path(0, 0, 30, 0, CX_MOVE_STRAIGHT, 10), (Points{{10, 0}, {20, 0}, {30, 0}}));
    EXPECT_EQ(Path(0, 0, 25, 0, CX_MOVE_STRAIGHT, 10), (Points{{10, 0}, {20, 0}, {25, 0}}));
    EXPECT_EQ(Path(30, 10, 0, 0, CX_MOVE_STRAIGHT, 10), (Points{{20, 7}, {10, 3}, {0, 0}}));
    EXPECT_EQ(Path(5, 0, 5, -40, CX_MOVE_STRAIGHT, 15), (Points{{5, -15}, {5, -30}, {5, -40}}));
    // No distance: the end point at once.
    EXPECT_EQ(Path(7, 7, 7, 7, CX_MOVE_BOUNCE, 10), (Points{{7, 7}}));
}

TEST(MovePath, TheLineIsBresenhamsInEveryDirection) {
    // The classic loop over a table, as long as the line.
    for (int32_t dx : {1, 3, 7, 10, 33}) {
        for (int32_t dy = 0; dy <= dx; ++dy) {
            int64_t e = 2 * dy - dx, y = 0;
            for (int32_t i = 0; i <= dx; ++i) {
                ASSERT_EQ(BresenhamMinor(i, dx, dy), y) << dx << "," << dy << " at " << i;
                if (e > 0) ++y, e += 2 * (dy - dx);
                else e += 2 * dy;
            }
        }
    }
    // Every octant: one pixel a step along the major axis, ending exactly.
    for (auto [ex, ey] : {std::pair{13, 5}, {5, 13}, {-13, 5}, {-5, 13}, {13, -5}, {5, -13}, {-13, -5}, {-5, -13}}) {
        Points p = Path(100, 100, 100 + ex, 100 + ey, CX_MOVE_STRAIGHT, 1);
        ASSERT_EQ(p.size(), size_t(std::max(std::abs(ex), std::abs(ey))));
        EXPECT_EQ(p.back(), (std::pair<int32_t, int32_t>{100 + ex, 100 + ey}));
        int32_t px = 100, py = 100;
        for (auto [x, y] : p) {
            EXPECT_LE(std::abs(x - px), 1);
            EXPECT_LE(std::abs(y - py), 1);
            px = x, py = y;
        }
    }
}

TEST(MovePath, BounceTurnsAtItsPointsAndEndsOnTheEnd) {
    for (int32_t s : {10, 7}) {
        Points p = Path(0, 0, 100, 50, CX_MOVE_BOUNCE, s);
        EXPECT_EQ(Turns(p), (std::vector<int32_t>{100 + 16 * s, 100 - 8 * s, 100 + 4 * s, 100 - 2 * s, 100 + s, 100}))
            << s;
        EXPECT_EQ(p.back(), (std::pair<int32_t, int32_t>{100, 50}));
        // The overshoot stays on the line.
        for (auto [x, y] : p) EXPECT_EQ(y, int32_t(BresenhamMinor(x, 100, 50))) << x;
    }
    // Mirrored for a move to the left.
    EXPECT_EQ(Turns(Path(200, 0, 100, 0, CX_MOVE_BOUNCE, 10)), (std::vector<int32_t>{-60, 180, 60, 120, 90, 100}));
}

TEST(MovePath, DampedRunsOnSlowerAndComesBack) {
    std::vector<int32_t> xs = Xs(Path(0, 0, 100, 0, CX_MOVE_DAMPED, 10));
    std::vector<int32_t> expect;
    for (int32_t x = 10; x <= 100; x += 10) expect.push_back(x);
    for (int32_t x = 108; x <= 180; x += 8) expect.push_back(x);  // a quarter less, on to the end + 8s
    for (int32_t x = 176; x >= 100; x -= 4) expect.push_back(x);  // back at half the step
    EXPECT_EQ(xs, expect);
}

TEST(MovePath, SmoothOutSlowsDownNearTheEnd) {
    for (int32_t s : {10, 15, 5}) {
        std::vector<int32_t> xs = Xs(Path(0, 0, 200, 0, CX_MOVE_SMOOTHOUT, s));
        const int32_t shrink = std::max(1, (s + 5) / 10);
        int32_t last = 0, step = s;
        for (int32_t x : xs) {
            const int32_t d = x - last;
            const int32_t want = 200 - last <= 6 * s ? std::max(1, step - shrink) : s;
            if (x == 200 && d <= want) break;  // the end may cut the last step
            EXPECT_EQ(d, want) << "speed " << s << " at " << x;
            step = d, last = x;
        }
        EXPECT_EQ(xs.back(), 200);
        EXPECT_EQ(step, 1) << s;  // it crawls the last pixels
    }
}

TEST(MovePath, WavesAndCurves) {
    Points sine = Path(0, 100, 1000, 120, CX_MOVE_SINE, 10);
    ASSERT_EQ(sine.size(), 100u);
    for (size_t k = 0; k + 1 < sine.size(); ++k) {
        EXPECT_EQ(sine[k].first, int32_t(10 * (k + 1)));
        const int i = int(k % CX_MOVE_SINE_STEPS);  // one period, then again
        EXPECT_EQ(sine[k].second, int32_t(std::trunc(100 + 50 * std::sin((i + 1) * 0.08)))) << k;
    }
    EXPECT_EQ(sine.back(), (std::pair<int32_t, int32_t>{1000, 120}));
    EXPECT_EQ(sine[79].second, sine[0].second);

    Points big = Path(300, 200, 0, 200, CX_MOVE_BIGSINE, 15, 400);
    EXPECT_EQ(big[0].first, 285);
    EXPECT_EQ(big[18].second, int32_t(std::trunc(200 + 200 * std::sin(19 * 0.08))));

    Points lower = Path(0, 100, 100, 100, CX_MOVE_LOWERCURVE, 10), upper = Path(0, 100, 100, 100, CX_MOVE_UPPERCURVE, 10);
    ASSERT_EQ(lower.size(), upper.size());
    for (size_t k = 0; k + 1 < lower.size(); ++k) {
        const int32_t d = lower[k].first;
        const int32_t rise = int32_t(std::trunc(150 * std::sin((d + 1) * M_PI / 100)));
        EXPECT_EQ(lower[k].second, 100 + rise) << d;
        EXPECT_EQ(upper[k].second, 100 - rise) << d;
    }
    EXPECT_EQ(lower[4].second, 100 + 149);  // the arc's top near the middle
    EXPECT_EQ(lower.back(), (std::pair<int32_t, int32_t>{100, 100}));
    // A vertical wave has no x to travel: it arrives at once.
    EXPECT_EQ(Path(5, 0, 5, 90, CX_MOVE_SINE, 10), (Points{{5, 90}}));
}

TEST(MovePath, HugeCoordinatesAndSpeedsAreBounded) {
    Points p = Path(0, 0, 2000000000, -2000000000, CX_MOVE_BOUNCE, 2000000000, 0, 100);
    ASSERT_LT(p.size(), 100u);
    EXPECT_EQ(p.back(), (std::pair<int32_t, int32_t>{CX_MOVE_COORD_LIMIT, -CX_MOVE_COORD_LIMIT}));
    for (auto [x, y] : p) EXPECT_EQ(x, -y);
    Points slow = Path(-2000000000, 0, 2000000000, 1, CX_MOVE_STRAIGHT, 1 << 20, 0, 100);
    EXPECT_EQ(slow.size(), size_t(2 * CX_MOVE_COORD_LIMIT / (1 << 20)));
}

}  // namespace
