// The event queue: the one channel by which producers on any thread hand
// input to the main thread.
#pragma once

#include <stdint.h>

#include "platform/os_time.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;
struct cxDisplay;

/* One queued event. */
typedef struct cxEvent {
    struct cxEvent *next; /* younger event, null at the tail */
    uint32_t type;        /* 0: dead event, skipped by the dispatcher */
    uint32_t a, b, c;
    /* Posting moment on the monotonic clock: ages are measured on it, so a
       step of the wall clock cannot age out the queue. */
    cxOsTimeVal posted;
    /* The type the event was posted with; a coalesced type-5 event keeps it
       so that its payload is still freed by its own type. */
    uint32_t postedType;
    double postedSeconds; /* wall-clock time of posting, the script's time stamp */
    struct cxDisplay *display;
    void *data; /* payload owned by the event */
} cxEvent;

/* What a reader receives for one event. */
typedef struct cxEventInfo {
    struct cxDisplay *display; /* word 0 */
    uint32_t type;             /* word 1 */
    uint32_t a, b, c;          /* words 2-4 */
    uint32_t unused[9];        /* words 5-13 */
    uint32_t keyB, keyC;       /* words 14-15: b and c for types 3, 28 and 29 */
    double time;               /* words 16-17 */
    void *data;                /* word 18 */
} cxEventInfo;

/* The display library's say on what the queue holds, registered at its
   start. The filter answers 1 when a size event (type 5) of the display
   must not be queued: its size changes come from a presentation mode, not
   from the user. The freer releases the payload an event of the given type
   owns, for every event the queue drops; without one, payloads are
   released with free(). Either may be called from any thread. */
typedef int (*cxSizeEventFilter)(const struct cxDisplay *display);
typedef void (*cxEventDataFreer)(lua_State *L, uint32_t type, void *data);
void SetSizeEventFilter(cxSizeEventFilter filter);
void SetEventDataFreer(cxEventDataFreer freer);

#define CX_EVENT_DROP_ALL 0xFFFFFFFFu
#define CX_EVENT_AGE_OFF 0xFFFFFFFFu

/* Creates the queue mutex, enables the queue and records the start of the
   run. 0, or ERR_SEMAPHORE when the mutex cannot be made. */
int InitKernel(void);
/* Drops every event, disables the queue and frees its mutex (clean-up). */
void FreeEventQueue(lua_State *L);
/* The wall-clock start of the run recorded by InitKernel. */
void GetKernelStartTime(cxOsTimeVal *out);

/* 1 when queued, 0 when the queue is missing or disabled or the event is
   refused, -1 when memory runs out. Any thread. */
int PostEvent(struct cxDisplay *display, uint32_t type, uint32_t a, uint32_t b, uint32_t c, void *data);

/* The queue mutex (recursive). The dispatcher holds it while it walks the
   queue with FetchEvent and removes what it served. */
void LockEventQueue(void);
void UnlockEventQueue(void);

/* index + 1 when the index-th event from the head exists (filling info),
   else 0. With take non-zero the payload passes to the caller. Takes the
   queue mutex itself too, so it is safe with or without the caller's lock. */
uint32_t FetchEvent(lua_State *L, uint32_t index, cxEventInfo *info, int take);
/* Removes events 0..last from the head (all with CX_EVENT_DROP_ALL), freeing
   each payload by its type. The mutex is taken only when lock is non-zero. */
void DropEvents(lua_State *L, uint32_t last, int lock);
/* Clears the display of every queued event of a display being closed. */
void ForgetDisplayEvents(struct cxDisplay *display);
/* Drops every event older than the age limit, oldest first. */
void ExpireEvents(lua_State *L);

/* The age limit in milliseconds; CX_EVENT_AGE_OFF switches age-out off. */
void SetEventAgeLimit(uint32_t ms);
uint32_t GetEventAgeLimit(void);

/* Replaces the monotonic clock that ages are measured on (tests); null puts
   the platform's clock back. */
typedef void (*cxEventClock)(cxOsTimeVal *out);
void SetEventQueueClock(cxEventClock clock);

#ifdef __cplusplus
}
#endif
