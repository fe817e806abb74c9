// The sound library inside the real player: declared samples load before
// the main chunk, the options NOSOUND, FORCESOUND and AUDIODEVICE reach
// the library, and a run plays through alsa-lib's file PCM.
#include <gtest/gtest.h>

#include "tests/media/sound/sound_fixture.h"
#include "tests/shell/e2e/player_runner.h"

namespace {

const char *kApplet = R"(
.source "=play.cxs"
.line 1
        GETGLOBAL 0 "playsample"
        LOADK 1 #3
        CALL 0 2 1
.line 2
        GETGLOBAL 0 "waitsampleend"
        LOADK 1 #3
        CALL 0 2 1
        RETURN 0 1
)";

class SoundPlayer : public ::testing::Test {
protected:
    cxtest::TempDir dir;
    std::string applet, wav;
    std::vector<int16_t> tone = cxsound::Sine16(2000, 500, 8000, 0.5, 1);
    void SetUp() override {
        soundtest::PcmFolder(); // ALSA_CONFIG_PATH for the player too
        soundtest::ClearPcmFiles();
        wav = dir.Path("tone.wav");
        ASSERT_TRUE(cxsound::WriteFile(wav, cxsound::Wave16(tone, 1, 8000)));
        applet = dir.Path("play.cxa");
        cxtools::DeclaredItem item;
        item.type = 2; // SAMPLE
        item.id = 3;
        item.name = wav;
        cxe2e::WriteApplet(applet, kApplet, {item});
    }
};

TEST_F(SoundPlayer, DeclaredSamplePlaysOnTheNamedDevice) {
    const cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-AUDIODEVICE", "cxtest", "-QUIET"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<uint8_t> heard = soundtest::PcmData("ch-8000-1-16.wav");
    ASSERT_EQ(heard.size(), tone.size() * 2);
    EXPECT_EQ(memcmp(heard.data(), tone.data(), heard.size()), 0);
}

TEST_F(SoundPlayer, WithoutADeviceSoundIsSilentUnlessForced) {
    cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-AUDIODEVICE", "cx_no_such_device", "-QUIET"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    r = cxe2e::RunPlayer({applet, "-AUDIODEVICE", "cx_no_such_device", "-FORCESOUND", "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot open audio device!"), std::string::npos) << r.out << r.err;
    r = cxe2e::RunPlayer({applet, "-AUDIODEVICE", "cxtest", "-NOSOUND", "-QUIET"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(soundtest::PcmFiles().empty());
}

}  // namespace
