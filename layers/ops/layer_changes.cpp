#include "layers/ops/layer_changes.h"

#include <cmath>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_list.h"

namespace {

constexpr uint32_t kOutDisplay = 21, kOutLayers = 1;

int32_t Sat(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v); }

}  // namespace

extern "C" cxDirtyRects *BeginLayerChanges(void) {
    cxDirtyRects *r = GetLayerDirtyRects();
    r->count = 0;
    return r;
}

extern "C" void EndLayerChanges(lua_State *L, cxDirtyRects *r) {
    cxDisplay *d = GetCurrentDisplay();
    if (d && r->count) {
        if (d->targetKind == kOutDisplay) {
            FlushDirtyRects(L, r);
        } else if (d->targetKind == kOutLayers && GetDisplayLayerBGPic(d) == d->bgpic) {
            if (DirtyRectsFull(r)) {
                QueueDirtyRect(0, 0, INT32_MAX, INT32_MAX);
            } else {
                cxDirtyRects *shown = GetDisplayDirtyRects(d);
                for (uint32_t i = 0; i < r->count; ++i) {
                    const cxDirtyBox &b = r->boxes[i];
                    if (b.x1 != CX_DIRTY_MERGED)
                        QueueDirtyBox(shown, b.x1, b.y1, Sat(int64_t(b.x2) - b.x1 + 1), Sat(int64_t(b.y2) - b.y1 + 1));
                }
            }
        }
    }
    r->count = 0;
}

extern "C" int IsLayerDrawn(const cxLayer *l) {
    return !l->hidden && !l->suppressed && l->type != CX_LAYER_NOOBJECT;
}

extern "C" void QueueLayerBox(lua_State *L, cxDirtyRects *r, cxLayer *l) {
    if (IsLayerDrawn(l)) QueueLayerDirtyRect(L, r, l, l->display);
}

extern "C" int ReadLayerNumberArg(lua_State *L, int index, int optional, int32_t fallback, int32_t *out) {
    if (optional && lua_isnoneornil(L, index)) {
        *out = fallback;
        return 0;
    }
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return ERR_WRONGUSAGE;
    const double t = std::trunc(v);
    *out = t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int32_t(t);
    return 0;
}

extern "C" int LayerAtPosition(const cxBGPic *b, int32_t position, cxLayer **out) {
    *out = GetLayerByPos(b, position);
    return *out ? 0 : ERR_LAYERRANGE;
}
