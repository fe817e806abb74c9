// Object IDs, per-kind object lists and the values attached to objects.
#include "engine/runtime/objects.h"

#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"

namespace {
cxObjectList *g_lists = nullptr;
} // namespace

extern "C" cxObjectID GetObjectID(const cxObjectHeader *header) {
    cxObjectID id{header->idNumber, header->idPointer};
    return id;
}

extern "C" int ObjectHasID(const cxObjectHeader *header, cxObjectID id) {
    return header->idNumber == id.number && header->idPointer == id.pointer;
}

extern "C" void InitObjectHeader(cxObjectHeader *header, int kind, int32_t number, int automatic) {
    memset(header, 0, sizeof *header);
    header->kind = kind;
    if (automatic)
        header->idPointer = header;
    else
        header->idNumber = number;
}

extern "C" void AddObject(cxObjectList *list, cxObjectHeader *header) {
    header->next = nullptr;
    cxObjectHeader **p = &list->first;
    while (*p) p = &(*p)->next;
    *p = header;
}

extern "C" int RemoveObject(cxObjectList *list, cxObjectHeader *header) {
    for (cxObjectHeader **p = &list->first; *p; p = &(*p)->next) {
        if (*p == header) {
            *p = header->next;
            header->next = nullptr;
            return 1;
        }
    }
    return 0;
}

extern "C" cxObjectHeader *LookupObject(const cxObjectList *list, cxObjectID id) {
    if (!list) return nullptr;
    for (cxObjectHeader *h = list->first; h; h = h->next)
        if (ObjectHasID(h, id)) return h;
    return nullptr;
}

extern "C" int FindObject(const cxObjectList *list, cxObjectID id, cxObjectHeader **out) {
    cxObjectHeader *h = LookupObject(list, id);
    if (out) *out = h;
    if (h) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return list && list->notFoundCode ? list->notFoundCode : ERR_FINDARRAY;
}

extern "C" void RegisterObjectList(cxObjectList *list) {
    if (!list) return;
    for (cxObjectList **p = &g_lists; *p; p = &(*p)->registryNext) {
        if (*p == list) return;
        if ((*p)->kind == list->kind) {
            // a newer list of the same kind takes the older one's place
            list->registryNext = (*p)->registryNext;
            (*p)->registryNext = nullptr;
            *p = list;
            return;
        }
    }
    list->registryNext = g_lists;
    g_lists = list;
}

extern "C" void UnregisterObjectList(cxObjectList *list) {
    for (cxObjectList **p = &g_lists; *p; p = &(*p)->registryNext) {
        if (*p == list) {
            *p = list->registryNext;
            list->registryNext = nullptr;
            return;
        }
    }
}

extern "C" cxObjectList *GetObjectList(int kind) {
    for (cxObjectList *l = g_lists; l; l = l->registryNext)
        if (l->kind == kind) return l;
    return nullptr;
}

extern "C" int FindObjectByKind(int kind, cxObjectID id, cxObjectHeader **out) {
    cxObjectList *l = GetObjectList(kind);
    if (!l) {
        if (out) *out = nullptr;
        return ERR_WRONGUSAGE;
    }
    return FindObject(l, id, out);
}

extern "C" void ClearObjectListRegistry(void) {
    while (g_lists) {
        cxObjectList *n = g_lists->registryNext;
        g_lists->registryNext = nullptr;
        g_lists = n;
    }
}

// ---- values attached to objects ----

extern "C" int SetObjectData(lua_State *L, cxObjectHeader *header, const char *key, int valueIndex) {
    if (valueIndex < 0 && valueIndex > LUA_REGISTRYINDEX) valueIndex = lua_gettop(L) + valueIndex + 1;
    for (cxObjectData *d = header->data; d; d = d->next) {
        if (strcmp(d->key, key) == 0) {
            lua_pushvalue(L, valueIndex);
            int ref = luaL_ref(L, LUA_REGISTRYINDEX);
            luaL_unref(L, LUA_REGISTRYINDEX, d->ref);
            d->ref = ref;
            return 0;
        }
    }
    size_t len = strlen(key);
    cxObjectData *d = static_cast<cxObjectData *>(malloc(sizeof(cxObjectData) + len + 1));
    if (!d) return ERR_MEM;
    d->key = reinterpret_cast<char *>(d + 1);
    memcpy(d->key, key, len + 1);
    lua_pushvalue(L, valueIndex);
    d->ref = luaL_ref(L, LUA_REGISTRYINDEX);
    d->next = nullptr;
    cxObjectData **p = &header->data;
    while (*p) p = &(*p)->next;
    *p = d;
    return 0;
}

extern "C" int GetObjectData(lua_State *L, const cxObjectHeader *header, const char *key) {
    for (const cxObjectData *d = header->data; d; d = d->next) {
        if (strcmp(d->key, key) == 0) {
            if (d->ref == LUA_REFNIL)
                lua_pushnil(L);
            else
                lua_rawgeti(L, LUA_REGISTRYINDEX, d->ref);
            return 0;
        }
    }
    SetErrorDetail(key);
    return ERR_FINDOBJECTDATA;
}

extern "C" int CopyObjectDataList(lua_State *L, const cxObjectData *list, cxObjectData **out) {
    cxObjectData *first = nullptr;
    cxObjectData **tail = &first;
    for (const cxObjectData *d = list; d; d = d->next) {
        size_t len = strlen(d->key);
        cxObjectData *n = static_cast<cxObjectData *>(malloc(sizeof(cxObjectData) + len + 1));
        if (!n) {
            FreeObjectDataList(L, first);
            *out = nullptr;
            return ERR_MEM;
        }
        n->key = reinterpret_cast<char *>(n + 1);
        memcpy(n->key, d->key, len + 1);
        n->next = nullptr;
        if (d->ref == LUA_REFNIL) {
            n->ref = LUA_REFNIL;
        } else {
            lua_rawgeti(L, LUA_REGISTRYINDEX, d->ref);
            n->ref = luaL_ref(L, LUA_REGISTRYINDEX);
        }
        *tail = n;
        tail = &n->next;
    }
    *out = first;
    return 0;
}

extern "C" void FreeObjectDataList(lua_State *L, cxObjectData *list) {
    while (list) {
        cxObjectData *n = list->next;
        if (L) luaL_unref(L, LUA_REGISTRYINDEX, list->ref);
        free(list);
        list = n;
    }
}

extern "C" cxObjectID ReadNewObjectID(lua_State *L, int index) {
    cxOptionalNumber n;
    GetOptionalNumberArg(&n, L, index);
    return n.wasNil ? cxObjectID{0, reinterpret_cast<void *>(1)} : cxObjectID{n.value, nullptr};
}
