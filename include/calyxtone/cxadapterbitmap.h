/*
 * Calyxtone plug-in interface: the bitmap and drawing hooks of a display
 * adapter (CX_CAP_DISPLAYADAPTER).
 *
 * The display-adapter slots of cxPlugin are typed cxPluginFunc; the player
 * casts the slots below to these prototypes. An adapter that sets
 * CX_DISPLAY_OWNSBITMAPS allocates, locks and frees every bitmap of the
 * player (colour bitmaps, alpha channels and masks); one that sets
 * CX_DISPLAY_VIDEOBITMAPS supplies video bitmaps on request. The drawing
 * flags (CX_DRAW_*) say which blits and fills the adapter takes on ordinary
 * bitmaps; everything else is drawn by the player after locking the
 * bitmaps. Results of the drawing hooks are not checked.
 *
 * Pixel formats are those of the player: 0-13 for colour bitmaps (the
 * adapter's own is cxPlugin.pixelFormat), 14 for an 8-bit alpha channel and
 * 15 for a 1-bit mask (bits from the most significant bit of each byte, a
 * set bit is visible).
 */
#ifndef CALYXTONE_CXADAPTERBITMAP_H
#define CALYXTONE_CXADAPTERBITMAP_H

#include <stdint.h>

#include "cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bitmap kinds of AllocBitMap. */
#define CX_BITMAPKIND_COLOUR 0u
#define CX_BITMAPKIND_ALPHA  1u
#define CX_BITMAPKIND_MASK   2u

/* Tags of AllocBitMap. */
#define CX_BMTAG_FORBITMAP 1u /* masks: the store of the colour bitmap the mask is made for */
#define CX_BMTAG_PIXELS    2u /* the caller's rows, to be wrapped and never freed */
#define CX_BMTAG_ROWLENGTH 3u /* bytes per row of those rows */

/* Attributes of GetBitMapAttr. */
#define CX_BMATTR_ADAPTER_WIDTH       0u
#define CX_BMATTR_ADAPTER_HEIGHT      1u
#define CX_BMATTR_ADAPTER_BYTESPERROW 2u

/* What LockBitMap reports of a locked bitmap. rowLength counts pixels for
   colour bitmaps and bytes for alpha channels and masks. */
typedef struct cxAdapterBitMapLock {
    void *pixels;
    uint32_t rowLength;
    int32_t width;
    int32_t height;
} cxAdapterBitMapLock;

/* Flags of LockBitMap. */
#define CX_ADAPTERLOCK_SOURCE 1u /* the bitmap is about to be read as a blit source */

/* The blit record of BltBitMap (72 bytes on 32-bit targets). The player's
   blits fill the six rectangle words and, for masked and alpha blits, mask
   or alpha; every other field is 0. */
typedef struct cxBltRecord {
    int32_t srcX, srcY;
    int32_t dstX, dstY;
    int32_t width, height;
    int32_t scaledWidth, scaledHeight; /* 0: no scaling */
    int32_t smooth;
    void *mask;  /* store of a mask to blit through, or null */
    void *alpha; /* store of an alpha channel to blend through, or null */
    void *transform;
    int32_t transformWords[5];
    int32_t transformIndex;
} cxBltRecord;

/* Flags of BltBitMap. */
#define CX_BLT_FOREIGNSOURCE 0x1u  /* the source is a video bitmap */
#define CX_BLT_ORDINARY      0x2u  /* ordinary bitmaps, taken by the drawing flags */
#define CX_BLT_VIDEODEST     0x4u  /* the destination is a video bitmap */
#define CX_BLT_FIRSTUSE      0x8u  /* with 1: the source was never drawn before; with 4: the display's
                                      back bitmap while it is presented at once */
#define CX_BLT_BACKMODE28    0x10u /* the destination is the back bitmap of a display in mode 28 */

/* The record of RectFill. */
typedef struct cxRectFillRecord {
    int32_t x, y, width, height;
    uint32_t colour; /* 0xAARRGGBB; the top byte inverted for CX_DISPLAY_INVERTEDALPHA */
    uint32_t mode;   /* CX_FILL_* */
} cxRectFillRecord;

#define CX_FILL_ORDINARY  0x1u /* an ordinary bitmap, by the drawing flags */
#define CX_FILL_VIDEO     0x2u /* a video bitmap */
#define CX_FILL_BACKMODE28 0x4u /* with 2: the back bitmap of a display in mode 28 */

/* Video-bitmap method: drawing into the bitmap begins. */
#define CX_VIDEOMETHOD_BEGINDRAW 1u

/* Flags of ReadVideoPixels' answer. */
#define CX_VIDEOPIXELS_ALPHA 0x1u /* the top bytes hold alpha */

/* Prototypes of the slots. */
typedef void *(*cxAllocBitMapHook)(uint32_t kind, int32_t width, int32_t height, int clear, const cxTagItem *tags);
typedef void (*cxFreeBitMapHook)(void *store);
/* Answers a non-zero lock handle on success, 0 on failure. */
typedef uintptr_t (*cxLockBitMapHook)(void *store, uint32_t flags, cxAdapterBitMapLock *out, void *reserved);
typedef void (*cxUnLockBitMapHook)(uintptr_t lock);
typedef uintptr_t (*cxGetBitMapAttrHook)(void *store, uint32_t attribute, void *reserved);
/* flags as AllocBitmap's; *outFlags receives bit 0 of the flags as made. */
typedef void *(*cxAllocVideoBitMapHook)(int32_t width, int32_t height, uint32_t flags, uint32_t *outFlags,
                                        uint32_t hint);
typedef void (*cxFreeVideoBitMapHook)(void *store);
typedef int (*cxDoVideoBitMapMethodHook)(void *store, uint32_t method, uintptr_t argument);
/* width x height 0xAARRGGBB words of a video bitmap, freed with
   FreeVideoPixels; null on failure. */
typedef uint32_t *(*cxReadVideoPixelsHook)(void *store, int32_t width, int32_t height, uint32_t *outFlags);
typedef void (*cxFreeVideoPixelsHook)(uint32_t *pixels);
/* The destination is a bitmap store or a display's back-end handle. */
typedef int (*cxBltBitMapHook)(void *src, void *dst, cxBltRecord *record, uint32_t flags);
typedef int (*cxRectFillHook)(void *target, cxRectFillRecord *record);

#ifdef __cplusplus
}
#endif

#endif /* CALYXTONE_CXADAPTERBITMAP_H */
