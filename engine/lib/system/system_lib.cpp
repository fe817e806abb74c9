// The script engine's share of the "system" library.
#include "engine/lib/system/system_lib.h"

#include <string>

#include "engine/runtime/runtime.h"

namespace {

const char kHandlerKey[] = "cx.errorhandler";
bool g_inHandler = false;

int DisableLineHook(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    SetKernelTags(L, CX_KTAG_LINEHOOKOFF, 1, CX_KTAG_END);
    return 0;
}

int EnableLineHook(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    SetKernelTags(L, CX_KTAG_LINEHOOKOFF, 0, CX_KTAG_END);
    return 0;
}

// The script's own error: its text is the whole message.
int Error(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    SetErrorDetail(luaL_checkstring(L, 1));
    return ERR_ERRORCALLED;
}

// RaiseOnError(handler): a function receives the codes of failing commands
// from now on; Nil returns to raising them.
int RaiseOnError(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (!lua_isnil(L, 1)) luaL_checkfunction(L, 1);
    lua_pushstring(L, kHandlerKey);
    lua_pushvalue(L, 1);
    lua_rawset(L, LUA_REGISTRYINDEX);
    return 0;
}

// The object named by (kind, id) in arguments 1 and 2, and the key in 3.
int ObjectAndKeyArgs(lua_State *L, cxObjectHeader **h, const char **key) {
    int kind = luaL_checkint(L, 1);
    cxObjectID id;
    GetObjectIDArg(&id, L, 2);
    *key = luaL_checkstring(L, 3);
    return FindObjectByKind(kind, id, h);
}

// SetObjectData(kind, id, key, value)
int SetObjectDataCmd(lua_State *L) {
    CheckArgCount(L, 4, 4, 0, 0);
    cxObjectHeader *h;
    const char *key;
    if (int err = ObjectAndKeyArgs(L, &h, &key)) return err;
    return SetObjectData(L, h, key, 4);
}

// GetObjectData(kind, id, key) -> value
int GetObjectDataCmd(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxObjectHeader *h;
    const char *key;
    if (int err = ObjectAndKeyArgs(L, &h, &key)) return err;
    if (int err = GetObjectData(L, h, key)) return err;
    return 1;
}

const luaL_reg kCommands[] = {
    {"DisableLineHook", DisableLineHook},
    {"EnableLineHook", EnableLineHook},
    {"Error", Error},
    {"RaiseOnError", RaiseOnError},
    {"SetObjectData", SetObjectDataCmd},
    {"GetObjectData", GetObjectDataCmd},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    // item and value types
    {"LONG", nullptr, 1},
    {"INTEGER", nullptr, 1},
    {"STRING", nullptr, 3},
    {"SHORT", nullptr, 6},
    {"WORD", nullptr, 6},
    {"BYTE", nullptr, 7},
    {"FLOAT", nullptr, 11},
    {"DOUBLE", nullptr, 12},
    // object kinds
    {"BGPIC", nullptr, CX_OBJ_BGPIC},
    {"SAMPLE", nullptr, CX_OBJ_SAMPLE},
    {"BRUSH", nullptr, CX_OBJ_BRUSH},
    {"ANIM", nullptr, CX_OBJ_ANIM},
    {"SNDMODULE", nullptr, CX_OBJ_SNDMODULE},
    {"TEXTOBJECT", nullptr, CX_OBJ_TEXTOBJECT},
    {"BRUSHPART", nullptr, CX_OBJ_BRUSHPART},
    {"BGPICPART", nullptr, CX_OBJ_BGPICPART},
    {"DISPLAY", nullptr, CX_OBJ_DISPLAY},
    {"LAYER", nullptr, CX_OBJ_LAYER},
    {"MASK", nullptr, CX_OBJ_MASK},
    {"ALPHACHANNEL", nullptr, CX_OBJ_ALPHACHANNEL},
    {"SPRITE", nullptr, CX_OBJ_SPRITE},
    {"MUSIC", nullptr, CX_OBJ_MUSIC},
    {"CLIPREGION", nullptr, CX_OBJ_CLIPREGION},
    {"POINTER", nullptr, CX_OBJ_POINTER},
    {"MEMORY", nullptr, CX_OBJ_MEMORY},
    {"FONT", nullptr, CX_OBJ_FONT},
    {"FILE", nullptr, CX_OBJ_FILE},
    {"DIRECTORY", nullptr, CX_OBJ_DIRECTORY},
    {"VECTORPATH", nullptr, CX_OBJ_VECTORPATH},
    {"VIDEO", nullptr, CX_OBJ_VIDEO},
    {"TIMER", nullptr, CX_OBJ_TIMER},
    {"CLIENT", nullptr, CX_OBJ_CLIENT},
    {"SERVER", nullptr, CX_OBJ_SERVER},
    {"UDPOBJECT", nullptr, CX_OBJ_UDPOBJECT},
    {"MENU", nullptr, CX_OBJ_MENU},
    {"ICON", nullptr, CX_OBJ_ICON},
    {"SERIAL", nullptr, CX_OBJ_SERIAL},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" int DispatchScriptError(lua_State *L, int code, void *ud) {
    (void)ud;
    if (g_inHandler || code == ERR_USERABORT) return code;
    lua_pushstring(L, kHandlerKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (!lua_isfunction(L, -1)) {
        lua_pop(L, 1);
        return code;
    }
    char message[CX_ERROR_DETAIL_MAX + 256];
    GetErrorText(code, message, sizeof message);
    lua_pushnumber(L, code);
    lua_pushstring(L, message);
    g_inHandler = true;
    int err = lua_pcall(L, 2, 0, 0);
    g_inHandler = false;
    return err; // 0: handled; else the handler's own failure is raised
}

extern "C" int OpenSystemLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "system")) return err;
    luaL_openconstants(L, kConstants, 0);
    // Always installed: besides handing codes to a script handler, the
    // dispatch makes the call machinery catch errors raised inside a
    // command, so that they are reported at the calling script line.
    lua_seterrordispatch(L, DispatchScriptError, nullptr);
    LegacyControl("singlemusic", 1);
    return 0;
}
