// RenderText: a text description becomes pixels in the current output
// (draw and print modes) or an image handed back (object mode). Plain
// one-style text is drawn straight into the target; everything else is laid
// out into an image with its effects, transformed and blitted.
#pragma once

#include "engine/runtime/objects.h"
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

/* Where text layers plug in: the layers library installs the hooks. With
   layers on, addTextLayer receives TextOut's (mode CX_RENDER_DRAW) and
   Print's (CX_RENDER_PRINT) image at its top-left (x, y) with the record
   and the options it was drawn with (opts may be null); it takes the
   bitmaps by clearing them in *image and copies what it keeps of the
   record. addTextObjectLayer shows a text object (DisplayTextObject) with
   its image's top-left at (x, y). Each: 0 or an error code. */
typedef struct cxTextLayerHooks {
    int (*addTextLayer)(lua_State *L, void *display, const cxTextRecord *rec, cxTextImage *image, int32_t x,
                        int32_t y, int mode, const cxTextDrawOptions *opts);
    int (*addTextObjectLayer)(lua_State *L, cxObjectID id, int32_t x, int32_t y, const cxTextDrawOptions *opts);
} cxTextLayerHooks;
void SetTextLayerHooks(const cxTextLayerHooks *hooks);
const cxTextLayerHooks *GetTextLayerHooks(void);

#ifdef __cplusplus
}
#endif
