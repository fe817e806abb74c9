// The platform timer list: periodic and one-shot timers keyed by an object
// ID pair, fired by a timer thread and collected by the main thread.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;
typedef struct cxOsTimer cxOsTimer;

/* OsControlTimer operations. */
enum {
    CX_TIMER_ADD_PERIODIC = 0,
    CX_TIMER_ADD_ONESHOT = 1,
    CX_TIMER_REMOVE_INTERVAL = 2,
    CX_TIMER_REMOVE_TIMEOUT = 3,
    CX_TIMER_CHANGE_PERIOD = 4
};

/* Timer kinds, and the kinds OsTakeTimerEvent reports. */
enum { CX_TIMER_INTERVAL = 0, CX_TIMER_TIMEOUT = 1, CX_TIMER_NOT_FIRED = 9 };

/* 0 or an error code: ERR_MEM, ERR_TIMER when the timer thread cannot start
   or a period change names no interval, ERR_WRONGUSAGE for an unknown op.
   Removing a timer that does not exist does nothing. */
int OsControlTimer(int op, int32_t keyNumber, void *keyPointer, uint32_t ms);
/* The timer of that kind and key, or null; *next (when given) receives its
   successor in the list. */
cxOsTimer *OsFindTimer(int kind, int32_t keyNumber, void *keyPointer, cxOsTimer **next);
/* Looks at one timer (null: the head of the list) and returns its successor.
   *kind: CX_TIMER_INTERVAL when an interval fired (its fired state is
   cleared), CX_TIMER_TIMEOUT when a timeout fired (the record is freed), else
   CX_TIMER_NOT_FIRED. The key goes to the non-null out arguments. A record
   that is no longer in the list ends the walk (null, nothing fired). */
cxOsTimer *OsTakeTimerEvent(cxOsTimer *record, int *kind, int32_t *keyNumber, void **keyPointer);

/* The shared 20 ms tick: while at least one claim holds, a periodic timer
   wakes the main thread every 20 ms. Its key belongs to no script object, so
   the dispatcher skips it. 0 or an error code. */
int OsAcquireTickInterval(lua_State *L, uint32_t user);
int OsReleaseTickInterval(lua_State *L, uint32_t user);
/* The tick's key, for callers that want to recognise it. */
void *OsGetTickKey(void);

/* Stops the timer thread and frees every timer (platform shutdown). */
void OsFreeTimers(void);

#ifdef __cplusplus
}
#endif
