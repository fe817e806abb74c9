// The vector-font cache: each TrueType font that text items were added in
// gets a small key, which Text items store in place of a pointer (so items
// keep one layout on every platform), and each engine that drew the font
// gets a handle of it, kept on the font record (cxOsFont.vectorFonts).
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"
#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The font Text items are added in and its size; without a hook, the
   text library's current font at the size it was opened with. */
typedef cxOsFont *(*cxVectorTextFontHook)(lua_State *L, int32_t *size);
void SetVectorTextFontHook(cxVectorTextFontHook hook);
cxOsFont *GetVectorTextFont(lua_State *L, int32_t *size);

/* The engine's handle of a font: the cached one, else made with the
   engine's CreateVectorFont and cached. 0, ERR_VFONTTYPE for a font that
   is not TrueType, ERR_VFONT when the engine makes none, ERR_MEM. */
int GetVectorFont(cxOsFont *font, cxPlugin *engine, void **handle);
/* The key of a font (made on first use): 0 and *key, or ERR_MEM. */
int GetVectorFontKey(cxOsFont *font, uint32_t *key);
/* The font of a key; null when the key names none (or its font closed). */
cxOsFont *GetVectorFontOfKey(uint32_t key);

/* The font cache calls this before it closes a font: every engine's
   handle is freed and the font's key then names nothing. */
void ForgetVectorFont(cxOsFont *font);
/* Frees every handle and key (clean-up). */
void FreeVectorFontCache(void);

/* Installs the key resolver the engines use (graphics/vector). */
void InstallVectorFontResolver(void);

#ifdef __cplusplus
}
#endif
