// The layout engine on the built-in topaz font (8 x 8 pixels a character,
// baseline 6): tags, wrapping, tabs, alignment and the image of a layout.
#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "text/layout/layout.h"

#include <cstring>

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(StartFontEngines(&topaz), 0);
        rec = cxTextRecord{};
        rec.style = {CX_TEXT_NORMAL, 0xFFFFFF, 0, 0x0093DD, 4, 3, 2, topaz};
        rec.align = CX_ALIGN_LEFT;
    }
    int Lay(const char *text, int mode = CX_RENDER_DRAW, int tagsOff = 0) {
        rec.text = const_cast<char *>(text);
        return LayoutText(nullptr, rec, mode, tagsOff, l);
    }
    std::string RunText(size_t i) { return std::string(l.runs[i].text, l.runs[i].length); }
    std::string All() {
        std::string s;
        for (size_t i = 0; i < l.runs.size(); ++i) s += (i ? "|" : "") + RunText(i);
        return s;
    }
    cxOsFont *topaz = nullptr;
    cxTextRecord rec{};
    cxTextLayout l;
};

TEST_F(Layout, TagErrorsCarryTheirCodes) {
    const struct {
        const char *text;
        int code;
    } cases[] = {
        {"[[b]]", 0},
        {"a]b", ERR_TEXTSYNTAX},
        {"[color=$FF0000]x[/color][/color]", ERR_TEXTSYNTAX},
        {"[shadow=$FF,100]x", ERR_WRONGUSAGE},
        {"[shadow=$FF,64,9]x", 0},
        {"[edge=$FF,9]x", ERR_WRONGUSAGE},
        {"[edge=$FF,0]x", ERR_WRONGUSAGE},
        {"[x]y", ERR_UNKTEXTFMT},
        {"[bold]y", ERR_UNKTEXTFMT},
        {"[bx]y", ERR_UNKTEXTFMT},
        {"abc [b", ERR_SQBRACKETCLOSE},
        {"[b x", ERR_SQBRACKETCLOSE},
        {"[color]x", ERR_TEXTARG},
        {"[color=\"red\"]x", ERR_VALUEEXPECTED},
        {"[color=#NOSUCH]x", ERR_FINDCST},
        {"[color=$]x", ERR_SYNTAXERROR},
        {"[ B ][ / b ][ Color = %101 ]x[/COLOR]", 0},
        {"[color=1,]x", ERR_SQBRACKETCLOSE},
        {"[shadow]a[/shadow][edge]b[/edge][u]c[/u][i]d[/i]", 0},
    };
    for (const auto &c : cases) EXPECT_EQ(Lay(c.text), c.code) << c.text;
}

TEST_F(Layout, BracketsDoubledOrTakenLiterally) {
    ASSERT_EQ(Lay("[[b]]"), 0);
    EXPECT_EQ(All(), "[b]");
    ASSERT_EQ(Lay("a]b [[x", CX_RENDER_DRAW, 1), 0);
    EXPECT_EQ(All(), "a]b |[x");
}

TEST_F(Layout, ColourTagsNestAndRestore) {
    ASSERT_EQ(Lay("[color=$FF0000]red [color=$00FF00]green[/color] red2[/color] white"), 0);
    ASSERT_EQ(All(), "red |green| red2| white");
    EXPECT_EQ(l.runs[0].style.colour, 0xFF0000u);
    EXPECT_EQ(l.runs[1].style.colour, 0x00FF00u);
    EXPECT_EQ(l.runs[2].style.colour, 0xFF0000u);
    EXPECT_EQ(l.runs[3].style.colour, 0xFFFFFFu);
    EXPECT_EQ(l.runs[1].x, 32);
    EXPECT_FALSE(l.runs[2].startsWord);
}

TEST_F(Layout, EdgeTagWithAColourOnlyKeepsTheSize) {
    rec.style.edgeSize = 5;
    ASSERT_EQ(Lay("[edge=$FF]x"), 0);
    EXPECT_EQ(l.runs[0].style.edgeSize, 5);
    EXPECT_EQ(l.runs[0].style.edgeColour, 0xFFu);
    EXPECT_EQ(l.runs[0].extent.left, 5);
}

TEST_F(Layout, WordsWrapAtTheWrapWidthAndLongWordsStayWhole) {
    rec.rightMargin = 60;
    ASSERT_EQ(Lay("aaa bbb ccc"), 0);
    ASSERT_EQ(l.runs.size(), 3u);
    EXPECT_EQ(l.runs[1].x, 32);
    EXPECT_EQ(l.runs[2].x, 0);
    EXPECT_EQ(l.runs[2].y, 8);
    EXPECT_EQ(l.lineBreaks, std::vector<int32_t>{2});

    rec.rightMargin = 40;
    ASSERT_EQ(Lay("abcdefghijkl mn"), 0);
    EXPECT_EQ(l.runs[0].y, 0);
    EXPECT_EQ(l.runs[0].length, 13u);
    EXPECT_EQ(l.runs[1].y, 8);
    EXPECT_EQ(l.runs[1].x, 0);
}

TEST_F(Layout, StoredLineBreaksAreFollowed) {
    const int32_t breaks[] = {1, 3};
    rec.lineBreaks = const_cast<int32_t *>(breaks);
    rec.lineBreakCount = 2;
    ASSERT_EQ(Lay("a b c d"), 0);
    ASSERT_EQ(l.runs.size(), 4u);
    const int ys[] = {0, 8, 8, 16};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(l.runs[size_t(i)].y, ys[i]) << i;
    EXPECT_EQ(l.runs[2].x, 16);
}

TEST_F(Layout, RightAlignDropsTheTrailingBlank) {
    rec.align = CX_ALIGN_RIGHT;
    ASSERT_EQ(Lay("ab \nc"), 0);
    ASSERT_EQ(All(), "ab|c");
    EXPECT_EQ(l.runs[0].x, 0);
    EXPECT_EQ(l.runs[1].x, 8);
    rec.align = CX_ALIGN_CENTER;
    ASSERT_EQ(Lay("abcd\nc"), 0);
    EXPECT_EQ(l.runs[1].x, 12);
}

TEST_F(Layout, JustifiedHandsOutExtraPixelsWordByWord) {
    rec.align = CX_ALIGN_JUSTIFIED;
    ASSERT_EQ(Lay("aa b cc\naaaaaaaaaa"), 0);
    ASSERT_EQ(All(), "aa|b|cc|aaaaaaaaaa");
    // Line 1 ends at 56, the widest line at 80: 24 pixels over two gaps.
    EXPECT_EQ(l.runs[0].x, 0);
    EXPECT_EQ(l.runs[1].x, 24 + 12);
    EXPECT_EQ(l.runs[2].x, 40 + 24);
    // An odd extra: the first gap gets the remainder.
    ASSERT_EQ(Lay("a b c\naaaaaaaaaaaaaaaaaaaa"), 0); // 40 vs 160: extra 120
    EXPECT_EQ(l.runs[1].x, 16 + 60);
    EXPECT_EQ(l.runs[2].x, 32 + 120);
    ASSERT_EQ(Lay("a b  c\naaaaaaa"), 0); // line 1: 48; extra 8 over 2
    EXPECT_EQ(l.runs[1].x, 16 + 4);
    EXPECT_EQ(l.runs[2].x, 40 + 8);
    // The last line is stretched only when the gaps stay within two blanks.
    ASSERT_EQ(Lay("aaaaaaaaaaaaaaaaaaaa\na b"), 0);
    EXPECT_EQ(l.runs[2].x, 16);
}

TEST_F(Layout, PrintTabsTakeTheNextStopOrBreakTheLine) {
    rec.leftMargin = 10;
    rec.rightMargin = 639;
    rec.cursorX = 10;
    rec.tabStops[0] = 50;
    rec.tabStops[1] = 100;
    rec.tabCount = 2;
    ASSERT_EQ(Lay("a\tb\tc\td", CX_RENDER_PRINT), 0);
    ASSERT_EQ(All(), "a|b|c|d");
    EXPECT_EQ(l.runs[1].x, 40);
    EXPECT_EQ(l.runs[2].x, 90);
    EXPECT_EQ(l.runs[3].x, 0);
    EXPECT_EQ(l.runs[3].y, 8);
    EXPECT_EQ(l.tabChoices, (std::vector<int32_t>{0, 1, -1}));
    EXPECT_EQ(l.endX, 8);
    EXPECT_EQ(l.endY, 8);
    // In draw mode a tab is a blank.
    ASSERT_EQ(Lay("a\tb"), 0);
    EXPECT_EQ(All(), "a |b");
    EXPECT_EQ(l.runs[1].x, 16);
}

TEST_F(Layout, PrintStartsAtTheCursorAndWrapsAtTheRightMargin) {
    rec.leftMargin = 0;
    rec.rightMargin = 63;
    rec.cursorX = 40;
    ASSERT_EQ(Lay("ab cd", CX_RENDER_PRINT), 0);
    EXPECT_EQ(l.runs[0].x, 40);
    EXPECT_EQ(l.runs[1].x, 0);
    EXPECT_EQ(l.runs[1].y, 8);
    EXPECT_EQ(l.endX, 16);
}

TEST_F(Layout, EmptyTextIsOneBlank) {
    ASSERT_EQ(Lay(""), 0);
    EXPECT_EQ(All(), " ");
    EXPECT_EQ(l.right - l.left, 8);
    EXPECT_EQ(l.bottom - l.top, 9);
}

TEST_F(Layout, EffectsWidenTheImage) {
    ASSERT_EQ(Lay("[edge=$FF,3]ab"), 0);
    EXPECT_EQ(l.left, -3);
    EXPECT_EQ(l.top, -3);
    EXPECT_EQ(l.right, 19);
    EXPECT_EQ(l.bottom, 12);
    ASSERT_EQ(Lay("[shadow=0,4,5]ab"), 0); // south-west
    EXPECT_EQ(l.left, -4);
    EXPECT_EQ(l.top, 0);
    EXPECT_EQ(l.bottom, 13);
    ASSERT_EQ(Lay("[i]ab"), 0); // leans right by baseline / 2, left by (8 - 6) / 2
    EXPECT_EQ(l.left, -1);
    EXPECT_EQ(l.right, 19);
}

// Image pixels: 1 where the mask is set.
std::vector<std::string> MaskRows(cxBitmap *mask, int w, int h) {
    std::vector<std::string> rows;
    cxOsBitmapLock m{};
    LockBitmap(mask, 0, &m);
    for (int y = 0; y < h; ++y) {
        std::string r;
        for (int x = 0; x < w; ++x) r += (m.pixels[size_t(y) * m.rowLength + size_t(x >> 3)] & (0x80 >> (x & 7))) ? '#' : '.';
        rows.push_back(r);
    }
    UnlockBitmap(&m);
    return rows;
}

// The glyphs the font layer draws by itself.
std::vector<std::string> PlainGlyphs(cxOsFont *font, const char *text, int w, int h) {
    cxBitmap *mask = AllocMask(nullptr, w, h, 1, nullptr, 0);
    DrawFontText(font, mask, nullptr, 0, 0, text, strlen(text), 0, 0, nullptr, -1);
    auto rows = MaskRows(mask, w, h);
    FreeMask(mask);
    return rows;
}

TEST_F(Layout, ImagesOfPlainBoldUnderlinedAndItalicText) {
    const auto plain = PlainGlyphs(topaz, "Hi", 16, 9);
    auto image = [&](const char *text, int w) {
        cxBitmap *b, *m, *a;
        EXPECT_EQ(Lay(text), 0);
        EXPECT_EQ(DrawTextLayout(l, rec, &b, &m, &a), 0);
        EXPECT_EQ(a, nullptr);
        EXPECT_EQ(l.right - l.left, w);
        auto rows = MaskRows(m, w, 9);
        FreeBitmap(b);
        FreeMask(m);
        return rows;
    };
    EXPECT_EQ(image("Hi", 16), plain);
    // Bold: the glyphs over themselves one pixel to the right.
    auto bold = image("[b]Hi", 17);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x) {
            const bool on = (x < 16 && plain[size_t(y)][size_t(x)] == '#') || (x > 0 && plain[size_t(y)][size_t(x - 1)] == '#');
            EXPECT_EQ(bold[size_t(y)][size_t(x)] == '#', on) << x << "," << y;
        }
    // Underline: one row (height - baseline = 2 gives thickness 1) at baseline + 1.
    auto under = image("[u]Hi", 16);
    EXPECT_EQ(under[7], std::string(16, '#'));
    for (int y = 0; y < 7; ++y) EXPECT_EQ(under[size_t(y)], plain[size_t(y)]);
    // Italic: the top row leans 3 pixels right, row 7 lean 0 (6/2 - 7/2).
    auto italic = image("[i]Hi", 20);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(italic[0][size_t(x + 1 + 3)], plain[0][size_t(x)]);
}

TEST_F(Layout, EdgeSurroundsTheTextInItsColour) {
    rec.style.colour = 0xFF0000;
    cxBitmap *b, *m, *a;
    ASSERT_EQ(Lay("[edge=$0000FF,1]i"), 0);
    ASSERT_EQ(DrawTextLayout(l, rec, &b, &m, &a), 0);
    cxOsBitmapLock lock{};
    LockBitmap(b, 0, &lock);
    const auto rows = MaskRows(m, l.right - l.left, l.bottom - l.top);
    const auto glyph = PlainGlyphs(topaz, "i", 8, 9);
    // A glyph pixel is red; a pixel beside one, not itself one, is blue.
    int red = 0, blue = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x) {
            if (glyph[size_t(y)][size_t(x)] != '#') continue;
            const uint32_t c = PixelToColor(LoadPixelValue(lock.pixels + (size_t(y + 1) * lock.rowLength + size_t(x + 1)) * lock.bytesPerPixel, lock.pixelFormat), lock.pixelFormat, 0);
            red += c == 0xFF0000;
        }
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 10; ++x) {
            const uint32_t c = PixelToColor(LoadPixelValue(lock.pixels + (size_t(y) * lock.rowLength + size_t(x)) * lock.bytesPerPixel, lock.pixelFormat), lock.pixelFormat, 0);
            if (c == 0x0000FF) {
                ++blue;
                EXPECT_EQ(rows[size_t(y)][size_t(x)], '#');
            }
        }
    UnlockBitmap(&lock);
    EXPECT_GT(red, 5);
    EXPECT_GT(blue, red);
    FreeBitmap(b);
    FreeMask(m);
}

} // namespace
