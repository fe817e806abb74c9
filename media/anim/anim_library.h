// The "anim" script library as the shell sees it.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the 18 commands under "anim", the constants, the object lists
   of anims and anim streams and the hooks of the anim frame builder and
   output redirection. 0 or an error code. */
int OpenAnimLibrary(lua_State *L);

/* An anim the applet declares (loaded like LoadAnim before any display
   exists; RealizePendingAnims gives it its bitmaps). */
struct cxPreprocItem;
int PreloadAnimItem(lua_State *L, const struct cxPreprocItem *item);

/* At exit: every anim, then every anim stream (finishing its file). */
void FreeAnimObjects(void);

#ifdef __cplusplus
}
#endif
