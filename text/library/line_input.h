// InKeyStr: a line read from the keyboard, echoed at the text cursor.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

int CmdInKeyStr(lua_State *L);

#ifdef __cplusplus
}
#endif
