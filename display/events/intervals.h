// Intervals and timeouts: script functions run periodically or once after a
// delay. The platform timer list times them, or a timer adapter plug-in
// when one is registered; the dispatcher fires them on the main thread.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_OBJECT_INTERVAL 41
#define CX_OBJECT_TIMEOUT 42

/* One interval or timeout (both lists use the same record). */
typedef struct cxInterval {
    cxObjectHeader header;
    int32_t function;  /* registry reference, -1 for a plug-in's interval */
    uint32_t milliseconds;
    int32_t userData;  /* registry reference, -1 = none */
    void *adapterTimer; /* the timer adapter's handle; null on the platform list */
} cxInterval;
typedef cxInterval cxTimeout;

/* Registers both object lists (library start). */
void InitIntervals(void);
/* Releases and frees every interval and timeout (library clean-up). */
void FreeIntervals(lua_State *L);

/* Make a record and start its timer. Unless native (a plug-in's timer
   without script function or user data), the function is argument 2 of
   the running command and the user data its argument 4 when given. A
   number ID replaces the record of that number. 0 or an error code; a
   failed start leaves no record. */
int AddInterval(lua_State *L, cxObjectID id, uint32_t ms, int native);
int AddTimeout(lua_State *L, cxObjectID id, uint32_t ms, int native);
int FindInterval(cxObjectID id, cxInterval **out);
int FindTimeout(cxObjectID id, cxTimeout **out);
int RemoveInterval(lua_State *L, cxObjectID id);
int RemoveTimeout(lua_State *L, cxObjectID id);

/* What a timer adapter calls (through an internal function event, on the
   main thread) when one of its timers fires: runs the interval's handler
   at once or fires the timeout. 0 or the handler's error. */
int FireAdapterTimer(lua_State *L, void *handle);

int CmdSetInterval(lua_State *L);
int CmdClearInterval(lua_State *L);
int CmdChangeInterval(lua_State *L);
int CmdSetTimeout(lua_State *L);
int CmdClearTimeout(lua_State *L);

#ifdef __cplusplus
}
#endif
