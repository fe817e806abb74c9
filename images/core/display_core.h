// The generic display core: one road for every picture-like object to the
// current output (a brush, a part of a brush, a part of a BGPic, or a
// bitmap the caller brings: anim and video frames). It finds the object,
// reads the display options, resolves special coordinates, clips the
// source rectangle and then either hands the object to the layers (layers
// on) or transforms, filters and blits it with SafeBlt.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "images/core/display_options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of a draw request. */
#define CX_DRAW_LAYERADDED 2u     /* set by the core when it inserted a layer */
#define CX_DRAW_NOSHORTCUT 4u     /* never blit a layer's identity image straight away as well */
#define CX_DRAW_READYOPTIONS 8u   /* transform is ready (its matrix is rebuilt); insert before layer */
#define CX_DRAW_RERENDER 16u      /* re-render an existing layer */
#define CX_DRAW_PENDING 0x400u    /* also find objects pending free */

/* "x" or "y" absent from a position table. */
#define CX_POSITION_ABSENT 200000

typedef struct cxDrawRequest {
    void *layer;               /* layer to insert before (CX_DRAW_READYOPTIONS) or null */
    struct cxBGPic *layerBGPic;
    int32_t kind;              /* 3 BRUSH, 12 BRUSHPART, 13 BGPICPART; other kinds bring their bitmaps */
    cxObjectID id;             /* BGPICPART: number -1 names the BGPic on show */
    cxBitmap *bitmap, *mask, *alpha; /* the caller's image (other kinds) */
    int32_t objectWidth, objectHeight; /* its size (other kinds) */
    int32_t srcX, srcY, x, y;
    int32_t width, height;     /* the part (BRUSHPART, BGPICPART) */
    int32_t withLayers;        /* BGPICPART: include the BGPic's layers */
    int optionsIndex;          /* argument of the options table, 0 none */
    cxTransformOptions *transform; /* ready options, or null */
    cxLayerOptions *layerOptions;
    cxBitmap **outBitmap;      /* BGPICPART: the part handed back instead of shown */
    int *outMade;              /* set when *outBitmap is a new bitmap */
    intptr_t value;            /* handed on to the layer */
    uint32_t flags;
} cxDrawRequest;

/* 0 or an error code; every temporary bitmap is freed either way. */
int DrawBitmapCore(lua_State *L, cxDrawRequest *request);

/* DisplayBrush's work: the whole brush at x, y with the options table at
   optionsIndex (0 none). */
int DisplayBrushByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int optionsIndex);

/* Optional "x" and "y" of the table at index: CX_POSITION_ABSENT when
   absent. */
void ReadPositionOptions(lua_State *L, int table, int32_t *x, int32_t *y);

#ifdef __cplusplus
}
#endif
