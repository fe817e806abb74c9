// One turn of the X11 back-end's event pump.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;

/* Drains the wake-up pipe and the X events of every connection into the
   event queue. 1 when the run is to end (with an error code in *code, or 0
   when the user ended it), else 0. Main thread only. */
int OsHandleEvents(lua_State *L, int *code);

/* The time one turn may spend on one X connection, in microseconds. */
#define CX_PUMP_BUDGET_US 50000

#ifdef __cplusplus
}
#endif
