// The drawing style: one record for the whole program, owned by the draw
// library and read by every shape command and by the layer styles. Also the
// whole-degree sine and cosine tables the shape outlines step through.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_FILLNONE     0
#define CX_FILLCOLOR    1
#define CX_FILLGRADIENT 2
#define CX_FILLTEXTURE  3

#define CX_FORM_NORMAL    1u
#define CX_FORM_ANTIALIAS 16u
#define CX_FORM_SHADOW    32u
#define CX_FORM_EDGE      64u

struct cxGradient;

/* A two-colour gradient as the shape fills take it. */
typedef struct cxDrawGradient {
    int32_t type;        /* 2 linear, 3 radial, 4 conical */
    uint32_t startColor; /* 0xRRGGBB */
    uint32_t endColor;
    double angle;        /* degrees */
    /* Null, or a full gradient (centre, balance, border, colour stops)
       whose stops replace the two colours when it has any; its style and
       angle are the fields above. Never kept: set for one drawing. */
    const struct cxGradient *table;
} cxDrawGradient;

typedef struct cxDrawStyle {
    int32_t fillStyle;  /* CX_FILL* */
    uint32_t formStyle; /* CX_FORM_* bits */
    cxDrawGradient gradient;
    cxObjectID textureBrush;
    int32_t textureX, textureY;
    int32_t borderSize;
    uint32_t borderColor;
    int32_t shadowSize;
    int32_t shadowDir; /* 0 north .. 7 north-west, clockwise */
    uint32_t shadowColor;
    int32_t lineWidth; /* at least 1 */
} cxDrawStyle;

/* The program's drawing style. */
cxDrawStyle *GetDrawStyle(void);
/* Back to the defaults the draw library opens with. */
void ResetDrawStyle(void);

/* sin and cos of the whole degrees 0..360 (361 entries each); filled on
   first use. */
const double *GetSineTable(void);
const double *GetCosineTable(void);

#ifdef __cplusplus
}
#endif
