// The inbuilt vector engine: path items become a FreeType outline, stroked
// with FreeType's stroker when outlined, measured exactly and rasterised
// by FreeType into 8-bit coverage. Coordinates become 26.6 fixed point;
// anything outside that range, and non-finite angles, are refused (the
// build then yields nothing) rather than truncated or looped on.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "include/calyxtone/cxvector.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The largest coordinate magnitude, in pixels, an outline may hold. */
#define CX_VECTOR_MAXCOORD 4194304.0
/* Line widths beyond this are drawn at it. */
#define CX_VECTOR_MAXLINEWIDTH 10000

/* The engine's own FreeType library, made on first use. Outlines and the
   stroker need one for memory only, and an own one cannot outlive or be
   outlived by the font layer's; faces of either library serve. */
struct FT_LibraryRec_ *GetVectorFreeTypeLibrary(void);
/* Frees it (with the faces FtOpenFont made). */
void StopVectorFreeType(void);

/* Why the last measurement or drawing of the inbuilt engine built no
   outline, beyond an empty path (reading it clears it). */
enum {
    CX_VECTOR_FAILED_NOTHING = 0,
    CX_VECTOR_FAILED_RANGE = 1, /* a number not finite, or beyond CX_VECTOR_MAXCOORD */
    CX_VECTOR_FAILED_POINTS = 2 /* more points than one FreeType outline holds */
};
int TakeVectorBuildFailure(void);

/* The eight slots. */
void FtGetPathExtents(cxVectorExtentsRequest *request);
int FtDrawPath(cxVectorDrawRequest *request);
void FtTranslatePath(cxVectorTranslateRequest *request);
void FtGetCurrentPoint(const void *items, const cxVectorParams *params, double *x, double *y);
void *FtCreateVectorFont(struct FT_FaceRec_ *face);
void FtFreeVectorFont(void *font);
struct FT_FaceRec_ *FtOpenFont(const void *data, size_t size);
void FtCloseFont(struct FT_FaceRec_ *face);

#ifdef __cplusplus
}
#endif
