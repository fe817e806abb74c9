// Custom streams: music whose blocks a script queues from its
// "FillMusicBuffer" handler (main thread) while the feeding thread of the
// music channel consumes them. The block list is shared under the
// stream's mutex.
#include <cstdlib>
#include <cstring>
#include <new>

#include "errors/errors.h"
#include "media/sound/sound_stream.h"

namespace {

void FreeBlock(cxCustomBlock *b) {
    free(b->data);
    delete b;
}

// The value of silence in the stream's layout.
int SilenceByte(const cxSoundStream *s) {
    const int code = s->custom.formatCode;
    return (s->bits == 16 || code == CX_SMP_MONO8S || code == CX_SMP_STEREO8S) ? 0 : 128;
}

}  // namespace

int CreateCustomStream(void *owner, uint32_t rate, int code, int *kind, cxSoundStream **out) {
    *out = nullptr;
    auto *s = new (std::nothrow) cxSoundStream{};
    if (!s) return ERR_MEM;
    s->type = CX_SST_CUSTOM;
    s->streaming = 1;
    s->seekable = 0;
    s->subsongCount = 1;
    s->framesPerUnit = 1;
    s->rate = rate;
    s->channels = (code == CX_SMP_STEREO8U || code == CX_SMP_STEREO8S || code == CX_SMP_STEREO16) ? 2 : 1;
    if (code == CX_SMP_MONO16 || code == CX_SMP_STEREO16) {
        s->bits = 16;
        s->flags = CX_SND_SIGNED;
    } else {
        // 8-bit blocks are kept unsigned.
        s->bits = 8;
        s->flags = 0;
    }
    s->bytesPerFrame = s->bits / 8 * s->channels;
    s->length = s->endFrame = s->dataLength = CX_SND_UNKNOWN_LENGTH;
    s->formatCode = GetSampleFormatCode(s->bits, s->channels, s->flags);
    s->transferUnit = s->bytesPerFrame;
    s->userValue = owner;
    s->custom = {rate, s->bits, s->channels, s->bytesPerFrame, s->formatCode};
    s->mutex = OsCreateMutex();
    if (!s->mutex) {
        delete s;
        return ERR_SEMAPHORE;
    }
    *kind = CX_MUSIC_STREAM;
    *out = s;
    return 0;
}

int QueueCustomBlock(cxSoundStream *s, void *data, uint32_t frames) {
    auto *b = new (std::nothrow) cxCustomBlock{};
    if (!b) {
        free(data);
        return ERR_MEM;
    }
    b->data = data;
    b->frames = frames;
    OsLockMutex(s->mutex);
    while (s->blocks && s->blocks->consumed.load()) {
        cxCustomBlock *gone = s->blocks;
        s->blocks = gone->next;
        FreeBlock(gone);
    }
    cxCustomBlock **tail = &s->blocks;
    while (*tail) tail = &(*tail)->next;
    *tail = b;
    s->queuedFrames.fetch_add(frames);
    OsUnlockMutex(s->mutex);
    return 0;
}

void ClearCustomBlocks(cxSoundStream *s) {
    if (s->mutex) OsLockMutex(s->mutex);
    while (s->blocks) {
        cxCustomBlock *gone = s->blocks;
        s->blocks = gone->next;
        FreeBlock(gone);
    }
    s->queuedFrames.store(0);
    if (s->mutex) OsUnlockMutex(s->mutex);
}

uint32_t GetUnconsumedFrames(cxSoundStream *s) {
    uint64_t n = 0;
    OsLockMutex(s->mutex);
    for (cxCustomBlock *b = s->blocks; b; b = b->next)
        if (!b->consumed.load() && b->data) n += b->frames - b->readPos;
    OsUnlockMutex(s->mutex);
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(n);
}

uint32_t DecodeCustomStream(cxSoundStream *s, unsigned char *out, uint32_t frames, int *ended) {
    const uint32_t bpf = s->bytesPerFrame;
    uint32_t done = 0;
    OsLockMutex(s->mutex);
    cxCustomBlock *b = s->blocks;
    while (done < frames) {
        while (b && b->consumed.load()) b = b->next;
        if (!b) {
            // Nothing queued: silence until the script catches up.
            memset(out + size_t(done) * bpf, SilenceByte(s), size_t(frames - done) * bpf);
            done = frames;
            break;
        }
        if (!b->data) {
            if (ended) *ended = 1;
            break;
        }
        const uint32_t take = frames - done < b->frames - b->readPos ? frames - done : b->frames - b->readPos;
        memcpy(out + size_t(done) * bpf, static_cast<unsigned char *>(b->data) + size_t(b->readPos) * bpf,
               size_t(take) * bpf);
        b->readPos += take;
        done += take;
        if (b->readPos >= b->frames) b->consumed.store(1);
    }
    OsUnlockMutex(s->mutex);
    return done;
}
