// Position, order and visibility: moves, swaps, showing and hiding layers
// and groups, z positions, to back and front, and their bad input.
#include <cmath>
#include <cstring>

#include "tests/layers/ops/layer_ops_fixture.h"

namespace {

constexpr uint32_t kJunk = 0x123456;

class Positions : public cxtest::LayerOpsTest {
  protected:
    // Paints junk over a rectangle of what the window shows: a redraw of
    // it shows up, a missing one leaves the junk.
    void Junk(int x, int y, int w, int h) { FillRect(GetCompositionBuffer(L, d), x, y, w, h, kJunk); }
    cxLayerState *S(int pos) { return Layer(pos)->base; }
};

TEST_F(Positions, TranslateMovesByWholePixelsAndRedrawsBothPlaces) {
    Named(2);
    ASSERT_EQ(Run("TranslateLayer", {"a", 3.9, -2.2}), 0);
    EXPECT_EQ(S(1)->x, 3);
    EXPECT_EQ(S(1)->y, 2);
    EXPECT_EQ(Layer(1)->display->drawX, 3);
    EXPECT_EQ(StalePixels(), "");
    // A move by nothing still redraws the layer's box.
    Junk(3, 2, 8, 8);
    ASSERT_EQ(Run("TranslateLayer", {1, 0, 0}), 0);
    EXPECT_EQ(StalePixels(), "");
    // Coordinates saturate instead of wrapping.
    ASSERT_EQ(Run("TranslateLayer", {1, 4e9, 0}), 0);
    EXPECT_EQ(S(1)->x, INT32_MAX);
}

TEST_F(Positions, ALayerWithAShadowMovingByOnePixelRedrawsBothShadows) {
    Brush(1, 8, 8, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}, [&] {
                  Field("shadow", 1), Field("shadowsize", 6), Field("shadowradius", 2), Field("shadowdir", 3);
              }),
              0);
    // Junk over the layer's full box, shadow included: the move redraws
    // all of it.
    int32_t x, y, w, h;
    GetLayerBounds(L, Layer(1), Layer(1)->display, &x, &y, &w, &h);
    Junk(x, y, w, h);
    ASSERT_EQ(Run("TranslateLayer", {1, 1, 0}), 0);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Positions, LayerArgumentsAndTheirErrors) {
    Named(2);
    struct Case {
        const char *what;
        std::function<void()> push;
        int error;
    } cases[] = {
        {"position 0", [&] { lua_pushnumber(L, 0); }, ERR_LAYERRANGE},
        {"beyond the last", [&] { lua_pushnumber(L, 3); }, ERR_LAYERRANGE},
        {"2^31", [&] { lua_pushnumber(L, 2147483648.0); }, ERR_LAYERRANGE},
        {"NaN", [&] { lua_pushnumber(L, NAN); }, ERR_LAYERRANGE},
        {"a table", [&] { lua_newtable(L); }, ERR_STRORNUM},
        {"a boolean", [&] { lua_pushboolean(L, 1); }, ERR_STRORNUM},
        {"an unknown name", [&] { lua_pushstring(L, "nowhere"); }, ERR_FINDLAYER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Call("TranslateLayer", [&] { c.push(), lua_pushnumber(L, 1), lua_pushnumber(L, 1); }), c.error);
        EXPECT_EQ(Call("HideLayer", [&] { c.push(); }), c.error);
        EXPECT_EQ(Call("SetLayerZPos", [&] { c.push(), lua_pushnumber(L, 1); }), c.error);
    }
    char text[1200];
    GetErrorText(ERR_FINDLAYER, text, sizeof text);
    EXPECT_NE(strstr(text, "nowhere"), nullptr) << text;
    EXPECT_EQ(Run("TranslateLayer", {1, NAN, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("TranslateLayer", {1, 0, INFINITY}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("ShowLayer", {1, NAN}), ERR_WRONGUSAGE);
    // The guard comes after the arguments.
    d->layersOn = 0;
    EXPECT_EQ(Run("TranslateLayer", {1, 1, 1}), ERR_NOLAYERS);
    EXPECT_EQ(Run("TranslateLayer", {1, 1}), ERR_MISSINGPARAMTR);
    d->layersOn = 1;
    EXPECT_EQ(Stack(), "ab");
}

TEST_F(Positions, SwapsExchangePlacesAndRedrawWhatEitherCovers) {
    Named(3);
    // "b" lies over "a"; "c" is moved off the picture.
    ASSERT_EQ(Run("ShowLayer", {"b", 2, 6}), 0);
    ASSERT_EQ(Run("ShowLayer", {"c", 200, 200}), 0);
    ASSERT_EQ(Run("SwapLayers", {"a", "c"}), 0);
    EXPECT_EQ(Stack(), "cba");
    // "a" now lies over "b": its box is redrawn though "c" is off the
    // picture.
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Composed(4, 8), 0x100040u);
    EXPECT_TRUE(LayersChanged(BGPic()));
    EXPECT_EQ(Run("SwapLayers", {1, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("SwapLayers", {"a", "a"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("SwapLayers", {1, 4}), ERR_LAYERRANGE);
    // Neighbours both ways.
    ASSERT_EQ(Run("SwapLayers", {2, 3}), 0);
    EXPECT_EQ(Stack(), "cab");
    ASSERT_EQ(Run("SwapLayers", {2, 1}), 0);
    EXPECT_EQ(Stack(), "acb");
}

TEST_F(Positions, SwappingTwoLayersOffThePictureRedrawsNothing) {
    Named(2);
    ASSERT_EQ(Run("ShowLayer", {"a", 100, 100}), 0);
    ASSERT_EQ(Run("ShowLayer", {"b", -50, 0}), 0);
    Junk(0, 0, kW, kH);
    ASSERT_EQ(Run("SwapLayers", {1, 2}), 0);
    EXPECT_EQ(Stack(), "ba");
    EXPECT_EQ(Composed(10, 10), kJunk);
}

TEST_F(Positions, ShowingAndHidingLayers) {
    Named(2);
    ASSERT_EQ(Run("HideLayer", {"a", 99}), 0);
    EXPECT_EQ(Composed(1, 5), kBack);
    EXPECT_EQ(StalePixels(), "");
    // Shown where it was.
    ASSERT_EQ(Run("ShowLayer", {"a"}), 0);
    EXPECT_EQ(Layer(1)->hidden, 0u);
    EXPECT_EQ(S(1)->x, 0);
    EXPECT_EQ(Composed(1, 5), 0x100040u);
    // A shown layer given coordinates moves; keep and relative codes.
    ASSERT_EQ(Run("ShowLayer", {"b", 30, 30}), 0);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Run("ShowLayer", {"b", 100000, 100003}), 0);
    EXPECT_EQ(S(2)->x, 30);
    EXPECT_EQ(S(2)->y, 33);
    ASSERT_EQ(Run("ShowLayer", {"b", 99998}), 0);
    EXPECT_EQ(S(2)->x, 28);
    // Special coordinates place the layer on the picture.
    ASSERT_EQ(Run("ShowLayer", {"b", -100000, -100000}), 0);
    EXPECT_EQ(S(2)->x, (kW - 8) / 2);
    EXPECT_EQ(S(2)->y, (kH - 8) / 2);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Positions, GroupsMoveAsOneBlockAndHideInOneGo) {
    Named(4);
    strcpy(Layer(1)->group, "team");
    strcpy(Layer(3)->group, "Team");
    // a at (0, 4), c at (16, 4): the box spanning them starts at (0, 4).
    ASSERT_EQ(Run("ShowLayer", {"team", 10, 20}), 0);
    EXPECT_EQ(S(1)->x, 10);
    EXPECT_EQ(S(1)->y, 20);
    EXPECT_EQ(S(3)->x, 26);
    EXPECT_EQ(S(3)->y, 20);
    EXPECT_EQ(S(2)->x, 8);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Run("HideLayer", {"TEAM"}), 0);
    EXPECT_TRUE(Layer(1)->hidden && Layer(3)->hidden);
    EXPECT_FALSE(Layer(2)->hidden || Layer(4)->hidden);
    EXPECT_EQ(StalePixels(), "");
    // Shown without coordinates, each where it was; relative codes move
    // every member by the same distance.
    ASSERT_EQ(Run("ShowLayer", {"team"}), 0);
    EXPECT_EQ(S(1)->x, 10);
    EXPECT_FALSE(Layer(1)->hidden || Layer(3)->hidden);
    ASSERT_EQ(Run("ShowLayer", {"team", 100002, 100000}), 0);
    EXPECT_EQ(S(1)->x, 12);
    EXPECT_EQ(S(3)->x, 28);
    EXPECT_EQ(StalePixels(), "");
    // A group centred: its spanning box (24 wide) in the middle.
    ASSERT_EQ(Run("ShowLayer", {"team", -100000, 100000}), 0);
    EXPECT_EQ(S(1)->x, (kW - 24) / 2);
    EXPECT_EQ(Run("ShowLayer", {"nobody"}), ERR_FINDLAYER);
}

TEST_F(Positions, AThousandMemberGroupIsShownInOneWalk) {
    Brush(1, 2, 2, 0xFF0000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(Cmd("DisplayBrush", {1, double(i % 60), double(i / 60)}, [&] { Field("hidden", 1); }), 0);
        strcpy(Layer(Count())->group, "many");
    }
    ASSERT_EQ(Run("ShowLayer", {"many"}), 0);
    for (cxLayer *l = Layer(1); l; l = NextLayer(l)) ASSERT_EQ(l->hidden, 0u);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Positions, ZPositionsAndTheEndsOfTheList) {
    Named(4);
    ASSERT_EQ(Run("SetLayerZPos", {"a", 3}), 0);
    EXPECT_EQ(Stack(), "bcad");
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Run("SetLayerZPos", {"d", 1}), 0);
    EXPECT_EQ(Stack(), "dbca");
    ASSERT_EQ(Run("SetLayerZPos", {1, 0}), 0);
    EXPECT_EQ(Stack(), "bcad");
    ASSERT_EQ(Run("SetLayerZPos", {1, 99}), 0);
    EXPECT_EQ(Stack(), "cadb");
    EXPECT_EQ(Run("SetLayerZPos", {2, 2}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("SetLayerZPos", {2, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Stack(), "cadb");

    ASSERT_EQ(Run("LayerToFront", {"c"}), 0);
    EXPECT_EQ(Stack(), "adbc");
    ASSERT_EQ(Run("LayerToBack", {"b"}), 0);
    EXPECT_EQ(Stack(), "badc");
    // With swap the two exchange places.
    ASSERT_EQ(Run("LayerToFront", {"a", 1}), 0);
    EXPECT_EQ(Stack(), "bcda");
    ASSERT_EQ(Run("LayerToBack", {"d", 1}), 0);
    EXPECT_EQ(Stack(), "dcba");
    // Already there: nothing happens.
    ASSERT_EQ(Run("LayerToBack", {"d"}), 0);
    ASSERT_EQ(Run("LayerToFront", {"a", 1}), 0);
    EXPECT_EQ(Stack(), "dcba");
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Run("LayerToBack", {5}), ERR_LAYERRANGE);
}

}  // namespace
