// The "display" library: its registration at start-up and its clean-up at
// the end of a run.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Creates the display-list mutex, registers the commands and the constant
   DISPSTATE_OPEN, and the display and menu lists. 0 or an error. */
int OpenDisplayLibrary(lua_State *L);
/* Closes every open display, frees every display, every menu and the
   shared bitmaps. (Declared in shell/later_subsystems.h as well.) */
void CleanupDisplays(lua_State *L);

#ifdef __cplusplus
}
#endif
