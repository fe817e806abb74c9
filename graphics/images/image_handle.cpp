#include "graphics/images/image_handle.h"

#include <stdlib.h>

#include "engine/plugins/plugin_registry.h"

namespace {

cxInbuiltImageFree g_inbuiltFree = nullptr;

// Largest image: its byte count must fit comfortably in size_t and int.
constexpr int64_t kMaxPixels = int64_t{1} << 28;

}  // namespace

extern "C" void SetInbuiltImageFree(cxInbuiltImageFree release) { g_inbuiltFree = release; }

extern "C" cxImageHandle *AllocImageHandle(int width, int height) {
    if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxPixels) return nullptr;
    auto *image = static_cast<cxImageHandle *>(calloc(1, sizeof(cxImageHandle)));
    if (!image) return nullptr;
    image->pixels = static_cast<uint32_t *>(malloc(static_cast<size_t>(width) * static_cast<size_t>(height) * 4));
    if (!image->pixels) {
        free(image);
        return nullptr;
    }
    image->refCount = 1;
    image->ownsPixels = 1;
    image->width = width;
    image->height = height;
    return image;
}

extern "C" cxImageHandle *WrapImageHandle(void *data, uint32_t *pixels, void (*freeData)(void *data), int noFree,
                                          int width, int height, int foreignCall) {
    auto *image = static_cast<cxImageHandle *>(calloc(1, sizeof(cxImageHandle)));
    if (!image) return nullptr;
    image->refCount = 1;
    image->data = data;
    image->pixels = pixels;
    image->freeData = freeData;
    image->customFree = freeData && !noFree;
    image->foreignCall = foreignCall;
    image->width = width;
    image->height = height;
    return image;
}

extern "C" void RetainImageHandle(cxImageHandle *image) {
    if (image) image->refCount++;
}

extern "C" void ReleaseImageHandle(cxImageHandle *image) {
    if (!image || --image->refCount > 0) return;
    if (image->customFree) {
        // A plug-in's free function obeys its calling convention.
        if (image->foreignCall && image->loader)
            CallPluginEntry(image->loader, image->freeData, image->data);
        else
            image->freeData(image->data);
    } else if (image->loader) {
        if (!image->keepLoaderImage && image->loaderImage)
            CallPluginEntry(image->loader, image->loader->FreeImage, image->loaderImage);
    } else if (g_inbuiltFree) {
        g_inbuiltFree(image);
    }
    if (image->ownsPixels) free(image->pixels);
    free(image->overridePixels);
    free(image);
}

extern "C" uint32_t *GetImageHandlePixels(cxImageHandle *image) {
    if (!image) return nullptr;
    return image->overridePixels ? image->overridePixels : image->pixels;
}

extern "C" void GetImageHandleSize(cxImageHandle *image, int *width, int *height) {
    if (width) *width = image ? image->width : 0;
    if (height) *height = image ? image->height : 0;
}
