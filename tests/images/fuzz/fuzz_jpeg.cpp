#include <stdlib.h>

#include "images/formats/jpeg_codec.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    SetImagePixelLimit(uint64_t{1} << 22);
    if (size < 1) return 0;
    // The last byte picks the Exif orientation, so turned paths run too.
    const int orientation = data[size - 1] % 9;
    int w = 0, h = 0;
    uint32_t *px = nullptr;
    if (ReadJpegImage(data, size, 0, orientation, &w, &h, &px) == 0) {
        // Touch every pixel: a short buffer shows up under ASan.
        uint32_t sum = 0;
        for (size_t i = 0; i < size_t(w) * h; i++) sum += px[i];
        cxfuzz::Sink(sum);
    }
    free(px);
    return 0;
}
