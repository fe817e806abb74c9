// The record of one running transition effect and the protocol its step
// functions follow. The effect commands fill an instance and hand it to the
// engine (effect_engine.h), which prepares the pictures and then calls the
// step function of the effect's family once to set up (phase 0) and once
// per frame until it reports the end.
//
// Two ways of drawing (effect_draw.h does both for the families):
//   direct mode  the step draws into a target bitmap at the effect's
//                position: the display's shown picture, or the output
//                bitmap of the instance (tests, benchmarks);
//   layer mode   the step draws into a canvas of the effect's size (a
//                colour bitmap and an alpha channel) that the compositor
//                shows in the layer's place; hiding clears the canvas.
// Either way a step only draws; the engine presents the boxes it touched
// once when the step returns.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Targets: what appears or goes. */
#define CX_FXTARGET_BGPIC 1
#define CX_FXTARGET_BRUSH 3
#define CX_FXTARGET_TEXTOBJECT 8
#define CX_FXTARGET_BGPICPART 13
#define CX_FXTARGET_LAYER 22
#define CX_FXTARGET_HIDELAYER 25
#define CX_FXTARGET_REMOVELAYER 26

/* Effect numbers 0..139; 140 asks for a random one; 113 has no effect of
   its own and is taken as random. */
#define CX_FX_COUNT 140
#define CX_FX_RANDOM 140
#define CX_FX_RANDOMALIAS 113
#define CX_FX_RANDOMPARAMETER (-1)

/* Speed constants (scripts: NORMALSPEED ...); DEFAULTSPEED is taken as
   NORMALSPEED by every effect. */
#define CX_SPEED_NORMAL (-1)
#define CX_SPEED_FAST (-2)
#define CX_SPEED_SLOW (-3)
#define CX_SPEED_DEFAULT (-4)

/* Phases. */
#define CX_FXPHASE_INIT 0
#define CX_FXPHASE_STEP 1
#define CX_FXPHASE_REDRAW 2

struct cxEffectInstance;
struct cxEffectRun;
/* A step: phase 0 sets up (done is null then), phase 1 draws the step of
   the counter, sets *done on the last one and counts it, phase 2 redraws
   the state of the counter. 0 or an error code. */
typedef int (*cxEffectStepFunc)(struct cxEffectInstance *fx, int *done);
/* Frees what the family's private state owns (the engine frees the block
   itself afterwards); called in any state, after a failed set-up too. */
typedef void (*cxEffectCleanupFunc)(struct cxEffectInstance *fx, int normalEnd);

typedef struct cxEffectInstance {
    lua_State *L;
    cxLayer *layer;           /* the layer animated, or null */
    cxBitmap *output;         /* direct mode: draw here instead of the display; nothing is presented */
    cxEffectStepFunc step;
    cxEffectCleanupFunc cleanup;
    int32_t target;           /* CX_FXTARGET_* */
    int32_t effect;           /* 0..139 once the engine chose */
    cxObjectID source;        /* the object; layer targets: {position, null} */
    int32_t dx, dy;           /* the effect's position on the target */
    int32_t speed;            /* as given, then the family's resolved step */
    int32_t initialSpeed;
    int32_t parameter;
    int32_t width, height;    /* the effect rectangle (W x H) */
    int32_t undoLevel;

    /* The pictures, W x H each, at (0, 0). */
    cxBitmap *newImage, *newMask, *newAlpha; /* what appears (hiding outside layer mode: the background) */
    cxBitmap *oldImage;                      /* what was there (the families that need it) */
    cxBitmap *spare;                         /* BGPic transitions: the picture shown before */
    uint32_t ownsNew, ownsMask, ownsAlpha;   /* the instance frees them */

    /* Layer mode: the canvas the compositor shows in the layer's place. */
    cxBitmap *canvas, *canvasAlpha;
    cxBitmap *canvasBase;     /* the new picture's transparency as an alpha channel */
    /* Direct mode: the bitmap drawn into (the output, or the display's). */
    cxBitmap *drawTarget;
    /* What the current step touched, one box (effect coordinates; a width
       of 0: nothing), and the number of steps presented. */
    int32_t dirtyX, dirtyY, dirtyWidth, dirtyHeight;
    uint32_t presents;

    uint32_t layerMode;
    uint32_t reverse;         /* hiding or removing */
    uint32_t async;
    uint32_t layersFlag;      /* DisplayBGPicPartFX: make a layer */
    uint32_t forceRealtime;
    uint32_t noBorderFade;
    uint32_t bgpicEmu;
    cxObjectID emuBGPic;
    int32_t srcX, srcY;       /* BGPICPART: the part in the BGPic */
    int32_t posX, posY;       /* DisplayTransitionFX: "x", "y" (200000: not given) */

    /* Step state. */
    void *state;              /* the family's, allocated in phase 0, freed by the engine */
    int32_t phase;
    int32_t counter;          /* 0-based step counter */
    int32_t steps;            /* set in phase 0 */
    uint32_t noPresent;       /* draw without presenting */
    int32_t fadeLevel;        /* the fading families' level 0..255, -1 none */

    /* Results for the command. */
    uint32_t restart;         /* the picture was resized: run the effect again */
    uint32_t aborted;
    uint32_t finished;

    struct cxEffectRun *run;  /* the engine's own bookkeeping */
} cxEffectInstance;

#ifdef __cplusplus
}
#endif
