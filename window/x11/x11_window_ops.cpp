#include "window/x11/x11_window_ops.h"

#include <X11/Xutil.h>
#include <cstring>

#include "platform/os_bitmap.h"
#include "platform/os_wake.h"
#include "window/x11/os_display.h"
#include "window/x11/x11_present.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"

namespace {

void OuterSize(const cxOsDisplay *d, int *width, int *height) {
    OsGetWindowInnerSize(d, width, height);
    if (d->windowWidth > 0 && d->windowHeight > 0) {
        *width = d->windowWidth;
        *height = d->windowHeight;
    }
}

// A fixed-size window carries its size as minimum and maximum; they must
// follow every resize or the window manager undoes it.
void UpdateSizeHints(cxOsWindow *w, const cxOsDisplay *d, int x, int y, int width, int height) {
    XSizeHints *size = XAllocSizeHints();
    if (!size) return;
    size->flags = PPosition | USPosition;
    size->x = x;
    size->y = y;
    if (!(d->flags & CX_DISPLAY_SIZEABLE)) {
        size->flags |= PMinSize | PMaxSize;
        size->min_width = size->max_width = width;
        size->min_height = size->max_height = height;
    }
    XSetWMNormalHints(w->dpy, w->window, size);
    XFree(size);
}

}  // namespace

extern "C" int OsCanOpenDisplays(void) {
    cxOsXConnection *c = OsOpenXConnection(nullptr);
    if (!c) return 0;
    OsReleaseXConnection(c);
    return 1;
}

extern "C" int OsCheckDisplaySize(const cxOsDisplay *d) {
    int width, height;
    OuterSize(d, &width, &height);
    return width >= 1 && height >= 1 && width <= 32767 && height <= 32767;
}

extern "C" int OsDetermineBorderSizes(cxOsDisplay *d) {
    d->borderLeft = d->borderTop = d->borderWidth = d->borderHeight = 0;
    return 0;
}

extern "C" void OsMoveDisplay(cxOsDisplay *d) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    int width, height;
    OuterSize(d, &width, &height);
    UpdateSizeHints(w, d, d->x, d->y, width, height);
    XMoveWindow(w->dpy, w->window, d->x, d->y);
    XFlush(w->dpy);
}

extern "C" void OsSizeMoveDisplay(cxOsDisplay *d) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    int width, height;
    OuterSize(d, &width, &height);
    UpdateSizeHints(w, d, d->x, d->y, width, height);
    XMoveResizeWindow(w->dpy, w->window, d->x, d->y, unsigned(width), unsigned(height));
    XSync(w->dpy, False);
}

extern "C" void OsSetDisplayTitle(cxOsDisplay *d) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    XStoreName(w->dpy, w->window, d->title);
    XChangeProperty(w->dpy, w->window, w->conn->atoms.netWmName, w->conn->atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(d->title), int(strlen(d->title)));
    XFlush(w->dpy);
}

extern "C" void OsActivateDisplay(cxOsDisplay *d, int focus) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    XMapRaised(w->dpy, w->window);
    if (focus) {
        // The window must be viewable before it can take the focus.
        XWindowAttributes attrs;
        if (XGetWindowAttributes(w->dpy, w->window, &attrs) && attrs.map_state == IsViewable)
            XSetInputFocus(w->dpy, w->window, RevertToParent, CurrentTime);
    }
    XFlush(w->dpy);
}

extern "C" void OsShowHidePointer(cxOsDisplay *d, int show) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    if (show) {
        XUndefineCursor(w->dpy, w->window);
    } else {
        static char empty[8] = {0};
        Pixmap bits = XCreateBitmapFromData(w->dpy, w->window, empty, 8, 8);
        XColor black{};
        Cursor blank = XCreatePixmapCursor(w->dpy, bits, bits, &black, &black, 0, 0);
        XDefineCursor(w->dpy, w->window, blank);
        XFreeCursor(w->dpy, blank);
        XFreePixmap(w->dpy, bits);
    }
    XFlush(w->dpy);
}

extern "C" void OsMovePointer(cxOsDisplay *d, int32_t x, int32_t y) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return;
    XWarpPointer(w->dpy, None, w->window, 0, 0, 0, 0, x + d->originX, y + d->originY);
    XFlush(w->dpy);
}

extern "C" int OsGetMousePos(cxOsDisplay *d, int32_t *x, int32_t *y) {
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w) return 0;
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask;
    const bool ok = XQueryPointer(w->dpy, w->window, &root, &child, &rx, &ry, &wx, &wy, &mask);
    // The round trip may have read events into Xlib's queue, where the
    // wait's poll() cannot see them: the next wait must not block.
    if (QLength(w->dpy) > 0) OsSetEventsPending(1);
    if (!ok) return 0;
    *x = wx - d->originX;
    *y = wy - d->originY;
    return 1;
}

extern "C" void OsGetFontResolution(int32_t *horizontal, int32_t *vertical) {
    *horizontal = 72;
    *vertical = 72;
}

extern "C" void OsGetDisplayScale(double *out) { *out = 1.0; }

extern "C" uint32_t OsDetectPixelFormat(void) {
    cxOsXConnection *c = OsOpenXConnection(nullptr);
    if (!c) return OsGetPixelFormat();
    const int screen = DefaultScreen(c->dpy);
    Visual *v = DefaultVisual(c->dpy, screen);
    const int depth = DefaultDepth(c->dpy, screen);
    int bpp = depth == 24 ? 32 : depth;
    int count = 0;
    if (XPixmapFormatValues *f = XListPixmapFormats(c->dpy, &count)) {
        for (int i = 0; i < count; ++i)
            if (f[i].depth == depth) bpp = f[i].bits_per_pixel;
        XFree(f);
    }
    const int format = OsVisualPixelFormat(v->red_mask, v->green_mask, v->blue_mask, bpp);
    OsReleaseXConnection(c);
    // Only 16- and 32-bit layouts serve as bitmap formats.
    if (format >= 0 && format != 8 && format != 9) OsSetPixelFormat(uint32_t(format));
    return OsGetPixelFormat();
}
