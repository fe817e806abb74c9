// The video library on the brush tests' off-screen display, with the
// synthetic decoder registered, sound through alsa-lib's file PCM (the
// sound tests' scratch folder) and every presented picture recorded.
#pragma once

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "display/events/event_library.h"
#include "display/events/event_notices.h"
#include "display/present.h"
#include "graphics/geometry/geometry.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_internal.h"
#include "media/sound/sound_library.h"
#include "media/video/video_internal.h"
#include "media/video/video_library.h"
#include "platform/alsa/os_alsa.h"
#include "platform/os_threads.h"
#include "tests/images/brushes/brush_test_display.h"
#include "graphics/blit/mask_alpha_rect.h"  // before the layer fixture, which uses it
#include "tests/layers/layer_test_display.h"
#include "tests/media/sound/sound_fixture.h"
#include "tests/media/video/synthetic_decoder.h"
#include "tests/shell/test_files.h"
#include "tools/cdxl-writer/cdxl_writer.h"

namespace videotest {

// Every picture presented: its frame number (from its pixels) and pts.
struct ShownPicture {
    int32_t frame;
    double pts;
    double at;  // monotonic seconds
    double clock;  // the player's master clock then
};

inline std::mutex &ShownMutex() {
    static std::mutex m;
    return m;
}
inline std::vector<ShownPicture> &ShownList() {
    static std::vector<ShownPicture> v;
    return v;
}
inline double NowSeconds() {
    cxOsTimeVal t;
    OsGetMonotonicTime(&t);
    return double(t.seconds) + t.microseconds / 1e6;
}
inline void RecordPicture(cxVideoPlayer *p, const uint32_t *argb, int32_t width, int32_t, int32_t, double pts) {
    cxVideoStats s{};
    GetVideoPlayerStats(p, &s);
    std::lock_guard<std::mutex> lock(ShownMutex());
    ShownList().push_back({FrameOfPicture(argb, width), pts, NowSeconds(), s.masterClock});
}

template <class Base>
class VideoTestOn : public Base {
  protected:
    using Base::L;
    using Base::d;
    using Base::Call;
    using Base::Cmd;
    using Base::PixelOf;
    cxtest::TempDir dir;

    void SetUp() override {
        soundtest::PcmFolder();
        soundtest::ClearPcmFiles();
        Base::SetUp();
        d->refreshMutex = OsCreateMutex();
        d->os.state = CX_DISPLAY_SHOWN;  // videos play on shown displays
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenEventLibrary(L), 0);
        ASSERT_EQ(OpenSoundLibrary(L), 0);
        SoundSettingsListener(3, reinterpret_cast<intptr_t>("cxtest"));
        OsSetAlsaRealtime(0);
        OsSetAlsaPacing(1);
        ASSERT_EQ(OpenVideoLibrary(L), 0);
        RegisterSyntheticDecoder();
        SetSyntheticSettings(SyntheticSettings{});
        {
            std::lock_guard<std::mutex> lock(ShownMutex());
            ShownList().clear();
        }
        SetVideoPictureObserver(RecordPicture);
    }
    void TearDown() override {
        SetVideoPictureObserver(nullptr);
        FreeAllVideos(L);
        UnregisterSyntheticDecoder();
        StopAllPlayback(L);
        FreeAllSoundObjects(L);
        FreeAudioEngine();
        ResetSoundLibrary();
        FreeEventNotices(L);
        CleanupEvents(L);
        FreeDisplayRefreshQueue(d);
        d->os.state = CX_DISPLAY_CLOSED;
        OsFreeMutex(d->refreshMutex);
        d->refreshMutex = nullptr;
        Base::TearDown();
    }

    std::vector<ShownPicture> ShownCopy() {
        std::lock_guard<std::mutex> lock(ShownMutex());
        return ShownList();
    }
    cxVideo *Video(int id) {
        cxVideo *v = nullptr;
        FindVideo(L, cxObjectID{id, nullptr}, &v, CX_VIDEO_PENDING);
        return v;
    }
    int Open(int id, const std::string &file, const char *loader = nullptr) {
        return Call("OpenVideo", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
            if (loader) {
                lua_newtable(L);
                lua_pushstring(L, "loader");
                lua_pushstring(L, loader);
                lua_settable(L, -3);
            }
        });
    }
    int Str(const char *name, int id, const char *s) {
        return Call(name, [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, s);
        });
    }
    // Waits until cond holds, at most ms milliseconds (turning the refresh
    // queue as the main thread would). True when it held.
    template <class F>
    bool WaitFor(F cond, int ms) {
        const double until = NowSeconds() + ms / 1000.0;
        while (NowSeconds() < until) {
            FreeDisplayRefreshQueue(d);
            if (cond()) return true;
            OsDelayMs(2);
        }
        return cond();
    }
    // A CDXL clip of n frames of 64 x 48, frame i a solid colour with its
    // number in the first row, and soundBytes of sound per frame.
    std::string Clip(const char *name, int n, int soundBytes = 0, bool ham8 = false) {
        cxtool::CdxlClip c;
        c.ham8 = ham8;
        c.soundBytes = soundBytes;
        for (int i = 0; i < n; ++i) {
            std::vector<uint32_t> px(size_t(c.width) * c.height, 0x204060);
            for (int b = 0; b < 16; ++b)
                for (int x = 0; x < 4; ++x) px[size_t(b * 4 + x)] = ((i >> b) & 1) ? 0xFFFFFF : 0;
            c.frames.push_back(px);
            std::vector<int8_t> s(static_cast<size_t>(soundBytes), 0);
            for (int k = 0; k < soundBytes; ++k) s[size_t(k)] = int8_t(100 * std::sin(k * 0.2));
            c.sound.push_back(s);
        }
        const std::string path = dir.Path(name);
        EXPECT_TRUE(cxtool::WriteCdxl(path, c));
        return path;
    }
};

using VideoTest = VideoTestOn<cxtest::BrushDisplayTest>;

}  // namespace videotest
