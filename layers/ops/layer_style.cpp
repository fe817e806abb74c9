#include "layers/ops/layer_style.h"

#include <cmath>
#include <cstring>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "layers/core/anim_hooks.h"
#include "layers/core/clip_regions.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/core/layer_states.h"
#include "layers/ops/layer_changes.h"
#include "layers/ops/layer_style_keys.h"

namespace {

bool SameID(cxObjectID a, cxObjectID b) { return a.number == b.number && a.pointer == b.pointer; }

bool ShowsBrush(int32_t type) { return type == CX_LAYER_BRUSH || type == CX_LAYER_BRUSHPART; }

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

// A layer's hold on the brush or anim it shows: taken (1 when it was) or
// let go.
bool TakeUse(lua_State *L, int32_t type, cxObjectID id) {
    if (ShowsBrush(type)) {
        cxBrush *b = nullptr;
        if (FindBrush(L, id, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) return false;
        AddBrushLayerUse(b);
        return true;
    }
    if (type == CX_LAYER_ANIM) {
        const cxLayerAnimHooks *h = GetLayerAnimHooks();
        if (!h->layerUse) return false;
        h->layerUse(L, id, 1);
        return true;
    }
    return false;
}

void ReleaseUse(lua_State *L, int32_t type, cxObjectID id) {
    if (ShowsBrush(type)) {
        cxBrush *b = nullptr;
        if (!FindBrush(L, id, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) DropBrushLayerUse(L, b);
    } else if (type == CX_LAYER_ANIM) {
        if (const cxLayerAnimHooks *h = GetLayerAnimHooks(); h->layerUse) h->layerUse(L, id, -1);
    }
}

bool SameShadow(const cxShadowOptions &a, const cxShadowOptions &b) {
    return a.on == b.on && a.colour == b.colour && a.size == b.size && a.direction == b.direction &&
           a.radius == b.radius && a.sigma == b.sigma;
}

bool SameBorder(const cxBorderOptions &a, const cxBorderOptions &b) {
    return a.on == b.on && a.colour == b.colour && a.size == b.size;
}

bool SameFilters(const cxFilter *a, const cxFilter *b) {
    for (int i = 0; i < CX_FILTER_SLOTS; ++i) {
        if (a[i].active != b[i].active || a[i].priority != b[i].priority) return false;
        if (memcmp(a[i].ints, b[i].ints, sizeof a[i].ints) != 0) return false;
        for (int k = 0; k < 4; ++k)
            if (a[i].args[k] != b[i].args[k]) return false;
    }
    return true;
}

// The distinct states of a layer.
int States(cxLayer *l, cxLayerState *out[3]) {
    int n = 0;
    for (cxLayerState *s : {l->base, l->picture, l->display}) {
        bool seen = !s;
        for (int i = 0; i < n; ++i) seen = seen || out[i] == s;
        if (!seen) out[n++] = s;
    }
    return n;
}

// A position key against the current position: keep, relative, special
// (against the rendered size), or as it is.
int64_t ResolveCoord(int64_t v, int64_t current, bool horizontal, int32_t size, int32_t room, double anchor) {
    if (v == CX_LAYER_KEEP) return current;
    if (v >= CX_LAYER_RELATIVE_MIN && v <= CX_LAYER_RELATIVE_MAX) return current + (v - CX_LAYER_KEEP);
    const int32_t c = SaturateInt64(v);
    return horizontal ? ResolveSpecialX(c, size, room, anchor) : ResolveSpecialY(c, size, room, anchor);
}

// How far the position moves so that the image stays where it was when
// only its anchor changes (the renderers place an image by its anchor).
int64_t AnchorShift(const cxLayer *l, double before, double after, int32_t rendered, int32_t source) {
    auto off = [&](double a) {
        if (IsShapeLayerType(l->type)) return int64_t(a * source) - int64_t(a * rendered);
        return -int64_t(a * rendered);
    };
    return off(before) - off(after);
}

// What the edit replaces, to be put back when rendering fails.
struct Saved {
    int32_t type;
    cxObjectID source;
    void *content;
    int32_t partX, partY, srcWidth, srcHeight;
    cxLayerTransform transform;
    double anchorX, anchorY;
    int32_t transparency;
    uint32_t hidden;
    cxShadowOptions shadow;
    cxBorderOptions border;
    cxFilter filters[CX_FILTER_SLOTS];
    uint32_t movingFilters, clipOption;
    cxClipRegion *clip;

    explicit Saved(const cxLayer *l)
        : type(l->type), source(l->source), content(l->content), partX(l->base->partX), partY(l->base->partY),
          srcWidth(l->base->srcWidth), srcHeight(l->base->srcHeight), transform(l->transform), anchorX(l->anchorX),
          anchorY(l->anchorY), transparency(l->transparency), hidden(l->hidden), shadow(l->shadow),
          border(l->border), movingFilters(l->movingFilters), clipOption(l->clipOption), clip(l->base->clip) {
        memcpy(filters, l->filters, sizeof filters);
    }
    void Restore(cxLayer *l) const {
        l->type = type, l->source = source, l->content = content;
        l->base->partX = partX, l->base->partY = partY;
        l->base->srcWidth = srcWidth, l->base->srcHeight = srcHeight;
        l->transform = transform, l->anchorX = anchorX, l->anchorY = anchorY;
        l->transparency = transparency, l->hidden = hidden;
        l->shadow = shadow, l->border = border;
        memcpy(l->filters, filters, sizeof filters);
        l->movingFilters = movingFilters, l->clipOption = clipOption;
        l->base->clip = clip;
    }
};

// Applies the (layer, table) pairs from index first on.
int ApplyPairs(lua_State *L, int first, int count, int noRefresh) {
    if (count < 2 || count % 2) return ERR_MISSINGPARAMTR;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxDirtyRects *dirty = noRefresh ? nullptr : BeginLayerChanges();
    uint32_t kinds = 0;
    int err = 0;
    // What the pairs before a failing one changed is shown all the same,
    // also when a table reader raises its error.
    auto finish = [&] {
        if (dirty) EndLayerChanges(L, dirty);
        if (kinds) FreeObjectKinds(L, kinds);
        MarkLayersChanged(b);
    };
    try {
        for (int i = first; i < first + count && !err; i += 2) {
            int32_t pos = 0;
            cxLayer *l = nullptr;
            if ((err = FindLayer(L, i, b, &pos))) break;
            if ((err = LayerAtPosition(b, pos, &l))) break;
            if (!lua_istable(L, i + 1)) {
                SetErrorNumber(i + 1);
                err = ERR_TABEXPECTED;
                break;
            }
            err = ApplyLayerStyle(L, l, i + 1, dirty, &kinds);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return err;
}

}  // namespace

int CommitStyleEdit(lua_State *L, cxStyleEdit *e, cxDirtyRects *dirty, uint32_t *kinds) {
    cxLayer *l = e->layer;
    cxLayerState *base = l->base;
    const bool sourceChanged = e->type != l->type || !SameID(e->source, l->source);
    const bool contentChanged = e->ownsContent || sourceChanged || e->content != l->content ||
                                e->partX != base->partX || e->partY != base->partY || e->srcWidth != base->srcWidth ||
                                e->srcHeight != base->srcHeight;
    const cxTransformOptions &ot = l->transform.options, &nt = e->transform.options;
    const bool anchorChanged = e->anchorX != l->anchorX || e->anchorY != l->anchorY;
    const bool transformChanged =
        memcmp(ot.matrix, nt.matrix, sizeof ot.matrix) != 0 || ot.smoothScale != nt.smoothScale || anchorChanged;
    const bool clipChanged = (e->clipSet && e->clip != base->clip) || (e->clipOption != l->clipOption && base->clip);
    const bool render = (contentChanged || transformChanged || clipChanged) && e->type != CX_LAYER_NOOBJECT;
    const bool look = !SameFilters(e->filters, l->filters) || !SameShadow(e->shadow, l->shadow) ||
                      !SameBorder(e->border, l->border);

    if (dirty) QueueLayerBox(L, dirty, l);
    const Saved saved(l);
    l->type = e->type;
    l->source = e->source;
    l->content = e->content;
    base->partX = e->partX, base->partY = e->partY;
    base->srcWidth = e->srcWidth, base->srcHeight = e->srcHeight;
    l->transform = e->transform;
    l->anchorX = e->anchorX, l->anchorY = e->anchorY;
    l->transparency = e->transparency;
    l->hidden = e->hidden;
    l->shadow = e->shadow;
    l->border = e->border;
    memcpy(l->filters, e->filters, sizeof l->filters);
    l->movingFilters = HasPixelMovingFilters(l) ? 1 : 0;
    l->clipOption = e->clipOption;
    if (e->clipSet) base->clip = e->clip;
    if (look || render) DropLayerLook(l);
    if (render) {
        if (int err = RenderLayerImage(L, l, 0)) {
            // The edit still owns what it made; the layer gets its own back.
            saved.Restore(l);
            return err;
        }
    }

    // From here on the layer owns what the edit made.
    if (sourceChanged) {
        const bool took = TakeUse(L, l->type, l->source);
        if (l->usesSource) ReleaseUse(L, saved.type, saved.source);
        l->usesSource = took ? 1 : 0;
        if (kinds) *kinds |= KindMaskOf(saved.type);
    }
    if (saved.content && saved.content != l->content) FreeLayerOwnContent(saved.type, saved.content);
    e->ownsContent = false;
    if (e->clipSet) {
        if (saved.clip && saved.clip != l->base->clip) ReleaseClipRegion(saved.clip);
        e->clip = nullptr;
    }

    cxLayerState *states[3];
    const int n = States(l, states);
    if (render) {
        // The anchored positions follow the new anchor; the rendered image
        // lies where the renderer put it.
        for (int i = 0; i < n; ++i) {
            cxLayerState *s = states[i];
            s->anchoredX = SaturateInt64(int64_t(s->x) - int64_t(l->anchorX * base->srcWidth));
            s->anchoredY = SaturateInt64(int64_t(s->y) - int64_t(l->anchorY * base->srcHeight));
        }
    }
    const cxLayerState *d = l->display;
    int64_t x = base->x, y = base->y;
    if (anchorChanged && !e->hasX) x += AnchorShift(l, saved.anchorX, l->anchorX, d->width, d->srcWidth);
    if (anchorChanged && !e->hasY) y += AnchorShift(l, saved.anchorY, l->anchorY, d->height, d->srcHeight);
    x += e->translateX, y += e->translateY;
    const cxBGPic *b = GetLayerBGPic(l);
    if (e->hasX) x = ResolveCoord(e->x, x, true, d->width, b ? b->currentWidth : 0, l->anchorX);
    if (e->hasY) y = ResolveCoord(e->y, y, false, d->height, b ? b->currentHeight : 0, l->anchorY);
    const int32_t nx = SaturateInt64(x), ny = SaturateInt64(y);
    if (nx != base->x || ny != base->y)
        for (int i = 0; i < n; ++i) SetStatePosition(l, states[i], nx, ny);
    if (e->hasZ && SetLayerListPos(l, e->z)) MarkLayersChanged(GetLayerBGPic(l));
    if (dirty) QueueLayerBox(L, dirty, l);
    return 0;
}

extern "C" int ApplyLayerStyle(lua_State *L, cxLayer *layer, int table, cxDirtyRects *dirty, uint32_t *kinds) {
    cxStyleEdit edit(layer);
    if (int err = ReadStyleEdit(L, table, &edit)) return err;
    return CommitStyleEdit(L, &edit, dirty, kinds);
}

extern "C" int SetLayerStyleByID(lua_State *L, int count, int noRefresh) { return ApplyPairs(L, 1, count, noRefresh); }

extern "C" int SetLayerPosFrame(lua_State *L, cxLayer *l, int32_t x, int32_t y, int32_t frame, int noRefresh) {
    const int top = lua_gettop(L);
    // By name when it has one, else by position (-1 off the output BGPic).
    if (l->name) lua_pushstring(L, l->name);
    else lua_pushnumber(L, GetLayerPos(l));
    lua_newtable(L);
    SetTableNumber(L, "x", x);
    SetTableNumber(L, "y", y);
    if (frame) SetTableNumber(L, "frame", frame);
    const int err = ApplyPairs(L, top + 1, 2, noRefresh);
    lua_settop(L, top);
    return err;
}

extern "C" void SetLayerBorderBlock(lua_State *L, cxLayer *l, const cxBorderOptions *border) {
    if (!border->on && !l->border.on) return;
    int32_t x = 0, y = 0, w = 0, h = 0, nx, ny, nw, nh;
    GetLayerBounds(L, l, l->display, &x, &y, &w, &h);
    l->border = *border;
    FreeLayerStateExtras(l);
    FreeLayerShadows(l);
    GetLayerBounds(L, l, l->display, &nx, &ny, &nw, &nh);
    UnionRect(&x, &y, &w, &h, nx, ny, nw, nh);
    if (IsLayerDrawn(l) && GetLayerBGPic(l) == GetLayerOutputBGPic()) MarkRectDirty(L, x, y, w, h);
}

extern "C" void SetLayerShadowBlock(lua_State *L, cxLayer *l, const cxShadowOptions *shadow) {
    if (!shadow->on && !l->shadow.on) return;
    int32_t x = 0, y = 0, w = 0, h = 0, nx, ny, nw, nh;
    GetLayerBounds(L, l, l->display, &x, &y, &w, &h);
    l->shadow = *shadow;
    FreeLayerShadows(l);
    GetLayerBounds(L, l, l->display, &nx, &ny, &nw, &nh);
    UnionRect(&x, &y, &w, &h, nx, ny, nw, nh);
    if (IsLayerDrawn(l) && GetLayerBGPic(l) == GetLayerOutputBGPic()) MarkRectDirty(L, x, y, w, h);
}
