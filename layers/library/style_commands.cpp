// GetLayerStyle, SetLayerStyle and the single-purpose style commands, which
// build a small style table and take SetLayerStyle's road; SetLayerBorder
// and SetLayerShadow set their blocks directly.
#include <cmath>

#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "layers/core/layer_list.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_changes.h"
#include "layers/ops/layer_style.h"

namespace {

// Copies argument from into the table on top of the stack under key.
void Field(lua_State *L, const char *key, int from) {
    lua_pushstring(L, key);
    lua_pushvalue(L, from);
    lua_settable(L, -3);
}

// The table on top of the stack becomes argument 2 beside the layer (1),
// and SetLayerStyle's road applies it.
int ApplyBuilt(lua_State *L) {
    lua_replace(L, 2);
    lua_settop(L, 2);
    return SetLayerStyleByID(L, 2, 0);
}

int FindLayerArg(lua_State *L, int index, cxLayer **out) {
    int32_t pos = 0;
    if (int err = FindLayer(L, index, GetLayerOutputBGPic(), &pos)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    return LayerAtPosition(b, pos, out);
}

int Tint(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    lua_newtable(L);
    Field(L, "tintcolor", 2);
    Field(L, "tint", 3);
    return ApplyBuilt(L);
}

}  // namespace

extern "C" int CmdGetLayerStyle(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxLayer *l = nullptr;
    if (int err = FindLayerArg(L, 1, &l)) return err;
    PushLayerStyle(L, l);
    return 1;
}

extern "C" int CmdSetLayerStyle(lua_State *L) {
    CheckArgCount(L, 2, 0, 0, 0);
    return SetLayerStyleByID(L, lua_gettop(L), 0);
}

extern "C" int CmdSetLayerAnchor(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    lua_newtable(L);
    Field(L, "anchorx", 2);
    Field(L, "anchory", 3);
    return ApplyBuilt(L);
}

extern "C" int CmdTransformLayer(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    const bool smooth = !lua_isnoneornil(L, 6);
    lua_newtable(L);
    lua_pushstring(L, "transform");
    lua_newtable(L);
    for (int i = 0; i < 4; ++i) {
        lua_pushvalue(L, 2 + i);
        lua_rawseti(L, -2, i);
    }
    lua_settable(L, -3);
    if (smooth) Field(L, "smoothscale", 6);
    return ApplyBuilt(L);
}

extern "C" int CmdRotateLayer(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    const bool smooth = !lua_isnoneornil(L, 3);
    lua_newtable(L);
    Field(L, "rotate", 2);
    if (smooth) Field(L, "smoothscale", 3);
    return ApplyBuilt(L);
}

extern "C" int CmdScaleLayer(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    const bool smooth = !lua_isnoneornil(L, 4);
    lua_newtable(L);
    Field(L, "width", 2);
    Field(L, "height", 3);
    if (smooth) Field(L, "smoothscale", 4);
    return ApplyBuilt(L);
}

extern "C" int CmdSetLayerLight(lua_State *L) { return Tint(L); }
extern "C" int CmdSetLayerTint(lua_State *L) { return Tint(L); }

extern "C" int CmdSetLayerTransparency(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    lua_newtable(L);
    Field(L, "transparency", 2);
    return ApplyBuilt(L);
}

extern "C" int CmdSetLayerFilter(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (lua_type(L, 2) == LUA_TNUMBER) {
        // 0 clears every filter; no other number means anything.
        if (lua_tonumber(L, 2) != 0) return ERR_WRONGUSAGE;
        lua_newtable(L);
        SetTableNumber(L, "clearfilters", 1);
        return ApplyBuilt(L);
    }
    if (!lua_istable(L, 2)) return ERR_WRONGUSAGE;
    lua_newtable(L);
    Field(L, "filters", 2);
    return ApplyBuilt(L);
}

extern "C" int CmdSetLayerBorder(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxBorderOptions border{};
    border.on = luaL_checknumber(L, 2) != 0 ? 1 : 0;
    border.colour = lua_isnoneornil(L, 3) ? 0 : uint32_t(int64_t(luaL_checknumber(L, 3)));
    int32_t size = 2;
    if (int err = ReadLayerNumberArg(L, 4, 1, 2, &size)) return err;
    if (size < 1) return ERR_WRONGUSAGE;
    border.size = size;
    cxLayer *l = nullptr;
    if (int err = FindLayerArg(L, 1, &l)) return err;
    SetLayerBorderBlock(L, l, &border);
    return 0;
}

extern "C" int CmdSetLayerShadow(lua_State *L) {
    CheckArgCount(L, 2, 7, 0, 0);
    cxShadowOptions shadow{};
    shadow.on = luaL_checknumber(L, 2) != 0 ? 1 : 0;
    shadow.colour = lua_isnoneornil(L, 3) ? 0x80000000u : uint32_t(int64_t(luaL_checknumber(L, 3)));
    shadow.radius = lua_isnoneornil(L, 4) ? 5.0 : luaL_checknumber(L, 4);
    int32_t distance = 4, direction = 3;
    if (int err = ReadLayerNumberArg(L, 5, 1, 4, &distance)) return err;
    if (int err = ReadLayerNumberArg(L, 6, 1, 3, &direction)) return err;
    shadow.sigma = lua_isnoneornil(L, 7) ? shadow.radius / 3.0 : luaL_checknumber(L, 7);
    // A radius beyond a million pixels draws nothing more: refused like
    // one that is not a number.
    if (!(shadow.radius >= 1 && shadow.radius <= 1e6) || distance < 0 || !(shadow.sigma > 0) ||
        !std::isfinite(shadow.sigma) || direction < 0 || direction > 7)
        return ERR_WRONGUSAGE;
    shadow.size = distance;
    shadow.direction = uint32_t(direction);
    cxLayer *l = nullptr;
    if (int err = FindLayerArg(L, 1, &l)) return err;
    SetLayerShadowBlock(L, l, &shadow);
    return 0;
}
