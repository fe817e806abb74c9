// Threads, recursive mutexes and condition variables.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Recursive mutex. */
typedef struct cxOsMutex cxOsMutex;

/* Null when out of memory or when the mutex cannot be made. */
cxOsMutex *OsCreateMutex(void);
void OsFreeMutex(cxOsMutex *m);
void OsLockMutex(cxOsMutex *m);
void OsUnlockMutex(cxOsMutex *m);

/* A condition with a sticky "signalled" flag, so that a signal given before
   the wait is not lost. Always used with one cxOsMutex that the caller holds
   exactly once (not recursively) around waits and signals. */
typedef struct cxOsCondition cxOsCondition;

cxOsCondition *OsCreateCondition(void);
/* Waits until signalled, then clears the flag. The mutex must be held. The
   third argument is unused. Returns 1. */
int OsWaitCondition(cxOsCondition *c, cxOsMutex *held, uint32_t unused);
/* As OsWaitCondition for at most ms milliseconds (on the monotonic clock).
   1 when signalled (flag cleared), 0 on time-out. */
int OsWaitConditionTimed(cxOsCondition *c, cxOsMutex *held, uint32_t ms);
/* Sets the flag and wakes the waiters. The caller holds the paired mutex. */
void OsSignalCondition(cxOsCondition *c);
void OsFreeCondition(cxOsCondition *c);

/* Threads. The body receives an argument from which it fetches its record
   with OsGetThreadHandle; it reports its start with OsSignalThreadStarted,
   polls OsCheckThreadQuit, and at its end sleeps in OsWaitThreadEnd until
   the owner's OsEndThread releases and joins it. */
typedef struct cxOsThread cxOsThread;
typedef void (*cxOsThreadEntry)(void *argument);

/* Starts a thread and waits until it reports its start (or ends). A stack
   size of 0 keeps the default; a priority above 0 asks for SCHED_RR with that
   priority where the process may use it, and the thread runs with normal
   scheduling otherwise. Null when the thread cannot be made. */
cxOsThread *OsCreateThread(const char *name, cxOsThreadEntry entry, void *userData, uint32_t unused,
                           uint32_t stackSize, int priority);
cxOsThread *OsGetThreadHandle(void *argument);
/* Per-thread set-up: the thread leaves process signals to the main thread. */
void OsPrepareThread(void);
void *OsGetThreadUserData(cxOsThread *t);
void OsSignalThreadStarted(cxOsThread *t);
void OsSetThreadInitResult(cxOsThread *t, int result);
int OsGetThreadInitResult(cxOsThread *t);
/* Non-zero once the owner asked the thread to quit. */
int OsCheckThreadQuit(cxOsThread *t);
void OsRequestThreadQuit(cxOsThread *t);
/* Called by the body last: blocks until OsEndThread. */
void OsWaitThreadEnd(cxOsThread *t);
/* Asks the thread to quit, sets its end flag, joins it and frees the record. */
void OsEndThread(cxOsThread *t);

#ifdef __cplusplus
}
#endif
