#include "display/double_buffer.h"

#include <algorithm>
#include <cstdlib>

#include "display/adapter.h"
#include "display/display_record.h"
#include "display/present.h"
#include "display/video_hooks.h"
#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/blit/blit.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/scale/scaler.h"

namespace {

cxDoubleBufferHooks g_hooks{};

template <class F>
F Hook(cxPluginFunc slot) {
    return reinterpret_cast<F>(slot);
}

// A box costs its pixels plus a fixed share for the blit and the window
// request it needs (on an X server about what 8,000 pixels of one big
// request cost; bench/display/double_buffer measures it); past the whole
// picture's cost one copy of everything is cheaper.
constexpr int64_t kBoxOverheadPixels = 8192;

bool Software(const cxDisplay *d) { return d->doubleBuffer1 && !d->doubleBuffer2; }

bool AutoScaled(const cxDisplay *d) { return d->autoScale && d->os.scaledWidth > 0 && d->os.scaledHeight > 0; }

cxDoubleBuffer *State(cxDisplay *d) {
    if (!d->doubleBufferState) d->doubleBufferState = static_cast<cxDoubleBuffer *>(calloc(1, sizeof(cxDoubleBuffer)));
    return d->doubleBufferState;
}

void FreeBuffers(cxDoubleBuffer *s) {
    FreeBitmap(s->front);
    FreeBitmap(s->back);
    s->front = s->back = nullptr;
}

void ClearModeWords(cxDisplay *d) {
    d->doubleBuffer1 = d->doubleBuffer2 = d->doubleBuffer3 = 0;
    d->targetKind = CX_OBJECT_DISPLAY;
    d->outputMask = d->outputAlpha = nullptr;
}

int32_t Width(const cxBitmap *b) { return b ? b->width : 0; }
int32_t Height(const cxBitmap *b) { return b ? b->height : 0; }

// Scales the back buffer into the front copy (auto-scaled displays).
void ScaleBackToFront(cxDisplay *d, cxDoubleBuffer *s) {
    cxOsBitmapLock src{}, dst{};
    if (LockBitmap(s->back, CX_LOCK_SOURCE, &src) && LockBitmap(s->front, 0, &dst) &&
        src.pixelFormat == dst.pixelFormat) {
        cxScaleJob job{};
        job.srcPixels = src.pixels;
        job.dstPixels = dst.pixels;
        job.srcWidth = std::min(s->width, src.width);
        job.srcHeight = std::min(s->height, src.height);
        job.dstWidth = dst.width;
        job.dstHeight = dst.height;
        job.srcRowLength = int32_t(src.rowLength);
        job.dstRowLength = int32_t(dst.rowLength);
        job.smooth = int32_t(d->os.smooth);
        job.pixelFormat = src.pixelFormat;
        job.bytesPerPixel = int32_t(src.bytesPerPixel);
        RunScaleJob(&job);
    }
    UnlockBitmap(&dst);
    UnlockBitmap(&src);
}

// Clips the merged boxes to the buffer; emptied ones are marked merged.
// The summed cost of what is left, for the choice against a whole copy.
int64_t ClipBoxes(cxDirtyRects &r, int32_t width, int32_t height) {
    int64_t cost = 0;
    for (uint32_t i = 0; i < r.count; i++) {
        cxDirtyBox &b = r.boxes[i];
        if (b.x1 == CX_DIRTY_MERGED) continue;
        b.x1 = std::max(b.x1, 0);
        b.y1 = std::max(b.y1, 0);
        b.x2 = std::min(b.x2, width - 1);
        b.y2 = std::min(b.y2, height - 1);
        if (b.x2 < b.x1 || b.y2 < b.y1) {
            b.x1 = CX_DIRTY_MERGED;
            continue;
        }
        cost += int64_t(b.x2 - b.x1 + 1) * (b.y2 - b.y1 + 1) + kBoxOverheadPixels;
    }
    return cost;
}

void Present(cxDisplay *d, cxBitmap *src, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (w > 0 && h > 0) RefreshDisplayRectCore(src, x, y, d, x, y, w, h, 0, 0, 0, nullptr, nullptr, nullptr);
}

}  // namespace

extern "C" void SetDoubleBufferHooks(const cxDoubleBufferHooks *hooks) { g_hooks = hooks ? *hooks : cxDoubleBufferHooks{}; }

extern "C" cxDoubleBuffer *GetDisplayDoubleBuffer(const cxDisplay *d) { return d ? d->doubleBufferState : nullptr; }

extern "C" cxBitmap *GetDoubleBufferBitmap(const cxDisplay *d) {
    if (!d || !Software(d) || !d->doubleBufferState) return nullptr;
    return d->doubleBufferState->back;
}

extern "C" void QueueDoubleBufferRect(cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!d || !Software(d) || !d->doubleBufferState) return;
    cxDoubleBuffer *s = d->doubleBufferState;
    if (width < 1 || height < 1) return;
    // The whole picture changed: no box can save anything.
    if (x <= 0 && y <= 0 && int64_t(x) + width >= s->width && int64_t(y) + height >= s->height) {
        s->dirty.count = s->dirty.capacity;
        return;
    }
    AddDirtyRect(&s->dirty, x, y, width, height, 0);
}

extern "C" int BeginDisplayDoubleBuffer(cxDisplay *d) {
    cxPlugin *a = GetDisplayAdapter();
    if (!a) return 0;
    return CallPluginEntry(a, Hook<cxAdapterDoubleBuffer>(a->BeginDoubleBuffer), d->adapterHandle);
}

extern "C" int EndDisplayDoubleBuffer(cxDisplay *d) {
    cxPlugin *a = GetDisplayAdapter();
    if (!a) return 0;
    return CallPluginEntry(a, Hook<cxAdapterDoubleBuffer>(a->EndDoubleBuffer), d->adapterHandle);
}

extern "C" int StartDoubleBuffer(lua_State *L, cxDisplay *d, int hardware) {
    // What the display draws into decides first.
    switch (d->targetKind) {
    case 1: return ERR_SELECTBG;
    case CX_OUTPUT_IMAGE:
        if (d->doubleBuffer1) return ERR_ENDDOUBLEBUFFER;
        if (g_hooks.refuse)
            if (int err = g_hooks.refuse(L, d, CX_DBCHECK_SELECTION)) return err;
        return ERR_SELECTBRUSH;
    case 28: return ERR_SELECTMASK;
    case 30: return ERR_SELECTALPHACHANNEL;
    default: break;
    }
    if (d->layersOn) return ERR_LAYERSOFF;
    if (g_hooks.refuse)
        if (int err = g_hooks.refuse(L, d, CX_DBCHECK_STATE)) return err;
    if (d->shapeMask || d->shapeAlpha) return ERR_DBTRANSWIN;
    // A video draws straight into the window, past the back buffer.
    if (const cxDisplayVideoHooks *vh = GetDisplayVideoHooks(); vh->hasVideos && vh->hasVideos(d))
        return ERR_VIDATTACHED;

    cxPlugin *a = GetDisplayAdapter();
    const bool useHardware = hardware && a && (a->displayFlags & CX_DISPLAY_HWDOUBLEBUFFER);
    if (useHardware) {
        if (d->listeners) return ERR_SATELLITE;
        if (d->os.state == CX_DISPLAY_CLOSED) return ERR_CLOSEDDISPLAY;
        if (int err = BeginDisplayDoubleBuffer(d)) return err;
    }

    cxDoubleBuffer *s = State(d);
    if (!s) return ERR_MEM;
    FreeBuffers(s);
    FreeDirtyRects(&s->dirty);
    const int32_t w = d->pictureWidth, h = d->pictureHeight;
    bool video = false;
    if (!useHardware) {
        const bool scaledFront = AutoScaled(d) && !a;
        const int32_t fw = scaledFront ? d->os.scaledWidth : w, fh = scaledFront ? d->os.scaledHeight : h;
        video = hardware && a && (a->displayFlags & CX_DISPLAY_VIDEOBITMAPS) && !IsRecordingVideo();
        s->front = AllocBitmap(fw, fh, CX_ALLOC_CLEAR, 0);
        s->back = AllocBitmap(w, h, CX_ALLOC_CLEAR | (video ? CX_ALLOC_VIDEO : 0u), 0);
        if (s->back && video) video = s->back->foreign != 0;
        if (!s->front || !s->back) {
            FreeBuffers(s);
            return ERR_BITMAP;
        }
        // A video bitmap need not come cleared.
        if (video) FillRect(s->back, 0, 0, w, h, 0);
    }
    if (int err = InitDirtyRects(&s->dirty, CX_DIRTY_CAPACITY)) {
        FreeBuffers(s);
        if (useHardware) EndDisplayDoubleBuffer(d);
        return err;
    }
    s->width = w;
    s->height = h;
    s->forceWhole = 0;
    s->parked = 0;
    d->doubleBuffer1 = 1;
    d->doubleBuffer2 = useHardware ? 1 : 0;
    d->doubleBuffer3 = video ? 1 : 0;
    d->targetKind = CX_OUTPUT_IMAGE;
    d->outputMask = d->outputAlpha = nullptr;
    return 0;
}

extern "C" int FlipDoubleBuffer(lua_State *L, cxDisplay *d, int sync) {
    if (!d->doubleBuffer1 || !d->doubleBufferState) return ERR_NODOUBLEBUFFER;
    cxDoubleBuffer *s = d->doubleBufferState;
    if (d->doubleBuffer2) {
        cxPlugin *a = GetDisplayAdapter();
        if (!a) return 0;
        int32_t message[3] = {1, sync ? 1 : 0, 0};
        return CallPluginEntry(a, Hook<cxAdapterFlip>(a->Flip), d->adapterHandle, message);
    }
    const bool scaledFront = AutoScaled(d) && !GetDisplayAdapter();
    bool whole = false;
    if (scaledFront) {
        ScaleBackToFront(d, s);
        whole = true;
    } else {
        const int32_t w = std::min({s->width, Width(s->back), Width(s->front)});
        const int32_t h = std::min({s->height, Height(s->back), Height(s->front)});
        whole = DirtyRectsFull(&s->dirty) != 0;
        if (!whole) {
            MergeDirtyRects(&s->dirty);
            whole = ClipBoxes(s->dirty, w, h) >= int64_t(w) * h;
        }
        if (whole) {
            BltBitmap(s->back, 0, 0, s->front, 0, 0, w, h);
        } else {
            for (uint32_t i = 0; i < s->dirty.count; i++) {
                const cxDirtyBox &b = s->dirty.boxes[i];
                if (b.x1 == CX_DIRTY_MERGED) continue;
                BltBitmap(s->back, b.x1, b.y1, s->front, b.x1, b.y1, b.x2 - b.x1 + 1, b.y2 - b.y1 + 1);
            }
        }
    }
    if (sync) WaitDisplayFrame(L, d, 0);
    PresentBackBuffer(d, whole ? 1 : 0, 0);
    s->dirty.count = 0;
    return 0;
}

extern "C" void PresentBackBuffer(cxDisplay *d, int whole, uint32_t) {
    cxDoubleBuffer *s = d->doubleBufferState;
    if (!s || !Software(d) || !s->front) return;
    cxPlugin *a = GetDisplayAdapter();
    const bool scaled = AutoScaled(d);
    if (!whole && !s->forceWhole && !DirtyRectsFull(&s->dirty) && !scaled) {
        for (uint32_t i = 0; i < s->dirty.count; i++) {
            const cxDirtyBox &b = s->dirty.boxes[i];
            if (b.x1 == CX_DIRTY_MERGED) continue;
            Present(d, s->front, b.x1, b.y1, b.x2 - b.x1 + 1, b.y2 - b.y1 + 1);
        }
        return;
    }
    s->forceWhole = 0;
    if (scaled && a) {
        RefreshDisplayRectCore(s->back, 0, 0, d, 0, 0, std::min(s->width, Width(s->back)),
                               std::min(s->height, Height(s->back)), d->os.scaledWidth, d->os.scaledHeight, 0,
                               nullptr, nullptr, nullptr);
        return;
    }
    if (scaled) {
        Present(d, s->front, 0, 0, std::min(d->os.scaledWidth, Width(s->front)),
                std::min(d->os.scaledHeight, Height(s->front)));
        return;
    }
    const int32_t w = std::min({s->width, d->pictureWidth, Width(s->front)});
    const int32_t h = std::min({s->height, d->pictureHeight, Height(s->front)});
    Present(d, s->front, 0, 0, w, h);
    // The picture grew since buffering began: its strips beyond the buffer.
    if (d->picture) {
        Present(d, d->picture, w, 0, d->pictureWidth - w, d->pictureHeight);
        Present(d, d->picture, 0, h, w, d->pictureHeight - h);
    }
}

extern "C" int ReallocDisplayBuffer(cxDisplay *d, int32_t width, int32_t height) {
    cxDoubleBuffer *s = d->doubleBufferState;
    // Only software buffering keeps buffers here (also while a selection
    // has parked it).
    if (!s || !s->back) return 0;
    cxBitmap *front = AllocBitmap(width, height, CX_ALLOC_CLEAR, 0);
    if (!front) return ERR_MEM;
    FreeBitmap(s->front);
    s->front = front;
    s->forceWhole = 1;
    return 0;
}

extern "C" int FitDoubleBufferToDisplay(cxDisplay *d) {
    cxDoubleBuffer *s = d->doubleBufferState;
    if (!s || !s->back || !s->front) return 0;
    const int32_t w = d->pictureWidth, h = d->pictureHeight;
    if (w < 1 || h < 1) return 0;
    bool changed = false;
    if (w != s->width || h != s->height || w != s->back->width || h != s->back->height) {
        // The picture took a new size: so does the back buffer. What the
        // window showed beyond the old buffer came from the picture, so the
        // new one starts as the picture with the old buffer over it.
        const bool video = s->back->foreign != 0;
        cxBitmap *back = AllocBitmap(w, h, CX_ALLOC_CLEAR | (video ? CX_ALLOC_VIDEO : 0u), 0);
        if (!back) return ERR_MEM;
        if (d->picture) BltBitmap(d->picture, 0, 0, back, 0, 0, std::min(w, Width(d->picture)),
                                  std::min(h, Height(d->picture)));
        BltBitmap(s->back, 0, 0, back, 0, 0, std::min({w, s->width, Width(s->back)}),
                  std::min({h, s->height, Height(s->back)}));
        FreeBitmap(s->back);
        s->back = back;
        s->width = w;
        s->height = h;
        changed = true;
    }
    const bool scaledFront = AutoScaled(d) && !GetDisplayAdapter();
    const int32_t fw = scaledFront ? d->os.scaledWidth : w, fh = scaledFront ? d->os.scaledHeight : h;
    if (fw != Width(s->front) || fh != Height(s->front)) {
        if (int err = ReallocDisplayBuffer(d, fw, fh)) return err;
        changed = true;
    }
    if (!changed) return 0;
    // The new front copy shows what the last Flip showed, at the new size;
    // the next Flip copies everything.
    if (scaledFront) ScaleBackToFront(d, s);
    else BltBitmap(s->back, 0, 0, s->front, 0, 0, std::min(w, Width(s->front)), std::min(h, Height(s->front)));
    s->dirty.count = s->dirty.capacity;
    s->forceWhole = 1;
    return 0;
}

extern "C" int StopDoubleBuffer(lua_State *L, cxDisplay *d) {
    if (d->doubleBufferState && d->doubleBufferState->parked && g_hooks.endParkedSelection)
        if (int err = g_hooks.endParkedSelection(L, d)) return err;
    if (!d->doubleBuffer1 || !d->doubleBufferState) return ERR_NODOUBLEBUFFER;
    cxDoubleBuffer *s = d->doubleBufferState;
    if (d->doubleBuffer2) {
        if (int err = EndDisplayDoubleBuffer(d)) return err;
    } else if (d->picture && s->back) {
        // What was drawn stays the display's picture.
        BltBitmap(s->back, 0, 0, d->picture, 0, 0, std::min({s->width, d->pictureWidth, Width(s->back)}),
                  std::min({s->height, d->pictureHeight, Height(s->back)}));
    }
    FreeBuffers(s);
    FreeDirtyRects(&s->dirty);
    s->parked = 0;
    ClearModeWords(d);
    return 0;
}

extern "C" void ParkDoubleBuffer(cxDisplay *d) {
    cxDoubleBuffer *s = d->doubleBufferState;
    if (!s || !d->doubleBuffer1) return;
    s->parked = 1 + (d->doubleBuffer2 ? 1 : 0);
    s->parkedVideo = d->doubleBuffer3;
    d->doubleBuffer1 = d->doubleBuffer2 = d->doubleBuffer3 = 0;
}

extern "C" int UnparkDoubleBuffer(cxDisplay *d) {
    cxDoubleBuffer *s = d->doubleBufferState;
    if (!s || !s->parked) return 0;
    d->doubleBuffer1 = 1;
    d->doubleBuffer2 = s->parked == 2 ? 1 : 0;
    d->doubleBuffer3 = s->parkedVideo;
    s->parked = 0;
    d->targetKind = CX_OUTPUT_IMAGE;
    d->outputMask = d->outputAlpha = nullptr;
    return 1;
}

extern "C" int DoubleBufferParked(const cxDisplay *d) {
    return d && d->doubleBufferState && d->doubleBufferState->parked ? 1 : 0;
}

extern "C" void FreeDisplayDoubleBuffer(cxDisplay *d) {
    cxDoubleBuffer *s = d->doubleBufferState;
    if (!s) return;
    FreeBuffers(s);
    FreeDirtyRects(&s->dirty);
    free(s);
    d->doubleBufferState = nullptr;
}

namespace {

int CurrentDisplay(cxDisplay **out) {
    *out = GetCurrentDisplay();
    if (*out) return 0;
    SetErrorNumber(0);
    return ERR_FINDDISPLAY;
}

}  // namespace

extern "C" int CmdBeginDoubleBuffer(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    const int hardware = luaL_optint(L, 1, 0);
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    return StartDoubleBuffer(L, d, hardware);
}

extern "C" int CmdFlip(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    const int sync = luaL_optint(L, 1, 0);
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    return FlipDoubleBuffer(L, d, sync);
}

extern "C" int CmdEndDoubleBuffer(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    return StopDoubleBuffer(L, d);
}
