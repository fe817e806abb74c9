// The engine under threads: a video's sound ring fed by its own thread,
// and commands that start, pause, move and stop sound while the mixer and
// the music threads run (run under ThreadSanitizer too).
#include <atomic>
#include <random>
#include <thread>

#include "media/sound/video_sound.h"
#include "tests/media/sound/sound_fixture.h"

namespace {

class SoundThreads : public soundtest::SoundTest {};

struct RampReader {
    int32_t next = 1, last = 0;
    static int32_t Read(void *self, void *buffer, uint32_t frames) {
        auto *r = static_cast<RampReader *>(self);
        if (r->next > r->last) return -1;
        auto *out = static_cast<int16_t *>(buffer);
        uint32_t n = 0;
        for (; n < frames && r->next <= r->last; n++, r->next++) out[2 * n] = out[2 * n + 1] = int16_t(r->next);
        return int32_t(n);
    }
};

TEST_F(SoundThreads, VideoSoundRingFeedsItsChannel) {
    ASSERT_EQ(Cmd("OpenAudio"), 0);
    int index = -1;
    int dummyPlayer = 0;
    ASSERT_EQ(OpenVideoSoundChannel(L, cxObjectID{5, nullptr}, -1, 2, 8000, 64, &dummyPlayer, &index), 0);
    ASSERT_EQ(index, 0);
    int kind = 0;
    cxObjectID id{0, nullptr};
    ASSERT_EQ(GetChannelState(index, &kind, &id, 0), 0);
    EXPECT_EQ(kind, CX_OBJ_VIDEO);
    EXPECT_EQ(id.number, 5);
    RampReader ramp;
    ramp.last = 6000;
    cxVideoSoundRing *ring = CreateVideoSoundRing(index, 400, RampReader::Read, &ramp);
    ASSERT_NE(ring, nullptr);
    std::atomic<bool> done{false};
    std::thread server([&] {
        // The video's audio server thread.
        while (FeedVideoSound(nullptr, ring) >= 0) EXPECT_LE(GetVideoRingFill(ring), 2u * 400 * 4);
        done = true;
    });
    server.join();
    EXPECT_TRUE(done);
    usleep(200000); // the ring drains
    ReleaseVideoSoundChannel(ring);
    FreeVideoSoundRing(ring);
    // Frames came in order; where the ring ran dry the channel got silence.
    const std::vector<uint8_t> heard = soundtest::PcmData("ch-8000-2-16.wav");
    std::vector<int> values;
    for (size_t i = 0; i + 3 < heard.size(); i += 4) {
        const int16_t l = int16_t(heard[i] | heard[i + 1] << 8), r = int16_t(heard[i + 2] | heard[i + 3] << 8);
        EXPECT_EQ(l, r);
        if (l) values.push_back(l);
    }
    ASSERT_EQ(values.size(), 6000u);
    for (int i = 0; i < 6000; i++) ASSERT_EQ(values[size_t(i)], i + 1);
}

TEST_F(SoundThreads, CommandsWhileSoundPlays) {
    cxtest::TempDir dir;
    const std::string wav = dir.Path("tone.wav"), mod = dir.Path("song.mod");
    ASSERT_TRUE(cxsound::WriteFile(wav, cxsound::Wave16(cxsound::Sine16(16000, 440, 8000, 0.5, 2), 2, 8000)));
    ASSERT_TRUE(cxsound::WriteFile(mod, cxsound::MakeModule(cxsound::DemoModule(1))));
    ASSERT_EQ(MakeSample(1, std::vector<int>(2000, 1000), 8000, 1), 0);
    ASSERT_EQ(Cmd("OpenMusic", {1, wav}), 0);
    ASSERT_EQ(Cmd("OpenMusic", {2, mod}), 0);
    LegacyControl("singlemusic", 0);
    std::mt19937 random(7);
    for (int i = 0; i < 60; i++) {
        const int pick = int(random() % 9);
        int err = 0;
        switch (pick) {
        case 0: err = Cmd("PlaySample", {1, T({{"times", 0}, {"channel", 1 + int(random() % 4)}})}); break;
        case 1: err = Cmd("StopSample", {1}); break;
        case 2: Cmd("PlayMusic", {1, 0}); break; // may already play
        case 3: Cmd("PauseMusic", {1}); break;
        case 4: Cmd("ResumeMusic", {1}); break;
        case 5: err = Cmd("SeekMusic", {1, int(random() % 1900)}); break;
        case 6: Cmd("PlayModule", {2}); break;
        case 7: Cmd("StopMusic", {int(1 + random() % 2)}); break;
        default: err = Cmd("SetChannelVolume", {1 + int(random() % 8), int(random() % 65)}); break;
        }
        EXPECT_EQ(err, 0) << "step " << i << " command " << pick;
        usleep(random() % 20000);
    }
    ASSERT_EQ(Cmd("CloseAudio"), 0);
}

}  // namespace
