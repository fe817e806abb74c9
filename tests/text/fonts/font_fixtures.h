// Test support for the font engine: a temporary folder, bitmap font files
// written byte by byte, and a canvas to draw into.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"

namespace fontfix {

class TempDir {
public:
    TempDir() {
        char t[] = "/tmp/cxfonttestXXXXXX";
        path_ = mkdtemp(t);
    }
    ~TempDir() {
        nftw(path_.c_str(), [](const char *p, const struct stat *, int, FTW *) { return remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}
inline std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Bytes {
    std::vector<uint8_t> b;
    void At(size_t o) {
        if (b.size() < o) b.resize(o);
    }
    void U8(size_t o, uint32_t v) {
        At(o + 1);
        b[o] = uint8_t(v);
    }
    void U16(size_t o, uint32_t v) {
        U8(o, v >> 8);
        U8(o + 1, v);
    }
    void U32(size_t o, uint32_t v) {
        U16(o, v >> 16);
        U16(o + 2, v);
    }
    void Put(size_t o, const std::vector<uint8_t> &v) {
        At(o + v.size());
        std::copy(v.begin(), v.end(), b.begin() + ptrdiff_t(o));
    }
};

// A contents file listing (entry name, y size) pairs.
inline std::vector<uint8_t> ContentsFile(const std::vector<std::pair<std::string, int>> &entries, int id = 0x0F00) {
    Bytes f;
    f.U16(0, uint32_t(id));
    f.U16(2, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t o = 4 + 260 * i;
        f.At(o + 260);
        std::copy(entries[i].first.begin(), entries[i].first.end(), f.b.begin() + ptrdiff_t(o));
        f.U16(o + 256, uint32_t(entries[i].second));
    }
    return f.b;
}

// The test font of size 4: characters A to C and the missing glyph, 16
// pixels of strip. Glyph columns: A 0-2, B 3-6, C 7-8, missing 9-13. Every
// glyph is solid except B, which has its first and last rows only.
struct TestFont {
    bool proportional = true;
    bool spacing = true;
    bool kerning = true;
    bool colour = false;
};

inline std::vector<uint8_t> SizeFile(const TestFont &t) {
    Bytes f;
    f.U16(50, 0x0F80);
    const int ySize = 4, modulo = 2;
    f.U16(110, ySize);
    f.U8(112, t.colour ? 0x40 : 0);
    f.U8(113, t.proportional ? 0x20 : 0);
    f.U16(114, 6);  // x size
    f.U16(116, 3);  // baseline
    f.U16(118, 1);
    f.U16(120, 0);
    f.U8(122, 'A');
    f.U8(123, 'C');
    // Rows of the strip: bits of columns 0-13 (most significant first).
    const uint16_t solid = 0xFFFC, withoutB = 0xFFFC & ~0x1E00;
    const std::vector<uint16_t> rows{solid, withoutB, withoutB, solid};
    std::vector<uint8_t> strip;
    for (uint16_t r : rows) strip.insert(strip.end(), {uint8_t(r >> 8), uint8_t(r)});
    const size_t data = 200;
    size_t at = data;
    auto place = [&](const std::vector<uint8_t> &v) {
        f.Put(at, v);
        const uint32_t pointer = uint32_t(at - 32);
        at += v.size() + 4;
        return pointer;
    };
    f.U32(124, t.colour ? 0 : place(strip));
    f.U16(128, modulo);
    f.U32(130, place({0, 0, 0, 3, 0, 3, 0, 4, 0, 7, 0, 2, 0, 9, 0, 5}));
    f.U32(134, t.spacing ? place({0, 4, 0, 5, 0, 3, 0, 6}) : 0);
    f.U32(138, t.kerning ? place({0, 0, 0, 1, 0xFF, 0xFF, 0, 0}) : 0);
    if (t.colour) {
        // Two planes: plane 0 is the strip, plane 1 sets the right half of
        // every glyph row. Colour 0 is red in the table, yet transparent.
        f.U8(144, 2);
        f.U8(148, 3);
        const uint32_t colours = place({0x0F, 0x00, 0x00, 0xF0, 0x00, 0x0F, 0x0F, 0xFF});
        f.U32(150, place({0, 0, 0, 4, uint8_t(colours >> 24), uint8_t(colours >> 16), uint8_t(colours >> 8),
                          uint8_t(colours)}));
        f.U32(154, place(strip));
        f.U32(158, place({0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF}));
    }
    f.b.resize(at - 4); // no padding after the last block
    return f.b;
}

// A 32-bit canvas filled with one colour.
class Canvas {
public:
    Canvas(int32_t w, int32_t h, uint32_t fill = 0) : w_(w), h_(h) {
        saved_ = OsGetPixelFormat();
        OsSetPixelFormat(10);
        bm_ = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
        OsSetPixelFormat(saved_);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) Set(x, y, fill);
    }
    ~Canvas() { FreeBitmap(bm_); }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    cxBitmap *bitmap() const { return bm_; }
    uint32_t At(int32_t x, int32_t y) const { return Row(y)[x] & 0xFFFFFFu; }
    void Set(int32_t x, int32_t y, uint32_t v) { Row(y)[x] = v; }
    // Pixels that differ from the background colour, as a picture of '#'.
    std::vector<std::string> Ink(uint32_t background) const {
        std::vector<std::string> out;
        for (int32_t y = 0; y < h_; ++y) {
            std::string r;
            for (int32_t x = 0; x < w_; ++x) r += At(x, y) == background ? '.' : '#';
            out.push_back(r);
        }
        return out;
    }
    // The box of pixels that differ from the background: x0, y0, x1, y1
    // (inclusive); x0 = -1 when there are none.
    std::vector<int32_t> InkBox(uint32_t background) const {
        int32_t x0 = -1, y0 = 0, x1 = 0, y1 = 0;
        for (int32_t y = 0; y < h_; ++y)
            for (int32_t x = 0; x < w_; ++x)
                if (At(x, y) != background) {
                    if (x0 < 0) x0 = x1 = x, y0 = y1 = y;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        return {x0, y0, x1, y1};
    }

private:
    uint32_t *Row(int32_t y) const {
        cxOsBitmapLock l{};
        LockBitmap(bm_, 0, &l);
        return reinterpret_cast<uint32_t *>(l.pixels) + size_t(y) * l.rowLength;
    }
    int32_t w_, h_;
    uint32_t saved_;
    cxBitmap *bm_;
};

} // namespace fontfix
