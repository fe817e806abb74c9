#include "layers/core/layer_list.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "display/display_record.h"
#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/core/render_target.h"
#include "images/output/output_redirect.h"

namespace {

constexpr uint32_t kOutImage = 3, kOutMask = 28, kOutAlpha = 30, kOutLayers = 1;

cxLayer *First(const cxBGPic *b) { return b ? LayerOfNode(b->layers.head) : nullptr; }

bool NameIs(const char *name, const char *text) { return name && name[0] && StrCompareNoCase(name, text) == 0; }

}  // namespace

extern "C" int IsShapeLayerType(int32_t t) {
    return t == CX_LAYER_BOX || t == CX_LAYER_CIRCLE || t == CX_LAYER_ELLIPSE || t == CX_LAYER_LINE ||
           t == CX_LAYER_POLYGON || t == CX_LAYER_ARC;
}

extern "C" int IsTextLayerType(int32_t t) {
    return t == CX_LAYER_TEXTOBJECT || t == CX_LAYER_TEXTOUT || t == CX_LAYER_PRINT;
}

extern "C" cxBGPic *GetDisplayLayerBGPic(const cxDisplay *d) {
    if (!d) return nullptr;
    if (d->targetKind == kOutLayers)
        if (cxBGPic *b = GetLayersOutputBGPic(d)) return b;
    return d->bgpic;
}

extern "C" cxBGPic *GetLayerOutputBGPic(void) { return GetDisplayLayerBGPic(GetCurrentDisplay()); }

extern "C" int CheckLayerCommand(cxDisplay **outDisplay, cxBGPic **outBGPic) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    switch (d->targetKind) {
    case kOutImage: {
        // Double buffering also draws into an image; it is no selection.
        uint32_t kind = 0;
        if (GetSelectedKind(&kind)) return kind == CX_OBJ_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
        if (!d->doubleBuffer1) return ERR_SELECTBRUSH;
        break;
    }
    case kOutMask: return ERR_SELECTMASK;
    case kOutAlpha: return ERR_SELECTALPHACHANNEL;
    default: break;
    }
    if (!d->layersOn) return ERR_NOLAYERS;
    cxBGPic *b = GetDisplayLayerBGPic(d);
    if (!b) return ERR_NOLAYERS;
    if (outDisplay) *outDisplay = d;
    if (outBGPic) *outBGPic = b;
    return 0;
}

extern "C" int32_t CountLayers(const cxBGPic *b) { return b ? b->layers.count : 0; }

extern "C" cxLayer *GetLayerByPos(const cxBGPic *b, int32_t position) {
    if (!b || position < 1 || position > b->layers.count) return nullptr;
    // Walk from the nearer end.
    if (position > b->layers.count / 2) {
        cxLayer *l = LayerOfNode(b->layers.tail);
        for (int32_t n = b->layers.count; n > position; --n) l = PrevLayer(l);
        return l;
    }
    cxLayer *l = First(b);
    for (int32_t n = 1; n < position; ++n) l = NextLayer(l);
    return l;
}

extern "C" int32_t GetLayerListPos(const cxLayer *layer) {
    if (!layer || !layer->node.list) return -1;
    int32_t n = 1;
    for (const cxListNode *p = layer->node.prev; p; p = p->prev) ++n;
    return n;
}

extern "C" cxBGPic *GetLayerBGPic(const cxLayer *layer) {
    if (!layer || !layer->node.list) return nullptr;
    // The list is a member of the BGPic record.
    return reinterpret_cast<cxBGPic *>(reinterpret_cast<char *>(layer->node.list) - offsetof(cxBGPic, layers));
}

extern "C" int32_t GetLayerPos(const cxLayer *layer) {
    const cxBGPic *b = GetLayerOutputBGPic();
    if (!b || GetLayerBGPic(layer) != b) return -1;
    return GetLayerListPos(layer);
}

extern "C" int32_t FindLayerPosByName(const cxBGPic *b, const char *name) {
    if (!name) return 0;
    int32_t n = 1;
    for (cxLayer *l = First(b); l; l = NextLayer(l), ++n)
        if (NameIs(l->name, name)) return n;
    return 0;
}

extern "C" int FindLayer(lua_State *L, int index, const cxBGPic *b, int32_t *position) {
    switch (lua_type(L, index)) {
    case LUA_TNUMBER: {
        const double v = std::trunc(lua_tonumber(L, index));
        // Numbers beyond 32 bits name no layer: they saturate.
        *position = v != v ? 0 : v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : int32_t(v);
        return 0;
    }
    case LUA_TSTRING: {
        const char *name = lua_tostring(L, index);
        const int32_t pos = FindLayerPosByName(b, name);
        if (!pos) {
            SetErrorDetail(name);
            return ERR_FINDLAYER;
        }
        *position = pos;
        return 0;
    }
    default:
        SetErrorNumber(index);
        return ERR_STRORNUM;
    }
}

extern "C" int NextLayerOfArg(lua_State *L, int index, const cxBGPic *b, cxLayer **out, int32_t *member,
                              int *isGroup) {
    *out = nullptr;
    if (isGroup) *isGroup = 0;
    const int type = lua_type(L, index);
    if (type == LUA_TNUMBER || (type == LUA_TSTRING && FindLayerPosByName(b, lua_tostring(L, index)))) {
        int32_t pos = 0;
        if (int err = FindLayer(L, index, b, &pos)) return err;
        *member = -1;
        *out = GetLayerByPos(b, pos);
        return *out ? 0 : ERR_LAYERRANGE;
    }
    if (type != LUA_TSTRING) {
        SetErrorNumber(index);
        return ERR_STRORNUM;
    }
    // A group: the member of the given rank, back to front.
    const char *group = lua_tostring(L, index);
    int32_t rank = 0;
    cxLayer *found = nullptr, *next = nullptr;
    for (cxLayer *l = First(b); l; l = NextLayer(l)) {
        if (!l->group[0] || StrCompareNoCase(l->group, group) != 0) continue;
        if (found) {
            next = l;
            break;
        }
        if (rank == *member) found = l;
        ++rank;
    }
    if (!found) {
        SetErrorDetail(group);
        *member = -1;
        return ERR_FINDLAYER;
    }
    if (isGroup) *isGroup = 1;
    *member = next ? *member + 1 : -1;
    *out = found;
    return 0;
}

extern "C" int AssignLayerName(const cxBGPic *b, const cxLayer *self, char **name, const char *text) {
    if (strlen(text) > CX_LAYER_NAME_MAX) return ERR_NAMETOOLONG;
    for (cxLayer *l = First(b); l; l = NextLayer(l)) {
        if (l == self) continue;
        if (NameIs(l->name, text) || NameIs(l->group, text)) return ERR_NAMEUSED;
    }
    char *copy = strdup(text);
    if (!copy) return ERR_MEM;
    free(*name);
    *name = copy;
    return 0;
}

extern "C" int SetLayerListPos(cxLayer *layer, int32_t position) {
    cxList *list = layer->node.list;
    if (!list) return 0;
    const int32_t count = list->count;
    if (position == 1) {
        if (list->head == &layer->node) return 0;
        RemoveListNode(&layer->node);
        AddListHead(list, &layer->node);
        return 1;
    }
    if (position <= 0 || position >= count) {
        // 0 and positions beyond the last mean the front; the last itself too.
        if (list->tail == &layer->node) return 0;
        RemoveListNode(&layer->node);
        AddListTail(list, &layer->node);
        return 1;
    }
    const int32_t current = GetLayerListPos(layer);
    if (current == position) return 0;
    RemoveListNode(&layer->node);
    // Without the layer, the one now at position - 1 is its predecessor.
    cxListNode *pred = list->head;
    for (int32_t n = 1; n < position - 1 && pred; ++n) pred = pred->next;
    InsertListNode(list, &layer->node, position == 1 ? nullptr : pred);
    return 1;
}

extern "C" void CopyLayerStyle(cxLayer *dst, const cxLayer *src) {
    dst->hidden = src->hidden;
    dst->transparency = src->transparency;
    dst->shadow = src->shadow;
    dst->shadowFade = src->shadowFade;
    dst->border = src->border;
    dst->borderFade = src->borderFade;
    memcpy(dst->filters, src->filters, sizeof dst->filters);
    dst->movingFilters = src->movingFilters;
}

extern "C" int HasPixelMovingFilters(const cxLayer *l) {
    for (int slot : {CX_FILTER_PIXELATE, CX_FILTER_SWIRL, CX_FILTER_WATERRIPPLE, CX_FILTER_XFLIP, CX_FILTER_YFLIP})
        if (l->filters[slot].active) return 1;
    return 0;
}

extern "C" int LayerHasFilters(const cxLayer *l) {
    for (const cxFilter &f : l->filters)
        if (f.active) return 1;
    return 0;
}

extern "C" void MarkLayersChanged(cxBGPic *b) {
    if (b) b->layerWords[0] = 1;
}
extern "C" int LayersChanged(const cxBGPic *b) { return b && b->layerWords[0] ? 1 : 0; }
extern "C" void ClearLayersChanged(cxBGPic *b) {
    if (b) b->layerWords[0] = 0;
}
extern "C" cxClipRegion *GetBGPicClipRegion(const cxBGPic *b) {
    return b ? reinterpret_cast<cxClipRegion *>(b->layerWords[1]) : nullptr;
}
extern "C" void SetBGPicClipRegion(cxBGPic *b, cxClipRegion *region) {
    if (b) b->layerWords[1] = reinterpret_cast<uintptr_t>(region);
}
