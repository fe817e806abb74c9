#include "images/bgpics/bgpic_display.h"

#include <cstring>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/draw/display_output.h"
#include "display/draw/draw_output.h"
#include "display/picture.h"
#include "display/present.h"
#include "display/size.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/effects/geometry_drivers.h"
#include "images/bgpics/bgpic_fill.h"
#include "images/brushes/brush.h"
#include "images/core/layer_use.h"
#include "images/sprites/sprite.h"

namespace {

cxBGPic *BGPicOf(const cxDisplay *d) { return static_cast<cxBGPic *>(d->bgpic); }

void SetPicture(cxDisplay *d, cxBGPic *b) {
    d->bgpic = b;
    d->picture = b->displayBuffer;
    d->pictureWidth = b->currentWidth;
    d->pictureHeight = b->currentHeight;
    d->clipX = d->clipY = 0;
    d->clipWidth = d->pictureWidth;
    d->clipHeight = d->pictureHeight;
}

// The display's backfill as a fill style. The display keeps a vertical
// blend as its start and end colour in the first two words of its block.
cxFillStyle BackfillOf(const cxDisplay *d) {
    cxFillStyle f{};
    switch (d->fillStyle) {
    case CX_FILL_GRADIENT: {
        f.style = CX_FILL_GRADIENT;
        f.gradient.style = CX_GRADIENT_LINEAR;
        f.gradient.centerX = f.gradient.centerY = f.gradient.balance = 0.5;
        memcpy(&f.gradient.startColour, d->gradient, 4);
        memcpy(&f.gradient.endColour, d->gradient + 4, 4);
        break;
    }
    case CX_FILL_TEXTURE:
        f.style = CX_FILL_TEXTURE;
        f.textureBrush = d->textureBrush;
        f.textureX = d->textureX;
        f.textureY = d->textureY;
        break;
    default:
        f.style = CX_FILL_COLOUR;
        f.colour = d->fillColor & 0xFFFFFF;
        break;
    }
    f.pristine = 1;
    return f;
}

int MakeOwnPicture(lua_State *L, cxDisplay *d) {
    cxFillStyle fill = BackfillOf(d);
    cxBitmap *bitmap = nullptr;
    if (int err = FillNewBitmap(L, &fill, d->os.width, d->os.height, &bitmap)) {
        FreeBitmap(fill.textureBitmap);
        return err;
    }
    cxBitmap *buffer = DuplicateBitmap(bitmap, d->os.width, d->os.height);
    cxBGPic *b = nullptr;
    if (!buffer || MakeDisplayBGPic(bitmap, d->os.width, d->os.height, &fill, &b) != 0) {
        FreeBitmap(buffer);
        FreeBitmap(bitmap);
        FreeBitmap(fill.textureBitmap);
        return ERR_BITMAP;
    }
    b->displayBuffer = buffer;
    SetPicture(d, b);
    d->ownsBGPic = 1;
    return 0;
}

void FreeOwnPicture(lua_State *L, cxDisplay *d) {
    cxBGPic *b = BGPicOf(d);
    if (!b) {
        FreeOwnDisplayPicture(L, d);  // made before these hooks were installed
        return;
    }
    if (b->ownedByDisplay) DestroyBGPic(L, b);
    d->bgpic = nullptr;
    d->picture = nullptr;
    d->ownsBGPic = 0;
}

int FindShownBGPic(lua_State *L, cxObjectID id, cxBGPic **out, cxBitmap **bitmap, int32_t *width, int32_t *height) {
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, id, &b, 0)) return err;
    if (int err = RealizeBGPic(L, b)) return err;
    if (!b->current.bitmap) return ERR_BITMAP;
    // A BGPic another display shows keeps its buffer (the display library
    // refuses it next); otherwise it goes on show as it is now.
    if (!IsBGPicOnShow(b) || !b->displayBuffer) {
        cxBitmap *buffer = DuplicateBitmap(b->current.bitmap, b->currentWidth, b->currentHeight);
        if (!buffer) return ERR_BITMAP;
        FreeBitmap(b->displayBuffer);
        b->displayBuffer = buffer;
    }
    *out = b;
    *bitmap = b->displayBuffer;
    *width = b->currentWidth;
    *height = b->currentHeight;
    return 0;
}

// A new size of the display's picture: what was drawn is scaled along, and
// the picture that Cls brings back is rendered at the new size.
int ResizePicture(lua_State *L, cxDisplay *d, int32_t width, int32_t height, int smooth) {
    cxBGPic *b = BGPicOf(d);
    if (!b) return ResizeOwnDisplayPicture(L, d, width, height, smooth);
    cxBitmapSet made;
    if (int err = RenderBGPicAtSize(L, b, width, height, smooth, &made)) return err;
    cxBitmap *buffer = nullptr, *unusedMask = nullptr, *unusedAlpha = nullptr;
    if (int err = ScaleBitmapFx(b->displayBuffer, nullptr, nullptr, 0, 0, b->currentWidth, b->currentHeight, width,
                                height, smooth, &buffer, &unusedMask, &unusedAlpha)) {
        FreeBitmap(made.bitmap);
        FreeMask(made.mask);
        FreeAlphaChannel(made.alpha);
        return err;
    }
    FreeMask(unusedMask);
    FreeAlphaChannel(unusedAlpha);
    auto isShared = [&](const cxBitmap *p) {
        return p == b->base.bitmap || p == b->scaled.bitmap || p == b->base.mask || p == b->scaled.mask ||
               p == b->base.alpha || p == b->scaled.alpha;
    };
    if (!isShared(b->current.bitmap)) FreeBitmap(b->current.bitmap);
    if (!isShared(b->current.mask)) FreeMask(b->current.mask);
    if (!isShared(b->current.alpha)) FreeAlphaChannel(b->current.alpha);
    if (b->ownedByDisplay) {
        // The display's own picture has one set only.
        FreeBitmapSets(b);
        b->base = b->scaled = made;
        b->baseWidth = b->scaledWidth = width;
        b->baseHeight = b->scaledHeight = height;
    }
    b->current = made;
    b->currentWidth = width;
    b->currentHeight = height;
    FreeBitmap(b->displayBuffer);
    b->displayBuffer = buffer;
    SetPicture(d, b);
    return 0;
}

int BGPicSize(cxBGPic *b, int32_t *width, int32_t *height) {
    *width = b->currentWidth;
    *height = b->currentHeight;
    return 0;
}

int ClearToBackground(lua_State *L, const cxDrawOutput *out) {
    return ClearDisplayToBGPic(L, static_cast<cxDisplay *>(out->display));
}

}  // namespace

extern "C" void InstallBGPicDisplayHooks(void) {
    cxDisplayPictureHooks picture{};
    picture.makeOwnPicture = MakeOwnPicture;
    picture.freeOwnPicture = FreeOwnPicture;
    picture.findBGPic = FindShownBGPic;
    picture.resizePicture = ResizePicture;
    SetDisplayPictureHooks(&picture);

    cxSafeBltHooks blit = *GetSafeBltHooks();
    blit.bgpicSize = BGPicSize;
    SetSafeBltHooks(&blit);

    cxDrawOutputHooks draw = *GetDrawOutputHooks();
    draw.clearToBackground = ClearToBackground;
    SetDrawOutputHooks(&draw);
}

extern "C" void RemoveBGPicDisplayHooks(void) {
    SetDisplayPictureHooks(nullptr);
    cxSafeBltHooks blit = *GetSafeBltHooks();
    blit.bgpicSize = nullptr;
    SetSafeBltHooks(&blit);
    cxDrawOutputHooks draw = *GetDrawOutputHooks();
    draw.clearToBackground = GetDisplayDrawOutput()->clearToBackground;
    SetDrawOutputHooks(&draw);
}

extern "C" int ClearDisplayToBGPic(lua_State *L, cxDisplay *d) {
    cxBGPic *b = BGPicOf(d);
    if (b && b->displayBuffer && b->current.bitmap)
        BltBitmap(b->current.bitmap, 0, 0, b->displayBuffer, 0, 0, b->currentWidth, b->currentHeight);
    return RefreshWholeDisplay(L, d, 0);
}

namespace {

// Makes the BGPic the current display's picture; noRefresh leaves the
// window as it is.
int ApplyBGPic(lua_State *L, cxDisplay *d, cxObjectID id, int32_t x, int32_t y, int noRefresh) {
    const int top = lua_gettop(L);
    lua_newtable(L);
    const int table = lua_gettop(L);
    SetTableObjectID(L, "bgpic", id);
    if (x != 200000) SetTableNumber(L, "x", x);
    if (y != 200000) SetTableNumber(L, "y", y);
    const int err = ApplyDisplayAttributes(L, table, d, noRefresh);
    lua_settop(L, top);
    return err;
}

// What the display's window shows now: the composition of the layers when
// they are on, else the picture.
cxBitmap *ShownBitmap(lua_State *L, cxDisplay *d) {
    const cxSafeBltHooks *h = GetSafeBltHooks();
    if (d->layersOn == 1 && h->backBitmap)
        if (cxBitmap *c = h->backBitmap(d, 1)) return c;
    // Sprites are composited over the picture only where they are.
    if (d->bgpic && GetSpriteDrawList(d->bgpic)) return ComposeBGPicBitmap(L, d, d->bgpic);
    return d->picture;
}

}  // namespace

extern "C" int ShowBGPic(lua_State *L, cxObjectID id, int32_t x, int32_t y) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, id, &b, 0)) return err;
    if (IsRecordingVideo() && (b->current.mask || b->current.alpha)) return ERR_VIDRECTRANS;
    cxBGPic *old = BGPicOf(d);
    if (int err = ApplyBGPic(L, d, id, x, y, 0)) return err;
    PurgePendingBGPics(L);
    // Showing the BGPic on show again brings its picture back.
    if (old == b) return ClearDisplayToBGPic(L, d);
    return 0;
}

extern "C" int ShowBGPicTransition(lua_State *L, cxObjectID id, int32_t x, int32_t y, cxBitmap **newPicture,
                                   cxBitmap **snapshot) {
    *newPicture = *snapshot = nullptr;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, id, &b, 0)) return err;
    if (IsRecordingVideo() && (b->current.mask || b->current.alpha)) return ERR_VIDRECTRANS;
    if (int err = RealizeBGPic(L, b)) return err;
    // The picture on show, as the window shows it.
    cxBitmap *shown = ShownBitmap(L, d);
    if (!shown || d->pictureWidth < 1 || d->pictureHeight < 1) return ERR_BITMAP;
    cxBitmap *old = DuplicateBitmap(shown, d->pictureWidth, d->pictureHeight);
    if (!old) return ERR_BITMAP;
    if (int err = ApplyBGPic(L, d, id, x, y, 1)) {
        FreeBitmap(old);
        return err;
    }
    PurgePendingBGPics(L);
    // The new picture as it will show (its layers included); the window
    // keeps showing the old one.
    const int32_t w = d->pictureWidth, h = d->pictureHeight;
    cxBitmap *made = nullptr;
    const cxSafeBltHooks *hooks = GetSafeBltHooks();
    if (d->layersOn == 1 && hooks->redrawLayersRect) {
        made = AllocBitmap(w, h, 0, 0);
        if (made) hooks->redrawLayersRect(L, d, d->bgpic, made, 0, 0, w, h, 0, 1);
    } else if (d->picture) {
        made = DuplicateBitmap(d->picture, w, h);
    }
    if (!made) {
        FreeBitmap(old);
        return ERR_BITMAP;
    }
    if (old->width != w || old->height != h) {
        // The pictures differ in size: the old one is scaled to the new.
        cxBitmap *scaled = nullptr, *m = nullptr, *a = nullptr;
        const int err = ScaleBitmapFx(old, nullptr, nullptr, 0, 0, old->width, old->height, w, h, 0, &scaled, &m, &a);
        FreeBitmap(old);
        if (err) {
            FreeBitmap(made);
            return err;
        }
        old = scaled;
    }
    if (hooks->refreshRegion) hooks->refreshRegion(old, 0, 0, d, 0, 0, w, h, 0);
    *newPicture = made;
    *snapshot = old;
    return 0;
}

extern "C" int CreateColorBGPic(cxObjectID *id, int32_t width, int32_t height, uint32_t colour) {
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    cxFillStyle fill{};
    fill.style = CX_FILL_COLOUR;
    fill.colour = colour & 0xFFFFFFu;
    fill.pristine = 1;
    cxBitmap *bm = AllocBitmap(width, height, 0, 0);
    if (!bm) return ERR_BITMAP;
    FillRect(bm, 0, 0, width, height, fill.colour);
    if (int err = AddBGPicRecord(id, 0, width, height, width, nullptr, bm, nullptr, -1, nullptr, nullptr, &fill,
                                 nullptr)) {
        FreeBitmap(bm);
        return err;
    }
    return 0;
}

extern "C" cxBitmap *ComposeBGPicBitmap(lua_State *L, cxDisplay *d, cxBGPic *b) {
    if (!d || !b) return nullptr;
    if (d->bgpic != b) return b->current.bitmap;
    const cxLayerHooks *hooks = GetLayerHooks();
    const bool layers = hooks->countLayers && hooks->countLayers(b) > 0;
    if (!layers && !GetSpriteDrawList(b)) return d->picture;
    return hooks->composeDisplay ? hooks->composeDisplay(L, d) : d->picture;
}
