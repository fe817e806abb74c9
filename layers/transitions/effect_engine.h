// The transition engine: runs one effect from a filled instance
// (effect_instance.h) on the current display, synchronously (a step per
// display frame, the event pump turning between steps) or attached to the
// display as an async draw that steps once per frame.
//
// The same engine drives an effect off screen, step by step, into an output
// bitmap (PrepareEffect, RunEffectStep, SeekEffect, ReleaseEffect): tests,
// tools and benchmarks use that road.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "layers/transitions/effect_instance.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Runs the effect of a command's instance (copied; the copy is the
   engine's). Returns the number of results pushed (1: an async effect's
   handle as light userdata, else 0) or an error code (1000 and above).
   instance->restart is set when the picture changed size meanwhile and
   the command should run the effect again. */
int RunTransitionEffect(cxEffectInstance *instance);

/* The option table of the effect commands into the instance: "type",
   "speed", "parameter", "undolevel", "dx", "dy", "layers",
   "forcerealtimelayers", "async", "noborderfade" (absent keys keep what
   the instance holds). Numbers saturate; an effect number that is not a
   number of 0..140 becomes invalid (the engine refuses it). */
void ReadFXOptions(lua_State *L, int table, cxEffectInstance *fx);

/* A random effect of 0..139 other than 113; restricted leaves out the
   effects that need a whole background. Drawn with drand48(). */
int32_t PickRandomEffect(int restricted);

/* Off screen. The caller fills: output (the bitmap drawn into), dx, dy
   (where the effect rectangle lies on it), width, height, newImage with
   newMask or newAlpha (ownsNew ... say who frees them), effect, speed,
   parameter, target (CX_FXTARGET_BGPIC: the new picture is never
   flattened), reverse and layerMode. PrepareEffect takes the mirrored
   effect of a reversed run, the old picture from the output, flattens a
   transparent new picture onto it (direct mode), makes the layer canvas
   (layer mode: the new picture shown, or for a reversed run hidden, by
   canvas and canvasAlpha) and runs phase 0. 0 or an error (ERR_WRONGUSAGE
   for an effect without a step function). */
int PrepareEffect(cxEffectInstance *fx);
/* One phase-1 step; its boxes are presented (counted in presents) unless
   the no-present flag is set. 0 or the step's error. */
int RunEffectStep(cxEffectInstance *fx, int *done);
/* Brings the effect to the state after step steps: effects that redraw a
   step do it at once; the others are rebuilt and replayed (force, or a
   step other than the current one). 0 or an error. */
int SeekEffect(cxEffectInstance *fx, int32_t step, int force);
/* Runs the clean-up and frees what the instance owns (the record itself
   stays the caller's). */
void ReleaseEffect(cxEffectInstance *fx, int normalEnd);

/* The event-pump turn and the frame wait of the synchronous loop; tests
   replace them (null puts the player's back). pump returns non-zero when
   the effect must stop, with *code an error to return or 0. */
typedef struct cxEffectLoopHooks {
    int (*pump)(lua_State *L, int *code);
    void (*waitFrame)(lua_State *L, cxDisplay *d);
} cxEffectLoopHooks;
void SetEffectLoopHooks(const cxEffectLoopHooks *hooks);

/* 1 while a synchronous BGPic transition runs. */
int IsTransitionRunning(void);

/* Installs the engine's hooks in the layer core; Remove takes them out. */
void InstallEffectHooks(void);
void RemoveEffectHooks(void);
/* At clean-up: every effect still attached to a display goes. */
void FreeAllEffects(lua_State *L);
/* The number of effects running, and the one running on a layer (null
   when none). */
int32_t CountRunningEffects(void);
const cxEffectInstance *FindLayerEffect(const cxLayer *layer);

#ifdef __cplusplus
}
#endif
