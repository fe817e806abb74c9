// What the layer core asks of a transition effect running on a layer (the
// layer's effect flag is set meanwhile): the image the compositor draws in
// the layer's place (the effect's canvas), and notes that the layer is
// going or that its image was replaced. The transitions library installs
// them; without them a layer always shows its own image.
#pragma once

#include "engine/vm/lua.h"
#include "layers/core/layer.h"
#include "layers/core/layer_image.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxLayerEffectHooks {
    /* 1 and the canvas (owned by the effect) when an effect shows one for
       the layer on this state; 0 to show the layer's own image. */
    int (*canvas)(const cxLayer *layer, const cxLayerState *state, cxLayerShown *out);
    /* The layer is unlinked and about to be freed. */
    void (*layerFreed)(lua_State *L, cxLayer *layer);
    /* The layer's image was replaced (rendered again, resized). */
    void (*imageReplaced)(lua_State *L, cxLayer *layer);
} cxLayerEffectHooks;

/* Installs the hooks (copied); null removes them. */
void SetLayerEffectHooks(const cxLayerEffectHooks *hooks);
const cxLayerEffectHooks *GetLayerEffectHooks(void);

/* The image the compositor draws for a layer: an effect's canvas while
   one runs on it, else GetLayerImage with the filtered image and the
   async-draw buffers. */
int GetShownLayerImage(lua_State *L, cxLayer *layer, cxLayerState *state, cxLayerShown *out);

#ifdef __cplusplus
}
#endif
