// Bitmap handles: colour bitmaps, 8-bit alpha channels and 1-bit masks, and
// the lock that turns any of them into plain addressable pixels.
#pragma once

#include <stdint.h>

#include "platform/os_bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

enum cxBitmapKind { CX_BITMAP_COLOUR = 0, CX_BITMAP_ALPHA = 1, CX_BITMAP_MASK = 2 };

typedef struct cxBitmap {
    uint32_t kind;   /* cxBitmapKind; never changes */
    void *store;     /* kind 0: cxOsBitmap; kinds 1 and 2: an alpha/mask store */
    int32_t width;
    int32_t height;
    uint32_t foreign; /* 1: the store is a video bitmap of the display adapter */
    uint32_t flags;
} cxBitmap;

/* Alpha channels and masks keep their rows in a cxOsBitmap-shaped store whose
   format is CX_PIXFMT_ALPHA (14) or CX_PIXFMT_MASK (15): a bare store is then
   told apart from a colour bitmap by its format word alone. Rows of an alpha
   channel hold the width rounded up to 4 bytes; rows of a mask
   ((row pixels + 15) >> 3) & ~1 bytes, a whole number of 16-bit words. */
typedef cxOsBitmap cxAlphaMaskStore;

typedef struct cxOsBitmapLock {
    uint8_t *pixels;
    uintptr_t locked;     /* non-zero while the lock holds (for an adapter's bitmap its lock
                             handle, which may be a pointer); 0 when locking failed */
    uint32_t pixelFormat; /* 0-13, 14 alpha, 15 mask */
    uint32_t bytesPerPixel;
    uint32_t rowLength;   /* pixels per row for colour bitmaps, bytes per row otherwise */
    int32_t width;
    int32_t height;
    uint32_t plainMemory; /* 1: ordinary memory, nothing to do on unlock */
} cxOsBitmapLock;

/* Flags of AllocBitmap. */
#define CX_ALLOC_CLEAR 1u
#define CX_ALLOC_VIDEO 8u

/* Flags of LockBitmap. */
#define CX_LOCK_SOURCE 1u /* hint for the adapter: the bitmap is a blit source */
#define CX_LOCK_STORE 2u  /* the argument is a bare store, not a handle */

/* Attributes of QueryBitmapAttribute. */
#define CX_BMATTR_WIDTH 0
#define CX_BMATTR_ALPHA_BYTESPERROW 1
#define CX_BMATTR_MASK_BYTESPERROW 2
#define CX_BMATTR_ALPHA_PIXELS 3
#define CX_BMATTR_MASK_PIXELS 4
#define CX_BMATTR_ROWLENGTH 13
#define CX_BMATTR_HEIGHT 14
#define CX_BMATTR_FOREIGN 18
#define CX_BMATTR_FLAGS 19
#define CX_BMATTR_STORE 20
#define CX_BMATTR_FORMAT 21
#define CX_BMATTR_NEEDSLOCK 22

/* All allocators give NULL on failure and report nothing; the callers report
   ERR_MEM or their own codes. */
cxBitmap *AllocBitmap(int32_t width, int32_t height, uint32_t flags, uint32_t hint);
void FreeBitmap(cxBitmap *bitmap);
/* With pixels NULL the channel owns rows of its own (zeroed when clear is
   non-zero); otherwise it wraps the caller's rows, which it never frees. */
cxBitmap *AllocAlphaChannel(int32_t width, int32_t height, int clear, void *pixels, uint32_t bytesPerRow);
void FreeAlphaChannel(cxBitmap *alpha);
/* A mask made for a colour bitmap has one bit for every pixel of that
   bitmap's padded rows. */
cxBitmap *AllocMask(const cxBitmap *colour, int32_t width, int32_t height, int clear, void *pixels,
                    uint32_t bytesPerRow);
void FreeMask(cxBitmap *mask);
/* A new alpha channel of width x height (not cleared) with the source's
   rows; NULL when the size exceeds the source's. */
cxBitmap *CopyAlphaChannel(const cxBitmap *source, int32_t width, int32_t height);
/* A new alpha channel from the alpha bytes of 0xAARRGGBB pixels. */
cxBitmap *AlphaChannelFromARGB(const uint32_t *pixels, int32_t width, int32_t height, int32_t srcRowLength);

void *GetBitmapStore(const cxBitmap *bitmap);

/* Non-zero on success. A record whose lock failed has locked = 0 and may be
   unlocked all the same. */
int LockBitmap(const void *bitmapOrStore, uint32_t flags, cxOsBitmapLock *lock);
void UnlockBitmap(cxOsBitmapLock *lock);

uintptr_t QueryBitmapAttribute(const cxBitmap *bitmap, uint32_t attribute);
/* 0 width, 1 height of a bare store. */
uintptr_t GetRawBitmapAttr(const void *store, uint32_t attribute);

/* Display adapter plug-ins (the registered one, cxadapterbitmap.h) steer
   every operation above: one with CX_DISPLAY_OWNSBITMAPS allocates, locks
   and frees every bitmap, one with CX_DISPLAY_VIDEOBITMAPS supplies the
   video bitmaps that AllocBitmap(..., CX_ALLOC_VIDEO, ...) asks for. */

/* Tells the adapter, once, that drawing into a video bitmap begins. */
void FinalizeVideoBitmap(cxBitmap *bitmap);

/* Copies a video bitmap into a new ordinary colour bitmap and, when the
   adapter delivers alpha and outAlpha is given, a new alpha channel (else
   *outAlpha is null). 0, ERR_MEM, ERR_LOCKBMAP, ERR_READVIDEOPIXELS or
   ERR_ALLOCALPHA; nothing is kept on failure. */
int ReadVideoBitmap(const cxBitmap *video, cxBitmap **outColour, cxBitmap **outAlpha);

#ifdef __cplusplus
}
#endif
