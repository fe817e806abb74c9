// The display's picture: what the BGPic library provides for a display
// (its own picture made from the backfill options, a BGPic given with the
// "bgpic" option, resizing, the repaint of layers and sprites) reaches the
// display library through hooks that library registers. Until it does, a
// display's picture is a plain colour bitmap of its own, filled with its
// backfill colour, and a repaint presents that bitmap.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxDisplayPictureHooks {
    /* Makes the display's own picture of os.width x os.height from its
       backfill (fillStyle, fillColor, gradient, texture): sets bgpic,
       picture, pictureWidth/Height and ownsBGPic. 0, ERR_BITMAP or an
       error of the backfill. */
    int (*makeOwnPicture)(lua_State *L, cxDisplay *d);
    /* Frees the display's own picture (ownsBGPic set). */
    void (*freeOwnPicture)(lua_State *L, cxDisplay *d);
    /* The BGPic named by the "bgpic" option: its record, its colour bitmap
       and size. 0 or an error (ERR_FINDBGPIC ...). */
    int (*findBGPic)(lua_State *L, cxObjectID id, struct cxBGPic **bgpic, struct cxBitmap **bitmap, int32_t *width,
                     int32_t *height);
    /* Resizes the display's picture (BGPic) to width x height. 0 or an
       error. */
    int (*resizePicture)(lua_State *L, cxDisplay *d, int32_t width, int32_t height, int smooth);
    /* Repaints the whole display: borders, layers or picture, sprites,
       videos. Flag 2 for the listeners, 0x80 after opening. */
    int (*refreshWholeDisplay)(lua_State *L, cxDisplay *d, uint32_t flags);
    /* Makes the display's picture (or its double buffer) the drawing
       target after it became current. */
    void (*selectDrawTarget)(lua_State *L, cxDisplay *d);
} cxDisplayPictureHooks;

/* Installs hooks (copied; a null member keeps the built-in one); null puts
   the built-in ones back. */
void SetDisplayPictureHooks(const cxDisplayPictureHooks *hooks);
const cxDisplayPictureHooks *GetDisplayPictureHooks(void);

/* The built-in members, for hooks that wrap them. */
int MakeOwnDisplayPicture(lua_State *L, cxDisplay *d);
void FreeOwnDisplayPicture(lua_State *L, cxDisplay *d);
int ResizeOwnDisplayPicture(lua_State *L, cxDisplay *d, int32_t width, int32_t height, int smooth);
/* Presents the whole picture and clears the bars of a scaled display. */
int PresentWholeDisplay(lua_State *L, cxDisplay *d, uint32_t flags);

/* Fills a rectangle of a colour bitmap with a 0xRRGGBB colour (clipped). */
void FillBitmapRect(struct cxBitmap *bm, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);

#ifdef __cplusplus
}
#endif
