/*
 * Calyxtone plug-in interface, version 8.0: vector graphics engines.
 *
 * A plug-in with CX_CAP_VECTORGRAPHICS fills the eight vector slots of its
 * cxPlugin record (calyxtone/cxplugin.h). Every measurement and every
 * rasterisation of a script's vector path goes to the current engine with
 * one of the request records below.
 *
 * Path items. A path is a list of items back to back, each a 32-bit item
 * code followed by its fields, ended by a zero word. 32-bit words are
 * little-endian integers; doubles are IEEE-754 binary64 stored at 4-byte
 * alignment (read them with memcpy). The rel word is 1 when the points are
 * relative to the current point. Path coordinates grow downward.
 *
 *   1 MoveTo     u32 rel; double x, y                               24 bytes
 *   2 LineTo     u32 rel; double x, y                               24 bytes
 *   3 CurveTo    u32 rel; double x1, y1, x2, y2, x3, y3 (cubic)     56 bytes
 *   5 NewSubPath                                                      4 bytes
 *   6 ClosePath                                                       4 bytes
 *   7 Arc        double xc, yc, ra, rb, start, end (degrees);
 *                i32 clockwise                                      56 bytes
 *   8 Box        double x, y, width, height; i32 round[4] (percent,
 *                corners top-left, bottom-left, bottom-right,
 *                top-right)                                         52 bytes
 *   9 Text       u32 font key; i32 size; UTF-8 text with its NUL,
 *                then 1 to 4 padding bytes to a multiple of 4      12 + text
 *
 * The font key of a Text item names a font of the player's vector-font
 * cache; an engine turns it into its own font handle (the one its
 * CreateVectorFont made) with the params record's fontHandle function.
 */
#ifndef CALYXTONE_CXVECTOR_H
#define CALYXTONE_CXVECTOR_H

#include <stdint.h>

#include "cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Item codes. */
#define CX_PATH_END        0u
#define CX_PATH_MOVETO     1u
#define CX_PATH_LINETO     2u
#define CX_PATH_CURVETO    3u
#define CX_PATH_NEWSUBPATH 5u
#define CX_PATH_CLOSEPATH  6u
#define CX_PATH_ARC        7u
#define CX_PATH_BOX        8u
#define CX_PATH_TEXT       9u

/* Line joins, caps and fill rules. */
#define CX_JOIN_MITER 0u
#define CX_JOIN_ROUND 1u
#define CX_JOIN_BEVEL 2u
#define CX_CAP_BUTT   0u
#define CX_CAP_ROUND  1u
#define CX_CAP_SQUARE 2u
#define CX_FILLRULE_WINDING 0u
#define CX_FILLRULE_EVENODD 1u

/* cxPlugin.vectorFlags bit 0: the engine takes the drawing offset of
   DrawPath in the second offset pair (ox, oy). */
#define CX_VECTOR_SECONDOFFSET 1u

/* The engine parameters, built from the vector style for every call. */
typedef struct cxVectorParams {
    uint32_t lineJoin;    /* CX_JOIN_* */
    uint32_t lineCap;     /* CX_CAP_* */
    uint32_t fillRule;    /* CX_FILLRULE_* */
    uint32_t antialias;   /* 1: coverage 0..255; 0: every byte 0 or 255 */
    double dashOffset;
    double *dashes;       /* null when dashCount is 0 */
    uint32_t dashCount;   /* 0: solid lines */
    double miterLimit;
    /* The engine's own handle of a Text item's font key (null when the
       font is gone or the engine made none). */
    void *(*fontHandle)(uint32_t key, const cxPlugin *engine);
    const cxPlugin *engine; /* the engine called */
} cxVectorParams;

/* GetPathExtents: the smallest and largest x and y of what would be drawn
   (an outline includes half the line width on each side). The extents keep
   their values when nothing can be measured. */
typedef struct cxVectorExtentsRequest {
    const void *items;
    const cxVectorParams *params;
    uint32_t fill;       /* 1: the filled shape; 0: the outline stroked with lineWidth */
    int32_t lineWidth;
    double dx, dy;       /* added to every absolute coordinate */
    double x1, y1, x2, y2;
    const double *matrix; /* m0, m1, m2, m3: x' = m0 x + m2 y, y' = m1 x + m3 y */
} cxVectorExtentsRequest;

/* DrawPath: coverage 0..255 (255 inside) into an 8-bit buffer, one byte
   per pixel, row 0 at the top. Returns non-zero on success. */
typedef struct cxVectorDrawRequest {
    const void *items;
    const cxVectorParams *params;
    uint32_t fill;
    int32_t lineWidth;
    uint32_t reserved;
    uint8_t *pixels;
    int32_t bytesPerRow;
    int32_t width, height;
    uint32_t unused;
    double dx, dy; /* first offset pair */
    double ox, oy; /* second offset pair */
    const double *matrix;
} cxVectorDrawRequest;

/* TranslatePath: adds (dx, dy) in place to every absolute coordinate. */
typedef struct cxVectorTranslateRequest {
    void *items;
    uint32_t unused;
    double dx, dy;
} cxVectorTranslateRequest;

#ifdef __cplusplus
}
#endif

#endif
