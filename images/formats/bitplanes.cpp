#include "images/formats/bitplanes.h"

#include <string.h>

namespace {

// Bit (7 - i) of a byte as byte i of a word: eight pixels of one plane at once.
struct SpreadTable {
    uint64_t v[256];
    SpreadTable() {
        for (int b = 0; b < 256; b++) {
            uint64_t w = 0;
            for (int i = 0; i < 8; i++)
                if (b & (0x80 >> i)) w |= uint64_t{1} << (8 * i);
            v[b] = w;
        }
    }
};
const SpreadTable kSpread;

inline void StoreLE64(uint8_t *p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    memcpy(p, &v, 8);
}

// One plane row of ByteRun1 data; runs are cut at the row's end. False when
// the data end first.
bool UnpackRow(cxStream *s, uint8_t *out, size_t n) {
    size_t x = 0;
    while (x < n) {
        const int c = ReadStreamByte(s);
        if (c < 0) return false;
        const int8_t control = static_cast<int8_t>(c);
        if (control >= 0) {
            const size_t count = static_cast<size_t>(control) + 1;
            const size_t take = count < n - x ? count : n - x;
            if (ReadStreamData(s, out + x, take) != take) return false;
            for (size_t i = take; i < count; i++)
                if (ReadStreamByte(s) < 0) return false;
            x += take;
        } else if (control != -128) {
            const int v = ReadStreamByte(s);
            if (v < 0) return false;
            size_t count = static_cast<size_t>(1 - control);
            if (count > n - x) count = n - x;
            memset(out + x, v, count);
            x += count;
        }
    }
    return true;
}

// The row reader both body readers share: each row's planes in turn, the
// mask plane after them when masking is 1.
template <class ReadRow>
int ReadBody(uint8_t *planes, int width, int height, int depth, int masking, ReadRow readRow) {
    const size_t bpr = CX_PLANE_ROW_BYTES(width);
    uint8_t mask[CX_PLANE_ROW_BYTES(65535)];
    for (int y = 0; y < height; y++) {
        for (int p = 0; p < depth; p++) {
            uint8_t *row = depth > 8 ? planes + (static_cast<size_t>(y) * depth + p) * bpr
                                     : planes + (static_cast<size_t>(p) * height + y) * bpr;
            if (!readRow(row, bpr)) return 0;
        }
        if (masking == 1 && !readRow(mask, bpr)) return 0;
    }
    return 1;
}

}  // namespace

extern "C" int FindILBMChunk(cxStream *s, const char *id) {
    uint32_t want, body;
    memcpy(&want, id, 4);
    memcpy(&body, "BODY", 4);
    uint8_t w[4];
    if (ReadStreamData(s, w, 4) != 4) {
        if (SeekFileStream(s, 12, CX_SEEK_BEGINNING) < 0 || ReadStreamData(s, w, 4) != 4) return 0;
    }
    int turns = 0;
    for (;;) {
        uint32_t cur;
        memcpy(&cur, w, 4);
        if (cur == want) return 1;
        if (cur == body && ++turns == 2) return 0;
        const int c = ReadStreamByte(s);
        if (c < 0) {
            if (++turns == 2) return 0;
            if (SeekFileStream(s, 12, CX_SEEK_BEGINNING) < 0 || ReadStreamData(s, w, 4) != 4) return 0;
            continue;
        }
        memmove(w, w + 1, 3);
        w[3] = static_cast<uint8_t>(c);
    }
}

extern "C" int ReadRawBitplanes(cxStream *s, uint8_t *planes, uint32_t, int width, int height, int depth, int masking) {
    return ReadBody(planes, width, height, depth, masking,
                    [s](uint8_t *row, size_t n) { return ReadStreamData(s, row, n) == n; });
}

extern "C" int ReadByteRun1Bitplanes(cxStream *s, uint8_t *planes, uint32_t, int width, int height, int depth,
                                     int masking) {
    return ReadBody(planes, width, height, depth, masking, [s](uint8_t *row, size_t n) { return UnpackRow(s, row, n); });
}

extern "C" void ConvertBitplanes(const uint8_t *planes, int width, int height, int depth, size_t bpr, void *output,
                                 size_t outputBytesPerRow) {
    const int fullBytes = width / 8;
    const int tail = width % 8;
    if (depth <= 8) {
        uint8_t *out = static_cast<uint8_t *>(output);
        for (int y = 0; y < height; y++) {
            uint8_t *dst = out + static_cast<size_t>(y) * width;
            for (int b = 0; b < fullBytes; b++) {
                uint64_t v = 0;
                for (int p = depth - 1; p >= 0; p--) v |= kSpread.v[planes[(static_cast<size_t>(p) * height + y) * bpr + b]] << p;
                uint64_t old;
                memcpy(&old, dst + b * 8, 8);
                StoreLE64(dst + b * 8, v | old);
            }
            if (tail) {
                uint64_t v = 0;
                for (int p = depth - 1; p >= 0; p--)
                    v |= kSpread.v[planes[(static_cast<size_t>(p) * height + y) * bpr + fullBytes]] << p;
                for (int i = 0; i < tail; i++) dst[fullBytes * 8 + i] |= static_cast<uint8_t>(v >> (8 * i));
            }
        }
        return;
    }
    if (depth != 24) return;
    for (int y = 0; y < height; y++) {
        const uint8_t *row = planes + static_cast<size_t>(y) * 24 * bpr;
        uint8_t *dst = static_cast<uint8_t *>(output) + static_cast<size_t>(y) * outputBytesPerRow;
        for (int b = 0; b * 8 < width; b++) {
            uint64_t comp[3] = {0, 0, 0};
            for (int c = 0; c < 3; c++)
                for (int p = 7; p >= 0; p--) comp[c] |= kSpread.v[row[(c * 8 + p) * bpr + b]] << p;
            const int n = width - b * 8 < 8 ? width - b * 8 : 8;
            for (int i = 0; i < n; i++) {
                uint8_t *px = dst + (static_cast<size_t>(b) * 8 + i) * 4;
                px[0] = 0;
                px[1] = static_cast<uint8_t>(comp[0] >> (8 * i));
                px[2] = static_cast<uint8_t>(comp[1] >> (8 * i));
                px[3] = static_cast<uint8_t>(comp[2] >> (8 * i));
            }
        }
    }
}

extern "C" void DecodeHAM6(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width, int height) {
    for (int y = 0; y < height; y++) {
        uint32_t c = 0;
        for (int x = 0; x < width; x++, indices++, pixels++) {
            const unsigned v = *indices;
            const uint32_t value = (v & 15) << 4;
            switch ((v >> 4) & 3) {
            case 0: c = palette[v & 15]; break;
            case 1: c = (c & 0xFFFF00) | value; break;
            case 2: c = (c & 0x00FFFF) | value << 16; break;
            default: c = (c & 0xFF00FF) | value << 8; break;
            }
            *pixels = c;
        }
    }
}

extern "C" void DecodeHAM8(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width, int height) {
    for (int y = 0; y < height; y++) {
        uint32_t c = 0;
        for (int x = 0; x < width; x++, indices++, pixels++) {
            const unsigned v = *indices;
            const uint32_t value = (v & 63) << 2;
            switch (v >> 6) {
            case 0: c = palette[v]; break;
            case 1: c = (c & 0xFFFF00) | value; break;
            case 2: c = (c & 0x00FFFF) | value << 16; break;
            default: c = (c & 0xFF00FF) | value << 8; break;
            }
            *pixels = c;
        }
    }
}

extern "C" void MapPaletteIndices(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width,
                                  int height) {
    const size_t n = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < n; i++) pixels[i] = palette[indices[i]];
}

extern "C" void ApplyExtraHalfBrite(uint32_t *palette) {
    for (int i = 0; i < 32; i++) palette[32 + i] = (palette[i] >> 1) & 0x7F7F7F;
}
