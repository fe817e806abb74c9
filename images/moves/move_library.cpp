#include "images/moves/move_library.h"

#include <cmath>
#include <cstdlib>

#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "images/core/layer_use.h"
#include "images/moves/move_path.h"
#include "images/moves/object_move.h"

namespace {

// A script number as a coordinate or speed: truncated and saturated; NaN
// is refused.
int Number(double v, int32_t *out) {
    if (std::isnan(v)) return ERR_WRONGUSAGE;
    *out = v <= INT32_MIN ? INT32_MIN : v >= INT32_MAX ? INT32_MAX : int32_t(v);
    return 0;
}

int NumberArg(lua_State *L, int index, int32_t *out) { return Number(luaL_checknumber(L, index), out); }

int TableNumber(lua_State *L, int table, const char *key, int32_t *out) {
    double v = 0;
    if (!GetTableDouble(L, table, key, &v, nullptr)) return 0;
    return Number(v, out);
}

// The five commands: object, x1, y1, x2, y2, then a table of options or
// the positional speed, (anim speed,) path shape.
int Move(lua_State *L, int32_t kind, int maxArgs) {
    CheckArgCount(L, 5, maxArgs, 0, 0);
    const bool frames = kind == CX_MOVE_OBJECT_ANIM || kind == CX_MOVE_OBJECT_SPRITE;
    cxObjectMove m{};
    m.L = L;
    m.kind = kind;
    if (kind == CX_MOVE_OBJECT_LAYER) {
        const cxLayerHooks *h = GetLayerHooks();
        if (!h->findLayerArg) return ERR_NOLAYERS;
        if (int err = h->findLayerArg(L, 1, &m.layerPosition)) return err;
    } else {
        GetObjectIDArg(&m.id, L, 1);
    }
    if (int err = NumberArg(L, 2, &m.x1)) return err;
    if (int err = NumberArg(L, 3, &m.y1)) return err;
    if (int err = NumberArg(L, 4, &m.x2)) return err;
    if (int err = NumberArg(L, 5, &m.y2)) return err;
    m.fx = CX_MOVE_STRAIGHT;
    m.speed = m.animSpeed = CX_SPEED_NORMAL;
    const int n = lua_gettop(L);
    if (n == 6 && lua_istable(L, 6)) {
        int async = 0;
        if (int err = TableNumber(L, 6, "fx", &m.fx)) return err;
        if (int err = TableNumber(L, 6, "speed", &m.speed)) return err;
        if (int err = TableNumber(L, 6, "animspeed", &m.animSpeed)) return err;
        GetTableTruth(L, 6, "async", &async, nullptr);
        m.async = async != 0;
    } else {
        auto opt = [&](int index, int32_t *out) { return n >= index && !lua_isnil(L, index) ? NumberArg(L, index, out) : 0; };
        if (int err = opt(6, &m.speed)) return err;
        if (int err = frames ? opt(7, &m.animSpeed) : opt(7, &m.fx)) return err;
        if (int err = frames ? opt(8, &m.fx) : 0) return err;
    }
    auto *record = static_cast<cxObjectMove *>(calloc(1, sizeof(cxObjectMove)));
    if (!record) return ERR_MEM;
    *record = m;
    if (int err = RunObjectMove(record)) return err;
    if (!m.async) return 0;
    return PushObjectID(L, cxObjectID{0, record->handle});
}

int MoveBrush(lua_State *L) { return Move(L, CX_MOVE_OBJECT_BRUSH, 7); }
int MoveAnim(lua_State *L) { return Move(L, CX_MOVE_OBJECT_ANIM, 8); }
int MoveTextObject(lua_State *L) { return Move(L, CX_MOVE_OBJECT_TEXT, 7); }
int MoveLayer(lua_State *L) { return Move(L, CX_MOVE_OBJECT_LAYER, 7); }
int MoveSprite(lua_State *L) { return Move(L, CX_MOVE_OBJECT_SPRITE, 8); }

const luaL_reg kCommands[] = {
    {"MoveBrush", MoveBrush}, {"MoveAnim", MoveAnim},     {"MoveTextObject", MoveTextObject},
    {"MoveLayer", MoveLayer}, {"MoveSprite", MoveSprite}, {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"BOUNCE", nullptr, CX_MOVE_BOUNCE},   {"SMOOTHOUT", nullptr, CX_MOVE_SMOOTHOUT},
    {"DAMPED", nullptr, CX_MOVE_DAMPED},   {"SINE", nullptr, CX_MOVE_SINE},
    {"BIGSINE", nullptr, CX_MOVE_BIGSINE}, {"LOWERCURVE", nullptr, CX_MOVE_LOWERCURVE},
    {"UPPERCURVE", nullptr, CX_MOVE_UPPERCURVE}, {nullptr, nullptr, 0},
};

}  // namespace

extern "C" int OpenMoveObjectLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "moveobject")) return err;
    luaL_openconstants(L, kConstants, 0);
    return 0;
}
