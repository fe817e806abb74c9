// The window-system state of one display: what the X11 back-end reads and
// writes of it (position, size, window style, input state, presentation
// target). The display library embeds one in each display record and hands
// it to the back-end; the back-end calls back into the display library only
// through the hooks registered with OsSetDisplayHooks.
#pragma once

#include <stdint.h>

#include "platform/os_time.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;
struct cxDisplay;
struct cxOsWindow;

/* Half of the key-state table: one byte per key code 0..313. */
#define CX_KEY_STATE_COUNT 314
#define CX_MAX_DISPLAY_REGIONS 64

/* Option bits of a display (cxOsDisplay.flags). The back-end honours the
   window-style ones: borderless, sizeable, fixed (no drag bars), no mode
   switch by the user, hidden. */
enum {
    CX_DISPLAY_BORDERLESS = 0x1,
    CX_DISPLAY_SIZEABLE = 0x2,
    CX_DISPLAY_FIXED = 0x4,        /* also: no drag bars */
    CX_DISPLAY_NOMODESWITCH = 0x8, /* no full-screen toggle by the user */
    CX_DISPLAY_HIDEPOINTER = 0x10,
    CX_DISPLAY_NOHIDE = 0x20,
    CX_DISPLAY_SCALEMODE1 = 0x40,
    CX_DISPLAY_SMOOTHSCALE = 0x80,
    CX_DISPLAY_SCALEMODE2 = 0x100,
    CX_DISPLAY_ACTIVE = 0x400,
    CX_DISPLAY_HIDDEN = 0x800,
    CX_DISPLAY_LAYERS = 0x1000,
    CX_DISPLAY_USEQUARTZ = 0x2000,
    CX_DISPLAY_NOCLOSE = 0x4000,
    CX_DISPLAY_KEEPPROPORTIONS = 0x8000,
    CX_DISPLAY_FITSCALE = 0x10000,
    CX_DISPLAY_NOLIVERESIZE = 0x20000,
    CX_DISPLAY_KEEPSCREENON = 0x40000,
    CX_DISPLAY_HIDEFROMTASKBAR = 0x80000,
    CX_DISPLAY_HIDEOPTIONSMENU = 0x100000,
    CX_DISPLAY_NOHARDWARESCALE = 0x200000,
    CX_DISPLAY_ALWAYSONTOP = 0x400000,
    CX_DISPLAY_SINGLEMENU = 0x800000,
    CX_DISPLAY_DISABLEBLANKER = 0x1000000,
    CX_DISPLAY_REMEMBERPOSITION = 0x8000000,
    CX_DISPLAY_MAXIMIZED = 0x10000000,
    CX_DISPLAY_TRAPRMB = 0x20000000,
    CX_DISPLAY_NOSCALEENGINE = 0x40000000,
    CX_DISPLAY_NATIVEUNITS = 0x80000000u
};

/* Display states. */
enum { CX_DISPLAY_CLOSED = 0, CX_DISPLAY_SHOWN = 1, CX_DISPLAY_MINIMISED = 2 };

/* Output kinds of a display: where presenting goes. */
enum { CX_OUTPUT_NONE = 0, CX_OUTPUT_XWINDOW = 1 };

/* A drag bar or size handle of a borderless window. */
typedef struct cxDisplayRegion {
    uint32_t type;
    int32_t x, y, width, height;
} cxDisplayRegion;

typedef struct cxOsDisplay {
    /* The display record that embeds this one: events are posted for it and
       the hooks receive it. */
    struct cxDisplay *owner;
    struct cxOsWindow *handle;   /* the window record, null when none */
    struct cxOsDisplay *nextWithWindow; /* the back-end's list of displays with a window record */

    /* Set by the display library before the window opens. */
    char title[256];
    char xserver[256];           /* "" for the default X server */
    uint32_t flags;              /* CX_DISPLAY_* option bits */
    int32_t x, y;                /* window position on its monitor; -100000 centres */
    int32_t width, height;       /* inner size in pixels */
    int32_t scaledWidth, scaledHeight; /* the window's inner size while scaling, else 0 */
    uint32_t smooth;
    uint32_t fullscreen;
    /* The window's inner size when it differs from the presented area (a
       full screen: the window covers the monitor and the picture sits at
       originX/originY); 0 = the presented area's size. */
    int32_t windowWidth, windowHeight;
    cxDisplayRegion dragRegions[CX_MAX_DISPLAY_REGIONS]; /* scaled */
    cxDisplayRegion sizeRegions[CX_MAX_DISPLAY_REGIONS]; /* scaled */
    uint32_t dragCount, sizeCount;

    /* Kept up to date by the back-end. */
    int32_t borderLeft, borderTop, borderWidth, borderHeight;
    uint32_t state;              /* CX_DISPLAY_CLOSED / SHOWN / MINIMISED */
    uint32_t active;             /* the window has the focus */
    uint32_t mouseButtons[3];    /* left, right, middle: non-zero while held */
    int32_t mouseX, mouseY;
    uint32_t qualifiers;
    uint8_t keyStates[2 * CX_KEY_STATE_COUNT]; /* key codes, then raw key codes */
    uint32_t pointerMoved;
    cxOsTimeVal pointerTime;
    uint32_t closeRequested;
    cxOsTimeVal closeTime;

    /* Read by presentation. */
    uint32_t outputKind;         /* CX_OUTPUT_XWINDOW when presenting goes to an X window */
    int32_t originX, originY;    /* inner origin of the drawable area in the window */
} cxOsDisplay;

/* Handlers whose presence changes what the back-end does. */
enum { CX_OS_HANDLER_CLOSE = 0, CX_OS_HANDLER_DROP = 1, CX_OS_HANDLER_CLIPBOARD = 2 };

/* What the back-end's event pump asks of the display library. Every hook
   may be null; the default is given with each. */
typedef struct cxOsDisplayHooks {
    /* Performs the window updates queued by other threads. 0 or an error
       code. Default: 0. */
    int (*processPendingRefreshes)(lua_State *L);
    /* Repaints a whole display (flags 2 after an expose). Default: nothing. */
    int (*refreshWholeDisplay)(lua_State *L, struct cxDisplay *d, uint32_t flags);
    /* Opens or re-opens a display; how 5 switches between window and full
       screen at the size stored in it. 0 or an error code. Default: 0. */
    int (*realizeDisplay)(lua_State *L, struct cxDisplay *d, uint32_t how);
    /* Resizes a display after the user sized its window; x or y 100000
       keeps the position. 0 or an error code. Default: the new size is
       stored as the inner size. */
    int (*resizeDisplay)(lua_State *L, struct cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height,
                         uint32_t smooth, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
    /* 1 when the display may take its monitor (a full-screen toggle).
       Default: 1. */
    int (*isDisplayMonitorFree)(struct cxDisplay *d);
    /* 1 when the display has that handler (CX_OS_HANDLER_*). Default: 0. */
    int (*hasHandler)(const struct cxDisplay *d, int handler);
} cxOsDisplayHooks;

/* Installs the display library's hooks (copied); null removes them. */
void OsSetDisplayHooks(const cxOsDisplayHooks *hooks);
const cxOsDisplayHooks *OsGetDisplayHooks(void);

/* The sound library's release of channels whose sound has ended, run at the
   start of each pump turn; null removes it. */
void OsSetChannelReleaseHook(void (*hook)(void));

#ifdef __cplusplus
}
#endif
