#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "errors/errors.h"
#include "images/formats/gif_codec.h"

struct cxGifWriter {
    cxStream *stream = nullptr;
    int frames = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> previous;  // indices of the previous frame (differential frames)
    uint32_t previousPalette[256] = {};
    bool failed = false;
};

namespace {

// Packs codes least significant bit first into sub-blocks of 254 bytes.
class CodeWriter {
public:
    explicit CodeWriter(cxGifWriter *w) : w_(w) {}
    void Put(int code, int width) {
        bits_ |= static_cast<uint32_t>(code) << nbits_;
        nbits_ += width;
        while (nbits_ >= 8) {
            Byte(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            nbits_ -= 8;
        }
    }
    void Finish() {
        if (nbits_ > 0) Byte(static_cast<uint8_t>(bits_));
        Flush();
        Write("\0", 1);
    }

private:
    void Byte(uint8_t b) {
        block_[len_++] = b;
        if (len_ == 254) Flush();
    }
    void Flush() {
        if (!len_) return;
        uint8_t n = static_cast<uint8_t>(len_);
        Write(&n, 1);
        Write(block_, len_);
        len_ = 0;
    }
    void Write(const void *p, size_t n) {
        if (WriteStream(w_->stream, p, n) != n) w_->failed = true;
    }
    cxGifWriter *w_;
    uint8_t block_[255];
    size_t len_ = 0;
    uint32_t bits_ = 0;
    int nbits_ = 0;
};

constexpr int kHashSize = 5003;

// LZW with a hash table of (prefix, pixel) strings, as GIF encoders do.
void Compress(cxGifWriter *w, int m, const uint8_t *rowsBase, int stride, int rw, int rh) {
    std::vector<int32_t> keys(kHashSize, -1);
    std::vector<uint16_t> codes(kHashSize, 0);
    CodeWriter out(w);
    const int clear = 1 << m, end = clear + 1;
    int width = m + 1, next = clear + 2, maxCode = (1 << width) - 1;
    out.Put(clear, width);
    auto pixel = [&](size_t i) { return rowsBase[(i / rw) * stride + i % rw]; };
    const size_t total = static_cast<size_t>(rw) * rh;
    int prefix = pixel(0);
    for (size_t i = 1; i < total; i++) {
        const int c = pixel(i);
        const int32_t key = (c << 12) | prefix;
        int h = ((c << 4) + prefix) % kHashSize;
        const int step = h == 0 ? 1 : kHashSize - h;
        bool found = false;
        while (keys[h] != -1) {
            if (keys[h] == key) {
                prefix = codes[h];
                found = true;
                break;
            }
            h -= step;
            if (h < 0) h += kHashSize;
        }
        if (found) continue;
        out.Put(prefix, width);
        // The decoder's table runs one code behind: widen after sending.
        if (next > maxCode && width < 12) {
            width++;
            maxCode = width == 12 ? 4096 : (1 << width) - 1;
        }
        if (next < 4096) {
            keys[h] = key;
            codes[h] = static_cast<uint16_t>(next++);
        } else {
            // Table full: start again.
            out.Put(clear, width);
            std::fill(keys.begin(), keys.end(), -1);
            width = m + 1;
            next = clear + 2;
            maxCode = (1 << width) - 1;
        }
        prefix = c;
    }
    out.Put(prefix, width);
    if (next > maxCode && width < 12) width++;
    out.Put(end, width);
    out.Finish();
}

void Put16(uint8_t *p, int v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}

}  // namespace

extern "C" int CreateGIFFile(const char *file, int width, int height, cxGifWriter **writer) {
    *writer = nullptr;
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return ERR_MEM;
    cxGifWriter *w = new (std::nothrow) cxGifWriter;
    if (!w) return ERR_MEM;
    w->width = width;
    w->height = height;
    w->stream = OpenFileStream(file, CX_STREAM_WRITE, nullptr);
    if (!w->stream) {
        delete w;
        SetErrorDetail(file);
        return ERR_WRITEFILE;
    }
    uint8_t header[13 + 768] = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(header + 6, width);
    Put16(header + 8, height);
    header[10] = 0xF7;
    memcpy(header + 13, "Amiga rules!", 12);
    if (WriteStream(w->stream, header, sizeof header) != sizeof header) w->failed = true;
    *writer = w;
    return 0;
}

extern "C" int WriteGIFFile(cxGifWriter *w, uint8_t *indices, int width, int height, int delay, uint32_t *palette,
                            int colours, int transparentIndex, int differential, int transparentUnchanged) {
    if (!w || !indices || !palette || width < 1 || height < 1 || width > w->width || height > w->height) return ERR_MEM;
    if (colours < 1) colours = 1;
    if (colours > 256) colours = 256;
    for (int i = colours; i < 256; i++) palette[i] = 0xFFFFFFFFu;
    int bits = 8;
    for (int b = 1; b <= 7; b++)
        if (colours <= (1 << b)) {
            bits = b;
            break;
        }
    const int m = bits < 2 ? 2 : bits;
    const int unchanged = colours - 1;

    uint8_t gce[8] = {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0};
    if (transparentIndex >= 0) {
        gce[3] = 9;
        gce[6] = static_cast<uint8_t>(transparentIndex);
    } else {
        gce[3] = differential && transparentUnchanged ? 5 : 4;
        gce[6] = static_cast<uint8_t>(unchanged);
    }
    Put16(gce + 4, delay / 10);
    if (WriteStream(w->stream, gce, 8) != 8) w->failed = true;
    if (w->frames == 0) {
        static const uint8_t loop[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
        if (WriteStream(w->stream, loop, sizeof loop) != sizeof loop) w->failed = true;
    }

    // The rectangle: the whole picture, or for a differential frame the box
    // of pixels whose colour changed, unchanged ones inside it marked.
    int x0 = 0, y0 = 0, x1 = width, y1 = height;
    std::vector<uint8_t> original;
    const bool diff = differential && transparentIndex < 0 && w->frames > 0 && !w->previous.empty();
    if (diff) {
        x0 = width, y0 = height, x1 = 0, y1 = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                const size_t i = static_cast<size_t>(y) * width + x;
                if (palette[indices[i]] != w->previousPalette[w->previous[i]]) {
                    if (x < x0) x0 = x;
                    if (y < y0) y0 = y;
                    if (x + 1 > x1) x1 = x + 1;
                    if (y + 1 > y1) y1 = y + 1;
                }
            }
        if (x1 == 0) {
            x0 = y0 = 0;
            x1 = width < 2 ? width : 2;
            y1 = 1;
            for (int x = 0; x < x1; x++) indices[x] = static_cast<uint8_t>(unchanged);
        }
        try {
            original.assign(indices, indices + static_cast<size_t>(width) * height);
        } catch (...) {
            return ERR_MEM;
        }
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) {
                const size_t i = static_cast<size_t>(y) * width + x;
                if (palette[indices[i]] == w->previousPalette[w->previous[i]]) indices[i] = static_cast<uint8_t>(unchanged);
            }
    }

    uint8_t desc[10] = {0x2C};
    Put16(desc + 1, x0);
    Put16(desc + 3, y0);
    Put16(desc + 5, x1 - x0);
    Put16(desc + 7, y1 - y0);
    desc[9] = static_cast<uint8_t>(0x80 + (bits - 1));
    if (WriteStream(w->stream, desc, 10) != 10) w->failed = true;
    uint8_t table[768] = {};
    for (int i = 0; i < (1 << bits); i++) {
        const uint32_t c = i < colours ? palette[i] : 0;
        table[i * 3] = (c >> 16) & 0xFF;
        table[i * 3 + 1] = (c >> 8) & 0xFF;
        table[i * 3 + 2] = c & 0xFF;
    }
    const size_t tableBytes = static_cast<size_t>(3) << bits;
    if (WriteStream(w->stream, table, tableBytes) != tableBytes) w->failed = true;
    const uint8_t mcs = static_cast<uint8_t>(m);
    if (WriteStream(w->stream, &mcs, 1) != 1) w->failed = true;
    Compress(w, m, indices + static_cast<size_t>(y0) * width + x0, width, x1 - x0, y1 - y0);
    w->frames++;

    if (differential) {
        try {
            if (w->previous.empty()) w->previous.assign(static_cast<size_t>(width) * height, 0);
        } catch (...) {
            return ERR_MEM;
        }
        const uint8_t *src = original.empty() ? indices : original.data();
        if (!diff) {
            memcpy(w->previous.data(), src, static_cast<size_t>(width) * height);
        } else {
            for (int y = y0; y < y1; y++)
                memcpy(&w->previous[static_cast<size_t>(y) * width + x0], src + static_cast<size_t>(y) * width + x0, x1 - x0);
        }
        memcpy(w->previousPalette, palette, sizeof w->previousPalette);
    }
    return w->failed ? ERR_WRITE : 0;
}

extern "C" int FinishGIFFile(cxGifWriter *w) {
    if (!w) return 0;
    const uint8_t trailer = 0x3B;
    if (WriteStream(w->stream, &trailer, 1) != 1) w->failed = true;
    const bool closed = CloseFileStream(w->stream);
    const bool failed = w->failed || !closed;
    delete w;
    return failed ? ERR_WRITE : 0;
}
