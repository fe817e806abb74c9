#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/charset/collate.h"
#include "engine/charset/collation_data.h"
#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"
#include "tests/engine/charset/mode_guard.h"

namespace {

std::string Show(const std::string &s) { return testing::PrintToString(s); }

// Every earlier string must sort strictly before every later one.
void ExpectAscending(const std::vector<std::string> &order, int caseSensitive) {
    for (size_t i = 0; i < order.size(); ++i)
        for (size_t j = i + 1; j < order.size(); ++j) {
            EXPECT_EQ(CollateStrings(order[i].c_str(), order[j].c_str(), caseSensitive), -1)
                << Show(order[i]) << " before " << Show(order[j]) << " (case-sensitive " << caseSensitive << ")";
            EXPECT_EQ(CollateStrings(order[j].c_str(), order[i].c_str(), caseSensitive), 1)
                << Show(order[j]) << " after " << Show(order[i]);
        }
}

class Collation : public testing::Test {
protected:
    ModeGuard mode_{1};
};

TEST_F(Collation, CaseSensitiveCharacterOrder) {
    ExpectAscending({"\x01", "'", "-", " ", "\t", "!", "$", "+", "0", "\xC2\xBD", "1", "\xC2\xB9", "2", "9",
                     "a", "A", "\xC2\xAA", "\xC3\xA1", "\xC3\x81", "\xC3\xA0", "\xC3\x80", "\xC3\xA6", "\xC3\x86",
                     "b", "B", "e", "E", "\xC3\xA9", "\xC3\x89", "f", "o", "\xC3\xB8", "z", "Z", "\xC5\xBE",
                     "\xC5\xBD"},
                    1);
}

TEST_F(Collation, CaseInsensitiveCharacterOrder) {
    ExpectAscending({"'", " ", "!", "0", "1", "a", "\xC3\xA1", "\xC3\xA0", "\xC3\xA6", "b", "e", "\xC3\xA9", "f",
                     "z", "\xC5\xBE"},
                    0);
    const std::pair<const char *, const char *> alike[] = {
        {"a", "A"}, {"\xC3\xA9", "\xC3\x89"}, {"apple", "APPLE"}, {"\xC3\x84rger", "\xC3\xA4RGER"},
        {"1", "\xC2\xB9"}, {" ", "\xC2\xA0"}};
    for (const auto &[a, b] : alike) {
        EXPECT_EQ(CollateStrings(a, b, 0), 0) << Show(a) << " ~ " << Show(b);
        EXPECT_EQ(CompareStrings(a, b, 0), 0);
    }
}

TEST_F(Collation, LengthAndEmptyStrings) {
    for (int cs : {0, 1}) {
        EXPECT_EQ(CollateStrings("", "", cs), 0);
        EXPECT_EQ(CollateStrings("", "a", cs), -1);
        EXPECT_EQ(CollateStrings("abc", "abcd", cs), -1);
        EXPECT_EQ(CollateStrings("abcd", "abc", cs), 1);
        EXPECT_EQ(CollateStrings("same", "same", cs), 0);
    }
}

TEST_F(Collation, LettersOutweighCaseAndAccents) {
    // Case and accents decide only where the letters tie, at the first
    // position where they differ; the shorter string first before that.
    for (int cs : {0, 1}) {
        EXPECT_EQ(CollateStrings("\xC3\xA9" "a", "eb", cs), -1) << cs;  // e-acute a < e b
        EXPECT_EQ(CollateStrings("eb", "\xC3\xA9" "b", cs), -1) << cs;
        EXPECT_EQ(CollateStrings("\xC3\x89" "cole", "ecoles", cs), -1) << cs;
        EXPECT_EQ(CollateStrings("Zebra", "apple", cs), 1) << cs;
    }
    EXPECT_EQ(CollateStrings("Hello", "hello", 1), 1);
    EXPECT_EQ(CollateStrings("ab", "Ab", 1), -1);
    EXPECT_EQ(CollateStrings("Hello", "hello", 0), 0);
    EXPECT_EQ(CollateStrings("Ab", "aB", 1), 1);  // the first difference decides
}

TEST_F(Collation, SortsWordsLikeADictionary) {
    const std::vector<std::string> expected = {"\xC3\x84pfel", "apple", "Apple", "APPLE", "apples",
                                               "banana",       "bar",   "Bar",   "B\xC3\xA4r"};
    std::vector<std::string> words = {"bar", "APPLE", "B\xC3\xA4r", "apples", "Apple", "banana", "\xC3\x84pfel",
                                      "Bar", "apple"};
    std::stable_sort(words.begin(), words.end(), [](const std::string &a, const std::string &b) {
        return CompareStrings(a.c_str(), b.c_str(), 1) < 0;
    });
    EXPECT_EQ(words, expected);
}

TEST_F(Collation, MappedFormsFoldToTheirBase) {
    for (int cs : {0, 1}) {
        // O with stroke folds to O, so it sorts among the O words.
        EXPECT_EQ(CollateStrings("\xC3\x98l", "!x", cs), 1) << cs;
        EXPECT_EQ(CollateStrings("\xC3\x98" "a", "Ob", cs), -1) << cs;
        EXPECT_EQ(CollateStrings("Oz", "\xC3\x98" "a", cs), 1) << cs;
        // Folds whose base lies beyond the tables (micro sign to U+03BC,
        // U+023F to U+2C7E in upper case) compare as they stand.
        EXPECT_EQ(CollateStrings("\xC2\xB5" "a", "\xC2\xB5" "b", cs), -1) << cs;
        EXPECT_EQ(CollateStrings("\xC8\xBF" "b", "\xC8\xBF" "a", cs), 1) << cs;
        EXPECT_EQ(CollateStrings("\xC5\x89x", "\xC5\x89y", cs), -1) << cs;  // U+0149 folds to U+02BC
        // Ligature-like letters fold to their first letter: DZ with caron to D.
        EXPECT_EQ(CollateStrings("\xC7\x84" "a", "Db", cs), -1) << cs;
    }
}

TEST_F(Collation, OutOfTableAndInvalidInputCompareAlike) {
    const char *euro = "\xE2\x82\xAC";
    for (int cs : {0, 1}) {
        EXPECT_EQ(CollateStrings(euro, "abc", cs), 0);
        EXPECT_EQ(CollateStrings("a\xE2\x82\xAC", "ab", cs), 0);
        EXPECT_EQ(CollateStrings("a\xE2\x82\xAC", "b", cs), -1);  // decided before the euro sign
        EXPECT_EQ(CollateStrings("x", "a\xE2\x82\xAC", cs), 1);
        EXPECT_EQ(CollateStrings("\xC3", "a", cs), 0);
        EXPECT_EQ(CollateStrings("a", "b\xFF", cs), 0);
        EXPECT_EQ(CollateStrings("\xC0\x80", "", cs), 0);
    }
}

TEST_F(Collation, TablesAreRebuiltAfterBeingFreed) {
    EXPECT_EQ(CollateStrings("a", "A", 1), -1);
    FreeCollationTables();
    FreeCollationTables();
    EXPECT_EQ(CollateStrings("a", "A", 1), -1);
    EXPECT_EQ(CollateStrings("a", "A", 0), 0);
    FreeCollationTables();
}

TEST(CompareStringsLatin1, ByteOrderOrCaseBlindBytes) {
    ModeGuard mode(0);
    EXPECT_LT(CompareStrings("B", "a", 1), 0);
    EXPECT_GT(CompareStrings("a", "B", 1), 0);
    EXPECT_EQ(CompareStrings("\xE9", "\xC9", 1), 0xE9 - 0xC9);
    EXPECT_EQ(CompareStrings("abc", "abc", 1), 0);
    EXPECT_LT(CompareStrings("ab", "abc", 1), 0);
    EXPECT_LT(CompareStrings("a", "B", 0), 0);
    EXPECT_EQ(CompareStrings("\xE9t\xE9", "\xC9T\xC9", 0), 0);
}

// The packed weight tables: antisymmetric, 2 on the diagonal, and the
// case-insensitive table is the case-sensitive one with case ignored.
TEST(CollationData, WeightTablesAreConsistent) {
    using cx::collation::kSide;
    std::vector<unsigned char> s(cx::collation::kTableBytes), i(cx::collation::kTableBytes);
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, cx::collation::kPackedTableS.data, cx::collation::kPackedTableS.size);
    ASSERT_EQ(UnpackCxpk("CXPK", name, nullptr, nullptr, 0, nullptr, nullptr, s.data(), s.size()), 0);
    MakeMemoryName(name, sizeof name, cx::collation::kPackedTableI.data, cx::collation::kPackedTableI.size);
    ASSERT_EQ(UnpackCxpk("CXPK", name, nullptr, nullptr, 0, nullptr, nullptr, i.data(), i.size()), 0);
    size_t alikeS = 0, alikeI = 0;
    for (uint32_t x = 0; x < kSide; ++x)
        for (uint32_t y = 0; y < kSide; ++y) {
            const unsigned char ws = s[x * kSide + y], wi = i[x * kSide + y];
            ASSERT_TRUE(ws >= 1 && ws <= 3 && wi >= 1 && wi <= 3) << x << "," << y;
            ASSERT_EQ(ws + s[y * kSide + x], 4) << x << "," << y;
            ASSERT_EQ(wi + i[y * kSide + x], 4) << x << "," << y;
            if (x == y) {
                ASSERT_EQ(ws, 2);
                ASSERT_EQ(wi, 2);
                continue;
            }
            if (wi != 2) {
                ASSERT_EQ(ws, wi) << x << "," << y;  // I only merges, never reorders
            }
            alikeS += ws == 2;
            alikeI += wi == 2;
        }
    EXPECT_EQ(alikeS, 0u);
    EXPECT_GT(alikeI, 2u * 200);  // ordered pairs: at least the case pairs of the Latin letters
    // Each lower-case letter of the case pairs sorts directly before its capital.
    for (uint32_t lower = 0; lower < kSide; ++lower) {
        const uint32_t upper = UnicodeToUpper(lower);
        if (upper == lower || upper >= kSide || UnicodeToLower(upper) != lower) continue;
        EXPECT_EQ(s[lower * kSide + upper], 1) << std::hex << lower;
        EXPECT_EQ(i[lower * kSide + upper], 2) << std::hex << lower;
    }
}

TEST(CollationData, MapPairsFoldToBaseLetters) {
    std::vector<uint32_t> map(cx::collation::kSide);
    for (uint32_t c = 0; c < map.size(); ++c) map[c] = c;
    size_t pairs = 0;
    for (const uint16_t *p = cx::collation::kMapPairs[0]; p[0] != 0; p += 2, ++pairs) map[p[0]] = p[1];
    EXPECT_EQ(pairs, 286u);
    const std::pair<uint32_t, uint32_t> expected[] = {
        {0xC0, 0x41}, {0xC5, 0x41}, {0xE7, 0x63}, {0x149, 0x2BC}, {0x1C4, 0x44}, {0x1C5, 0x44}, {0xB5, 0x3BC},
        {0xA0, 0x20}, {0xB2, 0x32}, {0xD8, 0x4F}, {0xF8, 0x6F}, {0x1FE, 0x4F}, {0x1FF, 0x6F}, {0x1D6, 0x75},
        {0x41, 0x41}, {0xDF, 0xDF}, {0xC6, 0xC6}};
    for (const auto &[from, to] : expected) EXPECT_EQ(map[from], to) << std::hex << from;
}

}  // namespace
