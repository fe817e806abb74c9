// Shared pieces of the "string" library's source files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"

namespace cxstring {

// An encoding argument: the default is the current UTF-8 mode; only 0 and 1
// are known (ERR_BADENCODING otherwise, raised with the argument index).
int EncodingArg(lua_State *L, int index);

// Commands in their own source files.
int PatternFindStr(lua_State *L);
int PatternFindStrDirect(lua_State *L);
int PatternFindStrShort(lua_State *L);
int PatternReplaceStr(lua_State *L);
int FormatStr(lua_State *L);
int Eval(lua_State *L);
int MD5Str(lua_State *L);
const luaL_reg *GetStringCommands();

} // namespace cxstring
