// The "brush" script library: its commands and its opening.
#pragma once

#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the brush commands and constants under "brush", the brush
   list and the BGPic display hooks. 0 or an error code. (Declared brushes
   are preloaded by the shell through PreloadBrushItem.) */
int OpenBrushLibrary(lua_State *L);

/* Brush commands built elsewhere (editing, pixels, effects) join the
   library: tables added before OpenBrushLibrary runs are opened with it.
   The table must live as long as the process. At most 8. */
int AddBrushCommandTable(const luaL_reg *commands);

#ifdef __cplusplus
}
#endif
