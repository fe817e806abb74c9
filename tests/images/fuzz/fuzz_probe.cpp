#include <stdlib.h>

#include "images/formats/image_loader.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxStream *s = cxfuzz::OpenInput(data, size);
    int format = 0, w = 0, h = 0, alpha = 0, mask = 0, orientation = 0;
    ProbeImageHeader(s, &format, &w, &h, &alpha, &mask, &orientation);
    CloseFileStream(s);
    cxfuzz::ReleaseInput(data, size);
    return 0;
}
