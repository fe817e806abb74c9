// How the layer operations show their changes: commands that change
// several layers collect the boxes in the library's array and redraw them
// once at the end (or, while the display's output is the BGPic it shows,
// leave them for its next frame); and the argument readers they share.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The library's array, emptied, for the boxes of one command. */
cxDirtyRects *BeginLayerChanges(void);
/* Shows the collected boxes on the current display: redrawn at once when
   its output is the display, queued for its next frame when the output is
   the BGPic it shows, dropped otherwise. The array is emptied. */
void EndLayerChanges(lua_State *L, cxDirtyRects *rects);

/* 1 when the compositor draws the layer (not hidden, not suppressed, not a
   placeholder). */
int IsLayerDrawn(const cxLayer *layer);
/* The layer's full box (shadow and border included) into the array when
   the layer is drawn. */
void QueueLayerBox(lua_State *L, cxDirtyRects *rects, cxLayer *layer);

/* A number argument as a coordinate or size: truncated and saturated to 32
   bits; NaN and the infinities give ERR_WRONGUSAGE. An absent or nil
   optional argument gives fallback. */
int ReadLayerNumberArg(lua_State *L, int index, int optional, int32_t fallback, int32_t *out);

/* The layer at a position of the output BGPic: ERR_LAYERRANGE below 1 or
   beyond the last. */
int LayerAtPosition(const struct cxBGPic *bgpic, int32_t position, cxLayer **out);

#ifdef __cplusplus
}
#endif
