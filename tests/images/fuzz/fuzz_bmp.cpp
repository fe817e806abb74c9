#include <stdlib.h>

#include "images/formats/bmp_codec.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxStream *s = cxfuzz::OpenInput(data, size);
    int w = 0, h = 0;
    uint32_t *px = nullptr;
    if (LoadBMPImage(s, 0, &w, &h, &px) == 0) {
        // Touch every pixel: a short buffer shows up under ASan.
        uint32_t sum = 0;
        for (size_t i = 0; i < size_t(w) * h; i++) sum += px[i];
        cxfuzz::Sink(sum);
    }
    free(px);
    CloseFileStream(s);
    cxfuzz::ReleaseInput(data, size);
    return 0;
}
