// The image cache: images loaded once by name and handed out again, each
// with its loader handle and, when it has one, a copy of its alpha channel.
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_IMAGECACHE_NAMESIZE 1024

typedef struct cxImageCacheEntry {
    struct cxImageCacheEntry *next;
    char name[CX_IMAGECACHE_NAMESIZE];
    int32_t width;
    int32_t height;
    uint32_t wordA;       /* kept for the caller */
    cxImageHandle *image; /* the cache holds one reference */
    cxBitmap *alpha;      /* the cache's own copy, or null */
    uint32_t wordB;       /* kept for the caller */
} cxImageCacheEntry;

/* Appends an entry (the name cut to fit); adds a reference to the image and
   keeps a copy of the alpha channel when one is given. 0 or ERR_MEM. */
int AddCachedImage(const char *name, int32_t width, int32_t height, uint32_t wordA, cxImageHandle *image,
                   const cxBitmap *alpha, uint32_t wordB);
/* The first entry whose name matches, without regard to case in the script
   encoding. On success adds a reference to the image for the caller and,
   with wantAlpha, hands out a new copy of the alpha channel that the caller
   owns. 0; ERR_CACHEERROR (1246) for no such entry, or with wantAlpha for
   an entry without alpha; ERR_MEM when the copy cannot be made. Output
   pointers may be null; without image no reference is added. */
int FindCachedImage(const char *name, int wantAlpha, int32_t *width, int32_t *height, uint32_t *wordA,
                    cxImageHandle **image, cxBitmap **alpha, uint32_t *wordB);
/* Releases every entry: its image reference and its alpha copy. */
void ClearImageCache(void);

#ifdef __cplusplus
}
#endif
