// Commands that read the pointer and buttons of the current display, the
// quit switches and the event queue's settings.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdMouseX(lua_State *L);
int CmdMouseY(lua_State *L);
int CmdIsLeftMouse(lua_State *L);
int CmdIsRightMouse(lua_State *L);
int CmdIsMidMouse(lua_State *L);
int CmdCtrlCQuit(lua_State *L);
int CmdLeftMouseQuit(lua_State *L);
int CmdEscapeQuit(lua_State *L);
int CmdSetEventTimeout(lua_State *L);
int CmdFreeEventCache(lua_State *L);

#ifdef __cplusplus
}
#endif
