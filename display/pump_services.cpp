// Placeholders for services that other parts of the display, event and
// sound libraries own. Each is weak so that the real definition replaces it.
#include "display/pump_services.h"

#include "display/display.h"

namespace {
}

extern "C" __attribute__((weak)) int ProcessPendingRefreshes(lua_State *) { return 0; }

extern "C" __attribute__((weak)) int RefreshWholeDisplay(lua_State *, cxDisplay *, uint32_t) { return 0; }

extern "C" __attribute__((weak)) int RealizeDisplay(lua_State *, cxDisplay *, uint32_t) { return 0; }

extern "C" __attribute__((weak)) int ResizeDisplay(lua_State *, cxDisplay *d, int32_t, int32_t, int32_t width,
                                                   int32_t height, uint32_t, int32_t, int32_t, uint32_t) {
    // Without scaling the record's size is the window's inner size.
    if (width > 0) d->width = width;
    if (height > 0) d->height = height;
    return 0;
}

extern "C" __attribute__((weak)) int IsDisplayMonitorFree(cxDisplay *d) {
    return d && !d->backfillWindow && !d->resourceMonitor;
}

extern "C" __attribute__((weak)) void ReleaseFinishedChannels(void) {}

