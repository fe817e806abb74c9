#include "display/events/input_commands.h"

#include <cstring>
#include <strings.h>

#include "display/backend.h"
#include "display/events/buttons.h"
#include "display/display_record.h"
#include "display/events/key_names.h"
#include "errors/errors.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "platform/os_joystick.h"
#include "window/x11/x11_window.h"

namespace {

// The pointer in picture pixels: the window position less the bars of a
// proportion-keeping scale, divided by the scale factor.
int MouseAxis(lua_State *L, bool vertical) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    int32_t x = 0, y = 0;
    GetDisplayMousePos(d, &x, &y);
    const double offset = vertical ? d->scaleBorders[1] : d->scaleBorders[0];
    const double factor = vertical ? d->scaleY : d->scaleX;
    const double v = ((vertical ? y : x) - offset) / (factor > 0 ? factor : 1.0);
    lua_pushnumber(L, double(int32_t(v))); // toward zero
    return 1;
}

int Button(lua_State *L, int button) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    lua_pushnumber(L, d->os.mouseButtons[button] != 0);
    return 1;
}

int QuitSwitch(lua_State *L, int attr) {
    CheckArgCount(L, 1, 1, 0, 0);
    OsSetDisplayAttr(nullptr, attr, luaL_checknumber(L, 1) != 0);
    return 0;
}

}  // namespace

extern "C" int CmdMouseX(lua_State *L) { return MouseAxis(L, false); }
extern "C" int CmdMouseY(lua_State *L) { return MouseAxis(L, true); }
extern "C" int CmdIsLeftMouse(lua_State *L) { return Button(L, 0); }
extern "C" int CmdIsRightMouse(lua_State *L) { return Button(L, 1); }
extern "C" int CmdIsMidMouse(lua_State *L) { return Button(L, 2); }
extern "C" int CmdCtrlCQuit(lua_State *L) { return QuitSwitch(L, 8); }
extern "C" int CmdLeftMouseQuit(lua_State *L) { return QuitSwitch(L, 9); }
extern "C" int CmdEscapeQuit(lua_State *L) { return QuitSwitch(L, 10); }

extern "C" int CmdSetEventTimeout(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double ms = luaL_checknumber(L, 1);
    // A negative period would wrap to an age limit of weeks.
    if (ms < 0) return ERR_WRONGUSAGE;
    SetEventAgeLimit(ms >= 4294967295.0 ? CX_EVENT_AGE_OFF : uint32_t(ms));
    return 0;
}

extern "C" int CmdFreeEventCache(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    return 0;
}

extern "C" int ReadKeyArg(lua_State *L, int index, uint32_t *code, int *any) {
    const char *name = GetStringArgChecked(L, index, nullptr, 0, nullptr);
    *any = 0;
    *code = 0;
    if (!strcasecmp(name, "any")) {
        *any = 1;
        return 0;
    }
    *code = LookupKeyCode(name);
    return *code ? 0 : ERR_WRONGUSAGE;
}

extern "C" int IsDisplayKeyDown(cxDisplay *d, uint32_t code, int any, int raw) {
    const uint8_t *table = d->os.keyStates + (raw ? CX_KEY_STATE_COUNT : 0);
    if (any) {
        for (int i = 0; i < CX_KEY_STATE_COUNT; i++)
            if (table[i]) return 1;
        return 0;
    }
    if (!raw)
        if (const uint32_t mask = ModifierQualifierMask(code))
            return (GetDisplayQualifiers(d) & mask) == mask;
    return code < CX_KEY_STATE_COUNT && table[code] != 0;
}

extern "C" int CmdIsKeyDown(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    uint32_t code = 0;
    int any = 0;
    if (int err = ReadKeyArg(L, 1, &code, &any)) return err;
    const int raw = lua_gettop(L) >= 2 && luaL_checknumber(L, 2) != 0;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    lua_pushboolean(L, IsDisplayKeyDown(d, code, any, raw));
    return 1;
}

extern "C" int CmdResetKeyStates(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    if (cxDisplay *d = GetCurrentDisplay()) {
        ResetDisplayInputState(d);
        ResetButtonStates(d);
    }
    return 0;
}

extern "C" int CmdCountJoysticks(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    int count = 0;
    if (int err = OsOpenJoysticks(&count)) return err;
    lua_pushnumber(L, count);
    return 1;
}

extern "C" int CmdJoyDir(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const int port = int(luaL_checknumber(L, 1));
    int dir = CX_JOY_NODIR;
    if (int err = OsGetJoystickState(port, &dir, nullptr)) return err;
    lua_pushnumber(L, dir);
    return 1;
}

extern "C" int CmdJoyFire(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const int port = int(luaL_checknumber(L, 1));
    const double button = lua_gettop(L) >= 2 ? luaL_checknumber(L, 2) : 1;
    if (button > 32 || button < 0) return ERR_WRONGUSAGE;
    int fire = 0;
    if (int err = OsGetJoystickState(port, nullptr, &fire)) return err;
    const int b = int(button);
    lua_pushnumber(L, b == 0 ? double(uint32_t(fire)) : double((uint32_t(fire) >> (b - 1)) & 1));
    return 1;
}

extern "C" int CmdShowKeyboard(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    return ERR_UNSUPPORTEDFEAT;
}

extern "C" int CmdHideKeyboard(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    return ERR_UNSUPPORTEDFEAT;
}

extern "C" int CmdCreatePort(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t bytes = 0;
    GetStringArgChecked(L, 1, nullptr, 0, &bytes);
    if (bytes > 127) return ERR_WRONGUSAGE;
    // This platform has no message ports.
    return ERR_CREATEPORT;
}

extern "C" int CmdSendMessage(lua_State *L) {
    CheckArgCount(L, 2, 0, 0, 0);
    const char *port = GetStringArgChecked(L, 1, nullptr, 0, nullptr);
    size_t bytes = 0;
    const char *command = GetStringArgChecked(L, 2, nullptr, 0, &bytes);
    if (!bytes || memchr(command, ' ', bytes)) return ERR_WRONGUSAGE;
    // The arguments are read as the message would carry them, so their
    // types are checked even though no port can take the message here.
    for (int i = 3; i <= lua_gettop(L); i++) GetStringArgChecked(L, i, nullptr, 0, nullptr);
    SetErrorDetail(port);
    return ERR_FINDPORT;
}

extern "C" void OpenEventConstants(lua_State *L) {
    static const luaL_Const constants[] = {
        {"MOVEWINDOW", nullptr, 6},        {"SIZEWINDOW", nullptr, 7},
        {"INACTIVEWINDOW", nullptr, 8},    {"ACTIVEWINDOW", nullptr, 9},
        {"CLOSEWINDOW", nullptr, 10},      {"ONBUTTONCLICKALL", nullptr, 11},
        {"ONBUTTONRIGHTCLICKALL", nullptr, 12}, {"ONBUTTONOVERALL", nullptr, 13},
        {"ONKEYDOWNALL", nullptr, 14},     {"JOYUP", nullptr, 0},
        {"JOYUPRIGHT", nullptr, 1},        {"JOYRIGHT", nullptr, 2},
        {"JOYDOWNRIGHT", nullptr, 3},      {"JOYDOWN", nullptr, 4},
        {"JOYDOWNLEFT", nullptr, 5},       {"JOYLEFT", nullptr, 6},
        {"JOYUPLEFT", nullptr, 7},         {"JOYNODIR", nullptr, 8},
        {"ONBUTTONCLICK", nullptr, 2},     {"ONBUTTONOVER", nullptr, 1},
        {"ONKEYDOWN", nullptr, 3},         {"ONBUTTONRIGHTCLICK", nullptr, 5},
        {"SIMPLEBUTTON", nullptr, 0},      {"LAYERBUTTON", nullptr, 1},
        {"MODLSHIFT", nullptr, 1},         {"MODRSHIFT", nullptr, 2},
        {"MODLALT", nullptr, 4},           {"MODRALT", nullptr, 8},
        {"MODLCONTROL", nullptr, 16},      {"MODRCONTROL", nullptr, 32},
        {"MODLCOMMAND", nullptr, 64},      {"MODRCOMMAND", nullptr, 128},
        {nullptr, nullptr, 0},
    };
    luaL_openconstants(L, constants, 0);
}
