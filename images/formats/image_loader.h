// The image loader front: recognises a file by its signature, probes its
// size without decoding, and loads it with the built-in decoders or, first,
// with the image-loader plug-ins.
#pragma once

#include <stdint.h>

#include "images/formats/loaded_image.h"
#include "include/calyxtone/cxplugin.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Format, size and transparency from the file's first bytes (JPEG: its
   markers up to the first frame header, with the Exif orientation, read only
   when *orientation is 0 on entry; orientations 5-8 swap width and height).
   0 or ERR_LOADPICTURE2. Any out pointer but width and height may be null. */
int ProbeImageHeader(cxStream *stream, int *format, int *width, int *height, int *hasAlpha, int *hasMask,
                     int *orientation);

/* Loads a file with the built-in decoders ("inbuilt" in the loader list) or
   the platform's native loader ("native"). With image null only the size
   and format are found (header mode). ilbmPalette (colour words ended by
   0xFFFFFFFF) and ilbmColour go to the ILBM reader; transparencyMode is 0
   none, 1 transparent colour, 2 alpha channel. palette receives a malloc'd
   copy of a palette-based ILBM's 256 colours; pen -1, an ILBM's transparent
   colour, or -2 when a GIF brought transparency into the alpha bytes (in
   header mode 1 when the file has a mask or transparent colour). Returns 0,
   ERR_MEM, ERR_READFILE or ERR_LOADPICTURE2 (detail = file name). */
int LoadImageInbuilt(const char *file, const char *loaders, const char *adapters, const uint32_t *ilbmPalette,
                     int32_t ilbmColour, int transparencyMode, cxLoadedImage **image, uint32_t **palette,
                     int32_t *pen, int *width, int *height, int *hasAlpha, int *native, int *format);

/* The platform's own picture loader; none on Linux, where it answers
   ERR_LOADPICTURE2. A port may install one. */
typedef int (*cxNativePictureLoader)(const char *file, const char *adapters, void **handle, int *width,
                                     int *height);
void SetNativePictureLoader(cxNativePictureLoader loader);

/* A picture from a plug-in or the built-in decoders. */
typedef struct cxImageLoad {
    uint32_t *pixels;       /* 0xAARRGGBB, width x height */
    int32_t width;
    int32_t height;
    int32_t hasAlpha;
    int32_t pen;            /* as LoadImageInbuilt */
    int32_t format;         /* cxImageFormat; CX_IMGFMT_PLUGIN from a plug-in */
    uint32_t *palette;      /* ILBM palette copy or null */
    cxPlugin *plugin;       /* the loader that took it, or null */
    void *pluginImage;      /* the plug-in's image (owns pixels) */
    cxLoadedImage *loaded;  /* the built-in record (owns pixels) */
} cxImageLoad;

/* Offers the file to every enabled image-loader plug-in the loader list
   selects, then to the built-in decoders. 0 or an error as
   LoadImageInbuilt. Release with FreeImageLoad. */
int LoadImageFile(const char *file, const char *loaders, const char *adapters, const uint32_t *ilbmPalette,
                  int32_t ilbmColour, int transparencyMode, cxImageLoad *out);
void FreeImageLoad(cxImageLoad *load);

/* Format and size without decoding: plug-ins first (format
   CX_IMGFMT_PLUGIN), then the built-in probe. 0 or an error. */
int IdentifyImageFile(const char *file, const char *loaders, const char *adapters, int *format, int *width,
                      int *height, int *hasAlpha);

#ifdef __cplusplus
}
#endif
