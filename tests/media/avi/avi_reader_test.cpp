// The AVI reader against ffmpeg: fixtures made by ffmpeg (testsrc as raw
// DIB and as Motion JPEG with PCM sound), variants derived here (idx1
// absolute, relative or missing; handlers; hostile headers), frames
// compared with ffmpeg's own decode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "images/formats/jpeg_codec.h"
#include "media/avi/avi_reader.h"
#include "tests/media/media_test_support.h"

namespace {

using cxtest::Bytes;

constexpr int kW = 64, kH = 48, kFrames = 6;

struct Reader {
    cxAviReader *r = nullptr;
    int w = 0, h = 0, frames = 0;
    explicit Reader(const std::string &file) {
        r = OpenAviReader(OpenFileStream(file.c_str(), CX_STREAM_READ, nullptr), &w, &h, &frames);
    }
    ~Reader() { CloseAviReader(r); }
    std::vector<uint32_t> Frame(int n) {
        uint32_t *px = ReadAviFrame(r, n);
        std::vector<uint32_t> out;
        if (px) out.assign(px, px + size_t(w) * size_t(h));
        free(px);
        return out;
    }
};

// The chunks of the first RIFF part: where "movi" data starts and where
// "idx1" lies (npos when absent).
struct Layout {
    size_t moviData = std::string::npos, idx1 = std::string::npos;
};
Layout Walk(const Bytes &b) {
    Layout l;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t size = cxtest::Le32At(b, at + 4);
        if (memcmp(&b[at], "LIST", 4) == 0) {
            if (memcmp(&b[at + 8], "movi", 4) == 0) {
                l.moviData = at + 12;
                at += 8 + ((size + 1) & ~1u);
                continue;
            }
            at += 12;
            continue;
        }
        if (memcmp(&b[at], "idx1", 4) == 0) l.idx1 = at;
        at += 8 + ((size + 1) & ~1u);
    }
    return l;
}

class AviReader : public ::testing::Test {
  protected:
    static inline cxtest::TempDir *dir = nullptr;
    static inline bool ready = false;
    static void SetUpTestSuite() {
        dir = new cxtest::TempDir;
        if (!cxtest::HaveTool("ffmpeg")) return;
        const std::string src = "-f lavfi -i testsrc=size=" + std::to_string(kW) + "x" + std::to_string(kH) + ":rate=10";
        const std::string frames = " -frames:v " + std::to_string(kFrames);
        ready = cxtest::Run("ffmpeg -v error -y " + src + frames + " -c:v rawvideo -pix_fmt bgr24 '" +
                            dir->Path("raw.avi") + "'") &&
                cxtest::Run("ffmpeg -v error -y " + src + " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1" +
                            frames + " -c:v mjpeg -q:v 3 -c:a pcm_s16le '" + dir->Path("mjpeg.avi") + "'") &&
                cxtest::Run("ffmpeg -v error -y -f lavfi -i testsrc=size=30x20:rate=10 -frames:v 3 -c:v rawvideo "
                            "-pix_fmt bgr24 '" + dir->Path("odd.avi") + "'");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override {
        if (!ready) GTEST_SKIP() << "ffmpeg is needed for the fixtures";
    }
    static std::string Path(const char *name) { return dir->Path(name); }
    // A variant of a fixture, edited in memory.
    template <class Edit>
    static std::string Variant(const char *from, const char *to, Edit edit) {
        Bytes b = cxtest::ReadBytes(Path(from));
        edit(b);
        cxtest::WriteBytes(Path(to), b);
        return Path(to);
    }
};

TEST_F(AviReader, RawFramesEqualFfmpegExactly) {
    for (const char *file : {"raw.avi", "odd.avi"}) {
        Reader r(Path(file));
        ASSERT_NE(r.r, nullptr) << file;
        const std::vector<uint32_t> ref = cxtest::FfmpegFrames(Path(file), r.w, r.h);
        const size_t size = size_t(r.w) * size_t(r.h);
        ASSERT_EQ(ref.size(), size * size_t(r.frames)) << file;
        for (int f = 0; f < r.frames; ++f) {
            const std::vector<uint32_t> got = r.Frame(f);
            ASSERT_EQ(got.size(), size);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin() + long(size) * f)) << file << " frame " << f;
        }
    }
}

TEST_F(AviReader, MjpegFramesCloseToFfmpeg) {
    Reader r(Path("mjpeg.avi"));
    ASSERT_NE(r.r, nullptr);
    EXPECT_EQ(r.w, kW);
    EXPECT_EQ(r.frames, kFrames);
    cxAviFileInfo info;
    GetAviFileInfo(r.r, &info);
    EXPECT_EQ(info.compression, 1u);
    EXPECT_EQ(info.streams, 2);
    EXPECT_EQ(info.audioRate, 22050u);
    EXPECT_EQ(info.indexEntries, uint32_t(kFrames));
    const std::vector<uint32_t> ref = cxtest::FfmpegFrames(Path("mjpeg.avi"), kW, kH);
    ASSERT_EQ(ref.size(), size_t(kW * kH * kFrames));
    for (int f = 0; f < kFrames; ++f) {
        const std::vector<uint32_t> got = r.Frame(f);
        ASSERT_EQ(got.size(), size_t(kW * kH));
        double sum = 0;
        for (size_t i = 0; i < got.size(); ++i)
            for (int s = 0; s <= 16; s += 8)
                sum += std::abs(int((got[i] >> s) & 255) - int((ref[size_t(kW * kH * f) + i] >> s) & 255));
        EXPECT_LT(sum / (got.size() * 3), 4.0) << "frame " << f;
    }
}

// The same frames whether idx1 counts from the movie list, from the file's
// start, or is missing; in any order, and frame 0 again after the last.
TEST_F(AviReader, IndexKindsAndRandomAccess) {
    Reader plain(Path("mjpeg.avi"));
    ASSERT_NE(plain.r, nullptr);
    std::vector<std::vector<uint32_t>> frames;
    for (int f = 0; f < kFrames; ++f) frames.push_back(plain.Frame(f));

    const std::string absolute = Variant("mjpeg.avi", "abs.avi", [](Bytes &b) {
        const Layout l = Walk(b);
        ASSERT_NE(l.idx1, std::string::npos);
        const uint32_t n = cxtest::Le32At(b, l.idx1 + 4) / 16;
        for (uint32_t i = 0; i < n; ++i) {
            const size_t e = l.idx1 + 8 + i * 16;
            cxtest::PutLe32(b, e + 8, cxtest::Le32At(b, e + 8) + uint32_t(l.moviData - 4));
        }
    });
    const std::string none = Variant("mjpeg.avi", "none.avi", [](Bytes &b) {
        const Layout l = Walk(b);
        ASSERT_NE(l.idx1, std::string::npos);
        b.resize(l.idx1);
        cxtest::PutLe32(b, 4, uint32_t(b.size() - 8));
    });
    const int order[] = {3, 0, 5, 5, 1, 4, 2, 0, 1};
    for (const std::string &file : {absolute, none}) {
        Reader r(file);
        ASSERT_NE(r.r, nullptr) << file;
        cxAviFileInfo info;
        GetAviFileInfo(r.r, &info);
        EXPECT_EQ(info.indexEntries, file == none ? 0u : uint32_t(kFrames));
        for (int f : order) EXPECT_EQ(r.Frame(f), frames[size_t(f)]) << file << " frame " << f;
        // Sequentially to the end and on: the reader starts over.
        for (int f = 0; f < kFrames; ++f) EXPECT_EQ(r.Frame(f), frames[size_t(f)]);
        EXPECT_EQ(r.Frame(0), frames[0]);
        EXPECT_EQ(r.Frame(1), frames[1]);
    }
}

TEST_F(AviReader, HandlersAndDepths) {
    auto patchHandler = [](const char *code) {
        return [code](Bytes &b) {
            const size_t vids = cxtest::Find(b, "vids");
            ASSERT_NE(vids, std::string::npos);
            memcpy(&b[vids + 4], code, 4);
        };
    };
    EXPECT_NE(Reader(Variant("mjpeg.avi", "lower.avi", patchHandler("mjpg"))).r, nullptr);
    EXPECT_EQ(Reader(Variant("mjpeg.avi", "xvid.avi", patchHandler("XVID"))).r, nullptr);
    EXPECT_NE(Reader(Variant("raw.avi", "dib.avi", patchHandler("DIB "))).r, nullptr);
    // A 16-bit DIB is refused.
    const std::string dib16 = Variant("raw.avi", "dib16.avi", [](Bytes &b) {
        const size_t strf = cxtest::Find(b, "strf", cxtest::Find(b, "vids"));
        ASSERT_NE(strf, std::string::npos);
        b[strf + 8 + 14] = 16;
    });
    EXPECT_EQ(Reader(dib16).r, nullptr);
}

// Hostile headers: refused at open, or a frame that fails, never a crash.
TEST_F(AviReader, HostileFiles) {
    const size_t avih = cxtest::Find(cxtest::ReadBytes(Path("mjpeg.avi")), "avih");
    ASSERT_NE(avih, std::string::npos);
    auto field = [&](size_t offset, uint32_t value) {
        return [=](Bytes &b) { cxtest::PutLe32(b, avih + 8 + offset, value); };
    };
    EXPECT_EQ(Reader(Variant("mjpeg.avi", "s17.avi", field(24, 17))).r, nullptr);
    EXPECT_EQ(Reader(Variant("mjpeg.avi", "s0.avi", field(24, 0))).r, nullptr);
    EXPECT_EQ(Reader(Variant("mjpeg.avi", "f0.avi", field(16, 0))).r, nullptr);
    // More frames than the file could hold.
    EXPECT_EQ(Reader(Variant("mjpeg.avi", "fbig.avi", field(16, 0x7FFFFFFF))).r, nullptr);
    const std::string huge = Variant("mjpeg.avi", "huge.avi", [&](Bytes &b) {
        cxtest::PutLe32(b, avih + 8 + 32, 65535);
        cxtest::PutLe32(b, avih + 8 + 36, 65535);
        const size_t strf = cxtest::Find(b, "strf", cxtest::Find(b, "vids"));
        cxtest::PutLe32(b, strf + 8 + 4, 65535);
        cxtest::PutLe32(b, strf + 8 + 8, 65535);
    });
    EXPECT_EQ(Reader(huge).r, nullptr);

    // Seventeen stream headers.
    const std::string streams = Variant("mjpeg.avi", "h17.avi", [&](Bytes &b) {
        const size_t strh = cxtest::Find(b, "strh");
        Bytes extra;
        for (int i = 0; i < 17; ++i) extra.insert(extra.end(), b.begin() + long(strh), b.begin() + long(strh) + 64);
        b.insert(b.begin() + long(strh), extra.begin(), extra.end());
    });
    EXPECT_EQ(Reader(streams).r, nullptr);

    // A frame smaller than its JPEG: the part that fits.
    const std::string small = Variant("mjpeg.avi", "small.avi", [&](Bytes &b) {
        cxtest::PutLe32(b, avih + 8 + 32, 16);
        cxtest::PutLe32(b, avih + 8 + 36, 8);
        const size_t strf = cxtest::Find(b, "strf", cxtest::Find(b, "vids"));
        cxtest::PutLe32(b, strf + 8 + 4, 16);
        cxtest::PutLe32(b, strf + 8 + 8, 8);
    });
    {
        Reader r(small);
        ASSERT_NE(r.r, nullptr);
        EXPECT_EQ(r.Frame(2).size(), size_t(16 * 8));
    }

    // A chunk size past the end, and idx1 entries past the frame count.
    const std::string past = Variant("mjpeg.avi", "past.avi", [&](Bytes &b) {
        const size_t chunk = cxtest::Find(b, "00dc", Walk(b).moviData);
        ASSERT_NE(chunk, std::string::npos);
        cxtest::PutLe32(b, chunk + 4, 0x7FFFFFF0);
        const Layout l = Walk(b);
        if (l.idx1 == std::string::npos) return;
        const uint32_t size = cxtest::Le32At(b, l.idx1 + 4);
        Bytes more(b.begin() + long(l.idx1) + 8, b.begin() + long(l.idx1) + 8 + size);
        b.insert(b.begin() + long(l.idx1) + 8 + size, more.begin(), more.end());
        cxtest::PutLe32(b, l.idx1 + 4, size * 2);
        cxtest::PutLe32(b, 4, uint32_t(b.size() - 8));
    });
    {
        Reader r(past);
        ASSERT_NE(r.r, nullptr);
        for (int f = 0; f < kFrames; ++f) r.Frame(f);
        EXPECT_TRUE(r.Frame(0).empty());
        EXPECT_EQ(r.Frame(3).size(), size_t(kW * kH));
    }
}

// Frames without Huffman tables get the standard ones before the scan;
// "AVI1" becomes "JFIF". Checked on the bytes: libjpeg-turbo would decode
// such frames without help.
TEST(MjpegRebuild, InsertsStandardTablesBeforeTheScan) {
    std::vector<uint32_t> px(32 * 16);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint32_t(i * 2654435761u) | 0xFF000000u;
    cxJpegWriteRequest req{};
    req.pixels = px.data();
    req.bytesPerRow = 32 * 4;
    req.width = 32;
    req.height = 16;
    req.quality = 80;
    WriteJpegImage(&req);
    ASSERT_EQ(req.error, 0);
    const Bytes jpeg(req.data, req.data + req.size);
    FreeEncodedBuffer(req.encoded);

    // The encoder's own tables (its defaults are the standard's), and the
    // frame without them.
    Bytes tables, stripped(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const size_t len = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        const Bytes seg(jpeg.begin() + long(at), jpeg.begin() + long(at + 2 + len));
        if (jpeg[at + 1] == 0xC4) tables.insert(tables.end(), seg.begin() + 4, seg.end());
        else stripped.insert(stripped.end(), seg.begin(), seg.end());
        at += 2 + len;
    }
    ASSERT_FALSE(tables.empty());
    const size_t sos = stripped.size();
    stripped.insert(stripped.end(), jpeg.begin() + long(at), jpeg.end());
    memcpy(&stripped[6], "AVI1", 4);

    Bytes out(stripped.size() + 420);
    const size_t n = RebuildMjpegFrame(stripped.data(), stripped.size(), out.data(), out.size());
    ASSERT_EQ(n, stripped.size() + 420);
    EXPECT_EQ(memcmp(&out[6], "JFIF", 4), 0);
    EXPECT_EQ(out[sos], 0xFF);
    EXPECT_EQ(out[sos + 1], 0xC4);
    EXPECT_EQ((out[sos + 2] << 8 | out[sos + 3]), 418);
    EXPECT_EQ(out[sos + 420], 0xFF);
    EXPECT_EQ(out[sos + 421], 0xDA);
    // Each of the encoder's tables is one of the four inserted.
    const Bytes inserted(out.begin() + long(sos) + 4, out.begin() + long(sos) + 420);
    size_t t = 0;
    while (t < tables.size()) {
        size_t count = 0;
        for (int i = 1; i <= 16; ++i) count += tables[t + size_t(i)];
        const Bytes one(tables.begin() + long(t), tables.begin() + long(t + 17 + count));
        EXPECT_NE(std::search(inserted.begin(), inserted.end(), one.begin(), one.end()), inserted.end())
            << "table class/id " << int(one[0]);
        t += 17 + count;
    }
    // Decodes to the pictures of the original.
    int w = 0, h = 0;
    uint32_t *a = nullptr, *b = nullptr;
    ASSERT_EQ(ReadJpegImage(jpeg.data(), jpeg.size(), 0, 0, &w, &h, &a), 0);
    ASSERT_EQ(ReadJpegImage(out.data(), n, 0, 0, &w, &h, &b), 0);
    EXPECT_EQ(memcmp(a, b, size_t(w) * size_t(h) * 4), 0);
    free(a);
    free(b);

    // A frame that has its tables is copied as it is; too small a buffer
    // and data that is no JPEG give 0.
    Bytes copy(jpeg.size() + 420);
    EXPECT_EQ(RebuildMjpegFrame(jpeg.data(), jpeg.size(), copy.data(), copy.size()), jpeg.size());
    EXPECT_EQ(memcmp(copy.data(), jpeg.data(), jpeg.size()), 0);
    EXPECT_EQ(RebuildMjpegFrame(stripped.data(), stripped.size(), out.data(), stripped.size()), 0u);
    EXPECT_EQ(RebuildMjpegFrame(stripped.data() + 1, stripped.size() - 1, out.data(), out.size()), 0u);
    EXPECT_EQ(RebuildMjpegFrame(stripped.data(), sos, out.data(), out.size()), 0u);
}

}  // namespace
