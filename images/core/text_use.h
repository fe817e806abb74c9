// Text objects as the images library sees them. Text objects live in the
// text library above: it fills cxTextObjectHooks when it opens. Without
// them no text object is found (ERR_FINDTEXTOBJECT).
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTextObjectHooks {
    /* The text object's record (opaque) and its rendered image (not
       copies). 0 or the lookup's error; ERR_BITMAP when it has no image. */
    int (*find)(lua_State *L, cxObjectID id, void **record, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha,
                int32_t *width, int32_t *height);
    /* Takes (+1) or gives back (-1) a lock that keeps the object from being
       changed or freed. */
    void (*lock)(void *record, int delta);
} cxTextObjectHooks;

/* Installs the hooks (copied); null removes them. */
void SetTextObjectHooks(const cxTextObjectHooks *hooks);
const cxTextObjectHooks *GetTextObjectHooks(void);

#ifdef __cplusplus
}
#endif
