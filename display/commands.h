// The commands of the "display" library.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdChangeDisplaySize(lua_State *L);
int CmdSetTitle(lua_State *L);
int CmdMoveDisplay(lua_State *L);
int CmdHideDisplay(lua_State *L);
int CmdShowDisplay(lua_State *L);
int CmdSetDisplayAttributes(lua_State *L);
int CmdCreateDisplay(lua_State *L);
int CmdFreeDisplay(lua_State *L);
int CmdOpenDisplay(lua_State *L);
int CmdCloseDisplay(lua_State *L);
int CmdSelectDisplay(lua_State *L);
int CmdActivateDisplay(lua_State *L);
int CmdChangeDisplayMode(lua_State *L);
int CmdGetDisplayModes(lua_State *L);
int CmdGetMonitors(lua_State *L);
/* GetPubScreens, ShowScreen, HideScreen, SetScreenTitle, GetFrontScreen,
   SetSubtitle: ERR_UNSUPPORTEDFEAT whatever the arguments. */
int CmdUnsupportedScreenCommand(lua_State *L);

#ifdef __cplusplus
}
#endif
