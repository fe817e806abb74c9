// A layer built anew around a new image (the transition effects and the
// sprites change layers this way), and where drawing into a layer's mask
// or alpha channel goes.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "layers/core/layer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces *layer by a new layer of the same type at the same place in
   its list that shows bitmap (with mask and alpha, each may be null; all
   taken over) where the old image was drawn. The new layer keeps the old
   one's source, content, transform, anchor, transparency, shadow, border
   (with their fade levels), filters, clip region, name (whole), group,
   visibility, effect flag, object data, button and async draws; it is
   drawn at once when d shows its BGPic. For the call d is the current
   display, drawing to itself with layers on; all of that is put back.
   *layer is the new layer. 0, ERR_LAYERRANGE for a layer in no list,
   ERR_MEM, or AddLayer's errors (the old layer stays); the bitmaps are
   freed on failure. */
int RebuildLayer(lua_State *L, cxDisplay *d, cxLayer **layer, cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha);

/* The places of the mask and alpha channel of what a layer shows (its
   brush's, or the image a BGPic part, anim or text object layer keeps), so
   that drawing into them can replace them; both null for other types. 0 or
   the brush lookup's error. */
int GetLayerMaskSlots(lua_State *L, cxLayer *layer, int32_t frame, cxBitmap ***mask, cxBitmap ***alpha);

#ifdef __cplusplus
}
#endif
