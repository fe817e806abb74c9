// Video objects through their commands: which decoder opens a file, the
// object's states and their errors, volume, size and frame access.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include "images/brushes/brush.h"
#include "display/display_record.h"
#include "media/video/video_decoder.h"
#include "media/video/video_display.h"
#include "tests/media/video/video_fixture.h"

namespace videotest {
namespace {

class VideoObjects : public VideoTest {
  protected:
    uint32_t State1() { return VideoState(Video(1)); }
};

TEST_F(VideoObjects, DecoderChoiceFollowsTheLoaderList) {
    const std::string cdxl = Clip("a.cdxl", 4);
    ASSERT_EQ(Open(1, "synthetic:x"), 0);
    EXPECT_STREQ(GetVideoDecoderName(Video(1)->player), "synthetic");
    EXPECT_NE(Video(1)->loaderId, 0u);
    ASSERT_EQ(Open(2, cdxl), 0);
    EXPECT_STREQ(GetVideoDecoderName(Video(2)->player), "CDXL");
    EXPECT_EQ(Video(2)->loaderId, 0u);
    EXPECT_EQ(Video(2)->sourceWidth, 64);
    EXPECT_EQ(Video(2)->sourceHeight, 48);
    // "inbuilt" alone keeps plug-ins out; "native" opens nothing here and
    // names the file.
    EXPECT_EQ(Open(3, "synthetic:x", "inbuilt"), ERR_LOADVIDEO);
    EXPECT_EQ(Open(3, cdxl, "native"), ERR_LOADVIDEO);
    EXPECT_EQ(std::string(GetErrorDetail()), cdxl);
    EXPECT_EQ(Open(3, cdxl, "synthetic"), ERR_LOADVIDEO);
    EXPECT_EQ(Open(3, cdxl, "inbuilt"), 0);
    // ForceVideoDriver changes what OpenVideo starts from.
    ASSERT_EQ(Cmd("ForceVideoDriver", {0}), 0);
    EXPECT_EQ(Open(4, cdxl), ERR_LOADVIDEO);
    ASSERT_EQ(Cmd("ForceVideoDriver", {1}), 0);
    EXPECT_EQ(Open(4, cdxl), 0);
    EXPECT_EQ(Open(5, "synthetic:y"), 0);
    // A file that is no video at all.
    const std::string text = dir.Path("t.txt");
    cxtest::WriteText(text, "hello, not a video");
    EXPECT_EQ(Open(6, text), ERR_LOADVIDEO);
    ASSERT_EQ(Call("IsVideo", [&] { lua_pushstring(L, text.c_str()); }), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 0);
    ASSERT_EQ(Call("IsVideo", [&] { lua_pushstring(L, cdxl.c_str()); }), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(VideoObjects, DecoderFaultsAreRefusedOrContained) {
    // A format the decoder cannot mean is refused: no video.
    SyntheticSettings s;
    s.badFormat = true;
    SetSyntheticSettings(s);
    EXPECT_EQ(Open(1, "synthetic:bad"), ERR_LOADVIDEO);
    // Oversized pictures never reach the player's buffers; a negative or a
    // huge packet ends the stream; NaN times count as unknown.
    struct Case {
        const char *name;
        SyntheticSettings s;
        int firstFrame;  // the first frame GetVideoFrame gives, -1 none
    };
    SyntheticSettings over, neg, huge, nan;
    over.oversizeFrame = true;
    neg.negativeSize = true;
    huge.hugePacket = true;
    nan.nanPts = true;
    for (const Case &c : {Case{"oversize", over, -1}, Case{"negative", neg, -1}, Case{"huge", huge, 0},
                          Case{"nan", nan, 0}}) {
        SCOPED_TRACE(c.name);
        SetSyntheticSettings(c.s);
        ASSERT_EQ(Open(2, std::string("synthetic:") + c.name), 0);
        const int err = Cmd("GetVideoFrame", {10, 1, 2});
        if (c.firstFrame < 0) {
            EXPECT_EQ(err, ERR_VIDEOFRAME);
        } else {
            ASSERT_EQ(err, 0);
            // Frame 3 lies beyond the huge packet.
            EXPECT_EQ(Cmd("GetVideoFrame", {11, 4, 2}), c.s.hugePacket ? ERR_VIDEOFRAME : 0);
        }
        ASSERT_EQ(Cmd("CloseVideo", {2}), 0);
    }
}

TEST_F(VideoObjects, LookupsReplaceAndClose) {
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    cxVideo *first = Video(1);
    // The same number again replaces the video.
    SyntheticSettings s;
    s.width = 32;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:b"), 0);
    EXPECT_EQ(Video(1)->sourceWidth, 32);
    (void)first;
    EXPECT_EQ(Cmd("CloseVideo", {1}), 0);
    EXPECT_EQ(Cmd("CloseVideo", {1}), ERR_FINDVIDEO);
    EXPECT_EQ(GetErrorNumber(), 1);
    // Automatic IDs.
    ASSERT_EQ(Call("OpenVideo", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, "synthetic:c");
              }),
              0);
    ASSERT_TRUE(lua_islightuserdata(L, -1));
    void *id = lua_touserdata(L, -1);
    EXPECT_EQ(Call("IsVideoPlaying", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("CloseVideo", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("CloseVideo", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
}

TEST_F(VideoObjects, StateErrors) {
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    EXPECT_EQ(Cmd("StopVideo", {1}), ERR_VIDSTOPPED);
    EXPECT_EQ(Cmd("PauseVideo", {1}), ERR_VIDNOTPLAYING);
    EXPECT_EQ(Cmd("ResumeVideo", {1}), ERR_VIDNOTPAUSED);
    EXPECT_EQ(Cmd("ForceVideoMode", {}), ERR_UNSUPPORTEDFEAT);
    EXPECT_EQ(Cmd("ForceVideoMode", {1, 2}), ERR_UNSUPPORTEDFEAT);
    // Seeking: duration 2000 ms.
    EXPECT_EQ(Video(1)->duration, 2000u);
    EXPECT_EQ(Cmd("SeekVideo", {1, 2000}), ERR_SEEKRANGE);
    EXPECT_EQ(Cmd("SeekVideo", {1, -1}), ERR_SEEKRANGE);
    EXPECT_EQ(Cmd("SeekVideo", {1, 1999}), 0);
    SyntheticSettings s;
    s.seekable = false;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(2, "synthetic:b"), 0);
    EXPECT_EQ(Cmd("SeekVideo", {2, 0}), ERR_SEEKFORMAT);
    EXPECT_EQ(Cmd("GetVideoFrame", {5, 0, 2, 1}), ERR_SEEKFORMAT);
}

TEST_F(VideoObjects, WhereAVideoCannotPlay) {
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    // A display that is not open and has no listeners.
    d->os.state = CX_DISPLAY_CLOSED;
    EXPECT_EQ(Cmd("PlayVideo", {1}), ERR_WRONGUSAGE);
    d->os.state = CX_DISPLAY_SHOWN;
    // While the script is recorded into a video file.
    SetRecordingVideo(1);
    EXPECT_EQ(Cmd("PlayVideo", {1}), ERR_WRONGCMDRECVIDEO);
    SetRecordingVideo(0);
    // A window shaped by a see-through background.
    cxBitmap *shape = AllocBitmap(8, 8, 0, 0);
    d->shapeMask = shape;
    EXPECT_EQ(Cmd("PlayVideo", {1}), ERR_VIDEOTRANS);
    d->shapeMask = nullptr;
    FreeBitmap(shape);
    // "uselayer" with layers off.
    EXPECT_EQ(Call("PlayVideo", [&] {
                  lua_pushnumber(L, 1);
                  lua_newtable(L);
                  lua_pushstring(L, "uselayer");
                  lua_pushnumber(L, 1);
                  lua_settable(L, -3);
              }),
              ERR_NOLAYERS);
    EXPECT_EQ(State1(), uint32_t(CX_VIDEO_STOPPED));
}

TEST_F(VideoObjects, VolumeAndSize) {
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    struct Case {
        const char *text;
        double number;
        uint32_t want;
    } cases[] = {{nullptr, 100, 64}, {"50%", 0, 32}, {nullptr, 20, 20}, {nullptr, -5, 0}, {"100%", 0, 64}};
    for (const Case &c : cases) {
        if (c.text) ASSERT_EQ(Str("SetVideoVolume", 1, c.text), 0);
        else ASSERT_EQ(Cmd("SetVideoVolume", {1, c.number}), 0);
        EXPECT_EQ(Video(1)->volume, c.want) << (c.text ? c.text : "");
    }
    ASSERT_EQ(Cmd("SetVideoSize", {1, 128, CX_KEEPASPRAT}), 0);
    EXPECT_EQ(Video(1)->width, 128);
    EXPECT_EQ(Video(1)->height, 32);
    EXPECT_EQ(Cmd("SetVideoSize", {1, 0, 10}), ERR_BADDIMENSIONS);
    ASSERT_EQ(Call("SetVideoSize", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "50%");
                  lua_pushstring(L, "200%");
              }),
              0);
    EXPECT_EQ(Video(1)->width, 32);
    EXPECT_EQ(Video(1)->height, 32);
    ASSERT_EQ(Cmd("SetVideoPosition", {1, 5, 6}), 0);
    EXPECT_EQ(Video(1)->x, 5);
    EXPECT_EQ(Video(1)->y, 6);
}

TEST_F(VideoObjects, GrabbingFramesByNumberAndTime) {
    for (bool rgb : {false, true}) {
        SCOPED_TRACE(rgb ? "rgb" : "yuv");
        SyntheticSettings s;
        s.rgb = rgb;
        SetSyntheticSettings(s);
        ASSERT_EQ(Open(1, "synthetic:a"), 0);
        auto frameOf = [&](int brush) {
            cxBrush *b = nullptr;
            EXPECT_EQ(FindBrush(L, cxObjectID{brush, nullptr}, &b, 0), 0);
            if (!b) return -1;
            std::vector<uint32_t> row(64);
            for (int x = 0; x < 64; ++x) row[size_t(x)] = PixelOf(b->bitmap, x, 0);
            return FrameOfPicture(row.data(), 64);
        };
        // Mode 0: 1-based numbers, forwards, backwards, the same again.
        for (int n : {1, 7, 3, 3, 50}) {
            ASSERT_EQ(Cmd("GetVideoFrame", {10, double(n), 1}), 0) << n;
            EXPECT_EQ(frameOf(10), n - 1);
        }
        EXPECT_EQ(Cmd("GetVideoFrame", {10, 51, 1}), ERR_VIDEOFRAME);
        EXPECT_EQ(Cmd("GetVideoFrame", {10, 0, 1}), ERR_VIDEOFRAME);
        // Mode 1: times; 1000 ms is frame 25 at 25 fps.
        ASSERT_EQ(Cmd("GetVideoFrame", {10, 1000, 1, 1}), 0);
        EXPECT_EQ(frameOf(10), 25);
        ASSERT_EQ(Cmd("GetVideoFrame", {10, 0, 1, 1}), 0);
        EXPECT_EQ(frameOf(10), 0);
        EXPECT_EQ(Cmd("GetVideoFrame", {10, 2000, 1, 1}), ERR_SEEKRANGE);
        EXPECT_EQ(Cmd("GetVideoFrame", {10, 1, 1, 2}), ERR_WRONGUSAGE);
        ASSERT_EQ(Cmd("CloseVideo", {1}), 0);
    }
}

TEST_F(VideoObjects, CdxlPicturesMatchTheWriter) {
    const std::string cdxl = Clip("a.cdxl", 3);
    ASSERT_EQ(Open(1, cdxl), 0);
    ASSERT_EQ(Cmd("GetVideoFrame", {10, 3, 1}), 0);
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, cxObjectID{10, nullptr}, &b, 0), 0);
    EXPECT_EQ(PixelOf(b->bitmap, 0, 0), 0u);            // frame 2: bit 0 clear
    EXPECT_EQ(PixelOf(b->bitmap, 4, 0), 0xFFFFFFu);     // bit 1 set
    EXPECT_EQ(PixelOf(b->bitmap, 10, 10), cxtool::CdxlCubeColour(0x204060));
}

}  // namespace
}  // namespace videotest
