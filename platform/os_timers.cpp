#include "platform/os_timers.h"

#include <cstdlib>

#include "errors/error_codes.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"

struct cxOsTimer {
    cxOsTimer *next;
    int kind;
    int32_t keyNumber;
    void *keyPointer;
    uint32_t periodMs;
    cxOsTimeVal due; /* monotonic */
    int fired;
};

namespace {
// The list mutex guards the list, every record, the tick count and the
// thread's quit flag. It is created with the timer thread; both live until
// OsFreeTimers. Only the main thread adds, removes and takes timers; the
// timer thread only marks them fired and moves their due times. No signal
// handler is involved: a fired timer is a flag in its record, so a full wake
// pipe cannot lose it.
cxOsMutex *g_mutex = nullptr;
cxOsCondition *g_changed = nullptr;
cxOsThread *g_thread = nullptr;
cxOsTimer *g_head = nullptr;
int g_quit = 0;
int g_tickClaims = 0;
char g_tickKey;

constexpr uint32_t kTickMs = 20;
constexpr uint32_t kIdleWaitMs = 60000;

cxOsTimeVal MsToTime(uint32_t ms) { return cxOsTimeVal{ms / 1000, (ms % 1000) * 1000}; }

// Milliseconds from now until t, rounded up; 0 when due.
uint32_t MsUntil(const cxOsTimeVal &now, const cxOsTimeVal &t) {
    if (OsCmpTime(&t, &now) <= 0) return 0;
    cxOsTimeVal d = t;
    OsSubTime(&d, &now);
    const uint64_t us = uint64_t(d.seconds) * 1000000u + d.microseconds;
    const uint64_t ms = (us + 999) / 1000;
    return ms > kIdleWaitMs ? kIdleWaitMs : uint32_t(ms);
}

// Marks due timers fired; returns whether any fired and the wait until the
// next due time.
bool FireDue(uint32_t *waitMs) {
    cxOsTimeVal now;
    OsGetMonotonicTime(&now);
    bool any = false;
    uint32_t wait = kIdleWaitMs;
    for (cxOsTimer *t = g_head; t; t = t->next) {
        if (t->kind == CX_TIMER_TIMEOUT && t->fired) continue;
        if (OsCmpTime(&t->due, &now) <= 0) {
            t->fired = 1;
            any = true;
            if (t->kind == CX_TIMER_TIMEOUT) continue;
            const cxOsTimeVal period = MsToTime(t->periodMs);
            OsAddTime(&t->due, &period);
            // A main thread that fell behind gets one firing, not a burst.
            if (OsCmpTime(&t->due, &now) <= 0) {
                t->due = now;
                OsAddTime(&t->due, &period);
            }
        }
        const uint32_t w = MsUntil(now, t->due);
        if (w < wait) wait = w;
    }
    *waitMs = wait;
    return any;
}

void TimerThread(void *arg) {
    cxOsThread *self = OsGetThreadHandle(arg);
    OsPrepareThread();
    OsSignalThreadStarted(self);
    OsLockMutex(g_mutex);
    while (!g_quit) {
        uint32_t wait = 0;
        if (FireDue(&wait)) {
            OsUnlockMutex(g_mutex);
            OsWakeMainThreadFor(CX_WAKE_TIMER);
            OsLockMutex(g_mutex);
            continue;
        }
        OsWaitConditionTimed(g_changed, g_mutex, wait ? wait : 1);
    }
    OsUnlockMutex(g_mutex);
    OsWaitThreadEnd(self);
}

int EnsureThread() {
    if (g_thread) return 0;
    if (!g_mutex) g_mutex = OsCreateMutex();
    if (!g_changed) g_changed = OsCreateCondition();
    if (!g_mutex || !g_changed) return ERR_TIMER;
    g_quit = 0;
    g_thread = OsCreateThread("cx timers", TimerThread, nullptr, 0, 0, 0);
    return g_thread ? 0 : ERR_TIMER;
}

cxOsTimer *FindLocked(int kind, int32_t number, void *pointer, cxOsTimer ***link) {
    for (cxOsTimer **p = &g_head; *p; p = &(*p)->next) {
        cxOsTimer *t = *p;
        if (t->kind == kind && t->keyNumber == number && t->keyPointer == pointer) {
            if (link) *link = p;
            return t;
        }
    }
    return nullptr;
}

void Schedule(cxOsTimer *t, uint32_t ms) {
    t->periodMs = ms ? ms : 1;
    t->fired = 0;
    OsGetMonotonicTime(&t->due);
    const cxOsTimeVal period = MsToTime(t->periodMs);
    OsAddTime(&t->due, &period);
}
}  // namespace

extern "C" int OsControlTimer(int op, int32_t keyNumber, void *keyPointer, uint32_t ms) {
    if (op < CX_TIMER_ADD_PERIODIC || op > CX_TIMER_CHANGE_PERIOD) return ERR_WRONGUSAGE;
    if (int err = EnsureThread()) return err;
    int result = 0;
    OsLockMutex(g_mutex);
    switch (op) {
    case CX_TIMER_ADD_PERIODIC:
    case CX_TIMER_ADD_ONESHOT: {
        const int kind = op == CX_TIMER_ADD_PERIODIC ? CX_TIMER_INTERVAL : CX_TIMER_TIMEOUT;
        cxOsTimer *t = FindLocked(kind, keyNumber, keyPointer, nullptr);
        if (!t) {
            t = static_cast<cxOsTimer *>(calloc(1, sizeof(cxOsTimer)));
            if (!t) {
                result = ERR_MEM;
                break;
            }
            t->kind = kind;
            t->keyNumber = keyNumber;
            t->keyPointer = keyPointer;
            cxOsTimer **p = &g_head;
            while (*p) p = &(*p)->next;
            *p = t;
        }
        Schedule(t, ms);
        break;
    }
    case CX_TIMER_REMOVE_INTERVAL:
    case CX_TIMER_REMOVE_TIMEOUT: {
        const int kind = op == CX_TIMER_REMOVE_INTERVAL ? CX_TIMER_INTERVAL : CX_TIMER_TIMEOUT;
        cxOsTimer **link = nullptr;
        if (cxOsTimer *t = FindLocked(kind, keyNumber, keyPointer, &link)) {
            *link = t->next;
            free(t);
        }
        break;
    }
    case CX_TIMER_CHANGE_PERIOD:
        if (cxOsTimer *t = FindLocked(CX_TIMER_INTERVAL, keyNumber, keyPointer, nullptr))
            Schedule(t, ms);
        else
            result = ERR_TIMER;
        break;
    }
    OsSignalCondition(g_changed);
    OsUnlockMutex(g_mutex);
    return result;
}

extern "C" cxOsTimer *OsFindTimer(int kind, int32_t keyNumber, void *keyPointer, cxOsTimer **next) {
    if (next) *next = nullptr;
    if (!g_mutex) return nullptr;
    OsLockMutex(g_mutex);
    cxOsTimer *t = FindLocked(kind, keyNumber, keyPointer, nullptr);
    if (t && next) *next = t->next;
    OsUnlockMutex(g_mutex);
    return t;
}

extern "C" cxOsTimer *OsTakeTimerEvent(cxOsTimer *record, int *kind, int32_t *keyNumber, void **keyPointer) {
    *kind = CX_TIMER_NOT_FIRED;
    if (!g_mutex) return nullptr;
    OsLockMutex(g_mutex);
    cxOsTimer *t = record ? record : g_head;
    // A walk may hold a record that was removed since (a handler released
    // the tick, say): a pointer no longer in the list ends the walk instead
    // of being read.
    if (record) {
        cxOsTimer *p = g_head;
        while (p && p != record) p = p->next;
        t = p;
    }
    cxOsTimer *next = nullptr;
    if (t) {
        next = t->next;
        if (keyNumber) *keyNumber = t->keyNumber;
        if (keyPointer) *keyPointer = t->keyPointer;
        if (t->fired) {
            *kind = t->kind;
            if (t->kind == CX_TIMER_INTERVAL) {
                t->fired = 0;
            } else {
                for (cxOsTimer **p = &g_head; *p; p = &(*p)->next) {
                    if (*p == t) {
                        *p = t->next;
                        break;
                    }
                }
                free(t);
            }
        }
    }
    OsUnlockMutex(g_mutex);
    return next;
}

extern "C" void *OsGetTickKey(void) { return &g_tickKey; }

extern "C" int OsAcquireTickInterval(lua_State *, uint32_t) {
    if (int err = EnsureThread()) return err;
    OsLockMutex(g_mutex);
    int result = 0;
    if (g_tickClaims == 0) result = OsControlTimer(CX_TIMER_ADD_PERIODIC, 0, &g_tickKey, kTickMs);
    if (result == 0) ++g_tickClaims;
    OsUnlockMutex(g_mutex);
    return result;
}

extern "C" int OsReleaseTickInterval(lua_State *, uint32_t) {
    if (!g_mutex) return 0;
    OsLockMutex(g_mutex);
    // A release without a claim must not take another user's tick away.
    if (g_tickClaims > 0 && --g_tickClaims == 0) OsControlTimer(CX_TIMER_REMOVE_INTERVAL, 0, &g_tickKey, 0);
    OsUnlockMutex(g_mutex);
    return 0;
}

extern "C" void OsFreeTimers(void) {
    if (g_thread) {
        OsLockMutex(g_mutex);
        g_quit = 1;
        OsSignalCondition(g_changed);
        OsUnlockMutex(g_mutex);
        OsEndThread(g_thread);
        g_thread = nullptr;
    }
    while (g_head) {
        cxOsTimer *t = g_head;
        g_head = t->next;
        free(t);
    }
    g_tickClaims = 0;
    OsFreeCondition(g_changed);
    g_changed = nullptr;
    OsFreeMutex(g_mutex);
    g_mutex = nullptr;
}
