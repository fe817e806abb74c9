#include "engine/events/event_queue.h"

#include <atomic>
#include <cstdlib>

#include "errors/error_codes.h"
#include "platform/os_threads.h"

namespace {
// The mutex pointer is written by InitKernel/FreeEventQueue on the main thread
// before producers start and after they end; producers only read it.
std::atomic<cxOsMutex *> g_mutex{nullptr};
bool g_enabled = false;  // guarded by g_mutex
cxEvent *g_head = nullptr;
cxEvent *g_tail = nullptr;
std::atomic<uint32_t> g_ageLimit{60000};
std::atomic<cxEventClock> g_clock{nullptr};
std::atomic<cxSizeEventFilter> g_sizeFilter{nullptr};
std::atomic<cxEventDataFreer> g_freer{nullptr};
cxOsTimeVal g_start{0, 0};

void Now(cxOsTimeVal *out) {
    cxEventClock clock = g_clock.load();
    if (clock)
        clock(out);
    else
        OsGetMonotonicTime(out);
}

bool RefusesSizeEvent(const cxDisplay *d) {
    cxSizeEventFilter filter = g_sizeFilter.load();
    return d && filter && filter(d);
}

void FreePayload(lua_State *L, uint32_t type, void *data) {
    if (!data) return;
    if (cxEventDataFreer freer = g_freer.load())
        freer(L, type, data);
    else
        free(data);
}

void DropLocked(lua_State *L, uint32_t last) {
    uint32_t n = 0;
    while (g_head) {
        cxEvent *e = g_head;
        g_head = e->next;
        if (!g_head) g_tail = nullptr;
        FreePayload(L, e->postedType, e->data);
        free(e);
        if (last != CX_EVENT_DROP_ALL && n++ >= last) break;
    }
}
}  // namespace

extern "C" int InitKernel(void) {
    cxOsMutex *m = g_mutex.load();
    if (!m) {
        m = OsCreateMutex();
        if (!m) return ERR_SEMAPHORE;
        g_mutex.store(m);
    }
    OsLockMutex(m);
    g_enabled = true;
    OsUnlockMutex(m);
    OsGetSysTime(&g_start);
    return 0;
}

extern "C" void FreeEventQueue(lua_State *L) {
    cxOsMutex *m = g_mutex.load();
    if (!m) return;
    OsLockMutex(m);
    g_enabled = false;
    DropLocked(L, CX_EVENT_DROP_ALL);
    g_mutex.store(nullptr);
    OsUnlockMutex(m);
    OsFreeMutex(m);
}

extern "C" void SetSizeEventFilter(cxSizeEventFilter filter) { g_sizeFilter.store(filter); }

extern "C" void SetEventDataFreer(cxEventDataFreer freer) { g_freer.store(freer); }

extern "C" void GetKernelStartTime(cxOsTimeVal *out) { *out = g_start; }

extern "C" int PostEvent(cxDisplay *display, uint32_t type, uint32_t a, uint32_t b, uint32_t c, void *data) {
    cxOsMutex *m = g_mutex.load();
    if (!m) return 0;
    OsLockMutex(m);
    if (!g_enabled || (type == 5 && RefusesSizeEvent(display))) {
        OsUnlockMutex(m);
        return 0;
    }
    if (type == 5) {
        // At most one live size event per display: the newest.
        for (cxEvent *e = g_head; e; e = e->next)
            if (e->type == 5 && e->display == display) e->type = 0;
    }
    auto *e = static_cast<cxEvent *>(calloc(1, sizeof(cxEvent)));
    if (!e) {
        OsUnlockMutex(m);
        return -1;
    }
    e->display = display;
    e->type = type;
    e->postedType = type;
    e->a = a;
    e->b = b;
    e->c = c;
    e->data = data;
    e->postedSeconds = OsGetTimeSeconds();
    Now(&e->posted);
    if (g_tail)
        g_tail->next = e;
    else
        g_head = e;
    g_tail = e;
    OsUnlockMutex(m);
    return 1;
}

extern "C" void LockEventQueue(void) {
    if (cxOsMutex *m = g_mutex.load()) OsLockMutex(m);
}

extern "C" void UnlockEventQueue(void) {
    if (cxOsMutex *m = g_mutex.load()) OsUnlockMutex(m);
}

extern "C" uint32_t FetchEvent(lua_State *, uint32_t index, cxEventInfo *info, int take) {
    cxOsMutex *m = g_mutex.load();
    if (!m) return 0;
    OsLockMutex(m);
    cxEvent *e = g_head;
    for (uint32_t i = 0; e && i < index; ++i) e = e->next;
    if (!e) {
        OsUnlockMutex(m);
        return 0;
    }
    *info = cxEventInfo{};
    info->display = e->display;
    info->type = e->type;
    info->a = e->a;
    info->b = e->b;
    info->c = e->c;
    if (e->type == 3 || e->type == 28 || e->type == 29) {
        info->keyB = e->b;
        info->keyC = e->c;
    }
    info->time = e->postedSeconds;
    info->data = e->data;
    if (take) e->data = nullptr;
    OsUnlockMutex(m);
    return index + 1;
}

extern "C" void DropEvents(lua_State *L, uint32_t last, int lock) {
    cxOsMutex *m = g_mutex.load();
    if (lock && m) OsLockMutex(m);
    DropLocked(L, last);
    if (lock && m) OsUnlockMutex(m);
}

extern "C" void ForgetDisplayEvents(cxDisplay *display) {
    cxOsMutex *m = g_mutex.load();
    if (!m || !display) return;
    OsLockMutex(m);
    for (cxEvent *e = g_head; e; e = e->next)
        if (e->display == display) e->display = nullptr;
    OsUnlockMutex(m);
}

extern "C" void ExpireEvents(lua_State *L) {
    cxOsMutex *m = g_mutex.load();
    const uint32_t limit = g_ageLimit.load();
    if (!m || limit == CX_EVENT_AGE_OFF) return;
    OsLockMutex(m);
    cxOsTimeVal now;
    Now(&now);
    uint32_t old = 0;
    for (cxEvent *e = g_head; e; e = e->next, ++old) {
        cxOsTimeVal age = now;
        OsSubTime(&age, &e->posted);
        if (OsTimeToMs(&age) <= limit) break;
    }
    if (old > 0) DropLocked(L, old - 1);
    OsUnlockMutex(m);
}

extern "C" void SetEventAgeLimit(uint32_t ms) { g_ageLimit.store(ms); }
extern "C" uint32_t GetEventAgeLimit(void) { return g_ageLimit.load(); }
extern "C" void SetEventQueueClock(cxEventClock clock) { g_clock.store(clock); }
