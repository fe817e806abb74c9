// What every image fuzz target shares: a small pixel limit (so a header
// cannot ask for more memory than the fuzzer allows) and a stream over the
// input bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "images/formats/image_limits.h"
#include "streams/memory_name.h"
#include "streams/stream.h"

namespace cxfuzz {

inline volatile uint32_t g_sink;
inline void Sink(uint32_t value) { g_sink = value; }

inline cxStream *OpenInput(const uint8_t *data, size_t size) {
    static const uint8_t kEmpty[1] = {0};
    SetImagePixelLimit(uint64_t{1} << 22);
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, size ? data : kEmpty, size);
    return OpenFileStream(name, CX_STREAM_READ, nullptr);
}

inline void ReleaseInput(const uint8_t *data, size_t size) {
    static const uint8_t kEmpty[1] = {0};
    ReleaseMemoryName(size ? data : kEmpty, size);
}

}  // namespace cxfuzz
