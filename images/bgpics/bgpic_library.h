// The "bgpic" script library.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the BGPic commands under "bgpic", the BGPic list and the
   display hooks. 0 or an error code. */
int OpenBGPicLibrary(lua_State *L);

/* A BGPic the applet declares, loaded before any display exists. */
struct cxPreprocItem;
int PreloadBGPicItem(lua_State *L, const struct cxPreprocItem *item);

/* Gives every BGPic loaded before a display existed its bitmaps. */
int RealizePendingBGPics(lua_State *L);

#ifdef __cplusplus
}
#endif
