// The font cache and the font commands; TrueType measures checked against
// FreeType itself.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/runtime/console.h"
#include "engine/runtime/kernel.h"
#include "graphics/blit/blit.h"
#include "tests/text/fonts/font_fixtures.h"
#include "text/fonts/font.h"
#include "text/library/font_cache.h"
#include "text_fixture.h"

namespace {

using texttest::TextTest;

int SetFont(cxtest::VmTest *t, lua_State *L, const char *name, double size, int usePoints = -1, int engine = -1) {
    (void)t;
    lua_settop(L, 0);
    lua_pushstring(L, "setfont");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushstring(L, name);
    lua_pushnumber(L, size);
    if (usePoints >= 0 || engine >= 0) {
        lua_newtable(L);
        if (usePoints >= 0) {
            lua_pushstring(L, "usepoints");
            lua_pushnumber(L, usePoints);
            lua_settable(L, -3);
        }
        if (engine >= 0) {
            lua_pushstring(L, "engine");
            lua_pushnumber(L, engine);
            lua_settable(L, -3);
        }
    }
    return lua_pcall(L, lua_gettop(L) - 1, 0, 0);
}

TEST_F(TextTest, DefaultNamesAndTheFontSuffix) {
    cxOsFont *topaz = GetCurrentFont();
    ASSERT_EQ(SetFont(this, L, "TOPAZ.font", 8), 0);
    EXPECT_EQ(GetCurrentFont(), topaz);
    EXPECT_EQ(SetFont(this, L, ":::default_bitmap", 8, 1), ERR_WRONGUSAGE);
    ASSERT_EQ(SetFont(this, L, ":::default_sans", 14), 0);
    cxOsFont *sans = GetCurrentFont();
    EXPECT_EQ(sans->kind, uint32_t(CX_FONT_TRUETYPE));
    // The same request in another case is the cached font, opened once.
    ASSERT_EQ(SetFont(this, L, "bitstream VERA sans", 14, -1, 4), 0);
    EXPECT_EQ(GetCurrentFont(), sans);
}

TEST_F(TextTest, FontsThatDoNotExistLeaveTheCurrentFont) {
    cxOsFont *before = GetCurrentFont();
    EXPECT_NE(SetFont(this, L, "No Such Font Anywhere", 12), 0);
    EXPECT_EQ(GetCurrentFont(), before);
    EXPECT_EQ(SetFont(this, L, "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf", 12), ERR_FONTPATH);
    // With the inbuilt engine a path is handed on.
    EXPECT_EQ(SetFont(this, L, "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf", 12, -1, 4), 0);
    EXPECT_EQ(GetCurrentFont()->kind, uint32_t(CX_FONT_TRUETYPE));
}

// A font of no size, or of a negative one, would draw nothing: refused.
TEST_F(TextTest, FontsOfNoSizeAreRefused) {
    cxOsFont *before = GetCurrentFont();
    for (double size : {0.0, -5.0, 0.5}) {
        EXPECT_EQ(SetFont(this, L, "topaz", size), ERR_OPENFONT) << size;
        EXPECT_EQ(SetFont(this, L, ":::default_serif", size), ERR_OPENFONT) << size;
    }
    char text[200];
    EXPECT_STREQ(GetErrorText(ERR_OPENFONT, text, sizeof text), "Cannot open font :::default_serif with size 0!");
    EXPECT_EQ(GetCurrentFont(), before);
}

// The progress line names a built-in face as the script did, a file by its
// file part.
TEST_F(TextTest, OpeningAFontNamesItInTheProgressLine) {
    testing::internal::CaptureStdout();
    ASSERT_EQ(Call("OpenFont", [&] {
                  lua_pushnumber(L, 4);
                  lua_pushstring(L, ":::default_serif");
                  lua_pushnumber(L, 12);
              }),
              0);
    ASSERT_EQ(Call("OpenFont", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushstring(L, "/usr/share/fonts/truetype/nosuch/Face.ttf");
                  lua_pushnumber(L, 12);
              }),
              ERR_FONTPATH);
    EndProgressLine();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Opening font :::default_serif..."), std::string::npos) << out;
    EXPECT_NE(out.find("Opening font Face.ttf..."), std::string::npos) << out;
}

TEST_F(TextTest, FontObjectsAreFoundReplacedAndClosed) {
    ASSERT_EQ(Call("OpenFont", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, ":::default_serif");
                  lua_pushnumber(L, 12);
              }),
              0);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    void *automatic = lua_touserdata(L, 1);
    ASSERT_EQ(Call("UseFont", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    EXPECT_NE(GetCurrentFont(), GetTopazFont());
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Call("OpenFont", [&] {
                      lua_pushnumber(L, 3);
                      lua_pushstring(L, "topaz");
                      lua_pushnumber(L, 8);
                  }),
                  0);
    int count = 0;
    for (cxObjectHeader *h = GetFontObjectList()->first; h; h = h->next) ++count;
    EXPECT_EQ(count, 2);
    ASSERT_EQ(Cmd("UseFont", {3}), 0);
    EXPECT_EQ(GetCurrentFont(), GetTopazFont());
    ASSERT_EQ(Cmd("CloseFont", {3}), 0);
    EXPECT_EQ(Cmd("UseFont", {3}), ERR_FINDFONT2);
    EXPECT_EQ(Cmd("CloseFont", {3}), ERR_FINDFONT2);
    EXPECT_EQ(Cmd("FreeGlyphCache", {1, 3}), ERR_FINDFONT2);
    EXPECT_EQ(Cmd("FreeGlyphCache", {0}), 0);
    EXPECT_EQ(Call("UseFont", [&] { lua_pushlightuserdata(L, &count); }), ERR_FINDARRAY);
}

TEST_F(TextTest, KerningOfAnEmptyStringIsZero) {
    ASSERT_EQ(Call("GetKerningPair", [&] {
                  lua_pushstring(L, "");
                  lua_pushstring(L, "A");
              }),
              0);
    EXPECT_EQ(Num(1), 0);
}

TEST_F(TextTest, AddFontPathAddsAFolderOnce) {
    const size_t before = GetFontPathCount();
    ASSERT_EQ(CmdS("AddFontPath", "/tmp"), 0);
    ASSERT_EQ(CmdS("AddFontPath", "/tmp/"), 0);
    EXPECT_EQ(GetFontPathCount(), before + 1);
    EXPECT_EQ(CmdS("AddFontPath", "/no/such/folder"), ERR_LOCK2);
    EXPECT_EQ(Detail(), "/no/such/folder");
}

// Colour fonts opened while declared objects load (no display yet) keep
// their glyphs as pixels; the start-up of the first display builds them,
// also for a font only set and never made an object, and printing then
// shows their colours.
TEST_F(TextTest, ColourFontsOpenedBeforeAnyDisplayDrawAfterRealizing) {
    fontfix::TempDir dir;
    fontfix::TestFont colour;
    colour.colour = true;
    for (const char *name : {"early", "setonly"}) {
        fontfix::WriteFile(dir / (std::string(name) + "4"), fontfix::SizeFile(colour));
        fontfix::WriteFile(dir / (std::string(name) + ".font"),
                           fontfix::ContentsFile({{std::string(name) + "4", 4}}));
    }
    ASSERT_EQ(AddFontPath(dir.path().c_str()), 0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END);
    const int opened = Call("OpenFont", [&] {
        lua_pushnumber(L, 1);
        lua_pushstring(L, "early");
        lua_pushnumber(L, 4);
    });
    const int set = SetFont(this, L, "setonly", 4);
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END);
    ASSERT_EQ(opened, 0);
    ASSERT_EQ(set, 0);
    cxOsFont *setOnly = GetCurrentFont();
    cxFontObject *early = nullptr;
    ASSERT_EQ(FindFontObject(cxObjectID{1, nullptr}, &early), 0);
    for (cxOsFont *f : {early->font, setOnly}) {
        EXPECT_EQ(f->glyphBitmap, nullptr);
        EXPECT_NE(f->pendingPixels, nullptr);
    }

    ASSERT_EQ(RealizeFontBitmaps(), 0);
    for (cxOsFont *f : {early->font, setOnly}) {
        EXPECT_NE(f->glyphBitmap, nullptr);
        EXPECT_EQ(f->pendingPixels, nullptr);
    }
    // Glyph A is colour 1 (green) in its first columns.
    ASSERT_EQ(Cmd("UseFont", {1}), 0);
    ASSERT_EQ(CmdS("Print", "A"), 0);
    EXPECT_EQ(Pixel(1, 0) & 0xFFFFFF, 0x00FF00u);
    // Once displays exist a colour font is built as it loads.
    fontfix::WriteFile(dir / "late4", fontfix::SizeFile(colour));
    fontfix::WriteFile(dir / "late.font", fontfix::ContentsFile({{"late4", 4}}));
    ASSERT_EQ(SetFont(this, L, "late", 4), 0);
    EXPECT_NE(GetCurrentFont()->glyphBitmap, nullptr);
    EXPECT_EQ(GetCurrentFont()->pendingPixels, nullptr);
    ClearFontPaths();
}

// Widths in pixels as FreeType gives them: whole-pixel advances plus the
// kerning of each pair, at a point size and 72 dpi.
int FreeTypeWidth(const char *file, int points, const char *text) {
    FT_Library lib;
    FT_Face face;
    EXPECT_EQ(FT_Init_FreeType(&lib), 0);
    EXPECT_EQ(FT_New_Face(lib, file, 0, &face), 0);
    FT_Set_Char_Size(face, points * 64, 0, 72, 72);
    int pen = 0;
    for (const char *p = text; *p; ++p) {
        const FT_UInt g = FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(*p)));
        FT_Load_Glyph(face, g, FT_LOAD_NO_AUTOHINT);
        pen += int(face->glyph->metrics.horiAdvance / 64);
        if (p[1] && FT_HAS_KERNING(face)) {
            FT_Vector k{};
            FT_Get_Kerning(face, g, FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(p[1]))), FT_KERNING_UNSCALED, &k);
            pen += int(int64_t(k.x) * face->size->metrics.x_ppem / face->units_per_EM);
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return pen;
}

TEST_F(TextTest, TrueTypeWidthsMatchFreeType) {
    const char *vera = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
    ASSERT_EQ(SetFont(this, L, ":::default_sans", 20, 1), 0);
    for (const char *text : {"Hello", "AVATAR Type", "ij ll"}) {
        ASSERT_EQ(CmdS("TextWidth", text), 0);
        EXPECT_EQ(Num(1), FreeTypeWidth(vera, 20, text)) << text;
    }
    // Anti-aliasing needs a font that can do it.
    ASSERT_EQ(Cmd("SetFontStyle", {16}), 0);
    EXPECT_EQ(CmdS("Print", "aa"), 0);
    ASSERT_EQ(SetFont(this, L, "topaz", 8), 0);
    ASSERT_EQ(Cmd("SetFontStyle", {16}), 0);
    EXPECT_EQ(CmdS("Print", "aa"), ERR_ANTIALIAS);
}

TEST_F(TextTest, AntiAliasedTrueTypeTextBlendsIntoTheTarget) {
    ASSERT_EQ(SetFont(this, L, ":::default_sans", 24), 0);
    ASSERT_EQ(Cmd("SetFontStyle", {16}), 0);
    ASSERT_EQ(Cmd("SetFontStyle", {64, 0xFF0000, 2}), 0);
    ASSERT_EQ(CmdS("Print", "O"), 0);
    int partial = 0, red = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t c = Pixel(x, y);
            red += c == 0xFF0000;
            partial += c != 0 && c != 0xFF0000 && c != 0xFFFFFF;
        }
    EXPECT_GT(red, 10);
    EXPECT_GT(partial, 5);
}

} // namespace

namespace {

using texttest::TextTest;

// The anti-aliased image FreeType itself makes of a text: each glyph's
// coverage at its pen position, white over black.
std::vector<uint8_t> FreeTypeImage(const char *file, int points, const char *text, int baseline, int w, int h) {
    std::vector<uint8_t> img(size_t(w * h), 0);
    FT_Library lib;
    FT_Face face;
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, file, 0, &face);
    FT_Set_Char_Size(face, points * 64, 0, 72, 72);
    int pen = 0;
    for (const char *p = text; *p; ++p) {
        const FT_UInt g = FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(*p)));
        FT_Load_Glyph(face, g, FT_LOAD_NO_AUTOHINT);
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
        const FT_Bitmap &b = face->glyph->bitmap;
        for (unsigned y = 0; y < b.rows; ++y)
            for (unsigned x = 0; x < b.width; ++x) {
                const int tx = pen + face->glyph->bitmap_left + int(x), ty = baseline - face->glyph->bitmap_top + int(y);
                if (tx >= 0 && ty >= 0 && tx < w && ty < h) {
                    uint8_t &d = img[size_t(ty * w + tx)];
                    d = std::max(d, b.buffer[y * unsigned(b.pitch) + x]);
                }
            }
        pen += int(face->glyph->metrics.horiAdvance / 64);
        if (p[1] && FT_HAS_KERNING(face)) {
            FT_Vector k{};
            FT_Get_Kerning(face, g, FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(p[1]))), FT_KERNING_UNSCALED, &k);
            pen += int(int64_t(k.x) * face->size->metrics.x_ppem / face->units_per_EM);
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return img;
}

TEST_F(TextTest, AntiAliasedImagesMatchFreeTypeOnBothRoads) {
    const char *vera = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
    ASSERT_EQ(SetFont(this, L, ":::default_sans", 20, 1), 0);
    ASSERT_EQ(Cmd("SetFontStyle", {16}), 0);
    const int baseline = GetCurrentFont()->baseline;
    const auto expect = FreeTypeImage(vera, 20, "AgW", baseline, kW, kH);
    // Plain text goes straight into the target; with a (neutral) tag it is
    // laid out into an image and blended in.
    for (const char *text : {"AgW", "[i][/i]AgW"}) {
        texttest::Out().target.colour = bitmap;
        FillRect(bitmap, 0, 0, kW, kH, 0);
        ASSERT_EQ(Call("TextOut", [&] {
                      lua_pushnumber(L, 0);
                      lua_pushnumber(L, 0);
                      lua_pushstring(L, text);
                  }),
                  0)
            << text;
        int off = 0, lit = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int got = int(Pixel(x, y) & 0xFF), want = expect[size_t(y * kW + x)];
                lit += want > 0;
                if (std::abs(got - want) > 2) ++off;
            }
        EXPECT_GT(lit, 50) << text;
        EXPECT_EQ(off, 0) << text;
    }
}

} // namespace
