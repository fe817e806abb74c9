// The built-in 8-pixel topaz font: a monospaced 1-bit font for codes 32 to
// 255 whose strip and locations are tables of the program.
#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "text/fonts/bitmap_font.h"

namespace {
#include "text/fonts/topaz_glyphs.inc"
static_assert(sizeof kTopazLocations / sizeof kTopazLocations[0] == 255 - 32 + 2);
} // namespace

extern "C" int CreateTopazFont(cxOsFont **out) {
    auto *font = static_cast<cxOsFont *>(calloc(1, sizeof(cxOsFont)));
    auto *d = static_cast<cxBitmapFontDesc *>(calloc(1, sizeof(cxBitmapFontDesc)));
    if (d) {
        d->ySize = 8;
        d->style = 0;
        d->flags = 0x40;
        d->xSize = 8;
        d->baseline = 6;
        d->boldSmear = 1;
        d->accessors = 0;
        d->loChar = 32;
        d->hiChar = 255;
        d->modulo = 188;
        // The tables are only ever read; the description marks them as the
        // program's so that nothing frees them.
        d->strip = const_cast<uint8_t *>(kTopazStrip);
        d->locations = const_cast<uint32_t *>(kTopazLocations);
        d->glyphCount = 255 - 32 + 2;
        d->builtIn = 1;
        d->glyphMask = AllocMask(nullptr, 188 * 8, 8, 0, d->strip, 188);
    }
    if (!font || !d || !d->glyphMask) {
        if (d) FreeMask(d->glyphMask);
        free(d);
        free(font);
        return ERR_MEM;
    }
    strcpy(font->name, "topaz");
    font->kind = CX_FONT_BITMAP;
    font->size = 8;
    font->height = font->designHeight = 8;
    font->baseline = font->designBaseline = 6;
    font->scaleX = font->scaleY = 1.0;
    font->engineData = d;
    *out = font;
    return 0;
}
