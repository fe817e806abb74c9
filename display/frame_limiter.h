// The frame-rate limiter the player installs (SetFrameLimiter): a synced
// frame (Flip with sync, waits for the display's next frame) waits until
// one refresh of the display's monitor has passed since the last one, so
// animations keep the monitor's pace instead of the machine's.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The rate when the monitor's is not known. */
#define CX_DEFAULT_REFRESH_HZ 60.0

/* One frame's pacing, in microseconds of the monotonic clock: the frame
   after last (0: none yet) is due an interval later. Gives the moment to
   sleep until (0: none) and the frame's own time. A frame late by less than
   an interval keeps the cadence; one later than that starts it afresh. */
void PaceFrame(int64_t last, int64_t now, int64_t interval, int64_t *sleepUntil, int64_t *frame);

/* The limiter: paces d to its monitor's refresh rate (asked again every
   few seconds; CX_DEFAULT_REFRESH_HZ when unknown). */
void LimitFrameRate(lua_State *L, cxDisplay *d, int force);

#ifdef __cplusplus
}
#endif
