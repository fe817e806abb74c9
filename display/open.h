// Opening a display as a window or a full screen, closing it, and freeing
// it with everything it holds.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

/* how bits of RealizeDisplay. */
enum { CX_REALIZE_REPICK = 1, CX_REALIZE_FIRST = 2, CX_REALIZE_SWITCH = 4, CX_REALIZE_KEEPWINDOW = 8 };
/* how bits of CloseDisplayWindow. */
enum { CX_CLOSE_REOPEN = 1, CX_CLOSE_KEEPMODE = 2, CX_CLOSE_FREEBACKFILL = 4 };

/* Opens a closed display, or re-opens an open one in another mode (how 4).
   0 or an error; a failed open leaves the display closed. */
int RealizeDisplay(lua_State *L, cxDisplay *d, uint32_t how);
/* The window path: position, frame, regions, the back-end's window. */
int OpenDisplayWindow(lua_State *L, cxDisplay *d, int activate, int reopening);
int CloseDisplayWindow(lua_State *L, cxDisplay *d, uint32_t how);
/* Everything a display holds besides its record. */
void FreeDisplayResources(lua_State *L, cxDisplay *d, int atExit);
/* FreeDisplay: refuses the current display (ERR_FREEADISPLAY) and one with
   listeners (ERR_SATFREEDISP); closes, unlinks and frees. With
   reportNotFound 0 an unknown ID is not an error. */
int FreeDisplayCore(lua_State *L, cxObjectID id, int reportNotFound);
/* Window geometry of the display's scale state: the window's size with the
   bars and the picture's origin inside it. */
void ApplyWindowGeometry(cxDisplay *d);

#ifdef __cplusplus
}
#endif
