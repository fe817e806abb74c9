// Shared pieces of the kernel sources: row addressing, per-format dispatch,
// the blend arithmetic and mask bit access. Internal to graphics/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "graphics/pixels/pixel_format_table.h"

namespace cx::kern {

using namespace cx::pix;

template <int F>
inline constexpr int kBytes = kFormats[F].bytes;

// Address of pixel (x, y) of a buffer whose rows are rowLength units of
// unit bytes apart. The drivers have bounded the products.
inline uint8_t *At(void *base, int32_t x, int32_t y, int32_t rowLength, int unit) {
    return static_cast<uint8_t *>(base) + (ptrdiff_t(y) * rowLength + x) * unit;
}
inline const uint8_t *At(const void *base, int32_t x, int32_t y, int32_t rowLength, int unit) {
    return static_cast<const uint8_t *>(base) + (ptrdiff_t(y) * rowLength + x) * unit;
}

// Runs fn(integral_constant<int, F>) when Lo <= format <= Hi.
template <int Lo, int Hi, class Fn>
inline void Dispatch(uint32_t format, Fn &&fn) {
    if (format < uint32_t(Lo) || format > uint32_t(Hi)) return;
    WithFormat(format, [&](auto f) {
        constexpr int F = decltype(f)::value;
        if constexpr (F >= Lo && F <= Hi) fn(f);
    });
}

// The one blend arithmetic: per channel d + (((s - d) * a) >> 8), written
// as (s * sa + d * da) >> 8 with sa = a and da = 256 - a, which is the same
// number for a in 0..255 and stays unsigned. Alpha 255 is taken as 256 so
// that it yields the source exactly; alpha 0 yields the destination
// exactly. Every product fits 16 bits (the sum is at most 65280), so the
// row loops that use it run in 16-bit vector lanes.
struct BlendWeights {
    uint16_t s, d;
};
inline constexpr BlendWeights Weights(uint32_t a) {
    const uint16_t sa = uint16_t(a + uint32_t(a == 255));
    return {sa, uint16_t(256 - sa)};
}
inline constexpr uint16_t BlendChannel(uint16_t s, uint16_t d, BlendWeights w) {
    return uint16_t(uint16_t(uint16_t(s * w.s) + uint16_t(d * w.d)) >> 8);
}

// One pixel in its working form. A blended 3/4-byte pixel leaves with
// alpha 0 because the working form has none; the two ends keep their pixels
// whole.
template <int F>
inline uint32_t BlendPixel(uint32_t s, uint32_t d, uint32_t a) {
    const BlendWeights w = Weights(a);
    uint32_t mixed;
    if constexpr (kBytes<F> == 2) {
        const RGB8 S = Split565(ToWork<F>(s)), D = Split565(ToWork<F>(d));
        mixed = FromWork<F>(Join565(BlendChannel(S.r, D.r, w), BlendChannel(S.g, D.g, w), BlendChannel(S.b, D.b, w)));
    } else {
        const RGB8 S = Split888(ToWork<F>(s)), D = Split888(ToWork<F>(d));
        mixed = FromWork<F>(Join888(BlendChannel(S.r, D.r, w), BlendChannel(S.g, D.g, w), BlendChannel(S.b, D.b, w)));
    }
    // The ends keep whole pixels, bits outside the colour channels included.
    const uint32_t m0 = 0u - uint32_t(a == 0), m1 = 0u - uint32_t(a == 255);
    return (d & m0) | (s & m1) | (mixed & ~(m0 | m1));
}

// Mask bits: pixel x of a row is bit 7 - (x & 7) of byte x >> 3.
inline uint32_t MaskBit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
inline void SetMaskBit(uint8_t *row, int32_t x, uint32_t bit) {
    const uint8_t m = uint8_t(0x80u >> (x & 7));
    row[x >> 3] = uint8_t((row[x >> 3] & ~m) | (bit ? m : 0));
}

// Walks one row of w pixels whose mask bits start at bit mx of mrow: runs
// of whole mask bytes that are all set go to run(x, n) at once, all-clear
// bytes are skipped, and every other pixel goes to pixel(x, bit).
template <class Run, class Pixel>
inline void ForMaskRuns(const uint8_t *mrow, int32_t mx, int32_t w, Run &&run, Pixel &&pixel) {
    int32_t x = 0;
    for (; x < w && ((mx + x) & 7); ++x) pixel(x, MaskBit(mrow, mx + x));
    while (x + 8 <= w) {
        const uint8_t *m = mrow + ((mx + x) >> 3);
        if (*m == 0xFF) {
            int32_t n = 8;
            for (uint64_t v; x + n + 64 <= w && (std::memcpy(&v, m + (n >> 3), 8), v == ~uint64_t(0));) n += 64;
            while (x + n + 8 <= w && m[n >> 3] == 0xFF) n += 8;
            run(x, n);
            x += n;
        } else {
            if (*m != 0)
                for (int32_t k = 0; k < 8; ++k) pixel(x + k, (uint32_t(*m) >> (7 - k)) & 1u);
            x += 8;
        }
    }
    for (; x < w; ++x) pixel(x, MaskBit(mrow, mx + x));
}

// The same over alpha bytes, eight at a time: groups without a zero byte
// form the runs, all-zero groups are skipped, pixel(x, alpha) takes the rest.
template <class Run, class Pixel>
inline void ForAlphaRuns(const uint8_t *a, int32_t w, Run &&run, Pixel &&pixel) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const auto group = [&](int32_t x) {
        uint64_t v;
        std::memcpy(&v, a + x, 8);
        return v;
    };
    const auto full = [&](uint64_t v) { return ((v - kOnes) & ~v & kHighs) == 0; };
    int32_t x = 0;
    while (x + 8 <= w) {
        const uint64_t v = group(x);
        if (v != 0 && full(v)) {
            int32_t n = 8;
            while (x + n + 8 <= w && full(group(x + n))) n += 8;
            run(x, n);
            x += n;
        } else {
            if (v != 0)
                for (int32_t k = 0; k < 8; ++k) pixel(x + k, uint32_t(a[x + k]));
            x += 8;
        }
    }
    for (; x < w; ++x) pixel(x, uint32_t(a[x]));
}

// Branch-free select: s where m is all ones, d where it is zero.
inline uint32_t Select(uint32_t m, uint32_t s, uint32_t d) { return (s & m) | (d & ~m); }

// Linear interpolation of bytes: a + ((f * (b - a)) >> 16) with f an even
// 16-bit fraction given as f / 2 (15 bits), which is the high half of a
// 16-bit product and so runs in 16-bit vector lanes.
inline void LerpBytes(const uint8_t *a, const uint8_t *b, const int16_t *f15, int32_t n, uint8_t *out) {
    for (int32_t k = 0; k < n; ++k) {
        const int16_t diff = int16_t((int16_t(b[k]) - int16_t(a[k])) * 2);
        out[k] = uint8_t(a[k] + int16_t((int32_t(diff) * f15[k]) >> 16));
    }
}
inline void LerpBytes(const uint8_t *a, const uint8_t *b, int16_t f15, int32_t n, uint8_t *out) {
    for (int32_t k = 0; k < n; ++k) {
        const int16_t diff = int16_t((int16_t(b[k]) - int16_t(a[k])) * 2);
        out[k] = uint8_t(a[k] + int16_t((int32_t(diff) * f15) >> 16));
    }
}

// The same on 16-bit words holding 8-bit channel values.
inline void LerpWords(const uint16_t *a, const uint16_t *b, const int16_t *f15, int32_t n, uint16_t *out) {
    for (int32_t k = 0; k < n; ++k) {
        const int16_t diff = int16_t((int16_t(b[k]) - int16_t(a[k])) * 2);
        out[k] = uint16_t(a[k] + int16_t((int32_t(diff) * f15[k]) >> 16));
    }
}
inline void LerpWords(const uint16_t *a, const uint16_t *b, int16_t f15, int32_t n, uint16_t *out) {
    for (int32_t k = 0; k < n; ++k) {
        const int16_t diff = int16_t((int16_t(b[k]) - int16_t(a[k])) * 2);
        out[k] = uint16_t(a[k] + int16_t((int32_t(diff) * f15) >> 16));
    }
}

} // namespace cx::kern
