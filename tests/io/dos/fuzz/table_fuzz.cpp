// Table bodies from arbitrary bytes: either a code with the stack as it
// was, or one table that can be written again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/runtime/runtime.h"
#include "io/dos/dos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // One state for the run: a new one per input would clear its whole
    // stack each time, many times the work of the input itself.
    static lua_State *L = lua_open();
    static int runs;
    if (!L) return 0;
    lua_settop(L, 0);
    const unsigned char *at = data;
    if (DeserializeTable(L, nullptr, &at, data + size, 0) == 0) {
        if (lua_gettop(L) != 1 || at > data + size) abort();
        // Whatever was read writes back (a dry run).
        size_t written = 0;
        if (SerializeTable(L, 1, nullptr, nullptr, &written) != 0 || written == 0) abort();
    } else if (lua_gettop(L) != 0) {
        abort();
    }
    lua_settop(L, 0);
    if (++runs % 256 == 0) lua_setgcthreshold(L, 0);
    return 0;
}
