// The "draw" library: points, lines, boxes, circles, ellipses, arcs,
// polygons, Cls and the drawing style commands.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands and constants, fills the degree tables and makes
   room in the point buffers. 0 or ERR_MEM. */
int OpenDrawLibrary(lua_State *L);
/* The clean-up at exit: the buffers, and the style back to its defaults. */
void FreeDrawLibraryBuffers(lua_State *L);

#ifdef __cplusplus
}
#endif
