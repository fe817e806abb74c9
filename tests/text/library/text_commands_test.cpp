// Printing, the cursor commands, styles, measuring and encodings through
// the script commands, on the topaz font (8 x 8).
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/runtime/libraries.h"
#include "text_fixture.h"

namespace {

using texttest::TextTest;

TEST_F(TextTest, PrintJoinsArgumentsWithBlanksAndMovesTheCursor) {
    ASSERT_EQ(Call("Print", [&] {
                  lua_pushstring(L, "a");
                  lua_pushnumber(L, 1);
              }),
              0);
    EXPECT_EQ(Cursor().cursorX, 24); // "a 1"
    EXPECT_EQ(Cursor().cursorY, 0);
    EXPECT_GT(Count(0xFFFFFF, 0, 0, 8, 8), 0);
    EXPECT_GT(Count(0xFFFFFF, 16, 0, 24, 8), 0);
    ASSERT_EQ(CmdS("NPrint", "x"), 0);
    EXPECT_EQ(Cursor().cursorX, 0);
    EXPECT_EQ(Cursor().cursorY, 8);
    EXPECT_EQ(Call("Print"), ERR_MISSINGPARAMTR);
}

TEST_F(TextTest, PrintWrapsAtTheRightMargin) {
    ASSERT_EQ(Cmd("SetMargins", {8, 71}), 0); // 64 pixels: eight characters
    ASSERT_EQ(CmdS("Print", "aaaa bbbb"), 0);
    EXPECT_EQ(Cursor().cursorY, 8);
    EXPECT_EQ(Cursor().cursorX, 8 + 32);
    EXPECT_GT(Count(0xFFFFFF, 8, 0, 40, 8), 0);   // aaaa
    EXPECT_EQ(Count(0xFFFFFF, 48, 0, 80, 8), 0);  // not bbbb on the first line
    EXPECT_GT(Count(0xFFFFFF, 8, 8, 40, 16), 0);  // bbbb on the second
    EXPECT_EQ(Count(0xFFFFFF, 0, 0, 8, 16), 0);   // nothing left of the margin
}

TEST_F(TextTest, PrintDrawsTagsAndFailsOnBadOnesWithoutMovingTheCursor) {
    ASSERT_EQ(CmdS("Print", "[color=$FF0000]A[/color]B"), 0);
    EXPECT_GT(Count(0xFF0000, 0, 0, 8, 8), 0);
    EXPECT_EQ(Count(0xFF0000, 8, 0, 16, 8), 0);
    EXPECT_GT(Count(0xFFFFFF, 8, 0, 16, 8), 0);
    EXPECT_EQ(Cursor().cursorX, 16);
    const struct {
        const char *text;
        int code;
    } bad[] = {{"a]b", ERR_TEXTSYNTAX}, {"[x]", ERR_UNKTEXTFMT}, {"[b", ERR_SQBRACKETCLOSE},
               {"[color=#NOSUCHCONSTANT]x", ERR_FINDCST}, {"[edge=1,9]x", ERR_WRONGUSAGE}};
    for (const auto &b : bad) {
        EXPECT_EQ(CmdS("Print", b.text), b.code) << b.text;
        EXPECT_EQ(Cursor().cursorX, 16) << b.text;
    }
}

TEST_F(TextTest, InvalidUtf8FailsInUtf8ModeAndIsDrawnAsBytesOtherwise) {
    EXPECT_EQ(CmdS("Print", "ab\xC3"), ERR_INVALIDUTF8);
    // What cannot be drawn is not measured either.
    EXPECT_EQ(CmdS("TextWidth", "ab\xC3"), ERR_INVALIDUTF8);
    EXPECT_EQ(CmdS("TextExtent", "\xFFx"), ERR_INVALIDUTF8);
    ASSERT_EQ(Cmd("SetDefaultEncoding", {0}), 0);
    EXPECT_EQ(CmdS("Print", "ab\xC3"), 0);
    EXPECT_EQ(Cursor().cursorX, 24);
}

TEST_F(TextTest, LocateRefusesSpecialCoordinatesAndKeepsXInsideTheMargins) {
    EXPECT_EQ(Cmd("Locate", {-100000, 10}), ERR_NOCOORDCST);
    EXPECT_EQ(Cmd("Locate", {10, -60000}), ERR_NOCOORDCST);
    ASSERT_EQ(Cmd("Locate", {5000, 10}), 0);
    EXPECT_EQ(Cursor().cursorX, 0);
    EXPECT_EQ(Cursor().cursorY, 10);
    ASSERT_EQ(Cmd("Locate", {30, 12}), 0);
    EXPECT_EQ(Cursor().cursorX, 30);
}

TEST_F(TextTest, SetMarginsChecksAndClamps) {
    EXPECT_EQ(Cmd("SetMargins", {100, 50}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("Locate", {30, 12}), 0);
    ASSERT_EQ(Cmd("SetMargins", {-5, 99999}), 0);
    EXPECT_EQ(Cursor().leftMargin, 0);
    EXPECT_EQ(Cursor().rightMargin, kW - 1);
    EXPECT_EQ(Cursor().cursorX, 0);
    EXPECT_EQ(Cursor().cursorY, 0);
    // Margins entirely outside the output leave nothing to print in.
    EXPECT_EQ(Cmd("SetMargins", {500, 900}), ERR_WRONGUSAGE);
}

TEST_F(TextTest, TabStopsStayAscendingAndAreLimited) {
    ASSERT_EQ(Cmd("AddTab", {40, 20, 40}), 0);
    ASSERT_EQ(Cursor().tabCount, 3);
    EXPECT_EQ(Cursor().tabStops[0], 20);
    EXPECT_EQ(Cursor().tabStops[1], 40);
    EXPECT_EQ(Cursor().tabStops[2], 40);
    EXPECT_EQ(Cmd("AddTab", {-1}), ERR_NEGCOORDS);
    for (int i = 3; i < 32; ++i) ASSERT_EQ(Cmd("AddTab", {double(i * 4)}), 0);
    EXPECT_EQ(Cmd("AddTab", {200}), ERR_INTERNAL);
    EXPECT_EQ(Cursor().tabCount, 32);
    ASSERT_EQ(Cmd("ResetTabs", {}), 0);
    EXPECT_EQ(Cursor().tabCount, 0);
    ASSERT_EQ(Cmd("AddTab", {64}), 0);
    ASSERT_EQ(CmdS("Print", "a\tb"), 0);
    EXPECT_EQ(Cursor().cursorX, 72);
    EXPECT_GT(Count(0xFFFFFF, 64, 0, 72, 8), 0);
}

TEST_F(TextTest, ATabStopBeyondTheMarginBreaksTheLine) {
    ASSERT_EQ(Cmd("AddTab", {5000}), 0);
    ASSERT_EQ(CmdS("Print", "a\tb"), 0);
    EXPECT_EQ(Cursor().cursorX, 8);
    EXPECT_EQ(Cursor().cursorY, 8);
    EXPECT_GT(Count(0xFFFFFF, 0, 8, 8, 16), 0);
}

TEST_F(TextTest, FontStylesAccumulateUntilNormal) {
    auto style = [&] {
        EXPECT_EQ(Cmd("GetFontStyle", {}), 0);
        return int(Num(1));
    };
    ASSERT_EQ(Cmd("SetFontStyle", {2}), 0);
    ASSERT_EQ(Cmd("SetFontStyle", {4}), 0);
    EXPECT_EQ(style(), 7);
    ASSERT_EQ(Cmd("SetFontStyle", {1 | 2}), 0);
    EXPECT_EQ(style(), 1);
    EXPECT_EQ(Cmd("SetFontStyle", {2, 1}), ERR_TOOMANYARGS);
    ASSERT_EQ(Cmd("SetFontStyle", {32, 0xFF0000, 100, 9}), 0);
    ASSERT_EQ(Cmd("GetFontStyle", {}), 0);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(Field(2, "shadowsize"), 64);
    EXPECT_EQ(Field(2, "shadowdir"), 3);
    EXPECT_EQ(Field(2, "shadowcolor"), 0xFF0000);
    ASSERT_EQ(Cmd("SetFontStyle", {64, 0x00FF00, 3}), 0);
    ASSERT_EQ(Cmd("GetFontStyle", {}), 0);
    EXPECT_EQ(Field(2, "bordersize"), 3);
    EXPECT_EQ(Field(2, "bordercolor"), 0x00FF00);
    ASSERT_EQ(Cmd("SetFontColor", {0x123456}), 0);
    ASSERT_EQ(Cmd("GetFontColor", {}), 0);
    EXPECT_EQ(Num(1), 0x123456);
}

TEST_F(TextTest, StyledPrintDrawsShadowAndEdgeUnderTheText) {
    ASSERT_EQ(Cmd("SetFontStyle", {64, 0x0000FF, 1}), 0);
    ASSERT_EQ(Cmd("Locate", {10, 10}), 0);
    ASSERT_EQ(CmdS("Print", "I"), 0);
    EXPECT_GT(Count(0xFFFFFF, 0, 0, kW, kH), 0);
    EXPECT_GT(Count(0x0000FF, 0, 0, kW, kH), 0);
    EXPECT_EQ(Count(0x0000FF, 0, 0, 9, kH), 0);  // the edge starts one pixel left of the cell
    EXPECT_EQ(Cursor().cursorX, 18);
}

TEST_F(TextTest, TextExtentWidthAndHeight) {
    ASSERT_EQ(CmdS("TextExtent", ""), 0);
    for (const char *k : {"minx", "maxx", "miny", "maxy", "width", "height"}) EXPECT_EQ(Field(1, k), 0) << k;
    ASSERT_EQ(CmdS("TextExtent", "ab"), 0);
    EXPECT_EQ(Field(1, "width"), 16);
    EXPECT_EQ(Field(1, "height"), 8);
    EXPECT_EQ(Field(1, "minx"), 0);
    EXPECT_EQ(Field(1, "maxx"), 15);
    EXPECT_EQ(Field(1, "miny"), -6);
    EXPECT_EQ(Field(1, "maxy"), 1);
    ASSERT_EQ(CmdS("TextWidth", "abc"), 0);
    EXPECT_EQ(Num(1), 24);
    ASSERT_EQ(CmdS("TextHeight", "ignored"), 0);
    EXPECT_EQ(Num(1), 8);
    EXPECT_EQ(Call("TextWidth", [&] {
                  lua_pushstring(L, "a");
                  lua_pushnumber(L, 2);
              }),
              ERR_WRONGUSAGE);
}

TEST_F(TextTest, DefaultEncodings) {
    EXPECT_EQ(Cmd("SetDefaultEncoding", {1, 5}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("GetDefaultEncoding", {}), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Cmd("SetDefaultEncoding", {2}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("SetDefaultEncoding", {0, 0}), 0);
    ASSERT_EQ(Cmd("GetDefaultEncoding", {}), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Num(2), 0);
}

// The string default encoding of SetDefaultEncoding is what the string
// commands' optional encoding arguments fall back on; a given one wins.
TEST_F(TextTest, StringCommandsFollowTheStringDefaultEncoding) {
    ASSERT_EQ(OpenStringLibrary(L), 0);
    const char *const kText = "\xC3\xA4" "bc";  // "a umlaut, b, c" in UTF-8
    struct Case {
        const char *command;
        std::vector<std::variant<const char *, double>> args;
        std::variant<const char *, double> iso, utf8;
    };
    const std::vector<Case> cases = {
        {"StrLen", {kText}, 4.0, 3.0},
        {"StrLen", {kText, 0.0}, 4.0, 4.0},  // given: not the default
        {"UpperStr", {kText}, "\xC3\xA4" "BC", "\xC3\x84" "BC"},
        {"Chr", {228.0}, "\xE4", "\xC3\xA4"},
        {"Asc", {kText}, 195.0, 228.0},
        {"MidStr", {kText, 1.0, 1.0}, "\xA4", "b"},
        {"ReverseStr", {"\xC3\xA4" "b"}, "b\xA4\xC3", "b\xC3\xA4"},
    };
    for (const double def : {0.0, 1.0}) {
        ASSERT_EQ(Cmd("SetDefaultEncoding", {1, def}), 0);
        ASSERT_EQ(GetUtf8Mode(), 1);  // the mode itself stays
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.command) + (def == 0 ? " ISO-8859-1" : " UTF-8"));
            ASSERT_EQ(Call(c.command, [&] {
                          for (const auto &a : c.args) {
                              if (std::holds_alternative<double>(a)) lua_pushnumber(L, std::get<double>(a));
                              else lua_pushstring(L, std::get<const char *>(a));
                          }
                      }),
                      0);
            const auto &want = def == 0 ? c.iso : c.utf8;
            if (std::holds_alternative<double>(want)) EXPECT_EQ(Num(1), std::get<double>(want));
            else EXPECT_EQ(Str(1), std::get<const char *>(want));
        }
    }
    // Closing the text library gives the strings back to the mode.
    ASSERT_EQ(Cmd("SetDefaultEncoding", {1, 0}), 0);
    FreeTextLibrary(L);
    EXPECT_EQ(GetStringDefaultEncoding(), 1);
    ASSERT_EQ(InitTextLibrary(), 0);
}

TEST_F(TextTest, TextOutFollowsAWordWrapTable) {
    ASSERT_EQ(Call("TextOut", [&] {
                  lua_pushnumber(L, 0);
                  lua_pushnumber(L, 0);
                  lua_pushstring(L, "a b c d e");
                  lua_newtable(L);
                  lua_pushstring(L, "wordwraptable");
                  lua_newtable(L);
                  lua_pushnumber(L, 3);
                  lua_rawseti(L, -2, 0);
                  lua_pushnumber(L, 1); // only read after index 0
                  lua_rawseti(L, -2, 5);
                  lua_settable(L, -3);
              }),
              0);
    EXPECT_GT(Count(0xFFFFFF, 32, 0, 40, 8), 0);  // c
    EXPECT_EQ(Count(0xFFFFFF, 48, 0, 56, 8), 0);  // not d
    EXPECT_GT(Count(0xFFFFFF, 0, 8, 8, 16), 0);   // d starts line 2
}

TEST_F(TextTest, TextOutChecksItsArguments) {
    auto out = [&](std::function<void()> extra) {
        return Call("TextOut", [&] {
            lua_pushnumber(L, 0);
            lua_pushnumber(L, 0);
            lua_pushstring(L, "x");
            extra();
        });
    };
    // A position that is no number of a place.
    for (auto [x, y] : {std::pair{std::nan(""), 0.0}, {0.0, HUGE_VAL}, {-HUGE_VAL, 1.0}})
        EXPECT_EQ(Call("TextOut", [&] {
                      lua_pushnumber(L, x);
                      lua_pushnumber(L, y);
                      lua_pushstring(L, "x");
                  }),
                  ERR_COORDSRANGE);
    EXPECT_EQ(out([&] {
                  lua_pushnumber(L, -90000);
                  lua_pushnumber(L, -1);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(out([&] {
                  lua_newtable(L);
                  lua_pushstring(L, "encoding");
                  lua_pushnumber(L, 2);
                  lua_settable(L, -3);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(out([&] {
                  lua_newtable(L);
                  lua_pushstring(L, "wordwraptable");
                  lua_newtable(L);
                  for (int i = 0; i < 32767; ++i) {
                      lua_pushnumber(L, 1);
                      lua_rawseti(L, -2, i);
                  }
                  lua_settable(L, -3);
              }),
              ERR_INTERNAL);
}

TEST_F(TextTest, TextOutAlignsAndCentres) {
    // #CENTER on the x axis: an 8-pixel text in 160.
    ASSERT_EQ(Call("TextOut", [&] {
                  lua_pushnumber(L, -100000);
                  lua_pushnumber(L, 0);
                  lua_pushstring(L, "I");
              }),
              0);
    EXPECT_GT(Count(0xFFFFFF, 76, 0, 84, 8), 0);
    EXPECT_EQ(Count(0xFFFFFF, 0, 0, 76, 8), 0);
    // #RIGHT aligned lines end together.
    ASSERT_EQ(Call("TextOut", [&] {
                  lua_pushnumber(L, 0);
                  lua_pushnumber(L, 16);
                  lua_pushstring(L, "[b]abcd\nI");
                  lua_pushnumber(L, -80000);
              }),
              0);
    EXPECT_GT(Count(0xFFFFFF, 24, 24, 33, 32), 0);
    EXPECT_EQ(Count(0xFFFFFF, 0, 24, 24, 32), 0);
}

} // namespace

namespace {

using texttest::TextTest;

TEST_F(TextTest, TextOutDrawsWithTheDisplayOptionsTransparency) {
    ASSERT_EQ(Call("TextOut", [&] {
                  lua_pushnumber(L, 0);
                  lua_pushnumber(L, 0);
                  lua_pushstring(L, "I");
                  lua_newtable(L);
                  lua_pushstring(L, "transparency");
                  lua_pushnumber(L, 128);
                  lua_settable(L, -3);
              }),
              0);
    int half = 0, other = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t c = Pixel(x, y) & 0xFF;
            if (c >= 0x60 && c <= 0xA0) ++half;
            else if (c) ++other;
        }
    EXPECT_GT(half, 5);
    EXPECT_EQ(other, 0);
}

} // namespace
