#include <stdlib.h>

#include <vector>

#include "errors/errors.h"
#include "images/formats/bmp_codec.h"

namespace {

void Put32(uint8_t *p, uint32_t v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
    p[2] = (v >> 16) & 0xFF;
    p[3] = v >> 24;
}

struct StreamCloser {
    cxStream *s;
    ~StreamCloser() {
        if (s) CloseFileStream(s);
    }
};

}  // namespace

extern "C" int SaveBMPImage(const char *file, const uint32_t *pixels, int bytesPerRow, int width, int height) {
    if (!pixels || width < 1 || height < 1) return ERR_MEM;
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const uint64_t dataSize = static_cast<uint64_t>(rowBytes) * height;
    if (dataSize + 54 > 0xFFFFFFFFu) return ERR_MEM;
    std::vector<uint8_t> row;
    try {
        row.assign(rowBytes, 0);
    } catch (...) {
        return ERR_MEM;
    }
    StreamCloser out{OpenFileStream(file, CX_STREAM_WRITE, nullptr)};
    if (!out.s) {
        SetErrorDetail(file);
        return ERR_WRITEFILE;
    }
    uint8_t header[54] = {'B', 'M'};
    Put32(header + 2, static_cast<uint32_t>(54 + dataSize));
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(width));
    Put32(header + 22, static_cast<uint32_t>(height));
    header[26] = 1;
    header[28] = 24;
    Put32(header + 34, static_cast<uint32_t>(dataSize));
    Put32(header + 38, 2835);  // 72 dots per inch
    Put32(header + 42, 2835);
    if (WriteStream(out.s, header, sizeof header) != sizeof header) return ERR_WRITE;
    for (int y = height - 1; y >= 0; y--) {
        const uint32_t *src = reinterpret_cast<const uint32_t *>(reinterpret_cast<const uint8_t *>(pixels) +
                                                                 static_cast<size_t>(y) * bytesPerRow);
        uint8_t *p = row.data();
        for (int x = 0; x < width; x++, p += 3) {
            p[0] = src[x] & 0xFF;
            p[1] = (src[x] >> 8) & 0xFF;
            p[2] = (src[x] >> 16) & 0xFF;
        }
        if (WriteStream(out.s, row.data(), rowBytes) != rowBytes) return ERR_WRITE;
    }
    cxStream *s = out.s;
    out.s = nullptr;
    return CloseFileStream(s) ? 0 : ERR_WRITE;
}
