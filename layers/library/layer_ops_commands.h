// The layer operations of the "layers" library: position, order and
// visibility, removing and baking, styles, and list operations.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdTranslateLayer(lua_State *L);
int CmdSwapLayers(lua_State *L);
int CmdShowLayer(lua_State *L);
int CmdHideLayer(lua_State *L);
int CmdSetLayerZPos(lua_State *L);
int CmdLayerToBack(lua_State *L);
int CmdLayerToFront(lua_State *L);

int CmdRemoveLayer(lua_State *L);
int CmdRemoveLayers(lua_State *L);
int CmdFreeLayers(lua_State *L);
int CmdUndo(lua_State *L);

int CmdGetLayerStyle(lua_State *L);
int CmdSetLayerStyle(lua_State *L);
int CmdSetLayerAnchor(lua_State *L);
int CmdTransformLayer(lua_State *L);
int CmdRotateLayer(lua_State *L);
int CmdScaleLayer(lua_State *L);
int CmdSetLayerLight(lua_State *L);
int CmdSetLayerTint(lua_State *L);
int CmdSetLayerTransparency(lua_State *L);
int CmdSetLayerFilter(lua_State *L);
int CmdSetLayerBorder(lua_State *L);
int CmdSetLayerShadow(lua_State *L);

int CmdNextFrame(lua_State *L);
int CmdInsertLayer(lua_State *L);
int CmdModifyLayerFrames(lua_State *L);

/* The video a VIDEO layer shows. */
int CmdPlayLayer(lua_State *L);
int CmdStopLayer(lua_State *L);
int CmdPauseLayer(lua_State *L);
int CmdResumeLayer(lua_State *L);
int CmdSeekLayer(lua_State *L);
int CmdSetLayerVolume(lua_State *L);

#ifdef __cplusplus
}
#endif
