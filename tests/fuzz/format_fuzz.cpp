// FormatStr: a format, then arguments taken from the rest of the input as
// numbers (8 bytes each) and one string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    lua_State *L = cxfuzz::State();
    SetUtf8Mode(data[0] & 1);
    const auto parts = cxfuzz::Split(data + 1, size - 1, 2);
    lua_settop(L, 0);
    lua_pushstring(L, "formatstr");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushlstring(L, parts[0].data(), parts[0].size());
    int n = 1;
    const std::string &rest = parts[1];
    size_t at = 0;
    for (; at + 8 <= rest.size() && n < 6; at += 8, n++) {
        double v;
        memcpy(&v, rest.data() + at, 8);
        lua_pushnumber(L, v);
    }
    lua_pushlstring(L, rest.data() + at, rest.size() - at);
    lua_pcall(L, n + 1, 1, 0);
    lua_settop(L, 0);
    static int runs;
    if (++runs % 256 == 0) lua_setgcthreshold(L, 0);
    return 0;
}
