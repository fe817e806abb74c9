// A video playing in a real X window (Xvfb in CI) with the X back-end's
// thread check on: the player's threads never talk to X themselves; their
// pictures reach the window through the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

// Before the X headers, whose Bool macro it would meet.
#include "tests/media/sound/sound_fixture.h"
#include "display/events/event_library.h"
#include "display/events/event_notices.h"
#include "display/present.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_library.h"
#include "media/video/video_internal.h"
#include "media/video/video_library.h"
#include "platform/alsa/os_alsa.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "tests/display/displays/display_fixture.h"
#include "tests/media/video/synthetic_decoder.h"
#include "window/x11/x11_connection.h"

namespace videotest {
namespace {

class VideoX11 : public cxtest::DisplayTest {
  protected:
    cxDisplay *d = nullptr;
    bool videoOpen = false;
    void SetUp() override {
        DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
        soundtest::PcmFolder();
        soundtest::ClearPcmFiles();
        ASSERT_EQ(Create(1, {{"width", 96.0}, {"height", 48.0}, {"x", 0.0}, {"y", 0.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        d = Display(1);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(OpenEventLibrary(L), 0);
        ASSERT_EQ(OpenSoundLibrary(L), 0);
        SoundSettingsListener(3, reinterpret_cast<intptr_t>("cxtest"));
        OsSetAlsaRealtime(0);
        OsSetAlsaPacing(1);
        ASSERT_EQ(OpenVideoLibrary(L), 0);
        videoOpen = true;
        RegisterSyntheticDecoder();
        OsSetXThreadCheck(1);
    }
    void TearDown() override {
        OsSetXThreadCheck(0);
        if (videoOpen) {
            FreeAllVideos(L);
            UnregisterSyntheticDecoder();
            StopAllPlayback(L);
            FreeAllSoundObjects(L);
            FreeAudioEngine();
            ResetSoundLibrary();
            FreeEventNotices(L);
            CleanupEvents(L);
        }
        DisplayTest::TearDown();
    }
    static double Now() {
        cxOsTimeVal t;
        OsGetMonotonicTime(&t);
        return double(t.seconds) + t.microseconds / 1e6;
    }
    // The frame number of the picture in the window at (8, 8).
    int32_t WindowFrame() {
        uint32_t row[64] = {};
        for (int b = 0; b < 16; ++b) row[b * 4 + 1] = WindowPixel(d, 8 + b * 4 + 1, 8);
        return FrameOfPicture(row, 64);
    }
    cxVideo *Video(int id) {
        cxVideo *v = nullptr;
        FindVideo(L, cxObjectID{id, nullptr}, &v, 0);
        return v;
    }
};

TEST_F(VideoX11, PicturesReachTheWindowFromTheMainThreadOnly) {
    SyntheticSettings s;
    s.frames = 40;
    s.fps = 50;
    s.toneRate = 22050;
    SetSyntheticSettings(s);
    ASSERT_EQ(Call("OpenVideo", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "synthetic:a");
              }),
              0);
    ASSERT_EQ(Cmd("PlayVideo", {1, 8, 8}), 0);
    // Pause, resume and seek while it plays: every hand-over between the
    // threads happens with the check on.
    int32_t shown = -1;
    bool paused = false, seeked = false;
    const double until = Now() + 10;
    while (Now() < until && VideoState(Video(1)) != CX_VIDEO_ENDED) {
        ProcessPendingRefreshes(L);
        shown = std::max(shown, WindowFrame());
        if (!paused && shown >= 2) {
            ASSERT_EQ(Cmd("PauseVideo", {1}), 0);
            ASSERT_EQ(Cmd("ResumeVideo", {1}), 0);
            paused = true;
        } else if (paused && !seeked) {
            ASSERT_EQ(Cmd("SeekVideo", {1, 200}), 0);
            seeked = true;
        }
        OsDelayMs(5);
    }
    ASSERT_EQ(VideoState(Video(1)), uint32_t(CX_VIDEO_ENDED));
    ProcessPendingRefreshes(L);
    EXPECT_EQ(WindowFrame(), s.frames - 1) << "the last picture stays in the window";
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
    EXPECT_EQ(OsXRequestsOffThread(), 0);
}

TEST_F(VideoX11, TheCheckSeesARequestFromAnotherThread) {
    // The check itself: a request from a helper thread is counted.
    cxOsWindow *w = OsGetDisplayWindow(&d->os);
    ASSERT_NE(w, nullptr);
    std::thread t([&] {
        XLockDisplay(w->dpy);
        XRaiseWindow(w->dpy, w->window);
        XUnlockDisplay(w->dpy);
    });
    t.join();
    EXPECT_GE(OsXRequestsOffThread(), 1);
    OsSetXThreadCheck(1);  // cleared again
    XRaiseWindow(w->dpy, w->window);
    EXPECT_EQ(OsXRequestsOffThread(), 0);
}

}  // namespace
}  // namespace videotest
