// PathToBrush: a path rendered once into a brush whose alpha channel is
// the path's coverage.
#pragma once

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Renders path pathId with its own style (the style in force when it was
   started) and the current engine into brush *brushId: a number replaces
   the brush of that number, a non-null pointer asks for an automatic ID,
   which is written back. The brush is as large as the path's pixel box;
   its colour is the fill (gradient, else black) and its alpha channel the
   coverage. Nothing changes on failure. 0, ERR_EMPTYPATH and the errors
   of FindPath, RenderPathCoverage, FreeBrushByID and CreateBlankBrush. */
int PathToBrushCommand(lua_State *L, cxObjectID pathId, cxObjectID *brushId);

#ifdef __cplusplus
}
#endif
