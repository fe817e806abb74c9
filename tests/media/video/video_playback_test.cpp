// The player's threads: pictures in order and on time, dropping late ones,
// the end, sync to the sound, and the pause, resume and seek handshakes
// under pressure.
#include <gtest/gtest.h>

#include "display/video_hooks.h"
#include "errors/errors.h"
#include "tests/media/video/video_fixture.h"

namespace videotest {
namespace {

class VideoPlayback : public VideoTest {
  protected:
    uint32_t State(int id) { return VideoState(Video(id)); }
    bool WaitState(int id, uint32_t s, int ms) {
        return WaitFor([&] { return Video(id) && State(id) == s; }, ms);
    }
    static void ExpectIncreasing(const std::vector<ShownPicture> &v) {
        for (size_t i = 1; i < v.size(); ++i) EXPECT_GT(v[i].frame, v[i - 1].frame) << "at " << i;
    }
    std::vector<cxEventNotice> Notices() {
        std::vector<cxEventNotice> out;
        cxEventNotice n;
        while (TakeEventNotice(&n)) {
            out.push_back(n);
            ReleaseEventNotice(L, &n);
        }
        return out;
    }
};

TEST_F(VideoPlayback, PicturesInOrderThenTheEndOnce) {
    SetAudioEventHook("onvideoend", 1);
    SyntheticSettings s;
    s.frames = 20;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    EXPECT_EQ(State(1), uint32_t(CX_VIDEO_PLAYING));
    EXPECT_EQ(Cmd("PlayVideo", {1}), ERR_VIDPLAYING);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 5000));
    const std::vector<ShownPicture> shown = ShownCopy();
    ASSERT_FALSE(shown.empty());
    ExpectIncreasing(shown);
    for (const ShownPicture &p : shown) EXPECT_EQ(p.frame, int(std::lround(p.pts * 25))) << p.pts;
    // Nobody is late here (a picture may go on a loaded machine); the last
    // one stays.
    EXPECT_GE(shown.size(), 18u);
    EXPECT_EQ(shown.back().frame, 19);
    OsDelayMs(100);
    int ends = 0;
    for (const cxEventNotice &n : Notices()) ends += n.kind == CX_NOTICE_VIDEOEND && n.id.number == 1;
    EXPECT_EQ(ends, 1);
    // Ended counts as active for stopping; playing again starts over.
    EXPECT_EQ(Cmd("PauseVideo", {1}), ERR_VIDNOTPLAYING);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    const size_t first = shown.size();
    ASSERT_TRUE(WaitFor([&] { return ShownCopy().size() > first; }, 2000));
    EXPECT_LE(ShownCopy()[first].frame, 2);
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
    EXPECT_EQ(State(1), uint32_t(CX_VIDEO_STOPPED));
}

TEST_F(VideoPlayback, ASlowDecoderDropsPicturesButKeepsShowing) {
    SyntheticSettings s;
    s.frames = 40;
    s.fps = 50;
    s.decodeCostUs = 35000;  // under 30 pictures a second of 50
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 8000));
    const std::vector<ShownPicture> shown = ShownCopy();
    ExpectIncreasing(shown);
    cxVideoStats st{};
    GetVideoPlayerStats(Video(1)->player, &st);
    EXPECT_GT(st.skipped + st.dropped, 0u);
    EXPECT_LT(shown.size(), 40u);
    EXPECT_GE(shown.size(), 10u);
}

TEST_F(VideoPlayback, AStallStillShowsAPictureASecond) {
    SyntheticSettings s;
    s.frames = 30;
    s.stallAfter5 = true;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 8000));
    const std::vector<ShownPicture> shown = ShownCopy();
    ExpectIncreasing(shown);
    // After the stall every picture is late; the first still shows at once.
    size_t after = 0;
    while (after < shown.size() && shown[after].frame < 5) ++after;
    ASSERT_LT(after, shown.size());
    ASSERT_GT(after, 0u);
    EXPECT_LT(shown[after].at - shown[after - 1].at, 1.7);
    EXPECT_EQ(shown[after].frame, 5);
}

TEST_F(VideoPlayback, PicturesFollowTheSoundClock) {
    SyntheticSettings s;
    s.frames = 50;
    s.toneRate = 22050;
    s.toneChannels = 2;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:tone"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 8000));
    const std::vector<ShownPicture> shown = ShownCopy();
    ExpectIncreasing(shown);
    int checked = 0;
    for (const ShownPicture &p : shown) {
        if (p.pts < 0.5) continue;  // warm-up
#if !defined(__SANITIZE_THREAD__)  // (under the race detector the threads crawl)
        EXPECT_LT(std::fabs(p.pts - p.clock), 0.04 + 0.015) << "pts " << p.pts << " clock " << p.clock;
#endif
        ++checked;
    }
    EXPECT_GT(checked, 10);
    OsDelayMs(300);  // the sound still in the ring plays out
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
    // The sound went out through the file PCM: a 440 Hz tone at 22,050 Hz.
    const std::vector<std::string> files = soundtest::PcmFiles();
    ASSERT_FALSE(files.empty());
    const std::vector<uint8_t> pcm = soundtest::PcmData(files.back());
    ASSERT_GT(pcm.size(), 22050u * 4);
    // Silence where the ring ran dry aside, all 2 s of the tone came, at
    // 440 Hz: about 880 zero crossings a second.
    std::vector<int16_t> tone;
    for (size_t i = 0; i + 3 < pcm.size(); i += 4)
        if (int16_t v = int16_t(pcm[i] | pcm[i + 1] << 8)) tone.push_back(v);
    EXPECT_NEAR(double(tone.size()), 44100.0, 441.0);
    int crossings = 0;
    for (size_t i = 1; i < 22050 && i < tone.size(); ++i) crossings += (tone[i - 1] < 0) != (tone[i] < 0);
    EXPECT_NEAR(crossings, 880, 20);
}

TEST_F(VideoPlayback, PauseResumeAndSeekHandshakes) {
    SyntheticSettings s;
    s.frames = 100;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    // A seek right after the start lands where it says.
    ASSERT_EQ(Cmd("SeekVideo", {1, 2000}), 0);
    ASSERT_TRUE(WaitFor([&] { return !ShownCopy().empty() && ShownCopy().back().frame >= 52; }, 3000));
    {
        const auto v = ShownCopy();
        bool jumped = false;
        for (const ShownPicture &p : v) jumped |= p.frame >= 50 && p.frame <= 53;
        EXPECT_TRUE(jumped);
    }
    ASSERT_EQ(Cmd("PauseVideo", {1}), 0);
    EXPECT_EQ(State(1), uint32_t(CX_VIDEO_PAUSED));
    EXPECT_EQ(Cmd("PauseVideo", {1}), ERR_VIDNOTPLAYING);
    const size_t before = ShownCopy().size();
    OsDelayMs(200);
    EXPECT_EQ(ShownCopy().size(), before);  // nothing moves while paused
    ASSERT_EQ(Cmd("ResumeVideo", {1}), 0);
    ASSERT_TRUE(WaitFor([&] { return ShownCopy().size() > before; }, 2000));
    // A tight loop of pauses, resumes and seeks neither hangs nor breaks
    // the order between seeks.
    const double start = NowSeconds();
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(Cmd("PauseVideo", {1}), 0);
        ASSERT_EQ(Cmd("SeekVideo", {1, double((i * 370) % 3900)}), 0);
        ASSERT_EQ(Cmd("ResumeVideo", {1}), 0);
        ASSERT_EQ(Cmd("SeekVideo", {1, double((i * 530) % 3900)}), 0);
    }
    EXPECT_LT(NowSeconds() - start, 20.0);
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
}

TEST_F(VideoPlayback, PauseAtTheEndReturns) {
    SyntheticSettings s;
    s.frames = 5;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    // The decoder has read everything while the last pictures are due.
    ASSERT_TRUE(WaitFor([&] { return ShownCopy().size() >= 2 || State(1) == CX_VIDEO_ENDED; }, 3000));
    const double t = NowSeconds();
    const int err = Cmd("PauseVideo", {1});
    EXPECT_LT(NowSeconds() - t, 0.5);
    if (err == 0) {
        EXPECT_EQ(Cmd("ResumeVideo", {1}), 0);
    } else {
        EXPECT_EQ(err, ERR_VIDNOTPLAYING);  // it had ended already
    }
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 3000));
    // Seeking from the end plays on from there.
    ASSERT_EQ(Cmd("SeekVideo", {1, 40}), 0);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 3000));
}

TEST_F(VideoPlayback, CloseWhileEndingAndTheDisplayGoing) {
    SyntheticSettings s;
    s.frames = 3;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Open(2, "synthetic:b"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    ASSERT_TRUE(WaitState(1, CX_VIDEO_ENDED, 3000));
    EXPECT_EQ(Cmd("CloseVideo", {1}), 0);  // as an end handler would
    s.frames = 500;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(2, "synthetic:c"), 0);
    ASSERT_EQ(Cmd("PlayVideo", {2}), 0);
    OsDelayMs(100);
    // The display goes: its videos stop first, and nothing draws after.
    GetDisplayVideoHooks()->stopVideos(L, d);
    EXPECT_EQ(State(2), uint32_t(CX_VIDEO_STOPPED));
    const size_t n = ShownCopy().size();
    OsDelayMs(100);
    EXPECT_EQ(ShownCopy().size(), n);
}

}  // namespace
}  // namespace videotest
