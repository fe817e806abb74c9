// The layer compositor and collision test beside peers doing the same work
// on the same pixels in the same run. Each pair alternates its two calls
// and keeps the fastest time of each (load on the machine does not reach
// the fastest); ratio is the first over the second.
//
//   FullRedraw16Alpha   RedrawLayersRect of 1920x1080 with 16 layers of
//                       256x256 with alpha channels, beside pixman copying
//                       the background and compositing the 16 images
//                       (OVER through their alpha as an a8 mask)
//   Background          RedrawLayersRect without layers, beside a bare
//                       full-frame BltBitmap of the background
//   MoveOneAmong64      one 128x128 layer moved by a pixel among 64 (the
//                       move and its redraw), beside a full redraw; allocs
//                       are heap allocations per move
//   MaskCollision       TestMaskCollision of two 1024x1024 masks that
//                       overlap without a hit, beside OpenCV's bitwise_and
//                       and countNonZero on the same masks as bytes
//   Filter/<name>       each filter over a 1920x1080 image with an alpha
//                       channel, with its default arguments, reported
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>

#include <opencv2/core.hpp>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/picture.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "images/core/display_core.h"
#include "layers/core/collision.h"
#include "layers/core/compositor.h"
#include "layers/core/filters.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
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

constexpr int kW = 1920, kH = 1080;

void Randomise(cxBitmap *bm, uint32_t seed) {
    cxOsBitmapLock l;
    LockBitmap(bm, 0, &l);
    std::mt19937 rng{seed};
    const size_t bytes = l.pixelFormat >= 14 ? size_t(l.rowLength) * size_t(l.height)
                                             : size_t(l.rowLength) * size_t(l.height) * l.bytesPerPixel;
    for (size_t i = 0; i < bytes; ++i) l.pixels[i] = uint8_t(rng());
    UnlockBitmap(&l);
}

// A display of 1920x1080 with layers on, no window.
struct Scene {
    lua_State *L = lua_open();
    cxDisplay *d = nullptr;

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
        Randomise(d->picture, 1);
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
    // A brush of w x h with random pixels and (with alpha) a random alpha
    // channel, shown at x, y as a layer.
    cxBrush *Layer(int id, int w, int h, int x, int y, bool alpha) {
        cxBitmap *bm = AllocBitmap(w, h, 0, 0);
        Randomise(bm, uint32_t(id) * 3 + 1);
        cxBitmap *a = alpha ? AllocAlphaChannel(w, h, 0, nullptr, 0) : nullptr;
        if (a) Randomise(a, uint32_t(id) * 3 + 2);
        cxObjectID oid{id, nullptr};
        cxBrush *b = nullptr;
        AddBrushRecord(&oid, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, a, nullptr, &b);
        DisplayBrushByID(L, oid, x, y, 0);
        return b;
    }
    cxBitmap *Composition() { return d->backBitmap[0]; }
    void FullRedraw() { RedrawLayersRect(L, d, d->bgpic, Composition(), 0, 0, kW, kH, 0, nullptr); }
};

template <class A, class B>
void Pair(benchmark::State &st, const char *first, const char *second, A &&a, B &&b) {
    using Clock = std::chrono::steady_clock;
    double bestA = 1e30, bestB = 1e30;
    long allocs = 0;
    for (auto _ : st) {
        auto t0 = Clock::now();
        const long a0 = g_allocs.load();
        a();
        benchmark::ClobberMemory();
        allocs += g_allocs.load() - a0;
        auto t1 = Clock::now();
        b();
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        bestA = std::min(bestA, std::chrono::duration<double>(t1 - t0).count());
        bestB = std::min(bestB, std::chrono::duration<double>(t2 - t1).count());
    }
    st.counters[std::string(first) + "_us"] = bestA * 1e6;
    st.counters[std::string(second) + "_us"] = bestB * 1e6;
    st.counters["ratio"] = bestA / bestB;
    st.counters["allocs"] = double(allocs) / double(st.iterations());
}

pixman_format_code_t PixmanFormat(uint32_t f) { return f == 10 ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8; }

void BM_FullRedraw16Alpha(benchmark::State &st) {
    Scene sc;
    std::mt19937 rng{5};
    std::vector<cxBrush *> layers;
    for (int i = 0; i < 16; ++i) layers.push_back(sc.Layer(i + 1, 256, 256, int(rng() % (kW - 256)), int(rng() % (kH - 256)), true));
    // The peer: the same background, images and alpha channels.
    cxOsBitmapLock bg, out;
    LockBitmap(sc.d->picture, 0, &bg);
    cxBitmap *target = AllocBitmap(kW, kH, 0, 0);
    LockBitmap(target, 0, &out);
    if (bg.bytesPerPixel != 4) {
        st.SkipWithError("a 32-bit picture is needed for the peer");
        return;
    }
    pixman_image_t *pbg = pixman_image_create_bits(PixmanFormat(bg.pixelFormat), kW, kH,
                                                   reinterpret_cast<uint32_t *>(bg.pixels), int(bg.rowLength * 4));
    pixman_image_t *pout = pixman_image_create_bits(PixmanFormat(out.pixelFormat), kW, kH,
                                                    reinterpret_cast<uint32_t *>(out.pixels), int(out.rowLength * 4));
    struct Peer {
        pixman_image_t *image, *mask;
        int x, y;
    };
    std::vector<Peer> peers;
    std::vector<cxOsBitmapLock> locks(32);
    for (size_t i = 0; i < layers.size(); ++i) {
        cxOsBitmapLock &c = locks[2 * i], &a = locks[2 * i + 1];
        LockBitmap(layers[i]->bitmap, 0, &c);
        LockBitmap(layers[i]->alpha, 0, &a);
        const cxLayerState *s = GetLayerByPos(sc.d->bgpic, int32_t(i + 1))->display;
        peers.push_back({pixman_image_create_bits(PIXMAN_x8r8g8b8, 256, 256, reinterpret_cast<uint32_t *>(c.pixels),
                                                  int(c.rowLength * 4)),
                         pixman_image_create_bits(PIXMAN_a8, 256, 256, reinterpret_cast<uint32_t *>(a.pixels),
                                                  int(a.rowLength)),
                         s->drawX, s->drawY});
    }
    Pair(st, "layers", "pixman", [&] { sc.FullRedraw(); },
         [&] {
             pixman_image_composite32(PIXMAN_OP_SRC, pbg, nullptr, pout, 0, 0, 0, 0, 0, 0, kW, kH);
             for (const Peer &p : peers)
                 pixman_image_composite32(PIXMAN_OP_OVER, p.image, p.mask, pout, 0, 0, 0, 0, p.x, p.y, 256, 256);
         });
    for (const Peer &p : peers) pixman_image_unref(p.image), pixman_image_unref(p.mask);
    pixman_image_unref(pbg);
    pixman_image_unref(pout);
    for (cxOsBitmapLock &l : locks) UnlockBitmap(&l);
    UnlockBitmap(&bg);
    UnlockBitmap(&out);
    FreeBitmap(target);
}

void BM_Background(benchmark::State &st) {
    Scene sc;
    // The same source and destination for both.
    Pair(st, "layers", "bltbitmap", [&] { sc.FullRedraw(); },
         [&] { BltBitmap(sc.d->picture, 0, 0, sc.Composition(), 0, 0, kW, kH); });
}

void BM_MoveOneAmong64(benchmark::State &st) {
    Scene sc;
    std::mt19937 rng{9};
    for (int i = 0; i < 64; ++i) sc.Layer(i + 1, 128, 128, int(rng() % (kW - 128)), int(rng() % (kH - 128)), true);
    cxLayer *moved = GetLayerByPos(sc.d->bgpic, 32);
    int step = 1;
    Pair(st, "move", "fullredraw",
         [&] {
             UpdateLayerPosition(sc.L, moved, nullptr, step, 0, 0, CX_MOVE_RELX, nullptr);
             step = -step;
         },
         [&] { sc.FullRedraw(); });
}

void BM_MaskCollision(benchmark::State &st) {
    constexpr int n = 1024;
    cxBitmap *a = AllocMask(nullptr, n, n, 1, nullptr, 0), *b = AllocMask(nullptr, n, n, 1, nullptr, 0);
    cv::Mat ma(n, n, CV_8UC1), mb(n, n, CV_8UC1), both;
    // Complementary stripes: they overlap everywhere without a shared pixel.
    cxOsBitmapLock la, lb;
    LockBitmap(a, 0, &la);
    LockBitmap(b, 0, &lb);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool on = ((x / 3) + y) % 2 == 0;
            uint8_t *pa = la.pixels + size_t(y) * la.rowLength + x / 8, *pb = lb.pixels + size_t(y) * lb.rowLength + x / 8;
            if (on) *pa |= uint8_t(0x80 >> (x % 8));
            else *pb |= uint8_t(0x80 >> (x % 8));
            ma.at<uint8_t>(y, x) = on ? 255 : 0;
            mb.at<uint8_t>(y, x) = on ? 0 : 255;
        }
    UnlockBitmap(&la);
    UnlockBitmap(&lb);
    const cxCollisionObject oa{0, 0, n, n, a, nullptr, 0, 0, nullptr}, ob{0, 0, n, n, b, nullptr, 0, 0, nullptr};
    int hit = 0, count = 0;
    Pair(st, "testmaskcollision", "opencv", [&] { hit += TestMaskCollision(&oa, &ob); },
         [&] {
             cv::bitwise_and(ma, mb, both);
             count += cv::countNonZero(both);
         });
    if (hit || count) st.SkipWithError("the masks touch");
    FreeMask(a);
    FreeMask(b);
}

void BM_Filter(benchmark::State &st) {
    const int slot = int(st.range(0));
    st.SetLabel(GetFilterName(slot));
    cxBitmap *bm = AllocBitmap(kW, kH, 0, 0), *alpha = AllocAlphaChannel(kW, kH, 0, nullptr, 0);
    Randomise(bm, 3);
    Randomise(alpha, 4);
    cxFilter filters[CX_FILTER_SLOTS] = {};
    filters[slot].active = 1;
    SetFilterDefaults(&filters[slot], slot);
    // The defaults of these two change nothing: arguments that do.
    if (slot == CX_FILTER_GAMMA) filters[slot].args[0] = 2.0;
    if (slot == CX_FILTER_MODULATE) filters[slot].args[0] = 120.0, filters[slot].args[1] = 80.0;
    for (auto _ : st) {
        ApplyLayerFilters(filters, bm, nullptr, alpha, kW, kH, 0);
        benchmark::ClobberMemory();
    }
    FreeBitmap(bm);
    FreeAlphaChannel(alpha);
}

BENCHMARK(BM_FullRedraw16Alpha)->Unit(benchmark::kMicrosecond)->Iterations(60);
BENCHMARK(BM_Background)->Unit(benchmark::kMicrosecond)->Iterations(100);
BENCHMARK(BM_MoveOneAmong64)->Unit(benchmark::kMicrosecond)->Iterations(100);
BENCHMARK(BM_MaskCollision)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_Filter)->DenseRange(0, CX_FILTER_SLOTS - 1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
