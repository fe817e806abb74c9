#include "images/brushes/brush_creation.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/images/image_cache.h"
#include "images/core/argb_bitmaps.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"

namespace {

bool Preloading(lua_State *L) {
    int on = 0;
    GetKernelTags(L, CX_KTAG_PRELOADING, &on, CX_KTAG_END);
    return on != 0;
}

void FreeSet(cxBitmap *b, cxBitmap *m, cxBitmap *a) {
    FreeBitmap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
}

// A size option: 0 keeps the base, a negative value is a percentage.
int32_t ScaledSize(int32_t v, int32_t base) {
    if (v == 0) return base;
    if (v < 0) {
        const int64_t s = int64_t(base) * -int64_t(v) / 100;
        return s < 1 ? 1 : int32_t(s);
    }
    return v;
}

// Scales the three bitmaps to width x height in place of the old ones.
int ScaleSet(cxBitmap **b, cxBitmap **m, cxBitmap **a, int32_t w, int32_t h, int32_t nw, int32_t nh, int smooth) {
    cxBitmap *sb = nullptr, *sm = nullptr, *sa = nullptr;
    if (int err = ScaleBitmapFx(*b, *m, *a, 0, 0, w, h, nw, nh, smooth, &sb, &sm, &sa)) return err;
    FreeSet(*b, *m, *a);
    *b = sb, *m = sm, *a = sa;
    return 0;
}

// Alpha scaled by level / 255, or a new channel of level.
int ApplyGlobalAlpha(cxBitmap **alpha, int32_t w, int32_t h, int32_t level) {
    level = level < 0 ? 0 : level > 255 ? 255 : level;
    if (!*alpha) {
        *alpha = AllocAlphaChannel(w, h, 1, nullptr, 0);
        if (!*alpha) return ERR_ALLOCALPHA;
        FillAlphaRect(*alpha, 0, 0, w, h, uint8_t(level));
        return 0;
    }
    cxOsBitmapLock l;
    if (!LockBitmap(*alpha, 0, &l)) {
        UnlockBitmap(&l);
        return ERR_LOCKBMAP;
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *row = l.pixels + size_t(y) * l.rowLength;
        for (int32_t x = 0; x < w; ++x) row[x] = uint8_t(row[x] * level / 255);
    }
    UnlockBitmap(&l);
    return 0;
}

// The image cache keeps the loaded ARGB pixels, whose alpha bytes are the
// alpha channel: its word says whether they carry one.
constexpr uint32_t kCachedAlpha = 0x100;

bool TakeCachedPicture(const char *name, int32_t transparentColour, cxPictureLoad *pic) {
    int32_t w = 0, h = 0;
    uint32_t rowLength = 0, word = 0;
    cxImageHandle *image = nullptr;
    if (FindCachedImage(name, 0, &w, &h, &rowLength, &image, nullptr, &word) != 0 || !image) return false;
    *pic = cxPictureLoad{};
    pic->image = image;
    pic->width = w;
    pic->height = h;
    pic->rowLength = int32_t(rowLength);
    pic->transparentColour = transparentColour;
    pic->hasAlpha = (word & kCachedAlpha) ? 1 : 0;
    pic->brushKind = word & 0xFF;
    return true;
}

}  // namespace

extern "C" int CreateBlankBrush(cxObjectID *id, int32_t width, int32_t height, uint32_t colour, uint32_t flags,
                                cxDisplay *display, cxBrush **out) {
    if (out) *out = nullptr;
    cxBitmap *bm = nullptr;
    if (flags & CX_BLANK_HARDWARE) {
        // Video memory is filled from an ARGB buffer of the colour.
        const uint32_t argb = (colour & 0xFFFFFF) | ((flags & CX_BLANK_CLEAR) ? 0u : 0xFF000000u);
        if (uint64_t(width) * uint64_t(height) * 4 > CX_OS_MAX_BITMAP_BYTES) return ERR_BITMAP;
        std::vector<uint32_t> words;
        try {
            words.assign(size_t(width) * size_t(height), argb);
        } catch (const std::bad_alloc &) {
            return ERR_BITMAP;
        }
        bm = MakeVideoBitmapFromARGB(words.data(), width, height);
    } else {
        bm = AllocBitmap(width, height, 0, 0);
        if (bm && !(flags & CX_BLANK_NOFILL)) {
            if (int err = FillRect(bm, 0, 0, width, height, colour & 0xFFFFFF)) {
                FreeBitmap(bm);
                return err;
            }
        }
    }
    if (!bm) return ERR_BITMAP;
    cxBitmap *mask = nullptr, *alpha = nullptr;
    const bool clear = flags & CX_BLANK_CLEAR;
    if (flags & CX_BLANK_MASK) {
        mask = AllocMask(bm, width, height, 1, nullptr, 0);
        if (!mask) {
            FreeBitmap(bm);
            return ERR_ALLOCMASK;
        }
        if (!clear) FillMaskRect(mask, 0, 0, width, height, CX_MASKVISIBLE);
    }
    if (flags & CX_BLANK_ALPHA) {
        alpha = AllocAlphaChannel(width, height, 1, nullptr, 0);
        if (!alpha) {
            FreeSet(bm, mask, nullptr);
            return ERR_ALLOCALPHA;
        }
        if (!clear) FillAlphaRect(alpha, 0, 0, width, height, 255);
    }
    cxObjectID displayID{};
    if (display) displayID = GetObjectID(&display->header);
    cxBrush *b = nullptr;
    if (int err = AddBrushRecord(id, CX_BRUSH_BITMAP, width, height, width, 0, nullptr, bm,
                                 mask ? CX_TRANSPARENT_BY_MASK : CX_NO_TRANSPARENT_COLOUR, mask, alpha,
                                 display ? &displayID : nullptr, &b)) {
        FreeSet(bm, mask, alpha);
        return err;
    }
    b->smoothScale = (flags & CX_BLANK_SMOOTH) ? 1 : 0;
    if (bm->foreign) {
        b->hardware = 1;
        b->display = display;
        b->hardwareLayout = (mask ? 1u : 0u) | (alpha ? 2u : 0u);
    }
    if (out) *out = b;
    return 0;
}

extern "C" void InitBrushLoadOptions(cxBrushLoadOptions *o) {
    memset(o, 0, sizeof *o);
    o->transparentColour = -1;
    o->globalAlpha = -1;
}

extern "C" int LoadBrushFile(lua_State *L, cxObjectID *id, const char *file, const cxBrushLoadOptions *o) {
    if (!id->pointer) {
        if (int err = FreeBrushByID(L, *id, 0)) return err;
    }
    if (o->loadAlpha && o->loadTransparency) return ERR_WRONGUSAGE;
    if (o->loadTransparency && o->transparentColour != -1) return ERR_WRONGUSAGE;
    if ((o->loadAlpha || o->globalAlpha != -1) && o->transparentColour != -1) return ERR_MASKNALPHA;
    PrintStatusMessage(GetMessageText(CX_MSG_LOADING_BRUSH), file, 1);

    const bool preloading = Preloading(L);
    cxPictureLoad pic{};
    if (!(preloading && o->cachedLoad[0] && TakeCachedPicture(o->cachedLoad, o->transparentColour, &pic))) {
        if (int err = LoadPicture(file, o->loaders, o->adapters,
                                  CX_PICTURE_TRANSPARENCY(o->loadAlpha, o->loadTransparency), o->transparentColour,
                                  &pic))
            return err;
        if (preloading && o->cache[0]) {
            const uint32_t word = pic.brushKind | (pic.hasAlpha ? kCachedAlpha : 0u);
            if (int err = AddCachedImage(o->cache, pic.width, pic.height, uint32_t(pic.rowLength), pic.image, nullptr,
                                         word)) {
                FreePictureLoad(&pic);
                return err;
            }
        }
    }
    int err = 0;
    if (o->x < 0 || o->y < 0) err = ERR_NEGCOORDS;
    else if (o->x >= pic.width || o->y >= pic.height) err = ERR_COORDSRANGE;
    if (err) {
        FreePictureLoad(&pic);
        return err;
    }
    int32_t w = o->width > 0 ? o->width : pic.width - o->x, h = o->height > 0 ? o->height : pic.height - o->y;
    if (w > pic.width - o->x) w = pic.width - o->x;
    if (h > pic.height - o->y) h = pic.height - o->y;
    const int32_t scaledW = ScaledSize(o->scaleWidth, w), scaledH = ScaledSize(o->scaleHeight, h);

    // The alpha channel is the image's own: it does not wait for a display.
    cxBitmap *alpha = nullptr;
    if (o->loadAlpha && pic.hasAlpha) {
        const uint32_t *px = GetImageHandlePixels(pic.image) + size_t(o->y) * pic.rowLength + o->x;
        if (!(alpha = MakeAlphaFromARGB(px, w, h, pic.rowLength))) err = ERR_ALLOCALPHA;
    }
    if (!err && o->globalAlpha != -1) err = ApplyGlobalAlpha(&alpha, w, h, o->globalAlpha);
    if (err) {
        FreeAlphaChannel(alpha);
        FreePictureLoad(&pic);
        return err;
    }

    const int32_t key = pic.maskFromAlpha ? CX_TRANSPARENT_BY_MASK : pic.transparentColour;
    cxBrush *b = nullptr;
    if (preloading && scaledW == w && scaledH == h) {
        // No display yet: the brush keeps its image and gets its bitmaps
        // when the first display is ready.
        err = AddBrushRecord(id, pic.brushKind, w, h, pic.rowLength, 0, pic.image, nullptr, key, nullptr, alpha,
                             nullptr, &b);
        if (!err) {
            pic.image = nullptr;  // the record's reference now
            b->pendingX = o->x, b->pendingY = o->y, b->pendingWidth = w, b->pendingHeight = h;
        }
    } else {
        cxBitmap *bm = nullptr, *mask = nullptr, *unused = nullptr;
        err = MakePictureBitmaps(&pic, o->x, o->y, w, h, 0, &bm, &mask, &unused);
        if (!err && (scaledW != w || scaledH != h)) err = ScaleSet(&bm, &mask, &alpha, w, h, scaledW, scaledH,
                                                                   o->smoothScale);
        if (!err) err = AddBrushRecord(id, pic.brushKind, scaledW, scaledH, scaledW, 0, nullptr, bm, key, mask, alpha,
                                       nullptr, &b);
        if (err) FreeSet(bm, mask, nullptr);
    }
    if (err) {
        FreeAlphaChannel(alpha);
        FreePictureLoad(&pic);
        return err;
    }
    b->smoothScale = o->smoothScale ? 1 : 0;
    b->loaderWord = pic.loaderWord;
    FreePictureLoad(&pic);
    PrintDoneMessage();
    return 0;
}

extern "C" int RealizeBrush(cxBrush *b) {
    if (b->bitmap || !b->image) return 0;
    cxPictureLoad pic{};
    pic.image = b->image;
    GetImageHandleSize(b->image, &pic.width, &pic.height);
    pic.rowLength = b->imageRowLength;
    pic.maskFromAlpha = b->transparentColour == CX_TRANSPARENT_BY_MASK;
    pic.transparentColour = pic.maskFromAlpha ? -1 : b->transparentColour;
    cxBitmap *bm = nullptr, *mask = nullptr, *unused = nullptr;
    if (int err = MakePictureBitmaps(&pic, b->pendingX, b->pendingY, b->pendingWidth, b->pendingHeight, 0, &bm, &mask,
                                     &unused))
        return err;
    b->bitmap = bm;
    b->mask = mask;
    // A bitmap brush needs its image no longer; a vector brush re-renders
    // from it.
    if (b->brushKind == CX_BRUSH_BITMAP) {
        ReleaseImageHandle(b->image);
        b->image = nullptr;
        b->imageRowLength = b->width;
    }
    return 0;
}

extern "C" int RealizePendingBrushes(lua_State *) {
    for (cxBrush *b = GetFirstBrush(); b; b = reinterpret_cast<cxBrush *>(b->header.next))
        if (int err = RealizeBrush(b)) return err;
    return 0;
}

extern "C" int CreateBrushFromARGBPixels(cxObjectID *id, const uint32_t *pixels, int32_t width, int32_t height,
                                         int32_t rowLength, int32_t transparentColour, uint32_t flags) {
    cxBitmap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
    if (pixels) {
        if (int err = MakeBitmapFromARGB(pixels, (flags & 2) ? transparentColour : -1, width, height, rowLength, &bm,
                                         &mask))
            return err;
        if ((flags & 1) && !(alpha = MakeAlphaFromARGB(pixels, width, height, rowLength))) {
            FreeSet(bm, mask, nullptr);
            return ERR_ALLOCALPHA;
        }
    } else if (!(bm = AllocBitmap(width, height, CX_ALLOC_CLEAR, 0))) {
        return ERR_BITMAP;
    }
    if (int err = AddBrushRecord(id, CX_BRUSH_BITMAP, width, height, width, 0, nullptr, bm,
                                 mask ? transparentColour : -1, mask, alpha, nullptr, nullptr)) {
        FreeSet(bm, mask, alpha);
        return err;
    }
    return 0;
}

extern "C" int PreloadBrushItem(lua_State *L, const cxPreprocItem *item) {
    cxBrushLoadOptions o;
    InitBrushLoadOptions(&o);
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key) continue;
        const int32_t n = t->kind == CX_TAG_NUMBER ? int32_t(t->number) : 0;
        if (strcasecmp(t->key, "transparency") == 0) o.transparentColour = n;
        else if (strcasecmp(t->key, "loadalpha") == 0) o.loadAlpha = n != 0;
        else if (strcasecmp(t->key, "loadtransparency") == 0) o.loadTransparency = n != 0;
        else if (strcasecmp(t->key, "globalalpha") == 0) o.globalAlpha = n;
        else if (strcasecmp(t->key, "x") == 0) o.x = n;
        else if (strcasecmp(t->key, "y") == 0) o.y = n;
        else if (strcasecmp(t->key, "width") == 0) o.width = n;
        else if (strcasecmp(t->key, "height") == 0) o.height = n;
        else if (strcasecmp(t->key, "smoothscale") == 0) o.smoothScale = n != 0;
        else if (strcasecmp(t->key, "loader") == 0 && t->kind == CX_TAG_STRING && t->text)
            snprintf(o.loaders, sizeof o.loaders, "%s", t->text);
        else if (strcasecmp(t->key, "adapter") == 0 && t->kind == CX_TAG_STRING && t->text)
            snprintf(o.adapters, sizeof o.adapters, "%s", t->text);
        else if (strcasecmp(t->key, "cache") == 0 && t->kind == CX_TAG_STRING && t->text)
            snprintf(o.cache, sizeof o.cache, "%s", t->text);
        else if (strcasecmp(t->key, "cachedload") == 0 && t->kind == CX_TAG_STRING && t->text)
            snprintf(o.cachedLoad, sizeof o.cachedLoad, "%s", t->text);
    }
    // A file linked into the applet is read from there.
    char window[1024];
    const char *file = ResolveLinkedFileName(GetRunningApplet(), item->name ? item->name : "", 0, nullptr, window,
                                             sizeof window);
    cxObjectID id{item->id, nullptr};
    return LoadBrushFile(L, &id, file, &o);
}
