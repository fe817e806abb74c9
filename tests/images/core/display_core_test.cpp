// DisplayBrush, DisplayBrushPart and DisplayBGPicPart through the generic
// display core, drawing into a display's picture without a window.
#include <cmath>
#include <functional>

#include "display/draw/draw_library.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"
#include "images/editing/brush_commands.h"
#include "tests/images/brushes/brush_test_display.h"

namespace {

constexpr uint32_t kBack = 0x000080;  // the display's backfill

class DisplayCore : public cxtest::BrushDisplayTest {
  protected:
    // A brush of one colour; with alpha, an alpha channel of one level.
    cxBrush *Brush(int id, int w, int h, uint32_t colour, int alpha = -1) {
        EXPECT_EQ(Cmd("CreateBrush", {double(id), double(w), double(h), double(colour)}), 0);
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, {id, nullptr}, &b, 0), 0);
        if (alpha >= 0) {
            b->alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
            FillAlphaRect(b->alpha, 0, 0, w, h, uint8_t(alpha));
        }
        return b;
    }
    // The blend of the kernels: d + (((s - d) * a) >> 8) per channel.
    static uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
        if (a == 0) return d;
        if (a == 255) return s;
        uint32_t out = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
            out |= uint32_t((dc + (((sc - dc) * int(a)) >> 8)) & 0xFF) << shift;
        }
        return out;
    }
};

TEST_F(DisplayCore, BrushAtCoordinatesAndAtTheCentre) {
    Brush(1, 8, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 3, 4}), 0);
    EXPECT_EQ(Shown(3, 4), 0xFF0000u);
    EXPECT_EQ(Shown(10, 9), 0xFF0000u);
    EXPECT_EQ(Shown(11, 9), kBack);
    EXPECT_EQ(Shown(2, 4), kBack);

    Brush(2, 10, 10, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {2, -100000, -100000}), 0);  // #CENTER
    EXPECT_EQ(Shown(27, 19), 0x00FF00u);
    EXPECT_EQ(Shown(36, 28), 0x00FF00u);
    EXPECT_EQ(Shown(26, 19), kBack);
    EXPECT_EQ(Shown(37, 28), kBack);

    // #RIGHT, #BOTTOM with an anchor at the brush's middle: still flush.
    ASSERT_EQ(Cmd("DisplayBrush", {2, -80000, -60000}, [&] { Field("anchorx", 0.5), Field("anchory", 0.5); }), 0);
    EXPECT_EQ(Shown(63, 47), 0x00FF00u);
    EXPECT_EQ(Shown(54, 38), 0x00FF00u);
    EXPECT_EQ(Shown(53, 38), kBack);

    // Off the picture is clipped, not refused.
    EXPECT_EQ(Cmd("DisplayBrush", {1, -4, 60}), 0);
}

TEST_F(DisplayCore, AlphaBlendsByTheKernelRule) {
    Brush(1, 4, 4, 0xF0E0D0, 100);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    EXPECT_EQ(Shown(1, 1), Blend(0xF0E0D0, kBack, 100));
    EXPECT_EQ(Shown(4, 1), kBack);

    // "transparency" scales the alpha: 255 shows nothing, 0 keeps it.
    Brush(2, 4, 4, 0x102030);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 10, 10}, [&] { Field("transparency", 255); }), 0);
    EXPECT_EQ(Shown(11, 11), kBack);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}, [&] { Field("transparency", 0); }), 0);
    EXPECT_EQ(Shown(21, 21), Blend(0xF0E0D0, kBack, 100));
    ASSERT_EQ(Cmd("DisplayBrush", {2, 30, 30}, [&] { Field("transparency", 128); }), 0);
    EXPECT_EQ(Shown(31, 31), Blend(0x102030, kBack, 127));
    // The brush itself is untouched by the options.
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {2, nullptr}, &b, 0), 0);
    EXPECT_EQ(b->alpha, nullptr);
}

TEST_F(DisplayCore, MaskKeepsTheBackgroundWhereClear) {
    cxBrush *b = Brush(1, 8, 8, 0xFFFF00);
    b->mask = AllocMask(b->bitmap, 8, 8, 1, nullptr, 0);
    FillMaskRect(b->mask, 0, 0, 4, 8, CX_MASKVISIBLE);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    EXPECT_EQ(Shown(3, 3), 0xFFFF00u);
    EXPECT_EQ(Shown(4, 3), kBack);
}

TEST_F(DisplayCore, ScaledAndTurned) {
    Brush(1, 4, 2, 0xFF00FF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("scalex", 2), Field("scaley", 3); }), 0);
    EXPECT_EQ(Shown(7, 5), 0xFF00FFu);
    EXPECT_EQ(Shown(8, 5), kBack);
    EXPECT_EQ(Shown(7, 6), kBack);
    // A quarter turn makes the brush 2 wide and 4 high.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}, [&] { Field("rotate", 90); }), 0);
    EXPECT_EQ(Shown(20, 20), 0xFF00FFu);
    EXPECT_EQ(Shown(21, 23), 0xFF00FFu);
    EXPECT_EQ(Shown(22, 20), kBack);
    EXPECT_EQ(Shown(20, 24), kBack);
}

TEST_F(DisplayCore, BrushPartIsCutToTheBrush) {
    cxBrush *b = Brush(1, 10, 10, 0x202020);
    FillRect(b->bitmap, 5, 5, 5, 5, 0xFFFFFF);
    // The lower right quarter, asked for larger than what remains.
    ASSERT_EQ(Cmd("DisplayBrushPart", {1, 5, 5, 0, 0, 50, 50}), 0);
    EXPECT_EQ(Shown(4, 4), 0xFFFFFFu);
    EXPECT_EQ(Shown(5, 5), kBack);

    struct Case {
        double sx, sy, w, h;
        int expected;
    } cases[] = {
        {10, 0, 2, 2, ERR_COORDSRANGE},  // source x equal to the width
        {0, 10, 2, 2, ERR_COORDSRANGE},
        {-1, 0, 2, 2, ERR_NEGCOORDS},
        {0, 0, 0, 2, ERR_BADDIMENSIONS},
        {0, 0, 2, -3, ERR_BADDIMENSIONS},
        {9, 9, 2, 2, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sx);
        EXPECT_EQ(Cmd("DisplayBrushPart", {1, c.sx, c.sy, 0, 0, c.w, c.h}), c.expected);
    }
    EXPECT_EQ(Cmd("DisplayBrushPart", {1, 0, 0, 0, 0, 2}), ERR_MISSINGPARAMTR);
}

TEST_F(DisplayCore, UnknownAndFreedBrushes) {
    EXPECT_EQ(Cmd("DisplayBrush", {4, 0, 0}), ERR_FINDBRUSH);
    EXPECT_EQ(GetErrorNumber(), 4);
    Brush(4, 2, 2, 0);
    ASSERT_EQ(Cmd("FreeBrush", {4}), 0);
    EXPECT_EQ(Cmd("DisplayBrush", {4, 0, 0}), ERR_FINDBRUSH);
    EXPECT_EQ(GetErrorNumber(), 4);
    EXPECT_EQ(Cmd("FreeBrush", {4}), ERR_FINDBRUSH);
    // A bad options argument.
    Brush(5, 2, 2, 0);
    EXPECT_EQ(Call("DisplayBrush", [&] {
                  lua_pushnumber(L, 5), lua_pushnumber(L, 0), lua_pushnumber(L, 0);
                  lua_pushstring(L, "x");
              }),
              ERR_TABEXPECTED);
    EXPECT_EQ(Cmd("DisplayBrush", {5, 0, 0}, [&] { Field("scalex", 0); }), ERR_WRONGUSAGE);
}

TEST_F(DisplayCore, TintWithoutLayersMovesPixelsTowardsTheColour) {
    Brush(1, 2, 2, 0x000000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("tint", 255), Field("tintcolor", 0xFF0000); }), 0);
    EXPECT_EQ(Shown(0, 0), 0xFE0000u);  // (0xFF * 255) >> 8
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(PixelOf(b->bitmap, 0, 0), 0u);
}

TEST_F(DisplayCore, BGPicPartDefaultsToItsOwnPlace) {
    ASSERT_EQ(Cmd("CreateBGPic", {7, 64, 48, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("DisplayBGPicPart", {7, 10, 12, 4, 4}), 0);
    EXPECT_EQ(Shown(10, 12), 0x00FF00u);
    EXPECT_EQ(Shown(13, 15), 0x00FF00u);
    EXPECT_EQ(Shown(14, 15), kBack);
    ASSERT_EQ(Cmd("DisplayBGPicPart", {7, 0, 0, 2, 2, 30, 31}), 0);
    EXPECT_EQ(Shown(30, 31), 0x00FF00u);
    EXPECT_EQ(Cmd("DisplayBGPicPart", {7, 64, 0, 2, 2}), ERR_COORDSRANGE);
    EXPECT_EQ(Cmd("DisplayBGPicPart", {8, 0, 0, 2, 2}), ERR_FINDBGPIC);
}

}  // namespace

namespace {

// Output redirected to brush 3 (the output redirection code's hooks,
// stood in for here).
void *g_selected = nullptr;
int g_ended = 0;
int Selected(uint32_t *kind, void **record) {
    if (!g_selected) return 0;
    *kind = CX_OBJ_BRUSH;
    *record = g_selected;
    return 1;
}
void End(lua_State *) {
    ++g_ended;
    g_selected = nullptr;
    GetCurrentDisplay()->targetKind = CX_OBJECT_DISPLAY;
}

TEST_F(DisplayCore, TheBrushOutputGoesToIsGuarded) {
    cxBrush *b = Brush(3, 4, 4, 0x00FFFF);
    g_selected = b;
    g_ended = 0;
    cxRenderTargetHooks hooks{Selected, End, nullptr};
    SetRenderTargetHooks(&hooks);
    d->targetKind = CX_OBJ_BRUSH;
    EXPECT_EQ(Cmd("FreeBrush", {3}), ERR_MODIFYABR);
    EXPECT_EQ(CountBrushes(), 1);
    // Showing it ends the selection first, then draws it on the display.
    EXPECT_EQ(Cmd("DisplayBrush", {3, 0, 0}), 0);
    EXPECT_EQ(g_ended, 1);
    EXPECT_EQ(Shown(0, 0), 0x00FFFFu);
    SetRenderTargetHooks(nullptr);
}

}  // namespace

namespace {

int g_layers = 0;
cxBitmap *g_layerBitmap = nullptr;
int AddLayer(lua_State *, int, cxObjectID, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
             const cxTransformOptions *, const cxLayerOptions *, cxBitmap *bitmap, cxBitmap *, cxBitmap *, void *,
             uint32_t, intptr_t) {
    ++g_layers;
    g_layerBitmap = bitmap;
    return 0;
}

TEST_F(DisplayCore, WithLayersOnTheObjectBecomesALayer) {
    Brush(1, 4, 4, 0xFF8000);
    d->layersOn = 1;
    // No layers library: the layers-off road draws it all the same.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    EXPECT_EQ(Shown(0, 0), 0xFF8000u);

    cxLayerHooks hooks{};
    hooks.addBitmapLayer = AddLayer;
    SetLayerHooks(&hooks);
    g_layers = 0;
    // A see-through brush is the layer's to draw: nothing reaches the
    // picture directly.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}, [&] { Field("transparency", 100); }), 0);
    EXPECT_EQ(g_layers, 1);
    EXPECT_EQ(g_layerBitmap, nullptr);  // a brush layer shows the brush by its ID
    EXPECT_EQ(Shown(10, 10), kBack);
    // A plain one too: a copy drawn into the picture would stay there
    // when the layer moves or goes.
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    EXPECT_EQ(g_layers, 2);
    EXPECT_EQ(Shown(20, 20), kBack);
    SetLayerHooks(nullptr);
    d->layersOn = 0;
}

// Sizes too large for any bitmap fail as the allocation they need:
// "Width/height values must be greater than 0!" stays for sizes below 1.
TEST_F(DisplayCore, SizesTooLargeFailAsBitmapsThatCannotBeMade) {
    luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
    Brush(1, 8, 6, 0xFF0000);
    struct Case {
        const char *name;
        std::function<int()> run;
        int code;
    };
    const Case cases[] = {
        {"gradient BGPic", [&] { return Cmd("CreateGradientBGPic", {5, 0, 0, 0xFF, 100000, 100000}); }, ERR_BITMAP},
        {"gradient brush", [&] { return Cmd("CreateGradientBrush", {6, 100000, 100000, 0, 0, 0xFF}); }, ERR_BITMAP},
        {"scaled brush", [&] { return Cmd("ScaleBrush", {1, 1e6, 1e6}); }, ERR_BITMAP},
        {"scaled display", [&] { return Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("scalex", 1e6); }); }, ERR_BITMAP},
        {"sized display",
         [&] { return Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("width", 1e6), Field("height", 1e6); }); },
         ERR_BITMAP},
        {"turned display",
         [&] {
             return Cmd("DisplayBrush", {1, 0, 0},
                        [&] { Field("rotate", 45), Field("scalex", 5000), Field("scaley", 5000); });
         },
         ERR_BITMAP},
        {"scaled to nothing", [&] { return Cmd("ScaleBrush", {1, 0, 5}); }, ERR_BADDIMENSIONS},
        {"gradient brush of no width", [&] { return Cmd("CreateGradientBrush", {6, 0, 10, 0, 0, 0xFF}); },
         ERR_BADDIMENSIONS},
    };
    for (const Case &c : cases) EXPECT_EQ(c.run(), c.code) << c.name;
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(b->width, 8); // the brush stays as it was
    EXPECT_EQ(CountBGPics(), 0);
}

// What was taken without a word: a position that is no number, a texture
// fill of a brush that does not exist (chosen, or freed since).
TEST_F(DisplayCore, PositionsAndTexturesThatCannotBeUsedAreRefused) {
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    Brush(1, 8, 6, 0xFF0000);
    const double nan = std::nan("");
    EXPECT_EQ(Cmd("DisplayBrush", {1, nan, 0}), ERR_COORDSRANGE);
    EXPECT_EQ(Cmd("DisplayBrush", {1, 0, -HUGE_VAL}), ERR_COORDSRANGE);
    EXPECT_EQ(Cmd("DisplayBrushPart", {1, 0, 0, HUGE_VAL, 0, 4, 4}), ERR_COORDSRANGE);
    EXPECT_EQ(Shown(0, 0), kBack);
    // Far outside but finite: nothing to see, no failure.
    EXPECT_EQ(Cmd("DisplayBrush", {1, 1e12, 0}), 0);

    EXPECT_EQ(Cmd("SetFillStyle", {3, 9}), ERR_FINDBRUSH);
    EXPECT_EQ(GetErrorNumber(), 9);
    ASSERT_EQ(Cmd("SetFillStyle", {3, 1}), 0);
    EXPECT_EQ(Cmd("Box", {0, 0, 4, 4, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("FreeBrush", {1}), 0);
    EXPECT_EQ(Cmd("Box", {0, 0, 4, 4, 0x00FF00}), ERR_FINDBRUSH);
    EXPECT_EQ(Cmd("Line", {0, 0, 4, 4, 0x00FF00}), 0); // lines are not filled
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    FreeDrawLibraryBuffers(L);
}

}  // namespace
