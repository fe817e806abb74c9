#include "media/avi/avi_reader.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "images/formats/jpeg_codec.h"

namespace {

struct IndexEntry {
    uint64_t offset;  // as written in idx1
    uint32_t size;
};

enum IndexMode { kIndexUnknown, kIndexRelative, kIndexAbsolute };

// The JPEG standard's default Huffman tables (Annex K.3) as one DHT
// segment: DC luminance, AC luminance, DC chrominance, AC chrominance.
const uint8_t kStandardDht[420] = {
    0xFF, 0xC4, 0x01, 0xA2,
    // DC luminance
    0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC luminance
    0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D,
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5,
    0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
    // DC chrominance
    0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC chrominance
    0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77,
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
    0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0,
    0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26,
    0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
    0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
    0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5,
    0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
    0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
    0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
};
static_assert(sizeof kStandardDht == 420, "the standard DHT segment");

uint32_t Le32(const uint8_t *p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

bool SameCode(const uint8_t *a, const char *b) {
    for (int i = 0; i < 4; ++i) {
        uint8_t x = a[i], y = uint8_t(b[i]);
        if (x >= 'A' && x <= 'Z') x = uint8_t(x + 32);
        if (y >= 'A' && y <= 'Z') y = uint8_t(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

struct cxAviReader {
    cxStream *stream = nullptr;
    uint64_t fileSize = 0;
    uint32_t compression = 0;
    int32_t width = 0, height = 0;
    bool topDown = false;
    int32_t streams = 0;
    uint16_t audioChannels = 0, audioBlockAlign = 0, audioBits = 0;
    uint32_t audioRate = 0;
    uint16_t planes = 0, bits = 0;
    uint8_t videoCompression[4] = {};
    uint64_t moviStart = 0;
    int32_t current = 0;
    uint32_t totalFrames = 0;
    uint32_t flags = 0;
    // Type and handler of every stream header (at most 16).
    uint8_t streamType[CX_AVI_MAX_STREAMS][4] = {};
    uint8_t handler[CX_AVI_MAX_STREAMS][4] = {};
    int32_t videoStream = -1;
    char videoIds[2][4] = {};  // "NNdb", "NNdc"
    std::vector<IndexEntry> index;  // video chunks, at most totalFrames
    IndexMode indexMode = kIndexUnknown;
    std::vector<uint8_t> chunk;     // one frame chunk as read
    std::vector<uint8_t> rebuilt;   // a Motion JPEG frame ready to decode
};

namespace {

bool ReadExact(cxStream *s, void *buffer, size_t n) { return ReadStreamData(s, buffer, n) == n; }

bool Skip(cxStream *s, uint64_t n) {
    if (n == 0) return true;
    if (n > uint64_t(INT64_MAX)) return false;
    return SeekFileStream(s, int64_t(n), CX_SEEK_CURRENT) >= 0;
}

uint64_t Position(cxStream *s) {
    const int64_t p = SeekFileStream(s, 0, CX_SEEK_CURRENT);
    return p < 0 ? 0 : uint64_t(p);
}

bool SeekTo(cxStream *s, uint64_t at) { return at <= uint64_t(INT64_MAX) && SeekFileStream(s, int64_t(at), CX_SEEK_BEGINNING) >= 0; }

// The header lists up to "movi"; false for anything this reader refuses.
bool ReadHeader(cxAviReader *r) {
    cxStream *s = r->stream;
    uint8_t head[12];
    if (!ReadExact(s, head, 12) || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "AVI ", 4) != 0) return false;
    int lastStream = -1;
    bool haveMain = false;
    for (;;) {
        uint8_t c[8];
        if (!ReadExact(s, c, 8)) return false;
        const uint32_t size = Le32(c + 4);
        if (memcmp(c, "LIST", 4) == 0) {
            uint8_t type[4];
            if (size < 4 || !ReadExact(s, type, 4)) return false;
            if (memcmp(type, "movi", 4) == 0) {
                r->moviStart = Position(s);
                // Past the movie data to the legacy index, when there is one.
                Skip(s, ((uint64_t(size) + 1) & ~uint64_t(1)) - 4);
                return true;
            }
            continue;  // its chunks follow in line
        }
        if (memcmp(c, "avih", 4) == 0) {
            uint8_t m[56];
            if (size != 56 || !ReadExact(s, m, 56)) return false;
            r->flags = Le32(m + 12);
            r->totalFrames = Le32(m + 16);
            r->streams = int32_t(Le32(m + 24));
            const uint32_t w = Le32(m + 32), h = Le32(m + 36);
            if (r->totalFrames == 0 || r->streams < 1 || r->streams > CX_AVI_MAX_STREAMS) return false;
            if (w < 1 || h < 1 || w > CX_AVI_MAX_SIDE || h > CX_AVI_MAX_SIDE) return false;
            r->width = int32_t(w);
            r->height = int32_t(h);
            haveMain = true;
            continue;
        }
        if (memcmp(c, "strh", 4) == 0) {
            uint8_t h[64];
            if ((size != 56 && size != 64) || !ReadExact(s, h, size)) return false;
            if (++lastStream >= CX_AVI_MAX_STREAMS) return false;
            memcpy(r->streamType[lastStream], h, 4);
            memcpy(r->handler[lastStream], h + 4, 4);
            continue;
        }
        if (memcmp(c, "strf", 4) == 0) {
            if (lastStream < 0 || !haveMain) return false;
            const uint8_t *type = r->streamType[lastStream];
            if (memcmp(type, "auds", 4) == 0) {
                uint8_t f[16];
                if (size < 16 || !ReadExact(s, f, 16)) return false;
                if (Le16(f) != 1) return false;  // PCM only
                r->audioChannels = Le16(f + 2);
                r->audioRate = Le32(f + 4);
                r->audioBlockAlign = Le16(f + 12);
                r->audioBits = Le16(f + 14);
                if (!Skip(s, ((uint64_t(size) + 1) & ~uint64_t(1)) - 16)) return false;
            } else if (memcmp(type, "vids", 4) == 0) {
                uint8_t f[40];
                if (size < 40 || !ReadExact(s, f, 40)) return false;
                const int32_t w = int32_t(Le32(f + 4)), h = int32_t(Le32(f + 8));
                // A negative height is a top-down DIB.
                if (w != r->width || (h != r->height && h != -r->height)) return false;
                r->topDown = h < 0;
                r->planes = Le16(f + 12);
                r->bits = Le16(f + 14);
                memcpy(r->videoCompression, f + 16, 4);
                if (!Skip(s, ((uint64_t(size) + 1) & ~uint64_t(1)) - 40)) return false;
                if (r->videoStream < 0) r->videoStream = lastStream;
            } else if (!Skip(s, (uint64_t(size) + 1) & ~uint64_t(1))) {
                return false;
            }
            continue;
        }
        if (!Skip(s, (uint64_t(size) + 1) & ~uint64_t(1))) return false;
    }
}

// The legacy index after the movie list: only the video stream's entries
// are kept, at most one per frame.
void ReadIndex(cxAviReader *r) {
    cxStream *s = r->stream;
    uint8_t c[8];
    if (!ReadExact(s, c, 8) || memcmp(c, "idx1", 4) != 0) return;
    uint64_t entries = Le32(c + 4) / 16;
    if (r->fileSize != CX_STREAM_SIZE_UNKNOWN && entries > r->fileSize / 16) entries = r->fileSize / 16;
    try {
        r->index.reserve(size_t(entries < r->totalFrames ? entries : r->totalFrames));
    } catch (const std::bad_alloc &) {
        return;
    }
    uint8_t e[16];
    for (uint64_t i = 0; i < entries; ++i) {
        if (!ReadExact(s, e, 16)) break;
        if (memcmp(e, "rec ", 4) == 0) continue;
        if (!IsDigit(e[0]) || !IsDigit(e[1])) {
            r->index.clear();
            return;
        }
        const int number = (e[0] - '0') * 10 + (e[1] - '0');
        const bool known = (e[2] == 'd' && (e[3] == 'b' || e[3] == 'c')) || (e[2] == 'w' && e[3] == 'b');
        if (number >= r->streams || !known) {
            r->index.clear();
            return;
        }
        if (number != r->videoStream || e[2] != 'd') continue;
        if (r->index.size() < r->totalFrames) r->index.push_back({Le32(e + 8), Le32(e + 12)});
    }
}

bool IsVideoChunk(const cxAviReader *r, const uint8_t *id) {
    return memcmp(id, r->videoIds[0], 4) == 0 || memcmp(id, r->videoIds[1], 4) == 0;
}

// Where an idx1 entry's chunk header lies: offsets count from the start of
// the file or from the "movi" list type; the first entry used decides.
bool SeekToEntry(cxAviReader *r, const IndexEntry &e) {
    cxStream *s = r->stream;
    if (r->indexMode == kIndexUnknown) {
        uint8_t id[4];
        const bool absolute = SeekTo(s, e.offset) && ReadExact(s, id, 4) && IsDigit(id[0]) && IsDigit(id[1]) &&
                              ((id[2] == 'd' && (id[3] == 'b' || id[3] == 'c')) || (id[2] == 'w' && id[3] == 'b'));
        r->indexMode = absolute ? kIndexAbsolute : kIndexRelative;
    }
    const uint64_t at = r->indexMode == kIndexAbsolute ? e.offset : e.offset + r->moviStart - 4;
    return SeekTo(s, at);
}

uint32_t *DecodeRaw(cxAviReader *r, uint32_t size) {
    const size_t w = size_t(r->width), h = size_t(r->height);
    const size_t tight = w * 3, padded = (w * 3 + 3) & ~size_t(3);
    size_t stride = 0;
    if (size == tight * h) stride = tight;
    else if (size == padded * h) stride = padded;  // DIB rows are padded to 4 bytes
    else return nullptr;
    auto *px = static_cast<uint32_t *>(malloc(w * h * 4));
    if (!px) return nullptr;
    const uint8_t *data = r->chunk.data();
    for (size_t y = 0; y < h; ++y) {
        const uint8_t *in = data + (r->topDown ? y : h - 1 - y) * stride;
        uint32_t *out = px + y * w;
        for (size_t x = 0; x < w; ++x, in += 3) out[x] = uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
    }
    return px;
}

// 1 when a DHT segment comes before the start of scan (the frame needs no
// rebuilding), 0 when none does, -1 for data that is no JPEG.
int HasHuffmanTables(const uint8_t *in, size_t size) {
    if (size < 4 || in[0] != 0xFF || in[1] != 0xD8) return -1;
    size_t j = 2;
    for (;;) {
        while (j + 1 < size && !(in[j] == 0xFF && in[j + 1] != 0xFF && in[j + 1] != 0)) ++j;
        if (j + 4 > size) return -1;
        const uint8_t marker = in[j + 1];
        if (marker == 0xDA) return 0;
        if (marker == 0xC4) return 1;
        if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) return -1;
        j += 2 + (size_t(in[j + 2]) << 8 | in[j + 3]);
    }
}

uint32_t *DecodeMjpeg(cxAviReader *r, uint32_t size) {
    const uint8_t *jpeg = r->chunk.data();
    size_t n = size;
    const int tables = HasHuffmanTables(jpeg, size);
    if (tables < 0) return nullptr;
    if (tables) {
        // Decoded where it was read; only the APP0 identifier changes.
        if (size >= 10 && memcmp(r->chunk.data() + 6, "AVI1", 4) == 0) memcpy(r->chunk.data() + 6, "JFIF", 4);
    } else {
        try {
            r->rebuilt.resize(size_t(size) + sizeof kStandardDht);
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
        n = RebuildMjpegFrame(r->chunk.data(), size, r->rebuilt.data(), r->rebuilt.size());
        if (!n) return nullptr;
        jpeg = r->rebuilt.data();
    }
    int w = 0, h = 0;
    uint32_t *px = nullptr;
    if (ReadJpegImage(jpeg, n, 0, 0, &w, &h, &px) != 0 || !px) return nullptr;
    if (w == r->width && h == r->height) return px;
    // A picture of another size than the stream's: the part that overlaps,
    // black elsewhere.
    const size_t fw = size_t(r->width), fh = size_t(r->height);
    auto *fit = static_cast<uint32_t *>(calloc(fw * fh, 4));
    if (fit) {
        const size_t cw = size_t(w) < fw ? size_t(w) : fw, ch = size_t(h) < fh ? size_t(h) : fh;
        for (size_t y = 0; y < ch; ++y) memcpy(fit + y * fw, px + y * size_t(w), cw * 4);
    }
    free(px);
    return fit;
}

}  // namespace

extern "C" size_t RebuildMjpegFrame(const uint8_t *in, size_t inSize, uint8_t *out, size_t cap) {
    if (inSize < 4 || in[0] != 0xFF || in[1] != 0xD8) return 0;
    size_t i = 2, o = 0;
    auto put = [&](const uint8_t *p, size_t n) {
        if (n > cap - o) return false;
        memcpy(out + o, p, n);
        o += n;
        return true;
    };
    if (!put(in, 2)) return 0;
    bool haveDht = false;
    for (;;) {
        // The bytes up to the next marker, fill bytes included.
        size_t j = i;
        while (j + 1 < inSize && !(in[j] == 0xFF && in[j + 1] != 0xFF && in[j + 1] != 0)) ++j;
        if (j + 1 >= inSize) return 0;  // no start of scan
        if (!put(in + i, j - i)) return 0;
        const uint8_t marker = in[j + 1];
        if (marker == 0xDA) {
            if (!haveDht && !put(kStandardDht, sizeof kStandardDht)) return 0;
            if (!put(in + j, inSize - j)) return 0;
            break;
        }
        if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            // Markers without a length have no business before the scan.
            return 0;
        }
        if (j + 4 > inSize) return 0;
        const size_t length = size_t(in[j + 2]) << 8 | in[j + 3];
        if (length < 2 || j + 2 + length > inSize) return 0;
        if (marker == 0xC4) haveDht = true;
        if (!put(in + j, 2 + length)) return 0;
        i = j + 2 + length;
    }
    if (o >= 10 && memcmp(out + 6, "AVI1", 4) == 0) memcpy(out + 6, "JFIF", 4);
    return o;
}

extern "C" cxAviReader *OpenAviReader(cxStream *stream, int *width, int *height, int *frames) {
    if (!stream) return nullptr;
    auto *r = new (std::nothrow) cxAviReader;
    if (!r) {
        CloseFileStream(stream);
        return nullptr;
    }
    r->stream = stream;
    r->fileSize = GetStreamSize(stream);
    bool ok = SeekTo(stream, 0) && ReadHeader(r) && r->videoStream >= 0 && r->moviStart > 0;
    // Each frame is a chunk of at least its 8-byte header.
    if (ok && r->fileSize != CX_STREAM_SIZE_UNKNOWN && r->totalFrames > r->fileSize / 8) ok = false;
    if (ok) {
        const uint8_t *h = r->handler[r->videoStream];
        if (SameCode(h, "dib ") || SameCode(h, "raw ") || h[0] == 0) {
            r->compression = 0;
            ok = r->bits == 24;
        } else if (SameCode(h, "mjpg")) {
            r->compression = 1;
        } else {
            ok = false;
        }
    }
    if (ok) {
        for (char *id : r->videoIds) {
            id[0] = char('0' + r->videoStream / 10);
            id[1] = char('0' + r->videoStream % 10);
            id[2] = 'd';
        }
        r->videoIds[0][3] = 'b';
        r->videoIds[1][3] = 'c';
        ReadIndex(r);
        ok = SeekTo(stream, r->moviStart);
    }
    if (!ok) {
        CloseAviReader(r);
        return nullptr;
    }
    if (width) *width = r->width;
    if (height) *height = r->height;
    if (frames) *frames = int(r->totalFrames);
    return r;
}

extern "C" uint32_t *ReadAviFrame(cxAviReader *r, int n) {
    if (!r || n < 0 || uint32_t(n) >= r->totalFrames) return nullptr;
    cxStream *s = r->stream;
    if (n != r->current) {
        const size_t indexed = r->index.size();
        if (size_t(n) < indexed) {
            if (!SeekToEntry(r, r->index[size_t(n)])) return nullptr;
            r->current = n;
        } else if (indexed && (n < r->current || size_t(r->current) + 1 < indexed)) {
            // Frames past the index (later AVIX parts) are found by
            // scanning on from the last indexed one.
            if (!SeekToEntry(r, r->index.back())) return nullptr;
            r->current = int(indexed) - 1;
        } else if (n < r->current) {
            if (!SeekTo(s, r->moviStart)) return nullptr;
            r->current = 0;
        }
    }
    uint32_t size = 0;
    for (;;) {
        uint8_t c[8];
        if (!ReadExact(s, c, 8)) {
            SeekTo(s, r->moviStart);
            r->current = 0;
            return nullptr;
        }
        size = Le32(c + 4);
        if (memcmp(c, "LIST", 4) == 0 || memcmp(c, "RIFF", 4) == 0) {
            uint8_t type[4];
            if (!ReadExact(s, type, 4)) return nullptr;
            continue;
        }
        if (IsVideoChunk(r, c)) {
            if (r->current == n) break;
            ++r->current;
        }
        if (!Skip(s, (uint64_t(size) + 1) & ~uint64_t(1))) return nullptr;
    }
    // The chunk must lie within the file, and no frame is larger than four
    // bytes a pixel and its headers.
    if (r->fileSize != CX_STREAM_SIZE_UNKNOWN && uint64_t(size) > r->fileSize - Position(s)) return nullptr;
    if (uint64_t(size) > uint64_t(r->width) * uint64_t(r->height) * 4 + 65536) return nullptr;
    try {
        if (r->chunk.size() < size) r->chunk.resize(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    // Large chunks go straight into place, past the stream's buffer.
    if ((size >= 65536 ? ReadStream(s, r->chunk.data(), size) : ReadStreamData(s, r->chunk.data(), size)) != size)
        return nullptr;
    if (size & 1) ReadStreamByte(s);
    uint32_t *px = r->compression == 0 ? DecodeRaw(r, size) : DecodeMjpeg(r, size);
    if (uint32_t(++r->current) >= r->totalFrames) {
        r->current = 0;
        SeekTo(s, r->moviStart);
    }
    return px;
}

extern "C" void CloseAviReader(cxAviReader *r) {
    if (!r) return;
    if (r->stream) CloseFileStream(r->stream);
    delete r;
}

extern "C" void GetAviFileInfo(const cxAviReader *r, cxAviFileInfo *info) {
    *info = cxAviFileInfo{};
    if (!r) return;
    info->compression = r->compression;
    info->streams = r->streams;
    info->videoStream = r->videoStream;
    info->indexEntries = uint32_t(r->index.size());
    info->audioChannels = r->audioChannels;
    info->audioRate = r->audioRate;
    info->audioBlockAlign = r->audioBlockAlign;
    info->audioBits = r->audioBits;
}
