#include "images/bgpics/bgpic_fill.h"

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "images/core/argb_bitmaps.h"
#include "images/core/layer_use.h"

extern "C" int FillNewBitmap(lua_State *L, cxFillStyle *fill, int32_t width, int32_t height, cxBitmap **out) {
    *out = nullptr;
    if (fill->style == CX_FILL_TEXTURE && !fill->textureBitmap) {
        cxBrush *brush = nullptr;
        if (int err = FindBrush(L, fill->textureBrush, &brush, 0)) return err;
        if (!brush->bitmap) return ERR_BITMAP;
        fill->textureBitmap = DuplicateBitmap(brush->bitmap, brush->width, brush->height);
        if (!fill->textureBitmap) return ERR_BITMAP;
        fill->textureWidth = brush->width;
        fill->textureHeight = brush->height;
    }
    cxBitmap *bm = AllocBitmap(width, height, 0, 0);
    if (!bm) return ERR_BITMAP;
    int err = 0;
    switch (fill->style) {
    case CX_FILL_GRADIENT: err = DrawGradient(bm, 0, 0, width, height, &fill->gradient); break;
    case CX_FILL_TEXTURE:
        err = TileBitmap(bm, 0, 0, width, height, fill->textureBitmap, nullptr, fill->textureWidth,
                         fill->textureHeight, fill->textureX, fill->textureY);
        break;
    default: err = FillRect(bm, 0, 0, width, height, fill->colour & 0xFFFFFF); break;
    }
    if (err) {
        FreeBitmap(bm);
        return err;
    }
    *out = bm;
    return 0;
}

extern "C" int BuildBGPicBitmap(lua_State *L, const uint32_t *pixels, cxFillStyle *fill, int32_t key, int32_t width,
                                int32_t height, int32_t rowLength, cxBitmap **bitmap, cxBitmap **mask,
                                cxBitmap **alpha) {
    *bitmap = nullptr;
    *mask = nullptr;
    cxBitmap *image = nullptr, *imageMask = nullptr;
    if (pixels) {
        if (int err = MakeBitmapFromARGB(pixels, key, width, height, rowLength, &image, &imageMask)) return err;
        if (!fill || fill->style == CX_FILL_NONE) {
            *bitmap = image;
            *mask = imageMask;
            return 0;
        }
    }
    cxBitmap *filled = nullptr;
    if (int err = FillNewBitmap(L, fill, width, height, &filled)) {
        FreeBitmap(image);
        FreeMask(imageMask);
        return err;
    }
    if (image) {
        // The image lies over the fill: only its opaque parts stay.
        if (*alpha)
            BltBitmapAlpha(image, 0, 0, filled, 0, 0, width, height, *alpha);
        else if (imageMask)
            BltBitmapMask(image, 0, 0, filled, 0, 0, width, height, imageMask);
        else
            BltBitmap(image, 0, 0, filled, 0, 0, width, height);
        FreeBitmap(image);
        FreeMask(imageMask);
        FreeAlphaChannel(*alpha);
        *alpha = nullptr;
    }
    *bitmap = filled;
    return 0;
}

extern "C" int RenderBGPicAtSize(lua_State *L, cxBGPic *b, int32_t width, int32_t height, int smooth,
                                 cxBitmapSet *out) {
    *out = cxBitmapSet{};
    if (b->fill.style != CX_FILL_NONE && b->fill.pristine) {
        cxBitmap *alpha = nullptr;
        return BuildBGPicBitmap(L, nullptr, &b->fill, -1, width, height, width, &out->bitmap, &out->mask, &alpha);
    }
    return ScaleBitmapFx(b->base.bitmap, b->base.mask, b->base.alpha, 0, 0, b->baseWidth, b->baseHeight, width,
                         height, smooth, &out->bitmap, &out->mask, &out->alpha);
}

extern "C" int ResizeBGPic(lua_State *L, cxBGPic *b, int32_t width, int32_t height, int smooth) {
    if (int err = ApplyKeepAspectRatio(b->scaledWidth, b->scaledHeight, &width, &height)) return err;
    if (width == b->scaledWidth && height == b->scaledHeight) return 0;
    cxBitmapSet made;
    if (int err = RenderBGPicAtSize(L, b, width, height, smooth, &made)) return err;
    FreeBitmapSets(b);
    b->base = b->scaled = b->current = made;
    b->baseWidth = b->scaledWidth = b->currentWidth = width;
    b->baseHeight = b->scaledHeight = b->currentHeight = height;
    return 0;
}

extern "C" int RealizeBGPic(lua_State *L, cxBGPic *b) {
    if (b->base.bitmap || !b->image) return 0;
    const uint32_t *pixels = GetImageHandlePixels(b->image);
    cxBitmap *alpha = nullptr;
    if (b->pendingAlpha && !(alpha = AlphaChannelFromARGB(pixels, b->baseWidth, b->baseHeight, b->imageRowLength)))
        return ERR_ALLOCALPHA;
    cxBitmap *bm = nullptr, *mask = nullptr;
    if (int err = BuildBGPicBitmap(L, pixels, &b->fill, b->transparentColour, b->baseWidth, b->baseHeight,
                                   b->imageRowLength, &bm, &mask, &alpha)) {
        FreeAlphaChannel(alpha);
        return err;
    }
    b->base = b->scaled = b->current = cxBitmapSet{bm, mask, alpha};
    b->pendingAlpha = 0;
    // A bitmap BGPic needs its image no longer.
    if (b->bgpicKind == 0) {
        ReleaseImageHandle(b->image);
        b->image = nullptr;
        b->imageRowLength = b->baseWidth;
    }
    return 0;
}
