// Window operations on an open display's X window: moving, sizing, title,
// activation, frame sizes, the pointer, and what the display library asks
// of the window system before it opens one.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cxOsDisplay;

/* 1 when an X server can be reached (the default one). */
int OsCanOpenDisplays(void);
/* 1 when a window of the display's size can be made (X11 limits the sides
   to 32767; memory is checked by the caller). */
int OsCheckDisplaySize(const struct cxOsDisplay *d);
/* The frame sizes of the display's window as the window manager would add
   them. X11 leaves frames to the window manager and cannot know them before
   the window is mapped: all 0. Returns 0. */
int OsDetermineBorderSizes(struct cxOsDisplay *d);

/* Moves the window to d->x, d->y (root coordinates). */
void OsMoveDisplay(struct cxOsDisplay *d);
/* Moves and resizes the window to d->x, d->y and the inner size
   (OsGetWindowInnerSize, or windowWidth/windowHeight when set). */
void OsSizeMoveDisplay(struct cxOsDisplay *d);
void OsSetDisplayTitle(struct cxOsDisplay *d);
/* Raises the window; with focus also gives it the input focus. */
void OsActivateDisplay(struct cxOsDisplay *d, int focus);

/* The pointer over the window: hidden (an empty cursor) or shown. */
void OsShowHidePointer(struct cxOsDisplay *d, int show);
/* Moves the pointer to a position inside the window. */
void OsMovePointer(struct cxOsDisplay *d, int32_t x, int32_t y);
/* The pointer position relative to the window's inner area; 0 when the
   display has no window (x and y untouched). */
int OsGetMousePos(struct cxOsDisplay *d, int32_t *x, int32_t *y);

/* Makes the default X server's pixel layout the pixel format of new
   bitmaps when a format matches it (16-bit screens: format 4). Returns the
   format in use. */
uint32_t OsDetectPixelFormat(void);

/* Font resolution of displays: 72 x 72 dots per inch. */
void OsGetFontResolution(int32_t *horizontal, int32_t *vertical);
/* The desktop's scale factor: 1.0 (X11 has no common one). */
void OsGetDisplayScale(double *out);

#ifdef __cplusplus
}
#endif
