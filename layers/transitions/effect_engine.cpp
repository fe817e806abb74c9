#include "layers/transitions/effect_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/events/event_pump.h"
#include "display/present.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "platform/os_time.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_display.h"
#include "images/bgpics/bgpic_fill.h"
#include "images/brushes/brush.h"
#include "images/core/render_target.h"
#include "layers/core/async_draw.h"
#include "layers/ops/layer_frames.h"
#include "layers/core/compositor.h"
#include "layers/core/effect_hooks.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/core/layer_states.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_traits.h"
#include "text/library/text_objects.h"

namespace {

constexpr uint32_t kOutDisplay = 21;
constexpr int32_t kInvalidEffect = -1000;

// How a step reaches the window.
enum Present {
    kPresentNone,      // off screen: counted only
    kPresentRefresh,   // the target is what the window shows: copy the box
    kPresentComposite, // the target is the background under layers: recomposite the box
    kPresentLayer      // layer mode: recomposite the layer's box
};

}  // namespace

struct cxEffectRun {
    cxDisplay *display = nullptr;
    cxBGPic *bgpic = nullptr;       // the picture the effect works on
    int32_t bgpicWidth = 0, bgpicHeight = 0;
    cxLayer *inserted = nullptr;    // a layer this command made
    uint32_t savedHidden = 0;
    bool layerGone = false;
    bool imageChanged = false;
    bool transition = false;
    int present = kPresentNone;
    cxAsyncDraw *draw = nullptr;
    bool driveHere = false;         // a playing video layer: the command runs the draw itself
    const cxEffectTraits *traits = nullptr;
    cxEffectInstance *command = nullptr;
};

namespace {

std::vector<cxEffectInstance *> g_running;
bool g_transition = false;

int DefaultPump(lua_State *L, int *code) { return ProcessEvents(L, CX_PUMP_WAITING, 0, code); }

// One step a frame: the display's frame wait, and where it does not wait
// (no frame limiter, no adapter's vertical blank) a pace of 60 frames a
// second of the engine's own.
constexpr int64_t kFrameMicros = 16667;
int64_t g_nextFrame = 0;

int64_t NowMicros() {
    cxOsTimeVal t{};
    OsGetMonotonicTime(&t);
    return int64_t(t.seconds) * 1000000 + t.microseconds;
}

void DefaultWait(lua_State *L, cxDisplay *d) {
    WaitDisplayFrame(L, d, 0);
    const int64_t now = NowMicros();
    // Late, or a new run: the pace starts here.
    if (g_nextFrame == 0 || now >= g_nextFrame + kFrameMicros || now + 4 * kFrameMicros < g_nextFrame)
        g_nextFrame = now + kFrameMicros;
    if (now < g_nextFrame) OsDelayMs(uint32_t((g_nextFrame - now + 999) / 1000));
    g_nextFrame += kFrameMicros;
}
cxEffectLoopHooks g_loop{DefaultPump, DefaultWait};

int32_t Saturate(double v, int32_t invalid) {
    if (std::isnan(v)) return invalid;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(std::trunc(v));
}

bool IsLayerTarget(int32_t t) {
    return t == CX_FXTARGET_LAYER || t == CX_FXTARGET_HIDELAYER || t == CX_FXTARGET_REMOVELAYER;
}

bool DisplayAlive(const cxDisplay *d) {
    for (cxDisplay *x = GetFirstDisplay(); x; x = GetNextDisplay(x))
        if (x == d) return true;
    return false;
}

void Unregister(cxEffectInstance *fx) {
    g_running.erase(std::remove(g_running.begin(), g_running.end(), fx), g_running.end());
}

int Register(cxEffectInstance *fx) {
    try {
        g_running.push_back(fx);
    } catch (...) {
        return ERR_MEM;
    }
    return 0;
}

// ---- pictures ----

// A copy of a rectangle of an image with its mask and alpha channel.
int CopyImage(const cxBitmap *b, const cxBitmap *m, const cxBitmap *a, int32_t x, int32_t y, int32_t w, int32_t h,
              cxEffectInstance *fx) {
    cxBitmap *nb = nullptr, *nm = nullptr, *na = nullptr;
    if (int err = ConvertBitmapFx(b, m, a, x, y, w, h, &nb, &nm, &na)) return err;
    fx->newImage = nb, fx->newMask = nm, fx->newAlpha = na;
    fx->ownsNew = fx->ownsMask = fx->ownsAlpha = 1;
    fx->width = w, fx->height = h;
    return 0;
}

void FreeNew(cxEffectInstance *fx) {
    if (fx->ownsNew) FreeEffectBitmap(&fx->newImage);
    if (fx->ownsMask) FreeEffectBitmap(&fx->newMask);
    if (fx->ownsAlpha) FreeEffectBitmap(&fx->newAlpha);
    fx->newImage = fx->newMask = fx->newAlpha = nullptr;
    fx->ownsNew = fx->ownsMask = fx->ownsAlpha = 0;
}

// What the effect rectangle shows now into dst (W x H): on a display the
// BGPic recomposited with its layers (skip left out), off screen the
// output bitmap. Parts outside the picture stay as they are.
void CaptureBackground(cxEffectInstance *fx, cxBitmap *dst, const cxLayer *skip) {
    int32_t x = fx->dx, y = fx->dy, w = fx->width, h = fx->height;
    cxEffectRun *run = fx->run;
    if (run && run->display && run->bgpic && run->display->layersOn && run->present != kPresentComposite) {
        cxBGPic *b = run->bgpic;
        if (!ClipRectToArea(0, 0, b->currentWidth, b->currentHeight, &x, &y, &w, &h)) return;
        cxBitmap *tmp = AllocBitmap(x + w, y + h, 0, 0);
        if (!tmp) return;
        RedrawLayersRect(fx->L, run->display, b, tmp, x, y, w, h, CX_REDRAW_NOSPRITES, skip);
        BltBitmap(tmp, x, y, dst, x - fx->dx, y - fx->dy, w, h);
        FreeBitmap(tmp);
        return;
    }
    const cxBitmap *src = fx->drawTarget;
    if (!src || !ClipRectToArea(0, 0, src->width, src->height, &x, &y, &w, &h)) return;
    BltBitmap(src, x, y, dst, x - fx->dx, y - fx->dy, w, h);
}

// A new W x H bitmap with what the rectangle shows now.
int CaptureNew(cxEffectInstance *fx, const cxLayer *skip, cxBitmap **out) {
    *out = AllocBitmap(fx->width, fx->height, CX_ALLOC_CLEAR, 0);
    if (!*out) return ERR_BITMAP;
    CaptureBackground(fx, *out, skip);
    return 0;
}

// The new picture's transparency as an alpha channel of W x H.
int MakeChannel(cxEffectInstance *fx, cxBitmap **out) {
    *out = AllocAlphaChannel(fx->width, fx->height, 1, nullptr, 0);
    if (!*out) return ERR_ALLOCALPHA;
    if (fx->newAlpha) BltAlphaToAlphaClipped(fx->newAlpha, 0, 0, *out, 0, 0, fx->width, fx->height, 0, 0);
    else if (fx->newMask) MaskToAlphaChannel(fx->newMask, *out, fx->width, fx->height, 255);
    else FillAlphaRect(*out, 0, 0, fx->width, fx->height, 255);
    return 0;
}

// Layer mode: the canvas starts as the new picture, shown (hiding) or
// hidden (showing).
int PrepareCanvas(cxEffectInstance *fx) {
    fx->canvas = AllocBitmap(fx->width, fx->height, 0, 0);
    if (!fx->canvas) return ERR_BITMAP;
    BltBitmap(fx->newImage, 0, 0, fx->canvas, 0, 0, fx->width, fx->height);
    if (int err = MakeChannel(fx, &fx->canvasBase)) return err;
    fx->canvasAlpha = AllocAlphaChannel(fx->width, fx->height, 1, nullptr, 0);
    if (!fx->canvasAlpha) return ERR_ALLOCALPHA;
    if (fx->reverse) BltAlphaToAlphaClipped(fx->canvasBase, 0, 0, fx->canvasAlpha, 0, 0, fx->width, fx->height, 0, 0);
    return 0;
}

// The pictures every effect needs once the new picture is known: the old
// one, the flattened new one, the canvas; then the step function's set-up.
int PreparePictures(cxEffectInstance *fx, const cxEffectTraits *t, const cxLayer *layer) {
    const bool empty = fx->width < 1 || fx->height < 1;
    if (!empty) {
        const bool needOld = (t->flags & CX_FXT_OLD_ALWAYS) ||
                             (!fx->layerMode && (t->flags & CX_FXT_OLD_DIRECT)) ||
                             (fx->layerMode && (t->flags & CX_FXT_OLD_LAYER));
        if (needOld && !fx->oldImage) {
            // Hiding shows the layer in the old picture where the family
            // fades or distorts it away.
            const bool withLayer = fx->reverse && ((t->flags & CX_FXT_OLD_WITHLAYER) ||
                                                   (!fx->layerMode && (t->flags & CX_FXT_OLD_WITHLAYER_DIRECT)));
            if (int err = CaptureNew(fx, withLayer ? nullptr : layer, &fx->oldImage)) return err;
        }
        // Outside layer mode a transparent picture is laid on what lies
        // under it first, unless the family draws through its mask.
        if (!fx->layerMode && fx->target != CX_FXTARGET_BGPIC && (fx->newMask || fx->newAlpha) &&
            !(t->flags & CX_FXT_KEEPCHANNEL)) {
            cxBitmap *flat = nullptr;
            if (int err = CaptureNew(fx, layer, &flat)) return err;
            if (fx->newMask) BltBitmapMask(fx->newImage, 0, 0, flat, 0, 0, fx->width, fx->height, fx->newMask);
            else BltBitmapAlpha(fx->newImage, 0, 0, flat, 0, 0, fx->width, fx->height, fx->newAlpha);
            FreeNew(fx);
            fx->newImage = flat;
            fx->ownsNew = 1;
        }
        if (fx->layerMode) {
            if (int err = PrepareCanvas(fx)) return err;
        }
    }
    fx->step = t->step;
    fx->cleanup = t->cleanup;
    fx->phase = CX_FXPHASE_INIT;
    fx->counter = fx->steps = 0;
    fx->fadeLevel = -1;
    if (int err = fx->step(fx, nullptr)) return err;
    if (fx->steps < 1) fx->steps = 1;
    fx->phase = CX_FXPHASE_STEP;
    return 0;
}

// ---- presenting ----

void ClearDirty(cxEffectInstance *fx) { fx->dirtyX = fx->dirtyY = fx->dirtyWidth = fx->dirtyHeight = 0; }

// The layer's border and shadow fade in (or out) with the effect.
bool UpdateBorderFade(cxEffectInstance *fx) {
    cxLayer *l = fx->layer;
    if (!l || fx->noBorderFade || !(l->border.on || l->shadow.on)) return false;
    int32_t level;
    if ((fx->run && fx->run->traits && (fx->run->traits->flags & CX_FXT_FADEBORDER)) && fx->fadeLevel >= 0) {
        level = fx->fadeLevel;
    } else {
        level = int32_t(int64_t(fx->counter) * 255 / std::max(fx->steps, 1));
        if (fx->reverse) level = 255 - level;
    }
    level = std::clamp(level, 0, 255) + 1;
    if (l->borderFade == level && l->shadowFade == level) return false;
    l->borderFade = l->shadowFade = level;
    FreeLayerShadows(l);
    return true;
}

void PresentStep(cxEffectInstance *fx) {
    if (fx->noPresent || fx->dirtyWidth <= 0 || fx->dirtyHeight <= 0) {
        if (!fx->noPresent && fx->layerMode) UpdateBorderFade(fx);
        ClearDirty(fx);
        return;
    }
    ++fx->presents;
    cxEffectRun *run = fx->run;
    cxDisplay *d = run ? run->display : nullptr;
    if (!run || !d || fx->output) {
        ClearDirty(fx);
        return;
    }
    int32_t x = fx->dirtyX, y = fx->dirtyY, w = fx->dirtyWidth, h = fx->dirtyHeight;
    switch (run->present) {
    case kPresentRefresh: {
        x += fx->dx, y += fx->dy;
        if (!ClipRectToArea(0, 0, d->pictureWidth, d->pictureHeight, &x, &y, &w, &h)) break;
        const cxSafeBltHooks *hooks = GetSafeBltHooks();
        if (hooks->spriteOverlaps && d->bgpic && hooks->spriteOverlaps(d->bgpic, x, y, w, h) &&
            hooks->redrawLayersRect && hooks->backBitmap && d->layersOn != 1) {
            // Sprites over the rectangle: what the window shows is made in
            // the second back bitmap, sprites on top.
            if (cxBitmap *second = hooks->backBitmap(d, 1)) {
                BltBitmap(fx->drawTarget, x, y, second, x, y, w, h);
                hooks->redrawLayersRect(fx->L, d, d->bgpic, second, x, y, w, h, 0, 2);
                if (hooks->refreshRegion) hooks->refreshRegion(second, x, y, d, x, y, w, h, 0);
                break;
            }
        }
        if (hooks->refreshRegion) hooks->refreshRegion(fx->drawTarget, x, y, d, x, y, w, h, 0);
        break;
    }
    case kPresentComposite:
        x += fx->dx, y += fx->dy;
        if (d->bgpic == run->bgpic) RedrawDisplayRectOf(fx->L, d, x, y, w, h);
        break;
    case kPresentLayer: {
        cxLayer *l = fx->layer;
        if (!l) break;
        const cxLayerState *s = l->display;
        x += s->drawX, y += s->drawY;
        if (UpdateBorderFade(fx)) {
            int32_t bx, by, bw, bh;
            GetLayerBounds(fx->L, l, l->display, &bx, &by, &bw, &bh);
            UnionRect(&x, &y, &w, &h, bx, by, bw, bh);
        }
        if (GetLayerBGPic(l) != d->bgpic) break;
        if (d->targetKind == kOutDisplay) RedrawDisplayRectOf(fx->L, d, x, y, w, h);
        else MarkRectDirty(fx->L, x, y, w, h);
        break;
    }
    default: break;
    }
    ClearDirty(fx);
}

// The direct-mode target of a display (it may be made again meanwhile).
cxBitmap *DisplayTarget(cxEffectInstance *fx) {
    cxEffectRun *run = fx->run;
    cxDisplay *d = run->display;
    if (fx->output) return fx->output;
    if (fx->target == CX_FXTARGET_BGPIC || IsLayerTarget(fx->target))
        return d->layersOn == 1 ? GetCompositionBuffer(fx->L, d) : d->picture;
    return d->picture;
}

// ---- the end ----

void DetachLayer(cxEffectInstance *fx) {
    if (cxLayer *l = fx->layer) {
        l->effect = 0;
        l->borderFade = l->shadowFade = 0;
        FreeLayerShadows(l);
    }
}

void RefreshWholeLayer(cxEffectInstance *fx, cxLayer *l) {
    if (!l) return;
    int32_t x, y, w, h;
    GetLayerBounds(fx->L, l, l->display, &x, &y, &w, &h);
    MarkRectDirty(fx->L, x, y, w, h);
}

// The BGPic shows its new picture in full (the end of a BGPic transition,
// or what is left when one stops early).
void ShowNewPicture(cxEffectInstance *fx) {
    cxEffectRun *run = fx->run;
    if (!run || !run->display || !DisplayAlive(run->display) || !fx->newImage) return;
    cxDisplay *d = run->display;
    if (d->bgpic != run->bgpic) return;
    cxBitmap *t = DisplayTarget(fx);
    if (t && t->width == fx->width && t->height == fx->height) {
        BltBitmap(fx->newImage, 0, 0, t, 0, 0, fx->width, fx->height);
        const cxSafeBltHooks *hooks = GetSafeBltHooks();
        if (hooks->refreshRegion) hooks->refreshRegion(t, 0, 0, d, 0, 0, fx->width, fx->height, 0);
    } else {
        RefreshWholeDisplay(fx->L, d, 0);
    }
}

void FinishEffect(cxEffectInstance *fx) {
    if (fx->finished) return;
    fx->finished = 1;
    cxEffectRun *run = fx->run;
    if (!run) return;
    if (fx->target == CX_FXTARGET_BGPIC) {
        ShowNewPicture(fx);
        return;
    }
    cxLayer *l = fx->layer;
    if (!l || run->layerGone) return;
    DetachLayer(fx);
    switch (fx->target) {
    case CX_FXTARGET_LAYER:
        l->hidden = 0;
        l->suppressed = 0;
        if (fx->layerMode) RefreshWholeLayer(fx, l);
        else RefreshLayer(fx->L, l, 1);
        break;
    case CX_FXTARGET_HIDELAYER:
        l->hidden = 1;
        RefreshWholeLayer(fx, l);
        break;
    case CX_FXTARGET_REMOVELAYER:
        fx->layer = nullptr;
        UnlinkLayer(fx->L, l, 0, nullptr, nullptr, 1);
        break;
    default: break;
    }
    if (fx->target != CX_FXTARGET_REMOVELAYER)
        if (cxBGPic *b = GetLayerBGPic(l)) MarkLayersChanged(b);
    run->inserted = nullptr;
}

}  // namespace

extern "C" void ReleaseEffect(cxEffectInstance *fx, int normalEnd) {
    if (!fx) return;
    cxEffectRun *run = fx->run;
    if (run && !fx->finished) {
        if (fx->target == CX_FXTARGET_BGPIC) {
            ShowNewPicture(fx);
        } else if (cxLayer *l = run->layerGone ? nullptr : fx->layer) {
            DetachLayer(fx);
            if (run->inserted == l) {
                // A layer this command made for an effect that did not end
                // goes again (a restart makes a new one).
                fx->layer = nullptr;
                UnlinkLayer(fx->L, l, 0, nullptr, nullptr, 1);
            } else {
                // Showing leaves the layer hidden; hiding and removing
                // leave it as it was.
                l->hidden = fx->target == CX_FXTARGET_LAYER ? 1 : run->savedHidden;
                RefreshWholeLayer(fx, l);
            }
        }
    } else if (run && fx->layer && !run->layerGone) {
        DetachLayer(fx);
    }
    if (fx->cleanup && fx->step) fx->cleanup(fx, normalEnd);
    free(fx->state);
    fx->state = nullptr;
    FreeNew(fx);
    if (fx->oldImage != fx->spare) FreeEffectBitmap(&fx->oldImage);
    fx->oldImage = nullptr;
    FreeEffectBitmap(&fx->spare);
    FreeEffectBitmap(&fx->canvas);
    FreeEffectBitmap(&fx->canvasAlpha);
    FreeEffectBitmap(&fx->canvasBase);
    Unregister(fx);
    if (run) {
        if (run->transition) g_transition = false;
        delete run;
        fx->run = nullptr;
    }
}

namespace {

void FreeEffect(cxEffectInstance *fx, int normalEnd) {
    ReleaseEffect(fx, normalEnd);
    free(fx);
}

// ---- one step ----

int CallStep(cxEffectInstance *fx, int *done) {
    ClearDirty(fx);
    fx->phase = CX_FXPHASE_STEP;
    int d = 0;
    const int err = fx->step(fx, &d);
    *done = d;
    if (!err) PresentStep(fx);
    else ClearDirty(fx);
    return err;
}

// ---- a layer's new image ----

// The layer's image as it shows now (filtered), a copy of W x H at the
// layer's place.
int ReadLayerImage(cxEffectInstance *fx, cxLayer *l) {
    cxLayerShown img{};
    if (int err = GetLayerImage(fx->L, l, l->display, 1, 0, &img)) return err;
    fx->dx = l->display->drawX, fx->dy = l->display->drawY;
    if (!img.bitmap || img.width < 1 || img.height < 1) {
        fx->width = fx->height = 0;
        return 0;
    }
    return CopyImage(img.bitmap, img.mask, img.alpha, img.srcX, img.srcY, img.width, img.height, fx);
}

// The layer's image changed while the effect ran on it (layer mode): the
// effect goes on with the new image, from the same share of its steps.
int ReloadLayerImage(cxEffectInstance *fx) {
    cxLayer *l = fx->layer;
    if (!l) return 0;
    const int32_t oldW = fx->width, oldH = fx->height, oldCounter = fx->counter, oldSteps = fx->steps;
    FreeNew(fx);
    if (int err = ReadLayerImage(fx, l)) return err;
    if (fx->width == oldW && fx->height == oldH) {
        FreeEffectBitmap(&fx->canvasBase);
        if (int err = MakeChannel(fx, &fx->canvasBase)) return err;
        BltBitmap(fx->newImage, 0, 0, fx->canvas, 0, 0, fx->width, fx->height);
        return SeekEffect(fx, oldCounter, 1);
    }
    // Another size: the canvas and the family start over and seek the same
    // share of the way.
    if (fx->cleanup) fx->cleanup(fx, 0);
    free(fx->state);
    fx->state = nullptr;
    FreeEffectBitmap(&fx->canvas);
    FreeEffectBitmap(&fx->canvasAlpha);
    FreeEffectBitmap(&fx->canvasBase);
    if (fx->oldImage != fx->spare) FreeEffectBitmap(&fx->oldImage);
    fx->oldImage = nullptr;
    fx->speed = fx->initialSpeed;
    if (int err = PreparePictures(fx, fx->run->traits, l)) return err;
    int32_t counter = oldSteps > 0 ? int32_t(std::lrint(double(fx->steps) * oldCounter / oldSteps)) : 0;
    counter = std::clamp(counter, oldCounter > 0 ? 1 : 0, fx->steps);
    return SeekEffect(fx, counter, 1);
}

// ---- the layer core's questions ----

int CanvasHook(const cxLayer *layer, const cxLayerState *s, cxLayerShown *out) {
    for (cxEffectInstance *fx : g_running) {
        if (fx->layer != layer || !fx->layerMode || !fx->canvas) continue;
        if (s->width != fx->width || s->height != fx->height) return 0;
        *out = {fx->canvas, nullptr, fx->canvasAlpha, 0, 0, fx->width, fx->height};
        return 1;
    }
    return 0;
}

void LayerFreedHook(lua_State *, cxLayer *layer) {
    for (cxEffectInstance *fx : g_running) {
        if (fx->layer != layer) continue;
        fx->layer = nullptr;
        if (fx->run) fx->run->layerGone = true;
    }
}

void ImageReplacedHook(lua_State *, cxLayer *layer) {
    const std::vector<cxEffectInstance *> running = g_running;
    for (cxEffectInstance *fx : running) {
        if (fx->layer != layer || !fx->run) continue;
        if (!fx->layerMode) {
            // The picture under a direct effect is no longer right: the
            // command runs it again.
            fx->run->imageChanged = true;
            continue;
        }
        if (ReloadLayerImage(fx)) fx->run->layerGone = true;
    }
}

// ---- async draws ----

int AsyncFrame(lua_State *L, cxAsyncDraw *draw, int *done) {
    auto *fx = static_cast<cxEffectInstance *>(draw->userData);
    cxEffectRun *run = fx->run;
    if (!run || run->layerGone || !fx->layer || fx->finished) {
        *done = 1;
        return 0;
    }
    fx->L = L;
    return CallStep(fx, done);
}

void AsyncFinish(lua_State *L, cxAsyncDraw *draw) {
    auto *fx = static_cast<cxEffectInstance *>(draw->userData);
    fx->L = L;
    FinishEffect(fx);
}

void AsyncRelease(cxAsyncDraw *draw) {
    auto *fx = static_cast<cxEffectInstance *>(draw->userData);
    draw->userData = nullptr;
    if (fx) FreeEffect(fx, fx->finished);
}

intptr_t AsyncControl(cxAsyncDraw *draw, int code, void *object) {
    auto *fx = static_cast<cxEffectInstance *>(draw->userData);
    if (!fx) return 0;
    switch (code) {
    case CX_ASYNC_LAYER_REPLACED: {
        auto **pair = static_cast<cxLayer **>(object);
        if (!pair || pair[0] != fx->layer) return 0;
        // The effect follows the layer that takes the old one's place.
        pair[0]->effect = 0;
        fx->layer = pair[1];
        pair[1]->effect = 1;
        return 0;
    }
    case CX_ASYNC_ANIMATES: return object && object == fx->layer ? 1 : 0;
    case CX_ASYNC_STEPS: return fx->steps;
    case CX_ASYNC_STEP: return fx->counter;
    case CX_ASYNC_SEEK: return SeekEffect(fx, int32_t(reinterpret_cast<intptr_t>(object)), 0);
    case CX_ASYNC_REFRESH:
        RefreshWholeLayer(fx, fx->layer);
        return 0;
    case CX_ASYNC_NOPRESENT: fx->noPresent = object ? 1 : 0; return 0;
    default: return 0;
    }
}

// ---- the output target ----

// 0 to go on (a selection this effect may use was ended, or kept for an
// async effect), an error, or -1: nothing to do.
int CheckOutput(lua_State *L, cxDisplay *d, cxEffectInstance *fx) {
    if (d->targetKind == kOutDisplay) return 0;
    uint32_t kind = 0;
    if (!GetSelectedKind(&kind)) return -1;
    void *selected = GetSelectedObject(kind);
    if (kind == CX_OBJ_BGPIC) {
        cxBGPic *b = nullptr;
        if (fx->target == CX_FXTARGET_BGPIC && FindBGPic(L, fx->source, &b, 0) == 0 && b == selected) {
            EndRenderTarget(L);
            return 0;
        }
        if (fx->async && d->layersOn && selected == d->bgpic) return 0;
        return ERR_SELECTBG;
    }
    if (kind == CX_OBJ_BRUSH) {
        cxBrush *br = nullptr;
        if (fx->target == CX_FXTARGET_BRUSH && FindBrush(L, fx->source, &br, 0) == 0 && br == selected) {
            EndRenderTarget(L);
            return 0;
        }
    }
    if (kind == CX_OBJ_ANIM) return ERR_SELECTANIM;
    if (d->targetKind == CX_OUTPUT_MASK) return ERR_SELECTMASK;
    if (d->targetKind == CX_OUTPUT_ALPHA) return ERR_SELECTALPHACHANNEL;
    return ERR_SELECTBRUSH;
}

// ---- preparing the source by target ----

int32_t ResolveX(int32_t x, int32_t size, const cxDisplay *d) {
    return IsSpecialX(x) ? ResolveSpecialX(x, size, d->pictureWidth, 0) : x;
}
int32_t ResolveY(int32_t y, int32_t size, const cxDisplay *d) {
    return IsSpecialY(y) ? ResolveSpecialY(y, size, d->pictureHeight, 0) : y;
}

// A hidden layer at the front showing the object; the effect turns to it.
int InsertLayer(cxEffectInstance *fx, cxAddLayerRequest *r) {
    r->insertPos = 0;
    r->flags |= CX_ADDLAYER_HIDDEN | CX_ADDLAYER_NOREFRESH;
    cxLayer *l = nullptr;
    if (int err = AddLayer(fx->L, r, &l)) return err;
    fx->run->inserted = l;
    fx->layer = l;
    fx->target = CX_FXTARGET_LAYER;
    fx->source = cxObjectID{GetLayerListPos(l), nullptr};
    return 0;
}

int PrepareBrush(cxEffectInstance *fx, cxDisplay *d) {
    cxBrush *br = nullptr;
    if (int err = FindBrush(fx->L, fx->source, &br, 0)) return err;
    if (!br->bitmap) return ERR_BITMAP;
    const int32_t x = ResolveX(fx->dx, br->width, d), y = ResolveY(fx->dy, br->height, d);
    if (d->layersOn) {
        cxAddLayerRequest r{};
        r.type = CX_LAYER_BRUSH;
        r.source = fx->source;
        r.x = x, r.y = y;
        r.srcWidth = br->width, r.srcHeight = br->height;
        return InsertLayer(fx, &r);
    }
    fx->dx = x, fx->dy = y;
    return CopyImage(br->bitmap, br->mask, br->alpha, 0, 0, br->width, br->height, fx);
}

int PrepareTextObject(cxEffectInstance *fx, cxDisplay *d) {
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(fx->L, fx->source, &t, 0)) return err;
    if (!t->bitmap) return ERR_BITMAP;
    const int32_t x = IsSpecialX(fx->dx) ? ResolveX(fx->dx, t->width, d) : SaturateInt64(int64_t(fx->dx) + t->offsetX);
    const int32_t y = IsSpecialY(fx->dy) ? ResolveY(fx->dy, t->height, d) : SaturateInt64(int64_t(fx->dy) + t->offsetY);
    if (int err = CopyImage(t->bitmap, t->mask, t->alpha, 0, 0, t->width, t->height, fx)) return err;
    if (!d->layersOn) {
        fx->dx = x, fx->dy = y;
        return 0;
    }
    // The layer keeps its own copy of the object's image.
    cxLayerImageContent *c = NewImageContent(fx->newImage, fx->newMask, fx->newAlpha, fx->width, fx->height);
    if (!c) return ERR_MEM;
    cxAddLayerRequest r{};
    r.type = CX_LAYER_TEXTOBJECT;
    r.source = fx->source;
    r.x = x, r.y = y;
    r.srcWidth = fx->width, r.srcHeight = fx->height;
    r.content = c;
    r.image = cxLayerImage{fx->newImage, fx->newMask, fx->newAlpha, 0, 0, fx->width, fx->height, 0, 0,
                           fx->width, fx->height, 0};
    r.flags = CX_ADDLAYER_IMAGEREADY;
    if (int err = InsertLayer(fx, &r)) {
        free(c);
        return err;
    }
    fx->ownsNew = fx->ownsMask = fx->ownsAlpha = 0;  // the layer's now
    fx->newImage = fx->newMask = fx->newAlpha = nullptr;
    return 0;
}

int PreparePart(cxEffectInstance *fx, cxDisplay *d) {
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(fx->L, fx->source, &b, 0)) return err;
    if (int err = RealizeBGPic(fx->L, b)) return err;
    if (!b->current.bitmap) return ERR_BITMAP;
    int32_t sx = fx->srcX, sy = fx->srcY, w = fx->width, h = fx->height;
    int32_t x = ResolveX(fx->dx, w, d), y = ResolveY(fx->dy, h, d);
    // The part is cut to the BGPic; the destination moves along.
    const int32_t ox = sx, oy = sy;
    if (!ClipRectToArea(0, 0, b->currentWidth, b->currentHeight, &sx, &sy, &w, &h)) {
        fx->width = fx->height = 0;
        fx->dx = x, fx->dy = y;
        return 0;
    }
    x = SaturateInt64(int64_t(x) + (sx - ox)), y = SaturateInt64(int64_t(y) + (sy - oy));
    if (int err = CopyImage(b->current.bitmap, b->current.mask, b->current.alpha, sx, sy, w, h, fx)) return err;
    if (!(fx->layersFlag && d->layersOn)) {
        fx->dx = x, fx->dy = y;
        return 0;
    }
    cxLayerImageContent *c = NewImageContent(fx->newImage, fx->newMask, fx->newAlpha, w, h);
    if (!c) return ERR_MEM;
    cxAddLayerRequest r{};
    r.type = CX_LAYER_BGPICPART;
    r.source = fx->source;
    r.x = x, r.y = y;
    r.srcWidth = w, r.srcHeight = h;
    r.content = c;
    if (int err = InsertLayer(fx, &r)) {
        free(c);
        return err;
    }
    fx->ownsNew = fx->ownsMask = fx->ownsAlpha = 0;
    fx->newImage = fx->newMask = fx->newAlpha = nullptr;
    return 0;
}

// Layer mode, or may the layer be drawn straight onto the picture?
bool NeedsLayerMode(const cxEffectInstance *fx, const cxDisplay *d, const cxLayer *l, const cxBGPic *b) {
    if (fx->forceRealtime || fx->async || fx->bgpicEmu) return true;
    if (l->transparency || l->border.on || l->shadow.on || LayerHasFilters(l)) return true;
    if (l->borderFade || l->shadowFade) return true;
    if (d->os.scaledWidth || d->autoScale || d->layerScale) return true;
    if (l->display->clip && l->display->clip->shape) return true;
    // Drawn straight onto the picture only where the window shows the
    // layer's BGPic now and nothing lies over the layer.
    if (d->targetKind != kOutDisplay || b != d->bgpic) return true;
    if (!IsLayerUncovered(b, l)) return true;
    const cxLayerSpriteHooks *sprites = GetLayerSpriteHooks();
    const cxLayerState *s = l->display;
    if (sprites->overlaps && sprites->overlaps(const_cast<cxBGPic *>(b), s->drawX, s->drawY, s->width, s->height))
        return true;
    if (fx->reverse && (fx->run->traits->flags & CX_FXT_HIDE_LAYERMODE)) return true;
    return false;
}

int PrepareLayer(cxEffectInstance *fx, cxDisplay *d) {
    cxEffectRun *run = fx->run;
    cxBGPic *b = GetDisplayLayerBGPic(d);
    if (!d->layersOn || !b) return ERR_NOLAYERS;
    cxLayer *l = fx->layer ? fx->layer : GetLayerByPos(b, fx->source.number);
    if (!l) {
        SetErrorNumber(fx->source.number);
        return ERR_LAYERRANGE;
    }
    if (l->effect || IsAsyncDrawObject(l)) return ERR_ALREADYASYNC;
    // A playing video changes the layer every frame: the effect must take
    // its image anew each frame, as an asynchronous one does.
    if (!fx->async && IsLayerVideoPlaying(l)) {
        fx->async = 1;
        run->driveHere = true;
    }
    fx->layer = l;
    run->bgpic = b;
    run->savedHidden = l->hidden;
    fx->layerMode = NeedsLayerMode(fx, d, l, b) ? 1 : 0;
    if (int err = ReadLayerImage(fx, l)) return err;
    if (fx->bgpicEmu && fx->width > 0 && fx->height > 0) {
        // The emulated BGPic stands in for what lies behind the layer.
        cxBGPic *emu = nullptr;
        if (int err = FindBGPic(fx->L, fx->emuBGPic, &emu, 0)) return err;
        if (int err = RealizeBGPic(fx->L, emu)) return err;
        fx->oldImage = AllocBitmap(fx->width, fx->height, CX_ALLOC_CLEAR, 0);
        if (!fx->oldImage) return ERR_BITMAP;
        int32_t x = fx->dx, y = fx->dy, w = fx->width, h = fx->height;
        if (emu->current.bitmap && ClipRectToArea(0, 0, emu->currentWidth, emu->currentHeight, &x, &y, &w, &h))
            BltBitmap(emu->current.bitmap, x, y, fx->oldImage, x - fx->dx, y - fx->dy, w, h);
    }
    l->effect = 1;
    if (fx->layerMode) {
        run->present = kPresentLayer;
        l->hidden = 0;
        l->suppressed = 0;
        return 0;
    }
    run->present = kPresentRefresh;
    fx->drawTarget = DisplayTarget(fx);
    if (!fx->drawTarget) return ERR_BITMAP;
    if (fx->reverse) {
        // Hiding outside layer mode uncovers what lies under the layer.
        cxBitmap *under = nullptr;
        if (fx->width > 0 && fx->height > 0) {
            if (int err = CaptureNew(fx, l, &under)) return err;
        }
        // The old picture shows the layer.
        if (fx->width > 0 && fx->height > 0 && !fx->oldImage) {
            if (int err = CaptureNew(fx, nullptr, &fx->oldImage)) {
                FreeBitmap(under);
                return err;
            }
        }
        FreeNew(fx);
        fx->newImage = under;
        fx->ownsNew = under ? 1 : 0;
    } else {
        l->hidden = 1;
    }
    return 0;
}

// ---- the synchronous loop ----

int RunLoop(cxEffectInstance *fx) {
    cxEffectRun *run = fx->run;
    cxDisplay *d = run->display;
    for (;;) {
        int code = 0;
        if (g_loop.pump && g_loop.pump(fx->L, &code)) return code;  // stopped where it is
        if (!DisplayAlive(d) || run->layerGone) return 0;
        if (run->imageChanged) {
            fx->aborted = 1;
            if (run->command) run->command->restart = 1;
            return 0;
        }
        cxBGPic *b = run->bgpic;
        if (b && (b->currentWidth != run->bgpicWidth || b->currentHeight != run->bgpicHeight)) {
            // The picture changed size: the effect stops; a layer effect
            // starts again.
            fx->aborted = 1;
            if (fx->target != CX_FXTARGET_BGPIC && run->command) run->command->restart = 1;
            return 0;
        }
        if (!fx->layerMode) {
            fx->drawTarget = DisplayTarget(fx);
            if (!fx->drawTarget) return ERR_BITMAP;
        }
        int done = 0;
        if (int err = CallStep(fx, &done)) return err;
        if (done) {
            FinishEffect(fx);
            return 0;
        }
        if (g_loop.waitFrame) g_loop.waitFrame(fx->L, d);
    }
}

// The error that stopped an effect driven inside its command.
int g_drivenError = 0;

// Runs an asynchronous effect's draw to its end inside the command. -2
// (the draw owned the instance and freed it), its error in g_drivenError.
int DriveHere(lua_State *L, cxAsyncDraw *draw) {
    cxDisplay *d = draw->display;
    int err = 0;
    for (;;) {
        int code = 0;
        if (g_loop.pump && g_loop.pump(L, &code)) {
            err = code;
            break;
        }
        if (!IsAsyncDrawAlive(draw)) break;
        int done = 0;
        err = RunAsyncDrawFrame(L, draw, &done);
        if (err || done) break;
        if (g_loop.waitFrame) g_loop.waitFrame(L, d);
    }
    if (IsAsyncDrawAlive(draw)) FreeAsyncDraw(L, draw);
    g_drivenError = err;
    return -2;
}

int Run(cxEffectInstance *fx, cxEffectInstance *command) {
    lua_State *L = fx->L;
    if (fx->effect == CX_FX_RANDOMALIAS) fx->effect = CX_FX_RANDOM;
    if (fx->effect < 0 || fx->effect > CX_FX_RANDOM) return ERR_WRONGUSAGE;
    fx->initialSpeed = fx->speed;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (d->doubleBuffer1 || d->doubleBuffer2) {
        if (int err = StopDoubleBuffer(L, d)) return err;
    }
    if (int r = CheckOutput(L, d, fx)) return r < 0 ? 0 : r;
    const bool emu = fx->target == CX_FXTARGET_LAYER && fx->bgpicEmu;
    if (fx->effect == CX_FX_RANDOM) fx->effect = PickRandomEffect(fx->target == CX_FXTARGET_BGPIC || emu ? 0 : 1);
    const cxEffectTraits *t = GetEffectTraits(fx->effect);
    if (fx->target != CX_FXTARGET_BGPIC && !emu && (t->flags & CX_FXT_BGPICONLY)) t = GetEffectTraits(0);
    if (fx->reverse) t = GetEffectTraits(t->mirror);
    if (!t->step) return ERR_WRONGUSAGE;
    fx->effect = t->number;
    if (fx->async && (fx->target == CX_FXTARGET_BGPIC || !d->layersOn)) return ERR_WRONGUSAGE;

    auto *run = new (std::nothrow) cxEffectRun();
    if (!run) return ERR_MEM;
    fx->run = run;
    run->display = d;
    run->traits = t;
    run->command = command;
    if (int err = Register(fx)) {
        ReleaseEffect(fx, 0);
        return err;
    }
    auto fail = [&](int err) {
        ReleaseEffect(fx, 0);
        return err;
    };

    switch (fx->target) {
    case CX_FXTARGET_BGPIC: {
        cxBGPic *nb = nullptr;
        if (int err = FindBGPic(L, fx->source, &nb, 0)) return fail(err);
        const cxBGPic *ob = d->bgpic;
        if (nb->current.alpha || (ob && ob->current.alpha)) return fail(ERR_WRONGUSAGE);
        cxBitmap *made = nullptr, *snapshot = nullptr;
        if (int err = ShowBGPicTransition(L, fx->source, fx->posX, fx->posY, &made, &snapshot)) return fail(err);
        fx->newImage = made, fx->ownsNew = 1;
        fx->spare = fx->oldImage = snapshot;
        fx->width = made->width, fx->height = made->height;
        fx->dx = fx->dy = 0;
        run->bgpic = d->bgpic;
        run->present = kPresentRefresh;
        fx->drawTarget = DisplayTarget(fx);
        if (!fx->drawTarget) return fail(ERR_BITMAP);
        BltBitmap(snapshot, 0, 0, fx->drawTarget, 0, 0, fx->width, fx->height);
        break;
    }
    case CX_FXTARGET_BRUSH:
    case CX_FXTARGET_TEXTOBJECT:
    case CX_FXTARGET_BGPICPART: {
        int err = fx->target == CX_FXTARGET_BRUSH        ? PrepareBrush(fx, d)
                  : fx->target == CX_FXTARGET_TEXTOBJECT ? PrepareTextObject(fx, d)
                                                         : PreparePart(fx, d);
        if (err) return fail(err);
        if (fx->target == CX_FXTARGET_LAYER) {
            if (int e = PrepareLayer(fx, d)) return fail(e);
            break;
        }
        if (fx->async) return fail(ERR_WRONGUSAGE);
        run->bgpic = d->bgpic;
        run->present = d->layersOn == 1 ? kPresentComposite : kPresentRefresh;
        fx->drawTarget = DisplayTarget(fx);
        if (!fx->drawTarget) return fail(ERR_BITMAP);
        break;
    }
    case CX_FXTARGET_LAYER:
    case CX_FXTARGET_HIDELAYER:
    case CX_FXTARGET_REMOVELAYER:
        if (int err = PrepareLayer(fx, d)) return fail(err);
        break;
    default: return fail(ERR_WRONGUSAGE);
    }
    if (run->bgpic) run->bgpicWidth = run->bgpic->currentWidth, run->bgpicHeight = run->bgpic->currentHeight;
    if (int err = PreparePictures(fx, t, fx->layer)) return fail(err);

    if (fx->async) {
        cxAsyncDraw *draw = nullptr;
        if (int err = CreateAsyncDraw(0, AsyncFrame, AsyncFinish, AsyncRelease, AsyncControl, fx, &draw))
            return fail(err);
        run->draw = draw;
        run->command = nullptr;
        if (run->driveHere) return DriveHere(L, draw);
        lua_pushlightuserdata(L, draw);
        return -1;  // the draw owns the instance
    }
    if (fx->target == CX_FXTARGET_BGPIC) {
        run->transition = true;
        g_transition = true;
    }
    const int err = RunLoop(fx);
    run->command = nullptr;
    ReleaseEffect(fx, err == 0 && fx->finished);
    return err;
}

}  // namespace

extern "C" int RunTransitionEffect(cxEffectInstance *instance) {
    if (!instance) return ERR_WRONGUSAGE;
    instance->restart = 0;
    auto *fx = static_cast<cxEffectInstance *>(malloc(sizeof(cxEffectInstance)));
    if (!fx) return ERR_MEM;
    *fx = *instance;
    fx->run = nullptr;
    fx->state = nullptr;
    fx->aborted = fx->finished = fx->restart = 0;
    const int r = Run(fx, instance);
    if (r == -1) return 1;  // async: the draw has the copy
    if (r == -2) return g_drivenError;  // driven here; the draw had the copy
    free(fx);
    return r;
}

extern "C" void ReadFXOptions(lua_State *L, int table, cxEffectInstance *fx) {
    double v = 0;
    if (GetTableDouble(L, table, "type", &v, nullptr)) {
        const int32_t e = Saturate(v, kInvalidEffect);
        fx->effect = (e < 0 || e > CX_FX_RANDOM) ? kInvalidEffect : e;
    }
    if (GetTableDouble(L, table, "speed", &v, nullptr)) fx->speed = Saturate(v, CX_SPEED_NORMAL);
    if (GetTableDouble(L, table, "parameter", &v, nullptr)) fx->parameter = Saturate(v, CX_FX_RANDOMPARAMETER);
    if (GetTableDouble(L, table, "undolevel", &v, nullptr)) fx->undoLevel = Saturate(v, 1);
    if (GetTableDouble(L, table, "dx", &v, nullptr)) fx->dx = Saturate(v, 0);
    if (GetTableDouble(L, table, "dy", &v, nullptr)) fx->dy = Saturate(v, 0);
    int truth = 0;
    if (GetTableTruth(L, table, "layers", &truth, nullptr)) fx->layersFlag = truth ? 1 : 0;
    if (GetTableTruth(L, table, "forcerealtimelayers", &truth, nullptr)) fx->forceRealtime = truth ? 1 : 0;
    if (GetTableTruth(L, table, "async", &truth, nullptr)) fx->async = truth ? 1 : 0;
    if (GetTableTruth(L, table, "noborderfade", &truth, nullptr)) fx->noBorderFade = truth ? 1 : 0;
}

extern "C" int32_t PickRandomEffect(int restricted) {
    for (;;) {
        const int32_t n = int32_t(drand48() * 141.0);
        if (n < 0 || n >= CX_FX_COUNT || n == CX_FX_RANDOMALIAS) continue;
        const cxEffectTraits *t = GetEffectTraits(n);
        if (!t->step) continue;  // families not built are never drawn
        if (restricted && (t->flags & CX_FXT_BGPICONLY)) continue;
        return n;
    }
}

extern "C" int PrepareEffect(cxEffectInstance *fx) {
    if (!fx || !fx->newImage) return ERR_WRONGUSAGE;
    const cxEffectTraits *t = GetEffectTraits(fx->effect);
    if (!t) return ERR_WRONGUSAGE;
    if (fx->reverse) t = GetEffectTraits(t->mirror);
    if (!t->step) return ERR_WRONGUSAGE;
    fx->effect = t->number;
    fx->initialSpeed = fx->speed;
    fx->drawTarget = fx->output;
    fx->run = nullptr;
    if (int err = Register(fx)) return err;
    return PreparePictures(fx, t, nullptr);
}

extern "C" int RunEffectStep(cxEffectInstance *fx, int *done) {
    if (!fx || !fx->step) return ERR_WRONGUSAGE;
    return CallStep(fx, done);
}

extern "C" int SeekEffect(cxEffectInstance *fx, int32_t step, int force) {
    if (!fx || !fx->step) return ERR_WRONGUSAGE;
    step = std::clamp(step, 0, fx->steps);
    const cxEffectTraits *t = GetEffectTraits(fx->effect);
    ClearDirty(fx);
    if (t && (t->flags & CX_FXT_PHASE2)) {
        fx->counter = step;
        fx->phase = CX_FXPHASE_REDRAW;
        const int err = fx->step(fx, nullptr);
        fx->phase = CX_FXPHASE_STEP;
        if (!err) PresentStep(fx);
        return err;
    }
    if (!force && step == fx->counter) return 0;
    // Rebuilt from the start and replayed without presenting.
    if (fx->layerMode) {
        if (fx->canvas && fx->newImage) BltBitmap(fx->newImage, 0, 0, fx->canvas, 0, 0, fx->width, fx->height);
        SetEffectCanvasLevel(fx, fx->reverse ? 255 : 0);
    } else if (fx->oldImage) {
        DrawEffectBitmap(fx, fx->oldImage, 0, 0, 0, 0, fx->width, fx->height);
    }
    const uint32_t noPresent = fx->noPresent;
    fx->noPresent = 1;
    fx->counter = 0;
    fx->phase = CX_FXPHASE_STEP;
    int err = 0;
    for (int32_t i = 0; i < step && !err; ++i) {
        int done = 0;
        err = fx->step(fx, &done);
        if (done) break;
    }
    fx->counter = step;
    fx->noPresent = noPresent;
    if (!err && !noPresent) {
        // The whole rectangle changed.
        MarkEffectRect(fx, 0, 0, fx->width, fx->height);
        PresentStep(fx);
    }
    ClearDirty(fx);
    return err;
}

extern "C" void SetEffectLoopHooks(const cxEffectLoopHooks *hooks) {
    g_loop = hooks ? *hooks : cxEffectLoopHooks{DefaultPump, DefaultWait};
}

extern "C" int IsTransitionRunning(void) { return g_transition ? 1 : 0; }

extern "C" void InstallEffectHooks(void) {
    const cxLayerEffectHooks hooks{CanvasHook, LayerFreedHook, ImageReplacedHook};
    SetLayerEffectHooks(&hooks);
}

extern "C" void RemoveEffectHooks(void) { SetLayerEffectHooks(nullptr); }

extern "C" void FreeAllEffects(lua_State *L) {
    // Async effects go with their draws; a synchronous one cannot be
    // running at clean-up.
    for (cxEffectInstance *fx : std::vector<cxEffectInstance *>(g_running))
        if (fx->run && fx->run->draw && IsAsyncDrawAlive(fx->run->draw)) FreeAsyncDraw(L, fx->run->draw);
}

extern "C" int32_t CountRunningEffects(void) { return int32_t(g_running.size()); }

extern "C" const cxEffectInstance *FindLayerEffect(const cxLayer *layer) {
    for (cxEffectInstance *fx : g_running)
        if (layer && fx->layer == layer) return fx;
    return nullptr;
}
