// Filters, tone changes, geometric effects and distortions of a brush in
// place: each command checks its arguments and hands the brush's bitmaps to
// one effect driver of the graphics core.
#include <climits>
#include <cmath>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/distort/distort.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/effects/geometry_drivers.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"

using namespace cx::edit;

namespace {

// Integers the drivers take: NaN and values beyond 32 bits are refused
// before they are truncated.
bool ToInt(double v, int32_t *out) {
    if (!Finite(v) || v < INT32_MIN || v > INT32_MAX) return false;
    *out = int32_t(v);
    return true;
}

// BlurBrush, SharpenBrush, EdgeBrush and EmbossBrush.
int Convolve(lua_State *L, int maxArgs, int32_t kind, double sigma) {
    CheckArgCount(L, 1, maxArgs, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double radius = luaL_optnumber(L, 2, 0);
    if (maxArgs >= 3) sigma = luaL_optnumber(L, 3, sigma);
    if (!(radius >= 0) || !Finite(radius) || !Finite(sigma)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return ConvolveBitmap(kind, b->bitmap, b->alpha, b->width, b->height, radius, sigma);
    });
}

// The distortion commands: n coefficients from argument 2, the smooth flag
// at argument n + 2.
int Distort(lua_State *L, int minArgs, int maxArgs, int32_t method, int n) {
    CheckArgCount(L, minArgs, maxArgs, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t smooth = luaL_optint(L, n + 2, 0);
    const int top = lua_gettop(L);
    double args[16] = {};
    int count = 0;
    for (int i = 2; i < 2 + n && i <= top; i++) {
        args[count] = luaL_checknumber(L, i);
        if (!Finite(args[count])) return ERR_WRONGUSAGE;
        count++;
    }
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        double control[16];
        const double *coefficients = args;
        int used = count;
        if (method == 4) {
            // Corners of the brush to the given points.
            const double w = b->width, h = b->height;
            const double src[8] = {0, 0, w, 0, w, h, 0, h};
            for (int c = 0; c < 4; c++) {
                control[c * 4 + 0] = src[c * 2];
                control[c * 4 + 1] = src[c * 2 + 1];
                control[c * 4 + 2] = args[c * 2];
                control[c * 4 + 3] = args[c * 2 + 1];
            }
            coefficients = control;
            used = 16;
        }
        NewImage out;
        if (int err = DistortBitmap(b->bitmap, b->mask, b->alpha, b->width, b->height, method, used, coefficients,
                                    smooth, &out.bitmap, &out.mask, &out.alpha, &out.width, &out.height))
            return err;
        if (!out.bitmap || out.width < 1 || out.height < 1) return int(ERR_BADDIMENSIONS);
        ReplaceBrushImage(b, out);
        return 0;
    });
}

}  // namespace

extern "C" int CmdBlurBrush(lua_State *L) { return Convolve(L, 3, 'b', 3.0); }
extern "C" int CmdSharpenBrush(lua_State *L) { return Convolve(L, 2, 's', 1.0); }
extern "C" int CmdEdgeBrush(lua_State *L) { return Convolve(L, 2, 'g', 0.0); }
extern "C" int CmdEmbossBrush(lua_State *L) { return Convolve(L, 2, 'e', 1.0); }

// CharcoalBrush(id, radius)
extern "C" int CmdCharcoalBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double radius = luaL_checknumber(L, 2);
    if (!(radius >= 0) || !Finite(radius)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return CharcoalBitmap(b->bitmap, b->alpha, b->width, b->height, radius, 1.0);
    });
}

// OilPaintBrush(id, radius)
extern "C" int CmdOilPaintBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double radius = luaL_checknumber(L, 2);
    if (!(radius >= 0) || !Finite(radius)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return OilPaintBitmap(b->bitmap, b->width, b->height, radius); });
}

// SolarizeBrush(id, threshold)
extern "C" int CmdSolarizeBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t threshold = 0;
    if (!ToInt(LevelArg(L, 2), &threshold)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return SolarizeBitmap(b->bitmap, b->width, b->height, threshold); });
}

// SepiaToneBrush(id, threshold)
extern "C" int CmdSepiaToneBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t threshold = 0;
    if (!ToInt(LevelArg(L, 2), &threshold)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return SepiaToneBitmap(b->bitmap, b->width, b->height, threshold); });
}

// GammaBrush(id, red, green, blue)
extern "C" int CmdGammaBrush(lua_State *L) {
    CheckArgCount(L, 4, 4, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double r = luaL_checknumber(L, 2), g = luaL_checknumber(L, 3), bl = luaL_checknumber(L, 4);
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return AdjustBitmapGamma(b->bitmap, b->width, b->height, r, g, bl); });
}

// ContrastBrush(id, sharpen[, times])
extern "C" int CmdContrastBrush(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t raise = luaL_checkint(L, 2);
    int32_t times = 1;
    if (!ToInt(luaL_optnumber(L, 3, 1), &times) || times <= 0) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return AdjustBitmapContrast(b->bitmap, b->width, b->height, raise, times);
    });
}

// ModulateBrush(id, brightness, saturation, hue)
extern "C" int CmdModulateBrush(lua_State *L) {
    CheckArgCount(L, 4, 4, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double br = luaL_checknumber(L, 2), sa = luaL_checknumber(L, 3), hu = luaL_checknumber(L, 4);
    if (!(br >= 0) || !(sa >= 0) || !(hu >= 0) || !Finite(br) || !Finite(sa) || !Finite(hu)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush,
                     [&](cxBrush *b) { return ModulateBitmap(b->bitmap, b->width, b->height, br, sa, hu); });
}

// SwirlBrush(id, angle)
extern "C" int CmdSwirlBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t angle = 0;
    if (!ToInt(luaL_checknumber(L, 2), &angle)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return SwirlBitmap(b->bitmap, b->mask, b->alpha, b->width, b->height, angle);
    });
}

// PixelateBrush(id, size)
extern "C" int CmdPixelateBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t size = 0;
    const bool ok = ToInt(luaL_checknumber(L, 2), &size);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (!ok || size > b->width || size > b->height || size < 1) return int(ERR_WRONGUSAGE);
        return PixelateBitmap(b->bitmap, b->mask, b->alpha, b->width, b->height, size);
    });
}

// WaterRippleBrush(id[, wavelength, amplitude, phase, centrex, centrey])
extern "C" int CmdWaterRippleBrush(lua_State *L) {
    CheckArgCount(L, 1, 6, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t wave = 0, amplitude = 0, phase = 0;
    const bool ok = ToInt(luaL_optnumber(L, 2, 32), &wave) && ToInt(luaL_optnumber(L, 3, 1), &amplitude) &&
                    ToInt(luaL_optnumber(L, 4, 0), &phase);
    const double cx = luaL_optnumber(L, 5, 0.5), cy = luaL_optnumber(L, 6, 0.5);
    if (!ok || !Finite(cx) || !Finite(cy)) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return RippleBitmap(b->bitmap, b->mask, b->alpha, b->width, b->height, wave, amplitude, phase, cx, cy);
    });
}

extern "C" int CmdBarrelDistortBrush(lua_State *L) { return Distort(L, 4, 12, 12, 10); }
extern "C" int CmdPolarDistortBrush(lua_State *L) { return Distort(L, 1, 8, 10, 6); }
extern "C" int CmdArcDistortBrush(lua_State *L) { return Distort(L, 2, 6, 9, 4); }
extern "C" int CmdPerspectiveDistortBrush(lua_State *L) { return Distort(L, 9, 10, 4, 8); }
