// The commands that make, copy, scale, edit and free anims, and those that
// move single frames between anims and brushes.
#include <cmath>
#include <climits>
#include <string.h>

#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "images/core/new_id.h"
#include "images/output/output_redirect.h"
#include "media/anim/anim_internal.h"

namespace {

int32_t Int(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return 0;
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(std::trunc(v));
}

bool IsSelectedAnim(cxObjectID id) {
    cxObjectID s{};
    return GetSelectedAnim(&s, nullptr) && s.number == id.number && s.pointer == id.pointer;
}

void FreeSet(cxBitmap *b, cxBitmap *m, cxBitmap *a) {
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
}

// A size argument: a number, a percentage of the side or #KEEPASPRAT.
int32_t SizeArg(lua_State *L, int index, int32_t side) {
    const double v = GetNumberOrPercentArg(L, index, side, 1, nullptr);
    if (!std::isfinite(v) || v < INT32_MIN || v > INT32_MAX) return 0;
    return int32_t(v);
}

}  // namespace

extern "C" int CmdLoadAnim(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    cxAnimLoadOptions o;
    InitAnimLoadOptions(&o);
    ReadAnimLoadOptions(L, 3, &o);
    if (int err = LoadAnimCore(L, CX_LOAD_ANIM, &n.id, file, &o, nullptr)) return err;
    return NewIDResult(L, n);
}

extern "C" int CmdCreateAnim(lua_State *L) {
    CheckArgCount(L, 6, 8, 0, 0);
    NewID n = ReadNewID(L, 1);
    cxFrameBuildRequest r{};
    GetObjectIDArg(&r.source, L, 2);
    r.frameWidth = Int(L, 3);
    r.frameHeight = Int(L, 4);
    r.frames = Int(L, 5);
    r.framesPerRow = Int(L, 6);
    r.x = lua_gettop(L) >= 7 ? Int(L, 7) : 0;
    r.y = lua_gettop(L) >= 8 ? Int(L, 8) : 0;
    r.newId = &n.id;
    r.sourceKind = CX_FRAMES_FROM_IMAGE;
    r.targetKind = CX_FRAMES_TO_ANIM;
    r.cutMode = CX_FRAMES_CUT;
    r.transparentColour = -1;
    if (!n.automatic) {
        if (int err = FreeAnimByID(L, n.id, 0)) return err;
    }
    if (int err = BuildFrames(L, &r)) return err;
    return NewIDResult(L, n);
}

extern "C" int CmdCopyAnim(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID source{};
    GetObjectIDArg(&source, L, 1);
    NewID n = ReadNewID(L, 2);
    if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
    cxAnim *src = nullptr;
    if (int err = FindAnim(L, source, &src, 0)) return err;
    if (!n.automatic) {
        if (int err = FreeAnimByID(L, n.id, 0)) return err;
    }
    cxAnim *copy = nullptr;
    if (int err = CopyAnimRecord(L, src, n.id, &copy)) return err;
    if (n.automatic) n.id = GetObjectID(&copy->header);
    return NewIDResult(L, n);
}

extern "C" int CmdScaleAnim(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t smooth = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? Int(L, 4) != 0 : 0;
    if (IsSelectedAnim(id)) return ERR_MODIFYAANIM;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, CX_ANIM_WRITE)) return err;
    int32_t w = SizeArg(L, 2, a->width), h = SizeArg(L, 3, a->height);
    if (int err = ApplyKeepAspectRatio(a->width, a->height, &w, &h)) return err;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    a->smoothScale = uint32_t(smooth);
    if (w == a->width && h == a->height) return 0;
    if (a->diskBased) {
        // Frames are scaled as they are read.
        a->width = w, a->height = h;
        return 0;
    }
    if (int err = RealizeAnim(a)) return err;
    const int32_t frames = a->frames;
    auto *nb = static_cast<cxBitmap **>(calloc(size_t(frames), sizeof(cxBitmap *)));
    auto *nm = static_cast<cxBitmap **>(calloc(size_t(frames), sizeof(cxBitmap *)));
    auto *na = static_cast<cxBitmap **>(calloc(size_t(frames), sizeof(cxBitmap *)));
    int err = (!nb || !nm || !na) ? ERR_MEM : 0;
    for (int32_t i = 0; !err && i < frames; ++i)
        err = ScaleBitmapFx(a->bitmaps[i], a->masks[i], a->alphas[i], 0, 0, a->width, a->height, w, h, smooth, &nb[i],
                            &nm[i], &na[i]);
    if (err) {
        for (int32_t i = 0; nb && nm && na && i < frames; ++i) FreeSet(nb[i], nm[i], na[i]);
        free(nb), free(nm), free(na);
        return err;
    }
    for (int32_t i = 0; i < frames; ++i) FreeSet(a->bitmaps[i], a->masks[i], a->alphas[i]);
    free(a->bitmaps), free(a->masks), free(a->alphas);
    a->bitmaps = nb, a->masks = nm, a->alphas = na;
    a->width = a->frameWidth = w;
    a->height = a->frameHeight = h;
    return 0;
}

extern "C" int CmdLoadAnimFrame(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    NewID n = ReadNewID(L, 1);
    int32_t frame = Int(L, 2);
    const char *file = GetFileNameArg(L, 3, 0, nullptr);
    cxAnimLoadOptions o;
    InitAnimLoadOptions(&o);
    ReadAnimLoadOptions(L, 4, &o);
    if ((o.loadAlpha && o.loadTransparency) || (o.loadTransparency && o.transparentColour != -1))
        return ERR_WRONGUSAGE;
    if (o.loadAlpha && o.transparentColour != -1) return ERR_MASKNALPHA;
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    cxAnimReader *reader = nullptr;
    int w = 0, h = 0, frames = 0, hasAlpha = 0;
    if (int err = OpenAnimFile(file, o.loaders, o.adapters, o.deinterlace, o.loadTransparency, &reader, &w, &h, &frames,
                               &hasAlpha, nullptr))
        return err;
    int err = 0;
    if (frame == -1) frame = frames;
    if (frame < 1 || frame > frames) err = ERR_ANIMFRAME;
    if (!err && o.loadAlpha && !hasAlpha) {
        SetErrorDetail(file);
        err = ERR_NOALPHA;
    }
    uint32_t *px = nullptr;
    int transparent = 0;
    if (!err && !(px = ReadAnimReaderFrame(reader, frame - 1, o.loadAlpha, &transparent))) err = ERR_LOADFRAME;
    if (!err && o.loadTransparency && !transparent) {
        SetErrorDetail(file);
        err = ERR_NOTRANSPARENCY;
    }
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    if (!err) err = MakeFrameBitmaps(px, w, h, w, o.transparentColour, o.loadAlpha || transparent, &b, &m, &a);
    FreeAnimReaderFrame(reader, px);
    CloseAnimReader(reader);
    if (!err) err = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, b, m ? o.transparentColour : -1, m, a,
                                   nullptr, nullptr);
    if (err) {
        FreeSet(b, m, a);
        return err;
    }
    return NewIDResult(L, n);
}

extern "C" int CmdGetAnimFrame(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    NewID n = ReadNewID(L, 1);
    const int32_t frame = Int(L, 2);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 3);
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    if (frame < 1 || frame > a->frames) return ERR_ANIMFRAME;
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    if (int err = GetAnimFrameBitmaps(a, frame - 1, 1, 0, &b, &m, &al)) return err;
    if (int err = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, a->width, a->height, a->width, 0, nullptr, b,
                                 m ? a->transparentColour : -1, m, al, nullptr, nullptr)) {
        FreeSet(b, m, al);
        return err;
    }
    return NewIDResult(L, n);
}

extern "C" int CmdSetAnimFrameDelay(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t frame = Int(L, 2), delay = Int(L, 3);
    if (delay < 0) return ERR_WRONGUSAGE;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    if (frame < 1 || frame > a->frames) return ERR_ANIMFRAME;
    a->delays[frame - 1] = delay;
    return 0;
}

extern "C" int CmdModifyAnimFrames(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const int32_t count = Int(L, 2), position = lua_gettop(L) >= 3 && !lua_isnil(L, 3) ? Int(L, 3) : 0;
    if (IsSelectedAnim(id)) return ERR_MODIFYAANIM;
    return ModifyAnimFramesCore(L, id, count, position, 0);
}

extern "C" int CmdIsAnim(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *file = GetFileNameArg(L, 1, 0, nullptr);
    char loaders[256] = "", adapters[256] = "";
    if (lua_gettop(L) >= 2 && lua_istable(L, 2)) {
        GetTableString(L, 2, "loader", loaders, sizeof loaders, nullptr);
        GetTableString(L, 2, "adapter", adapters, sizeof adapters, nullptr);
    }
    lua_pushnumber(L, IsAnimFile(file, loaders, adapters));
    return 1;
}

extern "C" int CmdFreeAnim(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    return FreeAnimByID(L, id, 1);
}
