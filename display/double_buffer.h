// Double buffering of a display: drawing goes into an off-screen back
// buffer and Flip brings what changed to the window. In software the
// display keeps the back buffer and a front copy (what the window shows)
// and copies only the dirty boxes; in hardware a display adapter plug-in
// flips buffers of its own.
//
// Display state words (cxDisplay): doubleBuffer1 double buffering is on,
// doubleBuffer2 the adapter does it (hardware), doubleBuffer3 the back
// buffer is a video bitmap. While the mode is on the display's output kind
// is 3 and drawing goes to GetDoubleBufferBitmap.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxBitmap;

/* Display adapter flag: the adapter double-buffers its displays itself
   (its BeginDoubleBuffer, EndDoubleBuffer and Flip hooks). */
#define CX_DISPLAY_HWDOUBLEBUFFER 0x40u

/* Output kind of a display while it double-buffers (and while a brush or
   anim frame is selected). */
#define CX_OUTPUT_IMAGE 3u

/* The double-buffer state of a display, made at its first
   BeginDoubleBuffer and kept until the display is freed. */
typedef struct cxDoubleBuffer {
    struct cxBitmap *front; /* software: the copy the window shows */
    struct cxBitmap *back;  /* software: what drawing goes into */
    cxDirtyRects dirty;     /* boxes drawn since the last Flip */
    int32_t width, height;  /* the picture's size when buffering began */
    uint32_t forceWhole;    /* the next presentation shows the whole buffer */
    uint32_t parked;        /* a selection parked the mode (ParkDoubleBuffer) */
    uint32_t parkedVideo;
} cxDoubleBuffer;

/* What the libraries above the display library know and it does not. */
typedef struct cxDoubleBufferHooks {
    /* An error code when the display refuses double buffering for a reason
       of those libraries (a selected anim: ERR_SELECTANIM; layers on its
       BGPic, BeginRefresh mode, sprites, a transparent BGPic, a playing
       video), else 0. Called after the display library's own output and
       layer checks, in the order of those checks. */
    int (*refuse)(lua_State *L, cxDisplay *d, int stage);
    /* Ends the selection that parked the display's double buffer (it comes
       back through UnparkDoubleBuffer). 0 or an error. */
    int (*endParkedSelection)(lua_State *L, cxDisplay *d);
} cxDoubleBufferHooks;

/* Stages of the refuse hook: 0 for the output-kind check of kind 3 (the
   answer replaces ERR_SELECTBRUSH), 1 after the layer check. */
#define CX_DBCHECK_SELECTION 0
#define CX_DBCHECK_STATE 1

/* Installs the hooks (copied); null removes them. */
void SetDoubleBufferHooks(const cxDoubleBufferHooks *hooks);

/* The display's state, or null before its first BeginDoubleBuffer. */
cxDoubleBuffer *GetDisplayDoubleBuffer(const cxDisplay *d);
/* The back buffer that drawing goes into while the display double-buffers
   in software; null otherwise. */
struct cxBitmap *GetDoubleBufferBitmap(const cxDisplay *d);
/* Queues a drawn box for the next Flip (nothing unless the display
   double-buffers in software). A box that covers the whole picture asks
   for a whole copy; a full array does too. */
void QueueDoubleBufferRect(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);

/* BeginDoubleBuffer on a display; hardware asks for the adapter's. */
int StartDoubleBuffer(lua_State *L, cxDisplay *d, int hardware);
/* Flip: presents the back buffer; with sync the display's next frame is
   awaited first. ERR_NODOUBLEBUFFER without double buffering. */
int FlipDoubleBuffer(lua_State *L, cxDisplay *d, int sync);
/* EndDoubleBuffer: the back buffer becomes the display's picture. */
int StopDoubleBuffer(lua_State *L, cxDisplay *d);
/* Shows the front copy in the window: the dirty boxes, or all of it with
   whole (or when the display asks for it). Nothing in hardware mode. */
void PresentBackBuffer(cxDisplay *d, int whole, uint32_t flags);
/* A new cleared front copy of width x height (software mode only). 0 or
   ERR_MEM; the old copy stays on failure. */
int ReallocDisplayBuffer(cxDisplay *d, int32_t width, int32_t height);
/* After the display's picture or scaled size changed: the back buffer
   takes the picture's size (keeping what was drawn) and the front copy the
   presented size, refilled from the back buffer. 0 or ERR_MEM (the old
   buffers stay). Nothing without software double buffering. */
int FitDoubleBufferToDisplay(cxDisplay *d);

/* The adapter's BeginDoubleBuffer and EndDoubleBuffer hooks with the
   display's handle; without an adapter the platform's, which do nothing. */
int BeginDisplayDoubleBuffer(cxDisplay *d);
int EndDisplayDoubleBuffer(cxDisplay *d);

/* A selection parks double buffering while it lasts: the mode words are
   kept aside and cleared; Unpark brings them back with the back buffer as
   the output. Unpark returns 1 when something was parked. */
void ParkDoubleBuffer(cxDisplay *d);
int UnparkDoubleBuffer(cxDisplay *d);
int DoubleBufferParked(const cxDisplay *d);

/* Frees the state with its buffers (when the display is freed). */
void FreeDisplayDoubleBuffer(cxDisplay *d);

/* The script commands: BeginDoubleBuffer([hardware]), Flip([sync]),
   EndDoubleBuffer(), on the current display. */
int CmdBeginDoubleBuffer(lua_State *L);
int CmdFlip(lua_State *L);
int CmdEndDoubleBuffer(lua_State *L);

#ifdef __cplusplus
}
#endif
