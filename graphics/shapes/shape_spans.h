// The pixel emitters under the shape renderer: an anti-aliased one-pixel
// line, a thick line, a coverage-buffer plotter, and the scan conversion of
// a polygon into a 1-bit mask. Every pixel goes through PlotShapePixel,
// which clips and blends by the raster's current coverage.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxShapeRaster {
    /* Target colour pixels (2, 3 or 4 bytes) or null when only a mask or an
       alpha channel is written. */
    uint8_t *pixels;
    uint32_t pixelFormat;
    int32_t rowLength; /* pixels */
    int32_t width, height;
    /* Clip rectangle [clipX0, clipX1) x [clipY0, clipY1), limited to the
       raster's size; an optional clip mask read at (x, y). */
    int32_t clipX0, clipY0, clipX1, clipY1;
    const uint8_t *clipMask;
    int32_t clipMaskRowLength; /* bytes */
    uint32_t colour;           /* pixel value of pixelFormat */
    const uint8_t *texture;    /* optional: pixels of the same format read at (x, y) */
    int32_t textureRowLength;  /* pixels */
    uint8_t *mask;             /* optional mask updated by maskMode */
    int32_t maskRowLength;     /* bytes */
    int32_t maskMode;          /* 0, 2, 5 set; 1 clear; 3 toggle; others leave */
    uint8_t *alpha;            /* optional alpha channel receiving the coverage */
    int32_t alphaRowLength;    /* bytes */
    int32_t lineWidth;         /* pixels */
    int32_t coverage;          /* 0-255, set by the emitters before each plot */
    int32_t opacity;           /* 0-255, 255 opaque */
} cxShapeRaster;

/* Writes pixel (x, y) at the raster's current coverage. */
void PlotShapePixel(cxShapeRaster *raster, int32_t x, int32_t y);

/* Anti-aliased line one pixel wide. */
void DrawAALine(cxShapeRaster *raster, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
/* Solid line of the raster's line width at the coverage already set. */
void DrawThickLine(cxShapeRaster *raster, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
/* Plots the non-zero bytes of a width x height coverage rectangle at
   (x, y); solid plots them at the raster's coverage. */
void PlotCoverage(const uint8_t *coverage, int32_t x, int32_t y, cxShapeRaster *raster, int32_t width,
                  int32_t height, int32_t rowLength, int32_t solid);

/* Scan-converts a polygon of {x, y} pairs into the mask (bits only ever
   set), limited to maskWidth x maskHeight. crossings has room for one entry
   per point, or is null to use scratch memory. Returns 0, or ERR_MEM. */
int FillPolygonMaskBits(uint8_t *mask, int32_t maskRowLength, int32_t maskWidth, int32_t maskHeight,
                        int32_t *crossings, const int32_t *points, int32_t pointCount);

#ifdef __cplusplus
}
#endif
