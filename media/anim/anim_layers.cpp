// Anims and layers: the anim layer a playback advances, asynchronous
// playback through the async-draw registry, and the hooks through which
// the layers library reaches anims.
#include <stdlib.h>
#include <string.h>

#include "display/display.h"
#include "errors/errors.h"
#include "images/bgpics/bgpic.h"
#include "images/core/display_core.h"
#include "images/core/layer_use.h"
#include "layers/core/anim_hooks.h"
#include "layers/core/async_draw.h"
#include "layers/core/layer.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_list.h"
#include "media/anim/anim_internal.h"
#include "media/anim/anim_play.h"

namespace {

// Whether a layer is still in the list of some BGPic: a playback's layer
// may have gone while events ran. Pointers are compared, never followed.
bool ListHolds(const cxBGPic *b, const void *layer) {
    for (int32_t i = 1, n = b ? CountLayers(b) : 0; i <= n; ++i)
        if (GetLayerByPos(b, i) == layer) return true;
    return false;
}

// (BGPics a display owns are on no list of the BGPic library.)
bool LayerIsListed(const void *layer) {
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next))
        if (ListHolds(b, layer)) return true;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (ListHolds(d->bgpic, layer)) return true;
    return false;
}

// ---- asynchronous playback ----

int AsyncFrame(lua_State *L, cxAsyncDraw *draw, int *done) {
    auto *p = static_cast<cxAnimPlayback *>(draw->userData);
    return AnimPlaybackStepIn(L, p, done);
}

void AsyncRelease(cxAsyncDraw *draw) { FreeAnimPlayback(static_cast<cxAnimPlayback *>(draw->userData)); }

intptr_t AsyncControl(cxAsyncDraw *draw, int code, void *object) {
    auto *p = static_cast<cxAnimPlayback *>(draw->userData);
    void *layer = GetAnimPlaybackLayer(p);
    switch (code) {
    case CX_ASYNC_ANIMATES: return layer && object == layer ? 1 : 0;
    case CX_ASYNC_LAYER_REPLACED: {
        auto **pair = static_cast<void **>(object);
        if (layer && pair[0] == layer) SetAnimPlaybackLayer(p, pair[1]);
        return 0;
    }
    default: return 0;
    }
}

// ---- the layers' hooks ----

int HookGetFrame(lua_State *L, cxObjectID id, int32_t frame, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha,
                 int32_t *width, int32_t *height, int32_t *frames) {
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, CX_ANIM_PENDING)) return err;
    if (frame < 0 || frame >= a->frames) return ERR_ANIMFRAME;
    // The frames stay the anim's: a disk anim has none to lend.
    if (a->diskBased) return ERR_ANIMDISK;
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, frame, 0, 0, &b, &m, &al)) return err;
    if (bitmap) *bitmap = b;
    if (mask) *mask = m;
    if (alpha) *alpha = al;
    if (width) *width = a->width;
    if (height) *height = a->height;
    if (frames) *frames = a->frames;
    return 0;
}

int HookAddAnim(lua_State *, cxObjectID *id, int32_t width, int32_t height, int32_t frames, cxBitmap **bitmaps,
                cxBitmap **masks, cxBitmap **alphas, int32_t transparentColour) {
    if (frames < 1 || !bitmaps) return ERR_WRONGUSAGE;
    const size_t n = size_t(frames);
    auto **b = static_cast<cxBitmap **>(malloc(n * sizeof(cxBitmap *)));
    auto **m = static_cast<cxBitmap **>(calloc(n, sizeof(cxBitmap *)));
    auto **a = static_cast<cxBitmap **>(calloc(n, sizeof(cxBitmap *)));
    int err = (!b || !m || !a) ? ERR_MEM : 0;
    if (!err) {
        memcpy(b, bitmaps, n * sizeof(cxBitmap *));
        if (masks) memcpy(m, masks, n * sizeof(cxBitmap *));
        if (alphas) memcpy(a, alphas, n * sizeof(cxBitmap *));
        err = AddAnimRecord(id, width, height, nullptr, b, m, a, frames, transparentColour, 0, 0, 0, nullptr);
    }
    if (err) free(b), free(m), free(a);
    return err;
}

int HookDisplayFrame(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame, int optionsIndex) {
    return DisplayAnimFrameByID(L, id, x, y, frame, optionsIndex);
}

int HookFreeAnim(lua_State *L, cxObjectID id) { return FreeAnimByID(L, id, 0); }

void HookMarkPendingFree(lua_State *L, cxObjectID id) {
    cxAnim *a = nullptr;
    if (FindAnim(L, id, &a, CX_ANIM_PENDING)) return;
    if (a->layerUses > 0) a->pendingFree = 1;
    else DestroyAnim(L, a);
}

void HookLayerUse(lua_State *L, cxObjectID id, int delta) {
    cxAnim *a = nullptr;
    if (FindAnim(L, id, &a, CX_ANIM_PENDING)) return;
    if (delta > 0) AddAnimLayerUse(a);
    else DropAnimLayerUse(L, a);
}

int HookCopyAnim(lua_State *L, cxObjectID id, cxObjectID *copy) {
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, CX_ANIM_PENDING)) return err;
    cxAnim *made = nullptr;
    if (int err = CopyAnimRecord(L, a, cxObjectID{0, reinterpret_cast<void *>(1)}, &made)) return err;
    // Only layers hold it: it goes with the last of them.
    made->pendingFree = 1;
    *copy = GetObjectID(&made->header);
    return 0;
}

int HookModifyFrames(lua_State *L, cxObjectID id, int32_t count, int32_t position) {
    return ModifyAnimFramesCore(L, id, count, position, 1);
}

int HookIsPendingFree(lua_State *L, cxObjectID id) {
    cxAnim *a = nullptr;
    return FindAnim(L, id, &a, CX_ANIM_PENDING) == 0 && a->pendingFree ? 1 : 0;
}

}  // namespace

extern "C" int IsAnimLayerListed(const void *layer) { return LayerIsListed(layer); }

extern "C" int AnimLayersAvailable(void) { return GetLayerHooks()->addBitmapLayer != nullptr; }

extern "C" int AddAnimLayer(lua_State *L, cxObjectID id, int32_t frame, int32_t x, int32_t y,
                            const cxTransformOptions *t, const cxLayerOptions *l, void **layer) {
    *layer = nullptr;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, frame, 0, 0, &b, &m, &al)) return err;
    cxDrawRequest r{};
    r.kind = CX_OBJ_ANIM;
    r.id = id;
    r.bitmap = b, r.mask = m, r.alpha = al;
    r.objectWidth = a->width, r.objectHeight = a->height;
    r.x = x, r.y = y;
    r.transform = const_cast<cxTransformOptions *>(t);
    r.layerOptions = const_cast<cxLayerOptions *>(l);
    r.value = frame;
    r.flags = CX_DRAW_NOSHORTCUT;
    const int err = DrawBitmapCore(L, &r);
    if (a->diskBased) {
        FreeBitmap(b);
        FreeMask(m);
        FreeAlphaChannel(al);
    }
    if (err) return err;
    if (!(r.flags & CX_DRAW_LAYERADDED)) return ERR_NOLAYERS;
    // The new layer: the front-most one showing the anim.
    const cxBGPic *bgpic = GetLayerOutputBGPic();
    for (int32_t i = CountLayers(bgpic); i >= 1; --i) {
        cxLayer *candidate = GetLayerByPos(bgpic, i);
        if (candidate->type == CX_LAYER_ANIM && candidate->source.number == id.number &&
            candidate->source.pointer == id.pointer) {
            *layer = candidate;
            return 0;
        }
    }
    return ERR_LAYERRANGE;
}

extern "C" int SetAnimLayerFrame(lua_State *L, void *layerPointer, int32_t frame) {
    if (!LayerIsListed(layerPointer)) return ERR_LAYERRANGE;
    auto *layer = static_cast<cxLayer *>(layerPointer);
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, layer->source, &a, CX_ANIM_PENDING)) return err;
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, frame, 1, 0, &b, &m, &al)) return err;
    cxLayerImageContent *content = NewImageContent(b, m, al, a->width, a->height);
    if (!content) {
        FreeBitmap(b);
        FreeMask(m);
        FreeAlphaChannel(al);
        return ERR_MEM;
    }
    FreeLayerOwnContent(CX_LAYER_ANIM, layer->content);
    layer->content = content;
    layer->base->partX = frame;
    layer->picture->partX = frame;
    layer->display->partX = frame;
    return RenderLayerImage(L, layer, CX_RENDER_PREVIOUSBOX);
}

extern "C" int StartAsyncPlayback(lua_State *, cxAnimPlayback *p, cxAsyncPlaybackHandle *handle) {
    cxAsyncDraw *draw = nullptr;
    if (int err = CreateAsyncDraw(0, AsyncFrame, nullptr, AsyncRelease, AsyncControl, p, &draw)) return err;
    if (handle) {
        handle->id = GetObjectID(&draw->header);
        handle->draw = draw;
    }
    return 0;
}

extern "C" void InstallAnimLayerHooks(void) {
    const cxLayerAnimHooks hooks{HookGetFrame,        HookAddAnim,  HookDisplayFrame, HookFreeAnim,
                                 HookMarkPendingFree, HookLayerUse, PurgePendingAnims, HookCopyAnim,
                                 HookModifyFrames,    HookIsPendingFree};
    SetLayerAnimHooks(&hooks);
}
