#include "images/formats/image_saver.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "errors/errors.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/quantize/quantize.h"
#include "images/formats/bmp_codec.h"
#include "images/formats/gif_codec.h"
#include "images/formats/ilbm_codec.h"
#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"

namespace {

// The graphics core's quantiser (median cut with optional dithering).
int GraphicsQuantizer(const void *pixels, uint32_t pixelFormat, uint32_t bytesPerPixel, int32_t width,
                      int32_t height, int32_t rowLength, uint8_t *indices, uint32_t *palette, int32_t *colours,
                      int32_t transparentColour, int reserve, int dither, int32_t *transparentIndex) {
    return QuantizePixels(pixels, pixelFormat, static_cast<int32_t>(bytesPerPixel), width, height, rowLength,
                          indices, palette, colours, transparentColour, reserve, dither, transparentIndex);
}

cxImageQuantizer g_quantizer = GraphicsQuantizer;
cxPluginImageSaver g_pluginSaver = nullptr;

int SaveGif(const uint32_t *argb, int width, int height, const char *file, int hasAlpha, int colours, int dither) {
    std::vector<uint8_t> indices;
    try {
        indices.resize(static_cast<size_t>(width) * height);
    } catch (...) {
        return ERR_MEM;
    }
    uint32_t palette[256] = {};
    int32_t count = colours < 2 ? 256 : std::min(colours, 256);
    int32_t transparent = -1;
    // GIF knows one transparent colour: the see-through pixels (alpha below
    // half) become a colour no opaque pixel has, which the quantiser keeps
    // apart in an entry of its own
    const uint32_t *source = argb;
    std::vector<uint32_t> keyed;
    int32_t key = -1;
    if (hasAlpha) {
        const size_t n = static_cast<size_t>(width) * height;
        bool any = false;
        std::unordered_map<uint32_t, bool> used;
        try {
            for (size_t i = 0; i < n; i++) {
                if ((argb[i] >> 24) < 128)
                    any = true;
                else
                    used[argb[i] & 0xFFFFFF] = true;
            }
            if (any) {
                uint32_t candidate = 0xFF00FE;
                while (used.count(candidate)) candidate = (candidate + 0x010307) & 0xFFFFFF;
                key = static_cast<int32_t>(candidate);
                keyed.assign(argb, argb + n);
                for (uint32_t &p : keyed) p = (p >> 24) < 128 ? (0xFF000000u | candidate) : (p | 0xFF000000u);
                source = keyed.data();
            }
        } catch (...) {
            return ERR_MEM;
        }
    }
    if (!g_quantizer(source, CX_PIXFMT_DEFAULT, 4, width, height, width, indices.data(), palette, &count, key,
                     key >= 0, dither, &transparent))
        return ERR_MEM;
    cxGifWriter *w = nullptr;
    if (int err = CreateGIFFile(file, width, height, &w)) return err;
    int err = WriteGIFFile(w, indices.data(), width, height, 0, palette, count, transparent, 0, 0);
    const int finish = FinishGIFFile(w);
    return err ? err : finish;
}

}  // namespace

extern "C" void SetImageQuantizer(cxImageQuantizer quantizer) { g_quantizer = quantizer ? quantizer : GraphicsQuantizer; }

extern "C" void SetPluginImageSaver(cxPluginImageSaver saver) { g_pluginSaver = saver; }

extern "C" int SaveImage(int format, const uint32_t *argb, int width, int height, const char *file, int hasAlpha,
                         int quality, int colours, int dither) {
    if (!argb || width < 1 || height < 1) return ERR_MEM;
    switch (format) {
    case CX_SAVE_BMP: return SaveBMPImage(file, argb, width * 4, width, height);
    case CX_SAVE_PNG: {
        cxPngWriteRequest req{file, argb, width * 4, width, height, hasAlpha ? 1 : 0, 0};
        SavePNGImage(&req);
        return req.error;
    }
    case CX_SAVE_JPEG: {
        cxJpegWriteRequest req{};
        req.pixels = argb;
        req.bytesPerRow = width * 4;
        req.width = width;
        req.height = height;
        req.quality = quality;
        WriteJpegImage(&req);
        if (req.error) return req.error;
        int err = 0;
        cxStream *s = OpenFileStream(file, CX_STREAM_WRITE, nullptr);
        if (!s) {
            SetErrorDetail(file);
            err = ERR_WRITEFILE;
        } else {
            if (WriteStream(s, req.data, req.size) != req.size) err = ERR_WRITE;
            if (!CloseFileStream(s) && !err) err = ERR_WRITE;
        }
        FreeEncodedBuffer(req.encoded);
        return err;
    }
    case CX_SAVE_GIF: return SaveGif(argb, width, height, file, hasAlpha, colours, dither);
    case CX_SAVE_ILBM: {
        if (!hasAlpha) return SaveILBMImage(file, argb, width, height);
        std::vector<uint32_t> rgb(argb, argb + static_cast<size_t>(width) * height);
        for (auto &p : rgb) p &= 0xFFFFFF;
        return SaveILBMImage(file, rgb.data(), width, height);
    }
    default:
        return g_pluginSaver ? g_pluginSaver(format, argb, width, height, file, hasAlpha, quality, colours, dither)
                             : ERR_UNKNOWNIMGOUT;
    }
}

extern "C" int SaveBitmapImage(int format, const cxBitmap *bitmap, int width, int height, const char *file,
                               const cxBitmap *mask, int32_t transparentColour, const cxBitmap *alpha, int quality,
                               int colours, int dither, int) {
    if (!bitmap || width < 1 || height < 1) return ERR_MEM;
    std::vector<uint32_t> argb;
    try {
        argb.resize(static_cast<size_t>(width) * height);
    } catch (...) {
        return ERR_MEM;
    }
    cxOsBitmapLock lock{};
    if (!LockBitmap(bitmap, CX_LOCK_SOURCE, &lock)) {
        UnlockBitmap(&lock);
        return ERR_LOCKBMAP;
    }
    const int w = std::min(width, lock.width), h = std::min(height, lock.height);
    for (int y = 0; y < h; y++)
        PixelRowToARGB(lock.pixels + static_cast<size_t>(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat,
                       &argb[static_cast<size_t>(y) * width], w);
    UnlockBitmap(&lock);
    // Opaque unless a mask, alpha channel or transparent colour says otherwise.
    for (auto &p : argb) p |= 0xFF000000u;
    int hasAlpha = 0;
    if (alpha) {
        cxOsBitmapLock a{};
        if (LockBitmap(alpha, CX_LOCK_SOURCE, &a)) {
            hasAlpha = 1;
            for (int y = 0; y < std::min(h, a.height); y++)
                for (int x = 0; x < std::min(w, a.width); x++)
                    argb[static_cast<size_t>(y) * width + x] = (argb[static_cast<size_t>(y) * width + x] & 0xFFFFFF) |
                                                               uint32_t{a.pixels[static_cast<size_t>(y) * a.rowLength + x]} << 24;
        }
        UnlockBitmap(&a);
    } else if (mask) {
        cxOsBitmapLock m{};
        if (LockBitmap(mask, CX_LOCK_SOURCE, &m)) {
            hasAlpha = 1;
            for (int y = 0; y < std::min(h, m.height); y++)
                for (int x = 0; x < std::min(w, m.width); x++)
                    if (!((m.pixels[static_cast<size_t>(y) * m.rowLength + (x >> 3)] >> (7 - (x & 7))) & 1))
                        argb[static_cast<size_t>(y) * width + x] &= 0xFFFFFF;
        }
        UnlockBitmap(&m);
    } else if (transparentColour != -1) {
        hasAlpha = 1;
        for (auto &p : argb)
            if ((p & 0xFFFFFF) == (static_cast<uint32_t>(transparentColour) & 0xFFFFFF)) p &= 0xFFFFFF;
    }
    return SaveImage(format, argb.data(), width, height, file, hasAlpha, quality, colours, dither);
}
