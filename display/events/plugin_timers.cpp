#include "display/events/plugin_timers.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "display/events/dispatcher.h"
#include "display/events/event_sources.h"
#include "engine/runtime/kernel.h"
#include "platform/os_timers.h"

namespace {

struct PluginTimer {
    uintptr_t handle;
    bool oneShot;
    cxPluginTimerCallback callback;
    void *userData;
    const void *owner;
};

// The records' own addresses are their platform timers' keys: unique while
// they live, and apart from every script object's key.
std::vector<std::unique_ptr<PluginTimer>> g_timers;
uintptr_t g_lastHandle = 0;
constexpr int kFirstErrorCode = 1000;

int KindOf(const PluginTimer &t) { return t.oneShot ? CX_TIMER_TIMEOUT : CX_TIMER_INTERVAL; }

// Removes the platform timer, moving the dispatcher's walk past it first.
void StopPlatformTimer(PluginTimer *t) {
    cxOsTimer *next = nullptr;
    if (cxOsTimer *os = OsFindTimer(KindOf(*t), 0, t, &next)) SkipDispatcherTimer(os, next);
    OsControlTimer(t->oneShot ? CX_TIMER_REMOVE_TIMEOUT : CX_TIMER_REMOVE_INTERVAL, 0, t, 0);
}

std::vector<std::unique_ptr<PluginTimer>>::iterator FindHandle(uintptr_t handle) {
    return std::find_if(g_timers.begin(), g_timers.end(),
                        [handle](const std::unique_ptr<PluginTimer> &t) { return t->handle == handle; });
}

}  // namespace

extern "C" void *AddPluginTimer(int ms, int oneShot, cxPluginTimerCallback callback, void *userData,
                                const void *owner) {
    if (ms < 1 || !callback) return nullptr;
    std::unique_ptr<PluginTimer> t(new (std::nothrow) PluginTimer{++g_lastHandle, oneShot != 0, callback, userData, owner});
    if (!t) return nullptr;
    try {
        g_timers.reserve(g_timers.size() + 1);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (OsControlTimer(oneShot ? CX_TIMER_ADD_ONESHOT : CX_TIMER_ADD_PERIODIC, 0, t.get(), uint32_t(ms))) {
        // The list may keep the record when only the timer thread failed.
        OsControlTimer(oneShot ? CX_TIMER_REMOVE_TIMEOUT : CX_TIMER_REMOVE_INTERVAL, 0, t.get(), 0);
        return nullptr;
    }
    void *handle = reinterpret_cast<void *>(t->handle);
    g_timers.push_back(std::move(t));
    return handle;
}

extern "C" void FreePluginTimer(void *handle) {
    if (!handle) return;
    auto it = FindHandle(reinterpret_cast<uintptr_t>(handle));
    if (it == g_timers.end()) return;
    std::unique_ptr<PluginTimer> t = std::move(*it);
    g_timers.erase(it);
    StopPlatformTimer(t.get());
}

extern "C" void FreePluginTimersOf(const void *owner) {
    // Taken out first: a platform timer stopped here cannot be served any more.
    std::vector<std::unique_ptr<PluginTimer>> going;
    for (auto it = g_timers.begin(); it != g_timers.end();) {
        if (!owner || (*it)->owner == owner) {
            going.push_back(std::move(*it));
            it = g_timers.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &t : going) StopPlatformTimer(t.get());
}

extern "C" int CountPluginTimers(const void *owner) {
    int n = 0;
    for (const auto &t : g_timers) n += !owner || t->owner == owner;
    return n;
}

extern "C" int ServePluginTimer(lua_State *L, int kind, cxObjectID key, int *served) {
    *served = 0;
    if (key.number != 0 || !key.pointer) return 0;
    auto it = std::find_if(g_timers.begin(), g_timers.end(),
                           [&](const std::unique_ptr<PluginTimer> &t) { return t.get() == key.pointer; });
    if (it == g_timers.end() || KindOf(**it) != kind) return 0;
    *served = 1;
    // The callback may free this timer or any other, or add new ones: what
    // the call needs is copied out, and nothing is touched after it.
    const PluginTimer copy = **it;
    if (copy.oneShot) {
        // Its platform timer went when it was taken; the handle dies before
        // the call, so the callback's FreeTimer on it does nothing.
        g_timers.erase(it);
    }
    // As for script handlers: under protection, so that an error the
    // callback raises through the interface ends here, and no WaitEvent
    // from inside it.
    struct Call {
        const PluginTimer *timer;
        int result;
    } call{&copy, 0};
    lua_pushlightuserdata(L, &call);
    lua_pushcclosure(
        L,
        [](lua_State *S) -> int {
            auto *c = static_cast<Call *>(lua_touserdata(S, lua_upvalueindex(1)));
            c->result = c->timer->callback(S, reinterpret_cast<void *>(c->timer->handle), c->timer->userData);
            return 0;
        },
        1);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_END);
    const int err = lua_pcall(L, 0, 0, 0);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
    if (err) return err;
    // Only error codes count; other answers are no errors.
    return call.result >= kFirstErrorCode ? call.result : 0;
}
