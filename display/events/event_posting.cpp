#include "display/events/event_posting.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "display/events/dispatcher.h"
#include "display/display_record.h"
#include "display/events/event_types.h"
#include "display/size.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"
#include "window/x11/x11_window.h"

namespace {

std::atomic<int> g_suspended{0};
lua_State *g_L = nullptr;

constexpr uint32_t kEsc = 275, kReturn = 274;
constexpr uint32_t kControlBits = 0x00C00000u, kAltBits = 0x000C0000u;

// The tag words of a list; words past its end tag read as 0, so a short
// list is never read beyond its end.
struct Words {
    uintptr_t w[6] = {};
    explicit Words(const cxTagItem *tags) {
        for (int i = 0; tags && i < 6 && tags[i].tag; i++) w[i] = tags[i].data;
    }
    uint32_t operator[](int i) const { return uint32_t(w[i]); }
};

// A queue that cannot take the event is out of memory; a refusal (queue
// off, coalesced) is no error.
int Post(cxDisplay *d, uint32_t type, uint32_t a, uint32_t b, uint32_t c, void *data) {
    return PostEvent(d, type, a, b, c, data) < 0 ? ERR_ADDSYSEVENT : 0;
}

int Quit() {
    SetUserAbortFlag(1);
    return Post(nullptr, 23, 0, 0, 0, nullptr);
}

// The events that carry a display. The list mutex is held while the
// record is touched: other threads post while the main thread may free it.
int PostForDisplay(lua_State *L, int code, const cxTagItem *tags) {
    const Words words(tags);
    LockDisplayList();
    cxDisplay *d = FindDisplayByHandle(reinterpret_cast<const void *>(words.w[0]));
    if (!d) {
        UnlockDisplayList();
        return ERR_FINDDISPLAY;
    }
    const uint32_t t1 = words[1], t2 = words[2], t3 = words[3], t4 = words[4];
    int err = 0;
    bool quit = false;
    switch (code) {
    case 3: {
        static const uint32_t kinds[] = {1, 2, 16};
        d->os.mouseX = int32_t(t1);
        d->os.mouseY = int32_t(t2);
        if (t3 >= 1 && t3 <= 3) {
            d->os.mouseButtons[t3 - 1] = t4 != 0;
            err = Post(d, kinds[t3 - 1], t1, t2, t4 != 0, nullptr);
            quit = t3 == 1 && t4 && OsGetDisplayAttr(9);
        } else {
            OsGetSysTime(&d->os.pointerTime);
            d->os.pointerMoved = 1;
        }
        break;
    }
    case 4:
        if (t1 < CX_KEY_STATE_COUNT) d->os.keyStates[t1] = uint8_t(t2 != 0);
        d->os.qualifiers = t3;
        err = Post(d, 3, t2 != 0, 0, t1, nullptr);
        if (t2) {
            const bool upperC = t1 == 'c' || t1 == 'C';
            quit = (t1 == kEsc && OsGetDisplayAttr(10)) || (upperC && (t3 & kControlBits) && OsGetDisplayAttr(8));
            if (!err && t1 == kReturn && (t3 & kAltBits) && !(d->os.flags & CX_DISPLAY_NOMODESWITCH))
                err = Post(d, 13, uint32_t(d->os.width), uint32_t(d->os.height), d->os.fullscreen ? 2 : 1, nullptr);
        }
        break;
    case 5: err = Post(d, 7, 0, 0, 0, nullptr); break;
    case 6:
        // Resizing touches the picture: main thread only, with a state.
        if (!L) {
            err = ERR_WRONGUSAGE;
            break;
        }
        err = ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, int32_t(t1), int32_t(t2), d->os.smooth, 0, 0,
                            d->scaling ? (CX_RESIZE_LISTENER | CX_RESIZE_PICTURE) : CX_RESIZE_LISTENER);
        if (!err) err = Post(d, 5, uint32_t(d->os.width), uint32_t(d->os.height), 0, nullptr);
        break;
    case 7: err = Post(d, 4, uint32_t(d->os.x), uint32_t(d->os.y), 0, nullptr); break;
    case 8:
        if (t1) d->os.state = CX_DISPLAY_SHOWN;
        err = Post(d, t1 ? 10 : 9, 0, 0, 0, nullptr);
        break;
    case 9:
        d->os.active = t1 != 0;
        err = Post(d, t1 ? 8 : 6, 0, 0, 0, nullptr);
        break;
    case 10: err = Post(d, 28, 0, 0, t1, nullptr); break;
    case 11: {
        void *list = reinterpret_cast<void *>(words.w[3]);
        err = Post(d, 14, t1, t2, 0, list);
        break;
    }
    case 12:
        if (t1 < CX_KEY_STATE_COUNT) d->os.keyStates[CX_KEY_STATE_COUNT + t1] = uint8_t(t2 != 0);
        err = Post(d, 29, t2 != 0, 0, t1, nullptr);
        break;
    case 13: err = Post(d, int32_t(t1) < 1 ? 12 : 11, 0, 0, 0, nullptr); break;
    default: break;
    }
    UnlockDisplayList();
    if (quit && !err) err = Quit();
    return err;
}

int PostCommon(lua_State *L, int code, const cxTagItem *tags) {
    if (g_suspended.load()) return 0;
    int err = 0;
    switch (code) {
    case 0: err = Quit(); break;
    case 1: {
        const Words words(tags);
        if (!words.w[0]) return ERR_WRONGUSAGE;
        auto *f = static_cast<cxEventFunction *>(malloc(sizeof(cxEventFunction)));
        if (!f) return ERR_MEM;
        f->function = reinterpret_cast<int (*)(lua_State *, void *)>(words.w[0]);
        f->argument = reinterpret_cast<void *>(words.w[1]);
        const int r = PostEvent(nullptr, 24, 0, 0, 0, f);
        if (r != 1) free(f); // a queue that refused it does not own it
        err = r < 0 ? ERR_ADDSYSEVENT : 0;
        break;
    }
    case 2: break;
    default:
        if (code >= CX_FIRST_EVENT_TYPE) {
            err = Post(nullptr, uint32_t(code), 0, 0, 0, reinterpret_cast<void *>(Words(tags).w[0]));
        } else if (code >= 3 && code <= 13) {
            if (!tags) return ERR_FINDDISPLAY;
            err = PostForDisplay(L, code, tags);
        }
        break;
    }
    OsWakeMainThread();
    return err;
}

}  // namespace

extern "C" void SetEventSuspension(int on) { g_suspended = on != 0; }
extern "C" int GetEventSuspension(void) { return g_suspended.load(); }
extern "C" void SetPostingState(lua_State *L) { g_L = L; }

extern "C" int PostSystemEvent(lua_State *L, int code, const cxTagItem *tags) { return PostCommon(L, code, tags); }

extern "C" int PostSystemEventNoState(int code, const cxTagItem *tags) { return PostCommon(g_L, code, tags); }

extern "C" int RequestQuit(void) {
    const int err = Quit();
    OsWakeMainThread();
    return err;
}

extern "C" int PostMenuSelection(cxDisplay *display, const cxTagItem *tags, uint32_t id) {
    const char *text = nullptr;
    for (const cxTagItem *t = tags; t && t->tag; ++t)
        if (t->tag == 2) text = reinterpret_cast<const char *>(t->data);
    if (!text) text = "";
    char *copy = strdup(text);
    if (!copy) return ERR_MEM;
    const int r = PostEvent(display, 26, id, 0, 0, copy);
    if (r != 1) free(copy);
    OsWakeMainThread();
    return r < 0 ? ERR_ADDSYSEVENT : 0;
}

extern "C" void WakeMainThread(void) { OsWakeMainThread(); }
