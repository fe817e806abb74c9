// The layers library's hooks in the libraries below it: the display core
// (brushes, BGPic parts and caller images become layers), text, shapes
// and paths, SafeBlt's redraw, the display's picture, frames and end, the
// draw output's Cls and direct drawing, output redirection and the layer
// names of option tables.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Installs every hook, wrapping the ones already in place; Remove puts
   those back. */
void InstallLayerHooks(void);
void RemoveLayerHooks(void);

/* Layers made while the display's output was the BGPic it shows appear:
   their boxes are presented (the end of such a selection). */
void ReleaseSuppressedLayers(lua_State *L, struct cxDisplay *d);

#ifdef __cplusplus
}
#endif
