#include "layers/core/layer_states.h"

#include <cstdlib>

#include "errors/error_codes.h"
#include "layers/core/clip_regions.h"
#include "layers/core/layer_content.h"

extern "C" void FreeBitmapTriple(cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha) {
    FreeBitmap(*bitmap);
    FreeMask(*mask);
    FreeAlphaChannel(*alpha);
    *bitmap = *mask = *alpha = nullptr;
}

extern "C" cxLayerState *NewLayerState(void) { return static_cast<cxLayerState *>(calloc(1, sizeof(cxLayerState))); }

extern "C" cxLayerState *CopyLayerStateGeometry(const cxLayerState *src, int *error) {
    *error = 0;
    cxLayerState *s = NewLayerState();
    if (!s) {
        *error = ERR_MEM;
        return nullptr;
    }
    s->x = src->x, s->y = src->y;
    s->srcWidth = src->srcWidth, s->srcHeight = src->srcHeight;
    s->drawX = src->drawX, s->drawY = src->drawY;
    s->anchoredX = src->anchoredX, s->anchoredY = src->anchoredY;
    s->width = src->width, s->height = src->height;
    s->partX = src->partX, s->partY = src->partY;
    if (src->clip) {
        s->clip = UseClipRegion(src->clip);
        if (!s->clip) {
            free(s);
            *error = ERR_MEM;
            return nullptr;
        }
    }
    return s;
}

extern "C" void FreeLayerContent(lua_State *, int32_t, cxLayerState *s) {
    if (!s) return;
    FreeBitmapTriple(&s->bitmap, &s->mask, &s->alpha);
    FreeBitmapTriple(&s->asyncBitmap, &s->asyncMask, &s->asyncAlpha);
    FreeBitmapTriple(&s->filteredBitmap, &s->filteredMask, &s->filteredAlpha);
    FreeBitmapTriple(&s->borderBitmap, &s->borderMask, &s->borderAlpha);
    FreeAlphaChannel(s->shadowAlpha);
    s->shadowAlpha = nullptr;
    ReleaseClipRegion(s->clip);
    s->clip = nullptr;
    free(s);
}

extern "C" void ForEachLayerState(cxLayer *l, void (*fn)(cxLayerState *, void *), void *user) {
    cxLayerState *seen[3] = {l->base, l->picture, l->display};
    for (int i = 0; i < 3; ++i) {
        if (!seen[i]) continue;
        bool earlier = false;
        for (int j = 0; j < i; ++j) earlier = earlier || seen[j] == seen[i];
        if (!earlier) fn(seen[i], user);
    }
}

extern "C" void FreeLayerStates(lua_State *L, cxLayer *l) {
    ForEachLayerState(
        l, [](cxLayerState *s, void *user) { FreeLayerContent(static_cast<lua_State *>(user), 0, s); }, L);
    l->base = l->picture = l->display = nullptr;
    FreeLayerOwnContent(l->type, l->content);
    l->content = nullptr;
    free(l->name);
    l->name = nullptr;
    if (L) FreeObjectDataList(L, l->data);
    l->data = nullptr;
}

extern "C" void FreeLayerStateBitmaps(cxLayer *l) {
    ForEachLayerState(
        l, [](cxLayerState *s, void *) { FreeBitmapTriple(&s->filteredBitmap, &s->filteredMask, &s->filteredAlpha); },
        nullptr);
}

extern "C" void FreeLayerStateExtras(cxLayer *l) {
    ForEachLayerState(
        l, [](cxLayerState *s, void *) { FreeBitmapTriple(&s->borderBitmap, &s->borderMask, &s->borderAlpha); },
        nullptr);
}

extern "C" void FreeLayerShadows(cxLayer *l) {
    ForEachLayerState(
        l,
        [](cxLayerState *s, void *) {
            FreeAlphaChannel(s->shadowAlpha);
            s->shadowAlpha = nullptr;
        },
        nullptr);
}

extern "C" void DropLayerLook(cxLayer *l) {
    FreeLayerStateBitmaps(l);
    FreeLayerStateExtras(l);
    FreeLayerShadows(l);
}
