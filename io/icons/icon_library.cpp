// The "icon" library: icon objects built from brushes and image files,
// loaded from and saved to icon files, and edited entry by entry.
#include <cstdlib>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "io/icons/app_icons.h"
#include "io/icons/icons.h"

namespace {

cxObjectList g_icons = {CX_OBJ_ICON, ERR_FINDICON, nullptr, nullptr};

// Frees a list of entries under construction however the command leaves.
struct EntryListHolder {
    cxIconEntry *list = nullptr;
    ~EntryListHolder() { FreeIconEntries(list); }
    cxIconEntry *release() {
        cxIconEntry *l = list;
        list = nullptr;
        return l;
    }
};

cxIcon *IconArg(lua_State *L, int index, int *err) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxIcon *icon = nullptr;
    *err = FindIconObject(id, &icon);
    return icon;
}

void FreeIconById(lua_State *L, const cxOptionalNumber &id) {
    if (id.wasNil) return;
    if (cxObjectHeader *old = LookupObject(&g_icons, cxObjectID{id.value, nullptr}))
        FreeIconObject(L, reinterpret_cast<cxIcon *>(old));
}

// Appends a new icon holding the entries; pushes its ID when it is automatic.
int AddIcon(lua_State *L, const cxOptionalNumber &id, EntryListHolder &entries) {
    auto *icon = static_cast<cxIcon *>(calloc(1, sizeof(cxIcon)));
    if (!icon) return ERR_MEM;
    InitObjectHeader(&icon->header, CX_OBJ_ICON, id.value, id.wasNil);
    icon->entries = entries.release();
    AddObject(&g_icons, &icon->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&icon->header)) : 0;
}

int LoadIcon(lua_State *L, const cxOptionalNumber &id, const char *file, const char *loaders, const char *adapters) {
    FreeIconById(L, id);
    PrintStatusMessage(GetMessageText(CX_MSG_LOADING_ICON), file, 1);
    EntryListHolder entries;
    if (int err = LoadIconFile(file, loaders, adapters, &entries.list)) return err;
    int r = AddIcon(L, id, entries);
    if (r < 1000) PrintDoneMessage();
    return r;
}

int Deferred(lua_State *L) {
    int preloading = 0;
    GetKernelTags(L, CX_KTAG_PRELOADING, &preloading, CX_KTAG_END);
    return preloading;
}

int CreateIconCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 8, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    luaL_checktable(L, 2);
    FreeIconById(L, id);
    EntryListHolder entries;
    for (int i = 0;; i++) {
        lua_rawgeti(L, 2, i);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        if (!lua_istable(L, -1)) return ERR_TABLEORNIL;
        int position = 0;
        if (int err = AddIconEntry(L, lua_gettop(L), &entries.list, Deferred(L), &position)) return err;
        lua_pop(L, 1);
    }
    if (!entries.list) return ERR_WRONGUSAGE;
    return AddIcon(L, id, entries);
}

int LoadIconCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 8, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    char loader[256] = "", adapter[256] = "";
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableString(L, 3, "loader", loader, sizeof loader, nullptr);
        GetTableString(L, 3, "adapter", adapter, sizeof adapter, nullptr);
    }
    return LoadIcon(L, id, file, loader, adapter);
}

int SaveIconCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err;
    cxIcon *icon = IconArg(L, 1, &err);
    const char *file = luaL_checklstring(L, 2, nullptr);
    if (err) return err;
    return SaveIconFile(icon->entries, file);
}

int FreeIconCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxIcon *icon = IconArg(L, 1, &err);
    if (err) return err;
    FreeIconObject(L, icon);
    return 0;
}

int AddIconImageCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err;
    cxIcon *icon = IconArg(L, 1, &err);
    luaL_checktable(L, 2);
    if (err) return err;
    int position = 0;
    if (int e = AddIconEntry(L, 2, &icon->entries, Deferred(L), &position)) return e;
    lua_pushnumber(L, position);
    return 1;
}

int RemoveIconImageCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err;
    cxIcon *icon = IconArg(L, 1, &err);
    int position = luaL_checkint(L, 2);
    if (err) return err;
    const int count = CountIconEntries(icon->entries);
    if (count == 0 || position < 1 || position > count) return ERR_ICONENTRY;
    if (count == 1) return ERR_WRONGUSAGE;
    cxIconEntry **at = &icon->entries;
    for (int i = 1; i < position; i++) at = &(*at)->next;
    cxIconEntry *gone = *at;
    *at = gone->next;
    FreeIconEntry(gone);
    return 0;
}

int SetStandardIconImageCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err;
    cxIcon *icon = IconArg(L, 1, &err);
    int position = luaL_checkint(L, 2);
    if (err) return err;
    if (position != 0 && (position < 1 || position > CountIconEntries(icon->entries))) return ERR_ICONENTRY;
    int i = 1;
    for (cxIconEntry *e = icon->entries; e; e = e->next, i++) e->standard = i == position ? 1 : 0;
    return 0;
}

const luaL_reg kCommands[] = {
    {"CreateIcon", CreateIconCmd},
    {"LoadIcon", LoadIconCmd},
    {"SaveIcon", SaveIconCmd},
    {"FreeIcon", FreeIconCmd},
    {"AddIconImage", AddIconImageCmd},
    {"RemoveIconImage", RemoveIconImageCmd},
    {"SetStandardIconImage", SetStandardIconImageCmd},
    {nullptr, nullptr},
};

} // namespace

extern "C" cxObjectList *GetIconList(void) { return &g_icons; }

extern "C" int FindIconObject(cxObjectID id, cxIcon **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(&g_icons, id, &h);
    *out = reinterpret_cast<cxIcon *>(h);
    return err;
}

extern "C" void FreeIconObject(lua_State *L, cxIcon *icon) {
    RemoveObject(&g_icons, &icon->header);
    FreeIconEntries(icon->entries);
    FreeObjectDataList(L, icon->header.data);
    free(icon);
}

extern "C" int LoadIconObject(lua_State *L, int32_t number, const char *file, const char *loaders,
                              const char *adapters) {
    return LoadIcon(L, cxOptionalNumber{number, 0}, file, loaders, adapters);
}

extern "C" void FreeIconObjects(lua_State *L) {
    while (g_icons.first) FreeIconObject(L, reinterpret_cast<cxIcon *>(g_icons.first));
    FreeAppIcons();
}

extern "C" int OpenIconLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "icon")) return err;
    RegisterObjectList(&g_icons);
    return 0;
}
