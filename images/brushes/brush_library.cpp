// The brush library's commands that make, copy, free and show brushes.
#include "images/brushes/brush_library.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "display/backend.h"
#include "display/monitors.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/shadow_alpha.h"
#include "graphics/pixels/pixel_format.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_display.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/display_core.h"
#include "images/core/new_id.h"

namespace {

int32_t Int(lua_State *L, int index) { return int32_t(std::trunc(luaL_checknumber(L, index))); }

int OptionsIndex(lua_State *L, int index) { return lua_gettop(L) >= index ? index : 0; }

int LoadBrush(lua_State *L) {
    CheckArgCount(L, 2, 5, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    cxBrushLoadOptions o;
    InitBrushLoadOptions(&o);
    const int args = lua_gettop(L);
    if (args == 3 && lua_istable(L, 3)) {
        uint32_t colour = 0;
        if (GetTableBool(L, 3, "transparency", &colour, nullptr)) o.transparentColour = int32_t(colour);
        GetTableTruth(L, 3, "loadalpha", &o.loadAlpha, nullptr);
        GetTableTruth(L, 3, "loadtransparency", &o.loadTransparency, nullptr);
        GetTableInt(L, 3, "globalalpha", &o.globalAlpha, nullptr);
        GetTableInt(L, 3, "x", &o.x, nullptr);
        GetTableInt(L, 3, "y", &o.y, nullptr);
        GetTableInt(L, 3, "width", &o.width, nullptr);
        GetTableInt(L, 3, "height", &o.height, nullptr);
        GetTableTruth(L, 3, "hardware", &o.hardware, nullptr);
        GetTablePercent(L, 3, "scalewidth", 1, &o.scaleWidth, nullptr);
        GetTablePercent(L, 3, "scaleheight", 1, &o.scaleHeight, nullptr);
        GetTableTruth(L, 3, "smoothscale", &o.smoothScale, nullptr);
        GetTableString(L, 3, "loader", o.loaders, sizeof o.loaders, nullptr);
        GetTableString(L, 3, "adapter", o.adapters, sizeof o.adapters, nullptr);
        GetTableString(L, 3, "cache", o.cache, sizeof o.cache, nullptr);
        GetTableString(L, 3, "cachedload", o.cachedLoad, sizeof o.cachedLoad, nullptr);
    } else if (args == 3 || args == 5) {
        o.transparentColour = int32_t(uint32_t(luaL_checknumber(L, 3)));
    }
    if (int err = LoadBrushFile(L, &n.id, file, &o)) return err;
    return NewIDResult(L, n);
}

int CreateBrush(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    NewID n = ReadNewID(L, 1);
    const int32_t w = Int(L, 2), h = Int(L, 3);
    const uint32_t colour = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? uint32_t(luaL_checknumber(L, 4)) : 0;
    uint32_t flags = 0;
    cxDisplay *display = nullptr;
    if (lua_gettop(L) >= 5 && !lua_isnil(L, 5)) {
        luaL_checktable(L, 5);
        int alpha = 0, mask = 0, clear = 0, smooth = 0, hardware = 0;
        GetTableTruth(L, 5, "alphachannel", &alpha, nullptr);
        GetTableTruth(L, 5, "mask", &mask, nullptr);
        GetTableTruth(L, 5, "clear", &clear, nullptr);
        GetTableTruth(L, 5, "smoothscale", &smooth, nullptr);
        GetTableTruth(L, 5, "hardware", &hardware, nullptr);
        if (alpha && mask) return ERR_WRONGUSAGE;
        flags = (alpha ? CX_BLANK_ALPHA : 0) | (mask ? CX_BLANK_MASK : 0) | (clear ? CX_BLANK_CLEAR : 0) |
                (smooth ? CX_BLANK_SMOOTH : 0) | (hardware ? CX_BLANK_HARDWARE : 0);
        if (hardware) {
            // A hardware brush belongs to a display that is open: the given
            // one or the current one.
            display = GetCurrentDisplay();
            cxObjectID did{};
            if (GetTableObjectID(L, 5, "display", &did, nullptr)) {
                if (int err = FindDisplay(did, &display)) return err;
            }
            if (!display || display->os.state == CX_DISPLAY_CLOSED) return ERR_HWBMCLOSEDISP;
        }
    }
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    if (int err = CreateBlankBrush(&n.id, w, h, colour, flags, display, nullptr)) return err;
    return NewIDResult(L, n);
}

int CopyBrush(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxObjectID source;
    GetObjectIDArg(&source, L, 1);
    NewID n = ReadNewID(L, 2);
    int smooth = 0;
    if (lua_gettop(L) >= 3 && !lua_isnil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableTruth(L, 3, "smoothscale", &smooth, nullptr);
    }
    if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
    cxBrush *src = nullptr;
    if (int err = FindBrush(L, source, &src, CX_FIND_HARDWARE)) return err;
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    if (!src->bitmap) {
        if (int err = RealizeBrush(src)) return err;
    }
    cxBrush *copy = nullptr;
    if (int err = CopyBrushRecord(L, src, n.id, src->hardware, smooth, src->display, &copy)) return err;
    if (n.automatic) n.id = GetObjectID(&copy->header);
    return NewIDResult(L, n);
}

int FreeBrush(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreeBrushByID(L, id, 1);
}

int DisplayBrush(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    int32_t x = 0, y = 0;
    if (int err = GetCoordinateArg(L, 2, &x)) return err;
    if (int err = GetCoordinateArg(L, 3, &y)) return err;
    return DisplayBrushByID(L, id, x, y, OptionsIndex(L, 4));
}

int DisplayBrushPart(lua_State *L) {
    CheckArgCount(L, 7, 8, 0, 0);
    cxDrawRequest r{};
    r.kind = CX_OBJ_BRUSHPART;
    GetObjectIDArg(&r.id, L, 1);
    r.srcX = Int(L, 2), r.srcY = Int(L, 3);
    if (int err = GetCoordinateArg(L, 4, &r.x)) return err;
    if (int err = GetCoordinateArg(L, 5, &r.y)) return err;
    r.width = Int(L, 6), r.height = Int(L, 7);
    r.optionsIndex = OptionsIndex(L, 8);
    return DrawBitmapCore(L, &r);
}

int GrabDesktop(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    NewID n = ReadNewID(L, 1);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
    int32_t x = mx, y = my, w = mw, h = mh;
    if (lua_gettop(L) >= 2 && !lua_isnil(L, 2)) {
        luaL_checktable(L, 2);
        GetTableInt(L, 2, "x", &x, nullptr);
        GetTableInt(L, 2, "y", &y, nullptr);
        GetTableInt(L, 2, "width", &w, nullptr);
        GetTableInt(L, 2, "height", &h, nullptr);
    }
    if (x < 0 || y < 0) return ERR_WRONGUSAGE;
    // Cut to the monitor the rectangle starts on.
    if (w > mx + mw - x) w = mx + mw - x;
    if (h > my + mh - y) h = my + mh - y;
    if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    cxBitmap *bm = nullptr;
    if (GrabScreenToBitmap(d, x, y, w, h, &bm) != 0 || !bm) return ERR_MEM;
    if (int err = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, nullptr, nullptr,
                                 nullptr)) {
        FreeBitmap(bm);
        return err;
    }
    return NewIDResult(L, n);
}

int RGBArrayToBrush(lua_State *L) {
    CheckArgCount(L, 4, 6, 0, 0);
    NewID n = ReadNewID(L, 1);
    luaL_checktable(L, 2);
    const int32_t w = Int(L, 3), h = Int(L, 4);
    const int32_t type = lua_gettop(L) >= 5 && !lua_isnil(L, 5) ? Int(L, 5) : 0;
    const int invert = lua_gettop(L) >= 6 && !lua_isnil(L, 6) ? Int(L, 6) != 0 : 0;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    const int64_t count = int64_t(w) * h;
    if (count > INT32_MAX) return ERR_NOTENOUGHPIXELS;  // no table holds that many
    // The words are read before anything is made: a short or bad table
    // leaves no brush behind. The buffer grows with what the table holds.
    std::vector<uint32_t> argb;
    for (int32_t i = 0; i < count; ++i) {
        lua_rawgeti(L, 2, i);
        const int t = lua_type(L, -1);
        if (t == LUA_TNIL) {
            lua_settop(L, -2);
            return ERR_NOTENOUGHPIXELS;
        }
        const uint32_t v = uint32_t(int64_t(luaL_checknumber(L, -1)));
        lua_settop(L, -2);
        argb.push_back(invert ? v ^ 0xFF000000u : v);
    }
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) return err;
    }
    uint32_t flags = 0;
    if (type == CX_OBJ_MASK) flags = 2;                    // mask from the alpha bytes
    else if (type == CX_OBJ_ALPHACHANNEL) flags = 1;       // alpha channel from them
    int err = 0;
    if (flags == 2) {
        // A pixel is visible where its alpha byte is not 0.
        cxBrush *b = nullptr;
        err = CreateBlankBrush(&n.id, w, h, 0, CX_BLANK_MASK | CX_BLANK_CLEAR | CX_BLANK_NOFILL, nullptr, &b);
        if (!err) {
            cxOsBitmapLock lock, ml;
            LockBitmap(b->bitmap, 0, &lock);
            LockBitmap(b->mask, 0, &ml);
            for (int32_t y = 0; y < h; ++y) {
                const uint32_t *row = argb.data() + size_t(y) * w;
                ARGBToPixelRow(row, lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat,
                               w);
                uint8_t *m = ml.pixels + size_t(y) * ml.rowLength;
                for (int32_t x = 0; x < w; ++x)
                    if (row[x] >> 24) m[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
            UnlockBitmap(&ml);
            UnlockBitmap(&lock);
        }
    } else {
        err = CreateBrushFromARGBPixels(&n.id, argb.data(), w, h, w, -1, flags);
    }
    if (err) return err;
    return NewIDResult(L, n);
}

// CreateShadowBrush and CreateBorderBrush.
int ShadowOrBorder(lua_State *L, bool border) {
    CheckArgCount(L, 3, 5, 0, 0);
    NewID n = ReadNewID(L, 1);
    cxObjectID source;
    GetObjectIDArg(&source, L, 2);
    const uint32_t colour = uint32_t(int64_t(luaL_checknumber(L, 3)));
    const double radius = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? luaL_checknumber(L, 4) : 5.0;
    const double sigma = lua_gettop(L) >= 5 && !lua_isnil(L, 5) ? luaL_checknumber(L, 5) : radius / 3.0;
    if (!(radius >= 1)) return ERR_WRONGUSAGE;
    if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
    cxBrush *src = nullptr;
    if (int err = FindBrush(L, source, &src, 0)) return err;
    if (!src->bitmap) {
        if (int err = RealizeBrush(src)) return err;
    }
    const int32_t d = int32_t(radius);
    if (int64_t(src->width) + 2 * d > 1000000 || int64_t(src->height) + 2 * d > 1000000) return ERR_BADDIMENSIONS;
    const int32_t w = src->width + 2 * d, h = src->height + 2 * d;
    cxBitmap *alpha = nullptr;
    if (!border || src->mask || src->alpha) {
        const int32_t opacity = 255 - int32_t(colour >> 24);
        alpha = CreateShadowAlpha(src->mask, src->alpha, 0, 0, src->width, src->height, opacity, border ? 1 : 0,
                                  (border && src->alpha && radius >= 4) ? 1 : 0, radius, sigma);
        if (!alpha) return ERR_MEM;
    }
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) {
            FreeAlphaChannel(alpha);
            return err;
        }
    }
    cxBitmap *bm = AllocBitmap(w, h, 0, 0);
    if (!bm) {
        FreeAlphaChannel(alpha);
        return ERR_BITMAP;
    }
    FillRect(bm, 0, 0, w, h, colour & 0xFFFFFF);
    if (int err = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, alpha, nullptr,
                                 nullptr)) {
        FreeBitmap(bm);
        FreeAlphaChannel(alpha);
        return err;
    }
    return NewIDResult(L, n);
}

int CreateShadowBrush(lua_State *L) { return ShadowOrBorder(L, false); }
int CreateBorderBrush(lua_State *L) { return ShadowOrBorder(L, true); }

// ConvertToBrush and GetBrushLink: BGPics and brushes; the other kinds
// belong to libraries that give their images through their own records.
int ConvertCore(lua_State *L, NewID n, int32_t type, int sourceIndex) {
    cxObjectID source;
    GetObjectIDArg(&source, L, sourceIndex);
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    int32_t w = 0, h = 0, key = -1;
    if (type == CX_OBJ_BRUSH) {
        if (!n.automatic && !source.pointer && source.number == n.id.number) return ERR_WRONGUSAGE;
        cxBrush *src = nullptr;
        if (int err = FindBrush(L, source, &src, 0)) return err;
        if (!src->bitmap) {
            if (int err = RealizeBrush(src)) return err;
        }
        b = src->bitmap, m = src->mask, a = src->alpha, w = src->width, h = src->height, key = src->transparentColour;
    } else if (type == CX_OBJ_BGPIC) {
        cxBGPic *src = nullptr;
        if (int err = FindBGPic(L, source, &src, 0)) return err;
        b = src->current.bitmap, m = src->current.mask, a = src->current.alpha;
        w = src->currentWidth, h = src->currentHeight, key = src->transparentColour;
        if (!b) return ERR_BITMAP;
    } else {
        return ERR_WRONGUSAGE;
    }
    cxBitmap *cb = DuplicateBitmap(b, w, h);
    cxBitmap *cm = m ? DuplicateMask(m, cb, w, h) : nullptr;
    cxBitmap *ca = a ? DuplicateAlpha(a, w, h) : nullptr;
    if (!cb || (m && !cm) || (a && !ca)) {
        FreeBitmap(cb);
        FreeMask(cm);
        FreeAlphaChannel(ca);
        return ERR_BITMAP;
    }
    if (!n.automatic) {
        if (int err = FreeBrushByID(L, n.id, 0)) {
            FreeBitmap(cb);
            FreeMask(cm);
            FreeAlphaChannel(ca);
            return err;
        }
    }
    if (int err = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, cb, cm ? key : -1, cm, ca, nullptr,
                                 nullptr)) {
        FreeBitmap(cb);
        FreeMask(cm);
        FreeAlphaChannel(ca);
        return err;
    }
    return NewIDResult(L, n);
}

int ConvertToBrush(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    const int32_t type = Int(L, 1);
    NewID n = ReadNewID(L, 3);
    return ConvertCore(L, n, type, 2);
}

int GetBrushLink(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    NewID n = ReadNewID(L, 1);
    return ConvertCore(L, n, Int(L, 2), 3);
}

const luaL_reg kCommands[] = {
    {"LoadBrush", LoadBrush},
    {"CreateBrush", CreateBrush},
    {"CopyBrush", CopyBrush},
    {"FreeBrush", FreeBrush},
    {"DisplayBrush", DisplayBrush},
    {"DisplayBrushPart", DisplayBrushPart},
    {"GrabDesktop", GrabDesktop},
    {"RGBArrayToBrush", RGBArrayToBrush},
    {"CreateShadowBrush", CreateShadowBrush},
    {"CreateBorderBrush", CreateBorderBrush},
    {"ConvertToBrush", ConvertToBrush},
    {"GetBrushLink", GetBrushLink},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"MASKVISIBLE", nullptr, 0},    {"MASKINVISIBLE", nullptr, 1},  {"MASKVANILLACOPY", nullptr, 2},
    {"MASKXOR", nullptr, 3},        {"MASKAND", nullptr, 4},        {"MASKOR", nullptr, 5},
    {"VANILLACOPY", nullptr, -1},   {"SELMODE_NORMAL", nullptr, 0}, {"SELMODE_COMBO", nullptr, 1},
    {"SELMODE_LAYERS", nullptr, 2}, {nullptr, nullptr, 0},
};

constexpr int kMaxExtraTables = 8;
const luaL_reg *g_extra[kMaxExtraTables];
int g_extraCount = 0;

}  // namespace

extern "C" int AddBrushCommandTable(const luaL_reg *commands) {
    for (int i = 0; i < g_extraCount; ++i)
        if (g_extra[i] == commands) return 0;
    if (g_extraCount == kMaxExtraTables) return ERR_INTERNAL;
    g_extra[g_extraCount++] = commands;
    return 0;
}

namespace {

// A texture fill's brush must exist when it is chosen and when it is used.
int FindTextureBrush(lua_State *L, cxObjectID id) {
    cxBrush *b = nullptr;
    return FindBrush(L, id, &b, 0);
}

}  // namespace

extern "C" int OpenBrushLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "brush")) return err;
    for (int i = 0; i < g_extraCount; ++i) {
        luaL_openlib(L, nullptr, g_extra[i], 0);
        if (int err = AddCommandLibrary(g_extra[i], "brush")) return err;
    }
    luaL_openconstants(L, kConstants, 0);
    GetBrushList();
    InstallBGPicDisplayHooks();
    cxDrawOutputHooks draw = *GetDrawOutputHooks();
    draw.findTexture = FindTextureBrush;
    SetDrawOutputHooks(&draw);
    return 0;
}
