// Real files through the FFmpeg decoder plug-in and the video commands:
// several codecs and containers, with and without sound, opened, played,
// seeked, grabbed (compared with ffmpeg's own decode) and a damaged file.
// The clips are made by ffmpeg from its test sources by the first run.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "images/brushes/brush.h"
#include "tests/media/video/ffmpeg_decoder.h"
#include "tests/media/video/video_fixture.h"

namespace videotest {
namespace {

constexpr int kWidth = 96, kHeight = 64;

std::string &ClipDir() {
    static std::string d;
    return d;
}

bool Shell(const std::string &cmd) { return system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

struct ClipSpec {
    const char *name;   // file name; its extension picks the container
    const char *video;  // encoder options
    const char *sound;  // encoder options, null for none
    int rate;           // sound sample rate
};

const ClipSpec kClips[] = {
    {"h264_aac.mp4", "-c:v libx264 -bf 0 -g 10 -preset ultrafast", "-c:a aac", 22050},
    {"h264_pcm.mkv", "-c:v libx264 -g 10 -preset ultrafast", "-c:a pcm_s16le", 22050},
    {"mpeg4_aac.mp4", "-c:v mpeg4 -g 10 -q:v 3", "-c:a aac", 22050},
    {"mpeg4_pcm.mkv", "-c:v mpeg4 -g 10 -q:v 3", "-c:a pcm_s16le", 22050},
    {"vp8_opus.webm", "-c:v libvpx -g 10 -b:v 400k", "-c:a libopus", 48000},
    {"silent.mp4", "-c:v libx264 -bf 0 -g 10 -preset ultrafast", nullptr, 0},
};

std::string ClipPath(const char *name) { return ClipDir() + "/" + name; }

// The pictures ffmpeg itself decodes from a file, each as 0xRRGGBB.
std::vector<std::vector<uint32_t>> FfmpegFrames(const std::string &file) {
    const std::string raw = ClipDir() + "/ref-" + std::to_string(getpid()) + ".raw";
    unlink(raw.c_str());
    std::vector<std::vector<uint32_t>> out;
    if (!Shell("ffmpeg -v error -y -i '" + file + "' -vsync 0 -f rawvideo -pix_fmt rgb24 '" + raw + "'")) return out;
    std::ifstream in(raw, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(raw.c_str());
    const size_t frame = size_t(kWidth) * kHeight * 3;
    for (size_t at = 0; at + frame <= b.size(); at += frame) {
        std::vector<uint32_t> px;
        for (size_t i = at; i < at + frame; i += 3) px.push_back(uint32_t(b[i]) << 16 | uint32_t(b[i + 1]) << 8 | b[i + 2]);
        out.push_back(px);
    }
    return out;
}

class FfmpegVideo : public VideoTest {
  public:
    // The clips are made once and kept in a scratch folder that every run
    // (and every test process) shares; a new recipe needs a new name.
    static void SetUpTestSuite() {
        const std::string keep = "/tmp/cxtest-ffmpeg-clips-1-" + std::to_string(getuid());
        struct stat s;
        if (stat((keep + "/done").c_str(), &s) == 0) {
            ClipDir() = keep;
            return;
        }
        char tmpl[] = "/tmp/cxtest-ffmpeg-XXXXXX";
        ClipDir() = mkdtemp(tmpl) ? tmpl : "";
        if (ClipDir().empty() || !Shell("ffmpeg -version")) return;
        const std::string src = "-f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                ":rate=25:duration=2";
        bool made = true;
        for (const ClipSpec &c : kClips) {
            std::string cmd = "ffmpeg -v error -y " + src;
            if (c.sound) cmd += " -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(c.rate) + ":duration=2";
            cmd += std::string(" -pix_fmt yuv420p ") + c.video;
            if (c.sound) cmd += std::string(" -ac 2 ") + c.sound;
            cmd += " '" + ClipPath(c.name) + "'";
            if (!Shell(cmd)) {
                fprintf(stderr, "could not make %s\n", c.name);
                made = false;
            }
        }
        // Damaged files: an MP4 cut before its index, and a Matroska file
        // with its middle overwritten by noise.
        Shell("head -c 3000 '" + ClipPath("h264_aac.mp4") + "' > '" + ClipPath("cut.mp4") + "'");
        Shell("cp '" + ClipPath("h264_pcm.mkv") + "' '" + ClipPath("noisy.mkv") + "'");
        Shell("dd if=/dev/urandom of='" + ClipPath("noisy.mkv") + "' bs=1 seek=20000 count=30000 conv=notrunc");
        std::ofstream(ClipPath("text.mp4")) << "this is no video\n";
        if (!made) return;
        // Another process may have kept its clips first: then use those.
        std::ofstream(ClipPath("done")) << "1\n";
        if (rename(ClipDir().c_str(), keep.c_str()) == 0) {
            ClipDir() = keep;
        } else if (stat((keep + "/done").c_str(), &s) == 0) {
            Shell("rm -rf '" + ClipDir() + "'");
            ClipDir() = keep;
        }
    }

  protected:
    void SetUp() override {
        VideoTest::SetUp();
        struct stat s;
        if (stat(ClipPath("silent.mp4").c_str(), &s) != 0) GTEST_SKIP() << "ffmpeg could not make the clips";
        SetFfmpegThreads(1);
        RegisterFfmpegDecoder();
    }
    void TearDown() override {
        FreeAllVideos(L);
        UnregisterFfmpegDecoder();
        VideoTest::TearDown();
    }
    uint32_t State(int id) { return VideoState(Video(id)); }
    bool WaitState(int id, uint32_t s, int ms) {
        return WaitFor([&] { return Video(id) && State(id) == s; }, ms);
    }
    std::vector<uint32_t> BrushPixels(int brush) {
        std::vector<uint32_t> px;
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, cxObjectID{brush, nullptr}, &b, 0), 0);
        if (!b) return px;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) px.push_back(PixelOf(b->bitmap, x, y) & 0xFFFFFF);
        return px;
    }
};

// Mean difference per channel between two pictures (255 when they differ in size).
double MeanDifference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
    if (a.empty() || a.size() != b.size()) return 255;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int sh : {0, 8, 16}) sum += std::abs(int((a[i] >> sh) & 0xFF) - int((b[i] >> sh) & 0xFF));
    return sum / (a.size() * 3.0);
}

TEST_F(FfmpegVideo, EveryClipOpensPlaysInOrderAndEnds) {
    for (const ClipSpec &c : kClips) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(ShownMutex());
            ShownList().clear();
        }
        ASSERT_EQ(Open(1, ClipPath(c.name)), 0);
        cxVideo *v = Video(1);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->sourceWidth, kWidth);
        EXPECT_EQ(v->sourceHeight, kHeight);
        ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
        ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 8000));
        const std::vector<ShownPicture> shown = ShownCopy();
        // Pictures come in order, from the start to the last of the 50.
        ASSERT_GT(shown.size(), 25u);
        for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i].pts, shown[i - 1].pts) << "at " << i;
        EXPECT_LT(shown.front().pts, 0.1);
        EXPECT_NEAR(shown.back().pts, 1.96, 0.05);
        ASSERT_EQ(Cmd("CloseVideo", {1}), 0);
    }
}

TEST_F(FfmpegVideo, SeeksWhilePlayingAndWhilePaused) {
    for (const char *name : {"h264_aac.mp4", "vp8_opus.webm", "mpeg4_pcm.mkv"}) {
        SCOPED_TRACE(name);
        {
            std::lock_guard<std::mutex> lock(ShownMutex());
            ShownList().clear();
        }
        ASSERT_EQ(Open(1, ClipPath(name)), 0);
        ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
        ASSERT_TRUE(WaitFor([&] { return ShownCopy().size() >= 3; }, 3000));
        // 1.3 s lies between key pictures (one each 0.4 s): the pictures
        // after the seek start there, not at the key picture before it.
        ASSERT_EQ(Cmd("SeekVideo", {1, 1300}), 0);
        ASSERT_TRUE(WaitFor([&] { return ShownCopy().back().pts >= 1.4; }, 3000));
        const std::vector<ShownPicture> shown = ShownCopy();
        size_t jump = 0;
        while (jump < shown.size() && shown[jump].pts < 1.0) ++jump;
        ASSERT_LT(jump, shown.size());
        ASSERT_GT(jump, 0u);
        EXPECT_LT(shown[jump - 1].pts, 0.9);
        EXPECT_NEAR(shown[jump].pts, 1.3, 0.05);
        for (size_t i = jump + 1; i < shown.size(); ++i) EXPECT_GT(shown[i].pts, shown[i - 1].pts);
        // Paused: the seek shows the picture there and stays paused.
        ASSERT_EQ(Cmd("PauseVideo", {1}), 0);
        ASSERT_EQ(Cmd("SeekVideo", {1, 400}), 0);
        EXPECT_EQ(State(1), uint32_t(CX_VIDEO_PAUSED));
        EXPECT_NEAR(ShownCopy().back().pts, 0.4, 0.05);
        // Beyond the end.
        EXPECT_EQ(Cmd("SeekVideo", {1, 5000}), ERR_SEEKRANGE);
        ASSERT_EQ(Cmd("CloseVideo", {1}), 0);
    }
}

TEST_F(FfmpegVideo, GrabbedFramesMatchFfmpegsOwnDecode) {
    for (const char *name : {"h264_pcm.mkv", "mpeg4_aac.mp4", "vp8_opus.webm"}) {
        SCOPED_TRACE(name);
        const auto ref = FfmpegFrames(ClipPath(name));
        ASSERT_EQ(ref.size(), 50u);
        ASSERT_EQ(Open(1, ClipPath(name)), 0);
        // By number (1-based), forwards and back, and by time.
        for (int n : {1, 12, 37, 5}) {
            SCOPED_TRACE(n);
            ASSERT_EQ(Cmd("GetVideoFrame", {10, double(n), 1}), 0);
            EXPECT_LT(MeanDifference(BrushPixels(10), ref[size_t(n - 1)]), 3.0);
        }
        ASSERT_EQ(Cmd("GetVideoFrame", {11, 1000, 1, 1}), 0);
        EXPECT_LT(MeanDifference(BrushPixels(11), ref[25]), 3.0);
        // A different frame is far off: the comparison can tell them apart.
        EXPECT_GT(MeanDifference(BrushPixels(11), ref[5]), 6.0);
        EXPECT_EQ(Cmd("GetVideoFrame", {10, 51, 1}), ERR_VIDEOFRAME);
        ASSERT_EQ(Cmd("CloseVideo", {1}), 0);
    }
}

TEST_F(FfmpegVideo, SoundReachesTheAudioEngine) {
    for (const char *name : {"h264_aac.mp4", "mpeg4_pcm.mkv"}) {
        SCOPED_TRACE(name);
        soundtest::ClearPcmFiles();
        ASSERT_EQ(Open(1, ClipPath(name)), 0);
        ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
        ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 8000));
        OsDelayMs(300);  // what is still in the ring plays out
        ASSERT_EQ(Cmd("StopVideo", {1}), 0);
        ASSERT_EQ(Cmd("CloseVideo", {1}), 0);
        const std::vector<std::string> files = soundtest::PcmFiles();
        ASSERT_FALSE(files.empty());
        const std::vector<uint8_t> pcm = soundtest::PcmData(files.back());
        std::vector<int16_t> tone;  // left channel, silence left out
        for (size_t i = 0; i + 3 < pcm.size(); i += 4)
            if (int16_t v = int16_t(pcm[i] | pcm[i + 1] << 8)) tone.push_back(v);
        // Most of the 2 s at 22,050 Hz came, and it is 440 Hz: about 880
        // zero crossings a second.
        EXPECT_GT(double(tone.size()), 0.9 * 44100);
        ASSERT_GT(tone.size(), 22050u);
        int crossings = 0;
        for (size_t i = 1; i < 22050; ++i) crossings += (tone[i - 1] < 0) != (tone[i] < 0);
        EXPECT_NEAR(crossings, 880, 25);
    }
}

TEST_F(FfmpegVideo, DamagedFilesGiveTheErrorOrPlayToTheEnd) {
    // Cut before its index, not a video at all, missing: the system's error.
    for (const char *name : {"cut.mp4", "text.mp4", "missing.mp4"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Open(1, ClipPath(name)), ERR_LOADVIDEO);
    }
    // Noise in the middle: what can be decoded plays, and the end comes.
    ASSERT_EQ(Open(2, ClipPath("noisy.mkv")), 0);
    ASSERT_EQ(Cmd("PlayVideo", {2}), 0);
    EXPECT_TRUE(WaitState(2, CX_VIDEO_ENDED, 8000));
    EXPECT_FALSE(ShownCopy().empty());
    for (int n : {1, 45}) Cmd("GetVideoFrame", {10, double(n), 2});  // must not hang or overrun
    ASSERT_EQ(Cmd("CloseVideo", {2}), 0);
}

}  // namespace
}  // namespace videotest
