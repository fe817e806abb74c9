// Sound files from arbitrary bytes held in memory: recognition, parsing,
// decoding every frame, seeking; and, for modules, the replayer over ten
// seconds of sound. Nothing may read outside the input or hang.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/sound/protracker.h"
#include "media/sound/sound_stream.h"
#include "streams/memory_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char name[CX_MEMORY_NAME_MAX];
    const uint8_t empty = 0;
    const uint8_t *bytes = size ? data : &empty;
    if (!MakeMemoryName(name, sizeof name, bytes, size)) return 0;
    cxSoundStream *s = nullptr;
    if (OpenSoundFile(name, "", "", 0, 0, &s, nullptr) == 0) {
        std::vector<uint8_t> block(size_t(4096) * (s->transferUnit ? s->transferUnit : 4));
        uint64_t frames = 0;
        for (int i = 0; i < 4096; i++) {
            int ended = 0;
            const uint32_t n = DecodeSoundStream(s, block.data(), 4096, &ended);
            frames += n;
            if (ended || n == 0) break;
        }
        if (frames > s->length && s->type != CX_SST_MODULE) abort();
        SeekSoundStream(s, s->length / 2);
        int ended = 0;
        DecodeSoundStream(s, block.data(), 100, &ended);
        CloseSoundStream(s);
    }
    int kind = 0;
    void *source = nullptr;
    if (OpenMusicSource(name, "", "", 0, &kind, &source, nullptr, nullptr, nullptr) == 0) {
        if (kind == CX_MUSIC_MODULE) {
            std::vector<int16_t> out(4800 * 2);
            for (int i = 0; i < 100; i++) RenderModuleBlock(static_cast<cxModulePlayer *>(source), out.data(), 4800);
        }
        FreeMusicSource(kind, source);
    }
    ReleaseMemoryName(bytes, size);
    return 0;
}
