// TranslateLayer, SwapLayers, ShowLayer, HideLayer, SetLayerZPos,
// LayerToBack and LayerToFront.
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_changes.h"
#include "layers/ops/layer_order.h"

namespace {

// The layer argument at index, through the guard, to a layer of the
// output BGPic.
int LayerArg(lua_State *L, int index, int32_t *position) {
    return FindLayer(L, index, GetLayerOutputBGPic(), position);
}

int ToEnd(lua_State *L, bool front) {
    CheckArgCount(L, 1, 2, 0, 0);
    int32_t pos = 0, swap = 0;
    if (int err = LayerArg(L, 1, &pos)) return err;
    if (int err = ReadLayerNumberArg(L, 2, 1, 0, &swap)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxLayer *l = nullptr;
    if (int err = LayerAtPosition(b, pos, &l)) return err;
    cxLayer *end = LayerOfNode(front ? b->layers.tail : b->layers.head);
    if (!swap) MoveLayerInList(L, l, front ? 0 : 1);
    else if (end != l) SwapLayerPlaces(L, l, end);
    return 0;
}

}  // namespace

extern "C" int CmdTranslateLayer(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    int32_t pos = 0, dx = 0, dy = 0;
    if (int err = LayerArg(L, 1, &pos)) return err;
    if (int err = ReadLayerNumberArg(L, 2, 0, 0, &dx)) return err;
    if (int err = ReadLayerNumberArg(L, 3, 0, 0, &dy)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxLayer *l = nullptr;
    if (int err = LayerAtPosition(b, pos, &l)) return err;
    UpdateLayerPosition(L, l, nullptr, dx, dy, !IsLayerDrawn(l), CX_MOVE_RELX | CX_MOVE_RELY, nullptr);
    return 0;
}

extern "C" int CmdSwapLayers(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int32_t a = 0, c = 0;
    if (int err = LayerArg(L, 1, &a)) return err;
    if (int err = LayerArg(L, 2, &c)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    if (a == c) return ERR_WRONGUSAGE;
    cxLayer *first = nullptr, *second = nullptr;
    if (int err = LayerAtPosition(b, a, &first)) return err;
    if (int err = LayerAtPosition(b, c, &second)) return err;
    SwapLayerPlaces(L, first, second);
    return 0;
}

extern "C" int CmdShowLayer(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    int32_t x = CX_LAYER_KEEP, y = CX_LAYER_KEEP;
    if (int err = ReadLayerNumberArg(L, 2, 1, CX_LAYER_KEEP, &x)) return err;
    if (int err = ReadLayerNumberArg(L, 3, 1, CX_LAYER_KEEP, &y)) return err;
    return SetLayerVisibility(L, 1, x, y, 0);
}

extern "C" int CmdHideLayer(lua_State *L) {
    // A second argument is taken and not read.
    CheckArgCount(L, 1, 2, 0, 0);
    return SetLayerVisibility(L, 1, CX_LAYER_KEEP, CX_LAYER_KEEP, 1);
}

extern "C" int CmdSetLayerZPos(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int32_t pos = 0, to = 0;
    if (int err = LayerArg(L, 1, &pos)) return err;
    if (int err = ReadLayerNumberArg(L, 2, 0, 0, &to)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxLayer *l = nullptr;
    if (int err = LayerAtPosition(b, pos, &l)) return err;
    if (to < 0 || to == pos) return ERR_WRONGUSAGE;
    MoveLayerInList(L, l, to);
    return 0;
}

extern "C" int CmdLayerToBack(lua_State *L) { return ToEnd(L, false); }
extern "C" int CmdLayerToFront(lua_State *L) { return ToEnd(L, true); }
