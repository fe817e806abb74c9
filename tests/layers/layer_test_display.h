// A display with layers on and no window, for tests of the layer core:
// the brush display of the images tests with the layers library opened.
// Composed() reads the composition buffer (what the window would show),
// Shown() the background copy.
#pragma once

#include "display/draw/draw_library.h"
#include "images/output/output_redirect.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_hooks.h"
#include "layers/core/layer_list.h"
#include "layers/library/layers_library.h"
#include "tests/images/brushes/brush_test_display.h"

namespace cxtest {

class LayerDisplayTest : public BrushDisplayTest {
  protected:
    void SetUp() override {
        BrushDisplayTest::SetUp();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        // Output redirection is installed before the layers, as the
        // player does.
        InstallOutputRedirection();
        static const luaL_reg select[] = {{"SelectBGPic", CmdSelectBGPic}, {"EndSelect", CmdEndSelect}, {nullptr, nullptr}};
        luaL_openlib(L, nullptr, select, 0);
        ASSERT_EQ(OpenLayersLibrary(L), 0);
        d->layersOn = 1;
    }
    void TearDown() override {
        FreeLayerLibraryState(L);
        RemoveOutputRedirection();
        // The composition buffer goes with the display (FreeDisplayResources
        // in the player).
        FreeBitmap(d->backBitmap[0]);
        d->backBitmap[0] = nullptr;
        BrushDisplayTest::TearDown();
    }
    cxBGPic *BGPic() { return d->bgpic; }
    cxLayer *Layer(int pos) { return GetLayerByPos(d->bgpic, pos); }
    int Count() { return CountLayers(d->bgpic); }
    uint32_t Composed(int x, int y) {
        cxBitmap *c = GetCompositionBuffer(L, d);
        return c ? PixelOf(c, x, y) : 0xDEADu;
    }
    // A brush of one colour (with an alpha channel of one level when given).
    cxBrush *Brush(int id, int w, int h, uint32_t colour, int alpha = -1) {
        EXPECT_EQ(Cmd("CreateBrush", {double(id), double(w), double(h), double(colour)}), 0);
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, {id, nullptr}, &b, 0), 0);
        if (alpha >= 0 && b) {
            b->alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
            FillAlphaRect(b->alpha, 0, 0, w, h, uint8_t(alpha));
        }
        return b;
    }
    void StringField(const char *key, const char *v) {
        lua_pushstring(L, key);
        lua_pushstring(L, v);
        lua_settable(L, -3);
    }
};

}  // namespace cxtest
