// The mouse waits and the While commands: each turn tests the condition on
// the current display, waits for the back-end and pumps.
#include "display/events/event_waits.h"

#include "display/display_record.h"
#include "display/events/event_pump.h"
#include "display/events/input_commands.h"
#include "display/events/legacy_events.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"

namespace {

// One waiting turn. Sets *end when the wait must stop: with a code to
// return, or 0 when the run is being ended (the VM raises it at its hook).
int Turn(lua_State *L, bool *end) {
    *end = false;
    if (int err = WaitForEvent(L, 1, 0, nullptr)) return err;
    int code = 0;
    if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) {
        *end = true;
        return code;
    }
    return 0;
}

// Turns while the button's held state equals `held`. false when the wait
// ended early (*err then holds the result).
bool TurnWhile(lua_State *L, int button, bool held, int *err) {
    for (;;) {
        // Re-read each turn: a handler may have closed or freed the display.
        cxDisplay *d = GetCurrentDisplay();
        if (!d) {
            *err = 0;
            return false;
        }
        if ((d->os.mouseButtons[button] != 0) != held) return true;
        bool end = false;
        *err = Turn(L, &end);
        if (*err || end) return false;
    }
}

int WaitButton(lua_State *L, int button) {
    CheckArgCount(L, 0, 0, 0, 0);
    int err = 0;
    // A button already held counts: only its release is awaited then.
    if (!TurnWhile(L, button, false, &err)) return err;
    if (!TurnWhile(L, button, true, &err)) return err;
    // The click that ended the wait must not reach handlers.
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    return 0;
}

int WhileButton(lua_State *L, int button) {
    CheckArgCount(L, 0, 0, 0, 0);
    int err = 0;
    TurnWhile(L, button, true, &err);
    return err;
}

// Turns while the key's (or any key's) down state equals `down`.
bool TurnWhileKey(lua_State *L, uint32_t code, int any, int raw, bool down, int *err) {
    for (;;) {
        cxDisplay *d = GetCurrentDisplay();
        if (!d) {
            *err = 0;
            return false;
        }
        if ((IsDisplayKeyDown(d, code, any, raw) != 0) != down) return true;
        bool end = false;
        *err = Turn(L, &end);
        if (*err || end) return false;
    }
}

}  // namespace

extern "C" int CmdWaitKeyDown(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    uint32_t code = 0;
    int any = 0;
    if (int err = ReadKeyArg(L, 1, &code, &any)) return err;
    const int raw = lua_gettop(L) >= 2 && luaL_checknumber(L, 2) != 0;
    int err = 0;
    // A key already down does not count: it must be released first.
    if (!TurnWhileKey(L, code, any, raw, true, &err)) return err;
    if (!TurnWhileKey(L, code, any, raw, false, &err)) return err;
    if (!TurnWhileKey(L, code, any, raw, true, &err)) return err;
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    return 0;
}

extern "C" int CmdWhileKeyDown(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    // Before any legacy key-down fired the code is 0, which is never down.
    int err = 0;
    if (const uint32_t code = GetLegacyKeyCode()) TurnWhileKey(L, code, 0, 0, true, &err);
    return err;
}

extern "C" int CmdWaitLeftMouse(lua_State *L) { return WaitButton(L, 0); }
extern "C" int CmdWaitRightMouse(lua_State *L) { return WaitButton(L, 1); }
extern "C" int CmdWaitMidMouse(lua_State *L) { return WaitButton(L, 2); }
extern "C" int CmdWhileMouseDown(lua_State *L) { return WhileButton(L, 0); }
extern "C" int CmdWhileRightMouseDown(lua_State *L) { return WhileButton(L, 1); }
