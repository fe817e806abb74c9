// RenderText: a text description becomes pixels in the current output
// (draw and print modes) or an image handed back (object mode). Plain
// one-style text is drawn straight into the target; everything else is laid
// out into an image with its effects, transformed and blitted.
#pragma once

#include "engine/vm/lua.h"
#include "images/core/display_options.h"
#include "text/layout/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTextImage {
    cxBitmap *bitmap, *mask, *alpha;
    int32_t width, height;
    int32_t offsetX, offsetY; /* the image's top-left relative to the text position */
} cxTextImage;

/* What a drawing command's display options give the text. */
typedef struct cxTextDrawOptions {
    double anchorX, anchorY;
    double matrix[4]; /* m00, m01, m10, m11 */
    int32_t smooth;
    int32_t effects;        /* the layer block holds filters or a transparency */
    cxLayerOptions layer;   /* what a layer made of the text looks like */
} cxTextDrawOptions;

void InitTextDrawOptions(cxTextDrawOptions *o);

/* Flags of RenderText. */
#define CX_RENDER_KEEPTABLES 16u /* leave the line-break and tab tables on the record */
#define CX_RENDER_NOLAYER 32u    /* never hand the image to a layer */
#define CX_RENDER_SCALECURSOR 64u

/* mode: CX_RENDER_OBJECT (out receives the image), CX_RENDER_DRAW or
   CX_RENDER_PRINT (the record's cursor fields are advanced in print mode).
   opts may be null. 0 or the layout, font and allocation errors; nothing
   is drawn on error. */
int RenderText(lua_State *L, cxTextRecord *rec, int mode, int tagsOff, const cxTextDrawOptions *opts, uint32_t flags,
               cxTextImage *out);
void FreeTextImage(cxTextImage *image);

/* Puts an image into the current output with its top-left at (x, y) and
   refreshes the changed box; opts (may be null) gives the filters and the
   transparency drawn with it. The image stays the caller's. 0 or the
   output's error. */
int BlitTextImage(lua_State *L, const cxTextImage *image, int32_t x, int32_t y, const cxTextDrawOptions *opts);

/* Where text layers plug in: the layers library installs addTextLayer,
   which takes the image (and a copy of the record) when layers are on. */
typedef struct cxTextLayerHooks {
    int (*addTextLayer)(lua_State *L, void *display, const cxTextRecord *rec, cxTextImage *image, int32_t x,
                        int32_t y);
} cxTextLayerHooks;
void SetTextLayerHooks(const cxTextLayerHooks *hooks);

#ifdef __cplusplus
}
#endif
