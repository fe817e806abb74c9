// Event sources of layers above the display layer. The dispatcher polls
// them in its fixed order; the layer that owns the objects fills the
// record at start-up, so nothing here includes upward.
#pragma once

#include "engine/runtime/objects.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The network library's checks. Each answers 1 for the first object with
   something to report, with its ID (a server also gives the new client's
   ID), else 0. A null entry counts as "nothing to report". */
typedef struct cxNetEventSource {
    int (*checkUdpData)(cxObjectID *object);
    int (*checkServerConnect)(cxObjectID *server, cxObjectID *client);
    int (*checkConnectionData)(cxObjectID *object);
    int (*checkConnectionClose)(cxObjectID *object);
} cxNetEventSource;

/* Installs the network checks (copied); null removes them. */
void SetNetEventSource(const cxNetEventSource *source);
/* The installed checks; every entry null when none are installed. */
const cxNetEventSource *GetNetEventSource(void);

#ifdef __cplusplus
}
#endif
