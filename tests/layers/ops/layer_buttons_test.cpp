// Layer buttons: bound to a layer, hit on its box, its clip and, pixel
// exact, its visible pixels; active while hidden only when asked; they
// follow their layer and go with it.
#include "display/events/buttons.h"
#include "display/events/dispatcher.h"
#include "layers/ops/layer_rebuild.h"
#include "tests/layers/ops/layer_ops_fixture.h"

namespace {

class LayerButtons : public cxtest::LayerOpsTest {
  protected:
    void SetUp() override {
        LayerOpsTest::SetUp();
        static const luaL_reg cmds[] = {{"MakeButton", CmdMakeButton}, {"DeleteButton", CmdDeleteButton}, {nullptr, nullptr}};
        luaL_openlib(L, nullptr, cmds, 0);
    }
    void TearDown() override {
        FreeAllLayers(L, BGPic(), 1, 1);
        FreeAllButtons(L);
        LayerOpsTest::TearDown();
    }
    int Make(double id, cxtest::LayerOpsTest::Arg layer, int exact, int hidden) {
        return Call("MakeButton", [&] {
            lua_pushnumber(L, id), lua_pushnumber(L, 1);
            if (layer.kind == Arg::kString) lua_pushstring(L, layer.text);
            else lua_pushnumber(L, layer.number);
            lua_pushnumber(L, exact), lua_pushnumber(L, hidden);
            lua_newtable(L);
            lua_pushstring(L, "onmousedown");
            lua_pushvalue(L, LUA_GLOBALSINDEX);
            lua_pushstring(L, "makebutton");
            lua_gettable(L, -2);
            lua_remove(L, -2);
            lua_settable(L, -3);
        });
    }
    // 1 when a press at the picture point reaches a button.
    bool Press(int x, int y) {
        cxEventMessage msg{};
        const bool hit = ServeButtonPress(d, 1, 1, x, y, &msg) == 1;
        ServeButtonPress(d, 1, 0, x, y, &msg);
        return hit;
    }
};

TEST_F(LayerButtons, PixelExactButtonsIgnoreTransparentPixelsAndFollowTheirLayer) {
    // A brush whose left half is transparent.
    cxBrush *b = Brush(1, 10, 10, 0xFF0000);
    b->mask = AllocMask(b->bitmap, 10, 10, 1, nullptr, 0);
    FillMaskRect(b->mask, 5, 0, 5, 10, CX_MASKVISIBLE);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 40, 20}), 0);
    ASSERT_EQ(Make(1, 1, 1, 0), 0);
    ASSERT_EQ(Make(2, 2, 0, 0), 0);
    EXPECT_FALSE(Press(21, 25)) << "a transparent pixel";
    EXPECT_TRUE(Press(26, 25));
    EXPECT_TRUE(Press(41, 25)) << "the box alone decides without pixel exact";
    EXPECT_FALSE(Press(30, 25)) << "the right edge is outside";
    // The button follows its layer.
    ASSERT_EQ(Run("TranslateLayer", {1, 10, 0}), 0);
    EXPECT_FALSE(Press(26, 25));
    EXPECT_TRUE(Press(36, 25));
    // Hidden, it answers only when asked to.
    ASSERT_EQ(Run("HideLayer", {1}), 0);
    EXPECT_FALSE(Press(36, 25));
    ASSERT_EQ(Make(1, 1, 1, 1), 0);
    EXPECT_TRUE(Press(36, 25));
    // One button a layer.
    EXPECT_EQ(Make(3, 2, 0, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(Make(3, 9, 0, 0), ERR_LAYERRANGE);
    EXPECT_EQ(Make(3, "none", 0, 0), ERR_FINDLAYER);
}

TEST_F(LayerButtons, AButtonGoesWithItsLayerAndMovesToAReplacingOne) {
    Named(2);
    ASSERT_EQ(Make(1, 1, 0, 0), 0);
    ASSERT_EQ(Make(2, 2, 0, 0), 0);
    cxLayer *l = Layer(2);
    ASSERT_EQ(RebuildLayer(L, d, &l, AllocBitmap(8, 8, 0, 0), nullptr, nullptr), 0);
    EXPECT_TRUE(Press(9, 5));
    ASSERT_EQ(Run("RemoveLayer", {1}), 0);
    EXPECT_FALSE(Press(1, 5));
    int n = 0;
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next) ++n;
    EXPECT_EQ(n, 1);
    ASSERT_EQ(Run("RemoveLayers", {}), 0);
    EXPECT_EQ(GetDisplayButtons(d), nullptr);
    // A clip region limits the button as it limits the layer.
    Named(1);
    ASSERT_EQ(Make(1, 1, 0, 0), 0);
    EXPECT_EQ(Call("DeleteButton", [&] { lua_pushnumber(L, 1); }), 0);
    EXPECT_EQ(Layer(1)->button, nullptr);
}

}  // namespace
