// The X11 window record of a display, and opening and closing windows.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

#include "platform/os_bitmap.h"
#include "window/x11/os_display.h"
#include "window/x11/x11_connection.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxOsDisplay;

/* Modifier keys, in the order of cxOsWindow.modifiers. */
enum {
    CX_MOD_LCONTROL, CX_MOD_RCONTROL, CX_MOD_LALT, CX_MOD_RALT,
    CX_MOD_LSHIFT, CX_MOD_RSHIFT, CX_MOD_LSUPER, CX_MOD_RSUPER, CX_MOD_COUNT
};

/* What the event pump resets at the start of each turn. */
typedef struct cxOsWindowTurn {
    int ctrlC;            /* Control + c pressed this turn */
    int pendingShowHide;  /* -1 none, 0 show, 1 hide */
    int reserved[5];
} cxOsWindowTurn;

typedef struct cxOsWindow {
    cxOsXConnection *conn; /* null while the window is closed */
    Display *dpy;
    Window window;
    GC gc;
    Visual *visual;
    int depth;
    int screen;
    uint32_t suppress[2]; /* presenting is skipped while either is set */
    /* Optional shape: 8-bit alpha rows of the window's size giving per-pixel
       transparency, and a 32-bit scratch bitmap of that size. */
    const uint8_t *shapeAlpha;
    uint32_t shapeBytesPerRow;
    cxOsBitmap *scratch;
    XIC ic;

    /* Event pump state. */
    cxOsWindowTurn turn;
    uint8_t modifiers[CX_MOD_COUNT];
    int needsRedraw;
    int closeRequested;
    int fullscreenToggle; /* -1 none, 0 to a window, 1 to full screen */
    int lastRawKey;       /* -1 none */
    int visited;
    int pointerGrabbed;
    int dragging;
    int dragWinX, dragWinY, dragRootX, dragRootY;
    int sizing;
    int sizeEdge;         /* CX_EDGE_* bits */
    int sizeStart[4];     /* window x, y, width, height in root coordinates at the press */
    int sizeChangePending;
    int newWidth, newHeight;
    Window dndSource;
    Atom dndType; /* the accepted drop type, or None */
    int dropX, dropY;
    Cursor cursors[10];
    int cursorShape; /* the shape shown now, -1 the window's own pointer */
} cxOsWindow;

/* Edge bits of a sizing grab. */
enum { CX_EDGE_LEFT = 1, CX_EDGE_RIGHT = 2, CX_EDGE_TOP = 4, CX_EDGE_BOTTOM = 8 };

/* Allocates the display's window record (0, or ERR_MEM) and adds the
   display to the back-end's list of displays with a window record. */
int OsAllocWindowRecord(struct cxOsDisplay *d);
/* Closes the window when open, frees the record and takes the display out
   of the back-end's list. */
void OsFreeWindowRecord(struct cxOsDisplay *d);
/* Opens the display's window from its size, position, flags and title on
   its X server. 0, ERR_XDISPLAY when the server cannot be reached, ERR_WINDOW
   when the window cannot be made, ERR_MEM. */
int OsOpenDisplay(struct cxOsDisplay *d);
/* Closes the window, releasing grabs; the record stays. */
void OsCloseDisplay(struct cxOsDisplay *d);
/* Hides (iconifies) or shows the window. */
void OsShowHideDisplay(struct cxOsDisplay *d, int hide);
/* The window record of an open display, or null. */
cxOsWindow *OsGetDisplayWindow(const struct cxOsDisplay *d);
/* The displays with a window record, in the order their records were made. */
struct cxOsDisplay *OsGetFirstWindowDisplay(void);
/* The size of the window's inner area: the scaled size when scaling. */
void OsGetWindowInnerSize(const struct cxOsDisplay *d, int *width, int *height);

/* Process-wide display attributes: 8 CtrlCQuit, 9 LeftMouseQuit, 10
   EscapeQuit. The first argument is unused. */
void OsSetDisplayAttr(struct cxOsDisplay *unused, int attr, int value);
int OsGetDisplayAttr(int attr);
/* The sticky quit flag set by the pump when the run is to end. */
int OsGetQuitFlag(void);
void OsClearQuitFlag(void);

#ifdef __cplusplus
}
#endif
