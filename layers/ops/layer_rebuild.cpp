#include "layers/ops/layer_rebuild.h"

#include <cstring>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "images/brushes/brush.h"
#include "images/core/display_options.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"

namespace {

constexpr uint32_t kOutDisplay = 21;

// The display as RebuildLayer needs it for the call, and back.
struct DisplayState {
    cxDisplay *current, *d;
    uint32_t target, layersOn;
    DisplayState(cxDisplay *display) : current(GetCurrentDisplay()), d(display) {
        target = d->targetKind, layersOn = d->layersOn;
        SetCurrentDisplayRecord(d);
        d->targetKind = kOutDisplay;
        d->layersOn = 1;
    }
    ~DisplayState() {
        d->targetKind = target, d->layersOn = layersOn;
        SetCurrentDisplayRecord(current);
    }
};

}  // namespace

extern "C" int RebuildLayer(lua_State *L, cxDisplay *d, cxLayer **layer, cxBitmap *bitmap, cxBitmap *mask,
                            cxBitmap *alpha) {
    cxLayer *old = *layer;
    cxBGPic *b = GetLayerBGPic(old);
    auto fail = [&](int err) {
        FreeBitmap(bitmap);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
        return err;
    };
    if (!b || !d) return fail(ERR_LAYERRANGE);
    if (!bitmap) return fail(ERR_BITMAP);
    void *content = nullptr;
    if (old->content && !(content = CopyLayerOwnContent(old->type, old->content))) return fail(ERR_MEM);

    // What the new layer takes over, read before AddLayer frees the old.
    const cxLayer was = *old;
    const cxLayerState base = *old->base, shown = *old->display;
    cxLayerOptions lo;
    InitLayerOptions(&lo);
    lo.name[0] = 0;
    // The whole name: it fits the options' buffer (255 bytes and a zero).
    if (old->name) memcpy(lo.name, old->name, strlen(old->name) + 1);
    lo.hidden = old->hidden;
    lo.transparency = old->transparency;
    lo.shadow = old->shadow;
    lo.border = old->border;
    lo.insertPos = 0;

    cxAddLayerRequest r{};
    r.type = old->type;
    r.source = old->source;
    r.x = shown.drawX, r.y = shown.drawY;
    r.srcX = base.partX, r.srcY = base.partY;
    r.srcWidth = base.srcWidth, r.srcHeight = base.srcHeight;
    r.frame = base.partX;
    r.transform = &was.transform.options;
    r.options = &lo;
    r.content = content;
    r.image = cxLayerImage{bitmap, mask, alpha, 0, 0, bitmap->width, bitmap->height, 0, 0,
                           base.srcWidth, base.srcHeight, 1};
    r.insertPos = GetLayerListPos(old);
    r.flags = CX_ADDLAYER_REPLACE | CX_ADDLAYER_KEEPFILTERS | CX_ADDLAYER_IMAGEREADY | CX_ADDLAYER_NOREFRESH |
              (old->hidden ? CX_ADDLAYER_HIDDEN : 0u);
    r.bgpic = b;
    cxLayer *made = nullptr;
    int err = 0;
    {
        DisplayState keep(d);
        err = AddLayer(L, &r, &made);
    }
    if (err) {
        FreeLayerOwnContent(was.type, content);
        return fail(err);
    }
    // The given position and anchor stay; the image lies where the old
    // one was drawn.
    cxLayerState *s = made->base;
    s->x = base.x, s->y = base.y;
    s->anchoredX = base.anchoredX, s->anchoredY = base.anchoredY;
    s->partX = base.partX, s->partY = base.partY;
    made->anchorX = was.anchorX, made->anchorY = was.anchorY;
    made->transform = was.transform;
    made->origin = was.origin;
    made->suppressed = was.suppressed;
    made->shadowFade = was.shadowFade;
    made->borderFade = was.borderFade;
    made->effect = was.effect;
    made->clipOption = was.clipOption;
    memcpy(made->group, was.group, sizeof made->group);
    *layer = made;
    if (d->bgpic == b && !made->hidden && !made->suppressed) {
        DisplayState keep(d);
        RefreshLayer(L, made, 1);
    }
    return 0;
}

extern "C" int GetLayerMaskSlots(lua_State *L, cxLayer *l, int32_t, cxBitmap ***mask, cxBitmap ***alpha) {
    *mask = *alpha = nullptr;
    switch (l->type) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART: {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, l->source, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) return err;
        *mask = &b->mask, *alpha = &b->alpha;
        return 0;
    }
    case CX_LAYER_ANIM:
    case CX_LAYER_BGPICPART:
    case CX_LAYER_TEXTOBJECT: {
        auto *c = static_cast<cxLayerImageContent *>(l->content);
        if (c) *mask = &c->mask, *alpha = &c->alpha;
        return 0;
    }
    default: return 0;
    }
}
