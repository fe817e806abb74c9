// The script libraries in their fixed order of opening, and the constants
// the runtime itself registers.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A library's open function: registers its commands (luaL_openlib and
   AddCommandLibrary), constants and object lists. 0 or an error code. */
typedef int (*cxLibraryOpen)(lua_State *L);

/* Number of script libraries. */
#define CX_LIBRARY_COUNT 24

/* The library names in their order of opening ("string" first). */
const char *GetScriptLibraryName(int position);
/* Installs the open function of a library named in the order (the
   libraries of later subsystems are installed by the shell before the
   libraries are opened). 0, or ERR_WRONGUSAGE for a name not in the
   order. A null function removes it. */
int SetScriptLibraryOpener(const char *name, cxLibraryOpen open);
/* Registers the runtime's own constants (the ERR_* codes and the encoding
   numbers), then opens every library that has an open function, in order.
   Stops at the first failure and returns its code. */
int OpenScriptLibraries(lua_State *L);

/* The built-in libraries of the script engine. */
int OpenStringLibrary(lua_State *L);
int OpenMathLibrary(lua_State *L);
int OpenSystemLibrary(lua_State *L);
int OpenMemBlockLibrary(lua_State *L);

#ifdef __cplusplus
}
#endif
