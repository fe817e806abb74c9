// The virtual-machine sub-table of the plug-in API.
#include <stddef.h>

#include "engine/runtime/args.h"
#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "streams/chunk_names.h"
#include "shell/plugins/api_tables.h"
#include "include/calyxtone/cxplugin.h"
#include "shell/plugins/plugin_manager.h"

namespace {

// Plug-ins declare cxLuaBuffer; the auxiliary library works on luaL_Buffer.
static_assert(sizeof(cxLuaBuffer) == sizeof(luaL_Buffer));
static_assert(offsetof(cxLuaBuffer, p) == offsetof(luaL_Buffer, p));
static_assert(offsetof(cxLuaBuffer, lvl) == offsetof(luaL_Buffer, lvl));
static_assert(offsetof(cxLuaBuffer, L) == offsetof(luaL_Buffer, L));
static_assert(offsetof(cxLuaBuffer, buffer) == offsetof(luaL_Buffer, buffer));
static_assert(CX_LUA_BUFFERSIZE == LUAL_BUFFERSIZE);

luaL_Buffer *AsBuffer(cxLuaBuffer *b) { return reinterpret_cast<luaL_Buffer *>(b); }

void BuffInit(lua_State *L, cxLuaBuffer *b) { luaL_buffinit(L, AsBuffer(b)); }
char *PrepBuffer(cxLuaBuffer *b) { return luaL_prepbuffer(AsBuffer(b)); }
void AddLString(cxLuaBuffer *b, const char *s, size_t len) { luaL_addlstring(AsBuffer(b), s, len); }
void AddString(cxLuaBuffer *b, const char *s) { luaL_addstring(AsBuffer(b), s); }
void AddValue(cxLuaBuffer *b) { luaL_addvalue(AsBuffer(b)); }
void PushResult(cxLuaBuffer *b) { luaL_pushresult(AsBuffer(b)); }

// The plug-in's ID record has the layout of cxObjectID.
static_assert(sizeof(cxPluginObjectID) == sizeof(cxObjectID), "object ID layouts differ");

void ObjectIDArg(lua_State *L, int arg, cxPluginObjectID *id) {
    cxObjectID value;
    GetObjectIDArg(&value, L, arg);
    if (id) *id = cxPluginObjectID{value.number, value.pointer};
}

void OptObjectIDArg(lua_State *L, int arg, cxPluginObjectID *id) {
    if (lua_isnoneornil(L, arg)) {
        if (id) *id = cxPluginObjectID{0, nullptr};
        return;
    }
    ObjectIDArg(L, arg, id);
}

const char *FileNameArg(lua_State *L, int arg) { return GetFileNameArg(L, arg, 0, nullptr); }

}  // namespace

const cxApiVM kApiVM = {
    .lua_gettop = lua_gettop,
    .lua_settop = lua_settop,
    .lua_pushvalue = lua_pushvalue,
    .lua_remove = lua_remove,
    .lua_insert = lua_insert,
    .lua_replace = lua_replace,
    .lua_iscfunction = lua_iscfunction,
    .lua_isnumber = lua_isnumber,
    .lua_isstring = lua_isstring,
    .lua_isuserdata = lua_isuserdata,
    .lua_type = lua_type,
    .lua_equal = lua_equal,
    .lua_rawequal = lua_rawequal,
    .lua_lessthan = lua_lessthan,
    .lua_tonumber = lua_tonumber,
    .lua_tostring = lua_tostring,
    .lua_strlen = lua_strlen,
    .lua_tocfunction = lua_tocfunction,
    .lua_touserdata = lua_touserdata,
    .lua_topointer = lua_topointer,
    .lua_pushnil = lua_pushnil,
    .lua_pushnumber = lua_pushnumber,
    .lua_pushlstring = lua_pushlstring,
    .lua_pushstring = lua_pushstring,
    .lua_pushlightuserdata = lua_pushlightuserdata,
    .lua_pushcclosure = lua_pushcclosure,
    .lua_gettable = lua_gettable,
    .lua_rawget = lua_rawget,
    .lua_rawgeti = lua_rawgeti,
    .lua_newtable = lua_newtable,
    .lua_getfenv = lua_getfenv,
    .lua_settable = lua_settable,
    .lua_rawset = lua_rawset,
    .lua_rawseti = lua_rawseti,
    .lua_setfenv = lua_setfenv,
    .lua_pcall = lua_pcall,
    .lua_next = lua_next,
    .lua_concat = lua_concat,
    .lua_pushupvalues = lua_pushupvalues,
    .lua_getupvalue = lua_getupvalue,
    .lua_setupvalue = lua_setupvalue,
    .lua_newuserdata = lua_newuserdata,
    .lua_setmetatable = lua_setmetatable,
    .lua_getmetatable = lua_getmetatable,
    .luaG_runerror = luaG_runerror,
    .luaL_checklstring = luaL_checklstring,
    .luaL_optlstring = luaL_optlstring,
    .luaL_checknumber = luaL_checknumber,
    .luaL_optnumber = luaL_optnumber,
    .luaL_checkint = luaL_checkint,
    .luaL_optint = luaL_optint,
    .luaL_checktable = luaL_checktable,
    .luaL_checkfunction = luaL_checkfunction,
    .luaL_checktype = luaL_checktype,
    .luaL_ref = luaL_ref,
    .luaL_unref = luaL_unref,
    .GetObjectIDArg = ObjectIDArg,
    .luaL_newmetatable = luaL_newmetatable,
    .luaL_getmetatable = luaL_getmetatable,
    .luaL_checkudata = luaL_checkudata,
    .luaL_buffinit = BuffInit,
    .luaL_prepbuffer = PrepBuffer,
    .luaL_addlstring = AddLString,
    .luaL_addstring = AddString,
    .luaL_addvalue = AddValue,
    .luaL_pushresult = PushResult,
    .luaL_findstring = luaL_findstring,
    .lua_checkstack = lua_checkstack,
    .GetFileNameArg = FileNameArg,
    .GetOptObjectIDArg = OptObjectIDArg,
    .lua_pushboolean = lua_pushboolean,
    .lua_toboolean = lua_toboolean,
    .lua_createtable = lua_createtable,
    .lua_typename = lua_typename,
    .lua_call = lua_call,
    .lua_getgcthreshold = lua_getgcthreshold,
    .lua_getgccount = lua_getgccount,
    .lua_setgcthreshold = lua_setgcthreshold,
};
