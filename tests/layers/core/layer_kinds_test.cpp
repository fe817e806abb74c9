// What else becomes a layer: TextOut and Print text, text objects,
// shapes and vector paths, each where its own command would draw it, and
// Cls with layers on.
#include "text/library/text_library.h"
#include "text/vector/vector_library.h"
#include "tests/layers/layer_test_display.h"

namespace {

constexpr uint32_t kBackfill = 0x000080;

// Print turns its arguments into text through the script's "tostring",
// which the test's machine lacks.
int ToString(lua_State *L) {
    lua_pushstring(L, lua_tostring(L, 1));
    return 1;
}

class LayerKinds : public cxtest::LayerDisplayTest {
  protected:
    void SetUp() override {
        LayerDisplayTest::SetUp();
        static const luaL_reg base[] = {{"tostring", ToString}, {nullptr, nullptr}};
        luaL_openlib(L, nullptr, base, 0);
        ASSERT_EQ(OpenTextLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
    }
    void TearDown() override {
        FreeAllLayers(L, BGPic(), 1, 1);
        FreeAllPaths(L);
        FreeTextLibrary(L);
        LayerDisplayTest::TearDown();
    }
    int Lit(int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += Composed(x, y) != kBackfill;
        return n;
    }
};

TEST_F(LayerKinds, TextShapesAndPathsBecomeLayers) {
    ASSERT_EQ(Call("TextOut", [&] { lua_pushnumber(L, 2), lua_pushnumber(L, 2), lua_pushstring(L, "Hi"); }), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_TEXTOUT);
    EXPECT_GT(Lit(0, 0, 20, 12), 10);
    EXPECT_EQ(Shown(3, 4), kBackfill);  // never in the background

    ASSERT_EQ(Call("Locate", [&] { lua_pushnumber(L, 0), lua_pushnumber(L, 30); }), 0);
    ASSERT_EQ(Call("Print", [&] { lua_pushstring(L, "Ok"); }), 0);
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Layer(2)->type, CX_LAYER_PRINT);
    EXPECT_GT(Lit(0, 30, 20, 40), 10);

    ASSERT_EQ(Call("CreateTextObject", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "T"); }), 0);
    ASSERT_EQ(Cmd("DisplayTextObject", {1, 40, 2}), 0);
    ASSERT_EQ(Count(), 3);
    EXPECT_EQ(Layer(3)->type, CX_LAYER_TEXTOBJECT);
    // The layer keeps its own copy: the object may go.
    ASSERT_EQ(Cmd("FreeTextObject", {1}), 0);
    const int lit = Lit(40, 0, 50, 12);
    EXPECT_GT(lit, 3);
    RedrawDisplayRect(L, 0, 0, 64, 48, 0);
    EXPECT_EQ(Lit(40, 0, 50, 12), lit);

    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Circle", {50, 30, 5, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("Line", {0, 47, 10, 47, 0xFFFFFF}), 0);
    ASSERT_EQ(Count(), 5);
    EXPECT_EQ(Layer(4)->type, CX_LAYER_CIRCLE);
    EXPECT_EQ(Layer(5)->type, CX_LAYER_LINE);
    EXPECT_EQ(Composed(50, 30), 0x00FF00u);
    EXPECT_EQ(Composed(5, 47), 0xFFFFFFu);

    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 6, 6}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 20, 20, 0xFF0000}), 0);
    ASSERT_EQ(Count(), 6);
    EXPECT_EQ(Layer(6)->type, CX_LAYER_VECTORPATH);
    EXPECT_EQ(Composed(23, 23), 0xFF0000u);
    EXPECT_EQ(Composed(30, 30), kBackfill);

    // A point is no layer: it goes into the background, under the layers.
    ASSERT_EQ(Cmd("Plot", {60, 2, 0xFFFF00}), 0);
    EXPECT_EQ(Count(), 6);
    EXPECT_EQ(Shown(60, 2), 0xFFFF00u);
    EXPECT_EQ(Composed(60, 2), 0xFFFF00u);

    // Cls frees the layers and shows the plain picture.
    ASSERT_EQ(Call("Cls"), 0);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Composed(50, 30), kBackfill);
}

}  // namespace
