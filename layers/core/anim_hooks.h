// What the layers library needs of anims, which live in a layer above it
// (media/): the anims library registers these hooks when it opens. Until
// then ANIM layers made from frames the display core hands over still
// work; what needs the anim itself answers ERR_FINDANIM.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxLayerAnimHooks {
    /* The bitmaps of a frame (0-based) of an anim, the anim's size and its
       frame count (outputs may be null). The bitmaps stay the anim's.
       0, ERR_FINDANIM (number as detail), ERR_FINDARRAY or ERR_ANIMFRAME. */
    int (*getFrame)(lua_State *L, cxObjectID id, int32_t frame, cxBitmap **bitmap, cxBitmap **mask,
                    cxBitmap **alpha, int32_t *width, int32_t *height, int32_t *frames);
    /* A new anim under an automatic ID (written to *id) of frames colour
       bitmaps of width x height with masks or alpha channels (each array
       may be null), taken over on success; transparentColour 0xAFC0DE when
       masks are given, else -1. 0 or an error. */
    int (*addAnim)(lua_State *L, cxObjectID *id, int32_t width, int32_t height, int32_t frames, cxBitmap **bitmaps,
                   cxBitmap **masks, cxBitmap **alphas, int32_t transparentColour);
    /* DisplayAnimFrame's work: the frame (1-based) at x, y with the options
       table at optionsIndex (0: none); with layers on it becomes a layer. */
    int (*displayFrame)(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame, int optionsIndex);
    /* FreeAnim's work (deferred while layers show the anim). */
    int (*freeAnim)(lua_State *L, cxObjectID id);
    /* The anim is freed once no layer shows it. */
    void (*markPendingFree)(lua_State *L, cxObjectID id);
    /* A layer begins (delta 1) or stops (-1) showing the anim. */
    void (*layerUse)(lua_State *L, cxObjectID id, int delta);
    /* Frees the anims pending free that no layer shows. */
    void (*purgePending)(lua_State *L);
    /* A copy of the anim under an automatic ID (written to *copy), pending
       free from the start: it lives while layers show it. 0 or an error. */
    int (*copyAnim)(lua_State *L, cxObjectID id, cxObjectID *copy);
    /* Inserts (count > 0) or removes (count < 0) frames at the 1-based
       position (0: at the end). 0 or an error. */
    int (*modifyFrames)(lua_State *L, cxObjectID id, int32_t count, int32_t position);
    /* 1 when the anim is pending free (the script let go of it). */
    int (*isPendingFree)(lua_State *L, cxObjectID id);
} cxLayerAnimHooks;

/* Installs the hooks (copied); null removes them. */
void SetLayerAnimHooks(const cxLayerAnimHooks *hooks);
const cxLayerAnimHooks *GetLayerAnimHooks(void);

#ifdef __cplusplus
}
#endif
