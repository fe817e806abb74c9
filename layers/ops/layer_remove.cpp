#include "layers/ops/layer_remove.h"

#include <algorithm>
#include <vector>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/async_draw.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/ops/layer_changes.h"

namespace {

constexpr uint32_t kOutDisplay = 21, kOutLayers = 1;

bool SameID(cxObjectID a, cxObjectID b) { return a.number == b.number && a.pointer == b.pointer; }

}  // namespace

extern "C" int RemoveLayerList(lua_State *L, cxLayer **layers, int32_t count) {
    if (count < 1) return 0;
    std::vector<cxLayer *> unique;
    try {
        unique.assign(layers, layers + count);
    } catch (...) {
        return ERR_MEM;
    }
    for (cxLayer *l : unique)
        if (IsAsyncDrawObject(l)) return ERR_REMADLAYER;
    // A layer named twice is freed once.
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    cxBGPic *b = GetLayerBGPic(unique.front());
    cxDirtyRects *dirty = BeginLayerChanges();
    for (cxLayer *l : unique) UnlinkLayer(L, l, 0, nullptr, dirty, 1);
    MarkLayersChanged(b);
    EndLayerChanges(L, dirty);
    return 0;
}

extern "C" int FindLayerOfObject(lua_State *L, int32_t kind, cxObjectID id, int32_t level, int keepOnScreen,
                                 int32_t *outBox, cxDirtyRects *dirty) {
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    MarkLayersChanged(b);
    if (level < 1) return 0;
    int32_t seen = 0;
    for (cxLayer *l = LayerOfNode(b->layers.tail); l; l = PrevLayer(l)) {
        if (l->type != kind || !SameID(l->origin, id)) continue;
        if (++seen < level) continue;
        if (IsAsyncDrawObject(l)) return ERR_REMADLAYER;
        UnlinkLayer(L, l, keepOnScreen, outBox, dirty, 1);
        return 0;
    }
    return 0;
}

extern "C" int RemoveAllLayers(lua_State *L, int bake) {
    cxDisplay *d = nullptr;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(&d, &b)) return err;
    for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l))
        if (IsAsyncDrawObject(l)) return ERR_REMADLAYER;
    if (b != d->bgpic) {
        // A BGPic off the display: there is no picture to bake into.
        if (bake) return ERR_WRONGUSAGE;
        MarkLayersChanged(b);
        FreeAllLayers(L, b, 1, 1);
        return 0;
    }
    MarkLayersChanged(b);
    cxBitmap *comp = GetCompositionBuffer(L, d);
    // Without the buffers the layers cannot be baked: they stay.
    if (bake && (!comp || !d->picture)) return ERR_MEM;
    if (bake) {
        // The layers become part of the display's background copy; the
        // composition buffer then holds that with the sprites over it, as
        // the window does.
        RedrawLayersRect(L, d, b, comp, 0, 0, d->pictureWidth, d->pictureHeight, CX_REDRAW_NOSPRITES, nullptr);
        BltBitmap(comp, 0, 0, d->picture, 0, 0, std::min(comp->width, d->picture->width),
                  std::min(comp->height, d->picture->height));
        FreeAllLayers(L, b, 1, 1);
        RedrawLayersRect(L, d, b, comp, 0, 0, d->pictureWidth, d->pictureHeight, 0, nullptr);
        // Output to the BGPic: the window catches up at the next frame.
        if (d->targetKind == kOutLayers) QueueDirtyRect(0, 0, INT32_MAX, INT32_MAX);
        return 0;
    }
    FreeAllLayers(L, b, 1, 1);
    if (d->targetKind == kOutDisplay) RedrawWholeDisplay(L, d);
    else QueueDirtyRect(0, 0, INT32_MAX, INT32_MAX);
    return 0;
}
