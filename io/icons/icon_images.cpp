// Icon images handed to plug-ins: copies, so a plug-in may keep them after
// the script frees the icon.
#include "io/icons/icon_images.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "errors/errors.h"
#include "graphics/images/image_handle.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "io/icons/app_icons.h"
#include "io/icons/icons.h"
#include "window/x11/x11_window_ops.h"

namespace {

// Entries further from the wanted width than this are never taken.
constexpr long kFarthest = 100000;

// The standard or selected pixels of an entry; a vector entry gives its
// image's pixels when they are of the entry's size.
const uint32_t *EntryPixels(const cxIconEntry *e, bool selected) {
    if (e->vector) {
        cxImageHandle *h = selected && e->selVector ? e->selVector : e->vector;
        int w = 0, hh = 0;
        GetImageHandleSize(h, &w, &hh);
        return w == e->width && hh == e->height ? GetImageHandlePixels(h) : nullptr;
    }
    return selected && e->selPixels ? e->selPixels : e->pixels;
}

cxPluginIconImage *NewNode(const uint32_t *pixels, int w, int h, uint32_t flags) {
    auto *n = static_cast<cxPluginIconImage *>(calloc(1, sizeof(cxPluginIconImage)));
    const size_t bytes = static_cast<size_t>(w) * h * 4;
    if (n) n->pixels = static_cast<uint32_t *>(malloc(bytes ? bytes : 4));
    if (!n || !n->pixels) {
        free(n);
        return nullptr;
    }
    if (pixels) memcpy(n->pixels, pixels, bytes);
    n->width = w;
    n->height = h;
    n->flags = flags;
    return n;
}

uint32_t EntryFlags(const cxIconEntry *e, bool selected) {
    return (e->standard ? CX_ICONIMAGE_STANDARD : 0) | (selected ? CX_ICONIMAGE_SELECTED : 0) |
           (e->transparent ? 0 : CX_ICONIMAGE_OPAQUE);
}

// Picks and, when needed, scales the image of the entry closest to the
// wanted size.
int PickImage(const cxIcon *icon, int wantW, int wantH, uint32_t flags, cxPluginIconImage **out) {
    *out = nullptr;
    const cxIconEntry *best = nullptr;
    long bestDistance = kFarthest;
    for (const cxIconEntry *e = icon->entries; e; e = e->next) {
        long d = std::labs(static_cast<long>(e->width) - wantW);
        if (d < bestDistance) {
            best = e;
            bestDistance = d;
        }
    }
    if (!best || wantW < 1 || wantH < 1) return ERR_ICONENTRY;
    const bool selected = (flags & CX_ICONREQ_SELECTED) && (best->selPixels || best->selVector);
    const uint32_t *src = EntryPixels(best, selected);
    if (!src) return ERR_ICONENTRY;
    const uint32_t resultFlags = EntryFlags(best, selected);
    if ((best->width == wantW && best->height == wantH) || (flags & CX_ICONREQ_NOSCALE)) {
        if (!(best->width == wantW && best->height == wantH) && (flags & CX_ICONREQ_EXACT)) return ERR_ICONENTRY;
        *out = NewNode(src, best->width, best->height, resultFlags);
        return *out ? 0 : ERR_MEM;
    }
    if (flags & CX_ICONREQ_EXACT) return ERR_ICONENTRY;
    cxPluginIconImage *n = NewNode(nullptr, wantW, wantH, resultFlags);
    if (!n) return ERR_MEM;
    cxScaleJob job{};
    job.srcPixels = src;
    job.dstPixels = n->pixels;
    job.srcWidth = best->width;
    job.srcHeight = best->height;
    job.dstWidth = wantW;
    job.dstHeight = wantH;
    job.srcRowLength = best->width;
    job.dstRowLength = wantW;
    job.smooth = (flags & CX_ICONREQ_SMOOTH) ? 1 : 0;
    job.pixelFormat = CX_PIXFMT_DEFAULT;
    job.bytesPerPixel = 4;
    if (int err = RunScaleJob(&job)) {
        FreeIconImageList(n);
        return err;
    }
    *out = n;
    return 0;
}

} // namespace

extern "C" void FreeIconImageList(cxPluginIconImage *list) {
    while (list) {
        cxPluginIconImage *next = list->next;
        free(list->pixels);
        free(list);
        list = next;
    }
}

extern "C" int GetIconImageList(cxObjectID id, cxPluginIconImage **list, int *count) {
    *list = nullptr;
    if (count) *count = 0;
    cxIcon *icon = nullptr;
    if (int err = FindIconObject(id, &icon)) return err;
    cxPluginIconImage *head = nullptr, **tail = &head;
    int n = 0;
    for (const cxIconEntry *e = icon->entries; e; e = e->next) {
        for (bool selected : {false, true}) {
            if (selected && !e->selPixels && !e->selVector) continue;
            const uint32_t *px = EntryPixels(e, selected);
            if (!px) continue;
            cxPluginIconImage *node = NewNode(px, e->width, e->height, EntryFlags(e, selected));
            if (!node) {
                FreeIconImageList(head);
                return ERR_MEM;
            }
            *tail = node;
            tail = &node->next;
            n++;
        }
    }
    *list = head;
    if (count) *count = n;
    return 0;
}

extern "C" int GetIconImageAtScale(cxObjectID id, const double *scale, uint32_t flags, cxPluginIconImage **out) {
    *out = nullptr;
    cxIcon *icon = nullptr;
    if (int err = FindIconObject(id, &icon)) return err;
    const cxIconEntry *ref = icon->entries;
    for (const cxIconEntry *e = icon->entries; e; e = e->next)
        if (e->standard) {
            ref = e;
            break;
        }
    if (!ref) return ERR_ICONENTRY;
    double sx = 1.0, sy = 1.0;
    if (scale) {
        sx = scale[0];
        sy = scale[1];
    } else {
        OsGetDisplayScale(&sx);
        sy = sx;
    }
    if (!(sx > 0 && sy > 0 && sx < 1000 && sy < 1000)) return ERR_WRONGUSAGE;
    const int w = static_cast<int>(std::lround(ref->width * sx)), h = static_cast<int>(std::lround(ref->height * sy));
    return PickImage(icon, w, h, flags, out);
}

extern "C" int GetIconImageOfSize(cxObjectID id, int width, int height, uint32_t flags, cxPluginIconImage **out) {
    *out = nullptr;
    cxIcon *icon = nullptr;
    if (int err = FindIconObject(id, &icon)) return err;
    return PickImage(icon, width, height, flags, out);
}

extern "C" int GetAppIconImageList(cxPluginIconImage **list, int *count) {
    *list = nullptr;
    if (count) *count = 0;
    cxPluginIconImage *head = nullptr, **tail = &head;
    int n = 0;
    for (const cxAppIconImage *a = GetAppIconImages(); a; a = a->next) {
        cxPluginIconImage *node = NewNode(a->pixels, a->width, a->height, a->flags);
        if (!node) {
            FreeIconImageList(head);
            return ERR_MEM;
        }
        *tail = node;
        tail = &node->next;
        n++;
    }
    *list = head;
    if (count) *count = n;
    return 0;
}
