// ReadBrushPixel, WriteBrushPixel, IsBrushEmpty, BrushToRGBArray and
// FloodFill.
#include <climits>
#include <cmath>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/fill/flood_fill.h"
#include "graphics/geometry/geometry.h"
#include "graphics/pixels/pixel_format.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"

using namespace cx::edit;

namespace {

// A position argument: special coordinates resolve against the brush with
// an object size of 1. Values that are no pixel position at all (NaN,
// beyond 32 bits) become -1, outside every brush.
int32_t Position(double v, bool horizontal, int32_t room) {
    if (!Finite(v) || v < INT32_MIN || v > INT32_MAX) return -1;
    return horizontal ? ResolveSpecialX(int32_t(v), 1, room, 0.0) : ResolveSpecialY(int32_t(v), 1, room, 0.0);
}

bool Inside(const cxBrush *b, int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < b->width && y < b->height; }

// 1 for a visible pixel of a row of a locked mask or alpha channel.
inline bool Visible(const uint8_t *row, int32_t x, bool mask) {
    return mask ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x] != 0;
}

}  // namespace

// ReadBrushPixel(id, x, y): colour and transparency.
extern "C" int CmdReadBrushPixel(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double fx = luaL_checknumber(L, 2), fy = luaL_checknumber(L, 3);
    double colour = 4294967295.0, transparency = -1;
    const int err = EditBrush(L, id, kRead, [&](cxBrush *b) {
        const int32_t x = Position(fx, true, b->width), y = Position(fy, false, b->height);
        if (!Inside(b, x, y)) return 0;
        uint32_t v = 0;
        if (int e = ReadBitmapPixel(b->bitmap, x, y, &v)) return e;
        colour = v;
        uint32_t t = 0;
        if (b->mask) {
            if (int e = ReadBitmapPixel(b->mask, x, y, &t)) return e;
            transparency = t;
        } else if (b->alpha) {
            if (int e = ReadBitmapPixel(b->alpha, x, y, &t)) return e;
            transparency = t;
        }
        return 0;
    });
    if (err) return err;
    lua_pushnumber(L, colour);
    lua_pushnumber(L, transparency);
    return 2;
}

// WriteBrushPixel(id, x, y, colour[, transparency])
extern "C" int CmdWriteBrushPixel(lua_State *L) {
    CheckArgCount(L, 4, 5, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double fx = luaL_checknumber(L, 2), fy = luaL_checknumber(L, 3);
    const uint32_t colour = ColourArg(L, 4);
    const double transparency = luaL_optnumber(L, 5, -1);
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        const int32_t x = Position(fx, true, b->width), y = Position(fy, false, b->height);
        if (!Inside(b, x, y)) return 0;
        if (int e = WriteBitmapPixel(b->bitmap, x, y, colour & 0xFFFFFFu)) return e;
        if (transparency == -1 || !Finite(transparency)) return 0;
        const int64_t t = int64_t(transparency);
        if (b->mask) return WriteBitmapPixel(b->mask, x, y, t != 0);
        if (b->alpha) return WriteBitmapPixel(b->alpha, x, y, uint32_t(t) & 0xFF);
        return 0;
    });
}

// IsBrushEmpty(id)
extern "C" int CmdIsBrushEmpty(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const cxObjectID id = BrushArg(L);
    int empty = 0;
    const int err = EditBrush(L, id, kRead, [&](cxBrush *b) {
        const cxBitmap *channel = b->mask ? b->mask : b->alpha;
        if (!channel) return 0;
        empty = 1;
        cxOsBitmapLock l{};
        if (!LockBitmap(channel, 0, &l) || !l.pixels) {
            UnlockBitmap(&l);
            return int(ERR_LOCKBMAP);
        }
        for (int32_t y = 0; y < b->height && empty; y++) {
            const uint8_t *row = l.pixels + size_t(y) * l.rowLength;
            for (int32_t x = 0; x < b->width; x++)
                if (Visible(row, x, b->mask != nullptr)) {
                    empty = 0;
                    break;
                }
        }
        UnlockBitmap(&l);
        return 0;
    });
    if (err) return err;
    lua_pushnumber(L, empty);
    return 1;
}

// BrushToRGBArray(id[, inverted alpha])
extern "C" int CmdBrushToRGBArray(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const cxObjectID id = BrushArg(L);
    const int inverted = luaL_optint(L, 2, 0);
    return EditBrush(L, id, kRead, [&](cxBrush *b) {
        cxOsBitmapLock c{}, t{};
        const cxBitmap *channel = b->mask ? b->mask : b->alpha;
        const bool ok = LockBitmap(b->bitmap, CX_LOCK_SOURCE, &c) && c.pixels &&
                        (!channel || (LockBitmap(channel, CX_LOCK_SOURCE, &t) && t.pixels));
        if (!ok) {
            UnlockBitmap(&t);
            UnlockBitmap(&c);
            return int(ERR_LOCKBMAP);
        }
        lua_createtable(L, 0, 0);
        const int table = lua_gettop(L);
        int index = 0;
        for (int32_t y = 0; y < b->height; y++) {
            const uint8_t *row = c.pixels + size_t(y) * c.rowLength * c.bytesPerPixel;
            const uint8_t *trow = channel ? t.pixels + size_t(y) * t.rowLength : nullptr;
            for (int32_t x = 0; x < b->width; x++) {
                const uint32_t rgb =
                    PixelToColor(LoadPixelValue(row + size_t(x) * c.bytesPerPixel, c.pixelFormat), c.pixelFormat, 0) &
                    0xFFFFFFu;
                uint32_t a = 255;
                if (b->mask) a = Visible(trow, x, true) ? 255 : 0;
                else if (b->alpha) a = trow[x];
                if (inverted) a = 255 - a;
                lua_pushnumber(L, double((a << 24) | rgb));
                lua_rawseti(L, table, index++);
            }
        }
        UnlockBitmap(&t);
        UnlockBitmap(&c);
        return 1;
    });
}

// FloodFill(id, x, y, border colour, fill colour)
extern "C" int CmdFloodFill(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    const cxObjectID id = BrushArg(L);
    const double fx = luaL_checknumber(L, 2), fy = luaL_checknumber(L, 3);
    const uint32_t border = ColourArg(L, 4) & 0xFFFFFFu;
    const uint32_t fill = ColourArg(L, 5) & 0xFFFFFFu;
    return EditBrush(L, id, kPlainBrush, [&](cxBrush *b) {
        if (!Finite(fx) || !Finite(fy)) return int(ERR_COORDSRANGE);
        const int32_t x = Position(fx, true, b->width), y = Position(fy, false, b->height);
        if (x < 0 || y < 0) return int(ERR_NEGCOORDS);
        if (x >= b->width || y >= b->height) return int(ERR_COORDSRANGE);
        return FloodFillBitmap(b->bitmap, x, y, border, fill);
    });
}
