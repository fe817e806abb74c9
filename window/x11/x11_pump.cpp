#include "engine/charset/charset.h"
#include "window/x11/x11_pump.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <cstring>

#include "engine/runtime/kernel.h"
#include "errors/error_codes.h"
#include "window/x11/os_display.h"
#include "engine/events/event_queue.h"
#include "platform/os_linegate.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"
#include "window/x11/runtime_libs.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_input.h"
#include "window/x11/x11_window.h"

void CxSetQuitFlag();
void CxReleaseFinishedChannels();

namespace {
// Event types posted to the queue.
enum {
    EV_LEFTBUTTON = 1, EV_RIGHTBUTTON = 2, EV_KEY = 3, EV_MOVE = 4, EV_SIZE = 5, EV_INACTIVE = 6, EV_CLOSE = 7,
    EV_ACTIVE = 8, EV_HIDE = 9, EV_SHOW = 10, EV_WHEELUP = 11, EV_WHEELDOWN = 12, EV_MODESWITCH = 13,
    EV_DROP = 14, EV_CLIPBOARD = 15, EV_MIDBUTTON = 16, EV_VANILLAKEY = 28, EV_RAWKEY = 29
};

// Property reads are bounded: a drop list of more than 4 MiB, or more than
// 256 offered types, is not read.
constexpr long kMaxDropLongs = (4L << 20) / 4;
constexpr long kMaxTypeAtoms = 256;

// Cursor slots of cxOsWindow.cursors.
enum { CUR_MOVE = 0, CUR_TL, CUR_TR, CUR_BL, CUR_BR, CUR_L, CUR_R, CUR_T, CUR_B };

void Post(cxOsDisplay *d, uint32_t type, uint32_t a, uint32_t b, uint32_t c) {
    PostEvent(d->owner, type, a, b, c, nullptr);
}

bool HasHandler(const cxOsDisplay *d, int handler) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    return h->hasHandler && h->hasHandler(d->owner, handler);
}

bool MonitorFree(cxOsDisplay *d) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    return !h->isDisplayMonitorFree || h->isDisplayMonitorFree(d->owner);
}

int PendingRefreshes(lua_State *L) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    return h->processPendingRefreshes ? h->processPendingRefreshes(L) : 0;
}

void RefreshWhole(lua_State *L, cxOsDisplay *d) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    if (h->refreshWholeDisplay) h->refreshWholeDisplay(L, d->owner, 2);
}

int SwitchMode(lua_State *L, cxOsDisplay *d) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    return h->realizeDisplay ? h->realizeDisplay(L, d->owner, 5) : 0;
}

int ResizeTo(lua_State *L, cxOsDisplay *d, int width, int height) {
    const cxOsDisplayHooks *h = OsGetDisplayHooks();
    if (h->resizeDisplay) return h->resizeDisplay(L, d->owner, 100000, 100000, width, height, d->smooth, 0, 0, 0);
    // Without the display library the window's inner size is the display's.
    if (width > 0) d->width = width;
    if (height > 0) d->height = height;
    return 0;
}

cxOsDisplay *FindDisplay(const cxOsXConnection *c, Window win) {
    for (cxOsDisplay *d = OsGetFirstWindowDisplay(); d; d = d->nextWithWindow) {
        cxOsWindow *w = OsGetDisplayWindow(d);
        if (w && w->dpy == c->dpy && w->window == win) return d;
    }
    return nullptr;
}

void SetKeyState(cxOsDisplay *d, int code, bool raw, bool down) {
    if (code <= 0 || code >= CX_KEY_STATE_COUNT) return;
    d->keyStates[(raw ? CX_KEY_STATE_COUNT : 0) + code] = down ? 1 : 0;
}

bool InRegion(const cxDisplayRegion *r, uint32_t count, int x, int y) {
    for (uint32_t i = 0; i < count && i < CX_MAX_DISPLAY_REGIONS; ++i)
        if (x >= r[i].x && y >= r[i].y && x < r[i].x + r[i].width && y < r[i].y + r[i].height) return true;
    return false;
}

void RootPosition(cxOsWindow *w, int *x, int *y) {
    Window child;
    XTranslateCoordinates(w->dpy, w->window, RootWindow(w->dpy, w->screen), 0, 0, x, y, &child);
}

void ShowCursor(cxOsWindow *w, int shape) {
    if (shape == w->cursorShape) return;
    w->cursorShape = shape;
    if (shape < 0) {
        XUndefineCursor(w->dpy, w->window);
        return;
    }
    static const unsigned fonts[] = {XC_fleur, XC_top_left_corner, XC_top_right_corner, XC_bottom_left_corner,
                                     XC_bottom_right_corner, XC_left_side, XC_right_side, XC_top_side,
                                     XC_bottom_side};
    if (!w->cursors[shape]) w->cursors[shape] = XCreateFontCursor(w->dpy, fonts[shape]);
    XDefineCursor(w->dpy, w->window, w->cursors[shape]);
}

int CursorOfEdge(int e) {
    switch (e) {
    case CX_EDGE_LEFT | CX_EDGE_TOP: return CUR_TL;
    case CX_EDGE_RIGHT | CX_EDGE_TOP: return CUR_TR;
    case CX_EDGE_LEFT | CX_EDGE_BOTTOM: return CUR_BL;
    case CX_EDGE_RIGHT | CX_EDGE_BOTTOM: return CUR_BR;
    case CX_EDGE_LEFT: return CUR_L;
    case CX_EDGE_RIGHT: return CUR_R;
    case CX_EDGE_TOP: return CUR_T;
    default: return CUR_B;
    }
}

// While sizing, the window's shape is one huge rectangle so that the old
// shape does not clip the growing window.
void SetSizingShape(cxOsWindow *w, bool on) {
    if (!w->conn->hasXfixes || !g_cxXfixes.SetWindowShapeRegion) return;
    constexpr int kBounding = 0, kInput = 2;
    if (on && g_cxXfixes.CreateRegion && g_cxXfixes.DestroyRegion) {
        XRectangle r = {0, 0, 16000, 16000};
        const unsigned long region = g_cxXfixes.CreateRegion(w->dpy, &r, 1);
        g_cxXfixes.SetWindowShapeRegion(w->dpy, w->window, kBounding, 0, 0, region);
        g_cxXfixes.SetWindowShapeRegion(w->dpy, w->window, kInput, 0, 0, region);
        g_cxXfixes.DestroyRegion(w->dpy, region);
    } else if (!on) {
        g_cxXfixes.SetWindowShapeRegion(w->dpy, w->window, kBounding, 0, 0, None);
        g_cxXfixes.SetWindowShapeRegion(w->dpy, w->window, kInput, 0, 0, None);
    }
}

void HandleKey(cxOsDisplay *d, cxOsWindow *w, XKeyEvent *ke, bool down) {
    char text[32];
    KeySym sym = NoSymbol;
    const int n = XLookupString(ke, text, sizeof text, &sym, nullptr);
    int raw = 0;
    const int mod = OsModifierOfKeySym(sym, &raw);
    if (mod >= 0) {
        w->modifiers[mod] = down ? 1 : 0;
        d->qualifiers = OsQualifiersOf(w->modifiers);
        SetKeyState(d, raw, true, down);
        Post(d, EV_RAWKEY, down, 0, uint32_t(raw));
        return;
    }
    int key = 0;
    if (OsTranslateKey(sym, XLookupKeysym(ke, 0), &key, &raw)) {
        if (key) {
            SetKeyState(d, key, false, down);
            Post(d, EV_KEY, down, 0, uint32_t(key));
        }
        if (raw) {
            SetKeyState(d, raw, true, down);
            Post(d, EV_RAWKEY, down, 0, uint32_t(raw));
        }
        if (down) w->lastRawKey = raw;
    }
    if (!down) return;
    const bool ctrl = w->modifiers[CX_MOD_LCONTROL] || w->modifiers[CX_MOD_RCONTROL];
    const bool alt = w->modifiers[CX_MOD_LALT] || w->modifiers[CX_MOD_RALT];
    if (ctrl && XLookupKeysym(ke, 0) == XK_c) w->turn.ctrlC = 1;
    if (alt && (sym == XK_Return || sym == XK_KP_Enter) && !(d->flags & CX_DISPLAY_NOMODESWITCH) &&
        MonitorFree(d))
        w->fullscreenToggle = d->fullscreen ? 0 : 1;

    // Characters typed.
    if (sym == XK_space) {
        Post(d, EV_VANILLAKEY, 0, 0, 32);
    } else if (w->ic) {
        wchar_t chars[16];
        Status status = 0;
        KeySym ignored;
        const int count = XwcLookupString(w->ic, ke, chars, 16, &ignored, &status);
        if (status == XLookupChars || status == XLookupBoth)
            for (int i = 0; i < count && i < 16; ++i)
                if (uint32_t(chars[i]) >= 32 && chars[i] != 127) Post(d, EV_VANILLAKEY, 0, 0, uint32_t(chars[i]));
    } else {
        // Without an input method the Latin-1 text of XLookupString serves.
        for (int i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 32 && c != 127) Post(d, EV_VANILLAKEY, 0, 0, c);
        }
    }
}

void StartDragOrSize(cxOsDisplay *d, cxOsWindow *w, XButtonEvent *be, bool *consumed) {
    *consumed = false;
    if (!(d->flags & CX_DISPLAY_BORDERLESS)) return;
    int width, height;
    OsGetWindowInnerSize(d, &width, &height);
    if ((d->flags & CX_DISPLAY_SIZEABLE) && InRegion(d->sizeRegions, d->sizeCount, be->x, be->y)) {
        int rx, ry;
        RootPosition(w, &rx, &ry);
        w->sizing = 1;
        w->sizeEdge = OsClassifyEdge(be->x, be->y, width, height);
        w->sizeStart[0] = rx;
        w->sizeStart[1] = ry;
        w->sizeStart[2] = width;
        w->sizeStart[3] = height;
        w->dragRootX = be->x_root;
        w->dragRootY = be->y_root;
        SetSizingShape(w, true);
        *consumed = true;
    } else if (!(d->flags & CX_DISPLAY_FIXED) && InRegion(d->dragRegions, d->dragCount, be->x, be->y)) {
        RootPosition(w, &w->dragWinX, &w->dragWinY);
        w->dragRootX = be->x_root;
        w->dragRootY = be->y_root;
        w->dragging = 1;
        *consumed = true;
    }
}

void HandleButton(cxOsDisplay *d, cxOsWindow *w, XButtonEvent *be, bool down) {
    if (down && !w->pointerGrabbed) {
        if (XGrabPointer(w->dpy, w->window, False, ButtonPressMask | ButtonReleaseMask | ButtonMotionMask,
                         GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess)
            w->pointerGrabbed = 1;
    }
    d->mouseX = be->x;
    d->mouseY = be->y;
    const uint32_t x = uint32_t(be->x), y = uint32_t(be->y);
    switch (be->button) {
    case Button1: {
        if (down) {
            bool consumed = false;
            StartDragOrSize(d, w, be, &consumed);
            if (consumed) break;
        } else if (w->dragging || w->sizing) {
            if (w->sizing) SetSizingShape(w, false);
            w->dragging = w->sizing = 0;
            break;
        }
        d->mouseButtons[0] = down;
        Post(d, EV_LEFTBUTTON, x, y, down);
        break;
    }
    case Button2:
        d->mouseButtons[2] = down;
        Post(d, EV_MIDBUTTON, x, y, down);
        break;
    case Button3:
        d->mouseButtons[1] = down;
        Post(d, EV_RIGHTBUTTON, x, y, down);
        break;
    case Button4:
        if (down) Post(d, EV_WHEELUP, x, y, 0);
        break;
    case Button5:
        if (down) Post(d, EV_WHEELDOWN, x, y, 0);
        break;
    default:
        break;
    }
    // The grab ends with the last button held.
    const unsigned held = be->state & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask);
    const unsigned self = be->button >= 1 && be->button <= 5 ? (Button1Mask << (be->button - 1)) : 0;
    if (!down && w->pointerGrabbed && (held & ~self) == 0) {
        XUngrabPointer(w->dpy, CurrentTime);
        w->pointerGrabbed = 0;
    }
}

void HandleMotion(cxOsDisplay *d, cxOsWindow *w, XMotionEvent *me) {
    OsGetSysTime(&d->pointerTime);
    d->pointerMoved = 1;
    d->mouseX = me->x;
    d->mouseY = me->y;
    if (w->dragging || w->sizing) {
        XEvent skip;
        while (XCheckTypedWindowEvent(w->dpy, w->window, MotionNotify, &skip)) {
        }
        Window root, child;
        int rx, ry, wx, wy;
        unsigned mask;
        if (!XQueryPointer(w->dpy, w->window, &root, &child, &rx, &ry, &wx, &wy, &mask)) return;
        d->mouseX = wx;
        d->mouseY = wy;
        if (w->dragging) {
            XMoveWindow(w->dpy, w->window, w->dragWinX + rx - w->dragRootX, w->dragWinY + ry - w->dragRootY);
        } else {
            int r[4];
            OsSizingRect(w->sizeStart, w->sizeEdge, rx - w->dragRootX, ry - w->dragRootY, r);
            XMoveResizeWindow(w->dpy, w->window, r[0], r[1], unsigned(r[2]), unsigned(r[3]));
        }
        return;
    }
    if (!(d->flags & CX_DISPLAY_BORDERLESS)) return;
    int width, height;
    OsGetWindowInnerSize(d, &width, &height);
    if ((d->flags & CX_DISPLAY_SIZEABLE) && InRegion(d->sizeRegions, d->sizeCount, me->x, me->y))
        ShowCursor(w, CursorOfEdge(OsClassifyEdge(me->x, me->y, width, height)));
    else if (!(d->flags & CX_DISPLAY_FIXED) && InRegion(d->dragRegions, d->dragCount, me->x, me->y))
        ShowCursor(w, CUR_MOVE);
    else
        ShowCursor(w, -1);
}

void SendClientMessage(cxOsWindow *w, Window to, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.display = w->dpy;
    ev.xclient.window = to;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(w->dpy, to, False, NoEventMask, &ev);
}

void HandleClientMessage(cxOsDisplay *d, cxOsWindow *w, XClientMessageEvent *cm) {
    const cxOsXAtoms &a = w->conn->atoms;
    if (cm->message_type == a.wmProtocols && Atom(cm->data.l[0]) == a.wmDeleteWindow) {
        Post(d, EV_CLOSE, 0, 0, 0);
        w->closeRequested = 1;
        d->closeRequested = 1;
        OsGetSysTime(&d->closeTime);
    } else if (cm->message_type == a.xdndEnter) {
        w->dndSource = Window(cm->data.l[0]);
        w->dndType = None;
        if (cm->data.l[1] & 1) {
            Atom type;
            int format;
            unsigned long count = 0, after = 0;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(w->dpy, w->dndSource, a.xdndTypeList, 0, kMaxTypeAtoms, False, XA_ATOM, &type,
                                   &format, &count, &after, &data) == Success &&
                data) {
                if (type == XA_ATOM && format == 32) {
                    const Atom *atoms = reinterpret_cast<const Atom *>(data);
                    for (unsigned long i = 0; i < count; ++i)
                        if (atoms[i] == a.uriList) w->dndType = a.uriList;
                }
                XFree(data);
            }
        } else {
            for (int i = 2; i <= 4; ++i)
                if (Atom(cm->data.l[i]) == a.uriList) w->dndType = a.uriList;
        }
    } else if (cm->message_type == a.xdndPosition) {
        w->dndSource = Window(cm->data.l[0]);
        const int rootX = int((cm->data.l[2] >> 16) & 0xFFFF), rootY = int(cm->data.l[2] & 0xFFFF);
        int rx, ry;
        RootPosition(w, &rx, &ry);
        w->dropX = rootX - rx;
        w->dropY = rootY - ry;
        const bool accept = w->dndType != None && HasHandler(d, CX_OS_HANDLER_DROP);
        SendClientMessage(w, w->dndSource, a.xdndStatus, long(w->window), accept ? 1 : 0, 0, 0,
                          accept ? long(a.xdndActionCopy) : long(None));
    } else if (cm->message_type == a.xdndDrop) {
        w->dndSource = Window(cm->data.l[0]);
        if (w->dndType != None && HasHandler(d, CX_OS_HANDLER_DROP)) {
            XConvertSelection(w->dpy, a.xdndSelection, w->dndType, a.dropProperty, w->window, Time(cm->data.l[2]));
        } else {
            SendClientMessage(w, w->dndSource, a.xdndFinished, long(w->window), 0, long(None), 0, 0);
        }
    } else if (cm->message_type == a.xdndLeave) {
        w->dndType = None;
        w->dndSource = None;
    }
}

void HandleDropData(cxOsDisplay *d, cxOsWindow *w, XSelectionEvent *se) {
    const cxOsXAtoms &a = w->conn->atoms;
    bool ok = false;
    if (se->property != None) {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(w->dpy, w->window, se->property, 0, kMaxDropLongs, True, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data) {
            // A list cut by the bound would name a wrong last file: refuse it.
            if (format == 8 && after == 0) {
                char *list = OsDecodeUriList(reinterpret_cast<const char *>(data), count, GetUtf8Mode(),
                                             nullptr);
                if (list) {
                    if (PostEvent(d->owner, EV_DROP, uint32_t(w->dropX), uint32_t(w->dropY), 0, list) == 1)
                        ok = true;
                    else
                        free(list);
                }
            }
            XFree(data);
        }
    }
    if (w->dndSource)
        SendClientMessage(w, w->dndSource, a.xdndFinished, long(w->window), ok ? 1 : 0,
                          ok ? long(a.xdndActionCopy) : long(None), 0, 0);
    w->dndSource = None;
    w->dndType = None;
}

void HandleEvent(cxOsXConnection *c, XEvent *ev) {
    if (XFilterEvent(ev, None)) return;
    cxOsDisplay *d = FindDisplay(c, ev->xany.window);
    if (!d) return;
    cxOsWindow *w = OsGetDisplayWindow(d);
    switch (ev->type) {
    case KeyPress:
    case KeyRelease:
        HandleKey(d, w, &ev->xkey, ev->type == KeyPress);
        break;
    case ButtonPress:
    case ButtonRelease:
        HandleButton(d, w, &ev->xbutton, ev->type == ButtonPress);
        break;
    case MotionNotify:
        HandleMotion(d, w, &ev->xmotion);
        break;
    case FocusIn:
        if (ev->xfocus.mode != NotifyNormal) break;
        if (w->ic) XSetICFocus(w->ic);
        Post(d, EV_ACTIVE, 0, 0, 0);
        d->active = 1;
        break;
    case FocusOut:
        if (ev->xfocus.mode != NotifyNormal) break;
        if (w->ic) XUnsetICFocus(w->ic);
        Post(d, EV_INACTIVE, 0, 0, 0);
        d->active = 0;
        // Keys released elsewhere never report here: forget them all.
        memset(d->keyStates, 0, sizeof d->keyStates);
        memset(w->modifiers, 0, sizeof w->modifiers);
        d->qualifiers = OsQualifiersOf(w->modifiers);
        break;
    case Expose:
        if (ev->xexpose.count != 0) break;
        if (w->sizing) {  // button 1 is held while sizing
            XSetForeground(w->dpy, w->gc, BlackPixel(w->dpy, w->screen));
            XSetClipMask(w->dpy, w->gc, None);
            XFillRectangle(w->dpy, w->window, w->gc, ev->xexpose.x, ev->xexpose.y, unsigned(ev->xexpose.width),
                           unsigned(ev->xexpose.height));
        } else {
            w->needsRedraw = 1;
        }
        break;
    case UnmapNotify:
        Post(d, EV_HIDE, 0, 0, 0);
        d->state = CX_DISPLAY_MINIMISED;
        break;
    case MapNotify:
        Post(d, EV_SHOW, 0, 0, 0);
        d->state = CX_DISPLAY_SHOWN;
        break;
    case ConfigureNotify: {
        d->x = ev->xconfigure.x - d->borderLeft;
        d->y = ev->xconfigure.y - d->borderTop;
        int width, height;
        OsGetWindowInnerSize(d, &width, &height);
        if (ev->xconfigure.width == width && ev->xconfigure.height == height) {
            Post(d, EV_MOVE, uint32_t(d->x), uint32_t(d->y), 0);
        } else {
            w->sizeChangePending = 1;
            w->newWidth = ev->xconfigure.width;
            w->newHeight = ev->xconfigure.height;
        }
        break;
    }
    case SelectionNotify:
        if (ev->xselection.target == w->conn->atoms.uriList && ev->xselection.selection == w->conn->atoms.xdndSelection)
            HandleDropData(d, w, &ev->xselection);
        break;
    case ClientMessage:
        HandleClientMessage(d, w, &ev->xclient);
        break;
    default:
        if (c->hasXfixes && ev->type == c->xfixesEventBase /* XFixesSelectionNotify */ &&
            HasHandler(d, CX_OS_HANDLER_CLIPBOARD))
            Post(d, EV_CLIPBOARD, 0, 0, 0);
        break;
    }
}

uint32_t MicrosSince(const cxOsTimeVal &since) {
    cxOsTimeVal now;
    OsGetMonotonicTime(&now);
    OsSubTime(&now, &since);
    return now.seconds >= 4000 ? 0xFFFFFFFFu : now.seconds * 1000000u + now.microseconds;
}
}  // namespace

extern "C" int OsHandleEvents(lua_State *L, int *code) {
    *code = 0;
    cxOsWakeMessage msg;
    while (OsReadWakeMessage(&msg)) {
        // Type 1: fired timers wait in the timer list for the dispatcher.
        if (msg.type == CX_WAKE_POINTER) {
            auto *conn = reinterpret_cast<cxOsXConnection *>(uintptr_t(msg.argument));
            for (cxOsDisplay *d = OsGetFirstWindowDisplay(); d; d = d->nextWithWindow) {
                cxOsWindow *w = OsGetDisplayWindow(d);
                if (w && w->conn == conn && d->active) {
                    OsGetSysTime(&d->pointerTime);
                    d->pointerMoved = 1;
                }
            }
        }
    }
    CxReleaseFinishedChannels();

    for (cxOsDisplay *d = OsGetFirstWindowDisplay(); d; d = d->nextWithWindow) {
        auto *w = static_cast<cxOsWindow *>(d->handle);
        if (!w) continue;
        memset(&w->turn, 0, sizeof w->turn);
        w->turn.pendingShowHide = -1;
        w->lastRawKey = -1;
        w->fullscreenToggle = -1;
        w->needsRedraw = 0;
        w->visited = 1;
    }
    if (int err = PendingRefreshes(L)) {
        *code = err;
        return 1;
    }

    cxOsTimeVal start;
    OsGetMonotonicTime(&start);
    for (cxOsXConnection *c = OsGetXConnections(); c; c = c->next) {
        while (!c->lost && XPending(c->dpy) > 0) {
            if (MicrosSince(start) > CX_PUMP_BUDGET_US) {
                OsSetEventsPending(1);
                break;
            }
            XEvent ev;
            XNextEvent(c->dpy, &ev);
            HandleEvent(c, &ev);
        }
    }
    // The connections are read: the line-hook pulse may watch them again.
    OsNoteInputTurn();
    if (OsXConnectionLost()) {
        *code = ERR_XDISPLAY;
        return 1;
    }

    bool quit = false;
    for (cxOsDisplay *d = OsGetFirstWindowDisplay(); d; d = d->nextWithWindow) {
        cxOsWindow *w = OsGetDisplayWindow(d);
        if (!w || !w->visited) continue;
        w->visited = 0;
        if (w->needsRedraw) RefreshWhole(L, d);
        if (w->turn.pendingShowHide >= 0) {
            OsShowHideDisplay(d, w->turn.pendingShowHide);
            d->state = w->turn.pendingShowHide ? CX_DISPLAY_MINIMISED : CX_DISPLAY_SHOWN;
        }
        if (w->fullscreenToggle >= 0) {
            const int err = SwitchMode(L, d);
            int width, height;
            OsGetWindowInnerSize(d, &width, &height);
            Post(d, EV_MODESWITCH, uint32_t(width), uint32_t(height), d->fullscreen ? 2 : 1);
            if (err) {
                *code = err;
                return 1;
            }
        }
        if (w->sizeChangePending && !d->mouseButtons[0] && !w->sizing) {
            w->sizeChangePending = 0;
            // A configure event can be older than the program's own resize
            // (a move queued before it): the server's present size decides.
            XWindowAttributes now;
            int width = 0, height = 0;
            OsGetWindowInnerSize(d, &width, &height);
            if (XGetWindowAttributes(w->dpy, w->window, &now)) {
                w->newWidth = now.width;
                w->newHeight = now.height;
            }
            if (w->newWidth != width || w->newHeight != height) {
                Post(d, EV_SIZE, uint32_t(w->newWidth), uint32_t(w->newHeight), 0);
                if (int err = ResizeTo(L, d, w->newWidth, w->newHeight)) {
                    *code = err;
                    return 1;
                }
            }
        }
        if ((w->turn.ctrlC && OsGetDisplayAttr(8)) || (d->mouseButtons[0] && OsGetDisplayAttr(9)) ||
            (w->lastRawKey == CX_KEY_ESC && OsGetDisplayAttr(10)) ||
            (w->closeRequested && !HasHandler(d, CX_OS_HANDLER_CLOSE)))
            quit = true;
    }
    if (quit) CxSetQuitFlag();
    if (OsGetQuitFlag()) {
        SetUserAbortFlag(1);
        return 1;
    }
    return 0;
}
