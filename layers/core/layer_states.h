// Render states of layers: making, copying and freeing them and the images
// they cache. A state shared by several of a layer's slots is freed once;
// whatever held a pointer to a freed bitmap holds null afterwards.
#pragma once

#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A zeroed state; null when memory runs out. */
cxLayerState *NewLayerState(void);
/* A new state with the geometry and clip region of src (a private clip
   copy is copied: null and ERR_MEM through *error when that fails) and no
   images. */
cxLayerState *CopyLayerStateGeometry(const cxLayerState *src, int *error);

/* Frees the state's bitmaps (the four sets and the shadow alpha), its clip
   region when it is a private copy, and the record. The type is the
   layer's (the content of text, shape and path layers is the layer's own
   and goes with it, see FreeLayerOwnContent). */
void FreeLayerContent(lua_State *L, int32_t type, cxLayerState *state);
/* Frees the three states (each distinct record once), the content, the
   name and the object-data list of a layer, leaving the record itself. */
void FreeLayerStates(lua_State *L, cxLayer *layer);
/* The filtered set of each distinct state. */
void FreeLayerStateBitmaps(cxLayer *layer);
/* The border set of each distinct state. */
void FreeLayerStateExtras(cxLayer *layer);
/* The shadow alpha of each distinct state. */
void FreeLayerShadows(cxLayer *layer);
/* The three, for a layer whose look changed (filters, border, shadow). */
void DropLayerLook(cxLayer *layer);

/* A bitmap set freed and cleared (each may be null). */
void FreeBitmapTriple(cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha);

/* Calls fn once for each distinct state of the layer. */
void ForEachLayerState(cxLayer *layer, void (*fn)(cxLayerState *state, void *user), void *user);

#ifdef __cplusplus
}
#endif
