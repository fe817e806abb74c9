#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "errors/error_codes.h"
#include "images/formats/bmp_codec.h"
#include "images/formats/image_limits.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};

uint32_t U32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct Header {
    uint32_t fileSize;
    uint32_t dataOffset;
    uint32_t infoSize;
    int32_t width;
    int32_t height;
    int bits;
    uint32_t compression;
    uint32_t coloursUsed;
};

// RLE8 into an index buffer whose rows are stored bottom-up. Runs are cut at
// the row's end and the decoder never leaves the buffer, whatever the data.
void DecodeRle8(cxStream *s, int64_t available, uint8_t *indices, int width, int height) {
    std::vector<uint8_t> row((static_cast<size_t>(width) + 3) & ~size_t{3}, 0);
    const size_t rowLen = row.size();
    int stored = 0;  // rows stored so far, counted from the bottom
    size_t x = 0;
    int64_t used = 0;
    auto store = [&] {
        if (stored < height) memcpy(indices + static_cast<size_t>(height - 1 - stored) * width, row.data(), width);
        stored++;
    };
    auto next = [&]() -> int {
        if (used >= available) return -1;
        used++;
        return ReadStreamByte(s);
    };
    while (stored < height) {
        const int c = next();
        const int v = next();
        if (c < 0 || v < 0) break;
        if (c > 0) {
            for (int i = 0; i < c && x < rowLen; i++) row[x++] = static_cast<uint8_t>(v);
        } else if (v == 0) {
            store();
            std::fill(row.begin(), row.end(), 0);
            x = 0;
        } else if (v == 1) {
            store();
            return;
        } else if (v == 2) {
            const int dx = next();
            const int dy = next();
            if (dx < 0 || dy < 0) break;
            if (dy > 0) {
                store();
                std::fill(row.begin(), row.end(), 0);
                for (int i = 1; i < dy && stored < height; i++) store();
            }
            x += static_cast<size_t>(dx);
        } else {
            for (int i = 0; i < v; i++) {
                const int b = next();
                if (b < 0) break;
                if (x < rowLen) row[x++] = static_cast<uint8_t>(b);
            }
            if (v & 1) next();
        }
    }
}

}  // namespace

extern "C" int LoadBMPImage(cxStream *s, int headerOnly, int *width, int *height, uint32_t **pixels) {
    if (pixels) *pixels = nullptr;
    uint8_t raw[54] = {};
    const size_t got = ReadStreamData(s, raw, sizeof raw);
    if (got < 2) return ERR_READ;
    if (raw[0] != 'B' || raw[1] != 'M' || got < sizeof raw) return ERR_LOADPICTURE2;

    Header h{};
    h.fileSize = U32(raw + 2);
    h.dataOffset = U32(raw + 10);
    h.infoSize = U32(raw + 14);
    h.width = static_cast<int32_t>(U32(raw + 18));
    h.height = static_cast<int32_t>(U32(raw + 22));
    h.bits = U16(raw + 28);
    h.compression = U32(raw + 30);
    h.coloursUsed = U32(raw + 46);
    if (headerOnly || !pixels) {
        if (width) *width = h.width;
        if (height) *height = h.height;
        return 0;
    }

    // Bottom-up pictures of the depths decoded here, with an information
    // header of at least 40 bytes; RLE4 and 32 bits are not decoded.
    const bool rle8 = h.bits == 8 && h.compression == 1;
    if (h.height < 1 || h.width < 1 || h.infoSize < 40 || !IsImageSizeAllowed(h.width, h.height)) return ERR_LOADPICTURE2;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24) return ERR_LOADPICTURE2;
    if (h.bits == 4 && h.compression == 2) return ERR_LOADPICTURE2;

    const size_t w = static_cast<size_t>(h.width);
    const size_t rowBytes = ((w * h.bits + 31) / 32) * 4;
    const uint64_t streamSize = GetStreamSize(s);
    const uint64_t need = static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(h.height);
    if (!rle8 && streamSize != CX_STREAM_SIZE_UNKNOWN && (h.dataOffset > streamSize || need > streamSize - h.dataOffset))
        return ERR_LOADPICTURE2;

    std::unique_ptr<uint32_t, FreeDeleter> out(static_cast<uint32_t *>(malloc(w * h.height * 4)));
    if (!out) return ERR_MEM;
    std::unique_ptr<uint8_t, FreeDeleter> row(static_cast<uint8_t *>(malloc(rowBytes)));
    if (!row) return ERR_MEM;
    uint32_t *px = out.get();

    if (h.bits > 8) {
        if (SeekFileStream(s, h.dataOffset, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
        for (int k = 0; k < h.height; k++) {
            if (ReadStreamData(s, row.get(), rowBytes) != rowBytes) return ERR_LOADPICTURE2;
            uint32_t *dst = px + (h.height - 1 - k) * w;
            const uint8_t *p = row.get();
            if (h.bits == 24) {
                for (size_t x = 0; x < w; x++, p += 3) dst[x] = p[2] << 16 | p[1] << 8 | p[0];
            } else {
                for (size_t x = 0; x < w; x++, p += 2) {
                    const unsigned v = U16(p);
                    dst[x] = ((v >> 11) << 3) << 16 | (((v >> 5) & 0x3F) << 2) << 8 | (v & 0x1F) << 3;
                }
            }
        }
    } else {
        std::unique_ptr<uint8_t, FreeDeleter> indices(static_cast<uint8_t *>(calloc(w * h.height, 1)));
        if (!indices) return ERR_MEM;
        // The palette follows the information header, whatever its size.
        const unsigned maxColours = 1u << h.bits;
        unsigned colours = h.coloursUsed ? h.coloursUsed : maxColours;
        if (colours > 256) colours = 256;
        uint32_t palette[256] = {};
        uint8_t entries[256 * 4];
        if (SeekFileStream(s, 14 + static_cast<int64_t>(h.infoSize), CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
        if (ReadStreamData(s, entries, colours * 4) != colours * 4) return ERR_LOADPICTURE2;
        for (unsigned i = 0; i < colours; i++)
            palette[i] = entries[i * 4 + 2] << 16 | entries[i * 4 + 1] << 8 | entries[i * 4];

        if (SeekFileStream(s, h.dataOffset, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
        uint8_t *idx = indices.get();
        if (rle8) {
            const int64_t available = h.fileSize > h.dataOffset ? int64_t{h.fileSize} - h.dataOffset : 0;
            DecodeRle8(s, available, idx, h.width, h.height);
        } else {
            for (int k = 0; k < h.height; k++) {
                if (ReadStreamData(s, row.get(), rowBytes) != rowBytes) return ERR_LOADPICTURE2;
                uint8_t *dst = idx + (h.height - 1 - k) * w;
                const uint8_t *p = row.get();
                if (h.bits == 8) memcpy(dst, p, w);
                else if (h.bits == 4)
                    for (size_t x = 0; x < w; x++) dst[x] = (p[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
                else
                    for (size_t x = 0; x < w; x++) dst[x] = (p[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
        const size_t n = w * h.height;
        for (size_t i = 0; i < n; i++) px[i] = idx[i] < colours ? palette[idx[i]] : 0;
    }
    if (width) *width = h.width;
    if (height) *height = h.height;
    *pixels = out.release();
    return 0;
}
