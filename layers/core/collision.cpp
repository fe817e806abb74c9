#include "layers/core/collision.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/brushes/brush.h"
#include "layers/core/async_draw.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_list.h"

namespace {

cxSpriteCollisionHook g_spriteHook = nullptr;

// A locked mask, alpha channel or clip shape for the scan.
struct Plane {
    const uint8_t *pixels = nullptr;
    int32_t bytesPerRow = 0, width = 0, height = 0;
    int32_t originX = 0, originY = 0; // screen position of the plane's (0, 0)
    bool bits = false;                // a mask (else alpha bytes)
    cxOsBitmapLock lock{};
};

bool LockPlane(const cxBitmap *bm, bool bits, int32_t originX, int32_t originY, Plane *p) {
    if (!LockBitmap(bm, CX_LOCK_SOURCE, &p->lock)) {
        UnlockBitmap(&p->lock);
        return false;
    }
    p->pixels = p->lock.pixels;
    p->bytesPerRow = int32_t(p->lock.rowLength);
    p->width = std::min(bm->width, bits ? p->bytesPerRow * 8 : p->bytesPerRow);
    p->height = std::min(bm->height, p->lock.height);
    p->originX = originX, p->originY = originY;
    p->bits = bits;
    return true;
}

inline uint64_t Load64BE(const uint8_t *p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// A byte of a row, 0 beyond its end.
inline uint32_t ByteAt(const uint8_t *r, int64_t i, int32_t bytes) { return i >= 0 && i < bytes ? r[i] : 0u; }

// 64 mask bits from column c0 (>= 0) on, most significant first; bits
// beyond the row's bytes are 0.
inline uint64_t MaskWord(const uint8_t *r, int64_t c0, int32_t bytes) {
    const int64_t byte = c0 >> 3;
    const int s = int(c0 & 7);
    uint64_t w;
    if (byte + 8 <= bytes) {
        w = Load64BE(r + byte);
    } else {
        w = 0;
        for (int i = 0; i < 8; ++i) w = (w << 8) | ByteAt(r, byte + i, bytes);
    }
    if (s) w = (w << s) | (ByteAt(r, byte + 8, bytes) >> (8 - s));
    return w;
}

// The visibility of count pixels of a plane's row from column col, as bits
// from the most significant bit of words[0] on, ANDed into words. Pixels
// outside the plane are invisible.
void AndRow(const Plane &p, int32_t row, int64_t col, int32_t count, uint64_t *words) {
    const int32_t n = (count + 63) / 64;
    if (row < 0 || row >= p.height) {
        std::fill_n(words, n, 0);
        return;
    }
    const uint8_t *r = p.pixels + size_t(row) * size_t(p.bytesPerRow);
    // The part of the run inside the plane; outside it is cleared.
    const int64_t first = std::max<int64_t>(col, 0), last = std::min<int64_t>(col + count, p.width);
    if (first >= last) {
        std::fill_n(words, n, 0);
        return;
    }
    for (int32_t k = 0; k < n; ++k) {
        const int64_t c0 = col + int64_t(k) * 64;
        uint64_t w = 0;
        if (p.bits) {
            if (c0 >= 0) w = MaskWord(r, c0, p.bytesPerRow);
            else if (c0 > -64) w = MaskWord(r, 0, p.bytesPerRow) >> (-c0);
        } else if (c0 >= 0 && c0 + 64 <= p.width) {
            const uint8_t *a = r + c0;
            for (int j = 0; j < 64; ++j) w |= uint64_t(a[j] != 0) << (63 - j);
        } else {
            for (int j = 0; j < 64; ++j) {
                const int64_t c = c0 + j;
                if (c >= first && c < last && r[c]) w |= uint64_t(1) << (63 - j);
            }
        }
        // Only the columns inside the plane count.
        if (first > c0) w &= first - c0 >= 64 ? 0 : ~uint64_t(0) >> (first - c0);
        if (last < c0 + 64) w &= last <= c0 ? 0 : ~uint64_t(0) << (64 - (last - c0));
        words[k] &= w;
    }
}

struct Side {
    Plane planes[3];
    int count = 0;
    ~Side() {
        for (int i = 0; i < count; ++i) UnlockBitmap(&planes[i].lock);
    }
};

// The planes of an object; false when one cannot be read (it then counts
// as invisible).
bool Planes(const cxCollisionObject *o, Side *s) {
    const int32_t ox = o->x - o->offsetX, oy = o->y - o->offsetY;
    if (o->mask && !LockPlane(o->mask, true, ox, oy, &s->planes[s->count++])) return false;
    if (o->alpha && !LockPlane(o->alpha, false, ox, oy, &s->planes[s->count++])) return false;
    if (o->clip && o->clip->shape && !LockPlane(o->clip->shape, true, o->clip->x, o->clip->y, &s->planes[s->count++]))
        return false;
    return true;
}

// True when the rectangle lies inside the plane.
bool Covers(const Plane &p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t c = int64_t(x) - p.originX, r = int64_t(y) - p.originY;
    return c >= 0 && r >= 0 && c + w <= p.width && r + h <= p.height;
}

// Two masks alone that both cover the overlap: their rows are compared as
// words, straight from memory when both start on a byte.
int MaskAgainstMask(const Plane &a, const Plane &b, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t ca = int64_t(x) - a.originX, cb = int64_t(x) - b.originX;
    const uint64_t tail = (w % 64) ? ~uint64_t(0) << (64 - w % 64) : ~uint64_t(0);
    const int32_t n = (w + 63) / 64;
    const bool aligned = (ca & 7) == 0 && (cb & 7) == 0;
    for (int32_t row = 0; row < h; ++row) {
        const uint8_t *ra = a.pixels + size_t(int64_t(y) + row - a.originY) * size_t(a.bytesPerRow);
        const uint8_t *rb = b.pixels + size_t(int64_t(y) + row - b.originY) * size_t(b.bytesPerRow);
        if (aligned) {
            const uint8_t *pa = ra + (ca >> 3), *pb = rb + (cb >> 3);
            const int32_t whole = w / 64;
            for (int32_t k = 0; k < whole; ++k) {
                uint64_t u, v;
                memcpy(&u, pa + 8 * k, 8);
                memcpy(&v, pb + 8 * k, 8);
                if (u & v) return 1;
            }
            if (whole < n && (MaskWord(pa, int64_t(whole) * 64, int32_t(a.bytesPerRow - (ca >> 3))) &
                              MaskWord(pb, int64_t(whole) * 64, int32_t(b.bytesPerRow - (cb >> 3))) & tail))
                return 1;
            continue;
        }
        for (int32_t k = 0; k < n; ++k) {
            uint64_t both = MaskWord(ra, ca + 64 * k, a.bytesPerRow) & MaskWord(rb, cb + 64 * k, b.bytesPerRow);
            if (k == n - 1) both &= tail;
            if (both) return 1;
        }
    }
    return 0;
}

}  // namespace

extern "C" int TestMaskCollision(const cxCollisionObject *a, const cxCollisionObject *b) {
    int32_t x, y, w, h;
    if (!IntersectRects(a->x, a->y, a->width, a->height, b->x, b->y, b->width, b->height, &x, &y, &w, &h)) return 0;
    const bool aPlain = !a->mask && !a->alpha && !(a->clip && a->clip->shape);
    const bool bPlain = !b->mask && !b->alpha && !(b->clip && b->clip->shape);
    if (aPlain && bPlain) return 1;
    Side sa, sb;
    if (!Planes(a, &sa) || !Planes(b, &sb)) return 0;
    if (sa.count == 1 && sb.count == 1 && sa.planes[0].bits && sb.planes[0].bits && Covers(sa.planes[0], x, y, w, h) &&
        Covers(sb.planes[0], x, y, w, h))
        return MaskAgainstMask(sa.planes[0], sb.planes[0], x, y, w, h);
    const int32_t n = (w + 63) / 64;
    // Rows of up to 4,096 pixels need no allocation.
    uint64_t small[2][64];
    std::vector<uint64_t> large;
    uint64_t *wa = small[0], *wb = small[1];
    if (n > 64) {
        large.resize(size_t(n) * 2);
        wa = large.data(), wb = large.data() + n;
    }
    const uint64_t tail = (w % 64) ? ~uint64_t(0) << (64 - w % 64) : ~uint64_t(0);
    for (int32_t row = 0; row < h; ++row) {
        const int32_t py = y + row;
        std::fill_n(wa, n, ~uint64_t(0));
        std::fill_n(wb, n, ~uint64_t(0));
        wa[n - 1] &= tail;
        for (int i = 0; i < sa.count; ++i) {
            const Plane &p = sa.planes[i];
            AndRow(p, py - p.originY, int64_t(x) - p.originX, w, wa);
        }
        for (int i = 0; i < sb.count; ++i) {
            const Plane &p = sb.planes[i];
            AndRow(p, py - p.originY, int64_t(x) - p.originX, w, wb);
        }
        for (int32_t k = 0; k < n; ++k)
            if (wa[k] & wb[k]) return 1;
    }
    return 0;
}

extern "C" void SetSpriteCollisionHook(cxSpriteCollisionHook hook) { g_spriteHook = hook; }

extern "C" int GetLayerCollisionObject(lua_State *L, cxLayer *layer, cxCollisionObject *out) {
    *out = cxCollisionObject{};
    if (layer->type == CX_LAYER_NOOBJECT) return ERR_WRONGUSAGE;
    cxLayerState *s = layer->display;
    cxLayerShown img{};
    if (int err = GetLayerImage(L, layer, s, 1, 1, &img)) return err;
    out->x = s->drawX, out->y = s->drawY, out->width = s->width, out->height = s->height;
    out->mask = img.mask, out->alpha = img.alpha;
    out->offsetX = img.srcX, out->offsetY = img.srcY;
    if (s->clip) {
        int32_t shiftX = 0, shiftY = 0;
        if (!ClipRectToRegion(s->clip, &out->x, &out->y, &shiftX, &shiftY, &out->width, &out->height))
            out->width = out->height = 0;
        out->offsetX += shiftX, out->offsetY += shiftY;
        out->clip = s->clip;
    }
    return 0;
}

extern "C" int IsLayerBehindAnimated(const cxLayer *first, const cxLayer *layer) {
    const cxLayerState *t = layer->display;
    for (const cxLayer *l = first; l && l != layer; l = NextLayer(l)) {
        if (l->hidden || l->suppressed || !IsAsyncDrawObject(l)) continue;
        const cxLayerState *s = l->display;
        if (RectsOverlapWH(s->drawX, s->drawY, s->width, s->height, t->drawX, t->drawY, t->width, t->height)) return 1;
    }
    return 0;
}

namespace {

// A number truncated and saturated; NaN and the infinities make the whole
// call wrong usage (noted in *bad).
int32_t Int(lua_State *L, int index, bool *bad) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) {
        *bad = true;
        return 0;
    }
    const double t = std::trunc(v);
    return t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int32_t(t);
}

int BrushObject(lua_State *L, int index, int32_t x, int32_t y, cxCollisionObject *o) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxBrush *b = nullptr;
    if (int err = FindBrush(L, id, &b, CX_FIND_HARDWARE)) return err;
    *o = cxCollisionObject{x, y, b->width, b->height, b->mask, b->alpha, 0, 0, nullptr};
    return 0;
}

int SpriteObject(lua_State *L, int index, cxCollisionObject *o) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    if (g_spriteHook) return g_spriteHook(L, id, o);
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDSPRITE;
}

int LayerObject(lua_State *L, int index, const cxBGPic *bgpic, cxCollisionObject *o) {
    int32_t pos = 0;
    if (int err = FindLayer(L, index, bgpic, &pos)) return err;
    cxLayer *layer = GetLayerByPos(bgpic, pos);
    if (!layer) return ERR_LAYERRANGE;
    return GetLayerCollisionObject(L, layer, o);
}

cxCollisionObject Box(int32_t x, int32_t y, int32_t w, int32_t h) {
    return cxCollisionObject{x, y, w, h, nullptr, nullptr, 0, 0, nullptr};
}

// The layer kinds need layers on but take any output.
int LayersOn(const cxBGPic **bgpic) {
    const cxDisplay *d = GetCurrentDisplay();
    if (!d || !d->layersOn) return ERR_NOLAYERS;
    *bgpic = GetDisplayLayerBGPic(d);
    return *bgpic ? 0 : ERR_NOLAYERS;
}

}  // namespace

extern "C" int CmdCollision(lua_State *L) {
    CheckArgCount(L, 3, 9, 0, 0);
    bool bad = false;
    auto Int = [&](lua_State *l, int index) { return ::Int(l, index, &bad); };
    const int32_t kind = Int(L, 1);
    cxCollisionObject a{}, b{};
    const cxBGPic *bgpic = nullptr;
    switch (kind) {
    case CX_COLLIDE_BRUSH: {
        const int32_t x1 = Int(L, 3), y1 = Int(L, 4), x2 = Int(L, 6), y2 = Int(L, 7);
        if (int err = BrushObject(L, 2, x1, y1, &a)) return err;
        if (int err = BrushObject(L, 5, x2, y2, &b)) return err;
        break;
    }
    case CX_COLLIDE_BOX:
        a = Box(Int(L, 2), Int(L, 3), Int(L, 4), Int(L, 5));
        b = Box(Int(L, 6), Int(L, 7), Int(L, 8), Int(L, 9));
        if (bad) return ERR_WRONGUSAGE;
        lua_pushnumber(L, RectsOverlapWH(a.x, a.y, a.width, a.height, b.x, b.y, b.width, b.height));
        return 1;
    case CX_COLLIDE_LAYER:
        luaL_checkany(L, 3);
        if (int err = LayersOn(&bgpic)) return err;
        if (int err = LayerObject(L, 2, bgpic, &a)) return err;
        if (int err = LayerObject(L, 3, bgpic, &b)) return err;
        break;
    case CX_COLLIDE_SPRITE:
        luaL_checkany(L, 3);
        if (int err = SpriteObject(L, 2, &a)) return err;
        if (int err = SpriteObject(L, 3, &b)) return err;
        break;
    case CX_COLLIDE_BRUSH_VS_BOX: {
        const int32_t x = Int(L, 3), y = Int(L, 4);
        b = Box(Int(L, 5), Int(L, 6), Int(L, 7), Int(L, 8));
        if (int err = BrushObject(L, 2, x, y, &a)) return err;
        break;
    }
    case CX_COLLIDE_LAYER_VS_BOX:
        b = Box(Int(L, 3), Int(L, 4), Int(L, 5), Int(L, 6));
        if (int err = LayersOn(&bgpic)) return err;
        if (int err = LayerObject(L, 2, bgpic, &a)) return err;
        break;
    case CX_COLLIDE_SPRITE_VS_BOX:
        b = Box(Int(L, 3), Int(L, 4), Int(L, 5), Int(L, 6));
        if (int err = SpriteObject(L, 2, &a)) return err;
        break;
    case CX_COLLIDE_SPRITE_VS_BRUSH: {
        const int32_t x = Int(L, 4), y = Int(L, 5);
        if (int err = SpriteObject(L, 2, &a)) return err;
        if (int err = BrushObject(L, 3, x, y, &b)) return err;
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    if (bad) return ERR_WRONGUSAGE;
    lua_pushnumber(L, TestMaskCollision(&a, &b));
    return 1;
}
