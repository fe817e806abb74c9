#include "images/core/display_options.h"

#include <cmath>
#include <cstring>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "images/brushes/brush.h"
#include "images/core/layer_use.h"

namespace {

cxTransformOptions BuiltInTransform() {
    cxTransformOptions t{};
    t.matrix[0] = t.matrix[3] = 1.0;
    t.scaleX = t.scaleY = 1.0;
    return t;
}

cxLayerOptions BuiltInLayer() {
    cxLayerOptions l{};
    l.shadow.colour = 0x80000000u;
    l.shadow.size = 4;
    l.shadow.direction = 3;
    l.shadow.radius = 5.0;
    l.shadow.sigma = 5.0 / 3.0;
    l.border.size = 2;
    return l;
}

cxTransformOptions g_transform = BuiltInTransform();
cxLayerOptions g_layer = BuiltInLayer();

// A level 0..255: a number or "NN%" of 255, truncated and clamped.
bool ReadLevel(lua_State *L, int table, const char *key, int32_t *out) {
    double v = 0;
    if (!GetTableNumberOrPercent(L, table, key, 255.0, 1, &v, nullptr, nullptr)) return false;
    const double t = std::trunc(v);
    *out = !(t > 0) ? 0 : t > 255 ? 255 : int32_t(t);
    return true;
}

void ComputeMatrix(cxTransformOptions *t, int32_t srcW, int32_t srcH) {
    MakeTransformMatrix(t->matrix, t->width, t->height, srcW, srcH, t->scaleX, t->scaleY, t->rotate);
}

}  // namespace

extern "C" void InitTransformOptions(cxTransformOptions *t) { *t = g_transform; }
extern "C" void InitLayerOptions(cxLayerOptions *l) { *l = g_layer; }
extern "C" cxTransformOptions *GetTransformTemplate(void) { return &g_transform; }
extern "C" cxLayerOptions *GetLayerTemplate(void) { return &g_layer; }

extern "C" void ResetDisplayOptionTemplates(void) {
    g_transform = BuiltInTransform();
    g_layer = BuiltInLayer();
}

extern "C" void InitDisplayOptions(cxTransformOptions *t, cxLayerOptions *l, int32_t width, int32_t height,
                                   int32_t srcWidth, int32_t srcHeight, uint32_t smoothDefault, uint32_t flags) {
    *t = g_transform;
    if (l) *l = g_layer;
    t->width = width == srcWidth ? 0 : width;
    t->height = height == srcHeight ? 0 : height;
    if (!(flags & CX_DOPT_SMOOTHROTATE)) t->smoothScale = smoothDefault;
}

extern "C" int ReadShadowOptions(lua_State *L, int table, cxShadowOptions *s) {
    int on = 0;
    if (GetTableTruth(L, table, "shadow", &on, nullptr)) s->on = on ? 1 : 0;
    if (!s->on) return 0;
    GetTableBool(L, table, "shadowcolor", &s->colour, nullptr);
    int v = 0;
    if (GetTableInt(L, table, "shadowdir", &v, nullptr)) s->direction = uint32_t(v);
    GetTableInt(L, table, "shadowsize", &s->size, nullptr);
    GetTableDouble(L, table, "shadowradius", &s->radius, nullptr);
    GetTableDouble(L, table, "shadowsigma", &s->sigma, nullptr);
    // Directions beyond the eight compass points have no meaning.
    if (!(s->radius >= 1) || s->size < 0 || !(s->sigma > 0) || s->direction > 7) return ERR_WRONGUSAGE;
    return 0;
}

extern "C" int ReadBorderOptions(lua_State *L, int table, int edgeKeys, cxBorderOptions *b) {
    int on = 0;
    if (GetTableTruth(L, table, "border", &on, nullptr)) b->on = on ? 1 : 0;
    GetTableBool(L, table, "bordercolor", &b->colour, nullptr);
    GetTableInt(L, table, "bordersize", &b->size, nullptr);
    if (edgeKeys) {
        GetTableBool(L, table, "edgecolor", &b->colour, nullptr);
        GetTableInt(L, table, "edgesize", &b->size, nullptr);
        GetTableInt(L, table, "outlinethickness", &b->size, nullptr);
    }
    if (b->on && b->size < 1) return ERR_WRONGUSAGE;
    return 0;
}

extern "C" int HasActiveFilters(const cxLayerOptions *l) {
    for (const cxFilter &f : l->filters)
        if (f.active) return 1;
    return 0;
}

extern "C" int ReadDisplayOptions(lua_State *L, int index, int32_t srcW, int32_t srcH, int32_t wantW, int32_t wantH,
                                  uint32_t smoothDefault, cxTransformOptions *t, cxLayerOptions *l, uint32_t flags) {
    if (flags & CX_DOPT_INIT) InitDisplayOptions(t, l, wantW ? wantW : srcW, wantH ? wantH : srcH, srcW, srcH,
                                                 smoothDefault, flags);
    const bool isTable = index > 0 && index == lua_gettop(L) && lua_istable(L, index);
    if (!isTable) {
        if ((flags & CX_DOPT_NEEDTABLE) && index > 0 && index <= lua_gettop(L) && !lua_isnil(L, index)) {
            SetErrorNumber(index);
            return ERR_TABEXPECTED;
        }
        if (t->width || t->height) ComputeMatrix(t, srcW, srcH);
        return 0;
    }
    const int table = index;

    double m[4];
    int found = 0;
    if (GetTableNumbers(L, table, "transform", m, &found)) {
        if (m[0] == 0 || m[3] == 0) return ERR_WRONGUSAGE;
        memcpy(t->transform, m, sizeof m);
        memcpy(t->matrix, m, sizeof m);
        t->hasTransform = 1;
    } else {
        bool any = false;
        double v = 0;
        bool scaled = false;
        if (GetTableDouble(L, table, "scalex", &v, nullptr)) {
            if (v == 0) return ERR_WRONGUSAGE;
            t->scaleX = v;
            scaled = any = true;
        }
        if (GetTableDouble(L, table, "scaley", &v, nullptr)) {
            if (v == 0) return ERR_WRONGUSAGE;
            t->scaleY = v;
            scaled = any = true;
        }
        if (scaled) {
            t->width = t->height = 0;
        } else if (!(flags & CX_DOPT_NOSIZE)) {
            int n = 0;
            if (GetTableInt(L, table, "width", &n, nullptr)) t->width = n == srcW ? 0 : n, any = true;
            if (GetTableInt(L, table, "height", &n, nullptr)) t->height = n == srcH ? 0 : n, any = true;
            if ((t->width && t->width < 1 && t->width != CX_KEEPASPRAT) ||
                (t->height && t->height < 1 && t->height != CX_KEEPASPRAT))
                return ERR_BADDIMENSIONS;
            if (t->width == CX_KEEPASPRAT || t->height == CX_KEEPASPRAT) {
                int32_t w = t->width ? t->width : srcW, h = t->height ? t->height : srcH;
                if (int err = ApplyKeepAspectRatio(srcW, srcH, &w, &h)) return err;
                t->width = w;
                t->height = h;
            }
        }
        if (!(flags & CX_DOPT_MATRIXNOW) && GetTableDouble(L, table, "rotate", &v, nullptr)) {
            t->rotate = std::fmod(v, 360.0);
            any = true;
        }
        if (any || t->width || t->height) {
            ComputeMatrix(t, srcW, srcH);
        } else {
            t->hasTransform = 0;
        }
        if ((flags & CX_DOPT_SMOOTHROTATE) && t->rotate != 0) t->smoothScale = smoothDefault;
    }
    int n = 0;
    if (GetTableInt(L, table, "smoothscale", &n, nullptr)) t->smoothScale = n ? 1 : 0;
    double a = 0;
    if (GetTableDouble(L, table, "anchorx", &a, nullptr)) {
        if (!(a >= 0 && a <= 1)) return ERR_WRONGUSAGE;
        t->anchorX = a;
    }
    if (GetTableDouble(L, table, "anchory", &a, nullptr)) {
        if (!(a >= 0 && a <= 1)) return ERR_WRONGUSAGE;
        t->anchorY = a;
    }
    if (!l) return 0;

    int on = 0;
    if (GetTableTruth(L, table, "hidden", &on, nullptr)) l->hidden = on ? 1 : 0;
    ReadLevel(L, table, "transparency", &l->transparency);
    cxFilter &tint = l->filters[CX_FILTER_TINT];
    if (ReadLevel(L, table, "tint", &tint.ints[1])) tint.active = tint.ints[1] > 0;
    uint32_t tintColour = uint32_t(tint.ints[0]);
    if (GetTableBool(L, table, "tintcolor", &tintColour, nullptr)) tint.ints[0] = int32_t(tintColour);

    int pos = 0;
    if (GetTableLayerPos(L, table, "insertpos", &pos, nullptr)) {
        if (pos < 0) return ERR_INVINSERT;
        // Past the front of the stack means the front.
        const cxLayerHooks *hooks = GetLayerHooks();
        const cxDisplay *d = GetCurrentDisplay();
        const int count = hooks->countLayers && d && d->bgpic ? hooks->countLayers(d->bgpic) : 0;
        if (count > 0 && pos > count + 1) pos = count + 1;
        l->insertPos = pos;
    }
    if (int err = ReadShadowOptions(L, table, &l->shadow)) return err;
    if (int err = ReadBorderOptions(L, table, 0, &l->border)) return err;
    lua_pushstring(L, "filters");
    lua_gettable(L, table);
    const bool hasFilters = !lua_isnil(L, -1);
    lua_settop(L, -2);
    if (hasFilters) {
        const cxLayerHooks *hooks = GetLayerHooks();
        if (hooks->parseFilterTable) {
            if (int err = hooks->parseFilterTable(L, table, l)) return err;
        }
    }
    l->needsLayer = (l->hidden || l->transparency || HasActiveFilters(l) || l->shadow.on || l->border.on) ? 1 : 0;

    lua_pushstring(L, "name");
    lua_gettable(L, table);
    if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) {
        const char *s = lua_tostring(L, -1);
        const size_t len = lua_strlen(L, -1);
        if (len > 255) {
            lua_settop(L, -2);
            return ERR_NAMETOOLONG;
        }
        memcpy(l->name, s, len);
        l->name[len] = 0;
    } else if (!lua_isnil(L, -1)) {
        lua_settop(L, -2);
        SetErrorDetail("name");
        return ERR_STRTABLEARG;
    }
    lua_settop(L, -2);
    return 0;
}

extern "C" void GetDisplayedSize(const double m[4], int32_t width, int32_t height, int32_t *outW, int32_t *outH) {
    if (IsPlainScaleMatrix(m)) {
        if (IsIdentityMatrix(m)) {
            *outW = width;
            *outH = height;
            return;
        }
        const double w = std::trunc(m[0] * width), h = std::trunc(m[3] * height);
        *outW = w < 1 ? 1 : w > 1e9 ? 1000000000 : int32_t(w);
        *outH = h < 1 ? 1 : h > 1e9 ? 1000000000 : int32_t(h);
        return;
    }
    double minX, minY;
    if (GetTransformedSize(m, width, height, outW, outH, &minX, &minY) != 0 || *outW < 1 || *outH < 1) {
        *outW = *outH = 1;
    }
}

extern "C" int TransformBitmapByMatrix(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha,
                                       int32_t width, int32_t height, const double m[4], uint32_t smooth,
                                       cxBitmap **outBitmap, cxBitmap **outMask, cxBitmap **outAlpha,
                                       int32_t *outWidth, int32_t *outHeight) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    if (IsIdentityMatrix(m)) {
        cxBitmap *b = DuplicateBitmap(bitmap, width, height);
        cxBitmap *mk = mask ? DuplicateMask(mask, b, width, height) : nullptr;
        cxBitmap *a = alpha ? DuplicateAlpha(alpha, width, height) : nullptr;
        if (!b || (mask && !mk) || (alpha && !a)) {
            FreeBitmap(b);
            FreeMask(mk);
            FreeAlphaChannel(a);
            return ERR_BITMAP;
        }
        *outBitmap = b, *outMask = mk, *outAlpha = a;
        *outWidth = width, *outHeight = height;
        return 0;
    }
    if (IsPlainScaleMatrix(m)) {
        int32_t w, h;
        GetDisplayedSize(m, width, height, &w, &h);
        if (int err = ScaleBitmapFx(bitmap, mask, alpha, 0, 0, width, height, w, h, int32_t(smooth), outBitmap,
                                    outMask, outAlpha))
            return err;
        *outWidth = w, *outHeight = h;
        return 0;
    }
    return RotateBitmapFx(bitmap, mask, alpha, 0, 0, width, height, m, int32_t(smooth), outBitmap, outMask, outAlpha,
                          outWidth, outHeight);
}

namespace {

// The tint when no layers library runs the filters: every pixel moves
// towards the tint colour by level / 255.
int TintBitmap(cxBitmap *bitmap, int32_t width, int32_t height, uint32_t colour, int32_t level) {
    cxOsBitmapLock lock;
    if (!LockBitmap(bitmap, 0, &lock)) {
        UnlockBitmap(&lock);
        return ERR_LOCKBMAP;
    }
    const uint32_t tr = (colour >> 16) & 0xFF, tg = (colour >> 8) & 0xFF, tb = colour & 0xFF;
    const uint32_t a = uint32_t(level);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t *p = row + size_t(x) * lock.bytesPerPixel;
            const uint32_t c = PixelToColor(LoadPixelValue(p, lock.pixelFormat), lock.pixelFormat, 0);
            uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            r = r + ((int32_t(tr - r) * int32_t(a)) >> 8);
            g = g + ((int32_t(tg - g) * int32_t(a)) >> 8);
            b = b + ((int32_t(tb - b) * int32_t(a)) >> 8);
            StorePixelValue(p, lock.pixelFormat, ColorToPixel((r << 16) | (g << 8) | b, lock.pixelFormat, 0));
        }
    }
    UnlockBitmap(&lock);
    return 0;
}

}  // namespace

extern "C" int ApplyLayerOptionEffects(lua_State *L, const cxLayerOptions *l, int32_t width, int32_t height,
                                       cxBitmap *bitmap, cxBitmap **alpha, cxBitmap **mask, int ownsInputs) {
    if (!l) return 0;
    if (HasActiveFilters(l)) {
        const cxLayerHooks *hooks = GetLayerHooks();
        if (hooks->applyLayerFilters) {
            if (int err = hooks->applyLayerFilters(L, l, bitmap, *mask, *alpha, width, height)) return err;
        } else if (l->filters[CX_FILTER_TINT].active) {
            const cxFilter &t = l->filters[CX_FILTER_TINT];
            if (int err = TintBitmap(bitmap, width, height, uint32_t(t.ints[0]), t.ints[1])) return err;
        }
    }
    if (l->transparency <= 0) return 0;
    const uint32_t keep = uint32_t(255 - l->transparency);
    cxBitmap *made = AllocAlphaChannel(width, height, 1, nullptr, 0);
    if (!made) return ERR_ALLOCALPHA;
    cxOsBitmapLock dst;
    if (!LockBitmap(made, 0, &dst)) {
        UnlockBitmap(&dst);
        FreeAlphaChannel(made);
        return ERR_ALLOCALPHA;
    }
    if (*alpha) {
        cxOsBitmapLock src;
        LockBitmap(*alpha, CX_LOCK_SOURCE, &src);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t *s = src.pixels + size_t(y) * src.rowLength;
            uint8_t *d = dst.pixels + size_t(y) * dst.rowLength;
            for (int32_t x = 0; x < width; ++x) d[x] = uint8_t(s[x] * keep / 255);
        }
        UnlockBitmap(&src);
    } else if (*mask) {
        cxOsBitmapLock src;
        LockBitmap(*mask, CX_LOCK_SOURCE, &src);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t *s = src.pixels + size_t(y) * src.rowLength;
            uint8_t *d = dst.pixels + size_t(y) * dst.rowLength;
            for (int32_t x = 0; x < width; ++x) d[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? uint8_t(keep) : 0;
        }
        UnlockBitmap(&src);
    } else {
        for (int32_t y = 0; y < height; ++y) memset(dst.pixels + size_t(y) * dst.rowLength, int(keep), size_t(width));
    }
    UnlockBitmap(&dst);
    if (ownsInputs) {
        FreeAlphaChannel(*alpha);
        FreeMask(*mask);
    }
    *alpha = made;
    *mask = nullptr;
    return 0;
}
