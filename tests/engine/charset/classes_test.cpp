#include <gtest/gtest.h>

#include <string>

#include "engine/charset/charset.h"
#include "tests/engine/charset/mode_guard.h"

namespace {

struct ByteClassCase {
    unsigned byte;
    int graph, alpha, alnum, lower, upper;
};

TEST(Latin1Classes, TablesHoldTheirRanges) {
    const ByteClassCase cases[] = {
        {0x20, 0, 0, 0, 0, 0}, {0x21, 1, 0, 0, 0, 0}, {0x30, 1, 0, 1, 0, 0}, {0x41, 1, 1, 1, 0, 1},
        {0x5A, 1, 1, 1, 0, 1}, {0x61, 1, 1, 1, 1, 0}, {0x7E, 1, 0, 0, 0, 0}, {0x7F, 0, 0, 0, 0, 0},
        {0xA0, 0, 0, 0, 0, 0}, {0xA1, 1, 0, 0, 0, 0}, {0xA6, 1, 0, 0, 0, 1}, {0xA8, 1, 0, 0, 1, 0},
        {0xAA, 1, 0, 0, 0, 0}, {0xB4, 1, 0, 0, 0, 1}, {0xB5, 1, 0, 0, 1, 0}, {0xB8, 1, 0, 0, 1, 0},
        {0xBC, 1, 0, 0, 0, 1}, {0xBD, 1, 0, 0, 1, 0}, {0xBE, 1, 0, 0, 0, 1}, {0xC0, 1, 1, 1, 0, 1},
        {0xD7, 1, 1, 1, 0, 0}, {0xDE, 1, 1, 1, 0, 1}, {0xDF, 1, 1, 1, 1, 0}, {0xF7, 1, 0, 0, 0, 0},
        {0xF8, 1, 1, 1, 1, 0}, {0xFF, 1, 1, 1, 1, 0}, {0x141, 0, 0, 0, 0, 0},
    };
    for (const ByteClassCase &c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(IsGraphLatin1(c.byte), c.graph);
        EXPECT_EQ(IsAlphaLatin1(c.byte), c.alpha);
        EXPECT_EQ(IsAlNumLatin1(c.byte), c.alnum);
        EXPECT_EQ(IsLowerLatin1(c.byte), c.lower);
        EXPECT_EQ(IsUpperLatin1(c.byte), c.upper);
    }
}

TEST(Latin1Case, ByteTablesMapLettersOnly) {
    const std::pair<uint32_t, uint32_t> upper[] = {
        {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {0xE0, 0xC0}, {0xE9, 0xC9}, {0xF6, 0xD6}, {0xF7, 0xF7},
        {0xF8, 0xD8}, {0xFD, 0xDD}, {0xFE, 0xFE}, {0xFF, 0xFF}, {0xDF, 0xDF}, {0x161, 'A'}};
    for (const auto &[from, to] : upper) EXPECT_EQ(ToUpperLatin1(from), to) << from;
    const std::pair<uint32_t, uint32_t> lower[] = {
        {'A', 'a'}, {0xC0, 0xE0}, {0xC9, 0xE9}, {0xD6, 0xF6}, {0xD7, 0xD7}, {0xD8, 0xF8},
        {0xDD, 0xFD}, {0xDE, 0xDE}, {0x141, 'a'}};
    for (const auto &[from, to] : lower) EXPECT_EQ(ToLowerLatin1(from), to) << from;
}

struct UnicodeClassCase {
    uint32_t cp;
    int alpha, lower, upper, cntrl, digit, xdigit, punct, space, graph, print, alnum;
};

TEST(UnicodeClasses, RangeTablesAndCompositeTests) {
    const UnicodeClassCase cases[] = {
        //      alpha lower upper cntrl digit xdig punct space graph print alnum
        {0x00,    0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        {0x09,    0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
        {0x20,    0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0},
        {'!',     0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0},
        {'0',     0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1},
        {'A',     1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 1},
        {'f',     1, 1, 0, 0, 0, 1, 0, 0, 1, 1, 1},
        {'g',     1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {'^',     0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0},   // Sk
        {0x7F,    0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        {0x85,    0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
        {0xA0,    0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {0xA6,    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0},   // So: no punctuation
        {0xAA,    1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {0xAD,    0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},   // Cf
        {0xB2,    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1},   // No
        {0xDF,    1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {0x300,   0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0},   // combining mark
        {0x345,   1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},   // alphabetic combining mark
        {0x661,   0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1},
        {0x1680,  0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {0x2028,  0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {0x20AC,  0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0},   // Sc
        {0x2160,  1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1},   // Nl
        {0x3000,  0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {0x4E00,  1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {0xE000,  0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},   // Co
        {0xFF10,  0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1},
        {0xFF21,  1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 1},
        {0xFF47,  1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {0x13F8,  1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},   // Unicode 8.0
        // Assigned after Unicode 8.0: in no class.
        {0x08B6,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0xA7AE,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x1E900, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x1F923, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x110000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const UnicodeClassCase &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "U+" << c.cp);
        EXPECT_EQ(IsUnicodeAlpha(c.cp), c.alpha);
        EXPECT_EQ(IsUnicodeLower(c.cp), c.lower);
        EXPECT_EQ(IsUnicodeUpper(c.cp), c.upper);
        EXPECT_EQ(IsUnicodeCntrl(c.cp), c.cntrl);
        EXPECT_EQ(IsUnicodeDigit(c.cp), c.digit);
        EXPECT_EQ(IsUnicodeXDigit(c.cp), c.xdigit);
        EXPECT_EQ(IsUnicodePunct(c.cp), c.punct);
        EXPECT_EQ(IsUnicodeSpace(c.cp), c.space);
        EXPECT_EQ(IsUnicodeGraph(c.cp), c.graph);
        EXPECT_EQ(IsUnicodePrint(c.cp), c.print);
        EXPECT_EQ(IsUnicodeAlNum(c.cp), c.alnum);
    }
}

TEST(UnicodeCase, SimpleMappingsOfUnicode8) {
    const std::pair<uint32_t, uint32_t> upper[] = {
        {'a', 'A'}, {'A', 'A'}, {0xE9, 0xC9}, {0xFF, 0x178}, {0xDF, 0xDF}, {0xB5, 0x39C}, {0x101, 0x100},
        {0x131, 'I'}, {0x17F, 'S'}, {0x1C5, 0x1C4}, {0x1C6, 0x1C4}, {0x3C2, 0x3A3}, {0x23F, 0x2C7E},
        {0x13F8, 0x13F0}, {0x10428, 0x10400}, {0xFF41, 0xFF21},
        {0x26A, 0x26A},  // its capital U+A7AE came with Unicode 9.0
        {0x282, 0x282},  // its capital U+A7C5 came with Unicode 12.0
    };
    for (const auto &[from, to] : upper) EXPECT_EQ(UnicodeToUpper(from), to) << std::hex << from;
    const std::pair<uint32_t, uint32_t> lower[] = {
        {'A', 'a'}, {'a', 'a'}, {0xC0, 0xE0}, {0x178, 0xFF}, {0x130, 'i'}, {0x1C5, 0x1C6},
        {0x1E9E, 0xDF}, {0x2160, 0x2170}, {0x10400, 0x10428}, {0xA7AE, 0xA7AE}};
    for (const auto &[from, to] : lower) EXPECT_EQ(UnicodeToLower(from), to) << std::hex << from;
}

TEST(CurrentEncoding, Latin1ModeUsesTheByteTables) {
    ModeGuard mode(0);
    EXPECT_EQ(ToUpperChar(0xFF), 0xFFu);
    EXPECT_EQ(ToUpperChar(0xE9), 0xC9u);
    EXPECT_EQ(ToLowerChar(0xC9), 0xE9u);
    EXPECT_EQ(IsAlphaChar(0xAA), 0);
    EXPECT_EQ(IsAlphaChar(0x1E9), 1);  // low 8 bits: 0xE9
    EXPECT_EQ(IsAlNumChar('7'), 1);
    EXPECT_EQ(IsGraphChar(0xA0), 0);
}

TEST(CurrentEncoding, Utf8ModeUsesTheCodePointTests) {
    ModeGuard mode(1);
    EXPECT_EQ(ToUpperChar(0xFF), 0x178u);
    EXPECT_EQ(ToLowerChar(0x130), 0x69u);
    EXPECT_EQ(IsAlphaChar(0xAA), 1);
    EXPECT_EQ(IsAlphaChar(0x1E9), 1);
    EXPECT_EQ(IsAlNumChar(0x661), 1);
    EXPECT_EQ(IsGraphChar(0x300), 1);
}

TEST(CaseInPlace, Utf8KeepsCharactersWhoseFormWouldChangeLength) {
    ModeGuard mode(1);
    const std::pair<std::string, std::string> lower[] = {
        {"\xC3\x80" "B", "\xC3\xA0" "b"},       // U+00C0 U+0042
        {"\xC5\xB8", "\xC3\xBF"},                // U+0178 -> U+00FF
        {"\xC4\xB0x", "\xC4\xB0x"},              // U+0130 -> i would shrink
        {"\xE2\x84\xAA", "\xE2\x84\xAA"},        // KELVIN SIGN -> k would shrink
        {"ABC\xE2\x82\xAC", "abc\xE2\x82\xAC"},
        {"\xC3", "\xC3"},                        // broken input stays
    };
    for (const auto &[in, out] : lower) {
        std::string s = in;
        EXPECT_EQ(LowerCaseInPlace(s.data()), s.data());
        EXPECT_EQ(s, out);
    }
    const std::pair<std::string, std::string> upper[] = {
        {"stra\xC3\x9F" "e", "STRA\xC3\x9F" "E"},  // U+00DF has no simple capital
        {"\xC4\xB1", "\xC4\xB1"},                  // U+0131 -> I would shrink
        {"\xC8\xBF", "\xC8\xBF"},                  // U+023F -> U+2C7E would grow
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},
    };
    for (const auto &[in, out] : upper) {
        std::string s = in;
        UpperCaseInPlace(s.data());
        EXPECT_EQ(s, out);
    }
}

TEST(CaseInPlace, Latin1MapsEveryByte) {
    ModeGuard mode(0);
    std::string s = "\xE9" "abc\xFF\xFE";
    UpperCaseInPlace(s.data());
    EXPECT_EQ(s, "\xC9" "ABC\xFF\xFE");
    LowerCaseInPlace(s.data());
    EXPECT_EQ(s, "\xE9" "abc\xFF\xFE");
}

}  // namespace
