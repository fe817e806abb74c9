#include "display/present.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "display/adapter.h"
#include "display/backend.h"
#include "display/display_record.h"
#include "display/frame_hooks.h"
#include "display/picture.h"
#include "display/video_hooks.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/scale/scaler.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"
#include "window/x11/x11_present.h"

struct cxRefreshNode {
    cxRefreshNode *next;
    cxBitmap *bitmap;
    int ownBitmap;
    int32_t x, y, width, height;
    int32_t srcX, srcY; /* where (x, y) lies in the bitmap, less (x, y) */
    cxDisplayMainCall call; /* instead of a bitmap */
};

namespace {

cxBitmap *g_scaleBuffer = nullptr;
cxFrameLimiter g_limiter = nullptr;

template <class F>
F Hook(cxPluginFunc slot) {
    return reinterpret_cast<F>(slot);
}

int CallListener(cxDisplayListener *l, int message, void *record) {
    if (l->foreign || !l->callback) {
        OsCallPluginStub(reinterpret_cast<cxPluginFunc>(l->callback));
        return 0;
    }
    return l->callback(l, message, record, l->userData);
}

// Walks the listeners as the frame road does: clears the done marks, then
// calls the first one not done (the only listener when one is marked) until
// none is left. record(l) gives each listener's message record.
template <class Record>
void WalkListeners(cxDisplay *d, int message, Record record) {
    for (cxDisplayListener *l = d->listeners; l; l = l->next) l->done = 0;
    for (;;) {
        cxDisplayListener *l = d->listeners;
        while (l && (l->done || (d->onlyListener && l != d->onlyListener))) l = l->next;
        if (!l) return;
        l->done = 1;
        CallListener(l, message, record(l));
    }
}

cxBitmap *ScaleBufferOf(int32_t width, int32_t height) {
    if (g_scaleBuffer && g_scaleBuffer->width == width && g_scaleBuffer->height == height) return g_scaleBuffer;
    FreeBitmap(g_scaleBuffer);
    g_scaleBuffer = AllocBitmap(width, height, 0, 0);
    return g_scaleBuffer;
}

bool ScaleInto(cxBitmap *src, cxBitmap *dst, int smooth) {
    auto *s = static_cast<cxOsBitmap *>(src->store);
    auto *t = static_cast<cxOsBitmap *>(dst->store);
    if (!s || !t || s->format != t->format) return false;
    cxScaleJob job{};
    job.srcPixels = s->pixels;
    job.dstPixels = t->pixels;
    job.srcWidth = s->width;
    job.srcHeight = s->height;
    job.dstWidth = t->width;
    job.dstHeight = t->height;
    job.srcRowLength = int32_t(s->bytesPerRow / s->bytesPerPixel);
    job.dstRowLength = int32_t(t->bytesPerRow / t->bytesPerPixel);
    job.smooth = smooth;
    job.pixelFormat = s->format;
    job.bytesPerPixel = int32_t(s->bytesPerPixel);
    return RunScaleJob(&job) == 0;
}

void AdapterBlt(cxPlugin *a, cxDisplay *d, cxBitmap *src, const cxAdapterBlt &blt, uint32_t flags) {
    const bool canDraw = d->os.state != CX_DISPLAY_CLOSED ||
                         ((a->displayFlags & CX_DISPLAY_DRAWONWINDOWS) && d->adapterHandle);
    if (!canDraw) return;
    uint32_t bits = 0;
    if (flags & CX_REFRESH_SCALEBUFFER) bits |= 0x20;
    if (src->foreign) bits |= 1;
    CallPluginEntry(a, Hook<cxAdapterBltBitMap>(a->BltBitMap), src->store, d->adapterHandle, &blt, bits);
}

cxListenerFrame FrameOf(cxBitmap *bm, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY, int32_t width,
                        int32_t height) {
    cxListenerFrame f{};
    f.width = bm->width;
    f.height = bm->height;
    if (bm->foreign) {
        f.kind = GetDisplayAdapter() ? 3 : 2;
        f.pixels = bm->store;
    } else {
        auto *s = static_cast<cxOsBitmap *>(bm->store);
        f.kind = 1;
        f.pixels = s->pixels;
        f.rowLength = int32_t(s->bytesPerRow / s->bytesPerPixel);
        f.pixelFormat = int32_t(s->format);
    }
    f.srcX = srcX;
    f.srcY = srcY;
    f.dstX = dstX;
    f.dstY = dstY;
    f.rectWidth = width;
    f.rectHeight = height;
    return f;
}

bool MaskBit(const uint8_t *mask, int32_t bpr, int32_t w, int32_t h, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    return mask[size_t(y) * size_t(bpr) + size_t(x / 8)] & (0x80 >> (x % 8));
}

// Presents the rectangle except where the mask is set: rows with the same
// runs of clear bits go out together, so a few rectangular videos cost a
// few blits.
void PresentAroundMask(cxDisplay *d, cxBitmap *src, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                       int32_t width, int32_t height, const uint8_t *mask, int32_t bpr) {
    const int32_t mw = d->pictureWidth, mh = d->pictureHeight;
    std::vector<std::pair<int32_t, int32_t>> band, row;  // runs as (start, length) from dstX
    int32_t bandTop = 0;
    auto flush = [&](int32_t bottom) {
        for (const auto &r : band)
            BackendPresent(d, src, srcX + r.first, srcY + bandTop, dstX + r.first, dstY + bandTop, r.second,
                           bottom - bandTop, 0);
    };
    for (int32_t y = 0; y < height; ++y) {
        row.clear();
        for (int32_t x = 0; x < width;) {
            if (MaskBit(mask, bpr, mw, mh, dstX + x, dstY + y)) {
                ++x;
                continue;
            }
            const int32_t start = x;
            while (x < width && !MaskBit(mask, bpr, mw, mh, dstX + x, dstY + y)) ++x;
            row.emplace_back(start, x - start);
        }
        if (y == 0 || row != band) {
            if (y > 0) flush(y);
            band.swap(row);
            bandTop = y;
        }
    }
    if (height > 0) flush(height);
}

}  // namespace

extern "C" void RefreshDisplayRectCore(cxBitmap *src, int32_t srcX, int32_t srcY, cxDisplay *d, int32_t dstX,
                                       int32_t dstY, int32_t width, int32_t height, int32_t scaledWidth,
                                       int32_t scaledHeight, uint32_t flags, cxBitmap *mask, cxBitmap *alpha,
                                       const double *transform) {
    if (!src || !d) return;
    cxPlugin *a = GetDisplayAdapter();
    if (flags & CX_REFRESH_DIRECT) {
        if (!a) BackendPresent(d, src, srcX, srcY, dstX, dstY, width, height, 0);
        return;
    }
    bool listeners = false, wantScaled = false;
    if (!(flags & CX_REFRESH_NOLISTENERS))
        for (cxDisplayListener *l = d->listeners; l; l = l->next) {
            listeners = true;
            if (!l->wantsSource) wantScaled = true;
        }

    cxAdapterBlt blt{};
    blt.transformIndex = -1;
    blt.maskStore = mask ? mask->store : nullptr;
    blt.alphaStore = alpha ? alpha->store : nullptr;
    blt.transform = transform;
    blt.smooth = int32_t(d->os.smooth);
    // Playing videos draw into the window themselves: a repaint of the
    // picture leaves their areas alone (their own pictures pass the flag).
    uint8_t *videoMask = nullptr;
    int32_t videoMaskBpr = 0;
    if (!(flags & CX_REFRESH_NOVIDEOMASK))
        if (const cxDisplayVideoHooks *vh = GetDisplayVideoHooks(); vh->buildVideoAreaMask)
            videoMask = vh->buildVideoAreaMask(d, &videoMaskBpr);
    std::unique_ptr<uint8_t, decltype(&free)> ownMask(videoMask, &free);
    cxBitmap *shown = src;  // what the listeners that want the picture get
    int32_t shownX = srcX, shownY = srcY, shownDX = dstX, shownDY = dstY, shownW = width, shownH = height;

    if (scaledWidth <= 0 || scaledHeight <= 0) {
        if (a) {
            blt.srcX = srcX;
            blt.srcY = srcY;
            blt.dstX = dstX;
            blt.dstY = dstY;
            blt.width = width;
            blt.height = height;
            AdapterBlt(a, d, src, blt, flags);
        } else if (!(d->os.state != CX_DISPLAY_CLOSED && d->doubleBuffer2)) {
            if (videoMask) PresentAroundMask(d, src, srcX, srcY, dstX, dstY, width, height, videoMask, videoMaskBpr);
            else BackendPresent(d, src, srcX, srcY, dstX, dstY, width, height, 0);
        }
    } else if (a && (a->drawFlags & CX_DRAW_SCALES) && !wantScaled) {
        blt.srcX = srcX;
        blt.srcY = srcY;
        blt.dstX = dstX;
        blt.dstY = dstY;
        blt.width = width;
        blt.height = height;
        blt.scaledWidth = scaledWidth;
        blt.scaledHeight = scaledHeight;
        AdapterBlt(a, d, src, blt, flags);
    } else {
        cxBitmap *buffer = ScaleBufferOf(scaledWidth, scaledHeight);
        if (!buffer || !ScaleInto(src, buffer, int(d->os.smooth))) return;  // the frame is dropped
        const bool adapterScales = a && (a->drawFlags & CX_DRAW_SCALES);
        if (!adapterScales) {
            if (a) {
                blt.width = scaledWidth;
                blt.height = scaledHeight;
                AdapterBlt(a, d, buffer, blt, flags | CX_REFRESH_SCALEBUFFER);
            } else if (!(d->os.state != CX_DISPLAY_CLOSED && d->doubleBuffer2)) {
                BackendPresent(d, buffer, 0, 0, 0, 0, scaledWidth, scaledHeight, 0);
            }
        } else {
            // The adapter scales for itself; only the listeners see the buffer.
            blt.srcX = srcX;
            blt.srcY = srcY;
            blt.dstX = dstX;
            blt.dstY = dstY;
            blt.width = width;
            blt.height = height;
            blt.scaledWidth = scaledWidth;
            blt.scaledHeight = scaledHeight;
            AdapterBlt(a, d, src, blt, flags);
        }
        shown = buffer;
        shownX = shownY = shownDX = shownDY = 0;
        shownW = scaledWidth;
        shownH = scaledHeight;
    }

    if (!listeners) return;
    cxListenerFrame picture = FrameOf(shown, shownX, shownY, shownDX, shownDY, shownW, shownH);
    cxListenerFrame source = FrameOf(src, srcX, srcY, dstX, dstY, width, height);
    // The mask is in picture coordinates: a scaled picture does not match it.
    source.videoMask = videoMask;
    source.videoMaskBytesPerRow = videoMaskBpr;
    if (shown == src) {
        picture.videoMask = videoMask;
        picture.videoMaskBytesPerRow = videoMaskBpr;
    }
    WalkListeners(d, 0, [&](cxDisplayListener *l) -> void * { return l->wantsSource ? &source : &picture; });
}

extern "C" int RefreshWholeDisplay(lua_State *L, cxDisplay *d, uint32_t flags) {
    return GetDisplayPictureHooks()->refreshWholeDisplay(L, d, flags);
}

extern "C" void ClearDisplayBorders(cxDisplay *d) {
    const int32_t *b = d->scaleBorders;
    if (!(b[0] | b[1] | b[2] | b[3]) || d->os.scaledWidth <= 0) return;
    const int32_t w = d->os.scaledWidth, h = d->os.scaledHeight;
    // Window coordinates count from the picture's origin inside the bars.
    if (b[1]) FillDisplayWindowRect(d, -b[0], -b[1], w + b[0] + b[2], b[1], 0, 0);
    if (b[3]) FillDisplayWindowRect(d, -b[0], h, w + b[0] + b[2], b[3], 0, 0);
    if (b[0]) FillDisplayWindowRect(d, -b[0], 0, b[0], h, 0, 0);
    if (b[2]) FillDisplayWindowRect(d, w, 0, b[2], h, 0, 0);
}

extern "C" cxBitmap *GetScaleBuffer(void) { return g_scaleBuffer; }

extern "C" void FreeScaleBuffer(void) {
    FreeBitmap(g_scaleBuffer);
    g_scaleBuffer = nullptr;
}

extern "C" cxDisplayListener *AddDisplayListener(cxObjectID id, cxDisplayListenerFunc callback, void *userData,
                                                 const cxTagItem *tags, int foreign) {
    if (IsRecordingVideo()) return nullptr;
    cxDisplay *d = nullptr;
    if (FindDisplay(id, &d) || d->doubleBuffer2) return nullptr;
    auto *l = static_cast<cxDisplayListener *>(calloc(1, sizeof(cxDisplayListener)));
    if (!l) return nullptr;
    l->callback = callback;
    l->userData = userData;
    l->foreign = foreign != 0;
    l->display = d;
    for (const cxTagItem *t = tags; t && t->tag; ++t) {
        auto *out = reinterpret_cast<int32_t *>(t->data);
        const bool scaled = d->os.scaledWidth > 0 && d->os.scaledHeight > 0;
        switch (t->tag) {
        case 1: if (out) *out = scaled ? d->os.scaledWidth : d->os.width; break;
        case 2: if (out) *out = scaled ? d->os.scaledHeight : d->os.height; break;
        case 3: l->tag3 = t->data; break;
        case 4: l->tag4 = t->data; break;
        case 5: l->wantsSource = t->data != 0; break;
        case 6: if (out) *out = d->os.width; break;
        case 7: if (out) *out = d->os.height; break;
        default: break;
        }
    }
    cxDisplayListener **tail = &d->listeners;
    while (*tail) tail = &(*tail)->next;
    *tail = l;
    return l;
}

extern "C" cxDisplay *FindListenerDisplay(const cxDisplayListener *listener) {
    if (!listener) return nullptr;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        for (cxDisplayListener *l = d->listeners; l; l = l->next)
            if (l == listener) return d;
    return nullptr;
}

extern "C" void RemoveDisplayListener(cxDisplayListener *listener) {
    cxDisplay *d = FindListenerDisplay(listener);
    if (!d) return;
    for (cxDisplayListener **p = &d->listeners; *p; p = &(*p)->next)
        if (*p == listener) {
            *p = listener->next;
            break;
        }
    if (d->onlyListener == listener) d->onlyListener = nullptr;
    free(listener);
}

extern "C" void RefreshForListener(lua_State *L, cxDisplayListener *listener) {
    cxDisplay *d = FindListenerDisplay(listener);
    if (!d) return;
    d->onlyListener = listener;
    RefreshWholeDisplay(L, d, 2);
    d->onlyListener = nullptr;
}

extern "C" void NotifyDisplayListeners(cxDisplay *d, int message, void *record) {
    if (!d->listeners) return;
    WalkListeners(d, message, [&](cxDisplayListener *) { return record; });
}

extern "C" void FreeDisplayListeners(cxDisplay *d) {
    while (cxDisplayListener *l = d->listeners) {
        d->listeners = l->next;
        free(l);
    }
    d->onlyListener = nullptr;
}

extern "C" void SetFrameLimiter(cxFrameLimiter limiter) { g_limiter = limiter; }

extern "C" void WaitDisplayFrame(lua_State *L, cxDisplay *d, uint32_t) {
    cxPlugin *a = GetDisplayAdapter();
    if (a && (a->displayFlags & CX_DISPLAY_VWAIT) && d->adapterHandle)
        CallPluginEntry(a, Hook<cxAdapterVWait>(a->VWait), d->adapterHandle);
    else if (g_limiter)
        g_limiter(L, d, 0);
    bool again = false;
    for (cxDisplayListener *l = d->listeners; l; l = l->next) l->done = 0;
    for (;;) {
        cxDisplayListener *l = d->listeners;
        while (l && l->done) l = l->next;
        if (!l) break;
        l->done = 1;
        if (l->tag4) {
            again = true;  // this one does not want the wait: the limiter runs once more
            continue;
        }
        CallListener(l, 5, nullptr);
    }
    if (again && !a && d->os.state == CX_DISPLAY_CLOSED && g_limiter) g_limiter(L, d, 1);
    if (const cxDisplayFrameHooks *h = GetDisplayFrameHooks(); h->frame) h->frame(L, d);
}

namespace {
int QueueRefreshNode(cxDisplay *d, cxRefreshNode *node) {
    OsLockMutex(d->refreshMutex);
    cxRefreshNode **tail = &d->refreshQueue;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    OsUnlockMutex(d->refreshMutex);
    OsWakeMainThread();
    return 0;
}
}  // namespace

extern "C" int PostDisplayRefresh(cxDisplay *d, cxBitmap *bitmap, int ownBitmap, int32_t x, int32_t y, int32_t width,
                                  int32_t height) {
    if (!d || !d->refreshMutex) return ERR_WRONGUSAGE;
    auto *node = static_cast<cxRefreshNode *>(calloc(1, sizeof(cxRefreshNode)));
    if (!node) return ERR_MEM;
    node->bitmap = bitmap;
    node->ownBitmap = ownBitmap;
    node->x = x;
    node->y = y;
    node->width = width;
    node->height = height;
    return QueueRefreshNode(d, node);
}

extern "C" int PostDisplayPicture(cxDisplay *d, cxBitmap *bitmap, int32_t x, int32_t y, int32_t width,
                                  int32_t height) {
    if (!d || !d->refreshMutex) return ERR_WRONGUSAGE;
    auto *node = static_cast<cxRefreshNode *>(calloc(1, sizeof(cxRefreshNode)));
    if (!node) return ERR_MEM;
    node->bitmap = bitmap;
    node->ownBitmap = 1;
    node->x = x;
    node->y = y;
    node->width = width;
    node->height = height;
    node->srcX = -x;
    node->srcY = -y;
    return QueueRefreshNode(d, node);
}

extern "C" int PostDisplayCall(cxDisplay *d, cxDisplayMainCall call) {
    if (!d || !d->refreshMutex) return ERR_WRONGUSAGE;
    auto *node = static_cast<cxRefreshNode *>(calloc(1, sizeof(cxRefreshNode)));
    if (!node) return ERR_MEM;
    node->call = call;
    return QueueRefreshNode(d, node);
}

namespace {
void FreeNodes(cxRefreshNode *n) {
    while (n) {
        cxRefreshNode *next = n->next;
        if (n->ownBitmap) FreeBitmap(n->bitmap);
        free(n);
        n = next;
    }
}
}  // namespace

extern "C" int ProcessPendingRefreshes(lua_State *L) {
    // Each queue is taken whole under its mutex and worked through without
    // it: presenting calls X11 and the listeners.
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d)) {
        if (!d->refreshMutex) continue;
        OsLockMutex(d->refreshMutex);
        cxRefreshNode *queue = d->refreshQueue;
        d->refreshQueue = nullptr;
        OsUnlockMutex(d->refreshMutex);
        for (cxRefreshNode *n = queue; n; n = n->next) {
            if (n->call) n->call(L, d);
            if (!n->bitmap) continue;
            // Clipped to the display (the bars are outside the picture).
            int32_t x = std::max(n->x, 0), y = std::max(n->y, 0);
            int32_t x2 = std::min(n->x + n->width, d->pictureWidth), y2 = std::min(n->y + n->height, d->pictureHeight);
            if (x2 <= x || y2 <= y) continue;
            RefreshDisplayRectCore(n->bitmap, x + n->srcX, y + n->srcY, d, x, y, x2 - x, y2 - y, d->os.scaledWidth, d->os.scaledHeight,
                                   CX_REFRESH_QUEUED | CX_REFRESH_NOVIDEOMASK, nullptr, nullptr, nullptr);
        }
        FreeNodes(queue);
    }
    return 0;
}

extern "C" void FreeDisplayRefreshQueue(cxDisplay *d) {
    if (d->refreshMutex) OsLockMutex(d->refreshMutex);
    cxRefreshNode *queue = d->refreshQueue;
    d->refreshQueue = nullptr;
    if (d->refreshMutex) OsUnlockMutex(d->refreshMutex);
    FreeNodes(queue);
}
