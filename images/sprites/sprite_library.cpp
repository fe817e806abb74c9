// The "sprite" script library: its ten commands, the hooks through which
// the frame builder makes and reads sprites, and declared sprites.
#include "images/sprites/sprite_library.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/core/anim_use.h"
#include "images/core/new_id.h"
#include "images/sprites/sprite.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"

namespace {

int32_t Int(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (std::isnan(v)) return 0;
    return v <= INT32_MIN ? INT32_MIN : v >= INT32_MAX ? INT32_MAX : int32_t(v);
}

// A coordinate: truncated and saturated; NaN is no coordinate.
int Coordinate(lua_State *L, int index, int32_t *out) {
    const double v = luaL_checknumber(L, index);
    if (std::isnan(v)) return ERR_WRONGUSAGE;
    *out = v <= INT32_MIN ? INT32_MIN : v >= INT32_MAX ? INT32_MAX : int32_t(v);
    return 0;
}

cxObjectID IDArg(lua_State *L, int index) {
    cxObjectID id{};
    GetObjectIDArg(&id, L, index);
    return id;
}

bool OnAnyScreen(const cxSprite *s) {
    auto scan = [s](const cxBGPic *b) {
        for (cxSpriteDrawNode *n = GetSpriteDrawList(b); n; n = n->next)
            if (n->sprite == s) return true;
        return false;
    };
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next))
        if (scan(b)) return true;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic && d->bgpic->ownedByDisplay && scan(d->bgpic)) return true;
    return false;
}

// ScaleSprite and FlipSprite: a plain sprite off screen that no link holds,
// with its frames as bitmaps.
int EditableSprite(lua_State *L, cxObjectID id, cxSprite **out) {
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, CX_FINDSPRITE_WRITE)) return err;
    if (OnAnyScreen(s)) return ERR_MODIFYSPRITE;
    if (s->group || IsSpriteLinked(s)) return ERR_MODIFYSPRITE2;
    cxBitmap *b, *m, *a;
    if (int err = GetSpriteFrame(s, 0, &b, &m, &a)) return err;  // raw frames become bitmaps
    *out = s;
    return 0;
}

int32_t SizeArg(lua_State *L, int index, int32_t side) {
    const double v = GetNumberOrPercentArg(L, index, side, 1, nullptr);
    if (!std::isfinite(v) || v < INT32_MIN || v > INT32_MAX) return 0;
    return int32_t(v);
}

int CreateSprite(lua_State *L) {
    CheckArgCount(L, 3, 0, 0, 0);
    NewID n = ReadNewID(L, 1);
    const int32_t type = Int(L, 2);
    const int args = lua_gettop(L);
    if (type == CX_FRAMES_FROM_IMAGE && args > 9) return ERR_TOOMANYARGS;
    if (!n.automatic) {
        if (int err = FreeSpriteByID(L, n.id, 0)) return err;
    }
    if (type == CX_FRAMES_FROM_SPRITES) {
        std::vector<cxSprite *> members;
        for (int i = 3; i <= args; ++i) {
            cxSprite *s = nullptr;
            if (int err = FindSprite(L, IDArg(L, i), &s, 0)) return err;
            members.push_back(s);
        }
        if (int err = AddSpriteLink(&n.id, members.data(), int32_t(members.size()), nullptr)) return err;
        return NewIDResult(L, n);
    }
    const cxAnimHooks *hooks = GetAnimHooks();
    if (!hooks->buildFrames) return ERR_WRONGUSAGE;
    cxFrameBuildRequest r{};
    r.newId = &n.id;
    r.source = IDArg(L, 3);
    r.targetKind = CX_FRAMES_TO_SPRITE;
    r.transparentColour = -1;
    r.firstArgument = 3;
    switch (type) {
    case CX_FRAMES_FROM_IMAGE: {
        auto opt = [&](int i) { return args >= i && !lua_isnil(L, i) ? Int(L, i) : 0; };
        r.sourceKind = CX_FRAMES_FROM_IMAGE;
        r.frameWidth = opt(4), r.frameHeight = opt(5), r.frames = opt(6), r.framesPerRow = opt(7);
        r.x = opt(8), r.y = opt(9);
        r.cutMode = args >= 4 ? CX_FRAMES_CUT : CX_FRAMES_WHOLE;
        break;
    }
    case CX_FRAMES_FROM_ANIM: r.sourceKind = CX_FRAMES_FROM_ANIM; break;
    case CX_FRAMES_FROM_TEXT: r.sourceKind = CX_FRAMES_FROM_TEXT; break;
    default: return ERR_WRONGUSAGE;
    }
    if (int err = hooks->buildFrames(L, &r)) return err;
    return NewIDResult(L, n);
}

int LoadSprite(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    const cxAnimHooks *hooks = GetAnimHooks();
    if (!hooks->loadFrames) return ERR_WRONGUSAGE;
    if (!n.automatic) {
        if (int err = FreeSpriteByID(L, n.id, 0)) return err;
    }
    if (int err = hooks->loadFrames(L, CX_FRAMES_TO_SPRITE, &n.id, file, lua_gettop(L) >= 3 ? 3 : 0)) return err;
    return NewIDResult(L, n);
}

int DisplaySprite(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    const cxObjectID id = IDArg(L, 1);
    int32_t x = 0, y = 0;
    if (int err = Coordinate(L, 2, &x)) return err;
    if (int err = Coordinate(L, 3, &y)) return err;
    const int32_t frame = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? Int(L, 4) : 0;
    return ShowSprite(L, id, x, y, frame);
}

int RemoveSprite(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return RemoveSpriteFromScreen(L, IDArg(L, 1));
}

int RemoveSprites(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    const int keep = lua_gettop(L) >= 1 && !lua_isnil(L, 1) ? (lua_isboolean(L, 1) ? lua_toboolean(L, 1) : Int(L, 1) != 0)
                                                           : 0;
    return RemoveAllSpritesFromScreen(L, keep);
}

int SetSpriteZPos(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    return SetSpriteZPosition(L, IDArg(L, 1), Int(L, 2));
}

int FreeSprite(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return FreeSpriteByID(L, IDArg(L, 1), 1);
}

int ScaleSprite(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxSprite *s = nullptr;
    if (int err = EditableSprite(L, IDArg(L, 1), &s)) return err;
    const int32_t smooth = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? Int(L, 4) != 0 : 0;
    int32_t w = SizeArg(L, 2, s->width), h = SizeArg(L, 3, s->height);
    if (int err = ApplyKeepAspectRatio(s->width, s->height, &w, &h)) return err;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    if (w == s->width && h == s->height) return 0;
    const int32_t n = s->frames;
    std::vector<cxBitmap *> b(size_t(n), nullptr), m(size_t(n), nullptr), a(size_t(n), nullptr);
    int err = 0;
    for (int32_t i = 0; i < n && !err; ++i)
        err = ScaleBitmapFx(s->bitmaps[i], s->masks[i], s->alphas[i], 0, 0, s->width, s->height, w, h, smooth, &b[i],
                            &m[i], &a[i]);
    if (err) {
        for (int32_t i = 0; i < n; ++i) FreeBitmap(b[i]), FreeMask(m[i]), FreeAlphaChannel(a[i]);
        return err;
    }
    for (int32_t i = 0; i < n; ++i) {
        FreeBitmap(s->bitmaps[i]), FreeMask(s->masks[i]), FreeAlphaChannel(s->alphas[i]);
        s->bitmaps[i] = b[i], s->masks[i] = m[i], s->alphas[i] = a[i];
    }
    s->width = w, s->height = h;
    return 0;
}

int FlipSprite(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxSprite *s = nullptr;
    if (int err = EditableSprite(L, IDArg(L, 1), &s)) return err;
    const int32_t direction = Int(L, 2) ? CX_FLIP_VERTICAL : CX_FLIP_HORIZONTAL;
    for (int32_t i = 0; i < s->frames; ++i)
        if (int err = FlipBitmapFx(s->bitmaps[i], s->masks[i], s->alphas[i], s->width, s->height, direction))
            return err == ERR_BADDIMENSIONS ? ERR_LOCKBMAP : err;
    return 0;
}

int CopySprite(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID source = IDArg(L, 1);
    NewID n = ReadNewID(L, 2);
    if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
    cxSprite *src = nullptr;
    if (int err = FindSprite(L, source, &src, 0)) return err;
    if (!n.automatic) {
        if (int err = FreeSpriteByID(L, n.id, 0)) return err;
        // Freeing the old one may have freed a link that was the source.
        if (int err = FindSprite(L, source, &src, 0)) return err;
    }
    cxSprite *copy = nullptr;
    if (int err = CopySpriteRecord(L, src, n.id, &copy)) return err;
    if (n.automatic) n.id = GetObjectID(&copy->header);
    return NewIDResult(L, n);
}

const luaL_reg kCommands[] = {
    {"CreateSprite", CreateSprite},   {"LoadSprite", LoadSprite},     {"DisplaySprite", DisplaySprite},
    {"RemoveSprite", RemoveSprite},   {"RemoveSprites", RemoveSprites}, {"SetSpriteZPos", SetSpriteZPos},
    {"FreeSprite", FreeSprite},       {"ScaleSprite", ScaleSprite},   {"FlipSprite", FlipSprite},
    {"CopySprite", CopySprite},       {nullptr, nullptr},
};

// ---- the frame builder's road to sprites ----

int AddFromFrames(lua_State *, cxObjectID *id, int32_t frames, int32_t w, int32_t h, cxBitmap **bitmaps,
                  cxBitmap **masks, cxBitmap **alphas, uint32_t **raw, int32_t transparentColour) {
    return AddSpriteRecord(id, frames, w, h, bitmaps, masks, alphas, raw, transparentColour, nullptr);
}

int GetForFrames(lua_State *L, cxObjectID id, int32_t *frames, int32_t *w, int32_t *h, cxBitmap ***bitmaps,
                 cxBitmap ***masks, cxBitmap ***alphas, int *isLink) {
    cxSprite *s = nullptr;
    if (int err = FindSprite(L, id, &s, 0)) return err;
    *isLink = s->group != nullptr;
    *frames = s->frames, *w = s->width, *h = s->height;
    if (!s->group) {
        cxBitmap *b, *m, *a;
        if (int err = GetSpriteFrame(s, 0, &b, &m, &a)) return err;
    }
    *bitmaps = s->bitmaps, *masks = s->masks, *alphas = s->alphas;
    return 0;
}

}  // namespace

extern "C" int OpenSpriteLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "sprite")) return err;
    GetSpriteList();
    const cxSpriteFrameHooks hooks{AddFromFrames, GetForFrames};
    SetSpriteFrameHooks(&hooks);
    return 0;
}

extern "C" int PreloadSpriteItem(lua_State *L, const cxPreprocItem *item) {
    const cxAnimHooks *hooks = GetAnimHooks();
    if (!hooks->loadFrames) return ERR_WRONGUSAGE;
    // The declared options become the loader's option table.
    lua_newtable(L);
    const int table = lua_gettop(L);
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key) continue;
        if (t->kind == CX_TAG_NUMBER) {
            lua_pushstring(L, t->key);
            lua_pushnumber(L, t->number);
            lua_settable(L, table);
        } else if (t->kind == CX_TAG_STRING && t->text) {
            lua_pushstring(L, t->key);
            lua_pushstring(L, t->text);
            lua_settable(L, table);
        }
    }
    char window[1024];
    const char *file = ResolveLinkedFileName(GetRunningApplet(), item->name ? item->name : "", 0, nullptr, window,
                                             sizeof window);
    cxObjectID id{item->id, nullptr};
    const int err = hooks->loadFrames(L, CX_FRAMES_TO_SPRITE, &id, file, table);
    lua_settop(L, table - 1);
    return err;
}
