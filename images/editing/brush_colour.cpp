// Transparency and colour commands: SetBrushTransparency,
// ChangeBrushTransparency, DeleteMask, DeleteAlphaChannel, InvertMask,
// InvertAlphaChannel, ReduceAlphaChannel, SetAlphaIntensity, SetMaskMode,
// ReplaceColors, TintBrush, InvertBrush, BrushToGray, BrushToMonochrome,
// MixBrush and QuantizeBrush.
#include <algorithm>
#include <vector>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/blit_settings.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/quantize/quantize.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"

using namespace cx::edit;

namespace {

constexpr int32_t kKindMask = 28, kKindAlpha = 30, kKindNone = -1;
constexpr uint32_t kNoTransparency = 0xFFFFFFFFu;

int32_t ClampLevel(double v) {
    if (!(v > 0)) return 0;
    return v > 255 ? 255 : int32_t(v);
}

}  // namespace

// SetBrushTransparency(id, colour)
extern "C" int CmdSetBrushTransparency(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const uint32_t colour = ColourArg(L, 2);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        cxBitmap *mask = nullptr;
        if (colour != kNoTransparency) {
            mask = MakeColorKeyMask(b->bitmap, b->width, b->height, colour & 0xFFFFFFu);
            if (!mask) return int(ERR_MEM);
        }
        FreeMask(b->mask);
        FreeAlphaChannel(b->alpha);
        b->mask = mask;
        b->alpha = nullptr;
        b->transparentColour = colour == kNoTransparency ? CX_NO_TRANSPARENT_COLOUR : int32_t(colour & 0xFFFFFFu);
        return 0;
    });
}

// ChangeBrushTransparency(id, #MASK | #ALPHACHANNEL | #NONE)
extern "C" int CmdChangeBrushTransparency(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t kind = luaL_checkint(L, 2);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        switch (kind) {
        case kKindMask: {
            if (b->mask) return 0;
            cxBitmap *m = AllocMask(b->bitmap, b->width, b->height, 1, nullptr, 0);
            if (!m) return int(ERR_ALLOCMASK);
            if (b->alpha) {
                if (int err = AlphaToMaskOpaque(b->alpha, m, b->width, b->height)) {
                    FreeMask(m);
                    return err;
                }
                FreeAlphaChannel(b->alpha);
                b->alpha = nullptr;
            } else {
                FillMaskRect(m, 0, 0, b->width, b->height, CX_MASKVISIBLE);
            }
            b->mask = m;
            b->transparentColour = CX_TRANSPARENT_BY_MASK;
            return 0;
        }
        case kKindAlpha: {
            if (b->alpha) return 0;
            cxBitmap *a = AllocAlphaChannel(b->width, b->height, 0, nullptr, 0);
            if (!a) return int(ERR_ALLOCALPHA);
            if (b->mask) {
                if (int err = MaskToAlphaChannel(b->mask, a, b->width, b->height, 255)) {
                    FreeAlphaChannel(a);
                    return err;
                }
                FreeMask(b->mask);
                b->mask = nullptr;
                b->transparentColour = CX_NO_TRANSPARENT_COLOUR;
            } else {
                FillAlphaRect(a, 0, 0, b->width, b->height, 255);
            }
            b->alpha = a;
            return 0;
        }
        case kKindNone:
            FreeMask(b->mask);
            FreeAlphaChannel(b->alpha);
            b->mask = b->alpha = nullptr;
            b->transparentColour = CX_NO_TRANSPARENT_COLOUR;
            return 0;
        default: return int(ERR_WRONGUSAGE);
        }
    });
}

// DeleteMask(id)
extern "C" int CmdDeleteMask(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush, [&](cxBrush *b) {
        FreeMask(b->mask);
        b->mask = nullptr;
        b->transparentColour = CX_NO_TRANSPARENT_COLOUR;
        return 0;
    });
}

// DeleteAlphaChannel(id)
extern "C" int CmdDeleteAlphaChannel(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush, [&](cxBrush *b) {
        FreeAlphaChannel(b->alpha);
        b->alpha = nullptr;
        return 0;
    });
}

// InvertMask(id)
extern "C" int CmdInvertMask(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush,
                     [&](cxBrush *b) { return b->mask ? InvertChannelBytes(b->mask) : int(ERR_WRONGUSAGE); });
}

// InvertAlphaChannel(id)
extern "C" int CmdInvertAlphaChannel(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush,
                     [&](cxBrush *b) { return b->alpha ? InvertChannelBytes(b->alpha) : int(ERR_WRONGUSAGE); });
}

// ReduceAlphaChannel(id, level)
extern "C" int CmdReduceAlphaChannel(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double level = LevelArg(L, 2);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (!(level >= 0 && level <= 255)) return int(ERR_WRONGUSAGE);
        if (!b->alpha) return int(ERR_WRONGUSAGE);
        return ScaleAlphaChannel(b->alpha, uint32_t(level));
    });
}

// SetAlphaIntensity(level): -1 (#VANILLACOPY) copies source alpha values.
extern "C" int CmdSetAlphaIntensity(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double level = GetNumberOrPercentArg(L, 1, 255.0, 0, nullptr);
    if (!(level >= -1 && level <= 255)) return ERR_WRONGUSAGE;
    GetBlitSettings()->alphaIntensity = level < 0 ? CX_ALPHA_PLAIN : uint32_t(level);
    return 0;
}

// SetMaskMode(mode)
extern "C" int CmdSetMaskMode(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    GetBlitSettings()->maskMode = luaL_checkint(L, 1);
    return 0;
}

// ReplaceColors(id, {from, to, from, to, ...})
extern "C" int CmdReplaceColors(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    if (!lua_istable(L, 2)) {
        SetErrorNumber(2);
        return ERR_TABEXPECTED;
    }
    std::vector<uint32_t> pairs;
    for (int i = 0;; i++) {
        lua_rawgeti(L, 2, i);
        const bool missing = lua_isnil(L, -1);
        if (!missing && !lua_isnumber(L, -1)) {
            lua_pop(L, 1);
            SetErrorDetail("colortable");
            return ERR_NUMTABLEARG;
        }
        const double v = missing ? 0 : lua_tonumber(L, -1);
        lua_pop(L, 1);
        if (i % 2 == 0) {
            if (missing || v == -1) break;
        } else if (missing) {
            return ERR_WRONGUSAGE;
        }
        pairs.push_back(Finite(v) ? uint32_t(int64_t(v)) : 0u);
    }
    if (pairs.empty()) return 0;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return ReplaceBitmapColors(b->bitmap, b->width, b->height, pairs.data(), int32_t(pairs.size() / 2));
    });
}

// TintBrush(id, colour, level)
extern "C" int CmdTintBrush(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    const cxObjectID id = BrushArg(L);
    const uint32_t colour = ColourArg(L, 2) & 0xFFFFFFu;
    const int32_t level = ClampLevel(GetNumberOrPercentArg(L, 3, 255.0, 1, nullptr));
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (level == 0) return 0;
        if (level == 255) return FillRect(b->bitmap, 0, 0, b->width, b->height, colour);
        cxBitmap *tint = AllocBitmap(b->width, b->height, 0, 0);
        if (!tint) return int(ERR_MEM);
        FillRect(tint, 0, 0, b->width, b->height, colour);
        const int err = MixBitmaps(b->bitmap, tint, nullptr, 0, 0, 0, 0, b->width, b->height, level, nullptr);
        FreeBitmap(tint);
        return err;
    });
}

// InvertBrush(id)
extern "C" int CmdInvertBrush(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush,
                     [&](cxBrush *b) { return InvertBitmap(b->bitmap, b->width, b->height); });
}

// BrushToGray(id)
extern "C" int CmdBrushToGray(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return EditBrush(L, BrushArg(L), kPlainBrush,
                     [&](cxBrush *b) { return ConvertBitmapToGray(b->bitmap, b->width, b->height, 0); });
}

// BrushToMonochrome(id[, dither])
extern "C" int CmdBrushToMonochrome(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t dither = luaL_optint(L, 2, 1);
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return ConvertBitmapToMonochrome(b->bitmap, b->width, b->height, dither); });
}

// MixBrush(id, other, level): only the first brush changes.
extern "C" int CmdMixBrush(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    const cxObjectID id = BrushArg(L);
    cxObjectID otherId{};
    GetObjectIDArg(&otherId, L, 2);
    const int32_t level = ClampLevel(GetNumberOrPercentArg(L, 3, 255.0, 1, nullptr));
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        cxBrush *other = nullptr;
        if (int err = FindBrush(L, otherId, &other, kRead)) return err;
        const int32_t w = std::min(b->width, other->width), h = std::min(b->height, other->height);
        return MixBitmaps(b->bitmap, other->bitmap, other->mask, 0, 0, 0, 0, w, h, level,
                          other->mask ? nullptr : other->alpha);
    });
}

// QuantizeBrush(id[, colours, dither])
extern "C" int CmdQuantizeBrush(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t colours = luaL_optint(L, 2, 256), dither = luaL_optint(L, 3, 1);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (colours < 1 || colours > 256) return int(ERR_WRONGUSAGE);
        return QuantizeBitmap(b->bitmap, b->width, b->height, colours, dither);
    });
}
