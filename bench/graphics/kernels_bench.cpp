// Mpx/s of the graphics kernels in formats 10 (0xAARRGGBB) and 4 (RGB 565),
// some also in 8 (3-byte 0xRRGGBB), at 640x480 and 1920x1080, each beside a
// reference doing the same work:
//   copy   vs memcpy of the same rows
//   fill   vs memset of the same rows
//   blend  vs pixman OVER with an a8 mask (an opaque source through the mask)
//   scale  vs OpenCV resize (nearest, bilinear), from 2/3 of the size
//   affine vs OpenCV warpAffine (nearest, bilinear), a 30 degree turn
// and, against the copy's memcpy: the masked copy with a mask all clear, all
// set and random; the alpha copy (mode 1) with alpha all 0, all 255 and
// random; the constant-colour blend fill; the composite over a destination
// alpha (mode 2).
// OpenCV runs on one thread like the kernels. Pixels counted are destination
// pixels.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"

namespace {

struct Image {
    uint32_t format;
    int32_t width, height, rowLength;
    std::vector<uint8_t> bytes;
    Image(uint32_t f, int32_t w, int32_t h) : format(f), width(w), height(h), rowLength((w + 3) & ~3) {
        bytes.resize(size_t(rowLength) * h * Unit());
        std::mt19937 rng(uint32_t(w * 3 + h + f));
        for (auto &b : bytes) b = uint8_t(rng());
    }
    uint32_t Unit() const { return format >= CX_PIXFMT_ALPHA ? 1 : GetBytesPerPixel(format); }
    size_t Stride() const { return size_t(rowLength) * Unit(); }
    cxOsBitmapLock Lock() {
        cxOsBitmapLock l{};
        l.pixels = bytes.data();
        l.locked = 1;
        l.pixelFormat = format;
        l.bytesPerPixel = Unit();
        l.rowLength = uint32_t(rowLength);
        l.width = width;
        l.height = height;
        l.plainMemory = 1;
        return l;
    }
    cv::Mat Mat(int type) { return cv::Mat(height, width, type, bytes.data(), Stride()); }
};

void Count(benchmark::State &st, int w, int h) {
    st.SetItemsProcessed(int64_t(st.iterations()) * w * h);
    st.counters["Mpx/s"] = benchmark::Counter(double(st.iterations()) * w * h / 1e6, benchmark::Counter::kIsRate);
}

const int kSizes[2][2] = {{640, 480}, {1920, 1080}};

// Arguments: size index, format.
void Sizes(benchmark::internal::Benchmark *b) {
    for (int s = 0; s < 2; ++s)
        for (int f : {10, 4}) b->Args({s, f});
}

// Arguments: size index, format, a third: 0 all clear, 1 all set, 2 random.
void SizesKinds(benchmark::internal::Benchmark *b) {
    for (int s = 0; s < 2; ++s)
        for (int f : {10, 4})
            for (int k = 0; k < 3; ++k) b->Args({s, f, k});
}
// Also the 3-byte format 8.
void Sizes3(benchmark::internal::Benchmark *b) {
    for (int s = 0; s < 2; ++s)
        for (int f : {10, 4, 8}) b->Args({s, f});
}

#define SIZE_ARGS                                                                                                      \
    const int w = kSizes[st.range(0)][0], h = kSizes[st.range(0)][1];                                                  \
    const uint32_t f = uint32_t(st.range(1));                                                                          \
    st.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " fmt " + std::to_string(f))

void BM_Copy(benchmark::State &st) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h);
    cxOsBitmapLock s = src.Lock(), d = dst.Lock();
    for (auto _ : st) {
        BltBitmapSoft(&s, 0, 0, &d, 0, 0, w, h);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_CopyRef_memcpy(benchmark::State &st) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h);
    const size_t row = size_t(w) * src.Unit();
    for (auto _ : st) {
        for (int y = 0; y < h; ++y) std::memcpy(dst.bytes.data() + y * dst.Stride(), src.bytes.data() + y * src.Stride(), row);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_Fill(benchmark::State &st) {
    SIZE_ARGS;
    Image dst(f, w, h);
    cxOsBitmapLock d = dst.Lock();
    for (auto _ : st) {
        FillRectSoft(&d, 0, 0, w, h, 0x336699, 255);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_FillRef_memset(benchmark::State &st) {
    SIZE_ARGS;
    Image dst(f, w, h);
    const size_t row = size_t(w) * dst.Unit();
    for (auto _ : st) {
        for (int y = 0; y < h; ++y) std::memset(dst.bytes.data() + y * dst.Stride(), 0x33, row);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_Blend(benchmark::State &st) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h), alpha(CX_PIXFMT_ALPHA, w, h);
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock();
    for (auto _ : st) {
        BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, w, h, &a, nullptr, 0);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_BlendRef_pixman(benchmark::State &st) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h), alpha(CX_PIXFMT_ALPHA, w, h);
    const pixman_format_code_t sfmt = f == 10 ? PIXMAN_x8r8g8b8 : f == 8 ? PIXMAN_r8g8b8 : PIXMAN_r5g6b5;
    const pixman_format_code_t dfmt = f == 10 ? PIXMAN_a8r8g8b8 : f == 8 ? PIXMAN_r8g8b8 : PIXMAN_r5g6b5;
    pixman_image_t *ps = pixman_image_create_bits(sfmt, w, h, reinterpret_cast<uint32_t *>(src.bytes.data()), int(src.Stride()));
    pixman_image_t *pd = pixman_image_create_bits(dfmt, w, h, reinterpret_cast<uint32_t *>(dst.bytes.data()), int(dst.Stride()));
    pixman_image_t *pm = pixman_image_create_bits(PIXMAN_a8, w, h, reinterpret_cast<uint32_t *>(alpha.bytes.data()), int(alpha.Stride()));
    for (auto _ : st) {
        pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, 0, 0, w, h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    pixman_image_unref(pm);
    Count(st, w, h);
}

// Fills a mask (kind 0 all clear, 1 all set, 2 random) or an alpha channel
// (0 all 0, 1 all 255, 2 random) with its kind.
void Kind(Image &img, int kind) {
    if (kind < 2) std::memset(img.bytes.data(), kind ? 0xFF : 0, img.bytes.size());
}
const char *KindName(int kind) { return kind == 0 ? " clear" : kind == 1 ? " set" : " random"; }

void BM_MaskCopy(benchmark::State &st) {
    SIZE_ARGS;
    const int kind = int(st.range(2));
    st.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " fmt " + std::to_string(f) + KindName(kind));
    Image src(f, w, h), dst(f, w, h), mask(CX_PIXFMT_MASK, (w + 7) / 8, h);
    Kind(mask, kind);
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), m = mask.Lock();
    for (auto _ : st) {
        BltBitmapMaskSoft(&s, 0, 0, &d, 0, 0, w, h, &m);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_AlphaCopy(benchmark::State &st) {
    SIZE_ARGS;
    const int kind = int(st.range(2));
    st.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " fmt " + std::to_string(f) + KindName(kind));
    Image src(f, w, h), dst(f, w, h), alpha(CX_PIXFMT_ALPHA, w, h);
    Kind(alpha, kind);
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock();
    for (auto _ : st) {
        BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, w, h, &a, nullptr, 1);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_BlendFill(benchmark::State &st) {
    SIZE_ARGS;
    Image dst(f, w, h);
    cxOsBitmapLock d = dst.Lock();
    for (auto _ : st) {
        FillRectSoft(&d, 0, 0, w, h, 0x336699, 128);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void BM_Composite(benchmark::State &st) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h), alpha(CX_PIXFMT_ALPHA, w, h), dstAlpha(CX_PIXFMT_ALPHA, w, h);
    cxOsBitmapLock s = src.Lock(), d = dst.Lock(), a = alpha.Lock(), da = dstAlpha.Lock();
    for (auto _ : st) {
        BltBitmapAlphaKernel(&s, 0, 0, &d, 0, 0, w, h, &a, &da, 2);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}

void Scale(benchmark::State &st, bool smooth) {
    SIZE_ARGS;
    Image src(f, w * 2 / 3, h * 2 / 3), dst(f, w, h);
    cxScaleJob j{};
    j.srcPixels = src.bytes.data();
    j.dstPixels = dst.bytes.data();
    j.srcWidth = src.width, j.srcHeight = src.height, j.dstWidth = w, j.dstHeight = h;
    j.srcRowLength = src.rowLength, j.dstRowLength = dst.rowLength;
    j.smooth = smooth;
    j.pixelFormat = f;
    j.bytesPerPixel = int32_t(src.Unit());
    for (auto _ : st) {
        RunScaleJob(&j);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_ScaleNearest(benchmark::State &st) { Scale(st, false); }
void BM_ScaleSmooth(benchmark::State &st) { Scale(st, true); }

// OpenCV types doing the same work: 4 bytes as 8UC4, 3 bytes as 8UC3; 565
// pixels as 16UC1 for nearest and as three 8-bit channels (8UC3) for
// bilinear.
int CvType(uint32_t f, bool smooth) {
    return f == 10 ? CV_8UC4 : f == 8 ? CV_8UC3 : (smooth ? CV_8UC3 : CV_16UC1);
}

void ScaleRef(benchmark::State &st, bool smooth) {
    SIZE_ARGS;
    cv::setNumThreads(1);
    const int type = CvType(f, smooth);
    cv::Mat src(h * 2 / 3, w * 2 / 3, type), dst(h, w, type);
    cv::randu(src, 0, 255);
    for (auto _ : st) {
        cv::resize(src, dst, dst.size(), 0, 0, smooth ? cv::INTER_LINEAR : cv::INTER_NEAREST);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_ScaleNearestRef_opencv(benchmark::State &st) { ScaleRef(st, false); }
void BM_ScaleSmoothRef_opencv(benchmark::State &st) { ScaleRef(st, true); }

// A 30 degree turn about the centre into a destination of the same size.
void TurnMatrix(int w, int h, double m[6]) {
    const double a = 30 * M_PI / 180, c = std::cos(a), s = std::sin(a);
    m[0] = c, m[1] = -s, m[3] = s, m[4] = c;
    m[2] = w / 2.0 - (c * w / 2.0 - s * h / 2.0);
    m[5] = h / 2.0 - (s * w / 2.0 + c * h / 2.0);
}

void Affine(benchmark::State &st, bool smooth) {
    SIZE_ARGS;
    Image src(f, w, h), dst(f, w, h);
    double m[6];
    TurnMatrix(w, h, m);
    cxTransformJob j{};
    j.srcPixels = src.bytes.data();
    j.dstPixels = dst.bytes.data();
    j.srcWidth = w, j.srcHeight = h, j.dstWidth = w, j.dstHeight = h;
    j.srcRowLength = src.rowLength, j.dstRowLength = dst.rowLength;
    j.smooth = smooth;
    j.pixelFormat = f;
    j.bytesPerPixel = int32_t(src.Unit());
    j.m00 = m[0], j.m01 = m[1], j.tx = m[2], j.m10 = m[3], j.m11 = m[4], j.ty = m[5];
    for (auto _ : st) {
        RunTransformJob(&j);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_AffineNearest(benchmark::State &st) { Affine(st, false); }
void BM_AffineSmooth(benchmark::State &st) { Affine(st, true); }

void AffineRef(benchmark::State &st, bool smooth) {
    SIZE_ARGS;
    cv::setNumThreads(1);
    const int type = CvType(f, smooth);
    cv::Mat src(h, w, type), dst(h, w, type);
    cv::randu(src, 0, 255);
    double m[6];
    TurnMatrix(w, h, m);
    const cv::Mat M(2, 3, CV_64F, m);
    for (auto _ : st) {
        cv::warpAffine(src, dst, M, dst.size(), smooth ? cv::INTER_LINEAR : cv::INTER_NEAREST);
        benchmark::ClobberMemory();
    }
    Count(st, w, h);
}
void BM_AffineNearestRef_opencv(benchmark::State &st) { AffineRef(st, false); }
void BM_AffineSmoothRef_opencv(benchmark::State &st) { AffineRef(st, true); }

} // namespace

BENCHMARK(BM_Copy)->Apply(Sizes);
BENCHMARK(BM_CopyRef_memcpy)->Apply(Sizes);
BENCHMARK(BM_Fill)->Apply(Sizes);
BENCHMARK(BM_FillRef_memset)->Apply(Sizes);
BENCHMARK(BM_Blend)->Apply(Sizes3);
BENCHMARK(BM_BlendRef_pixman)->Apply(Sizes3);
BENCHMARK(BM_MaskCopy)->Apply(SizesKinds);
BENCHMARK(BM_AlphaCopy)->Apply(SizesKinds);
BENCHMARK(BM_BlendFill)->Apply(Sizes3);
BENCHMARK(BM_Composite)->Apply(Sizes);
BENCHMARK(BM_ScaleNearest)->Apply(Sizes);
BENCHMARK(BM_ScaleNearestRef_opencv)->Apply(Sizes);
BENCHMARK(BM_ScaleSmooth)->Apply(Sizes3);
BENCHMARK(BM_ScaleSmoothRef_opencv)->Apply(Sizes3);
BENCHMARK(BM_AffineNearest)->Apply(Sizes);
BENCHMARK(BM_AffineNearestRef_opencv)->Apply(Sizes);
BENCHMARK(BM_AffineSmooth)->Apply(Sizes);
BENCHMARK(BM_AffineSmoothRef_opencv)->Apply(Sizes);

BENCHMARK_MAIN();
