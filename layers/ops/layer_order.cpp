#include "layers/ops/layer_order.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "display/display_record.h"
#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/geometry/geometry.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/ops/layer_changes.h"

namespace {

constexpr uint32_t kOutLayers = 1;

bool IsMoveCode(int64_t v) { return v == CX_LAYER_KEEP || (v >= CX_LAYER_RELATIVE_MIN && v <= CX_LAYER_RELATIVE_MAX); }

}  // namespace

extern "C" int CollectLayerArg(lua_State *L, int index, const cxBGPic *b, cxLayer ***out, int32_t *count,
                               int *isGroup) {
    *out = nullptr;
    *count = 0;
    if (isGroup) *isGroup = 0;
    const int type = lua_type(L, index);
    if (type == LUA_TNUMBER || (type == LUA_TSTRING && FindLayerPosByName(b, lua_tostring(L, index)))) {
        cxLayer *l = nullptr;
        int32_t member = 0;
        if (int err = NextLayerOfArg(L, index, b, &l, &member, nullptr)) return err;
        auto **one = static_cast<cxLayer **>(malloc(sizeof(cxLayer *)));
        if (!one) return ERR_MEM;
        one[0] = l;
        *out = one;
        *count = 1;
        return 0;
    }
    if (type != LUA_TSTRING) {
        SetErrorNumber(index);
        return ERR_STRORNUM;
    }
    // A group: one walk collects every member (a walk per member would be
    // quadratic in the group's size).
    const char *group = lua_tostring(L, index);
    std::vector<cxLayer *> members;
    try {
        for (cxLayer *l = b ? LayerOfNode(b->layers.head) : nullptr; l; l = NextLayer(l))
            if (l->group[0] && StrCompareNoCase(l->group, group) == 0) members.push_back(l);
    } catch (...) {
        return ERR_MEM;
    }
    if (members.empty()) {
        SetErrorDetail(group);
        return ERR_FINDLAYER;
    }
    auto **all = static_cast<cxLayer **>(malloc(sizeof(cxLayer *) * members.size()));
    if (!all) return ERR_MEM;
    std::copy(members.begin(), members.end(), all);
    *out = all;
    *count = int32_t(members.size());
    if (isGroup) *isGroup = 1;
    return 0;
}

extern "C" int SetLayerVisibility(lua_State *L, int index, int64_t x, int64_t y, int hide) {
    cxDisplay *d = nullptr;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(&d, &b)) return err;
    cxLayer **layers = nullptr;
    int32_t n = 0;
    int group = 0;
    if (int err = CollectLayerArg(L, index, b, &layers, &n, &group)) return err;

    // Where each member goes: keep and relative codes as they are; other
    // coordinates place a single layer's anchor point, or move a group so
    // that the box spanning its members starts there.
    uint32_t relative = 0;
    if (!hide && (!IsMoveCode(x) || !IsMoveCode(y))) {
        int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
        for (int32_t i = 0; i < n; ++i) {
            const cxLayerState *s = layers[i]->base;
            left = std::min<int64_t>(left, s->anchoredX);
            top = std::min<int64_t>(top, s->anchoredY);
            right = std::max<int64_t>(right, int64_t(s->anchoredX) + s->srcWidth);
            bottom = std::max<int64_t>(bottom, int64_t(s->anchoredY) + s->srcHeight);
        }
        const int32_t w = SaturateInt64(right - left), h = SaturateInt64(bottom - top);
        if (!group) {
            const cxLayer *l = layers[0];
            if (!IsMoveCode(x)) x = ResolveSpecialX(SaturateInt64(x), l->base->srcWidth, b->currentWidth, l->anchorX);
            if (!IsMoveCode(y)) y = ResolveSpecialY(SaturateInt64(y), l->base->srcHeight, b->currentHeight, l->anchorY);
        } else {
            if (!IsMoveCode(x)) {
                x = int64_t(ResolveSpecialX(SaturateInt64(x), w, b->currentWidth, 0)) - left;
                relative |= CX_MOVE_RELX;
            }
            if (!IsMoveCode(y)) {
                y = int64_t(ResolveSpecialY(SaturateInt64(y), h, b->currentHeight, 0)) - top;
                relative |= CX_MOVE_RELY;
            }
        }
    }
    if (hide) x = y = CX_LAYER_KEEP;

    MarkLayersChanged(b);
    // Output to the shown BGPic queues each box for the next frame; else
    // all of them are redrawn in one go.
    cxDirtyRects *dirty = d->targetKind == kOutLayers ? nullptr : BeginLayerChanges();
    for (int32_t i = 0; i < n; ++i) {
        cxLayer *l = layers[i];
        const bool wasDrawn = IsLayerDrawn(l);
        l->hidden = hide ? 1 : 0;
        // A layer that was not drawn and still is not needs no redraw.
        const bool noRefresh = !wasDrawn && !IsLayerDrawn(l);
        UpdateLayerPosition(L, l, nullptr, x, y, noRefresh, relative, dirty);
    }
    free(layers);
    if (dirty) EndLayerChanges(L, dirty);
    return 0;
}

extern "C" void SwapLayerPlaces(lua_State *L, cxLayer *a, cxLayer *b) {
    cxList *list = a->node.list;
    if (a == b || !list || list != b->node.list) return;
    cxListNode *na = &a->node, *nb = &b->node;
    if (na->next == nb) {
        RemoveListNode(na);
        InsertListNode(list, na, nb);
    } else if (nb->next == na) {
        RemoveListNode(nb);
        InsertListNode(list, nb, na);
    } else {
        cxListNode *aPrev = na->prev, *bPrev = nb->prev;
        RemoveListNode(na);
        InsertListNode(list, na, bPrev);
        RemoveListNode(nb);
        InsertListNode(list, nb, aPrev);
    }
    MarkLayersChanged(GetLayerBGPic(a));
    // Only what the two layers cover can change, but it changes wherever
    // either lies on the picture: each box is redrawn (cut to the picture).
    cxDirtyRects *dirty = BeginLayerChanges();
    QueueLayerBox(L, dirty, a);
    QueueLayerBox(L, dirty, b);
    EndLayerChanges(L, dirty);
}

extern "C" int MoveLayerInList(lua_State *L, cxLayer *l, int32_t position) {
    if (!SetLayerListPos(l, position)) return 0;
    MarkLayersChanged(GetLayerBGPic(l));
    if (IsLayerDrawn(l)) RefreshLayer(L, l, 0);
    return 1;
}
