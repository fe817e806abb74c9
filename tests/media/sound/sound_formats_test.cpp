// Sound streams: recognising files, parsing 8SVX, 16SV and WAVE, decoding
// them (against sox), seeking, custom streams and the stream attributes.
#include <gtest/gtest.h>

#include <cstring>

#include "errors/errors.h"
#include "media/sound/sound_stream.h"
#include "tests/media/sound/sound_test_support.h"

namespace {

using cxsound::Bytes;
using soundtest::DecodeAll;
using soundtest::MemoryFile;

struct Opened {
    cxSoundStream *s = nullptr;
    int err = 0;
    explicit Opened(const std::string &name, int streaming = 0) { err = OpenSoundFile(name.c_str(), "", "", 0, streaming, &s, nullptr); }
    ~Opened() { CloseSoundStream(s); }
};

Bytes ModuleBytes() {
    cxsound::ModuleLayout m;
    m.samples.push_back({"s", std::vector<int8_t>(64, 10), 0, 64, 0, 2});
    m.patterns.resize(1);
    m.order = {0};
    return cxsound::MakeModule(m);
}

Bytes WithByte(Bytes b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
}

// Builds a RIFF WAVE from raw chunks (id + payload each).
Bytes Riff(const std::vector<std::pair<std::string, Bytes>> &chunks) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const auto &[id, data] : chunks) {
        b.insert(b.end(), id.begin(), id.end());
        const uint32_t n = uint32_t(data.size());
        for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(n >> s));
        b.insert(b.end(), data.begin(), data.end());
        if (n & 1) b.push_back(0);
    }
    return b;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16) {
    Bytes f(size, 0);
    f[0] = uint8_t(tag), f[1] = uint8_t(tag >> 8);
    f[2] = uint8_t(channels), f[3] = uint8_t(channels >> 8);
    for (int i = 0; i < 4; i++) f[4 + i] = uint8_t(rate >> (8 * i));
    f[14] = uint8_t(bits), f[15] = uint8_t(bits >> 8);
    return f;
}

TEST(SoundFormats, RecognitionByContent) {
    const Bytes mono8 = cxsound::Make8SVX({1, 2, 3, 4}, 8000, false);
    const Bytes stereo16 = cxsound::Make16SV({1, -1, 2, -2}, 11025, true);
    const Bytes wave = cxsound::Wave16({5, -5, 6, -6}, 2, 22050);
    Bytes shortMk(1083, 0);
    memcpy(shortMk.data() + 1076, "M.K.", 4); // no module: too short for the mark at 1080
    struct Case {
        const char *what;
        Bytes bytes;
        int err;
        uint32_t type, channels, bits, flags;
        const char *name;
    } cases[] = {
        {"8SVX", mono8, 0, CX_SST_8SVX, 1, 8, 0, "IFF 8SVX"},
        {"16SV stereo", stereo16, 0, CX_SST_16SV, 2, 16, 3, "IFF 16SV"},
        {"WAVE", wave, 0, CX_SST_WAVE, 2, 16, 2, "RIFF WAVE"},
        {"module", ModuleBytes(), 0, CX_SST_MODULE, 2, 16, 2, "Protracker"},
        {"short with the mark", shortMk, ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"text", Bytes(2000, 'x'), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"compressed 8SVX", WithByte(mono8, 35, 1), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"voice header of 19", WithByte(mono8, 19, 19), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"float WAVE", Riff({{"fmt ", Fmt(3, 1, 8000, 32)}, {"data", Bytes(8)}}), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"24-bit WAVE", Riff({{"fmt ", Fmt(1, 1, 8000, 24)}, {"data", Bytes(9)}}), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"fmt of 20", Riff({{"fmt ", Fmt(1, 1, 8000, 8, 20)}, {"data", Bytes(9)}}), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"data before fmt", Riff({{"data", Bytes(9)}, {"fmt ", Fmt(1, 1, 8000, 8)}}), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
        {"no BODY", Bytes(mono8.begin(), mono8.begin() + 44), ERR_OPENSOUND2, 0, 0, 0, 0, nullptr},
    };
    cxtest::TempDir dir;
    for (const Case &c : cases) {
        const std::string path = dir.Path("sound.x");
        cxtest::WriteBytes(path, c.bytes);
        SetErrorDetail("");
        Opened o(path, 1);
        ASSERT_EQ(o.err, c.err) << c.what;
        if (c.err) {
            EXPECT_EQ(o.s, nullptr) << c.what;
            EXPECT_EQ(GetErrorDetail(), path) << c.what; // the message names the file
            continue;
        }
        EXPECT_EQ(o.s->type, c.type) << c.what;
        EXPECT_EQ(o.s->channels, c.channels) << c.what;
        EXPECT_EQ(o.s->bits, c.bits) << c.what;
        EXPECT_EQ(o.s->flags, c.flags) << c.what;
        EXPECT_STREQ(GetStreamFormatName(o.s), c.name) << c.what;
    }
    SetErrorDetail("");
    Opened missing(dir.Path("missing.wav"));
    EXPECT_EQ(missing.err, ERR_READFILE);
    EXPECT_EQ(GetErrorDetail(), dir.Path("missing.wav"));
}

// Debian's games carry an XM module named ".mod": no "M.K." mark, so no
// module, whatever its name says.
TEST(SoundFormats, AnXmNamedModIsNoModule) {
    const std::string xm = "/usr/share/games/tecnoballz/musics/area1-game2.mod";
    if (cxtest::ReadBytes(xm).empty()) GTEST_SKIP() << "tecnoballz-data is not installed";
    SetErrorDetail("");
    Opened o(xm, 1);
    EXPECT_EQ(o.err, ERR_OPENSOUND2);
    EXPECT_EQ(GetErrorDetail(), xm);
    const char *name = nullptr;
    EXPECT_EQ(ProbeMusicFormat(xm.c_str(), "", "", &name), 0);
    EXPECT_STREQ(name, "Unknown");
}

TEST(SoundFormats, FormatCodesAndFrameSizes) {
    struct {
        uint32_t bits, channels, flags;
        int code;
        uint32_t bytes;
    } rows[] = {{8, 1, 0, 0, 1}, {8, 2, 0, 1, 2}, {8, 1, 2, 2, 1}, {8, 2, 2, 3, 2},
                {16, 1, 0, 4, 2}, {16, 2, 0, 5, 4}, {16, 1, 3, 4, 2}, {24, 1, 2, -1, 0}};
    for (const auto &r : rows) {
        EXPECT_EQ(GetSampleFormatCode(r.bits, r.channels, r.flags), r.code) << r.bits << "/" << r.channels;
        EXPECT_EQ(GetBytesPerFrame(r.code), r.bytes);
    }
    EXPECT_EQ(GetBytesPerFrame(6), 0u);
}

// What the built-in decoders deliver equals sox's raw output of the file.
TEST(SoundFormats, DecodingMatchesSox) {
    if (!soundtest::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    cxtest::TempDir dir;
    struct {
        const char *file, *make, *raw;
    } cases[] = {
        {"m.8svx", "-r 11025 -c 1 -b 8", "-e unsigned-integer -b 8"},
        {"s.8svx", "-r 11025 -c 2 -b 8", "-e unsigned-integer -b 8"},
        {"u8.wav", "-r 8000 -c 1 -b 8 -e unsigned-integer", "-e unsigned-integer -b 8"},
        {"s16.wav", "-r 22050 -c 2 -b 16 -e signed-integer", "-e signed-integer -b 16 -L"},
    };
    for (const auto &c : cases) {
        const std::string file = dir.Path(c.file), raw = dir.Path("out.raw");
        ASSERT_EQ(soundtest::Run("sox -n " + std::string(c.make) + " " + file +
                                 " synth 0.37 sine 300 sine 770 2>/dev/null"),
                  0)
            << c.file;
        ASSERT_EQ(soundtest::Run("sox " + file + " -t raw " + c.raw + " " + raw), 0);
        Opened o(file);
        ASSERT_EQ(o.err, 0) << c.file;
        const std::vector<uint8_t> got = DecodeAll(o.s);
        const cxtest::Bytes want = cxtest::ReadBytes(raw);
        ASSERT_EQ(got.size(), want.size()) << c.file;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << c.file;
    }
}

TEST(SoundFormats, IffBodiesAreDeinterleavedAndShifted) {
    // left 0 1 2, right -1 -2 -3
    MemoryFile f(cxsound::Make8SVX({0, -1, 1, -2, 2, -3}, 8000, true));
    Opened o(f.name);
    ASSERT_EQ(o.err, 0);
    EXPECT_EQ(o.s->length, 3u);
    EXPECT_EQ(DecodeAll(o.s), (std::vector<uint8_t>{128, 127, 129, 126, 130, 125}));

    MemoryFile g(cxsound::Make16SV({0x0102, 0x0304, 0x0506, 0x0708}, 8000, true));
    Opened p(g.name);
    ASSERT_EQ(p.err, 0);
    EXPECT_EQ(DecodeAll(p.s), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8})); // words kept big-endian
}

TEST(SoundFormats, ChunkSizesComeFromTheFileSafely) {
    // An odd chunk before the data is followed by its pad byte.
    const Bytes pcm = {10, 20, 30, 40};
    MemoryFile odd(cxsound::MakeWave(pcm, 8, 1, 8000, "LIST", {1, 2, 3, 4, 5}));
    Opened a(odd.name);
    ASSERT_EQ(a.err, 0);
    EXPECT_EQ(DecodeAll(a.s), std::vector<uint8_t>(pcm.begin(), pcm.end()));

    Bytes iff = cxsound::Make8SVX({1, 2, 3, 4}, 8000, false);
    // An odd annotation between the header and the body.
    const Bytes anno = {'A', 'N', 'N', 'O', 0, 0, 0, 3, 'a', 'b', 'c', 0};
    iff.insert(iff.begin() + 40, anno.begin(), anno.end());
    MemoryFile annotated(iff);
    Opened b(annotated.name);
    ASSERT_EQ(b.err, 0);
    EXPECT_EQ(DecodeAll(b.s), (std::vector<uint8_t>{129, 130, 131, 132}));

    // A body that claims more than the file holds gives what is there.
    Bytes cut = cxsound::Make8SVX(std::vector<int8_t>(100, 5), 8000, false);
    cut.resize(cut.size() - 60);
    MemoryFile shortBody(cut);
    Opened c(shortBody.name);
    ASSERT_EQ(c.err, 0);
    EXPECT_EQ(c.s->length, 40u);
    EXPECT_EQ(DecodeAll(c.s).size(), 40u);

    // A chunk of 2^32-1 bytes before the body ends the parse.
    Bytes huge = cxsound::Make8SVX({1, 2}, 8000, false);
    const Bytes big = {'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xFF};
    huge.insert(huge.begin() + 40, big.begin(), big.end());
    MemoryFile junk(huge);
    EXPECT_EQ(Opened(junk.name).err, ERR_OPENSOUND2);
}

TEST(SoundFormats, SixChannelWaveOpensAsMonoOfItsFirstChannel) {
    Bytes pcm;
    for (int f = 0; f < 3; f++)
        for (int c = 0; c < 6; c++) {
            const int16_t v = int16_t(f * 100 + c);
            pcm.push_back(uint8_t(v));
            pcm.push_back(uint8_t(v >> 8));
        }
    MemoryFile w(cxsound::MakeWave(pcm, 16, 6, 8000));
    Opened o(w.name);
    ASSERT_EQ(o.err, 0);
    EXPECT_EQ(o.s->channels, 1u);
    EXPECT_EQ(o.s->bytesPerFrame, 12u);
    EXPECT_EQ(o.s->length, 3u);
    EXPECT_EQ(o.s->formatCode, CX_SMP_MONO16);
    EXPECT_EQ(DecodeAll(o.s), (std::vector<uint8_t>{0, 0, 100, 0, 200, 0}));
}

TEST(SoundFormats, SeekingAndPositions) {
    MemoryFile w(cxsound::Wave16(std::vector<int16_t>(44100 * 2, 1), 2, 44100));
    Opened o(w.name, 1);
    ASSERT_EQ(o.err, 0);
    SeekSoundStream(o.s, 22050);
    EXPECT_EQ(o.s->position, 22050u);
    EXPECT_EQ(GetStreamPositionMs(o.s), 500u);
    // Past the end: the place stays, the time follows the request.
    SeekSoundStream(o.s, 44100 * 3);
    EXPECT_EQ(o.s->position, 22050u);
    EXPECT_EQ(GetStreamPositionMs(o.s), 3000u);
    // A looping music tells its place in the current pass.
    SeekSoundStream(o.s, 0);
    o.s->playStartUs.store(int64_t(soundtest::NowUs()) - 2500000);
    const uint32_t at = GetStreamPositionMs(o.s);
    EXPECT_GE(at, 500u);
    EXPECT_LT(at, 600u);
    EXPECT_EQ(GetMusicAttribute(CX_MATTR_DURATION, CX_MUSIC_STREAM, o.s, nullptr), 1000);
    EXPECT_EQ(GetMusicAttribute(CX_MATTR_BITRATE, CX_MUSIC_STREAM, o.s, nullptr), 1384);
    EXPECT_EQ(GetMusicAttribute(CX_MATTR_RATE, CX_MUSIC_STREAM, o.s, nullptr), 44100);

    // No data: no duration to take the place modulo.
    MemoryFile empty(cxsound::Wave16({}, 1, 8000));
    Opened e(empty.name, 1);
    ASSERT_EQ(e.err, 0);
    e.s->playStartUs.store(int64_t(soundtest::NowUs()) - 1500000);
    EXPECT_GE(GetStreamPositionMs(e.s), 1500u);
    EXPECT_EQ(GetMusicAttribute(CX_MATTR_DURATION, CX_MUSIC_STREAM, e.s, nullptr), 0);
}

TEST(SoundFormats, CustomStreamsDeliverTheirBlocksThenSilence) {
    int kind = 0;
    cxSoundStream *s = nullptr;
    ASSERT_EQ(CreateCustomStream(nullptr, 8000, CX_SMP_MONO8S, &kind, &s), 0);
    EXPECT_EQ(kind, CX_MUSIC_STREAM);
    std::vector<uint8_t> out(6, 0);
    int ended = 0;
    EXPECT_EQ(DecodeSoundStream(s, out.data(), 6, &ended), 6u);
    EXPECT_EQ(out, std::vector<uint8_t>(6, 128));
    EXPECT_EQ(ended, 0);
    auto block = [](std::initializer_list<uint8_t> v) {
        auto *p = static_cast<uint8_t *>(malloc(v.size()));
        std::copy(v.begin(), v.end(), p);
        return p;
    };
    ASSERT_EQ(QueueCustomBlock(s, block({1, 2, 3}), 3), 0);
    ASSERT_EQ(QueueCustomBlock(s, block({4, 5}), 2), 0);
    EXPECT_EQ(GetUnconsumedFrames(s), 5u);
    EXPECT_EQ(DecodeSoundStream(s, out.data(), 4, &ended), 4u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    ASSERT_EQ(QueueCustomBlock(s, nullptr, 0), 0); // the end
    EXPECT_EQ(DecodeSoundStream(s, out.data(), 4, &ended), 1u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(ended, 1);
    CloseSoundStream(s);

    ASSERT_EQ(CreateCustomStream(nullptr, 8000, CX_SMP_STEREO16, &kind, &s), 0);
    std::vector<uint8_t> wide(8, 7);
    EXPECT_EQ(DecodeSoundStream(s, wide.data(), 2, &ended), 2u);
    EXPECT_EQ(wide, std::vector<uint8_t>(8, 0));
    EXPECT_STREQ(GetStreamFormatName(s), "Custom stream");
    EXPECT_EQ(GetMusicAttribute(CX_MATTR_DURATION, CX_MUSIC_STREAM, s, nullptr), -1);
    CloseSoundStream(s);
}

TEST(SoundFormats, SamplesLoadWholeAndModulesDoNot) {
    MemoryFile mod(ModuleBytes());
    cxSampleData *d = nullptr;
    EXPECT_EQ(LoadSampleData(mod.name, "", "", &d, nullptr, nullptr, nullptr, nullptr), ERR_STREAMASSAMPLE);
    EXPECT_EQ(IsSampleFile(mod.name, "", ""), 0);
    MemoryFile w(cxsound::MakeWave({1, 2, 3}, 8, 1, 8000));
    uint32_t bytes = 0, rate = 0;
    int32_t code = -1;
    ASSERT_EQ(LoadSampleData(w.name, "", "", &d, &bytes, &rate, &code, nullptr), 0);
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(rate, 8000u);
    EXPECT_EQ(code, CX_SMP_MONO8U);
    FreeSampleData(d);
    // A loader list without "inbuilt" leaves the built-in formats out.
    EXPECT_EQ(LoadSampleData(w.name, "someplugin", "", &d, nullptr, nullptr, nullptr, nullptr), ERR_OPENSOUND2);

    auto *pcm = static_cast<uint8_t *>(malloc(4));
    pcm[0] = 0, pcm[1] = 0x80, pcm[2] = 0x7F, pcm[3] = 0xFF; // signed 8-bit stereo
    int32_t wrapped = -1;
    ASSERT_EQ(WrapSampleData(pcm, 2, 8000, CX_SMP_STEREO8S, &d, &wrapped), 0);
    EXPECT_EQ(wrapped, CX_SMP_STEREO8U);
    EXPECT_EQ(d->buffer[0], 128);
    EXPECT_EQ(d->buffer[1], 0);
    EXPECT_EQ(d->buffer[2], 255);
    EXPECT_EQ(d->buffer[3], 127);
    FreeSampleData(d);
}

}  // namespace
