// Displays with "rememberposition" keep their window's place and size in
// the applet's preferences (table "__placement", keyed by the display
// number): written when the window closes, read back when the display is
// created in a later run.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Whether a created display takes its stored placement (default on). The
   shell turns it off for the command-line option that overrides stored
   placements. */
void SetDisplayPlacementRestore(int on);

/* Writes the placement of an open window of a remembering display with a
   numbered ID. Nothing for other displays. 0 or the preferences' error. */
int SaveDisplayPlacement(lua_State *L, const cxDisplay *d);

/* Applies the stored placement to a display being created (its options
   read, its scaled size not yet fitted): the position, and the size of a
   sizeable window in the scale mode it was stored with: a scaled window's
   size at once, an unscaled display's size into *width and *height (0 when
   none) for the caller to resize the picture to. Stored values that are
   missing, of the wrong type or out of range are skipped; a position off
   every monitor is left to the script's. */
void RestoreDisplayPlacement(lua_State *L, cxDisplay *d, int32_t *width, int32_t *height);

#ifdef __cplusplus
}
#endif
