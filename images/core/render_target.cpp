#include "images/core/render_target.h"

#include "errors/error_codes.h"

namespace {
cxRenderTargetHooks g_hooks{};
}  // namespace

extern "C" void SetRenderTargetHooks(const cxRenderTargetHooks *hooks) {
    g_hooks = hooks ? *hooks : cxRenderTargetHooks{};
}

extern "C" void *GetSelectedObject(uint32_t kind) {
    uint32_t k = 0;
    void *record = nullptr;
    if (!g_hooks.selectedObject || !g_hooks.selectedObject(&k, &record) || k != kind) return nullptr;
    return record;
}

extern "C" int GetSelectedKind(uint32_t *kind) {
    void *record = nullptr;
    return g_hooks.selectedObject && g_hooks.selectedObject(kind, &record);
}

extern "C" int IsSelectedObject(uint32_t kind, const void *record) {
    return record && GetSelectedObject(kind) == record;
}

extern "C" void EndRenderTarget(lua_State *L) {
    if (g_hooks.endRenderTarget) g_hooks.endRenderTarget(L);
}

extern "C" int PrepareDrawTarget(lua_State *L) { return g_hooks.prepareDrawTarget ? g_hooks.prepareDrawTarget(L) : 0; }

extern "C" int RefuseRedirectedOutput(const cxDisplay *d) {
    switch (d->targetKind) {
    case 1: return ERR_SELECTBG;  // a layers-mode SelectBGPic
    case 3: {
        if (d->doubleBuffer1) return ERR_ENDDOUBLEBUFFER;
        uint32_t kind = 0;
        return GetSelectedKind(&kind) && kind == 4 ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    case 28: return ERR_SELECTMASK;
    case 30: return ERR_SELECTALPHACHANNEL;
    default: return 0;
    }
}
