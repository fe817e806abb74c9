// The loader LoadAnim, LoadSprite and PlayAnimDisk share: anim files
// through the readers, still images (cut into frames or whole) through the
// image loader, and the image cache while declared objects load.
#include <string.h>

#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "graphics/images/image_cache.h"
#include "images/core/picture_load.h"
#include "media/anim/anim_internal.h"

namespace {

// The cache word of an entry (shared with brushes): the kind in the low
// byte, 0x100 when the pixels carry alpha.
constexpr uint32_t kCachedAlpha = 0x100;

bool TakeCached(const char *name, cxPictureLoad *pic) {
    int32_t w = 0, h = 0;
    uint32_t rowLength = 0, word = 0;
    cxImageHandle *image = nullptr;
    if (FindCachedImage(name, 0, &w, &h, &rowLength, &image, nullptr, &word) != 0 || !image) return false;
    *pic = cxPictureLoad{};
    pic->image = image;
    pic->width = w;
    pic->height = h;
    pic->rowLength = int32_t(rowLength);
    pic->transparentColour = -1;
    pic->hasAlpha = (word & kCachedAlpha) ? 1 : 0;
    pic->brushKind = word & 0xFF;
    return true;
}

}  // namespace

extern "C" int IsAnimPreloading(lua_State *L) {
    int on = 0;
    GetKernelTags(L, CX_KTAG_PRELOADING, &on, CX_KTAG_END);
    return on != 0;
}

extern "C" void InitAnimLoadOptions(cxAnimLoadOptions *o) {
    memset(o, 0, sizeof *o);
    o->transparentColour = -1;
}

extern "C" void ReadAnimLoadOptions(lua_State *L, int index, cxAnimLoadOptions *o) {
    if (index <= 0 || index > lua_gettop(L) || lua_isnil(L, index)) return;
    if (!lua_istable(L, index)) {
        o->transparentColour = int32_t(uint32_t(int64_t(luaL_checknumber(L, index))));
        return;
    }
    uint32_t colour = 0;
    if (GetTableBool(L, index, "transparency", &colour, nullptr)) o->transparentColour = int32_t(colour);
    GetTableTruth(L, index, "loadalpha", &o->loadAlpha, nullptr);
    GetTableTruth(L, index, "loadtransparency", &o->loadTransparency, nullptr);
    GetTableInt(L, index, "x", &o->x, nullptr);
    GetTableInt(L, index, "y", &o->y, nullptr);
    GetTableInt(L, index, "width", &o->width, nullptr);
    GetTableInt(L, index, "height", &o->height, nullptr);
    GetTableInt(L, index, "fpr", &o->framesPerRow, nullptr);
    GetTableInt(L, index, "frames", &o->frames, nullptr);
    GetTableTruth(L, index, "fromdisk", &o->fromDisk, nullptr);
    GetTableTruth(L, index, "skiploopframes", &o->skipLoopFrames, nullptr);
    GetTableInt(L, index, "deinterlace", &o->deinterlace, nullptr);
    GetTableString(L, index, "loader", o->loaders, sizeof o->loaders, nullptr);
    GetTableString(L, index, "adapter", o->adapters, sizeof o->adapters, nullptr);
    GetTableString(L, index, "cache", o->cache, sizeof o->cache, nullptr);
    GetTableString(L, index, "cachedload", o->cachedLoad, sizeof o->cachedLoad, nullptr);
    GetTableTruth(L, index, "cachealpha", &o->cacheAlpha, nullptr);
    if (o->loadAlpha) o->cacheAlpha = 0;
}

extern "C" int LoadAnimCore(lua_State *L, int kind, cxObjectID *id, const char *file, const cxAnimLoadOptions *o,
                            cxAnim **out) {
    if (out) *out = nullptr;
    if (o->loadAlpha && o->loadTransparency) return ERR_WRONGUSAGE;
    if (o->loadAlpha && o->transparentColour != -1) return ERR_MASKNALPHA;
    if (o->loadTransparency && o->transparentColour != -1) return ERR_WRONGUSAGE;
    if (o->frames && o->fromDisk) return ERR_WRONGUSAGE;
    if (!id->pointer && kind != CX_LOAD_SPRITE) {
        if (int err = FreeAnimByID(L, *id, 0)) return err;
    }
    PrintStatusMessage(GetMessageText(kind == CX_LOAD_SPRITE ? CX_MSG_LOADING_SPRITE : CX_MSG_LOADING_ANIM), file, 1);

    const bool preloading = IsAnimPreloading(L) != 0;
    const bool disk = kind == CX_LOAD_DISKANIM || (kind == CX_LOAD_ANIM && o->fromDisk);
    cxAnimReader *reader = nullptr;
    int w = 0, h = 0, frames = 0, hasAlpha = 0;
    cxPlugin *loader = nullptr;
    cxPictureLoad pic{};
    bool haveStill = false;
    if (preloading && o->cachedLoad[0] && TakeCached(o->cachedLoad, &pic)) {
        haveStill = true;
        pic.transparentColour = o->transparentColour;
    } else {
        int err = OpenAnimFile(file, o->loaders, o->adapters, o->deinterlace, o->loadTransparency, &reader, &w, &h,
                               &frames, &hasAlpha, &loader);
        if (err == ERR_OPENANIM2) {
            // Not an anim: a still image, cut into frames or whole.
            err = LoadPicture(file, o->loaders, o->adapters, o->loadTransparency, o->transparentColour, &pic);
            if (err == ERR_LOADPICTURE2) {
                SetErrorDetail(file);
                err = ERR_OPENANIM2;
            }
            haveStill = err == 0;
        }
        if (err) return err;
    }
    int err = 0;
    if (reader) {
        if (o->skipLoopFrames && IsIFFAnimReader(reader)) {
            if (frames < 3) err = ERR_WRONGUSAGE;
            else frames -= 2;
        }
        if (!err && o->loadAlpha && !hasAlpha) {
            SetErrorDetail(file);
            err = ERR_NOALPHA;
        }
    } else if (haveStill && preloading && o->cache[0] && !o->cachedLoad[0]) {
        const uint32_t word = pic.brushKind | (pic.hasAlpha ? kCachedAlpha : 0u);
        err = AddCachedImage(o->cache, pic.width, pic.height, uint32_t(pic.rowLength), pic.image, nullptr, word);
    }

    cxFrameBuildRequest r{};
    r.newId = id;
    r.sourceKind = reader ? CX_FRAMES_FROM_ANIM : CX_FRAMES_FROM_IMAGE;
    r.targetKind = kind == CX_LOAD_SPRITE ? CX_FRAMES_TO_SPRITE : CX_FRAMES_TO_ANIM;
    r.cutMode = (!reader && o->width > 0 && o->height > 0) ? CX_FRAMES_CUT : CX_FRAMES_WHOLE;
    r.transparentColour = o->transparentColour;
    r.loadAlpha = uint32_t(o->loadAlpha);
    r.loadTransparency = uint32_t(o->loadTransparency);
    r.deinterlace = o->deinterlace;
    r.file = file;
    r.loader = loader;
    memcpy(r.loaders, o->loaders, sizeof r.loaders);
    memcpy(r.adapters, o->adapters, sizeof r.adapters);
    if (reader) {
        r.reader = reader;
        r.frameWidth = w, r.frameHeight = h, r.frames = frames;
        r.diskBased = disk && kind != CX_LOAD_SPRITE;
        r.deferBitmaps = preloading && !r.diskBased;
    } else {
        r.image = pic.image;
        r.imageRowLength = pic.rowLength;
        r.imageMaskFromAlpha = pic.maskFromAlpha;
        r.imageHasAlpha = pic.hasAlpha;
        r.transparentColour = pic.transparentColour;
        r.sourceWidth = pic.width, r.sourceHeight = pic.height;
        r.frameWidth = o->width, r.frameHeight = o->height;
        r.frames = o->frames, r.framesPerRow = o->framesPerRow;
        r.x = o->x, r.y = o->y;
    }
    if (!err) err = BuildFrames(L, &r);
    // The record keeps the reader when it reads frames later; else it goes.
    CloseAnimReader(static_cast<cxAnimReader *>(r.reader));
    if (haveStill) FreePictureLoad(&pic);
    if (err) return err;
    if (r.result && kind != CX_LOAD_SPRITE) {
        auto *a = static_cast<cxAnim *>(r.result);
        a->loader = uintptr_t(loader);
        if (out) *out = a;
    }
    PrintDoneMessage();
    return 0;
}
