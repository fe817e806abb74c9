// Removing layers: several at once (all checked first), Undo, and all of
// them dropped or baked into the picture; objects freed by the script go
// with their last layer.
#include <string>

#include "layers/core/async_draw.h"
#include "tests/layers/ops/layer_ops_fixture.h"

namespace {


class Remove : public cxtest::LayerOpsTest {
  protected:
    // An async draw that animates one layer.
    cxAsyncDraw *Animate(cxLayer *l) {
        cxAsyncDraw *draw = nullptr;
        EXPECT_EQ(CreateAsyncDraw(
                      0, [](lua_State *, cxAsyncDraw *, int *) { return 0; }, nullptr, nullptr,
                      [](cxAsyncDraw *a, int code, void *object) -> intptr_t {
                          return code == CX_ASYNC_ANIMATES && object == a->userData ? 1 : 0;
                      },
                      l, &draw),
                  0);
        return draw;
    }
};

TEST_F(Remove, SeveralLayersGoInOneRedrawAndABadOneStopsAll) {
    Named(5);
    ASSERT_EQ(Run("RemoveLayer", {"b", 4}), 0);
    EXPECT_EQ(Stack(), "ace");
    EXPECT_EQ(StalePixels(), "");
    // One bad layer among several removes none.
    EXPECT_EQ(Run("RemoveLayer", {1, 9}), ERR_LAYERRANGE);
    EXPECT_EQ(Run("RemoveLayer", {1, "zz"}), ERR_FINDLAYER);
    EXPECT_EQ(Call("RemoveLayer", [&] { lua_pushnumber(L, 1), lua_newtable(L); }), ERR_STRORNUM);
    EXPECT_EQ(Run("RemoveLayer", {1, 0}), ERR_LAYERRANGE);
    // A group name is no layer argument here.
    strcpy(Layer(1)->group, "g");
    EXPECT_EQ(Run("RemoveLayer", {"g"}), ERR_FINDLAYER);
    EXPECT_EQ(Stack(), "ace");
    // A layer named twice goes once.
    ASSERT_EQ(Run("RemoveLayer", {"a", 1, "c"}), 0);
    EXPECT_EQ(Stack(), "e");
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Remove, AtMost256LayersAtOnce) {
    Brush(1, 2, 2, 0xFF0000);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(Cmd("DisplayBrush", {1, double(i % 60), double(i / 60)}), 0);
    auto many = [&](int n) {
        return Call("RemoveLayer", [&] {
            for (int i = 1; i <= n; ++i) lua_pushnumber(L, i);
        });
    };
    EXPECT_EQ(many(257), ERR_INTERNAL);
    EXPECT_EQ(Count(), 300);
    ASSERT_EQ(many(256), 0);
    EXPECT_EQ(Count(), 44);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Remove, ALayerAnAsyncDrawAnimatesIsRefused) {
    Named(3);
    cxAsyncDraw *draw = Animate(Layer(2));
    EXPECT_EQ(Run("RemoveLayer", {1, 2}), ERR_REMADLAYER);
    EXPECT_EQ(Run("RemoveLayers", {}), ERR_REMADLAYER);
    EXPECT_EQ(Run("FreeLayers", {}), ERR_REMADLAYER);
    EXPECT_EQ(Run("Undo", {3, 2}), ERR_REMADLAYER);
    EXPECT_EQ(Count(), 3);
    FreeAsyncDraw(L, draw);
    ASSERT_EQ(Run("Undo", {3, 2}), 0);
    EXPECT_EQ(Stack(), "ac");
}

TEST_F(Remove, UndoFindsTheLevelthLayerOfAnObjectFromTheFront) {
    Brush(1, 4, 4, 0xFF0000);
    Brush(2, 4, 4, 0x00FF00);
    for (int i = 0; i < 4; ++i) {
        const char name[2] = {char('a' + i), 0};
        ASSERT_EQ(Cmd("DisplayBrush", {double(1 + i % 2), 10.0 * i, 0}, [&] { StringField("name", name); }), 0);
    }
    // Brush 1 made "a" and "c"; level 2 from the front is "a".
    ASSERT_EQ(Run("Undo", {3, 1, 2}), 0);
    EXPECT_EQ(Stack(), "bcd");
    EXPECT_EQ(StalePixels(), "");
    // Nothing left at that level, or another kind: nothing happens.
    ASSERT_EQ(Run("Undo", {3, 1, 2}), 0);
    ASSERT_EQ(Run("Undo", {14, 1}), 0);
    ASSERT_EQ(Run("Undo", {3, 1, 0}), 0);
    EXPECT_EQ(Stack(), "bcd");
    // Kept on the screen: the layer goes, its pixels stay until redrawn.
    ASSERT_EQ(Run("Undo", {3, 2, 1, 1}), 0);
    EXPECT_EQ(Stack(), "bc");
    EXPECT_EQ(Composed(31, 1), 0x00FF00u);
    // Shapes have no ID: Undo without one finds them.
    ASSERT_EQ(Cmd("Box", {40, 20, 5, 5, 0xFFFFFF}), 0);
    ASSERT_EQ(Run("Undo", {14}), 0);
    EXPECT_EQ(Stack(), "bc");
}

TEST_F(Remove, FreeLayersBakesWhatTheScreenShows) {
    Named(3);
    ASSERT_EQ(Cmd("Box", {30, 20, 10, 10, 0xFFFF00}), 0);
    ASSERT_EQ(Run("SetLayerStyle", {"b"}, [&] { Field("transparency", 100), Field("shadow", 1); }), 0);
    const std::vector<uint32_t> before = Screen();
    ASSERT_EQ(Run("FreeLayers", {}), 0);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Screen(), before);
    // The background copy holds the layers now; a whole redraw shows them.
    RedrawWholeDisplay(L, d);
    EXPECT_EQ(Screen(), before);
    EXPECT_EQ(Shown(1, 5), 0x100040u);
    // The BGPic's own picture is untouched.
    EXPECT_EQ(PixelOf(BGPic()->current.bitmap, 1, 5), kBack);
}

TEST_F(Remove, RemoveLayersAndFreeLayersWithoutBakingShowThePlainPicture) {
    for (const char *how : {"RemoveLayers", "FreeLayers"}) {
        SCOPED_TRACE(how);
        Named(2);
        if (std::string(how) == "FreeLayers") ASSERT_EQ(Run(how, {0}), 0);
        else ASSERT_EQ(Run(how, {}), 0);
        EXPECT_EQ(Count(), 0);
        EXPECT_EQ(Composed(1, 5), kBack);
        EXPECT_EQ(StalePixels(), "");
        FreeAllBrushes(L);
    }
    // An empty list still redraws the picture.
    FillRect(GetCompositionBuffer(L, d), 0, 0, kW, kH, 0x123456);
    ASSERT_EQ(Run("RemoveLayers", {}), 0);
    EXPECT_EQ(Composed(5, 5), kBack);
}

TEST_F(Remove, ABrushFreedWhileShownGoesWithItsLastLayer) {
    Named(1);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    ASSERT_EQ(Cmd("FreeBrush", {1}), 0);
    EXPECT_EQ(CountBrushes(), 1);
    ASSERT_EQ(Run("RemoveLayer", {1}), 0);
    EXPECT_EQ(CountBrushes(), 1);
    ASSERT_EQ(Run("RemoveLayers", {}), 0);
    EXPECT_EQ(CountBrushes(), 0);
    // The same through Undo and through FreeLayers.
    Brush(2, 4, 4, 0xFF);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 0, 0}), 0);
    ASSERT_EQ(Cmd("FreeBrush", {2}), 0);
    ASSERT_EQ(Run("FreeLayers", {1}), 0);
    EXPECT_EQ(CountBrushes(), 0);
}

TEST_F(Remove, OnABGPicTheDisplayDoesNotShow) {
    Named(1);
    ASSERT_EQ(Cmd("CreateBGPic", {5, 32, 32}), 0);
    ASSERT_EQ(Call("SelectBGPic", [&] { lua_pushnumber(L, 5), lua_pushnumber(L, 2); }), 0);
    Brush(2, 4, 4, 0xFF);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 0, 0}), 0);
    cxBGPic *other = GetLayerOutputBGPic();
    ASSERT_NE(other, BGPic());
    EXPECT_EQ(CountLayers(other), 1);
    // No picture to bake into; dropping them works.
    EXPECT_EQ(Run("FreeLayers", {}), ERR_WRONGUSAGE);
    EXPECT_EQ(CountLayers(other), 1);
    ASSERT_EQ(Run("RemoveLayers", {}), 0);
    EXPECT_EQ(CountLayers(other), 0);
    EXPECT_EQ(Count(), 1);
    ASSERT_EQ(Call("EndSelect"), 0);
}

TEST_F(Remove, BakingWhileTheOutputIsTheShownBGPicShowsAtTheNextFrame) {
    Named(2);
    ASSERT_EQ(Call("SelectBGPic", [&] { lua_pushnil(L), lua_pushnumber(L, 2); }), 0);
    ASSERT_EQ(Run("TranslateLayer", {1, 10, 10}), 0);
    ASSERT_EQ(Run("FreeLayers", {}), 0);
    EXPECT_EQ(Count(), 0);
    PresentDisplayDirtyRects(L, d);
    EXPECT_EQ(Composed(11, 15), 0x100040u);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Call("EndSelect"), 0);
}

}  // namespace
