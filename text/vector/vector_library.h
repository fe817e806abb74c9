// The "vectorgraphics" library: paths and their items, the vector style,
// the choice of engine, DrawPath and the draw library's path mode.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands, constants and the path list; the inbuilt engine
   becomes current and the style its defaults. 0 or an error code. */
int OpenVectorGraphicsLibrary(lua_State *L);
/* The clean-up at exit: every path, the dash array, the vector fonts. */
void FreeAllPaths(lua_State *L);

#ifdef __cplusplus
}
#endif
