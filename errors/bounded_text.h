// Appending to a caller's fixed-size text buffer without ever overrunning it.
#pragma once

#include <cstring>

namespace cx {

// Writes at most size - 1 bytes into out; Finish() terminates the text.
// Text that does not fit is dropped.
struct BoundedWriter {
    char *out;
    size_t size;
    size_t len = 0;

    void Put(const char *text, size_t n) {
        if (!size) return;
        size_t room = size - 1 - len;
        if (n > room) n = room;
        memcpy(out + len, text, n);
        len += n;
    }
    void Put(const char *text) { Put(text, strlen(text)); }
    size_t Finish() {
        if (size) out[len] = 0;
        return len;
    }
};

}  // namespace cx
