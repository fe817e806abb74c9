// Transition effects off screen at 1920x1080 (and 640x480), direct mode,
// one core.
//
//   Effect/<name>        every effect at NORMALSPEED from phase 0 to
//                        its last step, three times: phase 0 (set-up, with
//                        the old picture taken from the target), the mean
//                        and the worst step (each step's fastest of the
//                        three: load on the machine does not reach it), and
//                        the heap allocations of all steps together
//                        (allocs_per_step), and the most heap the run
//                        held beyond what it started with (peak_mb)
//   Effect640/<name>     the same at 640x480
//   PuzzleTiles5         PUZZLE at 1080p with tiles of 5 pixels
//   ZoomStep             one ZOOMCENTER step (the new picture scaled to
//                        three quarters, nearest) beside pixman's scaled
//                        composite (SRC, nearest filter) of the same
//                        frame; ratio is the effect over pixman
//   CrossfadeStep        one CROSSFADE step beside pixman compositing the
//                        new picture over the old with a constant a8 mask
//                        (OVER, the same pixels), fastest of each; ratio is
//                        the effect over pixman
//   HStripes1px          HSTRIPES with 1-pixel stripes over 1080 rows: the
//                        step's boxes are presented once (presents_per_step)
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <malloc.h>
#include <string>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/effect_traits.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void __libc_free(void *);

namespace {
std::atomic<long> g_allocs{0};
// Heap held now and the most held since the last reset (usable sizes).
std::atomic<long> g_live{0}, g_peak{0};

void Held(long delta) {
    const long now = g_live.fetch_add(delta, std::memory_order_relaxed) + delta;
    long peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}
}  // namespace

extern "C" void *malloc(size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    void *p = __libc_malloc(n);
    if (p) Held(long(malloc_usable_size(p)));
    return p;
}
extern "C" void *calloc(size_t c, size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    void *p = __libc_calloc(c, n);
    if (p) Held(long(malloc_usable_size(p)));
    return p;
}
extern "C" void *realloc(void *p, size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    const long before = p ? long(malloc_usable_size(p)) : 0;
    void *q = __libc_realloc(p, n);
    if (q) Held(long(malloc_usable_size(q)) - before);
    else if (n == 0) Held(-before);
    return q;
}
extern "C" void free(void *p) {
    if (p) Held(-long(malloc_usable_size(p)));
    __libc_free(p);
}

namespace {

int kW = 1920, kH = 1080;
int g_speed = CX_SPEED_NORMAL;  // the speed of the Effect runs
using Clock = std::chrono::steady_clock;

void Randomise(cxBitmap *bm, uint32_t seed) {
    cxOsBitmapLock l{};
    LockBitmap(bm, 0, &l);
    std::mt19937 rng{seed};
    const size_t words = size_t(l.rowLength) * size_t(l.height) * l.bytesPerPixel / 4;
    auto *p = reinterpret_cast<uint32_t *>(l.pixels);
    for (size_t i = 0; i < words; ++i) p[i] = rng();
    UnlockBitmap(&l);
}

// The old picture in the target, the new one beside it.
struct Pictures {
    cxBitmap *target = AllocBitmap(kW, kH, 0, 0);
    cxBitmap *picture = AllocBitmap(kW, kH, 0, 0);
    Pictures() {
        Randomise(target, 1);
        Randomise(picture, 2);
    }
    ~Pictures() {
        FreeBitmap(target);
        FreeBitmap(picture);
    }
    cxEffectInstance Instance(int effect, int speed, int parameter) const {
        cxEffectInstance fx{};
        fx.effect = effect;
        fx.speed = speed;
        fx.parameter = parameter;
        fx.width = kW, fx.height = kH;
        fx.output = target;
        fx.newImage = picture;
        fx.target = CX_FXTARGET_BGPIC;
        return fx;
    }
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void BM_Effect(benchmark::State &st, int effect) {
    Pictures pics;
    double phase0 = 1e30;
    const long base = g_live.load();
    g_peak.store(base);
    std::vector<double> fastest;  // per step, the fastest of the runs
    long allocs = 0, steps = 0;
    for (auto _ : st) {
        cxEffectInstance fx = pics.Instance(effect, g_speed, CX_FX_RANDOMPARAMETER);
        auto t0 = Clock::now();
        if (int err = PrepareEffect(&fx)) {
            st.SkipWithError(("set-up failed: " + std::to_string(err)).c_str());
            return;
        }
        phase0 = std::min(phase0, Seconds(t0, Clock::now()));
        int done = 0;
        long made = 0;
        int32_t n = 0;
        fastest.reserve(size_t(fx.steps) + 2);
        while (!done && n < fx.steps + 2) {
            const long a0 = g_allocs.load();
            auto s0 = Clock::now();
            RunEffectStep(&fx, &done);
            benchmark::ClobberMemory();
            const double dt = Seconds(s0, Clock::now());
            made += g_allocs.load() - a0;
            if (size_t(n) >= fastest.size()) fastest.push_back(dt);
            else fastest[size_t(n)] = std::min(fastest[size_t(n)], dt);
            ++n;
        }
        allocs = std::max(allocs, made);
        steps = n;
        ReleaseEffect(&fx, 1);
    }
    double total = 0, worst = 0;
    for (double t : fastest) total += t, worst = std::max(worst, t);
    st.counters["phase0_ms"] = phase0 * 1e3;
    st.counters["mean_ms"] = total / double(std::max<size_t>(fastest.size(), 1)) * 1e3;
    st.counters["worst_ms"] = worst * 1e3;
    st.counters["steps"] = double(steps);
    st.counters["allocs_per_step"] = double(allocs) / double(std::max(steps, 1L));
    st.counters["peak_mb"] = double(g_peak.load() - base) / (1024.0 * 1024.0);
}

// PUZZLE with its smallest tiles (5 pixels: 83,000 of them at 1080p).
void BM_PuzzleTiles5(benchmark::State &st) {
    g_speed = 1;
    BM_Effect(st, 82);
    g_speed = CX_SPEED_NORMAL;
}

void BM_Effect640(benchmark::State &st, int effect) {
    kW = 640, kH = 480;
    BM_Effect(st, effect);
    kW = 1920, kH = 1080;
}

pixman_format_code_t PixmanFormat(uint32_t f) { return f == 10 ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8; }

void BM_CrossfadeStep(benchmark::State &st) {
    Pictures pics;
    cxEffectInstance fx = pics.Instance(115, CX_SPEED_NORMAL, CX_FX_RANDOMPARAMETER);
    if (PrepareEffect(&fx)) {
        st.SkipWithError("set-up failed");
        return;
    }
    cxBitmap *peerTarget = AllocBitmap(kW, kH, 0, 0);
    Randomise(peerTarget, 1);
    cxOsBitmapLock src{}, dst{};
    LockBitmap(pics.picture, 0, &src);
    LockBitmap(peerTarget, 0, &dst);
    if (src.bytesPerPixel != 4) {
        st.SkipWithError("a 32-bit picture is needed for the peer");
        return;
    }
    pixman_image_t *ps = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, reinterpret_cast<uint32_t *>(src.pixels),
                                                  int(src.rowLength * 4));
    pixman_image_t *pd = pixman_image_create_bits(PixmanFormat(dst.pixelFormat), kW, kH,
                                                  reinterpret_cast<uint32_t *>(dst.pixels), int(dst.rowLength * 4));
    const pixman_color_t level{0, 0, 0, 0x8080};
    pixman_image_t *mask = pixman_image_create_solid_fill(&level);
    double best = 1e30, bestPeer = 1e30;
    for (auto _ : st) {
        // A step in the middle of the fade: the work of every step.
        fx.counter = 12;
        int done = 0;
        auto t0 = Clock::now();
        RunEffectStep(&fx, &done);
        benchmark::ClobberMemory();
        auto t1 = Clock::now();
        pixman_image_composite32(PIXMAN_OP_OVER, ps, mask, pd, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        best = std::min(best, Seconds(t0, t1));
        bestPeer = std::min(bestPeer, Seconds(t1, t2));
    }
    st.counters["crossfade_us"] = best * 1e6;
    st.counters["pixman_us"] = bestPeer * 1e6;
    st.counters["ratio"] = best / bestPeer;
    pixman_image_unref(mask);
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    UnlockBitmap(&dst);
    UnlockBitmap(&src);
    FreeBitmap(peerTarget);
    ReleaseEffect(&fx, 1);
}

void BM_ZoomStep(benchmark::State &st) {
    Pictures pics;
    cxEffectInstance fx = pics.Instance(61, CX_SPEED_NORMAL, CX_FX_RANDOMPARAMETER);
    if (PrepareEffect(&fx)) {
        st.SkipWithError("set-up failed");
        return;
    }
    cxBitmap *peerTarget = AllocBitmap(kW, kH, 0, 0);
    cxBitmap *peerOld = AllocBitmap(kW, kH, 0, 0);
    Randomise(peerOld, 1);
    cxOsBitmapLock src{}, dst{}, old{};
    LockBitmap(pics.picture, 0, &src);
    LockBitmap(peerTarget, 0, &dst);
    LockBitmap(peerOld, 0, &old);
    if (src.bytesPerPixel != 4) {
        st.SkipWithError("a 32-bit picture is needed for the peer");
        return;
    }
    pixman_image_t *po = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, reinterpret_cast<uint32_t *>(old.pixels),
                                                  int(old.rowLength * 4));
    // The step at three quarters: the new picture scaled to 1440 x 810.
    const int32_t k = fx.steps * 3 / 4 - 1;
    const int32_t w = std::min((k + 1) * fx.speed, kW), h = int32_t(double(w) * kH / kW);
    pixman_image_t *ps = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, reinterpret_cast<uint32_t *>(src.pixels),
                                                  int(src.rowLength * 4));
    pixman_image_t *pd = pixman_image_create_bits(PixmanFormat(dst.pixelFormat), kW, kH,
                                                  reinterpret_cast<uint32_t *>(dst.pixels), int(dst.rowLength * 4));
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(kW) / w), pixman_double_to_fixed(double(kH) / h));
    pixman_image_set_transform(ps, &t);
    pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
    double best = 1e30, bestPeer = 1e30;
    for (auto _ : st) {
        fx.counter = k;
        int done = 0;
        auto t0 = Clock::now();
        RunEffectStep(&fx, &done);
        benchmark::ClobberMemory();
        auto t1 = Clock::now();
        // The peer: the old picture put back, the scaled new one over it.
        pixman_image_composite32(PIXMAN_OP_SRC, po, nullptr, pd, 0, 0, 0, 0, 0, 0, kW, kH);
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, (kW - w) / 2, (kH - h) / 2, w, h);
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        best = std::min(best, Seconds(t0, t1));
        bestPeer = std::min(bestPeer, Seconds(t1, t2));
    }
    st.counters["zoom_us"] = best * 1e6;
    st.counters["pixman_us"] = bestPeer * 1e6;
    st.counters["ratio"] = best / bestPeer;
    pixman_image_unref(po);
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    UnlockBitmap(&old);
    FreeBitmap(peerOld);
    UnlockBitmap(&dst);
    UnlockBitmap(&src);
    FreeBitmap(peerTarget);
    ReleaseEffect(&fx, 1);
}

void BM_HStripes1px(benchmark::State &st) {
    Pictures pics;
    double presents = 0, steps = 0;
    for (auto _ : st) {
        cxEffectInstance fx = pics.Instance(0, CX_SPEED_NORMAL, 1);
        if (PrepareEffect(&fx)) {
            st.SkipWithError("set-up failed");
            return;
        }
        int done = 0;
        while (!done) RunEffectStep(&fx, &done);
        presents = fx.presents;
        steps = fx.steps;
        ReleaseEffect(&fx, 1);
    }
    st.counters["steps"] = steps;
    st.counters["presents_per_step"] = presents / std::max(steps, 1.0);
}

void Register() {
    for (int e = 0; e < CX_FX_COUNT; ++e) {
        if (!IsEffectBuilt(e)) continue;
        const std::string name = std::string("Effect/") + GetEffectTraits(e)->name;
        benchmark::RegisterBenchmark(name.c_str(), BM_Effect, e)->Iterations(3)->Unit(benchmark::kMillisecond);
    }
    for (int e = 0; e < CX_FX_COUNT; ++e) {
        if (!IsEffectBuilt(e)) continue;
        const std::string name = std::string("Effect640/") + GetEffectTraits(e)->name;
        benchmark::RegisterBenchmark(name.c_str(), BM_Effect640, e)->Iterations(3)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("CrossfadeStep", BM_CrossfadeStep)->Iterations(40);
    benchmark::RegisterBenchmark("PuzzleTiles5", BM_PuzzleTiles5)->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ZoomStep", BM_ZoomStep)->Iterations(40);
    benchmark::RegisterBenchmark("HStripes1px", BM_HStripes1px)->Iterations(1)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char **argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
