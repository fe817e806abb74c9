// The vector style: line join, cap, dashes, fill rule and miter limit,
// followed by a snapshot of the draw library's drawing style. One current
// style for the run; paths, drawings, vector brushes and layers keep copies.
#pragma once

#include <stdint.h>

#include "graphics/draw/draw_style.h"
#include "include/calyxtone/cxvector.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxPathStyle {
    uint32_t lineJoin;  /* CX_JOIN_* */
    uint32_t lineCap;   /* CX_CAP_* */
    double dashOffset;
    uint32_t dashCount; /* 0: solid */
    double *dashes;     /* owned; null when dashCount is 0 */
    uint32_t fillRule;  /* CX_FILLRULE_* */
    double miterLimit;
    cxDrawStyle drawStyle; /* zero in the current style; copies take the draw library's */
} cxPathStyle;

/* The current style; ResetVectorStyle puts the defaults back (join miter,
   cap butt, solid, winding, miter limit 10) and frees the dash array. */
cxPathStyle *GetVectorStyle(void);
void ResetVectorStyle(void);

/* A new copy with its own dash array; null when out of memory. */
cxPathStyle *CopyPathStyle(const cxPathStyle *style);
/* The current vector settings with the draw library's current drawing
   style; null when out of memory. */
cxPathStyle *SnapshotVectorStyle(void);
void FreePathStyle(cxPathStyle *style);
/* Gives a style its own copy of the dash array it points at. 0 or ERR_MEM
   (dashing then off). */
int CopyDashArray(cxPathStyle *style);
void FreeDashArray(cxPathStyle *style);
/* Replaces the dashes: count lengths, copied. 0 or ERR_MEM (dashing off). */
int SetVectorDashes(cxPathStyle *style, double offset, const double *lengths, uint32_t count);

/* The engine parameters of a style for an engine. */
void MakeVectorParams(const cxPathStyle *style, const cxPlugin *engine, cxVectorParams *out);

#ifdef __cplusplus
}
#endif
