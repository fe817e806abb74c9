// Nearest and bilinear resampling of pixels, masks and alpha channels.
//
// Positions come from exact integer arithmetic: nearest takes source column
// floor(i * srcWidth / dstWidth), smooth places destination column i at
// i * (srcWidth - 1) / (dstWidth - 1) in 16.16. A stepped float or truncated
// 16.16 increment drifts (a 3x upscale would repeat the first column four
// times) and would leave smooth scaling's last column short of the source's
// last column; exact positions keep the corners and agree with other
// libraries at integer ratios.
#include "graphics/scale/scaler.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/kernels/kernel_support.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define CX_SCALE_AVX2 1
#endif

using namespace cx::kern;

namespace {

thread_local std::vector<uint32_t> t_xTable, t_yTable;

#if defined(CX_SCALE_AVX2)
// 256-bit vectors are chosen at run time; the build targets plain x86-64.
bool HaveAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif


void NearestTable(uint32_t *t, int32_t dst, int32_t src) {
    for (int32_t i = 0; i < dst; ++i) t[i] = uint32_t((uint64_t(i) * uint64_t(src)) / uint64_t(dst));
}

// 16.16 positions from 0 to (src - 1) << 16 inclusive; a single destination
// column samples position 0. The fractions are kept even (15 bits of
// precision, far below what shows): the interpolation then runs in 16-bit
// lanes with exactly the result the 16.16 formula gives.
void SmoothTable(uint32_t *t, int32_t dst, int32_t src) {
    if (dst == 1) {
        t[0] = 0;
        return;
    }
    const uint64_t span = uint64_t(src - 1) << 15;
    for (int32_t i = 0; i < dst; ++i) t[i] = uint32_t((uint64_t(i) * span) / uint64_t(dst - 1)) << 1;
}

void NearestMask(const cxScaleJob *j) {
    const int32_t fullBytes = j->dstWidth / 8;
    for (int32_t y = 0; y < j->dstHeight; ++y) {
        uint8_t *d = j->dstMask + ptrdiff_t(y) * j->dstMaskRowLength;
        if (y > 0 && j->yTable[y] == j->yTable[y - 1]) {
            // Upscaled rows repeat: copy the row just made.
            std::memcpy(d, d - j->dstMaskRowLength, size_t(fullBytes));
            for (int32_t x = fullBytes * 8; x < j->dstWidth; ++x) SetMaskBit(d, x, MaskBit(d - j->dstMaskRowLength, x));
            continue;
        }
        const uint8_t *s = j->srcMask + ptrdiff_t(j->yTable[y]) * j->srcMaskRowLength;
        const uint32_t *xt = j->xTable;
        const int32_t off = j->srcMaskBitOffset;
        // Eight destination bits at a time.
        for (int32_t b = 0; b < fullBytes; ++b) {
            uint32_t v = 0;
            for (int32_t k = 0; k < 8; ++k) {
                const int32_t sx = off + int32_t(xt[b * 8 + k]);
                v = (v << 1) | ((s[sx >> 3] >> (7 - (sx & 7))) & 1u);
            }
            d[b] = uint8_t(v);
        }
        for (int32_t x = fullBytes * 8; x < j->dstWidth; ++x) SetMaskBit(d, x, MaskBit(s, off + int32_t(xt[x])));
    }
}

void NearestAlpha(const cxScaleJob *j) {
    for (int32_t y = 0; y < j->dstHeight; ++y) {
        uint8_t *d = j->dstAlpha + ptrdiff_t(y) * j->dstAlphaRowLength;
        if (y > 0 && j->yTable[y] == j->yTable[y - 1]) {
            std::memcpy(d, d - j->dstAlphaRowLength, size_t(j->dstWidth));
            continue;
        }
        const uint8_t *s = j->srcAlpha + ptrdiff_t(j->yTable[y]) * j->srcAlphaRowLength;
        for (int32_t x = 0; x < j->dstWidth; ++x) d[x] = s[j->xTable[x]];
    }
}

template <int F>
void NearestPixels(const cxScaleJob *j) {
    constexpr int B = kBytes<F>;
    const size_t rowBytes = size_t(j->dstWidth) * B;
    for (int32_t y = 0; y < j->dstHeight; ++y) {
        uint8_t *d = At(j->dstPixels, 0, y, j->dstRowLength, B);
        if (y > 0 && j->yTable[y] == j->yTable[y - 1]) {
            // Upscaled rows repeat: copy the row just made.
            std::memcpy(d, d - ptrdiff_t(j->dstRowLength) * B, rowBytes);
            continue;
        }
        const uint8_t *s = At(j->srcPixels, 0, int32_t(j->yTable[y]), j->srcRowLength, B);
        const uint32_t *xt = j->xTable;
        if constexpr (B == 4) {
            const uint32_t *s4 = reinterpret_cast<const uint32_t *>(s);
            uint32_t *d4 = reinterpret_cast<uint32_t *>(d);
            for (int32_t x = 0; x < j->dstWidth; ++x) d4[x] = s4[xt[x]];
        } else if constexpr (B == 2) {
            const uint16_t *s2 = reinterpret_cast<const uint16_t *>(s);
            uint16_t *d2 = reinterpret_cast<uint16_t *>(d);
            for (int32_t x = 0; x < j->dstWidth; ++x) d2[x] = s2[xt[x]];
        } else {
            for (int32_t x = 0; x < j->dstWidth; ++x) std::memcpy(d + 3 * x, s + 3 * size_t(xt[x]), 3);
        }
    }
}

// Nearest scaling of the pixels, alpha channel and mask together: one pass
// over the column table per source row writes all three. The mask row is
// first spread to one byte (0 or 1) per column, so that its columns are
// picked like the alpha bytes and packed again eight at a time.
struct BitBytes {
    uint64_t v[256];
    BitBytes() {
        for (int b = 0; b < 256; ++b) {
            uint8_t bytes[8];
            for (int k = 0; k < 8; ++k) bytes[k] = uint8_t((b >> (7 - k)) & 1);
            std::memcpy(&v[b], bytes, 8);
        }
    }
};

const BitBytes &GetBitBytes() {
    static const BitBytes table;
    return table;
}

// Eight bytes of 0 or 1 as one mask byte, the first in the top bit.
inline uint8_t PackBits(const uint8_t *b) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t x;
        std::memcpy(&x, b, 8);
        return uint8_t((x * 0x8040201008040201ull) >> 56);
    } else {
        uint32_t v = 0;
        for (int k = 0; k < 8; ++k) v = (v << 1) | b[k];
        return uint8_t(v);
    }
}

#if defined(CX_SCALE_AVX2)
// Upscaling (or keeping the width), eight destination columns take their
// pixels from at most eight neighbouring source columns. Where they do and
// those eight lie inside the row, the block is one load and one permute
// per plane (chosen at run time; the build targets plain x86-64); other
// blocks are left to the caller. Returns the columns done, a multiple of 8.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
template <bool kAlpha, bool kMask>
__attribute__((target("avx2"))) int32_t NearestWindows(const uint32_t *xt, int32_t blocks, int32_t srcWidth,
                                                       const uint8_t *s, const uint8_t *sa, const uint8_t *mb,
                                                       uint8_t *d, uint8_t *da, uint8_t *dm) {
    int32_t b = 0;
    for (; b < blocks; ++b) {
        const int32_t x = 8 * b;
        const uint32_t base = xt[x];
        if (xt[x + 7] - base > 7 || int64_t(base) + 8 > srcWidth) break;
        const __m256i at = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(xt + x)),
                                            _mm256_set1_epi32(int32_t(base)));
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + size_t(base) * 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + size_t(x) * 4), _mm256_permutevar8x32_epi32(px, at));
        if constexpr (kAlpha || kMask) {
            // The eight offsets as bytes 0-7 of a shuffle.
            const __m256i w = _mm256_packus_epi16(_mm256_packus_epi32(at, at), _mm256_setzero_si256());
            const __m128i pick = _mm_unpacklo_epi32(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
            if constexpr (kAlpha) {
                const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(sa + base));
                _mm_storel_epi64(reinterpret_cast<__m128i *>(da + x), _mm_shuffle_epi8(a, pick));
            }
            if constexpr (kMask) {
                const __m128i m = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(mb + base));
                const uint64_t picked = uint64_t(_mm_cvtsi128_si64(_mm_shuffle_epi8(m, pick)));
                dm[b] = uint8_t((picked * 0x8040201008040201ull) >> 56); // the first byte in the top bit
            }
        }
    }
    return 8 * b;
}
#pragma GCC diagnostic pop
#endif

template <int F, bool kAlpha, bool kMask>
void NearestRows(const cxScaleJob *j, uint8_t *bits, uint8_t *picked) {
    constexpr int B = kBytes<F>;
    const int32_t w = j->dstWidth;
    const size_t rowBytes = size_t(w) * B;
    const int32_t fullBytes = w / 8, rest = w & 7;
    const uint8_t ours = uint8_t(0xFF00u >> rest); // bits of the partial last byte inside the width
    const int32_t lead = j->srcMaskBitOffset & 7, spanBytes = (lead + j->srcWidth + 7) >> 3;
    const uint8_t *mb = bits + lead;
    const uint32_t *xt = j->xTable;
    const BitBytes &spread = GetBitBytes();
    for (int32_t y = 0; y < j->dstHeight; ++y) {
        uint8_t *d = At(j->dstPixels, 0, y, j->dstRowLength, B);
        uint8_t *da = kAlpha ? j->dstAlpha + ptrdiff_t(y) * j->dstAlphaRowLength : nullptr;
        uint8_t *dm = kMask ? j->dstMask + ptrdiff_t(y) * j->dstMaskRowLength : nullptr;
        if (y > 0 && j->yTable[y] == j->yTable[y - 1]) {
            // Upscaled rows repeat: copy the row just made.
            std::memcpy(d, d - ptrdiff_t(j->dstRowLength) * B, rowBytes);
            if constexpr (kAlpha) std::memcpy(da, da - j->dstAlphaRowLength, size_t(w));
            if constexpr (kMask) {
                const uint8_t *prev = dm - j->dstMaskRowLength;
                std::memcpy(dm, prev, size_t(fullBytes));
                if (rest) dm[fullBytes] = uint8_t((dm[fullBytes] & ~ours) | (prev[fullBytes] & ours));
            }
            continue;
        }
        const int32_t sy = int32_t(j->yTable[y]);
        const uint8_t *s = At(j->srcPixels, 0, sy, j->srcRowLength, B);
        const uint8_t *sa = kAlpha ? j->srcAlpha + ptrdiff_t(sy) * j->srcAlphaRowLength : nullptr;
        if constexpr (kMask) {
            const uint8_t *sm = j->srcMask + ptrdiff_t(sy) * j->srcMaskRowLength + (j->srcMaskBitOffset >> 3);
            for (int32_t i = 0; i < spanBytes; ++i) std::memcpy(bits + 8 * i, &spread.v[sm[i]], 8);
        }
        int32_t x = 0;
        if constexpr (B == 4 && std::endian::native == std::endian::little) {
#if defined(CX_SCALE_AVX2)
            if (HaveAvx2() && j->dstWidth >= j->srcWidth)
                x = NearestWindows<kAlpha, kMask>(xt, fullBytes, j->srcWidth, s, sa, mb, d, da, dm);
#endif
            // Eight pixels a turn, gathered in registers: two pixels, eight
            // alpha bytes and eight mask bits per store, as stores are what
            // this loop waits for.
            for (int32_t b = x / 8; b < fullBytes; ++b, x += 8) {
                uint64_t alphas = 0;
                uint32_t maskBits = 0;
                for (int k = 0; k < 8; k += 2) {
                    const uint32_t s0 = xt[x + k], s1 = xt[x + k + 1];
                    uint32_t p0, p1;
                    std::memcpy(&p0, s + size_t(s0) * 4, 4);
                    std::memcpy(&p1, s + size_t(s1) * 4, 4);
                    const uint64_t pair = uint64_t(p0) | uint64_t(p1) << 32;
                    std::memcpy(d + size_t(x + k) * 4, &pair, 8);
                    if constexpr (kAlpha) alphas |= (uint64_t(sa[s0]) | uint64_t(sa[s1]) << 8) << (8 * k);
                    if constexpr (kMask) maskBits = (maskBits << 2) | uint32_t(mb[s0]) << 1 | mb[s1];
                }
                if constexpr (kAlpha) std::memcpy(da + x, &alphas, 8);
                if constexpr (kMask) dm[b] = uint8_t(maskBits);
            }
        }
        const int32_t packedTo = x;
        for (; x < w; ++x) {
            const uint32_t sx = xt[x];
            std::memcpy(d + size_t(x) * B, s + size_t(sx) * B, B);
            if constexpr (kAlpha) da[x] = sa[sx];
            if constexpr (kMask) picked[x] = mb[sx];
        }
        if constexpr (kMask) {
            for (int32_t b = packedTo / 8; b < fullBytes; ++b) dm[b] = PackBits(picked + 8 * b);
            // picked holds zeros past the width.
            if (rest) dm[fullBytes] = uint8_t((dm[fullBytes] & ~ours) | (PackBits(picked + 8 * fullBytes) & ours));
        }
    }
}

// False when the scratch rows cannot be had; the planes are then scaled
// one after the other.
template <int F>
bool NearestTogether(const cxScaleJob *j) {
    const bool alpha = j->srcAlpha && j->dstAlpha, mask = j->srcMask && j->dstMask;
    std::vector<uint8_t> bits, picked;
    if (mask) {
        try {
            bits.assign((size_t(j->srcMaskBitOffset & 7) + size_t(j->srcWidth) + 7) / 8 * 8, 0);
            picked.assign(size_t(j->dstWidth) + 8, 0);
        } catch (const std::bad_alloc &) {
            return false;
        }
    }
    if (alpha && mask) NearestRows<F, true, true>(j, bits.data(), picked.data());
    else if (alpha) NearestRows<F, true, false>(j, nullptr, nullptr);
    else if (mask) NearestRows<F, false, true>(j, bits.data(), picked.data());
    else NearestRows<F, false, false>(j, nullptr, nullptr);
    return true;
}

// Smooth scaling works on columns in stripes so that the two interpolated
// source rows of a stripe fit on the stack and are reused while consecutive
// destination rows fall between the same two source rows.
constexpr int kStripe = 256;

// Column positions of one stripe: the left and right source columns and the
// fraction, repeated for each byte of a pixel.
struct StripeColumns {
    uint32_t c0[kStripe], c1[kStripe];
    alignas(16) int16_t f4[kStripe * 4];
    alignas(16) int16_t f3[kStripe * 3];
    alignas(16) int16_t f1[kStripe];
};

void PrepareColumns(const cxScaleJob *j, int32_t x0, int32_t n, StripeColumns &sc) {
    const uint32_t last = uint32_t(j->srcWidth - 1);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t X = j->xTable[x0 + i];
        sc.c0[i] = X >> 16;
        sc.c1[i] = std::min(sc.c0[i] + 1, last);
        const int16_t f = int16_t((X & 0xFFFFu) >> 1);
        sc.f1[i] = f;
        for (int c = 0; c < 4; ++c) sc.f4[4 * i + c] = f;
        for (int c = 0; c < 3; ++c) sc.f3[3 * i + c] = f;
    }
}

#if defined(CX_SCALE_AVX2)
// The left and right neighbours of eight columns at a time when the eight
// lie within a window of eight source columns (upscaling): one load and a
// permute per side instead of sixteen loads. Returns the columns done.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
__attribute__((target("avx2"))) int32_t NeighbourWindows4(const uint8_t *s, const uint32_t *c0, int32_t n,
                                                          int32_t srcWidth, uint32_t *left, uint32_t *right) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint32_t base = c0[i];
        // Nine columns from base are read; the right neighbour is then
        // always the next column.
        if (c0[i + 7] - base > 7 || int64_t(base) + 9 > srcWidth) break;
        const __m256i at = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(c0 + i)),
                                            _mm256_set1_epi32(int32_t(base)));
        const uint8_t *w = s + size_t(base) * 4;
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(left + i),
                            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(w)), at));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(right + i),
                            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(w + 4)), at));
    }
    return i;
}

// The same for bytes (alpha), in a window of sixteen.
__attribute__((target("avx2"))) int32_t NeighbourWindows1(const uint8_t *s, const uint32_t *c0, int32_t n,
                                                          int32_t srcWidth, uint8_t *left, uint8_t *right) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint32_t base = c0[i];
        if (c0[i + 7] - base > 7 || int64_t(base) + 16 > srcWidth) break;
        const __m256i at = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(c0 + i)),
                                            _mm256_set1_epi32(int32_t(base)));
        const __m256i b = _mm256_packus_epi16(_mm256_packus_epi32(at, at), _mm256_setzero_si256());
        const __m128i pick = _mm_unpacklo_epi32(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + base));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(left + i), _mm_shuffle_epi8(w, pick));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(right + i), _mm_shuffle_epi8(w, _mm_add_epi8(pick, _mm_set1_epi8(1))));
    }
    return i;
}
#pragma GCC diagnostic pop
#endif

// 3- and 4-byte pixels: every stored byte is a whole channel, so the bytes
// are interpolated as they lie, whatever the channel order.
template <int F>
void HorizontalRow(const cxScaleJob *j, const StripeColumns &sc, int32_t srcRow, int32_t n, uint8_t *out) {
    const uint8_t *s = At(j->srcPixels, 0, srcRow, j->srcRowLength, kBytes<F>);
    if constexpr (kBytes<F> == 4) {
        alignas(16) uint32_t left[kStripe], right[kStripe];
        int32_t i0 = 0;
#if defined(CX_SCALE_AVX2)
        if (HaveAvx2()) i0 = NeighbourWindows4(s, sc.c0, n, j->srcWidth, left, right);
#endif
        for (int32_t i = i0; i < n; ++i) {
            left[i] = Load<F>(s + size_t(sc.c0[i]) * 4);
            right[i] = Load<F>(s + size_t(sc.c1[i]) * 4);
        }
        LerpBytes(reinterpret_cast<const uint8_t *>(left), reinterpret_cast<const uint8_t *>(right), sc.f4, 4 * n, out);
    } else {
        alignas(16) uint8_t left[kStripe * 3], right[kStripe * 3];
        for (int32_t i = 0; i < n; ++i) {
            std::memcpy(left + 3 * i, s + size_t(sc.c0[i]) * 3, 3);
            std::memcpy(right + 3 * i, s + size_t(sc.c1[i]) * 3, 3);
        }
        LerpBytes(left, right, sc.f3, 3 * n, out);
    }
}

// 2-byte pixels are interpolated as three planes of 8-bit channel values in
// 16-bit words (red, green, blue of the 5-6-5 working form): a third less
// work than four channel bytes, and the split and join stay in 16-bit lanes.
template <int F>
void HorizontalPlanes(const cxScaleJob *j, const StripeColumns &sc, int32_t srcRow, int32_t n, uint16_t *out) {
    const uint16_t *s = reinterpret_cast<const uint16_t *>(At(j->srcPixels, 0, srcRow, j->srcRowLength, 2));
    alignas(16) uint16_t left[kStripe], right[kStripe];
    alignas(16) uint16_t lc[3][kStripe], rc[3][kStripe];
    for (int32_t i = 0; i < n; ++i) {
        left[i] = s[sc.c0[i]];
        right[i] = s[sc.c1[i]];
    }
    for (int32_t i = 0; i < n; ++i) {
        const RGB8x16 l = Split565(uint16_t(ToWork<F>(left[i]))), r = Split565(uint16_t(ToWork<F>(right[i])));
        lc[0][i] = l.r, lc[1][i] = l.g, lc[2][i] = l.b;
        rc[0][i] = r.r, rc[1][i] = r.g, rc[2][i] = r.b;
    }
    for (int c = 0; c < 3; ++c) LerpWords(lc[c], rc[c], sc.f1, n, out + c * kStripe);
}

void HorizontalAlpha(const cxScaleJob *j, const StripeColumns &sc, int32_t srcRow, int32_t n, uint8_t *out) {
    const uint8_t *s = j->srcAlpha + ptrdiff_t(srcRow) * j->srcAlphaRowLength;
    alignas(16) uint8_t left[kStripe], right[kStripe];
    int32_t i0 = 0;
#if defined(CX_SCALE_AVX2)
    if (HaveAvx2()) i0 = NeighbourWindows1(s, sc.c0, n, j->srcWidth, left, right);
#endif
    for (int32_t i = i0; i < n; ++i) {
        left[i] = s[sc.c0[i]];
        right[i] = s[sc.c1[i]];
    }
    LerpBytes(left, right, sc.f1, n, out);
}

// Two cached horizontal rows of one stripe.
struct RowPair {
    int32_t row[2] = {-1, -1};
    uint8_t *buf[2];
};

template <class Fill>
void Prepare(RowPair &p, int32_t r0, int32_t r1, size_t bytes, Fill &&fill) {
    if (p.row[0] != r0) {
        if (p.row[1] == r0) {
            std::swap(p.buf[0], p.buf[1]);
            std::swap(p.row[0], p.row[1]);
        } else {
            fill(r0, p.buf[0]);
            p.row[0] = r0;
        }
    }
    if (p.row[1] != r1) {
        if (r1 == r0) std::memcpy(p.buf[1], p.buf[0], bytes);
        else fill(r1, p.buf[1]);
        p.row[1] = r1;
    }
}

template <int F>
void SmoothPixels(const cxScaleJob *j) {
    constexpr bool kPlanes = kBytes<F> == 2;
    constexpr size_t kRowBytes = kPlanes ? 3 * kStripe * 2 : kStripe * 4;
    alignas(16) uint8_t rows[2][kRowBytes];
    alignas(16) uint16_t planes[3][kStripe];
    alignas(16) uint8_t arows[2][kStripe];
    StripeColumns sc;
    const bool alpha = j->dstAlpha && j->srcAlpha;
    const int32_t lastRow = j->srcHeight - 1;
    for (int32_t x0 = 0; x0 < j->dstWidth; x0 += kStripe) {
        const int32_t n = std::min(kStripe, j->dstWidth - x0);
        PrepareColumns(j, x0, n, sc);
        RowPair px, al;
        px.buf[0] = rows[0], px.buf[1] = rows[1];
        al.buf[0] = arows[0], al.buf[1] = arows[1];
        for (int32_t y = 0; y < j->dstHeight; ++y) {
            const uint32_t Y = j->yTable[y];
            const int32_t r0 = int32_t(Y >> 16), r1 = std::min(r0 + 1, lastRow);
            const int16_t fy = int16_t((Y & 0xFFFFu) >> 1);
            uint8_t *d = At(j->dstPixels, x0, y, j->dstRowLength, kBytes<F>);
            if constexpr (kPlanes) {
                Prepare(px, r0, r1, kRowBytes, [&](int32_t r, uint8_t *out) {
                    HorizontalPlanes<F>(j, sc, r, n, reinterpret_cast<uint16_t *>(out));
                });
                const uint16_t *top = reinterpret_cast<const uint16_t *>(px.buf[0]);
                const uint16_t *bottom = reinterpret_cast<const uint16_t *>(px.buf[1]);
                for (int c = 0; c < 3; ++c) LerpWords(top + c * kStripe, bottom + c * kStripe, fy, n, planes[c]);
                uint16_t *d2 = reinterpret_cast<uint16_t *>(d);
                for (int32_t i = 0; i < n; ++i)
                    d2[i] = uint16_t(FromWork<F>(Join565(planes[0][i], planes[1][i], planes[2][i])));
            } else {
                Prepare(px, r0, r1, size_t(kBytes<F>) * n, [&](int32_t r, uint8_t *out) { HorizontalRow<F>(j, sc, r, n, out); });
                LerpBytes(px.buf[0], px.buf[1], fy, kBytes<F> * n, d);
            }
            if (alpha) {
                Prepare(al, r0, r1, size_t(n), [&](int32_t r, uint8_t *out) { HorizontalAlpha(j, sc, r, n, out); });
                LerpBytes(al.buf[0], al.buf[1], fy, n, j->dstAlpha + ptrdiff_t(y) * j->dstAlphaRowLength + x0);
            } else if (j->dstMask && j->srcMask) {
                const uint8_t *s = j->srcMask + ptrdiff_t(r0) * j->srcMaskRowLength;
                uint8_t *m = j->dstMask + ptrdiff_t(y) * j->dstMaskRowLength;
                for (int32_t i = 0; i < n; ++i) SetMaskBit(m, x0 + i, MaskBit(s, j->srcMaskBitOffset + int32_t(sc.c0[i])));
            }
        }
    }
}

} // namespace

extern "C" {

int EnsureScaleTables(int32_t width, int32_t height) {
    if (width < 0 || height < 0) return ERR_MEM;
    try {
        if (t_xTable.size() < size_t(width) + 1) t_xTable.resize(size_t(width) + 1);
        if (t_yTable.size() < size_t(height) + 1) t_yTable.resize(size_t(height) + 1);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return 0;
}

void GetScaleTables(uint32_t **xTable, uint32_t **yTable) {
    *xTable = t_xTable.data();
    *yTable = t_yTable.data();
}

void ScaleMaskBits(const cxScaleJob *j) {
    if (!j->srcMask || !j->dstMask || j->dstWidth < 1 || j->dstHeight < 1) return;
    NearestTable(j->xTable, j->dstWidth, j->srcWidth);
    NearestTable(j->yTable, j->dstHeight, j->srcHeight);
    NearestMask(j);
}

void ScaleAlphaNearest(const cxScaleJob *j) {
    if (!j->srcAlpha || !j->dstAlpha || j->dstWidth < 1 || j->dstHeight < 1) return;
    NearestTable(j->xTable, j->dstWidth, j->srcWidth);
    NearestTable(j->yTable, j->dstHeight, j->srcHeight);
    NearestAlpha(j);
}

void ScalePixels(const cxScaleJob *j) {
    if (j->dstWidth < 1 || j->dstHeight < 1 || j->srcWidth < 1 || j->srcHeight < 1) return;
    if (!j->srcPixels) {
        ScaleMaskBits(j);
        return;
    }
    if (!j->smooth) {
        NearestTable(j->xTable, j->dstWidth, j->srcWidth);
        NearestTable(j->yTable, j->dstHeight, j->srcHeight);
        bool done = false;
        WithFormat(j->pixelFormat, [&](auto f) { done = NearestTogether<decltype(f)::value>(j); });
        if (done) return;
        WithFormat(j->pixelFormat, [&](auto f) { NearestPixels<decltype(f)::value>(j); });
        if (j->srcMask && j->dstMask) NearestMask(j);
        if (j->srcAlpha && j->dstAlpha) NearestAlpha(j);
        return;
    }
    SmoothTable(j->xTable, j->dstWidth, j->srcWidth);
    SmoothTable(j->yTable, j->dstHeight, j->srcHeight);
    WithFormat(j->pixelFormat, [&](auto f) { SmoothPixels<decltype(f)::value>(j); });
}

} // extern "C"
