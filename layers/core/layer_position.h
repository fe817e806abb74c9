// Where a layer lies: the position of a render state, moving a layer
// (its images move along, nothing is rendered again), and installing a
// newly rendered image.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"
#include "layers/core/layer_image.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Coordinate codes of moves: keep the current value; a code from
   CX_LAYER_RELATIVE_MIN to CX_LAYER_RELATIVE_MAX is the current value plus
   (code - CX_LAYER_KEEP). */
#define CX_LAYER_KEEP 100000
#define CX_LAYER_RELATIVE_MIN 95001
#define CX_LAYER_RELATIVE_MAX 104999

/* Relative flags of UpdateLayerPosition. */
#define CX_MOVE_RELX 1u
#define CX_MOVE_RELY 2u

/* The state's given position becomes (x, y); the anchored position is
   the position less the anchor's share of the base state's source size
   (truncated); the drawn position keeps its offset from the anchored one.
   A LINE layer's end points move along. */
void SetStatePosition(cxLayer *layer, cxLayerState *state, int32_t x, int32_t y);

/* Moves a layer to (x, y) (keep and relative codes, or distances with the
   relative flags). Unless noRefresh, the span of the old and the new box
   (with shadow and border) goes into *unionBox when given, else into the
   dirty array when given, else to MarkRectDirty. Coordinates saturate. */
void UpdateLayerPosition(lua_State *L, cxLayer *layer, cxLayerBox *unionBox, int64_t x, int64_t y, int noRefresh,
                         uint32_t relative, cxDirtyRects *dirty);

/* Flags of SetLayerImage. */
#define CX_SETIMAGE_KEEPLINEPOS 64u /* a LINE layer keeps its drawn position */

/* Installs a new image in the display state: its drawn position becomes
   (x, y) (the image's top-left; the renderers take the anchor off) and its
   rendered size width x height; a given bitmap with its mask and alpha
   becomes the state's own image (the old one is freed). A box record with
   width -1 takes the new box; otherwise the span of its box and the new
   one is refreshed unless its noRefresh is set or the layer is hidden or
   suppressed. The cached filtered, border and shadow images go; async-draw
   buffers are made anew at the new size, or the async draws are told. */
void SetLayerImage(lua_State *L, cxLayer *layer, cxLayerBox *box, int32_t x, int32_t y, int32_t width,
                   int32_t height, cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, uint32_t flags);

/* Saturating conversion of a script number to a coordinate: NaN gives 0. */
int32_t SaturateCoordinate(double value);
int32_t SaturateInt64(int64_t value);

#ifdef __cplusplus
}
#endif
