#include "graphics/yuv/yuv_frame.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/pixels/pixel_format_table.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#endif

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
    // Red terms by V and blue terms by U as one word each for the vector
    // path: k + 1 in the low half (the comparison then subtracts), t in the
    // high half.
    uint32_t rWord[256], bWord[256];
    // The same four 16-bit terms (k + 1 and t of red by V, of blue by U) as
    // low and high bytes in tables of 256, for byte permutes.
    alignas(64) uint8_t rk[2][256], rt[2][256], bk[2][256], bt[2][256];
    Tables() {
        for (int c = 0; c < 256; ++c) {
            const int64_t nR = 2609823 * int64_t(c) - 363703744, kr = FloorDiv(nR, kDR), rr = nR - kr * kDR;
            kR[c] = int16_t(kr), tR[c] = int16_t((kDR - rr + 3199) / 3200);
            const int64_t nB = 1649289 * int64_t(c) - 225932192, kb = FloorDiv(nB, kDB), rb = nB - kb * kDB;
            kB[c] = int16_t(kb), tB[c] = int16_t((kDB - rb + 1599) / 1600);
            rWord[c] = uint32_t(uint16_t(kR[c] + 1)) | uint32_t(tR[c]) << 16;
            bWord[c] = uint32_t(uint16_t(kB[c] + 1)) | uint32_t(tB[c]) << 16;
            const uint16_t terms[4] = {uint16_t(kR[c] + 1), uint16_t(tR[c]), uint16_t(kB[c] + 1), uint16_t(tB[c])};
            uint8_t (*bytes[4])[256] = {rk, rt, bk, bt};
            for (int k = 0; k < 4; ++k) bytes[k][0][c] = uint8_t(terms[k]), bytes[k][1][c] = uint8_t(terms[k] >> 8);
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

#if defined(__SSE2__)
// Format 10 (0x00RRGGBB) at the same size, eight chroma samples (sixteen
// pixels of each of two rows) per turn. The chroma terms of a row pair are
// looked up once per sample and split into 16-bit lanes once; they serve
// the even and the odd pixels of both rows as they are, because splitting
// the luma into even and odd columns lines the pixels up with their chroma
// sample. Saturating packs do the clamping.
struct ChromaWords {
    std::vector<uint32_t> r, b, g;
};

struct ChromaLanes {
    __m128i kR1, tR, kB1, tB, kG, aG, ybG;
};

inline __m128i LowHalves(__m128i w0, __m128i w1) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(w0, 16), 16), _mm_srai_epi32(_mm_slli_epi32(w1, 16), 16));
}
inline __m128i HighHalves(__m128i w0, __m128i w1) {
    return _mm_packs_epi32(_mm_srai_epi32(w0, 16), _mm_srai_epi32(w1, 16));
}

// Eight samples' words from three arrays (red, blue, green).
inline ChromaLanes LoadChroma(const uint32_t *r, const uint32_t *b, const uint32_t *g) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r + 4));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 4));
    const __m128i g0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(g));
    const __m128i g1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(g + 4));
    const __m128i nine = _mm_set1_epi32(511), off = _mm_set1_epi32(256);
    ChromaLanes l;
    l.kR1 = LowHalves(r0, r1), l.tR = HighHalves(r0, r1);
    l.kB1 = LowHalves(b0, b1), l.tB = HighHalves(b0, b1);
    l.kG = _mm_packs_epi32(_mm_sub_epi32(_mm_and_si128(g0, nine), off), _mm_sub_epi32(_mm_and_si128(g1, nine), off));
    l.aG = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(g0, 9), nine), _mm_and_si128(_mm_srli_epi32(g1, 9), nine));
    l.ybG = _mm_packs_epi32(_mm_srli_epi32(g0, 18), _mm_srli_epi32(g1, 18));
    return l;
}

// floor(84 Y / 511) is (Y * 10774) >> 16 for every luma value: one high
// multiply in the vector loops.
constexpr int16_t kQuotient = 10774;

// Eight luma samples in 16-bit lanes to unclamped R, G, B (see the
// rearrangement above; a comparison is -1 where true).
inline void Channels(__m128i y, const ChromaLanes &c, __m128i &r, __m128i &g, __m128i &b) {
    const __m128i m = _mm_mullo_epi16(y, _mm_set1_epi16(84));
    const __m128i q = _mm_mulhi_epu16(y, _mm_set1_epi16(kQuotient));
    const __m128i e = _mm_sub_epi16(m, _mm_sub_epi16(_mm_slli_epi16(q, 9), q));
    const __m128i base = _mm_add_epi16(y, q);
    r = _mm_add_epi16(_mm_add_epi16(base, c.kR1), _mm_cmpgt_epi16(c.tR, e));
    b = _mm_add_epi16(_mm_add_epi16(base, c.kB1), _mm_cmpgt_epi16(c.tB, e));
    const __m128i up = _mm_or_si128(_mm_cmpgt_epi16(e, c.aG),
                                    _mm_andnot_si128(_mm_cmpgt_epi16(c.ybG, y), _mm_cmpeq_epi16(e, c.aG)));
    g = _mm_sub_epi16(_mm_add_epi16(base, c.kG), up);
}

inline void Emit16(const uint8_t *luma, const ChromaLanes &c, uint8_t *dst) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma));
    __m128i re, ge, be, ro, go, bo;
    Channels(_mm_and_si128(l, _mm_set1_epi16(0xFF)), c, re, ge, be);
    Channels(_mm_srli_epi16(l, 8), c, ro, go, bo);
    // Bytes: even pixels in the low half, odd ones in the high half.
    const __m128i R = _mm_packus_epi16(re, ro), G = _mm_packus_epi16(ge, go), B = _mm_packus_epi16(be, bo);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgEven = _mm_unpacklo_epi8(B, G), bgOdd = _mm_unpackhi_epi8(B, G);
    const __m128i r0Even = _mm_unpacklo_epi8(R, zero), r0Odd = _mm_unpackhi_epi8(R, zero);
    const __m128i e0 = _mm_unpacklo_epi16(bgEven, r0Even), e1 = _mm_unpackhi_epi16(bgEven, r0Even);
    const __m128i o0 = _mm_unpacklo_epi16(bgOdd, r0Odd), o1 = _mm_unpackhi_epi16(bgOdd, r0Odd);
    __m128i *out = reinterpret_cast<__m128i *>(dst);
    _mm_storeu_si128(out, _mm_unpacklo_epi32(e0, o0));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(e0, o0));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(e1, o1));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(e1, o1));
}

// False when the words cannot be allocated (nothing is written then).
bool ConvertFrame10(const cxYuvFrameJob *job) {
    const int32_t w = job->srcWidth, h = job->srcHeight, cw = (w + 1) / 2;
    const int32_t wide = w & ~15; // pixels done sixteen at a time
    ChromaWords c;
    try {
        c.r.resize(size_t(cw)), c.b.resize(size_t(cw)), c.g.resize(size_t(cw));
    } catch (...) {
        return false;
    }
    const Tables &t = GetTables();
    const size_t stride = size_t(job->dstRowLength) * 4;
    for (int32_t y = 0; y < h; y += 2) {
        const uint8_t *u = job->planes[1] + ptrdiff_t(y >> 1) * job->planeRowLength[1];
        const uint8_t *v = job->planes[2] + ptrdiff_t(y >> 1) * job->planeRowLength[2];
        for (int32_t i = 0; i < wide / 2; ++i) {
            const uint32_t U = u[i], V = v[i];
            c.r[size_t(i)] = t.rWord[V], c.b[size_t(i)] = t.bWord[U], c.g[size_t(i)] = t.g[(U << 8) | V];
        }
        const int32_t rows = std::min(2, h - y);
        const uint8_t *luma[2] = {job->planes[0] + ptrdiff_t(y) * job->planeRowLength[0],
                                  job->planes[0] + ptrdiff_t(y + rows - 1) * job->planeRowLength[0]};
        uint8_t *dst[2] = {static_cast<uint8_t *>(job->dstPixels) + size_t(y) * stride,
                           static_cast<uint8_t *>(job->dstPixels) + size_t(y + rows - 1) * stride};
        for (int32_t x = 0; x < wide; x += 16) {
            const size_t i = size_t(x / 2);
            const ChromaLanes l = LoadChroma(c.r.data() + i, c.b.data() + i, c.g.data() + i);
            Emit16(luma[0] + x, l, dst[0] + size_t(x) * 4);
            if (rows == 2) Emit16(luma[1] + x, l, dst[1] + size_t(x) * 4);
        }
        // The last few columns one by one.
        for (int32_t k = 0; k < rows; ++k)
            for (int32_t x = wide; x < w; ++x) {
                const uint32_t p = YuvToRGB(luma[k][x], u[x >> 1], v[x >> 1]);
                std::memcpy(dst[k] + size_t(x) * 4, &p, 4);
            }
    }
    return true;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define CX_YUV_AVX2 1
// The same with 256-bit vectors where the processor has them (chosen at run
// time; the build targets plain x86-64). The lanes of a 256-bit vector are
// two 128-bit halves that packs and unpacks never cross, so the chroma
// words of each sixteen samples are gathered with their middle quarters
// swapped: the packs then give samples 0-7 in the low half and 8-15 in the
// high half, beside luma columns 0-15 and 16-31. Gathering the table words
// straight into vectors costs less than storing them to a row and loading
// them again.
#define CX_AVX2 __attribute__((target("avx2")))
// The 256-bit helpers are internal and inlined: no call passes a vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// The compiler's own 512-bit intrinsics start from undefined vectors.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

struct ChromaLanes8 {
    __m256i kR1, tR, kB1, tB, kG, aG, ybG;
};

CX_AVX2 inline __m256i LowHalves8(__m256i w0, __m256i w1) {
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(w0, 16), 16),
                              _mm256_srai_epi32(_mm256_slli_epi32(w1, 16), 16));
}
CX_AVX2 inline __m256i HighHalves8(__m256i w0, __m256i w1) {
    return _mm256_packs_epi32(_mm256_srai_epi32(w0, 16), _mm256_srai_epi32(w1, 16));
}

CX_AVX2 inline void Channels8(__m256i y, const ChromaLanes8 &c, __m256i &r, __m256i &g, __m256i &b) {
    const __m256i m = _mm256_mullo_epi16(y, _mm256_set1_epi16(84));
    const __m256i q = _mm256_mulhi_epu16(y, _mm256_set1_epi16(kQuotient));
    const __m256i e = _mm256_sub_epi16(m, _mm256_sub_epi16(_mm256_slli_epi16(q, 9), q));
    const __m256i base = _mm256_add_epi16(y, q);
    r = _mm256_add_epi16(_mm256_add_epi16(base, c.kR1), _mm256_cmpgt_epi16(c.tR, e));
    b = _mm256_add_epi16(_mm256_add_epi16(base, c.kB1), _mm256_cmpgt_epi16(c.tB, e));
    const __m256i up = _mm256_or_si256(_mm256_cmpgt_epi16(e, c.aG),
                                       _mm256_andnot_si256(_mm256_cmpgt_epi16(c.ybG, y), _mm256_cmpeq_epi16(e, c.aG)));
    g = _mm256_sub_epi16(_mm256_add_epi16(base, c.kG), up);
}

CX_AVX2 inline void Emit32(const uint8_t *luma, const ChromaLanes8 &c, uint8_t *dst) {
    const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(luma));
    __m256i re, ge, be, ro, go, bo;
    Channels8(_mm256_and_si256(l, _mm256_set1_epi16(0xFF)), c, re, ge, be);
    Channels8(_mm256_srli_epi16(l, 8), c, ro, go, bo);
    const __m256i R = _mm256_packus_epi16(re, ro), G = _mm256_packus_epi16(ge, go), B = _mm256_packus_epi16(be, bo);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bgEven = _mm256_unpacklo_epi8(B, G), bgOdd = _mm256_unpackhi_epi8(B, G);
    const __m256i r0Even = _mm256_unpacklo_epi8(R, zero), r0Odd = _mm256_unpackhi_epi8(R, zero);
    const __m256i e0 = _mm256_unpacklo_epi16(bgEven, r0Even), e1 = _mm256_unpackhi_epi16(bgEven, r0Even);
    const __m256i o0 = _mm256_unpacklo_epi16(bgOdd, r0Odd), o1 = _mm256_unpackhi_epi16(bgOdd, r0Odd);
    // Pixels 0-3 | 16-19, 4-7 | 20-23, 8-11 | 24-27, 12-15 | 28-31.
    const __m256i p0 = _mm256_unpacklo_epi32(e0, o0), p1 = _mm256_unpackhi_epi32(e0, o0);
    const __m256i p2 = _mm256_unpacklo_epi32(e1, o1), p3 = _mm256_unpackhi_epi32(e1, o1);
    __m256i *out = reinterpret_cast<__m256i *>(dst);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(p0, p1, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
    _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
}

// The chroma lanes of sixteen samples, their bytes put in the swapped
// order first.
CX_AVX2 inline ChromaLanes8 GatherChroma8(const Tables &t, const uint8_t *u, const uint8_t *v) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15);
    const __m128i U = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(u)), order);
    const __m128i V = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(v)), order);
    const __m256i u0 = _mm256_cvtepu8_epi32(U), u1 = _mm256_cvtepu8_epi32(_mm_srli_si128(U, 8));
    const __m256i v0 = _mm256_cvtepu8_epi32(V), v1 = _mm256_cvtepu8_epi32(_mm_srli_si128(V, 8));
    const int *rw = reinterpret_cast<const int *>(t.rWord), *bw = reinterpret_cast<const int *>(t.bWord);
    const int *gw = reinterpret_cast<const int *>(t.g);
    const __m256i r0 = _mm256_i32gather_epi32(rw, v0, 4), r1 = _mm256_i32gather_epi32(rw, v1, 4);
    const __m256i b0 = _mm256_i32gather_epi32(bw, u0, 4), b1 = _mm256_i32gather_epi32(bw, u1, 4);
    const __m256i g0 = _mm256_i32gather_epi32(gw, _mm256_or_si256(_mm256_slli_epi32(u0, 8), v0), 4);
    const __m256i g1 = _mm256_i32gather_epi32(gw, _mm256_or_si256(_mm256_slli_epi32(u1, 8), v1), 4);
    const __m256i nine = _mm256_set1_epi32(511), off = _mm256_set1_epi32(256);
    ChromaLanes8 l;
    l.kR1 = LowHalves8(r0, r1), l.tR = HighHalves8(r0, r1);
    l.kB1 = LowHalves8(b0, b1), l.tB = HighHalves8(b0, b1);
    l.kG = _mm256_packs_epi32(_mm256_sub_epi32(_mm256_and_si256(g0, nine), off),
                              _mm256_sub_epi32(_mm256_and_si256(g1, nine), off));
    l.aG = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(g0, 9), nine),
                              _mm256_and_si256(_mm256_srli_epi32(g1, 9), nine));
    l.ybG = _mm256_packs_epi32(_mm256_srli_epi32(g0, 18), _mm256_srli_epi32(g1, 18));
    return l;
}

// One pair of rows (or the last single row) from column x on: 32 pixels a
// turn, then a sixteen in 128-bit vectors, then pixel by pixel.
struct RowPair {
    const uint8_t *u, *v, *luma[2];
    uint8_t *dst[2];
    int32_t rows;
};

CX_AVX2 void RowPairAvx2(const Tables &t, const RowPair &p, int32_t x, int32_t w) {
    for (; x + 32 <= w; x += 32) {
        const ChromaLanes8 l = GatherChroma8(t, p.u + x / 2, p.v + x / 2);
        Emit32(p.luma[0] + x, l, p.dst[0] + size_t(x) * 4);
        if (p.rows == 2) Emit32(p.luma[1] + x, l, p.dst[1] + size_t(x) * 4);
    }
    if (x + 16 <= w) {
        uint32_t r[8], b[8], g[8];
        for (int32_t i = 0; i < 8; ++i) {
            const uint32_t U = p.u[x / 2 + i], V = p.v[x / 2 + i];
            r[i] = t.rWord[V], b[i] = t.bWord[U], g[i] = t.g[(U << 8) | V];
        }
        const ChromaLanes l = LoadChroma(r, b, g);
        for (int32_t k = 0; k < p.rows; ++k) Emit16(p.luma[k] + x, l, p.dst[k] + size_t(x) * 4);
        x += 16;
    }
    for (int32_t k = 0; k < p.rows; ++k)
        for (int32_t c = x; c < w; ++c) {
            const uint32_t px = YuvToRGB(p.luma[k][c], p.u[c >> 1], p.v[c >> 1]);
            std::memcpy(p.dst[k] + size_t(c) * 4, &px, 4);
        }
}

inline RowPair RowPairAt(const cxYuvFrameJob *job, int32_t y) {
    const size_t stride = size_t(job->dstRowLength) * 4;
    const int32_t rows = std::min(2, job->srcHeight - y);
    RowPair p;
    p.u = job->planes[1] + ptrdiff_t(y >> 1) * job->planeRowLength[1];
    p.v = job->planes[2] + ptrdiff_t(y >> 1) * job->planeRowLength[2];
    for (int k = 0; k < 2; ++k) {
        const int32_t row = y + std::min(k, rows - 1);
        p.luma[k] = job->planes[0] + ptrdiff_t(row) * job->planeRowLength[0];
        p.dst[k] = static_cast<uint8_t *>(job->dstPixels) + size_t(row) * stride;
    }
    p.rows = rows;
    return p;
}

CX_AVX2 void ConvertFrame10Avx2(const cxYuvFrameJob *job) {
    const Tables &t = GetTables();
    for (int32_t y = 0; y < job->srcHeight; y += 2) RowPairAvx2(t, RowPairAt(job, y), 0, job->srcWidth);
}

// 512-bit vectors where the processor has them: 64 pixels of each row a
// turn. A 512-bit vector is four 128-bit lanes; the samples' indices are
// ordered so that the packs give each lane its eight samples, and the
// finished pixels are put back in order by a 4 x 4 transpose of lanes.
#define CX_AVX512 __attribute__((target("avx512f,avx512bw,avx2")))

struct ChromaLanes16 {
    __m512i kR1, tR, kB1, tB, kG, aG, ybG;
};

CX_AVX512 inline __m512i LowHalves16(__m512i w0, __m512i w1) {
    return _mm512_packs_epi32(_mm512_srai_epi32(_mm512_slli_epi32(w0, 16), 16),
                              _mm512_srai_epi32(_mm512_slli_epi32(w1, 16), 16));
}
CX_AVX512 inline __m512i HighHalves16(__m512i w0, __m512i w1) {
    return _mm512_packs_epi32(_mm512_srai_epi32(w0, 16), _mm512_srai_epi32(w1, 16));
}

// Thirty-two samples' bytes as two vectors of indices: samples 0-3, 8-11,
// 16-19, 24-27 and samples 4-7, 12-15, 20-23, 28-31.
CX_AVX512 inline void SampleIndices(const uint8_t *s, __m512i &i0, __m512i &i1) {
    const __m256i order = _mm256_setr_epi8(0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15, 0, 1, 2, 3, 8, 9,
                                           10, 11, 4, 5, 6, 7, 12, 13, 14, 15);
    const __m256i b = _mm256_permute4x64_epi64(
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(s)), order), 0xD8);
    i0 = _mm512_cvtepu8_epi32(_mm256_castsi256_si128(b));
    i1 = _mm512_cvtepu8_epi32(_mm256_extracti128_si256(b, 1));
}

CX_AVX512 inline ChromaLanes16 GatherChroma16(const Tables &t, const uint8_t *u, const uint8_t *v) {
    __m512i u0, u1, v0, v1;
    SampleIndices(u, u0, u1);
    SampleIndices(v, v0, v1);
    const __m512i r0 = _mm512_i32gather_epi32(v0, t.rWord, 4), r1 = _mm512_i32gather_epi32(v1, t.rWord, 4);
    const __m512i b0 = _mm512_i32gather_epi32(u0, t.bWord, 4), b1 = _mm512_i32gather_epi32(u1, t.bWord, 4);
    const __m512i g0 = _mm512_i32gather_epi32(_mm512_or_si512(_mm512_slli_epi32(u0, 8), v0), t.g, 4);
    const __m512i g1 = _mm512_i32gather_epi32(_mm512_or_si512(_mm512_slli_epi32(u1, 8), v1), t.g, 4);
    const __m512i nine = _mm512_set1_epi32(511), off = _mm512_set1_epi32(256);
    ChromaLanes16 l;
    l.kR1 = LowHalves16(r0, r1), l.tR = HighHalves16(r0, r1);
    l.kB1 = LowHalves16(b0, b1), l.tB = HighHalves16(b0, b1);
    l.kG = _mm512_packs_epi32(_mm512_sub_epi32(_mm512_and_si512(g0, nine), off),
                              _mm512_sub_epi32(_mm512_and_si512(g1, nine), off));
    l.aG = _mm512_packs_epi32(_mm512_and_si512(_mm512_srli_epi32(g0, 9), nine),
                              _mm512_and_si512(_mm512_srli_epi32(g1, 9), nine));
    l.ybG = _mm512_packs_epi32(_mm512_srli_epi32(g0, 18), _mm512_srli_epi32(g1, 18));
    return l;
}

CX_AVX512 inline void Channels16(__m512i y, const ChromaLanes16 &c, __m512i &r, __m512i &g, __m512i &b) {
    const __m512i m = _mm512_mullo_epi16(y, _mm512_set1_epi16(84));
    const __m512i q = _mm512_mulhi_epu16(y, _mm512_set1_epi16(kQuotient));
    const __m512i e = _mm512_sub_epi16(m, _mm512_sub_epi16(_mm512_slli_epi16(q, 9), q));
    const __m512i base = _mm512_add_epi16(y, q), one = _mm512_set1_epi16(1);
    const __m512i r1 = _mm512_add_epi16(base, c.kR1), b1 = _mm512_add_epi16(base, c.kB1);
    r = _mm512_mask_sub_epi16(r1, _mm512_cmpgt_epi16_mask(c.tR, e), r1, one);
    b = _mm512_mask_sub_epi16(b1, _mm512_cmpgt_epi16_mask(c.tB, e), b1, one);
    const __mmask32 up = _mm512_cmpgt_epi16_mask(e, c.aG) |
                         (_mm512_cmpeq_epi16_mask(e, c.aG) & ~_mm512_cmpgt_epi16_mask(c.ybG, y));
    const __m512i g0 = _mm512_add_epi16(base, c.kG);
    g = _mm512_mask_add_epi16(g0, up, g0, one);
}

CX_AVX512 inline void Emit64(const uint8_t *luma, const ChromaLanes16 &c, uint8_t *dst) {
    const __m512i l = _mm512_loadu_si512(luma);
    __m512i re, ge, be, ro, go, bo;
    Channels16(_mm512_and_si512(l, _mm512_set1_epi16(0xFF)), c, re, ge, be);
    Channels16(_mm512_srli_epi16(l, 8), c, ro, go, bo);
    const __m512i R = _mm512_packus_epi16(re, ro), G = _mm512_packus_epi16(ge, go), B = _mm512_packus_epi16(be, bo);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i bgEven = _mm512_unpacklo_epi8(B, G), bgOdd = _mm512_unpackhi_epi8(B, G);
    const __m512i r0Even = _mm512_unpacklo_epi8(R, zero), r0Odd = _mm512_unpackhi_epi8(R, zero);
    const __m512i e0 = _mm512_unpacklo_epi16(bgEven, r0Even), e1 = _mm512_unpackhi_epi16(bgEven, r0Even);
    const __m512i o0 = _mm512_unpacklo_epi16(bgOdd, r0Odd), o1 = _mm512_unpackhi_epi16(bgOdd, r0Odd);
    // Lane k of p0..p3: pixels 16k + 0-3, 4-7, 8-11, 12-15.
    const __m512i p0 = _mm512_unpacklo_epi32(e0, o0), p1 = _mm512_unpackhi_epi32(e0, o0);
    const __m512i p2 = _mm512_unpacklo_epi32(e1, o1), p3 = _mm512_unpackhi_epi32(e1, o1);
    const __m512i t0 = _mm512_shuffle_i32x4(p0, p1, 0x44), t1 = _mm512_shuffle_i32x4(p2, p3, 0x44);
    const __m512i t2 = _mm512_shuffle_i32x4(p0, p1, 0xEE), t3 = _mm512_shuffle_i32x4(p2, p3, 0xEE);
    _mm512_storeu_si512(dst, _mm512_shuffle_i32x4(t0, t1, 0x88));
    _mm512_storeu_si512(dst + 64, _mm512_shuffle_i32x4(t0, t1, 0xDD));
    _mm512_storeu_si512(dst + 128, _mm512_shuffle_i32x4(t2, t3, 0x88));
    _mm512_storeu_si512(dst + 192, _mm512_shuffle_i32x4(t2, t3, 0xDD));
}

CX_AVX512 inline void Block64(const Tables &t, const RowPair &p, int32_t x) {
    const ChromaLanes16 l = GatherChroma16(t, p.u + x / 2, p.v + x / 2);
    Emit64(p.luma[0] + x, l, p.dst[0] + size_t(x) * 4);
    if (p.rows == 2) Emit64(p.luma[1] + x, l, p.dst[1] + size_t(x) * 4);
}

CX_AVX512 void ConvertFrame10Avx512(const cxYuvFrameJob *job) {
    const Tables &t = GetTables();
    const int32_t w = job->srcWidth;
    for (int32_t y = 0; y < job->srcHeight; y += 2) {
        const RowPair p = RowPairAt(job, y);
        int32_t x = 0;
        for (; x + 64 <= w; x += 64) Block64(t, p, x);
        RowPairAvx2(t, p, x, w);
    }
}

// With byte permutes (VBMI) the red and blue terms of 64 samples come from
// their tables of 256 bytes held in registers, two permutes and a blend per
// byte, instead of from gathers, which cost most of the time; only the
// green terms (a table of 65536) are still gathered.
#define CX_AVX512V __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2")))

CX_AVX512V inline __m512i Lookup256(const uint8_t *table, __m512i index, __mmask64 high) {
    const __m512i t0 = _mm512_load_si512(table), t1 = _mm512_load_si512(table + 64);
    const __m512i t2 = _mm512_load_si512(table + 128), t3 = _mm512_load_si512(table + 192);
    return _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(t0, index, t1), _mm512_permutex2var_epi8(t2, index, t3));
}

// The green lanes of 32 samples.
CX_AVX512V inline void GatherGreen16(const Tables &t, const uint8_t *u, const uint8_t *v, ChromaLanes16 &l) {
    __m512i u0, u1, v0, v1;
    SampleIndices(u, u0, u1);
    SampleIndices(v, v0, v1);
    const __m512i g0 = _mm512_i32gather_epi32(_mm512_or_si512(_mm512_slli_epi32(u0, 8), v0), t.g, 4);
    const __m512i g1 = _mm512_i32gather_epi32(_mm512_or_si512(_mm512_slli_epi32(u1, 8), v1), t.g, 4);
    const __m512i nine = _mm512_set1_epi32(511), off = _mm512_set1_epi32(256);
    l.kG = _mm512_packs_epi32(_mm512_sub_epi32(_mm512_and_si512(g0, nine), off),
                              _mm512_sub_epi32(_mm512_and_si512(g1, nine), off));
    l.aG = _mm512_packs_epi32(_mm512_and_si512(_mm512_srli_epi32(g0, 9), nine),
                              _mm512_and_si512(_mm512_srli_epi32(g1, 9), nine));
    l.ybG = _mm512_packs_epi32(_mm512_srli_epi32(g0, 18), _mm512_srli_epi32(g1, 18));
}

// 128 pixels of each row: two sets of lanes for 32 samples each. The 64
// sample bytes are put in the order in which byte unpacks of the looked-up
// low and high bytes give samples 0-31 (low unpacks) and 32-63 (high
// unpacks) as words in order.
CX_AVX512V inline void Block128(const Tables &t, const RowPair &p, int32_t x) {
    alignas(64) static constexpr uint8_t kOrder[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  32, 33, 34, 35, 36, 37, 38, 39, 8,  9,  10, 11, 12, 13,
        14, 15, 40, 41, 42, 43, 44, 45, 46, 47, 16, 17, 18, 19, 20, 21, 22, 23, 48, 49, 50, 51,
        52, 53, 54, 55, 24, 25, 26, 27, 28, 29, 30, 31, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i order = _mm512_load_si512(kOrder);
    const __m512i U = _mm512_permutexvar_epi8(order, _mm512_loadu_si512(p.u + x / 2));
    const __m512i V = _mm512_permutexvar_epi8(order, _mm512_loadu_si512(p.v + x / 2));
    const __mmask64 uHigh = _mm512_movepi8_mask(U), vHigh = _mm512_movepi8_mask(V);
    const __m512i rkL = Lookup256(t.rk[0], V, vHigh), rkH = Lookup256(t.rk[1], V, vHigh);
    const __m512i rtL = Lookup256(t.rt[0], V, vHigh), rtH = Lookup256(t.rt[1], V, vHigh);
    const __m512i bkL = Lookup256(t.bk[0], U, uHigh), bkH = Lookup256(t.bk[1], U, uHigh);
    const __m512i btL = Lookup256(t.bt[0], U, uHigh), btH = Lookup256(t.bt[1], U, uHigh);
    ChromaLanes16 l;
    l.kR1 = _mm512_unpacklo_epi8(rkL, rkH), l.tR = _mm512_unpacklo_epi8(rtL, rtH);
    l.kB1 = _mm512_unpacklo_epi8(bkL, bkH), l.tB = _mm512_unpacklo_epi8(btL, btH);
    GatherGreen16(t, p.u + x / 2, p.v + x / 2, l);
    Emit64(p.luma[0] + x, l, p.dst[0] + size_t(x) * 4);
    if (p.rows == 2) Emit64(p.luma[1] + x, l, p.dst[1] + size_t(x) * 4);
    l.kR1 = _mm512_unpackhi_epi8(rkL, rkH), l.tR = _mm512_unpackhi_epi8(rtL, rtH);
    l.kB1 = _mm512_unpackhi_epi8(bkL, bkH), l.tB = _mm512_unpackhi_epi8(btL, btH);
    GatherGreen16(t, p.u + x / 2 + 32, p.v + x / 2 + 32, l);
    Emit64(p.luma[0] + x + 64, l, p.dst[0] + size_t(x + 64) * 4);
    if (p.rows == 2) Emit64(p.luma[1] + x + 64, l, p.dst[1] + size_t(x + 64) * 4);
}

CX_AVX512V void ConvertFrame10Vbmi(const cxYuvFrameJob *job) {
    const Tables &t = GetTables();
    const int32_t w = job->srcWidth;
    for (int32_t y = 0; y < job->srcHeight; y += 2) {
        const RowPair p = RowPairAt(job, y);
        int32_t x = 0;
        for (; x + 128 <= w; x += 128) Block128(t, p, x);
        if (x + 64 <= w) Block64(t, p, x), x += 64;
        RowPairAvx2(t, p, x, w);
    }
}
#undef CX_AVX512V
#undef CX_AVX512
#undef CX_AVX2
#pragma GCC diagnostic pop
#endif
#endif

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
#if defined(__SSE2__)
    if (job->dstFormat == 10 && std::endian::native == std::endian::little) {
#if defined(CX_YUV_AVX2)
        static const int level = !__builtin_cpu_supports("avx512bw") ? __builtin_cpu_supports("avx2") ? 1 : 0
                                 : __builtin_cpu_supports("avx512vbmi")  ? 3
                                                                         : 2;
        if (level == 3) return ConvertFrame10Vbmi(job);
        if (level == 2) return ConvertFrame10Avx512(job);
        if (level == 1) return ConvertFrame10Avx2(job);
#endif
        ConvertFrame10(job);
        return;
    }
#endif
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
