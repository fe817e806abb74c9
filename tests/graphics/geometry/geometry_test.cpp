// The placement and size helpers, one table each.
#include "graphics/geometry/geometry.h"

#include <gtest/gtest.h>

#include "errors/error_codes.h"

namespace {

TEST(Geometry, ResolveSpecialX) {
    struct Case {
        int32_t x, size, room;
        double anchor;
        int32_t expected;
    } cases[] = {
        {17, 10, 100, 0.0, 17},                            // plain coordinates stay
        {-7, 10, 100, 0.5, -7},                            // also negative ones
        {CX_SPECIAL_CENTER, 10, 100, 0.0, 45},
        {CX_SPECIAL_CENTER, 11, 100, 0.0, 44},             // odd room truncates
        {CX_SPECIAL_CENTER + 20, 10, 100, 0.0, 65},        // with an offset
        {CX_SPECIAL_CENTER - 5000, 10, 100, 0.0, 45 - 5000},
        {CX_SPECIAL_LEFT, 10, 100, 0.0, 0},
        {CX_SPECIAL_RIGHT, 10, 100, 0.0, 90},
        {CX_SPECIAL_RIGHT - 3, 10, 100, 0.0, 87},
        {CX_SPECIAL_LEFTOUT, 10, 100, 0.0, -10},
        {CX_SPECIAL_RIGHTOUT, 10, 100, 0.0, 100},
        {CX_SPECIAL_CENTER, 10, 100, 1.0, 55},             // the anchor is added back
        {CX_SPECIAL_RIGHT, 10, 100, 0.55, 95},             // truncated 5.5
        {CX_SPECIAL_TOP, 10, 100, 0.0, CX_SPECIAL_TOP},    // a y constant is not special for x
        {CX_SPECIAL_BOTTOMOUT, 10, 100, 0.0, CX_SPECIAL_BOTTOMOUT},
        {CX_SPECIAL_CENTER, 300, 100, 0.0, -100},          // larger than the room
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(ResolveSpecialX(c.x, c.size, c.room, c.anchor), c.expected);
    }
}

TEST(Geometry, ResolveSpecialY) {
    struct Case {
        int32_t y, size, room;
        double anchor;
        int32_t expected;
    } cases[] = {
        {5, 8, 60, 0.0, 5},
        {CX_SPECIAL_CENTER, 8, 60, 0.0, 26},
        {CX_SPECIAL_TOP, 8, 60, 0.0, 0},
        {CX_SPECIAL_TOP + 4999, 8, 60, 0.0, 4999},
        {CX_SPECIAL_BOTTOM, 8, 60, 0.0, 52},
        {CX_SPECIAL_TOPOUT, 8, 60, 0.0, -8},
        {CX_SPECIAL_BOTTOMOUT, 8, 60, 0.0, 60},
        {CX_SPECIAL_BOTTOM, 8, 60, 0.5, 56},
        {CX_SPECIAL_LEFT, 8, 60, 0.0, CX_SPECIAL_LEFT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.y);
        EXPECT_EQ(ResolveSpecialY(c.y, c.size, c.room, c.anchor), c.expected);
    }
    EXPECT_TRUE(IsSpecialY(CX_SPECIAL_TOP));
    EXPECT_FALSE(IsSpecialY(CX_SPECIAL_LEFT));
    EXPECT_TRUE(IsSpecialX(CX_SPECIAL_CENTER + 10));
    EXPECT_FALSE(IsSpecialX(0));
}

TEST(Geometry, ApplyKeepAspectRatio) {
    struct Case {
        int32_t srcW, srcH, w, h;
        int expected;
        int32_t outW, outH;
    } cases[] = {
        {640, 480, 320, CX_KEEPASPRAT, 0, 320, 240},
        {640, 480, CX_KEEPASPRAT, 120, 0, 160, 120},
        {3, 2, 5, CX_KEEPASPRAT, 0, 5, 3},            // 3.333 rounds down
        {2, 3, 3, CX_KEEPASPRAT, 0, 3, 5},            // 4.5 rounds up
        {100, 100, 50, 70, 0, 50, 70},                // neither kept: unchanged
        {640, 480, CX_KEEPASPRAT, CX_KEEPASPRAT, ERR_WRONGUSAGE, CX_KEEPASPRAT, CX_KEEPASPRAT},
        {640, 480, 0, 10, ERR_BADDIMENSIONS, 0, 10},
        {640, 480, 10, -1, ERR_BADDIMENSIONS, 10, -1},
        {1000, 1, CX_KEEPASPRAT, 0, ERR_BADDIMENSIONS, 0, 0},
        {1, 1000, CX_KEEPASPRAT, 1, ERR_BADDIMENSIONS, 0, 1},  // computes to 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.srcW << "x" << c.srcH << " " << c.w << "x" << c.h);
        int32_t w = c.w, h = c.h;
        EXPECT_EQ(ApplyKeepAspectRatio(c.srcW, c.srcH, &w, &h), c.expected);
        if (c.expected == 0 || c.outW != c.w) { EXPECT_EQ(w, c.outW); }
        EXPECT_EQ(h, c.outH);
    }
}

TEST(Geometry, MakeTransformMatrix) {
    struct Case {
        int32_t newW, newH, srcW, srcH;
        double sx, sy, angle;
        double m[4];
    } cases[] = {
        {0, 0, 10, 10, 1, 1, 0, {1, 0, 0, 1}},
        {20, 5, 10, 10, 1, 1, 0, {2, 0, 0, 0.5}},          // a size wins over the factors
        {0, 0, 10, 10, 3, 2, 0, {3, 0, 0, 2}},
        {0, 0, 10, 10, 1, 1, 90, {0, 1, -1, 0}},           // exact quarter turn
        {0, 0, 10, 10, 1, 1, 450, {0, 1, -1, 0}},          // 450 is 90
        {0, 0, 10, 10, 1, 1, -90, {0, -1, 1, 0}},
        {0, 0, 10, 10, 2, 1, 180, {-2, 0, 0, -1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        double m[4];
        MakeTransformMatrix(m, c.newW, c.newH, c.srcW, c.srcH, c.sx, c.sy, c.angle);
        for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(m[i], c.m[i]) << i;
    }
    double m[4];
    MakeTransformMatrix(m, 0, 0, 1, 1, 1, 1, 30);
    EXPECT_NEAR(m[0], 0.8660254, 1e-6);
    EXPECT_NEAR(m[1], 0.5, 1e-9);
    EXPECT_FALSE(IsIdentityMatrix(m));
    EXPECT_FALSE(IsPlainScaleMatrix(m));
    const double scale[4] = {2, 0, 0, 0.5}, mirror[4] = {-1, 0, 0, 1}, id[4] = {1, 0, 0, 1};
    EXPECT_TRUE(IsPlainScaleMatrix(scale));
    EXPECT_FALSE(IsPlainScaleMatrix(mirror));
    EXPECT_TRUE(IsIdentityMatrix(id));
}

TEST(Geometry, TransformedBounds) {
    struct Case {
        double m[4];
        int32_t w, h;
        int expected;
        int32_t x, y, outW, outH;
    } cases[] = {
        {{1, 0, 0, 1}, 10, 6, 0, 0, 0, 10, 6},
        {{2, 0, 0, 3}, 10, 6, 0, 0, 0, 20, 18},
        {{0, 1, -1, 0}, 10, 6, 0, 0, -10, 6, 10},          // turned up: the box lies above
        {{-1, 0, 0, 1}, 10, 6, 0, -10, 0, 10, 6},          // mirrored
        {{1, 0, 0, 1}, 0, 6, ERR_BADDIMENSIONS, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t x = 0, y = 0, w = 0, h = 0;
        EXPECT_EQ(GetTransformedBounds(c.m, c.w, c.h, &x, &y, &w, &h), c.expected);
        if (c.expected) continue;
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(w, c.outW);
        EXPECT_EQ(h, c.outH);
    }
}

}  // namespace
