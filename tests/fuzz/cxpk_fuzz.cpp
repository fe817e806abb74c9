// The CXPK unpacker, reading a packed item from memory into a bounded
// buffer, under both magics the player uses.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"
#include "streams/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint8_t empty = 0;
    const uint8_t *block = size ? data : &empty;
    char name[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(name, sizeof name, block, size)) return 0;
    std::vector<uint8_t> out(1 << 16);
    for (const char *magic : {"CXPK", "CXZ"}) {
        cxStream *s = OpenFileStream(name, CX_STREAM_READ, nullptr);
        if (!s) break;
        uint64_t written = 0, consumed = 0;
        UnpackCxpk(magic, nullptr, nullptr, s, 0, &written, &consumed, out.data(), out.size());
        if (written > out.size()) abort();
        CloseFileStream(s);
    }
    ReleaseMemoryName(block, size);
    return 0;
}
