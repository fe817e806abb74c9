// BGPics through their commands: making, showing, freeing while shown,
// scaling and copying.
#include "graphics/blit/blit.h"
#include "images/bgpics/bgpic_display.h"
#include "tests/images/brushes/brush_test_display.h"

namespace {

class BGPics : public cxtest::BrushDisplayTest {
  protected:
    cxBGPic *Find(int id) {
        cxBGPic *b = nullptr;
        EXPECT_EQ(FindBGPic(L, {id, nullptr}, &b, 0), 0);
        return b;
    }
};

TEST_F(BGPics, MadeFromAColourAGradientAndATexture) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 20, 10, 0x123456}), 0);
    cxBGPic *b = Find(1);
    EXPECT_EQ(PixelOf(b->base.bitmap, 19, 9), 0x123456u);
    EXPECT_EQ(b->fill.style, uint32_t(CX_FILL_COLOUR));
    EXPECT_EQ(b->fill.pristine, 1u);

    // A vertical blend from black to white: the top row is black.
    ASSERT_EQ(Cmd("CreateGradientBGPic", {2, CX_GRADIENT_LINEAR, 0x000000, 0xFFFFFF, 8, 32}), 0);
    b = Find(2);
    EXPECT_LT(PixelOf(b->base.bitmap, 3, 0) & 0xFF, 0x10u);
    EXPECT_GT(PixelOf(b->base.bitmap, 3, 31) & 0xFF, 0xF0u);

    ASSERT_EQ(Cmd("CreateBrush", {9, 2, 2, 0xFF0000}), 0);
    ASSERT_EQ(Cmd("CreateTexturedBGPic", {3, 9, 6, 6, 1, 0}), 0);
    b = Find(3);
    EXPECT_EQ(PixelOf(b->base.bitmap, 5, 5), 0xFF0000u);
    EXPECT_NE(b->fill.textureBitmap, nullptr);

    EXPECT_EQ(Cmd("CreateBGPic", {4, 0, 10}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("CreateGradientBGPic", {4, CX_GRADIENT_LINEAR, 0, 0xFF, 0, 10}), ERR_BADDIMENSIONS);
    EXPECT_EQ(Cmd("CreateTexturedBGPic", {4, 99, 6, 6}), ERR_FINDBRUSH);
    EXPECT_EQ(CountBGPics(), 3);
}

TEST_F(BGPics, AutomaticIDsAreReturned) {
    ASSERT_EQ(Call("CreateBGPic", [&] {
                  lua_pushnil(L);
                  lua_pushnumber(L, 4), lua_pushnumber(L, 4);
              }),
              0);
    ASSERT_EQ(lua_gettop(L), 1);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    cxBGPic *b = nullptr;
    EXPECT_EQ(FindBGPic(L, {0, lua_touserdata(L, 1)}, &b, 0), 0);
    EXPECT_EQ(b->header.idPointer, b);
}

TEST_F(BGPics, ShownDrawnClearedAndShownAgain) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 64, 48, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("DisplayBGPic", {1}), 0);
    EXPECT_EQ(d->bgpic, Find(1));
    EXPECT_EQ(Shown(5, 5), 0x00FF00u);
    ASSERT_EQ(Cmd("CreateBrush", {2, 4, 4, 0xFF0000}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 0, 0}), 0);
    EXPECT_EQ(Shown(1, 1), 0xFF0000u);
    // Drawing went to the display, not into the BGPic.
    EXPECT_EQ(PixelOf(Find(1)->base.bitmap, 1, 1), 0x00FF00u);
    ASSERT_EQ(ClearDisplayToBGPic(L, d), 0);
    EXPECT_EQ(Shown(1, 1), 0x00FF00u);
}

TEST_F(BGPics, FreedWhileShownStaysUntilAnotherIsShown) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 64, 48, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("CreateBGPic", {2, 64, 48, 0x0000FF}), 0);
    ASSERT_EQ(Cmd("DisplayBGPic", {1}), 0);
    cxBGPic *shown = Find(1);
    ASSERT_EQ(Cmd("FreeBGPic", {1}), 0);
    EXPECT_EQ(CountBGPics(), 2);
    EXPECT_EQ(shown->pendingFree, 1u);
    EXPECT_EQ(d->bgpic, shown);
    EXPECT_EQ(Cmd("DisplayBGPic", {1}), ERR_FINDBGPIC);
    // The number is free at once.
    ASSERT_EQ(Cmd("CreateBGPic", {1, 8, 8, 0}), 0);
    EXPECT_EQ(CountBGPics(), 3);
    // Drawing still works on the freed BGPic that is on show.
    ASSERT_EQ(Cmd("CreateBrush", {5, 2, 2, 0xFFFFFF}), 0);
    EXPECT_EQ(Cmd("DisplayBrush", {5, 0, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBGPic", {2}), 0);
    EXPECT_EQ(CountBGPics(), 2);
    EXPECT_EQ(Shown(0, 0), 0x0000FFu);
}

TEST_F(BGPics, ScaleRefusedOnShowAndKeepsAspect) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 40, 20, 0x808080}), 0);
    ASSERT_EQ(Cmd("ScaleBGPic", {1, 40, 20}), 0);  // its own size: nothing to do
    ASSERT_EQ(Cmd("ScaleBGPic", {1, 80, 100000}), 0);
    cxBGPic *b = Find(1);
    EXPECT_EQ(b->baseWidth, 80);
    EXPECT_EQ(b->baseHeight, 40);
    EXPECT_EQ(PixelOf(b->current.bitmap, 79, 39), 0x808080u);
    EXPECT_EQ(Cmd("ScaleBGPic", {1, 100000, 100000}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ScaleBGPic", {1, 0, 10}), ERR_BADDIMENSIONS);
    ASSERT_EQ(Cmd("CreateBGPic", {2, 64, 48, 0}), 0);
    ASSERT_EQ(Cmd("DisplayBGPic", {2}), 0);
    EXPECT_EQ(Cmd("ScaleBGPic", {2, 32, 24}), ERR_SCALEBGPIC);
}

TEST_F(BGPics, CopiesKeepSharedSetsShared) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 10, 10, 0x445566}), 0);
    ASSERT_EQ(Cmd("CopyBGPic", {1, 2}), 0);
    cxBGPic *a = Find(1), *c = Find(2);
    EXPECT_NE(c->base.bitmap, a->base.bitmap);
    EXPECT_EQ(c->scaled.bitmap, c->base.bitmap);
    EXPECT_EQ(c->current.bitmap, c->base.bitmap);
    EXPECT_EQ(PixelOf(c->base.bitmap, 9, 9), 0x445566u);
    EXPECT_EQ(Cmd("CopyBGPic", {2, 2}), ERR_WRONGUSAGE);
}

TEST_F(BGPics, BrushesAndBGPicsConvert) {
    ASSERT_EQ(Cmd("CreateBrush", {1, 6, 4, 0xABCDEF}), 0);
    ASSERT_EQ(Cmd("BrushToBGPic", {1, 3}), 0);
    cxBGPic *b = Find(3);
    EXPECT_EQ(b->baseWidth, 6);
    EXPECT_EQ(PixelOf(b->base.bitmap, 5, 3), 0xABCDEFu);
    ASSERT_EQ(Cmd("BGPicToBrush", {3, 4}), 0);
    cxBrush *br = nullptr;
    ASSERT_EQ(FindBrush(L, {4, nullptr}, &br, 0), 0);
    EXPECT_EQ(br->height, 4);
    EXPECT_EQ(PixelOf(br->bitmap, 0, 0), 0xABCDEFu);
    EXPECT_EQ(Cmd("BGPicToBrush", {9, 4}), ERR_FINDBGPIC);
}

TEST_F(BGPics, ABrushShownByALayerIsCopiedBeforeItIsModified) {
    // The display core hands the brush to the layers by ID; a layers
    // library counts the use. Here the count is set by hand.
    ASSERT_EQ(Cmd("CreateBrush", {1, 2, 2, 0x111111}), 0);
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    AddBrushLayerUse(b);
    // Replacing the brush by number: the layer keeps the old one.
    ASSERT_EQ(Cmd("CreateBrush", {1, 2, 2, 0x222222}), 0);
    EXPECT_EQ(CountBrushes(), 2);
    EXPECT_EQ(b->pendingFree, 1u);
    EXPECT_EQ(PixelOf(b->bitmap, 0, 0), 0x111111u);
    DropBrushLayerUse(L, b);
    EXPECT_EQ(CountBrushes(), 1);
}

}  // namespace

#include <filesystem>
#include <vector>

#include "images/formats/png_codec.h"

namespace {

TEST_F(BGPics, ALoadedImageLiesOverItsFill) {
    char tmpl[] = "/tmp/cxbgpic.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string file = std::string(tmpl) + "/p.png";
    // 4 x 2: the left half magenta, the right half white.
    std::vector<uint32_t> px(8);
    for (int i = 0; i < 8; ++i) px[i] = (i % 4) < 2 ? 0xFFFF00FFu : 0xFFFFFFFFu;
    cxPngWriteRequest r{};
    r.file = file.c_str();
    r.pixels = px.data();
    r.bytesPerRow = 16;
    r.width = 4;
    r.height = 2;
    r.alpha = 0;
    SavePNGImage(&r);
    ASSERT_EQ(r.error, 0);

    // Magenta is transparent; fill style 1 shows its colour there.
    ASSERT_EQ(Call("LoadBGPic", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, file.c_str());
                  lua_newtable(L);
                  Field("transparency", 0xFF00FF);
                  Field("fillstyle", 1);
                  Field("fillcolor", 0x00FF00);
              }),
              0);
    cxBGPic *b = Find(1);
    EXPECT_EQ(b->base.mask, nullptr);
    EXPECT_EQ(PixelOf(b->base.bitmap, 0, 0), 0x00FF00u);
    EXPECT_EQ(PixelOf(b->base.bitmap, 3, 1), 0xFFFFFFu);
    EXPECT_EQ(Call("LoadBGPic", [&] {
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, file.c_str());
                  lua_newtable(L);
                  Field("fillstyle", 4);
              }),
              ERR_WRONGUSAGE);
    // A palette given as the fourth argument stays with the BGPic.
    ASSERT_EQ(Call("LoadBGPic", [&] {
                  lua_pushnumber(L, 3);
                  lua_pushstring(L, file.c_str());
                  lua_pushnumber(L, -1);
                  lua_newtable(L);
                  lua_pushnumber(L, 0x123456);
                  lua_rawseti(L, -2, 255);
              }),
              0);
    ASSERT_NE(Find(3)->palette, nullptr);
    EXPECT_EQ(Find(3)->palette[255], 0x123456u);
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
}

}  // namespace
