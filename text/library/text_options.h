// The display options a text command reads from its options table, through
// the common display-options reader: what the text needs of them is kept in
// a cxTextDrawOptions.
#pragma once

#include "engine/vm/lua.h"
#include "text/library/render_text.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The anchor, the matrix (scale, rotation, transform) and smoothing. 0 or
   an error code. */
int ReadTextDisplayOptions(lua_State *L, int index, cxTextDrawOptions *out);
/* The matrix of a rotation by angle degrees (counter-clockwise on screen)
   after scaling by sx and sy. */
void MakeTextMatrix(double sx, double sy, double angle, double m[4]);

#ifdef __cplusplus
}
#endif
