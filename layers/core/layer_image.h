// The images of a layer: what the compositor draws (GetLayerImage), the
// filtered and border images it caches per state, rendering a layer's
// content into a new state (RenderLayerImage), and the transform analysis
// that lets text turn by whole degrees instead of through a bitmap.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What GetLayerImage finds: a rectangle of bitmaps the layer or its source
   owns (never the caller's to free). */
typedef struct cxLayerShown {
    cxBitmap *bitmap, *mask, *alpha;
    int32_t srcX, srcY;
    int32_t width, height;
} cxLayerShown;

/* The image of a state, in this order: with useFiltered the filtered image
   (brought up to date; the async-draw buffers instead when they exist,
   useAsync is set and no filter moves pixels); without a filtered image
   the async-draw buffers when useAsync; the state's own image; the
   source's (the brush, by ID) or the content's image. 1055 for a
   placeholder, the brush lookup's error when it is gone. */
int GetLayerImage(lua_State *L, cxLayer *layer, cxLayerState *state, int useFiltered, int useAsync,
                  cxLayerShown *out);
/* Makes the state's filtered image when a filter is active and there is
   none yet. 0 or an error (nothing is kept then). */
int UpdateFilteredImage(lua_State *L, cxLayer *layer, cxLayerState *state, int useAsync);
/* Makes the state's border image (colour, mask or alpha, offset and size)
   when the border is on and there is none yet. 0, 1522, 1564, or the
   image's error. */
int BuildLayerBorder(lua_State *L, cxLayer *layer, cxLayerState *state);

/* Modes of RenderLayerImage. */
#define CX_RENDER_DISPLAYSTATE 1u /* display scaling: not built (see layer_image.cpp) */
#define CX_RENDER_PREVIOUSBOX 2u  /* refresh the span of the old and the new box */
#define CX_RENDER_KEEPOLD 4u

/* Renders the layer's content through its transform into a new state
   that becomes its picture and display state; the base state stays. On
   failure the layer keeps its states and images and the error is
   returned. */
int RenderLayerImage(lua_State *L, cxLayer *layer, uint32_t mode);

/* A box and whether it may be refreshed: a width of -1 says there is no
   previous box. */
typedef struct cxLayerBox {
    int32_t x, y, width, height;
    int32_t noRefresh;
} cxLayerBox;

/* Renders the content into a state at the given position (its anchor
   point; for text and paths the image's top-left at creation) and
   installs the image with SetLayerImage. transform must not be the
   layer's own block (a copy): when it is, the console says so and
   nothing is rendered. 0 or the error. */
int RenderLayerContent(lua_State *L, cxLayer *layer, int32_t x, int32_t y, cxLayerState *state, cxLayerBox *box,
                       const cxLayerTransform *transform, uint32_t flags);

/* Sets the general flag unless the matrix is a turn by a whole degree at
   one scale (then analysedX and analysedY hold it). */
void AnalyzeTransformMatrix(cxLayerTransform *transform);
/* The matrix from the scales, the size wanted and the rotation, or the
   explicit "transform". */
void BuildTransformMatrix(cxLayerTransform *transform, int32_t srcWidth, int32_t srcHeight);
/* x' = lrint(x * fx), width' = lrint((x + width - 1) * fx) - x' + 1, and
   the same for y; each output may be null. */
void ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t *outX, int32_t *outY, int32_t *outWidth,
               int32_t *outHeight, double fx, double fy);
/* The border width a matrix gives a border of size around w x h: the size
   itself for an identity, else how far the box of (w + 2 size) x
   (h + 2 size) reaches beyond that of w x h, both turned about their
   centres. */
int32_t GetBorderShift(const double matrix[4], int32_t width, int32_t height, int32_t size);

#ifdef __cplusplus
}
#endif
