// The anim list: records, lookup, frames, copies, frame edits, freeing and
// layer uses.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "images/brushes/brush.h"
#include "images/core/argb_bitmaps.h"
#include "images/core/layer_use.h"
#include "images/output/output_redirect.h"
#include "media/anim/anim.h"
#include "media/anim/anim_internal.h"

namespace {

cxObjectList g_anims = {CX_OBJ_ANIM, ERR_FINDANIM, nullptr, nullptr};

cxAnim *Next(const cxAnim *a) { return reinterpret_cast<cxAnim *>(a->header.next); }

int CopyForLayers(lua_State *L, void *record, cxObjectID newId, void **copy) {
    cxAnim *out = nullptr;
    const int err = CopyAnimRecord(L, static_cast<cxAnim *>(record), newId, &out);
    *copy = out;
    return err;
}

int32_t *UsesOf(void *record) { return &static_cast<cxAnim *>(record)->layerUses; }

void FreeSet(cxBitmap *b, cxBitmap *m, cxBitmap *a) {
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
}

void FreeRaw(cxAnim *a, uint32_t *px) {
    if (!px) return;
    if (a->reader) FreeAnimReaderFrame(a->reader, px);
    else free(px);
}

// Frame arrays of n entries, zeroed. False when memory runs out.
struct FrameArrays {
    cxBitmap **bitmaps = nullptr, **masks = nullptr, **alphas = nullptr;
    uint32_t **raw = nullptr;
    int32_t *delays = nullptr;
    bool Alloc(int32_t n, bool withRaw) {
        const size_t count = size_t(n > 0 ? n : 1);
        bitmaps = static_cast<cxBitmap **>(calloc(count, sizeof(cxBitmap *)));
        masks = static_cast<cxBitmap **>(calloc(count, sizeof(cxBitmap *)));
        alphas = static_cast<cxBitmap **>(calloc(count, sizeof(cxBitmap *)));
        delays = static_cast<int32_t *>(malloc(count * sizeof(int32_t)));
        if (withRaw) raw = static_cast<uint32_t **>(calloc(count, sizeof(uint32_t *)));
        if (!bitmaps || !masks || !alphas || !delays || (withRaw && !raw)) {
            Release();
            return false;
        }
        return true;
    }
    void Release() {
        free(bitmaps), free(masks), free(alphas), free(raw), free(delays);
        bitmaps = masks = alphas = nullptr;
        raw = nullptr;
        delays = nullptr;
    }
};

bool OutputIsThisAnim(cxObjectID id) {
    cxObjectID selected{};
    return GetSelectedAnim(&selected, nullptr) && selected.number == id.number && selected.pointer == id.pointer;
}

}  // namespace

extern "C" cxAnim *GetFirstAnim(void) { return reinterpret_cast<cxAnim *>(g_anims.first); }

extern "C" cxObjectList *GetAnimList(void) {
    RegisterObjectList(&g_anims);
    return &g_anims;
}

extern "C" void LoaderListOf(uintptr_t loader, char *out, size_t size) {
    snprintf(out, size, "%s", GetLoaderName(loader));
}

extern "C" int MakeFrameBitmaps(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength,
                                int32_t transparentColour, int alpha, cxBitmap **bitmap, cxBitmap **mask,
                                cxBitmap **outAlpha) {
    *bitmap = *mask = *outAlpha = nullptr;
    if (alpha && !(*outAlpha = MakeAlphaFromARGB(pixels, width, height, rowLength))) return ERR_ALLOCALPHA;
    if (int err = MakeBitmapFromARGB(pixels, transparentColour, width, height, rowLength, bitmap, mask)) {
        FreeAlphaChannel(*outAlpha);
        *outAlpha = nullptr;
        return err;
    }
    return 0;
}

extern "C" int FindAnim(lua_State *L, cxObjectID id, cxAnim **out, uint32_t flags) {
    *out = nullptr;
    cxAnim *found = nullptr;
    for (cxAnim *a = GetFirstAnim(); a; a = Next(a)) {
        if (!ObjectHasID(&a->header, id)) continue;
        if (a->pendingFree && !(flags & CX_ANIM_PENDING)) continue;
        found = a;
        break;
    }
    if (!found) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorNumber(id.number);
        return ERR_FINDANIM;
    }
    if ((flags & CX_ANIM_WRITE) && found->lockCount > 0) return ERR_LOCKEDOBJ;
    if ((flags & CX_ANIM_WRITE) && !(flags & CX_ANIM_NOCOPY)) {
        void *copy = nullptr;
        if (int err = CopyOnWrite(L, CX_OBJ_ANIM, id, &found->layerUses, CopyForLayers, found, &copy, UsesOf))
            return err;
        if (copy) static_cast<cxAnim *>(copy)->pendingFree = 1;
    }
    *out = found;
    return 0;
}

extern "C" int AddAnimRecord(cxObjectID *id, int32_t width, int32_t height, uint32_t **raw, cxBitmap **bitmaps,
                             cxBitmap **masks, cxBitmap **alphas, int32_t frameCount, int32_t transparentColour,
                             uint32_t loadAlpha, uint32_t diskBased, int32_t deinterlace, cxAnim **out) {
    if (out) *out = nullptr;
    auto *a = static_cast<cxAnim *>(calloc(1, sizeof(cxAnim)));
    const size_t n = size_t(frameCount > 0 ? frameCount : 1);
    auto *delays = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    if (!a || !delays) {
        free(a);
        free(delays);
        return ERR_MEM;
    }
    for (size_t i = 0; i < n; ++i) delays[i] = CX_ANIM_DELAY_DEFAULT;
    const bool automatic = id->pointer != nullptr;
    InitObjectHeader(&a->header, CX_OBJ_ANIM, automatic ? 0 : id->number, automatic);
    if (automatic) *id = GetObjectID(&a->header);
    a->width = a->frameWidth = width;
    a->height = a->frameHeight = height;
    a->frames = frameCount;
    a->diskBased = diskBased;
    a->transparentColour = transparentColour;
    a->loadAlpha = loadAlpha;
    a->deinterlace = deinterlace;
    a->bitmaps = bitmaps;
    a->masks = masks;
    a->alphas = alphas;
    a->raw = raw;
    a->delays = delays;
    GetAnimList();
    AddObject(&g_anims, &a->header);
    if (out) *out = a;
    return 0;
}

extern "C" void DestroyAnim(lua_State *L, cxAnim *a) {
    if (!a) return;
    RemoveObject(&g_anims, &a->header);
    for (int32_t i = 0; i < a->frames; ++i) {
        if (a->bitmaps) FreeBitmap(a->bitmaps[i]);
        if (a->masks) FreeMask(a->masks[i]);
        if (a->alphas) FreeAlphaChannel(a->alphas[i]);
        if (a->raw) FreeRaw(a, a->raw[i]);
    }
    free(a->bitmaps);
    free(a->masks);
    free(a->alphas);
    free(a->raw);
    free(a->delays);
    free(a->file);
    CloseAnimReader(a->reader);
    if (L) FreeObjectDataList(L, a->header.data);
    free(a);
}

extern "C" int FreeAnimByID(lua_State *L, cxObjectID id, int reportMissing) {
    if (OutputIsThisAnim(id)) return ERR_MODIFYAANIM;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, CX_ANIM_WRITE | CX_ANIM_NOCOPY))
        return (reportMissing || err == ERR_LOCKEDOBJ) ? err : 0;
    if (a->layerUses > 0) {
        // The layers keep it; the script's number is free at once.
        const cxObjectID own{0, a};
        RedirectLayers(L, CX_OBJ_ANIM, id, own);
        a->header.idNumber = 0;
        a->header.idPointer = a;
        a->pendingFree = 1;
        return 0;
    }
    DestroyAnim(L, a);
    return 0;
}

extern "C" int RealizeAnim(cxAnim *a) {
    if (!a->raw || a->diskBased) return 0;
    for (int32_t i = 0; i < a->frames; ++i) {
        if (a->bitmaps[i] || !a->raw[i]) continue;
        cxBitmap *b = nullptr, *m = nullptr, *unused = nullptr;
        if (int err = MakeFrameBitmaps(a->raw[i], a->frameWidth, a->frameHeight, a->frameWidth, a->transparentColour,
                                       0, &b, &m, &unused))
            return err;
        a->bitmaps[i] = b;
        a->masks[i] = m;
        FreeRaw(a, a->raw[i]);
        a->raw[i] = nullptr;
    }
    free(a->raw);
    a->raw = nullptr;
    CloseAnimReader(a->reader);
    a->reader = nullptr;
    return 0;
}

extern "C" int RealizePendingAnims(lua_State *) {
    for (cxAnim *a = GetFirstAnim(); a; a = Next(a))
        if (int err = RealizeAnim(a)) return err;
    return 0;
}

extern "C" int GetAnimFrameBitmaps(cxAnim *a, int32_t n, int copy, int keepFrameSize, cxBitmap **bitmap,
                                   cxBitmap **mask, cxBitmap **alpha) {
    *bitmap = *mask = *alpha = nullptr;
    if (n < 0 || n >= a->frames) return ERR_ANIMFRAME;
    if (a->diskBased) {
        int transparent = 0;
        uint32_t *px = ReadAnimReaderFrame(a->reader, n, int(a->loadAlpha), &transparent);
        if (!px) return ERR_LOADFRAME;
        if (a->loadTransparency && !transparent) {
            FreeAnimReaderFrame(a->reader, px);
            SetErrorDetail(a->file);
            return ERR_NOTRANSPARENCY;
        }
        cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
        const int err = MakeFrameBitmaps(px, a->frameWidth, a->frameHeight, a->frameWidth, a->transparentColour,
                                         a->loadAlpha || transparent, &b, &m, &al);
        FreeAnimReaderFrame(a->reader, px);
        if (err) return err;
        if (!keepFrameSize && (a->frameWidth != a->width || a->frameHeight != a->height)) {
            cxBitmap *sb = nullptr, *sm = nullptr, *sa = nullptr;
            const int serr = ScaleBitmapFx(b, m, al, 0, 0, a->frameWidth, a->frameHeight, a->width, a->height,
                                           int32_t(a->smoothScale), &sb, &sm, &sa);
            FreeSet(b, m, al);
            if (serr) return serr;
            b = sb, m = sm, al = sa;
        }
        *bitmap = b, *mask = m, *alpha = al;
        return 0;
    }
    if (!a->bitmaps[n]) {
        if (int err = RealizeAnim(a)) return err;
        if (!a->bitmaps[n]) return ERR_BITMAP;
    }
    if (!copy) {
        *bitmap = a->bitmaps[n], *mask = a->masks[n], *alpha = a->alphas[n];
        return 0;
    }
    cxBitmap *b = DuplicateBitmap(a->bitmaps[n], a->width, a->height);
    if (!b) return ERR_BITMAP;
    cxBitmap *m = a->masks[n] ? DuplicateMask(a->masks[n], b, a->width, a->height) : nullptr;
    cxBitmap *al = a->alphas[n] ? DuplicateAlpha(a->alphas[n], a->width, a->height) : nullptr;
    if ((a->masks[n] && !m) || (a->alphas[n] && !al)) {
        FreeSet(b, m, al);
        return a->masks[n] && !m ? ERR_ALLOCMASK : ERR_ALLOCALPHA;
    }
    *bitmap = b, *mask = m, *alpha = al;
    return 0;
}

extern "C" int32_t GetAnimFrameDelay(cxAnim *a, int32_t n) {
    if (!a || n < 0 || n >= a->frames) return 0;
    const int32_t d = a->delays[n];
    if (d != CX_ANIM_DELAY_DEFAULT) return d;
    return a->diskBased ? GetAnimReaderDelay(a->reader, n) : 0;
}

extern "C" int CopyAnimRecord(lua_State *L, cxAnim *src, cxObjectID newId, cxAnim **out) {
    *out = nullptr;
    if (!src->diskBased && src->raw) {
        if (int err = RealizeAnim(src)) return err;
    }
    cxObjectData *data = nullptr;
    if (int err = CopyObjectDataList(L, src->header.data, &data)) return err;
    FrameArrays f;
    cxAnimReader *reader = nullptr;
    char *file = nullptr;
    int err = 0;
    if (!f.Alloc(src->frames, false)) err = ERR_MEM;
    if (!err && src->diskBased) {
        // A disk anim reads its file through a reader of its own.
        file = strdup(src->file ? src->file : "");
        if (!file) err = ERR_MEM;
        char loaders[256];
        LoaderListOf(src->loader, loaders, sizeof loaders);
        int w = 0, h = 0, n = 0;
        if (!err) err = OpenAnimFile(src->file, loaders, src->adapters, src->deinterlace, int(src->loadTransparency),
                                     &reader, &w, &h, &n, nullptr, nullptr);
        if (!err && (w != src->frameWidth || h != src->frameHeight || n != src->frames)) err = ERR_LOADFRAME;
    }
    for (int32_t i = 0; !err && !src->diskBased && i < src->frames; ++i)
        err = GetAnimFrameBitmaps(src, i, 1, 0, &f.bitmaps[i], &f.masks[i], &f.alphas[i]);
    cxAnim *a = nullptr;
    if (!err) err = AddAnimRecord(&newId, src->width, src->height, nullptr, f.bitmaps, f.masks, f.alphas, src->frames,
                                  src->transparentColour, src->loadAlpha, src->diskBased, src->deinterlace, &a);
    if (err) {
        for (int32_t i = 0; f.bitmaps && i < src->frames; ++i) FreeSet(f.bitmaps[i], f.masks[i], f.alphas[i]);
        f.Release();
        CloseAnimReader(reader);
        free(file);
        FreeObjectDataList(L, data);
        return err;
    }
    free(f.delays);
    memcpy(a->delays, src->delays, size_t(src->frames) * sizeof(int32_t));
    a->frameWidth = src->frameWidth;
    a->frameHeight = src->frameHeight;
    a->smoothScale = src->smoothScale;
    a->reader = reader;
    a->file = file;
    a->loader = src->loader;
    memcpy(a->adapters, src->adapters, sizeof a->adapters);
    a->loadTransparency = src->loadTransparency;
    a->header.data = data;
    *out = a;
    return 0;
}

extern "C" int ModifyAnimFramesCore(lua_State *L, cxObjectID id, int32_t count, int32_t position, int fromLayer) {
    cxAnim *a = nullptr;
    // A layer changes the copy it already made its own: no copy again.
    if (int err = FindAnim(L, id, &a, CX_ANIM_WRITE | (fromLayer ? CX_ANIM_PENDING | CX_ANIM_NOCOPY : 0u))) return err;
    if (a->diskBased) return ERR_ANIMDISK;
    if (count == 0 || position < 0 || (count < 0 && int64_t(count) <= -int64_t(a->frames))) return ERR_WRONGUSAGE;
    if (count < 0 && position != 0 && int64_t(position) - count > int64_t(a->frames) + 1) return ERR_WRONGUSAGE;
    if (count > 0 && int64_t(a->frames) + count > INT32_MAX / int64_t(sizeof(void *))) return ERR_MEM;
    if (position > a->frames + 1) position = 0;
    if (int err = RealizeAnim(a)) return err;
    const int32_t total = a->frames + count;
    FrameArrays f;
    if (!f.Alloc(total, false)) return ERR_MEM;
    if (count > 0) {
        // Blank frames of colour 0, with the kind of transparency the first
        // frame has, all visible.
        const int32_t at = position == 0 ? a->frames : position - 1;
        const bool mask = a->masks[0] != nullptr, alpha = a->alphas[0] != nullptr;
        int err = 0;
        for (int32_t i = 0; i < count && !err; ++i) {
            cxBitmap *b = AllocBitmap(a->width, a->height, CX_ALLOC_CLEAR, 0), *m = nullptr, *al = nullptr;
            if (!b) {
                err = ERR_BITMAP;
                break;
            }
            FillRect(b, 0, 0, a->width, a->height, 0);
            if (mask) {
                if (!(m = AllocMask(b, a->width, a->height, 1, nullptr, 0))) err = ERR_ALLOCMASK;
                else FillMaskRect(m, 0, 0, a->width, a->height, CX_MASKVISIBLE);
            }
            if (!err && alpha) {
                if (!(al = AllocAlphaChannel(a->width, a->height, 1, nullptr, 0))) err = ERR_ALLOCALPHA;
                else FillAlphaRect(al, 0, 0, a->width, a->height, 255);
            }
            f.bitmaps[at + i] = b, f.masks[at + i] = m, f.alphas[at + i] = al;
            f.delays[at + i] = CX_ANIM_DELAY_DEFAULT;
        }
        if (err) {
            for (int32_t i = 0; i < count; ++i) FreeSet(f.bitmaps[at + i], f.masks[at + i], f.alphas[at + i]);
            f.Release();
            return err;
        }
        for (int32_t i = 0, o = 0; i < a->frames; ++i, ++o) {
            if (o == at) o += count;
            f.bitmaps[o] = a->bitmaps[i], f.masks[o] = a->masks[i], f.alphas[o] = a->alphas[i];
            f.delays[o] = a->delays[i];
        }
    } else {
        const int32_t remove = -count;
        const int32_t from = position == 0 ? a->frames - remove : position - 1;
        for (int32_t i = 0, o = 0; i < a->frames; ++i) {
            if (i >= from && i < from + remove) {
                FreeSet(a->bitmaps[i], a->masks[i], a->alphas[i]);
                continue;
            }
            f.bitmaps[o] = a->bitmaps[i], f.masks[o] = a->masks[i], f.alphas[o] = a->alphas[i];
            f.delays[o] = a->delays[i];
            ++o;
        }
    }
    free(a->bitmaps), free(a->masks), free(a->alphas), free(a->delays);
    a->bitmaps = f.bitmaps, a->masks = f.masks, a->alphas = f.alphas, a->delays = f.delays;
    a->frames = total;
    return 0;
}

extern "C" void AddAnimLayerUse(cxAnim *a) {
    if (a) a->layerUses++;
}

extern "C" void DropAnimLayerUse(lua_State *L, cxAnim *a) {
    if (!a || a->layerUses <= 0) return;
    if (--a->layerUses == 0 && a->pendingFree) DestroyAnim(L, a);
}

extern "C" void PurgePendingAnims(lua_State *L) {
    for (cxAnim *a = GetFirstAnim(); a;) {
        cxAnim *next = Next(a);
        if (a->pendingFree && a->layerUses <= 0) DestroyAnim(L, a);
        a = next;
    }
}

extern "C" void FreeAllAnims(lua_State *L) {
    while (cxAnim *a = GetFirstAnim()) DestroyAnim(L, a);
}
