// The layer commands of the layer record and list: switching layers on and
// off, finding and naming layers, the dump, CreateLayer and SelectLayer.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/display_core.h"
#include "images/formats/image_limits.h"
#include "images/output/output_redirect.h"
#include "images/sprites/sprite.h"
#include "layers/core/anim_hooks.h"
#include "layers/core/async_draw.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_list.h"
#include "layers/library/layers_library.h"
#include "layers/ops/layer_frames.h"

namespace {

constexpr uint32_t kOutDisplay = 21;

// A script number as a coordinate or size: it saturates; NaN and the
// infinities are refused.
int Number(lua_State *L, int index, int32_t *out) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return ERR_WRONGUSAGE;
    const double t = std::trunc(v);
    *out = t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int32_t(t);
    return 0;
}

const char *KindName(int32_t type) {
    switch (type) {
    case 3: return "BRUSH";
    case 4: return "ANIM";
    case 7: return "NOOBJECT";
    case 8: return "TEXTOBJECT";
    case 9: return "TEXTOUT";
    case 11: return "PRINT";
    case 12: return "BRUSHPART";
    case 13: return "BGPICPART";
    case 14: return "BOX";
    case 15: return "CIRCLE";
    case 16: return "ELLIPSE";
    case 17: return "LINE";
    case 27: return "POLYGON";
    case 31: return "ARC";
    case 49: return "VECTORPATH";
    case 50: return "VIDEO";
    default: return "UNKNOWN";
    }
}

int NoDisplay() {
    SetErrorNumber(0);
    return ERR_FINDDISPLAY;
}

}  // namespace

extern "C" int CheckEnableLayers(cxDisplay *d) {
    if (d->layersOn) return 0;
    if (HasAsyncDrawOnDisplay(d)) return ERR_LAYERSWITCH;
    if (d->doubleBuffer1 || d->doubleBuffer2) return ERR_ENDDOUBLEBUFFER;
    if (d->targetKind != kOutDisplay) return ERR_LAYERSON;
    if (CountSprites(d->bgpic) > 0) return ERR_NOSPRITES;
    d->layersOn = 1;
    return 0;
}

extern "C" int CmdEnableLayers(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return NoDisplay();
    return CheckEnableLayers(d);
}

extern "C" int CmdDisableLayers(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return NoDisplay();
    if (HasAsyncDrawOnDisplay(d)) return ERR_LAYERSWITCH;
    if (d->targetKind != kOutDisplay) return ERR_LAYERSON;
    if (d->layerScale) return ERR_NODISLAYERS;
    // A video layer cannot go on playing where no layer is drawn.
    if (cxBGPic *b = d->bgpic) {
        const cxLayerVideoHooks *h = GetLayerVideoHooks();
        for (cxLayer *l = LayerOfNode(b->layers.head); l && h->control; l = NextLayer(l))
            if (l->type == CX_LAYER_VIDEO) h->control(L, l, CX_LAYERVIDEO_STOP, 0);  // a stopped one says so: fine
    }
    d->layersOn = 0;
    return 0;
}

extern "C" int CmdGetLayerAtPos(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int32_t x = 0, y = 0;
    if (int err = Number(L, 1, &x)) return err;
    if (int err = Number(L, 2, &y)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    int32_t pos = b->layers.count;
    for (cxLayer *l = LayerOfNode(b->layers.tail); l; l = PrevLayer(l), --pos) {
        const cxLayerState *s = l->display;
        if (int64_t(x) >= s->drawX && int64_t(x) < int64_t(s->drawX) + s->width && int64_t(y) >= s->drawY &&
            int64_t(y) < int64_t(s->drawY) + s->height) {
            lua_pushnumber(L, pos);
            lua_pushstring(L, l->name ? l->name : "");
            return 2;
        }
    }
    lua_pushnumber(L, 0);
    lua_pushstring(L, "");
    return 2;
}

extern "C" int CmdLayerExists(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n = 0;
    const char *name = luaL_checklstring(L, 1, &n);
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    lua_pushnumber(L, FindLayerPosByName(b, name) ? 1 : 0);
    return 1;
}

extern "C" int CmdSetLayerName(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int32_t pos = 0;
    if (int err = Number(L, 1, &pos)) return err;
    size_t n = 0;
    const char *name = luaL_checklstring(L, 2, &n);
    if (strlen(name) != n) return ERR_WRONGUSAGE;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxLayer *l = pos < 1 ? LayerOfNode(b->layers.tail) : GetLayerByPos(b, pos);
    if (!l) return ERR_LAYERRANGE;
    if (!name[0]) {
        free(l->name);
        l->name = nullptr;
        return 0;
    }
    // Checked before the old name goes: a refused name keeps the old one.
    return AssignLayerName(b, l, &l->name, name);
}

extern "C" int CmdDumpLayers(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    const int which = lua_isnoneornil(L, 1) ? 0 : luaL_checkint(L, 1);
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    PrintMessage("LAYER SYSTEM INFO - BGPIC: %d (%p)\nsizeof(cxLayer): %d\nLayers: %d\n", b->header.idNumber,
                 static_cast<void *>(b), int(sizeof(cxLayer)), b->layers.count);
    int pos = 1;
    for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l), ++pos) {
        const cxLayerState *s = which == 1 ? l->picture : which == 2 ? l->display : l->base;
        PrintMessage("(%d) %s #%d (%p / \"%s\") - X: %d (%d) - Y: %d (%d) - Width: %d (%d) - Height: %d (%d) - "
                     "Visible: %d\n",
                     pos, KindName(l->type), l->source.number, l->source.pointer, l->name ? l->name : "", s->x,
                     s->drawX, s->y, s->drawY, s->srcWidth, s->width, s->srcHeight, s->height, l->hidden ? 0 : 1);
    }
    return 0;
}

namespace {

struct CreateOptions {
    int32_t frames = 0;
    int alpha = 0, mask = 0, clear = 0;
    uint32_t colour = 0;
};

int ReadCreateOptions(lua_State *L, int table, CreateOptions *o) {
    if (!table) return 0;
    GetTableInt(L, table, "frames", &o->frames, nullptr);
    GetTableInt(L, table, "alphachannel", &o->alpha, nullptr);
    GetTableInt(L, table, "mask", &o->mask, nullptr);
    GetTableInt(L, table, "clear", &o->clear, nullptr);
    GetTableBool(L, table, "color", &o->colour, nullptr);
    if (o->frames < 0 || (o->mask && o->alpha)) return ERR_WRONGUSAGE;
    return 0;
}

// The frames of an anim layer: colour bitmaps, and masks or alpha
// channels, all freed here on failure.
struct Frames {
    std::vector<cxBitmap *> bitmaps, masks, alphas;
    ~Frames() {
        for (cxBitmap *b : bitmaps) FreeBitmap(b);
        for (cxBitmap *m : masks) FreeMask(m);
        for (cxBitmap *a : alphas) FreeAlphaChannel(a);
    }
    void Release() { bitmaps.clear(), masks.clear(), alphas.clear(); }
};

int MakeFrames(const CreateOptions &o, int32_t w, int32_t h, Frames *f) {
    for (int32_t i = 0; i < o.frames; ++i) {
        cxBitmap *b = AllocBitmap(w, h, 0, 0);
        if (!b) return ERR_BITMAP;
        f->bitmaps.push_back(b);
        FillRect(b, 0, 0, w, h, o.colour & 0xFFFFFFu);
        if (o.mask) {
            cxBitmap *m = AllocMask(b, w, h, 1, nullptr, 0);
            if (!m) return ERR_ALLOCMASK;
            f->masks.push_back(m);
            if (!o.clear) FillMaskRect(m, 0, 0, w, h, CX_MASKVISIBLE);
        }
        if (o.alpha) {
            cxBitmap *a = AllocAlphaChannel(w, h, 1, nullptr, 0);
            if (!a) return ERR_ALLOCALPHA;
            f->alphas.push_back(a);
            if (!o.clear) FillAlphaRect(a, 0, 0, w, h, 255);
        }
    }
    return 0;
}

}  // namespace

extern "C" int CmdCreateLayer(lua_State *L) {
    CheckArgCount(L, 4, 5, 0, 0);
    int32_t x = 0, y = 0, w = 0, h = 0;
    for (int i = 1; i <= 4; ++i) {
        int32_t *v[4] = {&x, &y, &w, &h};
        if (int err = Number(L, i, v[i - 1])) return err;
    }
    const int table = lua_isnoneornil(L, 5) ? 0 : 5;
    if (table) luaL_checktable(L, 5);
    CreateOptions o;
    if (int err = ReadCreateOptions(L, table, &o)) return err;
    cxDisplay *d = nullptr;
    if (int err = CheckLayerCommand(&d, nullptr)) return err;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    // A size no picture may have is refused before anything is allocated.
    if (!IsImageSizeAllowed(w, h) || int64_t(w) * h * (o.frames ? o.frames : 1) > int64_t(1) << 30) return ERR_BITMAP;

    if (o.frames == 0) {
        cxObjectID id{0, reinterpret_cast<void *>(1)};
        uint32_t flags = (o.mask ? CX_BLANK_MASK : 0) | (o.alpha ? CX_BLANK_ALPHA : 0) | (o.clear ? CX_BLANK_CLEAR : 0);
        cxBrush *brush = nullptr;
        if (int err = CreateBlankBrush(&id, w, h, o.colour, flags, nullptr, &brush)) return err;
        if (int err = DisplayBrushByID(L, id, x, y, table)) {
            FreeBrushByID(L, id, 0);
            return err;
        }
        // The brush goes with its layer.
        if (brush->layerUses > 0) brush->pendingFree = 1;
        else FreeBrushByID(L, id, 0);
        return 0;
    }
    const cxLayerAnimHooks *anims = GetLayerAnimHooks();
    if (!anims->addAnim || !anims->displayFrame) {
        // No anim library: an anim cannot be made.
        SetErrorNumber(0);
        return ERR_FINDANIM;
    }
    Frames f;
    if (int err = MakeFrames(o, w, h, &f)) return err;
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    if (int err = anims->addAnim(L, &id, w, h, o.frames, f.bitmaps.data(), o.mask ? f.masks.data() : nullptr,
                                 o.alpha ? f.alphas.data() : nullptr, o.mask ? 0xAFC0DE : -1))
        return err;
    f.Release();
    if (int err = anims->displayFrame(L, id, x, y, 1, table)) {
        if (anims->freeAnim) anims->freeAnim(L, id);
        return err;
    }
    if (anims->markPendingFree) anims->markPendingFree(L, id);
    return 0;
}

extern "C" int CmdSelectLayer(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    cxBGPic *b = GetLayerOutputBGPic();
    int32_t pos = 0;
    if (int err = FindLayer(L, 1, b, &pos)) return err;
    const int32_t a = luaL_optint(L, 2, 0), bb = luaL_optint(L, 3, 0), c = luaL_optint(L, 4, 0);
    if (int err = CheckLayerCommand(nullptr, nullptr)) return err;
    return SelectRenderTarget(L, CX_OBJ_LAYER, cxObjectID{pos, nullptr}, 3, bb, a, c);
}
