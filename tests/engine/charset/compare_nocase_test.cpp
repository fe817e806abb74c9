#include <gtest/gtest.h>

#include <string>

#include "engine/charset/charset.h"
#include "tests/engine/charset/mode_guard.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

struct CompareCase {
    const char *a;
    const char *b;
    int sign;
};

TEST(Utf8CompareNoCase, FoldsCaseOnly) {
    const CompareCase cases[] = {
        {"apple", "APPLE", 0},
        {"", "", 0},
        {"", "a", -1},
        {"a", "", 1},
        {"a", "B", -1},
        {"B", "a", 1},
        {"abc", "ab", 1},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", 0},      // ete / ETE with accents
        {"\xC2\xB5", "\xCE\x9C", 0},                         // micro sign and capital mu fold alike
        {"\xC7\x85", "\xC7\x86", 0},                         // titlecase dz with caron
        {"\xD0\x96", "\xD0\xB6", 0},                         // Cyrillic zhe
        {"stra\xC3\x9F" "e", "STRASSE", 1},                  // simple folding: U+00DF is not "ss"
        {"e", "\xC3\xA9", -1},
        {"\xC3", "\xC3", 0},                                 // broken bytes compare as themselves
        {"\xC3", "\xC3\xA9", -1},
    };
    for (const CompareCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.a)) + " vs " + testing::PrintToString(std::string(c.b)));
        EXPECT_EQ(Sign(Utf8CompareNoCase(c.a, c.b)), c.sign);
        EXPECT_EQ(Sign(Utf8CompareNoCase(c.b, c.a)), -c.sign);
        ModeGuard mode(1);
        EXPECT_EQ(Sign(StrCompareNoCase(c.a, c.b)), c.sign);
    }
    const char *same = "\xFF\xFE";
    EXPECT_EQ(Utf8CompareNoCase(same, same), 0);
}

TEST(Utf8CompareNoCase, CountedForms) {
    EXPECT_EQ(Utf8NCompareNoCase("abcX", "ABCy", 3), 0);
    EXPECT_NE(Utf8NCompareNoCase("abcX", "ABCy", 4), 0);
    EXPECT_EQ(Utf8NCompareNoCase("ab", "AB", 10), 0);
    EXPECT_LT(Utf8NCompareNoCase("ab", "ABC", 10), 0);
    EXPECT_EQ(Utf8NCompareNoCase("x", "y", 0), 0);
    // A limit inside a character cuts it: the lone lead byte reads as itself.
    EXPECT_EQ(Utf8NCompareNoCase("\xC3\xA9", "\xC3\x89", 1), 0);
    EXPECT_EQ(Utf8CompareBytesNoCase("HeLLo\0x", "hello\0y", 5), 0);
    EXPECT_NE(Utf8CompareBytesNoCase("HeLLo\0x", "hello\0y", 7), 0);  // exactly n bytes, NULs included
    const std::string a = "ab", b = "abc";
    EXPECT_LT(Utf8CompareRangesNoCase(a.data(), b.data(), a.data() + 2, b.data() + 3), 0);
    EXPECT_EQ(Utf8CompareRangesNoCase(a.data(), a.data(), a.data() + 2, a.data() + 2), 0);
    EXPECT_LT(Utf8CompareRangesNoCase(a.data(), a.data(), a.data() + 1, a.data() + 2), 0);
}

TEST(Latin1CompareNoCase, ByteTablesInLatin1Mode) {
    ModeGuard mode(0);
    EXPECT_EQ(Latin1CompareNoCase("\xE9t\xE9", "\xC9T\xC9"), 0);
    EXPECT_EQ(Latin1CompareNoCase("a", "B"), 'A' - 'B');
    EXPECT_EQ(Latin1CompareNoCase("abc", "ab"), 'C');
    EXPECT_EQ(Latin1CompareNoCase("\xFF", "\xFF"), 0);
    EXPECT_NE(Latin1CompareNoCase("\xDE", "\xFE"), 0);  // 0xFE has no capital in the table
    EXPECT_EQ(StrCompareNoCase("\xC0pple", "\xE0PPLE"), 0);
    EXPECT_EQ(Latin1NCompareNoCase("abcX", "ABCy", 3), 0);
    EXPECT_NE(Latin1NCompareNoCase("abcX", "ABCy", 4), 0);
    EXPECT_EQ(StrNCompareNoCase("ab\xE9", "AB\xC9", 3), 0);
    EXPECT_EQ(Latin1NCompareNoCase("same", "SAME", 100), 0);
}

TEST(Latin1CompareNoCase, Utf8ModeMapsAsciiBytesOnly) {
    ModeGuard mode(1);
    EXPECT_EQ(Latin1CompareNoCase("Hello", "hELLO"), 0);
    // Bytes above 0x7F are pieces of UTF-8 sequences: never folded together,
    // so U+00FF does not meet "x" and lead bytes 0xC3 / 0xE3 stay apart.
    EXPECT_NE(Latin1CompareNoCase("\xFF", "x"), 0);
    EXPECT_NE(Latin1CompareNoCase("\xE3\x81\x82", "\xC3\x81\x82"), 0);
}

TEST(StrCompareNoCase, FollowsTheModeFlag) {
    const char *upper = "\xC3\x89";  // U+00C9 in UTF-8
    const char *lower = "\xC3\xA9";  // U+00E9 in UTF-8
    {
        ModeGuard mode(1);
        EXPECT_EQ(StrCompareNoCase(upper, lower), 0);
        EXPECT_EQ(StrNCompareNoCase("DisplayBrush", "displaybrushX", 12), 0);
    }
    {
        ModeGuard mode(0);
        EXPECT_NE(StrCompareNoCase(upper, lower), 0);  // 0x89 and 0xA9 are different bytes
        EXPECT_EQ(StrCompareNoCase("\xC9", "\xE9"), 0);
    }
}

}  // namespace
