// Making, linking, refreshing and freeing layers: the road of everything
// that becomes a layer (brushes, anim frames, text, shapes, paths and the
// rest) and of every layer that goes.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/layer.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_image.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of AddLayer. */
#define CX_ADDLAYER_HIDDEN 1u
#define CX_ADDLAYER_SCALED 2u      /* (display-scaled states are not made: ignored) */
#define CX_ADDLAYER_REPLACED 4u    /* set inside: the layer replaced another */
#define CX_ADDLAYER_REPLACE 8u     /* replace the layer at the insert position */
#define CX_ADDLAYER_KEEPPLACE 0x100u   /* with REPLACE: keep the old layer's position */
#define CX_ADDLAYER_KEEPFILTERS 0x200u /* with REPLACE: keep the old layer's filters */
#define CX_ADDLAYER_NOREFRESH 0x1000u  /* the caller draws (or nobody does yet) */
#define CX_ADDLAYER_IMAGEREADY 0x2000u /* image is rendered already, its top-left at the position */

/* What becomes a layer. */
typedef struct cxAddLayerRequest {
    int32_t type;                  /* CX_LAYER_* */
    cxObjectID source;             /* the object shown (brushes, anims ...) or {0, null} */
    int32_t x, y;                  /* the position: its anchor point, or with IMAGEREADY the image's top-left */
    int32_t srcX, srcY;            /* brush parts: the rectangle in the brush */
    int32_t srcWidth, srcHeight;   /* the content's size before the transform */
    int32_t frame;                 /* ANIM: the frame shown (0-based) */
    const cxTransformOptions *transform; /* null: the default transform */
    const cxLayerOptions *options;       /* null: the default look */
    void *content;                 /* the content record (layer_content.h), or null */
    cxLayerImage image;            /* with IMAGEREADY: the image (owned bitmaps) */
    int32_t insertPos;             /* 0 or -1 the front, 1 the back, n position n */
    uint32_t flags;                /* CX_ADDLAYER_* */
    cxBGPic *bgpic;                /* null: the current output BGPic */
} cxAddLayerRequest;

/* Creates a layer, links it into the BGPic's list and renders and shows
   it (unless hidden, suppressed or NOREFRESH). The content and the image
   are taken over on success only. 0, ERR_MEM, ERR_NOLAYERS without a
   BGPic, the name's errors (1373, 1161), 1081 for REPLACE without a layer
   at the position, or the renderer's error. */
int AddLayer(lua_State *L, cxAddLayerRequest *request, cxLayer **out);

/* Shows a layer's change: without direct its full box goes the dirty
   road (MarkRectDirty); with direct a visible, plain, uncovered layer
   (no alpha, transparency, shadow, border, filters or clip shape, no
   sprite over it) is drawn straight into the composition buffer and
   presented, anything else is composited. */
void RefreshLayer(lua_State *L, cxLayer *layer, int direct);
/* 1 when no visible layer in front of it reaches its image box. */
int IsLayerUncovered(const cxBGPic *bgpic, const cxLayer *layer);

/* Takes a layer out of its list and frees it. Unless keepOnScreen, its
   full box is redrawn without it: into the dirty array when given, else
   through MarkRectDirty. outBox (may be null) receives the box. Then the
   objects of its source kind left pending free are freed. */
void UnlinkLayer(lua_State *L, cxLayer *layer, int keepOnScreen, int32_t *outBox, cxDirtyRects *dirty,
                 int stopVideo);
/* Frees every layer of the BGPic (nothing is redrawn); then, with
   freeDeferred, the objects pending free that no layer shows. */
void FreeAllLayers(lua_State *L, cxBGPic *bgpic, int freeDeferred, int releaseButtons);

/* Kinds of FreeObjectKinds. */
#define CX_FREEKIND_BRUSHES 1u
#define CX_FREEKIND_ANIMS 2u
#define CX_FREEKIND_TEXTOBJECTS 4u
#define CX_FREEKIND_BGPICS 8u
#define CX_FREEKIND_VIDEOS 16u
#define CX_FREEKIND_ALL 31u
/* Frees the objects of the kinds that are pending free and shown by no
   layer; then the clip regions in that state. */
void FreeObjectKinds(lua_State *L, uint32_t mask);

/* A layer shows another object of its kind: its hold moves along. */
void SetLayerSource(lua_State *L, cxLayer *layer, cxObjectID source);

/* SelectLayer's road: the layer's image becomes a brush of its own that
   drawing can go into: a brush layer's brush is copied unless only this
   layer holds it; text, shape, path and picture layers become brush
   layers showing their current image. *brush is its ID. 1404 for a layer
   an async draw animates, 1513 for a video layer, 1055 for placeholders
   and anim layers (their frames are the anim library's), or the
   allocation errors (the layer is left as it was). */
int PrepareLayerForDrawing(lua_State *L, cxLayer *layer, int32_t frame, cxObjectID *brush);
/* Drawing into the brush ended: the layers that show it show what was
   drawn. */
void LayerBrushDrawn(lua_State *L, cxObjectID brush);

/* Re-points the layers showing (kind, from) to the ID to (a brush's
   layers include its BRUSHPART layers). */
void RedirectLayerSources(lua_State *L, int kind, cxObjectID from, cxObjectID to);
/* The number of layers, on every BGPic, that show the object. */
int32_t CountLayersShowing(int kind, cxObjectID id);

#ifdef __cplusplus
}
#endif
