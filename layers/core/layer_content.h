// What a layer shows, by type, and its image through a transform. Brush
// layers show their brush by ID; every other type keeps a content record
// of its own (cxLayer.content), shared by all of the layer's states:
//   ANIM, BGPICPART, TEXTOBJECT, VIDEO  cxLayerImageContent (layer.h)
//   TEXTOUT, PRINT                      cxLayerTextContent
//   BOX ... ARC                         cxLayerShapeContent
//   VECTORPATH                          cxLayerPathContent
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "graphics/draw/shape_raster.h"
#include "graphics/gradient/gradient.h"
#include "layers/core/layer.h"
#include "text/library/render_text.h"
#include "text/vector/path_render.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxLayerTextContent {
    cxTextRecord *record;       /* an own copy (text and tables) */
    cxTextDrawOptions options;  /* what it was drawn with */
    int32_t mode;               /* CX_RENDER_DRAW (TextOut) or CX_RENDER_PRINT */
    int32_t offsetX, offsetY;   /* the first image's offset from the text position */
} cxLayerTextContent;

typedef struct cxLayerShapeContent {
    cxShape shape;       /* relative to the layer's position; points below */
    double *points;      /* polygon vertices, own copy */
    cxDrawStyle style;
    uint32_t colour;
    /* A gradient fill's centre, balance, border and colour stops (style,
       colours and angle are the drawing style's); the stops replace the
       two colours while gradientTable is set. */
    cxGradient gradient;
    uint32_t gradientTable;
} cxLayerShapeContent;

typedef struct cxLayerPathContent {
    cxPathRender render; /* items and the dash array are own copies */
    int32_t originX, originY; /* the path origin relative to the image's top-left */
} cxLayerPathContent;

/* A content image: a rectangle of bitmaps (owned: the caller's to free)
   and where its top-left lies relative to the state's given position. */
typedef struct cxLayerImage {
    cxBitmap *bitmap, *mask, *alpha;
    int32_t srcX, srcY;          /* the rectangle in the bitmaps */
    int32_t width, height;
    int32_t offsetX, offsetY;
    int32_t srcWidth, srcHeight; /* before the transform */
    int32_t owned;
} cxLayerImage;
void FreeLayerImage(cxLayerImage *image);

/* Content records; each takes over or copies as said, null when memory
   runs out (nothing is taken then). */
cxLayerImageContent *NewImageContent(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width,
                                     int32_t height);                     /* takes the bitmaps */
cxLayerTextContent *NewTextContent(const cxTextRecord *record, const cxTextDrawOptions *options, int32_t mode,
                                   int32_t offsetX, int32_t offsetY);     /* copies the record */
cxLayerShapeContent *NewShapeContent(const cxShape *shape, const cxDrawStyle *style, uint32_t colour,
                                     double originX, double originY);     /* copies; moves the shape by -origin */
cxLayerPathContent *NewPathContent(const cxPathRender *render);          /* copies items and dashes */
/* A copy of a layer's content (for a layer built from another). */
void *CopyLayerOwnContent(int32_t type, const void *content);
void FreeLayerOwnContent(int32_t type, void *content);

/* The layer's content through the matrix (null: the layer's own
   transform). With an identity matrix the image of a brush or of an image
   content is the object's own (not owned); everything else is made anew.
   0 or an error: 1055 for a placeholder, the lookup error of a brush that
   is gone, 1522/1564/1565 and the renderers' errors. */
int RenderContentImage(lua_State *L, const cxLayer *layer, const cxLayerState *state, const double *matrix,
                       cxLayerImage *out);

/* A shape drawn into new bitmaps of its box: a colour bitmap with an alpha
   channel of its coverage; *x, *y the box's top-left. 0 or an error. */
int RenderShapeImage(const cxShape *shape, const cxDrawStyle *style, uint32_t colour, cxBitmap **bitmap,
                     cxBitmap **alpha, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
/* A path drawn into new bitmaps (fill colour or gradient with an alpha
   channel of the coverage), turned by matrix (may be null) about its
   origin; *x, *y the image's top-left relative to the path origin. */
int RenderPathImage(cxPathRender *render, const double *matrix, cxBitmap **bitmap, cxBitmap **alpha, int32_t *x,
                    int32_t *y, int32_t *width, int32_t *height);

#ifdef __cplusplus
}
#endif
