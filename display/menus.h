// Menu strips: menu objects built from nested script tables, attached to
// displays with the display option "menu", and the state of single items.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_OBJECT_MENU 57

enum { CX_MENU_TOGGLE = 1, CX_MENU_SELECTED = 2, CX_MENU_DISABLED = 4, CX_MENU_RADIO = 8 };

/* One node; the label text is stored right behind it. */
typedef struct cxMenuItem {
    struct cxMenuItem *next;
    const char *label; /* null for a separator */
    char *id;
    char *hotkey;
    uint32_t flags;
    struct cxMenuItem *children;
} cxMenuItem;

typedef struct cxMenu {
    cxObjectHeader header; /* kind 57 */
    cxMenuItem *root;      /* the strip: its entries' children are the menus */
} cxMenu;

/* Builds a tree from the table at index table (depth 0 for the strip). 0
   or an error; nothing is left behind on an error. */
int BuildMenuTree(lua_State *L, int table, int depth, cxMenuItem **out);
void FreeMenuTree(cxMenuItem *tree);
/* Depth first, ids compared case-insensitively; *groupHead (optional) is
   the first item of the radio run holding the found one. */
cxMenuItem *FindMenuItem(cxMenuItem *tree, const char *id, cxMenuItem **groupHead);

/* 0 and *out; ERR_FINDARRAY or ERR_FINDMENU. */
int FindMenu(cxObjectID id, struct cxMenu **out);
cxObjectList *GetMenuObjectList(void);
/* Frees every menu (clean-up). */
void FreeAllMenus(lua_State *L);

/* The window system's hold on item states (X11 keeps none and reports
   success): set hands set and clear bits, get answers the bits. */
typedef int (*cxMenuStateSetter)(void *display, cxMenuItem *item, uint32_t set, uint32_t clear);
typedef int (*cxMenuStateGetter)(void *display, cxMenuItem *item, uint32_t *bits);
void SetMenuStateHooks(cxMenuStateSetter set, cxMenuStateGetter get);

/* The script commands. */
int CmdCreateMenu(lua_State *L);
int CmdFreeMenu(lua_State *L);
int CmdSelectMenuItem(lua_State *L);
int CmdDeselectMenuItem(lua_State *L);
int CmdIsMenuItemSelected(lua_State *L);
int CmdDisableMenuItem(lua_State *L);
int CmdEnableMenuItem(lua_State *L);
int CmdIsMenuItemDisabled(lua_State *L);

#ifdef __cplusplus
}
#endif
