// Commands that wait for the mouse buttons of the current display.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdWaitLeftMouse(lua_State *L);
int CmdWaitRightMouse(lua_State *L);
int CmdWaitMidMouse(lua_State *L);
int CmdWhileMouseDown(lua_State *L);
int CmdWhileRightMouseDown(lua_State *L);
/* Pumps while the key of the legacy key-down that fired last is held. */
int CmdWhileKeyDown(lua_State *L);
/* Waits for a press and release of a named key ("any": any key). */
int CmdWaitKeyDown(lua_State *L);

#ifdef __cplusplus
}
#endif
