#include "text/fonts/bitmap_font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "tests/text/fonts/font_fixtures.h"
#include "text/fonts/font.h"

using fontfix::Canvas;
using fontfix::TempDir;
using fontfix::TestFont;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kInk = 0x102030;

class BitmapFonts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(StartFontEngines(&topaz_), 0);
        ClearFontPaths();
    }
    void TearDown() override {
        ClearFontPaths();
        StopFontEngines();
    }
    // Writes dir/name.font listing size 4 (and the given extra sizes) with
    // the test font as its size file.
    std::string Install(const TestFont &t, const std::string &name = "test") {
        fontfix::WriteFile(dir_ / (name + "4"), fontfix::SizeFile(t));
        fontfix::WriteFile(dir_ / (name + ".font"), fontfix::ContentsFile({{"::incomplete", 4}, {name + "4", 4}}));
        return dir_ / name;
    }
    cxOsFont *Load(const TestFont &t) {
        auto *f = static_cast<cxOsFont *>(calloc(1, sizeof(cxOsFont)));
        f->scaleX = f->scaleY = 1;
        EXPECT_EQ(LoadBitmapFont(Install(t).c_str(), 4, f, "test"), 1);
        return f;
    }
    cxOsFont *topaz_ = nullptr;
    TempDir dir_;
};

TEST_F(BitmapFonts, TopazMetrics) {
    ASSERT_NE(topaz_, nullptr);
    EXPECT_STREQ(topaz_->name, "topaz");
    EXPECT_EQ(topaz_->kind, uint32_t(CX_FONT_BITMAP));
    EXPECT_EQ(topaz_->size, 8);
    EXPECT_EQ(topaz_->height, 8);
    EXPECT_EQ(topaz_->baseline, 6);
    const auto *d = static_cast<const cxBitmapFontDesc *>(topaz_->engineData);
    EXPECT_EQ(d->modulo, 188);
    EXPECT_EQ(d->loChar, 32);
    EXPECT_EQ(d->hiChar, 255);
    EXPECT_EQ(d->glyphCount, 225u);
    EXPECT_EQ(d->flags, 0x40);
    EXPECT_EQ(d->boldSmear, 1);
    EXPECT_EQ(d->spacing, nullptr);
    EXPECT_EQ(d->kerning, nullptr);
    // Every glyph lies inside the strip.
    for (uint32_t i = 0; i < d->glyphCount; ++i)
        EXPECT_LE((d->locations[i] >> 16) + (d->locations[i] & 0xFFFF), 188u * 8) << i;

    cxTextExtent e;
    ASSERT_EQ(FontTextExtent(nullptr, "AB", 2, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 16);
    EXPECT_EQ(e.height, 8);
    EXPECT_EQ(e.minX, 0);
    EXPECT_EQ(e.maxX, 15);
    EXPECT_EQ(e.minY, -6);
    EXPECT_EQ(e.maxY, 1);
    ASSERT_EQ(FontTextExtent(nullptr, "", 0, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 0);
    EXPECT_EQ(e.maxX, -1);
}

TEST_F(BitmapFonts, TopazDrawsEightPixelCells) {
    const auto *d = static_cast<const cxBitmapFontDesc *>(topaz_->engineData);
    EXPECT_EQ(d->locations['A' - 32] & 0xFFFF, 8u);
    Canvas one(40, 12, kWhite), two(40, 12, kWhite);
    ASSERT_EQ(DrawFontText(nullptr, one.bitmap(), nullptr, 3, 2, "A", 1, 0, 0, nullptr, kInk), 0);
    const auto box = one.InkBox(kWhite);
    EXPECT_GE(box[0], 3);
    EXPECT_LE(box[2], 10);
    EXPECT_GE(box[1], 2);
    EXPECT_LE(box[3], 9);
    // The second A is the first moved by 8 pixels.
    ASSERT_EQ(DrawFontText(topaz_, two.bitmap(), nullptr, 3, 2, "AA", 2, 0, 0, nullptr, kInk), 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(two.At(3 + x, y), one.At(3 + x, y));
            EXPECT_EQ(two.At(11 + x, y), one.At(3 + x, y));
        }
}

TEST_F(BitmapFonts, TopazMissingGlyphAndSharedCells) {
    const auto *d = static_cast<const cxBitmapFontDesc *>(topaz_->engineData);
    // Codes below the lowest character use the last entry.
    EXPECT_EQ(BitmapGlyphIndex(d, 0x01), 224u);
    EXPECT_EQ(BitmapGlyphIndex(d, 'A'), uint32_t('A' - 32));
    Canvas below(8, 8, kWhite), missing(8, 8, kWhite);
    DrawFontText(topaz_, below.bitmap(), nullptr, 0, 0, "\x01", 1, 0, 0, nullptr, kInk);
    DrawFontText(topaz_, missing.bitmap(), nullptr, 0, 0, "\x7f", 1, 0, 0, nullptr, kInk);
    EXPECT_EQ(below.Ink(kWhite), missing.Ink(kWhite));
    EXPECT_NE(below.InkBox(kWhite)[0], -1);
    // The space draws nothing and still advances.
    Canvas space(16, 8, kWhite);
    DrawFontText(topaz_, space.bitmap(), nullptr, 0, 0, " ", 1, 0, 0, nullptr, kInk);
    EXPECT_EQ(space.InkBox(kWhite)[0], -1);
}

TEST_F(BitmapFonts, Utf8TextIsDrawnInLatin1) {
    Canvas utf8(8, 8, kWhite), latin1(8, 8, kWhite);
    DrawFontText(topaz_, utf8.bitmap(), nullptr, 0, 0, "\xC3\x84", 2, 0, 1, nullptr, kInk);
    DrawFontText(topaz_, latin1.bitmap(), nullptr, 0, 0, "\xC4", 1, 0, 0, nullptr, kInk);
    EXPECT_EQ(utf8.Ink(kWhite), latin1.Ink(kWhite));
    cxTextExtent e;
    FontTextExtent(topaz_, "\xC3\x84", 2, 0, 1, &e);
    EXPECT_EQ(e.advance, 8);
}

TEST_F(BitmapFonts, LoadsSizeFileFields) {
    cxOsFont *f = Load({});
    const auto *d = static_cast<const cxBitmapFontDesc *>(f->engineData);
    EXPECT_EQ(f->kind, uint32_t(CX_FONT_BITMAP));
    EXPECT_EQ(f->height, 4);
    EXPECT_EQ(f->baseline, 3);
    EXPECT_EQ(f->size, 4);
    EXPECT_STREQ(f->name, "test");
    EXPECT_EQ(d->glyphCount, 4u);
    EXPECT_EQ(d->locations[1], (3u << 16) | 4u);
    EXPECT_EQ(d->spacing[3], 6);
    EXPECT_EQ(d->kerning[2], -1);
    ASSERT_NE(d->glyphMask, nullptr);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, ProportionalDrawingWithKerningAndMissingGlyph) {
    cxOsFont *f = Load({});
    Canvas c(40, 4, kWhite);
    // A at 0 (3 wide), B kerned +1 after spacing 4 -> 5, C kerned -1 after
    // spacing 5 -> 9, Z (the missing glyph, 5 wide) after spacing 3 -> 12.
    ASSERT_EQ(DrawFontText(f, c.bitmap(), nullptr, 0, 0, "ABCZ", 4, 0, 0, nullptr, kInk), 0);
    EXPECT_EQ(c.Ink(kWhite), (std::vector<std::string>{
                                 "###..######.#####.......................",
                                 "###......##.#####.......................",
                                 "###......##.#####.......................",
                                 "###..######.#####.......................",
                             }));
    cxTextExtent e;
    ASSERT_EQ(FontTextExtent(f, "ABCZ", 4, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 18);
    EXPECT_EQ(e.minX, 0);
    EXPECT_EQ(e.maxX, 17);
    EXPECT_EQ(e.minY, -3);
    EXPECT_EQ(e.maxY, 0);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, ExtentOfPenMovingLeft) {
    // C's kerning of -1 moves the pen before the text's start.
    cxOsFont *f = Load({});
    cxTextExtent e;
    ASSERT_EQ(FontTextExtent(f, "C", 1, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 2);
    EXPECT_EQ(e.minX, -1);
    EXPECT_EQ(e.maxX, 1);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, MonospacedWithoutTables) {
    TestFont t;
    t.proportional = t.spacing = t.kerning = false;
    cxOsFont *f = Load(t);
    cxTextExtent e;
    ASSERT_EQ(FontTextExtent(f, "AAB", 3, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 18);
    EXPECT_EQ(e.maxX, 17);
    Canvas c(20, 4, kWhite);
    DrawFontText(f, c.bitmap(), nullptr, 0, 0, "AB", 2, 0, 0, nullptr, kInk);
    EXPECT_EQ(c.Ink(kWhite)[1], "###.................");
    EXPECT_EQ(c.Ink(kWhite)[0], "###...####..........");
    OsCloseFont(f);
}

TEST_F(BitmapFonts, ClipCutsGlyphsAtTheRightPlace) {
    cxOsFont *f = Load({});
    Canvas full(20, 4, kWhite), clipped(20, 4, kWhite);
    DrawFontText(f, full.bitmap(), nullptr, 2, 0, "AB", 2, 0, 0, nullptr, kInk);
    // A clip from x 3 to 8 and rows 1 to 3 keeps the right part of A and the
    // left half of B where they were.
    const cxClipRect clip{3, 1, 5, 3};
    DrawFontText(f, clipped.bitmap(), nullptr, 2, 0, "AB", 2, 0, 0, &clip, kInk);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 3 && x < 8 && y >= 1 && y < 4;
            EXPECT_EQ(clipped.At(x, y), inside ? full.At(x, y) : kWhite) << x << "," << y;
        }
    // Text far outside the target and a clip larger than the target are safe.
    const cxClipRect huge{-100, -100, 1000, 1000};
    DrawFontText(f, clipped.bitmap(), nullptr, -3, -2, "ABCABC", 6, 0, 0, &huge, kInk);
    DrawFontText(f, clipped.bitmap(), nullptr, 1 << 30, 1 << 30, "ABC", 3, 0, 0, nullptr, kInk);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, MaskTargetsGetTheGlyphBits) {
    cxOsFont *f = Load({});
    cxBitmap *mask = AllocMask(nullptr, 16, 4, 1, nullptr, 0);
    ASSERT_EQ(DrawFontText(f, mask, nullptr, 1, 0, "B", 1, 0, 0, nullptr, -1), 0);
    cxOsBitmapLock l{};
    ASSERT_TRUE(LockBitmap(mask, 0, &l));
    // B's four columns, rows 0 and 3 only, at 1 + its kerning of 1.
    EXPECT_EQ(l.pixels[0], 0x3C);
    EXPECT_EQ(l.pixels[l.rowLength], 0x00);
    EXPECT_EQ(l.pixels[3 * l.rowLength], 0x3C);
    UnlockBitmap(&l);
    FreeMask(mask);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, ColourFontKeepsColourZeroTransparent) {
    TestFont t;
    t.colour = true;
    cxOsFont *f = Load(t);
    ASSERT_EQ(f->kind, uint32_t(CX_FONT_COLOUR));
    ASSERT_NE(f->glyphBitmap, nullptr);
    Canvas c(8, 4, kWhite);
    // A: columns 0-2 with plane 0 set; plane 1 is clear there: colour 1.
    // Columns 3-7 of the strip are B; row 1 of B is colour 2 in columns
    // 3-6 (plane 1 only) except where plane 0 is set.
    ASSERT_EQ(DrawFontText(f, c.bitmap(), nullptr, 0, 0, "AB", 2, 0, 0, nullptr, kInk), 0);
    EXPECT_EQ(c.At(0, 0), 0x00FF00u);
    EXPECT_EQ(c.At(2, 1), 0x00FF00u);
    // B at pen 5: its strip columns 3-6. Rows 1-2 of strip columns 3-6:
    // plane 0 clear, plane 1 set for columns 8-15 only: colour 0 there ->
    // transparent, whatever the red the table gives colour 0.
    EXPECT_EQ(c.At(5, 1), kWhite);
    EXPECT_EQ(c.At(5, 0), 0x00FF00u);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, DeferredColourFontKeepsPixelsUntilBuilt) {
    TestFont t;
    t.colour = true;
    SetDeferFontBitmaps(1);
    cxOsFont *f = Load(t);
    SetDeferFontBitmaps(0);
    EXPECT_EQ(f->glyphBitmap, nullptr);
    ASSERT_NE(f->pendingPixels, nullptr);
    EXPECT_EQ(f->pendingWidth, 16);
    EXPECT_EQ(f->pendingHeight, 4);
    // Column 0 of row 0 is colour 1; column 3 of row 1 is colour 0, kept as
    // the key colour that stands for transparent.
    EXPECT_EQ(f->pendingPixels[0] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(f->pendingPixels[16 + 3] & 0xFFFFFF, 0xEEE6D2u);
    ASSERT_EQ(BuildPendingFontBitmap(f), 0);
    EXPECT_EQ(f->pendingPixels, nullptr);
    EXPECT_NE(f->glyphBitmap, nullptr);
    OsCloseFont(f);
}

TEST_F(BitmapFonts, FindFontFileSearchOrder) {
    char path[1024];
    EXPECT_EQ(FindFontFile("/abs/olute", path, sizeof path), 0);
    EXPECT_EQ(FindFontFile("nowhere", path, sizeof path), 0);
    TempDir first, second;
    fontfix::WriteFile(second / "same.font", fontfix::ContentsFile({}));
    AddFontPath(first.path().c_str());
    AddFontPath(second.path().c_str());
    ASSERT_EQ(FindFontFile("same", path, sizeof path), 1);
    EXPECT_EQ(std::string(path), second / "same.font");
    fontfix::WriteFile(first / "same.font", fontfix::ContentsFile({}));
    ASSERT_EQ(FindFontFile("same.Font", path, sizeof path), 0); // the suffix is not added twice
    ASSERT_EQ(FindFontFile("same.font", path, sizeof path), 1);
    EXPECT_EQ(std::string(path), first / "same.font");
}

TEST_F(BitmapFonts, OpenPlatformFontChoosesTheEngine) {
    cxOsFont *f = nullptr;
    // Topaz at size 8, in any case, is the built-in font.
    ASSERT_EQ(OpenPlatformFont("TOPAZ", 8, CX_FONT_CHOOSE, 1, 0, 0, &f), 0);
    EXPECT_EQ(f, topaz_);
    OsCloseFont(f); // never frees the built-in font
    EXPECT_STREQ(topaz_->name, "topaz");
    // Topaz at size 9 is searched for as a file.
    Install({}, "topaz");
    fontfix::WriteFile(dir_ / "topaz.font", fontfix::ContentsFile({{"topaz4", 9}}));
    AddFontPath(dir_.path().c_str());
    ASSERT_EQ(OpenPlatformFont("topaz", 9, CX_FONT_CHOOSE, 1, 0, 0, &f), 0);
    EXPECT_NE(f, topaz_);
    EXPECT_EQ(f->kind, uint32_t(CX_FONT_BITMAP));
    EXPECT_STREQ(f->name, "topaz");
    OsCloseFont(f);
}

TEST_F(BitmapFonts, FailuresGiveOpenFontWithTheDetail) {
    Install({});
    AddFontPath(dir_.path().c_str());
    cxOsFont *f = nullptr;
    // Use-points never loads a bitmap font; no TrueType face has the name.
    EXPECT_EQ(OpenPlatformFont("test", 4, CX_FONT_CHOOSE, 1, 1, 0, &f), ERR_OPENFONT);
    EXPECT_STREQ(GetErrorDetail(), "Cannot open font test with size 4!");
    EXPECT_EQ(OpenPlatformFont("test", 5, CX_FONT_CHOOSE, 1, 0, 0, &f), ERR_OPENFONT);
    EXPECT_EQ(OpenPlatformFont("test", 4, 7, 1, 0, 0, &f), ERR_OPENFONT);
    ASSERT_EQ(OpenPlatformFont("test", 4, CX_FONT_CHOOSE, 1, 0, 0, &f), 0);
    OsCloseFont(f);
}

// Damaged files: every one fails without a leak (the sanitizer run checks).
TEST_F(BitmapFonts, DamagedFilesFail) {
    const std::vector<uint8_t> good = fontfix::SizeFile({});
    std::vector<std::vector<uint8_t>> bad;
    for (size_t cut : {size_t(0), size_t(40), size_t(51), size_t(120), size_t(141), size_t(205), good.size() - 1}) bad.emplace_back(good.begin(), good.begin() + cut);
    auto patched = [&](size_t at, std::vector<uint8_t> v) {
        std::vector<uint8_t> b = good;
        std::copy(v.begin(), v.end(), b.begin() + ptrdiff_t(at));
        bad.push_back(b);
    };
    patched(50, {0x0F, 0x81});              // wrong id
    patched(128, {0xFF, 0xFF});             // modulo beyond the file
    patched(110, {0xFF, 0xFF});             // y size beyond the file
    patched(122, {'C', 'A'});               // lowest above highest
    patched(124, {0x7F, 0, 0, 0});          // strip outside the file
    patched(130, {0xFF, 0xFF, 0xFF, 0xF0}); // location table outside
    patched(200 + 8 + 4, {0x00, 0x10});     // a glyph reaching past the strip
    bad.push_back(std::vector<uint8_t>(300, 0xA5));
    for (size_t i = 0; i < bad.size(); ++i) {
        fontfix::WriteFile(dir_ / "bad4", bad[i]);
        fontfix::WriteFile(dir_ / "bad.font", fontfix::ContentsFile({{"bad4", 4}}));
        cxOsFont f{};
        EXPECT_EQ(LoadBitmapFont((dir_ / "bad").c_str(), 4, &f, nullptr), 0) << i;
        EXPECT_EQ(f.engineData, nullptr);
    }
    // Contents files: wrong id, outline fonts, cut entries.
    for (const auto &contents : {fontfix::ContentsFile({{"bad4", 4}}, 0x0F03), std::vector<uint8_t>{0x0F, 0x00, 0, 5},
                                 std::vector<uint8_t>{0x0F}}) {
        fontfix::WriteFile(dir_ / "bad.font", contents);
        cxOsFont f{};
        EXPECT_EQ(LoadBitmapFont((dir_ / "bad").c_str(), 4, &f, nullptr), 0);
    }
}

} // namespace
