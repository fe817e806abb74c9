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

/* ShowBGPic for a transition: the picture on show (its layers included,
   scaled to the new BGPic's size unless layers are scaled) is kept in
   *snapshot, the BGPic becomes the display's picture without the window
   being repainted, the new picture as it will show (its layers included)
   is composed into *newPicture, and the window shows the snapshot again.
   Both bitmaps are the caller's. 0 or an error code (nothing is returned
   then). */
int ShowBGPicTransition(lua_State *L, cxObjectID id, int32_t x, int32_t y, cxBitmap **newPicture,
                        cxBitmap **snapshot);

/* A new BGPic of one colour (0xRRGGBB); *id with a pointer asks for an
   automatic ID (written back). 0, ERR_WRONGUSAGE for a size below 1,
   ERR_BITMAP or ERR_MEM. */
int CreateColorBGPic(cxObjectID *id, int32_t width, int32_t height, uint32_t colour);

/* What a display shows of a BGPic: the display's picture itself when no
   layer and no sprite lies over it, else everything composited into the
   display's composition buffer (the layers library's; the picture itself
   without it). A BGPic the display does not show: its current bitmap.
   Null when the composite cannot be made. */
struct cxBitmap *ComposeBGPicBitmap(lua_State *L, cxDisplay *d, cxBGPic *bgpic);

#ifdef __cplusplus
}
#endif
