// Drawing and measuring text in bitmap fonts. UTF-8 text is first brought
// to ISO-8859-1, the fonts' own character set.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/charset/charset.h"
#include "errors/error_codes.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "text/fonts/bitmap_font.h"
#include "text/fonts/glyph_blit.h"

namespace {

// The text as ISO-8859-1 bytes: the caller's bytes, a stack buffer or an
// allocation.
class Latin1Text {
public:
    Latin1Text(const char *text, size_t length, int utf8) {
        if (!utf8) {
            bytes_ = reinterpret_cast<const uint8_t *>(text);
            length_ = length;
            return;
        }
        char *out = length < sizeof local_ ? local_ : static_cast<char *>(malloc(length + 1));
        if (!out) return;
        if (out != local_) owned_ = out;
        Utf8ToLatin1N(text, out, ptrdiff_t(length));
        bytes_ = reinterpret_cast<const uint8_t *>(out);
        length_ = strlen(out);
    }
    ~Latin1Text() { free(owned_); }
    Latin1Text(const Latin1Text &) = delete;
    Latin1Text &operator=(const Latin1Text &) = delete;
    bool ok() const { return bytes_ != nullptr || length_ == 0; }
    const uint8_t *bytes() const { return bytes_; }
    size_t length() const { return length_; }

private:
    char local_[256];
    char *owned_ = nullptr;
    const uint8_t *bytes_ = nullptr;
    size_t length_ = 0;
};

} // namespace

extern "C" {

void ClipGlyphRect(int32_t *srcX, int32_t *srcY, int32_t *dstX, int32_t *dstY, int32_t *width, int32_t *height,
                   const cxClipRect *clip) {
    if (*dstX < clip->x) {
        const int32_t cut = clip->x - *dstX;
        *srcX += cut;
        *width -= cut;
        *dstX = clip->x;
    }
    if (*dstY < clip->y) {
        const int32_t cut = clip->y - *dstY;
        *srcY += cut;
        *height -= cut;
        *dstY = clip->y;
    }
    const int64_t right = int64_t(clip->x) + clip->width, bottom = int64_t(clip->y) + clip->height;
    if (int64_t(*dstX) + *width > right) *width = int32_t(right - *dstX);
    if (int64_t(*dstY) + *height > bottom) *height = int32_t(bottom - *dstY);
}

int DrawBitmapFontText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                       size_t length, int utf8, const cxClipRect *clip, int32_t colour) {
    const auto *d = static_cast<const cxBitmapFontDesc *>(font->engineData);
    Latin1Text t(text, length, utf8);
    if (!t.ok()) return ERR_MEM;
    if (!d || !target) return 0;
    cxOsBitmapLock dst{}, dst2{}, glyphs{}, glyphMask{};
    if (!LockBitmap(target, 0, &dst)) return 0;
    cxClipRect box;
    ClipToTarget(&dst, clip, &box);
    const bool colourFont = font->kind == CX_FONT_COLOUR;
    bool ready = true;
    if (colourFont) {
        ready = font->glyphBitmap && font->glyphMask && LockBitmap(font->glyphBitmap, CX_LOCK_SOURCE, &glyphs) &&
                LockBitmap(font->glyphMask, CX_LOCK_SOURCE, &glyphMask);
        if (ready && colour == -1 && second) LockBitmap(second, 0, &dst2);
    }
    const uint32_t pixel = colour == -1 ? 0 : ColorToPixel(uint32_t(colour), dst.pixelFormat, 0);
    int64_t pen = x;
    for (size_t i = 0; ready && i < t.length(); ++i) {
        const uint32_t g = BitmapGlyphIndex(d, t.bytes()[i]);
        if (d->kerning) pen += d->kerning[g];
        int32_t srcX = int32_t(d->locations[g] >> 16), srcY = 0;
        int32_t w = int32_t(d->locations[g] & 0xFFFFu), h = d->ySize;
        int32_t dx = int32_t(std::clamp<int64_t>(pen, INT32_MIN / 2, INT32_MAX / 2)), dy = y;
        pen += d->spacing ? d->spacing[g] : d->xSize;
        ClipGlyphRect(&srcX, &srcY, &dx, &dy, &w, &h, &box);
        if (w < 1 || h < 1) continue;
        if (!colourFont) {
            const cxGlyphBlit b{d->strip, d->modulo, srcX, srcY, dx, dy, w, h};
            if (colour == -1) {
                if (dst.pixelFormat == CX_PIXFMT_MASK) BlitBitsMask(&dst, &b);
            } else if (dst.pixelFormat < CX_PIXFMT_COUNT) {
                BlitBitsColour(&dst, &b, pixel);
            }
        } else if (dst.pixelFormat < CX_PIXFMT_COUNT) {
            BltBitmapMaskSoft(&glyphs, srcX, srcY, &dst, dx, dy, w, h, &glyphMask);
            if (colour == -1 && dst2.locked && dst2.pixelFormat == CX_PIXFMT_MASK) {
                cxClipRect box2;
                ClipToTarget(&dst2, &box, &box2);
                int32_t sx = srcX, sy = srcY, tx = dx, ty = dy, ww = w, hh = h;
                ClipGlyphRect(&sx, &sy, &tx, &ty, &ww, &hh, &box2);
                const cxGlyphBlit m{glyphMask.pixels, int32_t(glyphMask.rowLength), sx, sy, tx, ty, ww, hh};
                if (ww > 0 && hh > 0) BlitBitsMask(&dst2, &m);
            }
        }
    }
    UnlockBitmap(&glyphMask);
    UnlockBitmap(&glyphs);
    UnlockBitmap(&dst2);
    UnlockBitmap(&dst);
    return 0;
}

int BitmapFontTextExtent(cxOsFont *font, const char *text, size_t length, int utf8, cxTextExtent *out) {
    const auto *d = static_cast<const cxBitmapFontDesc *>(font->engineData);
    Latin1Text t(text, length, utf8);
    if (!t.ok()) return ERR_MEM;
    out->height = d->ySize;
    out->minY = -int32_t(d->baseline);
    out->maxY = int32_t(d->ySize) - 1 - int32_t(d->baseline);
    if (!(d->flags & CX_BITMAPFONT_PROPORTIONAL) && !d->spacing && !d->kerning) {
        out->advance = int32_t(d->xSize) * int32_t(t.length());
        out->minX = 0;
        out->maxX = out->advance - 1;
        return 0;
    }
    int64_t pen = 0, lo = 0, hi = 0;
    for (size_t i = 0; i < t.length(); ++i) {
        const uint32_t g = BitmapGlyphIndex(d, t.bytes()[i]);
        if (d->kerning) pen += d->kerning[g];
        const int64_t start = pen, end = pen + int64_t(d->locations[g] & 0xFFFFu);
        pen += d->spacing ? d->spacing[g] : d->xSize;
        lo = std::min({lo, start, end, pen});
        hi = std::max({hi, start, end, pen});
    }
    out->advance = int32_t(pen);
    out->minX = int32_t(lo);
    out->maxX = int32_t(hi - 1);
    return 0;
}

} // extern "C"
