// The event pump: one turn moves input from the back-end (a display adapter
// plug-in or the X11 back-end) into the event queue, and the wait blocks
// until the back-end has something. The player has no loop of its own:
// waiting commands, the script's wait loop and the virtual machine's line
// hook all come through here. The event library grows on this file (the
// dispatcher, WaitEvent and the input waits come with it).
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "platform/os_time.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of ProcessEvents; they are handed unchanged to the display
   adapter's HandleEvents hook. */
enum {
    CX_PUMP_LINEHOOK = 1, /* from the line hook: plug-in hooks and age-out first */
    CX_PUMP_WAITING = 2,  /* from a waiting command */
    CX_PUMP_CHECK = 4,    /* from CheckEvent/CheckEvents with an adapter */
    CX_PUMP_WAITEVENT = 8 /* from WaitEvent */
};

/* Queued events are aged out when more than this many whole seconds have
   passed since the last age-out. */
#define CX_PUMP_EXPIRY_SECONDS 9

/* One turn of the pump. 1 when the caller's wait must end: *code is then an
   error code to return, or 0 when the run is being ended by the user-abort
   flag; else 0. The user-abort flag is the kernel's (kernel tag 40,
   engine/runtime/kernel.h), which the virtual machine reads after each
   hook: an adapter's 1003 and the X11 back-end's quit set it. */
int ProcessEvents(lua_State *L, uint32_t flags, uint32_t ignored, int *code);

/* Blocks until the back-end has something: the display adapter's WaitEvents
   hook (its result is returned), else the platform's wait (0). *out, when
   given, receives the pass-through value (adapter) or the wait's result. */
int WaitForEvent(lua_State *L, uint32_t flags, uint32_t passThrough, uint32_t *out);

/* The virtual machine's line hook (install with LUA_MASKLINE, count 0). It
   runs on every script line, so it only turns the pump when something may
   be waiting: X events left queued by the last turn, or about
   CX_LINEHOOK_INTERVAL_MS milliseconds of a coarse monotonic clock since
   its last turn (the clock is read on every eighth line event; the wait is
   shortened by the clock's resolution, so that its steps do not stretch
   the interval, but kept at 1 ms or more). A turn is
   skipped while the script has disabled the line hook (kernel tag 33). */
#define CX_LINEHOOK_INTERVAL_MS 5
int EventLineHook(lua_State *L, lua_Debug *ar, int *code);
/* Makes the next line event turn the pump (after an event was posted from
   the main thread, for example). */
void RequestLineHookTurn(void);

/* The plug-in hooks of kind 1 run at the start of every line-hook turn; a
   non-zero result ends the caller's wait with that code. The plug-in
   manager installs the caller once plug-ins can install such hooks; null
   removes it. */
typedef int (*cxPluginHookCaller)(lua_State *L, int kind, intptr_t a, intptr_t b);
void SetPluginHookCaller(cxPluginHookCaller caller);

/* Runs at the start of every turn, before input is read: the layers
   library shows there what it put off (sprite moves). Null removes it. */
typedef void (*cxPumpTurnHook)(lua_State *L);
void SetPumpTurnHook(cxPumpTurnHook hook);

/* Tests: replaces the monotonic clock of the age-out check (null puts the
   platform's clock back) and forgets the time of the last age-out. */
typedef void (*cxPumpClock)(cxOsTimeVal *out);
void SetPumpClock(cxPumpClock clock);
void ResetEventPump(void);

#ifdef __cplusplus
}
#endif
