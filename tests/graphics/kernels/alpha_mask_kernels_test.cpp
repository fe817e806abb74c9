#include <gtest/gtest.h>

#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/lock_buffer.h"

using cxtest::PixelBuffer;

namespace {

TEST(AlphaBytes, EveryMode) {
    const uint8_t src[4] = {0, 128, 255, 200};
    struct Case {
        int mode;
        uint8_t dst[4], expect[4];
    };
    const Case cases[] = {
        {0, {9, 9, 9, 0}, {0, 128, 255, 200}},
        {1, {9, 9, 9, 0}, {9, 128, 255, 200}},
        {2, {9, 9, 9, 0}, {9, 127, 0, 55}},
        {3, {9, 9, 9, 0}, {9, 255, 255, 255}},
        {4, {9, 9, 9, 0}, {9, 50, 100, 78}}, // value 100
        {5, {9, 9, 9, 0}, {9, 127, 0, 0}},
        {6, {9, 9, 9, 0}, {9, 100, 100, 100}},
        {7, {9, 9, 9, 0}, {0, 128, 255, 0}},
        {8, {9, 9, 9, 0}, {9, 9, 255, 0}},
        {9, {9, 0, 9, 255}, {9, 128, 255, 255}},
        {42, {9, 9, 9, 0}, {0, 128, 255, 200}},
    };
    for (const Case &c : cases) {
        uint8_t d[4];
        std::copy(c.dst, c.dst + 4, d);
        BltAlphaBytes(src, 0, 0, 4, d, 0, 0, 4, 4, 1, c.mode, 100);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(d[i], c.expect[i]) << "mode " << c.mode << " byte " << i;
    }
    // Mode 9: 128 over 255 stays 255.
    uint8_t s = 128, d = 255;
    BltAlphaBytes(&s, 0, 0, 1, &d, 0, 0, 1, 1, 1, 9, 0);
    EXPECT_EQ(d, 255);
}

TEST(MaskBits, AlphaToMaskByMode) {
    const uint8_t alpha[2] = {255, 254}; // set, unset
    struct Case {
        int mode;
        bool fromClear[2], fromSet[2];
    };
    const Case cases[] = {
        {0, {true, false}, {true, false}},  {1, {false, true}, {false, true}}, {2, {true, false}, {true, false}},
        {3, {true, false}, {false, true}},  {4, {false, false}, {true, true}}, {5, {true, false}, {true, true}},
        {6, {false, false}, {true, true}},
    };
    for (const Case &c : cases) {
        for (int start = 0; start < 2; ++start) {
            PixelBuffer mask(CX_PIXFMT_MASK, 16, 1);
            mask.SetBit(3, 0, start);
            mask.SetBit(4, 0, start);
            AlphaToMaskBits(alpha, 0, 0, 2, mask.bytes.data(), 3, 0, mask.rowLength, 2, 1, c.mode);
            const bool *expect = start ? c.fromSet : c.fromClear;
            EXPECT_EQ(mask.Bit(3, 0), expect[0]) << c.mode << " start " << start;
            EXPECT_EQ(mask.Bit(4, 0), expect[1]) << c.mode << " start " << start;
            EXPECT_FALSE(mask.Bit(2, 0));
            EXPECT_FALSE(mask.Bit(5, 0));
        }
    }
}

TEST(MaskBits, ClipShapeCutsMaskAndAlpha) {
    PixelBuffer clip(CX_PIXFMT_MASK, 16, 2), srcMask(CX_PIXFMT_MASK, 16, 3), out(CX_PIXFMT_MASK, 16, 3);
    for (int x = 0; x < 16; x += 2) clip.SetBit(x, 1, true); // every other column on clip row 1
    for (int x = 0; x < 16; ++x) srcMask.SetBit(x, 2, x < 8);
    cxClipMaskJob j{clip.bytes.data(), 1, 1, clip.rowLength, srcMask.bytes.data(), nullptr, srcMask.rowLength,
                    out.bytes.data(), out.rowLength, 3, 2, 10, 1};
    ClipBlitMask(&j);
    for (int x = 3; x < 13; ++x) EXPECT_EQ(out.Bit(x, 2), ((x - 3 + 1) % 2 == 0) && x < 8) << x;
    // Without a source mask only the clip counts.
    j.srcMask = nullptr;
    ClipBlitMask(&j);
    for (int x = 3; x < 13; ++x) EXPECT_EQ(out.Bit(x, 2), (x - 3 + 1) % 2 == 0) << x;

    PixelBuffer srcAlpha(CX_PIXFMT_ALPHA, 16, 3), outAlpha(CX_PIXFMT_ALPHA, 16, 3);
    for (auto &b : srcAlpha.bytes) b = 77;
    for (auto &b : outAlpha.bytes) b = 5;
    cxClipMaskJob ja{clip.bytes.data(), 1, 1, clip.rowLength, nullptr, srcAlpha.bytes.data(), srcAlpha.rowLength,
                     outAlpha.bytes.data(), outAlpha.rowLength, 3, 2, 10, 1};
    ClipBlitMask(&ja);
    for (int x = 3; x < 13; ++x) EXPECT_EQ(outAlpha.bytes[size_t(2) * outAlpha.rowLength + x], (x - 2) % 2 == 0 ? 77 : 0);
    EXPECT_EQ(outAlpha.bytes[size_t(2) * outAlpha.rowLength + 2], 5);
}

TEST(AlphaBytes, FillsScaleExtractAndMaskFill) {
    PixelBuffer a(CX_PIXFMT_ALPHA, 6, 3);
    FillAlphaBytes(a.bytes.data(), 1, 1, a.rowLength, 4, 2, 200);
    EXPECT_EQ(a.bytes[size_t(1) * a.rowLength + 1], 200);
    EXPECT_EQ(a.bytes[size_t(1) * a.rowLength + 5], 0);
    EXPECT_EQ(a.bytes[0], 0);
    ScaleAlphaBytes(a.bytes.data(), a.bytes.data(), 3, a.rowLength, 128);
    EXPECT_EQ(a.bytes[size_t(2) * a.rowLength + 4], 200 * 128 / 255);

    PixelBuffer m(CX_PIXFMT_MASK, 8, 1);
    m.SetBit(2, 0, true);
    uint8_t row[8] = {};
    FillAlphaThroughMask(m.bytes.data(), 1, 0, m.rowLength, row, 0, 0, 8, 4, 1, 99);
    EXPECT_EQ(row[1], 99);
    EXPECT_EQ(row[0] + row[2] + row[3], 0);

    const uint32_t argb[4] = {0x11000000, 0x22FFFFFF, 0x33000000, 0x44000000};
    uint8_t out[4] = {};
    ExtractAlphaBytes(argb, 2, 2, 2, out, 2);
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[1], 0x22);
    EXPECT_EQ(out[3], 0x44);
}

TEST(IndexedRows, PlainAndHoldAndModifyRestartEachRow) {
    uint32_t palette[256] = {};
    palette[0] = 0x123456;
    palette[1] = 0xA0B0C0;
    palette[5] = 0xFF0000;
    const uint8_t plain[2] = {1, 5};
    uint32_t out[4];
    ExpandIndexedRows(plain, 2, out, 2, 2, 1, palette, 0);
    EXPECT_EQ(out[0], 0xA0B0C0u);
    EXPECT_EQ(out[1], 0xFF0000u);

    // HAM6: modify blue (01), red (10), green (11); rows start from entry 0.
    const uint8_t ham6[4] = {0x1F, 0x23, 0x1F, 0x01};
    ExpandIndexedRows(ham6, 2, out, 2, 2, 2, palette, 6);
    EXPECT_EQ(out[0], 0x1133FFu); // palette[0] widened: 0x113355, blue 15*17
    EXPECT_EQ(out[1], 0x3333FFu); // red 3*17
    EXPECT_EQ(out[2], 0x1133FFu); // the second row restarts from palette[0]
    EXPECT_EQ(out[3], 0xAABBCCu); // palette[1] widened

    // HAM8: 6 data bits replace a channel's top six bits.
    const uint8_t ham8[3] = {0x7F, 0x80, 0xC1};
    ExpandIndexedRows(ham8, 3, out, 3, 3, 1, palette, 8);
    EXPECT_EQ(out[0], (0x123456u & ~0xFCu) | 0xFC);
    EXPECT_EQ(out[1], out[0] & ~0xFC0000u);
    EXPECT_EQ(out[2], (out[1] & ~0xFC00u) | (1u << 10));
}

TEST(MaskFill, ColourWhereTheMaskIsSet) {
    PixelBuffer dst(4, 8, 1), m(CX_PIXFMT_MASK, 8, 1);
    m.SetBit(1, 0, true);
    m.SetBit(6, 0, true);
    cxMaskFillJob j{dst.bytes.data(), 0, 0, 8, 1, dst.rowLength, m.bytes.data(), 0, 0, m.rowLength, 0xF800};
    FillColorThroughMask16(&j);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Get(x, 0), (x == 1 || x == 6) ? 0xF800u : 0u);
}

} // namespace
