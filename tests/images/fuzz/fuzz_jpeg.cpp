#include <stdlib.h>

#include "images/formats/jpeg_codec.h"
#include "tests/images/fuzz/fuzz_common.h"

// Through the stream reader, as the image loader calls it; every fourth
// input through the memory reader that plug-ins and the clipboard use.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    // The last byte picks the Exif orientation, so turned paths run too.
    const int orientation = data[size - 1] % 9;
    const bool memory = (data[size - 1] & 0x30) == 0x30;
    int w = 0, h = 0;
    uint32_t *px = nullptr;
    cxStream *s = cxfuzz::OpenInput(data, size);
    const int err = memory ? ReadJpegImage(data, size, 0, orientation, &w, &h, &px)
                           : ReadJpegImage(s, 0, 0, orientation, &w, &h, &px);
    if (err == 0) {
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
