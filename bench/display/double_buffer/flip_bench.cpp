// Flip of a double-buffered 1920x1080 display on an X window (run under an
// X server, e.g. xvfb-run), each frame ended by XSync so that the server's
// share counts:
//   Flip/boxes/N      N scattered boxes of 12x12 pixels drawn since the last
//                     frame: merge, copy into the front copy, present each
//   FullFrame         the whole back buffer copied into the front copy and
//                     presented in one piece
// The goal is that a flip never costs more than the whole-frame copy.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/open.h"
#include "display/picture.h"
#include "display/present.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/blit/blit.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"
#include "window/x11/x11_window_ops.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Fixture {
    cxDisplay *d = nullptr;
    cxOsWindow *w = nullptr;

    bool Open() {
        if (!OsStartX11()) return false;
        OsDetectPixelFormat();
        InitDisplayRecords();
        d = NewDisplayRecord();
        d->os.width = kWidth;
        d->os.height = kHeight;
        d->os.x = d->os.y = 0;
        d->xOnMonitor = d->yOnMonitor = 0;
        if (MakeOwnDisplayPicture(nullptr, d) || OsAllocWindowRecord(&d->os) || OpenDisplayWindow(nullptr, d, 0, 0))
            return false;
        w = OsGetDisplayWindow(&d->os);
        if (!w || StartDoubleBuffer(nullptr, d, 0)) return false;
        cxBitmap *back = GetDoubleBufferBitmap(d);
        for (int32_t y = 0; y < kHeight; ++y) FillBitmapRect(back, 0, y, kWidth, 1, uint32_t(y * 0x010203));
        return true;
    }
    ~Fixture() {
        if (!d) return;
        StopDoubleBuffer(nullptr, d);
        CloseDisplayWindow(nullptr, d, 0);
        FreeDisplayResources(nullptr, d, 1);
        free(d);
        FreeScaleBuffer();
    }
};

void Flip(benchmark::State &state) {
    Fixture f;
    if (!f.Open()) return state.SkipWithError("no X server");
    const int n = int(state.range(0));
    std::mt19937 rng(99);
    std::vector<std::pair<int, int>> spots(static_cast<size_t>(n));
    for (auto &s : spots) s = {int(rng() % (kWidth - 12)), int(rng() % (kHeight - 12))};
    for (auto _ : state) {
        for (const auto &s : spots) QueueDoubleBufferRect(f.d, s.first, s.second, 12, 12);
        FlipDoubleBuffer(nullptr, f.d, 0);
        XSync(f.w->dpy, False);
    }
    state.SetItemsProcessed(state.iterations());
}

void FullFrame(benchmark::State &state) {
    Fixture f;
    if (!f.Open()) return state.SkipWithError("no X server");
    cxDoubleBuffer *s = GetDisplayDoubleBuffer(f.d);
    for (auto _ : state) {
        BltBitmap(s->back, 0, 0, s->front, 0, 0, kWidth, kHeight);
        RefreshDisplayRectCore(s->front, 0, 0, f.d, 0, 0, kWidth, kHeight, 0, 0, 0, nullptr, nullptr, nullptr);
        XSync(f.w->dpy, False);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(Flip)->ArgName("boxes")->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(FullFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
