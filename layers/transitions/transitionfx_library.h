// The "transitionfx" library: the commands that show and hide BGPics,
// brushes, text objects, parts of BGPics and layers with an effect, and the
// effect constants.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands and the 145 constants and installs the engine's
   hooks. 0 or an error code. */
int OpenTransitionLibrary(lua_State *L);
/* At exit: effects still running go; the hooks are removed. */
void FreeTransitionLibraryState(lua_State *L);

int CmdDisplayBrushFX(lua_State *L);
int CmdDisplayTextObjectFX(lua_State *L);
int CmdDisplayTransitionFX(lua_State *L);
int CmdDisplayBGPicPartFX(lua_State *L);
int CmdUndoFX(lua_State *L);
int CmdShowLayerFX(lua_State *L);
int CmdHideLayerFX(lua_State *L);
int CmdRemoveLayerFX(lua_State *L);
int CmdGetRandomFX(lua_State *L);
int CmdClearScreen(lua_State *L);

#ifdef __cplusplus
}
#endif
