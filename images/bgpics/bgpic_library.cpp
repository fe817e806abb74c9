#include "images/bgpics/bgpic_library.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/effects/geometry_drivers.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_display.h"
#include "images/bgpics/bgpic_fill.h"
#include "images/bgpics/gradient_options.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/display_core.h"
#include "images/core/new_id.h"
#include "images/core/picture_load.h"
#include "images/core/render_target.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"

namespace {

int32_t Int(lua_State *L, int index) { return int32_t(std::trunc(luaL_checknumber(L, index))); }
bool Given(lua_State *L, int index) { return lua_gettop(L) >= index && !lua_isnil(L, index); }

int FreeOld(lua_State *L, const NewID &n) { return n.automatic ? 0 : FreeBGPicByID(L, n.id, 0); }

bool Preloading(lua_State *L) {
    int on = 0;
    GetKernelTags(L, CX_KTAG_PRELOADING, &on, CX_KTAG_END);
    return on != 0;
}

// The size of the BGPic the current display shows (the default size of
// made BGPics).
void CurrentSize(int32_t *w, int32_t *h) {
    const cxDisplay *d = GetCurrentDisplay();
    *w = d && d->picture ? d->pictureWidth : 640;
    *h = d && d->picture ? d->pictureHeight : 480;
}

// A BGPic of one filled bitmap, the fill kept so that it can be made again
// at any size.
int AddFilled(lua_State *L, NewID &n, int32_t w, int32_t h, cxFillStyle &fill) {
    cxBitmap *bm = nullptr;
    if (int err = FillNewBitmap(L, &fill, w, h, &bm)) {
        FreeBitmap(fill.textureBitmap);
        return err;
    }
    if (int err = FreeOld(L, n)) {
        FreeBitmap(bm);
        FreeBitmap(fill.textureBitmap);
        return err;
    }
    fill.pristine = 1;
    if (int err = AddBGPicRecord(&n.id, 0, w, h, w, nullptr, bm, nullptr, -1, nullptr, nullptr, &fill, nullptr)) {
        FreeBitmap(bm);
        FreeBitmap(fill.textureBitmap);
        return err;
    }
    return NewIDResult(L, n);
}

struct LoadOptions {
    int32_t transparentColour = -1;
    int loadAlpha = 0, loadTransparency = 0;
    cxFillStyle fill{};
    int32_t scaleWidth = 0, scaleHeight = 0;
    int smooth = 0;
    char loaders[256] = "", adapters[256] = "";
};

int LoadBGPicFile(lua_State *L, NewID &n, const char *file, LoadOptions &o) {
    if (o.loadAlpha && o.loadTransparency) return ERR_WRONGUSAGE;
    if (o.loadTransparency && o.transparentColour != -1) return ERR_WRONGUSAGE;
    if (o.loadAlpha && o.transparentColour != -1) return ERR_MASKNALPHA;
    if (int err = FreeOld(L, n)) return err;
    PrintStatusMessage(GetMessageText(CX_MSG_LOADING_BGPIC), file, 1);
    cxPictureLoad pic;
    if (int err = LoadPicture(file, o.loaders, o.adapters, CX_PICTURE_TRANSPARENCY(o.loadAlpha, o.loadTransparency),
                              o.transparentColour, &pic))
        return err;
    const int32_t w = pic.width, h = pic.height;
    const int32_t key = pic.maskFromAlpha ? -1 : pic.transparentColour;
    int err = 0;
    cxBGPic *b = nullptr;
    if (Preloading(L) && !o.scaleWidth && !o.scaleHeight) {
        err = AddBGPicRecord(&n.id, pic.brushKind, w, h, pic.rowLength, pic.image, nullptr, nullptr, key, nullptr,
                             nullptr, &o.fill, &b);
        if (!err) {
            pic.image = nullptr;
            b->pendingAlpha = o.loadAlpha ? 1 : 0;
        }
    } else {
        cxBitmap *alpha = nullptr;
        if (o.loadAlpha && pic.hasAlpha)
            alpha = AlphaChannelFromARGB(GetImageHandlePixels(pic.image), w, h, pic.rowLength);
        cxBitmap *bm = nullptr, *mask = nullptr;
        err = BuildBGPicBitmap(L, GetImageHandlePixels(pic.image), &o.fill, key, w, h, pic.rowLength, &bm, &mask,
                               &alpha);
        int32_t fw = w, fh = h;
        if (!err && (o.scaleWidth || o.scaleHeight)) {
            auto size = [](int32_t v, int32_t base) {
                return v == 0 ? base : v < 0 ? std::max<int32_t>(1, int32_t(int64_t(base) * -int64_t(v) / 100)) : v;
            };
            fw = size(o.scaleWidth, w), fh = size(o.scaleHeight, h);
            cxBitmap *sb = nullptr, *sm = nullptr, *sa = nullptr;
            err = ScaleBitmapFx(bm, mask, alpha, 0, 0, w, h, fw, fh, o.smooth, &sb, &sm, &sa);
            if (!err) {
                FreeBitmap(bm), FreeMask(mask), FreeAlphaChannel(alpha);
                bm = sb, mask = sm, alpha = sa;
            }
        }
        if (!err) err = AddBGPicRecord(&n.id, pic.brushKind, fw, fh, fw, nullptr, bm, nullptr, key, mask, alpha,
                                       &o.fill, &b);
        if (err) {
            FreeBitmap(bm);
            FreeMask(mask);
            FreeAlphaChannel(alpha);
        }
    }
    if (err) {
        FreeBitmap(o.fill.textureBitmap);
        FreePictureLoad(&pic);
        return err;
    }
    b->palette = pic.palette;
    pic.palette = nullptr;
    FreePictureLoad(&pic);
    PrintDoneMessage();
    return 0;
}

int LoadBGPic(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    LoadOptions o;
    if (lua_gettop(L) == 3 && lua_istable(L, 3)) {
        uint32_t colour = 0;
        if (GetTableBool(L, 3, "transparency", &colour, nullptr)) o.transparentColour = int32_t(colour);
        GetTableTruth(L, 3, "loadalpha", &o.loadAlpha, nullptr);
        GetTableTruth(L, 3, "loadtransparency", &o.loadTransparency, nullptr);
        int style = 0;
        if (GetTableInt(L, 3, "fillstyle", &style, nullptr)) {
            if (style < 0 || style > 3) return ERR_WRONGUSAGE;
            o.fill.style = uint32_t(style);
            if (style == CX_FILL_COLOUR) GetTableBool(L, 3, "fillcolor", &o.fill.colour, nullptr);
            if (style == CX_FILL_GRADIENT) {
                if (int err = ReadGradientFillOptions(L, 3, &o.fill.gradient, 0, 1)) return err;
            }
            if (style == CX_FILL_TEXTURE) {
                GetTableObjectID(L, 3, "texturebrush", &o.fill.textureBrush, nullptr);
                GetTableInt(L, 3, "texturex", &o.fill.textureX, nullptr);
                GetTableInt(L, 3, "texturey", &o.fill.textureY, nullptr);
            }
        }
        GetTablePercent(L, 3, "scalewidth", 1, &o.scaleWidth, nullptr);
        GetTablePercent(L, 3, "scaleheight", 1, &o.scaleHeight, nullptr);
        GetTableTruth(L, 3, "smoothscale", &o.smooth, nullptr);
        GetTableString(L, 3, "loader", o.loaders, sizeof o.loaders, nullptr);
        GetTableString(L, 3, "adapter", o.adapters, sizeof o.adapters, nullptr);
    } else if (Given(L, 3)) {
        o.transparentColour = int32_t(uint32_t(luaL_checknumber(L, 3)));
    }
    // A palette of 256 colours, kept with the BGPic.
    uint32_t *palette = nullptr;
    if (Given(L, 4)) {
        luaL_checktable(L, 4);
        palette = static_cast<uint32_t *>(calloc(256, sizeof(uint32_t)));
        if (!palette) return ERR_MEM;
        for (int i = 0; i < 256; ++i) {
            lua_rawgeti(L, 4, i);
            if (lua_type(L, -1) == LUA_TNUMBER) palette[i] = uint32_t(int64_t(lua_tonumber(L, -1))) & 0xFFFFFF;
            lua_settop(L, -2);
        }
    }
    if (int err = LoadBGPicFile(L, n, file, o)) {
        free(palette);
        return err;
    }
    if (palette) {
        cxBGPic *b = nullptr;
        if (FindBGPic(L, n.id, &b, 0) == 0) {
            free(b->palette);
            b->palette = palette;
        } else {
            free(palette);
        }
    }
    return NewIDResult(L, n);
}

int CreateBGPic(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    NewID n = ReadNewID(L, 1);
    const int32_t w = Int(L, 2), h = Int(L, 3);
    const uint32_t colour = Given(L, 4) ? uint32_t(luaL_checknumber(L, 4)) : 0;
    if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    cxFillStyle fill{};
    fill.style = CX_FILL_COLOUR;
    fill.colour = colour & 0xFFFFFF;
    return AddFilled(L, n, w, h, fill);
}

int CreateGradientBGPic(lua_State *L) {
    CheckArgCount(L, 4, 8, 0, 0);
    NewID n = ReadNewID(L, 1);
    cxFillStyle fill{};
    fill.style = CX_FILL_GRADIENT;
    InitGradientDefaults(&fill.gradient, 0);
    fill.gradient.style = uint32_t(Int(L, 2));
    fill.gradient.startColour = uint32_t(luaL_checknumber(L, 3)) & 0xFFFFFF;
    fill.gradient.endColour = uint32_t(luaL_checknumber(L, 4)) & 0xFFFFFF;
    int32_t w, h;
    CurrentSize(&w, &h);
    if (Given(L, 5)) w = Int(L, 5);
    if (Given(L, 6)) h = Int(L, 6);
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    if (int err = ReadGradientArgs(L, 7, &fill.gradient)) return err;
    return AddFilled(L, n, w, h, fill);
}

int CreateTexturedBGPic(lua_State *L) {
    CheckArgCount(L, 2, 6, 0, 0);
    NewID n = ReadNewID(L, 1);
    cxFillStyle fill{};
    fill.style = CX_FILL_TEXTURE;
    GetObjectIDArg(&fill.textureBrush, L, 2);
    int32_t w, h;
    CurrentSize(&w, &h);
    if (Given(L, 3)) w = Int(L, 3);
    if (Given(L, 4)) h = Int(L, 4);
    if (Given(L, 5)) fill.textureX = Int(L, 5);
    if (Given(L, 6)) fill.textureY = Int(L, 6);
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    cxBrush *brush = nullptr;
    if (int err = FindBrush(L, fill.textureBrush, &brush, 0)) return err;
    if (!brush->bitmap) {
        if (int err = RealizeBrush(brush)) return err;
    }
    return AddFilled(L, n, w, h, fill);
}

int BrushToBGPic(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID source;
    GetObjectIDArg(&source, L, 1);
    NewID n = ReadNewID(L, 2);
    cxBrush *b = nullptr;
    if (int err = FindBrush(L, source, &b, 0)) return err;
    if (b->brushKind == CX_BRUSH_VECTOR && b->transformed) return ERR_TFVBRUSHBGPIC;
    if (!b->bitmap) {
        if (int err = RealizeBrush(b)) return err;
    }
    cxBitmap *cb = DuplicateBitmap(b->bitmap, b->width, b->height);
    cxBitmap *cm = b->mask ? DuplicateMask(b->mask, cb, b->width, b->height) : nullptr;
    cxBitmap *ca = b->alpha ? DuplicateAlpha(b->alpha, b->width, b->height) : nullptr;
    int err = (!cb || (b->mask && !cm) || (b->alpha && !ca)) ? ERR_BITMAP : FreeOld(L, n);
    if (!err)
        err = AddBGPicRecord(&n.id, b->brushKind, b->width, b->height, b->width, b->image, cb, nullptr,
                             b->transparentColour, cm, ca, nullptr, nullptr);
    if (err) {
        FreeBitmap(cb);
        FreeMask(cm);
        FreeAlphaChannel(ca);
        return err;
    }
    if (b->image) RetainImageHandle(b->image);
    return NewIDResult(L, n);
}

int BGPicToBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID source;
    GetObjectIDArg(&source, L, 1);
    const NewID n = ReadNewID(L, 2);
    cxObjectID id = n.id;
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, source, &b, 0)) return err;
    if (b->bgpicKind == 1 && (b->scaledWidth != b->baseWidth || b->scaledHeight != b->baseHeight))
        return ERR_TFVBGPICBRUSH;
    if (!b->scaled.bitmap) return ERR_BITMAP;
    const int32_t w = b->scaledWidth, h = b->scaledHeight;
    cxBitmap *cb = DuplicateBitmap(b->scaled.bitmap, w, h);
    cxBitmap *cm = b->scaled.mask ? DuplicateMask(b->scaled.mask, cb, w, h) : nullptr;
    cxBitmap *ca = b->scaled.alpha ? DuplicateAlpha(b->scaled.alpha, w, h) : nullptr;
    int err = (!cb || (b->scaled.mask && !cm) || (b->scaled.alpha && !ca)) ? ERR_BITMAP : 0;
    if (!err && !n.automatic) err = FreeBrushByID(L, id, 0);
    const bool vector = b->bgpicKind == 1 && b->image;
    if (!err)
        err = AddBrushRecord(&id, vector ? CX_BRUSH_VECTOR : CX_BRUSH_BITMAP, w, h, w, 0, vector ? b->image : nullptr,
                             cb, b->transparentColour, cm, ca, nullptr, nullptr);
    if (err) {
        FreeBitmap(cb);
        FreeMask(cm);
        FreeAlphaChannel(ca);
        return err;
    }
    if (vector) RetainImageHandle(b->image);
    return n.automatic ? PushObjectID(L, id) : 0;
}

int CopyBGPic(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID source;
    GetObjectIDArg(&source, L, 1);
    NewID n = ReadNewID(L, 2);
    if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
    cxBGPic *src = nullptr;
    if (int err = FindBGPic(L, source, &src, 0)) return err;
    if (int err = FreeOld(L, n)) return err;
    cxBGPic *copy = nullptr;
    if (int err = CopyBGPicRecord(L, src, n.id, &copy)) return err;
    if (n.automatic) n.id = GetObjectID(&copy->header);
    return NewIDResult(L, n);
}

int FreeBGPic(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreeBGPicByID(L, id, 1);
}

int ScaleBGPic(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, id, &b, CX_FIND_WRITE)) return err;
    if (IsBGPicOnShow(b)) return ERR_SCALEBGPIC;
    if (IsSelectedObject(CX_OBJ_BGPIC, b)) return ERR_MODIFYABGPIC;
    const int32_t w = int32_t(GetNumberOrPercentArg(L, 2, b->scaledWidth, 1, nullptr));
    const int32_t h = int32_t(GetNumberOrPercentArg(L, 3, b->scaledHeight, 1, nullptr));
    const int smooth = Given(L, 4) ? Int(L, 4) != 0 : 0;
    return ResizeBGPic(L, b, w, h, smooth);
}

int DisplayBGPic(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    int32_t x = CX_POSITION_ABSENT, y = CX_POSITION_ABSENT;
    if (Given(L, 2)) {
        luaL_checktable(L, 2);
        ReadPositionOptions(L, 2, &x, &y);
    }
    return ShowBGPic(L, id, x, y);
}

int DisplayBGPicPart(lua_State *L) {
    CheckArgCount(L, 5, 8, 0, 0);
    cxDrawRequest r{};
    r.kind = CX_OBJ_BGPICPART;
    GetObjectIDArg(&r.id, L, 1);
    r.srcX = Int(L, 2), r.srcY = Int(L, 3);
    r.width = Int(L, 4), r.height = Int(L, 5);
    r.x = Given(L, 6) ? Int(L, 6) : r.srcX;
    r.y = Given(L, 7) ? Int(L, 7) : r.srcY;
    if (Given(L, 8)) {
        if (lua_istable(L, 8)) {
            int layers = 0;
            GetTableTruth(L, 8, "layers", &layers, nullptr);
            r.withLayers = layers;
            r.optionsIndex = 8;
        } else {
            r.withLayers = Int(L, 8) != 0;
        }
    }
    return DrawBitmapCore(L, &r);
}

const luaL_reg kCommands[] = {
    {"LoadBGPic", LoadBGPic},
    {"CreateBGPic", CreateBGPic},
    {"CreateGradientBGPic", CreateGradientBGPic},
    {"CreateRainbowBGPic", CreateGradientBGPic},
    {"CreateTexturedBGPic", CreateTexturedBGPic},
    {"BrushToBGPic", BrushToBGPic},
    {"BGPicToBrush", BGPicToBrush},
    {"CopyBGPic", CopyBGPic},
    {"FreeBGPic", FreeBGPic},
    {"ScaleBGPic", ScaleBGPic},
    {"DisplayBGPic", DisplayBGPic},
    {"DisplayBGPicPart", DisplayBGPicPart},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"LINEAR", nullptr, CX_GRADIENT_LINEAR},
    {"RADIAL", nullptr, CX_GRADIENT_RADIAL},
    {"CONICAL", nullptr, CX_GRADIENT_CONICAL},
    {nullptr, nullptr, 0},
};

}  // namespace

extern "C" int OpenBGPicLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "bgpic")) return err;
    luaL_openconstants(L, kConstants, 0);
    GetBGPicList();
    InstallBGPicDisplayHooks();
    return 0;
}

extern "C" int PreloadBGPicItem(lua_State *L, const cxPreprocItem *item) {
    LoadOptions o;
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key) continue;
        const int32_t v = t->kind == CX_TAG_NUMBER ? int32_t(t->number) : 0;
        if (strcasecmp(t->key, "transparency") == 0) o.transparentColour = v;
        else if (strcasecmp(t->key, "loadalpha") == 0) o.loadAlpha = v != 0;
        else if (strcasecmp(t->key, "loadtransparency") == 0) o.loadTransparency = v != 0;
        else if (strcasecmp(t->key, "loader") == 0 && t->kind == CX_TAG_STRING && t->text)
            snprintf(o.loaders, sizeof o.loaders, "%s", t->text);
    }
    // A file linked into the applet is read from there.
    char window[1024];
    const char *file = ResolveLinkedFileName(GetRunningApplet(), item->name ? item->name : "", 0, nullptr, window,
                                             sizeof window);
    NewID n;
    n.id = cxObjectID{item->id, nullptr};
    return LoadBGPicFile(L, n, file, o);
}

extern "C" int RealizePendingBGPics(lua_State *L) {
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next))
        if (int err = RealizeBGPic(L, b)) return err;
    return 0;
}
