// The move engine through the moveobject commands (and the effect mode
// through its record) on an off-screen display without layers: the
// picture after a move, the positions shown, the refusals, a quit during
// a move, coordinates far out, sprites moved and locked meanwhile.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "engine/runtime/kernel.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "tests/images/sprites/sprite_test_display.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

struct Recorder {
    Points points;
    std::function<void(size_t)> at;
    static void Observe(void *user, int32_t x, int32_t y) {
        auto *r = static_cast<Recorder *>(user);
        r->points.emplace_back(x, y);
        if (r->at) r->at(r->points.size());
    }
};

class Moves : public cxtest::SpriteDisplayTest {
  protected:
    Recorder rec;

    void SetUp() override {
        SpriteDisplayTest::SetUp();
        SetMoveObserver(Recorder::Observe, &rec);
        // A picture with a pattern, so that what is put back shows.
        for (int x = 0; x < d->pictureWidth; ++x) FillRect(d->picture, x, 0, 1, d->pictureHeight, 0x101010u * (x % 13));
    }
    void TearDown() override {
        SetUserAbortFlag(0);
        SpriteDisplayTest::TearDown();
    }
    // A brush of one colour with a clear top-left pixel.
    cxBrush *HoledBrush(int id, int w, int h, uint32_t colour) {
        EXPECT_EQ(Cmd("CreateBrush", {double(id), double(w), double(h), double(colour)}), 0);
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, {id, nullptr}, &b, 0), 0);
        b->mask = AllocMask(b->bitmap, w, h, 1, nullptr, 0);
        FillMaskRect(b->mask, 0, 0, w, h, CX_MASKVISIBLE);
        FillMaskRect(b->mask, 0, 0, 1, 1, CX_MASKINVISIBLE);
        return b;
    }
    static bool SamePictures(cxBitmap *a, cxBitmap *b) {
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x)
                if (PixelOf(a, x, y) != PixelOf(b, x, y)) {
                    ADD_FAILURE() << "first difference at " << x << "," << y;
                    return false;
                }
        return true;
    }
    int MoveWith(const char *command, double id, std::initializer_list<double> coords,
                 const std::function<void()> &fill) {
        return Call(command, [&] {
            lua_pushnumber(L, id);
            for (double c : coords) lua_pushnumber(L, c);
            lua_newtable(L);
            fill();
        });
    }
};

TEST_F(Moves, ADirectMoveLeavesThePictureAsIfDrawnAtTheEndOnly) {
    cxBrush *b = HoledBrush(1, 10, 8, kRed);
    cxBitmap *expect = DuplicateBitmap(d->picture, d->pictureWidth, d->pictureHeight);
    BltBitmapMask(b->bitmap, 0, 0, expect, 40, 20, 10, 8, b->mask);
    // Bouncing on beyond the right edge and back: every place it passed is
    // put back.
    ASSERT_EQ(Cmd("MoveBrush", {1, 0, 0, 40, 20, -2, 1}), 0);
    EXPECT_GT(rec.points.size(), 10u);
    EXPECT_TRUE(SamePictures(d->picture, expect));
    EXPECT_EQ(b->locked, 0u);
    FreeBitmap(expect);
}

TEST_F(Moves, PositionsShownFromTheStart) {
    HoledBrush(1, 4, 4, kRed);
    ASSERT_EQ(Cmd("MoveBrush", {1, 0, 0, 60, 0, -2}), 0);  // FASTSPEED: 15 pixels a step
    EXPECT_EQ(rec.points, (Points{{0, 0}, {15, 0}, {30, 0}, {45, 0}, {60, 0}}));
    rec.points.clear();
    ASSERT_EQ(MoveWith("MoveBrush", 1, {0, 0, 20, 5}, [&] { Field("speed", 5); }), 0);
    EXPECT_EQ(rec.points, (Points{{0, 0}, {5, 1}, {10, 2}, {15, 4}, {20, 5}}));
    rec.points.clear();
    // Special coordinates resolve against the object and the display.
    ASSERT_EQ(MoveWith("MoveBrush", 1, {-50000, -100000, -40000, -100000}, [&] { Field("speed", 40); }), 0);
    EXPECT_EQ(rec.points.front(), (std::pair<int32_t, int32_t>{-4, 22}));
    EXPECT_EQ(rec.points.back(), (std::pair<int32_t, int32_t>{64, 22}));
    rec.points.clear();
    ASSERT_EQ(MoveWith("MoveBrush", 1, {0, 10, 40, 10}, [&] { Field("fx", 4), Field("speed", 10); }), 0);  // SINE
    EXPECT_EQ(rec.points[1], (std::pair<int32_t, int32_t>{10, int32_t(10 + 50 * std::sin(0.08))}));
}

TEST_F(Moves, StartEqualToEndReturnsAtOnce) {
    HoledBrush(1, 4, 4, kRed);
    cxBitmap *before = DuplicateBitmap(d->picture, d->pictureWidth, d->pictureHeight);
    ASSERT_EQ(Cmd("MoveBrush", {1, 9, 9, 9, 9}), 0);
    EXPECT_TRUE(rec.points.empty());
    EXPECT_TRUE(SamePictures(d->picture, before));
    FreeBitmap(before);
}

TEST_F(Moves, Refusals) {
    cxBrush *b = HoledBrush(1, 4, 4, kRed);
    Sprite(2, 4, 4, {kGreen});
    const double nan = std::nan("");
    struct Case {
        const char *what;
        std::function<int()> run;
        int err;
    } cases[] = {
        {"speed 0", [&] { return Cmd("MoveBrush", {1, 0, 0, 9, 9, 0}); }, ERR_WRONGUSAGE},
        {"DEFAULTSPEED", [&] { return Cmd("MoveBrush", {1, 0, 0, 9, 9, -4}); }, ERR_WRONGUSAGE},
        {"NaN coordinate", [&] { return Cmd("MoveBrush", {1, nan, 0, 9, 9}); }, ERR_WRONGUSAGE},
        {"NaN speed", [&] { return MoveWith("MoveBrush", 1, {0, 0, 9, 9}, [&] { Field("speed", nan); }); },
         ERR_WRONGUSAGE},
        {"no brush", [&] { return Cmd("MoveBrush", {7, 0, 0, 9, 9}); }, ERR_FINDBRUSH},
        {"no sprite", [&] { return Cmd("MoveSprite", {7, 0, 0, 9, 9}); }, ERR_FINDSPRITE},
        {"layer without layers", [&] { return Cmd("MoveLayer", {1, 0, 0, 9, 9}); }, ERR_NOLAYERS},
        {"too many", [&] { return Cmd("MoveBrush", {1, 0, 0, 9, 9, 1, 1, 1}); }, ERR_TOOMANYARGS},
        {"sprite with layers", [&] {
             d->layersOn = 1;
             const int err = Cmd("MoveSprite", {2, 0, 0, 9, 9});
             d->layersOn = 0;
             return err;
         }, ERR_LAYERSOFF},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.run(), c.err) << c.what;
        EXPECT_TRUE(rec.points.empty()) << c.what;
        EXPECT_EQ(b->locked, 0u) << c.what;
    }
    // Redirected output refuses a move drawn in the command.
    InstallOutputRedirection();
    luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    EXPECT_EQ(Cmd("MoveSprite", {2, 0, 0, 9, 9}), ERR_SELECTBRUSH);
    Cmd("EndSelect", {});
    RemoveOutputRedirection();
}

TEST_F(Moves, AQuitEndsTheMoveWithoutError) {
    cxBrush *b = HoledBrush(1, 4, 4, kRed);
    rec.at = [](size_t n) {
        if (n == 3) SetUserAbortFlag(1);
    };
    ASSERT_EQ(Cmd("MoveBrush", {1, 0, 0, 60, 0, 1}), 0);
    EXPECT_EQ(rec.points.size(), 3u);
    EXPECT_EQ(b->locked, 0u);
    EXPECT_EQ(Shown(3, 1), kRed);  // where it was when the run ended
}

TEST_F(Moves, CoordinatesAndSpeedsFarOut) {
    HoledBrush(1, 4, 4, kRed);
    cxBitmap *before = DuplicateBitmap(d->picture, d->pictureWidth, d->pictureHeight);
    ASSERT_EQ(Cmd("MoveBrush", {1, 70, 70, 1e9, 1e9, 1e9, 1}), 0);
    EXPECT_LT(rec.points.size(), 100u);
    EXPECT_TRUE(SamePictures(d->picture, before));  // it never was on the picture
    rec.points.clear();
    ASSERT_EQ(Cmd("MoveBrush", {1, -1e300, 0, 1e300, 0, 1e300}), 0);
    EXPECT_EQ(rec.points.size(), 3u);
    FreeBitmap(before);
}

TEST_F(Moves, ASpriteMovesWithItsFramesAndIsLockedMeanwhile) {
    Sprite(1, 6, 6, {kRed, kGreen, kBlue});
    std::vector<int> frames;
    std::vector<int> freeing;
    rec.at = [&](size_t) {
        freeing.push_back(FreeSpriteByID(L, {1, nullptr}, 1));
        Repaints().clear();
    };
    // FASTSPEED frames: a new one every step.
    ASSERT_EQ(Cmd("MoveSprite", {1, 0, 0, 30, 0, -2, -2}), 0);
    EXPECT_EQ(rec.points, (Points{{0, 0}, {15, 0}, {30, 0}}));
    EXPECT_EQ(freeing, (std::vector<int>{ERR_LOCKEDOBJ, ERR_LOCKEDOBJ, ERR_LOCKEDOBJ}));
    EXPECT_EQ(NodeFrame(1), 3);
    EXPECT_EQ(Composed(31, 1), kBlue);
    EXPECT_EQ(Composed(16, 1), 0x101010u * 3);  // the picture where it was
    rec.at = nullptr;
    // A link locks its members while it moves.
    ASSERT_EQ(Cmd("CreateSprite", {2, 32, 1}), 0);
    rec.at = [&](size_t) { freeing.push_back(FreeSpriteByID(L, {1, nullptr}, 1)); };
    freeing.clear();
    ASSERT_EQ(Cmd("MoveSprite", {2, 0, 10, 10, 10, 10}), 0);
    EXPECT_EQ(freeing, (std::vector<int>{ERR_LOCKEDOBJ, ERR_LOCKEDOBJ}));
    rec.at = nullptr;
    EXPECT_EQ(Cmd("FreeSprite", {1}), 0);
    EXPECT_EQ(CountSpriteRecords(), 0);
}

TEST_F(Moves, TheEffectModeStepsAPictureForItsCaller) {
    cxBitmap *pic = AllocBitmap(8, 8, 0, 0);
    FillRect(pic, 0, 0, 8, 8, kBlue);
    cxBitmap *before = DuplicateBitmap(d->picture, d->pictureWidth, d->pictureHeight);
    cxObjectMove m{};
    m.L = L;
    m.kind = CX_MOVE_OBJECT_PICTURE;
    m.bitmap = pic;
    m.width = m.height = 8;
    m.x1 = -50000;  // #LEFTOUT
    m.y1 = m.y2 = 10;
    m.x2 = 20;
    m.speed = -1;
    m.effect = 1;
    ASSERT_EQ(RunObjectMove(&m), 0);
    ASSERT_NE(m.step, nullptr);
    EXPECT_TRUE(rec.points.empty());  // nothing is drawn before the first step
    int done = 0, steps = 0;
    while (!done && steps < 10) {
        ASSERT_EQ(m.step(&m, &done), 0);
        ++steps;
    }
    EXPECT_EQ(rec.points, (Points{{2, 10}, {12, 10}, {20, 10}}));
    EXPECT_EQ(Shown(21, 11), kBlue);
    EXPECT_EQ(Shown(19, 11), PixelOf(before, 19, 11));
    m.free(&m, 0);
    EXPECT_EQ(m.state, nullptr);

    // A start equal to the end starts 10 pixels left of and above it.
    rec.points.clear();
    m = cxObjectMove{};
    m.L = L, m.kind = CX_MOVE_OBJECT_PICTURE, m.bitmap = pic, m.width = m.height = 8;
    m.x1 = m.x2 = m.y1 = m.y2 = 30;
    m.speed = 4;
    m.effect = 1;
    ASSERT_EQ(RunObjectMove(&m), 0);
    for (done = 0; !done;) ASSERT_EQ(m.step(&m, &done), 0);
    EXPECT_EQ(rec.points, (Points{{24, 24}, {28, 28}, {30, 30}}));
    m.free(&m, 0);

    // A failure leaves the caller's record alone.
    m = cxObjectMove{};
    m.L = L, m.kind = CX_MOVE_OBJECT_PICTURE, m.bitmap = pic, m.width = m.height = 8;
    m.speed = 0;
    m.effect = 1;
    EXPECT_EQ(RunObjectMove(&m), ERR_WRONGUSAGE);
    EXPECT_EQ(m.step, nullptr);
    EXPECT_EQ(m.state, nullptr);
    FreeBitmap(pic);
    FreeBitmap(before);
}

}  // namespace
