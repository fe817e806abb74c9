#include "graphics/bitmap/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap_adapter.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"

namespace {

using cx::gfx::AdapterWith;
using cx::gfx::CallHook;

// The adapter that owns every bitmap, or null.
const cxPlugin *Owner() { return AdapterWith(CX_DISPLAY_OWNSBITMAPS); }

cxBitmap *NewHandle(uint32_t kind, void *store, int32_t width, int32_t height) {
    auto *h = static_cast<cxBitmap *>(calloc(1, sizeof(cxBitmap)));
    if (!h) return nullptr;
    h->kind = kind;
    h->store = store;
    h->width = width;
    h->height = height;
    return h;
}

// A store for an alpha channel or mask: own rows of bytesPerRow x height, or
// the caller's rows when pixels is given.
cxAlphaMaskStore *NewByteStore(uint32_t format, int32_t width, int32_t height, int clear, void *pixels,
                               uint64_t bytesPerRow) {
    if (bytesPerRow == 0 || bytesPerRow * uint64_t(height) > CX_MAX_BUFFER_BYTES) return nullptr;
    auto *s = static_cast<cxAlphaMaskStore *>(calloc(1, sizeof(cxAlphaMaskStore)));
    if (!s) return nullptr;
    s->width = width;
    s->height = height;
    s->bytesPerRow = uint32_t(bytesPerRow);
    s->bytesPerPixel = 1;
    s->depth = format == CX_PIXFMT_ALPHA ? 8 : 1;
    s->format = format;
    if (pixels) {
        s->pixels = static_cast<uint8_t *>(pixels);
        s->notOwned = 1;
        return s;
    }
    const size_t total = size_t(bytesPerRow) * size_t(height);
    s->pixels = static_cast<uint8_t *>(clear ? calloc(1, total) : malloc(total));
    if (!s->pixels) {
        free(s);
        return nullptr;
    }
    return s;
}

void FreeByteStore(cxAlphaMaskStore *s) {
    if (!s) return;
    if (!s->notOwned) free(s->pixels);
    free(s);
}

bool SizeOk(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 && width <= CX_MAX_SIDE && height <= CX_MAX_SIDE;
}

int LockStore(const cxOsBitmap *s, cxOsBitmapLock *lock) {
    if (!s || !s->pixels) return 0;
    if (s->format < CX_PIXFMT_COUNT) {
        if (s->bytesPerPixel == 0) return 0;
        lock->rowLength = s->bytesPerRow / s->bytesPerPixel;
        lock->bytesPerPixel = s->bytesPerPixel;
    } else if (s->format == CX_PIXFMT_ALPHA || s->format == CX_PIXFMT_MASK) {
        lock->rowLength = s->bytesPerRow;
        lock->bytesPerPixel = 1;
    } else {
        return 0;
    }
    lock->pixels = s->pixels;
    lock->pixelFormat = s->format;
    lock->width = s->width;
    lock->height = s->height;
    lock->plainMemory = 1;
    lock->locked = 1;
    return 1;
}

const cxAlphaMaskStore *ByteStore(const cxBitmap *b, uint32_t kind) {
    return b && b->kind == kind ? static_cast<const cxAlphaMaskStore *>(b->store) : nullptr;
}

// An adapter store for an alpha channel or mask; tags name the colour
// bitmap a mask is made for and the caller's rows.
void *AdapterByteStore(const cxPlugin *a, uint32_t kind, int32_t width, int32_t height, int clear,
                       const cxBitmap *colour, void *pixels, uint32_t bytesPerRow) {
    cxTagItem tags[4] = {};
    int n = 0;
    if (kind == CX_BITMAP_MASK && colour && colour->kind == CX_BITMAP_COLOUR)
        tags[n++] = {CX_BMTAG_FORBITMAP, reinterpret_cast<intptr_t>(colour->store)};
    if (pixels) {
        tags[n++] = {CX_BMTAG_PIXELS, reinterpret_cast<intptr_t>(pixels)};
        tags[n++] = {CX_BMTAG_ROWLENGTH, intptr_t(bytesPerRow)};
    }
    return CallHook<cxAllocBitMapHook>(a, a->AllocBitMap, kind, width, height, clear != 0, tags);
}

// A lock through the adapter, undone at once: the pixel address of a store.
uintptr_t AdapterPixels(const cxPlugin *a, void *store) {
    cxAdapterBitMapLock out{};
    const uintptr_t handle = CallHook<cxLockBitMapHook>(a, a->LockBitMap, store, 0u, &out, nullptr);
    if (!handle) return 0;
    CallHook<cxUnLockBitMapHook>(a, a->UnLockBitMap, handle);
    return reinterpret_cast<uintptr_t>(out.pixels);
}

uintptr_t AdapterAttr(const cxPlugin *a, void *store, uint32_t attribute) {
    return CallHook<cxGetBitMapAttrHook>(a, a->GetBitMapAttr, store, attribute, nullptr);
}

} // namespace

extern "C" {

cxBitmap *AllocBitmap(int32_t width, int32_t height, uint32_t flags, uint32_t hint) {
    if (!SizeOk(width, height)) return nullptr;
    // What no kernel would draw is not made, whoever would store it: rows
    // of whole groups of 4 pixels in the platform's format.
    const uint64_t row = (uint64_t((width + 3) & ~3) * GetBytesPerPixel(OsGetPixelFormat()) + 3) & ~uint64_t(3);
    if (row * uint64_t(height) > CX_MAX_BUFFER_BYTES) return nullptr;
    cxBitmap *h = NewHandle(CX_BITMAP_COLOUR, nullptr, width, height);
    if (!h) return nullptr;
    const cxPlugin *video = (flags & CX_ALLOC_VIDEO) ? AdapterWith(CX_DISPLAY_VIDEOBITMAPS) : nullptr;
    if (video) {
        uint32_t made = 0;
        h->store = CallHook<cxAllocVideoBitMapHook>(video, video->AllocVideoBitMap, width, height, flags, &made, hint);
        h->foreign = 1;
        h->flags = made & 1u;
    } else if (const cxPlugin *owner = Owner()) {
        // Also for a video request the adapter cannot serve: a platform
        // store would not survive the owner's lock and free.
        // A cleared bitmap asked for is asked of the adapter too.
        h->store = CallHook<cxAllocBitMapHook>(owner, owner->AllocBitMap, uint32_t(CX_BITMAP_COLOUR), width, height,
                                               int(flags & CX_ALLOC_CLEAR), nullptr);
        h->flags = flags & 1u;
    } else {
        // Rows hold whole groups of 4 pixels: the platform pads the rounded
        // width, and the store then reports the real width.
        cxOsBitmap *store = OsAllocBitMap((width + 3) & ~3, height, int(flags & CX_ALLOC_CLEAR), hint);
        if (store) store->width = width;
        h->store = store;
        h->flags = flags & 1u;
    }
    if (!h->store) {
        free(h);
        return nullptr;
    }
    return h;
}

void FreeBitmap(cxBitmap *b) {
    if (!b) return;
    if (b->kind == CX_BITMAP_COLOUR && b->store) {
        const cxPlugin *video = AdapterWith(CX_DISPLAY_VIDEOBITMAPS);
        const cxPlugin *owner = Owner();
        if (b->foreign && video)
            CallHook<cxFreeVideoBitMapHook>(video, video->FreeVideoBitMap, b->store);
        else if (b->foreign && !owner)
            ; // the adapter that made it is gone: its store is not ours to free
        else if (owner)
            CallHook<cxFreeBitMapHook>(owner, owner->FreeBitMap, b->store);
        else
            OsFreeBitMap(static_cast<cxOsBitmap *>(b->store));
    }
    free(b);
}

cxBitmap *AllocAlphaChannel(int32_t width, int32_t height, int clear, void *pixels, uint32_t bytesPerRow) {
    if (!SizeOk(width, height)) return nullptr;
    if (pixels && bytesPerRow < uint32_t(width)) return nullptr;
    void *store;
    if (const cxPlugin *owner = Owner()) {
        store = AdapterByteStore(owner, CX_BITMAP_ALPHA, width, height, clear, nullptr, pixels, bytesPerRow);
    } else {
        const uint64_t bpr = pixels ? bytesPerRow : (uint64_t(width) + 3) & ~uint64_t(3);
        store = NewByteStore(CX_PIXFMT_ALPHA, width, height, clear, pixels, bpr);
    }
    if (!store) return nullptr;
    cxBitmap *h = NewHandle(CX_BITMAP_ALPHA, store, width, height);
    if (!h) {
        if (const cxPlugin *owner = Owner()) CallHook<cxFreeBitMapHook>(owner, owner->FreeBitMap, store);
        else FreeByteStore(static_cast<cxAlphaMaskStore *>(store));
    }
    return h;
}

// Alpha channels and masks leave the same way.
static void FreeByteHandle(cxBitmap *b, uint32_t kind) {
    if (!b) return;
    if (b->kind == kind && b->store) {
        if (const cxPlugin *owner = Owner()) CallHook<cxFreeBitMapHook>(owner, owner->FreeBitMap, b->store);
        else FreeByteStore(static_cast<cxAlphaMaskStore *>(b->store));
    }
    free(b);
}

void FreeAlphaChannel(cxBitmap *b) { FreeByteHandle(b, CX_BITMAP_ALPHA); }

cxBitmap *AllocMask(const cxBitmap *colour, int32_t width, int32_t height, int clear, void *pixels,
                    uint32_t bytesPerRow) {
    if (!SizeOk(width, height)) return nullptr;
    if (pixels && uint64_t(bytesPerRow) * 8 < uint64_t(width)) return nullptr;
    void *store;
    if (const cxPlugin *owner = Owner()) {
        store = AdapterByteStore(owner, CX_BITMAP_MASK, width, height, clear, colour, pixels, bytesPerRow);
    } else {
        // One bit for every pixel of the colour bitmap's padded rows, never
        // fewer than the width. The row size is not cut to 16 bits: that
        // would make rows of very wide masks shorter than their pixels.
        uint64_t rowPixels = uint64_t(width);
        if (colour && colour->kind == CX_BITMAP_COLOUR)
            rowPixels = std::max<uint64_t>(rowPixels, QueryBitmapAttribute(colour, CX_BMATTR_ROWLENGTH));
        const uint64_t bpr = pixels ? bytesPerRow : ((rowPixels + 15) >> 3) & ~uint64_t(1);
        store = NewByteStore(CX_PIXFMT_MASK, width, height, clear, pixels, bpr);
    }
    if (!store) return nullptr;
    cxBitmap *h = NewHandle(CX_BITMAP_MASK, store, width, height);
    if (!h) {
        if (const cxPlugin *owner = Owner()) CallHook<cxFreeBitMapHook>(owner, owner->FreeBitMap, store);
        else FreeByteStore(static_cast<cxAlphaMaskStore *>(store));
    }
    return h;
}

void FreeMask(cxBitmap *b) { FreeByteHandle(b, CX_BITMAP_MASK); }

cxBitmap *CopyAlphaChannel(const cxBitmap *source, int32_t width, int32_t height) {
    if (!source || source->kind != CX_BITMAP_ALPHA || width > source->width || height > source->height)
        return nullptr;
    cxBitmap *copy = AllocAlphaChannel(width, height, 0, nullptr, 0);
    if (!copy) return nullptr;
    cxOsBitmapLock s, d;
    const bool ok = LockBitmap(source, CX_LOCK_SOURCE, &s) && LockBitmap(copy, 0, &d);
    if (ok) {
        // Row by row: the two channels may have different row lengths.
        const size_t n = std::min(s.rowLength, d.rowLength);
        for (int32_t y = 0; y < height; ++y) {
            uint8_t *to = d.pixels + size_t(y) * d.rowLength;
            std::memcpy(to, s.pixels + size_t(y) * s.rowLength, n);
            std::memset(to + n, 0, d.rowLength - n);
        }
    }
    UnlockBitmap(&s);
    UnlockBitmap(&d);
    if (!ok) {
        FreeAlphaChannel(copy);
        return nullptr;
    }
    return copy;
}

cxBitmap *AlphaChannelFromARGB(const uint32_t *pixels, int32_t width, int32_t height, int32_t srcRowLength) {
    if (!pixels || srcRowLength < width) return nullptr;
    cxBitmap *a = AllocAlphaChannel(width, height, 1, nullptr, 0);
    if (!a) return nullptr;
    cxOsBitmapLock l;
    const bool ok = LockBitmap(a, 0, &l);
    if (ok) ExtractAlphaBytes(pixels, width, height, srcRowLength, l.pixels, int32_t(l.rowLength));
    UnlockBitmap(&l);
    if (!ok) {
        FreeAlphaChannel(a);
        return nullptr;
    }
    return a;
}

void *GetBitmapStore(const cxBitmap *b) { return b ? b->store : nullptr; }

void FinalizeVideoBitmap(cxBitmap *b) {
    if (!b || !b->foreign || b->flags) return;
    if (const cxPlugin *video = AdapterWith(CX_DISPLAY_VIDEOBITMAPS))
        CallHook<cxDoVideoBitMapMethodHook>(video, video->DoVideoBitMapMethod, b->store,
                                            uint32_t(CX_VIDEOMETHOD_BEGINDRAW), uintptr_t(1));
    b->flags = 1;
}

int LockBitmap(const void *x, uint32_t flags, cxOsBitmapLock *lock) {
    lock->locked = 0;
    lock->plainMemory = 0;
    if (!x) return 0;
    if (const cxPlugin *owner = Owner()) {
        const cxBitmap *b = (flags & CX_LOCK_STORE) ? nullptr : static_cast<const cxBitmap *>(x);
        void *store = b ? b->store : const_cast<void *>(x);
        if (!store) return 0;
        cxAdapterBitMapLock out{};
        const uintptr_t handle =
            CallHook<cxLockBitMapHook>(owner, owner->LockBitMap, store, flags & CX_LOCK_SOURCE, &out, nullptr);
        if (!handle) return 0;
        if (!out.pixels) {
            CallHook<cxUnLockBitMapHook>(owner, owner->UnLockBitMap, handle);
            return 0;
        }
        lock->locked = handle;
        lock->pixels = static_cast<uint8_t *>(out.pixels);
        lock->rowLength = out.rowLength;
        lock->width = out.width;
        lock->height = out.height;
        // A handle tells its kind: alpha channels and masks are bytes and
        // bits whatever the adapter's colour format.
        if (b && b->kind == CX_BITMAP_ALPHA) {
            lock->pixelFormat = CX_PIXFMT_ALPHA;
            lock->bytesPerPixel = 1;
        } else if (b && b->kind == CX_BITMAP_MASK) {
            lock->pixelFormat = CX_PIXFMT_MASK;
            lock->bytesPerPixel = 1;
        } else {
            lock->pixelFormat = owner->pixelFormat;
            lock->bytesPerPixel = GetBytesPerPixel(owner->pixelFormat);
        }
        return 1;
    }
    if (flags & CX_LOCK_STORE) return LockStore(static_cast<const cxOsBitmap *>(x), lock);
    const cxBitmap *b = static_cast<const cxBitmap *>(x);
    if (b->kind > CX_BITMAP_MASK) return 0;
    if (b->kind == CX_BITMAP_COLOUR && b->foreign) return 0; // video memory cannot be addressed
    // Alpha channels and masks report their whole record too, so that no
    // field of a successful lock is left unset.
    return LockStore(static_cast<const cxOsBitmap *>(b->store), lock);
}

void UnlockBitmap(cxOsBitmapLock *lock) {
    if (!lock || !lock->locked) return;
    if (!lock->plainMemory) {
        if (const cxPlugin *owner = Owner())
            CallHook<cxUnLockBitMapHook>(owner, owner->UnLockBitMap, lock->locked);
    }
    // Plain memory has nothing to release; the platform bitmap on Linux is
    // plain memory too.
    lock->locked = 0;
}

uintptr_t QueryBitmapAttribute(const cxBitmap *b, uint32_t attribute) {
    if (!b) return 0;
    switch (attribute) {
    case CX_BMATTR_WIDTH: return uintptr_t(b->width);
    case CX_BMATTR_HEIGHT: return uintptr_t(b->height);
    case CX_BMATTR_FOREIGN: return b->foreign;
    case CX_BMATTR_FLAGS: return b->flags;
    case CX_BMATTR_STORE: return reinterpret_cast<uintptr_t>(b->store);
    case CX_BMATTR_NEEDSLOCK: return b->foreign && !AdapterWith(CX_DISPLAY_VIDEOBITMAPS) ? 1 : 0;
    default: break;
    }
    if (const cxPlugin *owner = Owner()) {
        if (!b->store) return 0;
        switch (attribute) {
        case CX_BMATTR_ALPHA_BYTESPERROW:
        case CX_BMATTR_MASK_BYTESPERROW:
            if (b->kind != (attribute == CX_BMATTR_ALPHA_BYTESPERROW ? CX_BITMAP_ALPHA : CX_BITMAP_MASK)) return 0;
            return AdapterAttr(owner, b->store, CX_BMATTR_ADAPTER_BYTESPERROW);
        case CX_BMATTR_ALPHA_PIXELS:
        case CX_BMATTR_MASK_PIXELS:
            if (b->kind != (attribute == CX_BMATTR_ALPHA_PIXELS ? CX_BITMAP_ALPHA : CX_BITMAP_MASK)) return 0;
            return AdapterPixels(owner, b->store);
        case CX_BMATTR_ROWLENGTH: {
            const uintptr_t bpr = AdapterAttr(owner, b->store, CX_BMATTR_ADAPTER_BYTESPERROW);
            if (b->kind == CX_BITMAP_MASK) return bpr * 8;
            if (b->kind == CX_BITMAP_ALPHA) return bpr;
            const uint32_t bpp = GetBytesPerPixel(owner->pixelFormat);
            return bpp ? bpr / bpp : 0;
        }
        case CX_BMATTR_FORMAT:
            if (b->kind == CX_BITMAP_ALPHA) return CX_PIXFMT_ALPHA;
            if (b->kind == CX_BITMAP_MASK) return CX_PIXFMT_MASK;
            return owner->pixelFormat;
        default: return 0;
        }
    }
    const cxOsBitmap *s = static_cast<const cxOsBitmap *>(b->store);
    switch (attribute) {
    case CX_BMATTR_ALPHA_BYTESPERROW: return ByteStore(b, CX_BITMAP_ALPHA) ? s->bytesPerRow : 0;
    case CX_BMATTR_MASK_BYTESPERROW: return ByteStore(b, CX_BITMAP_MASK) ? s->bytesPerRow : 0;
    case CX_BMATTR_ALPHA_PIXELS: return ByteStore(b, CX_BITMAP_ALPHA) ? reinterpret_cast<uintptr_t>(s->pixels) : 0;
    case CX_BMATTR_MASK_PIXELS: return ByteStore(b, CX_BITMAP_MASK) ? reinterpret_cast<uintptr_t>(s->pixels) : 0;
    case CX_BMATTR_ROWLENGTH:
        // A video bitmap's store belongs to the adapter: nothing to read.
        if (!s || b->foreign) return 0;
        if (b->kind == CX_BITMAP_MASK) return uintptr_t(s->bytesPerRow) * 8;
        return s->bytesPerPixel ? s->bytesPerRow / s->bytesPerPixel : 0;
    case CX_BMATTR_FORMAT:
        if (b->foreign) {
            const cxPlugin *a = cx::gfx::Adapter();
            return a ? a->pixelFormat : 0;
        }
        return s ? s->format : 0;
    default:
        // Display attributes (pointer position and constants) belong to the
        // platform layer's query.
        return 0;
    }
}

uintptr_t GetRawBitmapAttr(const void *store, uint32_t attribute) {
    if (!store) return 0;
    if (const cxPlugin *owner = Owner()) return AdapterAttr(owner, const_cast<void *>(store), attribute);
    const cxOsBitmap *s = static_cast<const cxOsBitmap *>(store);
    if (attribute == 0) return uintptr_t(s->width);
    if (attribute == 1) return uintptr_t(s->height);
    return 0;
}

int ReadVideoBitmap(const cxBitmap *video, cxBitmap **outColour, cxBitmap **outAlpha) {
    *outColour = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    const cxPlugin *a = AdapterWith(CX_DISPLAY_VIDEOBITMAPS);
    if (!video || video->kind != CX_BITMAP_COLOUR || !video->foreign || !a) return ERR_READVIDEOPIXELS;
    cxBitmap *colour = AllocBitmap(video->width, video->height, 0, 0);
    if (!colour) return ERR_MEM;
    cxOsBitmapLock l;
    if (!LockBitmap(colour, 0, &l)) {
        UnlockBitmap(&l);
        FreeBitmap(colour);
        return ERR_LOCKBMAP;
    }
    uint32_t got = 0;
    uint32_t *argb = CallHook<cxReadVideoPixelsHook>(a, a->ReadVideoPixels, video->store, video->width,
                                                     video->height, &got);
    int err = 0;
    cxBitmap *alpha = nullptr;
    if (!argb) {
        err = ERR_READVIDEOPIXELS;
    } else {
        for (int32_t y = 0; y < video->height; ++y)
            ARGBToPixelRow(argb + size_t(y) * size_t(video->width), l.pixels + size_t(y) * l.rowLength * l.bytesPerPixel,
                           l.pixelFormat, video->width);
        if ((got & CX_VIDEOPIXELS_ALPHA) && outAlpha) {
            alpha = AlphaChannelFromARGB(argb, video->width, video->height, video->width);
            if (!alpha) err = ERR_ALLOCALPHA;
        }
        CallHook<cxFreeVideoPixelsHook>(a, a->FreeVideoPixels, argb);
    }
    UnlockBitmap(&l);
    if (err) {
        FreeBitmap(colour);
        return err;
    }
    *outColour = colour;
    if (outAlpha) *outAlpha = alpha;
    return 0;
}

} // extern "C"
