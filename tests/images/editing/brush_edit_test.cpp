// The brush-editing commands as a script calls them: one table of
// (command, arguments, what holds before) -> (error code in the order the
// commands check | the brush's new size), run in several pixel formats;
// then what the commands do to pixels, masks and alpha channels, and the
// rules every editing command shares (missing brushes, the active brush,
// locked brushes, nothing changed on failure).
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "display/draw/draw_library.h"
#include "images/bgpics/bgpic.h"
#include "images/brushes/brush.h"
#include "images/core/layer_use.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "platform/os_bitmap.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

using Arg = std::variant<double, std::string>;
const double kNaN = std::nan("");
constexpr double kCenter = -100000, kKeep = 100000;

uint32_t ColourAt(int x, int y) { return uint32_t(((x * 24) & 0xF8) << 16 | ((y * 40) & 0xF8) << 8 | 0x48); }

class BrushEdit : public cxtest::VmTest {
protected:
    cxDisplay *display = nullptr;
    uint32_t savedFormat = 0;

    void SetUp() override {
        VmTest::SetUp();
        savedFormat = OsGetPixelFormat();
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
        ASSERT_EQ(InitDisplayRecords(), 0);
        display = NewDisplayRecord();
        SetCurrentDisplayRecord(display);
        InstallOutputRedirection();
    }
    void TearDown() override {
        RemoveOutputRedirection();
        FreeAllBrushes(L);
        SetCurrentDisplayRecord(nullptr);
        free(display);
        FreeDisplayRecords();
        OsSetPixelFormat(savedFormat);
        VmTest::TearDown();
    }
    // Brush number n: w x h of ColourAt, with an optional mask (set where
    // (x + y) is even) or alpha channel (x * 20 + y).
    cxBrush *Make(int32_t n, int32_t w = 8, int32_t h = 6, bool mask = false, bool alpha = false,
                  uint32_t format = 10) {
        // Every bitmap of a run shares the process's format.
        OsSetPixelFormat(format);
        cxBitmap *bm = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
        cxBitmap *m = mask ? AllocMask(bm, w, h, 1, nullptr, 0) : nullptr;
        cxBitmap *a = alpha ? AllocAlphaChannel(w, h, 1, nullptr, 0) : nullptr;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                WriteBitmapPixel(bm, x, y, ColourAt(x, y));
                if (m) WriteBitmapPixel(m, x, y, (x + y) % 2 == 0);
                if (a) WriteBitmapPixel(a, x, y, uint32_t(x * 20 + y));
            }
        cxObjectID id{n, nullptr};
        cxBrush *b = nullptr;
        EXPECT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, m ? CX_TRANSPARENT_BY_MASK : -1, m, a,
                                 nullptr, &b),
                  0);
        return b;
    }
    cxBrush *Brush(int32_t n) {
        cxBrush *b = nullptr;
        FindBrush(L, {n, nullptr}, &b, CX_FIND_HARDWARE | CX_FIND_PENDING);
        return b;
    }
    int Run(const char *cmd, const std::vector<Arg> &args) {
        return Call(cmd, [&] {
            for (const Arg &a : args) {
                if (std::holds_alternative<double>(a)) lua_pushnumber(L, std::get<double>(a));
                else lua_pushstring(L, std::get<std::string>(a).c_str());
            }
        });
    }
    static uint32_t At(const cxBitmap *b, int x, int y) {
        uint32_t v = 0xDEADBEEF;
        ReadBitmapPixel(b, x, y, &v);
        return v;
    }
};

struct Case {
    const char *cmd;
    std::vector<Arg> args;
    int code;               // expected result code (0: success)
    int32_t width, height;  // the brush's size afterwards
    bool mask = false;      // the brush has a mask before
};

// Brush 1 is 8 x 6; brush 99 does not exist.
const std::vector<Case> kCases = {
    {"ScaleBrush", {1.0, 16.0, 12.0}, 0, 16, 12},
    {"ScaleBrush", {1.0, std::string("50%"), std::string("200%")}, 0, 4, 12},
    {"ScaleBrush", {1.0, kKeep, 3.0}, 0, 4, 3},
    {"ScaleBrush", {1.0, 8.0, 6.0, 1.0}, 0, 8, 6},
    {"ScaleBrush", {1.0, 0.0, 5.0}, ERR_BADDIMENSIONS, 8, 6},
    {"ScaleBrush", {1.0, -3.0, 5.0}, ERR_BADDIMENSIONS, 8, 6},
    {"ScaleBrush", {1.0, kNaN, 5.0}, ERR_BADDIMENSIONS, 8, 6},
    {"ScaleBrush", {1.0, 1e12, 5.0}, ERR_BITMAP, 8, 6},          // beyond any bitmap
    {"ScaleBrush", {1.0, 70000.0, 70000.0}, ERR_BITMAP, 8, 6},
    {"ScaleBrush", {1.0, std::string("x%"), 5.0}, ERR_PERCENTFORMAT, 8, 6},
    {"ScaleBrush", {99.0, 4.0, 4.0}, ERR_FINDBRUSH, 8, 6},
    {"ScaleBrush", {1.0, 4.0}, ERR_MISSINGPARAMTR, 8, 6},
    {"RotateBrush", {1.0, 90.0}, 0, 6, 8},
    {"RotateBrush", {1.0, 450.0, 2.0, 1.0}, 0, 6, 16},
    {"RotateBrush", {1.0, 30.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"RotateBrush", {1.0, kNaN}, ERR_WRONGUSAGE, 8, 6},
    {"RotateBrush", {1.0, 10.0, kNaN}, ERR_WRONGUSAGE, 8, 6},
    {"RotateBrush", {99.0, 90.0}, ERR_FINDBRUSH, 8, 6},
    {"TransformBrush", {1.0, 2.0, 0.0, 0.0, 1.0}, 0, 16, 6},
    {"TransformBrush", {1.0, 0.0, 1.0, 1.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"TransformBrush", {99.0, 0.0, 1.0, 1.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"TransformBrush", {1.0, 1.0, 1.0, 1.0, 1.0}, ERR_WRONGUSAGE, 8, 6},  // singular: nothing to show
    {"TransformBrush", {1.0, 1e300, 0.0, 0.0, 1e300}, ERR_WRONGUSAGE, 8, 6},
    {"FlipBrush", {1.0, 0.0}, 0, 8, 6},
    {"FlipBrush", {99.0, 0.0}, ERR_FINDBRUSH, 8, 6},
    {"CropBrush", {1.0, 2.0, 1.0, 100.0, 100.0}, 0, 6, 5},
    {"CropBrush", {1.0, kCenter, 0.0, 4.0, 6.0}, 0, 4, 6},
    {"CropBrush", {1.0, 0.0, 0.0, 0.0, 3.0}, ERR_BADDIMENSIONS, 8, 6},
    {"CropBrush", {99.0, 0.0, 0.0, 0.0, 3.0}, ERR_BADDIMENSIONS, 8, 6},
    {"CropBrush", {1.0, -1.0, 0.0, 2.0, 2.0}, ERR_NEGCOORDS, 8, 6},
    {"CropBrush", {1.0, 8.0, 0.0, 2.0, 2.0}, ERR_COORDSRANGE, 8, 6},
    {"CropBrush", {1.0, kNaN, 0.0, 2.0, 2.0}, ERR_COORDSRANGE, 8, 6},
    {"TrimBrush", {1.0}, 0, 8, 6},
    {"RasterizeBrush", {1.0}, ERR_WRONGUSAGE, 8, 6},
    {"PixelateBrush", {1.0, 6.0}, 0, 8, 6},
    {"PixelateBrush", {1.0, 7.0}, ERR_WRONGUSAGE, 8, 6},
    {"PixelateBrush", {1.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"BlurBrush", {1.0}, 0, 8, 6},
    {"BlurBrush", {99.0, -1.0}, ERR_WRONGUSAGE, 8, 6},
    {"BlurBrush", {1.0, kNaN}, ERR_WRONGUSAGE, 8, 6},
    {"ContrastBrush", {1.0, 1.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"ContrastBrush", {1.0, 1.0}, 0, 8, 6},
    {"ModulateBrush", {1.0, -1.0, 1.0, 1.0}, ERR_WRONGUSAGE, 8, 6},
    {"GammaBrush", {1.0, 0.0, 1.0, 1.0}, ERR_WRONGUSAGE, 8, 6},
    {"QuantizeBrush", {1.0, 0.0}, ERR_WRONGUSAGE, 8, 6},
    {"QuantizeBrush", {1.0, 257.0}, ERR_WRONGUSAGE, 8, 6},
    {"QuantizeBrush", {1.0, 4.0}, 0, 8, 6},
    {"ChangeBrushTransparency", {1.0, 29.0}, ERR_WRONGUSAGE, 8, 6},
    {"InvertMask", {1.0}, ERR_WRONGUSAGE, 8, 6},
    {"InvertAlphaChannel", {1.0}, ERR_WRONGUSAGE, 8, 6},
    {"ReduceAlphaChannel", {1.0, 100.0}, ERR_WRONGUSAGE, 8, 6},
    {"ReduceAlphaChannel", {1.0, std::string("150%")}, ERR_PERCENTFORMAT, 8, 6},
    {"SetAlphaIntensity", {256.0}, ERR_WRONGUSAGE, 8, 6},
    {"SetAlphaIntensity", {-1.0}, 0, 8, 6},
    {"FloodFill", {1.0, 0.0, 0.0, 0.0}, ERR_NUMEXPECTED, 8, 6},
    {"FloodFill", {1.0, 0.0, 0.0}, ERR_NUMEXPECTED, 8, 6},
    {"FloodFill", {1.0, -1.0, 0.0, 0.0, 0.0}, ERR_NEGCOORDS, 8, 6},
    {"FloodFill", {1.0, 0.0, 6.0, 0.0, 0.0}, ERR_COORDSRANGE, 8, 6},
    // The engine's view of the result keeps a pixel of room on each side.
    {"PerspectiveDistortBrush", {1.0, 0.0, 0.0, 8.0, 0.0, 8.0, 6.0, 0.0, 6.0}, 0, 10, 8},
    {"SwirlBrush", {1.0, kNaN}, ERR_WRONGUSAGE, 8, 6},
    {"WaterRippleBrush", {1.0}, 0, 8, 6},
    {"TrimBrush", {1.0}, 0, 7, 6, true},  // the mask's last column is clear only on odd rows
};

TEST_F(BrushEdit, TableOfCasesInSeveralPixelFormats) {
    for (uint32_t format : {4u, 9u, 10u, 12u}) {
        for (const Case &c : kCases) {
            FreeAllBrushes(L);
            Make(1, 8, 6, c.mask, false, format);
            if (c.mask) {
                // Clear the last column where the mask was set: the visible
                // box is 7 wide.
                for (int y = 0; y < 6; y++) WriteBitmapPixel(Brush(1)->mask, 7, y, 0);
            }
            const int code = Run(c.cmd, c.args);
            OsSetPixelFormat(savedFormat);
            const std::string what = std::string(c.cmd) + " #" + std::to_string(&c - kCases.data()) + " format " +
                                     std::to_string(format);
            EXPECT_EQ(code, c.code) << what;
            cxBrush *b = Brush(1);
            ASSERT_NE(b, nullptr) << what;
            EXPECT_EQ(b->width, c.width) << what;
            EXPECT_EQ(b->height, c.height) << what;
            ASSERT_NE(b->bitmap, nullptr) << what;
            EXPECT_EQ(b->bitmap->width >= b->width && b->bitmap->height >= b->height, true) << what;
        }
    }
}

TEST_F(BrushEdit, GeometryMovesPixelsMaskAndAlphaTogether) {
    Make(1, 8, 6, false, true);
    ASSERT_EQ(Run("RotateBrush", {1.0, 90.0}), 0);
    cxBrush *b = Brush(1);
    ASSERT_EQ(b->width, 6);
    // A quarter turn counter-clockwise: the top-right corner goes top-left.
    EXPECT_EQ(At(b->bitmap, 0, 0), ColourAt(7, 0));
    EXPECT_EQ(At(b->alpha, 0, 0), uint32_t(7 * 20));
    ASSERT_EQ(Run("FlipBrush", {1.0, 1.0}), 0);
    EXPECT_EQ(At(b->bitmap, 0, 7), ColourAt(7, 0));
    ASSERT_EQ(Run("CropBrush", {1.0, 1.0, 2.0, 3.0, 3.0}), 0);
    EXPECT_EQ(b->width, 3);
    EXPECT_EQ(At(b->alpha, 0, 5 - 2), At(b->alpha, 0, 3));
    // Crop at #CENTER takes the middle.
    Make(2);
    ASSERT_EQ(Run("CropBrush", {2.0, kCenter, 0.0, 4.0, 6.0}), 0);
    EXPECT_EQ(At(Brush(2)->bitmap, 0, 0), ColourAt(2, 0));
}

TEST_F(BrushEdit, TrimKeepsTheVisibleBoxAndReportsItsOffset) {
    cxBrush *b = Make(1, 10, 8, false, true);
    FillAlphaRect(b->alpha, 0, 0, 10, 8, 0);
    WriteBitmapPixel(b->alpha, 3, 2, 9);
    WriteBitmapPixel(b->alpha, 6, 5, 200);
    ASSERT_EQ(Run("TrimBrush", {1.0}), 0);
    EXPECT_EQ(Num(1), 3);
    EXPECT_EQ(Num(2), 2);
    EXPECT_EQ(b->width, 4);
    EXPECT_EQ(b->height, 4);
    EXPECT_EQ(At(b->bitmap, 0, 0), ColourAt(3, 2));
    // All clear: refused, nothing changes.
    FillAlphaRect(b->alpha, 0, 0, 4, 4, 0);
    EXPECT_EQ(Run("TrimBrush", {1.0}), ERR_TRANSBRUSH);
    EXPECT_EQ(b->width, 4);
    // Neither mask nor alpha: 0, 0 and no change.
    Make(2);
    ASSERT_EQ(Run("TrimBrush", {2.0}), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Brush(2)->width, 8);
}

TEST_F(BrushEdit, TransparencyKindsConvert) {
    cxBrush *b = Make(1, 8, 6, false, true);
    WriteBitmapPixel(b->alpha, 1, 1, 255);
    WriteBitmapPixel(b->alpha, 2, 1, 128);
    ASSERT_EQ(Run("ChangeBrushTransparency", {1.0, 28.0}), 0);
    ASSERT_NE(b->mask, nullptr);
    EXPECT_EQ(b->alpha, nullptr);
    EXPECT_EQ(At(b->mask, 1, 1), 1u);
    EXPECT_EQ(At(b->mask, 2, 1), 0u);  // half transparent becomes invisible
    ASSERT_EQ(Run("ChangeBrushTransparency", {1.0, 30.0}), 0);
    EXPECT_EQ(b->mask, nullptr);
    EXPECT_EQ(At(b->alpha, 1, 1), 255u);
    EXPECT_EQ(At(b->alpha, 2, 1), 0u);
    ASSERT_EQ(Run("ReduceAlphaChannel", {1.0, std::string("0%")}), 0);
    EXPECT_EQ(At(b->alpha, 1, 1), 0u);
    ASSERT_EQ(Run("InvertAlphaChannel", {1.0}), 0);
    EXPECT_EQ(At(b->alpha, 1, 1), 255u);
    ASSERT_EQ(Run("ChangeBrushTransparency", {1.0, -1.0}), 0);
    EXPECT_EQ(b->alpha, nullptr);
    EXPECT_EQ(b->mask, nullptr);
    ASSERT_EQ(Run("ChangeBrushTransparency", {1.0, -1.0}), 0);  // nothing to remove: fine
    ASSERT_EQ(Run("ChangeBrushTransparency", {1.0, 30.0}), 0);
    EXPECT_EQ(At(b->alpha, 5, 5), 255u);
    // A colour key makes a mask clear exactly where the colour is.
    ASSERT_EQ(Run("SetBrushTransparency", {1.0, double(ColourAt(3, 2))}), 0);
    EXPECT_EQ(b->alpha, nullptr);
    EXPECT_EQ(b->transparentColour, int32_t(ColourAt(3, 2)));
    EXPECT_EQ(At(b->mask, 3, 2), 0u);
    EXPECT_EQ(At(b->mask, 3, 3), 1u);
    ASSERT_EQ(Run("InvertMask", {1.0}), 0);
    EXPECT_EQ(At(b->mask, 3, 2), 1u);
    ASSERT_EQ(Run("SetBrushTransparency", {1.0, 4294967295.0}), 0);
    EXPECT_EQ(b->mask, nullptr);
    EXPECT_EQ(b->transparentColour, -1);
}

TEST_F(BrushEdit, ColourCommands) {
    cxBrush *b = Make(1);
    lua_settop(L, 0);
    // ReplaceColors: pairs from index 0; -1 at an even index ends them.
    ASSERT_EQ(Call("ReplaceColors",
                   [&] {
                       lua_pushnumber(L, 1);
                       lua_newtable(L);
                       const double v[] = {double(ColourAt(0, 0)), 0xFFFFFF, -1, 5};
                       for (int i = 0; i < 4; i++) {
                           lua_pushnumber(L, v[i]);
                           lua_rawseti(L, -2, i);
                       }
                   }),
              0);
    EXPECT_EQ(At(b->bitmap, 0, 0), 0xFFFFFFu);
    // An empty table returns before the lookup: a missing brush is fine.
    EXPECT_EQ(Call("ReplaceColors",
                   [&] {
                       lua_pushnumber(L, 99);
                       lua_newtable(L);
                   }),
              0);
    EXPECT_EQ(Call("ReplaceColors",
                   [&] {
                       lua_pushnumber(L, 1);
                       lua_newtable(L);
                       for (int i = 0; i < 3; i++) {
                           lua_pushnumber(L, i);
                           lua_rawseti(L, -2, i);
                       }
                   }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(Run("ReplaceColors", {1.0, 5.0}), ERR_TABEXPECTED);
    ASSERT_EQ(Run("TintBrush", {1.0, double(0xFF0000), 255.0}), 0);
    EXPECT_EQ(At(b->bitmap, 4, 4), 0xFF0000u);
    ASSERT_EQ(Run("InvertBrush", {1.0}), 0);
    EXPECT_EQ(At(b->bitmap, 4, 4), 0x00FFFFu);
    ASSERT_EQ(Run("BrushToGray", {1.0}), 0);
    const uint32_t g = At(b->bitmap, 4, 4);
    EXPECT_EQ(g >> 16, g & 0xFF);
    // MixBrush of a smaller brush: only the common corner changes.
    Make(2, 3, 2);
    Make(3, 3, 2);
    ASSERT_EQ(Run("TintBrush", {3.0, double(0x0000FF), 255.0}), 0);
    Make(4, 8, 6);
    ASSERT_EQ(Run("MixBrush", {4.0, 3.0, 255.0}), 0);
    EXPECT_EQ(At(Brush(4)->bitmap, 2, 1), 0x0000FFu);  // level 255 copies
    EXPECT_EQ(At(Brush(4)->bitmap, 3, 1), ColourAt(3, 1));
}

TEST_F(BrushEdit, PixelsArraysAndFloodFill) {
    cxBrush *b = Make(1, 4, 3, true);
    ASSERT_EQ(Run("ReadBrushPixel", {1.0, 1.0, 0.0}), 0);
    EXPECT_EQ(Num(1), ColourAt(1, 0));
    EXPECT_EQ(Num(2), 0);  // (1 + 0) is odd: invisible
    ASSERT_EQ(Run("ReadBrushPixel", {1.0, -1.0, 0.0}), 0);
    EXPECT_EQ(Num(1), 4294967295.0);
    EXPECT_EQ(Num(2), -1);
    ASSERT_EQ(Run("ReadBrushPixel", {1.0, kNaN, 0.0}), 0);
    EXPECT_EQ(Num(2), -1);
    ASSERT_EQ(Run("WriteBrushPixel", {1.0, 2.0, 2.0, double(0x123456), 0.0}), 0);
    EXPECT_EQ(At(b->mask, 2, 2), 0u);
    EXPECT_EQ(At(b->bitmap, 2, 2) & 0xF8F8F8, 0x123456u & 0xF8F8F8);
    ASSERT_EQ(Run("WriteBrushPixel", {1.0, 40.0, 2.0, double(0x123456), 0.0}), 0);  // outside: nothing, no error
    ASSERT_EQ(Run("IsBrushEmpty", {1.0}), 0);
    EXPECT_EQ(Num(1), 0);
    ASSERT_EQ(Run("BrushToRGBArray", {1.0}), 0);
    ASSERT_TRUE(lua_istable(L, 1));
    lua_rawgeti(L, 1, 0);
    EXPECT_EQ(uint32_t(lua_tonumber(L, -1)), 0xFF000000u | ColourAt(0, 0));
    lua_rawgeti(L, 1, 1);
    EXPECT_EQ(uint32_t(lua_tonumber(L, -1)), ColourAt(1, 0));  // invisible: alpha 0
    lua_rawgeti(L, 1, 12);
    EXPECT_TRUE(lua_isnil(L, -1));
    ASSERT_EQ(Run("BrushToRGBArray", {1.0, 1.0}), 0);
    lua_rawgeti(L, 1, 1);
    EXPECT_EQ(uint32_t(lua_tonumber(L, -1)) >> 24, 255u);
    // A brush without mask or alpha is never empty; one whose mask is all
    // clear is.
    Make(2);
    ASSERT_EQ(Run("IsBrushEmpty", {2.0}), 0);
    EXPECT_EQ(Num(1), 0);
    FillMaskRect(b->mask, 0, 0, 4, 3, CX_MASKINVISIBLE);
    ASSERT_EQ(Run("IsBrushEmpty", {1.0}), 0);
    EXPECT_EQ(Num(1), 1);
    // Flood fill up to a border column.
    cxBrush *f = Make(3, 6, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 6; x++) WriteBitmapPixel(f->bitmap, x, y, x == 3 ? 0xFF0000 : 0);
    ASSERT_EQ(Run("FloodFill", {3.0, 0.0, 0.0, double(0xFF0000), double(0x00FF00)}), 0);
    EXPECT_EQ(At(f->bitmap, 2, 2), 0x00FF00u);
    EXPECT_EQ(At(f->bitmap, 3, 2), 0xFF0000u);
    EXPECT_EQ(At(f->bitmap, 4, 2), 0u);
}

TEST_F(BrushEdit, DistortionsGiveTransparencyByTheSmoothFlag) {
    Make(1, 16, 12);
    ASSERT_EQ(Run("BarrelDistortBrush", {1.0, 0.1, 0.0, 0.0}), 0);
    EXPECT_NE(Brush(1)->mask, nullptr);
    Make(2, 16, 12);
    ASSERT_EQ(Run("PolarDistortBrush", {2.0, 0.0, 0.0, 8.0, 6.0, 0.0, 0.0, 1.0}), 0);
    EXPECT_NE(Brush(2)->alpha, nullptr);
    Make(3, 16, 12);
    EXPECT_EQ(Run("PolarDistortBrush", {3.0, kNaN}), ERR_WRONGUSAGE);
}

TEST_F(BrushEdit, DrawingIntoASelectedBGPicAndIntoAnAlphaChannel) {
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    ASSERT_EQ(Call("SetFillStyle", [&] { lua_pushnumber(L, 1); }), 0);
    cxBitmap *bm = AllocBitmap(20, 10, CX_ALLOC_CLEAR, 0);
    cxObjectID id{5, nullptr};
    cxBGPic *pic = nullptr;
    ASSERT_EQ(AddBGPicRecord(&id, 0, 20, 10, 20, nullptr, bm, nullptr, -1, nullptr, nullptr, nullptr, &pic), 0);
    ASSERT_EQ(Run("SelectBGPic", {5.0}), 0);
    ASSERT_EQ(Run("Box", {2.0, 2.0, 4.0, 4.0, double(0x00FF00)}), 0);
    ASSERT_EQ(Run("EndSelect", {}), 0);
    EXPECT_EQ(At(pic->base.bitmap, 3, 3), 0x00FF00u);
    EXPECT_EQ(At(pic->base.bitmap, 10, 3), 0u);
    // SelectAlphaChannel: the first drawing makes an opaque channel and
    // drops the mask; the alpha intensity is what shapes write.
    cxBrush *b = Make(1, 8, 6, true);
    ASSERT_EQ(Run("SelectAlphaChannel", {1.0}), 0);
    ASSERT_EQ(Run("SetAlphaIntensity", {40.0}), 0);
    ASSERT_EQ(Run("Box", {0.0, 0.0, 2.0, 2.0, 0.0}), 0);
    ASSERT_EQ(Run("EndSelect", {}), 0);
    ASSERT_EQ(Run("SetAlphaIntensity", {-1.0}), 0);
    EXPECT_EQ(b->mask, nullptr);
    ASSERT_NE(b->alpha, nullptr);
    EXPECT_EQ(At(b->alpha, 1, 1), 40u);
    EXPECT_EQ(At(b->alpha, 5, 5), 255u);
    FreeDrawLibraryBuffers(L);
    FreeAllBGPics(L);
}

TEST_F(BrushEdit, GradientAndTexturedBrushes) {
    // Nil: an automatic ID comes back.
    ASSERT_EQ(Call("CreateGradientBrush",
                   [&] {
                       lua_pushnil(L);
                       for (double v : {32.0, 8.0, 2.0, double(0xFF0000), double(0x0000FF)}) lua_pushnumber(L, v);
                   }),
              0);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    cxBrush *g = nullptr;
    ASSERT_EQ(FindBrush(L, {0, lua_touserdata(L, 1)}, &g, 0), 0);
    EXPECT_EQ(g->width, 32);
    // Angle 0 runs from the top (start colour) to the bottom (end colour).
    const uint32_t top = At(g->bitmap, 16, 0), bottom = At(g->bitmap, 16, 7);
    EXPECT_GT(top >> 16, top & 0xFF);
    EXPECT_GT(bottom & 0xFF, bottom >> 16);
    EXPECT_EQ(Run("CreateGradientBrush", {3.0, 0.0, 8.0, 2.0, 0.0, 0.0}), ERR_BADDIMENSIONS);
    EXPECT_EQ(Run("CreateGradientBrush", {3.0, kNaN, 8.0, 2.0, 0.0, 0.0}), ERR_BADDIMENSIONS);
    // A texture tiled from its offset.
    Make(1);
    ASSERT_EQ(Run("CreateTexturedBrush", {2.0, 1.0, 20.0, 10.0}), 0);
    ASSERT_NE(Brush(2), nullptr);
    EXPECT_EQ(At(Brush(2)->bitmap, 9, 7), ColourAt(1, 1));
    EXPECT_EQ(Run("CreateTexturedBrush", {1.0, 1.0, 20.0, 10.0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("CreateTexturedBrush", {4.0, 99.0, 20.0, 10.0}), ERR_FINDBRUSH);
    EXPECT_EQ(Run("CreateTexturedBrush", {4.0, 1.0, -2.0, 10.0}), ERR_BADDIMENSIONS);
}

int g_redirects = 0;
void CountRedirect(lua_State *, int, cxObjectID, cxObjectID) { g_redirects++; }

TEST_F(BrushEdit, ABrushThatLayersShowIsCopiedForThemBeforeItChanges) {
    cxLayerHooks hooks{};
    hooks.redirectLayers = CountRedirect;
    SetLayerHooks(&hooks);
    g_redirects = 0;
    cxBrush *b = Make(1);
    AddBrushLayerUse(b);
    AddBrushLayerUse(b);
    ASSERT_EQ(Run("ScaleBrush", {1.0, 4.0, 3.0}), 0);
    EXPECT_EQ(g_redirects, 1);  // one copy for both layers
    EXPECT_EQ(Brush(1), b);
    EXPECT_EQ(b->width, 4);
    EXPECT_EQ(b->layerUses, 0);
    // The copy keeps the old picture, pending free, under an automatic ID.
    cxBrush *copy = nullptr;
    for (cxBrush *r = GetFirstBrush(); r; r = reinterpret_cast<cxBrush *>(r->header.next))
        if (r != b) copy = r;
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->width, 8);
    EXPECT_EQ(copy->layerUses, 2);
    EXPECT_EQ(copy->pendingFree, 1u);
    EXPECT_EQ(At(copy->bitmap, 7, 5), ColourAt(7, 5));
    // Reading makes no copy.
    ASSERT_EQ(Run("ReadBrushPixel", {1.0, 0.0, 0.0}), 0);
    EXPECT_EQ(g_redirects, 1);
    SetLayerHooks(nullptr);
}

// Every command that changes a brush: valid arguments after the ID.
const std::vector<std::pair<const char *, std::vector<Arg>>> kWriters = {
    {"ScaleBrush", {4.0, 4.0}}, {"RotateBrush", {90.0}}, {"TransformBrush", {1.0, 0.0, 0.0, 1.0}},
    {"FlipBrush", {0.0}}, {"CropBrush", {0.0, 0.0, 2.0, 2.0}}, {"TrimBrush", {}}, {"RasterizeBrush", {}},
    {"SetBrushTransparency", {0.0}}, {"ChangeBrushTransparency", {28.0}}, {"DeleteMask", {}},
    {"DeleteAlphaChannel", {}}, {"InvertMask", {}}, {"InvertAlphaChannel", {}}, {"ReduceAlphaChannel", {100.0}},
    {"TintBrush", {0.0, 100.0}}, {"InvertBrush", {}}, {"BrushToGray", {}}, {"BrushToMonochrome", {}},
    {"MixBrush", {2.0, 100.0}}, {"QuantizeBrush", {}}, {"BlurBrush", {}}, {"SharpenBrush", {}}, {"EdgeBrush", {}},
    {"EmbossBrush", {}}, {"CharcoalBrush", {1.0}}, {"OilPaintBrush", {1.0}}, {"SolarizeBrush", {100.0}},
    {"SepiaToneBrush", {100.0}}, {"GammaBrush", {1.0, 1.0, 1.0}}, {"ContrastBrush", {1.0}},
    {"ModulateBrush", {1.0, 1.0, 1.0}}, {"SwirlBrush", {30.0}}, {"PixelateBrush", {2.0}}, {"WaterRippleBrush", {}},
    {"BarrelDistortBrush", {0.1, 0.0, 0.0}}, {"PolarDistortBrush", {}}, {"ArcDistortBrush", {60.0}},
    {"PerspectiveDistortBrush", {0.0, 0.0, 8.0, 0.0, 8.0, 6.0, 0.0, 6.0}}, {"WriteBrushPixel", {0.0, 0.0, 0.0}},
    {"FloodFill", {0.0, 0.0, 0.0, 0.0}},
};

TEST_F(BrushEdit, EveryEditingCommandRefusesMissingActiveAndLockedBrushes) {
    Make(2);
    for (const auto &[cmd, rest] : kWriters) {
        // Missing, by number and by automatic ID.
        std::vector<Arg> args{99.0};
        args.insert(args.end(), rest.begin(), rest.end());
        EXPECT_EQ(Run(cmd, args), ERR_FINDBRUSH) << cmd;
        EXPECT_EQ(GetErrorNumber(), 99) << cmd;
        // The brush drawing goes to (its mask too): refused, unchanged.
        FreeAllBrushes(L);
        Make(1, 8, 6, true);
        Make(2);
        for (const char *select : {"SelectBrush", "SelectMask"}) {
            ASSERT_EQ(Run(select, {1.0}), 0);
            args[0] = 1.0;
            EXPECT_EQ(Run(cmd, args), ERR_MODIFYABR) << cmd << " " << select;
            EXPECT_EQ(Brush(1)->width, 8);
            ASSERT_EQ(Run("EndSelect", {}), 0);
        }
        // Locked.
        Brush(1)->locked = 1;
        EXPECT_EQ(Run(cmd, args), ERR_LOCKEDOBJ) << cmd;
        Brush(1)->locked = 0;
    }
    // Reading and saving are allowed on the selected brush.
    ASSERT_EQ(Run("SelectBrush", {1.0}), 0);
    EXPECT_EQ(Run("ReadBrushPixel", {1.0, 0.0, 0.0}), 0);
    EXPECT_EQ(Run("IsBrushEmpty", {1.0}), 0);
    ASSERT_EQ(Run("EndSelect", {}), 0);
    EXPECT_EQ(Run("EndSelect", {}), ERR_WRONGUSAGE);
}

}  // namespace
