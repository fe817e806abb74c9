// What the dispatcher polls, in its fixed order: the timer phases of
// intervals, timeouts and plug-in timers, the legacy label passes, and the
// event sources of layers above the display layer (the layer that owns the
// objects fills the record at start-up, so nothing here includes upward).
// The sources include this header and the dispatcher's; the dispatcher
// includes none of theirs.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Intervals and timeouts (intervals.cpp). */
/* The dispatcher's timer phase: fills *slot with the handler of a fired
   platform timer of that kind and key and answers 1; 0 when no record
   (or, for an interval, no function) belongs to it. A timeout's record is
   unlinked and freed first; its references pass to *slot and the caller
   releases them after the call (ReleaseFiredTimeout). */
int TakeFiredTimer(lua_State *L, int kind, cxObjectID key, int32_t *function, int32_t *userData);
void ReleaseFiredTimeout(lua_State *L, int32_t function, int32_t userData);

/* Plug-in timers (plugin_timers.cpp). */
/* The dispatcher's timer phase: when the fired platform timer of that kind
   and key belongs to a plug-in timer, calls its callback (a one-shot timer
   is forgotten first) and sets *served; else leaves *served 0. 0 or the
   callback's error. */
int ServePluginTimer(lua_State *L, int kind, cxObjectID key, int *served);

/* Legacy event labels (legacy_events.cpp). */
/* Nonzero while any entry exists. */
int HasLegacyEvents(void);
/* The pass over the queued events (the caller holds the queue mutex):
   from the oldest event, each enabled entry in list order; the first
   click, key press or window event whose label the script has selects
   it: the events up to and including it are dropped and 1 is returned.
   0 when nothing matched (the queue is left as it was). */
int MatchQueuedLegacyLabels(lua_State *L);
/* The pass over the pointer, once the queue is empty: the first enabled
   ONBUTTONOVER entry under the current display's pointer becomes the
   entry under the pointer, and when its label exists it is selected (1).
   0 when none was selected or the current display is not open. */
int MatchLegacyOverLabel(lua_State *L);

/* The network library's checks. Each answers 1 for the first object with
   something to report, with its ID (a server also gives the new client's
   ID), else 0. A null entry counts as "nothing to report". */
typedef struct cxNetEventSource {
    int (*checkUdpData)(cxObjectID *object);
    int (*checkServerConnect)(cxObjectID *server, cxObjectID *client);
    int (*checkConnectionData)(cxObjectID *object);
    int (*checkConnectionClose)(cxObjectID *object);
} cxNetEventSource;

/* The sound library's music callbacks. query answers the frames that a
   playing callback music wants from its "FillMusicBuffer" handler (0 when
   none does), with the music's ID and its stream position; inCallback is
   told when such a handler call begins (1) and ends (0). */
typedef uint32_t (*cxMusicFillQuery)(cxObjectID *music, uint32_t *position);
typedef void (*cxMusicCallbackFlag)(int on);
void SetMusicFillSource(cxMusicFillQuery query, cxMusicCallbackFlag inCallback);
/* Calls the "FillMusicBuffer" handler (message type 20: "action", "id",
   "samples", "count") with the in-callback flag raised. msg may be null;
   keepResults as CallEventCallback. 0 when no handler is installed, else
   the handler's result. */
struct cxEventMessage;
int CallFillMusicBufferHandler(lua_State *L, struct cxEventMessage *msg, cxObjectID music, uint32_t samples,
                               uint32_t count, int keepResults);

/* Installs the network checks (copied); null removes them. */
void SetNetEventSource(const cxNetEventSource *source);
/* The installed checks; every entry null when none are installed. */
const cxNetEventSource *GetNetEventSource(void);

#ifdef __cplusplus
}
#endif
