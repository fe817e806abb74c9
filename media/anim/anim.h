// Anims: the records and their list, lookup, frames, copies, freeing and the
// copy-on-write for anims that layers show.
//
// Ownership: the list owns its records; a record owns its frame bitmaps
// (or, while it waits for a display, its raw ARGB frames), its delays, its
// file name and its reader. A record that the script freed while layers
// still show it stays on the list, pending free, under an automatic ID,
// until the last layer lets go of it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "include/calyxtone/cxplugin.h"
#include "media/anim/anim_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Access flags of FindAnim. */
#define CX_ANIM_WRITE 1u    /* the caller modifies it: refused while locked, copy-on-write */
#define CX_ANIM_PENDING 2u  /* also find anims whose free is pending */
#define CX_ANIM_NOCOPY 4u   /* no copy-on-write */

/* Deinterlace modes. */
#define CX_DEINTERLACE_DEFAULT 0
#define CX_DEINTERLACE_DOUBLE 1

/* A delay of -1: ask the reader (disk anims), else 0. */
#define CX_ANIM_DELAY_DEFAULT (-1)

typedef struct cxAnim {
    cxObjectHeader header;      /* kind 4 */
    int32_t width, height;      /* the size the anim is shown at */
    int32_t frames;
    uint32_t diskBased;
    int32_t frameWidth, frameHeight; /* the size of the stored (or decoded) frames */
    uint32_t smoothScale;
    int32_t lockCount;          /* playbacks in progress */
    uint32_t pendingFree;
    int32_t transparentColour;  /* -1 none */
    uint32_t loadAlpha;
    cxAnimReader *reader;       /* disk anims, and anims whose bitmaps wait for a display */
    cxBitmap **bitmaps, **masks, **alphas;
    uint32_t **raw;             /* ARGB frames while bitmaps wait for a display; else null */
    char *file;                 /* disk anims */
    int32_t *delays;
    int32_t deinterlace;
    uintptr_t loader;           /* the plug-in record, 0 built-in, 1 native */
    char adapters[256];
    uint32_t loadTransparency;
    int32_t layerUses;          /* layers that show the record */
} cxAnim;

cxAnim *GetFirstAnim(void);
cxObjectList *GetAnimList(void);

/* Finds an anim (CX_ANIM_* flags). Errors: ERR_FINDANIM (number as
   detail), ERR_FINDARRAY, ERR_LOCKEDOBJ, the copy's error. */
int FindAnim(lua_State *L, cxObjectID id, cxAnim **out, uint32_t flags);
/* FreeAnim: ERR_MODIFYAANIM for the anim output goes to; a missing anim is
   an error only with reportMissing (ERR_LOCKEDOBJ always is). An anim that
   layers show is handed to them (pending free). */
int FreeAnimByID(lua_State *L, cxObjectID id, int reportMissing);
/* Unlinks and frees a record with everything it owns. */
void DestroyAnim(lua_State *L, cxAnim *anim);

/* A new record with the frames (arrays of frameCount entries, taken over
   on success; raw, masks and alphas may be null). *id with a non-null
   pointer asks for an automatic ID (written back). Delays start at -1.
   0 or ERR_MEM. */
int AddAnimRecord(cxObjectID *id, int32_t width, int32_t height, uint32_t **raw, cxBitmap **bitmaps, cxBitmap **masks,
                  cxBitmap **alphas, int32_t frameCount, int32_t transparentColour, uint32_t loadAlpha,
                  uint32_t diskBased, int32_t deinterlace, cxAnim **out);

/* The bitmaps of frame n (0-based). Loaded anims: without copy, the anim's
   own (the caller must not free them); with copy, new copies at the anim's
   size. Disk anims: decoded now, scaled to the anim's size unless
   keepFrameSize; always the caller's. Errors: ERR_LOADFRAME,
   ERR_NOTRANSPARENCY, ERR_ALLOCALPHA, ERR_BITMAP, ERR_ANIMFRAME. */
int GetAnimFrameBitmaps(cxAnim *anim, int32_t frame, int copy, int keepFrameSize, cxBitmap **bitmap,
                        cxBitmap **mask, cxBitmap **alpha);
/* The frame's delay in milliseconds. */
int32_t GetAnimFrameDelay(cxAnim *anim, int32_t frame);
/* A private copy under newId (automatic when its pointer is set). */
int CopyAnimRecord(lua_State *L, cxAnim *source, cxObjectID newId, cxAnim **out);
/* Inserts (count > 0) or removes (count < 0) frames at the 1-based
   position (0: at the end). */
int ModifyAnimFramesCore(lua_State *L, cxObjectID id, int32_t count, int32_t position, int fromLayer);

/* Makes the bitmaps of anims loaded before any display existed. The first
   error stops the walk. */
int RealizePendingAnims(lua_State *L);
/* Makes the bitmaps of one waiting anim. */
int RealizeAnim(cxAnim *anim);

/* Layer uses: the layers count the layers that show an anim; the last use
   of a pending-free record frees it. */
void AddAnimLayerUse(cxAnim *anim);
void DropAnimLayerUse(lua_State *L, cxAnim *anim);
/* Frees every pending-free anim no layer shows any more. */
void PurgePendingAnims(lua_State *L);

/* At exit: every anim, then every anim stream. */
void FreeAnimObjects(void);
/* Every anim (tests). */
void FreeAllAnims(lua_State *L);

/* The bitmaps of one frame from ARGB pixels, as the builder makes them:
   a mask for the transparent colour, an alpha channel with alpha (or when
   the frame had a transparent pen). 0, ERR_BITMAP, ERR_ALLOCMASK or
   ERR_ALLOCALPHA. */
int MakeFrameBitmaps(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength,
                     int32_t transparentColour, int alpha, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **outAlpha);

/* The loader list that selects the loader that opened a file ("inbuilt",
   "native" or the plug-in's name). */
void LoaderListOf(uintptr_t loader, char *out, size_t size);

#ifdef __cplusplus
}
#endif
