// The AVI reader on arbitrary bytes: open, then frames in order, out of
// order and past the end.
#include <stdlib.h>

#include "images/formats/image_limits.h"
#include "media/avi/avi_reader.h"
#include "streams/memory_name.h"
#include "streams/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint8_t kEmpty[1] = {0};
    const uint8_t *bytes = size ? data : kEmpty;
    SetImagePixelLimit(uint64_t{1} << 22);
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, bytes, size);
    int w = 0, h = 0, frames = 0;
    cxAviReader *r = OpenAviReader(OpenFileStream(name, CX_STREAM_READ, nullptr), &w, &h, &frames);
    if (r && uint64_t(w) * uint64_t(h) <= (uint64_t{1} << 22)) {
        const int n = frames < 6 ? frames : 6;
        for (int f = 0; f < n; ++f) free(ReadAviFrame(r, f));
        free(ReadAviFrame(r, n / 2));
        free(ReadAviFrame(r, frames - 1));
        free(ReadAviFrame(r, 0));
    }
    CloseAviReader(r);
    ReleaseMemoryName(bytes, size);
    return 0;
}
