// Collision tests: two objects on the screen (brushes at positions,
// layers, sprites, plain boxes) touch when their boxes overlap and, where
// they have masks, alpha channels or shaped clip regions, a pixel of the
// overlap is visible in both.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/blit/blit_clip.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Collision kinds (the first argument of Collision). */
#define CX_COLLIDE_BRUSH 3
#define CX_COLLIDE_BOX 14
#define CX_COLLIDE_LAYER 22
#define CX_COLLIDE_SPRITE 32
#define CX_COLLIDE_BRUSH_VS_BOX 46
#define CX_COLLIDE_LAYER_VS_BOX 47
#define CX_COLLIDE_SPRITE_VS_BOX 48
#define CX_COLLIDE_SPRITE_VS_BRUSH 58

/* One object of a test. */
typedef struct cxCollisionObject {
    int32_t x, y, width, height;    /* its box */
    const cxBitmap *mask, *alpha;   /* either may be null */
    int32_t offsetX, offsetY;       /* of the box's corner inside the mask and the alpha channel */
    const cxClipRegion *clip;       /* its shape, when it has one, limits it too (may be null) */
} cxCollisionObject;

/* 1 when the objects touch. A pixel of an object is visible where its
   mask bit is set and its alpha is not 0 (each that it has) and its clip
   region's shape is set; the objects touch where both are visible. */
int TestMaskCollision(const cxCollisionObject *a, const cxCollisionObject *b);

/* A layer as a collision object (display state, filtered image). 0, 1055
   for a placeholder, or the image's error. */
int GetLayerCollisionObject(lua_State *L, cxLayer *layer, cxCollisionObject *out);

/* How the sprites library describes an on-screen sprite (installed by it;
   without it every sprite is ERR_FINDSPRITE). */
typedef int (*cxSpriteCollisionHook)(lua_State *L, cxObjectID id, cxCollisionObject *out);
void SetSpriteCollisionHook(cxSpriteCollisionHook hook);

/* 1 when a visible layer from first up to (not including) layer is
   animated by an async draw and its image box meets layer's. */
int IsLayerBehindAnimated(const cxLayer *first, const cxLayer *layer);

/* Collision(kind, ...) -> 1 or 0. */
int CmdCollision(lua_State *L);

#ifdef __cplusplus
}
#endif
