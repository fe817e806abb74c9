// Measuring runs: the font layer's extent widened by the program's bold
// and italic, with the room shadow and edge take.
#include <algorithm>

#include "text/layout/text_types.h"

extern "C" void ClampTextEffects(cxTextStyle *s) {
    s->shadowSize = std::clamp(s->shadowSize, 1, CX_TEXT_MAX_EFFECT);
    s->edgeSize = std::clamp(s->edgeSize, 1, CX_TEXT_MAX_EFFECT);
    if (s->shadowDir < 0 || s->shadowDir > 7) s->shadowDir = 3;
}

extern "C" uint32_t FontEngineStyle(uint32_t flags) {
    if (flags & CX_TEXT_ANTIALIAS) return flags & (CX_FONTSTYLE_BOLD | CX_FONTSTYLE_ITALIC | CX_FONTSTYLE_ANTIALIAS);
    return 0;
}

extern "C" int MeasureTextRun(const char *text, size_t length, int32_t encoding, cxTextRunExtent *out,
                              const cxTextStyle *style) {
    *out = cxTextRunExtent{};
    cxOsFont *font = style->font ? style->font : GetTopazFont();
    if (!font) return 0;
    if (int err = FontTextExtent(font, text, length, FontEngineStyle(style->flags), encoding, &out->font)) return err;
    out->font.height = font->height;
    const bool native = GetNativeFontHandle(font) != nullptr;
    const bool aa = style->flags & CX_TEXT_ANTIALIAS;
    if ((style->flags & CX_TEXT_BOLD) && !native && !aa) out->font.maxX += 1;
    if ((style->flags & CX_TEXT_ITALIC) && !native) {
        out->font.maxX += font->baseline / 2;
        out->font.minX -= (font->height - font->baseline) / 2;
    }
    out->boxWidth = std::max(out->font.advance, out->font.maxX + 1);
    if (style->flags & CX_TEXT_EDGE) {
        const int32_t e = std::clamp(style->edgeSize, 1, CX_TEXT_MAX_EFFECT);
        out->top = out->bottom = out->left = out->right = e;
    }
    if (style->flags & CX_TEXT_SHADOW) {
        const int32_t s = std::clamp(style->shadowSize, 1, CX_TEXT_MAX_EFFECT);
        const int32_t dir = style->shadowDir >= 0 && style->shadowDir <= 7 ? style->shadowDir : 3;
        auto grow = [&](int32_t &m) { m += s; };
        if (dir == 7 || dir == 0 || dir == 1) grow(out->top);
        if (dir >= 1 && dir <= 3) grow(out->right);
        if (dir >= 3 && dir <= 5) grow(out->bottom);
        if (dir >= 5 && dir <= 7) grow(out->left);
    }
    return 0;
}
