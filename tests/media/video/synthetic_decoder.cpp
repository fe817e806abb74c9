#include "tests/media/video/synthetic_decoder.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "engine/plugins/plugin_registry.h"

namespace videotest {

std::atomic<int> g_syntheticOpens{0}, g_syntheticSeeks{0};

namespace {

SyntheticSettings g_next;
cxPlugin g_plugin{};

struct Packet {
    int32_t type;
    int32_t frame;
};

struct Stream {
    SyntheticSettings s;
    std::mutex m;  // packets are read and decoded on different threads
    int32_t next = 0;       // next frame to demultiplex
    bool audioNext = false; // the sound of frame next - 1 comes next
    std::vector<uint8_t> y, u, v;
    std::vector<uint8_t> rgb;
};

int32_t SamplesOf(const Stream *st, int32_t frame) {
    const int64_t a = int64_t(std::floor(frame * double(st->s.toneRate) / st->s.fps));
    const int64_t b = int64_t(std::floor((frame + 1) * double(st->s.toneRate) / st->s.fps));
    return int32_t(b - a);
}

void *Open(const char *file, cxVideoFormat *f) {
    if (strncmp(file, "synthetic:", 10) != 0) return nullptr;
    auto *st = new Stream;
    st->s = g_next;
    const SyntheticSettings &s = st->s;
    f->width = s.badFormat ? -5 : s.width;
    f->height = s.height;
    f->duration = uint32_t(s.frames * 1000.0 / s.fps);
    f->audioRate = s.toneRate;
    f->audioChannels = s.toneRate ? s.toneChannels : 0;
    f->rgbOutput = s.rgb;
    f->flags = s.seekable ? CX_VIDEO_SEEKABLE : 0;
    f->frameDuration = 1.0 / s.fps;
    const int32_t w = s.oversizeFrame ? s.width * 2 : s.width, h = s.oversizeFrame ? s.height * 2 : s.height;
    st->y.resize(size_t(w) * h);
    st->u.assign(size_t((w + 1) / 2) * ((h + 1) / 2), 128);
    st->v.assign(size_t((w + 1) / 2) * ((h + 1) / 2), 128);
    st->rgb.resize(size_t(w) * h * 4);
    g_syntheticOpens++;
    return st;
}

void Close(void *h) { delete static_cast<Stream *>(h); }

int Next(void *h, cxVideoPacket *p) {
    auto *st = static_cast<Stream *>(h);
    std::lock_guard<std::mutex> lock(st->m);
    const bool tone = st->s.toneRate > 0;
    auto *pk = static_cast<Packet *>(malloc(sizeof(Packet)));
    if (st->audioNext) {
        pk->type = 1;
        pk->frame = st->next - 1;
        st->audioNext = false;
        p->size = SamplesOf(st, pk->frame) * st->s.toneChannels * 2;
    } else {
        if (st->next >= st->s.frames) {
            free(pk);
            return -1;
        }
        pk->type = 0;
        pk->frame = st->next++;
        st->audioNext = tone;
        p->size = st->s.width * st->s.height;
    }
    p->data = pk;
    p->type = pk->type;
    p->pts = st->s.nanPts ? NAN : pk->frame / st->s.fps;
    if (st->s.negativeSize) p->size = -1;
    if (st->s.hugePacket && pk->frame == 2 && pk->type == 0) p->size = 1 << 30;
    return 0;
}

void FreePacket(void *, cxVideoPacket *p) { free(p->data); }

int DecodeVideo(void *h, cxVideoPacket *p, cxVideoFrame *f) {
    auto *st = static_cast<Stream *>(h);
    const auto *pk = static_cast<const Packet *>(p->data);
    if (!pk || pk->type != 0) return -1;
    if (st->s.decodeCostUs) usleep(st->s.decodeCostUs);
    if (st->s.stallAfter5 && pk->frame == 5) usleep(1500000);
    const int32_t w = st->s.oversizeFrame ? st->s.width * 2 : st->s.width;
    const int32_t hgt = st->s.oversizeFrame ? st->s.height * 2 : st->s.height;
    const uint32_t n = uint32_t(pk->frame);
    if (st->s.rgb) {
        for (int32_t i = 0; i < w * hgt; ++i) {
            const int32_t x = i % w, y = i / w;
            const bool white = y == 0 ? ((n >> (x / 4)) & 1) != 0 : false;
            uint8_t *q = &st->rgb[size_t(i) * 4];
            q[0] = 0xFF, q[1] = q[2] = q[3] = white ? 255 : 0;
            if (y > 0) q[1] = uint8_t(n), q[2] = uint8_t(x), q[3] = uint8_t(y);
        }
        f->planes[0] = st->rgb.data();
        f->rowLengths[0] = w * 4;
    } else {
        for (int32_t i = 0; i < w * hgt; ++i) {
            const int32_t x = i % w, y = i / w;
            const bool white = y == 0 ? ((n >> (x / 4)) & 1) != 0 : false;
            st->y[size_t(i)] = white ? 235 : 16;
        }
        f->planes[0] = st->y.data();
        f->planes[1] = st->u.data();
        f->planes[2] = st->v.data();
        f->rowLengths[0] = w;
        f->rowLengths[1] = f->rowLengths[2] = (w + 1) / 2;
    }
    f->width = w;
    f->height = hgt;
    f->pts = st->s.nanPts ? NAN : pk->frame / st->s.fps;
    f->dts = f->pts;
    return 0;
}

int DecodeAudio(void *h, cxVideoPacket *p, cxVideoFrame *f) {
    auto *st = static_cast<Stream *>(h);
    const auto *pk = static_cast<const Packet *>(p->data);
    if (!pk || pk->type == 0) return -2;
    const int32_t samples = SamplesOf(st, pk->frame);
    int32_t bytes = samples * st->s.toneChannels * 2;
    if (st->s.soundBytesOverride >= 0) {
        if (pk->frame != 0) return 0;
        memset(f->buffer, 0x11, size_t(st->s.soundBytesOverride));
        return st->s.soundBytesOverride;
    }
    if (bytes > f->size) return -2;
    auto *out = static_cast<int16_t *>(f->buffer);
    const int64_t first = int64_t(std::floor(pk->frame * double(st->s.toneRate) / st->s.fps));
    for (int32_t i = 0; i < samples; ++i) {
        const double t = double(first + i) / st->s.toneRate;
        const int16_t v = int16_t(12000 * std::sin(2 * M_PI * st->s.toneHz * t));
        for (int c = 0; c < st->s.toneChannels; ++c) out[i * st->s.toneChannels + c] = v;
    }
    f->more = 0;
    return bytes;
}

int Seek(void *h, int64_t ms, int) {
    auto *st = static_cast<Stream *>(h);
    if (!st->s.seekable) return -1;
    std::lock_guard<std::mutex> lock(st->m);
    int32_t frame = int32_t(std::floor(ms * st->s.fps / 1000.0 + 1e-9));
    if (frame < 0 || frame > st->s.frames) return -1;
    st->next = frame;
    st->audioNext = false;
    g_syntheticSeeks++;
    return 0;
}

void Flush(void *) {}
int64_t Frames(void *h) { return static_cast<Stream *>(h)->s.frames; }
int Format(void *, cxVideoFormat *) { return 0; }

}  // namespace

void SetSyntheticSettings(const SyntheticSettings &s) { g_next = s; }

cxPlugin *SyntheticPlugin() {
    if (!g_plugin.OpenVideo) {
        g_plugin.capabilities = CX_CAP_VIDEO;
        g_plugin.name = "synthetic";
        g_plugin.moduleName = "synthetic";
        g_plugin.tag = CX_PLUGIN_RECORD_TAG;
        g_plugin.OpenVideo = Open;
        g_plugin.CloseVideo = Close;
        g_plugin.NextPacket = Next;
        g_plugin.FreePacket = FreePacket;
        g_plugin.DecodeVideoFrame = DecodeVideo;
        g_plugin.DecodeAudioFrame = DecodeAudio;
        g_plugin.SeekVideo = Seek;
        g_plugin.FlushAudio = Flush;
        g_plugin.FlushVideo = Flush;
        g_plugin.GetVideoFrames = Frames;
        g_plugin.GetVideoFormat = Format;
    }
    return &g_plugin;
}

void RegisterSyntheticDecoder() {
    if (!HasCapabilityEntry(SyntheticPlugin(), CX_CAP_VIDEO)) AddCapabilityEntry(SyntheticPlugin(), CX_CAP_VIDEO);
}

void UnregisterSyntheticDecoder() { RemoveCapabilityEntry(SyntheticPlugin(), CX_CAP_VIDEO); }

int32_t FrameOfPicture(const uint32_t *argb, int32_t width) {
    int32_t n = 0;
    for (int32_t b = 0; b < 16 && b * 4 + 2 < width; ++b) {
        const uint32_t px = argb[b * 4 + 1];
        const uint32_t g = (px >> 8) & 0xFF;
        if (g > 128) n |= 1 << b;
    }
    return n;
}

}  // namespace videotest
