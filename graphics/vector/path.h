// Vector paths: script objects of kind 49 holding a list of drawing items
// (calyxtone/cxvector.h gives the encoding every engine reads). A path only
// stores geometry; the vector engines measure and rasterise it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxvector.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxPathStyle;

typedef struct cxPath {
    cxObjectHeader header;
    uint8_t *items;   /* null until the first item, and after ClearPath */
    uint32_t capacity;
    uint8_t *end;     /* the terminating zero word */
    struct cxPathStyle *style; /* the style in force at StartPath; null for temporary paths */
    /* Changes whenever the buffer is dropped, so that a position kept
       across script calls can tell it no longer points into this buffer. */
    uint32_t generation;
} cxPath;

/* Item arguments of AddPathItem. */
enum { CX_PATHARG_INT = 0, CX_PATHARG_DOUBLE = 1, CX_PATHARG_STRING = 2, CX_PATHARG_HANDLE = 3 };
typedef struct cxPathArg {
    uint32_t type;
    int32_t i;        /* CX_PATHARG_INT */
    double d;         /* CX_PATHARG_DOUBLE */
    const char *s;    /* CX_PATHARG_STRING */
    uint32_t handle;  /* CX_PATHARG_HANDLE */
} cxPathArg;

/* The path list (registered as the kind's object list). */
cxObjectList *GetPathList(void);
/* A cleared record appended to the list with the ID; null when out of memory. */
cxPath *NewPath(int32_t number, int automatic);
/* 0 and *out; ERR_FINDARRAY for a missing automatic ID, ERR_FINDPATH (number
   as error number) for a missing number. */
int FindPath(cxObjectID id, cxPath **out);
/* Makes sure needed bytes are free behind end. 0 or ERR_MEM (path unchanged). */
int GrowPathBuffer(cxPath *path, size_t needed);
/* Appends one item with count arguments. 0, the errors of FindPath, or
   ERR_MEM with the path unchanged. */
int AddPathItem(cxObjectID id, uint32_t code, int count, const cxPathArg *args);
/* The same on a record. */
int AppendPathItem(cxPath *path, uint32_t code, int count, const cxPathArg *args);
/* Bytes used by the items, without the zero word. */
size_t PathUsedBytes(const cxPath *path);
/* Appends raw items (without a zero word) and a zero word. 0 or ERR_MEM. */
int AppendPathBytes(cxPath *path, const uint8_t *items, size_t bytes);
/* Drops the item buffer. */
void ClearPathItems(cxPath *path);
/* Frees the buffer, the style copy and the object-data list. */
void FreePathContents(lua_State *L, cxPath *path);
/* Unlinks and frees a path. 0 or the errors of FindPath. */
int FreePathByID(lua_State *L, cxObjectID id);
/* Frees every path; L may be null when no script values are attached. */
void FreeEveryPath(lua_State *L);

/* The size in bytes of the item at p, code included, or 0 for the zero
   word and for an unknown code. */
size_t PathItemSize(const uint8_t *p);
/* Bounded walk: the size of the item at offset within used bytes, or 0 at
   the end, for an unknown code or an item that runs past used. */
size_t PathItemSizeAt(const uint8_t *items, size_t used, size_t offset);

/* Reads and writes of the unaligned fields. */
static inline uint32_t PathWord(const uint8_t *p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}
static inline double PathDouble(const uint8_t *p) {
    double v;
    __builtin_memcpy(&v, p, 8);
    return v;
}
static inline void PathSetDouble(uint8_t *p, double v) { __builtin_memcpy(p, &v, 8); }

#ifdef __cplusplus
}
#endif
