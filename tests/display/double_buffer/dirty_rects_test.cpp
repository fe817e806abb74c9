// Dirty-rectangle arrays: adding, the full mark, growth, and the merge,
// checked against a plain pairwise merge run to its fixed point.
#include "display/dirty_rects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Box = std::tuple<int32_t, int32_t, int32_t, int32_t>;

std::vector<Box> Live(const cxDirtyRects &r) {
    std::vector<Box> out;
    for (uint32_t i = 0; i < r.count; i++)
        if (r.boxes[i].x1 != CX_DIRTY_MERGED) out.emplace_back(r.boxes[i].x1, r.boxes[i].y1, r.boxes[i].x2, r.boxes[i].y2);
    std::sort(out.begin(), out.end());
    return out;
}

bool Touch(const Box &a, const Box &b) {
    return std::get<0>(a) <= std::get<2>(b) + 1 && std::get<0>(b) <= std::get<2>(a) + 1 &&
           std::get<1>(a) <= std::get<3>(b) + 1 && std::get<1>(b) <= std::get<3>(a) + 1;
}

// The obvious quadratic merge, repeated until nothing touches.
std::vector<Box> Reference(std::vector<Box> boxes) {
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < boxes.size() && !changed; i++)
            for (size_t j = i + 1; j < boxes.size(); j++)
                if (Touch(boxes[i], boxes[j])) {
                    Box &a = boxes[i];
                    const Box b = boxes[j];
                    a = {std::min(std::get<0>(a), std::get<0>(b)), std::min(std::get<1>(a), std::get<1>(b)),
                         std::max(std::get<2>(a), std::get<2>(b)), std::max(std::get<3>(a), std::get<3>(b))};
                    boxes.erase(boxes.begin() + long(j));
                    changed = true;
                    break;
                }
    }
    std::sort(boxes.begin(), boxes.end());
    return boxes;
}

class DirtyRects : public ::testing::Test {
protected:
    cxDirtyRects r{};
    void SetUp() override { ASSERT_EQ(InitDirtyRects(&r, 8), 0); }
    void TearDown() override { FreeDirtyRects(&r); }
};

TEST_F(DirtyRects, BoxesAreKeptAsInclusiveCornersAndEmptyOnesIgnored) {
    EXPECT_EQ(AddDirtyRect(&r, 10, 20, 5, 3, 0), 1);
    EXPECT_EQ(AddDirtyRect(&r, 0, 0, 0, 3, 0), 0);
    EXPECT_EQ(AddDirtyRect(&r, 0, 0, 3, -1, 0), 0);
    ASSERT_EQ(r.count, 1u);
    EXPECT_EQ(Live(r), (std::vector<Box>{{10, 20, 14, 22}}));
}

TEST_F(DirtyRects, AFullArrayDropsBoxesOrGrows) {
    for (int i = 0; i < 8; i++) EXPECT_EQ(AddDirtyRect(&r, i * 10, 0, 2, 2, 0), 1);
    EXPECT_TRUE(DirtyRectsFull(&r));
    EXPECT_EQ(AddDirtyRect(&r, 100, 0, 2, 2, 0), 0);
    EXPECT_EQ(r.count, 8u);  // still full: the reader copies everything
    EXPECT_EQ(AddDirtyRect(&r, 100, 0, 2, 2, 1), 1);
    EXPECT_EQ(r.capacity, 8u + CX_DIRTY_CAPACITY);
    EXPECT_EQ(r.count, 9u);
    EXPECT_FALSE(DirtyRectsFull(&r));
}

TEST_F(DirtyRects, MergeJoinsTouchingBoxesUntilTheyAreApart) {
    struct Case {
        const char *what;
        std::vector<Box> in, out;
    };
    const Case cases[] = {
        {"overlap", {{0, 0, 9, 9}, {5, 5, 14, 14}}, {{0, 0, 14, 14}}},
        {"side by side", {{0, 0, 9, 9}, {10, 0, 20, 9}}, {{0, 0, 20, 9}}},
        {"one pixel gap", {{0, 0, 9, 9}, {11, 0, 20, 9}}, {{0, 0, 9, 9}, {11, 0, 20, 9}}},
        {"diagonal corner", {{0, 0, 4, 4}, {5, 5, 9, 9}}, {{0, 0, 9, 9}}},
        // The union of the first two reaches the third, which neither did.
        {"chain through a union", {{0, 0, 4, 4}, {5, 5, 9, 9}, {0, 10, 3, 12}}, {{0, 0, 9, 12}}},
        {"merged marks skipped", {{0, 0, 4, 4}, {CX_DIRTY_MERGED, 0, 4, 4}}, {{0, 0, 4, 4}}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(InitDirtyRects(&r, 16), 0);
        for (const Box &b : c.in) {
            r.boxes[r.count++] = {std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<3>(b)};
        }
        MergeDirtyRects(&r);
        EXPECT_EQ(Live(r), c.out) << c.what;
    }
}

TEST_F(DirtyRects, MergeOfRandomBoxesMatchesThePairwiseMerge) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 60; round++) {
        const int n = 1 + int(rng() % 400);
        const int span = round % 2 ? 1920 : 300;  // sparse and crowded pictures
        ASSERT_EQ(InitDirtyRects(&r, uint32_t(n)), 0);
        std::vector<Box> in;
        for (int i = 0; i < n; i++) {
            const int32_t x = int32_t(rng() % span), y = int32_t(rng() % span), w = 1 + int32_t(rng() % 24),
                          h = 1 + int32_t(rng() % 24);
            AddDirtyRect(&r, x, y, w, h, 0);
            in.emplace_back(x, y, x + w - 1, y + h - 1);
        }
        MergeDirtyRects(&r);
        const std::vector<Box> got = Live(r);
        ASSERT_EQ(got, Reference(in)) << "round " << round;
        for (size_t i = 0; i < got.size(); i++)
            for (size_t j = i + 1; j < got.size(); j++) ASSERT_FALSE(Touch(got[i], got[j]));
    }
}

}  // namespace
