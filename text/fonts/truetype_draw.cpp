// Drawing and measuring runs of TrueType text, and kerning queries. The pen
// moves by FreeType's advance in whole pixels plus the kerning pair in whole
// pixels, so that a drawn pair moves by exactly what the kerning query says.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "text/fonts/glyph_blit.h"
#include "text/fonts/truetype_engine.h"

namespace {

// Code points of a text: decoded UTF-8 or its bytes.
class CodePoints {
public:
    CodePoints(const char *text, size_t length, int utf8) {
        const int rc = DecodeTextCodePoints(text, length, utf8, local_, kLocal, &points_, &count_, &owned_);
        if (rc == ERR_MEM) {
            failed_ = true;
        } else if (rc) {
            bytes_ = reinterpret_cast<const uint8_t *>(text);
            count_ = length;
        }
    }
    ~CodePoints() {
        if (owned_) free(points_);
    }
    CodePoints(const CodePoints &) = delete;
    CodePoints &operator=(const CodePoints &) = delete;
    bool failed() const { return failed_; }
    size_t size() const { return count_; }
    uint32_t operator[](size_t i) const { return bytes_ ? bytes_[i] : points_[i]; }

private:
    static constexpr size_t kLocal = 256;
    uint32_t local_[kLocal];
    uint32_t *points_ = nullptr;
    const uint8_t *bytes_ = nullptr;
    size_t count_ = 0;
    int owned_ = 0;
    bool failed_ = false;
};

// The kerning of a pair in whole pixels, truncated toward zero.
int32_t PairKerning(cxTrueTypeFont *e, FT_UInt left, FT_UInt right) {
    FT_Vector k{};
    if (!left || !right || FT_Get_Kerning(e->face, left, right, FT_KERNING_UNSCALED, &k) || !e->face->units_per_EM)
        return 0;
    return int32_t(int64_t(k.x) * e->face->size->metrics.x_ppem / e->face->units_per_EM);
}

// Walks a text: for each glyph that loads, fn(glyph, pen before it); the
// pen advances as drawing does. Returns the final pen.
template <class Fn>
int64_t WalkText(cxOsFont *font, const CodePoints &cp, uint32_t style, Fn &&fn) {
    auto *e = static_cast<cxTrueTypeFont *>(font->engineData);
    const bool kerning = FT_HAS_KERNING(e->face);
    const double sx = font->scaleX;
    int64_t pen = 0;
    FT_UInt index = cp.size() ? FT_Get_Char_Index(e->face, cp[0]) : 0;
    for (size_t i = 0; i < cp.size(); ++i) {
        const FT_UInt next = i + 1 < cp.size() ? FT_Get_Char_Index(e->face, cp[i + 1]) : 0;
        const int32_t kern = kerning ? PairKerning(e, index, next) : 0;
        cxTrueTypeGlyph g;
        if (LoadTrueTypeGlyph(e, cp[i], index, style, &g) == 0) {
            fn(g, pen, cp[i]);
            if (sx == 1.0) pen += g.advance / 64 + kern;
            else pen += int64_t(std::trunc(g.advance * sx / 64.0)) + int64_t(std::trunc(kern * sx));
        }
        index = next;
    }
    return pen;
}

} // namespace

extern "C" {

int DrawTrueTypeText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                     size_t length, uint32_t style, int utf8, const cxClipRect *clip, int32_t colour) {
    CodePoints cp(text, length, utf8);
    if (cp.failed()) return ERR_MEM;
    cxOsBitmapLock dst{};
    if (!target || !LockBitmap(target, 0, &dst)) return 0;
    cxClipRect box;
    ClipToTarget(&dst, clip, &box);
    const bool colourTarget = colour != -1 && dst.pixelFormat < CX_PIXFMT_COUNT;
    const uint32_t pixel = colourTarget ? ColorToPixel(uint32_t(colour), dst.pixelFormat, 0) : 0;
    const int64_t right = int64_t(box.x) + box.width, bottom = int64_t(box.y) + box.height;
    WalkText(font, cp, style, [&](const cxTrueTypeGlyph &g, int64_t pen, uint32_t) {
        int64_t gx = int64_t(x) + pen + g.left, gy = int64_t(y) + font->baseline - g.top;
        int64_t sx = 0, sy = 0, w = g.width, h = g.rows;
        if (gx < box.x) sx = box.x - gx, w -= sx, gx = box.x;
        if (gy < box.y) sy = box.y - gy, h -= sy, gy = box.y;
        w = std::min(w, right - gx);
        h = std::min(h, bottom - gy);
        if (w < 1 || h < 1) return;
        const cxGlyphBlit b{g.buffer, g.pitch, int32_t(sx), int32_t(sy), int32_t(gx), int32_t(gy), int32_t(w), int32_t(h)};
        if (colourTarget) {
            if (g.mono) BlitBitsColour(&dst, &b, pixel);
            else BlitCoverageColour(&dst, &b, pixel);
        } else if (colour == -1) {
            if (g.mono && dst.pixelFormat == CX_PIXFMT_MASK) BlitBitsMask(&dst, &b);
            else if (!g.mono && dst.pixelFormat == CX_PIXFMT_ALPHA) BlitCoverageAlpha(&dst, &b);
        }
    });
    UnlockBitmap(&dst);
    return 0;
}

int TrueTypeTextExtent(cxOsFont *font, const char *text, size_t length, uint32_t style, int utf8,
                       cxTextExtent *out) {
    CodePoints cp(text, length, utf8);
    if (cp.failed()) return ERR_MEM;
    bool ink = false;
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    const int64_t pen = WalkText(font, cp, style, [&](const cxTrueTypeGlyph &g, int64_t p, uint32_t code) {
        if (code == 32) return;
        const int64_t a = p + g.left, b = a + g.width, c = -int64_t(g.top), d = int64_t(g.rows) - g.top;
        x0 = ink ? std::min(x0, a) : a;
        x1 = ink ? std::max(x1, b) : b;
        y0 = ink ? std::min(y0, c) : c;
        y1 = ink ? std::max(y1, d) : d;
        ink = true;
    });
    out->advance = int32_t(pen);
    out->height = font->height;
    out->minX = int32_t(x0);
    out->minY = int32_t(y0);
    out->maxX = int32_t(x1);
    out->maxY = int32_t(y1);
    return 0;
}

int32_t GetTrueTypeKerning(cxOsFont *font, const char *text, size_t length, int utf8) {
    auto *e = static_cast<cxTrueTypeFont *>(font->engineData);
    CodePoints cp(text, length, utf8);
    if (cp.failed() || cp.size() != 2 || !FT_HAS_KERNING(e->face)) return 0;
    return PairKerning(e, FT_Get_Char_Index(e->face, cp[0]), FT_Get_Char_Index(e->face, cp[1]));
}

} // extern "C"
