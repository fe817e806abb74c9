// The icon file reader on arbitrary input. Input that begins with the PNG
// signature goes through the image loader as a file held in memory; any
// other input is a container image: width and height (a byte each), an
// alpha flag byte, then pixel words. Whatever reads must write and read
// back to the same entries.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/icons/icons.h"
#include "streams/memory_name.h"

namespace {

bool SameEntries(const cxIconEntry *a, const cxIconEntry *b) {
    for (; a && b; a = a->next, b = b->next) {
        const size_t bytes = static_cast<size_t>(a->width) * a->height * 4;
        if (a->width != b->width || a->height != b->height || a->transparent != b->transparent ||
            a->standard != b->standard || !a->selPixels != !b->selPixels || memcmp(a->pixels, b->pixels, bytes) ||
            (a->selPixels && memcmp(a->selPixels, b->selPixels, bytes)))
            return false;
    }
    return !a && !b;
}

void RoundTrip(const cxIconEntry *entries) {
    uint32_t *image = nullptr;
    int w = 0, h = 0;
    if (BuildIconContainer(entries, &image, &w, &h) != 0) abort();
    cxIconEntry *again = nullptr;
    if (ParseIconContainer(image, w, h, 1, &again) != 0 || !SameEntries(entries, again)) abort();
    FreeIconEntries(again);
    free(image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxIconEntry *entries = nullptr;
    if (size >= 8 && memcmp(data, "\x89PNG", 4) == 0) {
        char name[CX_MEMORY_NAME_MAX];
        if (!MakeMemoryName(name, sizeof name, data, size)) return 0;
        int err = LoadIconFile(name, "inbuilt", "", &entries);
        ReleaseMemoryName(data, size);
        if (err) return 0;
    } else {
        if (size < 3) return 0;
        const int w = data[0] % 65, h = data[1] % 65;
        std::vector<uint32_t> px(static_cast<size_t>(w) * h, 0);
        size_t words = (size - 3) / 4;
        if (words > px.size()) words = px.size();
        if (words) memcpy(px.data(), data + 3, words * 4);
        if (ParseIconContainer(px.empty() ? nullptr : px.data(), w, h, data[2] & 1, &entries) != 0) return 0;
    }
    RoundTrip(entries);
    FreeIconEntries(entries);
    return 0;
}
