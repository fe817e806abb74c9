#include "images/core/anim_use.h"
#include "images/core/text_use.h"

namespace {
cxAnimHooks g_anims{};
cxSpriteFrameHooks g_sprites{};
cxTextObjectHooks g_text{};
}  // namespace

extern "C" void SetAnimHooks(const cxAnimHooks *hooks) { g_anims = hooks ? *hooks : cxAnimHooks{}; }
extern "C" const cxAnimHooks *GetAnimHooks(void) { return &g_anims; }
extern "C" void SetSpriteFrameHooks(const cxSpriteFrameHooks *hooks) {
    g_sprites = hooks ? *hooks : cxSpriteFrameHooks{};
}
extern "C" const cxSpriteFrameHooks *GetSpriteFrameHooks(void) { return &g_sprites; }
extern "C" void SetTextObjectHooks(const cxTextObjectHooks *hooks) { g_text = hooks ? *hooks : cxTextObjectHooks{}; }
extern "C" const cxTextObjectHooks *GetTextObjectHooks(void) { return &g_text; }
