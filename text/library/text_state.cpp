#include "text/library/text_state.h"

namespace {
cxTextState g_state{};
} // namespace

extern "C" cxTextState *GetTextState(void) { return &g_state; }
extern "C" cxTextStyle *GetTextStyle(void) { return &g_state.style; }

extern "C" cxOsFont *GetCurrentFont(void) { return g_state.style.font ? g_state.style.font : GetTopazFont(); }

extern "C" void ResetTextStyle(void) {
    cxOsFont *font = g_state.style.font;
    g_state.style = {CX_TEXT_NORMAL, 0xFFFFFF, 0x000000, 0x0093DD, 4, 3, 2, font};
}
