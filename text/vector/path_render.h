// Path rendering: a path becomes coverage through the current vector
// engine and is drawn, in the draw library's style, into the current
// output: through SafeBlt onto a display, straight into a selected brush,
// mask or alpha channel, or handed to the layers when they are on.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/draw/shape_raster.h"
#include "graphics/vector/path.h"
#include "graphics/vector/path_style.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One drawing: what DrawPath hands the renderer, and what vector-path
   layers and vector brushes keep (with their own copy of the items). */
typedef struct cxPathRender {
    int32_t x, y;          /* resolved position, written by RenderPath */
    int32_t width, height; /* pixel size, written by RenderPath */
    const uint8_t *items;
    uint32_t capacity;
    cxPathStyle style;     /* vector settings and the drawing style */
    uint32_t colour;       /* of colour fills and outlines */
    cxPlugin *engine;      /* null: the inbuilt engine */
    cxObjectID path;       /* the path drawn, when a path object was ({0, null} else) */
} cxPathRender;

/* While layers are on, a drawing becomes a layer through this hook (the
   layers library registers it); without one it is drawn straight. The
   record is the caller's: the hook copies what it keeps. Its x and y hold
   the position as given (special coordinates unresolved). */
typedef int (*cxPathLayerHook)(lua_State *L, const cxPathRender *render, int optionsIndex);
void SetPathLayerHook(cxPathLayerHook hook);

/* Renders a drawing at (x, y) (special coordinates allowed) into the
   current output. 0, ERR_EMPTYPATH (nothing to draw), ERR_COORDSRANGE (a
   number not finite, or beyond what the engine or a bitmap places),
   ERR_INTERNAL (more points than the inbuilt engine's outlines hold),
   ERR_DRAWPATH, ERR_BITMAP, ERR_ALLOCALPHA, ERR_VFONT and the errors of
   the output. */
int RenderPath(lua_State *L, cxPathRender *render, int32_t x, int32_t y, int optionsIndex);

/* Renders a drawing's coverage only (the pixel box from its extents),
   through matrix (null: none) after moving the path by (ox, oy): 0 and a
   malloc'd buffer of width * height bytes with the box's corner relative
   to the path's origin, or the errors of RenderPath. */
int RenderPathCoverage(cxPathRender *render, int fill, int32_t lineWidth, const double *matrix, double ox, double oy,
                       uint8_t **coverage, int32_t *boxX, int32_t *boxY, int32_t *width, int32_t *height);

/* Gives every Text item of a drawing the engine's handle of its font.
   0, ERR_VFONT or the engine's error. */
int BindPathTextItems(const cxPathRender *render, cxPlugin *engine);

/* Fills a whole bitmap with a drawing's fill: the drawing style's
   gradient for gradient fills, else the colour. 0 or the fill's error. */
int FillPathImage(const cxPathRender *render, cxBitmap *image, int32_t width, int32_t height);

/* DrawPath's work: finds the path and renders it with the current engine,
   vector style and drawing style. */
int DrawPathCommand(lua_State *L, cxObjectID id, int32_t x, int32_t y, uint32_t colour, int optionsIndex);

/* The draw library's shapes as temporary paths (ForcePathUse). */
int DrawShapeAsPath(lua_State *L, const cxShape *shape, uint32_t colour);

#ifdef __cplusplus
}
#endif
