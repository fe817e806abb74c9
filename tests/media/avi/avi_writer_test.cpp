// The AVI writer: files that ffprobe and ffmpeg accept with every frame and
// both streams, the header's fixed sizes at their offsets, OpenDML parts
// forced by a small part limit, and the rates, paddings and limits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "media/avi/avi_reader.h"
#include "media/avi/avi_writer.h"
#include "tests/media/media_test_support.h"

namespace {

using cxtest::Bytes;

// A solid frame whose colour tells its number.
std::vector<uint32_t> SolidFrame(int w, int h, int n) {
    return std::vector<uint32_t>(size_t(w) * size_t(h), 0xFF000000u | uint32_t((n * 37) & 255) << 16 |
                                                           uint32_t((n * 91) & 255) << 8 | uint32_t(255 - (n * 13 & 255)));
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int s = 0; s <= 16; s += 8)
        if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > tolerance) return false;
    return true;
}

int WriteSolid(const std::string &file, int fps, int w, int h, int frames, const char *title = "t") {
    cxAviWriter *wr = nullptr;
    if (int err = BeginAviWriter(file.c_str(), fps, 0, w, h, 90, 0, 0, title, "", &wr)) return err;
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint32_t> px = SolidFrame(w, h, i);
        if (int err = WriteAviFrameARGB(wr, px.data(), w)) {
            FinishAviWriter(wr);
            return err;
        }
    }
    return FinishAviWriter(wr);
}

class AviWriter : public ::testing::Test {
  protected:
    cxtest::TempDir dir;
    bool ffmpeg = cxtest::HaveTool("ffprobe") && cxtest::HaveTool("ffmpeg");
    void TearDown() override { SetAviWriterPartLimits(0, 0); }
    // "pcm_s16le,rate mjpeg,frames" as ffprobe sees the streams (it
    // counts the video frames it decodes).
    std::string Probe(const std::string &file) {
        std::string out = cxtest::RunOutput("ffprobe -v error -count_frames -show_entries "
                                            "stream=codec_name,sample_rate,nb_read_frames -of csv=p=0 '" + file + "'");
        // The audio packet count depends on ffmpeg's own packet size.
        const size_t comma = out.find(',', out.find("pcm_s16le,") + 10);
        const size_t end = out.find('\n', comma);
        if (comma != std::string::npos && end != std::string::npos) out.replace(comma, end - comma + 1, " ");
        return out;
    }
    std::string Errors(const std::string &file) {
        return cxtest::RunOutput("ffmpeg -v error -nostdin -i '" + file + "' -f null - 2>&1");
    }
};

TEST(AviAudioRate, LargestRateTheFrameRateDivides) {
    struct Case {
        int fps;
        uint32_t rate, perFrame;
    } cases[] = {{50, 44100, 882}, {30, 44100, 1470}, {25, 44100, 1764}, {24, 44088, 1837}, {7, 44100, 6300},
                 {1, 44100, 44100}, {44100, 0, 0},     {45000, 0, 0},    {0, 0, 0},         {-5, 0, 0},
                 {2000000, 0, 0}};
    for (const Case &c : cases) {
        uint32_t rate = 1, perFrame = 1;
        GetAviAudioRate(c.fps, &rate, &perFrame);
        EXPECT_EQ(rate, c.rate) << c.fps;
        EXPECT_EQ(perFrame, c.perFrame) << c.fps;
        if (!c.rate) {
            cxAviWriter *w = nullptr;
            EXPECT_EQ(BeginAviWriter("/dev/null", c.fps, 0, 8, 8, 90, 0, 0, "", "", &w), ERR_WRONGUSAGE) << c.fps;
            EXPECT_EQ(w, nullptr);
        }
    }
}

TEST_F(AviWriter, FfprobeSeesBothStreamsAndEveryFrame) {
    const std::string file = dir.Path("out.avi");
    ASSERT_EQ(WriteSolid(file, 24, 64, 48, 30, "clip"), 0);
    const Bytes b = cxtest::ReadBytes(file);
    ASSERT_GT(b.size(), 33000u);
    // The fixed sizes at their offsets ("clip": n 4, one pad byte).
    EXPECT_EQ(memcmp(&b[0], "RIFF", 4), 0);
    EXPECT_EQ(cxtest::Le32At(b, 4), b.size() - 8);
    EXPECT_EQ(memcmp(&b[8], "AVI LIST", 8), 0);
    EXPECT_EQ(cxtest::Le32At(b, 16), 33303u + 4 + 1);
    EXPECT_EQ(memcmp(&b[24], "avih", 4), 0);
    EXPECT_EQ(cxtest::Le32At(b, 28), 56u);
    EXPECT_EQ(cxtest::Le32At(b, 32), 41666u);  // microseconds per frame
    EXPECT_EQ(cxtest::Le32At(b, 48), 30u);     // frames
    EXPECT_EQ(cxtest::Le32At(b, 92), 16476u);
    EXPECT_EQ(memcmp(&b[96], "strlstrh", 8), 0);
    EXPECT_EQ(memcmp(&b[88 + 12 + 64], "strf", 4), 0);
    EXPECT_EQ(memcmp(&b[88 + 12 + 64 + 24], "indx", 4), 0);
    EXPECT_EQ(cxtest::Le32At(b, 88 + 12 + 64 + 24 + 4), 16376u);
    EXPECT_EQ(cxtest::Le32At(b, 16572 + 4), 16500u);
    EXPECT_EQ(memcmp(&b[16572 + 8], "strlstrh", 8), 0);
    EXPECT_EQ(memcmp(&b[16572 + 20], "vidsMJPG", 8), 0);
    EXPECT_EQ(memcmp(&b[33080], "LIST", 4), 0);
    EXPECT_EQ(cxtest::Le32At(b, 33084), 16u);
    EXPECT_EQ(memcmp(&b[33088], "odmldmlh", 8), 0);
    EXPECT_EQ(cxtest::Le32At(b, 33100), 30u);
    EXPECT_EQ(cxtest::Le32At(b, 33108), 211u + 4 + 1);
    EXPECT_EQ(memcmp(&b[33112], "INFOINAM", 8), 0);
    EXPECT_EQ(cxtest::Le32At(b, 33120), 5u);
    EXPECT_EQ(memcmp(&b[33124], "clip\0\0ISFT", 10), 0);
    // Sound: 44,088 Hz at 24 frames a second, 1,837 samples of 4 bytes.
    // The movie list begins with a pair of standard indexes.
    const size_t movi = cxtest::Find(b, "movi", 33300);
    ASSERT_EQ(movi, 33336u);
    EXPECT_EQ(memcmp(&b[movi + 4], "ix00", 4), 0);
    EXPECT_EQ(memcmp(&b[movi + 4 + 16384], "ix01", 4), 0);
    const size_t wb = movi + 4 + 32768;
    ASSERT_EQ(memcmp(&b[wb], "00wb", 4), 0);
    EXPECT_EQ(cxtest::Le32At(b, wb + 4), 7348u);
    // Every odd JPEG is followed by a zero the chunk size does not count.
    for (size_t at = cxtest::Find(b, "01dc", wb); at != std::string::npos; at = cxtest::Find(b, "01dc", at + 8)) {
        const uint32_t size = cxtest::Le32At(b, at + 4);
        if (at + 8 + size >= b.size() || memcmp(&b[at + 8 + size + (size & 1)], "00wb", 4) != 0) continue;
        if (size & 1) {
            EXPECT_EQ(b[at + 8 + size], 0);
        }
    }

    if (ffmpeg) {
        EXPECT_EQ(Probe(file), "pcm_s16le,44088 mjpeg,30\n");
        EXPECT_EQ(Errors(file), "");
    }
    // And the player's own reader.
    int w = 0, h = 0, frames = 0;
    cxAviReader *r = OpenAviReader(OpenFileStream(file.c_str(), CX_STREAM_READ, nullptr), &w, &h, &frames);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(frames, 30);
    for (int f = 0; f < frames; ++f) {
        uint32_t *px = ReadAviFrame(r, f);
        ASSERT_NE(px, nullptr);
        EXPECT_TRUE(Near(px[100], SolidFrame(1, 1, f)[0], 6)) << f;
        free(px);
    }
    CloseAviReader(r);
}

TEST_F(AviWriter, TitlesPadToEvenLengths) {
    for (const char *title : {"ab", "abc", ""}) {
        const std::string file = dir.Path("t.avi");
        ASSERT_EQ(WriteSolid(file, 25, 16, 16, 1, title), 0);
        const Bytes b = cxtest::ReadBytes(file);
        const uint32_t n = uint32_t(strlen(title)), p = (n + 1) % 2;
        EXPECT_EQ(cxtest::Le32At(b, 16), 33303 + n + p) << title;
        EXPECT_EQ(cxtest::Le32At(b, 33108), 211 + n + p) << title;
        EXPECT_EQ(cxtest::Le32At(b, 33120), n + 1) << title;
        EXPECT_EQ(memcmp(&b[33124 + n + 1 + p], "ISFT", 4), 0) << title;
    }
}

// A small part limit forces "AVIX" parts with indexes of their own.
TEST_F(AviWriter, OpenDmlPartsAreReadBack) {
    SetAviWriterPartLimits(60000, 90000);
    const std::string file = dir.Path("parts.avi");
    ASSERT_EQ(WriteSolid(file, 25, 64, 48, 60), 0);
    const Bytes b = cxtest::ReadBytes(file);
    size_t parts = 0;
    for (size_t at = cxtest::Find(b, "AVIX"); at != std::string::npos; at = cxtest::Find(b, "AVIX", at + 4)) ++parts;
    EXPECT_GE(parts, 3u);
    if (ffmpeg) {
        EXPECT_EQ(Probe(file), "pcm_s16le,44100 mjpeg,60\n");
        EXPECT_EQ(Errors(file), "");
    }
    int w = 0, h = 0, frames = 0;
    cxAviReader *r = OpenAviReader(OpenFileStream(file.c_str(), CX_STREAM_READ, nullptr), &w, &h, &frames);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(frames, 60);
    // In order, then some far ones (past the legacy index) and back.
    for (int f : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                  28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52,
                  53, 54, 55, 56, 57, 58, 59, 57, 33, 2, 41}) {
        uint32_t *px = ReadAviFrame(r, f);
        ASSERT_NE(px, nullptr) << f;
        EXPECT_TRUE(Near(px[5], SolidFrame(1, 1, f)[0], 6)) << f;
        free(px);
    }
    CloseAviReader(r);
}

TEST_F(AviWriter, RepeatedScaledAndEmpty) {
    const std::string file = dir.Path("mixed.avi");
    cxAviWriter *w = nullptr;
    ASSERT_EQ(BeginAviWriter(file.c_str(), 10, CX_AVIWRITER_SIDEFILE, 32, 24, 75, 1, 0, "m", dir.Path("m.txt").c_str(),
                             &w),
              0);
    EXPECT_EQ(WriteAviFrame(w, nullptr, 0, 0, 0), 0);  // black before the first picture
    cxBitmap *bm = AllocBitmap(64, 48, 0, 0);
    ASSERT_NE(bm, nullptr);
    FillRect(bm, 0, 0, 64, 48, 0x20C040);
    EXPECT_EQ(WriteAviFrame(w, bm, 64, 48, 1), 0);  // scaled to 32 x 24
    EXPECT_EQ(WriteAviFrame(w, nullptr, 0, 0, 0), 0);  // the same again
    FreeBitmap(bm);
    EXPECT_EQ(GetAviWriterFrames(w), 3u);
    ASSERT_EQ(FinishAviWriter(w), 0);
    if (ffmpeg) {
        EXPECT_EQ(Probe(file), "pcm_s16le,44100 mjpeg,3\n");
    }
    const Bytes side = cxtest::ReadBytes(dir.Path("m.txt"));
    EXPECT_NE(std::string(side.begin(), side.end()).find("Frames: 3"), std::string::npos);
    int fw = 0, fh = 0, frames = 0;
    cxAviReader *r = OpenAviReader(OpenFileStream(file.c_str(), CX_STREAM_READ, nullptr), &fw, &fh, &frames);
    ASSERT_NE(r, nullptr);
    uint32_t *a = ReadAviFrame(r, 0), *b1 = ReadAviFrame(r, 1), *c = ReadAviFrame(r, 2);
    ASSERT_TRUE(a && b1 && c);
    EXPECT_TRUE(Near(a[40], 0x000000, 4));
    EXPECT_TRUE(Near(b1[40], 0x20C040, 6));
    EXPECT_EQ(memcmp(b1, c, 32 * 24 * 4), 0);
    free(a), free(b1), free(c);
    CloseAviReader(r);

    // No frame at all: a well-formed file without frames.
    const std::string empty = dir.Path("empty.avi");
    ASSERT_EQ(BeginAviWriter(empty.c_str(), 25, 0, 16, 16, 90, 0, 0, "", "", &w), 0);
    ASSERT_EQ(FinishAviWriter(w), 0);
    const Bytes e = cxtest::ReadBytes(empty);
    EXPECT_EQ(cxtest::Le32At(e, 4), e.size() - 8);
    EXPECT_EQ(cxtest::Le32At(e, 48), 0u);
    EXPECT_NE(cxtest::Find(e, "idx1"), std::string::npos);

    // An unwritable file.
    EXPECT_EQ(BeginAviWriter(dir.Path("no/such/folder.avi").c_str(), 25, 0, 16, 16, 90, 0, 0, "", "", &w),
              ERR_WRITEFILE);
}

// The mouse pointer of the current display over every frame, where the
// display says the mouse is; none without a display.
TEST_F(AviWriter, PointerOverlay) {
    auto *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    d->os.state = CX_DISPLAY_CLOSED;
    d->os.mouseX = 20;
    d->os.mouseY = 10;
    const std::string file = dir.Path("pointer.avi");
    auto write = [&](bool display) {
        SetCurrentDisplayRecord(display ? d : nullptr);
        cxAviWriter *w = nullptr;
        ASSERT_EQ(BeginAviWriter(file.c_str(), 25, 0, 64, 48, 95, 0, 1, "", "", &w), 0);
        const std::vector<uint32_t> black(64 * 48, 0xFF000000u);
        ASSERT_EQ(WriteAviFrameARGB(w, black.data(), 64), 0);
        ASSERT_EQ(FinishAviWriter(w), 0);
        SetCurrentDisplayRecord(nullptr);
    };
    auto pixel = [&](int x, int y) {
        int fw = 0, fh = 0, frames = 0;
        cxAviReader *r = OpenAviReader(OpenFileStream(file.c_str(), CX_STREAM_READ, nullptr), &fw, &fh, &frames);
        uint32_t *px = r ? ReadAviFrame(r, 0) : nullptr;
        const uint32_t v = px ? px[y * 64 + x] : 0xDEADBEEF;
        free(px);
        CloseAviReader(r);
        return v;
    };
    write(true);
    EXPECT_TRUE(Near(pixel(23, 20), 0xFFFFFF, 40));  // inside the arrow
    EXPECT_TRUE(Near(pixel(5, 5), 0x000000, 8));
    EXPECT_TRUE(Near(pixel(50, 40), 0x000000, 8));
    write(false);
    EXPECT_TRUE(Near(pixel(23, 20), 0x000000, 8));
    free(d);
}

// Every part starts an index pair: with one frame a part, the super index
// is full after 1,022 frames and the next frame is refused.
TEST_F(AviWriter, FullSuperIndexRefusesTheFrame) {
    SetAviWriterPartLimits(1, 1);
    const std::string file = dir.Path("full.avi");
    cxAviWriter *w = nullptr;
    ASSERT_EQ(BeginAviWriter(file.c_str(), 25, 0, 8, 8, 50, 0, 0, "", "", &w), 0);
    const std::vector<uint32_t> px = SolidFrame(8, 8, 1);
    for (int i = 0; i < CX_AVI_SUPERINDEX_ENTRIES; ++i) ASSERT_EQ(WriteAviFrameARGB(w, px.data(), 8), 0) << i;
    EXPECT_EQ(WriteAviFrameARGB(w, px.data(), 8), ERR_WRITE);
    EXPECT_EQ(GetAviWriterFrames(w), uint32_t(CX_AVI_SUPERINDEX_ENTRIES));
    EXPECT_EQ(FinishAviWriter(w), 0);
}

}  // namespace
