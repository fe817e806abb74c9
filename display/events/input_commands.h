// Commands that read the pointer and buttons of the current display, the
// quit switches and the event queue's settings.
#pragma once

#include <stdint.h>

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
int CmdIsKeyDown(lua_State *L);
int CmdResetKeyStates(lua_State *L);
int CmdCountJoysticks(lua_State *L);
int CmdJoyDir(lua_State *L);
int CmdJoyFire(lua_State *L);
int CmdShowKeyboard(lua_State *L);
int CmdHideKeyboard(lua_State *L);
int CmdCreatePort(lua_State *L);
int CmdSendMessage(lua_State *L);

/* The key code a key-name argument names: "any" gives *any = 1; a name
   that is no key fails with ERR_WRONGUSAGE. */
int ReadKeyArg(lua_State *L, int index, uint32_t *code, int *any);
/* Whether the key (or, with any, some key) is down in d's key-state
   table, or its raw table. Modifier keys of the normal table are answered
   from the qualifiers. */
int IsDisplayKeyDown(struct cxDisplay *d, uint32_t code, int any, int raw);

/* The event library's constants. */
void OpenEventConstants(lua_State *L);

#ifdef __cplusplus
}
#endif
