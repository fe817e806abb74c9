#include "display/events/intervals.h"

#include <cstdlib>

#include "display/events/dispatcher.h"
#include "display/events/event_sources.h"
#include "display/events/event_posting.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "platform/os_timers.h"

namespace {

cxObjectList g_intervals = {CX_OBJECT_INTERVAL, ERR_FINDINTERVAL, nullptr, nullptr};
cxObjectList g_timeouts = {CX_OBJECT_TIMEOUT, ERR_FINDTIMEOUT, nullptr, nullptr};

bool IsInterval(const cxObjectList *list) { return list == &g_intervals; }

void Release(lua_State *L, int32_t &ref) {
    if (ref != -1 && L) luaL_unref(L, LUA_REGISTRYINDEX, ref);
    ref = -1;
}

// Unlinks and frees a record: references, object data, timer. The
// dispatcher's walk of the platform list is moved past the timer first.
void Destroy(lua_State *L, cxObjectList *list, cxInterval *r) {
    RemoveObject(list, &r->header);
    Release(L, r->function);
    Release(L, r->userData);
    FreeObjectDataList(L, r->header.data);
    r->header.data = nullptr;
    const cxObjectID key = GetObjectID(&r->header);
    if (r->adapterTimer) {
        const cxPlugin *adapter = GetTimerAdapter();
        if (adapter) CallPluginEntry(adapter, adapter->FreeTimer, r->adapterTimer);
    } else {
        const int kind = IsInterval(list) ? CX_TIMER_INTERVAL : CX_TIMER_TIMEOUT;
        cxOsTimer *next = nullptr;
        if (cxOsTimer *t = OsFindTimer(kind, key.number, key.pointer, &next)) SkipDispatcherTimer(t, next);
        OsControlTimer(IsInterval(list) ? CX_TIMER_REMOVE_INTERVAL : CX_TIMER_REMOVE_TIMEOUT, key.number,
                       key.pointer, 0);
    }
    free(r);
}

int Add(lua_State *L, cxObjectList *list, cxObjectID id, uint32_t ms, int native) {
    if (ms < 1) return ERR_WRONGUSAGE;
    const bool automatic = id.number == 0 && id.pointer == nullptr;
    if (!automatic)
        if (cxObjectHeader *old = LookupObject(list, id)) Destroy(L, list, reinterpret_cast<cxInterval *>(old));
    auto *r = static_cast<cxInterval *>(calloc(1, sizeof(cxInterval)));
    if (!r) return ERR_MEM;
    InitObjectHeader(&r->header, list->kind, id.number, automatic);
    r->function = r->userData = -1;
    r->milliseconds = ms;
    if (!native) {
        lua_pushvalue(L, 2);
        r->function = luaL_ref(L, LUA_REGISTRYINDEX);
        if (lua_gettop(L) >= 4) {
            lua_pushvalue(L, 4);
            r->userData = luaL_ref(L, LUA_REGISTRYINDEX);
        }
    }
    AddObject(list, &r->header);
    const cxObjectID key = GetObjectID(&r->header);
    int err = 0;
    if (const cxPlugin *adapter = GetTimerAdapter()) {
        r->adapterTimer = CallPluginEntry(adapter, adapter->RegisterTimer, L, int(ms), IsInterval(list) ? 0 : 1);
        if (!r->adapterTimer) err = ERR_TIMER;
    } else {
        err = OsControlTimer(IsInterval(list) ? CX_TIMER_ADD_PERIODIC : CX_TIMER_ADD_ONESHOT, key.number,
                             key.pointer, ms);
    }
    if (err) {
        r->adapterTimer = nullptr;
        RemoveObject(list, &r->header);
        Release(L, r->function);
        Release(L, r->userData);
        // The platform list may hold the timer when only its thread failed.
        OsControlTimer(IsInterval(list) ? CX_TIMER_REMOVE_INTERVAL : CX_TIMER_REMOVE_TIMEOUT, key.number,
                       key.pointer, 0);
        free(r);
    }
    return err;
}

int Find(cxObjectList *list, cxObjectID id, cxInterval **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(list, id, &h)) return err;
    *out = reinterpret_cast<cxInterval *>(h);
    return 0;
}

int Remove(lua_State *L, cxObjectList *list, cxObjectID id) {
    cxInterval *r = nullptr;
    if (int err = Find(list, id, &r)) return err;
    Destroy(L, list, r);
    return 0;
}

// The period argument: truncated; below one millisecond is refused (a
// zero period would make the timer thread spin).
int ReadPeriod(lua_State *L, int index, uint32_t *ms) {
    const double v = luaL_checknumber(L, index);
    if (!(v >= 1)) return ERR_WRONGUSAGE;
    *ms = v >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(v);
    return 0;
}

int SetCommand(lua_State *L, cxObjectList *list) {
    CheckArgCount(L, 3, 4, 0, 0);
    uint32_t ms = 0;
    if (int err = ReadPeriod(L, 3, &ms)) return err;
    if (lua_type(L, 2) != LUA_TFUNCTION) return ERR_FUNCEXPECTED;
    cxOptionalNumber n;
    GetOptionalNumberArg(&n, L, 1);
    if (int err = Add(L, list, cxObjectID{n.wasNil ? 0 : n.value, nullptr}, ms, 0)) return err;
    if (!n.wasNil) return 0;
    // The newest record is the one just made.
    cxObjectHeader *h = list->first;
    while (h->next) h = h->next;
    PushObjectID(L, GetObjectID(h));
    return 1;
}

int ClearCommand(lua_State *L, cxObjectList *list) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return Remove(L, list, id);
}

void FreeList(lua_State *L, cxObjectList *list) {
    while (list->first) Destroy(L, list, reinterpret_cast<cxInterval *>(list->first));
}

}  // namespace

extern "C" void InitIntervals(void) {
    RegisterObjectList(&g_intervals);
    RegisterObjectList(&g_timeouts);
}

extern "C" void FreeIntervals(lua_State *L) {
    FreeList(L, &g_intervals);
    FreeList(L, &g_timeouts);
    UnregisterObjectList(&g_intervals);
    UnregisterObjectList(&g_timeouts);
}

extern "C" int AddInterval(lua_State *L, cxObjectID id, uint32_t ms, int native) {
    return Add(L, &g_intervals, id, ms, native);
}
extern "C" int AddTimeout(lua_State *L, cxObjectID id, uint32_t ms, int native) {
    return Add(L, &g_timeouts, id, ms, native);
}
extern "C" int FindInterval(cxObjectID id, cxInterval **out) { return Find(&g_intervals, id, out); }
extern "C" int FindTimeout(cxObjectID id, cxTimeout **out) { return Find(&g_timeouts, id, out); }
extern "C" int RemoveInterval(lua_State *L, cxObjectID id) { return Remove(L, &g_intervals, id); }
extern "C" int RemoveTimeout(lua_State *L, cxObjectID id) { return Remove(L, &g_timeouts, id); }

extern "C" int TakeFiredTimer(lua_State *L, int kind, cxObjectID key, int32_t *function, int32_t *userData) {
    if (kind == CX_TIMER_INTERVAL) {
        auto *r = reinterpret_cast<cxInterval *>(LookupObject(&g_intervals, key));
        if (!r || r->adapterTimer || r->function == -1) return 0;
        *function = r->function;
        *userData = r->userData;
        return 1;
    }
    auto *r = reinterpret_cast<cxTimeout *>(LookupObject(&g_timeouts, key));
    if (!r || r->adapterTimer) return 0;
    // The record goes before the call, so the handler may set a new
    // timeout with the same ID.
    RemoveObject(&g_timeouts, &r->header);
    FreeObjectDataList(L, r->header.data);
    *function = r->function;
    *userData = r->userData;
    free(r);
    return *function != -1 ? 1 : (Release(L, *userData), 0);
}

extern "C" void ReleaseFiredTimeout(lua_State *L, int32_t function, int32_t userData) {
    Release(L, function);
    Release(L, userData);
}

extern "C" int FireAdapterTimer(lua_State *L, void *handle) {
    if (!handle || GetEventSuspension()) return 0;
    for (cxObjectHeader *h = g_intervals.first; h; h = h->next) {
        auto *r = reinterpret_cast<cxInterval *>(h);
        if (r->adapterTimer != handle) continue;
        if (r->function == -1) return 0;
        const cxHandlerSlot slot = {r->function, r->userData};
        return CallTimerHandler(L, nullptr, CX_MSG_INTERVAL, GetObjectID(h), &slot, 1, 1);
    }
    for (cxObjectHeader *h = g_timeouts.first; h; h = h->next) {
        auto *r = reinterpret_cast<cxTimeout *>(h);
        if (r->adapterTimer != handle) continue;
        const cxObjectID id = GetObjectID(h);
        RemoveObject(&g_timeouts, h);
        FreeObjectDataList(L, h->data);
        if (const cxPlugin *adapter = GetTimerAdapter()) CallPluginEntry(adapter, adapter->FreeTimer, handle);
        const cxHandlerSlot slot = {r->function, r->userData};
        free(r);
        int err = slot.function != -1 ? CallTimerHandler(L, nullptr, CX_MSG_TIMEOUT, id, &slot, 1, 1) : 0;
        ReleaseFiredTimeout(L, slot.function, slot.userData);
        return err;
    }
    return 0;
}

extern "C" int CmdSetInterval(lua_State *L) { return SetCommand(L, &g_intervals); }
extern "C" int CmdSetTimeout(lua_State *L) { return SetCommand(L, &g_timeouts); }
extern "C" int CmdClearInterval(lua_State *L) { return ClearCommand(L, &g_intervals); }
extern "C" int CmdClearTimeout(lua_State *L) { return ClearCommand(L, &g_timeouts); }

extern "C" int CmdChangeInterval(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    uint32_t ms = 0;
    if (int err = ReadPeriod(L, 2, &ms)) return err;
    cxInterval *r = nullptr;
    if (int err = FindInterval(id, &r)) return err;
    if (r->adapterTimer) {
        // The adapter times it alone: the platform list has no timer to
        // change, which would report a failure after a good swap.
        const cxPlugin *adapter = GetTimerAdapter();
        void *fresh = adapter ? CallPluginEntry(adapter, adapter->RegisterTimer, L, int(ms), 0) : nullptr;
        if (!fresh) return ERR_TIMER;
        CallPluginEntry(adapter, adapter->FreeTimer, r->adapterTimer);
        r->adapterTimer = fresh;
        r->milliseconds = ms;
        return 0;
    }
    const cxObjectID key = GetObjectID(&r->header);
    if (int err = OsControlTimer(CX_TIMER_CHANGE_PERIOD, key.number, key.pointer, ms)) return err;
    r->milliseconds = ms;
    return 0;
}
