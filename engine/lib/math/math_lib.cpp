// The "math" library's place in the library order. Its commands are added
// here as the libraries that need them are built.
#include "engine/runtime/runtime.h"

namespace {
const luaL_reg kCommands[] = {
    {nullptr, nullptr},
};
} // namespace

extern "C" int OpenMathLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    return AddCommandLibrary(kCommands, "math");
}
