#include "layers/core/clip_regions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"

namespace {

cxObjectList g_regions = {CX_OBJ_CLIPREGION, ERR_FINDCLIPREGION, nullptr, nullptr};

void Destroy(cxClipRegion *r) {
    FreeMask(r->shape);
    free(r);
}

cxClipRegion *NewRegion(int32_t x, int32_t y, int32_t w, int32_t h, cxBitmap *shape) {
    auto *r = static_cast<cxClipRegion *>(calloc(1, sizeof(cxClipRegion)));
    if (!r) return nullptr;
    r->header.kind = CX_OBJ_CLIPREGION;
    r->x = x, r->y = y, r->width = w, r->height = h;
    r->shape = shape;
    return r;
}

cxBitmap *CopyShape(const cxBitmap *shape, int32_t w, int32_t h, bool *failed) {
    if (!shape) return nullptr;
    cxBitmap *m = AllocMask(nullptr, w, h, 1, nullptr, 0);
    if (!m) {
        *failed = true;
        return nullptr;
    }
    CombineMaskRect(shape, 0, 0, m, 0, 0, w, h, CX_MASKVANILLACOPY);
    return m;
}

}  // namespace

extern "C" cxObjectList *GetClipRegionList(void) {
    RegisterObjectList(&g_regions);
    return &g_regions;
}

extern "C" int AddClipRegion(cxObjectID *id, int32_t x, int32_t y, int32_t w, int32_t h, cxBitmap *shape,
                             cxClipRegion **out) {
    if (out) *out = nullptr;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    cxClipRegion *r = NewRegion(x, y, w, h, shape);
    if (!r) return ERR_MEM;
    if (!id->pointer) {
        // A number in use: the old region goes (or waits for its layers).
        if (cxObjectHeader *old = LookupObject(&g_regions, *id)) {
            auto *o = reinterpret_cast<cxClipRegion *>(old);
            if (o->uses > 0) {
                o->header.idNumber = 0;
                o->header.idPointer = o;
                o->pendingFree = 1;
            } else {
                RemoveObject(&g_regions, old);
                Destroy(o);
            }
        }
    }
    InitObjectHeader(&r->header, CX_OBJ_CLIPREGION, id->number, id->pointer != nullptr);
    if (id->pointer) id->pointer = r;
    AddObject(GetClipRegionList(), &r->header);
    if (out) *out = r;
    return 0;
}

extern "C" int FindClipRegion(cxObjectID id, cxClipRegion **out, uint32_t) {
    *out = nullptr;
    for (cxObjectHeader *h = g_regions.first; h; h = h->next) {
        auto *r = reinterpret_cast<cxClipRegion *>(h);
        if (ObjectHasID(h, id) && !r->pendingFree) {
            *out = r;
            return 0;
        }
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDCLIPREGION;
}

extern "C" int FreeClipRegionByID(lua_State *, cxObjectID id) {
    cxClipRegion *r = nullptr;
    if (int err = FindClipRegion(id, &r, 0)) return err;
    if (r->uses > 0) {
        r->header.idNumber = 0;
        r->header.idPointer = r;
        r->pendingFree = 1;
        return 0;
    }
    RemoveObject(&g_regions, &r->header);
    Destroy(r);
    return 0;
}

extern "C" cxClipRegion *UseClipRegion(cxClipRegion *r) {
    if (!r) return nullptr;
    if (!r->privateCopy) {
        r->uses++;
        return r;
    }
    bool failed = false;
    cxBitmap *shape = CopyShape(r->shape, r->width, r->height, &failed);
    if (failed) return nullptr;
    cxClipRegion *c = NewRegion(r->x, r->y, r->width, r->height, shape);
    if (!c) {
        FreeMask(shape);
        return nullptr;
    }
    c->privateCopy = 1;
    return c;
}

extern "C" void ReleaseClipRegion(cxClipRegion *r) {
    if (!r) return;
    if (r->privateCopy) {
        Destroy(r);
        return;
    }
    if (r->uses > 0) r->uses--;
    if (r->uses == 0 && r->pendingFree) {
        RemoveObject(&g_regions, &r->header);
        Destroy(r);
    }
}

extern "C" cxClipRegion *TransformClipRegion(const cxClipRegion *region, const double m[4], double ox, double oy) {
    if (!region) return nullptr;
    const bool identity = IsIdentityMatrix(m);
    if (identity) {
        bool failed = false;
        cxBitmap *shape = CopyShape(region->shape, region->width, region->height, &failed);
        if (failed) return nullptr;
        cxClipRegion *c = NewRegion(region->x, region->y, region->width, region->height, shape);
        if (!c) {
            FreeMask(shape);
            return nullptr;
        }
        c->privateCopy = 1;
        return c;
    }
    // The box of the turned corners, about the origin.
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    const double cx[4] = {0, double(region->width), 0, double(region->width)};
    const double cy[4] = {0, 0, double(region->height), double(region->height)};
    for (int i = 0; i < 4; ++i) {
        const double px = region->x + cx[i] - ox, py = region->y + cy[i] - oy;
        const double tx = m[0] * px + m[1] * py + ox, ty = m[2] * px + m[3] * py + oy;
        minX = std::min(minX, tx), maxX = std::max(maxX, tx);
        minY = std::min(minY, ty), maxY = std::max(maxY, ty);
    }
    if (!(maxX - minX < 1e7 && maxY - minY < 1e7)) return nullptr;
    // The shape turned with it: a full mask stands in for a plain box.
    cxBitmap *src = region->shape;
    cxBitmap *made = nullptr;
    if (!src) {
        made = AllocMask(nullptr, region->width, region->height, 0, nullptr, 0);
        if (!made) return nullptr;
        FillMaskRect(made, 0, 0, region->width, region->height, CX_MASKVISIBLE);
        src = made;
    }
    // RotateBitmapFx turns a colour bitmap with its mask: the colour is a
    // throw-away of the region's size.
    cxBitmap *colour = AllocBitmap(region->width, region->height, 0, 0);
    cxBitmap *outColour = nullptr, *outMask = nullptr, *outAlpha = nullptr;
    int32_t tw = 0, th = 0;
    const int err = colour ? RotateBitmapFx(colour, src, nullptr, 0, 0, region->width, region->height, m, 0,
                                            &outColour, &outMask, &outAlpha, &tw, &th)
                           : ERR_BITMAP;
    FreeBitmap(colour);
    FreeMask(made);
    FreeBitmap(outColour);
    FreeAlphaChannel(outAlpha);
    if (err || !outMask) {
        FreeMask(outMask);
        return nullptr;
    }
    cxClipRegion *c = NewRegion(int32_t(std::floor(minX)), int32_t(std::floor(minY)), tw, th, outMask);
    if (!c) {
        FreeMask(outMask);
        return nullptr;
    }
    c->privateCopy = 1;
    return c;
}

extern "C" void PurgePendingClipRegions(void) {
    for (cxObjectHeader *h = g_regions.first; h;) {
        cxObjectHeader *next = h->next;
        auto *r = reinterpret_cast<cxClipRegion *>(h);
        if (r->pendingFree && r->uses <= 0) {
            RemoveObject(&g_regions, h);
            Destroy(r);
        }
        h = next;
    }
}

extern "C" void FreeAllClipRegions(void) {
    while (cxObjectHeader *h = g_regions.first) {
        RemoveObject(&g_regions, h);
        Destroy(reinterpret_cast<cxClipRegion *>(h));
    }
    UnregisterObjectList(&g_regions);
}
