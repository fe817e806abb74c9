// The displays that the applet declares, opened at start-up before the main
// chunk runs.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxApplet;
struct cxStartupOptions;

/* Opens the declared displays (items of kind 21) and makes one of them the
   current display. 0 or an error code.

   Until the display library exists this opens nothing: for each declared
   display it prints a warning in the preloader's form, so that a run does
   not silently lack its windows. */
int OpenInitialDisplays(lua_State *L, const struct cxApplet *applet, const struct cxStartupOptions *opts);

#ifdef __cplusplus
}
#endif
