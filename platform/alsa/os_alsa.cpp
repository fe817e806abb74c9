#include "platform/alsa/os_alsa.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <errno.h>
#include <sched.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "errors/errors.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"

namespace {

// The functions of libasound the driver calls, looked up by name.
struct AlsaApi {
    void *handle = nullptr;
    decltype(&snd_pcm_open) pcm_open = nullptr;
    decltype(&snd_pcm_close) pcm_close = nullptr;
    decltype(&snd_pcm_hw_params_malloc) hw_params_malloc = nullptr;
    decltype(&snd_pcm_hw_params_free) hw_params_free = nullptr;
    decltype(&snd_pcm_hw_params_any) hw_params_any = nullptr;
    decltype(&snd_pcm_hw_params_set_access) hw_params_set_access = nullptr;
    decltype(&snd_pcm_hw_params_set_format) hw_params_set_format = nullptr;
    decltype(&snd_pcm_hw_params_set_channels) hw_params_set_channels = nullptr;
    decltype(&snd_pcm_hw_params_set_rate_near) hw_params_set_rate_near = nullptr;
    decltype(&snd_pcm_hw_params_set_buffer_time_near) hw_params_set_buffer_time_near = nullptr;
    decltype(&snd_pcm_hw_params) hw_params = nullptr;
    decltype(&snd_pcm_hw_params_get_buffer_size) hw_params_get_buffer_size = nullptr;
    decltype(&snd_pcm_prepare) pcm_prepare = nullptr;
    decltype(&snd_pcm_writei) pcm_writei = nullptr;
    decltype(&snd_pcm_avail_update) pcm_avail_update = nullptr;
    decltype(&snd_pcm_recover) pcm_recover = nullptr;
    decltype(&snd_pcm_delay) pcm_delay = nullptr;
    decltype(&snd_pcm_nonblock) pcm_nonblock = nullptr;
};

AlsaApi g_alsa;
bool g_alsaTried = false;
const char *const kDefaultNames[] = {"libasound.so.2", "libasound.so", nullptr};
const char *const *g_libraryNames = kDefaultNames;

// The most frames one pull and one write move.
constexpr int32_t kChunkFrames = 16384;

}  // namespace

struct cxOsAlsaPcm {
    snd_pcm_t *pcm = nullptr;
    cxOsAlsaFormat format{};
    uint32_t rate = 0;
    uint32_t bufferFrames = 0;
    cxOsAlsaPull pull = nullptr;
    cxOsAlsaEnded ended = nullptr;
    void *user = nullptr;
    std::atomic<uint32_t> volume{64};
    bool attached = false;
    bool draining = false;
    bool endReported = false;
    bool anchored = false;
    double anchor = 0;     // monotonic seconds of the first write
    uint64_t written = 0;  // frames written since the anchor
    // A write the PCM took only in part: the rest goes first next time.
    int32_t pendingOffset = 0, pendingFrames = 0;
    unsigned char *scratch = nullptr;
    cxOsAlsaPcm *next = nullptr;
};

namespace {

cxOsMutex *g_lock = nullptr;
cxOsCondition *g_wake = nullptr;
cxOsThread *g_mixer = nullptr;
cxOsAlsaPcm *g_pcms = nullptr;
std::string g_device = "default";
std::atomic<int> g_realtime{1};
// Callers waiting for the driver's mutex: the mixer lets them in between
// its rounds, even when it has no time to sleep.
std::atomic<int> g_waiting{0};
std::atomic<double> g_pacing{1.0};

double MonotonicSeconds() {
    cxOsTimeVal t;
    OsGetMonotonicTime(&t);
    return t.seconds + t.microseconds / 1e6;
}

void SilentAlsaError(const char *, int, const char *, int, const char *, ...) {}

bool LoadApi() {
    if (g_alsa.handle) return true;
    if (g_alsaTried) return false;
    g_alsaTried = true;
    void *handle = nullptr;
    const char *loaded = nullptr;
    for (const char *const *n = g_libraryNames; *n && !handle; ++n) {
        handle = dlopen(*n, RTLD_NOW | RTLD_LOCAL);
        loaded = *n;
    }
    if (!handle) return false;
    AlsaApi api;
    api.handle = handle;
    struct {
        const char *name;
        void **slot;
    } const fns[] = {
        {"snd_pcm_open", reinterpret_cast<void **>(&api.pcm_open)},
        {"snd_pcm_close", reinterpret_cast<void **>(&api.pcm_close)},
        {"snd_pcm_hw_params_malloc", reinterpret_cast<void **>(&api.hw_params_malloc)},
        {"snd_pcm_hw_params_free", reinterpret_cast<void **>(&api.hw_params_free)},
        {"snd_pcm_hw_params_any", reinterpret_cast<void **>(&api.hw_params_any)},
        {"snd_pcm_hw_params_set_access", reinterpret_cast<void **>(&api.hw_params_set_access)},
        {"snd_pcm_hw_params_set_format", reinterpret_cast<void **>(&api.hw_params_set_format)},
        {"snd_pcm_hw_params_set_channels", reinterpret_cast<void **>(&api.hw_params_set_channels)},
        {"snd_pcm_hw_params_set_rate_near", reinterpret_cast<void **>(&api.hw_params_set_rate_near)},
        {"snd_pcm_hw_params_set_buffer_time_near", reinterpret_cast<void **>(&api.hw_params_set_buffer_time_near)},
        {"snd_pcm_hw_params", reinterpret_cast<void **>(&api.hw_params)},
        {"snd_pcm_hw_params_get_buffer_size", reinterpret_cast<void **>(&api.hw_params_get_buffer_size)},
        {"snd_pcm_prepare", reinterpret_cast<void **>(&api.pcm_prepare)},
        {"snd_pcm_writei", reinterpret_cast<void **>(&api.pcm_writei)},
        {"snd_pcm_avail_update", reinterpret_cast<void **>(&api.pcm_avail_update)},
        {"snd_pcm_recover", reinterpret_cast<void **>(&api.pcm_recover)},
        {"snd_pcm_delay", reinterpret_cast<void **>(&api.pcm_delay)},
        {"snd_pcm_nonblock", reinterpret_cast<void **>(&api.pcm_nonblock)},
    };
    bool all = true;
    for (const auto &f : fns) {
        *f.slot = dlsym(handle, f.name);
        if (!*f.slot) {
            printf("WARNING: Library function %s not found in %s!\n", f.name, loaded);
            all = false;
        }
    }
    if (!all) {
        dlclose(handle);
        return false;
    }
    // libasound reports every failed open on standard error; the player
    // reports its own errors instead.
    using ErrorHandler = int (*)(snd_lib_error_handler_t);
    if (auto quiet = reinterpret_cast<ErrorHandler>(dlsym(handle, "snd_lib_error_set_handler"))) quiet(SilentAlsaError);
    g_alsa = api;
    return true;
}

snd_pcm_format_t PcmFormat(const cxOsAlsaFormat *f) {
    const bool big = f->flags & CX_ALSA_BIGENDIAN, sign = f->flags & CX_ALSA_SIGNED;
    if (f->bits == 8) return sign ? SND_PCM_FORMAT_S8 : SND_PCM_FORMAT_U8;
    if (f->bits == 16) {
        if (big) return sign ? SND_PCM_FORMAT_S16_BE : SND_PCM_FORMAT_U16_BE;
        return sign ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U16_LE;
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

// Scales the frames in place by volume / 64 around the format's silence.
void ScaleVolume(unsigned char *data, int32_t frames, const cxOsAlsaFormat &f, uint32_t volume) {
    if (volume >= 64) return;
    const size_t samples = size_t(frames) * f.channels;
    if (f.bits == 8) {
        const int bias = (f.flags & CX_ALSA_SIGNED) ? 0 : 128;
        for (size_t i = 0; i < samples; i++) {
            int v = (f.flags & CX_ALSA_SIGNED) ? int(int8_t(data[i])) : int(data[i]) - bias;
            data[i] = static_cast<unsigned char>(v * int(volume) / 64 + bias);
        }
        return;
    }
    const bool big = f.flags & CX_ALSA_BIGENDIAN;
    const int bias = (f.flags & CX_ALSA_SIGNED) ? 0 : 32768;
    for (size_t i = 0; i < samples; i++) {
        unsigned char *p = data + i * 2;
        int raw = big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
        int v = (f.flags & CX_ALSA_SIGNED) ? int(int16_t(raw)) : raw - bias;
        const unsigned out = static_cast<unsigned>(v * int(volume) / 64 + bias) & 0xFFFF;
        if (big) {
            p[0] = static_cast<unsigned char>(out >> 8);
            p[1] = static_cast<unsigned char>(out);
        } else {
            p[0] = static_cast<unsigned char>(out);
            p[1] = static_cast<unsigned char>(out >> 8);
        }
    }
}

// Writes what the PCM takes of the pending frames; false on a failure the
// PCM could not recover from in this round.
bool WritePending(cxOsAlsaPcm *p) {
    while (p->pendingFrames > 0) {
        snd_pcm_sframes_t w = g_alsa.pcm_writei(p->pcm, p->scratch + size_t(p->pendingOffset) * p->format.bytesPerFrame,
                                                snd_pcm_uframes_t(p->pendingFrames));
        if (w == -EAGAIN) return true;
        if (w < 0) {
            // An underrun: start over, and measure the pace from now.
            if (g_alsa.pcm_recover(p->pcm, int(w), 1) < 0) return false;
            p->anchored = false;
            continue;
        }
        if (!p->anchored) {
            p->anchored = true;
            p->anchor = MonotonicSeconds();
            p->written = 0;
        }
        p->written += uint64_t(w);
        p->pendingOffset += int32_t(w);
        p->pendingFrames -= int32_t(w);
        if (w == 0) return true;
    }
    return true;
}

// One turn over one PCM; true when it moved frames.
bool ServePcm(cxOsAlsaPcm *p, double now, double pacing) {
    if (!p->attached || p->endReported) return false;
    if (p->pendingFrames > 0) {
        const int32_t before = p->pendingFrames;
        WritePending(p);
        if (p->pendingFrames > 0) return p->pendingFrames != before;
    }
    if (p->draining) {
        // Ended: report once the written frames have had their time, and
        // the device says it holds none, or one buffer's time later (a
        // sound server may count its own latency in the delay forever).
        const double heard = p->anchored ? (now - p->anchor) * pacing * p->rate : 0;
        bool played = pacing <= 0 || !p->anchored || heard >= double(p->written);
        snd_pcm_sframes_t delay = 0;
        if (played && pacing > 0 && heard < double(p->written + p->bufferFrames) &&
            g_alsa.pcm_delay(p->pcm, &delay) == 0 && delay > 0)
            played = false;
        if (played) {
            p->endReported = true;
            if (p->ended) p->ended(p->user);
        }
        return false;
    }
    snd_pcm_sframes_t avail = g_alsa.pcm_avail_update(p->pcm);
    if (avail < 0) {
        if (g_alsa.pcm_recover(p->pcm, int(avail), 1) == 0) p->anchored = false;
        return false;
    }
    int64_t want = avail < kChunkFrames ? int64_t(avail) : kChunkFrames;
    if (pacing > 0 && p->anchored) {
        const double ahead = (now - p->anchor) * pacing * p->rate + double(p->bufferFrames) - double(p->written);
        if (ahead < double(want)) want = ahead > 0 ? int64_t(ahead) : 0;
    } else if (pacing > 0 && want > int64_t(p->bufferFrames)) {
        want = int64_t(p->bufferFrames);
    }
    if (want <= 0) return false;
    int ended = 0;
    int32_t got = p->pull(p->user, p->scratch, int32_t(want), &ended);
    if (got < 0) got = 0;
    if (got > want) got = int32_t(want);
    if (got > 0) {
        ScaleVolume(p->scratch, got, p->format, p->volume.load(std::memory_order_relaxed));
        p->pendingOffset = 0;
        p->pendingFrames = got;
        WritePending(p);
    }
    if (ended) p->draining = true;
    return got > 0;
}

void LockForCaller() {
    g_waiting.fetch_add(1);
    OsLockMutex(g_lock);
    g_waiting.fetch_sub(1);
}

void MixerThread(void *argument) {
    cxOsThread *self = OsGetThreadHandle(argument);
    OsPrepareThread();
    OsSignalThreadStarted(self);
    OsLockMutex(g_lock);
    while (!OsCheckThreadQuit(self)) {
        const double now = MonotonicSeconds();
        const double pacing = g_pacing.load(std::memory_order_relaxed);
        bool moved = false;
        for (cxOsAlsaPcm *p = g_pcms; p; p = p->next) moved |= ServePcm(p, now, pacing);
        // Frames moved: the next round may move more at once; otherwise
        // wait for time to pass or for a new PCM.
        if (!moved) {
            OsWaitConditionTimed(g_wake, g_lock, 5);
        } else if (g_waiting.load()) {
            OsUnlockMutex(g_lock);
            while (g_waiting.load()) sched_yield();
            OsLockMutex(g_lock);
        }
    }
    OsUnlockMutex(g_lock);
    OsWaitThreadEnd(self);
}

}  // namespace

extern "C" int OsInitAlsaLock(void) {
    if (g_lock) return 0;
    g_lock = OsCreateMutex();
    g_wake = OsCreateCondition();
    if (!g_lock || !g_wake) {
        OsFreeAlsaLock();
        return ERR_SEMAPHORE;
    }
    return 0;
}

extern "C" void OsFreeAlsaLock(void) {
    if (g_wake) OsFreeCondition(g_wake);
    if (g_lock) OsFreeMutex(g_lock);
    g_wake = nullptr;
    g_lock = nullptr;
}

extern "C" int OsLoadAlsa(void) { return LoadApi() ? 1 : 0; }

extern "C" void OsSetAlsaLibraryNames(const char *const *names) {
    if (g_mixer) return;
    if (g_alsa.handle) dlclose(g_alsa.handle);
    g_alsa = AlsaApi{};
    g_alsaTried = false;
    g_libraryNames = names ? names : kDefaultNames;
}

extern "C" void OsSetAlsaRealtime(int on) { g_realtime.store(on ? 1 : 0); }
extern "C" int OsGetAlsaThreadPriority(int wanted) { return g_realtime.load() ? wanted : 0; }
extern "C" void OsSetAlsaPacing(double factor) { g_pacing.store(factor < 0 ? 0 : factor); }

extern "C" int StartAlsaMixerThread(const char *device) {
    if (g_mixer) return 0;
    if (!LoadApi()) return ERR_OPENAUDIO;
    if (int err = OsInitAlsaLock()) return err;
    const std::string name = device && *device ? device : "default";
    // A device that does not open gives no sound at all: say so now.
    snd_pcm_t *probe = nullptr;
    if (g_alsa.pcm_open(&probe, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0 || !probe)
        return ERR_OPENAUDIO;
    g_alsa.pcm_close(probe);
    g_device = name;
    g_mixer = OsCreateThread("cx alsa mixer", MixerThread, nullptr, 0, 0, OsGetAlsaThreadPriority(25));
    return g_mixer ? 0 : ERR_THREAD;
}

extern "C" void OsStopAlsaMixer(void) {
    if (!g_mixer) return;
    LockForCaller();
    OsRequestThreadQuit(g_mixer);
    OsSignalCondition(g_wake);
    OsUnlockMutex(g_lock);
    OsEndThread(g_mixer);
    g_mixer = nullptr;
}

extern "C" int OsConfigureAlsaPcm(void *pcmHandle, const cxOsAlsaFormat *format, uint32_t rate,
                                  uint32_t *bufferFrames) {
    auto *pcm = static_cast<snd_pcm_t *>(pcmHandle);
    if (!g_alsa.handle || !pcm || !format) return ERR_ALSAPCM;
    snd_pcm_hw_params_t *hw = nullptr;
    if (g_alsa.hw_params_malloc(&hw) < 0 || !hw) return ERR_MEM;
    int step = 0;
    unsigned int r = rate, bufferTime = 100000;
    snd_pcm_uframes_t frames = 0;
    if (g_alsa.hw_params_any(pcm, hw) < 0) step = 1;
    else if (g_alsa.hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) step = 2;
    else if (PcmFormat(format) == SND_PCM_FORMAT_UNKNOWN || g_alsa.hw_params_set_format(pcm, hw, PcmFormat(format)) < 0)
        step = 3;
    else if (g_alsa.hw_params_set_channels(pcm, hw, format->channels) < 0) step = 4;
    else if (g_alsa.hw_params_set_rate_near(pcm, hw, &r, nullptr) < 0) step = 5;
    else if (g_alsa.hw_params_set_buffer_time_near(pcm, hw, &bufferTime, nullptr) < 0) step = 6;
    else if (g_alsa.hw_params(pcm, hw) < 0) step = 7;
    else if (g_alsa.hw_params_get_buffer_size(hw, &frames) < 0 || g_alsa.pcm_prepare(pcm) < 0) step = 8;
    g_alsa.hw_params_free(hw);
    if (step) {
        SetErrorNumber(step);
        return ERR_ALSAPCM;
    }
    if (bufferFrames) *bufferFrames = uint32_t(frames);
    return 0;
}

extern "C" int OsOpenAlsaPcm(const cxOsAlsaFormat *format, uint32_t rate, cxOsAlsaPcm **out) {
    *out = nullptr;
    if (!g_mixer || !g_alsa.handle) return ERR_OPENAUDIO;
    if (!format || format->bytesPerFrame == 0 || rate == 0) return ERR_ALSAPCM;
    auto *p = new (std::nothrow) cxOsAlsaPcm;
    if (!p) return ERR_MEM;
    p->format = *format;
    p->rate = rate;
    p->scratch = static_cast<unsigned char *>(malloc(size_t(kChunkFrames) * format->bytesPerFrame));
    if (!p->scratch) {
        delete p;
        return ERR_MEM;
    }
    if (g_alsa.pcm_open(&p->pcm, g_device.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0 || !p->pcm) {
        free(p->scratch);
        delete p;
        return ERR_OPENAUDIO;
    }
    int err = OsConfigureAlsaPcm(p->pcm, format, rate, &p->bufferFrames);
    if (!err && g_alsa.pcm_nonblock(p->pcm, 1) < 0) err = ERR_ALSAPCM;
    if (err) {
        g_alsa.pcm_close(p->pcm);
        free(p->scratch);
        delete p;
        return err;
    }
    if (p->bufferFrames == 0) p->bufferFrames = rate / 10;
    LockForCaller();
    p->next = g_pcms;
    g_pcms = p;
    OsUnlockMutex(g_lock);
    *out = p;
    return 0;
}

extern "C" void OsStartAlsaPcm(cxOsAlsaPcm *p, cxOsAlsaPull pull, cxOsAlsaEnded ended, void *user) {
    if (!p || !pull) return;
    LockForCaller();
    p->pull = pull;
    p->ended = ended;
    p->user = user;
    p->attached = true;
    OsSignalCondition(g_wake);
    OsUnlockMutex(g_lock);
}

extern "C" void OsSetAlsaPcmVolume(cxOsAlsaPcm *p, uint32_t volume) {
    if (p) p->volume.store(volume > 64 ? 64 : volume, std::memory_order_relaxed);
}

extern "C" void OsCloseAlsaPcm(cxOsAlsaPcm *p) {
    if (!p) return;
    LockForCaller();
    for (cxOsAlsaPcm **q = &g_pcms; *q; q = &(*q)->next) {
        if (*q == p) {
            *q = p->next;
            break;
        }
    }
    OsUnlockMutex(g_lock);
    // Closing stops a sound card at once; a file PCM writes out what it holds.
    if (p->pcm) g_alsa.pcm_close(p->pcm);
    free(p->scratch);
    delete p;
}
