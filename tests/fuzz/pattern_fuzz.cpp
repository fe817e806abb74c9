// The pattern matcher through its commands: subject, pattern and
// replacement separated by NUL bytes; the first byte picks UTF-8 mode.
#include <cstdint>
#include <cstdlib>

#include "engine/charset/charset.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    lua_State *L = cxfuzz::State();
    SetUtf8Mode(data[0] & 1);
    const auto parts = cxfuzz::Split(data + 1, size - 1, 3);
    cxfuzz::CallCommand(L, "patternfindstrdirect", {parts[0], parts[1]});
    cxfuzz::CallCommand(L, "patternfindstrshort", {parts[0], parts[1]});
    cxfuzz::CallCommand(L, "patternreplacestr", {parts[0], parts[1], parts[2]});
    static int runs;
    if (++runs % 256 == 0) lua_setgcthreshold(L, 0);
    return 0;
}
