// The frame builder's road to sprites (LoadSprite from anim files and
// stills, CreateSprite from brushes and anims, frames kept raw while
// declared objects load) and anims moved by the move engine.
#include <gtest/gtest.h>

#include "engine/runtime/kernel.h"
#include "layers/ops/move_lists.h"
#include "tests/images/sprites/sprite_test_display.h"
#include "tests/media/anim/anim_test_support.h"

namespace anim_sprites {

using cxtest::CellColour;
using Points = std::vector<std::pair<int32_t, int32_t>>;

class AnimSprites : public cxtest::AnimTestOn<cxtest::SpriteDisplayTest> {
  protected:
    cxSprite *GetSprite(int id) {
        cxSprite *s = nullptr;
        EXPECT_EQ(FindSprite(L, {id, nullptr}, &s, 0), 0);
        return s;
    }
    uint32_t SpritePixel(cxSprite *s, int frame, int x, int y) {
        cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
        EXPECT_EQ(GetSpriteFrame(s, frame, &b, &m, &a), 0);
        return b ? PixelOf(b, x, y) : 0xDEADBEEF;
    }
    int LoadSprite(const std::function<void()> &id, const std::string &file, const std::function<void()> &fill = nullptr) {
        return Call("LoadSprite", [&] {
            id();
            lua_pushstring(L, file.c_str());
            if (fill) {
                lua_newtable(L);
                fill();
            }
        });
    }
    std::function<void()> Number(double n) {
        return [this, n] { lua_pushnumber(L, n); };
    }
};

TEST_F(AnimSprites, LoadSpriteFromAnimFilesAndStills) {
    const std::string gif = Gif("a.gif", 6, 4, {10, 10, 10}, true);
    ASSERT_EQ(LoadSprite(Number(1), gif, [&] { Field("transparency", 0xFF00FF); }), 0);
    cxSprite *s = GetSprite(1);
    EXPECT_EQ(s->frames, 3);
    EXPECT_EQ(s->width, 6);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(SpritePixel(s, f, 3, 2), CellColour(f)) << f;
    // The transparent colour shows through.
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10}), 0);
    EXPECT_EQ(Composed(13, 12), CellColour(0));
    EXPECT_EQ(Composed(10, 10), Shown(10, 10));
    // A number in use is replaced; Nil gives an automatic ID.
    ASSERT_EQ(LoadSprite(Number(1), GridPng("g.png", 4, 1, 5), [&] { Field("width", 5), Field("height", 5), Field("frames", 4); }),
              0);
    EXPECT_EQ(GetSprite(1)->frames, 4);
    EXPECT_EQ(SpritePixel(GetSprite(1), 3, 2, 2), CellColour(3));
    EXPECT_EQ(CountSprites(d->bgpic), 0);  // the old one left the screen
    ASSERT_EQ(LoadSprite([&] { lua_pushnil(L); }, gif), 0);
    EXPECT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    EXPECT_EQ(CountSpriteRecords(), 2);
    EXPECT_EQ(LoadSprite(Number(2), dir.Path("missing.gif")), ERR_READFILE);
}

TEST_F(AnimSprites, DeclaredSpritesKeepPixelsUntilADisplayExists) {
    const std::string gif = Gif("a.gif", 6, 4, {10, 10});
    SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END);
    ASSERT_EQ(LoadSprite(Number(1), gif), 0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END);
    cxSprite *s = GetSprite(1);
    ASSERT_NE(s->raw, nullptr);
    EXPECT_EQ(s->bitmaps[1], nullptr);
    ASSERT_EQ(RealizePendingSprites(L), 0);
    EXPECT_EQ(s->raw, nullptr);
    ASSERT_NE(s->bitmaps[1], nullptr);
    EXPECT_EQ(PixelOf(s->bitmaps[1], 1, 1), CellColour(1));
}

TEST_F(AnimSprites, CreateSpriteFromBrushesAndAnims) {
    // A brush of 3 x 2 cells of 4 pixels.
    ASSERT_EQ(Call("LoadBrush", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, GridPng("g.png", 3, 2, 4).c_str());
              }),
              0);
    ASSERT_EQ(Cmd("CreateSprite", {1, 3, 1, 4, 4, 5, 3}), 0);  // five cells, three a row
    cxSprite *s = GetSprite(1);
    EXPECT_EQ(s->frames, 5);
    EXPECT_EQ(SpritePixel(s, 4, 1, 1), CellColour(4));
    ASSERT_EQ(Cmd("CreateSprite", {2, 3, 1}), 0);  // the whole brush
    EXPECT_EQ(GetSprite(2)->width, 12);
    EXPECT_EQ(Cmd("CreateSprite", {3, 3, 1, 4, 4, 7, 3}), ERR_BRUSHSIZE);
    EXPECT_EQ(Cmd("CreateSprite", {3, 3, 1, 4, 4, 1, 1, -1, 0}), ERR_NEGCOORDS);
    EXPECT_EQ(Cmd("CreateSprite", {3, 3, 1, 4, 4, 1, 1, 0, 0, 0}), ERR_TOOMANYARGS);
    EXPECT_EQ(Cmd("CreateSprite", {3, 5, 1}), ERR_WRONGUSAGE);

    ASSERT_EQ(Load(1, Gif("a.gif", 6, 4, {10, 10})), 0);
    ASSERT_EQ(Cmd("CreateSprite", {3, 4, 1}), 0);
    EXPECT_EQ(GetSprite(3)->frames, 2);
    EXPECT_EQ(SpritePixel(GetSprite(3), 1, 0, 0), CellColour(1));
    EXPECT_EQ(Cmd("CreateSprite", {4, 4, 1, 2}), ERR_TOOMANYARGS);
    EXPECT_EQ(Cmd("CreateSprite", {4, 4, 9}), ERR_FINDANIM);
}

TEST_F(AnimSprites, AnAnimMovesWithItsFramesAndIsLocked) {
    ASSERT_EQ(Load(1, Gif("a.gif", 6, 4, {10, 10, 10})), 0);
    cxBitmap *before = DuplicateBitmap(d->picture, d->pictureWidth, d->pictureHeight);
    struct Watch {
        Points points;
        std::vector<int> freeing;
        lua_State *L;
    } watch{{}, {}, L};
    SetMoveObserver(
        [](void *user, int32_t x, int32_t y) {
            auto *w = static_cast<Watch *>(user);
            w->points.emplace_back(x, y);
            w->freeing.push_back(FreeAnimByID(w->L, {1, nullptr}, 1));
        },
        &watch);
    ASSERT_EQ(Cmd("MoveAnim", {1, 0, 0, 30, 0, 15, -2}), 0);  // a new frame every step
    EXPECT_EQ(watch.points, (Points{{0, 0}, {15, 0}, {30, 0}}));
    EXPECT_EQ(watch.freeing, (std::vector<int>{ERR_LOCKEDOBJ, ERR_LOCKEDOBJ, ERR_LOCKEDOBJ}));
    EXPECT_EQ(Shown(32, 2), CellColour(2));
    EXPECT_EQ(Shown(16, 2), PixelOf(before, 16, 2));
    EXPECT_EQ(Get(1)->lockCount, 0);
    // Frames read from disk are made and freed each step.
    ASSERT_EQ(Load(2, Gif("b.gif", 6, 4, {10, 10}), [&] { Field("fromdisk", 1); }), 0);
    ASSERT_EQ(Cmd("MoveAnim", {2, 40, 40, 10, 40, 10, -2}), 0);
    EXPECT_EQ(Shown(12, 42), CellColour(1));
    SetMoveObserver(nullptr, nullptr);
    FreeBitmap(before);
}

// Move lists advance anim layers: a NEXTFRAME entry shows an anim not
// shown yet at its second frame, then steps the layer it made; NEXTFRAME2
// sets a layer's frame.
class AnimMoveLists : public cxtest::AnimLayerTest {};

TEST_F(AnimMoveLists, NextFrameEntriesOnAnimLayers) {
    ASSERT_EQ(Load(1, Gif("a.gif", 6, 4, {10, 10, 10})), 0);
    ASSERT_EQ(Cmd("AddMove", {1, 29, 1, 10, 10, 0}), 0);
    ASSERT_EQ(Cmd("DoMove", {1}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->base->partX, 1);
    EXPECT_EQ(Composed(12, 12), CellColour(1));
    cxMoveList *m = nullptr;
    ASSERT_EQ(FindMoveList({1, nullptr}, &m), 0);
    m->a[0] = 30;
    ASSERT_EQ(Cmd("DoMove", {1}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->base->partX, 2);
    EXPECT_EQ(Composed(32, 12), CellColour(2));
    EXPECT_EQ(Composed(12, 12), 0x000080u);  // where it was
    ASSERT_EQ(Cmd("AddMove", {2, 34, 1, 0, 0, 1}), 0);
    ASSERT_EQ(Cmd("DoMove", {2}), 0);
    EXPECT_EQ(Layer(1)->base->partX, 0);
    EXPECT_EQ(Composed(2, 2), CellColour(0));
    EXPECT_EQ(Composed(32, 12), 0x000080u);
    m->c[0] = 7;
    EXPECT_EQ(Cmd("DoMove", {1}), ERR_ANIMFRAME);
}

}  // namespace anim_sprites
