// The audio engine on an audio-adapter plug-in: what the adapter is asked
// to allocate, the attribute tags it gets, the sound it pulls through the
// fill callback (samples, music streams and their threads, modules) and
// when its channels are freed.
#include <dlfcn.h>

#include "engine/plugins/plugin_registry.h"
#include "media/sound/protracker.h"
#include "tests/media/sound/sound_fixture.h"

namespace {

class Adapter : public soundtest::SoundTest {
protected:
    void *module = nullptr;
    cxPlugin plugin{};
    cxApiSystem system{};
    cxPluginApi api{};
    void (*log)(char *, size_t) = nullptr;
    void (*clearLog)() = nullptr;
    size_t (*data)(int, unsigned char *, size_t) = nullptr;

    template <class F>
    void Resolve(F &slot, const char *name) {
        slot = reinterpret_cast<F>(dlsym(module, name));
        ASSERT_NE(slot, nullptr) << name;
    }
    void SetUp() override {
        SoundTest::SetUp();
        module = dlopen(CX_TEST_AUDIO_ADAPTER, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        system.RegisterAudioAdapter = RegisterAudioAdapter;
        api.version = 8;
        api.system = &system;
        Resolve(plugin.InitPlugin, "InitPlugin");
        Resolve(plugin.OpenAudio, "OpenAudio");
        Resolve(plugin.CloseAudio, "CloseAudio");
        Resolve(plugin.AllocAudioChannel, "AllocAudioChannel");
        Resolve(plugin.FreeAudioChannel, "FreeAudioChannel");
        Resolve(plugin.SetChannelAttributes, "SetChannelAttributes");
        Resolve(log, "TestAudioLog");
        Resolve(clearLog, "TestAudioClearLog");
        Resolve(data, "TestAudioData");
        SetPluginStartupPhase(1);
        ASSERT_EQ(plugin.InitPlugin(&plugin, &api, CX_TEST_AUDIO_ADAPTER), 1);
        SetPluginStartupPhase(0);
        clearLog();
    }
    void TearDown() override {
        SoundTest::TearDown();
        RemovePluginHooks(&plugin);
        if (module) dlclose(module);
    }
    std::string Log() {
        std::vector<char> text(65536);
        log(text.data(), text.size());
        return text.data();
    }
    std::vector<uint8_t> Data(int handle) {
        std::vector<uint8_t> out(data(handle, nullptr, 0));
        data(handle, out.data(), out.size());
        return out;
    }
    // Turns the release of finished channels until the log shows text.
    bool WaitLog(const std::string &text, int ms = 5000) {
        for (int i = 0; i < ms / 10; i++) {
            ReleaseFinishedChannels();
            if (Log().find(text) != std::string::npos) return true;
            usleep(10000);
        }
        return false;
    }
};

std::vector<uint8_t> Le16(const std::vector<int16_t> &v) {
    std::vector<uint8_t> out;
    for (int16_t s : v) out.push_back(uint8_t(s)), out.push_back(uint8_t(uint16_t(s) >> 8));
    return out;
}

TEST_F(Adapter, RegistrationRules) {
    ASSERT_EQ(Cmd("GetChannels"), 0);
    EXPECT_EQ(Num(1), 4); // the adapter's count
    // Outside the start-up no other adapter gets in; with flag 2 the
    // registered one may change its buffer.
    const cxTagItem tags[] = {{1, 512}, {0, 0}};
    EXPECT_EQ(RegisterAudioAdapter(&plugin, 0, tags), ERR_SETADAPTER);
    EXPECT_EQ(RegisterAudioAdapter(&plugin, 2, tags), 0);
    uint32_t frames = 0;
    EXPECT_EQ(GetAudioAdapter(&frames, nullptr), &plugin);
    EXPECT_EQ(frames, 512u);
    cxPlugin other{};
    EXPECT_EQ(RegisterAudioAdapter(&other, 0, nullptr), ERR_WRONGUSAGE); // no capability
    SetPluginStartupPhase(1);
    other.capabilities = CX_CAP_AUDIOADAPTER;
    const cxTagItem none[] = {{2, 0}, {0, 0}};
    EXPECT_EQ(RegisterAudioAdapter(&other, 0, none), ERR_WRONGUSAGE); // no channels
    SetPluginStartupPhase(0);
}

TEST_F(Adapter, SamplesArePulledThroughTheFill) {
    std::vector<int> values;
    for (int i = 0; i < 3000; i++) values.push_back((i * 37) % 20000 - 10000);
    ASSERT_EQ(MakeSample(1, values, 8000, 1), 0);
    ASSERT_EQ(Cmd("PlaySample", {1, T({{"volume", 40}, {"panning", 200}})}), 0);
    EXPECT_NE(Log().find("alloc 1 format 4 rate 8000 volume 40\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("attributes 1 2=200\n"), std::string::npos) << Log();
    ASSERT_EQ(Cmd("SetVolume", {1, 20}), 0);
    ASSERT_EQ(Cmd("SetPitch", {1, 11025}), 0);
    EXPECT_NE(Log().find("attributes 1 1=20\nattributes 1 3=11025\n"), std::string::npos) << Log();
    ASSERT_TRUE(WaitSample(1));
    std::vector<int16_t> want(values.begin(), values.end());
    EXPECT_EQ(Data(1), Le16(want));
    // Released a second after its end.
    EXPECT_TRUE(WaitLog("free 1\n")) << Log();
}

TEST_F(Adapter, MusicStreamsAndModules) {
    SoundSettingsListener(18, 1);
    cxtest::TempDir dir;
    const std::vector<int16_t> tone = cxsound::Sine16(6000, 300, 4000, 0.6, 1); // 1.5 s
    const std::string wav = dir.Path("tone.wav"), mod = dir.Path("song.mod");
    ASSERT_TRUE(cxsound::WriteFile(wav, cxsound::Wave16(tone, 1, 4000)));
    const cxsound::Bytes song = cxsound::MakeModule(cxsound::DemoModule(1));
    ASSERT_TRUE(cxsound::WriteFile(mod, song));
    ASSERT_EQ(Cmd("OpenMusic", {1, wav}), 0);
    ASSERT_EQ(Cmd("PlayMusic", {1}), 0);
    EXPECT_NE(Log().find("alloc 1 format 4 rate 4000 volume 64\n"), std::string::npos) << Log();
    ASSERT_TRUE(WaitMusicEnd(1));
    EXPECT_EQ(Data(1), Le16(tone));
    bool ended = false;
    for (const cxEventNotice &n : Notices()) ended |= n.kind == CX_NOTICE_MUSICEND && n.id.number == 1;
    EXPECT_TRUE(ended);
    EXPECT_NE(Log().find("free 1\n"), std::string::npos) << Log();

    clearLog();
    ASSERT_EQ(Cmd("LoadModule", {2, mod}), 0);
    ASSERT_EQ(Cmd("PlayModule", {2}), 0);
    EXPECT_NE(Log().find("format 5 rate 48000"), std::string::npos) << Log();
    ASSERT_EQ(Cmd("SetMusicVolume", {2, 10}), 0);
    usleep(200000);
    ASSERT_EQ(Cmd("StopModule", {2}), 0);
    const std::vector<uint8_t> heard = Data(1);
    ASSERT_GT(heard.size(), 4000u);
    std::vector<unsigned char> copy(song.begin(), song.end());
    std::vector<char> state(InitModulePlayer(nullptr, copy.data(), uint32_t(copy.size()), 48000));
    auto *m = reinterpret_cast<cxModulePlayer *>(state.data());
    InitModulePlayer(m, copy.data(), uint32_t(copy.size()), 48000);
    std::vector<int16_t> offline(heard.size() / 2);
    RenderModuleBlock(m, offline.data(), uint32_t(offline.size() / 2));
    EXPECT_EQ(memcmp(heard.data(), offline.data(), heard.size()), 0);
    EXPECT_NE(Log().find("attributes 1 1=10\n"), std::string::npos) << Log();
}

}  // namespace
