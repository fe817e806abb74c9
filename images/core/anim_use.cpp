#include "images/core/anim_use.h"

namespace {
cxAnimHooks g_anims{};
cxSpriteFrameHooks g_sprites{};
}  // namespace

extern "C" void SetAnimHooks(const cxAnimHooks *hooks) { g_anims = hooks ? *hooks : cxAnimHooks{}; }
extern "C" const cxAnimHooks *GetAnimHooks(void) { return &g_anims; }
extern "C" void SetSpriteFrameHooks(const cxSpriteFrameHooks *hooks) {
    g_sprites = hooks ? *hooks : cxSpriteFrameHooks{};
}
extern "C" const cxSpriteFrameHooks *GetSpriteFrameHooks(void) { return &g_sprites; }
