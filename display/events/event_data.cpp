#include "display/events/event_data.h"

#include <cstdlib>

#include "display/events/event_types.h"

// Every payload posted so far is one malloc'd block (the drop list of event
// 14, the records of the producers). Event types whose payload needs more
// than free() (plug-in event types with a free hook, function records) add
// their case here.
extern "C" void FreeEventData(lua_State *L, uint32_t type, void *data) {
    if (!data) return;
    if (type >= CX_FIRST_EVENT_TYPE) {
        FreeRegisteredEventData(L, type, data);
        return;
    }
    switch (type) {
    default:
        free(data);
        break;
    }
}
