#include <stdlib.h>
#include <string.h>

#include <memory>

#include "errors/error_codes.h"
#include "images/formats/bitplanes.h"
#include "images/formats/ilbm_codec.h"
#include "images/formats/image_limits.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
template <class T>
using Buffer = std::unique_ptr<T, FreeDeleter>;

template <class T>
Buffer<T> Alloc(size_t bytes, bool clear) {
    return Buffer<T>(static_cast<T *>(clear ? calloc(bytes ? bytes : 1, 1) : malloc(bytes ? bytes : 1)));
}

int ReadU8(cxStream *s) { return ReadStreamByte(s); }

// A colour that no palette entry has, for the transparent pen.
uint32_t UnusedColour(const uint32_t *palette) {
    uint32_t c = 0xA8A8A8;
    for (;;) {
        bool used = false;
        for (int i = 0; i < 256 && !used; i++) used = palette[i] == c;
        if (!used) return c;
        c += 0x0F;
    }
}

}  // namespace

extern "C" int LoadILBMImage(cxStream *s, int headerOnly, const uint32_t *callerPalette, int32_t callerColour,
                             int transparentColourMode, int alphaMode, int32_t *pen, int *width, int *height,
                             uint32_t **pixels, uint32_t **paletteOut) {
    if (pixels) *pixels = nullptr;
    if (paletteOut) *paletteOut = nullptr;
    if (pen) *pen = -1;
    if (!FindILBMChunk(s, "BMHD")) return ERR_LOADPICTURE2;
    ReadBE32(s);
    const int w = ReadBEU16(s);
    const int h = ReadBEU16(s);
    if (IsStreamEof(s)) return ERR_LOADPICTURE2;
    if (headerOnly || !pixels) {
        if (width) *width = w;
        if (height) *height = h;
        return 0;
    }
    ReadBE32(s);  // x, y
    const int depth = ReadU8(s);
    const int masking = ReadU8(s);
    const int compression = ReadU8(s);
    ReadU8(s);
    const int transparentIndex = ReadBEU16(s);
    if (IsStreamEof(s)) return ERR_LOADPICTURE2;
    // Only what can be shown: 1-8 or 24 planes, no packing but ByteRun1.
    if (!((depth >= 1 && depth <= 8) || depth == 24) || compression > 1 || !IsImageSizeAllowed(w, h))
        return ERR_LOADPICTURE2;

    bool ham6 = false, ham8 = false, ehb = false;
    if (depth < 24 && FindILBMChunk(s, "CAMG")) {
        ReadBE32(s);
        const uint32_t mode = static_cast<uint32_t>(ReadBE32(s));
        if (mode & 0x800) (depth >= 7 ? ham8 : ham6) = true;
        if (mode & 0x80) ehb = true;
    }

    const size_t bpr = CX_PLANE_ROW_BYTES(w);
    auto out = Alloc<uint32_t>(static_cast<size_t>(w) * h * 4, false);
    if (!out) return ERR_MEM;
    if (!FindILBMChunk(s, "BODY")) return ERR_LOADPICTURE2;
    const uint32_t bodySize = static_cast<uint32_t>(ReadBE32(s));
    auto planes = Alloc<uint8_t>(static_cast<size_t>(depth) * h * bpr, true);
    auto indices = Alloc<uint8_t>(static_cast<size_t>(w) * h, true);
    if (!planes || !indices) return ERR_MEM;
    const int ok = compression == 0 ? ReadRawBitplanes(s, planes.get(), bodySize, w, h, depth, masking)
                                    : ReadByteRun1Bitplanes(s, planes.get(), bodySize, w, h, depth, masking);
    if (!ok) return ERR_LOADPICTURE2;

    int32_t penColour = -1;
    uint32_t palette[256] = {};
    if (depth == 24) {
        ConvertBitplanes(planes.get(), w, h, depth, bpr, out.get(), static_cast<size_t>(w) * 4);
        uint32_t *px = out.get();
        const size_t n = static_cast<size_t>(w) * h;
        for (size_t i = 0; i < n; i++) {
            const uint8_t *b = reinterpret_cast<const uint8_t *>(px + i);
            px[i] = uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        }
    } else {
        ConvertBitplanes(planes.get(), w, h, depth, bpr, indices.get(), static_cast<size_t>(w));
        if (!FindILBMChunk(s, "CMAP")) return ERR_LOADPICTURE2;
        const uint32_t size = static_cast<uint32_t>(ReadBE32(s));
        const uint32_t colours = size / 3;
        for (uint32_t i = 0; i < colours && i < 256; i++) {
            uint8_t rgb[3];
            if (ReadStreamData(s, rgb, 3) != 3) return ERR_LOADPICTURE2;
            palette[i] = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
        }
        if (ehb) ApplyExtraHalfBrite(palette);
        if (ham6 || ham8) {
            (ham6 ? DecodeHAM6 : DecodeHAM8)(indices.get(), out.get(), palette, w, h);
        } else {
            const int ti = transparentIndex & 0xFF;
            if (callerPalette) {
                for (int i = 0; i < 256 && callerPalette[i] != 0xFFFFFFFFu; i++) palette[i] = callerPalette[i];
            } else if ((callerColour != -1 || transparentColourMode || alphaMode) && (depth == 1 || masking == 2)) {
                if (depth == 1 && !alphaMode) {
                    penColour = static_cast<int32_t>(palette[ti]);
                    if (callerColour != -1) palette[ti == 0 ? 1 : 0] = static_cast<uint32_t>(callerColour) & 0xFFFFFF;
                } else if (transparentColourMode || alphaMode) {
                    const uint32_t c = UnusedColour(palette);
                    palette[ti] = c;
                    penColour = static_cast<int32_t>(c);
                }
            }
            MapPaletteIndices(indices.get(), out.get(), palette, w, h);
            if (paletteOut) {
                *paletteOut = static_cast<uint32_t *>(malloc(sizeof palette));
                if (!*paletteOut) return ERR_MEM;
                memcpy(*paletteOut, palette, sizeof palette);
            }
        }
    }
    if (pen) *pen = penColour;
    if (width) *width = w;
    if (height) *height = h;
    *pixels = out.release();
    return 0;
}
