// The "video" script library: its commands, constants, hooks and clean-up.
#pragma once

#include "engine/vm/lua.h"
#include "streams/applet_record.h"

#ifdef __cplusplus
extern "C" {
#endif

int OpenVideoLibrary(lua_State *L);
/* At exit: every player closed, every record freed. */
void FreeAllVideos(lua_State *L);
/* A video the applet declares. */
int PreloadVideoItem(lua_State *L, const cxPreprocItem *item);

#ifdef __cplusplus
}
#endif
