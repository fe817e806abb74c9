#include "text/library/render_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/blit/safe_blt.h"
#include "display/draw/draw_output.h"
#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"

namespace {

cxTextLayerHooks g_layerHooks{};

constexpr uint32_t kKindDisplay = 21, kKindBrush = 3, kKindMask = 28, kKindAlpha = 30;

bool Identity(const cxTextDrawOptions &o) {
    return o.matrix[0] == 1 && o.matrix[1] == 0 && o.matrix[2] == 0 && o.matrix[3] == 1;
}

// The current output, prepared for drawing when it is a brush, mask or
// alpha channel.
int Output(lua_State *L, cxDrawOutput *out) {
    const cxDrawOutputHooks *h = GetDrawOutputHooks();
    *out = cxDrawOutput{};
    if (!h->getOutput) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (int err = h->getOutput(L, out)) return err;
    if ((out->kind == kKindBrush || out->kind == kKindMask || out->kind == kKindAlpha) && h->prepare)
        return h->prepare(L, out);
    return 0;
}

void Drawn(lua_State *L, const cxDrawOutput &out, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int32_t x1 = std::min<int64_t>(int64_t(x) + w, out.target.width);
    const int32_t y1 = std::min<int64_t>(int64_t(y) + h, out.target.height);
    if (x1 <= x0 || y1 <= y0) return;
    const cxDrawRect r{x0, y0, x1 - x0, y1 - y0};
    if (const auto *hooks = GetDrawOutputHooks(); hooks->drawn) hooks->drawn(L, &out, &r);
}

// Text needs the general road: tags, tabs, effects, alignment, transforms.
bool NeedsGeneral(const cxTextRecord &rec, int tagsOff) {
    const uint32_t f = rec.style.flags & ~CX_TEXT_ANTIALIAS;
    if (f != CX_TEXT_NORMAL || rec.style.colour > 0xFFFFFF || rec.align != CX_ALIGN_LEFT || rec.lineBreaks) return true;
    for (const char *p = rec.text; *p; ++p) {
        if (*p == '\t') return true;
        if (!tagsOff && (*p == '[' || *p == ']')) {
            if (p[1] != *p) return true;
            ++p;
        }
    }
    return false;
}

// Plain text drawn glyph by glyph into the target: no run list, no image.
// Returns 1 when it took the text, 0 to go the general road, or -error.
int DirectRoad(lua_State *L, cxTextRecord *rec, int mode, int tagsOff, const cxTextDrawOptions &o) {
    if (NeedsGeneral(*rec, tagsOff) || !Identity(o) || o.effects) return 0;
    cxDrawOutput out;
    if (int err = Output(L, &out)) return -err;
    if (out.layersOn || !out.target.colour || out.target.mask || out.target.alpha ||
        (out.kind != kKindDisplay && out.kind != kKindBrush))
        return 0;
    cxOsFont *font = rec->style.font ? rec->style.font : GetTopazFont();
    const bool print = mode == CX_RENDER_PRINT;
    const bool oneLine = !strchr(rec->text, '\n');
    if (!oneLine && (o.anchorX != 0 || o.anchorY != 0)) return 0;
    // The lines, with "[[" and "]]" as one bracket and carriage returns dropped.
    std::string clean;
    clean.reserve(strlen(rec->text));
    for (const char *p = rec->text; *p; ++p) {
        if (*p == '\r') continue;
        if (!tagsOff && (*p == '[' || *p == ']') && p[1] == *p) ++p;
        clean.push_back(*p);
    }
    const uint32_t style = FontEngineStyle(rec->style.flags);
    const int32_t wrap = print ? rec->rightMargin - rec->leftMargin + 1 : rec->rightMargin;
    if (wrap > 0) {
        if (!oneLine) return 0;
        cxTextExtent e;
        if (int err = FontTextExtent(font, clean.data(), clean.size(), style, rec->encoding, &e)) return -err;
        const int32_t start = print ? rec->cursorX - rec->leftMargin : 0;
        if (int64_t(start) + std::max(e.advance, e.maxX + 1) > wrap) return 0;
    }
    int32_t x = print ? rec->cursorX : rec->x, y = print ? rec->cursorY : rec->y;
    int32_t bx0 = INT32_MAX, by0 = INT32_MAX, bx1 = INT32_MIN, by1 = INT32_MIN;
    size_t start = 0;
    while (start <= clean.size()) {
        size_t end = clean.find('\n', start);
        if (end == std::string::npos) end = clean.size();
        const char *line = clean.data() + start;
        const size_t n = end - start;
        if (n) {
            cxTextExtent e;
            if (int err = FontTextExtent(font, line, n, style, rec->encoding, &e)) return -err;
            const int32_t w = e.maxX - e.minX + 1;
            int32_t dx = x, dy = y;
            if (!print) {
                dx = IsSpecialX(x) ? ResolveSpecialX(x, w, out.target.width, o.anchorX) : x;
                dy = IsSpecialY(y) ? ResolveSpecialY(y, font->height, out.target.height, o.anchorY) : y;
                dx -= int32_t(o.anchorX * w);
                dy -= int32_t(o.anchorY * font->height);
            }
            const cxClipRect clip{0, 0, out.target.width, out.target.height};
            if (int err = DrawFontText(font, out.target.colour, nullptr, dx, dy, line, n, style, rec->encoding, &clip,
                                       int32_t(rec->style.colour)))
                return -err;
            const int32_t right = dx + std::max(e.advance, e.maxX + 1);
            bx0 = std::min(bx0, dx + std::min(e.minX, 0));
            by0 = std::min(by0, dy);
            bx1 = std::max(bx1, right);
            by1 = std::max(by1, dy + font->height);
            if (print) x += e.advance;
            else if (!IsSpecialY(y)) y = dy;
        }
        if (end == clean.size()) break;
        if (print) x = rec->leftMargin;
        else if (IsSpecialY(y)) y = ResolveSpecialY(y, font->height, out.target.height, 0);
        y += font->height;
        start = end + 1;
    }
    if (print) {
        rec->cursorX = x;
        rec->cursorY = y;
    }
    if (bx1 > bx0) Drawn(L, out, bx0, by0, bx1 - bx0, by1 - by0);
    return 1;
}

// Moves the tables the layout recorded onto the record (flag 16).
int KeepTables(cxTextRecord *rec, const cxTextLayout &l) {
    if (!rec->lineBreaks) {
        const size_t n = l.lineBreaks.size();
        auto *t = static_cast<int32_t *>(malloc((n + 1) * sizeof(int32_t)));
        if (!t) return ERR_MEM;
        std::copy(l.lineBreaks.begin(), l.lineBreaks.end(), t);
        rec->lineBreaks = t;
        rec->lineBreakCount = int32_t(n);
    }
    if (!rec->tabChoices) {
        const size_t n = l.tabChoices.size();
        auto *t = static_cast<int32_t *>(malloc((n + 1) * sizeof(int32_t)));
        if (!t) return ERR_MEM;
        std::copy(l.tabChoices.begin(), l.tabChoices.end(), t);
        rec->tabChoices = t;
        rec->tabChoiceCount = int32_t(n);
    }
    return 0;
}

// Turns or scales the image through the matrix; the offset follows the
// transformed box.
int TransformImage(cxTextImage *img, const double m[4], int32_t smooth) {
    cxBitmap *b = nullptr, *mk = nullptr, *a = nullptr;
    int32_t w = 0, h = 0;
    if (int err = RotateBitmapFx(img->bitmap, img->mask, img->alpha, 0, 0, img->width, img->height, m, smooth, &b, &mk,
                                 &a, &w, &h))
        return err;
    double minX = 1e300, minY = 1e300;
    for (int c = 0; c < 4; ++c) {
        const double px = img->offsetX + ((c & 1) ? img->width : 0), py = img->offsetY + ((c & 2) ? img->height : 0);
        minX = std::min(minX, m[0] * px + m[1] * py);
        minY = std::min(minY, m[2] * px + m[3] * py);
    }
    FreeTextImage(img);
    *img = {b, mk, a, w, h, int32_t(std::floor(minX)), int32_t(std::floor(minY))};
    return 0;
}

// Scalable fonts are scaled themselves rather than their image; the scale
// goes back to 1 whatever happens.
struct FontScale {
    cxOsFont *font = nullptr;
    ~FontScale() {
        if (font) SetFontScale(font, 1.0, 1.0);
    }
};

} // namespace

extern "C" void InitTextDrawOptions(cxTextDrawOptions *o) {
    o->anchorX = o->anchorY = 0;
    o->matrix[0] = o->matrix[3] = 1;
    o->matrix[1] = o->matrix[2] = 0;
    o->smooth = 1;
    o->effects = 0;
    InitLayerOptions(&o->layer);
}

extern "C" void FreeTextImage(cxTextImage *img) {
    FreeBitmap(img->bitmap);
    FreeMask(img->mask);
    FreeAlphaChannel(img->alpha);
    img->bitmap = img->mask = img->alpha = nullptr;
}

extern "C" void SetTextLayerHooks(const cxTextLayerHooks *hooks) { g_layerHooks = hooks ? *hooks : cxTextLayerHooks{}; }
extern "C" const cxTextLayerHooks *GetTextLayerHooks(void) { return &g_layerHooks; }

extern "C" int BlitTextImage(lua_State *L, const cxTextImage *shown, int32_t x, int32_t y,
                             const cxTextDrawOptions *opts) {
    cxDrawOutput out;
    if (int err = Output(L, &out)) return err;
    // Filters and a transparency are drawn from a copy of the image.
    cxTextImage copy{};
    const cxTextImage *img = shown;
    if (opts && opts->effects) {
        copy = *shown;
        copy.bitmap = AllocBitmap(shown->width, shown->height, 0, 0);
        copy.mask = shown->mask ? AllocMask(copy.bitmap, shown->width, shown->height, 1, nullptr, 0) : nullptr;
        copy.alpha = shown->alpha ? CopyAlphaChannel(shown->alpha, shown->width, shown->height) : nullptr;
        int err = !copy.bitmap ? ERR_BITMAP : (shown->mask && !copy.mask) ? ERR_ALLOCMASK
                                             : (shown->alpha && !copy.alpha) ? ERR_ALLOCALPHA : 0;
        if (!err) {
            BltBitmap(shown->bitmap, 0, 0, copy.bitmap, 0, 0, shown->width, shown->height);
            if (copy.mask) CombineMaskRect(shown->mask, 0, 0, copy.mask, 0, 0, shown->width, shown->height, CX_MASKVANILLACOPY);
            err = ApplyLayerOptionEffects(L, &opts->layer, copy.width, copy.height, copy.bitmap, &copy.alpha, &copy.mask, 1);
        }
        if (err) {
            FreeTextImage(&copy);
            return err;
        }
        img = &copy;
    }
    struct Release {
        cxTextImage *image;
        ~Release() { FreeTextImage(image); }
    } release{&copy};
    int32_t sx = 0, sy = 0, dx = x, dy = y, w = img->width, h = img->height;
    if (!ClipBlitRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, img->width, img->height, out.target.width,
                      out.target.height, 0))
        return 0;
    if (out.target.colour) {
        if (out.kind == kKindDisplay && out.display) {
            SafeBlt(L, img->bitmap, sx, sy, out.target.colour, dx, dy, w, h, img->width, img->height, out.target.width,
                    out.target.height, CX_SAFEBLT_CLIPPED, img->mask, img->alpha, nullptr);
        } else if (img->mask) {
            BltBitmapMask(img->bitmap, sx, sy, out.target.colour, dx, dy, w, h, img->mask);
        } else {
            BltBitmapAlpha(img->bitmap, sx, sy, out.target.colour, dx, dy, w, h, img->alpha);
        }
    }
    // A brush's own mask or alpha channel, or a selected one, takes the
    // text's shape.
    if (out.target.mask) {
        if (img->mask) CombineMaskRect(img->mask, sx, sy, out.target.mask, dx, dy, w, h, out.target.maskMode);
        else BltAlphaToMask(img->alpha, sx, sy, out.target.mask, dx, dy, w, h, out.target.maskMode);
    }
    if (out.target.alpha) {
        if (img->mask) BltMaskToMask(img->mask, sx, sy, out.target.alpha, dx, dy, w, h, uint8_t(std::min<uint32_t>(out.target.alphaLevel, 255)));
        else BltAlphaToAlphaClipped(img->alpha, sx, sy, out.target.alpha, dx, dy, w, h, 9, 0);
    }
    Drawn(L, out, dx, dy, w, h);
    return 0;
}

extern "C" int RenderText(lua_State *L, cxTextRecord *rec, int mode, int tagsOff, const cxTextDrawOptions *opts,
                          uint32_t flags, cxTextImage *outImage) {
    cxTextDrawOptions o;
    if (opts) o = *opts;
    else InitTextDrawOptions(&o);
    if (!rec->text) rec->text = const_cast<char *>("");
    cxOsFont *font = rec->style.font ? rec->style.font : GetTopazFont();
    if (!font) return ERR_FT2;
    rec->style.font = font;
    if ((rec->style.flags & CX_TEXT_ANTIALIAS) && font->kind != CX_FONT_TRUETYPE) return ERR_ANTIALIAS;
    if (rec->encoding == 1 && !ValidateUtf8(rec->text, strlen(rec->text), nullptr)) return ERR_INVALIDUTF8;

    if (mode != CX_RENDER_OBJECT) {
        const int direct = DirectRoad(L, rec, mode, tagsOff, o);
        if (direct < 0) return -direct;
        if (direct) return 0;
    }

    // General road. A pure scale of a scalable font scales the font.
    cxTextRecord work = *rec;
    FontScale scaled;
    double m[4] = {o.matrix[0], o.matrix[1], o.matrix[2], o.matrix[3]};
    const bool identity = Identity(o);
    if (!identity && font->transformable && m[1] == 0 && m[2] == 0 && m[0] != 0 && m[3] != 0) {
        const double sx = std::fabs(m[0]), sy = std::fabs(m[3]);
        SetFontScale(font, sx, sy);
        scaled.font = font;
        auto mul = [&](int32_t v) { return int32_t(std::lround(v * sx)); };
        work.leftMargin = mul(work.leftMargin);
        work.rightMargin = mul(work.rightMargin);
        if (flags & CX_RENDER_SCALECURSOR) work.cursorX = mul(work.cursorX), work.cursorY = mul(work.cursorY);
        for (int32_t i = 0; i < std::clamp(work.tabCount, 0, CX_TEXT_TAB_STOPS); ++i) work.tabStops[i] = mul(work.tabStops[i]);
        work.style.shadowSize = mul(work.style.shadowSize);
        work.style.edgeSize = mul(work.style.edgeSize);
        ClampTextEffects(&work.style);
        m[0] = m[0] < 0 ? -1 : 1;
        m[3] = m[3] < 0 ? -1 : 1;
    }
    cxTextLayout layout;
    if (int err = LayoutText(L, work, mode, tagsOff, layout)) return err;
    cxTextImage img{};
    if (int err = DrawTextLayout(layout, work, &img.bitmap, &img.mask, &img.alpha)) return err;
    img.width = layout.right - layout.left;
    img.height = layout.bottom - layout.top;
    img.offsetX = layout.left;
    img.offsetY = layout.top;
    if (!(m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1)) {
        if (int err = TransformImage(&img, m, o.smooth)) {
            FreeTextImage(&img);
            return err;
        }
    }
    if ((flags & CX_RENDER_KEEPTABLES)) {
        if (int err = KeepTables(rec, layout)) {
            FreeTextImage(&img);
            return err;
        }
    }
    if (mode == CX_RENDER_OBJECT) {
        *outImage = img;
        return 0;
    }

    // Draw and print: place the image and blit it (or make it a layer).
    cxDrawOutput out;
    if (int err = Output(L, &out)) {
        FreeTextImage(&img);
        return err;
    }
    int32_t ix, iy;
    if (mode == CX_RENDER_PRINT) {
        ix = rec->leftMargin + img.offsetX;
        iy = rec->cursorY + img.offsetY;
    } else {
        ix = IsSpecialX(rec->x) ? ResolveSpecialX(rec->x, img.width, out.target.width, o.anchorX) : rec->x + img.offsetX;
        iy = IsSpecialY(rec->y) ? ResolveSpecialY(rec->y, img.height, out.target.height, o.anchorY) : rec->y + img.offsetY;
        ix -= int32_t(o.anchorX * img.width);
        iy -= int32_t(o.anchorY * img.height);
    }
    int err = 0;
    if (out.layersOn && g_layerHooks.addTextLayer && !(flags & CX_RENDER_NOLAYER)) {
        err = g_layerHooks.addTextLayer(L, out.display, rec, &img, ix, iy, mode, opts);
    } else {
        err = BlitTextImage(L, &img, ix, iy, &o);
    }
    FreeTextImage(&img);
    if (err) return err;
    if (mode == CX_RENDER_PRINT) {
        rec->cursorX = rec->leftMargin + layout.endX;
        rec->cursorY += layout.endY;
    }
    return 0;
}
