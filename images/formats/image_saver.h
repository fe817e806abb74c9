// Saving pictures: SaveImage writes 0xAARRGGBB pixels as BMP, PNG, JPEG,
// GIF or IFF ILBM; SaveBitmapImage gathers a bitmap with its mask, alpha
// channel or transparent colour first. Other formats go to saver plug-ins.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

enum cxImageSaveFormat {
    CX_SAVE_BMP = 0,
    CX_SAVE_PNG = 1,
    CX_SAVE_JPEG = 2,
    CX_SAVE_GIF = 3,
    CX_SAVE_ILBM = 4
};

/* Writes width x height pixels (rows width words apart). hasAlpha: the
   alpha bytes count (PNG keeps them; GIF makes pixels below 128 its
   transparent colour). quality 0-100 for JPEG; colours (2-256) and dither
   for GIF. Returns 0, ERR_MEM, ERR_WRITEFILE, ERR_WRITE or
   ERR_UNKNOWNIMGOUT. */
int SaveImage(int format, const uint32_t *argb, int width, int height, const char *file, int hasAlpha, int quality,
              int colours, int dither);

/* Gathers width x height pixels of the bitmap; mask (bit clear =
   transparent), alpha channel, or transparentColour (0xRRGGBB, -1 none)
   give the alpha bytes; then SaveImage. hardware is ignored (no video
   bitmaps are read differently here). */
int SaveBitmapImage(int format, const cxBitmap *bitmap, int width, int height, const char *file,
                    const cxBitmap *mask, int32_t transparentColour, const cxBitmap *alpha, int quality, int colours,
                    int dither, int hardware);

/* The colour quantiser the GIF saver uses, with the arguments of the
   graphics core's QuantizePixels: fills indices and palette, colours in/out,
   reserves an entry for transparent pixels when reserve is set and reports
   it in transparentIndex. 1 on success, 0 when memory ran out. Without one the
   graphics core's QuantizePixels is used (tests may install another). */
typedef int (*cxImageQuantizer)(const void *pixels, uint32_t pixelFormat, uint32_t bytesPerPixel, int32_t width,
                                 int32_t height, int32_t rowLength, uint8_t *indices, uint32_t *palette,
                                 int32_t *colours, int32_t transparentColour, int reserve, int dither,
                                 int32_t *transparentIndex);
void SetImageQuantizer(cxImageQuantizer quantizer);

/* Saver plug-ins: the shell installs a function that offers a format to
   the savers it knows; it answers ERR_UNKNOWNIMGOUT when none takes it. */
typedef int (*cxPluginImageSaver)(int format, const uint32_t *argb, int width, int height, const char *file,
                                  int hasAlpha, int quality, int colours, int dither);
void SetPluginImageSaver(cxPluginImageSaver saver);

#ifdef __cplusplus
}
#endif
