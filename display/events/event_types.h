// Event types that plug-ins and back-ends register: each has a name that
// scripts install a handler under, a number from 32 up that events of the
// type are posted with, and hooks that fill the handler's message, push
// its arguments or free an event's data.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_FIRST_EVENT_TYPE 32

struct cxEventType;
/* kind 0: adds fields to the message table on the stack top. */
typedef void (*cxEventFillHook)(lua_State *L, uint32_t number, void *data, struct cxEventType *type);
/* kind 1: pushes the handler's arguments (the handler is already pushed)
   and answers their count, or -code for an error. */
typedef int (*cxEventPushHook)(lua_State *L, uint32_t number, void *data, struct cxEventType *type);
typedef void (*cxEventAfterHook)(lua_State *L, uint32_t number, void *data, struct cxEventType *type);
typedef void (*cxEventFreeHook)(lua_State *L, uint32_t number, void *data);

typedef struct cxEventType {
    struct cxEventType *next;
    const char *name; /* the copy stored behind the record */
    uint32_t number;
    uint32_t kind; /* 0 fill hook, 1 push/after/free hooks */
    cxHandlerSlot slot;
    cxEventFillHook fill;
    cxEventPushHook push;
    cxEventAfterHook after;
    cxEventFreeHook free;
    uint32_t foreign; /* hooks reached only through the plug-in stub */
} cxEventType;

/* Registers a type. hooks points at the hook functions, each one pointer
   wide (on a 64-bit host a function cannot fit a 32-bit word): kind 0
   one (fill), kind 1 three (push, after-call, free). Answers the number
   (32 up), or 0 when refused: a name of a built-in handler or of a
   registered type (without regard to case), a kind above 1, no hooks, or
   no memory. Main thread. */
int RegisterEventType(const char *name, uint32_t kind, const uint32_t *hooks, uint32_t foreign);
/* The number of the type of that name (without regard to case), or -1. A
   tag 1 in tags receives the type's function reference (int32_t *). */
int FindEventType(const char *name, cxTagItem *tags);
/* The handler slot of the named type, or null. */
cxHandlerSlot *FindEventTypeSlot(const char *name);
cxEventType *GetEventType(uint32_t number);
cxEventType *GetFirstEventType(void);
/* Builds a type-21 message for the registered type and calls its handler
   at once (main thread). 0 when no handler ran, else the call's result.
   The data is freed afterwards. */
int PostRegisteredEvent(lua_State *L, int number, void *data);
/* Frees an event's data by its type's free hook (kind 1); kind 0 data is
   the poster's. */
void FreeRegisteredEventData(lua_State *L, uint32_t number, void *data);
/* Releases the handlers and frees every type (clean-up). */
void FreeEventTypes(lua_State *L);

#ifdef __cplusplus
}
#endif
