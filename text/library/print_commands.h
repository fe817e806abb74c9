// Printing at the text cursor and the commands of the cursor, margins,
// tab stops, colour and style.
#pragma once

#include "engine/vm/lua.h"
#include "engine/vm/lauxlib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Prints text at the current display's cursor and moves the cursor.
   tagsOff: brackets are plain characters. 0 or an error code. */
int PrintText(lua_State *L, const char *text, int tagsOff, int insertFlag);

int CmdPrint(lua_State *L);
int CmdNPrint(lua_State *L);
int CmdLocate(lua_State *L);
int CmdSetMargins(lua_State *L);
int CmdAddTab(lua_State *L);
int CmdResetTabs(lua_State *L);
int CmdSetFontColor(lua_State *L);
int CmdGetFontColor(lua_State *L);
int CmdSetFontStyle(lua_State *L);
int CmdGetFontStyle(lua_State *L);

#ifdef __cplusplus
}
#endif
