#include "images/core/picture_load.h"

#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "images/core/argb_bitmaps.h"
#include "images/formats/image_loader.h"

namespace {

void FreeLoadData(void *data) {
    auto *load = static_cast<cxImageLoad *>(data);
    load->palette = nullptr;  // handed to the caller
    FreeImageLoad(load);
    free(load);
}

// A mask of the pixels whose alpha byte is not 0.
cxBitmap *MaskFromAlphaBytes(const cxBitmap *colour, const uint32_t *pixels, int32_t w, int32_t h, int32_t rowLength) {
    cxBitmap *mask = AllocMask(colour, w, h, 1, nullptr, 0);
    if (!mask) return nullptr;
    cxOsBitmapLock l;
    if (!LockBitmap(mask, 0, &l)) {
        UnlockBitmap(&l);
        FreeMask(mask);
        return nullptr;
    }
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t *src = pixels + size_t(y) * rowLength;
        uint8_t *row = l.pixels + size_t(y) * l.rowLength;
        for (int32_t x = 0; x < w; ++x)
            if (src[x] >> 24) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    UnlockBitmap(&l);
    return mask;
}

}  // namespace

extern "C" int LoadPicture(const char *file, const char *loaders, const char *adapters, int transparency,
                           int32_t transparentColour, cxPictureLoad *out) {
    memset(out, 0, sizeof *out);
    out->transparentColour = -1;
    auto *load = static_cast<cxImageLoad *>(calloc(1, sizeof(cxImageLoad)));
    if (!load) return ERR_MEM;
    // The built-in decoders bring an ILBM's colour key and a GIF's
    // transparency only when asked.
    const int mode = transparency == 1 || transparency == 2 ? transparency : 0;
    if (int err = LoadImageFile(file, loaders, adapters, nullptr, -1, mode, load)) {
        free(load);
        return err;
    }
    cxImageHandle *image = WrapImageHandle(load, load->pixels, FreeLoadData, 0, load->width, load->height, 0);
    if (!image) {
        FreeImageLoad(load);
        free(load);
        return ERR_MEM;
    }
    out->image = image;
    out->width = load->width;
    out->height = load->height;
    out->rowLength = load->width;
    out->hasAlpha = load->hasAlpha ? 1 : 0;
    out->palette = load->palette;
    out->transparentColour = transparentColour;
    // A colour key the file carries replaces the given one.
    if (load->pen >= 0) out->transparentColour = load->pen;
    if (load->pen == -2 && mode == 1) out->maskFromAlpha = 1;
    return 0;
}

extern "C" void FreePictureLoad(cxPictureLoad *load) {
    if (load->image) ReleaseImageHandle(load->image);
    free(load->palette);
    memset(load, 0, sizeof *load);
}

extern "C" int MakePictureBitmaps(const cxPictureLoad *load, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int wantAlpha, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha) {
    *bitmap = *mask = *alpha = nullptr;
    const uint32_t *pixels = GetImageHandlePixels(load->image) + size_t(y) * load->rowLength + x;
    const int32_t key = load->maskFromAlpha ? -1 : load->transparentColour;
    if (int err = MakeBitmapFromARGB(pixels, key, width, height, load->rowLength, bitmap, mask)) return err;
    if (load->maskFromAlpha && !(*mask = MaskFromAlphaBytes(*bitmap, pixels, width, height, load->rowLength))) {
        FreeBitmap(*bitmap);
        *bitmap = nullptr;
        return ERR_ALLOCMASK;
    }
    if (wantAlpha && load->hasAlpha) {
        *alpha = MakeAlphaFromARGB(pixels, width, height, load->rowLength);
        if (!*alpha) {
            FreeBitmap(*bitmap);
            FreeMask(*mask);
            *bitmap = *mask = nullptr;
            return ERR_ALLOCALPHA;
        }
    }
    return 0;
}
