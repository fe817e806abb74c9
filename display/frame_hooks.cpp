#include "display/frame_hooks.h"

namespace {
cxDisplayFrameHooks g_hooks{};
}  // namespace

extern "C" void SetDisplayFrameHooks(const cxDisplayFrameHooks *hooks) { g_hooks = hooks ? *hooks : cxDisplayFrameHooks{}; }
extern "C" const cxDisplayFrameHooks *GetDisplayFrameHooks(void) { return &g_hooks; }

#include "display/video_hooks.h"

namespace {
cxDisplayVideoHooks g_videoHooks{};
}  // namespace

extern "C" void SetDisplayVideoHooks(const cxDisplayVideoHooks *hooks) {
    g_videoHooks = hooks ? *hooks : cxDisplayVideoHooks{};
}
extern "C" const cxDisplayVideoHooks *GetDisplayVideoHooks(void) { return &g_videoHooks; }
