// Making brushes: blank, from image files (also before any display
// exists), from the screen, from ARGB words, as shadows and borders.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "images/brushes/brush.h"
#include "images/core/picture_load.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of CreateBlankBrush. */
#define CX_BLANK_MASK 1u     /* with a mask (all visible unless CLEAR); transparent colour CX_TRANSPARENT_BY_MASK */
#define CX_BLANK_ALPHA 2u    /* with an alpha channel (255 unless CLEAR) */
#define CX_BLANK_CLEAR 4u    /* mask invisible, alpha 0 */
#define CX_BLANK_NOFILL 8u   /* leave the pixels as allocated */
#define CX_BLANK_HARDWARE 16u
#define CX_BLANK_SMOOTH 32u

/* A new brush of width x height filled with colour. *id as AddBrushRecord.
   0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or ERR_MEM. */
int CreateBlankBrush(cxObjectID *id, int32_t width, int32_t height, uint32_t colour, uint32_t flags,
                     cxDisplay *display, cxBrush **out);

/* What LoadBrush reads beyond the ID and the file. */
typedef struct cxBrushLoadOptions {
    int32_t transparentColour; /* -1 none */
    int loadAlpha, loadTransparency;
    int32_t globalAlpha;       /* -1 none */
    int32_t x, y, width, height; /* the part; width/height 0 = the rest of the image */
    int hardware, smoothScale;
    int32_t scaleWidth, scaleHeight; /* 0 = the image's; negative = percent (GetTablePercent) */
    char loaders[256], adapters[256];
    /* While preloading: the name the loaded image is kept under in the
       image cache, and the name of a cached image used instead of the
       file. */
    char cache[512], cachedLoad[512];
} cxBrushLoadOptions;

void InitBrushLoadOptions(cxBrushLoadOptions *o);

/* Loads a brush from a file under *id (a number frees the old brush
   first). While preloading the brush keeps the image and gets its
   bitmaps later (RealizePendingBrushes). 0 or an error; no partial brush
   survives a failure. */
int LoadBrushFile(lua_State *L, cxObjectID *id, const char *file, const cxBrushLoadOptions *o);

/* A brush from ARGB pixels (plug-ins): flag bit 0 makes an alpha channel
   from the alpha bytes, bit 1 a mask from transparentColour. */
int CreateBrushFromARGBPixels(cxObjectID *id, const uint32_t *pixels, int32_t width, int32_t height,
                              int32_t rowLength, int32_t transparentColour, uint32_t flags);

/* Gives every brush that waits for its bitmaps (loaded before a display
   existed) its bitmaps. The first error stops the pass. */
int RealizePendingBrushes(lua_State *L);
/* The bitmaps of one waiting brush. */
int RealizeBrush(cxBrush *b);

/* A brush made for a kind of the applet's declared objects. */
struct cxPreprocItem;
int PreloadBrushItem(lua_State *L, const struct cxPreprocItem *item);

#ifdef __cplusplus
}
#endif
