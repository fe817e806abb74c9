#include "images/formats/image_loader.h"

#include <stdlib.h>
#include <string.h>

#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "images/formats/bmp_codec.h"
#include "images/formats/gif_codec.h"
#include "images/formats/ilbm_codec.h"
#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"
#include "platform/os_memory.h"

namespace {

int NoNativePictures(const char *, const char *, void **, int *, int *) { return ERR_LOADPICTURE2; }
cxNativePictureLoader g_native = NoNativePictures;

struct Found {
    int format = CX_IMGFMT_UNKNOWN;
    int width = 0, height = 0, hasAlpha = 0;
    int32_t pen = -1;
    uint32_t *pixels = nullptr;
    uint32_t *palette = nullptr;
};

int Signature(const uint8_t *b) {
    if (memcmp(b, "FORM", 4) == 0 && memcmp(b + 8, "ILBM", 4) == 0) return CX_IMGFMT_ILBM;
    if (b[0] == 0x89 && memcmp(b + 1, "PNG", 3) == 0) return CX_IMGFMT_PNG;
    if (b[0] == 0xFF && b[1] == 0xD8) return CX_IMGFMT_JPEG;
    if (b[0] == 'B' && b[1] == 'M') return CX_IMGFMT_BMP;
    if (memcmp(b, "GIF87a", 6) == 0 || memcmp(b, "GIF89a", 6) == 0) return CX_IMGFMT_GIF;
    return CX_IMGFMT_UNKNOWN;
}

// Decodes (or, in header mode, measures) with the built-in readers. The GIF
// reader takes the stream over: *stream is then null.
int DecodeInbuilt(cxStream **stream, bool header, const uint32_t *ilbmPalette, int32_t ilbmColour, int mode,
                  bool wantPalette, Found *f) {
    cxStream *s = *stream;
    uint8_t b[64] = {};
    ReadStreamData(s, b, sizeof b);
    f->format = Signature(b);
    int orientation = 0;
    if (f->format == CX_IMGFMT_JPEG && ProbeImageHeader(s, nullptr, nullptr, nullptr, nullptr, nullptr, &orientation))
        orientation = 0;
    if (SeekFileStream(s, 0, CX_SEEK_BEGINNING) < 0) return ERR_LOADPICTURE2;
    uint32_t **px = header ? nullptr : &f->pixels;
    switch (f->format) {
    case CX_IMGFMT_BMP: return LoadBMPImage(s, header, &f->width, &f->height, px);
    case CX_IMGFMT_PNG: {
        int err = 0;
        LoadPNGImage(s, header, &f->width, &f->height, px, &f->hasAlpha, &err);
        return err;
    }
    case CX_IMGFMT_JPEG: return ReadJpegImage(s, 0, header, orientation, &f->width, &f->height, px);
    case CX_IMGFMT_GIF: {
        *stream = nullptr;
        int frames = 0;
        // Asked for as a mask or as alpha, the transparent index comes in
        // the alpha bytes either way.
        cxGifReader *r = OpenGIFFile(s, &f->width, &f->height, &frames, header, 1, mode == 1 || mode == 2);
        if (header) return f->width > 0 && f->height > 0 ? 0 : ERR_LOADPICTURE2;
        if (!r) return ERR_LOADPICTURE2;
        int transparent = 0;
        f->pixels = ReadGIFFrame(r, 0, &transparent);
        CloseGIFFile(r);
        if (!f->pixels) return ERR_LOADPICTURE2;
        if (transparent) {
            f->pen = -2;
            f->hasAlpha = 1;
        }
        return 0;
    }
    case CX_IMGFMT_ILBM:
        return LoadILBMImage(s, header, ilbmPalette, ilbmColour, mode == 1, mode == 2, &f->pen, &f->width,
                             &f->height, px, wantPalette ? &f->palette : nullptr);
    default: return ERR_LOADPICTURE2;
    }
}

const char *PluginName(const cxPlugin *p) { return p->moduleName ? p->moduleName : (p->name ? p->name : ""); }

// The image-loader plug-ins the loader list lets serve, in list order.
template <class Visit>
bool ForEachImagePlugin(const char *loaders, Visit visit) {
    for (cxPluginNode *n = GetCapabilityList(CX_CAP_IMAGELOADER); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled) continue;
        if (p->onlyWhenNamed && !IsLoaderNamed(loaders, PluginName(p))) continue;
        if (!MatchLoaderList(loaders, PluginName(p), 1)) continue;
        if (visit(p)) return true;
    }
    return false;
}

}  // namespace

extern "C" void SetNativePictureLoader(cxNativePictureLoader loader) {
    g_native = loader ? loader : NoNativePictures;
}

extern "C" int LoadImageInbuilt(const char *file, const char *loaders, const char *adapters,
                                const uint32_t *ilbmPalette, int32_t ilbmColour, int transparencyMode,
                                cxLoadedImage **image, uint32_t **palette, int32_t *pen, int *width, int *height,
                                int *hasAlpha, int *native, int *format) {
    const bool header = image == nullptr;
    if (image) *image = nullptr;
    if (palette) *palette = nullptr;
    cxLoadedImage *record = static_cast<cxLoadedImage *>(OsAllocMem(sizeof(cxLoadedImage), 1));
    if (!record) return ERR_MEM;
    record->format = CX_IMGFMT_UNKNOWN;

    Found f;
    int err = ERR_LOADPICTURE2;
    if (MatchLoaderList(loaders, "inbuilt", 0)) {
        cxStream *s = OpenFileStream(file, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters);
        if (!s) {
            free(record);
            SetErrorDetail(file);
            return ERR_READFILE;
        }
        if (header) {
            int hasMask = 0, orientation = 0;
            if (ProbeImageHeader(s, &f.format, &f.width, &f.height, &f.hasAlpha, &hasMask, &orientation) == 0) {
                err = 0;
                f.pen = hasMask ? 1 : -1;
            }
        }
        if (err && SeekFileStream(s, 0, CX_SEEK_BEGINNING) >= 0)
            err = DecodeInbuilt(&s, header, ilbmPalette, ilbmColour, transparencyMode, palette != nullptr, &f);
        if (s) CloseFileStream(s);
        if (err == ERR_MEM) {
            free(f.pixels);
            free(f.palette);
            free(record);
            return err;
        }
    }
    int isNative = 0;
    if (err || f.format == CX_IMGFMT_UNKNOWN) {
        free(f.pixels);
        free(f.palette);
        f = Found{};
        err = ERR_LOADPICTURE2;
        if (MatchLoaderList(loaders, "native", 0)) {
            void *handle = nullptr;
            err = g_native(file, adapters, &handle, &f.width, &f.height);
            if (err == 0) {
                f.format = CX_IMGFMT_NATIVE;
                record->pixels = handle;
                isNative = 1;
            }
        }
        if (err) {
            free(record);
            SetErrorDetail(file);
            return err;
        }
    }
    if (native) *native = isNative;
    if (format) *format = f.format;
    if (width) *width = f.width;
    if (height) *height = f.height;
    if (hasAlpha) *hasAlpha = f.hasAlpha;
    if (pen) *pen = f.pen;
    if (palette) *palette = f.palette;
    else free(f.palette);
    record->format = static_cast<uint32_t>(f.format);
    if (!isNative) record->pixels = f.pixels;
    if (header) FreeLoadedImage(record);
    else *image = record;
    return 0;
}

extern "C" int LoadImageFile(const char *file, const char *loaders, const char *adapters, const uint32_t *ilbmPalette,
                             int32_t ilbmColour, int transparencyMode, cxImageLoad *out) {
    memset(out, 0, sizeof *out);
    out->pen = -1;
    const bool taken = ForEachImagePlugin(loaders, [&](cxPlugin *p) {
        cxImageInfo info{};
        if (!CallPluginEntry(p, p->IsImage, file, &info, static_cast<const cxTagItem *>(nullptr))) return false;
        cxImageInfo loadInfo{};
        void *image = CallPluginEntry(p, p->LoadImage, file, &loadInfo, static_cast<const cxTagItem *>(nullptr));
        if (!image) return false;
        cxImageInfo got{};
        uint32_t *pixels = CallPluginEntry(p, p->GetImage, image, &got);
        if (!pixels || got.width < 1 || got.height < 1) {
            CallPluginEntry(p, p->FreeImage, image);
            return false;
        }
        out->pixels = pixels;
        out->width = got.width;
        out->height = got.height;
        out->hasAlpha = (got.flags & 2) != 0;
        out->format = CX_IMGFMT_PLUGIN;
        out->plugin = p;
        out->pluginImage = image;
        return true;
    });
    if (taken) return 0;
    int native = 0, format = 0;
    const int err = LoadImageInbuilt(file, loaders, adapters, ilbmPalette, ilbmColour, transparencyMode, &out->loaded,
                                     &out->palette, &out->pen, &out->width, &out->height, &out->hasAlpha, &native,
                                     &format);
    if (err) return err;
    out->format = format;
    out->pixels = GetLoadedImagePixels(out->loaded);
    return 0;
}

extern "C" void FreeImageLoad(cxImageLoad *load) {
    if (!load) return;
    if (load->plugin && load->pluginImage) CallPluginEntry(load->plugin, load->plugin->FreeImage, load->pluginImage);
    FreeLoadedImage(load->loaded);
    free(load->palette);
    memset(load, 0, sizeof *load);
}

extern "C" int IdentifyImageFile(const char *file, const char *loaders, const char *adapters, int *format, int *width,
                                 int *height, int *hasAlpha) {
    cxImageInfo info{};
    const bool taken = ForEachImagePlugin(loaders, [&](cxPlugin *p) {
        info = cxImageInfo{};
        return CallPluginEntry(p, p->IsImage, file, &info, static_cast<const cxTagItem *>(nullptr)) != 0;
    });
    if (taken) {
        if (format) *format = CX_IMGFMT_PLUGIN;
        if (width) *width = info.width;
        if (height) *height = info.height;
        if (hasAlpha) *hasAlpha = (info.flags & 2) != 0;
        return 0;
    }
    return LoadImageInbuilt(file, loaders, adapters, nullptr, -1, 0, nullptr, nullptr, nullptr, width, height,
                            hasAlpha, nullptr, format);
}
