// Fuzz target of the style-tag parser and the layout engine: the first two
// bytes choose the alignment, the wrap width and the tags switch, the rest
// is the text; laid out and drawn in topaz.
#include <cstdint>
#include <cstring>
#include <string>

#include "text/layout/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static cxOsFont *topaz = nullptr;
    if (!topaz && StartFontEngines(&topaz)) return 0;
    if (size < 2 || size > 4096) return 0;
    static const int32_t aligns[4] = {CX_ALIGN_LEFT, CX_ALIGN_CENTER, CX_ALIGN_RIGHT, CX_ALIGN_JUSTIFIED};
    cxTextRecord rec{};
    rec.style = {CX_TEXT_NORMAL, 0xFFFFFF, 0, 0x0093DD, 4, 3, 2, topaz};
    rec.align = aligns[data[0] & 3];
    rec.rightMargin = (data[1] & 0x7F) * 4;
    rec.encoding = (data[0] >> 2) & 1;
    rec.tabStops[0] = 40;
    rec.tabStops[1] = 200;
    rec.tabCount = 2;
    const int mode = (data[0] & 8) ? CX_RENDER_PRINT : CX_RENDER_DRAW;
    if (mode == CX_RENDER_PRINT) rec.rightMargin = rec.rightMargin + 10;
    std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    text = text.substr(0, strlen(text.c_str()));
    rec.text = text.data();
    cxTextLayout layout;
    if (LayoutText(nullptr, rec, mode, (data[1] & 0x80) != 0, layout)) return 0;
    if (int64_t(layout.right - layout.left) * (layout.bottom - layout.top) > (1 << 22)) return 0;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (DrawTextLayout(layout, rec, &b, &m, &a) == 0) {
        FreeBitmap(b);
        FreeMask(m);
        FreeAlphaChannel(a);
    }
    return 0;
}
