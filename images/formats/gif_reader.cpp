#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "images/formats/gif_codec.h"
#include "images/formats/image_limits.h"

namespace {

struct FrameEntry {
    uint32_t delay;  // hundredths of a second
    uint8_t key;     // covers the screen, opaque, not disposal 3
    int64_t position;
};

// Reads the data sub-blocks of one image as a bit stream, least
// significant bit first.
class BlockBits {
public:
    explicit BlockBits(cxStream *s) : s_(s) {}
    // Next code of width bits, or -1 when the data end.
    int Next(int width) {
        while (nbits_ < width) {
            if (pos_ == len_) {
                if (ended_) return -1;
                const int n = ReadStreamByte(s_);
                if (n <= 0) {
                    ended_ = true;
                    return -1;
                }
                len_ = static_cast<size_t>(n);
                pos_ = 0;
                if (ReadStreamData(s_, block_, len_) != len_) {
                    ended_ = true;
                    return -1;
                }
            }
            bits_ |= uint32_t{block_[pos_++]} << nbits_;
            nbits_ += 8;
        }
        const int code = static_cast<int>(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        nbits_ -= width;
        return code;
    }
    // Skips to the block terminator. False when the file ends first.
    bool Finish() {
        if (ended_) return true;
        for (;;) {
            const int n = ReadStreamByte(s_);
            if (n < 0) return false;
            if (n == 0) return true;
            if (SeekFileStream(s_, n, CX_SEEK_CURRENT) < 0) return false;
        }
    }

private:
    cxStream *s_;
    uint8_t block_[255];
    size_t len_ = 0, pos_ = 0;
    uint32_t bits_ = 0;
    int nbits_ = 0;
    bool ended_ = false;
};

}  // namespace

struct cxGifReader {
    cxStream *stream = nullptr;
    int width = 0, height = 0;
    uint32_t globalPalette[256] = {};
    uint32_t localPalette[256] = {};
    // canvas: the screen as composed so far (malloc'd, handed to the caller
    // as frame 0 of a still); saved: made for the first disposal-3 frame;
    // first: frame 0 as shown, kept from the indexing pass.
    uint32_t *canvas = nullptr;
    uint32_t *first = nullptr;
    size_t count = 0;
    std::vector<uint32_t> saved;
    bool pending = false;  // the last frame's disposal is still to be applied
    uint32_t initial = 0;  // every canvas word at the start
    int background = 0;
    int nextFrame = -1;
    int frames = 0;
    int64_t firstBlock = 0;
    std::vector<FrameEntry> index;
    // the last decoded frame
    int disposal = 0, left = 0, top = 0, fw = 0, fh = 0, transparentIndex = -1;
    const uint32_t *palette = nullptr;
    bool transparentFlag = false, firstTransparent = false;
    bool wantTransparency = false, wantClearCanvas = false;
    // LZW tables
    uint16_t prefix[4096];
    uint8_t suffix[4096];
    uint8_t stack[4097];
    std::vector<uint8_t> row;
    ~cxGifReader() {
        free(canvas);
        free(first);
    }
};

namespace {

bool ReadPalette(cxStream *s, uint32_t *palette, int entries) {
    uint8_t rgb[768];
    const size_t n = static_cast<size_t>(entries) * 3;
    if (ReadStreamData(s, rgb, n) != n) return false;
    for (int i = 0; i < entries; i++) palette[i] = uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 | rgb[i * 3 + 2];
    for (int i = entries; i < 256; i++) palette[i] = 0;
    return true;
}

bool SkipSubBlocks(cxStream *s) {
    for (;;) {
        const int n = ReadStreamByte(s);
        if (n < 0) return false;
        if (n == 0) return true;
        if (SeekFileStream(s, n, CX_SEEK_CURRENT) < 0) return false;
    }
}

// The rectangle of the last frame, clipped to the screen.
struct Clip {
    int x0, y0, x1, y1;
};
Clip ClipFrame(const cxGifReader *r) {
    Clip c{r->left, r->top, r->left + r->fw, r->top + r->fh};
    if (c.x1 > r->width) c.x1 = r->width;
    if (c.y1 > r->height) c.y1 = r->height;
    return c;
}

void Dispose(cxGifReader *r) {
    const Clip c = ClipFrame(r);
    if (r->disposal == 2) {
        const uint32_t fill = r->palette[r->transparentIndex >= 0 ? r->transparentIndex : r->background];
        for (int y = c.y0; y < c.y1; y++)
            for (int x = c.x0; x < c.x1; x++) r->canvas[static_cast<size_t>(y) * r->width + x] = fill;
    } else if (r->disposal == 3 && !r->saved.empty()) {
        for (int y = c.y0; y < c.y1; y++) {
            const size_t at = static_cast<size_t>(y) * r->width + c.x0;
            if (c.x1 > c.x0) memcpy(&r->canvas[at], &r->saved[at], (c.x1 - c.x0) * 4u);
        }
    }
}

// One row of frame indices onto the canvas, clipped to the screen.
void PutRow(cxGifReader *r, int y) {
    const int cy = r->top + y;
    if (cy >= r->height) return;
    int n = r->fw;
    if (r->left + n > r->width) n = r->width - r->left;
    uint32_t *dst = &r->canvas[static_cast<size_t>(cy) * r->width + r->left];
    const uint8_t *src = r->row.data();
    const uint32_t *pal = r->palette;
    const int t = r->transparentIndex;
    if (t < 0) {
        for (int x = 0; x < n; x++) dst[x] = pal[src[x]] | 0xFF000000u;
    } else {
        for (int x = 0; x < n; x++)
            if (src[x] != t) dst[x] = pal[src[x]] | 0xFF000000u;
    }
}

// LZW data of one frame onto the canvas. False on corrupt or short data.
bool DecodeImage(cxGifReader *r, bool interlaced) {
    const int m = ReadStreamByte(r->stream);
    if (m < 0 || m > 8) return false;
    BlockBits bits(r->stream);
    const int clear = 1 << m, end = clear + 1;
    int avail = clear + 2, width = m + 1, old = -1;
    uint8_t firstChar = 0;
    for (int i = 0; i < clear; i++) {
        r->prefix[i] = 0;
        r->suffix[i] = static_cast<uint8_t>(i);
    }
    try {
        r->row.resize(r->fw > 0 ? r->fw : 1);
    } catch (...) {
        return false;
    }
    // Rows in the order they arrive.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    int pass = 0, y = 0, x = 0, rowsDone = 0;
    const int64_t rows = r->fh;
    if (r->fw <= 0 || rows <= 0) return bits.Finish();
    while (rowsDone < rows) {
        int code = bits.Next(width);
        if (code < 0) return false;
        if (code == clear) {
            width = m + 1;
            avail = clear + 2;
            old = -1;
            continue;
        }
        if (code == end) return false;  // rows remain
        int sp = 0;
        if (old < 0) {
            if (code >= clear) return false;
            firstChar = static_cast<uint8_t>(code);
            r->stack[sp++] = firstChar;
            old = code;
        } else {
            const int in = code;
            if (code > avail) return false;
            if (code == avail) {
                if (avail >= 4096) return false;
                r->stack[sp++] = firstChar;
                code = old;
            }
            while (code > end) {
                if (sp >= 4096) return false;
                r->stack[sp++] = r->suffix[code];
                code = r->prefix[code];
            }
            if (code >= clear) return false;
            firstChar = static_cast<uint8_t>(code);
            r->stack[sp++] = firstChar;
            if (avail < 4096) {
                r->prefix[avail] = static_cast<uint16_t>(old);
                r->suffix[avail] = firstChar;
                avail++;
                if (avail >= (1 << width) && width < 12) width++;
            }
            old = in;
        }
        while (sp > 0 && rowsDone < rows) {
            r->row[x++] = r->stack[--sp];
            if (x == r->fw) {
                PutRow(r, y);
                x = 0;
                rowsDone++;
                if (interlaced) {
                    y += kStep[pass];
                    while (y >= rows && pass < 3) y = kStart[++pass];
                } else {
                    y++;
                }
            }
        }
    }
    return bits.Finish();
}

// The block loop: decodes frames from the stream's position. last = -1 for
// the indexing pass (every frame, each indexed), else stops once frame
// `last` is on the canvas.
bool DecodeFrames(cxGifReader *r, int last) {
    cxStream *s = r->stream;
    int disposal = 0, transparent = -1;
    uint32_t delay = 0;
    int64_t frameStart = -1;  // where the current frame's first block began
    for (;;) {
        const int64_t position = SeekFileStream(s, 0, CX_SEEK_CURRENT);
        if (frameStart < 0) frameStart = position;
        const int block = ReadStreamByte(s);
        if (block < 0 || block == 0x3B) return last < 0;
        if (block == 0x21) {
            const int label = ReadStreamByte(s);
            if (label == 0xF9) {
                uint8_t g[5] = {};
                const int n = ReadStreamByte(s);
                if (n < 0) return last < 0;
                const size_t take = n < 5 ? static_cast<size_t>(n) : 5;
                if (ReadStreamData(s, g, take) != take) return last < 0;
                if (n > 5 && SeekFileStream(s, n - 5, CX_SEEK_CURRENT) < 0) return last < 0;
                disposal = (g[0] >> 2) & 7;
                delay = g[1] | g[2] << 8;
                transparent = (g[0] & 1) ? g[3] : -1;
            }
            if (label < 0 || !SkipSubBlocks(s)) return last < 0;
            continue;
        }
        if (block != 0x2C) return last < 0;  // not a GIF block: the data end here
        uint8_t d[9];
        if (ReadStreamData(s, d, 9) != 9) return false;
        const int left = d[0] | d[1] << 8, top = d[2] | d[3] << 8;
        const int fw = d[4] | d[5] << 8, fh = d[6] | d[7] << 8, flags = d[8];
        if (last < 0) {
            const bool key = fw == r->width && fh == r->height && left == 0 && top == 0 && transparent < 0 && disposal != 3;
            try {
                r->index.push_back({delay, static_cast<uint8_t>(key), frameStart});
            } catch (...) {
                return false;
            }
        }
        if (r->pending) {
            if (last < 0 && r->frames == 1) {
                // An anim: keep frame 0 as shown before it is disposed of.
                r->first = static_cast<uint32_t *>(malloc(r->count * 4));
                if (!r->first) return false;
                memcpy(r->first, r->canvas, r->count * 4);
            }
            Dispose(r);
            r->pending = false;
        }
        r->palette = r->globalPalette;
        if (flags & 0x80) {
            if (!ReadPalette(s, r->localPalette, 1 << ((flags & 7) + 1))) return false;
            r->palette = r->localPalette;
        }
        r->disposal = disposal;
        r->left = left;
        r->top = top;
        r->fw = fw;
        r->fh = fh;
        r->transparentIndex = transparent;
        if (r->frames == 0 && transparent >= 0 && disposal == 2)
            std::fill_n(r->canvas, r->count, r->palette[transparent]);
        if (disposal == 3) {
            if (r->saved.empty()) {
                try {
                    r->saved.resize(r->count);
                } catch (...) {
                    return false;
                }
            }
            const Clip c = ClipFrame(r);
            for (int y = c.y0; y < c.y1; y++) {
                const size_t at = static_cast<size_t>(y) * r->width + c.x0;
                if (c.x1 > c.x0) memcpy(&r->saved[at], &r->canvas[at], (c.x1 - c.x0) * 4u);
            }
        }
        if (!DecodeImage(r, flags & 0x40)) return false;
        r->frames++;
        r->transparentFlag = transparent >= 0 && r->wantTransparency;
        if (last < 0 && r->frames == 1) r->firstTransparent = r->transparentFlag;
        if (last >= 0 && r->frames == last + 1) return true;
        r->pending = true;
        disposal = 0;
        transparent = -1;
        delay = 0;
        frameStart = -1;
    }
}

void ResetCanvas(cxGifReader *r) {
    std::fill_n(r->canvas, r->count, r->initial);
}

}  // namespace

extern "C" cxGifReader *OpenGIFFile(cxStream *s, int *width, int *height, int *frames, int headerOnly,
                                    int transparentCanvas, int transparency) {
    if (!s) return nullptr;
    uint8_t h[13];
    if (ReadStreamData(s, h, 13) != 13 || (memcmp(h, "GIF87", 5) != 0 && memcmp(h, "GIF89", 5) != 0)) {
        CloseFileStream(s);
        return nullptr;
    }
    const int w = h[6] | h[7] << 8, ht = h[8] | h[9] << 8;
    if (width) *width = w;
    if (height) *height = ht;
    if (headerOnly || !IsImageSizeAllowed(w, ht)) {
        CloseFileStream(s);
        return nullptr;
    }
    cxGifReader *r = new (std::nothrow) cxGifReader;
    if (!r) {
        CloseFileStream(s);
        return nullptr;
    }
    r->stream = s;
    r->width = w;
    r->height = ht;
    r->background = h[11];
    r->wantTransparency = transparency != 0;
    r->wantClearCanvas = transparentCanvas && transparency;
    r->count = static_cast<size_t>(w) * ht;
    r->canvas = static_cast<uint32_t *>(malloc(r->count * 4));
    try {
        r->index.reserve(4096);
    } catch (...) {
        CloseGIFFile(r);
        return nullptr;
    }
    if (!r->canvas) {
        CloseGIFFile(r);
        return nullptr;
    }
    if ((h[10] & 0x80) && !ReadPalette(s, r->globalPalette, 1 << ((h[10] & 7) + 1))) {
        CloseGIFFile(r);
        return nullptr;
    }
    r->initial = r->wantClearCanvas ? 0 : r->globalPalette[r->background];
    ResetCanvas(r);
    r->palette = r->globalPalette;
    r->firstBlock = SeekFileStream(s, 0, CX_SEEK_CURRENT);
    if (!DecodeFrames(r, -1)) {
        CloseGIFFile(r);
        return nullptr;
    }
    if (r->frames == 1) {
        // A still: the canvas is frame 0, handed out by the first read.
        r->first = r->canvas;
        r->canvas = nullptr;
    }
    r->pending = false;
    if (frames) *frames = r->frames;
    r->nextFrame = -1;
    return r;
}

extern "C" uint32_t *ReadGIFFrame(cxGifReader *r, int n, int *transparent) {
    if (transparent) *transparent = 0;
    if (!r || n < 0 || n >= static_cast<int>(r->index.size())) return nullptr;
    if (n == 0 && r->first) {
        uint32_t *out = r->first;
        r->first = nullptr;
        if (transparent) *transparent = r->firstTransparent;
        return out;
    }
    if (!r->canvas) {
        r->canvas = static_cast<uint32_t *>(malloc(r->count * 4));
        if (!r->canvas) return nullptr;
        r->nextFrame = -1;
    }
    const size_t bytes = r->count * 4;
    uint32_t *out = static_cast<uint32_t *>(malloc(bytes));
    if (!out) return nullptr;
    if (n != r->nextFrame) {
        // From the last key frame at or before n, or from the start.
        int k = n;
        while (k >= 0 && !r->index[k].key) k--;
        int64_t at = k >= 0 ? r->index[k].position : r->firstBlock;
        if (k < 0) {
            ResetCanvas(r);
            k = 0;
        }
        r->pending = false;
        r->frames = k;
        if (SeekFileStream(r->stream, at, CX_SEEK_BEGINNING) < 0) {
            free(out);
            return nullptr;
        }
    }
    if (!DecodeFrames(r, n)) {
        r->nextFrame = -1;
        free(out);
        return nullptr;
    }
    memcpy(out, r->canvas, bytes);
    r->pending = true;
    r->nextFrame = n + 1;
    if (transparent) *transparent = r->transparentFlag;
    return out;
}

extern "C" int GetGIFFrameDelay(cxGifReader *r, int frame) {
    if (!r || frame < 0 || frame >= static_cast<int>(r->index.size())) return 0;
    return static_cast<int>(r->index[frame].delay * 10);
}

extern "C" void CloseGIFFile(cxGifReader *r) {
    if (!r) return;
    if (r->stream) CloseFileStream(r->stream);
    delete r;
}
