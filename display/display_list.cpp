#include "display/display.h"

namespace {
cxDisplay *g_first = nullptr;
}

extern "C" cxDisplay *GetFirstDisplay(void) { return g_first; }

extern "C" cxDisplay *GetNextDisplay(const cxDisplay *d) { return d ? reinterpret_cast<cxDisplay *>(d->header.next) : nullptr; }

extern "C" void LinkDisplay(cxDisplay *d) {
    d->header.kind = CX_OBJECT_DISPLAY;
    d->header.next = nullptr;
    cxDisplay **p = &g_first;
    while (*p) p = reinterpret_cast<cxDisplay **>(&(*p)->header.next);
    *p = d;
}

extern "C" void UnlinkDisplay(cxDisplay *d) {
    for (cxDisplay **p = &g_first; *p; p = reinterpret_cast<cxDisplay **>(&(*p)->header.next)) {
        if (*p == d) {
            *p = reinterpret_cast<cxDisplay *>(d->header.next);
            d->header.next = nullptr;
            return;
        }
    }
}
