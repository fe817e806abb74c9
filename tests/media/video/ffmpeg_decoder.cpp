#include "tests/media/video/ffmpeg_decoder.h"

#include <string.h>

#include <atomic>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "engine/plugins/plugin_registry.h"

namespace videotest {

std::atomic<long> g_ffmpegPictures{0}, g_ffmpegSoundBlocks{0};

namespace {

cxPlugin g_plugin{};
std::atomic<int> g_threads{1};

// Enough empty packets at the end to take every picture a decoder holds
// back (reordering, frame threads) out of it.
constexpr int kDrainPackets = 24;

struct Packet {
    AVPacket *pkt = nullptr;  // null: a drain packet
    bool sent = false;
    bool done = false;
};

struct Stream {
    AVFormatContext *fmt = nullptr;
    int vIndex = -1, aIndex = -1;
    AVCodecContext *vctx = nullptr, *actx = nullptr;
    SwrContext *swr = nullptr;
    AVFrame *vframe = nullptr, *aframe = nullptr;
    int64_t start = 0;  // the first picture's time, AV_TIME_BASE units
    cxVideoFormat format{};
    int64_t frames = 0;
    int outChannels = 0;

    std::mutex demux;  // NextPacket and SeekVideo come from different threads
    bool eof = false;
    int drainLeft = 0;
    // Set by a seek, honoured by the decoding threads before their next frame.
    std::atomic<bool> flushVideo{false}, flushAudio{false};
    std::atomic<double> skipBefore{-1};  // pictures before this time are dropped
    double audioSkipBefore = -1;         // demux side: sound before this is not read out

    bool videoDrained = false;  // the decoder was sent its end
    bool audioDrained = false;
    std::vector<uint8_t> sound;  // converted sound not yet handed out
    size_t soundRead = 0;
};

double Seconds(const Stream *st, int index, int64_t ts) {
    if (ts == AV_NOPTS_VALUE) return -1;
    const AVRational tb = st->fmt->streams[index]->time_base;
    const double t = ts * av_q2d(tb) - st->start / double(AV_TIME_BASE);
    return t < 0 ? 0 : t;
}

AVCodecContext *OpenCodec(AVStream *s, int threads) {
    const AVCodec *c = avcodec_find_decoder(s->codecpar->codec_id);
    if (!c) return nullptr;
    AVCodecContext *ctx = avcodec_alloc_context3(c);
    if (!ctx) return nullptr;
    ctx->thread_count = threads;
    if (avcodec_parameters_to_context(ctx, s->codecpar) < 0 || avcodec_open2(ctx, c, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

void Free(Stream *st) {
    avcodec_free_context(&st->vctx);
    avcodec_free_context(&st->actx);
    swr_free(&st->swr);
    av_frame_free(&st->vframe);
    av_frame_free(&st->aframe);
    if (st->fmt) avformat_close_input(&st->fmt);
    delete st;
}

bool OpenSound(Stream *st) {
    AVStream *s = st->fmt->streams[st->aIndex];
    st->actx = OpenCodec(s, 1);
    if (!st->actx || st->actx->sample_rate < 1 || st->actx->ch_layout.nb_channels < 1) return false;
    st->outChannels = st->actx->ch_layout.nb_channels >= 2 ? 2 : 1;
    AVChannelLayout out;
    av_channel_layout_default(&out, st->outChannels);
    const int err = swr_alloc_set_opts2(&st->swr, &out, AV_SAMPLE_FMT_S16, st->actx->sample_rate, &st->actx->ch_layout,
                                        st->actx->sample_fmt, st->actx->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&out);
    return err >= 0 && swr_init(st->swr) >= 0;
}

void *Open(const char *file, cxVideoFormat *f) {
    auto *st = new Stream;
    if (avformat_open_input(&st->fmt, file, nullptr, nullptr) < 0) {
        st->fmt = nullptr;
        Free(st);
        return nullptr;
    }
    if (avformat_find_stream_info(st->fmt, nullptr) < 0) {
        Free(st);
        return nullptr;
    }
    st->vIndex = av_find_best_stream(st->fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (st->vIndex < 0) {
        Free(st);
        return nullptr;
    }
    AVStream *vs = st->fmt->streams[st->vIndex];
    st->vctx = OpenCodec(vs, g_threads.load());
    // Only 4:2:0 planes go to the player as they are.
    if (!st->vctx || (st->vctx->pix_fmt != AV_PIX_FMT_YUV420P && st->vctx->pix_fmt != AV_PIX_FMT_YUVJ420P) ||
        st->vctx->width < 1 || st->vctx->height < 1) {
        Free(st);
        return nullptr;
    }
    // Time 0 is the first picture's: sound that starts earlier (encoder
    // priming) must not push the pictures late.
    st->start = vs->start_time == AV_NOPTS_VALUE ? 0 : av_rescale_q(vs->start_time, vs->time_base, AV_TIME_BASE_Q);
    st->aIndex = av_find_best_stream(st->fmt, AVMEDIA_TYPE_AUDIO, -1, st->vIndex, nullptr, 0);
    if (st->aIndex >= 0 && !OpenSound(st)) {
        // A file whose sound cannot be decoded still plays its pictures.
        avcodec_free_context(&st->actx);
        swr_free(&st->swr);
        st->aIndex = -1;
    }
    st->vframe = av_frame_alloc();
    st->aframe = av_frame_alloc();

    AVRational rate = av_guess_frame_rate(st->fmt, vs, nullptr);
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
    f->width = st->vctx->width;
    f->height = st->vctx->height;
    f->duration = st->fmt->duration > 0 ? uint32_t(st->fmt->duration / 1000) : 0;
    f->audioRate = st->aIndex >= 0 ? st->actx->sample_rate : 0;
    f->audioChannels = st->aIndex >= 0 ? st->outChannels : 0;
    f->rgbOutput = 0;
    f->flags = st->fmt->pb && (st->fmt->pb->seekable & AVIO_SEEKABLE_NORMAL) ? CX_VIDEO_SEEKABLE : 0;
    f->frameDuration = 1.0 / fps;
    f->streamSize = st->fmt->pb ? avio_size(st->fmt->pb) : -1;
    st->frames = vs->nb_frames > 0 ? vs->nb_frames : int64_t(f->duration / 1000.0 * fps + 0.5);
    st->format = *f;
    return st;
}

void Close(void *h) { Free(static_cast<Stream *>(h)); }

int Next(void *h, cxVideoPacket *p) {
    auto *st = static_cast<Stream *>(h);
    std::lock_guard<std::mutex> lock(st->demux);
    while (!st->eof) {
        AVPacket *pkt = av_packet_alloc();
        if (!pkt) return -1;
        if (av_read_frame(st->fmt, pkt) < 0) {
            // The end, or a file too damaged to read on: let the decoder
            // give up what it holds.
            av_packet_free(&pkt);
            st->eof = true;
            st->drainLeft = kDrainPackets;
            break;
        }
        const bool video = pkt->stream_index == st->vIndex;
        const bool sound = pkt->stream_index == st->aIndex && st->aIndex >= 0;
        const double pts = Seconds(st, pkt->stream_index, pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts);
        if (sound && st->audioSkipBefore >= 0) {
            const double end = pts + pkt->duration * av_q2d(st->fmt->streams[st->aIndex]->time_base);
            if (pts >= 0 && end < st->audioSkipBefore) {
                av_packet_free(&pkt);
                continue;
            }
            st->audioSkipBefore = -1;
        }
        if (!video && !sound) {
            av_packet_free(&pkt);
            continue;
        }
        auto *k = new Packet;
        k->pkt = pkt;
        p->data = k;
        p->size = pkt->size;
        p->type = video ? CX_VIDEO_PACKET_VIDEO : 1;
        p->stream = pkt->stream_index;
        p->pts = pts;
        return 0;
    }
    if (st->drainLeft <= 0) return -1;
    --st->drainLeft;
    p->data = new Packet;
    p->size = 0;
    p->type = CX_VIDEO_PACKET_VIDEO;
    p->stream = st->vIndex;
    p->pts = -1;
    return 0;
}

void FreePacket(void *, cxVideoPacket *p) {
    auto *k = static_cast<Packet *>(p->data);
    if (!k) return;
    av_packet_free(&k->pkt);
    delete k;
}

// Sends the packet (once) and receives one frame. True with a frame.
bool SendAndReceive(AVCodecContext *ctx, Packet *k, bool *drained, AVFrame *frame) {
    av_frame_unref(frame);
    if (!k->sent) {
        if (!k->pkt) {
            if (!*drained) avcodec_send_packet(ctx, nullptr);
            *drained = true;
            k->sent = true;
        } else {
            int err = avcodec_send_packet(ctx, k->pkt);
            if (err == AVERROR(EAGAIN)) {
                // A frame waits: hand it out and send the packet after it.
                if (avcodec_receive_frame(ctx, frame) == 0) {
                    avcodec_send_packet(ctx, k->pkt);
                    k->sent = true;
                    return true;
                }
            }
            k->sent = true;  // a damaged packet is dropped
        }
    }
    return avcodec_receive_frame(ctx, frame) == 0;
}

int DecodeVideo(void *h, cxVideoPacket *p, cxVideoFrame *f) {
    auto *st = static_cast<Stream *>(h);
    auto *k = static_cast<Packet *>(p->data);
    if (!k || p->type != CX_VIDEO_PACKET_VIDEO) return -1;
    if (st->flushVideo.exchange(false)) {
        avcodec_flush_buffers(st->vctx);
        st->videoDrained = false;
    }
    if (!SendAndReceive(st->vctx, k, &st->videoDrained, st->vframe)) return -1;
    AVFrame *fr = st->vframe;
    if (fr->format != AV_PIX_FMT_YUV420P && fr->format != AV_PIX_FMT_YUVJ420P) return -1;
    if (fr->linesize[0] < 0 || fr->linesize[1] < 0 || fr->linesize[2] < 0) return -1;
    const double pts = Seconds(st, st->vIndex, fr->best_effort_timestamp);
    const double skip = st->skipBefore.load();
    if (skip >= 0) {
        // After a seek to a point between key pictures, the ones before it
        // are decoded for what follows but not shown.
        if (pts >= 0 && pts < skip - st->format.frameDuration / 2) return -1;
        st->skipBefore.store(-1);
    }
    for (int i = 0; i < 3; ++i) {
        f->planes[i] = fr->data[i];
        f->rowLengths[i] = fr->linesize[i];
    }
    f->width = fr->width;
    f->height = fr->height;
    f->pts = pts;
    f->dts = -1;
    f->bytePosition = -1;
    f->repeat = fr->repeat_pict;
    g_ffmpegPictures.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int DecodeAudio(void *h, cxVideoPacket *p, cxVideoFrame *f) {
    auto *st = static_cast<Stream *>(h);
    auto *k = static_cast<Packet *>(p->data);
    if (!k || p->type == CX_VIDEO_PACKET_VIDEO || !st->actx) return -2;
    if (st->flushAudio.exchange(false)) {
        avcodec_flush_buffers(st->actx);
        st->sound.clear();
        st->soundRead = 0;
    }
    f->more = 0;
    if (st->soundRead >= st->sound.size() && !k->done) {
        st->sound.clear();
        st->soundRead = 0;
        if (SendAndReceive(st->actx, k, &st->audioDrained, st->aframe)) {
            AVFrame *fr = st->aframe;
            const int out = swr_get_out_samples(st->swr, fr->nb_samples);
            if (out > 0) {
                st->sound.resize(size_t(out) * st->outChannels * 2);
                uint8_t *dst = st->sound.data();
                const int n = swr_convert(st->swr, &dst, out, const_cast<const uint8_t **>(fr->extended_data),
                                          fr->nb_samples);
                st->sound.resize(n > 0 ? size_t(n) * st->outChannels * 2 : 0);
            }
            g_ffmpegSoundBlocks.fetch_add(1, std::memory_order_relaxed);
        } else {
            k->done = true;
        }
    }
    const size_t left = st->sound.size() - st->soundRead;
    const size_t give = std::min(left, size_t(f->size > 0 ? f->size : 0) & ~size_t(3));
    if (give) memcpy(f->buffer, st->sound.data() + st->soundRead, give);
    st->soundRead += give;
    // Ask again while converted sound is left or the packet may hold more.
    f->more = (st->soundRead < st->sound.size() || !k->done) && give > 0;
    return int(give);
}

int Seek(void *h, int64_t ms, int) {
    auto *st = static_cast<Stream *>(h);
    if (ms < 0 || (st->format.duration && ms > int64_t(st->format.duration))) return -1;
    std::lock_guard<std::mutex> lock(st->demux);
    const int64_t ts = st->start + ms * 1000;
    if (avformat_seek_file(st->fmt, -1, INT64_MIN, ts, ts, 0) < 0) return -1;
    st->eof = false;
    st->drainLeft = 0;
    st->skipBefore.store(ms / 1000.0);
    st->audioSkipBefore = ms / 1000.0;
    st->flushVideo.store(true);
    st->flushAudio.store(true);
    return 0;
}

void FlushVideo(void *h) { static_cast<Stream *>(h)->flushVideo.store(true); }
void FlushAudio(void *h) { static_cast<Stream *>(h)->flushAudio.store(true); }
int64_t Frames(void *h) { return static_cast<Stream *>(h)->frames; }
int Format(void *h, cxVideoFormat *f) {
    *f = static_cast<Stream *>(h)->format;
    return 0;
}

}  // namespace

void SetFfmpegThreads(int threads) { g_threads.store(threads); }

cxPlugin *FfmpegPlugin() {
    if (!g_plugin.OpenVideo) {
        av_log_set_level(AV_LOG_QUIET);
        g_plugin.capabilities = CX_CAP_VIDEO;
        g_plugin.name = "ffmpeg";
        g_plugin.moduleName = "ffmpeg";
        g_plugin.tag = CX_PLUGIN_RECORD_TAG;
        g_plugin.OpenVideo = Open;
        g_plugin.CloseVideo = Close;
        g_plugin.NextPacket = Next;
        g_plugin.FreePacket = FreePacket;
        g_plugin.DecodeVideoFrame = DecodeVideo;
        g_plugin.DecodeAudioFrame = DecodeAudio;
        g_plugin.SeekVideo = Seek;
        g_plugin.FlushAudio = FlushAudio;
        g_plugin.FlushVideo = FlushVideo;
        g_plugin.GetVideoFrames = Frames;
        g_plugin.GetVideoFormat = Format;
    }
    return &g_plugin;
}

void RegisterFfmpegDecoder() {
    if (!HasCapabilityEntry(FfmpegPlugin(), CX_CAP_VIDEO)) AddCapabilityEntry(FfmpegPlugin(), CX_CAP_VIDEO);
}

void UnregisterFfmpegDecoder() { RemoveCapabilityEntry(FfmpegPlugin(), CX_CAP_VIDEO); }

}  // namespace videotest
