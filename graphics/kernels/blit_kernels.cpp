// Colour kernels: copies, fills, masked copies, alpha blits and ARGB rows.
#include "graphics/kernels/blit_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "graphics/kernels/kernel_support.h"

using namespace cx::kern;

namespace {

// Plain copy of unit-byte pixels, row by row.
void CopyRect(const cxPixelCopyJob *j, int unit) {
    if (j->width < 1 || j->height < 1) return;
    const size_t n = size_t(j->width) * unit;
    for (int32_t y = 0; y < j->height; ++y)
        std::memmove(At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, unit),
                     At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, unit), n);
}

// 32-bit copy that converts red, green and blue between formats 10-13 and
// keeps each destination pixel's own alpha byte.
template <int SF, int DF>
void ConvertRect(const cxPixelCopyJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, 4);
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, 4);
        for (int32_t x = 0; x < j->width; ++x) {
            const uint32_t rgb = ToARGB<SF>(Load<SF>(s + 4 * x), false);
            const uint32_t alpha = ToARGB<DF>(Load<DF>(d + 4 * x), true) & 0xFF000000u;
            Store<DF>(d + 4 * x, FromARGB<DF>(rgb | alpha, true));
        }
    }
}

// The first row is filled pixel by pixel and copied into the others, so
// that most of the work runs at memcpy speed.
template <int F>
void FillRect(const cxFillJob *j, uint32_t value) {
    uint8_t *first = At(j->dstPixels, j->x, j->y, j->rowLength, kBytes<F>);
    if constexpr (kBytes<F> == 4) {
        std::fill_n(reinterpret_cast<uint32_t *>(first), j->width, value);
    } else if constexpr (kBytes<F> == 2) {
        std::fill_n(reinterpret_cast<uint16_t *>(first), j->width, uint16_t(value));
    } else {
        for (int32_t x = 0; x < j->width; ++x) Store<F>(first + 3 * x, value);
    }
    const size_t n = size_t(j->width) * kBytes<F>;
    for (int32_t y = 1; y < j->height; ++y) std::memcpy(At(j->dstPixels, j->x, j->y + y, j->rowLength, kBytes<F>), first, n);
}


template <int Conversion>
inline uint32_t Converted(uint32_t v) {
    if constexpr (Conversion == 1) return FromARGB<11>(ToARGB<10>(v), false);
    else if constexpr (Conversion == 2) return FromARGB<12>(ToARGB<10>(v), false);
    else return v;
}

// n whole pixels from s to d, converted; without a conversion one memmove.
template <int F, int Conversion>
inline void CopySpan(const uint8_t *s, uint8_t *d, int32_t n) {
    if constexpr (Conversion == 0) {
        std::memmove(d, s, size_t(n) * kBytes<F>);
    } else {
        for (int32_t x = 0; x < n; ++x) Store<F>(d + x * kBytes<F>, Converted<Conversion>(Load<F>(s + x * kBytes<F>)));
    }
}

// Mask bytes that are all set copy at memmove speed, all-clear ones are
// skipped; mixed bytes select pixel by pixel.
template <int F, int Conversion>
void MaskedCopyRect(const cxMaskedCopyJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, kBytes<F>);
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, kBytes<F>);
        const uint8_t *m = j->mask + ptrdiff_t(j->srcY + y) * j->maskRowLength;
        ForMaskRuns(
            m, j->srcX, j->width,
            [&](int32_t x, int32_t n) { CopySpan<F, Conversion>(s + x * kBytes<F>, d + x * kBytes<F>, n); },
            [&](int32_t x, uint32_t bit) {
                const uint32_t v = Converted<Conversion>(Load<F>(s + x * kBytes<F>));
                Store<F>(d + x * kBytes<F>, Select(0u - bit, v, Load<F>(d + x * kBytes<F>)));
            });
    }
}

template <int F>
void MaskFillRect(const cxMaskFillJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        uint8_t *d = At(j->dstPixels, j->x, j->y + y, j->rowLength, kBytes<F>);
        const uint8_t *m = j->mask + ptrdiff_t(j->maskY + y) * j->maskRowLength;
        ForMaskRuns(
            m, j->maskX, j->width,
            [&](int32_t x, int32_t n) {
                if constexpr (kBytes<F> == 4) std::fill_n(reinterpret_cast<uint32_t *>(d) + x, n, j->pixel);
                else std::fill_n(reinterpret_cast<uint16_t *>(d) + x, n, uint16_t(j->pixel));
            },
            [&](int32_t x, uint32_t bit) {
                Store<F>(d + x * kBytes<F>, Select(0u - bit, j->pixel, Load<F>(d + x * kBytes<F>)));
            });
    }
}

// Mode 0: blend by the source alpha, in BlendChannel's 16-bit arithmetic,
// which vectorises well on both NEON and SSE2. 3- and 4-byte pixels are
// blended byte by byte: each byte is a whole channel, so the order of the
// channels does not matter, and the alpha byte gets weights that keep it at
// the ends and zero it between.
template <int F>
constexpr int AlphaByteIndex() {
    if constexpr (kFormats[F].a.bits == 0) return -1;
    else if constexpr (std::endian::native == std::endian::little) return kFormats[F].a.shift / 8;
    else return 3 - kFormats[F].a.shift / 8;
}

template <int F>
void BlendRowBytes(const uint8_t *s, const uint8_t *a, uint8_t *d, int32_t w) {
    constexpr int B = kBytes<F>;
    constexpr int AI = AlphaByteIndex<F>();
    constexpr int N = 256; // pixels per chunk
    if constexpr (B == 4) {
        // The alpha of each pixel repeated in all four of its bytes, one flat
        // loop over the bytes, then the alpha bytes of blended pixels cleared
        // (alpha 0 and 255 already gave whole destination and source pixels).
        constexpr uint32_t kKeepColour = ~(0xFFu << (8 * AI));
        alignas(16) uint32_t rep[N];
        for (int32_t x0 = 0; x0 < w; x0 += N) {
            const int32_t n = std::min<int32_t>(N, w - x0);
            const uint8_t *ap = a + x0;
            for (int32_t i = 0; i < n; ++i) rep[i] = uint32_t(ap[i]) * 0x01010101u;
            const uint8_t *av = reinterpret_cast<const uint8_t *>(rep);
            const uint8_t *sp = s + size_t(x0) * 4;
            uint8_t *dp = d + size_t(x0) * 4;
            for (int32_t k = 0; k < n * 4; ++k) dp[k] = uint8_t(BlendChannel(sp[k], dp[k], Weights(av[k])));
            uint32_t *d4 = reinterpret_cast<uint32_t *>(dp);
            for (int32_t i = 0; i < n; ++i) d4[i] &= (ap[i] == 0 || ap[i] == 255) ? 0xFFFFFFFFu : kKeepColour;
        }
        return;
    }
    alignas(16) uint16_t ms[N * B], md[N * B];
    for (int32_t x0 = 0; x0 < w; x0 += N) {
        const int32_t n = std::min<int32_t>(N, w - x0);
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t av = a[x0 + i];
            const BlendWeights wt = Weights(av);
            for (int c = 0; c < B; ++c) {
                ms[i * B + c] = c == AI ? uint16_t((av == 255) << 8) : wt.s;
                md[i * B + c] = c == AI ? uint16_t((av == 0) << 8) : wt.d;
            }
        }
        const uint8_t *sp = s + size_t(x0) * B;
        uint8_t *dp = d + size_t(x0) * B;
        for (int32_t k = 0; k < n * B; ++k) dp[k] = uint8_t(BlendChannel(sp[k], dp[k], BlendWeights{ms[k], md[k]}));
    }
}

// 2-byte pixels in RGB 5-6-5 working form.
template <int F>
void BlendRow16(const uint8_t *s, const uint8_t *a, uint8_t *d, int32_t w) {
    const uint16_t *s2 = reinterpret_cast<const uint16_t *>(s);
    uint16_t *d2 = reinterpret_cast<uint16_t *>(d);
    for (int32_t x = 0; x < w; ++x) {
        const uint16_t sp = s2[x], dp = d2[x], av = a[x];
        const RGB8x16 S = Split565(uint16_t(ToWork<F>(sp))), D = Split565(uint16_t(ToWork<F>(dp)));
        const BlendWeights wt = Weights(av);
        const uint16_t mixed = uint16_t(
            FromWork<F>(Join565(BlendChannel(S.r, D.r, wt), BlendChannel(S.g, D.g, wt), BlendChannel(S.b, D.b, wt))));
        if constexpr (F == kWork16) {
            d2[x] = mixed; // every bit is a colour bit: the ends come out exact
        } else {
            // Formats with a spare bit keep whole pixels at the ends.
            const uint16_t m0 = uint16_t(0 - (av == 0)), m1 = uint16_t(0 - (av == 255));
            d2[x] = uint16_t((dp & m0) | (sp & m1) | (mixed & ~(m0 | m1)));
        }
    }
}

template <int F>
inline void BlendRow(const uint8_t *s, const uint8_t *a, uint8_t *d, int32_t w) {
    if constexpr (kBytes<F> == 2) BlendRow16<F>(s, a, d, w);
    else BlendRowBytes<F>(s, a, d, w);
}

template <int F>
void BlendRect(const cxAlphaBlendJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, kBytes<F>);
        const uint8_t *a = At(j->srcAlpha, j->alphaX, j->alphaY + y, j->srcAlphaRowLength, 1);
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, kBytes<F>);
        BlendRow<F>(s, a, d, j->width);
    }
}

// A constant colour at a constant level: one row of the colour and one of
// the level, made once, run through the alpha blit's row blender.
template <int F>
void BlendFillRect(const cxFillJob *j) {
    constexpr int N = 256;
    alignas(16) uint8_t colour[N * kBytes<F>], level[N];
    for (int32_t i = 0; i < N; ++i) Store<F>(colour + i * kBytes<F>, j->pixel);
    std::memset(level, std::clamp(j->level, 0, 255), N);
    for (int32_t y = 0; y < j->height; ++y) {
        uint8_t *d = At(j->dstPixels, j->x, j->y + y, j->rowLength, kBytes<F>);
        for (int32_t x0 = 0; x0 < j->width; x0 += N)
            BlendRow<F>(colour, level, d + size_t(x0) * kBytes<F>, std::min<int32_t>(N, j->width - x0));
    }
}

// Mode 1: copy where the alpha is not 0; runs of set alpha copy at memmove
// speed, runs of 0 are skipped.
template <int F>
void AlphaCopyRect(const cxAlphaBlendJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, kBytes<F>);
        const uint8_t *a = At(j->srcAlpha, j->alphaX, j->alphaY + y, j->srcAlphaRowLength, 1);
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, kBytes<F>);
        ForAlphaRuns(
            a, j->width,
            [&](int32_t x, int32_t n) { CopySpan<F, 0>(s + x * kBytes<F>, d + x * kBytes<F>, n); },
            [&](int32_t x, uint32_t av) {
                uint8_t *p = d + x * kBytes<F>;
                Store<F>(p, Select(0u - uint32_t(av != 0), Load<F>(s + x * kBytes<F>), Load<F>(p)));
            });
    }
}

// Mode 2: the source over a destination that has its own alpha; the
// destination alpha is read only.
// ceil(2^32 / d) for d in 1..255: n / d is (n * kReciprocal[d]) >> 32 exactly
// for every n below 2^24, since the error n * (kReciprocal[d] * d - 2^32)
// stays below 2^32.
constexpr auto kReciprocal = [] {
    std::array<uint64_t, 256> r{};
    for (uint64_t d = 1; d < 256; ++d) r[d] = ((uint64_t(1) << 32) + d - 1) / d;
    return r;
}();
inline uint32_t DivideSmall(uint32_t n, uint32_t d) { return uint32_t((n * kReciprocal[d]) >> 32); }

template <int F>
uint32_t CompositePixel(uint32_t s, uint32_t d, uint32_t sa, uint32_t da) {
    const uint32_t out = std::min<uint32_t>((da * (255 - sa) + 255 * sa + 127) / 255, 255);
    const uint32_t w = (da * (255 - sa) + 127) / 255;
    const uint32_t div = out ? out : 1; // out >= 1 whenever sa >= 1; sa 0 is selected away
    // Rounded by half the divisor: a fixed +127 would lift a faint source
    // over an empty destination (out = 1) by 127 levels. The numerator is
    // below 2^17, so the reciprocal gives the quotient exactly.
    auto mix = [&](uint32_t dc, uint32_t sc, uint32_t cap) {
        return std::min<uint32_t>(DivideSmall(dc * w + sc * sa + div / 2, div), cap);
    };
    uint32_t blended;
    if constexpr (kBytes<F> == 2) {
        const RGB8 S = Split565(ToWork<F>(s)), D = Split565(ToWork<F>(d));
        blended = FromWork<F>(Join565(mix(D.r, S.r, 255) & 0xF8, mix(D.g, S.g, 255) & 0xFC, mix(D.b, S.b, 255) & 0xF8));
    } else {
        const RGB8 S = Split888(ToWork<F>(s)), D = Split888(ToWork<F>(d));
        blended = FromWork<F>(Join888(mix(D.r, S.r, 255), mix(D.g, S.g, 255), mix(D.b, S.b, 255)));
    }
    const uint32_t m0 = 0u - uint32_t(sa == 0), m1 = 0u - uint32_t(sa == 255);
    return (d & m0) | (s & m1) | (blended & ~(m0 | m1));
}

template <int F>
void CompositeRect(const cxAlphaBlendJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->srcPixels, j->srcX, j->srcY + y, j->srcRowLength, kBytes<F>);
        const uint8_t *a = At(j->srcAlpha, j->alphaX, j->alphaY + y, j->srcAlphaRowLength, 1);
        const uint8_t *da = At(j->dstAlpha, j->dstX, j->dstY + y, j->dstAlphaRowLength, 1);
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, kBytes<F>);
        for (int32_t x = 0; x < j->width; ++x) {
            uint8_t *p = d + x * kBytes<F>;
            Store<F>(p, CompositePixel<F>(Load<F>(s + x * kBytes<F>), Load<F>(p), a[x], da[x]));
        }
    }
}

// One pixel of a coverage blit; Mode is fixed per job so the row loop has no
// switch in it.
template <int F, int Mode>
inline uint32_t CoveragePixel(uint32_t c, uint32_t old, uint32_t a, uint8_t *da, uint32_t level) {
    if constexpr (Mode == 1) {
        return BlendPixel<F>(c, old, a);
    } else if constexpr (Mode == 4) {
        // 65-level coverage: 64 is full, other bytes count four times.
        return Select(0u - uint32_t(a == 64), c, BlendPixel<F>(c, old, (a * 4) & 0xFFu));
    } else if constexpr (Mode == 2) {
        // An empty destination alpha takes the colour outright; otherwise
        // blend, and grow the destination alpha towards the coverage.
        const uint32_t dav = da ? *da : 0;
        const uint32_t covered = 0u - uint32_t(a != 0), fresh = 0u - uint32_t(dav == 0);
        const uint32_t mixed = uint32_t(int32_t(dav) + ((int32_t(a) - int32_t(dav)) * int32_t(a) >> 8));
        if (da) *da = uint8_t(Select(covered, Select(fresh, (level * a) / 255, (level * mixed) / 255), dav));
        return Select(covered, Select(fresh, c, BlendPixel<F>(c, old, a)), old);
    } else {
        return Select(0u - uint32_t(a != 0), c, old);
    }
}

template <int F, int Mode>
void AlphaChannelRows(const cxAlphaChannelJob *j) {
    const uint32_t level = uint32_t(std::clamp(j->level, 0, 255));
    for (int32_t y = 0; y < j->height; ++y) {
        uint8_t *d = At(j->dstPixels, j->dstX, j->dstY + y, j->dstRowLength, kBytes<F>);
        const uint8_t *cov = j->mode == 3 ? nullptr : At(j->coverage, j->covX, j->covY + y, j->coverageRowLength, 1);
        const uint16_t *cov16 =
            j->mode == 3 ? j->coverage16 + ptrdiff_t(j->covY + y) * j->coverage16RowLength + j->covX : nullptr;
        const uint8_t *cs =
            j->colourPixels ? At(j->colourPixels, j->covX, j->covY + y, j->colourRowLength, kBytes<F>) : nullptr;
        uint8_t *da = Mode == 2 && j->dstAlpha ? At(j->dstAlpha, j->dstX, j->dstY + y, j->dstAlphaRowLength, 1) : nullptr;
        for (int32_t x = 0; x < j->width; ++x) {
            uint8_t *p = d + x * kBytes<F>;
            const uint32_t c = cs ? Load<F>(cs + x * kBytes<F>) : j->colour;
            const uint32_t a = cov16 ? (cov16[x] & 0xFFu) : cov[x];
            Store<F>(p, CoveragePixel<F, Mode>(c, Load<F>(p), a, da ? da + x : nullptr, level));
        }
    }
}

template <int F>
void AlphaChannelRect(const cxAlphaChannelJob *j) {
    switch (j->mode) {
    case 1: AlphaChannelRows<F, 1>(j); break;
    case 4: AlphaChannelRows<F, 4>(j); break;
    case 2:
    case 3: AlphaChannelRows<F, 2>(j); break; // 3 differs only in where the coverage comes from
    default: AlphaChannelRows<F, 0>(j); break;
    }
}

template <int F>
void StoreARGBRect(const cxARGBRowsJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint32_t *s = j->argb + ptrdiff_t(y) * j->argbRowLength;
        uint8_t *d = At(j->pixels, j->x, j->y + y, j->rowLength, kBytes<F>);
        // Format 10 keeps the alpha byte, the other formats drop it.
        for (int32_t x = 0; x < j->width; ++x) Store<F>(d + x * kBytes<F>, FromARGB<F>(s[x], F == 10));
    }
}

template <int F>
void ReadARGBRect(const cxARGBRowsJob *j) {
    for (int32_t y = 0; y < j->height; ++y) {
        const uint8_t *s = At(j->pixels, j->x, j->y + y, j->rowLength, kBytes<F>);
        uint32_t *d = j->argb + ptrdiff_t(y) * j->argbRowLength;
        // Format 10 and 11 carry their alpha out; 4, 12 and 13 give alpha 0.
        for (int32_t x = 0; x < j->width; ++x) d[x] = ToARGB<F>(Load<F>(s + x * kBytes<F>), F == 10 || F == 11);
    }
}

bool Empty(int32_t w, int32_t h) { return w < 1 || h < 1; }

} // namespace

extern "C" {

void CopyPixels16(const cxPixelCopyJob *j) { CopyRect(j, 2); }

void CopyPixels32(const cxPixelCopyJob *j) {
    if (Empty(j->width, j->height)) return;
    if (!j->convert) return CopyRect(j, 4);
    if (j->dstFormat < 10 || j->dstFormat > 13) return;
    if (j->srcFormat < 10 || j->srcFormat > 13) return; // pixels stay as they are
    Dispatch<10, 13>(j->srcFormat, [&](auto sf) {
        Dispatch<10, 13>(j->dstFormat, [&](auto df) { ConvertRect<decltype(sf)::value, decltype(df)::value>(j); });
    });
}

void CopyPixelsThroughMask16(const cxMaskedCopyJob *j) {
    if (!Empty(j->width, j->height)) MaskedCopyRect<4, 0>(j);
}

void CopyPixelsThroughMask32(const cxMaskedCopyJob *j) {
    if (Empty(j->width, j->height)) return;
    if (j->conversion == 1) MaskedCopyRect<10, 1>(j);
    else if (j->conversion == 2) MaskedCopyRect<10, 2>(j);
    else MaskedCopyRect<10, 0>(j);
}

void FillPixels16(const cxFillJob *j) {
    if (!Empty(j->width, j->height)) FillRect<4>(j, j->pixel);
}
void FillPixels32(const cxFillJob *j) {
    if (Empty(j->width, j->height)) return;
    if (j->pixelFormat == 8 || j->pixelFormat == 9) FillRect<8>(j, j->pixel);
    else FillRect<10>(j, j->pixel);
}

void BlendFillPixels16(const cxFillJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<0, 7>(j->pixelFormat, [&](auto f) { BlendFillRect<decltype(f)::value>(j); });
}
void BlendFillPixels32(const cxFillJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<8, 13>(j->pixelFormat, [&](auto f) { BlendFillRect<decltype(f)::value>(j); });
}

void FillColorThroughMask16(const cxMaskFillJob *j) {
    if (!Empty(j->width, j->height)) MaskFillRect<4>(j);
}
void FillColorThroughMask32(const cxMaskFillJob *j) {
    if (!Empty(j->width, j->height)) MaskFillRect<10>(j);
}

void BlendAlphaPixels16(const cxAlphaBlendJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<0, 7>(j->pixelFormat, [&](auto f) { BlendRect<decltype(f)::value>(j); });
}
void BlendAlphaPixels32(const cxAlphaBlendJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<8, 13>(j->pixelFormat, [&](auto f) { BlendRect<decltype(f)::value>(j); });
}
void CopyAlphaPixels16(const cxAlphaBlendJob *j) {
    if (!Empty(j->width, j->height)) AlphaCopyRect<4>(j);
}
void CopyAlphaPixels32(const cxAlphaBlendJob *j) {
    if (Empty(j->width, j->height)) return;
    if (j->pixelFormat == 8 || j->pixelFormat == 9) AlphaCopyRect<8>(j);
    else AlphaCopyRect<10>(j);
}
void CompositeAlphaPixels16(const cxAlphaBlendJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<0, 7>(j->pixelFormat, [&](auto f) { CompositeRect<decltype(f)::value>(j); });
}
void CompositeAlphaPixels32(const cxAlphaBlendJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<8, 13>(j->pixelFormat, [&](auto f) { CompositeRect<decltype(f)::value>(j); });
}
void BltAlphaChannelPixels16(const cxAlphaChannelJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<0, 7>(j->pixelFormat, [&](auto f) { AlphaChannelRect<decltype(f)::value>(j); });
}
void BltAlphaChannelPixels32(const cxAlphaChannelJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<8, 13>(j->pixelFormat, [&](auto f) { AlphaChannelRect<decltype(f)::value>(j); });
}

void StoreARGBPixels16(const cxARGBRowsJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<0, 7>(j->pixelFormat, [&](auto f) { StoreARGBRect<decltype(f)::value>(j); });
}
void StoreARGBPixels32(const cxARGBRowsJob *j) {
    if (!Empty(j->width, j->height)) Dispatch<8, 13>(j->pixelFormat, [&](auto f) { StoreARGBRect<decltype(f)::value>(j); });
}

int ReadARGBFast(const cxARGBRowsJob *j) {
    const uint32_t f = j->pixelFormat;
    if (f != 4 && (f < 10 || f > 13)) return 0;
    if (Empty(j->width, j->height)) return 1;
    if (f == 4) ReadARGBRect<4>(j);
    else Dispatch<10, 13>(f, [&](auto ff) { ReadARGBRect<decltype(ff)::value>(j); });
    return 1;
}

} // extern "C"
