// ScaleBrush and RotateBrush of a 1024x768 brush with a mask and an alpha
// channel, through the script commands, beside pixman's affine composite
// of the same picture as a8r8g8b8 (alpha in the pixels), nearest and
// bilinear, in the same run; BlurBrush with radius 10.
//   Scale/smooth:S     1024x768 -> 1536x1152
//   Rotate/smooth:S    30 degrees, into the bounding box (1271x1177)
//   Blur               BlurBrush(id, 10)
// Each iteration edits a fresh copy of the brush (made with the timer
// paused), so every command works on the same 1024x768 picture.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <vector>

#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "images/editing/brush_commands.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lauxlib.h"

namespace {

constexpr int kW = 1024, kH = 768;

struct Vm {
    lua_State *L = lua_open();
    Vm() { luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0); }
    ~Vm() {
        FreeAllBrushes(L);
        lua_close(L);
    }
    // Brush 1 with a mask and an alpha channel, a gradient picture.
    void MakeBrush() {
        FreeAllBrushes(L);
        cxBitmap *bm = AllocBitmap(kW, kH, 0, 0);
        cxOsBitmapLock l;
        LockBitmap(bm, 0, &l);
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                reinterpret_cast<uint32_t *>(l.pixels)[size_t(y) * l.rowLength + x] = uint32_t(x * 0x010203 + y * 0x030201);
        UnlockBitmap(&l);
        cxBitmap *mask = AllocMask(bm, kW, kH, 0, nullptr, 0);
        FillMaskRect(mask, 0, 0, kW, kH, 0);
        cxBitmap *alpha = AllocAlphaChannel(kW, kH, 0, nullptr, 0);
        FillAlphaRect(alpha, 0, 0, kW, kH, 200);
        cxObjectID id{1, nullptr};
        AddBrushRecord(&id, CX_BRUSH_BITMAP, kW, kH, kW, 0, nullptr, bm, CX_TRANSPARENT_BY_MASK, mask, alpha, nullptr,
                       nullptr);
    }
    int Call(const char *name, std::initializer_list<double> args) {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (double a : args) lua_pushnumber(L, a);
        return lua_pcall(L, int(args.size()), 0, 0);
    }
};

void Scale(benchmark::State &state) {
    Vm vm;
    const double smooth = double(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        vm.MakeBrush();
        state.ResumeTiming();
        if (vm.Call("scalebrush", {1, 1536, 1152, smooth})) return state.SkipWithError("ScaleBrush failed");
    }
}

void Rotate(benchmark::State &state) {
    Vm vm;
    const double smooth = double(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        vm.MakeBrush();
        state.ResumeTiming();
        if (vm.Call("rotatebrush", {1, 30, 1, 1, smooth})) return state.SkipWithError("RotateBrush failed");
    }
}

void Blur(benchmark::State &state) {
    Vm vm;
    for (auto _ : state) {
        state.PauseTiming();
        vm.MakeBrush();
        state.ResumeTiming();
        if (vm.Call("blurbrush", {1, 10})) return state.SkipWithError("BlurBrush failed");
    }
}

// pixman: the source as a8r8g8b8, composited with SRC through the inverse
// transform into a new destination of the result's size (allocated inside
// the loop, as the brush commands allocate theirs).
void Pixman(benchmark::State &state, bool rotate) {
    std::vector<uint32_t> src(size_t(kW) * kH);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) src[size_t(y) * kW + x] = 0xC8000000u | uint32_t(x * 0x010203 + y * 0x030201);
    pixman_image_t *s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, src.data(), kW * 4);
    int dw = 1536, dh = 1152;
    pixman_transform_t t;
    if (rotate) {
        const double a = 30.0 * M_PI / 180.0, c = std::cos(a), sn = std::sin(a);
        dw = int(std::ceil(kW * c + kH * sn));
        dh = int(std::ceil(kW * sn + kH * c));
        // Destination -> source: turn back about the centres.
        pixman_transform_init_identity(&t);
        pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(-dw / 2.0), pixman_double_to_fixed(-dh / 2.0));
        pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(c), pixman_double_to_fixed(sn));
        pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(kW / 2.0), pixman_double_to_fixed(kH / 2.0));
    } else {
        pixman_transform_init_scale(&t, pixman_double_to_fixed(double(kW) / dw), pixman_double_to_fixed(double(kH) / dh));
    }
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, state.range(0) ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        pixman_image_t *d = pixman_image_create_bits(PIXMAN_a8r8g8b8, dw, dh, nullptr, 0);
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, dw, dh);
        benchmark::DoNotOptimize(pixman_image_get_data(d));
        pixman_image_unref(d);
    }
    pixman_image_unref(s);
}
void PixmanScale(benchmark::State &state) { Pixman(state, false); }
void PixmanRotate(benchmark::State &state) { Pixman(state, true); }

}  // namespace

BENCHMARK(Scale)->ArgName("smooth")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PixmanScale)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Rotate)->ArgName("smooth")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PixmanRotate)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Blur)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
