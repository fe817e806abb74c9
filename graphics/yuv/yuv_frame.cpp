#include "graphics/yuv/yuv_frame.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <vector>

#include "engine/errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/pixels/pixel_format_table.h"

using namespace cx::pix;

namespace {

// The conversion is
//   R = (1904000 Y + 2609823 V - 363703744) / 1635200
//   G = (3827562 Y - 1287801 U - 2672387 V + 447306710) / 3287200
//   B = (952000 Y + 1649289 U - 225932192) / 817600
// truncated, then clamped. Only non-negative quotients survive the clamp,
// and for those truncation is the floor, so each channel is
// floor((a Y + n) / D) with n from the chroma alone. Exact integer
// rearrangement makes the per-pixel part small numbers only:
//   all three Y coefficients are D + D * 84/511 (+ 182 / 511 for green), so
//   with 84 Y = 511 q + e (q, e from Y alone) and n = k D + r (k, r from the
//   chroma alone),
//   R = Y + q + k + [e >= ceil((D - r) / 3200)]        (D = 511 * 3200)
//   B = Y + q + k + [e >= ceil((D - r) / 1600)]        (D = 511 * 1600)
//   G = Y + q + k + [e * D + 182 Y >= 511 (D - r)]
//     = Y + q + k + [e > a or (e == a and Y >= yb)]     (511 (D - r) = a D + b, yb = ceil(b / 182))
// Every per-pixel quantity fits 16 bits, so the pixel loop runs in 16-bit
// vector lanes; the chroma terms come from small tables built once.
constexpr int64_t kDR = 1635200, kDG = 3287200, kDB = 817600;

int64_t FloorDiv(int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }

struct Tables {
    int16_t kR[256], tR[256], kB[256], tB[256];
    // Green terms by (U << 8) | V, packed k + 256 | a << 9 | min(yb, 256) << 18
    // (256 KB): yb above 255 can never be met by a luma value.
    uint32_t g[65536];
    Tables() {
        for (int c = 0; c < 256; ++c) {
            const int64_t nR = 2609823 * int64_t(c) - 363703744, kr = FloorDiv(nR, kDR), rr = nR - kr * kDR;
            kR[c] = int16_t(kr), tR[c] = int16_t((kDR - rr + 3199) / 3200);
            const int64_t nB = 1649289 * int64_t(c) - 225932192, kb = FloorDiv(nB, kDB), rb = nB - kb * kDB;
            kB[c] = int16_t(kb), tB[c] = int16_t((kDB - rb + 1599) / 1600);
        }
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) {
                const int64_t n = -1287801 * int64_t(u) - 2672387 * int64_t(v) + 447306710;
                const int64_t k = FloorDiv(n, kDG), r = n - k * kDG, t = 511 * (kDG - r);
                const int64_t a = t / kDG, b = t - a * kDG, yb = std::min<int64_t>((b + 181) / 182, 256);
                g[(u << 8) | v] = uint32_t(k + 256) | uint32_t(a) << 9 | uint32_t(yb) << 18;
            }
    }
};

const Tables &GetTables() {
    static const Tables tables; // built once, on first use
    return tables;
}

// Chroma terms of one destination row, one per destination pixel.
struct ChromaRow {
    std::vector<int16_t> kR, tR, kB, tB, kG, aG, ybG;
    void Resize(size_t n) {
        for (auto *v : {&kR, &tR, &kB, &tB, &kG, &aG, &ybG}) v->resize(n);
    }
};


// The three channels of one pixel from its luma sample and the chroma terms
// at index i, all in 16-bit arithmetic, clamped to 0..255.
struct Pixel {
    const int16_t *kR, *tR, *kB, *tB, *kG, *aG, *ybG;
    explicit Pixel(const ChromaRow &c)
        : kR(c.kR.data()), tR(c.tR.data()), kB(c.kB.data()), tB(c.tB.data()), kG(c.kG.data()), aG(c.aG.data()),
          ybG(c.ybG.data()) {}
    inline void operator()(uint8_t luma, int32_t i, uint32_t &r, uint32_t &g, uint32_t &b) const {
        const int16_t y = int16_t(luma);
        const uint16_t m = uint16_t(84 * y);
        const int16_t q = int16_t((m + (m >> 9) + 1) >> 9); // floor(m / 511) for m < 21421, in 16 bits
        const int16_t e = int16_t(m - 511 * q);
        const int16_t base = int16_t(y + q);
        const int16_t one = 1, zero = 0;
        const int16_t R = int16_t(base + kR[i] + (e >= tR[i] ? one : zero));
        const int16_t Bl = int16_t(base + kB[i] + (e >= tB[i] ? one : zero));
        const int16_t G = int16_t(base + kG[i] + ((e > aG[i]) | ((e == aG[i]) & (y >= ybG[i])) ? one : zero));
        const int16_t lo = 0, hi = 255;
        r = uint16_t(std::min(std::max(R, lo), hi));
        g = uint16_t(std::min(std::max(G, lo), hi));
        b = uint16_t(std::min(std::max(Bl, lo), hi));
    }
};

template <int F>
inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) {
    if constexpr (F == 10) return (r << 16) | (g << 8) | b;
    else if constexpr (F == 13) return (b << 16) | (g << 8) | r;
    else return FromARGB<F>((r << 16) | (g << 8) | b, false);
}

// One row of pixels with one set of chroma terms per pixel.
template <int F>
void EmitRow(const uint8_t *luma, const ChromaRow &c, int32_t n, uint8_t *dst) {
    constexpr int B = kFormats[F].bytes;
    const Pixel px(c);
    if constexpr (F == 10 && std::endian::native == std::endian::little) {
        // Each word as two 16-bit halves, green and blue below red.
        uint16_t *out = reinterpret_cast<uint16_t *>(dst);
        for (int32_t x = 0; x < n; ++x) {
            uint32_t r, g, b;
            px(luma[x], x, r, g, b);
            out[2 * x] = uint16_t((g << 8) | b);
            out[2 * x + 1] = uint16_t(r);
        }
        return;
    }
    for (int32_t x = 0; x < n; ++x) {
        uint32_t r, g, b;
        px(luma[x], x, r, g, b);
        Store<F>(dst + ptrdiff_t(x) * B, Pack<F>(r, g, b));
    }
}

// Each of n chroma terms twice, for the two pixels of its sample.
void Spread(const int16_t *half, int16_t *full, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        full[2 * i] = half[i];
        full[2 * i + 1] = half[i];
    }
}

// Chroma terms of one row of chroma samples.
void FillChromaRow(ChromaRow &c, const uint8_t *u, const uint8_t *v, int32_t cw) {
    const Tables &t = GetTables();
    for (int32_t i = 0; i < cw; ++i) {
        const uint32_t U = u[i], V = v[i], g = t.g[(U << 8) | V];
        c.kR[size_t(i)] = t.kR[V], c.tR[size_t(i)] = t.tR[V];
        c.kB[size_t(i)] = t.kB[U], c.tB[size_t(i)] = t.tB[U];
        c.kG[size_t(i)] = int16_t(int32_t(g & 511) - 256), c.aG[size_t(i)] = int16_t((g >> 9) & 511);
        c.ybG[size_t(i)] = int16_t(g >> 18);
    }
}

void FillChromaColumns(ChromaRow &c, const uint8_t *u, const uint8_t *v, const int32_t *col, int32_t n) {
    const Tables &t = GetTables();
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t U = u[col[i]], V = v[col[i]], g = t.g[(U << 8) | V];
        c.kR[size_t(i)] = t.kR[V], c.tR[size_t(i)] = t.tR[V];
        c.kB[size_t(i)] = t.kB[U], c.tB[size_t(i)] = t.tB[U];
        c.kG[size_t(i)] = int16_t(int32_t(g & 511) - 256), c.aG[size_t(i)] = int16_t((g >> 9) & 511);
        c.ybG[size_t(i)] = int16_t(g >> 18);
    }
}

bool SizeMatches(const cxYuvFrameJob *job) {
    return job->dstFormat < CX_PIXFMT_COUNT && uint32_t(job->bytesPerPixel) == GetBytesPerPixel(job->dstFormat);
}

template <class RowFn>
void WithRowEmitter(uint32_t format, RowFn &&fn) {
    WithFormat(format, [&](auto f) { fn([](const uint8_t *l, const ChromaRow &c, int32_t n, uint8_t *d) {
                                           EmitRow<decltype(f)::value>(l, c, n, d);
                                       }); });
}

} // namespace

extern "C" uint32_t YuvToRGB(uint32_t y, uint32_t u, uint32_t v) {
    const int64_t Y = y, U = u, V = v;
    const auto clamp = [](int64_t n) { return uint32_t(std::clamp<int64_t>(n, 0, 255)); };
    return clamp((1904000 * Y + 2609823 * V - 363703744) / 1635200) << 16 |
           clamp((3827562 * Y - 1287801 * U - 2672387 * V + 447306710) / 3287200) << 8 |
           clamp((952000 * Y + 1649289 * U - 225932192) / 817600);
}

extern "C" void ConvertYuvFrame(const cxYuvFrameJob *job) {
    if (!SizeMatches(job) || job->srcWidth < 1 || job->srcHeight < 1) return;
    const int32_t w = job->srcWidth, h = job->srcHeight, cw = (w + 1) / 2;
    ChromaRow half, full;
    try {
        half.Resize(size_t(cw));
        full.Resize(size_t(cw) * 2);
    } catch (...) {
        return;
    }
    const size_t stride = size_t(job->dstRowLength) * size_t(job->bytesPerPixel);
    std::vector<int16_t> *from[7] = {&half.kR, &half.tR, &half.kB, &half.tB, &half.kG, &half.aG, &half.ybG};
    std::vector<int16_t> *to[7] = {&full.kR, &full.tR, &full.kB, &full.tB, &full.kG, &full.aG, &full.ybG};
    WithRowEmitter(job->dstFormat, [&](auto emit) {
        // Two luma rows share one chroma row: its terms are made once.
        for (int32_t y = 0; y < h; y += 2) {
            FillChromaRow(half, job->planes[1] + ptrdiff_t(y >> 1) * job->planeRowLength[1],
                          job->planes[2] + ptrdiff_t(y >> 1) * job->planeRowLength[2], cw);
            for (int k = 0; k < 7; ++k) Spread(from[k]->data(), to[k]->data(), cw);
            for (int32_t k = y; k < std::min(y + 2, h); ++k)
                emit(job->planes[0] + ptrdiff_t(k) * job->planeRowLength[0], full, w,
                     static_cast<uint8_t *>(job->dstPixels) + size_t(k) * stride);
        }
    });
}

extern "C" void ScaleYuvFrame(const cxYuvFrameJob *job) {
    if (!SizeMatches(job) || job->srcWidth < 1 || job->srcHeight < 1 || job->dstWidth < 1 || job->dstHeight < 1)
        return;
    const int32_t sw = job->srcWidth, sh = job->srcHeight, dw = job->dstWidth, dh = job->dstHeight;
    ChromaRow c;
    std::vector<int32_t> lcol, ccol;
    std::vector<uint8_t> luma;
    try {
        c.Resize(size_t(dw));
        lcol.resize(size_t(dw));
        ccol.resize(size_t(dw));
        luma.resize(size_t(dw));
    } catch (...) {
        return;
    }
    const uint32_t step = uint32_t(float(sw) / float(dw) * 65536.0f);
    for (int32_t i = 0; i < dw; ++i) {
        const uint64_t p = uint64_t(i) * step;
        lcol[size_t(i)] = int32_t(std::min<uint64_t>(p >> 16, uint64_t(sw - 1)));
        ccol[size_t(i)] = int32_t(std::min<uint64_t>(p >> 17, uint64_t((sw - 1) >> 1)));
    }
    const size_t stride = size_t(job->dstRowLength) * size_t(job->bytesPerPixel);
    const float fy = float(sh) / float(dh);
    WithRowEmitter(job->dstFormat, [&](auto emit) {
        float acc = 0.0f;
        int32_t chromaRow = -1;
        for (int32_t j = 0; j < dh; ++j, acc += fy) {
            // Rounding in the accumulator never reaches past the last row.
            const int32_t sy = std::min(int32_t(acc), sh - 1);
            if ((sy >> 1) != chromaRow) {
                chromaRow = sy >> 1;
                FillChromaColumns(c, job->planes[1] + ptrdiff_t(chromaRow) * job->planeRowLength[1],
                           job->planes[2] + ptrdiff_t(chromaRow) * job->planeRowLength[2], ccol.data(), dw);
            }
            const uint8_t *src = job->planes[0] + ptrdiff_t(sy) * job->planeRowLength[0];
            for (int32_t i = 0; i < dw; ++i) luma[size_t(i)] = src[lcol[size_t(i)]];
            emit(luma.data(), c, dw, static_cast<uint8_t *>(job->dstPixels) + size_t(j) * stride);
        }
    });
}

extern "C" int RunYuvFrameJob(const cxYuvFrameJob *job) {
    if (!job) return ERR_BADDIMENSIONS;
    if (!SizeMatches(job)) return ERR_PIXELFORMAT;
    const int32_t sw = job->srcWidth, sh = job->srcHeight, dw = job->dstWidth, dh = job->dstHeight;
    constexpr int32_t kMax = 0x8000;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || sw > kMax || sh > kMax || dw > kMax || dh > kMax)
        return ERR_BADDIMENSIONS;
    const int32_t cw = (sw + 1) / 2;
    if (!job->planes[0] || !job->planes[1] || !job->planes[2] || !job->dstPixels) return ERR_BADDIMENSIONS;
    if (job->planeRowLength[0] < sw || job->planeRowLength[1] < cw || job->planeRowLength[2] < cw ||
        job->dstRowLength < dw)
        return ERR_BADDIMENSIONS;
    if (int64_t(job->dstRowLength) * dh * job->bytesPerPixel > 0x7FFFFFFF) return ERR_BADDIMENSIONS;
    if (sw == dw && sh == dh) ConvertYuvFrame(job);
    else ScaleYuvFrame(job);
    return 0;
}
