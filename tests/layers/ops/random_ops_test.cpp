// No stale pixels: random sequences of layer operations (moves, showing
// and hiding layers and groups, swaps, z positions, to back and front,
// styles with random keys, removals, Undo, InsertLayer) leave the screen
// as a whole redraw from scratch would paint it, with the output on the
// display and with the output on the shown BGPic (boxes presented at the
// next frame).
#include <cstring>
#include <random>

#include "layers/core/clip_regions.h"
#include "tests/layers/ops/layer_ops_fixture.h"

namespace {

class RandomOps : public cxtest::LayerOpsTest {
  protected:
    std::mt19937 rng{2024};
    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    static constexpr int kBrushes = 6;

    void Scene() {
        for (int i = 0; i < 20; ++i)
            FillRect(d->picture, Rand(0, kW - 1), Rand(0, kH - 1), Rand(1, 30), Rand(1, 30), uint32_t(Rand(0, 0xFFFFFF)));
        for (int i = 1; i <= kBrushes; ++i) {
            const int w = Rand(2, 16), h = Rand(2, 14);
            cxBrush *b = Brush(i, w, h, uint32_t(Rand(0, 0xFFFFFF)));
            FillRect(b->bitmap, 0, 0, w / 2 + 1, h / 2 + 1, uint32_t(Rand(0, 0xFFFFFF)));
            if (i % 3 == 1) {
                b->alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) WriteBitmapPixel(b->alpha, x, y, uint32_t((x + y) % 3 * 120));
            } else if (i % 3 == 2) {
                b->mask = AllocMask(b->bitmap, w, h, 1, nullptr, 0);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) WriteBitmapPixel(b->mask, x, y, uint32_t((x ^ y) & 1));
            }
        }
        cxObjectID id{7, nullptr};
        ASSERT_EQ(AddClipRegion(&id, 4, 4, 40, 30, nullptr, nullptr), 0);
        const int n = Rand(3, 10);
        for (int i = 0; i < n; ++i) AddRandomLayer();
        ASSERT_EQ(Cmd("Box", {double(Rand(0, 40)), double(Rand(0, 30)), double(Rand(3, 20)), double(Rand(3, 20)),
                              double(Rand(0, 0xFFFFFF))}),
                  0);
    }
    void AddRandomLayer() {
        ASSERT_EQ(Cmd("DisplayBrush", {double(Rand(1, kBrushes)), double(Rand(-8, kW)), double(Rand(-8, kH))},
                      [&] {
                          if (!Rand(0, 3)) Field("transparency", Rand(0, 255));
                          if (!Rand(0, 4)) Field("shadow", 1), Field("shadowsize", Rand(0, 5)), Field("shadowradius", Rand(1, 3));
                          if (!Rand(0, 4)) Field("border", 1), Field("bordersize", Rand(1, 3));
                      }),
                  0);
        Group(Layer(Count()));
    }
    void Group(cxLayer *l) {
        if (!l) return;
        const int g = Rand(0, 2);
        strcpy(l->group, g == 0 ? "" : g == 1 ? "g1" : "g2");
    }
    // A layer argument: a position (sometimes out of range) or a group.
    cxtest::LayerOpsTest::Arg LayerArg() {
        if (!Rand(0, 6)) return Rand(0, 1) ? "g1" : "g2";
        return Rand(0, Count() + 1);
    }
    void RandomStyle(int layer) {
        Style(layer, [&] {
            const int keys = Rand(1, 4);
            for (int k = 0; k < keys; ++k) {
                switch (Rand(0, 14)) {
                case 0: Field("x", Rand(-10, kW)); break;
                case 1: Field("y", Rand(-10, kH)); break;
                case 2: Field("translatex", Rand(-5, 5)); break;
                case 3: Field("rotate", Rand(0, 7) * 45); break;
                case 4: Field("scalex", Rand(1, 4) * 0.5); break;
                case 5: Field("transparency", Rand(0, 255)); break;
                case 6: Field("hidden", Rand(0, 1)); break;
                case 7:
                    Field("shadow", Rand(0, 1)), Field("shadowdir", Rand(0, 7)), Field("shadowsize", Rand(0, 6));
                    break;
                case 8: Field("border", Rand(0, 1)), Field("bordersize", Rand(1, 4)); break;
                case 9: Field("tint", Rand(0, 255)), Field("tintcolor", Rand(0, 0xFFFFFF)); break;
                case 10: Field("anchorx", Rand(0, 4) * 0.25); break;
                case 11: Field("z", Rand(0, Count() + 1)); break;
                case 12: Field("clipregion", Rand(0, 1) ? 7 : -1); break;
                case 13: Field("clearfilters", 1); break;
                default:
                    lua_pushstring(L, "filters");
                    lua_newtable(L);
                    lua_newtable(L);
                    StringField("name", Rand(0, 1) ? "invert" : "xflip");
                    lua_rawseti(L, -2, 1);
                    lua_settable(L, -3);
                    break;
                }
            }
        });
    }
    void RandomOp() {
        switch (Rand(0, 11)) {
        case 0: Run("TranslateLayer", {Rand(1, Count()), Rand(-6, 6), Rand(-6, 6)}); break;
        case 1:
            if (Rand(0, 1)) Run("ShowLayer", {LayerArg()});
            else Run("ShowLayer", {LayerArg(), Rand(-10, kW), Rand(-10, kH)});
            break;
        case 2: Run("HideLayer", {LayerArg()}); break;
        case 3: Run("SwapLayers", {Rand(1, Count()), Rand(1, Count())}); break;
        case 4: Run("SetLayerZPos", {Rand(1, Count()), Rand(0, Count() + 1)}); break;
        case 5: Run(Rand(0, 1) ? "LayerToBack" : "LayerToFront", {Rand(1, Count()), Rand(0, 1)}); break;
        case 6:
        case 7: RandomStyle(Rand(1, Count())); break;
        case 8:
            if (Rand(0, 1)) Run("RemoveLayer", {Rand(1, Count())});
            else Run("RemoveLayer", {Rand(1, Count()), Rand(1, Count()), Rand(1, Count())});
            break;
        case 9: Run("Undo", {3, Rand(1, kBrushes), Rand(1, 2)}); break;
        case 10:
            Run("InsertLayer", {Rand(0, Count() + 1), 3, Rand(1, kBrushes), Rand(-8, kW), Rand(-8, kH), Rand(0, 1)});
            Group(Layer(Rand(1, Count())));
            break;
        default: AddRandomLayer(); break;
        }
    }
};

TEST_F(RandomOps, TheScreenAlwaysShowsWhatAWholeRedrawWould) {
    for (int sequence = 0; sequence < 40; ++sequence) {
        SCOPED_TRACE(sequence);
        FreeAllLayers(L, BGPic(), 1, 1);
        FreeAllBrushes(L);
        FreeAllClipRegions();
        Scene();
        RedrawWholeDisplay(L, d);
        // Half of the sequences draw to the shown BGPic: the boxes wait
        // for the display's next frame.
        const bool toBGPic = sequence % 2;
        if (toBGPic) {
            ASSERT_EQ(Call("SelectBGPic", [&] { lua_pushnil(L), lua_pushnumber(L, 2); }), 0);
        }
        const int ops = Rand(1, 50);
        for (int i = 0; i < ops; ++i) {
            if (!Count()) AddRandomLayer();
            RandomOp();
            if (toBGPic) PresentDisplayDirtyRects(L, d);
            const std::string stale = StalePixels();
            ASSERT_EQ(stale, "") << "after operation " << i;
        }
        if (toBGPic) {
            ASSERT_EQ(Call("EndSelect"), 0);
        }
        ASSERT_EQ(StalePixels(), "");
    }
}

}  // namespace
