// Every window operation of the display library in one family of small
// wrappers: the display adapter plug-in's hook when an adapter is
// installed, the X11 back-end otherwise.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxBitmap;

int HasDisplayAdapter(void);
/* 1 when the adapter ran an iteration of its loop; 0 without adapter. */
int ForceEventLoopIteration(void);
/* Waits while serving events; 1003 when the user asked to quit. */
int DelayWithEvents(lua_State *L, int milliseconds);

/* Frame sizes into the record (borderWidth = left + right, borderHeight =
   top + bottom). */
void DetermineBorderSizes(cxDisplay *d);
void ShowDisplayPointer(cxDisplay *d, int show);
void MoveDisplayPointer(cxDisplay *d, int32_t x, int32_t y);
void SetDisplayTitle(cxDisplay *d);
void ShowHideDisplayWindow(cxDisplay *d, int hide);
void MoveDisplayWindow(cxDisplay *d);
void SizeMoveDisplayWindow(cxDisplay *d);
void ActivateDisplayWindow(cxDisplay *d, int front);
/* The pointer position relative to the display; a closed display gives its
   last stored position. */
void GetDisplayMousePos(cxDisplay *d, int32_t *x, int32_t *y);
uint32_t GetDisplayQualifiers(cxDisplay *d);

/* Direct drawing on the window in a 0xRRGGBB colour; the listeners are told
   (messages 1 fill, 2 line, 3 pixel). */
void FillDisplayWindowRect(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                           uint32_t flags);
void WriteDisplayWindowPixel(cxDisplay *d, int32_t x, int32_t y, uint32_t colour);
void DrawDisplayWindowLine(cxDisplay *d, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void ClearDisplayWindow(cxDisplay *d, uint32_t colour);
void FreeAdapterMonitorInfo(int kind, void *info);
/* A colour bitmap of that part of the screen. 0 or ERR_GRABSCREEN. */
int GrabScreenToBitmap(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, struct cxBitmap **out);

/* Opens the window of a display whose position and size are settled: the
   adapter's OpenDisplay (its handle into adapterHandle; null is
   ERR_WINDOW) or the X11 back-end. */
int BackendOpenWindow(cxDisplay *d);
void BackendCloseWindow(cxDisplay *d);
/* Presents a rectangle of a colour bitmap on the window (no adapter: the
   X11 back-end). */
void BackendPresent(cxDisplay *d, struct cxBitmap *src, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                    int32_t width, int32_t height, uint32_t flags);

/* Clears the key and button states (and the back-end's own). */
void ResetDisplayInputState(cxDisplay *d);

#ifdef __cplusplus
}
#endif
