// libFuzzer target for the extraction of one face of a TrueType collection
// into a font file of its own: the input is the collection, read through a
// memory stream, with its faces at the offsets of its "ttcf" header (or at
// offset 0 without one). What is extracted must open as a face when its
// tables are sound, and must never be written outside its own file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "streams/memory_name.h"
#include "text/fonts/font_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FT_Library library = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) == 0 ? l : nullptr;
    }();
    char name[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(name, sizeof name, data, size)) return 0;
    uint32_t offsets[8] = {0};
    int count = 1;
    if (size >= 16 && data[0] == 't' && data[1] == 't' && data[2] == 'c' && data[3] == 'f') {
        count = 0;
        for (size_t i = 12; i + 4 <= size && count < 8; i += 4)
            offsets[count++] = uint32_t(data[i]) << 24 | uint32_t(data[i + 1]) << 16 | uint32_t(data[i + 2]) << 8 |
                               data[i + 3];
    }
    for (int i = 0; i < count; ++i) {
        char path[512];
        if (!ExtractCollectionFace(name, offsets[i], path, sizeof path)) continue;
        FT_Face face = nullptr;
        if (library && FT_New_Face(library, path, 0, &face) == 0) FT_Done_Face(face);
        unlink(path);
    }
    ReleaseMemoryName(data, size);
    return 0;
}
