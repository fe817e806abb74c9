// The "sprite" script library.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the sprite commands under "sprite", the sprite list and the
   frame builder's sprite hooks. 0 or an error code. */
int OpenSpriteLibrary(lua_State *L);

/* A sprite the applet declares, loaded before any display exists (its
   frames keep their pixels until RealizePendingSprites). */
struct cxPreprocItem;
int PreloadSpriteItem(lua_State *L, const struct cxPreprocItem *item);

#ifdef __cplusplus
}
#endif
