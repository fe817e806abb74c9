// Kernels on alpha channels, masks and palette rows.
#include <algorithm>
#include <cstring>

#include "graphics/kernels/blit_kernels.h"
#include "graphics/kernels/kernel_support.h"

using namespace cx::kern;

namespace {

template <int Mode>
inline uint32_t AlphaByte(uint32_t s, uint32_t d, uint32_t value) {
    const uint32_t on = 0u - uint32_t(s != 0);
    if constexpr (Mode == 1) return Select(on, s, d);
    else if constexpr (Mode == 2) return Select(on, 255 - s, d);
    else if constexpr (Mode == 3) return Select(on, 255, d);
    else if constexpr (Mode == 4) return Select(on, (value * s) / 255, d);
    else if constexpr (Mode == 5) return Select(on & (0u - uint32_t(d != 0)), 255 - s, d);
    else if constexpr (Mode == 6) return Select(on, value & 0xFF, d);
    else if constexpr (Mode == 7) return Select(on & (0u - uint32_t(d != 0)), s, 0);
    else if constexpr (Mode == 8) return Select(0u - uint32_t(s == 255), 255, d);
    else if constexpr (Mode == 9) {
        const uint32_t over = std::min<uint32_t>((255 * s + (255 - s) * d + 127) / 255, 255);
        return Select(0u - uint32_t(s == 0), d, over); // s 255 gives 255 through the formula
    } else return s;
}

template <int Mode>
void AlphaRows(const uint8_t *src, int32_t sx, int32_t sy, int32_t sbpr, uint8_t *dst, int32_t dx, int32_t dy,
               int32_t dbpr, int32_t w, int32_t h, uint32_t value) {
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *s = At(src, sx, sy + y, sbpr, 1);
        uint8_t *d = At(dst, dx, dy + y, dbpr, 1);
        for (int32_t x = 0; x < w; ++x) d[x] = uint8_t(AlphaByte<Mode>(s[x], d[x], value));
    }
}

// New mask bit for a source that is set or not, by mask mode.
inline uint32_t CombineBit(uint32_t set, uint32_t old, int32_t mode) {
    switch (mode) {
    case 0:
    case 2: return set;
    case 1: return set ? 0 : 1;
    case 3: return set ? old ^ 1u : old;
    case 5: return set ? 1 : old;
    default: return old; // 4 and unknown modes leave the mask
    }
}

} // namespace

extern "C" {

void FillAlphaBytes(uint8_t *alpha, int32_t x, int32_t y, int32_t bytesPerRow, int32_t width, int32_t height,
                    uint8_t value) {
    if (width < 1 || height < 1) return;
    for (int32_t r = 0; r < height; ++r) std::memset(At(alpha, x, y + r, bytesPerRow, 1), value, size_t(width));
}

void FillAlphaThroughMask(const uint8_t *mask, int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, uint8_t *alpha,
                          int32_t x, int32_t y, int32_t alphaBytesPerRow, int32_t width, int32_t height, uint8_t value) {
    if (width < 1 || height < 1) return;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t *m = mask + ptrdiff_t(maskY + r) * maskBytesPerRow;
        uint8_t *a = At(alpha, x, y + r, alphaBytesPerRow, 1);
        for (int32_t i = 0; i < width; ++i) a[i] = uint8_t(Select(0u - MaskBit(m, maskX + i), value, a[i]));
    }
}

void ScaleAlphaBytes(const uint8_t *src, uint8_t *dst, int32_t height, int32_t bytesPerRow, uint32_t factor) {
    if (height < 1 || bytesPerRow < 1) return;
    const size_t n = size_t(height) * size_t(bytesPerRow);
    factor = std::min<uint32_t>(factor, 255);
    for (size_t i = 0; i < n; ++i) dst[i] = uint8_t((factor * src[i]) / 255);
}

void BltAlphaBytes(const uint8_t *src, int32_t srcX, int32_t srcY, int32_t srcBytesPerRow, uint8_t *dst, int32_t dstX,
                   int32_t dstY, int32_t dstBytesPerRow, int32_t width, int32_t height, int32_t mode, uint32_t value) {
    if (width < 1 || height < 1) return;
    const auto run = [&](auto m) {
        AlphaRows<decltype(m)::value>(src, srcX, srcY, srcBytesPerRow, dst, dstX, dstY, dstBytesPerRow, width, height,
                                      value);
    };
    switch (mode) {
    case 1: run(std::integral_constant<int, 1>{}); break;
    case 2: run(std::integral_constant<int, 2>{}); break;
    case 3: run(std::integral_constant<int, 3>{}); break;
    case 4: run(std::integral_constant<int, 4>{}); break;
    case 5: run(std::integral_constant<int, 5>{}); break;
    case 6: run(std::integral_constant<int, 6>{}); break;
    case 7: run(std::integral_constant<int, 7>{}); break;
    case 8: run(std::integral_constant<int, 8>{}); break;
    case 9: run(std::integral_constant<int, 9>{}); break;
    default: run(std::integral_constant<int, 0>{}); break;
    }
}

void AlphaToMaskBits(const uint8_t *alpha, int32_t alphaX, int32_t alphaY, int32_t alphaBytesPerRow, uint8_t *mask,
                     int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, int32_t width, int32_t height,
                     int32_t maskMode) {
    if (width < 1 || height < 1 || maskMode < 0 || maskMode > 5 || maskMode == 4) return;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t *a = At(alpha, alphaX, alphaY + r, alphaBytesPerRow, 1);
        uint8_t *m = mask + ptrdiff_t(maskY + r) * maskBytesPerRow;
        for (int32_t i = 0; i < width; ++i)
            SetMaskBit(m, maskX + i, CombineBit(a[i] == 255, MaskBit(m, maskX + i), maskMode));
    }
}

void ClipBlitMask(const cxClipMaskJob *j) {
    if (j->width < 1 || j->height < 1) return;
    for (int32_t r = 0; r < j->height; ++r) {
        const uint8_t *clip = j->clipMask + ptrdiff_t(j->clipY + r) * j->clipRowLength;
        const int32_t sy = j->srcY + r;
        if (j->srcAlpha) {
            const uint8_t *s = At(j->srcAlpha, j->srcX, sy, j->srcRowLength, 1);
            uint8_t *d = At(j->dst, j->srcX, sy, j->dstRowLength, 1);
            for (int32_t i = 0; i < j->width; ++i) d[i] = uint8_t(Select(0u - MaskBit(clip, j->clipX + i), s[i], 0));
        } else {
            const uint8_t *s = j->srcMask ? j->srcMask + ptrdiff_t(sy) * j->srcRowLength : nullptr;
            uint8_t *d = j->dst + ptrdiff_t(sy) * j->dstRowLength;
            for (int32_t i = 0; i < j->width; ++i) {
                const uint32_t src = s ? MaskBit(s, j->srcX + i) : 1u;
                SetMaskBit(d, j->srcX + i, MaskBit(clip, j->clipX + i) & src);
            }
        }
    }
}

void ExtractAlphaBytes(const uint32_t *argb, int32_t width, int32_t height, int32_t srcRowLength, uint8_t *alpha,
                       int32_t alphaBytesPerRow) {
    if (width < 1 || height < 1) return;
    for (int32_t r = 0; r < height; ++r) {
        const uint32_t *s = argb + ptrdiff_t(r) * srcRowLength;
        uint8_t *a = alpha + ptrdiff_t(r) * alphaBytesPerRow;
        for (int32_t i = 0; i < width; ++i) a[i] = uint8_t(s[i] >> 24);
    }
}

void ExpandIndexedRows(const uint8_t *src, int32_t srcRowLength, uint32_t *dst, int32_t dstRowLength, int32_t width,
                       int32_t height, const uint32_t *palette, int32_t encoding) {
    if (width < 1 || height < 1) return;
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t *s = src + ptrdiff_t(r) * srcRowLength;
        uint32_t *d = dst + ptrdiff_t(r) * dstRowLength;
        if (encoding == 6) {
            // 4 data bits; palette colours have their low nibbles copied
            // from the high ones, and every row starts from entry 0.
            const auto widen = [](uint32_t c) { c &= 0xF0F0F0u; return c | (c >> 4); };
            uint32_t c = widen(palette[0]);
            for (int32_t i = 0; i < width; ++i) {
                const uint32_t v = s[i] & 15u, sel = (s[i] >> 4) & 3u;
                if (sel == 0) c = widen(palette[v]);
                else if (sel == 1) c = (c & ~0xFFu) | (v * 17);
                else if (sel == 2) c = (c & ~0xFF0000u) | ((v * 17) << 16);
                else c = (c & ~0xFF00u) | ((v * 17) << 8);
                d[i] = c;
            }
        } else if (encoding == 8) {
            // 6 data bits replace a channel's top six bits.
            uint32_t c = palette[0];
            for (int32_t i = 0; i < width; ++i) {
                const uint32_t v = s[i] & 63u, sel = s[i] >> 6;
                if (sel == 0) c = palette[v];
                else if (sel == 1) c = (c & ~0xFCu) | (v << 2);
                else if (sel == 2) c = (c & ~0xFC0000u) | (v << 18);
                else c = (c & ~0xFC00u) | (v << 10);
                d[i] = c;
            }
        } else {
            for (int32_t i = 0; i < width; ++i) d[i] = palette[s[i]];
        }
    }
}

} // extern "C"
