// Timers that plug-ins start through their API table: periodic or one-shot
// platform timers (the list that times intervals) whose callbacks the
// dispatcher calls on the main thread. Handles are serial numbers, never
// reused in a run, so a stale handle can name no other timer.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The callback (cxPluginTimerFunc) gets the main state, the timer's handle
   and the user data given when it was added; it answers 0 or an error code
   (1000 or more) that the dispatcher returns as it returns a handler's
   error. */
typedef cxPluginTimerFunc cxPluginTimerCallback;

/* Starts a timer of ms milliseconds (1 or more), periodic or one-shot.
   owner names what the callback belongs to (a loaded library), so that
   FreePluginTimersOf can end a plug-in's timers when it unloads; it may be
   null. Null when ms is below 1, the callback is null, or the platform
   timer cannot start. Main thread. */
void *AddPluginTimer(int ms, int oneShot, cxPluginTimerCallback callback, void *userData, const void *owner);
/* Stops and forgets a live timer. Null, a fired one-shot timer's handle, a
   handle freed before and any value that was never a handle do nothing.
   Safe from inside the timer's own callback. Main thread. */
void FreePluginTimer(void *handle);
/* Frees every timer whose owner is owner (null: every timer). */
void FreePluginTimersOf(const void *owner);
/* The number of live timers (owner null: all of them). */
int CountPluginTimers(const void *owner);

#ifdef __cplusplus
}
#endif
