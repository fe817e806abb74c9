#include <stdlib.h>

#include "images/formats/gif_codec.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxStream *s = cxfuzz::OpenInput(data, size);
    int w = 0, h = 0, frames = 0;
    cxGifReader *r = OpenGIFFile(s, &w, &h, &frames, 0, size & 1, size & 2);
    if (r) {
        // In order, then backwards: both the continuing and the seeking paths.
        const int n = frames < 8 ? frames : 8;
        for (int f = 0; f < n; f++) {
            int t = 0;
            free(ReadGIFFrame(r, f, &t));
            GetGIFFrameDelay(r, f);
        }
        for (int f = n - 1; f >= 0; f -= 3) {
            int t = 0;
            free(ReadGIFFrame(r, f, &t));
        }
        CloseGIFFile(r);
    }
    cxfuzz::ReleaseInput(data, size);
    return 0;
}
