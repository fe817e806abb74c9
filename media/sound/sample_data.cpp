// Whole samples in memory: loading a file, wrapping PCM a script made,
// copying and replacing.
#include <cstdlib>
#include <cstring>
#include <new>

#include "errors/errors.h"
#include "media/sound/sound_stream.h"

namespace {

void SetFormat(cxSampleData *d, int code, uint32_t flags) {
    d->formatCode = code;
    d->channels = (code == CX_SMP_STEREO8U || code == CX_SMP_STEREO8S || code == CX_SMP_STEREO16) ? 2 : 1;
    d->bits = code >= CX_SMP_MONO16 ? 16 : 8;
    d->bytesPerFrame = GetBytesPerFrame(code);
    d->flags = flags;
}

}  // namespace

int IsSampleFile(const char *name, const char *loaders, const char *adapters) {
    cxSoundStream *s = nullptr;
    if (OpenSoundFile(name, loaders, adapters, 0, 0, &s, nullptr)) return 0;
    const int ok = s->dataLength && s->bytesPerFrame && s->bits && s->type != CX_SST_MODULE;
    CloseSoundStream(s);
    return ok;
}

int LoadSampleData(const char *name, const char *loaders, const char *adapters, cxSampleData **out, uint32_t *bytes,
                   uint32_t *rate, int32_t *code, uintptr_t *loader) {
    *out = nullptr;
    cxSoundStream *s = nullptr;
    if (int err = OpenSoundFile(name, loaders, adapters, 0, 0, &s, loader)) return err;
    struct Closer {
        cxSoundStream *s;
        ~Closer() { CloseSoundStream(s); }
    } closer{s};
    if (!s->dataLength || !s->bytesPerFrame || !s->bits || s->type == CX_SST_MODULE) return ERR_STREAMASSAMPLE;
    if (s->formatCode < 0) return ERR_8OR16BITONLY;
    auto *d = static_cast<cxSampleData *>(calloc(1, sizeof(cxSampleData)));
    if (!d) return ERR_MEM;
    SetFormat(d, s->formatCode, s->flags);
    d->rate = s->rate;
    // The frames the stream says it has, in the layout it delivers.
    const uint64_t want = uint64_t(s->length) * d->bytesPerFrame;
    d->buffer = want ? static_cast<unsigned char *>(malloc(size_t(want))) : nullptr;
    if (want && !d->buffer) {
        free(d);
        return ERR_MEM;
    }
    d->frames = want ? DecodeSoundStream(s, d->buffer, s->length, nullptr) : 0;
    if (d->frames == 0) {
        FreeSampleData(d);
        return ERR_STREAMASSAMPLE;
    }
    *out = d;
    if (bytes) *bytes = d->frames * d->bytesPerFrame;
    if (rate) *rate = d->rate;
    if (code) *code = d->formatCode;
    return 0;
}

int WrapSampleData(void *data, uint32_t frames, uint32_t rate, int code, cxSampleData **out, int32_t *outCode) {
    *out = nullptr;
    auto *d = static_cast<cxSampleData *>(calloc(1, sizeof(cxSampleData)));
    if (!d) {
        free(data);
        return ERR_MEM;
    }
    d->buffer = static_cast<unsigned char *>(data);
    d->frames = frames;
    d->rate = rate;
    if (code == CX_SMP_MONO8S || code == CX_SMP_STEREO8S) {
        const size_t n = size_t(frames) * (code == CX_SMP_STEREO8S ? 2 : 1);
        for (size_t i = 0; i < n; i++) d->buffer[i] = static_cast<unsigned char>(d->buffer[i] + 128);
        code = code == CX_SMP_STEREO8S ? CX_SMP_STEREO8U : CX_SMP_MONO8U;
        SetFormat(d, code, 0);
    } else {
        SetFormat(d, code, CX_SND_SIGNED);
    }
    *out = d;
    if (outCode) *outCode = code;
    return 0;
}

int CopySampleData(const cxSampleData *record, cxSampleData **out) {
    *out = nullptr;
    auto *d = static_cast<cxSampleData *>(malloc(sizeof(cxSampleData)));
    if (!d) return ERR_MEM;
    *d = *record;
    const size_t bytes = size_t(record->frames) * record->bytesPerFrame;
    d->buffer = bytes ? static_cast<unsigned char *>(malloc(bytes)) : nullptr;
    if (bytes && !d->buffer) {
        free(d);
        return ERR_MEM;
    }
    if (bytes) memcpy(d->buffer, record->buffer, bytes);
    *out = d;
    return 0;
}

void FreeSampleData(cxSampleData *record) {
    if (!record) return;
    free(record->buffer);
    free(record);
}

void ReplaceSampleData(cxSampleData *record, void *data, uint32_t frames, int code, uint32_t flags) {
    free(record->buffer);
    record->buffer = static_cast<unsigned char *>(data);
    record->frames = frames;
    SetFormat(record, code, flags);
}
