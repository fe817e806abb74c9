// libFuzzer target for the decoder of dropped "text/uri-list" data: the
// first byte picks UTF-8 mode, the rest is the list as an X property holds
// it (any bytes, no terminating NUL). What comes out is names, each ended
// by a NUL, and an empty name at the end; nothing is read or written
// beyond either buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "window/x11/x11_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    // A copy of exactly the property's length: reading past it shows.
    std::vector<char> text(data + 1, data + size);
    size_t out = 0;
    char *names = OsDecodeUriList(text.data(), text.size(), data[0] & 1, &out);
    if (!names) return 0;
    if (out < 2 || names[out - 1] != 0 || names[out - 2] != 0) abort();
    // Names are never empty and never longer than the list itself.
    for (size_t at = 0; at + 1 < out;) {
        const size_t n = strlen(names + at);
        if (n == 0 || n > text.size()) abort();
        at += n + 1;
    }
    free(names);
    return 0;
}
