// The brush library's editing commands (the brush library registers them
// with its own): geometry, transparency and colour, effects, pixels and
// saving.
#pragma once

#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Geometry. */
int CmdScaleBrush(lua_State *L);
int CmdRotateBrush(lua_State *L);
int CmdTransformBrush(lua_State *L);
int CmdFlipBrush(lua_State *L);
int CmdCropBrush(lua_State *L);
int CmdTrimBrush(lua_State *L);
int CmdRasterizeBrush(lua_State *L);
/* Transparency and colour. */
int CmdSetBrushTransparency(lua_State *L);
int CmdChangeBrushTransparency(lua_State *L);
int CmdDeleteMask(lua_State *L);
int CmdDeleteAlphaChannel(lua_State *L);
int CmdInvertMask(lua_State *L);
int CmdInvertAlphaChannel(lua_State *L);
int CmdReduceAlphaChannel(lua_State *L);
int CmdSetAlphaIntensity(lua_State *L);
int CmdSetMaskMode(lua_State *L);
int CmdReplaceColors(lua_State *L);
int CmdTintBrush(lua_State *L);
int CmdInvertBrush(lua_State *L);
int CmdBrushToGray(lua_State *L);
int CmdBrushToMonochrome(lua_State *L);
int CmdMixBrush(lua_State *L);
int CmdQuantizeBrush(lua_State *L);
/* Effects and distortions. */
int CmdBlurBrush(lua_State *L);
int CmdSharpenBrush(lua_State *L);
int CmdEdgeBrush(lua_State *L);
int CmdEmbossBrush(lua_State *L);
int CmdCharcoalBrush(lua_State *L);
int CmdOilPaintBrush(lua_State *L);
int CmdSolarizeBrush(lua_State *L);
int CmdSepiaToneBrush(lua_State *L);
int CmdGammaBrush(lua_State *L);
int CmdContrastBrush(lua_State *L);
int CmdModulateBrush(lua_State *L);
int CmdSwirlBrush(lua_State *L);
int CmdPixelateBrush(lua_State *L);
int CmdWaterRippleBrush(lua_State *L);
int CmdBarrelDistortBrush(lua_State *L);
int CmdPolarDistortBrush(lua_State *L);
int CmdArcDistortBrush(lua_State *L);
int CmdPerspectiveDistortBrush(lua_State *L);
/* Pixels and saving. */
int CmdReadBrushPixel(lua_State *L);
int CmdWriteBrushPixel(lua_State *L);
int CmdIsBrushEmpty(lua_State *L);
int CmdBrushToRGBArray(lua_State *L);
int CmdFloodFill(lua_State *L);
int CmdSaveBrush(lua_State *L);
int CmdCreateGradientBrush(lua_State *L);
int CmdCreateTexturedBrush(lua_State *L);

/* These commands with output redirection and double buffering
   (SelectBrush ... EndSelect, BeginDoubleBuffer, Flip, EndDoubleBuffer),
   ended by {null, null}. */
const luaL_reg *GetBrushEditingCommands(void);

#ifdef __cplusplus
}
#endif
