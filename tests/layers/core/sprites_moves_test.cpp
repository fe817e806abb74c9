// Sprites and moves wired to the layer core: the compositor's sprite pass
// and SafeBlt keeping sprites on top, EnableLayers refused while sprites
// show, Collision of sprites, asynchronous moves stepped by the display's
// frames, layers moved (also the effect mode) and removed under a move.
#include <random>
#include <vector>

#include "display/double_buffer.h"
#include "display/events/event_pump.h"
#include "display/picture.h"
#include "display/present.h"
#include "images/bgpics/bgpic_display.h"
#include "images/core/display_core.h"
#include "images/editing/brush_commands.h"
#include "images/moves/move_library.h"
#include "images/moves/object_move.h"
#include "images/sprites/sprite.h"
#include "images/sprites/sprite_library.h"
#include "layers/core/async_draw.h"
#include "layers/core/layer_insert.h"
#include "tests/layers/layer_test_display.h"

namespace sprites_on_layers {

using Points = std::vector<std::pair<int32_t, int32_t>>;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBack = 0x000080;

void Record(void *user, int32_t x, int32_t y) { static_cast<Points *>(user)->emplace_back(x, y); }

class SpritesOnLayers : public cxtest::LayerDisplayTest {
  protected:
    Points points;

    void SetUp() override {
        LayerDisplayTest::SetUp();
        ASSERT_EQ(OpenSpriteLibrary(L), 0);
        ASSERT_EQ(OpenMoveObjectLibrary(L), 0);
        SetMoveObserver(Record, &points);
        d->layersOn = 0;
    }
    void TearDown() override {
        SetMoveObserver(nullptr, nullptr);
        FreeAllAsyncDraws(L, nullptr);
        FreeAllSprites(L);
        LayerDisplayTest::TearDown();
    }
    // A sprite of one colour whose top-left pixel is clear.
    void HoledSprite(int id, int w, int h, uint32_t colour) {
        cxBitmap *b = AllocBitmap(w, h, 0, 0), *m = nullptr;
        FillRect(b, 0, 0, w, h, colour);
        m = AllocMask(b, w, h, 1, nullptr, 0);
        FillMaskRect(m, 0, 0, w, h, CX_MASKVISIBLE);
        FillMaskRect(m, 0, 0, 1, 1, CX_MASKINVISIBLE);
        cxObjectID oid{id, nullptr};
        ASSERT_EQ(AddSpriteRecord(&oid, 1, w, h, &b, &m, nullptr, nullptr, -1, nullptr), 0);
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) WaitDisplayFrame(L, d, 0);
    }
};

TEST_F(SpritesOnLayers, SpritesShowOverThePictureAndStayOnTop) {
    HoledSprite(1, 10, 10, kRed);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 20, 20}), 0);
    EXPECT_EQ(Composed(25, 25), kRed);
    EXPECT_EQ(Composed(20, 20), kBack);  // through the hole
    // A brush drawn under the sprite goes into the picture; the window
    // shows the sprite over it.
    Brush(2, 30, 30, kGreen);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 10, 10}), 0);
    EXPECT_EQ(Shown(25, 25), kGreen);
    EXPECT_EQ(Composed(25, 25), kRed);
    EXPECT_EQ(Composed(20, 20), kGreen);
    EXPECT_EQ(Composed(12, 12), kGreen);
    // A whole repaint keeps them too.
    FillRect(GetCompositionBuffer(L, d), 0, 0, d->pictureWidth, d->pictureHeight, 0);
    GetDisplayPictureHooks()->refreshWholeDisplay(L, d, 0);
    EXPECT_EQ(Composed(25, 25), kRed);
    EXPECT_EQ(Composed(12, 12), kGreen);
}

// Moves of shown sprites are repainted together: the window's picture is
// the old one until the event pump turns (every wait does) or the display's
// frame, and then it is that of a repaint of everything.
TEST_F(SpritesOnLayers, SpriteMovesShowAtTheNextWaitOrFrameAllAtOnce) {
    HoledSprite(1, 10, 10, kRed);
    HoledSprite(2, 12, 8, kGreen);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 20, 20}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 26, 24}), 0);
    cxBitmap *c = GetCompositionBuffer(L, d);
    const int W = d->pictureWidth, H = d->pictureHeight;
    cxBitmap *want = AllocBitmap(W, H, 0, 0);
    auto same = [&] {
        RedrawLayersRect(L, d, d->bgpic, want, 0, 0, W, H, 0, nullptr);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t a = 0, b = 0;
                ReadBitmapPixel(c, x, y, &a);
                ReadBitmapPixel(want, x, y, &b);
                if (a != b) return false;
            }
        return true;
    };
    ASSERT_TRUE(same());
    for (int step = 0; step < 2; ++step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(Cmd("DisplaySprite", {1, double(21 + step), 20}), 0);  // overlapping boxes: one union
        ASSERT_EQ(Cmd("DisplaySprite", {2, 40, 30}), 0);          // apart: old and new box
        EXPECT_EQ(Composed(20 + step, 22), kRed);                  // not yet
        if (step == 0) {
            int code = 0;
            EXPECT_EQ(ProcessEvents(L, CX_PUMP_WAITING, 0, &code), 0);
        } else {
            Frames(1);
        }
        EXPECT_TRUE(same());
        EXPECT_EQ(Composed(22 + step, 22), kRed);
        EXPECT_EQ(Composed(33, 26), kBack);
        EXPECT_EQ(Composed(45, 33), kGreen);
        ASSERT_EQ(Cmd("DisplaySprite", {2, 26, 24}), 0);
        ShowPendingRepaints(L);
    }
    FreeBitmap(want);
}

// Many sprites moved at random, repainted together: each is drawn into
// every rectangle of the region it meets, once, in list order.
TEST_F(SpritesOnLayers, RandomSpriteMovesRepaintedTogetherMatchAWholeRepaint) {
    std::mt19937 rng(5);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Tall enough for sprites and boxes that reach over several rows of
    // the pass.
    GetDisplayPictureHooks()->freeOwnPicture(L, d);
    d->os.width = 160, d->os.height = 300;
    ASSERT_EQ(GetDisplayPictureHooks()->makeOwnPicture(L, d), 0);
    const int W = d->pictureWidth, H = d->pictureHeight;
    ASSERT_EQ(H, 300);
    FillRect(d->picture, 10, 100, 50, 150, kGreen);
    for (int i = 1; i <= 30; ++i) {
        HoledSprite(i, rnd(1, 60), rnd(1, 150), uint32_t(rnd(1, 0xFFFFFF)));
        ASSERT_EQ(Cmd("DisplaySprite", {double(i), double(rnd(-20, W)), double(rnd(-20, H))}), 0);
    }
    cxBitmap *c = GetCompositionBuffer(L, d), *want = AllocBitmap(W, H, 0, 0);
    for (int round = 0; round < 20; ++round) {
        for (int n = rnd(1, 30); n > 0; --n) {
            const int id = rnd(1, 30);
            ASSERT_EQ(Cmd("DisplaySprite", {double(id), double(rnd(-20, W)), double(rnd(-20, H))}), 0);
        }
        ShowPendingRepaints(L);
        RedrawLayersRect(L, d, d->bgpic, want, 0, 0, W, H, 0, nullptr);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t a = 0, b = 0;
                ReadBitmapPixel(c, x, y, &a);
                ReadBitmapPixel(want, x, y, &b);
                ASSERT_EQ(a, b) << "round " << round << " at " << x << "," << y;
            }
    }
    FreeBitmap(want);
}

TEST_F(SpritesOnLayers, LayersAndSpritesExcludeEachOther) {
    HoledSprite(1, 10, 10, kRed);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    EXPECT_EQ(Cmd("EnableLayers", {}), ERR_NOSPRITES);
    EXPECT_EQ(d->layersOn, 0u);
    ASSERT_EQ(Cmd("RemoveSprites", {}), 0);
    ASSERT_EQ(Cmd("EnableLayers", {}), 0);
    EXPECT_EQ(Cmd("DisplaySprite", {1, 0, 0}), ERR_LAYERSOFF);
    EXPECT_EQ(Cmd("MoveSprite", {1, 0, 0, 5, 5}), ERR_LAYERSOFF);
    ASSERT_EQ(Cmd("DisableLayers", {}), 0);
    EXPECT_EQ(Cmd("MoveLayer", {1, 0, 0, 5, 5}), ERR_NOLAYERS);
}

TEST_F(SpritesOnLayers, WhatShowsOverThePictureIsComposedAndKeepsDoubleBufferingOff) {
    HoledSprite(1, 10, 10, kRed);
    EXPECT_EQ(ComposeBGPicBitmap(L, d, d->bgpic), d->picture);  // nothing over it
    ASSERT_EQ(Cmd("DisplaySprite", {1, 4, 4}), 0);
    cxBitmap *shown = ComposeBGPicBitmap(L, d, d->bgpic);
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(shown, d->picture);
    EXPECT_EQ(PixelOf(shown, 6, 6), kRed);
    EXPECT_EQ(PixelOf(shown, 4, 4), kBack);
    // A transition starts from what the window shows, sprites included.
    ASSERT_EQ(Cmd("CreateBGPic", {2, 64, 48, 0x00FF00}), 0);
    cxBitmap *next = nullptr, *snapshot = nullptr;
    ASSERT_EQ(ShowBGPicTransition(L, {2, nullptr}, CX_POSITION_ABSENT, CX_POSITION_ABSENT, &next, &snapshot), 0);
    EXPECT_EQ(PixelOf(snapshot, 6, 6), kRed);
    EXPECT_EQ(PixelOf(next, 6, 6), 0x00FF00u);  // the sprites stay with their BGPic
    FreeBitmap(next);
    FreeBitmap(snapshot);
    EXPECT_EQ(ComposeBGPicBitmap(L, d, d->bgpic), d->picture);
    luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 4, 4}), 0);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_NOSPRITES);
    ASSERT_EQ(Cmd("RemoveSprites", {}), 0);
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
    FreeDisplayDoubleBuffer(d);  // (the player frees it with the display)
}

TEST_F(SpritesOnLayers, CollisionsOfSprites) {
    HoledSprite(1, 10, 10, kRed);
    HoledSprite(2, 10, 10, kGreen);
    EXPECT_EQ(Cmd("Collision", {32, 1, 2}), ERR_SPRITEONSCREEN);
    EXPECT_EQ(Cmd("Collision", {32, 9, 1}), ERR_FINDSPRITE);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 9, 9}), 0);
    // They share one pixel, the second's clear one.
    ASSERT_EQ(Cmd("Collision", {32, 1, 2}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 8, 8}), 0);
    ASSERT_EQ(Cmd("Collision", {32, 1, 2}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
    ASSERT_EQ(Cmd("Collision", {48, 1, 0, 0, 1, 1}), 0);  // its own clear pixel
    EXPECT_EQ(lua_tonumber(L, -1), 0);
    Brush(3, 4, 4, kGreen);
    ASSERT_EQ(Cmd("Collision", {58, 1, 3, 6, 6}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(SpritesOnLayers, AnAsyncMoveStepsOncePerDisplayFrame) {
    Brush(1, 6, 6, kGreen);
    ASSERT_EQ(Cmd("MoveBrush", {1, 0, 0, 40, 0}, [&] { Field("speed", 10), Field("async", 1); }), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    auto *draw = static_cast<cxAsyncDraw *>(lua_touserdata(L, 1));
    EXPECT_TRUE(IsAsyncDrawAlive(draw));
    EXPECT_TRUE(points.empty());  // nothing before the first frame
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    for (int frame = 1; frame <= 5; ++frame) {
        Frames(1);
        ASSERT_EQ(points.size(), size_t(frame));
        EXPECT_EQ(points.back().first, (frame - 1) * 10);
        EXPECT_EQ(Cmd("FreeBrush", {1}), frame < 5 ? ERR_LOCKEDOBJ : 0);
        if (frame < 5) EXPECT_TRUE(IsAsyncDrawAlive(draw));
    }
    EXPECT_FALSE(IsAsyncDrawAlive(draw));
    EXPECT_EQ(Shown(42, 2), kGreen);
    EXPECT_EQ(Shown(2, 2), kBack);
}

TEST_F(SpritesOnLayers, LayersMoveAndGoUnderAMove) {
    d->layersOn = 1;
    Brush(1, 6, 6, kGreen);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Count(), 1);
    ASSERT_EQ(Cmd("MoveLayer", {1, 0, 0, 30, 20, 15}), 0);
    EXPECT_EQ(points.back(), (std::pair<int32_t, int32_t>{30, 20}));
    EXPECT_EQ(Layer(1)->base->x, 30);
    EXPECT_EQ(Composed(32, 22), kGreen);
    EXPECT_EQ(Composed(2, 2), kBack);
    EXPECT_EQ(Cmd("MoveLayer", {2, 0, 0, 30, 20}), ERR_LAYERRANGE);

    // Asynchronously: the layer is the draw's; a rebuilt layer takes its
    // place; a removed one ends the move.
    points.clear();
    ASSERT_EQ(Cmd("MoveLayer", {1, 0, 0, 60, 0}, [&] { Field("speed", 10), Field("async", 1); }), 0);
    auto *draw = static_cast<cxAsyncDraw *>(lua_touserdata(L, 1));
    cxLayer *layer = Layer(1);
    EXPECT_TRUE(IsAsyncDrawObject(layer));
    Frames(2);
    EXPECT_EQ(Layer(1)->base->x, 10);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 30}), 0);
    cxLayer *other = Layer(2);
    void *pair[2] = {layer, other};
    EXPECT_EQ(NotifyAsyncDraws(CX_ASYNC_LAYER_REPLACED, pair), 0);
    Frames(1);
    EXPECT_EQ(other->base->x, 20);
    EXPECT_EQ(layer->base->x, 10);
    UnlinkLayer(L, other, 0, nullptr, nullptr, 0);
    Frames(1);
    EXPECT_FALSE(IsAsyncDrawAlive(draw));
    EXPECT_EQ(points.size(), 3u);
}

TEST_F(SpritesOnLayers, TheEffectModeMovesALayer) {
    d->layersOn = 1;
    Brush(1, 8, 8, kGreen);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    cxObjectMove m{};
    m.L = L;
    m.kind = CX_MOVE_OBJECT_PICTURE;
    m.flags = CX_MOVE_THROUGH_LAYERS;
    m.layer = Layer(1);
    m.width = m.height = 8;
    m.x1 = -40000;  // #RIGHTOUT
    m.y1 = m.y2 = 20;
    m.x2 = 20;
    m.speed = 25;
    m.effect = 1;
    ASSERT_EQ(RunObjectMove(&m), 0);
    EXPECT_EQ(Layer(1)->base->x, 64);  // waiting at the start, outside
    EXPECT_EQ(Composed(22, 22), kBack);
    int done = 0;
    while (!done) ASSERT_EQ(m.step(&m, &done), 0);
    EXPECT_EQ(points, (Points{{64, 20}, {39, 20}, {20, 20}}));
    EXPECT_EQ(Composed(22, 22), kGreen);
    m.free(&m, 0);
}

}  // namespace sprites_on_layers
