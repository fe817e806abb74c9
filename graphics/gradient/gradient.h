// Colour gradients: linear at an angle, radial and conical, from two colours
// or from a list of colour stops, filled into a rectangle of pixels.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_GRADIENT_LINEAR 2
#define CX_GRADIENT_RADIAL 3
#define CX_GRADIENT_CONICAL 4
#define CX_GRADIENT_MAX_STOPS 64

typedef struct cxGradientStop {
    uint32_t colour; /* 0xRRGGBB */
    uint32_t reserved;
    double position; /* 0.0 - 1.0 */
} cxGradientStop;

typedef struct cxGradient {
    uint32_t style; /* 2 linear, 3 radial, 4 conical; others draw nothing */
    uint32_t startColour, endColour; /* used when stopCount is 0 */
    int32_t stopCount;               /* 0, or 1 to 64 stops */
    int32_t angle;                   /* degrees: linear direction, conical start */
    uint32_t reserved;
    cxGradientStop stops[CX_GRADIENT_MAX_STOPS];
    double centerX, centerY; /* fractions of the width and height */
    double balance;          /* conical: position of the start colour */
    double border;           /* radial: the radius shrinks by this fraction */
} cxGradient;

/* The stops a fill works from: channels widened to 16 bits (c * 257),
   positions in 16.16, ascending. */
typedef struct cxGradientStops {
    int32_t count;
    struct {
        uint32_t r, g, b;
        int32_t position;
    } stop[CX_GRADIENT_MAX_STOPS + 1];
} cxGradientStops;

typedef struct cxGradientFillJob {
    void *pixels;
    uint32_t bytesPerPixel;
    uint32_t pixelFormat;
    int32_t x, y, width, height;
    int32_t rowLength; /* pixels */
    const cxGradient *gradient;
} cxGradientFillJob;

/* Builds the stop table of a gradient. Stop positions are clamped to 0..1
   and sorted (stably), so a list given out of order still yields a lookup
   table; returns 0, or ERR_WRONGUSAGE for a stop count outside 0..64 or a
   position that is not a finite number. */
int BuildGradientStops(const cxGradient *gradient, cxGradientStops *out);

/* The colour at a 16.16 position: 0x00RRGGBB, or RGB 5-6-5. Positions before
   the first stop or after the last take the end colours. */
uint32_t GradientColorAt32(const cxGradientStops *stops, int32_t position);
uint32_t GradientColorAt16(const cxGradientStops *stops, int32_t position);

/* Fills the job's rectangle. The caller (DrawGradient) has checked it. */
void FillGradientPixels(const cxGradientFillJob *job);

/* Locks the bitmap and fills the rectangle (clipped to the bitmap) with the
   gradient: 0, ERR_LOCKBMAP, or ERR_WRONGUSAGE for a gradient whose stops,
   centre or border are not usable numbers. */
int DrawGradient(const cxBitmap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                 const cxGradient *gradient);

#ifdef __cplusplus
}
#endif
