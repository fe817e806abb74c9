// The script engine's share of the "system" library: type constants, the
// line-hook switch, the script's error call and error handler, and values
// attached to objects.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The error dispatch installed by RaiseOnError: when the script has an
   error handler, a failing command's code goes to it (arguments: the code
   and its message) and the command yields nothing; otherwise, or while the
   handler itself runs, the code is raised. 1003 never reaches it. The
   system library installs it when it opens. */
int DispatchScriptError(lua_State *L, int code, void *ud);

#ifdef __cplusplus
}
#endif
