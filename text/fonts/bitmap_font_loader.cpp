// Loading bitmap fonts: the contents file, the size file with its glyph
// strip and tables, and colour fonts with their planes and colour table.
// Every pointer and size read from a file is checked against the file
// before anything is allocated or read through it.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/charset/charset.h"
#include "errors/error_codes.h"
#include "engine/runtime/kernel.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"
#include "text/fonts/bitmap_font.h"

namespace {

constexpr int kEntrySize = 260;
constexpr int kEntryNameSize = 256;
constexpr uint32_t kHunkBase = 32; // size-file pointers count from here
constexpr uint32_t kColourKey = 0xEEE6D2;
// A stream whose size cannot be known is trusted for at most this much.
constexpr uint64_t kUnknownSizeLimit = 64u << 20;

int g_deferBitmaps = 0;

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

uint16_t BE16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t BE32(const uint8_t *p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

uint64_t StreamLimit(cxStream *s) {
    const uint64_t size = GetStreamSize(s);
    return size == CX_STREAM_SIZE_UNKNOWN ? kUnknownSizeLimit : size;
}

// Reads exactly length bytes at offset; false on a short read or an area
// outside the stream.
bool ReadAt(cxStream *s, uint64_t offset, void *buffer, uint64_t length) {
    const uint64_t limit = StreamLimit(s);
    if (offset > limit || length > limit - offset) return false;
    if (SeekFileStream(s, int64_t(offset), CX_SEEK_BEGINNING) < 0) return false;
    return ReadStreamData(s, buffer, size_t(length)) == length;
}

// A block of length bytes at a size-file pointer; null when it does not lie
// inside the file or memory runs out.
uint8_t *ReadBlock(cxStream *s, uint32_t pointer, uint64_t length) {
    if (length == 0) return static_cast<uint8_t *>(calloc(1, 1));
    uint8_t *p = static_cast<uint8_t *>(malloc(size_t(length)));
    if (p && !ReadAt(s, uint64_t(kHunkBase) + pointer, p, length)) {
        free(p);
        p = nullptr;
    }
    return p;
}

bool HasFontSuffix(const std::string &name) {
    return name.size() >= 5 && Latin1CompareNoCase(name.c_str() + name.size() - 5, ".font") == 0;
}

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// ":::chunk" and "::linkedfont" entries name a window of the applet file:
// decimal offset, one separator, decimal length, "*" and a name. Gives the
// stream name of that window, or "" when the entry is malformed or no applet
// runs.
std::string WindowEntryName(const char *entry) {
    const char *p;
    bool chunkForm;
    if (strncmp(entry, ":::chunk", 8) == 0) {
        p = entry + 8;
        chunkForm = true;
    } else if (strncmp(entry, "::linkedfont", 12) == 0) {
        p = entry + 12;
        chunkForm = false;
    } else {
        return std::string();
    }
    auto number = [&](uint64_t &v) {
        if (*p < '0' || *p > '9') return false;
        v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + uint64_t(*p++ - '0');
            if (v > 0xFFFFFFFFu) return false;
        }
        return true;
    };
    uint64_t offset, length;
    if (!number(offset) || *p == 0) return std::string();
    ++p; // the separator
    if (!number(length) || *p != '*') return std::string();
    std::string display(p + 1);
    if (chunkForm) display = display.substr(0, display.find('/'));
    const cxApplet *applet = GetRunningApplet();
    if (!applet) return std::string();
    char name[CX_STREAM_NAME_MAX + 1];
    if (!MakeChunkName(display.c_str(), name, sizeof name, int64_t(offset), uint32_t(length), int64_t(applet->base),
                       applet->path))
        return std::string();
    return name;
}

// ARGB pixels to a colour bitmap in the platform format and a mask of the
// pixels that are not the key colour.
bool MakeGlyphBitmaps(const uint32_t *argb, int32_t width, int32_t height, cxBitmap **bitmap, cxBitmap **mask) {
    cxBitmap *bm = AllocBitmap(width, height, 0, 0);
    cxBitmap *mk = bm ? AllocMask(bm, width, height, 1, nullptr, 0) : nullptr;
    cxOsBitmapLock bl{}, ml{};
    const bool ok = mk && LockBitmap(bm, 0, &bl) && LockBitmap(mk, 0, &ml);
    if (ok) {
        const uint32_t bpp = GetBytesPerPixel(bl.pixelFormat);
        for (int32_t y = 0; y < height; ++y) {
            const uint32_t *row = argb + size_t(y) * size_t(width);
            ConvertPixelRow(row, CX_PIXFMT_DEFAULT, bl.pixels + size_t(y) * bl.rowLength * bpp, bl.pixelFormat, width);
            uint8_t *bits = ml.pixels + size_t(y) * ml.rowLength;
            for (int32_t x = 0; x < width; ++x)
                if ((row[x] & 0xFFFFFFu) != kColourKey) bits[x >> 3] |= uint8_t(0x80u >> (x & 7));
        }
    }
    UnlockBitmap(&bl);
    UnlockBitmap(&ml);
    if (!ok) {
        FreeMask(mk);
        FreeBitmap(bm);
        return false;
    }
    *bitmap = bm;
    *mask = mk;
    return true;
}

void FreeDesc(cxBitmapFontDesc *d) {
    if (!d) return;
    FreeMask(d->glyphMask);
    if (!d->builtIn) {
        free(d->strip);
        free(d->locations);
        free(d->spacing);
        free(d->kerning);
    }
    free(d);
}

// The planes of a colour font turned into one ARGB strip of modulo x 8 by
// ySize pixels. Null when the file is malformed or memory runs out.
uint32_t *ReadColourStrip(cxStream *s, const uint8_t *hdr, const cxBitmapFontDesc *d) {
    const uint32_t depth = hdr[144 - 110] > 8 ? 8 : hdr[144 - 110];
    const uint32_t pick = hdr[148 - 110];
    const uint32_t colourBlock = BE32(hdr + 150 - 110);
    uint8_t block[8];
    if (!ReadAt(s, uint64_t(kHunkBase) + colourBlock, block, 8)) return nullptr;
    const uint32_t count = BE16(block + 2) > 256 ? 256 : BE16(block + 2);
    uint32_t palette[256] = {};
    if (count) {
        uint8_t raw[512];
        if (!ReadAt(s, uint64_t(kHunkBase) + BE32(block + 4), raw, uint64_t(count) * 2)) return nullptr;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t c = BE16(raw + 2 * i);
            palette[i] = ((c >> 8) & 15) * 17 << 16 | ((c >> 4) & 15) * 17 << 8 | (c & 15) * 17;
        }
    }
    // Colour 0 is transparent whatever the table says.
    palette[0] = kColourKey;

    const uint64_t planeBytes = uint64_t(d->modulo) * d->ySize;
    const int32_t width = int32_t(d->modulo) * 8, height = d->ySize;
    uint32_t *argb = static_cast<uint32_t *>(calloc(size_t(planeBytes) * 8 + 1, sizeof(uint32_t)));
    if (!argb) return nullptr;
    std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[size_t(planeBytes) * 8 + 1]());
    std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[size_t(planeBytes) + 1]);
    bool ok = indices && plane;
    uint32_t stored = 0;
    for (uint32_t k = 0; ok && k < depth; ++k) {
        if (!(pick & (1u << k))) continue;
        const uint32_t pointer = BE32(hdr + 154 - 110 + 4 * stored++);
        if (pointer == 0) continue; // a plane of zeros
        if (!ReadAt(s, uint64_t(kHunkBase) + pointer, plane.get(), planeBytes)) {
            ok = false;
            break;
        }
        for (uint64_t i = 0; i < planeBytes * 8; ++i)
            indices[i] |= uint8_t(((plane[i >> 3] >> (7 - (i & 7))) & 1u) << k);
    }
    if (!ok) {
        free(argb);
        return nullptr;
    }
    for (int64_t i = 0; i < int64_t(width) * height; ++i) argb[i] = palette[indices[i]];
    return argb;
}

} // namespace

extern "C" {

void SetDeferFontBitmaps(int defer) { g_deferBitmaps = defer; }

int ReadBitmapFontContents(cxStream *s, int32_t size, char *entry, size_t entrySize) {
    uint8_t head[4];
    if (!ReadAt(s, 0, head, 4) || (BE16(head) & ~2u) != 0x0F00) return 0;
    const uint32_t n = BE16(head + 2);
    uint8_t e[kEntrySize];
    for (uint32_t i = 0; i < n; ++i) {
        if (!ReadAt(s, 4 + uint64_t(kEntrySize) * i, e, kEntrySize)) return 0;
        if (BE16(e + kEntryNameSize) != uint32_t(size)) continue;
        e[kEntryNameSize - 1] = 0;
        const char *name = reinterpret_cast<const char *>(e);
        if (strcmp(name, "::incomplete") == 0) continue;
        if (strlen(name) >= entrySize) return 0;
        strcpy(entry, name);
        return 1;
    }
    return 0;
}

int ReadBitmapFontSizeFile(cxStream *s, cxOsFont *font) {
    uint8_t id[2];
    // Offsets 110 to 186: every field up to the plane pointers.
    uint8_t hdr[186 - 110];
    if (!ReadAt(s, 50, id, 2) || BE16(id) != 0x0F80) return 0;
    if (!ReadAt(s, 110, hdr, 142 - 110)) return 0;
    auto *d = static_cast<cxBitmapFontDesc *>(calloc(1, sizeof(cxBitmapFontDesc)));
    if (!d) return 0;
    d->ySize = BE16(hdr);
    d->style = hdr[2];
    d->flags = hdr[3];
    d->xSize = BE16(hdr + 4);
    d->baseline = BE16(hdr + 6);
    d->boldSmear = BE16(hdr + 8);
    d->accessors = BE16(hdr + 10);
    d->loChar = hdr[12];
    d->hiChar = hdr[13];
    const uint32_t stripPointer = BE32(hdr + 14);
    d->modulo = BE16(hdr + 18);
    const uint32_t locPointer = BE32(hdr + 20);
    const uint32_t spacePointer = BE32(hdr + 24);
    const uint32_t kernPointer = BE32(hdr + 28);
    const bool colour = (d->style & CX_BITMAPFONT_COLOUR) != 0;
    bool ok = d->hiChar + 1 >= d->loChar;
    d->glyphCount = ok ? uint32_t(d->hiChar) - d->loChar + 2 : 0;
    // Every real font holds at least one strip or plane of modulo x ySize
    // bytes: a bigger claim is a malformed file, refused before allocating.
    const uint64_t stripBytes = uint64_t(d->modulo) * d->ySize;
    ok = ok && stripBytes <= StreamLimit(s);
    uint32_t *argb = nullptr;
    if (ok && colour) ok = ReadAt(s, 110, hdr, sizeof hdr) && (argb = ReadColourStrip(s, hdr, d)) != nullptr;
    if (ok && !colour) ok = (d->strip = ReadBlock(s, stripPointer, stripBytes)) != nullptr;

    // Location, spacing and kerning tables to host order.
    uint8_t *raw = ok ? ReadBlock(s, locPointer, uint64_t(d->glyphCount) * 4) : nullptr;
    ok = raw && (d->locations = static_cast<uint32_t *>(malloc(size_t(d->glyphCount) * 4))) != nullptr;
    for (uint32_t i = 0; ok && i < d->glyphCount; ++i) {
        const uint32_t offset = BE16(raw + 4 * i), width = BE16(raw + 4 * i + 2);
        // A glyph reaching past the strip would be drawn from outside it.
        if (offset + width > uint32_t(d->modulo) * 8) ok = false;
        d->locations[i] = offset << 16 | width;
    }
    free(raw);
    auto readWords = [&](uint32_t pointer, int16_t **out) {
        if (!ok || pointer == 0) return;
        uint8_t *w = ReadBlock(s, pointer, uint64_t(d->glyphCount) * 2);
        ok = w && (*out = static_cast<int16_t *>(malloc(size_t(d->glyphCount) * 2))) != nullptr;
        for (uint32_t i = 0; ok && i < d->glyphCount; ++i) (*out)[i] = int16_t(BE16(w + 2 * i));
        free(w);
    };
    readWords(spacePointer, &d->spacing);
    readWords(kernPointer, &d->kerning);

    if (ok && !colour) {
        d->glyphMask = AllocMask(nullptr, int32_t(d->modulo) * 8, d->ySize, 0, d->strip, d->modulo);
        // An empty strip has nothing to wrap; it draws nothing.
        ok = d->glyphMask || stripBytes == 0;
    }
    if (ok && colour) {
        if (g_deferBitmaps) {
            font->pendingPixels = argb;
            font->pendingWidth = int32_t(d->modulo) * 8;
            font->pendingHeight = d->ySize;
            argb = nullptr;
        } else if (stripBytes) {
            ok = MakeGlyphBitmaps(argb, int32_t(d->modulo) * 8, d->ySize, &font->glyphBitmap, &font->glyphMask);
        }
    }
    free(argb);
    if (!ok) {
        FreeDesc(d);
        return 0;
    }
    font->kind = colour ? CX_FONT_COLOUR : CX_FONT_BITMAP;
    font->height = font->designHeight = d->ySize;
    font->baseline = font->designBaseline = d->baseline;
    font->outline = 0;
    font->engineData = d;
    return 1;
}

int LoadBitmapFont(const char *path, int32_t size, cxOsFont *font, const char *displayName) {
    std::string contents(path);
    if (!IsChunkName(path) && !HasFontSuffix(contents)) contents += ".font";
    StreamPtr cs(OpenFileStream(contents.c_str(), CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr));
    char entry[kEntryNameSize];
    if (!cs || !ReadBitmapFontContents(cs.get(), size, entry, sizeof entry)) return 0;
    cs.reset();
    std::string sizeFile = WindowEntryName(entry);
    if (sizeFile.empty()) {
        if (strncmp(entry, ":::chunk", 8) == 0 || strncmp(entry, "::linkedfont", 12) == 0) return 0;
        sizeFile = FolderOf(contents) + entry;
    }
    StreamPtr ss(OpenFileStream(sizeFile.c_str(), CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr));
    if (!ss || !ReadBitmapFontSizeFile(ss.get(), font)) return 0;
    font->size = size;
    const char *name = displayName ? displayName : path;
    strncpy(font->name, name, sizeof font->name - 1);
    font->name[sizeof font->name - 1] = 0;
    return 1;
}

void FreeBitmapFontData(cxOsFont *font) {
    if (!font) return;
    FreeDesc(static_cast<cxBitmapFontDesc *>(font->engineData));
    font->engineData = nullptr;
    FreeBitmap(font->glyphBitmap);
    FreeMask(font->glyphMask);
    free(font->pendingPixels);
    font->glyphBitmap = nullptr;
    font->glyphMask = nullptr;
    font->pendingPixels = nullptr;
}

int BuildPendingFontBitmap(cxOsFont *font) {
    if (!font || !font->pendingPixels) return 0;
    if (font->pendingWidth > 0 && font->pendingHeight > 0 &&
        !MakeGlyphBitmaps(font->pendingPixels, font->pendingWidth, font->pendingHeight, &font->glyphBitmap,
                          &font->glyphMask))
        return ERR_MEM;
    free(font->pendingPixels);
    font->pendingPixels = nullptr;
    return 0;
}

} // extern "C"
