// Time per presented frame, all in one run and each ended by XSync so that
// the server's share counts:
//   Present/W/H      the display library: RefreshDisplayRectCore of the whole
//                    picture (the display road down to OsBltBitMap)
//   XPutImage/W/H    a bare XPutImage of the same buffer
//   XShmPutImage/W/H the same through MIT-SHM (skipped when not offered)
//   Scaled2x         a 640x480 display scaled to 1280x960: scale + present
//                    (items per second = frames per second)
//   Paced/*          600 presented frames of 640x480, each followed by the
//                    wait of a synced Flip: the player's frame limiter beside
//                    a bare clock_nanosleep on a fixed grid of the same
//                    interval (the peer) and no wait at all; counters give
//                    the mean frame time, the jitter (standard deviation of
//                    the frame times), the worst frame's distance from the
//                    interval and the CPU time per frame
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/display_record.h"
#include "display/frame_limiter.h"
#include "display/open.h"
#include "display/picture.h"
#include "display/present.h"
#include "graphics/bitmap/bitmap.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"
#include "window/x11/x11_window_ops.h"

namespace {

struct Fixture {
    cxDisplay *d = nullptr;
    cxOsWindow *w = nullptr;
    cxOsBitmap *pixels = nullptr;

    bool Open(int width, int height, double scale) {
        if (!OsStartX11()) return false;
        OsDetectPixelFormat();
        InitDisplayRecords();
        d = NewDisplayRecord();
        d->os.width = width;
        d->os.height = height;
        d->os.x = d->os.y = 0;
        d->xOnMonitor = d->yOnMonitor = 0;
        if (scale != 1.0) {
            d->autoScale = 1;
            d->os.flags |= CX_DISPLAY_SCALEMODE1;
            d->os.scaledWidth = int32_t(width * scale);
            d->os.scaledHeight = int32_t(height * scale);
        }
        if (MakeOwnDisplayPicture(nullptr, d) || OsAllocWindowRecord(&d->os) || OpenDisplayWindow(nullptr, d, 0, 0))
            return false;
        w = OsGetDisplayWindow(&d->os);
        pixels = static_cast<cxOsBitmap *>(d->picture->store);
        for (int32_t y = 0; y < height; ++y)
            FillBitmapRect(d->picture, 0, y, width, 1, uint32_t(y * 0x010203));
        return w != nullptr;
    }
    ~Fixture() {
        if (!d) return;
        CloseDisplayWindow(nullptr, d, 0);
        FreeDisplayResources(nullptr, d, 1);
        free(d);
        FreeScaleBuffer();
    }
};

void Present(benchmark::State &state) {
    Fixture f;
    if (!f.Open(int(state.range(0)), int(state.range(1)), 1.0)) return state.SkipWithError("no X server");
    for (auto _ : state) {
        RefreshDisplayRectCore(f.d->picture, 0, 0, f.d, 0, 0, f.d->os.width, f.d->os.height, 0, 0, 0, nullptr,
                               nullptr, nullptr);
        XSync(f.w->dpy, False);
    }
    state.SetItemsProcessed(state.iterations());
}

void BareXPutImage(benchmark::State &state) {
    Fixture f;
    if (!f.Open(int(state.range(0)), int(state.range(1)), 1.0)) return state.SkipWithError("no X server");
    const int bpp = f.pixels->bytesPerPixel * 8;
    XImage *img = XCreateImage(f.w->dpy, f.w->visual, unsigned(f.w->depth), ZPixmap, 0,
                               reinterpret_cast<char *>(f.pixels->pixels), unsigned(f.pixels->width),
                               unsigned(f.pixels->height), bpp, int(f.pixels->bytesPerRow));
    for (auto _ : state) {
        XPutImage(f.w->dpy, f.w->window, f.w->gc, img, 0, 0, 0, 0, unsigned(f.pixels->width),
                  unsigned(f.pixels->height));
        XSync(f.w->dpy, False);
    }
    img->data = nullptr;
    XDestroyImage(img);
    state.SetItemsProcessed(state.iterations());
}

// MIT-SHM from libXext, loaded at run time like the player's other
// optional libraries.
struct XShmSegment {
    unsigned long shmseg;
    int shmid;
    char *shmaddr;
    Bool readOnly;
};
struct ShmApi {
    Bool (*QueryExtension)(Display *);
    XImage *(*CreateImage)(Display *, Visual *, unsigned, int, char *, XShmSegment *, unsigned, unsigned);
    Bool (*Attach)(Display *, XShmSegment *);
    Bool (*Detach)(Display *, XShmSegment *);
    Bool (*PutImage)(Display *, Drawable, GC, XImage *, int, int, int, int, unsigned, unsigned, Bool);
};

bool LoadShm(ShmApi *api) {
    void *h = dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!h) return false;
    api->QueryExtension = reinterpret_cast<decltype(api->QueryExtension)>(dlsym(h, "XShmQueryExtension"));
    api->CreateImage = reinterpret_cast<decltype(api->CreateImage)>(dlsym(h, "XShmCreateImage"));
    api->Attach = reinterpret_cast<decltype(api->Attach)>(dlsym(h, "XShmAttach"));
    api->Detach = reinterpret_cast<decltype(api->Detach)>(dlsym(h, "XShmDetach"));
    api->PutImage = reinterpret_cast<decltype(api->PutImage)>(dlsym(h, "XShmPutImage"));
    return api->QueryExtension && api->CreateImage && api->Attach && api->Detach && api->PutImage;
}

void ShmPutImage(benchmark::State &state) {
    Fixture f;
    if (!f.Open(int(state.range(0)), int(state.range(1)), 1.0)) return state.SkipWithError("no X server");
    ShmApi api{};
    if (!LoadShm(&api) || !api.QueryExtension(f.w->dpy)) return state.SkipWithError("no MIT-SHM");
    XShmSegment seg{};
    XImage *img = api.CreateImage(f.w->dpy, f.w->visual, unsigned(f.w->depth), ZPixmap, nullptr, &seg,
                                  unsigned(f.pixels->width), unsigned(f.pixels->height));
    if (!img) return state.SkipWithError("XShmCreateImage failed");
    seg.shmid = shmget(IPC_PRIVATE, size_t(img->bytes_per_line) * size_t(img->height), IPC_CREAT | 0600);
    seg.shmaddr = img->data = static_cast<char *>(shmat(seg.shmid, nullptr, 0));
    seg.readOnly = False;
    api.Attach(f.w->dpy, &seg);
    XSync(f.w->dpy, False);
    shmctl(seg.shmid, IPC_RMID, nullptr);
    for (auto _ : state) {
        // The frame is copied into the segment, as a presenting path would.
        for (int y = 0; y < f.pixels->height; ++y)
            memcpy(img->data + size_t(y) * size_t(img->bytes_per_line), f.pixels->pixels + size_t(y) * f.pixels->bytesPerRow,
                   size_t(f.pixels->width) * f.pixels->bytesPerPixel);
        api.PutImage(f.w->dpy, f.w->window, f.w->gc, img, 0, 0, 0, 0, unsigned(f.pixels->width),
                     unsigned(f.pixels->height), False);
        XSync(f.w->dpy, False);
    }
    api.Detach(f.w->dpy, &seg);
    XSync(f.w->dpy, False);
    shmdt(seg.shmaddr);
    img->data = nullptr;
    XDestroyImage(img);
    state.SetItemsProcessed(state.iterations());
}

void Scaled2x(benchmark::State &state) {
    Fixture f;
    if (!f.Open(640, 480, 2.0)) return state.SkipWithError("no X server");
    for (auto _ : state) {
        RefreshDisplayRectCore(f.d->picture, 0, 0, f.d, 0, 0, 640, 480, f.d->os.scaledWidth, f.d->os.scaledHeight, 0,
                               nullptr, nullptr, nullptr);
        XSync(f.w->dpy, False);
    }
    state.SetItemsProcessed(state.iterations());
}

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double CpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

enum Pacing { kLimiter, kNanosleepGrid, kNone };

void Paced(benchmark::State &state, Pacing pacing) {
    Fixture f;
    if (!f.Open(640, 480, 1.0)) return state.SkipWithError("no X server");
    SetFrameLimiter(pacing == kLimiter ? LimitFrameRate : nullptr);
    constexpr int kFrames = 600;
    const double interval = 1.0 / CX_DEFAULT_REFRESH_HZ;
    std::vector<double> ends;
    double cpu = 0;
    for (auto _ : state) {
        ends.clear();
        const double start = Now(), cpuStart = CpuNow();
        for (int i = 0; i < kFrames; ++i) {
            FillBitmapRect(f.d->picture, (i * 7) % 600, 100, 40, 40, uint32_t(i * 0x10101));
            RefreshDisplayRectCore(f.d->picture, 0, 0, f.d, 0, 0, 640, 480, 0, 0, 0, nullptr, nullptr, nullptr);
            XSync(f.w->dpy, False);
            if (pacing == kLimiter) {
                WaitDisplayFrame(nullptr, f.d, 0);
            } else if (pacing == kNanosleepGrid) {
                const double due = start + (i + 1) * interval;
                timespec ts{time_t(due), long((due - std::floor(due)) * 1e9)};
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
                }
            }
            ends.push_back(Now());
        }
        cpu = CpuNow() - cpuStart;
    }
    SetFrameLimiter(nullptr);
    double sum = 0, sq = 0, worst = 0;
    const int n = int(ends.size()) - 1;
    for (int i = 1; i <= n; ++i) {
        const double t = ends[size_t(i)] - ends[size_t(i - 1)];
        sum += t;
        sq += t * t;
        if (pacing != kNone) worst = std::max(worst, std::fabs(t - interval));
    }
    const double mean = sum / n;
    state.counters["frame_ms"] = mean * 1e3;
    state.counters["jitter_us"] = std::sqrt(std::max(0.0, sq / n - mean * mean)) * 1e6;
    state.counters["worst_us"] = worst * 1e6;
    state.counters["cpu_us_per_frame"] = cpu / kFrames * 1e6;
}

}  // namespace

BENCHMARK_CAPTURE(Paced, Limiter, kLimiter)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Paced, NanosleepGrid, kNanosleepGrid)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Paced, None, kNone)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Present)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BareXPutImage)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ShmPutImage)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Scaled2x)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
