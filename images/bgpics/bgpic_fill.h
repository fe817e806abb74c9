// A BGPic's bitmap from its image and its fill style, and a BGPic rendered
// at another size (ScaleBGPic, layer scaling).
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "images/bgpics/bgpic.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills a new bitmap of width x height with the fill style (colour,
   gradient, or the texture tiled from its offset; the texture bitmap is
   copied from the texture brush first when missing). 0 or an error. */
int FillNewBitmap(lua_State *L, cxFillStyle *fill, int32_t width, int32_t height, cxBitmap **out);

/* The bitmap of a BGPic: from the ARGB pixels (a mask from the transparent
   colour) when given; over the fill style when there is one, blended
   through *alpha or the mask (the result then has neither). *alpha is an
   in/out: the loader's alpha channel goes in, the result's comes out. 0 or
   an error; on error *alpha is still the caller's. */
int BuildBGPicBitmap(lua_State *L, const uint32_t *pixels, cxFillStyle *fill, int32_t transparentColour,
                     int32_t width, int32_t height, int32_t rowLength, cxBitmap **bitmap, cxBitmap **mask,
                     cxBitmap **alpha);

/* The BGPic at width x height: bitmap BGPics scaled from the base set,
   filled ones made again from their fill. 0 or an error. */
int RenderBGPicAtSize(lua_State *L, cxBGPic *b, int32_t width, int32_t height, int smooth, cxBitmapSet *out);

/* ScaleBGPic's work: width or height may be CX_KEEPASPRAT; nothing happens
   when the size stays. The result becomes all three sets. */
int ResizeBGPic(lua_State *L, cxBGPic *b, int32_t width, int32_t height, int smooth);

/* The bitmaps of a BGPic loaded before a display existed, from its kept
   image and its fill style. Nothing to do for others. 0 or an error. */
int RealizeBGPic(lua_State *L, cxBGPic *b);

#ifdef __cplusplus
}
#endif
