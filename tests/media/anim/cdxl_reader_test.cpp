// The CDXL reader: files written here, pictures against a reference
// decoder written from the format's description (planes to indices,
// palette, HAM6, HAM8), ffmpeg's decoder as a second opinion, sound,
// packet order, seeking, rates, and the files it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "media/anim/cdxl_reader.h"
#include "tests/media/media_test_support.h"

namespace {

using cxtest::Bytes;

struct Cdxl {
    int width = 40, height = 12, planes = 4, frames = 3;
    bool ham = false;
    int paletteColours = 16;
    int soundBytes = 0;
    int pad = 0;  // bytes after the data of each chunk
    uint32_t seed = 1;

    int RowBytes() const { return ((width + 15) >> 3) & ~1; }
    size_t VideoBytes() const { return size_t(planes) * RowBytes() * height; }
    uint32_t ChunkSize() const { return uint32_t(32 + paletteColours * 2 + VideoBytes() + soundBytes + pad); }

    Bytes Make() const {
        std::mt19937 rng(seed);
        Bytes out;
        for (int f = 0; f < frames; ++f) {
            Bytes c(32, 0);
            c[0] = 1;
            c[1] = ham ? 1 : 0;
            auto be32 = [&](size_t at, uint32_t v) {
                for (int i = 0; i < 4; ++i) c[at + i] = uint8_t(v >> (24 - 8 * i));
            };
            auto be16 = [&](size_t at, uint32_t v) {
                c[at] = uint8_t(v >> 8);
                c[at + 1] = uint8_t(v);
            };
            be32(2, ChunkSize());
            be32(6, f ? ChunkSize() : 0);
            be32(10, uint32_t(f + 1));
            be16(14, uint32_t(width));
            be16(16, uint32_t(height));
            c[19] = uint8_t(planes);
            be16(20, uint32_t(paletteColours * 2));
            be16(22, uint32_t(soundBytes));
            for (int i = 0; i < paletteColours; ++i) {
                const uint32_t v = rng() & 0x0FFF;
                c.push_back(uint8_t(v >> 8));
                c.push_back(uint8_t(v));
            }
            for (size_t i = 0; i < VideoBytes() + size_t(soundBytes) + size_t(pad); ++i) c.push_back(uint8_t(rng()));
            out.insert(out.end(), c.begin(), c.end());
        }
        return out;
    }
};

// The picture of chunk f, decoded by the rules of the format: 0x00RRGGBB.
std::vector<uint32_t> Reference(const Cdxl &d, const Bytes &file, int f) {
    const uint8_t *chunk = file.data() + size_t(f) * d.ChunkSize();
    uint32_t palette[256] = {};
    for (int i = 0; i < d.paletteColours; ++i) {
        const uint32_t v = uint32_t(chunk[32 + 2 * i]) << 8 | chunk[33 + 2 * i];
        palette[i] = ((v >> 8) & 15) * 0x110000 | ((v >> 4) & 15) * 0x1100 | (v & 15) * 0x11;
    }
    const uint8_t *planes = chunk + 32 + d.paletteColours * 2;
    std::vector<uint32_t> out;
    for (int y = 0; y < d.height; ++y) {
        uint32_t c = 0;
        for (int x = 0; x < d.width; ++x) {
            unsigned index = 0;
            for (int p = 0; p < d.planes; ++p)
                if (planes[(size_t(p) * d.height + y) * d.RowBytes() + x / 8] & (0x80 >> (x % 8))) index |= 1u << p;
            if (!d.ham) {
                c = palette[index];
            } else if (d.planes < 7) {
                const unsigned v = (index & 15) << 4;
                switch (index >> 4) {
                case 0: c = palette[index & 15]; break;
                case 1: c = (c & 0xFFFF00) | v; break;
                case 2: c = (c & 0x00FFFF) | v << 16; break;
                default: c = (c & 0xFF00FF) | v << 8; break;
                }
            } else {
                const unsigned v = (index & 63) << 2;
                switch (index >> 6) {
                case 0: c = palette[index & 63]; break;
                case 1: c = (c & 0xFFFF00) | v; break;
                case 2: c = (c & 0x00FFFF) | v << 16; break;
                default: c = (c & 0xFF00FF) | v << 8; break;
                }
            }
            out.push_back(c);
        }
    }
    return out;
}

class CdxlReader : public ::testing::Test {
  protected:
    cxtest::TempDir dir;
    std::string Write(const Cdxl &d, const char *name = "a.cdxl") {
        cxtest::WriteBytes(dir.Path(name), d.Make());
        return dir.Path(name);
    }
    // Every picture of a file through the reader, as 0x00RRGGBB.
    std::vector<std::vector<uint32_t>> Pictures(const std::string &file, cxCdxlInfo *info = nullptr) {
        std::vector<std::vector<uint32_t>> out;
        cxCdxlInfo in{};
        cxCdxlReader *r = OpenCdxlFile(file.c_str(), nullptr, &in);
        if (info) *info = in;
        if (!r) return out;
        std::vector<uint8_t> px(size_t(in.width) * in.height * 4);
        cxCdxlPacket *p = nullptr;
        while (ReadCdxlPacket(r, &p) == 0) {
            if (p->type == CX_CDXL_VIDEO) {
                cxCdxlFrame f{px.data(), in.width * 4, 0, 0};
                EXPECT_EQ(DecodeCdxlVideo(r, p, &f), 0);
                EXPECT_EQ(f.time2, -1.0);
                std::vector<uint32_t> pic;
                for (size_t i = 0; i < px.size(); i += 4) {
                    EXPECT_EQ(px[i], 0);
                    pic.push_back(uint32_t(px[i + 1]) << 16 | uint32_t(px[i + 2]) << 8 | px[i + 3]);
                }
                out.push_back(pic);
            }
            free(p);
        }
        CloseCdxlFile(r);
        return out;
    }
};

TEST_F(CdxlReader, PicturesEqualTheReferenceDecoder) {
    Cdxl cases[4];
    cases[0].planes = 4;                                             // palette, width not a multiple of 16
    cases[1].planes = 6, cases[1].ham = true, cases[1].width = 33;   // HAM6
    cases[2].planes = 8, cases[2].ham = true, cases[2].paletteColours = 64, cases[2].width = 64;  // HAM8
    cases[3].planes = 8, cases[3].paletteColours = 256, cases[3].pad = 7, cases[3].soundBytes = 100;
    for (Cdxl &d : cases) {
        const std::string file = Write(d);
        const Bytes bytes = cxtest::ReadBytes(file);
        cxCdxlInfo info{};
        const auto pics = Pictures(file, &info);
        ASSERT_EQ(pics.size(), size_t(d.frames)) << d.planes;
        EXPECT_EQ(info.width, d.width);
        EXPECT_EQ(info.frames, d.frames);
        EXPECT_EQ(info.ham, d.ham ? 1u : 0u);
        for (int f = 0; f < d.frames; ++f) EXPECT_EQ(pics[size_t(f)], Reference(d, bytes, f)) << d.planes << " " << f;
    }
}

TEST_F(CdxlReader, FfmpegAgreesOnPalettePictures) {
    if (!cxtest::HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    Cdxl d;
    d.width = 32, d.height = 16, d.planes = 5, d.paletteColours = 32;
    const std::string file = Write(d, "p.cdxl");
    const auto pics = Pictures(file);
    const std::vector<uint32_t> ref = cxtest::FfmpegFrames(file, d.width, d.height);
    ASSERT_EQ(ref.size(), size_t(d.width * d.height * d.frames));
    for (int f = 0; f < d.frames; ++f)
        EXPECT_TRUE(std::equal(pics[size_t(f)].begin(), pics[size_t(f)].end(), ref.begin() + long(d.width * d.height) * f))
            << f;
}

TEST_F(CdxlReader, RatesSoundPacketsAndSeeking) {
    struct Rate {
        uint32_t chunk;
        double fps;
    } rates[] = {{40000, 7.68}, {40001, 614400.0 / 40001}, {13000, 153600.0 / 13000}, {13001, 307200.0 / 13001},
                 {1000, 153.6}};
    for (const Rate &r : rates) EXPECT_DOUBLE_EQ(CdxlFrameRate(r.chunk), r.fps) << r.chunk;

    // 40,000-byte chunks with sound.
    Cdxl d;
    d.width = 32, d.height = 16, d.planes = 4, d.soundBytes = 1000, d.frames = 4;
    d.pad = int(40000 - d.ChunkSize());
    ASSERT_EQ(d.ChunkSize(), 40000u);
    const std::string file = Write(d);
    const Bytes bytes = cxtest::ReadBytes(file);
    cxCdxlInfo info{};
    cxCdxlReader *r = OpenCdxlFile(file.c_str(), nullptr, &info);
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(info.frameRate, 7.68);
    EXPECT_EQ(info.audioRate, 7680);
    EXPECT_EQ(info.audioChannels, 1);
    EXPECT_EQ(info.durationMs, 520u);  // 4 / 7.68 s
    EXPECT_EQ(GetCdxlFrameCount(r), 4);
    EXPECT_STREQ(GetCdxlFormatName(), "CDXL");
    // Video then sound for every chunk, then the end.
    std::vector<int16_t> samples(1000);
    for (int f = 0; f < 4; ++f) {
        cxCdxlPacket *p = nullptr;
        ASSERT_EQ(ReadCdxlPacket(r, &p), 0);
        EXPECT_EQ(p->type, CX_CDXL_VIDEO);
        EXPECT_DOUBLE_EQ(p->time, f / 7.68);
        EXPECT_EQ(p->header[0], 1);
        free(p);
        ASSERT_EQ(ReadCdxlPacket(r, &p), 0);
        EXPECT_EQ(p->type, CX_CDXL_AUDIO);
        size_t got = 0;
        int more = 0;
        ASSERT_EQ(DecodeCdxlAudio(r, p, samples.data(), samples.size(), &got, &more), 0);
        EXPECT_EQ(got, 2000u);
        EXPECT_EQ(more, 1);
        const uint8_t *sound = bytes.data() + size_t(f) * 40000 + 32 + 32 + d.VideoBytes();
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(uint16_t(samples[size_t(i)]), uint16_t(sound[i] << 8)) << i;
        EXPECT_EQ(DecodeCdxlAudio(r, p, samples.data(), 10, &got, &more), -1);
        free(p);
    }
    cxCdxlPacket *p = nullptr;
    EXPECT_EQ(ReadCdxlPacket(r, &p), -1);
    // 300 ms is frame 2; far past the end the last frame.
    ASSERT_EQ(SeekCdxl(r, 300), 0);
    ASSERT_EQ(ReadCdxlPacket(r, &p), 0);
    EXPECT_EQ(p->frame, 2);
    free(p);
    ASSERT_EQ(SeekCdxl(r, 100000), 0);
    ASSERT_EQ(ReadCdxlPacket(r, &p), 0);
    EXPECT_EQ(p->frame, 3);
    EXPECT_EQ(p->type, CX_CDXL_VIDEO);
    free(p);
    CloseCdxlFile(r);
}

TEST_F(CdxlReader, RefusedAtOpen) {
    auto refused = [&](const char *what, auto edit) {
        Cdxl d;
        Bytes b = d.Make();
        edit(d, b);
        cxtest::WriteBytes(dir.Path("bad.cdxl"), b);
        cxCdxlInfo info{};
        cxCdxlReader *r = OpenCdxlFile(dir.Path("bad.cdxl").c_str(), nullptr, &info);
        EXPECT_EQ(r, nullptr) << what;
        CloseCdxlFile(r);
    };
    auto be32 = [](Bytes &b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    refused("chunk size 0", [&](Cdxl &, Bytes &b) { be32(b, 2, 0); });
    refused("second chunk differs", [&](Cdxl &d, Bytes &b) { be32(b, d.ChunkSize() + 2, d.ChunkSize() + 2); });
    refused("type 2", [](Cdxl &, Bytes &b) { b[0] = 2; });
    refused("no planes", [](Cdxl &, Bytes &b) { b[19] = 0; });
    refused("nine planes", [](Cdxl &, Bytes &b) { b[19] = 9; });
    refused("zero width", [](Cdxl &, Bytes &b) { b[14] = b[15] = 0; });
    refused("palette of 600 bytes", [](Cdxl &, Bytes &b) { b[20] = 600 >> 8, b[21] = 600 & 255; });
    refused("data past the chunk", [](Cdxl &, Bytes &b) { b[22] = 0xFF, b[23] = 0xFF; });
    refused("one chunk only", [](Cdxl &d, Bytes &b) { b.resize(d.ChunkSize()); });
    refused("short file", [](Cdxl &, Bytes &b) { b.resize(20); });
    EXPECT_EQ(OpenCdxlFile(dir.Path("missing.cdxl").c_str(), nullptr, nullptr), nullptr);
}

// A file cut in the middle of a chunk ends with -1, not garbage.
TEST_F(CdxlReader, ShortLastChunkEnds) {
    Cdxl d;
    d.soundBytes = 50;
    Bytes b = d.Make();
    b.resize(b.size() - 60);
    cxtest::WriteBytes(dir.Path("cut.cdxl"), b);
    cxCdxlReader *r = OpenCdxlFile(dir.Path("cut.cdxl").c_str(), nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    int packets = 0, result = 0;
    cxCdxlPacket *p = nullptr;
    while ((result = ReadCdxlPacket(r, &p)) == 0) {
        ++packets;
        free(p);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(packets, 4);  // two whole chunks; the third was cut
    CloseCdxlFile(r);
}

}  // namespace
