#include "graphics/yuv/yuv_frame.h"

#include <algorithm>
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
// and for those truncation is the floor. A quotient that is not a whole
// number lies at least 1 / 3287200 from one, far more than the rounding
// error of the same sum taken in doubles (below 1e-12 for results up to
// 512), so adding 1e-9 before truncating gives exactly the integer results,
// whole quotients included, in a form that vectorises.
constexpr double kBias = 1e-9;
constexpr double kRY = 1904000.0 / 1635200.0, kRV = 2609823.0 / 1635200.0, kR0 = -363703744.0 / 1635200.0 + kBias;
constexpr double kGY = 3827562.0 / 3287200.0, kGU = -1287801.0 / 3287200.0, kGV = -2672387.0 / 3287200.0,
                 kG0 = 447306710.0 / 3287200.0 + kBias;
constexpr double kBY = 952000.0 / 817600.0, kBU = 1649289.0 / 817600.0, kB0 = -225932192.0 / 817600.0 + kBias;

inline int32_t Channel(double v) { return int32_t(std::min(std::max(v, 0.0), 255.0)); }

// Chroma terms of one destination row, one per destination pixel.
struct ChromaRow {
    std::vector<double> r, g, b;
    void Resize(size_t n) { r.resize(n), g.resize(n), b.resize(n); }
};

// Writes n pixels of a row from luma samples and per-pixel chroma terms.
template <int F>
void EmitRow(const uint8_t *luma, const ChromaRow &c, int32_t n, uint8_t *dst) {
    constexpr int B = kFormats[F].bytes;
    const double *cr = c.r.data(), *cg = c.g.data(), *cb = c.b.data();
    if constexpr (F == 10 || F == 13) {
        constexpr int rs = F == 10 ? 16 : 0, bs = F == 10 ? 0 : 16;
        uint32_t *out = reinterpret_cast<uint32_t *>(dst);
        for (int32_t x = 0; x < n; ++x) {
            const double y = luma[x];
            const uint32_t r = uint32_t(Channel(y * kRY + cr[x])), g = uint32_t(Channel(y * kGY + cg[x])),
                           b = uint32_t(Channel(y * kBY + cb[x]));
            out[x] = (r << rs) | (g << 8) | (b << bs);
        }
    } else {
        for (int32_t x = 0; x < n; ++x) {
            const double y = luma[x];
            const uint32_t r = uint32_t(Channel(y * kRY + cr[x])), g = uint32_t(Channel(y * kGY + cg[x])),
                           b = uint32_t(Channel(y * kBY + cb[x]));
            Store<F>(dst + ptrdiff_t(x) * B, FromARGB<F>((r << 16) | (g << 8) | b, false));
        }
    }
}

// Chroma terms for destination pixels whose chroma columns are col[i].
void FillChroma(ChromaRow &c, const uint8_t *u, const uint8_t *v, const int32_t *col, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const double U = u[col[i]], V = v[col[i]];
        c.r[size_t(i)] = V * kRV + kR0;
        c.g[size_t(i)] = U * kGU + V * kGV + kG0;
        c.b[size_t(i)] = U * kBU + kB0;
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
    const int32_t w = job->srcWidth, h = job->srcHeight;
    ChromaRow c;
    std::vector<int32_t> col;
    try {
        c.Resize(size_t(w));
        col.resize(size_t(w));
    } catch (...) {
        return;
    }
    for (int32_t x = 0; x < w; ++x) col[size_t(x)] = x >> 1;
    const size_t stride = size_t(job->dstRowLength) * size_t(job->bytesPerPixel);
    WithRowEmitter(job->dstFormat, [&](auto emit) {
        // Two luma rows share one chroma row: its terms are made once.
        for (int32_t y = 0; y < h; y += 2) {
            FillChroma(c, job->planes[1] + ptrdiff_t(y >> 1) * job->planeRowLength[1],
                       job->planes[2] + ptrdiff_t(y >> 1) * job->planeRowLength[2], col.data(), w);
            for (int32_t k = y; k < std::min(y + 2, h); ++k)
                emit(job->planes[0] + ptrdiff_t(k) * job->planeRowLength[0], c, w,
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
                FillChroma(c, job->planes[1] + ptrdiff_t(chromaRow) * job->planeRowLength[1],
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
