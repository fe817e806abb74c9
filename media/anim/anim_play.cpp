// Showing anims: PlayAnim (synchronously with the event pump, or as an
// asynchronous draw), PlayAnimDisk, DisplayAnimFrame and SelectAnim.
// Without layers the frames go straight to the display over a saved copy of
// the background; with layers an anim layer shows them.
#include <cmath>
#include <climits>
#include <stdlib.h>
#include <string.h>

#include "display/backend.h"
#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/events/event_pump.h"
#include "display/present.h"
#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/geometry/geometry.h"
#include "images/core/display_core.h"
#include "images/core/display_options.h"
#include "images/core/layer_use.h"
#include "images/core/render_target.h"
#include "images/output/output_redirect.h"
#include "media/anim/anim_internal.h"
#include "media/anim/anim_play.h"
#include "platform/os_time.h"

namespace {

constexpr int32_t kNormalSpeed = -1, kFastSpeed = -2, kSlowSpeed = -3, kDefaultSpeed = -4;

int32_t Int(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return 0;
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(std::trunc(v));
}

int32_t SpeedToDelay(int32_t speed) {
    switch (speed) {
    case kNormalSpeed: return 60;
    case kFastSpeed: return 0;
    case kSlowSpeed: return 160;
    case kDefaultSpeed: return kDefaultSpeed;
    default: return speed >= 0 ? (speed > INT32_MAX / 20 ? INT32_MAX : speed * 20) : 0;
    }
}

void FreeSet(cxBitmap *b, cxBitmap *m, cxBitmap *a) {
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
}

cxBitmap *FirstBack(cxDisplay *d) {
    const cxSafeBltHooks *h = GetSafeBltHooks();
    return h->backBitmap ? h->backBitmap(d, 0) : d->backBitmap[0];
}

int64_t MsSince(const cxOsTimeVal &then) {
    cxOsTimeVal now;
    OsGetSysTime(&now);
    return (int64_t(now.seconds) - int64_t(then.seconds)) * 1000 +
           (int64_t(now.microseconds) - int64_t(then.microseconds)) / 1000;
}

void AddMs(cxOsTimeVal *t, int32_t ms) {
    uint64_t us = uint64_t(t->microseconds) + uint64_t(ms % 1000) * 1000;
    t->seconds += uint32_t(ms / 1000) + uint32_t(us / 1000000);
    t->microseconds = uint32_t(us % 1000000);
}

// Refuses the output states a playback cannot draw into.
int CheckOutput(cxDisplay *d) {
    switch (d->targetKind) {
    case CX_OBJ_BGPIC: return ERR_SELECTBG;
    case CX_OBJ_BRUSH:
        if (d->doubleBuffer1) return ERR_ENDDOUBLEBUFFER;
        return GetSelectedAnim(nullptr, nullptr) ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    case CX_OBJ_MASK: return ERR_SELECTMASK;
    case CX_OBJ_ALPHACHANNEL: return ERR_SELECTALPHACHANNEL;
    default: return 0;
    }
}

}  // namespace

struct cxAnimPlayback {
    lua_State *L = nullptr;
    cxDisplay *display = nullptr;
    cxBitmap *work = nullptr, *background = nullptr;
    cxAnim *anim = nullptr;
    cxObjectID id{};
    void *layer = nullptr;  // the anim layer (layers on)
    int32_t x = 0, y = 0;
    int32_t delay = 0, times = 1;
    int32_t shownW = 0, shownH = 0;  // after the transform
    int32_t rx = 0, ry = 0;          // the shown image's top-left corner
    int32_t cx = 0, cy = 0, cw = 0, ch = 0;  // the part on the display
    int32_t srcX = 0, srcY = 0;
    int32_t pictureW = 0, pictureH = 0;
    int32_t frame = 1, pass = 1;
    cxOsTimeVal last{};
    bool async = false;
    bool transform = false;
    cxTransformOptions t{};
    cxLayerOptions l{};
};

namespace {

// The part of the display the anim covers, and a copy of what lies there.
int GrabBackground(cxAnimPlayback *p) {
    cxDisplay *d = p->display;
    p->pictureW = d->pictureWidth, p->pictureH = d->pictureHeight;
    int32_t x0 = p->rx, y0 = p->ry;
    int64_t x1 = int64_t(p->rx) + p->shownW, y1 = int64_t(p->ry) + p->shownH;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > p->pictureW) x1 = p->pictureW;
    if (y1 > p->pictureH) y1 = p->pictureH;
    if (x1 <= x0 || y1 <= y0) return ERR_WRONGUSAGE;
    const int32_t w = int32_t(x1 - x0), h = int32_t(y1 - y0);
    if (!p->work || p->cw != w || p->ch != h) {
        FreeBitmap(p->work);
        FreeBitmap(p->background);
        p->work = AllocBitmap(w, h, 0, 0);
        p->background = AllocBitmap(w, h, 0, 0);
        if (!p->work || !p->background) return ERR_BITMAP;
    }
    p->cx = x0, p->cy = y0, p->cw = w, p->ch = h;
    p->srcX = x0 - p->rx, p->srcY = y0 - p->ry;
    if (cxBitmap *back = FirstBack(d)) BltBitmap(back, x0, y0, p->background, 0, 0, w, h);
    return 0;
}

int DrawFrame(cxAnimPlayback *p) {
    cxAnim *a = p->anim;
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, p->frame - 1, 0, 0, &b, &m, &al)) return err;
    bool owned = a->diskBased != 0;
    int32_t fw = a->width, fh = a->height;
    if (p->transform) {
        cxBitmap *tb = nullptr, *tm = nullptr, *ta = nullptr;
        int32_t tw = 0, th = 0;
        const int err = TransformBitmapByMatrix(b, m, al, a->width, a->height, p->t.matrix, p->t.smoothScale, &tb, &tm,
                                                &ta, &tw, &th);
        if (owned) FreeSet(b, m, al);
        if (err) return err;
        b = tb, m = tm, al = ta, fw = tw, fh = th;
        owned = true;
    }
    // The transformed size may differ by a pixel from the one measured.
    const int32_t w = std::min(p->cw, fw - p->srcX), h = std::min(p->ch, fh - p->srcY);
    if (w > 0 && h > 0) {
        if (!m && !al) {
            SafeBlt(p->L, b, p->srcX, p->srcY, nullptr, p->cx, p->cy, w, h, fw, fh, p->pictureW, p->pictureH,
                    CX_SAFEBLT_FIRSTBACK, nullptr, nullptr, nullptr);
        } else {
            BltBitmap(p->background, 0, 0, p->work, 0, 0, p->cw, p->ch);
            if (al) BltBitmapAlpha(b, p->srcX, p->srcY, p->work, 0, 0, w, h, al);
            else BltBitmapMask(b, p->srcX, p->srcY, p->work, 0, 0, w, h, m);
            SafeBlt(p->L, p->work, 0, 0, nullptr, p->cx, p->cy, p->cw, p->ch, p->cw, p->ch, p->pictureW, p->pictureH,
                    CX_SAFEBLT_FIRSTBACK, nullptr, nullptr, nullptr);
        }
    }
    if (owned) FreeSet(b, m, al);
    return 0;
}

}  // namespace

extern "C" int AnimPlaybackStep(cxAnimPlayback *p, int *done) {
    *done = 0;
    cxOsTimeVal now;
    OsGetSysTime(&now);
    if (p->async && OsCmpTime(&now, &p->last) < 0) return 0;
    if (p->layer) {
        // A layer removed meanwhile (by an event handler) ends the playback.
        if (!IsAnimLayerListed(p->layer)) {
            *done = 1;
            return 0;
        }
        if (int err = SetAnimLayerFrame(p->L, p->layer, p->frame - 1)) return err;
    } else if (int err = DrawFrame(p)) {
        return err;
    }
    const int32_t d = p->delay == kDefaultSpeed ? GetAnimFrameDelay(p->anim, p->frame - 1) : p->delay;
    if (p->async) {
        if (d > 0) AddMs(&p->last, d);
        else p->last = now;
    } else {
        if (d > 0) {
            const int64_t wait = int64_t(d) - MsSince(p->last);
            if (wait > 0) {
                if (int err = DelayWithEvents(p->L, int(wait))) return err;
            }
        }
        OsGetSysTime(&p->last);
    }
    if (++p->frame > p->anim->frames) {
        if (p->times != 0 && p->pass >= p->times) {
            *done = 1;
            return 0;
        }
        ++p->pass;
        p->frame = 1;
    }
    return 0;
}

extern "C" void FreeAnimPlayback(cxAnimPlayback *p) {
    if (!p) return;
    // (At exit the anims may have gone first.)
    for (cxAnim *a = GetFirstAnim(); a; a = reinterpret_cast<cxAnim *>(a->header.next))
        if (a == p->anim && a->lockCount > 0) a->lockCount--;
    FreeBitmap(p->work);
    FreeBitmap(p->background);
    delete p;
}

extern "C" int AnimPlaybackStepIn(lua_State *L, cxAnimPlayback *p, int *done) {
    p->L = L;
    return AnimPlaybackStep(p, done);
}

extern "C" cxAnim *GetAnimPlaybackAnim(const cxAnimPlayback *p) { return p ? p->anim : nullptr; }
extern "C" void *GetAnimPlaybackLayer(const cxAnimPlayback *p) { return p ? p->layer : nullptr; }
extern "C" void SetAnimPlaybackLayer(cxAnimPlayback *p, void *layer) { p->layer = layer; }

namespace {

}  // namespace

extern "C" int StartAnimPlayback(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t speed, int32_t times,
                                 int async, int optionsIndex, cxAnimPlayback **out) {
    *out = nullptr;
    cxObjectID selected{};
    if (GetSelectedAnim(&selected, nullptr) && selected.number == id.number && selected.pointer == id.pointer)
        EndRenderTarget(L);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (int err = CheckOutput(d)) return err;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    auto *p = new (std::nothrow) cxAnimPlayback;
    if (!p) return ERR_MEM;
    p->L = L;
    p->display = d;
    p->anim = a;
    p->id = id;
    p->x = x, p->y = y;
    p->times = times < 0 ? 1 : times;
    p->async = async != 0;
    p->delay = SpeedToDelay(speed);
    int err = 0;
    if (optionsIndex > 0)
        err = ReadDisplayOptions(L, optionsIndex, a->width, a->height, 0, 0, 0, &p->t, &p->l,
                                 CX_DOPT_INIT | CX_DOPT_NEEDTABLE);
    else InitTransformOptions(&p->t), InitLayerOptions(&p->l);
    if (err) {
        delete p;
        return err;
    }
    a->lockCount++;
    p->shownW = a->width, p->shownH = a->height;
    p->transform = !IsIdentityMatrix(p->t.matrix);
    if (p->transform) GetDisplayedSize(p->t.matrix, a->width, a->height, &p->shownW, &p->shownH);
    p->rx = ResolveSpecialX(x, p->shownW, d->pictureWidth, p->t.anchorX);
    p->ry = ResolveSpecialY(y, p->shownH, d->pictureHeight, p->t.anchorY);
    if (d->layersOn && AnimLayersAvailable()) {
        err = AddAnimLayer(L, p->id, 0, x, y, &p->t, &p->l, &p->layer);
    } else {
        p->rx -= int32_t(p->shownW * p->t.anchorX);
        p->ry -= int32_t(p->shownH * p->t.anchorY);
        err = GrabBackground(p);
    }
    if (err) {
        FreeAnimPlayback(p);
        return err;
    }
    OsGetSysTime(&p->last);
    *out = p;
    return 0;
}

namespace {

// The synchronous loop: events, a step, the display's frame, until the
// last pass ends.
int PlaySync(cxAnimPlayback *p) {
    int err = 0;
    for (;;) {
        int code = 0;
        if (ProcessEvents(p->L, CX_PUMP_WAITING, 0, &code)) {
            err = code;
            break;
        }
        // An event handler may have closed the display: the playback ends.
        bool listed = false;
        for (cxDisplay *d = GetFirstDisplay(); d && !listed; d = GetNextDisplay(d)) listed = d == p->display;
        if (!listed) break;
        if (!p->layer && (p->display->pictureWidth != p->pictureW || p->display->pictureHeight != p->pictureH)) {
            if ((err = GrabBackground(p))) break;
        }
        int done = 0;
        if ((err = AnimPlaybackStep(p, &done)) || done) break;
        WaitDisplayFrame(p->L, p->display, 0);
    }
    FreeAnimPlayback(p);
    return err;
}

}  // namespace

extern "C" int PlayAnimByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t speed, int32_t times,
                            int async, int optionsIndex, cxAsyncPlaybackHandle *handle) {
    cxAnimPlayback *p = nullptr;
    if (int err = StartAnimPlayback(L, id, x, y, speed, times, async, optionsIndex, &p)) return err;
    if (!async) return PlaySync(p);
    if (int err = StartAsyncPlayback(L, p, handle)) {
        FreeAnimPlayback(p);
        return err;
    }
    return 0;
}

extern "C" int CmdPlayAnim(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int n = lua_gettop(L);
    const int32_t x = n >= 2 && !lua_isnil(L, 2) ? Int(L, 2) : 0, y = n >= 3 && !lua_isnil(L, 3) ? Int(L, 3) : 0;
    int32_t speed = 0, times = 1;
    int async = 0, options = 0;
    if (n == 4 && lua_istable(L, 4)) {
        options = 4;
        GetTableInt(L, 4, "speed", &speed, nullptr);
        GetTableInt(L, 4, "times", &times, nullptr);
        GetTableTruth(L, 4, "async", &async, nullptr);
    } else {
        if (n >= 4 && !lua_isnil(L, 4)) speed = Int(L, 4);
        if (n >= 5 && !lua_isnil(L, 5)) times = Int(L, 5);
    }
    cxAsyncPlaybackHandle handle{};
    if (int err = PlayAnimByID(L, id, x, y, speed, times, async, options, &handle)) return err;
    if (!async) return 0;
    return PushObjectID(L, handle.id);
}

extern "C" int CmdPlayAnimDisk(lua_State *L) {
    CheckArgCount(L, 1, 7, 0, 0);
    const int n = lua_gettop(L);
    const char *file = GetFileNameArg(L, 1, 0, nullptr);
    const int32_t x = n >= 2 && !lua_isnil(L, 2) ? Int(L, 2) : 0, y = n >= 3 && !lua_isnil(L, 3) ? Int(L, 3) : 0;
    const int options = n == 4 && lua_istable(L, 4) ? 4 : 0;
    const int32_t speed = n >= 5 && !lua_isnil(L, 5) ? Int(L, 5) : 0;
    const int32_t times = n >= 7 && !lua_isnil(L, 7) ? Int(L, 7) : 1;
    cxAnimLoadOptions o;
    InitAnimLoadOptions(&o);
    if (n >= 6 && !lua_isnil(L, 6)) o.transparentColour = int32_t(uint32_t(int64_t(luaL_checknumber(L, 6))));
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxAnim *a = nullptr;
    if (int err = LoadAnimCore(L, CX_LOAD_DISKANIM, &id, file, &o, &a)) return err;
    const int err = PlayAnimByID(L, id, x, y, speed, times, 0, options, nullptr);
    FreeAnimByID(L, id, 0);
    return err;
}

extern "C" int CmdDisplayAnimFrame(lua_State *L) {
    CheckArgCount(L, 4, 5, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t x = Int(L, 2), y = Int(L, 3), frame = Int(L, 4);
    return DisplayAnimFrameByID(L, id, x, y, frame, lua_gettop(L) >= 5 ? 5 : 0);
}

extern "C" int DisplayAnimFrameByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame,
                                    int optionsIndex) {
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    if (frame < 1 || frame > a->frames) return ERR_ANIMFRAME;
    // With layers on the display core makes the anim layer.
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, frame - 1, 0, 0, &b, &m, &al)) return err;
    cxDrawRequest r{};
    r.kind = CX_OBJ_ANIM;
    r.id = id;
    r.bitmap = b, r.mask = m, r.alpha = al;
    r.objectWidth = a->width, r.objectHeight = a->height;
    r.x = x, r.y = y;
    r.optionsIndex = optionsIndex;
    r.value = frame - 1;
    const int err = DrawBitmapCore(L, &r);
    if (a->diskBased) FreeSet(b, m, al);
    return err;
}

extern "C" int CmdSelectAnim(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t frame = Int(L, 2);
    const int32_t mode = lua_gettop(L) >= 3 && !lua_isnil(L, 3) ? Int(L, 3) : 0;
    const int32_t value = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? Int(L, 4) : 0;
    return SelectRenderTarget(L, CX_OBJ_ANIM, id, 3, frame, mode, value);
}

extern "C" int AnimFrameTarget(lua_State *L, cxObjectID id, int32_t frame, int forWriting, cxBitmap **bitmap,
                               cxBitmap ***maskSlot, cxBitmap ***alphaSlot, int32_t *width, int32_t *height) {
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, forWriting ? CX_ANIM_WRITE : 0u)) return err;
    if (a->diskBased) return ERR_ANIMDISK;
    if (frame < 0 || frame >= a->frames) return ERR_ANIMFRAME;
    if (int err = RealizeAnim(a)) return err;
    *bitmap = a->bitmaps[frame];
    *maskSlot = &a->masks[frame];
    *alphaSlot = &a->alphas[frame];
    *width = a->width;
    *height = a->height;
    return 0;
}
