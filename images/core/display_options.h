// The display options every showing command takes as its last argument
// (DisplayBrush, DisplayBrushPart, DisplayBGPicPart, anims, text objects,
// layers): how the image is scaled, turned and anchored (cxTransformOptions)
// and what a layer made from it looks like (cxLayerOptions).
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTransformOptions {
    double matrix[4];     /* effective {m00, m01, m10, m11} */
    double scaleX, scaleY;
    int32_t width, height; /* a wanted size; 0 = not given */
    double rotate;         /* degrees */
    double transform[4];   /* the "transform" key */
    uint32_t hasTransform; /* the matrix came from "transform" */
    uint32_t smoothScale;
    double anchorX, anchorY; /* 0..1 of the displayed width and height */
} cxTransformOptions;

typedef struct cxShadowOptions {
    uint32_t on;
    uint32_t colour; /* ARGB, the alpha byte is the shadow's opacity */
    int32_t size;    /* distance in pixels */
    uint32_t direction; /* 0..7: north, north-east ... north-west */
    double radius, sigma;
} cxShadowOptions;

typedef struct cxBorderOptions {
    uint32_t on;
    uint32_t colour;
    int32_t size;
} cxBorderOptions;

/* One filter slot of a layer; the layers library gives the slots their
   meaning. */
typedef struct cxFilter {
    uint32_t active;
    uint32_t priority; /* 0..255: higher runs first */
    int32_t ints[4];   /* the integer and level arguments, in order */
    double args[4];    /* the floating-point arguments, in order */
} cxFilter;

#define CX_FILTER_SLOTS 21
#define CX_FILTER_TINT 16 /* ints[0] the colour, ints[1] the level */

typedef struct cxLayerOptions {
    char name[256];
    uint32_t hidden;
    int32_t insertPos;
    int32_t transparency; /* 0 opaque .. 255 invisible */
    cxShadowOptions shadow;
    cxBorderOptions border;
    cxFilter filters[CX_FILTER_SLOTS];
    uint32_t needsLayer;
} cxLayerOptions;

/* Flags of ReadDisplayOptions. */
#define CX_DOPT_INIT 1u         /* fill both blocks from the templates first */
#define CX_DOPT_NEEDTABLE 2u    /* the argument must be a table (ERR_TABEXPECTED) */
#define CX_DOPT_NOSIZE 4u       /* "width" and "height" are not keys of this command */
#define CX_DOPT_MATRIXNOW 8u    /* matrix right after the scale keys; no "rotate" */
#define CX_DOPT_SMOOTHROTATE 16u /* the smoothscale default only for turned images */

/* Copy the templates into a caller's block. */
void InitTransformOptions(cxTransformOptions *t);
void InitLayerOptions(cxLayerOptions *l);
/* The templates themselves, for SetDrawTagsDefault (which replaces both
   and clears the template's name). */
cxTransformOptions *GetTransformTemplate(void);
cxLayerOptions *GetLayerTemplate(void);
/* Restores the built-in templates. */
void ResetDisplayOptionTemplates(void);

/* Copies the templates and stores width and height (0 when equal to the
   source's) and, unless CX_DOPT_SMOOTHROTATE, the smoothscale default. */
void InitDisplayOptions(cxTransformOptions *t, cxLayerOptions *l, int32_t width, int32_t height,
                        int32_t srcWidth, int32_t srcHeight, uint32_t smoothDefault, uint32_t flags);

/* Reads the options table at index (when it is the last argument) into the
   blocks; l may be null. wantWidth/wantHeight: a size the object is shown
   at already (anims), 0 for its own. 0 or an error code; on an error the
   blocks hold what was read so far. */
int ReadDisplayOptions(lua_State *L, int index, int32_t srcWidth, int32_t srcHeight, int32_t wantWidth,
                       int32_t wantHeight, uint32_t smoothDefault, cxTransformOptions *t, cxLayerOptions *l,
                       uint32_t flags);

/* "shadow", "shadowcolor", "shadowdir", "shadowsize", "shadowradius",
   "shadowsigma". 0 or ERR_WRONGUSAGE. */
int ReadShadowOptions(lua_State *L, int table, cxShadowOptions *shadow);
/* "border", "bordercolor", "bordersize" and with edgeKeys "edgecolor",
   "edgesize", "outlinethickness". 0 or ERR_WRONGUSAGE. */
int ReadBorderOptions(lua_State *L, int table, int edgeKeys, cxBorderOptions *border);

/* The size an object of width x height is shown at through the matrix. */
void GetDisplayedSize(const double matrix[4], int32_t width, int32_t height, int32_t *outWidth, int32_t *outHeight);

/* A bitmap with its mask and alpha channel through the matrix into new
   bitmaps (identity: a plain copy; a non-negative diagonal: scaled; else
   turned or sheared, with a mask or alpha channel for the corners). 0 or an
   error; nothing is made on failure. */
int TransformBitmapByMatrix(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t width,
                            int32_t height, const double matrix[4], uint32_t smooth, cxBitmap **outBitmap,
                            cxBitmap **outMask, cxBitmap **outAlpha, int32_t *outWidth, int32_t *outHeight);

/* 1 when any filter slot (the tint included) is active. */
int HasActiveFilters(const cxLayerOptions *l);

/* Layers off: the filters and the transparency of a layer block applied to
   an image drawn directly. Filters change the bitmap, which must be the
   caller's own copy when any is active. A transparency replaces *alpha by
   a new alpha channel (the old alpha scaled, the mask turned into alpha, or
   a plain level) and clears *mask; the old ones are freed when ownsInputs.
   0 or an error, with nothing replaced. */
int ApplyLayerOptionEffects(lua_State *L, const cxLayerOptions *l, int32_t width, int32_t height,
                            cxBitmap *bitmap, cxBitmap **alpha, cxBitmap **mask, int ownsInputs);

#ifdef __cplusplus
}
#endif
