// Legacy event labels: rectangles, keys and window events that make the
// interpreter jump to a label of the main chunk named after them
// ("ONBUTTONCLICK1", "ONKEYDOWN2", "CLOSEWINDOW" ...), the way older
// applets react to input. The dispatcher matches them; the waiting
// commands turn a match into the jump.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Entry types; 11 to 14 are the "ALL" switches. */
enum {
    CX_LEGACY_BUTTONOVER = 1, CX_LEGACY_BUTTONCLICK = 2, CX_LEGACY_KEYDOWN = 3, CX_LEGACY_BUTTONRIGHTCLICK = 5,
    CX_LEGACY_MOVEWINDOW = 6, CX_LEGACY_SIZEWINDOW = 7, CX_LEGACY_INACTIVEWINDOW = 8, CX_LEGACY_ACTIVEWINDOW = 9,
    CX_LEGACY_CLOSEWINDOW = 10, CX_LEGACY_CLICKALL = 11, CX_LEGACY_RIGHTCLICKALL = 12, CX_LEGACY_OVERALL = 13,
    CX_LEGACY_KEYDOWNALL = 14
};

typedef struct cxLegacyEvent {
    struct cxLegacyEvent *next;
    uint32_t type;
    uint32_t id;
    int32_t x1, y1, x2, y2; /* inclusive, picture pixels */
    char *key;              /* key-down entries: own copy of the key name */
    uint32_t enabled;
} cxLegacyEvent;

/* Where the running command was called from, read before it runs any
   script code (a handler's calls move the interpreter's call word). */
typedef struct cxLegacyCaller {
    int callIndex; /* index of the call instruction in the caller's code */
    int kind;      /* CX_CALLER_MAIN, CX_CALLER_FUNCTION or CX_CALLER_NONE */
} cxLegacyCaller;
enum { CX_CALLER_NONE = 0, CX_CALLER_MAIN = 1, CX_CALLER_FUNCTION = 2 };
cxLegacyCaller GetLegacyCaller(lua_State *L);
/* Turns the selected label into the command's result: -2 with the jump
   offset set (the script resumes at the instruction before the call once
   the label returns), ERR_FUNCJMP when the caller is a script function
   other than the main chunk (labels belong to the main chunk), -2 without
   a jump when no script called the command. */
int JumpToLegacyLabel(lua_State *L, const cxLegacyCaller *caller);

/* Adds the entry for a label an applet declares under a constant's name
   (ONBUTTONCLICKALL ... CLOSEWINDOW): an entry of that type with id 0; the
   ALL names also switch their pass on, CLOSEWINDOW marks the current
   display's close as handled. Other names are ignored. 0 or ERR_MEM. */
int AddLegacyEventByName(lua_State *L, const char *name);

/* The key code of the legacy key-down that fired last (0: none). */
uint32_t GetLegacyKeyCode(void);
/* Frees every entry and resets the switches (library start, clean-up). */
void ResetLegacyEvents(void);

int CmdCreateButton(lua_State *L);
int CmdModifyButton(lua_State *L);
int CmdRemoveButton(lua_State *L);
int CmdCreateKeyDown(lua_State *L);
int CmdModifyKeyDown(lua_State *L);
int CmdRemoveKeyDown(lua_State *L);
int CmdEnableEvent(lua_State *L);
int CmdDisableEvent(lua_State *L);
int CmdClearEvents(lua_State *L);
int CmdGetEventCode(lua_State *L);
int CmdBreakWhileMouseOn(lua_State *L);
/* Runs the dispatcher while the pointer stays on the legacy button that
   fired last. */
int CmdWhileMouseOn(lua_State *L);

#ifdef __cplusplus
}
#endif
