// A frame's boxes as disjoint rectangles: every pixel of their union
// exactly once, nothing else, rows of equal spans joined.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "layers/core/dirty_region.h"

namespace {

struct Boxes {
    std::vector<cxDirtyBox> boxes;
    Boxes &Add(int x, int y, int w, int h) {
        boxes.push_back(cxDirtyBox{x, y, x + w - 1, y + h - 1});
        return *this;
    }
};

TEST(DirtyRegion, RandomBoxesCoverTheirUnionOnceAndInOrder) {
    std::mt19937 rng(99);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    cxDirtyRegion region{};
    const int W = 200, H = 150;
    for (int round = 0; round < 300; ++round) {
        Boxes b;
        for (int n = rnd(1, 60); n > 0; --n) b.Add(rnd(-20, W), rnd(-20, H), rnd(1, 70), rnd(1, 70));
        if (rnd(0, 3) == 0) b.boxes[0].x1 = CX_DIRTY_MERGED;  // a merged box is skipped
        ASSERT_EQ(BuildDirtyRegion(&region, b.boxes.data(), uint32_t(b.boxes.size()), W, H), 0);
        std::vector<int> want(W * H, 0), got(W * H, 0);
        for (const cxDirtyBox &x : b.boxes) {
            if (x.x1 == CX_DIRTY_MERGED) continue;
            for (int py = std::max(x.y1, 0); py <= std::min(x.y2, H - 1); ++py)
                for (int px = std::max(x.x1, 0); px <= std::min(x.x2, W - 1); ++px) want[py * W + px] = 1;
        }
        for (uint32_t i = 0; i < region.count; ++i) {
            const cxRegionRect &r = region.rects[i];
            ASSERT_TRUE(r.width > 0 && r.height > 0 && r.x >= 0 && r.y >= 0 && r.x + r.width <= W && r.y + r.height <= H);
            if (i) {
                const cxRegionRect &p = region.rects[i - 1];
                ASSERT_TRUE(p.y < r.y || (p.y == r.y && p.x < r.x)) << "rectangle " << i << " out of order";
            }
            for (int py = r.y; py < r.y + r.height; ++py)
                for (int px = r.x; px < r.x + r.width; ++px) ++got[py * W + px];
        }
        ASSERT_EQ(got, want) << "round " << round;
    }
    FreeDirtyRegion(&region);
}

TEST(DirtyRegion, FewestRectanglesForCommonShapes) {
    struct Case {
        const char *what;
        Boxes boxes;
        uint32_t rects;
    } cases[] = {
        {"the same box twice", Boxes().Add(5, 5, 10, 10).Add(5, 5, 10, 10), 1},
        {"a box inside another", Boxes().Add(0, 0, 20, 20).Add(5, 5, 3, 3), 1},
        {"a box moved by a pixel", Boxes().Add(10, 10, 64, 64).Add(11, 10, 64, 64), 1},
        {"side by side, touching", Boxes().Add(0, 0, 10, 10).Add(10, 0, 10, 10), 1},
        {"one above the other, touching", Boxes().Add(0, 0, 10, 10).Add(0, 10, 10, 10), 1},
        {"apart", Boxes().Add(0, 0, 10, 10).Add(12, 0, 10, 10), 2},
        {"an L", Boxes().Add(0, 0, 10, 10).Add(0, 10, 5, 5), 2},
        {"moved diagonally", Boxes().Add(0, 0, 10, 10).Add(1, 1, 10, 10), 3},
        {"outside the area", Boxes().Add(-30, 0, 10, 10).Add(0, 200, 5, 5).Add(100, 0, 5, 5), 0},
        {"cut by the area", Boxes().Add(-5, -5, 10, 10), 1},
    };
    cxDirtyRegion region{};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(BuildDirtyRegion(&region, c.boxes.boxes.data(), uint32_t(c.boxes.boxes.size()), 100, 100), 0);
        EXPECT_EQ(region.count, c.rects);
    }
    ASSERT_EQ(BuildDirtyRegion(&region, nullptr, 0, 100, 100), 0);
    EXPECT_EQ(region.count, 0u);
    FreeDirtyRegion(&region);
}

}  // namespace
