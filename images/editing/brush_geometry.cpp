// ScaleBrush, RotateBrush, TransformBrush, FlipBrush, CropBrush, TrimBrush
// and RasterizeBrush.
#include <climits>
#include <cmath>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "graphics/support/locked_bitmap.h"
#include "images/core/display_options.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"

using namespace cx::edit;

namespace {

// A size argument after the brush is known: a number, a percentage of the
// brush's side, or #KEEPASPRAT. NaN and sizes below 31 bits become 0, which
// the size check refuses; sizes above them the largest, which no bitmap
// can hold.
int32_t SizeArg(lua_State *L, int index, int32_t side) {
    const double v = GetNumberOrPercentArg(L, index, side, 1, nullptr);
    if (std::isnan(v) || v < INT32_MIN) return 0;
    if (v > INT32_MAX) return INT32_MAX;
    return int32_t(v);
}

// The new bitmaps of a matrix applied to the whole brush.
int Transform(lua_State *L, cxObjectID id, const double m[4], int32_t smooth) {
    return EditBrush(L, id, kAnyBrush, [&](cxBrush *b) {
        NewImage n;
        int err = 0;
        if (b->brushKind == CX_BRUSH_BITMAP)
            err = RotateBitmapFx(b->bitmap, b->mask, b->alpha, 0, 0, b->width, b->height, m, smooth, &n.bitmap, &n.mask,
                                 &n.alpha, &n.width, &n.height);
        else
            err = TransformBitmapByMatrix(b->bitmap, b->mask, b->alpha, b->width, b->height, m, uint32_t(smooth),
                                          &n.bitmap, &n.mask, &n.alpha, &n.width, &n.height);
        if (err) return err;
        if (!n.bitmap || n.width < 1 || n.height < 1) return int(ERR_BADDIMENSIONS);
        ReplaceBrushImage(b, n);
        if (b->brushKind != CX_BRUSH_BITMAP) b->transformed = 1;
        return 0;
    });
}

// The smallest rectangle holding every visible pixel; false when none is.
bool VisibleBounds(const cxBrush *b, int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2) {
    *x1 = *y1 = 100000;
    *x2 = *y2 = -1;
    cxOsBitmapLock l{};
    const cxBitmap *channel = b->mask ? b->mask : b->alpha;
    if (!LockBitmap(channel, 0, &l) || !l.pixels) {
        UnlockBitmap(&l);
        return false;
    }
    for (int32_t y = 0; y < b->height; y++) {
        const uint8_t *row = l.pixels + size_t(y) * l.rowLength;
        for (int32_t x = 0; x < b->width; x++) {
            const bool on = b->mask ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x] != 0;
            if (!on) continue;
            if (x < *x1) *x1 = x;
            if (y < *y1) *y1 = y;
            if (x > *x2) *x2 = x;
            if (y > *y2) *y2 = y;
        }
    }
    UnlockBitmap(&l);
    return *x2 >= 0;
}

}  // namespace

// ScaleBrush(id, width, height[, smooth])
extern "C" int CmdScaleBrush(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t smooth = luaL_optint(L, 4, 0);
    return EditBrush(L, id, kAnyBrush, [&](cxBrush *b) {
        int32_t w = SizeArg(L, 2, b->width), h = SizeArg(L, 3, b->height);
        if (int err = ApplyKeepAspectRatio(b->width, b->height, &w, &h)) return err;
        if (w < 1 || h < 1) return int(ERR_BADDIMENSIONS);
        if (w == b->width && h == b->height) return 0;
        NewImage n;
        if (b->brushKind == CX_BRUSH_BITMAP) {
            if (int err = ScaleBitmapFx(b->bitmap, b->mask, b->alpha, 0, 0, b->width, b->height, w, h, smooth,
                                        &n.bitmap, &n.mask, &n.alpha))
                return err;
            n.width = w;
            n.height = h;
        } else {
            // The brush is drawn again from what it shows now.
            const double m[4] = {double(w) / b->width, 0, 0, double(h) / b->height};
            if (int err = TransformBitmapByMatrix(b->bitmap, b->mask, b->alpha, b->width, b->height, m,
                                                  uint32_t(smooth), &n.bitmap, &n.mask, &n.alpha, &n.width, &n.height))
                return err;
            b->transformed = 1;
        }
        ReplaceBrushImage(b, n);
        return 0;
    });
}

// RotateBrush(id, angle[, scalex, scaley, smooth])
extern "C" int CmdRotateBrush(lua_State *L) {
    CheckArgCount(L, 2, 5, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double angle = luaL_checknumber(L, 2), sx = luaL_optnumber(L, 3, 1.0), sy = luaL_optnumber(L, 4, 1.0);
    const int32_t smooth = luaL_optint(L, 5, 0);
    if (IsActiveBrush(id)) return ERR_MODIFYABR;
    // A scale of 0 (or one that is no number at all) leaves nothing to show.
    if (sx == 0 || sy == 0 || !Finite(sx) || !Finite(sy) || !Finite(angle)) return ERR_WRONGUSAGE;
    double m[4];
    MakeTransformMatrix(m, 0, 0, 0, 0, sx, sy, std::fmod(angle, 360.0));
    return Transform(L, id, m, smooth);
}

// TransformBrush(id, m00, m01, m10, m11[, smooth])
extern "C" int CmdTransformBrush(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double m[4] = {luaL_checknumber(L, 2), luaL_checknumber(L, 3), luaL_checknumber(L, 4),
                         luaL_checknumber(L, 5)};
    const int32_t smooth = luaL_optint(L, 6, 0);
    if (m[0] == 0 || m[3] == 0) return ERR_WRONGUSAGE;
    for (double v : m)
        if (!Finite(v)) return ERR_WRONGUSAGE;
    if (IsActiveBrush(id)) return ERR_MODIFYABR;
    return Transform(L, id, m, smooth);
}

// FlipBrush(id, direction): 0 mirrors left and right, others top and bottom.
extern "C" int CmdFlipBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int32_t direction = luaL_checkint(L, 2);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        return FlipBitmapFx(b->bitmap, b->mask, b->alpha, b->width, b->height, direction);
    });
}

// CropBrush(id, x, y, width, height)
extern "C" int CmdCropBrush(lua_State *L) {
    CheckArgCount(L, 5, 5, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double fx = luaL_checknumber(L, 2), fy = luaL_checknumber(L, 3), fw = luaL_checknumber(L, 4),
                 fh = luaL_checknumber(L, 5);
    if (IsActiveBrush(id)) return ERR_MODIFYABR;
    if (!(fw >= 1 && fw <= INT32_MAX) || !(fh >= 1 && fh <= INT32_MAX)) return ERR_BADDIMENSIONS;
    if (!Finite(fx) || !Finite(fy) || std::fabs(fx) > INT32_MAX || std::fabs(fy) > INT32_MAX) return ERR_COORDSRANGE;
    int32_t w = int32_t(fw), h = int32_t(fh);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        const int32_t x = ResolveSpecialX(int32_t(fx), w, b->width, 0.0);
        const int32_t y = ResolveSpecialY(int32_t(fy), h, b->height, 0.0);
        if (x < 0 || y < 0) return int(ERR_NEGCOORDS);
        if (x >= b->width || y >= b->height) return int(ERR_COORDSRANGE);
        if (int64_t(x) + w > b->width) w = b->width - x;
        if (int64_t(y) + h > b->height) h = b->height - y;
        NewImage n;
        if (int err = ConvertBitmapFx(b->bitmap, b->mask, b->alpha, x, y, w, h, &n.bitmap, &n.mask, &n.alpha))
            return err;
        n.width = w;
        n.height = h;
        ReplaceBrushImage(b, n);
        return 0;
    });
}

// TrimBrush(id): the offset of the kept rectangle, two results.
extern "C" int CmdTrimBrush(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const cxObjectID id = BrushArg(L);
    int32_t left = 0, top = 0;
    const int err = EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (!b->mask && !b->alpha) return 0;
        int32_t x1, y1, x2, y2;
        if (b->height < 1 || !VisibleBounds(b, &x1, &y1, &x2, &y2)) return int(ERR_TRANSBRUSH);
        const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
        if (x1 == 0 && y1 == 0 && w == b->width && h == b->height) return 0;
        NewImage n;
        if (int e = ConvertBitmapFx(b->bitmap, b->mask, b->alpha, x1, y1, w, h, &n.bitmap, &n.mask, &n.alpha))
            return e;
        n.width = w;
        n.height = h;
        ReplaceBrushImage(b, n);
        left = x1;
        top = y1;
        return 0;
    });
    if (err) return err;
    lua_pushnumber(L, left);
    lua_pushnumber(L, top);
    return 2;
}

// RasterizeBrush(id): a vector brush becomes a plain one.
extern "C" int CmdRasterizeBrush(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const cxObjectID id = BrushArg(L);
    return EditBrush(L, id, kVectorBrush, [&](cxBrush *b) {
        if (b->brushKind == CX_BRUSH_BITMAP) return int(ERR_WRONGUSAGE);
        b->brushKind = CX_BRUSH_BITMAP;
        ReleaseImageHandle(b->image);
        b->image = nullptr;
        return 0;
    });
}
