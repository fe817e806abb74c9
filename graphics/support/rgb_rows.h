// Per-pixel loops over 8-bit red, green and blue for any of the 14 pixel
// formats. Short channels arrive with their low bits zero (the working forms)
// and are stored back from their top bits; bits outside the colour channels
// (the alpha byte of formats 10-13) are kept. Internal to graphics/.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/pixels/pixel_format_table.h"

namespace cx::gfx {

using namespace cx::pix;

template <int F>
inline constexpr uint32_t kColourBits = FromARGB<F>(0xFFFFFFu, false);

// fn(uint32_t &r, uint32_t &g, uint32_t &b) for every pixel of a rectangle.
template <int F, class Fn>
inline void ForEachRGBIn(uint8_t *pixels, int32_t width, int32_t height, int32_t rowLength, Fn &&fn) {
    constexpr int B = kFormats[F].bytes;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *p = pixels + ptrdiff_t(y) * rowLength * B;
        for (int32_t x = 0; x < width; ++x, p += B) {
            const uint32_t v = Load<F>(p);
            const uint32_t c = ToARGB<F>(v, false);
            uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            fn(r, g, b);
            Store<F>(p, (v & ~kColourBits<F>) | FromARGB<F>((r << 16) | (g << 8) | b, false));
        }
    }
}

template <class Fn>
inline void ForEachRGB(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, Fn &&fn) {
    WithFormat(format, [&](auto f) {
        ForEachRGBIn<decltype(f)::value>(static_cast<uint8_t *>(pixels), width, height, rowLength, fn);
    });
}

// Read-only variant: fn(r, g, b) with 8-bit channels.
template <class Fn>
inline void VisitRGB(const void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, Fn &&fn) {
    WithFormat(format, [&](auto f) {
        constexpr int F = decltype(f)::value;
        constexpr int B = kFormats[F].bytes;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t *p = static_cast<const uint8_t *>(pixels) + ptrdiff_t(y) * rowLength * B;
            for (int32_t x = 0; x < width; ++x, p += B) {
                const uint32_t c = ToARGB<F>(Load<F>(p), false);
                fn((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
            }
        }
    });
}

} // namespace cx::gfx
