// The BGPic list: records, lookup, copies and deferred freeing.
#include "images/bgpics/bgpic.h"

#include <cstdlib>
#include <cstring>

#include "display/events/buttons.h"
#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "images/brushes/brush.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"
#include "images/sprites/sprite.h"

namespace {

cxObjectList g_bgpics = {CX_OBJ_BGPIC, ERR_FINDBGPIC, nullptr, nullptr};

cxBGPic *Next(const cxBGPic *b) { return reinterpret_cast<cxBGPic *>(b->header.next); }

int CopyForLayers(lua_State *L, void *record, cxObjectID newId, void **copy) {
    cxBGPic *out = nullptr;
    const int err = CopyBGPicRecord(L, static_cast<cxBGPic *>(record), newId, &out);
    *copy = out;
    return err;
}

int32_t *UsesOf(void *record) { return &static_cast<cxBGPic *>(record)->layerUses; }

void FreeSet(cxBitmapSet &s, const cxBitmapSet *keep1, const cxBitmapSet *keep2) {
    auto kept = [&](const void *p, const cxBitmapSet *k) {
        return k && (p == k->bitmap || p == k->mask || p == k->alpha);
    };
    if (s.bitmap && !kept(s.bitmap, keep1) && !kept(s.bitmap, keep2)) FreeBitmap(s.bitmap);
    if (s.mask && !kept(s.mask, keep1) && !kept(s.mask, keep2)) FreeMask(s.mask);
    if (s.alpha && !kept(s.alpha, keep1) && !kept(s.alpha, keep2)) FreeAlphaChannel(s.alpha);
    s = cxBitmapSet{};
}

bool SameSet(const cxBitmapSet &a, const cxBitmapSet &b) {
    return a.bitmap == b.bitmap && a.mask == b.mask && a.alpha == b.alpha;
}

// A whole copy of one set, or null members on failure (reported by the
// caller through ok).
cxBitmapSet CopySet(const cxBitmapSet &s, int32_t w, int32_t h, bool *ok) {
    cxBitmapSet c{};
    c.bitmap = s.bitmap ? DuplicateBitmap(s.bitmap, w, h) : nullptr;
    c.mask = s.mask ? DuplicateMask(s.mask, c.bitmap ? c.bitmap : s.bitmap, w, h) : nullptr;
    c.alpha = s.alpha ? DuplicateAlpha(s.alpha, w, h) : nullptr;
    *ok = (!s.bitmap || c.bitmap) && (!s.mask || c.mask) && (!s.alpha || c.alpha);
    return c;
}

bool SelectedIsThis(cxObjectID id) {
    auto *selected = static_cast<const cxBGPic *>(GetSelectedObject(CX_OBJ_BGPIC));
    return selected && ObjectHasID(&selected->header, id);
}

}  // namespace

extern "C" cxBGPic *GetFirstBGPic(void) { return reinterpret_cast<cxBGPic *>(g_bgpics.first); }

extern "C" cxObjectList *GetBGPicList(void) {
    RegisterObjectList(&g_bgpics);
    return &g_bgpics;
}

extern "C" int IsBGPicOnShow(const cxBGPic *bgpic) {
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic == bgpic) return 1;
    return 0;
}

extern "C" int FindBGPic(lua_State *L, cxObjectID id, cxBGPic **out, uint32_t flags) {
    *out = nullptr;
    cxBGPic *found = nullptr;
    for (cxBGPic *b = GetFirstBGPic(); b; b = Next(b)) {
        if (!ObjectHasID(&b->header, id)) continue;
        if (b->pendingFree && !(flags & CX_FIND_PENDING)) continue;
        if ((flags & CX_FIND_WRITE) && b->locked) return ERR_LOCKEDOBJ;
        found = b;
        break;
    }
    if (!found) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorNumber(id.number);
        return ERR_FINDBGPIC;
    }
    if ((flags & CX_FIND_WRITE) && !(flags & CX_FIND_NOCOPY)) {
        void *copy = nullptr;
        if (int err = CopyOnWrite(L, CX_OBJ_BGPICPART, id, &found->layerUses, CopyForLayers, found, &copy, UsesOf))
            return err;
        if (copy) static_cast<cxBGPic *>(copy)->pendingFree = 1;
    }
    *out = found;
    return 0;
}

namespace {

cxBGPic *NewRecord(uint32_t kind, int32_t width, int32_t height, int32_t rowLength, cxImageHandle *image,
                   cxBitmap *bitmap, uint32_t *palette, int32_t transparentColour, cxBitmap *mask, cxBitmap *alpha,
                   const cxFillStyle *fill) {
    auto *b = static_cast<cxBGPic *>(calloc(1, sizeof(cxBGPic)));
    if (!b) return nullptr;
    b->bgpicKind = kind;
    b->image = image;
    b->base = b->scaled = b->current = cxBitmapSet{bitmap, mask, alpha};
    b->baseWidth = b->scaledWidth = b->currentWidth = width;
    b->baseHeight = b->scaledHeight = b->currentHeight = height;
    b->imageRowLength = rowLength;
    b->palette = palette;
    b->transparentColour = transparentColour;
    if (fill) b->fill = *fill;
    return b;
}

}  // namespace

extern "C" int AddBGPicRecord(cxObjectID *id, uint32_t kind, int32_t width, int32_t height, int32_t rowLength,
                              cxImageHandle *image, cxBitmap *bitmap, uint32_t *palette, int32_t transparentColour,
                              cxBitmap *mask, cxBitmap *alpha, const cxFillStyle *fill, cxBGPic **out) {
    if (out) *out = nullptr;
    cxBGPic *b = NewRecord(kind, width, height, rowLength, image, bitmap, palette, transparentColour, mask, alpha, fill);
    if (!b) return ERR_MEM;
    const bool automatic = id->pointer != nullptr;
    InitObjectHeader(&b->header, CX_OBJ_BGPIC, automatic ? 0 : id->number, automatic);
    if (automatic) *id = GetObjectID(&b->header);
    GetBGPicList();
    AddObject(&g_bgpics, &b->header);
    if (out) *out = b;
    return 0;
}

extern "C" int MakeDisplayBGPic(cxBitmap *bitmap, int32_t width, int32_t height, const cxFillStyle *fill,
                                cxBGPic **out) {
    cxBGPic *b = NewRecord(0, width, height, width, nullptr, bitmap, nullptr, -1, nullptr, nullptr, fill);
    if (!b) return ERR_MEM;
    InitObjectHeader(&b->header, CX_OBJ_BGPIC, 0, 1);
    b->ownedByDisplay = 1;
    *out = b;
    return 0;
}

extern "C" int CopyBGPicRecord(lua_State *L, const cxBGPic *src, cxObjectID newId, cxBGPic **out) {
    *out = nullptr;
    uint32_t *palette = nullptr;
    if (src->palette) {
        palette = static_cast<uint32_t *>(malloc(1024));
        if (!palette) return ERR_MEM;
        memcpy(palette, src->palette, 1024);
    }
    bool ok = true;
    cxBitmapSet base = CopySet(src->base, src->baseWidth, src->baseHeight, &ok);
    cxBitmapSet scaled = base, current = base;
    bool scaledOwn = false, currentOwn = false;
    if (ok && !SameSet(src->scaled, src->base)) {
        scaled = CopySet(src->scaled, src->scaledWidth, src->scaledHeight, &ok);
        scaledOwn = true;
    }
    if (ok && !SameSet(src->current, src->base)) {
        if (SameSet(src->current, src->scaled)) {
            current = scaled;
        } else {
            current = CopySet(src->current, src->currentWidth, src->currentHeight, &ok);
            currentOwn = true;
        }
    }
    cxFillStyle fill = src->fill;
    fill.textureBitmap = nullptr;
    if (ok && src->fill.style == CX_FILL_TEXTURE && src->fill.textureBitmap) {
        fill.textureBitmap = DuplicateBitmap(src->fill.textureBitmap, src->fill.textureWidth, src->fill.textureHeight);
        ok = fill.textureBitmap != nullptr;
    }
    cxObjectData *data = nullptr;
    int err = ok ? CopyObjectDataList(L, src->header.data, &data) : ERR_BITMAP;
    cxBGPic *b = nullptr;
    if (!err)
        err = AddBGPicRecord(&newId, src->bgpicKind, src->baseWidth, src->baseHeight, src->imageRowLength, src->image,
                             base.bitmap, palette, src->transparentColour, base.mask, base.alpha, &fill, &b);
    if (err) {
        FreeObjectDataList(L, data);
        if (currentOwn) FreeSet(current, nullptr, nullptr);
        if (scaledOwn) FreeSet(scaled, nullptr, nullptr);
        FreeSet(base, nullptr, nullptr);
        FreeBitmap(fill.textureBitmap);
        free(palette);
        return err;
    }
    b->header.data = data;
    b->scaled = scaled;
    b->current = current;
    b->scaledWidth = src->scaledWidth, b->scaledHeight = src->scaledHeight;
    b->currentWidth = src->currentWidth, b->currentHeight = src->currentHeight;
    b->loaderWord = src->loaderWord;
    if (b->image) RetainImageHandle(b->image);
    *out = b;
    return 0;
}

extern "C" void FreeBitmapSets(cxBGPic *b) {
    FreeSet(b->current, &b->scaled, &b->base);
    FreeSet(b->scaled, &b->base, nullptr);
    FreeSet(b->base, nullptr, nullptr);
}

extern "C" void DestroyBGPic(lua_State *L, cxBGPic *b) {
    if (!b) return;
    if (!b->ownedByDisplay) RemoveObject(&g_bgpics, &b->header);
    // Its layers go first; while they go, a use they drop must not free
    // the record a second time.
    if (b->layers.count && GetLayerHooks()->freeLayers) {
        b->pendingFree = 0;
        GetLayerHooks()->freeLayers(L, b);
    }
    FreeBGPicButtons(L, b);
    FreeSpriteDrawNodes(b);
    FreeBitmapSets(b);
    FreeBitmap(b->displayBuffer);
    FreeBitmap(b->fill.textureBitmap);
    if (L) FreeObjectDataList(L, b->header.data);
    if (b->image) ReleaseImageHandle(b->image);
    free(b->palette);
    free(b);
}

extern "C" int FreeBGPicByID(lua_State *L, cxObjectID id, int reportNotFound) {
    if (SelectedIsThis(id)) return ERR_MODIFYABGPIC;
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, id, &b, CX_FIND_WRITE | CX_FIND_NOCOPY))
        return (reportNotFound || err == ERR_LOCKEDOBJ) ? err : 0;
    if (IsBGPicOnShow(b) || b->layerUses > 0) {
        // Kept until no display and no layer shows it; the number is free.
        const cxObjectID own{0, b};
        if (b->layerUses > 0) RedirectLayers(L, CX_OBJ_BGPICPART, id, own);
        b->header.idNumber = 0;
        b->header.idPointer = b;
        b->pendingFree = 1;
        return 0;
    }
    DestroyBGPic(L, b);
    return 0;
}

extern "C" void PurgePendingBGPics(lua_State *L) {
    for (cxBGPic *b = GetFirstBGPic(); b;) {
        cxBGPic *next = Next(b);
        if (b->pendingFree && b->layerUses <= 0 && !IsBGPicOnShow(b)) DestroyBGPic(L, b);
        b = next;
    }
}

extern "C" void AddBGPicLayerUse(cxBGPic *b) {
    if (b) b->layerUses++;
}

extern "C" void DropBGPicLayerUse(lua_State *L, cxBGPic *b) {
    if (!b || b->layerUses <= 0) return;
    if (--b->layerUses == 0 && b->pendingFree && !IsBGPicOnShow(b)) DestroyBGPic(L, b);
}

extern "C" void FreeAllBGPics(lua_State *L) {
    while (cxBGPic *b = GetFirstBGPic()) DestroyBGPic(L, b);
}
