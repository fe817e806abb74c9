#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "text/fonts/font.h"

namespace {

struct Case {
    const char *name;
    std::string text;
    int expected;                 // 0 decoded, ERR_USERABORT bytes
    std::vector<uint32_t> points; // when decoded
};

TEST(DecodeTextCodePoints, Utf8Forms) {
    const std::vector<Case> cases = {
        {"ascii", "Ab", 0, {'A', 'b'}},
        {"two bytes", "\xC3\x84", 0, {0xC4}},
        {"three bytes", "\xE2\x82\xAC!", 0, {0x20AC, '!'}},
        {"four bytes", "\xF0\x9F\x98\x80", 0, {0x1F600}},
        {"five bytes", "\xF8\x88\x80\x80\x80", 0, {0x200000}},
        {"empty", "", 0, {}},
        {"lone continuation", "a\x80", ERR_USERABORT, {}},
        {"six leading ones", "\xFC\x80\x80\x80\x80\x80", ERR_USERABORT, {}},
        {"cut by the end", "a\xE2\x82", ERR_USERABORT, {}},
        {"following byte without the high bit", "\xC3" "A", ERR_USERABORT, {}},
    };
    for (const Case &c : cases) {
        uint32_t buffer[16];
        uint32_t *out = nullptr;
        size_t count = 99;
        int allocated = 1;
        const int rc = DecodeTextCodePoints(c.text.data(), c.text.size(), 1, buffer, 16, &out, &count, &allocated);
        EXPECT_EQ(rc, c.expected) << c.name;
        EXPECT_EQ(allocated, 0) << c.name;
        if (rc == 0) {
            EXPECT_EQ(std::vector<uint32_t>(out, out + count), c.points) << c.name;
        }
    }
}

TEST(DecodeTextCodePoints, Latin1ModeAlwaysUsesTheBytes) {
    uint32_t buffer[4];
    uint32_t *out = nullptr;
    size_t count;
    int allocated;
    EXPECT_EQ(DecodeTextCodePoints("\xC3\x84", 2, 0, buffer, 4, &out, &count, &allocated), ERR_USERABORT);
}

TEST(DecodeTextCodePoints, AllocatesWhenTheBufferIsSmall) {
    const std::string text(40, 'x');
    uint32_t buffer[4];
    uint32_t *out = nullptr;
    size_t count;
    int allocated;
    ASSERT_EQ(DecodeTextCodePoints(text.data(), text.size(), 1, buffer, 4, &out, &count, &allocated), 0);
    EXPECT_EQ(allocated, 1);
    EXPECT_NE(out, buffer);
    EXPECT_EQ(count, 40u);
    EXPECT_EQ(out[39], uint32_t('x'));
    free(out);
    // Invalid text frees what it allocated (the sanitizer run checks).
    const std::string bad = text + "\x80";
    EXPECT_EQ(DecodeTextCodePoints(bad.data(), bad.size(), 1, buffer, 4, &out, &count, &allocated), ERR_USERABORT);
    EXPECT_EQ(allocated, 0);
}

} // namespace
