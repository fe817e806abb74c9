#include "graphics/pixels/pixel_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

struct FormatCase {
    uint32_t format, bytes, depth;
    uint32_t pixel;     // ColorToPixel(0x80FF8040, format, keep alpha)
    uint32_t noAlpha;   // ColorToPixel(0x80FF8040, format, 0)
    uint32_t back;      // PixelToColor(pixel, format, keep alpha)
    uint8_t stored[4];  // the pixel in memory, lowest address first (little-endian machine)
};

// 0x80FF8040: R 0xFF, G 0x80, B 0x40, A 0x80.
const FormatCase kCases[] = {
    {0, 2, 15, 0x7E08, 0x7E08, 0x00F88040, {0x08, 0x7E}},
    {1, 2, 15, 0x221F, 0x221F, 0x00F88040, {0x1F, 0x22}},
    {2, 2, 15, 0x087E, 0x087E, 0x00F88040, {0x7E, 0x08}},
    {3, 2, 15, 0x1F22, 0x1F22, 0x00F88040, {0x22, 0x1F}},
    {4, 2, 16, 0xFC08, 0xFC08, 0x00F88040, {0x08, 0xFC}},
    {5, 2, 16, 0x441F, 0x441F, 0x00F88040, {0x1F, 0x44}},
    {6, 2, 16, 0x08FC, 0x08FC, 0x00F88040, {0xFC, 0x08}},
    {7, 2, 16, 0x1F44, 0x1F44, 0x00F88040, {0x44, 0x1F}},
    {8, 3, 24, 0xFF8040, 0xFF8040, 0x00FF8040, {0xFF, 0x80, 0x40}},
    {9, 3, 24, 0x4080FF, 0x4080FF, 0x00FF8040, {0x40, 0x80, 0xFF}},
    {10, 4, 32, 0x80FF8040, 0x00FF8040, 0x80FF8040, {0x40, 0x80, 0xFF, 0x80}},
    {11, 4, 32, 0x4080FF80, 0x4080FF00, 0x80FF8040, {0x80, 0xFF, 0x80, 0x40}},
    {12, 4, 32, 0xFF804080, 0xFF804000, 0x80FF8040, {0x80, 0x40, 0x80, 0xFF}},
    {13, 4, 32, 0x804080FF, 0x004080FF, 0x80FF8040, {0xFF, 0x80, 0x40, 0x80}},
};

TEST(PixelFormat, TableOfAllFormatsBothWays) {
    for (const FormatCase &c : kCases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(GetBytesPerPixel(c.format), c.bytes);
        EXPECT_EQ(GetFormatDepth(c.format), c.depth);
        EXPECT_EQ(ColorToPixel(0x80FF8040, c.format, 1), c.pixel);
        EXPECT_EQ(ColorToPixel(0x80FF8040, c.format, 0), c.noAlpha);
        EXPECT_EQ(PixelToColor(c.pixel, c.format, 1), c.back);
        EXPECT_EQ(PixelToColor(c.pixel, c.format, 0), c.back & 0xFFFFFF);

        // Storage order in memory and the round trip through it.
        uint8_t mem[4] = {};
        StorePixelValue(mem, c.format, c.pixel);
        EXPECT_EQ(0, std::memcmp(mem, c.stored, c.bytes));
        EXPECT_EQ(LoadPixelValue(mem, c.format), c.pixel);

        uint8_t rgba[4];
        UnpackPixel(mem, c.format, rgba);
        EXPECT_EQ(rgba[0], (c.back >> 16) & 0xFF);
        EXPECT_EQ(rgba[1], (c.back >> 8) & 0xFF);
        EXPECT_EQ(rgba[2], c.back & 0xFF);
        EXPECT_EQ(rgba[3], c.back >> 24);
        uint8_t again[4] = {};
        PackPixel(again, c.format, rgba);
        EXPECT_EQ(0, std::memcmp(again, mem, c.bytes));
    }
}

TEST(PixelFormat, EveryRepresentableColourSurvivesTheRoundTrip) {
    std::mt19937 rng(7);
    for (uint32_t f = 0; f < CX_PIXFMT_COUNT; ++f) {
        for (int i = 0; i < 2000; ++i) {
            const uint32_t colour = rng();
            const uint32_t pixel = ColorToPixel(colour, f, 1);
            const uint32_t back = PixelToColor(pixel, f, 1);
            // What comes back is the colour cut to the format's precision.
            EXPECT_EQ(ColorToPixel(back, f, 1), pixel) << f;
            if (f >= 8) {
                EXPECT_EQ(back & 0xFFFFFF, colour & 0xFFFFFF) << f;
            }
            if (f >= 10) {
                EXPECT_EQ(back >> 24, colour >> 24) << f;
            }
        }
    }
}

TEST(PixelFormat, UnknownFormatsGiveNothing) {
    for (uint32_t f : {14u, 15u, 99u}) {
        EXPECT_EQ(ColorToPixel(0x80FF8040, f, 1), 0u);
        EXPECT_EQ(PixelToColor(0x1234, f, 1), 0u);
        EXPECT_EQ(GetBytesPerPixel(f), 0u);
        EXPECT_EQ(GetFormatDepth(f), 0u);
        uint8_t mem[4] = {1, 2, 3, 4};
        const uint8_t rgba[4] = {9, 9, 9, 9};
        PackPixel(mem, f, rgba);
        EXPECT_EQ(mem[0], 1);
        EXPECT_EQ(ConvertPixelRow(mem, f, mem, 10, 1), 0);
    }
}

TEST(PixelFormat, WorkingForms) {
    // 32-bit: 11-13 to 0x00RRGGBB without alpha and back; others unchanged.
    EXPECT_EQ(FormatToRGB(11, 0x4080FF80), 0x00FF8040u);
    EXPECT_EQ(FormatToRGB(12, 0xFF804080), 0x00FF8040u);
    EXPECT_EQ(FormatToRGB(13, 0x804080FF), 0x00FF8040u);
    EXPECT_EQ(FormatToRGB(10, 0x80FF8040), 0x80FF8040u);
    EXPECT_EQ(RGBToFormat(11, 0x00FF8040), 0x4080FF00u);
    EXPECT_EQ(RGBToFormat(12, 0x00FF8040), 0xFF804000u);
    EXPECT_EQ(RGBToFormat(13, 0x00FF8040), 0x004080FFu);
    EXPECT_EQ(RGBToFormat(10, 0x12345678), 0x12345678u);
    // 16-bit: 5-5-5 green gains one zero bit in 5-6-5 and loses it again.
    EXPECT_EQ(FormatToRGB565(0, 0x7E08), 0xFC08u);
    EXPECT_EQ(FormatToRGB565(7, 0x1F44), 0xFC08u);
    EXPECT_EQ(FormatToRGB565(4, 0xABCD), 0xABCDu);
    EXPECT_EQ(RGB565ToFormat(0, 0xFC08), 0x7E08u);
    EXPECT_EQ(RGB565ToFormat(6, 0xFC08), 0x08FCu);
    for (uint32_t f = 0; f < 8; ++f)
        for (uint32_t p = 0; p < 0x10000; p += 97) {
            const uint32_t canonical = ColorToPixel(PixelToColor(p, f, 0), f, 0);
            EXPECT_EQ(RGB565ToFormat(f, FormatToRGB565(f, canonical)), canonical) << f;
        }
}

TEST(PixelFormat, RowConversionKeepsColoursAcrossEveryPair) {
    std::mt19937 rng(11);
    uint32_t argb[64];
    for (auto &c : argb) c = rng();
    for (uint32_t sf = 0; sf < CX_PIXFMT_COUNT; ++sf) {
        uint8_t src[64 * 4];
        ASSERT_EQ(ARGBToPixelRow(argb, src, sf, 64), 1);
        for (uint32_t df = 0; df < CX_PIXFMT_COUNT; ++df) {
            uint8_t dst[64 * 4];
            ASSERT_EQ(ConvertPixelRow(src, sf, dst, df, 64), 1);
            for (int i = 0; i < 64; ++i) {
                const uint32_t from = PixelToColor(LoadPixelValue(src + i * GetBytesPerPixel(sf), sf), sf, 1);
                const uint32_t expect = ColorToPixel(from, df, 1);
                ASSERT_EQ(LoadPixelValue(dst + i * GetBytesPerPixel(df), df), expect) << sf << "->" << df;
            }
        }
    }
}

} // namespace
