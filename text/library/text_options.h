// The display options a text command reads from its options table. The
// common display-options reader of the image library takes this over once
// it exists; until then the anchor, rotation, scale and smoothing are read
// here, in this one place.
#pragma once

#include "engine/vm/lua.h"
#include "text/library/render_text.h"

#ifdef __cplusplus
extern "C" {
#endif

/* "anchorx", "anchory" (0..1), "rotate" (degrees), "scalex", "scaley",
   "smoothscale". 0 or an error code. */
int ReadTextDisplayOptions(lua_State *L, int index, cxTextDrawOptions *out);
/* The matrix of a rotation by angle degrees (counter-clockwise on screen)
   after scaling by sx and sy. */
void MakeTextMatrix(double sx, double sy, double angle, double m[4]);

#ifdef __cplusplus
}
#endif
