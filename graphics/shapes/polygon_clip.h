// Polygons for mask shapes: one Sutherland-Hodgman pass against an
// axis-parallel edge, the four passes that cut a polygon to a rectangle,
// and the points of an elliptic arc. Points are {x, y} pairs of doubles.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Edges of ClipPolygonEdge: the side of the line that is kept. */
#define CX_CLIPEDGE_LEFT 0   /* x >= value */
#define CX_CLIPEDGE_TOP 1    /* y >= value */
#define CX_CLIPEDGE_RIGHT 2  /* x <= value */
#define CX_CLIPEDGE_BOTTOM 3 /* y <= value */

/* Cuts the closed polygon in (count points) by one edge into out, which
   must have room for 2 * count points. Returns the number of points
   written (0 when nothing is left on the kept side). */
int32_t ClipPolygonEdge(const double *in, int32_t count, double *out, int edge, double value);

/* The four passes into [x0, x1] x [y0, y1]. scratchA and scratchB each hold
   room for 16 * count points; the result lies in one of them (*result).
   Returns the number of points left. */
int32_t ClipPolygonToRect(const double *in, int32_t count, double *scratchA, double *scratchB, double x0, double y0,
                          double x1, double y1, const double **result);

/* points points of the ellipse about (cx, cy) with radii rx, ry, evenly
   from startDegrees to endDegrees (both included; 0 degrees points right,
   angles grow clockwise on screen). Writes at most capacity points and
   returns how many. */
int32_t BuildArcPolygon(double *out, int32_t capacity, double cx, double cy, double rx, double ry,
                        double startDegrees, double endDegrees, int32_t points);

#ifdef __cplusplus
}
#endif
