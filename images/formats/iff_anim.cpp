#include "images/formats/iff_anim.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "images/formats/bitplanes.h"
#include "images/formats/image_limits.h"

struct cxIffAnim {
    cxStream *stream = nullptr;
    uint64_t streamSize = CX_STREAM_SIZE_UNKNOWN;
    int width = 0, height = 0, depth = 0, planes = 0, compression = 0, masking = 0, transparentColour = 0;
    bool ehb = false, ham6 = false, ham8 = false;
    size_t bpr = 0, planeBytes = 0;
    std::vector<uint8_t> first, delta[2], field;  // plane buffers
    int nextDelta = 0;                             // which delta buffer the next delta changes
    std::vector<uint8_t> indices, fieldIndices;
    uint32_t palette[256] = {};
    uint32_t firstPalette[256] = {};
    int frames = 0;
    int applied = 0;                  // deltas applied to the picture shown by `current`
    const uint8_t *current = nullptr;
    int64_t firstDelta = -1;
    std::vector<uint32_t> delays;     // ticks of 1/60 s per frame
    int fieldOrder = 0, fieldParity = 0;
    bool fieldData = false;
    bool fieldDoubling = false, wantTransparency = false;
    // the last ANHD read
    int method = 0, interleave = 0;
    uint32_t bits = 0;
    std::vector<uint8_t> dlta;
};

namespace {

uint32_t BE32(const uint8_t *p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint16_t BE16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool ReadExact(cxStream *s, void *buf, size_t n) { return ReadStreamData(s, buf, n) == n; }

bool ReadChunkHeader(cxStream *s, char id[4], uint32_t *size) {
    uint8_t h[8];
    if (!ReadExact(s, h, 8)) return false;
    memcpy(id, h, 4);
    *size = BE32(h + 4);
    return true;
}

bool SkipTo(cxStream *s, int64_t at) { return at >= 0 && SeekFileStream(s, at, CX_SEEK_BEGINNING) >= 0; }

bool ReadCmap(cxIffAnim *a, uint32_t size) {
    uint8_t rgb[768];
    const uint32_t n = size / 3 < 256 ? size / 3 : 256;
    if (!ReadExact(a->stream, rgb, n * 3)) return false;
    for (uint32_t i = 0; i < n; i++) a->palette[i] = uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 | rgb[i * 3 + 2];
    if (a->ehb) ApplyExtraHalfBrite(a->palette);
    return true;
}

void SetDelay(cxIffAnim *a, int frame, uint32_t ticks) {
    if (frame < 0 || frame > (1 << 20)) return;
    if (a->delays.size() <= static_cast<size_t>(frame)) a->delays.resize(frame + 1, 0);
    a->delays[frame] = ticks;
}

// Bounded reads of the DLTA data.
struct Data {
    const uint8_t *p;
    size_t size, at;
    bool ok = true;
    uint32_t Byte() { return at < size ? p[at++] : (ok = false, 0u); }
    uint32_t Item(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++) v = v << 8 | Byte();
        return v;
    }
};

// A column of a plane written from the top, rows `step` bytes apart; writes
// outside the plane are dropped.
struct Column {
    uint8_t *plane;
    size_t planeSize, step, offset;
    int row = 0;
    bool exclusiveOr = false;
    void Put(uint32_t value, int bytes) {
        const size_t at = offset + static_cast<size_t>(row) * step;
        for (int i = 0; i < bytes; i++) {
            if (at + i >= planeSize) break;
            const uint8_t b = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
            plane[at + i] = exclusiveOr ? plane[at + i] ^ b : b;
        }
        row++;
    }
};

void Method5(cxIffAnim *a, uint8_t *plane, Data d, size_t step) {
    const int rows = static_cast<int>(a->planeBytes / step);
    for (size_t c = 0; c < a->bpr && d.ok; c++) {
        Column col{plane, a->planeBytes, step, c};
        col.exclusiveOr = a->interleave == 1;
        const uint32_t ops = d.Byte();
        for (uint32_t i = 0; i < ops && d.ok && col.row <= rows; i++) {
            const uint32_t op = d.Byte();
            if (op & 0x80) {
                for (uint32_t k = 0; k < (op & 0x7F) && d.ok; k++) col.Put(d.Byte(), 1);
            } else if (op == 0) {
                const uint32_t count = d.Byte(), value = d.Byte();
                for (uint32_t k = 0; k < count && d.ok; k++) col.Put(value, 1);
            } else {
                col.row += static_cast<int>(op);
            }
        }
    }
}

void Method7(cxIffAnim *a, uint8_t *plane, Data ops, Data data, size_t step) {
    const int size = (a->bits & 1) ? 4 : 2;
    const size_t columns = static_cast<size_t>(a->width) / (size * 8);
    for (size_t c = 0; c < columns && ops.ok; c++) {
        Column col{plane, a->planeBytes, step, c * size};
        const uint32_t count = ops.Byte();
        for (uint32_t i = 0; i < count && ops.ok && data.ok; i++) {
            const uint32_t op = ops.Byte();
            if (op & 0x80) {
                for (uint32_t k = 0; k < (op & 0x7F) && data.ok; k++) col.Put(data.Item(size), size);
            } else if (op == 0) {
                const uint32_t n = ops.Byte(), value = data.Item(size);
                for (uint32_t k = 0; k < n && data.ok && k < 65536; k++) col.Put(value, size);
            } else {
                col.row += static_cast<int>(op);
            }
        }
    }
}

void Method8(cxIffAnim *a, uint8_t *plane, Data d, size_t step) {
    const bool longs = a->bits & 1;
    const size_t longColumns = longs ? a->bpr / 4 : 0;
    const size_t columns = longs ? longColumns + (a->bpr % 4 ? 1 : 0) : a->bpr / 2;
    for (size_t c = 0; c < columns && d.ok; c++) {
        const int size = longs && c < longColumns ? 4 : 2;
        const uint32_t sign = size == 4 ? 0x80000000u : 0x8000u;
        Column col{plane, a->planeBytes, step, longs ? c * 4 : c * 2};
        const uint32_t count = d.Item(size);
        for (uint32_t i = 0; i < count && d.ok; i++) {
            const uint32_t op = d.Item(size);
            if (op & sign) {
                for (uint32_t k = 0; k < (op & ~sign) && d.ok; k++) col.Put(d.Item(size), size);
            } else if (op == 0) {
                const uint32_t n = d.Item(size), value = d.Item(size);
                for (uint32_t k = 0; k < n && d.ok && col.row <= a->height * 2; k++) col.Put(value, size);
            } else {
                if (op > static_cast<uint32_t>(a->height) * 2) break;
                col.row += static_cast<int>(op);
            }
        }
    }
}

void Method100(cxIffAnim *a, uint8_t *plane, Data d, size_t step, bool shortForm) {
    const int size = shortForm ? 2 : 4;
    const uint32_t items = d.Item(shortForm ? 2 : 4);
    for (uint32_t i = 0; i < items && d.ok; i++) {
        int32_t c = shortForm ? static_cast<int16_t>(d.Item(2)) : static_cast<int32_t>(d.Item(4));
        const uint32_t offset = d.Item(4) & 0xFFFFFF;
        Column col{plane, a->planeBytes, step, offset};
        if (c < 0) {
            for (int64_t k = 0; k < -int64_t{c} && d.ok; k++) col.Put(d.Item(size), size);
        } else {
            const uint32_t value = d.Item(size);
            for (int32_t k = 0; k < c && d.ok && col.row <= a->height * 2; k++) col.Put(value, size);
        }
    }
}

// Chunks of the first picture up to its BODY.
bool ReadFirstPicture(cxIffAnim *a) {
    cxStream *s = a->stream;
    if (!SkipTo(s, 24)) return false;
    bool haveBmhd = false;
    for (;;) {
        char id[4];
        uint32_t size = 0;
        if (!ReadChunkHeader(s, id, &size)) return false;
        const int64_t start = SeekFileStream(s, 0, CX_SEEK_CURRENT);
        const int64_t next = start + size + (size & 1);
        if (memcmp(id, "BODY", 4) == 0) {
            if (!haveBmhd || a->planes < 1 || a->planes > 8 || a->width < 1 || a->compression > 1 ||
                !IsImageSizeAllowed(a->width, a->height))
                return false;
            a->bpr = CX_PLANE_ROW_BYTES(a->width);
            a->planeBytes = a->bpr * a->height;
            a->first.assign(a->planeBytes * a->planes, 0);
            const int ok = a->compression == 0
                               ? ReadRawBitplanes(s, a->first.data(), size, a->width, a->height, a->planes, a->masking)
                               : ReadByteRun1Bitplanes(s, a->first.data(), size, a->width, a->height, a->planes,
                                                       a->masking);
            if (!ok) return false;
            return SkipTo(s, next);
        }
        if (memcmp(id, "BMHD", 4) == 0) {
            uint8_t b[20];
            if (size < 20 || !ReadExact(s, b, 20)) return false;
            a->width = BE16(b);
            a->height = BE16(b + 2);
            a->planes = b[8];
            a->masking = b[9];
            a->compression = b[10];
            a->transparentColour = BE16(b + 12);
            haveBmhd = true;
        } else if (memcmp(id, "ANHD", 4) == 0) {
            uint8_t b[18];
            if (size < 18 || !ReadExact(s, b, 18)) return false;
            SetDelay(a, 0, BE32(b + 14));
        } else if (memcmp(id, "CMAP", 4) == 0) {
            if (!ReadCmap(a, size)) return false;
        } else if (memcmp(id, "DPAN", 4) == 0) {
            uint8_t b[4];
            if (size < 4 || !ReadExact(s, b, 4)) return false;
            a->frames = BE16(b + 2);
        } else if (memcmp(id, "CAMG", 4) == 0) {
            uint8_t b[4];
            if (size < 4 || !ReadExact(s, b, 4)) return false;
            const uint32_t mode = BE32(b);
            if (mode & 0x800) (a->planes >= 7 ? a->ham8 : a->ham6) = true;
            if (mode & 0x80) a->ehb = true;
        }
        if (!SkipTo(s, next)) return false;
    }
}

bool IsFormAt(cxStream *s, int64_t at) {
    uint8_t b[4];
    return SkipTo(s, at) && ReadExact(s, b, 4) && memcmp(b, "FORM", 4) == 0;
}

void Reset(cxIffAnim *a) {
    memcpy(a->delta[0].data(), a->first.data(), a->first.size());
    memcpy(a->delta[1].data(), a->first.data(), a->first.size());
    if (!a->field.empty()) memcpy(a->field.data(), a->first.data(), a->first.size());
    memcpy(a->palette, a->firstPalette, sizeof a->palette);
    a->nextDelta = 0;
    a->applied = 0;
    a->current = a->first.data();
    if (a->firstDelta >= 0) SkipTo(a->stream, a->firstDelta);
}

}  // namespace

extern "C" uint8_t *DecodeIFFAnimFrame(cxIffAnim *a) {
    if (!a || a->firstDelta < 0) return nullptr;
    cxStream *s = a->stream;
    bool haveAnhd = false;
    for (int guard = 0; guard < 4096; guard++) {
        char id[4];
        uint32_t size = 0;
        if (!ReadChunkHeader(s, id, &size)) return nullptr;
        if (memcmp(id, "FORM", 4) == 0) {
            uint8_t type[4];
            if (!ReadExact(s, type, 4)) return nullptr;
            continue;
        }
        const int64_t start = SeekFileStream(s, 0, CX_SEEK_CURRENT);
        const int64_t next = start + size + (size & 1);
        if (memcmp(id, "ANHD", 4) == 0) {
            uint8_t b[24];
            if (size < 24 || !ReadExact(s, b, 24)) return nullptr;
            a->method = b[0];
            a->interleave = b[18];
            a->bits = BE32(b + 20);
            SetDelay(a, a->applied + 1, BE32(b + 14));
            haveAnhd = true;
        } else if (memcmp(id, "CMAP", 4) == 0) {
            if (!ReadCmap(a, size)) return nullptr;
        } else if (memcmp(id, "DLTA", 4) == 0) {
            if (!haveAnhd) return nullptr;
            if (a->streamSize != CX_STREAM_SIZE_UNKNOWN && size > a->streamSize) return nullptr;
            try {
                a->dlta.resize(size);
            } catch (...) {
                return nullptr;
            }
            if (!ReadExact(s, a->dlta.data(), size)) return nullptr;
            SkipTo(s, next);
            break;
        }
        if (!SkipTo(s, next)) return nullptr;
    }
    if (a->dlta.size() < 64 && a->method != 100 && a->method != 101) return nullptr;

    uint8_t *target = a->delta[a->nextDelta].data();
    if (a->interleave == 0) a->nextDelta ^= 1;
    const bool field = (a->method == 100 || a->method == 101) && (a->bits & 64);
    const size_t step = field ? a->bpr * 2 : a->bpr;
    if (field && !a->field.empty()) {
        if (a->fieldOrder == 0) memcpy(a->field.data(), target, a->first.size());
        else if (!a->fieldDoubling) memcpy(a->field.data(), a->delta[a->nextDelta ^ (a->interleave != 0)].data(), a->first.size());
    }
    const uint8_t *d = a->dlta.data();
    const size_t n = a->dlta.size();
    for (int p = 0; p < a->planes && p < 8; p++) {
        const size_t at = static_cast<size_t>(p) * 4;
        const uint32_t offset = at + 4 <= n ? BE32(d + at) : 0;
        if (!offset || offset >= n) continue;
        uint8_t *plane = target + static_cast<size_t>(p) * a->planeBytes;
        Data data{d, n, offset};
        switch (a->method) {
        case 5: Method5(a, plane, data, step); break;
        case 7: {
            const uint32_t dataOffset = BE32(d + 32 + at);
            if (dataOffset && dataOffset < n) Method7(a, plane, data, Data{d, n, dataOffset}, step);
            break;
        }
        case 8: Method8(a, plane, data, step); break;
        case 100: Method100(a, plane, data, step, false); break;
        case 101: Method100(a, plane, data, step, true); break;
        default: return nullptr;
        }
    }
    if (field && a->fieldOrder == 0 && !a->field.empty()) {
        for (int y = 0; y < a->height && a->fieldOrder == 0; y++)
            for (int p = 0; p < a->planes; p++) {
                const size_t row = static_cast<size_t>(p) * a->planeBytes + static_cast<size_t>(y) * a->bpr;
                if (memcmp(target + row, a->field.data() + row, a->bpr) != 0) {
                    a->fieldOrder = (y & 1) ? 1 : 2;
                    break;
                }
            }
    }
    return target;
}

extern "C" cxIffAnim *OpenIFFAnim(cxStream *s, int fieldDoubling, int *width, int *height, int *frames,
                                  int transparency) {
    if (!s) return nullptr;
    cxIffAnim *a = new (std::nothrow) cxIffAnim;
    if (!a) {
        CloseFileStream(s);
        return nullptr;
    }
    a->stream = s;
    a->streamSize = GetStreamSize(s);
    a->fieldDoubling = fieldDoubling != 0;
    a->wantTransparency = transparency != 0;
    uint8_t head[24];
    bool ok = ReadExact(s, head, 24) && memcmp(head, "FORM", 4) == 0 && memcmp(head + 8, "ANIM", 4) == 0 &&
              memcmp(head + 12, "FORM", 4) == 0;
    try {
        ok = ok && ReadFirstPicture(a);
        if (ok) {
            memcpy(a->firstPalette, a->palette, sizeof a->palette);
            a->depth = (a->ham6 || a->ham8) ? 24 : a->planes;
            a->delta[0] = a->first;
            a->delta[1] = a->first;
            a->indices.assign(static_cast<size_t>(a->width) * a->height, 0);
            const int64_t afterBody = SeekFileStream(s, 0, CX_SEEK_CURRENT);
            // The first delta form follows the first picture's form.
            const uint32_t firstSize = BE32(head + 16);
            const int64_t byForm = 20 + int64_t{firstSize} + (firstSize & 1);
            if (a->streamSize != CX_STREAM_SIZE_UNKNOWN && static_cast<uint64_t>(byForm) != a->streamSize &&
                IsFormAt(s, byForm))
                a->firstDelta = byForm;
            else if (IsFormAt(s, afterBody))
                a->firstDelta = afterBody;
            // No delta at all: a single picture.
            int forms = 0;
            if (a->firstDelta >= 0) {
                int64_t at = a->firstDelta;
                while (forms < (1 << 20) && IsFormAt(s, at)) {
                    uint8_t b[4];
                    if (!ReadExact(s, b, 4)) break;
                    const uint32_t size = BE32(b);
                    at += 8 + int64_t{size} + (size & 1);
                    forms++;
                }
                SkipTo(s, a->firstDelta);
                if (!DecodeIFFAnimFrame(a)) ok = false;
                const int method = a->method;
                if (method != 5 && method != 7 && method != 8 && method != 100 && method != 101) ok = false;
                if (a->frames == 0) a->frames = 1 + forms - ((method == 100 || method == 101) ? 2 : 0);
                if (ok && (method == 100 || method == 101) && (a->bits & 64)) {
                    a->fieldData = true;
                    a->field = a->first;
                    Reset(a);
                    int decoded = 0;
                    while (a->fieldOrder == 0 && decoded < forms && DecodeIFFAnimFrame(a)) decoded++;
                    a->fieldParity = decoded & 1;
                    if (!fieldDoubling) a->fieldIndices.assign(a->indices.size(), 0);
                }
            }
            if (a->frames < 1) a->frames = 1;
        }
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        CloseIFFAnim(a);
        return nullptr;
    }
    Reset(a);
    if (width) *width = a->width;
    if (height) *height = a->height;
    if (frames) *frames = a->frames;
    return a;
}

extern "C" uint32_t *ReadIFFAnimFrame(cxIffAnim *a, int n, int *transparent) {
    if (transparent) *transparent = 0;
    if (!a || n < 0 || n >= a->frames) return nullptr;
    if (n < a->applied) Reset(a);
    while (a->applied < n) {
        const uint8_t *planes = DecodeIFFAnimFrame(a);
        if (!planes) {
            Reset(a);
            return nullptr;
        }
        a->current = planes;
        a->applied++;
    }
    const size_t count = static_cast<size_t>(a->width) * a->height;
    uint32_t *out = static_cast<uint32_t *>(malloc(count * 4));
    if (!out) return nullptr;
    std::fill(a->indices.begin(), a->indices.end(), 0);
    ConvertBitplanes(a->current, a->width, a->height, a->planes, a->bpr, a->indices.data(), a->width);
    if (a->fieldData && a->fieldOrder) {
        const int f = a->fieldParity ? n % 2 : 1 - n % 2;
        const size_t w = a->width;
        if (!a->fieldDoubling && !a->fieldIndices.empty()) {
            std::fill(a->fieldIndices.begin(), a->fieldIndices.end(), 0);
            ConvertBitplanes(a->field.data(), a->width, a->height, a->planes, a->bpr, a->fieldIndices.data(), w);
        }
        for (int r = 0; r < a->height; r++) {
            if (r % 2 != f) continue;
            uint8_t *row = &a->indices[r * w];
            if (a->fieldDoubling) {
                const int from = f == 1 ? r - 1 : r + 1;
                if (from >= 0 && from < a->height) memcpy(row, &a->indices[from * w], w);
            } else if (!a->fieldIndices.empty()) {
                memcpy(row, &a->fieldIndices[r * w], w);
            }
        }
    }
    if (a->ham6) DecodeHAM6(a->indices.data(), out, a->palette, a->width, a->height);
    else if (a->ham8) DecodeHAM8(a->indices.data(), out, a->palette, a->width, a->height);
    else MapPaletteIndices(a->indices.data(), out, a->palette, a->width, a->height);
    if (a->wantTransparency && a->masking == 2) {
        const uint32_t key = a->ham6 || a->ham8 ? static_cast<uint32_t>(a->transparentColour | a->transparentColour << 12) : 0;
        for (size_t i = 0; i < count; i++) {
            const bool clear = (a->ham6 || a->ham8) ? (out[i] & 0xFFFFFF) == key
                                                    : a->indices[i] == (a->transparentColour & 0xFF);
            out[i] = clear ? out[i] & 0xFFFFFF : out[i] | 0xFF000000u;
        }
        if (transparent) *transparent = 1;
    }
    if (n == a->frames - 1) Reset(a);
    return out;
}

extern "C" int GetIFFAnimFrameDelay(cxIffAnim *a, int frame) {
    if (!a || frame < 0 || static_cast<size_t>(frame) >= a->delays.size()) return 0;
    return static_cast<int>(int64_t{a->delays[frame]} * 1000 / 60);
}

extern "C" void CloseIFFAnim(cxIffAnim *a) {
    if (!a) return;
    if (a->stream) CloseFileStream(a->stream);
    delete a;
}
