#include "tools/cdxl-writer/cdxl_writer.h"

#include <stdio.h>

namespace cxtool {

namespace {

// The cube: 8 reds, 8 greens, 4 blues in 4-bit steps.
int CubeIndex(uint32_t rgb) {
    const int r = int((rgb >> 16) & 0xFF) * 7 / 255, g = int((rgb >> 8) & 0xFF) * 7 / 255, b = int(rgb & 0xFF) * 3 / 255;
    return r << 5 | g << 2 | b;
}

uint32_t Entry12(int index) {
    const int r = (index >> 5) & 7, g = (index >> 2) & 7, b = index & 3;
    return uint32_t(r * 15 / 7) << 8 | uint32_t(g * 15 / 7) << 4 | uint32_t(b * 5);
}

uint32_t Expand12(uint32_t v) { return ((v >> 8) & 15) * 0x110000 | ((v >> 4) & 15) * 0x1100 | (v & 15) * 0x11; }

uint32_t ChunkSize(const CdxlClip &c) {
    const uint32_t rowBytes = uint32_t(c.width / 8);
    return uint32_t(32 + (c.ham8 ? 64 : 256) * 2 + 8 * rowBytes * c.height + c.soundBytes);
}

}  // namespace

uint32_t CdxlCubeColour(uint32_t rgb) { return Expand12(Entry12(CubeIndex(rgb))); }

double CdxlClipRate(const CdxlClip &clip) {
    const uint32_t size = ChunkSize(clip);
    const double bytesPerSecond = size <= 13000 ? 153600 : size <= 40000 ? 307200 : 614400;
    return bytesPerSecond / size;
}

std::vector<uint8_t> MakeCdxl(const CdxlClip &c) {
    std::vector<uint8_t> out;
    const int rowBytes = c.width / 8;
    const int colours = c.ham8 ? 64 : 256;
    const uint32_t size = ChunkSize(c);
    for (size_t f = 0; f < c.frames.size(); ++f) {
        std::vector<uint8_t> h(32, 0);
        auto be32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) h[at + i] = uint8_t(v >> (24 - 8 * i));
        };
        auto be16 = [&](size_t at, uint32_t v) {
            h[at] = uint8_t(v >> 8);
            h[at + 1] = uint8_t(v);
        };
        h[0] = 1;
        h[1] = c.ham8 ? 1 : 0;
        be32(2, size);
        be32(6, f ? size : 0);
        be32(10, uint32_t(f + 1));
        be16(14, uint32_t(c.width));
        be16(16, uint32_t(c.height));
        h[19] = 8;
        be16(20, uint32_t(colours * 2));
        be16(22, uint32_t(c.soundBytes));
        out.insert(out.end(), h.begin(), h.end());
        // HAM8: the 64 base colours are a grey ramp; every pixel modifies one
        // channel of the one before, cycling through R, G, B so that still
        // pictures converge.
        for (int i = 0; i < colours; ++i) {
            const uint32_t v = c.ham8 ? uint32_t(i / 4) * 0x111 : Entry12(i);
            out.push_back(uint8_t(v >> 8));
            out.push_back(uint8_t(v));
        }
        std::vector<uint8_t> planes(size_t(8) * rowBytes * c.height, 0);
        const std::vector<uint32_t> &px = c.frames[f];
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const uint32_t rgb = px[size_t(y) * c.width + x];
                int index;
                if (c.ham8) {
                    const int which = x % 3;  // 0 red, 1 green, 2 blue
                    const int shift = which == 0 ? 16 : which == 1 ? 8 : 0;
                    const int value = int((rgb >> shift) & 0xFF) >> 2;
                    index = (which == 0 ? 2 : which == 1 ? 3 : 1) << 6 | value;
                } else {
                    index = CubeIndex(rgb);
                }
                for (int p = 0; p < 8; ++p)
                    if (index & (1 << p)) planes[(size_t(p) * c.height + y) * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), planes.begin(), planes.end());
        for (int i = 0; i < c.soundBytes; ++i)
            out.push_back(f < c.sound.size() && size_t(i) < c.sound[f].size() ? uint8_t(c.sound[f][size_t(i)]) : 0);
    }
    return out;
}

bool WriteCdxl(const std::string &path, const CdxlClip &clip) {
    const std::vector<uint8_t> b = MakeCdxl(clip);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

}  // namespace cxtool
