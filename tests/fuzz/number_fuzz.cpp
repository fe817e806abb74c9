// Number literals, Val, Eval and Base64 in both directions.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/runtime/base64.h"
#include "engine/runtime/number_literal.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t used = 0;
    int error = 0;
    ParseNumberLiteral(text.c_str(), &used, &error);
    if (used > text.size()) abort();
    std::string decoded;
    if (DecodeBase64(text.data(), text.size(), decoded) == 0) {
        std::string again;
        if (DecodeBase64(EncodeBase64(decoded.data(), decoded.size()).c_str(),
                         EncodeBase64(decoded.data(), decoded.size()).size(), again) != 0 ||
            again != decoded)
            abort();  // what decodes must survive a round trip
    }
    lua_State *L = cxfuzz::State();
    cxfuzz::CallCommand(L, "val", {text});
    cxfuzz::CallCommand(L, "eval", {text});
    cxfuzz::CallCommand(L, "tonumber", {text});
    static int runs;
    if (++runs % 256 == 0) lua_setgcthreshold(L, 0);
    return 0;
}
