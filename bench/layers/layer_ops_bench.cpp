// The layer operations, through the script commands as an applet calls
// them, beside their peers in the same run:
//
//   Move200/W/H        200 layers of 64x64 moved by a pixel in one frame
//                      with the output on the shown BGPic (200 TranslateLayer,
//                      then the frame: one merge, one flush), beside a full
//                      redraw of the W x H picture, and beside pygame's
//                      LayeredDirty moving 200 sprites of 64x64 over the
//                      same size headless (pygame_peer.py, best frame)
//   AddRemove/N        N DisplayBrush then N RemoveLayer (the back-most),
//                      the removals collected for one frame: per operation
//   ShowGroup/N        ShowLayer and HideLayer of an N-member group: per
//                      member
//   RemoveLayers/N     RemoveLayers of N layers: per layer
//   StyleTurned        SetLayerStyle of a turned, shadowed 256x256 layer
//                      (a new angle) beside RenderLayerImage alone
//
// Pairs alternate their two calls and keep the fastest time of each; ratio
// is the first over the second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

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
#include "images/core/display_core.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/library/layers_library.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr uint32_t kOutDisplay = 21, kOutShownBGPic = 1;
using Clock = std::chrono::steady_clock;

// A display of 1920x1080 with layers on and no window, and the commands.
struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = nullptr;
    std::mt19937 rng{7};

    int W = kW, H = kH;
    explicit Scene(int w = kW, int h = kH) : W(w), H(h) {
        InitDisplayRecords();
        SetSafeBltHooks(nullptr);
        cxSafeBltHooks hooks = *GetSafeBltHooks();
        hooks.refreshRegion = nullptr;
        hooks.refreshDirect = nullptr;
        SetSafeBltHooks(&hooks);
        OpenBrushLibrary(L);
        OpenBGPicLibrary(L);
        OpenLayersLibrary(L);
        d = NewDisplayRecord();
        d->os.width = W;
        d->os.height = H;
        d->fillStyle = 1;
        GetDisplayPictureHooks()->makeOwnPicture(L, d);
        d->targetKind = CX_OBJECT_DISPLAY;
        d->layersOn = 1;
        LinkDisplay(d);
        SetCurrentDisplayRecord(d);
        for (int i = 0; i < 200; ++i)
            FillRect(d->picture, int(rng() % W), int(rng() % H), int(rng() % 300 + 1), int(rng() % 300 + 1),
                     uint32_t(rng() & 0xFFFFFF));
        GetCompositionBuffer(L, d);
    }
    ~Scene() {
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
    // A command with number and string arguments, as a script calls it.
    template <class... A>
    int Cmd(const char *name, A... args) {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        (Push(args), ...);
        return lua_pcall(L, int(sizeof...(A)), 0, 0);
    }
    void Push(double v) { lua_pushnumber(L, v); }
    void Push(int v) { lua_pushnumber(L, v); }
    void Push(const char *s) { lua_pushstring(L, s); }
    void Brush(int id, int w, int h) {
        cxBitmap *bm = AllocBitmap(w, h, 0, 0);
        FillRect(bm, 0, 0, w, h, uint32_t(rng() & 0xFFFFFF));
        cxObjectID oid{id, nullptr};
        AddBrushRecord(&oid, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, nullptr, nullptr, nullptr);
    }
    int Count() { return CountLayers(d->bgpic); }
    // The display's frame: what was collected while the output was the
    // shown BGPic is merged and redrawn.
    void Frame() { PresentDisplayDirtyRects(L, d); }
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// pygame's best and median frame for the same work, or negative numbers
// when the peer cannot run.
void PygamePeer(int width, int height, int sprites, int size, int frames, double *best, double *median) {
    *best = *median = -1;
    const std::string cmd = std::string("/usr/bin/python3 ") + CX_PYGAME_PEER + " " + std::to_string(width) + " " +
                            std::to_string(height) + " " + std::to_string(sprites) + " " + std::to_string(size) + " " +
                            std::to_string(frames) + " 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return;
    if (fscanf(p, "%lf %lf", best, median) != 2) *best = *median = -1;
    pclose(p);
}

void BM_Move200(benchmark::State &st) {
    const int w = int(st.range(0)), h = int(st.range(1));
    Scene sc(w, h);
    for (int i = 1; i <= 200; ++i) {
        sc.Brush(i, 64, 64);
        sc.Cmd("displaybrush", i, int(sc.rng() % (w - 64)), int(sc.rng() % (h - 64)));
    }
    double bestMove = 1e30, bestFull = 1e30, bestMoves = 1e30;
    int step = 1;
    for (auto _ : st) {
        auto t0 = Clock::now();
        sc.d->targetKind = kOutShownBGPic;
        for (int i = 1; i <= 200; ++i) sc.Cmd("translatelayer", i, step, 0);
        sc.d->targetKind = kOutDisplay;
        auto tm = Clock::now();
        sc.Frame();
        auto t1 = Clock::now();
        bestMoves = std::min(bestMoves, Seconds(t0, tm));
        RedrawWholeDisplay(sc.L, sc.d);
        auto t2 = Clock::now();
        bestMove = std::min(bestMove, Seconds(t0, t1));
        bestFull = std::min(bestFull, Seconds(t1, t2));
        step = -step;
    }
    double peerBest = 0, peerMedian = 0;
    PygamePeer(w, h, 200, 64, 200, &peerBest, &peerMedian);
    st.counters["frame_us"] = bestMove * 1e6;
    st.counters["commands_us"] = bestMoves * 1e6;
    st.counters["fullredraw_us"] = bestFull * 1e6;
    st.counters["ratio"] = bestMove / bestFull;
    st.counters["pygame_us"] = peerBest;
    st.counters["pygame_median_us"] = peerMedian;
    st.counters["ratio_pygame"] = peerBest > 0 ? bestMove * 1e6 / peerBest : -1;
}

void BM_AddRemove(benchmark::State &st) {
    const int n = int(st.range(0));
    Scene sc;
    sc.Brush(1, 16, 16);
    double best = 1e30;
    for (auto _ : st) {
        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) sc.Cmd("displaybrush", 1, i % (kW - 16), (i / 100) % (kH - 16));
        sc.d->targetKind = kOutShownBGPic;
        for (int i = 0; i < n; ++i) sc.Cmd("removelayer", 1);
        sc.d->targetKind = kOutDisplay;
        sc.Frame();
        best = std::min(best, Seconds(t0, Clock::now()));
        if (sc.Count()) st.SkipWithError("layers left");
    }
    st.counters["per_op_us"] = best * 1e6 / (2.0 * n);
}

void BM_ShowGroup(benchmark::State &st) {
    const int n = int(st.range(0));
    Scene sc;
    sc.Brush(1, 16, 16);
    for (int i = 0; i < n; ++i) {
        sc.Cmd("displaybrush", 1, i % (kW - 16), (i / 100) % (kH - 16));
        strcpy(GetLayerByPos(sc.d->bgpic, sc.Count())->group, "many");
    }
    double best = 1e30;
    for (auto _ : st) {
        auto t0 = Clock::now();
        sc.Cmd("hidelayer", "many");
        sc.Cmd("showlayer", "many");
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    st.counters["per_member_us"] = best * 1e6 / (2.0 * n);
}

void BM_RemoveLayers(benchmark::State &st) {
    const int n = int(st.range(0));
    Scene sc;
    sc.Brush(1, 16, 16);
    double best = 1e30;
    for (auto _ : st) {
        st.PauseTiming();
        for (int i = 0; i < n; ++i) sc.Cmd("displaybrush", 1, i % (kW - 16), (i / 100) % (kH - 16));
        st.ResumeTiming();
        auto t0 = Clock::now();
        sc.Cmd("removelayers");
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    st.counters["per_layer_us"] = best * 1e6 / n;
}

void BM_StyleTurned(benchmark::State &st) {
    Scene sc;
    sc.Brush(1, 256, 256);
    sc.Cmd("displaybrush", 1, 600, 300);
    cxLayer *l = GetLayerByPos(sc.d->bgpic, 1);
    sc.Cmd("setlayershadow", 1, 1);
    double bestStyle = 1e30, bestRender = 1e30;
    double angle = 30;
    bool styleFirst = true;
    for (auto _ : st) {
        // A new angle each time: the image is made anew by both. The
        // output is the shown BGPic, so that neither redraws the screen;
        // the order alternates, so that neither always finds the brush in
        // the cache the other warmed.
        sc.d->targetKind = kOutShownBGPic;
        auto style = [&] {
            angle += 1;
            auto t0 = Clock::now();
            lua_settop(sc.L, 0);
            lua_pushstring(sc.L, "setlayerstyle");
            lua_gettable(sc.L, LUA_GLOBALSINDEX);
            lua_pushnumber(sc.L, 1);
            lua_newtable(sc.L);
            SetTableDouble(sc.L, "rotate", angle);
            lua_pcall(sc.L, 2, 0, 0);
            bestStyle = std::min(bestStyle, Seconds(t0, Clock::now()));
        };
        auto render = [&] {
            angle += 1;
            auto t0 = Clock::now();
            l->transform.options.rotate = angle;
            BuildTransformMatrix(&l->transform, l->base->srcWidth, l->base->srcHeight);
            RenderLayerImage(sc.L, l, 0);
            bestRender = std::min(bestRender, Seconds(t0, Clock::now()));
        };
        if (styleFirst) style(), render();
        else render(), style();
        styleFirst = !styleFirst;
        sc.d->targetKind = kOutDisplay;
        sc.Frame();
    }
    st.counters["setlayerstyle_us"] = bestStyle * 1e6;
    st.counters["renderlayerimage_us"] = bestRender * 1e6;
    st.counters["ratio"] = bestStyle / bestRender;
}

BENCHMARK(BM_Move200)->Args({1920, 1080})->Args({2560, 1440})->Args({3840, 2160})->Unit(benchmark::kMicrosecond)->Iterations(60);
BENCHMARK(BM_AddRemove)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShowGroup)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RemoveLayers)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StyleTurned)->Unit(benchmark::kMicrosecond)->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
