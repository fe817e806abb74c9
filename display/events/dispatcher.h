// The event dispatcher: turns what the back-ends left behind (pointer
// movement, network activity, the queued events) into calls of the
// script's handlers, one handler per call, resuming where it stopped.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_GLOBAL_HANDLER_SLOTS 13
enum {
    CX_GSLOT_ONSAMPLELOOP = 0, CX_GSLOT_ONSAMPLEEND, CX_GSLOT_ONMUSICEND, CX_GSLOT_ONAREXX,
    CX_GSLOT_ONCONNECT, CX_GSLOT_ONDISCONNECT, CX_GSLOT_ONRECEIVEDATA, CX_GSLOT_ONRECEIVEUDPDATA,
    CX_GSLOT_ONVIDEOEND, CX_GSLOT_ONUSERMESSAGE, CX_GSLOT_FILLMUSICBUFFER, CX_GSLOT_RUNFINISHED,
    CX_GSLOT_DIRECTORYCHANGED
};

/* Lower-case handler names, by slot index. */
extern const char *const kDisplayHandlerNames[CX_DISPLAY_HANDLER_SLOTS];
extern const char *const kGlobalHandlerNames[CX_GLOBAL_HANDLER_SLOTS];

/* The event library's global slots. */
cxHandlerSlot *GetGlobalHandler(int index);
/* Sets every global slot to {-1, -1}. */
void ResetGlobalHandlers(void);

/* Message types: what a handler's table holds. */
enum {
    CX_MSG_BUTTON = 1, CX_MSG_KEY = 2, CX_MSG_PLAIN = 3, CX_MSG_SIZE = 4, CX_MSG_MOVE = 5, CX_MSG_MOUSEMOVE = 8,
    CX_MSG_MODESWITCH = 12, CX_MSG_DROPFILE = 13, CX_MSG_CONNECT = 14, CX_MSG_DISCONNECT = 15,
    CX_MSG_RECEIVEDATA = 16, CX_MSG_RECEIVEUDP = 17, CX_MSG_PLUGIN = 21, CX_MSG_MENUSELECT = 24, CX_MSG_BARE = 22,
    CX_MSG_NOTICE = 9, CX_MSG_RUNFINISHED = 25, CX_MSG_DIRCHANGED = 26, CX_MSG_FILLMUSICBUFFER = 20
};

struct cxEventType;

/* One handler call. */
typedef struct cxEventMessage {
    cxDisplay *display;
    uint32_t type; /* 0: no handler ran */
    const cxHandlerSlot *slot;
    int32_t x, y, third;
    char action[64];
    char key[32];
    const char *stringData;
    cxObjectID id;     /* the object the event came from */
    cxObjectID client; /* OnConnect: the new connection */
    double time;       /* the event's own time (seconds of the wall clock) */
    int32_t nresults;  /* values the handler returned (results kept) */
    int32_t starts;                 /* type 9: the pass */
    const char *args;               /* type 25: the program's arguments */
    int32_t noticeUserData;         /* types 25, 26: "runuserdata", "monitoruserdata" */
    const struct cxBGPicButton *button; /* type 1: the button */
    struct cxEventType *pluginType; /* type 21: the registered type */
    void *pluginData;               /* type 21: the event's data */
} cxEventMessage;

/* Builds the handler's table and calls it under protection, the callback
   nesting counter raised. keepResults 0: the table copy and all results
   stay on the stack (the table below them) and msg->nresults counts the
   results; else nothing stays. live: "timestamp" is now, else the event's
   time. 0, the handler's error, or ERR_USERABORT when the run is ending. */
int CallEventCallback(lua_State *L, cxEventMessage *msg, int keepResults, int live);

/* The payload of an internal function event (type 24): called by the
   dispatcher on the main thread with the queue mutex released. */
typedef struct cxEventFunction {
    int (*function)(lua_State *L, void *argument);
    void *argument;
} cxEventFunction;

/* Runs at most one handler. 0 when the cycle ended with nothing (more) to
   do, a handler's error, or ERR_USERABORT for the end-of-run event;
   msg->type is nonzero when a handler ran (its table and results are then
   on the stack as with keepResults 0). *stop (may be null) becomes 1 after
   an internal function event ran. -1 when a legacy label was selected
   (display/events/legacy_events.h: the caller turns it into the jump); the
   ONBUTTONOVER labels are not tried when fromWhileMouseOn is set. */
int DispatchEvents(lua_State *L, uint32_t fromWhileMouseOn, uint32_t *stop, cxEventMessage *msg);

/* Message types of fired timers. */
enum { CX_MSG_INTERVAL = 6, CX_MSG_TIMEOUT = 7 };

/* Calls an interval's (type 6) or timeout's (type 7) handler with its ID;
   keepResults and live as CallEventCallback. msg (may be null) receives
   the message. */
int CallTimerHandler(lua_State *L, cxEventMessage *msg, uint32_t type, cxObjectID id, const cxHandlerSlot *slot,
                     int keepResults, int live);

/* A platform timer is being removed: when the dispatcher's walk of the
   timer list stands at it, the walk moves on to next. */
struct cxOsTimer;
void SkipDispatcherTimer(const struct cxOsTimer *removed, struct cxOsTimer *next);

/* Nonzero while a dispatch cycle is under way. */
uint32_t GetDispatchPhase(void);
/* Ends the current cycle (BreakEventHandler; clean-up). */
void ResetDispatcher(void);

/* The key text of a key event: names for the named keys, else the
   character in UTF-8 (a code that is no Unicode scalar value gives ""). */
void KeyEventText(uint32_t code, int raw, char out[32]);

#ifdef __cplusplus
}
#endif
