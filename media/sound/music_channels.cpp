// Music on channels: streams decoded into two one-second halves by a
// thread of their own while the channel's fill plays the other half, and
// Protracker modules rendered by the fill itself.
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "media/sound/protracker.h"
#include "platform/alsa/os_alsa.h"
#include "platform/os_time.h"

namespace {

template <class T>
T Load(const T &field) {
    return std::atomic_ref<const T>(field).load(std::memory_order_acquire);
}
template <class T>
void Store(T &field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_release);
}

cxPluginTimeVal SecondFromNow() {
    const uint64_t us = NowMicroseconds() + 1000000;
    return cxPluginTimeVal{int64_t(us / 1000000), int64_t(us % 1000000)};
}

// Whether a stream can start a pass again from its first frame.
bool CanLoop(const cxSoundStream *s) {
    return s->type == CX_SST_8SVX || s->type == CX_SST_16SV || s->type == CX_SST_WAVE || s->type == CX_SST_PLUGIN;
}

// Decodes one half: loops the stream while passes remain, and marks the
// half in which the music ends.
void DecodeHalf(cxMusicBuffer *m, uint32_t h) {
    unsigned char *out = m->halves[h];
    uint32_t done = 0;
    bool rewound = false;
    while (done < m->halfFrames && !m->decodeEnded) {
        const uint32_t want = m->halfFrames - done;
        int ended = 0;
        const uint32_t n = DecodeSoundStream(m->stream, out + size_t(done) * m->bytesPerFrame, want, &ended);
        done += n;
        if (n == want && !ended) break;
        // The end of a pass (or of the data that could be read): another
        // pass unless this was the last, or a pass from the start that
        // gave nothing.
        if ((m->times == 0 || m->pass < m->times) && CanLoop(m->stream) && !(rewound && n == 0)) {
            RewindSoundStream(m->stream, 0);
            m->pass++;
            rewound = true;
            continue;
        }
        m->decodeEnded = 1;
    }
    m->finalFrames[h].store(m->decodeEnded ? int32_t(done) : -1);
    m->ready[h].store(1);
}

void MusicThread(void *argument) {
    cxOsThread *self = OsGetThreadHandle(argument);
    auto *m = static_cast<cxMusicBuffer *>(OsGetThreadUserData(self));
    OsPrepareThread();
    OsSignalThreadStarted(self);
    OsLockMutex(m->mutex);
    for (;;) {
        while (!m->quit.load() && (m->decodeEnded || (m->ready[0].load() && m->ready[1].load())))
            OsWaitCondition(m->condition, m->mutex, 0);
        if (m->quit.load()) break;
        OsUnlockMutex(m->mutex);
        for (uint32_t h = 0; h < 2; h++)
            if (!m->ready[h].load() && !m->decodeEnded && !m->quit.load()) DecodeHalf(m, h);
        OsLockMutex(m->mutex);
    }
    OsUnlockMutex(m->mutex);
    OsWaitThreadEnd(self);
}

void WakeMusicThread(cxMusicBuffer *m) {
    if (!m->thread) return;
    OsLockMutex(m->mutex);
    OsSignalCondition(m->condition);
    OsUnlockMutex(m->mutex);
}

}  // namespace

void FreeMusicBuffer(cxMusicBuffer *m) {
    if (!m) return;
    if (m->thread) {
        OsLockMutex(m->mutex);
        m->quit.store(1);
        OsRequestThreadQuit(m->thread);
        OsSignalCondition(m->condition);
        OsUnlockMutex(m->mutex);
        OsEndThread(m->thread);
    }
    if (m->condition) OsFreeCondition(m->condition);
    if (m->mutex) OsFreeMutex(m->mutex);
    free(m->halves[0]);
    delete m;
}

int32_t FillMusic(cxAudioChannel *ch, unsigned char *out, int32_t frames, int *ended) {
    cxMusicBuffer *m = ch->music;
    if (!m || Load(ch->finished)) {
        *ended = 1;
        return 0;
    }
    if (Load(ch->firstFill)) {
        int64_t expected = 0;
        ch->stream->playStartUs.compare_exchange_strong(expected, int64_t(NowMicroseconds()));
        Store(ch->firstFill, 0u);
    }
    const uint32_t bpf = m->bytesPerFrame;
    int32_t done = 0;
    while (done < frames) {
        if (m->framesLeft == 0) {
            if (m->lastHalf) break;
            const uint32_t next = 1 - m->playing;
            // The next half is not decoded yet: give what there is.
            if (!m->ready[next].load()) return done;
            m->ready[m->playing].store(0);
            m->playing = next;
            const int32_t final = m->finalFrames[next].load();
            if (final >= 0) {
                m->framesLeft = uint32_t(final);
                m->lastHalf = 1;
                Store(ch->finalHalfFrames, uint32_t(final));
            } else {
                m->framesLeft = m->halfFrames;
            }
            WakeMusicThread(m);
            continue;
        }
        const uint32_t size = m->lastHalf ? Load(ch->finalHalfFrames) : m->halfFrames;
        uint32_t n = m->framesLeft < uint32_t(frames - done) ? m->framesLeft : uint32_t(frames - done);
        memcpy(out + size_t(done) * bpf, m->halves[m->playing] + size_t(size - m->framesLeft) * bpf, size_t(n) * bpf);
        m->framesLeft -= n;
        done += int32_t(n);
    }
    if (done < frames) {
        // The music has played out.
        const cxObjectID id{ch->id.number, ch->id.pointer};
        if (GetAudioEventHook(CX_AEV_MUSICEND)) QueueAudioEvent(CX_AEV_MUSICEND, id, 0, 0, 0, 1);
        ch->endTime = SecondFromNow();
        Store(ch->finished, 1u);
        *ended = 1;
    }
    return done;
}

int StartStreamChannel(lua_State *L, cxAudioChannel *ch, cxSoundStream *s) {
    (void)L;
    const uint32_t bpf = s->transferUnit ? s->transferUnit : GetBytesPerFrame(s->formatCode);
    if (s->rate == 0 || bpf == 0) return ERR_OPENAUDIO;
    auto *m = new (std::nothrow) cxMusicBuffer{};
    if (!m) return ERR_MEM;
    m->halfFrames = s->rate;
    m->bytesPerFrame = bpf;
    m->stream = s;
    m->times = ch->times;
    m->pass = Load(ch->pass);
    m->startFrame = s->position;
    m->halves[0] = static_cast<unsigned char *>(malloc(size_t(2) * m->halfFrames * bpf));
    if (!m->halves[0]) {
        delete m;
        return ERR_MEM;
    }
    m->halves[1] = m->halves[0] + size_t(m->halfFrames) * bpf;
    m->finalFrames[0].store(-1);
    m->finalFrames[1].store(-1);
    ch->music = m;
    // From the stream's own place, keeping its time fields.
    RewindSoundStream(s, s->position);
    DecodeHalf(m, 0);
    m->playing = 0;
    const int32_t final = m->finalFrames[0].load();
    m->framesLeft = final >= 0 ? uint32_t(final) : m->halfFrames;
    m->lastHalf = final >= 0 ? 1 : 0;
    if (final >= 0) Store(ch->finalHalfFrames, uint32_t(final));
    void *handle = nullptr;
    cxPlugin *adapter = GetEngineAdapter(&handle);
    int err = 0;
    // A music that fits one half plays without a thread on the ALSA driver.
    if (adapter || !m->lastHalf) {
        m->mutex = OsCreateMutex();
        m->condition = OsCreateCondition();
        if (!m->mutex || !m->condition) err = ERR_SEMAPHORE;
        if (!err) {
            m->thread = OsCreateThread("cx music", MusicThread, m, 0, adapter ? 100000 : 0,
                                       OsGetAlsaThreadPriority(100));
            if (!m->thread) err = ERR_THREAD;
        }
    }
    if (!err) {
        if (adapter) {
            Store(ch->kind, CX_AUDIOCHANNEL_MUSIC);
            ch->adapterChannel = CallPluginEntry(adapter, adapter->AllocAudioChannel, handle, s->formatCode, int(s->rate),
                                                 int(ch->volume), ch);
            if (!ch->adapterChannel) err = ERR_ALLOCCHANNEL;
        } else {
            err = OpenChannelPcm(ch, s->formatCode, s->rate);
            if (!err) {
                Store(ch->kind, CX_AUDIOCHANNEL_MUSIC);
                AttachChannelPcm(ch);
            }
        }
    }
    if (err) {
        if (ch->driver) OsCloseAlsaPcm(static_cast<cxOsAlsaPcm *>(ch->driver));
        ch->driver = nullptr;
        const uint32_t startFrame = m->startFrame;
        FreeMusicBuffer(m);
        ch->music = nullptr;
        RewindSoundStream(s, startFrame);
        return err;
    }
    WakeMusicThread(m);
    return 0;
}

int StartModuleChannel(cxAudioChannel *ch, cxModulePlayer *module) {
    ch->module = module;
    void *handle = nullptr;
    if (cxPlugin *adapter = GetEngineAdapter(&handle)) {
        Store(ch->kind, CX_AUDIOCHANNEL_MODULE);
        ch->adapterChannel =
            CallPluginEntry(adapter, adapter->AllocAudioChannel, handle, int(CX_SMP_STEREO16), 48000, int(ch->volume), ch);
        return ch->adapterChannel ? 0 : ERR_ALLOCCHANNEL;
    }
    if (int err = OpenChannelPcm(ch, CX_SMP_STEREO16, 48000)) return err;
    Store(ch->kind, CX_AUDIOCHANNEL_MODULE);
    AttachChannelPcm(ch);
    return 0;
}

int StartMusicChannel(lua_State *L, int kind, void *source, cxObjectID id, uint32_t times, uint32_t pass,
                      uint32_t volume, int index, void *owner) {
    if (!IsAudioEngineOpen()) return ERR_OPENAUDIO;
    if (kind == CX_MUSIC_STREAM) {
        auto *s = static_cast<cxSoundStream *>(source);
        if (s->type == CX_SST_CUSTOM && s->firstFillPending) {
            s->firstFillPending = 0;
            ClearCustomBlocks(s);
            if (int err = RequestMusicFill(L, owner, 2 * s->rate)) return err;
        }
    }
    cxAudioChannel *ch = nullptr;
    if (int err = ClaimChannel(L, CX_AUDIOCHANNEL_RESERVED, id, &index, &ch)) return err;
    LockAudioChannels();
    ch->volume = volume > 64 ? 64 : volume;
    ch->times = times;
    Store(ch->pass, pass ? pass : 1u);
    ch->owner = owner;
    Store(ch->firstFill, 1u);
    ch->Fill = FillChannelBuffer;
    int err;
    if (kind == CX_MUSIC_STREAM) {
        auto *s = static_cast<cxSoundStream *>(source);
        ch->stream = s;
        ch->format = s->formatCode;
        ch->rate = s->rate;
        err = StartStreamChannel(L, ch, s);
    } else {
        ch->format = CX_SMP_STEREO16;
        ch->rate = 48000;
        err = StartModuleChannel(ch, static_cast<cxModulePlayer *>(source));
    }
    if (err) {
        if (ch->adapterChannel) {
            void *handle = nullptr;
            if (cxPlugin *a = GetEngineAdapter(&handle)) CallPluginEntry(a, a->FreeAudioChannel, handle, ch->adapterChannel);
        }
        if (ch->driver) OsCloseAlsaPcm(static_cast<cxOsAlsaPcm *>(ch->driver));
        if (ch->music) FreeMusicBuffer(ch->music);
        ClearChannel(ch);
    }
    UnlockAudioChannels();
    return err;
}

void StopStreamChannel(cxSoundStream *s, int index, int pause, uint32_t *passOut, uint32_t *frameOut) {
    LockAudioChannels();
    cxAudioChannel *ch = GetAudioChannel(index);
    if (!ch) {
        UnlockAudioChannels();
        return;
    }
    // The output first, so that nothing pulls any more; then the thread.
    void *handle = nullptr;
    if (cxPlugin *a = GetEngineAdapter(&handle)) {
        if (ch->adapterChannel) CallPluginEntry(a, a->FreeAudioChannel, handle, ch->adapterChannel);
    } else if (ch->driver) {
        OsCloseAlsaPcm(static_cast<cxOsAlsaPcm *>(ch->driver));
    }
    ch->adapterChannel = nullptr;
    ch->driver = nullptr;
    cxMusicBuffer *m = ch->music;
    const uint32_t startFrame = m ? m->startFrame : s->position;
    const uint32_t pass = Load(ch->pass);
    FreeMusicBuffer(m);
    ch->music = nullptr;
    const int64_t start = s->playStartUs.exchange(0);
    if (pause) {
        uint32_t passes = 0;
        if (start) {
            const uint64_t now = NowMicroseconds();
            const uint32_t elapsed = uint32_t(now > uint64_t(start) ? (now - uint64_t(start)) / 1000 : 0);
            s->playPosition += elapsed;
            uint64_t at = uint64_t(s->positionTime.seconds) * 1000 + s->positionTime.microseconds / 1000 + elapsed;
            const uint64_t duration = (s->rate && s->length != CX_SND_UNKNOWN_LENGTH) ? uint64_t(s->length) * 1000 / s->rate : 0;
            if (duration) {
                passes = uint32_t(at / duration);
                at %= duration;
            }
            s->positionTime.seconds = uint32_t(at / 1000);
            s->positionTime.microseconds = uint32_t(at % 1000 * 1000);
            const uint32_t frame = uint32_t(at * s->rate / 1000);
            RewindSoundStream(s, frame);
        } else {
            RewindSoundStream(s, startFrame);
        }
        if (passOut) *passOut = pass + passes;
        if (frameOut) *frameOut = s->position;
    } else {
        RewindSoundStream(s, 0);
        s->position = 0;
        s->positionTime = {0, 0};
        s->playPosition = 0;
        if (passOut) *passOut = 1;
        if (frameOut) *frameOut = 0;
    }
    ClearChannel(ch);
    UnlockAudioChannels();
}

int StopMusicSource(int kind, void *source, int pause, uint32_t *pass, uint32_t *position) {
    if (pass) *pass = 1;
    if (position) *position = 0;
    if (!IsAudioEngineOpen()) return 0;
    LockAudioChannels();
    const int index = FindSourceChannel(kind, source);
    if (kind == CX_MUSIC_STREAM) {
        auto *s = static_cast<cxSoundStream *>(source);
        if (index >= 0) StopStreamChannel(s, index, pause, pass, position);
        if (!pause && s->type == CX_SST_CUSTOM) {
            ClearCustomBlocks(s);
            s->firstFillPending = 1;
        }
    } else if (kind == CX_MUSIC_MODULE) {
        auto *mod = static_cast<cxModulePlayer *>(source);
        if (index >= 0) FreeChannel(index);
        if (!pause) {
            // From the beginning again, over the same file.
            unsigned char *file = mod->file;
            const uint32_t size = mod->fileSize;
            InitModulePlayer(mod, file, size, 48000);
        }
    }
    UnlockAudioChannels();
    return 0;
}
