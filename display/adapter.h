// The prototypes of the display adapter's hooks as the display library
// calls them (cxPlugin slots typed cxPluginFunc), the records it hands
// them, and the adapter display flags. A display adapter plug-in implements
// these; every call goes through CallPluginEntry, so an adapter whose
// calling-convention word is 2 answers 0 everywhere.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxDisplay;

/* The word handed to OpenDisplay and answered by GetDisplayAttrTags tag 5. */
enum {
    CX_ADAPTER_BORDERLESS = 0x1, CX_ADAPTER_SIZEABLE = 0x2, CX_ADAPTER_FIXED = 0x4, CX_ADAPTER_NOHIDE = 0x8,
    CX_ADAPTER_NOCLOSE = 0x10, CX_ADAPTER_AUTOSCALE = 0x20, CX_ADAPTER_LAYERSCALE = 0x40,
    CX_ADAPTER_LAYERS = 0x80, CX_ADAPTER_DBUFFER1 = 0x100, CX_ADAPTER_DBUFFER2 = 0x200,
    CX_ADAPTER_FULLSCREEN = 0x400, CX_ADAPTER_DISABLEBLANKER = 0x800, CX_ADAPTER_ALWAYSONTOP = 0x1000
};

/* BltBitMap's record (72 bytes on the 32-bit target). */
typedef struct cxAdapterBlt {
    int32_t srcX, srcY, dstX, dstY, width, height;
    int32_t scaledWidth, scaledHeight;
    int32_t smooth;
    void *maskStore, *alphaStore;
    const double *transform; /* 2x2 matrix or null */
    int32_t transformWords[4];
    int32_t transformIndex;  /* -1 without transform */
} cxAdapterBlt;

/* RectFill / WritePixel / Line record. */
typedef struct cxAdapterDraw {
    int32_t x, y, width, height; /* Line: x, y to width, height as the end point */
    uint32_t colour;
} cxAdapterDraw;

/* A monitor (kind 0) and a mode (kind 1) of GetMonitorInfo; the arrays end
   with a zero width or height. */
typedef struct cxAdapterMonitor { int32_t x, y, width, height; } cxAdapterMonitor;
typedef struct cxAdapterMode { int32_t width, height, depth; } cxAdapterMode;

typedef int (*cxAdapterForceIteration)(int unused);
typedef int (*cxAdapterSleep)(int milliseconds);
typedef int (*cxAdapterVWait)(void *handle);
typedef int (*cxAdapterDetermineBorderSizes)(uint32_t flags, int32_t *left, int32_t *right, int32_t *top,
                                             int32_t *bottom);
typedef void *(*cxAdapterOpenDisplay)(const char *title, int32_t x, int32_t y, int32_t width, int32_t height,
                                      uint32_t flags, const cxTagItem *tags);
typedef int (*cxAdapterCloseDisplay)(void *handle);
typedef int (*cxAdapterShowHideDisplay)(void *handle, int show, int unused);
typedef int (*cxAdapterSizeMoveDisplay)(void *handle, int32_t x, int32_t y, int32_t width, int32_t height, int a,
                                        int b);
typedef int (*cxAdapterSetDisplayTitle)(void *handle, const char *title);
typedef int (*cxAdapterActivateDisplay)(void *handle, int front);
typedef int (*cxAdapterShowHidePointer)(void *handle, int show);
typedef int (*cxAdapterMovePointer)(void *handle, int32_t x, int32_t y);
typedef int (*cxAdapterGetMousePos)(void *handle, int32_t *x, int32_t *y);
typedef uint32_t (*cxAdapterGetQualifiers)(void *handle);
typedef int (*cxAdapterBltBitMap)(void *store, void *handle, const cxAdapterBlt *blt, uint32_t flags);
typedef int (*cxAdapterDrawOp)(void *handle, const cxAdapterDraw *draw);
typedef int (*cxAdapterCls)(void *handle, uint32_t colour, int unused);
typedef int (*cxAdapterGetMonitorInfo)(int kind, int monitor, void **out);
typedef void (*cxAdapterFreeMonitorInfo)(int kind, void *info);
typedef uint32_t *(*cxAdapterGrabScreenPixels)(void *handle, int32_t x, int32_t y, int32_t width, int32_t height);
typedef void (*cxAdapterFreeGrabScreenPixels)(uint32_t *pixels);
/* BeginDoubleBuffer and EndDoubleBuffer; Flip gets {1, sync, 0}. */
typedef int (*cxAdapterDoubleBuffer)(void *handle);
typedef int (*cxAdapterFlip)(void *handle, const int32_t *message);

/* The adapter display flags of a display's current state. */
uint32_t GetAdapterDisplayFlags(const struct cxDisplay *d);

#ifdef __cplusplus
}
#endif
