// SafeBlt of a 640x480 and a 1920x1080 brush into a display's first back
// bitmap, opaque and through an alpha channel, beside the bare kernel
// (CopyPixels32, BlendAlphaPixels32) on the same pixels in the same run.
// Each pair alternates the two calls and keeps the fastest time of each,
// which load on the machine does not reach; overhead_% is SafeBlt over the
// kernel, allocs the heap allocations per SafeBlt. The window refresh is
// left out (flag 32): presenting has its own benchmark.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "display/blit/safe_blt.h"
#include "graphics/kernels/blit_kernels.h"

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

const int kSizes[2][2] = {{640, 480}, {1920, 1080}};

cxDisplay *g_display = nullptr;
cxDisplay *Current() { return g_display; }

struct Scene {
    int w, h;
    cxDisplay *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    cxBitmap *brush, *alpha;
    cxOsBitmapLock s{}, b{}, a{};
    explicit Scene(int size) : w(kSizes[size][0]), h(kSizes[size][1]) {
        brush = AllocBitmap(w, h, 0, 0);
        alpha = AllocAlphaChannel(w, h, 0, nullptr, 0);
        d->targetKind = CX_OUTPUT_DISPLAY;
        d->backBitmap[0] = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
        LockBitmap(brush, 0, &s);
        LockBitmap(d->backBitmap[0], 0, &b);
        LockBitmap(alpha, 0, &a);
        std::mt19937 rng{uint32_t(w)};
        for (size_t i = 0; i < size_t(s.rowLength) * h * 4; ++i) s.pixels[i] = uint8_t(rng());
        for (size_t i = 0; i < size_t(a.rowLength) * h; ++i) a.pixels[i] = uint8_t(rng());
        g_display = d;
        cxSafeBltHooks hooks{};
        hooks.currentDisplay = Current;
        SetSafeBltHooks(&hooks);
    }
    ~Scene() {
        UnlockBitmap(&s);
        UnlockBitmap(&b);
        UnlockBitmap(&a);
        SetSafeBltHooks(nullptr);
        FreeBitmap(d->backBitmap[0]);
        FreeBitmap(brush);
        FreeAlphaChannel(alpha);
        free(d);
        g_display = nullptr;
    }
    void Blt(cxBitmap *through) {
        SafeBlt(nullptr, brush, 0, 0, nullptr, 0, 0, w, h, w, h, w, h, CX_SAFEBLT_FIRSTBACK | CX_SAFEBLT_NOREFRESH,
                nullptr, through, nullptr);
    }
};

template <class K, class F>
void Pair(benchmark::State &st, const Scene &sc, K &&kernel, F &&safeBlt) {
    using Clock = std::chrono::steady_clock;
    double bestK = 1e30, bestF = 1e30;
    long allocs = 0;
    for (auto _ : st) {
        auto t0 = Clock::now();
        kernel();
        benchmark::ClobberMemory();
        auto t1 = Clock::now();
        const long a0 = g_allocs.load();
        safeBlt();
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        allocs += g_allocs.load() - a0;
        bestK = std::min(bestK, std::chrono::duration<double>(t1 - t0).count());
        bestF = std::min(bestF, std::chrono::duration<double>(t2 - t1).count());
    }
    st.SetLabel(std::to_string(sc.w) + "x" + std::to_string(sc.h));
    const double px = double(sc.w) * sc.h;
    st.counters["kernel_Mpx/s"] = px / bestK / 1e6;
    st.counters["safeblt_Mpx/s"] = px / bestF / 1e6;
    st.counters["overhead_%"] = (bestF / bestK - 1.0) * 100.0;
    st.counters["allocs"] = double(allocs) / double(st.iterations());
}

void BM_SafeBltOpaque(benchmark::State &st) {
    Scene sc(int(st.range(0)));
    Pair(
        st, sc,
        [&] {
            const cxPixelCopyJob copy{sc.s.pixels, sc.b.pixels, 0, 0, 0, 0, sc.w, sc.h, int32_t(sc.s.rowLength), int32_t(sc.b.rowLength), 0, 10, 10};
            CopyPixels32(&copy);
        },
        [&] { sc.Blt(nullptr); });
}

void BM_SafeBltAlpha(benchmark::State &st) {
    Scene sc(int(st.range(0)));
    const cxAlphaBlendJob job{sc.s.pixels, 0, 0, 0, 0, int32_t(sc.s.rowLength), sc.b.pixels, 0, 0,
                              int32_t(sc.b.rowLength), sc.w, sc.h, sc.a.pixels, nullptr, int32_t(sc.a.rowLength), 0,
                              sc.b.pixelFormat};
    Pair(st, sc, [&] { BlendAlphaPixels32(&job); }, [&] { sc.Blt(sc.alpha); });
}

BENCHMARK(BM_SafeBltOpaque)->Arg(0)->Arg(1);
BENCHMARK(BM_SafeBltAlpha)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
