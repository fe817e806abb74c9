// The worked examples of the moving, folding, rolling and sweeping effects:
// speeds and step counts, the first bands, the roll's front, the shapes of
// the frames (runs of one displacement), hiding to transparency, failed
// scaling, and the frame hashes that catch later changes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <map>
#include <set>

#include "graphics/bitmap/bitmap.h"
#include "layers/transitions/effect_traits.h"
#include "tests/layers/transitions/fx_harness.h"

namespace motion_test {

using namespace cxfx;

FxCase Case(int effect, int w, int h, int speed = CX_SPEED_NORMAL, Mode m = Mode::Direct) {
    FxCase c;
    c.effect = effect, c.width = w, c.height = h, c.speed = speed, c.mode = m;
    return c;
}

struct Rect {
    int x, y, w, h;
    bool operator==(const Rect &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

// The box of the pixels that show the new picture at their own places.
Rect NewBox(FxRun &run) {
    const std::vector<uint32_t> f = run.Frame();
    const int W = run.Case().width;
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    for (size_t i = 0; i < f.size(); ++i) {
        int s, x, y;
        if (Decode(f[i], &s, &x, &y) && s == 1 && x == int(i) % W && y == int(i) / W) {
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    }
    if (x1 < 0) return {0, 0, 0, 0};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

int Count(FxRun &run) {
    const std::vector<uint32_t> f = run.Frame();
    int n = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        int s, x, y;
        n += Decode(f[i], &s, &x, &y) && s == 1 ? 1 : 0;
    }
    return n;
}

TEST(MotionEffects, SpeedsAndStepCounts) {
    struct Row {
        int effect, speed, w, h, sp, steps;
    } rows[] = {
        {110, CX_SPEED_NORMAL, 640, 480, 10, 193},  // UPNDOWN
        {110, CX_SPEED_FAST, 640, 480, 21, 93},
        {110, CX_SPEED_SLOW, 640, 480, 5, 385},
        {110, 100, 640, 480, 30, 65},               // capped at 30
        {128, CX_SPEED_NORMAL, 640, 480, 8, 60},    // TURNDOWNTOP
        {130, CX_SPEED_FAST, 640, 480, 21, 31},     // TURNDOWNLEFT
        {128, 480, 640, 480, 480, 1},               // a speed of the extent: one step
        {100, 5, 64, 600, 6, 100},                  // VSTRANGEPUSH: odd speeds rise by 1
        {100, CX_SPEED_NORMAL, 64, 600, 10, 60},
        {85, 100, 100, 8, 8, 13},                   // ROLLLEFT: speed / 5, at most 8
        {85, 4, 100, 8, 1, 100},                    // at least 1
        {108, CX_SPEED_NORMAL, 640, 480, 5, 33},    // HSPLIT
        {109, CX_SPEED_SLOW, 640, 480, 2, 61},      // VSPLIT: the larger side decides
        {108, 1000, 640, 480, 30, 7},               // capped at 30
        {108, CX_SPEED_NORMAL, 3, 480, 4, 1},       // narrower than 4: one step
        {105, CX_SPEED_NORMAL, 640, 480, 10, 368},  // SPIRAL
        {105, CX_SPEED_SLOW, 640, 480, 5, 727},
        {105, CX_SPEED_FAST, 640, 480, 15, 250},
        {105, 30, 640, 480, 30, 131},
        {105, 100, 640, 480, 30, 131},
        {105, -7, 64, 48, 1, -1},                   // other negatives give 1
        {82, 1, 61, 37, 5, 104},                    // PUZZLE: tiles of at least 5, 13 x 8
        {111, CX_SPEED_NORMAL, 640, 480, 10, 48},   // CARDTOP: speed from the larger side, run over H
    };
    for (const Row &r : rows) {
        FxRun run(Case(r.effect, r.w, r.h, r.speed, IsBGPicOnly(r.effect) ? Mode::Direct : Mode::Layer));
        ASSERT_EQ(run.Prepare(), 0) << r.effect;
        EXPECT_EQ(run.Instance().speed, r.sp) << r.effect << " speed " << r.speed;
        if (r.steps > 0) {
            EXPECT_EQ(run.Steps(), r.steps) << r.effect << " speed " << r.speed;
        }
    }
}

TEST(MotionEffects, FirstBands) {
    // HSPLIT: the columns 160-164 and 480-484, then 155-159, 165-169,
    // 475-479 and 485-489.
    {
        FxRun run(Case(108, 640, 480));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        EXPECT_EQ(Count(run), 2 * 5 * 480);
        const std::vector<uint32_t> f = run.Frame();
        for (int x : {160, 164, 480, 484}) EXPECT_EQ(f[x], Encode(1, x, 0)) << x;
        for (int x : {159, 165, 479, 485}) EXPECT_EQ(f[x], Encode(0, x, 0)) << x;
        ASSERT_EQ(run.Step(&done), 0);
        EXPECT_EQ(Count(run), 6 * 5 * 480);
        const std::vector<uint32_t> g = run.Frame();
        for (int x : {155, 169, 475, 489}) EXPECT_EQ(g[x], Encode(1, x, 0)) << x;
    }
    // SPIRAL: the first band down the rightmost column.
    {
        FxRun run(Case(105, 640, 480));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        EXPECT_EQ(NewBox(run), (Rect{548, 0, 92, 10}));
        EXPECT_EQ(Count(run), 92 * 10);
    }
    // UPNDOWN: column 0 from the top, column 1 from the bottom, 81 wide.
    {
        FxRun run(Case(110, 640, 480));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        EXPECT_EQ(Count(run), 81 * 12 + 81 * 11);  // the up band is cut at the bottom
        EXPECT_EQ(run.Frame()[80], Encode(1, 80, 0));
        EXPECT_EQ(run.Frame()[size_t(479) * 640 + 81], Encode(1, 81, 479));
        EXPECT_EQ(run.Frame()[size_t(12) * 640], Encode(0, 0, 12));
    }
}

// The last step of a spiral sweep ends on the same band as the table's last
// row; the run before its last step has uncovered everything but the
// middle of the grid.
TEST(MotionEffects, SpiralCoversTheGridByItsSweeps) {
    FxRun run(Case(105, 64, 48, 3));
    ASSERT_EQ(run.Prepare(), 0);
    int done = 0;
    for (int32_t k = 0; k < run.Steps() - 1; ++k) ASSERT_EQ(run.Step(&done), 0);
    EXPECT_EQ(done, 0);
    EXPECT_GT(Count(run), 64 * 48 * 9 / 10);
    ASSERT_EQ(run.Step(&done), 0);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(Count(run), 64 * 48);
}

// Zoom rectangles keep the picture's proportions: squares on a square
// picture, on 200 x 100 a height of trunc(s / 2), at least 1.
TEST(MotionEffects, ZoomRectangles) {
    struct Row {
        int w, h, speed, k, count;
    } rows[] = {
        {200, 100, CX_SPEED_NORMAL, 0, 6 * 3},  // sp 6: s 6, 6 x 3
        {200, 100, CX_SPEED_NORMAL, 1, 12 * 6},
        {200, 100, 1, 0, 1 * 1},                // s 1: a height of 0 becomes 1
        {60, 60, CX_SPEED_NORMAL, 2, 6 * 6},    // sp 2: squares
    };
    for (const Row &r : rows) {
        FxRun run(Case(61, r.w, r.h, r.speed));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        for (int k = 0; k <= r.k; ++k) ASSERT_EQ(run.Step(&done), 0);
        EXPECT_EQ(Count(run), r.count) << r.w << "x" << r.h << " step " << r.k;
    }
}

// The roll's front: the band of remapped lines spans N lines ending at P,
// N = E / 12 (at least 20) for rolls and E / 2 for wallpaper.
TEST(MotionEffects, RollFrontSpansTheProfile) {
    for (auto [effect, n] : {std::pair{84, 20}, std::pair{86, 60}}) {
        FxRun run(Case(effect, 8, 120));
        ASSERT_EQ(run.Prepare(), 0);
        ASSERT_EQ(run.Instance().speed, 2);
        int done = 0;
        for (int k = 0; k < 30; ++k) ASSERT_EQ(run.Step(&done), 0);  // P = 60
        const std::vector<uint32_t> f = run.Frame();
        int first = -1, lastBand = -1;
        for (int y = 0; y < 120; ++y) {
            int s, x, sy;
            ASSERT_TRUE(Decode(f[size_t(y) * 8], &s, &x, &sy));
            if (s == 1 && sy != y) {
                if (first < 0) first = y;
                lastBand = y;
            }
            if (y > 60) {
                EXPECT_EQ(s, 0) << "row " << y << " ahead of the roll";
            }
            if (first < 0) {
                EXPECT_EQ(s, 1) << "row " << y << " behind the roll";
            }
        }
        EXPECT_EQ(first, 60 - n + 1) << effect;
        EXPECT_LE(lastBand, 60) << effect;
    }
}

// Gates, slides, cards and pushes move whole pictures: every row of every
// frame is a few runs, each of one source at one displacement (slides: or
// the fill colour).
TEST(MotionEffects, RowsAreRunsOfOneDisplacement) {
    for (int e : {74, 75, 76, 77, 78, 79, 80, 81, 101, 102, 103, 104, 111, 112}) {
        FxCase c = Case(e, 37, 23, 3);
        c.parameter = 0x7FFFFF;  // the slide's colour decodes to nothing
        FxRun run(c);
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0;
        while (!done) {
            ASSERT_EQ(run.Step(&done), 0);
            const std::vector<uint32_t> f = run.Frame();
            for (int y = 0; y < 23; ++y) {
                int runs = 0;
                int64_t key = -1;
                for (int x = 0; x < 37; ++x) {
                    int s, sx, sy;
                    int64_t k = int64_t(1) << 40;
                    if (Decode(f[size_t(y) * 37 + x], &s, &sx, &sy))
                        k = (int64_t(s) << 32) | (int64_t(sx - x + 2048) << 16) | (sy - y + 2048);
                    if (k != key) ++runs, key = k;
                }
                ASSERT_LE(runs, 3) << GetEffectTraits(e)->name << " row " << y;
            }
        }
    }
}

// A scroll's parameter is its path shape: RANDOMPARAMETER moves straight.
// SCROLLWEST is SCROLLLEFT's own number.
TEST(MotionEffects, ScrollStylesAndAliases) {
    EXPECT_EQ(FindEffectByName("SCROLLWEST"), 47);
    EXPECT_EQ(FindEffectByName("SCROLLSOUTH"), 50);
    FxCase a = Case(47, 40, 20), b = a, wave = a;
    b.parameter = 0;
    wave.parameter = 4;
    FxRun ra(a), rb(b), rw(wave);
    ASSERT_EQ(ra.Prepare(), 0);
    ASSERT_EQ(rb.Prepare(), 0);
    ASSERT_EQ(rw.Prepare(), 0);
    EXPECT_EQ(ra.Steps(), rb.Steps());
    EXPECT_EQ(ra.Steps(), 4);  // 40 pixels at 10 a step
    int da = 0, db = 0;
    while (!da) {
        ASSERT_EQ(ra.Step(&da), 0);
        ASSERT_EQ(rb.Step(&db), 0);
        EXPECT_EQ(ra.Frame(), rb.Frame());
    }
    EXPECT_EQ(db, 1);
}

// Hiding with the stretch and roll effects ends fully transparent, and a
// shrinking stretch clears what it leaves at every step.
TEST(MotionEffects, HidingEndsTransparent) {
    for (int e : {56, 84, 85, 99, 100, 70, 47}) {
        FxRun run(Case(e, 30, 20, CX_SPEED_NORMAL, Mode::LayerHide));
        ASSERT_EQ(run.Prepare(), 0);
        int done = 0, k = 0;
        while (!done) {
            ASSERT_EQ(run.Step(&done), 0);
            ++k;
            if (e != 56) continue;
            const std::vector<uint8_t> a = run.CanvasChannel();
            const int cleared = std::min(k * run.Instance().speed, 30);
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < cleared; ++x) ASSERT_EQ(a[size_t(y) * 30 + x], 0) << "step " << k << " x " << x;
        }
        for (uint8_t v : run.CanvasChannel()) ASSERT_EQ(v, 0) << GetEffectTraits(e)->name;
    }
}

// A scale that fails is returned by the step, which neither counts nor
// ends; the next step after the cause has gone carries on.
TEST(MotionEffects, FailedScalingStopsTheStep) {
    for (int e : {55, 61, 118, 119, 128}) {
        FxRun run(Case(e, 32, 24));
        ASSERT_EQ(run.Prepare(), 0);
        cxEffectInstance &fx = run.Instance();
        int done = 0;
        ASSERT_EQ(run.Step(&done), 0);
        // A mask is no colour bitmap: the scaler cannot read it.
        cxBitmap *good = fx.newImage;
        cxBitmap *bad = AllocMask(good, 32, 24, 1, nullptr, 0);
        ASSERT_NE(bad, nullptr);
        fx.newImage = bad;
        const std::vector<uint32_t> before = run.Frame();
        // ZOOMIN and ZOOMOUT scale the old picture first.
        cxBitmap *old = fx.oldImage;
        if (e == 118 || e == 119) fx.oldImage = bad;
        const int err = run.Step(&done);
        EXPECT_NE(err, 0) << e;
        EXPECT_EQ(fx.counter, 1) << e;
        EXPECT_EQ(done, 0) << e;
        EXPECT_EQ(run.Frame(), before) << e;
        fx.newImage = good;
        fx.oldImage = old;
        FreeMask(bad);
        EXPECT_EQ(run.Step(&done), 0) << e;
        EXPECT_EQ(fx.counter, 2) << e;
    }
}

// A large puzzle sets up at once (its permutation is linear) and uncovers
// each tile exactly once.
TEST(MotionEffects, PuzzlePermutation) {
    FxRun big(Case(82, 1920, 1080, 1));
    ASSERT_EQ(big.Prepare(), 0);
    EXPECT_EQ(big.Steps(), (1920 / 5 + 1) * (1080 / 5 + 1));
    FxRun run(Case(82, 23, 17, 1));
    ASSERT_EQ(run.Prepare(), 0);
    int done = 0, last = 0;
    while (!done) {
        ASSERT_EQ(run.Step(&done), 0);
        const int n = Count(run);
        EXPECT_GT(n, last);
        last = n;
    }
    EXPECT_EQ(last, 23 * 17);
}

// The effects that move whole pictures draw at the target's origin: in a
// layer's canvas (a layer shown with "bgpicemu") that is the canvas's own
// corner wherever the layer stands.
TEST(MotionEffects, WholePictureEffectsDrawIntoTheCanvas) {
    for (int e : {74, 75, 76, 77, 78, 79, 80, 81, 101, 102, 103, 104, 111, 112, 118, 119, 128, 129, 130, 131}) {
        FxCase c = Case(e, 37, 23, 3, Mode::Layer);
        EXPECT_EQ(Check(c, P1 | P3), "");
    }
}

// Empty areas, speeds at their limits and parameters out of range: every
// effect sets up, ends on time and writes nothing outside its area.
TEST(MotionEffects, BadInput) {
    struct Size {
        int w, h;
    };
    for (int e = 0; e < CX_FX_COUNT; ++e) {
        if (!IsEffectBuilt(e)) continue;
        for (Size s : {Size{0, 0}, Size{0, 5}, Size{5, 0}, Size{-3, 4}, Size{2, 1}})
            for (int speed : {0, -7, 1000000000, INT32_MIN, INT32_MAX}) {
                FxCase c = Case(e, s.w, s.h, speed);
                EXPECT_EQ(Check(c, P1 | P3 | P4), "");
            }
        for (int parameter : {-5, 1 << 30, INT32_MIN, INT32_MAX}) {
            FxCase c = Case(e, 9, 7, CX_SPEED_FAST);
            c.parameter = parameter;
            EXPECT_EQ(Check(c, P1 | P3 | P4), "");
        }
    }
}

// Every effect at 61 x 37 on the coded pictures: a hash of each frame,
// folded over the run. A change of any effect's look shows here; the
// table was taken once the contact sheets were looked at. CX_FX_HASHES=print
// prints a new table.
uint64_t RunHash(int effect, Mode mode) {
    FxCase c = Case(effect, 61, 37, CX_SPEED_NORMAL, mode);
    c.seed = 7;
    FxRun run(c);
    if (run.Prepare()) return 0;
    uint64_t h = 1469598103934665603ull;
    int done = 0;
    while (!done) {
        if (run.Step(&done)) return 1;
        for (uint32_t v : run.Frame()) h = (h ^ v) * 1099511628211ull;
        if (mode != Mode::Direct)
            for (uint8_t v : run.CanvasChannel()) h = (h ^ v) * 1099511628211ull;
    }
    return h;
}

#include "tests/layers/transitions/fx_hashes.inc"

TEST(MotionEffects, FrameHashes) {
    const char *env = std::getenv("CX_FX_HASHES");
    const bool print = env && std::strcmp(env, "print") == 0;
    for (int e = 0; e < CX_FX_COUNT; ++e) {
        if (!IsEffectBuilt(e)) continue;
        const uint64_t direct = RunHash(e, Mode::Direct);
        const uint64_t layer = IsBGPicOnly(e) ? 0 : RunHash(e, Mode::Layer);
        if (print) {
            std::printf("    {%d, 0x%016llxull, 0x%016llxull},\n", e, (unsigned long long)direct,
                        (unsigned long long)layer);
            continue;
        }
        bool found = false;
        for (const HashRow &r : kFrameHashes)
            if (r.effect == e) {
                found = true;
                EXPECT_EQ(direct, r.direct) << GetEffectTraits(e)->name << " direct";
                EXPECT_EQ(layer, r.layer) << GetEffectTraits(e)->name << " layer";
            }
        EXPECT_TRUE(found) << e;
    }
}

}  // namespace motion_test
