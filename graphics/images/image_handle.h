// Reference-counted image handles: images loaded by image-loader plug-ins
// or by the player's own loaders travel through them as ARGB pixels.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxImageHandle {
    cxPlugin *loader;          /* the loader plug-in, null for the player's own loaders */
    void *loaderImage;         /* the loader's own image handle */
    uint32_t *pixels;          /* ARGB, width * height */
    uint32_t *overridePixels;  /* used first when set; owned by the handle */
    int refCount;
    int ownsPixels;
    int customFree;            /* free through freeData(data) */
    void (*freeData)(void *data);
    void *data;
    int foreignCall;           /* freeData belongs to a plug-in: called through its calling convention */
    int keepLoaderImage;       /* do not free the loader's image */
    int width;
    int height;
};

/* A handle with one reference that owns a width x height ARGB buffer
   (uncleared); null when either allocation fails or the size is not
   positive or too large. */
cxImageHandle *AllocImageHandle(int width, int height);
/* A handle with one reference around existing data: pixels are not owned;
   freeData(data) runs when the last reference goes (unless noFree). */
cxImageHandle *WrapImageHandle(void *data, uint32_t *pixels, void (*freeData)(void *data), int noFree, int width,
                               int height, int foreignCall);
void RetainImageHandle(cxImageHandle *image);
/* Drops one reference; at zero frees the loaded image (the loader
   plug-in's FreeImage, the player's own free routine or the custom free
   function), the owned buffers and the handle. */
void ReleaseImageHandle(cxImageHandle *image);
/* The override pixels when set, else the pixels. */
uint32_t *GetImageHandlePixels(cxImageHandle *image);
void GetImageHandleSize(cxImageHandle *image, int *width, int *height);

/* How the player's own image loaders free what they loaded. */
typedef void (*cxInbuiltImageFree)(cxImageHandle *image);
void SetInbuiltImageFree(cxInbuiltImageFree release);

#ifdef __cplusplus
}
#endif
