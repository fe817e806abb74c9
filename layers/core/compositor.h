// The compositor: a rectangle of a BGPic rebuilt from its own picture and
// its visible layers, back to front, with their shadows, borders,
// transparency and fade levels, then the sprites over them. Changes reach
// the window either at once (output to the display) or through the
// display's dirty boxes at its next frame (output to the BGPic it shows).
//
// Buffers of a display with layers on: its picture (the BGPic's display
// buffer) is the background copy; its composition buffer (backBitmap[0],
// made here at the picture's size) holds the last composited picture,
// which is what the window shows.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "display/display.h"
#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/layer.h"
#include "layers/core/layer_image.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of RedrawLayersRect. */
#define CX_REDRAW_NOSPRITES 1u     /* stop after the layers */
#define CX_REDRAW_SPRITESONLY 2u   /* skip the background and the layers */
#define CX_REDRAW_BACKCOPY 4u      /* background from the display's copy even for another BGPic */
#define CX_REDRAW_NOBACKCOPY 8u    /* never from the display's copy */
#define CX_REDRAW_SCALED 16u       /* the BGPic's scaled picture at its scaled size */
#define CX_REDRAW_MARKEDSPRITES 32u /* sprites only, the marked ones */
#define CX_REDRAW_BACKGROUND 64u   /* the background alone */

/* Composites the rectangle of the BGPic into dst at the same place. A
   width or height below 1, a negative corner or a missing dst are refused
   with a console line; the rectangle is cut to the picture. skip (may be
   null) is left out as if it were not in the list. Never fails: what
   cannot be made is left undrawn. */
void RedrawLayersRect(lua_State *L, cxDisplay *d, cxBGPic *bgpic, cxBitmap *dst, int32_t x, int32_t y,
                      int32_t width, int32_t height, uint32_t flags, const cxLayer *skip);

/* Draws a layer image at a level (0 opaque .. 255 invisible) through its
   mask or alpha channel and the clip region (may be null). */
void BlitLayerImage(lua_State *L, cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *dst, int32_t dstX,
                    int32_t dstY, int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight,
                    int32_t dstWidth, int32_t dstHeight, cxBitmap *mask, cxBitmap *alpha, int32_t level,
                    const cxClipRegion *clip);

/* The rectangle of the current display's shown BGPic, clipped to it,
   composited into the composition buffer and presented. */
void RedrawDisplayRect(lua_State *L, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags);
/* The same for a given display. */
void RedrawDisplayRectOf(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);
/* Composites and presents the whole picture of a display with layers. */
void RedrawWholeDisplay(lua_State *L, cxDisplay *d);
/* A change of the current output: redrawn at once (output to the
   display), queued in the display's dirty boxes (output to the shown
   BGPic), else nothing. */
void MarkRectDirty(lua_State *L, int32_t x, int32_t y, int32_t width, int32_t height);

/* Appends a box, growing the array by 1,024 up to 4,096 boxes; a box that
   cannot be kept turns the array into "refresh everything" (count equal to
   capacity). Boxes without area are ignored. */
void QueueDirtyBox(cxDirtyRects *rects, int32_t x, int32_t y, int32_t width, int32_t height);
/* Redraws the boxes of an array on the current display (all of the
   picture when the array is full). The count is left for the owner. */
void FlushDirtyRects(lua_State *L, cxDirtyRects *rects);
/* Queues on the current display's own array without growing: a box
   covering the whole BGPic, or one that does not fit, asks for a whole
   refresh at the next frame. */
void QueueDirtyRect(int32_t x, int32_t y, int32_t width, int32_t height);
/* The layer's full box (on the given state) into the array, growing. */
void QueueLayerDirtyRect(lua_State *L, cxDirtyRects *rects, cxLayer *layer, cxLayerState *state);
/* The library's own array, for commands that change several layers. */
cxDirtyRects *GetLayerDirtyRects(void);
/* The dirty boxes of a display (output to its shown BGPic), made on first
   use; null when memory runs out. */
cxDirtyRects *GetDisplayDirtyRects(cxDisplay *d);
/* Presents a display's queued boxes (its frame) and empties the array. */
void PresentDisplayDirtyRects(lua_State *L, cxDisplay *d);

/* Repaints put off (sprite moves): the rectangle is queued on the
   display, and ShowPendingRepaints composites and presents the queued
   rectangles of every display at once (the event pump's turns and the
   display's frames call it). Too many boxes repaint the whole picture. */
void QueueDisplayRepaint(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);
void ShowPendingRepaints(lua_State *L);

/* Boxes of a layer (x, y, width, height) on a state. The border box builds
   the border image when it is missing. The shadow box is shifted by the
   distance times scaleX and scaleY (1 for states in picture pixels). */
void GetLayerImageBounds(const cxLayerState *state, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
void GetLayerBorderBounds(lua_State *L, cxLayer *layer, cxLayerState *state, int32_t *x, int32_t *y, int32_t *width,
                          int32_t *height);
void GetLayerShadowBounds(lua_State *L, cxLayer *layer, cxLayerState *state, double scaleX, double scaleY,
                          int32_t *x, int32_t *y, int32_t *width, int32_t *height);
void GetLayerBounds(lua_State *L, cxLayer *layer, cxLayerState *state, int32_t *x, int32_t *y, int32_t *width,
                    int32_t *height);

/* Box arithmetic: boxes as x, y, width, height with sums in 64 bits. */
void UnionRect(int32_t *x, int32_t *y, int32_t *width, int32_t *height, int32_t x2, int32_t y2, int32_t width2,
               int32_t height2);
/* The overlap; 0 when it is empty. */
int IntersectRects(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2, int32_t h2,
                   int32_t *x, int32_t *y, int32_t *w, int32_t *h);
/* Inclusive corners: 1 when the boxes overlap. */
int RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2,
                 int32_t by2);
/* Exclusive right and bottom edges. */
int RectsOverlapWH(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2, int32_t h2);
/* Cuts the rectangle to the area; 0 when nothing is left. */
int ClipRectToArea(int32_t ax, int32_t ay, int32_t aw, int32_t ah, int32_t *x, int32_t *y, int32_t *w, int32_t *h);
/* Cuts the rectangle to a clip region's box (null: unchanged) and tells by
   how much its corner moved. 0 when nothing is left. */
int ClipRectToRegion(const cxClipRegion *region, int32_t *x, int32_t *y, int32_t *shiftX, int32_t *shiftY,
                     int32_t *w, int32_t *h);

/* The display's composition buffer at its picture's size (made, and
   composited whole, when missing or of another size); null when it cannot
   be made. */
cxBitmap *GetCompositionBuffer(lua_State *L, cxDisplay *d);

/* The library's own state: its box array (made when the library opens,
   ERR_MEM when it cannot be) and the displays' boxes; a display's boxes
   go with the display. */
int InitCompositorState(void);
void FreeCompositorState(void);
void DropDisplayDirtyRects(cxDisplay *d);

/* The sprite pass over the layers, installed by the sprites library:
   draws the BGPic's sprites into the rectangle of dst (marked only: only
   those whose mark is set), and tells whether a sprite overlaps a
   rectangle. Null members: no sprites. */
typedef struct cxLayerSpriteHooks {
    void (*drawSprites)(lua_State *L, cxBGPic *bgpic, cxBitmap *dst, int32_t x, int32_t y, int32_t width,
                        int32_t height, int markedOnly);
    int (*overlaps)(cxBGPic *bgpic, int32_t x, int32_t y, int32_t width, int32_t height);
    /* The whole pass over disjoint boxes (x, y, width, height each) at
       once; null: drawSprites box by box. */
    void (*drawSpritesInBoxes)(lua_State *L, cxBGPic *bgpic, cxBitmap *dst, const int32_t *boxes, uint32_t count);
} cxLayerSpriteHooks;
void SetLayerSpriteHooks(const cxLayerSpriteHooks *hooks);
const cxLayerSpriteHooks *GetLayerSpriteHooks(void);

#ifdef __cplusplus
}
#endif
