// The worked examples of the families: step counts, what a step uncovers,
// speeds and parameters at their limits, and the geometry and kernels under
// the shape and distortion effects.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "graphics/blit/blit.h"
#include "graphics/effects/transition_kernels.h"
#include "graphics/shapes/polygon_clip.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_engine.h"
#include "tests/layers/transitions/fx_harness.h"

namespace {

using namespace cxfx;

FxCase Case(int effect, int w, int h, int speed = CX_SPEED_NORMAL, Mode m = Mode::Direct) {
    FxCase c;
    c.effect = effect, c.width = w, c.height = h, c.speed = speed, c.mode = m;
    return c;
}

// The pixels of the new picture a frame shows.
std::set<std::pair<int, int>> Uncovered(FxRun &run) {
    std::set<std::pair<int, int>> out;
    const std::vector<uint32_t> f = run.Frame();
    for (size_t i = 0; i < f.size(); ++i) {
        int s, x, y;
        if (Decode(f[i], &s, &x, &y) && s == 1) out.insert({x, y});
    }
    return out;
}

TEST(EffectSteps, CountsOfTheExamples) {
    struct Row {
        int effect, speed, w, h, steps;
    } rows[] = {
        {115, CX_SPEED_NORMAL, 32, 16, 26},   // CROSSFADE steps the level by 10
        {115, 0, 32, 16, 26},                 // any speed below 1 too
        {115, 500, 32, 16, 3},                // capped at 120
        {116, 300, 32, 16, 4},                // FADE at 255 a step: t = 0, 255, 510, 765
        {117, CX_SPEED_NORMAL, 32, 16, 53},   // BLEND by 10: ceil(511 / 10) + 1
        {135, CX_SPEED_SLOW, 32, 16, 100},    // WATER2 slowly lasts 100 steps
        {28, CX_SPEED_SLOW, 64, 32, 24},      // BARS slowly: one column or row a step
        {28, 100, 64, 32, 4},                 // BARS above 8: 9 a step
        {37, CX_SPEED_NORMAL, 10, 4, 11},     // VLINES: W + 1
        {132, CX_SPEED_NORMAL, 10, 4, 25},
        {133, CX_SPEED_NORMAL, 10, 4, 49},
        {138, CX_SPEED_NORMAL, 10, 4, 90},    // STRUDEL 8 degrees a step up to 720
        {139, CX_SPEED_NORMAL, 10, 4, 64},    // DISSOLVE by 4 up to 256
        {120, 10, 64, 8, 7},                  // CRUSHLEFT starts at sp: ceil(64 / 10)
        {124, 10, 8, 64, 13},                 // VFLIPCOIN walks twice the height
        {78, CX_SPEED_NORMAL, 80, 8, 40},     // PUSHLEFT: 80 / 40 = 2 a step
    };
    for (const Row &r : rows) {
        FxRun run(Case(r.effect, r.w, r.h, r.speed));
        ASSERT_EQ(run.Prepare(), 0) << r.effect;
        EXPECT_EQ(run.Steps(), r.steps) << run.Case().Describe();
    }
}

TEST(EffectSteps, FadeWalksThroughTheColour) {
    // FADE at 255 a step: old, the colour, almost the new picture, the new
    // picture.
    FxCase c = Case(116, 8, 4, 300);
    c.parameter = 0x102030;
    FxRun run(c);
    ASSERT_EQ(run.Prepare(), 0);
    int done = 0;
    ASSERT_EQ(run.Step(&done), 0);
    EXPECT_EQ(run.Frame()[0], run.OldPixels()[0]);
    ASSERT_EQ(run.Step(&done), 0);
    EXPECT_EQ(run.Frame()[5], 0x102030u);
    ASSERT_EQ(run.Step(&done), 0);
    EXPECT_NE(run.Frame()[5], run.NewPixels()[5]);
    EXPECT_FALSE(done);
    ASSERT_EQ(run.Step(&done), 0);
    EXPECT_TRUE(done);
    EXPECT_EQ(run.Frame(), run.NewPixels());
}

TEST(EffectSteps, BarsSlowlyUncoverOneColumnAStep) {
    FxRun run(Case(28, 32, 32, CX_SPEED_SLOW));
    ASSERT_EQ(run.Prepare(), 0);
    for (int step = 1; step <= 9; ++step) {
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        // step columns of each 16-column block, all rows.
        EXPECT_EQ(Uncovered(run).size(), size_t(2 * step * 32)) << step;
    }
}

TEST(EffectSteps, RectCenterWidensOnAnOddFreeSpace) {
    // 10 x 10 at 1 pixel a step: the first rectangle is 1 x 1 with a free
    // space of 9, so it grows to 2 x 2 with its corner at (4, 4).
    FxRun run(Case(38, 10, 10, CX_SPEED_SLOW));
    ASSERT_EQ(run.Prepare(), 0);
    int done = 0;
    ASSERT_EQ(run.Step(&done), 0);
    const std::set<std::pair<int, int>> want = {{4, 4}, {5, 4}, {4, 5}, {5, 5}};
    EXPECT_EQ(Uncovered(run), want);
    // A wide picture keeps its proportions: 20 x 10 at 2 a step.
    FxRun wide(Case(38, 20, 10, 2));
    ASSERT_EQ(wide.Prepare(), 0);
    ASSERT_EQ(wide.Step(&done), 0);
    ASSERT_EQ(wide.Step(&done), 0);
    // Long side 4, short trunc(1 + 4 / 2) = 3; free 16 and 7: 4 x 4 at (8, 3).
    const std::set<std::pair<int, int>> got = Uncovered(wide);
    EXPECT_EQ(got.size(), 16u);
    EXPECT_TRUE(got.count({8, 3}) && got.count({11, 6}));
}

TEST(EffectSteps, HStripesOfParameterZeroAreOnePixelHigh) {
    FxCase c = Case(0, 12, 6, 2);
    c.parameter = 0;
    FxRun run(c);
    ASSERT_EQ(run.Prepare(), 0);
    int done = 0;
    ASSERT_EQ(run.Step(&done), 0);
    // Even rows from the left, odd rows from the right, 2 pixels each.
    const std::set<std::pair<int, int>> got = Uncovered(run);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool want = (y % 2 == 0) ? x < 2 : x >= 10;
            EXPECT_EQ(got.count({x, y}) == 1, want) << x << "," << y;
        }
}

TEST(EffectSteps, NarrowPicturesEndOnTheNewPicture) {
    // Steps and divisors stay at 1 or more where a side of 1 would make them
    // 0: every family ends, on the new picture.
    for (int e : BuiltEffects())
        for (auto [w, h] : {std::pair{1, 9}, std::pair{9, 1}, std::pair{1, 1}}) {
            FxCase c = Case(e, w, h, 7);
            c.parameter = CX_FX_RANDOMPARAMETER;
            EXPECT_EQ(Check(c, P1 | P3), "");
        }
}

TEST(EffectSteps, EmptyRectangleEndsAtOnce) {
    for (int e : BuiltEffects()) {
        FxRun run(Case(e, 0, 5));
        ASSERT_EQ(run.Prepare(), 0) << e;
        EXPECT_EQ(run.Steps(), 1);
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        EXPECT_TRUE(done) << e;
        EXPECT_EQ(run.Instance().presents, 0u);
    }
}

TEST(EffectSteps, ClockwipeCountsAsItRuns) {
    // The counting run and the real one agree for odd, even, narrow and
    // flat pictures at every speed, and the last step shows the whole new
    // picture.
    for (auto [w, h] : {std::pair{16, 16}, std::pair{17, 9}, std::pair{2, 30}, std::pair{30, 1}})
        for (int speed : {CX_SPEED_SLOW, CX_SPEED_NORMAL, 3, 31}) EXPECT_EQ(Check(Case(97, w, h, speed), P1 | P3), "");
}

TEST(EffectSteps, SunAndStarGrowFromTheMiddle) {
    for (int e : {98, 114}) {
        FxRun run(Case(e, 40, 30, 2));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        const auto got = Uncovered(run);
        EXPECT_FALSE(got.empty()) << e;
        EXPECT_TRUE(got.count({20, 15}) || got.count({19, 14})) << e;
        EXPECT_FALSE(got.count({0, 0})) << e;
    }
}

TEST(EffectSteps, DissolveDiffersBetweenRuns) {
    // Without a new seed every run draws its own order.
    FxCase c = Case(139, 32, 32, 8);
    FxRun a(c);
    ASSERT_EQ(a.Prepare(), 0);
    // The second run continues the random sequence instead of starting it
    // over.
    cxEffectInstance fx{};
    cxBitmap *out = AllocBitmap(32, 32, CX_ALLOC_CLEAR, 0), *pic = AllocBitmap(32, 32, 0, 0);
    FillRect(pic, 0, 0, 32, 32, 0xFFFFFF);
    fx.effect = 139, fx.speed = 8, fx.width = 32, fx.height = 32, fx.output = out, fx.newImage = pic;
    ASSERT_EQ(PrepareEffect(&fx), 0);
    int done = 0;
    ASSERT_EQ(a.Step(&done), 0);
    ASSERT_EQ(RunEffectStep(&fx, &done), 0);
    std::set<std::pair<int, int>> other;
    cxOsBitmapLock l{};
    ASSERT_TRUE(LockBitmap(out, 0, &l));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (l.pixels[(size_t(y) * l.rowLength + x) * l.bytesPerPixel]) other.insert({x, y});
    UnlockBitmap(&l);
    EXPECT_FALSE(other.empty());
    EXPECT_NE(Uncovered(a), other);
    ReleaseEffect(&fx, 1);
    FreeBitmap(out);
    FreeBitmap(pic);
}

TEST(EffectSteps, ReversedRunsUseTheMirroredEffect) {
    struct Row {
        int asked, runs;
    } rows[] = {{24, 25}, {25, 24}, {26, 27}, {30, 31}, {33, 32}, {38, 88}, {39, 89}, {96, 46}, {0, 0}, {115, 115}};
    for (const Row &r : rows) {
        FxRun run(Case(r.asked, 8, 8, CX_SPEED_NORMAL, Mode::LayerHide));
        ASSERT_EQ(run.Prepare(), 0);
        EXPECT_EQ(run.Instance().effect, r.runs) << r.asked;
    }
}

TEST(EffectSteps, SpeedsAndStepsHelpers) {
    EXPECT_EQ(EffectStepCount(0, 5, 0), 1);
    EXPECT_EQ(EffectStepCount(-3, 5, 1), 1);
    EXPECT_EQ(EffectStepCount(10, 3, 0), 5);
    EXPECT_EQ(EffectStepCount(10, 3, 1), 4);
    EXPECT_EQ(EffectStepCount(10, 0, 1), 10);
    EXPECT_EQ(EffectStepCount(INT32_MAX, 1, 0), INT32_MAX);
    EXPECT_EQ(SpeedToStep(CX_SPEED_NORMAL, 700, 70, 30, 200), 10);
    EXPECT_EQ(SpeedToStep(CX_SPEED_DEFAULT, 700, 70, 30, 200), 10);
    EXPECT_EQ(SpeedToStep(CX_SPEED_FAST, 700, 70, 30, 200), 23);
    EXPECT_EQ(SpeedToStep(CX_SPEED_SLOW, 700, 70, 30, 200), 3);
    EXPECT_EQ(SpeedToStep(CX_SPEED_SLOW, 100, 70, 30, 200), 1);
    EXPECT_EQ(SpeedToStep(-7, 100, 70, 30, 200), 1);
    EXPECT_EQ(SpeedToStep(42, 100, 70, 30, 200), 42);
}

TEST(EffectSteps, AStepErrorIsReturned) {
    // A picture of another pixel format cannot be scaled into the target:
    // the step fails and says so instead of repeating itself.
    cxEffectInstance fx{};
    cxBitmap *out = AllocBitmap(16, 8, CX_ALLOC_CLEAR, 0), *pic = AllocBitmap(16, 8, CX_ALLOC_CLEAR, 0);
    std::vector<uint16_t> other(16 * 8, 0);
    fx.effect = 120, fx.speed = 4, fx.width = 16, fx.height = 8, fx.output = out, fx.newImage = pic;
    fx.target = CX_FXTARGET_BGPIC;
    ASSERT_EQ(PrepareEffect(&fx), 0);
    // The old picture becomes one of 16-bit pixels.
    cxBitmap *old = fx.oldImage;
    cxOsBitmap *store = OsWrapBitMap(16, 8, other.data(), 32, 5);
    ASSERT_NE(store, nullptr);
    cxBitmap wrapped{CX_BITMAP_COLOUR, store, 16, 8, 0, 0};
    fx.oldImage = &wrapped;
    int done = 0;
    EXPECT_NE(RunEffectStep(&fx, &done), 0);
    EXPECT_FALSE(done);
    EXPECT_EQ(fx.counter, 0);
    fx.oldImage = old;
    OsFreeBitMap(store);
    ReleaseEffect(&fx, 0);
    FreeBitmap(out);
    FreeBitmap(pic);
}

TEST(PolygonClip, CutsToTheRectangleAndKeepsWhatIsInside) {
    // A square overlapping the rectangle's corner becomes the overlap.
    const double square[] = {-5, -5, 5, -5, 5, 5, -5, 5};
    std::vector<double> a(16 * 4 * 2), b(16 * 4 * 2);
    const double *out = nullptr;
    const int32_t n = ClipPolygonToRect(square, 4, a.data(), b.data(), 0, 0, 10, 10, &out);
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; ++i) {
        EXPECT_GE(out[2 * i], 0);
        EXPECT_LE(out[2 * i], 5);
        EXPECT_GE(out[2 * i + 1], 0);
        EXPECT_LE(out[2 * i + 1], 5);
    }
    // One wholly outside goes; one wholly inside stays as it is.
    const double away[] = {20, 20, 30, 20, 25, 30};
    EXPECT_EQ(ClipPolygonToRect(away, 3, a.data(), b.data(), 0, 0, 10, 10, &out), 0);
    const double inside[] = {1, 1, 9, 1, 5, 8};
    ASSERT_EQ(ClipPolygonToRect(inside, 3, a.data(), b.data(), 0, 0, 10, 10, &out), 3);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(out[i], inside[i]);
    // A concave star keeps its points inside and loses the rest.
    const double star[] = {5, -4, 6, 3, 14, 3, 7, 6, 8, 14, 5, 9, 2, 14, 3, 6, -4, 3, 4, 3};
    const int32_t m = ClipPolygonToRect(star, 10, a.data(), b.data(), 0, 0, 9, 9, &out);
    EXPECT_GT(m, 10);
    for (int i = 0; i < m; ++i) {
        EXPECT_TRUE(out[2 * i] >= 0 && out[2 * i] <= 9 && out[2 * i + 1] >= 0 && out[2 * i + 1] <= 9);
    }
}

TEST(PolygonClip, ArcPointsLieOnTheEllipse) {
    double pts[2 * 5];
    ASSERT_EQ(BuildArcPolygon(pts, 5, 10, 20, 4, 2, 0, 360, 5), 5);
    EXPECT_NEAR(pts[0], 14, 1e-9);
    EXPECT_NEAR(pts[1], 20, 1e-9);
    EXPECT_NEAR(pts[2], 10, 1e-9);  // 90 degrees: below the centre
    EXPECT_NEAR(pts[3], 22, 1e-9);
    EXPECT_EQ(BuildArcPolygon(pts, 2, 0, 0, 1, 1, 0, 90, 10), 2);
}

TEST(TransitionKernels, BlendsEndOnTheirPictures) {
    // Odd widths run both the vector and the scalar ends of a row.
    const int w = 13, h = 3;
    cxBitmap *a = AllocBitmap(w, h, 0, 0), *b = AllocBitmap(w, h, 0, 0), *o = AllocBitmap(w, h, 0, 0);
    FillRect(a, 0, 0, w, h, 0x102030);
    FillRect(b, 0, 0, w, h, 0xF0E0D0);
    auto px = [&](int x) {
        uint32_t v = 0;
        cxOsBitmapLock l{};
        LockBitmap(o, 0, &l);
        v = *reinterpret_cast<uint32_t *>(l.pixels + size_t(x) * l.bytesPerPixel) & 0xFFFFFF;
        UnlockBitmap(&l);
        return v;
    };
    ASSERT_EQ(CrossfadeBitmaps(a, 0, 0, b, 0, 0, o, 0, 0, w, h, 0), 0);
    EXPECT_EQ(px(0), 0x102030u);
    EXPECT_EQ(px(12), 0x102030u);
    ASSERT_EQ(CrossfadeBitmaps(a, 0, 0, b, 0, 0, o, 0, 0, w, h, 255), 0);
    EXPECT_EQ(px(0), 0xF0E0D0u);
    EXPECT_EQ(px(12), 0xF0E0D0u);
    ASSERT_EQ(CrossfadeBitmaps(a, 0, 0, b, 0, 0, o, 0, 0, w, h, 128), 0);
    EXPECT_EQ(px(3), px(12));
    EXPECT_EQ(px(3), 0x808080u);
    ASSERT_EQ(FadeBitmapToColour(a, 0, 0, o, 0, 0, w, h, 0xFFFFFF, 255), 0);
    EXPECT_EQ(px(11), 0xFFFFFFu);
    // Rectangles outside a bitmap are refused, nothing written.
    EXPECT_NE(CrossfadeBitmaps(a, 1, 0, b, 0, 0, o, 0, 0, w, h, 10), 0);
    FreeBitmap(a);
    FreeBitmap(b);
    FreeBitmap(o);
}

TEST(TransitionKernels, DistortionsWithoutStrengthCopy) {
    const int w = 9, h = 7;
    cxBitmap *pic = AllocBitmap(w, h, 0, 0), *out = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
    cxOsBitmapLock l{};
    ASSERT_TRUE(LockBitmap(pic, 0, &l));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) *reinterpret_cast<uint32_t *>(l.pixels + (size_t(y) * l.rowLength + x) * 4) = Encode(1, x, y);
    UnlockBitmap(&l);
    cxRingTable t{};
    ASSERT_EQ(InitRippleTables(&t, w, h), 0);
    auto same = [&] {
        cxOsBitmapLock a{}, b{};
        LockBitmap(pic, 0, &a), LockBitmap(out, 0, &b);
        bool eq = true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                eq = eq && ((*reinterpret_cast<uint32_t *>(a.pixels + (size_t(y) * a.rowLength + x) * 4) ^
                             *reinterpret_cast<uint32_t *>(b.pixels + (size_t(y) * b.rowLength + x) * 4)) &
                            0xFFFFFF) == 0;
        UnlockBitmap(&b), UnlockBitmap(&a);
        return eq;
    };
    ASSERT_EQ(RipplePixels(&t, pic, nullptr, nullptr, out, 0, 0, nullptr, 16.0, 0.0, 1.0, 255), 0);
    EXPECT_TRUE(same());
    ASSERT_EQ(SwirlPixels(&t, pic, nullptr, nullptr, out, 0, 0, nullptr, 0.0, 255), 0);
    EXPECT_TRUE(same());
    ASSERT_EQ(PixelatePixels(pic, nullptr, out, 0, 0, nullptr, w, h, 1, 255), 0);
    EXPECT_TRUE(same());
    // A twist moves pixels; non-finite numbers are refused.
    ASSERT_EQ(SwirlPixels(&t, pic, nullptr, nullptr, out, 0, 0, nullptr, 90.0, 255), 0);
    EXPECT_FALSE(same());
    EXPECT_NE(RipplePixels(&t, pic, nullptr, nullptr, out, 0, 0, nullptr, NAN, 1.0, 0.0, 255), 0);
    FreeRippleTables(&t);
    FreeBitmap(pic);
    FreeBitmap(out);
}

}  // namespace
