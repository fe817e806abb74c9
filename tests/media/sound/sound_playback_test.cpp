// Samples and music through the audio engine into alsa-lib's file PCM:
// the bytes that reach a PCM, volumes, passes, play times and their
// events, modules against their offline render, music a script feeds.
#include <algorithm>
#include <cmath>

#include "media/sound/protracker.h"
#include "tests/media/sound/sound_fixture.h"

namespace {

using soundtest::PcmData;
using soundtest::PcmFiles;

std::vector<uint8_t> Le16(const std::vector<int> &values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(uint8_t(v & 0xFF));
        out.push_back(uint8_t((v >> 8) & 0xFF));
    }
    return out;
}

std::vector<int> Ramp(int n, int step, int from) {
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(from + i * step);
    return v;
}

class Playback : public soundtest::SoundTest {};

// Volume 64 passes the bytes through, 32 halves each value (towards zero),
// and passes repeat the sample whole.
TEST_F(Playback, VolumeAndPassesReachThePcmExactly) {
    const std::vector<int> values = Ramp(800, 37, -14000); // 16-bit mono
    ASSERT_EQ(MakeSample(1, values, 8000, 1), 0);
    struct {
        const char *what;
        Arg second;
        int factor, passes;
    } cases[] = {
        {"volume 64", T({{"volume", 64}}), 64, 1},
        {"volume 32", T({{"volume", 32}}), 32, 1},
        {"percent 25", T({{"volume", "25%"}}), 16, 1},
        {"three times", Arg(3), 64, 3},
    };
    for (const auto &c : cases) {
        soundtest::ClearPcmFiles();
        ASSERT_EQ(Cmd("PlaySample", {1, c.second}), 0) << c.what;
        ASSERT_TRUE(WaitSample(1)) << c.what;
        ASSERT_EQ(PcmFiles(), std::vector<std::string>{"ch-8000-1-16.wav"}) << c.what;
        std::vector<int> want;
        for (int p = 0; p < c.passes; p++)
            for (int v : values) want.push_back(v * c.factor / 64);
        EXPECT_EQ(PcmData("ch-8000-1-16.wav"), Le16(want)) << c.what;
    }
    // 8-bit samples scale around their silence.
    soundtest::ClearPcmFiles();
    ASSERT_EQ(MakeSample(2, {-128, -2, 0, 3, 127}, 8000, 0), 0);
    ASSERT_EQ(Cmd("PlaySample", {2, T({{"volume", 32}})}), 0);
    ASSERT_TRUE(WaitSample(2));
    EXPECT_EQ(PcmData("ch-8000-1-8.wav"), (std::vector<uint8_t>{64, 127, 128, 129, 191}));
}

// A play time of 2,500 ms of a 1,000 ms sample: three passes, the last
// one half, and an end event at 2,500.
TEST_F(Playback, PlayTimeEndsWhereItSays) {
    SoundSettingsListener(12, 1);
    SoundSettingsListener(13, 1);
    ASSERT_EQ(MakeSample(1, Ramp(8000, 1, -4000), 8000, 1), 0);
    ASSERT_EQ(Cmd("PlaySample", {1, T({{"time", 2500}})}), 0);
    ASSERT_TRUE(WaitSample(1));
    EXPECT_EQ(PcmData("ch-8000-1-16.wav").size(), 20000u * 2);
    std::vector<std::pair<uint32_t, uint32_t>> loops, ends;
    for (const cxEventNotice &n : Notices()) {
        EXPECT_EQ(n.id.number, 1);
        (n.kind == CX_NOTICE_SAMPLELOOP ? loops : ends).push_back({n.time, n.starts});
    }
    EXPECT_EQ(loops, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1000, 2}, {2000, 3}}));
    EXPECT_EQ(ends, (std::vector<std::pair<uint32_t, uint32_t>>{{2500, 3}}));

    // A short sample passes several times in one fill: the events keep
    // their order, the first pass first.
    ASSERT_EQ(MakeSample(2, Ramp(80, 1, 0), 8000, 1), 0); // 10 ms
    ASSERT_EQ(Cmd("PlaySample", {2, 3}), 0);
    ASSERT_TRUE(WaitSample(2));
    std::vector<std::pair<uint32_t, uint32_t>> order;
    for (const cxEventNotice &n : Notices()) order.push_back({n.kind, n.starts});
    EXPECT_EQ(order, (std::vector<std::pair<uint32_t, uint32_t>>{
                         {CX_NOTICE_SAMPLELOOP, 1}, {CX_NOTICE_SAMPLELOOP, 2}, {CX_NOTICE_SAMPLELOOP, 3},
                         {CX_NOTICE_SAMPLEEND, 3}}));

    // An exact multiple plays no pass more.
    soundtest::ClearPcmFiles();
    ASSERT_EQ(Cmd("PlaySample", {1, T({{"time", 2000}})}), 0);
    ASSERT_TRUE(WaitSample(1));
    EXPECT_EQ(PcmData("ch-8000-1-16.wav").size(), 16000u * 2);
    const std::vector<cxEventNotice> n = Notices();
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back().kind, uint32_t(CX_NOTICE_SAMPLEEND));
    EXPECT_EQ(n.back().time, 2000u);
    EXPECT_EQ(n.back().starts, 2u);
}

// Paced like a sound card: a one-second sample takes its second (at the
// test's speed-up) even though the file PCM never blocks.
TEST_F(Playback, TheFilePcmIsPacedByTheClock) {
    ASSERT_EQ(MakeSample(1, std::vector<int>(8000, 1000), 8000, 1), 0);
    const uint64_t start = soundtest::NowUs();
    ASSERT_EQ(Cmd("PlaySample", {1}), 0);
    ASSERT_TRUE(WaitSample(1));
    const double seconds = (soundtest::NowUs() - start) / 1e6;
    EXPECT_GE(seconds, 1.0 / Pacing() * 0.8);
    EXPECT_LT(seconds, 2.0);
}

// A module plays on its channel exactly as it renders offline.
TEST_F(Playback, ModuleChannelEqualsTheOfflineRender) {
    cxtest::TempDir dir;
    const std::string file = dir.Path("song.mod");
    const cxsound::Bytes bytes = cxsound::MakeModule(cxsound::DemoModule(2));
    ASSERT_TRUE(cxsound::WriteFile(file, bytes));
    ASSERT_EQ(Cmd("OpenMusic", {1, file}), 0);
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    usleep(300000);
    ASSERT_EQ(Cmd("StopMusic", {1}), 0);
    const std::vector<uint8_t> heard = PcmData("ch-48000-2-16.wav");
    ASSERT_GT(heard.size(), 48000u);

    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    std::vector<char> state(InitModulePlayer(nullptr, copy.data(), uint32_t(copy.size()), 48000));
    auto *m = reinterpret_cast<cxModulePlayer *>(state.data());
    InitModulePlayer(m, copy.data(), uint32_t(copy.size()), 48000);
    std::vector<int16_t> offline(heard.size() / 2);
    RenderModuleBlock(m, offline.data(), uint32_t(offline.size() / 2));
    EXPECT_EQ(memcmp(heard.data(), offline.data(), heard.size()), 0);
}

// A music fed from its handler sounds exactly the blocks queued, then
// ends at its "end" block.
TEST_F(Playback, CustomStreamPlaysTheBlocksQueued) {
    static std::vector<int> queued;
    queued = Ramp(3000, 7, -10000);
    static int calls = 0;
    calls = 0;
    lua_CFunction handler = [](lua_State *L) -> int {
        calls++;
        lua_pushstring(L, "id");
        lua_gettable(L, 1);
        const double id = lua_tonumber(L, -1);
        if (calls > 1) return 0;
        for (int half = 0; half < 2; half++) {
            lua_pushstring(L, "fillmusicbuffer");
            lua_gettable(L, LUA_GLOBALSINDEX);
            lua_pushnumber(L, id);
            lua_pushstring(L, "pcm");
            lua_pushnumber(L, 1500);
            lua_newtable(L);
            lua_pushstring(L, "data");
            lua_newtable(L);
            for (int i = 0; i < 1500; i++) {
                lua_pushnumber(L, queued[size_t(half * 1500 + i)]);
                lua_rawseti(L, -2, i);
            }
            lua_settable(L, -3);
            lua_call(L, 4, 0);
        }
        lua_pushstring(L, "fillmusicbuffer");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushnumber(L, id);
        lua_pushstring(L, "end");
        lua_pushnumber(L, 0);
        lua_call(L, 3, 0);
        return 0;
    };
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "fillmusicbuffer");
                       lua_pushcfunction(L, handler);
                       lua_settable(L, -3);
                   }),
              0);
    ASSERT_EQ(Cmd("CreateMusic", {1, 8000, 1}), 0);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    ASSERT_TRUE(WaitMusicEnd(1));
    EXPECT_EQ(PcmData("ch-8000-1-16.wav"), Le16(queued));
}

// A music stream plays its file, loops by its passes, and its position
// follows the clock.
TEST_F(Playback, MusicStreamsLoopAndTellTheirPlace) {
    cxtest::TempDir dir;
    const std::string file = dir.Path("tone.wav");
    const std::vector<int16_t> tone = cxsound::Sine16(12000, 440, 8000, 0.5, 1); // 1.5 s
    ASSERT_TRUE(cxsound::WriteFile(file, cxsound::Wave16(tone, 1, 8000)));
    ASSERT_EQ(Cmd("OpenMusic", {1, file}), 0);
    ASSERT_EQ(Cmd("PlayMusic", {1, 2}), 0);
    ASSERT_TRUE(WaitMusicEnd(1));
    std::vector<int> twice;
    for (int p = 0; p < 2; p++)
        for (int16_t v : tone) twice.push_back(v);
    EXPECT_EQ(PcmData("ch-8000-1-16.wav"), Le16(twice));

    soundtest::ClearPcmFiles();
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    usleep(100000); // 0.8 s of music at the test's pace
    ASSERT_EQ(Cmd("PauseMusic", {1}), 0);
    cxMusic *m = nullptr;
    ASSERT_EQ(FindMusic(cxObjectID{1, nullptr}, &m), 0);
    EXPECT_EQ(m->state, uint32_t(CX_MUSIC_PAUSED));
    ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_MUSIC, cxObjectID{1, nullptr}, 15), 1);
    const double at = lua_tonumber(L, -1);
    // Positions are wall-clock milliseconds; the pace runs the sound faster.
    EXPECT_GT(at, 50);
    EXPECT_LT(at, 1500);
    ASSERT_EQ(Cmd("ResumeMusic", {1}), 0);
    ASSERT_TRUE(WaitMusicEnd(1));
}

}  // namespace
