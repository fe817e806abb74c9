// Recognising a picture from its first kilobyte (JPEG: its markers up to the
// frame header) without decoding it.
#include <stdlib.h>
#include <string.h>

#include <utility>
#include <vector>

#include "errors/error_codes.h"
#include "images/formats/image_loader.h"

namespace {

constexpr size_t kProbeBytes = 1024;

uint32_t BE32(const uint8_t *p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint16_t BE16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint16_t LE16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LE32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

const uint8_t *Find(const uint8_t *buf, size_t n, const char *id) {
    for (size_t i = 0; i + 4 <= n; i++)
        if (memcmp(buf + i, id, 4) == 0) return buf + i;
    return nullptr;
}

// TIFF data (Exif or a TIFF file) in memory: the first IFD's tags.
struct Tiff {
    const uint8_t *data;
    size_t size;
    bool little;
    uint16_t U16(size_t at) const { return at + 2 <= size ? (little ? LE16(data + at) : BE16(data + at)) : 0; }
    uint32_t U32(size_t at) const {
        return at + 4 <= size ? (little ? LE32(data + at) : BE32(data + at)) : 0;
    }
    // The value of a SHORT or LONG tag of the first IFD, or -1.
    int64_t Tag(uint16_t tag) const {
        const uint32_t ifd = U32(4);
        if (ifd < 8 || ifd >= size) return -1;
        const unsigned n = U16(ifd);
        for (unsigned i = 0; i < n; i++) {
            const size_t e = ifd + 2 + static_cast<size_t>(i) * 12;
            if (e + 12 > size) break;
            if (U16(e) != tag) continue;
            return U16(e + 2) == 3 ? U16(e + 8) : U32(e + 8);
        }
        return -1;
    }
};

bool OpenTiff(const uint8_t *data, size_t size, Tiff *t) {
    if (size < 8) return false;
    if (memcmp(data, "II*\0", 4) == 0) t->little = true;
    else if (memcmp(data, "MM\0*", 4) == 0) t->little = false;
    else return false;
    t->data = data;
    t->size = size;
    return true;
}

int ProbeJpeg(cxStream *s, int *width, int *height, int *orientation) {
    if (SeekFileStream(s, 2, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
    int found = *orientation;
    for (;;) {
        int c = ReadStreamByte(s);
        if (c < 0) return ERR_LOADPICTURE2;
        if (c != 0xFF) continue;
        while (c == 0xFF) c = ReadStreamByte(s);
        if (c < 0) return ERR_LOADPICTURE2;
        if (c == 0xD8 || (c >= 0xD0 && c <= 0xD7) || c == 0x01 || c == 0) continue;  // no length
        uint8_t len[2];
        if (ReadStreamData(s, len, 2) != 2) return ERR_LOADPICTURE2;
        const int n = BE16(len) - 2;
        if (n < 0) return ERR_LOADPICTURE2;
        if ((c >= 0xC0 && c <= 0xCE && c != 0xC4 && c != 0xCC) || c == 0xDE) {
            uint8_t f[5];
            if (n < 5 || ReadStreamData(s, f, 5) != 5) return ERR_LOADPICTURE2;
            int h = BE16(f + 1), w = BE16(f + 3);
            if (found >= 5 && found <= 8) std::swap(w, h);
            *width = w;
            *height = h;
            *orientation = found;
            return 0;
        }
        if (c == 0xE1 && *orientation == 0 && n >= 14) {
            std::vector<uint8_t> app(static_cast<size_t>(n));
            if (ReadStreamData(s, app.data(), app.size()) != app.size()) return ERR_LOADPICTURE2;
            Tiff t;
            if (memcmp(app.data(), "Exif", 4) == 0 && OpenTiff(app.data() + 6, app.size() - 6, &t)) {
                const int64_t o = t.Tag(274);
                if (o >= 1 && o <= 8) found = static_cast<int>(o);
            }
            continue;
        }
        if (SeekFileStream(s, n, CX_SEEK_CURRENT) < 0) return ERR_LOADPICTURE2;
    }
}

// PNG palette pictures: has-alpha when a tRNS chunk comes before IEND.
bool PngHasTrns(cxStream *s) {
    if (SeekFileStream(s, 8, CX_SEEK_BEGINNING) < 0) return false;
    for (int guard = 0; guard < 100000; guard++) {
        uint8_t h[8];
        if (ReadStreamData(s, h, 8) != 8) return false;
        if (memcmp(h + 4, "tRNS", 4) == 0) return true;
        if (memcmp(h + 4, "IEND", 4) == 0) return false;
        if (SeekFileStream(s, int64_t{BE32(h)} + 4, CX_SEEK_CURRENT) < 0) return false;
    }
    return false;
}

int ProbeTiff(cxStream *s, const uint8_t *head, int *width, int *height, int *hasAlpha) {
    // The first IFD may lie anywhere: read its entries from the stream.
    const bool little = head[0] == 'I';
    const uint32_t ifd = little ? LE32(head + 4) : BE32(head + 4);
    if (SeekFileStream(s, ifd, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
    uint8_t cnt[2];
    if (ReadStreamData(s, cnt, 2) != 2) return ERR_LOADPICTURE2;
    const unsigned n = little ? LE16(cnt) : BE16(cnt);
    std::vector<uint8_t> data(8 + 2 + static_cast<size_t>(n) * 12);
    memcpy(data.data(), head, 4);
    const uint8_t at[4] = {0, 0, 0, 8};
    const uint8_t atLE[4] = {8, 0, 0, 0};
    memcpy(data.data() + 4, little ? atLE : at, 4);
    memcpy(data.data() + 8, cnt, 2);
    if (ReadStreamData(s, data.data() + 10, static_cast<size_t>(n) * 12) != static_cast<size_t>(n) * 12)
        return ERR_LOADPICTURE2;
    Tiff t;
    if (!OpenTiff(data.data(), data.size(), &t)) return ERR_LOADPICTURE2;
    const int64_t w = t.Tag(256), h = t.Tag(257), photometric = t.Tag(262), samples = t.Tag(277);
    if (w <= 0 || h <= 0) return ERR_LOADPICTURE2;
    *width = static_cast<int>(w > 0x7FFFFFFF ? 0x7FFFFFFF : w);
    *height = static_cast<int>(h > 0x7FFFFFFF ? 0x7FFFFFFF : h);
    *hasAlpha = samples == 4 && photometric == 2;
    return 0;
}

}  // namespace

extern "C" int ProbeImageHeader(cxStream *s, int *format, int *width, int *height, int *hasAlpha, int *hasMask,
                                int *orientation) {
    int dummyOrientation = 0, f = 0, w = 0, h = 0, alpha = 0, mask = 0;
    if (!orientation) orientation = &dummyOrientation;
    uint8_t b[kProbeBytes] = {};
    if (!s || SeekFileStream(s, 0, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
    const size_t got = ReadStreamData(s, b, sizeof b);
    int err = 0;
    if (memcmp(b, "FORM", 4) == 0 && memcmp(b + 8, "ILBM", 4) == 0) {
        const uint8_t *id = Find(b, got, "BMHD");
        if (!id || id + 18 > b + sizeof b) return ERR_LOADPICTURE2;
        w = BE16(id + 8);
        h = BE16(id + 10);
        mask = id[17] == 2;
        f = CX_IMGFMT_ILBM;
    } else if (b[0] == 0xFF && b[1] == 0xD8) {
        err = ProbeJpeg(s, &w, &h, orientation);
        f = CX_IMGFMT_JPEG;
    } else if (b[0] == 0x89 && memcmp(b + 1, "PNG", 3) == 0) {
        const uint8_t *id = Find(b, got, "IHDR");
        if (!id || id + 14 > b + sizeof b) return ERR_LOADPICTURE2;
        w = static_cast<int>(BE32(id + 4) & 0x7FFFFFFF);
        h = static_cast<int>(BE32(id + 8) & 0x7FFFFFFF);
        const int colourType = id[13];
        alpha = colourType == 3 ? PngHasTrns(s) : (colourType == 4 || colourType == 6);
        f = CX_IMGFMT_PNG;
    } else if (b[0] == 'B' && b[1] == 'M') {
        w = static_cast<int32_t>(LE32(b + 18));
        const int64_t rawHeight = static_cast<int32_t>(LE32(b + 22));
        h = static_cast<int>(rawHeight < 0 ? (-rawHeight > 0x7FFFFFFF ? 0x7FFFFFFF : -rawHeight) : rawHeight);
        f = CX_IMGFMT_BMP;
    } else if (memcmp(b, "MM\0*", 4) == 0 || memcmp(b, "II*\0", 4) == 0) {
        err = ProbeTiff(s, b, &w, &h, &alpha);
        f = CX_IMGFMT_TIFF;
    } else if (memcmp(b, "GIF87a", 6) == 0 || memcmp(b, "GIF89a", 6) == 0) {
        w = LE16(b + 6);
        h = LE16(b + 8);
        size_t at = 13;
        if (b[10] & 0x80) at += size_t{3} << ((b[10] & 7) + 1);
        // Extensions before the first image: a graphic control extension
        // tells whether it has a transparent colour.
        while (at + 2 < 1000 && b[at] == 0x21) {
            if (b[at + 1] == 0xF9) {
                if (b[at + 2] > 3 && at + 3 < sizeof b) mask = b[at + 3] & 1;
                break;
            }
            at += 2;
            while (at < 1000 && b[at] != 0) at += b[at] + 1u;
            at++;
        }
        f = CX_IMGFMT_GIF;
    } else {
        return ERR_LOADPICTURE2;
    }
    if (err) return err;
    if (format) *format = f;
    if (width) *width = w;
    if (height) *height = h;
    if (hasAlpha) *hasAlpha = alpha;
    if (hasMask) *hasMask = mask;
    return 0;
}
