// Every font a script opens goes through one cache: a request made before
// returns the font opened then. Font objects (kind 43) name cached fonts.
#pragma once

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_FONTENGINE_NATIVE 0
#define CX_FONTENGINE_INBUILT 4

typedef struct cxFontCacheEntry {
    struct cxFontCacheEntry *next;
    char name[1024];
    int32_t size;
    uint32_t engine, cache, usePoints;
    cxOsFont *font;
} cxFontCacheEntry;

typedef struct cxFontObject {
    cxObjectHeader header; /* kind 43 */
    cxOsFont *font;        /* owned by the cache */
} cxFontObject;

/* Maps the default-font names, refuses paths where family names are
   expected (ERR_FONTPATH), returns a cached font or opens and caches it.
   An inbuilt request that fails is tried once more with the native
   engine. 0 or the font layer's error. */
int OpenFontCached(const char *name, int32_t size, uint32_t engine, uint32_t cache, uint32_t usePoints, int linked,
                   cxOsFont **out);
/* Reads name (at index), size and the optional options table after it,
   prints the progress line, opens through the cache. */
int ReadFontArgs(lua_State *L, int index, cxOsFont **out);

cxObjectList *GetFontObjectList(void);
/* 0, ERR_FINDARRAY or ERR_FINDFONT2 (number as error number). */
int FindFontObject(cxObjectID id, cxFontObject **out);
int FreeFontObject(lua_State *L, cxObjectID id);
/* 0 or ERR_MEM. */
int AddFontObject(cxObjectID id, int automatic, cxOsFont *font, cxFontObject **out);

/* Every cached font drops its glyph cache, or only the entries of font. */
void FlushCachedGlyphs(cxOsFont *font);
/* The cached font whose vector-font handles hold handle, or null. */
cxOsFont *FindFontByVectorHandle(void *handle);
/* Gives colour fonts loaded before a display existed (while the kernel's
   preloading tag was set) their glyph bitmaps; the first error stops. */
int RealizeFontBitmaps(void);
/* Frees the font objects, closes every cached font and empties the cache. */
void FreeFontCache(lua_State *L);

#ifdef __cplusplus
}
#endif
