#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/charset/charset.h"

namespace {

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using Owned = std::unique_ptr<char, FreeDeleter>;

std::string ToUtf8(const std::string &latin1) {
    std::string out(latin1.size() * 2 + 1, '#');
    Latin1ToUtf8(latin1.c_str(), out.data());
    return out.c_str();
}

std::string ToLatin1(const std::string &utf8) {
    std::string out(utf8.size() + 1, '#');
    Utf8ToLatin1(utf8.c_str(), out.data());
    return out.c_str();
}

TEST(EncodingConversion, Latin1ToUtf8Forms) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"\xE9", "\xC3\xA9"},
        {"\xA9", "\xC2\xA9"},
        {"\x80\xBF\xC0\xFF", "\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF"},
        {"caf\xE9!", "caf\xC3\xA9!"},
    };
    for (const auto &[latin1, utf8] : cases) {
        EXPECT_EQ(ToUtf8(latin1), utf8);
        Owned copy(Latin1ToUtf8Alloc(latin1.c_str()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(std::string(copy.get()), utf8);
    }
}

TEST(EncodingConversion, EveryLatin1ByteRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = ToUtf8(all);
    EXPECT_EQ(ValidateUtf8(utf8.data(), utf8.size(), nullptr), 1);
    EXPECT_EQ(ToLatin1(utf8), all);
    Owned there(ConvertEncodingAlloc(all.c_str(), ENCODING_ISO8859_1, ENCODING_UTF8));
    ASSERT_TRUE(there);
    Owned back(ConvertEncodingAlloc(there.get(), ENCODING_UTF8, ENCODING_ISO8859_1));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::string(back.get()), all);
}

TEST(EncodingConversion, Utf8WithoutLatin1FormBecomesQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xE2\x82\xAC", "?"},                  // euro sign
        {"a\xE2\x82\xAC" "b", "a?b"},
        {"\xF0\x9F\x98\x80!", "?!"},
        {"\xC3", "?"},                          // lead byte at the end
        {"\xC3(", "?("},
        {"\x80\x80x", "?x"},                    // a stray continuation byte takes its followers
        {"\xC5\x93", "?"},                      // U+0153, beyond ISO-8859-1
        {"\xFC\x80\x80\x80\x80\x80\x80", "??"}, // at most five continuation bytes go with a lead
    };
    for (const auto &[utf8, latin1] : cases) EXPECT_EQ(ToLatin1(utf8), latin1) << testing::PrintToString(utf8);
}

TEST(EncodingConversion, CountedFormsReadOnlyTheirBytes) {
    char out[8];
    Utf8ToLatin1N("\xC3\xA9z", out, 1);  // the sequence is cut by the count
    EXPECT_STREQ(out, "?");
    Utf8ToLatin1N("\xC3\xA9z", out, 2);
    EXPECT_STREQ(out, "\xE9");
    std::strcpy(out, "junk");
    Utf8ToLatin1N("abc", out, 0);
    EXPECT_STREQ(out, "");
    Utf8ToLatin1N("abc", out, -3);
    EXPECT_STREQ(out, "");
}

TEST(EncodingConversion, TrackedPositionFollowsTheCharacter) {
    const char *source = "a\xC3\xA9\xE2\x82\xAC" "xyz";  // a, e-acute, euro, x, y, z
    char out[16];
    const char *position = source + 3;  // the third character
    Utf8ToLatin1Tracked(source, out, static_cast<ptrdiff_t>(std::strlen(source)), &position);
    EXPECT_STREQ(out, "a\xE9?xyz");
    EXPECT_EQ(position, out + 2);

    position = source + std::strlen(source);  // the end maps to the end
    Utf8ToLatin1Tracked(source, out, static_cast<ptrdiff_t>(std::strlen(source)), &position);
    EXPECT_EQ(position, out + 6);

    position = source + 2;  // inside a character: left alone
    Utf8ToLatin1Tracked(source, out, static_cast<ptrdiff_t>(std::strlen(source)), &position);
    EXPECT_EQ(position, source + 2);

    position = source + 6;
    Owned copy(Utf8ToLatin1TrackedAlloc(source, &position));
    ASSERT_TRUE(copy);
    EXPECT_EQ(position, copy.get() + 3);
    EXPECT_STREQ(copy.get(), "a\xE9?xyz");
}

TEST(EncodingConversion, OnlyTheTwoDirectionsConvert) {
    EXPECT_EQ(ConvertEncodingAlloc("x", ENCODING_UTF8, ENCODING_UTF8), nullptr);
    EXPECT_EQ(ConvertEncodingAlloc("x", ENCODING_RAW, ENCODING_ISO8859_1), nullptr);
    EXPECT_EQ(ConvertEncodingAlloc("x", ENCODING_AMIGA, ENCODING_UTF8), nullptr);
    EXPECT_EQ(ConvertEncodingAlloc("x", ENCODING_UTF8, ENCODING_AMIGA), nullptr);
    Owned utf8(ConvertEncodingAlloc("\xE9", ENCODING_RAW, ENCODING_UTF8));
    ASSERT_TRUE(utf8);
    EXPECT_STREQ(utf8.get(), "\xC3\xA9");
    Owned latin1(Utf8ToLatin1Alloc("\xC3\xA9t\xC3\xA9"));
    ASSERT_TRUE(latin1);
    EXPECT_STREQ(latin1.get(), "\xE9t\xE9");
}

}  // namespace
