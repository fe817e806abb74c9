#include "display/open.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/backend.h"
#include "display/events/buttons.h"
#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/frame_hooks.h"
#include "display/video_hooks.h"
#include "display/monitors.h"
#include "display/options.h"
#include "display/size.h"
#include "display/picture.h"
#include "display/placement.h"
#include "display/present.h"
#include "display/requesters.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/events/event_queue.h"
#include "engine/vm/lauxlib.h"
#include "graphics/bitmap/bitmap.h"
#include "platform/os_time.h"
#include "window/x11/x11_window.h"
#include "window/x11/x11_window_ops.h"

namespace {

void ClampRegions(cxDisplayRegion *r, uint32_t count, int32_t width, int32_t height) {
    for (uint32_t i = 0; i < count; ++i) {
        r[i].x = std::clamp(r[i].x, 0, std::max(width - 1, 0));
        r[i].y = std::clamp(r[i].y, 0, std::max(height - 1, 0));
        r[i].width = std::clamp(r[i].width, 1, std::max(width - r[i].x, 1));
        r[i].height = std::clamp(r[i].height, 1, std::max(height - r[i].y, 1));
    }
}

// The regions the back-end uses: the script's (scaled when the window is)
// or the defaults, the top 15 rows for dragging and a 10 x 10 corner for
// sizing.
void SetupRegions(cxDisplay *d) {
    int32_t w = d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width;
    int32_t h = d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height;
    const double sx = d->os.scaledWidth > 0 ? double(d->os.scaledWidth) / d->os.width : 1.0;
    const double sy = d->os.scaledHeight > 0 ? double(d->os.scaledHeight) / d->os.height : 1.0;
    d->scaleX = sx;
    d->scaleY = sy;
    auto copy = [&](const cxDisplayRegion *from, cxDisplayRegion *to, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            to[i] = from[i];
            to[i].x = int32_t(from[i].x * sx);
            to[i].y = int32_t(from[i].y * sy);
            to[i].width = std::max(int32_t(from[i].width * sx), 1);
            to[i].height = std::max(int32_t(from[i].height * sy), 1);
        }
    };
    if (d->hasDragRegions) {
        copy(d->dragRegionsUnscaled, d->os.dragRegions, d->os.dragCount);
    } else {
        d->os.dragRegions[0] = cxDisplayRegion{14, 0, 0, w, std::min(15, h)};
        d->os.dragCount = 1;
    }
    if (d->hasSizeRegions) {
        copy(d->sizeRegionsUnscaled, d->os.sizeRegions, d->os.sizeCount);
    } else {
        d->os.sizeRegions[0] = cxDisplayRegion{14, std::max(w - 10, 0), std::max(h - 10, 0), 10, 10};
        d->os.sizeCount = 1;
    }
    ClampRegions(d->os.dragRegions, d->os.dragCount, w, h);
    ClampRegions(d->os.sizeRegions, d->os.sizeCount, w, h);
}

bool OtherFullscreenOnMonitor(const cxDisplay *d) {
    for (cxDisplay *o = GetFirstDisplay(); o; o = GetNextDisplay(o))
        if (o != d && o->os.state != CX_DISPLAY_CLOSED && o->os.fullscreen && o->monitor == d->monitor) return true;
    return false;
}

int AskForMode(lua_State *L, cxDisplay *d) {
    int choice = 0;
    if (int err = RunSystemRequester(L, d, d->os.title, "Please select desired display mode!",
                                     "Full screen (best fit)|Windowed|Full screen (manual select)|Cancel", 0, 0,
                                     &choice))
        return err;
    switch (choice) {
    case 1: d->mode = CX_MODE_FULLSCREEN; return 0;
    case 2: d->mode = CX_MODE_WINDOWED; return 0;
    case 3: d->mode = CX_MODE_REQUESTER; return 0;
    default: return ERR_USERABORT;
    }
}

int AskForScreenSize(lua_State *L, cxDisplay *d) {
    cxDisplayModeEntry *modes = nullptr;
    int count = 0;
    if (int err = GetDisplayModeList(d, &modes, &count)) return err;
    // "%dx%d" entries, NUL-separated and ended by an empty entry.
    char *list = static_cast<char *>(calloc(size_t(count) * 64 + 1, 1));
    if (!list) {
        free(modes);
        return ERR_MEM;
    }
    char *p = list;
    int preselect = -1;
    for (int i = 0; i < count; ++i) {
        p += snprintf(p, 64, "%dx%d", int(modes[i].width), int(modes[i].height)) + 1;
        if (preselect < 0 && modes[i].width >= d->os.width && modes[i].height >= d->os.height) preselect = i;
    }
    int chosen = -1;
    int err = RunListRequester(L, d, d->os.title, "Please select desired display mode!", list,
                               preselect < 0 ? 0 : preselect, 0, &chosen);
    if (!err && (chosen < 0 || chosen >= count)) err = ERR_USERABORT;
    if (!err) {
        d->screenWidth = modes[chosen].width;
        d->screenHeight = modes[chosen].height;
        d->mode = CX_MODE_FULLSCREEN;
    }
    free(list);
    free(modes);
    return err;
}

// The window behind a desktop-mode display: a borderless display of the
// monitor's size in the backfill's colour or gradient, made through the
// script command like any other display. Pictures and textures are the
// BGPic library's; until it is there their colour stands in.
int CreateBackfillWindow(lua_State *L, cxDisplay *d) {
    int32_t mx, my, mw, mh;
    if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
    cxBackfillOptions backfill;  // the record's block is not aligned for it
    memcpy(&backfill, d->backfillOptions, sizeof backfill);
    const cxBackfillOptions *b = &backfill;
    const int top = lua_gettop(L);
    lua_pushstring(L, "createdisplay");
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (!lua_isfunction(L, -1)) {
        lua_settop(L, top);
        return ERR_DISPLAYDESKTOP;
    }
    lua_pushnil(L);
    lua_newtable(L);
    auto number = [&](const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    };
    number("x", 0);
    number("y", 0);
    number("width", mw);
    number("height", mh);
    number("borderless", 1);
    number("fixed", 1);
    number("hidepointer", 1);
    number("monitor", d->monitor + 1);
    number("__backfill", 1);
    if (b->type == 2) {
        number("fillstyle", 2);
        number("startcolor", b->startColor);
        number("endcolor", b->endColor);
    } else {
        number("fillstyle", 1);
        number("color", b->color);
    }
    lua_pushstring(L, "xserver");
    lua_pushstring(L, d->os.xserver);
    lua_settable(L, -3);
    if (int err = lua_pcall(L, 2, 1, 0)) {
        lua_settop(L, top);
        return err;
    }
    void *id = lua_touserdata(L, -1);
    lua_settop(L, top);
    cxDisplay *back = nullptr;
    if (int err = FindDisplay(cxObjectID{0, id}, &back)) return err;
    back->os.fullscreen = d->os.fullscreen;
    back->fakeFullscreen = d->fakeFullscreen;
    back->backfillOf = d;
    d->backfillWindowOf = back;
    d->backfillDisplay = cxObjectID{0, id};
    return RealizeDisplay(L, back, 0);
}

void FreeBackfillWindow(lua_State *L, cxDisplay *d) {
    cxDisplay *back = d->backfillWindowOf;
    if (!back) return;
    d->backfillWindowOf = nullptr;
    d->backfillDisplay = cxObjectID{};
    back->backfillOf = nullptr;
    FreeDisplayCore(L, GetObjectID(&back->header), 0);
}

}  // namespace

extern "C" void ApplyWindowGeometry(cxDisplay *d) {
    const int32_t *b = d->scaleBorders;
    if (d->os.fullscreen && !HasDisplayAdapter()) return;  // the full screen sets its own
    if (d->os.scaledWidth > 0 && (b[0] | b[1] | b[2] | b[3])) {
        d->os.windowWidth = d->os.scaledWidth + b[0] + b[2];
        d->os.windowHeight = d->os.scaledHeight + b[1] + b[3];
        d->os.originX = b[0];
        d->os.originY = b[1];
    } else {
        d->os.windowWidth = d->os.windowHeight = 0;
        d->os.originX = d->os.originY = 0;
    }
}

extern "C" int RealizeDisplay(lua_State *L, cxDisplay *d, uint32_t how) {
    if (d->mode == CX_MODE_ASK)
        if (int err = AskForMode(L, d)) return err;
    if (d->mode == CX_MODE_REQUESTER)
        if (int err = AskForScreenSize(L, d)) return err;
    if (d->desktop) {
        if (HasDisplayAdapter()) return ERR_DISPLAYADAPTERSUPPORT;
        if (d->autoScale || d->layerScale) return ERR_DDAUTOSCALE;
        d->os.flags |= (d->os.flags & CX_DISPLAY_DISABLEBLANKER) ? 0x140042d : 0x40042d;
        d->mode = CX_MODE_WINDOWED;
        if (!d->backfillWindowOf)
            if (int err = CreateBackfillWindow(L, d)) return err;
    }
    if (d->mode == CX_MODE_FAKEFULLSCREEN) {
        d->os.flags |= CX_DISPLAY_BORDERLESS | CX_DISPLAY_FIXED;
        d->fakeFullscreen = 1;
    }
    const bool wantFull = d->mode == CX_MODE_FULLSCREEN;
    if (wantFull && !HasDisplayAdapter() && OtherFullscreenOnMonitor(d)) {
        SetErrorNumber(d->monitor + 1);
        return ERR_MONITORFULLSCREEN;
    }
    if ((how & CX_REALIZE_SWITCH) && d->os.state != CX_DISPLAY_CLOSED)
        CloseDisplayWindow(L, d, (how & CX_REALIZE_KEEPWINDOW) ? CX_CLOSE_REOPEN : CX_CLOSE_REOPEN | CX_CLOSE_KEEPMODE);
    if (wantFull && !d->os.fullscreen) {
        d->savedX = d->os.x;
        d->savedY = d->os.y;
        d->savedFlags = d->os.flags;
        d->hasSaved = 1;
        if (!(d->os.flags & 0x4000000)) {
            d->os.flags |= CX_DISPLAY_BORDERLESS | CX_DISPLAY_FIXED;
            d->os.flags &= ~uint32_t(CX_DISPLAY_SIZEABLE);
        }
        d->os.x = d->os.y = CX_POS_CENTER;
    } else if (!wantFull && d->os.fullscreen) {
        if (d->hasSaved) {
            d->os.x = d->savedX;
            d->os.y = d->savedY;
            d->os.flags = d->savedFlags;
            d->hasSaved = 0;
        } else {
            d->os.x = d->os.y = CX_POS_CENTER;
            d->xOnMonitor = d->yOnMonitor = 1;
            d->os.flags &= ~uint32_t(CX_DISPLAY_BORDERLESS | CX_DISPLAY_FIXED);
        }
        d->os.windowWidth = d->os.windowHeight = 0;
        d->os.originX = d->os.originY = 0;
    }
    d->os.fullscreen = wantFull ? 1 : 0;
    if (!wantFull && d->restoreWidth > 0 && d->restoreHeight > 0 &&
        (d->restoreWidth != d->os.width || d->restoreHeight != d->os.height)) {
        if (int err = ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, d->restoreWidth, d->restoreHeight, d->os.smooth, 0,
                                    0, CX_RESIZE_CLOSED))
            return err;
        PostEvent(d, 5, uint32_t(d->os.width), uint32_t(d->os.height), 0, nullptr);
    }
    const int err = OpenDisplayWindow(L, d, (d->os.flags & CX_DISPLAY_ACTIVE) != 0, (how & CX_REALIZE_SWITCH) != 0);
    if (err) d->os.fullscreen = 0;
    return err;
}

extern "C" int OpenDisplayWindow(lua_State *L, cxDisplay *d, int activate, int reopening) {
    (void)reopening;
    DetermineBorderSizes(d);
    SetupRegions(d);
    if (d->os.fullscreen && !HasDisplayAdapter()) {
        // No mode switch on X11: a borderless window covers the monitor and
        // the picture sits in its middle.
        int32_t mx, my, mw, mh;
        if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
        int32_t w = d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width;
        int32_t h = d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height;
        d->os.x = mx;
        d->os.y = my;
        d->os.windowWidth = mw;
        d->os.windowHeight = mh;
        d->os.originX = std::max((mw - w) / 2, 0);
        d->os.originY = std::max((mh - h) / 2, 0);
        d->xOnMonitor = d->yOnMonitor = 0;
        d->fullscreenMonitor = d->monitor;
    } else {
        ApplyWindowGeometry(d);
        ResolveDisplayPosition(d);
    }
    if (!HasDisplayAdapter() && !OsCheckDisplaySize(&d->os)) {
        SetDisplaySizeDetail(d->os.scaledWidth > 0 ? d->os.scaledWidth : d->os.width,
                             d->os.scaledHeight > 0 ? d->os.scaledHeight : d->os.height);
        return ERR_DISPLAYSIZE;
    }
    if (int err = BackendOpenWindow(d)) return err;
    d->os.state = (d->os.flags & CX_DISPLAY_HIDDEN) ? CX_DISPLAY_MINIMISED : CX_DISPLAY_SHOWN;
    d->activateOnOpen = activate ? 1 : 0;
    if ((d->os.flags & CX_DISPLAY_HIDEPOINTER) || d->pointerHidden) ShowDisplayPointer(d, 0);
    if (activate && d->os.state == CX_DISPLAY_SHOWN) ActivateDisplayWindow(d, 1);
    // Opening may have given a double-buffered display another scaled size;
    // on failure the old buffers stay, which present safely, only smaller.
    FitDoubleBufferToDisplay(d);
    RefreshWholeDisplay(L, d, 0x80);
    if (reopening && GetDisplayVideoHooks()->resumeVideos) GetDisplayVideoHooks()->resumeVideos(L, d);
    OsGetSysTime(&d->lastFrame);
    return 0;
}

extern "C" int CloseDisplayWindow(lua_State *L, cxDisplay *d, uint32_t how) {
    if ((how & CX_CLOSE_FREEBACKFILL) && L) FreeBackfillWindow(L, d);
    if (d->os.state == CX_DISPLAY_CLOSED) return 0;
    // Videos draw from threads of their own: they wait out a re-opening and
    // stop before the window goes.
    const cxDisplayVideoHooks *vh = GetDisplayVideoHooks();
    if ((how & CX_CLOSE_REOPEN) && vh->suspendVideos) vh->suspendVideos(L, d);
    else if (!(how & CX_CLOSE_REOPEN) && vh->stopVideos) vh->stopVideos(L, d);
    // Closing to re-open in another mode is not leaving the window. A
    // placement that cannot be written is lost, never the close.
    if (!(how & CX_CLOSE_REOPEN)) SaveDisplayPlacement(L, d);
    BackendCloseWindow(d);
    ResetDisplayInputState(d);
    d->os.state = CX_DISPLAY_CLOSED;
    if (!(how & CX_CLOSE_REOPEN)) {
        d->os.fullscreen = 0;
        d->fakeFullscreen = 0;
    }
    return 0;
}

extern "C" void FreeDisplayResources(lua_State *L, cxDisplay *d, int) {
    if (const cxDisplayVideoHooks *v = GetDisplayVideoHooks(); v->stopVideos) v->stopVideos(L, d);
    if (const cxDisplayFrameHooks *h = GetDisplayFrameHooks(); h->freed) h->freed(L, d);
    if (d->ownsBGPic) GetDisplayPictureHooks()->freeOwnPicture(L, d);
    d->picture = nullptr;
    d->bgpic = nullptr;
    for (cxBitmap *&b : d->backBitmap) FreeBitmap(b), b = nullptr;
    for (cxBitmap *&b : d->extraBitmap) FreeBitmap(b), b = nullptr;
    FreeDisplayDoubleBuffer(d);
    FreeBitmap(d->shapeMask);
    FreeBitmap(d->shapeAlpha);
    d->shapeMask = d->shapeAlpha = nullptr;
    free(d->placement);
    d->placement = nullptr;
    if (!HasDisplayAdapter()) OsFreeWindowRecord(&d->os);
    if (L)
        for (cxHandlerSlot &h : d->handlers) {
            if (h.function != -1) luaL_unref(L, LUA_REGISTRYINDEX, h.function);
            if (h.userData != -1) luaL_unref(L, LUA_REGISTRYINDEX, h.userData);
            h = {-1, -1};
        }
    FreeDisplayRefreshQueue(d);
    if (d->refreshMutex) OsFreeMutex(d->refreshMutex);
    d->refreshMutex = nullptr;
    FreeDisplayListeners(d);
    FreeObjectDataList(L, d->header.data);
    d->header.data = nullptr;
    FreeBGPicButtons(L, d);
}

extern "C" int FreeDisplayCore(lua_State *L, cxObjectID id, int reportNotFound) {
    cxDisplay *d = nullptr;
    if (int err = FindDisplay(id, &d)) return reportNotFound ? err : 0;
    if (d == GetCurrentDisplay()) return ERR_FREEADISPLAY;
    if (d->listeners) return ERR_SATFREEDISP;
    if (d->backfillOf) d->backfillOf->backfillWindowOf = nullptr;
    CloseDisplayWindow(L, d, CX_CLOSE_FREEBACKFILL);
    UnlinkDisplay(d);
    FreeDisplayResources(L, d, 0);
    ForgetDisplayEvents(d);
    free(d);
    return 0;
}
