#include "media/anim/cdxl_reader.h"

#include <stdlib.h>
#include <string.h>

#include "images/formats/bitplanes.h"
#include "streams/stream.h"

struct cxCdxlReader {
    cxStream *stream;
    int32_t width, height;
    int32_t bytesPerPlaneRow;
    int32_t planes;
    int32_t frames;
    int32_t current;
    uint32_t chunkSize;
    uint32_t videoBytes;
    uint32_t paletteBytes;
    uint32_t soundBytes;
    uint32_t skipBytes;
    uint32_t ham;
    double rate;
    uint32_t soundPending;
};

namespace {

uint32_t Be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Be16(const uint8_t *p) { return uint32_t(p[0]) << 8 | p[1]; }

constexpr int32_t kMaxSide = 16384;

bool ReadExact(cxStream *s, void *buffer, size_t n) { return ReadStreamData(s, buffer, n) == n; }

// After the chunk's last packet: past its trailing bytes to the next chunk.
void EndChunk(cxCdxlReader *r) {
    if (r->skipBytes) SeekFileStream(r->stream, r->skipBytes, CX_SEEK_CURRENT);
    ++r->current;
}

}  // namespace

extern "C" double CdxlFrameRate(uint32_t chunkSize) {
    if (chunkSize == 0) return 0;
    if (chunkSize <= 13000) return 153600.0 / chunkSize;
    if (chunkSize <= 40000) return 307200.0 / chunkSize;
    return 614400.0 / chunkSize;
}

extern "C" cxCdxlReader *OpenCdxlFile(const char *file, const char *adapters, cxCdxlInfo *info) {
    if (info) memset(info, 0, sizeof *info);
    cxStream *s = OpenFileStream(file, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters);
    if (!s) return nullptr;
    uint8_t h[32], second[4];
    const uint64_t fileSize = GetStreamSize(s);
    bool ok = ReadExact(s, h, 32) && h[0] == 1 && fileSize != CX_STREAM_SIZE_UNKNOWN;
    const uint32_t chunkSize = ok ? Be32(h + 2) : 0;
    ok = ok && chunkSize >= 32 && fileSize > chunkSize;
    ok = ok && SeekFileStream(s, int64_t(chunkSize) + 2, CX_SEEK_BEGINNING) >= 0 && ReadExact(s, second, 4) &&
         Be32(second) == chunkSize && SeekFileStream(s, 0, CX_SEEK_BEGINNING) >= 0;
    const int32_t width = int32_t(Be16(h + 14)), height = int32_t(Be16(h + 16)), planes = h[19];
    const uint32_t paletteBytes = Be16(h + 20), soundBytes = Be16(h + 22);
    ok = ok && width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && planes >= 1 && planes <= 8 &&
         paletteBytes <= 512 && (paletteBytes & 1) == 0;
    const int32_t rowBytes = int32_t(((uint32_t(width) + 15) >> 3) & ~1u);
    const uint64_t videoBytes = uint64_t(planes) * uint64_t(rowBytes) * uint64_t(height);
    // Header, palette, picture and sound must fit the chunk.
    const uint64_t used = 32 + uint64_t(paletteBytes) + videoBytes + soundBytes;
    ok = ok && used <= chunkSize;
    cxCdxlReader *r = ok ? static_cast<cxCdxlReader *>(calloc(1, sizeof(cxCdxlReader))) : nullptr;
    if (!r) {
        CloseFileStream(s);
        return nullptr;
    }
    r->stream = s;
    r->width = width;
    r->height = height;
    r->bytesPerPlaneRow = rowBytes;
    r->planes = planes;
    r->chunkSize = chunkSize;
    r->frames = int32_t(fileSize / chunkSize > uint64_t(INT32_MAX) ? INT32_MAX : fileSize / chunkSize);
    r->videoBytes = uint32_t(videoBytes);
    r->paletteBytes = paletteBytes;
    r->soundBytes = soundBytes;
    r->skipBytes = uint32_t(chunkSize - used);
    r->ham = (h[1] & 0x0F) == 1;
    r->rate = CdxlFrameRate(chunkSize);
    if (info) {
        info->width = width;
        info->height = height;
        info->durationMs = uint32_t(double(r->frames) / r->rate * 1000.0);
        info->audioRate = int32_t(double(soundBytes) * r->rate);
        info->audioChannels = soundBytes ? 1 : 0;
        info->seekable = IsStreamUnseekable(s) ? 0 : 1;
        info->frames = r->frames;
        info->planes = planes;
        info->ham = r->ham;
        info->frameRate = r->rate;
    }
    return r;
}

extern "C" void CloseCdxlFile(cxCdxlReader *r) {
    if (!r) return;
    CloseFileStream(r->stream);
    free(r);
}

extern "C" int ReadCdxlPacket(cxCdxlReader *r, cxCdxlPacket **out) {
    *out = nullptr;
    if (r->current >= r->frames) return -1;
    const double time = double(r->current) / r->rate;
    if (r->soundPending) {
        auto *p = static_cast<cxCdxlPacket *>(malloc(sizeof(cxCdxlPacket) + r->soundBytes));
        if (!p) return -2;
        memset(p, 0, sizeof *p);
        p->type = CX_CDXL_AUDIO;
        p->frame = r->current;
        p->time = time;
        p->sound = reinterpret_cast<uint8_t *>(p + 1);
        p->soundBytes = r->soundBytes;
        r->soundPending = 0;
        if (!ReadExact(r->stream, p->sound, r->soundBytes)) {
            free(p);
            r->current = r->frames;
            return -1;
        }
        EndChunk(r);
        *out = p;
        return 0;
    }
    const size_t chunky = size_t(r->width) * size_t(r->height);
    auto *p = static_cast<cxCdxlPacket *>(malloc(sizeof(cxCdxlPacket) + r->videoBytes + chunky));
    if (!p) return -2;
    memset(p, 0, sizeof *p);
    p->type = CX_CDXL_VIDEO;
    p->frame = r->current;
    p->time = time;
    p->video = reinterpret_cast<uint8_t *>(p + 1);
    p->chunky = p->video + r->videoBytes;
    p->videoBytes = r->videoBytes;
    uint8_t palette[512];
    if (!ReadExact(r->stream, p->header, 32) || !ReadExact(r->stream, palette, r->paletteBytes) ||
        !ReadExact(r->stream, p->video, r->videoBytes)) {
        free(p);
        r->current = r->frames;
        return -1;
    }
    for (uint32_t i = 0; i < r->paletteBytes / 2; ++i) {
        const uint32_t c = Be16(palette + 2 * i);
        p->palette[i] = ((c >> 8) & 15) * 17 << 16 | ((c >> 4) & 15) * 17 << 8 | (c & 15) * 17;
    }
    if (r->soundBytes) r->soundPending = 1;
    else EndChunk(r);
    *out = p;
    return 0;
}

extern "C" int DecodeCdxlVideo(cxCdxlReader *r, cxCdxlPacket *p, cxCdxlFrame *frame) {
    if (!p || p->type != CX_CDXL_VIDEO || !frame || !frame->pixels || frame->rowBytes < r->width * 4) return -1;
    const size_t w = size_t(r->width), h = size_t(r->height);
    memset(p->chunky, 0, w * h);
    ConvertBitplanes(p->video, r->width, r->height, r->planes, size_t(r->bytesPerPlaneRow), p->chunky, w);
    uint32_t *rgb = static_cast<uint32_t *>(malloc(w * h * 4));
    if (!rgb) return -1;
    if (r->ham && r->planes < 7) DecodeHAM6(p->chunky, rgb, p->palette, r->width, r->height);
    else if (r->ham) DecodeHAM8(p->chunky, rgb, p->palette, r->width, r->height);
    else MapPaletteIndices(p->chunky, rgb, p->palette, r->width, r->height);
    for (size_t y = 0; y < h; ++y) {
        uint8_t *out = frame->pixels + y * size_t(frame->rowBytes);
        const uint32_t *in = rgb + y * w;
        for (size_t x = 0; x < w; ++x, out += 4) {
            out[0] = 0;
            out[1] = uint8_t(in[x] >> 16);
            out[2] = uint8_t(in[x] >> 8);
            out[3] = uint8_t(in[x]);
        }
    }
    free(rgb);
    frame->time = p->time;
    frame->time2 = -1.0;
    return 0;
}

extern "C" int DecodeCdxlAudio(cxCdxlReader *, cxCdxlPacket *p, int16_t *samples, size_t capacity, size_t *bytes,
                               int *more) {
    if (!p || p->type != CX_CDXL_AUDIO || capacity < p->soundBytes) return -1;
    for (uint32_t i = 0; i < p->soundBytes; ++i) samples[i] = int16_t(uint16_t(p->sound[i]) << 8);
    if (bytes) *bytes = size_t(p->soundBytes) * 2;
    if (more) *more = 1;
    return 0;
}

extern "C" int SeekCdxl(cxCdxlReader *r, int64_t ms) {
    if (ms < 0) ms = 0;
    double f = double(ms) / 1000.0 * r->rate;
    int32_t frame = f >= double(r->frames - 1) ? r->frames - 1 : int32_t(f);
    if (frame < 0) frame = 0;
    if (SeekFileStream(r->stream, int64_t(frame) * r->chunkSize, CX_SEEK_BEGINNING) < 0) return -1;
    r->current = frame;
    r->soundPending = 0;
    return 0;
}

extern "C" void FlushCdxlAudio(cxCdxlReader *) {}
extern "C" void FlushCdxlVideo(cxCdxlReader *) {}
extern "C" int32_t GetCdxlFrameCount(const cxCdxlReader *r) { return r ? r->frames : 0; }
extern "C" const char *GetCdxlFormatName(void) { return "CDXL"; }
