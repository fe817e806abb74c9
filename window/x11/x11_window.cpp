#include "window/x11/x11_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cstdlib>
#include <cstring>

#include "window/x11/os_display.h"
#include "errors/error_codes.h"
#include "window/x11/runtime_libs.h"

namespace {
int g_ctrlCQuit = 1;
int g_leftMouseQuit = 0;
int g_escapeQuit = 0;
int g_quit = 0;
cxOsDisplay *g_withWindow = nullptr;  // displays with a window record, oldest first
cxOsDisplayHooks g_hooks{};
void (*g_channelRelease)(void) = nullptr;

constexpr long kEventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            FocusChangeMask | ExposureMask | StructureNotifyMask | PropertyChangeMask |
                            EnterWindowMask | LeaveWindowMask;

void SetBorderless(cxOsWindow *w) {
    // Motif hints: flags = decorations, decorations = none.
    long hints[5] = {2, 0, 0, 0, 0};
    XChangeProperty(w->dpy, w->window, w->conn->atoms.motifWmHints, w->conn->atoms.motifWmHints, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(hints), 5);
}

void SetTitle(cxOsWindow *w, const char *title) {
    XStoreName(w->dpy, w->window, title);
    XChangeProperty(w->dpy, w->window, w->conn->atoms.netWmName, w->conn->atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title), int(strlen(title)));
}
}  // namespace

extern "C" int OsAllocWindowRecord(cxOsDisplay *d) {
    if (d->handle) return 0;
    auto *w = static_cast<cxOsWindow *>(calloc(1, sizeof(cxOsWindow)));
    if (!w) return ERR_MEM;
    w->lastRawKey = -1;
    w->fullscreenToggle = -1;
    w->cursorShape = -1;
    w->turn.pendingShowHide = -1;
    d->handle = w;
    d->nextWithWindow = nullptr;
    cxOsDisplay **tail = &g_withWindow;
    while (*tail) tail = &(*tail)->nextWithWindow;
    *tail = d;
    return 0;
}

extern "C" void OsFreeWindowRecord(cxOsDisplay *d) {
    auto *w = static_cast<cxOsWindow *>(d->handle);
    if (!w) return;
    OsCloseDisplay(d);
    OsFreeBitMap(w->scratch);
    free(w);
    d->handle = nullptr;
    for (cxOsDisplay **p = &g_withWindow; *p; p = &(*p)->nextWithWindow) {
        if (*p == d) {
            *p = d->nextWithWindow;
            break;
        }
    }
    d->nextWithWindow = nullptr;
}

extern "C" cxOsDisplay *OsGetFirstWindowDisplay(void) { return g_withWindow; }

extern "C" void OsSetDisplayHooks(const cxOsDisplayHooks *hooks) { g_hooks = hooks ? *hooks : cxOsDisplayHooks{}; }
extern "C" const cxOsDisplayHooks *OsGetDisplayHooks(void) { return &g_hooks; }
extern "C" void OsSetChannelReleaseHook(void (*hook)(void)) { g_channelRelease = hook; }
void CxReleaseFinishedChannels() {
    if (g_channelRelease) g_channelRelease();
}

extern "C" cxOsWindow *OsGetDisplayWindow(const cxOsDisplay *d) {
    auto *w = d ? static_cast<cxOsWindow *>(d->handle) : nullptr;
    return w && w->conn ? w : nullptr;
}

extern "C" void OsGetWindowInnerSize(const cxOsDisplay *d, int *width, int *height) {
    const bool scaled = d->scaledWidth > 0 && d->scaledHeight > 0;
    *width = scaled ? d->scaledWidth : d->width;
    *height = scaled ? d->scaledHeight : d->height;
    if (*width < 1) *width = 1;
    if (*height < 1) *height = 1;
}

extern "C" int OsOpenDisplay(cxOsDisplay *d) {
    if (int err = OsAllocWindowRecord(d)) return err;
    auto *w = static_cast<cxOsWindow *>(d->handle);
    if (w->conn) return 0;
    cxOsXConnection *c = OsOpenXConnection(d->xserver);
    if (!c) return ERR_XDISPLAY;
    Display *dpy = c->dpy;
    const int screen = DefaultScreen(dpy);
    int width, height;
    OsGetWindowInnerSize(d, &width, &height);
    if (d->windowWidth > 0 && d->windowHeight > 0) {
        width = d->windowWidth;
        height = d->windowHeight;
    }
    int x = d->x, y = d->y;
    if (x == -100000) x = (DisplayWidth(dpy, screen) - width) / 2;
    if (y == -100000) y = (DisplayHeight(dpy, screen) - height) / 2;

    XSetWindowAttributes attrs;
    memset(&attrs, 0, sizeof attrs);
    attrs.background_pixel = BlackPixel(dpy, screen);
    attrs.event_mask = kEventMask;
    attrs.bit_gravity = NorthWestGravity;
    Window win = XCreateWindow(dpy, RootWindow(dpy, screen), x, y, unsigned(width), unsigned(height), 0,
                               DefaultDepth(dpy, screen), InputOutput, DefaultVisual(dpy, screen),
                               CWBackPixel | CWEventMask | CWBitGravity, &attrs);
    if (!win) {
        OsReleaseXConnection(c);
        return ERR_WINDOW;
    }
    w->conn = c;
    w->dpy = dpy;
    w->window = win;
    w->screen = screen;
    w->visual = DefaultVisual(dpy, screen);
    w->depth = DefaultDepth(dpy, screen);
    w->gc = XCreateGC(dpy, win, 0, nullptr);

    XSizeHints *size = XAllocSizeHints();
    if (size) {
        size->flags = PPosition;
        if (d->x != -100000 || d->y != -100000) size->flags |= USPosition;
        size->x = x;
        size->y = y;
        if (!(d->flags & CX_DISPLAY_SIZEABLE)) {
            size->flags |= PMinSize | PMaxSize;
            size->min_width = size->max_width = width;
            size->min_height = size->max_height = height;
        }
        XSetWMNormalHints(dpy, win, size);
        XFree(size);
    }
    XWMHints *wm = XAllocWMHints();
    if (wm) {
        wm->flags = InputHint | StateHint;
        wm->input = True;
        wm->initial_state = NormalState;
        XSetWMHints(dpy, win, wm);
        XFree(wm);
    }
    XClassHint *cls = XAllocClassHint();
    if (cls) {
        cls->res_name = const_cast<char *>("calyxtone");
        cls->res_class = const_cast<char *>("Calyxtone");
        XSetClassHint(dpy, win, cls);
        XFree(cls);
    }
    SetTitle(w, d->title[0] ? d->title : "Calyxtone");
    Atom del = c->atoms.wmDeleteWindow;
    XSetWMProtocols(dpy, win, &del, 1);
    if (d->flags & CX_DISPLAY_BORDERLESS) SetBorderless(w);
    if (d->fullscreen) {
        // A window manager is asked for full screen; without one the
        // borderless window already covers the monitor.
        Atom state = XInternAtom(dpy, "_NET_WM_STATE", False);
        Atom full = XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(dpy, win, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char *>(&full), 1);
    }
    // Drop target, protocol version 5.
    Atom version = 5;
    XChangeProperty(dpy, win, c->atoms.xdndAware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&version), 1);
    if (c->hasXfixes && g_cxXfixes.SelectSelectionInput)
        g_cxXfixes.SelectSelectionInput(dpy, win, c->atoms.clipboard, 1 /* XFixesSetSelectionOwnerNotifyMask */);

    if (XIM im = OsGetInputMethod(c)) {
        w->ic = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, win,
                          XNFocusWindow, win, nullptr);
        if (w->ic) {
            long filter = 0;
            if (!XGetICValues(w->ic, XNFilterEvents, &filter, nullptr) && filter)
                XSelectInput(dpy, win, kEventMask | filter);
        }
    }
    d->borderLeft = d->borderTop = d->borderWidth = d->borderHeight = 0;
    d->outputKind = CX_OUTPUT_XWINDOW;
    w->lastRawKey = -1;
    w->fullscreenToggle = -1;
    w->cursorShape = -1;
    w->turn.pendingShowHide = -1;
    if (!(d->flags & CX_DISPLAY_HIDDEN)) XMapRaised(dpy, win);
    XSync(dpy, False);
    return 0;
}

extern "C" void OsCloseDisplay(cxOsDisplay *d) {
    auto *w = static_cast<cxOsWindow *>(d->handle);
    if (!w || !w->conn) return;
    Display *dpy = w->dpy;
    if (w->pointerGrabbed) XUngrabPointer(dpy, CurrentTime);
    if (w->ic) XDestroyIC(w->ic);
    for (Cursor &cur : w->cursors) {
        if (cur) XFreeCursor(dpy, cur);
        cur = 0;
    }
    XFreeGC(dpy, w->gc);
    XDestroyWindow(dpy, w->window);
    XSync(dpy, False);
    OsReleaseXConnection(w->conn);
    cxOsBitmap *scratch = w->scratch;
    const uint8_t *shape = w->shapeAlpha;
    const uint32_t shapeRow = w->shapeBytesPerRow;
    memset(w, 0, sizeof *w);
    w->scratch = scratch;
    w->shapeAlpha = shape;
    w->shapeBytesPerRow = shapeRow;
    w->lastRawKey = -1;
    w->fullscreenToggle = -1;
    w->cursorShape = -1;
    w->turn.pendingShowHide = -1;
    d->outputKind = CX_OUTPUT_NONE;
    d->active = 0;
}

extern "C" void OsShowHideDisplay(cxOsDisplay *d, int hide) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    if (hide)
        XIconifyWindow(w->dpy, w->window, w->screen);
    else
        XMapRaised(w->dpy, w->window);
    XFlush(w->dpy);
}

extern "C" void OsSetDisplayAttr(cxOsDisplay *, int attr, int value) {
    switch (attr) {
    case 8: g_ctrlCQuit = value; break;
    case 9: g_leftMouseQuit = value; break;
    case 10: g_escapeQuit = value; break;
    default: break;
    }
}

extern "C" int OsGetDisplayAttr(int attr) {
    switch (attr) {
    case 8: return g_ctrlCQuit;
    case 9: return g_leftMouseQuit;
    case 10: return g_escapeQuit;
    default: return 0;
    }
}

extern "C" int OsGetQuitFlag(void) { return g_quit; }
extern "C" void OsClearQuitFlag(void) { g_quit = 0; }
void CxSetQuitFlag() { g_quit = 1; }

