#include "layers/core/filters.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/convolve.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/quantize/quantize.h"
#include "layers/core/layer.h"
#include "layers/core/layer_blit.h"

namespace {

// Argument kinds: integers, levels (0..255 or "NN%" of 255), floats.
enum Arg : char { kInt = 'i', kLevel = 'l', kFloat = 'f' };

struct FilterInfo {
    const char *name;
    const char *args; // kinds in order
    double defaults[5];
    bool moves;       // moves pixels: runs on masks and alpha channels too
};

const FilterInfo kFilters[CX_FILTER_SLOTS] = {
    {"blur", "f", {5}, false},
    {"charcoal", "f", {2}, false},
    {"contrast", "ii", {1, 1}, false},
    {"edge", "f", {5}, false},
    {"emboss", "f", {5}, false},
    {"gamma", "fff", {1, 1, 1}, false},
    {"grayscale", "", {}, false},
    {"invert", "", {}, false},
    {"modulate", "fff", {100, 100, 100}, false},
    {"monochrome", "i", {1}, false},
    {"oilpaint", "f", {2}, false},
    {"pixelate", "i", {10}, true},
    {"sepiatone", "l", {204}, false},
    {"sharpen", "f", {5}, false},
    {"solarize", "l", {128}, false},
    {"swirl", "i", {180}, true},
    {"tint", "il", {0xFFFFFF, 128}, false},
    {"waterripple", "iiiff", {32, 1, 0, 0.5, 0.5}, true},
    {"xflip", "", {}, true},
    {"yflip", "", {}, true},
    {"quantize", "ii", {256, 1}, false},
};

// The widest radius each convolving filter's kernel takes.
double RadiusLimit(int slot) {
    switch (slot) {
    case CX_FILTER_BLUR: return (CX_MAX_KERNEL_1D - 1) / 2;
    case CX_FILTER_CHARCOAL:
    case CX_FILTER_EDGE:
    case CX_FILTER_EMBOSS:
    case CX_FILTER_SHARPEN:
    case CX_FILTER_OILPAINT: return (CX_MAX_KERNEL_2D - 1) / 2;
    default: return -1;
    }
}

int32_t Saturate(double v) {
    const double t = std::trunc(v);
    return t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int32_t(t);
}

// An element of an args array: a number, or for a level "NN%".
int ReadArg(lua_State *L, char kind, double *out) {
    if (lua_type(L, -1) == LUA_TNUMBER) {
        *out = lua_tonumber(L, -1);
        return 0;
    }
    if (kind == kLevel && lua_type(L, -1) == LUA_TSTRING) {
        const char *s = lua_tostring(L, -1);
        double v = 0;
        const size_t used = ParseDecimalPrefix(s, &v);
        if (used && s[used] == '%' && s[used + 1] == 0) {
            *out = v * 255.0 / 100.0;
            return 0;
        }
    }
    SetErrorDetail("args");
    return ERR_NUMTABLEARG;
}

// The kernels refuse what they cannot do; refusing it here keeps a script
// from asking for a kernel of gigabytes or a colour count out of range.
int CheckArgs(int slot, const cxFilter &f) {
    for (double a : f.args)
        if (!std::isfinite(a)) return ERR_WRONGUSAGE;
    const double limit = RadiusLimit(slot);
    if (limit >= 0 && !(f.args[0] >= 0 && f.args[0] <= limit)) return ERR_WRONGUSAGE;
    if (slot == CX_FILTER_QUANTIZE && (f.ints[0] < 1 || f.ints[0] > 256)) return ERR_WRONGUSAGE;
    if (slot == CX_FILTER_CONTRAST && f.ints[0] < 1) return ERR_WRONGUSAGE;
    return 0;
}

int ParseElement(lua_State *L, int element, int index, cxFilter *filters) {
    lua_pushstring(L, "name");
    lua_gettable(L, element);
    if (lua_isnil(L, -1)) {
        lua_settop(L, -2);
        char detail[16];
        snprintf(detail, sizeof detail, "%d", index - 1);
        SetErrorDetail(detail);
        return ERR_NOFILTERNAME;
    }
    if (lua_type(L, -1) != LUA_TSTRING) {
        lua_settop(L, -2);
        SetErrorDetail("name");
        return ERR_STRTABLEARG;
    }
    const int slot = FindFilterSlot(lua_tostring(L, -1));
    if (slot < 0) {
        SetErrorDetail(lua_tostring(L, -1));
        lua_settop(L, -2);
        return ERR_UNKNOWNFILTER;
    }
    lua_settop(L, -2);
    cxFilter &f = filters[slot];
    double disable = 0;
    GetTableDouble(L, element, "disable", &disable, nullptr);
    if (disable != 0) {
        // Off, keeping its priority and arguments.
        f.active = 0;
        return 0;
    }
    double priority = 0;
    GetTableDouble(L, element, "priority", &priority, nullptr);
    cxFilter made{};
    made.active = 1;
    made.priority = uint32_t(Saturate(priority)) & 0xFFu;
    SetFilterDefaults(&made, slot);
    lua_pushstring(L, "args");
    lua_gettable(L, element);
    const int args = lua_gettop(L);
    if (!lua_isnil(L, args) && !lua_istable(L, args)) {
        lua_settop(L, args - 1);
        SetErrorDetail("args");
        return ERR_TABEXPECTED2;
    }
    if (lua_istable(L, args)) {
        const char *kinds = kFilters[slot].args;
        int ints = 0, floats = 0;
        for (int i = 0; kinds[i]; ++i) {
            lua_rawgeti(L, args, i + 1);
            if (lua_isnil(L, -1)) {
                lua_settop(L, args);
                break;
            }
            double v = 0;
            if (int err = ReadArg(L, kinds[i], &v)) {
                lua_settop(L, args - 1);
                return err;
            }
            lua_settop(L, args);
            if (kinds[i] == kFloat) made.args[floats++] = v;
            else if (kinds[i] == kLevel) made.ints[ints++] = v <= 0 ? 0 : v >= 255 ? 255 : int32_t(v);
            else made.ints[ints++] = Saturate(v);
        }
    }
    lua_settop(L, args - 1);
    if (int err = CheckArgs(slot, made)) return err;
    f = made;
    return 0;
}

}  // namespace

extern "C" const char *GetFilterName(int slot) {
    return slot >= 0 && slot < CX_FILTER_SLOTS ? kFilters[slot].name : nullptr;
}

extern "C" int FindFilterSlot(const char *name) {
    for (int i = 0; i < CX_FILTER_SLOTS; ++i)
        if (StrCompareNoCase(kFilters[i].name, name) == 0) return i;
    return -1;
}

extern "C" void SetFilterDefaults(cxFilter *f, int slot) {
    const FilterInfo &info = kFilters[slot];
    int ints = 0, floats = 0;
    for (int i = 0; info.args[i]; ++i) {
        if (info.args[i] == kFloat) f->args[floats++] = info.defaults[i];
        else f->ints[ints++] = int32_t(info.defaults[i]);
    }
}

extern "C" int GetFilterArgs(const cxFilter *f, int slot, double out[5]) {
    if (slot < 0 || slot >= CX_FILTER_SLOTS) return 0;
    const char *kinds = kFilters[slot].args;
    int n = 0, ints = 0, floats = 0;
    for (; kinds[n] && n < 5; ++n) out[n] = kinds[n] == kFloat ? f->args[floats++] : double(f->ints[ints++]);
    return n;
}

extern "C" int ParseFilterTable(lua_State *L, int table, cxFilter filters[CX_FILTER_SLOTS], int *hasFilters,
                                int *error) {
    *error = 0;
    const int top = lua_gettop(L);
    if (table < 0) table = top + table + 1;
    lua_pushstring(L, "filters");
    lua_gettable(L, table);
    const int list = lua_gettop(L);
    if (lua_isnil(L, list)) {
        lua_settop(L, top);
        return 0;
    }
    if (!lua_istable(L, list)) {
        lua_settop(L, top);
        SetErrorDetail("filters");
        *error = ERR_TABEXPECTED2;
        return 1;
    }
    for (int i = 1;; ++i) {
        lua_rawgeti(L, list, i);
        const int element = lua_gettop(L);
        if (lua_isnil(L, element)) break;
        if (!lua_istable(L, element)) {
            lua_settop(L, top);
            SetErrorDetail("filters");
            *error = ERR_TABEXPECTED2;
            return 1;
        }
        if (int err = ParseElement(L, element, i, filters)) {
            lua_settop(L, top);
            *error = err;
            return 1;
        }
        lua_settop(L, list);
    }
    lua_settop(L, top);
    if (hasFilters) *hasFilters = 1;
    return 1;
}

extern "C" int HasActiveFilterSlots(const cxFilter filters[CX_FILTER_SLOTS]) {
    for (int i = 0; i < CX_FILTER_SLOTS; ++i)
        if (filters[i].active) return 1;
    return 0;
}

namespace {

int RunFilter(int slot, const cxFilter &f, cxBitmap *bm, cxBitmap *mask, cxBitmap *alpha, int32_t w, int32_t h) {
    switch (slot) {
    case CX_FILTER_BLUR: return ConvolveBitmap(CX_CONVOLVE_BLUR, bm, alpha, w, h, f.args[0], f.args[0] / 3.0);
    case CX_FILTER_CHARCOAL: return CharcoalBitmap(bm, alpha, w, h, f.args[0], 1.0);
    case CX_FILTER_CONTRAST: return AdjustBitmapContrast(bm, w, h, f.ints[1], f.ints[0]);
    case CX_FILTER_EDGE: return ConvolveBitmap(CX_CONVOLVE_EDGE, bm, nullptr, w, h, f.args[0], 0.0);
    case CX_FILTER_EMBOSS: return ConvolveBitmap(CX_CONVOLVE_EMBOSS, bm, nullptr, w, h, f.args[0], 1.0);
    case CX_FILTER_GAMMA: return AdjustBitmapGamma(bm, w, h, f.args[0], f.args[1], f.args[2]);
    case CX_FILTER_GRAYSCALE: return ConvertBitmapToGray(bm, w, h, 0);
    case CX_FILTER_INVERT: return InvertBitmap(bm, w, h);
    case CX_FILTER_MODULATE:
        return ModulateBitmap(bm, w, h, f.args[0] / 100.0, f.args[1] / 100.0, f.args[2] / 100.0);
    case CX_FILTER_MONOCHROME: return ConvertBitmapToMonochrome(bm, w, h, f.ints[0]);
    case CX_FILTER_OILPAINT: return OilPaintBitmap(bm, w, h, f.args[0]);
    case CX_FILTER_PIXELATE: return PixelateBitmap(bm, mask, alpha, w, h, f.ints[0]);
    case CX_FILTER_SEPIATONE: return SepiaToneBitmap(bm, w, h, f.ints[0]);
    case CX_FILTER_SHARPEN: return ConvolveBitmap(CX_CONVOLVE_SHARPEN, bm, nullptr, w, h, f.args[0], 1.0);
    case CX_FILTER_SOLARIZE: return SolarizeBitmap(bm, w, h, f.ints[0]);
    case CX_FILTER_SWIRL: return SwirlBitmap(bm, mask, alpha, w, h, f.ints[0]);
    case CX_FILTER_TINTSLOT:
        return MixBitmapColour(bm, w, h, uint32_t(f.ints[0]) & 0xFFFFFFu, f.ints[1]);
    case CX_FILTER_WATERRIPPLE:
        return RippleBitmap(bm, mask, alpha, w, h, f.ints[0], f.ints[1], f.ints[2], f.args[0], f.args[1]);
    case CX_FILTER_XFLIP: return FlipBitmapFx(bm, mask, alpha, w, h, CX_FLIP_HORIZONTAL);
    case CX_FILTER_YFLIP: return FlipBitmapFx(bm, mask, alpha, w, h, CX_FLIP_VERTICAL);
    case CX_FILTER_QUANTIZE: return QuantizeBitmap(bm, w, h, f.ints[0], f.ints[1]);
    default: return 0;
    }
}

}  // namespace

extern "C" int ApplyLayerFilters(const cxFilter filters[CX_FILTER_SLOTS], cxBitmap *bm, cxBitmap *mask,
                                 cxBitmap *alpha, int32_t w, int32_t h, int geometryOnly) {
    if (!bm || w < 1 || h < 1) return 0;
    bool done[CX_FILTER_SLOTS] = {};
    int result = 0;
    // Higher priorities first; ties in slot order.
    for (int level = 255; level >= 0; --level) {
        for (int slot = 0; slot < CX_FILTER_SLOTS; ++slot) {
            const cxFilter &f = filters[slot];
            if (!f.active || done[slot] || int(f.priority & 0xFF) < level) continue;
            done[slot] = true;
            if (geometryOnly && !kFilters[slot].moves) continue;
            result = RunFilter(slot, f, bm, mask, alpha, w, h);
        }
    }
    return result;
}
