#include "display/monitors.h"

#include <algorithm>
#include <cstdlib>

#include "display/adapter.h"
#include "display/backend.h"
#include "display/display_record.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/geometry/geometry.h"

namespace {

template <class F>
F Hook(cxPluginFunc slot) {
    return reinterpret_cast<F>(slot);
}

cxPlugin *MonitorAdapter() {
    cxPlugin *a = GetDisplayAdapter();
    return a && (a->displayFlags & CX_DISPLAY_MONITORS) ? a : nullptr;
}

int64_t Overlap(const cxOsMonitor *m, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t x0 = std::max<int64_t>(m->x, x), y0 = std::max<int64_t>(m->y, y);
    const int64_t x1 = std::min<int64_t>(int64_t(m->x) + m->width, int64_t(x) + w);
    const int64_t y1 = std::min<int64_t>(int64_t(m->y) + m->height, int64_t(y) + h);
    return x1 > x0 && y1 > y0 ? (x1 - x0) * (y1 - y0) : 0;
}

void WindowRect(const cxDisplay *d, int32_t *w, int32_t *h) {
    *w = (d->os.windowWidth > 0 ? d->os.windowWidth : d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width) +
         d->os.borderWidth;
    *h = (d->os.windowHeight > 0 ? d->os.windowHeight : d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height) +
         d->os.borderHeight;
}

}  // namespace

extern "C" cxOsMonitor *GetMonitorList(const cxDisplay *d) {
    if (cxPlugin *a = MonitorAdapter()) {
        void *info = nullptr;
        CallPluginEntry(a, Hook<cxAdapterGetMonitorInfo>(a->GetMonitorInfo), 0, d ? d->monitor : 0, &info);
        if (!info) return nullptr;
        cxOsMonitor *head = nullptr, **tail = &head;
        // The adapter's list ends with a zero width or height; a list that
        // runs on is cut at a sane count.
        const auto *m = static_cast<const cxAdapterMonitor *>(info);
        for (int i = 0; i < 64 && m[i].width && m[i].height; ++i) {
            auto *node = static_cast<cxOsMonitor *>(calloc(1, sizeof(cxOsMonitor)));
            if (!node) break;
            node->x = m[i].x;
            node->y = m[i].y;
            node->width = m[i].width;
            node->height = m[i].height;
            *tail = node;
            tail = &node->next;
        }
        FreeAdapterMonitorInfo(0, info);
        return head;
    }
    return OsListDisplayMonitors(d ? d->os.xserver : nullptr);
}

extern "C" int CountMonitors(void) {
    cxOsMonitor *list = GetMonitorList(GetCurrentDisplay());
    int n = 0;
    for (cxOsMonitor *m = list; m; m = m->next) ++n;
    OsFreeMonitorList(list);
    return n;
}

extern "C" int GetDisplayMonitorInfo(const cxDisplay *d, int32_t *x, int32_t *y, int32_t *width, int32_t *height) {
    cxOsMonitor *list = GetMonitorList(d);
    const cxOsMonitor *m = list;
    for (int i = 0; m && i < (d ? d->monitor : 0); ++i) m = m->next;
    if (!m) m = list;  // a monitor that has gone: the first one
    if (!m) return ERR_GETMONITORINFO;
    *x = m->x;
    *y = m->y;
    *width = m->width;
    *height = m->height;
    OsFreeMonitorList(list);
    return 0;
}

extern "C" int FindMonitorOfWindow(const cxDisplay *d) {
    cxOsMonitor *list = GetMonitorList(d);
    int32_t w, h;
    WindowRect(d, &w, &h);
    int found = 0, i = 0;
    for (cxOsMonitor *m = list; m; m = m->next, ++i)
        if (Overlap(m, d->os.x, d->os.y, w, h) > 0) found = i;
    OsFreeMonitorList(list);
    return found;
}

extern "C" int FindBestMonitor(const cxDisplay *d) {
    cxOsMonitor *list = GetMonitorList(d);
    int32_t w, h;
    WindowRect(d, &w, &h);
    int best = 0, i = 0;
    int64_t bestArea = 0;
    for (cxOsMonitor *m = list; m; m = m->next, ++i) {
        const int64_t area = Overlap(m, d->os.x, d->os.y, w, h);
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    OsFreeMonitorList(list);
    return best;
}

extern "C" int IsDisplayMonitorFree(cxDisplay *d) {
    if (!d || d->backfillWindow || d->resourceMonitor) return 0;
    if (d->os.fullscreen) return 1;
    const int monitor = FindMonitorOfWindow(d);
    for (cxDisplay *o = GetFirstDisplay(); o; o = GetNextDisplay(o))
        if (o != d && o->os.fullscreen && o->os.state != CX_DISPLAY_CLOSED && o->monitor == monitor) return 0;
    return 1;
}

extern "C" int GetDisplayModeList(const cxDisplay *d, cxDisplayModeEntry **entries, int *count) {
    *entries = nullptr;
    *count = 0;
    cxDisplayModeEntry *out = nullptr;
    int n = 0;
    if (cxPlugin *a = MonitorAdapter()) {
        void *info = nullptr;
        CallPluginEntry(a, Hook<cxAdapterGetMonitorInfo>(a->GetMonitorInfo), 1, d ? d->monitor : 0, &info);
        const auto *m = static_cast<const cxAdapterMode *>(info);
        while (m && n < 4096 && m[n].width && m[n].height) ++n;
        if (n == 0) {
            if (info) FreeAdapterMonitorInfo(1, info);
            return ERR_NODISPMODES;
        }
        out = static_cast<cxDisplayModeEntry *>(calloc(size_t(n), sizeof(cxDisplayModeEntry)));
        if (out)
            for (int i = 0; i < n; ++i) out[i] = {m[i].width, m[i].height, m[i].depth, 0, 0};
        FreeAdapterMonitorInfo(1, info);
        if (!out) return ERR_MEM;
    } else {
        const char *server = d ? d->os.xserver : nullptr;
        const int monitor = d ? d->monitor : 0;
        n = OsGetMonitorModes(server, monitor, nullptr, 0);
        if (n <= 0) return ERR_NODISPMODES;
        out = static_cast<cxDisplayModeEntry *>(calloc(size_t(n), sizeof(cxDisplayModeEntry)));
        if (!out) return ERR_MEM;
        n = std::min(n, OsGetMonitorModes(server, monitor, reinterpret_cast<cxOsDisplayMode *>(out), n));
        if (n <= 0) {
            free(out);
            return ERR_NODISPMODES;
        }
    }
    std::sort(out, out + n, [](const cxDisplayModeEntry &a, const cxDisplayModeEntry &b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    *entries = out;
    *count = n;
    return 0;
}

extern "C" const char *GetDisplayModeName(uint32_t mode) {
    switch (mode) {
    case 1: return "windowed";
    case 2: return "fullscreen";
    case 3: return "ask";
    case 4: return "moderequester";
    case 6: return "fakefullscreen";
    case 7: return "fullscreenscale";
    case 8: return "systemscale";
    default: return "(not found)";
    }
}

extern "C" const char *GetBackfillName(uint32_t type) {
    switch (type) {
    case 1: return "color";
    case 2: return "gradient";
    case 3: return "texture";
    case 4: return "picture";
    default: return "(not found)";
    }
}

extern "C" void ResolveDisplayPosition(cxDisplay *d) {
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    if (GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) {
        mw = 1024;
        mh = 768;
    }
    int32_t w, h;
    WindowRect(d, &w, &h);
    const bool special_x = d->os.x == CX_POS_CENTER || d->os.x == CX_POS_LEFT || d->os.x == CX_POS_RIGHT;
    const bool special_y = d->os.y == CX_POS_CENTER || d->os.y == CX_POS_TOP || d->os.y == CX_POS_BOTTOM;
    d->os.x = ResolveSpecialX(d->os.x, w, mw, 0.0);
    d->os.y = ResolveSpecialY(d->os.y, h, mh, 0.0);
    // Special positions always count from the monitor; given ones only
    // while the mark says so.
    if (d->xOnMonitor || special_x) d->os.x += mx;
    if (d->yOnMonitor || special_y) d->os.y += my;
    d->xOnMonitor = d->yOnMonitor = 0;
}
