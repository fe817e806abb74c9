// NextFrame, InsertLayer and ModifyLayerFrames.
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_changes.h"
#include "layers/ops/layer_frames.h"
#include "layers/ops/layer_style.h"

namespace {

int AnimLayerArg(lua_State *L, int index, cxLayer **out) {
    int32_t pos = 0;
    if (int err = FindLayer(L, index, GetLayerOutputBGPic(), &pos)) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    if (int err = LayerAtPosition(b, pos, out)) return err;
    return (*out)->type == CX_LAYER_ANIM ? 0 : ERR_NOANMLAYER;
}

}  // namespace

extern "C" int CmdNextFrame(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    int32_t x = CX_LAYER_KEEP, y = CX_LAYER_KEEP, frame = 0;
    if (int err = ReadLayerNumberArg(L, 2, 1, CX_LAYER_KEEP, &x)) return err;
    if (int err = ReadLayerNumberArg(L, 3, 1, CX_LAYER_KEEP, &y)) return err;
    if (int err = ReadLayerNumberArg(L, 4, 1, 0, &frame)) return err;
    cxLayer *l = nullptr;
    if (int err = AnimLayerArg(L, 1, &l)) return err;
    int32_t frames = 0, next = 0;
    if (int err = MakeAnimFrameContent(L, l->source, 0, nullptr, nullptr, nullptr, &frames)) return err;
    if (int err = NextAnimFrame(l->base->partX, frames, frame, &next)) return err;
    return SetLayerPosFrame(L, l, x, y, next, 0);
}

extern "C" int CmdInsertLayer(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    int32_t position = 0;
    if (int err = FindLayer(L, 1, GetLayerOutputBGPic(), &position)) return err;
    const int32_t kind = luaL_checkint(L, 2);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 3);
    int32_t x = 0, y = 0, hidden = 0;
    if (int err = ReadLayerNumberArg(L, 4, 0, 0, &x)) return err;
    if (int err = ReadLayerNumberArg(L, 5, 0, 0, &y)) return err;
    if (int err = ReadLayerNumberArg(L, 6, 1, 0, &hidden)) return err;
    return InsertLayerAt(L, position, kind, id, x, y, hidden != 0);
}

extern "C" int CmdModifyLayerFrames(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    int32_t count = 0, position = 0;
    if (int err = ReadLayerNumberArg(L, 2, 0, 0, &count)) return err;
    if (int err = ReadLayerNumberArg(L, 3, 1, 0, &position)) return err;
    cxLayer *l = nullptr;
    if (int err = AnimLayerArg(L, 1, &l)) return err;
    return ModifyLayerFrames(L, l, count, position);
}
