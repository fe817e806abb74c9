// Date texts: whatever is accepted formats back into a text that parses to
// the same time.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/runtime/text_utils.h"
#include "io/dos/dos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    int64_t t = 0;
    if (!ParseFileDate(text.c_str(), &t)) return 0;
    char again[256];
    FormatDate(again, static_cast<long long>(t));
    int64_t u = 0;
    if (!ParseFileDate(again, &u) || u != t) abort();
    return 0;
}
