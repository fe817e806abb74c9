// Move lists: AddMove and ClearMove with their limits and errors, and
// DoMove against the same operations done one by one, with one redraw per
// merged box, its errors midway, and boxes far out on a wide BGPic.
#include <cmath>
#include <vector>

#include "layers/core/async_draw.h"
#include "layers/ops/move_lists.h"
#include "tests/layers/ops/layer_ops_fixture.h"

namespace move_lists {

struct Presented {
    int32_t x, y, w, h;
};
std::vector<Presented> &Presents() {
    static std::vector<Presented> p;
    return p;
}

class MoveLists : public cxtest::LayerOpsTest {
  protected:
    void SetUp() override {
        LayerOpsTest::SetUp();
        // Count what reaches the window.
        cxSafeBltHooks blit = *GetSafeBltHooks();
        blit.refreshRegion = [](cxBitmap *, int32_t x, int32_t y, cxDisplay *, int32_t, int32_t, int32_t w, int32_t h,
                                uint32_t) { Presents().push_back({x, y, w, h}); };
        SetSafeBltHooks(&blit);
        Presents().clear();
    }
    cxMoveList *List(cxObjectID id) {
        cxMoveList *m = nullptr;
        EXPECT_EQ(FindMoveList(id, &m), 0);
        return m;
    }
};

TEST_F(MoveLists, AddMoveAndClearMove) {
    Named(2);
    ASSERT_EQ(Run("AddMove", {nullptr, 22, 1, 5, 5}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    const cxObjectID automatic{0, lua_touserdata(L, 1)};
    ASSERT_EQ(Call("AddMove", [&] { lua_pushlightuserdata(L, automatic.pointer), lua_pushnumber(L, 3), lua_pushnumber(L, 1); }), 0);
    EXPECT_EQ(List(automatic)->count, 2);
    // A number names a new list; a layer name is kept as its position now.
    ASSERT_EQ(Run("AddMove", {7, 25, "b"}), 0);
    EXPECT_EQ(List({7, nullptr})->id[0].number, 2);
    ASSERT_EQ(Run("SwapLayers", {"a", "b"}), 0);
    EXPECT_EQ(List({7, nullptr})->id[0].number, 2);
    EXPECT_EQ(Run("AddMove", {7, 25, "zz"}), ERR_FINDLAYER);
    EXPECT_EQ(Run("AddMove", {7, 22, 1, std::nan("")}), ERR_WRONGUSAGE);
    EXPECT_EQ(List({7, nullptr})->count, 1);
    for (int i = 1; i < CX_MOVELIST_ENTRIES; ++i) ASSERT_EQ(Run("AddMove", {7, 3, 1, i, 0}), 0);
    EXPECT_EQ(Run("AddMove", {7, 3, 1, 0, 0}), ERR_INTERNAL);
    EXPECT_EQ(List({7, nullptr})->count, CX_MOVELIST_ENTRIES);

    EXPECT_EQ(Run("ClearMove", {8}), ERR_FINDMOVE);
    EXPECT_EQ(GetErrorNumber(), 8);
    int stale = 0;
    EXPECT_EQ(Call("ClearMove", [&] { lua_pushlightuserdata(L, &stale); }), ERR_FINDARRAY);
    EXPECT_EQ(Call("AddMove", [&] { lua_pushlightuserdata(L, &stale), lua_pushnumber(L, 3), lua_pushnumber(L, 1); }),
              ERR_FINDARRAY);
    ASSERT_EQ(Run("ClearMove", {7}), 0);
    EXPECT_EQ(Run("DoMove", {7}), ERR_FINDMOVE);
    ASSERT_EQ(Call("ClearMove", [&] { lua_pushlightuserdata(L, automatic.pointer); }), 0);
}

TEST_F(MoveLists, DoMoveShowsWhatTheOperationsDoneOneByOneShow) {
    Brush(8, 6, 6, 0xFFFF00);
    Brush(9, 6, 6, 0x00FF00);
    auto scene = [&] {
        Named(4);  // a b c d: brushes 1 to 4 at (8 i, 4)
    };
    // One by one.
    scene();
    ASSERT_EQ(Run("ShowLayer", {"a", 30, 30}), 0);
    ASSERT_EQ(Run("HideLayer", {"b"}), 0);
    ASSERT_EQ(Run("ShowLayer", {"c", 40, 10}), 0);  // brush 3's layer
    ASSERT_EQ(Run("RemoveLayer", {"d"}), 0);
    ASSERT_EQ(Run("InsertLayer", {1, 3, 8, 2, 2}), 0);
    ASSERT_EQ(Run("DisplayBrush", {9, 50, 40}), 0);  // not shown yet: a new front layer
    const std::vector<uint32_t> oneByOne = Screen();
    ASSERT_EQ(Run("RemoveLayers", {}), 0);

    // As one move list.
    scene();
    const struct {
        int type;
        Arg object;
        int a, b, c;
    } entries[] = {
        {22, "a", 30, 30, 0}, {25, "b", 0, 0, 0}, {3, 3, 40, 10, 0}, {26, "d", 0, 0, 0}, {24, 8, 2, 2, 1}, {3, 9, 50, 40, 0},
    };
    for (const auto &e : entries) ASSERT_EQ(Run("AddMove", {1, e.type, e.object, e.a, e.b, e.c}), 0);
    Presents().clear();
    ASSERT_EQ(Run("DoMove", {1}), 0);
    EXPECT_EQ(Screen(), oneByOne);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Stack(), std::string("?abc?"));
    // The boxes of a, b, c and the inserted brush meet: one redraw; the new
    // layer at (50, 40) is apart.
    EXPECT_EQ(Presents().size(), 2u);

    // Carried out now, a move of brush 9 moves the layer the list made.
    ASSERT_EQ(Run("AddMove", {2, 3, 9, 56, 0}), 0);
    const int32_t before = Count();
    ASSERT_EQ(Run("DoMove", {2}), 0);
    EXPECT_EQ(Count(), before);
    EXPECT_EQ(Layer(Count())->base->x, 56);
    EXPECT_EQ(StalePixels(), "");
    // A list naming a layer that went fails at that entry.
    ASSERT_EQ(Run("AddMove", {3, 25, Count()}), 0);
    ASSERT_EQ(Run("RemoveLayer", {Count()}), 0);
    EXPECT_EQ(Run("DoMove", {3}), ERR_LAYERRANGE);
}

TEST_F(MoveLists, OverlappingMovesAreRedrawnOnce) {
    Named(2);
    Brush(3, 8, 8, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {3, 40, 30}), 0);
    ASSERT_EQ(Run("AddMove", {1, 22, "a", 10, 10}), 0);
    ASSERT_EQ(Run("AddMove", {1, 22, "b", 14, 12}), 0);
    ASSERT_EQ(Run("AddMove", {1, 22, 3, 48, 36}), 0);
    Presents().clear();
    ASSERT_EQ(Run("DoMove", {1}), 0);
    ASSERT_EQ(Presents().size(), 2u);
    // a from (0, 4) to (10, 10), b from (8, 4) to (14, 12): one box.
    EXPECT_EQ(Presents()[0].x, 0);
    EXPECT_EQ(Presents()[0].y, 4);
    EXPECT_EQ(Presents()[0].w, 22);
    EXPECT_EQ(Presents()[0].h, 16);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(MoveLists, AnErrorMidwayLeavesEarlierOperationsDoneAndShown) {
    Named(3);
    ASSERT_EQ(Run("AddMove", {1, 22, "a", 30, 30}), 0);
    ASSERT_EQ(Run("AddMove", {1, 26, "b"}), 0);
    ASSERT_EQ(Run("AddMove", {1, 22, "c", 40, 40}), 0);
    auto frame = [](lua_State *, cxAsyncDraw *, int *done) {
        *done = 0;
        return 0;
    };
    auto animates = [](cxAsyncDraw *a, int code, void *object) -> intptr_t {
        return code == CX_ASYNC_ANIMATES && object == a->userData;
    };
    cxAsyncDraw *draw = nullptr;
    ASSERT_EQ(CreateAsyncDraw(0, frame, nullptr, nullptr, animates, Layer(2), &draw), 0);
    EXPECT_EQ(Run("DoMove", {1}), ERR_REMADLAYER);
    EXPECT_EQ(Layer(1)->base->x, 30);
    EXPECT_EQ(Layer(3)->base->x, 16);  // after the failure: not moved
    EXPECT_EQ(StalePixels(), "");
    FreeAsyncDraw(L, draw);

    // Layers off, or another output, first.
    d->layersOn = 0;
    EXPECT_EQ(Run("DoMove", {1}), ERR_NOLAYERS);
    d->layersOn = 1;
    ASSERT_EQ(Run("AddMove", {2, 77, 1}), 0);
    EXPECT_EQ(Run("DoMove", {2}), ERR_WRONGUSAGE);
}

TEST_F(MoveLists, BoxesFarOutOnAWideBGPicAreKept) {
    ASSERT_EQ(Cmd("CreateBGPic", {2, 12000, 20, 0}), 0);
    ASSERT_EQ(Call("SelectBGPic", [&] { lua_pushnumber(L, 2), lua_pushnumber(L, 2); }), 0);  // layers mode
    Brush(1, 8, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10000, 0}), 0);
    ASSERT_EQ(Run("AddMove", {1, 22, 1, 10010, 5}), 0);
    ASSERT_EQ(Run("DoMove", {1}), 0);
    cxMoveList *m = List({1, nullptr});
    ASSERT_TRUE(m->hasBox[0]);
    EXPECT_EQ(m->x1[0], 10000);
    EXPECT_EQ(m->x2[0], 10017);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
}

}  // namespace move_lists
