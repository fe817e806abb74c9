// Where layers lie and in which order: moving, swapping, showing and
// hiding (a group name stands for all its members, moved as one block),
// and the place of a layer in its list.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The layers a layer argument names: a position or a layer name gives one
   layer, any other string the members of that group, back to front, found
   in one walk of the list. 0, ERR_LAYERRANGE, ERR_FINDLAYER (the name as
   detail) or ERR_STRORNUM. *count receives the number of layers; *layers
   (free()) holds them, null for none. */
int CollectLayerArg(lua_State *L, int index, const cxBGPic *bgpic, cxLayer ***layers, int32_t *count, int *isGroup);

/* ShowLayer and HideLayer: every layer the argument at index names gets
   the hidden flag and, when shown, moves to (x, y): keep and relative
   codes apply to each member, other coordinates (special ones resolved)
   place a single layer's anchor point or a group's spanning box. Every
   box goes into one redraw. Errors of CollectLayerArg and the guard;
   nothing changes on an error. */
int SetLayerVisibility(lua_State *L, int index, int64_t x, int64_t y, int hide);

/* Exchanges the places of two layers of one list and redraws what they
   cover. */
void SwapLayerPlaces(lua_State *L, cxLayer *a, cxLayer *b);

/* Moves a layer to a position of its list (1 the back, 0 or beyond the
   last the front); when it moved, the BGPic is marked changed and the
   layer's box redrawn. 1 when it moved. */
int MoveLayerInList(lua_State *L, cxLayer *layer, int32_t position);

#ifdef __cplusplus
}
#endif
