// The "event" library: installing handlers and the commands that wait for
// and check events.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int OpenEventLibrary(lua_State *L);
void CleanupEvents(lua_State *L);

int CmdInstallEventHandler(lua_State *L);
int CmdWaitEvent(lua_State *L);
int CmdCheckEvent(lua_State *L);
int CmdCheckEvents(lua_State *L);
int CmdBreakEventHandler(lua_State *L);

/* The core of WaitEvent, CheckEvent and CheckEvents: number of results,
   an error code, or -1 when a legacy label was selected (the command then
   jumps to it, display/events/legacy_events.h). */
int WaitOrCheckEvent(lua_State *L, int wait, int checkOnly, int skipNestingTest, int *done);

#ifdef __cplusplus
}
#endif
