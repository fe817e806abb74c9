// Move lists (kind 51): display operations collected by AddMove and carried
// out together by DoMove on the layers of the output BGPic, which then
// redraws each changed area once, overlapping areas merged.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_OBJ_MOVELIST 51
#define CX_MOVELIST_ENTRIES 512

/* Operation types (object kinds that DoMove interprets). */
#define CX_MOVEOP_BRUSH 3
#define CX_MOVEOP_ANIM 4
#define CX_MOVEOP_TEXTOBJECT 8
#define CX_MOVEOP_UNDO 10
#define CX_MOVEOP_LAYER 22
#define CX_MOVEOP_HIDEBRUSH 23
#define CX_MOVEOP_INSERTBRUSH 24
#define CX_MOVEOP_HIDELAYER 25
#define CX_MOVEOP_REMOVELAYER 26
#define CX_MOVEOP_NEXTFRAME 29
#define CX_MOVEOP_NEXTFRAME2 34

typedef struct cxMoveList {
    cxObjectHeader header;       /* kind 51 */
    int32_t type[CX_MOVELIST_ENTRIES];
    cxObjectID id[CX_MOVELIST_ENTRIES]; /* layer operations: {position, null} */
    int32_t a[CX_MOVELIST_ENTRIES], b[CX_MOVELIST_ENTRIES], c[CX_MOVELIST_ENTRIES];
    uint32_t done[CX_MOVELIST_ENTRIES];
    /* The area an operation changed (inclusive corners), when it has one. */
    uint32_t hasBox[CX_MOVELIST_ENTRIES];
    int32_t x1[CX_MOVELIST_ENTRIES], y1[CX_MOVELIST_ENTRIES], x2[CX_MOVELIST_ENTRIES], y2[CX_MOVELIST_ENTRIES];
    int32_t count;
} cxMoveList;

/* 0; ERR_FINDMOVE (number as detail) or ERR_FINDARRAY. */
int FindMoveList(cxObjectID id, cxMoveList **out);

/* DoMove's layer move of entry index: the layer goes to (a, b) (special
   coordinates resolved against its size), is shown (or, with applyHidden,
   hidden or shown as c says when c is 0 or 1), and the entry's box spans
   what it covered before (oldBox, x y w h, when given; else its box now)
   and after. */
void MoveLayerForMoveList(lua_State *L, cxLayer *layer, cxMoveList *list, int32_t index, int applyHidden,
                          const int32_t *oldBox);
/* The layer's full box becomes the entry's box when it lies on the output
   BGPic; the entry is done. */
void RecordLayerBoxForMoveList(lua_State *L, cxLayer *layer, cxMoveList *list, int32_t index);

/* DoMove's work. The guard's errors, the list's lookup, and the
   operations' own; after an error what was done stays done and is
   redrawn. */
int CarryOutMoveList(lua_State *L, cxObjectID id);

/* At clean-up. */
void FreeAllMoveLists(void);

int CmdAddMove(lua_State *L);
int CmdClearMove(lua_State *L);
int CmdDoMove(lua_State *L);

#ifdef __cplusplus
}
#endif
