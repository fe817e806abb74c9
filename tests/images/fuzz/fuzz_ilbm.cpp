#include <stdlib.h>

#include "images/formats/ilbm_codec.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxStream *s = cxfuzz::OpenInput(data, size);
    int w = 0, h = 0;
    int32_t pen = 0;
    uint32_t *px = nullptr, *palette = nullptr;
    const int mode = size % 3;
    if (LoadILBMImage(s, 0, nullptr, (size & 4) ? 0xFF0000 : -1, mode == 1, mode == 2, &pen, &w, &h, &px, &palette) == 0) {
        // Touch every pixel: a short buffer shows up under ASan.
        uint32_t sum = 0;
        for (size_t i = 0; i < size_t(w) * h; i++) sum += px[i];
        cxfuzz::Sink(sum);
    }
    free(px);
    free(palette);
    CloseFileStream(s);
    cxfuzz::ReleaseInput(data, size);
    return 0;
}
