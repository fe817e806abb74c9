// X11 start and stop, and the list of open X connections.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxOsXAtoms {
    Atom wmProtocols, wmDeleteWindow, motifWmHints, netWmName, utf8String, targets;
    Atom xdndAware, xdndEnter, xdndPosition, xdndStatus, xdndLeave, xdndDrop, xdndFinished;
    Atom xdndTypeList, xdndSelection, xdndActionCopy, uriList, dropProperty, clipboard;
} cxOsXAtoms;

/* One connection to an X server, shared by every window on that server. */
typedef struct cxOsXConnection {
    struct cxOsXConnection *next;
    Display *dpy;
    char name[256]; /* "" for the default server */
    int refs;
    XIM im;      /* opened by OsGetInputMethod on first need */
    int imTried; /* OsGetInputMethod ran: im is what it got */
    cxOsXAtoms atoms;
    int hasXfixes;
    int xfixesEventBase;
    int lost; /* the server closed it: Xlib does nothing more on it */
} cxOsXConnection;

/* Starts the X11 back-end once: the error handlers; the optional libraries
   load when the first display opens. Returns 1 when an X server can be reached; the
   connection to it stays open until OsStopX11, and every later use of the
   default server shares it. */
int OsStartX11(void);
/* Closes every connection and unloads the optional libraries. */
void OsStopX11(void);

/* A connection to the named server ("" or null: $DISPLAY), shared and
   counted; null when the server cannot be reached. */
cxOsXConnection *OsOpenXConnection(const char *name);
void OsReleaseXConnection(cxOsXConnection *c);
/* The connection's input method, opened on the first call (with the locale
   it follows): reading the compose tables costs more than the rest of the
   start together, and only a window taking keys needs it. Null when there
   is none. */
XIM OsGetInputMethod(cxOsXConnection *c);
cxOsXConnection *OsGetXConnections(void);

/* The last X protocol error code seen by the back-end's handler (0: none);
   reading it clears it. */
int OsTakeLastXError(void);

/* 1 once a connection was lost (the server went away or closed it): the
   run is to end with ERR_XDISPLAY through the normal clean-up, which Xlib's
   own handler would have cut short with exit(). */
int OsXConnectionLost(void);

/* For tests: while on, every request any X connection sends checks that
   it comes from the thread that turned the check on (the main thread);
   requests from other threads are counted and reported on stderr. Turning
   it on clears the count. */
void OsSetXThreadCheck(int on);
/* Requests sent from another thread since the check was turned on. */
long OsXRequestsOffThread(void);

#ifdef __cplusplus
}
#endif
