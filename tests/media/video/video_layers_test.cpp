// Videos in layers: PlayVideo with "uselayer", the six layer commands,
// second copies, CloseVideo of a video a layer shows, DisplayVideoFrame.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include "layers/core/layer.h"
#include "layers/core/layer_list.h"
#include "layers/ops/layer_frames.h"
#include "layers/core/async_draw.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/transitionfx_library.h"
#include "engine/runtime/kernel.h"
#include "streams/applet_record.h"
#include "tests/media/video/video_fixture.h"

namespace videotest {
namespace {

class VideoLayers : public VideoTestOn<cxtest::LayerDisplayTest> {
  protected:
    cxApplet *applet = nullptr;
    void SetUp() override {
        VideoTestOn<cxtest::LayerDisplayTest>::SetUp();
        applet = NewApplet();
        SetRunningApplet(applet);
    }
    void TearDown() override {
        VideoTestOn<cxtest::LayerDisplayTest>::TearDown();
        SetRunningApplet(nullptr);
        FreeApplet(applet);
    }
    int UseLayer(int id) {
        return Call("PlayVideo", [&] {
            lua_pushnumber(L, id);
            lua_pushnumber(L, 0);
            lua_pushnumber(L, 0);
            lua_newtable(L);
            lua_pushstring(L, "uselayer");
            lua_pushnumber(L, 1);
            lua_settable(L, -3);
        });
    }
    // The frame number the layer's picture shows.
    int LayerFrame(int pos) {
        cxLayer *l = Layer(pos);
        if (!l || l->type != CX_LAYER_VIDEO || !l->content) return -2;
        auto *c = static_cast<cxLayerImageContent *>(l->content);
        std::vector<uint32_t> row(64);
        for (int x = 0; x < 64; ++x) row[size_t(x)] = PixelOf(c->bitmap, x, 0);
        return FrameOfPicture(row.data(), 64);
    }
    void Pump() { ProcessPendingRefreshes(L); }
    template <class F>
    bool PumpUntil(F cond, int ms) {
        const double until = NowSeconds() + ms / 1000.0;
        while (NowSeconds() < until) {
            Pump();
            if (cond()) return true;
            OsDelayMs(5);
        }
        return cond();
    }
};

TEST_F(VideoLayers, PlaysIntoALayerAndTheLayerCommandsDriveIt) {
    SyntheticSettings s;
    s.frames = 200;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(UseLayer(1), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_VIDEO);
    EXPECT_TRUE(IsLayerVideoPlaying(Layer(1)));
    // Pictures reach the layer on the main thread.
    ASSERT_TRUE(PumpUntil([&] { return LayerFrame(1) >= 3; }, 3000));
    ASSERT_EQ(Cmd("PauseLayer", {1}), 0);
    EXPECT_FALSE(IsLayerVideoPlaying(Layer(1)));
    EXPECT_EQ(Cmd("PauseLayer", {1}), ERR_VIDNOTPLAYING);
    ASSERT_EQ(Cmd("ResumeLayer", {1}), 0);
    EXPECT_EQ(Cmd("ResumeLayer", {1}), ERR_VIDNOTPAUSED);
    ASSERT_EQ(Cmd("SeekLayer", {1, 6000}), 0);
    ASSERT_TRUE(PumpUntil([&] { return LayerFrame(1) >= 150; }, 3000));
    ASSERT_EQ(Call("SetLayerVolume", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "50%");
              }),
              0);
    EXPECT_EQ(Video(1)->volume, 32u);
    ASSERT_EQ(Cmd("StopLayer", {1}), 0);
    EXPECT_EQ(Cmd("StopLayer", {1}), ERR_VIDSTOPPED);
    ASSERT_EQ(Cmd("PlayLayer", {1}), 0);
    EXPECT_EQ(Cmd("PlayLayer", {1}), ERR_VIDPLAYING);
    // Played directly while a layer shows it: refused.
    ASSERT_EQ(Cmd("StopLayer", {1}), 0);
    EXPECT_EQ(Cmd("PlayVideo", {1}), ERR_DBVIDEOLAYER);
}

TEST_F(VideoLayers, LayerCommandErrors) {
    Brush(5, 8, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {5, 0, 0}), 0);
    ASSERT_EQ(Count(), 1);
    for (const char *c : {"PlayLayer", "StopLayer", "PauseLayer", "ResumeLayer"}) {
        EXPECT_EQ(Cmd(c, {1}), ERR_BADLAYERTYPE) << c;
        EXPECT_EQ(Cmd(c, {0}), ERR_LAYERRANGE) << c;
        EXPECT_EQ(Cmd(c, {2}), ERR_LAYERRANGE) << c;
    }
    EXPECT_EQ(Cmd("SeekLayer", {1, 10}), ERR_BADLAYERTYPE);
    EXPECT_EQ(Cmd("SetLayerVolume", {1, 10}), ERR_BADLAYERTYPE);
    applet->versionMajor = 5;
    applet->versionMinor = 9;
    EXPECT_EQ(Cmd("PlayLayer", {1}), ERR_OLDAPPLET);
}

TEST_F(VideoLayers, SecondCopiesAndClosingWhatALayerShows) {
    SyntheticSettings s;
    s.frames = 500;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    const int opens = g_syntheticOpens.load();
    ASSERT_EQ(Cmd("PlayVideo", {1}), 0);
    // Already playing: the layer gets a copy of its own.
    ASSERT_EQ(UseLayer(1), 0);
    EXPECT_EQ(g_syntheticOpens.load(), opens + 1);
    ASSERT_EQ(Count(), 1);
    EXPECT_FALSE(Layer(1)->source.number == 1 && Layer(1)->source.pointer == nullptr);
    ASSERT_EQ(Cmd("StopVideo", {1}), 0);
    // A layer that shows the video itself keeps it past CloseVideo.
    ASSERT_EQ(Open(2, "synthetic:b"), 0);
    ASSERT_EQ(UseLayer(2), 0);
    ASSERT_EQ(Count(), 2);
    ASSERT_EQ(Cmd("CloseVideo", {2}), 0);
    EXPECT_EQ(Cmd("StopVideo", {2}), ERR_FINDVIDEO);
    EXPECT_TRUE(IsLayerVideoPlaying(Layer(2)));
    const int before = LayerFrame(2);
    ASSERT_TRUE(PumpUntil([&] { return LayerFrame(2) > before + 2; }, 3000));
    // The layer goes: the video stops and goes with it.
    ASSERT_EQ(Cmd("RemoveLayer", {2}), 0);
    ASSERT_TRUE(PumpUntil([&] {
        int n = 0;
        for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) n += v->pendingFree && IsVideoActive(v);
        return n == 1;  // the first layer's copy plays on
    }, 2000));
}

TEST_F(VideoLayers, DisplayVideoFrameMakesALayerOfThatFrame) {
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(Cmd("DisplayVideoFrame", {1, 800, 3, 4}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_VIDEO);
    EXPECT_EQ(LayerFrame(1), 20);
    EXPECT_EQ(Cmd("DisplayVideoFrame", {1, 2000, 0, 0}), ERR_SEEKRANGE);
    d->layersOn = 0;
    EXPECT_EQ(Cmd("DisplayVideoFrame", {1, 0, 0, 0}), ERR_NOLAYERS);
    EXPECT_EQ(UseLayer(1), ERR_NOLAYERS);
    d->layersOn = 1;
}

TEST_F(VideoLayers, InsertLayerShowsTheFirstPictureAndDisableLayersStops) {
    SyntheticSettings s;
    s.frames = 500;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    Brush(5, 8, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {5, 0, 0}), 0);
    // In front of the brush's layer, then hidden at the front.
    ASSERT_EQ(Cmd("InsertLayer", {1, 50, 1, 3, 4}), 0);
    ASSERT_EQ(Count(), 2);
    ASSERT_EQ(Layer(1)->type, CX_LAYER_VIDEO);
    EXPECT_EQ(Layer(2)->type, CX_LAYER_BRUSH);
    EXPECT_EQ(LayerFrame(1), 0);
    EXPECT_FALSE(IsLayerVideoPlaying(Layer(1)));
    ASSERT_EQ(Cmd("InsertLayer", {0, 50, 1, 0, 0, 1}), 0);
    ASSERT_EQ(Count(), 3);
    EXPECT_EQ(Layer(3)->type, CX_LAYER_VIDEO);
    EXPECT_EQ(Layer(3)->hidden, 1u);
    EXPECT_EQ(Cmd("InsertLayer", {0, 50, 9, 0, 0}), ERR_FINDVIDEO);

    ASSERT_EQ(Cmd("PlayLayer", {1}), 0);
    ASSERT_EQ(Cmd("PlayLayer", {3}), 0);
    ASSERT_EQ(Cmd("PauseLayer", {3}), 0);
    ASSERT_TRUE(IsLayerVideoPlaying(Layer(1)));
    ASSERT_EQ(Cmd("DisableLayers", {}), 0);
    EXPECT_FALSE(IsLayerVideoPlaying(Layer(1)));
    int active = 0;
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) active += IsVideoActive(v);
    EXPECT_EQ(active, 0) << "the paused one is stopped too";
    ASSERT_EQ(Cmd("EnableLayers", {}), 0);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(Cmd("StopLayer", {1}), ERR_VIDSTOPPED);

    applet->versionMajor = 5;
    applet->versionMinor = 9;
    EXPECT_EQ(Cmd("InsertLayer", {0, 50, 1, 0, 0}), ERR_OLDAPPLET);
    EXPECT_EQ(Count(), 3);
}

// Whether a turn of the effect loop saw an asynchronous draw on the display.
bool g_sawDraw = false;

TEST_F(VideoLayers, AnEffectOnAPlayingVideoLayerRunsAsynchronouslyInsideTheCommand) {
    SyntheticSettings s;
    s.frames = 500;
    SetSyntheticSettings(s);
    ASSERT_EQ(Open(1, "synthetic:a"), 0);
    ASSERT_EQ(UseLayer(1), 0);
    ASSERT_TRUE(IsLayerVideoPlaying(Layer(1)));
    ASSERT_EQ(OpenTransitionLibrary(L), 0);
    static cxDisplay *shown;
    shown = d;
    g_sawDraw = false;
    const cxEffectLoopHooks hooks{[](lua_State *L, int *) {
                                      ProcessPendingRefreshes(L);
                                      g_sawDraw = g_sawDraw || HasAsyncDrawOnDisplay(shown);
                                      return 0;
                                  },
                                  [](lua_State *, cxDisplay *) { OsDelayMs(1); }};
    SetEffectLoopHooks(&hooks);
    const int top = lua_gettop(L);
    EXPECT_EQ(Cmd("HideLayerFX", {1, 24, 1000}), 0);
    EXPECT_EQ(lua_gettop(L), top) << "no handle for the script";
    EXPECT_TRUE(g_sawDraw);
    EXPECT_FALSE(HasAsyncDrawOnDisplay(d));
    EXPECT_EQ(CountRunningEffects(), 0);
    EXPECT_EQ(Layer(1)->hidden, 1u);
    EXPECT_TRUE(IsLayerVideoPlaying(Layer(1)));
    // A stopped one runs as before, without a draw.
    ASSERT_EQ(Cmd("StopLayer", {1}), 0);
    g_sawDraw = false;
    EXPECT_EQ(Cmd("ShowLayerFX", {1, 24, 1000}), 0);
    EXPECT_FALSE(g_sawDraw);
    EXPECT_EQ(Layer(1)->hidden, 0u);
    SetEffectLoopHooks(nullptr);
}

}  // namespace
}  // namespace videotest
