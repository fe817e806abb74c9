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
    Tables() {
        for (int c = 0; c < 256; ++c) {
            const int64_t nR = 2609823 * int64_t(c) - 363703744, kr = FloorDiv(nR, kDR), rr = nR - kr * kDR;
            kR[c] = int16_t(kr), tR[c] = int16_t((kDR - rr + 3199) / 3200);
            const int64_t nB = 1649289 * int64_t(c) - 225932192, kb = FloorDiv(nB, kDB), rb = nB - kb * kDB;
            kB[c] = int16_t(kb), tB[c] = int16_t((kDB - rb + 1599) / 1600);
            rWord[c] = uint32_t(uint16_t(kR[c] + 1)) | uint32_t(tR[c]) << 16;
            bWord[c] = uint32_t(uint16_t(kB[c] + 1)) | uint32_t(tB[c]) << 16;
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

inline ChromaLanes LoadChroma(const ChromaWords &c, size_t i) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.r.data() + i));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.r.data() + i + 4));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.b.data() + i));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.b.data() + i + 4));
    const __m128i g0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.g.data() + i));
    const __m128i g1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.g.data() + i + 4));
    const __m128i nine = _mm_set1_epi32(511), off = _mm_set1_epi32(256);
    ChromaLanes l;
    l.kR1 = LowHalves(r0, r1), l.tR = HighHalves(r0, r1);
    l.kB1 = LowHalves(b0, b1), l.tB = HighHalves(b0, b1);
    l.kG = _mm_packs_epi32(_mm_sub_epi32(_mm_and_si128(g0, nine), off), _mm_sub_epi32(_mm_and_si128(g1, nine), off));
    l.aG = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(g0, 9), nine), _mm_and_si128(_mm_srli_epi32(g1, 9), nine));
    l.ybG = _mm_packs_epi32(_mm_srli_epi32(g0, 18), _mm_srli_epi32(g1, 18));
    return l;
}

// Eight luma samples in 16-bit lanes to unclamped R, G, B (see the
// rearrangement above; a comparison is -1 where true).
inline void Channels(__m128i y, const ChromaLanes &c, __m128i &r, __m128i &g, __m128i &b) {
    const __m128i m = _mm_mullo_epi16(y, _mm_set1_epi16(84));
    const __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(m, _mm_srli_epi16(m, 9)), _mm_set1_epi16(1)), 9);
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
            const ChromaLanes l = LoadChroma(c, size_t(x / 2));
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
// words of each sixteen samples are stored with their middle quarters
// swapped: the packs then give samples 0-7 in the low half and 8-15 in the
// high half, beside luma columns 0-15 and 16-31.
#define CX_AVX2 __attribute__((target("avx2")))
// The 256-bit helpers are internal and inlined: no call passes a vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

inline size_t SwappedSlot(size_t i) { return (i & ~size_t(15)) | (i & 3) | ((i & 4) << 1) | ((i & 8) >> 1); }

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

CX_AVX2 inline ChromaLanes8 LoadChroma8(const ChromaWords &c, size_t i) {
#define CX_AT(v, k) _mm256_loadu_si256(reinterpret_cast<const __m256i *>((v).data() + (k)))
    const __m256i r0 = CX_AT(c.r, i), r1 = CX_AT(c.r, i + 8), b0 = CX_AT(c.b, i), b1 = CX_AT(c.b, i + 8);
    const __m256i g0 = CX_AT(c.g, i), g1 = CX_AT(c.g, i + 8);
#undef CX_AT
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

CX_AVX2 inline void Channels8(__m256i y, const ChromaLanes8 &c, __m256i &r, __m256i &g, __m256i &b) {
    const __m256i m = _mm256_mullo_epi16(y, _mm256_set1_epi16(84));
    const __m256i q =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(m, _mm256_srli_epi16(m, 9)), _mm256_set1_epi16(1)), 9);
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

CX_AVX2 bool ConvertFrame10Avx2(const cxYuvFrameJob *job) {
    const int32_t w = job->srcWidth, h = job->srcHeight;
    const int32_t wide = w & ~31, mid = w & ~15; // a last sixteen in 128-bit vectors
    ChromaWords c;
    try {
        c.r.resize(size_t(mid / 2)), c.b.resize(size_t(mid / 2)), c.g.resize(size_t(mid / 2));
    } catch (...) {
        return false;
    }
    const Tables &t = GetTables();
    const size_t stride = size_t(job->dstRowLength) * 4;
    for (int32_t y = 0; y < h; y += 2) {
        const uint8_t *u = job->planes[1] + ptrdiff_t(y >> 1) * job->planeRowLength[1];
        const uint8_t *v = job->planes[2] + ptrdiff_t(y >> 1) * job->planeRowLength[2];
        for (int32_t i = 0; i < mid / 2; ++i) {
            const uint32_t U = u[i], V = v[i];
            const size_t k = i < wide / 2 ? SwappedSlot(size_t(i)) : size_t(i);
            c.r[k] = t.rWord[V], c.b[k] = t.bWord[U], c.g[k] = t.g[(U << 8) | V];
        }
        const int32_t rows = std::min(2, h - y);
        const uint8_t *luma[2] = {job->planes[0] + ptrdiff_t(y) * job->planeRowLength[0],
                                  job->planes[0] + ptrdiff_t(y + rows - 1) * job->planeRowLength[0]};
        uint8_t *dst[2] = {static_cast<uint8_t *>(job->dstPixels) + size_t(y) * stride,
                           static_cast<uint8_t *>(job->dstPixels) + size_t(y + rows - 1) * stride};
        for (int32_t x = 0; x < wide; x += 32) {
            const ChromaLanes8 l = LoadChroma8(c, size_t(x / 2));
            Emit32(luma[0] + x, l, dst[0] + size_t(x) * 4);
            if (rows == 2) Emit32(luma[1] + x, l, dst[1] + size_t(x) * 4);
        }
        if (mid > wide) {
            const ChromaLanes l = LoadChroma(c, size_t(wide / 2));
            for (int32_t k = 0; k < rows; ++k) Emit16(luma[k] + wide, l, dst[k] + size_t(wide) * 4);
        }
        for (int32_t k = 0; k < rows; ++k)
            for (int32_t x = mid; x < w; ++x) {
                const uint32_t p = YuvToRGB(luma[k][x], u[x >> 1], v[x >> 1]);
                std::memcpy(dst[k] + size_t(x) * 4, &p, 4);
            }
    }
    return true;
}
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
        static const bool avx2 = __builtin_cpu_supports("avx2");
        if (avx2 && ConvertFrame10Avx2(job)) return;
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
