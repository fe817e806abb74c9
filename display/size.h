// Sizes, scaling and attributes of a display: ResizeDisplay under the size
// commands and the window system's resizes, SetDisplayAttributes' option
// tables, and the coordinate scaling of scripts.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of ResizeDisplay. */
enum { CX_RESIZE_PLACE = 1, CX_RESIZE_CLOSED = 2, CX_RESIZE_LISTENER = 4, CX_RESIZE_INITIAL = 0x10,
       CX_RESIZE_PICTURE = 0x20 };

/* Unscaled: the picture and display take the new size. Scaled: the window
   takes it (with bars when the proportions are kept), the picture stays;
   flag 0x20 resizes the picture itself and gives the window the scaled
   size (or the new size times the scale factor). 0 or an error. */
int ResizeDisplay(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t smooth,
                  int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
/* The window size of a scaled display fitted to width x height: the scaled
   size and the bars (keeping the picture's proportions when asked). */
void FitScaledSize(cxDisplay *d, int32_t width, int32_t height);
/* SetDisplayAttributes: the option table at index table applied to d; a
   failure leaves d as it was. */
int ApplyDisplayAttributes(lua_State *L, int table, cxDisplay *d, int noRefresh);
/* Coordinate scaling of positive coordinates other than 100000 / 200000. */
void ScaleDisplayCoords(const cxDisplay *d, int32_t *x, int32_t *y, int doX, int doY);

#ifdef __cplusplus
}
#endif
