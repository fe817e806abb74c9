// ":::chunk" and ":::memory" names: parsed, and a parsed name opened.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "streams/chunk_names.h"
#include "streams/memory_name.h"
#include "streams/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string name(reinterpret_cast<const char *>(data), size);
    const char *text = name.c_str();  // cut at the first NUL, as callers see it
    auto parts = std::make_unique<cxChunkName>();
    if (IsChunkName(text)) ParseChunkName(text, parts.get());
    const void *p = nullptr;
    size_t n = 0;
    if (IsMemoryName(text) && ParseMemoryName(text, &p, &n)) abort();  // never registered
    if (cxStream *s = OpenFileStream(text, CX_STREAM_READ, nullptr)) CloseFileStream(s);
    return 0;
}
