// The display record: one per display (window or full screen) of the player.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"

#ifdef __cplusplus
extern "C" {
#endif


struct cxBGPic;
struct cxBitmap;
struct cxMenu;
struct cxDisplayListener;
struct cxRefreshNode;
struct cxOsWindow;

#define CX_OBJECT_DISPLAY 21

/* Half of the key-state table: one byte per key code 0..313. */
#define CX_KEY_STATE_COUNT 314
#define CX_MAX_DISPLAY_REGIONS 64
#define CX_DISPLAY_HANDLER_SLOTS 35

/* Option bits of cxDisplay.flags. */
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

/* The display's event handler slots, by index. */
enum {
    CX_SLOT_ONKEYDOWN = 0, CX_SLOT_ONKEYUP, CX_SLOT_ONMOUSEMOVE, CX_SLOT_CLOSEWINDOW, CX_SLOT_MOVEWINDOW,
    CX_SLOT_SIZEWINDOW, CX_SLOT_ACTIVEWINDOW, CX_SLOT_INACTIVEWINDOW, CX_SLOT_HIDEWINDOW, CX_SLOT_SHOWWINDOW,
    CX_SLOT_ONMOUSEDOWN, CX_SLOT_ONMOUSEUP, CX_SLOT_ONRIGHTMOUSEDOWN, CX_SLOT_ONRIGHTMOUSEUP,
    CX_SLOT_ONWHEELDOWN, CX_SLOT_ONWHEELUP, CX_SLOT_MODESWITCH, CX_SLOT_ONDROPFILE, CX_SLOT_CLIPBOARDCHANGE,
    CX_SLOT_ONMIDMOUSEDOWN, CX_SLOT_ONMIDMOUSEUP, CX_SLOT_ORIENTATIONCHANGE, CX_SLOT_SHOWKEYBOARD,
    CX_SLOT_HIDEKEYBOARD, CX_SLOT_HOTKEY, CX_SLOT_TRAYICON, CX_SLOT_ONTOUCH, CX_SLOT_ONAPPLICATIONMESSAGE,
    CX_SLOT_ONMENUSELECT, CX_SLOT_ONDOCKYCLICK, CX_SLOT_VANILLAKEY, CX_SLOT_ONRAWKEYDOWN, CX_SLOT_ONRAWKEYUP,
    CX_SLOT_ONACCELEROMETER, CX_SLOT_ONGYROSCOPE
};

/* A handler: registry references of the function and its user data; -1 = none. */
typedef struct cxHandlerSlot {
    int32_t function;
    int32_t userData;
} cxHandlerSlot;

/* A drag bar or size handle of a borderless window. */
typedef struct cxDisplayRegion {
    uint32_t type;
    int32_t x, y, width, height;
} cxDisplayRegion;

typedef struct cxTextCursor {
    int32_t cursorX, cursorY, leftMargin, rightMargin;
    int32_t tabStops[32];
    int32_t tabCount;
} cxTextCursor;

typedef struct cxSavedRenderState {
    uint32_t saved;
    int32_t cursorX, cursorY, leftMargin, rightMargin;
    uint32_t layersOn;
} cxSavedRenderState;

/* Display states. */
enum { CX_DISPLAY_CLOSED = 0, CX_DISPLAY_SHOWN = 1, CX_DISPLAY_MINIMISED = 2 };

/* Output kinds of a display: where presenting goes. */
enum { CX_OUTPUT_NONE = 0, CX_OUTPUT_XWINDOW = 1 };

typedef struct cxDisplay {
    cxObjectHeader header; /* kind 21; next is the next display */
    uint32_t layersOn;
    uint32_t targetKind; /* 21 while drawing goes to the display itself */
    struct cxBGPic *bgpic;
    uint32_t ownsBGPic;
    uint32_t doubleBuffer1, doubleBuffer2, doubleBuffer3;
    uint32_t backfillWindow, resourceMonitor;
    int32_t x, y;          /* window position on its monitor; -100000 centres */
    int32_t width, height; /* inner size in pixels */
    uint32_t state;        /* CX_DISPLAY_CLOSED / SHOWN / MINIMISED */
    uint32_t fillStyle, fillColor;
    uint8_t gradient[1080];
    cxObjectID textureBrush;
    int32_t textureX, textureY;
    uint32_t flags; /* CX_DISPLAY_* option bits */
    uint32_t flags2;
    char title[256];
    int32_t borderLeft, borderTop, borderWidth, borderHeight;
    cxDisplayRegion dragRegions[CX_MAX_DISPLAY_REGIONS];        /* scaled */
    cxDisplayRegion dragRegionsUnscaled[CX_MAX_DISPLAY_REGIONS];
    cxDisplayRegion sizeRegions[CX_MAX_DISPLAY_REGIONS];        /* scaled */
    cxDisplayRegion sizeRegionsUnscaled[CX_MAX_DISPLAY_REGIONS];
    uint32_t dragCount, sizeCount, hasDragRegions, hasSizeRegions;
    struct cxBitmap *backBitmap[2];
    struct cxBitmap *extraBitmap[2];
    uint32_t autoScale, layerScale;
    int32_t scaleBorders[4]; /* left, top, right, bottom */
    int32_t scaledWidth, scaledHeight;
    uint32_t smooth;
    double scaleX, scaleY;
    cxHandlerSlot handlers[CX_DISPLAY_HANDLER_SLOTS];
    uint32_t mouseButtons[3]; /* left, right, middle: non-zero while held */
    uint32_t closeRequested;
    cxOsTimeVal closeTime;
    cxOsTimeVal lastFrame;
    uint8_t keyStates[2 * CX_KEY_STATE_COUNT]; /* key codes, then raw key codes */
    cxTextCursor textCursor;
    void *pointer;
    uint32_t pointerHidden, activateOnOpen;
    struct cxBitmap *shapeMask, *shapeAlpha;
    cxSavedRenderState savedRender;
    struct cxDisplayListener *listeners;
    struct cxDisplayListener *onlyListener;
    int32_t mouseX, mouseY;
    uint32_t qualifiers;
    cxOsMutex *refreshMutex;
    struct cxRefreshNode *refreshQueue;
    uint32_t fullscreen;
    uint32_t fullscreenScale, fakeFullscreen; /* the two special presentation modes */
    int32_t monitor;
    int32_t savedX, savedY;
    uint32_t savedFlags, hasSaved;
    struct cxMenu *menu;
    uint32_t mode;
    int32_t screenWidth, screenHeight, screenDepth;
    uint32_t desktop;
    uint8_t backfillOptions[1064];
    uint32_t xOnMonitor, yOnMonitor;
    uint8_t *placement;
    uint32_t placementLength;
    int32_t restoreWidth, restoreHeight;
    uint32_t systemScaled, scaling;
    double scaleFactor;
    cxObjectID backfillDisplay, backfillBGPic, backfillBrush;
    char xserver[256];
    void *handle; /* struct cxOsWindow * without a display adapter */

    /* Read by the platform's presentation and event pump. */
    uint32_t outputKind;      /* CX_OUTPUT_XWINDOW when presenting goes to an X window */
    int32_t originX, originY; /* inner origin of the drawable area in the window */
    uint32_t active;          /* the window has the focus */
    uint32_t pointerMoved;
    cxOsTimeVal pointerTime;
    /* While fullscreenScale or fakeFullscreen is set, size events (type 5)
       are queued only when this is set. */
    uint32_t modeSizeEvents;

    /* Read by SafeBlt. */
    uint32_t directDraw;
    uint32_t mirror;
    struct cxBitmap *outputMask, *outputAlpha;
} cxDisplay;

/* The display list, in creation order. The display library links and
   unlinks records; other subsystems only walk it. */
cxDisplay *GetFirstDisplay(void);
cxDisplay *GetNextDisplay(const cxDisplay *d);
void LinkDisplay(cxDisplay *d);
void UnlinkDisplay(cxDisplay *d);

#ifdef __cplusplus
}
#endif
