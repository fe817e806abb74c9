#include "media/avi/avi_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "display/backend.h"
#include "display/display_record.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/pixels/pixel_format.h"
#include "images/formats/jpeg_codec.h"
#include "platform/os_files.h"
#include "streams/stream.h"

namespace {

constexpr uint64_t kFirstPartLimit = 1000000000ull, kLaterPartLimit = 2000000000ull;
uint64_t g_firstLimit = kFirstPartLimit, g_laterLimit = kLaterPartLimit;

constexpr uint32_t kChannels = 2, kBits = 16, kBlockAlign = 4;
constexpr int kPointerSide = 46;

// The comment of every file: who wrote it.
const char kComment[] = "Written by the Calyxtone Player 8.0, the run-time player of the Calyxtone multimedia "
                        "scripting system, on Linux for 32-bit ARM";
static_assert(sizeof kComment <= 152, "the comment fits its 152 bytes");

struct StdEntry {
    uint32_t offset, size;
};
struct SuperEntry {
    uint64_t offset;
    uint32_t size, duration;
};

// Little-endian bytes under construction.
struct Bytes {
    std::vector<uint8_t> v;
    void u8(uint32_t x) { v.push_back(uint8_t(x)); }
    void u16(uint32_t x) { u8(x), u8(x >> 8); }
    void u32(uint32_t x) { u16(x), u16(x >> 16); }
    void u64(uint64_t x) { u32(uint32_t(x)), u32(uint32_t(x >> 32)); }
    void text(const char *t, size_t n) {
        for (size_t i = 0; i < n; ++i) v.push_back(uint8_t(t[i]));
    }
    void tag(const char *t) { text(t, 4); }
    void zeros(size_t n) { v.resize(v.size() + n, 0); }
};

}  // namespace

struct cxAviWriter {
    cxStream *out = nullptr;
    cxStream *temp = nullptr;
    char tempPath[1024] = {};
    uint64_t pos = 0;  // where the next byte of out goes
    bool failed = false;

    uint32_t frames = 0, partFrames = 0;
    int32_t width = 0, height = 0, fps = 0, quality = 0;
    int smooth = 0;
    uint32_t flags = 0;
    uint32_t usPerFrame = 0;
    uint64_t videoBytes = 0, partVideoBytes = 0;
    uint32_t largest = 0;
    uint32_t sampleRate = 0, samplesPerFrame = 0;
    uint64_t audioSamples = 0, partAudioSamples = 0;
    std::vector<uint8_t> audioBlock;

    uint32_t superCount = 0;
    SuperEntry super[2][CX_AVI_SUPERINDEX_ENTRIES] = {};
    StdEntry std[2][CX_AVI_STDINDEX_ENTRIES] = {};
    uint32_t stdCount = 0;
    uint64_t stdPos = 0;  // the current pair, 0 before the first
    uint64_t pairBase = 0;  // the start of the part the pair lies in
    uint32_t stdFirstFrame = 0;
    uint32_t partPairs = 0;

    uint64_t partStart = 0, moviSizeAt = 0, partLimit = 0;
    bool idx1Active = true;

    cxEncodedBuffer *last = nullptr;  // the previous frame's JPEG
    std::vector<uint32_t> argb;       // frames of other formats than 0xAARRGGBB words
    char title[1024] = {}, file[1024] = {}, sideFile[1024] = {};

    bool pointer = false;
    std::vector<uint32_t> pointerImage;  // 46 x 46 ARGB
};

namespace {

void Put(cxAviWriter *w, const void *data, size_t n) {
    if (n && WriteStream(w->out, data, n) != n) w->failed = true;
    w->pos += n;
}
void Put(cxAviWriter *w, const Bytes &b) { Put(w, b.v.data(), b.v.size()); }

void PutTagSize(cxAviWriter *w, const char *tag, uint32_t size) {
    Bytes b;
    b.tag(tag);
    b.u32(size);
    Put(w, b);
}

// Writes at an earlier place and comes back to the end.
void PatchAt(cxAviWriter *w, uint64_t at, const void *data, size_t n) {
    if (SeekFileStream(w->out, int64_t(at), CX_SEEK_BEGINNING) < 0 || WriteStream(w->out, data, n) != n)
        w->failed = true;
    if (SeekFileStream(w->out, int64_t(w->pos), CX_SEEK_BEGINNING) < 0) w->failed = true;
}
void PatchU32(cxAviWriter *w, uint64_t at, uint32_t value) {
    Bytes b;
    b.u32(value);
    PatchAt(w, at, b.v.data(), 4);
}

size_t TitleLength(const cxAviWriter *w) { return strlen(w->title); }

// Everything from the "hdrl" list to its end, with the values known now.
Bytes BuildHeader(const cxAviWriter *w) {
    const uint32_t n = uint32_t(TitleLength(w)), p = (n + 1) % 2;
    const uint32_t frames = w->frames;
    Bytes b;
    b.tag("LIST");
    b.u32(33303 + n + p);
    b.tag("hdrl");
    b.tag("avih");
    b.u32(56);
    b.u32(w->usPerFrame);
    const uint64_t perSecond = frames ? (w->videoBytes / frames) * 1000000ull / w->usPerFrame : 0;
    b.u32(uint32_t(perSecond > 0xFFFFFFFFull ? 0xFFFFFFFFull : perSecond));
    b.u32(0);     // padding granularity
    b.u32(0x10);  // has an index
    b.u32(frames);
    b.u32(0);
    b.u32(2);
    b.u32(0);
    b.u32(uint32_t(w->width));
    b.u32(uint32_t(w->height));
    b.zeros(16);

    // Stream 0: the sound.
    b.tag("LIST");
    b.u32(16476);
    b.tag("strl");
    b.tag("strh");
    b.u32(56);
    b.tag("auds");
    b.zeros(4);
    b.u32(0);
    b.u16(0), b.u16(0);
    b.u32(0);
    b.u32(kBlockAlign);
    b.u32(kBlockAlign * w->sampleRate);
    b.u32(0);
    b.u32(uint32_t(w->audioSamples));
    b.u32(kBlockAlign * w->samplesPerFrame);
    b.u32(0xFFFFFFFFu);
    b.u32(kBlockAlign);
    b.u16(0), b.u16(0), b.u16(0), b.u16(0);
    b.tag("strf");
    b.u32(16);
    b.u16(1);
    b.u16(kChannels);
    b.u32(w->sampleRate);
    b.u32(kBlockAlign * w->sampleRate);
    b.u16(kBlockAlign);
    b.u16(kBits);
    auto superIndex = [&](int stream, const char *id) {
        b.tag("indx");
        b.u32(16376);
        b.u16(4);
        b.u8(0);
        b.u8(0);
        b.u32(w->superCount);
        b.tag(id);
        b.zeros(12);
        for (uint32_t i = 0; i < CX_AVI_SUPERINDEX_ENTRIES; ++i) {
            const SuperEntry &e = w->super[stream][i];
            b.u64(i < w->superCount ? e.offset : 0);
            b.u32(i < w->superCount ? e.size : 0);
            b.u32(i < w->superCount ? e.duration : 0);
        }
    };
    superIndex(0, "00wb");

    // Stream 1: the pictures.
    b.tag("LIST");
    b.u32(16500);
    b.tag("strl");
    b.tag("strh");
    b.u32(56);
    b.tag("vids");
    b.tag("MJPG");
    b.u32(0);
    b.u16(0), b.u16(0);
    b.u32(0);
    b.u32(w->usPerFrame);
    b.u32(1000000);
    b.u32(0);
    b.u32(frames);
    b.u32(w->largest);
    b.u32(0);
    b.u32(0);
    b.u16(0), b.u16(0), b.u16(uint32_t(w->width)), b.u16(uint32_t(w->height));
    b.tag("strf");
    b.u32(40);
    b.u32(40);
    b.u32(uint32_t(w->width));
    b.u32(uint32_t(w->height));
    b.u16(1);
    b.u16(24);
    b.tag("MJPG");
    b.u32(uint32_t(uint64_t(w->width) * uint64_t(w->height) * 3));
    b.zeros(16);
    superIndex(1, "01dc");

    b.tag("LIST");
    b.u32(16);
    b.tag("odml");
    b.tag("dmlh");
    b.u32(4);
    b.u32(frames);

    b.tag("LIST");
    b.u32(211 + n + p);
    b.tag("INFO");
    b.tag("INAM");
    b.u32(n + 1);
    b.text(w->title, n);
    b.zeros(1 + p);
    b.tag("ISFT");
    b.u32(30);
    b.text("Calyxtone by Quorvane Softhex", 29);
    b.zeros(1);
    b.tag("ICMT");
    b.u32(152);
    b.text(kComment, sizeof kComment - 1);
    b.zeros(152 - (sizeof kComment - 1));
    return b;
}

void StartPart(cxAviWriter *w, bool first) {
    w->partStart = w->pos;
    w->partFrames = 0;
    w->partVideoBytes = 0;
    w->partAudioSamples = 0;
    w->partPairs = 0;
    w->partLimit = first ? g_firstLimit : g_laterLimit;
    Bytes b;
    b.tag("RIFF");
    b.u32(0);
    b.tag(first ? "AVI " : "AVIX");
    Put(w, b);
    if (first) Put(w, BuildHeader(w));
    w->moviSizeAt = w->pos + 4;
    Bytes m;
    m.tag("LIST");
    m.u32(0);
    m.tag("movi");
    Put(w, m);
}

// The pair of standard indexes that covers the frames since it was placed.
void FinishIndexPair(cxAviWriter *w) {
    if (!w->stdPos) return;
    for (int stream = 0; stream < 2; ++stream) {
        Bytes b;
        b.tag(stream ? "ix01" : "ix00");
        b.u32(16376);
        b.u16(2);
        b.u8(0);
        b.u8(1);
        b.u32(w->stdCount);
        b.tag(stream ? "01dc" : "00wb");
        b.u64(w->pairBase);
        b.u32(0);
        for (uint32_t i = 0; i < CX_AVI_STDINDEX_ENTRIES; ++i) {
            b.u32(i < w->stdCount ? w->std[stream][i].offset : 0);
            b.u32(i < w->stdCount ? w->std[stream][i].size : 0);
        }
        PatchAt(w, w->stdPos + uint64_t(stream) * CX_AVI_INDEX_CHUNK, b.v.data(), b.v.size());
    }
    const uint32_t covered = w->frames - w->stdFirstFrame;
    w->super[0][w->superCount - 1].duration = covered * w->samplesPerFrame;
    w->super[1][w->superCount - 1].duration = covered;
}

// Ends the current part: the legacy index (first part only), then the
// sizes of the RIFF part and its movie list.
void ClosePart(cxAviWriter *w) {
    const uint64_t moviEnd = w->pos;
    if (w->idx1Active) {
        PutTagSize(w, "idx1", 32 * w->partFrames);
        if (SeekFileStream(w->temp, 0, CX_SEEK_BEGINNING) < 0) w->failed = true;
        std::vector<uint8_t> block(16384);
        uint64_t left = uint64_t(w->partFrames) * 32;
        while (left && !w->failed) {
            const size_t want = left < block.size() ? size_t(left) : block.size();
            if (ReadStreamData(w->temp, block.data(), want) != want) {
                w->failed = true;
                break;
            }
            Put(w, block.data(), want);
            left -= want;
        }
        w->idx1Active = false;
    }
    const uint64_t riffSize = w->pos - w->partStart - 8, moviSize = moviEnd - w->moviSizeAt - 4;
    PatchU32(w, w->partStart + 4, uint32_t(riffSize));
    PatchU32(w, w->moviSizeAt, uint32_t(moviSize));
}

// A new pair of standard indexes at the current position, with its
// super-index entries. ERR_WRITE when the super index is full.
int PlaceIndexPair(cxAviWriter *w) {
    if (w->superCount == CX_AVI_SUPERINDEX_ENTRIES) return ERR_WRITE;
    FinishIndexPair(w);
    w->stdCount = 0;
    w->stdPos = w->pos;
    w->pairBase = w->partStart;
    w->stdFirstFrame = w->frames;
    for (int stream = 0; stream < 2; ++stream)
        w->super[stream][w->superCount] = {w->pos + uint64_t(stream) * CX_AVI_INDEX_CHUNK, CX_AVI_INDEX_CHUNK,
                                           w->frames};
    ++w->superCount;
    ++w->partPairs;
    Bytes b;
    for (int stream = 0; stream < 2; ++stream) {
        b.tag(stream ? "ix01" : "ix00");
        b.u32(16376);
        b.u16(2);
        b.u8(0);
        b.u8(1);
        b.u32(0);
        b.tag(stream ? "01dc" : "00wb");
        b.u64(w->partStart);
        b.u32(0);
        b.zeros(size_t(CX_AVI_STDINDEX_ENTRIES) * 8);
    }
    Put(w, b);
    return 0;
}

// The pointer: a white arrow with a black edge and a soft shadow, drawn
// here instead of kept as a picture file.
void MakePointerImage(std::vector<uint32_t> &px) {
    px.assign(size_t(kPointerSide) * kPointerSide, 0);
    auto inside = [](int x, int y) { return y >= 0 && y < 30 && x >= 0 && x <= y / 2 + (y > 20 ? 0 : y / 4); };
    for (int y = 0; y < kPointerSide; ++y)
        for (int x = 0; x < kPointerSide; ++x) {
            if (inside(x, y)) {
                const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
                px[size_t(y) * kPointerSide + x] = edge ? 0xFF000000u : 0xFFFFFFFFu;
            } else if (inside(x - 2, y - 2)) {
                px[size_t(y) * kPointerSide + x] = 0x60000000u;
            }
        }
}

// The pointer blended over a frame (0xAARRGGBB words) at the current
// display's mouse position, clipped to the frame.
void DrawPointer(cxAviWriter *w, uint32_t *frame, int32_t rowLength) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return;
    int32_t mx = 0, my = 0;
    GetDisplayMousePos(d, &mx, &my);
    for (int y = 0; y < kPointerSide; ++y) {
        const int64_t fy = int64_t(my) + y;
        if (fy < 0 || fy >= w->height) continue;
        for (int x = 0; x < kPointerSide; ++x) {
            const int64_t fx = int64_t(mx) + x;
            if (fx < 0 || fx >= w->width) continue;
            const uint32_t s = w->pointerImage[size_t(y) * kPointerSide + x], a = s >> 24;
            if (!a) continue;
            uint32_t &t = frame[size_t(fy) * size_t(rowLength) + size_t(fx)];
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t sc = (s >> shift) & 0xFF, tc = (t >> shift) & 0xFF;
                out |= ((sc * a + tc * (255 - a)) / 255) << shift;
            }
            t = out | 0xFF000000u;
        }
    }
}

// The JPEG of a frame of 0xAARRGGBB words, with "AVI1" in its APP0.
int Encode(cxAviWriter *w, const uint32_t *pixels, int32_t rowLength, cxEncodedBuffer **out) {
    if (w->pointer) {
        try {
            w->argb.resize(size_t(w->width) * size_t(w->height));
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        if (pixels != w->argb.data() || rowLength != w->width)
            for (int32_t y = 0; y < w->height; ++y)
                memcpy(w->argb.data() + size_t(y) * size_t(w->width), pixels + size_t(y) * size_t(rowLength),
                       size_t(w->width) * 4);
        DrawPointer(w, w->argb.data(), w->width);
        pixels = w->argb.data();
        rowLength = w->width;
    }
    cxJpegWriteRequest r{};
    r.pixels = pixels;
    r.bytesPerRow = rowLength * 4;
    r.width = w->width;
    r.height = w->height;
    r.quality = w->quality;
    WriteJpegImage(&r);
    if (r.error || !r.encoded) return ERR_MEM;
    if (r.encoded->size >= 10 && memcmp(r.encoded->data + 6, "JFIF", 4) == 0) memcpy(r.encoded->data + 6, "AVI1", 4);
    *out = r.encoded;
    return 0;
}

// Everything a frame adds to the file once its JPEG is ready.
int WriteEncoded(cxAviWriter *w, const cxEncodedBuffer *jpeg) {
    if (w->pos - w->partStart > w->partLimit) {
        ClosePart(w);
        StartPart(w, false);
    }
    if (w->stdCount == CX_AVI_STDINDEX_ENTRIES || w->partFrames == 0) {
        if (int err = PlaceIndexPair(w)) return err;
    }
    const uint32_t audioSize = kBlockAlign * w->samplesPerFrame;
    const uint64_t audioAt = w->pos;
    PutTagSize(w, "00wb", audioSize);
    Put(w, w->audioBlock.data(), audioSize);
    const uint32_t size = uint32_t(jpeg->size);
    const uint64_t videoAt = w->pos;
    PutTagSize(w, "01dc", size);
    Put(w, jpeg->data, size);
    const uint8_t pad = 0;
    if (size & 1) Put(w, &pad, 1);
    w->std[0][w->stdCount] = {uint32_t(audioAt + 8 - w->partStart), audioSize};
    w->std[1][w->stdCount] = {uint32_t(videoAt + 8 - w->partStart), size};
    ++w->stdCount;
    if (size > w->largest) w->largest = size;
    if (w->idx1Active) {
        Bytes b;
        b.tag("00wb");
        b.u32(0x10);
        b.u32(uint32_t(audioAt));
        b.u32(audioSize);
        b.tag("01dc");
        b.u32(0x10);
        b.u32(uint32_t(videoAt));
        b.u32(size);
        if (WriteStream(w->temp, b.v.data(), b.v.size()) != b.v.size()) w->failed = true;
    }
    ++w->frames;
    ++w->partFrames;
    const uint64_t padded = (uint64_t(size) + 1) & ~uint64_t(1);
    w->videoBytes += padded;
    w->partVideoBytes += padded;
    w->audioSamples += w->samplesPerFrame;
    w->partAudioSamples += w->samplesPerFrame;
    return w->failed ? ERR_WRITE : 0;
}

int WriteWithJpeg(cxAviWriter *w, cxEncodedBuffer *jpeg) {
    const int err = WriteEncoded(w, jpeg);
    if (jpeg != w->last) {
        FreeEncodedBuffer(w->last);
        w->last = jpeg;
    }
    return err;
}

}  // namespace

extern "C" void SetAviWriterPartLimits(uint64_t first, uint64_t later) {
    g_firstLimit = first ? first : kFirstPartLimit;
    g_laterLimit = later ? later : kLaterPartLimit;
}

extern "C" void GetAviAudioRate(int32_t fps, uint32_t *sampleRate, uint32_t *samplesPerFrame) {
    *sampleRate = *samplesPerFrame = 0;
    if (fps < 1 || fps > 1000000) return;
    const uint32_t us = 1000000u / uint32_t(fps);
    const uint32_t whole = 1000000u / us;
    if (whole > 44100) return;
    *sampleRate = 44100 / whole * whole;
    *samplesPerFrame = *sampleRate / whole;
}

extern "C" int BeginAviWriter(const char *file, int32_t fps, uint32_t flags, int32_t width, int32_t height,
                              int32_t quality, int smooth, int pointer, const char *title, const char *sideFile,
                              cxAviWriter **out) {
    *out = nullptr;
    uint32_t rate = 0, perFrame = 0;
    GetAviAudioRate(fps, &rate, &perFrame);
    // A rate no sound can follow, or a frame the header cannot describe.
    if (!rate || width < 1 || height < 1 || width > 65535 || height > 65535) return ERR_WRONGUSAGE;
    auto *w = new (std::nothrow) cxAviWriter;
    if (!w) return ERR_MEM;
    w->fps = fps;
    w->usPerFrame = 1000000u / uint32_t(fps);
    w->sampleRate = rate;
    w->samplesPerFrame = perFrame;
    w->width = width;
    w->height = height;
    w->quality = quality < 0 ? 0 : quality > 100 ? 100 : quality;
    w->smooth = smooth;
    w->flags = flags;
    snprintf(w->title, sizeof w->title, "%s", title ? title : "");
    snprintf(w->file, sizeof w->file, "%s", file ? file : "");
    snprintf(w->sideFile, sizeof w->sideFile, "%s", sideFile ? sideFile : "");
    try {
        w->audioBlock.assign(size_t(kBlockAlign) * perFrame, 0);
        if (pointer) MakePointerImage(w->pointerImage);
    } catch (const std::bad_alloc &) {
        delete w;
        return ERR_MEM;
    }
    w->pointer = pointer != 0;
    w->out = OpenFileStream(w->file, CX_STREAM_WRITE | CX_STREAM_ADAPTERS, nullptr);
    if (w->out && OsCreateTempFile(w->tempPath, sizeof w->tempPath) == 0)
        w->temp = OpenFileStream(w->tempPath, CX_STREAM_READWRITE, nullptr);
    if (!w->out || !w->temp) {
        FreeAviWriter(w);
        SetErrorDetail(file);
        return ERR_WRITEFILE;
    }
    StartPart(w, true);
    if (w->failed) {
        FreeAviWriter(w);
        SetErrorDetail(file);
        return ERR_WRITEFILE;
    }
    *out = w;
    return 0;
}

extern "C" int WriteAviFrameARGB(cxAviWriter *w, const uint32_t *pixels, int32_t rowLength) {
    if (!w || !pixels) return ERR_WRONGUSAGE;
    cxEncodedBuffer *jpeg = nullptr;
    if (int err = Encode(w, pixels, rowLength, &jpeg)) return err;
    return WriteWithJpeg(w, jpeg);
}

extern "C" int WriteAviFrame(cxAviWriter *w, cxBitmap *bitmap, int32_t width, int32_t height, int) {
    if (!w) return ERR_WRONGUSAGE;
    if (!bitmap) {
        // The previous picture once more (a black one before the first).
        if (w->last) return WriteWithJpeg(w, w->last);
        try {
            w->argb.assign(size_t(w->width) * size_t(w->height), 0xFF000000u);
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        return WriteAviFrameARGB(w, w->argb.data(), w->width);
    }
    cxBitmap *scaled = nullptr;
    if (width != w->width || height != w->height) {
        cxBitmap *m = nullptr, *a = nullptr;
        if (int err = ScaleBitmapFx(bitmap, nullptr, nullptr, 0, 0, width, height, w->width, w->height, w->smooth,
                                    &scaled, &m, &a))
            return err;
        FreeMask(m);
        FreeAlphaChannel(a);
        bitmap = scaled;
    }
    cxOsBitmapLock lock;
    if (!LockBitmap(bitmap, CX_LOCK_SOURCE, &lock)) {
        UnlockBitmap(&lock);
        FreeBitmap(scaled);
        return ERR_LOCKBMAP;
    }
    int err = 0;
    cxEncodedBuffer *jpeg = nullptr;
    if (lock.pixelFormat == CX_PIXFMT_DEFAULT && lock.bytesPerPixel == 4) {
        err = Encode(w, reinterpret_cast<const uint32_t *>(lock.pixels), int32_t(lock.rowLength), &jpeg);
    } else {
        try {
            w->argb.resize(size_t(w->width) * size_t(w->height));
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
        for (int32_t y = 0; !err && y < w->height; ++y)
            PixelRowToARGB(lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat,
                           w->argb.data() + size_t(y) * size_t(w->width), w->width);
        if (!err) err = Encode(w, w->argb.data(), w->width, &jpeg);
    }
    UnlockBitmap(&lock);
    FreeBitmap(scaled);
    if (err) return err;
    return WriteWithJpeg(w, jpeg);
}

extern "C" int FinishAviWriter(cxAviWriter *w) {
    if (!w) return 0;
    FinishIndexPair(w);
    ClosePart(w);
    const Bytes header = BuildHeader(w);
    PatchAt(w, 12, header.v.data(), header.v.size());
    if ((w->flags & CX_AVIWRITER_SIDEFILE) && w->sideFile[0]) {
        if (cxStream *s = OpenFileStream(w->sideFile, CX_STREAM_WRITE | CX_STREAM_ADAPTERS, nullptr)) {
            char text[2048];
            const int n = snprintf(text, sizeof text,
                                   "File: %s\nTitle: %s\nSize: %dx%d\nFrames: %u\nFrames per second: %d\n"
                                   "Sound: %u Hz, 16-bit stereo (silent)\n",
                                   w->file, w->title, w->width, w->height, w->frames, w->fps, w->sampleRate);
            if (n > 0) WriteStream(s, text, size_t(n) < sizeof text ? size_t(n) : sizeof text - 1);
            if (!CloseFileStream(s)) w->failed = true;
        }
    }
    const int err = w->failed ? ERR_WRITE : 0;
    if (!CloseFileStream(w->out)) {
        w->out = nullptr;
        FreeAviWriter(w);
        return ERR_WRITE;
    }
    w->out = nullptr;
    FreeAviWriter(w);
    return err;
}

extern "C" void FreeAviWriter(cxAviWriter *w) {
    if (!w) return;
    if (w->temp) {
        CloseFileStream(w->temp);
        OsDeleteFile(w->tempPath);
    } else if (w->tempPath[0]) {
        OsDeleteFile(w->tempPath);
    }
    if (w->out) CloseFileStream(w->out);
    FreeEncodedBuffer(w->last);
    delete w;
}

extern "C" uint32_t GetAviWriterFrames(const cxAviWriter *w) { return w ? w->frames : 0; }
