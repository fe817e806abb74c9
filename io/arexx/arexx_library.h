// The "arexx" library. Linux has no ARexx port: the three commands exist so
// that applets naming them load, and each answers ERR_UNSUPPORTEDFEAT.
#pragma once

#include "engine/vm/lua.h"

extern "C" {
/* Registers the "arexx" library. */
int OpenARexxLibrary(lua_State *L);
}
