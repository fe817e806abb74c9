// Making brushes through the commands: from files (a PNG with alpha
// written here), blank, from ARGB tables, copies, shadows and borders.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/images/image_cache.h"
#include "graphics/kernels/kernel_guard.h"
#include "images/brushes/brush_creation.h"
#include "images/formats/gif_codec.h"
#include "images/formats/png_codec.h"
#include "tests/images/brushes/brush_test_display.h"

namespace {

class BrushCreation : public cxtest::BrushDisplayTest {
  protected:
    std::string dir;
    std::string png;

    void SetUp() override {
        BrushDisplayTest::SetUp();
        char tmpl[] = "/tmp/cxbrush.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        png = dir + "/p.png";
        // 8 x 4: red with alpha rising to the right; column 0 is clear.
        std::vector<uint32_t> px(32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) px[y * 8 + x] = (uint32_t(x * 36) << 24) | 0xFF0000u | uint32_t(y);
        cxPngWriteRequest r{};
        r.file = png.c_str();
        r.pixels = px.data();
        r.bytesPerRow = 32;
        r.width = 8;
        r.height = 4;
        r.alpha = 1;
        SavePNGImage(&r);
        ASSERT_EQ(r.error, 0);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        BrushDisplayTest::TearDown();
    }
    int Load(double id, const std::string &file, const std::function<void()> &fill = nullptr) {
        return Call("LoadBrush", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
            if (fill) {
                lua_newtable(L);
                fill();
            }
        });
    }
    cxBrush *Get(int id) {
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, {id, nullptr}, &b, 0), 0);
        return b;
    }
};

TEST_F(BrushCreation, LoadWithAlphaAndParts) {
    ASSERT_EQ(Load(1, png, [&] { Field("loadalpha", 1); }), 0);
    cxBrush *b = Get(1);
    EXPECT_EQ(b->width, 8);
    EXPECT_EQ(b->height, 4);
    ASSERT_NE(b->alpha, nullptr);
    cxOsBitmapLock l;
    LockBitmap(b->alpha, 0, &l);
    EXPECT_EQ(l.pixels[0], 0);
    EXPECT_EQ(l.pixels[7], 252);
    UnlockBitmap(&l);
    EXPECT_EQ(PixelOf(b->bitmap, 3, 2), 0xFF0002u);

    // A part: x past the image fails, a width past it keeps the rest.
    EXPECT_EQ(Load(2, png, [&] { Field("x", 8); }), ERR_COORDSRANGE);
    EXPECT_EQ(Load(2, png, [&] { Field("y", -1); }), ERR_NEGCOORDS);
    ASSERT_EQ(Load(2, png, [&] { Field("x", 5), Field("y", 1), Field("width", 100); }), 0);
    EXPECT_EQ(Get(2)->width, 3);
    EXPECT_EQ(Get(2)->height, 3);
    EXPECT_EQ(PixelOf(Get(2)->bitmap, 0, 0), 0xFF0001u);

    // Scaled while loading.
    ASSERT_EQ(Load(3, png, [&] { Field("scalewidth", 16), Field("scaleheight", 2); }), 0);
    EXPECT_EQ(Get(3)->width, 16);
    EXPECT_EQ(Get(3)->height, 2);
}

TEST_F(BrushCreation, ConflictingLoadOptions) {
    EXPECT_EQ(Load(1, png, [&] { Field("loadalpha", 1), Field("loadtransparency", 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Load(1, png, [&] { Field("loadtransparency", 1), Field("transparency", 0xFF0000); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Load(1, png, [&] { Field("loadalpha", 1), Field("transparency", 0xFF0000); }), ERR_MASKNALPHA);
    EXPECT_EQ(Load(1, dir + "/none.png"), ERR_READFILE);
    EXPECT_STREQ(GetErrorDetail(), (dir + "/none.png").c_str());
    EXPECT_EQ(CountBrushes(), 0);
}

TEST_F(BrushCreation, ANumberInUseIsReplacedEvenWhenTheLoadFails) {
    ASSERT_EQ(Cmd("CreateBrush", {1, 2, 2}), 0);
    EXPECT_EQ(Load(1, dir + "/none.png"), ERR_READFILE);
    EXPECT_EQ(CountBrushes(), 0);
    ASSERT_EQ(Load(1, png), 0);
    ASSERT_EQ(Load(1, png, [&] { Field("transparency", 0xFF0000); }), 0);
    EXPECT_EQ(CountBrushes(), 1);
    EXPECT_EQ(Get(1)->transparentColour, 0xFF0000);
}

TEST_F(BrushCreation, TransparentColourMakesAMask) {
    ASSERT_EQ(Load(1, png, [&] { Field("transparency", 0xFF0001); }), 0);
    cxBrush *b = Get(1);
    ASSERT_NE(b->mask, nullptr);
    cxOsBitmapLock l;
    LockBitmap(b->mask, 0, &l);
    EXPECT_EQ(l.pixels[0], 0xFF);             // row 0 all visible
    EXPECT_EQ(l.pixels[l.rowLength], 0x00);   // row 1 is the colour
    UnlockBitmap(&l);
}

TEST_F(BrushCreation, BlankBrushes) {
    EXPECT_EQ(Cmd("CreateBrush", {1, 0, 5}), ERR_BADDIMENSIONS);
    EXPECT_EQ(Cmd("CreateBrush", {1, 5, 5, 0}, [&] { Field("mask", 1), Field("alphachannel", 1); }), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CreateBrush", {1, 5, 5, 0x123456}, [&] { Field("mask", 1), Field("clear", 1); }), 0);
    cxBrush *b = Get(1);
    EXPECT_EQ(b->transparentColour, CX_TRANSPARENT_BY_MASK);
    cxOsBitmapLock l;
    LockBitmap(b->mask, 0, &l);
    EXPECT_EQ(l.pixels[0], 0);  // all invisible
    UnlockBitmap(&l);
    ASSERT_EQ(Cmd("CreateBrush", {2, 5, 5, 0}, [&] { Field("alphachannel", 1); }), 0);
    LockBitmap(Get(2)->alpha, 0, &l);
    EXPECT_EQ(l.pixels[4], 255);
    UnlockBitmap(&l);

    // A hardware brush needs an open display; this one is not.
    EXPECT_EQ(Cmd("CreateBrush", {3, 5, 5, 0}, [&] { Field("hardware", 1); }), ERR_HWBMCLOSEDISP);

    // An automatic ID comes back as the one result.
    ASSERT_EQ(Call("CreateBrush", [&] { lua_pushnil(L), lua_pushnumber(L, 3), lua_pushnumber(L, 3); }), 0);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    cxBrush *a = nullptr;
    EXPECT_EQ(FindBrush(L, {0, lua_touserdata(L, 1)}, &a, 0), 0);
}

// Beyond what one buffer of the kernels may span (2^31 - 1 bytes), no
// bitmap is made: the creating commands fail with ERR_BITMAP and leave no
// brush or BGPic behind, rather than one that nothing can fill or draw.
TEST_F(BrushCreation, SizesNoKernelCanDrawAreRefusedWhereBitmapsAreMade) {
    for (auto [w, h] : {std::pair{23200, 23200}, {CX_MAX_SIDE, 33}, {46341, 46341}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        EXPECT_EQ(AllocBitmap(w, h, 0, 0), nullptr);
        EXPECT_EQ(Cmd("CreateBrush", {1, double(w), double(h), 0xFF}), ERR_BITMAP);
        EXPECT_EQ(Cmd("CreateBrush", {1, double(w), double(h), 0xFF}, [&] { Field("alphachannel", 1); }), ERR_BITMAP);
        EXPECT_EQ(Cmd("CreateBGPic", {1, double(w), double(h), 0xFF}), ERR_BITMAP);
        EXPECT_EQ(CountBrushes(), 0);
        EXPECT_EQ(CountBGPics(), 0);
    }
    // Loading at a size too large: the same error, and the number is free.
    EXPECT_EQ(Load(1, png, [&] { Field("scalewidth", 1e6), Field("scaleheight", 1e6); }), ERR_BITMAP);
    EXPECT_EQ(Load(1, png, [&] { Field("scalewidth", 40000), Field("scaleheight", 2); }), ERR_BITMAP);
    EXPECT_EQ(CountBrushes(), 0);
    // An alpha channel alone may be four times as large as a colour bitmap.
    cxBitmap *alpha = AllocAlphaChannel(23200, 23200, 0, nullptr, 0);
    EXPECT_NE(alpha, nullptr);
    FreeAlphaChannel(alpha);
}

// A GIF with a transparent index, still and animated: "loadalpha" gives
// an alpha channel, "loadtransparency" a mask, both clear exactly where the
// first frame's pixels are of that index.
TEST_F(BrushCreation, AGifsTransparencyReachesTheBrush) {
    constexpr int kW = 8, kH = 6;
    auto clear = [](int x, int y) { return (x + 2 * y) % 3 == 0; };
    uint32_t palette[256] = {0xFF0000, 0x00FF00, 0x0000FF};
    auto write = [&](const std::string &file, int frames) {
        cxGifWriter *w = nullptr;
        ASSERT_EQ(CreateGIFFile(file.c_str(), kW, kH, &w), 0);
        for (int f = 0; f < frames; ++f) {
            std::vector<uint8_t> indices(kW * kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) indices[y * kW + x] = clear(x, y) ? 2 : uint8_t(f % 2);
            ASSERT_EQ(WriteGIFFile(w, indices.data(), kW, kH, 10, palette, 3, 2, 0, 0), 0);
        }
        ASSERT_EQ(FinishGIFFile(w), 0);
    };
    for (int frames : {1, 3}) {
        SCOPED_TRACE(frames);
        const std::string gif = dir + "/t" + std::to_string(frames) + ".gif";
        write(gif, frames);
        ASSERT_EQ(Load(1, gif, [&] { Field("loadalpha", 1); }), 0);
        cxBrush *b = Get(1);
        ASSERT_NE(b->alpha, nullptr);
        EXPECT_EQ(b->mask, nullptr);
        ASSERT_EQ(Load(2, gif, [&] { Field("loadtransparency", 1); }), 0);
        cxBrush *m = Get(2);
        ASSERT_NE(m->mask, nullptr);
        EXPECT_EQ(m->alpha, nullptr);
        cxOsBitmapLock a, k;
        ASSERT_TRUE(LockBitmap(b->alpha, 0, &a));
        ASSERT_TRUE(LockBitmap(m->mask, 0, &k));
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                EXPECT_EQ(a.pixels[size_t(y) * a.rowLength + x], clear(x, y) ? 0 : 255) << x << "," << y;
                const bool visible = (k.pixels[size_t(y) * k.rowLength + (x >> 3)] & (0x80 >> (x & 7))) != 0;
                EXPECT_EQ(visible, !clear(x, y)) << x << "," << y;
                if (!clear(x, y)) {
                    EXPECT_EQ(PixelOf(b->bitmap, x, y), 0xFF0000u);
                }
            }
        UnlockBitmap(&a);
        UnlockBitmap(&k);
        // Without either option the transparent pixels keep their colour.
        ASSERT_EQ(Load(3, gif), 0);
        EXPECT_EQ(Get(3)->alpha, nullptr);
        EXPECT_EQ(Get(3)->mask, nullptr);
        EXPECT_EQ(PixelOf(Get(3)->bitmap, 0, 0), 0x0000FFu);
    }
}

TEST_F(BrushCreation, ARGBTables) {
    auto table = [&](int entries) {
        return Call("RGBArrayToBrush", [&] {
            lua_pushnumber(L, 1);
            lua_newtable(L);
            for (int i = 0; i < entries; ++i) {
                lua_pushnumber(L, i == 0 ? 0x00FF0000 : 0xFF00FF00);
                lua_rawseti(L, -2, i);
            }
            lua_pushnumber(L, 2), lua_pushnumber(L, 2), lua_pushnumber(L, CX_OBJ_MASK);
        });
    };
    EXPECT_EQ(table(3), ERR_NOTENOUGHPIXELS);
    EXPECT_EQ(CountBrushes(), 0);
    ASSERT_EQ(table(4), 0);
    cxBrush *b = Get(1);
    EXPECT_EQ(PixelOf(b->bitmap, 1, 1), 0x00FF00u);
    cxOsBitmapLock l;
    LockBitmap(b->mask, 0, &l);
    EXPECT_EQ(l.pixels[0] & 0xC0, 0x40);  // the first pixel's alpha byte is 0
    UnlockBitmap(&l);
}

TEST_F(BrushCreation, CopiesShadowsAndBorders) {
    ASSERT_EQ(Cmd("CreateBrush", {1, 10, 10, 0xFFFFFF}), 0);
    EXPECT_EQ(Cmd("CopyBrush", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CopyBrush", {1, 2}), 0);
    EXPECT_NE(Get(2)->bitmap, Get(1)->bitmap);
    EXPECT_EQ(Cmd("CopyBrush", {7, 3}), ERR_FINDBRUSH);

    ASSERT_EQ(Cmd("CreateShadowBrush", {3, 1, 0x000000, 5}), 0);
    EXPECT_EQ(Get(3)->width, 20);
    EXPECT_EQ(Get(3)->height, 20);
    EXPECT_NE(Get(3)->alpha, nullptr);
    EXPECT_EQ(Cmd("CreateShadowBrush", {4, 1, 0, 0.5}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("CreateBorderBrush", {1, 1, 0}), ERR_WRONGUSAGE);
    // A border of a brush without mask or alpha has no alpha channel.
    ASSERT_EQ(Cmd("CreateBorderBrush", {4, 1, 0xFF0000, 2}), 0);
    EXPECT_EQ(Get(4)->alpha, nullptr);
    EXPECT_EQ(Get(4)->width, 14);
}

TEST_F(BrushCreation, ConvertingBGPicsAndBrushes) {
    ASSERT_EQ(Cmd("CreateBGPic", {1, 6, 6, 0x0F0F0F}), 0);
    ASSERT_EQ(Cmd("ConvertToBrush", {CX_OBJ_BGPIC, 1, 5}), 0);
    EXPECT_EQ(PixelOf(Get(5)->bitmap, 5, 5), 0x0F0F0Fu);
    ASSERT_EQ(Cmd("GetBrushLink", {6, CX_OBJ_BRUSH, 5}), 0);
    EXPECT_EQ(Get(6)->width, 6);
    EXPECT_EQ(Cmd("ConvertToBrush", {CX_OBJ_BRUSH, 5, 5}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ConvertToBrush", {99, 5, 7}), ERR_WRONGUSAGE);
}

TEST_F(BrushCreation, PluginsGetARGBCopies) {
    ASSERT_EQ(Load(1, png, [&] { Field("loadalpha", 1); }), 0);
    int32_t w = 0, h = 0;
    int error = 0;
    uint32_t *px = GetBrushARGBCopy({1, nullptr}, &w, &h, &error);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(px[7], 0xFCFF0000u);
    EXPECT_EQ(px[0] >> 24, 0u);
    free(px);
    EXPECT_EQ(GetBrushARGBCopy({2, nullptr}, &w, &h, &error), nullptr);
    EXPECT_EQ(error, ERR_FINDBRUSH);
}

}  // namespace

namespace {

TEST_F(BrushCreation, PreloadedBrushesWaitForTheirBitmapsAndShareCachedImages) {
    SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END);
    ASSERT_EQ(Call("LoadBrush", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, png.c_str());
                  lua_newtable(L);
                  lua_pushstring(L, "cache");
                  lua_pushstring(L, "shared");
                  lua_settable(L, -3);
              }),
              0);
    std::filesystem::remove(png);
    // The file is gone: the second brush comes from the cache.
    ASSERT_EQ(Call("LoadBrush", [&] {
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, png.c_str());
                  lua_newtable(L);
                  lua_pushstring(L, "cachedload");
                  lua_pushstring(L, "shared");
                  lua_settable(L, -3);
                  lua_pushstring(L, "loadalpha");
                  lua_pushnumber(L, 1);
                  lua_settable(L, -3);
              }),
              0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END);
    EXPECT_EQ(Get(1)->bitmap, nullptr);
    EXPECT_NE(Get(2)->alpha, nullptr);
    ASSERT_EQ(RealizePendingBrushes(L), 0);
    EXPECT_EQ(PixelOf(Get(1)->bitmap, 2, 3), 0xFF0003u);
    EXPECT_EQ(PixelOf(Get(2)->bitmap, 2, 3), 0xFF0003u);
    EXPECT_EQ(Get(1)->image, nullptr);  // a bitmap brush lets go of its image
    ClearImageCache();
}

}  // namespace
