// The display library's side of the back-end hooks.
#include "display/display_hooks.h"

#include "display/display.h"
#include "display/display_record.h"
#include "display/monitors.h"
#include "display/open.h"
#include "display/present.h"
#include "display/size.h"
#include "display/events/event_data.h"
#include "engine/events/event_queue.h"
#include "window/x11/os_display.h"

namespace {

// The back-end's full-screen toggle: the other mode at the stored size.
int ToggleFullscreen(lua_State *L, cxDisplay *d, uint32_t how) {
    if (how != 5) return RealizeDisplay(L, d, how);
    d->mode = d->os.fullscreen ? CX_MODE_WINDOWED : CX_MODE_FULLSCREEN;
    if (d->mode == CX_MODE_FULLSCREEN && d->screenWidth <= 0) {
        d->screenWidth = d->os.width;
        d->screenHeight = d->os.height;
    }
    return RealizeDisplay(L, d, CX_REALIZE_SWITCH);
}

int HasHandler(const cxDisplay *d, int handler) {
    int slot;
    switch (handler) {
    case CX_OS_HANDLER_CLOSE: slot = CX_SLOT_CLOSEWINDOW; break;
    case CX_OS_HANDLER_DROP: slot = CX_SLOT_ONDROPFILE; break;
    case CX_OS_HANDLER_CLIPBOARD: slot = CX_SLOT_CLIPBOARDCHANGE; break;
    default: return 0;
    }
    if (d && handler == CX_OS_HANDLER_CLOSE && d->closeHandled) return 1;
    return d && d->handlers[slot].function != -1;
}

// Size events of a display in one of its special presentation modes come
// from the mode itself, not from the user, unless the display asks for them.
int RefusesSizeEvent(const cxDisplay *d) {
    return (d->fullscreenScale || d->fakeFullscreen) && !d->modeSizeEvents;
}

const cxOsDisplayHooks kHooks = {
    ProcessPendingRefreshes, RefreshWholeDisplay, ToggleFullscreen, ResizeDisplay, IsDisplayMonitorFree, HasHandler,
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
