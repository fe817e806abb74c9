// Objects shown by layers: how many layers show each record, and the
// copy-on-write that keeps what a layer shows when the script edits or frees
// the object. The layers library fills cxLayerHooks (the one place the
// images library reaches up to it); until then no layer shows anything, the
// counts stay 0 and every display command draws directly.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxBitmap;
struct cxBGPic;
struct cxTransformOptions;
struct cxLayerOptions;

/* Where a layer lies, for moves. */
typedef struct cxLayerGeometry {
    int32_t x, y;              /* its position as given (the anchor point) */
    int32_t width, height;     /* the content's size before the transform */
    double anchorX, anchorY;
} cxLayerGeometry;

/* An asynchronous draw as the images library runs one: its own callbacks
   on its own data. Codes of control: */
#define CX_ASYNCUSE_LAYER_REPLACED 0 /* object: {old, new} layer pair; new null when it went */
#define CX_ASYNCUSE_ANIMATES 6       /* answer 1 when the draw animates the object (a layer) */
typedef struct cxAsyncClient {
    /* One frame; *done set after the last. 0 or an error (which ends it). */
    int (*frame)(lua_State *L, void *user, int *done);
    /* Frees the user data (the draw ended or its display went). */
    void (*release)(void *user);
    /* The registry's questions and notes (may be null). */
    intptr_t (*control)(void *user, int code, void *object);
} cxAsyncClient;

/* What the images library needs of the layers library. Every member may be
   null. */
typedef struct cxLayerHooks {
    /* Re-points every layer whose source is (kind, from) to the ID to: a
       brush's layers also match BRUSHPART (12), other kinds the placeholder
       type 7. */
    void (*redirectLayers)(lua_State *L, int kind, cxObjectID from, cxObjectID to);
    /* Inserts a layer showing an object (DisplayBrush and friends with
       layers on). The layer takes over bitmap, mask and alpha when it
       returns 0; on failure they stay the caller's. */
    int (*addBitmapLayer)(lua_State *L, int kind, cxObjectID id, int32_t srcX, int32_t srcY, int32_t x, int32_t y,
                          int32_t width, int32_t height, const struct cxTransformOptions *transform,
                          const struct cxLayerOptions *layer, struct cxBitmap *bitmap, struct cxBitmap *mask,
                          struct cxBitmap *alpha, void *insertBefore, uint32_t flags, intptr_t value);
    /* The "filters" table of display options into the layer block's slots.
       0 or an error code. */
    int (*parseFilterTable)(lua_State *L, int table, struct cxLayerOptions *layer);
    /* Runs the active filter slots on a bitmap (mask and alpha may be null;
       the filters that move pixels move them along). 0 or an error code. */
    int (*applyLayerFilters)(lua_State *L, const struct cxLayerOptions *layer, struct cxBitmap *bitmap,
                             struct cxBitmap *mask, struct cxBitmap *alpha, int32_t width, int32_t height);
    /* The number of layers of a BGPic. */
    int (*countLayers)(const struct cxBGPic *bgpic);
    /* A BGPic is being destroyed: its layers go with it. */
    void (*freeLayers)(lua_State *L, struct cxBGPic *bgpic);

    /* Repaints a rectangle of a display (clipped to its picture) from its
       BGPic with the layers and sprites over it, and presents it. */
    void (*redrawDisplayRect)(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);
    /* The same repaint, made later but before anything can show it: at
       the display's next frame or the next turn of the event pump (which
       every wait takes), once for all the rectangles queued until then.
       Null: callers repaint at once. */
    void (*queueDisplayRect)(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);
    /* The display's whole picture composited (layers and sprites) into
       its composition buffer, which is returned; null when it cannot be
       made. */
    struct cxBitmap *(*composeDisplay)(lua_State *L, cxDisplay *d);

    /* Moving layers (the move engine). A layer argument (position or
       name) on the layers' output BGPic: 0 or the lookup's error. */
    int (*findLayerArg)(lua_State *L, int index, int32_t *position);
    /* The layer at a 1-based position of the output BGPic, or null. */
    void *(*layerAt)(int32_t position);
    /* Where the layer lies (its position as given), the size special
       coordinates resolve against, and its anchor. */
    void (*layerGeometry)(const void *layer, cxLayerGeometry *out);
    /* Moves the layer to (x, y) and shows the change (UpdateLayerPosition). */
    void (*moveLayer)(lua_State *L, void *layer, int32_t x, int32_t y);
    /* 1 while the layer is in a BGPic's list. */
    int (*isLayerListed)(const void *layer);

    /* Starts an asynchronous draw on the current display: its frame
       callback runs once per display frame until it says done, then it
       is released. *handle (the draw's record, the script's handle). 0,
       ERR_MEM or ERR_FINDDISPLAY; on failure nothing was released. */
    int (*startAsyncDraw)(lua_State *L, const cxAsyncClient *client, void *user, void **handle);
} cxLayerHooks;

/* Installs the hooks (copied); null removes them. */
void SetLayerHooks(const cxLayerHooks *hooks);
const cxLayerHooks *GetLayerHooks(void);

/* Makes a copy of a record under a new automatic ID ({0, 1} asks for one).
   0 or an error code; *copy is null on failure. */
typedef int (*cxCopyRecordFunc)(lua_State *L, void *record, cxObjectID newId, void **copy);

/* Copy-on-write before the script modifies an object that *uses layers
   show: nothing happens while *uses is 0. Otherwise the copy function makes
   a private copy, the layers are re-pointed to it and take their uses
   along (*copyUses = *uses, *uses = 0). *outCopy is the copy (null when
   none was made); the caller marks it pending free. 0 or the copy's error,
   with nothing changed. */
int CopyOnWrite(lua_State *L, int kind, cxObjectID id, int32_t *uses, cxCopyRecordFunc copy, void *record,
                void **outCopy, int32_t *(*usesOf)(void *copy));

/* Tells the layers that (kind, from) now goes by the ID to. */
void RedirectLayers(lua_State *L, int kind, cxObjectID from, cxObjectID to);

#ifdef __cplusplus
}
#endif
