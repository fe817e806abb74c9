#include "images/core/display_core.h"

#include <algorithm>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_fill.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"

namespace {

// The image on its way to the output: a rectangle of bitmaps that are the
// object's own, or private copies made on the way (owned).
struct Image {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t sx = 0, sy = 0, w = 0, h = 0; // the rectangle
    int32_t fullW = 0, fullH = 0;         // the bitmaps' size
    bool owned = false;

    ~Image() { Drop(); }
    void Drop() {
        if (!owned) return;
        FreeBitmap(bitmap);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
        bitmap = mask = alpha = nullptr;
        owned = false;
    }
    void Take(cxBitmap *b, cxBitmap *m, cxBitmap *a, int32_t width, int32_t height) {
        Drop();
        bitmap = b, mask = m, alpha = a;
        sx = sy = 0;
        w = fullW = width;
        h = fullH = height;
        owned = true;
    }
    bool IsWhole() const { return sx == 0 && sy == 0 && w == fullW && h == fullH; }
};

// A private copy of the rectangle, with its mask and alpha channel.
int MakePrivate(Image &img) {
    if (img.owned && img.IsWhole()) return 0;
    cxBitmap *b = AllocBitmap(img.w, img.h, 0, 0);
    if (!b) return ERR_BITMAP;
    BltBitmap(img.bitmap, img.sx, img.sy, b, 0, 0, img.w, img.h);
    cxBitmap *m = nullptr, *a = nullptr;
    if (img.mask) {
        m = AllocMask(b, img.w, img.h, 1, nullptr, 0);
        if (!m) {
            FreeBitmap(b);
            return ERR_ALLOCMASK;
        }
        CombineMaskRect(img.mask, img.sx, img.sy, m, 0, 0, img.w, img.h, CX_MASKVANILLACOPY);
    }
    if (img.alpha) {
        a = AllocAlphaChannel(img.w, img.h, 1, nullptr, 0);
        if (!a) {
            FreeBitmap(b);
            FreeMask(m);
            return ERR_ALLOCALPHA;
        }
        BltAlphaToAlphaClipped(img.alpha, img.sx, img.sy, a, 0, 0, img.w, img.h, 0, 255);
    }
    img.Take(b, m, a, img.w, img.h);
    return 0;
}

bool OutputIsBrushKind(uint32_t kind) {
    return kind == CX_OBJ_BRUSH || kind == CX_OBJ_MASK || kind == CX_OBJ_ALPHACHANNEL;
}

bool DrawsIntoVideoBitmaps(const cxDisplay *d) {
    return (d->picture && d->picture->foreign) || (d->backBitmap[0] && d->backBitmap[0]->foreign);
}

struct Found {
    Image img;
    int32_t objW = 0, objH = 0;
    bool hardware = false;
    cxBGPic *bgpic = nullptr;
};

int FindObject(lua_State *L, cxDisplay *d, cxDrawRequest *r, Found *f) {
    switch (r->kind) {
    case CX_OBJ_BRUSH:
    case CX_OBJ_BRUSHPART: {
        if (OutputIsBrushKind(d->targetKind)) {
            auto *selected = static_cast<const cxBrush *>(GetSelectedObject(CX_OBJ_BRUSH));
            if (selected && ObjectHasID(&selected->header, r->id)) EndRenderTarget(L);
        }
        uint32_t flags = (r->flags & (CX_DRAW_PENDING | CX_DRAW_READYOPTIONS)) ? CX_FIND_PENDING : 0;
        if (DrawsIntoVideoBitmaps(d)) flags |= CX_FIND_HARDWARE;
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, r->id, &b, flags)) return err;
        if (b->hardware && b->display && b->display != d) return ERR_INCOMPATBRUSH;
        if (r->kind == CX_OBJ_BRUSHPART && b->brushKind != CX_BRUSH_BITMAP) return ERR_BRUSHTYPE;
        if (d->layersOn && b->brushKind == CX_BRUSH_VECTOR && b->transformed) return ERR_TFVBRUSH;
        if (!b->bitmap) {
            // Loaded before any display existed: its bitmaps are made now.
            if (int err = RealizeBrush(b)) return err;
            if (!b->bitmap) return ERR_BITMAP;
        }
        f->img.bitmap = b->bitmap, f->img.mask = b->mask, f->img.alpha = b->alpha;
        f->objW = b->width, f->objH = b->height;
        f->hardware = b->hardware != 0;
        if (r->kind == CX_OBJ_BRUSH) r->width = b->width, r->height = b->height;
        return 0;
    }
    case CX_OBJ_BGPICPART: {
        cxBGPic *b = nullptr;
        if (r->id.number == -1 && !r->id.pointer) {
            b = static_cast<cxBGPic *>(d->bgpic);
            if (!b) {
                SetErrorNumber(-1);
                return ERR_FINDBGPIC;
            }
        } else {
            const uint32_t flags = (r->flags & (CX_DRAW_PENDING | CX_DRAW_READYOPTIONS)) ? CX_FIND_PENDING : 0;
            if (int err = FindBGPic(L, r->id, &b, flags)) return err;
        }
        if (int err = RealizeBGPic(L, b)) return err;
        if (!b->scaled.bitmap) return ERR_BITMAP;
        f->img.bitmap = b->scaled.bitmap, f->img.mask = b->scaled.mask, f->img.alpha = b->scaled.alpha;
        f->objW = b->scaledWidth, f->objH = b->scaledHeight;
        f->bgpic = b;
        return 0;
    }
    default:
        if (!r->bitmap) return ERR_WRONGUSAGE;
        f->img.bitmap = r->bitmap, f->img.mask = r->mask, f->img.alpha = r->alpha;
        f->objW = r->objectWidth, f->objH = r->objectHeight;
        if (r->width <= 0 && r->height <= 0) r->width = f->objW, r->height = f->objH;
        return 0;
    }
}

// The rectangle of a BGPic part handed back to the caller (transitions).
int HandBack(cxDrawRequest *r, Found &f, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (sx == 0 && sy == 0 && w == f.objW && h == f.objH) {
        *r->outBitmap = f.img.bitmap;
        if (r->outMade) *r->outMade = 0;
        return 0;
    }
    cxBitmap *copy = AllocBitmap(w, h, 0, 0);
    if (!copy) return ERR_BITMAP;
    BltBitmap(f.img.bitmap, sx, sy, copy, 0, 0, w, h);
    *r->outBitmap = copy;
    if (r->outMade) *r->outMade = 1;
    return 0;
}

}  // namespace

extern "C" void ReadPositionOptions(lua_State *L, int table, int32_t *x, int32_t *y) {
    *x = *y = CX_POSITION_ABSENT;
    if (table <= 0 || !lua_istable(L, table)) return;
    GetTableInt(L, table, "x", x, nullptr);
    GetTableInt(L, table, "y", y, nullptr);
}

extern "C" int DrawBitmapCore(lua_State *L, cxDrawRequest *r) {
    if (r->outBitmap) *r->outBitmap = nullptr;
    // Re-rendering a layer's image is the layers library's own road.
    if (r->flags & CX_DRAW_RERENDER) return ERR_NOLAYERS;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    Found f;
    if (int err = FindObject(L, d, r, &f)) return err;
    if (r->width <= 0 || r->height <= 0) return ERR_BADDIMENSIONS;

    // The source rectangle, cut to the object.
    int32_t sx = ResolveSpecialX(r->srcX, r->width, f.objW, 0.0);
    int32_t sy = ResolveSpecialY(r->srcY, r->height, f.objH, 0.0);
    if (sx < 0 || sy < 0) return ERR_NEGCOORDS;
    if (sx >= f.objW || sy >= f.objH) return ERR_COORDSRANGE;
    const int32_t w = std::min(r->width, f.objW - sx), h = std::min(r->height, f.objH - sy);

    // Options: the caller's, the table's, or the templates.
    cxTransformOptions t;
    cxLayerOptions l;
    if (r->transform) {
        t = *r->transform;
        if (r->flags & CX_DRAW_READYOPTIONS)
            MakeTransformMatrix(t.matrix, t.width, t.height, w, h, t.scaleX, t.scaleY, t.rotate);
        if (r->layerOptions) l = *r->layerOptions;
        else InitLayerOptions(&l);
    } else if (r->optionsIndex > 0) {
        const uint32_t flags = r->kind == CX_OBJ_BGPICPART ? CX_DOPT_INIT : CX_DOPT_INIT | CX_DOPT_NEEDTABLE;
        if (int err = ReadDisplayOptions(L, r->optionsIndex, w, h, 0, 0, 0, &t, &l, flags)) return err;
    } else {
        InitTransformOptions(&t);
        InitLayerOptions(&l);
    }

    if (r->kind == CX_OBJ_BGPICPART && r->outBitmap && !r->withLayers) {
        if (d->layersOn) return 0;  // the layers show it; nothing to hand back
        return HandBack(r, f, sx, sy, w, h);
    }

    cxDrawOutput out{};
    if (int err = GetCurrentDrawOutput(L, &out)) return err;
    if (OutputIsBrushKind(out.kind)) {
        if (int err = PrepareDrawTarget(L)) return err;
    }
    const int32_t roomW = out.target.width, roomH = out.target.height;

    int32_t shownW = w, shownH = h;
    const bool identity = IsIdentityMatrix(t.matrix);
    if (!identity) GetDisplayedSize(t.matrix, w, h, &shownW, &shownH);
    int32_t x = ResolveSpecialX(r->x, shownW, roomW, t.anchorX);
    int32_t y = ResolveSpecialY(r->y, shownH, roomH, t.anchorY);

    const cxLayerHooks *layers = GetLayerHooks();
    if (d->layersOn && layers->addBitmapLayer && (out.kind == CX_OBJ_DISPLAY || out.kind == CX_OBJ_BGPIC)) {
        // The layer shows the object by its ID; parts of BGPics and caller
        // images travel as bitmaps the layer keeps.
        cxBitmap *lb = nullptr, *lm = nullptr, *la = nullptr;
        if (r->kind == CX_OBJ_BGPICPART || (r->kind != CX_OBJ_BRUSH && r->kind != CX_OBJ_BRUSHPART)) {
            Image part = f.img;
            part.sx = sx, part.sy = sy, part.w = w, part.h = h;
            part.fullW = f.objW, part.fullH = f.objH;
            part.owned = false;
            if (int err = MakePrivate(part)) return err;
            lb = part.bitmap, lm = part.mask, la = part.alpha;
            part.owned = false;  // the layer's from here, if it takes them
            if (int err = layers->addBitmapLayer(L, r->kind, r->id, sx, sy, x, y, w, h, &t, &l, lb, lm, la, r->layer,
                                                 r->flags | CX_DRAW_LAYERADDED, r->value)) {
                FreeBitmap(lb);
                FreeMask(lm);
                FreeAlphaChannel(la);
                return err;
            }
        } else if (int err = layers->addBitmapLayer(L, r->kind, r->id, sx, sy, x, y, w, h, &t, &l, nullptr, nullptr,
                                                    nullptr, r->layer, r->flags | CX_DRAW_LAYERADDED, r->value)) {
            return err;
        }
        // The layers library draws the layers it adds: a copy drawn here
        // as well would stay in the picture when the layer moves or goes.
        r->flags |= CX_DRAW_LAYERADDED;
        return 0;
    }

    // Direct drawing.
    Image &img = f.img;
    img.sx = sx, img.sy = sy, img.w = w, img.h = h;
    img.fullW = f.objW, img.fullH = f.objH;
    const bool filters = HasActiveFilters(&l) != 0;
    if (f.hardware && (filters || l.transparency > 0 || !identity)) return ERR_HWBRUSHFUNC;
    if (!identity) {
        if (!img.IsWhole()) {
            if (int err = MakePrivate(img)) return err;
        }
        cxBitmap *tb = nullptr, *tm = nullptr, *ta = nullptr;
        int32_t tw = 0, th = 0;
        if (int err = TransformBitmapByMatrix(img.bitmap, img.mask, img.alpha, img.w, img.h, t.matrix, t.smoothScale,
                                              &tb, &tm, &ta, &tw, &th))
            return err;
        img.Take(tb, tm, ta, tw, th);
    }
    if (filters || l.transparency > 0) {
        if (int err = MakePrivate(img)) return err;
        if (int err = ApplyLayerOptionEffects(L, &l, img.w, img.h, img.bitmap, &img.alpha, &img.mask, 1)) return err;
    }
    x -= int32_t(img.w * t.anchorX);
    y -= int32_t(img.h * t.anchorY);

    if (out.kind == CX_OBJ_DISPLAY) {
        // Layer scaling draws through the layers alone (when there are
        // layers to do it).
        if (d->layerScale && (d->scaleX != 1.0 || d->scaleY != 1.0) && d->layersOn && layers->addBitmapLayer)
            return 0;
        // With layers on, SafeBlt leaves the picture to the layers unless
        // told otherwise: the image shown here belongs in it too.
        const uint32_t into = d->layersOn == 1 ? CX_SAFEBLT_ALWAYSBACK : CX_SAFEBLT_FIRSTBACK;
        SafeBlt(L, img.bitmap, img.sx, img.sy, nullptr, x, y, img.w, img.h, img.fullW, img.fullH, d->pictureWidth,
                d->pictureHeight, into, img.mask, img.alpha, nullptr);
        return 0;
    }
    if (out.kind == CX_OBJ_BGPIC && out.layersOn) {
        const cxDrawRect box{x, y, img.w, img.h};
        if (const cxDrawOutputHooks *hooks = GetDrawOutputHooks(); hooks->drawn) hooks->drawn(L, &out, &box);
        return 0;
    }
    SafeBlt(L, img.bitmap, img.sx, img.sy, out.target.colour, x, y, img.w, img.h, img.fullW, img.fullH, roomW, roomH,
            CX_SAFEBLT_OWNTARGET | CX_SAFEBLT_NOREFRESH, img.mask, img.alpha, nullptr);
    const cxDrawRect box{x, y, img.w, img.h};
    if (const cxDrawOutputHooks *hooks = GetDrawOutputHooks(); hooks->drawn) hooks->drawn(L, &out, &box);
    return 0;
}

extern "C" int DisplayBrushByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int optionsIndex) {
    cxDrawRequest r{};
    r.kind = CX_OBJ_BRUSH;
    r.id = id;
    r.x = x;
    r.y = y;
    r.optionsIndex = optionsIndex;
    return DrawBitmapCore(L, &r);
}
