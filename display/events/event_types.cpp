#include "display/events/event_types.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "display/events/dispatcher.h"
#include "display/events/event_data.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/vm/lauxlib.h"

namespace {

cxEventType *g_types = nullptr;

bool IsBuiltInName(const char *name) {
    for (const char *n : kDisplayHandlerNames)
        if (!strcasecmp(n, name)) return true;
    for (const char *n : kGlobalHandlerNames)
        if (!strcasecmp(n, name)) return true;
    return false;
}

cxEventType *FindByName(const char *name) {
    for (cxEventType *t = g_types; t; t = t->next)
        if (!strcasecmp(t->name, name)) return t;
    return nullptr;
}

}  // namespace

extern "C" int RegisterEventType(const char *name, uint32_t kind, const uint32_t *hooks, uint32_t foreign) {
    if (!name || !*name || kind > 1 || !hooks || IsBuiltInName(name) || FindByName(name)) return 0;
    const size_t len = strlen(name);
    auto *t = static_cast<cxEventType *>(calloc(1, sizeof(cxEventType) + len + 1));
    if (!t) return 0;
    char *copy = reinterpret_cast<char *>(t + 1);
    memcpy(copy, name, len + 1);
    t->name = copy;
    t->kind = kind;
    t->slot = {-1, -1};
    t->foreign = foreign;
    cxEventType **p = &g_types;
    uint32_t number = CX_FIRST_EVENT_TYPE;
    while (*p) {
        number = (*p)->number + 1;
        p = &(*p)->next;
    }
    t->number = number;
    const cxPluginFunc *f = reinterpret_cast<const cxPluginFunc *>(hooks);
    if (kind == 0) {
        t->fill = reinterpret_cast<cxEventFillHook>(f[0]);
    } else {
        t->push = reinterpret_cast<cxEventPushHook>(f[0]);
        t->after = reinterpret_cast<cxEventAfterHook>(f[1]);
        t->free = reinterpret_cast<cxEventFreeHook>(f[2]);
    }
    *p = t;
    return int(number);
}

extern "C" int FindEventType(const char *name, cxTagItem *tags) {
    cxEventType *t = name ? FindByName(name) : nullptr;
    if (!t) return -1;
    for (cxTagItem *tag = tags; tag && tag->tag; ++tag)
        if (tag->tag == 1 && tag->data) *reinterpret_cast<int32_t *>(tag->data) = t->slot.function;
    return int(t->number);
}

extern "C" cxHandlerSlot *FindEventTypeSlot(const char *name) {
    cxEventType *t = name ? FindByName(name) : nullptr;
    return t ? &t->slot : nullptr;
}

extern "C" cxEventType *GetEventType(uint32_t number) {
    for (cxEventType *t = g_types; t; t = t->next)
        if (t->number == number) return t;
    return nullptr;
}

extern "C" cxEventType *GetFirstEventType(void) { return g_types; }

extern "C" int PostRegisteredEvent(lua_State *L, int number, void *data) {
    cxEventType *t = number >= CX_FIRST_EVENT_TYPE ? GetEventType(uint32_t(number)) : nullptr;
    int result = 0;
    if (t && t->slot.function != -1 && L) {
        cxEventMessage msg{};
        msg.type = CX_MSG_PLUGIN;
        msg.slot = &t->slot;
        msg.pluginType = t;
        msg.pluginData = data;
        snprintf(msg.action, sizeof msg.action, "%s", t->name);
        result = CallEventCallback(L, &msg, 1, 1);
    }
    FreeEventData(L, uint32_t(number), data);
    return result;
}

extern "C" void FreeRegisteredEventData(lua_State *L, uint32_t number, void *data) {
    cxEventType *t = GetEventType(number);
    if (!t || t->kind != 1 || !t->free || !data) return;
    if (t->foreign) {
        OsCallPluginStub(reinterpret_cast<cxPluginFunc>(t->free));
        return;
    }
    t->free(L, number, data);
}

extern "C" void FreeEventTypes(lua_State *L) {
    while (cxEventType *t = g_types) {
        g_types = t->next;
        if (L && t->slot.function != -1) luaL_unref(L, LUA_REGISTRYINDEX, t->slot.function);
        if (L && t->slot.userData != -1) luaL_unref(L, LUA_REGISTRYINDEX, t->slot.userData);
        free(t);
    }
}
