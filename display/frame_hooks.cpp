#include "display/frame_hooks.h"

namespace {
cxDisplayFrameHooks g_hooks{};
}  // namespace

extern "C" void SetDisplayFrameHooks(const cxDisplayFrameHooks *hooks) { g_hooks = hooks ? *hooks : cxDisplayFrameHooks{}; }
extern "C" const cxDisplayFrameHooks *GetDisplayFrameHooks(void) { return &g_hooks; }
