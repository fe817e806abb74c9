#include "layers/library/layers_library.h"

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/async_draw.h"
#include "layers/core/clip_regions.h"
#include "layers/core/collision.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_hooks.h"
#include "layers/core/layer_insert.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_buttons.h"
#include "layers/ops/move_lists.h"

namespace {

const luaL_reg kCommands[] = {
    {"EnableLayers", CmdEnableLayers},
    {"DisableLayers", CmdDisableLayers},
    {"GetLayerAtPos", CmdGetLayerAtPos},
    {"LayerExists", CmdLayerExists},
    {"SetLayerName", CmdSetLayerName},
    {"DumpLayers", CmdDumpLayers},
    {"CreateLayer", CmdCreateLayer},
    {"SelectLayer", CmdSelectLayer},
    {"Collision", CmdCollision},
    {"TranslateLayer", CmdTranslateLayer},
    {"SwapLayers", CmdSwapLayers},
    {"ShowLayer", CmdShowLayer},
    {"HideLayer", CmdHideLayer},
    {"RemoveLayers", CmdRemoveLayers},
    {"FreeLayers", CmdFreeLayers},
    {"GetLayerStyle", CmdGetLayerStyle},
    {"SetLayerStyle", CmdSetLayerStyle},
    {"SetLayerAnchor", CmdSetLayerAnchor},
    {"TransformLayer", CmdTransformLayer},
    {"RotateLayer", CmdRotateLayer},
    {"ScaleLayer", CmdScaleLayer},
    {"SetLayerLight", CmdSetLayerLight},
    {"SetLayerTint", CmdSetLayerTint},
    {"SetLayerTransparency", CmdSetLayerTransparency},
    {"SetLayerFilter", CmdSetLayerFilter},
    {"SetLayerBorder", CmdSetLayerBorder},
    {"SetLayerShadow", CmdSetLayerShadow},
    {"RemoveLayer", CmdRemoveLayer},
    {"Undo", CmdUndo},
    {"SetLayerZPos", CmdSetLayerZPos},
    {"LayerToBack", CmdLayerToBack},
    {"LayerToFront", CmdLayerToFront},
    {"NextFrame", CmdNextFrame},
    {"InsertLayer", CmdInsertLayer},
    {"ModifyLayerFrames", CmdModifyLayerFrames},
    {"AddMove", CmdAddMove},
    {"ClearMove", CmdClearMove},
    {"DoMove", CmdDoMove},
    {"PlayLayer", CmdPlayLayer},
    {"StopLayer", CmdStopLayer},
    {"PauseLayer", CmdPauseLayer},
    {"ResumeLayer", CmdResumeLayer},
    {"SeekLayer", CmdSeekLayer},
    {"SetLayerVolume", CmdSetLayerVolume},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"BRUSH_VS_BOX", nullptr, CX_COLLIDE_BRUSH_VS_BOX},
    {"LAYER_VS_BOX", nullptr, CX_COLLIDE_LAYER_VS_BOX},
    {"SPRITE_VS_BOX", nullptr, CX_COLLIDE_SPRITE_VS_BOX},
    {"SPRITE_VS_BRUSH", nullptr, CX_COLLIDE_SPRITE_VS_BRUSH},
    {nullptr, nullptr, 0},
};

}  // namespace

extern "C" int OpenLayersLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "layers")) return err;
    luaL_openconstants(L, kConstants, 0);
    if (InitCompositorState()) return ERR_MEM;
    GetClipRegionList();
    InstallLayerHooks();
    InstallLayerButtonHooks(L);
    return 0;
}

extern "C" void FreeLayerLibraryState(lua_State *L) {
    // Layers of BGPics still alive (the displays' own pictures go with the
    // displays, listed BGPics before this) are freed here.
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) FreeAllLayers(L, b, 0, 1);
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->bgpic) FreeAllLayers(L, d->bgpic, 0, 1);
    FreeAllAsyncDraws(L, nullptr);
    FreeAllMoveLists();
    FreeCompositorState();
    FreeAllClipRegions();
    RemoveLayerHooks();
    RemoveLayerButtonHooks();
}
