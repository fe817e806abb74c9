// The display library's side of the back-end hooks. Window updates queued by
// other threads, repaints and mode switches come with the display library's
// refresh and open code; until then these keep the record consistent.
#include "display/display_hooks.h"

#include "display/display.h"
#include "display/event_data.h"
#include "engine/events/event_queue.h"
#include "platform/x11/os_display.h"

namespace {

int ProcessPendingRefreshes(lua_State *) { return 0; }

int RefreshWholeDisplay(lua_State *, cxDisplay *, uint32_t) { return 0; }

int RealizeDisplay(lua_State *, cxDisplay *, uint32_t) { return 0; }

int ResizeDisplay(lua_State *, cxDisplay *d, int32_t, int32_t, int32_t width, int32_t height, uint32_t, int32_t,
                  int32_t, uint32_t) {
    // Without scaling the record's size is the window's inner size.
    if (width > 0) d->os.width = width;
    if (height > 0) d->os.height = height;
    return 0;
}

int IsDisplayMonitorFree(cxDisplay *d) { return d && !d->backfillWindow && !d->resourceMonitor; }

int HasHandler(const cxDisplay *d, int handler) {
    int slot;
    switch (handler) {
    case CX_OS_HANDLER_CLOSE: slot = CX_SLOT_CLOSEWINDOW; break;
    case CX_OS_HANDLER_DROP: slot = CX_SLOT_ONDROPFILE; break;
    case CX_OS_HANDLER_CLIPBOARD: slot = CX_SLOT_CLIPBOARDCHANGE; break;
    default: return 0;
    }
    return d && d->handlers[slot].function != -1;
}

// Size events of a display in one of its special presentation modes come
// from the mode itself, not from the user, unless the display asks for them.
int RefusesSizeEvent(const cxDisplay *d) {
    return (d->fullscreenScale || d->fakeFullscreen) && !d->modeSizeEvents;
}

const cxOsDisplayHooks kHooks = {
    ProcessPendingRefreshes, RefreshWholeDisplay, RealizeDisplay, ResizeDisplay, IsDisplayMonitorFree, HasHandler,
};

}  // namespace

extern "C" void InstallDisplayHooks(void) {
    OsSetDisplayHooks(&kHooks);
    SetSizeEventFilter(RefusesSizeEvent);
    SetEventDataFreer(FreeEventData);
}

extern "C" void RemoveDisplayHooks(void) {
    OsSetDisplayHooks(nullptr);
    SetSizeEventFilter(nullptr);
    SetEventDataFreer(nullptr);
}
