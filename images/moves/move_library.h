// The "moveobject" script library: MoveBrush, MoveAnim, MoveTextObject,
// MoveLayer and MoveSprite, their option reader and the path constants.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands under "moveobject" and the path constants
   (BOUNCE ... UPPERCURVE). 0 or an error code. */
int OpenMoveObjectLibrary(lua_State *L);

#ifdef __cplusplus
}
#endif
