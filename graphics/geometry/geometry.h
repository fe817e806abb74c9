// Placement and size arithmetic shared by everything that shows an object
// on a display: special coordinates (#CENTER, #LEFT, ... and the "out"
// positions just outside the target), sizes kept in proportion, the 2x2
// matrix of a scale and rotation, and the box a matrix maps an object to.
// Pure functions: no state, no allocation.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Special coordinates. Each may carry an offset of up to +-5000 (#CENTER +
   20 is 20 pixels right of centre). */
#define CX_SPECIAL_CENTER (-100000)
#define CX_SPECIAL_LEFT (-90000)
#define CX_SPECIAL_RIGHT (-80000)
#define CX_SPECIAL_TOP (-70000)
#define CX_SPECIAL_BOTTOM (-60000)
#define CX_SPECIAL_LEFTOUT (-50000)   /* just left of the target: the object's right edge at 0 */
#define CX_SPECIAL_RIGHTOUT (-40000)  /* just right of it */
#define CX_SPECIAL_TOPOUT (-30000)    /* just above it */
#define CX_SPECIAL_BOTTOMOUT (-20000) /* just below it */
#define CX_SPECIAL_OFFSET_RANGE 5000
/* A size computed from the other one, keeping the source's proportions. */
#define CX_KEEPASPRAT 100000

/* The coordinate of an object of size placed in a target of room: special
   positions are resolved (centre, left/top, right/bottom, out) and then
   moved by size * anchor (truncated), so that a caller that later takes
   the anchor off again (x - size * anchor) places the object's box as the
   special position says. Any other value is returned as it is. */
int32_t ResolveSpecialX(int32_t x, int32_t size, int32_t room, double anchor);
int32_t ResolveSpecialY(int32_t y, int32_t size, int32_t room, double anchor);
/* 1 when the value is one of the special positions of that axis. */
int IsSpecialX(int32_t x);
int IsSpecialY(int32_t y);

/* One of *width and *height equal to CX_KEEPASPRAT is computed from the
   other in the source's proportions (rounded at .5). 0; ERR_WRONGUSAGE when
   both are CX_KEEPASPRAT; ERR_BADDIMENSIONS when a size is below 1 or the
   source has none. */
int ApplyKeepAspectRatio(int32_t srcWidth, int32_t srcHeight, int32_t *width, int32_t *height);

/* The matrix {m00, m01, m10, m11} that scales by (scaleX, scaleY) and then
   turns by angle degrees counter-clockwise as seen on the screen. A
   non-zero newWidth (newHeight) sets scaleX (scaleY) to new / source.
   Whole quarter turns give exact zeros and ones. */
void MakeTransformMatrix(double matrix[4], int32_t newWidth, int32_t newHeight, int32_t srcWidth, int32_t srcHeight,
                         double scaleX, double scaleY, double angle);
/* 1 for {1, 0, 0, 1}. */
int IsIdentityMatrix(const double matrix[4]);
/* 1 for a plain scale: m01 = m10 = 0 and m00, m11 not negative. */
int IsPlainScaleMatrix(const double matrix[4]);

/* The box a width x height object covers after the matrix, about its
   top-left corner: size as GetTransformedSize (graphics/transform) and the
   offset of the box's top-left corner from the object's (rounded to the
   nearest pixel). 0 or ERR_BADDIMENSIONS. */
int GetTransformedBounds(const double matrix[4], int32_t width, int32_t height, int32_t *x, int32_t *y,
                         int32_t *outWidth, int32_t *outHeight);

#ifdef __cplusplus
}
#endif
