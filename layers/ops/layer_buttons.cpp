#include "layers/ops/layer_buttons.h"

#include "display/display_record.h"
#include "display/events/buttons.h"
#include "errors/error_codes.h"
#include "layers/core/collision.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_list.h"
#include "layers/ops/layer_changes.h"

namespace {

lua_State *g_state = nullptr;

int Find(lua_State *L, cxDisplay *d, int index, void **out) {
    *out = nullptr;
    if (!d->layersOn || !d->bgpic) return ERR_NOLAYERS;
    int32_t pos = 0;
    if (int err = FindLayer(L, index, d->bgpic, &pos)) return err;
    cxLayer *l = nullptr;
    if (int err = LayerAtPosition(d->bgpic, pos, &l)) return err;
    *out = l;
    return 0;
}

// The point on the layer's box (right and bottom edges excluded), inside
// its clip region and its shape, and with exact on a pixel its mask or
// alpha channel shows.
int Hit(void *layer, int32_t x, int32_t y, int exact) {
    auto *l = static_cast<cxLayer *>(layer);
    if (l->type == CX_LAYER_NOOBJECT) return 0;
    cxCollisionObject o{};
    if (exact) {
        if (GetLayerCollisionObject(g_state, l, &o)) return 0;
    } else {
        const cxLayerState *s = l->display;
        o.x = s->drawX, o.y = s->drawY, o.width = s->width, o.height = s->height;
        if (s->clip) {
            int32_t shiftX = 0, shiftY = 0;
            if (!ClipRectToRegion(s->clip, &o.x, &o.y, &shiftX, &shiftY, &o.width, &o.height)) return 0;
            o.clip = s->clip;
        }
    }
    const cxCollisionObject point{x, y, 1, 1, nullptr, nullptr, 0, 0, nullptr};
    return TestMaskCollision(&o, &point);
}

int Hidden(const void *layer) { return IsLayerDrawn(static_cast<const cxLayer *>(layer)) ? 0 : 1; }

void Bind(void *layer, cxBGPicButton *button) { static_cast<cxLayer *>(layer)->button = button; }

}  // namespace

extern "C" void InstallLayerButtonHooks(lua_State *L) {
    g_state = L;
    const cxLayerButtonHooks hooks{Find, Hit, Hidden, Bind};
    SetLayerButtonHooks(&hooks);
}

extern "C" void RemoveLayerButtonHooks(void) {
    SetLayerButtonHooks(nullptr);
    g_state = nullptr;
}
