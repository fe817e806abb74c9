#include "graphics/blit/blit_settings.h"

namespace {
cxBlitSettings g_settings{0, CX_ALPHA_PLAIN, 0};
}

extern "C" cxBlitSettings *GetBlitSettings(void) { return &g_settings; }
extern "C" void ResetBlitSettings(void) { g_settings = cxBlitSettings{0, CX_ALPHA_PLAIN, 0}; }
