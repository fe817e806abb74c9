#include "display/events/dispatcher.h"

#include <cstdio>
#include <cstring>

#include "display/events/buttons.h"
#include "display/events/event_data.h"
#include "display/events/event_notices.h"
#include "display/events/event_sources.h"
#include "display/events/event_types.h"
#include "display/events/key_names.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/runtime/kernel.h"
#include "platform/os_time.h"
#include "platform/os_timers.h"
#include "engine/plugins/plugin_registry.h"

extern "C" const char *const kDisplayHandlerNames[CX_DISPLAY_HANDLER_SLOTS] = {
    "onkeydown", "onkeyup", "onmousemove", "closewindow", "movewindow", "sizewindow", "activewindow",
    "inactivewindow", "hidewindow", "showwindow", "onmousedown", "onmouseup", "onrightmousedown",
    "onrightmouseup", "onwheeldown", "onwheelup", "modeswitch", "ondropfile", "clipboardchange",
    "onmidmousedown", "onmidmouseup", "orientationchange", "showkeyboard", "hidekeyboard", "hotkey",
    "trayicon", "ontouch", "onapplicationmessage", "onmenuselect", "ondockyclick", "vanillakey",
    "onrawkeydown", "onrawkeyup", "onaccelerometer", "ongyroscope"};

extern "C" const char *const kGlobalHandlerNames[CX_GLOBAL_HANDLER_SLOTS] = {
    "onsampleloop", "onsampleend", "onmusicend", "onarexx", "onconnect", "ondisconnect", "onreceivedata",
    "onreceiveudpdata", "onvideoend", "onusermessage", "fillmusicbuffer", "runfinished", "directorychanged"};

namespace {

// Where the cycle resumes. Values follow the order of serving.
enum Phase : uint32_t {
    kIdle = 0, kTimers = 1, kNotices = 2, kPointer = 3, kQueue = 4, kUdp = 9, kConnect = 10, kData = 11,
    kClose = 12, kOverOut = 15
};

struct State {
    uint32_t phase = kIdle;
    cxOsTimer *timerIter = nullptr;   // fired timers: next platform timer to look at
    bool timerWalk = false;           // the walk has begun (a null iterator then ends it)
    cxDisplay *displayIter = nullptr; // pointer movement: next display to test
    // A mouse event the display's own handler got: its buttons get it on
    // the next call.
    struct {
        bool pending = false;
        cxDisplay *display = nullptr;
        uint32_t type = 0;
        int pressed = 0;
        int32_t x = 0, y = 0;
    } button;
    cxDisplay *overIter = nullptr; // over/out pass: next display
};

State g_state;
cxHandlerSlot g_global[CX_GLOBAL_HANDLER_SLOTS];
cxMusicFillQuery g_musicFillQuery = nullptr;
cxMusicCallbackFlag g_musicCallbackFlag = nullptr;

bool Installed(const cxHandlerSlot &s) { return s.function != -1; }

bool Installed(const cxDisplay *d, int slot) { return d->handlers[slot].function != -1; }

bool DisplayExists(const cxDisplay *d) {
    for (const cxDisplay *x = GetFirstDisplay(); x; x = GetNextDisplay(x))
        if (x == d) return true;
    return false;
}

void SetField(lua_State *L, const char *k, double v) {
    lua_pushstring(L, k);
    lua_pushnumber(L, v);
    lua_settable(L, -3);
}

void SetField(lua_State *L, const char *k, const char *v) {
    lua_pushstring(L, k);
    lua_pushstring(L, v);
    lua_settable(L, -3);
}

void SetIdField(lua_State *L, const char *k, cxObjectID id) {
    lua_pushstring(L, k);
    PushObjectID(L, id);
    lua_settable(L, -3);
}

cxObjectID DisplayID(const cxDisplay *d) { return d ? GetObjectID(&d->header) : cxObjectID{0, nullptr}; }

bool UserAbort() {
    int on = 0;
    GetKernelTags(nullptr, CX_KTAG_USERABORT, &on, CX_KTAG_END);
    return on != 0;
}

void Prepare(cxEventMessage *msg, uint32_t type, cxDisplay *d, const cxHandlerSlot *slot, const char *action) {
    msg->type = type;
    msg->display = d;
    msg->slot = slot;
    msg->pluginType = nullptr;
    msg->pluginData = nullptr;
    msg->args = nullptr;
    msg->noticeUserData = -1;
    snprintf(msg->action, sizeof msg->action, "%s", action);
    if (d) msg->id = DisplayID(d);
}

int EncodeUtf8(uint32_t c, char *out) {
    // Surrogates and values past the last plane are no characters.
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

struct SlotMap {
    int slot;
    const char *action;
    uint32_t messageType;
};

// Display events other than mouse and keys, by event type.
const SlotMap *PlainSlot(uint32_t type) {
    static const SlotMap map[] = {
        {-1, nullptr, 0},
        {-1, nullptr, 0},
        {-1, nullptr, 0},
        {-1, nullptr, 0},
        {CX_SLOT_MOVEWINDOW, "MoveWindow", CX_MSG_MOVE},
        {CX_SLOT_SIZEWINDOW, "SizeWindow", CX_MSG_SIZE},
        {CX_SLOT_INACTIVEWINDOW, "InactiveWindow", CX_MSG_PLAIN},
        {CX_SLOT_CLOSEWINDOW, "CloseWindow", CX_MSG_PLAIN},
        {CX_SLOT_ACTIVEWINDOW, "ActiveWindow", CX_MSG_PLAIN},
        {CX_SLOT_HIDEWINDOW, "HideWindow", CX_MSG_PLAIN},
        {CX_SLOT_SHOWWINDOW, "ShowWindow", CX_MSG_PLAIN},
        {-1, nullptr, 0},
        {-1, nullptr, 0},
        {CX_SLOT_MODESWITCH, "ModeSwitch", CX_MSG_MODESWITCH},
        {-1, nullptr, 0}, // drop files: payload tables not served yet
        {CX_SLOT_CLIPBOARDCHANGE, "ClipboardChange", CX_MSG_PLAIN},
        {-1, nullptr, 0},
        {CX_SLOT_ORIENTATIONCHANGE, "OrientationChange", 19},
        {CX_SLOT_SHOWKEYBOARD, "ShowKeyboard", CX_MSG_PLAIN},
        {CX_SLOT_HIDEKEYBOARD, "HideKeyboard", CX_MSG_PLAIN},
        {CX_SLOT_HOTKEY, "Hotkey", CX_MSG_PLAIN},
        {CX_SLOT_TRAYICON, "TrayIcon", CX_MSG_PLAIN},
        {CX_SLOT_ONTOUCH, "OnTouch", CX_MSG_BARE},
        {-1, nullptr, 0},
        {-1, nullptr, 0},
        {CX_SLOT_ONAPPLICATIONMESSAGE, "OnApplicationMessage", 23},
        {CX_SLOT_ONMENUSELECT, "OnMenuSelect", CX_MSG_MENUSELECT},
        {CX_SLOT_ONDOCKYCLICK, "OnDockyClick", CX_MSG_PLAIN},
        {CX_SLOT_VANILLAKEY, "VanillaKey", CX_MSG_KEY},
        {-1, nullptr, 0},
        {CX_SLOT_ONACCELEROMETER, "OnAccelerometer", 27},
        {CX_SLOT_ONGYROSCOPE, "OnGyroscope", 28},
    };
    return type < sizeof map / sizeof map[0] && map[type].slot >= 0 ? &map[type] : nullptr;
}

// Picks the handler for one queued event; false when none is installed.
bool ServeQueued(const cxEventInfo &ev, cxEventMessage *msg) {
    cxDisplay *d = ev.display;
    msg->x = int32_t(ev.a);
    msg->y = int32_t(ev.b);
    msg->third = int32_t(ev.c);
    msg->time = ev.time;
    msg->stringData = nullptr;
    switch (ev.type) {
    case 1: case 2: case 16: {
        static const int downSlot[3] = {CX_SLOT_ONMOUSEDOWN, CX_SLOT_ONRIGHTMOUSEDOWN, CX_SLOT_ONMIDMOUSEDOWN};
        static const char *const downName[3] = {"OnMouseDown", "OnRightMouseDown", "OnMidMouseDown"};
        static const char *const upName[3] = {"OnMouseUp", "OnRightMouseUp", "OnMidMouseUp"};
        const int i = ev.type == 1 ? 0 : ev.type == 2 ? 1 : 2;
        const bool down = ev.c != 0;
        const int slot = down ? downSlot[i] : downSlot[i] + 1;
        if (!Installed(d, slot)) return false;
        Prepare(msg, CX_MSG_PLAIN, d, &d->handlers[slot], down ? downName[i] : upName[i]);
        return true;
    }
    case 11: case 12: {
        const int slot = ev.type == 11 ? CX_SLOT_ONWHEELUP : CX_SLOT_ONWHEELDOWN;
        if (!Installed(d, slot)) return false;
        Prepare(msg, CX_MSG_PLAIN, d, &d->handlers[slot], ev.type == 11 ? "OnWheelUp" : "OnWheelDown");
        return true;
    }
    case 3: case 29: {
        const bool raw = ev.type == 29;
        const bool down = ev.a != 0;
        const int slot = raw ? (down ? CX_SLOT_ONRAWKEYDOWN : CX_SLOT_ONRAWKEYUP)
                             : (down ? CX_SLOT_ONKEYDOWN : CX_SLOT_ONKEYUP);
        if (!Installed(d, slot)) return false;
        Prepare(msg, CX_MSG_KEY, d, &d->handlers[slot],
                raw ? (down ? "OnRawKeyDown" : "OnRawKeyUp") : (down ? "OnKeyDown" : "OnKeyUp"));
        KeyEventText(ev.c, raw, msg->key);
        msg->third = raw ? int32_t(d->os.qualifiers) : 0;
        return true;
    }
    default: break;
    }
    const SlotMap *m = PlainSlot(ev.type);
    if (!m || !Installed(d, m->slot)) return false;
    Prepare(msg, m->messageType, d, &d->handlers[m->slot], m->action);
    if (ev.type == 28) {
        char text[5] = {};
        EncodeUtf8(ev.c, text);
        snprintf(msg->key, sizeof msg->key, "%s", text);
    }
    return true;
}

// Sound, video, program and directory notices: at most one handler per
// call. Without any of their handlers the notices wait in their list.
int ServeNotice(lua_State *L, cxEventMessage *msg) {
    static const int slots[] = {CX_GSLOT_ONSAMPLELOOP, CX_GSLOT_ONSAMPLEEND, CX_GSLOT_ONMUSICEND,
                                CX_GSLOT_ONVIDEOEND, CX_GSLOT_RUNFINISHED, CX_GSLOT_DIRECTORYCHANGED};
    bool any = false;
    for (int i : slots) any = any || Installed(g_global[i]);
    if (!any) return 0;
    cxEventNotice n;
    while (TakeEventNotice(&n)) {
        int slot = -1;
        const char *action = nullptr;
        uint32_t type = CX_MSG_NOTICE;
        switch (n.kind) {
        case CX_NOTICE_SAMPLEEND: slot = CX_GSLOT_ONSAMPLEEND, action = "OnSampleEnd"; break;
        case CX_NOTICE_SAMPLELOOP: slot = CX_GSLOT_ONSAMPLELOOP, action = "OnSampleLoop"; break;
        case CX_NOTICE_MUSICEND: slot = CX_GSLOT_ONMUSICEND, action = "OnMusicEnd"; break;
        case CX_NOTICE_VIDEOEND: slot = CX_GSLOT_ONVIDEOEND, action = "OnVideoEnd"; break;
        case CX_NOTICE_RUNFINISHED: slot = CX_GSLOT_RUNFINISHED, action = "RunFinished", type = CX_MSG_RUNFINISHED; break;
        case CX_NOTICE_DIRECTORYCHANGED:
            slot = CX_GSLOT_DIRECTORYCHANGED, action = "DirectoryChanged", type = CX_MSG_DIRCHANGED;
            break;
        default: break;
        }
        if (slot < 0 || !Installed(g_global[slot])) {
            ReleaseEventNotice(L, &n);
            continue;
        }
        Prepare(msg, type, nullptr, &g_global[slot], action);
        msg->id = n.id;
        msg->x = int32_t(n.time);
        msg->starts = int32_t(n.starts);
        msg->stringData = n.text;
        msg->args = n.args;
        msg->noticeUserData = n.userData;
        msg->time = 0;
        int err = CallEventCallback(L, msg, 0, 1);
        ReleaseEventNotice(L, &n);
        return err;
    }
    return 0;
}

// The queued events: at most one handler per call.
bool IsMouseButtonEvent(uint32_t type) { return type == 1 || type == 2 || type == 16; }

int ServeQueue(lua_State *L, uint32_t *stop, cxEventMessage *msg, bool *ran) {
    auto &pending = g_state.button;
    if (pending.pending) {
        pending.pending = false;
        if (DisplayExists(pending.display) &&
            ServeButtonPress(pending.display, pending.type, pending.pressed, pending.x, pending.y, msg)) {
            *ran = true;
            return CallEventCallback(L, msg, 0, 0);
        }
    }
    ExpireEvents(L);
    // Legacy labels come before the queued events' handlers: a match drops
    // the events up to it and hands the label to the waiting command.
    if (HasLegacyEvents()) {
        LockEventQueue();
        const int matched = MatchQueuedLegacyLabels(L);
        UnlockEventQueue();
        if (matched) return -1;
    }
    for (;;) {
        cxEventInfo ev{};
        LockEventQueue();
        if (!FetchEvent(L, 0, &ev, 1)) {
            UnlockEventQueue();
            return 0;
        }
        DropEvents(L, 0, 0);
        UnlockEventQueue();
        // The queue mutex is released from here on: handlers and internal
        // functions may post events themselves.
        if (ev.type == 0) continue;
        if (ev.type == 23) return ERR_USERABORT;
        if (ev.type == 24) {
            auto *f = static_cast<cxEventFunction *>(ev.data);
            int r = f && f->function ? f->function(L, f->argument) : 0;
            FreeEventData(L, ev.type, ev.data);
            if (r) return r;
            if (stop) *stop = 1;
            continue;
        }
        if (ev.type < 32 && (!ev.display || !DisplayExists(ev.display))) {
            FreeEventData(L, ev.type, ev.data);
            continue;
        }
        bool serve = false;
        if (ev.type >= CX_FIRST_EVENT_TYPE) {
            cxEventType *type = GetEventType(ev.type);
            if (type && type->slot.function != -1) {
                Prepare(msg, CX_MSG_PLUGIN, nullptr, &type->slot, type->name);
                msg->id = {0, nullptr};
                msg->pluginType = type;
                msg->pluginData = ev.data;
                msg->time = ev.time;
                serve = true;
            }
        } else {
            serve = ServeQueued(ev, msg);
            if (IsMouseButtonEvent(ev.type) && GetDisplayButtons(ev.display)) {
                if (serve)
                    pending = {true, ev.display, ev.type, ev.c != 0, int32_t(ev.a), int32_t(ev.b)};
                else
                    serve = ServeButtonPress(ev.display, ev.type, ev.c != 0, int32_t(ev.a), int32_t(ev.b), msg);
            }
        }
        if (!serve) {
            FreeEventData(L, ev.type, ev.data);
            continue;
        }
        int err = CallEventCallback(L, msg, 0, 0);
        FreeEventData(L, ev.type, ev.data);
        *ran = true;
        return err;
    }
}

}  // namespace

extern "C" cxHandlerSlot *GetGlobalHandler(int index) {
    return index >= 0 && index < CX_GLOBAL_HANDLER_SLOTS ? &g_global[index] : nullptr;
}

extern "C" void ResetGlobalHandlers(void) {
    for (cxHandlerSlot &s : g_global) s = {-1, -1};
}

extern "C" uint32_t GetDispatchPhase(void) { return g_state.phase; }

extern "C" void SkipDispatcherTimer(const cxOsTimer *removed, cxOsTimer *next) {
    if (removed && g_state.timerIter == removed) g_state.timerIter = next;
}

extern "C" int CallTimerHandler(lua_State *L, cxEventMessage *msg, uint32_t type, cxObjectID id,
                                const cxHandlerSlot *slot, int keepResults, int live) {
    cxEventMessage local{};
    if (!msg) msg = &local;
    Prepare(msg, type, nullptr, slot, type == CX_MSG_INTERVAL ? "Interval" : "Timeout");
    msg->id = id;
    msg->time = 0;
    return CallEventCallback(L, msg, keepResults, live);
}

extern "C" void ResetDispatcher(void) { g_state = State{}; }

extern "C" void KeyEventText(uint32_t code, int raw, char out[32]) {
    out[0] = 0;
    if (!raw) {
        switch (code) {
        case 272: snprintf(out, 32, "%s", "        "); return;
        case 273:
        case 274: snprintf(out, 32, "%s", "\n"); return;
        case 276: snprintf(out, 32, "%s", " "); return;
        default: break;
        }
    }
    if (const char *name = LookupKeyName(code, raw ? 0 : CX_KEYROW_ESC, CX_KEYNAME_COUNT)) {
        snprintf(out, 32, "%s", name);
        return;
    }
    out[EncodeUtf8(code, out)] = 0;
}

namespace {

// A registered type of kind 1 gets no table: its push hook supplies the
// handler's arguments, and nothing the handler returns is kept.
int CallPushingHandler(lua_State *L, cxEventMessage *msg) {
    cxEventType *type = msg->pluginType;
    const int base = lua_gettop(L);
    if (type->foreign || !type->push) {
        OsCallPluginStub(reinterpret_cast<cxPluginFunc>(type->push));
        return 0;
    }
    lua_rawgeti(L, LUA_REGISTRYINDEX, msg->slot->function);
    const int n = type->push(L, type->number, msg->pluginData, type);
    if (n < 0) {
        lua_settop(L, base);
        return -n;
    }
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_END);
    int err = lua_pcall(L, n, 0, 0);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
    lua_settop(L, base);
    if (type->after) type->after(L, type->number, msg->pluginData, type);
    msg->nresults = 0;
    if (err) return err;
    return UserAbort() ? ERR_USERABORT : 0;
}

}  // namespace

extern "C" int CallEventCallback(lua_State *L, cxEventMessage *msg, int keepResults, int live) {
    if (msg->type == CX_MSG_PLUGIN && msg->pluginType && msg->pluginType->kind == 1) return CallPushingHandler(L, msg);
    const int base = lua_gettop(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, msg->slot->function);
    lua_newtable(L);
    const uint32_t t = msg->type;
    if (t == CX_MSG_PLUGIN && msg->pluginType) {
        cxEventType *type = msg->pluginType;
        const int table = lua_gettop(L);
        if (type->foreign || !type->fill)
            OsCallPluginStub(reinterpret_cast<cxPluginFunc>(type->fill));
        else
            type->fill(L, type->number, msg->pluginData, type);
        // A hook that left values behind must not move the table.
        lua_settop(L, table);
        SetField(L, "action", msg->action);
    } else if (t != CX_MSG_BARE && t != 27 && t != 28) {
        SetField(L, "action", msg->action);
        switch (t) {
        case CX_MSG_KEY:
            SetField(L, "key", msg->key);
            SetIdField(L, "id", msg->id);
            if (!strcmp(msg->action, "OnRawKeyDown") || !strcmp(msg->action, "OnRawKeyUp"))
                SetField(L, "modifiers", double(ModifiersOfQualifiers(uint32_t(msg->third))));
            break;
        case CX_MSG_SIZE: {
            const double f = msg->display && msg->display->scaling && msg->display->scaleFactor > 0
                                 ? msg->display->scaleFactor : 1.0;
            SetField(L, "width", msg->x / f);
            SetField(L, "height", msg->y / f);
            SetIdField(L, "id", msg->id);
            break;
        }
        case CX_MSG_MOVE:
        case CX_MSG_MOUSEMOVE:
            SetField(L, "x", msg->x);
            SetField(L, "y", msg->y);
            SetIdField(L, "id", msg->id);
            break;
        case CX_MSG_MODESWITCH:
            SetField(L, "mode", msg->display && msg->display->os.fullscreen ? 2 : 1);
            SetField(L, "width", msg->x);
            SetField(L, "height", msg->y);
            SetIdField(L, "id", msg->id);
            break;
        case CX_MSG_CONNECT:
            SetIdField(L, "serverid", msg->id);
            SetIdField(L, "clientid", msg->client);
            break;
        case CX_MSG_BUTTON: {
            const cxBGPicButton *b = msg->button;
            SetIdField(L, "id", msg->id);
            SetField(L, "x", b->x1);
            SetField(L, "y", b->y1);
            SetField(L, "width", b->x2 - b->x1 + 1);
            SetField(L, "height", b->y2 - b->y1 + 1);
            SetField(L, "mousedown", b->pressed[0]);
            SetField(L, "rightmousedown", b->pressed[1]);
            SetField(L, "midmousedown", b->pressed[2]);
            SetIdField(L, "display", DisplayID(msg->display));
            break;
        }
        case CX_MSG_NOTICE:
            SetField(L, "time", msg->x);
            if (strcmp(msg->action, "OnMusicEnd") && strcmp(msg->action, "OnVideoEnd"))
                SetField(L, "starts", msg->starts);
            SetIdField(L, "id", msg->id);
            break;
        case CX_MSG_FILLMUSICBUFFER:
            SetIdField(L, "id", msg->id);
            SetField(L, "samples", double(uint32_t(msg->x)));
            SetField(L, "count", double(uint32_t(msg->y)));
            break;
        case CX_MSG_RUNFINISHED:
            SetField(L, "program", msg->stringData ? msg->stringData : "");
            SetField(L, "args", msg->args ? msg->args : "");
            if (msg->noticeUserData != -1) {
                lua_pushstring(L, "runuserdata");
                lua_rawgeti(L, LUA_REGISTRYINDEX, msg->noticeUserData);
                lua_settable(L, -3);
            }
            break;
        case CX_MSG_DIRCHANGED:
            SetIdField(L, "id", msg->id);
            SetField(L, "directory", msg->stringData ? msg->stringData : "");
            if (msg->noticeUserData != -1) {
                lua_pushstring(L, "monitoruserdata");
                lua_rawgeti(L, LUA_REGISTRYINDEX, msg->noticeUserData);
                lua_settable(L, -3);
            }
            break;
        default: SetIdField(L, "id", msg->id); break;
        }
    }
    if (msg->slot->userData != -1) {
        lua_pushstring(L, "userdata");
        lua_rawgeti(L, LUA_REGISTRYINDEX, msg->slot->userData);
        lua_settable(L, -3);
    }
    cxOsTimeVal start;
    GetKernelStartTime(&start);
    const double now = live || msg->time <= 0 ? OsGetTimeSeconds() : msg->time;
    SetField(L, "timestamp", now - (start.seconds + start.microseconds / 1e6));
    if (!keepResults) {
        // The table stays below the function for WaitEvent's result.
        lua_pushvalue(L, -1);
        lua_insert(L, base + 1);
    }
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_END);
    int err = lua_pcall(L, 1, keepResults ? 0 : LUA_MULTRET, 0);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
    if (err) {
        lua_settop(L, base);
        return err;
    }
    msg->nresults = keepResults ? 0 : lua_gettop(L) - base - 1;
    return UserAbort() ? ERR_USERABORT : 0;
}

extern "C" void SetMusicFillSource(cxMusicFillQuery query, cxMusicCallbackFlag inCallback) {
    g_musicFillQuery = query;
    g_musicCallbackFlag = inCallback;
}

extern "C" int CallFillMusicBufferHandler(lua_State *L, cxEventMessage *msg, cxObjectID music, uint32_t samples,
                                          uint32_t count, int keepResults) {
    const cxHandlerSlot *slot = &g_global[CX_GSLOT_FILLMUSICBUFFER];
    if (!Installed(*slot)) return 0;
    cxEventMessage local{};
    if (!msg) msg = &local;
    Prepare(msg, CX_MSG_FILLMUSICBUFFER, nullptr, slot, "FillMusicBuffer");
    msg->id = music;
    msg->x = int32_t(samples);
    msg->y = int32_t(count);
    msg->time = 0;
    if (g_musicCallbackFlag) g_musicCallbackFlag(1);
    const int err = CallEventCallback(L, msg, keepResults, 1);
    if (g_musicCallbackFlag) g_musicCallbackFlag(0);
    return err;
}

extern "C" int DispatchEvents(lua_State *L, uint32_t fromWhileMouseOn, uint32_t *stop, cxEventMessage *msg) {
    State &s = g_state;
    msg->type = 0;
    if (s.phase == kIdle) {
        s.timerIter = nullptr;
        s.timerWalk = false;
        s.displayIter = GetFirstDisplay();
        s.phase = kTimers;
        // A music that runs short of blocks asks its handler first.
        if (g_musicFillQuery && Installed(g_global[CX_GSLOT_FILLMUSICBUFFER])) {
            cxObjectID music{0, nullptr};
            uint32_t position = 0;
            if (const uint32_t frames = g_musicFillQuery(&music, &position))
                return CallFillMusicBufferHandler(L, msg, music, frames, position, 0);
        }
    }
    if (s.phase == kTimers) {
        // Each platform timer is looked at once per cycle, so a short
        // interval cannot keep the queue from being served. Keys without a
        // record (the shared tick's) only lose their fired state.
        while (!s.timerWalk || s.timerIter) {
            s.timerWalk = true;
            int kind = CX_TIMER_NOT_FIRED;
            cxObjectID key{0, nullptr};
            s.timerIter = OsTakeTimerEvent(s.timerIter, &kind, &key.number, &key.pointer);
            if (kind == CX_TIMER_NOT_FIRED) continue;
            // A plug-in's timer runs its callback and the walk goes on: no
            // script handler ran, so a WaitEvent keeps waiting.
            int served = 0;
            if (int err = ServePluginTimer(L, kind, key, &served)) return err;
            if (served) continue;
            cxHandlerSlot slot{-1, -1};
            if (!TakeFiredTimer(L, kind, key, &slot.function, &slot.userData)) continue;
            if (!s.timerIter) s.phase = kNotices;
            if (kind == CX_TIMER_INTERVAL) return CallTimerHandler(L, msg, CX_MSG_INTERVAL, key, &slot, 0, 1);
            int err = CallTimerHandler(L, msg, CX_MSG_TIMEOUT, key, &slot, 0, 1);
            ReleaseFiredTimeout(L, slot.function, slot.userData);
            return err;
        }
        s.phase = kNotices;
    }
    if (s.phase == kNotices) {
        if (int err = ServeNotice(L, msg); err || msg->type) return err;
        s.phase = kPointer;
    }
    if (s.phase == kPointer) {
        // The iterator is re-found in the list on each call: a handler may
        // have freed the display it pointed at.
        cxDisplay *d = GetFirstDisplay();
        while (d && d != s.displayIter) d = GetNextDisplay(d);
        for (; d; d = GetNextDisplay(d)) {
            if (!Installed(d, CX_SLOT_ONMOUSEMOVE) || !d->os.pointerMoved) continue;
            d->os.pointerMoved = 0;
            s.displayIter = GetNextDisplay(d);
            Prepare(msg, CX_MSG_MOUSEMOVE, d, &d->handlers[CX_SLOT_ONMOUSEMOVE], "OnMouseMove");
            msg->x = d->os.mouseX;
            msg->y = d->os.mouseY;
            msg->time = 0;
            return CallEventCallback(L, msg, 0, 1);
        }
        s.phase = kUdp;
    }
    // Network: one object per kind and cycle, so a handler that leaves the
    // data unread cannot hold the cycle in one place.
    const cxNetEventSource *net = GetNetEventSource();
    while (s.phase >= kUdp && s.phase <= kClose) {
        const uint32_t phase = s.phase++;
        cxObjectID id{0, nullptr}, client{0, nullptr};
        int slot = -1, found = 0;
        const char *action = nullptr;
        uint32_t type = 0;
        switch (phase) {
        case kUdp:
            slot = CX_GSLOT_ONRECEIVEUDPDATA, action = "OnReceiveUDPData", type = CX_MSG_RECEIVEUDP;
            found = Installed(g_global[slot]) && net->checkUdpData && net->checkUdpData(&id);
            break;
        case kConnect:
            slot = CX_GSLOT_ONCONNECT, action = "OnConnect", type = CX_MSG_CONNECT;
            found = Installed(g_global[slot]) && net->checkServerConnect && net->checkServerConnect(&id, &client);
            break;
        case kData:
            slot = CX_GSLOT_ONRECEIVEDATA, action = "OnReceiveData", type = CX_MSG_RECEIVEDATA;
            found = Installed(g_global[slot]) && net->checkConnectionData && net->checkConnectionData(&id);
            break;
        default:
            slot = CX_GSLOT_ONDISCONNECT, action = "OnDisconnect", type = CX_MSG_DISCONNECT;
            found = Installed(g_global[slot]) && net->checkConnectionClose && net->checkConnectionClose(&id);
            break;
        }
        if (!found) continue;
        Prepare(msg, type, nullptr, &g_global[slot], action);
        msg->id = id;
        msg->client = client;
        msg->time = 0;
        return CallEventCallback(L, msg, 0, 1);
    }
    if (s.phase > kClose && s.phase != kOverOut) s.phase = kQueue;
    bool ran = false;
    int err = ServeQueue(L, stop, msg, &ran);
    if (err == ERR_USERABORT && !ran) {
        s = State{};
        return err;
    }
    if (ran) return err; // the next call goes on with the queue
    if (err) {
        s = State{};
        return err;
    }
    // The queue is empty: legacy buttons under the pointer (not while
    // WhileMouseOn already follows one), then buttons follow the pointer,
    // one handler per call.
    if (s.phase != kOverOut && !fromWhileMouseOn && HasLegacyEvents() && MatchLegacyOverLabel(L)) {
        s = State{};
        return -1;
    }
    if (s.phase != kOverOut) {
        s.phase = kOverOut;
        s.overIter = GetFirstDisplay();
    }
    cxDisplay *d = GetFirstDisplay();
    while (d && d != s.overIter) d = GetNextDisplay(d);
    for (; d; d = GetNextDisplay(d)) {
        s.overIter = d;
        if (ServeButtonOverOut(d, msg)) return CallEventCallback(L, msg, 0, 1);
    }
    s = State{};
    return 0;
}
