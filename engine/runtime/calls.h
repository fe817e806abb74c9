// Calling script commands by name and looking up script constants.
#pragma once

#include <stddef.h>

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Calls the command stored in the global of that name (looked up in lower
   case) with argCount arguments given as {type, value} pairs:
   LUA_TNIL (no value), LUA_TBOOLEAN (int), LUA_TNUMBER (double: pass 1.0,
   not 1), LUA_TSTRING (const char *, null pushes Nil), LUA_TLIGHTUSERDATA
   (void *), LUA_TTABLE (int stack index of a table to pass).
   The call is protected: returns 0 with resultCount results pushed, or the
   error code with nothing pushed. ERR_FUNCDECLA (1133, name as detail) when
   no such command exists. */
int CallCommandByName(lua_State *L, const char *name, int resultCount, int argCount, ...);

/* Reads "#" and a constant name (letters, digits, "_") at the start of
   text and looks it up in the script constants, without regard to case.
   0 with *consumed (bytes, "#" included), *type (LUA_TNUMBER or
   LUA_TSTRING) and *value (the number; 0 for a string constant); or
   ERR_FINDCST (1042) with the name as detail. A text without "#" and a name
   gives ERR_FINDCST with the text as detail. Any out pointer may be null. */
int ParseConstantName(lua_State *L, const char *text, size_t *consumed, int *type, double *value);

#ifdef __cplusplus
}
#endif
