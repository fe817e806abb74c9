// Auxiliary library of the virtual machine: argument readers, registry
// references, metatables, string buffers and command registration. Every
// reader raises by error code (the argument index as error number) and
// never returns on failure.
#pragma once

#include <stdio.h>

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct luaL_reg {
    const char *name;
    lua_CFunction func;
} luaL_reg;

/* One row of a constant table: a string constant when str is not null,
   else the number. A row with a null name ends the table. */
typedef struct luaL_Const {
    const char *name;
    const char *str;
    double num;
} luaL_Const;

/* Registers the commands into the globals (libname null) or into the
   global table libname, under lower-cased names; each function gets the nup
   values below the top as upvalues, which are popped. */
void luaL_openlib(lua_State *L, const char *libname, const luaL_reg *l, int nup);
/* Stores each constant under its lower-cased name in the registry table
   "constants" (created on first use). flag is passed on for the caller. */
void luaL_openconstants(lua_State *L, const luaL_Const *l, int flag);

/* Labels of the running applet: lower-cased name -> position; -1 when the
   script has no such label. */
int luaL_getlabel(lua_State *L, const char *name);
void luaL_setlabel(lua_State *L, const char *name, int position);

/* The kernel's list of command libraries (for listings and the vocabulary
   export). Returns 0, or ERR_MEM. */
typedef struct cxCommandLibrary {
    struct cxCommandLibrary *next;
    const luaL_reg *commands;
    const char *name;
} cxCommandLibrary;
int AddCommandLibrary(const luaL_reg *commands, const char *name);
const cxCommandLibrary *GetCommandLibraries(void);
void FreeCommandLibraries(void);

int luaL_getmetafield(lua_State *L, int obj, const char *e);
int luaL_callmeta(lua_State *L, int obj, const char *e);

/* Metatables for full userdata, kept in the registry by name. */
int luaL_newmetatable(lua_State *L, const char *tname);
void luaL_getmetatable(lua_State *L, const char *tname);
/* The userdata at ud when its metatable is tname's; else raises 1492. */
void *luaL_checkudata(lua_State *L, int ud, const char *tname);

/* Light userdata kept in the registry under a name (null when absent). */
void *luaL_getregpointer(lua_State *L, const char *key);
void luaL_setregpointer(lua_State *L, const char *key, void *p);

/* Argument readers. */
const char *luaL_checklstring(lua_State *L, int numArg, size_t *l);           /* 1139 */
const char *luaL_optlstring(lua_State *L, int numArg, const char *def, size_t *l);
lua_Number luaL_checknumber(lua_State *L, int numArg);                       /* 1138 */
lua_Number luaL_optnumber(lua_State *L, int nArg, lua_Number def);
/* The number truncated toward zero to 32 bits: negative values as signed,
   others as unsigned (0xAARRGGBB colours fit); saturating, NaN gives 0. */
int luaL_checkint(lua_State *L, int numArg);
int luaL_optint(lua_State *L, int numArg, int def);
void luaL_checktable(lua_State *L, int numArg);    /* 1140 */
void luaL_checkfunction(lua_State *L, int numArg); /* 1185 */
void luaL_checktype(lua_State *L, int narg, int t);
void luaL_checkany(lua_State *L, int narg);
void luaL_checkstack(lua_State *L, int sz); /* 1135 */
/* The number at a stack index; else raises 1189 with the field name as
   error detail. */
lua_Number luaL_checkfieldnumber(lua_State *L, int idx, const char *field);
int luaL_checkfieldint(lua_State *L, int idx, const char *field);
/* The number at idx with *error = 0, or 0 with *error = 1190. */
lua_Number luaL_tocallbacknumber(lua_State *L, int idx, int *error);

/* The index of name in the null-terminated list, or -1. */
int luaL_findstring(const char *name, const char *const list[]);

/* Registry references: -1 (LUA_REFNIL) for nil, LUA_NOREF never used. */
#define LUA_NOREF (-2)
#define LUA_REFNIL (-1)
int luaL_ref(lua_State *L, int t);
void luaL_unref(lua_State *L, int t, int ref);

/* Integer view of a number, the rule of luaL_checkint. */
int luaL_numbertoint(lua_Number n);

/* String buffers. */
#define LUAL_BUFFERSIZE BUFSIZ
typedef struct luaL_Buffer {
    char *p; /* current position in buffer */
    int lvl; /* number of strings in the stack */
    lua_State *L;
    char buffer[LUAL_BUFFERSIZE];
} luaL_Buffer;

#define luaL_putchar(B, c) \
    ((void)((B)->p < ((B)->buffer + LUAL_BUFFERSIZE) || luaL_prepbuffer(B)), (*(B)->p++ = (char)(c)))
#define luaL_addsize(B, n) ((B)->p += (n))

void luaL_buffinit(lua_State *L, luaL_Buffer *B);
char *luaL_prepbuffer(luaL_Buffer *B);
void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l);
void luaL_addstring(luaL_Buffer *B, const char *s);
void luaL_addvalue(luaL_Buffer *B);
void luaL_pushresult(luaL_Buffer *B);

#define luaL_checkstring(L, n) (luaL_checklstring(L, (n), NULL))
#define luaL_optstring(L, n, d) (luaL_optlstring(L, (n), (d), NULL))
#define luaL_checklong(L, n) ((long)luaL_checknumber(L, n))
#define luaL_optlong(L, n, d) ((long)luaL_optnumber(L, n, (lua_Number)(d)))

#ifdef __cplusplus
}
#endif
