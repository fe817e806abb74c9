#include "images/core/layer_use.h"

namespace {
cxLayerHooks g_hooks{};
}  // namespace

extern "C" void SetLayerHooks(const cxLayerHooks *hooks) { g_hooks = hooks ? *hooks : cxLayerHooks{}; }
extern "C" const cxLayerHooks *GetLayerHooks(void) { return &g_hooks; }

extern "C" void RedirectLayers(lua_State *L, int kind, cxObjectID from, cxObjectID to) {
    if (g_hooks.redirectLayers) g_hooks.redirectLayers(L, kind, from, to);
}

extern "C" int CopyOnWrite(lua_State *L, int kind, cxObjectID id, int32_t *uses, cxCopyRecordFunc copy, void *record,
                           void **outCopy, int32_t *(*usesOf)(void *copy)) {
    *outCopy = nullptr;
    if (!uses || *uses <= 0) return 0;
    void *made = nullptr;
    if (int err = copy(L, record, cxObjectID{0, reinterpret_cast<void *>(1)}, &made)) return err;
    // The copy's automatic ID is its own address.
    RedirectLayers(L, kind, id, cxObjectID{0, made});
    *usesOf(made) = *uses;
    *uses = 0;
    *outCopy = made;
    return 0;
}
