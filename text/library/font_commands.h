// The font commands of the text library.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdSetFont(lua_State *L);
int CmdOpenFont(lua_State *L);
int CmdUseFont(lua_State *L);
int CmdCloseFont(lua_State *L);
int CmdFreeGlyphCache(lua_State *L);
int CmdGetKerningPair(lua_State *L);
int CmdAddFontPath(lua_State *L);
int CmdGetAvailableFonts(lua_State *L);

#ifdef __cplusplus
}
#endif
