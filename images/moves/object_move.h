// The move engine: an object (a brush, anim, text object, layer or sprite,
// or the picture of a transition effect) taken from a start point to an end
// point along a move path (images/moves/move_path.h), one step a display
// frame: inside the command (the event pump turns between steps), as an
// asynchronous draw the display advances, or step by step by a caller
// (the effect mode of the scroll transitions).
//
// Without layers an object is drawn into the display's picture over a
// saved copy of the background: each step puts back what lay under its
// last place and draws it at the next, so that the picture ends as if it
// had been drawn at the end point only. A layer moves with the layers
// library's position update; a sprite is shown at each place.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Object kinds of a move. */
#define CX_MOVE_OBJECT_BRUSH 3
#define CX_MOVE_OBJECT_ANIM 4
#define CX_MOVE_OBJECT_PICTURE 7 /* the effect mode's object: a bitmap, or a layer with CX_MOVE_THROUGH_LAYERS */
#define CX_MOVE_OBJECT_TEXT 8
#define CX_MOVE_OBJECT_LAYER 22
#define CX_MOVE_OBJECT_SPRITE 32

/* Flags of a move. */
#define CX_MOVE_THROUGH_LAYERS 64u /* the object is a layer (kind 7) */

/* The speed constants moves share with anims and effects. */
#define CX_SPEED_NORMAL (-1)
#define CX_SPEED_FAST (-2)
#define CX_SPEED_SLOW (-3)
#define CX_SPEED_DEFAULT (-4)

typedef struct cxObjectMove cxObjectMove;
struct cxMoveState;

/* The move record. Zero it, fill the inputs, hand it to RunObjectMove. */
struct cxObjectMove {
    lua_State *L;
    int32_t kind;                 /* CX_MOVE_OBJECT_* */
    cxObjectID id;                /* brushes, anims, text objects, sprites */
    int32_t layerPosition;        /* layers (kind 22): 1-based, on the layers' output BGPic */
    void *layer;                  /* kind 7 with CX_MOVE_THROUGH_LAYERS: the layer (cxLayer *) */
    cxBitmap *bitmap, *mask, *alpha; /* kind 7 otherwise: the picture (not owned; mask and alpha may be null) */
    int32_t width, height;        /* kind 7: the object's size */
    /* Start and end: numbers or special coordinates (#CENTER, #LEFTOUT,
       ...), resolved against the object's size and the display's. */
    int32_t x1, y1, x2, y2;
    int32_t fx;                   /* path shape (move_path.h) */
    int32_t speed;                /* pixels a step or a speed constant; others below 1: ERR_WRONGUSAGE */
    int32_t animSpeed;            /* anims and sprites: a speed constant or n x 20 ms a frame */
    uint32_t async;               /* run as an asynchronous draw */
    uint32_t flags;               /* CX_MOVE_THROUGH_LAYERS */
    uint32_t effect;              /* the effect mode (see RunObjectMove) */

    /* Out. */
    void *handle;                 /* an asynchronous move's draw (the script's handle) */
    /* The effect mode's operations. step moves the object one step and
       sets *done when it has reached the end point; 0 or an error. free
       gives back the locks and work bitmaps of the move (flag: reserved,
       0) and frees the record itself only when the effect flag is clear. */
    int (*step)(cxObjectMove *move, int *done);
    void (*free)(cxObjectMove *move, int flag);

    struct cxMoveState *state;    /* the engine's */
};

/* Runs a move. Without the effect flag the record must come from calloc:
   the engine owns it from here on (errors included) and frees it when the
   move ends; a synchronous move returns when the object has arrived (or a
   quit ended the run: 0), an asynchronous one at once with handle set.
   Refusals before anything is drawn: redirected output (1056, 1229, 1339,
   1082, 1147, 1167; synchronous moves), a sprite with layers on (1162), a
   layer with layers off (1078) or out of range (1081), a speed below 1
   (1055), the object's lookup, and 1522 when the background copy cannot
   be made. A start equal to the end returns at once.

   With the effect flag (the scroll transitions): the caller owns the
   record; no output checks, no loop, and the record is not freed on
   failure. The points are resolved (a start equal to the end is put 10
   pixels left of and above it), the path is set up, a layer is put at the
   start point, and step and free are stored for the caller, who calls step
   once a frame and free at its end. 0 or an error. */
int RunObjectMove(cxObjectMove *move);

/* Tests: a function told each position a move shows its object at (null
   removes it). */
typedef void (*cxMoveObserver)(void *user, int32_t x, int32_t y);
void SetMoveObserver(cxMoveObserver observer, void *user);

#ifdef __cplusplus
}
#endif
