#include "display/size.h"

#include <algorithm>
#include <cstring>

#include "display/backend.h"
#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/monitors.h"
#include "display/open.h"
#include "display/options.h"
#include "display/picture.h"
#include "display/present.h"
#include "errors/error_codes.h"
#include "engine/runtime/table_fields.h"
#include "window/x11/x11_window_ops.h"

namespace {

bool SizeOk(int32_t w, int32_t h) { return w >= 1 && h >= 1 && w <= CX_DISPLAY_MAX_SIDE && h <= CX_DISPLAY_MAX_SIDE; }

void Place(cxDisplay *d, int32_t x, int32_t y, bool sizeChanged) {
    auto one = [&](int32_t v, int32_t &field) {
        if (v == CX_POS_KEEP) return;
        if (v == CX_POS_KEEP_OR_CENTER) {
            if (sizeChanged) field = CX_POS_CENTER;
            return;
        }
        field = v;
    };
    one(x, d->os.x);
    one(y, d->os.y);
    ApplyWindowGeometry(d);
    const int32_t sx = d->os.x, sy = d->os.y;
    d->xOnMonitor = d->yOnMonitor = 1;
    ResolveDisplayPosition(d);
    (void)sx;
    (void)sy;
}

}  // namespace

extern "C" void ScaleDisplayCoords(const cxDisplay *d, int32_t *x, int32_t *y, int doX, int doY) {
    if (!d->scaling) return;
    auto scale = [&](int32_t *c) {
        if (*c > 0 && *c != CX_POS_KEEP && *c != CX_POS_KEEP_OR_CENTER) *c = int32_t(*c * d->scaleFactor);
    };
    if (doX) scale(x);
    if (doY) scale(y);
}

extern "C" void FitScaledSize(cxDisplay *d, int32_t width, int32_t height) {
    memset(d->scaleBorders, 0, sizeof d->scaleBorders);
    d->os.scaledWidth = width;
    d->os.scaledHeight = height;
    const int32_t pw = d->pictureWidth > 0 ? d->pictureWidth : d->os.width;
    const int32_t ph = d->pictureHeight > 0 ? d->pictureHeight : d->os.height;
    if (!(d->os.flags & CX_DISPLAY_KEEPPROPORTIONS) || d->shapeMask || d->shapeAlpha || pw < 1 || ph < 1) return;
    const int32_t fitH = int32_t(int64_t(ph) * width / pw);
    if (fitH <= height) {
        const int32_t rest = height - fitH;
        d->os.scaledHeight = std::max(fitH, 1);
        d->scaleBorders[1] = rest / 2;
        d->scaleBorders[3] = rest - rest / 2;
    } else {
        const int32_t fitW = int32_t(int64_t(pw) * height / ph);
        const int32_t rest = width - fitW;
        d->os.scaledWidth = std::max(fitW, 1);
        d->scaleBorders[0] = rest / 2;
        d->scaleBorders[2] = rest - rest / 2;
    }
}

extern "C" int ResizeDisplay(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height,
                             uint32_t smooth, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags) {
    if (!SizeOk(width, height) || (scaledWidth && !SizeOk(scaledWidth, scaledHeight ? scaledHeight : 1))) {
        SetDisplaySizeDetail(width, height);
        return ERR_DISPLAYSIZE;
    }
    const bool scaled = d->autoScale || d->layerScale;
    const int32_t oldW = d->os.width, oldH = d->os.height;
    if (flags & CX_RESIZE_PICTURE) {
        if (width != d->pictureWidth || height != d->pictureHeight)
            if (int err = GetDisplayPictureHooks()->resizePicture(L, d, width, height, int(smooth))) return err;
        d->os.width = width;
        d->os.height = height;
        const int32_t sw = scaledWidth > 0 ? scaledWidth : int32_t(width * d->scaleFactor);
        const int32_t sh = scaledHeight > 0 ? scaledHeight : int32_t(height * d->scaleFactor);
        if (scaled || sw != width || sh != height) FitScaledSize(d, sw, sh);
    } else if (scaled) {
        FitScaledSize(d, width, height);
    } else {
        if (width != d->pictureWidth || height != d->pictureHeight)
            if (int err = GetDisplayPictureHooks()->resizePicture(L, d, width, height, int(smooth))) return err;
        d->os.width = width;
        d->os.height = height;
    }
    if (oldW != d->os.width || oldH != d->os.height) ResetTextCursor(d);
    // A double-buffered display draws and presents at the new size too.
    if (int err = FitDoubleBufferToDisplay(d)) return err;
    if (flags & CX_RESIZE_PLACE)
        Place(d, x, y, oldW != d->os.width || oldH != d->os.height);
    else
        ApplyWindowGeometry(d);
    if ((flags & CX_RESIZE_CLOSED) || d->os.state == CX_DISPLAY_CLOSED) return 0;
    if (!HasDisplayAdapter() && !OsCheckDisplaySize(&d->os)) {
        SetDisplaySizeDetail(width, height);
        return ERR_DISPLAYSIZE;
    }
    SizeMoveDisplayWindow(d);
    d->scaleX = d->os.scaledWidth > 0 ? double(d->os.scaledWidth) / d->os.width : 1.0;
    d->scaleY = d->os.scaledHeight > 0 ? double(d->os.scaledHeight) / d->os.height : 1.0;
    RefreshWholeDisplay(L, d, 0);
    return 0;
}

extern "C" int ApplyDisplayAttributes(lua_State *L, int table, cxDisplay *d, int noRefresh) {
    // The options are read into a copy held by the virtual machine: a
    // reader that raises leaves d untouched and the copy to the collector.
    auto *next = static_cast<cxDisplay *>(lua_newuserdata(L, sizeof(cxDisplay)));
    *next = *d;
    cxDisplayOptionResult r{};
    if (int err = ParseDisplayOptions(L, table, next, 0, &r)) return err;
    // A new BGPic ends double buffering: what was drawn stays in the old
    // picture, and the window shows the new one instead of the back buffer.
    if (r.bgpicGiven && (d->doubleBuffer1 || DoubleBufferParked(d))) {
        if (int err = StopDoubleBuffer(L, d)) return err;
        *next = *d;
        r = cxDisplayOptionResult{};
        if (int err = ParseDisplayOptions(L, table, next, 0, &r)) return err;
    }
    double factor = d->scaleFactor;
    if (GetTableDouble(L, table, "scalefactor", &factor, nullptr)) {
        if (!(factor > 0.0) || factor > 64.0) return ERR_WRONGUSAGE;
        r.scaleFactorGiven = 1;
    }
    if (r.scaleSizeGiven && !(next->os.flags & (CX_DISPLAY_SCALEMODE1 | CX_DISPLAY_SCALEMODE2))) {
        next->os.flags |= CX_DISPLAY_SCALEMODE1;
        next->autoScale = 1;
    }
    const int32_t newW = next->os.width, newH = next->os.height;
    if (!SizeOk(newW, newH)) {
        SetDisplaySizeDetail(newW, newH);
        return ERR_DISPLAYSIZE;
    }
    // Everything is read and checked: from here on the display changes.
    const cxDisplay old = *d;
    const uint32_t styleBits = CX_DISPLAY_BORDERLESS | CX_DISPLAY_SIZEABLE | CX_DISPLAY_FIXED | CX_DISPLAY_NOHIDE |
                               CX_DISPLAY_USEQUARTZ | CX_DISPLAY_NOCLOSE | CX_DISPLAY_KEEPPROPORTIONS |
                               CX_DISPLAY_FITSCALE | CX_DISPLAY_KEEPSCREENON | CX_DISPLAY_HIDEFROMTASKBAR |
                               CX_DISPLAY_HIDEOPTIONSMENU | CX_DISPLAY_NOHARDWARESCALE | CX_DISPLAY_MAXIMIZED;
    const int32_t wantSW = r.scaleSizeGiven ? next->os.scaledWidth : 0;
    const int32_t wantSH = r.scaleSizeGiven ? next->os.scaledHeight : 0;
    // Size and picture stay the old ones until ResizeDisplay changes them.
    next->os.width = old.os.width;
    next->os.height = old.os.height;
    next->os.scaledWidth = old.os.scaledWidth;
    next->os.scaledHeight = old.os.scaledHeight;
    memcpy(next->scaleBorders, old.scaleBorders, sizeof old.scaleBorders);
    const int32_t wantX = next->os.x, wantY = next->os.y;
    next->os.x = old.os.x;
    next->os.y = old.os.y;
    *d = *next;
    if (factor != old.scaleFactor) {
        d->scaleFactor = factor;
        d->scaling = factor != 1.0;
    }
    if (r.bgpicGiven && old.ownsBGPic) {
        cxDisplay tmp = old;
        GetDisplayPictureHooks()->freeOwnPicture(L, &tmp);
        d->ownsBGPic = 0;
    } else if (d->ownsBGPic && (old.fillStyle != d->fillStyle || old.fillColor != d->fillColor ||
                                memcmp(old.gradient, d->gradient, sizeof d->gradient) != 0)) {
        cxDisplay tmp = *d;
        tmp.os.width = d->pictureWidth;
        tmp.os.height = d->pictureHeight;
        if (GetDisplayPictureHooks()->makeOwnPicture(L, &tmp) == 0) {
            cxDisplay gone = *d;
            GetDisplayPictureHooks()->freeOwnPicture(L, &gone);
            // The new picture may come with a BGPic record of its own.
            d->picture = tmp.picture;
            d->bgpic = tmp.bgpic;
        }
    }
    const bool scaleOff = !(d->autoScale || d->layerScale);
    // A new BGPic has made the picture the new size already: the display
    // (and so its window) must follow the size it had, not the picture's.
    const bool resized = newW != d->pictureWidth || newH != d->pictureHeight || newW != old.os.width ||
                         newH != old.os.height;
    int err = 0;
    if (scaleOff) {
        d->os.scaledWidth = d->os.scaledHeight = 0;
        memset(d->scaleBorders, 0, sizeof d->scaleBorders);
        if (resized)
            err = ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, newW, newH, d->os.smooth, 0, 0, 0);
        else {
            d->os.width = newW;
            d->os.height = newH;
        }
    } else {
        int32_t sw = wantSW > 0 ? wantSW : old.os.scaledWidth > 0 ? old.os.scaledWidth : int32_t(newW * d->scaleFactor);
        int32_t sh = wantSH > 0 ? wantSH : old.os.scaledHeight > 0 ? old.os.scaledHeight : int32_t(newH * d->scaleFactor);
        if (r.scaleFactorGiven || factor != old.scaleFactor) {
            sw = int32_t(d->pictureWidth * d->scaleFactor);
            sh = int32_t(d->pictureHeight * d->scaleFactor);
        }
        if (resized)
            err = ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, newW, newH, d->os.smooth, sw, sh, CX_RESIZE_PICTURE);
        else
            err = ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, sw, sh, d->os.smooth, 0, 0, 0);
    }
    if (err) {
        *d = old;
        return err;
    }
    const bool moved = wantX != old.os.x || wantY != old.os.y;
    if (moved) {
        d->os.x = wantX == CX_POS_KEEP ? d->os.x : wantX;
        d->os.y = wantY == CX_POS_KEEP ? d->os.y : wantY;
        if (wantX == CX_POS_KEEP_OR_CENTER) d->os.x = (newW == old.os.width) ? old.os.x : CX_POS_CENTER;
        if (wantY == CX_POS_KEEP_OR_CENTER) d->os.y = (newH == old.os.height) ? old.os.y : CX_POS_CENTER;
    }
    if (d->os.state != CX_DISPLAY_CLOSED) {
        const bool reopen = ((old.os.flags ^ d->os.flags) & styleBits) || strcmp(old.os.xserver, d->os.xserver) != 0;
        if (reopen) {
            const uint32_t full = d->os.fullscreen;
            CloseDisplayWindow(L, d, CX_CLOSE_REOPEN);
            d->os.fullscreen = full;
            if (!moved) d->xOnMonitor = d->yOnMonitor = 0;
            if (int e = OpenDisplayWindow(L, d, 0, 1)) return e;
        } else {
            if (moved) {
                d->xOnMonitor = d->yOnMonitor = 1;
                ResolveDisplayPosition(d);
                MoveDisplayWindow(d);
            }
            if (strcmp(old.os.title, d->os.title) != 0) SetDisplayTitle(d);
            if (!noRefresh) RefreshWholeDisplay(L, d, 0);
        }
    } else if (d->listeners && (d->os.width != old.os.width || d->os.height != old.os.height)) {
        int32_t size[2] = {d->os.width, d->os.height};
        NotifyDisplayListeners(d, 4, size);
    }
    return 0;
}
