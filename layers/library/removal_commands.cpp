// RemoveLayer, RemoveLayers, FreeLayers and Undo.
#include <vector>

#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "layers/core/layer_list.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_changes.h"
#include "layers/ops/layer_remove.h"

extern "C" int CmdRemoveLayer(lua_State *L) {
    CheckArgCount(L, 1, 0, 0, 0);
    const int n = lua_gettop(L);
    if (n > CX_REMOVELAYER_MAX) return ERR_INTERNAL;
    // Every argument is read and every layer checked before one goes.
    int32_t positions[CX_REMOVELAYER_MAX];
    const cxBGPic *output = GetLayerOutputBGPic();
    for (int i = 1; i <= n; ++i)
        if (int err = FindLayer(L, i, output, &positions[i - 1])) return err;
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxLayer *layers[CX_REMOVELAYER_MAX];
    for (int i = 0; i < n; ++i)
        if (int err = LayerAtPosition(b, positions[i], &layers[i])) return err;
    return RemoveLayerList(L, layers, n);
}

extern "C" int CmdRemoveLayers(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    return RemoveAllLayers(L, 0);
}

extern "C" int CmdFreeLayers(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    int32_t bake = 1;
    if (int err = ReadLayerNumberArg(L, 1, 1, 1, &bake)) return err;
    return RemoveAllLayers(L, bake);
}

extern "C" int CmdUndo(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    const int32_t kind = luaL_checkint(L, 1);
    cxObjectID id{};
    if (!lua_isnoneornil(L, 2)) GetObjectIDArg(&id, L, 2);
    int32_t level = 1, keep = 0;
    if (int err = ReadLayerNumberArg(L, 3, 1, 1, &level)) return err;
    if (int err = ReadLayerNumberArg(L, 4, 1, 0, &keep)) return err;
    return FindLayerOfObject(L, kind, id, level, keep, nullptr, nullptr);
}
