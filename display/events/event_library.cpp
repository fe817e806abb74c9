#include "display/events/event_library.h"

#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string>

#include "display/events/buttons.h"
#include "display/events/dispatcher.h"
#include "display/display_record.h"
#include "display/events/event_notices.h"
#include "display/events/event_posting.h"
#include "display/events/event_pump.h"
#include "display/events/event_types.h"
#include "display/events/intervals.h"
#include "display/events/plugin_timers.h"
#include "display/events/event_waits.h"
#include "display/events/input_commands.h"
#include "display/events/legacy_events.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/runtime.h"
#include "display/backend.h"
#include "engine/vm/lauxlib.h"
#include "platform/os_timers.h"

namespace {

void Release(lua_State *L, int32_t &ref) {
    if (ref != -1) luaL_unref(L, LUA_REGISTRYINDEX, ref);
    ref = -1;
}

// One slot from the handler table at index 1: nil keeps it, a number
// removes it, a function replaces it.
int UpdateSlot(lua_State *L, cxHandlerSlot &slot, const char *name, bool withUserData) {
    lua_pushstring(L, name);
    lua_gettable(L, 1);
    const int t = lua_type(L, -1);
    if (t == LUA_TNIL) {
        lua_pop(L, 1);
        return 0;
    }
    if (t == LUA_TNUMBER) {
        lua_pop(L, 1);
        Release(L, slot.function);
        Release(L, slot.userData);
        return 0;
    }
    if (t != LUA_TFUNCTION) {
        lua_pop(L, 1);
        return ERR_FUNCEXPECTED;
    }
    Release(L, slot.function);
    slot.function = luaL_ref(L, LUA_REGISTRYINDEX);
    if (withUserData) {
        Release(L, slot.userData);
        lua_pushvalue(L, 2);
        slot.userData = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    return 0;
}

// The network handlers are polled by the dispatcher: while one is
// installed, the shared tick wakes the main thread's wait.
bool AnyNetworkHandler() {
    for (int i : {CX_GSLOT_ONCONNECT, CX_GSLOT_ONDISCONNECT, CX_GSLOT_ONRECEIVEDATA, CX_GSLOT_ONRECEIVEUDPDATA})
        if (GetGlobalHandler(i)->function != -1) return true;
    return false;
}

bool EventsBlocked() {
    int on = 0;
    GetKernelTags(nullptr, CX_KTAG_EVENTSBLOCKED, &on, CX_KTAG_END);
    return on != 0;
}

// CheckEvent and CheckEvents first let an adapter deliver its input.
int PumpForCheck(lua_State *L, bool *stopped) {
    *stopped = false;
    if (!HasDisplayAdapter()) return 0;
    int code = 0;
    if (ProcessEvents(L, CX_PUMP_CHECK, 0, &code)) {
        *stopped = true;
        return code;
    }
    return 0;
}

// Starts or continues a cycle until a handler ran or the cycle ended.
int DispatchUntilHandler(lua_State *L, cxEventMessage *msg, uint32_t *stop) {
    do {
        if (int err = DispatchEvents(L, 0, stop, msg)) return err;
        if (msg->type) return 0;
    } while (GetDispatchPhase() != 0 && !*stop);
    return 0;
}

const luaL_reg kCommands[] = {
    {"InstallEventHandler", CmdInstallEventHandler},
    {"WaitEvent", CmdWaitEvent},
    {"CheckEvent", CmdCheckEvent},
    {"CheckEvents", CmdCheckEvents},
    {"BreakEventHandler", CmdBreakEventHandler},
    {"WaitLeftMouse", CmdWaitLeftMouse},
    {"WaitRightMouse", CmdWaitRightMouse},
    {"WaitMidMouse", CmdWaitMidMouse},
    {"WhileMouseDown", CmdWhileMouseDown},
    {"WhileRightMouseDown", CmdWhileRightMouseDown},
    {"MouseX", CmdMouseX},
    {"MouseY", CmdMouseY},
    {"IsLeftMouse", CmdIsLeftMouse},
    {"IsRightMouse", CmdIsRightMouse},
    {"IsMidMouse", CmdIsMidMouse},
    {"CtrlCQuit", CmdCtrlCQuit},
    {"LeftMouseQuit", CmdLeftMouseQuit},
    {"EscapeQuit", CmdEscapeQuit},
    {"SetEventTimeout", CmdSetEventTimeout},
    {"FreeEventCache", CmdFreeEventCache},
    {"SetInterval", CmdSetInterval},
    {"ClearInterval", CmdClearInterval},
    {"ChangeInterval", CmdChangeInterval},
    {"SetTimeout", CmdSetTimeout},
    {"ClearTimeout", CmdClearTimeout},
    {"WaitKeyDown", CmdWaitKeyDown},
    {"IsKeyDown", CmdIsKeyDown},
    {"ResetKeyStates", CmdResetKeyStates},
    {"CountJoysticks", CmdCountJoysticks},
    {"JoyDir", CmdJoyDir},
    {"JoyFire", CmdJoyFire},
    {"ShowKeyboard", CmdShowKeyboard},
    {"HideKeyboard", CmdHideKeyboard},
    {"CreatePort", CmdCreatePort},
    {"SendMessage", CmdSendMessage},
    {"MakeButton", CmdMakeButton},
    {"DeleteButton", CmdDeleteButton},
    {"EnableButton", CmdEnableButton},
    {"DisableButton", CmdDisableButton},
    {"DumpButtons", CmdDumpButtons},
    {"CreateButton", CmdCreateButton},
    {"ModifyButton", CmdModifyButton},
    {"RemoveButton", CmdRemoveButton},
    {"CreateKeyDown", CmdCreateKeyDown},
    {"ModifyKeyDown", CmdModifyKeyDown},
    {"RemoveKeyDown", CmdRemoveKeyDown},
    {"EnableEvent", CmdEnableEvent},
    {"DisableEvent", CmdDisableEvent},
    {"ClearEvents", CmdClearEvents},
    {"GetEventCode", CmdGetEventCode},
    {"BreakWhileMouseOn", CmdBreakWhileMouseOn},
    {"WhileMouseOn", CmdWhileMouseOn},
    {"WhileKeyDown", CmdWhileKeyDown},
    {nullptr, nullptr},
};

}  // namespace

extern "C" int CmdInstallEventHandler(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (lua_type(L, 1) != LUA_TTABLE) return ERR_TABEXPECTED;
    const bool withUserData = lua_gettop(L) >= 2;
    const bool netBefore = AnyNetworkHandler();
    cxDisplay *d = GetCurrentDisplay();
    int err = 0;
    for (int i = 0; d && !err && i < CX_DISPLAY_HANDLER_SLOTS; i++)
        err = UpdateSlot(L, d->handlers[i], kDisplayHandlerNames[i], withUserData);
    for (int i = 0; !err && i < CX_GLOBAL_HANDLER_SLOTS; i++)
        err = UpdateSlot(L, *GetGlobalHandler(i), kGlobalHandlerNames[i], withUserData);
    for (cxEventType *t = GetFirstEventType(); t && !err; t = t->next) {
        std::string lower(t->name);
        for (char &c : lower) c = char(tolower(static_cast<unsigned char>(c)));
        err = UpdateSlot(L, t->slot, lower.c_str(), withUserData);
    }
    // Slots changed before a bad field stay changed: the tick follows them.
    const bool netAfter = AnyNetworkHandler();
    if (!netBefore && netAfter)
        if (int tickErr = OsAcquireTickInterval(L, 0)) return err ? err : tickErr;
    if (netBefore && !netAfter) OsReleaseTickInterval(L, 0);
    if (err) return err;
    // The kernel decides from these whether sound and video notices are kept.
    SetKernelTags(L, CX_KTAG_ONSAMPLELOOP, GetGlobalHandler(CX_GSLOT_ONSAMPLELOOP)->function != -1,
                  CX_KTAG_ONSAMPLEEND, GetGlobalHandler(CX_GSLOT_ONSAMPLEEND)->function != -1,
                  CX_KTAG_ONMUSICEND, GetGlobalHandler(CX_GSLOT_ONMUSICEND)->function != -1,
                  CX_KTAG_ONVIDEOEND, GetGlobalHandler(CX_GSLOT_ONVIDEOEND)->function != -1, CX_KTAG_END);
    return 0;
}

extern "C" int WaitOrCheckEvent(lua_State *L, int wait, int checkOnly, int skipNestingTest, int *done) {
    if (wait && !skipNestingTest) {
        int nesting = 0;
        GetKernelTags(L, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_END);
        if (nesting) return ERR_WRONGUSAGE;
    }
    const int base = lua_gettop(L);
    cxEventMessage msg{};
    uint32_t stop = 0;
    if (int err = DispatchUntilHandler(L, &msg, &stop)) return err;
    while (wait && !msg.type) {
        // While the output is recorded to a video the wait only pumps.
        if (!IsRecordingVideo())
            if (int err = WaitForEvent(L, 0, 0, nullptr)) return err;
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITEVENT, 0, &code)) return code;
        stop = 0;
        if (int err = DispatchUntilHandler(L, &msg, &stop)) return err;
    }
    // A registered type that pushes its own arguments keeps no results: as
    // far as the caller sees, no handler ran.
    if (msg.type == CX_MSG_PLUGIN && msg.pluginType && msg.pluginType->kind == 1) msg.type = 0;
    if (checkOnly) {
        lua_settop(L, base);
        if (done && !msg.type) *done = 1;
        return 0;
    }
    // Stack from base: the handler's table copy, then its results.
    const int nresults = msg.type ? msg.nresults : 0;
    lua_newtable(L);
    const int result = lua_gettop(L);
    lua_pushstring(L, "action");
    lua_pushstring(L, msg.type ? msg.action : "");
    lua_settable(L, result);
    lua_pushstring(L, "id");
    PushObjectID(L, msg.type ? msg.id : cxObjectID{0, nullptr});
    lua_settable(L, result);
    lua_pushstring(L, "nresults");
    lua_pushnumber(L, nresults);
    lua_settable(L, result);
    lua_pushstring(L, "triggered");
    lua_pushnumber(L, msg.type ? 1 : 0);
    lua_settable(L, result);
    if (nresults > 0) {
        lua_pushstring(L, "results");
        lua_newtable(L);
        for (int i = 0; i < nresults; i++) {
            lua_pushnumber(L, i);
            lua_pushvalue(L, base + 2 + i);
            lua_settable(L, -3);
        }
        lua_settable(L, result);
    }
    if (result != base + 1) lua_replace(L, base + 1);
    lua_settop(L, base + 1);
    return 1;
}

extern "C" int CmdWaitEvent(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxLegacyCaller caller = GetLegacyCaller(L);
    const int r = WaitOrCheckEvent(L, 1, 0, 0, nullptr);
    return r == -1 ? JumpToLegacyLabel(L, &caller) : r;
}

extern "C" int CmdCheckEvent(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    bool stopped = false;
    if (int err = PumpForCheck(L, &stopped); stopped) return err;
    if (EventsBlocked()) return 0;
    const cxLegacyCaller caller = GetLegacyCaller(L);
    const int r = WaitOrCheckEvent(L, 0, 0, 0, nullptr);
    return r == -1 ? JumpToLegacyLabel(L, &caller) : r;
}

extern "C" int CmdCheckEvents(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    bool stopped = false;
    if (int err = PumpForCheck(L, &stopped); stopped) return err;
    if (EventsBlocked()) return 0;
    const cxLegacyCaller caller = GetLegacyCaller(L);
    int done = 0;
    while (!done)
        if (int err = WaitOrCheckEvent(L, 0, 1, 0, &done)) return err == -1 ? JumpToLegacyLabel(L, &caller) : err;
    return 0;
}

extern "C" int CmdBreakEventHandler(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    ResetDispatcher();
    return 0;
}

extern "C" int OpenEventLibrary(lua_State *L) {
    ResetGlobalHandlers();
    ResetDispatcher();
    SetPostingState(L);
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "event")) return err;
    OpenEventConstants(L);
    InitIntervals();
    ResetLegacyEvents();
    return 0;
}

extern "C" void CleanupEvents(lua_State *L) {
    if (AnyNetworkHandler()) OsReleaseTickInterval(L, 0);
    for (int i = 0; i < CX_GLOBAL_HANDLER_SLOTS; i++) {
        cxHandlerSlot *s = GetGlobalHandler(i);
        Release(L, s->function);
        Release(L, s->userData);
    }
    FreeIntervals(L);
    FreePluginTimersOf(nullptr);
    FreeEventNotices(L);
    FreeAllButtons(L);
    ResetLegacyEvents();
    // Queued events of registered types are freed by their types' hooks,
    // which go with the types.
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    FreeEventTypes(L);
    SetPostingState(nullptr);
    ResetDispatcher();
}
