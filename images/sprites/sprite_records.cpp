// The sprite list: records, lookup, links, copies, frames and freeing.
#include <cstdlib>
#include <cstring>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/bgpics/bgpic.h"
#include "images/core/argb_bitmaps.h"
#include "images/sprites/sprite.h"

namespace {

cxObjectList g_sprites = {CX_OBJ_SPRITE, ERR_FINDSPRITE, nullptr, nullptr};

cxSprite *Next(const cxSprite *s) { return reinterpret_cast<cxSprite *>(s->header.next); }

template <class T>
T **NewArray(int32_t n) {
    return static_cast<T **>(calloc(size_t(n > 0 ? n : 1), sizeof(T *)));
}

void FreeFrames(cxSprite *s) {
    for (int32_t i = 0; !s->group && i < s->frames; ++i) {
        if (s->bitmaps) FreeBitmap(s->bitmaps[i]);
        if (s->masks) FreeMask(s->masks[i]);
        if (s->alphas) FreeAlphaChannel(s->alphas[i]);
        if (s->raw) free(s->raw[i]);
    }
    free(s->bitmaps), free(s->masks), free(s->alphas), free(s->raw);
    free(s->group);
    s->bitmaps = s->masks = s->alphas = nullptr;
    s->raw = nullptr;
    s->group = nullptr;
}

void Destroy(lua_State *L, cxSprite *s) {
    RemoveObject(&g_sprites, &s->header);
    FreeFrames(s);
    if (L) FreeObjectDataList(L, s->header.data);
    free(s);
}

// Every BGPic a sprite can be shown on: the listed ones and the displays'
// own pictures.
template <class F>
void ForEachBGPic(F f) {
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) f(b);
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic && d->bgpic->ownedByDisplay) f(d->bgpic);
}

// Takes the sprite off every BGPic; what the shown ones showed of it is
// repainted.
void TakeOffScreens(lua_State *L, const cxSprite *s) {
    ForEachBGPic([&](cxBGPic *b) {
        auto **link = reinterpret_cast<cxSpriteDrawNode **>(&b->onScreen);
        while (cxSpriteDrawNode *n = *link) {
            if (n->sprite != s) {
                link = &n->next;
                continue;
            }
            *link = n->next;
            for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
                if (d->bgpic == b) RepaintDisplayRect(L, d, n->x, n->y, n->width, n->height);
            free(n);
        }
    });
}

bool HasMember(const cxSprite *link, const cxSprite *member) {
    for (cxSprite *const *m = link->group; m && *m; ++m)
        if (*m == member) return true;
    return false;
}

// Bitmaps for the raw frames of a plain sprite (a display exists).
int Realize(cxSprite *s) {
    if (s->group || !s->raw) return 0;
    for (int32_t i = 0; i < s->frames; ++i) {
        if (!s->raw[i]) continue;
        if (!s->bitmaps[i]) {
            cxBitmap *mask = nullptr;
            if (int err = MakeBitmapFromARGB(s->raw[i], s->transparentColour, s->width, s->height, s->width,
                                             &s->bitmaps[i], s->masks[i] ? nullptr : &mask))
                return err;
            if (mask) s->masks[i] = mask;
        }
        free(s->raw[i]);
        s->raw[i] = nullptr;
    }
    free(s->raw);
    s->raw = nullptr;
    return 0;
}

}  // namespace

extern "C" cxSprite *GetFirstSprite(void) { return reinterpret_cast<cxSprite *>(g_sprites.first); }

extern "C" cxObjectList *GetSpriteList(void) {
    RegisterObjectList(&g_sprites);
    return &g_sprites;
}

extern "C" int FindSprite(lua_State *, cxObjectID id, cxSprite **out, uint32_t flags) {
    *out = nullptr;
    for (cxSprite *s = GetFirstSprite(); s; s = Next(s)) {
        if (!ObjectHasID(&s->header, id)) continue;
        if ((flags & CX_FINDSPRITE_WRITE) && s->locked) return ERR_LOCKEDOBJ;
        *out = s;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDSPRITE;
}

extern "C" int AddSpriteRecord(cxObjectID *id, int32_t frames, int32_t width, int32_t height, cxBitmap **bitmaps,
                               cxBitmap **masks, cxBitmap **alphas, uint32_t **raw, int32_t transparentColour,
                               cxSprite **out) {
    if (out) *out = nullptr;
    if (frames < 1 || width < 1 || height < 1) return ERR_WRONGUSAGE;
    auto *s = static_cast<cxSprite *>(calloc(1, sizeof(cxSprite)));
    bool anyRaw = false;
    for (int32_t i = 0; raw && i < frames; ++i) anyRaw = anyRaw || raw[i];
    if (s) {
        s->bitmaps = NewArray<cxBitmap>(frames);
        s->masks = NewArray<cxBitmap>(frames);
        s->alphas = NewArray<cxBitmap>(frames);
        if (anyRaw) s->raw = NewArray<uint32_t>(frames);
    }
    if (!s || !s->bitmaps || !s->masks || !s->alphas || (anyRaw && !s->raw)) {
        if (s) free(s->bitmaps), free(s->masks), free(s->alphas), free(s->raw);
        free(s);
        return ERR_MEM;
    }
    const bool automatic = id->pointer != nullptr;
    InitObjectHeader(&s->header, CX_OBJ_SPRITE, automatic ? 0 : id->number, automatic);
    if (automatic) *id = GetObjectID(&s->header);
    s->width = width, s->height = height, s->frames = frames;
    s->transparentColour = transparentColour;
    for (int32_t i = 0; i < frames; ++i) {
        s->bitmaps[i] = bitmaps ? bitmaps[i] : nullptr;
        s->masks[i] = masks ? masks[i] : nullptr;
        s->alphas[i] = alphas ? alphas[i] : nullptr;
        if (s->raw) s->raw[i] = raw[i];
    }
    AddObject(&g_sprites, &s->header);
    if (out) *out = s;
    return 0;
}

extern "C" int AddSpriteLink(cxObjectID *id, cxSprite *const *members, int32_t count, cxSprite **out) {
    if (out) *out = nullptr;
    if (count < 1) return ERR_MISSINGPARAMTR;
    int64_t frames = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (members[i]->group) return ERR_SPRITELINK;
        if (members[i]->width != members[0]->width || members[i]->height != members[0]->height)
            return ERR_WRONGSPRITESIZE;
        frames += members[i]->frames;
    }
    if (frames > INT32_MAX) return ERR_MEM;
    auto *s = static_cast<cxSprite *>(calloc(1, sizeof(cxSprite)));
    auto **group = static_cast<cxSprite **>(calloc(size_t(count) + 1, sizeof(cxSprite *)));
    if (!s || !group) {
        free(s), free(group);
        return ERR_MEM;
    }
    memcpy(group, members, size_t(count) * sizeof(cxSprite *));
    const bool automatic = id->pointer != nullptr;
    InitObjectHeader(&s->header, CX_OBJ_SPRITE, automatic ? 0 : id->number, automatic);
    if (automatic) *id = GetObjectID(&s->header);
    s->width = members[0]->width, s->height = members[0]->height;
    s->frames = int32_t(frames);
    s->transparentColour = -1;
    s->group = group;
    AddObject(&g_sprites, &s->header);
    if (out) *out = s;
    return 0;
}

extern "C" int CopySpriteRecord(lua_State *L, const cxSprite *src, cxObjectID newId, cxSprite **out) {
    *out = nullptr;
    cxObjectData *data = nullptr;
    if (int err = CopyObjectDataList(L, src->header.data, &data)) return err;
    cxSprite *copy = nullptr;
    int err = 0;
    if (src->group) {
        int32_t count = 0;
        while (src->group[count]) ++count;
        err = AddSpriteLink(&newId, src->group, count, &copy);
    } else {
        const int32_t n = src->frames;
        cxBitmap **b = NewArray<cxBitmap>(n), **m = NewArray<cxBitmap>(n), **a = NewArray<cxBitmap>(n);
        uint32_t **raw = src->raw ? NewArray<uint32_t>(n) : nullptr;
        err = (!b || !m || !a || (src->raw && !raw)) ? ERR_MEM : 0;
        const size_t bytes = size_t(src->width) * size_t(src->height) * sizeof(uint32_t);
        for (int32_t i = 0; !err && i < n; ++i) {
            if (src->raw && src->raw[i]) {
                if (!(raw[i] = static_cast<uint32_t *>(malloc(bytes)))) err = ERR_MEM;
                else memcpy(raw[i], src->raw[i], bytes);
            }
            if (!err && src->masks[i] && !src->bitmaps[i]) {
                err = ERR_BITMAP;  // a mask without its bitmap never happens; refuse it all the same
            } else if (!err && src->bitmaps[i]) {
                err = ConvertBitmapFx(src->bitmaps[i], src->masks[i], src->alphas[i], 0, 0, src->width, src->height,
                                      &b[i], src->masks[i] ? &m[i] : nullptr, src->alphas[i] ? &a[i] : nullptr);
            } else if (!err && src->alphas[i]) {
                if (!(a[i] = CopyAlphaChannel(src->alphas[i], src->width, src->height))) err = ERR_ALLOCALPHA;
            }
        }
        if (!err) err = AddSpriteRecord(&newId, n, src->width, src->height, b, m, a, raw, src->transparentColour, &copy);
        if (err) {
            for (int32_t i = 0; i < n; ++i) {
                if (b) FreeBitmap(b[i]);
                if (m) FreeMask(m[i]);
                if (a) FreeAlphaChannel(a[i]);
                if (raw) free(raw[i]);
            }
        }
        free(b), free(m), free(a), free(raw);
    }
    if (err) {
        FreeObjectDataList(L, data);
        return err;
    }
    copy->header.data = data;
    *out = copy;
    return 0;
}

extern "C" int IsSpriteLinked(const cxSprite *sprite) {
    for (cxSprite *s = GetFirstSprite(); s; s = Next(s))
        if (HasMember(s, sprite)) return 1;
    return 0;
}

extern "C" int FreeSpriteByID(lua_State *L, cxObjectID id, int reportNotFound) {
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, CX_FINDSPRITE_WRITE)) return (reportNotFound || err == ERR_LOCKEDOBJ) ? err : 0;
    // The links that hold it go with it; a locked one keeps everything.
    for (cxSprite *l = GetFirstSprite(); l; l = Next(l))
        if (HasMember(l, s) && l->locked) return ERR_LOCKEDOBJ;
    TakeOffScreens(L, s);
    for (cxSprite *l = GetFirstSprite(); l;) {
        cxSprite *next = Next(l);
        if (HasMember(l, s)) {
            TakeOffScreens(L, l);
            Destroy(L, l);
        }
        l = next;
    }
    Destroy(L, s);
    return 0;
}

extern "C" void FreeAllSprites(lua_State *L) {
    // Nodes still pointing at sprites go first (BGPics freed later keep none).
    ForEachBGPic([](cxBGPic *b) {
        auto **link = reinterpret_cast<cxSpriteDrawNode **>(&b->onScreen);
        while (cxSpriteDrawNode *n = *link) {
            if (n->sprite) {
                *link = n->next;
                free(n);
            } else {
                link = &n->next;
            }
        }
    });
    while (cxSprite *s = GetFirstSprite()) Destroy(L, s);
}

extern "C" int GetSpriteFrame(cxSprite *s, int32_t index, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha) {
    *bitmap = *mask = *alpha = nullptr;
    if (index < 0 || index >= s->frames) return ERR_ANIMFRAME;
    if (s->group) {
        for (cxSprite **m = s->group; *m; ++m) {
            if (index < (*m)->frames) return GetSpriteFrame(*m, index, bitmap, mask, alpha);
            index -= (*m)->frames;
        }
        return ERR_ANIMFRAME;
    }
    if (!s->bitmaps[index]) {
        if (int err = Realize(s)) return err;
        if (!s->bitmaps[index]) return ERR_BITMAP;
    }
    *bitmap = s->bitmaps[index], *mask = s->masks[index], *alpha = s->alphas[index];
    return 0;
}

extern "C" int RealizePendingSprites(lua_State *) {
    for (cxSprite *s = GetFirstSprite(); s; s = Next(s))
        if (int err = Realize(s)) return err;
    return 0;
}
