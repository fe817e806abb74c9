// A layer effect through ShowLayerFX on a 1920x1080 display with layers on
// and no window, in layer mode beside the same effect in direct mode, in
// the same run:
//
//   LayerMode/<effect>   the layer shown by the effect carries a shadow and
//                        a blur filter and 8 layers lie behind it: every
//                        step recomposites its rectangle with all of them,
//                        and the shadow and the blurred image are rebuilt
//                        at every step
//   DirectMode/<effect>  the same picture as a plain layer with nothing
//                        behind it: the steps draw straight to the display
//
// The synchronous loop's pump and frame wait are the benchmark's: a step
// is the time from the pump's turn to the frame wait (the effect's own
// work and its presentation, no pacing). mean_ms and worst_ms are over the
// steps of all runs; first_ms is the first step (the slower of the runs),
// finish_ms the last step with the layer's finalisation. layer_mode says which road the engine took.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/picture.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/library/layers_library.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/transitionfx_library.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kShownW = 1600, kShownH = 900;  // the layer the effect shows
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// What the loop hooks saw of one run.
struct Steps {
    Clock::time_point start;
    std::vector<double> seconds;
    bool layerMode = false;
    const cxLayer *layer = nullptr;
};
Steps *g_steps = nullptr;

int Pump(lua_State *, int *code) {
    *code = 0;
    g_steps->start = Clock::now();
    return 0;
}

void WaitFrame(lua_State *, cxDisplay *) {
    g_steps->seconds.push_back(Seconds(g_steps->start, Clock::now()));
    if (const cxEffectInstance *fx = FindLayerEffect(g_steps->layer)) g_steps->layerMode = fx->layerMode != 0;
}

// A display of 1920x1080 with layers on, no window, and the commands.
struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = nullptr;
    std::mt19937 rng{11};

    Scene() {
        InitDisplayRecords();
        SetSafeBltHooks(nullptr);
        cxSafeBltHooks hooks = *GetSafeBltHooks();
        hooks.refreshRegion = nullptr;
        hooks.refreshDirect = nullptr;
        SetSafeBltHooks(&hooks);
        OpenBrushLibrary(L);
        OpenBGPicLibrary(L);
        OpenLayersLibrary(L);
        OpenTransitionLibrary(L);
        d = NewDisplayRecord();
        d->os.width = kW;
        d->os.height = kH;
        d->fillStyle = 1;
        GetDisplayPictureHooks()->makeOwnPicture(L, d);
        d->targetKind = CX_OBJECT_DISPLAY;
        d->layersOn = 1;
        LinkDisplay(d);
        SetCurrentDisplayRecord(d);
        FillRect(d->picture, 0, 0, kW, kH, 0x203040);
        GetCompositionBuffer(L, d);
        const cxEffectLoopHooks loop{Pump, WaitFrame};
        SetEffectLoopHooks(&loop);
    }
    ~Scene() {
        SetEffectLoopHooks(nullptr);
        FreeTransitionLibraryState(L);
        FreeAllLayers(L, d->bgpic, 1, 1);
        SetCurrentDisplayRecord(nullptr);
        UnlinkDisplay(d);
        FreeBitmap(d->backBitmap[0]);
        GetDisplayPictureHooks()->freeOwnPicture(L, d);
        free(d);
        FreeLayerLibraryState(L);
        FreeAllBrushes(L);
        FreeAllBGPics(L);
        SetDisplayPictureHooks(nullptr);
        SetSafeBltHooks(nullptr);
        FreeDisplayRecords();
        lua_close(L);
    }
    // A brush of random blocks of colour (a blur has something to do).
    void Brush(int id, int w, int h) {
        cxBitmap *bm = AllocBitmap(w, h, 0, 0);
        for (int i = 0; i < 200; ++i)
            FillRect(bm, int(rng() % w), int(rng() % h), int(rng() % 200 + 1), int(rng() % 200 + 1),
                     uint32_t(rng() & 0xFFFFFF));
        cxObjectID oid{id, nullptr};
        AddBrushRecord(&oid, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, nullptr, nullptr, nullptr);
    }
    void Get(const char *name) {
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
    }
    void Field(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }
    int DisplayBrush(int id, int x, int y, bool hidden) {
        lua_settop(L, 0);
        Get("displaybrush");
        lua_pushnumber(L, id);
        lua_pushnumber(L, x);
        lua_pushnumber(L, y);
        lua_newtable(L);
        Field("hidden", hidden ? 1 : 0);
        return lua_pcall(L, 4, 0, 0);
    }
    // SetLayerStyle(layer, {shadow = True, ..., filters = {{name = "blur"}}})
    int ShadowAndBlur(int layer) {
        lua_settop(L, 0);
        Get("setlayerstyle");
        lua_pushnumber(L, layer);
        lua_newtable(L);
        Field("shadow", 1);
        Field("shadowsize", 12);
        Field("shadowradius", 6);
        lua_pushstring(L, "filters");
        lua_newtable(L);
        lua_newtable(L);
        lua_pushstring(L, "name");
        lua_pushstring(L, "blur");
        lua_settable(L, -3);
        lua_rawseti(L, -2, 1);
        lua_settable(L, -3);
        return lua_pcall(L, 2, 0, 0);
    }
    int ShowLayerFX(int layer, int effect) {
        lua_settop(L, 0);
        Get("showlayerfx");
        lua_pushnumber(L, layer);
        lua_newtable(L);
        Field("type", effect);
        Field("speed", -1);  // NORMALSPEED
        return lua_pcall(L, 2, 0, 0);
    }
    int HideLayer(int layer) {
        lua_settop(L, 0);
        Get("hidelayer");
        lua_pushnumber(L, layer);
        return lua_pcall(L, 1, 0, 0);
    }
};

void Run(benchmark::State &st, int effect, bool layered) {
    Scene sc;
    int shown = 1;
    if (layered) {
        for (int i = 1; i <= 8; ++i) {
            sc.Brush(i, 640, 480);
            if (sc.DisplayBrush(i, int(sc.rng() % (kW - 640)), int(sc.rng() % (kH - 480)), false)) {
                st.SkipWithError("DisplayBrush failed");
                return;
            }
        }
        shown = 9;
    }
    sc.Brush(shown, kShownW, kShownH);
    if (sc.DisplayBrush(shown, (kW - kShownW) / 2, (kH - kShownH) / 2, true) ||
        (layered && sc.ShadowAndBlur(shown))) {
        st.SkipWithError("the shown layer could not be made");
        return;
    }
    Steps steps;
    g_steps = &steps;
    std::vector<double> all;
    double finish = 0, first = 0;
    bool layerMode = false;
    for (auto _ : st) {
        steps.seconds.clear();
        steps.layer = GetLayerByPos(sc.d->bgpic, shown);
        if (sc.ShowLayerFX(shown, effect)) {
            st.SkipWithError("ShowLayerFX failed");
            break;
        }
        finish = std::max(finish, Seconds(steps.start, Clock::now()));
        layerMode = steps.layerMode;
        if (!steps.seconds.empty()) first = std::max(first, steps.seconds.front());
        all.insert(all.end(), steps.seconds.begin(), steps.seconds.end());
        st.PauseTiming();
        sc.HideLayer(shown);
        st.ResumeTiming();
    }
    g_steps = nullptr;
    double total = 0, worst = 0;
    for (double t : all) total += t, worst = std::max(worst, t);
    st.counters["mean_ms"] = total / double(std::max<size_t>(all.size(), 1)) * 1e3;
    st.counters["worst_ms"] = worst * 1e3;
    st.counters["first_ms"] = first * 1e3;
    st.counters["finish_ms"] = finish * 1e3;
    st.counters["steps"] = double(all.size()) / double(std::max<int64_t>(st.iterations(), 1)) + 1;
    st.counters["layer_mode"] = layerMode ? 1 : 0;
}

// HSTRIPES (a strip a step), RECTCENTER (a growing rectangle) and
// CROSSFADE (the whole rectangle every step).
void Register() {
    for (int effect : {0, 38, 115}) {
        benchmark::RegisterBenchmark(("LayerMode/" + std::to_string(effect)).c_str(),
                                     [effect](benchmark::State &st) { Run(st, effect, true); })
            ->Iterations(2)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DirectMode/" + std::to_string(effect)).c_str(),
                                     [effect](benchmark::State &st) { Run(st, effect, false); })
            ->Iterations(2)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char **argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
