#include "graphics/effects/convolve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/pixels/pixel_format_table.h"

using namespace cx::pix;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kTooWide = CX_MAX_KERNEL_1D + 2;

// Width from a positive radius, or kTooWide when it is beyond every limit.
int32_t WidthFromRadius(double radius) {
    const double w = 2.0 * std::ceil(radius) + 1.0;
    return w <= CX_MAX_KERNEL_1D ? int32_t(w) : kTooWide;
}

// Rows of one buffer as 8-bit channel values: 3 per pixel for 2- and 3-byte
// pixels, 4 for 4-byte pixels (the alpha byte is carried through and put
// back unchanged), 1 for an alpha channel.
struct RowCodec {
    uint8_t *base;
    int32_t width, height;
    ptrdiff_t stride; // bytes
    uint32_t format;  // CX_PIXFMT_ALPHA for an alpha channel
    int32_t channels;
    int32_t alphaByte; // index of the byte kept in 4-byte pixels, or -1

    static RowCodec Colour(void *p, int32_t w, int32_t h, int32_t rl, uint32_t f) {
        const int32_t bpp = kFormats[f].bytes;
        int32_t keep = -1;
        if (bpp == 4) keep = kFormats[f].a.shift / 8; // little-endian words
        return {static_cast<uint8_t *>(p), w, h, ptrdiff_t(rl) * bpp, f, bpp == 4 ? 4 : 3, keep};
    }
    static RowCodec Alpha(uint8_t *p, int32_t w, int32_t h, int32_t rl) {
        return {p, w, h, rl, CX_PIXFMT_ALPHA, 1, -1};
    }
    uint8_t *Row(int32_t y) const { return base + ptrdiff_t(y) * stride; }

    // Row y as floats with pad copies of the edge pixels on each side.
    void LoadRow(int32_t y, int32_t pad, float *out) const {
        const uint8_t *r = Row(y);
        const int32_t c = channels;
        float *o = out + ptrdiff_t(pad) * c;
        if (format == CX_PIXFMT_ALPHA || kFormats[format].bytes != 2) {
            for (int32_t i = 0; i < width * c; ++i) o[i] = r[i];
        } else {
            WithFormat(format, [&](auto fc) {
                constexpr int F = decltype(fc)::value;
                if constexpr (kFormats[F].bytes == 2) {
                    for (int32_t x = 0; x < width; ++x) {
                        const RGB8 s = Split565(ToWork<F>(Load<F>(r + 2 * x)));
                        o[3 * x] = float(s.r), o[3 * x + 1] = float(s.g), o[3 * x + 2] = float(s.b);
                    }
                }
            });
        }
        for (int32_t p = 0; p < pad; ++p)
            for (int32_t k = 0; k < c; ++k) {
                out[p * c + k] = o[k];
                o[(width + p) * c + k] = o[(width - 1) * c + k];
            }
    }

    // Stores 8-bit channel values into row y (v is used as scratch).
    void StoreRow(int32_t y, uint8_t *v) const {
        uint8_t *r = Row(y);
        if (format == CX_PIXFMT_ALPHA || kFormats[format].bytes == 3) {
            std::memcpy(r, v, size_t(width) * channels);
        } else if (kFormats[format].bytes == 4) {
            for (int32_t x = 0; x < width; ++x) v[4 * x + alphaByte] = r[4 * x + alphaByte];
            std::memcpy(r, v, size_t(width) * 4);
        } else {
            WithFormat(format, [&](auto fc) {
                constexpr int F = decltype(fc)::value;
                if constexpr (kFormats[F].bytes == 2)
                    for (int32_t x = 0; x < width; ++x)
                        Store<F>(r + 2 * x, FromWork<F>(Join565(uint32_t{v[3 * x]}, uint32_t{v[3 * x + 1]}, uint32_t{v[3 * x + 2]})));
            });
        }
    }
};

// Blur weights as whole numbers summing to 65536: every sum of weights times
// 8-bit values is then an integer below 2^24, which single floats hold
// exactly, so the passes compute exact integer results at vector speed, and
// a single-colour image stays single-coloured. The kernel is symmetric; its
// halves are rounded alike and the centre takes what is left.
std::vector<float> QuantiseWeights(const std::vector<double> &k) {
    const int32_t n = int32_t(k.size()), c = n / 2;
    std::vector<float> out(size_t(n), 0.0f);
    int64_t side = 0;
    for (int32_t i = 0; i < c; ++i) {
        const int64_t q = int64_t(std::llround((k[size_t(i)] + k[size_t(n - 1 - i)]) * 0.5 * 65536.0));
        out[size_t(i)] = out[size_t(n - 1 - i)] = float(q);
        side += q;
    }
    out[size_t(c)] = float(65536 - 2 * side);
    return out;
}

// out[j] = floor(sum over taps t of w[t] * tap[t][j] / 65536) for j < n,
// with w symmetric (w[t] = w[kw - 1 - t]). Blocks of 16 keep their sums in
// registers across the taps.
void SymmetricRow(float *out, int32_t n, const float *w, int32_t kw, const float *const *tap) {
    constexpr int32_t kBlock = 16;
    constexpr float kScale = 1.0f / 65536.0f;
    const int32_t c = kw / 2;
    int32_t j0 = 0;
    for (; j0 + kBlock <= n; j0 += kBlock) {
        float acc[kBlock];
        const float wc = w[c];
        const float *mid = tap[c] + j0;
        for (int32_t j = 0; j < kBlock; ++j) acc[j] = wc * mid[j];
        for (int32_t t = 0; t < c; ++t) {
            const float wt = w[t];
            const float *a = tap[t] + j0, *b = tap[kw - 1 - t] + j0;
            for (int32_t j = 0; j < kBlock; ++j) acc[j] += wt * (a[j] + b[j]);
        }
        for (int32_t j = 0; j < kBlock; ++j) out[j0 + j] = float(int32_t(acc[j] * kScale));
    }
    for (int32_t j = j0; j < n; ++j) {
        float acc = w[c] * tap[c][j];
        for (int32_t t = 0; t < c; ++t) acc += w[t] * (tap[t][j] + tap[kw - 1 - t][j]);
        out[j] = float(int32_t(acc * kScale));
    }
}

// Separable blur of one buffer with integer weights summing to 65536.
int BlurBuffer(const RowCodec &rc, const std::vector<float> &w) {
    const int32_t kw = int32_t(w.size()), half = kw / 2, c = rc.channels, n = rc.width * c;
    std::vector<float> padded, ring, acc;
    std::vector<uint8_t> out;
    std::vector<const float *> taps;
    try {
        padded.resize(size_t(rc.width + 2 * half) * c);
        ring.resize(size_t(kw) * n);
        acc.resize(size_t(n));
        out.resize(size_t(n));
        taps.resize(size_t(kw));
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    // Horizontal pass of source row r into ring slot s (values 0..255).
    auto horizontal = [&](int32_t r, int32_t slot) {
        rc.LoadRow(r, half, padded.data());
        for (int32_t t = 0; t < kw; ++t) taps[size_t(t)] = padded.data() + ptrdiff_t(t) * c;
        SymmetricRow(ring.data() + size_t(slot) * n, n, w.data(), kw, taps.data());
    };
    // Virtual rows -half .. height - 1 + half map to clamped source rows;
    // virtual row v lives in slot (v + half) % kw. Each is loaded before the
    // output row it could be overwritten by.
    const int32_t h = rc.height;
    for (int32_t v = -half; v < half; ++v) horizontal(std::clamp(v, 0, h - 1), (v + half) % kw);
    for (int32_t y = 0; y < h; ++y) {
        horizontal(std::min(y + half, h - 1), (y + 2 * half) % kw);
        for (int32_t t = 0; t < kw; ++t) taps[size_t(t)] = ring.data() + size_t((y + t) % kw) * n;
        SymmetricRow(acc.data(), n, w.data(), kw, taps.data());
        for (int32_t j = 0; j < n; ++j) out[size_t(j)] = uint8_t(std::min(acc[size_t(j)], 255.0f));
        rc.StoreRow(y, out.data());
    }
    return 0;
}

// w x w kernel over a buffer, in double precision.
int Convolve2D(const RowCodec &rc, const std::vector<double> &k, int32_t kw) {
    const int32_t half = kw / 2, c = rc.channels, n = rc.width * c, pn = (rc.width + 2 * half) * c;
    std::vector<float> ring;
    std::vector<double> acc;
    std::vector<uint8_t> out;
    try {
        ring.resize(size_t(kw) * pn);
        acc.resize(size_t(n));
        out.resize(size_t(n));
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    const int32_t h = rc.height;
    auto load = [&](int32_t v) { rc.LoadRow(std::clamp(v, 0, h - 1), half, ring.data() + size_t((v + half) % kw) * pn); };
    for (int32_t v = -half; v < half; ++v) load(v);
    for (int32_t y = 0; y < h; ++y) {
        load(y + half);
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int32_t v = 0; v < kw; ++v) {
            const float *row = ring.data() + size_t((y + v) % kw) * pn;
            for (int32_t u = 0; u < kw; ++u) {
                const double kv = k[size_t(v) * kw + u];
                if (kv == 0.0) continue;
                const float *s = row + ptrdiff_t(u) * c;
                for (int32_t j = 0; j < n; ++j) acc[j] += kv * s[j];
            }
        }
        // A hair above the truncation point: sums that are whole numbers in
        // exact arithmetic stay whole after rounding errors.
        for (int32_t j = 0; j < n; ++j) out[j] = uint8_t(std::clamp(acc[j] + 1e-7, 0.0, 255.0));
        rc.StoreRow(y, out.data());
    }
    return 0;
}

double Gauss2D(double u, double v, double sigma) {
    const double s2 = std::fabs(sigma) <= 1e-10 ? 1.0 : sigma * sigma;
    return std::exp(-(u * u + v * v) / (2.0 * s2)) / (2.0 * kPi * s2);
}

} // namespace

extern "C" int32_t KernelWidth1D(double radius, double sigma) {
    if (!std::isfinite(radius) || !std::isfinite(sigma)) return kTooWide;
    if (radius > 0.0) return WidthFromRadius(radius);
    if (std::fabs(sigma) <= 1e-10) return 1;
    for (int32_t w = 5; w <= CX_MAX_KERNEL_1D + 2; w += 2) {
        double sum = 0.0;
        const int32_t half = w / 2;
        for (int32_t u = -half; u <= half; ++u) sum += std::exp(-(double(u) * u) / (2.0 * sigma * sigma));
        const double outer = std::exp(-(double(half) * half) / (2.0 * sigma * sigma)) / sum;
        if (int32_t(outer * 255.0) < 1) return w - 2;
    }
    return kTooWide;
}

extern "C" int32_t KernelWidth2D(double radius, double sigma) {
    if (!std::isfinite(radius) || !std::isfinite(sigma)) return kTooWide;
    if (radius > 0.0) return WidthFromRadius(radius);
    for (int32_t w = 5; w <= CX_MAX_KERNEL_2D + 2; w += 2) {
        const int32_t half = w / 2;
        double line = 0.0;
        for (int32_t u = -half; u <= half; ++u) line += Gauss2D(u, 0, sigma);
        // The 2-D sum is separable: (sum of the 1-D weights)^2 / g(0, 0).
        const double sum = line * line / Gauss2D(0, 0, sigma);
        if (Gauss2D(half, 0, sigma) / sum < 1.0 / 255.0) return w - 2;
    }
    return kTooWide;
}

extern "C" void ConvolvePixels(cxConvolveJob *job) {
    job->result = 0;
    const bool colourPixels = job->pixels != nullptr;
    if (job->width < 1 || job->height < 1 || (colourPixels && job->pixelFormat > 13)) return;
    const double radius = job->radius > 0.0 ? job->radius : 0.0;
    const double sigma = job->sigma;
    if (std::isnan(job->radius) || !std::isfinite(sigma)) {
        job->result = ERR_WRONGUSAGE;
        return;
    }
    const RowCodec colour = RowCodec::Colour(job->pixels, job->width, job->height, job->rowLength,
                                             colourPixels ? job->pixelFormat : CX_PIXFMT_DEFAULT);
    const bool alpha = job->alpha != nullptr;
    const RowCodec alphaRows = RowCodec::Alpha(job->alpha, job->width, job->height, job->alphaRowLength);

    if (job->kind == CX_CONVOLVE_BLUR) {
        if (std::fabs(sigma) <= 1e-10) return;
        const int32_t w = KernelWidth1D(radius, sigma);
        if (w > CX_MAX_KERNEL_1D) {
            job->result = ERR_WRONGUSAGE;
            return;
        }
        std::vector<double> k(size_t(w), 0.0);
        const int32_t bias = (3 * w) / 2;
        for (int32_t i = -bias; i <= bias; ++i)
            k[size_t((i + bias) / 3)] += std::exp(-(double(i) * i) / (18.0 * sigma * sigma)) / (sigma * 2.5066282746310002);
        double sum = 0.0;
        for (double v : k) sum += v;
        for (double &v : k) v /= sum;
        const std::vector<float> q = QuantiseWeights(k);
        if (int e = colourPixels ? BlurBuffer(colour, q) : 0) {
            job->result = e;
            return;
        }
        if (alpha) job->result = BlurBuffer(alphaRows, q);
        return;
    }

    int32_t w;
    if (job->kind == CX_CONVOLVE_EDGE) w = KernelWidth1D(radius, 0.5);
    else if (job->kind == CX_CONVOLVE_SHARPEN || job->kind == CX_CONVOLVE_EMBOSS) w = KernelWidth2D(radius, sigma);
    else return;
    if (w > CX_MAX_KERNEL_2D) {
        job->result = ERR_WRONGUSAGE;
        return;
    }
    if ((w & 1) == 0 || w > job->width || w > job->height) return;
    const int32_t half = w / 2;
    std::vector<double> k(size_t(w) * w, 0.0);
    if (job->kind == CX_CONVOLVE_EDGE) {
        std::fill(k.begin(), k.end(), -1.0);
        k[size_t(half) * w + half] = double(w) * w - 1.0;
    } else if (job->kind == CX_CONVOLVE_SHARPEN) {
        double sum = 0.0;
        for (int32_t v = -half; v <= half; ++v)
            for (int32_t u = -half; u <= half; ++u) sum += k[size_t(v + half) * w + u + half] = -Gauss2D(u, v, sigma);
        k[size_t(half) * w + half] = -2.0 * sum;
    } else {
        int32_t col = half;
        for (int32_t v = -half; v <= half; ++v, --col) {
            const int32_t u = col;
            k[size_t(v + half) * w + u + half] = (u < 0 || v < 0 ? -8.0 : 8.0) * Gauss2D(u, v, sigma);
        }
    }
    double sum = 0.0;
    for (double v : k) sum += v;
    const double norm = std::fabs(sum) <= 1e-10 ? 1.0 : 1.0 / sum;
    for (double &v : k) v *= norm;
    if (int e = colourPixels ? Convolve2D(colour, k, w) : 0) {
        job->result = e;
        return;
    }
    if (alpha) job->result = Convolve2D(alphaRows, k, w);
}
