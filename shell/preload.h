// The preloader of declared objects: before the main chunk runs, every
// object the applet declares (brushes, BGPics, sounds, fonts, icons, ...)
// is loaded by the loader that its library registered for that kind.
// Declared displays (kind 21) are not preloaded: they are opened afterwards
// by OpenInitialDisplays.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/vm/lua.h"
#include "shell/applet.h"
#include "shell/options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Loads one declared object. 0 or an error code (which ends the run). */
typedef int (*cxPreloadFunc)(lua_State *L, const cxPreprocItem *item, const cxApplet *applet,
                             const cxStartupOptions *opts);

/* Registers the loader of a kind and the name of the preprocessor command
   that declares such objects (for example "BRUSH"; the vocabulary export
   lists it). A second registration of a kind replaces the first. 0, 1000,
   or 1055 for kind 0, kind 21, a null loader or an empty name. */
int RegisterPreloadKind(uint32_t kind, const char *commandName, cxPreloadFunc load);
/* Forgets every registration (tests; the registrations otherwise live for
   the process). */
void ClearPreloadKinds(void);
/* The preprocessor command name of the index-th registration (in order of
   registration), or null past the last. */
const char *GetPreloadCommandName(size_t index);

/* Loads the applet's declared objects in declaration order, with kernel
   tag 5 (preloading) set meanwhile. A kind without a loader prints
   "*** WARNING %s ***" and is skipped; the first loader error ends the
   loop and is returned. */
int PreloadObjects(lua_State *L, const cxApplet *applet, const cxStartupOptions *opts);

#ifdef __cplusplus
}
#endif
