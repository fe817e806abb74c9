// Monitors and display modes of an X server, from the RandR extension
// (libXrandr, loaded at run time). Without it, or on a server without
// RandR, the screen is one monitor of its own size with one mode.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxOsMonitor {
    struct cxOsMonitor *next;
    int32_t x, y, width, height;
} cxOsMonitor;

typedef struct cxOsDisplayMode {
    int32_t width, height;
    int32_t depth;   /* bits per pixel of the screen */
    int32_t refresh; /* Hz, 0 when unknown */
    int32_t reserved;
} cxOsDisplayMode;

/* The monitors of the named X server ("" or null: the default), in the
   server's order; null when the server cannot be reached or memory runs
   out. Free with OsFreeMonitorList. */
cxOsMonitor *OsListDisplayMonitors(const char *xserver);
void OsFreeMonitorList(cxOsMonitor *list);
/* The display modes of a monitor (0-based): the number of distinct sizes;
   fills entries (when given) with up to that many. -1 when the server
   cannot be reached. */
int OsGetMonitorModes(const char *xserver, int monitor, cxOsDisplayMode *entries, int capacity);

/* The refresh rate in Hz of the monitor under the display's window (the
   first lit one when the display has no window), from the mode RandR
   reports for it; 0 when it is not known. */
struct cxOsDisplay;
double OsGetDisplayRefreshRate(const struct cxOsDisplay *d);

/* Tests: forget libXrandr (as if it were not installed) or load it again. */
void OsSetRandrDisabled(int disabled);

#ifdef __cplusplus
}
#endif
