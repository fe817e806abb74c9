// The anim reader dispatch on arbitrary bytes: recognition (IFF ANIM, GIF,
// AVI), then frames and delays through the one handle, as anims load them.
#include <stdlib.h>

#include "images/formats/image_limits.h"
#include "media/anim/anim_reader.h"
#include "streams/memory_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint8_t kEmpty[1] = {0};
    const uint8_t *bytes = size ? data : kEmpty;
    SetImagePixelLimit(uint64_t{1} << 22);
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, bytes, size);
    cxAnimReader *r = nullptr;
    int w = 0, h = 0, frames = 0, alpha = 0;
    if (OpenAnimFile(name, "", "", int(size & 1), int(size & 2), &r, &w, &h, &frames, &alpha, nullptr) == 0) {
        if (uint64_t(w) * uint64_t(h) <= (uint64_t{1} << 22)) {
            const int n = frames < 6 ? frames : 6;
            for (int f = 0; f < n; ++f) {
                int transparent = 0;
                FreeAnimReaderFrame(r, ReadAnimReaderFrame(r, f, 1, &transparent));
                GetAnimReaderDelay(r, f);
            }
            FreeAnimReaderFrame(r, ReadAnimReaderFrame(r, frames - 1, 0, nullptr));
        }
        CloseAnimReader(r);
    }
    IsAnimFile(name, "", "");
    ReleaseMemoryName(bytes, size);
    return 0;
}
