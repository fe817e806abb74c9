// Playing and showing anims on an off-screen display without layers: the
// frames land where they belong, clipped, over the saved background where
// they are transparent; speeds, refusals, PlayAnimDisk, DisplayAnimFrame
// and drawing into a frame with SelectAnim.
#include <gtest/gtest.h>

#include <chrono>

#include "images/brushes/brush.h"
#include "tests/media/anim/anim_test_support.h"

namespace {

using cxtest::CellColour;
constexpr uint32_t kBackground = 0x000080;

class AnimPlay : public cxtest::AnimTest {
  protected:
    int Play(std::initializer_list<double> args, const std::function<void()> &fill = nullptr) {
        return Cmd("PlayAnim", args, fill);
    }
    double Seconds(const std::function<void()> &run) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
};

TEST_F(AnimPlay, FramesLandClippedOverTheBackground) {
    // 3 frames of 8 x 6, the top-left pixel transparent in each.
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {100, 100, 100}, true), [&] { Field("transparency", 0xFF00FF); }), 0);
    ASSERT_EQ(Play({1, 10, 10, double(-2)}), 0);
    EXPECT_EQ(Shown(13, 13), CellColour(2));  // the last frame stays
    EXPECT_EQ(Shown(10, 10), kBackground);    // transparent: the background
    EXPECT_EQ(Shown(9, 13), kBackground);
    EXPECT_EQ(Shown(18, 13), kBackground);
    // Twice, partly outside: the part that shows.
    ASSERT_EQ(Play({1, -5, 44, double(-2), 2}), 0);
    EXPECT_EQ(Shown(0, 46), CellColour(2));
    EXPECT_EQ(Shown(2, 47), CellColour(2));
    EXPECT_EQ(Shown(3, 45), kBackground);
    // Wholly outside.
    EXPECT_EQ(Play({1, 64, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Play({1, -8, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Play({2, 0, 0}), ERR_FINDANIM);
    // #CENTER, and the options table's form with a transform.
    ASSERT_EQ(Play({1, double(CX_POS_CENTER), double(CX_POS_CENTER)}, [&] {
                  Field("speed", -2), Field("scalex", 2), Field("scaley", 2);
              }),
              0);
    // 16 x 12 at 24, 18: its transparent corner is 2 x 2 now.
    EXPECT_EQ(Shown(32, 24), CellColour(2));
    EXPECT_EQ(Shown(39, 29), CellColour(2));
    EXPECT_EQ(Shown(26, 18), CellColour(2));
    EXPECT_EQ(Shown(25, 19), kBackground);
    EXPECT_EQ(Shown(40, 24), kBackground);
    EXPECT_EQ(Get(1)->lockCount, 0);
}

// DEFAULTSPEED waits each frame's delay; FASTSPEED none. Only the lower
// bound is a promise; the upper one is far off on purpose.
TEST_F(AnimPlay, SpeedsAndTimes) {
    ASSERT_EQ(Load(1, Gif("a.gif", 4, 4, {60, 60, 60})), 0);
    EXPECT_GE(Seconds([&] { ASSERT_EQ(Play({1, 0, 0, double(-4)}), 0); }), 0.17);
    EXPECT_LT(Seconds([&] { ASSERT_EQ(Play({1, 0, 0, double(-2), 3}), 0); }), 0.17);
    // 2 x 20 ms a frame, twice over three frames.
    EXPECT_GE(Seconds([&] { ASSERT_EQ(Play({1, 0, 0, 2, 2}), 0); }), 0.2);
    // Frames of an anim made from brushes have no delay.
    ASSERT_EQ(Cmd("CreateBrush", {5, 8, 4, 0x123456}), 0);
    ASSERT_EQ(Cmd("CreateAnim", {2, 5, 4, 4, 2, 2}), 0);
    EXPECT_LT(Seconds([&] { ASSERT_EQ(Play({2, 0, 0, double(-4), 20}), 0); }), 0.5);
}

TEST_F(AnimPlay, RefusedByTheOutput) {
    ASSERT_EQ(Load(1, Gif("a.gif", 4, 4, {10, 10})), 0);
    ASSERT_EQ(Load(2, Gif("b.gif", 4, 4, {10, 10})), 0);
    ASSERT_EQ(Cmd("CreateBrush", {5, 8, 8}), 0);
    ASSERT_EQ(Cmd("SelectBrush", {5}), 0);
    EXPECT_EQ(Play({1, 0, 0}), ERR_SELECTBRUSH);
    ASSERT_EQ(Call("EndSelect"), 0);
    ASSERT_EQ(Cmd("SelectMask", {5}), 0);
    EXPECT_EQ(Play({1, 0, 0}), ERR_SELECTMASK);
    ASSERT_EQ(Call("EndSelect"), 0);
    ASSERT_EQ(Cmd("SelectAnim", {2, 1}), 0);
    EXPECT_EQ(Play({1, 0, 0}), ERR_SELECTANIM);
    // Playing the selected anim itself ends the selection first.
    ASSERT_EQ(Play({2, 0, 0, double(-2)}), 0);
    EXPECT_EQ(GetSelectedAnim(nullptr, nullptr), 0);
    EXPECT_EQ(Shown(1, 1), CellColour(1));
}

TEST_F(AnimPlay, DiskPlaybackAndSingleFrames) {
    const std::string avi = Avi("a.avi", 8, 8, 3);
    ASSERT_EQ(Call("PlayAnimDisk", [&] {
                  lua_pushstring(L, avi.c_str());
                  lua_pushnumber(L, 20);
                  lua_pushnumber(L, 20);
              }),
              0);
    EXPECT_TRUE(Near(Shown(24, 24), CellColour(2), 10));
    EXPECT_EQ(CountAnims(), 0);
    EXPECT_EQ(Call("PlayAnimDisk", [&] { lua_pushstring(L, dir.Path("none.avi").c_str()); }), ERR_READFILE);

    ASSERT_EQ(Load(1, Gif("a.gif", 4, 4, {10, 10, 10})), 0);
    ASSERT_EQ(Cmd("DisplayAnimFrame", {1, 40, 30, 2}), 0);
    EXPECT_EQ(Shown(41, 31), CellColour(1));
    EXPECT_EQ(Cmd("DisplayAnimFrame", {1, 40, 30, 4}), ERR_ANIMFRAME);
    EXPECT_EQ(Cmd("DisplayAnimFrame", {1, 40, 30, 0}), ERR_ANIMFRAME);
    ASSERT_EQ(Cmd("DisplayAnimFrame", {1, 0, 0, 3}, [&] { Field("scalex", 3), Field("scaley", 3); }), 0);
    EXPECT_EQ(Shown(11, 11), CellColour(2));
}

TEST_F(AnimPlay, DrawingIntoAFrame) {
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 8, {10, 10})), 0);
    ASSERT_EQ(Cmd("CreateBrush", {5, 2, 2, 0xABCDEF}), 0);
    ASSERT_EQ(Cmd("SelectAnim", {1, 2}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {5, 3, 3}), 0);
    EXPECT_EQ(Cmd("FreeAnim", {1}), ERR_MODIFYAANIM);
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, 1}), ERR_MODIFYAANIM);
    EXPECT_EQ(Cmd("ScaleAnim", {1, 4, 4}), ERR_MODIFYAANIM);
    ASSERT_EQ(Call("EndSelect"), 0);
    cxAnim *a = Get(1);
    EXPECT_EQ(FramePixel(a, 1, 4, 4), 0xABCDEFu);
    EXPECT_EQ(FramePixel(a, 1, 6, 6), CellColour(1));
    EXPECT_EQ(FramePixel(a, 0, 4, 4), CellColour(0));
    // Frames out of range and disk anims cannot be selected.
    EXPECT_EQ(Cmd("SelectAnim", {1, 3}), ERR_ANIMFRAME);
    EXPECT_EQ(Cmd("SelectAnim", {9, 1}), ERR_FINDANIM);
    ASSERT_EQ(Load(2, Avi("a.avi", 8, 8, 2), [&] { Field("fromdisk", 1); }), 0);
    EXPECT_EQ(Cmd("SelectAnim", {2, 1}), ERR_ANIMDISK);
}

}  // namespace
