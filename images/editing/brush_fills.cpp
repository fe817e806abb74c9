// CreateGradientBrush and CreateTexturedBrush: new brushes filled the way
// BGPics are (the fill renderer of the BGPic library).
#include <climits>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "images/bgpics/bgpic_fill.h"
#include "images/bgpics/gradient_options.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"
#include "images/core/new_id.h"

using namespace cx::edit;

namespace {

int32_t SideArg(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    return Finite(v) && v >= 1 && v <= INT32_MAX ? int32_t(v) : 0;
}

// A new brush of the fill under the ID of argument 1 (a number frees the
// brush of that number first; Nil gives an automatic ID, the result).
int AddFilledBrush(lua_State *L, const NewID &n, cxFillStyle &fill, int32_t w, int32_t h) {
    if (!n.automatic) FreeBrushByID(L, n.id, 0);
    cxBitmap *bitmap = nullptr;
    if (int err = FillNewBitmap(L, &fill, w, h, &bitmap)) return err;
    FreeBitmap(fill.textureBitmap);
    fill.textureBitmap = nullptr;
    cxObjectID id = n.id;
    if (int err = AddBrushRecord(&id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bitmap, CX_NO_TRANSPARENT_COLOUR, nullptr,
                                 nullptr, nullptr, nullptr)) {
        FreeBitmap(bitmap);
        return err;
    }
    return n.automatic ? PushObjectID(L, id) : 0;
}

}  // namespace

// CreateGradientBrush(id, width, height, type, start, end[, angle | table])
extern "C" int CmdCreateGradientBrush(lua_State *L) {
    CheckArgCount(L, 6, 8, 0, 0);
    const NewID n = ReadNewID(L, 1);
    const int32_t w = SideArg(L, 2), h = SideArg(L, 3);
    cxFillStyle fill{};
    fill.style = CX_FILL_GRADIENT;
    InitGradientDefaults(&fill.gradient, 0);
    fill.gradient.style = uint32_t(luaL_checkint(L, 4));
    fill.gradient.startColour = ColourArg(L, 5) & 0xFFFFFFu;
    fill.gradient.endColour = ColourArg(L, 6) & 0xFFFFFFu;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    if (int err = ReadGradientArgs(L, 7, &fill.gradient)) return err;
    return AddFilledBrush(L, n, fill, w, h);
}

// CreateTexturedBrush(id, texture, width, height[, offset x, offset y])
extern "C" int CmdCreateTexturedBrush(lua_State *L) {
    CheckArgCount(L, 4, 6, 0, 0);
    const NewID n = ReadNewID(L, 1);
    cxFillStyle fill{};
    fill.style = CX_FILL_TEXTURE;
    GetObjectIDArg(&fill.textureBrush, L, 2);
    const int32_t w = SideArg(L, 3), h = SideArg(L, 4);
    fill.textureX = luaL_optint(L, 5, 0);
    fill.textureY = luaL_optint(L, 6, 0);
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    // The new brush would free its own texture first.
    if (!n.automatic && !fill.textureBrush.pointer && fill.textureBrush.number == n.id.number) return ERR_WRONGUSAGE;
    cxBrush *texture = nullptr;
    if (int err = FindBrush(L, fill.textureBrush, &texture, kRead)) return err;
    return AddFilledBrush(L, n, fill, w, h);
}
