// Hardware brushes: brushes whose bitmap is a video bitmap of the display
// adapter, bound to one display. When that display closes and opens again
// their pixels are kept in memory meanwhile.
#include <cstdlib>

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/pixels/pixel_format.h"
#include "images/brushes/brush.h"
#include "images/core/argb_bitmaps.h"

namespace {

cxBrush *Next(const cxBrush *b) { return reinterpret_cast<cxBrush *>(b->header.next); }

// The brush as ARGB words: colour from its (video) bitmap, transparency
// from its alpha channel, its mask or the alpha the adapter delivers.
uint32_t *ReadARGB(const cxBrush *b, int *error) {
    cxBitmap *colour = nullptr, *videoAlpha = nullptr;
    if (int err = ReadVideoBitmap(b->bitmap, &colour, &videoAlpha)) {
        *error = err;
        return nullptr;
    }
    auto *out = static_cast<uint32_t *>(malloc(size_t(b->width) * size_t(b->height) * 4));
    cxOsBitmapLock l{}, a{}, m{};
    const cxBitmap *alpha = b->alpha ? b->alpha : videoAlpha;
    const bool ok = out && LockBitmap(colour, CX_LOCK_SOURCE, &l) && (!alpha || LockBitmap(alpha, CX_LOCK_SOURCE, &a)) &&
                    (!b->mask || LockBitmap(b->mask, CX_LOCK_SOURCE, &m));
    if (ok) {
        for (int32_t y = 0; y < b->height; ++y) {
            uint32_t *row = out + size_t(y) * b->width;
            PixelRowToARGB(l.pixels + size_t(y) * l.rowLength * l.bytesPerPixel, l.pixelFormat, row, b->width);
            for (int32_t x = 0; x < b->width; ++x) {
                uint32_t v = 255;
                if (alpha) v = a.pixels[size_t(y) * a.rowLength + x];
                else if (b->mask) v = (m.pixels[size_t(y) * m.rowLength + (x >> 3)] & (0x80 >> (x & 7))) ? 255 : 0;
                row[x] = (row[x] & 0xFFFFFF) | (v << 24);
            }
        }
    }
    UnlockBitmap(&m);
    UnlockBitmap(&a);
    UnlockBitmap(&l);
    FreeBitmap(colour);
    FreeAlphaChannel(videoAlpha);
    if (!ok) {
        free(out);
        *error = out ? ERR_LOCKBMAP : ERR_MEM;
        return nullptr;
    }
    return out;
}

// A colour bitmap (a video bitmap when the adapter gives one) from ARGB
// words. Video memory cannot be written directly: the pixels go through
// an ordinary bitmap and a blit, which the adapter carries out.
cxBitmap *BitmapFromARGB(const uint32_t *argb, int32_t w, int32_t h) {
    cxBitmap *plain = nullptr;
    if (MakeBitmapFromARGB(argb, -1, w, h, w, &plain, nullptr) != 0) return nullptr;
    cxBitmap *video = AllocBitmap(w, h, CX_ALLOC_VIDEO, 0);
    if (!video || !video->foreign) {
        FreeBitmap(video);
        return plain;
    }
    BltBitmap(plain, 0, 0, video, 0, 0, w, h);
    FreeBitmap(plain);
    return video;
}

}  // namespace

extern "C" cxBitmap *MakeVideoBitmapFromARGB(const uint32_t *argb, int32_t width, int32_t height) {
    return BitmapFromARGB(argb, width, height);
}

extern "C" int SaveHardwareBrushes(cxDisplay *d) {
    for (cxBrush *b = GetFirstBrush(); b; b = Next(b)) {
        if (!b->hardware || b->display != d || !b->bitmap) continue;
        int err = 0;
        uint32_t *argb = ReadARGB(b, &err);
        if (!argb) return err;
        free(b->savedPixels);
        b->savedPixels = argb;
        FreeBitmap(b->bitmap);
        b->bitmap = nullptr;
        b->display = nullptr;
        b->displayID = cxObjectID{};
    }
    return 0;
}

extern "C" int RestoreHardwareBrushes(cxDisplay *d) {
    for (cxBrush *b = GetFirstBrush(); b; b = Next(b)) {
        if (!b->savedPixels) continue;
        const uint32_t *argb = b->savedPixels;
        cxBitmap *bm = BitmapFromARGB(argb, b->width, b->height);
        if (!bm) return ERR_BITMAP;
        // The mask and alpha channel are the brush's own and stayed; a
        // mask that went missing is made again from the saved alpha bytes.
        if ((b->hardwareLayout & 1u) && !b->mask) {
            b->mask = AllocMask(bm, b->width, b->height, 1, nullptr, 0);
            cxOsBitmapLock m;
            if (b->mask && LockBitmap(b->mask, 0, &m)) {
                for (int32_t y = 0; y < b->height; ++y)
                    for (int32_t x = 0; x < b->width; ++x)
                        if (argb[size_t(y) * b->width + x] >> 24)
                            m.pixels[size_t(y) * m.rowLength + (x >> 3)] |= uint8_t(0x80 >> (x & 7));
                UnlockBitmap(&m);
            }
        }
        b->bitmap = bm;
        if (bm->foreign) {
            b->display = d;
            b->displayID = GetObjectID(&d->header);
        } else {
            // No video bitmap on the new display: an ordinary brush now.
            b->hardware = 0;
            b->hardwareLayout = 0;
            b->display = nullptr;
            b->displayID = cxObjectID{};
        }
        free(b->savedPixels);
        b->savedPixels = nullptr;
    }
    return 0;
}

extern "C" int FindHardwareBrushBitmap(const void *store, cxObjectID id, cxObjectID *outID, void **outStore) {
    for (cxBrush *b = GetFirstBrush(); b; b = Next(b)) {
        if (!b->hardware || !b->bitmap) continue;
        if (store) {
            if (GetBitmapStore(b->bitmap) != store) continue;
            if (outID) *outID = GetObjectID(&b->header);
            return 1;
        }
        if (ObjectHasID(&b->header, id)) {
            if (outStore) *outStore = GetBitmapStore(b->bitmap);
            return 1;
        }
    }
    return 0;
}
