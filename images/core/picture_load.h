// Loading an image file for a brush or a BGPic: the loader front
// (plug-ins first, then the built-in formats) into a reference-counted
// image handle of ARGB pixels, with the alpha channel and the transparency
// the options ask for.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxPictureLoad {
    cxImageHandle *image;       /* one reference; ARGB pixels, rows from the top */
    int32_t width, height, rowLength;
    int32_t transparentColour;  /* the given one, or the one the file carries; -1 none */
    uint32_t maskFromAlpha;     /* the file brought its transparency in the alpha bytes */
    uint32_t hasAlpha;          /* the pixels carry an alpha channel */
    uint32_t brushKind;         /* 0 bitmap; 1 a vector image a plug-in re-renders */
    uintptr_t loaderWord;
    uint32_t *palette;          /* an ILBM's 256 colours (malloc'd) or null */
} cxPictureLoad;

/* Loads the file. transparency asks for the file's own transparency: 0
   none, 1 as a mask ("loadtransparency": an ILBM's colour key, a GIF's
   transparent index), 2 as an alpha channel ("loadalpha"). 0 or the
   loader's error (ERR_READFILE, ERR_LOADPICTURE2 with the file as detail,
   ERR_MEM). */
int LoadPicture(const char *file, const char *loaders, const char *adapters, int transparency,
                int32_t transparentColour, cxPictureLoad *out);
/* The transparency of LoadPicture for the two load options. */
#define CX_PICTURE_TRANSPARENCY(loadAlpha, loadTransparency) ((loadAlpha) ? 2 : (loadTransparency) ? 1 : 0)
/* Drops the image reference and the palette. */
void FreePictureLoad(cxPictureLoad *load);

/* The bitmaps of a part of a loaded picture: colour bitmap, a mask from
   the transparent colour (or from the alpha bytes with maskFromAlpha) and,
   with wantAlpha and alpha in the pixels, an alpha channel. 0, ERR_BITMAP,
   ERR_ALLOCMASK or ERR_ALLOCALPHA; nothing is kept on failure. */
int MakePictureBitmaps(const cxPictureLoad *load, int32_t x, int32_t y, int32_t width, int32_t height,
                       int wantAlpha, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha);

#ifdef __cplusplus
}
#endif
