// Music sources: a stream decoded block by block, or a Protracker module
// read whole and rendered by the replayer.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "media/sound/protracker.h"
#include "media/sound/sound_stream.h"

namespace {

// The rest of an open stream in one allocation.
int ReadRest(cxStream *f, unsigned char **out, uint32_t *size) {
    *out = nullptr;
    *size = 0;
    size_t capacity = 0, used = 0;
    unsigned char *data = nullptr;
    const uint64_t known = GetStreamSize(f);
    if (known != CX_STREAM_SIZE_UNKNOWN) {
        if (known > 0x7FFFFFFFu) return ERR_MEM;
        capacity = size_t(known) + 1;
        data = static_cast<unsigned char *>(malloc(capacity));
        if (!data) return ERR_MEM;
    }
    for (;;) {
        if (used == capacity) {
            if (capacity >= 0x40000000u) {
                free(data);
                return ERR_MEM;
            }
            capacity = capacity ? capacity * 2 : 65536;
            auto *grown = static_cast<unsigned char *>(realloc(data, capacity));
            if (!grown) {
                free(data);
                return ERR_MEM;
            }
            data = grown;
        }
        const size_t got = ReadStreamData(f, data + used, capacity - used);
        used += got;
        if (got == 0) break;
    }
    *out = data;
    *size = uint32_t(used);
    return 0;
}

}  // namespace

int OpenMusicSource(const char *name, const char *loaders, const char *adapters, int subsong, int *kind, void **source,
                    uint32_t *seekable, uint32_t *subsongs, uintptr_t *loader) {
    *source = nullptr;
    cxSoundStream *s = nullptr;
    if (int err = OpenSoundFile(name, loaders, adapters, subsong, 1, &s, loader)) return err;
    if (s->type != CX_SST_MODULE) {
        *kind = CX_MUSIC_STREAM;
        *source = s;
        if (seekable) *seekable = s->seekable;
        if (subsongs) *subsongs = s->subsongCount;
        return 0;
    }
    cxStream *f = static_cast<cxStream *>(s->handle);
    unsigned char *file = nullptr;
    uint32_t size = 0;
    int err = SeekFileStream(f, 0, CX_SEEK_BEGINNING) < 0 ? ERR_READFILE : ReadRest(f, &file, &size);
    CloseSoundStream(s);
    if (err) {
        if (err == ERR_READFILE) SetErrorDetail(name);
        return err;
    }
    const size_t bytes = InitModulePlayer(nullptr, file, size, 48000);
    if (bytes == 0) {
        // Too short for the patterns its order table names.
        free(file);
        SetErrorDetail(name);
        return ERR_NOTPROTRACKER;
    }
    auto *player = static_cast<cxModulePlayer *>(calloc(1, bytes));
    if (!player) {
        free(file);
        return ERR_MEM;
    }
    InitModulePlayer(player, file, size, 48000);
    *kind = CX_MUSIC_MODULE;
    *source = player;
    if (seekable) *seekable = 0;
    if (subsongs) *subsongs = 1;
    return 0;
}

void FreeMusicSource(int kind, void *source) {
    if (!source) return;
    if (kind == CX_MUSIC_STREAM) {
        CloseSoundStream(static_cast<cxSoundStream *>(source));
    } else if (kind == CX_MUSIC_MODULE) {
        auto *m = static_cast<cxModulePlayer *>(source);
        free(m->file);
        free(m);
    }
}

uint32_t DecodeMusicSource(int kind, void *source, void *buffer, uint32_t frames, int *ended) {
    if (ended) *ended = 0;
    if (kind == CX_MUSIC_STREAM) return DecodeSoundStream(static_cast<cxSoundStream *>(source), buffer, frames, ended);
    if (kind == CX_MUSIC_MODULE) {
        RenderModuleBlock(static_cast<cxModulePlayer *>(source), static_cast<int16_t *>(buffer), frames);
        return frames;
    }
    if (ended) *ended = 1;
    return 0;
}

int ProbeMusicFormat(const char *name, const char *loaders, const char *adapters, const char **formatName) {
    *formatName = "Unknown";
    cxSoundStream *s = nullptr;
    if (OpenSoundFile(name, loaders, adapters, 0, 1, &s, nullptr)) return 0;
    const char *n = GetStreamFormatName(s);
    // The name outlives the stream: built-in names are constants; a
    // plug-in's is copied.
    static char plugin[128];
    if (n && s->type == CX_SST_PLUGIN) {
        snprintf(plugin, sizeof plugin, "%s", n);
        n = plugin;
    }
    *formatName = n ? n : "Unknown";
    CloseSoundStream(s);
    return 1;
}
