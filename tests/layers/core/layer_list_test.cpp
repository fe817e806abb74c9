// The layer record and list: layers made by the display commands, the
// guard, names, groups, positions, the commands that inspect the list,
// CreateLayer, the freeing of layers and of what they show, and bad input.
#include <cmath>
#include <cstring>
#include <string>

#include "graphics/blit/mask_alpha_rect.h"
#include "layers/core/clip_regions.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_states.h"
#include "tests/layers/layer_test_display.h"

namespace {

constexpr uint32_t kBack = 0x000080;

class LayerList : public cxtest::LayerDisplayTest {
  protected:
    // n brush layers of brush 1 at (10 i, 0).
    void Layers(int n) {
        Brush(1, 4, 4, 0xFF0000);
        for (int i = 0; i < n; ++i) ASSERT_EQ(Cmd("DisplayBrush", {1, 10.0 * i, 0}), 0);
    }
    int Str(const char *name, std::initializer_list<const char *> args) {
        return Call(name, [&] {
            for (const char *a : args) lua_pushstring(L, a);
        });
    }
    std::string Message(int code) {
        char text[1200];
        GetErrorText(code, text, sizeof text);
        return text;
    }
};

TEST_F(LayerList, DisplayedBrushesBecomeLayersOverAnUntouchedBackground) {
    Brush(1, 8, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 3, 4}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Composed(3, 4), 0xFF0000u);
    EXPECT_EQ(Composed(27, 25), 0xFF0000u);
    EXPECT_EQ(Composed(11, 4), kBack);
    // The background copy never holds a layer.
    EXPECT_EQ(Shown(3, 4), kBack);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_BRUSH);
    EXPECT_EQ(Layer(1)->display->drawX, 3);
    // A brush freed while a layer shows it stays until the layer goes.
    ASSERT_EQ(Cmd("FreeBrush", {1}), 0);
    EXPECT_EQ(CountBrushes(), 1);
    RedrawDisplayRect(L, 0, 0, 64, 48, 0);
    EXPECT_EQ(Composed(3, 4), 0xFF0000u);
    FreeAllLayers(L, BGPic(), 1, 1);
    EXPECT_EQ(CountBrushes(), 0);
}

TEST_F(LayerList, TheGuardChecksTheOutputThenTheLayers) {
    Layers(1);
    struct Case {
        uint32_t target, layersOn;
        int expected;
    } cases[] = {
        {3, 1, ERR_SELECTBRUSH}, {28, 1, ERR_SELECTMASK}, {30, 1, ERR_SELECTALPHACHANNEL}, {21, 0, ERR_NOLAYERS},
        {28, 0, ERR_SELECTMASK}, {21, 1, 0},
    };
    for (const Case &c : cases) {
        d->targetKind = c.target;
        d->layersOn = c.layersOn;
        EXPECT_EQ(Str("LayerExists", {"x"}), c.expected) << c.target << " " << c.layersOn;
    }
    // Arguments are read before the guard runs.
    d->layersOn = 0;
    EXPECT_EQ(Call("LayerExists"), ERR_MISSINGPARAMTR);
    d->layersOn = 1;
}

TEST_F(LayerList, NamesAreUniqueAndARefusedNameKeepsTheOldOne) {
    Layers(3);
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 0), lua_pushstring(L, "front"); }), 0);
    EXPECT_STREQ(Layer(3)->name, "front");
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "back"); }), 0);
    strcpy(Layer(2)->group, "Team");
    // Another layer's name or group, in any case, is taken.
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "FRONT"); }), ERR_NAMEUSED);
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "team"); }), ERR_NAMEUSED);
    EXPECT_STREQ(Layer(1)->name, "back");
    // A layer may take its own name again; 255 bytes fit, 256 do not.
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "BACK"); }), 0);
    const std::string long255(255, 'n');
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 2), lua_pushstring(L, long255.c_str()); }), 0);
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 2), lua_pushstring(L, (long255 + "x").c_str()); }),
              ERR_NAMETOOLONG);
    EXPECT_EQ(std::string(Layer(2)->name), long255);
    // An empty name removes it; positions beyond the last are refused.
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, ""); }), 0);
    EXPECT_EQ(Layer(1)->name, nullptr);
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 4), lua_pushstring(L, "x"); }), ERR_LAYERRANGE);
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushstring(L, "front"), lua_pushstring(L, "x"); }), ERR_NUMEXPECTED);
    FreeAllLayers(L, BGPic(), 1, 1);
    EXPECT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 0), lua_pushstring(L, "x"); }), ERR_LAYERRANGE);
}

TEST_F(LayerList, LayerArgumentsByPositionNameOrGroup) {
    Layers(4);
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 2), lua_pushstring(L, "two"); }), 0);
    strcpy(Layer(1)->group, "g");
    strcpy(Layer(3)->group, "G");
    struct Case {
        const char *arg;
        int expectedPositions[3];
        int error;
    } cases[] = {
        {"two", {2, 0, 0}, 0},
        {"g", {1, 3, 0}, 0},  // every member, back to front
        {"nothing", {0, 0, 0}, ERR_FINDLAYER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arg);
        lua_settop(L, 0);
        lua_pushstring(L, c.arg);
        int32_t member = 0;
        int n = 0;
        do {
            cxLayer *l = nullptr;
            const int err = NextLayerOfArg(L, 1, BGPic(), &l, &member, nullptr);
            ASSERT_EQ(err, c.error);
            if (err) break;
            EXPECT_EQ(GetLayerListPos(l), c.expectedPositions[n++]);
        } while (member != -1);
    }
    EXPECT_NE(Message(ERR_FINDLAYER).find("nothing"), std::string::npos);
    lua_settop(L, 0);
    lua_pushnumber(L, 9);
    cxLayer *l = nullptr;
    int32_t member = 0;
    EXPECT_EQ(NextLayerOfArg(L, 1, BGPic(), &l, &member, nullptr), ERR_LAYERRANGE);
    lua_settop(L, 0);
    lua_newtable(L);
    EXPECT_EQ(NextLayerOfArg(L, 1, BGPic(), &l, &member, nullptr), ERR_STRORNUM);
    // Positions saturate instead of wrapping.
    for (double v : {0.0, -1.0, 2147483648.0, 1e300, double(NAN)}) {
        lua_settop(L, 0);
        lua_pushnumber(L, v);
        int32_t pos = 7;
        ASSERT_EQ(FindLayer(L, 1, BGPic(), &pos), 0);
        EXPECT_EQ(GetLayerByPos(BGPic(), pos), nullptr) << v;
    }
}

TEST_F(LayerList, ListPositions) {
    Layers(4);
    cxLayer *a = Layer(1), *b = Layer(2), *c = Layer(3), *e = Layer(4);
    auto order = [&] {
        std::string s;
        for (cxLayer *l = Layer(1); l; l = NextLayer(l)) s += l == a ? 'a' : l == b ? 'b' : l == c ? 'c' : 'e';
        return s;
    };
    EXPECT_EQ(SetLayerListPos(a, 1), 0);
    EXPECT_EQ(SetLayerListPos(e, 0), 0);
    EXPECT_EQ(SetLayerListPos(a, 3), 1);
    EXPECT_EQ(order(), "bcae");
    EXPECT_EQ(SetLayerListPos(e, 2), 1);
    EXPECT_EQ(order(), "beca");
    EXPECT_EQ(SetLayerListPos(b, 99), 1);
    EXPECT_EQ(order(), "ecab");
    EXPECT_EQ(SetLayerListPos(b, 1), 1);
    EXPECT_EQ(order(), "beca");
}

TEST_F(LayerList, GetLayerAtPosFindsTheFrontMostBoxHiddenOnesToo) {
    auto at = [&](double x, double y, double *pos, std::string *name) {
        const int err = Cmd("GetLayerAtPos", {x, y});
        if (!err) {
            *pos = lua_tonumber(L, 1);
            *name = lua_tostring(L, 2);
        }
        return err;
    };
    double pos = -1;
    std::string name = "?";
    ASSERT_EQ(at(1, 1, &pos, &name), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(name, "");
    Brush(1, 10, 10, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}, [&] { Field("hidden", 1), StringField("name", "hid"); }), 0);
    ASSERT_EQ(at(7, 7, &pos, &name), 0);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(name, "hid");
    ASSERT_EQ(at(2, 2, &pos, &name), 0);
    EXPECT_EQ(pos, 1);
    ASSERT_EQ(at(15, 15, &pos, &name), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(at(NAN, 0, &pos, &name), ERR_WRONGUSAGE);
    EXPECT_EQ(at(INFINITY, 0, &pos, &name), ERR_WRONGUSAGE);
}

TEST_F(LayerList, SwitchingLayersOffAndOnKeepsThem) {
    Layers(3);
    cxLayer *first = Layer(1);
    ASSERT_EQ(Call("DisableLayers"), 0);
    EXPECT_EQ(d->layersOn, 0u);
    EXPECT_EQ(Str("LayerExists", {"x"}), ERR_NOLAYERS);
    ASSERT_EQ(Call("EnableLayers"), 0);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(Layer(1), first);
    // Refusals.
    d->layersOn = 0;
    d->doubleBuffer1 = 1;
    EXPECT_EQ(Call("EnableLayers"), ERR_ENDDOUBLEBUFFER);
    d->doubleBuffer1 = 0;
    d->targetKind = 28;
    EXPECT_EQ(Call("EnableLayers"), ERR_LAYERSON);
    EXPECT_EQ(Call("DisableLayers"), ERR_LAYERSON);
    d->targetKind = 21;
    d->layerScale = 1;
    d->layersOn = 1;
    EXPECT_EQ(Call("DisableLayers"), ERR_NODISLAYERS);
    d->layerScale = 0;
}

TEST_F(LayerList, DumpListsEveryLayer) {
    Layers(2);
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 2), lua_pushstring(L, "second"); }), 0);
    testing::internal::CaptureStdout();
    ASSERT_EQ(Call("DumpLayers"), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Layers: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(2) BRUSH #1 ("), std::string::npos) << out;
    EXPECT_NE(out.find("\"second\") - X: 10 (10) - Y: 0 (0) - Width: 4 (4) - Height: 4 (4) - Visible: 1"),
              std::string::npos)
        << out;
}

TEST_F(LayerList, CreateLayerMakesABlankBrushLayerThatGoesWithIt) {
    ASSERT_EQ(Cmd("CreateLayer", {5, 6, 10, 8}, [&] { Field("color", 0x00FF00), Field("alphachannel", 1); }), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Composed(5, 6), 0x00FF00u);
    EXPECT_EQ(Composed(15, 6), kBack);
    // The brush is the layer's: freed with it.
    EXPECT_EQ(CountBrushes(), 1);
    FreeAllLayers(L, BGPic(), 1, 1);
    EXPECT_EQ(CountBrushes(), 0);

    struct Case {
        double w, h;
        std::function<void()> options;
        int expected;
    } cases[] = {
        {10, 10, [&] { Field("mask", 1), Field("alphachannel", 1); }, ERR_WRONGUSAGE},
        {10, 10, [&] { Field("frames", -1); }, ERR_WRONGUSAGE},
        {0, 0, nullptr, ERR_BADDIMENSIONS},
        {100000, 100000, nullptr, ERR_BITMAP},
        {10, 10, [&] { Field("frames", 3); }, ERR_FINDANIM},  // no anim library
        {NAN, 10, nullptr, ERR_WRONGUSAGE},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Cmd("CreateLayer", {0, 0, c.w, c.h}, c.options), c.expected) << c.w;
        EXPECT_EQ(Count(), 0);
        EXPECT_EQ(CountBrushes(), 0);
    }
}

TEST_F(LayerList, SelectLayerDrawsIntoTheLayersOwnImage) {
    // A brush the script still uses: the layer gets a copy to draw into.
    Brush(1, 10, 10, 0x0000FF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 0}), 0);
    ASSERT_EQ(Cmd("SelectLayer", {2}), 0);
    EXPECT_EQ(d->targetKind, 3u);
    EXPECT_EQ(Str("LayerExists", {"x"}), ERR_SELECTBRUSH);  // the guard while it lasts
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Box", {0, 0, 5, 5, 0xFFFF00}), 0);
    ASSERT_EQ(Call("EndSelect"), 0);
    EXPECT_EQ(Composed(21, 1), 0xFFFF00u);
    EXPECT_EQ(Composed(26, 6), 0x0000FFu);
    EXPECT_EQ(Composed(1, 1), 0x0000FFu);  // the other layer and the brush are untouched
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(b->layerUses, 1);

    // A box layer becomes a brush layer showing its image.
    ASSERT_EQ(Cmd("Box", {40, 20, 10, 10, 0x00FF00}), 0);
    ASSERT_EQ(Count(), 3);
    ASSERT_EQ(Cmd("SelectLayer", {3}), 0);
    ASSERT_EQ(Cmd("Box", {0, 0, 100, 100, 0xFF00FF}), 0);
    ASSERT_EQ(Call("EndSelect"), 0);
    EXPECT_EQ(Layer(3)->type, CX_LAYER_BRUSH);
    // Where the box was; around it the image stays transparent.
    EXPECT_EQ(Composed(45, 25), 0xFF00FFu);
    EXPECT_EQ(Composed(52, 25), 0x000080u);
    EXPECT_EQ(Cmd("SelectLayer", {9}), ERR_LAYERRANGE);
    EXPECT_EQ(Str("SelectLayer", {"nothing"}), ERR_FINDLAYER);
}

TEST_F(LayerList, TenThousandLayers) {
    Brush(1, 2, 2, 0xFFFFFF);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(Cmd("DisplayBrush", {1, double(i % 60), double(i % 40)}), 0);
    EXPECT_EQ(Count(), 10000);
    EXPECT_EQ(GetLayerListPos(Layer(9999)), 9999);
    double pos = 0;
    ASSERT_EQ(Cmd("GetLayerAtPos", {59, 39}), 0);
    pos = lua_tonumber(L, 1);
    EXPECT_EQ(pos, 9960);  // i = 9959, the last with i % 60 = 59 and i % 40 = 39
}

TEST_F(LayerList, StatesSharedBySeveralSlotsAreFreedOnce) {
    Brush(1, 6, 4, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}, [&] { Field("rotate", 90); }), 0);
    cxLayer *l = Layer(1);
    ASSERT_EQ(l->base, l->display);
    EXPECT_EQ(l->display->width, 4);
    EXPECT_EQ(l->display->height, 6);
    // A new rendering gives the layer a picture state of its own beside
    // the base; both go once (the sanitizers watch).
    ASSERT_EQ(RenderLayerImage(L, l, CX_RENDER_PREVIOUSBOX), 0);
    EXPECT_NE(l->picture, l->base);
    EXPECT_EQ(l->picture, l->display);
    ASSERT_EQ(RenderLayerImage(L, l, CX_RENDER_PREVIOUSBOX), 0);
    FreeAllLayers(L, BGPic(), 1, 1);
}

TEST_F(LayerList, AFailedRenderingLeavesTheLayerAsItWas) {
    Brush(1, 6, 4, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}, [&] { Field("rotate", 30); }), 0);
    cxLayer *l = Layer(1);
    cxLayerState *before = l->display;
    cxBitmap *image = before->bitmap;
    // The brush gone: the renderer fails.
    l->source = cxObjectID{99, nullptr};
    EXPECT_EQ(RenderLayerImage(L, l, 0), ERR_FINDBRUSH);
    EXPECT_EQ(l->display, before);
    EXPECT_EQ(l->display->bitmap, image);
    l->source = cxObjectID{1, nullptr};
    // A clip region that cannot be turned (too large to make): 1000 and
    // the old states.
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxClipRegion *r = nullptr;
    ASSERT_EQ(AddClipRegion(&id, 0, 0, 60000, 60000, nullptr, &r), 0);
    ReleaseClipRegion(l->base->clip);
    l->base->clip = UseClipRegion(r);
    EXPECT_EQ(RenderLayerImage(L, l, 0), ERR_MEM);
    EXPECT_EQ(l->display, before);
    EXPECT_EQ(l->display->bitmap, image);
}

}  // namespace
