// Loading and rendering one glyph, with synthetic bold and italic, and the
// per-character caches of plain glyphs below code 256.
#include <cstdlib>
#include <cstring>

#include "text/fonts/truetype_engine.h"

#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

namespace {

// A slant of 0.375 for synthetic italics.
const FT_Matrix kItalic{0x10000, 0x6000, 0, 0x10000};

void FromSlot(FT_GlyphSlot slot, cxTrueTypeGlyph *out) {
    const FT_Bitmap &b = slot->bitmap;
    out->left = slot->bitmap_left;
    out->top = slot->bitmap_top;
    out->advance = int32_t(slot->metrics.horiAdvance);
    out->width = int32_t(b.width);
    out->rows = int32_t(b.rows);
    out->mono = b.pixel_mode == FT_PIXEL_MODE_MONO;
    // Rows run from the top whatever the sign of the pitch.
    out->pitch = b.pitch;
    out->buffer = b.pitch < 0 && b.rows ? b.buffer + size_t(b.rows - 1) * size_t(-b.pitch) : b.buffer;
}

bool Store(cxCachedGlyph *c, const cxTrueTypeGlyph &g) {
    const int32_t rowBytes = g.mono ? (g.width + 7) / 8 : g.width;
    const size_t bytes = size_t(rowBytes) * size_t(g.rows);
    auto *buffer = static_cast<uint8_t *>(malloc(bytes ? bytes : 1));
    if (!buffer) return false;
    for (int32_t y = 0; y < g.rows; ++y) memcpy(buffer + size_t(y) * rowBytes, g.buffer + ptrdiff_t(y) * g.pitch, size_t(rowBytes));
    *c = {buffer, g.left, g.top, g.advance, g.width, g.rows, rowBytes, uint32_t(g.mono)};
    return true;
}

} // namespace

extern "C" {

void FlushGlyphCaches(cxTrueTypeFont *e) {
    for (auto &cache : e->cache)
        for (cxCachedGlyph &c : cache) {
            free(c.buffer);
            c.buffer = nullptr;
        }
}

void FlushTrueTypeGlyphCache(cxOsFont *font) {
    if (font && font->engineData) FlushGlyphCaches(static_cast<cxTrueTypeFont *>(font->engineData));
}

int LoadTrueTypeGlyph(cxTrueTypeFont *e, uint32_t code, uint32_t glyphIndex, uint32_t style, cxTrueTypeGlyph *out) {
    const bool aa = (style & CX_FONTSTYLE_ANTIALIAS) != 0;
    const bool cacheable = e->glyphCache && code < 256 && !(style & (CX_FONTSTYLE_BOLD | CX_FONTSTYLE_ITALIC));
    cxCachedGlyph *c = cacheable ? &e->cache[aa][code] : nullptr;
    if (c && c->buffer) {
        *out = {c->left, c->top, c->advance, c->width, c->rows, c->pitch, int32_t(c->mono), c->buffer};
        return 0;
    }
    if (FT_Load_Glyph(e->face, glyphIndex, FT_LOAD_NO_AUTOHINT)) return -1;
    FT_GlyphSlot slot = e->face->glyph;
    if (style & CX_FONTSTYLE_BOLD) FT_GlyphSlot_Embolden(slot);
    if ((style & CX_FONTSTYLE_ITALIC) && slot->format == FT_GLYPH_FORMAT_OUTLINE)
        FT_Outline_Transform(&slot->outline, &kItalic);
    if (FT_Render_Glyph(slot, aa ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO)) return -1;
    FromSlot(slot, out);
    // A glyph that cannot be kept is still drawn this once.
    if (c && Store(c, *out)) out->buffer = c->buffer, out->pitch = c->pitch;
    return 0;
}

} // extern "C"
