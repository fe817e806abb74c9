// DumpVideo: runs a stopped video's decoder to its end as fast as it goes,
// shows every picture and, given a name base, writes numbered pictures and
// the sound as a RIFF WAVE file.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/events/event_pump.h"
#include "display/present.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "images/core/argb_bitmaps.h"
#include "images/formats/image_saver.h"
#include "media/video/video_decoder.h"
#include "media/video/video_internal.h"

namespace {

void PutLe16(uint8_t *p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void PutLe32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The largest sound data a WAVE header can count (its RIFF size is a 32-bit
// data size + 36, after padding to 4).
constexpr uint64_t kMaxWaveData = 0xFFFFFFFFull - 36 - 3;
uint64_t g_waveLimit = kMaxWaveData;

struct WaveFile {
    FILE *f = nullptr;
    uint64_t bytes = 0;

    int Open(const std::string &name, int channels, int rate) {
        f = fopen(name.c_str(), "wb");
        if (!f) {
            SetErrorDetail(name.c_str());
            return ERR_WRITEFILE;
        }
        const uint32_t align = channels == 2 ? 4 : 2;
        uint8_t h[44];
        memcpy(h, "RIFF", 4);
        PutLe32(h + 4, 0);
        memcpy(h + 8, "WAVEfmt ", 8);
        PutLe32(h + 16, 16);
        PutLe16(h + 20, 1);
        PutLe16(h + 22, uint32_t(channels > 0 ? channels : 1));
        PutLe32(h + 24, uint32_t(rate));
        PutLe32(h + 28, align * uint32_t(rate));
        PutLe16(h + 32, align);
        PutLe16(h + 34, 16);
        memcpy(h + 36, "data", 4);
        PutLe32(h + 40, 0);
        if (fwrite(h, 1, 44, f) != 44) {
            SetErrorDetail(name.c_str());
            return ERR_WRITEFILE;
        }
        return 0;
    }
    // false when the block would take the file past what its header can say.
    bool Write(const void *data, size_t n) {
        if (bytes + n > g_waveLimit) return false;
        if (fwrite(data, 1, n, f) != n) return false;
        bytes += n;
        return true;
    }
    void Finish() {
        if (!f) return;
        static const uint8_t zeros[4] = {0, 0, 0, 0};
        const size_t pad = (4 - bytes % 4) % 4;
        if (pad) fwrite(zeros, 1, pad, f);
        uint8_t b[4];
        PutLe32(b, uint32_t(bytes + pad + 36));
        fseek(f, 4, SEEK_SET);
        fwrite(b, 1, 4, f);
        PutLe32(b, uint32_t(bytes));
        fseek(f, 40, SEEK_SET);
        fwrite(b, 1, 4, f);
        fclose(f);
        f = nullptr;
    }
};

}  // namespace

void SetVideoWaveLimit(uint64_t bytes) { g_waveLimit = bytes && bytes < kMaxWaveData ? bytes : kMaxWaveData; }

int ExportVideoFrames(lua_State *L, cxVideoPlayer *p, cxDisplay *d, int32_t x, int32_t y, const char *base,
                      int format, const char *extension) {
    cxVideoDecoder *dec = GetVideoPlayerDecoder(p);
    RewindVideoPlayer(p);
    const int32_t w = dec->format.width, h = dec->format.height;
    // The placed rectangle: a negative position cuts the picture's left or
    // top off; the display's size cuts the rest.
    int32_t srcX = 0, srcY = 0, dstX = x, dstY = y, cw = w, ch = h;
    if (dstX < 0) srcX = -dstX, cw += dstX, dstX = 0;
    if (dstY < 0) srcY = -dstY, ch += dstY, dstY = 0;
    cw = std::min(cw, d->pictureWidth - dstX);
    ch = std::min(ch, d->pictureHeight - dstY);
    std::vector<uint32_t> argb;
    try {
        argb.resize(size_t(w) * size_t(h));
    } catch (...) {
        return ERR_MEM;
    }
    std::vector<uint8_t> sound;
    WaveFile wave;
    if (base) {
        if (int err = wave.Open(std::string(base) + ".wav", dec->format.audioChannels, dec->format.audioRate)) {
            wave.Finish();
            return err;
        }
        sound.resize(kVideoAudioBufferBytes);
    }
    int result = 0;
    int counter = 0;
    cxVideoPacket pk;
    while (DecoderNextPacket(dec, &pk) == 0) {
        if (pk.type == CX_VIDEO_PACKET_VIDEO) {
            cxVideoFrame f{};
            if (DecoderDecodeVideo(dec, &pk, &f) == 0) {
                ConvertVideoPicture(&f, dec->format.rgbOutput != 0, argb.data(), w, w, h);
                if (cw > 0 && ch > 0) {
                    cxBitmap *bm = nullptr;
                    if (MakeBitmapFromARGB(argb.data() + size_t(srcY) * w + srcX, -1, cw, ch, w, &bm, nullptr) == 0) {
                        // Into the display's picture, so that repaints keep it,
                        // and on to the window.
                        if (d->picture) BltBitmap(bm, 0, 0, d->picture, dstX, dstY, cw, ch);
                        if (d->os.state != CX_DISPLAY_CLOSED)
                            RefreshDisplayRectCore(bm, 0, 0, d, dstX, dstY, cw, ch, d->os.scaledWidth,
                                                   d->os.scaledHeight, 0, nullptr, nullptr, nullptr);
                        FreeBitmap(bm);
                    }
                }
                if (base) {
                    char name[1100];
                    snprintf(name, sizeof name, "%s%d.%s", base, counter++, extension);
                    // A picture that cannot be written does not end the export.
                    SaveImage(format, argb.data(), w, h, name, 0, 90, 256, 0);
                }
            }
        } else if (base && dec->format.audioChannels > 0) {
            for (int guard = 0; guard < 4096; ++guard) {
                int more = 0;
                const int n = DecoderDecodeAudio(dec, &pk, sound.data(), int32_t(sound.size()), &more);
                if (n > 0 && !wave.Write(sound.data(), size_t(n))) {
                    result = ERR_WRITEFILE;
                    SetErrorDetail((std::string(base) + ".wav").c_str());
                    break;
                }
                if (n <= 0 || !more) break;
            }
        }
        DecoderFreePacket(dec, &pk);
        if (result) break;
        int code = 0;
        if (L && ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) {
            result = code;
            break;
        }
    }
    wave.Finish();
    return result;
}
