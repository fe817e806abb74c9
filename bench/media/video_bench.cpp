// Video beside its peers in the same run: the inbuilt CDXL decoder on HAM8
// frames of 320 x 256 beside ffmpeg's CDXL decoder (one thread) on the same
// file, and a 1280 x 720 YUV picture converted to 1920 x 1080 pixels beside
// libswscale doing the same (nearest neighbour, as the player scales).
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "media/video/video_decoder.h"
#include "media/video/video_player.h"
#include "tools/cdxl-writer/cdxl_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 200;

std::string Ham8Clip() {
    static const std::string path = [] {
        const std::string p = "/tmp/cxbench-video-" + std::to_string(getpid()) + "-ham8.cdxl";
        cxtool::CdxlClip c;
        c.width = 320;
        c.height = 256;
        c.ham8 = true;
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint32_t> px(size_t(c.width) * c.height);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    px[size_t(y) * c.width + x] = uint32_t((x + f) & 255) << 16 | uint32_t(y & 255) << 8 |
                                                  uint32_t(128 + 127 * std::sin((x + y + f) / 11.0));
            c.frames.push_back(px);
        }
        cxtool::WriteCdxl(p, c);
        return p;
    }();
    return path;
}

// Frames a second of ffmpeg decoding the file alone, from its user time.
double FfmpegFps(const std::string &file) {
    const std::string cmd = "ffmpeg -hide_banner -benchmark -threads 1 -i '" + file + "' -an -f null - 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return 0;
    char line[512];
    double utime = 0;
    while (fgets(line, sizeof line, p))
        if (const char *u = strstr(line, "utime=")) utime = atof(u + 6);
    pclose(p);
    return utime > 0 ? kFrames / utime : 0;
}

void BM_CdxlHam8VsFfmpeg(benchmark::State &st) {
    const std::string file = Ham8Clip();
    std::vector<uint32_t> argb(320 * 256);
    double best = 1e30;
    for (auto _ : st) {
        cxVideoDecoder d;
        if (OpenVideoDecoder(file.c_str(), "inbuilt", "", &d) != 0) {
            st.SkipWithError("not opened");
            return;
        }
        const auto t0 = Clock::now();
        int n = 0;
        cxVideoPacket pk;
        while (DecoderNextPacket(&d, &pk) == 0) {
            cxVideoFrame f{};
            if (pk.type == CX_VIDEO_PACKET_VIDEO && DecoderDecodeVideo(&d, &pk, &f) == 0) {
                ConvertVideoPicture(&f, 1, argb.data(), 320, 320, 256);
                ++n;
            }
            DecoderFreePacket(&d, &pk);
        }
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count() / n);
        CloseVideoDecoder(&d);
    }
    const double peer = FfmpegFps(file);
    st.counters["ours_fps"] = 1.0 / best;
    st.counters["ffmpeg_fps"] = peer;
    st.counters["rate_of_peer"] = peer > 0 ? (1.0 / best) / peer : 0;
}
BENCHMARK(BM_CdxlHam8VsFfmpeg)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Yuv720To1080VsSwscale(benchmark::State &st) {
    const int sw = 1280, sh = 720, dw = 1920, dh = 1080;
    std::vector<uint8_t> y(size_t(sw) * sh), u(size_t(sw / 2) * (sh / 2)), v(u.size());
    for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(i * 7 + i / sw);
    for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(i * 3), v[i] = uint8_t(255 - i);
    std::vector<uint32_t> ours(size_t(dw) * dh), theirs(size_t(dw) * dh);
    cxVideoFrame f{};
    f.planes[0] = y.data(), f.planes[1] = u.data(), f.planes[2] = v.data();
    f.rowLengths[0] = sw, f.rowLengths[1] = f.rowLengths[2] = sw / 2;
    f.width = sw, f.height = sh;
    SwsContext *sws = sws_getContext(sw, sh, AV_PIX_FMT_YUV420P, dw, dh, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr,
                                     nullptr);
    const uint8_t *src[3] = {y.data(), u.data(), v.data()};
    const int srcStride[3] = {sw, sw / 2, sw / 2};
    uint8_t *dst[1] = {reinterpret_cast<uint8_t *>(theirs.data())};
    const int dstStride[1] = {dw * 4};
    double bestOurs = 1e30, bestPeer = 1e30;
    for (auto _ : st) {
        auto t0 = Clock::now();
        ConvertVideoPicture(&f, 0, ours.data(), dw, dw, dh);
        benchmark::ClobberMemory();
        bestOurs = std::min(bestOurs, std::chrono::duration<double>(Clock::now() - t0).count());
        t0 = Clock::now();
        sws_scale(sws, src, srcStride, 0, sh, dst, dstStride);
        benchmark::ClobberMemory();
        bestPeer = std::min(bestPeer, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    sws_freeContext(sws);
    st.counters["ours_ms"] = bestOurs * 1e3;
    st.counters["swscale_ms"] = bestPeer * 1e3;
    st.counters["ratio"] = bestOurs / bestPeer;
}
BENCHMARK(BM_Yuv720To1080VsSwscale)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
