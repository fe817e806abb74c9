// Clip regions (kind 35) as layers use them: listed records made through
// the C API, found by ID, shared by the layers made while a BGPic had one
// (freeing waits until the last layer lets go), and private copies turned
// with a layer's transform. No script command makes them yet.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit_clip.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new listed region of the box; shape (a mask of width x height, may be
   null) is taken over on success. *id with a pointer asks for an automatic
   ID (written back); a number in use replaces the old region. 0, ERR_MEM,
   or ERR_BADDIMENSIONS for a box without area. */
int AddClipRegion(cxObjectID *id, int32_t x, int32_t y, int32_t width, int32_t height, cxBitmap *shape,
                  cxClipRegion **out);
/* 0 and *out; ERR_FINDCLIPREGION with the number, ERR_FINDARRAY for an
   automatic ID. Regions pending free are not found. */
int FindClipRegion(cxObjectID id, cxClipRegion **out, uint32_t flags);
/* Frees a listed region, or marks it pending free while layers use it. */
int FreeClipRegionByID(lua_State *L, cxObjectID id);

/* A state's hold on a region: a listed region gains a use and is returned;
   a private copy is copied (null when memory runs out). */
cxClipRegion *UseClipRegion(cxClipRegion *region);
/* Lets go of a hold: a private copy is freed with its shape; a listed
   region loses a use and, pending free at its last, is freed. */
void ReleaseClipRegion(cxClipRegion *region);

/* A private copy of the region turned by the matrix {m00, m01, m10, m11}
   about the point (originX, originY): its box is the box of the turned
   corners and its shape the turned shape (a plain box when it had none
   and the matrix turns). An identity matrix gives a plain copy. Null when
   memory runs out. */
cxClipRegion *TransformClipRegion(const cxClipRegion *region, const double matrix[4], double originX,
                                  double originY);

/* Frees the listed regions pending free that no layer uses. */
void PurgePendingClipRegions(void);
/* At clean-up: every listed region. */
void FreeAllClipRegions(void);
/* The list of kind 35. */
cxObjectList *GetClipRegionList(void);

#ifdef __cplusplus
}
#endif
