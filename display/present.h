// The road of a frame from a display's picture to its window (scaled when
// the display scales), the per-frame listeners, the refreshes that other
// threads post, and waiting for the next frame.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxBitmap;

/* A listener's callback: message 0 a frame (cxListenerFrame), 1 a window
   fill, 2 a line, 3 a pixel (cxAdapterDraw), 4 a size change of a closed
   display ({width, height}), 5 the frame wait. */
typedef int (*cxDisplayListenerFunc)(void *listener, int message, void *record, void *userData);

typedef struct cxDisplayListener {
    struct cxDisplayListener *next;
    cxDisplayListenerFunc callback;
    void *userData;
    uint32_t foreign;     /* the callback cannot be called on this platform */
    uint32_t done;        /* set while the list is walked */
    intptr_t tag3;
    cxDisplay *display;
    intptr_t tag4;        /* non-zero: does not want the frame wait (message 5) */
    uint32_t wantsSource; /* the unscaled source rectangle rather than the scaled picture */
} cxDisplayListener;

/* Message 0's record. */
typedef struct cxListenerFrame {
    void *pixels;            /* kind 1: the pixels; 2, 3: the bitmap store */
    int32_t kind;            /* 1 pixels, 2 foreign bitmap needing no lock, 3 adapter store */
    int32_t width, height;
    int32_t rowLength;       /* pixels per row (kind 1) */
    int32_t pixelFormat;     /* kind 1 */
    uint8_t *videoMask;      /* 1-bit, picture-sized: areas playing videos cover; null when none */
    int32_t videoMaskBytesPerRow;
    int32_t srcX, srcY, dstX, dstY, rectWidth, rectHeight;
} cxListenerFrame;

/* Flags of RefreshDisplayRectCore. */
enum {
    CX_REFRESH_DIRECT = 0x10,     /* straight to the platform */
    CX_REFRESH_NOVIDEOMASK = 0x20,
    CX_REFRESH_NOLISTENERS = 0x40,
    CX_REFRESH_SCALEBUFFER = 0x100, /* set internally */
    CX_REFRESH_QUEUED = 0x1000
};

/* Presents a rectangle of src on the display. Without scaling (scaledWidth
   0) the rectangle goes to the window as it is; with scaling the whole
   source is scaled into the shared scale buffer, which is presented whole
   inside the bars. A failed scale-buffer allocation drops the frame. */
void RefreshDisplayRectCore(struct cxBitmap *src, int32_t srcX, int32_t srcY, cxDisplay *d, int32_t dstX,
                            int32_t dstY, int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight,
                            uint32_t flags, struct cxBitmap *mask, struct cxBitmap *alpha, const double *transform);
/* Repaints the whole display through the picture hooks. */
int RefreshWholeDisplay(lua_State *L, cxDisplay *d, uint32_t flags);
/* Fills the four bars of a proportion-keeping scaled display with black. */
void ClearDisplayBorders(cxDisplay *d);
/* The shared scale buffer (null before the first scaled frame), and its
   release at clean-up. */
struct cxBitmap *GetScaleBuffer(void);
void FreeScaleBuffer(void);

/* Appends a listener; null when refused (recording a video, unknown
   display, hardware double buffering). Tags: 1 out (int32_t *) scaled or
   plain width, 2 out height, 3, 4, 5 values, 6 out width, 7 out height. */
cxDisplayListener *AddDisplayListener(cxObjectID id, cxDisplayListenerFunc callback, void *userData,
                                      const cxTagItem *tags, int foreign);
void RemoveDisplayListener(cxDisplayListener *listener);
/* The display holding a listener, or null. */
cxDisplay *FindListenerDisplay(const cxDisplayListener *listener);
/* Repaints the display holding the listener for that listener alone. */
void RefreshForListener(lua_State *L, cxDisplayListener *listener);
/* Calls every listener once with a message, restarting from the head after
   each call (a callback may change the list). */
void NotifyDisplayListeners(cxDisplay *d, int message, void *record);
void FreeDisplayListeners(cxDisplay *d);

/* The frame-rate limiter of the graphics library (null: the built-in one,
   at most 60 frames a second on a shown display). */
typedef void (*cxFrameLimiter)(lua_State *L, cxDisplay *d, int force);
void SetFrameLimiter(cxFrameLimiter limiter);
void WaitDisplayFrame(lua_State *L, cxDisplay *d, uint32_t flags);

/* From any thread: queues a rectangle of a bitmap for presenting on the
   main thread (the queue takes the bitmap when ownBitmap is set) and wakes
   the main thread. 0 or ERR_MEM. */
int PostDisplayRefresh(cxDisplay *d, struct cxBitmap *bitmap, int ownBitmap, int32_t x, int32_t y, int32_t width,
                       int32_t height);
/* As PostDisplayRefresh for a bitmap of width x height that shows the
   rectangle at (x, y) of the display; the queue takes the bitmap. */
int PostDisplayPicture(cxDisplay *d, struct cxBitmap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height);
/* From any thread: queues a call that the main thread makes when it
   presents the display's queued refreshes (in order with them), and wakes
   the main thread. 0 or ERR_MEM. */
typedef void (*cxDisplayMainCall)(lua_State *L, cxDisplay *d);
int PostDisplayCall(cxDisplay *d, cxDisplayMainCall call);
/* Main thread: presents every display's queued refreshes. */
int ProcessPendingRefreshes(lua_State *L);
void FreeDisplayRefreshQueue(cxDisplay *d);

#ifdef __cplusplus
}
#endif
