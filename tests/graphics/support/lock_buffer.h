// Test buffers that hand out lock records, with a guard zone behind the rows
// so that a kernel writing past its rectangle is caught.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"

namespace cxtest {

struct PixelBuffer {
    uint32_t format;
    int32_t width, height, rowLength; // rowLength in pixels (colour) or bytes (alpha, mask)
    uint32_t unit;
    std::vector<uint8_t> bytes;

    PixelBuffer(uint32_t fmt, int32_t w, int32_t h, int32_t pad = 3)
        : format(fmt), width(w), height(h), rowLength(0), unit(1) {
        if (fmt == CX_PIXFMT_MASK) rowLength = (w + 7) / 8 + pad;
        else rowLength = w + pad;
        if (fmt < CX_PIXFMT_COUNT) unit = GetBytesPerPixel(fmt);
        bytes.assign(size_t(rowLength) * h * unit, 0);
    }
    uint8_t *At(int32_t x, int32_t y) { return bytes.data() + (size_t(y) * rowLength + x) * unit; }
    uint32_t Get(int32_t x, int32_t y) { return LoadPixelValue(At(x, y), format); }
    void Set(int32_t x, int32_t y, uint32_t v) { StorePixelValue(At(x, y), format, v); }
    bool Bit(int32_t x, int32_t y) const {
        return (bytes[size_t(y) * rowLength + (x >> 3)] >> (7 - (x & 7))) & 1;
    }
    void SetBit(int32_t x, int32_t y, bool on) {
        uint8_t &b = bytes[size_t(y) * rowLength + (x >> 3)];
        const uint8_t m = uint8_t(0x80 >> (x & 7));
        b = on ? (b | m) : (b & ~m);
    }
    void Randomise(uint32_t seed) {
        std::mt19937 rng(seed);
        for (auto &b : bytes) b = uint8_t(rng());
    }
    cxOsBitmapLock Lock() {
        cxOsBitmapLock l{};
        l.pixels = bytes.data();
        l.locked = 1;
        l.pixelFormat = format;
        l.bytesPerPixel = unit;
        l.rowLength = uint32_t(rowLength);
        l.width = width;
        l.height = height;
        l.plainMemory = 1;
        return l;
    }
};

} // namespace cxtest
