#include "layers/core/layer_content.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/geometry/geometry.h"
#include "graphics/vector/path.h"
#include "graphics/vector/vector_engine.h"
#include "images/brushes/brush.h"
#include "images/bgpics/gradient_options.h"
#include "images/brushes/brush_creation.h"
#include "images/core/display_options.h"
#include "text/library/text_objects.h"

extern "C" void FreeLayerImage(cxLayerImage *img) {
    if (img->owned) {
        FreeBitmap(img->bitmap);
        FreeMask(img->mask);
        FreeAlphaChannel(img->alpha);
    }
    *img = cxLayerImage{};
}

extern "C" cxLayerImageContent *NewImageContent(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t w,
                                                int32_t h) {
    auto *c = static_cast<cxLayerImageContent *>(calloc(1, sizeof(cxLayerImageContent)));
    if (!c) return nullptr;
    *c = {bitmap, mask, alpha, w, h};
    return c;
}

extern "C" cxLayerTextContent *NewTextContent(const cxTextRecord *rec, const cxTextDrawOptions *opts, int32_t mode,
                                              int32_t offsetX, int32_t offsetY) {
    auto *c = static_cast<cxLayerTextContent *>(calloc(1, sizeof(cxLayerTextContent)));
    if (!c) return nullptr;
    c->record = CopyTextRecord(rec);
    if (!c->record) {
        free(c);
        return nullptr;
    }
    if (opts) c->options = *opts;
    else InitTextDrawOptions(&c->options);
    c->mode = mode;
    c->offsetX = offsetX, c->offsetY = offsetY;
    return c;
}

extern "C" cxLayerShapeContent *NewShapeContent(const cxShape *shape, const cxDrawStyle *style, uint32_t colour,
                                                double ox, double oy) {
    auto *c = static_cast<cxLayerShapeContent *>(calloc(1, sizeof(cxLayerShapeContent)));
    if (!c) return nullptr;
    c->shape = *shape;
    c->shape.x -= ox, c->shape.y -= oy;
    if (shape->kind == CX_SHAPE_LINE) c->shape.x2 -= ox, c->shape.y2 -= oy;
    c->shape.points = nullptr;
    if (shape->points && shape->pointCount > 0) {
        c->points = static_cast<double *>(malloc(sizeof(double) * 2 * size_t(shape->pointCount)));
        if (!c->points) {
            free(c);
            return nullptr;
        }
        memcpy(c->points, shape->points, sizeof(double) * 2 * size_t(shape->pointCount));
        c->shape.points = c->points;
    }
    c->style = *style;
    c->style.gradient.table = nullptr;
    c->colour = colour;
    InitGradientDefaults(&c->gradient, 0);
    return c;
}

extern "C" cxLayerPathContent *NewPathContent(const cxPathRender *render) {
    auto *c = static_cast<cxLayerPathContent *>(calloc(1, sizeof(cxLayerPathContent)));
    if (!c) return nullptr;
    c->render = *render;
    c->render.items = nullptr;
    if (render->items && render->capacity) {
        auto *items = static_cast<uint8_t *>(malloc(render->capacity));
        if (!items) {
            free(c);
            return nullptr;
        }
        memcpy(items, render->items, render->capacity);
        c->render.items = items;
    }
    if (CopyDashArray(&c->render.style) != 0) {
        free(const_cast<uint8_t *>(c->render.items));
        free(c);
        return nullptr;
    }
    return c;
}

extern "C" void FreeLayerOwnContent(int32_t type, void *content) {
    if (!content) return;
    switch (type) {
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT: FreeTextRecord(static_cast<cxLayerTextContent *>(content)->record); break;
    case CX_LAYER_BOX:
    case CX_LAYER_CIRCLE:
    case CX_LAYER_ELLIPSE:
    case CX_LAYER_LINE:
    case CX_LAYER_POLYGON:
    case CX_LAYER_ARC: free(static_cast<cxLayerShapeContent *>(content)->points); break;
    case CX_LAYER_VECTORPATH: {
        auto *p = static_cast<cxLayerPathContent *>(content);
        free(const_cast<uint8_t *>(p->render.items));
        FreeDashArray(&p->render.style);
        break;
    }
    default: {
        auto *i = static_cast<cxLayerImageContent *>(content);
        FreeBitmap(i->bitmap);
        FreeMask(i->mask);
        FreeAlphaChannel(i->alpha);
        break;
    }
    }
    free(content);
}

extern "C" void *CopyLayerOwnContent(int32_t type, const void *content) {
    if (!content) return nullptr;
    switch (type) {
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT: {
        auto *t = static_cast<const cxLayerTextContent *>(content);
        return NewTextContent(t->record, &t->options, t->mode, t->offsetX, t->offsetY);
    }
    case CX_LAYER_BOX:
    case CX_LAYER_CIRCLE:
    case CX_LAYER_ELLIPSE:
    case CX_LAYER_LINE:
    case CX_LAYER_POLYGON:
    case CX_LAYER_ARC: {
        auto *s = static_cast<const cxLayerShapeContent *>(content);
        cxLayerShapeContent *c = NewShapeContent(&s->shape, &s->style, s->colour, 0, 0);
        if (c) c->gradient = s->gradient, c->gradientTable = s->gradientTable;
        return c;
    }
    case CX_LAYER_VECTORPATH: {
        auto *p = static_cast<const cxLayerPathContent *>(content);
        cxLayerPathContent *c = NewPathContent(&p->render);
        if (c) c->originX = p->originX, c->originY = p->originY;
        return c;
    }
    default: {
        auto *i = static_cast<const cxLayerImageContent *>(content);
        cxBitmap *b = i->bitmap ? DuplicateBitmap(i->bitmap, i->width, i->height) : nullptr;
        cxBitmap *m = i->mask ? DuplicateMask(i->mask, b, i->width, i->height) : nullptr;
        cxBitmap *a = i->alpha ? DuplicateAlpha(i->alpha, i->width, i->height) : nullptr;
        cxLayerImageContent *c = nullptr;
        if ((!i->bitmap || b) && (!i->mask || m) && (!i->alpha || a)) c = NewImageContent(b, m, a, i->width, i->height);
        if (!c) {
            FreeBitmap(b);
            FreeMask(m);
            FreeAlphaChannel(a);
        }
        return c;
    }
    }
}

namespace {

// The shape's box before drawing, with room for strokes, edges and shadows.
bool ShapeBox(const cxShape &s, const cxDrawStyle &st, double *x0, double *y0, double *x1, double *y1) {
    switch (s.kind) {
    case CX_SHAPE_BOX:
        *x0 = std::min(s.x, s.x + s.width), *x1 = std::max(s.x, s.x + s.width);
        *y0 = std::min(s.y, s.y + s.height), *y1 = std::max(s.y, s.y + s.height);
        break;
    case CX_SHAPE_CIRCLE:
        *x0 = s.x - s.width, *x1 = s.x + s.width, *y0 = s.y - s.width, *y1 = s.y + s.width;
        break;
    case CX_SHAPE_ELLIPSE:
    case CX_SHAPE_ARC:
        *x0 = s.x - s.width, *x1 = s.x + s.width, *y0 = s.y - s.height, *y1 = s.y + s.height;
        break;
    case CX_SHAPE_LINE:
        *x0 = std::min(s.x, s.x2), *x1 = std::max(s.x, s.x2), *y0 = std::min(s.y, s.y2), *y1 = std::max(s.y, s.y2);
        break;
    case CX_SHAPE_PLOT: *x0 = s.x, *x1 = s.x + 1, *y0 = s.y, *y1 = s.y + 1; break;
    case CX_SHAPE_POLYGON: {
        if (!s.points || s.pointCount < 1) return false;
        double a = s.points[0], b = s.points[0], c = s.points[1], d = s.points[1];
        for (int32_t i = 1; i < s.pointCount; ++i) {
            a = std::min(a, s.points[2 * i]), b = std::max(b, s.points[2 * i]);
            c = std::min(c, s.points[2 * i + 1]), d = std::max(d, s.points[2 * i + 1]);
        }
        *x0 = s.x + a, *x1 = s.x + b, *y0 = s.y + c, *y1 = s.y + d;
        break;
    }
    default: return false;
    }
    const double line = std::clamp(s.kind == CX_SHAPE_LINE && s.thickness > 0 ? s.thickness : st.lineWidth, 1, 10000);
    double grow = line / 2 + 3;
    if (st.formStyle & CX_FORM_EDGE) grow += 2.0 * std::clamp(st.borderSize, 0, 10000);
    if (st.formStyle & CX_FORM_SHADOW) grow += std::clamp(st.shadowSize, 0, 10000);
    *x0 = std::floor(*x0 - grow), *y0 = std::floor(*y0 - grow);
    *x1 = std::ceil(*x1 + grow), *y1 = std::ceil(*y1 + grow);
    return std::isfinite(*x0) && std::isfinite(*x1) && std::isfinite(*y0) && std::isfinite(*y1);
}

// Keeps the rectangle of a colour bitmap and its alpha channel (new
// bitmaps replace the old on success).
int Crop(cxBitmap **bitmap, cxBitmap **alpha, int32_t x, int32_t y, int32_t w, int32_t h) {
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (int err = ConvertBitmapFx(*bitmap, nullptr, *alpha, x, y, w, h, &b, &m, &a)) return err;
    FreeBitmap(*bitmap);
    FreeAlphaChannel(*alpha);
    *bitmap = b, *alpha = a;
    return 0;
}

}  // namespace

extern "C" int RenderShapeImage(const cxShape *shape, const cxDrawStyle *style, uint32_t colour, cxBitmap **outBitmap,
                                cxBitmap **outAlpha, int32_t *outX, int32_t *outY, int32_t *outW, int32_t *outH) {
    *outBitmap = *outAlpha = nullptr;
    double x0, y0, x1, y1;
    if (!ShapeBox(*shape, *style, &x0, &y0, &x1, &y1)) return ERR_WRONGUSAGE;
    if (x1 - x0 > 65536 || y1 - y0 > 65536 || std::fabs(x0) > 1e9 || std::fabs(y0) > 1e9) return ERR_BITMAP;
    const int32_t w = int32_t(x1 - x0), h = int32_t(y1 - y0);
    cxBitmap *bm = AllocBitmap(w, h, 0, 0);
    if (!bm) return ERR_BITMAP;
    cxBitmap *alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
    if (!alpha) {
        FreeBitmap(bm);
        return ERR_ALLOCALPHA;
    }
    // The colour under the coverage is the shape's own, so that soft edges
    // blend the colour and not black in with the alpha channel.
    FillRect(bm, 0, 0, w, h, colour & 0xFFFFFFu);
    cxShape s = *shape;
    s.x -= x0, s.y -= y0;
    if (s.kind == CX_SHAPE_LINE) s.x2 -= x0, s.y2 -= y0;
    const cxDrawTarget target{bm, alpha, nullptr, w, h, 255, 0};
    cxDrawRect changed{};
    if (int err = RenderShape(&target, &s, style, colour, &changed)) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return err;
    }
    if (changed.width <= 0 || changed.height <= 0) changed = {0, 0, 1, 1};
    if (changed.x != 0 || changed.y != 0 || changed.width != w || changed.height != h) {
        if (int err = Crop(&bm, &alpha, changed.x, changed.y, changed.width, changed.height)) {
            FreeBitmap(bm);
            FreeAlphaChannel(alpha);
            return err;
        }
    }
    *outBitmap = bm, *outAlpha = alpha;
    *outX = int32_t(x0) + changed.x, *outY = int32_t(y0) + changed.y;
    *outW = changed.width, *outH = changed.height;
    return 0;
}

extern "C" int RenderPathImage(cxPathRender *r, const double *matrix, cxBitmap **outBitmap, cxBitmap **outAlpha,
                               int32_t *outX, int32_t *outY, int32_t *outW, int32_t *outH) {
    *outBitmap = *outAlpha = nullptr;
    if (!r->items) return ERR_EMPTYPATH;
    cxPlugin *engine = r->engine ? r->engine : GetInbuiltVectorEngine();
    if (int err = BindPathTextItems(r, engine)) return err;
    const cxDrawStyle &ds = r->style.drawStyle;
    const int fill = ds.fillStyle != CX_FILLNONE;
    const int32_t lineWidth = std::clamp(ds.lineWidth, 1, 10000);
    uint8_t *cov = nullptr;
    int32_t bx = 0, by = 0, w = 0, h = 0;
    if (int err = RenderPathCoverage(r, fill, lineWidth, matrix, 0, 0, &cov, &bx, &by, &w, &h)) return err;
    cxBitmap *bm = w > 0 && h > 0 ? AllocBitmap(w, h, 0, 0) : nullptr;
    cxBitmap *alpha = bm ? AllocAlphaChannel(w, h, 1, nullptr, 0) : nullptr;
    if (!bm || !alpha) {
        free(cov);
        FreeBitmap(bm);
        return bm ? ERR_ALLOCALPHA : ERR_BITMAP;
    }
    int err = FillPathImage(r, bm, w, h);
    auto *rows = reinterpret_cast<uint8_t *>(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS));
    const size_t pitch = size_t(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_BYTESPERROW));
    if (rows)
        for (int32_t j = 0; j < h; ++j) memcpy(rows + size_t(j) * pitch, cov + size_t(j) * size_t(w), size_t(w));
    else
        err = ERR_ALLOCALPHA;
    free(cov);
    if (err) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return err;
    }
    *outBitmap = bm, *outAlpha = alpha;
    *outX = bx, *outY = by, *outW = w, *outH = h;
    return 0;
}

namespace {

// Brush or image content through the matrix into owned bitmaps.
int Transform(cxLayerImage *img, const double m[4], uint32_t smooth) {
    cxBitmap *b = img->bitmap, *mk = img->mask, *a = img->alpha;
    cxBitmap *pb = nullptr, *pm = nullptr, *pa = nullptr;
    const bool part = img->srcX || img->srcY || img->bitmap->width != img->width || img->bitmap->height != img->height;
    if (part) {
        if (int err = ConvertBitmapFx(b, mk, a, img->srcX, img->srcY, img->width, img->height, &pb, &pm, &pa))
            return err;
        b = pb, mk = pm, a = pa;
    }
    cxBitmap *tb = nullptr, *tm = nullptr, *ta = nullptr;
    int32_t tw = 0, th = 0;
    const int err = TransformBitmapByMatrix(b, mk, a, img->width, img->height, m, smooth, &tb, &tm, &ta, &tw, &th);
    FreeBitmap(pb);
    FreeMask(pm);
    FreeAlphaChannel(pa);
    if (err) return err;
    // The size before the transform stays what it was.
    const int32_t srcW = img->srcWidth, srcH = img->srcHeight;
    FreeLayerImage(img);
    img->srcWidth = srcW, img->srcHeight = srcH;
    img->bitmap = tb, img->mask = tm, img->alpha = ta;
    img->width = tw, img->height = th;
    img->owned = 1;
    return 0;
}

}  // namespace

extern "C" int RenderContentImage(lua_State *L, const cxLayer *layer, const cxLayerState *state, const double *matrix,
                                  cxLayerImage *out) {
    *out = cxLayerImage{};
    const double *m = matrix ? matrix : layer->transform.options.matrix;
    const bool identity = IsIdentityMatrix(m) != 0;
    const uint32_t smooth = layer->transform.options.smoothScale;
    const double ax = layer->transform.options.anchorX, ay = layer->transform.options.anchorY;
    switch (layer->type) {
    case CX_LAYER_NOOBJECT: return ERR_WRONGUSAGE;
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART: {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, layer->source, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) return err;
        if (!b->bitmap) {
            if (int err = RealizeBrush(b)) return err;
            if (!b->bitmap) return ERR_BITMAP;
        }
        out->bitmap = b->bitmap, out->mask = b->mask, out->alpha = b->alpha;
        out->srcX = std::clamp(state->partX, 0, std::max(b->width - 1, 0));
        out->srcY = std::clamp(state->partY, 0, std::max(b->height - 1, 0));
        out->width = std::min(state->srcWidth > 0 ? state->srcWidth : b->width, b->width - out->srcX);
        out->height = std::min(state->srcHeight > 0 ? state->srcHeight : b->height, b->height - out->srcY);
        break;
    }
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT: {
        auto *t = static_cast<const cxLayerTextContent *>(layer->content);
        if (!t) return ERR_WRONGUSAGE;
        cxTextDrawOptions o = t->options;
        for (int i = 0; i < 4; ++i) o.matrix[i] = m[i];
        o.effects = 0;
        cxTextImage img{};
        if (int err = RenderText(L, t->record, CX_RENDER_OBJECT, 0, &o, CX_RENDER_NOLAYER, &img)) return err;
        *out = {img.bitmap, img.mask, img.alpha, 0, 0, img.width, img.height,
                img.offsetX - t->offsetX, img.offsetY - t->offsetY, state->srcWidth, state->srcHeight, 1};
        return 0;
    }
    case CX_LAYER_BOX:
    case CX_LAYER_CIRCLE:
    case CX_LAYER_ELLIPSE:
    case CX_LAYER_LINE:
    case CX_LAYER_POLYGON:
    case CX_LAYER_ARC: {
        auto *s = static_cast<const cxLayerShapeContent *>(layer->content);
        if (!s) return ERR_WRONGUSAGE;
        int32_t x = 0, y = 0, w = 0, h = 0;
        cxBitmap *bm = nullptr, *alpha = nullptr;
        // A gradient fill takes its centre, balance, border and stops.
        cxDrawStyle style = s->style;
        cxGradient table = s->gradient;
        if (!s->gradientTable) table.stopCount = 0;
        style.gradient.table = &table;
        if (int err = RenderShapeImage(&s->shape, &style, s->colour, &bm, &alpha, &x, &y, &w, &h)) return err;
        *out = {bm, nullptr, alpha, 0, 0, w, h, x, y, w, h, 1};
        break;
    }
    case CX_LAYER_VECTORPATH: {
        auto *p = static_cast<cxLayerPathContent *>(layer->content);
        if (!p) return ERR_WRONGUSAGE;
        int32_t x = 0, y = 0, w = 0, h = 0;
        cxBitmap *bm = nullptr, *alpha = nullptr;
        if (int err = RenderPathImage(&p->render, identity ? nullptr : m, &bm, &alpha, &x, &y, &w, &h)) return err;
        // The path turns about its origin; its image lies where the
        // origin puts it.
        *out = {bm, nullptr, alpha, 0, 0, w, h, x + p->originX, y + p->originY, state->srcWidth, state->srcHeight, 1};
        return 0;
    }
    default: {
        auto *c = static_cast<const cxLayerImageContent *>(layer->content);
        if (!c || !c->bitmap) return ERR_WRONGUSAGE;
        out->bitmap = c->bitmap, out->mask = c->mask, out->alpha = c->alpha;
        out->width = c->width, out->height = c->height;
        break;
    }
    }
    out->srcWidth = out->width, out->srcHeight = out->height;
    if (!identity) {
        if (int err = Transform(out, m, smooth)) {
            FreeLayerImage(out);
            return err;
        }
    }
    // The given position is the anchor point, for shapes the box's corner.
    if (IsShapeLayerType(layer->type)) {
        out->offsetX += int32_t(ax * out->srcWidth) - int32_t(ax * out->width);
        out->offsetY += int32_t(ay * out->srcHeight) - int32_t(ay * out->height);
    } else {
        out->offsetX = -int32_t(ax * out->width);
        out->offsetY = -int32_t(ay * out->height);
    }
    return 0;
}
