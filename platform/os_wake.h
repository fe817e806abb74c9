// Waking the main thread: the wake-up pipe and the main thread's one wait.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;

/* One message, always written and read whole. It is 16 bytes so that an
   argument that is a pointer travels whole on 64-bit machines too (a 16-byte
   write is far below the pipe's atomic write size). */
typedef struct cxOsWakeMessage {
    uint32_t type;
    uint32_t reserved;
    uint64_t argument;
} cxOsWakeMessage;

enum {
    CX_WAKE_PLAIN = 0,     /* nothing to do beyond waking */
    CX_WAKE_TIMER = 1,     /* timers fired: their state is in the timer list */
    CX_WAKE_POINTER = 2,   /* the pointer moved; argument: the cxOsXConnection */
    CX_WAKE_END_RELAY = 3  /* ends the timer relay thread of a display adapter */
};

/* Creates the process's non-blocking pipe once; copies the ends to the
   non-null arguments. 1 on success, 0 when pipe() fails. */
int OsCreateWakePipe(int *readEnd, int *writeEnd);
void OsCloseWakePipe(void);
/* Before the first display opens: the pipe. 0 or ERR_PIPE. */
int OsInitDisplaySystem(lua_State *L);

/* One write of one message; returns what write() returned (-1 and nothing
   sent when the pipe is full or missing). Any thread. */
long OsPostWakeMessage(uint32_t type, uintptr_t argument);
/* Reads one message from the pipe without blocking: 1 when one was read. */
int OsReadWakeMessage(cxOsWakeMessage *out);

/* A display adapter that has its own event loop is asked first; its hook
   answers non-zero when it woke the loop itself. Null removes the hook. */
typedef int (*cxForceEventLoopHook)(void);
void OsSetForceEventLoopHook(cxForceEventLoopHook hook);
/* Wakes the main thread: the adapter's hook, else the message {0, 0}. */
int OsWakeMainThread(void);
/* As OsWakeMainThread, posting the given type when no hook answers. */
int OsWakeMainThreadFor(uint32_t type);

/* Descriptors the wait watches besides the pipe (the X connections). Main
   thread only. */
void OsWatchDescriptor(int fd);
void OsUnwatchDescriptor(int fd);
/* Copies up to max watched descriptors to out and answers how many there
   are. Any thread. */
int OsCopyWatchedDescriptors(int *out, int max);

/* Descriptors that a layer above wants the wait to watch while they matter
   (the network library's sockets, while the script has handlers for them):
   the source writes up to max items and returns how many there are (the
   wait asks again with room for all when that is more than max), or -1
   when something is ready already, so that the wait returns at once. Main
   thread only; null removes it. */
typedef struct cxOsWaitItem {
    int fd;
    short events; /* poll() events: POLLIN, ... */
} cxOsWaitItem;
typedef int (*cxOsWaitSource)(cxOsWaitItem *items, int max);
void OsSetWaitSource(cxOsWaitSource source);

/* Set by the X11 pump when it left X events queued because its time slice
   ran out: the next wait then returns at once. Main thread only. */
void OsSetEventsPending(int pending);
int OsGetEventsPending(void);

/* Blocks the main thread until the pipe, a watched descriptor or one of the
   wait source's is ready; returns 0. Reads nothing. */
int OsWaitEvents(lua_State *L);

#ifdef __cplusplus
}
#endif
