// The vocabulary export: text files that list what scripts can name, for
// editors and documentation tools. One name per line, each file ending with
// a line feed:
//   commands:       "<library>\t<Command>", libraries in order of opening,
//                   commands in the order of their library's table
//   constants:      "<NAME>", sorted
//   preprocessor:   "@<NAME>", in order of registration of the preloaders
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Each writes its file (created or replaced). 0, or 1052 (ERR_WRITEFILE,
   the path as detail) when the file cannot be written, or 1000. */
int ExportCommandNames(const char *path);
int ExportConstantNames(lua_State *L, const char *path);
int ExportPreprocessorNames(const char *path);

#ifdef __cplusplus
}
#endif
