// libFuzzer target for the 'name' table reader of the font catalogue: the
// input is a font file read through a memory stream, at face offset 0 and,
// as in a collection, at the offsets of a "ttcf" header.
#include <cstddef>
#include <cstdint>

#include "streams/memory_name.h"
#include "streams/stream.h"
#include "text/fonts/font_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char name[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(name, sizeof name, data, size)) return 0;
    if (cxStream *s = OpenFileStream(name, CX_STREAM_READ, nullptr)) {
        char family[256], style[256];
        ReadTrueTypeNames(s, family, style, 0, 0);
        if (size >= 12 && data[0] == 't' && data[1] == 't' && data[2] == 'c' && data[3] == 'f') {
            for (size_t i = 12; i + 4 <= size && i < 12 + 4 * 8; i += 4) {
                const uint32_t offset = uint32_t(data[i]) << 24 | uint32_t(data[i + 1]) << 16 |
                                        uint32_t(data[i + 2]) << 8 | data[i + 3];
                ReadTrueTypeNames(s, family, style, offset, 0);
                ReadTrueTypeNames(s, family, style, offset, offset);
            }
        }
        CloseFileStream(s);
    }
    ReleaseMemoryName(data, size);
    return 0;
}
