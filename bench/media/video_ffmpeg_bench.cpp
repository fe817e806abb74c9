// Real H.264 through the tests' FFmpeg decoder plug-in and the player's
// threads, beside ffmpeg decoding the same file alone, in the same run:
//
//   Play720pInto1080p  a 1280x720 30 fps file played to its end at
//                      1920x1080; the player's CPU per second of video
//                      beside `ffmpeg -i FILE -f null -` (its user + system
//                      time from -benchmark); overhead = ours / ffmpeg - 1
//   Play60fpsLayer     a 1280x720 60 fps file played into a 1920x1080
//                      layer; pictures dropped or skipped of those in the
//                      file (in all, and after the first second), and CPU
//                      per second of video
//
// There is no window: the pictures go to a layer sink that copies each
// into a 1920x1080 buffer, as a layer keeps its own copy. The files have
// no sound, so the picture clock leads. Both decoders pick their threads.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "engine/vm/lua.h"
#include "media/video/video_player.h"
#include "platform/os_threads.h"
#include "tests/media/video/ffmpeg_decoder.h"

namespace {

constexpr int kW = 1920, kH = 1080;

std::vector<uint32_t> g_target(size_t(kW) * kH);
std::atomic<long> g_copied{0};
int g_layer;  // stands for the layer the sink is given

void CopySink(void *, cxVideoPlayer *, const uint32_t *argb, int32_t width, int32_t height, int32_t rowLength) {
    for (int32_t y = 0; y < height && y < kH; ++y)
        memcpy(&g_target[size_t(y) * kW], argb + size_t(y) * rowLength, size_t(std::min(width, kW)) * 4);
    g_copied.fetch_add(1, std::memory_order_relaxed);
}

std::string Clip(int fps, int seconds) {
    const std::string p = "/tmp/cxbench-ffmpeg-" + std::to_string(getpid()) + "-" + std::to_string(fps) + ".mp4";
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=" + std::to_string(fps) +
                            ":duration=" + std::to_string(seconds) +
                            " -pix_fmt yuv420p -c:v libx264 -preset veryfast -g 60 '" + p + "'";
    return system(cmd.c_str()) == 0 ? p : std::string();
}

double ProcessCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// ffmpeg's CPU decoding the file alone (user + system, from -benchmark).
double FfmpegCpu(const std::string &file) {
    const std::string cmd = "ffmpeg -hide_banner -benchmark -i '" + file + "' -f null - 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return 0;
    char line[512];
    double cpu = 0;
    while (fgets(line, sizeof line, p)) {
        const char *u = strstr(line, "utime="), *s = strstr(line, "stime=");
        if (u && s) cpu = atof(u + 6) + atof(s + 6);
    }
    pclose(p);
    return cpu;
}

struct Played {
    double cpu = 0, wall = 0;
    cxVideoStats stats{};
    int64_t frames = 0;
    bool ok = false;
};

Played Play(const std::string &file) {
    Played r;
    cxVideoPlayer *p = nullptr;
    int32_t w = 0, h = 0;
    uint32_t duration = 0;
    int seekable = 0;
    uintptr_t loader = 0;
    if (OpenVideoPlayer(file.c_str(), nullptr, "", &p, &w, &h, &duration, &seekable, &loader) != 0) return r;
    r.frames = GetVideoFrameCount(p);
    lua_State *L = lua_open();
    cxVideoStart s{};
    s.x = s.y = 0;
    s.width = kW, s.height = kH;
    s.volume = 64;
    s.channel = -1;
    s.layer = &g_layer;
    const double cpu0 = ProcessCpu();
    const auto t0 = std::chrono::steady_clock::now();
    if (StartVideoPlayback(L, p, &s) == 0) {
        while (!HasVideoPlayerEnded(p) &&
               std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(duration + 10000))
            OsDelayMs(10);
        r.ok = HasVideoPlayerEnded(p);
        GetVideoPlayerStats(p, &r.stats);
        StopVideoPlayer(p, 0);
    }
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.cpu = ProcessCpu() - cpu0;
    CloseVideoPlayer(p);
    lua_close(L);
    return r;
}

// The pts of every picture shown (the refresh thread only).
std::vector<double> g_shownPts;
void Watch(cxVideoPlayer *, const uint32_t *, int32_t, int32_t, int32_t, double pts) { g_shownPts.push_back(pts); }

void Setup() {
    SetVideoPictureObserver(Watch);
    static bool done = false;
    if (done) return;
    done = true;
    // CX_BENCH_DECODER_THREADS sets the plug-in's decoding threads (0, the
    // default: as many as FFmpeg picks).
    const char *t = getenv("CX_BENCH_DECODER_THREADS");
    videotest::SetFfmpegThreads(t ? atoi(t) : 0);
    videotest::RegisterFfmpegDecoder();
    SetVideoLayerSink(CopySink);
}

void BM_Play720pInto1080p(benchmark::State &st) {
    Setup();
    const int seconds = 10;
    const std::string file = Clip(30, seconds);
    if (file.empty()) {
        st.SkipWithError("ffmpeg made no file");
        return;
    }
    Played r;
    for (auto _ : st) r = Play(file);
    const double peer = FfmpegCpu(file);
    unlink(file.c_str());
    if (!r.ok) {
        st.SkipWithError("did not play to the end");
        return;
    }
    st.counters["ours_cpu_per_s"] = r.cpu / seconds;
    st.counters["ffmpeg_cpu_per_s"] = peer / seconds;
    st.counters["overhead_pct"] = peer > 0 ? (r.cpu / peer - 1) * 100 : 0;
    st.counters["shown"] = r.stats.shown;
    st.counters["dropped"] = r.stats.dropped + r.stats.skipped;
}
BENCHMARK(BM_Play720pInto1080p)->Unit(benchmark::kSecond)->Iterations(1);

void BM_Play60fpsLayer(benchmark::State &st) {
    Setup();
    const int seconds = 10;  // the 30 s run, scaled down
    const std::string file = Clip(60, seconds);
    if (file.empty()) {
        st.SkipWithError("ffmpeg made no file");
        return;
    }
    Played r;
    g_shownPts.clear();
    for (auto _ : st) r = Play(file);
    unlink(file.c_str());
    if (!r.ok) {
        st.SkipWithError("did not play to the end");
        return;
    }
    const double lost = double(r.stats.dropped + r.stats.skipped);
    // The losses after the first second: the skip factor settles at the
    // start, while buffers are first touched.
    size_t laterShown = 0;
    for (double pts : g_shownPts) laterShown += pts >= 1.0 - 1e-6;
    const double laterFrames = double(r.frames) * (seconds - 1) / seconds;
    st.counters["frames"] = double(r.frames);
    st.counters["shown"] = r.stats.shown;
    st.counters["dropped_pct"] = r.frames > 0 ? lost / double(r.frames) * 100 : 0;
    st.counters["dropped_after_1s_pct"] = laterFrames > 0 ? (laterFrames - double(laterShown)) / laterFrames * 100 : 0;
    st.counters["cpu_per_s"] = r.cpu / seconds;
    st.counters["wall_s"] = r.wall;
}
BENCHMARK(BM_Play60fpsLayer)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
