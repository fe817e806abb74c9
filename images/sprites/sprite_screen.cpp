// The on-screen list of each BGPic: showing, moving and removing sprites,
// the refresh's sprite pass and the boxes they cover.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"
#include "images/sprites/sprite.h"

namespace {

cxSpriteDrawNode **Head(const cxBGPic *b) {
    return reinterpret_cast<cxSpriteDrawNode **>(const_cast<void **>(&b->onScreen));
}

// Boxes as x, y, width, height; sums in 64 bits.
bool Meets(int64_t x1, int64_t y1, int64_t w1, int64_t h1, int64_t x2, int64_t y2, int64_t w2, int64_t h2) {
    return x1 < x2 + w2 && x2 < x1 + w1 && y1 < y2 + h2 && y2 < y1 + h1;
}

int32_t Sat(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v); }

struct Box {
    int32_t x = 0, y = 0, w = 0, h = 0;
    void Add(int32_t bx, int32_t by, int32_t bw, int32_t bh) {
        if (bw <= 0 || bh <= 0) return;
        if (w <= 0 || h <= 0) {
            x = bx, y = by, w = bw, h = bh;
            return;
        }
        const int64_t l = std::min<int64_t>(x, bx), t = std::min<int64_t>(y, by);
        const int64_t r = std::max<int64_t>(int64_t(x) + w, int64_t(bx) + bw);
        const int64_t b = std::max<int64_t>(int64_t(y) + h, int64_t(by) + bh);
        x = Sat(l), y = Sat(t), w = Sat(r - l), h = Sat(b - t);
    }
};

cxBGPic *ShownBGPic(const cxDisplay *d) { return d ? d->bgpic : nullptr; }

// The node of a sprite in a list, and its index among the sprite nodes.
cxSpriteDrawNode *NodeOf(const cxBGPic *b, cxObjectID id, int32_t *index) {
    int32_t i = 0;
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next) {
        if (!n->sprite) continue;
        if (n->id.number == id.number && n->id.pointer == id.pointer) {
            if (index) *index = i;
            return n;
        }
        ++i;
    }
    return nullptr;
}

int NotOnScreen(cxObjectID id) {
    if (id.pointer) return ERR_SPRITEONSCREEN2;
    SetErrorNumber(id.number);
    return ERR_SPRITEONSCREEN;
}

void Unlink(cxBGPic *b, cxSpriteDrawNode *node) {
    for (cxSpriteDrawNode **link = Head(b); *link; link = &(*link)->next)
        if (*link == node) {
            *link = node->next;
            return;
        }
}

// A sprite node goes before the first owner's entry, else at the end; at
// a sprite index it goes before the sprite node of that index.
void Insert(cxBGPic *b, cxSpriteDrawNode *node, int32_t index) {
    cxSpriteDrawNode **link = Head(b);
    int32_t i = 0;
    while (*link && !(*link)->owner && (index < 0 || i < index)) {
        link = &(*link)->next;
        ++i;
    }
    node->next = *link;
    *link = node;
}

int32_t CountSpriteNodes(const cxBGPic *b) {
    int32_t n = 0;
    for (cxSpriteDrawNode *e = *Head(b); e; e = e->next) n += e->sprite != nullptr;
    return n;
}

// A frame's bitmaps into the rectangle of dst.
void DrawNode(lua_State *L, cxSpriteDrawNode *n, cxBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t l = std::max<int64_t>({n->x, x, 0}), t = std::max<int64_t>({n->y, y, 0});
    const int64_t r = std::min<int64_t>({int64_t(n->x) + n->width, int64_t(x) + w, dst->width});
    const int64_t b = std::min<int64_t>({int64_t(n->y) + n->height, int64_t(y) + h, dst->height});
    if (r <= l || b <= t) return;
    if (n->owner) {
        if (n->drawOwner) n->drawOwner(L, n, dst, int32_t(l), int32_t(t), int32_t(r - l), int32_t(b - t));
        return;
    }
    cxBitmap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
    if (GetSpriteFrame(n->sprite, n->frame - 1, &bm, &mask, &alpha) || !bm) return;
    const int32_t sx = int32_t(l - n->x), sy = int32_t(t - n->y), cw = int32_t(r - l), ch = int32_t(b - t);
    if (mask) BltBitmapMask(bm, sx, sy, dst, int32_t(l), int32_t(t), cw, ch, mask);
    else if (alpha) BltBitmapAlpha(bm, sx, sy, dst, int32_t(l), int32_t(t), cw, ch, alpha);
    else BltBitmap(bm, sx, sy, dst, int32_t(l), int32_t(t), cw, ch);
}

}  // namespace

extern "C" void RepaintDisplayRect(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    const cxLayerHooks *hooks = GetLayerHooks();
    if (d && w > 0 && h > 0 && hooks->redrawDisplayRect) hooks->redrawDisplayRect(L, d, x, y, w, h);
}

extern "C" int CheckSpriteOutput(cxDisplay **out) {
    cxDisplay *d = GetCurrentDisplay();
    if (out) *out = d;
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (int err = RefuseRedirectedOutput(d)) return err;
    const cxLayerHooks *hooks = GetLayerHooks();
    if (d->layersOn || (d->bgpic && hooks->countLayers && hooks->countLayers(d->bgpic) > 0)) return ERR_LAYERSOFF;
    if (!d->bgpic) return ERR_WRONGUSAGE;
    return 0;
}

extern "C" cxSpriteDrawNode *GetSpriteDrawList(const cxBGPic *b) { return b ? *Head(b) : nullptr; }

extern "C" int FindOnScreenSprite(cxObjectID id, cxSpriteDrawNode **node, int32_t *index) {
    if (node) *node = nullptr;
    const cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    const cxBGPic *b = ShownBGPic(d);
    cxSpriteDrawNode *n = b ? NodeOf(b, id, index) : nullptr;
    if (!n) return NotOnScreen(id);
    if (node) *node = n;
    return 0;
}

extern "C" int AddSpriteDrawNode(cxBGPic *b, cxObjectID id, int32_t x, int32_t y, int32_t w, int32_t h, void *owner,
                                 cxSpriteDrawNode **out) {
    if (out) *out = nullptr;
    auto *n = static_cast<cxSpriteDrawNode *>(calloc(1, sizeof(cxSpriteDrawNode)));
    if (!n) return ERR_MEM;
    n->id = id;
    n->x = x, n->y = y, n->width = w, n->height = h;
    n->frame = 1;
    n->owner = owner;
    cxSpriteDrawNode **link = Head(b);
    while (*link) link = &(*link)->next;
    *link = n;
    if (out) *out = n;
    return 0;
}

extern "C" void RemoveOwnerDrawNodes(cxBGPic *b, const void *owner) {
    cxSpriteDrawNode **link = Head(b);
    while (cxSpriteDrawNode *n = *link) {
        if (owner && n->owner == owner) {
            *link = n->next;
            free(n);
        } else {
            link = &n->next;
        }
    }
}

extern "C" void FreeSpriteDrawNodes(cxBGPic *b) {
    cxSpriteDrawNode **head = Head(b);
    while (cxSpriteDrawNode *n = *head) {
        *head = n->next;
        free(n);
    }
}

extern "C" int CountSprites(const cxBGPic *b) { return b ? int(CountSpriteNodes(b)) : 0; }

extern "C" int RectOverlapsSprites(const cxBGPic *b, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!b || w <= 0 || h <= 0) return 0;
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next)
        if (n->mark != -1 && Meets(n->x, n->y, n->width, n->height, x, y, w, h)) return 1;
    return 0;
}

extern "C" void DrawSprites(lua_State *L, const cxBGPic *b, cxBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                            int markedOnly) {
    if (!b || !dst || w <= 0 || h <= 0) return;
    const int64_t right = int64_t(x) + w, bottom = int64_t(y) + h;
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next) {
        if (n->mark == -1 || (markedOnly && n->mark == 0)) continue;
        // Most entries lie elsewhere: a cheap test first.
        if (n->x >= right || n->y >= bottom || int64_t(n->x) + n->width <= x || int64_t(n->y) + n->height <= y) continue;
        DrawNode(L, n, dst, x, y, w, h);
    }
}

extern "C" void DrawSpritesInBoxes(lua_State *L, const cxBGPic *b, cxBitmap *dst, const int32_t *boxes,
                                   uint32_t count) {
    if (!b || !dst || !boxes || !count) return;
    // The boxes by rows of 64 pixels: an entry looks only at the boxes of
    // its rows, and draws into a box from the first row they share.
    constexpr int kShift = 6;
    static thread_local std::vector<uint32_t> start, items;
    int64_t bottom = 0;
    for (uint32_t i = 0; i < count; ++i) bottom = std::max<int64_t>(bottom, int64_t(boxes[4 * i + 1]) + boxes[4 * i + 3]);
    bottom = std::min<int64_t>(bottom, dst->height);
    if (bottom <= 0) return;
    const uint32_t rows = uint32_t((bottom - 1) >> kShift) + 1;
    auto rowsOf = [&](int64_t y, int64_t h, uint32_t *r0, uint32_t *r1) {
        const int64_t top = std::max<int64_t>(y, 0), end = std::min<int64_t>(y + h, bottom);
        if (h <= 0 || end <= top) return false;
        *r0 = uint32_t(top >> kShift), *r1 = uint32_t((end - 1) >> kShift);
        return true;
    };
    try {
        start.assign(rows + 1, 0);
        uint32_t r0, r1;
        for (uint32_t i = 0; i < count; ++i)
            if (rowsOf(boxes[4 * i + 1], boxes[4 * i + 3], &r0, &r1))
                for (uint32_t r = r0; r <= r1; ++r) ++start[r + 1];
        for (uint32_t r = 0; r < rows; ++r) start[r + 1] += start[r];
        items.resize(start[rows]);
        std::vector<uint32_t> &fill = items;
        static thread_local std::vector<uint32_t> at;
        at.assign(start.begin(), start.end() - 1);
        for (uint32_t i = 0; i < count; ++i)
            if (rowsOf(boxes[4 * i + 1], boxes[4 * i + 3], &r0, &r1))
                for (uint32_t r = r0; r <= r1; ++r) fill[at[r]++] = i;
    } catch (...) {
        // No room for the rows: box by box.
        for (uint32_t i = 0; i < count; ++i)
            DrawSprites(L, b, dst, boxes[4 * i], boxes[4 * i + 1], boxes[4 * i + 2], boxes[4 * i + 3], 0);
        return;
    }
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next) {
        if (n->mark == -1) continue;
        uint32_t n0, n1;
        if (!rowsOf(n->y, n->height, &n0, &n1)) continue;
        for (uint32_t r = n0; r <= n1; ++r)
            for (uint32_t j = start[r]; j < start[r + 1]; ++j) {
                const int32_t *bx = boxes + 4 * size_t(items[j]);
                uint32_t b0, b1;
                rowsOf(bx[1], bx[3], &b0, &b1);
                if (std::max(b0, n0) != r) continue;  // met in an earlier row
                if (!Meets(n->x, n->y, n->width, n->height, bx[0], bx[1], bx[2], bx[3])) continue;
                DrawNode(L, n, dst, bx[0], bx[1], bx[2], bx[3]);
            }
    }
}

extern "C" void RedrawMarkedSprites(lua_State *L, int32_t mark) {
    cxDisplay *d = GetCurrentDisplay();
    cxBGPic *b = ShownBGPic(d);
    if (!b || mark == 0 || mark == -1) return;
    // The span starts empty: any coordinate of a BGPic is a real one.
    Box span;
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next)
        if (n->mark == mark) {
            span.Add(n->x, n->y, n->width, n->height);
            n->mark = 0;
        }
    RepaintDisplayRect(L, d, span.x, span.y, span.w, span.h);
}

extern "C" int ShowSprite(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame) {
    cxDisplay *d = nullptr;
    if (int err = CheckSpriteOutput(&d)) return err;
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, 0)) return err;
    if (frame < 0 || frame > s->frames) return ERR_ANIMFRAME;
    cxBGPic *b = ShownBGPic(d);
    x = ResolveSpecialX(x, s->width, d->pictureWidth, 0);
    y = ResolveSpecialY(y, s->height, d->pictureHeight, 0);
    if (cxSpriteDrawNode *n = NodeOf(b, id, nullptr)) {
        const int32_t next = frame != 0 ? frame : (n->frame >= s->frames ? 1 : n->frame + 1);
        if (next == n->frame && x == n->x && y == n->y) return 0;
        const int32_t ox = n->x, oy = n->y;
        n->frame = next;
        n->x = x, n->y = y;
        // Corners inclusive: boxes that share a pixel are repainted as one.
        // Moves are repainted together before anything can show them (the
        // next wait or frame), where the layers library offers it.
        const cxLayerHooks *hooks = GetLayerHooks();
        auto repaint = hooks->queueDisplayRect ? hooks->queueDisplayRect : RepaintDisplayRect;
        if (Meets(ox, oy, n->width, n->height, x, y, n->width, n->height)) {
            Box u;
            u.Add(ox, oy, n->width, n->height);
            u.Add(x, y, n->width, n->height);
            repaint(L, d, u.x, u.y, u.w, u.h);
        } else {
            repaint(L, d, ox, oy, n->width, n->height);
            repaint(L, d, x, y, n->width, n->height);
        }
        return 0;
    }
    cxSpriteDrawNode *n = nullptr;
    auto *node = static_cast<cxSpriteDrawNode *>(calloc(1, sizeof(cxSpriteDrawNode)));
    if (!node) return ERR_MEM;
    n = node;
    n->id = id;
    n->sprite = s;
    n->x = x, n->y = y, n->width = s->width, n->height = s->height;
    n->frame = frame ? frame : 1;
    Insert(b, n, -1);
    RepaintDisplayRect(L, d, x, y, n->width, n->height);
    return 0;
}

extern "C" int RemoveSpriteFromScreen(lua_State *L, cxObjectID id) {
    cxDisplay *d = nullptr;
    if (int err = CheckSpriteOutput(&d)) return err;
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, 0)) return err;
    cxSpriteDrawNode *n = nullptr;
    if (int err = FindOnScreenSprite(id, &n, nullptr)) return err;
    Unlink(ShownBGPic(d), n);
    RepaintDisplayRect(L, d, n->x, n->y, n->width, n->height);
    free(n);
    return 0;
}

extern "C" int RemoveAllSpritesFromScreen(lua_State *L, int keep) {
    cxDisplay *d = nullptr;
    if (int err = CheckSpriteOutput(&d)) return err;
    cxBGPic *b = ShownBGPic(d);
    for (cxSpriteDrawNode *n = *Head(b); n; n = n->next)
        if (n->sprite && n->sprite->locked) return ERR_LOCKEDOBJ;
    // keep: what the sprites show stays, drawn into the display's picture.
    if (keep && d->picture)
        for (cxSpriteDrawNode *n = *Head(b); n; n = n->next)
            if (n->sprite && n->mark != -1) DrawNode(L, n, d->picture, 0, 0, d->pictureWidth, d->pictureHeight);
    bool any = false;
    cxSpriteDrawNode **link = Head(b);
    while (cxSpriteDrawNode *n = *link) {
        if (!n->sprite) {
            link = &n->next;
            continue;
        }
        *link = n->next;
        free(n);
        any = true;
    }
    if (any && !keep) RepaintDisplayRect(L, d, 0, 0, d->pictureWidth, d->pictureHeight);
    return 0;
}

extern "C" int SetSpriteZPosition(lua_State *L, cxObjectID id, int32_t pos) {
    cxDisplay *d = nullptr;
    if (int err = CheckSpriteOutput(&d)) return err;
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, 0)) return err;
    cxSpriteDrawNode *n = nullptr;
    int32_t index = 0;
    if (int err = FindOnScreenSprite(id, &n, &index)) return err;
    cxBGPic *b = ShownBGPic(d);
    const int32_t count = CountSpriteNodes(b);
    // 1 the bottom, n index n - 1, 0 the top; its own place or none is no move.
    if (pos < 0 || pos > count || pos - 1 == index || (pos == 0 && index == count - 1)) return ERR_WRONGUSAGE;
    Unlink(b, n);
    Insert(b, n, pos == 0 ? -1 : pos - 1);
    RepaintDisplayRect(L, d, n->x, n->y, n->width, n->height);
    return 0;
}
