// Asynchronous draws (kind 37): work that draws one frame at a time on a
// display (anims played asynchronously, moves, effects), kept in a list
// per display, stepped once per display frame and freed with the display.
// Scripts never name them; their owners keep the handle.
//
// Callbacks of a record (every one may be null):
//   frame(L, draw, &done)   draws one frame; sets done at the last. 0 or
//                           an error (the draw then ends).
//   finish(L, draw)         after the last frame.
//   release(draw)           frees the owner's user data; the record
//                           itself is freed by the registry.
//   control(draw, code, object) -> answer: the registry's questions and
//                           notes (codes below).
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_OBJ_ASYNCDRAW 37

/* Control codes. */
#define CX_ASYNC_LAYER_REPLACED 0 /* a layer is replaced: object points to {old, new} (cxLayer *[2]); answer 0 or an error */
#define CX_ASYNC_IMAGES_REPLACED 1 /* the object's images were replaced */
#define CX_ASYNC_STEPS 2           /* answer the number of steps */
#define CX_ASYNC_STEP 3            /* answer the current step */
#define CX_ASYNC_SEEK 4            /* go to the step given as the object (an intptr_t); answer 0 or an error */
#define CX_ASYNC_REFRESH 5         /* show what it animates again */
#define CX_ASYNC_ANIMATES 6        /* answer 1 when the draw animates the object */
#define CX_ASYNC_NOPRESENT 8       /* object non-null: draw without presenting, null: present again */

struct cxAsyncDraw;
typedef int (*cxAsyncFrameFunc)(lua_State *L, struct cxAsyncDraw *draw, int *done);
typedef void (*cxAsyncFinishFunc)(lua_State *L, struct cxAsyncDraw *draw);
typedef void (*cxAsyncReleaseFunc)(struct cxAsyncDraw *draw);
typedef intptr_t (*cxAsyncControlFunc)(struct cxAsyncDraw *draw, int code, void *object);

typedef struct cxAsyncDraw {
    cxObjectHeader header; /* kind 37, automatic ID */
    cxDisplay *display;
    uint32_t flags;        /* the owner's */
    cxAsyncFrameFunc frame;
    cxAsyncFinishFunc finish;
    cxAsyncReleaseFunc release;
    cxAsyncControlFunc control;
    void *userData;
    uint32_t done;         /* the last frame was drawn */
    uint32_t running;      /* inside a callback: freeing waits for its end */
    uint32_t freeWhenDone; /* freed when the running callback returns */
} cxAsyncDraw;

/* Appends a record to the current display's list. 0, ERR_MEM, or
   ERR_FINDDISPLAY without a current display. */
int CreateAsyncDraw(uint32_t flags, cxAsyncFrameFunc frame, cxAsyncFinishFunc finish, cxAsyncReleaseFunc release,
                    cxAsyncControlFunc control, void *userData, cxAsyncDraw **out);
/* One frame; with *done set afterwards the finish callback has run. 0 or
   the frame's error. */
int RunAsyncDrawFrame(lua_State *L, cxAsyncDraw *draw, int *done);
/* Removes and frees a record (its release callback runs). */
void FreeAsyncDraw(lua_State *L, cxAsyncDraw *draw);
/* One frame of every record of the display, in order; finished and failed
   ones are freed. Records made or freed meanwhile are safe. */
void RunDisplayAsyncDraws(lua_State *L, cxDisplay *d);
/* 1 when some record answers CX_ASYNC_ANIMATES for the object. */
int IsAsyncDrawObject(const void *object);
/* Sends a code to every record; the first non-zero answer is returned. */
intptr_t NotifyAsyncDraws(int code, void *object);
/* 1 when a record belongs to the display. */
int HasAsyncDrawOnDisplay(const cxDisplay *d);
/* Frees the display's records (null: every record). */
void FreeAllAsyncDraws(lua_State *L, cxDisplay *d);
/* 1 while the record is registered (not freed). */
int IsAsyncDrawAlive(const cxAsyncDraw *draw);

#ifdef __cplusplus
}
#endif
