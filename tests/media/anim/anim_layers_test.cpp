// Anims with layers on: frames shown as anim layers, an anim freed while a
// layer shows it, playback advancing its layer, asynchronous playback
// stepped once per display frame (and the lock it holds), CreateLayer's
// anims.
#include <gtest/gtest.h>

#include "display/present.h"
#include "layers/core/async_draw.h"
#include "layers/core/layer_insert.h"
#include "tests/media/anim/anim_test_support.h"

namespace {

using cxtest::CellColour;

class AnimLayers : public cxtest::AnimLayerTest {
  protected:
    cxLayer *Front() { return Layer(Count()); }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) WaitDisplayFrame(L, d, 0);
    }
};

TEST_F(AnimLayers, FramesBecomeLayersThatOutliveFreeAnim) {
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {10, 10, 10})), 0);
    ASSERT_EQ(Cmd("DisplayAnimFrame", {1, 10, 10, 2}), 0);
    ASSERT_EQ(Count(), 1);
    cxLayer *l = Front();
    EXPECT_EQ(l->type, CX_LAYER_ANIM);
    EXPECT_EQ(l->base->partX, 1);
    EXPECT_EQ(Composed(12, 12), CellColour(1));
    EXPECT_EQ(Get(1)->layerUses, 1);

    // Freed while shown: the number is free at once, the layer keeps it.
    ASSERT_EQ(Cmd("FreeAnim", {1}), 0);
    cxAnim *a = nullptr;
    EXPECT_EQ(FindAnim(L, {1, nullptr}, &a, 0), ERR_FINDANIM);
    EXPECT_EQ(CountAnims(), 1);
    EXPECT_EQ(l->source.pointer, GetFirstAnim());
    ASSERT_EQ(Load(1, Gif("b.gif", 4, 4, {10})), 0);  // the number is usable again
    EXPECT_EQ(CountAnims(), 2);
    // Once no layer shows it, it goes.
    FreeAllLayers(L, BGPic(), 1, 0);
    EXPECT_EQ(CountAnims(), 1);

    // Changing an anim that a layer shows gives the layer a copy first.
    ASSERT_EQ(Cmd("DisplayAnimFrame", {1, 0, 0, 1}), 0);
    ASSERT_EQ(Cmd("ScaleAnim", {1, 2, 2}), 0);
    EXPECT_EQ(CountAnims(), 2);
    EXPECT_NE(Front()->source.pointer, nullptr);
    EXPECT_EQ(Get(1)->layerUses, 0);
}

TEST_F(AnimLayers, PlaybackAdvancesItsLayer) {
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {10, 10, 10})), 0);
    ASSERT_EQ(Cmd("PlayAnim", {1, 20, 20, double(-2), 2}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Front()->base->partX, 2);
    EXPECT_EQ(Composed(22, 22), CellColour(2));
    EXPECT_EQ(Get(1)->lockCount, 0);
    // Outside the display is no error with layers: the layer is off screen.
    EXPECT_EQ(Cmd("PlayAnim", {1, 100, 0, double(-2)}), 0);
}

TEST_F(AnimLayers, AsyncPlaybackStepsOncePerDisplayFrame) {
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {10, 10, 10})), 0);
    ASSERT_EQ(Cmd("PlayAnim", {1, 30, 20}, [&] { Field("speed", -2), Field("times", 2), Field("async", 1); }), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    auto *draw = static_cast<cxAsyncDraw *>(lua_touserdata(L, 1));
    ASSERT_TRUE(IsAsyncDrawAlive(draw));
    ASSERT_EQ(Count(), 1);
    cxLayer *l = Front();
    EXPECT_TRUE(IsAsyncDrawObject(l));
    // Locked while it plays.
    EXPECT_EQ(Cmd("FreeAnim", {1}), ERR_LOCKEDOBJ);
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, 1}), ERR_LOCKEDOBJ);
    for (int frame = 0; frame < 5; ++frame) {
        Frames(1);
        EXPECT_EQ(l->base->partX, frame % 3) << frame;
    }
    EXPECT_EQ(Composed(32, 22), CellColour(1));
    Frames(1);  // the sixth frame ends the second pass
    EXPECT_FALSE(IsAsyncDrawAlive(draw));
    EXPECT_EQ(Get(1)->lockCount, 0);
    EXPECT_EQ(Cmd("FreeAnim", {1}), 0);
}

TEST_F(AnimLayers, AsyncPlaybackWithoutLayers) {
    d->layersOn = 0;
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {10, 10})), 0);
    ASSERT_EQ(Cmd("PlayAnim", {1, 4, 4}, [&] { Field("speed", -2), Field("times", 0), Field("async", 1); }), 0);
    auto *draw = static_cast<cxAsyncDraw *>(lua_touserdata(L, 1));
    Frames(1);
    EXPECT_EQ(Shown(5, 5), CellColour(0));
    Frames(1);
    EXPECT_EQ(Shown(5, 5), CellColour(1));
    Frames(1);
    EXPECT_EQ(Shown(5, 5), CellColour(0));
    EXPECT_TRUE(IsAsyncDrawAlive(draw));  // for ever, until freed
    FreeAllAsyncDraws(L, d);
    EXPECT_EQ(Get(1)->lockCount, 0);
}

TEST_F(AnimLayers, CreateLayerMakesAnAnimThatGoesWithIt) {
    ASSERT_EQ(Cmd("CreateLayer", {5, 5, 10, 8}, [&] { Field("frames", 3), Field("color", 0x336699); }), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Front()->type, CX_LAYER_ANIM);
    ASSERT_EQ(CountAnims(), 1);
    cxAnim *a = GetFirstAnim();
    EXPECT_EQ(a->frames, 3);
    EXPECT_TRUE(a->pendingFree);
    EXPECT_EQ(Composed(7, 7), 0x336699u);
    FreeAllLayers(L, BGPic(), 1, 0);
    EXPECT_EQ(CountAnims(), 0);
}

// The layer operations on real anims: InsertLayer of an anim, NextFrame
// through the frames, ModifyLayerFrames on an anim two layers show.
TEST_F(AnimLayers, LayerOperationsOnAnims) {
    ASSERT_EQ(Load(1, Gif("a.gif", 8, 6, {10, 10, 10})), 0);
    ASSERT_EQ(Call("InsertLayer", [&] {
                  for (double v : {0.0, 4.0, 1.0, 10.0, 10.0}) lua_pushnumber(L, v);
              }),
              0);
    ASSERT_EQ(Cmd("DisplayAnimFrame", {1, 30, 10, 1}), 0);
    ASSERT_EQ(Count(), 2);
    cxLayer *first = Layer(1);
    EXPECT_EQ(first->type, CX_LAYER_ANIM);
    EXPECT_EQ(Composed(12, 12), CellColour(0));
    EXPECT_EQ(Get(1)->layerUses, 2);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(Cmd("NextFrame", {1}), 0);
        EXPECT_EQ(Composed(12, 12), CellColour(i % 3)) << i;
    }
    EXPECT_EQ(Cmd("NextFrame", {1, 100000, 100000, 4}), ERR_ANIMFRAME);
    ASSERT_EQ(Cmd("NextFrame", {1, 100000, 100000, 2}), 0);

    // Two new frames before the one shown: the layer's own copy changes,
    // the script's anim and the other layer do not.
    ASSERT_EQ(Cmd("ModifyLayerFrames", {1, 2, 1}), 0);
    EXPECT_EQ(CountAnims(), 2);
    EXPECT_NE(first->source.pointer, nullptr);
    EXPECT_EQ(Get(1)->frames, 3);
    EXPECT_EQ(Get(1)->layerUses, 1);
    EXPECT_EQ(Layer(2)->source.number, 1);
    auto *copy = static_cast<cxAnim *>(first->source.pointer);
    EXPECT_EQ(copy->frames, 5);
    EXPECT_EQ(first->base->partX, 3);
    EXPECT_EQ(Composed(12, 12), CellColour(1));
    // The frame shown removed: the first frame (a new blank one) shows.
    ASSERT_EQ(Cmd("ModifyLayerFrames", {1, -1, 4}), 0);
    EXPECT_EQ(first->source.pointer, copy);
    EXPECT_EQ(copy->frames, 4);
    EXPECT_EQ(first->base->partX, 0);
    EXPECT_EQ(Composed(12, 12), 0u);
    EXPECT_EQ(Cmd("ModifyLayerFrames", {1, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ModifyLayerFrames", {1, -4}), ERR_WRONGUSAGE);
    // The copy goes with its layer.
    ASSERT_EQ(Cmd("RemoveLayer", {1}), 0);
    EXPECT_EQ(CountAnims(), 1);
}

}  // namespace
