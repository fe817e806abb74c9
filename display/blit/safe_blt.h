// SafeBlt: the one road of images (brushes, BGPic parts, text, anim frames,
// layers, transition steps) to the current display. It clips, keeps the
// display's sprites on top, draws into one of the display's back bitmaps
// or straight into its window, mirrors into the second back bitmap, feeds
// the selected mask or alpha channel and refreshes the window.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit_clip.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of SafeBlt. */
#define CX_SAFEBLT_NOREGION   0x1u   /* do not apply the clip region */
#define CX_SAFEBLT_NOSPRITES  0x2u   /* do not handle sprites */
#define CX_SAFEBLT_FIRSTBACK  0x4u   /* into the first back bitmap when layers are off */
#define CX_SAFEBLT_LAYERS     0x8u   /* with layers on, recomposite the rectangle instead */
#define CX_SAFEBLT_OWNTARGET  0x10u  /* the caller's own target: no display needed, no outputs */
#define CX_SAFEBLT_NOREFRESH  0x20u  /* do not refresh the window */
#define CX_SAFEBLT_ALWAYSBACK 0x40u  /* into the first back bitmap whatever the layers */
#define CX_SAFEBLT_DIRECT     0x80u  /* straight to the window on a direct-draw display */
#define CX_SAFEBLT_CLIPPED    0x100u /* the rectangle is clipped already */

/* Output kinds of a display. */
#define CX_OUTPUT_DISPLAY 21u
#define CX_OUTPUT_MASK    28u
#define CX_OUTPUT_ALPHA   30u

void SafeBlt(lua_State *L, cxBitmap *src, int32_t srcX, int32_t srcY, cxBitmap *target, int32_t dstX, int32_t dstY,
             int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
             uint32_t flags, cxBitmap *mask, cxBitmap *alpha, const cxClipRegion *region);

/* What SafeBlt needs of the libraries around it. Members left null: no
   such display (current or fallback), no sprites, no layers, no window.
   The display library's own are in place until others are installed:
   the current display, its picture as the first back bitmap and
   backBitmap[0] as the second, and presenting through
   RefreshDisplayRectCore. */
struct cxBGPic;
typedef struct cxSafeBltHooks {
    cxDisplay *(*currentDisplay)(void);
    /* The display being set up, used while no display is current. */
    cxDisplay *(*fallbackDisplay)(void);
    /* The display's first (0) or second (1) back bitmap; null member:
       backBitmap[0] and backBitmap[1]. */
    cxBitmap *(*backBitmap)(cxDisplay *d, int which);
    /* The size of a BGPic. 0 or an error. */
    int (*bgpicSize)(struct cxBGPic *bgpic, int32_t *width, int32_t *height);
    /* 1 when a sprite shown on the BGPic overlaps the rectangle. */
    int (*spriteOverlaps)(struct cxBGPic *bgpic, int32_t x, int32_t y, int32_t width, int32_t height);
    /* Composites a rectangle of the display's background and layers into
       dst: part 1 what lies under the sprites, 2 the sprites, 0 all. */
    void (*redrawLayersRect)(lua_State *L, cxDisplay *d, struct cxBGPic *bgpic, cxBitmap *dst, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flag, int part);
    /* Copies a rectangle of a bitmap to the display's window; flag 1 also
       for a hidden display. */
    void (*refreshRegion)(cxBitmap *src, int32_t srcX, int32_t srcY, cxDisplay *d, int32_t dstX, int32_t dstY,
                          int32_t width, int32_t height, uint32_t flag);
    /* The window copy of a direct-draw display, with its mask or alpha
       (extraMask: a mask that needs no more clipping). */
    void (*refreshDirect)(cxBitmap *src, int32_t srcX, int32_t srcY, cxDisplay *d, int32_t dstX, int32_t dstY,
                          int32_t width, int32_t height, uint32_t flags, cxBitmap *mask, cxBitmap *alpha,
                          cxBitmap *extraMask);
} cxSafeBltHooks;

/* Installs the hooks (copied); null puts the display library's back. */
void SetSafeBltHooks(const cxSafeBltHooks *hooks);
const cxSafeBltHooks *GetSafeBltHooks(void);

#ifdef __cplusplus
}
#endif
