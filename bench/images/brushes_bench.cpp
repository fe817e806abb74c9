// DisplayBrush of a 640x480 brush with no options through the whole road
// (lookup, options, placement, SafeBlt) beside the work it ends in, on the
// same pixels in the same run: opaque beside a bare SafeBlt of the brush's
// bitmap, with an alpha channel beside the blend kernel alone. Each pair
// alternates the two calls and keeps the fastest time of each, which load
// on the machine does not reach; overhead_% is the first over the second,
// allocs the heap allocations per DisplayBrush. The window is not
// presented: presenting has its own benchmark (bench/display).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "engine/vm/lua.h"
#include "graphics/kernels/blit_kernels.h"
#include "images/brushes/brush.h"
#include "images/core/display_core.h"

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

constexpr int kW = 640, kH = 480;

struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    cxBrush *brush = nullptr;
    cxOsBitmapLock s{}, t{}, a{};

    explicit Scene(bool withAlpha) {
        InitDisplayRecords();
        d->targetKind = CX_OUTPUT_DISPLAY;
        d->picture = AllocBitmap(kW, kH, CX_ALLOC_CLEAR, 0);
        d->pictureWidth = kW;
        d->pictureHeight = kH;
        SetCurrentDisplayRecord(d);
        SetSafeBltHooks(nullptr);
        cxSafeBltHooks hooks = *GetSafeBltHooks();
        hooks.refreshRegion = nullptr;
        hooks.refreshDirect = nullptr;
        SetSafeBltHooks(&hooks);
        cxBitmap *bm = AllocBitmap(kW, kH, 0, 0);
        cxBitmap *alpha = withAlpha ? AllocAlphaChannel(kW, kH, 0, nullptr, 0) : nullptr;
        cxObjectID id{1, nullptr};
        AddBrushRecord(&id, CX_BRUSH_BITMAP, kW, kH, kW, 0, nullptr, bm, -1, nullptr, alpha, nullptr, &brush);
        LockBitmap(bm, 0, &s);
        LockBitmap(d->picture, 0, &t);
        if (alpha) LockBitmap(alpha, 0, &a);
        std::mt19937 rng{7};
        for (size_t i = 0; i < size_t(s.rowLength) * kH * 4; ++i) s.pixels[i] = uint8_t(rng());
        if (alpha)
            for (size_t i = 0; i < size_t(a.rowLength) * kH; ++i) a.pixels[i] = uint8_t(rng());
    }
    ~Scene() {
        UnlockBitmap(&s);
        UnlockBitmap(&t);
        if (brush->alpha) UnlockBitmap(&a);
        FreeAllBrushes(L);
        SetCurrentDisplayRecord(nullptr);
        SetSafeBltHooks(nullptr);
        FreeBitmap(d->picture);
        free(d);
        lua_close(L);
    }
};

template <class A, class B>
void Pair(benchmark::State &st, A &&reference, B &&displayBrush) {
    using Clock = std::chrono::steady_clock;
    double bestRef = 1e30, bestShow = 1e30;
    long allocs = 0;
    for (auto _ : st) {
        auto t0 = Clock::now();
        reference();
        benchmark::ClobberMemory();
        auto t1 = Clock::now();
        const long a0 = g_allocs.load();
        if (displayBrush() != 0) st.SkipWithError("DisplayBrush failed");
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        allocs += g_allocs.load() - a0;
        bestRef = std::min(bestRef, std::chrono::duration<double>(t1 - t0).count());
        bestShow = std::min(bestShow, std::chrono::duration<double>(t2 - t1).count());
    }
    st.counters["reference_us"] = bestRef * 1e6;
    st.counters["displaybrush_us"] = bestShow * 1e6;
    st.counters["overhead_%"] = (bestShow / bestRef - 1.0) * 100.0;
    st.counters["allocs"] = double(allocs) / double(st.iterations());
}

void BM_DisplayBrushOpaqueVsSafeBlt(benchmark::State &st) {
    Scene sc(false);
    Pair(
        st,
        [&] {
            SafeBlt(sc.L, sc.brush->bitmap, 0, 0, nullptr, 0, 0, kW, kH, kW, kH, kW, kH, CX_SAFEBLT_FIRSTBACK, nullptr,
                    nullptr, nullptr);
        },
        [&] { return DisplayBrushByID(sc.L, {1, nullptr}, 0, 0, 0); });
}

void BM_DisplayBrushAlphaVsBlendKernel(benchmark::State &st) {
    Scene sc(true);
    const cxAlphaBlendJob job{sc.s.pixels, 0, 0, 0, 0, int32_t(sc.s.rowLength), sc.t.pixels, 0, 0,
                              int32_t(sc.t.rowLength), kW, kH, sc.a.pixels, nullptr, int32_t(sc.a.rowLength), 0,
                              sc.t.pixelFormat};
    Pair(st, [&] { BlendAlphaPixels32(&job); }, [&] { return DisplayBrushByID(sc.L, {1, nullptr}, 0, 0, 0); });
}

BENCHMARK(BM_DisplayBrushOpaqueVsSafeBlt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayBrushAlphaVsBlendKernel)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
