// Layer buttons: the layers' side of MakeButton's LAYERBUTTON (finding the
// layer, the hit test on its box, clip region and pixels, whether it
// shows), installed in the buttons when the layers library opens.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* L is the state the pixel-exact hit tests fetch layer images with. */
void InstallLayerButtonHooks(lua_State *L);
void RemoveLayerButtonHooks(void);

#ifdef __cplusplus
}
#endif
