// The fill-style keys of shape layers (box, circle, ellipse, line,
// polygon, arc): how GetLayerStyle reports the fill a shape was drawn with
// and how SetLayerStyle changes it.
#pragma once

#include "engine/vm/lua.h"
#include "layers/core/layer_content.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Stores "formstyle" (without SHADOW and EDGE, which are the layer's
   shadow and border), "fillstyle", the gradient keys ("gradientstyle",
   "gradientangle", "gradientstartcolor", "gradientendcolor", and the
   centre, balance, border and "gradientcolors" stops of a full gradient)
   and "texturebrush", "texturex", "texturey" into the table on top of the
   stack. */
void WriteFillStyleKeys(lua_State *L, const cxLayerShapeContent *shape);

/* Reads the keys present in the table at index into shape; absent keys
   keep their values. "formstyle" with NORMAL resets the form style to
   NORMAL; otherwise SHADOW and EDGE are taken out and switch *shadow and
   *edge on, the other bits are added. "formstyleclear" switches them off
   and removes the other bits. Start or end colour alone turn the colour
   stops off; the centre, balance, border and stops of a gradient fill are
   read with the table reader. *found is set when any key was there,
   *changed when *shadow or *edge was written. 0, ERR_WRONGUSAGE for a fill
   or gradient style out of range, or the gradient reader's errors; the
   table readers raise their own. */
int ReadFillStyleKeys(lua_State *L, int table, int *shadow, int *edge, cxLayerShapeContent *shape, int *found,
                      int *changed);

#ifdef __cplusplus
}
#endif
