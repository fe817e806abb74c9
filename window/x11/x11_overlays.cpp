#include "window/x11/x11_overlays.h"

namespace {
cxDisplayOverlay *g_overlays = nullptr;
}

extern "C" cxDisplayOverlay *GetDisplayOverlays(void) { return g_overlays; }

extern "C" void AddDisplayOverlay(cxDisplayOverlay *item) {
    item->next = nullptr;
    cxDisplayOverlay **p = &g_overlays;
    while (*p) p = &(*p)->next;
    *p = item;
}

extern "C" void RemoveDisplayOverlay(cxDisplayOverlay *item) {
    for (cxDisplayOverlay **p = &g_overlays; *p; p = &(*p)->next) {
        if (*p == item) {
            *p = item->next;
            item->next = nullptr;
            return;
        }
    }
}
