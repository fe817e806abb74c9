#include <stdlib.h>
#include <string.h>

#include <vector>

#include "errors/errors.h"
#include "images/formats/bitplanes.h"
#include "images/formats/ilbm_codec.h"

namespace {

struct StreamCloser {
    cxStream *s;
    ~StreamCloser() {
        if (s) CloseFileStream(s);
    }
};

// ByteRun1: runs of 3 or more equal bytes (up to 128) as 1 - n and the
// byte, everything else in literal groups of up to 128.
size_t PackRow(const uint8_t *in, size_t n, uint8_t *out) {
    size_t o = 0, i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && in[i + run] == in[i]) run++;
        if (run >= 3) {
            out[o++] = static_cast<uint8_t>(1 - static_cast<int>(run));
            out[o++] = in[i];
            i += run;
            continue;
        }
        size_t start = i, lit = 0;
        while (i < n && lit < 128) {
            if (i + 2 < n && in[i] == in[i + 1] && in[i] == in[i + 2]) break;
            i++;
            lit++;
        }
        out[o++] = static_cast<uint8_t>(lit - 1);
        memcpy(out + o, in + start, lit);
        o += lit;
    }
    return o;
}

void Put32(uint8_t *p, uint32_t v) {
    p[0] = v >> 24;
    p[1] = (v >> 16) & 0xFF;
    p[2] = (v >> 8) & 0xFF;
    p[3] = v & 0xFF;
}
void Put16(uint8_t *p, uint32_t v) {
    p[0] = (v >> 8) & 0xFF;
    p[1] = v & 0xFF;
}

}  // namespace

extern "C" int SaveILBMImage(const char *file, const uint32_t *pixels, int width, int height) {
    if (!pixels || width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return ERR_MEM;
    StreamCloser out{OpenFileStream(file, CX_STREAM_WRITE, nullptr)};
    if (!out.s) {
        SetErrorDetail(file);
        return ERR_WRITEFILE;
    }
    uint8_t header[48] = {};
    memcpy(header, "FORM", 4);
    memcpy(header + 8, "ILBMBMHD", 8);
    Put32(header + 16, 20);
    Put16(header + 20, width);
    Put16(header + 22, height);
    header[28] = 24;
    header[30] = 1;
    header[34] = header[35] = 1;
    Put16(header + 36, width);
    Put16(header + 38, height);
    memcpy(header + 40, "BODY", 4);
    if (WriteStream(out.s, header, sizeof header) != sizeof header) return ERR_WRITE;

    const size_t bpr = CX_PLANE_ROW_BYTES(width);
    std::vector<uint8_t> planes, packed;
    try {
        planes.assign(24 * bpr, 0);
        packed.resize(bpr + bpr / 128 + 2);
    } catch (...) {
        return ERR_MEM;
    }
    uint64_t body = 0;
    for (int y = 0; y < height; y++) {
        // One row of 24 planes at a time: red bits in planes 0-7, green 8-15, blue 16-23.
        std::fill(planes.begin(), planes.end(), 0);
        const uint32_t *row = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; x++) {
            const uint32_t c = row[x];
            const uint32_t rgb[3] = {(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF};
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            for (int k = 0; k < 3; k++)
                for (int b = 0; b < 8; b++)
                    if (rgb[k] & (1u << b)) planes[(k * 8 + b) * bpr + (x >> 3)] |= bit;
        }
        for (int p = 0; p < 24; p++) {
            const size_t n = PackRow(&planes[p * bpr], bpr, packed.data());
            if (WriteStream(out.s, packed.data(), n) != n) return ERR_WRITE;
            body += n;
        }
    }
    if (body > 0xFFFFFFF0u) return ERR_WRITE;
    if (body & 1) {
        if (!WriteStreamByte(out.s, 0)) return ERR_WRITE;
    }
    uint8_t size[4];
    Put32(size, static_cast<uint32_t>(body));
    if (SeekFileStream(out.s, 44, CX_SEEK_BEGINNING) < 0 || WriteStream(out.s, size, 4) != 4) return ERR_WRITE;
    Put32(size, static_cast<uint32_t>(40 + body + (body & 1)));
    if (SeekFileStream(out.s, 4, CX_SEEK_BEGINNING) < 0 || WriteStream(out.s, size, 4) != 4) return ERR_WRITE;
    cxStream *s = out.s;
    out.s = nullptr;
    return CloseFileStream(s) ? 0 : ERR_WRITE;
}
