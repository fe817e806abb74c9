#include "graphics/bitmap/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "graphics/kernels/blit_kernels.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"

namespace {

const cxBitmapAdapterHooks *g_adapter = nullptr;

// True when an installed adapter claims this operation; the glue that would
// hand it over is not built yet, so such operations fail.
bool AdapterClaims(uint32_t flag) { return g_adapter && (g_adapter->adapterFlags & flag); }

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

} // namespace

extern "C" {

void SetBitmapAdapterHooks(const cxBitmapAdapterHooks *hooks) { g_adapter = hooks; }
const cxBitmapAdapterHooks *GetBitmapAdapterHooks(void) { return g_adapter; }

cxBitmap *AllocBitmap(int32_t width, int32_t height, uint32_t flags, uint32_t hint) {
    if (AdapterClaims((flags & CX_ALLOC_VIDEO) ? CX_ADAPTER_VIDEO_BITMAPS : CX_ADAPTER_OWNS_BITMAPS)) return nullptr;
    if (!SizeOk(width, height)) return nullptr;
    // Rows hold whole groups of 4 pixels: the platform pads the rounded
    // width, and the store then reports the real width.
    cxOsBitmap *store = OsAllocBitMap((width + 3) & ~3, height, int(flags & CX_ALLOC_CLEAR), hint);
    if (!store) return nullptr;
    store->width = width;
    cxBitmap *h = NewHandle(CX_BITMAP_COLOUR, store, width, height);
    if (!h) {
        OsFreeBitMap(store);
        return nullptr;
    }
    h->flags = flags & 1u;
    return h;
}

void FreeBitmap(cxBitmap *b) {
    if (!b) return;
    if (b->kind == CX_BITMAP_COLOUR) OsFreeBitMap(static_cast<cxOsBitmap *>(b->store));
    free(b);
}

cxBitmap *AllocAlphaChannel(int32_t width, int32_t height, int clear, void *pixels, uint32_t bytesPerRow) {
    if (AdapterClaims(CX_ADAPTER_OWNS_BITMAPS) || !SizeOk(width, height)) return nullptr;
    if (pixels && bytesPerRow < uint32_t(width)) return nullptr;
    const uint64_t bpr = pixels ? bytesPerRow : (uint64_t(width) + 3) & ~uint64_t(3);
    cxAlphaMaskStore *s = NewByteStore(CX_PIXFMT_ALPHA, width, height, clear, pixels, bpr);
    if (!s) return nullptr;
    cxBitmap *h = NewHandle(CX_BITMAP_ALPHA, s, width, height);
    if (!h) FreeByteStore(s);
    return h;
}

void FreeAlphaChannel(cxBitmap *b) {
    if (!b) return;
    if (b->kind == CX_BITMAP_ALPHA) FreeByteStore(static_cast<cxAlphaMaskStore *>(b->store));
    free(b);
}

cxBitmap *AllocMask(const cxBitmap *colour, int32_t width, int32_t height, int clear, void *pixels,
                    uint32_t bytesPerRow) {
    if (AdapterClaims(CX_ADAPTER_OWNS_BITMAPS) || !SizeOk(width, height)) return nullptr;
    // One bit for every pixel of the colour bitmap's padded rows, never
    // fewer than the width. The row size is not cut to 16 bits: that would
    // make rows of very wide masks shorter than their pixels.
    uint64_t rowPixels = uint64_t(width);
    if (colour && colour->kind == CX_BITMAP_COLOUR)
        rowPixels = std::max<uint64_t>(rowPixels, QueryBitmapAttribute(colour, CX_BMATTR_ROWLENGTH));
    if (pixels && uint64_t(bytesPerRow) * 8 < uint64_t(width)) return nullptr;
    const uint64_t bpr = pixels ? bytesPerRow : ((rowPixels + 15) >> 3) & ~uint64_t(1);
    cxAlphaMaskStore *s = NewByteStore(CX_PIXFMT_MASK, width, height, clear, pixels, bpr);
    if (!s) return nullptr;
    cxBitmap *h = NewHandle(CX_BITMAP_MASK, s, width, height);
    if (!h) FreeByteStore(s);
    return h;
}

void FreeMask(cxBitmap *b) {
    if (!b) return;
    if (b->kind == CX_BITMAP_MASK) FreeByteStore(static_cast<cxAlphaMaskStore *>(b->store));
    free(b);
}

cxBitmap *CopyAlphaChannel(const cxBitmap *source, int32_t width, int32_t height) {
    const cxAlphaMaskStore *s = ByteStore(source, CX_BITMAP_ALPHA);
    if (!s || width > s->width || height > s->height) return nullptr;
    cxBitmap *copy = AllocAlphaChannel(width, height, 0, nullptr, 0);
    if (!copy) return nullptr;
    const cxAlphaMaskStore *d = ByteStore(copy, CX_BITMAP_ALPHA);
    // Row by row: the two channels may have different row lengths.
    const size_t n = std::min(s->bytesPerRow, d->bytesPerRow);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *to = d->pixels + size_t(y) * d->bytesPerRow;
        std::memcpy(to, s->pixels + size_t(y) * s->bytesPerRow, n);
        std::memset(to + n, 0, d->bytesPerRow - n);
    }
    return copy;
}

cxBitmap *AlphaChannelFromARGB(const uint32_t *pixels, int32_t width, int32_t height, int32_t srcRowLength) {
    if (!pixels || srcRowLength < width) return nullptr;
    cxBitmap *a = AllocAlphaChannel(width, height, 1, nullptr, 0);
    if (!a) return nullptr;
    const cxAlphaMaskStore *s = ByteStore(a, CX_BITMAP_ALPHA);
    ExtractAlphaBytes(pixels, width, height, srcRowLength, s->pixels, int32_t(s->bytesPerRow));
    return a;
}

void *GetBitmapStore(const cxBitmap *b) { return b ? b->store : nullptr; }

int LockBitmap(const void *x, uint32_t flags, cxOsBitmapLock *lock) {
    lock->locked = 0;
    lock->plainMemory = 0;
    if (!x || AdapterClaims(CX_ADAPTER_OWNS_BITMAPS)) return 0;
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
    // Plain memory has nothing to release; the platform bitmap on Linux is
    // plain memory too.
    lock->locked = 0;
}

uintptr_t QueryBitmapAttribute(const cxBitmap *b, uint32_t attribute) {
    if (!b) return 0;
    const cxOsBitmap *s = static_cast<const cxOsBitmap *>(b->store);
    switch (attribute) {
    case CX_BMATTR_WIDTH: return uintptr_t(b->width);
    case CX_BMATTR_HEIGHT: return uintptr_t(b->height);
    case CX_BMATTR_FOREIGN: return b->foreign;
    case CX_BMATTR_FLAGS: return b->flags;
    case CX_BMATTR_STORE: return reinterpret_cast<uintptr_t>(b->store);
    case CX_BMATTR_NEEDSLOCK: return b->foreign && !AdapterClaims(CX_ADAPTER_VIDEO_BITMAPS) ? 1 : 0;
    case CX_BMATTR_ALPHA_BYTESPERROW: return ByteStore(b, CX_BITMAP_ALPHA) ? s->bytesPerRow : 0;
    case CX_BMATTR_MASK_BYTESPERROW: return ByteStore(b, CX_BITMAP_MASK) ? s->bytesPerRow : 0;
    case CX_BMATTR_ALPHA_PIXELS: return ByteStore(b, CX_BITMAP_ALPHA) ? reinterpret_cast<uintptr_t>(s->pixels) : 0;
    case CX_BMATTR_MASK_PIXELS: return ByteStore(b, CX_BITMAP_MASK) ? reinterpret_cast<uintptr_t>(s->pixels) : 0;
    case CX_BMATTR_ROWLENGTH:
        if (!s) return 0;
        if (b->kind == CX_BITMAP_MASK) return uintptr_t(s->bytesPerRow) * 8;
        return s->bytesPerPixel ? s->bytesPerRow / s->bytesPerPixel : 0;
    case CX_BMATTR_FORMAT: return s ? s->format : 0;
    default:
        // Display attributes (pointer position and constants) belong to the
        // platform layer's query.
        return 0;
    }
}

uintptr_t GetRawBitmapAttr(const void *store, uint32_t attribute) {
    if (!store || AdapterClaims(CX_ADAPTER_OWNS_BITMAPS)) return 0;
    const cxOsBitmap *s = static_cast<const cxOsBitmap *>(store);
    if (attribute == 0) return uintptr_t(s->width);
    if (attribute == 1) return uintptr_t(s->height);
    return 0;
}

} // extern "C"
