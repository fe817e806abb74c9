#include "layers/ops/layer_frames.h"

#include <algorithm>
#include <cstdlib>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "images/core/display_options.h"
#include "layers/core/anim_hooks.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_states.h"
#include "layers/ops/layer_changes.h"
#include "text/library/render_text.h"
#include "text/library/text_objects.h"

namespace {

cxLayerVideoHooks g_video{};

int NoAnims(cxObjectID id) {
    SetErrorNumber(id.number);
    return id.pointer ? ERR_FINDARRAY : ERR_FINDANIM;
}

// Every distinct state of the layer shows frame index.
void SetFrameIndex(cxLayer *l, int32_t index) {
    for (cxLayerState *s : {l->base, l->picture, l->display})
        if (s) s->partX = index;
}

}  // namespace

extern "C" void SetLayerVideoHooks(const cxLayerVideoHooks *hooks) { g_video = hooks ? *hooks : cxLayerVideoHooks{}; }
extern "C" const cxLayerVideoHooks *GetLayerVideoHooks(void) { return &g_video; }
extern "C" int IsLayerVideoPlaying(const void *layer) { return g_video.isPlaying ? g_video.isPlaying(layer) : 0; }

extern "C" int CopyImageContent(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x,
                                int32_t y, int32_t w, int32_t h, cxLayerImageContent **out) {
    *out = nullptr;
    if (!bitmap || w < 1 || h < 1) return ERR_BITMAP;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (int err = ConvertBitmapFx(bitmap, mask, alpha, x, y, w, h, &b, &m, &a)) return err;
    *out = NewImageContent(b, m, a, w, h);
    if (*out) return 0;
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
    return ERR_MEM;
}

extern "C" int MakeAnimFrameContent(lua_State *L, cxObjectID id, int32_t frame, cxLayerImageContent **out,
                                    int32_t *width, int32_t *height, int32_t *frames) {
    const cxLayerAnimHooks *h = GetLayerAnimHooks();
    if (!h->getFrame) return NoAnims(id);
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    int32_t w = 0, hh = 0, n = 0;
    if (int err = h->getFrame(L, id, frame, out ? &b : nullptr, out ? &m : nullptr, out ? &a : nullptr, &w, &hh, &n))
        return err;
    if (width) *width = w;
    if (height) *height = hh;
    if (frames) *frames = n;
    if (!out) return 0;
    return CopyImageContent(b, m, a, 0, 0, std::min(w, b ? b->width : 0), std::min(hh, b ? b->height : 0), out);
}

extern "C" int NextAnimFrame(int32_t current, int32_t frames, int32_t frame, int32_t *out) {
    if (frames < 1) return ERR_ANIMFRAME;
    if (frame == 0) *out = (current + 1) % frames + 1;
    else if (frame == -1) *out = frames;
    else if (frame >= 1 && frame <= frames) *out = frame;
    else return ERR_ANIMFRAME;
    return 0;
}

extern "C" int InsertLayerAt(lua_State *L, int32_t position, int32_t kind, cxObjectID id, int32_t x, int32_t y,
                             int hidden) {
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    if (position < 0) return ERR_INVINSERT;
    const int32_t count = CountLayers(b);
    if (position == 0 || position > count + 1) position = count + 1;
    cxTransformOptions t;
    InitTransformOptions(&t);
    cxLayerOptions lo;
    InitLayerOptions(&lo);
    lo.name[0] = 0;
    cxAddLayerRequest r{};
    r.source = id;
    r.transform = &t;
    r.options = &lo;
    r.insertPos = position;
    r.flags = CX_ADDLAYER_NOREFRESH | (hidden ? CX_ADDLAYER_HIDDEN : 0u);
    r.bgpic = b;
    switch (kind) {
    case CX_OBJ_BRUSH: {
        cxBrush *brush = nullptr;
        if (int err = FindBrush(L, id, &brush, CX_FIND_HARDWARE)) return err;
        r.type = CX_LAYER_BRUSH;
        r.srcWidth = brush->width, r.srcHeight = brush->height;
        r.x = ResolveSpecialX(x, brush->width, b->currentWidth, t.anchorX);
        r.y = ResolveSpecialY(y, brush->height, b->currentHeight, t.anchorY);
        if (int err = AddLayer(L, &r, nullptr)) return err;
        break;
    }
    case CX_OBJ_ANIM: {
        cxLayerImageContent *c = nullptr;
        int32_t w = 0, h = 0;
        if (int err = MakeAnimFrameContent(L, id, 0, &c, &w, &h, nullptr)) return err;
        r.type = CX_LAYER_ANIM;
        r.frame = 0;
        r.content = c;
        r.srcWidth = w, r.srcHeight = h;
        r.x = ResolveSpecialX(x, w, b->currentWidth, t.anchorX);
        r.y = ResolveSpecialY(y, h, b->currentHeight, t.anchorY);
        if (int err = AddLayer(L, &r, nullptr)) {
            FreeLayerOwnContent(CX_LAYER_ANIM, c);
            return err;
        }
        break;
    }
    case CX_OBJ_TEXTOBJECT: {
        cxTextObject *o = nullptr;
        if (int err = FindTextObject(L, id, &o, 0)) return err;
        const cxTextLayerHooks *hooks = GetTextLayerHooks();
        if (!hooks->addTextObjectLayer) return ERR_NOLAYERS;
        cxTextDrawOptions opts;
        InitTextDrawOptions(&opts);
        opts.layer.name[0] = 0;
        opts.layer.insertPos = position;
        opts.layer.hidden = hidden ? 1 : 0;
        const int32_t px = ResolveSpecialX(x, o->width, b->currentWidth, 0);
        const int32_t py = ResolveSpecialY(y, o->height, b->currentHeight, 0);
        if (int err = hooks->addTextObjectLayer(L, id, px, py, &opts)) return err;
        // The text layer draws itself when it is made.
        return GetLayerByPos(b, position) ? 0 : ERR_LAYERRANGE;
    }
    case CX_OBJ_VIDEO: {
        CheckArgCount(L, 5, 6, 6, 0);
        if (!g_video.insert) {
            SetErrorNumber(id.number);
            return id.pointer ? ERR_FINDARRAY : ERR_FINDVIDEO;
        }
        if (int err = g_video.insert(L, id, x, y, position, hidden)) return err;
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    cxLayer *l = GetLayerByPos(b, position);
    if (!l) return ERR_LAYERRANGE;
    if (!hidden && IsLayerDrawn(l)) RefreshLayer(L, l, 1);
    return 0;
}

extern "C" int ModifyLayerFrames(lua_State *L, cxLayer *l, int32_t count, int32_t position) {
    if (l->type != CX_LAYER_ANIM) return ERR_NOANMLAYER;
    const cxLayerAnimHooks *h = GetLayerAnimHooks();
    if (!h->getFrame || !h->copyAnim || !h->modifyFrames) return NoAnims(l->source);
    int32_t before = 0;
    if (int err = h->getFrame(L, l->source, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &before)) return err;
    if (position < 0) return ERR_ANIMFRAME;
    if (count == 0) return ERR_WRONGUSAGE;
    // The layer changes its own copy: the script's anim and the other
    // layers that show it keep their frames.
    const bool own = h->isPendingFree && h->isPendingFree(L, l->source) && CountLayersShowing(CX_OBJ_ANIM, l->source) == 1;
    if (!own) {
        cxObjectID copy{};
        if (int err = h->copyAnim(L, l->source, &copy)) return err;
        const cxObjectID old = l->source;
        l->source = copy;
        if (h->layerUse) {
            h->layerUse(L, copy, 1);
            if (l->usesSource) h->layerUse(L, old, -1);
            l->usesSource = 1;
        }
    }
    if (int err = h->modifyFrames(L, l->source, count, position)) return err;
    int32_t after = 0;
    h->getFrame(L, l->source, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &after);

    // Where the frame shown went.
    const int32_t shown = l->base->partX;
    int32_t index = shown;
    if (count > 0) {
        const int32_t at = position == 0 ? before : position - 1;
        if (shown >= at) index = shown + count;
    } else {
        const int32_t removed = std::min<int32_t>(-count, before);
        const int32_t first = position == 0 ? before - removed : position - 1;
        const int32_t end = std::min(first + removed, before);
        if (shown >= first && shown < end) index = -1;
        else if (shown >= end) index = shown - (end - first);
    }
    if (index >= 0 && index < after) {
        SetFrameIndex(l, index);
        return 0;
    }
    // The frame is gone: the first one shows (nothing new when none is
    // left), and the layer is redrawn.
    SetFrameIndex(l, 0);
    if (after > 0) {
        cxLayerImageContent *c = nullptr;
        int32_t w = 0, hh = 0;
        if (int err = MakeAnimFrameContent(L, l->source, 0, &c, &w, &hh, nullptr)) return err;
        void *old = l->content;
        const int32_t oldW = l->base->srcWidth, oldH = l->base->srcHeight;
        l->content = c;
        l->base->srcWidth = w, l->base->srcHeight = hh;
        DropLayerLook(l);
        if (int err = RenderLayerImage(L, l, IsLayerDrawn(l) ? CX_RENDER_PREVIOUSBOX : 0)) {
            l->content = old;
            l->base->srcWidth = oldW, l->base->srcHeight = oldH;
            FreeLayerOwnContent(CX_LAYER_ANIM, c);
            return err;
        }
        FreeLayerOwnContent(CX_LAYER_ANIM, old);
        SetFrameIndex(l, 0);
        return 0;
    }
    if (IsLayerDrawn(l)) RefreshLayer(L, l, 0);
    return 0;
}
