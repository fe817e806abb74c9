// Text objects (kind 8): text rendered once into an image, kept with its
// description so that rotating and scaling render it again.
#pragma once

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "text/library/render_text.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTextObject {
    cxObjectHeader header; /* kind 8 */
    cxBitmap *bitmap, *mask, *alpha;
    int32_t width, height;
    int32_t baseWidth, baseHeight;
    int32_t offsetX, offsetY;
    uint32_t lock;
    uint32_t layerCopy;
    cxTextRecord *text;
    double matrix[4];
    int32_t scaledWidth, scaledHeight;
    double angle;
} cxTextObject;

#define CX_FINDTEXT_MODIFY 1u
#define CX_FINDTEXT_LAYERCOPIES 2u

cxObjectList *GetTextObjectList(void);
/* 0, ERR_LOCKEDOBJ (modify while locked), ERR_FINDTEXTOBJECT or
   ERR_FINDARRAY. */
int FindTextObject(lua_State *L, cxObjectID id, cxTextObject **out, uint32_t flags);
/* reportMissing 0: a missing object is no error. */
int FreeTextObjectByID(lua_State *L, cxObjectID id, int reportMissing);
/* A deep copy of a text record (text and tables); null when memory runs out. */
cxTextRecord *CopyTextRecord(const cxTextRecord *rec);
void FreeTextRecord(cxTextRecord *rec);
/* Draws the object with its image's origin at (x, y) less the anchor. */
int DrawTextObject(lua_State *L, int32_t x, int32_t y, cxObjectID id, const cxTextDrawOptions *opts, uint32_t flags);
void FreeAllTextObjects(lua_State *L);
/* Lets the move engine find and lock text objects (images/core/text_use.h). */
void InstallTextObjectHooks(void);

int CmdCreateTextObject(lua_State *L);
int CmdDisplayTextObject(lua_State *L);
int CmdFreeTextObject(lua_State *L);
int CmdCopyTextObject(lua_State *L);
int CmdRotateTextObject(lua_State *L);
int CmdScaleTextObject(lua_State *L);

#ifdef __cplusplus
}
#endif
