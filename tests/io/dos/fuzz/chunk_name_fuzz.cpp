// ":::chunk" names: a name that parses is rebuilt from its parts and must
// parse to the same parts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "streams/chunk_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text = ":::chunk" + std::string(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    auto a = std::make_unique<cxChunkName>();
    if (!ParseChunkName(text.c_str(), a.get())) return 0;
    std::string out(2 * CX_STREAM_NAME_MAX + 64, '\0');
    const int ok = a->memory ? MakeChunkName(a->display, out.data(), out.size(), -1, a->length, a->reference, a->source)
                             : MakeChunkName(a->display, out.data(), out.size(), a->offset, a->length, 0, a->source);
    if (!ok) abort();
    auto b = std::make_unique<cxChunkName>();
    if (!ParseChunkName(out.c_str(), b.get())) abort();
    if (a->memory != b->memory || a->offset != b->offset || a->length != b->length || a->reference != b->reference ||
        strcmp(a->display, b->display) != 0 || strcmp(a->source, b->source) != 0 ||
        strcmp(a->extension, b->extension) != 0)
        abort();
    return 0;
}
