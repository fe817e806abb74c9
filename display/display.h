// The display record: one per display (window or full screen) of the player.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "window/x11/os_display.h"

#ifdef __cplusplus
extern "C" {
#endif


struct cxBGPic;
struct cxBitmap;
struct cxMenu;
struct cxDisplayListener;
struct cxRefreshNode;
struct cxOsWindow;
struct cxDoubleBuffer;

#define CX_OBJECT_DISPLAY 21

#define CX_DISPLAY_HANDLER_SLOTS 35

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

/* The display record. Fields that other subsystems use:

   - Picture: `bgpic` is the background picture the display shows (a record
     of the BGPic library, opaque here) and `picture` is its colour bitmap:
     what presenting reads and what drawing writes while the display itself
     is the output target. With the built-in picture (no BGPic library
     installed, see display/bgpic_hooks.h) `bgpic` is null and `picture` is
     owned by the display. `pictureWidth`/`pictureHeight` are its size.
   - Back bitmaps: `backBitmap[0..1]` are the two picture buffers of double
     buffering (allocated by the brush library, freed with the display);
     `extraBitmap[0..1]` further buffers freed with the display.
   - Output: `targetKind` is CX_OBJECT_DISPLAY (21) while drawing goes to the
     display; the selection commands of the brush library set other kinds
     and keep their own target record. `clipX/clipY/clipWidth/clipHeight` is
     the clip rectangle of drawing into the picture.
   - Scaling: scale mode 1 (`autoScale`, the picture is scaled when
     presented) and scale mode 2 (`layerScale`, layers are scaled when
     drawn); `os.scaledWidth/os.scaledHeight` are the window's inner size
     while scaling (0 = not scaled), `scaleBorders` the bars of a
     proportion-keeping scale, `os.smooth` smooth scaling. `scaling` with
     `scaleFactor` is coordinate scaling: script coordinates and sizes are
     multiplied by the factor (ScaleDisplayCoords).
   - Size: `os.width/os.height` is the display's size, the picture's size
     unless a scale mode is on. Position `os.x/os.y`, title `os.title`,
     option bits `os.flags` (CX_DISPLAY_*), state `os.state`. */
typedef struct cxDisplay {
    cxObjectHeader header; /* kind 21; next is the next display */
    cxOsDisplay os;        /* window-system state: position, size, style, input */
    uint32_t layersOn;
    uint32_t targetKind; /* 21 while drawing goes to the display itself */
    struct cxBGPic *bgpic;
    uint32_t ownsBGPic;
    uint32_t doubleBuffer1, doubleBuffer2, doubleBuffer3;
    uint32_t backfillWindow, resourceMonitor;
    uint32_t fillStyle, fillColor;
    uint8_t gradient[1080];
    cxObjectID textureBrush;
    int32_t textureX, textureY;
    uint32_t flags2;
    cxDisplayRegion dragRegionsUnscaled[CX_MAX_DISPLAY_REGIONS];
    cxDisplayRegion sizeRegionsUnscaled[CX_MAX_DISPLAY_REGIONS];
    uint32_t hasDragRegions, hasSizeRegions;
    struct cxBitmap *backBitmap[2];
    struct cxBitmap *extraBitmap[2];
    struct cxDoubleBuffer *doubleBufferState; /* display/double_buffer.h */
    uint32_t autoScale, layerScale;
    int32_t scaleBorders[4]; /* left, top, right, bottom */
    double scaleX, scaleY;
    cxHandlerSlot handlers[CX_DISPLAY_HANDLER_SLOTS];
    cxOsTimeVal lastFrame;
    cxTextCursor textCursor;
    void *pointer;
    uint32_t pointerHidden, activateOnOpen;
    struct cxBitmap *shapeMask, *shapeAlpha;
    cxSavedRenderState savedRender;
    struct cxDisplayListener *listeners;
    struct cxDisplayListener *onlyListener;
    cxOsMutex *refreshMutex;
    struct cxRefreshNode *refreshQueue;
    uint32_t fullscreenScale, fakeFullscreen; /* the two special presentation modes */
    int32_t monitor;
    int32_t savedX, savedY;
    uint32_t savedFlags, hasSaved;
    struct cxMenu *menu;
    uint32_t mode;
    int32_t screenWidth, screenHeight, screenDepth;
    uint32_t desktop;
    uint8_t backfillOptions[1096]; /* cxBackfillOptions (display/options.h) */
    uint32_t xOnMonitor, yOnMonitor;
    uint8_t *placement;
    uint32_t placementLength;
    int32_t restoreWidth, restoreHeight;
    uint32_t systemScaled, scaling;
    double scaleFactor;
    cxObjectID backfillDisplay, backfillBGPic, backfillBrush;
    /* While fullscreenScale or fakeFullscreen is set, size events (type 5)
       are queued only when this is set. */
    uint32_t modeSizeEvents;

    /* The picture (see above). */
    struct cxBitmap *picture;
    int32_t pictureWidth, pictureHeight;
    int32_t clipX, clipY, clipWidth, clipHeight;
    /* The adapter's display handle while a display adapter is installed. */
    void *adapterHandle;
    uint32_t adapterFlagA, adapterFlagB; /* out flags of the adapter's OpenDisplay */
    int32_t fullscreenMonitor;  /* monitor the full-screen mode was set on */
    int32_t previousMonitor;    /* 1-based monitor to return to from full screen, 0 none */
    int32_t orientation;
    int32_t fontResX, fontResY; /* dots per inch */
    struct cxDisplay *backfillOf;     /* the desktop-mode display behind which this one sits */
    struct cxDisplay *backfillWindowOf; /* the backfill window of this desktop-mode display */
    uint32_t autoIdPushed;
    /* A legacy CLOSEWINDOW label takes the window's close: the run does
       not end on it (display/events/legacy_events.h). */
    uint32_t closeHandled;

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
