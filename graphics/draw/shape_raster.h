// The shape renderer of the draw library: boxes, circles, ellipses, arcs,
// polygons, lines and points in the drawing style (fill, anti-aliasing,
// shadow, edge, line width), into a target's colour bitmap and, where the
// target has them, its alpha channel and mask. Outlines become polygons
// through the whole-degree sine and cosine tables; the vector engine's
// scanline filler and stroker rasterise them into a coverage buffer that
// the coverage kernels then draw.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "graphics/draw/draw_style.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Shape kinds: the object kinds shape layers carry. */
#define CX_SHAPE_BOX     14u
#define CX_SHAPE_CIRCLE  15u
#define CX_SHAPE_ELLIPSE 16u
#define CX_SHAPE_LINE    17u
#define CX_SHAPE_PLOT    18u
#define CX_SHAPE_POLYGON 27u
#define CX_SHAPE_ARC     31u

typedef struct cxDrawRect {
    int32_t x, y, width, height;
} cxDrawRect;

/* Where a shape goes. Any of the three may be null; drawing is clipped to
   width x height and to each bitmap's own size. */
typedef struct cxDrawTarget {
    cxBitmap *colour;
    cxBitmap *alpha;   /* written with alphaLevel where the shape covers */
    cxBitmap *mask;    /* combined by maskMode (0-5) where the shape covers fully */
    int32_t width, height;
    uint32_t alphaLevel;
    int32_t maskMode;
} cxDrawTarget;

typedef struct cxShape {
    uint32_t kind;
    /* box: left, top, width, height; circle: centre and radius (width);
       ellipse and arc: centre and the two radii; line: from (x, y) to
       (x2, y2); plot: (x, y); polygon: the vertices are relative to (x, y) */
    double x, y, width, height;
    double x2, y2;
    double startAngle, endAngle; /* arc: degrees, 0 east */
    int32_t clockwise;           /* arc: 1 runs clockwise (on screen) from start to end */
    const double *points;        /* polygon: x, y pairs */
    int32_t pointCount;          /* polygon: vertices */
    int32_t corners[4];          /* box: corner radii top-left, top-right, bottom-right, bottom-left */
    int32_t thickness;           /* line: pixels; 0 takes the style's line width */
} cxShape;

/* Draws the shape with colour (0xRRGGBB) in the style. *changed (may be
   null) receives the rectangle touched, clipped; width 0 when nothing was.
   0, ERR_MEM, or ERR_WRONGUSAGE for a shape it cannot draw (unknown kind,
   fewer than 2 polygon vertices or more than CX_SHAPE_MAXPOINTS, a size
   or coordinate beyond CX_SHAPE_MAXCOORD). */
#define CX_SHAPE_MAXPOINTS 100000
#define CX_SHAPE_MAXCOORD 1000000.0
int RenderShape(const cxDrawTarget *target, const cxShape *shape, const cxDrawStyle *style, uint32_t colour,
                cxDrawRect *changed);

/* Draws ready coverage (box->width bytes a row, 255 inside) into every
   part of the target as the shapes are drawn: the colour, or the gradient
   when one is given, spanning the box. Clipped to the target. */
void DrawCoverage(const cxDrawTarget *target, const cxDrawRect *box, const uint8_t *coverage, uint32_t colour,
                  const cxDrawGradient *gradient);

/* The colour 0xRRGGBB at a point of the target's colour bitmap; -1 when
   the point is outside or the bitmap cannot be locked. */
int64_t ReadTargetPixel(const cxDrawTarget *target, int32_t x, int32_t y);

/* Makes room for outlines of at least points points, so that drawing
   allocates nothing until larger shapes come: 0 or ERR_MEM. */
int ReserveShapeBuffers(int32_t points);
/* Frees the renderer's scratch buffers. */
void FreeShapeBuffers(void);

#ifdef __cplusplus
}
#endif
