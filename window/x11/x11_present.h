// Presenting bitmaps on a display's X window, direct drawing on the window,
// and grabbing screen pixels.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

#include "platform/os_bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxOsDisplay;

/* Presents without the overlay clip region. */
#define CX_BLT_NOCLIP 32

/* Copies a rectangle of a bitmap into the display's window (the inner
   origin is added to the destination); overlay areas of the display are
   left unpainted unless CX_BLT_NOCLIP is given. The rectangle is clipped to
   the bitmap. Returns src. */
cxOsBitmap *OsBltBitMap(cxOsBitmap *src, int32_t srcX, int32_t srcY, struct cxOsDisplay *d, int32_t dstX,
                        int32_t dstY, int32_t width, int32_t height, uint32_t flags);
/* Direct drawing on the window in an ARGB colour (output kind 1 only). */
void OsFillRect(struct cxOsDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);
void OsWritePixel(struct cxOsDisplay *d, int32_t x, int32_t y, uint32_t argb);
void OsDrawLine(struct cxOsDisplay *d, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb);
/* A new platform bitmap (in the platform's pixel format) holding that part
   of the screen, or null. Uses the display's connection, or one of its own
   when the display has no window. */
cxOsBitmap *OsGrabScreenPixels(struct cxOsDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);

/* The layout of an X visual's pixels as a pixel format number (0..13), or
   -1 when no format matches. */
int OsVisualPixelFormat(unsigned long redMask, unsigned long greenMask, unsigned long blueMask, int bitsPerPixel);

uint32_t OsArgbToVisual(uint32_t argb, unsigned long redMask, unsigned long greenMask, unsigned long blueMask);
uint32_t OsVisualToArgb(uint32_t pixel, unsigned long redMask, unsigned long greenMask, unsigned long blueMask);

#ifdef __cplusplus
}
#endif
