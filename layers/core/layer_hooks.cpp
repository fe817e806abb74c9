#include "layers/core/layer_hooks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "display/events/event_pump.h"
#include "display/frame_hooks.h"
#include "display/picture.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/geometry/geometry.h"
#include "images/core/display_core.h"
#include "images/core/display_options.h"
#include "images/core/layer_use.h"
#include "images/output/output_redirect.h"
#include "images/sprites/sprite.h"
#include "layers/core/collision.h"
#include "layers/core/layer_position.h"
#include "layers/core/async_draw.h"
#include "layers/core/compositor.h"
#include "layers/core/filters.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "text/library/text_objects.h"

namespace {

constexpr uint32_t kOutDisplay = 21, kOutLayers = 1;

struct Saved {
    bool installed = false;
    cxSafeBltHooks blit{};
    cxDisplayPictureHooks picture{};
    cxDrawOutputHooks draw{};
};
Saved g_saved;

// ---- the display core ----

int AddBitmapLayer(lua_State *L, int kind, cxObjectID id, int32_t srcX, int32_t srcY, int32_t x, int32_t y,
                   int32_t w, int32_t h, const cxTransformOptions *t, const cxLayerOptions *lo, cxBitmap *bitmap,
                   cxBitmap *mask, cxBitmap *alpha, void *insertBefore, uint32_t, intptr_t value) {
    // value: an anim layer's frame (0-based).
    cxAddLayerRequest r{};
    r.source = id;
    r.x = x, r.y = y;
    r.srcWidth = w, r.srcHeight = h;
    r.transform = t;
    r.options = lo;
    r.insertPos = lo ? lo->insertPos : 0;
    if (insertBefore) r.insertPos = GetLayerListPos(static_cast<cxLayer *>(insertBefore));
    switch (kind) {
    case CX_OBJ_BRUSH:
    case CX_OBJ_BRUSHPART:
        r.type = (srcX || srcY || kind == CX_OBJ_BRUSHPART) ? CX_LAYER_BRUSHPART : CX_LAYER_BRUSH;
        r.srcX = srcX, r.srcY = srcY;
        return AddLayer(L, &r, nullptr);
    case CX_OBJ_VIDEO:
        // The video library brings the picture; without one there is none.
        if (!bitmap) return ERR_WRONGUSAGE;
        break;
    default: break;
    }
    // Everything else brings its image, which the layer keeps.
    if (!bitmap) return ERR_WRONGUSAGE;
    r.type = kind == CX_OBJ_ANIM ? CX_LAYER_ANIM : kind == CX_OBJ_BGPICPART ? CX_LAYER_BGPICPART : kind;
    if (kind == CX_OBJ_ANIM) r.frame = int32_t(value);
    // A BGPic part remembers where it was cut from.
    if (kind == CX_OBJ_BGPICPART) r.srcX = srcX, r.srcY = srcY;
    cxLayerImageContent *c = NewImageContent(bitmap, mask, alpha, w, h);
    if (!c) return ERR_MEM;
    r.content = c;
    const int err = AddLayer(L, &r, nullptr);
    // On failure the bitmaps stay the caller's.
    if (err) free(c);
    return err;
}

int ParseFiltersHook(lua_State *L, int table, cxLayerOptions *l) {
    int has = 0, err = 0;
    ParseFilterTable(L, table, l->filters, &has, &err);
    return err;
}

int ApplyFiltersHook(lua_State *, const cxLayerOptions *l, cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha,
                     int32_t w, int32_t h) {
    ApplyLayerFilters(l->filters, bitmap, mask, alpha, w, h, 0);
    return 0;
}

int CountLayersHook(const cxBGPic *b) { return CountLayers(b); }

void FreeLayersHook(lua_State *L, cxBGPic *b) { FreeAllLayers(L, b, 0, 1); }

cxBitmap *ComposeDisplay(lua_State *L, cxDisplay *d) {
    cxBitmap *c = GetCompositionBuffer(L, d);
    if (c && d->bgpic) RedrawLayersRect(L, d, d->bgpic, c, 0, 0, d->pictureWidth, d->pictureHeight, 0, nullptr);
    return c;
}

// ---- moves of layers ----

int FindLayerArgHook(lua_State *L, int index, int32_t *position) {
    return FindLayer(L, index, GetLayerOutputBGPic(), position);
}

void *LayerAtHook(int32_t position) { return GetLayerByPos(GetLayerOutputBGPic(), position); }

void LayerGeometryHook(const void *layer, cxLayerGeometry *out) {
    const auto *l = static_cast<const cxLayer *>(layer);
    *out = cxLayerGeometry{l->base->x, l->base->y, l->base->srcWidth, l->base->srcHeight, l->anchorX, l->anchorY};
}

void MoveLayerHook(lua_State *L, void *layer, int32_t x, int32_t y) {
    UpdateLayerPosition(L, static_cast<cxLayer *>(layer), nullptr, x, y, 0, 0, nullptr);
}

// Asked about a layer that may have been freed: the lists are searched,
// the layer itself is not read.
int IsLayerListedHook(const void *layer) {
    auto in = [layer](const cxBGPic *b) {
        for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l))
            if (l == layer) return true;
        return false;
    };
    if (!layer) return 0;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic && in(d->bgpic)) return 1;
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next))
        if (in(b)) return 1;
    return 0;
}

// ---- asynchronous draws of the images library ----

static_assert(CX_ASYNCUSE_LAYER_REPLACED == CX_ASYNC_LAYER_REPLACED && CX_ASYNCUSE_ANIMATES == CX_ASYNC_ANIMATES,
              "the control codes are shared");

struct AsyncUse {
    cxAsyncClient client;
    void *user;
};

int AsyncUseFrame(lua_State *L, cxAsyncDraw *a, int *done) {
    auto *u = static_cast<AsyncUse *>(a->userData);
    return u->client.frame ? u->client.frame(L, u->user, done) : (*done = 1, 0);
}

void AsyncUseRelease(cxAsyncDraw *a) {
    auto *u = static_cast<AsyncUse *>(a->userData);
    if (u->client.release) u->client.release(u->user);
    delete u;
}

intptr_t AsyncUseControl(cxAsyncDraw *a, int code, void *object) {
    auto *u = static_cast<AsyncUse *>(a->userData);
    return u->client.control ? u->client.control(u->user, code, object) : 0;
}

int StartAsyncDrawHook(lua_State *, const cxAsyncClient *client, void *user, void **handle) {
    auto *u = new (std::nothrow) AsyncUse{*client, user};
    if (!u) return ERR_MEM;
    cxAsyncDraw *a = nullptr;
    if (int err = CreateAsyncDraw(0, AsyncUseFrame, nullptr, AsyncUseRelease, AsyncUseControl, u, &a)) {
        delete u;
        return err;
    }
    *handle = a;
    return 0;
}

// ---- sprites ----

void RedrawDisplayRectHook(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    RedrawDisplayRectOf(L, d, x, y, w, h);
}

void DrawSpritesHook(lua_State *L, cxBGPic *b, cxBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                     int markedOnly) {
    DrawSprites(L, b, dst, x, y, w, h, markedOnly);
}

void DrawSpritesInBoxesHook(lua_State *L, cxBGPic *b, cxBitmap *dst, const int32_t *boxes, uint32_t count) {
    DrawSpritesInBoxes(L, b, dst, boxes, count);
}

int SpritesOverHook(cxBGPic *b, int32_t x, int32_t y, int32_t w, int32_t h) { return RectOverlapsSprites(b, x, y, w, h); }

// Collision's sprite: the frame its on-screen node shows.
int SpriteCollisionHook(lua_State *L, cxObjectID id, cxCollisionObject *out) {
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, 0)) return err;
    cxSpriteDrawNode *n = nullptr;
    if (int err = FindOnScreenSprite(id, &n, nullptr)) return err;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (int err = GetSpriteFrame(s, n->frame - 1, &b, &m, &a)) return err;
    *out = cxCollisionObject{n->x, n->y, n->width, n->height, m, a, 0, 0, nullptr};
    return 0;
}

// Sprites shown over the display's picture: it is composited, not shown as it is.
bool HasSprites(const cxDisplay *d) { return d->bgpic && GetSpriteDrawList(d->bgpic); }

// ---- text ----

cxTransformOptions TransformOf(const cxTextDrawOptions *o) {
    cxTransformOptions t;
    InitTransformOptions(&t);
    if (o) {
        for (int i = 0; i < 4; ++i) t.matrix[i] = o->matrix[i];
        // The text's matrix is the layer's own: kept as an explicit one, so
        // that the layer's scales and rotation never rebuild it.
        if (!IsIdentityMatrix(t.matrix)) {
            for (int i = 0; i < 4; ++i) t.transform[i] = t.matrix[i];
            t.hasTransform = 1;
        }
        t.anchorX = o->anchorX, t.anchorY = o->anchorY;
        t.smoothScale = uint32_t(o->smooth);
    }
    return t;
}

int AddTextLayer(lua_State *L, void *, const cxTextRecord *rec, cxTextImage *image, int32_t x, int32_t y, int mode,
                 const cxTextDrawOptions *opts) {
    cxLayerTextContent *c = NewTextContent(rec, opts, mode, image->offsetX, image->offsetY);
    if (!c) return ERR_MEM;
    const cxTransformOptions t = TransformOf(opts);
    cxAddLayerRequest r{};
    r.type = mode == CX_RENDER_PRINT ? CX_LAYER_PRINT : CX_LAYER_TEXTOUT;
    r.x = x, r.y = y;
    r.srcWidth = image->width, r.srcHeight = image->height;
    r.transform = &t;
    r.options = opts ? &opts->layer : nullptr;
    r.insertPos = opts ? opts->layer.insertPos : 0;
    r.content = c;
    r.image = cxLayerImage{image->bitmap, image->mask, image->alpha, 0, 0, image->width, image->height, 0, 0,
                           image->width, image->height, 1};
    r.flags = CX_ADDLAYER_IMAGEREADY;
    if (int err = AddLayer(L, &r, nullptr)) {
        FreeLayerOwnContent(r.type, c);
        return err;
    }
    // The layer has the bitmaps now.
    image->bitmap = image->mask = image->alpha = nullptr;
    return 0;
}

int AddTextObjectLayer(lua_State *L, cxObjectID id, int32_t x, int32_t y, const cxTextDrawOptions *opts) {
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, 0)) return err;
    if (!t->bitmap) return ERR_BITMAP;
    // The layer keeps a copy: the object may be turned or freed meanwhile.
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    b = AllocBitmap(t->width, t->height, 0, 0);
    if (!b) return ERR_BITMAP;
    BltBitmap(t->bitmap, 0, 0, b, 0, 0, t->width, t->height);
    if (t->mask && !(m = AllocMask(b, t->width, t->height, 1, nullptr, 0))) {
        FreeBitmap(b);
        return ERR_ALLOCMASK;
    }
    if (m) CombineMaskRect(t->mask, 0, 0, m, 0, 0, t->width, t->height, CX_MASKVANILLACOPY);
    if (t->alpha && !(a = CopyAlphaChannel(t->alpha, t->width, t->height))) {
        FreeBitmap(b);
        FreeMask(m);
        return ERR_ALLOCALPHA;
    }
    cxLayerImageContent *c = NewImageContent(b, m, a, t->width, t->height);
    if (!c) {
        FreeBitmap(b);
        FreeMask(m);
        FreeAlphaChannel(a);
        return ERR_MEM;
    }
    const cxTransformOptions tr = TransformOf(nullptr);
    cxAddLayerRequest r{};
    r.type = CX_LAYER_TEXTOBJECT;
    r.source = id;
    r.x = x, r.y = y;
    r.srcWidth = t->width, r.srcHeight = t->height;
    r.transform = &tr;
    r.options = opts ? &opts->layer : nullptr;
    r.insertPos = opts ? opts->layer.insertPos : 0;
    r.content = c;
    r.image = cxLayerImage{b, m, a, 0, 0, t->width, t->height, 0, 0, t->width, t->height, 0};
    r.flags = CX_ADDLAYER_IMAGEREADY;
    if (int err = AddLayer(L, &r, nullptr)) {
        FreeLayerOwnContent(r.type, c);
        return err;
    }
    return 0;
}

// ---- shapes and paths ----

int AddShapeLayer(lua_State *L, const cxDrawOutput *out, const cxShape *shape, const cxDrawStyle *style,
                  uint32_t colour) {
    if (shape->kind == CX_SHAPE_PLOT) {
        // A point is no layer: it goes into the background and shows at
        // once.
        cxDrawRect changed{};
        if (int err = RenderShape(&out->target, shape, style, colour, &changed)) return err;
        if (changed.width > 0 && out->kind == kOutDisplay) MarkRectDirty(L, changed.x, changed.y, changed.width, changed.height);
        return 0;
    }
    int32_t x = 0, y = 0, w = 0, h = 0;
    cxBitmap *bm = nullptr, *alpha = nullptr;
    if (int err = RenderShapeImage(shape, style, colour, &bm, &alpha, &x, &y, &w, &h)) return err;
    cxLayerShapeContent *c = NewShapeContent(shape, style, colour, x, y);
    if (!c) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return ERR_MEM;
    }
    cxAddLayerRequest r{};
    r.type = int32_t(shape->kind);
    r.x = x, r.y = y;
    r.srcWidth = w, r.srcHeight = h;
    r.content = c;
    r.image = cxLayerImage{bm, nullptr, alpha, 0, 0, w, h, 0, 0, w, h, 1};
    r.flags = CX_ADDLAYER_IMAGEREADY;
    if (int err = AddLayer(L, &r, nullptr)) {
        FreeLayerOwnContent(r.type, c);
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return err;
    }
    return 0;
}

int AddPathLayer(lua_State *L, const cxPathRender *render, int optionsIndex) {
    cxDrawOutput out{};
    if (int err = GetCurrentDrawOutput(L, &out)) return err;
    cxPathRender work = *render;
    int32_t bx = 0, by = 0, w = 0, h = 0;
    cxBitmap *bm = nullptr, *alpha = nullptr;
    if (int err = RenderPathImage(&work, nullptr, &bm, &alpha, &bx, &by, &w, &h)) return err;
    cxTransformOptions t;
    cxLayerOptions lo;
    int err = optionsIndex ? ReadDisplayOptions(L, optionsIndex, w, h, 0, 0, 0, &t, &lo, CX_DOPT_INIT) : 0;
    if (!optionsIndex) InitDisplayOptions(&t, &lo, w, h, w, h, 0, 0);
    if (!err && !IsIdentityMatrix(t.matrix)) {
        // A turned drawing turns about its origin.
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        bm = alpha = nullptr;
        err = RenderPathImage(&work, t.matrix, &bm, &alpha, &bx, &by, &w, &h);
    }
    if (err) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return err;
    }
    const int32_t px = IsSpecialX(render->x) ? ResolveSpecialX(render->x, w, out.target.width, 0) - int32_t(w * t.anchorX)
                                            : int32_t(std::clamp(double(render->x) + bx - std::round(w * t.anchorX), -1e9, 1e9));
    const int32_t py = IsSpecialY(render->y) ? ResolveSpecialY(render->y, h, out.target.height, 0) - int32_t(h * t.anchorY)
                                            : int32_t(std::clamp(double(render->y) + by - std::round(h * t.anchorY), -1e9, 1e9));
    cxLayerPathContent *c = NewPathContent(render);
    if (!c) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return ERR_MEM;
    }
    c->originX = -bx, c->originY = -by;
    cxAddLayerRequest r{};
    r.type = CX_LAYER_VECTORPATH;
    r.source = render->path;
    r.x = px, r.y = py;
    r.srcWidth = w, r.srcHeight = h;
    r.transform = &t;
    r.options = &lo;
    r.insertPos = lo.insertPos;
    r.content = c;
    r.image = cxLayerImage{bm, nullptr, alpha, 0, 0, w, h, 0, 0, w, h, 1};
    r.flags = CX_ADDLAYER_IMAGEREADY;
    if (int e = AddLayer(L, &r, nullptr)) {
        FreeLayerOwnContent(r.type, c);
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return e;
    }
    return 0;
}

// ---- the draw output ----

void Drawn(lua_State *L, const cxDrawOutput *out, const cxDrawRect *changed) {
    const cxDisplay *d = static_cast<const cxDisplay *>(out->display);
    // Drawn into the background copy: the layers go over it again.
    if (d && d->layersOn == 1 && out->kind == kOutDisplay && d->targetKind == kOutDisplay) {
        MarkRectDirty(L, changed->x, changed->y, changed->width, changed->height);
        return;
    }
    if (g_saved.draw.drawn) g_saved.draw.drawn(L, out, changed);
}

int ClearToBackground(lua_State *L, const cxDrawOutput *out) {
    cxDisplay *d = static_cast<cxDisplay *>(out->display);
    if (d && d->layersOn) {
        if (cxBGPic *b = GetDisplayLayerBGPic(d)) {
            FreeAllLayers(L, b, 1, 1);
            MarkLayersChanged(b);
        }
        if (out->kind == kOutLayers && GetDisplayLayerBGPic(d) != d->bgpic) return 0;
    }
    return g_saved.draw.clearToBackground ? g_saved.draw.clearToBackground(L, out) : 0;
}

// ---- SafeBlt and the display's picture ----

void RedrawForSafeBlt(lua_State *L, cxDisplay *d, cxBGPic *b, cxBitmap *dst, int32_t x, int32_t y, int32_t w,
                      int32_t h, uint32_t, int part) {
    const uint32_t flags = part == 1 ? CX_REDRAW_NOSPRITES : part == 2 ? CX_REDRAW_SPRITESONLY : 0;
    RedrawLayersRect(L, d, b, dst, x, y, w, h, flags, nullptr);
}

int SpriteOverlaps(cxBGPic *b, int32_t x, int32_t y, int32_t w, int32_t h) {
    const cxLayerSpriteHooks *s = GetLayerSpriteHooks();
    return s->overlaps ? s->overlaps(b, x, y, w, h) : 0;
}

cxBitmap *BackBitmap(cxDisplay *d, int which) {
    if (which == 0) return g_saved.blit.backBitmap ? g_saved.blit.backBitmap(d, 0) : d->picture;
    if ((d->layersOn == 1 || HasSprites(d)) && d->bgpic) return GetCompositionBuffer(nullptr, d);
    return g_saved.blit.backBitmap ? g_saved.blit.backBitmap(d, 1) : d->backBitmap[0];
}

int RefreshWhole(lua_State *L, cxDisplay *d, uint32_t flags) {
    if ((d->layersOn == 1 || HasSprites(d)) && d->bgpic && !d->doubleBuffer1) {
        RedrawWholeDisplay(L, d);
        return 0;
    }
    return g_saved.picture.refreshWholeDisplay ? g_saved.picture.refreshWholeDisplay(L, d, flags)
                                               : PresentWholeDisplay(L, d, flags);
}

// ---- frames, ends, names ----

void Frame(lua_State *L, cxDisplay *d) {
    ShowPendingRepaints(L);
    PresentDisplayDirtyRects(L, d);
    RunDisplayAsyncDraws(L, d);
}

void DisplayFreed(lua_State *L, cxDisplay *d) {
    FreeAllAsyncDraws(L, d);
    DropDisplayDirtyRects(d);
}

void SelectionEnded(lua_State *L, cxDisplay *d) { ReleaseSuppressedLayers(L, d); }

int PrepareLayerTarget(lua_State *L, int32_t position, int32_t frame, cxObjectID *brush) {
    cxLayer *l = GetLayerByPos(GetLayerOutputBGPic(), position);
    if (!l) return ERR_LAYERRANGE;
    return PrepareLayerForDrawing(L, l, frame, brush);
}

int ResolveLayerName(lua_State *, const char *name, int *position) {
    const int32_t pos = FindLayerPosByName(GetLayerOutputBGPic(), name);
    if (!pos) {
        SetErrorDetail(name);
        return ERR_FINDLAYER;
    }
    *position = pos;
    return 0;
}

}  // namespace

extern "C" void ReleaseSuppressedLayers(lua_State *L, cxDisplay *d) {
    if (!d || !d->bgpic) return;
    bool any = false;
    for (cxLayer *l = LayerOfNode(d->bgpic->layers.head); l; l = NextLayer(l)) {
        if (!l->suppressed) continue;
        l->suppressed = 0;
        any = true;
        if (!l->hidden) QueueLayerDirtyRect(L, GetDisplayDirtyRects(d), l, l->display);
    }
    if (any) MarkLayersChanged(d->bgpic);
    if (d->targetKind == kOutDisplay) PresentDisplayDirtyRects(L, d);
}

extern "C" void InstallLayerHooks(void) {
    if (!g_saved.installed) {
        g_saved.blit = *GetSafeBltHooks();
        g_saved.picture = *GetDisplayPictureHooks();
        g_saved.draw = *GetDrawOutputHooks();
        g_saved.installed = true;
    }
    cxLayerHooks layers{};
    layers.redirectLayers = RedirectLayerSources;
    layers.addBitmapLayer = AddBitmapLayer;
    layers.parseFilterTable = ParseFiltersHook;
    layers.applyLayerFilters = ApplyFiltersHook;
    layers.countLayers = CountLayersHook;
    layers.freeLayers = FreeLayersHook;
    layers.redrawDisplayRect = RedrawDisplayRectHook;
    layers.queueDisplayRect = QueueDisplayRepaint;
    layers.composeDisplay = ComposeDisplay;
    layers.findLayerArg = FindLayerArgHook;
    layers.layerAt = LayerAtHook;
    layers.layerGeometry = LayerGeometryHook;
    layers.moveLayer = MoveLayerHook;
    layers.isLayerListed = IsLayerListedHook;
    layers.startAsyncDraw = StartAsyncDrawHook;
    SetLayerHooks(&layers);
    const cxLayerSpriteHooks sprites{DrawSpritesHook, SpritesOverHook, DrawSpritesInBoxesHook};
    SetLayerSpriteHooks(&sprites);
    SetSpriteCollisionHook(SpriteCollisionHook);

    const cxTextLayerHooks text{AddTextLayer, AddTextObjectLayer};
    SetTextLayerHooks(&text);
    SetPathLayerHook(AddPathLayer);

    cxDrawOutputHooks draw = g_saved.draw;
    draw.addShapeLayer = AddShapeLayer;
    draw.drawn = Drawn;
    draw.clearToBackground = ClearToBackground;
    SetDrawOutputHooks(&draw);

    cxSafeBltHooks blit = g_saved.blit;
    blit.redrawLayersRect = RedrawForSafeBlt;
    blit.spriteOverlaps = SpriteOverlaps;
    blit.backBitmap = BackBitmap;
    SetSafeBltHooks(&blit);

    cxDisplayPictureHooks picture = g_saved.picture;
    picture.refreshWholeDisplay = RefreshWhole;
    SetDisplayPictureHooks(&picture);

    const cxDisplayFrameHooks frames{Frame, DisplayFreed};
    SetDisplayFrameHooks(&frames);
    SetPumpTurnHook(ShowPendingRepaints);
    SetRenderTargetEndHook(SelectionEnded);
    SetLayerNameResolver(ResolveLayerName);
    const cxLayerTargetHooks target{PrepareLayerTarget, LayerBrushDrawn};
    SetLayerTargetHooks(&target);
}

extern "C" void RemoveLayerHooks(void) {
    if (!g_saved.installed) return;
    SetLayerHooks(nullptr);
    SetLayerSpriteHooks(nullptr);
    SetSpriteCollisionHook(nullptr);
    SetTextLayerHooks(nullptr);
    SetPathLayerHook(nullptr);
    SetDrawOutputHooks(&g_saved.draw);
    SetSafeBltHooks(&g_saved.blit);
    SetDisplayPictureHooks(&g_saved.picture);
    SetDisplayFrameHooks(nullptr);
    SetPumpTurnHook(nullptr);
    SetRenderTargetEndHook(nullptr);
    SetLayerNameResolver(nullptr);
    SetLayerTargetHooks(nullptr);
    g_saved = Saved{};
}
