#include "graphics/images/image_cache.h"

#include <cstdlib>
#include <cstring>

#include "engine/charset/charset.h"
#include "errors/error_codes.h"

namespace {

cxImageCacheEntry *g_head = nullptr;

} // namespace

extern "C" int AddCachedImage(const char *name, int32_t width, int32_t height, uint32_t wordA, cxImageHandle *image,
                              const cxBitmap *alpha, uint32_t wordB) {
    auto *e = static_cast<cxImageCacheEntry *>(calloc(1, sizeof(cxImageCacheEntry)));
    if (!e) return ERR_MEM;
    if (alpha) {
        e->alpha = CopyAlphaChannel(alpha, alpha->width, alpha->height);
        if (!e->alpha) {
            free(e);
            return ERR_MEM;
        }
    }
    if (name) {
        std::strncpy(e->name, name, CX_IMAGECACHE_NAMESIZE - 1);
        // A name cut in the middle of a UTF-8 sequence would never match.
        size_t n = std::strlen(e->name);
        if (n == CX_IMAGECACHE_NAMESIZE - 1 && GetUtf8Mode()) {
            size_t start = n;
            while (start > 0 && (uint8_t(e->name[start - 1]) & 0xC0) == 0x80) --start;
            if (start > 0 && uint8_t(e->name[start - 1]) >= 0xC0) e->name[start - 1] = 0;
        }
    }
    e->width = width;
    e->height = height;
    e->wordA = wordA;
    e->wordB = wordB;
    e->image = image;
    RetainImageHandle(image);
    cxImageCacheEntry **tail = &g_head;
    while (*tail) tail = &(*tail)->next;
    *tail = e;
    return 0;
}

extern "C" int FindCachedImage(const char *name, int wantAlpha, int32_t *width, int32_t *height, uint32_t *wordA,
                               cxImageHandle **image, cxBitmap **alpha, uint32_t *wordB) {
    if (alpha) *alpha = nullptr;
    if (!name) return ERR_CACHEERROR;
    const cxImageCacheEntry *e = g_head;
    while (e && StrCompareNoCase(e->name, name) != 0) e = e->next;
    if (!e || (wantAlpha && !e->alpha)) return ERR_CACHEERROR;
    if (wantAlpha && alpha) {
        *alpha = CopyAlphaChannel(e->alpha, e->alpha->width, e->alpha->height);
        if (!*alpha) return ERR_MEM;
    }
    if (width) *width = e->width;
    if (height) *height = e->height;
    if (wordA) *wordA = e->wordA;
    if (wordB) *wordB = e->wordB;
    // The reference goes with the handle handed out.
    if (image) {
        RetainImageHandle(e->image);
        *image = e->image;
    }
    return 0;
}

extern "C" void ClearImageCache(void) {
    while (cxImageCacheEntry *e = g_head) {
        g_head = e->next;
        ReleaseImageHandle(e->image);
        FreeAlphaChannel(e->alpha);
        free(e);
    }
}
