#include "window/x11/x11_monitors.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <cstdlib>
#include <vector>

#include "window/x11/runtime_libs.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"

namespace {

// The RandR records this file reads, in the layout of libXrandr's public
// interface (its headers need not be installed to load the library).
typedef XID RRMode;
typedef XID RROutput;
typedef XID RRCrtc;

struct RandrMonitorInfo {
    Atom name;
    Bool primary;
    Bool automatic;
    int noutput;
    int x, y, width, height;
    int mwidth, mheight;
    RROutput *outputs;
};

struct RandrModeInfo {
    RRMode id;
    unsigned int width, height;
    unsigned long dotClock;
    unsigned int hSyncStart, hSyncEnd, hTotal, hSkew;
    unsigned int vSyncStart, vSyncEnd, vTotal;
    char *name;
    unsigned int nameLength;
    unsigned long modeFlags;
};

struct RandrScreenResources {
    Time timestamp, configTimestamp;
    int ncrtc;
    RRCrtc *crtcs;
    int noutput;
    RROutput *outputs;
    int nmode;
    RandrModeInfo *modes;
};

struct RandrCrtcInfo {
    Time timestamp;
    int x, y;
    unsigned int width, height;
    RRMode mode;
    unsigned short rotation;
    int noutput;
    RROutput *outputs;
    unsigned short rotations;
    int npossible;
    RROutput *possible;
};

struct RandrApi {
    void *handle = nullptr;
    bool tried = false;
    Bool (*QueryExtension)(Display *, int *, int *) = nullptr;
    Status (*QueryVersion)(Display *, int *, int *) = nullptr;
    RandrMonitorInfo *(*GetMonitors)(Display *, Window, Bool, int *) = nullptr;
    void (*FreeMonitors)(RandrMonitorInfo *) = nullptr;
    RandrScreenResources *(*GetScreenResources)(Display *, Window) = nullptr;
    void (*FreeScreenResources)(RandrScreenResources *) = nullptr;
    RandrScreenResources *(*GetScreenResourcesCurrent)(Display *, Window) = nullptr;
    RandrCrtcInfo *(*GetCrtcInfo)(Display *, RandrScreenResources *, RRCrtc) = nullptr;
    void (*FreeCrtcInfo)(RandrCrtcInfo *) = nullptr;
};

RandrApi g_randr;
bool g_disabled = false;

const RandrApi *Randr() {
    if (g_disabled) return nullptr;
    if (!g_randr.tried) {
        g_randr.tried = true;
        static const char *const names[] = {"libXrandr.so.2", "libXrandr.so", nullptr};
        const cxLibFunction fns[] = {
            {"XRRQueryExtension", reinterpret_cast<void **>(&g_randr.QueryExtension)},
            {"XRRQueryVersion", reinterpret_cast<void **>(&g_randr.QueryVersion)},
            {"XRRGetMonitors", reinterpret_cast<void **>(&g_randr.GetMonitors)},
            {"XRRFreeMonitors", reinterpret_cast<void **>(&g_randr.FreeMonitors)},
            {"XRRGetScreenResources", reinterpret_cast<void **>(&g_randr.GetScreenResources)},
            {"XRRFreeScreenResources", reinterpret_cast<void **>(&g_randr.FreeScreenResources)},
        };
        g_randr.handle = OsLoadLibraryFunctions(names, fns, int(sizeof fns / sizeof fns[0]));
        if (g_randr.handle) {
            // Not needed for monitors and modes: looked up apart.
            g_randr.GetScreenResourcesCurrent = reinterpret_cast<decltype(g_randr.GetScreenResourcesCurrent)>(
                dlsym(g_randr.handle, "XRRGetScreenResourcesCurrent"));
            g_randr.GetCrtcInfo =
                reinterpret_cast<decltype(g_randr.GetCrtcInfo)>(dlsym(g_randr.handle, "XRRGetCrtcInfo"));
            g_randr.FreeCrtcInfo =
                reinterpret_cast<decltype(g_randr.FreeCrtcInfo)>(dlsym(g_randr.handle, "XRRFreeCrtcInfo"));
        }
    }
    return g_randr.handle ? &g_randr : nullptr;
}

bool HasRandr(Display *dpy, const RandrApi *api, int wantMinor) {
    int ev, err, major = 0, minor = 0;
    if (!api || !api->QueryExtension || !api->QueryVersion || !api->QueryExtension(dpy, &ev, &err)) return false;
    if (!api->QueryVersion(dpy, &major, &minor)) return false;
    return major > 1 || (major == 1 && minor >= wantMinor);
}

cxOsMonitor *NewMonitor(int x, int y, int width, int height) {
    auto *m = static_cast<cxOsMonitor *>(calloc(1, sizeof(cxOsMonitor)));
    if (!m) return nullptr;
    m->x = x;
    m->y = y;
    m->width = width;
    m->height = height;
    return m;
}

int ScreenDepth(Display *dpy) {
    const int depth = DefaultDepth(dpy, DefaultScreen(dpy));
    return depth == 24 ? 32 : depth;
}

}  // namespace

extern "C" void OsSetRandrDisabled(int disabled) { g_disabled = disabled != 0; }

extern "C" cxOsMonitor *OsListDisplayMonitors(const char *xserver) {
    cxOsXConnection *c = OsOpenXConnection(xserver);
    if (!c) return nullptr;
    Display *dpy = c->dpy;
    const int screen = DefaultScreen(dpy);
    cxOsMonitor *head = nullptr, **tail = &head;
    bool failed = false;
    const RandrApi *api = Randr();
    if (api && api->GetMonitors && api->FreeMonitors && HasRandr(dpy, api, 5)) {
        int count = 0;
        RandrMonitorInfo *info = api->GetMonitors(dpy, RootWindow(dpy, screen), True, &count);
        for (int i = 0; info && i < count && !failed; ++i) {
            if (info[i].width <= 0 || info[i].height <= 0) continue;
            *tail = NewMonitor(info[i].x, info[i].y, info[i].width, info[i].height);
            if (!*tail) failed = true;
            else tail = &(*tail)->next;
        }
        if (info) api->FreeMonitors(info);
    }
    if (!head && !failed) head = NewMonitor(0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen));
    OsReleaseXConnection(c);
    if (failed) {
        OsFreeMonitorList(head);
        return nullptr;
    }
    return head;
}

extern "C" void OsFreeMonitorList(cxOsMonitor *list) {
    while (list) {
        cxOsMonitor *next = list->next;
        free(list);
        list = next;
    }
}

extern "C" int OsGetMonitorModes(const char *xserver, int monitor, cxOsDisplayMode *entries, int capacity) {
    (void)monitor;  // RandR's mode list is the screen's: every monitor offers it
    cxOsXConnection *c = OsOpenXConnection(xserver);
    if (!c) return -1;
    Display *dpy = c->dpy;
    const int screen = DefaultScreen(dpy);
    const int depth = ScreenDepth(dpy);
    std::vector<cxOsDisplayMode> modes;
    auto add = [&](int width, int height, int refresh) {
        for (const cxOsDisplayMode &m : modes)
            if (m.width == width && m.height == height) return;
        modes.push_back(cxOsDisplayMode{width, height, depth, refresh, 0});
    };
    const RandrApi *api = Randr();
    if (api && api->GetScreenResources && api->FreeScreenResources && HasRandr(dpy, api, 2)) {
        if (RandrScreenResources *res = api->GetScreenResources(dpy, RootWindow(dpy, screen))) {
            for (int i = 0; i < res->nmode; ++i) {
                const RandrModeInfo &m = res->modes[i];
                if (!m.width || !m.height) continue;
                int refresh = 0;
                if (m.hTotal && m.vTotal) refresh = int(double(m.dotClock) / (double(m.hTotal) * m.vTotal) + 0.5);
                add(int(m.width), int(m.height), refresh);
            }
            api->FreeScreenResources(res);
        }
    }
    if (modes.empty()) add(DisplayWidth(dpy, screen), DisplayHeight(dpy, screen), 0);
    OsReleaseXConnection(c);
    if (entries)
        for (int i = 0; i < int(modes.size()) && i < capacity; ++i) entries[i] = modes[size_t(i)];
    return int(modes.size());
}

extern "C" double OsGetDisplayRefreshRate(const cxOsDisplay *d) {
    cxOsWindow *w = d ? OsGetDisplayWindow(d) : nullptr;
    if (w && !w->conn) w = nullptr;
    cxOsXConnection *c = OsOpenXConnection(w ? w->conn->name : d ? d->xserver : nullptr);
    if (!c) return 0;
    Display *dpy = c->dpy;
    const Window root = RootWindow(dpy, DefaultScreen(dpy));
    // The middle of the window, in the screen's coordinates.
    int px = 0, py = 0;
    bool placed = false;
    XWindowAttributes a;
    Window child;
    if (w && !c->lost && XGetWindowAttributes(dpy, w->window, &a) &&
        XTranslateCoordinates(dpy, w->window, root, a.width / 2, a.height / 2, &px, &py, &child))
        placed = true;
    double rate = 0;
    const RandrApi *api = Randr();
    if (!c->lost && api && api->GetCrtcInfo && api->FreeCrtcInfo && api->FreeScreenResources &&
        HasRandr(dpy, api, 2)) {
        auto get = api->GetScreenResourcesCurrent ? api->GetScreenResourcesCurrent : api->GetScreenResources;
        if (RandrScreenResources *res = get ? get(dpy, root) : nullptr) {
            for (int i = 0; i < res->ncrtc; ++i) {
                RandrCrtcInfo *crtc = api->GetCrtcInfo(dpy, res, res->crtcs[i]);
                if (!crtc) continue;
                const bool lit = crtc->mode != 0 && crtc->width && crtc->height;
                const bool under = !placed || (px >= crtc->x && py >= crtc->y && px < crtc->x + int(crtc->width) &&
                                               py < crtc->y + int(crtc->height));
                double hz = 0;
                for (int m = 0; lit && under && m < res->nmode; ++m) {
                    const RandrModeInfo &mode = res->modes[m];
                    if (mode.id != crtc->mode || !mode.hTotal || !mode.vTotal) continue;
                    hz = double(mode.dotClock) / (double(mode.hTotal) * mode.vTotal);
                    if (mode.modeFlags & 0x10) hz *= 2; // interlaced
                    if (mode.modeFlags & 0x20) hz /= 2; // double scan
                }
                api->FreeCrtcInfo(crtc);
                if (hz > 0) {
                    rate = hz;
                    break;
                }
            }
            api->FreeScreenResources(res);
        }
    }
    OsReleaseXConnection(c);
    return rate;
}
