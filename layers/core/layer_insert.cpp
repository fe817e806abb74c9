#include "layers/core/layer_insert.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/events/buttons.h"
#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "images/core/display_options.h"
#include "layers/core/anim_hooks.h"
#include "layers/core/async_draw.h"
#include "layers/core/clip_regions.h"
#include "layers/core/compositor.h"
#include "layers/core/effect_hooks.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/core/layer_states.h"

namespace {

constexpr uint32_t kOutDisplay = 21, kOutLayers = 1;

bool ShowsBrush(int32_t type) { return type == CX_LAYER_BRUSH || type == CX_LAYER_BRUSHPART; }

bool Matches(const cxLayer *l, int kind, cxObjectID id) {
    const bool kindOk = l->type == kind || (kind == CX_OBJ_BRUSH && l->type == CX_LAYER_BRUSHPART) ||
                        (kind != CX_OBJ_BRUSH && l->type == CX_LAYER_NOOBJECT);
    return kindOk && l->source.number == id.number && l->source.pointer == id.pointer;
}

// Every BGPic that may hold layers: the listed ones and the displays' own
// pictures.
template <typename F>
void ForEachBGPic(F fn) {
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) fn(b);
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic && d->bgpic->ownedByDisplay) fn(d->bgpic);
}

// Takes (1) or lets go of (-1) the layer's hold on the object it shows.
void SourceUse(lua_State *L, cxLayer *l, int delta) {
    if (ShowsBrush(l->type)) {
        cxBrush *b = nullptr;
        if (FindBrush(L, l->source, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) {
            if (delta < 0) l->usesSource = 0;
            return;
        }
        if (delta > 0 && !l->usesSource) {
            AddBrushLayerUse(b);
            l->usesSource = 1;
        } else if (delta < 0 && l->usesSource) {
            l->usesSource = 0;
            DropBrushLayerUse(L, b);
        }
    } else if (l->type == CX_LAYER_ANIM) {
        const cxLayerAnimHooks *h = GetLayerAnimHooks();
        if (!h->layerUse) return;
        if (delta > 0 && !l->usesSource) {
            h->layerUse(L, l->source, 1);
            l->usesSource = 1;
        } else if (delta < 0 && l->usesSource) {
            l->usesSource = 0;
            h->layerUse(L, l->source, -1);
        }
    }
}

// Frees an unlinked layer with everything it owns.
void FreeLayerRecord(lua_State *L, cxLayer *l) {
    if (l->effect)
        if (const cxLayerEffectHooks *h = GetLayerEffectHooks(); h->layerFreed) h->layerFreed(L, l);
    SourceUse(L, l, -1);
    FreeLayerStates(L, l);
    free(l);
}

uint32_t KindMaskOf(int32_t type) {
    switch (type) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART: return CX_FREEKIND_BRUSHES;
    case CX_LAYER_ANIM: return CX_FREEKIND_ANIMS;
    case CX_LAYER_TEXTOBJECT: return CX_FREEKIND_TEXTOBJECTS;
    case CX_LAYER_BGPICPART: return CX_FREEKIND_BGPICS;
    case CX_LAYER_VIDEO: return CX_FREEKIND_VIDEOS;
    default: return 0;
    }
}

bool Visible(const cxLayer *l) { return !l->hidden && !l->suppressed && l->type != CX_LAYER_NOOBJECT; }

}  // namespace

extern "C" int AddLayer(lua_State *L, cxAddLayerRequest *r, cxLayer **out) {
    if (out) *out = nullptr;
    cxDisplay *d = GetCurrentDisplay();
    cxBGPic *b = r->bgpic ? r->bgpic : GetDisplayLayerBGPic(d);
    if (!b) return ERR_NOLAYERS;
    cxLayer *old = nullptr;
    if (r->flags & CX_ADDLAYER_REPLACE) {
        old = GetLayerByPos(b, r->insertPos);
        if (!old) return ERR_LAYERRANGE;
    }
    cxLayerOptions lo;
    if (r->options) lo = *r->options;
    else InitLayerOptions(&lo);
    cxTransformOptions to;
    if (r->transform) to = *r->transform;
    else InitTransformOptions(&to);

    auto *l = static_cast<cxLayer *>(calloc(1, sizeof(cxLayer)));
    cxLayerState *s = l ? NewLayerState() : nullptr;
    if (!s) {
        free(l);
        return ERR_MEM;
    }
    auto fail = [&](int err) {
        l->content = nullptr;  // still the caller's
        FreeLayerContent(L, l->type, s);
        free(l->name);
        free(l);
        return err;
    };
    if (lo.name[0]) {
        if (int err = AssignLayerName(b, old, &l->name, lo.name)) return fail(err);
    }
    l->type = r->type;
    l->source = l->origin = r->source;
    l->hidden = (lo.hidden || (r->flags & CX_ADDLAYER_HIDDEN)) ? 1 : 0;
    l->suppressed = (d && d->targetKind == kOutLayers && b == d->bgpic) ? 1 : 0;
    l->transparency = lo.transparency < 0 ? 0 : lo.transparency > 255 ? 255 : lo.transparency;
    l->shadow = lo.shadow;
    l->border = lo.border;
    memcpy(l->filters, lo.filters, sizeof l->filters);
    l->movingFilters = HasPixelMovingFilters(l) ? 1 : 0;
    l->transform.options = to;
    l->anchorX = to.anchorX, l->anchorY = to.anchorY;
    if (old && (r->flags & CX_ADDLAYER_KEEPFILTERS)) {
        memcpy(l->filters, old->filters, sizeof l->filters);
        l->movingFilters = old->movingFilters;
    }

    s->x = r->x, s->y = r->y;
    s->srcWidth = r->srcWidth, s->srcHeight = r->srcHeight;
    s->partX = r->type == CX_LAYER_ANIM ? r->frame : r->srcX, s->partY = r->srcY;
    s->anchoredX = SaturateInt64(int64_t(r->x) - int64_t(to.anchorX * r->srcWidth));
    s->anchoredY = SaturateInt64(int64_t(r->y) - int64_t(to.anchorY * r->srcHeight));
    if (cxClipRegion *clip = old ? old->base->clip : GetBGPicClipRegion(b)) {
        s->clip = UseClipRegion(clip);
        if (!s->clip) return fail(ERR_MEM);
    }
    l->base = l->picture = l->display = s;
    l->content = r->content;

    if (r->flags & CX_ADDLAYER_IMAGEREADY) {
        const cxLayerImage &img = r->image;
        SetLayerImage(L, l, nullptr, r->x, r->y, img.width, img.height, img.owned ? img.bitmap : nullptr,
                      img.owned ? img.mask : nullptr, img.owned ? img.alpha : nullptr, 0);
        if (!s->srcWidth) s->srcWidth = img.width, s->srcHeight = img.height;
    } else {
        cxLayerTransform t = l->transform;
        if (IsTextLayerType(l->type)) AnalyzeTransformMatrix(&t);
        if (int err = RenderLayerContent(L, l, r->x, r->y, s, nullptr, &t, 0)) return fail(err);
    }
    if (old && (r->flags & CX_ADDLAYER_KEEPPLACE)) {
        SetStatePosition(l, s, old->base->x, old->base->y);
    }

    if (old) {
        // The async draws that animate the old layer move to the new one.
        cxLayer *pair[2] = {old, l};
        if (intptr_t err = NotifyAsyncDraws(CX_ASYNC_LAYER_REPLACED, pair)) return fail(int(err));
    }
    // Linked from here on: the layer owns what it was given.
    if (old) {
        l->data = old->data, old->data = nullptr;
        l->button = old->button, old->button = nullptr;
        RebindLayerButton(static_cast<cxBGPicButton *>(l->button), l);
        InsertListNode(&b->layers, &l->node, old->node.prev);
        RemoveListNode(&old->node);
        FreeLayerRecord(L, old);
    } else if (r->insertPos <= 0 || r->insertPos > b->layers.count) {
        AddListTail(&b->layers, &l->node);
    } else if (r->insertPos == 1) {
        AddListHead(&b->layers, &l->node);
    } else {
        InsertListNode(&b->layers, &l->node, &GetLayerByPos(b, r->insertPos - 1)->node);
    }
    if (r->flags & CX_ADDLAYER_IMAGEREADY) r->image = cxLayerImage{};
    r->content = nullptr;
    SourceUse(L, l, 1);
    MarkLayersChanged(b);
    if (out) *out = l;
    if (!(r->flags & CX_ADDLAYER_NOREFRESH) && Visible(l) && d && d->bgpic == b) RefreshLayer(L, l, 1);
    return 0;
}

extern "C" int IsLayerUncovered(const cxBGPic *, const cxLayer *layer) {
    const cxLayerState *s = layer->display;
    for (cxLayer *l = NextLayer(layer); l; l = NextLayer(l)) {
        if (!Visible(l)) continue;
        // What a front layer covers reaches beyond its image by its shadow
        // and border.
        int32_t x, y, w, h;
        GetLayerBounds(nullptr, const_cast<cxLayer *>(l), l->display, &x, &y, &w, &h);
        if (RectsOverlapWH(x, y, w, h, s->drawX, s->drawY, s->width, s->height)) return 0;
    }
    return 1;
}

extern "C" void RefreshLayer(lua_State *L, cxLayer *layer, int direct) {
    cxBGPic *b = GetLayerBGPic(layer);
    cxDisplay *d = GetCurrentDisplay();
    if (!b || !d || d->bgpic != b) return;
    int32_t x, y, w, h;
    if (!direct) {
        GetLayerBounds(L, layer, layer->display, &x, &y, &w, &h);
        MarkRectDirty(L, x, y, w, h);
        return;
    }
    if (!Visible(layer)) return;
    cxLayerState *s = layer->display;
    cxBitmap *comp = d->targetKind == kOutDisplay ? GetCompositionBuffer(L, d) : nullptr;
    cxLayerShown img{};
    const bool plain = comp && !layer->effect && !(s->clip && s->clip->shape) && layer->transparency == 0 && !layer->shadow.on &&
                       !layer->border.on && !LayerHasFilters(layer) && !GetLayerImage(L, layer, s, 1, 1, &img) &&
                       img.bitmap && !img.alpha;
    const cxLayerSpriteHooks *sprites = GetLayerSpriteHooks();
    if (plain && IsLayerUncovered(b, layer) &&
        !(sprites->overlaps && sprites->overlaps(b, s->drawX, s->drawY, s->width, s->height))) {
        x = s->drawX, y = s->drawY, w = s->width, h = s->height;
        int32_t sx = img.srcX, sy = img.srcY;
        // Cut to the clip region's box and the picture.
        int32_t cx = x, cy = y, cw = w, ch = h, shiftX = 0, shiftY = 0;
        if (!ClipRectToRegion(s->clip, &cx, &cy, &shiftX, &shiftY, &cw, &ch)) return;
        if (!ClipRectToArea(0, 0, d->pictureWidth, d->pictureHeight, &cx, &cy, &cw, &ch)) return;
        sx += cx - x, sy += cy - y;
        SafeBlt(L, img.bitmap, sx, sy, comp, cx, cy, cw, ch, img.srcX + img.width, img.srcY + img.height,
                comp->width, comp->height, CX_SAFEBLT_OWNTARGET | CX_SAFEBLT_NOSPRITES | CX_SAFEBLT_NOREGION,
                img.mask, nullptr, nullptr);
        if (const cxSafeBltHooks *hooks = GetSafeBltHooks(); hooks->refreshRegion)
            hooks->refreshRegion(comp, cx, cy, d, cx, cy, cw, ch, 0);
        return;
    }
    GetLayerBounds(L, layer, s, &x, &y, &w, &h);
    MarkRectDirty(L, x, y, w, h);
}

extern "C" void UnlinkLayer(lua_State *L, cxLayer *layer, int keepOnScreen, int32_t *outBox, cxDirtyRects *dirty,
                            int) {
    cxBGPic *b = GetLayerBGPic(layer);
    int32_t x = 0, y = 0, w = 0, h = 0;
    GetLayerBounds(L, layer, layer->display, &x, &y, &w, &h);
    if (outBox) outBox[0] = x, outBox[1] = y, outBox[2] = w, outBox[3] = h;
    const bool visible = Visible(layer);
    const uint32_t kinds = KindMaskOf(layer->type);
    // A button bound to it goes with it.
    if (layer->button) ReleaseLayerButton(L, b, layer);
    // Out of the list first: the redraw below leaves it out.
    RemoveListNode(&layer->node);
    FreeLayerRecord(L, layer);
    if (b) MarkLayersChanged(b);
    if (!keepOnScreen && visible) {
        cxDisplay *d = GetCurrentDisplay();
        if (dirty) QueueDirtyBox(dirty, x, y, w, h);
        else if (d && d->bgpic == b) MarkRectDirty(L, x, y, w, h);
    }
    if (kinds) FreeObjectKinds(L, kinds);
}

extern "C" void FreeAllLayers(lua_State *L, cxBGPic *b, int freeDeferred, int releaseButtons) {
    if (b) {
        while (cxListNode *n = b->layers.head) {
            cxLayer *l = LayerOfNode(n);
            if (releaseButtons && l->button) ReleaseLayerButton(L, b, l);
            RemoveListNode(n);
            FreeLayerRecord(L, l);
        }
    }
    if (freeDeferred) FreeObjectKinds(L, CX_FREEKIND_ALL);
}

extern "C" void FreeObjectKinds(lua_State *L, uint32_t mask) {
    if (mask & CX_FREEKIND_BRUSHES) PurgePendingBrushes(L);
    if (mask & CX_FREEKIND_ANIMS)
        if (const cxLayerAnimHooks *h = GetLayerAnimHooks(); h->purgePending) h->purgePending(L);
    if (mask & CX_FREEKIND_BGPICS) PurgePendingBGPics(L);
    PurgePendingClipRegions();
}

extern "C" void RedirectLayerSources(lua_State *, int kind, cxObjectID from, cxObjectID to) {
    ForEachBGPic([&](cxBGPic *b) {
        for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l))
            if (Matches(l, kind, from)) l->source = to;
    });
}

extern "C" int32_t CountLayersShowing(int kind, cxObjectID id) {
    int32_t n = 0;
    ForEachBGPic([&](cxBGPic *b) {
        for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l))
            if (Matches(l, kind, id)) ++n;
    });
    return n;
}

extern "C" void SetLayerSource(lua_State *L, cxLayer *l, cxObjectID source) {
    SourceUse(L, l, -1);
    l->source = source;
    SourceUse(L, l, 1);
}

namespace {

// The layer's current image as a new brush (pending free: the layer's),
// and the layer a plain brush layer showing it at the same place.
int ConvertToBrushLayer(lua_State *L, cxLayer *l, cxObjectID *out) {
    cxLayerState *s = l->display;
    cxLayerShown img{};
    if (int err = GetLayerImage(L, l, s, 0, 0, &img)) return err;
    if (!img.bitmap) return ERR_BITMAP;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (int err = ConvertBitmapFx(img.bitmap, img.mask, img.alpha, img.srcX, img.srcY, img.width, img.height, &b, &m,
                                  &a))
        return err;
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxBrush *brush = nullptr;
    int err = AddBrushRecord(&id, CX_BRUSH_BITMAP, img.width, img.height, img.width, 0, nullptr, b,
                             m ? CX_TRANSPARENT_BY_MASK : CX_NO_TRANSPARENT_COLOUR, m, a, nullptr, &brush);
    cxLayerState *made = err ? nullptr : NewLayerState();
    if (!err && !made) {
        DestroyBrush(L, brush);
        return ERR_MEM;
    }
    if (err) {
        FreeBitmap(b);
        FreeMask(m);
        FreeAlphaChannel(a);
        return err;
    }
    brush->pendingFree = 1;
    made->x = made->drawX = made->anchoredX = s->drawX;
    made->y = made->drawY = made->anchoredY = s->drawY;
    made->width = made->srcWidth = img.width;
    made->height = made->srcHeight = img.height;
    made->clip = UseClipRegion(l->base->clip);
    ForEachLayerState(l, [](cxLayerState *state, void *user) { FreeLayerContent(static_cast<lua_State *>(user), 0, state); }, L);
    FreeLayerOwnContent(l->type, l->content);
    l->content = nullptr;
    l->base = l->picture = l->display = made;
    l->type = CX_LAYER_BRUSH;
    l->source = l->origin = id;
    InitTransformOptions(&l->transform.options);
    l->transform.general = 0;
    l->transform.options.anchorX = l->transform.options.anchorY = 0;
    l->anchorX = l->anchorY = 0;
    SourceUse(L, l, 1);
    *out = id;
    return 0;
}

}  // namespace

extern "C" int PrepareLayerForDrawing(lua_State *L, cxLayer *l, int32_t, cxObjectID *out) {
    if (IsAsyncDrawObject(l)) return ERR_RENDERADLAYER;
    switch (l->type) {
    case CX_LAYER_VIDEO: return ERR_VIDEOLAYER;
    case CX_LAYER_NOOBJECT:
    case CX_LAYER_ANIM: return ERR_WRONGUSAGE;
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART: {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, l->source, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) return err;
        // The layer's own already when the script cannot reach it and no
        // other layer shows it.
        if (!(b->pendingFree && b->layerUses == 1)) {
            cxBrush *copy = nullptr;
            if (int err = CopyBrushRecord(L, b, cxObjectID{0, reinterpret_cast<void *>(1)}, 0, b->smoothScale, nullptr,
                                          &copy))
                return err;
            copy->pendingFree = 1;
            SetLayerSource(L, l, GetObjectID(&copy->header));
        }
        *out = l->source;
        return 0;
    }
    default: break;
    }
    if (int err = ConvertToBrushLayer(L, l, out)) return err;
    if (cxBGPic *b = GetLayerBGPic(l)) MarkLayersChanged(b);
    return 0;
}

extern "C" void LayerBrushDrawn(lua_State *L, cxObjectID brush) {
    ForEachBGPic([&](cxBGPic *b) {
        for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l)) {
            if (!ShowsBrush(l->type) || l->source.number != brush.number || l->source.pointer != brush.pointer)
                continue;
            DropLayerLook(l);
            if (!IsIdentityMatrix(l->transform.options.matrix)) RenderLayerImage(L, l, CX_RENDER_PREVIOUSBOX);
            else if (!l->hidden && !l->suppressed) RefreshLayer(L, l, 0);
        }
    });
}
