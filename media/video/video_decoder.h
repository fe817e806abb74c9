// The decoder a video is bound to: a decoder plug-in (capability 0x40) or
// the inbuilt CDXL decoder. Every call checks what a plug-in hands back, so
// that a faulty decoder costs a picture, never the player.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"
#include "media/anim/cdxl_reader.h"

enum { CX_VIDEODECODER_PLUGIN = 1, CX_VIDEODECODER_INBUILT = 2 };

// Bytes of sound one DecodeAudioFrame call may give.
constexpr int32_t kVideoAudioBufferBytes = 262144;

struct cxVideoDecoder {
    cxPlugin *plugin = nullptr; // none for the inbuilt decoder
    void *handle = nullptr;
    int kind = 0;
    cxVideoFormat format{};
    // Inbuilt decoder: the reader, its info and its picture buffer.
    cxCdxlReader *cdxl = nullptr;
    cxCdxlInfo cdxlInfo{};
    uint8_t *cdxlPixels = nullptr;
};

// Binds the file to the first decoder that takes it: the plug-ins the loader
// list selects in list order, then the inbuilt decoder when the list selects
// "inbuilt"; "native" never opens anything here. 0, or ERR_LOADVIDEO with
// the file name as detail, ERR_MEM.
int OpenVideoDecoder(const char *file, const char *loaders, const char *adapters, cxVideoDecoder *d);
void CloseVideoDecoder(cxVideoDecoder *d);

// 0 and a packet, or -1 at the end (also when the decoder gave nonsense:
// a negative size or a huge one).
int DecoderNextPacket(cxVideoDecoder *d, cxVideoPacket *packet);
void DecoderFreePacket(cxVideoDecoder *d, cxVideoPacket *packet);
// 0 and a picture within the announced size with a finite pts (or -1), else
// non-zero.
int DecoderDecodeVideo(cxVideoDecoder *d, cxVideoPacket *packet, cxVideoFrame *frame);
// Bytes written into buffer (at most capacity); 0 packet used up, -1 end,
// other negative values no sound. *more while the packet holds more.
int DecoderDecodeAudio(cxVideoDecoder *d, cxVideoPacket *packet, void *buffer, int32_t capacity, int *more);
int DecoderSeek(cxVideoDecoder *d, int64_t position);
void DecoderFlushAudio(cxVideoDecoder *d);
void DecoderFlushVideo(cxVideoDecoder *d);
int64_t DecoderFrameCount(cxVideoDecoder *d);
const char *DecoderName(cxVideoDecoder *d);
