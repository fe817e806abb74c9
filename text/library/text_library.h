// The "text" script library: its commands and constants, start-up and
// clean-up.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Style defaults, the command table, the constants and the object lists;
   then the font engines (InitTextLibrary). 0 or an error code. */
int OpenTextLibrary(lua_State *L);
/* The font engines start; the topaz font becomes the current font; the
   default encodings follow the player's UTF-8 mode. */
int InitTextLibrary(void);
/* Text objects, font objects, the font cache, the font paths, the
   word-wrap buffer, then the font engines. */
int FreeTextLibrary(lua_State *L);

#ifdef __cplusplus
}
#endif
