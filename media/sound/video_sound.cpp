// The video sound ring between a video's audio server thread (producer)
// and the channel's fill (consumer), under the ring's own mutex.
#include "media/sound/video_sound.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "platform/alsa/os_alsa.h"

struct cxVideoSoundRing {
    std::atomic<uint32_t> started{0};
    std::atomic<uint32_t> released{0};
    cxOsMutex *mutex = nullptr;
    unsigned char *data = nullptr; /* CX_VIDEO_RING_BYTES */
    uint32_t fill = 0;             /* bytes, under the mutex */
    uint32_t capacity = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t blockFrames = 0;
    unsigned char *block = nullptr; /* one block decoded outside the lock */
    int index = -1;
    void *player = nullptr;
    cxVideoSoundReader reader = nullptr;
};

namespace {

cxVideoSoundHooks g_hooks{};

// Decodes up to frames frames and appends them. The reader's result.
int32_t ReadBlock(cxVideoSoundRing *r, uint32_t frames) {
    if (frames > r->blockFrames) frames = r->blockFrames;
    if (frames == 0) return 0;
    const int32_t got = r->reader ? r->reader(r->player, r->block, frames) : -1;
    if (got <= 0) return got;
    const uint32_t n = uint32_t(got) > frames ? frames : uint32_t(got);
    OsLockMutex(r->mutex);
    uint32_t bytes = n * r->bytesPerFrame;
    if (bytes > r->capacity - r->fill) bytes = (r->capacity - r->fill) / r->bytesPerFrame * r->bytesPerFrame;
    memcpy(r->data + r->fill, r->block, bytes);
    r->fill += bytes;
    OsUnlockMutex(r->mutex);
    return got;
}

uint32_t Fill(cxVideoSoundRing *r) {
    OsLockMutex(r->mutex);
    const uint32_t f = r->fill;
    OsUnlockMutex(r->mutex);
    return f;
}

}  // namespace

extern "C" void SetVideoSoundHooks(const cxVideoSoundHooks *hooks) { g_hooks = hooks ? *hooks : cxVideoSoundHooks{}; }
extern "C" const cxVideoSoundHooks *GetVideoSoundHooks(void) { return &g_hooks; }

extern "C" int OpenVideoSoundChannel(lua_State *L, cxObjectID video, int index, uint32_t channels, uint32_t rate,
                                     uint32_t volume, void *player, int *outIndex) {
    if (!IsAudioEngineOpen()) return ERR_OPENAUDIO;
    if (channels != 1 && channels != 2) return ERR_WRONGUSAGE;
    if (rate == 0) return ERR_LOWFREQ;
    cxAudioChannel *ch = nullptr;
    if (int err = ClaimChannel(L, CX_AUDIOCHANNEL_VIDEOOPEN, video, &index, &ch)) return err;
    LockAudioChannels();
    ch->volume = volume > 64 ? 64 : volume;
    ch->owner = player;
    ch->format = channels == 2 ? CX_SMP_STEREO16 : CX_SMP_MONO16;
    ch->rate = rate;
    ch->Fill = FillChannelBuffer;
    int err = 0;
    if (!HasAudioAdapter()) err = OpenChannelPcm(ch, ch->format, rate);
    if (err) ClearChannel(ch);
    UnlockAudioChannels();
    if (!err && outIndex) *outIndex = index;
    return err;
}

extern "C" cxVideoSoundRing *CreateVideoSoundRing(int index, uint32_t blockFrames, cxVideoSoundReader reader,
                                                  void *player) {
    cxAudioChannel *ch = GetAudioChannel(index);
    if (!ch || blockFrames == 0) return nullptr;
    auto *r = new (std::nothrow) cxVideoSoundRing;
    if (!r) return nullptr;
    r->bytesPerFrame = GetBytesPerFrame(ch->format);
    if (r->bytesPerFrame == 0) r->bytesPerFrame = 4;
    const uint64_t maxBlock = CX_VIDEO_RING_BYTES / 2 / r->bytesPerFrame;
    r->blockFrames = blockFrames > maxBlock ? uint32_t(maxBlock) : blockFrames;
    r->capacity = 2 * r->blockFrames * r->bytesPerFrame;
    r->index = index;
    r->reader = reader;
    r->player = player;
    r->mutex = OsCreateMutex();
    r->data = static_cast<unsigned char *>(malloc(CX_VIDEO_RING_BYTES));
    r->block = static_cast<unsigned char *>(malloc(size_t(r->blockFrames) * r->bytesPerFrame));
    if (!r->mutex || !r->data || !r->block) {
        if (r->mutex) OsFreeMutex(r->mutex);
        free(r->data);
        free(r->block);
        delete r;
        return nullptr;
    }
    return r;
}

extern "C" int FeedVideoSound(cxOsThread *thread, cxVideoSoundRing *r) {
    if (thread && OsCheckThreadQuit(thread)) return -1;
    if (!r || r->released.load()) {
        OsDelayMs(1);
        return 0;
    }
    int32_t result = 0;
    if (!r->started.load()) {
        OsLockMutex(r->mutex);
        r->fill = 0;
        OsUnlockMutex(r->mutex);
        result = ReadBlock(r, r->blockFrames);
        if (result < 0) return result;
        LockAudioChannels();
        cxAudioChannel *ch = GetAudioChannel(r->index);
        int err = ch ? 0 : ERR_CHANNELRANGE;
        if (ch) {
            ch->ring = r;
            std::atomic_ref<uint32_t>(ch->kind).store(CX_AUDIOCHANNEL_VIDEORING);
            void *handle = nullptr;
            if (cxPlugin *a = GetEngineAdapter(&handle)) {
                ch->adapterChannel = CallPluginEntry(a, a->AllocAudioChannel, handle, ch->format, int(ch->rate),
                                                     int(ch->volume), ch);
                if (!ch->adapterChannel) {
                    ClearChannel(ch);
                    err = ERR_ALLOCCHANNEL;
                }
            } else {
                AttachChannelPcm(ch);
            }
        }
        UnlockAudioChannels();
        if (err) {
            r->released.store(1);
            return err;
        }
        r->started.store(1);
    } else if (HasAudioAdapter()) {
        const uint32_t room = r->capacity - Fill(r);
        if (room >= r->bytesPerFrame) result = ReadBlock(r, room / r->bytesPerFrame);
    } else if (Fill(r) <= r->capacity / 2) {
        result = ReadBlock(r, r->blockFrames);
    }
    OsDelayMs(1);
    return result;
}

int32_t FillVideoRing(cxAudioChannel *ch, unsigned char *out, int32_t frames) {
    cxVideoSoundRing *r = ch->ring;
    const uint32_t bpf = r ? r->bytesPerFrame : GetBytesPerFrame(ch->format);
    if (!r) {
        memset(out, 0, size_t(frames) * bpf);
        return frames;
    }
    OsLockMutex(r->mutex);
    uint32_t n = r->fill / bpf;
    if (n > uint32_t(frames)) n = uint32_t(frames);
    memcpy(out, r->data, size_t(n) * bpf);
    memset(out + size_t(n) * bpf, 0, size_t(uint32_t(frames) - n) * bpf);
    r->fill -= n * bpf;
    memmove(r->data, r->data + size_t(n) * bpf, r->fill);
    OsUnlockMutex(r->mutex);
    return frames;
}

void MarkVideoRingReleased(cxVideoSoundRing *ring) {
    if (ring) ring->released.store(1);
}

extern "C" void ReleaseVideoSoundChannel(cxVideoSoundRing *r) {
    if (!r || r->released.exchange(1)) return;
    LockAudioChannels();
    cxAudioChannel *ch = GetAudioChannel(r->index);
    if (ch && ch->ring == r) FreeChannel(r->index);
    else if (ch && ch->owner == r->player && std::atomic_ref<uint32_t>(ch->kind).load() == CX_AUDIOCHANNEL_VIDEOOPEN)
        FreeChannel(r->index);
    UnlockAudioChannels();
}

extern "C" void FreeVideoSoundRing(cxVideoSoundRing *r) {
    if (!r) return;
    ReleaseVideoSoundChannel(r);
    OsFreeMutex(r->mutex);
    free(r->data);
    free(r->block);
    delete r;
}

extern "C" void SetVideoSoundVolume(int index, uint32_t volume) {
    LockAudioChannels();
    ApplyChannelAttributes(index, -1, int32_t(volume > 64 ? 64 : volume), -1);
    UnlockAudioChannels();
}

extern "C" uint32_t GetVideoRingFill(cxVideoSoundRing *ring) { return ring ? Fill(ring) : 0; }
