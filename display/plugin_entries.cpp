#include "display/plugin_entries.h"

#include "display/adapter.h"
#include "display/display_record.h"
#include "display/present.h"
#include "display/size.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"

namespace {

lua_State *g_L = nullptr;

cxDisplay *DisplayOfListener(void *listener) {
    if (!listener) return GetFirstDisplay();
    return FindListenerDisplay(static_cast<cxDisplayListener *>(listener));
}

uint32_t U(intptr_t v) { return static_cast<uint32_t>(v); }

}  // namespace

extern "C" void SetPluginEntriesState(lua_State *L) { g_L = L; }

extern "C" void PostListenerEvent(void *listener, int type, const intptr_t *data) {
    // The list is walked under its mutex: plug-ins call this from their own
    // threads while the main thread may link or unlink displays.
    LockDisplayList();
    cxDisplay *d = DisplayOfListener(listener);
    if (!d || !data) {
        UnlockDisplayList();
        return;
    }
    if (type < 5) {
        d->os.mouseX = int32_t(data[0]);
        d->os.mouseY = int32_t(data[1]);
    } else if (type == 5) {
        d->os.qualifiers = U(data[2]);
    }
    const uint32_t x = U(data[0]), y = U(data[1]);
    switch (type) {
    case 0:
        d->os.closeRequested = 1;
        OsGetSysTime(&d->os.closeTime);
        break;
    case 1:
    case 2:
    case 3: {
        static const uint32_t kinds[] = {1, 2, 16};
        d->os.mouseButtons[type - 1] = U(data[2]);
        PostEvent(d, kinds[type - 1], x, y, U(data[2]), nullptr);
        break;
    }
    case 4: PostEvent(d, data[2] ? 12 : 11, x, y, 0, nullptr); break;
    case 5:
        if (data[0] > 0 && data[0] < CX_KEY_STATE_COUNT) {
            d->os.keyStates[data[0]] = uint8_t(data[1] != 0);
            PostEvent(d, 3, U(data[1]), U(data[2]), U(data[0]), nullptr);
        }
        break;
    case 6: PostEvent(d, 28, x, 0, 0, nullptr); break;
    case 7: PostEvent(d, 14, x, y, U(data[2]), nullptr); break;
    case 8:
        // Codes beyond the table are posted but not remembered.
        if (data[0] >= 0 && data[0] < CX_KEY_STATE_COUNT)
            d->os.keyStates[CX_KEY_STATE_COUNT + data[0]] = uint8_t(data[1] != 0);
        PostEvent(d, 29, x, y, 0, nullptr);
        break;
    default: break;
    }
    UnlockDisplayList();
    OsWakeMainThread();
}

extern "C" int ResizeDisplayForListener(void *listener, int width, int height, const cxTagItem *tags) {
    cxDisplay *d = DisplayOfListener(listener);
    if (!d || !listener) return ERR_FINDDISPLAY;
    int32_t sw = 0, sh = 0;
    for (const cxTagItem *t = tags; t && t->tag; ++t) {
        if (t->tag == 1) sw = int32_t(t->data);
        if (t->tag == 2) sh = int32_t(t->data);
    }
    uint32_t flags = d->scaling ? (CX_RESIZE_LISTENER | CX_RESIZE_PICTURE) : CX_RESIZE_LISTENER;
    if (d->os.state == CX_DISPLAY_CLOSED) flags |= CX_RESIZE_CLOSED;
    if (int err = ResizeDisplay(g_L, d, CX_POS_KEEP, CX_POS_KEEP, width, height, d->os.smooth, sw, sh, flags)) return err;
    PostEvent(d, 5, uint32_t(d->os.width), uint32_t(d->os.height), 0, nullptr);
    return 0;
}

extern "C" int RefreshDisplayByHandle(void *handle) {
    cxDisplay *d = FindDisplayByHandle(handle);
    if (!d) return ERR_FINDDISPLAY;
    RefreshWholeDisplay(g_L, d, 2);
    return 0;
}

extern "C" int GetDisplayAttrTags(void *first, cxTagItem *tags) {
    bool isListener = false;
    for (cxTagItem *t = tags; t && t->tag; ++t)
        if (t->tag == 10 && t->data) isListener = true;
    cxDisplay *d = isListener ? DisplayOfListener(first) : FindDisplayByHandle(first);
    if (!d) return -1;
    int answered = 0;
    for (cxTagItem *t = tags; t && t->tag; ++t) {
        auto *out = reinterpret_cast<int32_t *>(t->data);
        switch (t->tag) {
        case 1: *out = d->os.width; break;
        case 2: *out = d->os.height; break;
        case 3: *out = d->pictureWidth; break;
        case 4: *out = d->pictureHeight; break;
        case 5: *reinterpret_cast<uint32_t *>(t->data) = GetAdapterDisplayFlags(d); break;
        case 6: *out = d->os.scaledWidth; break;
        case 7: *out = d->os.scaledHeight; break;
        case 8: *out = int32_t(d->os.smooth); break;
        case 9: *out = d->handlers[CX_SLOT_ONDROPFILE].function != -1; break;
        case 11: *reinterpret_cast<double *>(t->data) = d->scaling ? d->scaleFactor : 1.0; break;
        default: continue;
        }
        ++answered;
    }
    return answered;
}

extern "C" void *PluginAddDisplayListener(void *display, cxPluginFunc callback, void *userData) {
    auto *d = static_cast<cxDisplay *>(display);
    if (!d) return nullptr;
    return AddDisplayListener(GetObjectID(&d->header), reinterpret_cast<cxDisplayListenerFunc>(callback), userData,
                              nullptr, 0);
}

extern "C" void PluginRemoveDisplayListener(void *listener) {
    RemoveDisplayListener(static_cast<cxDisplayListener *>(listener));
}

extern "C" void *PluginFindDisplay(const cxPluginObjectID *id) {
    if (!id) return nullptr;
    cxDisplay *d = nullptr;
    cxObjectID oid{};
    oid.number = id->number;
    oid.pointer = id->pointer;
    return FindDisplay(oid, &d) == 0 ? d : nullptr;
}

extern "C" void *PluginGetCurrentDisplay(void) { return GetCurrentDisplay(); }
