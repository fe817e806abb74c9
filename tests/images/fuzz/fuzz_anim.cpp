#include <stdlib.h>

#include "images/formats/iff_anim.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxStream *s = cxfuzz::OpenInput(data, size);
    int w = 0, h = 0, frames = 0;
    cxIffAnim *a = OpenIFFAnim(s, size & 1, &w, &h, &frames, size & 2);
    if (a) {
        const int n = frames < 8 ? frames : 8;
        for (int f = 0; f < n; f++) {
            int t = 0;
            free(ReadIFFAnimFrame(a, f, &t));
            GetIFFAnimFrameDelay(a, f);
        }
        int t = 0;
        free(ReadIFFAnimFrame(a, n / 2, &t));
        CloseIFFAnim(a);
    }
    cxfuzz::ReleaseInput(data, size);
    return 0;
}
