#include "display/events/event_sources.h"

namespace {
cxNetEventSource g_net = {};
}

extern "C" void SetNetEventSource(const cxNetEventSource *source) { g_net = source ? *source : cxNetEventSource{}; }

extern "C" const cxNetEventSource *GetNetEventSource(void) { return &g_net; }
