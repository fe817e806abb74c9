#include "layers/core/anim_hooks.h"

namespace {
cxLayerAnimHooks g_hooks{};
}  // namespace

extern "C" void SetLayerAnimHooks(const cxLayerAnimHooks *hooks) { g_hooks = hooks ? *hooks : cxLayerAnimHooks{}; }
extern "C" const cxLayerAnimHooks *GetLayerAnimHooks(void) { return &g_hooks; }
