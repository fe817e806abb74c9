#include "layers/core/effect_hooks.h"

namespace {

cxLayerEffectHooks g_hooks{};

}  // namespace

extern "C" void SetLayerEffectHooks(const cxLayerEffectHooks *hooks) { g_hooks = hooks ? *hooks : cxLayerEffectHooks{}; }
extern "C" const cxLayerEffectHooks *GetLayerEffectHooks(void) { return &g_hooks; }

extern "C" int GetShownLayerImage(lua_State *L, cxLayer *layer, cxLayerState *state, cxLayerShown *out) {
    if (layer->effect && g_hooks.canvas && g_hooks.canvas(layer, state, out)) return 0;
    return GetLayerImage(L, layer, state, 1, 1, out);
}
