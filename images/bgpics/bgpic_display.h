// The BGPic library's share of displays: a display's picture is a BGPic
// (its own, made from the backfill, or one the script shows), drawn through
// the BGPic's display buffer. InstallBGPicDisplayHooks registers the
// display library's picture hooks, SafeBlt's BGPic size and Cls of a
// display (draw output), keeping every other hook in place.
#pragma once

#include "display/display.h"
#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"

#ifdef __cplusplus
extern "C" {
#endif

void InstallBGPicDisplayHooks(void);
/* Puts the display library's own hooks back. */
void RemoveBGPicDisplayHooks(void);

/* Cls of a display: its display buffer becomes the BGPic's picture again
   and the window is repainted. 0 or an error code. */
int ClearDisplayToBGPic(lua_State *L, cxDisplay *d);

/* DisplayBGPic's work: the BGPic becomes the current display's picture at
   x, y (200000 keeps the window where it is). 0 or an error code. */
int ShowBGPic(lua_State *L, cxObjectID id, int32_t x, int32_t y);

#ifdef __cplusplus
}
#endif
