#include "graphics/pixels/pixel_format.h"

#include <cstring>

#include "graphics/pixels/pixel_format_table.h"

using namespace cx::pix;

extern "C" uint32_t GetBytesPerPixel(uint32_t format) { return IsColourFormat(format) ? kFormats[format].bytes : 0; }

extern "C" uint32_t GetFormatDepth(uint32_t format) { return IsColourFormat(format) ? kFormats[format].depth : 0; }

extern "C" uint32_t ColorToPixel(uint32_t colour, uint32_t format, int keepAlpha) {
    return IsColourFormat(format) ? FromARGB(kFormats[format], colour, keepAlpha != 0) : 0;
}

extern "C" uint32_t PixelToColor(uint32_t pixel, uint32_t format, int keepAlpha) {
    return IsColourFormat(format) ? ToARGB(kFormats[format], pixel, keepAlpha != 0) : 0;
}

extern "C" uint32_t FormatToRGB(uint32_t format, uint32_t pixel) {
    return (format >= 11 && format <= 13) ? ToARGB(kFormats[format], pixel, false) : pixel;
}

extern "C" uint32_t RGBToFormat(uint32_t format, uint32_t rgb) {
    return (format >= 11 && format <= 13) ? FromARGB(kFormats[format], rgb, false) : rgb;
}

extern "C" uint32_t FormatToRGB565(uint32_t format, uint32_t pixel) {
    if (format > 7 || format == uint32_t(kWork16)) return pixel;
    return FromARGB(kFormats[kWork16], ToARGB(kFormats[format], pixel & 0xFFFF, false), false);
}

extern "C" uint32_t RGB565ToFormat(uint32_t format, uint32_t rgb565) {
    if (format > 7 || format == uint32_t(kWork16)) return rgb565;
    return FromARGB(kFormats[format], ToARGB(kFormats[kWork16], rgb565 & 0xFFFF, false), false);
}

extern "C" uint32_t LoadPixelValue(const void *pixel, uint32_t format) {
    uint32_t v = 0;
    WithFormat(format, [&](auto f) { v = Load<decltype(f)::value>(static_cast<const uint8_t *>(pixel)); });
    return v;
}

extern "C" void StorePixelValue(void *pixel, uint32_t format, uint32_t value) {
    WithFormat(format, [&](auto f) { Store<decltype(f)::value>(static_cast<uint8_t *>(pixel), value); });
}

extern "C" void UnpackPixel(const void *pixel, uint32_t format, uint8_t rgba[4]) {
    if (!IsColourFormat(format)) return;
    const uint32_t c = ToARGB(kFormats[format], LoadPixelValue(pixel, format), true);
    rgba[0] = uint8_t(c >> 16);
    rgba[1] = uint8_t(c >> 8);
    rgba[2] = uint8_t(c);
    rgba[3] = uint8_t(c >> 24);
}

extern "C" void PackPixel(void *pixel, uint32_t format, const uint8_t rgba[4]) {
    if (!IsColourFormat(format)) return;
    const uint32_t c = (uint32_t(rgba[3]) << 24) | (uint32_t(rgba[0]) << 16) | (uint32_t(rgba[1]) << 8) | rgba[2];
    StorePixelValue(pixel, format, FromARGB(kFormats[format], c, true));
}

extern "C" int PixelRowToARGB(const void *src, uint32_t format, uint32_t *argb, int32_t count) {
    if (!IsColourFormat(format)) return 0;
    WithFormat(format, [&](auto f) {
        constexpr int F = decltype(f)::value;
        const uint8_t *s = static_cast<const uint8_t *>(src);
        for (int32_t i = 0; i < count; ++i) argb[i] = ToARGB<F>(Load<F>(s + size_t(i) * kFormats[F].bytes));
    });
    return 1;
}

extern "C" int ARGBToPixelRow(const uint32_t *argb, void *dst, uint32_t format, int32_t count) {
    if (!IsColourFormat(format)) return 0;
    WithFormat(format, [&](auto f) {
        constexpr int F = decltype(f)::value;
        uint8_t *d = static_cast<uint8_t *>(dst);
        for (int32_t i = 0; i < count; ++i) Store<F>(d + size_t(i) * kFormats[F].bytes, FromARGB<F>(argb[i]));
    });
    return 1;
}

extern "C" int ConvertPixelRow(const void *src, uint32_t srcFormat, void *dst, uint32_t dstFormat, int32_t count) {
    if (!IsColourFormat(srcFormat) || !IsColourFormat(dstFormat)) return 0;
    if (count <= 0) return 1;
    if (srcFormat == dstFormat) {
        std::memmove(dst, src, size_t(count) * kFormats[srcFormat].bytes);
        return 1;
    }
    // Through a small ARGB buffer so that both sides keep their tight loops.
    uint32_t buf[256];
    const uint8_t *s = static_cast<const uint8_t *>(src);
    uint8_t *d = static_cast<uint8_t *>(dst);
    while (count > 0) {
        const int32_t n = count < 256 ? count : 256;
        PixelRowToARGB(s, srcFormat, buf, n);
        ARGBToPixelRow(buf, d, dstFormat, n);
        s += size_t(n) * kFormats[srcFormat].bytes;
        d += size_t(n) * kFormats[dstFormat].bytes;
        count -= n;
    }
    return 1;
}
