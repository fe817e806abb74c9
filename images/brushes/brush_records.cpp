// The brush list: records, lookup, copies, freeing and layer uses.
#include "images/brushes/brush.h"

#include <cstdlib>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"

namespace {

cxObjectList g_brushes = {CX_OBJ_BRUSH, ERR_FINDBRUSH, nullptr, nullptr};

cxBrush *Next(const cxBrush *b) { return reinterpret_cast<cxBrush *>(b->header.next); }

// Copies for copy-on-write: the layers' copy is a plain software copy.
int CopyForLayers(lua_State *L, void *record, cxObjectID newId, void **copy) {
    cxBrush *out = nullptr;
    const int err = CopyBrushRecord(L, static_cast<cxBrush *>(record), newId, 0, 0, nullptr, &out);
    *copy = out;
    return err;
}

int32_t *UsesOf(void *record) { return &static_cast<cxBrush *>(record)->layerUses; }

void FreeBitmaps(cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha) {
    FreeBitmap(bitmap);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
}

bool OutputIsThisBrush(cxObjectID id) {
    const cxDisplay *d = GetCurrentDisplay();
    if (!d || (d->targetKind != CX_OBJ_BRUSH && d->targetKind != CX_OBJ_MASK && d->targetKind != CX_OBJ_ALPHACHANNEL))
        return false;
    auto *selected = static_cast<const cxBrush *>(GetSelectedObject(CX_OBJ_BRUSH));
    return selected && ObjectHasID(&selected->header, id);
}

}  // namespace

extern "C" cxBrush *GetFirstBrush(void) { return reinterpret_cast<cxBrush *>(g_brushes.first); }

extern "C" cxObjectList *GetBrushList(void) {
    RegisterObjectList(&g_brushes);
    return &g_brushes;
}

extern "C" cxBitmap *DuplicateBitmap(const cxBitmap *bitmap, int32_t width, int32_t height) {
    if (!bitmap) return nullptr;
    cxBitmap *copy = AllocBitmap(width, height, 0, 0);
    if (copy && BltBitmap(bitmap, 0, 0, copy, 0, 0, width, height) != 0) {
        FreeBitmap(copy);
        return nullptr;
    }
    return copy;
}

extern "C" cxBitmap *DuplicateMask(const cxBitmap *mask, const cxBitmap *colour, int32_t width, int32_t height) {
    if (!mask) return nullptr;
    cxBitmap *copy = AllocMask(colour, width, height, 1, nullptr, 0);
    if (copy) CombineMaskRect(mask, 0, 0, copy, 0, 0, width, height, CX_MASKVANILLACOPY);
    return copy;
}

extern "C" cxBitmap *DuplicateAlpha(const cxBitmap *alpha, int32_t width, int32_t height) {
    return alpha ? CopyAlphaChannel(alpha, width, height) : nullptr;
}

extern "C" int FindBrush(lua_State *L, cxObjectID id, cxBrush **out, uint32_t flags) {
    *out = nullptr;
    cxBrush *found = nullptr;
    for (cxBrush *b = GetFirstBrush(); b; b = Next(b)) {
        if (!ObjectHasID(&b->header, id)) continue;
        if ((flags & CX_FIND_NOVECTOR) && b->brushKind == CX_BRUSH_VECTOR) return ERR_BRUSHTYPE;
        if (b->hardware && !(flags & CX_FIND_HARDWARE)) return ERR_HWBRUSH;
        if (b->pendingFree && !(flags & CX_FIND_PENDING)) continue;
        if ((flags & CX_FIND_WRITE) && b->locked) return ERR_LOCKEDOBJ;
        found = b;
        break;
    }
    if (!found) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorNumber(id.number);
        return ERR_FINDBRUSH;
    }
    if ((flags & CX_FIND_WRITE) && !(flags & CX_FIND_NOCOPY)) {
        void *copy = nullptr;
        if (int err = CopyOnWrite(L, CX_OBJ_BRUSH, id, &found->layerUses, CopyForLayers, found, &copy, UsesOf))
            return err;
        if (copy) static_cast<cxBrush *>(copy)->pendingFree = 1;
    }
    *out = found;
    return 0;
}

extern "C" int AddBrushRecord(cxObjectID *id, uint32_t brushKind, int32_t width, int32_t height,
                              int32_t imageRowLength, uint32_t transformed, cxImageHandle *image, cxBitmap *bitmap,
                              int32_t transparentColour, cxBitmap *mask, cxBitmap *alpha, const cxObjectID *displayID,
                              cxBrush **out) {
    if (out) *out = nullptr;
    auto *b = static_cast<cxBrush *>(calloc(1, sizeof(cxBrush)));
    if (!b) return ERR_MEM;
    const bool automatic = id->pointer != nullptr;
    InitObjectHeader(&b->header, CX_OBJ_BRUSH, automatic ? 0 : id->number, automatic);
    if (automatic) *id = GetObjectID(&b->header);
    b->brushKind = brushKind;
    b->width = width;
    b->height = height;
    b->imageRowLength = imageRowLength;
    b->transformed = transformed;
    b->image = image;
    b->bitmap = bitmap;
    b->mask = mask;
    b->alpha = alpha;
    b->transparentColour = transparentColour;
    if (displayID) b->displayID = *displayID;
    GetBrushList();
    AddObject(&g_brushes, &b->header);
    if (out) *out = b;
    return 0;
}

extern "C" int CopyBrushRecord(lua_State *L, const cxBrush *src, cxObjectID newId, int hardware, int smooth,
                               cxDisplay *display, cxBrush **out) {
    *out = nullptr;
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    if (src->bitmap) {
        // Video bitmaps only where the adapter makes them; AllocBitmap
        // falls back to an ordinary one otherwise.
        if (hardware) {
            bitmap = AllocBitmap(src->width, src->height, CX_ALLOC_VIDEO, 0);
            if (bitmap && BltBitmap(src->bitmap, 0, 0, bitmap, 0, 0, src->width, src->height) != 0) {
                FreeBitmap(bitmap);
                bitmap = nullptr;
            }
        } else {
            bitmap = DuplicateBitmap(src->bitmap, src->width, src->height);
        }
        if (!bitmap) return ERR_BITMAP;
    }
    if (src->mask && !(mask = DuplicateMask(src->mask, bitmap ? bitmap : src->bitmap, src->width, src->height))) {
        FreeBitmaps(bitmap, nullptr, nullptr);
        return ERR_ALLOCMASK;
    }
    if (src->alpha && !(alpha = DuplicateAlpha(src->alpha, src->width, src->height))) {
        FreeBitmaps(bitmap, mask, nullptr);
        return ERR_ALLOCALPHA;
    }
    cxObjectData *data = nullptr;
    if (int err = CopyObjectDataList(L, src->header.data, &data)) {
        FreeBitmaps(bitmap, mask, alpha);
        return err;
    }
    const bool isHardware = bitmap && bitmap->foreign;
    cxObjectID displayID{};
    if (display) displayID = GetObjectID(&display->header);
    cxBrush *b = nullptr;
    if (int err = AddBrushRecord(&newId, src->brushKind, src->width, src->height, src->width, src->transformed,
                                 src->image, bitmap, src->transparentColour, mask, alpha,
                                 display ? &displayID : nullptr, &b)) {
        FreeObjectDataList(L, data);
        FreeBitmaps(bitmap, mask, alpha);
        return err;
    }
    b->header.data = data;
    b->smoothScale = smooth ? 1 : src->smoothScale;
    if (isHardware) {
        b->hardware = 1;
        b->display = display;
        if (src->hardware) {
            b->hardwareLayout = src->hardwareLayout;
        } else {
            // A vector source becomes a plain bitmap brush in video memory.
            b->brushKind = CX_BRUSH_BITMAP;
            b->image = nullptr;
            b->hardwareLayout = (mask ? 1u : 0u) | (alpha ? 2u : 0u);
        }
    }
    b->loaderWord = src->loaderWord;
    if (b->image) RetainImageHandle(b->image);
    *out = b;
    return 0;
}

extern "C" void DestroyBrush(lua_State *L, cxBrush *b) {
    if (!b) return;
    RemoveObject(&g_brushes, &b->header);
    FreeBitmaps(b->bitmap, b->mask, b->alpha);
    if (L) FreeObjectDataList(L, b->header.data);
    if (b->image) ReleaseImageHandle(b->image);
    free(b->savedPixels);
    free(b);
}

extern "C" int FreeBrushByID(lua_State *L, cxObjectID id, int reportNotFound) {
    if (OutputIsThisBrush(id)) return ERR_MODIFYABR;
    cxBrush *b = nullptr;
    if (int err = FindBrush(L, id, &b, CX_FIND_WRITE | CX_FIND_NOCOPY | CX_FIND_HARDWARE))
        return (reportNotFound || err == ERR_LOCKEDOBJ) ? err : 0;
    if (b->layerUses > 0) {
        // The layers keep it; the script's number is free at once.
        const cxObjectID own{0, b};
        RedirectLayers(L, CX_OBJ_BRUSH, id, own);
        b->header.idNumber = 0;
        b->header.idPointer = b;
        b->pendingFree = 1;
        return 0;
    }
    DestroyBrush(L, b);
    return 0;
}

extern "C" void AddBrushLayerUse(cxBrush *b) {
    if (b) b->layerUses++;
}

extern "C" void DropBrushLayerUse(lua_State *L, cxBrush *b) {
    if (!b || b->layerUses <= 0) return;
    if (--b->layerUses == 0 && b->pendingFree) DestroyBrush(L, b);
}

extern "C" void PurgePendingBrushes(lua_State *L) {
    for (cxBrush *b = GetFirstBrush(); b;) {
        cxBrush *next = Next(b);
        if (b->pendingFree && b->layerUses <= 0) DestroyBrush(L, b);
        b = next;
    }
}

extern "C" int GetBrushBitmaps(cxObjectID id, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha, int32_t *width,
                               int32_t *height) {
    cxBrush *b = nullptr;
    if (FindBrush(nullptr, id, &b, CX_FIND_NOVECTOR | CX_FIND_HARDWARE) != 0) return 0;
    *bitmap = b->bitmap;
    *mask = b->mask;
    *alpha = b->alpha;
    *width = b->width;
    *height = b->height;
    return 1;
}

extern "C" void FreeDisplayHardwareBrushes(lua_State *L, cxDisplay *d) {
    for (cxBrush *b = GetFirstBrush(); b;) {
        cxBrush *next = Next(b);
        if (b->hardware && b->display == d) DestroyBrush(L, b);
        b = next;
    }
}

extern "C" void FreeAllBrushes(lua_State *L) {
    while (cxBrush *b = GetFirstBrush()) DestroyBrush(L, b);
}
