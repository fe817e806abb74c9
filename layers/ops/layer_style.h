// Layer styles: every property of a layer read as one table
// (GetLayerStyle) and changed by a table of the same keys
// (SetLayerStyle). ApplyLayerStyle is the one road that changes a layer's
// content, geometry, transform and look; the single-purpose commands
// (anchor, transform, rotation, scale, tint, transparency, filters, anim
// frames) build a small table and take it too.
//
// A table is applied all or nothing: it is read and checked into a
// working copy of the layer's values (owned things, such as a changed
// content record, made anew), rendered, and only then put in place; any
// failure leaves the layer as it was.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Pushes the style table of a layer: its content keys by type, then
   "type", "x", "y", "width", "height", "rotate", "scalex", "scaley",
   "anchorx", "anchory", "smoothscale", "transform", "transparency",
   "tint", "tintcolor", "hidden", "clipregion", "shadow" (with its keys when
   on), the border keys, "filters", "group", "name" and "z". */
void PushLayerStyle(lua_State *L, cxLayer *layer);

/* Applies the style table at index to the layer. The boxes to redraw (the
   layer's before and after) go into dirty (may be null: not collected).
   *kinds (may be null) gains the kinds of objects whose deferred freeing
   may now complete (CX_FREEKIND_*). 0 or an error, the layer unchanged. */
int ApplyLayerStyle(lua_State *L, cxLayer *layer, int table, cxDirtyRects *dirty, uint32_t *kinds);

/* SetLayerStyle's core: the arguments 1 .. count are (layer, table) pairs;
   each table is applied to its layer (the first error is returned; pairs
   before it stay applied), then, unless noRefresh, the boxes are redrawn
   once, and the objects left pending free are freed. The guard's errors,
   ERR_LAYERRANGE, and those of FindLayer and ApplyLayerStyle. */
int SetLayerStyleByID(lua_State *L, int count, int noRefresh);

/* Applies {"x" = x, "y" = y, "frame" = frame} to a layer (frame 0: not
   given), through SetLayerStyleByID. */
int SetLayerPosFrame(lua_State *L, cxLayer *layer, int32_t x, int32_t y, int32_t frame, int noRefresh);

/* SetLayerBorder and SetLayerShadow after their arguments were checked:
   the block is stored, the cached images built from the old look go, and
   the box before and after is redrawn as one. Switching off what is off
   does nothing. */
void SetLayerBorderBlock(lua_State *L, cxLayer *layer, const cxBorderOptions *border);
void SetLayerShadowBlock(lua_State *L, cxLayer *layer, const cxShadowOptions *shadow);

#ifdef __cplusplus
}
#endif
