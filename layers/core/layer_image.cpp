#include "layers/core/layer_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/runtime/console.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/shadow_alpha.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "layers/core/async_draw.h"
#include "layers/core/clip_regions.h"
#include "layers/core/filters.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/core/layer_states.h"

namespace {

const double kIdentity[4] = {1, 0, 0, 1};

bool HasOwnImage(const cxLayerState *s) { return s->bitmap != nullptr; }

// Step 3 and 4 of GetLayerImage: the state's own image, else the
// source's or the content's.
int BaseImage(lua_State *L, cxLayer *layer, cxLayerState *s, cxLayerShown *out) {
    if (HasOwnImage(s)) {
        *out = {s->bitmap, s->mask, s->alpha, 0, 0, s->width, s->height};
        return 0;
    }
    cxLayerImage img{};
    // Without an image of its own a state shows its source as it is.
    if (int err = RenderContentImage(L, layer, s, kIdentity, &img)) return err;
    if (img.owned) {
        // Content that is always rendered keeps its image in the state.
        FreeLayerImage(&img);
        return ERR_WRONGUSAGE;
    }
    *out = {img.bitmap, img.mask, img.alpha, img.srcX, img.srcY, std::min(img.width, s->width),
            std::min(img.height, s->height)};
    return 0;
}

}  // namespace

extern "C" int UpdateFilteredImage(lua_State *L, cxLayer *layer, cxLayerState *s, int useAsync) {
    if (s->filteredBitmap || layer->type == CX_LAYER_NOOBJECT || !LayerHasFilters(layer)) return 0;
    if (s->width < 1 || s->height < 1) return 0;
    cxLayerShown img{};
    if (int err = BaseImage(L, layer, s, &img)) return err;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (int err = ConvertBitmapFx(img.bitmap, img.mask, img.alpha, img.srcX, img.srcY, img.width, img.height, &b, &m,
                                  &a))
        return err;
    ApplyLayerFilters(layer->filters, b, m, a, img.width, img.height, 0);
    s->filteredBitmap = b, s->filteredMask = m, s->filteredAlpha = a;
    return 0;
}

extern "C" int GetLayerImage(lua_State *L, cxLayer *layer, cxLayerState *s, int useFiltered, int useAsync,
                             cxLayerShown *out) {
    *out = cxLayerShown{};
    if (layer->type == CX_LAYER_NOOBJECT) return ERR_WRONGUSAGE;
    const bool async = useAsync && s->asyncBitmap;
    if (useFiltered) {
        UpdateFilteredImage(L, layer, s, useAsync);
        if (s->filteredBitmap) {
            if (async && !layer->movingFilters)
                *out = {s->asyncBitmap, s->asyncMask, s->asyncAlpha, 0, 0, s->width, s->height};
            else
                *out = {s->filteredBitmap, s->filteredMask, s->filteredAlpha, 0, 0, s->width, s->height};
            return 0;
        }
    }
    if (async) {
        *out = {s->asyncBitmap, s->asyncMask, s->asyncAlpha, 0, 0, s->width, s->height};
        return 0;
    }
    return BaseImage(L, layer, s, out);
}

extern "C" int32_t GetBorderShift(const double m[4], int32_t w, int32_t h, int32_t size) {
    if (IsIdentityMatrix(m)) return size;
    int32_t x1 = 0, y1 = 0, w1 = 0, h1 = 0, x2 = 0, y2 = 0, w2 = 0, h2 = 0;
    if (GetTransformedBounds(m, w, h, &x1, &y1, &w1, &h1) ||
        GetTransformedBounds(m, w + 2 * size, h + 2 * size, &x2, &y2, &w2, &h2))
        return size;
    // About their centres the boxes begin at -w / 2: the difference is half
    // the growth.
    return std::max<int32_t>(0, (w2 - w1) / 2);
}

extern "C" int BuildLayerBorder(lua_State *L, cxLayer *layer, cxLayerState *s) {
    if (!layer->border.on || s->borderBitmap) return 0;
    if (layer->type == CX_LAYER_NOOBJECT) return ERR_MEM;
    cxLayerShown img{};
    if (GetLayerImage(L, layer, s, 0, 0, &img)) return ERR_MEM;
    const int32_t size = std::clamp(layer->border.size, 1, 1000);
    const int32_t k = std::clamp(GetBorderShift(layer->transform.options.matrix, std::max(s->srcWidth, 1),
                                                std::max(s->srcHeight, 1), size),
                                 1, 1000);
    const int64_t bw = int64_t(img.width) + 2 * k, bh = int64_t(img.height) + 2 * k;
    cxBitmap *bm = AllocBitmap(int32_t(std::min<int64_t>(bw, INT32_MAX)), int32_t(std::min<int64_t>(bh, INT32_MAX)),
                               0, 0);
    if (!bm) return ERR_BITMAP;
    FillRect(bm, 0, 0, int32_t(bw), int32_t(bh), layer->border.colour & 0xFFFFFFu);
    // The outline grows out of the image's shape (its box when it has no
    // mask and no alpha channel), hardened into a solid edge.
    cxBitmap *alpha = CreateShadowAlpha(img.mask, img.alpha, img.srcX, img.srcY, img.width, img.height, 255, 1,
                                        size > 3, double(k), double(k) / 3.0);
    if (!alpha) {
        FreeBitmap(bm);
        return ERR_ALLOCALPHA;
    }
    const uint32_t t = layer->border.colour >> 24;
    if (t) ScaleAlphaChannel(alpha, 255 - t);
    ApplyLayerFilters(layer->filters, bm, nullptr, alpha, int32_t(bw), int32_t(bh), 0);
    s->borderBitmap = bm, s->borderMask = nullptr, s->borderAlpha = alpha;
    s->borderX = k, s->borderY = k;
    s->borderWidth = int32_t(bw), s->borderHeight = int32_t(bh);
    return 0;
}

extern "C" void AnalyzeTransformMatrix(cxLayerTransform *t) {
    const double *m = t->options.matrix;
    if (m[1] == 0 && m[2] == 0) return;
    t->general = 1;
    // The whole-degree tables: cos(i) and -sin(i). Each row of the matrix
    // is compared with the table's vector at that degree times a scale;
    // the scale comes from the projection onto it (the row's ratios would
    // divide by a cosine of 0 at the quarter turns).
    auto find = [](double a, double b, double sinSign, double *scale) {
        for (int i = 0; i <= 360; ++i) {
            const double rad = i * M_PI / 180.0;
            const double c = (i % 90 == 0) ? double((i / 90) % 4 == 0 ? 1 : (i / 90) % 4 == 2 ? -1 : 0) : std::cos(rad);
            const double sn = (i % 90 == 0) ? double((i / 90) % 4 == 1 ? 1 : (i / 90) % 4 == 3 ? -1 : 0) : std::sin(rad);
            const double st = -sn * sinSign;
            const double s = a * c + b * st;
            if (!(s > 0)) continue;
            if (std::fabs(a - s * c) <= 0.0001 && std::fabs(b - s * st) <= 0.0001) {
                *scale = s;
                return true;
            }
        }
        return false;
    };
    double sx = 0, sy = 0;
    // x: m00 = sx cos, m01 = -sx sin; y: m11 = sy cos, m10 = sy sin.
    if (!find(m[0], m[1], 1.0, &sx)) return;
    if (!find(m[3], m[2], -1.0, &sy)) return;
    t->analysedX = sx, t->analysedY = sy;
    if (std::fabs(sx - sy) <= 0.01) t->general = 0;
}

extern "C" void BuildTransformMatrix(cxLayerTransform *t, int32_t srcW, int32_t srcH) {
    cxTransformOptions &o = t->options;
    if (o.hasTransform) {
        memcpy(o.matrix, o.transform, sizeof o.matrix);
        return;
    }
    MakeTransformMatrix(o.matrix, o.width, o.height, srcW, srcH, o.scaleX, o.scaleY, o.rotate);
}

extern "C" void ScaleRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t *ox, int32_t *oy, int32_t *ow,
                          int32_t *oh, double fx, double fy) {
    const int32_t nx = int32_t(std::lrint(x * fx)), ny = int32_t(std::lrint(y * fy));
    if (ox) *ox = nx;
    if (oy) *oy = ny;
    if (ow) *ow = int32_t(std::lrint((double(x) + w - 1) * fx)) - nx + 1;
    if (oh) *oh = int32_t(std::lrint((double(y) + h - 1) * fy)) - ny + 1;
}

extern "C" int RenderLayerContent(lua_State *L, cxLayer *layer, int32_t x, int32_t y, cxLayerState *s,
                                  cxLayerBox *box, const cxLayerTransform *t, uint32_t flags) {
    if (t == &layer->transform) {
        PrintMessage("ERROR! LT MUST BE INDEPENDENT OF THE LAYER!\n");
        return 0;
    }
    cxLayerImage img{};
    if (int err = RenderContentImage(L, layer, s, t->options.matrix, &img)) return err;
    s->srcWidth = img.srcWidth;
    s->srcHeight = img.srcHeight;
    if (!img.owned && (layer->type == CX_LAYER_BRUSH || layer->type == CX_LAYER_BRUSHPART)) {
        // The brush's own image: only its place and size.
        s->partX = img.srcX, s->partY = img.srcY;
    }
    SetLayerImage(L, layer, box, SaturateInt64(int64_t(x) + img.offsetX), SaturateInt64(int64_t(y) + img.offsetY),
                  img.width, img.height,
                  img.owned ? img.bitmap : nullptr, img.owned ? img.mask : nullptr, img.owned ? img.alpha : nullptr,
                  flags);
    return 0;
}

extern "C" int RenderLayerImage(lua_State *L, cxLayer *layer, uint32_t mode) {
    // Display states of their own are not made: the display library scales
    // the composited picture when it presents it.
    if (mode & CX_RENDER_DISPLAYSTATE) return 0;
    cxLayerTransform t = layer->transform;
    if (IsTextLayerType(layer->type)) AnalyzeTransformMatrix(&t);
    int err = 0;
    cxLayerState *made = CopyLayerStateGeometry(layer->base, &err);
    if (!made) return err;
    // A clip region follows the layer's transform unless told not to.
    if (layer->base->clip && !layer->clipOption && !IsIdentityMatrix(t.options.matrix)) {
        const double ox = layer->base->x, oy = layer->base->y;
        cxClipRegion *turned = TransformClipRegion(layer->base->clip, t.options.matrix, ox, oy);
        if (!turned) {
            FreeLayerContent(L, layer->type, made);
            return ERR_MEM;
        }
        ReleaseClipRegion(made->clip);
        made->clip = turned;
    }
    cxLayerState *oldPicture = layer->picture, *oldDisplay = layer->display;
    // Async-draw buffers stay with the display state.
    made->asyncBitmap = oldDisplay->asyncBitmap, made->asyncMask = oldDisplay->asyncMask;
    made->asyncAlpha = oldDisplay->asyncAlpha;
    cxLayerBox box{oldPicture->drawX, oldPicture->drawY, oldPicture->width, oldPicture->height,
                   (mode & CX_RENDER_PREVIOUSBOX) ? 0 : 1};
    // Until the content is rendered the new state has the old image's box.
    made->drawX = oldPicture->drawX, made->drawY = oldPicture->drawY;
    made->width = oldPicture->width, made->height = oldPicture->height;
    layer->picture = layer->display = made;
    oldDisplay->asyncBitmap = oldDisplay->asyncMask = oldDisplay->asyncAlpha = nullptr;
    err = RenderLayerContent(L, layer, layer->base->x, layer->base->y, made, &box, &t, 0);
    if (err) {
        oldDisplay->asyncBitmap = made->asyncBitmap, oldDisplay->asyncMask = made->asyncMask;
        oldDisplay->asyncAlpha = made->asyncAlpha;
        made->asyncBitmap = made->asyncMask = made->asyncAlpha = nullptr;
        layer->picture = oldPicture, layer->display = oldDisplay;
        FreeLayerContent(L, layer->type, made);
        return err;
    }
    // The old records go unless another slot still holds them.
    if (oldPicture != layer->base) FreeLayerContent(L, layer->type, oldPicture);
    if (oldDisplay != oldPicture && oldDisplay != layer->base) FreeLayerContent(L, layer->type, oldDisplay);
    return 0;
}
