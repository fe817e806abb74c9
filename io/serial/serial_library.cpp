// The "serial" library: opening and closing ports, moving bytes, and the
// seven line settings, each with a Set and a Get command.
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "io/serial/serial_ports.h"

namespace {

// Byte counts beyond this are read as this (one read never needs more).
constexpr double kMaxCount = 2147483647.0;

const char *const kOptionNames[CX_SERIAL_SETTING_COUNT] = {"baudrate", "databits", "parity", "stopbits",
                                                           "flowcontrol", "dtr", "rts"};

cxSerialNode *PortArg(lua_State *L, int index, int *err) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxSerialNode *n = nullptr;
    *err = FindSerialPort(id, &n);
    return n;
}

// Milliseconds of an optional time-out argument; negative counts as none.
int TimeoutArg(lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) return 0;
    lua_Number t = luaL_checknumber(L, index);
    if (!(t > 0)) return 0;
    return t > 2147483647.0 ? 2147483647 : static_cast<int>(t);
}

int OpenSerialPortCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 8, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *device = luaL_checklstring(L, 2, nullptr);
    int codes[CX_SERIAL_SETTING_COUNT] = {3, 3, 0, 0, 0, 0, 0};
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        for (int s = 0; s < CX_SERIAL_SETTING_COUNT; s++) GetTableInt(L, 3, kOptionNames[s], &codes[s], nullptr);
    }
    // a code the driver cannot carry is the script's mistake, not the device's
    for (int s = 0; s < CX_SERIAL_SETTING_COUNT; s++)
        if (!OsIsSerialCodeValid(s, codes[s])) return ERR_WRONGUSAGE;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(GetSerialList(), cxObjectID{id.value, nullptr}))
            FreeSerialNode(L, reinterpret_cast<cxSerialNode *>(old));
    }
    cxOsSerialPort *port = OsAllocSerialPort();
    if (!port) return ERR_INITSERIAL;
    memcpy(port->settings, codes, sizeof codes);
    if (OsSetSerialDevice(port, device) != 0 || OsOpenSerialPort(port) != CX_SERIAL_OK) {
        OsFreeSerialPort(port);
        SetErrorDetail(device);
        return ERR_OPENSERIAL;
    }
    cxSerialNode *n = nullptr;
    if (int err = AddSerialNode(port, id.value, id.wasNil, &n)) return err;
    return id.wasNil ? PushObjectID(L, GetObjectID(&n->header)) : 0;
}

int CloseSerialPortCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    if (err) return err;
    FreeSerialNode(L, n);
    return 0;
}

int WriteSerialDataCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    size_t length = 0;
    const char *data = luaL_checklstring(L, 2, &length);
    int timeout = TimeoutArg(L, 3);
    if (err) return err;
    if (length == 0) return ERR_WRONGUSAGE;
    size_t written = 0;
    int r = OsWriteSerial(n->port, data, length, timeout, &written);
    if (r != CX_SERIAL_OK && r != CX_SERIAL_TIMEOUT) return ERR_SERIALIO;
    lua_pushnumber(L, static_cast<lua_Number>(written));
    lua_pushnumber(L, r == CX_SERIAL_TIMEOUT ? 1 : 0);
    return 2;
}

int ReadSerialDataCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    lua_Number count = luaL_checknumber(L, 2);
    int timeout = TimeoutArg(L, 3);
    if (err) return err;
    if (!(count >= 1)) return ERR_WRONGUSAGE;
    size_t want = static_cast<size_t>(count > kMaxCount ? kMaxCount : count);
    // what is waiting bounds a direct read, so a huge count costs nothing;
    // one byte is still asked for, so that a line that hung up is noticed
    if (timeout == 0) {
        size_t waiting = 0;
        if (OsSerialBytesWaiting(n->port, &waiting) != CX_SERIAL_OK) return ERR_SERIALIO;
        if (waiting < want) want = waiting ? waiting : 1;
    }
    char *buffer = static_cast<char *>(malloc(want));
    if (!buffer) return ERR_MEM;
    size_t got = 0;
    int r = OsReadSerial(n->port, buffer, want, timeout, &got);
    if (r != CX_SERIAL_OK && r != CX_SERIAL_TIMEOUT) {
        free(buffer);
        return ERR_SERIALIO;
    }
    lua_pushlstring(L, buffer, got);
    free(buffer);
    lua_pushnumber(L, static_cast<lua_Number>(got));
    lua_pushnumber(L, timeout > 0 && r == CX_SERIAL_TIMEOUT ? 1 : 0);
    return 3;
}

int FlushSerialPortCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    if (err) return err;
    OsFlushSerial(n->port);
    return 0;
}

int ClearSerialQueueCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    if (err) return err;
    OsClearSerialInput(n->port);
    return 0;
}

int PollSerialQueueCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    if (err) return err;
    size_t waiting = 0;
    if (OsSerialBytesWaiting(n->port, &waiting) != CX_SERIAL_OK) return ERR_SERIALIO;
    lua_pushnumber(L, static_cast<lua_Number>(waiting));
    return 1;
}

template <int Setting> int SetSettingCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    int code = luaL_checkint(L, 2);
    if (err) return err;
    return OsSetSerialSetting(n->port, Setting, code) == CX_SERIAL_OK ? 0 : ERR_WRONGUSAGE;
}

template <int Setting> int GetSettingCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err;
    cxSerialNode *n = PortArg(L, 1, &err);
    if (err) return err;
    lua_pushnumber(L, n->port->settings[Setting]);
    return 1;
}

const luaL_reg kCommands[] = {
    {"OpenSerialPort", OpenSerialPortCmd},
    {"CloseSerialPort", CloseSerialPortCmd},
    {"WriteSerialData", WriteSerialDataCmd},
    {"ReadSerialData", ReadSerialDataCmd},
    {"FlushSerialPort", FlushSerialPortCmd},
    {"ClearSerialQueue", ClearSerialQueueCmd},
    {"PollSerialQueue", PollSerialQueueCmd},
    {"SetBaudRate", SetSettingCmd<CX_SERIAL_BAUD>},
    {"SetDataBits", SetSettingCmd<CX_SERIAL_DATABITS>},
    {"SetParity", SetSettingCmd<CX_SERIAL_PARITY>},
    {"SetStopBits", SetSettingCmd<CX_SERIAL_STOPBITS>},
    {"SetFlowControl", SetSettingCmd<CX_SERIAL_FLOW>},
    {"SetDTR", SetSettingCmd<CX_SERIAL_DTR>},
    {"SetRTS", SetSettingCmd<CX_SERIAL_RTS>},
    {"GetBaudRate", GetSettingCmd<CX_SERIAL_BAUD>},
    {"GetDataBits", GetSettingCmd<CX_SERIAL_DATABITS>},
    {"GetParity", GetSettingCmd<CX_SERIAL_PARITY>},
    {"GetStopBits", GetSettingCmd<CX_SERIAL_STOPBITS>},
    {"GetFlowControl", GetSettingCmd<CX_SERIAL_FLOW>},
    {"GetDTR", GetSettingCmd<CX_SERIAL_DTR>},
    {"GetRTS", GetSettingCmd<CX_SERIAL_RTS>},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"BAUD_300", nullptr, 0},     {"BAUD_2400", nullptr, 1},   {"BAUD_4800", nullptr, 2},
    {"BAUD_9600", nullptr, 3},    {"BAUD_19200", nullptr, 4},  {"BAUD_38400", nullptr, 5},
    {"BAUD_57600", nullptr, 6},   {"BAUD_115200", nullptr, 7}, {"BAUD_460800", nullptr, 8},
    {"DATA_5", nullptr, 0},       {"DATA_6", nullptr, 1},      {"DATA_7", nullptr, 2},
    {"DATA_8", nullptr, 3},       {"PARITY_NONE", nullptr, 0}, {"PARITY_ODD", nullptr, 1},
    {"PARITY_EVEN", nullptr, 2},  {"STOP_1", nullptr, 0},      {"STOP_2", nullptr, 1},
    {"FLOW_OFF", nullptr, 0},     {"FLOW_HARDWARE", nullptr, 1}, {"FLOW_XON_XOFF", nullptr, 2},
    {"DTR_OFF", nullptr, 0},      {"DTR_ON", nullptr, 1},      {"RTS_OFF", nullptr, 0},
    {"RTS_ON", nullptr, 1},       {nullptr, nullptr, 0},
};

} // namespace

extern "C" int OpenSerialLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "serial")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(GetSerialList());
    return 0;
}
