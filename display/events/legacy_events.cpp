#include "display/events/legacy_events.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "display/backend.h"
#include "display/events/buttons.h"
#include "display/events/dispatcher.h"
#include "display/events/event_sources.h"
#include "display/display_record.h"
#include "display/events/event_pump.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"

namespace {

struct LegacyState {
    cxLegacyEvent *head = nullptr; // in creation order
    // The ALL switches: click, right click, over, key-down.
    uint32_t all[4] = {0, 0, 0, 0};
    int32_t eventCode = 0;
    cxLegacyEvent *underPointer = nullptr; // for WhileMouseOn
    uint32_t keyCode = 0;                  // for WhileKeyDown
    int label = -1;                        // position of the selected label
};

LegacyState g;

// Window events that have labels, by entry type 6..10.
constexpr uint32_t kWindowEventOf[5] = {4, 5, 6, 8, 7};
const char *const kWindowLabel[5] = {"MOVEWINDOW", "SIZEWINDOW", "INACTIVEWINDOW", "ACTIVEWINDOW", "CLOSEWINDOW"};
const char *const kAllLabel[4] = {"ONBUTTONCLICKALL", "ONBUTTONRIGHTCLICKALL", "ONBUTTONOVERALL", "ONKEYDOWNALL"};

void FreeEntry(cxLegacyEvent *e) {
    free(e->key);
    free(e);
}

void Unlink(cxLegacyEvent *e) {
    for (cxLegacyEvent **p = &g.head; *p; p = &(*p)->next)
        if (*p == e) {
            *p = e->next;
            break;
        }
    // WhileMouseOn must not follow a freed entry.
    if (g.underPointer == e) g.underPointer = nullptr;
    FreeEntry(e);
}

void Append(cxLegacyEvent *e) {
    cxLegacyEvent **p = &g.head;
    while (*p) p = &(*p)->next;
    *p = e;
}

cxLegacyEvent *NewEntry(uint32_t type, uint32_t id) {
    auto *e = static_cast<cxLegacyEvent *>(calloc(1, sizeof(cxLegacyEvent)));
    if (!e) return nullptr;
    e->type = type;
    e->id = id;
    e->enabled = 1;
    return e;
}

cxLegacyEvent *First(uint32_t type, uint32_t id) {
    for (cxLegacyEvent *e = g.head; e; e = e->next)
        if (e->type == type && e->id == id) return e;
    return nullptr;
}

// Numbers wrap into 32 bits, as the interpreter's integer conversions do.
int32_t IntArg(lua_State *L, int index) { return luaL_numbertoint(luaL_checknumber(L, index)); }

bool Inside(const cxLegacyEvent *e, int32_t x, int32_t y) {
    return x >= e->x1 && x <= e->x2 && y >= e->y1 && y <= e->y2;
}

bool DisplayExists(const cxDisplay *d) {
    for (const cxDisplay *x = GetFirstDisplay(); x; x = GetNextDisplay(x))
        if (x == d) return true;
    return false;
}

// The label an entry gives for a queued event; false when it does not
// match the event.
bool LabelFor(const cxLegacyEvent *e, const cxEventInfo &ev, char name[48]) {
    switch (e->type) {
    case CX_LEGACY_BUTTONCLICK:
    case CX_LEGACY_BUTTONRIGHTCLICK: {
        const bool left = e->type == CX_LEGACY_BUTTONCLICK;
        if (ev.type != (left ? 1u : 2u) || !ev.c) return false;
        int32_t x, y;
        WindowToPicture(ev.display, int32_t(ev.a), int32_t(ev.b), &x, &y);
        if (!Inside(e, x, y)) return false;
        if (g.all[left ? 0 : 1])
            snprintf(name, 48, "%s", kAllLabel[left ? 0 : 1]);
        else
            snprintf(name, 48, left ? "ONBUTTONCLICK%d" : "ONBUTTONRIGHTCLICK%d", int32_t(e->id));
        return true;
    }
    case CX_LEGACY_KEYDOWN: {
        if (ev.type != 3 || !ev.a || !e->key) return false;
        // Every row of the key-name table the keyboard can send, else the
        // character itself.
        char text[32];
        KeyEventText(ev.c, 1, text);
        if (!text[0] || strcasecmp(text, e->key)) return false;
        if (g.all[3])
            snprintf(name, 48, "%s", kAllLabel[3]);
        else
            snprintf(name, 48, "ONKEYDOWN%d", int32_t(e->id));
        return true;
    }
    default:
        if (e->type < CX_LEGACY_MOVEWINDOW || e->type > CX_LEGACY_CLOSEWINDOW) return false;
        if (ev.type != kWindowEventOf[e->type - CX_LEGACY_MOVEWINDOW]) return false;
        snprintf(name, 48, "%s", kWindowLabel[e->type - CX_LEGACY_MOVEWINDOW]);
        return true;
    }
}

int SetEventEnabled(lua_State *L, uint32_t on) {
    CheckArgCount(L, 2, 2, 0, 0);
    const uint32_t type = uint32_t(IntArg(L, 1));
    const uint32_t id = uint32_t(IntArg(L, 2));
    if (type == CX_LEGACY_CLOSEWINDOW)
        if (cxDisplay *d = GetCurrentDisplay()) d->closeHandled = on;
    if (type >= CX_LEGACY_CLICKALL && type <= CX_LEGACY_KEYDOWNALL) g.all[type - CX_LEGACY_CLICKALL] = on;
    if (cxLegacyEvent *e = First(type, id)) e->enabled = on;
    return 0;
}

const uint32_t kButtonTypes[3] = {CX_LEGACY_BUTTONOVER, CX_LEGACY_BUTTONCLICK, CX_LEGACY_BUTTONRIGHTCLICK};

}  // namespace

extern "C" int HasLegacyEvents(void) { return g.head != nullptr; }

extern "C" int MatchQueuedLegacyLabels(lua_State *L) {
    for (uint32_t i = 0;; i++) {
        cxEventInfo ev{};
        if (!FetchEvent(L, i, &ev, 0)) return 0;
        if (ev.type == 0 || !ev.display || !DisplayExists(ev.display)) continue;
        for (cxLegacyEvent *e = g.head; e; e = e->next) {
            char name[48];
            if (!e->enabled || !LabelFor(e, ev, name)) continue;
            const int position = luaL_getlabel(L, name);
            if (position < 0) continue;
            g.label = position;
            if (e->type == CX_LEGACY_KEYDOWN) g.keyCode = ev.c;
            if (e->type <= CX_LEGACY_BUTTONRIGHTCLICK) g.eventCode = int32_t(e->id);
            DropEvents(L, i, 0);
            return 1;
        }
    }
}

extern "C" int MatchLegacyOverLabel(lua_State *L) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d || d->os.state == CX_DISPLAY_CLOSED) return 0;
    int32_t wx, wy, x, y;
    GetDisplayMousePos(d, &wx, &wy);
    WindowToPicture(d, wx, wy, &x, &y);
    for (cxLegacyEvent *e = g.head; e; e = e->next) {
        if (!e->enabled || e->type != CX_LEGACY_BUTTONOVER || !Inside(e, x, y)) continue;
        g.underPointer = e;
        char name[48];
        if (g.all[2])
            snprintf(name, sizeof name, "%s", kAllLabel[2]);
        else
            snprintf(name, sizeof name, "ONBUTTONOVER%d", int32_t(e->id));
        const int position = luaL_getlabel(L, name);
        if (position < 0) continue;
        g.label = position;
        g.eventCode = int32_t(e->id);
        return 1;
    }
    return 0;
}

extern "C" cxLegacyCaller GetLegacyCaller(lua_State *L) {
    cxLegacyCaller c{lua_getcallinstr(L), CX_CALLER_NONE};
    lua_Debug ar;
    // Level 0 is the command itself, level 1 its caller.
    if (!lua_getstack(L, 1, &ar) || !lua_getinfo(L, "S", &ar) || !strcmp(ar.what, "C")) return c;
    // The main chunk is the outermost script function: handlers and
    // functions it calls have script frames below them.
    c.kind = CX_CALLER_MAIN;
    for (int level = 2; lua_getstack(L, level, &ar); level++)
        if (lua_getinfo(L, "S", &ar) && strcmp(ar.what, "C")) {
            c.kind = CX_CALLER_FUNCTION;
            break;
        }
    return c;
}

extern "C" int JumpToLegacyLabel(lua_State *L, const cxLegacyCaller *caller) {
    if (caller->kind == CX_CALLER_FUNCTION) return ERR_FUNCJMP;
    // Without a script caller there is nowhere to jump: the interpreter's
    // C entry points take -2 as no results.
    lua_setjumpoffset(L, caller->kind == CX_CALLER_MAIN ? g.label - (caller->callIndex + 1) : 0);
    return -2;
}

extern "C" int AddLegacyEventByName(lua_State *, const char *name) {
    static const char *const kNames[9] = {"MOVEWINDOW",       "SIZEWINDOW",           "INACTIVEWINDOW",
                                          "ACTIVEWINDOW",     "CLOSEWINDOW",          "ONBUTTONCLICKALL",
                                          "ONBUTTONRIGHTCLICKALL", "ONBUTTONOVERALL", "ONKEYDOWNALL"};
    if (!name) return 0;
    for (uint32_t i = 0; i < 9; i++) {
        if (strcasecmp(name, kNames[i])) continue;
        const uint32_t type = CX_LEGACY_MOVEWINDOW + i;
        cxLegacyEvent *e = NewEntry(type, 0);
        if (!e) return ERR_MEM;
        Append(e);
        if (type == CX_LEGACY_CLOSEWINDOW)
            if (cxDisplay *d = GetCurrentDisplay()) d->closeHandled = 1;
        if (type >= CX_LEGACY_CLICKALL) g.all[type - CX_LEGACY_CLICKALL] = 1;
        return 0;
    }
    return 0;
}

extern "C" uint32_t GetLegacyKeyCode(void) { return g.keyCode; }

extern "C" void ResetLegacyEvents(void) {
    while (cxLegacyEvent *e = g.head) {
        g.head = e->next;
        FreeEntry(e);
    }
    g = LegacyState{};
}

extern "C" int CmdCreateButton(lua_State *L) {
    CheckArgCount(L, 5, 5, 0, 0);
    const uint32_t id = uint32_t(IntArg(L, 1));
    const int32_t x1 = IntArg(L, 2), y1 = IntArg(L, 3), x2 = IntArg(L, 4), y2 = IntArg(L, 5);
    cxLegacyEvent *made[3] = {};
    for (int i = 0; i < 3; i++) {
        made[i] = NewEntry(kButtonTypes[i], id);
        if (!made[i]) {
            for (cxLegacyEvent *e : made) free(e);
            return ERR_MEM;
        }
        made[i]->x1 = x1;
        made[i]->y1 = y1;
        made[i]->x2 = x2;
        made[i]->y2 = y2;
    }
    for (cxLegacyEvent *e : made) Append(e);
    return 0;
}

extern "C" int CmdModifyButton(lua_State *L) {
    CheckArgCount(L, 5, 5, 0, 0);
    const uint32_t id = uint32_t(IntArg(L, 1));
    const int32_t x1 = IntArg(L, 2), y1 = IntArg(L, 3), x2 = IntArg(L, 4), y2 = IntArg(L, 5);
    for (uint32_t type : kButtonTypes)
        if (cxLegacyEvent *e = First(type, id)) {
            e->x1 = x1;
            e->y1 = y1;
            e->x2 = x2;
            e->y2 = y2;
        }
    return 0;
}

extern "C" int CmdRemoveButton(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const uint32_t id = uint32_t(IntArg(L, 1));
    for (uint32_t type : kButtonTypes)
        if (cxLegacyEvent *e = First(type, id)) Unlink(e);
    return 0;
}

extern "C" int CmdCreateKeyDown(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const uint32_t id = uint32_t(IntArg(L, 1));
    const char *key = GetStringArgChecked(L, 2, nullptr, 0, nullptr);
    cxLegacyEvent *e = NewEntry(CX_LEGACY_KEYDOWN, id);
    if (!e) return ERR_MEM;
    e->key = strdup(key);
    if (!e->key) {
        free(e);
        return ERR_MEM;
    }
    Append(e);
    return 0;
}

extern "C" int CmdModifyKeyDown(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const uint32_t id = uint32_t(IntArg(L, 1));
    const char *key = GetStringArgChecked(L, 2, nullptr, 0, nullptr);
    cxLegacyEvent *e = First(CX_LEGACY_KEYDOWN, id);
    if (!e) return 0;
    char *copy = strdup(key);
    if (!copy) return ERR_MEM;
    free(e->key);
    e->key = copy;
    return 0;
}

extern "C" int CmdRemoveKeyDown(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (cxLegacyEvent *e = First(CX_LEGACY_KEYDOWN, uint32_t(IntArg(L, 1)))) Unlink(e);
    return 0;
}

extern "C" int CmdEnableEvent(lua_State *L) { return SetEventEnabled(L, 1); }
extern "C" int CmdDisableEvent(lua_State *L) { return SetEventEnabled(L, 0); }

extern "C" int CmdClearEvents(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    while (g.head) Unlink(g.head);
    return 0;
}

extern "C" int CmdGetEventCode(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, g.eventCode);
    return 1;
}

extern "C" int CmdBreakWhileMouseOn(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    g.underPointer = nullptr;
    return 0;
}

extern "C" int CmdWhileMouseOn(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxLegacyCaller caller = GetLegacyCaller(L);
    const int base = lua_gettop(L);
    for (;;) {
        // Re-read each turn: a handler may have broken the wait, removed
        // the entry or closed the display.
        const cxLegacyEvent *e = g.underPointer;
        cxDisplay *d = GetCurrentDisplay();
        if (!e || !d) return 0;
        int32_t wx, wy, x, y;
        GetDisplayMousePos(d, &wx, &wy);
        WindowToPicture(d, wx, wy, &x, &y);
        if (!Inside(e, x, y)) return 0;
        cxEventMessage msg{};
        uint32_t stop = 0;
        const int r = DispatchEvents(L, 1, &stop, &msg);
        // A handler's table and results are nobody's here.
        lua_settop(L, base);
        if (r == -1) return JumpToLegacyLabel(L, &caller);
        if (r) return r;
        // Only an idle dispatcher waits: queued work is served first.
        if (stop || msg.type || GetDispatchPhase() != 0) continue;
        if (int err = WaitForEvent(L, 1, 0, nullptr)) return err;
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code;
    }
}
