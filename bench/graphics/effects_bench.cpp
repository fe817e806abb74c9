// The effect kernels beside references doing the same work in the same run,
// at 640x480 and 1920x1080, 0xAARRGGBB pixels (format 10):
//   gradient  linear (horizontal and diagonal) and radial fills
//                                       vs pixman's linear and radial gradients (SRC)
//   blur      radius 10, sigma 3        vs OpenCV GaussianBlur 21x21, sigma 3
//   yuv       4:2:0 frame to format 10  vs libswscale YUV420P to BGRA, same size
//             (a synthetic frame: smooth colour fields with grain)
//   flood     a whole one-colour frame  vs OpenCV floodFill (4-connected, 3-byte pixels)
//   quantize  256 colours, dithered     (no reference: the goal is a time)
//   distort   perspective, nearest and smooth (no reference: the goal is a time)
// References run on one thread like the kernels.
#include <benchmark/benchmark.h>
#include <pixman.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "graphics/distort/distort.h"
#include "graphics/effects/convolve.h"
#include "graphics/fill/flood_fill.h"
#include "graphics/gradient/gradient.h"
#include "graphics/quantize/quantize.h"
#include "graphics/yuv/yuv_frame.h"

namespace {

const int kSizes[2][2] = {{640, 480}, {1920, 1080}};

struct Pixels {
    int32_t w, h;
    std::vector<uint32_t> p;
    Pixels(int32_t width, int32_t height, uint32_t seed = 1) : w(width), h(height), p(size_t(width) * height) {
        std::mt19937 rng(seed);
        for (auto &v : p) v = rng();
    }
    cv::Mat Mat() { return cv::Mat(h, w, CV_8UC4, p.data(), size_t(w) * 4); }
};

void Count(benchmark::State &st, int w, int h) {
    st.SetItemsProcessed(int64_t(st.iterations()) * w * h);
    st.counters["Mpx/s"] = benchmark::Counter(double(st.iterations()) * w * h / 1e6, benchmark::Counter::kIsRate);
}

#define SIZE_ARGS                                                                                                      \
    const int w = kSizes[st.range(0)][0], h = kSizes[st.range(0)][1];                                                  \
    st.SetLabel(std::to_string(w) + "x" + std::to_string(h))

void Sizes(benchmark::internal::Benchmark *b) { b->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond); }

cxGradient TwoColour(uint32_t style, int32_t angle) {
    cxGradient g{};
    g.style = style;
    g.startColour = 0xFF2040;
    g.endColour = 0x10E0C0;
    g.angle = angle;
    g.centerX = g.centerY = g.balance = 0.5;
    return g;
}

void RunGradient(benchmark::State &st, uint32_t style, int32_t angle = 90) {
    SIZE_ARGS;
    Pixels dst(w, h);
    const cxGradient g = TwoColour(style, angle);
    const cxGradientFillJob job{dst.p.data(), 4, 10, 0, 0, w, h, w, &g};
    for (auto _ : st) {
        FillGradientPixels(&job);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_GradientLinear(benchmark::State &st) { RunGradient(st, CX_GRADIENT_LINEAR); }
void BM_GradientDiagonal(benchmark::State &st) { RunGradient(st, CX_GRADIENT_LINEAR, 45); }
void BM_GradientRadial(benchmark::State &st) { RunGradient(st, CX_GRADIENT_RADIAL); }

void RunPixmanGradient(benchmark::State &st, bool radial, bool diagonal = false) {
    SIZE_ARGS;
    Pixels dst(w, h);
    pixman_gradient_stop_t stops[2] = {{pixman_int_to_fixed(0), {0xFFFF, 0x2020, 0x4040, 0xFFFF}},
                                       {pixman_int_to_fixed(1), {0x1010, 0xE0E0, 0xC0C0, 0xFFFF}}};
    pixman_image_t *grad;
    if (radial) {
        pixman_point_fixed_t c{pixman_double_to_fixed(w / 2.0), pixman_double_to_fixed(h / 2.0)};
        grad = pixman_image_create_radial_gradient(&c, &c, 0, pixman_double_to_fixed(std::hypot(w, h) / 2), stops, 2);
    } else {
        pixman_point_fixed_t p1{0, 0}, p2{pixman_int_to_fixed(w), diagonal ? pixman_int_to_fixed(h) : 0};
        grad = pixman_image_create_linear_gradient(&p1, &p2, stops, 2);
    }
    pixman_image_t *out = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, dst.p.data(), w * 4);
    for (auto _ : st) {
        pixman_image_composite32(PIXMAN_OP_SRC, grad, nullptr, out, 0, 0, 0, 0, 0, 0, w, h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(out);
    pixman_image_unref(grad);
    Count(st, w, h);
}
void BM_GradientLinearRef_pixman(benchmark::State &st) { RunPixmanGradient(st, false); }
void BM_GradientDiagonalRef_pixman(benchmark::State &st) { RunPixmanGradient(st, false, true); }
void BM_GradientRadialRef_pixman(benchmark::State &st) { RunPixmanGradient(st, true); }

void BM_Blur(benchmark::State &st) {
    SIZE_ARGS;
    Pixels img(w, h);
    for (auto _ : st) {
        cxConvolveJob job{img.p.data(), w, h, w, 10, 4, nullptr, 0, 10.0, 3.0, CX_CONVOLVE_BLUR, 0};
        ConvolvePixels(&job);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_BlurRef_opencv(benchmark::State &st) {
    SIZE_ARGS;
    Pixels img(w, h);
    cv::Mat m = img.Mat();
    cv::setNumThreads(1);
    for (auto _ : st) {
        cv::GaussianBlur(m, m, cv::Size(21, 21), 3.0, 3.0, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

// A frame like decoded video: smooth colour fields with grain, luma with
// more detail than chroma.
struct Yuv {
    std::vector<uint8_t> y, u, v;
    Yuv(int w, int h) : y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u.size()) {
        std::mt19937 rng(3);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                y[size_t(r) * w + c] = uint8_t(16 + (c * 7 + r * 3) % 200 + rng() % 20);
        for (int r = 0; r < h / 2; ++r)
            for (int c = 0; c < w / 2; ++c) {
                u[size_t(r) * (w / 2) + c] = uint8_t(128 + 90 * std::sin(c * 0.02) + rng() % 8);
                v[size_t(r) * (w / 2) + c] = uint8_t(128 + 90 * std::cos(r * 0.03) + rng() % 8);
            }
    }
};

void BM_Yuv420(benchmark::State &st) {
    SIZE_ARGS;
    Yuv f(w, h);
    Pixels dst(w, h);
    const cxYuvFrameJob job{{f.y.data(), f.u.data(), f.v.data()}, {w, w / 2, w / 2}, dst.p.data(), w, h, w, h, w, 10, 4};
    for (auto _ : st) {
        ConvertYuvFrame(&job);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_Yuv420Ref_swscale(benchmark::State &st) {
    SIZE_ARGS;
    Yuv f(w, h);
    Pixels dst(w, h);
    SwsContext *ctx = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
    const uint8_t *src[3] = {f.y.data(), f.u.data(), f.v.data()};
    const int srcStride[3] = {w, w / 2, w / 2};
    uint8_t *out[1] = {reinterpret_cast<uint8_t *>(dst.p.data())};
    const int outStride[1] = {w * 4};
    for (auto _ : st) {
        sws_scale(ctx, src, srcStride, 0, h, out, outStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
    Count(st, w, h);
}

void BM_FloodFill(benchmark::State &st) {
    SIZE_ARGS;
    std::vector<uint32_t> img(size_t(w) * h, 0x102030);
    uint32_t colour = 0x405060;
    for (auto _ : st) {
        const cxFloodFillJob job{img.data(), w, h, w, 0xFFFFFF, colour, 0, 0};
        FloodFillPixels32(&job, w / 2, h / 2, 0x00FFFFFF);
        colour ^= 0x0F0F0F;
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
// OpenCV fills 1- or 3-channel images: 3-byte pixels on both sides here.
void BM_FloodFill24(benchmark::State &st) {
    SIZE_ARGS;
    std::vector<uint8_t> img(size_t(w) * h * 3, 0x20);
    uint32_t colour = 0x405060;
    for (auto _ : st) {
        const cxFloodFillJob job{img.data(), w, h, w, 0xFFFFFF, colour, 0, 0};
        FloodFillPixels24(&job, w / 2, h / 2);
        colour ^= 0x0F0F0F;
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_FloodFillRef_opencv(benchmark::State &st) {
    SIZE_ARGS;
    cv::Mat m(h, w, CV_8UC3, cv::Scalar(0x20, 0x20, 0x20));
    cv::Scalar colour(0x60, 0x50, 0x40);
    for (auto _ : st) {
        cv::floodFill(m, cv::Point(w / 2, h / 2), colour, nullptr, cv::Scalar(), cv::Scalar(), 4);
        colour = cv::Scalar(colour[0] == 0x60 ? 0x6F : 0x60, 0x50, 0x40);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_Quantize256Dither(benchmark::State &st) {
    SIZE_ARGS;
    // A photograph-like image: smooth colour fields with noise.
    Pixels img(w, h);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t r = uint32_t(128 + 100 * std::sin(x * 0.01)) + rng() % 16;
            const uint32_t g = uint32_t(128 + 100 * std::cos(y * 0.013)) + rng() % 16;
            const uint32_t b = uint32_t((x + y) * 255 / (w + h)) & 0xF0;
            img.p[size_t(y) * w + x] = (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | b;
        }
    std::vector<uint8_t> idx(size_t(w) * h);
    uint32_t palette[256];
    for (auto _ : st) {
        int32_t n = 256;
        QuantizePixels(img.p.data(), 10, 4, w, h, w, idx.data(), palette, &n, -1, 0, 1, nullptr);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void RunPerspective(benchmark::State &st, int32_t smooth) {
    SIZE_ARGS;
    Pixels src(w, h);
    std::vector<uint32_t> dst;
    std::vector<uint8_t> dstAlpha;
    const double W = w, H = h;
    const double args[16] = {0, 0, W * 0.1, H * 0.05, W, 0, W * 0.95, 0, W, H, W, H, 0, H, 0, H * 0.9};
    for (auto _ : st) {
        cxDistortJob job{};
        job.srcWidth = w;
        job.srcHeight = h;
        job.method = CX_DISTORT_PERSPECTIVE;
        job.argCount = 16;
        job.args = args;
        job.smooth = smooth;
        ComputeDistortionCoefficients(&job);
        dst.resize(size_t(job.dstWidth) * job.dstHeight);
        dstAlpha.resize(dst.size());
        job.srcPixels = src.p.data();
        job.pixelFormat = 10;
        job.bytesPerPixel = 4;
        job.srcRowLength = w;
        job.dstPixels = dst.data();
        job.dstRowLength = job.dstWidth;
        job.dstAlpha = dstAlpha.data();
        job.dstAlphaRowLength = job.dstWidth;
        RenderDistortion(&job);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_PerspectiveNearest(benchmark::State &st) { RunPerspective(st, 0); }
void BM_PerspectiveSmooth(benchmark::State &st) { RunPerspective(st, 1); }

} // namespace

BENCHMARK(BM_GradientLinear)->Apply(Sizes);
BENCHMARK(BM_GradientLinearRef_pixman)->Apply(Sizes);
BENCHMARK(BM_GradientDiagonal)->Apply(Sizes);
BENCHMARK(BM_GradientDiagonalRef_pixman)->Apply(Sizes);
BENCHMARK(BM_GradientRadial)->Apply(Sizes);
BENCHMARK(BM_GradientRadialRef_pixman)->Apply(Sizes);
BENCHMARK(BM_Blur)->Apply(Sizes);
BENCHMARK(BM_BlurRef_opencv)->Apply(Sizes);
BENCHMARK(BM_Yuv420)->Apply(Sizes);
BENCHMARK(BM_Yuv420Ref_swscale)->Apply(Sizes);
BENCHMARK(BM_FloodFill)->Apply(Sizes);
BENCHMARK(BM_FloodFill24)->Apply(Sizes);
BENCHMARK(BM_FloodFillRef_opencv)->Apply(Sizes);
BENCHMARK(BM_Quantize256Dither)->Apply(Sizes);
BENCHMARK(BM_PerspectiveNearest)->Apply(Sizes);
BENCHMARK(BM_PerspectiveSmooth)->Apply(Sizes);

BENCHMARK_MAIN();
