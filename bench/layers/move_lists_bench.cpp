// DoMove of a list of 200 layer moves beside the same 200 moves done one by
// one (ShowLayer, each redrawn at once), in the same run, on a 1024x768
// display with layers on and no window (nothing is presented):
//
//   DoMove200/0   200 layers of 64x64 in a pile of 256x256 (they overlap
//                 one another), each moved by a pixel
//   DoMove200/1   200 layers of 64x64 spread over the picture, each moved
//                 by a pixel
//
// The two alternate; each keeps its fastest time; ratio is DoMove's over
// the one-by-one time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/picture.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/library/layers_library.h"

namespace {

constexpr int kW = 1024, kH = 768, kLayers = 200;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = nullptr;
    std::mt19937 rng{5};

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
        d = NewDisplayRecord();
        d->os.width = kW;
        d->os.height = kH;
        d->fillStyle = 1;
        GetDisplayPictureHooks()->makeOwnPicture(L, d);
        d->targetKind = CX_OBJECT_DISPLAY;
        d->layersOn = 1;
        LinkDisplay(d);
        SetCurrentDisplayRecord(d);
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
    template <class... A>
    int Cmd(const char *name, A... args) {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        (lua_pushnumber(L, double(args)), ...);
        return lua_pcall(L, int(sizeof...(A)), 0, 0);
    }
};

void BM_DoMove200(benchmark::State &st) {
    const bool spread = st.range(0) != 0;
    Scene sc;
    std::vector<int> xs, ys;
    for (int i = 1; i <= kLayers; ++i) {
        cxBitmap *bm = AllocBitmap(64, 64, 0, 0);
        FillRect(bm, 0, 0, 64, 64, uint32_t(sc.rng() & 0xFFFFFF));
        cxObjectID oid{i, nullptr};
        AddBrushRecord(&oid, CX_BRUSH_BITMAP, 64, 64, 64, 0, nullptr, bm, -1, nullptr, nullptr, nullptr, nullptr);
        xs.push_back(spread ? int(sc.rng() % (kW - 66)) : 300 + int(sc.rng() % 192));
        ys.push_back(spread ? int(sc.rng() % (kH - 64)) : 200 + int(sc.rng() % 192));
        sc.Cmd("displaybrush", i, xs.back(), ys.back());
    }
    // The list moves every layer a pixel right; one by one, they go back.
    for (int i = 1; i <= kLayers; ++i) sc.Cmd("addmove", 1, 22, i, xs[size_t(i - 1)] + 1, ys[size_t(i - 1)]);
    double bestList = 1e30, bestOne = 1e30;
    for (auto _ : st) {
        auto t0 = Clock::now();
        if (sc.Cmd("domove", 1)) st.SkipWithError("DoMove failed");
        auto t1 = Clock::now();
        for (int i = 1; i <= kLayers; ++i) sc.Cmd("showlayer", i, xs[size_t(i - 1)], ys[size_t(i - 1)]);
        auto t2 = Clock::now();
        bestList = std::min(bestList, Seconds(t0, t1));
        bestOne = std::min(bestOne, Seconds(t1, t2));
    }
    st.counters["domove_us"] = bestList * 1e6;
    st.counters["one_by_one_us"] = bestOne * 1e6;
    st.counters["ratio"] = bestList / bestOne;
}

BENCHMARK(BM_DoMove200)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
