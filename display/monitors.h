// Monitors and display modes as the display library sees them (the
// adapter's when it offers them, else the platform's), and positions
// resolved against a monitor.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "window/x11/x11_monitors.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The monitors (free with OsFreeMonitorList), or null. */
cxOsMonitor *GetMonitorList(const cxDisplay *d);
/* The number of monitors; 0 when no list can be had. */
int CountMonitors(void);
/* The rectangle of the display's monitor. 0 or ERR_GETMONITORINFO. */
int GetDisplayMonitorInfo(const cxDisplay *d, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
/* The index of the last monitor the window overlaps (0 when none). */
int FindMonitorOfWindow(const cxDisplay *d);
/* The monitor with the largest overlap (the first on a tie), 0 when none. */
int FindBestMonitor(const cxDisplay *d);
/* 1 when the display may take its monitor for a full screen. */
int IsDisplayMonitorFree(cxDisplay *d);

typedef struct cxDisplayModeEntry {
    int32_t width, height, depth, refresh, reserved;
} cxDisplayModeEntry;
/* The modes of the display's monitor, ascending by width then height
   (free with free()). 0, ERR_NODISPMODES or ERR_MEM. */
int GetDisplayModeList(const cxDisplay *d, cxDisplayModeEntry **entries, int *count);

const char *GetDisplayModeName(uint32_t mode);
const char *GetBackfillName(uint32_t type);

/* Special coordinates are resolved by ResolveSpecialX/Y
   (graphics/geometry/geometry.h). */
/* The window position of a display: special coordinates resolved against
   its monitor (window size plus frame), the monitor's origin added where
   the monitor marks are set; the marks are cleared. */
void ResolveDisplayPosition(cxDisplay *d);

#ifdef __cplusplus
}
#endif
