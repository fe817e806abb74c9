// Payloads carried by queued events.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;

/* Frees the payload that an event of the given type owns. Called for every
   event that the queue drops; a null payload is allowed. */
void FreeEventData(lua_State *L, uint32_t type, void *data);

#ifdef __cplusplus
}
#endif
