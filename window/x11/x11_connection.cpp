#include "window/x11/x11_connection.h"

#include <X11/Xlocale.h>
#include <pthread.h>
#include <X11/Xutil.h>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os_wake.h"
#include "window/x11/runtime_libs.h"

namespace {
cxOsXConnection *g_connections = nullptr;
// The default server's connection, held from the start to the stop: a
// server started for the player alone resets when its last client goes,
// and would refuse the next connection for a moment.
cxOsXConnection *g_held = nullptr;
bool g_started = false;
int g_lastError = 0;

// Protocol errors (a window that went away, a refused grab) must not end the
// run: they are noted and the operation is treated as not done.
int ErrorHandler(Display *, XErrorEvent *e) {
    g_lastError = e->error_code;
    return 0;
}

bool g_lost = false;

// The server went away or closed the connection. Xlib would end the
// process here; the connection is marked instead (Xlib then does nothing
// more on it) and the pump ends the run with the normal clean-up.
int IOErrorHandler(Display *dpy) {
    g_lost = true;
    for (cxOsXConnection *c = g_connections; c; c = c->next)
        if (c->dpy == dpy && !c->lost) {
            c->lost = 1;
            OsUnwatchDescriptor(ConnectionNumber(dpy));
        }
    OsPostWakeMessage(CX_WAKE_PLAIN, 0);
    return 0;
}

// Called where Xlib would exit: returning keeps the process.
void IOErrorExit(Display *, void *) {}

// The extension libraries, loaded when the first display opens: an applet
// without one does not pay for them.
bool g_prepared = false;
void PrepareForDisplays() {
    if (g_prepared) return;
    g_prepared = true;
    OsLoadRuntimeLibraries();
}

// The input method follows the user's character type; nothing else of the
// C locale changes. Set once, before the first input method opens.
bool g_localeSet = false;

void InternAtoms(cxOsXConnection *c) {
    static const char *const names[] = {
        "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_MOTIF_WM_HINTS", "_NET_WM_NAME", "UTF8_STRING", "TARGETS",
        "XdndAware", "XdndEnter", "XdndPosition", "XdndStatus", "XdndLeave", "XdndDrop", "XdndFinished",
        "XdndTypeList", "XdndSelection", "XdndActionCopy", "text/uri-list", "CX_DROP_DATA", "CLIPBOARD"};
    constexpr int n = int(sizeof names / sizeof names[0]);
    static_assert(sizeof(cxOsXAtoms) == n * sizeof(Atom));
    XInternAtoms(c->dpy, const_cast<char **>(names), n, False, reinterpret_cast<Atom *>(&c->atoms));
}
// The thread check: Xlib calls a connection's after-function at the end
// of every call that sends a request.
std::atomic<bool> g_threadCheck{false};
pthread_t g_checkThread;
std::atomic<long> g_offThread{0};

int AfterRequest(Display *) {
    if (g_threadCheck.load(std::memory_order_acquire) && !pthread_equal(pthread_self(), g_checkThread)) {
        if (g_offThread.fetch_add(1) == 0) fprintf(stderr, "X request sent off the main thread\n");
    }
    return 0;
}

void WatchRequests(Display *dpy, bool on) { XSetAfterFunction(dpy, on ? AfterRequest : nullptr); }
}  // namespace

extern "C" void OsSetXThreadCheck(int on) {
    if (on) {
        g_checkThread = pthread_self();
        g_offThread.store(0);
    }
    g_threadCheck.store(on != 0, std::memory_order_release);
    for (cxOsXConnection *c = g_connections; c; c = c->next)
        if (!c->lost) WatchRequests(c->dpy, on != 0);
}

extern "C" long OsXRequestsOffThread(void) { return g_offThread.load(); }

extern "C" int OsStartX11(void) {
    if (!g_started) {
        XInitThreads();
        XSetErrorHandler(ErrorHandler);
        XSetIOErrorHandler(IOErrorHandler);
        g_started = true;
    }
    if (!g_held) g_held = OsOpenXConnection(nullptr);
    return g_held != nullptr;
}

extern "C" void OsStopX11(void) {
    g_held = nullptr;
    while (g_connections) {
        g_connections->refs = 1;
        OsReleaseXConnection(g_connections);
    }
    OsFreeRuntimeLibraries();
    g_prepared = false;
    g_localeSet = false;
    g_started = false;
    g_lost = false;
}

extern "C" cxOsXConnection *OsOpenXConnection(const char *name) {
    if (!name) name = "";
    for (cxOsXConnection *c = g_connections; c; c = c->next) {
        if (strcmp(c->name, name) == 0) {
            ++c->refs;
            return c;
        }
    }
    Display *dpy = XOpenDisplay(name[0] ? name : nullptr);
    if (!dpy) return nullptr;
    PrepareForDisplays();
    auto *c = static_cast<cxOsXConnection *>(calloc(1, sizeof(cxOsXConnection)));
    if (!c) {
        XCloseDisplay(dpy);
        return nullptr;
    }
    XSetIOErrorExitHandler(dpy, IOErrorExit, nullptr);
    if (g_threadCheck.load(std::memory_order_acquire)) WatchRequests(dpy, true);
    c->dpy = dpy;
    strncpy(c->name, name, sizeof c->name - 1);
    c->refs = 1;
    InternAtoms(c);
    int errorBase = 0;
    if (g_cxXfixes.QueryExtension && g_cxXfixes.QueryExtension(dpy, &c->xfixesEventBase, &errorBase)) {
        int major = 5, minor = 0;
        if (g_cxXfixes.QueryVersion) g_cxXfixes.QueryVersion(dpy, &major, &minor);
        c->hasXfixes = 1;
    }
    OsWatchDescriptor(ConnectionNumber(dpy));
    cxOsXConnection **p = &g_connections;
    while (*p) p = &(*p)->next;
    *p = c;
    return c;
}

extern "C" void OsReleaseXConnection(cxOsXConnection *c) {
    if (!c || --c->refs > 0) return;
    for (cxOsXConnection **p = &g_connections; *p; p = &(*p)->next) {
        if (*p == c) {
            *p = c->next;
            break;
        }
    }
    if (!c->lost) {
        OsUnwatchDescriptor(ConnectionNumber(c->dpy));
        if (c->im) XCloseIM(c->im);
    }
    XCloseDisplay(c->dpy);
    free(c);
}

extern "C" XIM OsGetInputMethod(cxOsXConnection *c) {
    if (!c || c->lost) return nullptr;
    if (!c->imTried) {
        c->imTried = 1;
        if (!g_localeSet) {
            g_localeSet = true;
            setlocale(LC_CTYPE, "");
            if (XSupportsLocale()) XSetLocaleModifiers("");
        }
        c->im = XOpenIM(c->dpy, nullptr, nullptr, nullptr);
    }
    return c->im;
}

extern "C" cxOsXConnection *OsGetXConnections(void) { return g_connections; }

extern "C" int OsXConnectionLost(void) { return g_lost; }

extern "C" int OsTakeLastXError(void) {
    const int e = g_lastError;
    g_lastError = 0;
    return e;
}
