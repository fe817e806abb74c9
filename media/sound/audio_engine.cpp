// The audio engine: its life, the channel array, samples on channels, the
// fill callback, audio events and the release of ended channels.
#include "media/sound/audio_engine.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "display/events/event_notices.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/kernel.h"
#include "errors/errors.h"
#include "media/sound/protracker.h"
#include "media/sound/video_sound.h"
#include "platform/alsa/os_alsa.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"

namespace {

struct Engine {
    cxAudioChannel *channels = nullptr;
    uint32_t count = 0;
    int32_t defaultCount = 8;
    cxOsMutex *channelMutex = nullptr;
    bool open = false;
    cxPlugin *adapter = nullptr;
    void *adapterHandle = nullptr;
    std::atomic<int> hooks[4]{}; // sample loop, sample end, music end, video end
    // Hooks set through the settings listener; the kernel's handler flags
    // count too.
    std::atomic<int> listenerHooks[4]{};
};

Engine g_engine;

template <class T>
T Load(const T &field) {
    return std::atomic_ref<const T>(field).load(std::memory_order_acquire);
}
template <class T>
void Store(T &field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_release);
}

int HookIndex(int type) {
    switch (type) {
    case CX_AEV_SAMPLELOOP: return 0;
    case CX_AEV_SAMPLEEND: return 1;
    case CX_AEV_MUSICEND: return 2;
    case CX_AEV_VIDEOEND: return 3;
    default: return -1;
    }
}

cxPluginTimeVal TimeIn(uint64_t us) {
    return cxPluginTimeVal{int64_t(us / 1000000), int64_t(us % 1000000)};
}
uint64_t Micro(const cxPluginTimeVal &t) { return uint64_t(t.seconds) * 1000000 + uint64_t(t.microseconds); }

// The ALSA driver's side of a channel.
int32_t AlsaPull(void *user, void *buffer, int32_t frames, int *ended) {
    return PullChannel(static_cast<cxAudioChannel *>(user), static_cast<unsigned char *>(buffer), frames, ended);
}

void AlsaEnded(void *user) {
    auto *ch = static_cast<cxAudioChannel *>(user);
    Store(ch->previousKind, Load(ch->kind));
    Store(ch->kind, CX_AUDIOCHANNEL_ENDED);
    OsWakeMainThread();
}

// A sample's frames at its pace: loops, the last pass of a play time, and
// the events of both.
int32_t FillSample(cxAudioChannel *ch, unsigned char *out, int32_t frames, int *ended) {
    const cxSampleData *s = ch->sample;
    const uint32_t bpf = s->bytesPerFrame, total = s->frames;
    const cxObjectID id{ch->id.number, ch->id.pointer};
    int32_t done = 0;
    if (Load(ch->finished)) {
        *ended = 1;
        return 0;
    }
    // The first fill starts the clock and tells of the first pass, before
    // any later pass or the end that the same fill may reach.
    if (Load(ch->firstFill)) {
        ch->startTime = TimeIn(NowMicroseconds());
        if (g_engine.hooks[0].load()) QueueAudioEvent(CX_AEV_SAMPLELOOP, id, ch->passMs, Load(ch->pass), 0, 1);
        Store(ch->firstFill, 0u);
    }
    while (done < frames) {
        const uint32_t pass = Load(ch->pass);
        const bool last = ch->times != 0 && pass >= ch->times;
        const uint32_t limit = last ? (ch->lastPassFrames < total ? ch->lastPassFrames : total) : total;
        if (ch->samplePosition >= limit) {
            if (last || total == 0) {
                if (g_engine.hooks[1].load()) QueueAudioEvent(CX_AEV_SAMPLEEND, id, ch->passMs, pass, ch->lastPassMs, 1);
                ch->endTime = TimeIn(NowMicroseconds() + 1000000);
                Store(ch->finished, 1u);
                *ended = 1;
                break;
            }
            ch->samplePosition = 0;
            Store(ch->pass, pass + 1);
            if (g_engine.hooks[0].load()) QueueAudioEvent(CX_AEV_SAMPLELOOP, id, ch->passMs, pass + 1, 0, 1);
            continue;
        }
        uint32_t n = limit - ch->samplePosition;
        if (n > uint32_t(frames - done)) n = uint32_t(frames - done);
        memcpy(out + size_t(done) * bpf, s->buffer + size_t(ch->samplePosition) * bpf, size_t(n) * bpf);
        ch->samplePosition += n;
        done += int32_t(n);
    }
    return done;
}

void CopyHooksFromKernel() {
    int loop = 0, end = 0, music = 0, video = 0;
    GetKernelTags(nullptr, CX_KTAG_ONSAMPLELOOP, &loop, CX_KTAG_ONSAMPLEEND, &end, CX_KTAG_ONMUSICEND, &music,
                  CX_KTAG_ONVIDEOEND, &video, CX_KTAG_END);
    const int kernel[4] = {loop, end, music, video};
    for (int i = 0; i < 4; i++) g_engine.hooks[i].store(kernel[i] || g_engine.listenerHooks[i].load());
}

bool SamePointer(const cxAudioChannel *ch, const cxSampleData *s) {
    const uint32_t k = Load(ch->kind);
    return (k == CX_AUDIOCHANNEL_PREPARED || k == CX_AUDIOCHANNEL_SAMPLE) && ch->sample == s;
}

// A sample still sounds until the ALSA driver reports that its last frames
// have played (the channel then turns ENDED); an adapter takes the last
// frames with the fill that finds the end.
bool Sounding(const cxAudioChannel *ch) { return !g_engine.adapter || !Load(ch->finished); }

}  // namespace

uint64_t NowMicroseconds(void) {
    cxOsTimeVal t;
    OsGetSysTime(&t);
    return uint64_t(t.seconds) * 1000000 + t.microseconds;
}

cxPlugin *GetEngineAdapter(void **handle) {
    if (handle) *handle = g_engine.adapterHandle;
    return g_engine.open ? g_engine.adapter : nullptr;
}

int HasAudioAdapter(void) { return g_engine.open && g_engine.adapter != nullptr; }

int InitAudioLocks(void) {
    if (!g_engine.channelMutex) g_engine.channelMutex = OsCreateMutex();
    if (!g_engine.channelMutex) return ERR_SEMAPHORE;
    return OsInitAlsaLock();
}

void SetDefaultChannelCount(int32_t count) {
    g_engine.defaultCount = count;
    SetDefaultAudioChannels(count > 0 ? uint32_t(count) : 8);
}

uint32_t GetDefaultChannelCount(void) { return g_engine.defaultCount > 0 ? uint32_t(g_engine.defaultCount) : 8; }

int OpenAudioEngine(lua_State *L, const char *device) {
    (void)L;
    if (g_engine.open) return 0;
    if (int err = InitAudioLocks()) return err;
    uint32_t frames = 0, channels = 0;
    cxPlugin *adapter = GetAudioAdapter(&frames, &channels);
    uint32_t count = 0;
    if (adapter) {
        void *handle = CallPluginEntry(adapter, adapter->OpenAudio, 0u, static_cast<const cxTagItem *>(nullptr));
        if (!handle) return ERR_OPENAUDIO;
        g_engine.adapterHandle = handle;
        count = channels;
    } else {
        if (g_engine.defaultCount < 0) return ERR_OPENAUDIO;
        count = g_engine.defaultCount ? uint32_t(g_engine.defaultCount) : 8;
        if (int err = StartAlsaMixerThread(device)) return err;
    }
    auto *array = new (std::nothrow) cxAudioChannel[count]{};
    if (!array) {
        if (adapter) CallPluginEntry(adapter, adapter->CloseAudio, g_engine.adapterHandle);
        else OsStopAlsaMixer();
        g_engine.adapterHandle = nullptr;
        return ERR_MEM;
    }
    for (uint32_t i = 0; i < count; i++) array[i].index = i;
    OsLockMutex(g_engine.channelMutex);
    g_engine.channels = array;
    g_engine.count = count;
    g_engine.adapter = adapter;
    g_engine.open = true;
    OsUnlockMutex(g_engine.channelMutex);
    CopyHooksFromKernel();
    return 0;
}

void CloseAudioEngine(void) {
    if (!g_engine.open) return;
    // Nothing may still pull from a channel.
    for (uint32_t i = 0; i < g_engine.count; i++) FreeChannel(int(i));
    if (g_engine.adapter) CallPluginEntry(g_engine.adapter, g_engine.adapter->CloseAudio, g_engine.adapterHandle);
    else OsStopAlsaMixer();
    OsLockMutex(g_engine.channelMutex);
    delete[] g_engine.channels;
    g_engine.channels = nullptr;
    g_engine.count = 0;
    g_engine.open = false;
    g_engine.adapter = nullptr;
    g_engine.adapterHandle = nullptr;
    OsUnlockMutex(g_engine.channelMutex);
}

extern "C" void FreeAudioEngine(void) {
    CloseAudioEngine();
    if (g_engine.channelMutex) OsFreeMutex(g_engine.channelMutex);
    g_engine.channelMutex = nullptr;
    OsFreeAlsaLock();
    for (auto &h : g_engine.hooks) h.store(0);
    for (auto &h : g_engine.listenerHooks) h.store(0);
}

int IsAudioEngineOpen(void) { return g_engine.open ? 1 : 0; }
uint32_t GetAudioChannelCount(void) { return g_engine.open ? g_engine.count : 0; }

void LockAudioChannels(void) {
    if (g_engine.channelMutex) OsLockMutex(g_engine.channelMutex);
}
void UnlockAudioChannels(void) {
    if (g_engine.channelMutex) OsUnlockMutex(g_engine.channelMutex);
}

cxAudioChannel *GetAudioChannel(int index) {
    if (!g_engine.open || index < 0 || uint32_t(index) >= g_engine.count) return nullptr;
    return &g_engine.channels[index];
}

void ClearChannel(cxAudioChannel *ch) {
    const uint32_t index = ch->index;
    Store(ch->kind, 0u);
    *ch = cxAudioChannel{};
    ch->index = index;
}

int OpenChannelPcm(cxAudioChannel *ch, int code, uint32_t rate) {
    cxOsAlsaFormat f{};
    f.bits = code >= CX_SMP_MONO16 ? 16 : 8;
    f.channels = (code == CX_SMP_STEREO8U || code == CX_SMP_STEREO8S || code == CX_SMP_STEREO16) ? 2 : 1;
    f.bytesPerFrame = GetBytesPerFrame(code);
    f.flags = (code == CX_SMP_MONO8S || code == CX_SMP_STEREO8S || f.bits == 16) ? CX_ALSA_SIGNED : 0;
    if (f.bits == 16 && ch->sample && (ch->sample->flags & CX_SND_BIGENDIAN)) f.flags |= CX_ALSA_BIGENDIAN;
    if (ch->stream && (ch->stream->flags & CX_SND_BIGENDIAN) && f.bits == 16) f.flags |= CX_ALSA_BIGENDIAN;
    cxOsAlsaPcm *pcm = nullptr;
    if (int err = OsOpenAlsaPcm(&f, rate, &pcm)) return err;
    OsSetAlsaPcmVolume(pcm, ch->volume);
    ch->driver = pcm;
    return 0;
}

void AttachChannelPcm(cxAudioChannel *ch) {
    if (ch->driver) OsStartAlsaPcm(static_cast<cxOsAlsaPcm *>(ch->driver), AlsaPull, AlsaEnded, ch);
}

int ClaimChannel(lua_State *L, uint32_t kind, cxObjectID id, int *index, cxAudioChannel **out) {
    ReleaseFinishedChannels();
    LockAudioChannels();
    int i = *index;
    if (i == -1) {
        for (uint32_t n = 0; n < g_engine.count; n++) {
            if (Load(g_engine.channels[n].kind) == CX_AUDIOCHANNEL_FREE) {
                i = int(n);
                break;
            }
        }
        if (i == -1) {
            UnlockAudioChannels();
            return ERR_NOCHANNEL;
        }
    } else if (i < 0 || uint32_t(i) >= g_engine.count) {
        UnlockAudioChannels();
        return ERR_CHANNELRANGE;
    } else if (Load(g_engine.channels[i].kind) != CX_AUDIOCHANNEL_FREE) {
        StopChannelObject(L, i);
        // Whatever the object left behind goes too.
        if (Load(g_engine.channels[i].kind) != CX_AUDIOCHANNEL_FREE) FreeChannel(i);
    }
    cxAudioChannel *ch = &g_engine.channels[i];
    ClearChannel(ch);
    ch->id = cxPluginObjectID{id.number, id.pointer};
    Store(ch->kind, kind);
    UnlockAudioChannels();
    *index = i;
    *out = ch;
    return 0;
}

int PlaySampleOnChannel(lua_State *L, cxSampleData *sample, cxObjectID id, int code, uint32_t pitch, uint32_t volume,
                        uint32_t panning, int32_t time, uint32_t times, int index) {
    if (pitch == 0) return ERR_LOWFREQ;
    cxAudioChannel *ch = nullptr;
    if (int err = ClaimChannel(L, CX_AUDIOCHANNEL_PREPARED, id, &index, &ch)) return err;
    LockAudioChannels();
    ch->sample = sample;
    ch->volume = volume > 64 ? 64 : volume;
    ch->panning = panning;
    ch->format = code;
    ch->rate = pitch;
    Store(ch->pass, 1u);
    Store(ch->firstFill, 1u);
    ch->Fill = FillChannelBuffer;
    // One pass at the playing pitch, in whole milliseconds (64-bit, so
    // that long samples and high pitches neither wrap nor truncate to 0).
    const uint64_t frames = sample->frames;
    ch->passMs = uint32_t(frames * 1000 / pitch);
    if (time < 0) {
        ch->lastPassFrames = sample->frames;
        ch->times = times;
        ch->lastPassMs = ch->passMs;
    } else {
        // A play time: whole passes, then what is left of the time.
        const uint64_t total = (uint64_t(time) * pitch + 999) / 1000;
        const uint64_t passes = frames ? (total + frames - 1) / frames : 1;
        ch->times = uint32_t(passes ? passes : 1);
        ch->lastPassFrames = uint32_t(total - (ch->times - 1) * frames);
        const uint64_t before = uint64_t(ch->times - 1) * ch->passMs;
        ch->lastPassMs = uint32_t(uint64_t(time) > before ? uint64_t(time) - before : 0);
    }
    int err = 0;
    if (cxPlugin *a = g_engine.adapter) {
        Store(ch->kind, CX_AUDIOCHANNEL_SAMPLE);
        ch->adapterChannel = CallPluginEntry(a, a->AllocAudioChannel, g_engine.adapterHandle, code, int(pitch),
                                             int(ch->volume), ch);
        if (!ch->adapterChannel) err = ERR_ALLOCCHANNEL;
        else ApplyChannelAttributes(index, -1, -1, int32_t(panning));
    } else {
        err = OpenChannelPcm(ch, code, pitch);
        if (!err) AttachChannelPcm(ch);
    }
    if (err) ClearChannel(ch);
    UnlockAudioChannels();
    return err;
}

void StartPreparedChannels(void) {
    if (!g_engine.open) return;
    for (uint32_t i = 0; i < g_engine.count; i++) {
        cxAudioChannel *ch = &g_engine.channels[i];
        uint32_t expected = CX_AUDIOCHANNEL_PREPARED;
        std::atomic_ref<uint32_t>(ch->kind).compare_exchange_strong(expected, CX_AUDIOCHANNEL_SAMPLE);
    }
}

int GetChannelState(int index, int *objectKind, cxObjectID *id, int holdMutex) {
    LockAudioChannels();
    cxAudioChannel *ch = GetAudioChannel(index);
    if (!ch) {
        UnlockAudioChannels();
        return ERR_CHANNELRANGE;
    }
    int kind = 7;
    switch (Load(ch->kind)) {
    case CX_AUDIOCHANNEL_PREPARED:
    case CX_AUDIOCHANNEL_SAMPLE: kind = CX_OBJ_SAMPLE; break;
    case CX_AUDIOCHANNEL_MODULE:
    case CX_AUDIOCHANNEL_MUSIC:
    case CX_AUDIOCHANNEL_RESERVED: kind = CX_OBJ_MUSIC; break;
    case CX_AUDIOCHANNEL_VIDEORING:
    case CX_AUDIOCHANNEL_VIDEOOPEN: kind = CX_OBJ_VIDEO; break;
    default: break;
    }
    // A sample that has played out counts as free already.
    if (kind == CX_OBJ_SAMPLE && !Sounding(ch)) kind = 7;
    if (objectKind) *objectKind = kind;
    if (id) *id = cxObjectID{ch->id.number, ch->id.pointer};
    if (!holdMutex) UnlockAudioChannels();
    return 0;
}

int GetFirstFreeChannel(void) {
    ReleaseFinishedChannels();
    LockAudioChannels();
    int found = -1;
    for (uint32_t i = 0; g_engine.open && i < g_engine.count && found < 0; i++)
        if (Load(g_engine.channels[i].kind) == CX_AUDIOCHANNEL_FREE) found = int(i);
    UnlockAudioChannels();
    return found;
}

void StopAllChannels(lua_State *L) {
    if (!g_engine.open) return;
    LockAudioChannels();
    for (uint32_t i = 0; i < g_engine.count; i++) {
        if (Load(g_engine.channels[i].kind) == CX_AUDIOCHANNEL_FREE) continue;
        StopChannelObject(L, int(i));
        if (Load(g_engine.channels[i].kind) != CX_AUDIOCHANNEL_FREE) FreeChannel(int(i));
    }
    UnlockAudioChannels();
    ReleaseFinishedChannels();
}

void FreeChannel(int index) {
    cxAudioChannel *ch = GetAudioChannel(index);
    if (!ch) return;
    LockAudioChannels();
    const uint32_t kind = Load(ch->kind);
    if (kind == CX_AUDIOCHANNEL_MUSIC || (kind == CX_AUDIOCHANNEL_ENDED && ch->previousKind == CX_AUDIOCHANNEL_MUSIC)) {
        if (ch->stream) {
            StopStreamChannel(ch->stream, index, 0, nullptr, nullptr);
            UnlockAudioChannels();
            return;
        }
    }
    if (g_engine.adapter && ch->adapterChannel)
        CallPluginEntry(g_engine.adapter, g_engine.adapter->FreeAudioChannel, g_engine.adapterHandle, ch->adapterChannel);
    if (ch->driver) OsCloseAlsaPcm(static_cast<cxOsAlsaPcm *>(ch->driver));
    if (ch->ring) MarkVideoRingReleased(ch->ring);
    if (ch->music) FreeMusicBuffer(ch->music);
    ClearChannel(ch);
    UnlockAudioChannels();
}

void ReleaseFinishedChannels(void) {
    if (!g_engine.open) return;
    CopyHooksFromKernel();
    LockAudioChannels();
    const uint64_t now = NowMicroseconds();
    for (uint32_t i = 0; i < g_engine.count; i++) {
        cxAudioChannel *ch = &g_engine.channels[i];
        const uint32_t kind = Load(ch->kind);
        uint32_t ended = 0;
        if (g_engine.adapter) {
            if (!Load(ch->finished) || now < Micro(ch->endTime)) continue;
            ended = kind;
        } else {
            if (kind != CX_AUDIOCHANNEL_ENDED) continue;
            ended = Load(ch->previousKind);
        }
        if (ended == CX_AUDIOCHANNEL_MUSIC) {
            void *owner = ch->owner;
            FreeChannel(int(i));
            OnMusicChannelEnded(owner);
        } else {
            FreeChannel(int(i));
        }
    }
    UnlockAudioChannels();
}

void StopSampleChannels(const cxSampleData *sample, int index) {
    if (!g_engine.open) return;
    LockAudioChannels();
    if (index >= 0) {
        FreeChannel(index);
    } else {
        for (uint32_t i = 0; i < g_engine.count; i++)
            if (SamePointer(&g_engine.channels[i], sample)) FreeChannel(int(i));
    }
    UnlockAudioChannels();
}

int IsSampleDataPlaying(const cxSampleData *sample) {
    if (!g_engine.open) return 0;
    ReleaseFinishedChannels();
    LockAudioChannels();
    int playing = 0;
    for (uint32_t i = 0; i < g_engine.count && !playing; i++) {
        const cxAudioChannel *ch = &g_engine.channels[i];
        if (SamePointer(ch, sample) && Sounding(ch)) playing = 1;
    }
    UnlockAudioChannels();
    return playing;
}

int GetSamplePlayPosition(const cxSampleData *sample, uint32_t *ms, uint32_t *pass) {
    if (!g_engine.open) return 0;
    LockAudioChannels();
    int found = 0;
    for (uint32_t i = 0; i < g_engine.count && !found; i++) {
        const cxAudioChannel *ch = &g_engine.channels[i];
        if (!SamePointer(ch, sample) || !Sounding(ch)) continue;
        found = 1;
        uint64_t elapsed = 0;
        if (!Load(ch->firstFill)) {
            const uint64_t now = NowMicroseconds(), start = Micro(ch->startTime);
            elapsed = now > start ? (now - start) / 1000 : 0;
        }
        *ms = uint32_t(elapsed);
        *pass = Load(ch->pass) - 1;
    }
    UnlockAudioChannels();
    return found;
}

void ApplyChannelAttributes(int index, int32_t pitch, int32_t volume, int32_t panning) {
    cxAudioChannel *ch = GetAudioChannel(index);
    if (!ch) return;
    if (volume >= 0) Store(ch->volume, uint32_t(volume > 64 ? 64 : volume));
    if (panning >= 0) ch->panning = uint32_t(panning);
    if (pitch >= 0) ch->rate = uint32_t(pitch);
    if (cxPlugin *a = g_engine.adapter) {
        if (!ch->adapterChannel) return;
        cxTagItem tags[4];
        int n = 0;
        if (volume != -1) tags[n++] = {1, volume};
        if (panning != -1) tags[n++] = {2, panning};
        if (pitch != -1) tags[n++] = {3, pitch};
        tags[n] = {0, 0};
        CallPluginEntry(a, a->SetChannelAttributes, g_engine.adapterHandle, ch->adapterChannel,
                        static_cast<const cxTagItem *>(tags));
    } else if (ch->driver && volume >= 0) {
        OsSetAlsaPcmVolume(static_cast<cxOsAlsaPcm *>(ch->driver), uint32_t(volume));
    }
}

void SetSampleChannelAttributes(const cxSampleData *sample, int32_t pitch, int32_t volume, int32_t panning, int index) {
    if (!g_engine.open) return;
    LockAudioChannels();
    if (index < 0) {
        for (uint32_t i = 0; i < g_engine.count; i++) {
            if (SamePointer(&g_engine.channels[i], sample)) {
                index = int(i);
                break;
            }
        }
    }
    if (index >= 0) ApplyChannelAttributes(index, pitch, volume, panning);
    UnlockAudioChannels();
}

int FindSourceChannel(int kind, const void *source) {
    if (!g_engine.open) return -1;
    for (uint32_t i = 0; i < g_engine.count; i++) {
        const cxAudioChannel *ch = &g_engine.channels[i];
        const uint32_t k = Load(ch->kind);
        const uint32_t prev = k == CX_AUDIOCHANNEL_ENDED ? Load(ch->previousKind) : k;
        if (kind == CX_MUSIC_STREAM && prev == CX_AUDIOCHANNEL_MUSIC && ch->stream == source) return int(i);
        if (kind == CX_MUSIC_MODULE && prev == CX_AUDIOCHANNEL_MODULE && ch->module == source) return int(i);
        if (k == CX_AUDIOCHANNEL_RESERVED && (ch->stream == source || ch->module == source)) return int(i);
    }
    return -1;
}

void SetSourceVolume(int kind, void *source, uint32_t volume, int index) {
    if (!g_engine.open) return;
    LockAudioChannels();
    if (index < 0) index = FindSourceChannel(kind, source);
    if (index >= 0) ApplyChannelAttributes(index, -1, int32_t(volume), -1);
    UnlockAudioChannels();
}

int32_t PullChannel(cxAudioChannel *ch, unsigned char *out, int32_t frames, int *ended) {
    *ended = 0;
    if (frames <= 0) return 0;
    switch (Load(ch->kind)) {
    case CX_AUDIOCHANNEL_SAMPLE: return FillSample(ch, out, frames, ended);
    case CX_AUDIOCHANNEL_MODULE:
        RenderModuleBlock(ch->module, reinterpret_cast<int16_t *>(out), uint32_t(frames));
        return frames;
    case CX_AUDIOCHANNEL_MUSIC: return FillMusic(ch, out, frames, ended);
    case CX_AUDIOCHANNEL_VIDEORING: return FillVideoRing(ch, out, frames);
    default: return 0;
    }
}

int32_t FillChannelBuffer(intptr_t, intptr_t, void *buffer, int32_t frames, cxAudioChannel *ch) {
    if (!ch || !buffer || frames <= 0) return 0;
    int ended = 0;
    auto *out = static_cast<unsigned char *>(buffer);
    const int32_t got = PullChannel(ch, out, frames, &ended);
    if (ended || got >= frames) return got;
    // Not at the end, only short of data (a late music half, a sample not
    // yet started): the rest is silence.
    const uint32_t bpf = GetBytesPerFrame(ch->format);
    const int silence = (ch->format == CX_SMP_MONO8U || ch->format == CX_SMP_STEREO8U) ? 128 : 0;
    if (bpf) memset(out + size_t(got) * bpf, silence, size_t(frames - got) * bpf);
    return frames;
}

void SetAudioEventHook(const char *name, int value) {
    static const char *const names[] = {"onsampleloop", "onsampleend", "onmusicend", "onvideoend"};
    for (int i = 0; i < 4; i++) {
        if (!name || strcmp(name, names[i])) continue;
        g_engine.listenerHooks[i].store(value ? 1 : 0);
        g_engine.hooks[i].store(value ? 1 : 0);
    }
}

int GetAudioEventHook(int type) {
    const int i = HookIndex(type);
    return i >= 0 ? g_engine.hooks[i].load() : 0;
}

void SyncAudioEventHooks(void) { CopyHooksFromKernel(); }

void QueueAudioEvent(uint32_t type, cxObjectID id, uint32_t length, uint32_t count, uint32_t offset, int wake) {
    (void)wake; // posting a notice always wakes the main thread
    cxEventNotice n{};
    n.kind = type;
    n.id = id;
    n.time = count ? length * (count - 1) : 0;
    if (type == CX_AEV_SAMPLEEND) n.time += offset;
    n.starts = count;
    n.userData = -1;
    PostEventNotice(&n);
}
