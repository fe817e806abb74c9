// Sprites and moves through their commands, beside their peers in the same
// run, on a 1024x768 BGPic with layers off and no window (the layers
// library's repaint composites, nothing is presented):
//
//   DisplaySprite1px   a 64x64 sprite with a mask moved by one pixel
//                      (DisplaySprite: lookup, checks, the node, and the
//                      repaint of the union box it puts off to the next
//                      wait, which is timed with it) beside a bare SafeBlt of that
//                      union box from the picture, which keeps the sprite
//                      on top as SafeBlt does (the repaint's own work)
//   Sprites200         200 sprites of 64x64 each moved by a pixel a frame
//                      (200 DisplaySprite and the frame's one repaint of
//                      what they changed) beside pygame's RenderUpdates moving 200 sprites of
//                      64x64 headless over the same size (sprites_pygame.py,
//                      best frame)
//   MoveBrushStep      one step of a direct MoveBrush of a 64x64 brush with
//                      a mask (a move of 900 steps, per step) beside
//                      SafeBlt of the old box from the background and of
//                      the brush at the new box; the heap allocations per
//                      step (a move of 900 steps against one of 450)
//
// Pairs alternate their calls and keep the fastest time of each; ratio is
// the first over the second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/picture.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "images/moves/move_library.h"
#include "images/sprites/sprite.h"
#include "images/sprites/sprite_library.h"
#include "layers/core/compositor.h"
#include "layers/library/layers_library.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

namespace {
std::atomic<long> g_allocs{0};
}

extern "C" void *malloc(size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void *calloc(size_t c, size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(c, n);
}
extern "C" void *realloc(void *p, size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

namespace {

constexpr int kW = 1024, kH = 768;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = nullptr;
    std::mt19937 rng{7};

    Scene() {
        InitDisplayRecords();
        SetSafeBltHooks(nullptr);
        cxSafeBltHooks hooks = *GetSafeBltHooks();
        hooks.refreshRegion = nullptr;
        hooks.refreshDirect = nullptr;
        SetSafeBltHooks(&hooks);
        OpenBrushLibrary(L);
        OpenBGPicLibrary(L);
        OpenSpriteLibrary(L);
        OpenMoveObjectLibrary(L);
        OpenLayersLibrary(L);
        d = NewDisplayRecord();
        d->os.width = kW;
        d->os.height = kH;
        d->fillStyle = 1;
        GetDisplayPictureHooks()->makeOwnPicture(L, d);
        d->targetKind = CX_OBJECT_DISPLAY;
        LinkDisplay(d);
        SetCurrentDisplayRecord(d);
        for (int i = 0; i < 200; ++i)
            FillRect(d->picture, int(rng() % kW), int(rng() % kH), int(rng() % 300 + 1), int(rng() % 300 + 1),
                     uint32_t(rng() & 0xFFFFFF));
    }
    ~Scene() {
        FreeAllSprites(L);
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
    // A bitmap of noise with a round mask.
    void Image(int w, int h, cxBitmap **bm, cxBitmap **mask) {
        *bm = AllocBitmap(w, h, 0, 0);
        for (int y = 0; y < h; y += 4) FillRect(*bm, 0, y, w, 4, uint32_t(rng() & 0xFFFFFF));
        *mask = AllocMask(*bm, w, h, 1, nullptr, 0);
        for (int y = 0; y < h; ++y) {
            const int half = int(w / 2.0 * std::sqrt(1.0 - std::pow((y + 0.5 - h / 2.0) / (h / 2.0), 2)));
            FillMaskRect(*mask, w / 2 - half, y, 2 * half, 1, CX_MASKVISIBLE);
        }
    }
    void Sprite(int id) {
        cxBitmap *bm = nullptr, *mask = nullptr;
        Image(64, 64, &bm, &mask);
        cxObjectID oid{id, nullptr};
        AddSpriteRecord(&oid, 1, 64, 64, &bm, &mask, nullptr, nullptr, -1, nullptr);
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

void BM_DisplaySprite1px(benchmark::State &st) {
    Scene sc;
    sc.Sprite(1);
    sc.Cmd("displaysprite", 1, 300, 300);
    double best = 1e30, bestRef = 1e30;
    int x = 300;
    for (auto _ : st) {
        auto t0 = Clock::now();
        const int from = x;
        x = x == 300 ? 301 : 300;
        if (sc.Cmd("displaysprite", 1, x, 300)) st.SkipWithError("DisplaySprite failed");
        ShowPendingRepaints(sc.L);
        auto t1 = Clock::now();
        SafeBlt(sc.L, sc.d->picture, std::min(from, x), 300, nullptr, std::min(from, x), 300, 65, 64, kW, kH, kW, kH, 0,
                nullptr, nullptr, nullptr);
        auto t2 = Clock::now();
        best = std::min(best, Seconds(t0, t1));
        bestRef = std::min(bestRef, Seconds(t1, t2));
    }
    st.counters["displaysprite_us"] = best * 1e6;
    st.counters["safeblt_us"] = bestRef * 1e6;
    st.counters["ratio"] = best / bestRef;
}

void PygameRenderUpdates(int sprites, int size, int frames, double *best, double *median) {
    *best = *median = -1;
    const std::string cmd = std::string("/usr/bin/python3 ") + CX_SPRITES_PEER + " " + std::to_string(kW) + " " +
                            std::to_string(kH) + " " + std::to_string(sprites) + " " + std::to_string(size) + " " +
                            std::to_string(frames) + " 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return;
    if (fscanf(p, "%lf %lf", best, median) != 2) *best = *median = -1;
    pclose(p);
}

void BM_Sprites200(benchmark::State &st) {
    Scene sc;
    std::vector<int> xs, ys;
    for (int i = 1; i <= 200; ++i) {
        sc.Sprite(i);
        xs.push_back(int(sc.rng() % (kW - 66)));
        ys.push_back(int(sc.rng() % (kH - 64)));
        sc.Cmd("displaysprite", i, xs.back(), ys.back());
    }
    double best = 1e30;
    int step = 1;
    for (auto _ : st) {
        auto t0 = Clock::now();
        for (int i = 1; i <= 200; ++i) {
            xs[size_t(i - 1)] += step;
            sc.Cmd("displaysprite", i, xs[size_t(i - 1)], ys[size_t(i - 1)]);
        }
        // The moves show at the next wait or frame: that is in the frame.
        ShowPendingRepaints(sc.L);
        best = std::min(best, Seconds(t0, Clock::now()));
        step = -step;
    }
    double peerBest = 0, peerMedian = 0;
    PygameRenderUpdates(200, 64, 200, &peerBest, &peerMedian);
    st.counters["frame_us"] = best * 1e6;
    st.counters["pygame_us"] = peerBest;
    st.counters["pygame_median_us"] = peerMedian;
    st.counters["ratio_pygame"] = peerBest > 0 ? best * 1e6 / peerBest : -1;
}

void BM_MoveBrushStep(benchmark::State &st) {
    Scene sc;
    cxBitmap *bm = nullptr, *mask = nullptr;
    sc.Image(64, 64, &bm, &mask);
    cxObjectID oid{1, nullptr};
    cxBrush *b = nullptr;
    AddBrushRecord(&oid, CX_BRUSH_BITMAP, 64, 64, 64, 0, nullptr, bm, -1, mask, nullptr, nullptr, &b);
    cxBitmap *back = AllocBitmap(kW, kH, 0, 0);
    BltBitmap(sc.d->picture, 0, 0, back, 0, 0, kW, kH);
    constexpr int kSteps = 900;
    double best = 1e30, bestRef = 1e30;
    double perStep = 0;
    for (auto _ : st) {
        // Along a slope of 900 pixels, a pixel a step.
        const long a0 = g_allocs.load();
        auto t0 = Clock::now();
        sc.Cmd("movebrush", 1, 0, 0, kSteps, kSteps / 3, 1);
        auto t1 = Clock::now();
        const long a1 = g_allocs.load();
        sc.Cmd("movebrush", 1, 0, 0, kSteps / 2, kSteps / 6, 1);
        const long a2 = g_allocs.load();
        perStep = std::max(perStep, double((a1 - a0) - (a2 - a1)) / (kSteps / 2));
        auto t2 = Clock::now();
        int x = 0, y = 0;
        for (int i = 1; i <= kSteps; ++i) {
            const int nx = i, ny = i / 3;
            SafeBlt(sc.L, back, x, y, nullptr, x, y, 64, 64, kW, kH, kW, kH, CX_SAFEBLT_FIRSTBACK, nullptr, nullptr,
                    nullptr);
            SafeBlt(sc.L, bm, 0, 0, nullptr, nx, ny, 64, 64, 64, 64, kW, kH, CX_SAFEBLT_FIRSTBACK, mask, nullptr,
                    nullptr);
            x = nx, y = ny;
        }
        auto t3 = Clock::now();
        best = std::min(best, Seconds(t0, t1) / (kSteps + 1));
        bestRef = std::min(bestRef, Seconds(t2, t3) / kSteps);
    }
    st.counters["step_us"] = best * 1e6;
    st.counters["safeblt_pair_us"] = bestRef * 1e6;
    st.counters["ratio"] = best / bestRef;
    st.counters["allocs_per_step"] = perStep;
    FreeBitmap(back);
}

BENCHMARK(BM_DisplaySprite1px)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Sprites200)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_MoveBrushStep)->Unit(benchmark::kMillisecond)->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
