#include "media/video/video_player.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

#include "display/present.h"
#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/yuv/yuv_frame.h"
#include "images/core/argb_bitmaps.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_internal.h"
#include "media/sound/video_sound.h"
#include "media/video/video_decoder.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"

namespace {

// Demultiplexing stops at these queued amounts.
constexpr int64_t kAudioQueueBytes = 81920;
constexpr int64_t kVideoQueueBytes = 1310720;
// How long a handshake waits for a thread before it gives up.
constexpr uint32_t kHandshakeMs = 2000;

std::atomic<cxVideoLayerSink> g_layerSink{nullptr};
std::atomic<cxVideoPictureObserver> g_observer{nullptr};

double Now() {
    cxOsTimeVal t;
    OsGetMonotonicTime(&t);
    return double(t.seconds) + double(t.microseconds) / 1e6;
}

struct PacketNode {
    PacketNode *next;
    cxVideoPacket packet;
    bool flush;  // a marker, no packet
};

struct PacketQueue {
    PacketNode *head = nullptr, *tail = nullptr;
    int64_t bytes = 0;
    cxOsMutex *mutex = nullptr;
    cxOsCondition *condition = nullptr;
    bool finished = false;

    bool Init() {
        mutex = OsCreateMutex();
        condition = mutex ? OsCreateCondition() : nullptr;
        return mutex && condition;
    }
    void Put(PacketNode *n) {
        OsLockMutex(mutex);
        n->next = nullptr;
        if (tail) tail->next = n;
        else head = n;
        tail = n;
        if (!n->flush) bytes += n->packet.size;
        OsSignalCondition(condition);
        OsUnlockMutex(mutex);
    }
    int64_t Bytes() {
        OsLockMutex(mutex);
        const int64_t b = bytes;
        OsUnlockMutex(mutex);
        return b;
    }
    bool Empty() {
        OsLockMutex(mutex);
        const bool e = head == nullptr;
        OsUnlockMutex(mutex);
        return e;
    }
    void SetFinished(bool on) {
        OsLockMutex(mutex);
        finished = on;
        OsSignalCondition(condition);
        OsUnlockMutex(mutex);
    }
    void Wake() {
        if (!mutex) return;
        OsLockMutex(mutex);
        OsSignalCondition(condition);
        OsUnlockMutex(mutex);
    }
    // The next node, waiting at most ms; null when none came (finished
    // tells whether none will).
    PacketNode *Take(uint32_t ms, bool *isFinished) {
        OsLockMutex(mutex);
        if (!head && !finished) OsWaitConditionTimed(condition, mutex, ms);
        PacketNode *n = head;
        if (n) {
            head = n->next;
            if (!head) tail = nullptr;
            if (!n->flush) bytes -= n->packet.size;
        }
        if (isFinished) *isFinished = !n && finished;
        OsUnlockMutex(mutex);
        return n;
    }
    void Flush(cxVideoDecoder *d) {
        if (!mutex) return;
        OsLockMutex(mutex);
        PacketNode *n = head;
        head = tail = nullptr;
        bytes = 0;
        finished = false;
        OsUnlockMutex(mutex);
        while (n) {
            PacketNode *next = n->next;
            if (!n->flush) DecoderFreePacket(d, &n->packet);
            free(n);
            n = next;
        }
    }
    void Free(cxVideoDecoder *d) {
        Flush(d);
        if (condition) OsFreeCondition(condition);
        if (mutex) OsFreeMutex(mutex);
        mutex = nullptr;
        condition = nullptr;
    }
};

struct Slot {
    uint32_t *pixels = nullptr;
    int32_t rowLength = 0;
    double time = 0, pts = 0;
};

template <class T>
using A = std::atomic<T>;

}  // namespace

struct cxVideoPlayer {
    cxVideoDecoder dec;
    int32_t srcWidth = 0, srcHeight = 0;
    uint32_t duration = 0;
    int channels = 0, rate = 0;
    bool soundOn = false;  // this run plays the sound
    bool seekable = false, rgb = false;
    double frameDuration = 0.04;

    // Set by the main thread while the threads are stopped, or under drawMutex.
    cxDisplay *display = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0;
    int32_t displayWidth = 0, displayHeight = 0;
    int smooth = 0;
    void *layer = nullptr;
    cxObjectID id{};
    void *owner = nullptr;
    cxVideoEndedFunc ended = nullptr;

    PacketQueue audioQueue, videoQueue;

    // Clocks, in seconds of the monotonic clock.
    double frameTimer = 0, lastPts = -10000.0, lastDelay = 0;
    A<double> videoClock{0}, audioClock{0}, currentPts{0}, drift{0};
    A<double> skipFactor{1.0};
    double skipAccumulator = 0;
    lua_State *L = nullptr;

    Slot slots[2];
    int count = 0, readIndex = 0, writeIndex = 0, lastShown = -1;
    cxOsMutex *pictureMutex = nullptr;
    cxOsCondition *pictureCondition = nullptr;
    cxOsMutex *refreshMutex = nullptr;
    cxOsCondition *refreshCondition = nullptr;
    cxOsCondition *flushDone = nullptr;
    cxOsMutex *drawMutex = nullptr;
    A<bool> presenting{false}, flushRequest{false};

    cxOsThread *demuxThread = nullptr, *serverThread = nullptr, *refreshThread = nullptr, *audioThread = nullptr;
    A<int> refreshCounter{0};

    // Sound.
    A<cxVideoSoundRing *> ring{nullptr};
    int channelIndex = -1;
    uint32_t bytesPerFrame = 4;
    uint32_t framesPerBuffer = 1024;
    uint8_t *audioBuffer = nullptr;  // decoded, not yet handed on
    int32_t audioBytes = 0, audioRead = 0;
    PacketNode *audioPacket = nullptr;
    int audioMore = 0;
    A<int32_t> audioPending{0};  // bytes left in audioBuffer, for the clock
    A<uint32_t> volume{64};

    // Handshakes and states (all cross threads).
    A<bool> running{false}, paused{false}, endOfStream{false}, hasEnded{false}, suspended{false};
    A<bool> ackServer{false}, ackRefresh{false}, ackDemux{false};
    A<bool> seekRequest{false};
    A<int> seekState{0};
    A<int64_t> seekTarget{0};
    A<uint32_t> endPosition{0};

    uint32_t stopPosition = 0;
    int64_t startPosition = -1;
    bool decoderMoved = false;

    // The last picture shown, for redraws and size changes.
    uint32_t *lastPicture = nullptr;
    int32_t lastWidth = 0, lastHeight = 0;

    // Frame access.
    uint32_t *frameBuffer = nullptr;
    int64_t frameCounter = 0;  // frames decoded since the rewind

    // Statistics.
    A<uint32_t> decoded{0}, shown{0}, dropped{0}, skipped{0};
    A<double> lastShownPts{-1};

    cxOsTimeVal lastPresentation{};
    double lastPresentationTime = 0;
};

namespace {

double MasterClock(cxVideoPlayer *p) {
    if (p->soundOn) {
        const double bps = double(p->channels) * p->rate * 2;
        double held = p->audioPending.load(std::memory_order_acquire);
        if (cxVideoSoundRing *r = p->ring.load(std::memory_order_acquire)) held += GetVideoRingFill(r);
        return p->audioClock.load(std::memory_order_acquire) - held / bps;
    }
    if (p->paused.load(std::memory_order_acquire)) return p->currentPts.load();
    return p->drift.load() + Now();
}

void FreeSlots(cxVideoPlayer *p) {
    for (Slot &s : p->slots) {
        free(s.pixels);
        s = Slot{};
    }
}

bool AllocSlots(cxVideoPlayer *p) {
    FreeSlots(p);
    const int32_t w = std::max(p->width, 1), h = std::max(p->height, 1);
    for (Slot &s : p->slots) {
        s.rowLength = w + 64;
        s.pixels = static_cast<uint32_t *>(calloc(size_t(h) * size_t(s.rowLength), 4));
        if (!s.pixels) return false;
    }
    return true;
}

// Hands a picture (ARGB, the player's size) on: to the layer's consumer, or
// as a bitmap to the main thread, which presents it. No window-system call
// here: this runs on the refresh thread.
void DrawPicture(cxVideoPlayer *p, const uint32_t *px, int32_t rowLength, double pts) {
    OsLockMutex(p->drawMutex);
    if (!p->suspended.load()) {
        if (cxVideoPictureObserver o = g_observer.load()) o(p, px, p->width, p->height, rowLength, pts);
        if (p->layer) {
            if (cxVideoLayerSink sink = g_layerSink.load()) sink(p->layer, p, px, p->width, p->height, rowLength);
        } else if (p->display) {
            // Clipped to the display.
            const int32_t x0 = std::max(p->x, 0), y0 = std::max(p->y, 0);
            const int32_t x1 = std::min(p->x + p->width, p->displayWidth);
            const int32_t y1 = std::min(p->y + p->height, p->displayHeight);
            if (x1 > x0 && y1 > y0) {
                cxBitmap *bm = nullptr;
                const uint32_t *from = px + size_t(y0 - p->y) * rowLength + (x0 - p->x);
                if (MakeBitmapFromARGB(from, -1, x1 - x0, y1 - y0, rowLength, &bm, nullptr) == 0 &&
                    PostDisplayPicture(p->display, bm, x0, y0, x1 - x0, y1 - y0) != 0)
                    FreeBitmap(bm);
            }
        }
    }
    OsUnlockMutex(p->drawMutex);
}

// Keeps a copy of the picture shown last.
void KeepLast(cxVideoPlayer *p, const uint32_t *px, int32_t rowLength) {
    const size_t n = size_t(p->width) * size_t(p->height);
    if (!p->lastPicture || p->lastWidth != p->width || p->lastHeight != p->height) {
        free(p->lastPicture);
        p->lastPicture = static_cast<uint32_t *>(malloc(std::max<size_t>(n, 1) * 4));
        p->lastWidth = p->lastPicture ? p->width : 0;
        p->lastHeight = p->lastPicture ? p->height : 0;
    }
    if (!p->lastPicture) return;
    for (int32_t y = 0; y < p->height; ++y)
        memcpy(p->lastPicture + size_t(y) * p->width, px + size_t(y) * rowLength, size_t(p->width) * 4);
}

// ---- demultiplexer ----
void DemuxThread(void *arg) {
    cxOsThread *t = OsGetThreadHandle(arg);
    auto *p = static_cast<cxVideoPlayer *>(OsGetThreadUserData(t));
    OsPrepareThread();
    OsSignalThreadStarted(t);
    while (!OsCheckThreadQuit(t)) {
        if (p->paused.load(std::memory_order_acquire)) {
            p->ackDemux.store(true, std::memory_order_release);
            OsDelayMs(10);
            continue;
        }
        p->ackDemux.store(false, std::memory_order_release);
        if (p->seekRequest.load(std::memory_order_acquire)) {
            DecoderSeek(&p->dec, p->seekTarget.load());
            auto marker = [&](PacketQueue &q) {
                q.Flush(&p->dec);
                if (auto *n = static_cast<PacketNode *>(calloc(1, sizeof(PacketNode)))) {
                    n->flush = true;
                    q.Put(n);
                }
            };
            if (p->soundOn) marker(p->audioQueue);
            marker(p->videoQueue);
            p->endOfStream.store(false, std::memory_order_release);
            p->seekRequest.store(false, std::memory_order_release);
        }
        const bool eos = p->endOfStream.load(std::memory_order_acquire);
        if (!eos && p->audioQueue.Bytes() <= kAudioQueueBytes && p->videoQueue.Bytes() <= kVideoQueueBytes) {
            auto *n = static_cast<PacketNode *>(calloc(1, sizeof(PacketNode)));
            if (!n) {
                OsDelayMs(10);
                continue;
            }
            if (DecoderNextPacket(&p->dec, &n->packet) < 0) {
                free(n);
                p->endOfStream.store(true, std::memory_order_release);
                continue;
            }
            if (n->packet.type == CX_VIDEO_PACKET_VIDEO) p->videoQueue.Put(n);
            else if (p->soundOn) p->audioQueue.Put(n);
            else {
                DecoderFreePacket(&p->dec, &n->packet);
                free(n);
            }
            continue;
        }
        if (eos) {
            p->videoQueue.SetFinished(true);
            p->audioQueue.SetFinished(true);
        }
        OsDelayMs(10);
    }
    OsWaitThreadEnd(t);
}

// ---- video server ----
// Waits for the refresh thread to drop every queued picture.
void FlushPictures(cxVideoPlayer *p) {
    OsLockMutex(p->refreshMutex);
    p->flushRequest.store(true, std::memory_order_release);
    OsSignalCondition(p->refreshCondition);
    OsUnlockMutex(p->refreshMutex);
    const double until = Now() + kHandshakeMs / 1000.0;
    while (p->flushRequest.load(std::memory_order_acquire) && Now() < until && !OsCheckThreadQuit(p->serverThread))
        OsDelayMs(1);
}

void ServerThread(void *arg) {
    cxOsThread *t = OsGetThreadHandle(arg);
    auto *p = static_cast<cxVideoPlayer *>(OsGetThreadUserData(t));
    OsPrepareThread();
    OsSignalThreadStarted(t);
    while (!OsCheckThreadQuit(t)) {
        if (p->paused.load(std::memory_order_acquire)) {
            p->ackServer.store(true, std::memory_order_release);
            OsDelayMs(10);
            continue;
        }
        p->ackServer.store(false, std::memory_order_release);
        PacketNode *n = p->videoQueue.Take(10, nullptr);
        if (!n) continue;  // an empty queue: look at pause and quit again
        if (n->flush) {
            free(n);
            DecoderFlushVideo(&p->dec);
            FlushPictures(p);
            p->lastPts = -10000.0;
            p->lastDelay = 0;
            p->frameTimer = Now();
            p->skipFactor.store(1.0);
            p->skipAccumulator = 0;
            p->seekState.store(2, std::memory_order_release);
            continue;
        }
        cxVideoFrame f{};
        const int err = DecoderDecodeVideo(&p->dec, &n->packet, &f);
        if (err) {
            DecoderFreePacket(&p->dec, &n->packet);
            free(n);
            continue;
        }
        p->decoded.fetch_add(1);
        double pts = f.pts >= 0 ? f.pts : (f.dts >= 0 ? f.dts : 0);
        // Frame skipping, before the costly conversion.
        p->skipAccumulator += 1.0;
        if (p->skipAccumulator < p->skipFactor.load()) {
            p->skipped.fetch_add(1);
            DecoderFreePacket(&p->dec, &n->packet);
            free(n);
            continue;
        }
        p->skipAccumulator -= std::max(p->skipFactor.load(), 1.0);
        if (pts == 0) pts = p->videoClock.load();
        p->videoClock.store(pts + p->frameDuration + f.repeat * p->frameDuration * 0.5);

        // A free slot.
        OsLockMutex(p->pictureMutex);
        if (p->count == 2 && !p->presenting.load()) p->skipFactor.store(std::max(p->skipFactor.load() * 0.95, 0.95));
        bool gaveUp = false;
        while (p->count == 2) {
            // Paused with both slots full: nothing will free one before the
            // resume, so answer the pause from here.
            p->ackServer.store(p->paused.load(std::memory_order_acquire), std::memory_order_release);
            OsWaitConditionTimed(p->pictureCondition, p->pictureMutex, 10);
            if (OsCheckThreadQuit(t) || p->flushRequest.load() || p->seekRequest.load()) {
                gaveUp = true;
                break;
            }
        }
        OsUnlockMutex(p->pictureMutex);
        if (gaveUp) {
            DecoderFreePacket(&p->dec, &n->packet);
            free(n);
            continue;
        }
        Slot &s = p->slots[p->writeIndex];
        ConvertVideoPicture(&f, p->rgb, s.pixels, s.rowLength, p->width, p->height);
        DecoderFreePacket(&p->dec, &n->packet);
        free(n);

        double delay = pts - p->lastPts;
        if (delay > 0 && delay < 10.0) p->lastDelay = delay;
        else delay = p->lastDelay;
        p->lastPts = pts;
        if (p->soundOn) {
            const double now = Now();
            const double diff = (p->paused.load() ? p->currentPts.load() : p->drift.load() + now) - MasterClock(p);
            if (std::fabs(diff) < 10.0) {
                const double threshold = std::max(delay, 0.01);
                if (diff <= -threshold) delay = 0;
                else if (diff >= threshold) delay *= 2;
            }
        }
        p->frameTimer += delay;
        OsLockMutex(p->pictureMutex);
        s.time = p->frameTimer;
        s.pts = pts;
        p->writeIndex = (p->writeIndex + 1) % 2;
        p->count++;
        OsUnlockMutex(p->pictureMutex);
        int expected = 2;
        p->seekState.compare_exchange_strong(expected, 3);
        OsLockMutex(p->refreshMutex);
        OsSignalCondition(p->refreshCondition);
        OsUnlockMutex(p->refreshMutex);
    }
    OsWaitThreadEnd(t);
}

// ---- refresh ----
void MarkEnded(cxVideoPlayer *p) {
    if (p->hasEnded.exchange(true)) return;
    p->endPosition.store(uint32_t(std::max(0.0, MasterClock(p) * 1000.0)));
    if (p->ended) p->ended(p->owner);
    if (GetAudioEventHook(CX_AEV_VIDEOEND)) QueueAudioEvent(CX_AEV_VIDEOEND, p->id, 0, 0, 0, 1);
}

void RefreshThread(void *arg) {
    cxOsThread *t = OsGetThreadHandle(arg);
    auto *p = static_cast<cxVideoPlayer *>(OsGetThreadUserData(t));
    OsPrepareThread();
    OsSignalThreadStarted(t);
    while (!OsCheckThreadQuit(t)) {
        if (p->refreshCounter.load() < 10) p->refreshCounter.fetch_add(1);
        if (p->flushRequest.load(std::memory_order_acquire)) {
            OsLockMutex(p->pictureMutex);
            p->count = 0;
            p->readIndex = p->writeIndex = 0;
            OsSignalCondition(p->pictureCondition);
            OsUnlockMutex(p->pictureMutex);
            p->flushRequest.store(false, std::memory_order_release);
            continue;
        }
        if (p->paused.load(std::memory_order_acquire)) {
            p->ackRefresh.store(true, std::memory_order_release);
            OsDelayMs(10);
            continue;
        }
        p->ackRefresh.store(false, std::memory_order_release);
        OsLockMutex(p->pictureMutex);
        const int count = p->count;
        const Slot slot = p->slots[p->readIndex];
        const Slot next = p->slots[(p->readIndex + 1) % 2];
        OsUnlockMutex(p->pictureMutex);
        double wait = 0.001;
        if (count == 0) {
            if (p->endOfStream.load() && p->videoQueue.Empty() && p->audioQueue.Empty() && !p->seekRequest.load())
                MarkEnded(p);
        } else {
            const double now = Now();
            if (now >= slot.time) {
                p->presenting.store(true);
                p->currentPts.store(slot.pts);
                p->drift.store(slot.pts - now);
                int expected = 3;
                p->seekState.compare_exchange_strong(expected, 0);
                bool late;
                double bound;
                if (count == 1) {
                    bound = slot.time + (p->videoClock.load() - slot.pts);
                    late = now > bound;
                } else {
                    bound = next.time;
                    late = now > next.time;
                }
                bool drop = false;
                if (late) {
                    p->skipFactor.store(p->skipFactor.load() * 1.05);
                    // At least one picture a second, however late.
                    const bool recent = now - p->lastPresentationTime < 1.0;
                    drop = recent && (count == 2 || now > bound + 0.5);
                }
                if (drop) {
                    p->dropped.fetch_add(1);
                } else {
                    p->lastPresentationTime = now;
                    DrawPicture(p, slot.pixels, slot.rowLength, slot.pts);
                    KeepLast(p, slot.pixels, slot.rowLength);
                    p->lastShown = p->readIndex;
                    p->shown.fetch_add(1);
                    p->lastShownPts.store(slot.pts);
                }
                OsLockMutex(p->pictureMutex);
                p->readIndex = (p->readIndex + 1) % 2;
                p->count--;
                OsSignalCondition(p->pictureCondition);
                OsUnlockMutex(p->pictureMutex);
                p->presenting.store(false);
                continue;
            }
            wait = slot.time - now;
        }
        const uint32_t ms = uint32_t(std::min(wait, 1.0) * 1000.0);
        if (ms == 0) continue;
        OsLockMutex(p->refreshMutex);
        OsWaitConditionTimed(p->refreshCondition, p->refreshMutex, ms);
        OsUnlockMutex(p->refreshMutex);
    }
    OsWaitThreadEnd(t);
}

// ---- audio ----
// Fills dst with frames frames: decoded sound, or silence while paused or
// starved. Frames given, or -1 at the end of the sound or on quit.
int32_t ReadAudio(void *player, void *dst, uint32_t frames) {
    auto *p = static_cast<cxVideoPlayer *>(player);
    auto *out = static_cast<uint8_t *>(dst);
    const int32_t want = int32_t(frames * p->bytesPerFrame);
    int32_t done = 0;
    const double bps = double(p->channels) * p->rate * 2;
    while (done < want) {
        if (p->audioRead < p->audioBytes) {
            const int32_t n = std::min(want - done, p->audioBytes - p->audioRead);
            memcpy(out + done, p->audioBuffer + p->audioRead, size_t(n));
            p->audioRead += n;
            done += n;
            p->audioPending.store(p->audioBytes - p->audioRead, std::memory_order_release);
            continue;
        }
        if (p->paused.load(std::memory_order_acquire)) break;
        if (!p->audioPacket || !p->audioMore) {
            if (p->audioPacket) {
                DecoderFreePacket(&p->dec, &p->audioPacket->packet);
                free(p->audioPacket);
                p->audioPacket = nullptr;
            }
            bool finished = false;
            PacketNode *n = p->audioQueue.Take(20, &finished);
            if (!n) break;  // starved or at the end: silence for the rest
            if (n->flush) {
                free(n);
                DecoderFlushAudio(&p->dec);
                continue;
            }
            if (n->packet.pts >= 0) p->audioClock.store(n->packet.pts, std::memory_order_release);
            p->audioPacket = n;
            p->audioMore = 1;
        }
        int more = 0;
        const int got = DecoderDecodeAudio(&p->dec, &p->audioPacket->packet, p->audioBuffer, kVideoAudioBufferBytes, &more);
        p->audioMore = got > 0 && more;
        if (got > 0) {
            p->audioBytes = got;
            p->audioRead = 0;
            p->audioPending.store(got, std::memory_order_release);
            p->audioClock.store(p->audioClock.load() + got / bps, std::memory_order_release);
        } else if (got == -1) {
            return done ? int32_t(done / p->bytesPerFrame) : -1;
        }
    }
    if (done < want) memset(out + done, 0, size_t(want - done));
    return int32_t(frames);
}

void AudioThread(void *arg) {
    cxOsThread *t = OsGetThreadHandle(arg);
    auto *p = static_cast<cxVideoPlayer *>(OsGetThreadUserData(t));
    OsPrepareThread();
    cxVideoSoundRing *r = CreateVideoSoundRing(p->channelIndex, p->framesPerBuffer, ReadAudio, p);
    p->ring.store(r, std::memory_order_release);
    OsSignalThreadStarted(t);
    bool released = false;
    while (r && !OsCheckThreadQuit(t)) {
        // Frame counts and error codes share the answer; after an error the
        // ring is released and the calls idle, so only the end counts here.
        if (FeedVideoSound(t, r) < 0) break;
        // The channel goes once the last of the sound has been heard.
        if (!released && p->hasEnded.load() && p->audioQueue.Empty() && p->audioPending.load() == 0 &&
            GetVideoRingFill(r) == 0) {
            ReleaseVideoSoundChannel(r);
            released = true;
        }
    }
    p->ring.store(nullptr, std::memory_order_release);
    if (r) FreeVideoSoundRing(r);
    OsWaitThreadEnd(t);
}

void EndThread(cxOsThread *&t, PacketQueue *wake, cxVideoPlayer *p) {
    if (!t) return;
    OsRequestThreadQuit(t);
    if (wake) wake->Wake();
    if (p) {
        OsLockMutex(p->pictureMutex);
        OsSignalCondition(p->pictureCondition);
        OsUnlockMutex(p->pictureMutex);
        OsLockMutex(p->refreshMutex);
        OsSignalCondition(p->refreshCondition);
        OsUnlockMutex(p->refreshMutex);
    }
    OsEndThread(t);
    t = nullptr;
}

bool WaitFlag(const A<bool> &flag, bool value) {
    for (uint32_t waited = 0; flag.load(std::memory_order_acquire) != value; waited += 10) {
        if (waited >= kHandshakeMs) return false;
        OsDelayMs(10);
    }
    return true;
}

void Rewind(cxVideoPlayer *p) {
    DecoderSeek(&p->dec, 0);
    DecoderFlushVideo(&p->dec);
    DecoderFlushAudio(&p->dec);
    p->frameCounter = 0;
    p->decoderMoved = false;
}

}  // namespace

void SetVideoLayerSink(cxVideoLayerSink sink) { g_layerSink.store(sink); }
void SetVideoPictureObserver(cxVideoPictureObserver observer) { g_observer.store(observer); }

void ConvertVideoPicture(const cxVideoFrame *f, int rgb, uint32_t *dst, int32_t dstRowLength, int32_t width,
                         int32_t height) {
    if (!dst || width < 1 || height < 1) return;
    const int32_t sw = f->width, sh = f->height;
    if (rgb) {
        // Bytes A, R, G, B in memory; shown opaque.
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t *row = f->planes[0] + size_t(int64_t(y) * sh / height) * f->rowLengths[0];
            uint32_t *out = dst + size_t(y) * dstRowLength;
            if (sw == width) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t *q = row + size_t(x) * 4;
                    out[x] = 0xFF000000u | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
                }
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t *q = row + size_t(int64_t(x) * sw / width) * 4;
                    out[x] = 0xFF000000u | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
                }
            }
        }
        return;
    }
    cxYuvFrameJob job{};
    for (int i = 0; i < 3; ++i) {
        job.planes[i] = f->planes[i];
        job.planeRowLength[i] = f->rowLengths[i];
    }
    job.dstPixels = dst;
    job.srcWidth = sw;
    job.srcHeight = sh;
    job.dstWidth = width;
    job.dstHeight = height;
    job.dstRowLength = dstRowLength;
    job.dstFormat = CX_PIXFMT_DEFAULT;
    job.bytesPerPixel = 4;
    if (RunYuvFrameJob(&job) == 0) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) dst[size_t(y) * dstRowLength + x] |= 0xFF000000u;
    }
}

int OpenVideoPlayer(const char *file, const char *loaders, const char *adapters, cxVideoPlayer **out, int32_t *width,
                    int32_t *height, uint32_t *duration, int *seekable, uintptr_t *loaderId) {
    *out = nullptr;
    auto *p = new (std::nothrow) cxVideoPlayer;
    if (!p) return ERR_MEM;
    if (int err = OpenVideoDecoder(file, loaders, adapters, &p->dec)) {
        delete p;
        return err;
    }
    const cxVideoFormat &f = p->dec.format;
    p->srcWidth = p->width = f.width;
    p->srcHeight = p->height = f.height;
    p->duration = f.duration;
    p->channels = f.audioChannels;
    p->rate = f.audioRate;
    p->seekable = (f.flags & CX_VIDEO_SEEKABLE) != 0;
    p->rgb = f.rgbOutput != 0;
    p->frameDuration = f.frameDuration;
    p->pictureMutex = OsCreateMutex();
    p->refreshMutex = OsCreateMutex();
    p->drawMutex = OsCreateMutex();
    p->pictureCondition = OsCreateCondition();
    p->refreshCondition = OsCreateCondition();
    p->flushDone = OsCreateCondition();
    if (!p->pictureMutex || !p->refreshMutex || !p->drawMutex || !p->pictureCondition || !p->refreshCondition ||
        !p->flushDone) {
        CloseVideoPlayer(p);
        return ERR_SEMAPHORE;
    }
    *out = p;
    if (width) *width = p->srcWidth;
    if (height) *height = p->srcHeight;
    if (duration) *duration = p->duration;
    if (seekable) *seekable = p->seekable;
    if (loaderId) *loaderId = p->dec.kind == CX_VIDEODECODER_PLUGIN ? reinterpret_cast<uintptr_t>(p->dec.plugin) : 0;
    return 0;
}

void CloseVideoPlayer(cxVideoPlayer *p) {
    if (!p) return;
    StopVideoPlayer(p, 1);
    CloseVideoDecoder(&p->dec);
    if (p->pictureCondition) OsFreeCondition(p->pictureCondition);
    if (p->refreshCondition) OsFreeCondition(p->refreshCondition);
    if (p->flushDone) OsFreeCondition(p->flushDone);
    if (p->pictureMutex) OsFreeMutex(p->pictureMutex);
    if (p->refreshMutex) OsFreeMutex(p->refreshMutex);
    if (p->drawMutex) OsFreeMutex(p->drawMutex);
    free(p->lastPicture);
    free(p->frameBuffer);
    delete p;
}

int StartVideoPlayback(lua_State *L, cxVideoPlayer *p, const cxVideoStart *s) {
    if (p->running.load()) StopVideoPlayer(p, 0);
    p->display = s->display;
    p->x = s->x;
    p->y = s->y;
    p->width = std::max(s->width, 1);
    p->height = std::max(s->height, 1);
    p->smooth = s->smooth;
    p->layer = s->layer;
    p->id = s->id;
    p->owner = s->owner;
    p->ended = s->ended;
    p->volume.store(std::min<uint32_t>(s->volume, 64));
    if (s->display) {
        p->displayWidth = s->display->pictureWidth;
        p->displayHeight = s->display->pictureHeight;
    }
    if (L) p->L = L;
    L = p->L;
    // Without a sound output (NOSOUND, or one that failed quietly) the
    // picture clock leads.
    p->soundOn = false;
    if (p->channels > 0) {
        const int r = EnsureAudio(L);
        if (r > 0) return r;
        p->soundOn = r == 0;
    }
    if (p->startPosition >= 0) {
        Rewind(p);
        if (DecoderSeek(&p->dec, p->startPosition) != 0) {
            p->startPosition = -1;
            return ERR_SEEKRANGE;
        }
        p->decoderMoved = true;
        p->startPosition = -1;
    } else if (p->decoderMoved) {
        Rewind(p);
    }
    p->decoderMoved = true;
    if (p->soundOn) {
        uint32_t frames = 0, ch = 0;
        p->framesPerBuffer = GetAudioAdapter(&frames, &ch) && frames ? frames : 1024;
        p->bytesPerFrame = p->channels == 2 ? 4 : 2;
        if (int err = OpenVideoSoundChannel(L, s->id, s->channel, uint32_t(p->channels), uint32_t(p->rate),
                                            p->volume.load(), p, &p->channelIndex))
            return err;
        if (!p->audioBuffer) p->audioBuffer = static_cast<uint8_t *>(malloc(kVideoAudioBufferBytes));
    }
    int err = 0;
    if (!p->audioQueue.mutex && !p->audioQueue.Init()) err = ERR_SEMAPHORE;
    if (!err && !p->videoQueue.mutex && !p->videoQueue.Init()) err = ERR_SEMAPHORE;
    if (!err && p->soundOn && !p->audioBuffer) err = ERR_MEM;
    p->audioQueue.SetFinished(false);
    p->videoQueue.SetFinished(false);
    p->lastPts = -10000.0;
    p->lastDelay = 0;
    p->frameTimer = Now();
    p->skipFactor.store(1.0);
    p->skipAccumulator = 0;
    p->videoClock.store(0);
    p->audioClock.store(0);
    p->currentPts.store(0);
    p->drift.store(-Now());
    p->audioBytes = p->audioRead = 0;
    p->audioPending.store(0);
    p->audioMore = 0;
    p->count = p->readIndex = p->writeIndex = 0;
    p->lastShown = -1;
    p->paused.store(false);
    p->endOfStream.store(false);
    p->hasEnded.store(false);
    p->seekRequest.store(false);
    p->seekState.store(0);
    p->flushRequest.store(false);
    p->refreshCounter.store(0);
    p->lastPresentationTime = Now();
    if (!err && !AllocSlots(p)) err = ERR_MEM;
    if (!err) {
        p->running.store(true);
        p->demuxThread = OsCreateThread("Calyxtone video decoder", DemuxThread, p, 0, 200000, 0);
        p->serverThread = p->demuxThread ? OsCreateThread("Calyxtone video server", ServerThread, p, 0, 200000, 0)
                                         : nullptr;
        if (p->serverThread && p->soundOn)
            p->audioThread = OsCreateThread("Calyxtone audio server", AudioThread, p, 0, 200000, 100);
        if (p->serverThread && (!p->soundOn || p->audioThread))
            p->refreshThread = OsCreateThread("Calyxtone video refresh", RefreshThread, p, 0, 65536, 0);
        if (!p->refreshThread) err = ERR_THREAD;
    }
    if (err) {
        StopVideoPlayer(p, 0);
        return err;
    }
    return 0;
}

void StopVideoPlayer(cxVideoPlayer *p, int clearLayer) {
    if (!p) return;
    if (p->running.load()) p->stopPosition = GetVideoPlaybackTime(p);
    // Refresh first, so that nothing is drawn while the rest goes.
    EndThread(p->refreshThread, nullptr, p);
    EndThread(p->demuxThread, nullptr, p);
    EndThread(p->serverThread, &p->videoQueue, p);
    EndThread(p->audioThread, &p->audioQueue, p);
    p->running.store(false);
    p->paused.store(false);
    if (p->audioPacket) {
        DecoderFreePacket(&p->dec, &p->audioPacket->packet);
        free(p->audioPacket);
        p->audioPacket = nullptr;
    }
    free(p->audioBuffer);
    p->audioBuffer = nullptr;
    FreeSlots(p);
    p->audioQueue.Free(&p->dec);
    p->videoQueue.Free(&p->dec);
    if (clearLayer) p->layer = nullptr;
    p->display = nullptr;
}

void PauseVideoPlayer(cxVideoPlayer *p) {
    if (!p->running.load() || p->paused.load()) return;
    p->ackServer.store(false);
    p->ackRefresh.store(false);
    p->ackDemux.store(false);
    p->paused.store(true, std::memory_order_release);
    // Every thread answers from its idle wait too, so a video at its end
    // or a starved decoder cannot hold this up; the time-out is the last
    // resort.
    WaitFlag(p->ackServer, true);
    WaitFlag(p->ackRefresh, true);
    WaitFlag(p->ackDemux, true);
}

void ResumeVideoPlayer(cxVideoPlayer *p) {
    if (!p->running.load() || !p->paused.load()) return;
    const double now = Now();
    const double cur = p->currentPts.load();
    p->frameTimer += (now + p->drift.load()) - cur;
    p->drift.store(cur - now);
    p->paused.store(false, std::memory_order_release);
}

int SeekVideoPlayer(cxVideoPlayer *p, uint32_t ms) {
    if (!p->running.load()) {
        p->startPosition = ms;
        p->stopPosition = ms;
        return 0;
    }
    if (!p->paused.load() && !p->hasEnded.load()) {
        // Let the previous seek finish and the first pictures settle.
        for (uint32_t waited = 0; waited < kHandshakeMs; waited += 10) {
            if (p->endOfStream.load()) break;
            if (p->seekState.load() == 0 && !p->seekRequest.load() && p->refreshCounter.load() >= 10) break;
            OsDelayMs(10);
        }
        p->seekTarget.store(ms);
        p->seekState.store(1);
        p->seekRequest.store(true, std::memory_order_release);
        return 0;
    }
    // Paused or ended: the threads idle or have nothing left, so stop them,
    // seek, show the picture there and start again paused.
    const bool wasPaused = p->paused.load();
    cxVideoStart s{p->id, p->display, p->x, p->y, p->width, p->height, p->volume.load(), p->smooth, p->channelIndex,
                   p->layer, p->owner, p->ended};
    StopVideoPlayer(p, 0);
    p->startPosition = ms;
    // Draw the picture at the target before playing on.
    Rewind(p);
    if (DecoderSeek(&p->dec, ms) != 0) return ERR_SEEKRANGE;
    p->decoderMoved = true;
    cxVideoPacket pk;
    while (DecoderNextPacket(&p->dec, &pk) == 0) {
        cxVideoFrame f{};
        const bool picture = pk.type == CX_VIDEO_PACKET_VIDEO && DecoderDecodeVideo(&p->dec, &pk, &f) == 0;
        if (picture) {
            const size_t n = size_t(std::max(s.width, 1)) * size_t(std::max(s.height, 1));
            if (auto *px = static_cast<uint32_t *>(malloc(n * 4))) {
                p->display = s.display;
                p->layer = s.layer;
                p->width = s.width, p->height = s.height;
                ConvertVideoPicture(&f, p->rgb, px, s.width, s.width, s.height);
                DrawPicture(p, px, s.width, f.pts);
                KeepLast(p, px, s.width);
                free(px);
            }
        }
        DecoderFreePacket(&p->dec, &pk);
        if (picture) break;
    }
    int err = StartVideoPlayback(nullptr, p, &s);
    if (err) return err;
    if (wasPaused) PauseVideoPlayer(p);
    p->currentPts.store(ms / 1000.0);
    return 0;
}

void SetVideoPlayerVolume(cxVideoPlayer *p, uint32_t volume) {
    p->volume.store(std::min<uint32_t>(volume, 64));
    if (p->running.load() && p->soundOn && p->channelIndex >= 0) SetVideoSoundVolume(p->channelIndex, volume);
}

void SetVideoPlayerGeometry(cxVideoPlayer *p, int32_t x, int32_t y, int32_t width, int32_t height, int smooth) {
    width = std::max(width, 1), height = std::max(height, 1);
    if (!p->running.load() || (width == p->width && height == p->height)) {
        OsLockMutex(p->drawMutex);
        p->x = x, p->y = y;
        p->smooth = smooth;
        if (!p->running.load()) p->width = width, p->height = height;
        OsUnlockMutex(p->drawMutex);
        return;
    }
    // A new size: restart the threads at the new size from where it stands.
    const bool wasPaused = p->paused.load();
    const uint32_t at = GetVideoPlaybackTime(p);
    cxVideoStart s{p->id, p->display, x, y, width, height, p->volume.load(), smooth, p->channelIndex,
                   p->layer, p->owner, p->ended};
    StopVideoPlayer(p, 0);
    if (p->seekable) p->startPosition = at;
    if (StartVideoPlayback(nullptr, p, &s) == 0 && wasPaused) PauseVideoPlayer(p);
}

void SetVideoPlayerSuspended(cxVideoPlayer *p, int suspended) {
    OsLockMutex(p->drawMutex);
    p->suspended.store(suspended != 0);
    OsUnlockMutex(p->drawMutex);
}

void SetVideoPlayerLayer(cxVideoPlayer *p, void *layer) {
    OsLockMutex(p->drawMutex);
    p->layer = layer;
    OsUnlockMutex(p->drawMutex);
}

void *GetVideoPlayerLayer(const cxVideoPlayer *p) { return p->layer; }
int IsVideoPlayerRunning(const cxVideoPlayer *p) { return p->running.load(); }
int HasVideoPlayerEnded(const cxVideoPlayer *p) { return p->hasEnded.load(); }

void RedrawVideoPlayer(cxVideoPlayer *p) {
    if (!p->running.load() || !p->lastPicture || p->lastWidth != p->width || p->lastHeight != p->height) return;
    if (p->paused.load() || p->hasEnded.load()) DrawPicture(p, p->lastPicture, p->lastWidth, p->currentPts.load());
}

uint32_t GetVideoPlaybackTime(cxVideoPlayer *p) {
    if (!p->running.load()) return p->stopPosition;
    if (p->hasEnded.load()) return p->endPosition.load();
    return uint32_t(std::max(0.0, MasterClock(p) * 1000.0));
}

int GetVideoFrameAt(cxVideoPlayer *p, int64_t position, int mode, const uint32_t **pixels, int32_t *width,
                    int32_t *height) {
    *pixels = nullptr;
    const int32_t w = p->srcWidth, h = p->srcHeight;
    if (!p->frameBuffer) {
        p->frameBuffer = static_cast<uint32_t *>(malloc(size_t(w) * size_t(h) * 4));
        if (!p->frameBuffer) return ERR_MEM;
    }
    double target = -1;
    if (mode == 0) {
        if (p->frameCounter > 0 && p->frameCounter - 1 == position && !p->decoderMoved) {
            *pixels = p->frameBuffer, *width = w, *height = h;
            return 0;
        }
        if (p->decoderMoved || position < p->frameCounter) Rewind(p);
    } else {
        Rewind(p);
        if (DecoderSeek(&p->dec, position) != 0) return ERR_SEEKRANGE;
        target = position / 1000.0 - p->frameDuration / 2;
    }
    p->decoderMoved = false;
    cxVideoPacket pk;
    bool have = false;
    while (DecoderNextPacket(&p->dec, &pk) == 0) {
        cxVideoFrame f{};
        bool picture = false;
        if (pk.type == CX_VIDEO_PACKET_VIDEO && DecoderDecodeVideo(&p->dec, &pk, &f) == 0) {
            ConvertVideoPicture(&f, p->rgb, p->frameBuffer, w, w, h);
            ++p->frameCounter;
            have = true;
            picture = mode == 0 ? p->frameCounter - 1 == position : (f.pts < 0 || f.pts >= target);
        }
        DecoderFreePacket(&p->dec, &pk);
        if (picture) {
            *pixels = p->frameBuffer, *width = w, *height = h;
            return 0;
        }
    }
    // Past the end: by number an error; by time the last picture.
    p->decoderMoved = true;
    if (mode == 1 && have) {
        *pixels = p->frameBuffer, *width = w, *height = h;
        return 0;
    }
    return mode == 0 ? ERR_VIDEOFRAME : ERR_SEEKRANGE;
}

cxVideoDecoder *GetVideoPlayerDecoder(cxVideoPlayer *p) { return &p->dec; }

void RewindVideoPlayer(cxVideoPlayer *p) {
    if (p->decoderMoved || p->frameCounter) Rewind(p);
    p->decoderMoved = true;
}

const char *GetVideoDecoderName(cxVideoPlayer *p) { return DecoderName(&p->dec); }
int64_t GetVideoFrameCount(cxVideoPlayer *p) { return DecoderFrameCount(&p->dec); }

void GetVideoPlayerStats(cxVideoPlayer *p, cxVideoStats *out) {
    out->decoded = p->decoded.load();
    out->shown = p->shown.load();
    out->dropped = p->dropped.load();
    out->skipped = p->skipped.load();
    out->lastShownPts = p->lastShownPts.load();
    out->masterClock = MasterClock(p);
    out->lastShownFrame = out->lastShownPts >= 0 ? int32_t(std::lround(out->lastShownPts / p->frameDuration)) : -1;
}
