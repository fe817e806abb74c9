// Text in the real player: what Print, TextOut and text objects leave in
// the display (counted with ReadPixel by the applet itself), and InKeyStr
// with keys typed through the X server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace {

// count(x0, y0, x1, y1): lit pixels (not black) in the box, bounds included.
const char *kCount = R"(
.function count
.params 4
        LOADK 4 #0
        SUB 5 1 #1
        MOVE 6 3
        LOADK 7 #1
        JMP ycheck
ybody:
        SUB 8 0 #1
        MOVE 9 2
        LOADK 10 #1
        JMP xcheck
xbody:
        GETGLOBAL 11 "readpixel"
        MOVE 12 8
        MOVE 13 5
        CALL 11 3 2
        EQ 1 11 #0
        JMP xcheck
        ADD 4 4 #1
xcheck: FORLOOP 8 xbody
ycheck: FORLOOP 5 ybody
        RETURN 4 2
.end
)";

// Opens a 200 x 100 display titled title (registers 0-2).
std::string OpenDisplay(const char *title) {
    return std::string(R"(
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #200
        SETTABLE 2 "height" #100
        SETTABLE 2 "title" ")") + title + R"("
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
)";
}

// Counts the box into register 21 and shows "<tag>=<count>" (registers 20-30).
std::string ShowCount(const char *tag, int x0, int y0, int x1, int y1) {
    std::string s = "        MOVE 21 50\n";
    s += "        LOADK 22 #" + std::to_string(x0) + "\n        LOADK 23 #" + std::to_string(y0) + "\n";
    s += "        LOADK 24 #" + std::to_string(x1) + "\n        LOADK 25 #" + std::to_string(y1) + "\n";
    s += "        CALL 21 5 2\n";
    s += "        MOVE 22 21\n        GETGLOBAL 20 \"formatstr\"\n        LOADK 21 \"" + std::string(tag) + "=%d\"\n";
    s += "        CALL 20 3 2\n        MOVE 21 20\n";
    return s + cxe2e::ShowString(21);
}

cxe2e::RunResult RunApplet(const std::string &body) {
    cxtest::TempDir dir;
    const std::string source = ".source \"=text.cxs\"\n        CLOSURE 50 count\n" + body + "        RETURN 0 1\n" + kCount;
    cxe2e::WriteApplet(dir.Path("t.cxa"), source);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    return cxe2e::RunPlayer({dir.Path("t.cxa"), "-QUIET"}, options);
}

bool Has(const std::string &out, const std::string &text) { return out.find(text) != std::string::npos; }

TEST(TextPlayer, PrintWrapsAtTheRightMargin) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    const cxe2e::RunResult r = RunApplet(OpenDisplay("TextWrap") + R"(
        GETGLOBAL 0 "setmargins"
        LOADK 1 #0
        LOADK 2 #63
        CALL 0 3 1
        GETGLOBAL 0 "print"
        LOADK 1 "aaaa bbbb"
        CALL 0 2 1
)" + ShowCount("first", 0, 0, 31, 7) + ShowCount("beyond", 40, 0, 199, 7) + ShowCount("second", 0, 8, 31, 15));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Has(r.out, "first=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "beyond=0")) << r.out;
    EXPECT_FALSE(Has(r.out, "second=0")) << r.out;
}

TEST(TextPlayer, JustifiedLinesSpreadTheirWords) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    // Topaz: line 1 is 56 pixels, line 2 80: the 24 pixels go 12 and 12
    // to the gaps before "b" and "cc".
    const cxe2e::RunResult r = RunApplet(OpenDisplay("TextJustified") + R"(
        GETGLOBAL 0 "textout"
        LOADK 1 #0
        LOADK 2 #0
        LOADK 3 "aa b cc\naaaaaaaaaa"
        NEWTABLE 4 0 0
        SETTABLE 4 "align" #-110001
        CALL 0 5 1
)" + ShowCount("old", 24, 0, 35, 7) + ShowCount("b", 36, 0, 43, 7) + ShowCount("gap", 44, 0, 63, 7) +
                                   ShowCount("cc", 64, 0, 79, 7));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "old=0")) << r.out;
    EXPECT_FALSE(Has(r.out, "b=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "gap=0")) << r.out;
    EXPECT_FALSE(Has(r.out, "cc=0")) << r.out;
}

TEST(TextPlayer, ATurnedTextObjectStandsUpright) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    const cxe2e::RunResult r = RunApplet(OpenDisplay("TextTurned") + R"(
        GETGLOBAL 0 "createtextobject"
        LOADK 1 #1
        LOADK 2 "Hello"
        CALL 0 3 1
        GETGLOBAL 0 "rotatetextobject"
        LOADK 1 #1
        LOADK 2 #90
        CALL 0 3 1
        GETGLOBAL 0 "displaytextobject"
        LOADK 1 #1
        LOADK 2 #10
        LOADK 3 #10
        CALL 0 4 1
)" + ShowCount("column", 10, 10, 19, 49) + ShowCount("row", 30, 0, 199, 99) + ShowCount("below", 0, 52, 199, 99));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Has(r.out, "column=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "row=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "below=0")) << r.out;
}

TEST(TextPlayer, PrintIntoASelectedBrush) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    // The brush's own cursor starts at its top-left; the display is not
    // drawn until the brush is shown.
    const cxe2e::RunResult r = RunApplet(OpenDisplay("TextBrush") + R"(
        GETGLOBAL 0 "createbrush"
        LOADK 1 #1
        LOADK 2 #64
        LOADK 3 #16
        CALL 0 4 1
        GETGLOBAL 0 "selectbrush"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "print"
        LOADK 1 "Hi"
        CALL 0 2 1
        GETGLOBAL 0 "endselect"
        CALL 0 1 1
)" + ShowCount("before", 0, 0, 199, 99) + R"(
        GETGLOBAL 0 "displaybrush"
        LOADK 1 #1
        LOADK 2 #100
        LOADK 3 #50
        CALL 0 4 1
)" + ShowCount("hi", 100, 50, 115, 57) + ShowCount("rest", 116, 50, 163, 65));
    if (Has(r.out, "Function createbrush not found!")) GTEST_SKIP() << "the player has no brush library yet";
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "before=0")) << r.out;
    EXPECT_FALSE(Has(r.out, "hi=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "rest=0")) << r.out;
}

TEST(TextPlayer, BadTextGivesTheSystemsErrors) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    const cxe2e::RunResult r = RunApplet(OpenDisplay("TextBad") + R"(
.line 9
        GETGLOBAL 0 "print"
        LOADK 1 "[b]x[/color]"
        CALL 0 2 1
)");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "Syntax error in text format tags!")) << r.out;
    EXPECT_TRUE(Has(r.out, "In function: Print")) << r.out;
}

#ifdef CX_XDOTOOL
TEST(TextPlayer, InKeyStrReadsTypedKeys) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    auto line = [](const char *filter, int max, int hide) {
        std::string s = "        GETGLOBAL 0 \"inkeystr\"\n        LOADK 1 #" + std::string(filter) + "\n";
        s += "        LOADK 2 #" + std::to_string(max) + "\n        LOADK 3 #" + std::to_string(hide) + "\n";
        s += "        CALL 0 4 2\n        GETGLOBAL 20 \"formatstr\"\n        LOADK 21 \"<%s>\"\n";
        s += "        MOVE 22 0\n        CALL 20 3 2\n        MOVE 21 20\n";
        return s + cxe2e::ShowString(21);
    };
    const std::string ready = "        LOADK 21 \"ready\"\n" + cxe2e::ShowString(21);
    const std::string source = ".source \"=keys.cxs\"\n        CLOSURE 50 count\n" + OpenDisplay("TextKeys") + ready +
                               line("0", 5, 0) + line("3", 0, 0) + line("0", 0, 1) + line("4", 0, 0) +
                               ShowCount("stars", 0, 16, 23, 23) + ShowCount("after", 24, 16, 199, 23) +
                               "        GETGLOBAL 0 \"locate\"\n        LOADK 1 #0\n        LOADK 2 #60\n        CALL 0 3 1\n"
                               "        GETGLOBAL 0 \"print\"\n        LOADK 1 \"***\"\n        CALL 0 2 1\n" +
                               ShowCount("ref", 0, 60, 23, 67) + "        RETURN 0 1\n" + kCount;
    cxe2e::WriteApplet(dir.Path("keys.cxa"), source);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.timeoutSeconds = 60;
    options.waitFor = "ready";
    options.onOutput = [](pid_t) {
        const std::string x = CX_XDOTOOL;
        const std::string win = "$(" + x + " search --sync --name '^TextKeys$' | head -1)";
        const std::string cmd = "w=" + win + "; " + x + " mousemove --window $w 20 20; " + x +
                                " windowfocus --sync $w; sleep 0.3; " + x +
                                " type --delay 30 'abcdefg'; " + x + " key Return; " + x +
                                " type --delay 30 'a1b2 3'; " + x + " key Tab Return; " + x +
                                " type --delay 30 'xy'; " + x + " key BackSpace; " + x + " type 'z'; " + x +
                                " key Left; " + x + " type 'w'; " + x + " key Home Return; " + x +
                                " type --delay 30 'fFgG0'; " + x + " key Left Left Delete Return";
        (void)system(cmd.c_str());
    };
    const cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("keys.cxa"), "-QUIET", "-FORCEFLUSH"}, options);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "<abcde>")) << r.out;   // at most five
    EXPECT_TRUE(Has(r.out, "<123>")) << r.out;     // digits only; blank and tab refused
    EXPECT_TRUE(Has(r.out, "<xwz>")) << r.out;     // backspace, left, insert
    EXPECT_TRUE(Has(r.out, "<f0>")) << r.out;      // hexadecimal digits; delete at the cursor
    // The hidden line shows three characters on its row (the third) and
    // nothing after them.
    EXPECT_FALSE(Has(r.out, "stars=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "after=0")) << r.out;
    // Stars, not the letters: as many lit pixels as "***" printed plainly.
    const size_t at = r.out.find("stars="), ref = r.out.find("ref=");
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(ref, std::string::npos);
    EXPECT_EQ(std::atoi(r.out.c_str() + at + 6), std::atoi(r.out.c_str() + ref + 4)) << r.out;
}
#endif

} // namespace
