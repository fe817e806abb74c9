#include "engine/runtime/runtime.h"
namespace { const luaL_reg kCommands[] = {{nullptr, nullptr}}; }
extern "C" int OpenStringLibrary(lua_State *L) { luaL_openlib(L, nullptr, kCommands, 0); return AddCommandLibrary(kCommands, "string"); }
