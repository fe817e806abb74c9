// DumpVideo: the WAVE file's sizes, the numbered pictures against the
// decoded frames, placement on the display and bad arguments.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include <unistd.h>

#include "images/formats/png_codec.h"
#include "streams/stream.h"
#include "tests/media/media_test_support.h"
#include "tests/media/video/video_fixture.h"

namespace videotest {
namespace {

class VideoExport : public VideoTest {
  protected:
    int Dump(int id, double x, double y, const std::string &base, int format) {
        return Call("DumpVideo", [&] {
            lua_pushnumber(L, id);
            lua_pushnumber(L, x);
            lua_pushnumber(L, y);
            lua_pushstring(L, base.c_str());
            lua_pushnumber(L, format);
        });
    }
};

TEST_F(VideoExport, ThreeBytesOfSoundArePaddedAndCounted) {
    SyntheticSettings s;
    s.frames = 2;
    s.toneRate = 8000;
    s.toneChannels = 1;
    s.soundBytesOverride = 3;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    const std::string base = dir.Path("out");
    ASSERT_EQ(Dump(1, 0, 0, base, 1), 0);
    const cxtest::Bytes w = cxtest::ReadBytes(base + ".wav");
    ASSERT_EQ(w.size(), 44u + 4u);
    EXPECT_EQ(cxtest::Le32At(w, 4), 40u);
    EXPECT_EQ(cxtest::Le32At(w, 40), 3u);
    EXPECT_EQ(cxtest::Le32At(w, 24), 8000u);  // rate
    EXPECT_EQ(w[32], 2);                        // block align, mono
    EXPECT_EQ(w[47], 0);                        // the pad byte
}

TEST_F(VideoExport, NumberedPicturesAreTheDecodedFrames) {
    SyntheticSettings s;
    s.frames = 4;
    s.toneRate = 8000;
    s.toneChannels = 2;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    const std::string base = dir.Path("f");
    ASSERT_EQ(Dump(1, 0, 0, base, 1), 0);
    for (int i = 0; i < 4; ++i) {
        const std::string name = base + std::to_string(i) + ".png";
        cxStream *st = OpenFileStream(name.c_str(), CX_STREAM_READ, nullptr);
        ASSERT_NE(st, nullptr) << name;
        int w = 0, h = 0, alpha = 0, err = 0;
        uint32_t *px = nullptr;
        LoadPNGImage(st, 0, &w, &h, &px, &alpha, &err);
        CloseFileStream(st);
        ASSERT_EQ(err, 0);
        EXPECT_EQ(w, 64);
        EXPECT_EQ(FrameOfPicture(px, w), i);
        free(px);
    }
    EXPECT_EQ(access((base + "4.png").c_str(), F_OK), -1);
    // 4 frames of 1/25 s of stereo 16-bit sound at 8,000 Hz.
    const cxtest::Bytes w = cxtest::ReadBytes(base + ".wav");
    EXPECT_EQ(cxtest::Le32At(w, 40), 4u * 320u * 4u);
    // Without a name base nothing is written; a stopped video only.
    ASSERT_EQ(Cmd("DumpVideo", {1}), 0);
    EXPECT_EQ(Cmd("DumpVideo", {1, 0, 0}), 0);
}

// The sizes of a WAVE file are 32 bits: the export stops with an error
// before they would wrap, and the header counts what was written.
TEST_F(VideoExport, SoundBeyondWhatTheHeaderCountsStops) {
    SyntheticSettings s;
    s.frames = 10;
    s.toneRate = 8000;
    s.toneChannels = 2;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    SetVideoWaveLimit(3 * 1280 + 100);
    const std::string base = dir.Path("big");
    EXPECT_EQ(Dump(1, 0, 0, base, 0), ERR_WRITEFILE);
    SetVideoWaveLimit(0);
    const cxtest::Bytes w = cxtest::ReadBytes(base + ".wav");
    EXPECT_EQ(cxtest::Le32At(w, 40), 3u * 1280u);
    EXPECT_EQ(cxtest::Le32At(w, 4), 3u * 1280u + 36u);
    EXPECT_EQ(w.size(), 44u + 3u * 1280u);
}

TEST_F(VideoExport, PlacementAndRefusals) {
    SyntheticSettings s;
    s.frames = 1;
    s.rgb = true;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    // (-10, 0): the display's left column shows the picture's column 10.
    ASSERT_EQ(Cmd("DumpVideo", {1, -10, 0}), 0);
    // Row 5 of the synthetic RGB picture: (n, x, y) in R, G, B.
    EXPECT_EQ(PixelOf(d->picture, 0, 5), 0x000A05u);
    EXPECT_EQ(PixelOf(d->picture, 20, 5), 0x001E05u);
    for (int format : {5, -1}) EXPECT_EQ(Dump(1, 0, 0, dir.Path("x"), format), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    EXPECT_EQ(Cmd("DumpVideo", {1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
    EXPECT_EQ(Dump(1, 0, 0, "/nonexistent/dir/x", 0), ERR_WRITEFILE);
}

}  // namespace
}  // namespace videotest
