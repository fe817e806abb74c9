// The BMP reader against netpbm's bmptopnm over the generated corpus, small
// hand-made files for the corners of the format, hostile headers, and the
// 24-bit writer by round trip.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "images/formats/bmp_codec.h"
#include "images/formats/image_limits.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

void Put32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A BMP with the given information-header size, palette and pixel data.
Bytes MakeBmp(int width, int height, int bits, uint32_t compression, const std::vector<uint32_t> &palette,
              const Bytes &data, uint32_t coloursUsed = 0, uint32_t infoSize = 40) {
    const size_t offset = 14 + infoSize + palette.size() * 4;
    Bytes b(std::max(offset, size_t{54}), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(offset + data.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, infoSize);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bits);
    Put32(b, 30, compression);
    Put32(b, 46, coloursUsed);
    for (size_t i = 0; i < palette.size(); i++) Put32(b, 14 + infoSize + i * 4, palette[i]);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

struct Decoded {
    int err = -1, width = 0, height = 0;
    FreePixels px;
};

void Decode(const Bytes &file, Decoded *d) {
    MemoryStream s(file);
    d->err = LoadBMPImage(s.get(), 0, &d->width, &d->height, &d->px.p);
}

}  // namespace

TEST(BmpReader, DecodesLikeBmptopnmAcrossTheCorpus) {
    auto files = ListFiles(CorpusDir(), "bmp_", ".bmp");
    ASSERT_GE(files.size(), 6u);
    int compared = 0;
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Decoded d;
        Decode(bytes, &d);
        ASSERT_EQ(d.err, 0);
        Picture ref;
        if (!ReadNetpbm(f.substr(0, f.size() - 4) + ".ref.ppm", &ref)) continue;
        ASSERT_EQ(d.width, ref.width);
        ASSERT_EQ(d.height, ref.height);
        EXPECT_EQ(0, memcmp(d.px.p, ref.pixels.data(), ref.pixels.size() * 4));
        compared++;
    }
    EXPECT_GE(compared, 5);
}

TEST(BmpReader, CornersOfTheFormat) {
    struct Case {
        const char *name;
        Bytes file;
        std::vector<uint32_t> want;  // top row first
    };
    std::vector<Case> cases;
    // 3 pixels wide, 24 bits: 9 bytes and 3 pad bytes per row; bottom row first.
    cases.push_back({"24-bit padding",
                     MakeBmp(3, 2, 24, 0, {},
                             {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}),
                     {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}});
    // 4 bits with colours-used 0: 16 palette entries.
    std::vector<uint32_t> pal16(16);
    for (int i = 0; i < 16; i++) pal16[i] = 0x111111u * i;
    cases.push_back({"4-bit default palette", MakeBmp(4, 1, 4, 0, pal16, {0x0F, 0x9A, 0, 0}),
                     {0x000000, 0xFFFFFF, 0x999999, 0xAAAAAA}});
    // 1 bit, most significant first.
    cases.push_back({"1-bit", MakeBmp(10, 1, 1, 0, {0x000000, 0xFF0000}, {0xA0, 0x40, 0, 0}),
                     {0xFF0000, 0, 0xFF0000, 0, 0, 0, 0, 0, 0, 0xFF0000}});
    // 16 bits as 5-6-5.
    cases.push_back({"16-bit", MakeBmp(2, 1, 16, 0, {}, {0x1F, 0x00, 0xE0, 0x07}), {0x0000F8, 0x00FC00}});
    // RLE8 ending with (0, 1) right after the top row's pixels.
    std::vector<uint32_t> pal4 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    cases.push_back({"RLE8 end without end of line",
                     MakeBmp(3, 2, 8, 1, pal4, {3, 1, 0, 0, 2, 2, 1, 3, 0, 1}, 4),
                     {0x00FF00, 0x00FF00, 0xFF0000, 0x0000FF, 0x0000FF, 0x0000FF}});
    // RLE8 delta (0, 2, 5, 0) continues the same row further right; a
    // literal run of 3 bytes skips its pad byte.
    cases.push_back({"RLE8 delta in the row",
                     MakeBmp(8, 1, 8, 1, pal4, {1, 1, 0, 2, 5, 0, 0, 3, 2, 3, 1, 0, 0, 1}, 4),
                     {0x0000FF, 0, 0, 0, 0, 0, 0x00FF00, 0xFF0000}});
    // Runs longer than the row are cut at its end.
    cases.push_back({"RLE8 run cut", MakeBmp(2, 1, 8, 1, pal4, {200, 3, 0, 1}, 4), {0xFF0000, 0xFF0000}});
    // Indices beyond the palette read as 0.
    cases.push_back({"index beyond palette", MakeBmp(2, 1, 8, 0, {0x123456}, {0, 9, 0, 0}, 1), {0x123456, 0}});
    // A larger information header: the palette follows it.
    cases.push_back({"V5 header palette", MakeBmp(2, 1, 8, 0, {0xABCDEF, 0x010203}, {1, 0, 0, 0}, 2, 124),
                     {0x010203, 0xABCDEF}});
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.file, &d);
        ASSERT_EQ(d.err, 0);
        ASSERT_EQ(static_cast<size_t>(d.width) * d.height, c.want.size());
        for (size_t i = 0; i < c.want.size(); i++) EXPECT_EQ(d.px.p[i], c.want[i]) << i;
    }
}

TEST(BmpReader, HostileHeadersGiveTheLoaderCodes) {
    const Bytes good = MakeBmp(2, 2, 24, 0, {}, Bytes(16, 0x55));
    struct Case {
        const char *name;
        Bytes file;
        int err;
    };
    std::vector<Case> cases;
    cases.push_back({"one byte", Bytes{'B'}, ERR_READ});
    Bytes magic = good;
    magic[1] = 'A';
    cases.push_back({"wrong magic", magic, ERR_LOADPICTURE2});
    cases.push_back({"top-down", MakeBmp(2, -2, 24, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    cases.push_back({"zero width", MakeBmp(0, 2, 24, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    cases.push_back({"negative width", MakeBmp(-5, 2, 24, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    cases.push_back({"32 bits", MakeBmp(2, 2, 32, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    cases.push_back({"RLE4", MakeBmp(2, 2, 4, 2, {0, 0}, Bytes(8, 0)), ERR_LOADPICTURE2});
    cases.push_back({"core header", MakeBmp(2, 2, 24, 0, {}, Bytes(16, 0), 0, 12), ERR_LOADPICTURE2});
    cases.push_back({"huge size", MakeBmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    cases.push_back({"data beyond the file", MakeBmp(64, 64, 24, 0, {}, Bytes(16, 0)), ERR_LOADPICTURE2});
    Bytes offset = good;
    Put32(offset, 10, 0xFFFFFFF0u);
    cases.push_back({"data offset past the end", offset, ERR_LOADPICTURE2});
    Bytes colours = MakeBmp(2, 1, 8, 0, {0x123456}, {0, 0, 0, 0}, 0x7FFFFFFF);
    cases.push_back({"palette count past the end", colours, ERR_LOADPICTURE2});
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.file, &d);
        EXPECT_EQ(d.err, c.err);
        EXPECT_EQ(d.px.p, nullptr);
    }
}

TEST(BmpReader, EveryTruncationFailsCleanly) {
    for (const char *name : {"/bmp_8.bmp", "/bmp_rle8.bmp", "/bmp_24_odd.bmp"}) {
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(CorpusDir() + name, &bytes));
        for (size_t n = 0; n < bytes.size(); n++) {
            Bytes cut(bytes.begin(), bytes.begin() + n);
            Decoded d;
            Decode(cut, &d);
            // RLE data simply ends; everything else needs its rows.
            if (strstr(name, "rle") && n >= 1078) EXPECT_EQ(d.err, 0) << name << n;
            else EXPECT_NE(d.err, 0) << name << n;
            EXPECT_EQ(d.err == 0, d.px.p != nullptr);
        }
    }
}

TEST(BmpReader, CrashFilesFromElsewhere) {
    auto files = ListFiles(PixbufDir() + "/test-images/fail", "", ".bmp");
    for (auto &f : ListFiles(PixbufDir() + "/test-images/randomly-modified", "", ".bmp")) files.push_back(f);
    files.push_back(PixbufDir() + "/cve-2015-4491.bmp");
    ASSERT_GE(files.size(), 5u);
    for (const auto &f : files) {
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Decoded d;
        Decode(bytes, &d);
        EXPECT_EQ(d.err == 0, d.px.p != nullptr) << f;
    }
}

TEST(BmpWriter, RoundTripsExactly) {
    const int w = 13, h = 7;
    std::vector<uint32_t> px(w * h);
    for (int i = 0; i < w * h; i++) px[i] = 0xFF000000u | (i * 2654435761u & 0xFFFFFF);
    TempPath tmp(".bmp");
    ASSERT_EQ(SaveBMPImage(tmp.path.c_str(), px.data(), w * 4, w, h), 0);
    Bytes file;
    ASSERT_TRUE(ReadFileBytes(tmp.path, &file));
    EXPECT_EQ(file.size(), 54u + ((w * 3 + 3) & ~3) * h);
    Decoded d;
    Decode(file, &d);
    ASSERT_EQ(d.err, 0);
    for (int i = 0; i < w * h; i++) ASSERT_EQ(d.px.p[i], px[i] & 0xFFFFFF) << i;
    EXPECT_EQ(SaveBMPImage("/nonexistent-dir/x.bmp", px.data(), w * 4, w, h), ERR_WRITEFILE);
}
