// The ARexx commands on a platform without ARexx.
#include "io/arexx/arexx_library.h"

#include "errors/errors.h"
#include "engine/runtime/runtime.h"

namespace {

// Any arguments: an applet testing for the feature must get the code, not
// an argument error.
int Unsupported(lua_State *) { return ERR_UNSUPPORTEDFEAT; }

const luaL_reg kCommands[] = {
    {"SendRexxCommand", Unsupported},
    {"RunRexxScript", Unsupported},
    {"CreateRexxPort", Unsupported},
    {nullptr, nullptr},
};

} // namespace

extern "C" int OpenARexxLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    return AddCommandLibrary(kCommands, "arexx");
}
