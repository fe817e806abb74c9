// The TrueType engine against FreeType itself: every expected bitmap,
// advance and kerning value below is computed by a FreeType face of its own
// at the size the engine chose, with the same load flags.
#include "text/fonts/truetype.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "streams/chunk_names.h"
#include "tests/text/fonts/font_fixtures.h"
#include "text/fonts/font.h"
#include "text/fonts/truetype_engine.h"

using fontfix::Canvas;
using fontfix::TempDir;

namespace {

const std::string kVera = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
const std::string kVeraBold = "/usr/share/fonts/truetype/ttf-bitstream-vera/VeraBd.ttf";
const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kFreeSansCff = "/usr/share/fonts/opentype/freefont/FreeSans.otf";
const std::string kLiberation = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";

// An 8-bit picture, for alpha targets and expected coverage.
using Picture = std::vector<std::vector<uint8_t>>;

Picture AlphaPicture(cxBitmap *alpha) {
    cxOsBitmapLock l{};
    LockBitmap(alpha, 0, &l);
    Picture p(size_t(l.height), std::vector<uint8_t>(size_t(l.width)));
    for (int32_t y = 0; y < l.height; ++y)
        for (int32_t x = 0; x < l.width; ++x) p[y][x] = l.pixels[size_t(y) * l.rowLength + x];
    UnlockBitmap(&l);
    return p;
}

Picture MaskPicture(cxBitmap *mask) {
    cxOsBitmapLock l{};
    LockBitmap(mask, 0, &l);
    Picture p(size_t(l.height), std::vector<uint8_t>(size_t(l.width)));
    for (int32_t y = 0; y < l.height; ++y)
        for (int32_t x = 0; x < l.width; ++x) p[y][x] = (l.pixels[size_t(y) * l.rowLength + x / 8] >> (7 - x % 8)) & 1;
    UnlockBitmap(&l);
    return p;
}

class TrueType : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(StartFontEngines(nullptr), 0);
        ASSERT_EQ(FT_Init_FreeType(&ref_), 0);
    }
    void TearDown() override {
        for (cxOsFont *f : open_) OsCloseFont(f);
        if (refFace_) FT_Done_Face(refFace_);
        FT_Done_FreeType(ref_);
        StopFontEngines();
    }
    cxOsFont *Open(const std::string &name, int32_t size, int usePoints = 0) {
        cxOsFont *f = nullptr;
        EXPECT_EQ(OpenPlatformFont(name.c_str(), size, CX_FONT_TRUETYPE, 1, usePoints, 0, &f), 0) << name;
        if (f) open_.push_back(f);
        return f;
    }
    // The reference face: the same file at the engine's pixel size.
    FT_Face Ref(const std::string &file, cxOsFont *font) {
        if (refFace_) FT_Done_Face(refFace_);
        refFace_ = nullptr;
        EXPECT_EQ(FT_New_Face(ref_, file.c_str(), 0, &refFace_), 0);
        const FT_Size_Metrics &m = GetFreeTypeFace(font)->size->metrics;
        EXPECT_EQ(FT_Set_Pixel_Sizes(refFace_, m.x_ppem, m.y_ppem), 0);
        return refFace_;
    }
    // FreeType's own rendering of a character with the engine's styles.
    FT_GlyphSlot RefGlyph(FT_ULong c, uint32_t style) {
        EXPECT_EQ(FT_Load_Char(refFace_, c, FT_LOAD_NO_AUTOHINT), 0);
        FT_GlyphSlot s = refFace_->glyph;
        if (style & CX_FONTSTYLE_BOLD) FT_GlyphSlot_Embolden(s);
        if (style & CX_FONTSTYLE_ITALIC) {
            const FT_Matrix m{0x10000, 0x6000, 0, 0x10000};
            FT_Outline_Transform(&s->outline, &m);
        }
        EXPECT_EQ(FT_Render_Glyph(s, style & CX_FONTSTYLE_ANTIALIAS ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO), 0);
        return s;
    }
    // Where FreeType's glyph lands when drawn at (x, y) with the baseline.
    static Picture Expected(FT_GlyphSlot s, int32_t w, int32_t h, int32_t x, int32_t y, int32_t baseline) {
        Picture p(size_t(h), std::vector<uint8_t>(size_t(w), 0));
        const FT_Bitmap &b = s->bitmap;
        for (uint32_t r = 0; r < b.rows; ++r)
            for (uint32_t c = 0; c < b.width; ++c) {
                const int32_t px = x + s->bitmap_left + int32_t(c), py = y + baseline - s->bitmap_top + int32_t(r);
                const uint8_t *row = b.buffer + ptrdiff_t(r) * b.pitch;
                const uint8_t v = b.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c / 8] >> (7 - c % 8)) & 1 : row[c];
                if (px >= 0 && px < w && py >= 0 && py < h && v) p[py][px] = v;
            }
        return p;
    }
    // Pen advance by FreeType: its advance in whole pixels plus the pair's
    // kerning in whole pixels.
    int32_t RefAdvance(const std::string &text) {
        int32_t pen = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const FT_UInt g = FT_Get_Char_Index(refFace_, uint8_t(text[i]));
            EXPECT_EQ(FT_Load_Glyph(refFace_, g, FT_LOAD_NO_AUTOHINT), 0);
            pen += int32_t(refFace_->glyph->metrics.horiAdvance / 64);
            if (i + 1 < text.size()) pen += RefKerning(text[i], text[i + 1]);
        }
        return pen;
    }
    int32_t RefKerning(char a, char b) {
        FT_Vector k{};
        if (!FT_HAS_KERNING(refFace_)) return 0;
        FT_Get_Kerning(refFace_, FT_Get_Char_Index(refFace_, uint8_t(a)), FT_Get_Char_Index(refFace_, uint8_t(b)),
                       FT_KERNING_UNSCALED, &k);
        return int32_t(int64_t(k.x) * refFace_->size->metrics.x_ppem / refFace_->units_per_EM);
    }

    FT_Library ref_ = nullptr;
    FT_Face refFace_ = nullptr;
    std::vector<cxOsFont *> open_;
};

TEST_F(TrueType, BuiltInFacesOpenWithoutFiles) {
    const std::vector<std::pair<std::string, std::string>> faces = {
        {"Bitstream Vera Sans", "Vera.ttf"}, {"bitstream vera serif", "VeraSe.ttf"},
        {"BITSTREAM VERA SANS MONO", "VeraMono.ttf"}};
    for (const auto &[name, file] : faces) {
        const uint8_t *data;
        size_t size;
        ASSERT_EQ(FindBuiltInFace(name.c_str(), &data, &size), 1);
        const std::vector<uint8_t> installed =
            fontfix::ReadFile("/usr/share/fonts/truetype/ttf-bitstream-vera/" + file);
        EXPECT_EQ(std::vector<uint8_t>(data, data + size), installed) << file;
        cxOsFont *f = Open(name, 20);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->kind, uint32_t(CX_FONT_TRUETYPE));
        EXPECT_EQ(Latin1CompareNoCase(f->name, name.c_str()), 0) << f->name; // "Roman" is a regular style
        EXPECT_EQ(f->height, 20);
        EXPECT_EQ(f->designHeight, 20);
        EXPECT_EQ(f->outline, 1u);
        EXPECT_EQ(f->transformable, 1u);
    }
    const uint8_t *data;
    size_t size;
    EXPECT_EQ(FindBuiltInFace("Bitstream Vera", &data, &size), 0);
}

TEST_F(TrueType, PixelSizeSpansTheTallestGlyphs) {
    for (const std::string &file : {kVera, kDejaVu, kFreeSansCff}) {
        cxOsFont *f = Open(file, 20);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->height, 20);
        FT_Face r = Ref(file, f);
        int32_t ascent = 0, descent = 0;
        for (FT_ULong c = 33; c <= 255; ++c) {
            if (!FT_Get_Char_Index(r, c)) continue;
            FT_GlyphSlot s = RefGlyph(c, CX_FONTSTYLE_ANTIALIAS);
            ascent = std::max<int32_t>(ascent, s->bitmap_top);
            descent = std::max<int32_t>(descent, int32_t(s->bitmap.rows) - s->bitmap_top);
        }
        EXPECT_GE(ascent + descent, 17) << file;
        EXPECT_LE(ascent + descent, 20) << file;
        // The baseline leaves room for the capitals and the descenders.
        EXPECT_GT(f->baseline, 10);
        EXPECT_LT(f->baseline, 20);
    }
}

TEST_F(TrueType, GlyphBitmapsEqualFreeTypes) {
    const uint32_t styles[] = {CX_FONTSTYLE_ANTIALIAS, CX_FONTSTYLE_ANTIALIAS | CX_FONTSTYLE_BOLD,
                               CX_FONTSTYLE_ANTIALIAS | CX_FONTSTYLE_ITALIC, 0, CX_FONTSTYLE_BOLD | CX_FONTSTYLE_ITALIC};
    for (const std::string &file : {kVera, kDejaVu, kFreeSansCff, kLiberation}) {
        for (int32_t size : {12, 17, 31}) {
            cxOsFont *f = Open(file, size);
            ASSERT_NE(f, nullptr);
            Ref(file, f);
            for (uint32_t style : styles) {
                for (uint8_t c : {uint8_t('A'), uint8_t('g'), uint8_t('%'), uint8_t(0xE9)}) {
                    const bool aa = style & CX_FONTSTYLE_ANTIALIAS;
                    cxBitmap *target = aa ? AllocAlphaChannel(64, 64, 1, nullptr, 0) : AllocMask(nullptr, 64, 64, 1, nullptr, 0);
                    const char text[2] = {char(c), 0};
                    // Twice: the second draw may come from the cache.
                    for (int pass = 0; pass < 2; ++pass) {
                        ASSERT_EQ(DrawFontText(f, target, nullptr, 10, 8, text, 1, style, 0, nullptr, -1), 0);
                        const Picture got = aa ? AlphaPicture(target) : MaskPicture(target);
                        EXPECT_EQ(got, Expected(RefGlyph(c, style), 64, 64, 10, 8, f->baseline))
                            << file << " size " << size << " style " << style << " char " << int(c);
                    }
                    aa ? FreeAlphaChannel(target) : FreeMask(target);
                }
            }
        }
    }
}

TEST_F(TrueType, ColourTargetsBlendByCoverage) {
    cxOsFont *f = Open("Bitstream Vera Sans", 24);
    Ref(kVera, f);
    Canvas c(40, 40, 0xFFFFFF);
    ASSERT_EQ(DrawFontText(f, c.bitmap(), nullptr, 5, 5, "O", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0x000000), 0);
    const Picture cov = Expected(RefGlyph('O', CX_FONTSTYLE_ANTIALIAS), 40, 40, 5, 5, f->baseline);
    int partial = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t a = cov[y][x], v = c.At(x, y) & 0xFF;
            // White blended towards black by the coverage.
            const uint32_t expect = a == 255 ? 0 : (255 * (256 - a)) >> 8;
            EXPECT_EQ(v, expect) << x << "," << y;
            partial += a > 0 && a < 255;
        }
    EXPECT_GT(partial, 10);
    // Cut by the right edge of a bitmap: the visible part is the same.
    for (int32_t width : {33, 35, 36, 37}) {
        Canvas wide(64, 40, 0xFFFFFF), cut(width, 40, 0xFFFFFF);
        DrawFontText(f, wide.bitmap(), nullptr, width - 9, 5, "O", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0x3060C0);
        DrawFontText(f, cut.bitmap(), nullptr, width - 9, 5, "O", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0x3060C0);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < width; ++x) ASSERT_EQ(cut.At(x, y), wide.At(x, y)) << width << ": " << x << "," << y;
    }
    // Monochrome drawing stores the colour where the glyph's bits are set.
    Canvas m(40, 40, 0xFFFFFF);
    ASSERT_EQ(DrawFontText(f, m.bitmap(), nullptr, 5, 5, "O", 1, 0, 0, nullptr, 0x123456), 0);
    const Picture bits = Expected(RefGlyph('O', 0), 40, 40, 5, 5, f->baseline);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_EQ(m.At(x, y), bits[y][x] ? 0x123456u : 0xFFFFFFu);
}

// Every pixel format: untouched where the glyph has no coverage, the colour
// where it has full coverage or a set bit, and the alpha byte kept outside
// the glyph.
TEST_F(TrueType, DrawsIntoEveryPixelFormat) {
    cxOsFont *f = Open("Bitstream Vera Sans", 24);
    Ref(kVera, f);
    const Picture cov = Expected(RefGlyph('g', CX_FONTSTYLE_ANTIALIAS), 32, 32, 4, 2, f->baseline);
    const Picture bits = Expected(RefGlyph('g', 0), 32, 32, 4, 2, f->baseline);
    for (uint32_t format = 0; format < CX_PIXFMT_COUNT; ++format) {
        for (uint32_t style : {uint32_t(CX_FONTSTYLE_ANTIALIAS), 0u}) {
            const uint32_t saved = OsGetPixelFormat();
            OsSetPixelFormat(format);
            cxBitmap *bm = AllocBitmap(32, 32, 0, 0);
            OsSetPixelFormat(saved);
            cxOsBitmapLock l{};
            ASSERT_TRUE(LockBitmap(bm, 0, &l));
            const uint8_t white[4] = {255, 255, 255, 255};
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) PackPixel(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, format, white);
            ASSERT_EQ(DrawFontText(f, bm, nullptr, 4, 2, "g", 1, style, 0, nullptr, 0x000000), 0);
            const Picture &want = style ? cov : bits;
            const uint8_t full = style ? 255 : 1;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    uint8_t rgba[4];
                    UnpackPixel(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel, format, rgba);
                    if (want[y][x] == 0) {
                        EXPECT_GE(rgba[0], 248) << format << " " << x << "," << y;
                        if (GetBytesPerPixel(format) == 4) {
                            EXPECT_EQ(rgba[3], 255) << format;
                        }
                    } else if (want[y][x] == full) {
                        EXPECT_EQ(rgba[0] | rgba[1] | rgba[2], 0) << format << " " << x << "," << y;
                    }
                }
            UnlockBitmap(&l);
            FreeBitmap(bm);
        }
    }
}

TEST_F(TrueType, AdvancesEqualFreeTypesWithKerning) {
    const std::string text = "AVATAR Wave, To! jy";
    for (const std::string &file : {kVera, kDejaVu, kFreeSansCff, kLiberation}) {
        for (int32_t size : {12, 20}) {
            cxOsFont *f = Open(file, size);
            Ref(file, f);
            cxTextExtent e;
            ASSERT_EQ(FontTextExtent(f, text.data(), text.size(), CX_FONTSTYLE_ANTIALIAS, 0, &e), 0);
            EXPECT_EQ(e.advance, RefAdvance(text)) << file << " " << size;
            EXPECT_EQ(e.height, size);
        }
    }
}

TEST_F(TrueType, KerningPairsOfVera) {
    cxOsFont *f = Open("Bitstream Vera Sans", 40);
    Ref(kVera, f);
    const int32_t k = GetFontKerning(f, "AV", 2, 0);
    EXPECT_LT(k, 0);
    EXPECT_EQ(k, RefKerning('A', 'V'));
    EXPECT_EQ(GetFontKerning(f, "A", 1, 0), 0);
    EXPECT_EQ(GetFontKerning(f, "AVA", 3, 0), 0);
    EXPECT_EQ(GetFontKerning(f, "\xC3\x84V", 3, 1), RefKerning(char(0xC4), 'V'));
    // Drawn as a pair, V sits the kerning closer than after A alone.
    Canvas pair(120, 50, 0xFFFFFF), apart(120, 50, 0xFFFFFF);
    DrawFontText(f, pair.bitmap(), nullptr, 10, 2, "AV", 2, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0);
    cxTextExtent a;
    FontTextExtent(f, "A", 1, CX_FONTSTYLE_ANTIALIAS, 0, &a);
    DrawFontText(f, apart.bitmap(), nullptr, 10, 2, "A", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0);
    DrawFontText(f, apart.bitmap(), nullptr, 10 + a.advance + k, 2, "V", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0);
    EXPECT_EQ(pair.Ink(0xFFFFFF), apart.Ink(0xFFFFFF));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(pair.At(x, y), apart.At(x, y)) << x << "," << y;
}

TEST_F(TrueType, OnlyPlainLatin1GlyphsAreCached) {
    cxOsFont *f = Open("Bitstream Vera Sans", 16);
    auto *e = static_cast<cxTrueTypeFont *>(f->engineData);
    cxTextExtent x;
    FontTextExtent(f, "a", 1, CX_FONTSTYLE_ANTIALIAS | CX_FONTSTYLE_BOLD, 0, &x);
    FontTextExtent(f, "b", 1, CX_FONTSTYLE_ANTIALIAS | CX_FONTSTYLE_ITALIC, 0, &x);
    FontTextExtent(f, "\xE2\x82\xAC", 3, CX_FONTSTYLE_ANTIALIAS, 1, &x);
    EXPECT_EQ(e->cache[1]['a'].buffer, nullptr);
    EXPECT_EQ(e->cache[1]['b'].buffer, nullptr);
    FontTextExtent(f, "c", 1, CX_FONTSTYLE_ANTIALIAS, 0, &x);
    FontTextExtent(f, "d", 1, 0, 0, &x);
    EXPECT_NE(e->cache[1]['c'].buffer, nullptr);
    EXPECT_EQ(e->cache[0]['c'].buffer, nullptr);
    EXPECT_NE(e->cache[0]['d'].buffer, nullptr);
    FlushFontGlyphCache(f);
    EXPECT_EQ(e->cache[1]['c'].buffer, nullptr);
    // Without the glyph-cache flag nothing is kept.
    cxOsFont *u = nullptr;
    ASSERT_EQ(OpenPlatformFont("Bitstream Vera Sans", 16, CX_FONT_TRUETYPE, 0, 0, 0, &u), 0);
    FontTextExtent(u, "c", 1, CX_FONTSTYLE_ANTIALIAS, 0, &x);
    EXPECT_EQ(static_cast<cxTrueTypeFont *>(u->engineData)->cache[1]['c'].buffer, nullptr);
    OsCloseFont(u);
}

TEST_F(TrueType, ScaleDoublesWidthsAndKeepsTheHeight) {
    cxOsFont *f = Open("Bitstream Vera Sans", 20);
    const std::string text = "Hello";
    cxTextExtent plain, wide;
    FontTextExtent(f, text.data(), text.size(), CX_FONTSTYLE_ANTIALIAS, 0, &plain);
    SetFontScale(f, 2.0, 1.0);
    EXPECT_EQ(f->height, 20);
    FontTextExtent(f, text.data(), text.size(), CX_FONTSTYLE_ANTIALIAS, 0, &wide);
    EXPECT_EQ(wide.advance, 2 * plain.advance);
    EXPECT_EQ(wide.height, 20);
    EXPECT_NEAR(wide.maxX - wide.minX, 2 * (plain.maxX - plain.minX), 3);
    EXPECT_NEAR(wide.maxY - wide.minY, plain.maxY - plain.minY, 1);
    // Height scales, rounded up, and the glyphs grow with it.
    SetFontScale(f, 1.0, 1.5);
    EXPECT_EQ(f->height, 30);
    FontTextExtent(f, text.data(), text.size(), CX_FONTSTYLE_ANTIALIAS, 0, &wide);
    EXPECT_EQ(wide.advance, plain.advance);
    EXPECT_GT(wide.maxY - wide.minY, plain.maxY - plain.minY + 3);
    // Bitmap fonts do not scale.
    cxOsFont *topaz = GetTopazFont();
    SetFontScale(topaz, 2.0, 2.0);
    EXPECT_EQ(topaz->height, 8);
}

TEST_F(TrueType, Utf8TextReachesTheEngineAsCodePoints) {
    cxOsFont *f = Open("Bitstream Vera Sans", 20);
    Canvas utf8(60, 30, 0xFFFFFF), latin1(60, 30, 0xFFFFFF), invalid(60, 30, 0xFFFFFF);
    DrawFontText(f, utf8.bitmap(), nullptr, 2, 2, "\xC3\x84", 2, CX_FONTSTYLE_ANTIALIAS, 1, nullptr, 0);
    DrawFontText(f, latin1.bitmap(), nullptr, 2, 2, "\xC4", 1, CX_FONTSTYLE_ANTIALIAS, 0, nullptr, 0);
    // Not UTF-8: drawn byte by byte, 0xC4 being the same A with diaeresis.
    DrawFontText(f, invalid.bitmap(), nullptr, 2, 2, "\xC4", 1, CX_FONTSTYLE_ANTIALIAS, 1, nullptr, 0);
    EXPECT_EQ(utf8.Ink(0xFFFFFF), latin1.Ink(0xFFFFFF));
    EXPECT_EQ(invalid.Ink(0xFFFFFF), latin1.Ink(0xFFFFFF));
    EXPECT_NE(latin1.InkBox(0xFFFFFF)[0], -1);
    // A code above 255 is FreeType's glyph for it.
    Ref(kVera, f);
    cxBitmap *alpha = AllocAlphaChannel(60, 30, 1, nullptr, 0);
    DrawFontText(f, alpha, nullptr, 2, 2, "\xE2\x82\xAC", 3, CX_FONTSTYLE_ANTIALIAS, 1, nullptr, -1);
    EXPECT_EQ(AlphaPicture(alpha), Expected(RefGlyph(0x20AC, CX_FONTSTYLE_ANTIALIAS), 60, 30, 2, 2, f->baseline));
    FreeAlphaChannel(alpha);
}

TEST_F(TrueType, ExtentInkBox) {
    cxOsFont *f = Open("Bitstream Vera Sans", 20);
    Ref(kVera, f);
    cxTextExtent e;
    ASSERT_EQ(FontTextExtent(f, "  ", 2, CX_FONTSTYLE_ANTIALIAS, 0, &e), 0);
    EXPECT_GT(e.advance, 0);
    EXPECT_EQ(e.minX, 0);
    EXPECT_EQ(e.maxX, 0);
    EXPECT_EQ(e.minY, 0);
    EXPECT_EQ(e.maxY, 0);
    ASSERT_EQ(FontTextExtent(f, " g", 2, CX_FONTSTYLE_ANTIALIAS, 0, &e), 0);
    FT_GlyphSlot space = RefGlyph(' ', CX_FONTSTYLE_ANTIALIAS);
    const int32_t pen = int32_t(space->metrics.horiAdvance / 64);
    FT_GlyphSlot g = RefGlyph('g', CX_FONTSTYLE_ANTIALIAS);
    EXPECT_EQ(e.minX, pen + g->bitmap_left);
    EXPECT_EQ(e.maxX, pen + g->bitmap_left + int32_t(g->bitmap.width));
    EXPECT_EQ(e.minY, -g->bitmap_top);
    EXPECT_EQ(e.maxY, int32_t(g->bitmap.rows) - g->bitmap_top);
}

TEST_F(TrueType, PointSizes) {
    cxOsFont *f = Open(kDejaVu, 12, 1);
    ASSERT_NE(f, nullptr);
    FT_Face r = nullptr;
    ASSERT_EQ(FT_New_Face(ref_, kDejaVu.c_str(), 0, &r), 0);
    FT_Set_Char_Size(r, 12 * 64, 0, 72, 72);
    EXPECT_EQ(f->height, int32_t((FT_MulFix(r->height, r->size->metrics.y_scale) + 32) / 64));
    EXPECT_EQ(f->baseline, int32_t((FT_MulFix(r->ascender, r->size->metrics.y_scale) + 32) / 64));
    EXPECT_EQ(GetFreeTypeFace(f)->size->metrics.x_ppem, 12);
    FT_Done_Face(r);
}

TEST_F(TrueType, FacesByFullNameFromTheCatalogue) {
    cxOsFont *f = Open("DejaVu Sans Bold", 16);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "DejaVu Sans Bold");
    cxOsFont *g = Open("freesans", 16); // a regular face also by its family
    ASSERT_NE(g, nullptr);
    EXPECT_STREQ(g->name, "FreeSans");
}

TEST_F(TrueType, DamagedFontFilesGiveOpenFont) {
    TempDir dir;
    const std::vector<uint8_t> vera = fontfix::ReadFile(kVera);
    fontfix::WriteFile(dir / "cut.ttf", std::vector<uint8_t>(vera.begin(), vera.begin() + 2000));
    fontfix::WriteFile(dir / "cut2.ttf", std::vector<uint8_t>(vera.begin(), vera.begin() + 40000));
    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 2654435761u >> 13);
    fontfix::WriteFile(dir / "garbage.ttf", garbage);
    fontfix::WriteFile(dir / "empty.otf", {});
    for (const char *name : {"cut.ttf", "cut2.ttf", "garbage.ttf", "empty.otf", "missing.ttf"}) {
        cxOsFont *f = nullptr;
        const std::string path = dir / name;
        EXPECT_EQ(OpenPlatformFont(path.c_str(), 20, CX_FONT_CHOOSE, 1, 0, 0, &f), ERR_OPENFONT) << name;
        EXPECT_EQ(std::string(GetErrorDetail()), "Cannot open font " + path + " with size 20!");
    }
    cxOsFont *f = nullptr;
    EXPECT_EQ(OpenPlatformFont("No Such Family", 20, CX_FONT_TRUETYPE, 1, 0, 0, &f), ERR_OPENFONT);
}

TEST_F(TrueType, LinkedFontsSkipTheirHeader) {
    TempDir dir;
    const std::vector<uint8_t> vera = fontfix::ReadFile(kVera);
    struct Linked {
        std::vector<uint8_t> header;
    };
    for (const Linked &l : {Linked{{0, 0, 0, 2}}, Linked{{0, 0, 0, 6, 0, 0, 0, 3, 'x', 'y', 'z'}}}) {
        std::vector<uint8_t> file(100, 0xEE); // the window starts inside the file
        file.insert(file.end(), l.header.begin(), l.header.end());
        file.insert(file.end(), vera.begin(), vera.end());
        fontfix::WriteFile(dir / "applet", file);
        char name[1100];
        ASSERT_EQ(MakeChunkName("vera.ttf", name, sizeof name, 100, uint32_t(file.size() - 100), 0,
                                (dir / "applet").c_str()),
                  1);
        cxOsFont *f = nullptr;
        ASSERT_EQ(OpenPlatformFont(name, 16, CX_FONT_CHOOSE, 1, 0, 1, &f), 0);
        EXPECT_EQ(f->kind, uint32_t(CX_FONT_TRUETYPE));
        EXPECT_STREQ(f->name, "Bitstream Vera Sans");
        cxTextExtent e;
        EXPECT_EQ(FontTextExtent(f, "Hi", 2, CX_FONTSTYLE_ANTIALIAS, 0, &e), 0);
        EXPECT_GT(e.advance, 10);
        OsCloseFont(f);
    }
    // A window too short for its header.
    fontfix::WriteFile(dir / "short", {0, 0, 0, 6, 0, 0});
    char name[1100];
    MakeChunkName("x.ttf", name, sizeof name, 0, 6, 0, (dir / "short").c_str());
    cxOsFont *f = nullptr;
    EXPECT_EQ(OpenPlatformFont(name, 16, CX_FONT_CHOOSE, 1, 0, 1, &f), ERR_READ);
    MakeChunkName("x.ttf", name, sizeof name, 0, 6, 0, (dir / "none").c_str());
    EXPECT_EQ(OpenPlatformFont(name, 16, CX_FONT_CHOOSE, 1, 0, 1, &f), ERR_READFILE);
}

TEST_F(TrueType, BitmapFontOfAnotherSizeFallsBackToTheFamily) {
    // A contents file in the folder Fonts listing only size 11; the folder
    // is the current one's, as beside an applet.
    TempDir dir;
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(mkdir((dir / "Fonts").c_str(), 0755), 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    fontfix::WriteFile("Fonts/DejaVu Sans4", fontfix::SizeFile({}));
    fontfix::WriteFile("Fonts/DejaVu Sans.font", fontfix::ContentsFile({{"DejaVu Sans4", 11}}));
    cxOsFont *f = nullptr;
    ASSERT_EQ(OpenPlatformFont("DejaVu Sans", 11, CX_FONT_CHOOSE, 1, 0, 0, &f), 0);
    EXPECT_EQ(f->kind, uint32_t(CX_FONT_BITMAP));
    OsCloseFont(f);
    ASSERT_EQ(OpenPlatformFont("DejaVu Sans", 13, CX_FONT_CHOOSE, 1, 0, 0, &f), 0);
    EXPECT_EQ(f->kind, uint32_t(CX_FONT_TRUETYPE));
    EXPECT_EQ(f->height, 13);
    OsCloseFont(f);
    ASSERT_EQ(chdir(saved), 0);
}

} // namespace
