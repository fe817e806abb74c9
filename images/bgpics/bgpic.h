// Background pictures (BGPics): the picture a display shows and the owner
// of the layers and sprites shown over it. The records, their list and
// lookup, the fill style a BGPic was made with, and freeing deferred while
// a display or a layer still shows one.
//
// Bitmap sets: "base" is the BGPic at its own size, "scaled" at the size it
// was scaled to, "current" what is shown now. Sets often share bitmaps; a
// set is freed only where it is not another set's. A display never draws
// into the BGPic itself: it draws into the BGPic's display buffer, a copy
// made when the BGPic is put on show (Cls copies the current set back).
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/lists.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/gradient/gradient.h"
#include "graphics/images/image_handle.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fill styles. */
#define CX_FILL_NONE 0
#define CX_FILL_COLOUR 1
#define CX_FILL_GRADIENT 2
#define CX_FILL_TEXTURE 3

typedef struct cxFillStyle {
    uint32_t style;   /* CX_FILL_* */
    uint32_t colour;  /* 0xRRGGBB for CX_FILL_COLOUR */
    cxGradient gradient;
    cxObjectID textureBrush;
    cxBitmap *textureBitmap; /* a private copy of the brush's bitmap */
    int32_t textureX, textureY, textureWidth, textureHeight;
    uint32_t pristine; /* the bitmap is exactly the fill: it can be made again at any size */
} cxFillStyle;

typedef struct cxBitmapSet {
    cxBitmap *bitmap, *mask, *alpha;
} cxBitmapSet;

typedef struct cxBGPic {
    cxObjectHeader header; /* kind 1 (CX_OBJ_BGPIC) */
    cxImageHandle *image;  /* kept for vector BGPics and ones loaded before a display existed */
    cxBitmapSet current, scaled, base;
    int32_t currentWidth, currentHeight;
    int32_t scaledWidth, scaledHeight;
    int32_t baseWidth, baseHeight;
    int32_t imageRowLength;
    int32_t transparentColour; /* -1 none */
    uint32_t *palette;         /* 256 colours given at load, or null */
    cxList layers;             /* the layers library's: back-most layer first */
    void *onScreen;            /* sprites and videos shown on it */
    uint32_t locked;
    uint32_t pendingFree;
    void *buttons;             /* legacy buttons of this BGPic */
    /* Output-target use (selections). */
    uint32_t selectionKind;
    int32_t frame;
    void *object;
    uint32_t prepared;
    uintptr_t layerWords[2];   /* the layers library's: [0] layers changed, [1] the clip region */
    cxFillStyle fill;
    uint32_t bgpicKind;        /* 0 bitmap, 1 vector */
    uintptr_t loaderWord;
    int32_t layerUses;         /* layers that show this BGPic (BGPICPART layers) */
    cxBitmap *displayBuffer;   /* what a display showing it draws into; null when not on show */
    uint32_t ownedByDisplay;   /* a display's own picture: not on the list */
    uint32_t pendingAlpha;     /* loaded before a display: make the alpha channel with the bitmap */
} cxBGPic;

/* Flags of FindBGPic: those of FindBrush without the vector and hardware
   bits (CX_FIND_WRITE 1, CX_FIND_PENDING 2, CX_FIND_NOCOPY 4). */

cxBGPic *GetFirstBGPic(void);
cxObjectList *GetBGPicList(void);

/* 0, ERR_FINDBGPIC (number as detail), ERR_FINDARRAY or ERR_LOCKEDOBJ.
   Writing a BGPic that layers show first gives them a private copy. */
int FindBGPic(lua_State *L, cxObjectID id, cxBGPic **out, uint32_t flags);

/* Appends a record whose three sets are the one bitmap, mask and alpha
   (taken over on success, with one reference of image). fill may be null.
   *id with a pointer asks for an automatic ID (written back). 0 or ERR_MEM. */
int AddBGPicRecord(cxObjectID *id, uint32_t bgpicKind, int32_t width, int32_t height, int32_t rowLength,
                   cxImageHandle *image, cxBitmap *bitmap, uint32_t *palette, int32_t transparentColour,
                   cxBitmap *mask, cxBitmap *alpha, const cxFillStyle *fill, cxBGPic **out);
/* A new record, not on the list, for a display's own picture. */
int MakeDisplayBGPic(cxBitmap *bitmap, int32_t width, int32_t height, const cxFillStyle *fill, cxBGPic **out);

/* A copy with its own bitmaps (sets that were shared stay shared). */
int CopyBGPicRecord(lua_State *L, const cxBGPic *source, cxObjectID newId, cxBGPic **out);

/* FreeBGPic: ERR_MODIFYABGPIC for the selected BGPic; a BGPic on show or
   shown by layers becomes pending free under an automatic ID. */
int FreeBGPicByID(lua_State *L, cxObjectID id, int reportNotFound);
/* Unlinks (when listed) and frees a record with everything it owns. */
void DestroyBGPic(lua_State *L, cxBGPic *bgpic);
/* Frees every pending-free BGPic that no display and no layer shows. */
void PurgePendingBGPics(lua_State *L);
/* 1 when a display shows the BGPic. */
int IsBGPicOnShow(const cxBGPic *bgpic);

void AddBGPicLayerUse(cxBGPic *bgpic);
void DropBGPicLayerUse(lua_State *L, cxBGPic *bgpic);

/* Frees the three sets (each distinct bitmap once). */
void FreeBitmapSets(cxBGPic *bgpic);

/* At clean-up. */
void FreeAllBGPics(lua_State *L);

#ifdef __cplusplus
}
#endif
