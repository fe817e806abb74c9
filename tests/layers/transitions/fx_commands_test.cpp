// The transitionfx commands on a display without a window: BGPic
// transitions, brushes, text objects and BGPic parts with layers off and
// on, the layer commands, UndoFX, ClearScreen and GetRandomFX; the output
// targets an effect refuses, bad numbers, restarts after a resize, and
// async effects whose layer or display goes away.
#include <cmath>
#include <functional>

#include "display/frame_hooks.h"
#include "display/picture.h"
#include "display/present.h"
#include "layers/core/async_draw.h"
#include "layers/core/layer_insert.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/effect_traits.h"
#include "layers/transitions/transitionfx_library.h"
#include "text/library/text_library.h"
#include "tests/layers/layer_test_display.h"

namespace {

constexpr uint32_t kBackfill = 0x000080;

int g_turns = 0, g_frames = 0;
std::function<int(int, int *)> g_onTurn;

int Pump(lua_State *, int *code) {
    ++g_turns;
    return g_onTurn ? g_onTurn(g_turns, code) : 0;
}
void Wait(lua_State *, cxDisplay *) { ++g_frames; }

class TransitionCommands : public cxtest::LayerDisplayTest {
  protected:
    void SetUp() override {
        LayerDisplayTest::SetUp();
        static const luaL_reg select[] = {{"SelectBrush", CmdSelectBrush},
                                          {"SelectMask", CmdSelectMask},
                                          {"SelectAlphaChannel", CmdSelectAlphaChannel},
                                          {nullptr, nullptr}};
        luaL_openlib(L, nullptr, select, 0);
        ASSERT_EQ(OpenTransitionLibrary(L), 0);
        const cxEffectLoopHooks hooks{Pump, Wait};
        SetEffectLoopHooks(&hooks);
        g_turns = g_frames = 0;
        g_onTurn = nullptr;
    }
    void TearDown() override {
        FreeTransitionLibraryState(L);
        SetEffectLoopHooks(nullptr);
        g_onTurn = nullptr;
        if (BGPic()) FreeAllLayers(L, BGPic(), 1, 1);
        LayerDisplayTest::TearDown();
    }
    // Records the effect number and counter of the effect on a layer at
    // each turn of the pump.
    void Record(std::vector<int> *effects, std::vector<int> *counters = nullptr) {
        g_onTurn = [=, this](int, int *) {
            for (int p = 1; p <= Count(); ++p)
                if (const cxEffectInstance *fx = FindLayerEffect(Layer(p))) {
                    if (effects) effects->push_back(fx->effect);
                    if (counters) counters->push_back(fx->counter);
                }
            return 0;
        };
    }
    int Reachable() {
        int n = 0;
        for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) n += !b->pendingFree;
        return n;
    }
};

TEST_F(TransitionCommands, CrossfadeBetweenTwoBGPics) {
    for (int layers : {1, 0}) {
        d->layersOn = uint32_t(layers);
        const uint32_t colour = layers ? 0xFF0000 : 0x00FF00;
        ASSERT_EQ(Cmd("CreateBGPic", {double(1 + layers), 64, 48, double(colour)}), 0);
        g_turns = 0;
        uint32_t middle = 0;
        g_onTurn = [&](int t, int *) {
            if (t == 14) middle = layers ? Composed(5, 5) : Shown(5, 5);
            return 0;
        };
        ASSERT_EQ(Cmd("DisplayTransitionFX", {double(1 + layers), 115}), 0);
        // 26 steps of 10 levels; half way both pictures show.
        EXPECT_EQ(g_turns, 26);
        EXPECT_NE(middle, colour);
        EXPECT_NE(middle & (layers ? 0xFF0000u : 0x00FF00u), 0u);
        EXPECT_EQ(Shown(5, 5), colour);
        if (layers) {
            EXPECT_EQ(Composed(63, 47), colour);
        }
        cxBGPic *b = nullptr;
        ASSERT_EQ(FindBGPic(L, {1 + layers, nullptr}, &b, 0), 0);
        EXPECT_EQ(d->bgpic, b);
        EXPECT_FALSE(IsTransitionRunning());
    }
}

TEST_F(TransitionCommands, ABGPicOfAnotherSizeAndTheirAlphaChannels) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 40, 30, 0xFFFFFF}), 0);
    ASSERT_EQ(Cmd("DisplayTransitionFX", {1, 38, 5}), 0);
    EXPECT_EQ(d->pictureWidth, 40);
    EXPECT_EQ(Composed(39, 29), 0xFFFFFFu);
    // A BGPic with an alpha channel cannot take part.
    ASSERT_EQ(Cmd("CreateBGPic", {2, 40, 30, 0x00FF00}), 0);
    cxBGPic *b = nullptr;
    ASSERT_EQ(FindBGPic(L, {2, nullptr}, &b, 0), 0);
    b->current.alpha = AllocAlphaChannel(40, 30, 1, nullptr, 0);
    EXPECT_EQ(Cmd("DisplayTransitionFX", {2, 115}), ERR_WRONGUSAGE);
    FreeAlphaChannel(b->current.alpha);
    b->current.alpha = nullptr;
    EXPECT_EQ(Composed(0, 0), 0xFFFFFFu);
}

TEST_F(TransitionCommands, OutputTargetsTheEffectsRefuse) {
    d->layersOn = 0;
    Brush(1, 8, 8, 0xFFFFFF);
    Brush(2, 8, 8, 0xFF0000);
    ASSERT_EQ(Cmd("CreateBGPic", {1, 64, 48, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("CreateBGPic", {2, 64, 48, 0xFFFF00}), 0);
    struct Row {
        const char *select;
        double arg;
        const char *command;
        std::vector<double> args;
        int error;
    } rows[] = {
        {"SelectBrush", 1, "DisplayBrushFX", {2, 0, 0, 0}, ERR_SELECTBRUSH},
        {"SelectBrush", 1, "DisplayTransitionFX", {1, 0}, ERR_SELECTBRUSH},
        {"SelectMask", 1, "DisplayBrushFX", {2, 0, 0, 0}, ERR_SELECTMASK},
        {"SelectAlphaChannel", 1, "DisplayBrushFX", {2, 0, 0, 0}, ERR_SELECTALPHACHANNEL},
        {"SelectBGPic", 1, "DisplayTransitionFX", {2, 0}, ERR_SELECTBG},
        {"SelectBGPic", 1, "DisplayBrushFX", {2, 0, 0, 0}, ERR_SELECTBG},
        // The very brush or BGPic selected: the selection ends first.
        {"SelectBrush", 1, "DisplayBrushFX", {1, 0, 0, 0}, 0},
        {"SelectMask", 1, "DisplayBrushFX", {1, 0, 0, 0}, 0},
        {"SelectBGPic", 1, "DisplayTransitionFX", {1, 0}, 0},
    };
    for (const Row &r : rows) {
        ASSERT_EQ(Cmd(r.select, {r.arg}), 0) << r.select;
        EXPECT_EQ(Call(r.command, [&] { for (double a : r.args) lua_pushnumber(L, a); }), r.error)
            << r.select << " " << r.command;
        if (r.error) {
            ASSERT_EQ(Call("EndSelect"), 0);
        }
        EXPECT_EQ(d->targetKind, uint32_t(CX_OBJECT_DISPLAY)) << r.select;
    }
}

TEST_F(TransitionCommands, BrushesWithLayersOffDrawIntoThePicture) {
    d->layersOn = 0;
    Brush(1, 10, 6, 0xFFFFFF);
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    // A mask with a hole: the hole shows what was there.
    b->mask = AllocMask(b->bitmap, 10, 6, 0, nullptr, 0);
    FillMaskRect(b->mask, 0, 0, 10, 6, CX_MASKVISIBLE);
    FillMaskRect(b->mask, 2, 2, 1, 1, CX_MASKINVISIBLE);
    for (int effect : {0, 24, 38, 97, 115, 116, 132, 139}) {
        ASSERT_EQ(Call("Cls"), 0);
        ASSERT_EQ(Cmd("DisplayBrushFX", {1, 20, 10, double(effect), 1000}), 0) << effect;
        EXPECT_EQ(Shown(20, 10), 0xFFFFFFu) << effect;
        EXPECT_EQ(Shown(29, 15), 0xFFFFFFu) << effect;
        EXPECT_EQ(Shown(22, 12), kBackfill) << effect;
        EXPECT_EQ(Shown(19, 10), kBackfill) << effect;
        EXPECT_EQ(Shown(30, 16), kBackfill) << effect;
    }
    // Special coordinates place it.
    ASSERT_EQ(Call("Cls"), 0);
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, -100000, -100000, 0}), 0);
    EXPECT_EQ(Shown(27, 21), 0xFFFFFFu);
    EXPECT_EQ(Shown(26, 21), kBackfill);
}

TEST_F(TransitionCommands, BrushesWithLayersOnBecomeLayers) {
    Brush(1, 10, 6, 0xFFFFFF);
    std::vector<int> effects;
    Record(&effects);
    // A BGPic-only effect runs as HSTRIPES for a brush.
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, 5, 5, 74}), 0);
    ASSERT_FALSE(effects.empty());
    EXPECT_EQ(effects.front(), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_FALSE(Layer(1)->hidden);
    EXPECT_FALSE(Layer(1)->effect);
    EXPECT_EQ(Composed(5, 5), 0xFFFFFFu);
    EXPECT_EQ(Composed(14, 10), 0xFFFFFFu);
    // A brush layer that is transparent runs in layer mode and ends the
    // same.
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, 30, 20}, [&] {
                  Field("type", 115), Field("speed", 100), Field("forcerealtimelayers", 1);
              }),
              0);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Composed(39, 25), 0xFFFFFFu);
    EXPECT_EQ(CountRunningEffects(), 0);
}

TEST_F(TransitionCommands, TextObjectsAndBGPicParts) {
    ASSERT_EQ(OpenTextLibrary(L), 0);
    ASSERT_EQ(Call("CreateTextObject", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "T"); }), 0);
    ASSERT_EQ(Cmd("DisplayTextObjectFX", {1, 2, 2, 30, 100}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_TEXTOBJECT);
    // The text can be freed meanwhile: the layer keeps its copy.
    ASSERT_EQ(Cmd("FreeTextObject", {1}), 0);
    EXPECT_EQ(Cmd("DisplayTextObjectFX", {1, 2, 2, 30}), ERR_FINDTEXTOBJECT);

    ASSERT_EQ(Cmd("CreateBGPic", {3, 64, 48, 0x00FF00}), 0);
    // Layers off: drawn into the picture at dx, dy.
    d->layersOn = 0;
    ASSERT_EQ(Cmd("DisplayBGPicPartFX", {3, 4, 4, 6, 6, 0, 100, -1, 40, 30}), 0);
    EXPECT_EQ(Shown(40, 30), 0x00FF00u);
    EXPECT_EQ(Shown(45, 35), 0x00FF00u);
    EXPECT_EQ(Shown(46, 36), kBackfill);
    // A layer asked for while layers are off.
    EXPECT_EQ(Cmd("DisplayBGPicPartFX", {3, 0, 0, 4, 4, 0, -1, -1, 0, 0, 1}), ERR_WRONGUSAGE);
    // Empty and one-pixel parts, and parts reaching out of the BGPic.
    EXPECT_EQ(Cmd("DisplayBGPicPartFX", {3, 100, 100, 10, 10, 0}), 0);
    EXPECT_EQ(Cmd("DisplayBGPicPartFX", {3, 0, 0, 0, 5, 38}), 0);
    EXPECT_EQ(Cmd("DisplayBGPicPartFX", {3, 0, 0, 1, 1, 97, -1, -1, 1, 1}), 0);
    EXPECT_EQ(Shown(1, 1), 0x00FF00u);
    EXPECT_EQ(Cmd("DisplayBGPicPartFX", {3, 60, 44, 10, 10, 115, -1, -1, 0, 0}), 0);
    EXPECT_EQ(Shown(3, 3), 0x00FF00u);
    EXPECT_EQ(Shown(4, 4), kBackfill);
    // Layers on with the flag: a layer; without it: into the background.
    d->layersOn = 1;
    const int before = Count();
    ASSERT_EQ(Cmd("DisplayBGPicPartFX", {3, 0, 0, 8, 8}, [&] {
                  Field("type", 28), Field("dx", 50), Field("dy", 2), Field("layers", 1);
              }),
              0);
    EXPECT_EQ(Count(), before + 1);
    EXPECT_EQ(Layer(Count())->type, CX_LAYER_BGPICPART);
    EXPECT_EQ(Composed(57, 9), 0x00FF00u);
    FreeTextLibrary(L);
}

TEST_F(TransitionCommands, LayerCommandsShowHideAndRemove) {
    Brush(1, 10, 6, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}), 0);
    std::vector<int> effects;
    Record(&effects);
    // Hiding runs the mirrored effect: the curtain closes.
    ASSERT_EQ(Cmd("HideLayerFX", {1, 24}), 0);
    EXPECT_EQ(effects.front(), 25);
    EXPECT_TRUE(Layer(1)->hidden);
    EXPECT_EQ(Composed(5, 5), kBackfill);
    effects.clear();
    ASSERT_EQ(Cmd("ShowLayerFX", {1, 26}), 0);
    EXPECT_EQ(effects.front(), 26);
    EXPECT_FALSE(Layer(1)->hidden);
    EXPECT_EQ(Composed(14, 10), 0xFFFFFFu);
    effects.clear();
    ASSERT_EQ(Cmd("HideLayerFX", {1, 38, 1000}), 0);
    EXPECT_EQ(effects.front(), 88);
    // Names work as positions; a layer that is not there is out of range.
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 1), lua_pushstring(L, "box"); }), 0);
    ASSERT_EQ(Call("ShowLayerFX", [&] { lua_pushstring(L, "box"), lua_pushnumber(L, 115), lua_pushnumber(L, 100); }), 0);
    EXPECT_FALSE(Layer(1)->hidden);
    EXPECT_EQ(Cmd("ShowLayerFX", {2, 0}), ERR_LAYERRANGE);
    EXPECT_EQ(Call("ShowLayerFX", [&] { lua_pushstring(L, "nothing"); }), ERR_FINDLAYER);
    ASSERT_EQ(Cmd("RemoveLayerFX", {1, 139, 8}), 0);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Composed(10, 8), kBackfill);
    d->layersOn = 0;
    EXPECT_EQ(Cmd("ShowLayerFX", {1, 0}), ERR_NOLAYERS);
}

TEST_F(TransitionCommands, CoveredAndStyledLayersRunInLayerMode) {
    // A layer under another, and one with a border: the effect shows in
    // the layer's place, the layer in front stays on top.
    Brush(1, 20, 20, 0xFFFFFF);
    Brush(2, 6, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 7, 7}), 0);
    ASSERT_EQ(Cmd("HideLayerFX", {1, 0, 100}), 0);
    EXPECT_TRUE(Layer(1)->hidden);
    bool frontKept = true;
    g_onTurn = [&](int, int *) {
        frontKept = frontKept && Composed(9, 9) == 0xFF0000u;
        return 0;
    };
    ASSERT_EQ(Cmd("ShowLayerFX", {1, 38, 1}), 0);
    EXPECT_TRUE(frontKept);
    EXPECT_EQ(Composed(0, 0), 0xFFFFFFu);
    EXPECT_EQ(Composed(9, 9), 0xFF0000u);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 30, 20}, [&] { Field("border", 1), Field("bordersize", 2), Field("bordercolor", 0x00FF00); }), 0);
    ASSERT_EQ(Cmd("HideLayerFX", {3, 115}), 0);
    EXPECT_EQ(Composed(31, 21), kBackfill);
    EXPECT_EQ(Layer(3)->borderFade, 0);
    ASSERT_EQ(Cmd("ShowLayerFX", {3, 116, 100, 0x0000FF}), 0);
    EXPECT_EQ(Composed(31, 21), 0xFFFFFFu);
    EXPECT_EQ(Composed(29, 21), 0x00FF00u);
}

TEST_F(TransitionCommands, RandomEffects) {
    // 113 is taken as random: the same pick as GetRandomFX draws.
    Brush(1, 6, 6, 0xFFFFFF);
    srand48(7);
    const int32_t want = PickRandomEffect(1);
    std::vector<int> effects;
    Record(&effects);
    srand48(7);
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 113, 1000}), 0);
    ASSERT_FALSE(effects.empty());
    EXPECT_EQ(effects.front(), want);
    // A restricted pick never needs a whole background; an unrestricted one
    // reaches those too; neither gives 113 or 140.
    bool bgOnly = false;
    for (int i = 0; i < 4000; ++i) {
        ASSERT_EQ(Cmd("GetRandomFX", {1}), 0);
        const int r = int(lua_tonumber(L, -1));
        ASSERT_TRUE(r >= 0 && r < 140 && r != 113) << r;
        ASSERT_FALSE(GetEffectTraits(r)->flags & CX_FXT_BGPICONLY) << r;
        ASSERT_EQ(Cmd("GetRandomFX", {0}), 0);
        const int u = int(lua_tonumber(L, -1));
        ASSERT_TRUE(u >= 0 && u < 140 && u != 113) << u;
        bgOnly = bgOnly || (GetEffectTraits(u)->flags & CX_FXT_BGPICONLY);
    }
    EXPECT_TRUE(bgOnly);
}

TEST_F(TransitionCommands, BadNumbers) {
    d->layersOn = 0;
    Brush(1, 6, 6, 0xFFFFFF);
    for (double e : {-5.0, 141.0, 1e9, -1e12, double(NAN)}) {
        EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, e}), ERR_WRONGUSAGE) << e;
        EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0}, [&] { Field("type", e); }), ERR_WRONGUSAGE) << e;
        EXPECT_EQ(Cmd("ClearScreen", {e}), ERR_WRONGUSAGE) << e;
    }
    EXPECT_EQ(Reachable(), 0);
    // Speeds and parameters saturate.
    for (double s : {1e12, -1e12, double(NAN), 0.0, -4.0}) {
        EXPECT_EQ(Cmd("DisplayBrushFX", {1, 1e12, 0, 0, s, 1e12}), 0) << s;
        EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 115, s, -1e12}), 0) << s;
    }
    EXPECT_EQ(Shown(5, 5), 0xFFFFFFu);
    // Every number 0..139 has an effect: a stretch runs on a brush too.
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 55}), 0);
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 2, 1, -1, 5}), ERR_TOOMANYARGS);
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 2, 1}, [&] {}), ERR_NUMEXPECTED);
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0}), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Cmd("DisplayBrushFX", {9, 0, 0, 0}), ERR_FINDBRUSH);
}

TEST_F(TransitionCommands, TableAndPositionalFormsAgree) {
    d->layersOn = 0;
    Brush(1, 12, 8, 0xFFFFFF);
    std::vector<uint32_t> seen[2];
    int turns[2] = {0, 0};
    for (int form = 0; form < 2; ++form) {
        ASSERT_EQ(Call("Cls"), 0);
        g_turns = 0;
        g_onTurn = [&](int t, int *) {
            if (t == 3)
                for (int x = 0; x < 30; ++x) seen[form].push_back(Shown(x, 8));
            return 0;
        };
        if (form == 0) {
            ASSERT_EQ(Cmd("DisplayBrushFX", {1, 5, 5, 30, 2, -1}), 0);
        } else {
            ASSERT_EQ(Cmd("DisplayBrushFX", {1, 0, 0}, [&] { Field("type", 30), Field("speed", 2), Field("dx", 5), Field("dy", 5); }), 0);
        }
        turns[form] = g_turns;
    }
    EXPECT_EQ(turns[0], turns[1]);
    EXPECT_EQ(seen[0], seen[1]);
    // A table that is not the last argument is not read as settings.
    EXPECT_NE(Call("DisplayTransitionFX", [&] { lua_pushnumber(L, 1), lua_newtable(L), lua_pushnumber(L, 1); }), 0);
}

TEST_F(TransitionCommands, AsyncIsRefusedForBGPicsAndPicturesWithoutLayers) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 64, 48, 0xFF0000}), 0);
    EXPECT_EQ(Cmd("DisplayTransitionFX", {1}, [&] { Field("type", 115), Field("async", 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ClearScreen", {115, 0}, [&] { Field("async", 1); }), ERR_WRONGUSAGE);
    d->layersOn = 0;
    Brush(1, 6, 6, 0xFFFFFF);
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0}, [&] { Field("async", 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Reachable(), 1);
}

TEST_F(TransitionCommands, AResizeRestartsALayerEffect) {
    Brush(1, 10, 10, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}, [&] { Field("hidden", 1); }), 0);
    std::vector<int> counters;
    Record(nullptr, &counters);
    auto record = g_onTurn;
    g_onTurn = [&](int t, int *code) {
        record(t, code);
        if (t == 4) {
            EXPECT_EQ(GetDisplayPictureHooks()->resizePicture(L, d, 80, 60, 0), 0);
        }
        return 0;
    };
    ASSERT_EQ(Cmd("ShowLayerFX", {1, 30, 1}), 0);
    // Three steps ran; the turn that saw the new size stopped the effect,
    // which started again from step 0 and ran its 5 steps.
    ASSERT_EQ(counters.size(), 9u);
    EXPECT_EQ(std::vector<int>(counters.begin(), counters.begin() + 5), (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_EQ(counters.back(), 4);
    EXPECT_FALSE(Layer(1)->hidden);
    EXPECT_EQ(Composed(14, 14), 0xFFFFFFu);
    // A brush effect's own layer is made again, not doubled.
    counters.clear();
    g_onTurn = [&](int t, int *code) {
        record(t, code);
        if (t == 2) {
            EXPECT_EQ(GetDisplayPictureHooks()->resizePicture(L, d, 64, 48, 0), 0);
        }
        return 0;
    };
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, 30, 30, 30, 1}), 0);
    EXPECT_EQ(Count(), 2);
}

TEST_F(TransitionCommands, APumpStopEndsTheEffectWhereItIs) {
    Brush(1, 10, 10, 0xFFFFFF);
    g_onTurn = [&](int t, int *code) {
        if (t < 3) return 0;
        *code = t == 3 ? 0 : ERR_USERABORT;
        return 1;
    };
    // Without an error code the command ends at once and succeeds; the
    // layer it made goes with the unfinished effect.
    ASSERT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 30, 1}), 0);
    EXPECT_EQ(Count(), 0);
    g_turns = 0;
    EXPECT_EQ(Cmd("DisplayBrushFX", {1, 0, 0, 0, 1}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    g_turns = 3;
    EXPECT_EQ(Cmd("HideLayerFX", {1, 30, 1}), ERR_USERABORT);
    EXPECT_FALSE(Layer(1)->hidden);
    EXPECT_EQ(CountRunningEffects(), 0);
}

TEST_F(TransitionCommands, UndoFXRemovesTheLayersOfAnObject) {
    Brush(1, 6, 6, 0xFFFFFF);
    Brush(2, 6, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 10, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 0}), 0);
    // Level 2 from the front: the first one.
    ASSERT_EQ(Cmd("UndoFX", {3, 1}, [&] { Field("type", 0), Field("undolevel", 2); }), 0);
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Layer(1)->display->drawX, 10);
    EXPECT_EQ(Layer(2)->display->drawX, 20);
    ASSERT_EQ(Cmd("UndoFX", {3, 1, 38, 1000}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Composed(22, 2), kBackfill);
    EXPECT_EQ(Cmd("UndoFX", {3, 1}), ERR_FINDARRAY);
    EXPECT_EQ(Cmd("UndoFX", {3, 2, 0, -1, -1, 2}), ERR_FINDARRAY);
    d->layersOn = 0;
    EXPECT_EQ(Cmd("UndoFX", {3, 2}), ERR_NOLAYERS);
}

TEST_F(TransitionCommands, ClearScreenLeavesNoBGPicBehind) {
    for (int layers : {0, 1}) {
        d->layersOn = uint32_t(layers);
        ASSERT_EQ(Cmd("ClearScreen", {115, 0xFF0000}), 0);
        EXPECT_EQ(Shown(0, 0), 0xFF0000u);
        if (layers) {
            EXPECT_EQ(Composed(63, 47), 0xFF0000u);
        }
        EXPECT_EQ(Reachable(), 0);
    }
    // The picture on show goes once another replaces it.
    ASSERT_EQ(Cmd("CreateBGPic", {1, 64, 48, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("DisplayBGPic", {1}), 0);
    EXPECT_EQ(CountBGPics(), 1);
    EXPECT_EQ(Cmd("ClearScreen", {}), ERR_MISSINGPARAMTR);
}

TEST_F(TransitionCommands, AsyncLayerEffects) {
    Brush(1, 10, 10, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}, [&] { Field("hidden", 1); }), 0);
    ASSERT_EQ(Cmd("ShowLayerFX", {1}, [&] { Field("type", 115), Field("async", 1); }), 0);
    ASSERT_TRUE(lua_islightuserdata(L, -1));
    EXPECT_TRUE(IsAsyncDrawObject(Layer(1)));
    EXPECT_EQ(Cmd("ShowLayerFX", {1, 0}), ERR_ALREADYASYNC);
    EXPECT_EQ(Cmd("HideLayerFX", {1, 0}), ERR_ALREADYASYNC);
    for (int i = 0; i < 13; ++i) WaitDisplayFrame(L, d, 0);
    const uint32_t middle = Composed(9, 9);
    EXPECT_NE(middle, 0xFFFFFFu);
    EXPECT_NE(middle, kBackfill);
    for (int i = 0; i < 20; ++i) WaitDisplayFrame(L, d, 0);
    EXPECT_EQ(Composed(9, 9), 0xFFFFFFu);
    EXPECT_FALSE(IsAsyncDrawObject(Layer(1)));
    EXPECT_EQ(CountRunningEffects(), 0);

    // Its layer goes while it runs.
    ASSERT_EQ(Cmd("HideLayerFX", {1}, [&] { Field("type", 139), Field("async", 1); }), 0);
    WaitDisplayFrame(L, d, 0);
    ASSERT_EQ(Call("Cls"), 0);
    EXPECT_EQ(Count(), 0);
    for (int i = 0; i < 3; ++i) WaitDisplayFrame(L, d, 0);
    EXPECT_EQ(CountRunningEffects(), 0);

    // The picture changes size while it runs: it goes on.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}), 0);
    ASSERT_EQ(Cmd("HideLayerFX", {1}, [&] { Field("type", 0), Field("async", 1), Field("speed", 1); }), 0);
    WaitDisplayFrame(L, d, 0);
    ASSERT_EQ(GetDisplayPictureHooks()->resizePicture(L, d, 70, 50, 0), 0);
    for (int i = 0; i < 20; ++i) WaitDisplayFrame(L, d, 0);
    EXPECT_TRUE(Layer(1)->hidden);

    // Its display goes while it runs.
    ASSERT_EQ(Cmd("ShowLayerFX", {1}, [&] { Field("type", 38), Field("async", 1), Field("speed", 1); }), 0);
    WaitDisplayFrame(L, d, 0);
    GetDisplayFrameHooks()->freed(L, d);
    EXPECT_EQ(CountRunningEffects(), 0);
    EXPECT_FALSE(Layer(1)->effect);
}

// The families that own work pictures or tables, asynchronous: their layer
// goes while they run, or the picture changes size; each ends and frees
// what it made (the sanitizer runs see a leak).
TEST_F(TransitionCommands, AsyncEffectsOfEveryKindEndWhenTheirLayerGoes) {
    Brush(1, 10, 10, 0xFFFFFF);
    for (int type : {47, 55, 61, 70, 82, 84, 86, 100, 105, 107, 110}) {
        ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}, [&] { Field("hidden", 1); }), 0) << type;
        ASSERT_EQ(Cmd("ShowLayerFX", {1}, [&] { Field("type", type), Field("async", 1), Field("speed", 1); }), 0)
            << type;
        WaitDisplayFrame(L, d, 0);
        WaitDisplayFrame(L, d, 0);
        ASSERT_EQ(Call("Cls"), 0);
        for (int i = 0; i < 3; ++i) WaitDisplayFrame(L, d, 0);
        EXPECT_EQ(CountRunningEffects(), 0) << type;

        ASSERT_EQ(Cmd("DisplayBrush", {1, 5, 5}), 0) << type;
        ASSERT_EQ(Cmd("HideLayerFX", {1}, [&] { Field("type", type), Field("async", 1), Field("speed", 1); }), 0)
            << type;
        WaitDisplayFrame(L, d, 0);
        ASSERT_EQ(GetDisplayPictureHooks()->resizePicture(L, d, 70 + type % 7, 50, 0), 0);
        for (int i = 0; i < 400 && CountRunningEffects(); ++i) WaitDisplayFrame(L, d, 0);
        EXPECT_EQ(CountRunningEffects(), 0) << type;
        EXPECT_TRUE(Layer(1)->hidden) << type;
        ASSERT_EQ(Call("Cls"), 0);
    }
}

}  // namespace
