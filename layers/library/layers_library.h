// The "layers" library: its commands and constants, opened in the fixed
// order of the script libraries, and its clean-up at exit. The layer core
// lives in layers/core.
#pragma once

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands and constants, makes the library's box array
   (ERR_MEM when it cannot be) and installs the hooks. */
int OpenLayersLibrary(lua_State *L);
/* At exit: every remaining layer, the async draws, the box arrays and the
   clip regions; the hooks are removed. */
void FreeLayerLibraryState(lua_State *L);

/* Switches layers on for a display: 0 when on already; 1329 while an
   async draw is attached, 1229 while double buffering, 1163 while the
   output is not the display, 1224 while sprites are on screen. */
int CheckEnableLayers(cxDisplay *d);

int CmdEnableLayers(lua_State *L);
int CmdDisableLayers(lua_State *L);
int CmdGetLayerAtPos(lua_State *L);
int CmdLayerExists(lua_State *L);
int CmdSetLayerName(lua_State *L);
int CmdDumpLayers(lua_State *L);
int CmdCreateLayer(lua_State *L);
int CmdSelectLayer(lua_State *L);

#ifdef __cplusplus
}
#endif
