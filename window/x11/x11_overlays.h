// The overlay list: areas of a display's window that presenting must not
// paint over (kinds 1 to 4). One list for the process; main thread only.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cxOsDisplay;

typedef struct cxDisplayOverlay {
    struct cxDisplayOverlay *next;
    uint32_t kind;
    const struct cxOsDisplay *display;
    int32_t x, y, width, height;
    uint32_t hidden;
} cxDisplayOverlay;

cxDisplayOverlay *GetDisplayOverlays(void);
/* Links a caller-owned item at the end of the list. */
void AddDisplayOverlay(cxDisplayOverlay *item);
void RemoveDisplayOverlay(cxDisplayOverlay *item);

#ifdef __cplusplus
}
#endif
