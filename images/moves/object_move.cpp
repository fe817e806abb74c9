#include "images/moves/object_move.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/events/event_pump.h"
#include "display/present.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/anim_use.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"
#include "images/core/text_use.h"
#include "images/moves/move_path.h"
#include "images/sprites/sprite.h"
#include "platform/os_time.h"

struct cxMoveState {
    cxMovePath path{};
    cxDisplay *display = nullptr;
    bool started = false;   // the start point was shown
    bool finished = false;  // nothing (more) to do
    bool locked = false;    // the object's lock is taken
    // The object.
    cxBrush *brush = nullptr;
    void *anim = nullptr;
    int32_t animFrames = 0;
    void *text = nullptr;
    cxSprite *sprite = nullptr;
    void *layer = nullptr;
    int32_t width = 0, height = 0;
    // Frames of anims (0-based) and sprites (1-based).
    int32_t frame = 0;
    int32_t frameDelay = 0;  // ms, or CX_SPEED_DEFAULT for each frame's own
    int64_t nextFrame = 0;
    // Drawing without layers: the background as it was, and where the
    // object lies now.
    cxBitmap *save = nullptr;
    const cxBitmap *savedFrom = nullptr;  // the picture the copy was taken of
    int32_t saveWidth = 0, saveHeight = 0;
    bool drawn = false;
    int32_t drawnX = 0, drawnY = 0, drawnW = 0, drawnH = 0;
};

namespace {

cxMoveObserver g_observer = nullptr;
void *g_observerUser = nullptr;

constexpr int32_t kSpriteDelay = 60;

int64_t NowMs() {
    cxOsTimeVal t;
    OsGetSysTime(&t);
    return int64_t(t.seconds) * 1000 + t.microseconds / 1000;
}

bool Meets(int64_t x1, int64_t y1, int64_t w1, int64_t h1, int64_t x2, int64_t y2, int64_t w2, int64_t h2) {
    return x1 < x2 + w2 && x2 < x1 + w1 && y1 < y2 + h2 && y2 < y1 + h1;
}

// The part of (x, y, w, h) inside (0, 0, aw, ah); false when none.
bool Clip(int32_t aw, int32_t ah, int32_t *x, int32_t *y, int32_t *w, int32_t *h, int32_t *dx = nullptr,
          int32_t *dy = nullptr) {
    const int64_t l = std::max<int64_t>(*x, 0), t = std::max<int64_t>(*y, 0);
    const int64_t r = std::min<int64_t>(int64_t(*x) + *w, aw), b = std::min<int64_t>(int64_t(*y) + *h, ah);
    if (r <= l || b <= t) return false;
    if (dx) *dx = int32_t(l - *x);
    if (dy) *dy = int32_t(t - *y);
    *x = int32_t(l), *y = int32_t(t), *w = int32_t(r - l), *h = int32_t(b - t);
    return true;
}

bool DisplayListed(const cxDisplay *d) {
    for (cxDisplay *e = GetFirstDisplay(); e; e = GetNextDisplay(e))
        if (e == d) return true;
    return false;
}

bool BrushListed(const cxBrush *b) {
    for (cxBrush *e = GetFirstBrush(); e; e = reinterpret_cast<cxBrush *>(e->header.next))
        if (e == b) return true;
    return false;
}

bool SpriteListed(const cxSprite *s) {
    for (cxSprite *e = GetFirstSprite(); e; e = reinterpret_cast<cxSprite *>(e->header.next))
        if (e == s) return true;
    return false;
}

void LockSprite(cxSprite *s, int delta) {
    auto one = [delta](cxSprite *e) {
        if (delta > 0) e->locked++;
        else if (e->locked > 0) e->locked--;
    };
    one(s);
    for (cxSprite **m = s->group; m && *m; ++m) one(*m);
}

int32_t MapSpeed(int32_t speed) {
    switch (speed) {
    case CX_SPEED_NORMAL: return 10;
    case CX_SPEED_FAST: return 15;
    case CX_SPEED_SLOW: return 5;
    default: return speed;
    }
}

int32_t MapAnimSpeed(int32_t speed) {
    switch (speed) {
    case CX_SPEED_FAST: return 0;
    case CX_SPEED_NORMAL: return 60;
    case CX_SPEED_SLOW: return 160;
    case CX_SPEED_DEFAULT: return CX_SPEED_DEFAULT;
    default: return speed < 0 ? 0 : (speed > INT32_MAX / 20 ? INT32_MAX : speed * 20);
    }
}

int32_t FrameDelay(const cxMoveState *st) {
    if (st->frameDelay != CX_SPEED_DEFAULT) return st->frameDelay;
    if (st->anim && GetAnimHooks()->animFrameDelay) return std::max(0, GetAnimHooks()->animFrameDelay(st->anim, st->frame));
    return kSpriteDelay;
}

// ---- drawing without layers ----

int GrabBackground(cxMoveState *st) {
    cxDisplay *d = st->display;
    if (!d->picture || d->pictureWidth < 1 || d->pictureHeight < 1) return ERR_BITMAP;
    if (!st->save || st->saveWidth != d->pictureWidth || st->saveHeight != d->pictureHeight) {
        FreeBitmap(st->save);
        st->save = AllocBitmap(d->pictureWidth, d->pictureHeight, 0, 0);
        if (!st->save) return ERR_BITMAP;
        st->saveWidth = d->pictureWidth, st->saveHeight = d->pictureHeight;
    }
    BltBitmap(d->picture, 0, 0, st->save, 0, 0, st->saveWidth, st->saveHeight);
    st->savedFrom = d->picture;
    st->drawn = false;
    return 0;
}

// What the window shows of a rectangle of the picture: through the
// compositor when layers or sprites lie over it, else the picture itself.
void Present(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!Clip(d->pictureWidth, d->pictureHeight, &x, &y, &w, &h)) return;
    const cxLayerHooks *layers = GetLayerHooks();
    if ((d->layersOn || RectOverlapsSprites(d->bgpic, x, y, w, h)) && layers->redrawDisplayRect) {
        layers->redrawDisplayRect(L, d, x, y, w, h);
        return;
    }
    const cxSafeBltHooks *blit = GetSafeBltHooks();
    if (blit->refreshRegion) blit->refreshRegion(d->picture, x, y, d, x, y, w, h, 0);
}

struct Image {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    int owned = 0;
    ~Image() {
        if (owned) FreeBitmap(bitmap), FreeMask(mask), FreeAlphaChannel(alpha);
    }
};

int ObjectImage(const cxObjectMove *m, cxMoveState *st, Image *img) {
    img->width = st->width, img->height = st->height;
    if (st->brush) {
        if (!st->brush->bitmap) {
            if (int err = RealizeBrush(st->brush)) return err;
        }
        img->bitmap = st->brush->bitmap, img->mask = st->brush->mask, img->alpha = st->brush->alpha;
        img->width = st->brush->width, img->height = st->brush->height;
        return 0;
    }
    if (st->anim) return GetAnimHooks()->animFrame(st->anim, st->frame, &img->bitmap, &img->mask, &img->alpha, &img->owned);
    if (st->text) {
        void *record = nullptr;
        return GetTextObjectHooks()->find(m->L, m->id, &record, &img->bitmap, &img->mask, &img->alpha, &img->width,
                                          &img->height);
    }
    img->bitmap = m->bitmap, img->mask = m->mask, img->alpha = m->alpha;
    return img->bitmap ? 0 : ERR_WRONGUSAGE;
}

int DrawDirect(cxObjectMove *m, cxMoveState *st, int32_t x, int32_t y) {
    cxDisplay *d = st->display;
    // Another picture (resized, or another BGPic shown): what lay under the
    // object is gone with the old one.
    if (!st->save || st->savedFrom != d->picture || st->saveWidth != d->pictureWidth ||
        st->saveHeight != d->pictureHeight) {
        if (int err = GrabBackground(st)) return err;
    }
    Image img;
    if (int err = ObjectImage(m, st, &img)) return err;
    cxBitmap *pic = d->picture;
    const int32_t pw = d->pictureWidth, ph = d->pictureHeight;
    // Back what lay under it.
    int32_t ox = st->drawnX, oy = st->drawnY, ow = st->drawnW, oh = st->drawnH;
    const bool had = st->drawn;
    if (had) {
        int32_t cx = ox, cy = oy, cw = ow, ch = oh;
        if (Clip(pw, ph, &cx, &cy, &cw, &ch)) BltBitmap(st->save, cx, cy, pic, cx, cy, cw, ch);
    }
    // The object at its new place.
    int32_t nx = x, ny = y, nw = std::min(img.width, img.bitmap->width), nh = std::min(img.height, img.bitmap->height);
    int32_t sx = 0, sy = 0;
    if (Clip(pw, ph, &nx, &ny, &nw, &nh, &sx, &sy)) {
        if (img.mask) BltBitmapMask(img.bitmap, sx, sy, pic, nx, ny, nw, nh, img.mask);
        else if (img.alpha) BltBitmapAlpha(img.bitmap, sx, sy, pic, nx, ny, nw, nh, img.alpha);
        else BltBitmap(img.bitmap, sx, sy, pic, nx, ny, nw, nh);
    }
    st->drawn = true;
    st->drawnX = x, st->drawnY = y, st->drawnW = img.width, st->drawnH = img.height;
    if (had && Meets(ox, oy, ow, oh, x, y, img.width, img.height)) {
        const int64_t l = std::min<int64_t>(ox, x), t = std::min<int64_t>(oy, y);
        const int64_t r = std::max<int64_t>(int64_t(ox) + ow, int64_t(x) + img.width);
        const int64_t b = std::max<int64_t>(int64_t(oy) + oh, int64_t(y) + img.height);
        Present(m->L, d, int32_t(l), int32_t(t), int32_t(r - l), int32_t(b - t));
    } else {
        if (had) Present(m->L, d, ox, oy, ow, oh);
        Present(m->L, d, x, y, img.width, img.height);
    }
    return 0;
}

// ---- the steps ----

bool IsLayerMove(const cxObjectMove *m) {
    return m->kind == CX_MOVE_OBJECT_LAYER || (m->kind == CX_MOVE_OBJECT_PICTURE && (m->flags & CX_MOVE_THROUGH_LAYERS));
}

int ShowAt(cxObjectMove *m, cxMoveState *st, int32_t x, int32_t y) {
    if (g_observer) g_observer(g_observerUser, x, y);
    if (st->layer) {
        GetLayerHooks()->moveLayer(m->L, st->layer, x, y);
        return 0;
    }
    if (st->sprite) return ShowSprite(m->L, m->id, x, y, st->frame);
    return DrawDirect(m, st, x, y);
}

void AdvanceFrame(cxMoveState *st) {
    const int32_t frames = st->anim ? st->animFrames : st->sprite ? st->sprite->frames : 0;
    if (frames < 2) return;
    const int64_t now = NowMs();
    if (st->frameDelay != 0 && now < st->nextFrame) return;
    if (st->anim) st->frame = (st->frame + 1) % frames;
    else st->frame = st->frame % frames + 1;
    st->nextFrame = now + FrameDelay(st);
}

int Step(cxObjectMove *m, int *done) {
    *done = 0;
    cxMoveState *st = m->state;
    if (st->finished) {
        *done = 1;
        return 0;
    }
    // A layer that went (an event handler, Cls) ends the move.
    if (st->layer && !GetLayerHooks()->isLayerListed(st->layer)) {
        st->finished = true;
        *done = 1;
        return 0;
    }
    int32_t x = 0, y = 0;
    int last = 0;
    if (!st->started) {
        st->started = true;
        x = st->path.x1, y = st->path.y1;
    } else {
        last = NextMovePosition(&st->path, &x, &y);
        AdvanceFrame(st);
    }
    if (int err = ShowAt(m, st, x, y)) return err;
    if (last) {
        st->finished = true;
        *done = 1;
    }
    return 0;
}

void ReleaseState(cxObjectMove *m) {
    cxMoveState *st = m->state;
    if (!st) return;
    if (st->locked) {
        if (st->brush && BrushListed(st->brush) && st->brush->locked > 0) st->brush->locked--;
        if (st->anim && GetAnimHooks()->lockAnim) GetAnimHooks()->lockAnim(st->anim, -1);
        if (st->text && GetTextObjectHooks()->lock) GetTextObjectHooks()->lock(st->text, -1);
        if (st->sprite && SpriteListed(st->sprite)) LockSprite(st->sprite, -1);
    }
    FreeBitmap(st->save);
    delete st;
    m->state = nullptr;
}

void FreeMove(cxObjectMove *m, int) {
    if (!m) return;
    ReleaseState(m);
    if (!m->effect) free(m);
}

int EffectStep(cxObjectMove *m, int *done) {
    *done = 1;
    return m->state ? Step(m, done) : 0;
}

// ---- asynchronous moves ----

int AsyncFrame(lua_State *L, void *user, int *done) {
    auto *m = static_cast<cxObjectMove *>(user);
    m->L = L;
    return Step(m, done);
}

void AsyncRelease(void *user) { FreeMove(static_cast<cxObjectMove *>(user), 0); }

intptr_t AsyncControl(void *user, int code, void *object) {
    auto *m = static_cast<cxObjectMove *>(user);
    cxMoveState *st = m->state;
    if (!st || !st->layer) return 0;
    if (code == CX_ASYNCUSE_ANIMATES) return object == st->layer;
    if (code == CX_ASYNCUSE_LAYER_REPLACED) {
        // The layer was rebuilt: the move goes on with the new one, or ends.
        void **pair = static_cast<void **>(object);
        if (pair && pair[0] == st->layer) {
            st->layer = pair[1];
            if (!st->layer) st->finished = true;
        }
    }
    return 0;
}

// ---- set-up ----

int FindObject(cxObjectMove *m, cxMoveState *st, double *anchorX, double *anchorY) {
    lua_State *L = m->L;
    switch (m->kind) {
    case CX_MOVE_OBJECT_BRUSH: {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, m->id, &b, 0)) return err;
        st->brush = b;
        st->width = b->width, st->height = b->height;
        return 0;
    }
    case CX_MOVE_OBJECT_ANIM: {
        const cxAnimHooks *h = GetAnimHooks();
        if (!h->findAnim || !h->animFrame) {
            if (m->id.pointer) return ERR_FINDARRAY;
            SetErrorNumber(m->id.number);
            return ERR_FINDANIM;
        }
        if (int err = h->findAnim(L, m->id, &st->anim, &st->width, &st->height, &st->animFrames)) return err;
        return 0;
    }
    case CX_MOVE_OBJECT_TEXT: {
        const cxTextObjectHooks *h = GetTextObjectHooks();
        if (!h->find) {
            if (m->id.pointer) return ERR_FINDARRAY;
            SetErrorNumber(m->id.number);
            return ERR_FINDTEXTOBJECT;
        }
        cxBitmap *b, *mk, *a;
        return h->find(L, m->id, &st->text, &b, &mk, &a, &st->width, &st->height);
    }
    case CX_MOVE_OBJECT_SPRITE: {
        cxSprite *s = nullptr;
        if (int err = FindSprite(L, m->id, &s, 0)) return err;
        st->sprite = s;
        st->width = s->width, st->height = s->height;
        cxSpriteDrawNode *node = nullptr;
        st->frame = FindOnScreenSprite(m->id, &node, nullptr) == 0 ? node->frame : 1;
        return 0;
    }
    case CX_MOVE_OBJECT_LAYER:
    case CX_MOVE_OBJECT_PICTURE: {
        if (!IsLayerMove(m)) {
            if (!m->bitmap || m->width < 1 || m->height < 1) return ERR_WRONGUSAGE;
            st->width = m->width, st->height = m->height;
            return 0;
        }
        const cxLayerHooks *h = GetLayerHooks();
        if (!h->layerGeometry || !h->moveLayer || !h->isLayerListed) return ERR_NOLAYERS;
        void *layer = m->kind == CX_MOVE_OBJECT_LAYER ? (h->layerAt ? h->layerAt(m->layerPosition) : nullptr) : m->layer;
        if (!layer) return m->kind == CX_MOVE_OBJECT_LAYER ? ERR_LAYERRANGE : ERR_WRONGUSAGE;
        cxLayerGeometry g{};
        h->layerGeometry(layer, &g);
        st->layer = layer;
        st->width = m->kind == CX_MOVE_OBJECT_LAYER ? g.width : m->width;
        st->height = m->kind == CX_MOVE_OBJECT_LAYER ? g.height : m->height;
        *anchorX = g.anchorX, *anchorY = g.anchorY;
        return 0;
    }
    default: return ERR_WRONGUSAGE;
    }
}

void TakeLocks(cxMoveState *st) {
    st->locked = true;
    if (st->brush) st->brush->locked++;
    if (st->anim && GetAnimHooks()->lockAnim) GetAnimHooks()->lockAnim(st->anim, +1);
    if (st->text && GetTextObjectHooks()->lock) GetTextObjectHooks()->lock(st->text, +1);
    if (st->sprite) LockSprite(st->sprite, +1);
}

int Prepare(cxObjectMove *m) {
    lua_State *L = m->L;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (!m->effect && !m->async) {
        if (int err = RefuseRedirectedOutput(d)) return err;
    }
    const cxLayerHooks *layers = GetLayerHooks();
    if (m->kind == CX_MOVE_OBJECT_SPRITE &&
        (d->layersOn || (d->bgpic && layers->countLayers && layers->countLayers(d->bgpic) > 0)))
        return ERR_LAYERSOFF;
    if (m->kind == CX_MOVE_OBJECT_LAYER && !d->layersOn) return ERR_NOLAYERS;
    const int32_t speed = MapSpeed(m->speed);
    if (speed < 1) return ERR_WRONGUSAGE;

    auto *st = new (std::nothrow) cxMoveState;
    if (!st) return ERR_MEM;
    m->state = st;
    st->display = d;
    st->frameDelay = MapAnimSpeed(m->animSpeed);
    double ax = 0, ay = 0;
    if (int err = FindObject(m, st, &ax, &ay)) return err;
    int32_t x1 = ResolveSpecialX(m->x1, st->width, d->pictureWidth, ax);
    int32_t y1 = ResolveSpecialY(m->y1, st->height, d->pictureHeight, ay);
    const int32_t x2 = ResolveSpecialX(m->x2, st->width, d->pictureWidth, ax);
    const int32_t y2 = ResolveSpecialY(m->y2, st->height, d->pictureHeight, ay);
    if (BoundMoveCoordinate(x1) == BoundMoveCoordinate(x2) && BoundMoveCoordinate(y1) == BoundMoveCoordinate(y2)) {
        if (m->effect) {
            x1 = x2 - 10, y1 = y2 - 10;
        } else {
            st->finished = true;
            return 0;
        }
    }
    InitMovePath(&st->path, x1, y1, x2, y2, m->fx, speed, d->pictureHeight);
    if (!IsLayerMove(m) && !st->sprite) {
        if (int err = GrabBackground(st)) return err;
    }
    TakeLocks(st);
    st->nextFrame = NowMs() + FrameDelay(st);
    if (m->effect) {
        // The caller steps; a layer waits at the start point.
        if (st->layer) {
            layers->moveLayer(L, st->layer, st->path.x1, st->path.y1);
            if (g_observer) g_observer(g_observerUser, st->path.x1, st->path.y1);
        }
        st->started = true;
    }
    return 0;
}

int RunSync(cxObjectMove *m) {
    lua_State *L = m->L;
    cxMoveState *st = m->state;
    int err = 0;
    while (!st->finished) {
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) {
            err = code;
            break;
        }
        // An event handler may have closed the display.
        if (!DisplayListed(st->display)) break;
        int done = 0;
        if ((err = Step(m, &done)) || done) break;
        WaitDisplayFrame(L, st->display, 0);
    }
    FreeMove(m, 0);
    return err;
}

}  // namespace

extern "C" void SetMoveObserver(cxMoveObserver observer, void *user) {
    g_observer = observer;
    g_observerUser = user;
}

extern "C" int RunObjectMove(cxObjectMove *m) {
    if (!m) return ERR_WRONGUSAGE;
    m->handle = nullptr;
    m->step = nullptr;
    m->free = nullptr;
    m->state = nullptr;
    if (int err = Prepare(m)) {
        ReleaseState(m);
        if (!m->effect) free(m);
        return err;
    }
    if (m->effect) {
        m->step = EffectStep;
        m->free = FreeMove;
        return 0;
    }
    if (!m->async) return RunSync(m);
    const cxLayerHooks *layers = GetLayerHooks();
    if (!layers->startAsyncDraw) {
        FreeMove(m, 0);
        return ERR_WRONGUSAGE;
    }
    const cxAsyncClient client{AsyncFrame, AsyncRelease, AsyncControl};
    void *handle = nullptr;
    if (int err = layers->startAsyncDraw(m->L, &client, m, &handle)) {
        FreeMove(m, 0);
        return err;
    }
    m->handle = handle;
    return 0;
}
