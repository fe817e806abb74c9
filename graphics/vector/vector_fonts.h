// How engines find the fonts of Text items: an item holds a key of the
// vector-font cache, which lives with the fonts (text/vector) and registers
// its resolver here.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The engine's font handle for a key; null when the key names no font or
   the engine has made no handle of it. */
typedef void *(*cxVectorFontResolver)(uint32_t key, const cxPlugin *engine);
/* Null removes the resolver: every key then resolves to null. */
void SetVectorFontResolver(cxVectorFontResolver resolver);
void *ResolveVectorFontKey(uint32_t key, const cxPlugin *engine);

#ifdef __cplusplus
}
#endif
