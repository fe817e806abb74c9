// Sprites through their commands on an off-screen display: showing and
// moving (frames, the repainted boxes), depth, removal, links, scaling,
// flipping, copies, the output checks and frames kept raw until a display
// exists.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "tests/images/sprites/sprite_test_display.h"

namespace {

using cxtest::RepaintBox;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBack = 0x000080;

class Sprites : public cxtest::SpriteDisplayTest {
  protected:
    int Auto(const char *name, std::initializer_list<double> rest) {
        return Call(name, [&] {
            lua_pushnil(L);
            for (double v : rest) lua_pushnumber(L, v);
        });
    }
};

TEST_F(Sprites, FrameZeroAdvancesAndWraps) {
    Sprite(1, 8, 8, {kRed, kGreen, kBlue});
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10}), 0);  // a new sprite shows frame 1
    EXPECT_EQ(NodeFrame(1), 1);
    EXPECT_EQ(Composed(12, 12), kRed);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10, 3}), 0);
    EXPECT_EQ(Composed(12, 12), kBlue);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10, 0}), 0);  // past the last: the first
    EXPECT_EQ(NodeFrame(1), 1);
    EXPECT_EQ(Composed(12, 12), kRed);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10}), 0);
    EXPECT_EQ(NodeFrame(1), 2);
    // The same frame at the same place repaints nothing.
    Repaints().clear();
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10, 2}), 0);
    EXPECT_TRUE(Repaints().empty());
    EXPECT_EQ(Cmd("DisplaySprite", {1, 10, 10, 4}), ERR_ANIMFRAME);
    EXPECT_EQ(Cmd("DisplaySprite", {1, 10, 10, -1}), ERR_ANIMFRAME);
    EXPECT_EQ(Cmd("DisplaySprite", {9, 0, 0}), ERR_FINDSPRITE);
    EXPECT_EQ(Cmd("DisplaySprite", {1, std::nan(""), 0}), ERR_WRONGUSAGE);
    // The picture itself is never drawn into.
    EXPECT_EQ(Shown(12, 12), kBack);
}

TEST_F(Sprites, AMoveRepaintsOneUnionOrTwoBoxes) {
    Sprite(1, 8, 6, {kRed});
    ASSERT_EQ(Cmd("DisplaySprite", {1, 10, 10}), 0);
    EXPECT_EQ(Repaints(), (std::vector<RepaintBox>{{10, 10, 8, 6}}));
    Repaints().clear();
    ASSERT_EQ(Cmd("DisplaySprite", {1, 11, 10}), 0);
    EXPECT_EQ(Repaints(), (std::vector<RepaintBox>{{10, 10, 9, 6}}));
    // Boxes that only touch are two.
    Repaints().clear();
    ASSERT_EQ(Cmd("DisplaySprite", {1, 19, 10}), 0);
    EXPECT_EQ(Repaints(), (std::vector<RepaintBox>{{11, 10, 8, 6}, {19, 10, 8, 6}}));
    EXPECT_EQ(Composed(12, 12), kBack);
    EXPECT_EQ(Composed(20, 12), kRed);
    // Special coordinates resolve against the sprite and the display.
    ASSERT_EQ(Cmd("DisplaySprite", {1, -100000, -60000}), 0);  // #CENTER, #BOTTOM
    cxSpriteDrawNode *n = nullptr;
    ASSERT_EQ(FindOnScreenSprite({1, nullptr}, &n, nullptr), 0);
    EXPECT_EQ(n->x, (64 - 8) / 2);
    EXPECT_EQ(n->y, 48 - 6);
}

TEST_F(Sprites, DepthOrderAndItsRefusals) {
    Sprite(1, 8, 8, {kRed});
    Sprite(2, 8, 8, {kGreen});
    Sprite(3, 8, 8, {kBlue});
    for (int id : {1, 2, 3}) ASSERT_EQ(Cmd("DisplaySprite", {double(id), 10, 10}), 0);
    EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Composed(12, 12), kBlue);
    struct Case {
        int id, pos, err;
        std::vector<int> order;
    } cases[] = {
        {3, 1, 0, {3, 1, 2}},            // to the bottom
        {3, 1, ERR_WRONGUSAGE, {3, 1, 2}},  // its own place
        {3, 0, 0, {1, 2, 3}},            // to the top
        {3, 0, ERR_WRONGUSAGE, {1, 2, 3}},  // already on top
        {1, 2, 0, {2, 1, 3}},
        {1, 4, ERR_WRONGUSAGE, {2, 1, 3}},  // past the end
        {1, -1, ERR_WRONGUSAGE, {2, 1, 3}},
        {2, 3, 0, {1, 3, 2}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Cmd("SetSpriteZPos", {double(c.id), double(c.pos)}), c.err) << c.id << " to " << c.pos;
        EXPECT_EQ(Order(), c.order) << c.id << " to " << c.pos;
    }
    EXPECT_EQ(Composed(12, 12), kGreen);
    Sprite(4, 8, 8, {kRed});
    EXPECT_EQ(Cmd("SetSpriteZPos", {4, 1}), ERR_SPRITEONSCREEN);
}

TEST_F(Sprites, EntriesOfOtherOwnersStayOnTop) {
    Sprite(1, 8, 8, {kRed});
    Sprite(2, 8, 8, {kGreen});
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    int owner = 0;
    cxSpriteDrawNode *video = nullptr;
    ASSERT_EQ(AddSpriteDrawNode(d->bgpic, {0, &owner}, 0, 0, 4, 4, &owner, &video), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 0, 0}), 0);
    ASSERT_EQ(Cmd("SetSpriteZPos", {1, 0}), 0);
    EXPECT_EQ(Order(), (std::vector<int>{2, 1, -1}));
    EXPECT_EQ(CountSprites(d->bgpic), 2);
    EXPECT_TRUE(RectOverlapsSprites(d->bgpic, 3, 3, 1, 1));
    RemoveOwnerDrawNodes(d->bgpic, &owner);
    EXPECT_EQ(Order(), (std::vector<int>{2, 1}));
}

TEST_F(Sprites, RemovingSprites) {
    Sprite(1, 8, 8, {kRed});
    Sprite(2, 8, 8, {kGreen});
    EXPECT_EQ(Cmd("RemoveSprite", {1}), ERR_SPRITEONSCREEN);
    EXPECT_EQ(GetErrorNumber(), 1);
    EXPECT_EQ(Cmd("RemoveSprite", {7}), ERR_FINDSPRITE);
    ASSERT_EQ(Auto("CreateSprite", {32, 1}), 0);  // an automatic ID
    void *id = lua_touserdata(L, 1);
    EXPECT_EQ(Call("RemoveSprite", [&] { lua_pushlightuserdata(L, id); }), ERR_SPRITEONSCREEN2);
    EXPECT_EQ(Call("RemoveSprite", [&] { lua_pushlightuserdata(L, &id); }), ERR_FINDARRAY);

    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 20, 0}), 0);
    Repaints().clear();
    ASSERT_EQ(Cmd("RemoveSprite", {1}), 0);
    EXPECT_EQ(Repaints(), (std::vector<RepaintBox>{{0, 0, 8, 8}}));
    EXPECT_EQ(Composed(2, 2), kBack);
    // Without keep every sprite goes; with it, their pictures stay in the
    // display's picture.
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("RemoveSprites", {1}), 0);
    EXPECT_EQ(CountSprites(d->bgpic), 0);
    EXPECT_EQ(Shown(2, 2), kRed);
    EXPECT_EQ(Shown(22, 2), kGreen);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 40, 0}), 0);
    ASSERT_EQ(Cmd("RemoveSprites", {}), 0);
    EXPECT_EQ(Composed(42, 2), kBack);
    EXPECT_EQ(Cmd("RemoveSprites", {}), 0);
}

TEST_F(Sprites, LinksAreMadeOfPlainSpritesOfOneSize) {
    Sprite(1, 8, 8, {kRed, kGreen});
    Sprite(2, 8, 8, {kBlue});
    Sprite(3, 4, 8, {kBlue});
    ASSERT_EQ(Cmd("CreateSprite", {10, 32, 1, 2, 1}), 0);
    cxSprite *link = nullptr;
    ASSERT_EQ(FindSprite(L, {10, nullptr}, &link, 0), 0);
    EXPECT_EQ(link->frames, 5);
    // Its frames walk the members.
    const uint32_t expect[] = {kRed, kGreen, kBlue, kRed, kGreen};
    for (int f = 1; f <= 5; ++f) {
        ASSERT_EQ(Cmd("DisplaySprite", {10, 0, 0, double(f)}), 0);
        EXPECT_EQ(Composed(1, 1), expect[f - 1]) << f;
    }
    EXPECT_EQ(Cmd("CreateSprite", {11, 32, 1, 3}), ERR_WRONGSPRITESIZE);
    EXPECT_EQ(Cmd("CreateSprite", {11, 32, 2, 10}), ERR_SPRITELINK);
    EXPECT_EQ(Cmd("CreateSprite", {11, 32, 2, 9}), ERR_FINDSPRITE);
    // Neither a link nor its members can change.
    EXPECT_EQ(Cmd("ScaleSprite", {10, 4, 4}), ERR_MODIFYSPRITE);  // on screen first
    ASSERT_EQ(Cmd("RemoveSprite", {10}), 0);
    EXPECT_EQ(Cmd("ScaleSprite", {10, 4, 4}), ERR_MODIFYSPRITE2);
    EXPECT_EQ(Cmd("FlipSprite", {2, 0}), ERR_MODIFYSPRITE2);
    // A copy of a link is a link of the same members.
    ASSERT_EQ(Cmd("CopySprite", {10, 12}), 0);
    cxSprite *copy = nullptr;
    ASSERT_EQ(FindSprite(L, {12, nullptr}, &copy, 0), 0);
    ASSERT_NE(copy->group, nullptr);
    EXPECT_EQ(copy->group[0], link->group[0]);
    EXPECT_EQ(copy->frames, 5);

    // Freeing a member frees the links that hold it, shown or not.
    ASSERT_EQ(Cmd("DisplaySprite", {10, 30, 30}), 0);
    ASSERT_EQ(Cmd("FreeSprite", {2}), 0);
    EXPECT_EQ(FindSprite(L, {10, nullptr}, &link, 0), ERR_FINDSPRITE);
    EXPECT_EQ(FindSprite(L, {12, nullptr}, &copy, 0), ERR_FINDSPRITE);
    EXPECT_EQ(CountSpriteRecords(), 2);
    EXPECT_EQ(CountSprites(d->bgpic), 0);
    EXPECT_EQ(Composed(32, 32), kBack);
    EXPECT_EQ(Cmd("FreeSprite", {2}), ERR_FINDSPRITE);
}

TEST_F(Sprites, ScaleAndFlip) {
    Sprite(1, 8, 4, {kRed, kGreen});
    EXPECT_EQ(Cmd("ScaleSprite", {1, 0, 4}), ERR_BADDIMENSIONS);
    EXPECT_EQ(Call("ScaleSprite", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "0%"), lua_pushnumber(L, 4); }),
              ERR_BADDIMENSIONS);
    EXPECT_EQ(Cmd("ScaleSprite", {1, -5, 4}), ERR_BADDIMENSIONS);
    ASSERT_EQ(Call("ScaleSprite", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "200%"), lua_pushnumber(L, 100000); }),
              0);
    cxSprite *s = nullptr;
    ASSERT_EQ(FindSprite(L, {1, nullptr}, &s, 0), 0);
    EXPECT_EQ(s->width, 16);
    EXPECT_EQ(s->height, 8);  // kept in proportion
    EXPECT_EQ(s->bitmaps[1]->width, 16);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0, 2}), 0);
    EXPECT_EQ(Composed(15, 7), kGreen);
    EXPECT_EQ(Cmd("FlipSprite", {1, 0}), ERR_MODIFYSPRITE);
    ASSERT_EQ(Cmd("RemoveSprite", {1}), 0);

    // A sprite with a hole at its top-left: flipped across, the hole is at
    // the top-right.
    Sprite(2, 6, 4, {kRed}, true);
    ASSERT_EQ(Cmd("FlipSprite", {2, 0}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 10, 10}), 0);
    EXPECT_EQ(Composed(10, 10), kRed);
    EXPECT_EQ(Composed(15, 10), kBack);
    ASSERT_EQ(Cmd("RemoveSprite", {2}), 0);
    ASSERT_EQ(Cmd("FlipSprite", {2, 1}), 0);  // and down
    ASSERT_EQ(Cmd("DisplaySprite", {2, 10, 10}), 0);
    EXPECT_EQ(Composed(15, 13), kBack);
    EXPECT_EQ(Composed(15, 10), kRed);
}

TEST_F(Sprites, CopiesOwnTheirFrames) {
    Sprite(1, 8, 8, {kRed, kGreen});
    EXPECT_EQ(Cmd("CopySprite", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Call("CopySprite", [&] { lua_pushnumber(L, 1), lua_pushnil(L); }), 0);
    auto *copy = static_cast<cxSprite *>(lua_touserdata(L, 1));
    ASSERT_NE(copy, nullptr);
    cxSprite *s = nullptr;
    ASSERT_EQ(FindSprite(L, {1, nullptr}, &s, 0), 0);
    EXPECT_NE(copy->bitmaps[0], s->bitmaps[0]);
    ASSERT_EQ(Cmd("ScaleSprite", {1, 2, 2}), 0);
    EXPECT_EQ(copy->width, 8);
    // A number in use is freed first.
    Sprite(2, 3, 3, {kBlue});
    ASSERT_EQ(Cmd("CopySprite", {1, 2}), 0);
    ASSERT_EQ(FindSprite(L, {2, nullptr}, &s, 0), 0);
    EXPECT_EQ(s->width, 2);
    EXPECT_EQ(CountSpriteRecords(), 3);
}

TEST_F(Sprites, LockedSpritesStay) {
    cxSprite *s = Sprite(1, 8, 8, {kRed});
    s->locked = 1;
    EXPECT_EQ(Cmd("FreeSprite", {1}), ERR_LOCKEDOBJ);
    EXPECT_EQ(Cmd("ScaleSprite", {1, 2, 2}), ERR_LOCKEDOBJ);
    EXPECT_EQ(Cmd("CopySprite", {1, 1}), ERR_WRONGUSAGE);
    Sprite(2, 8, 8, {kRed});
    EXPECT_EQ(Cmd("CopySprite", {2, 1}), ERR_LOCKEDOBJ);  // the old one cannot go
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    EXPECT_EQ(Cmd("RemoveSprites", {}), ERR_LOCKEDOBJ);
    // A link holding a locked member cannot go either way.
    ASSERT_EQ(Cmd("CreateSprite", {3, 32, 2}), 0);
    cxSprite *link = nullptr;
    ASSERT_EQ(FindSprite(L, {3, nullptr}, &link, 0), 0);
    link->locked = 1;
    EXPECT_EQ(Cmd("FreeSprite", {2}), ERR_LOCKEDOBJ);
    link->locked = 0;
    s->locked = 0;
}

TEST_F(Sprites, OutputChecksInTheirOrder) {
    Sprite(1, 8, 8, {kRed});
    InstallOutputRedirection();
    luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
    ASSERT_EQ(Cmd("CreateBrush", {5, 8, 8, 0}), 0);
    struct Case {
        const char *what;
        std::function<void()> setUp, tearDown;
        int err;
    } cases[] = {
        {"select brush", [&] { ASSERT_EQ(Cmd("SelectBrush", {5}), 0); }, [&] { Cmd("EndSelect", {}); },
         ERR_SELECTBRUSH},
        {"select mask", [&] { ASSERT_EQ(Cmd("SelectMask", {5}), 0); }, [&] { Cmd("EndSelect", {}); }, ERR_SELECTMASK},
        {"select alpha", [&] { ASSERT_EQ(Cmd("SelectAlphaChannel", {5}), 0); }, [&] { Cmd("EndSelect", {}); },
         ERR_SELECTALPHACHANNEL},
        {"layers mode", [&] { d->targetKind = 1; }, [&] { d->targetKind = CX_OBJECT_DISPLAY; }, ERR_SELECTBG},
        {"double buffer", [&] { d->targetKind = 3, d->doubleBuffer1 = 1; },
         [&] { d->targetKind = CX_OBJECT_DISPLAY, d->doubleBuffer1 = 0; }, ERR_ENDDOUBLEBUFFER},
        {"layers on", [&] { d->layersOn = 1; }, [&] { d->layersOn = 0; }, ERR_LAYERSOFF},
    };
    for (const Case &c : cases) {
        c.setUp();
        EXPECT_EQ(Cmd("DisplaySprite", {1, 0, 0}), c.err) << c.what;
        EXPECT_EQ(Cmd("RemoveSprites", {}), c.err) << c.what;
        EXPECT_EQ(Cmd("SetSpriteZPos", {1, 1}), c.err) << c.what;
        EXPECT_EQ(Cmd("RemoveSprite", {1}), c.err) << c.what;
        c.tearDown();
    }
    // Layers on the BGPic refuse sprites though the display has them off.
    cxLayerHooks hooks = *GetLayerHooks();
    hooks.countLayers = [](const cxBGPic *) { return 1; };
    SetLayerHooks(&hooks);
    EXPECT_EQ(Cmd("DisplaySprite", {1, 0, 0}), ERR_LAYERSOFF);
    RemoveOutputRedirection();
}

TEST_F(Sprites, MarkedSpritesAreRedrawnAsOneBoxOnAWidePicture) {
    // The display shows a BGPic wider than 10,000 pixels (its picture
    // stays the small one: repaints are only recorded out there).
    ASSERT_EQ(Cmd("CreateBGPic", {2, 12000, 40, double(kBack)}), 0);
    cxBGPic *wide = nullptr, *own = d->bgpic;
    ASSERT_EQ(FindBGPic(L, {2, nullptr}, &wide, 0), 0);
    d->bgpic = wide;
    Sprite(1, 8, 8, {kRed});
    Sprite(2, 8, 8, {kGreen});
    Sprite(3, 8, 8, {kBlue});
    ASSERT_EQ(Cmd("DisplaySprite", {1, 11000, 4}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {2, 11500, 20}), 0);
    ASSERT_EQ(Cmd("DisplaySprite", {3, 20, 20}), 0);
    cxSpriteDrawNode *n = GetSpriteDrawList(wide);
    n->mark = 5, n->next->mark = 5;
    Repaints().clear();
    RedrawMarkedSprites(L, 5);
    EXPECT_EQ(Repaints(), (std::vector<RepaintBox>{{11000, 4, 508, 24}}));
    EXPECT_EQ(n->mark, 0);
    // A node marked -1 is never drawn.
    n->next->next->mark = -1;
    EXPECT_EQ(Composed(22, 22), kBack);
    EXPECT_FALSE(RectOverlapsSprites(wide, 20, 20, 2, 2));
    n->next->next->mark = 0;
    EXPECT_EQ(Composed(22, 22), kBlue);
    d->bgpic = own;
}

TEST_F(Sprites, RawFramesBecomeBitmapsOnceADisplayExists) {
    std::vector<uint32_t> px(4 * 4, 0xFF00FF00u);
    px[0] = 0xFFFF00FFu;  // the transparent colour
    auto *raw = static_cast<uint32_t *>(malloc(px.size() * 4));
    memcpy(raw, px.data(), px.size() * 4);
    cxObjectID id{1, nullptr};
    cxSprite *s = nullptr;
    cxBitmap *none[1] = {nullptr};
    uint32_t *raws[1] = {raw};
    ASSERT_EQ(AddSpriteRecord(&id, 1, 4, 4, none, none, none, raws, 0xFF00FF, &s), 0);
    ASSERT_EQ(RealizePendingSprites(L), 0);
    EXPECT_EQ(s->raw, nullptr);
    ASSERT_NE(s->bitmaps[0], nullptr);
    ASSERT_NE(s->masks[0], nullptr);
    ASSERT_EQ(Cmd("DisplaySprite", {1, 0, 0}), 0);
    EXPECT_EQ(Composed(0, 0), kBack);
    EXPECT_EQ(Composed(1, 1), kGreen);
}

}  // namespace
