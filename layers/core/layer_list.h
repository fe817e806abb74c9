// The layer list of a BGPic: positions (1 = back-most), names, groups, the
// order of the list, and where layer commands work: the guard every layer
// command passes and the BGPic that receives layers now.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The BGPic whose layers the current display's layer commands work on:
   the BGPic of a layers-mode SelectBGPic, else the one the display shows.
   Null without a display or picture. */
cxBGPic *GetLayerOutputBGPic(void);
/* The same for a given display. */
cxBGPic *GetDisplayLayerBGPic(const cxDisplay *d);

/* The guard of every layer command, on the current display: 1339 while an
   anim frame is selected, 1082 a brush, 1147 a mask, 1167 an alpha
   channel, 1078 when layers are off; ERR_FINDDISPLAY without a display.
   On success *d and *bgpic (either may be null) are the display and the
   output BGPic (ERR_NOLAYERS when there is none). */
int CheckLayerCommand(cxDisplay **d, cxBGPic **bgpic);

/* The layer at a 1-based position; null below 1 or beyond the last. */
cxLayer *GetLayerByPos(const cxBGPic *bgpic, int32_t position);
int32_t CountLayers(const cxBGPic *bgpic);
/* The 1-based position of the layer in the output BGPic's list; -1 when it
   is not there. */
int32_t GetLayerPos(const cxLayer *layer);
/* The position of a layer in its own list (1-based); -1 when unlisted. */
int32_t GetLayerListPos(const cxLayer *layer);
/* The BGPic whose list holds the layer, or null. */
cxBGPic *GetLayerBGPic(const cxLayer *layer);
/* The first layer (from the back) whose name equals the text without
   regard to case; 0 when none. Group names are not searched. */
int32_t FindLayerPosByName(const cxBGPic *bgpic, const char *name);

/* A layer argument: a number is truncated and returned unchecked; a string
   is a layer name (1369 with the name when absent); other types 1183 with
   the argument index. 0 or the error, *position the result. */
int FindLayer(lua_State *L, int index, const cxBGPic *bgpic, int32_t *position);
/* A layer argument that may name a group: see the member walk in
   layer_list.cpp. Start with *member 0 and call again until it is -1.
   *isGroup (may be null) tells a group from a single layer. */
int NextLayerOfArg(lua_State *L, int index, const cxBGPic *bgpic, cxLayer **out, int32_t *member, int *isGroup);

/* Stores a heap copy of text in *name: 1373 beyond 255 bytes, 1161 when a
   layer of the BGPic other than self already has the text as its name or
   group (without regard to case), 1000 when the copy fails; *name is left
   as it was on error. */
int AssignLayerName(const cxBGPic *bgpic, const cxLayer *self, char **name, const char *text);

/* Moves the layer in its list: 1 the back, 0 or beyond the last the front,
   n so that it ends at position n. 1 when the order changed. */
int SetLayerListPos(cxLayer *layer, int32_t position);
/* Copies hidden, transparency, shadow, border (with their fade levels),
   the filters and the moving-filters flag. */
void CopyLayerStyle(cxLayer *dst, const cxLayer *src);
/* 1 when pixelate, swirl, water ripple or a flip is active. */
int HasPixelMovingFilters(const cxLayer *layer);
/* 1 when any filter slot is active. */
int LayerHasFilters(const cxLayer *layer);

/* The BGPic's layers-changed mark (set by everything that adds, reorders,
   shows or hides layers) and its clip region. */
void MarkLayersChanged(cxBGPic *bgpic);
int LayersChanged(const cxBGPic *bgpic);
void ClearLayersChanged(cxBGPic *bgpic);
cxClipRegion *GetBGPicClipRegion(const cxBGPic *bgpic);
void SetBGPicClipRegion(cxBGPic *bgpic, cxClipRegion *region);

#ifdef __cplusplus
}
#endif
