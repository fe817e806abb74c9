// Icon images from image files, and freeing what a source holds.
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "engine/runtime/console.h"
#include "graphics/images/image_handle.h"
#include "images/formats/image_loader.h"
#include "io/icons/icon_sources.h"

void FreeIconSource(cxIconSource *source) {
    free(source->pixels);
    if (source->vector) ReleaseImageHandle(source->vector);
    *source = cxIconSource{};
}

int LoadFileIconImage(const char *file, const char *loaders, const char *adapters, cxIconSource *out) {
    *out = cxIconSource{};
    PrintStatusMessage(GetMessageText(CX_MSG_LOADING_ICON), file, 1);
    cxImageLoad load{};
    if (int err = LoadImageFile(file, loaders, adapters, nullptr, -1, 2, &load)) return err;
    const size_t count = static_cast<size_t>(load.width) * static_cast<size_t>(load.height);
    out->pixels = static_cast<uint32_t *>(malloc(count ? count * 4 : 4));
    if (!out->pixels) {
        FreeImageLoad(&load);
        return ERR_MEM;
    }
    memcpy(out->pixels, load.pixels, count * 4);
    out->width = load.width;
    out->height = load.height;
    // a GIF's transparent colour arrives in the alpha bytes too
    out->transparent = load.hasAlpha || load.pen == -2;
    if (!out->transparent)
        for (size_t i = 0; i < count; i++) out->pixels[i] |= 0xFF000000u;
    FreeImageLoad(&load);
    PrintDoneMessage();
    return 0;
}
