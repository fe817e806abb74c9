// The walkers and decoders on ranges that are not NUL-terminated: each input
// sits in a heap block of exactly its size, so that AddressSanitizer reports
// any read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/charset/charset.h"

namespace {

std::unique_ptr<char[]> Exact(const std::string &bytes) {
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    return block;
}

// Inputs that end inside a sequence or in the middle of a long form.
const std::vector<std::string> &Tails() {
    static const std::vector<std::string> tails = {
        "",
        "a",
        "\xC3",
        "x\xC3",
        "\xE2\x82",
        "ab\xE2",
        "\xF0\x9F\x98",
        "\xF4\x8F\xBF",
        "\xF8\x88\x80\x80",
        "\xFC\x84\x80\x80\x80",
        "\xFD\xBF\xBF\xBF\xBF\xBF",
        "\xFE\x80\x80\x80\x80\x80",
        "\x80\x80\x80",
        "ok\xC3\xA9",
        "\xE2\x82\xAC",
    };
    return tails;
}

TEST(Utf8Bounds, DecodersStopAtTheEnd) {
    for (const std::string &tail : Tails()) {
        SCOPED_TRACE(testing::PrintToString(tail));
        const auto block = Exact(tail);
        const char *begin = block.get(), *end = begin + tail.size();
        size_t chars = 0;
        for (const char *p = begin; p < end; ++chars) {
            uint32_t cp = 0;
            const int n = Utf8DecodeChar(p, end, &cp);
            ASSERT_GE(n, 1);
            ASSERT_LE(p + n, end);
            EXPECT_EQ(Utf8DecodeCharBounded(p, end, &cp), n);
            EXPECT_EQ(Utf8SkipChar(p, end), p + n);
            p += n;
        }
        EXPECT_EQ(Utf8CountChars(begin, end), chars);
        uint32_t cp = 1;
        EXPECT_EQ(Utf8DecodeChar(end, end, &cp), 0);
        EXPECT_EQ(Utf8DecodeCharBounded(end, end, &cp), 0);
        EXPECT_EQ(Utf8SkipChar(end, end), end);
        for (const char *p = end; p > begin;) {
            const char *prev = Utf8PrevChar(begin, p);
            ASSERT_LT(prev, p);
            p = prev;
        }
        EXPECT_LE(Utf8ByteToCharOffset(begin, static_cast<ptrdiff_t>(tail.size())), tail.size());
    }
}

TEST(Utf8Bounds, CutSequencesReadAsSingleBytes) {
    const auto block = Exact("\xF0\x9F\x98");
    uint32_t cp = 0;
    EXPECT_EQ(Utf8DecodeChar(block.get(), block.get() + 3, &cp), 1);
    EXPECT_EQ(cp, 0xF0u);
    EXPECT_EQ(Utf8CountChars(block.get(), block.get() + 3), 3u);
}

TEST(Utf8Bounds, ValidationAndLengthStayInside) {
    for (const std::string &tail : Tails()) {
        SCOPED_TRACE(testing::PrintToString(tail));
        const auto block = Exact(tail);
        size_t count = 0;
        const int valid = ValidateUtf8(block.get(), tail.size(), &count);
        int invalid = 0;
        EXPECT_EQ(Utf8LenChecked(block.get(), tail.size(), &invalid), valid ? count : 0u);
        EXPECT_EQ(invalid, !valid);
    }
}

TEST(Utf8Bounds, ConversionAndComparisonStayInside) {
    for (const std::string &tail : Tails()) {
        SCOPED_TRACE(testing::PrintToString(tail));
        const auto a = Exact(tail);
        const auto b = Exact(tail);
        const ptrdiff_t n = static_cast<ptrdiff_t>(tail.size());
        std::vector<char> out(tail.size() + 1);
        Utf8ToLatin1N(a.get(), out.data(), n);
        EXPECT_LE(std::strlen(out.data()), tail.size());
        EXPECT_EQ(Utf8CompareRangesNoCase(a.get(), b.get(), a.get() + n, b.get() + n), 0);
        EXPECT_EQ(Utf8CompareBytesNoCase(a.get(), b.get(), tail.size()), 0);
        EXPECT_EQ(Utf8NCompareNoCase(a.get(), b.get(), tail.size()), 0);
        EXPECT_EQ(Latin1NCompareNoCase(a.get(), b.get(), tail.size()), 0);
        const auto longer = Exact(tail + "z");
        EXPECT_LT(Utf8CompareRangesNoCase(a.get(), longer.get(), a.get() + n, longer.get() + n + 1), 0);
    }
}

}  // namespace
