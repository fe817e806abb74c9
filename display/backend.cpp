#include "display/backend.h"

#include <cstdlib>
#include <cstring>

#include "display/adapter.h"
#include "display/display_record.h"
#include "display/events/event_pump.h"
#include "display/present.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_time.h"
#include "window/x11/x11_present.h"
#include "window/x11/x11_window.h"
#include "window/x11/x11_window_ops.h"

namespace {

cxPlugin *Adapter() { return GetDisplayAdapter(); }

template <class F>
F Hook(cxPluginFunc slot) {
    return reinterpret_cast<F>(slot);
}

bool DrawsOnWindow(const cxDisplay *d) {
    const cxPlugin *a = Adapter();
    return d->os.state != CX_DISPLAY_CLOSED || ((a->displayFlags & CX_DISPLAY_DRAWONWINDOWS) && d->adapterHandle);
}

}  // namespace

extern "C" int HasDisplayAdapter(void) { return Adapter() ? 1 : 0; }

extern "C" int ForceEventLoopIteration(void) {
    cxPlugin *a = Adapter();
    if (!a) return 0;
    return CallPluginEntry(a, Hook<cxAdapterForceIteration>(a->ForceEventLoopIteration), 0);
}

extern "C" int DelayWithEvents(lua_State *L, int milliseconds) {
    cxPlugin *a = Adapter();
    if (a && (a->displayFlags & CX_DISPLAY_SLEEP))
        return CallPluginEntry(a, Hook<cxAdapterSleep>(a->Sleep), milliseconds);
    // Serve events in short slices until the time has passed.
    cxOsTimeVal start, now;
    OsGetMonotonicTime(&start);
    for (;;) {
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code ? code : ERR_USERABORT;
        OsGetMonotonicTime(&now);
        OsSubTime(&now, &start);
        const uint32_t passed = OsTimeToMs(&now);
        if (passed >= uint32_t(milliseconds)) return 0;
        const uint32_t left = uint32_t(milliseconds) - passed;
        OsDelayMs(left < 5 ? left : 5);
    }
}

extern "C" void DetermineBorderSizes(cxDisplay *d) {
    cxPlugin *a = Adapter();
    if (!a) {
        OsDetermineBorderSizes(&d->os);
        return;
    }
    int32_t left = 0, right = 0, top = 0, bottom = 0;
    CallPluginEntry(a, Hook<cxAdapterDetermineBorderSizes>(a->DetermineBorderSizes), GetAdapterDisplayFlags(d),
                    &left, &right, &top, &bottom);
    d->os.borderLeft = left;
    d->os.borderTop = top;
    d->os.borderWidth = left + right;
    d->os.borderHeight = top + bottom;
}

extern "C" void ShowDisplayPointer(cxDisplay *d, int show) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterShowHidePointer>(a->ShowHidePointer), d->adapterHandle, show);
    else
        OsShowHidePointer(&d->os, show);
}

extern "C" void MoveDisplayPointer(cxDisplay *d, int32_t x, int32_t y) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterMovePointer>(a->MovePointer), d->adapterHandle, x, y);
    else
        OsMovePointer(&d->os, x, y);
}

extern "C" void SetDisplayTitle(cxDisplay *d) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterSetDisplayTitle>(a->SetDisplayTitle), d->adapterHandle,
                        static_cast<const char *>(d->os.title));
    else
        OsSetDisplayTitle(&d->os);
}

extern "C" void ShowHideDisplayWindow(cxDisplay *d, int hide) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterShowHideDisplay>(a->ShowHideDisplay), d->adapterHandle, hide ? 0 : 1, 0);
    else
        OsShowHideDisplay(&d->os, hide);
}

extern "C" void MoveDisplayWindow(cxDisplay *d) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterSizeMoveDisplay>(a->SizeMoveDisplay), d->adapterHandle, d->os.x, d->os.y, 0,
                        0, 0, 0);
    else
        OsMoveDisplay(&d->os);
}

extern "C" void SizeMoveDisplayWindow(cxDisplay *d) {
    int32_t width = d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width;
    int32_t height = d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height;
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterSizeMoveDisplay>(a->SizeMoveDisplay), d->adapterHandle, d->os.x, d->os.y,
                        width, height, 0, 0);
    else
        OsSizeMoveDisplay(&d->os);
}

extern "C" void ActivateDisplayWindow(cxDisplay *d, int front) {
    if (cxPlugin *a = Adapter())
        CallPluginEntry(a, Hook<cxAdapterActivateDisplay>(a->ActivateDisplay), d->adapterHandle, front != 0 ? 1 : 0);
    else
        OsActivateDisplay(&d->os, 1);  // raised and focused alike: X11 has no front-only activation
}

extern "C" void GetDisplayMousePos(cxDisplay *d, int32_t *x, int32_t *y) {
    *x = d->os.mouseX;
    *y = d->os.mouseY;
    if (d->os.state == CX_DISPLAY_CLOSED) return;
    if (cxPlugin *a = Adapter()) {
        CallPluginEntry(a, Hook<cxAdapterGetMousePos>(a->GetMousePos), d->adapterHandle, x, y);
    } else if (OsGetMousePos(&d->os, x, y)) {
        d->os.mouseX = *x;
        d->os.mouseY = *y;
    }
}

extern "C" uint32_t GetDisplayQualifiers(cxDisplay *d) {
    if (d->os.state == CX_DISPLAY_CLOSED) return d->os.qualifiers;
    if (cxPlugin *a = Adapter()) return CallPluginEntry(a, Hook<cxAdapterGetQualifiers>(a->GetQualifiers), d->adapterHandle);
    return d->os.qualifiers;
}

extern "C" void FillDisplayWindowRect(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height,
                                      uint32_t colour, uint32_t flags) {
    (void)flags;
    cxAdapterDraw draw = {x, y, width, height, colour};
    if (cxPlugin *a = Adapter()) {
        if (DrawsOnWindow(d)) CallPluginEntry(a, Hook<cxAdapterDrawOp>(a->RectFill), d->adapterHandle, &draw);
    } else if (!d->doubleBuffer2) {
        OsFillRect(&d->os, x, y, width, height, 0xFF000000u | colour);
    }
    NotifyDisplayListeners(d, 1, &draw);
}

extern "C" void WriteDisplayWindowPixel(cxDisplay *d, int32_t x, int32_t y, uint32_t colour) {
    cxAdapterDraw draw = {x, y, 1, 1, colour};
    if (cxPlugin *a = Adapter()) {
        if (DrawsOnWindow(d)) CallPluginEntry(a, Hook<cxAdapterDrawOp>(a->WritePixel), d->adapterHandle, &draw);
    } else if (!d->doubleBuffer2) {
        OsWritePixel(&d->os, x, y, 0xFF000000u | colour);
    }
    NotifyDisplayListeners(d, 3, &draw);
}

extern "C" void DrawDisplayWindowLine(cxDisplay *d, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    cxAdapterDraw draw = {x1, y1, x2, y2, colour};
    if (cxPlugin *a = Adapter()) {
        if (DrawsOnWindow(d)) CallPluginEntry(a, Hook<cxAdapterDrawOp>(a->Line), d->adapterHandle, &draw);
    } else if (!d->doubleBuffer2) {
        OsDrawLine(&d->os, x1, y1, x2, y2, 0xFF000000u | colour);
    }
    NotifyDisplayListeners(d, 2, &draw);
}

extern "C" void ClearDisplayWindow(cxDisplay *d, uint32_t colour) {
    if (cxPlugin *a = Adapter()) CallPluginEntry(a, Hook<cxAdapterCls>(a->Cls), d->adapterHandle, colour, 0);
}

extern "C" void FreeAdapterMonitorInfo(int kind, void *info) {
    if (cxPlugin *a = Adapter()) CallPluginEntry(a, Hook<cxAdapterFreeMonitorInfo>(a->FreeMonitorInfo), kind, info);
}

extern "C" int GrabScreenToBitmap(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, cxBitmap **out) {
    *out = nullptr;
    cxPlugin *a = Adapter();
    if (a && (a->displayFlags & CX_DISPLAY_GRABSCREEN)) {
        uint32_t *argb = CallPluginEntry(a, Hook<cxAdapterGrabScreenPixels>(a->GrabScreenPixels),
                                         d ? d->adapterHandle : nullptr, x, y, width, height);
        if (!argb) return ERR_GRABSCREEN;
        cxBitmap *bm = AllocBitmap(width, height, 0, 0);
        if (bm) {
            auto *store = static_cast<cxOsBitmap *>(bm->store);
            for (int32_t row = 0; row < height; ++row)
                for (int32_t col = 0; col < width; ++col) {
                    const uint32_t pixel = ColorToPixel(argb[size_t(row) * size_t(width) + size_t(col)], store->format, 1);
                    uint8_t *p = store->pixels + size_t(row) * store->bytesPerRow + size_t(col) * store->bytesPerPixel;
                    if (store->bytesPerPixel == 2) {
                        const uint16_t v = uint16_t(pixel);
                        memcpy(p, &v, 2);
                    } else {
                        memcpy(p, &pixel, 4);
                    }
                }
        }
        CallPluginEntry(a, Hook<cxAdapterFreeGrabScreenPixels>(a->FreeGrabScreenPixels), argb);
        if (!bm) return ERR_GRABSCREEN;
        *out = bm;
        return 0;
    }
    cxOsBitmap *os = OsGrabScreenPixels(d ? &d->os : nullptr, x, y, width, height);
    if (!os) return ERR_GRABSCREEN;
    auto *bm = static_cast<cxBitmap *>(calloc(1, sizeof(cxBitmap)));
    if (!bm) {
        OsFreeBitMap(os);
        return ERR_GRABSCREEN;
    }
    bm->kind = CX_BITMAP_COLOUR;
    bm->store = os;
    bm->width = width;
    bm->height = height;
    *out = bm;
    return 0;
}

extern "C" int BackendOpenWindow(cxDisplay *d) {
    cxPlugin *a = Adapter();
    if (!a) return OsOpenDisplay(&d->os);
    const bool full = d->os.fullscreen != 0;
    uint32_t flagA = 0, flagB = 0;
    cxTagItem tags[16];
    int n = 0;
    auto tag = [&](uintptr_t t, intptr_t v) { tags[n++] = cxTagItem{t, v}; };
    tag(1, d->pictureWidth);
    tag(2, d->pictureHeight);
    tag(3, reinterpret_cast<intptr_t>(&flagA));
    tag(4, reinterpret_cast<intptr_t>(&flagB));
    tag(5, 0);
    tag(6, d->monitor);
    if (full) {
        tag(7, d->screenWidth);
        tag(8, d->screenHeight);
        tag(9, d->screenDepth);
    }
    if (d->os.scaledWidth > 0) tag(10, d->os.scaledWidth);
    if (d->os.scaledHeight > 0) tag(11, d->os.scaledHeight);
    tag(12, d->os.smooth);
    tag(0, 0);
    void *handle = CallPluginEntry(a, Hook<cxAdapterOpenDisplay>(a->OpenDisplay), static_cast<const char *>(d->os.title),
                                   d->os.x, d->os.y, d->os.width, d->os.height, GetAdapterDisplayFlags(d),
                                   static_cast<const cxTagItem *>(tags));
    if (!handle) return ERR_WINDOW;
    d->adapterHandle = handle;
    d->adapterFlagA = flagA;
    d->adapterFlagB = flagB;
    return 0;
}

extern "C" void BackendCloseWindow(cxDisplay *d) {
    if (cxPlugin *a = Adapter()) {
        if (d->adapterHandle) CallPluginEntry(a, Hook<cxAdapterCloseDisplay>(a->CloseDisplay), d->adapterHandle);
        d->adapterHandle = nullptr;
        return;
    }
    OsCloseDisplay(&d->os);
}

extern "C" void BackendPresent(cxDisplay *d, cxBitmap *src, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                               int32_t width, int32_t height, uint32_t flags) {
    if (!src || src->kind != CX_BITMAP_COLOUR || src->foreign) return;
    OsBltBitMap(static_cast<cxOsBitmap *>(src->store), srcX, srcY, &d->os, dstX, dstY, width, height, flags);
}

extern "C" void ResetDisplayInputState(cxDisplay *d) {
    memset(d->os.keyStates, 0, sizeof d->os.keyStates);
    memset(d->os.mouseButtons, 0, sizeof d->os.mouseButtons);
    if (!Adapter())
        if (cxOsWindow *w = OsGetDisplayWindow(&d->os)) memset(w->modifiers, 0, sizeof w->modifiers);
}

extern "C" uint32_t GetAdapterDisplayFlags(const cxDisplay *d) {
    const uint32_t f = d->os.flags;
    uint32_t out = 0;
    if (f & CX_DISPLAY_BORDERLESS) out |= CX_ADAPTER_BORDERLESS;
    if (f & CX_DISPLAY_SIZEABLE) out |= CX_ADAPTER_SIZEABLE;
    if (f & CX_DISPLAY_FIXED) out |= CX_ADAPTER_FIXED;
    if (f & CX_DISPLAY_NOHIDE) out |= CX_ADAPTER_NOHIDE;
    if (f & CX_DISPLAY_NOCLOSE) out |= CX_ADAPTER_NOCLOSE;
    if (d->autoScale) out |= CX_ADAPTER_AUTOSCALE;
    if (d->layerScale) out |= CX_ADAPTER_LAYERSCALE;
    if (d->layersOn) out |= CX_ADAPTER_LAYERS;
    if (d->doubleBuffer1) out |= CX_ADAPTER_DBUFFER1;
    if (d->doubleBuffer2) out |= CX_ADAPTER_DBUFFER2;
    if (d->os.fullscreen) out |= CX_ADAPTER_FULLSCREEN;
    if (f & CX_DISPLAY_DISABLEBLANKER) out |= CX_ADAPTER_DISABLEBLANKER;
    if (f & CX_DISPLAY_ALWAYSONTOP) out |= CX_ADAPTER_ALWAYSONTOP;
    return out;
}
