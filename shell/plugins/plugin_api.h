// The host side of the plug-in API table: where services of other
// subsystems plug into the slots that forward to them.
#pragma once

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The argument readers of the command runtime. Until they are installed
   the object-ID readers take a number ({n, null}) or an automatic handle
   ({0, pointer}) and raise 1138 for anything else, and the file-name reader
   takes a string and resolves it among the files linked into the applet. */
typedef void (*cxObjectIDReader)(lua_State *L, int arg, cxPluginObjectID *id);
typedef const char *(*cxFileNameReader)(lua_State *L, int arg);
void SetPluginArgumentReaders(cxObjectIDReader objectId, cxObjectIDReader optionalObjectId,
                              cxFileNameReader fileName);

#ifdef __cplusplus
}
#endif
