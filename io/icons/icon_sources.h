// Where the images of icon entries come from: brushes and image files.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

struct cxImageHandle;

/* One image for an icon entry: malloc'd 0xAARRGGBB pixels (made opaque
   when the source has no transparency), or a vector image reference. */
typedef struct cxIconSource {
    int32_t width;
    int32_t height;
    uint32_t transparent;
    uint32_t *pixels;
    struct cxImageHandle *vector;
} cxIconSource;

/* Frees the pixels and drops the vector reference. */
void FreeIconSource(cxIconSource *source);

/* The image of a brush, with its mask or alpha channel merged into the top
   byte; deferred: the brush's bitmaps are not made yet, its loaded image
   is read instead. 0, or the brush lookup's error. */
int GetBrushIconImage(lua_State *L, cxObjectID brush, int deferred, cxIconSource *out);

/* An image file through the image loaders, with the "Loading icon" progress
   line. 0, or the loader's error. */
int LoadFileIconImage(const char *file, const char *loaders, const char *adapters, cxIconSource *out);
