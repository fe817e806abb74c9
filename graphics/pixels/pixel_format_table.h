// The pixel-format table and its compile-time accessors. The C entry points
// of pixel_format.h and every kernel take their conversions from here, so a
// format's layout is written down exactly once.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace cx::pix {

struct Channel {
    uint8_t shift;
    uint8_t bits; // 0: the format has no such channel
};

struct FormatInfo {
    uint8_t bytes; // storage size of one pixel
    uint8_t depth;
    Channel r, g, b, a;
    bool swapped; // 16-bit value stored with its two bytes exchanged
};

inline constexpr FormatInfo kFormats[14] = {
    {2, 15, {10, 5}, {5, 5}, {0, 5}, {0, 0}, false},    // 0 RGB 555
    {2, 15, {0, 5}, {5, 5}, {10, 5}, {0, 0}, false},    // 1 BGR 555
    {2, 15, {10, 5}, {5, 5}, {0, 5}, {0, 0}, true},     // 2 RGB 555 swapped
    {2, 15, {0, 5}, {5, 5}, {10, 5}, {0, 0}, true},     // 3 BGR 555 swapped
    {2, 16, {11, 5}, {5, 6}, {0, 5}, {0, 0}, false},    // 4 RGB 565
    {2, 16, {0, 5}, {5, 6}, {11, 5}, {0, 0}, false},    // 5 BGR 565
    {2, 16, {11, 5}, {5, 6}, {0, 5}, {0, 0}, true},     // 6 RGB 565 swapped
    {2, 16, {0, 5}, {5, 6}, {11, 5}, {0, 0}, true},     // 7 BGR 565 swapped
    {3, 24, {16, 8}, {8, 8}, {0, 8}, {0, 0}, false},    // 8 0xRRGGBB
    {3, 24, {0, 8}, {8, 8}, {16, 8}, {0, 0}, false},    // 9 0xBBGGRR
    {4, 32, {16, 8}, {8, 8}, {0, 8}, {24, 8}, false},   // 10 0xAARRGGBB
    {4, 32, {8, 8}, {16, 8}, {24, 8}, {0, 8}, false},   // 11 0xBBGGRRAA
    {4, 32, {24, 8}, {16, 8}, {8, 8}, {0, 8}, false},   // 12 0xRRGGBBAA
    {4, 32, {0, 8}, {8, 8}, {16, 8}, {24, 8}, false},   // 13 0xAABBGGRR
};

inline constexpr int kFormatCount = 14;
inline constexpr int kWork16 = 4;  // working form of 2-byte kernels: RGB 565
inline constexpr int kWork32 = 10; // working form of 3/4-byte kernels: 0x00RRGGBB

constexpr bool IsColourFormat(uint32_t f) { return f < 14; }

constexpr uint32_t Swap16(uint32_t v) { return ((v & 0xFFu) << 8) | ((v >> 8) & 0xFFu); }

constexpr uint32_t PutChannel(Channel c, uint32_t v8) {
    return c.bits ? ((v8 >> (8 - c.bits)) << c.shift) : 0u;
}
constexpr uint32_t GetChannel(Channel c, uint32_t value) {
    return c.bits ? (((value >> c.shift) & ((1u << c.bits) - 1u)) << (8 - c.bits)) : 0u;
}

// 0xAARRGGBB to a pixel value of format fi.
constexpr uint32_t FromARGB(const FormatInfo &fi, uint32_t c, bool keepAlpha) {
    uint32_t v = PutChannel(fi.r, (c >> 16) & 0xFF) | PutChannel(fi.g, (c >> 8) & 0xFF) |
                 PutChannel(fi.b, c & 0xFF);
    if (keepAlpha) v |= PutChannel(fi.a, c >> 24);
    return fi.swapped ? Swap16(v) : v;
}
// Pixel value of format fi to 0xAARRGGBB.
constexpr uint32_t ToARGB(const FormatInfo &fi, uint32_t p, bool keepAlpha) {
    if (fi.swapped) p = Swap16(p);
    uint32_t c = (GetChannel(fi.r, p) << 16) | (GetChannel(fi.g, p) << 8) | GetChannel(fi.b, p);
    if (keepAlpha) c |= GetChannel(fi.a, p) << 24;
    return c;
}

template <int F>
constexpr uint32_t FromARGB(uint32_t c, bool keepAlpha = true) {
    if constexpr (F == 10) return keepAlpha ? c : (c & 0xFFFFFFu);
    else return FromARGB(kFormats[F], c, keepAlpha);
}
template <int F>
constexpr uint32_t ToARGB(uint32_t p, bool keepAlpha = true) {
    if constexpr (F == 10) return keepAlpha ? p : (p & 0xFFFFFFu);
    else return ToARGB(kFormats[F], p, keepAlpha);
}

// Working forms. 2-byte formats compute in RGB 565; 3- and 4-byte formats in
// 0x00RRGGBB. Format 10 passes unchanged (its alpha byte rides along and
// the kernels mask it off), as does format 4.
template <int F>
constexpr uint32_t ToWork(uint32_t p) {
    if constexpr (F == kWork16 || F == kWork32) return p;
    else if constexpr (kFormats[F].bytes == 2) return FromARGB<kWork16>(ToARGB<F>(p, false), false);
    else return ToARGB<F>(p, false);
}
template <int F>
constexpr uint32_t FromWork(uint32_t w) {
    if constexpr (F == kWork16 || F == kWork32) return w;
    else if constexpr (kFormats[F].bytes == 2) return FromARGB<F>(ToARGB<kWork16>(w, false), false);
    else return FromARGB<F>(w, false);
}

// Storage: 2- and 4-byte pixels are machine words, 24-bit pixels three bytes
// with the value's high byte first.
template <int F>
inline uint32_t Load(const uint8_t *p) {
    if constexpr (kFormats[F].bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (kFormats[F].bytes == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else {
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
}
template <int F>
inline void Store(uint8_t *p, uint32_t v) {
    if constexpr (kFormats[F].bytes == 2) {
        const uint16_t s = uint16_t(v);
        std::memcpy(p, &s, 2);
    } else if constexpr (kFormats[F].bytes == 4) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = uint8_t(v >> 16);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v);
    }
}

// Calls fn(std::integral_constant<int, F>{}) for a run-time format 0-13.
// The caller has checked the format.
template <class Fn>
inline void WithFormat(uint32_t f, Fn &&fn) {
    switch (f) {
    case 0: fn(std::integral_constant<int, 0>{}); break;
    case 1: fn(std::integral_constant<int, 1>{}); break;
    case 2: fn(std::integral_constant<int, 2>{}); break;
    case 3: fn(std::integral_constant<int, 3>{}); break;
    case 4: fn(std::integral_constant<int, 4>{}); break;
    case 5: fn(std::integral_constant<int, 5>{}); break;
    case 6: fn(std::integral_constant<int, 6>{}); break;
    case 7: fn(std::integral_constant<int, 7>{}); break;
    case 8: fn(std::integral_constant<int, 8>{}); break;
    case 9: fn(std::integral_constant<int, 9>{}); break;
    case 10: fn(std::integral_constant<int, 10>{}); break;
    case 11: fn(std::integral_constant<int, 11>{}); break;
    case 12: fn(std::integral_constant<int, 12>{}); break;
    case 13: fn(std::integral_constant<int, 13>{}); break;
    default: break;
    }
}

// Channel split of the working forms into 8-bit values with zero low bits.
struct RGB8 {
    uint32_t r, g, b;
};
inline constexpr RGB8 Split565(uint32_t p) { return {(p & 0xF800u) >> 8, (p & 0x07E0u) >> 3, (p << 3) & 0xFFu}; }
inline constexpr uint32_t Join565(uint32_t r, uint32_t g, uint32_t b) {
    return ((r & 0xF8u) << 8) | ((g & 0xFCu) << 3) | (b >> 3);
}
// The same in 16-bit words, for loops that run in 16-bit vector lanes.
struct RGB8x16 {
    uint16_t r, g, b;
};
inline constexpr RGB8x16 Split565(uint16_t p) {
    return {uint16_t((p & 0xF800u) >> 8), uint16_t((p & 0x07E0u) >> 3), uint16_t((p << 3) & 0xFFu)};
}
inline constexpr uint16_t Join565(uint16_t r, uint16_t g, uint16_t b) {
    return uint16_t(((r & 0xF8u) << 8) | ((g & 0xFCu) << 3) | (b >> 3));
}
inline constexpr RGB8 Split888(uint32_t p) { return {(p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu}; }
inline constexpr uint32_t Join888(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

} // namespace cx::pix
