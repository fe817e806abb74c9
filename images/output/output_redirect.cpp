#include "images/output/output_redirect.h"

#include <vector>

#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/draw/display_output.h"
#include "display/draw/draw_output.h"
#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/blit/blit_settings.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "images/bgpics/bgpic.h"
#include "images/brushes/brush.h"
#include "images/core/anim_use.h"
#include "images/core/render_target.h"
#include "images/sprites/sprite.h"

namespace {

constexpr uint32_t kBGPic = 1, kBrush = 3, kAnim = 4, kLayer = 22;
constexpr uint32_t kOutImage = 3, kOutMask = 28, kOutAlpha = 30, kOutLayers = 1, kOutDisplay = 21;

// A display's selection.
struct Selection {
    cxDisplay *display = nullptr;
    uint32_t kind = 0;        // kBGPic, kBrush, kAnim, kLayer
    cxObjectID id{};
    int32_t frame = 0;        // 0-based
    uint32_t outputKind = 0;  // kOutImage, kOutMask, kOutAlpha, kOutLayers
    int32_t mode = 0, value = 0;
    bool prepared = false;
    bool layer = false;       // the brush holds a layer's image (SelectLayer)
};

std::vector<Selection> g_selections;
cxRenderTargetEndHook g_endHook = nullptr;
cxLayerTargetHooks g_layerTarget{};
cxDrawOutputHooks g_previousDraw{};
bool g_installed = false;

Selection *SelectionOf(const cxDisplay *d) {
    for (Selection &s : g_selections)
        if (s.display == d) return &s;
    return nullptr;
}

// The selection that drawing on the display goes to now: the display's
// output kind says a selection is on (double buffering uses kind 3 too).
Selection *Active(const cxDisplay *d) {
    if (!d) return nullptr;
    Selection *s = SelectionOf(d);
    if (!s || s->outputKind != d->targetKind || d->targetKind == kOutDisplay) return nullptr;
    if (d->targetKind == kOutImage && d->doubleBuffer1) return nullptr;
    return s;
}

void Forget(const cxDisplay *d) {
    for (size_t i = 0; i < g_selections.size(); i++)
        if (g_selections[i].display == d) {
            g_selections.erase(g_selections.begin() + long(i));
            return;
        }
}

int NoDisplay() {
    SetErrorNumber(0);
    return ERR_FINDDISPLAY;
}

struct Target {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    bool video = false;
};

// The selected object's images, found as they are (no copy-on-write).
int TargetOf(lua_State *L, const Selection &s, uint32_t flags, Target *t) {
    // A layer's brush is the layer's alone: pending free for the script.
    if (s.layer) flags |= CX_FIND_PENDING;
    if (s.kind == kBrush) {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, s.id, &b, flags | CX_FIND_HARDWARE)) return err;
        *t = {b->bitmap, b->mask, b->alpha, b->width, b->height, b->bitmap && b->bitmap->foreign};
        return 0;
    }
    if (s.kind == kBGPic) {
        cxBGPic *b = nullptr;
        if (int err = FindBGPic(L, s.id, &b, flags)) return err;
        *t = {b->base.bitmap, b->base.mask, b->base.alpha, b->baseWidth, b->baseHeight, false};
        return 0;
    }
    if (s.kind == kAnim) {
        const cxAnimHooks *anims = GetAnimHooks();
        if (!anims->frameTarget) return ERR_FINDANIM;
        cxBitmap *b = nullptr, **m = nullptr, **a = nullptr;
        int32_t w = 0, h = 0;
        if (int err = anims->frameTarget(L, s.id, s.frame, 0, &b, &m, &a, &w, &h)) return err;
        *t = {b, *m, *a, w, h, false};
        return 0;
    }
    return ERR_WRONGUSAGE;
}

// An anim frame drawn into: its layers get their copy first, and a missing
// mask or alpha channel is made as for a brush.
int PrepareAnim(lua_State *L, Selection &s, cxDisplay *d) {
    const cxAnimHooks *anims = GetAnimHooks();
    if (!anims->frameTarget) return ERR_FINDANIM;
    cxBitmap *b = nullptr, **m = nullptr, **a = nullptr;
    int32_t w = 0, h = 0;
    if (int err = anims->frameTarget(L, s.id, s.frame, 1, &b, &m, &a, &w, &h)) return err;
    if (s.outputKind == kOutMask) {
        if (!*m) {
            if (!(*m = AllocMask(b, w, h, 0, nullptr, 0))) return ERR_ALLOCMASK;
            FillMaskRect(*m, 0, 0, w, h, CX_MASKVISIBLE);
        }
        FreeAlphaChannel(*a);
        *a = nullptr;
        d->outputMask = *m;
    } else if (s.outputKind == kOutAlpha) {
        if (!*a) {
            if (!(*a = AllocAlphaChannel(w, h, 0, nullptr, 0))) return ERR_ALLOCALPHA;
            FillAlphaRect(*a, 0, 0, w, h, 255);
        }
        FreeMask(*m);
        *m = nullptr;
        d->outputAlpha = *a;
    }
    return 0;
}

// The first drawing into a brush's (or BGPic's) mask or alpha channel
// makes the one that is missing; a brush keeps one kind of transparency.
int PrepareBrush(lua_State *L, Selection &s, cxDisplay *d) {
    cxBrush *b = nullptr;
    // A layer's brush is drawn into where the layer shows it: no copy.
    const uint32_t layer = s.layer ? CX_FIND_PENDING | CX_FIND_NOCOPY : 0;
    if (int err = FindBrush(L, s.id, &b, CX_FIND_WRITE | CX_FIND_HARDWARE | layer)) return err;
    if (s.outputKind == kOutMask) {
        if (!b->mask) {
            cxBitmap *m = AllocMask(b->bitmap, b->width, b->height, 0, nullptr, 0);
            if (!m) return ERR_ALLOCMASK;
            FillMaskRect(m, 0, 0, b->width, b->height, CX_MASKVISIBLE);
            b->mask = m;
            b->transparentColour = CX_TRANSPARENT_BY_MASK;
        }
        FreeAlphaChannel(b->alpha);
        b->alpha = nullptr;
        d->outputMask = b->mask;
    } else if (s.outputKind == kOutAlpha) {
        if (!b->alpha) {
            cxBitmap *a = AllocAlphaChannel(b->width, b->height, 0, nullptr, 0);
            if (!a) return ERR_ALLOCALPHA;
            FillAlphaRect(a, 0, 0, b->width, b->height, 255);
            b->alpha = a;
        }
        FreeMask(b->mask);
        b->mask = nullptr;
        b->transparentColour = CX_NO_TRANSPARENT_COLOUR;
        d->outputAlpha = b->alpha;
    }
    return 0;
}

// A BGPic's sets may share bitmaps: a missing channel is made for the base
// set only, and the other kind of channel is left alone.
int PrepareBGPic(lua_State *L, Selection &s, cxDisplay *d) {
    cxBGPic *b = nullptr;
    if (int err = FindBGPic(L, s.id, &b, CX_FIND_WRITE)) return err;
    if (s.outputKind == kOutMask) {
        if (!b->base.mask) {
            cxBitmap *m = AllocMask(b->base.bitmap, b->baseWidth, b->baseHeight, 0, nullptr, 0);
            if (!m) return ERR_ALLOCMASK;
            FillMaskRect(m, 0, 0, b->baseWidth, b->baseHeight, CX_MASKVISIBLE);
            b->base.mask = m;
        }
        d->outputMask = b->base.mask;
    } else if (s.outputKind == kOutAlpha) {
        if (!b->base.alpha) {
            cxBitmap *a = AllocAlphaChannel(b->baseWidth, b->baseHeight, 0, nullptr, 0);
            if (!a) return ERR_ALLOCALPHA;
            FillAlphaRect(a, 0, 0, b->baseWidth, b->baseHeight, 255);
            b->base.alpha = a;
        }
        d->outputAlpha = b->base.alpha;
    }
    return 0;
}

// A BGPic drawn into: its scaled and current sets follow the base set.
void RescaleBGPic(lua_State *L, const Selection &s) {
    cxBGPic *b = nullptr;
    if (FindBGPic(L, s.id, &b, 0)) return;
    auto follow = [&](cxBitmapSet &set, int32_t w, int32_t h) {
        if (set.bitmap == b->base.bitmap || w < 1 || h < 1) return;
        cxBitmap *nb = nullptr, *nm = nullptr, *na = nullptr;
        if (ScaleBitmapFx(b->base.bitmap, b->base.mask, b->base.alpha, 0, 0, b->baseWidth, b->baseHeight, w, h, 0, &nb,
                          &nm, &na))
            return;
        const bool sharedWithScaled = &set != &b->scaled && set.bitmap == b->scaled.bitmap;
        if (!sharedWithScaled) {
            FreeBitmap(set.bitmap);
            if (set.mask != b->base.mask) FreeMask(set.mask);
            if (set.alpha != b->base.alpha) FreeAlphaChannel(set.alpha);
        }
        set = {nb, nm, na};
    };
    follow(b->scaled, b->scaledWidth, b->scaledHeight);
    follow(b->current, b->currentWidth, b->currentHeight);
}

// The draw library's output: the selection when there is one, else what
// was installed before (the display, its BGPic or its back buffer).
int GetOutput(lua_State *L, cxDrawOutput *out) {
    cxDisplay *d = GetCurrentDisplay();
    Selection *s = Active(d);
    if (!s) return g_previousDraw.getOutput ? g_previousDraw.getOutput(L, out) : NoDisplay();
    if (s->outputKind == kOutLayers) {
        // The display's own picture is on no list.
        cxBGPic *b = d->bgpic && ObjectHasID(&d->bgpic->header, s->id) ? d->bgpic : nullptr;
        if (!b)
            if (int err = FindBGPic(L, s->id, &b, 0)) return err;
        out->target = cxDrawTarget{nullptr, nullptr, nullptr, b->currentWidth, b->currentHeight, 255, 0};
        out->kind = kOutLayers;
        out->display = d;
        out->layersOn = 1;
        return 0;
    }
    if (int err = PrepareSelectedTarget(L)) return err;
    Target t;
    if (int err = TargetOf(L, *s, 0, &t)) return err;
    const cxBlitSettings &set = *GetBlitSettings();
    const uint32_t level = set.alphaIntensity == CX_ALPHA_PLAIN ? 255u : set.alphaIntensity;
    cxDrawTarget target{nullptr, nullptr, nullptr, t.width, t.height, level, set.maskMode};
    switch (s->outputKind) {
    case kOutMask: target.mask = t.mask; break;
    case kOutAlpha: target.alpha = t.alpha; break;
    default:
        target.colour = t.bitmap;
        if (s->mode == CX_SELMODE_COMBO) {
            target.mask = t.mask;
            target.alpha = t.alpha;
        }
        break;
    }
    out->target = target;
    out->kind = s->outputKind;
    out->display = d;
    out->layersOn = 0;
    out->skipPrepare = 1;
    return 0;
}

void Drawn(lua_State *L, const cxDrawOutput *out, const cxDrawRect *changed) {
    if (Active(static_cast<cxDisplay *>(out->display))) return;  // nothing shows a selection while it lasts
    if (g_previousDraw.drawn) g_previousDraw.drawn(L, out, changed);
}

int PrepareHook(lua_State *L, const cxDrawOutput *out) {
    if (Active(static_cast<cxDisplay *>(out->display))) return PrepareSelectedTarget(L);
    return g_previousDraw.prepare ? g_previousDraw.prepare(L, out) : 0;
}

int SelectedObject(uint32_t *kind, void **record) {
    Selection *s = Active(GetCurrentDisplay());
    if (!s || s->outputKind == kOutLayers) return 0;
    *kind = s->kind;
    *record = nullptr;
    if (s->kind == kBrush) {
        cxBrush *b = nullptr;
        if (FindBrush(nullptr, s->id, &b, CX_FIND_HARDWARE | CX_FIND_PENDING)) return 0;
        *record = b;
    } else if (s->kind == kBGPic) {
        cxBGPic *b = nullptr;
        if (FindBGPic(nullptr, s->id, &b, CX_FIND_PENDING)) return 0;
        *record = b;
    }
    return 1;
}

void EndHook(lua_State *L) {
    if (cxDisplay *d = GetCurrentDisplay()) EndDisplayRenderTarget(L, d, 0);
}

int RefuseDoubleBuffer(lua_State *, cxDisplay *d, int stage) {
    // Sprites are composited over the picture: a back buffer would bury them.
    if (stage == CX_DBCHECK_STATE) return d->bgpic && CountSprites(d->bgpic) > 0 ? ERR_NOSPRITES : 0;
    if (stage != CX_DBCHECK_SELECTION) return 0;
    const Selection *s = SelectionOf(d);
    return s && s->kind == kAnim ? ERR_SELECTANIM : 0;
}

int EndParked(lua_State *L, cxDisplay *d) {
    EndDisplayRenderTarget(L, d, 0);
    return 0;
}

}  // namespace

extern "C" void SaveRenderTarget(cxDisplay *d, cxSavedRenderTarget *saved) {
    *saved = cxSavedRenderTarget{d->outputMask, d->outputAlpha, d->targetKind,
                                 {d->doubleBuffer1, d->doubleBuffer2, d->doubleBuffer3}};
    d->outputMask = d->outputAlpha = nullptr;
    d->targetKind = kOutDisplay;
    d->doubleBuffer1 = d->doubleBuffer2 = d->doubleBuffer3 = 0;
}

extern "C" void RestoreRenderTarget(cxDisplay *d, const cxSavedRenderTarget *saved) {
    d->outputMask = saved->mask;
    d->outputAlpha = saved->alpha;
    d->targetKind = saved->kind;
    d->doubleBuffer1 = saved->doubleBuffer[0];
    d->doubleBuffer2 = saved->doubleBuffer[1];
    d->doubleBuffer3 = saved->doubleBuffer[2];
}

extern "C" int GetSelectedBrushID(cxObjectID *id) {
    const Selection *s = Active(GetCurrentDisplay());
    if (!s || s->kind != kBrush) return 0;
    *id = s->id;
    return 1;
}

extern "C" int GetSelectedAnim(cxObjectID *id, int32_t *frame) {
    const Selection *s = Active(GetCurrentDisplay());
    if (!s || s->kind != kAnim) return 0;
    if (id) *id = s->id;
    if (frame) *frame = s->frame;
    return 1;
}

extern "C" int SelectRenderTarget(lua_State *L, uint32_t kind, cxObjectID id, uint32_t outputKind, int32_t frame,
                                  int32_t mode, int32_t value) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return NoDisplay();
    if (const Selection *s = Active(d); s && s->kind == kind && s->frame == frame && s->id.number == id.number &&
                                        s->id.pointer == id.pointer && s->outputKind == outputKind)
        return 0;
    if (d->targetKind != kOutDisplay && !d->doubleBuffer1) EndDisplayRenderTarget(L, d, 0);

    const bool requestedLayer = kind == kLayer;
    Target t;
    switch (kind) {
    case kBGPic: {
        cxBGPic *b = nullptr;
        if (int err = FindBGPic(L, id, &b, 0)) return err;
        if (b->bgpicKind == 1) return ERR_BGPICTYPE;
        if (IsBGPicOnShow(b)) return ERR_SELECTBGPIC2;
        t = {b->base.bitmap, b->base.mask, b->base.alpha, b->baseWidth, b->baseHeight, false};
        break;
    }
    case kBrush: {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, id, &b, CX_FIND_NOVECTOR | CX_FIND_HARDWARE)) return err;
        // Drawing into video bitmaps needs an adapter that offers it; none
        // of the adapters this player drives does.
        if (b->hardware) return ERR_HWBRUSH;
        if (!b->bitmap) return ERR_HWBRUSH;
        t = {b->bitmap, b->mask, b->alpha, b->width, b->height, false};
        break;
    }
    case kAnim: {
        // No anims exist without the anim library.
        const cxAnimHooks *anims = GetAnimHooks();
        if (!anims->frameTarget) {
            SetErrorNumber(id.number);
            return id.pointer ? ERR_FINDARRAY : ERR_FINDANIM;
        }
        cxBitmap *b = nullptr, **m = nullptr, **a = nullptr;
        int32_t w = 0, h = 0;
        if (int err = anims->frameTarget(L, id, frame - 1, 0, &b, &m, &a, &w, &h)) return err;
        t = {b, *m, *a, w, h, false};
        break;
    }
    case kLayer: {
        // The layers library gives the layer's image a brush of its own,
        // which is then drawn into as SelectBrush does.
        if (!g_layerTarget.prepare) return ERR_LAYERRANGE;
        cxObjectID brush{};
        if (int err = g_layerTarget.prepare(L, id.number, frame, &brush)) return err;
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, brush, &b, CX_FIND_PENDING | CX_FIND_HARDWARE)) return err;
        if (!b->bitmap || b->hardware) return ERR_HWBRUSH;
        t = {b->bitmap, b->mask, b->alpha, b->width, b->height, false};
        kind = kBrush;
        id = brush;
        frame = 0;
        break;
    }
    default: return ERR_WRONGUSAGE;
    }

    Selection *s = SelectionOf(d);
    if (!s) {
        g_selections.push_back(Selection{});
        s = &g_selections.back();
    }
    const bool layer = requestedLayer;
    *s = Selection{d, kind, id, frame > 0 ? frame - 1 : 0, outputKind, mode, value, false, layer};
    SaveDisplayRenderState(d, mode, t.width);
    ParkDoubleBuffer(d);
    d->targetKind = outputKind;
    d->outputMask = d->outputAlpha = nullptr;
    if (outputKind == kOutMask) d->outputMask = t.mask;
    else if (outputKind == kOutAlpha) d->outputAlpha = t.alpha;
    else if (mode == CX_SELMODE_COMBO) {
        d->outputMask = t.mask;
        d->outputAlpha = t.alpha;
    }
    return 0;
}

extern "C" void EndDisplayRenderTarget(lua_State *L, cxDisplay *d, int) {
    Selection *s = SelectionOf(d);
    const bool selected = s && s->outputKind == d->targetKind && !(d->targetKind == kOutImage && d->doubleBuffer1);
    if (selected && s->kind == kBGPic && s->prepared) RescaleBGPic(L, *s);
    const bool layer = selected && s->layer;
    const cxObjectID brush = s ? s->id : cxObjectID{};
    if (!UnparkDoubleBuffer(d)) {
        d->outputMask = d->outputAlpha = nullptr;
        d->targetKind = kOutDisplay;
    }
    Forget(d);
    RestoreDisplayRenderState(d);
    if (layer && g_layerTarget.drawn) g_layerTarget.drawn(L, brush);
    if (g_endHook && selected) g_endHook(L, d);
}

extern "C" void SetLayerTargetHooks(const cxLayerTargetHooks *hooks) {
    g_layerTarget = hooks ? *hooks : cxLayerTargetHooks{};
}

extern "C" void SetRenderTargetEndHook(cxRenderTargetEndHook hook) { g_endHook = hook; }

extern "C" cxBGPic *GetLayersOutputBGPic(const cxDisplay *d) {
    const Selection *s = Active(d);
    if (!s || s->outputKind != kOutLayers) return nullptr;
    // The display's own picture is on no list.
    if (d->bgpic && ObjectHasID(&d->bgpic->header, s->id)) return d->bgpic;
    cxBGPic *b = nullptr;
    if (FindBGPic(nullptr, s->id, &b, CX_FIND_PENDING)) return nullptr;
    return b;
}

extern "C" int PrepareSelectedTarget(lua_State *L) {
    cxDisplay *d = GetCurrentDisplay();
    Selection *s = Active(d);
    if (!s || s->prepared || s->outputKind == kOutLayers) return 0;
    if (s->kind == kBrush) {
        if (int err = PrepareBrush(L, *s, d)) return err;
    } else if (s->kind == kBGPic) {
        if (int err = PrepareBGPic(L, *s, d)) return err;
    } else if (s->kind == kAnim) {
        if (int err = PrepareAnim(L, *s, d)) return err;
    } else {
        return ERR_WRONGUSAGE;
    }
    s->prepared = true;
    return 0;
}

extern "C" void InstallOutputRedirection(void) {
    if (!g_installed) g_previousDraw = *GetDrawOutputHooks();
    g_installed = true;
    cxDrawOutputHooks draw = g_previousDraw;
    draw.getOutput = GetOutput;
    draw.drawn = Drawn;
    draw.prepare = PrepareHook;
    SetDrawOutputHooks(&draw);
    const cxRenderTargetHooks target{SelectedObject, EndHook, PrepareSelectedTarget};
    SetRenderTargetHooks(&target);
    const cxDoubleBufferHooks db{RefuseDoubleBuffer, EndParked};
    SetDoubleBufferHooks(&db);
}

extern "C" void RemoveOutputRedirection(void) {
    g_selections.clear();
    if (!g_installed) return;
    SetDrawOutputHooks(&g_previousDraw);
    SetRenderTargetHooks(nullptr);
    SetDoubleBufferHooks(nullptr);
    g_installed = false;
}

namespace {

// SelectMask and SelectAlphaChannel: id, type (3), frame (1-based, anims).
int SelectChannel(lua_State *L, uint32_t outputKind) {
    CheckArgCount(L, 1, 3, 0, 0);
    const int n = lua_gettop(L);
    const uint32_t type = uint32_t(luaL_optint(L, 2, int(kBrush)));
    if (type == kAnim && n < 3) return ERR_MISSINGPARAMTR;
    const int32_t frame = luaL_optint(L, 3, 0);
    cxObjectID id{};
    if (type == kLayer) id.number = luaL_checkint(L, 1);
    else GetObjectIDArg(&id, L, 1);
    if (type != kBrush && type != kAnim && type != kLayer && type != kBGPic) return ERR_WRONGUSAGE;
    return SelectRenderTarget(L, type, id, outputKind, frame, 0, 0);
}

}  // namespace

extern "C" int CmdSelectBrush(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t mode = luaL_optint(L, 2, CX_SELMODE_NORMAL), value = luaL_optint(L, 3, 0);
    return SelectRenderTarget(L, kBrush, id, kOutImage, 0, mode, value);
}

extern "C" int CmdSelectMask(lua_State *L) { return SelectChannel(L, kOutMask); }
extern "C" int CmdSelectAlphaChannel(lua_State *L) { return SelectChannel(L, kOutAlpha); }

extern "C" int CmdSelectBGPic(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    const int32_t mode = luaL_optint(L, 2, CX_SELMODE_NORMAL), value = luaL_optint(L, 3, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (mode != CX_SELMODE_LAYERS) {
        cxObjectID id{};
        GetObjectIDArg(&id, L, 1);
        return SelectRenderTarget(L, kBGPic, id, kOutImage, 0, mode, value);
    }
    // Layers mode: every drawing becomes a layer of the BGPic.
    if (!d) return NoDisplay();
    cxBGPic *b = nullptr;
    if (lua_isnil(L, 1)) {
        b = static_cast<cxBGPic *>(static_cast<void *>(d->bgpic));
        if (!b) return ERR_NOLAYERS;
    } else {
        cxObjectID id{};
        GetObjectIDArg(&id, L, 1);
        if (int err = FindBGPic(L, id, &b, 0)) return err;
    }
    const cxObjectID id = b->header.idPointer ? cxObjectID{0, b->header.idPointer} : cxObjectID{b->header.idNumber, nullptr};
    if (const Selection *s = Active(d); s && s->outputKind == kOutLayers && s->id.number == id.number &&
                                        s->id.pointer == id.pointer)
        return 0;
    if (d->targetKind != kOutDisplay && !d->doubleBuffer1) EndDisplayRenderTarget(L, d, 0);
    if (!d->layersOn) return ERR_NOLAYERS;
    if (static_cast<void *>(b) != static_cast<void *>(d->bgpic) && IsBGPicOnShow(b)) return ERR_SELECTBGPIC;
    Selection *s = SelectionOf(d);
    if (!s) {
        g_selections.push_back(Selection{});
        s = &g_selections.back();
    }
    *s = Selection{d, kBGPic, id, 0, kOutLayers, mode, value, false};
    SaveDisplayRenderState(d, mode, b->currentWidth);
    d->layersOn = d->savedRender.layersOn;  // drawing becomes layers: they stay on
    ParkDoubleBuffer(d);
    d->outputMask = d->outputAlpha = nullptr;
    d->targetKind = kOutLayers;
    return 0;
}

extern "C" int CmdEndSelect(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d || d->doubleBuffer1 || !Active(d)) return ERR_WRONGUSAGE;
    EndDisplayRenderTarget(L, d, 0);
    return 0;
}
