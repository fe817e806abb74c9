// Brushes: the records, the brush list, the lookup every library uses and
// the copy-on-write for brushes that layers show. Other subsystems (output
// redirection, brush editing, text objects, sprites) work on brushes only
// through this header.
//
// Ownership: the list owns its records; a record owns its bitmap, mask and
// alpha channel and holds one reference of its image handle. A record that
// the script freed while layers still show it stays on the list, pending
// free, under an automatic ID, until the last layer lets go of it.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The transparent colour that says "the mask carries the transparency". */
#define CX_TRANSPARENT_BY_MASK 0xAFC0DE
#define CX_NO_TRANSPARENT_COLOUR (-1)

/* Brush kinds. */
#define CX_BRUSH_BITMAP 0
#define CX_BRUSH_VECTOR 1

/* Access flags of FindBrush. */
#define CX_FIND_WRITE 1u      /* the caller modifies the brush: refused while locked, copy-on-write */
#define CX_FIND_PENDING 2u    /* also find records pending free */
#define CX_FIND_NOCOPY 4u     /* no copy-on-write (with WRITE: the caller frees or replaces it) */
#define CX_FIND_NOVECTOR 8u   /* refuse vector brushes (ERR_BRUSHTYPE) */
#define CX_FIND_HARDWARE 16u  /* allow hardware brushes (else ERR_HWBRUSH) */

typedef struct cxBrush {
    cxObjectHeader header;      /* kind 3 (CX_OBJ_BRUSH) */
    cxImageHandle *image;       /* kept image: vector brushes and brushes loaded before a display existed */
    cxBitmap *bitmap;           /* colour bitmap; null while the brush waits for its display */
    cxBitmap *mask;             /* 1-bit mask or null */
    cxBitmap *alpha;            /* 8-bit alpha channel or null */
    int32_t width, height;
    int32_t imageRowLength;     /* pixels per row of the kept image */
    uint32_t locked;            /* writers get ERR_LOCKEDOBJ while set */
    uint32_t pendingFree;       /* freed by the script (or a layers' private copy); layers still show it */
    int32_t transparentColour;  /* 0xRRGGBB, -1 none, CX_TRANSPARENT_BY_MASK */
    uint32_t transformed;       /* vector brush transformed directly */
    uint32_t brushKind;         /* CX_BRUSH_BITMAP or CX_BRUSH_VECTOR */
    int32_t pendingX, pendingY, pendingWidth, pendingHeight; /* part of the kept image to realise */
    uint32_t hardware;          /* the bitmap is a video bitmap of the display adapter */
    uint32_t smoothScale;       /* loaded with smooth scaling; used again when realised */
    uint32_t hardwareLayout;    /* bit 0 mask, bit 1 alpha (hardware brushes) */
    cxObjectID displayID;       /* display of a hardware brush */
    cxDisplay *display;
    uint32_t *savedPixels;      /* ARGB of a hardware brush while its display re-opens */
    uintptr_t loaderWord;       /* the image loader's value, carried over by copies */
    int32_t layerUses;          /* layers that show this record (copy-on-write when > 0) */
} cxBrush;

/* The first record of the brush list (walk with header.next). */
cxBrush *GetFirstBrush(void);
/* The object list of kind 3, for lookups by kind. */
cxObjectList *GetBrushList(void);

/* Finds a brush (see the CX_FIND_* flags). On success *out is the script's
   own record; with CX_FIND_WRITE and without CX_FIND_NOCOPY the layers
   that showed it now show a private copy. Errors: ERR_FINDBRUSH (number as
   detail), ERR_FINDARRAY, ERR_LOCKEDOBJ, ERR_BRUSHTYPE, ERR_HWBRUSH or the
   copy's error; *out null. */
int FindBrush(lua_State *L, cxObjectID id, cxBrush **out, uint32_t flags);

/* Appends a new record with the given fields. *id with a non-null pointer
   asks for an automatic ID: the record's address becomes its ID and is
   written back into *id. The record takes over image (one reference),
   bitmap, mask and alpha only on success. 0 or ERR_MEM. */
int AddBrushRecord(cxObjectID *id, uint32_t brushKind, int32_t width, int32_t height, int32_t imageRowLength,
                   uint32_t transformed, cxImageHandle *image, cxBitmap *bitmap, int32_t transparentColour,
                   cxBitmap *mask, cxBitmap *alpha, const cxObjectID *displayID, cxBrush **out);

/* A new brush with the same image under newId (pointer non-null: automatic
   ID). hardware asks for video bitmaps (given only when the adapter makes
   them). 0 or an error; nothing is left on failure. */
int CopyBrushRecord(lua_State *L, const cxBrush *source, cxObjectID newId, int hardware, int smooth,
                    cxDisplay *display, cxBrush **out);

/* FreeBrush: ERR_MODIFYABR for the brush output is redirected to; a brush
   that does not exist is an error only with reportNotFound (ERR_LOCKEDOBJ
   always is). A brush that layers show is handed to them (pending free,
   automatic ID) instead of being freed. */
int FreeBrushByID(lua_State *L, cxObjectID id, int reportNotFound);

/* Unlinks and frees a record with its bitmaps, values and image reference. */
void DestroyBrush(lua_State *L, cxBrush *brush);

/* Layer uses: the layers library counts the layers that show a brush. When
   the last use of a pending-free record goes, the record is freed. */
void AddBrushLayerUse(cxBrush *brush);
void DropBrushLayerUse(lua_State *L, cxBrush *brush);
/* Frees every pending-free brush that no layer shows any more. */
void PurgePendingBrushes(lua_State *L);

/* For plug-ins: 1 and the five values, 0 when the brush is not found or is
   a vector brush. */
int GetBrushBitmaps(cxObjectID id, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha, int32_t *width,
                    int32_t *height);

/* A new ARGB copy (malloc'd; free()) of a brush for plug-ins: its
   transparency in the alpha bytes (alpha channel, mask, else 255). Null
   and *error (ERR_FINDBRUSH ..., ERR_VECTORBRUSH, ERR_MEM) on failure. */
uint32_t *GetBrushARGBCopy(cxObjectID id, int32_t *width, int32_t *height, int *error);

/* Hardware brushes of a display that closes. */
void FreeDisplayHardwareBrushes(lua_State *L, cxDisplay *d);
/* A display that closes and opens again: its hardware brushes keep their
   pixels as ARGB words meanwhile (Save: the video bitmaps are freed; the
   first failure is returned), then get video bitmaps of the re-opened
   display, or become ordinary brushes when it gives none (Restore). */
int SaveHardwareBrushes(cxDisplay *d);
int RestoreHardwareBrushes(cxDisplay *d);
/* For the display adapter glue: with a store, 1 and the ID of the
   hardware brush whose bitmap has that store; without one, 1 and the
   store of the hardware brush id. 0 when there is none. */
int FindHardwareBrushBitmap(const void *store, cxObjectID id, cxObjectID *outID, void **outStore);
/* A colour bitmap from ARGB words: a video bitmap when the display adapter
   makes them (filled through a blit), else an ordinary one. Null on
   failure. */
cxBitmap *MakeVideoBitmapFromARGB(const uint32_t *argb, int32_t width, int32_t height);

/* At clean-up: every record with its bitmaps. */
void FreeAllBrushes(lua_State *L);

/* Bitmap copies used by brush and BGPic copies: a whole colour bitmap, a
   mask of a colour bitmap's size, an alpha channel. Null on failure. */
cxBitmap *DuplicateBitmap(const cxBitmap *bitmap, int32_t width, int32_t height);
cxBitmap *DuplicateMask(const cxBitmap *mask, const cxBitmap *colour, int32_t width, int32_t height);
cxBitmap *DuplicateAlpha(const cxBitmap *alpha, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif
