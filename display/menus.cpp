#include "display/menus.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/args.h"
#include "engine/runtime/table_fields.h"
#include "display/options.h"

namespace {

cxObjectList g_menus = {CX_OBJECT_MENU, ERR_FINDMENU, nullptr, nullptr};

// Without a window system that holds item states, the items hold them.
int KeepState(void *, cxMenuItem *item, uint32_t set, uint32_t clear) {
    item->flags = (item->flags | set) & ~clear;
    return 0;
}
int ReadState(void *, cxMenuItem *item, uint32_t *bits) {
    *bits = item->flags;
    return 0;
}
cxMenuStateSetter g_set = KeepState;
cxMenuStateGetter g_get = ReadState;

char *CopyString(const char *s) {
    if (!s) return nullptr;
    const size_t n = strlen(s) + 1;
    auto *out = static_cast<char *>(malloc(n));
    if (out) memcpy(out, s, n);
    return out;
}

// Reads an optional string field; ERR_STRINGEXPECTED for another type.
int OptionalString(lua_State *L, int table, const char *key, char **out) {
    lua_pushstring(L, key);
    lua_gettable(L, table);
    const int t = lua_type(L, -1);
    int err = 0;
    if (t == LUA_TSTRING || t == LUA_TNUMBER) {
        *out = CopyString(lua_tostring(L, -1));
        if (!*out) err = ERR_MEM;
    } else if (t != LUA_TNIL) {
        err = ERR_STRINGEXPECTED;
    }
    lua_settop(L, -2);
    return err;
}

int BuildEntry(lua_State *L, int entry, int depth, cxMenuItem **out) {
    lua_rawgeti(L, entry, 0);
    const int labelType = lua_type(L, -1);
    const char *label = nullptr;
    size_t length = 0;
    if (labelType == LUA_TNIL && depth > 0) {
        // a separator
    } else if (labelType != LUA_TSTRING) {
        lua_settop(L, -2);
        return ERR_STRINGEXPECTED;
    } else {
        label = lua_tostring(L, -1);
        length = lua_strlen(L, -1);
        if (depth == 0 && length == 0) {
            lua_settop(L, -2);
            return ERR_WRONGUSAGE;
        }
    }
    auto *item = static_cast<cxMenuItem *>(calloc(1, sizeof(cxMenuItem) + (label ? length + 1 : 0)));
    if (!item) {
        lua_settop(L, -2);
        return ERR_MEM;
    }
    if (label) {
        char *text = reinterpret_cast<char *>(item + 1);
        memcpy(text, label, length + 1);
        item->label = text;
    }
    lua_settop(L, -2);

    lua_rawgeti(L, entry, 1);
    const int childType = lua_type(L, -1);
    int err = 0;
    if (childType == LUA_TTABLE) {
        if (depth == 2)
            err = ERR_MENUCOMPLEXITY;
        else
            err = BuildMenuTree(L, lua_gettop(L), depth + 1, &item->children);
        lua_settop(L, -2);
    } else if (childType != LUA_TNIL) {
        lua_settop(L, -2);
        err = ERR_TABLEORNIL;
    } else {
        lua_settop(L, -2);
        // Read by hand: a reader that raises would lose the tree built so far.
        lua_pushstring(L, "flags");
        lua_gettable(L, entry);
        const int type = lua_type(L, -1);
        if (type == LUA_TNUMBER)
            item->flags = uint32_t(int32_t(lua_tonumber(L, -1)));
        else if (type != LUA_TNIL)
            err = ERR_NUMTABLEARG;
        lua_settop(L, -2);
        if (!err && (item->flags & CX_MENU_TOGGLE) && (item->flags & CX_MENU_RADIO)) err = ERR_RADIOTOGGLEMENU;
        if (!err) err = OptionalString(L, entry, "id", &item->id);
        if (!err) err = OptionalString(L, entry, "hotkey", &item->hotkey);
    }
    if (err) {
        FreeMenuTree(item);
        return err;
    }
    *out = item;
    return 0;
}

// The item-state commands' common checks; *item on success.
int ResolveItem(lua_State *L, cxDisplay **display, cxMenuItem **item, cxMenuItem **group) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (GetDisplayAdapter()) return ERR_DISPLAYADAPTERSUPPORT;
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    const char *itemId = GetStringArgChecked(L, 2, nullptr, 0, nullptr);
    if (!id.pointer && id.number == 0) return ERR_NOCONTEXTMENU;
    cxDisplay *d = nullptr;
    if (int err = FindDisplay(id, &d)) return err;
    if (!d->menu) return ERR_NOMENU;
    if (d->os.state == CX_DISPLAY_CLOSED) return ERR_CLOSEDDISPLAY;
    if (d->os.fullscreen) return ERR_FULLSCREEN;
    cxMenuItem *found = FindMenuItem(d->menu->root, itemId, group);
    if (!found) {
        SetErrorDetail(itemId);
        return ERR_FINDMENUITEM;
    }
    *display = d;
    *item = found;
    return 0;
}

int SetItemState(lua_State *L, uint32_t set, uint32_t clear, bool needsToggle, bool refuseRadio) {
    cxDisplay *d = nullptr;
    cxMenuItem *item = nullptr, *group = nullptr;
    if (int err = ResolveItem(L, &d, &item, &group)) return err;
    const bool toggleOrRadio = item->flags & (CX_MENU_TOGGLE | CX_MENU_RADIO);
    if (needsToggle && !toggleOrRadio) return ERR_WRONGUSAGE;
    if (refuseRadio && (item->flags & CX_MENU_RADIO)) return ERR_WRONGUSAGE;
    if ((set & CX_MENU_SELECTED) && (item->flags & CX_MENU_RADIO)) {
        // One item of a radio run is selected at a time.
        for (cxMenuItem *i = group; i && (i->flags & CX_MENU_RADIO); i = i->next)
            if (i != item) g_set(d, i, 0, CX_MENU_SELECTED);
    }
    return g_set(d, item, set, clear);
}

int QueryItemState(lua_State *L, uint32_t bit, bool needsToggle) {
    cxDisplay *d = nullptr;
    cxMenuItem *item = nullptr, *group = nullptr;
    if (int err = ResolveItem(L, &d, &item, &group)) return err;
    if (needsToggle && !(item->flags & (CX_MENU_TOGGLE | CX_MENU_RADIO))) return ERR_WRONGUSAGE;
    uint32_t bits = 0;
    if (int err = g_get(d, item, &bits)) return err;
    lua_pushnumber(L, (bits & bit) ? 1 : 0);
    return 1;
}

}  // namespace

extern "C" int BuildMenuTree(lua_State *L, int table, int depth, cxMenuItem **out) {
    *out = nullptr;
    cxMenuItem *head = nullptr, **tail = &head;
    for (int i = 0;; ++i) {
        lua_rawgeti(L, table, i);
        const int entry = lua_gettop(L);
        if (lua_isnil(L, entry)) {
            lua_settop(L, entry - 1);
            break;
        }
        int err = lua_istable(L, entry) ? BuildEntry(L, entry, depth, tail) : ERR_TABLEORNIL;
        lua_settop(L, entry - 1);
        if (err) {
            FreeMenuTree(head);
            return err;
        }
        tail = &(*tail)->next;
    }
    *out = head;
    return 0;
}

extern "C" void FreeMenuTree(cxMenuItem *tree) {
    while (tree) {
        cxMenuItem *next = tree->next;
        FreeMenuTree(tree->children);
        free(tree->id);
        free(tree->hotkey);
        free(tree);
        tree = next;
    }
}

extern "C" cxMenuItem *FindMenuItem(cxMenuItem *tree, const char *id, cxMenuItem **groupHead) {
    cxMenuItem *runHead = nullptr;
    for (cxMenuItem *i = tree; i; i = i->next) {
        if (i->flags & CX_MENU_RADIO) {
            if (!runHead) runHead = i;
        } else {
            runHead = nullptr;
        }
        if (i->id && strcasecmp(i->id, id) == 0) {
            if (groupHead) *groupHead = runHead;
            return i;
        }
        if (cxMenuItem *found = FindMenuItem(i->children, id, groupHead)) return found;
    }
    return nullptr;
}

extern "C" int FindMenu(cxObjectID id, cxMenu **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_menus, id, &h)) return err;
    *out = reinterpret_cast<cxMenu *>(h);
    return 0;
}

extern "C" cxObjectList *GetMenuObjectList(void) { return &g_menus; }

namespace {
void FreeMenuRecord(lua_State *L, cxMenu *m) {
    FreeMenuTree(m->root);
    FreeObjectDataList(L, m->header.data);
    free(m);
}
}  // namespace

extern "C" void FreeAllMenus(lua_State *L) {
    while (cxObjectHeader *h = g_menus.first) {
        RemoveObject(&g_menus, h);
        FreeMenuRecord(L, reinterpret_cast<cxMenu *>(h));
    }
}

extern "C" void SetMenuStateHooks(cxMenuStateSetter set, cxMenuStateGetter get) {
    g_set = set ? set : KeepState;
    g_get = get ? get : ReadState;
}

extern "C" int CmdCreateMenu(lua_State *L) {
    CheckArgCount(L, 2, 2, 6, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    if (!lua_istable(L, 2)) return ERR_TABLEORNIL;
    cxMenuItem *tree = nullptr;
    if (int err = BuildMenuTree(L, 2, 0, &tree)) return err;
    if (!tree) return ERR_EMPTYMENUTREE;
    if (!id.wasNil) {
        cxObjectHeader *old = LookupObject(&g_menus, cxObjectID{id.value, nullptr});
        if (old) {
            for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
                if (d->menu == reinterpret_cast<cxMenu *>(old)) {
                    FreeMenuTree(tree);
                    return ERR_MENUATTACHED;
                }
            RemoveObject(&g_menus, old);
            FreeMenuRecord(L, reinterpret_cast<cxMenu *>(old));
        }
    }
    auto *m = static_cast<cxMenu *>(calloc(1, sizeof(cxMenu)));
    if (!m) {
        FreeMenuTree(tree);
        return ERR_MEM;
    }
    InitObjectHeader(&m->header, CX_OBJECT_MENU, id.value, id.wasNil);
    m->root = tree;
    AddObject(&g_menus, &m->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&m->header)) : 0;
}

extern "C" int CmdFreeMenu(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxMenu *m = nullptr;
    if (int err = FindMenu(id, &m)) return err;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->menu == m) return ERR_MENUATTACHED;
    RemoveObject(&g_menus, &m->header);
    FreeMenuRecord(L, m);
    return 0;
}

extern "C" int CmdSelectMenuItem(lua_State *L) { return SetItemState(L, CX_MENU_SELECTED, 0, true, false); }
extern "C" int CmdDeselectMenuItem(lua_State *L) { return SetItemState(L, 0, CX_MENU_SELECTED, true, true); }
extern "C" int CmdIsMenuItemSelected(lua_State *L) { return QueryItemState(L, CX_MENU_SELECTED, true); }
extern "C" int CmdDisableMenuItem(lua_State *L) { return SetItemState(L, CX_MENU_DISABLED, 0, false, false); }
extern "C" int CmdEnableMenuItem(lua_State *L) { return SetItemState(L, 0, CX_MENU_DISABLED, false, false); }
extern "C" int CmdIsMenuItemDisabled(lua_State *L) { return QueryItemState(L, CX_MENU_DISABLED, false); }
