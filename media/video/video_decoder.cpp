#include "media/video/video_decoder.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"

namespace {

// A packet larger than this is a decoder fault, not a picture.
constexpr int32_t kMaxPacketBytes = 64 * 1024 * 1024;
// Announced pictures beyond this side are refused.
constexpr int32_t kMaxSide = 16384;

const char *PluginName(const cxPlugin *p) { return p->moduleName ? p->moduleName : (p->name ? p->name : ""); }

// What a decoder announced, made safe to use: a refused format is false.
bool SaneFormat(cxVideoFormat *f) {
    if (f->width < 1 || f->height < 1 || f->width > kMaxSide || f->height > kMaxSide) return false;
    if (f->audioChannels < 0 || f->audioChannels > 2 || (f->audioChannels > 0 && f->audioRate <= 0)) {
        f->audioChannels = 0;
        f->audioRate = 0;
    }
    if (f->audioRate > 384000) f->audioChannels = 0, f->audioRate = 0;
    if (!std::isfinite(f->frameDuration) || f->frameDuration <= 0.0 || f->frameDuration > 10.0)
        f->frameDuration = 1.0 / 25.0;
    return true;
}

bool OpenWithPlugins(const char *file, const char *loaders, const char *adapters, cxVideoDecoder *d) {
    AddNamedAdapterList(loaders, CX_CAP_VIDEO);
    for (cxPluginNode *n = GetCapabilityList(CX_CAP_VIDEO); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled) continue;
        if (!MatchLoaderList(loaders, PluginName(p), 1)) continue;
        if (p->onlyWhenNamed && !IsLoaderNamed(loaders, PluginName(p))) continue;
        cxVideoFormat f{};
        f.streamSize = CX_VIDEO_SIZE_UNKNOWN;
        f.adapters = adapters ? adapters : "";
        void *h = CallPluginEntry(p, p->OpenVideo, file, &f);
        if (!h) continue;
        if (!SaneFormat(&f)) {
            CallPluginEntry(p, p->CloseVideo, h);
            continue;
        }
        d->plugin = p;
        d->handle = h;
        d->kind = CX_VIDEODECODER_PLUGIN;
        d->format = f;
        return true;
    }
    return false;
}

bool OpenInbuilt(const char *file, const char *adapters, cxVideoDecoder *d) {
    cxCdxlInfo info{};
    cxCdxlReader *r = OpenCdxlFile(file, adapters, &info);
    if (!r) return false;
    auto *px = static_cast<uint8_t *>(malloc(size_t(info.width) * size_t(info.height) * 4));
    if (!px) {
        CloseCdxlFile(r);
        return false;
    }
    d->cdxl = r;
    d->cdxlInfo = info;
    d->cdxlPixels = px;
    d->kind = CX_VIDEODECODER_INBUILT;
    cxVideoFormat &f = d->format;
    f = cxVideoFormat{};
    f.width = info.width;
    f.height = info.height;
    f.duration = info.durationMs;
    f.audioRate = info.audioRate;
    f.audioChannels = info.audioChannels;
    f.rgbOutput = 1;
    f.flags = info.seekable ? CX_VIDEO_SEEKABLE : 0;
    f.frameDuration = info.frameRate > 0 ? 1.0 / info.frameRate : 0.04;
    f.streamSize = -1;
    return SaneFormat(&f);
}

}  // namespace

int OpenVideoDecoder(const char *file, const char *loaders, const char *adapters, cxVideoDecoder *d) {
    *d = cxVideoDecoder{};
    if (OpenWithPlugins(file, loaders, adapters, d)) return 0;
    if (MatchLoaderList(loaders, "inbuilt", 0) && OpenInbuilt(file, adapters, d)) return 0;
    CloseVideoDecoder(d);
    // The native player has nothing to offer on this platform.
    SetErrorDetail(file);
    return ERR_LOADVIDEO;
}

void CloseVideoDecoder(cxVideoDecoder *d) {
    if (d->kind == CX_VIDEODECODER_PLUGIN) CallPluginEntry(d->plugin, d->plugin->CloseVideo, d->handle);
    if (d->cdxl) CloseCdxlFile(d->cdxl);
    free(d->cdxlPixels);
    *d = cxVideoDecoder{};
}

int DecoderNextPacket(cxVideoDecoder *d, cxVideoPacket *packet) {
    *packet = cxVideoPacket{};
    if (d->kind == CX_VIDEODECODER_INBUILT) {
        cxCdxlPacket *p = nullptr;
        if (ReadCdxlPacket(d->cdxl, &p) != 0 || !p) return -1;
        packet->data = p;
        packet->type = p->type == CX_CDXL_VIDEO ? CX_VIDEO_PACKET_VIDEO : 1;
        packet->size = int32_t(p->type == CX_CDXL_VIDEO ? p->videoBytes : p->soundBytes);
        packet->pts = p->time;
        return 0;
    }
    if (CallPluginEntry(d->plugin, d->plugin->NextPacket, d->handle, packet) < 0) return -1;
    if (packet->size < 0 || packet->size > kMaxPacketBytes) {
        // Nothing sane can follow a packet like that: end the stream.
        DecoderFreePacket(d, packet);
        return -1;
    }
    if (!std::isfinite(packet->pts)) packet->pts = -1.0;
    return 0;
}

void DecoderFreePacket(cxVideoDecoder *d, cxVideoPacket *packet) {
    if (d->kind == CX_VIDEODECODER_INBUILT) free(packet->data);
    else if (d->kind == CX_VIDEODECODER_PLUGIN) CallPluginEntry(d->plugin, d->plugin->FreePacket, d->handle, packet);
    packet->data = nullptr;
}

int DecoderDecodeVideo(cxVideoDecoder *d, cxVideoPacket *packet, cxVideoFrame *frame) {
    *frame = cxVideoFrame{};
    if (d->kind == CX_VIDEODECODER_INBUILT) {
        auto *p = static_cast<cxCdxlPacket *>(packet->data);
        cxCdxlFrame f{};
        f.pixels = d->cdxlPixels;
        f.rowBytes = d->format.width * 4;
        if (!p || DecodeCdxlVideo(d->cdxl, p, &f) != 0) return -1;
        frame->planes[0] = d->cdxlPixels;
        frame->rowLengths[0] = f.rowBytes;
        frame->width = d->format.width;
        frame->height = d->format.height;
        frame->pts = frame->dts = p->time;
        frame->bytePosition = -1;
        return 0;
    }
    if (CallPluginEntry(d->plugin, d->plugin->DecodeVideoFrame, d->handle, packet, frame) != 0) return -1;
    // Unset sizes mean the announced size; larger ones would overrun our
    // buffers and are refused.
    if (frame->width == 0) frame->width = d->format.width;
    if (frame->height == 0) frame->height = d->format.height;
    if (frame->width < 1 || frame->height < 1 || frame->width > d->format.width || frame->height > d->format.height)
        return -1;
    if (!frame->planes[0]) return -1;
    if (d->format.rgbOutput) {
        if (frame->rowLengths[0] < frame->width * 4) return -1;
    } else {
        if (!frame->planes[1] || !frame->planes[2] || frame->rowLengths[0] < frame->width ||
            frame->rowLengths[1] < (frame->width + 1) / 2 || frame->rowLengths[2] < (frame->width + 1) / 2)
            return -1;
    }
    if (!std::isfinite(frame->pts)) frame->pts = -1.0;
    if (!std::isfinite(frame->dts)) frame->dts = -1.0;
    if (frame->repeat < 0 || frame->repeat > 16) frame->repeat = 0;
    return 0;
}

int DecoderDecodeAudio(cxVideoDecoder *d, cxVideoPacket *packet, void *buffer, int32_t capacity, int *more) {
    *more = 0;
    if (d->kind == CX_VIDEODECODER_INBUILT) {
        auto *p = static_cast<cxCdxlPacket *>(packet->data);
        size_t bytes = 0;
        if (!p || DecodeCdxlAudio(d->cdxl, p, static_cast<int16_t *>(buffer), size_t(capacity) / 2, &bytes, more) != 0)
            return -2;
        // The reader hands a packet's whole sound at once.
        *more = 0;
        return int(bytes);
    }
    cxVideoFrame f{};
    f.buffer = buffer;
    f.size = capacity;
    int n = CallPluginEntry(d->plugin, d->plugin->DecodeAudioFrame, d->handle, packet, &f);
    if (n > capacity) n = -2;  // wrote past what it was given: do not trust it
    *more = f.more != 0;
    return n;
}

int DecoderSeek(cxVideoDecoder *d, int64_t position) {
    if (d->kind == CX_VIDEODECODER_INBUILT) return SeekCdxl(d->cdxl, position);
    return CallPluginEntry(d->plugin, d->plugin->SeekVideo, d->handle, position, 0);
}

void DecoderFlushAudio(cxVideoDecoder *d) {
    if (d->kind == CX_VIDEODECODER_INBUILT) FlushCdxlAudio(d->cdxl);
    else CallPluginEntry(d->plugin, d->plugin->FlushAudio, d->handle);
}

void DecoderFlushVideo(cxVideoDecoder *d) {
    if (d->kind == CX_VIDEODECODER_INBUILT) FlushCdxlVideo(d->cdxl);
    else CallPluginEntry(d->plugin, d->plugin->FlushVideo, d->handle);
}

int64_t DecoderFrameCount(cxVideoDecoder *d) {
    if (d->kind == CX_VIDEODECODER_INBUILT) return GetCdxlFrameCount(d->cdxl);
    return CallPluginEntry(d->plugin, d->plugin->GetVideoFrames, d->handle);
}

const char *DecoderName(cxVideoDecoder *d) {
    if (d->kind == CX_VIDEODECODER_INBUILT) return GetCdxlFormatName();
    return PluginName(d->plugin);
}
