#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "tests/engine/charset/mode_guard.h"

namespace {

struct DecodeCase {
    std::string bytes;
    size_t range;  // bytes the decoder may see
    uint32_t codePoint;
    int length;
};

TEST(Utf8Decode, DecodesOrFallsBackToTheLeadByte) {
    const DecodeCase cases[] = {
        {"A", 1, 0x41, 1},
        {"\xC3", 1, 0xC3, 1},  // lead byte at the end of its range
        {"\xC3\xA9", 2, 0xE9, 2},
        {"\xC3\xA9", 1, 0xC3, 1},  // continuation outside the range
        {"\xE2\x82\xAC", 3, 0x20AC, 3},
        {"\xE2\x82\xAC", 2, 0xE2, 1},
        {"\x80", 1, 0x80, 1},  // stray continuation byte
        {"\xC3(", 2, 0xC3, 1},
        {"\xF0\x9F\x98\x80", 4, 0x1F600, 4},
        {"\xF0\x9F\x98\x80", 3, 0xF0, 1},
        {"\xF0\x9F\x98" "A", 4, 0xF0, 1},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF, 4},
        {"\xF8\x88\x80\x80\x80", 5, 0x200000, 5},
        {"\xFC\x84\x80\x80\x80\x80", 6, 0x4000000, 6},
        {"\xFD\xBF\xBF\xBF\xBF\xBF", 6, 0x7FFFFFFF, 6},
        {"\xFE\x80\x80\x80\x80\x80\x80", 7, 0xFE, 1},  // would need six continuation bytes
        {"\xC0\x80", 2, 0, 2},  // overlong, read as it stands: no validation here
        {"\xED\xA0\x80", 3, 0xD800, 3},
    };
    for (const DecodeCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes) + " range " + std::to_string(c.range));
        uint32_t cp = 12345;
        EXPECT_EQ(Utf8DecodeChar(c.bytes.data(), c.bytes.data() + c.range, &cp), c.length);
        EXPECT_EQ(cp, c.codePoint);
    }
}

TEST(Utf8Decode, NullEndReadsANulTerminatedText) {
    uint32_t cp = 0;
    EXPECT_EQ(Utf8DecodeChar("\xE2\x82\xAC", nullptr, &cp), 3);
    EXPECT_EQ(cp, 0x20ACu);
    EXPECT_EQ(Utf8DecodeChar("\xF0\x9F", nullptr, &cp), 1);  // the NUL ends the sequence
    EXPECT_EQ(cp, 0xF0u);
}

TEST(Utf8Decode, EmptyRangeGivesZero) {
    const char text[] = "ab";
    uint32_t cp = 99;
    EXPECT_EQ(Utf8DecodeCharBounded(text, text, &cp), 0);
    EXPECT_EQ(cp, 0u);
    cp = 99;
    EXPECT_EQ(Utf8DecodeCharBounded(text + 2, text + 1, &cp), 0);
    EXPECT_EQ(cp, 0u);
    cp = 99;
    EXPECT_EQ(Utf8DecodeChar(text + 1, text + 1, &cp), 0);
    EXPECT_EQ(cp, 0u);
    EXPECT_EQ(Utf8DecodeCharBounded(text, text + 2, &cp), 1);
    EXPECT_EQ(cp, 0x61u);
}

TEST(Utf8NextChar, WalksCharactersAndAdvancesTheIndex) {
    const char *text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    const std::vector<std::pair<uint32_t, size_t>> expected = {
        {0x61, 1}, {0xE9, 3}, {0x20AC, 6}, {0x1F600, 10}, {0x7A, 11}};
    size_t index = 0;
    for (const auto &[cp, next] : expected) {
        EXPECT_EQ(Utf8NextChar(text, &index), cp);
        EXPECT_EQ(index, next);
    }
}

TEST(Utf8NextChar, TakesAtMostFiveContinuationBytes) {
    const char *text = "\xFC\x84\x80\x80\x80\x80\x80\x80";
    size_t index = 0;
    EXPECT_EQ(Utf8NextChar(text, &index), 0x4000000u);
    EXPECT_EQ(index, 6u);
    Utf8NextChar(text, &index);
    EXPECT_EQ(index, 8u);  // the two left over read as one more character
}

TEST(Utf8NextChar, StopsAtTheNul) {
    const char text[] = "\xC3";
    size_t index = 1;
    EXPECT_EQ(Utf8NextChar(text, &index), 0u);
    EXPECT_EQ(index, 2u);
}

TEST(Utf8Walk, SkipCountAndStepBack) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC" "b\x80\x80";
    const char *start = s.data(), *end = s.data() + s.size();
    EXPECT_EQ(Utf8CountChars(start, end), 6u);  // the stray bytes count one each
    EXPECT_EQ(Utf8CountChars(start, start), 0u);
    EXPECT_EQ(Utf8SkipChar(start, end), start + 1);
    EXPECT_EQ(Utf8SkipChar(start + 1, end), start + 3);
    EXPECT_EQ(Utf8SkipChar(start + 3, end), start + 6);
    EXPECT_EQ(Utf8SkipChar(start + 3, start + 5), start + 4);  // cut sequence: one byte
    EXPECT_EQ(Utf8SkipChar(end, end), end);
    EXPECT_EQ(Utf8PrevChar(start, start + 6), start + 3);
    EXPECT_EQ(Utf8PrevChar(start, start + 3), start + 1);
    EXPECT_EQ(Utf8PrevChar(start, start), start);
    EXPECT_EQ(Utf8PrevChar(start + 1, start + 3), start + 1);
    EXPECT_EQ(Utf8PrevChar(start, end), start + 6);  // back over stray bytes to 'b'
    const char cont[] = "\x80\x80";
    EXPECT_EQ(Utf8PrevChar(cont, cont + 2), cont);  // never before start
}

TEST(Utf8Walk, CharacterAndByteOffsets) {
    const char *text = "a\xC3\xA9\xE2\x82\xAC" "x";  // 4 characters, 7 bytes
    const std::pair<ptrdiff_t, size_t> toBytes[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 3}, {3, 6}, {4, 7}, {10, 7}};
    for (const auto &[chars, bytes] : toBytes) EXPECT_EQ(Utf8CharToByteOffset(text, chars), bytes) << chars;
    const std::pair<ptrdiff_t, size_t> toChars[] = {{-5, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {6, 3}, {7, 4}};
    for (const auto &[bytes, chars] : toChars) EXPECT_EQ(Utf8ByteToCharOffset(text, bytes), chars) << bytes;
    // A character is one byte and at most three continuation bytes.
    EXPECT_EQ(Utf8CharToByteOffset("\xF8\x80\x80\x80\x80", 1), 4u);
    EXPECT_EQ(Utf8ByteToCharOffset("\xF8\x80\x80\x80\x80", 5), 2u);
}

struct ValidateCase {
    std::string bytes;
    int valid;
    size_t count;  // valid characters before the first invalid one
};

TEST(ValidateUtf8, AcceptsWellFormedAndReportsTheValidPrefix) {
    const ValidateCase cases[] = {
        {"", 1, 0},
        {"plain", 1, 5},
        {std::string("a\0b", 3), 1, 3},
        {"\xC2\x80\xDF\xBF", 1, 2},
        {"\xE0\xA0\x80", 1, 1},       // U+0800, the first three-byte form
        {"\xED\x9F\xBF", 1, 1},       // U+D7FF
        {"\xEE\x80\x80", 1, 1},       // U+E000
        {"\xF0\x90\x80\x80", 1, 1},   // U+10000
        {"\xF4\x8F\xBF\xBF", 1, 1},   // U+10FFFF
        {"ab\xC0\x80", 0, 2},         // overlong NUL
        {"\xC1\xBF", 0, 0},           // overlong two-byte form
        {"a\xE0\x80\x80", 0, 1},      // overlong three-byte form
        {"a\xE0\x9F\xBF", 0, 1},
        {"\xF0\x80\x80\x80", 0, 0},   // overlong four-byte form
        {"\xF0\x8F\xBF\xBF", 0, 0},
        {"x\xED\xA0\x80", 0, 1},      // surrogate
        {"\xED\xBF\xBF", 0, 0},
        {"\xF4\x90\x80\x80", 0, 0},   // above U+10FFFF
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xF8\x88\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        {"ok\x80", 0, 2},             // stray continuation byte
        {"\xC3(", 0, 0},
        {"\xE2\x82(", 0, 0},
        {"xy\xE2\x82", 0, 2},         // cut off by the length
        {"\xF0\x9F\x98", 0, 0},
    };
    for (const ValidateCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        size_t count = 999;
        EXPECT_EQ(ValidateUtf8(c.bytes.data(), c.bytes.size(), &count), c.valid);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(ValidateUtf8(c.bytes.data(), c.bytes.size(), nullptr), c.valid);
        int invalid = 7;
        EXPECT_EQ(Utf8LenChecked(c.bytes.data(), c.bytes.size(), &invalid), c.valid ? c.count : 0u);
        EXPECT_EQ(invalid, !c.valid);
    }
}

TEST(ValidateUtf8, StrLenCheckedUsesTheWholeString) {
    int invalid = 5;
    EXPECT_EQ(Utf8StrLenChecked("h\xC3\xA9llo", &invalid), 5u);
    EXPECT_EQ(invalid, 0);
    EXPECT_EQ(Utf8StrLenChecked("h\xE9llo", &invalid), 0u);
    EXPECT_EQ(invalid, 1);
    EXPECT_EQ(Utf8StrLenChecked("", nullptr), 0u);
}

TEST(Utf8Encode, WritesTheFormAndANul) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0x00, ""},  // one NUL byte, length 1
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0x20AC, "\xE2\x82\xAC"},
        {0xD800, "\xED\xA0\x80"},  // surrogates are encoded like any value
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto &[cp, form] : cases) {
        char out[8];
        std::memset(out, 'x', sizeof out);
        const int n = Utf8EncodeChar(out, cp);
        EXPECT_EQ(n, cp == 0 ? 1 : static_cast<int>(form.size())) << std::hex << cp;
        EXPECT_EQ(std::string(out, n), cp == 0 ? std::string(1, '\0') : form) << std::hex << cp;
        EXPECT_EQ(out[n], '\0');
        uint32_t back = 0;
        EXPECT_EQ(Utf8DecodeChar(out, out + n, &back), n);
        EXPECT_EQ(back, cp);
    }
}

TEST(Utf8Encode, BeyondUnicodeOnlyTheNul) {
    for (uint32_t cp : {0x110000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
        EXPECT_EQ(Utf8EncodeChar(out, cp), 0);
        EXPECT_EQ(out[0], '\0');
        EXPECT_EQ(out[1], 'x');
    }
}

TEST(PutCharInEncoding, FollowsTheModeFlag) {
    char buffer[8];
    {
        ModeGuard mode(1);
        PutCharInEncoding(buffer, 0xE9);
        EXPECT_EQ(std::string(buffer, 8), std::string("\xC3\xA9\0\0\0\0\0\0", 8));
    }
    {
        ModeGuard mode(0);
        PutCharInEncoding(buffer, 0xE9);
        EXPECT_EQ(std::string(buffer, 8), std::string("\xE9\0\0\0\0\0\0\0", 8));
    }
}

TEST(Utf8Mode, StartsInUtf8AndSwitches) {
    EXPECT_EQ(GetUtf8Mode(), 1);
    {
        ModeGuard mode(0);
        EXPECT_EQ(GetUtf8Mode(), 0);
    }
    EXPECT_EQ(GetUtf8Mode(), 1);
}

}  // namespace
