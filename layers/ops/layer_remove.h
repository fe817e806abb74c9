// Taking layers away: several named layers at once, the layer a given
// object made (Undo), and all layers of the output BGPic, dropped from the
// picture or baked into it.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Most layers one RemoveLayer takes. */
#define CX_REMOVELAYER_MAX 256

/* Removes and frees the layers (a layer named twice goes once) and
   redraws what they covered in one go. Every layer is checked first:
   ERR_REMADLAYER for one an async draw animates, and nothing is removed. */
int RemoveLayerList(lua_State *L, cxLayer **layers, int32_t count);

/* Undo's work: the level-th layer (counted from the front) whose type is
   kind and whose origin is id leaves the list; with keepOnScreen its
   pixels stay on the screen until something redraws them. outBox (may be
   null) receives its full box; dirty (may be null) collects the box
   instead of redrawing it. 0 also when no layer matches; the guard's
   errors; ERR_REMADLAYER for a layer an async draw animates. */
int FindLayerOfObject(lua_State *L, int32_t kind, cxObjectID id, int32_t level, int keepOnScreen, int32_t *outBox,
                      cxDirtyRects *dirty);

/* RemoveLayers (bake 0) and FreeLayers: every layer of the output BGPic
   goes. With bake, what the display shows stays: the composited picture
   becomes the display's background copy (the BGPic itself is unchanged).
   Without, the plain picture is shown again. The guard's errors;
   ERR_REMADLAYER while an async draw animates a layer; ERR_WRONGUSAGE for
   baking into a BGPic the display does not show. Nothing is freed on an
   error. */
int RemoveAllLayers(lua_State *L, int bake);

#ifdef __cplusplus
}
#endif
