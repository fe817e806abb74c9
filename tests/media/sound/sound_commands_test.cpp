// The sound library's commands: their errors and states, saving, mixing
// and splicing samples, the channel commands, the settings listener and
// the attribute provider.
#include <cmath>

#include "display/events/dispatcher.h"
#include "display/events/event_sources.h"
#include "errors/errors.h"
#include "tests/media/sound/sound_fixture.h"

namespace {

class SoundCommands : public soundtest::SoundTest {
protected:
    cxtest::TempDir dir;

    // Values of GetSampleData.
    std::vector<int> Data(int id) {
        std::vector<int> out;
        if (Cmd("GetSampleData", {id}) != 0) return {-99999};
        const int frames = int(Num(2));
        for (int i = 0;; i++) {
            lua_rawgeti(L, 1, i);
            if (lua_isnil(L, -1)) break;
            out.push_back(int(lua_tonumber(L, -1)));
            lua_pop(L, 1);
        }
        (void)frames;
        return out;
    }
    std::string WriteTone(const char *name, double seconds = 1.5) {
        const std::string file = dir.Path(name);
        cxsound::WriteFile(file, cxsound::Wave16(cxsound::Sine16(uint32_t(8000 * seconds), 440, 8000, 0.5, 1), 1, 8000));
        return file;
    }
};

TEST_F(SoundCommands, MusicStatesAndTheirErrors) {
    const std::string tone = WriteTone("tone.wav");
    const std::string song = dir.Path("song.mod");
    ASSERT_TRUE(cxsound::WriteFile(song, cxsound::MakeModule(cxsound::DemoModule(2))));
    LegacyControl("singlemusic", 0);
    ASSERT_EQ(Cmd("OpenMusic", {1, tone}), 0);
    ASSERT_EQ(Cmd("LoadModule", {2, song}), 0);
    EXPECT_EQ(Cmd("StopMusic"), ERR_WRONGUSAGE); // nothing plays
    EXPECT_EQ(Cmd("ResumeMusic"), ERR_WRONGUSAGE); // nothing paused
    EXPECT_EQ(Cmd("ResumeMusic", {1}), ERR_MUSNOTPAUSED);
    EXPECT_EQ(Cmd("SeekMusic", {1, 1500}), ERR_SEEKRANGE); // the duration itself
    EXPECT_EQ(Cmd("SeekMusic", {1, -1}), ERR_SEEKRANGE);
    EXPECT_EQ(Cmd("SeekMusic", {1, 0}), 0);
    EXPECT_EQ(Cmd("SeekMusic", {2, 0}), ERR_SEEKFORMAT);
    ASSERT_EQ(Cmd("PlayMusic", {1, T({{"times", 0}})}), 0);
    EXPECT_EQ(Cmd("PlayMusic", {1}), ERR_MUSPLAYING);
    EXPECT_EQ(Cmd("ResumeMusic", {1}), ERR_MUSNOTPAUSED);
    EXPECT_EQ(Cmd("SeekMusic", {1, 700}), 0); // playing: paused, moved, started again
    ASSERT_EQ(Cmd("IsMusicPlaying", {1}), 0);
    EXPECT_TRUE(Bool(1));
    ASSERT_EQ(Cmd("PauseMusic"), 0);
    EXPECT_EQ(Cmd("PlayMusic", {1}), ERR_MUSPAUSED);
    ASSERT_EQ(Cmd("ResumeMusic"), 0);
    ASSERT_EQ(Cmd("StopMusic"), 0);
    ASSERT_EQ(Cmd("IsMusicPlaying", {1}), 0);
    EXPECT_FALSE(Bool(1));
    // With "singlemusic" (the default) a new music stops the one that plays.
    LegacyControl("singlemusic", 1);
    ASSERT_EQ(Cmd("PlayMusic", {1, 0}), 0);
    ASSERT_EQ(Cmd("PlayModule", {2}), 0);
    ASSERT_EQ(Cmd("IsMusicPlaying", {1}), 0);
    EXPECT_FALSE(Bool(1));
    usleep(50000);
    ASSERT_EQ(Cmd("GetSongPosition"), 0);
    EXPECT_EQ(Num(1), 0);
    ASSERT_EQ(Cmd("GetPatternPosition"), 0);
    EXPECT_GE(Num(1), 0);
    // On a module PlaySubsong moves to an order position.
    ASSERT_EQ(Cmd("PlaySubsong", {1}), 0);
    ASSERT_EQ(Cmd("WaitSongPosition", {1}), 0);
    ASSERT_EQ(Cmd("GetSongPosition"), 0);
    EXPECT_EQ(Num(1), 1);
    ASSERT_EQ(Cmd("IsModule", {song}), 0);
    EXPECT_TRUE(Bool(1));
    EXPECT_EQ(Str(2), "Protracker");
    ASSERT_EQ(Cmd("IsMusic", {dir.Path("missing.mod")}), 0);
    EXPECT_FALSE(Bool(1));
    EXPECT_EQ(Str(2), "Unknown");
    EXPECT_EQ(Cmd("CloseMusic", {9}), ERR_FINDMUSIC);
    EXPECT_EQ(GetErrorNumber(), 9);
    ASSERT_EQ(Cmd("FreeModule", {2}), 0);
    ASSERT_EQ(Cmd("GetSongPosition"), 0);
    EXPECT_EQ(Num(1), -1);
}

TEST_F(SoundCommands, MusicCallbackRules) {
    EXPECT_EQ(Cmd("CreateMusic", {1, 8000, 0}), ERR_NOFMBHANDLER);
    EXPECT_EQ(Cmd("FillMusicBuffer", {1, "mute", 100}), ERR_NOMUSICCB);
    static int result = -1, closeId = 1;
    static bool tryClose = false;
    tryClose = false;
    lua_CFunction handler = [](lua_State *L) -> int {
        if (!tryClose) return 0;
        // Inside the callback: closing the playing callback music is refused.
        lua_pushstring(L, "closemusic");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushnumber(L, closeId);
        result = lua_pcall(L, 1, 0, 0);
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
    EXPECT_EQ(Cmd("CreateMusic", {1, 8000, 7}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("CreateMusic", {1, 100, 0}), ERR_LOWFREQ);
    ASSERT_EQ(Cmd("CreateMusic", {1, 8000, 0}), 0);
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    tryClose = true;
    cxEventMessage msg{};
    ASSERT_EQ(CallFillMusicBufferHandler(L, &msg, cxObjectID{1, nullptr}, 100, 0, 1), 0);
    EXPECT_EQ(result, ERR_NOCALLBACK);
    // Nor may a music be freed under its own handler.
    closeId = 2;
    result = -1;
    ASSERT_EQ(Cmd("CreateMusic", {2, 8000, 0}), 0);
    EXPECT_EQ(result, ERR_NOCALLBACK);
    tryClose = false;
    ASSERT_EQ(Cmd("CloseMusic", {2}), 0);
    EXPECT_EQ(Cmd("FlushMusicBuffer", {2}), ERR_FINDMUSIC);
    ASSERT_EQ(Cmd("FlushMusicBuffer", {1}), 0);
    ASSERT_EQ(Cmd("StopMusic", {1}), 0);
    EXPECT_EQ(Cmd("FlushMusicBuffer", {1}), ERR_WRONGUSAGE); // not playing
}

// A callback music that runs short asks its handler from the dispatcher's
// first phase: "samples" is what fills the next second.
TEST_F(SoundCommands, TheDispatcherAsksForMoreBlocks) {
    static std::vector<std::pair<double, std::string>> asked;
    asked.clear();
    lua_CFunction handler = [](lua_State *L) -> int {
        lua_pushstring(L, "samples");
        lua_gettable(L, 1);
        lua_pushstring(L, "action");
        lua_gettable(L, 1);
        asked.push_back({lua_tonumber(L, -2), lua_tostring(L, -1)});
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
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, 16000); // two seconds when it is made
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    ASSERT_EQ(Cmd("CheckEvent"), 0);
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked.back().first, 8000); // nothing queued: a whole second
    EXPECT_EQ(asked.back().second, "FillMusicBuffer");
    ASSERT_EQ(Cmd("StopMusic", {1}), 0);
    const size_t before = asked.size();
    ASSERT_EQ(Cmd("CheckEvent"), 0);
    EXPECT_EQ(asked.size(), before); // a stopped music asks nothing
}

TEST_F(SoundCommands, SavedWavesReadBackInPython) {
    if (!soundtest::HaveProgram("python3")) GTEST_SKIP();
    ASSERT_EQ(MakeSample(1, {-32768, -1, 0, 1, 32767, 1000}, 22050, 3), 0); // 16-bit stereo
    ASSERT_EQ(MakeSample(2, {-128, 0, 127}, 8000, 0), 0);                     // 8-bit mono
    const std::string a = dir.Path("a.wav"), b = dir.Path("b.wav"), out = dir.Path("out.txt");
    ASSERT_EQ(Cmd("SaveSample", {1, a}), 0);
    ASSERT_EQ(Cmd("SaveSample", {2, b, 0}), 0);
    ASSERT_EQ(soundtest::Run("python3 -c \"import wave,sys\nfor n in sys.argv[1:]:\n w=wave.open(n)\n "
                             "print(w.getnchannels(),w.getsampwidth(),w.getframerate(),w.getnframes(),"
                             "w.readframes(99).hex())\" " +
                             a + " " + b + " > " + out),
              0);
    const cxtest::Bytes text = cxtest::ReadBytes(out);
    EXPECT_EQ(std::string(text.begin(), text.end()), "2 2 22050 3 0080ffff00000100ff7fe803\n1 1 8000 3 0080ff\n");
    // A 3-byte sample: RIFF size 40, data size 3, one zero pad byte.
    const cxtest::Bytes raw = cxtest::ReadBytes(b);
    ASSERT_EQ(raw.size(), 48u);
    EXPECT_EQ(raw[4], 40);
    EXPECT_EQ(raw[40], 3);
    EXPECT_EQ(raw[47], 0);
    EXPECT_EQ(Cmd("SaveSample", {1, dir.Path("x.snd"), 5}), ERR_UNKNOWNSMPOUT);
    EXPECT_EQ(Cmd("SaveSample", {1, dir.Path("no/such/dir.wav")}), ERR_WRITEFILE);
}

TEST_F(SoundCommands, MixSampleTable) {
    ASSERT_EQ(MakeSample(1, {1000, 2000, 3000, 4000}, 8000, 1), 0); // 16-bit mono
    ASSERT_EQ(MakeSample(2, {100, -100}, 8000, 0), 0);                 // 8-bit mono
    struct {
        const char *what;
        std::vector<Arg> args; // after the id
        std::vector<int> want;
        int err;
    } cases[] = {
        {"one source, looping", {6, 8000, 1, 1, T({})}, {1000, 2000, 3000, 4000, 1000, 2000}, 0},
        {"no loop", {6, 8000, 1, 1, T({{"loop", 0}})}, {1000, 2000, 3000, 4000, 0, 0}, 0},
        {"offset and length", {5, 8000, 1, 1, T({{"offset", 2}, {"length", 2}})}, {3000, 4000, 0, 0, 0}, 0},
        {"threshold", {4, 8000, 1, 1, T({{"threshold", 2}})}, {0, 0, 1000, 2000}, 0},
        {"double pitch", {4, 8000, 1, 1, T({{"pitch", 16000}})}, {1000, 3000, 1000, 3000}, 0},
        {"scale", {2, 8000, 1, 1, T({{"scale", 0.5}})}, {500, 1000}, 0},
        {"two sources", {2, 8000, 1, 1, T({}), 2, T({})}, {1000 + 25600, 2000 - 25600}, 0},
        {"to stereo 8-bit", {2, 8000, 2, 2, T({})}, {100, 100, -100, -100}, 0},
        {"clipped", {1, 8000, 1, 1, T({{"scale", 40.0}})}, {32767}, 0},
        {"low pitch", {2, 100, 1, 1, T({})}, {}, ERR_LOWFREQ},
        {"bad format", {2, 8000, 9, 1, T({})}, {}, ERR_WRONGUSAGE},
        {"half a pair", {2, 8000, 1, 1, T({}), 1}, {}, ERR_WRONGUSAGE},
        {"negative offset", {2, 8000, 1, 1, T({{"offset", -1}})}, {}, ERR_SMPRANGE},
        {"source pitch below 1", {2, 8000, 1, 1, T({{"pitch", 0.5}})}, {}, ERR_WRONGUSAGE},
    };
    for (const auto &c : cases) {
        const int err = Call("MixSample", [&] {
            lua_pushnumber(L, 9);
            for (const Arg &a : c.args) Push(a);
        });
        ASSERT_EQ(err, c.err) << c.what;
        if (!err) {
            EXPECT_EQ(Data(9), c.want) << c.what;
        }
    }
}

TEST_F(SoundCommands, InsertSampleTable) {
    struct {
        const char *what;
        std::vector<Arg> args; // position, count, options
        std::vector<int> want;
        int err;
    } cases[] = {
        {"at the start", {0}, {-5, -6, 1, 2, 3}, 0},
        {"in the middle", {1}, {1, -5, -6, 2, 3}, 0},
        {"past the end", {99}, {1, 2, 3, -5, -6}, 0},
        {"a negative position", {-4}, {-5, -6, 1, 2, 3}, 0},
        {"count 1", {1, 1}, {1, -5, 2, 3}, 0},
        {"count beyond the source", {1, 9}, {1, -5, -6, 2, 3}, 0},
        {"count with looping", {3, 2, T({{"offset", 1}})}, {1, 2, 3, -6, -5}, 0},
        {"without loop", {3, 2, T({{"offset", 1}, {"loop", 0}})}, {1, 2, 3, -6, 0}, 0},
        {"a range past the source", {0, 1, T({{"end", 3}})}, {}, ERR_SMPRANGE},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(MakeSample(1, {1, 2, 3}, 8000, 0), 0);
        ASSERT_EQ(MakeSample(2, {-5, -6}, 8000, 0), 0);
        const int err = Call("InsertSample", [&] {
            lua_pushnumber(L, 2);
            lua_pushnumber(L, 1);
            for (const Arg &a : c.args) Push(a);
        });
        ASSERT_EQ(err, c.err) << c.what;
        if (!err) {
            EXPECT_EQ(Data(1), c.want) << c.what;
        }
    }
    // 8-bit into 16-bit widens by 256.
    ASSERT_EQ(MakeSample(3, {1000, 2000}, 8000, 1), 0);
    ASSERT_EQ(MakeSample(2, {-5, 7}, 8000, 0), 0);
    ASSERT_EQ(Cmd("InsertSample", {2, 3, 1}), 0);
    EXPECT_EQ(Data(3), (std::vector<int>{1000, -1280, 1792, 2000}));
    EXPECT_EQ(Cmd("InsertSample", {3, 3, 0}), ERR_WRONGUSAGE);
}

TEST_F(SoundCommands, CreateSampleSources) {
    EXPECT_EQ(MakeSample(1, {1, 200}, 8000, 0), ERR_SMPRANGE);
    EXPECT_EQ(MakeSample(1, {1, 2, 3}, 8000, 2), ERR_WRONGUSAGE); // stereo needs pairs
    EXPECT_EQ(MakeSample(1, {1}, 255, 0), ERR_LOWFREQ);
    ASSERT_EQ(MakeSample(1, {-128, 5}, 8000, 0), 0);
    EXPECT_EQ(Data(1), (std::vector<int>{-128, 5}));
    // From a memory block, within its size.
    ASSERT_EQ(Call("AllocMem", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 4);
              }),
              0);
    ASSERT_EQ(Cmd("Poke", {1, 0, 0x01020304, 1}), 0);
    auto memory = [&](int frames, int offset, int swap) {
        return Call("CreateSample", [&] {
            lua_pushnumber(L, 2);
            Push(T({{"source", "memory"}, {"id", 1}, {"offset", offset}, {"swap", swap}}));
            lua_pushnumber(L, 8000);
            lua_pushnumber(L, 1);
            lua_pushnumber(L, frames);
        });
    };
    ASSERT_EQ(memory(2, 0, 0), 0);
    EXPECT_EQ(Data(2), (std::vector<int>{0x0201, 0x0403}));
    ASSERT_EQ(memory(1, 2, 1), 0);
    EXPECT_EQ(Data(2), (std::vector<int>{0x0304}));
    EXPECT_EQ(memory(3, 0, 0), ERR_SMPRANGE);
    EXPECT_EQ(memory(0, 0, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(memory(-1, 0, 0), ERR_WRONGUSAGE);
}

TEST_F(SoundCommands, SampleCommandsAndTheirErrors) {
    ASSERT_EQ(MakeSample(1, std::vector<int>(400, 50), 8000, 0), 0);
    EXPECT_EQ(Cmd("PlaySample", {1, T({{"time", 0}})}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("PlaySample", {1, 1, 1, 1, 1, 1, 1, 1, 1}), ERR_TOOMANYARGS);
    EXPECT_EQ(Cmd("PlaySample", {5}), ERR_FINDSAMPLE);
    EXPECT_EQ(GetErrorNumber(), 5);
    EXPECT_EQ(Cmd("PlaySample", {1, T({{"pitch", 200}})}), ERR_LOWFREQ);
    EXPECT_EQ(Cmd("SetPitch", {1, 100}), ERR_LOWFREQ);
    cxSample *s = nullptr;
    ASSERT_EQ(FindSample(cxObjectID{1, nullptr}, &s), 0);
    ASSERT_EQ(Cmd("SetPanning", {1, -90000}), 0); // LEFT
    EXPECT_EQ(s->panning, 0u);
    ASSERT_EQ(Cmd("SetPanning", {1, 300}), 0);
    EXPECT_EQ(s->panning, 255u);
    ASSERT_EQ(Cmd("SetVolume", {1, "50%"}), 0);
    EXPECT_EQ(s->volume, 32u);
    // Times 0 loops until stopped.
    ASSERT_EQ(Cmd("PlaySample", {1, 0}), 0);
    usleep(100000);
    ASSERT_EQ(Cmd("IsSamplePlaying", {1}), 0);
    EXPECT_TRUE(Bool(1));
    ASSERT_EQ(Cmd("StopSample", {1}), 0);
    ASSERT_EQ(Cmd("IsSamplePlaying", {1}), 0);
    EXPECT_FALSE(Bool(1));
    // Copies carry the data; the same number twice is wrong.
    EXPECT_EQ(Cmd("CopySample", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CopySample", {1, nullptr}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    ASSERT_EQ(Cmd("SetMasterVolume", {1, "x", 3}), 0);
    ASSERT_EQ(Cmd("FreeSample", {1}), 0);
    EXPECT_EQ(Cmd("FreeSample", {1}), ERR_FINDSAMPLE);
}

TEST_F(SoundCommands, ChannelCommands) {
    ASSERT_EQ(Cmd("IsChannelPlaying", {0}), 0); // audio not open yet
    EXPECT_FALSE(Bool(1));
    ASSERT_EQ(Cmd("GetChannels"), 0);
    EXPECT_EQ(Num(1), 8);
    ASSERT_EQ(MakeSample(1, std::vector<int>(8000, 9), 8000, 0), 0);
    EXPECT_EQ(Cmd("IsChannelPlaying", {0}), ERR_CHANNELRANGE);
    EXPECT_EQ(Cmd("IsChannelPlaying", {9}), ERR_CHANNELRANGE);
    for (int c = 1; c <= 8; c++)
        if (c != 3) {
            ASSERT_EQ(Cmd("PlaySample", {1, T({{"channel", c}, {"times", 0}})}), 0);
        }
    ASSERT_EQ(Cmd("HaveFreeChannel"), 0);
    EXPECT_EQ(Num(1), 3);
    ASSERT_EQ(Cmd("PlaySample", {1, 0}), 0);
    ASSERT_EQ(Cmd("HaveFreeChannel"), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Cmd("PlaySample", {1}), ERR_NOCHANNEL);
    ASSERT_EQ(Cmd("IsChannelPlaying", {3}), 0);
    ASSERT_EQ(lua_gettop(L), 3);
    EXPECT_TRUE(Bool(1));
    EXPECT_EQ(Num(2), CX_OBJ_SAMPLE);
    EXPECT_EQ(Num(3), 1);
    ASSERT_EQ(Cmd("SetChannelVolume", {3, 16}), 0);
    EXPECT_EQ(GetAudioChannel(2)->volume, 16u);
    // A given busy channel is taken over.
    ASSERT_EQ(Cmd("PlaySample", {1, T({{"channel", 3}})}), 0);
    ASSERT_EQ(Cmd("StopChannel", {3}), 0);
    ASSERT_EQ(Cmd("IsChannelPlaying", {3}), 0);
    EXPECT_FALSE(Bool(1));
    // CloseAudio frees every sample.
    ASSERT_EQ(Cmd("CloseAudio"), 0);
    EXPECT_EQ(Cmd("PlaySample", {1}), ERR_FINDSAMPLE);
    ASSERT_EQ(Cmd("IsSound"), 0);
    EXPECT_TRUE(Bool(1)); // opened again on demand
}

TEST_F(SoundCommands, WithoutSound) {
    // NOSOUND: nothing loads, not even an automatic ID comes back.
    SoundSettingsListener(2, 1);
    ASSERT_EQ(Cmd("LoadSample", {nullptr, WriteTone("t.wav")}), 0);
    EXPECT_EQ(lua_gettop(L), 0);
    ASSERT_EQ(Cmd("GetChannels"), 0);
    EXPECT_EQ(Num(1), 0);
    ASSERT_EQ(Cmd("IsSound"), 0);
    EXPECT_FALSE(Bool(1));
    SoundSettingsListener(2, 0);

    // Without libasound the commands succeed quietly, unless sound is forced.
    static const char *const none[] = {"libcx-no-such-asound.so", nullptr};
    OsSetAlsaLibraryNames(none);
    ASSERT_EQ(Cmd("LoadSample", {1, WriteTone("t.wav")}), 0);
    ASSERT_EQ(Cmd("PlaySample", {1}), 0);
    ASSERT_EQ(Cmd("IsSound"), 0);
    EXPECT_FALSE(Bool(1));
    ResetSoundLibrary();
    OpenSoundLibrary(L);
    ASSERT_EQ(Cmd("ForceSound", {1}), 0);
    EXPECT_EQ(Cmd("LoadSample", {1, WriteTone("t.wav")}), ERR_OPENAUDIO);
    EXPECT_EQ(Cmd("OpenAudio"), ERR_OPENAUDIO);
    OsSetAlsaLibraryNames(nullptr);

    // A device that does not open is the same road.
    ResetSoundLibrary();
    OpenSoundLibrary(L);
    SoundSettingsListener(3, reinterpret_cast<intptr_t>("cx_no_such_device"));
    ASSERT_EQ(Cmd("OpenAudio"), 0);
    ASSERT_EQ(Cmd("IsSound"), 0);
    EXPECT_FALSE(Bool(1));
    ASSERT_EQ(Cmd("ForceSound", {1}), 0);
    ResetSoundLibrary();
    OpenSoundLibrary(L);
    SoundSettingsListener(3, reinterpret_cast<intptr_t>("cx_no_such_device"));
    SoundSettingsListener(33, 1);
    EXPECT_EQ(Cmd("OpenAudio"), ERR_OPENAUDIO);
}

TEST_F(SoundCommands, SettingsAndAttributes) {
    EXPECT_EQ(SoundSettingsListener(2, 0), 1);
    EXPECT_EQ(SoundSettingsListener(33, 0), 1);
    EXPECT_EQ(SoundSettingsListener(18, 0), 1);
    EXPECT_EQ(SoundSettingsListener(5, 0), 0);
    SoundSettingsListener(89, 3);
    ASSERT_EQ(Cmd("GetChannels"), 0);
    EXPECT_EQ(Num(1), 3);

    ASSERT_EQ(Cmd("LoadSample", {1, WriteTone("t.wav", 0.5)}), 0);
    const cxObjectID one{1, nullptr};
    struct {
        int selector;
        double want;
    } numbers[] = {{7, 1 /* MONO16 */}, {8, 500}, {9, 8000}, {24, 4000}};
    for (const auto &n : numbers) {
        lua_settop(L, 0);
        ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_SAMPLE, one, n.selector), 1) << n.selector;
        EXPECT_EQ(lua_tonumber(L, -1), n.want) << n.selector;
    }
    lua_settop(L, 0);
    ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_SAMPLE, one, 31), 1);
    EXPECT_EQ(Str(1), "inbuilt");
    lua_settop(L, 0);
    ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_SAMPLE, one, 16), 2);
    EXPECT_EQ(Num(1), -1);
    EXPECT_EQ(PushSoundAttribute(L, CX_OBJ_SAMPLE, one, 14), 0);
    EXPECT_EQ(PushSoundAttribute(L, CX_OBJ_SAMPLE, cxObjectID{7, nullptr}, 9), 0);

    ASSERT_EQ(Cmd("OpenMusic", {2, WriteTone("m.wav", 2)}), 0);
    const cxObjectID two{2, nullptr};
    struct {
        int selector;
        double want;
    } music[] = {{14, 2000}, {15, 0}, {19, 128}, {20, 8000}, {21, 1}, {26, 1}, {27, 1}};
    for (const auto &n : music) {
        lua_settop(L, 0);
        ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_MUSIC, two, n.selector), 1) << n.selector;
        EXPECT_EQ(lua_tonumber(L, -1), n.want) << n.selector;
    }
    lua_settop(L, 0);
    ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_MUSIC, two, 17), 1);
    EXPECT_EQ(Str(1), "RIFF WAVE");
    lua_settop(L, 0);
    ASSERT_EQ(PushSoundAttribute(L, CX_OBJ_MUSIC, two, 25), 1);
    EXPECT_TRUE(Bool(1));
}

}  // namespace
