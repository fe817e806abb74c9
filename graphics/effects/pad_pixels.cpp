#include "graphics/effects/pad_pixels.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace {

constexpr int64_t kMaxEntries = int64_t(1) << 28;

int64_t PaddedRow(int32_t width, int32_t kernelWidth) {
    return (int64_t(width) + 2 * (kernelWidth / 2) + 3) & ~int64_t(3);
}

template <class T>
T *Pad(const T *pixels, int32_t width, int32_t height, int32_t rowLength, int32_t kernelWidth, T *buffer,
       int32_t *paddedRowLength) {
    const int64_t entries = PaddedBufferEntries(width, height, kernelWidth);
    if (!pixels || entries == 0 || rowLength < width) return nullptr;
    T *out = buffer ? buffer : static_cast<T *>(std::malloc(size_t(entries) * sizeof(T)));
    if (!out) return nullptr;
    const int32_t half = kernelWidth / 2;
    const int64_t prow = PaddedRow(width, kernelWidth);
    for (int64_t y = 0; y < int64_t(height) + 2 * half; ++y) {
        const T *src = pixels + ptrdiff_t(std::clamp<int64_t>(y - half, 0, height - 1)) * rowLength;
        T *dst = out + y * prow;
        std::fill(dst, dst + half, src[0]);
        std::copy(src, src + width, dst + half);
        // The edge pixel repeats to the end of the rounded row.
        std::fill(dst + half + width, dst + prow, src[width - 1]);
    }
    if (paddedRowLength) *paddedRowLength = int32_t(prow);
    return out;
}

} // namespace

extern "C" int64_t PaddedBufferEntries(int32_t width, int32_t height, int32_t kernelWidth) {
    if (width < 1 || height < 1 || kernelWidth < 1) return 0;
    const int64_t n = PaddedRow(width, kernelWidth) * (int64_t(height) + 2 * (kernelWidth / 2));
    return n <= kMaxEntries ? n : 0;
}

extern "C" uint32_t *PadPixels32(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength,
                                 int32_t kernelWidth, uint32_t *buffer, int32_t *paddedRowLength) {
    return Pad(pixels, width, height, rowLength, kernelWidth, buffer, paddedRowLength);
}
extern "C" uint16_t *PadPixels16(const uint16_t *pixels, int32_t width, int32_t height, int32_t rowLength,
                                 int32_t kernelWidth, uint16_t *buffer, int32_t *paddedRowLength) {
    return Pad(pixels, width, height, rowLength, kernelWidth, buffer, paddedRowLength);
}
extern "C" uint8_t *PadAlphaBytes(const uint8_t *bytes, int32_t width, int32_t height, int32_t rowLength,
                                  int32_t kernelWidth, uint8_t *buffer, int32_t *paddedRowLength) {
    return Pad(bytes, width, height, rowLength, kernelWidth, buffer, paddedRowLength);
}
