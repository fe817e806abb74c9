// The displays that the applet declares, opened at start-up before the main
// chunk runs.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxApplet;
struct cxStartupOptions;

/* Creates the declared displays (items of kind 21, their tags read as the
   option table of CreateDisplay), opens every display that is not open,
   not hidden and not a backfill window, and makes the first display
   flagged "active" current (else the first one). 0 or an error code. */
int OpenInitialDisplays(lua_State *L, const struct cxApplet *applet, const struct cxStartupOptions *opts);

#ifdef __cplusplus
}
#endif
